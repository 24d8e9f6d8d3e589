#pragma once

// The windows' font: "ＭＳ Ｐゴシック", 12 pixels at 96 DPI, Shift-JIS; where that family is
// missing, the first installed Japanese family that stands in for it, so that no text shows as
// boxes. And the windows' sizes at a DPI.

#include <windows.h>

#include <string>

#include "app/win32/win32_handles.h"

// Value (pixels at 96 DPI) at Dpi.
inline int ScaleForDpi(int Value, UINT Dpi) {
  return ::MulDiv(Value, static_cast<int>(Dpi), USER_DEFAULT_SCREEN_DPI);
}

// Moves and sizes Window so that its client area is Width x Height with the frame's top left
// at Left, Top, whatever frame the system draws around it (which need not be the one it computes
// for the window's DPI).
void PlaceClient(HWND Window, int Left, int Top, int Width, int Height);

bool FontFamilyInstalled(const std::wstring& Family);
// The first installed of the given family and its stand-ins (Windows' own Japanese UI fonts,
// then the IPA fonts that Wine finds on a Linux host); the given family when none is.
std::wstring WindowFontFamily();
TFontHandle CreateWindowFont(UINT Dpi);
