#include "app/win32/window_font.h"

namespace {

constexpr const wchar_t* FontFamilies[] = {
    L"ＭＳ Ｐゴシック", L"MS PGothic", L"MS UI Gothic", L"Meiryo UI",
    L"Yu Gothic UI",    L"IPAPGothic", L"IPAGothic",
};

int CALLBACK NoteFamily(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM Found) {
  *reinterpret_cast<bool*>(Found) = true;
  return 0;  // one is enough
}

}  // namespace

bool FontFamilyInstalled(const std::wstring& Family) {
  LOGFONTW Wanted{};
  Wanted.lfCharSet = DEFAULT_CHARSET;
  Family.copy(Wanted.lfFaceName, LF_FACESIZE - 1);
  bool Found = false;
  const HDC Screen = ::GetDC(nullptr);
  ::EnumFontFamiliesExW(Screen, &Wanted, NoteFamily, reinterpret_cast<LPARAM>(&Found), 0);
  ::ReleaseDC(nullptr, Screen);
  return Found;
}

std::wstring WindowFontFamily() {
  static const std::wstring Family = [] {
    for (const wchar_t* Candidate : FontFamilies) {
      if (FontFamilyInstalled(Candidate)) return std::wstring(Candidate);
    }
    return std::wstring(FontFamilies[0]);
  }();
  return Family;
}

TFontHandle CreateWindowFont(UINT Dpi) {
  LOGFONTW Font{};
  Font.lfHeight = -ScaleForDpi(12, Dpi);
  Font.lfWeight = FW_NORMAL;
  Font.lfCharSet = SHIFTJIS_CHARSET;
  Font.lfQuality = DEFAULT_QUALITY;
  WindowFontFamily().copy(Font.lfFaceName, LF_FACESIZE - 1);
  TFontHandle Handle(::CreateFontIndirectW(&Font));
  if (!Handle) throw EWin32Error("CreateFontIndirectW");
  return Handle;
}

void PlaceClient(HWND Window, int Left, int Top, int Width, int Height) {
  RECT Frame{0, 0, Width, Height};
  ::AdjustWindowRectExForDpi(&Frame, static_cast<DWORD>(::GetWindowLongW(Window, GWL_STYLE)), FALSE,
                             static_cast<DWORD>(::GetWindowLongW(Window, GWL_EXSTYLE)),
                             ::GetDpiForWindow(Window));
  for (int Attempt = 0; Attempt < 2; ++Attempt) {
    ::SetWindowPos(Window, nullptr, Left, Top, Frame.right - Frame.left, Frame.bottom - Frame.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    RECT Client;
    ::GetClientRect(Window, &Client);
    if (Client.right == Width && Client.bottom == Height) return;
    Frame.right += Width - Client.right;
    Frame.bottom += Height - Client.bottom;
  }
}
