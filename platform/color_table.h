#pragma once

// Internal to the platform layer: default colour tables and exact nearest-colour matching.

#include <cstdint>
#include <vector>

#include "platform/graphics.h"

// The default colour table of a depth: black and white at 1 bit, the 16-colour system palette at
// 4 bits, the halftone palette at 8 bits, none above. The halftone palette is the 16 system
// colours (0-15), the 6 x 6 x 6 cube of the levels 0, 51, 102, 153, 204, 255 (16-231, index
// 16 + 36 r + 6 g + b) and a ramp of 24 greys 10, 20, ..., 240 (232-255).
std::vector<RGBQUAD> DefaultColorTable(int BitsPerPixel);

// The entry of Table nearest to (R, G, B) by squared RGB distance, the lowest index on a tie;
// 0 for an empty table.
std::uint8_t NearestColorIndex(const RGBQUAD* Table, int Count, std::uint8_t R, std::uint8_t G,
                               std::uint8_t B);

// NearestColorIndex memoised for one table: an open-addressing hash table keyed by the whole
// 24-bit colour, so every answer is exact; each distinct colour costs one scan of the table
// (the cache starts afresh when it is half full).
class TNearestColorCache {
 public:
  static constexpr int Bits = 12;
  static constexpr std::uint32_t Mask = (1u << Bits) - 1;
  static constexpr std::uint32_t Empty = 0xFFFFFFFFu;  // never a 24-bit colour

  TNearestColorCache(const RGBQUAD* Table, int Count);

  static std::uint32_t Home(std::uint32_t Rgb) { return (Rgb * 0x9E3779B1u) >> (32 - Bits); }

  // Colour as 0x00RRGGBB.
  std::uint8_t Lookup(std::uint32_t Rgb) {
    const std::uint32_t Slot = Home(Rgb);
    if (FKeys[Slot] == Rgb) return FIndex[Slot];
    return Probe(Rgb);
  }
  // For hot loops that test the home slot themselves and call Probe on a mismatch.
  const std::uint32_t* Keys() const { return FKeys.data(); }
  const std::uint8_t* Indices() const { return FIndex.data(); }
  std::uint8_t Probe(std::uint32_t Rgb);

 private:
  const RGBQUAD* FTable;
  int FCount;
  std::uint32_t FUsed = 0;
  std::vector<std::uint32_t> FKeys;
  std::vector<std::uint8_t> FIndex;
};
