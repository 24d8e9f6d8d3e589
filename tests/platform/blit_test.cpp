#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "pixel_helpers.h"
#include "platform/graphics.h"

namespace {

using pixels::Rgb;
using BlitTest = PlatformTest;

// The colours a pair of depths can both show exactly: the shared part of their default tables.
std::vector<std::uint32_t> SharedColors(int SrcBits, int DestBits) {
  int Smallest = 24;
  for (int b : {SrcBits, DestBits}) {
    if (b <= 8) Smallest = std::min(Smallest, b);
  }
  if (Smallest == 24) return {0x000000, 0x123456, 0xFEDCBA, 0x00FF7F, 0xFFFFFF, 0x808081};
  TBitmap Table;
  Table.SetPixelFormat(pixels::FormatOfBits(Smallest));
  std::vector<std::uint32_t> colors;
  for (std::size_t I = 0; I < Table.ColorTable().size(); ++I) {
    colors.push_back(pixels::TableColor(Table, static_cast<int>(I)));
  }
  return colors;
}

// Paints a pixel with a colour: its nearest-entry index at palette depths (exact here).
void Paint(TBitmap& B, int X, int Y, std::uint32_t Color) {
  if (B.BitsPerPixel() > 8) return pixels::Set(B, X, Y, Color);
  for (std::size_t I = 0; I < B.ColorTable().size(); ++I) {
    if (pixels::TableColor(B, static_cast<int>(I)) == Color) {
      return pixels::Set(B, X, Y, static_cast<std::uint32_t>(I));
    }
  }
  FAIL() << "colour not in table";
}

struct TFormatPair {
  int Src;
  int Dest;
};

std::string PairName(const ::testing::TestParamInfo<TFormatPair>& Info) {
  return std::to_string(Info.param.Src) + "to" + std::to_string(Info.param.Dest);
}

std::vector<TFormatPair> AllPairs() {
  std::vector<TFormatPair> Pairs;
  for (int s : {1, 4, 8, 24, 32}) {
    for (int d : {1, 4, 8, 24, 32}) Pairs.push_back({s, d});
  }
  return Pairs;
}

class NaturalSizeTest : public PlatformTest, public ::testing::WithParamInterface<TFormatPair> {};

TEST_P(NaturalSizeTest, CopiesEveryPixelsColourExactly) {
  const TFormatPair P = GetParam();
  const std::vector<std::uint32_t> colors = SharedColors(P.Src, P.Dest);
  constexpr int kW = 37, H = 5;  // an odd width leaves partly used bytes at 1 and 4 bits
  TBitmap src, dest;
  pixels::Make(src, P.Src, kW, H);
  pixels::Make(dest, P.Dest, kW + 4, H + 2);
  std::mt19937 Rng(7);
  for (int y = 0; y < H; ++y) {
    for (int x = 0; x < kW; ++x) Paint(src, x, y, colors[Rng() % colors.size()]);
  }
  for (int Mode : {COLORONCOLOR, HALFTONE}) {
    SetStretchBltMode(dest.Canvas()->Handle(), Mode);
    ASSERT_TRUE(StretchBlt(dest.Canvas()->Handle(), 2, 1, kW, H, src.Canvas()->Handle(), 0, 0, kW,
                           H, SRCCOPY));
    for (int y = 0; y < H; ++y) {
      for (int x = 0; x < kW; ++x) {
        ASSERT_EQ(pixels::ColorAt(dest, x + 2, y + 1), pixels::ColorAt(src, x, y))
            << "mode " << Mode << " at " << x << "," << y;
      }
    }
    EXPECT_EQ(pixels::Get(dest, 1, 1), 0u) << "nothing left of the rectangle";
    EXPECT_EQ(pixels::Get(dest, kW + 2, 1), 0u) << "nothing right of the rectangle";
  }
}

INSTANTIATE_TEST_SUITE_P(AllFormats, NaturalSizeTest, ::testing::ValuesIn(AllPairs()), PairName);

// 8-bit surfaces sharing one table, so pixel values can be compared directly.
struct Strip {
  TBitmap Src, Dest;
  Strip(std::vector<std::uint8_t> Row, int DestW, int Rows = 1) {
    pixels::Make(Src, 8, static_cast<int>(Row.size()), Rows);
    for (int y = 0; y < Rows; ++y) {
      for (std::size_t x = 0; x < Row.size(); ++x) {
        pixels::Set(Src, static_cast<int>(x), y, Row[x] + static_cast<std::uint32_t>(y) * 100u);
      }
    }
    pixels::Make(Dest, 8, DestW, Rows);
  }
  HDC D() { return Dest.Canvas()->Handle(); }
  HDC S() { return Src.Canvas()->Handle(); }
  std::vector<std::uint32_t> Row(int Y = 0) {
    std::vector<std::uint32_t> v;
    for (int x = 0; x < Dest.GetWidth(); ++x) v.push_back(pixels::Get(Dest, x, Y));
    return v;
  }
};

using V = std::vector<std::uint32_t>;

struct TSampleCase {
  const char* Name;
  int X, W, XSrc, WSrc;
  V Expected;  // destination row of 8 pixels, source row is 1 2 3 4 5 6
};

class PointSamplingTest : public PlatformTest, public ::testing::WithParamInterface<TSampleCase> {};

TEST_P(PointSamplingTest, MapsDestinationColumnsToSourceColumns) {
  const TSampleCase& C = GetParam();
  Strip s({1, 2, 3, 4, 5, 6}, 8);
  ASSERT_TRUE(StretchBlt(s.D(), C.X, 0, C.W, 1, s.S(), C.XSrc, 0, C.WSrc, 1, SRCCOPY));
  EXPECT_EQ(s.Row(), C.Expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, PointSamplingTest,
                         ::testing::ValuesIn(std::vector<TSampleCase>{
                             {"Natural", 1, 6, 0, 6, {0, 1, 2, 3, 4, 5, 6, 0}},
                             {"NegativeWidthEndsAtX", 5, -4, 0, 4, {0, 0, 4, 3, 2, 1, 0, 0}},
                             {"NegativeSourceWidthMirrors", 0, 4, 3, -4, {4, 3, 2, 1, 0, 0, 0, 0}},
                             {"BothNegativeIsUpright", 5, -4, 3, -4, {0, 0, 1, 2, 3, 4, 0, 0}},
                             {"DoubleRepeatsPixels", 0, 8, 0, 4, {1, 1, 2, 2, 3, 3, 4, 4}},
                             {"HalveTakesEverySecond", 0, 3, 0, 6, {1, 3, 5, 0, 0, 0, 0, 0}},
                             {"FiveToThreeTruncates", 0, 3, 0, 5, {1, 2, 4, 0, 0, 0, 0, 0}},
                             {"ClippedLeft", -2, 6, 0, 6, {3, 4, 5, 6, 0, 0, 0, 0}},
                             {"ClippedRight", 5, 6, 0, 6, {0, 0, 0, 0, 0, 1, 2, 3}},
                             {"SourceOutsideIsNotDrawn", 0, 8, 2, 8, {3, 4, 5, 6, 0, 0, 0, 0}},
                             {"SourceLeftOfImage", 0, 4, -2, 4, {0, 0, 1, 2, 0, 0, 0, 0}}}),
                         [](const ::testing::TestParamInfo<TSampleCase>& info) {
                           return std::string(info.param.Name);
                         });

TEST_F(BlitTest, RowsMirrorAndStretchByTheColumnRules) {
  Strip s({1}, 1, 4);  // source rows hold 1, 101, 201, 301 % 256
  s.Dest.SetHeight(6);
  auto Column = [&] {
    V v;
    for (int y = 0; y < 6; ++y) v.push_back(pixels::Get(s.Dest, 0, y));
    return v;
  };
  // Height -4 from row 4 covers rows 1 .. 4, the first source row on row 4.
  ASSERT_TRUE(StretchBlt(s.D(), 0, 4, 1, -4, s.S(), 0, 0, 1, 4, SRCCOPY));
  EXPECT_EQ(Column(), (V{0, 301 % 256, 201, 101, 1, 0}));
  // Four rows onto six: row i takes source row i * 4 / 6.
  ASSERT_TRUE(StretchBlt(s.D(), 0, 0, 1, 6, s.S(), 0, 0, 1, 4, SRCCOPY));
  EXPECT_EQ(Column(), (V{1, 1, 101, 201, 201, 301 % 256}));
}

TEST_F(BlitTest, WindowOriginAndClipRectanglePlaceAndLimitTheBlit) {
  Strip s({1, 2, 3, 4, 5, 6}, 8, 3);
  SetWindowOrgEx(s.D(), 10, 1, nullptr);   // logical (10, 1) is pixel (0, 0)
  IntersectClipRect(s.D(), 12, 0, 15, 2);  // pixels 2 .. 4 of row 0 only
  ASSERT_TRUE(StretchBlt(s.D(), 10, 0, 6, 3, s.S(), 0, 0, 6, 3, SRCCOPY));
  EXPECT_EQ(s.Row(0), (V{0, 0, 103, 104, 105, 0, 0, 0})) << "logical row 0 is above the surface";
  EXPECT_EQ(s.Row(1), (V{0, 0, 0, 0, 0, 0, 0, 0}));

  SetStretchBltMode(s.D(), COLORONCOLOR);
  ResetClipRect(s.D());
  SetWindowOrgEx(s.S(), -1, 0, nullptr);  // source coordinates are logical too
  ASSERT_TRUE(StretchBlt(s.D(), 10, 2, 6, 1, s.S(), 0, 0, 6, 1, SRCCOPY));
  EXPECT_EQ(s.Row(1), (V{2, 3, 4, 5, 6, 0, 0, 0})) << "source column 6 lies outside the source";
}

TEST_F(BlitTest, BlitsOutsideTheSurfaceWriteNothing) {
  Strip s({1, 2, 3, 4, 5, 6}, 8);
  const std::uint64_t Before = GdiStats().PixelsWritten;
  SetWindowOrgEx(s.D(), 0, 500, nullptr);
  EXPECT_TRUE(StretchBlt(s.D(), 0, 0, 6, 1, s.S(), 0, 0, 6, 1, SRCCOPY));
  SetWindowOrgEx(s.D(), 0, 0, nullptr);
  EXPECT_TRUE(StretchBlt(s.D(), 0, 0, 0, 1, s.S(), 0, 0, 6, 1, SRCCOPY));
  EXPECT_EQ(GdiStats().PixelsWritten, Before);
  EXPECT_EQ(s.Row(), (V(8, 0)));
  EXPECT_TRUE(StretchBlt(s.D(), 0, 0, 6, 1, s.S(), 0, 0, 6, 1, SRCCOPY));
  EXPECT_EQ(GdiStats().PixelsWritten, Before + 6);
}

TEST_F(BlitTest, HalftoneAveragesTheSourceAreaWhenShrinking) {
  TBitmap src, dest;
  pixels::Make(src, 24, 4, 2);
  pixels::Make(dest, 24, 2, 1);
  const std::uint32_t Left[4] = {0x000000, 0x0A0A0A, 0x141414, 0x1E1E20};
  pixels::Set(src, 0, 0, Left[0]);
  pixels::Set(src, 1, 0, Left[1]);
  pixels::Set(src, 0, 1, Left[2]);
  pixels::Set(src, 1, 1, Left[3]);
  for (int x = 2; x < 4; ++x) {
    for (int y = 0; y < 2; ++y) pixels::Set(src, x, y, 0xFF0000);
  }
  SetStretchBltMode(dest.Canvas()->Handle(), HALFTONE);
  ASSERT_TRUE(
      StretchBlt(dest.Canvas()->Handle(), 0, 0, 2, 1, src.Canvas()->Handle(), 0, 0, 4, 2, SRCCOPY));
  EXPECT_EQ(pixels::Get(dest, 0, 0), 0x0F0F10u) << "(0+10+20+30)/4; blue (0+10+20+32)/4 rounds up";
  EXPECT_EQ(pixels::Get(dest, 1, 0), 0xFF0000u);

  SetStretchBltMode(dest.Canvas()->Handle(), COLORONCOLOR);
  ASSERT_TRUE(
      StretchBlt(dest.Canvas()->Handle(), 0, 0, 2, 1, src.Canvas()->Handle(), 0, 0, 4, 2, SRCCOPY));
  EXPECT_EQ(pixels::Get(dest, 0, 0), 0x000000u) << "point sampling takes the first pixel";
}

TEST_F(BlitTest, HalftoneOntoAPaletteMatchesTheAverage) {
  TBitmap src, dest;
  pixels::Make(src, 24, 2, 1);
  pixels::Make(dest, 8, 1, 1);
  dest.SetPalette(pixels::PaletteOf({0x000000, 0x7F7F7F, 0xFFFFFF}));
  pixels::Set(src, 0, 0, 0x000000);
  pixels::Set(src, 1, 0, 0xFFFFFF);
  SetStretchBltMode(dest.Canvas()->Handle(), HALFTONE);
  ASSERT_TRUE(
      StretchBlt(dest.Canvas()->Handle(), 0, 0, 1, 1, src.Canvas()->Handle(), 0, 0, 2, 1, SRCCOPY));
  EXPECT_EQ(pixels::Get(dest, 0, 0), 1u);
}

TEST_F(BlitTest, HalftoneBetweenPalettesAveragesTheSourceColours) {
  TBitmap src, dest;
  pixels::Make(src, 8, 2, 1);
  pixels::Make(dest, 4, 1, 1);
  pixels::Set(src, 0, 0, 0);   // black
  pixels::Set(src, 1, 0, 15);  // white
  SetStretchBltMode(dest.Canvas()->Handle(), HALFTONE);
  ASSERT_TRUE(
      StretchBlt(dest.Canvas()->Handle(), 0, 0, 1, 1, src.Canvas()->Handle(), 0, 0, 2, 1, SRCCOPY));
  EXPECT_EQ(pixels::Get(dest, 0, 0), 8u) << "(128,128,128) is nearest to the grey entry";
}

TEST_F(BlitTest, NearestColourTakesTheLowestIndexOnATie) {
  TBitmap src, dest;
  pixels::Make(src, 24, 4, 1);
  pixels::Make(dest, 8, 4, 1);
  // (10,0,0) is 100 away from both entry 1 and entry 2; (64,64,64) appears twice.
  dest.SetPalette(pixels::PaletteOf({0x404040, 0x140000, 0x000000, 0x404040}));
  pixels::Set(src, 0, 0, Rgb(10, 0, 0));
  pixels::Set(src, 1, 0, Rgb(64, 64, 64));
  pixels::Set(src, 2, 0, Rgb(1, 0, 0));
  pixels::Set(src, 3, 0, Rgb(100, 0, 0));
  ASSERT_TRUE(
      StretchBlt(dest.Canvas()->Handle(), 0, 0, 4, 1, src.Canvas()->Handle(), 0, 0, 4, 1, SRCCOPY));
  EXPECT_EQ(pixels::Get(dest, 0, 0), 1u);
  EXPECT_EQ(pixels::Get(dest, 1, 0), 0u);
  EXPECT_EQ(pixels::Get(dest, 2, 0), 2u);
  EXPECT_EQ(pixels::Get(dest, 3, 0), 1u);
}

TEST_F(BlitTest, MemoisedNearestColourStaysExactForManyColours) {
  constexpr int kW = 4096;
  TBitmap src, dest;
  pixels::Make(src, 24, kW, 2);
  pixels::Make(dest, 8, kW, 2);
  std::mt19937 Rng(3);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < kW; ++x) pixels::Set(src, x, y, Rng() & 0xFFFFFF);
  }
  ASSERT_TRUE(StretchBlt(dest.Canvas()->Handle(), 0, 0, kW, 2, src.Canvas()->Handle(), 0, 0, kW, 2,
                         SRCCOPY));
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < kW; ++x) {
      const std::uint32_t C = pixels::Get(src, x, y);
      int Best = 0, BestD = 1 << 30;
      for (int I = 0; I < 256; ++I) {
        const std::uint32_t E = pixels::TableColor(dest, I);
        const int Dr = static_cast<int>(E >> 16) - static_cast<int>(C >> 16);
        const int Dg = static_cast<int>((E >> 8) & 0xFF) - static_cast<int>((C >> 8) & 0xFF);
        const int Db = static_cast<int>(E & 0xFF) - static_cast<int>(C & 0xFF);
        const int d = Dr * Dr + Dg * Dg + Db * Db;
        if (d < BestD) BestD = d, Best = I;
      }
      ASSERT_EQ(pixels::Get(dest, x, y), static_cast<std::uint32_t>(Best)) << x << "," << y;
    }
  }
}

