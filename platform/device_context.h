#pragma once

// Internal to the platform layer: the drawing surface behind an HDC, and the helpers that the
// palette, bitmap, canvas and blit code share. Not for use outside platform/.

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/graphics.h"

// A drawing surface: the bitmap it draws on plus the state the surface functions keep.
struct TDeviceContext {
  explicit TDeviceContext(TBitmap* ABitmap);

  TBitmap* Bitmap;       // may be null: a surface without pixels
  TPoint Origin;         // window origin: logical (x, y) is device (x - Origin.X, y - Origin.Y)
  bool HasClip = false;  // whether Clip narrows the surface's extent
  TRect Clip;            // device coordinates
  int StretchMode = BLACKONWHITE;
  HPALETTE Palette = 0;  // selected palette; conversions use the bitmap's colour table
  TPoint BrushOrg;
  int BitsPixel;
  TColor BkColor = clWhite;
  TColor TextColor = clBlack;

  std::int32_t Width() const { return Bitmap != nullptr ? Bitmap->FWidth : 0; }
  std::int32_t Height() const { return Bitmap != nullptr ? Bitmap->FHeight : 0; }
  int Bits() const { return Bitmap != nullptr ? Bitmap->BitsPerPixel() : 24; }
  std::int32_t Stride() const { return Bitmap != nullptr ? Bitmap->RowStride() : 0; }
  // The bottom-up pixel block (null when the bitmap is empty).
  std::uint8_t* Block() const { return Bitmap != nullptr ? Bitmap->FBits : nullptr; }
  const std::vector<RGBQUAD>& Colors() const;
  // Device row y (0 = top) of the block.
  std::uint8_t* Row(std::int32_t Y) const {
    return Block() + static_cast<std::int64_t>(Height() - 1 - Y) * Stride();
  }
  // The writable device rectangle: the extent narrowed by the clip rectangle (never inverted).
  TRect DeviceClip() const;

  // The bytes the bitmap still owes, zeros or a recorded fill (TBitmap::FillPending). Whatever
  // reads pixels, or writes some of them while keeping others, has them written first.
  void WritePendingFill() const;
  // The whole surface is to hold Color: recorded, not yet written.
  void DeferFill(TColor Color) const;
  // Device rows Top .. Bottom - 1 are about to be overwritten in every pixel by a blit that does
  // not read them: the pending fill of those rows is dropped (and others written as needed).
  void Overwriting(std::int32_t Top, std::int32_t Bottom) const;
};

// Fills a device rectangle (already clipped) with a colour, as the surface's pixel format stores
// it (the nearest entry of its colour table on a palette surface).
void FillDevice(const TDeviceContext& DC, const TRect& R, TColor Color);

// ---- palettes --------------------------------------------------------------------------------

// The entries of a live palette; null for 0 or a handle that is not live.
const std::vector<PALETTEENTRY>* PaletteEntriesOf(HPALETTE Palette);
// A new palette handle with the given colours.
HPALETTE CreatePaletteFromColors(const std::vector<RGBQUAD>& Colors);

// ---- pixel blocks ----------------------------------------------------------------------------

// Pixel blocks, counted and subject to the fault injector; not cleared (see TBitmap::DeferZero).
std::uint8_t* AllocateBitmapBlock(std::int64_t Size);
void FreeBitmapBlock(std::uint8_t* Block);
struct TBitmapBlockDeleter {
  void operator()(std::uint8_t* Block) const { FreeBitmapBlock(Block); }
};
using TBitmapBlockPtr = std::unique_ptr<std::uint8_t[], TBitmapBlockDeleter>;

// Row stride of a DIB row of Width pixels: padded to a multiple of 4 bytes.
inline std::int64_t DibRowStride(std::int64_t Width, int Bits) {
  return ((Width * Bits + 31) / 32) * 4;
}
