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

constexpr TColor kSentinel = 0x123456;

// 24 bits at 21,758 columns: bands of 128, 128 and 44 rows; image row y has RowColour(y).
constexpr std::int32_t kHeight = 300;
TColor RowColour(std::int32_t y) {
  return RGB(static_cast<std::uint8_t>(y), y >> 8, 77);
}

class BandDrawTest : public LeakCheckedTest {
 protected:
  static void SetUpTestSuite() {
    source_ = new TBigBitmap;
    source_->SetBitmaps(21758, kHeight, bbpf24bit);
    for (std::int32_t y = 0; y < kHeight; ++y) bigbitmaptest::FillRow24(*source_, y, RowColour(y));
  }
  static void TearDownTestSuite() {
    delete source_;
    source_ = nullptr;
  }
  void SetUp() override {
    LeakCheckedTest::SetUp();
    source_->SetDrawMode(0);
  }
  // An 8-column 24-bit destination of the given height filled with kSentinel.
  std::unique_ptr<TBitmap> Destination(std::int32_t height) {
    auto d = std::make_unique<TBitmap>();
    d->SetPixelFormat(pf24bit);
    d->SetWidth(8);
    d->SetHeight(height);
    d->Canvas()->Brush().Color = kSentinel;
    d->Canvas()->FillRect(Rect(0, 0, 8, height));
    return d;
  }
  static TColor At(TBitmap& d, std::int32_t x, std::int32_t y) { return Pixel24(d.ScanLine(y), x); }
  static TBigBitmap* source_;
};
TBigBitmap* BandDrawTest::source_ = nullptr;

TEST_F(BandDrawTest, NaturalHeightPutsEveryBandOnItsOwnRowsWithOneBlitEach) {
  auto d = Destination(kHeight + 10);
  const auto blits = GdiStats().StretchBltCalls;
  d->Canvas()->StretchDraw(Rect(0, 5, 8, 5 + kHeight), source_);
  EXPECT_EQ(GdiStats().StretchBltCalls - blits, 3u);
  for (std::int32_t y = 0; y < kHeight + 10; ++y) {
    const TColor want = y < 5 || y >= 5 + kHeight ? kSentinel : RowColour(y - 5);
    ASSERT_EQ(At(*d, 0, y), want) << y;
    ASSERT_EQ(At(*d, 7, y), want) << y;
  }
}

TEST_F(BandDrawTest, DoubledHeightMapsBandRowsOntoTwiceTheRows) {
  auto d = Destination(2 * kHeight);
  d->Canvas()->StretchDraw(Rect(0, 0, 8, 2 * kHeight), source_);
  for (std::int32_t y = 0; y < 2 * kHeight; ++y) ASSERT_EQ(At(*d, 3, y), RowColour(y / 2)) << y;
}

TEST_F(BandDrawTest, ShrinkingLeavesEmptyBandRectanglesButNoGap) {
  // Boundaries 0, 256/300, 512/300, 600/300 truncate to 0, 0, 1, 2: band 0 gets no row.
  auto d = Destination(2);
  d->Canvas()->StretchDraw(Rect(0, 0, 8, 2), source_);
  const TColor top = At(*d, 0, 0);
  const TColor bottom = At(*d, 0, 1);
  EXPECT_NE(top, kSentinel);
  EXPECT_NE(bottom, kSentinel);
  bool top_from_band1 = false, bottom_from_band2 = false;
  for (std::int32_t y = 128; y < 256; ++y) top_from_band1 |= top == RowColour(y);
  for (std::int32_t y = 256; y < kHeight; ++y) bottom_from_band2 |= bottom == RowColour(y);
  EXPECT_TRUE(top_from_band1);
  EXPECT_TRUE(bottom_from_band2);
}

TEST_F(BandDrawTest, BottomAboveTopDrawsUpsideDownAboveTop) {
  auto d = Destination(kHeight);
  d->Canvas()->StretchDraw(Rect(0, kHeight - 1, 8, -1), source_);
  for (std::int32_t y = 0; y < kHeight; ++y)
    ASSERT_EQ(At(*d, 2, y), RowColour(kHeight - 1 - y)) << y;
}