TEST_F(BlitTest, PaletteToPaletteKeepsIndicesWhenTheTablesAreEqual) {
  TBitmap src, dest;
  pixels::Make(src, 8, 2, 1);
  pixels::Make(dest, 8, 2, 1);
  // The two destination indices after a blit of the two source pixels.
  auto Blit = [&] {
    EXPECT_TRUE(StretchBlt(dest.Canvas()->Handle(), 0, 0, 2, 1, src.Canvas()->Handle(), 0, 0, 2, 1,
                           SRCCOPY));
    return std::pair{pixels::Get(dest, 0, 0), pixels::Get(dest, 1, 0)};
  };
  // Entry 16 of the halftone palette is black, like entry 0: the index itself is kept.
  pixels::Set(src, 0, 0, 16);
  pixels::Set(src, 1, 0, 255);
  EXPECT_EQ(Blit(), std::pair(16u, 255u));
  dest.SetPalette(pixels::PaletteOf({0xFFFFFF, 0x000000}));
  EXPECT_EQ(Blit().first, 1u) << "through the colours otherwise";
  // Tables that differ in blue alone are not the same table either.
  src.SetPalette(pixels::PaletteOf({0x000000, 0x0000FF}));
  dest.SetPalette(pixels::PaletteOf({0x0000FF, 0x000000}));
  pixels::Set(src, 0, 0, 0);
  pixels::Set(src, 1, 0, 1);
  EXPECT_EQ(Blit(), std::pair(1u, 0u));
}

