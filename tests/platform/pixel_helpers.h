#pragma once

// Pixel-level helpers for the platform tests: raw pixel access by row and column, colours
// as 0x00RRGGBB, and a fixture that checks that no palette or pixel block outlives a test.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "platform/graphics.h"
#include "support/leak_check.h"

namespace pixels {

inline std::uint32_t Rgb(std::uint8_t R, std::uint8_t G, std::uint8_t B) {
  return static_cast<std::uint32_t>(R) << 16 | static_cast<std::uint32_t>(G) << 8 | B;
}

inline TPixelFormat FormatOfBits(int Bits) {
  switch (Bits) {
    case 1:
      return pf1bit;
    case 4:
      return pf4bit;
    case 8:
      return pf8bit;
    case 32:
      return pf32bit;
    default:
      return pf24bit;
  }
}

// A new bitmap of the given depth and size (pixels zero).
inline void Make(TBitmap& B, int Bits, int W, int H) {
  B.SetPixelFormat(FormatOfBits(Bits));
  B.SetWidth(W);
  B.SetHeight(H);
}

// The raw pixel value: the colour index at 1, 4 and 8 bits, 0x00RRGGBB above.
inline std::uint32_t Get(TBitmap& B, int X, int Y) {
  const auto* Row = static_cast<const std::uint8_t*>(B.ScanLine(Y));
  switch (B.BitsPerPixel()) {
    case 1:
      return (Row[X / 8] >> (7 - X % 8)) & 1;
    case 4:
      return (Row[X / 2] >> (X % 2 ? 0 : 4)) & 0xF;
    case 8:
      return Row[X];
    default: {
      const std::uint8_t* P = Row + (B.BitsPerPixel() / 8) * X;
      return Rgb(P[2], P[1], P[0]);
    }
  }
}

inline void Set(TBitmap& B, int X, int Y, std::uint32_t V) {
  auto* Row = static_cast<std::uint8_t*>(B.ScanLine(Y));
  switch (B.BitsPerPixel()) {
    case 1: {
      const auto Mask = static_cast<std::uint8_t>(0x80 >> (X % 8));
      Row[X / 8] = static_cast<std::uint8_t>(V ? Row[X / 8] | Mask : Row[X / 8] & ~Mask);
      break;
    }
    case 4: {
      std::uint8_t& Byte = Row[X / 2];
      Byte = X % 2 ? static_cast<std::uint8_t>((Byte & 0xF0) | V)
                   : static_cast<std::uint8_t>((Byte & 0x0F) | V << 4);
      break;
    }
    case 8:
      Row[X] = static_cast<std::uint8_t>(V);
      break;
    default: {
      std::uint8_t* P = Row + (B.BitsPerPixel() / 8) * X;
      P[0] = static_cast<std::uint8_t>(V);
      P[1] = static_cast<std::uint8_t>(V >> 8);
      P[2] = static_cast<std::uint8_t>(V >> 16);
    }
  }
}

// The colour a pixel shows: its table entry at palette depths.
inline std::uint32_t ColorAt(TBitmap& B, int X, int Y) {
  const std::uint32_t V = Get(B, X, Y);
  if (B.BitsPerPixel() > 8) return V;
  const RGBQUAD& Q = B.ColorTable().at(V);
  return Rgb(Q.rgbRed, Q.rgbGreen, Q.rgbBlue);
}

inline std::uint32_t TableColor(const TBitmap& B, int Index) {
  const RGBQUAD& Q = B.ColorTable().at(static_cast<std::size_t>(Index));
  return Rgb(Q.rgbRed, Q.rgbGreen, Q.rgbBlue);
}

// A palette handle with the given 0x00RRGGBB colours; the caller owns it.
inline HPALETTE PaletteOf(std::initializer_list<std::uint32_t> Colors) {
  LOGPALETTE Lp{};
  Lp.palVersion = 0x300;
  for (std::uint32_t C : Colors) {
    Lp.palPalEntry[Lp.palNumEntries++] =
        PALETTEENTRY{static_cast<std::uint8_t>(C >> 16), static_cast<std::uint8_t>(C >> 8),
                     static_cast<std::uint8_t>(C), 0};
  }
  return CreatePalette(&Lp);
}

}  // namespace pixels

using PlatformTest = testsupport::GdiLeakCheckedTest;
