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

struct TStrideCase {
  TPixelFormat Format;
  int Width;
  int Bits;
  int Stride;
};

class BitmapGeometryTest : public PlatformTest, public ::testing::WithParamInterface<TStrideCase> {};

TEST_P(BitmapGeometryTest, RowsArePaddedToFourBytesAndStoredBottomUp) {
  const TStrideCase& C = GetParam();
  TBitmap B;
  B.SetPixelFormat(C.Format);
  B.SetWidth(C.Width);
  B.SetHeight(3);
  EXPECT_EQ(B.BitsPerPixel(), C.Bits);
  EXPECT_EQ(B.RowStride(), C.Stride);
  auto* Top = static_cast<std::uint8_t*>(B.ScanLine(0));
  auto* Bottom = static_cast<std::uint8_t*>(B.ScanLine(2));
  EXPECT_EQ(Top - Bottom, 2 * C.Stride) << "row 0 is the last row of the block";
  EXPECT_EQ(static_cast<std::uint8_t*>(B.ScanLine(1)) - Bottom, C.Stride);
  EXPECT_THROW(B.ScanLine(3), EInvalidGraphic);
  EXPECT_THROW(B.ScanLine(-1), EInvalidGraphic);
}

INSTANTIATE_TEST_SUITE_P(Formats, BitmapGeometryTest,
                         ::testing::ValuesIn(std::vector<TStrideCase>{{pf1bit, 33, 1, 8},
                                                                     {pf4bit, 9, 4, 8},
                                                                     {pf8bit, 5, 8, 8},
                                                                     {pf24bit, 5, 24, 16},
                                                                     {pf32bit, 3, 32, 12}}));

TEST_F(BitmapTest, SizeChangesWithOneDimensionZeroAllocateNothing) {
  const int Blocks = LiveBitmapBlocks();
  TBitmap B;
  B.SetPixelFormat(pf8bit);
  B.SetWidth(100);
  EXPECT_TRUE(B.GetEmpty());
  EXPECT_EQ(LiveBitmapBlocks(), Blocks);
  B.SetHeight(50);
  EXPECT_EQ(LiveBitmapBlocks(), Blocks + 1);
  EXPECT_FALSE(B.GetEmpty());
}

TEST_F(BitmapTest, UnsupportedPixelFormatsAreRejected) {
  for (TPixelFormat F : {pfDevice, pf15bit, pf16bit, pfCustom}) {
    TBitmap B;
    EXPECT_THROW(B.SetPixelFormat(F), EInvalidGraphic) << static_cast<int>(F);
  }
}

TEST_F(BitmapTest, DefaultColourTablesAgreeWithTheirPalettes) {
  TBitmap Mono, Vga, Halftone, TrueColor;
  Mono.SetPixelFormat(pf1bit);
  Vga.SetPixelFormat(pf4bit);
  Halftone.SetPixelFormat(pf8bit);
  TrueColor.SetPixelFormat(pf24bit);

  ASSERT_EQ(Mono.ColorTable().size(), 2u);
  EXPECT_EQ(pixels::TableColor(Mono, 0), 0x000000u);
  EXPECT_EQ(pixels::TableColor(Mono, 1), 0xFFFFFFu);

  ASSERT_EQ(Vga.ColorTable().size(), 16u);
  EXPECT_EQ(pixels::TableColor(Vga, 1), 0x800000u) << "dark red";
  EXPECT_EQ(pixels::TableColor(Vga, 7), 0xC0C0C0u) << "silver";
  EXPECT_EQ(pixels::TableColor(Vga, 8), 0x808080u) << "grey";
  EXPECT_EQ(pixels::TableColor(Vga, 12), 0x0000FFu) << "blue";
  EXPECT_EQ(pixels::TableColor(Vga, 15), 0xFFFFFFu) << "white";

  ASSERT_EQ(Halftone.ColorTable().size(), 256u);
  for (int I = 0; I < 16; ++I)
    EXPECT_EQ(pixels::TableColor(Halftone, I), pixels::TableColor(Vga, I));
  EXPECT_EQ(pixels::TableColor(Halftone, 16 + 36 * 5 + 6 * 2 + 1), Rgb(255, 102, 51)) << "cube";

  EXPECT_TRUE(TrueColor.ColorTable().empty());
  EXPECT_EQ(TrueColor.GetPalette(), 0u);

  for (TBitmap* B : {&Mono, &Vga, &Halftone}) {
    std::vector<PALETTEENTRY> E(B->ColorTable().size());
    ASSERT_EQ(GetPaletteEntries(B->GetPalette(), 0, 256, E.data()), E.size());
    for (std::size_t I = 0; I < E.size(); ++I) {
      EXPECT_EQ(Rgb(E[I].peRed, E[I].peGreen, E[I].peBlue),
                pixels::TableColor(*B, static_cast<int>(I)));
    }
  }
}

