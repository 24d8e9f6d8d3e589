// TBigBitmap::Draw: the steps common to every DrawMode, and DrawMode 0 (band by band).

#include "bigbitmap/bigbitmap.h"

void TBigBitmap::Draw(TCanvas& ACanvas, const TRect& Rect) {
  if (GetEmpty()) return;
  // Read before anything is done to the destination; only the resampled mode uses it.
  TRect ClipBox;
  GetClipBox(ACanvas.Handle(), &ClipBox);
  // Own bands get the canvas attributes and origin (0, 0), so each is read from its first row.
  FCanvas->SetupBands();
  FCanvas->ResetOrigins();
  switch (FDrawMode) {
    case 0:
      DrawBands(ACanvas, Rect);
      break;
    case 1:
      DrawResampled(ACanvas, Rect, ClipBox);
      break;
    default:
      BigBitmapError("TBigBitmap.Draw: Unknown Mode");
  }
}

void TBigBitmap::DrawBands(TCanvas& ACanvas, const TRect& Rect) {
  // Signed extents: a negative one mirrors, which the platform blit does. 64 bits keep
  // y * H exact for any rectangle.
  const std::int64_t W = static_cast<std::int64_t>(Rect.Right) - Rect.Left;
  const std::int64_t H = static_cast<std::int64_t>(Rect.Bottom) - Rect.Top;
  if (W == 0 || H == 0) return;
  // Boundaries from cumulative row counts: each band's bottom is the next band's top, so the
  // bands neither overlap nor leave gaps. Division truncates toward zero.
  std::int64_t Y0 = 0;
  for (const auto& Band : FBitmaps) {
    const std::int64_t Y1 = Y0 + Band->GetHeight();
    const auto Top = static_cast<std::int32_t>(Rect.Top + Y0 * H / FHeight);
    const auto Bottom = static_cast<std::int32_t>(Rect.Top + Y1 * H / FHeight);
    ACanvas.StretchDraw(::Rect(Rect.Left, Top, Rect.Right, Bottom), Band.get());
    Y0 = Y1;
  }
}
