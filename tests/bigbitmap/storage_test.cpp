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
  TBigBitmap B;
  EXPECT_STREQ(B.ClassName(), "TBigBitmap");
  EXPECT_TRUE(B.GetEmpty());
  EXPECT_EQ(B.GetWidth(), 0);
  EXPECT_EQ(B.GetHeight(), 0);
  EXPECT_EQ(B.GetPixelFormat(), bbpf8bit);
  EXPECT_EQ(B.GetDrawMode(), 0);
  EXPECT_EQ(B.GetPalette(), 0u);
  EXPECT_TRUE(B.Bitmaps().empty());
  EXPECT_BIG_ERROR(B.GetScanline(0), "TBigBitmap.GetScanline: No Bitomaps");
}

TEST_F(StorageTest, OnlyTheSecondDimensionCreatesTheWhiteBand) {
  TBigBitmap B;
  B.SetWidth(100);
  EXPECT_TRUE(B.GetEmpty());
  EXPECT_TRUE(B.Bitmaps().empty());
  B.SetHeight(50);
  ASSERT_EQ(B.Bitmaps().size(), 1u);
  const TBitmap& band = *B.Bitmaps()[0];
  EXPECT_EQ(band.GetWidth(), 100);
  EXPECT_EQ(band.GetHeight(), 50);
  EXPECT_EQ(band.GetPixelFormat(), pf8bit);
  for (std::int32_t Y = 0; Y < 50; ++Y) {
    const auto* Row = static_cast<const std::uint8_t*>(B.GetScanline(Y));
    for (std::int32_t X = 0; X < 100; ++X) {
      ASSERT_EQ(bigbitmaptest::TableColour(band, Row[X]), clWhite) << X << "," << Y;
    }
  }
}

struct GeometryCase {
  std::int32_t width, height;
  TBBPixelFormat format;
  std::vector<std::int32_t> BandHeights;
};

class BandGeometryTest : public LeakCheckedTest,
                         public ::testing::WithParamInterface<GeometryCase> {};

TEST_P(BandGeometryTest, BandsFollowTheBudgetAndRowsMapIntoThem) {
  const GeometryCase& c = GetParam();
  ResetLargestBitmapBlock();
  TBigBitmap b;
  b.SetBitmaps(c.width, c.height, c.format);
  std::vector<std::int32_t> Heights;
  for (const auto& band : b.Bitmaps()) {
    EXPECT_EQ(band->GetWidth(), c.width);
    EXPECT_EQ(band->GetPixelFormat(), BBPixelFormatToPixelFormat(c.format));
    Heights.push_back(band->GetHeight());
  }
  EXPECT_EQ(Heights, c.BandHeights);
  EXPECT_LE(LargestBitmapBlock(), BigBitmapBandBudget);
  // First and last image row of every band land on that band's first and last row.
  const std::int32_t R = c.BandHeights[0];
  for (std::size_t I = 0; I < Heights.size(); ++I) {
    TBitmap& band = *b.Bitmaps()[I];
    const auto first = static_cast<std::int32_t>(I) * R;
    EXPECT_EQ(b.GetScanline(first), band.ScanLine(0));
    EXPECT_EQ(b.GetScanline(first + Heights[I] - 1), band.ScanLine(Heights[I] - 1));
  }
  EXPECT_BIG_ERROR(b.GetScanline(c.height), "TBigBitmap.GetScanline: Index is out of Range");
  EXPECT_BIG_ERROR(b.GetScanline(-1), "TBigBitmap.GetScanline: Index is out of Range");
}

std::vector<std::int32_t> Repeat(int N, std::int32_t H, std::int32_t Last) {
  std::vector<std::int32_t> V(N, H);
  V.push_back(Last);
  return V;
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
  bool Accepted;
};

class StrideLimitTest : public LeakCheckedTest, public ::testing::WithParamInterface<StrideCase> {};