TEST_F(BitmapTest, PaletteWriteTakesTheHandleOverAndFreesTheOldOne) {
  TBitmap B;
  B.SetPixelFormat(pf8bit);
  const HPALETTE OldPalette = B.GetPalette();
  const int Live = LivePaletteCount();
  const HPALETTE P = pixels::PaletteOf({0x102030, 0x405060, 0x708090});
  B.SetPalette(P);
  EXPECT_EQ(B.GetPalette(), P);
  EXPECT_EQ(LivePaletteCount(), Live) << "the old palette was freed";
  EXPECT_FALSE(DeleteObject(OldPalette));
  ASSERT_EQ(B.ColorTable().size(), 3u);
  EXPECT_EQ(pixels::TableColor(B, 2), 0x708090u);

  // The table survives a later resize: this is how a loader fills a new band.
  B.SetWidth(4);
  B.SetHeight(2);
  EXPECT_EQ(B.GetPalette(), P);
  EXPECT_EQ(pixels::TableColor(B, 0), 0x102030u);
}

TEST_F(BitmapTest, PaletteWriteOnATrueColourBitmapStillFreesTheHandle) {
  TBitmap B;
  B.SetPixelFormat(pf24bit);
  const int Live = LivePaletteCount();
  B.SetPalette(pixels::PaletteOf({0x102030}));
  EXPECT_EQ(LivePaletteCount(), Live);
  EXPECT_EQ(B.GetPalette(), 0u);
}

TEST_F(BitmapTest, AssignMakesAnIndependentCopy) {
  TBitmap A;
  pixels::Make(A, 8, 7, 3);
  A.SetPalette(pixels::PaletteOf({0x000000, 0x00FF00, 0xFF0000}));
  pixels::Set(A, 6, 2, 2);
  TBitmap B;
  B.Assign(&A);
  EXPECT_EQ(B.GetWidth(), 7);
  EXPECT_EQ(B.GetHeight(), 3);
  EXPECT_EQ(B.GetPixelFormat(), pf8bit);
  EXPECT_NE(B.GetPalette(), A.GetPalette());
  EXPECT_EQ(pixels::ColorAt(B, 6, 2), 0xFF0000u);

  pixels::Set(A, 6, 2, 1);
  A.SetPalette(pixels::PaletteOf({0x111111, 0x222222, 0x333333}));
  EXPECT_EQ(pixels::ColorAt(B, 6, 2), 0xFF0000u) << "the copy keeps its own pixels and table";
}

TEST_F(BitmapTest, FailedAllocationLeavesTheBitmapAsItWas) {
  TBitmap B;
  pixels::Make(B, 24, 4, 2);
  pixels::Set(B, 3, 1, 0xABCDEF);
  const int Blocks = LiveBitmapBlocks();
  int Changes = 0;
  B.OnChange = [&](TGraphic*) { ++Changes; };

  SetBitmapAllocFailCountdown(1);
  EXPECT_THROW(B.SetHeight(200), EOutOfMemory);
  SetBitmapAllocFailCountdown(1);
  EXPECT_THROW(B.SetWidth(200), EOutOfMemory);
  SetBitmapAllocFailCountdown(1);
  EXPECT_THROW(B.SetPixelFormat(pf8bit), EOutOfMemory);
  TBitmap Other;
  pixels::Make(Other, 8, 9, 9);
  SetBitmapAllocFailCountdown(1);
  EXPECT_THROW(B.Assign(&Other), EOutOfMemory);

  EXPECT_EQ(B.GetWidth(), 4);
  EXPECT_EQ(B.GetHeight(), 2);
  EXPECT_EQ(B.GetPixelFormat(), pf24bit);
  EXPECT_EQ(pixels::Get(B, 3, 1), 0xABCDEFu);
  EXPECT_EQ(LiveBitmapBlocks(), Blocks + 1);
  EXPECT_EQ(Changes, 0);
}

