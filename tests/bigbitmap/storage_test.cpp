// Band geometry, size/format/palette operations, row access and assignment of TBigBitmap.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "bigbitmap_test_helpers.h"

namespace {

using bigbitmaptest::TChangeCounter;
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
  const TBitmap& Band = *B.Bitmaps()[0];
  EXPECT_EQ(Band.GetWidth(), 100);
  EXPECT_EQ(Band.GetHeight(), 50);
  EXPECT_EQ(Band.GetPixelFormat(), pf8bit);
  for (std::int32_t Y = 0; Y < 50; ++Y) {
    const auto* Row = static_cast<const std::uint8_t*>(B.GetScanline(Y));
    for (std::int32_t X = 0; X < 100; ++X) {
      ASSERT_EQ(bigbitmaptest::TableColour(Band, Row[X]), clWhite) << X << "," << Y;
    }
  }
}

struct TGeometryCase {
  std::int32_t Width, Height;
  TBBPixelFormat Format;
  std::vector<std::int32_t> BandHeights;
};

class BandGeometryTest : public LeakCheckedTest,
                         public ::testing::WithParamInterface<TGeometryCase> {};

TEST_P(BandGeometryTest, BandsFollowTheBudgetAndRowsMapIntoThem) {
  const TGeometryCase& C = GetParam();
  ResetLargestBitmapBlock();
  TBigBitmap B;
  B.SetBitmaps(C.Width, C.Height, C.Format);
  std::vector<std::int32_t> Heights;
  for (const auto& Band : B.Bitmaps()) {
    EXPECT_EQ(Band->GetWidth(), C.Width);
    EXPECT_EQ(Band->GetPixelFormat(), BBPixelFormatToPixelFormat(C.Format));
    Heights.push_back(Band->GetHeight());
  }
  EXPECT_EQ(Heights, C.BandHeights);
  EXPECT_LE(LargestBitmapBlock(), BigBitmapBandBudget);
  // First and last image row of every band land on that band's first and last row.
  const std::int32_t R = C.BandHeights[0];
  for (std::size_t I = 0; I < Heights.size(); ++I) {
    TBitmap& Band = *B.Bitmaps()[I];
    const auto First = static_cast<std::int32_t>(I) * R;
    EXPECT_EQ(B.GetScanline(First), Band.ScanLine(0));
    EXPECT_EQ(B.GetScanline(First + Heights[I] - 1), Band.ScanLine(Heights[I] - 1));
  }
  EXPECT_BIG_ERROR(B.GetScanline(C.Height), "TBigBitmap.GetScanline: Index is out of Range");
  EXPECT_BIG_ERROR(B.GetScanline(-1), "TBigBitmap.GetScanline: Index is out of Range");
}

std::vector<std::int32_t> Repeat(int N, std::int32_t H, std::int32_t Last) {
  std::vector<std::int32_t> V(N, H);
  V.push_back(Last);
  return V;
}

INSTANTIATE_TEST_SUITE_P(Geometry, BandGeometryTest,
                         ::testing::ValuesIn(std::vector<TGeometryCase>{
                             {6144, 4096, bbpf8bit, Repeat(3, 1365, 1)},
                             {6144, 4096, bbpf24bit, Repeat(9, 455, 1)},
                             {3072, 2048, bbpf24bit, Repeat(2, 910, 228)},
                             {100, 50, bbpf4bit, {50}},
                             {522208, 300, bbpf1bit, Repeat(2, 128, 44)},  // stride 65,276 at 1 bit
                             {8, 3, bbpf1bit, {3}},
                         }));

struct TStrideCase {
  TBBPixelFormat Format;
  std::int32_t Width;
  bool Accepted;
};

class StrideLimitTest : public LeakCheckedTest,
                        public ::testing::WithParamInterface<TStrideCase> {};

TEST_P(StrideLimitTest, RowsOf65280BytesOrMoreAreRejected) {
  const TStrideCase& C = GetParam();
  TBigBitmap B;
  if (C.Accepted) {
    B.SetBitmaps(C.Width, 1, C.Format);
    EXPECT_EQ(B.GetWidth(), C.Width);
    return;
  }
  const char* Text = "TBigBitmap.SetBitmaps: Too Big Width or Too Many Pixel Bits";
  EXPECT_BIG_ERROR(B.SetBitmaps(C.Width, 1, C.Format), Text);
  // Also when no band would be built at all.
  B.SetPixelFormat(C.Format);
  EXPECT_BIG_ERROR(B.SetWidth(C.Width), Text);
  EXPECT_EQ(B.GetWidth(), 0);
}

