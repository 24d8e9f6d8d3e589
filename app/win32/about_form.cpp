#include "app/win32/about_form.h"

#include <algorithm>
#include <utility>

#include "app/win32/message_pump.h"
#include "app/win32/panel.h"
#include "app/win32/window_font.h"

namespace {

constexpr DWORD AboutStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
constexpr int AboutClientWidth = 254;  // at 96 DPI
constexpr int AboutClientHeight = 79;
constexpr DWORD AboutExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

const wchar_t* AboutClassName() {
  // The window procedure is replaced by the dialog's own at creation.
  static const TWindowClass Class(L"VeldrinAboutForm", DefWindowProcW);
  return Class.Name();
}

HWND NewChild(HWND Parent, const wchar_t* ClassName, const wchar_t* Text, DWORD Style, int Id) {
  const HWND Window = ::CreateWindowExW(
      0, ClassName, Text, WS_CHILD | WS_VISIBLE | Style, 0, 0, 0, 0, Parent,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(Id)), ::GetModuleHandleW(nullptr), nullptr);
  if (Window == nullptr) throw EWin32Error("CreateWindowExW");
  return Window;
}

// Places Window at Left, Top, Width, Height (96 DPI) scaled to Dpi, in Font. A label is as high
// as the font's line where that is taller, so that no descender is cut off.
void Place(HWND Window, HFONT Font, UINT Dpi, int Left, int Top, int Width, int Height,
           bool Label = false) {
  ::SendMessageW(Window, WM_SETFONT, reinterpret_cast<WPARAM>(Font), FALSE);
  int Pixels = ScaleForDpi(Height, Dpi);
  if (Label) {
    const HDC Dc = ::GetDC(Window);
    const HGDIOBJ Old = ::SelectObject(Dc, Font);
    TEXTMETRICW Metrics{};
    ::GetTextMetricsW(Dc, &Metrics);
    ::SelectObject(Dc, Old);
    ::ReleaseDC(Window, Dc);
    Pixels = std::max(Pixels, static_cast<int>(Metrics.tmHeight));
  }
  ::SetWindowPos(Window, nullptr, ScaleForDpi(Left, Dpi), ScaleForDpi(Top, Dpi),
                 ScaleForDpi(Width, Dpi), Pixels, SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

TAboutForm::TAboutForm(HWND Owner) : FOwner(Owner) {
  FHandle = ::CreateWindowExW(AboutExStyle, AboutClassName(), L"About Veldrin", AboutStyle, 0, 0, 0,
                              0, Owner, nullptr, ::GetModuleHandleW(nullptr), nullptr);
  if (FHandle == nullptr) throw EWin32Error("CreateWindowExW");
  ::SetWindowLongPtrW(FHandle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  ::SetWindowLongPtrW(FHandle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WindowProc));

  // Behind the labels, and painting around them.
  Bevel1 = NewChild(FHandle, PanelClassName(), L"", WS_CLIPSIBLINGS, 1);
  Label1 = NewChild(FHandle, L"STATIC", L"Veldrin for UO:SE rev " VELDRIN_VERSION,
                    SS_CENTER | SS_NOPREFIX, 2);
  Label2 = NewChild(FHandle, L"STATIC", L"Copyright (C) the Veldrin developers",
                    SS_CENTER | SS_NOPREFIX, 3);
  Button1 = NewChild(FHandle, L"BUTTON", L"Ok", BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, IDOK);
  ::SetWindowPos(Bevel1, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  const RECT Frame = LayOut(::GetDpiForWindow(Owner != nullptr ? Owner : FHandle));
  RECT Area;
  if (Owner != nullptr) {
    ::GetWindowRect(Owner, &Area);
  } else {
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &Area, 0);
  }
  const int Width = Frame.right - Frame.left;
  const int Height = Frame.bottom - Frame.top;
  ::SetWindowPos(FHandle, nullptr, Area.left + (Area.right - Area.left - Width) / 2,
                 Area.top + (Area.bottom - Area.top - Height) / 2, Width, Height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

RECT TAboutForm::LayOut(UINT Dpi) {
  TFontHandle NewFont = CreateWindowFont(Dpi);
  const HFONT Font = NewFont.get();
  Place(Bevel1, Font, Dpi, 4, 4, 245, 37);
  Place(Label1, Font, Dpi, 8, 8, 237, 12, true);
  Place(Label2, Font, Dpi, 8, 24, 237, 12, true);
  Place(Button1, Font, Dpi, 92, 48, 75, 25);
  // The old font goes only once every control has the new one.
  FFont = std::move(NewFont);
  RECT Frame{0, 0, ScaleForDpi(AboutClientWidth, Dpi), ScaleForDpi(AboutClientHeight, Dpi)};
  ::AdjustWindowRectExForDpi(&Frame, AboutStyle, FALSE, AboutExStyle, Dpi);
  return Frame;
}

TAboutForm::~TAboutForm() {
  if (FHandle != nullptr) ::DestroyWindow(FHandle);
}

int TAboutForm::ShowModal() {
  FResult = 0;
  if (FOwner != nullptr) ::EnableWindow(FOwner, FALSE);
  ::ShowWindow(FHandle, SW_SHOW);
  ::SetFocus(Button1);
  // Also over once the dialog is gone: its owner was destroyed meanwhile (closed by End task or
  // the taskbar, which do not mind a modal dialog), and no button will ever answer.
  RunModalLoop(
      [](void* Form) {
        const auto* About = static_cast<TAboutForm*>(Form);
        return About->FResult != 0 || About->FHandle == nullptr;
      },
      this);
  // The owner is enabled again before the dialog goes, so that it gets the activation back.
  if (FOwner != nullptr) ::EnableWindow(FOwner, TRUE);
  if (FHandle != nullptr) ::ShowWindow(FHandle, SW_HIDE);
  return FResult;
}

LRESULT CALLBACK TAboutForm::WindowProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
  auto* Form = reinterpret_cast<TAboutForm*>(::GetWindowLongPtrW(Window, GWLP_USERDATA));
  if (Form != nullptr) {
    switch (Message) {
      case WM_COMMAND:
        if (LOWORD(WParam) == IDOK || LOWORD(WParam) == IDCANCEL) Form->FResult = LOWORD(WParam);
        return 0;
      case WM_CLOSE:
        Form->FResult = IDCANCEL;
        return 0;
      case DM_GETDEFID:
        return MAKELRESULT(IDOK, DC_HASDEFID);
      case WM_DPICHANGED: {
        // On a monitor of another scale: laid out anew, at the suggested place.
        const auto* Suggested = reinterpret_cast<const RECT*>(LParam);
        const UINT Dpi = LOWORD(WParam);
        Form->LayOut(Dpi);
        PlaceClient(Window, Suggested->left, Suggested->top, ScaleForDpi(AboutClientWidth, Dpi),
                    ScaleForDpi(AboutClientHeight, Dpi));
        ::InvalidateRect(Window, nullptr, TRUE);
        return 0;
      }
      case WM_NCDESTROY:
        Form->FHandle = nullptr;
        ::SetWindowLongPtrW(Window, GWLP_USERDATA, 0);
        break;
      default:
        break;
    }
  }
  return ::DefWindowProcW(Window, Message, WParam, LParam);
}