TEST_P(StrideLimitTest, RowsOf65280BytesOrMoreAreRejected) {
  const StrideCase& c = GetParam();
  TBigBitmap b;
  if (c.Accepted) {
    b.SetBitmaps(c.width, 1, c.format);
    EXPECT_EQ(b.GetWidth(), c.width);
    return;
  }
  const char* Text = "TBigBitmap.SetBitmaps: Too Big Width or Too Many Pixel Bits";
  EXPECT_BIG_ERROR(b.SetBitmaps(c.width, 1, c.format), Text);
  // Also when no band would be built at all.
  b.SetPixelFormat(c.format);
  EXPECT_BIG_ERROR(b.SetWidth(c.width), Text);
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
  const std::vector<std::pair<TBBPixelFormat, TPixelFormat>> Table = {
      {bbpf1bit, pf1bit}, {bbpf4bit, pf4bit}, {bbpf8bit, pf8bit}, {bbpf24bit, pf24bit}};
  const int bits[] = {1, 4, 8, 24};
  for (const auto& [bb, pf] : Table) {
    EXPECT_EQ(BBPixelFormatToPixelFormat(bb), pf);
    EXPECT_EQ(PixelFormatToBBPixelFormat(pf), bb);
    EXPECT_EQ(TBigBitmap::GetPixelBits(bb), bits[bb]);
  }
  const auto Bad = static_cast<TBBPixelFormat>(4);
  EXPECT_BIG_ERROR(BBPixelFormatToPixelFormat(Bad),
                   "BBPixelFormatToPixelFormat: Invalid Pixel Format");
  EXPECT_BIG_ERROR(TBigBitmap::GetPixelBits(Bad), "TBigBitmap.GetPixelBits: Invalid Pixel Format");
  for (TPixelFormat pf : {pfDevice, pf15bit, pf16bit, pf32bit, pfCustom}) {
    EXPECT_BIG_ERROR(PixelFormatToBBPixelFormat(pf),
                     "PixelFormatToBBPixelFormat: Invalid Pixel Format");
  }
}

// A 24-bit 10 x 10 image with a red pixel at (3, 4), DrawMode 1.
void MakeMarked(TBigBitmap& B) {
  B.SetBitmaps(10, 10, bbpf24bit);
  bigbitmaptest::SetPixel24(B.GetScanline(4), 3, bigbitmaptest::RGB(255, 0, 0));
  B.SetDrawMode(1);
}
void ExpectMarked(TBigBitmap& B) {
  EXPECT_EQ(B.GetWidth(), 10);
  EXPECT_EQ(B.GetHeight(), 10);
  EXPECT_EQ(B.GetPixelFormat(), bbpf24bit);
  EXPECT_EQ(B.GetDrawMode(), 1);
  ASSERT_EQ(B.Bitmaps().size(), 1u);
  EXPECT_EQ(bigbitmaptest::Pixel24(B.GetScanline(4), 3), bigbitmaptest::RGB(255, 0, 0));
  EXPECT_EQ(bigbitmaptest::Pixel24(B.GetScanline(4), 4), clWhite);
}

struct TFailCase {
  const char* Name;
  std::function<void(TBigBitmap&)> Call;
  const char* Message;
};

class FailingCallTest : public LeakCheckedTest, public ::testing::WithParamInterface<TFailCase> {};

TEST_P(FailingCallTest, RaisesTheFirstApplicableMessageAndChangesNothing) {
  TBigBitmap b;
  MakeMarked(b);
  ChangeCounter Changes(b);
  EXPECT_BIG_ERROR(GetParam().Call(b), GetParam().Message);
  EXPECT_EQ(Changes.count, 0);
  ExpectMarked(b);
}

