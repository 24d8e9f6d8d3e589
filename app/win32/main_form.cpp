#include "app/win32/main_form.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <cctype>
#include <utility>

#include "app/win32/about_form.h"
#include "app/win32/combo_text.h"
#include "app/win32/error_display.h"
#include "app/win32/map_box_menus.h"
#include "app/win32/map_viewer.h"
#include "app/win32/message_pump.h"
#include "app/win32/panel.h"
#include "app/win32/resource_ids.h"
#include "app/win32/wide_text.h"
#include "app/win32/window_font.h"

namespace {

constexpr DWORD FormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD FormExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

using enum TMainControl;

const TRect96& FormRect() {
  return ControlRow(Form1).Rect;
}

// The client size at Dpi.
SIZE ClientSize(UINT Dpi) {
  return {ScaleForDpi(FormRect().Width, Dpi), ScaleForDpi(FormRect().Height, Dpi)};
}
const wchar_t* FormClassName() {
  // The program's icon (none in the tests, which carry no resources). The window procedure is
  // replaced by the window's own at creation.
  const HINSTANCE Program = ::GetModuleHandleW(nullptr);
  static const TWindowClass Class(
      L"VeldrinForm1", DefWindowProcW,
      static_cast<HICON>(
          ::LoadImageW(Program, MAKEINTRESOURCEW(IDI_PROGRAM), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE)),
      static_cast<HICON>(::LoadImageW(Program, MAKEINTRESOURCEW(IDI_PROGRAM), IMAGE_ICON,
                                      ::GetSystemMetrics(SM_CXSMICON),
                                      ::GetSystemMetrics(SM_CYSMICON), 0)));
  return Class.Name();
}

// The frame around a client area of Width x Height at Dpi, placed with its centre on Area's.
RECT CentredFrame(const RECT& Area, int Width, int Height, UINT Dpi) {
  RECT Frame{0, 0, Width, Height};
  ::AdjustWindowRectExForDpi(&Frame, FormStyle, FALSE, FormExStyle, Dpi);
  const int FrameWidth = Frame.right - Frame.left;
  const int FrameHeight = Frame.bottom - Frame.top;
  const int Left = Area.left + (Area.right - Area.left - FrameWidth) / 2;
  const int Top = Area.top + (Area.bottom - Area.top - FrameHeight) / 2;
  return {Left, Top, Left + FrameWidth, Top + FrameHeight};
}

HWND CreateFormWindow() {
  const HWND Window = ::CreateWindowExW(
      FormExStyle, FormClassName(), Wide(ControlRow(Form1).Caption).c_str(), FormStyle,
      CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
  if (Window == nullptr) throw EWin32Error("CreateWindowExW");
  return Window;
}

}  // namespace

TForm1::TForm1() : FHandle(CreateFormWindow()), FModel(*this), FBrowseFolder(FHandle) {
  // A window that cannot be made whole goes with the error: its object would not outlive the
  // exception, so the window gets its object's procedure only once everything stands.
  try {
    FBrowseFolder.SetTitle("UOAMのマップのあるフォルダを選択");
    FControls = CreateChildControls(FHandle, MainFormControls());
    FDpi = ::GetDpiForWindow(FHandle);
    LayOut(FDpi);
    StateChanged();

    MONITORINFO Monitor{};
    Monitor.cbSize = sizeof Monitor;
    ::GetMonitorInfoW(::MonitorFromWindow(FHandle, MONITOR_DEFAULTTOPRIMARY), &Monitor);
    const SIZE Client = ClientSize(FDpi);
    const RECT Frame = CentredFrame(Monitor.rcWork, Client.cx, Client.cy, FDpi);
    PlaceClient(FHandle, Frame.left, Frame.top, Client.cx, Client.cy);
  } catch (...) {
    ::DestroyWindow(FHandle);
    throw;
  }
  ::SetWindowLongPtrW(FHandle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  ::SetWindowLongPtrW(FHandle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WindowProc));
}

TForm1::~TForm1() {
  if (FHandle != nullptr) ::DestroyWindow(FHandle);
}

void TForm1::Show(int CmdShow) {
  ::ShowWindow(FHandle, CmdShow);
  FModel.FormShow();
  ::UpdateWindow(FHandle);
}

HWND TForm1::Control(TMainControl Row) const {
  return FHandle != nullptr ? FControls[static_cast<std::size_t>(Row)] : nullptr;
}

void TForm1::LayOut(UINT Dpi) {
  // The font the controls have now goes only once they all have the new one.
  TFontHandle NewFont = CreateWindowFont(Dpi);
  LayOutControls(MainFormControls(), FControls, NewFont.get(), Dpi);
  FFont = std::move(NewFont);
}

LRESULT CALLBACK TForm1::WindowProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
  auto* Form = reinterpret_cast<TForm1*>(::GetWindowLongPtrW(Window, GWLP_USERDATA));
  if (Form == nullptr) return ::DefWindowProcW(Window, Message, WParam, LParam);
  return Form->HandleMessage(Message, WParam, LParam);
}

