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
  for (int B : {SrcBits, DestBits}) {
    if (B <= 8) Smallest = std::min(Smallest, B);
  }
  if (Smallest == 24) return {0x000000, 0x123456, 0xFEDCBA, 0x00FF7F, 0xFFFFFF, 0x808081};
  TBitmap Table;
  Table.SetPixelFormat(pixels::FormatOfBits(Smallest));
  std::vector<std::uint32_t> Colors;
  for (std::size_t I = 0; I < Table.ColorTable().size(); ++I) {
    Colors.push_back(pixels::TableColor(Table, static_cast<int>(I)));
  }
  return Colors;
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
  for (int S : {1, 4, 8, 24, 32}) {
    for (int D : {1, 4, 8, 24, 32}) Pairs.push_back({S, D});
  }
  return Pairs;
}

class NaturalSizeTest : public PlatformTest, public ::testing::WithParamInterface<TFormatPair> {};

TEST_P(NaturalSizeTest, CopiesEveryPixelsColourExactly) {
  const TFormatPair P = GetParam();
  const std::vector<std::uint32_t> Colors = SharedColors(P.Src, P.Dest);
  constexpr int W = 37, H = 5;  // an odd width leaves partly used bytes at 1 and 4 bits
  TBitmap Src, Dest;
  pixels::Make(Src, P.Src, W, H);
  pixels::Make(Dest, P.Dest, W + 4, H + 2);
  std::mt19937 Rng(7);
  for (int Y = 0; Y < H; ++Y) {
    for (int X = 0; X < W; ++X) Paint(Src, X, Y, Colors[Rng() % Colors.size()]);
  }
  for (int Mode : {COLORONCOLOR, HALFTONE}) {
    SetStretchBltMode(Dest.Canvas()->Handle(), Mode);
    ASSERT_TRUE(StretchBlt(Dest.Canvas()->Handle(), 2, 1, W, H, Src.Canvas()->Handle(), 0, 0, W,
                           H, SRCCOPY));
    for (int Y = 0; Y < H; ++Y) {
      for (int X = 0; X < W; ++X) {
        ASSERT_EQ(pixels::ColorAt(Dest, X + 2, Y + 1), pixels::ColorAt(Src, X, Y))
            << "mode " << Mode << " at " << X << "," << Y;
      }
    }
    EXPECT_EQ(pixels::Get(Dest, 1, 1), 0u) << "nothing left of the rectangle";
    EXPECT_EQ(pixels::Get(Dest, W + 2, 1), 0u) << "nothing right of the rectangle";
  }
}

INSTANTIATE_TEST_SUITE_P(AllFormats, NaturalSizeTest, ::testing::ValuesIn(AllPairs()), PairName);