TEST_F(BlitTest, PackedPixelsAreMostSignificantFirst) {
  TBitmap Mono, Vga, rgb;
  pixels::Make(Mono, 1, 9, 1);
  pixels::Make(Vga, 4, 3, 1);
  pixels::Make(rgb, 24, 9, 1);
  static_cast<std::uint8_t*>(Mono.ScanLine(0))[0] = 0x81;  // pixels 0 and 7 white
  static_cast<std::uint8_t*>(Mono.ScanLine(0))[1] = 0x80;  // pixel 8 white
  ASSERT_TRUE(
      StretchBlt(rgb.Canvas()->Handle(), 0, 0, 9, 1, Mono.Canvas()->Handle(), 0, 0, 9, 1, SRCCOPY));
  V row;
  for (int x = 0; x < 9; ++x) row.push_back(pixels::Get(rgb, x, 0) ? 1 : 0);
  EXPECT_EQ(row, (V{1, 0, 0, 0, 0, 0, 0, 1, 1}));

  pixels::Set(rgb, 0, 0, 0x800000);  // dark red, entry 1
  pixels::Set(rgb, 1, 0, 0xFFFFFF);  // white, entry 15
  pixels::Set(rgb, 2, 0, 0x0000FF);  // blue, entry 12
  ASSERT_TRUE(
      StretchBlt(Vga.Canvas()->Handle(), 0, 0, 3, 1, rgb.Canvas()->Handle(), 0, 0, 3, 1, SRCCOPY));
  const auto* Bytes = static_cast<const std::uint8_t*>(Vga.ScanLine(0));
  EXPECT_EQ(Bytes[0], 0x1F);
  EXPECT_EQ(Bytes[1] & 0xF0, 0xC0);
}

