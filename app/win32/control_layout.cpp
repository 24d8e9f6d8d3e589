#include "app/win32/control_layout.h"

#include <commctrl.h>

#include <algorithm>
#include <string>

#include "app/win32/combo_text.h"
#include "app/win32/panel.h"
#include "app/win32/wide_text.h"
#include "app/win32/win32_handles.h"
#include "app/win32/window_font.h"

namespace {

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
    case TControlKind::Bevel:  // behind the labels, and painting around them
      return {PanelClassName(), WS_CLIPSIBLINGS, 0};
    case TControlKind::Button:
      return {WC_BUTTONW, BS_PUSHBUTTON | WS_TABSTOP, 0};
    case TControlKind::DefaultButton:
      return {WC_BUTTONW, BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, 0};
    case TControlKind::DropDownList:
      return {WC_COMBOBOXW,
              CBS_DROPDOWNLIST | CentredListStyle | WS_VSCROLL | WS_TABSTOP | WS_GROUP, 0};
    case TControlKind::DropDown:
      return {WC_COMBOBOXW, CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP | WS_GROUP, 0};
    case TControlKind::Label:
      return {WC_STATICW, SS_LEFT | SS_NOPREFIX, 0};
    case TControlKind::CentredLabel:
      return {WC_STATICW, SS_CENTER | SS_NOPREFIX, 0};
    case TControlKind::GroupBox:
      return {WC_BUTTONW, BS_GROUPBOX | WS_GROUP, WS_EX_CONTROLPARENT};
    case TControlKind::CheckBox:
      return {WC_BUTTONW, BS_AUTOCHECKBOX | WS_TABSTOP, 0};
    case TControlKind::Status:
      return {STATUSCLASSNAMEW, CCS_NOPARENTALIGN | CCS_NORESIZE | CCS_NODIVIDER, 0};
    case TControlKind::Form:
      break;
  }
  return {};
}

HWND CreateChild(HWND Parent, const TControlRow& Row, int Id) {
  const TKindStyle Kind = StyleOf(Row.Kind);
  // The first tab stop of a container starts a group for the arrow keys.
  const DWORD Group = Row.TabPosition == 0 ? WS_GROUP : 0;
  const HWND Window = ::CreateWindowExW(
      Kind.ExStyle, Kind.ClassName, Wide(MarkedCaption(Row)).c_str(),
      WS_CHILD | WS_VISIBLE | Kind.Style | Group, 0, 0, 0, 0, Parent,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(Id)), ::GetModuleHandleW(nullptr), nullptr);
  if (Window == nullptr) throw EWin32Error("CreateWindowExW");
  switch (Row.Kind) {
    case TControlKind::GroupBox:
      ::SetWindowSubclass(Window, GroupBoxProc, 0, 0);
      break;
    case TControlKind::DropDownList:
    case TControlKind::DropDown:
      for (const char* Item : MapTypeItems) {
        ::SendMessageW(Window, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(Item).c_str()));
      }
      if (Row.Kind == TControlKind::DropDown) CentreEditText(Window);
      break;
    case TControlKind::Status:
      ::SendMessageW(Window, SB_SIMPLE, TRUE, 0);
      break;
    case TControlKind::Bevel:
      ::SetWindowPos(Window, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
      break;
    default:
      break;
  }
  return Window;
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

// The size of Control's text in Font, and the height of the font's line.
SIZE TextSize(HWND Control, HFONT Font, LONG& LineHeight) {
  const int Length = ::GetWindowTextLengthW(Control);
  std::wstring Text(static_cast<std::size_t>(Length) + 1, L'\0');
  ::GetWindowTextW(Control, Text.data(), Length + 1);
  const HDC Dc = ::GetDC(Control);
  const HGDIOBJ Old = ::SelectObject(Dc, Font);
  SIZE Size{};
  ::GetTextExtentPoint32W(Dc, Text.c_str(), Length, &Size);
  TEXTMETRICW Metrics{};
  ::GetTextMetricsW(Dc, &Metrics);
  LineHeight = Metrics.tmHeight;
  ::SelectObject(Dc, Old);
  ::ReleaseDC(Control, Dc);
  return Size;
}

RECT ScaledRect(const TRect96& Rect, UINT Dpi) {
  const int Left = ScaleForDpi(Rect.Left, Dpi);
  const int Top = ScaleForDpi(Rect.Top, Dpi);
  return {Left, Top, Left + ScaleForDpi(Rect.Width, Dpi), Top + ScaleForDpi(Rect.Height, Dpi)};
}

void PlaceControl(const TControlRow& Row, HWND Window, HFONT Font, UINT Dpi) {
  ::SendMessageW(Window, WM_SETFONT, reinterpret_cast<WPARAM>(Font), FALSE);
  RECT Rect = ScaledRect(Row.Rect, Dpi);
  if (Row.Kind == TControlKind::Label || Row.Kind == TControlKind::CentredLabel) {
    LONG LineHeight = 0;
    const SIZE Text = TextSize(Window, Font, LineHeight);
    if (Row.Kind == TControlKind::Label) {
      Rect.right = Rect.left + Text.cx;
      Rect.bottom = Rect.top + Text.cy;
    } else {
      Rect.bottom = Rect.top + std::max(Rect.bottom - Rect.top, LineHeight);
    }
  }
  const int Height = Rect.bottom - Rect.top;
  const bool Combo = Row.Kind == TControlKind::DropDownList || Row.Kind == TControlKind::DropDown;
  if (Row.Kind == TControlKind::DropDownList) FitComboListItems(Window, Font);
  // A combo box's window spans its field and its dropped list; the list gets room for its
  // items.
  const int ListHeight =
      Combo ? DroppedItems * static_cast<int>(::SendMessageW(Window, CB_GETITEMHEIGHT, 0, 0)) +
                  ScaleForDpi(2, Dpi)
            : 0;
  ::SetWindowPos(Window, nullptr, Rect.left, Rect.top, Rect.right - Rect.left, Height + ListHeight,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  if (Combo) FitComboField(Window, Height, Dpi);
  ::InvalidateRect(Window, nullptr, TRUE);
}

}  // namespace

int ControlId(std::span<const TControlRow> Rows, int Row) {
  return Rows[static_cast<std::size_t>(Row)].Kind == TControlKind::DefaultButton ? IDOK : 100 + Row;
}

int ControlId(TAboutControl Control) {
  return ControlId(AboutFormControls(), static_cast<int>(Control));
}

std::vector<HWND> CreateChildControls(HWND Form, std::span<const TControlRow> Rows) {
  std::vector<HWND> Controls{Form};
  for (int Row = 1; Row < static_cast<int>(Rows.size()); ++Row) {
    const TControlRow& Each = Rows[static_cast<std::size_t>(Row)];
    Controls.push_back(
        CreateChild(Controls[static_cast<std::size_t>(Each.Parent)], Each, ControlId(Rows, Row)));
  }
  return Controls;
}

void LayOutControls(std::span<const TControlRow> Rows, const std::vector<HWND>& Controls,
                    HFONT Font, UINT Dpi) {
  for (std::size_t Row = 1; Row < Rows.size(); ++Row) {
    PlaceControl(Rows[Row], Controls[Row], Font, Dpi);
  }
}