LRESULT TForm1::HandleMessage(UINT Message, WPARAM WParam, LPARAM LParam) {
  if (Message == PreTranslateMessageId()) {
    return KeyPressed(*reinterpret_cast<const MSG*>(LParam)) ? 1 : 0;
  }
  switch (Message) {
    case WM_COMMAND:
      if (LParam != 0) ControlNotified(LOWORD(WParam), HIWORD(WParam));
      return 0;
    case WM_DRAWITEM:
      if (DrawComboItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(LParam))) return TRUE;
      return ::DefWindowProcW(FHandle, Message, WParam, LParam);
    case WM_CONTEXTMENU:
      MapBoxMenuRequested({GET_X_LPARAM(LParam), GET_Y_LPARAM(LParam)});
      return 0;
    case WM_NEXTDLGCTL: {
      // What a dialog does with it; the dialog keyboard asks it of this window for an arrow key,
      // naming the next control of the group (LParam nonzero), or for the next tab stop.
      const HWND Next = LOWORD(LParam) != 0
                            ? reinterpret_cast<HWND>(WParam)
                            : ::GetNextDlgTabItem(FHandle, ::GetFocus(), WParam != 0);
      if (Next != nullptr) ::SetFocus(Next);
      return 0;
    }
    case WM_GETDPISCALEDSIZE: {
      // The frame at the new DPI is that of the client area scaled exactly, not the old frame
      // scaled, so that the rectangle WM_DPICHANGED then suggests fits the layout.
      const SIZE Client = ClientSize(static_cast<UINT>(WParam));
      RECT Frame{0, 0, Client.cx, Client.cy};
      ::AdjustWindowRectExForDpi(&Frame, FormStyle, FALSE, FormExStyle, static_cast<UINT>(WParam));
      *reinterpret_cast<SIZE*>(LParam) = {Frame.right - Frame.left, Frame.bottom - Frame.top};
      return TRUE;
    }
    case WM_DPICHANGED: {
      const auto* Suggested = reinterpret_cast<const RECT*>(LParam);
      FDpi = LOWORD(WParam);
      LayOut(FDpi);
      // The suggested rectangle, which has the size given above; where a system suggests
      // another, the client area still gets its own size at the suggested place.
      const SIZE Client = ClientSize(FDpi);
      PlaceClient(FHandle, Suggested->left, Suggested->top, Client.cx, Client.cy);
      return 0;
    }
    case WM_ACTIVATE:
      // The focus leaves with the activation and comes back where the model says.
      if (LOWORD(WParam) == WA_INACTIVE) {
        FModel.Deactivated();
      } else if (HIWORD(WParam) == 0) {
        FModel.Activated();
      }
      return 0;
    case WM_CLOSE:
      // During a run the window stays until the run has returned; the model then asks again.
      if (FModel.CloseRequested()) ::DestroyWindow(FHandle);
      return 0;
    case WM_QUERYENDSESSION:
      // Log-off, shut-down or restart: during a run as the close button, so that the run stops
      // after its row and the program ends. The question comes only between rows: while a map is
      // reduced and saved no message is processed, and the system shows HoldSessionEnd's reason.
      if (FModel.IsRunning()) FModel.CloseRequested();
      return TRUE;
    case WM_ENDSESSION:
      // The session ends now (a run has been asked to stop already); or it goes on after all.
      if (WParam != FALSE && !FModel.IsRunning()) ::DestroyWindow(FHandle);
      return 0;
    case WM_NCDESTROY: {
      const HWND Window = FHandle;
      FHandle = nullptr;
      ::SetWindowLongPtrW(Window, GWLP_USERDATA, 0);
      return ::DefWindowProcW(Window, Message, WParam, LParam);
    }
    default:
      return ::DefWindowProcW(FHandle, Message, WParam, LParam);
  }
}

