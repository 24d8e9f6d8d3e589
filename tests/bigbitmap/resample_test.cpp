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

constexpr TColor kMarker = 0x030201;  // in no palette below

// Colour of entry i of the 256-entry test palette; red = i keeps the entries apart.
TColor PaletteColour(int i) {
  return RGB(static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i),
             static_cast<std::uint8_t>(i * 7));
}

// A big bitmap whose rows hold a pattern that changes from pixel to pixel and row to row,
// with DrawMode 1; at 8 bits with the test palette.
void MakeImage(TBigBitmap& b, TBBPixelFormat Format, std::int32_t W, std::int32_t H) {
  b.SetPixelFormat(Format);
  b.SetWidth(W);
  b.SetHeight(H);
  b.SetDrawMode(1);
  if (Format == bbpf8bit) b.SetPalette(bigbitmaptest::MakePalette(256, PaletteColour));
  const std::int64_t stride = TBigBitmap::RowStride(W, TBigBitmap::GetPixelBits(Format));
  for (std::int32_t y = 0; y < H; ++y) {
    auto* row = static_cast<std::uint8_t*>(b.GetScanline(y));
    for (std::int64_t i = 0; i < stride; ++i) {
      row[i] = static_cast<std::uint8_t>(Format == bbpf8bit ? i + 3 * y : i * 7 + y * 13 + 1);
    }
  }
}