INSTANTIATE_TEST_SUITE_P(Limits, StrideLimitTest,
                         ::testing::ValuesIn(std::vector<TStrideCase>{
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
  const int Bits[] = {1, 4, 8, 24};
  for (const auto& [bb, pf] : Table) {
    EXPECT_EQ(BBPixelFormatToPixelFormat(bb), pf);
    EXPECT_EQ(PixelFormatToBBPixelFormat(pf), bb);
    EXPECT_EQ(TBigBitmap::GetPixelBits(bb), Bits[bb]);
  }
  const auto Bad = static_cast<TBBPixelFormat>(4);
  EXPECT_BIG_ERROR(BBPixelFormatToPixelFormat(Bad),
                   "BBPixelFormatToPixelFormat: Invalid Pixel Format");
  EXPECT_BIG_ERROR(TBigBitmap::GetPixelBits(Bad), "TBigBitmap.GetPixelBits: Invalid Pixel Format");
  for (TPixelFormat Format : {pfDevice, pf15bit, pf16bit, pf32bit, pfCustom}) {
    EXPECT_BIG_ERROR(PixelFormatToBBPixelFormat(Format),
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
  TBigBitmap B;
  MakeMarked(B);
  TChangeCounter Changes(B);
  EXPECT_BIG_ERROR(GetParam().Call(B), GetParam().Message);
  EXPECT_EQ(Changes.Count, 0);
  ExpectMarked(B);
}

const auto Invalid = static_cast<TBBPixelFormat>(5);
INSTANTIATE_TEST_SUITE_P(
    Messages, FailingCallTest,
    ::testing::ValuesIn(std::vector<TFailCase>{
        {"BothNegative", [](TBigBitmap& b) { b.SetBitmaps(-1, -1, Invalid); },
         "TBigBitmap.SetBitmaps: Negative Width"},
        {"NegativeHeight", [](TBigBitmap& b) { b.SetBitmaps(0, -1, Invalid); },
         "TBigBitmap.SetBitmaps: Negative Height"},
        {"InvalidFormatEvenForEmpty", [](TBigBitmap& b) { b.SetBitmaps(0, 0, Invalid); },
         "TBigBitmap.GetPixelBits: Invalid Pixel Format"},
        {"SetWidthNegative", [](TBigBitmap& b) { b.SetWidth(-5); },
         "TBigBitmap.SetBitmaps: Negative Width"},
        {"SetHeightNegative", [](TBigBitmap& b) { b.SetHeight(-5); },
         "TBigBitmap.SetBitmaps: Negative Height"},
        {"SetPixelFormatInvalid", [](TBigBitmap& b) { b.SetPixelFormat(Invalid); },
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
  TChangeCounter Changes(B);
  SetBitmapAllocFailCountdown(3);  // the third of four bands
  EXPECT_THROW(B.SetBitmaps(6144, 4096, bbpf8bit), EOutOfMemory);
  SetBitmapAllocFailCountdown(0);
  EXPECT_EQ(LiveBitmapBlocks(), Blocks);
  EXPECT_EQ(Changes.Count, 0);
  EXPECT_EQ(B.Bitmaps()[0].get(), OldBand);
  ExpectMarked(B);

  TBigBitmap Big;
  Big.SetBitmaps(6144, 4096, bbpf8bit);
  SetBitmapAllocFailCountdown(2);
  EXPECT_THROW(B.Assign(&Big), EOutOfMemory);
  SetBitmapAllocFailCountdown(0);
  EXPECT_EQ(Changes.Count, 0);
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
  TChangeCounter Changes(B);
  B.SetPalette(Given);
  EXPECT_EQ(Changes.Count, 1);
  EXPECT_EQ(LivePaletteCount(), WithBands);  // old band palettes freed, given one freed
  EXPECT_NE(B.GetPalette(), Given);
  EXPECT_EQ(B.GetPalette(), B.Bitmaps()[0]->GetPalette());
  for (const auto& Band : B.Bitmaps()) {
    EXPECT_EQ(bigbitmaptest::TableColour(*Band, 10), bigbitmaptest::RGB(10, 245, 5));
  }
}

TEST_F(StorageTest, AssignFromBigBitmapMakesIndependentCopiesWithDrawMode) {
  TBigBitmap Src;
  Src.SetBitmaps(3072, 2048, bbpf24bit);
  bigbitmaptest::FillRow24(Src, 1000, bigbitmaptest::RGB(1, 2, 3));
  Src.SetDrawMode(1);
  TBigBitmap Dst;
  TChangeCounter Changes(Dst);
  Dst.Assign(&Src);
  EXPECT_EQ(Changes.Count, 1);
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
  TBigBitmap Big;
  Big.SetDrawMode(1);
  Big.Assign(&Plain);
  EXPECT_EQ(Big.GetWidth(), 7);
  EXPECT_EQ(Big.GetHeight(), 5);
  EXPECT_EQ(Big.GetPixelFormat(), bbpf8bit);
  EXPECT_EQ(Big.GetDrawMode(), 1);
  EXPECT_EQ(bigbitmaptest::TableColour(*Big.Bitmaps()[0], 200), bigbitmaptest::RGB(200, 9, 0));
  EXPECT_EQ(static_cast<std::uint8_t*>(Big.GetScanline(4))[6], 64);
  static_cast<std::uint8_t*>(Big.GetScanline(0))[0] = 99;
  TBitmap Back;
  Back.Assign(&Big);
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
  TChangeCounter Changes(B);
  B.Assign(nullptr);
  EXPECT_EQ(Changes.Count, 2);
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
    TChangeCounter Changes(B);
    B.SetModified(false);
    B.SetPaletteModified(false);
    Calls[I](B);
    EXPECT_EQ(Changes.Count, 1) << "call " << I;
    EXPECT_TRUE(B.GetModified()) << "call " << I;
    EXPECT_TRUE(B.GetPaletteModified()) << "call " << I;
  }
}

}  // namespace
