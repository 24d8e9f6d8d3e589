#include "platform/device_context.h"

#include <algorithm>
#include <cstring>

namespace {

int g_default_bits_pixel = 32;

const std::vector<RGBQUAD> kNoColors;

}  // namespace

TDeviceContext::TDeviceContext(TBitmap* ABitmap)
    : Bitmap(ABitmap), BitsPixel(g_default_bits_pixel) {}

const std::vector<RGBQUAD>& TDeviceContext::Colors() const {
  return Bitmap != nullptr ? Bitmap->FColors : kNoColors;
}

TRect TDeviceContext::DeviceClip() const {
  TRect r{0, 0, Width(), Height()};
  if (HasClip) {
    r.Left = std::max(r.Left, Clip.Left);
    r.Top = std::max(r.Top, Clip.Top);
    r.Right = std::min(r.Right, Clip.Right);
    r.Bottom = std::min(r.Bottom, Clip.Bottom);
  }
  if (r.Right <= r.Left || r.Bottom <= r.Top) r = TRect{};
  return r;
}

void TDeviceContext::WritePendingFill() const {
  if (Bitmap != nullptr && Bitmap->FillPending()) Bitmap->WritePendingFill();
}

void TDeviceContext::DeferFill(TColor Color) const {
  Bitmap->DeferFill(Color);
}

void TDeviceContext::Overwriting(std::int32_t Top, std::int32_t Bottom) const {
  if (Bitmap != nullptr) Bitmap->Overwriting(Top, Bottom);
}

bool SetWindowOrgEx(HDC DC, int X, int Y, TPoint* Old) {
  if (DC == nullptr) return false;
  if (Old != nullptr) *Old = DC->Origin;
  DC->Origin = TPoint{X, Y};
  return true;
}

bool GetWindowOrgEx(HDC DC, TPoint* Origin) {
  if (DC == nullptr || Origin == nullptr) return false;
  *Origin = DC->Origin;
  return true;
}

int GetClipBox(HDC DC, TRect* Rect) {
  if (DC == nullptr || Rect == nullptr) return 0;
  const TRect r = DC->DeviceClip();
  if (r.Right <= r.Left || r.Bottom <= r.Top) {
    *Rect = TRect{};
    return NULLREGION;
  }
  *Rect = TRect{r.Left + DC->Origin.X, r.Top + DC->Origin.Y, r.Right + DC->Origin.X,
                r.Bottom + DC->Origin.Y};
  return SIMPLEREGION;
}

int IntersectClipRect(HDC DC, int Left, int Top, int Right, int Bottom) {
  if (DC == nullptr) return 0;
  // The clip region is kept apart from the extent, so it survives a resize of the bitmap.
  TRect r{Left - DC->Origin.X, Top - DC->Origin.Y, Right - DC->Origin.X, Bottom - DC->Origin.Y};
  if (DC->HasClip) {
    r.Left = std::max(r.Left, DC->Clip.Left);
    r.Top = std::max(r.Top, DC->Clip.Top);
    r.Right = std::min(r.Right, DC->Clip.Right);
    r.Bottom = std::min(r.Bottom, DC->Clip.Bottom);
  }
  if (r.Right <= r.Left || r.Bottom <= r.Top) r = TRect{};
  DC->Clip = r;
  DC->HasClip = true;
  const TRect visible = DC->DeviceClip();
  return visible.Right > visible.Left ? SIMPLEREGION : NULLREGION;
}

void ResetClipRect(HDC DC) {
  if (DC != nullptr) DC->HasClip = false;
}

int SetStretchBltMode(HDC DC, int Mode) {
  ++GdiStats().SetStretchBltModeCalls;
  if (DC == nullptr || Mode < BLACKONWHITE || Mode > HALFTONE) return 0;
  const int old = DC->StretchMode;
  DC->StretchMode = Mode;
  return old;
}

int GetStretchBltMode(HDC DC) {
  return DC != nullptr ? DC->StretchMode : 0;
}

HPALETTE SelectPalette(HDC DC, HPALETTE Palette, bool) {
  ++GdiStats().SelectPaletteCalls;
  if (DC == nullptr) return 0;
  const HPALETTE old = DC->Palette;
  DC->Palette = Palette;
  return old;
}

std::uint32_t RealizePalette(HDC DC) {
  ++GdiStats().RealizePaletteCalls;
  if (DC == nullptr) return 0;
  const std::vector<PALETTEENTRY>* entries = PaletteEntriesOf(DC->Palette);
  return entries != nullptr ? static_cast<std::uint32_t>(entries->size()) : 0;
}

int GetDeviceCaps(HDC DC, int Index) {
  if (DC == nullptr) return 0;
  switch (Index) {
    case BITSPIXEL:
      return DC->BitsPixel;
    case PLANES:
      return 1;
    default:
      return 0;
  }
}

bool GetBrushOrgEx(HDC DC, TPoint* Origin) {
  if (DC == nullptr || Origin == nullptr) return false;
  *Origin = DC->BrushOrg;
  return true;
}

bool SetBrushOrgEx(HDC DC, int X, int Y, TPoint* Old) {
  if (DC == nullptr) return false;
  if (Old != nullptr) *Old = DC->BrushOrg;
  DC->BrushOrg = TPoint{X, Y};
  return true;
}

std::uint32_t GetDIBColorTable(HDC DC, std::uint32_t Start, std::uint32_t Count, RGBQUAD* Colors) {
  if (DC == nullptr || Colors == nullptr) return 0;
  const std::vector<RGBQUAD>& table = DC->Colors();
  if (Start >= table.size()) return 0;
  const auto n = std::min<std::uint32_t>(Count, static_cast<std::uint32_t>(table.size()) - Start);
  std::memcpy(Colors, table.data() + Start, n * sizeof(RGBQUAD));
  return n;
}

bool IntersectRect(TRect* Dst, const TRect* A, const TRect* B) {
  if (Dst == nullptr || A == nullptr || B == nullptr) return false;
  const TRect r{std::max(A->Left, B->Left), std::max(A->Top, B->Top), std::min(A->Right, B->Right),
                std::min(A->Bottom, B->Bottom)};
  if (r.Right <= r.Left || r.Bottom <= r.Top) {
    *Dst = TRect{};
    return false;
  }
  *Dst = r;
  return true;
}

void SetDeviceBitsPixel(HDC DC, int BitsPixel) {
  if (DC != nullptr) DC->BitsPixel = BitsPixel;
}

void SetDefaultDeviceBitsPixel(int BitsPixel) {
  g_default_bits_pixel = BitsPixel;
}

TGdiStats& GdiStats() {
  static TGdiStats stats;
  return stats;
}
