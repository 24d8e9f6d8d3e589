#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "pixel_helpers.h"
#include "platform/graphics.h"
#include "platform/streams.h"
#include "support/bmp_builder.h"
#include "support/temp_dir.h"

namespace {

using pixels::Rgb;
using BitmapTest = PlatformTest;

struct StrideCase {
  TPixelFormat Format;
  int Width;
  int Bits;
  int Stride;
};

class BitmapGeometryTest : public PlatformTest, public ::testing::WithParamInterface<StrideCase> {};

TEST_P(BitmapGeometryTest, RowsArePaddedToFourBytesAndStoredBottomUp) {
  const StrideCase& c = GetParam();
  TBitmap b;
  b.SetPixelFormat(c.Format);
  b.SetWidth(c.Width);
  b.SetHeight(3);
  EXPECT_EQ(b.BitsPerPixel(), c.Bits);
  EXPECT_EQ(b.RowStride(), c.Stride);
  auto* top = static_cast<std::uint8_t*>(b.ScanLine(0));
  auto* bottom = static_cast<std::uint8_t*>(b.ScanLine(2));
  EXPECT_EQ(top - bottom, 2 * c.Stride) << "row 0 is the last row of the block";
  EXPECT_EQ(static_cast<std::uint8_t*>(b.ScanLine(1)) - bottom, c.Stride);
  EXPECT_THROW(b.ScanLine(3), EInvalidGraphic);
  EXPECT_THROW(b.ScanLine(-1), EInvalidGraphic);
}

INSTANTIATE_TEST_SUITE_P(Formats, BitmapGeometryTest,
                         ::testing::ValuesIn(std::vector<StrideCase>{{pf1bit, 33, 1, 8},
                                                                     {pf4bit, 9, 4, 8},
                                                                     {pf8bit, 5, 8, 8},
                                                                     {pf24bit, 5, 24, 16},
                                                                     {pf32bit, 3, 32, 12}}));

TEST_F(BitmapTest, SizeChangesWithOneDimensionZeroAllocateNothing) {
  const int blocks = LiveBitmapBlocks();
  TBitmap b;
  b.SetPixelFormat(pf8bit);
  b.SetWidth(100);
  EXPECT_TRUE(b.GetEmpty());
  EXPECT_EQ(LiveBitmapBlocks(), blocks);
  b.SetHeight(50);
  EXPECT_EQ(LiveBitmapBlocks(), blocks + 1);
  EXPECT_FALSE(b.GetEmpty());
}

TEST_F(BitmapTest, UnsupportedPixelFormatsAreRejected) {
  for (TPixelFormat f : {pfDevice, pf15bit, pf16bit, pfCustom}) {
    TBitmap b;
    EXPECT_THROW(b.SetPixelFormat(f), EInvalidGraphic) << static_cast<int>(f);
  }
}

TEST_F(BitmapTest, DefaultColourTablesAgreeWithTheirPalettes) {
  TBitmap mono, vga, halftone, rgb;
  mono.SetPixelFormat(pf1bit);
  vga.SetPixelFormat(pf4bit);
  halftone.SetPixelFormat(pf8bit);
  rgb.SetPixelFormat(pf24bit);

  ASSERT_EQ(mono.ColorTable().size(), 2u);
  EXPECT_EQ(pixels::TableColor(mono, 0), 0x000000u);
  EXPECT_EQ(pixels::TableColor(mono, 1), 0xFFFFFFu);

  ASSERT_EQ(vga.ColorTable().size(), 16u);
  EXPECT_EQ(pixels::TableColor(vga, 1), 0x800000u) << "dark red";
  EXPECT_EQ(pixels::TableColor(vga, 7), 0xC0C0C0u) << "silver";
  EXPECT_EQ(pixels::TableColor(vga, 8), 0x808080u) << "grey";
  EXPECT_EQ(pixels::TableColor(vga, 12), 0x0000FFu) << "blue";
  EXPECT_EQ(pixels::TableColor(vga, 15), 0xFFFFFFu) << "white";

  ASSERT_EQ(halftone.ColorTable().size(), 256u);
  for (int i = 0; i < 16; ++i)
    EXPECT_EQ(pixels::TableColor(halftone, i), pixels::TableColor(vga, i));
  EXPECT_EQ(pixels::TableColor(halftone, 16 + 36 * 5 + 6 * 2 + 1), Rgb(255, 102, 51)) << "cube";

  EXPECT_TRUE(rgb.ColorTable().empty());
  EXPECT_EQ(rgb.GetPalette(), 0u);

  for (TBitmap* b : {&mono, &vga, &halftone}) {
    std::vector<PALETTEENTRY> e(b->ColorTable().size());
    ASSERT_EQ(GetPaletteEntries(b->GetPalette(), 0, 256, e.data()), e.size());
    for (std::size_t i = 0; i < e.size(); ++i) {
      EXPECT_EQ(Rgb(e[i].peRed, e[i].peGreen, e[i].peBlue),
                pixels::TableColor(*b, static_cast<int>(i)));
    }
  }
}

TEST_F(BitmapTest, PaletteWriteTakesTheHandleOverAndFreesTheOldOne) {
  TBitmap b;
  b.SetPixelFormat(pf8bit);
  const HPALETTE old_palette = b.GetPalette();
  const int live = LivePaletteCount();
  const HPALETTE p = pixels::PaletteOf({0x102030, 0x405060, 0x708090});
  b.SetPalette(p);
  EXPECT_EQ(b.GetPalette(), p);
  EXPECT_EQ(LivePaletteCount(), live) << "the old palette was freed";
  EXPECT_FALSE(DeleteObject(old_palette));
  ASSERT_EQ(b.ColorTable().size(), 3u);
  EXPECT_EQ(pixels::TableColor(b, 2), 0x708090u);

  // The table survives a later resize: this is how a loader fills a new band.
  b.SetWidth(4);
  b.SetHeight(2);
  EXPECT_EQ(b.GetPalette(), p);
  EXPECT_EQ(pixels::TableColor(b, 0), 0x102030u);
}

TEST_F(BitmapTest, PaletteWriteOnATrueColourBitmapStillFreesTheHandle) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  const int live = LivePaletteCount();
  b.SetPalette(pixels::PaletteOf({0x102030}));
  EXPECT_EQ(LivePaletteCount(), live);
  EXPECT_EQ(b.GetPalette(), 0u);
}