struct TRopCase {
  const char* Name;
  std::uint32_t Rop;
  std::uint32_t Expected;  // with source 0x0F0F0F onto destination 0x3C3C3C
};

class RasterOpTest : public PlatformTest, public ::testing::WithParamInterface<TRopCase> {};

TEST_P(RasterOpTest, CombinesSourceAndDestinationColourBits) {
  const TRopCase& C = GetParam();
  TBitmap src, dest;
  pixels::Make(src, 24, 1, 1);
  pixels::Make(dest, 24, 2, 1);
  pixels::Set(src, 0, 0, 0x0F0F0F);
  pixels::Set(dest, 0, 0, 0x3C3C3C);
  pixels::Set(dest, 1, 0, 0x3C3C3C);
  ASSERT_TRUE(
      StretchBlt(dest.Canvas()->Handle(), 0, 0, 1, 1, src.Canvas()->Handle(), 0, 0, 1, 1, C.Rop));
  EXPECT_EQ(pixels::Get(dest, 0, 0), C.Expected);
  EXPECT_EQ(pixels::Get(dest, 1, 0), 0x3C3C3Cu);
}

INSTANTIATE_TEST_SUITE_P(Rops, RasterOpTest,
                         ::testing::ValuesIn(std::vector<TRopCase>{{"Copy", SRCCOPY, 0x0F0F0F},
                                                                  {"Paint", SRCPAINT, 0x3F3F3F},
                                                                  {"And", SRCAND, 0x0C0C0C},
                                                                  {"Invert", SRCINVERT, 0x333333},
                                                                  {"NotCopy", NOTSRCCOPY, 0xF0F0F0},
                                                                  {"Black", BLACKNESS, 0x000000},
                                                                  {"White", WHITENESS, 0xFFFFFF}}),
                         [](const ::testing::TestParamInfo<TRopCase>& info) {
                           return std::string(info.param.Name);
                         });

