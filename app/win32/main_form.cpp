#include "app/win32/main_form.h"

#include <commctrl.h>
#include <windowsx.h>

#include <cctype>
#include <utility>

#include "app/win32/about_form.h"
#include "app/win32/error_display.h"
#include "app/win32/resource_ids.h"
#include "app/win32/map_box_menus.h"
#include "app/win32/message_pump.h"
#include "app/win32/panel.h"
#include "app/win32/wide_text.h"
#include "app/win32/window_font.h"

namespace {

constexpr DWORD FormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD FormExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
// How far a combo box's list drops below its field, in items.
constexpr int DroppedItems = 3;

// A group box passes its check boxes' notifications on to the window.
LRESULT CALLBACK GroupBoxProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam, UINT_PTR,
                              DWORD_PTR) {
  if (IsControlNotification(Message)) {
    return ::SendMessageW(::GetParent(Window), Message, WParam, LParam);
  }
  return ::DefSubclassProc(Window, Message, WParam, LParam);
}

struct TKindStyle {
  const wchar_t* ClassName;
  DWORD Style;
  DWORD ExStyle;
};

TKindStyle StyleOf(TControlKind Kind) {
  switch (Kind) {
    case TControlKind::Panel:
      return {PanelClassName(), WS_GROUP, WS_EX_CONTROLPARENT};
    case TControlKind::Button:
      return {WC_BUTTONW, BS_PUSHBUTTON | WS_TABSTOP, 0};
    case TControlKind::DropDownList:
      return {WC_COMBOBOXW, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP | WS_GROUP, 0};
    case TControlKind::DropDown:
      return {WC_COMBOBOXW, CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP | WS_GROUP, 0};
    case TControlKind::Label:
      return {WC_STATICW, SS_LEFT | SS_NOPREFIX, 0};
    case TControlKind::GroupBox:
      return {WC_BUTTONW, BS_GROUPBOX | WS_GROUP, WS_EX_CONTROLPARENT};
    case TControlKind::CheckBox:
      return {WC_BUTTONW, BS_AUTOCHECKBOX | WS_TABSTOP, 0};
    case TControlKind::Status:
      return {STATUSCLASSNAMEW, CCS_NOPARENTALIGN | CCS_NORESIZE | CCS_NODIVIDER, 0};
  }
  return {};
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

// Gives a combo box's closed field Height pixels. The field is its text line and a frame whose
// size depends on the theme (what CB_GETITEMHEIGHT reports of the line differs between systems
// too), so the line is set, the field measured and the line set once more.
void FitComboField(HWND Combo, int Height, UINT Dpi) {
  int Line = Height - ScaleForDpi(6, Dpi);
  for (int Attempt = 0; Attempt < 2; ++Attempt) {
    ::SendMessageW(Combo, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), Line);
    RECT Field;
    ::GetWindowRect(Combo, &Field);
    if (Field.bottom - Field.top == Height) return;
    Line += Height - (Field.bottom - Field.top);
  }
  ::SendMessageW(Combo, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), Line);
}

SIZE TextSize(HWND Control, HFONT Font) {
  const int Length = ::GetWindowTextLengthW(Control);
  std::wstring Text(static_cast<std::size_t>(Length) + 1, L'\0');
  ::GetWindowTextW(Control, Text.data(), Length + 1);
  const HDC Dc = ::GetDC(Control);
  const HGDIOBJ Old = ::SelectObject(Dc, Font);
  SIZE Size{};
  ::GetTextExtentPoint32W(Dc, Text.c_str(), Length, &Size);
  ::SelectObject(Dc, Old);
  ::ReleaseDC(Control, Dc);
  return Size;
}

HWND CreateFormWindow() {
  const HWND Window = ::CreateWindowExW(FormExStyle, FormClassName(), L"Veldrin for UO:SE",
                                        FormStyle, CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, nullptr,
                                        nullptr, ::GetModuleHandleW(nullptr), nullptr);
  if (Window == nullptr) throw EWin32Error("CreateWindowExW");
  return Window;
}

}  // namespace