TEST_F(BitmapTest, ResizeKeepsTheSharedTopLeftPixels) {
  TBitmap B;
  pixels::Make(B, 8, 3, 3);
  pixels::Set(B, 0, 0, 7);
  pixels::Set(B, 2, 2, 9);
  B.SetHeight(5);
  B.SetWidth(2);
  EXPECT_EQ(pixels::Get(B, 0, 0), 7u);
  B.SetWidth(3);
  B.SetHeight(3);
  EXPECT_EQ(pixels::Get(B, 0, 0), 7u);
}

TEST_F(BitmapTest, AssignFromNothingEmptiesAndForeignSourcesRaiseConvertError) {
  TBitmap B;
  pixels::Make(B, 8, 3, 3);
  B.Assign(nullptr);
  EXPECT_TRUE(B.GetEmpty());
  EXPECT_EQ(B.GetPixelFormat(), pf8bit);

  TPersistent Foreign;
  try {
    B.Assign(&Foreign);
    FAIL() << "expected EConvertError";
  } catch (const EConvertError& E) {
    EXPECT_EQ(E.Message(), AssignErrorMessage("TPersistent", "TBitmap"));
  }
  try {
    Foreign.Assign(nullptr);
    FAIL() << "expected EConvertError";
  } catch (const EConvertError& E) {
    EXPECT_EQ(E.Message(), AssignErrorMessage("nil", "TPersistent"));
  }
}

// ---- BMP files -------------------------------------------------------------------------------

class BitmapRoundTripTest : public PlatformTest, public ::testing::WithParamInterface<int> {};

TEST_P(BitmapRoundTripTest, SaveThenLoadGivesTheSamePicture) {
  const int Bits = GetParam();
  TBitmap A;
  pixels::Make(A, Bits, 13, 5);
  if (Bits == 8) A.SetPalette(pixels::PaletteOf({0x010203, 0x040506, 0x070809}));
  const std::uint32_t Modulo = Bits == 1 ? 2 : Bits == 4 ? 16 : Bits == 8 ? 3 : 0x1000000;
  for (int Y = 0; Y < 5; ++Y) {
    for (int X = 0; X < 13; ++X) pixels::Set(A, X, Y, (X * 7919u + Y * 104729u) % Modulo);
  }
  TMemoryStream S;
  A.SaveToStream(S);
  const auto* Bytes = static_cast<const std::uint8_t*>(S.Memory());
  const std::uint32_t Colors = static_cast<std::uint32_t>(A.ColorTable().size());
  const std::int64_t Stride = testsupport::DibStride(13, Bits);
  ASSERT_EQ(S.GetSize(), 14 + 40 + 4 * Colors + Stride * 5);
  EXPECT_EQ(Bytes[0], 'B');
  EXPECT_EQ(Bytes[1], 'M');
  std::uint32_t OffBits, ClrUsed;
  std::memcpy(&OffBits, Bytes + 10, 4);
  std::memcpy(&ClrUsed, Bytes + 14 + 32, 4);
  EXPECT_EQ(OffBits, 14 + 40 + 4 * Colors);
  EXPECT_EQ(ClrUsed, Colors);
  EXPECT_EQ(std::memcmp(Bytes + OffBits, A.ScanLine(4), static_cast<std::size_t>(Stride * 5)), 0)
      << "the block is written bottom row first";

  S.SetPosition(0);
  TBitmap B;
  B.LoadFromStream(S);
  EXPECT_EQ(B.GetPixelFormat(), A.GetPixelFormat());
  EXPECT_EQ(B.GetWidth(), 13);
  EXPECT_EQ(B.GetHeight(), 5);
  ASSERT_EQ(B.ColorTable().size(), A.ColorTable().size());
  for (int Y = 0; Y < 5; ++Y) {
    for (int X = 0; X < 13; ++X)
      ASSERT_EQ(pixels::Get(B, X, Y), pixels::Get(A, X, Y)) << X << "," << Y;
  }
  EXPECT_TRUE(A.Equals(&B));
}

