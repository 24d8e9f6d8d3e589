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
struct ChangeCounter {
  explicit ChangeCounter(TGraphic& g) {
    g.OnChange = [this](TGraphic*) { ++count; };
  }
  int count = 0;
};

inline TColor RGB(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  return static_cast<TColor>(r | (g << 8) | (b << 16));
}

// Pixel x of a 24-bit row as 0x00BBGGRR.
inline TColor Pixel24(const void* row, std::int32_t x) {
  const auto* p = static_cast<const std::uint8_t*>(row) + 3 * x;
  return RGB(p[2], p[1], p[0]);
}
inline void SetPixel24(void* row, std::int32_t x, TColor c) {
  auto* p = static_cast<std::uint8_t*>(row) + 3 * x;
  p[0] = static_cast<std::uint8_t>(c >> 16);
  p[1] = static_cast<std::uint8_t>(c >> 8);
  p[2] = static_cast<std::uint8_t>(c);
}

// Fills a whole 24-bit row of a large bitmap with one colour.
inline void FillRow24(TBigBitmap& b, std::int32_t y, TColor c) {
  void* row = b.GetScanline(y);
  for (std::int32_t x = 0; x < b.GetWidth(); ++x) SetPixel24(row, x, c);
}

// A palette of n entries; entry i is colours[i] (0x00BBGGRR). The caller owns the handle.
template <typename ColourOf>
HPALETTE MakePalette(int n, ColourOf colours) {
  LOGPALETTE lp{};
  lp.palVersion = 0x300;
  lp.palNumEntries = static_cast<std::uint16_t>(n);
  for (int i = 0; i < n; ++i) {
    const TColor c = colours(i);
    lp.palPalEntry[i] =
        PALETTEENTRY{static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8),
                     static_cast<std::uint8_t>(c >> 16), 0};
  }
  return CreatePalette(&lp);
}

// Colour table entry i of a bitmap as 0x00BBGGRR.
inline TColor TableColour(const TBitmap& b, std::size_t i) {
  const RGBQUAD q = b.ColorTable().at(i);
  return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
}

}  // namespace bigbitmaptest
