// TBigBitmapCanvas: whole-image drawing across all bands of a TBigBitmap.

#include "bigbitmap/bigbitmap_canvas.h"

#include "bigbitmap/bigbitmap.h"

TBigBitmapCanvas::TBigBitmapCanvas(TBigBitmap* Owner) : FBitmap(Owner) {}

TBigBitmapCanvas::~TBigBitmapCanvas() = default;

void TBigBitmapCanvas::SetupBands() {
  const TBitmapArray& Bands = FBitmap->FBitmaps;
  if (Bands.empty()) return;
  const std::int64_t FirstHeight = Bands[0]->GetHeight();
  for (std::size_t I = 0; I < Bands.size(); ++I) {
    TCanvas* BandCanvas = Bands[I]->Canvas();
    BandCanvas->Font().Assign(FFont);
    BandCanvas->Brush().Assign(FBrush);
    BandCanvas->Pen().Assign(FPen);
    BandCanvas->CopyMode = FCopyMode;
    BandCanvas->TextFlags = FTextFlags;
    // i * h0 never exceeds the image height, so it fits the origin's 32 bits.
    SetWindowOrgEx(BandCanvas->Handle(), 0,
                   static_cast<int>(static_cast<std::int64_t>(I) * FirstHeight), nullptr);
  }
}

void TBigBitmapCanvas::ResetOrigins() {
  for (const auto& Band : FBitmap->FBitmaps)
    SetWindowOrgEx(Band->Canvas()->Handle(), 0, 0, nullptr);
}

void TBigBitmapCanvas::Draw(std::int32_t X, std::int32_t Y, TGraphic* Graphic) {
  SetupBands();
  for (const auto& Band : FBitmap->FBitmaps) Band->Canvas()->Draw(X, Y, Graphic);
  ResetOrigins();
  FBitmap->SetModified(true);
}

void TBigBitmapCanvas::MoveTo(std::int32_t X, std::int32_t Y) {
  SetupBands();
  for (const auto& Band : FBitmap->FBitmaps) Band->Canvas()->MoveTo(X, Y);
  ResetOrigins();
}