TEST_F(BitmapTest, AssignMakesAnIndependentCopy) {
  TBitmap a;
  pixels::Make(a, 8, 7, 3);
  a.SetPalette(pixels::PaletteOf({0x000000, 0x00FF00, 0xFF0000}));
  pixels::Set(a, 6, 2, 2);
  TBitmap b;
  b.Assign(&a);
  EXPECT_EQ(b.GetWidth(), 7);
  EXPECT_EQ(b.GetHeight(), 3);
  EXPECT_EQ(b.GetPixelFormat(), pf8bit);
  EXPECT_NE(b.GetPalette(), a.GetPalette());
  EXPECT_EQ(pixels::ColorAt(b, 6, 2), 0xFF0000u);

  pixels::Set(a, 6, 2, 1);
  a.SetPalette(pixels::PaletteOf({0x111111, 0x222222, 0x333333}));
  EXPECT_EQ(pixels::ColorAt(b, 6, 2), 0xFF0000u) << "the copy keeps its own pixels and table";
}

TEST_F(BitmapTest, FailedAllocationLeavesTheBitmapAsItWas) {
  TBitmap b;
  pixels::Make(b, 24, 4, 2);
  pixels::Set(b, 3, 1, 0xABCDEF);
  const int blocks = LiveBitmapBlocks();
  int changes = 0;
  b.OnChange = [&](TGraphic*) { ++changes; };

  SetBitmapAllocFailCountdown(1);
  EXPECT_THROW(b.SetHeight(200), EOutOfMemory);
  SetBitmapAllocFailCountdown(1);
  EXPECT_THROW(b.SetWidth(200), EOutOfMemory);
  SetBitmapAllocFailCountdown(1);
  EXPECT_THROW(b.SetPixelFormat(pf8bit), EOutOfMemory);
  TBitmap other;
  pixels::Make(other, 8, 9, 9);
  SetBitmapAllocFailCountdown(1);
  EXPECT_THROW(b.Assign(&other), EOutOfMemory);

  EXPECT_EQ(b.GetWidth(), 4);
  EXPECT_EQ(b.GetHeight(), 2);
  EXPECT_EQ(b.GetPixelFormat(), pf24bit);
  EXPECT_EQ(pixels::Get(b, 3, 1), 0xABCDEFu);
  EXPECT_EQ(LiveBitmapBlocks(), blocks + 1);
  EXPECT_EQ(changes, 0);
}

