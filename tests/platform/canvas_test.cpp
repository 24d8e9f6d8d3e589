#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "pixel_helpers.h"
#include "platform/graphics.h"
#include "platform/streams.h"

namespace {

using CanvasTest = PlatformTest;

// ---- TBitmap::Draw -------------------------------------------------------------------------

struct ModeCase {
  int DestDepth;   // what the destination surface reports
  int SourceBits;  // the bitmap being drawn
  int Expected;    // stretch mode afterwards (BLACKONWHITE = untouched)
};

class DrawModeTest : public PlatformTest, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(DrawModeTest, ChoosesHalftoneOnlyForShallowerPaletteSurfaces) {
  const ModeCase& c = GetParam();
  TBitmap src, dest;
  pixels::Make(src, c.SourceBits, 2, 2);
  pixels::Make(dest, 8, 2, 2);
  const HDC dc = dest.Canvas()->Handle();
  SetDeviceBitsPixel(dc, c.DestDepth);
  SetBrushOrgEx(dc, 5, 7, nullptr);
  dest.Canvas()->Draw(0, 0, &src);
  EXPECT_EQ(GetStretchBltMode(dc), c.Expected);
  TPoint origin;
  GetBrushOrgEx(dc, &origin);
  EXPECT_EQ(origin.X, 5);
  EXPECT_EQ(origin.Y, 7);
}

INSTANTIATE_TEST_SUITE_P(Depths, DrawModeTest,
                         ::testing::ValuesIn(std::vector<ModeCase>{{32, 24, COLORONCOLOR},
                                                                   {32, 8, COLORONCOLOR},
                                                                   {8, 24, HALFTONE},
                                                                   {8, 8, COLORONCOLOR},
                                                                   {4, 8, HALFTONE},
                                                                   {16, 24, COLORONCOLOR},
                                                                   {32, 1, BLACKONWHITE},
                                                                   {1, 4, HALFTONE}}));

TEST_F(CanvasTest, DrawSelectsTheBitmapsPaletteAndPutsThePreviousOneBack) {
  TBitmap src, dest;
  pixels::Make(src, 8, 2, 2);
  pixels::Make(dest, 24, 2, 2);
  const HDC dc = dest.Canvas()->Handle();
  SelectPalette(dc, 0x777, true);
  const TGdiStats before = GdiStats();
  dest.Canvas()->Draw(0, 0, &src);
  EXPECT_EQ(GdiStats().SelectPaletteCalls - before.SelectPaletteCalls, 2u);
  EXPECT_EQ(GdiStats().RealizePaletteCalls - before.RealizePaletteCalls, 1u);
  EXPECT_EQ(GdiStats().StretchBltCalls - before.StretchBltCalls, 1u);
  EXPECT_EQ(SelectPalette(dc, 0, true), 0x777u);
}

TEST_F(CanvasTest, DrawPutsThePaletteBackWhenTheBlitFails) {
  TBitmap src, dest;
  pixels::Make(src, 8, 2, 2);
  pixels::Make(dest, 8, 2, 2);
  const HDC dc = dest.Canvas()->Handle();
  SelectPalette(dc, 0x777, true);
  int changed = 0;
  dest.Canvas()->OnChange = [&](TCanvas*) { ++changed; };
  SetBlitFailCountdown(1);
  EXPECT_THROW(dest.Canvas()->Draw(0, 0, &src), EOutOfMemory);
  EXPECT_EQ(SelectPalette(dc, 0, true), 0x777u);
  EXPECT_EQ(changed, 0) << "a failed draw does not report a change";
}

TEST_F(CanvasTest, TrueColourBitmapsSelectNoPalette) {
  TBitmap src, dest;
  pixels::Make(src, 24, 2, 2);
  pixels::Make(dest, 24, 2, 2);
  const std::uint64_t before = GdiStats().SelectPaletteCalls;
  dest.Canvas()->Draw(0, 0, &src);
  EXPECT_EQ(GdiStats().SelectPaletteCalls, before);
}

TEST_F(CanvasTest, DrawPlacesTheBitmapAtThePointAndStretchDrawFillsTheRectangle) {
  TBitmap src, dest;
  pixels::Make(src, 24, 2, 1);
  pixels::Set(src, 0, 0, 0x112233);
  pixels::Set(src, 1, 0, 0x445566);
  pixels::Make(dest, 24, 6, 2);
  dest.Canvas()->Draw(3, 1, &src);
  EXPECT_EQ(pixels::Get(dest, 3, 1), 0x112233u);
  EXPECT_EQ(pixels::Get(dest, 4, 1), 0x445566u);
  EXPECT_EQ(pixels::Get(dest, 2, 1), 0u);

  // Mirrored and doubled: width -4 from column 4 covers columns 1 .. 4, image column 0 at 4.
  dest.Canvas()->StretchDraw(Rect(4, 0, 0, 2), &src);
  std::vector<std::uint32_t> row;
  for (int x = 0; x < 5; ++x) row.push_back(pixels::Get(dest, x, 0));
  EXPECT_EQ(row, (std::vector<std::uint32_t>{0, 0x445566, 0x445566, 0x112233, 0x112233}));
}

// Rectangles at the ends of the 32-bit coordinates: every pixel lands where the arithmetic
// without limits puts it.
TEST_F(CanvasTest, DrawNearTheLargestCoordinateLandsWhereTheOriginSays) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  TBitmap src, dest;
  pixels::Make(src, 24, 4, 1);
  for (int x = 0; x < 4; ++x) pixels::Set(src, x, 0, 0x101010u * (x + 1));
  pixels::Make(dest, 24, 8, 1);
  // Logical column kMax - 2 is device column 0; the image ends 2 past the largest coordinate.
  SetWindowOrgEx(dest.Canvas()->Handle(), kMax - 2, 0, nullptr);
  dest.Canvas()->Draw(kMax - 1, 0, &src);
  std::vector<std::uint32_t> row;
  for (int x = 0; x < 8; ++x) row.push_back(pixels::Get(dest, x, 0));
  EXPECT_EQ(row, (std::vector<std::uint32_t>{0, 0x101010, 0x202020, 0x303030, 0x404040, 0, 0, 0}));
  TPoint origin;
  GetWindowOrgEx(dest.Canvas()->Handle(), &origin);
  EXPECT_EQ(origin.X, kMax - 2);
}