TEST_F(BlitTest, UnknownRasterOpsAndMissingSourcesFail) {
  TBitmap dest;
  pixels::Make(dest, 24, 1, 1);
  EXPECT_FALSE(StretchBlt(dest.Canvas()->Handle(), 0, 0, 1, 1, dest.Canvas()->Handle(), 0, 0, 1, 1,
                          0x00BB0226));
  EXPECT_FALSE(StretchBlt(dest.Canvas()->Handle(), 0, 0, 1, 1, nullptr, 0, 0, 1, 1, SRCCOPY));
  EXPECT_TRUE(StretchBlt(dest.Canvas()->Handle(), 0, 0, 1, 1, nullptr, 0, 0, 0, 0, WHITENESS));
  EXPECT_EQ(pixels::Get(dest, 0, 0), 0xFFFFFFu);
}

TEST_F(BlitTest, BlitWithinOneBitmapReadsTheOriginalPixels) {
  Strip s({1, 2, 3, 4, 5, 6}, 1);
  ASSERT_TRUE(StretchBlt(s.S(), 1, 0, 5, 1, s.S(), 0, 0, 5, 1, SRCCOPY));
  V row;
  for (int x = 0; x < 6; ++x) row.push_back(pixels::Get(s.Src, x, 0));
  EXPECT_EQ(row, (V{1, 1, 2, 3, 4, 5}));
}

