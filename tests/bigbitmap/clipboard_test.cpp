#include "platform/clipboard.h"

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "bigbitmap/bigbitmap.h"
#include "bigbitmap/shifted_stream.h"
#include "bigbitmap_test_helpers.h"
#include "platform/globalmem.h"
#include "platform/streams.h"
#include "support/bmp_builder.h"

namespace {

using bigbitmaptest::LeakCheckedTest;
using testsupport::BmpLayout;
using testsupport::BuildBmp;

// ---- the shifted stream ----------------------------------------------------------------------

// A 14-byte header block (bytes 0x00 ..) and a 100-byte data block (bytes 0x80 ..).
struct TwoBlocks {
  TwoBlocks() {
    std::iota(header.begin(), header.end(), std::uint8_t{0x00});
    std::iota(data.begin(), data.end(), std::uint8_t{0x80});
  }
  // What the stream should read: both blocks back to back.
  std::vector<std::uint8_t> Joined() const {
    std::vector<std::uint8_t> all(header);
    all.insert(all.end(), data.begin(), data.end());
    return all;
  }
  std::vector<std::uint8_t> header = std::vector<std::uint8_t>(14);
  std::vector<std::uint8_t> data = std::vector<std::uint8_t>(100);
};

struct ReadCase {
  std::int32_t position;
  std::int32_t count;
  std::int32_t moved;  // bytes the read returns, from position on
};

void PrintTo(const ReadCase& c, std::ostream* os) {
  *os << "read " << c.count << " at " << c.position;
}

class ShiftedStreamRead : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ShiftedStreamRead, ReadsTheJoinedBytesAndStopsAtTheEnd) {
  const ReadCase c = GetParam();
  TwoBlocks blocks;
  TShiftedMemoryStream s(blocks.header.data(), 14, blocks.data.data(), 100);
  s.Seek(c.position, soFromBeginning);
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(c.count > 0 ? c.count : 1), 0xEE);
  EXPECT_EQ(s.Read(buffer.data(), c.count), c.moved);
  EXPECT_EQ(s.GetPosition(), c.position + c.moved);
  const std::vector<std::uint8_t> all = blocks.Joined();
  for (std::int32_t i = 0; i < c.moved; ++i) {
    EXPECT_EQ(buffer[static_cast<std::size_t>(i)], all[static_cast<std::size_t>(c.position + i)])
        << "byte " << i;
  }
  if (c.moved < c.count) {
    EXPECT_EQ(buffer[static_cast<std::size_t>(c.moved)], 0xEE);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, ShiftedStreamRead,
                         ::testing::ValuesIn(std::vector<ReadCase>{
                             {0, 14, 14},    // exactly the header
                             {10, 8, 8},     // header bytes 10..13, then data bytes 0..3
                             {0, 500, 114},  // more than there is
                             {13, 1, 1},     // last header byte alone
                             {110, 10, 4},   // crosses the end
                             {200, 1, 0},    // past the end
                             {-1, 4, 0},     // negative position
                             {5, -1, 0},     // negative count
                         }));

TEST(ShiftedStream, SeeksAreNotClampedAndNegativePositionsMoveNothing) {
  TwoBlocks blocks;
  TShiftedMemoryStream s(blocks.header.data(), 14, blocks.data.data(), 100);
  EXPECT_EQ(s.GetSize(), 114);
  EXPECT_EQ(s.Seek(-4, soFromEnd), 110);
  std::uint8_t buffer[10] = {};
  EXPECT_EQ(s.Read(buffer, 10), 4);
  EXPECT_EQ(s.GetPosition(), 114);
  EXPECT_EQ(s.Read(buffer, 10), 0);

  s.Seek(10, soFromBeginning);
  EXPECT_EQ(s.Seek(-200, soFromCurrent), -190);
  EXPECT_EQ(s.Read(buffer, 4), 0);
  EXPECT_EQ(s.Write(buffer, 4), 0);
  EXPECT_EQ(s.GetPosition(), -190) << "a transfer at a negative position must not move it";

  EXPECT_EQ(s.Seek(1000, soFromBeginning), 1000);
  EXPECT_EQ(s.Seek(5, 7), 1000) << "an unknown origin leaves the position alone";
  s.SetSize(10);
  EXPECT_EQ(s.GetSize(), 114);
  EXPECT_THROW(s.Seek(std::int64_t{1} << 40, soFromBeginning), ERangeError);
}

