#pragma once

// TBigBitmap: a device-independent picture of 1, 4, 8 or 24 bits per pixel and of any height,
// held as a stack of horizontal bands. Each band is a platform TBitmap of the full width whose
// pixel block never exceeds BigBitmapBandBudget bytes, so the platform is never asked for one
// block of the whole image. Towards its users it behaves as one image.
//
// Band geometry for width W, height H, B bits per pixel:
//   row stride S = ((B * W + 31) div 32) * 4, which must stay below BigBitmapMaxStride;
//   band height R = min(BigBitmapBandBudget div S, H); band count N = (H + R - 1) div R.
// Bands 0 .. N-2 hold R rows each, the last one the rest; band i holds image rows i * R on.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bigbitmap/bigbitmap_canvas.h"
#include "platform/exceptions.h"
#include "platform/graphics.h"

class TStream;

class EBigBitmapError : public Exception {
 public:
  using Exception::Exception;
};

// Raises EBigBitmapError with the given message.
[[noreturn]] void BigBitmapError(const std::string& Message);

enum TBBPixelFormat : std::uint8_t { bbpf1bit, bbpf4bit, bbpf8bit, bbpf24bit };

// The bands, top band first. Every element is owned by the array.
using TBitmapArray = std::vector<std::unique_ptr<TBitmap>>;

// Row strides must stay below this many bytes (0xFF00).
inline constexpr std::int64_t BigBitmapMaxStride = 65280;
// Pixel bytes one band may hold at most (0x800000).
inline constexpr std::int64_t BigBitmapBandBudget = 8388608;

// bbpf1bit .. bbpf24bit to pf1bit .. pf24bit; raises
// "BBPixelFormatToPixelFormat: Invalid Pixel Format" for any other value.
TPixelFormat BBPixelFormatToPixelFormat(TBBPixelFormat Value);
// The reverse; raises "PixelFormatToBBPixelFormat: Invalid Pixel Format" for formats other
// than pf1bit, pf4bit, pf8bit and pf24bit.
TBBPixelFormat PixelFormatToBBPixelFormat(TPixelFormat Value);

class TBigBitmap : public TGraphic {
 public:
  TBigBitmap();
  ~TBigBitmap() override;
  TBigBitmap(const TBigBitmap&) = delete;
  TBigBitmap& operator=(const TBigBitmap&) = delete;
  const char* ClassName() const override { return "TBigBitmap"; }

  bool GetEmpty() const override { return FWidth == 0 || FHeight == 0; }
  std::int32_t GetWidth() const override { return FWidth; }
  std::int32_t GetHeight() const override { return FHeight; }
  // The three setters rebuild every band through SetBitmaps, even for an unchanged value: the
  // image becomes white with the default colour table of its depth.
  void SetWidth(std::int32_t Value) override;
  void SetHeight(std::int32_t Value) override;
  TBBPixelFormat GetPixelFormat() const { return FPixelFormat; }
  void SetPixelFormat(TBBPixelFormat Value);

  // 0 draws band by band, 1 resampled in tiles; Draw rejects any other value.
  std::uint8_t GetDrawMode() const { return FDrawMode; }
  void SetDrawMode(std::uint8_t Value);

  // The palette of the first band, still owned by it; 0 when there are no bands.
  HPALETTE GetPalette() const override;
  // Gives every band its own copy of Value, then frees Value itself (also without bands):
  // the caller hands the handle over.
  void SetPalette(HPALETTE Value) override;

  TBigBitmapCanvas* Canvas() const { return FCanvas.get(); }

  // 1, 4, 8, 24; raises "TBigBitmap.GetPixelBits: Invalid Pixel Format" for other values.
  static int GetPixelBits(TBBPixelFormat Value);
  // ((Bits * Width + 31) div 32) * 4, computed without overflow.
  static std::int64_t RowStride(std::int32_t Width, int Bits);
  // Rows of every band but the last for a stride of Stride bytes and Height image rows
  // (Stride and Height positive).
  static std::int32_t BandRows(std::int64_t Stride, std::int32_t Height);

  // The first byte of image row Row (0 = top). Consecutive rows are adjacent only inside one
  // band, and there they run downwards in memory. Valid until the bands are rebuilt or freed.
  void* GetScanline(std::int32_t Row);

  // Rebuilds all bands for the new size and format: white, default colour table. Checks, in
  // this order: negative width, negative height, invalid format, too long rows. On failure
  // (also half-way through creating the bands) the object is left as it was.
  void SetBitmaps(std::int32_t AWidth, std::int32_t AHeight, TBBPixelFormat AFormat);
  // Frees all bands; touches no other field.
  void FreeBitmaps();

  const TBitmapArray& Bitmaps() const { return FBitmaps; }

  // From another TBigBitmap (independent copies of the bands, DrawMode included); from a
  // TBitmap through a BMP stream; from the clipboard; nullptr empties the image keeping its
  // pixel format (two change notifications). Anything else: the inherited behaviour.
  void Assign(TPersistent* Source) override;

  // BMP stream I/O.
  void LoadFromStream(TStream& Stream) override;
  void SaveToStream(TStream& Stream) override;
  // Packed device-independent bitmaps (CF_DIB) on the clipboard.
  void LoadFromClipboardFormat(std::uint16_t AFormat, THandle AData, HPALETTE APalette) override;
  void SaveToClipboardFormat(std::uint16_t& AFormat, THandle& AData, HPALETTE& APalette) override;

 protected:
  // To a TBitmap through a BMP stream; anything else: the inherited behaviour.
  void AssignTo(TPersistent* Dest) override;
  // Renders the whole image into Rect on ACanvas according to DrawMode.
  void Draw(TCanvas& ACanvas, const TRect& Rect) override;

 private:
  friend class TBigBitmapCanvas;

  // DrawMode 0: each band stretched into its share of Rect, one StretchDraw per band.
  void DrawBands(TCanvas& ACanvas, const TRect& Rect);
  // DrawMode 1: sampled into tiles of at most 1024 x 1024 destination pixels; tiles outside
  // ClipBox (the destination's clip box, read before anything was done to it) are skipped.
  void DrawResampled(TCanvas& ACanvas, const TRect& Rect, const TRect& ClipBox);

  // Replaces the bands by Bands (built aside beforehand) and stores size and format, then sets
  // PaletteModified and Modified. Cannot fail.
  void InstallBitmaps(TBitmapArray Bands, std::int32_t AWidth, std::int32_t AHeight,
                      TBBPixelFormat AFormat);
  // Sets PaletteModified, then Modified (one OnChange).
  void NotifyChanged();

  TBitmapArray FBitmaps;
  TBBPixelFormat FPixelFormat = bbpf8bit;
  std::int32_t FWidth = 0;
  std::int32_t FHeight = 0;
  std::unique_ptr<TBigBitmapCanvas> FCanvas;
  std::uint8_t FDrawMode = 0;
};
