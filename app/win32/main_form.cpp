#include "app/win32/main_form.h"

#include <commctrl.h>

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
  switch (Message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
      return ::SendMessageW(::GetParent(Window), Message, WParam, LParam);
    default:
      return ::DefSubclassProc(Window, Message, WParam, LParam);
  }
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
  static const TWindowClass Class([] {
    WNDCLASSEXW Class{};
    Class.cbSize = sizeof Class;
    Class.lpfnWndProc = DefWindowProcW;  // replaced by the window's own at creation
    Class.hInstance = ::GetModuleHandleW(nullptr);
    // The program's icon (none in the tests, which carry no resources).
    Class.hIcon = static_cast<HICON>(
        ::LoadImageW(Class.hInstance, MAKEINTRESOURCEW(1), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
    Class.hIconSm = static_cast<HICON>(::LoadImageW(Class.hInstance, MAKEINTRESOURCEW(1),
                                                    IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                                                    ::GetSystemMetrics(SM_CYSMICON), 0));
    Class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    Class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    Class.lpszClassName = L"VeldrinForm1";
    return Class;
  }());
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

// Moves and sizes Window so that its client area is Width x Height with the frame's top left
// at Left, Top, whatever frame the system draws around it.
void PlaceClient(HWND Window, int Left, int Top, int Width, int Height) {
  RECT Frame{0, 0, Width, Height};
  ::AdjustWindowRectExForDpi(&Frame, FormStyle, FALSE, FormExStyle, ::GetDpiForWindow(Window));
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

}  // namespace

TForm1::TForm1() {
  FHandle = ::CreateWindowExW(FormExStyle, FormClassName(), L"Veldrin for UO:SE", FormStyle,
                              CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, nullptr, nullptr,
                              ::GetModuleHandleW(nullptr), nullptr);
  if (FHandle == nullptr) throw EWin32Error("CreateWindowExW");
  ::SetWindowLongPtrW(FHandle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  ::SetWindowLongPtrW(FHandle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WindowProc));
  CreateControls();
  FDpi = ::GetDpiForWindow(FHandle);
  LayOut(FDpi);

  MONITORINFO Monitor{};
  Monitor.cbSize = sizeof Monitor;
  ::GetMonitorInfoW(::MonitorFromWindow(FHandle, MONITOR_DEFAULTTOPRIMARY), &Monitor);
  const int Width = ScaleForDpi(FormClientWidth, FDpi);
  const int Height = ScaleForDpi(FormClientHeight, FDpi);
  const RECT Frame = CentredFrame(Monitor.rcWork, Width, Height, FDpi);
  PlaceClient(FHandle, Frame.left, Frame.top, Width, Height);
}

TForm1::~TForm1() {
  if (FHandle != nullptr) ::DestroyWindow(FHandle);
}

void TForm1::Show(int CmdShow) {
  ::ShowWindow(FHandle, CmdShow);
  ::UpdateWindow(FHandle);
}

HWND TForm1::Control(int Id) const {
  if (FHandle == nullptr) return nullptr;
  for (const TControlSpec& Spec : MainFormControls()) {
    if (Spec.Id != Id) continue;
    const HWND Parent = Spec.ParentId == 0 ? FHandle : Control(Spec.ParentId);
    return Parent != nullptr ? ::GetDlgItem(Parent, Id) : nullptr;
  }
  return nullptr;
}

void TForm1::CreateControls() {
  const HINSTANCE Instance = ::GetModuleHandleW(nullptr);
  for (const TControlSpec& Spec : MainFormControls()) {
    const TKindStyle Kind = StyleOf(Spec.Kind);
    const HWND Parent = Spec.ParentId == 0 ? FHandle : Control(Spec.ParentId);
    const HWND Window = ::CreateWindowExW(Kind.ExStyle, Kind.ClassName, Wide(Spec.Caption).c_str(),
                                          WS_CHILD | WS_VISIBLE | Kind.Style, 0, 0, 0, 0, Parent,
                                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(Spec.Id)),
                                          Instance, nullptr);
    if (Window == nullptr) throw EWin32Error("CreateWindowExW");
    if (Spec.Kind == TControlKind::GroupBox) ::SetWindowSubclass(Window, GroupBoxProc, 0, 0);
    if (Spec.Kind == TControlKind::DropDownList || Spec.Kind == TControlKind::DropDown) {
      for (const char* Item : MapTypeItems) {
        ::SendMessageW(Window, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(Item).c_str()));
      }
    }
    if (Spec.Kind == TControlKind::Status) ::SendMessageW(Window, SB_SIMPLE, TRUE, 0);
    if (Spec.Id == idBaseCBox) ::SendMessageW(Window, CB_SETCURSEL, mtNormal, 0);
    if (Spec.Id == idTrgCBox) ::SendMessageW(Window, CB_SETCURSEL, mtXRay, 0);
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
  FFont = CreateWindowFont(Dpi);
  const HFONT Font = FFont.get();
  for (const TControlSpec& Spec : MainFormControls()) {
    const HWND Window = Control(Spec.Id);
    ::SendMessageW(Window, WM_SETFONT, reinterpret_cast<WPARAM>(Font), FALSE);
    RECT Rect = ScaledRect(Spec, Dpi);
    if (Spec.Kind == TControlKind::Label) {
      const SIZE Text = TextSize(Window, Font);
      Rect.right = Rect.left + Text.cx;
      Rect.bottom = Rect.top + Text.cy;
    }
    const int Height = Rect.bottom - Rect.top;
    const bool Combo =
        Spec.Kind == TControlKind::DropDownList || Spec.Kind == TControlKind::DropDown;
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
}

LRESULT CALLBACK TForm1::WindowProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
  auto* Form = reinterpret_cast<TForm1*>(::GetWindowLongPtrW(Window, GWLP_USERDATA));
  if (Form == nullptr) return ::DefWindowProcW(Window, Message, WParam, LParam);
  return Form->HandleMessage(Message, WParam, LParam);
}

LRESULT TForm1::HandleMessage(UINT Message, WPARAM WParam, LPARAM LParam) {
  switch (Message) {
    case WM_DPICHANGED: {
      const auto* Suggested = reinterpret_cast<const RECT*>(LParam);
      FDpi = LOWORD(WParam);
      LayOut(FDpi);
      PlaceClient(FHandle, Suggested->left, Suggested->top, ScaleForDpi(FormClientWidth, FDpi),
                  ScaleForDpi(FormClientHeight, FDpi));
      return 0;
    }
    case WM_CLOSE:
      ::DestroyWindow(FHandle);
      return 0;
    case WM_NCDESTROY: {
      const HWND Window = FHandle;
      FHandle = nullptr;
      ::SetWindowLongPtrW(Window, GWLP_USERDATA, 0);
      return ::DefWindowProcW(Window, Message, WParam, LParam);
    }
    default:
      break;
  }
  return ::DefWindowProcW(FHandle, Message, WParam, LParam);
}