TEST_F(BandDrawTest, ZeroExtentDrawsNothingButStillSetsUpTheOwnBands) {
  auto d = Destination(kHeight);
  const auto blits = GdiStats().StretchBltCalls;
  for (const TRect& r : {Rect(4, 0, 4, kHeight), Rect(0, 9, 8, 9)}) {
    for (const auto& band : source_->Bitmaps()) {
      band->Canvas()->CopyMode = SRCINVERT;
      SetWindowOrgEx(band->Canvas()->Handle(), 0, 50, nullptr);
    }
    d->Canvas()->StretchDraw(r, source_);
    for (const auto& band : source_->Bitmaps()) {
      TPoint origin{};
      GetWindowOrgEx(band->Canvas()->Handle(), &origin);
      EXPECT_EQ(band->Canvas()->CopyMode, SRCCOPY);
      EXPECT_EQ(origin.Y, 0);
    }
  }
  EXPECT_EQ(GdiStats().StretchBltCalls, blits);
  EXPECT_EQ(At(*d, 4, 0), kSentinel);
}

TEST_F(BandDrawTest, UnknownModeRaisesBeforeDrawingAnything) {
  auto d = Destination(kHeight);
  const auto blits = GdiStats().StretchBltCalls;
  const auto dibits = GdiStats().StretchDIBitsCalls;
  source_->SetDrawMode(2);
  EXPECT_THAT(
      [&] { d->Canvas()->StretchDraw(Rect(0, 0, 8, kHeight), source_); },
      ::testing::ThrowsMessage<EBigBitmapError>(::testing::StrEq("TBigBitmap.Draw: Unknown Mode")));
  EXPECT_EQ(GdiStats().StretchBltCalls, blits);
  EXPECT_EQ(GdiStats().StretchDIBitsCalls, dibits);
  EXPECT_EQ(At(*d, 0, 0), kSentinel);
}

class ConversionTest : public LeakCheckedTest {};

TColor PaletteColour(int i) {
  return RGB(i, 255 - i, (i * 7) & 255);
}

TEST_F(ConversionTest, EightToTwentyFourAndBackIsExactAcrossBands) {
  constexpr std::int32_t w = 3072, h = 3000;  // 8 bits: 2 bands; 24 bits: 4 bands
  TBigBitmap indexed;
  indexed.SetBitmaps(w, h, bbpf8bit);
  indexed.SetPalette(bigbitmaptest::MakePalette(256, PaletteColour));
  for (std::int32_t y = 0; y < h; ++y) {
    auto* row = static_cast<std::uint8_t*>(indexed.GetScanline(y));
    for (std::int32_t x = 0; x < w; ++x) row[x] = static_cast<std::uint8_t>(x + 3 * y);
  }
  TBigBitmap rgb;
  rgb.SetPixelFormat(bbpf24bit);
  rgb.SetWidth(w);
  rgb.SetHeight(h);
  ASSERT_EQ(indexed.Bitmaps().size(), 2u);
  ASSERT_EQ(rgb.Bitmaps().size(), 4u);
  rgb.Canvas()->Draw(0, 0, &indexed);
  for (std::int32_t y = 0; y < h; ++y) {
    const void* row = rgb.GetScanline(y);
    for (std::int32_t x = 0; x < w; ++x) {
      ASSERT_EQ(Pixel24(row, x), PaletteColour((x + 3 * y) & 255)) << x << "," << y;
    }
  }

  TBigBitmap back;
  back.SetBitmaps(w, h, bbpf8bit);
  back.SetPalette(CopyPalette(indexed.GetPalette()));
  back.Canvas()->Draw(0, 0, &rgb);
  for (const auto& band : back.Bitmaps()) {
    ASSERT_EQ(band->ColorTable().size(), 256u);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(TableColour(*band, i), PaletteColour(i));
  }
  for (std::int32_t y = 0; y < h; ++y) {
    const auto* row = static_cast<const std::uint8_t*>(back.GetScanline(y));
    for (std::int32_t x = 0; x < w; ++x) {
      ASSERT_EQ(row[x], static_cast<std::uint8_t>(x + 3 * y)) << x << "," << y;
    }
  }
}

