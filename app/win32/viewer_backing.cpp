#include "app/win32/viewer_backing.h"

#include <cstring>

#include "app/core/map_view.h"
#include "platform/graphics.h"

TViewerBacking::TViewerBacking() : FBitmap(std::make_unique<TBitmap>()) {
  FBitmap->SetPixelFormat(pf32bit);
}

TViewerBacking::~TViewerBacking() = default;

int TViewerBacking::Width() const {
  return FBitmap->GetWidth();
}

int TViewerBacking::Height() const {
  return FBitmap->GetHeight();
}

void TViewerBacking::Paint(const TMapView& View, int Left, int Top, int Right, int Bottom,
                           std::uint32_t Background) {
  if (FBitmap->GetWidth() != View.ViewWidth() || FBitmap->GetHeight() != View.ViewHeight()) {
    FBitmap->SetWidth(View.ViewWidth());
    FBitmap->SetHeight(View.ViewHeight());
    BITMAPINFOHEADER Header{};
    Header.biSize = sizeof Header;
    Header.biWidth = FBitmap->GetWidth();
    Header.biHeight = FBitmap->GetHeight();
    Header.biPlanes = 1;
    Header.biBitCount = 32;
    Header.biCompression = BI_RGB;
    static_assert(sizeof Header == sizeof FInfo);
    std::memcpy(FInfo.data(), &Header, sizeof Header);
    FBits = nullptr;
  }
  if (FBitmap->GetEmpty()) return;
  View.Paint(*FBitmap, Rect(Left, Top, Right, Bottom), static_cast<TColor>(Background));
  // The lowest row address is the block's start; asking for it also writes any fill the bitmap
  // still owes.
  FBits = FBitmap->ScanLine(FBitmap->GetHeight() - 1);
}
