// Resampled drawing (DrawMode 1), checked through real drawing onto platform bitmaps.

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "bigbitmap_test_helpers.h"

namespace {

using bigbitmaptest::LeakCheckedTest;
using bigbitmaptest::Pixel24;
using bigbitmaptest::RGB;

constexpr TColor Marker = 0x030201;  // in no palette below

// Colour of entry i of the 256-entry test palette; red = i keeps the entries apart.
TColor PaletteColour(int I) {
  return RGB(static_cast<std::uint8_t>(I), static_cast<std::uint8_t>(255 - I),
             static_cast<std::uint8_t>(I * 7));
}

// A big bitmap whose rows hold a pattern that changes from pixel to pixel and row to row,
// with DrawMode 1; at 8 bits with the test palette.
void MakeImage(TBigBitmap& B, TBBPixelFormat Format, std::int32_t W, std::int32_t H) {
  B.SetPixelFormat(Format);
  B.SetWidth(W);
  B.SetHeight(H);
  B.SetDrawMode(1);
  if (Format == bbpf8bit) B.SetPalette(bigbitmaptest::MakePalette(256, PaletteColour));
  const std::int64_t Stride = TBigBitmap::RowStride(W, TBigBitmap::GetPixelBits(Format));
  for (std::int32_t Y = 0; Y < H; ++Y) {
    auto* Row = static_cast<std::uint8_t*>(B.GetScanline(Y));
    for (std::int64_t I = 0; I < Stride; ++I) {
      Row[I] = static_cast<std::uint8_t>(Format == bbpf8bit ? I + 3 * Y : I * 7 + Y * 13 + 1);
    }
  }
}

// The colour of image pixel (x, y), decoded from the row layout.
TColor SourceColour(TBigBitmap& B, std::int32_t X, std::int32_t Y) {
  const auto* Row = static_cast<const std::uint8_t*>(B.GetScanline(Y));
  std::size_t Index = 0;
  switch (B.GetPixelFormat()) {
    case bbpf1bit:
      Index = (Row[X >> 3] >> (7 - (X & 7))) & 1;
      break;
    case bbpf4bit:
      Index = (X & 1) ? (Row[X >> 1] & 0x0F) : (Row[X >> 1] >> 4);
      break;
    case bbpf8bit:
      Index = Row[X];
      break;
    case bbpf24bit:
      return Pixel24(Row, X);
  }
  return bigbitmaptest::TableColour(*B.Bitmaps()[0], Index);
}

// A 24-bit destination filled with the marker colour.
void MakeDest(TBitmap& D, std::int32_t W, std::int32_t H) {
  D.SetPixelFormat(pf24bit);
  D.SetWidth(W);
  D.SetHeight(H);
  D.Canvas()->Brush().Color = Marker;
  D.Canvas()->FillRect(Rect(0, 0, W, H));
}

TColor DestColour(TBitmap& D, std::int32_t X, std::int32_t Y) {
  return Pixel24(D.ScanLine(Y), X);
}

// Draws b into Rect on d and returns the number of tiles sent.
std::uint64_t DrawInto(TBitmap& D, const TRect& R, TBigBitmap& B) {
  const std::uint64_t Before = GdiStats().StretchDIBitsCalls;
  D.Canvas()->StretchDraw(R, &B);
  return GdiStats().StretchDIBitsCalls - Before;
}

// Image column sampled for destination column X of an extent W at step s (exact cases only:
// W is a multiple of s, so the blit enlarges every sample by exactly s).
std::int32_t Sampled(std::int32_t X, std::int32_t W, std::int32_t S, std::int32_t Width) {
  return static_cast<std::int32_t>(static_cast<std::int64_t>(X / S) * Width / (W / S));
}

class ResampleTest : public LeakCheckedTest {};

struct TScaleCase {
  const char* Name;
  std::int32_t Width, Height;  // image
  std::int32_t W, H;           // destination rectangle, placed at (5, 3)
  std::int32_t Sx, Sy;         // expected magnification steps
  std::uint64_t Tiles;
};

void PrintTo(const TScaleCase& C, std::ostream* Os) {
  *Os << C.Name;
}

class ResampleScale : public ResampleTest, public ::testing::WithParamInterface<TScaleCase> {};

TEST_P(ResampleScale, EveryDestinationPixelTakesItsSampledSourcePixel) {
  const TScaleCase& C = GetParam();
  TBigBitmap B;
  MakeImage(B, bbpf8bit, C.Width, C.Height);
  TBitmap D;
  MakeDest(D, C.W + 7, C.H + 5);
  EXPECT_EQ(DrawInto(D, Rect(5, 3, 5 + C.W, 3 + C.H), B), C.Tiles);
  // Source rows and columns per destination row and column, then one pass over the pixels.
  std::vector<std::int32_t> Col(static_cast<std::size_t>(C.W)), Row(static_cast<std::size_t>(C.H));
  for (std::int32_t X = 0; X < C.W; ++X) Col[X] = Sampled(X, C.W, C.Sx, C.Width);
  for (std::int32_t Y = 0; Y < C.H; ++Y) Row[Y] = Sampled(Y, C.H, C.Sy, C.Height);
  int Wrong = 0;
  for (std::int32_t Y = 0; Y < D.GetHeight() && Wrong < 5; ++Y) {
    for (std::int32_t X = 0; X < D.GetWidth() && Wrong < 5; ++X) {
      const bool Inside = X >= 5 && X < 5 + C.W && Y >= 3 && Y < 3 + C.H;
      const TColor Want = Inside ? SourceColour(B, Col[X - 5], Row[Y - 3]) : Marker;
      if (DestColour(D, X, Y) != Want) {
        ++Wrong;
        ADD_FAILURE() << "pixel (" << X << ", " << Y << ") is " << std::hex << DestColour(D, X, Y)
                      << ", expected " << Want;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ResampleScale,
    ::testing::ValuesIn(std::vector<TScaleCase>{
        {"Quadruple", 100, 100, 400, 400, 4, 4, 1},
        {"Triple", 100, 100, 300, 300, 2, 2, 1},  // 150 samples, column (c * 100) div 150
        {"Width256", 64, 64, 256, 256, 4, 1, 1},  // 64 x 256 samples in one tile
        {"Width256Height256", 100, 100, 256, 256, 2, 1, 1},
        {"Width255Height258", 100, 100, 255, 258, 1, 2, 1},
        {"Height256", 100, 100, 300, 256, 2, 1, 1},
        {"TwoTileColumns", 2000, 10, 1025, 10, 1, 1, 2},  // 1024 and 1 samples
        {"TwoTileRows", 10, 1500, 10, 1500, 1, 1, 2},
        {"FourTilesAtStepTwo", 600, 600, 1500, 1500, 2, 2, 4},
        {"TwoTileRowsAtStepFour", 100, 300, 100, 1200, 1, 4, 2},
        {"Shrink", 300, 200, 100, 50, 1, 1, 1},
        {"AcrossBands", 2000, 5000, 200, 500, 1, 1, 1},
    }),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(ResampleTest, LastTileAbsorbsTheColumnsAndRowsNoSampleStandsFor) {
  TBigBitmap Wide;
  MakeImage(Wide, bbpf8bit, 100, 10);
  TBitmap D;
  MakeDest(D, 1030, 10);
  // 255 samples four columns wide cover 1020 columns; the tile is sent 1023 wide.
  EXPECT_EQ(DrawInto(D, Rect(0, 0, 1023, 10), Wide), 1u);
  for (std::int32_t X = 0; X < 1023; ++X) ASSERT_NE(DestColour(D, X, 5), Marker) << X;
  EXPECT_EQ(DestColour(D, 1023, 5), Marker);
  EXPECT_EQ(DestColour(D, 1022, 5), SourceColour(Wide, 99, 5));

  TBigBitmap Tall;
  MakeImage(Tall, bbpf8bit, 10, 100);
  TBitmap E;
  MakeDest(E, 10, 1030);
  EXPECT_EQ(DrawInto(E, Rect(0, 0, 10, 1023), Tall), 1u);
  for (std::int32_t Y = 0; Y < 1023; ++Y) ASSERT_NE(DestColour(E, 5, Y), Marker) << Y;
  EXPECT_EQ(DestColour(E, 5, 1023), Marker);
}

TEST_F(ResampleTest, TilesOutsideTheClipBoxAreNotSent) {
  TBigBitmap B;
  MakeImage(B, bbpf8bit, 3000, 20);
  TBitmap D;
  MakeDest(D, 3000, 20);
  IntersectClipRect(D.Canvas()->Handle(), 0, 0, 10, 20);
  EXPECT_EQ(DrawInto(D, Rect(0, 0, 3000, 20), B), 1u) << "only the first of three tile columns";
  for (std::int32_t X = 0; X < 10; ++X) EXPECT_EQ(DestColour(D, X, 7), SourceColour(B, X, 7));
  EXPECT_EQ(DestColour(D, 10, 7), Marker);

  ResetClipRect(D.Canvas()->Handle());
  IntersectClipRect(D.Canvas()->Handle(), 2990, 0, 3000, 20);
  EXPECT_EQ(DrawInto(D, Rect(0, 0, 3000, 20), B), 1u);
  EXPECT_EQ(DestColour(D, 2999, 19), SourceColour(B, 2999, 19));

  ResetClipRect(D.Canvas()->Handle());
  EXPECT_EQ(DrawInto(D, Rect(0, 0, 3000, 20), B), 3u);
}

TEST_F(ResampleTest, ReversedRectangleMirrorsTheImage) {
  TBigBitmap B;
  MakeImage(B, bbpf8bit, 100, 100);
  TBitmap D;
  MakeDest(D, 102, 102);
  // Leftward from column 100: columns 1 .. 100, image column 0 at column 100.
  EXPECT_EQ(DrawInto(D, Rect(100, 0, 0, 100), B), 1u);
  for (std::int32_t X = 1; X <= 100; ++X) {
    ASSERT_EQ(DestColour(D, X, 40), SourceColour(B, 100 - X, 40)) << X;
  }
  EXPECT_EQ(DestColour(D, 0, 40), Marker);
  EXPECT_EQ(DestColour(D, 101, 40), Marker);

  TBitmap E;
  MakeDest(E, 102, 102);
  EXPECT_EQ(DrawInto(E, Rect(0, 100, 100, 0), B), 1u);
  for (std::int32_t Y = 1; Y <= 100; ++Y) {
    ASSERT_EQ(DestColour(E, 30, Y), SourceColour(B, 30, 100 - Y)) << Y;
  }
  EXPECT_EQ(DestColour(E, 30, 0), Marker);

  // Two tile columns placed leftward: the second one continues where the first one ends.
  TBigBitmap Wide;
  MakeImage(Wide, bbpf8bit, 2000, 10);
  TBitmap F;
  MakeDest(F, 1027, 10);
  EXPECT_EQ(DrawInto(F, Rect(1025, 0, 0, 10), Wide), 2u);
  for (std::int32_t K = 0; K < 1025; ++K) {
    ASSERT_EQ(DestColour(F, 1025 - K, 5), SourceColour(Wide, K * 2000 / 1025, 5)) << K;
  }
  EXPECT_EQ(DestColour(F, 0, 5), Marker);
}

TEST_F(ResampleTest, MirroredTileIsTestedAgainstTheClipBoxOneColumnFurtherRight) {
  TBigBitmap B;
  MakeImage(B, bbpf8bit, 100, 100);
  TBitmap D;
  MakeDest(D, 102, 102);
  // The mirrored tile covers columns 1 .. 100: a clip box of column 0 alone misses it.
  IntersectClipRect(D.Canvas()->Handle(), 0, 0, 1, 102);
  EXPECT_EQ(DrawInto(D, Rect(100, 0, 0, 100), B), 0u);
  ResetClipRect(D.Canvas()->Handle());
  IntersectClipRect(D.Canvas()->Handle(), 100, 0, 101, 102);
  EXPECT_EQ(DrawInto(D, Rect(100, 0, 0, 100), B), 1u);
  EXPECT_EQ(DestColour(D, 100, 9), SourceColour(B, 0, 9));
  // The same for rows.
  ResetClipRect(D.Canvas()->Handle());
  IntersectClipRect(D.Canvas()->Handle(), 0, 0, 102, 1);
  EXPECT_EQ(DrawInto(D, Rect(0, 100, 100, 0), B), 0u);
}

TEST_F(ResampleTest, ClippedDrawingGivesTheRightPixelsInsideTheClipBox) {
  // 100 x 100 into 300 x 300 at step 2, once forward from (0, 0), once mirrored both ways
  // from (301, 301), which covers columns and rows 2 .. 301.
  for (const TBBPixelFormat Format : {bbpf1bit, bbpf8bit}) {
    TBigBitmap B;
    MakeImage(B, Format, 100, 100);
    for (const bool Mirrored : {false, true}) {
      TBitmap D;
      MakeDest(D, 302, 302);
      IntersectClipRect(D.Canvas()->Handle(), 123, 77, 131, 90);
      DrawInto(D, Mirrored ? Rect(301, 301, 1, 1) : Rect(0, 0, 300, 300), B);
      for (std::int32_t Y = 0; Y < 302; ++Y) {
        for (std::int32_t X = 0; X < 302; ++X) {
          const bool Inside = X >= 123 && X < 131 && Y >= 77 && Y < 90;
          const std::int32_t Kx = Mirrored ? 301 - X : X;
          const std::int32_t Ky = Mirrored ? 301 - Y : Y;
          const TColor Want =
              Inside ? SourceColour(B, Sampled(Kx, 300, 2, 100), Sampled(Ky, 300, 2, 100))
                     : Marker;
          ASSERT_EQ(DestColour(D, X, Y), Want)
              << "format " << int{Format} << (Mirrored ? " mirrored" : "") << ", pixel (" << X
              << ", " << Y << ")";
        }
      }
    }
  }
}

class ResampleFormat : public ResampleTest, public ::testing::WithParamInterface<TBBPixelFormat> {};

TEST_P(ResampleFormat, SamplesKeepBitAndNibbleOrder) {
  TBigBitmap B;
  MakeImage(B, GetParam(), 37, 23);
  struct TArget {
    std::int32_t W, H, Sx, Sy;
  };
  // Step 1 both ways (enlarging by 2 and shrinking), and step 4 both ways.
  for (const TArget T : {TArget{74, 46, 1, 1}, TArget{18, 11, 1, 1}, TArget{300, 280, 4, 4}}) {
    TBitmap D;
    MakeDest(D, T.W, T.H);
    EXPECT_EQ(DrawInto(D, Rect(0, 0, T.W, T.H), B), 1u);
    int Wrong = 0;
    for (std::int32_t Y = 0; Y < T.H && Wrong < 5; ++Y) {
      for (std::int32_t X = 0; X < T.W && Wrong < 5; ++X) {
        const TColor Want = SourceColour(B, Sampled(X, T.W, T.Sx, 37), Sampled(Y, T.H, T.Sy, 23));
        if (DestColour(D, X, Y) != Want) {
          ++Wrong;
          ADD_FAILURE() << T.W << " x " << T.H << ": pixel (" << X << ", " << Y << ")";
        }
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, ResampleFormat,
                         ::testing::Values(bbpf1bit, bbpf4bit, bbpf8bit, bbpf24bit));

TEST_F(ResampleTest, PaletteIsSelectedForTheDrawingAndPutBackAfterwards) {
  TBigBitmap Indexed;
  MakeImage(Indexed, bbpf8bit, 20, 20);
  TBitmap D;
  MakeDest(D, 20, 20);
  const HDC Dc = D.Canvas()->Handle();
  const HPALETTE Mine = bigbitmaptest::MakePalette(2, [](int I) { return I ? clWhite : clBlack; });
  const HPALETTE Original = SelectPalette(Dc, Mine, false);

  const TGdiStats Before = GdiStats();
  DrawInto(D, Rect(0, 0, 20, 20), Indexed);
  EXPECT_EQ(GdiStats().SelectPaletteCalls - Before.SelectPaletteCalls, 2u);
  EXPECT_EQ(GdiStats().RealizePaletteCalls - Before.RealizePaletteCalls, 1u);
  EXPECT_EQ(SelectPalette(Dc, Original, false), Mine) << "the previous palette must be back";
  DeleteObject(Mine);

  TBigBitmap Rgb;
  MakeImage(Rgb, bbpf24bit, 20, 20);
  ASSERT_EQ(Rgb.GetPalette(), 0u);
  const TGdiStats Again = GdiStats();
  DrawInto(D, Rect(0, 0, 20, 20), Rgb);
  EXPECT_EQ(GdiStats().SelectPaletteCalls, Again.SelectPaletteCalls);
  EXPECT_EQ(GdiStats().RealizePaletteCalls, Again.RealizePaletteCalls);
}

struct TModeCase {
  TBBPixelFormat Format;
  int DeviceBits;
  int Mode;
};

void PrintTo(const TModeCase& C, std::ostream* Os) {
  *Os << TBigBitmap::GetPixelBits(C.Format) << " bits onto " << C.DeviceBits;
}

class ResampleStretchMode : public ResampleTest, public ::testing::WithParamInterface<TModeCase> {};

TEST_P(ResampleStretchMode, HalftoneOnlyForColoursOntoAPalettedSurface) {
  const TModeCase& C = GetParam();
  TBigBitmap B;
  MakeImage(B, C.Format, 16, 16);
  TBitmap D;
  MakeDest(D, 16, 16);
  const HDC Dc = D.Canvas()->Handle();
  SetDeviceBitsPixel(Dc, C.DeviceBits);
  SetStretchBltMode(Dc, BLACKONWHITE);
  SetBrushOrgEx(Dc, 3, 5, nullptr);
  DrawInto(D, Rect(0, 0, 16, 16), B);
  EXPECT_EQ(GetStretchBltMode(Dc), C.Mode) << "the mode stays set after drawing";
  TPoint Origin;
  GetBrushOrgEx(Dc, &Origin);
  EXPECT_EQ(Origin.X, 3);
  EXPECT_EQ(Origin.Y, 5);
}

INSTANTIATE_TEST_SUITE_P(Cases, ResampleStretchMode,
                         ::testing::ValuesIn(std::vector<TModeCase>{
                             {bbpf24bit, 8, HALFTONE},
                             {bbpf24bit, 16, COLORONCOLOR},
                             {bbpf8bit, 8, COLORONCOLOR},
                             {bbpf1bit, 1, COLORONCOLOR},
                         }));

TEST_F(ResampleTest, EmptyExtentSendsNothingAndFailedTileLeavesNothingBehind) {
  TBigBitmap B;
  MakeImage(B, bbpf8bit, 10, 10);
  TBitmap D;
  MakeDest(D, 10, 10);
  EXPECT_EQ(DrawInto(D, Rect(5, 0, 5, 10), B), 0u);
  EXPECT_EQ(DrawInto(D, Rect(0, 5, 10, 5), B), 0u);

  const TGdiStats Before = GdiStats();
  SetBitmapAllocFailCountdown(1);
  EXPECT_THROW(DrawInto(D, Rect(0, 0, 10, 10), B), EOutOfMemory);
  SetBitmapAllocFailCountdown(0);
  EXPECT_EQ(GdiStats().StretchDIBitsCalls, Before.StretchDIBitsCalls);
  EXPECT_EQ(DestColour(D, 0, 0), Marker);
}

}  // namespace
