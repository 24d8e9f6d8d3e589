#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "pixel_helpers.h"
#include "platform/graphics.h"
#include "platform/streams.h"

namespace {

using CanvasTest = PlatformTest;

// ---- TBitmap::Draw -------------------------------------------------------------------------

struct TModeCase {
  int DestDepth;   // what the destination surface reports
  int SourceBits;  // the bitmap being drawn
  int Expected;    // stretch mode afterwards (BLACKONWHITE = untouched)
};

class DrawModeTest : public PlatformTest, public ::testing::WithParamInterface<TModeCase> {};

TEST_P(DrawModeTest, ChoosesHalftoneOnlyForShallowerPaletteSurfaces) {
  const TModeCase& C = GetParam();
  TBitmap Src, Dest;
  pixels::Make(Src, C.SourceBits, 2, 2);
  pixels::Make(Dest, 8, 2, 2);
  const HDC Dc = Dest.Canvas()->Handle();
  SetDeviceBitsPixel(Dc, C.DestDepth);
  SetBrushOrgEx(Dc, 5, 7, nullptr);
  Dest.Canvas()->Draw(0, 0, &Src);
  EXPECT_EQ(GetStretchBltMode(Dc), C.Expected);
  TPoint Origin;
  GetBrushOrgEx(Dc, &Origin);
  EXPECT_EQ(Origin.X, 5);
  EXPECT_EQ(Origin.Y, 7);
}

INSTANTIATE_TEST_SUITE_P(Depths, DrawModeTest,
                         ::testing::ValuesIn(std::vector<TModeCase>{{32, 24, COLORONCOLOR},
                                                                   {32, 8, COLORONCOLOR},
                                                                   {8, 24, HALFTONE},
                                                                   {8, 8, COLORONCOLOR},
                                                                   {4, 8, HALFTONE},
                                                                   {16, 24, COLORONCOLOR},
                                                                   {32, 1, BLACKONWHITE},
                                                                   {1, 4, HALFTONE}}));

TEST_F(CanvasTest, DrawSelectsTheBitmapsPaletteAndPutsThePreviousOneBack) {
  TBitmap Src, Dest;
  pixels::Make(Src, 8, 2, 2);
  pixels::Make(Dest, 24, 2, 2);
  const HDC Dc = Dest.Canvas()->Handle();
  SelectPalette(Dc, 0x777, true);
  const TGdiStats Before = GdiStats();
  Dest.Canvas()->Draw(0, 0, &Src);
  EXPECT_EQ(GdiStats().SelectPaletteCalls - Before.SelectPaletteCalls, 2u);
  EXPECT_EQ(GdiStats().RealizePaletteCalls - Before.RealizePaletteCalls, 1u);
  EXPECT_EQ(GdiStats().StretchBltCalls - Before.StretchBltCalls, 1u);
  EXPECT_EQ(SelectPalette(Dc, 0, true), 0x777u);
}

TEST_F(CanvasTest, DrawPutsThePaletteBackWhenTheBlitFails) {
  TBitmap Src, Dest;
  pixels::Make(Src, 8, 2, 2);
  pixels::Make(Dest, 8, 2, 2);
  const HDC Dc = Dest.Canvas()->Handle();
  SelectPalette(Dc, 0x777, true);
  int Changed = 0;
  Dest.Canvas()->OnChange = [&](TCanvas*) { ++Changed; };
  SetBlitFailCountdown(1);
  EXPECT_THROW(Dest.Canvas()->Draw(0, 0, &Src), EOutOfMemory);
  EXPECT_EQ(SelectPalette(Dc, 0, true), 0x777u);
  EXPECT_EQ(Changed, 0) << "a failed draw does not report a change";
}

TEST_F(CanvasTest, TrueColourBitmapsSelectNoPalette) {
  TBitmap Src, Dest;
  pixels::Make(Src, 24, 2, 2);
  pixels::Make(Dest, 24, 2, 2);
  const std::uint64_t Before = GdiStats().SelectPaletteCalls;
  Dest.Canvas()->Draw(0, 0, &Src);
  EXPECT_EQ(GdiStats().SelectPaletteCalls, Before);
}

TEST_F(CanvasTest, DrawPlacesTheBitmapAtThePointAndStretchDrawFillsTheRectangle) {
  TBitmap Src, Dest;
  pixels::Make(Src, 24, 2, 1);
  pixels::Set(Src, 0, 0, 0x112233);
  pixels::Set(Src, 1, 0, 0x445566);
  pixels::Make(Dest, 24, 6, 2);
  Dest.Canvas()->Draw(3, 1, &Src);
  EXPECT_EQ(pixels::Get(Dest, 3, 1), 0x112233u);
  EXPECT_EQ(pixels::Get(Dest, 4, 1), 0x445566u);
  EXPECT_EQ(pixels::Get(Dest, 2, 1), 0u);

  // Mirrored and doubled: width -4 from column 4 covers columns 1 .. 4, image column 0 at 4.
  Dest.Canvas()->StretchDraw(Rect(4, 0, 0, 2), &Src);
  std::vector<std::uint32_t> Row;
  for (int X = 0; X < 5; ++X) Row.push_back(pixels::Get(Dest, X, 0));
  EXPECT_EQ(Row, (std::vector<std::uint32_t>{0, 0x445566, 0x445566, 0x112233, 0x112233}));
}

// Rectangles at the ends of the 32-bit coordinates: every pixel lands where the arithmetic
// without limits puts it.
TEST_F(CanvasTest, DrawNearTheLargestCoordinateLandsWhereTheOriginSays) {
  constexpr std::int32_t Max = std::numeric_limits<std::int32_t>::max();
  TBitmap Src, Dest;
  pixels::Make(Src, 24, 4, 1);
  for (int X = 0; X < 4; ++X) pixels::Set(Src, X, 0, 0x101010u * (X + 1));
  pixels::Make(Dest, 24, 8, 1);
  // Logical column kMax - 2 is device column 0; the image ends 2 past the largest coordinate.
  SetWindowOrgEx(Dest.Canvas()->Handle(), Max - 2, 0, nullptr);
  Dest.Canvas()->Draw(Max - 1, 0, &Src);
  std::vector<std::uint32_t> Row;
  for (int X = 0; X < 8; ++X) Row.push_back(pixels::Get(Dest, X, 0));
  EXPECT_EQ(Row, (std::vector<std::uint32_t>{0, 0x101010, 0x202020, 0x303030, 0x404040, 0, 0, 0}));
  TPoint Origin;
  GetWindowOrgEx(Dest.Canvas()->Handle(), &Origin);
  EXPECT_EQ(Origin.X, Max - 2);
}

TEST_F(CanvasTest, StretchDrawOverMoreThanTheCoordinateRangeShowsTheMatchingSourcePart) {
  constexpr std::int32_t Max = std::numeric_limits<std::int32_t>::max();
  constexpr std::int32_t Min = std::numeric_limits<std::int32_t>::min();
  TBitmap Src, Dest;
  pixels::Make(Src, 24, 2, 2);
  pixels::Set(Src, 0, 0, 0x111111);
  pixels::Set(Src, 1, 0, 0x222222);
  pixels::Set(Src, 0, 1, 0x333333);
  pixels::Set(Src, 1, 1, 0x444444);
  pixels::Make(Dest, 24, 3, 2);
  // Device column 0 is just past the middle of the range: the right half of the image.
  Dest.Canvas()->StretchDraw(Rect(Min, 0, Max, 2), &Src);
  EXPECT_EQ(pixels::Get(Dest, 0, 0), 0x222222u);
  EXPECT_EQ(pixels::Get(Dest, 0, 1), 0x444444u);
  // Mirrored both ways (height -2 from row 1 covers rows 0 .. 1): device column 2 is just
  // before the middle, the left half, upside down.
  Dest.Canvas()->StretchDraw(Rect(Max, 1, Min, -1), &Src);
  EXPECT_EQ(pixels::Get(Dest, 2, 0), 0x333333u);
  EXPECT_EQ(pixels::Get(Dest, 2, 1), 0x111111u);
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
  TBitmap Surface;
  TCanvas* Canvas = Surface.Canvas();
  std::vector<std::string> Log;
  Canvas->OnChanging = [&](TCanvas* C) {
    EXPECT_EQ(C, Canvas);
    Log.push_back("changing");
  };
  Canvas->OnChange = [&](TCanvas*) { Log.push_back("changed"); };
  TProbe Probe;
  Probe.Log = &Log;

  Canvas->Draw(10, 20, &Probe);
  EXPECT_EQ(Probe.Seen, Rect(10, 20, 13, 22));
  Canvas->StretchDraw(Rect(1, 2, 30, 40), &Probe);
  EXPECT_EQ(Probe.Seen, Rect(1, 2, 30, 40));
  EXPECT_EQ(Log, (std::vector<std::string>{"changing", "draw", "changed", "changing", "draw",
                                           "changed"}));

  Log.clear();
  Probe.Empty = true;
  Canvas->Draw(0, 0, &Probe);
  Canvas->Draw(0, 0, nullptr);
  Canvas->StretchDraw(Rect(0, 0, 1, 1), nullptr);
  EXPECT_TRUE(Log.empty()) << "nothing happens for an absent or empty graphic";
  Canvas->StretchDraw(Rect(0, 0, 1, 1), &Probe);
  EXPECT_EQ(Log.size(), 3u) << "stretching leaves empty graphics to draw themselves";
}

// ---- FillRect ------------------------------------------------------------------------------

TEST_F(CanvasTest, FillRectStoresTheNearestEntryAndHonoursOriginAndClip) {
  TBitmap B;
  pixels::Make(B, 4, 5, 4);
  TCanvas* C = B.Canvas();
  C->Brush().Color = 0x0000F0;  // nearly red (TColor is 0x00BBGGRR): entry 9 of the 16 colours
  SetWindowOrgEx(C->Handle(), 0, 2, nullptr);
  IntersectClipRect(C->Handle(), 0, 0, 4, 100);
  C->FillRect(Rect(-10, 3, 10, 4));  // logical row 3 is pixel row 1
  for (int X = 0; X < 5; ++X) {
    EXPECT_EQ(pixels::Get(B, X, 1), X < 4 ? 9u : 0u) << X;
    EXPECT_EQ(pixels::Get(B, X, 0), 0u);
  }
  C->Brush().Style = bsClear;
  C->FillRect(Rect(0, 2, 5, 6));
  EXPECT_EQ(pixels::Get(B, 0, 0), 0u) << "a clear brush fills nothing";
}

TEST_F(CanvasTest, FillRectWritesEveryDepth) {
  for (int Bits : {1, 4, 8, 24, 32}) {
    TBitmap B;
    pixels::Make(B, Bits, 11, 3);
    B.Canvas()->FillRect(Rect(1, 1, 10, 2));  // default white brush
    for (int X = 0; X < 11; ++X) {
      const std::uint32_t Expected = X >= 1 && X < 10 ? 0xFFFFFFu : 0u;
      ASSERT_EQ(pixels::ColorAt(B, X, 1), Expected) << Bits << " bits, x " << X;
      ASSERT_EQ(pixels::ColorAt(B, X, 0), 0u);
    }
  }
}

// A new block is not cleared when it is made, and a fill of the whole bitmap is not written when
// it is asked for: both are written only when the pixels are needed, and not where a blit
// overwrites whole rows first. Whatever follows, every byte of the block must be what it is when
// the zeros and the fill are written at once (forced here by ScanLine before the next step).
struct TAfterFillCase {
  const char* Name;
  void (*Then)(TBitmap& Dest, TBitmap& Source);
};

void BlitRows(TBitmap& Dest, TBitmap& Source, int X, int Top, int W, int H, std::uint32_t Rop) {
  StretchBlt(Dest.Canvas()->Handle(), X, Top, W, H, Source.Canvas()->Handle(), 0, 0, W, H, Rop);
}

class AfterFillTest : public PlatformTest, public ::testing::WithParamInterface<TAfterFillCase> {};

TEST_P(AfterFillTest, GivesTheBytesOfAFillWrittenAtOnce) {
  constexpr int W = 13, H = 12;
  for (const bool Fill : {false, true}) {
    for (int Bits : {1, 4, 8, 24, 32}) {
      SCOPED_TRACE(testing::Message() << Bits << " bits" << (Fill ? ", filled" : ""));
      TBitmap Source;
      pixels::Make(Source, Bits, W, H);
      for (int Y = 0; Y < H; ++Y) {
        for (int X = 0; X < W; ++X)
          pixels::Set(Source, X, Y,
                      Bits > 8 ? 0x10203u * (X + 5 * Y) : (X + Y) % (Bits == 1 ? 2 : 5));
      }
      TBitmap Deferred, Written;
      for (TBitmap* B : {&Deferred, &Written}) {
        pixels::Make(*B, Bits, W, H);
        B->Canvas()->Brush().Color = 0x3080F0;
        if (Fill) B->Canvas()->FillRect(Rect(-1, -1, W + 1, H + 1));
      }
      Written.ScanLine(0);
      GetParam().Then(Deferred, Source);
      GetParam().Then(Written, Source);
      for (int Y = 0; Y < Deferred.GetHeight(); ++Y) {
        ASSERT_EQ(std::memcmp(Deferred.ScanLine(Y), Written.ScanLine(Y),
                              static_cast<std::size_t>(Written.RowStride())),
                  0)
            << "row " << Y;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Steps, AfterFillTest,
                         ::
                             testing::ValuesIn(std::
                                                   vector<TAfterFillCase>{
                                                       {"Nothing", [](TBitmap&, TBitmap&) {}},
                                                       {"BlitOverEveryRow",
                                                        [](TBitmap& d, TBitmap& s) {
                                                          BlitRows(d, s, 0, 0, 13, 12, SRCCOPY);
                                                        }},
                                                       {"BlitOverTopRows",
                                                        [](TBitmap& d, TBitmap& s) {
                                                          BlitRows(d, s, 0, 0, 13, 5, SRCCOPY);
                                                        }},
                                                       {"BlitOverBottomRows",
                                                        [](TBitmap& d, TBitmap& s) {
                                                          BlitRows(d, s, 0, 7, 13, 9, SRCCOPY);
                                                        }},
                                                       {"BlitOverMiddleRows",
                                                        [](TBitmap& d, TBitmap& s) {
                                                          BlitRows(d, s, 0, 4, 13, 3, SRCCOPY);
                                                        }},
                                                       {"MiddleThenTopThenBottom",
                                                        [](TBitmap& d, TBitmap& s) {
                                                          BlitRows(d, s, 0, 4, 13, 3, SRCCOPY);
                                                          BlitRows(d, s, 0, 0, 13, 4, SRCCOPY);
                                                          BlitRows(d, s, 0, 7, 13, 5, SRCCOPY);
                                                        }},
                                                       {"BlitOverPartOfEachRow",
                                                        [](TBitmap& d, TBitmap& s) {
                                                          BlitRows(d, s, 1, 0, 12, 12, SRCCOPY);
                                                        }},
                                                       {"BlitReadingTheDestination",
                                                        [](TBitmap& d, TBitmap& s) {
                                                          BlitRows(d, s, 0, 2, 13, 6, SRCINVERT);
                                                        }},
                                                       {"BlacknessOverMiddleRows",
                                                        [](TBitmap& d, TBitmap& s) {
                                                          BlitRows(d, s, 0, 3, 13, 2, BLACKNESS);
                                                        }},
                                                       {"BlitWithinTheBitmap",
                                                        [](TBitmap& d, TBitmap&) {
                                                          StretchBlt(d.Canvas()->Handle(), 0, 3, 13,
                                                                     4, d.Canvas()->Handle(), 0, 0,
                                                                     13, 4, SRCCOPY);
                                                        }},
                                                       {"PartialFill",
                                                        [](TBitmap& d, TBitmap&) {
                                                          d.Canvas()->FillRect(Rect(2, 2, 5, 20));
                                                        }},
                                                       {"NewPalette",
                                                        [](TBitmap& d, TBitmap&) {
                                                          d.SetPalette(pixels::PaletteOf(
                                                              {0xF08030, 0x3080F0}));
                                                        }},
                                                       {"TallerBitmap",
                                                        [](TBitmap& d, TBitmap&) {
                                                          d.SetHeight(15);
                                                        }},
                                                       {"WiderBitmap",
                                                        [](TBitmap& d,
                                                           TBitmap&) { d.SetWidth(18); }},
                                                       {"TopRowsThenTallerBitmap",
                                                        [](TBitmap& d, TBitmap& s) {
                                                          BlitRows(d, s, 0, 0, 13, 5, SRCCOPY);
                                                          d.SetHeight(15);
                                                        }},
                                                       {"DrawnElsewhere",
                                                        [](TBitmap& d, TBitmap& s) {
                                                          s.Canvas()->Draw(0, 0, &d);
                                                          d.Assign(&s);
                                                        }},
                                                   }),
                         [](const auto& info) { return std::string(info.param.Name); });

// ---- TGraphic ------------------------------------------------------------------------------

TEST_F(CanvasTest, GraphicsCompareBySavedStreams) {
  TBitmap A, B, C;
  pixels::Make(A, 8, 3, 3);
  pixels::Make(B, 8, 3, 3);
  pixels::Make(C, 8, 3, 3);
  pixels::Set(C, 2, 2, 1);
  EXPECT_TRUE(A.Equals(&B));
  EXPECT_FALSE(A.Equals(&C));
  EXPECT_FALSE(A.Equals(nullptr));
  TProbe Probe;
  EXPECT_FALSE(A.Equals(&Probe));
}

}  // namespace
