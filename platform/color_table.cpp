#include "platform/color_table.h"

#include <algorithm>

namespace {

constexpr RGBQUAD Q(std::uint8_t R, std::uint8_t G, std::uint8_t B) {
  return RGBQUAD{B, G, R, 0};
}

// The 16-colour system palette in its usual order: the eight dark colours, then the bright ones.
constexpr RGBQUAD kSystem16[16] = {
    Q(0x00, 0x00, 0x00), Q(0x80, 0x00, 0x00), Q(0x00, 0x80, 0x00), Q(0x80, 0x80, 0x00),
    Q(0x00, 0x00, 0x80), Q(0x80, 0x00, 0x80), Q(0x00, 0x80, 0x80), Q(0xC0, 0xC0, 0xC0),
    Q(0x80, 0x80, 0x80), Q(0xFF, 0x00, 0x00), Q(0x00, 0xFF, 0x00), Q(0xFF, 0xFF, 0x00),
    Q(0x00, 0x00, 0xFF), Q(0xFF, 0x00, 0xFF), Q(0x00, 0xFF, 0xFF), Q(0xFF, 0xFF, 0xFF)};

}  // namespace

std::vector<RGBQUAD> DefaultColorTable(int BitsPerPixel) {
  switch (BitsPerPixel) {
    case 1:
      return {Q(0, 0, 0), Q(0xFF, 0xFF, 0xFF)};
    case 4:
      return std::vector<RGBQUAD>(kSystem16, kSystem16 + 16);
    case 8: {
      std::vector<RGBQUAD> table(kSystem16, kSystem16 + 16);
      table.reserve(256);
      for (int r = 0; r < 6; ++r) {
        for (int g = 0; g < 6; ++g) {
          for (int b = 0; b < 6; ++b) {
            table.push_back(Q(static_cast<std::uint8_t>(r * 51), static_cast<std::uint8_t>(g * 51),
                              static_cast<std::uint8_t>(b * 51)));
          }
        }
      }
      for (int i = 1; i <= 24; ++i) {
        const auto v = static_cast<std::uint8_t>(i * 10);
        table.push_back(Q(v, v, v));
      }
      return table;
    }
    default:
      return {};
  }
}

std::uint8_t NearestColorIndex(const RGBQUAD* Table, int Count, std::uint8_t R, std::uint8_t G,
                               std::uint8_t B) {
  int best = 0;
  int best_distance = 1 << 30;
  for (int i = 0; i < Count; ++i) {
    const int dr = Table[i].rgbRed - R;
    const int dg = Table[i].rgbGreen - G;
    const int db = Table[i].rgbBlue - B;
    const int distance = dr * dr + dg * dg + db * db;
    if (distance < best_distance) {
      best_distance = distance;
      best = i;
      if (distance == 0) break;
    }
  }
  return static_cast<std::uint8_t>(best);
}

TNearestColorCache::TNearestColorCache(const RGBQUAD* Table, int Count)
    : FTable(Table), FCount(Count), FKeys(kMask + 1, kEmpty), FIndex(kMask + 1, 0) {}

std::uint8_t TNearestColorCache::Probe(std::uint32_t Rgb) {
  std::uint32_t slot = Home(Rgb);
  while (FKeys[slot] != kEmpty) {
    if (FKeys[slot] == Rgb) return FIndex[slot];
    slot = (slot + 1) & kMask;
  }
  const std::uint8_t index =
      NearestColorIndex(FTable, FCount, static_cast<std::uint8_t>(Rgb >> 16),
                        static_cast<std::uint8_t>(Rgb >> 8), static_cast<std::uint8_t>(Rgb));
  if (FUsed >= (kMask + 1) / 2) {
    // Half full: start afresh so that probe sequences stay short.
    std::fill(FKeys.begin(), FKeys.end(), kEmpty);
    FUsed = 0;
    slot = Home(Rgb);
  }
  FKeys[slot] = Rgb;
  FIndex[slot] = index;
  ++FUsed;
  return index;
}