// 8-bit surfaces sharing one table, so pixel values can be compared directly.
struct TStrip {
  TBitmap Src, Dest;
  TStrip(std::vector<std::uint8_t> Row, int DestW, int Rows = 1) {
    pixels::Make(Src, 8, static_cast<int>(Row.size()), Rows);
    for (int Y = 0; Y < Rows; ++Y) {
      for (std::size_t X = 0; X < Row.size(); ++X) {
        pixels::Set(Src, static_cast<int>(X), Y, Row[X] + static_cast<std::uint32_t>(Y) * 100u);
      }
    }
    pixels::Make(Dest, 8, DestW, Rows);
  }
  HDC D() { return Dest.Canvas()->Handle(); }
  HDC S() { return Src.Canvas()->Handle(); }
  std::vector<std::uint32_t> Row(int Y = 0) {
    std::vector<std::uint32_t> V;
    for (int X = 0; X < Dest.GetWidth(); ++X) V.push_back(pixels::Get(Dest, X, Y));
    return V;
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
  TStrip S({1, 2, 3, 4, 5, 6}, 8);
  ASSERT_TRUE(StretchBlt(S.D(), C.X, 0, C.W, 1, S.S(), C.XSrc, 0, C.WSrc, 1, SRCCOPY));
  EXPECT_EQ(S.Row(), C.Expected);
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
  TStrip S({1}, 1, 4);  // source rows hold 1, 101, 201, 301 % 256
  S.Dest.SetHeight(6);
  auto Column = [&] {
    V Values;
    for (int Y = 0; Y < 6; ++Y) Values.push_back(pixels::Get(S.Dest, 0, Y));
    return Values;
  };
  // Height -4 from row 4 covers rows 1 .. 4, the first source row on row 4.
  ASSERT_TRUE(StretchBlt(S.D(), 0, 4, 1, -4, S.S(), 0, 0, 1, 4, SRCCOPY));
  EXPECT_EQ(Column(), (V{0, 301 % 256, 201, 101, 1, 0}));
  // Four rows onto six: row i takes source row i * 4 / 6.
  ASSERT_TRUE(StretchBlt(S.D(), 0, 0, 1, 6, S.S(), 0, 0, 1, 4, SRCCOPY));
  EXPECT_EQ(Column(), (V{1, 1, 101, 201, 201, 301 % 256}));
}

TEST_F(BlitTest, WindowOriginAndClipRectanglePlaceAndLimitTheBlit) {
  TStrip S({1, 2, 3, 4, 5, 6}, 8, 3);
  SetWindowOrgEx(S.D(), 10, 1, nullptr);   // logical (10, 1) is pixel (0, 0)
  IntersectClipRect(S.D(), 12, 0, 15, 2);  // pixels 2 .. 4 of row 0 only
  ASSERT_TRUE(StretchBlt(S.D(), 10, 0, 6, 3, S.S(), 0, 0, 6, 3, SRCCOPY));
  EXPECT_EQ(S.Row(0), (V{0, 0, 103, 104, 105, 0, 0, 0})) << "logical row 0 is above the surface";
  EXPECT_EQ(S.Row(1), (V{0, 0, 0, 0, 0, 0, 0, 0}));

  SetStretchBltMode(S.D(), COLORONCOLOR);
  ResetClipRect(S.D());
  SetWindowOrgEx(S.S(), -1, 0, nullptr);  // source coordinates are logical too
  ASSERT_TRUE(StretchBlt(S.D(), 10, 2, 6, 1, S.S(), 0, 0, 6, 1, SRCCOPY));
  EXPECT_EQ(S.Row(1), (V{2, 3, 4, 5, 6, 0, 0, 0})) << "source column 6 lies outside the source";
}

TEST_F(BlitTest, BlitsOutsideTheSurfaceWriteNothing) {
  TStrip S({1, 2, 3, 4, 5, 6}, 8);
  const std::uint64_t Before = GdiStats().PixelsWritten;
  SetWindowOrgEx(S.D(), 0, 500, nullptr);
  EXPECT_TRUE(StretchBlt(S.D(), 0, 0, 6, 1, S.S(), 0, 0, 6, 1, SRCCOPY));
  SetWindowOrgEx(S.D(), 0, 0, nullptr);
  EXPECT_TRUE(StretchBlt(S.D(), 0, 0, 0, 1, S.S(), 0, 0, 6, 1, SRCCOPY));
  EXPECT_EQ(GdiStats().PixelsWritten, Before);
  EXPECT_EQ(S.Row(), (V(8, 0)));
  EXPECT_TRUE(StretchBlt(S.D(), 0, 0, 6, 1, S.S(), 0, 0, 6, 1, SRCCOPY));
  EXPECT_EQ(GdiStats().PixelsWritten, Before + 6);
}

TEST_F(BlitTest, HalftoneAveragesTheSourceAreaWhenShrinking) {
  TBitmap Src, Dest;
  pixels::Make(Src, 24, 4, 2);
  pixels::Make(Dest, 24, 2, 1);
  const std::uint32_t Left[4] = {0x000000, 0x0A0A0A, 0x141414, 0x1E1E20};
  pixels::Set(Src, 0, 0, Left[0]);
  pixels::Set(Src, 1, 0, Left[1]);
  pixels::Set(Src, 0, 1, Left[2]);
  pixels::Set(Src, 1, 1, Left[3]);
  for (int X = 2; X < 4; ++X) {
    for (int Y = 0; Y < 2; ++Y) pixels::Set(Src, X, Y, 0xFF0000);
  }
  SetStretchBltMode(Dest.Canvas()->Handle(), HALFTONE);
  ASSERT_TRUE(
      StretchBlt(Dest.Canvas()->Handle(), 0, 0, 2, 1, Src.Canvas()->Handle(), 0, 0, 4, 2, SRCCOPY));
  EXPECT_EQ(pixels::Get(Dest, 0, 0), 0x0F0F10u) << "(0+10+20+30)/4; blue (0+10+20+32)/4 rounds up";
  EXPECT_EQ(pixels::Get(Dest, 1, 0), 0xFF0000u);

  SetStretchBltMode(Dest.Canvas()->Handle(), COLORONCOLOR);
  ASSERT_TRUE(
      StretchBlt(Dest.Canvas()->Handle(), 0, 0, 2, 1, Src.Canvas()->Handle(), 0, 0, 4, 2, SRCCOPY));
  EXPECT_EQ(pixels::Get(Dest, 0, 0), 0x000000u) << "point sampling takes the first pixel";
}

TEST_F(BlitTest, HalftoneOntoAPaletteMatchesTheAverage) {
  TBitmap Src, Dest;
  pixels::Make(Src, 24, 2, 1);
  pixels::Make(Dest, 8, 1, 1);
  Dest.SetPalette(pixels::PaletteOf({0x000000, 0x7F7F7F, 0xFFFFFF}));
  pixels::Set(Src, 0, 0, 0x000000);
  pixels::Set(Src, 1, 0, 0xFFFFFF);
  SetStretchBltMode(Dest.Canvas()->Handle(), HALFTONE);
  ASSERT_TRUE(
      StretchBlt(Dest.Canvas()->Handle(), 0, 0, 1, 1, Src.Canvas()->Handle(), 0, 0, 2, 1, SRCCOPY));
  EXPECT_EQ(pixels::Get(Dest, 0, 0), 1u);
}

TEST_F(BlitTest, HalftoneBetweenPalettesAveragesTheSourceColours) {
  TBitmap Src, Dest;
  pixels::Make(Src, 8, 2, 1);
  pixels::Make(Dest, 4, 1, 1);
  pixels::Set(Src, 0, 0, 0);   // black
  pixels::Set(Src, 1, 0, 15);  // white
  SetStretchBltMode(Dest.Canvas()->Handle(), HALFTONE);
  ASSERT_TRUE(
      StretchBlt(Dest.Canvas()->Handle(), 0, 0, 1, 1, Src.Canvas()->Handle(), 0, 0, 2, 1, SRCCOPY));
  EXPECT_EQ(pixels::Get(Dest, 0, 0), 8u) << "(128,128,128) is nearest to the grey entry";
}

TEST_F(BlitTest, NearestColourTakesTheLowestIndexOnATie) {
  TBitmap Src, Dest;
  pixels::Make(Src, 24, 4, 1);
  pixels::Make(Dest, 8, 4, 1);
  // (10,0,0) is 100 away from both entry 1 and entry 2; (64,64,64) appears twice.
  Dest.SetPalette(pixels::PaletteOf({0x404040, 0x140000, 0x000000, 0x404040}));
  pixels::Set(Src, 0, 0, Rgb(10, 0, 0));
  pixels::Set(Src, 1, 0, Rgb(64, 64, 64));
  pixels::Set(Src, 2, 0, Rgb(1, 0, 0));
  pixels::Set(Src, 3, 0, Rgb(100, 0, 0));
  ASSERT_TRUE(
      StretchBlt(Dest.Canvas()->Handle(), 0, 0, 4, 1, Src.Canvas()->Handle(), 0, 0, 4, 1, SRCCOPY));
  EXPECT_EQ(pixels::Get(Dest, 0, 0), 1u);
  EXPECT_EQ(pixels::Get(Dest, 1, 0), 0u);
  EXPECT_EQ(pixels::Get(Dest, 2, 0), 2u);
  EXPECT_EQ(pixels::Get(Dest, 3, 0), 1u);
}

TEST_F(BlitTest, MemoisedNearestColourStaysExactForManyColours) {
  constexpr int W = 4096;
  TBitmap Src, Dest;
  pixels::Make(Src, 24, W, 2);
  pixels::Make(Dest, 8, W, 2);
  std::mt19937 Rng(3);
  for (int Y = 0; Y < 2; ++Y) {
    for (int X = 0; X < W; ++X) pixels::Set(Src, X, Y, Rng() & 0xFFFFFF);
  }
  ASSERT_TRUE(StretchBlt(Dest.Canvas()->Handle(), 0, 0, W, 2, Src.Canvas()->Handle(), 0, 0, W, 2,
                         SRCCOPY));
  for (int Y = 0; Y < 2; ++Y) {
    for (int X = 0; X < W; ++X) {
      const std::uint32_t C = pixels::Get(Src, X, Y);
      int Best = 0, BestD = 1 << 30;
      for (int I = 0; I < 256; ++I) {
        const std::uint32_t E = pixels::TableColor(Dest, I);
        const int Dr = static_cast<int>(E >> 16) - static_cast<int>(C >> 16);
        const int Dg = static_cast<int>((E >> 8) & 0xFF) - static_cast<int>((C >> 8) & 0xFF);
        const int Db = static_cast<int>(E & 0xFF) - static_cast<int>(C & 0xFF);
        const int D = Dr * Dr + Dg * Dg + Db * Db;
        if (D < BestD) BestD = D, Best = I;
      }
      ASSERT_EQ(pixels::Get(Dest, X, Y), static_cast<std::uint32_t>(Best)) << X << "," << Y;
    }
  }
}

TEST_F(BlitTest, PaletteToPaletteKeepsIndicesWhenTheTablesAreEqual) {
  TBitmap Src, Dest;
  pixels::Make(Src, 8, 2, 1);
  pixels::Make(Dest, 8, 2, 1);
  // The two destination indices after a blit of the two source pixels.
  auto Blit = [&] {
    EXPECT_TRUE(StretchBlt(Dest.Canvas()->Handle(), 0, 0, 2, 1, Src.Canvas()->Handle(), 0, 0, 2, 1,
                           SRCCOPY));
    return std::pair{pixels::Get(Dest, 0, 0), pixels::Get(Dest, 1, 0)};
  };
  // Entry 16 of the halftone palette is black, like entry 0: the index itself is kept.
  pixels::Set(Src, 0, 0, 16);
  pixels::Set(Src, 1, 0, 255);
  EXPECT_EQ(Blit(), std::pair(16u, 255u));
  Dest.SetPalette(pixels::PaletteOf({0xFFFFFF, 0x000000}));
  EXPECT_EQ(Blit().first, 1u) << "through the colours otherwise";
  // Tables that differ in blue alone are not the same table either.
  Src.SetPalette(pixels::PaletteOf({0x000000, 0x0000FF}));
  Dest.SetPalette(pixels::PaletteOf({0x0000FF, 0x000000}));
  pixels::Set(Src, 0, 0, 0);
  pixels::Set(Src, 1, 0, 1);
  EXPECT_EQ(Blit(), std::pair(1u, 0u));
}

TEST_F(BlitTest, PackedPixelsAreMostSignificantFirst) {
  TBitmap Mono, Vga, Rgb;
  pixels::Make(Mono, 1, 9, 1);
  pixels::Make(Vga, 4, 3, 1);
  pixels::Make(Rgb, 24, 9, 1);
  static_cast<std::uint8_t*>(Mono.ScanLine(0))[0] = 0x81;  // pixels 0 and 7 white
  static_cast<std::uint8_t*>(Mono.ScanLine(0))[1] = 0x80;  // pixel 8 white
  ASSERT_TRUE(
      StretchBlt(Rgb.Canvas()->Handle(), 0, 0, 9, 1, Mono.Canvas()->Handle(), 0, 0, 9, 1, SRCCOPY));
  V Row;
  for (int X = 0; X < 9; ++X) Row.push_back(pixels::Get(Rgb, X, 0) ? 1 : 0);
  EXPECT_EQ(Row, (V{1, 0, 0, 0, 0, 0, 0, 1, 1}));

  pixels::Set(Rgb, 0, 0, 0x800000);  // dark red, entry 1
  pixels::Set(Rgb, 1, 0, 0xFFFFFF);  // white, entry 15
  pixels::Set(Rgb, 2, 0, 0x0000FF);  // blue, entry 12
  ASSERT_TRUE(
      StretchBlt(Vga.Canvas()->Handle(), 0, 0, 3, 1, Rgb.Canvas()->Handle(), 0, 0, 3, 1, SRCCOPY));
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
  TBitmap Src, Dest;
  pixels::Make(Src, 24, 1, 1);
  pixels::Make(Dest, 24, 2, 1);
  pixels::Set(Src, 0, 0, 0x0F0F0F);
  pixels::Set(Dest, 0, 0, 0x3C3C3C);
  pixels::Set(Dest, 1, 0, 0x3C3C3C);
  ASSERT_TRUE(
      StretchBlt(Dest.Canvas()->Handle(), 0, 0, 1, 1, Src.Canvas()->Handle(), 0, 0, 1, 1, C.Rop));
  EXPECT_EQ(pixels::Get(Dest, 0, 0), C.Expected);
  EXPECT_EQ(pixels::Get(Dest, 1, 0), 0x3C3C3Cu);
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
  TBitmap Dest;
  pixels::Make(Dest, 24, 1, 1);
  EXPECT_FALSE(StretchBlt(Dest.Canvas()->Handle(), 0, 0, 1, 1, Dest.Canvas()->Handle(), 0, 0, 1, 1,
                          0x00BB0226));
  EXPECT_FALSE(StretchBlt(Dest.Canvas()->Handle(), 0, 0, 1, 1, nullptr, 0, 0, 1, 1, SRCCOPY));
  EXPECT_TRUE(StretchBlt(Dest.Canvas()->Handle(), 0, 0, 1, 1, nullptr, 0, 0, 0, 0, WHITENESS));
  EXPECT_EQ(pixels::Get(Dest, 0, 0), 0xFFFFFFu);
}

TEST_F(BlitTest, BlitWithinOneBitmapReadsTheOriginalPixels) {
  TStrip S({1, 2, 3, 4, 5, 6}, 1);
  ASSERT_TRUE(StretchBlt(S.S(), 1, 0, 5, 1, S.S(), 0, 0, 5, 1, SRCCOPY));
  V Row;
  for (int X = 0; X < 6; ++X) Row.push_back(pixels::Get(S.Src, X, 0));
  EXPECT_EQ(Row, (V{1, 1, 2, 3, 4, 5}));
}

// ---- StretchDIBits ---------------------------------------------------------------------------

struct TPackedDib {
  BITMAPINFOHEADER Header{};
  RGBQUAD Colors[256]{};
  std::vector<std::uint8_t> Bits;
};

// A 4 x Rows 8-bit image whose row r (from the top) holds the value r + 1 in every pixel.
TPackedDib GreyRows(int Rows, bool BottomUp) {
  TPackedDib D;
  D.Header.biSize = 40;
  D.Header.biWidth = 4;
  D.Header.biHeight = BottomUp ? Rows : -Rows;
  D.Header.biPlanes = 1;
  D.Header.biBitCount = 8;
  for (int I = 0; I < 256; ++I) {
    D.Colors[I] = RGBQUAD{static_cast<std::uint8_t>(I), static_cast<std::uint8_t>(I),
                          static_cast<std::uint8_t>(I), 0};
  }
  for (int M = 0; M < Rows; ++M) {
    const int TopRow = BottomUp ? Rows - 1 - M : M;
    D.Bits.insert(D.Bits.end(), 4, static_cast<std::uint8_t>(TopRow + 1));
  }
  return D;
}

TEST_F(BlitTest, DibSourceOriginAboveTheBottomSelectsTheTopRowsOfABottomUpImage) {
  TPackedDib Dib = GreyRows(6, true);
  TBitmap Dest;
  pixels::Make(Dest, 24, 4, 4);
  // A tile of 6 rows of which the top 2 are filled: origin (0, 6 - 2), height 2.
  EXPECT_EQ(StretchDIBits(Dest.Canvas()->Handle(), 0, 1, 4, 2, 0, 4, 4, 2, Dib.Bits.data(),
                          &Dib.Header, DIB_RGB_COLORS, SRCCOPY),
            2);
  EXPECT_EQ(pixels::Get(Dest, 0, 0), 0u);
  EXPECT_EQ(pixels::Get(Dest, 0, 1), 0x010101u) << "top row of the image first";
  EXPECT_EQ(pixels::Get(Dest, 3, 2), 0x020202u);
  EXPECT_EQ(pixels::Get(Dest, 0, 3), 0u);
}

TEST_F(BlitTest, DibTopDownImagesCountSourceRowsFromTheTop) {
  TPackedDib Dib = GreyRows(6, false);
  TBitmap Dest;
  pixels::Make(Dest, 24, 4, 2);
  EXPECT_EQ(StretchDIBits(Dest.Canvas()->Handle(), 0, 0, 4, 2, 0, 1, 4, 2, Dib.Bits.data(),
                          &Dib.Header, DIB_RGB_COLORS, SRCCOPY),
            2);
  EXPECT_EQ(pixels::Get(Dest, 0, 0), 0x020202u);
  EXPECT_EQ(pixels::Get(Dest, 0, 1), 0x030303u);
}

TEST_F(BlitTest, DibMirroredAndEnlargedDestination) {
  TPackedDib Dib = GreyRows(2, true);
  TBitmap Dest;
  pixels::Make(Dest, 8, 8, 4);
  Dest.SetPalette(pixels::PaletteOf({0x000000, 0x010101, 0x020202}));
  // Twice the size, upside down above row 3.
  StretchDIBits(Dest.Canvas()->Handle(), 0, 3, 8, -4, 0, 0, 4, 2, Dib.Bits.data(), &Dib.Header,
                DIB_RGB_COLORS, SRCCOPY);
  V Column;
  for (int Y = 0; Y < 4; ++Y) Column.push_back(pixels::Get(Dest, 0, Y));
  EXPECT_EQ(Column, (V{2, 2, 1, 1}));
}

TEST_F(BlitTest, DibColourCountDefaultsToTheFullTable) {
  TPackedDib Dib = GreyRows(1, true);
  Dib.Header.biBitCount = 4;
  Dib.Bits = {0x0F, 0x00, 0x00, 0x00};
  Dib.Colors[15] = RGBQUAD{1, 2, 3, 0};
  TBitmap Dest;
  pixels::Make(Dest, 24, 2, 1);
  StretchDIBits(Dest.Canvas()->Handle(), 0, 0, 2, 1, 0, 0, 2, 1, Dib.Bits.data(), &Dib.Header,
                DIB_RGB_COLORS, SRCCOPY);
  EXPECT_EQ(pixels::Get(Dest, 1, 0), Rgb(3, 2, 1));
  Dib.Header.biCompression = BI_RLE4;
  EXPECT_EQ(StretchDIBits(Dest.Canvas()->Handle(), 0, 0, 2, 1, 0, 0, 2, 1, Dib.Bits.data(),
                          &Dib.Header, DIB_RGB_COLORS, SRCCOPY),
            0);
}

TEST_F(BlitTest, FaultInjectorFailsTheNthBlitBeforeDrawing) {
  TStrip S({1, 2}, 2);
  SetBlitFailCountdown(2);
  EXPECT_TRUE(StretchBlt(S.D(), 0, 0, 1, 1, S.S(), 0, 0, 1, 1, SRCCOPY));
  EXPECT_THROW(StretchBlt(S.D(), 1, 0, 1, 1, S.S(), 1, 0, 1, 1, SRCCOPY), EOutOfMemory);
  EXPECT_EQ(S.Row(), (V{1, 0}));
}

}  // namespace
