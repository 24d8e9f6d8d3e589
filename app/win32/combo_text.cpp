#include "app/win32/combo_text.h"

#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

// How far below the top of a band Height pixels high a line of the font selected into Dc starts
// so that the font's em box (where its glyphs' ink lies, whatever room the font keeps above and
// below it) sits in the band's middle. Own is where the box itself starts the line: it stays
// where that is at most a pixel above the middle (as at 96 DPI); otherwise the line moves down to
// the middle, rounded towards the top.
int CentredLineTop(HDC Dc, int Height, int Own) {
  TEXTMETRICW Metrics{};
  ::GetTextMetricsW(Dc, &Metrics);
  double EmMiddle = Metrics.tmHeight / 2.0;
  const UINT Size = ::GetOutlineTextMetricsW(Dc, 0, nullptr);
  if (Size >= sizeof(OUTLINETEXTMETRICW)) {
    std::vector<char> Buffer(Size);
    auto* Outline = reinterpret_cast<OUTLINETEXTMETRICW*>(Buffer.data());
    if (::GetOutlineTextMetricsW(Dc, Size, Outline) != 0) {
      EmMiddle = Metrics.tmAscent - (Outline->otmAscent + Outline->otmDescent) / 2.0;
    }
  }
  const double Middle = Height / 2.0 - EmMiddle;
  return Middle - Own > 1.0 ? static_cast<int>(std::floor(Middle)) : Own;
}

// The margin above the text of an edit control Height pixels high.
int EditMargin(HWND Edit, int Height) {
  const HDC Dc = ::GetDC(Edit);
  const HGDIOBJ Old =
      ::SelectObject(Dc, reinterpret_cast<HFONT>(::SendMessageW(Edit, WM_GETFONT, 0, 0)));
  const int Margin = CentredLineTop(Dc, Height, 0);
  ::SelectObject(Dc, Old);
  ::ReleaseDC(Edit, Dc);
  return Margin;
}

// The margin is non-client area: the edit control keeps its text, caret and selection at the top
// of its client area, and the combo box may place and size it as it likes.
LRESULT CALLBACK CentredEditProc(HWND Edit, UINT Message, WPARAM WParam, LPARAM LParam, UINT_PTR,
                                 DWORD_PTR) {
  switch (Message) {
    case WM_NCCALCSIZE: {
      const LRESULT Result = ::DefSubclassProc(Edit, Message, WParam, LParam);
      // The first rectangle either way: the window's new one, made the client area's.
      RECT& Client = *reinterpret_cast<RECT*>(LParam);
      Client.top =
          std::min(Client.bottom, Client.top + EditMargin(Edit, Client.bottom - Client.top));
      return Result;
    }
    case WM_NCPAINT: {
      RECT Window, Client;
      ::GetWindowRect(Edit, &Window);
      ::GetClientRect(Edit, &Client);
      ::MapWindowPoints(Edit, nullptr, reinterpret_cast<POINT*>(&Client), 2);
      const RECT Margin{0, 0, Window.right - Window.left, Client.top - Window.top};
      if (Margin.bottom <= 0) return 0;
      const HDC Dc = ::GetWindowDC(Edit);
      // The brush the control paints its own background with, as it asks for it.
      const bool Editable =
          ::IsWindowEnabled(Edit) && (::GetWindowLongW(Edit, GWL_STYLE) & ES_READONLY) == 0;
      auto Brush = reinterpret_cast<HBRUSH>(
          ::SendMessageW(::GetParent(Edit), Editable ? WM_CTLCOLOREDIT : WM_CTLCOLORSTATIC,
                         reinterpret_cast<WPARAM>(Dc), reinterpret_cast<LPARAM>(Edit)));
      if (Brush == nullptr) Brush = ::GetSysColorBrush(Editable ? COLOR_WINDOW : COLOR_BTNFACE);
      ::FillRect(Dc, &Margin, Brush);
      ::ReleaseDC(Edit, Dc);
      return 0;
    }
    case WM_NCHITTEST:
      // A click on the margin is one on the text field.
      return HTCLIENT;
    case WM_SETFONT: {
      const LRESULT Result = ::DefSubclassProc(Edit, Message, WParam, LParam);
      ::SetWindowPos(Edit, nullptr, 0, 0, 0, 0,
                     SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      return Result;
    }
    default:
      return ::DefSubclassProc(Edit, Message, WParam, LParam);
  }
}

std::wstring ItemText(HWND Combo, UINT Item) {
  const auto Length = ::SendMessageW(Combo, CB_GETLBTEXTLEN, Item, 0);
  if (Length <= 0) return {};
  std::wstring Text(static_cast<std::size_t>(Length) + 1, L'\0');
  ::SendMessageW(Combo, CB_GETLBTEXT, Item, reinterpret_cast<LPARAM>(Text.data()));
  Text.resize(static_cast<std::size_t>(Length));
  return Text;
}

}  // namespace

void CentreEditText(HWND Combo) {
  COMBOBOXINFO Info{};
  Info.cbSize = sizeof Info;
  if (!::GetComboBoxInfo(Combo, &Info) || Info.hwndItem == nullptr) return;
  ::SetWindowSubclass(Info.hwndItem, CentredEditProc, 0, 0);
  ::SetWindowPos(Info.hwndItem, nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool DrawComboItem(const DRAWITEMSTRUCT& Item) {
  if (Item.CtlType != ODT_COMBOBOX) return false;
  const HDC Dc = Item.hDC;
  const RECT& Rect = Item.rcItem;
  // The colours the box has chosen already, but for a selected item's and a disabled one's; the
  // box's own stay for its next item.
  const COLORREF OldText = ::GetTextColor(Dc), OldBack = ::GetBkColor(Dc);
  if ((Item.itemState & ODS_SELECTED) != 0) {
    ::SetBkColor(Dc, ::GetSysColor(COLOR_HIGHLIGHT));
    ::SetTextColor(Dc, ::GetSysColor(COLOR_HIGHLIGHTTEXT));
  } else if ((Item.itemState & ODS_DISABLED) != 0) {
    ::SetTextColor(Dc, ::GetSysColor(COLOR_GRAYTEXT));
  }
  const std::wstring Text =
      Item.itemID == static_cast<UINT>(-1) ? std::wstring() : ItemText(Item.hwndItem, Item.itemID);
  // A list item is as high as the font's line; the closed field is the line the box's height
  // leaves, its text a pixel in from the corner where the box draws it.
  const bool Field = (Item.itemState & ODS_COMBOBOXEDIT) != 0;
  const int Top = Rect.top + (Field ? CentredLineTop(Dc, Rect.bottom - Rect.top, 1) : 0);
  ::ExtTextOutW(Dc, Rect.left + 1, Top, ETO_OPAQUE | ETO_CLIPPED, &Rect, Text.c_str(),
                static_cast<UINT>(Text.size()), nullptr);
  if ((Item.itemState & ODS_FOCUS) != 0) ::DrawFocusRect(Dc, &Rect);
  ::SetTextColor(Dc, OldText);
  ::SetBkColor(Dc, OldBack);
  return true;
}

void FitComboListItems(HWND Combo, HFONT Font) {
  const HDC Dc = ::GetDC(Combo);
  const HGDIOBJ Old = ::SelectObject(Dc, Font);
  TEXTMETRICW Metrics{};
  ::GetTextMetricsW(Dc, &Metrics);
  ::SelectObject(Dc, Old);
  ::ReleaseDC(Combo, Dc);
  ::SendMessageW(Combo, CB_SETITEMHEIGHT, 0, Metrics.tmHeight);
}