TForm1::TForm1() : FHandle(CreateFormWindow()), FModel(*this), FBrowseFolder(FHandle) {
  // A window that cannot be made whole goes with the error: its object would not outlive the
  // exception, so the window gets its object's procedure only once everything stands.
  try {
    FBrowseFolder.SetTitle("UOAMのマップのあるフォルダを選択");
    CreateControls();
    FDpi = ::GetDpiForWindow(FHandle);
    LayOut(FDpi);
    StateChanged();

    MONITORINFO Monitor{};
    Monitor.cbSize = sizeof Monitor;
    ::GetMonitorInfoW(::MonitorFromWindow(FHandle, MONITOR_DEFAULTTOPRIMARY), &Monitor);
    const int Width = ScaleForDpi(FormClientWidth, FDpi);
    const int Height = ScaleForDpi(FormClientHeight, FDpi);
    const RECT Frame = CentredFrame(Monitor.rcWork, Width, Height, FDpi);
    PlaceClient(FHandle, Frame.left, Frame.top, Width, Height);
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

HWND TForm1::Control(int Id) const {
  if (FHandle == nullptr) return nullptr;
  for (const TControlRow& Row : MainFormControls()) {
    if (Row.Id != Id) continue;
    const HWND Parent = Row.ParentId == 0 ? FHandle : Control(Row.ParentId);
    return Parent != nullptr ? ::GetDlgItem(Parent, Id) : nullptr;
  }
  return nullptr;
}

void TForm1::CreateControls() {
  const HINSTANCE Instance = ::GetModuleHandleW(nullptr);
  for (const TControlRow& Row : MainFormControls()) {
    const TKindStyle Kind = StyleOf(Row.Kind);
    const HWND Parent = Row.ParentId == 0 ? FHandle : Control(Row.ParentId);
    const HWND Window =
        ::CreateWindowExW(Kind.ExStyle, Kind.ClassName, Wide(Row.Caption).c_str(),
                          WS_CHILD | WS_VISIBLE | Kind.Style, 0, 0, 0, 0, Parent,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(Row.Id)), Instance, nullptr);
    if (Window == nullptr) throw EWin32Error("CreateWindowExW");
    if (Row.Kind == TControlKind::GroupBox) ::SetWindowSubclass(Window, GroupBoxProc, 0, 0);
    if (Row.Kind == TControlKind::DropDownList || Row.Kind == TControlKind::DropDown) {
      for (const char* Item : MapTypeItems) {
        ::SendMessageW(Window, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(Item).c_str()));
      }
    }
    if (Row.Kind == TControlKind::Status) ::SendMessageW(Window, SB_SIMPLE, TRUE, 0);
    if (Row.Id == idBaseCBox) ::SendMessageW(Window, CB_SETCURSEL, FModel.BaseItemIndex(), 0);
    if (Row.Id == idTrgCBox) ::SendMessageW(Window, CB_SETCURSEL, FModel.TrgItemIndex(), 0);
  }
  // The first of the three check boxes of each group starts the group for the arrow keys.
  for (int F = 0; F < FacetCount; ++F) {
    const HWND First = MapCBox(static_cast<Facet>(F), msFull);
    ::SetWindowLongPtrW(First, GWL_STYLE, ::GetWindowLongPtrW(First, GWL_STYLE) | WS_GROUP);
  }
  const HWND FolderBtn = Control(idFolderBtn);
  ::SetWindowLongPtrW(FolderBtn, GWL_STYLE, ::GetWindowLongPtrW(FolderBtn, GWL_STYLE) | WS_GROUP);
}

