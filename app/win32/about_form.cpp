#include "app/win32/about_form.h"

#include <utility>

#include "app/win32/control_layout.h"
#include "app/win32/message_pump.h"
#include "app/win32/wide_text.h"
#include "app/win32/window_font.h"

namespace {

constexpr DWORD AboutStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
constexpr DWORD AboutExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

const TControlRow& AboutRow() {
  return ControlRow(TAboutControl::AboutForm);
}

const wchar_t* AboutClassName() {
  // The window procedure is replaced by the dialog's own at creation.
  static const TWindowClass Class(L"VeldrinAboutForm", DefWindowProcW);
  return Class.Name();
}

}  // namespace

TAboutForm::TAboutForm(HWND Owner) : FOwner(Owner) {
  FHandle = ::CreateWindowExW(AboutExStyle, AboutClassName(), Wide(AboutRow().Caption).c_str(),
                              AboutStyle, 0, 0, 0, 0, Owner, nullptr, ::GetModuleHandleW(nullptr),
                              nullptr);
  if (FHandle == nullptr) throw EWin32Error("CreateWindowExW");
  ::SetWindowLongPtrW(FHandle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  ::SetWindowLongPtrW(FHandle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WindowProc));

  FControls = CreateChildControls(FHandle, AboutFormControls());
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
  LayOutControls(AboutFormControls(), FControls, NewFont.get(), Dpi);
  // The old font goes only once every control has the new one.
  FFont = std::move(NewFont);
  RECT Frame{0, 0, ScaleForDpi(AboutRow().Rect.Width, Dpi),
             ScaleForDpi(AboutRow().Rect.Height, Dpi)};
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
  ::SetFocus(Control(TAboutControl::Button1));
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
        PlaceClient(Window, Suggested->left, Suggested->top,
                    ScaleForDpi(AboutRow().Rect.Width, Dpi),
                    ScaleForDpi(AboutRow().Rect.Height, Dpi));
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
