// The averaged picture of a map below 1:1: each pixel format's pixels read in their order, and
// the last column of an odd-width map halved as every other one. The expected pixels follow the
// weights of map_pyramid.h, worked out by hand.
#include "app/core/map_pyramid.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "bigbitmap/bigbitmap.h"

namespace {

struct TPyramidRow {
  const char* What;
  TBBPixelFormat Format;
  std::int32_t Width;
  std::vector<std::vector<std::uint8_t>> Rows;  // each map row top-down, as the format packs it
  std::int32_t DestWidth;
  std::int32_t DestHeight;
  std::vector<std::uint32_t> Want;  // 0xRRGGBB, the destination's rows one after the other
};

// A 3 x 1 map drawn 2 x 1 is read at full size: destination pixel 0 is 2/3 of map pixel 0 and
// 1/3 of pixel 1, so that a white or red first pixel gives 0xAA there (and 0x55 if it were
// read second). A 3 x 2 map drawn 1 x 1 is read from its half-size level, 2/3 the first two
// columns and 1/3 the last one; that one is the average of its two rows, white over black, a
// halfway value that goes down (127) in the level's first row: 1/3 of it is 0x2A.
const TPyramidRow PyramidRows[] = {
    {"1-bit, left pixel in the top bit", bbpf1bit, 3, {{0x80}}, 2, 1, {0xAAAAAA, 0}},
    {"4-bit, left pixel in the high nibble", bbpf4bit, 3, {{0x10, 0x00}}, 2, 1, {0xAAAAAA, 0}},
    {"24-bit, blue green red", bbpf24bit, 3, {{0, 0, 0xFF, 0, 0, 0, 0, 0, 0}}, 2, 1, {0xAA0000, 0}},
    {"1-bit, odd last column", bbpf1bit, 3, {{0x20}, {0x00}}, 1, 1, {0x2A2A2A}},
    {"4-bit, odd last column", bbpf4bit, 3, {{0x00, 0x10}, {0x00, 0x00}}, 1, 1, {0x2A2A2A}},
    {"8-bit, odd last column", bbpf8bit, 3, {{0, 0, 1}, {0, 0, 0}}, 1, 1, {0x2A2A2A}},
    {"24-bit, odd last column",
     bbpf24bit,
     3,
     {{0, 0, 0, 0, 0, 0, 255, 255, 255}, {0, 0, 0, 0, 0, 0, 0, 0, 0}},
     1,
     1,
     {0x2A2A2A}},
};

// Palette formats: index 0 black, 1 white.
HPALETTE BlackAndWhite() {
  LOGPALETTE Lp{};
  Lp.palVersion = 0x300;
  Lp.palNumEntries = 2;
  Lp.palPalEntry[0] = PALETTEENTRY{0, 0, 0, 0};
  Lp.palPalEntry[1] = PALETTEENTRY{0xFF, 0xFF, 0xFF, 0};
  return CreatePalette(&Lp);
}

TEST(MapPyramid, DrawsEachPixelFormatAsTheAreaAverageOfItsPixels) {
  for (const TPyramidRow& Row : PyramidRows) {
    SCOPED_TRACE(Row.What);
    TBigBitmap Map;
    Map.SetPixelFormat(Row.Format);
    Map.SetWidth(Row.Width);
    Map.SetHeight(static_cast<std::int32_t>(Row.Rows.size()));
    if (Row.Format != bbpf24bit) Map.SetPalette(BlackAndWhite());
    for (std::size_t Y = 0; Y < Row.Rows.size(); ++Y) {
      std::memcpy(Map.GetScanline(static_cast<std::int32_t>(Y)), Row.Rows[Y].data(),
                  Row.Rows[Y].size());
    }
    const TMapPyramid Pyramid(Map);
    std::vector<std::uint8_t> Dest(static_cast<std::size_t>(Row.DestWidth * Row.DestHeight) * 3);
    Pyramid.Draw(Row.DestWidth, Row.DestHeight, Rect(0, 0, Row.DestWidth, Row.DestHeight),
                 Dest.data(), Row.DestWidth * 3, 3);
    std::vector<std::uint32_t> Got;
    for (std::size_t I = 0; I < Dest.size(); I += 3) {
      Got.push_back(std::uint32_t{Dest[I + 2]} << 16 | std::uint32_t{Dest[I + 1]} << 8 | Dest[I]);
    }
    EXPECT_EQ(Got, Row.Want);
  }
}

}  // namespace