void TForm1::LayOut(UINT Dpi) {
  // The font the controls have now goes only once they all have the new one.
  TFontHandle NewFont = CreateWindowFont(Dpi);
  const HFONT Font = NewFont.get();
  for (const TControlRow& Row : MainFormControls()) {
    const HWND Window = Control(Row.Id);
    ::SendMessageW(Window, WM_SETFONT, reinterpret_cast<WPARAM>(Font), FALSE);
    RECT Rect = ScaledRect(Row, Dpi);
    if (Row.Kind == TControlKind::Label) {
      const SIZE Text = TextSize(Window, Font);
      Rect.right = Rect.left + Text.cx;
      Rect.bottom = Rect.top + Text.cy;
    }
    const int Height = Rect.bottom - Rect.top;
    const bool Combo = Row.Kind == TControlKind::DropDownList || Row.Kind == TControlKind::DropDown;
    // A combo box's window spans its field and its dropped list; the list gets room for its
    // items.
    const int ListHeight =
        Combo ? DroppedItems * static_cast<int>(::SendMessageW(Window, CB_GETITEMHEIGHT, 0, 0)) +
                    ScaleForDpi(2, Dpi)
              : 0;
    ::SetWindowPos(Window, nullptr, Rect.left, Rect.top, Rect.right - Rect.left,
                   Height + ListHeight, SWP_NOZORDER | SWP_NOACTIVATE);
    if (Combo) FitComboField(Window, Height, Dpi);
    ::InvalidateRect(Window, nullptr, TRUE);
  }
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
      RECT Frame{0, 0, ScaleForDpi(FormClientWidth, static_cast<UINT>(WParam)),
                 ScaleForDpi(FormClientHeight, static_cast<UINT>(WParam))};
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
      PlaceClient(FHandle, Suggested->left, Suggested->top, ScaleForDpi(FormClientWidth, FDpi),
                  ScaleForDpi(FormClientHeight, FDpi));
      return 0;
    }
    case WM_ACTIVATE:
      // The focus leaves with the activation and comes back to where it was (at first the
      // first button), as in a dialog; the window itself may hold it, as during a run.
      if (LOWORD(WParam) == WA_INACTIVE) {
        const HWND Focused = ::GetFocus();
        if (Focused == FHandle || ::IsChild(FHandle, Focused)) FLastFocus = Focused;
      } else if (HIWORD(WParam) == 0) {
        const HWND Target = FLastFocus != nullptr ? FLastFocus : Control(idFolderBtn);
        ::SetFocus(::IsWindowEnabled(Target) ? Target : FHandle);
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
  if (Id >= idMapCBox0 && Id < idMapCBox0 + FacetCount * MapScaleCount) {
    if (Code != BN_CLICKED) return;
    const auto F = static_cast<Facet>((Id - idMapCBox0) / MapScaleCount);
    const auto S = static_cast<MapScale>((Id - idMapCBox0) % MapScaleCount);
    FModel.BoxClicked(F, S, ::SendMessageW(MapCBox(F, S), BM_GETCHECK, 0, 0) == BST_CHECKED);
    return;
  }
  if (Id >= idFolderBtn && Id <= idQuitBtn) {
    if (Code == BN_CLICKED) FModel.Execute(static_cast<TWindowAction>(Id - idFolderBtn));
    return;
  }
  const auto Selected = [this, Id] {
    return static_cast<int>(::SendMessageW(Control(Id), CB_GETCURSEL, 0, 0));
  };
  if (Id == idBaseCBox && Code == CBN_SELCHANGE) FModel.BaseSelected(Selected());
  if (Id == idTrgCBox && Code == CBN_SELCHANGE) FModel.TrgSelected(Selected());
  if (Id == idTrgCBox && Code == CBN_EDITCHANGE) FModel.TrgTextEdited();
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
      const HWND Box = MapCBox(F, S);
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
  return false;
}

// ---- TMainWindowView ------------------------------------------------------------------------

void TForm1::StateChanged() {
  for (int Id = idFolderBtn; Id <= idQuitBtn; ++Id) {
    ::EnableWindow(Control(Id), FModel.ActionEnabled(static_cast<TWindowAction>(Id - idFolderBtn)));
  }
  for (Facet F = 0; F < FacetCount; ++F) {
    for (MapScale S = 0; S < MapScaleCount; ++S) {
      ::EnableWindow(MapCBox(F, S), FModel.BoxEnabled(F, S));
      ::SendMessageW(MapCBox(F, S), BM_SETCHECK,
                     FModel.BoxTicked(F, S) ? BST_CHECKED : BST_UNCHECKED, 0);
    }
  }
  const auto Select = [this](int Id, int Item) {
    if (Item >= 0 && ::SendMessageW(Control(Id), CB_GETCURSEL, 0, 0) != Item) {
      ::SendMessageW(Control(Id), CB_SETCURSEL, Item, 0);
    }
  };
  Select(idBaseCBox, FModel.BaseItemIndex());
  // Typed text (no item) stays as typed.
  Select(idTrgCBox, FModel.TrgItemIndex());
  StatusChanged(false);
}

void TForm1::StatusChanged(bool PaintNow) {
  const HWND StsBar = Control(idStsBar);
  ::SendMessageW(StsBar, SB_SETTEXTW, SB_SIMPLEID,
                 reinterpret_cast<LPARAM>(Wide(FModel.StatusText()).c_str()));
  // Only the status bar has changed, so only it is painted now.
  if (PaintNow) ::UpdateWindow(StsBar);
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
  const HWND Focused = ::GetFocus();
  if (Focused == nullptr) return TFocusTarget::Other;
  if (Focused == FHandle) return TFocusTarget::Window;
  const int Id = ::GetDlgCtrlID(Focused);
  if (Id >= idFolderBtn && Id <= idQuitBtn && Focused == Control(Id)) {
    return static_cast<TFocusTarget>(static_cast<int>(TFocusTarget::FolderBtn) + Id - idFolderBtn);
  }
  return TFocusTarget::Other;
}

void TForm1::SetFocus(TFocusTarget Target) {
  if (Target == TFocusTarget::Window) {
    ::SetFocus(FHandle);
  } else if (Target >= TFocusTarget::FolderBtn) {
    ::SetFocus(Control(idFolderBtn + static_cast<int>(Target) -
                       static_cast<int>(TFocusTarget::FolderBtn)));
  }
}
