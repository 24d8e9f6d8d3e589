// TBigBitmapCanvas: whole-image coordinates across bands, attributes, origins, notifications.

#include <gtest/gtest.h>

#include "bigbitmap_test_helpers.h"

namespace {

using bigbitmaptest::TChangeCounter;
using bigbitmaptest::LeakCheckedTest;
using bigbitmaptest::Pixel24;
using bigbitmaptest::RGB;

// 24 bits at 21,758 columns: 128 rows per band, so 300 rows give bands of 128, 128 and 44.
constexpr std::int32_t Width = 21758;
constexpr std::int32_t Height = 300;

TColor SourceRowColour(std::int32_t Y) {
  return RGB(static_cast<std::uint8_t>(Y + 1), 40, 200);
}

// A 4 x 20 picture whose row y has SourceRowColour(y).
void MakeStripes(TBitmap& B) {
  B.SetPixelFormat(pf24bit);
  B.SetWidth(4);
  B.SetHeight(20);
  for (std::int32_t Y = 0; Y < 20; ++Y) {
    for (std::int32_t X = 0; X < 4; ++X)
      bigbitmaptest::SetPixel24(B.ScanLine(Y), X, SourceRowColour(Y));
  }
}

class CanvasTest : public LeakCheckedTest {
 protected:
  void SetUp() override {
    LeakCheckedTest::SetUp();
    Big.SetBitmaps(Width, Height, bbpf24bit);
    ASSERT_EQ(Big.Bitmaps().size(), 3u);
  }
  void TearDown() override {
    Big.FreeBitmaps();
    LeakCheckedTest::TearDown();
  }
  void ExpectOriginsAtZero() {
    for (const auto& Band : Big.Bitmaps()) {
      TPoint Origin{-1, -1};
      GetWindowOrgEx(Band->Canvas()->Handle(), &Origin);
      EXPECT_EQ(Origin.X, 0);
      EXPECT_EQ(Origin.Y, 0);
    }
  }
  TBigBitmap Big;
};

TEST_F(CanvasTest, PicturesAcrossBandBoundariesAreContinuous) {
  TBitmap Stripes;
  MakeStripes(Stripes);
  // Across band 0 / band 1, across band 1 / the short last band, and cut off at the bottom.
  for (std::int32_t Top : {118, 250, 290}) {
    const std::int32_t X0 = 7 + Top;
    Big.Canvas()->Draw(X0, Top, &Stripes);
    for (std::int32_t Y = Top - 1; Y <= Top + 20 && Y < Height; ++Y) {
      const void* Row = Big.GetScanline(Y);
      const bool Inside = Y >= Top && Y < Top + 20;
      for (std::int32_t X = X0 - 1; X <= X0 + 4; ++X) {
        const TColor Want = Inside && X >= X0 && X < X0 + 4 ? SourceRowColour(Y - Top) : clWhite;
        ASSERT_EQ(Pixel24(Row, X), Want) << "top " << Top << " at " << X << "," << Y;
      }
    }
  }
  ExpectOriginsAtZero();
}

// A new image is white; a picture as wide as the image drawn over some rows of it (the rows that
// a band's blit overwrites completely need no white first) leaves every other pixel white.
TEST_F(CanvasTest, FullWidthPicturesOverSomeRowsLeaveTheOtherRowsWhite) {
  for (const std::int32_t Top : {60, 200, -10}) {
    SCOPED_TRACE(Top);
    Big.SetBitmaps(Width, Height, bbpf24bit);
    TBigBitmap Picture;
    Picture.SetBitmaps(Width, 150, bbpf24bit);
    for (std::int32_t Y = 0; Y < 150; ++Y) bigbitmaptest::FillRow24(Picture, Y, SourceRowColour(Y));
    Big.Canvas()->Draw(0, Top, &Picture);
    for (std::int32_t Y = 0; Y < Height; ++Y) {
      const bool Inside = Y >= Top && Y < Top + 150;
      const TColor Want = Inside ? SourceRowColour(Y - Top) : clWhite;
      const void* Row = Big.GetScanline(Y);
      for (std::int32_t X = 0; X < Width; ++X) {
        ASSERT_EQ(Pixel24(Row, X), Want) << X << "," << Y;
      }
    }
  }
}

TEST_F(CanvasTest, EveryOperationPushesTheAttributesAndRestoresTheOrigins) {
  TBitmap Stripes;
  MakeStripes(Stripes);
  auto Spoil = [&] {
    for (const auto& Band : Big.Bitmaps()) {
      TCanvas* C = Band->Canvas();
      C->CopyMode = SRCINVERT;
      C->Brush().Color = RGB(255, 0, 0);
      SetWindowOrgEx(C->Handle(), 3, 3, nullptr);
    }
  };
  auto ExpectPushed = [&] {
    const TBigBitmapCanvas& Mine = *Big.Canvas();
    for (const auto& Band : Big.Bitmaps()) {
      TCanvas* C = Band->Canvas();
      EXPECT_EQ(C->CopyMode, SRCCOPY);
      EXPECT_EQ(C->Brush().Color, Mine.Brush().Color);
    }
    ExpectOriginsAtZero();
  };
  Spoil();
  Big.Canvas()->Draw(0, 0, &Stripes);
  ExpectPushed();
  // SRCCOPY, not the spoilt SRCINVERT, did the drawing.
  EXPECT_EQ(Pixel24(Big.GetScanline(3), 0), SourceRowColour(3));
  Spoil();
  Big.Canvas()->MoveTo(10, 200);
  ExpectPushed();
}

TEST_F(CanvasTest, DrawMarksTheOwnerModifiedEvenWhenNothingIsDrawn) {
  TBigBitmap Empty;
  TBitmap Stripes;
  MakeStripes(Stripes);
  TChangeCounter EmptyChanges(Empty);
  Empty.Canvas()->Draw(0, 0, &Stripes);
  Empty.Canvas()->MoveTo(1, 1);
  EXPECT_EQ(EmptyChanges.Count, 1);
  EXPECT_TRUE(Empty.GetModified());

  TBitmap Nothing;
  TChangeCounter Changes(Big);
  Big.Canvas()->Draw(0, 0, &Nothing);
  Big.Canvas()->Draw(0, 0, nullptr);
  EXPECT_EQ(Changes.Count, 2);
  EXPECT_EQ(Pixel24(Big.GetScanline(0), 0), clWhite);
}

}  // namespace
