#pragma once

// Helpers shared by the large bitmap tests.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "bigbitmap/bigbitmap.h"
#include "platform/graphics.h"
#include "support/leak_check.h"

namespace bigbitmaptest {

using LeakCheckedTest = testsupport::GdiLeakCheckedTest;

// Counts OnChange notifications of a picture.
struct TChangeCounter {
  explicit TChangeCounter(TGraphic& G) {
    G.OnChange = [this](TGraphic*) { ++Count; };
  }
  int Count = 0;
};

inline TColor RGB(std::uint8_t R, std::uint8_t G, std::uint8_t B) {
  return static_cast<TColor>(R | (G << 8) | (B << 16));
}

// Pixel x of a 24-bit row as 0x00BBGGRR.
inline TColor Pixel24(const void* Row, std::int32_t X) {
  const auto* P = static_cast<const std::uint8_t*>(Row) + 3 * X;
  return RGB(P[2], P[1], P[0]);
}
inline void SetPixel24(void* Row, std::int32_t X, TColor C) {
  auto* P = static_cast<std::uint8_t*>(Row) + 3 * X;
  P[0] = static_cast<std::uint8_t>(C >> 16);
  P[1] = static_cast<std::uint8_t>(C >> 8);
  P[2] = static_cast<std::uint8_t>(C);
}

// Fills a whole 24-bit row of a large bitmap with one colour.
inline void FillRow24(TBigBitmap& B, std::int32_t Y, TColor C) {
  void* Row = B.GetScanline(Y);
  for (std::int32_t X = 0; X < B.GetWidth(); ++X) SetPixel24(Row, X, C);
}

// A palette of n entries; entry i is colours[i] (0x00BBGGRR). The caller owns the handle.
template <typename ColourOf>
HPALETTE MakePalette(int N, ColourOf Colours) {
  LOGPALETTE Lp{};
  Lp.palVersion = 0x300;
  Lp.palNumEntries = static_cast<std::uint16_t>(N);
  for (int I = 0; I < N; ++I) {
    const TColor C = Colours(I);
    Lp.palPalEntry[I] =
        PALETTEENTRY{static_cast<std::uint8_t>(C), static_cast<std::uint8_t>(C >> 8),
                     static_cast<std::uint8_t>(C >> 16), 0};
  }
  return CreatePalette(&Lp);
}

// Colour table entry i of a bitmap as 0x00BBGGRR.
inline TColor TableColour(const TBitmap& B, std::size_t I) {
  const RGBQUAD Q = B.ColorTable().at(I);
  return RGB(Q.rgbRed, Q.rgbGreen, Q.rgbBlue);
}

}  // namespace bigbitmaptest