void TForm1::ControlNotified(int Id, int Code) {
  const auto Row = static_cast<TMainControl>(Id - ControlId(Form1));
  for (Facet F = 0; F < FacetCount; ++F) {
    for (MapScale S = 0; S < MapScaleCount; ++S) {
      if (Row != MapCBoxControl(F, S) || Code != BN_CLICKED) continue;
      FModel.BoxClicked(F, S, ::SendMessageW(Control(Row), BM_GETCHECK, 0, 0) == BST_CHECKED);
      return;
    }
  }
  for (int A = 0; A < WindowActionCount; ++A) {
    const auto Action = static_cast<TWindowAction>(A);
    if (Row == ActionButton(Action) && Code == BN_CLICKED) FModel.Execute(Action);
  }
  const auto Selected = [this, Row] {
    return static_cast<int>(::SendMessageW(Control(Row), CB_GETCURSEL, 0, 0));
  };
  if (Row == BaseCBox && Code == CBN_SELCHANGE) FModel.BaseSelected(Selected());
  if (Row == TrgCBox && Code == CBN_SELCHANGE) FModel.TrgSelected(Selected());
  if (Row == TrgCBox && Code == CBN_EDITCHANGE) FModel.TrgTextEdited();
}

void TForm1::MapBoxMenuRequested(POINT ScreenPos) {
  // From the keyboard (the menu key, Shift+F10) for the focused box, at its centre: the request
  // may come through the box's group box, which names itself as the source. From the mouse for
  // the box under the pointer, which may be disabled: then the request comes from its group box
  // or from the window.
  const bool FromKeyboard = ScreenPos.x == -1 && ScreenPos.y == -1;
  const HWND Focused = ::GetFocus();
  for (Facet F = 0; F < FacetCount; ++F) {
    for (MapScale S = 0; S < MapScaleCount; ++S) {
      const HWND Box = Control(MapCBoxControl(F, S));
      RECT Rect;
      ::GetWindowRect(Box, &Rect);
      if (FromKeyboard ? Box != Focused : !::PtInRect(&Rect, ScreenPos)) continue;
      if (FromKeyboard) ScreenPos = {(Rect.left + Rect.right) / 2, (Rect.top + Rect.bottom) / 2};
      PopupMapBoxMenu(FHandle, FModel, F, S, ScreenPos);
      return;
    }
  }
}

bool TForm1::KeyPressed(const MSG& Message) {
  // Alt and a letter: the action it marks, when the model has it enabled. Never typed into the
  // target box, and no control's own letter acts past the model.
  if (Message.message == WM_SYSCHAR && Message.wParam < 0x80 &&
      std::isalpha(static_cast<int>(Message.wParam))) {
    FModel.AcceleratorPressed(static_cast<char>(Message.wParam));
    return true;
  }
  // Shift+F10 and the menu key ask for the focused box's menu, the menu key as it is released
  // (as the system's own handling does, which the key then never reaches: one request).
  if ((Message.message == WM_SYSKEYDOWN && Message.wParam == VK_F10 &&
       (::GetKeyState(VK_SHIFT) & 0x8000) != 0) ||
      (Message.message == WM_KEYUP && Message.wParam == VK_APPS)) {
    ::SendMessageW(FHandle, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(::GetFocus()), -1);
    return true;
  }
  if (Message.message == WM_KEYDOWN && Message.wParam == VK_APPS) return true;
  // Escape: the model's, unless it closes a dropped list.
  if (Message.message == WM_KEYDOWN && Message.wParam == VK_ESCAPE) {
    for (const TMainControl Box : {BaseCBox, TrgCBox}) {
      if (::SendMessageW(Control(Box), CB_GETDROPPEDSTATE, 0, 0) != FALSE) return false;
    }
    FModel.EscapePressed();
    return true;
  }
  return false;
}