// ---- StretchDIBits ---------------------------------------------------------------------------

struct TPackedDib {
  BITMAPINFOHEADER Header{};
  RGBQUAD Colors[256]{};
  std::vector<std::uint8_t> Bits;
};

// A 4 x Rows 8-bit image whose row r (from the top) holds the value r + 1 in every pixel.
TPackedDib GreyRows(int Rows, bool BottomUp) {
  TPackedDib d;
  d.Header.biSize = 40;
  d.Header.biWidth = 4;
  d.Header.biHeight = BottomUp ? Rows : -Rows;
  d.Header.biPlanes = 1;
  d.Header.biBitCount = 8;
  for (int I = 0; I < 256; ++I) {
    d.Colors[I] = RGBQUAD{static_cast<std::uint8_t>(I), static_cast<std::uint8_t>(I),
                          static_cast<std::uint8_t>(I), 0};
  }
  for (int M = 0; M < Rows; ++M) {
    const int TopRow = BottomUp ? Rows - 1 - M : M;
    d.Bits.insert(d.Bits.end(), 4, static_cast<std::uint8_t>(TopRow + 1));
  }
  return d;
}

TEST_F(BlitTest, DibSourceOriginAboveTheBottomSelectsTheTopRowsOfABottomUpImage) {
  TPackedDib Dib = GreyRows(6, true);
  TBitmap dest;
  pixels::Make(dest, 24, 4, 4);
  // A tile of 6 rows of which the top 2 are filled: origin (0, 6 - 2), height 2.
  EXPECT_EQ(StretchDIBits(dest.Canvas()->Handle(), 0, 1, 4, 2, 0, 4, 4, 2, Dib.Bits.data(),
                          &Dib.Header, DIB_RGB_COLORS, SRCCOPY),
            2);
  EXPECT_EQ(pixels::Get(dest, 0, 0), 0u);
  EXPECT_EQ(pixels::Get(dest, 0, 1), 0x010101u) << "top row of the image first";
  EXPECT_EQ(pixels::Get(dest, 3, 2), 0x020202u);
  EXPECT_EQ(pixels::Get(dest, 0, 3), 0u);
}