INSTANTIATE_TEST_SUITE_P(Depths, BitmapRoundTripTest, ::testing::Values(1, 4, 8, 24, 32));

TEST_F(BitmapTest, LoadsTopDownFilesTheRightWayUp) {
  testsupport::TBmpLayout Layout;
  Layout.Width = 2;
  Layout.Height = -2;
  Layout.BitCount = 8;
  Layout.ClrUsed = 4;
  Layout.Colors = testsupport::GreyColors(4);
  Layout.Pixels = {1, 2, 0, 0, 3, 0, 0, 0};  // first stored row is the top row
  const std::vector<std::uint8_t> File = testsupport::BuildBmp(Layout);
  TMemoryStream S;
  S.WriteBuffer(File.data(), static_cast<std::int32_t>(File.size()));
  S.SetPosition(0);
  TBitmap B;
  B.LoadFromStream(S);
  EXPECT_EQ(pixels::Get(B, 0, 0), 1u);
  EXPECT_EQ(pixels::Get(B, 1, 0), 2u);
  EXPECT_EQ(pixels::Get(B, 0, 1), 3u);
  EXPECT_EQ(B.ColorTable().size(), 4u);
}

TEST_F(BitmapTest, BadFilesFailAndLeaveTheBitmapUnchanged) {
  TBitmap B;
  pixels::Make(B, 24, 3, 3);
  pixels::Set(B, 1, 1, 0x123456);
  auto Load = [&](const std::vector<std::uint8_t>& File) {
    TMemoryStream S;
    if (!File.empty()) S.WriteBuffer(File.data(), static_cast<std::int32_t>(File.size()));
    S.SetPosition(0);
    B.LoadFromStream(S);
  };
  testsupport::TBmpLayout Good;
  Good.Width = 4;
  Good.Height = 4;
  Good.Pixels.assign(16, 0);
  std::vector<std::uint8_t> BadMagic = testsupport::BuildBmp(Good);
  BadMagic[0] = 'X';
  EXPECT_THROW(Load(BadMagic), EInvalidGraphic);

  std::vector<std::uint8_t> Truncated = testsupport::BuildBmp(Good);
  Truncated.resize(Truncated.size() - 1);
  EXPECT_THROW(Load(Truncated), EReadError);

  testsupport::TBmpLayout Rle = Good;
  Rle.Compression = BI_RLE8;
  EXPECT_THROW(Load(testsupport::BuildBmp(Rle)), EInvalidGraphic);

  testsupport::TBmpLayout Huge = Good;
  Huge.Width = 1 << 30;
  Huge.Height = 1 << 20;
  EXPECT_THROW(Load(testsupport::BuildBmp(Huge)), Exception) << "never allocates past the stream";

  EXPECT_THROW(Load({}), EReadError);
  EXPECT_EQ(B.GetWidth(), 3);
  EXPECT_EQ(B.GetPixelFormat(), pf24bit);
  EXPECT_EQ(pixels::Get(B, 1, 1), 0x123456u);
}

TEST_F(BitmapTest, FilesRoundTripThroughTheGraphicFileOperations) {
  testsupport::TTempDir Dir;
  const std::string Name = Dir.File("picture.bmp");
  TBitmap A;
  pixels::Make(A, 4, 5, 2);
  pixels::Set(A, 4, 1, 12);
  A.SaveToFile(Name);
  TBitmap B;
  B.LoadFromFile(Name);
  EXPECT_EQ(pixels::Get(B, 4, 1), 12u);
  EXPECT_THROW(B.LoadFromFile(Dir.File("missing.bmp")), EFOpenError);
}

TEST_F(BitmapTest, ChangesRaiseOnChangeAndSetModified) {
  TBitmap B;
  int Changes = 0;
  B.OnChange = [&](TGraphic* Sender) {
    EXPECT_EQ(Sender, &B);
    ++Changes;
  };
  B.SetPixelFormat(pf8bit);
  B.SetWidth(2);
  B.SetHeight(2);
  EXPECT_EQ(Changes, 3);
  EXPECT_TRUE(B.GetModified());
  B.SetModified(false);
  EXPECT_FALSE(B.GetModified());
  EXPECT_EQ(Changes, 3) << "clearing the flag is silent";
  B.SetModified(true);
  EXPECT_EQ(Changes, 4);
}

}  // namespace
