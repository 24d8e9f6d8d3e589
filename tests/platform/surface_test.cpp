#include <gtest/gtest.h>

#include <vector>

#include "pixel_helpers.h"
#include "platform/graphics.h"

namespace {

using SurfaceTest = PlatformTest;

TEST_F(SurfaceTest, ClipBoxIsTheExtentInLogicalCoordinates) {
  TBitmap b;
  pixels::Make(b, 8, 20, 10);
  const HDC dc = b.Canvas()->Handle();
  TRect r;
  EXPECT_EQ(GetClipBox(dc, &r), SIMPLEREGION);
  EXPECT_EQ(r, Rect(0, 0, 20, 10));

  TPoint old;
  ASSERT_TRUE(SetWindowOrgEx(dc, 0, 30, &old));
  EXPECT_EQ(old.Y, 0);
  GetClipBox(dc, &r);
  EXPECT_EQ(r, Rect(0, 30, 20, 40)) << "logical row 30 is the surface's first row";

  EXPECT_EQ(IntersectClipRect(dc, 5, 35, 100, 100), SIMPLEREGION);
  GetClipBox(dc, &r);
  EXPECT_EQ(r, Rect(5, 35, 20, 40));

  SetWindowOrgEx(dc, 0, 0, nullptr);
  GetClipBox(dc, &r);
  EXPECT_EQ(r, Rect(5, 5, 20, 10)) << "the clip region stays on the same pixels";

  EXPECT_EQ(IntersectClipRect(dc, 0, 0, 3, 3), NULLREGION);
  EXPECT_EQ(GetClipBox(dc, &r), NULLREGION);
  EXPECT_EQ(r, TRect{});

  ResetClipRect(dc);
  GetClipBox(dc, &r);
  EXPECT_EQ(r, Rect(0, 0, 20, 10));
  EXPECT_EQ(GetClipBox(nullptr, &r), 0);
}

TEST_F(SurfaceTest, EmptyBitmapHasAnEmptyClipBox) {
  TBitmap b;
  TRect r;
  EXPECT_EQ(GetClipBox(b.Canvas()->Handle(), &r), NULLREGION);
}

struct IntersectCase {
  TRect A, B, Expected;
  bool Overlap;
};

class IntersectRectTest : public PlatformTest,
                          public ::testing::WithParamInterface<IntersectCase> {};

TEST_P(IntersectRectTest, GivesTheOverlapOrAnEmptyRectangle) {
  const IntersectCase& c = GetParam();
  TRect d = Rect(9, 9, 9, 9);
  EXPECT_EQ(IntersectRect(&d, &c.A, &c.B), c.Overlap);
  EXPECT_EQ(d, c.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IntersectRectTest,
    ::testing::ValuesIn(std::vector<IntersectCase>{
        {Rect(0, 0, 10, 10), Rect(5, 5, 15, 15), Rect(5, 5, 10, 10), true},
        {Rect(0, 0, 10, 10), Rect(10, 0, 20, 10), TRect{}, false},  // touching edges
        {Rect(0, 0, 10, 10), Rect(2, 2, 3, 3), Rect(2, 2, 3, 3), true},
        {Rect(0, 0, 10, 10), Rect(5, 5, 5, 8), TRect{}, false},  // empty operand
        {Rect(-5, -5, 0, 1), Rect(-10, 0, -4, 8), Rect(-5, 0, -4, 1), true}}));

TEST_F(SurfaceTest, DepthIsThirtyTwoUnlessSet) {
  TBitmap a;
  EXPECT_EQ(GetDeviceCaps(a.Canvas()->Handle(), BITSPIXEL), 32);
  EXPECT_EQ(GetDeviceCaps(a.Canvas()->Handle(), PLANES), 1);
  SetDeviceBitsPixel(a.Canvas()->Handle(), 8);
  EXPECT_EQ(GetDeviceCaps(a.Canvas()->Handle(), BITSPIXEL), 8);
  SetDefaultDeviceBitsPixel(4);
  TBitmap b;
  EXPECT_EQ(GetDeviceCaps(b.Canvas()->Handle(), BITSPIXEL), 4);
}

TEST_F(SurfaceTest, ColourTableReadBackCopiesTheBitmapsEntries) {
  TBitmap b;
  b.SetPixelFormat(pf4bit);
  RGBQUAD colors[256] = {};
  EXPECT_EQ(GetDIBColorTable(b.Canvas()->Handle(), 0, 256, colors), 16u);
  EXPECT_EQ(colors[15].rgbRed, 255);
  EXPECT_EQ(GetDIBColorTable(b.Canvas()->Handle(), 14, 256, colors), 2u);
  EXPECT_EQ(colors[1].rgbBlue, 255);
  b.SetPalette(pixels::PaletteOf({0x010203}));
  EXPECT_EQ(GetDIBColorTable(b.Canvas()->Handle(), 0, 256, colors), 1u);
  EXPECT_EQ(colors[0].rgbRed, 1);
  TBitmap rgb;
  rgb.SetPixelFormat(pf24bit);
  EXPECT_EQ(GetDIBColorTable(rgb.Canvas()->Handle(), 0, 256, colors), 0u);
}

}  // namespace