TEST_F(CanvasTest, StretchDrawOverMoreThanTheCoordinateRangeShowsTheMatchingSourcePart) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  TBitmap src, dest;
  pixels::Make(src, 24, 2, 2);
  pixels::Set(src, 0, 0, 0x111111);
  pixels::Set(src, 1, 0, 0x222222);
  pixels::Set(src, 0, 1, 0x333333);
  pixels::Set(src, 1, 1, 0x444444);
  pixels::Make(dest, 24, 3, 2);
  // Device column 0 is just past the middle of the range: the right half of the image.
  dest.Canvas()->StretchDraw(Rect(kMin, 0, kMax, 2), &src);
  EXPECT_EQ(pixels::Get(dest, 0, 0), 0x222222u);
  EXPECT_EQ(pixels::Get(dest, 0, 1), 0x444444u);
  // Mirrored both ways (height -2 from row 1 covers rows 0 .. 1): device column 2 is just
  // before the middle, the left half, upside down.
  dest.Canvas()->StretchDraw(Rect(kMax, 1, kMin, -1), &src);
  EXPECT_EQ(pixels::Get(dest, 2, 0), 0x333333u);
  EXPECT_EQ(pixels::Get(dest, 2, 1), 0x111111u);
}

// ---- TCanvas notifications -----------------------------------------------------------------

// A graphic that records what its canvas looked like when it was asked to draw.
class TProbe : public TGraphic {
 public:
  bool Empty = false;
  std::vector<std::string>* Log = nullptr;
  TRect Seen;
  bool GetEmpty() const override { return Empty; }
  std::int32_t GetWidth() const override { return 3; }
  std::int32_t GetHeight() const override { return 2; }
  void SetWidth(std::int32_t) override {}
  void SetHeight(std::int32_t) override {}
  void LoadFromStream(TStream&) override {}
  void SaveToStream(TStream&) override {}

