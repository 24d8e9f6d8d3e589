#pragma once

// The picture behind a viewer window: the view as the map view draws it, on a 32-bit bitmap of
// the view's size. The bitmap's pixels already are a device-independent bitmap's (bottom-up rows
// padded to 4 bytes), so the window sends them to the screen as they are, with the info header
// kept here. Apart from the window's code because the picture framework and windows.h name the
// same things.

#include <array>
#include <cstdint>
#include <memory>

class TBitmap;
class TMapView;

class TViewerBacking {
 public:
  TViewerBacking();
  ~TViewerBacking();
  TViewerBacking(const TViewerBacking&) = delete;
  TViewerBacking& operator=(const TViewerBacking&) = delete;

  // Draws view area Left .. Right - 1, Top .. Bottom - 1 of View (Background, 0x00BBGGRR,
  // where the map does not reach), the bitmap first made the view's size. Nothing else of the
  // bitmap is written.
  void Paint(const TMapView& View, int Left, int Top, int Right, int Bottom,
             std::uint32_t Background);

  // The bitmap as a packed device-independent bitmap: a 40-byte info header (32 bits per pixel,
  // uncompressed, positive height) and the rows from the bottom one. Valid until the next Paint.
  const void* Info() const { return FInfo.data(); }
  const void* Bits() const { return FBits; }
  int Width() const;
  int Height() const;

 private:
  std::unique_ptr<TBitmap> FBitmap;
  alignas(4) std::array<std::uint8_t, 40> FInfo{};
  const void* FBits = nullptr;
};