TEST_F(BitmapTest, ResizeKeepsTheSharedTopLeftPixels) {
  TBitmap b;
  pixels::Make(b, 8, 3, 3);
  pixels::Set(b, 0, 0, 7);
  pixels::Set(b, 2, 2, 9);
  b.SetHeight(5);
  b.SetWidth(2);
  EXPECT_EQ(pixels::Get(b, 0, 0), 7u);
  b.SetWidth(3);
  b.SetHeight(3);
  EXPECT_EQ(pixels::Get(b, 0, 0), 7u);
}

TEST_F(BitmapTest, AssignFromNothingEmptiesAndForeignSourcesRaiseConvertError) {
  TBitmap b;
  pixels::Make(b, 8, 3, 3);
  b.Assign(nullptr);
  EXPECT_TRUE(b.GetEmpty());
  EXPECT_EQ(b.GetPixelFormat(), pf8bit);

  TPersistent foreign;
  try {
    b.Assign(&foreign);
    FAIL() << "expected EConvertError";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), AssignErrorMessage("TPersistent", "TBitmap"));
  }
  try {
    foreign.Assign(nullptr);
    FAIL() << "expected EConvertError";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), AssignErrorMessage("nil", "TPersistent"));
  }
}

// ---- BMP files -------------------------------------------------------------------------------

class BitmapRoundTripTest : public PlatformTest, public ::testing::WithParamInterface<int> {};

TEST_P(BitmapRoundTripTest, SaveThenLoadGivesTheSamePicture) {
  const int bits = GetParam();
  TBitmap a;
  pixels::Make(a, bits, 13, 5);
  if (bits == 8) a.SetPalette(pixels::PaletteOf({0x010203, 0x040506, 0x070809}));
  const std::uint32_t modulo = bits == 1 ? 2 : bits == 4 ? 16 : bits == 8 ? 3 : 0x1000000;
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 13; ++x) pixels::Set(a, x, y, (x * 7919u + y * 104729u) % modulo);
  }
  TMemoryStream s;
  a.SaveToStream(s);
  const auto* bytes = static_cast<const std::uint8_t*>(s.Memory());
  const std::uint32_t colors = static_cast<std::uint32_t>(a.ColorTable().size());
  const std::int64_t stride = testsupport::DibStride(13, bits);
  ASSERT_EQ(s.GetSize(), 14 + 40 + 4 * colors + stride * 5);
  EXPECT_EQ(bytes[0], 'B');
  EXPECT_EQ(bytes[1], 'M');
  std::uint32_t off_bits, clr_used;
  std::memcpy(&off_bits, bytes + 10, 4);
  std::memcpy(&clr_used, bytes + 14 + 32, 4);
  EXPECT_EQ(off_bits, 14 + 40 + 4 * colors);
  EXPECT_EQ(clr_used, colors);
  EXPECT_EQ(std::memcmp(bytes + off_bits, a.ScanLine(4), static_cast<std::size_t>(stride * 5)), 0)
      << "the block is written bottom row first";

  s.SetPosition(0);
  TBitmap b;
  b.LoadFromStream(s);
  EXPECT_EQ(b.GetPixelFormat(), a.GetPixelFormat());
  EXPECT_EQ(b.GetWidth(), 13);
  EXPECT_EQ(b.GetHeight(), 5);
  ASSERT_EQ(b.ColorTable().size(), a.ColorTable().size());
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 13; ++x)
      ASSERT_EQ(pixels::Get(b, x, y), pixels::Get(a, x, y)) << x << "," << y;
  }
  EXPECT_TRUE(a.Equals(&b));
}

