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
using testsupport::TBmpLayout;
using testsupport::BuildBmp;

// ---- the shifted stream ----------------------------------------------------------------------

// A 14-byte header block (bytes 0x00 ..) and a 100-byte data block (bytes 0x80 ..).
struct TWoBlocks {
  TWoBlocks() {
    std::iota(Header.begin(), Header.end(), std::uint8_t{0x00});
    std::iota(Data.begin(), Data.end(), std::uint8_t{0x80});
  }
  // What the stream should read: both blocks back to back.
  std::vector<std::uint8_t> Joined() const {
    std::vector<std::uint8_t> All(Header);
    All.insert(All.end(), Data.begin(), Data.end());
    return All;
  }
  std::vector<std::uint8_t> Header = std::vector<std::uint8_t>(14);
  std::vector<std::uint8_t> Data = std::vector<std::uint8_t>(100);
};

struct TReadCase {
  std::int32_t Position;
  std::int32_t Count;
  std::int32_t Moved;  // bytes the read returns, from position on
};

void PrintTo(const TReadCase& C, std::ostream* Os) {
  *Os << "read " << C.Count << " at " << C.Position;
}

class ShiftedStreamRead : public ::testing::TestWithParam<TReadCase> {};

TEST_P(ShiftedStreamRead, ReadsTheJoinedBytesAndStopsAtTheEnd) {
  const TReadCase C = GetParam();
  TWoBlocks Blocks;
  TShiftedMemoryStream S(Blocks.Header.data(), 14, Blocks.Data.data(), 100);
  S.Seek(C.Position, soFromBeginning);
  std::vector<std::uint8_t> Buffer(static_cast<std::size_t>(C.Count > 0 ? C.Count : 1), 0xEE);
  EXPECT_EQ(S.Read(Buffer.data(), C.Count), C.Moved);
  EXPECT_EQ(S.GetPosition(), C.Position + C.Moved);
  const std::vector<std::uint8_t> All = Blocks.Joined();
  for (std::int32_t I = 0; I < C.Moved; ++I) {
    EXPECT_EQ(Buffer[static_cast<std::size_t>(I)], All[static_cast<std::size_t>(C.Position + I)])
        << "byte " << I;
  }
  if (C.Moved < C.Count) {
    EXPECT_EQ(Buffer[static_cast<std::size_t>(C.Moved)], 0xEE);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, ShiftedStreamRead,
                         ::testing::ValuesIn(std::vector<TReadCase>{
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
  TWoBlocks Blocks;
  TShiftedMemoryStream S(Blocks.Header.data(), 14, Blocks.Data.data(), 100);
  EXPECT_EQ(S.GetSize(), 114);
  EXPECT_EQ(S.Seek(-4, soFromEnd), 110);
  std::uint8_t Buffer[10] = {};
  EXPECT_EQ(S.Read(Buffer, 10), 4);
  EXPECT_EQ(S.GetPosition(), 114);
  EXPECT_EQ(S.Read(Buffer, 10), 0);

  S.Seek(10, soFromBeginning);
  EXPECT_EQ(S.Seek(-200, soFromCurrent), -190);
  EXPECT_EQ(S.Read(Buffer, 4), 0);
  EXPECT_EQ(S.Write(Buffer, 4), 0);
  EXPECT_EQ(S.GetPosition(), -190) << "a transfer at a negative position must not move it";

  EXPECT_EQ(S.Seek(1000, soFromBeginning), 1000);
  EXPECT_EQ(S.Seek(5, 7), 1000) << "an unknown origin leaves the position alone";
  S.SetSize(10);
  EXPECT_EQ(S.GetSize(), 114);
  EXPECT_THROW(S.Seek(std::int64_t{1} << 40, soFromBeginning), ERangeError);
}

TEST(ShiftedStream, WritesLandInBothBlocksAndNeverGrowTheStream) {
  TWoBlocks Blocks;
  TShiftedMemoryStream S(Blocks.Header.data(), 14, Blocks.Data.data(), 100);
  const std::uint8_t Bytes[6] = {1, 2, 3, 4, 5, 6};
  S.Seek(12, soFromBeginning);
  EXPECT_EQ(S.Write(Bytes, 6), 6);
  EXPECT_EQ(Blocks.Header[12], 1);
  EXPECT_EQ(Blocks.Header[13], 2);
  EXPECT_EQ(Blocks.Data[0], 3);
  EXPECT_EQ(Blocks.Data[3], 6);

  S.Seek(111, soFromBeginning);
  EXPECT_EQ(S.Write(Bytes, 6), 3) << "only what fits before the end is stored";
  EXPECT_EQ(Blocks.Data[99], 3);
  EXPECT_EQ(S.Write(Bytes, 6), 0);
  EXPECT_EQ(S.GetSize(), 114);
  EXPECT_THROW(S.WriteBuffer(Bytes, 1), EWriteError);
  S.Seek(112, soFromBeginning);
  EXPECT_THROW(S.ReadBuffer(Blocks.Header.data(), 3), EReadError);
}

// ---- loading from a CF_DIB block -------------------------------------------------------------

// A global block holding Bytes.
HGLOBAL MakeBlock(const std::vector<std::uint8_t>& Bytes) {
  const HGLOBAL H = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, Bytes.size());
  if (!Bytes.empty()) {
    std::memcpy(GlobalLock(H), Bytes.data(), Bytes.size());
    GlobalUnlock(H);
  }
  return H;
}

// The packed DIB of a BMP Whole: the Whole without its 14-byte Whole header.
std::vector<std::uint8_t> PackedDib(const TBmpLayout& File, std::size_t Slack = 0) {
  std::vector<std::uint8_t> Whole = BuildBmp(File);
  std::vector<std::uint8_t> Packed(Whole.begin() + 14, Whole.end());
  Packed.insert(Packed.end(), Slack, 0);
  return Packed;
}

std::string LoadError(TBigBitmap& B, std::uint16_t Format, HGLOBAL Data) {
  try {
    B.LoadFromClipboardFormat(Format, Data, 0);
  } catch (const EInvalidGraphic& E) {
    return E.what();
  }
  return "no EInvalidGraphic";
}

class ClipboardLoad : public LeakCheckedTest {
 protected:
  void TearDown() override {
    SetGlobalLockFailCountdown(0);
    EXPECT_EQ(LiveGlobalBlocks(), Blocks);
    LeakCheckedTest::TearDown();
  }
  int Blocks = LiveGlobalBlocks();
};

// One header kind per case; the pixels must be found right where the colour table ends.
struct THeaderCase {
  const char* Name;
  TBmpLayout Bmp;
  TBBPixelFormat Format;
  // Bytes of the first image row (the top row) once loaded.
  std::vector<std::uint8_t> TopRow;
};

void PrintTo(const THeaderCase& C, std::ostream* Os) {
  *Os << C.Name;
}

std::vector<std::uint8_t> CoreGreys() {
  std::vector<std::uint8_t> Triples;
  for (int I = 0; I < 256; ++I) Triples.insert(Triples.end(), 3, static_cast<std::uint8_t>(I));
  return Triples;
}

using Bytes = std::vector<std::uint8_t>;

TBmpLayout Bmp(std::int32_t W, std::int32_t H, std::uint16_t Bits, Bytes Colors, Bytes Pixels) {
  TBmpLayout S;
  S.Width = W;
  S.Height = H;
  S.BitCount = Bits;
  S.Colors = std::move(Colors);
  S.Pixels = std::move(Pixels);
  return S;
}

// Pixels are given bottom row first; the expected top row follows each file.
std::vector<THeaderCase> HeaderCases() {
  using testsupport::GreyColors;
  TBmpLayout Masks16 = Bmp(2, 1, 16, {}, {0x00, 0xF8, 0x1F, 0x00});
  Masks16.Compression = 3;
  Masks16.Masks = {0xF800, 0x07E0, 0x001F};
  TBmpLayout Core8 = Bmp(3, 1, 8, CoreGreys(), {7, 8, 9, 0});
  Core8.HeaderSize = 12;
  TBmpLayout Used3 = Bmp(2, 1, 8, GreyColors(3), {2, 1, 0, 0});
  Used3.ClrUsed = 3;
  return {
      // 40-byte header, 8 bits, biClrUsed 0: 1024 colour bytes, file offset 1078.
      {"Info8",
       Bmp(4, 2, 8, GreyColors(256), {10, 11, 12, 13, 20, 21, 22, 23}),
       bbpf8bit,
       {20, 21, 22, 23}},
      // 16 bits with masks after a 40-byte header: file offset 66.
      {"Masks16", Masks16, bbpf24bit, {0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00}},
      // 12-byte core header, 8 bits: 768 colour bytes, file offset 794.
      {"Core8", Core8, bbpf8bit, {7, 8, 9}},
      // 24 bits, no colours: file offset 54.
      {"Rgb24", Bmp(2, 1, 24, {}, {1, 2, 3, 4, 5, 6, 0, 0}), bbpf24bit, {1, 2, 3, 4, 5, 6}},
      // A given colour count decides, 4 bytes an entry.
      {"Info8ClrUsed3", Used3, bbpf8bit, {2, 1}},
      {"Info1", Bmp(8, 1, 1, GreyColors(2), {0xA5, 0, 0, 0}), bbpf1bit, {0xA5}},
      {"Info4", Bmp(2, 1, 4, GreyColors(16), {0x3C, 0, 0, 0}), bbpf4bit, {0x3C}},
  };
}

class ClipboardLoadHeader : public ClipboardLoad,
                            public ::testing::WithParamInterface<THeaderCase> {};

TEST_P(ClipboardLoadHeader, FindsThePixelsRightAfterTheColourTable) {
  const THeaderCase& C = GetParam();
  // Slack after the pixels: a block may be longer than what it holds.
  const HGLOBAL H = MakeBlock(PackedDib(C.Bmp, 16));
  const std::vector<std::uint8_t> Before(PackedDib(C.Bmp, 16));
  TBigBitmap B;
  B.LoadFromClipboardFormat(CF_DIB, H, 0);
  ASSERT_EQ(B.GetWidth(), C.Bmp.Width);
  ASSERT_EQ(B.GetHeight(), C.Bmp.Height);
  EXPECT_EQ(B.GetPixelFormat(), C.Format);
  const auto* Row = static_cast<const std::uint8_t*>(B.GetScanline(0));
  EXPECT_EQ(std::vector<std::uint8_t>(Row, Row + C.TopRow.size()), C.TopRow);

  EXPECT_EQ(GlobalLockCount(H), 0) << "the block must be unlocked again";
  const auto* P = static_cast<const std::uint8_t*>(GlobalLock(H));
  EXPECT_EQ(std::memcmp(P, Before.data(), Before.size()), 0) << "the block must not change";
  GlobalUnlock(H);
  GlobalFree(H);
}

INSTANTIATE_TEST_SUITE_P(Kinds, ClipboardLoadHeader, ::testing::ValuesIn(HeaderCases()),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(ClipboardLoad, RejectsWhatIsNoUsablePackedBitmapAndKeepsTheImage) {
  TBigBitmap B;
  B.SetWidth(3);
  B.SetHeight(2);
  const HGLOBAL Valid = MakeBlock(PackedDib(TBmpLayout{}));

  // A format other than CF_DIB fails before the handle is looked at.
  EXPECT_EQ(LoadError(B, 2, 0), "Invalid Clipbboard Data");
  EXPECT_EQ(LoadError(B, CF_BITMAP, Valid), "Invalid Clipbboard Data");
  EXPECT_EQ(LoadError(B, CF_PALETTE, Valid), "Invalid Clipbboard Data");

  EXPECT_EQ(LoadError(B, CF_DIB, 0), "Invalid Clipbboard data");
  const HGLOBAL Eleven = MakeBlock(std::vector<std::uint8_t>(11, 0));
  EXPECT_EQ(LoadError(B, CF_DIB, Eleven), "Invalid Clipbboard data");

  SetGlobalLockFailCountdown(1);
  EXPECT_EQ(LoadError(B, CF_DIB, Valid), "Invalid Clipbboard data");

  const HGLOBAL Two = MakeBlock(PackedDib(Bmp(1, 1, 2, {}, {0, 0, 0, 0})));
  EXPECT_EQ(LoadError(B, CF_DIB, Two), "Invalid Clipbboard Data");

  TBmpLayout CoreTwo = Bmp(1, 1, 2, {}, {});
  CoreTwo.HeaderSize = 12;
  const HGLOBAL Core = MakeBlock(PackedDib(CoreTwo));
  EXPECT_EQ(LoadError(B, CF_DIB, Core), "Invalid Clipbboard Data");

  // Header areas the block cannot hold: a 40-byte header in 20 bytes, and a colour count
  // whose table would run past the block (and past 32-bit offsets).
  std::vector<std::uint8_t> ShortInfo = PackedDib(TBmpLayout{});
  ShortInfo.resize(20);
  const HGLOBAL Cut = MakeBlock(ShortInfo);
  EXPECT_EQ(LoadError(B, CF_DIB, Cut), "Invalid Clipbboard data");
  TBmpLayout ManyColours = Bmp(1, 1, 8, {}, {0, 0, 0, 0});
  ManyColours.ClrUsed = 0x40000001;
  const HGLOBAL Huge = MakeBlock(PackedDib(ManyColours));
  EXPECT_EQ(LoadError(B, CF_DIB, Huge), "Invalid Clipbboard data");

  // Errors of the stream loader pass through.
  const HGLOBAL ZeroWidth = MakeBlock(PackedDib(Bmp(0, 1, 8, {}, {})));
  EXPECT_ANY_THROW(B.LoadFromClipboardFormat(CF_DIB, ZeroWidth, 0));

  EXPECT_EQ(B.GetWidth(), 3) << "a failed load keeps the image";
  EXPECT_EQ(B.GetHeight(), 2);
  for (HGLOBAL H : {Valid, Eleven, Two, Core, Cut, Huge, ZeroWidth}) {
    EXPECT_EQ(GlobalLockCount(H), 0);
    GlobalFree(H);
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

std::vector<std::uint8_t> BlockBytes(HGLOBAL H) {
  const auto* P = static_cast<const std::uint8_t*>(GlobalLock(H));
  std::vector<std::uint8_t> Data(P, P + GlobalSize(H));
  GlobalUnlock(H);
  return Data;
}

std::vector<std::uint8_t> StreamBytes(TBigBitmap& B) {
  TMemoryStream S;
  B.SaveToStream(S);
  const auto* P = static_cast<const std::uint8_t*>(S.Memory());
  return std::vector<std::uint8_t>(P, P + S.GetSize());
}

// Fills every row with a pattern that differs from row to row.
void FillPattern(TBigBitmap& B) {
  const std::int64_t Stride =
      TBigBitmap::RowStride(B.GetWidth(), TBigBitmap::GetPixelBits(B.GetPixelFormat()));
  for (std::int32_t Y = 0; Y < B.GetHeight(); ++Y) {
    auto* Row = static_cast<std::uint8_t*>(B.GetScanline(Y));
    for (std::int64_t I = 0; I < Stride; ++I) Row[I] = static_cast<std::uint8_t>(I * 7 + Y * 13);
  }
}

TEST_F(ClipboardSave, EmptyImageGivesNoBlockAndAllocatesNothing) {
  TBigBitmap B;
  std::uint16_t Format = 0;
  THandle Data = 0x1234;
  HPALETTE Palette = 0x77;
  const int Live = LiveGlobalBlocks();
  B.SaveToClipboardFormat(Format, Data, Palette);
  EXPECT_EQ(Format, CF_DIB);
  EXPECT_EQ(Data, 0u);
  EXPECT_EQ(Palette, 0x77u) << "the palette argument is never written";
  EXPECT_EQ(LiveGlobalBlocks(), Live);
}

TEST_F(ClipboardSave, BlockIsExactlyTheStreamFormWithoutItsFileHeader) {
  TBigBitmap B;
  B.SetWidth(100);
  B.SetHeight(50);
  FillPattern(B);
  RGBQUAD Colours[256];
  ASSERT_EQ(GetDIBColorTable(B.Bitmaps()[0]->Canvas()->Handle(), 0, 256, Colours), 256u);
  std::uint16_t Format = 0;
  THandle Data = 0;
  HPALETTE Palette = 0;
  B.SaveToClipboardFormat(Format, Data, Palette);
  EXPECT_EQ(Format, CF_DIB);
  ASSERT_NE(Data, 0u);
  EXPECT_EQ(GlobalSize(Data), 6064u);  // 40 + 1024 + 100 x 50
  EXPECT_EQ(GlobalLockCount(Data), 0);
  const std::vector<std::uint8_t> Block = BlockBytes(Data);
  const std::vector<std::uint8_t> File = StreamBytes(B);
  ASSERT_EQ(File.size(), 14 + Block.size());
  EXPECT_TRUE(std::equal(Block.begin(), Block.end(), File.begin() + 14))
      << "every byte of the block must be written";
  GlobalFree(Data);
}

TEST_F(ClipboardSave, FailedAllocationOrLockLeavesNoBlockAndNoHandle) {
  TBigBitmap B;
  B.SetWidth(10);
  B.SetHeight(10);
  const int Live = LiveGlobalBlocks();
  std::uint16_t Format = 0;
  THandle Data = 0;
  HPALETTE Palette = 0;

  SetGlobalAllocFailCountdown(1);
  try {
    B.SaveToClipboardFormat(Format, Data, Palette);
    ADD_FAILURE() << "allocation failure not reported";
  } catch (const EBigBitmapError& E) {
    EXPECT_STREQ(E.what(), "Cannot Allocate Memory");
  }
  EXPECT_EQ(Data, 0u);

  SetGlobalLockFailCountdown(1);
  try {
    B.SaveToClipboardFormat(Format, Data, Palette);
    ADD_FAILURE() << "lock failure not reported";
  } catch (const EBigBitmapError& E) {
    EXPECT_STREQ(E.what(), "Cannnot Lock Memory for CLipboard");
  }
  EXPECT_EQ(Data, 0u) << "no handle of a freed block may be handed out";
  EXPECT_EQ(LiveGlobalBlocks(), Live);
}

class ClipboardRoundTrip : public ClipboardSave,
                           public ::testing::WithParamInterface<TBBPixelFormat> {};

TEST_P(ClipboardRoundTrip, SavedBlockLoadsBackToTheSameImage) {
  TBigBitmap Source;
  Source.SetPixelFormat(GetParam());
  Source.SetWidth(37);
  Source.SetHeight(11);
  FillPattern(Source);
  if (GetParam() != bbpf24bit) {
    const int N = GetParam() == bbpf1bit ? 2 : GetParam() == bbpf4bit ? 16 : 256;
    Source.SetPalette(bigbitmaptest::MakePalette(N, [](int I) {
      return bigbitmaptest::RGB(static_cast<std::uint8_t>(I * 3),
                                static_cast<std::uint8_t>(255 - I),
                                static_cast<std::uint8_t>(I ^ 0x5A));
    }));
  }
  std::uint16_t Format = 0;
  THandle Data = 0;
  HPALETTE Palette = 0;
  Source.SaveToClipboardFormat(Format, Data, Palette);

  TBigBitmap Copy;
  Copy.LoadFromClipboardFormat(Format, Data, 0);
  GlobalFree(Data);
  ASSERT_EQ(Copy.GetWidth(), 37);
  ASSERT_EQ(Copy.GetHeight(), 11);
  EXPECT_EQ(Copy.GetPixelFormat(), GetParam());
  EXPECT_EQ(StreamBytes(Copy), StreamBytes(Source)) << "colours or pixels differ";
}

INSTANTIATE_TEST_SUITE_P(Formats, ClipboardRoundTrip,
                         ::testing::Values(bbpf1bit, bbpf4bit, bbpf8bit, bbpf24bit));

TEST_F(ClipboardSave, ImageTravelsThroughTheClipboardObject) {
  TClipboard Board;
  TBigBitmap Source;
  Source.SetPixelFormat(bbpf24bit);
  Source.SetWidth(1000);
  Source.SetHeight(3000);  // two bands
  FillPattern(Source);
  Board.Assign(&Source);
  EXPECT_FALSE(Board.IsOpen());

  TBigBitmap Copy;
  Copy.SetDrawMode(1);
  Copy.Assign(&Board);
  EXPECT_FALSE(Board.IsOpen()) << "the clipboard must be closed again";
  EXPECT_EQ(Copy.GetDrawMode(), 1);
  EXPECT_EQ(StreamBytes(Copy), StreamBytes(Source));
  EXPECT_NE(Board.GetAsHandle(CF_DIB), 0u) << "loading leaves the clipboard's data in place";

  Board.Clear();
  EXPECT_THROW(Copy.Assign(&Board), EInvalidGraphic);
  EXPECT_FALSE(Board.IsOpen());
  EXPECT_EQ(Copy.GetWidth(), 1000);
}

}  // namespace