TEST_F(BlitTest, DibTopDownImagesCountSourceRowsFromTheTop) {
  TPackedDib Dib = GreyRows(6, false);
  TBitmap dest;
  pixels::Make(dest, 24, 4, 2);
  EXPECT_EQ(StretchDIBits(dest.Canvas()->Handle(), 0, 0, 4, 2, 0, 1, 4, 2, Dib.Bits.data(),
                          &Dib.Header, DIB_RGB_COLORS, SRCCOPY),
            2);
  EXPECT_EQ(pixels::Get(dest, 0, 0), 0x020202u);
  EXPECT_EQ(pixels::Get(dest, 0, 1), 0x030303u);
}

TEST_F(BlitTest, DibMirroredAndEnlargedDestination) {
  TPackedDib Dib = GreyRows(2, true);
  TBitmap dest;
  pixels::Make(dest, 8, 8, 4);
  dest.SetPalette(pixels::PaletteOf({0x000000, 0x010101, 0x020202}));
  // Twice the size, upside down above row 3.
  StretchDIBits(dest.Canvas()->Handle(), 0, 3, 8, -4, 0, 0, 4, 2, Dib.Bits.data(), &Dib.Header,
                DIB_RGB_COLORS, SRCCOPY);
  V Column;
  for (int y = 0; y < 4; ++y) Column.push_back(pixels::Get(dest, 0, y));
  EXPECT_EQ(Column, (V{2, 2, 1, 1}));
}

TEST_F(BlitTest, DibColourCountDefaultsToTheFullTable) {
  TPackedDib Dib = GreyRows(1, true);
  Dib.Header.biBitCount = 4;
  Dib.Bits = {0x0F, 0x00, 0x00, 0x00};
  Dib.Colors[15] = RGBQUAD{1, 2, 3, 0};
  TBitmap dest;
  pixels::Make(dest, 24, 2, 1);
  StretchDIBits(dest.Canvas()->Handle(), 0, 0, 2, 1, 0, 0, 2, 1, Dib.Bits.data(), &Dib.Header,
                DIB_RGB_COLORS, SRCCOPY);
  EXPECT_EQ(pixels::Get(dest, 1, 0), Rgb(3, 2, 1));
  Dib.Header.biCompression = BI_RLE4;
  EXPECT_EQ(StretchDIBits(dest.Canvas()->Handle(), 0, 0, 2, 1, 0, 0, 2, 1, Dib.Bits.data(),
                          &Dib.Header, DIB_RGB_COLORS, SRCCOPY),
            0);
}

TEST_F(BlitTest, FaultInjectorFailsTheNthBlitBeforeDrawing) {
  Strip s({1, 2}, 2);
  SetBlitFailCountdown(2);
  EXPECT_TRUE(StretchBlt(s.D(), 0, 0, 1, 1, s.S(), 0, 0, 1, 1, SRCCOPY));
  EXPECT_THROW(StretchBlt(s.D(), 1, 0, 1, 1, s.S(), 1, 0, 1, 1, SRCCOPY), EOutOfMemory);
  EXPECT_EQ(s.Row(), (V{1, 0}));
}

}  // namespace