INSTANTIATE_TEST_SUITE_P(Depths, BitmapRoundTripTest, ::testing::Values(1, 4, 8, 24, 32));

TEST_F(BitmapTest, LoadsTopDownFilesTheRightWayUp) {
  testsupport::BmpLayout layout;
  layout.width = 2;
  layout.height = -2;
  layout.bit_count = 8;
  layout.clr_used = 4;
  layout.colors = testsupport::GreyColors(4);
  layout.pixels = {1, 2, 0, 0, 3, 0, 0, 0};  // first stored row is the top row
  const std::vector<std::uint8_t> file = testsupport::BuildBmp(layout);
  TMemoryStream s;
  s.WriteBuffer(file.data(), static_cast<std::int32_t>(file.size()));
  s.SetPosition(0);
  TBitmap b;
  b.LoadFromStream(s);
  EXPECT_EQ(pixels::Get(b, 0, 0), 1u);
  EXPECT_EQ(pixels::Get(b, 1, 0), 2u);
  EXPECT_EQ(pixels::Get(b, 0, 1), 3u);
  EXPECT_EQ(b.ColorTable().size(), 4u);
}

TEST_F(BitmapTest, BadFilesFailAndLeaveTheBitmapUnchanged) {
  TBitmap b;
  pixels::Make(b, 24, 3, 3);
  pixels::Set(b, 1, 1, 0x123456);
  auto load = [&](const std::vector<std::uint8_t>& file) {
    TMemoryStream s;
    if (!file.empty()) s.WriteBuffer(file.data(), static_cast<std::int32_t>(file.size()));
    s.SetPosition(0);
    b.LoadFromStream(s);
  };
  testsupport::BmpLayout good;
  good.width = 4;
  good.height = 4;
  good.pixels.assign(16, 0);
  std::vector<std::uint8_t> bad_magic = testsupport::BuildBmp(good);
  bad_magic[0] = 'X';
  EXPECT_THROW(load(bad_magic), EInvalidGraphic);

  std::vector<std::uint8_t> truncated = testsupport::BuildBmp(good);
  truncated.resize(truncated.size() - 1);
  EXPECT_THROW(load(truncated), EReadError);

  testsupport::BmpLayout rle = good;
  rle.compression = BI_RLE8;
  EXPECT_THROW(load(testsupport::BuildBmp(rle)), EInvalidGraphic);

  testsupport::BmpLayout huge = good;
  huge.width = 1 << 30;
  huge.height = 1 << 20;
  EXPECT_THROW(load(testsupport::BuildBmp(huge)), Exception) << "never allocates past the stream";

  EXPECT_THROW(load({}), EReadError);
  EXPECT_EQ(b.GetWidth(), 3);
  EXPECT_EQ(b.GetPixelFormat(), pf24bit);
  EXPECT_EQ(pixels::Get(b, 1, 1), 0x123456u);
}

TEST_F(BitmapTest, FilesRoundTripThroughTheGraphicFileOperations) {
  testsupport::TempDir dir;
  const std::string name = dir.file("picture.bmp");
  TBitmap a;
  pixels::Make(a, 4, 5, 2);
  pixels::Set(a, 4, 1, 12);
  a.SaveToFile(name);
  TBitmap b;
  b.LoadFromFile(name);
  EXPECT_EQ(pixels::Get(b, 4, 1), 12u);
  EXPECT_THROW(b.LoadFromFile(dir.file("missing.bmp")), EFOpenError);
}

TEST_F(BitmapTest, ChangesRaiseOnChangeAndSetModified) {
  TBitmap b;
  int changes = 0;
  b.OnChange = [&](TGraphic* sender) {
    EXPECT_EQ(sender, &b);
    ++changes;
  };
  b.SetPixelFormat(pf8bit);
  b.SetWidth(2);
  b.SetHeight(2);
  EXPECT_EQ(changes, 3);
  EXPECT_TRUE(b.GetModified());
  b.SetModified(false);
  EXPECT_FALSE(b.GetModified());
  EXPECT_EQ(changes, 3) << "clearing the flag is silent";
  b.SetModified(true);
  EXPECT_EQ(changes, 4);
}

}  // namespace