// ---- TMainWindowView ------------------------------------------------------------------------

void TForm1::StateChanged() {
  for (int A = 0; A < WindowActionCount; ++A) {
    const auto Action = static_cast<TWindowAction>(A);
    ::EnableWindow(Control(ActionButton(Action)), FModel.ActionEnabled(Action));
  }
  for (Facet F = 0; F < FacetCount; ++F) {
    for (MapScale S = 0; S < MapScaleCount; ++S) {
      const HWND Box = Control(MapCBoxControl(F, S));
      ::EnableWindow(Box, FModel.BoxEnabled(F, S));
      ::SendMessageW(Box, BM_SETCHECK, FModel.BoxTicked(F, S) ? BST_CHECKED : BST_UNCHECKED, 0);
    }
  }
  const auto Select = [this](TMainControl Box, int Item) {
    if (Item >= 0 && ::SendMessageW(Control(Box), CB_GETCURSEL, 0, 0) != Item) {
      ::SendMessageW(Control(Box), CB_SETCURSEL, Item, 0);
    }
  };
  Select(BaseCBox, FModel.BaseItemIndex());
  // Typed text (no item) stays as typed.
  Select(TrgCBox, FModel.TrgItemIndex());
  StatusChanged(false);
}

void TForm1::StatusChanged(bool PaintNow) {
  const HWND Bar = Control(StsBar);
  ::SendMessageW(Bar, SB_SETTEXTW, SB_SIMPLEID,
                 reinterpret_cast<LPARAM>(Wide(FModel.StatusText()).c_str()));
  // Only the status bar has changed, so only it is painted now.
  if (PaintNow) ::UpdateWindow(Bar);
}

void TForm1::PaintWindow() {
  ::RedrawWindow(FHandle, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void TForm1::ProcessMessages() {
  PumpPendingMessages();
}

std::optional<std::string> TForm1::PickFolder(const std::string& Start) {
  FBrowseFolder.SetStartFolder(Start);
  if (!FBrowseFolder.Execute()) return std::nullopt;
  return FBrowseFolder.GetFolder();
}

void TForm1::ShowAbout() {
  TAboutForm AboutForm(FHandle);
  AboutForm.ShowModal();
}

void TForm1::ShowViewer(const std::string& FileName) {
  TMapViewer::Show(FileName, FHandle);
}

void TForm1::RequestClose() {
  ::SendMessageW(FHandle, WM_CLOSE, 0, 0);
}

void TForm1::ShowError(const std::string& Message) {
  ShowErrorMessage(FHandle, Message);
}

void TForm1::HoldSessionEnd(bool Hold) {
  if (Hold) {
    ::ShutdownBlockReasonCreate(FHandle, L"マップを保存しています。保存が終わると終了します");
  } else {
    ::ShutdownBlockReasonDestroy(FHandle);
  }
}

TFocusTarget TForm1::Focus() {
  // The target box's text field is a window of its own inside the box.
  for (HWND Focused = ::GetFocus(); Focused != nullptr;
       Focused = ::GetAncestor(Focused, GA_PARENT)) {
    const auto Found = std::find(FControls.begin(), FControls.end(), Focused);
    if (Found != FControls.end()) return static_cast<TMainControl>(Found - FControls.begin());
  }
  return std::nullopt;
}

void TForm1::SetFocus(TMainControl Target) {
  ::SetFocus(Control(Target));
}
