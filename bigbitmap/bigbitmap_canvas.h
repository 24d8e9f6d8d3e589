#pragma once

// The drawing surface of a whole TBigBitmap. No single platform surface covers the image, so
// every operation pushes the attributes to each band's canvas, shifts band i's logical origin
// to (0, i * h0) so that whole-image coordinates land on the band's own rows, runs the
// operation on every band (each band's surface clips what falls outside it) and puts every
// origin back to (0, 0).

#include <cstdint>

#include "platform/graphics.h"

class TBigBitmap;

class TBigBitmapCanvas {
 public:
  // Owner is the large bitmap whose bands this canvas draws on; it is not owned.
  explicit TBigBitmapCanvas(TBigBitmap* Owner);
  ~TBigBitmapCanvas();
  TBigBitmapCanvas(const TBigBitmapCanvas&) = delete;
  TBigBitmapCanvas& operator=(const TBigBitmapCanvas&) = delete;

  // Draws Graphic with its top-left corner at whole-image point (X, Y) onto every band, then
  // marks the owner modified (also when there are no bands or Graphic is absent or empty).
  // When a band's drawing raises, the error passes on unchanged, the remaining bands are not
  // drawn and the owner is not marked modified.
  void Draw(std::int32_t X, std::int32_t Y, TGraphic* Graphic);
  // Sets every band canvas's pen position to whole-image point (X, Y).
  void MoveTo(std::int32_t X, std::int32_t Y);

  // Copies font, brush, pen, copy mode and text flags to every band canvas and sets band i's
  // logical origin to (0, i * h0), h0 being the height of band 0.
  void SetupBands();
  // Sets every band's logical origin back to (0, 0).
  void ResetOrigins();

  // The attributes given to every band canvas.
  const TBrush& Brush() const { return FBrush; }
  const TFont& Font() const { return FFont; }
  const TPen& Pen() const { return FPen; }
  std::int32_t TextFlags() const { return FTextFlags; }
  std::uint32_t CopyMode() const { return FCopyMode; }

  TBigBitmap* Bitmap() const { return FBitmap; }

 private:
  TBrush FBrush;
  TFont FFont;
  TPen FPen;
  std::int32_t FTextFlags = 0;
  std::uint32_t FCopyMode = SRCCOPY;
  TBigBitmap* FBitmap;
};