// The colour of image pixel (x, y), decoded from the row layout.
TColor SourceColour(TBigBitmap& b, std::int32_t x, std::int32_t y) {
  const auto* row = static_cast<const std::uint8_t*>(b.GetScanline(y));
  std::size_t index = 0;
  switch (b.GetPixelFormat()) {
    case bbpf1bit:
      index = (row[x >> 3] >> (7 - (x & 7))) & 1;
      break;
    case bbpf4bit:
      index = (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
      break;
    case bbpf8bit:
      index = row[x];
      break;
    case bbpf24bit:
      return Pixel24(row, x);
  }
  return bigbitmaptest::TableColour(*b.Bitmaps()[0], index);
}

// A 24-bit destination filled with the marker colour.
void MakeDest(TBitmap& d, std::int32_t W, std::int32_t H) {
  d.SetPixelFormat(pf24bit);
  d.SetWidth(W);
  d.SetHeight(H);
  d.Canvas()->Brush().Color = kMarker;
  d.Canvas()->FillRect(Rect(0, 0, W, H));
}

TColor DestColour(TBitmap& d, std::int32_t x, std::int32_t y) {
  return Pixel24(d.ScanLine(y), x);
}

// Draws b into Rect on d and returns the number of tiles sent.
std::uint64_t DrawInto(TBitmap& d, const TRect& R, TBigBitmap& b) {
  const std::uint64_t before = GdiStats().StretchDIBitsCalls;
  d.Canvas()->StretchDraw(R, &b);
  return GdiStats().StretchDIBitsCalls - before;
}

// Image column sampled for destination column X of an extent W at step s (exact cases only:
// W is a multiple of s, so the blit enlarges every sample by exactly s).
std::int32_t Sampled(std::int32_t X, std::int32_t W, std::int32_t s, std::int32_t Width) {
  return static_cast<std::int32_t>(static_cast<std::int64_t>(X / s) * Width / (W / s));
}

class ResampleTest : public LeakCheckedTest {};

struct ScaleCase {
  const char* name;
  std::int32_t width, height;  // image
  std::int32_t W, H;           // destination rectangle, placed at (5, 3)
  std::int32_t sx, sy;         // expected magnification steps
  std::uint64_t tiles;
};

void PrintTo(const ScaleCase& c, std::ostream* os) {
  *os << c.name;
}

class ResampleScale : public ResampleTest, public ::testing::WithParamInterface<ScaleCase> {};

TEST_P(ResampleScale, EveryDestinationPixelTakesItsSampledSourcePixel) {
  const ScaleCase& c = GetParam();
  TBigBitmap b;
  MakeImage(b, bbpf8bit, c.width, c.height);
  TBitmap d;
  MakeDest(d, c.W + 7, c.H + 5);
  EXPECT_EQ(DrawInto(d, Rect(5, 3, 5 + c.W, 3 + c.H), b), c.tiles);
  // Source rows and columns per destination row and column, then one pass over the pixels.
  std::vector<std::int32_t> col(static_cast<std::size_t>(c.W)), row(static_cast<std::size_t>(c.H));
  for (std::int32_t X = 0; X < c.W; ++X) col[X] = Sampled(X, c.W, c.sx, c.width);
  for (std::int32_t Y = 0; Y < c.H; ++Y) row[Y] = Sampled(Y, c.H, c.sy, c.height);
  int wrong = 0;
  for (std::int32_t y = 0; y < d.GetHeight() && wrong < 5; ++y) {
    for (std::int32_t x = 0; x < d.GetWidth() && wrong < 5; ++x) {
      const bool inside = x >= 5 && x < 5 + c.W && y >= 3 && y < 3 + c.H;
      const TColor want = inside ? SourceColour(b, col[x - 5], row[y - 3]) : kMarker;
      if (DestColour(d, x, y) != want) {
        ++wrong;
        ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << std::hex << DestColour(d, x, y)
                      << ", expected " << want;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ResampleScale,
    ::testing::ValuesIn(std::vector<ScaleCase>{
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
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ResampleTest, LastTileAbsorbsTheColumnsAndRowsNoSampleStandsFor) {
  TBigBitmap wide;
  MakeImage(wide, bbpf8bit, 100, 10);
  TBitmap d;
  MakeDest(d, 1030, 10);
  // 255 samples four columns wide cover 1020 columns; the tile is sent 1023 wide.
  EXPECT_EQ(DrawInto(d, Rect(0, 0, 1023, 10), wide), 1u);
  for (std::int32_t x = 0; x < 1023; ++x) ASSERT_NE(DestColour(d, x, 5), kMarker) << x;
  EXPECT_EQ(DestColour(d, 1023, 5), kMarker);
  EXPECT_EQ(DestColour(d, 1022, 5), SourceColour(wide, 99, 5));

  TBigBitmap tall;
  MakeImage(tall, bbpf8bit, 10, 100);
  TBitmap e;
  MakeDest(e, 10, 1030);
  EXPECT_EQ(DrawInto(e, Rect(0, 0, 10, 1023), tall), 1u);
  for (std::int32_t y = 0; y < 1023; ++y) ASSERT_NE(DestColour(e, 5, y), kMarker) << y;
  EXPECT_EQ(DestColour(e, 5, 1023), kMarker);
}

TEST_F(ResampleTest, TilesOutsideTheClipBoxAreNotSent) {
  TBigBitmap b;
  MakeImage(b, bbpf8bit, 3000, 20);
  TBitmap d;
  MakeDest(d, 3000, 20);
  IntersectClipRect(d.Canvas()->Handle(), 0, 0, 10, 20);
  EXPECT_EQ(DrawInto(d, Rect(0, 0, 3000, 20), b), 1u) << "only the first of three tile columns";
  for (std::int32_t x = 0; x < 10; ++x) EXPECT_EQ(DestColour(d, x, 7), SourceColour(b, x, 7));
  EXPECT_EQ(DestColour(d, 10, 7), kMarker);

  ResetClipRect(d.Canvas()->Handle());
  IntersectClipRect(d.Canvas()->Handle(), 2990, 0, 3000, 20);
  EXPECT_EQ(DrawInto(d, Rect(0, 0, 3000, 20), b), 1u);
  EXPECT_EQ(DestColour(d, 2999, 19), SourceColour(b, 2999, 19));

  ResetClipRect(d.Canvas()->Handle());
  EXPECT_EQ(DrawInto(d, Rect(0, 0, 3000, 20), b), 3u);
}

TEST_F(ResampleTest, ReversedRectangleMirrorsTheImage) {
  TBigBitmap b;
  MakeImage(b, bbpf8bit, 100, 100);
  TBitmap d;
  MakeDest(d, 102, 102);
  // Leftward from column 100: columns 1 .. 100, image column 0 at column 100.
  EXPECT_EQ(DrawInto(d, Rect(100, 0, 0, 100), b), 1u);
  for (std::int32_t x = 1; x <= 100; ++x) {
    ASSERT_EQ(DestColour(d, x, 40), SourceColour(b, 100 - x, 40)) << x;
  }
  EXPECT_EQ(DestColour(d, 0, 40), kMarker);
  EXPECT_EQ(DestColour(d, 101, 40), kMarker);

  TBitmap e;
  MakeDest(e, 102, 102);
  EXPECT_EQ(DrawInto(e, Rect(0, 100, 100, 0), b), 1u);
  for (std::int32_t y = 1; y <= 100; ++y) {
    ASSERT_EQ(DestColour(e, 30, y), SourceColour(b, 30, 100 - y)) << y;
  }
  EXPECT_EQ(DestColour(e, 30, 0), kMarker);

  // Two tile columns placed leftward: the second one continues where the first one ends.
  TBigBitmap wide;
  MakeImage(wide, bbpf8bit, 2000, 10);
  TBitmap f;
  MakeDest(f, 1027, 10);
  EXPECT_EQ(DrawInto(f, Rect(1025, 0, 0, 10), wide), 2u);
  for (std::int32_t k = 0; k < 1025; ++k) {
    ASSERT_EQ(DestColour(f, 1025 - k, 5), SourceColour(wide, k * 2000 / 1025, 5)) << k;
  }
  EXPECT_EQ(DestColour(f, 0, 5), kMarker);
}

TEST_F(ResampleTest, MirroredTileIsTestedAgainstTheClipBoxOneColumnFurtherRight) {
  TBigBitmap b;
  MakeImage(b, bbpf8bit, 100, 100);
  TBitmap d;
  MakeDest(d, 102, 102);
  // The mirrored tile covers columns 1 .. 100: a clip box of column 0 alone misses it.
  IntersectClipRect(d.Canvas()->Handle(), 0, 0, 1, 102);
  EXPECT_EQ(DrawInto(d, Rect(100, 0, 0, 100), b), 0u);
  ResetClipRect(d.Canvas()->Handle());
  IntersectClipRect(d.Canvas()->Handle(), 100, 0, 101, 102);
  EXPECT_EQ(DrawInto(d, Rect(100, 0, 0, 100), b), 1u);
  EXPECT_EQ(DestColour(d, 100, 9), SourceColour(b, 0, 9));
  // The same for rows.
  ResetClipRect(d.Canvas()->Handle());
  IntersectClipRect(d.Canvas()->Handle(), 0, 0, 102, 1);
  EXPECT_EQ(DrawInto(d, Rect(0, 100, 100, 0), b), 0u);
}

TEST_F(ResampleTest, ClippedDrawingGivesTheRightPixelsInsideTheClipBox) {
  // 100 x 100 into 300 x 300 at step 2, once forward from (0, 0), once mirrored both ways
  // from (301, 301), which covers columns and rows 2 .. 301.
  for (const TBBPixelFormat format : {bbpf1bit, bbpf8bit}) {
    TBigBitmap b;
    MakeImage(b, format, 100, 100);
    for (const bool mirrored : {false, true}) {
      TBitmap d;
      MakeDest(d, 302, 302);
      IntersectClipRect(d.Canvas()->Handle(), 123, 77, 131, 90);
      DrawInto(d, mirrored ? Rect(301, 301, 1, 1) : Rect(0, 0, 300, 300), b);
      for (std::int32_t y = 0; y < 302; ++y) {
        for (std::int32_t x = 0; x < 302; ++x) {
          const bool inside = x >= 123 && x < 131 && y >= 77 && y < 90;
          const std::int32_t kx = mirrored ? 301 - x : x;
          const std::int32_t ky = mirrored ? 301 - y : y;
          const TColor want =
              inside ? SourceColour(b, Sampled(kx, 300, 2, 100), Sampled(ky, 300, 2, 100))
                     : kMarker;
          ASSERT_EQ(DestColour(d, x, y), want)
              << "format " << int{format} << (mirrored ? " mirrored" : "") << ", pixel (" << x
              << ", " << y << ")";
        }
      }
    }
  }
}

class ResampleFormat : public ResampleTest, public ::testing::WithParamInterface<TBBPixelFormat> {};

TEST_P(ResampleFormat, SamplesKeepBitAndNibbleOrder) {
  TBigBitmap b;
  MakeImage(b, GetParam(), 37, 23);
  struct Target {
    std::int32_t W, H, sx, sy;
  };
  // Step 1 both ways (enlarging by 2 and shrinking), and step 4 both ways.
  for (const Target t : {Target{74, 46, 1, 1}, Target{18, 11, 1, 1}, Target{300, 280, 4, 4}}) {
    TBitmap d;
    MakeDest(d, t.W, t.H);
    EXPECT_EQ(DrawInto(d, Rect(0, 0, t.W, t.H), b), 1u);
    int wrong = 0;
    for (std::int32_t y = 0; y < t.H && wrong < 5; ++y) {
      for (std::int32_t x = 0; x < t.W && wrong < 5; ++x) {
        const TColor want = SourceColour(b, Sampled(x, t.W, t.sx, 37), Sampled(y, t.H, t.sy, 23));
        if (DestColour(d, x, y) != want) {
          ++wrong;
          ADD_FAILURE() << t.W << " x " << t.H << ": pixel (" << x << ", " << y << ")";
        }
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, ResampleFormat,
                         ::testing::Values(bbpf1bit, bbpf4bit, bbpf8bit, bbpf24bit));

TEST_F(ResampleTest, PaletteIsSelectedForTheDrawingAndPutBackAfterwards) {
  TBigBitmap indexed;
  MakeImage(indexed, bbpf8bit, 20, 20);
  TBitmap d;
  MakeDest(d, 20, 20);
  const HDC dc = d.Canvas()->Handle();
  const HPALETTE mine = bigbitmaptest::MakePalette(2, [](int i) { return i ? clWhite : clBlack; });
  const HPALETTE original = SelectPalette(dc, mine, false);

  const TGdiStats before = GdiStats();
  DrawInto(d, Rect(0, 0, 20, 20), indexed);
  EXPECT_EQ(GdiStats().SelectPaletteCalls - before.SelectPaletteCalls, 2u);
  EXPECT_EQ(GdiStats().RealizePaletteCalls - before.RealizePaletteCalls, 1u);
  EXPECT_EQ(SelectPalette(dc, original, false), mine) << "the previous palette must be back";
  DeleteObject(mine);

  TBigBitmap rgb;
  MakeImage(rgb, bbpf24bit, 20, 20);
  ASSERT_EQ(rgb.GetPalette(), 0u);
  const TGdiStats again = GdiStats();
  DrawInto(d, Rect(0, 0, 20, 20), rgb);
  EXPECT_EQ(GdiStats().SelectPaletteCalls, again.SelectPaletteCalls);
  EXPECT_EQ(GdiStats().RealizePaletteCalls, again.RealizePaletteCalls);
}

struct ModeCase {
  TBBPixelFormat format;
  int deviceBits;
  int mode;
};

void PrintTo(const ModeCase& c, std::ostream* os) {
  *os << TBigBitmap::GetPixelBits(c.format) << " bits onto " << c.deviceBits;
}

class ResampleStretchMode : public ResampleTest, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(ResampleStretchMode, HalftoneOnlyForColoursOntoAPalettedSurface) {
  const ModeCase& c = GetParam();
  TBigBitmap b;
  MakeImage(b, c.format, 16, 16);
  TBitmap d;
  MakeDest(d, 16, 16);
  const HDC dc = d.Canvas()->Handle();
  SetDeviceBitsPixel(dc, c.deviceBits);
  SetStretchBltMode(dc, BLACKONWHITE);
  SetBrushOrgEx(dc, 3, 5, nullptr);
  DrawInto(d, Rect(0, 0, 16, 16), b);
  EXPECT_EQ(GetStretchBltMode(dc), c.mode) << "the mode stays set after drawing";
  TPoint origin;
  GetBrushOrgEx(dc, &origin);
  EXPECT_EQ(origin.X, 3);
  EXPECT_EQ(origin.Y, 5);
}

INSTANTIATE_TEST_SUITE_P(Cases, ResampleStretchMode,
                         ::testing::ValuesIn(std::vector<ModeCase>{
                             {bbpf24bit, 8, HALFTONE},
                             {bbpf24bit, 16, COLORONCOLOR},
                             {bbpf8bit, 8, COLORONCOLOR},
                             {bbpf1bit, 1, COLORONCOLOR},
                         }));

TEST_F(ResampleTest, EmptyExtentSendsNothingAndFailedTileLeavesNothingBehind) {
  TBigBitmap b;
  MakeImage(b, bbpf8bit, 10, 10);
  TBitmap d;
  MakeDest(d, 10, 10);
  EXPECT_EQ(DrawInto(d, Rect(5, 0, 5, 10), b), 0u);
  EXPECT_EQ(DrawInto(d, Rect(0, 5, 10, 5), b), 0u);

  const TGdiStats before = GdiStats();
  SetBitmapAllocFailCountdown(1);
  EXPECT_THROW(DrawInto(d, Rect(0, 0, 10, 10), b), EOutOfMemory);
  SetBitmapAllocFailCountdown(0);
  EXPECT_EQ(GdiStats().StretchDIBitsCalls, before.StretchDIBitsCalls);
  EXPECT_EQ(DestColour(d, 0, 0), kMarker);
}

}  // namespace
