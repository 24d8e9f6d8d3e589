// Drawing a TBigBitmap onto canvases: band-wise geometry, format conversion, stretch modes.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "bigbitmap_test_helpers.h"

namespace {

using bigbitmaptest::LeakCheckedTest;
using bigbitmaptest::Pixel24;
using bigbitmaptest::RGB;
using bigbitmaptest::TableColour;

constexpr TColor Sentinel = 0x123456;

// 24 bits at 21,758 columns: bands of 128, 128 and 44 rows; image row y has RowColour(y).
constexpr std::int32_t Height = 300;
TColor RowColour(std::int32_t Y) {
  return RGB(static_cast<std::uint8_t>(Y), Y >> 8, 77);
}

class BandDrawTest : public LeakCheckedTest {
 protected:
  static void SetUpTestSuite() {
    Source = new TBigBitmap;
    Source->SetBitmaps(21758, Height, bbpf24bit);
    for (std::int32_t Y = 0; Y < Height; ++Y) bigbitmaptest::FillRow24(*Source, Y, RowColour(Y));
  }
  static void TearDownTestSuite() {
    delete Source;
    Source = nullptr;
  }
  void SetUp() override {
    LeakCheckedTest::SetUp();
    Source->SetDrawMode(0);
  }
  // An 8-column 24-bit destination of the given height filled with Sentinel.
  std::unique_ptr<TBitmap> Destination(std::int32_t Rows) {
    auto D = std::make_unique<TBitmap>();
    D->SetPixelFormat(pf24bit);
    D->SetWidth(8);
    D->SetHeight(Rows);
    D->Canvas()->Brush().Color = Sentinel;
    D->Canvas()->FillRect(Rect(0, 0, 8, Rows));
    return D;
  }
  static TColor At(TBitmap& D, std::int32_t X, std::int32_t Y) { return Pixel24(D.ScanLine(Y), X); }
  static TBigBitmap* Source;
};
TBigBitmap* BandDrawTest::Source = nullptr;

TEST_F(BandDrawTest, NaturalHeightPutsEveryBandOnItsOwnRowsWithOneBlitEach) {
  auto D = Destination(Height + 10);
  const auto Blits = GdiStats().StretchBltCalls;
  D->Canvas()->StretchDraw(Rect(0, 5, 8, 5 + Height), Source);
  EXPECT_EQ(GdiStats().StretchBltCalls - Blits, 3u);
  for (std::int32_t Y = 0; Y < Height + 10; ++Y) {
    const TColor Want = Y < 5 || Y >= 5 + Height ? Sentinel : RowColour(Y - 5);
    ASSERT_EQ(At(*D, 0, Y), Want) << Y;
    ASSERT_EQ(At(*D, 7, Y), Want) << Y;
  }
}

TEST_F(BandDrawTest, DoubledHeightMapsBandRowsOntoTwiceTheRows) {
  auto D = Destination(2 * Height);
  D->Canvas()->StretchDraw(Rect(0, 0, 8, 2 * Height), Source);
  for (std::int32_t Y = 0; Y < 2 * Height; ++Y) ASSERT_EQ(At(*D, 3, Y), RowColour(Y / 2)) << Y;
}

TEST_F(BandDrawTest, ShrinkingLeavesEmptyBandRectanglesButNoGap) {
  // Boundaries 0, 256/300, 512/300, 600/300 truncate to 0, 0, 1, 2: band 0 gets no row.
  auto D = Destination(2);
  D->Canvas()->StretchDraw(Rect(0, 0, 8, 2), Source);
  const TColor Top = At(*D, 0, 0);
  const TColor Bottom = At(*D, 0, 1);
  EXPECT_NE(Top, Sentinel);
  EXPECT_NE(Bottom, Sentinel);
  bool TopFromBand1 = false, BottomFromBand2 = false;
  for (std::int32_t Y = 128; Y < 256; ++Y) TopFromBand1 |= Top == RowColour(Y);
  for (std::int32_t Y = 256; Y < Height; ++Y) BottomFromBand2 |= Bottom == RowColour(Y);
  EXPECT_TRUE(TopFromBand1);
  EXPECT_TRUE(BottomFromBand2);
}

TEST_F(BandDrawTest, BottomAboveTopDrawsUpsideDownAboveTop) {
  auto D = Destination(Height);
  D->Canvas()->StretchDraw(Rect(0, Height - 1, 8, -1), Source);
  for (std::int32_t Y = 0; Y < Height; ++Y)
    ASSERT_EQ(At(*D, 2, Y), RowColour(Height - 1 - Y)) << Y;
}

TEST_F(BandDrawTest, ZeroExtentDrawsNothingButStillSetsUpTheOwnBands) {
  auto D = Destination(Height);
  const auto Blits = GdiStats().StretchBltCalls;
  for (const TRect& R : {Rect(4, 0, 4, Height), Rect(0, 9, 8, 9)}) {
    for (const auto& Band : Source->Bitmaps()) {
      Band->Canvas()->CopyMode = SRCINVERT;
      SetWindowOrgEx(Band->Canvas()->Handle(), 0, 50, nullptr);
    }
    D->Canvas()->StretchDraw(R, Source);
    for (const auto& Band : Source->Bitmaps()) {
      TPoint Origin{};
      GetWindowOrgEx(Band->Canvas()->Handle(), &Origin);
      EXPECT_EQ(Band->Canvas()->CopyMode, SRCCOPY);
      EXPECT_EQ(Origin.Y, 0);
    }
  }
  EXPECT_EQ(GdiStats().StretchBltCalls, Blits);
  EXPECT_EQ(At(*D, 4, 0), Sentinel);
}

TEST_F(BandDrawTest, UnknownModeRaisesBeforeDrawingAnything) {
  auto D = Destination(Height);
  const auto Blits = GdiStats().StretchBltCalls;
  const auto Dibits = GdiStats().StretchDIBitsCalls;
  Source->SetDrawMode(2);
  EXPECT_THAT(
      [&] { D->Canvas()->StretchDraw(Rect(0, 0, 8, Height), Source); },
      ::testing::ThrowsMessage<EBigBitmapError>(::testing::StrEq("TBigBitmap.Draw: Unknown Mode")));
  EXPECT_EQ(GdiStats().StretchBltCalls, Blits);
  EXPECT_EQ(GdiStats().StretchDIBitsCalls, Dibits);
  EXPECT_EQ(At(*D, 0, 0), Sentinel);
}

class ConversionTest : public LeakCheckedTest {};

TColor PaletteColour(int I) {
  return RGB(I, 255 - I, (I * 7) & 255);
}

TEST_F(ConversionTest, EightToTwentyFourAndBackIsExactAcrossBands) {
  constexpr std::int32_t W = 3072, H = 3000;  // 8 bits: 2 bands; 24 bits: 4 bands
  TBigBitmap Indexed;
  Indexed.SetBitmaps(W, H, bbpf8bit);
  Indexed.SetPalette(bigbitmaptest::MakePalette(256, PaletteColour));
  for (std::int32_t Y = 0; Y < H; ++Y) {
    auto* Row = static_cast<std::uint8_t*>(Indexed.GetScanline(Y));
    for (std::int32_t X = 0; X < W; ++X) Row[X] = static_cast<std::uint8_t>(X + 3 * Y);
  }
  TBigBitmap Rgb;
  Rgb.SetPixelFormat(bbpf24bit);
  Rgb.SetWidth(W);
  Rgb.SetHeight(H);
  ASSERT_EQ(Indexed.Bitmaps().size(), 2u);
  ASSERT_EQ(Rgb.Bitmaps().size(), 4u);
  Rgb.Canvas()->Draw(0, 0, &Indexed);
  for (std::int32_t Y = 0; Y < H; ++Y) {
    const void* Row = Rgb.GetScanline(Y);
    for (std::int32_t X = 0; X < W; ++X) {
      ASSERT_EQ(Pixel24(Row, X), PaletteColour((X + 3 * Y) & 255)) << X << "," << Y;
    }
  }

  TBigBitmap Back;
  Back.SetBitmaps(W, H, bbpf8bit);
  Back.SetPalette(CopyPalette(Indexed.GetPalette()));
  Back.Canvas()->Draw(0, 0, &Rgb);
  for (const auto& Band : Back.Bitmaps()) {
    ASSERT_EQ(Band->ColorTable().size(), 256u);
    for (int I = 0; I < 256; ++I) ASSERT_EQ(TableColour(*Band, I), PaletteColour(I));
  }
  for (std::int32_t Y = 0; Y < H; ++Y) {
    const auto* Row = static_cast<const std::uint8_t*>(Back.GetScanline(Y));
    for (std::int32_t X = 0; X < W; ++X) {
      ASSERT_EQ(Row[X], static_cast<std::uint8_t>(X + 3 * Y)) << X << "," << Y;
    }
  }
}

TEST_F(ConversionTest, TwentyFourToEightPicksTheNearestEntryOfAnUnchangedTable) {
  const std::vector<TColor> Table = {RGB(0, 0, 0), RGB(2, 0, 0), RGB(255, 255, 255), RGB(200, 0, 0),
                                     RGB(0, 0, 200)};
  // Colour and the entry it must get: nearest by squared distance, the lower index on a tie.
  const std::vector<std::pair<TColor, int>> Cases = {
      {RGB(1, 0, 0), 0},     {RGB(3, 1, 0), 1},       {RGB(128, 128, 128), 3},
      {RGB(150, 60, 0), 3},  {RGB(40, 40, 170), 4},   {RGB(230, 230, 230), 2},
      {RGB(100, 0, 100), 1}, {RGB(255, 255, 255), 2},
  };
  const auto N = static_cast<std::int32_t>(Cases.size());
  TBigBitmap Rgb;
  Rgb.SetBitmaps(N, 1, bbpf24bit);
  for (std::int32_t X = 0; X < N; ++X)
    bigbitmaptest::SetPixel24(Rgb.GetScanline(0), X, Cases[X].first);
  TBigBitmap Indexed;
  Indexed.SetBitmaps(N, 1, bbpf8bit);
  Indexed.SetPalette(bigbitmaptest::MakePalette(5, [&](int I) { return Table[I]; }));
  Indexed.Canvas()->Draw(0, 0, &Rgb);
  const TBitmap& Band = *Indexed.Bitmaps()[0];
  ASSERT_EQ(Band.ColorTable().size(), Table.size());
  for (std::size_t I = 0; I < Table.size(); ++I) EXPECT_EQ(TableColour(Band, I), Table[I]);
  const auto* Row = static_cast<const std::uint8_t*>(Indexed.GetScanline(0));
  for (std::int32_t X = 0; X < N; ++X) EXPECT_EQ(Row[X], Cases[X].second) << X;
}

struct TPackedCase {
  TBBPixelFormat Format;
  std::vector<std::uint8_t> Bytes;  // row 0 as stored
  std::vector<int> Indices;         // the palette index of each pixel, left to right
};

class PackedFormatTest : public LeakCheckedTest,
                         public ::testing::WithParamInterface<TPackedCase> {};

TEST_P(PackedFormatTest, LeftmostPixelIsTheMostSignificantBitOrNibble) {
  const TPackedCase& C = GetParam();
  const auto W = static_cast<std::int32_t>(C.Indices.size());
  const int N = C.Format == bbpf1bit ? 2 : 16;
  auto Colour = [](int I) { return RGB(I * 17, 100, 255 - I * 17); };
  TBigBitmap Packed;
  Packed.SetBitmaps(W, 1, C.Format);
  Packed.SetPalette(bigbitmaptest::MakePalette(N, Colour));
  std::copy(C.Bytes.begin(), C.Bytes.end(), static_cast<std::uint8_t*>(Packed.GetScanline(0)));
  TBigBitmap Rgb;
  Rgb.SetBitmaps(W, 1, bbpf24bit);
  Rgb.Canvas()->Draw(0, 0, &Packed);
  for (std::int32_t X = 0; X < W; ++X) {
    EXPECT_EQ(Pixel24(Rgb.GetScanline(0), X), Colour(C.Indices[static_cast<std::size_t>(X)])) << X;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Packed, PackedFormatTest,
    ::testing::ValuesIn(std::vector<TPackedCase>{
        {bbpf1bit, {0xB0, 0x01}, {1, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}},
        {bbpf4bit, {0x1F, 0xA0, 0x05}, {1, 15, 10, 0, 0, 5}},
    }));

struct TModeCase {
  TBBPixelFormat Source;
  int DeviceBits;
  int Mode;
};

class StretchModeTest : public LeakCheckedTest, public ::testing::WithParamInterface<TModeCase> {};

TEST_P(StretchModeTest, HalftoneOnlyForDeeperImagesOnShallowSurfaces) {
  const TModeCase& C = GetParam();
  TBigBitmap Src;
  Src.SetBitmaps(4, 4, C.Source);
  TBitmap Plain;
  Plain.SetPixelFormat(pf8bit);
  Plain.SetWidth(4);
  Plain.SetHeight(4);
  SetDeviceBitsPixel(Plain.Canvas()->Handle(), C.DeviceBits);
  Plain.Canvas()->Draw(0, 0, &Src);
  EXPECT_EQ(GetStretchBltMode(Plain.Canvas()->Handle()), C.Mode);
  // The same through a large bitmap whose band surfaces report that depth from the start.
  SetDefaultDeviceBitsPixel(C.DeviceBits);
  TBigBitmap Dst;
  Dst.SetBitmaps(4, 4, bbpf8bit);
  SetDefaultDeviceBitsPixel(32);
  Dst.Canvas()->Draw(0, 0, &Src);
  EXPECT_EQ(GetStretchBltMode(Dst.Bitmaps()[0]->Canvas()->Handle()), C.Mode);
}

INSTANTIATE_TEST_SUITE_P(Modes, StretchModeTest,
                         ::testing::ValuesIn(std::vector<TModeCase>{
                             {bbpf24bit, 8, HALFTONE},
                             {bbpf24bit, 4, HALFTONE},
                             {bbpf24bit, 16, COLORONCOLOR},
                             {bbpf24bit, 32, COLORONCOLOR},
                             {bbpf8bit, 8, COLORONCOLOR},
                             {bbpf4bit, 32, COLORONCOLOR},
                         }));

}  // namespace
