// TBigBitmapCanvas: whole-image coordinates across bands, attributes, origins, notifications.

#include <gtest/gtest.h>

#include "bigbitmap_test_helpers.h"

namespace {

using bigbitmaptest::ChangeCounter;
using bigbitmaptest::LeakCheckedTest;
using bigbitmaptest::Pixel24;
using bigbitmaptest::RGB;

// 24 bits at 21,758 columns: 128 rows per band, so 300 rows give bands of 128, 128 and 44.
constexpr std::int32_t kWidth = 21758;
constexpr std::int32_t kHeight = 300;

TColor SourceRowColour(std::int32_t y) {
  return RGB(static_cast<std::uint8_t>(y + 1), 40, 200);
}

// A 4 x 20 picture whose row y has SourceRowColour(y).
void MakeStripes(TBitmap& b) {
  b.SetPixelFormat(pf24bit);
  b.SetWidth(4);
  b.SetHeight(20);
  for (std::int32_t y = 0; y < 20; ++y) {
    for (std::int32_t x = 0; x < 4; ++x)
      bigbitmaptest::SetPixel24(b.ScanLine(y), x, SourceRowColour(y));
  }
}

class CanvasTest : public LeakCheckedTest {
 protected:
  void SetUp() override {
    LeakCheckedTest::SetUp();
    big_.SetBitmaps(kWidth, kHeight, bbpf24bit);
    ASSERT_EQ(big_.Bitmaps().size(), 3u);
  }
  void TearDown() override {
    big_.FreeBitmaps();
    LeakCheckedTest::TearDown();
  }
  void ExpectOriginsAtZero() {
    for (const auto& band : big_.Bitmaps()) {
      TPoint origin{-1, -1};
      GetWindowOrgEx(band->Canvas()->Handle(), &origin);
      EXPECT_EQ(origin.X, 0);
      EXPECT_EQ(origin.Y, 0);
    }
  }
  TBigBitmap big_;
};

TEST_F(CanvasTest, PicturesAcrossBandBoundariesAreContinuous) {
  TBitmap stripes;
  MakeStripes(stripes);
  // Across band 0 / band 1, across band 1 / the short last band, and cut off at the bottom.
  for (std::int32_t top : {118, 250, 290}) {
    const std::int32_t x0 = 7 + top;
    big_.Canvas()->Draw(x0, top, &stripes);
    for (std::int32_t y = top - 1; y <= top + 20 && y < kHeight; ++y) {
      const void* row = big_.GetScanline(y);
      const bool inside = y >= top && y < top + 20;
      for (std::int32_t x = x0 - 1; x <= x0 + 4; ++x) {
        const TColor want = inside && x >= x0 && x < x0 + 4 ? SourceRowColour(y - top) : clWhite;
        ASSERT_EQ(Pixel24(row, x), want) << "top " << top << " at " << x << "," << y;
      }
    }
  }
  ExpectOriginsAtZero();
}

// A new image is white; a picture as wide as the image drawn over some rows of it (the rows that
// a band's blit overwrites completely need no white first) leaves every other pixel white.
TEST_F(CanvasTest, FullWidthPicturesOverSomeRowsLeaveTheOtherRowsWhite) {
  for (const std::int32_t top : {60, 200, -10}) {
    SCOPED_TRACE(top);
    big_.SetBitmaps(kWidth, kHeight, bbpf24bit);
    TBigBitmap picture;
    picture.SetBitmaps(kWidth, 150, bbpf24bit);
    for (std::int32_t y = 0; y < 150; ++y) bigbitmaptest::FillRow24(picture, y, SourceRowColour(y));
    big_.Canvas()->Draw(0, top, &picture);
    for (std::int32_t y = 0; y < kHeight; ++y) {
      const bool inside = y >= top && y < top + 150;
      const TColor want = inside ? SourceRowColour(y - top) : clWhite;
      const void* row = big_.GetScanline(y);
      for (std::int32_t x = 0; x < kWidth; ++x) {
        ASSERT_EQ(Pixel24(row, x), want) << x << "," << y;
      }
    }
  }
}

TEST_F(CanvasTest, EveryOperationPushesTheAttributesAndRestoresTheOrigins) {
  TBitmap stripes;
  MakeStripes(stripes);
  auto spoil = [&] {
    for (const auto& band : big_.Bitmaps()) {
      TCanvas* c = band->Canvas();
      c->CopyMode = SRCINVERT;
      c->Brush().Color = RGB(255, 0, 0);
      SetWindowOrgEx(c->Handle(), 3, 3, nullptr);
    }
  };
  auto expect_pushed = [&] {
    const TBigBitmapCanvas& mine = *big_.Canvas();
    for (const auto& band : big_.Bitmaps()) {
      TCanvas* c = band->Canvas();
      EXPECT_EQ(c->CopyMode, SRCCOPY);
      EXPECT_EQ(c->Brush().Color, mine.Brush().Color);
    }
    ExpectOriginsAtZero();
  };
  spoil();
  big_.Canvas()->Draw(0, 0, &stripes);
  expect_pushed();
  // SRCCOPY, not the spoilt SRCINVERT, did the drawing.
  EXPECT_EQ(Pixel24(big_.GetScanline(3), 0), SourceRowColour(3));
  spoil();
  big_.Canvas()->MoveTo(10, 200);
  expect_pushed();
}

TEST_F(CanvasTest, DrawMarksTheOwnerModifiedEvenWhenNothingIsDrawn) {
  TBigBitmap empty;
  TBitmap stripes;
  MakeStripes(stripes);
  ChangeCounter empty_changes(empty);
  empty.Canvas()->Draw(0, 0, &stripes);
  empty.Canvas()->MoveTo(1, 1);
  EXPECT_EQ(empty_changes.count, 1);
  EXPECT_TRUE(empty.GetModified());

  TBitmap nothing;
  ChangeCounter changes(big_);
  big_.Canvas()->Draw(0, 0, &nothing);
  big_.Canvas()->Draw(0, 0, nullptr);
  EXPECT_EQ(changes.count, 2);
  EXPECT_EQ(Pixel24(big_.GetScanline(0), 0), clWhite);
}

}  // namespace
