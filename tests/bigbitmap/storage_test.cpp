// Band geometry, size/format/palette operations, row access and assignment of TBigBitmap.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "bigbitmap_test_helpers.h"

namespace {

using bigbitmaptest::ChangeCounter;
using bigbitmaptest::LeakCheckedTest;
using ::testing::StrEq;
using ::testing::ThrowsMessage;

class StorageTest : public LeakCheckedTest {};

#define EXPECT_BIG_ERROR(stmt, text) \
  EXPECT_THAT([&] { stmt; }, ThrowsMessage<EBigBitmapError>(StrEq(text)))

TEST_F(StorageTest, NewObjectIsEmptyEightBitWithoutBands) {
  TBigBitmap b;
  EXPECT_STREQ(b.ClassName(), "TBigBitmap");
  EXPECT_TRUE(b.GetEmpty());
  EXPECT_EQ(b.GetWidth(), 0);
  EXPECT_EQ(b.GetHeight(), 0);
  EXPECT_EQ(b.GetPixelFormat(), bbpf8bit);
  EXPECT_EQ(b.GetDrawMode(), 0);
  EXPECT_EQ(b.GetPalette(), 0u);
  EXPECT_TRUE(b.Bitmaps().empty());
  EXPECT_BIG_ERROR(b.GetScanline(0), "TBigBitmap.GetScanline: No Bitomaps");
}

TEST_F(StorageTest, OnlyTheSecondDimensionCreatesTheWhiteBand) {
  TBigBitmap b;
  b.SetWidth(100);
  EXPECT_TRUE(b.GetEmpty());
  EXPECT_TRUE(b.Bitmaps().empty());
  b.SetHeight(50);
  ASSERT_EQ(b.Bitmaps().size(), 1u);
  const TBitmap& band = *b.Bitmaps()[0];
  EXPECT_EQ(band.GetWidth(), 100);
  EXPECT_EQ(band.GetHeight(), 50);
  EXPECT_EQ(band.GetPixelFormat(), pf8bit);
  for (std::int32_t y = 0; y < 50; ++y) {
    const auto* row = static_cast<const std::uint8_t*>(b.GetScanline(y));
    for (std::int32_t x = 0; x < 100; ++x) {
      ASSERT_EQ(bigbitmaptest::TableColour(band, row[x]), clWhite) << x << "," << y;
    }
  }
}

struct GeometryCase {
  std::int32_t width, height;
  TBBPixelFormat format;
  std::vector<std::int32_t> band_heights;
};

class BandGeometryTest : public LeakCheckedTest,
                         public ::testing::WithParamInterface<GeometryCase> {};

TEST_P(BandGeometryTest, BandsFollowTheBudgetAndRowsMapIntoThem) {
  const GeometryCase& c = GetParam();
  ResetLargestBitmapBlock();
  TBigBitmap b;
  b.SetBitmaps(c.width, c.height, c.format);
  std::vector<std::int32_t> heights;
  for (const auto& band : b.Bitmaps()) {
    EXPECT_EQ(band->GetWidth(), c.width);
    EXPECT_EQ(band->GetPixelFormat(), BBPixelFormatToPixelFormat(c.format));
    heights.push_back(band->GetHeight());
  }
  EXPECT_EQ(heights, c.band_heights);
  EXPECT_LE(LargestBitmapBlock(), BigBitmapBandBudget);
  // First and last image row of every band land on that band's first and last row.
  const std::int32_t r = c.band_heights[0];
  for (std::size_t i = 0; i < heights.size(); ++i) {
    TBitmap& band = *b.Bitmaps()[i];
    const auto first = static_cast<std::int32_t>(i) * r;
    EXPECT_EQ(b.GetScanline(first), band.ScanLine(0));
    EXPECT_EQ(b.GetScanline(first + heights[i] - 1), band.ScanLine(heights[i] - 1));
  }
  EXPECT_BIG_ERROR(b.GetScanline(c.height), "TBigBitmap.GetScanline: Index is out of Range");
  EXPECT_BIG_ERROR(b.GetScanline(-1), "TBigBitmap.GetScanline: Index is out of Range");
}

std::vector<std::int32_t> Repeat(int n, std::int32_t h, std::int32_t last) {
  std::vector<std::int32_t> v(n, h);
  v.push_back(last);
  return v;
}

INSTANTIATE_TEST_SUITE_P(Geometry, BandGeometryTest,
                         ::testing::ValuesIn(std::vector<GeometryCase>{
                             {6144, 4096, bbpf8bit, Repeat(3, 1365, 1)},
                             {6144, 4096, bbpf24bit, Repeat(9, 455, 1)},
                             {3072, 2048, bbpf24bit, Repeat(2, 910, 228)},
                             {100, 50, bbpf4bit, {50}},
                             {522208, 300, bbpf1bit, Repeat(2, 128, 44)},  // stride 65,276 at 1 bit
                             {8, 3, bbpf1bit, {3}},
                         }));

struct StrideCase {
  TBBPixelFormat format;
  std::int32_t width;
  bool accepted;
};

class StrideLimitTest : public LeakCheckedTest, public ::testing::WithParamInterface<StrideCase> {};

TEST_P(StrideLimitTest, RowsOf65280BytesOrMoreAreRejected) {
  const StrideCase& c = GetParam();
  TBigBitmap b;
  if (c.accepted) {
    b.SetBitmaps(c.width, 1, c.format);
    EXPECT_EQ(b.GetWidth(), c.width);
    return;
  }
  const char* text = "TBigBitmap.SetBitmaps: Too Big Width or Too Many Pixel Bits";
  EXPECT_BIG_ERROR(b.SetBitmaps(c.width, 1, c.format), text);
  // Also when no band would be built at all.
  b.SetPixelFormat(c.format);
  EXPECT_BIG_ERROR(b.SetWidth(c.width), text);
  EXPECT_EQ(b.GetWidth(), 0);
}

INSTANTIATE_TEST_SUITE_P(Limits, StrideLimitTest,
                         ::testing::ValuesIn(std::vector<StrideCase>{
                             {bbpf24bit, 21758, true},
                             {bbpf24bit, 21759, false},
                             {bbpf8bit, 65276, true},
                             {bbpf8bit, 65277, false},
                             {bbpf4bit, 130552, true},
                             {bbpf4bit, 130553, false},
                             {bbpf1bit, 522208, true},
                             {bbpf1bit, 522209, false},
                         }));

TEST_F(StorageTest, PixelFormatMappingsRejectEverythingOutsideTheFourFormats) {
  const std::vector<std::pair<TBBPixelFormat, TPixelFormat>> table = {
      {bbpf1bit, pf1bit}, {bbpf4bit, pf4bit}, {bbpf8bit, pf8bit}, {bbpf24bit, pf24bit}};
  const int bits[] = {1, 4, 8, 24};
  for (const auto& [bb, pf] : table) {
    EXPECT_EQ(BBPixelFormatToPixelFormat(bb), pf);
    EXPECT_EQ(PixelFormatToBBPixelFormat(pf), bb);
    EXPECT_EQ(TBigBitmap::GetPixelBits(bb), bits[bb]);
  }
  const auto bad = static_cast<TBBPixelFormat>(4);
  EXPECT_BIG_ERROR(BBPixelFormatToPixelFormat(bad),
                   "BBPixelFormatToPixelFormat: Invalid Pixel Format");
  EXPECT_BIG_ERROR(TBigBitmap::GetPixelBits(bad), "TBigBitmap.GetPixelBits: Invalid Pixel Format");
  for (TPixelFormat pf : {pfDevice, pf15bit, pf16bit, pf32bit, pfCustom}) {
    EXPECT_BIG_ERROR(PixelFormatToBBPixelFormat(pf),
                     "PixelFormatToBBPixelFormat: Invalid Pixel Format");
  }
}

// A 24-bit 10 x 10 image with a red pixel at (3, 4), DrawMode 1.
void MakeMarked(TBigBitmap& b) {
  b.SetBitmaps(10, 10, bbpf24bit);
  bigbitmaptest::SetPixel24(b.GetScanline(4), 3, bigbitmaptest::RGB(255, 0, 0));
  b.SetDrawMode(1);
}
void ExpectMarked(TBigBitmap& b) {
  EXPECT_EQ(b.GetWidth(), 10);
  EXPECT_EQ(b.GetHeight(), 10);
  EXPECT_EQ(b.GetPixelFormat(), bbpf24bit);
  EXPECT_EQ(b.GetDrawMode(), 1);
  ASSERT_EQ(b.Bitmaps().size(), 1u);
  EXPECT_EQ(bigbitmaptest::Pixel24(b.GetScanline(4), 3), bigbitmaptest::RGB(255, 0, 0));
  EXPECT_EQ(bigbitmaptest::Pixel24(b.GetScanline(4), 4), clWhite);
}

struct FailCase {
  const char* name;
  std::function<void(TBigBitmap&)> call;
  const char* message;
};

class FailingCallTest : public LeakCheckedTest, public ::testing::WithParamInterface<FailCase> {};

TEST_P(FailingCallTest, RaisesTheFirstApplicableMessageAndChangesNothing) {
  TBigBitmap b;
  MakeMarked(b);
  ChangeCounter changes(b);
  EXPECT_BIG_ERROR(GetParam().call(b), GetParam().message);
  EXPECT_EQ(changes.count, 0);
  ExpectMarked(b);
}

const auto kInvalid = static_cast<TBBPixelFormat>(5);
INSTANTIATE_TEST_SUITE_P(
    Messages, FailingCallTest,
    ::testing::ValuesIn(std::vector<FailCase>{
        {"BothNegative", [](TBigBitmap& b) { b.SetBitmaps(-1, -1, kInvalid); },
         "TBigBitmap.SetBitmaps: Negative Width"},
        {"NegativeHeight", [](TBigBitmap& b) { b.SetBitmaps(0, -1, kInvalid); },
         "TBigBitmap.SetBitmaps: Negative Height"},
        {"InvalidFormatEvenForEmpty", [](TBigBitmap& b) { b.SetBitmaps(0, 0, kInvalid); },
         "TBigBitmap.GetPixelBits: Invalid Pixel Format"},
        {"SetWidthNegative", [](TBigBitmap& b) { b.SetWidth(-5); },
         "TBigBitmap.SetBitmaps: Negative Width"},
        {"SetHeightNegative", [](TBigBitmap& b) { b.SetHeight(-5); },
         "TBigBitmap.SetBitmaps: Negative Height"},
        {"SetPixelFormatInvalid", [](TBigBitmap& b) { b.SetPixelFormat(kInvalid); },
         "TBigBitmap.GetPixelBits: Invalid Pixel Format"},
        {"TooWide", [](TBigBitmap& b) { b.SetWidth(21759); },
         "TBigBitmap.SetBitmaps: Too Big Width or Too Many Pixel Bits"},
    }),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(StorageTest, BandCreationFailingHalfWayLeavesTheObjectAsItWas) {
  TBigBitmap b;
  MakeMarked(b);
  const TBitmap* old_band = b.Bitmaps()[0].get();
  const int blocks = LiveBitmapBlocks();
  ChangeCounter changes(b);
  SetBitmapAllocFailCountdown(3);  // the third of four bands
  EXPECT_THROW(b.SetBitmaps(6144, 4096, bbpf8bit), EOutOfMemory);
  SetBitmapAllocFailCountdown(0);
  EXPECT_EQ(LiveBitmapBlocks(), blocks);
  EXPECT_EQ(changes.count, 0);
  EXPECT_EQ(b.Bitmaps()[0].get(), old_band);
  ExpectMarked(b);

  TBigBitmap big;
  big.SetBitmaps(6144, 4096, bbpf8bit);
  SetBitmapAllocFailCountdown(2);
  EXPECT_THROW(b.Assign(&big), EOutOfMemory);
  SetBitmapAllocFailCountdown(0);
  EXPECT_EQ(changes.count, 0);
  ExpectMarked(b);
}

TEST_F(StorageTest, ChangingTheFormatDiscardsPixelsAndPalette) {
  TBigBitmap b;
  b.SetBitmaps(16, 4, bbpf8bit);
  b.SetPalette(bigbitmaptest::MakePalette(256, [](int i) { return bigbitmaptest::RGB(i, 0, 0); }));
  static_cast<std::uint8_t*>(b.GetScanline(2))[5] = 7;
  TBitmap fresh;
  fresh.SetPixelFormat(pf8bit);
  b.SetPixelFormat(bbpf8bit);  // the same value still rebuilds
  EXPECT_EQ(b.Bitmaps()[0]->ColorTable().size(), fresh.ColorTable().size());
  for (std::size_t i = 0; i < fresh.ColorTable().size(); ++i) {
    ASSERT_EQ(bigbitmaptest::TableColour(*b.Bitmaps()[0], i), bigbitmaptest::TableColour(fresh, i));
  }
  const auto* row = static_cast<const std::uint8_t*>(b.GetScanline(2));
  EXPECT_EQ(bigbitmaptest::TableColour(*b.Bitmaps()[0], row[5]), clWhite);
}

TEST_F(StorageTest, SetPaletteGivesEveryBandItsOwnCopyAndFreesTheGivenHandle) {
  const int before = LivePaletteCount();
  TBigBitmap empty;
  empty.SetPalette(bigbitmaptest::MakePalette(4, [](int i) { return i; }));
  EXPECT_EQ(LivePaletteCount(), before);

  TBigBitmap b;
  b.SetBitmaps(6144, 4096, bbpf8bit);
  const int with_bands = LivePaletteCount();
  const HPALETTE given =
      bigbitmaptest::MakePalette(256, [](int i) { return bigbitmaptest::RGB(i, 255 - i, i / 2); });
  ChangeCounter changes(b);
  b.SetPalette(given);
  EXPECT_EQ(changes.count, 1);
  EXPECT_EQ(LivePaletteCount(), with_bands);  // old band palettes freed, given one freed
  EXPECT_NE(b.GetPalette(), given);
  EXPECT_EQ(b.GetPalette(), b.Bitmaps()[0]->GetPalette());
  for (const auto& band : b.Bitmaps()) {
    EXPECT_EQ(bigbitmaptest::TableColour(*band, 10), bigbitmaptest::RGB(10, 245, 5));
  }
}

TEST_F(StorageTest, AssignFromBigBitmapMakesIndependentCopiesWithDrawMode) {
  TBigBitmap src;
  src.SetBitmaps(3072, 2048, bbpf24bit);
  bigbitmaptest::FillRow24(src, 1000, bigbitmaptest::RGB(1, 2, 3));
  src.SetDrawMode(1);
  TBigBitmap dst;
  ChangeCounter changes(dst);
  dst.Assign(&src);
  EXPECT_EQ(changes.count, 1);
  EXPECT_EQ(dst.GetWidth(), 3072);
  EXPECT_EQ(dst.GetHeight(), 2048);
  EXPECT_EQ(dst.GetPixelFormat(), bbpf24bit);
  EXPECT_EQ(dst.GetDrawMode(), 1);
  EXPECT_EQ(dst.Bitmaps().size(), 3u);
  EXPECT_EQ(bigbitmaptest::Pixel24(dst.GetScanline(1000), 3071), bigbitmaptest::RGB(1, 2, 3));
  // Editing either one leaves the other alone.
  bigbitmaptest::FillRow24(src, 1000, clBlack);
  bigbitmaptest::FillRow24(dst, 2047, clBlack);
  EXPECT_EQ(bigbitmaptest::Pixel24(dst.GetScanline(1000), 5), bigbitmaptest::RGB(1, 2, 3));
  EXPECT_EQ(bigbitmaptest::Pixel24(src.GetScanline(2047), 5), clWhite);
}

TEST_F(StorageTest, AssignsFromAndToAPlainBitmapThroughABmpStream) {
  TBitmap plain;
  plain.SetPixelFormat(pf8bit);
  plain.SetWidth(7);
  plain.SetHeight(5);
  plain.SetPalette(
      bigbitmaptest::MakePalette(256, [](int i) { return bigbitmaptest::RGB(i, 9, 0); }));
  for (std::int32_t y = 0; y < 5; ++y) {
    for (std::int32_t x = 0; x < 7; ++x)
      static_cast<std::uint8_t*>(plain.ScanLine(y))[x] = x * 10 + y;
  }
  TBigBitmap big;
  big.SetDrawMode(1);
  big.Assign(&plain);
  EXPECT_EQ(big.GetWidth(), 7);
  EXPECT_EQ(big.GetHeight(), 5);
  EXPECT_EQ(big.GetPixelFormat(), bbpf8bit);
  EXPECT_EQ(big.GetDrawMode(), 1);
  EXPECT_EQ(bigbitmaptest::TableColour(*big.Bitmaps()[0], 200), bigbitmaptest::RGB(200, 9, 0));
  EXPECT_EQ(static_cast<std::uint8_t*>(big.GetScanline(4))[6], 64);
  static_cast<std::uint8_t*>(big.GetScanline(0))[0] = 99;
  TBitmap back;
  back.Assign(&big);
  EXPECT_EQ(back.GetPixelFormat(), pf8bit);
  EXPECT_EQ(back.GetWidth(), 7);
  EXPECT_EQ(back.GetHeight(), 5);
  EXPECT_EQ(static_cast<std::uint8_t*>(back.ScanLine(0))[0], 99);
  EXPECT_EQ(static_cast<std::uint8_t*>(back.ScanLine(4))[6], 64);
  EXPECT_EQ(bigbitmaptest::TableColour(back, 200), bigbitmaptest::RGB(200, 9, 0));
}

TEST_F(StorageTest, AssignWithoutSourceEmptiesKeepingFormatAndNotifiesTwice) {
  TBigBitmap b;
  b.SetBitmaps(10, 10, bbpf4bit);
  ChangeCounter changes(b);
  b.Assign(nullptr);
  EXPECT_EQ(changes.count, 2);
  EXPECT_TRUE(b.GetEmpty());
  EXPECT_EQ(b.GetWidth(), 0);
  EXPECT_EQ(b.GetHeight(), 0);
  EXPECT_EQ(b.GetPixelFormat(), bbpf4bit);
  EXPECT_TRUE(b.Bitmaps().empty());
}

TEST_F(StorageTest, EverySuccessfulChangeNotifiesExactlyOnceAndSetsBothFlags) {
  TBigBitmap src;
  src.SetBitmaps(4, 4, bbpf8bit);
  const std::vector<std::function<void(TBigBitmap&)>> calls = {
      [](TBigBitmap& b) { b.SetWidth(12); },
      [](TBigBitmap& b) { b.SetHeight(7); },
      [](TBigBitmap& b) { b.SetPixelFormat(bbpf1bit); },
      [](TBigBitmap& b) { b.SetDrawMode(0); },
      [](TBigBitmap& b) { b.SetPalette(CopyPalette(b.GetPalette())); },
      [&](TBigBitmap& b) { b.Assign(&src); },
      [](TBigBitmap& b) { b.SetBitmaps(0, 3, bbpf24bit); },
  };
  TBigBitmap b;
  b.SetBitmaps(5, 5, bbpf8bit);
  for (std::size_t i = 0; i < calls.size(); ++i) {
    ChangeCounter changes(b);
    b.SetModified(false);
    b.SetPaletteModified(false);
    calls[i](b);
    EXPECT_EQ(changes.count, 1) << "call " << i;
    EXPECT_TRUE(b.GetModified()) << "call " << i;
    EXPECT_TRUE(b.GetPaletteModified()) << "call " << i;
  }
}

}  // namespace
