// The Win32 windows' controls where their tables put them, read back from the real windows: the
// main window at 96 DPI and after moves to monitors of other scales, with its combo boxes' text
// read from the screen, the About dialog at 96 DPI.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "app/win32/about_form.h"
#include "app/win32/control_layout.h"
#include "app/win32/main_form.h"
#include "app/win32/wide_text.h"
#include "win32_fixture.h"

namespace {

// Controls[Row] is the window of the table's row.
void ExpectLayout(std::span<const TControlRow> Rows, const std::vector<HWND>& Controls, int Dpi) {
  const auto Scale = [Dpi](int Value) { return ::MulDiv(Value, Dpi, 96); };
  RECT Client;
  ::GetClientRect(Controls[0], &Client);
  EXPECT_EQ(Client.right, Scale(Rows[0].Rect.Width));
  EXPECT_EQ(Client.bottom, Scale(Rows[0].Rect.Height));
  EXPECT_EQ(win32test::WindowText(Controls[0]), Wide(Rows[0].Caption));
  for (std::size_t Row = 1; Row < Rows.size(); ++Row) {
    const TControlRow& Each = Rows[Row];
    SCOPED_TRACE(std::string(Each.Name) + " at " + std::to_string(Dpi) + " DPI");
    const HWND Control = Controls[Row];
    ASSERT_NE(Control, nullptr);
    EXPECT_EQ(::GetParent(Control), Controls[static_cast<std::size_t>(Each.Parent)]);
    const RECT Rect = win32test::RectInParent(Control);
    EXPECT_EQ(Rect.left, Scale(Each.Rect.Left));
    EXPECT_EQ(Rect.top, Scale(Each.Rect.Top));
    if (Each.Kind == TControlKind::Label) {  // one line of its text, within the window
      EXPECT_GT(Rect.right - Rect.left, Scale(100));
      EXPECT_LE(Rect.right, Scale(Rows[0].Rect.Width));
      EXPECT_GE(Rect.bottom - Rect.top, Scale(12));
    } else {
      EXPECT_EQ(Rect.right - Rect.left, Scale(Each.Rect.Width));
      if (Each.Kind == TControlKind::CentredLabel) {  // at least the font's line
        EXPECT_GE(Rect.bottom - Rect.top, Scale(Each.Rect.Height));
      } else {
        EXPECT_EQ(Rect.bottom - Rect.top, Scale(Each.Rect.Height));
      }
    }
    // A combo box shows its item, a status bar its text.
    if (Each.Kind != TControlKind::DropDown && Each.Kind != TControlKind::DropDownList &&
        Each.Kind != TControlKind::Status) {
      EXPECT_EQ(win32test::WindowText(Control), Wide(MarkedCaption(Each)));
    }
  }
}

// The dialog keyboard walks a parent's tab stops in window order: the table's tab positions.
void ExpectTabOrder(std::span<const TControlRow> Rows, const std::vector<HWND>& Controls) {
  for (std::size_t Parent = 0; Parent < Rows.size(); ++Parent) {
    std::vector<int> Positions;
    for (HWND Child = ::GetWindow(Controls[Parent], GW_CHILD); Child != nullptr;
         Child = ::GetWindow(Child, GW_HWNDNEXT)) {
      for (std::size_t Row = 0; Row < Rows.size(); ++Row) {
        if (Controls[Row] == Child && Rows[Row].TabPosition >= 0) {
          Positions.push_back(Rows[Row].TabPosition);
        }
      }
    }
    for (std::size_t I = 0; I < Positions.size(); ++I) {
      EXPECT_EQ(Positions[I], static_cast<int>(I)) << Rows[Parent].Name;
    }
  }
}

// How many rows of a combo box's field lie above its text's ink and below it, read from the
// screen: the ink is what differs, inside the box's text area, from the area's background right
// of the text.
struct TInkGaps {
  int Above, Below;
};

TInkGaps TextInkGaps(HWND Combo) {
  COMBOBOXINFO Info{};
  Info.cbSize = sizeof Info;
  EXPECT_TRUE(::GetComboBoxInfo(Combo, &Info));
  const RECT Field = win32test::RectInParent(Combo);
  const int Width = Field.right - Field.left, Height = Field.bottom - Field.top;
  BITMAPINFO Bitmap{};
  Bitmap.bmiHeader = {sizeof(BITMAPINFOHEADER), Width, -Height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  const HDC Screen = ::GetDC(::GetParent(Combo));
  const HDC Memory = ::CreateCompatibleDC(Screen);
  void* Bits = nullptr;
  const HBITMAP Section = ::CreateDIBSection(Memory, &Bitmap, DIB_RGB_COLORS, &Bits, nullptr, 0);
  const HGDIOBJ Old = ::SelectObject(Memory, Section);
  ::BitBlt(Memory, 0, 0, Width, Height, Screen, Field.left, Field.top, SRCCOPY);
  ::GdiFlush();
  const auto* Pixels = static_cast<const std::uint32_t*>(Bits);
  const auto At = [&](int X, int Y) { return Pixels[static_cast<std::size_t>(Y * Width + X)]; };
  const RECT Text = Info.rcItem;
  const std::uint32_t Background = At(Text.right - 2, (Text.top + Text.bottom) / 2);
  int First = -1, Last = -1;
  for (int Y = static_cast<int>(Text.top); Y < Text.bottom; ++Y) {
    for (int X = static_cast<int>(Text.left); X < Text.right - 2; ++X) {
      if (At(X, Y) == Background) continue;
      if (First < 0) First = Y;
      Last = Y;
      break;
    }
  }
  ::SelectObject(Memory, Old);
  ::DeleteObject(Section);
  ::DeleteDC(Memory);
  ::ReleaseDC(::GetParent(Combo), Screen);
  EXPECT_GE(First, 0) << "no text in the field";
  return {First, Height - 1 - Last};
}

// Both combo boxes show their text in the middle of their fields, to within a pixel: the list's
// own selection and the edit control of the box that takes typing.
void ExpectComboTextCentred(const TForm1& Form, UINT Dpi) {
  ::UpdateWindow(Form.Handle());
  for (const TMainControl Box : {TMainControl::BaseCBox, TMainControl::TrgCBox}) {
    const TInkGaps Gaps = TextInkGaps(Form.Control(Box));
    SCOPED_TRACE(std::string(ControlRow(Box).Name) + " at " + std::to_string(Dpi) + " DPI");
    EXPECT_LE(std::abs(Gaps.Above - Gaps.Below), 1)
        << Gaps.Above << " rows above the text, " << Gaps.Below << " below";
  }
}

std::vector<HWND> MainWindows(const TForm1& Form) {
  std::vector<HWND> Windows;
  for (int Row = 0; Row < MainControlCount; ++Row) {
    Windows.push_back(Form.Control(static_cast<TMainControl>(Row)));
  }
  return Windows;
}

TEST(Win32WindowLayout, EveryControlSitsWhereTheTableSaysAtEachDpiItMovesTo) {
  TForm1 Form;
  ASSERT_EQ(Form.Dpi(), 96u) << "the tests' display is not at 96 DPI";
  Form.Show();
  ExpectLayout(MainFormControls(), MainWindows(Form), 96);
  ExpectComboTextCentred(Form, 96);
  ExpectTabOrder(MainFormControls(), MainWindows(Form));

  // What Windows does when the window moves to a monitor of another scale: it asks the size
  // there, then suggests a rectangle of that size.
  for (const UINT Dpi : {144u, 192u, 96u}) {
    SIZE Size{};
    ASSERT_TRUE(
        ::SendMessageW(Form.Handle(), WM_GETDPISCALEDSIZE, Dpi, reinterpret_cast<LPARAM>(&Size)));
    RECT Frame{0, 0, ::MulDiv(318, static_cast<int>(Dpi), 96),
               ::MulDiv(187, static_cast<int>(Dpi), 96)};
    ::AdjustWindowRectExForDpi(
        &Frame, static_cast<DWORD>(::GetWindowLongW(Form.Handle(), GWL_STYLE)), FALSE,
        static_cast<DWORD>(::GetWindowLongW(Form.Handle(), GWL_EXSTYLE)), Dpi);
    EXPECT_EQ(Size.cx, Frame.right - Frame.left) << Dpi;
    EXPECT_EQ(Size.cy, Frame.bottom - Frame.top) << Dpi;
    RECT Suggested{40, 30, 40 + Size.cx, 30 + Size.cy};
    ::SendMessageW(Form.Handle(), WM_DPICHANGED, MAKEWPARAM(Dpi, Dpi),
                   reinterpret_cast<LPARAM>(&Suggested));
    EXPECT_EQ(Form.Dpi(), Dpi);
    ExpectLayout(MainFormControls(), MainWindows(Form), static_cast<int>(Dpi));
    ExpectComboTextCentred(Form, Dpi);
  }

  const TAboutForm About(Form.Handle());
  std::vector<HWND> AboutWindows;
  for (int Row = 0; Row < AboutControlCount; ++Row) {
    AboutWindows.push_back(About.Control(static_cast<TAboutControl>(Row)));
  }
  ExpectLayout(AboutFormControls(), AboutWindows, 96);
}

}  // namespace