const auto kInvalid = static_cast<TBBPixelFormat>(5);
INSTANTIATE_TEST_SUITE_P(
    Messages, FailingCallTest,
    ::testing::ValuesIn(std::vector<TFailCase>{
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
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(StorageTest, BandCreationFailingHalfWayLeavesTheObjectAsItWas) {
  TBigBitmap B;
  MakeMarked(B);
  const TBitmap* OldBand = B.Bitmaps()[0].get();
  const int Blocks = LiveBitmapBlocks();
  ChangeCounter Changes(B);
  SetBitmapAllocFailCountdown(3);  // the third of four bands
  EXPECT_THROW(B.SetBitmaps(6144, 4096, bbpf8bit), EOutOfMemory);
  SetBitmapAllocFailCountdown(0);
  EXPECT_EQ(LiveBitmapBlocks(), Blocks);
  EXPECT_EQ(Changes.count, 0);
  EXPECT_EQ(B.Bitmaps()[0].get(), OldBand);
  ExpectMarked(B);

  TBigBitmap big;
  big.SetBitmaps(6144, 4096, bbpf8bit);
  SetBitmapAllocFailCountdown(2);
  EXPECT_THROW(B.Assign(&big), EOutOfMemory);
  SetBitmapAllocFailCountdown(0);
  EXPECT_EQ(Changes.count, 0);
  ExpectMarked(B);
}

TEST_F(StorageTest, ChangingTheFormatDiscardsPixelsAndPalette) {
  TBigBitmap B;
  B.SetBitmaps(16, 4, bbpf8bit);
  B.SetPalette(bigbitmaptest::MakePalette(256, [](int I) { return bigbitmaptest::RGB(I, 0, 0); }));
  static_cast<std::uint8_t*>(B.GetScanline(2))[5] = 7;
  TBitmap Fresh;
  Fresh.SetPixelFormat(pf8bit);
  B.SetPixelFormat(bbpf8bit);  // the same value still rebuilds
  EXPECT_EQ(B.Bitmaps()[0]->ColorTable().size(), Fresh.ColorTable().size());
  for (std::size_t I = 0; I < Fresh.ColorTable().size(); ++I) {
    ASSERT_EQ(bigbitmaptest::TableColour(*B.Bitmaps()[0], I), bigbitmaptest::TableColour(Fresh, I));
  }
  const auto* Row = static_cast<const std::uint8_t*>(B.GetScanline(2));
  EXPECT_EQ(bigbitmaptest::TableColour(*B.Bitmaps()[0], Row[5]), clWhite);
}

TEST_F(StorageTest, SetPaletteGivesEveryBandItsOwnCopyAndFreesTheGivenHandle) {
  const int Before = LivePaletteCount();
  TBigBitmap Empty;
  Empty.SetPalette(bigbitmaptest::MakePalette(4, [](int I) { return I; }));
  EXPECT_EQ(LivePaletteCount(), Before);

  TBigBitmap B;
  B.SetBitmaps(6144, 4096, bbpf8bit);
  const int WithBands = LivePaletteCount();
  const HPALETTE Given =
      bigbitmaptest::MakePalette(256, [](int I) { return bigbitmaptest::RGB(I, 255 - I, I / 2); });
  ChangeCounter Changes(B);
  B.SetPalette(Given);
  EXPECT_EQ(Changes.count, 1);
  EXPECT_EQ(LivePaletteCount(), WithBands);  // old band palettes freed, given one freed
  EXPECT_NE(B.GetPalette(), Given);
  EXPECT_EQ(B.GetPalette(), B.Bitmaps()[0]->GetPalette());
  for (const auto& band : B.Bitmaps()) {
    EXPECT_EQ(bigbitmaptest::TableColour(*band, 10), bigbitmaptest::RGB(10, 245, 5));
  }
}

TEST_F(StorageTest, AssignFromBigBitmapMakesIndependentCopiesWithDrawMode) {
  TBigBitmap Src;
  Src.SetBitmaps(3072, 2048, bbpf24bit);
  bigbitmaptest::FillRow24(Src, 1000, bigbitmaptest::RGB(1, 2, 3));
  Src.SetDrawMode(1);
  TBigBitmap Dst;
  ChangeCounter Changes(Dst);
  Dst.Assign(&Src);
  EXPECT_EQ(Changes.count, 1);
  EXPECT_EQ(Dst.GetWidth(), 3072);
  EXPECT_EQ(Dst.GetHeight(), 2048);
  EXPECT_EQ(Dst.GetPixelFormat(), bbpf24bit);
  EXPECT_EQ(Dst.GetDrawMode(), 1);
  EXPECT_EQ(Dst.Bitmaps().size(), 3u);
  EXPECT_EQ(bigbitmaptest::Pixel24(Dst.GetScanline(1000), 3071), bigbitmaptest::RGB(1, 2, 3));
  // Editing either one leaves the other alone.
  bigbitmaptest::FillRow24(Src, 1000, clBlack);
  bigbitmaptest::FillRow24(Dst, 2047, clBlack);
  EXPECT_EQ(bigbitmaptest::Pixel24(Dst.GetScanline(1000), 5), bigbitmaptest::RGB(1, 2, 3));
  EXPECT_EQ(bigbitmaptest::Pixel24(Src.GetScanline(2047), 5), clWhite);
}

TEST_F(StorageTest, AssignsFromAndToAPlainBitmapThroughABmpStream) {
  TBitmap Plain;
  Plain.SetPixelFormat(pf8bit);
  Plain.SetWidth(7);
  Plain.SetHeight(5);
  Plain.SetPalette(
      bigbitmaptest::MakePalette(256, [](int I) { return bigbitmaptest::RGB(I, 9, 0); }));
  for (std::int32_t Y = 0; Y < 5; ++Y) {
    for (std::int32_t X = 0; X < 7; ++X)
      static_cast<std::uint8_t*>(Plain.ScanLine(Y))[X] = X * 10 + Y;
  }
  TBigBitmap big;
  big.SetDrawMode(1);
  big.Assign(&Plain);
  EXPECT_EQ(big.GetWidth(), 7);
  EXPECT_EQ(big.GetHeight(), 5);
  EXPECT_EQ(big.GetPixelFormat(), bbpf8bit);
  EXPECT_EQ(big.GetDrawMode(), 1);
  EXPECT_EQ(bigbitmaptest::TableColour(*big.Bitmaps()[0], 200), bigbitmaptest::RGB(200, 9, 0));
  EXPECT_EQ(static_cast<std::uint8_t*>(big.GetScanline(4))[6], 64);
  static_cast<std::uint8_t*>(big.GetScanline(0))[0] = 99;
  TBitmap Back;
  Back.Assign(&big);
  EXPECT_EQ(Back.GetPixelFormat(), pf8bit);
  EXPECT_EQ(Back.GetWidth(), 7);
  EXPECT_EQ(Back.GetHeight(), 5);
  EXPECT_EQ(static_cast<std::uint8_t*>(Back.ScanLine(0))[0], 99);
  EXPECT_EQ(static_cast<std::uint8_t*>(Back.ScanLine(4))[6], 64);
  EXPECT_EQ(bigbitmaptest::TableColour(Back, 200), bigbitmaptest::RGB(200, 9, 0));
}

TEST_F(StorageTest, AssignWithoutSourceEmptiesKeepingFormatAndNotifiesTwice) {
  TBigBitmap B;
  B.SetBitmaps(10, 10, bbpf4bit);
  ChangeCounter Changes(B);
  B.Assign(nullptr);
  EXPECT_EQ(Changes.count, 2);
  EXPECT_TRUE(B.GetEmpty());
  EXPECT_EQ(B.GetWidth(), 0);
  EXPECT_EQ(B.GetHeight(), 0);
  EXPECT_EQ(B.GetPixelFormat(), bbpf4bit);
  EXPECT_TRUE(B.Bitmaps().empty());
}

TEST_F(StorageTest, EverySuccessfulChangeNotifiesExactlyOnceAndSetsBothFlags) {
  TBigBitmap Src;
  Src.SetBitmaps(4, 4, bbpf8bit);
  const std::vector<std::function<void(TBigBitmap&)>> Calls = {
      [](TBigBitmap& B) { B.SetWidth(12); },
      [](TBigBitmap& B) { B.SetHeight(7); },
      [](TBigBitmap& B) { B.SetPixelFormat(bbpf1bit); },
      [](TBigBitmap& B) { B.SetDrawMode(0); },
      [](TBigBitmap& B) { B.SetPalette(CopyPalette(B.GetPalette())); },
      [&](TBigBitmap& B) { B.Assign(&Src); },
      [](TBigBitmap& B) { B.SetBitmaps(0, 3, bbpf24bit); },
  };
  TBigBitmap B;
  B.SetBitmaps(5, 5, bbpf8bit);
  for (std::size_t I = 0; I < Calls.size(); ++I) {
    ChangeCounter Changes(B);
    B.SetModified(false);
    B.SetPaletteModified(false);
    Calls[I](B);
    EXPECT_EQ(Changes.count, 1) << "call " << I;
    EXPECT_TRUE(B.GetModified()) << "call " << I;
    EXPECT_TRUE(B.GetPaletteModified()) << "call " << I;
  }
}

}  // namespace