TEST(ShiftedStream, WritesLandInBothBlocksAndNeverGrowTheStream) {
  TwoBlocks blocks;
  TShiftedMemoryStream s(blocks.header.data(), 14, blocks.data.data(), 100);
  const std::uint8_t bytes[6] = {1, 2, 3, 4, 5, 6};
  s.Seek(12, soFromBeginning);
  EXPECT_EQ(s.Write(bytes, 6), 6);
  EXPECT_EQ(blocks.header[12], 1);
  EXPECT_EQ(blocks.header[13], 2);
  EXPECT_EQ(blocks.data[0], 3);
  EXPECT_EQ(blocks.data[3], 6);

  s.Seek(111, soFromBeginning);
  EXPECT_EQ(s.Write(bytes, 6), 3) << "only what fits before the end is stored";
  EXPECT_EQ(blocks.data[99], 3);
  EXPECT_EQ(s.Write(bytes, 6), 0);
  EXPECT_EQ(s.GetSize(), 114);
  EXPECT_THROW(s.WriteBuffer(bytes, 1), EWriteError);
  s.Seek(112, soFromBeginning);
  EXPECT_THROW(s.ReadBuffer(blocks.header.data(), 3), EReadError);
}

// ---- loading from a CF_DIB block -------------------------------------------------------------

// A global block holding Bytes.
HGLOBAL MakeBlock(const std::vector<std::uint8_t>& Bytes) {
  const HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, Bytes.size());
  if (!Bytes.empty()) {
    std::memcpy(GlobalLock(h), Bytes.data(), Bytes.size());
    GlobalUnlock(h);
  }
  return h;
}

// The packed DIB of a BMP file: the file without its 14-byte file header.
std::vector<std::uint8_t> PackedDib(const BmpLayout& File, std::size_t Slack = 0) {
  std::vector<std::uint8_t> file = BuildBmp(File);
  std::vector<std::uint8_t> packed(file.begin() + 14, file.end());
  packed.insert(packed.end(), Slack, 0);
  return packed;
}

std::string LoadError(TBigBitmap& b, std::uint16_t Format, HGLOBAL Data) {
  try {
    b.LoadFromClipboardFormat(Format, Data, 0);
  } catch (const EInvalidGraphic& e) {
    return e.what();
  }
  return "no EInvalidGraphic";
}

class ClipboardLoad : public LeakCheckedTest {
 protected:
  void TearDown() override {
    SetGlobalLockFailCountdown(0);
    EXPECT_EQ(LiveGlobalBlocks(), blocks_);
    LeakCheckedTest::TearDown();
  }
  int blocks_ = LiveGlobalBlocks();
};

// One header kind per case; the pixels must be found right where the colour table ends.
struct HeaderCase {
  const char* name;
  BmpLayout bmp;
  TBBPixelFormat format;
  // Bytes of the first image row (the top row) once loaded.
  std::vector<std::uint8_t> topRow;
};

void PrintTo(const HeaderCase& c, std::ostream* os) {
  *os << c.name;
}

std::vector<std::uint8_t> CoreGreys() {
  std::vector<std::uint8_t> triples;
  for (int i = 0; i < 256; ++i) triples.insert(triples.end(), 3, static_cast<std::uint8_t>(i));
  return triples;
}

using Bytes = std::vector<std::uint8_t>;

BmpLayout Bmp(std::int32_t W, std::int32_t H, std::uint16_t Bits, Bytes Colors, Bytes Pixels) {
  BmpLayout s;
  s.width = W;
  s.height = H;
  s.bit_count = Bits;
  s.colors = std::move(Colors);
  s.pixels = std::move(Pixels);
  return s;
}

