// The Win32 main window's controls where the window's table puts them, read back from the real
// windows: at 96 DPI and after a move to a monitor of 144 DPI.

#include <gtest/gtest.h>

#include <string>

#include "app/win32/main_form.h"
#include "win32_fixture.h"

namespace {

struct TLayoutRow {
  const char* Name;
  int Id;
  int Left, Top, Width, Height;  // in the parent; 0 x 0: a label, whose size follows its text
  const wchar_t* Caption;        // null: not checked
};

// The window's control table, written out.
const TLayoutRow LayoutRows[] = {
    {"Panel1", idPanel1, 0, 0, 318, 29, nullptr},
    {"FolderBtn", idFolderBtn, 4, 4, 45, 21, L"&Folder"},
    {"MakeBtn", idMakeBtn, 52, 4, 45, 21, L"&Make"},
    {"CancelBtn", idCancelBtn, 100, 4, 45, 21, L"&Cancel"},
    {"AboutBtn", idAboutBtn, 148, 4, 45, 21, L"&About"},
    {"QuitBtn", idQuitBtn, 266, 4, 47, 21, L"Quit"},
    {"BaseCBox", idBaseCBox, 4, 32, 117, 20, L"通常モード"},
    {"Label1", idLabel1, 128, 36, 0, 0, L"をベースにグリッドマップを作成して"},
    {"TrgCBox", idTrgCBox, 4, 56, 117, 20, L"Ｘ線モード"},
    {"Label2", idLabel2, 128, 60, 0, 0, L"にグリッドマップを設定する"},
    {"FTGBox", idFTGBox, 4, 80, 153, 41, L"フェルッカ＆トラメル"},
    {"MGBox", idMGBox, 160, 80, 153, 41, L"マラス"},
    {"IGBox", idIGBox, 4, 124, 153, 41, L"イルシェナー"},
    {"TkGBox", idTkGBox, 160, 124, 153, 41, L"徳之島"},
    {"FT1CBox", MapCBoxId(0, 0), 8, 16, 49, 17, L"等倍"},
    {"FT2CBox", MapCBoxId(0, 1), 60, 16, 41, 17, L"1/2"},
    {"FT4CBox", MapCBoxId(0, 2), 104, 16, 45, 17, L"1/4"},
    {"I1CBox", MapCBoxId(1, 0), 8, 16, 49, 17, L"等倍"},
    {"I2CBox", MapCBoxId(1, 1), 60, 16, 41, 17, L"1/2"},
    {"I4CBox", MapCBoxId(1, 2), 104, 16, 45, 17, L"1/4"},
    {"M1CBox", MapCBoxId(2, 0), 8, 16, 49, 17, L"等倍"},
    {"M2CBox", MapCBoxId(2, 1), 60, 16, 41, 17, L"1/2"},
    {"M4CBox", MapCBoxId(2, 2), 104, 16, 45, 17, L"1/4"},
    {"Tk1CBox", MapCBoxId(3, 0), 8, 16, 49, 17, L"等倍"},
    {"Tk2CBox", MapCBoxId(3, 1), 60, 16, 41, 17, L"1/2"},
    {"Tk4CBox", MapCBoxId(3, 2), 104, 16, 45, 17, L"1/4"},
    {"StsBar", idStsBar, 0, 168, 318, 19, L""},
};

void ExpectLayout(const TForm1& Form, int Dpi) {
  const auto Scale = [Dpi](int Value) { return ::MulDiv(Value, Dpi, 96); };
  RECT Client;
  ::GetClientRect(Form.Handle(), &Client);
  EXPECT_EQ(Client.right, Scale(318));
  EXPECT_EQ(Client.bottom, Scale(187));
  for (const TLayoutRow& Row : LayoutRows) {
    SCOPED_TRACE(std::string(Row.Name) + " at " + std::to_string(Dpi) + " DPI");
    const HWND Control = Form.Control(Row.Id);
    ASSERT_NE(Control, nullptr);
    const RECT Rect = win32test::RectInParent(Control);
    EXPECT_EQ(Rect.left, Scale(Row.Left));
    EXPECT_EQ(Rect.top, Scale(Row.Top));
    if (Row.Width > 0) {
      EXPECT_EQ(Rect.right - Rect.left, Scale(Row.Width));
      EXPECT_EQ(Rect.bottom - Rect.top, Scale(Row.Height));
    } else {  // a label: one line of its text, within the window
      EXPECT_GT(Rect.right - Rect.left, Scale(100));
      EXPECT_LE(Rect.right, Scale(318));
      EXPECT_GE(Rect.bottom - Rect.top, Scale(12));
    }
    if (Row.Caption != nullptr) {
      EXPECT_EQ(win32test::WindowText(Control), Row.Caption);
    }
  }
}

TEST(Win32WindowLayout, EveryControlSitsWhereTheTableSaysAtEachDpiItMovesTo) {
  TForm1 Form;
  EXPECT_EQ(win32test::WindowText(Form.Handle()), L"Veldrin for UO:SE");
  ASSERT_EQ(Form.Dpi(), 96u) << "the tests' display is not at 96 DPI";
  ExpectLayout(Form, 96);

  // What Windows does when the window moves to a monitor of another scale: it asks the size
  // there, then suggests a rectangle of that size.
  for (const UINT Dpi : {144u, 192u, 96u}) {
    SIZE Size{};
    ASSERT_TRUE(::SendMessageW(Form.Handle(), WM_GETDPISCALEDSIZE, Dpi,
                               reinterpret_cast<LPARAM>(&Size)));
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
    ExpectLayout(Form, Dpi);
  }
}

}  // namespace