TEST_F(ConversionTest, TwentyFourToEightPicksTheNearestEntryOfAnUnchangedTable) {
  const std::vector<TColor> table = {RGB(0, 0, 0), RGB(2, 0, 0), RGB(255, 255, 255), RGB(200, 0, 0),
                                     RGB(0, 0, 200)};
  // Colour and the entry it must get: nearest by squared distance, the lower index on a tie.
  const std::vector<std::pair<TColor, int>> cases = {
      {RGB(1, 0, 0), 0},     {RGB(3, 1, 0), 1},       {RGB(128, 128, 128), 3},
      {RGB(150, 60, 0), 3},  {RGB(40, 40, 170), 4},   {RGB(230, 230, 230), 2},
      {RGB(100, 0, 100), 1}, {RGB(255, 255, 255), 2},
  };
  const auto n = static_cast<std::int32_t>(cases.size());
  TBigBitmap rgb;
  rgb.SetBitmaps(n, 1, bbpf24bit);
  for (std::int32_t x = 0; x < n; ++x)
    bigbitmaptest::SetPixel24(rgb.GetScanline(0), x, cases[x].first);
  TBigBitmap indexed;
  indexed.SetBitmaps(n, 1, bbpf8bit);
  indexed.SetPalette(bigbitmaptest::MakePalette(5, [&](int i) { return table[i]; }));
  indexed.Canvas()->Draw(0, 0, &rgb);
  const TBitmap& band = *indexed.Bitmaps()[0];
  ASSERT_EQ(band.ColorTable().size(), table.size());
  for (std::size_t i = 0; i < table.size(); ++i) EXPECT_EQ(TableColour(band, i), table[i]);
  const auto* row = static_cast<const std::uint8_t*>(indexed.GetScanline(0));
  for (std::int32_t x = 0; x < n; ++x) EXPECT_EQ(row[x], cases[x].second) << x;
}

struct PackedCase {
  TBBPixelFormat format;
  std::vector<std::uint8_t> bytes;  // row 0 as stored
  std::vector<int> indices;         // the palette index of each pixel, left to right
};

class PackedFormatTest : public LeakCheckedTest,
                         public ::testing::WithParamInterface<PackedCase> {};

TEST_P(PackedFormatTest, LeftmostPixelIsTheMostSignificantBitOrNibble) {
  const PackedCase& c = GetParam();
  const auto w = static_cast<std::int32_t>(c.indices.size());
  const int n = c.format == bbpf1bit ? 2 : 16;
  auto colour = [](int i) { return RGB(i * 17, 100, 255 - i * 17); };
  TBigBitmap packed;
  packed.SetBitmaps(w, 1, c.format);
  packed.SetPalette(bigbitmaptest::MakePalette(n, colour));
  std::copy(c.bytes.begin(), c.bytes.end(), static_cast<std::uint8_t*>(packed.GetScanline(0)));
  TBigBitmap rgb;
  rgb.SetBitmaps(w, 1, bbpf24bit);
  rgb.Canvas()->Draw(0, 0, &packed);
  for (std::int32_t x = 0; x < w; ++x) {
    EXPECT_EQ(Pixel24(rgb.GetScanline(0), x), colour(c.indices[static_cast<std::size_t>(x)])) << x;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Packed, PackedFormatTest,
    ::testing::ValuesIn(std::vector<PackedCase>{
        {bbpf1bit, {0xB0, 0x01}, {1, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}},
        {bbpf4bit, {0x1F, 0xA0, 0x05}, {1, 15, 10, 0, 0, 5}},
    }));

struct ModeCase {
  TBBPixelFormat source;
  int device_bits;
  int mode;
};

class StretchModeTest : public LeakCheckedTest, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(StretchModeTest, HalftoneOnlyForDeeperImagesOnShallowSurfaces) {
  const ModeCase& c = GetParam();
  TBigBitmap src;
  src.SetBitmaps(4, 4, c.source);
  TBitmap plain;
  plain.SetPixelFormat(pf8bit);
  plain.SetWidth(4);
  plain.SetHeight(4);
  SetDeviceBitsPixel(plain.Canvas()->Handle(), c.device_bits);
  plain.Canvas()->Draw(0, 0, &src);
  EXPECT_EQ(GetStretchBltMode(plain.Canvas()->Handle()), c.mode);
  // The same through a large bitmap whose band surfaces report that depth from the start.
  SetDefaultDeviceBitsPixel(c.device_bits);
  TBigBitmap dst;
  dst.SetBitmaps(4, 4, bbpf8bit);
  SetDefaultDeviceBitsPixel(32);
  dst.Canvas()->Draw(0, 0, &src);
  EXPECT_EQ(GetStretchBltMode(dst.Bitmaps()[0]->Canvas()->Handle()), c.mode);
}

INSTANTIATE_TEST_SUITE_P(Modes, StretchModeTest,
                         ::testing::ValuesIn(std::vector<ModeCase>{
                             {bbpf24bit, 8, HALFTONE},
                             {bbpf24bit, 4, HALFTONE},
                             {bbpf24bit, 16, COLORONCOLOR},
                             {bbpf24bit, 32, COLORONCOLOR},
                             {bbpf8bit, 8, COLORONCOLOR},
                             {bbpf4bit, 32, COLORONCOLOR},
                         }));

}  // namespace