// Pixels are given bottom row first; the expected top row follows each file.
std::vector<HeaderCase> HeaderCases() {
  using testsupport::GreyColors;
  BmpLayout masks16 = Bmp(2, 1, 16, {}, {0x00, 0xF8, 0x1F, 0x00});
  masks16.compression = 3;
  masks16.masks = {0xF800, 0x07E0, 0x001F};
  BmpLayout core8 = Bmp(3, 1, 8, CoreGreys(), {7, 8, 9, 0});
  core8.header_size = 12;
  BmpLayout used3 = Bmp(2, 1, 8, GreyColors(3), {2, 1, 0, 0});
  used3.clr_used = 3;
  return {
      // 40-byte header, 8 bits, biClrUsed 0: 1024 colour bytes, file offset 1078.
      {"Info8",
       Bmp(4, 2, 8, GreyColors(256), {10, 11, 12, 13, 20, 21, 22, 23}),
       bbpf8bit,
       {20, 21, 22, 23}},
      // 16 bits with masks after a 40-byte header: file offset 66.
      {"Masks16", masks16, bbpf24bit, {0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00}},
      // 12-byte core header, 8 bits: 768 colour bytes, file offset 794.
      {"Core8", core8, bbpf8bit, {7, 8, 9}},
      // 24 bits, no colours: file offset 54.
      {"Rgb24", Bmp(2, 1, 24, {}, {1, 2, 3, 4, 5, 6, 0, 0}), bbpf24bit, {1, 2, 3, 4, 5, 6}},
      // A given colour count decides, 4 bytes an entry.
      {"Info8ClrUsed3", used3, bbpf8bit, {2, 1}},
      {"Info1", Bmp(8, 1, 1, GreyColors(2), {0xA5, 0, 0, 0}), bbpf1bit, {0xA5}},
      {"Info4", Bmp(2, 1, 4, GreyColors(16), {0x3C, 0, 0, 0}), bbpf4bit, {0x3C}},
  };
}

class ClipboardLoadHeader : public ClipboardLoad,
                            public ::testing::WithParamInterface<HeaderCase> {};

TEST_P(ClipboardLoadHeader, FindsThePixelsRightAfterTheColourTable) {
  const HeaderCase& c = GetParam();
  // Slack after the pixels: a block may be longer than what it holds.
  const HGLOBAL h = MakeBlock(PackedDib(c.bmp, 16));
  const std::vector<std::uint8_t> before(PackedDib(c.bmp, 16));
  TBigBitmap b;
  b.LoadFromClipboardFormat(CF_DIB, h, 0);
  ASSERT_EQ(b.GetWidth(), c.bmp.width);
  ASSERT_EQ(b.GetHeight(), c.bmp.height);
  EXPECT_EQ(b.GetPixelFormat(), c.format);
  const auto* row = static_cast<const std::uint8_t*>(b.GetScanline(0));
  EXPECT_EQ(std::vector<std::uint8_t>(row, row + c.topRow.size()), c.topRow);

  EXPECT_EQ(GlobalLockCount(h), 0) << "the block must be unlocked again";
  const auto* p = static_cast<const std::uint8_t*>(GlobalLock(h));
  EXPECT_EQ(std::memcmp(p, before.data(), before.size()), 0) << "the block must not change";
  GlobalUnlock(h);
  GlobalFree(h);
}