 protected:
  void Draw(TCanvas&, const TRect& Rect) override {
    Seen = Rect;
    Log->push_back("draw");
  }
};

TEST_F(CanvasTest, DrawAndStretchDrawRaiseChangingAndChangedAroundTheGraphic) {
  TBitmap surface;
  TCanvas* canvas = surface.Canvas();
  std::vector<std::string> log;
  canvas->OnChanging = [&](TCanvas* c) {
    EXPECT_EQ(c, canvas);
    log.push_back("changing");
  };
  canvas->OnChange = [&](TCanvas*) { log.push_back("changed"); };
  TProbe probe;
  probe.Log = &log;

  canvas->Draw(10, 20, &probe);
  EXPECT_EQ(probe.Seen, Rect(10, 20, 13, 22));
  canvas->StretchDraw(Rect(1, 2, 30, 40), &probe);
  EXPECT_EQ(probe.Seen, Rect(1, 2, 30, 40));
  EXPECT_EQ(log, (std::vector<std::string>{"changing", "draw", "changed", "changing", "draw",
                                           "changed"}));

  log.clear();
  probe.Empty = true;
  canvas->Draw(0, 0, &probe);
  canvas->Draw(0, 0, nullptr);
  canvas->StretchDraw(Rect(0, 0, 1, 1), nullptr);
  EXPECT_TRUE(log.empty()) << "nothing happens for an absent or empty graphic";
  canvas->StretchDraw(Rect(0, 0, 1, 1), &probe);
  EXPECT_EQ(log.size(), 3u) << "stretching leaves empty graphics to draw themselves";
}

// ---- FillRect ------------------------------------------------------------------------------

TEST_F(CanvasTest, FillRectStoresTheNearestEntryAndHonoursOriginAndClip) {
  TBitmap b;
  pixels::Make(b, 4, 5, 4);
  TCanvas* c = b.Canvas();
  c->Brush().Color = 0x0000F0;  // nearly red (TColor is 0x00BBGGRR): entry 9 of the 16 colours
  SetWindowOrgEx(c->Handle(), 0, 2, nullptr);
  IntersectClipRect(c->Handle(), 0, 0, 4, 100);
  c->FillRect(Rect(-10, 3, 10, 4));  // logical row 3 is pixel row 1
  for (int x = 0; x < 5; ++x) {
    EXPECT_EQ(pixels::Get(b, x, 1), x < 4 ? 9u : 0u) << x;
    EXPECT_EQ(pixels::Get(b, x, 0), 0u);
  }
  c->Brush().Style = bsClear;
  c->FillRect(Rect(0, 2, 5, 6));
  EXPECT_EQ(pixels::Get(b, 0, 0), 0u) << "a clear brush fills nothing";
}

TEST_F(CanvasTest, FillRectWritesEveryDepth) {
  for (int bits : {1, 4, 8, 24, 32}) {
    TBitmap b;
    pixels::Make(b, bits, 11, 3);
    b.Canvas()->FillRect(Rect(1, 1, 10, 2));  // default white brush
    for (int x = 0; x < 11; ++x) {
      const std::uint32_t expected = x >= 1 && x < 10 ? 0xFFFFFFu : 0u;
      ASSERT_EQ(pixels::ColorAt(b, x, 1), expected) << bits << " bits, x " << x;
      ASSERT_EQ(pixels::ColorAt(b, x, 0), 0u);
    }
  }
}

// ---- TGraphic ------------------------------------------------------------------------------

TEST_F(CanvasTest, GraphicsCompareBySavedStreams) {
  TBitmap a, b, c;
  pixels::Make(a, 8, 3, 3);
  pixels::Make(b, 8, 3, 3);
  pixels::Make(c, 8, 3, 3);
  pixels::Set(c, 2, 2, 1);
  EXPECT_TRUE(a.Equals(&b));
  EXPECT_FALSE(a.Equals(&c));
  EXPECT_FALSE(a.Equals(nullptr));
  TProbe probe;
  EXPECT_FALSE(a.Equals(&probe));
}

}  // namespace
