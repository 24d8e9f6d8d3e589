#include <gtest/gtest.h>

#include <vector>

#include "pixel_helpers.h"
#include "platform/graphics.h"

namespace {

using SurfaceTest = PlatformTest;

TEST_F(SurfaceTest, ClipBoxIsTheExtentInLogicalCoordinates) {
  TBitmap B;
  pixels::Make(B, 8, 20, 10);
  const HDC Dc = B.Canvas()->Handle();
  TRect R;
  EXPECT_EQ(GetClipBox(Dc, &R), SIMPLEREGION);
  EXPECT_EQ(R, Rect(0, 0, 20, 10));

  TPoint Old;
  ASSERT_TRUE(SetWindowOrgEx(Dc, 0, 30, &Old));
  EXPECT_EQ(Old.Y, 0);
  GetClipBox(Dc, &R);
  EXPECT_EQ(R, Rect(0, 30, 20, 40)) << "logical row 30 is the surface's first row";

  EXPECT_EQ(IntersectClipRect(Dc, 5, 35, 100, 100), SIMPLEREGION);
  GetClipBox(Dc, &R);
  EXPECT_EQ(R, Rect(5, 35, 20, 40));

  SetWindowOrgEx(Dc, 0, 0, nullptr);
  GetClipBox(Dc, &R);
  EXPECT_EQ(R, Rect(5, 5, 20, 10)) << "the clip region stays on the same pixels";

  EXPECT_EQ(IntersectClipRect(Dc, 0, 0, 3, 3), NULLREGION);
  EXPECT_EQ(GetClipBox(Dc, &R), NULLREGION);
  EXPECT_EQ(R, TRect{});

  ResetClipRect(Dc);
  GetClipBox(Dc, &R);
  EXPECT_EQ(R, Rect(0, 0, 20, 10));
  EXPECT_EQ(GetClipBox(nullptr, &R), 0);
}

TEST_F(SurfaceTest, EmptyBitmapHasAnEmptyClipBox) {
  TBitmap B;
  TRect R;
  EXPECT_EQ(GetClipBox(B.Canvas()->Handle(), &R), NULLREGION);
}

struct TIntersectCase {
  TRect A, B, Expected;
  bool Overlap;
};

class IntersectRectTest : public PlatformTest,
                          public ::testing::WithParamInterface<TIntersectCase> {};

TEST_P(IntersectRectTest, GivesTheOverlapOrAnEmptyRectangle) {
  const TIntersectCase& C = GetParam();
  TRect D = Rect(9, 9, 9, 9);
  EXPECT_EQ(IntersectRect(&D, &C.A, &C.B), C.Overlap);
  EXPECT_EQ(D, C.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IntersectRectTest,
    ::testing::ValuesIn(std::vector<TIntersectCase>{
        {Rect(0, 0, 10, 10), Rect(5, 5, 15, 15), Rect(5, 5, 10, 10), true},
        {Rect(0, 0, 10, 10), Rect(10, 0, 20, 10), TRect{}, false},  // touching edges
        {Rect(0, 0, 10, 10), Rect(2, 2, 3, 3), Rect(2, 2, 3, 3), true},
        {Rect(0, 0, 10, 10), Rect(5, 5, 5, 8), TRect{}, false},  // empty operand
        {Rect(-5, -5, 0, 1), Rect(-10, 0, -4, 8), Rect(-5, 0, -4, 1), true}}));

TEST_F(SurfaceTest, DepthIsThirtyTwoUnlessSet) {
  TBitmap A;
  EXPECT_EQ(GetDeviceCaps(A.Canvas()->Handle(), BITSPIXEL), 32);
  EXPECT_EQ(GetDeviceCaps(A.Canvas()->Handle(), PLANES), 1);
  SetDeviceBitsPixel(A.Canvas()->Handle(), 8);
  EXPECT_EQ(GetDeviceCaps(A.Canvas()->Handle(), BITSPIXEL), 8);
  SetDefaultDeviceBitsPixel(4);
  TBitmap B;
  EXPECT_EQ(GetDeviceCaps(B.Canvas()->Handle(), BITSPIXEL), 4);
}

TEST_F(SurfaceTest, ColourTableReadBackCopiesTheBitmapsEntries) {
  TBitmap B;
  B.SetPixelFormat(pf4bit);
  RGBQUAD Colors[256] = {};
  EXPECT_EQ(GetDIBColorTable(B.Canvas()->Handle(), 0, 256, Colors), 16u);
  EXPECT_EQ(Colors[15].rgbRed, 255);
  EXPECT_EQ(GetDIBColorTable(B.Canvas()->Handle(), 14, 256, Colors), 2u);
  EXPECT_EQ(Colors[1].rgbBlue, 255);
  B.SetPalette(pixels::PaletteOf({0x010203}));
  EXPECT_EQ(GetDIBColorTable(B.Canvas()->Handle(), 0, 256, Colors), 1u);
  EXPECT_EQ(Colors[0].rgbRed, 1);
  TBitmap Rgb;
  Rgb.SetPixelFormat(pf24bit);
  EXPECT_EQ(GetDIBColorTable(Rgb.Canvas()->Handle(), 0, 256, Colors), 0u);
}

}  // namespace