INSTANTIATE_TEST_SUITE_P(Kinds, ClipboardLoadHeader, ::testing::ValuesIn(HeaderCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ClipboardLoad, RejectsWhatIsNoUsablePackedBitmapAndKeepsTheImage) {
  TBigBitmap b;
  b.SetWidth(3);
  b.SetHeight(2);
  const HGLOBAL valid = MakeBlock(PackedDib(BmpLayout{}));

  // A format other than CF_DIB fails before the handle is looked at.
  EXPECT_EQ(LoadError(b, 2, 0), "Invalid Clipbboard Data");
  EXPECT_EQ(LoadError(b, CF_BITMAP, valid), "Invalid Clipbboard Data");
  EXPECT_EQ(LoadError(b, CF_PALETTE, valid), "Invalid Clipbboard Data");

  EXPECT_EQ(LoadError(b, CF_DIB, 0), "Invalid Clipbboard data");
  const HGLOBAL eleven = MakeBlock(std::vector<std::uint8_t>(11, 0));
  EXPECT_EQ(LoadError(b, CF_DIB, eleven), "Invalid Clipbboard data");

  SetGlobalLockFailCountdown(1);
  EXPECT_EQ(LoadError(b, CF_DIB, valid), "Invalid Clipbboard data");

  const HGLOBAL two = MakeBlock(PackedDib(Bmp(1, 1, 2, {}, {0, 0, 0, 0})));
  EXPECT_EQ(LoadError(b, CF_DIB, two), "Invalid Clipbboard Data");

  BmpLayout coreTwo = Bmp(1, 1, 2, {}, {});
  coreTwo.header_size = 12;
  const HGLOBAL core = MakeBlock(PackedDib(coreTwo));
  EXPECT_EQ(LoadError(b, CF_DIB, core), "Invalid Clipbboard Data");

  // Header areas the block cannot hold: a 40-byte header in 20 bytes, and a colour count
  // whose table would run past the block (and past 32-bit offsets).
  std::vector<std::uint8_t> shortInfo = PackedDib(BmpLayout{});
  shortInfo.resize(20);
  const HGLOBAL cut = MakeBlock(shortInfo);
  EXPECT_EQ(LoadError(b, CF_DIB, cut), "Invalid Clipbboard data");
  BmpLayout manyColours = Bmp(1, 1, 8, {}, {0, 0, 0, 0});
  manyColours.clr_used = 0x40000001;
  const HGLOBAL huge = MakeBlock(PackedDib(manyColours));
  EXPECT_EQ(LoadError(b, CF_DIB, huge), "Invalid Clipbboard data");

  // Errors of the stream loader pass through.
  const HGLOBAL zeroWidth = MakeBlock(PackedDib(Bmp(0, 1, 8, {}, {})));
  EXPECT_ANY_THROW(b.LoadFromClipboardFormat(CF_DIB, zeroWidth, 0));

  EXPECT_EQ(b.GetWidth(), 3) << "a failed load keeps the image";
  EXPECT_EQ(b.GetHeight(), 2);
  for (HGLOBAL h : {valid, eleven, two, core, cut, huge, zeroWidth}) {
    EXPECT_EQ(GlobalLockCount(h), 0);
    GlobalFree(h);
  }
}

// ---- saving into a CF_DIB block --------------------------------------------------------------

class ClipboardSave : public ClipboardLoad {
 protected:
  void TearDown() override {
    SetGlobalAllocFailCountdown(0);
    ClipboardLoad::TearDown();
  }
};

std::vector<std::uint8_t> BlockBytes(HGLOBAL h) {
  const auto* p = static_cast<const std::uint8_t*>(GlobalLock(h));
  std::vector<std::uint8_t> bytes(p, p + GlobalSize(h));
  GlobalUnlock(h);
  return bytes;
}

std::vector<std::uint8_t> StreamBytes(TBigBitmap& b) {
  TMemoryStream s;
  b.SaveToStream(s);
  const auto* p = static_cast<const std::uint8_t*>(s.Memory());
  return std::vector<std::uint8_t>(p, p + s.GetSize());
}

// Fills every row with a pattern that differs from row to row.
void FillPattern(TBigBitmap& b) {
  const std::int64_t stride =
      TBigBitmap::RowStride(b.GetWidth(), TBigBitmap::GetPixelBits(b.GetPixelFormat()));
  for (std::int32_t y = 0; y < b.GetHeight(); ++y) {
    auto* row = static_cast<std::uint8_t*>(b.GetScanline(y));
    for (std::int64_t i = 0; i < stride; ++i) row[i] = static_cast<std::uint8_t>(i * 7 + y * 13);
  }
}

TEST_F(ClipboardSave, EmptyImageGivesNoBlockAndAllocatesNothing) {
  TBigBitmap b;
  std::uint16_t format = 0;
  THandle data = 0x1234;
  HPALETTE palette = 0x77;
  const int live = LiveGlobalBlocks();
  b.SaveToClipboardFormat(format, data, palette);
  EXPECT_EQ(format, CF_DIB);
  EXPECT_EQ(data, 0u);
  EXPECT_EQ(palette, 0x77u) << "the palette argument is never written";
  EXPECT_EQ(LiveGlobalBlocks(), live);
}

TEST_F(ClipboardSave, BlockIsExactlyTheStreamFormWithoutItsFileHeader) {
  TBigBitmap b;
  b.SetWidth(100);
  b.SetHeight(50);
  FillPattern(b);
  RGBQUAD colours[256];
  ASSERT_EQ(GetDIBColorTable(b.Bitmaps()[0]->Canvas()->Handle(), 0, 256, colours), 256u);
  std::uint16_t format = 0;
  THandle data = 0;
  HPALETTE palette = 0;
  b.SaveToClipboardFormat(format, data, palette);
  EXPECT_EQ(format, CF_DIB);
  ASSERT_NE(data, 0u);
  EXPECT_EQ(GlobalSize(data), 6064u);  // 40 + 1024 + 100 x 50
  EXPECT_EQ(GlobalLockCount(data), 0);
  const std::vector<std::uint8_t> block = BlockBytes(data);
  const std::vector<std::uint8_t> file = StreamBytes(b);
  ASSERT_EQ(file.size(), 14 + block.size());
  EXPECT_TRUE(std::equal(block.begin(), block.end(), file.begin() + 14))
      << "every byte of the block must be written";
  GlobalFree(data);
}

TEST_F(ClipboardSave, FailedAllocationOrLockLeavesNoBlockAndNoHandle) {
  TBigBitmap b;
  b.SetWidth(10);
  b.SetHeight(10);
  const int live = LiveGlobalBlocks();
  std::uint16_t format = 0;
  THandle data = 0;
  HPALETTE palette = 0;

  SetGlobalAllocFailCountdown(1);
  try {
    b.SaveToClipboardFormat(format, data, palette);
    ADD_FAILURE() << "allocation failure not reported";
  } catch (const EBigBitmapError& e) {
    EXPECT_STREQ(e.what(), "Cannot Allocate Memory");
  }
  EXPECT_EQ(data, 0u);

  SetGlobalLockFailCountdown(1);
  try {
    b.SaveToClipboardFormat(format, data, palette);
    ADD_FAILURE() << "lock failure not reported";
  } catch (const EBigBitmapError& e) {
    EXPECT_STREQ(e.what(), "Cannnot Lock Memory for CLipboard");
  }
  EXPECT_EQ(data, 0u) << "no handle of a freed block may be handed out";
  EXPECT_EQ(LiveGlobalBlocks(), live);
}

class ClipboardRoundTrip : public ClipboardSave,
                           public ::testing::WithParamInterface<TBBPixelFormat> {};

TEST_P(ClipboardRoundTrip, SavedBlockLoadsBackToTheSameImage) {
  TBigBitmap source;
  source.SetPixelFormat(GetParam());
  source.SetWidth(37);
  source.SetHeight(11);
  FillPattern(source);
  if (GetParam() != bbpf24bit) {
    const int n = GetParam() == bbpf1bit ? 2 : GetParam() == bbpf4bit ? 16 : 256;
    source.SetPalette(bigbitmaptest::MakePalette(n, [](int i) {
      return bigbitmaptest::RGB(static_cast<std::uint8_t>(i * 3),
                                static_cast<std::uint8_t>(255 - i),
                                static_cast<std::uint8_t>(i ^ 0x5A));
    }));
  }
  std::uint16_t format = 0;
  THandle data = 0;
  HPALETTE palette = 0;
  source.SaveToClipboardFormat(format, data, palette);

  TBigBitmap copy;
  copy.LoadFromClipboardFormat(format, data, 0);
  GlobalFree(data);
  ASSERT_EQ(copy.GetWidth(), 37);
  ASSERT_EQ(copy.GetHeight(), 11);
  EXPECT_EQ(copy.GetPixelFormat(), GetParam());
  EXPECT_EQ(StreamBytes(copy), StreamBytes(source)) << "colours or pixels differ";
}

INSTANTIATE_TEST_SUITE_P(Formats, ClipboardRoundTrip,
                         ::testing::Values(bbpf1bit, bbpf4bit, bbpf8bit, bbpf24bit));

TEST_F(ClipboardSave, ImageTravelsThroughTheClipboardObject) {
  TClipboard board;
  TBigBitmap source;
  source.SetPixelFormat(bbpf24bit);
  source.SetWidth(1000);
  source.SetHeight(3000);  // two bands
  FillPattern(source);
  board.Assign(&source);
  EXPECT_FALSE(board.IsOpen());

  TBigBitmap copy;
  copy.SetDrawMode(1);
  copy.Assign(&board);
  EXPECT_FALSE(board.IsOpen()) << "the clipboard must be closed again";
  EXPECT_EQ(copy.GetDrawMode(), 1);
  EXPECT_EQ(StreamBytes(copy), StreamBytes(source));
  EXPECT_NE(board.GetAsHandle(CF_DIB), 0u) << "loading leaves the clipboard's data in place";

  board.Clear();
  EXPECT_THROW(copy.Assign(&board), EInvalidGraphic);
  EXPECT_FALSE(board.IsOpen());
  EXPECT_EQ(copy.GetWidth(), 1000);
}

}  // namespace
