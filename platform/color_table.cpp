#include "platform/color_table.h"

#include <algorithm>

namespace {

constexpr RGBQUAD Q(std::uint8_t R, std::uint8_t G, std::uint8_t B) {
  return RGBQUAD{B, G, R, 0};
}

// The 16-colour system palette in its usual order: the eight dark colours, then the bright ones.
constexpr RGBQUAD System16[16] = {
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
      return std::vector<RGBQUAD>(System16, System16 + 16);
    case 8: {
      std::vector<RGBQUAD> Table(System16, System16 + 16);
      Table.reserve(256);
      for (int R = 0; R < 6; ++R) {
        for (int G = 0; G < 6; ++G) {
          for (int B = 0; B < 6; ++B) {
            Table.push_back(Q(static_cast<std::uint8_t>(R * 51), static_cast<std::uint8_t>(G * 51),
                              static_cast<std::uint8_t>(B * 51)));
          }
        }
      }
      for (int I = 1; I <= 24; ++I) {
        const auto V = static_cast<std::uint8_t>(I * 10);
        Table.push_back(Q(V, V, V));
      }
      return Table;
    }
    default:
      return {};
  }
}

std::uint8_t NearestColorIndex(const RGBQUAD* Table, int Count, std::uint8_t R, std::uint8_t G,
                               std::uint8_t B) {
  int Best = 0;
  int BestDistance = 1 << 30;
  for (int I = 0; I < Count; ++I) {
    const int Dr = Table[I].rgbRed - R;
    const int Dg = Table[I].rgbGreen - G;
    const int Db = Table[I].rgbBlue - B;
    const int Distance = Dr * Dr + Dg * Dg + Db * Db;
    if (Distance < BestDistance) {
      BestDistance = Distance;
      Best = I;
      if (Distance == 0) break;
    }
  }
  return static_cast<std::uint8_t>(Best);
}

TNearestColorCache::TNearestColorCache(const RGBQUAD* Table, int Count)
    : FTable(Table), FCount(Count), FKeys(Mask + 1, Empty), FIndex(Mask + 1, 0) {}

std::uint8_t TNearestColorCache::Probe(std::uint32_t Rgb) {
  std::uint32_t Slot = Home(Rgb);
  while (FKeys[Slot] != Empty) {
    if (FKeys[Slot] == Rgb) return FIndex[Slot];
    Slot = (Slot + 1) & Mask;
  }
  const std::uint8_t Index =
      NearestColorIndex(FTable, FCount, static_cast<std::uint8_t>(Rgb >> 16),
                        static_cast<std::uint8_t>(Rgb >> 8), static_cast<std::uint8_t>(Rgb));
  if (FUsed >= (Mask + 1) / 2) {
    // Half full: start afresh so that probe sequences stay short.
    std::fill(FKeys.begin(), FKeys.end(), Empty);
    FUsed = 0;
    Slot = Home(Rgb);
  }
  FKeys[Slot] = Rgb;
  FIndex[Slot] = Index;
  ++FUsed;
  return Index;
}
