#include "platform/device_context.h"

#include <algorithm>
#include <cstring>

namespace {

int GDefaultBitsPixel = 32;

const std::vector<RGBQUAD> NoColors;

}  // namespace

TDeviceContext::TDeviceContext(TBitmap* ABitmap)
    : Bitmap(ABitmap), BitsPixel(GDefaultBitsPixel) {}

const std::vector<RGBQUAD>& TDeviceContext::Colors() const {
  return Bitmap != nullptr ? Bitmap->FColors : NoColors;
}

TRect TDeviceContext::DeviceClip() const {
  TRect R{0, 0, Width(), Height()};
  if (HasClip) {
    R.Left = std::max(R.Left, Clip.Left);
    R.Top = std::max(R.Top, Clip.Top);
    R.Right = std::min(R.Right, Clip.Right);
    R.Bottom = std::min(R.Bottom, Clip.Bottom);
  }
  if (R.Right <= R.Left || R.Bottom <= R.Top) R = TRect{};
  return R;
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
  const TRect R = DC->DeviceClip();
  if (R.Right <= R.Left || R.Bottom <= R.Top) {
    *Rect = TRect{};
    return NULLREGION;
  }
  *Rect = TRect{R.Left + DC->Origin.X, R.Top + DC->Origin.Y, R.Right + DC->Origin.X,
                R.Bottom + DC->Origin.Y};
  return SIMPLEREGION;
}

int IntersectClipRect(HDC DC, int Left, int Top, int Right, int Bottom) {
  if (DC == nullptr) return 0;
  // The clip region is kept apart from the extent, so it survives a resize of the bitmap.
  TRect R{Left - DC->Origin.X, Top - DC->Origin.Y, Right - DC->Origin.X, Bottom - DC->Origin.Y};
  if (DC->HasClip) {
    R.Left = std::max(R.Left, DC->Clip.Left);
    R.Top = std::max(R.Top, DC->Clip.Top);
    R.Right = std::min(R.Right, DC->Clip.Right);
    R.Bottom = std::min(R.Bottom, DC->Clip.Bottom);
  }
  if (R.Right <= R.Left || R.Bottom <= R.Top) R = TRect{};
  DC->Clip = R;
  DC->HasClip = true;
  const TRect Visible = DC->DeviceClip();
  return Visible.Right > Visible.Left ? SIMPLEREGION : NULLREGION;
}

void ResetClipRect(HDC DC) {
  if (DC != nullptr) DC->HasClip = false;
}

int SetStretchBltMode(HDC DC, int Mode) {
  ++GdiStats().SetStretchBltModeCalls;
  if (DC == nullptr || Mode < BLACKONWHITE || Mode > HALFTONE) return 0;
  const int Old = DC->StretchMode;
  DC->StretchMode = Mode;
  return Old;
}

int GetStretchBltMode(HDC DC) {
  return DC != nullptr ? DC->StretchMode : 0;
}

HPALETTE SelectPalette(HDC DC, HPALETTE Palette, bool) {
  ++GdiStats().SelectPaletteCalls;
  if (DC == nullptr) return 0;
  const HPALETTE Old = DC->Palette;
  DC->Palette = Palette;
  return Old;
}

std::uint32_t RealizePalette(HDC DC) {
  ++GdiStats().RealizePaletteCalls;
  if (DC == nullptr) return 0;
  const std::vector<PALETTEENTRY>* Entries = PaletteEntriesOf(DC->Palette);
  return Entries != nullptr ? static_cast<std::uint32_t>(Entries->size()) : 0;
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
  const std::vector<RGBQUAD>& Table = DC->Colors();
  if (Start >= Table.size()) return 0;
  const auto N = std::min<std::uint32_t>(Count, static_cast<std::uint32_t>(Table.size()) - Start);
  std::memcpy(Colors, Table.data() + Start, N * sizeof(RGBQUAD));
  return N;
}

bool IntersectRect(TRect* Dst, const TRect* A, const TRect* B) {
  if (Dst == nullptr || A == nullptr || B == nullptr) return false;
  const TRect R{std::max(A->Left, B->Left), std::max(A->Top, B->Top), std::min(A->Right, B->Right),
                std::min(A->Bottom, B->Bottom)};
  if (R.Right <= R.Left || R.Bottom <= R.Top) {
    *Dst = TRect{};
    return false;
  }
  *Dst = R;
  return true;
}

void SetDeviceBitsPixel(HDC DC, int BitsPixel) {
  if (DC != nullptr) DC->BitsPixel = BitsPixel;
}

void SetDefaultDeviceBitsPixel(int BitsPixel) {
  GDefaultBitsPixel = BitsPixel;
}

TGdiStats& GdiStats() {
  static TGdiStats Stats;
  return Stats;
}
