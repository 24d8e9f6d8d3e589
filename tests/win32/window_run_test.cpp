// The Win32 main window driven through its messages: the boxes, the combo boxes and the buttons
// as the user's clicks reach them, runs started with Make over sample maps, and Cancel and a
// close request arriving between two rows of a run.

#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "app/win32/control_layout.h"
#include "app/win32/error_display.h"
#include "app/win32/main_form.h"
#include "platform/files.h"
#include "sample_folder.h"
#include "support/temp_dir.h"
#include "support/test_watchdog.h"
#include "win32_fixture.h"

namespace {

using win32test::WindowText;
using enum TMainControl;

std::wstring StatusText(const TForm1& Form) {
  return win32test::StatusBarText(Form.Control(StsBar));
}

bool Enabled(const TForm1& Form, TMainControl Row) {
  return ::IsWindowEnabled(Form.Control(Row)) != FALSE;
}

HWND MapCBox(const TForm1& Form, Facet F, MapScale S) {
  return Form.Control(MapCBoxControl(F, S));
}

bool Ticked(HWND Box) {
  return ::SendMessageW(Box, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// A click that reaches a control as the user's would: a combo box's selection notifies the
// window as the list does.
void Click(HWND Control) {
  ::SendMessageW(Control, BM_CLICK, 0, 0);
}
void Select(const TForm1& Form, TMainControl Row, int Item) {
  ::SendMessageW(Form.Control(Row), CB_SETCURSEL, Item, 0);
  ::SendMessageW(Form.Handle(), WM_COMMAND, MAKEWPARAM(ControlId(Row), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(Form.Control(Row)));
}

class Win32WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetErrorHandler([this](HWND, const std::string& Message) { Errors.push_back(Message); });
  }
  void TearDown() override { SetErrorHandler({}); }

  // The window over Folder, shown as the program shows it.
  TForm1& ShowWindow(const std::string& MapFolder) {
    Form.Model().MapFolder = MapFolder;
    Form.Show();
    return Form;
  }
  std::string Folder() const { return testsupport::Utf8Of(Dir.Path()); }
  bool Exists(const char* Name) const { return FileExists(Folder() + "\\" + Name); }

  testsupport::TTempDir Dir;
  TForm1 Form;
  std::vector<std::string> Errors;
};

TEST_F(Win32WindowTest, BoxesFollowTheBaseFilesAndMakeTheTicksWhileTypedTextMeansXRay) {
  win32test::WriteSample(Folder(), fcIlshenar, msQuarter);
  win32test::WriteSample(Folder(), fcTokuno, msQuarter);
  TForm1& W = ShowWindow(Folder());
  for (Facet F = 0; F < FacetCount; ++F) {
    for (MapScale S = 0; S < MapScaleCount; ++S) {
      EXPECT_EQ(::IsWindowEnabled(MapCBox(W, F, S)) != FALSE, S == msQuarter && F % 2 == 1)
          << int(F) << "," << int(S);
    }
  }
  EXPECT_FALSE(Enabled(W, MakeBtn));
  EXPECT_FALSE(Enabled(W, CancelBtn));
  Click(MapCBox(W, fcTokuno, msQuarter));
  EXPECT_TRUE(Ticked(MapCBox(W, fcTokuno, msQuarter)));
  EXPECT_TRUE(Enabled(W, MakeBtn));

  // Another base type without files: the boxes go, the tick stays, Make goes.
  Select(W, BaseCBox, mtNoStatics);
  EXPECT_FALSE(::IsWindowEnabled(MapCBox(W, fcTokuno, msQuarter)));
  EXPECT_TRUE(Ticked(MapCBox(W, fcTokuno, msQuarter)));
  EXPECT_FALSE(Enabled(W, MakeBtn));
  Select(W, BaseCBox, mtNormal);
  EXPECT_TRUE(Enabled(W, MakeBtn));

  // The target box: a selection is the target type; typed text makes it X-ray unseen.
  Select(W, TrgCBox, mtNormal);
  EXPECT_EQ(W.Model().GetTrgMapType(), mtNormal);
  const HWND Edit = ::FindWindowExW(W.Control(TrgCBox), nullptr, L"Edit", nullptr);
  ASSERT_NE(Edit, nullptr);
  ::SendMessageW(Edit, WM_CHAR, L'x', 0);
  EXPECT_EQ(W.Model().TrgItemIndex(), -1);
  EXPECT_EQ(W.Model().GetTrgMapType(), mtXRay);
  const std::wstring Typed = WindowText(W.Control(TrgCBox));
  EXPECT_NE(Typed.find(L'x'), std::wstring::npos);
  Click(MapCBox(W, fcTokuno, msQuarter));  // the window shows the model's state anew
  EXPECT_EQ(WindowText(W.Control(TrgCBox)), Typed);
}

// A run started by clicking Make writes the maps of the ticked boxes; with
// VELDRIN_WINDOW_RESULTS set the run works in that folder, whose files a script then compares
// with those of the Linux build's veldrin-grid over the same sample.
TEST_F(Win32WindowTest, ARunStartedWithMakeWritesTheTickedMapsAndEndsWithTheFinalText) {
  const char* Results = std::getenv("VELDRIN_WINDOW_RESULTS");
  const std::string MapFolder = Results != nullptr ? std::string(Results) : Folder();
  win32test::WriteAllSamples(MapFolder);
  TForm1& W = ShowWindow(MapFolder);
  for (const auto& [F, S] : {std::pair{fcFeluccaTrammel, msQuarter},
                             {fcIlshenar, msHalf},
                             {fcMalas, msQuarter},
                             {fcTokuno, msQuarter}}) {
    Click(MapCBox(W, F, S));
  }
  bool SeenRunning = false;
  const win32test::TAtNextMessages DuringRun([&] {
    SeenRunning = W.Model().IsRunning() && !Enabled(W, FolderBtn) && !Enabled(W, MakeBtn) &&
                  !Enabled(W, AboutBtn) && Enabled(W, CancelBtn) && Enabled(W, QuitBtn);
  });
  Click(W.Control(MakeBtn));
  ASSERT_TRUE(DuringRun.Called());
  EXPECT_TRUE(SeenRunning);
  EXPECT_EQ(StatusText(W), L" 完了しました");
  EXPECT_TRUE(Errors.empty());
  EXPECT_TRUE(Enabled(W, MakeBtn));
  EXPECT_FALSE(Enabled(W, CancelBtn));
  EXPECT_TRUE(FileExists(MapFolder + "\\MAP0-X4.BMP"));
  EXPECT_TRUE(FileExists(MapFolder + "\\MAP1-X4.BMP"));
}

enum class TRequest { Button, CloseButton, LogOff, Escape };
struct TInterruption {
  const char* Name;
  TRequest Request;
  TMainControl Button;  // the button clicked between two rows
};

class Win32WindowInterruptTest : public Win32WindowTest,
                                 public ::testing::WithParamInterface<TInterruption> {};

// Cancel stops the run after its row with the cancel text; Quit and the close button end it as
// well, and the window is gone once the run has returned. Nothing of the map being drawn is
// saved, and the next map is not started. The request comes with the run's first processing of
// messages, after the first row of the first map.
TEST_P(Win32WindowInterruptTest, StopsTheRunAfterTheRowWithNothingOfTheMapSaved) {
  win32test::WriteSample(Folder(), fcMalas, msQuarter);
  win32test::WriteSample(Folder(), fcTokuno, msQuarter);
  TForm1& W = ShowWindow(Folder());
  Click(MapCBox(W, fcMalas, msQuarter));
  Click(MapCBox(W, fcTokuno, msQuarter));
  const TRequest Request = GetParam().Request;
  std::string TextAtRequest;
  const win32test::TAtNextMessages BetweenRows([&] {
    TextAtRequest = W.Model().StatusText();
    if (Request == TRequest::Button) {
      ::PostMessageW(W.Control(GetParam().Button), BM_CLICK, 0, 0);
    } else if (Request == TRequest::CloseButton) {
      ::PostMessageW(W.Handle(), WM_CLOSE, 0, 0);
    } else if (Request == TRequest::Escape) {
      ::PostMessageW(::GetFocus(), WM_KEYDOWN, VK_ESCAPE, 1);
    } else {
      // As the system asks every program, and then tells it; it may end the process after that.
      EXPECT_EQ(::SendMessageW(W.Handle(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE);
      ::SendMessageW(W.Handle(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    }
  });
  Click(W.Control(MakeBtn));
  ASSERT_TRUE(BetweenRows.Called());
  EXPECT_EQ(TextAtRequest, " マラス 1/4 : drawing[0%]");  // 1 row of 512
  EXPECT_FALSE(Exists("MAP3-X4.BMP"));
  EXPECT_FALSE(Exists("MAP4-X4.BMP"));
  EXPECT_TRUE(Errors.empty());
  const bool Cancels = Request == TRequest::Escape || GetParam().Button == CancelBtn;
  if (Cancels) {
    ASSERT_NE(W.Handle(), nullptr);
    EXPECT_EQ(StatusText(W), L" 中止しました");
    EXPECT_TRUE(Enabled(W, MakeBtn));
  } else {
    EXPECT_EQ(W.Handle(), nullptr);
    EXPECT_TRUE(W.Model().Closing);
  }
}

const TInterruption Interruptions[] = {{"Cancel", TRequest::Button, CancelBtn},
                                       {"Quit", TRequest::Button, QuitBtn},
                                       {"CloseButton", TRequest::CloseButton, Form1},
                                       {"LogOff", TRequest::LogOff, Form1},
                                       {"Escape", TRequest::Escape, Form1}};
INSTANTIATE_TEST_SUITE_P(Interruptions, Win32WindowInterruptTest,
                         ::testing::ValuesIn(Interruptions),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(Win32WindowTest, AFailedRunShowsItsMessageAndLeavesTheWindowUsable) {
  testsupport::WriteFileBytes(GetBaseFileName(Folder(), fcMalas, mtNormal, msFull), {'B', 'M'});
  TForm1& W = ShowWindow(Folder());
  Click(MapCBox(W, fcMalas, msFull));
  Click(W.Control(MakeBtn));
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_FALSE(Errors[0].empty());
  EXPECT_TRUE(Enabled(W, MakeBtn));
  EXPECT_TRUE(Enabled(W, FolderBtn));
  EXPECT_FALSE(Enabled(W, CancelBtn));
}

// The About dialog: modal over the window, centred on it, closed by Ok.
TEST_F(Win32WindowTest, AboutShowsTheDialogModallyCentredOnTheWindowAndOkClosesIt) {
  TForm1& W = ShowWindow(Folder());
  RECT Frame{}, Owner{};
  std::wstring Caption, Label1;
  bool OwnerDisabled = false;
  win32test::TTimer WhileOpen([&] {
    const HWND About = ::FindWindowW(L"VeldrinAboutForm", nullptr);
    if (About == nullptr || !::IsWindowVisible(About)) return false;
    ::GetWindowRect(About, &Frame);
    ::GetWindowRect(W.Handle(), &Owner);
    Caption = WindowText(About);
    Label1 = WindowText(::GetDlgItem(About, ControlId(TAboutControl::Label1)));
    OwnerDisabled = !::IsWindowEnabled(W.Handle());
    ::PostMessageW(::GetDlgItem(About, IDOK), BM_CLICK, 0, 0);
    return true;
  });
  Click(W.Control(AboutBtn));
  ASSERT_TRUE(WhileOpen.Done());
  EXPECT_EQ(Caption, L"About Veldrin");
  EXPECT_EQ(Label1, L"Veldrin for UO:SE rev 0.0.6.11");
  EXPECT_NEAR((Frame.left + Frame.right) / 2, (Owner.left + Owner.right) / 2, 1);
  EXPECT_NEAR((Frame.top + Frame.bottom) / 2, (Owner.top + Owner.bottom) / 2, 1);
  EXPECT_TRUE(OwnerDisabled);
  EXPECT_TRUE(::IsWindowEnabled(W.Handle()));
  EXPECT_EQ(::FindWindowW(L"VeldrinAboutForm", nullptr), nullptr);
}

// ---- the edges of a Windows session -------------------------------------------------------

// The visible top-level window of this thread of that class ("#32770": a dialog box or the
// shell's picker; "#32768": a popup menu), or null.
HWND ShownWindowOfClass(const wchar_t* ClassName) {
  struct TSearch {
    const wchar_t* ClassName;
    HWND Found = nullptr;
  } Search{ClassName};
  ::EnumThreadWindows(
      ::GetCurrentThreadId(),
      [](HWND Window, LPARAM Param) -> BOOL {
        auto* const Search = reinterpret_cast<TSearch*>(Param);
        wchar_t Name[32] = {};
        ::GetClassNameW(Window, Name, 32);
        if (std::wstring(Name) != Search->ClassName || !::IsWindowVisible(Window)) return TRUE;
        Search->Found = Window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&Search));
  // A popup menu belongs to no thread's list under every system: look for it by class too.
  if (Search.Found == nullptr) {
    const HWND Any = ::FindWindowW(ClassName, nullptr);
    if (Any != nullptr && ::IsWindowVisible(Any) &&
        ::GetWindowThreadProcessId(Any, nullptr) == ::GetCurrentThreadId()) {
      Search.Found = Any;
    }
  }
  return Search.Found;
}

struct TModalState {
  const char* Name;
  const wchar_t* ClassName;           // the window the state shows
  std::function<void(TForm1&)> Open;  // returns once the state has ended
};

class Win32WindowModalCloseTest : public Win32WindowTest,
                                  public ::testing::WithParamInterface<TModalState> {};

// End task, the taskbar's Close and many tools send the window WM_CLOSE whatever is open over
// it. The modal state ends with the window, and so does the program: never a process left
// without a window.
TEST_P(Win32WindowModalCloseTest, ACloseWhileItIsOpenEndsItAndTheWindow) {
  testsupport::LimitThisTest(std::chrono::seconds(30));  // a modal loop left waiting hangs
  SetErrorHandler({});                                   // the real message box
  testsupport::WriteFileBytes(GetBaseFileName(Folder(), fcMalas, mtNormal, msFull), {'B', 'M'});
  TForm1& W = ShowWindow(Folder());
  Click(MapCBox(W, fcMalas, msFull));
  bool Shown = false;
  win32test::TTimer WhileOpen([&] {
    if (ShownWindowOfClass(GetParam().ClassName) == nullptr) return false;
    Shown = true;
    ::PostMessageW(W.Handle(), WM_CLOSE, 0, 0);
    return true;
  });
  GetParam().Open(W);
  EXPECT_TRUE(Shown);
  EXPECT_EQ(W.Handle(), nullptr);
  EXPECT_EQ(ShownWindowOfClass(GetParam().ClassName), nullptr);
}

const TModalState ModalStates[] = {
    {"About", L"VeldrinAboutForm", [](TForm1& W) { Click(W.Control(AboutBtn)); }},
    {"MessageBox", L"#32770", [](TForm1& W) { Click(W.Control(MakeBtn)); }},
    {"MapBoxMenu", L"#32768",
     [](TForm1& W) {
       RECT Box;
       ::GetWindowRect(MapCBox(W, fcMalas, msFull), &Box);
       ::SendMessageW(W.Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(W.Handle()),
                      MAKELPARAM(Box.left + 4, Box.top + 4));
     }},
};
INSTANTIATE_TEST_SUITE_P(States, Win32WindowModalCloseTest, ::testing::ValuesIn(ModalStates),
                         [](const auto& Info) { return std::string(Info.param.Name); });

// On a monitor of another scale About is laid out anew: its client area and its text scale.
TEST_F(Win32WindowTest, AboutFollowsTheDpiOfTheMonitorItIsMovedTo) {
  TForm1& W = ShowWindow(Folder());
  struct TSeen {
    UINT Dpi;
    LONG Width, Height, FontHeight;
  };
  std::vector<TSeen> Seen;
  win32test::TTimer WhileOpen([&] {
    const HWND About = ::FindWindowW(L"VeldrinAboutForm", nullptr);
    if (About == nullptr || !::IsWindowVisible(About)) return false;
    for (const UINT Dpi : {144u, 192u, 96u}) {
      RECT Suggested{60, 50, 460, 250};
      ::SendMessageW(About, WM_DPICHANGED, MAKEWPARAM(Dpi, Dpi),
                     reinterpret_cast<LPARAM>(&Suggested));
      RECT Client;
      ::GetClientRect(About, &Client);
      LOGFONTW Font{};
      ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(
                       ::GetDlgItem(About, ControlId(TAboutControl::Label1)), WM_GETFONT, 0, 0)),
                   sizeof Font, &Font);
      Seen.push_back({Dpi, Client.right, Client.bottom, Font.lfHeight});
    }
    ::PostMessageW(::GetDlgItem(About, IDOK), BM_CLICK, 0, 0);
    return true;
  });
  Click(W.Control(AboutBtn));
  ASSERT_EQ(Seen.size(), 3u);
  const LONG Want[3][3] = {{381, 119, -18}, {508, 158, -24}, {254, 79, -12}};
  for (std::size_t I = 0; I < 3; ++I) {
    EXPECT_EQ(Seen[I].Width, Want[I][0]) << Seen[I].Dpi;
    EXPECT_EQ(Seen[I].Height, Want[I][1]) << Seen[I].Dpi;
    EXPECT_EQ(Seen[I].FontHeight, Want[I][2]) << Seen[I].Dpi;
  }
}

TEST_F(Win32WindowTest, QuitWhileIdleClosesTheWindowAtOnce) {
  TForm1& W = ShowWindow(Folder());
  Click(W.Control(QuitBtn));
  EXPECT_TRUE(W.Model().Closing);
  EXPECT_EQ(W.Handle(), nullptr);
}

// The window's activation reaches the model: the focus comes back to the control that had it,
// or goes to the window where that control was disabled meanwhile.
TEST_F(Win32WindowTest, ActivationGivesTheFocusBackOrToTheWindowWhereItsControlWasDisabled) {
  win32test::WriteSample(Folder(), fcMalas, msQuarter);
  TForm1& W = ShowWindow(Folder());
  Click(MapCBox(W, fcMalas, msQuarter));
  ::SetFocus(W.Control(MakeBtn));
  const HWND Other = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50,
                                       nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
  ::SetActiveWindow(Other);
  ASSERT_EQ(::GetActiveWindow(), Other);
  ::SetActiveWindow(W.Handle());
  EXPECT_EQ(::GetFocus(), W.Control(MakeBtn));
  ::SetActiveWindow(Other);
  W.Model().BoxClicked(fcMalas, msQuarter, false);  // Make disabled meanwhile
  ::SetActiveWindow(W.Handle());
  EXPECT_EQ(::GetFocus(), W.Handle());
  ::DestroyWindow(Other);
}

// Idle, the window agrees to the end of the session and goes when it ends, not before: the end
// may be called off.
TEST_F(Win32WindowTest, AtTheEndOfTheSessionTheIdleWindowGoesOnlyOnceItEnds) {
  TForm1& W = ShowWindow(Folder());
  EXPECT_EQ(::SendMessageW(W.Handle(), WM_QUERYENDSESSION, 0, 0), TRUE);
  ::SendMessageW(W.Handle(), WM_ENDSESSION, FALSE, 0);
  ASSERT_NE(W.Handle(), nullptr);
  EXPECT_FALSE(W.Model().Closing);
  ::SendMessageW(W.Handle(), WM_ENDSESSION, TRUE, 0);
  EXPECT_EQ(W.Handle(), nullptr);
}

// A window whose controls cannot all be made goes with the error; none is left whose object is
// gone, for a broadcast to reach. Here the system refuses the status bar.
TEST_F(Win32WindowTest, AWindowThatFailsWhileItIsMadeLeavesNoWindow) {
  const HHOOK Hook = ::SetWindowsHookExW(
      WH_CBT,
      [](int Code, WPARAM, LPARAM LParam) -> LRESULT {
        if (Code != HCBT_CREATEWND) return 0;
        const auto* Create = reinterpret_cast<const CBT_CREATEWNDW*>(LParam);
        const LPCWSTR Class = Create->lpcs->lpszClass;
        const bool StatusBar = !IS_INTRESOURCE(Class) && std::wstring(Class) == STATUSCLASSNAMEW;
        return StatusBar ? 1 : 0;  // nonzero: the window is not made
      },
      nullptr, ::GetCurrentThreadId());
  ASSERT_NE(Hook, nullptr);
  EXPECT_THROW(TForm1(), EWin32Error);
  ::UnhookWindowsHookEx(Hook);
  // The fixture's own window is the only one left.
  int Windows = 0;
  ::EnumThreadWindows(
      ::GetCurrentThreadId(),
      [](HWND Window, LPARAM Count) -> BOOL {
        wchar_t Name[32] = {};
        ::GetClassNameW(Window, Name, 32);
        if (std::wstring(Name) == L"VeldrinForm1") ++*reinterpret_cast<int*>(Count);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&Windows));
  EXPECT_EQ(Windows, 1);
}

// Keys as the message loop delivers them to the focused control.
void PostKey(HWND Window, UINT Down, UINT Up, UINT VirtualKey) {
  const LPARAM Scan = static_cast<LPARAM>(::MapVirtualKeyW(VirtualKey, MAPVK_VK_TO_VSC)) << 16;
  ::PostMessageW(Window, Down, VirtualKey, Scan | 1);
  ::PostMessageW(Window, Up, VirtualKey, Scan | 0xC0000001);
}

struct TMenuKey {
  const char* Name;
  UINT Down, Up, VirtualKey;
  bool Shift;
};

class Win32MapBoxMenuKeyTest : public Win32WindowTest,
                               public ::testing::WithParamInterface<TMenuKey> {};

TEST_P(Win32MapBoxMenuKeyTest, OpensTheFocusedBoxsMenu) {
  win32test::WriteSample(Folder(), fcMalas, msQuarter);
  TForm1& W = ShowWindow(Folder());
  const HWND Box = MapCBox(W, fcMalas, msQuarter);
  ::SetFocus(Box);
  ASSERT_EQ(::GetFocus(), Box);
  BYTE State[256] = {};
  ::GetKeyboardState(State);
  State[VK_SHIFT] = GetParam().Shift ? 0x80 : 0;
  ::SetKeyboardState(State);
  RECT Menu{}, Field{};
  win32test::TTimer WhileOpen([&] {
    const HWND Popup = ShownWindowOfClass(L"#32768");
    if (Popup == nullptr) return false;
    ::GetWindowRect(Popup, &Menu);
    ::EndMenu();
    return true;
  });
  PostKey(Box, GetParam().Down, GetParam().Up, GetParam().VirtualKey);
  win32test::PumpUntil([&] { return WhileOpen.Done(); }, 10000);
  State[VK_SHIFT] = 0;
  ::SetKeyboardState(State);
  ASSERT_TRUE(WhileOpen.Done()) << "no menu";
  // At the box's centre.
  ::GetWindowRect(Box, &Field);
  EXPECT_EQ(Menu.left, (Field.left + Field.right) / 2);
  EXPECT_EQ(Menu.top, (Field.top + Field.bottom) / 2);
}

const TMenuKey MenuKeys[] = {{"MenuKey", WM_KEYDOWN, WM_KEYUP, VK_APPS, false},
                             {"ShiftF10", WM_SYSKEYDOWN, WM_SYSKEYUP, VK_F10, true}};
INSTANTIATE_TEST_SUITE_P(Keys, Win32MapBoxMenuKeyTest, ::testing::ValuesIn(MenuKeys),
                         [](const auto& Info) { return std::string(Info.param.Name); });

// The arrow keys move between the three boxes of a group, and stay inside it.
TEST_F(Win32WindowTest, ArrowKeysMoveBetweenTheBoxesOfAGroup) {
  for (MapScale S = 0; S < MapScaleCount; ++S) {
    testsupport::WriteFileBytes(GetBaseFileName(Folder(), fcIlshenar, mtNormal, S), {'B', 'M'});
  }
  TForm1& W = ShowWindow(Folder());
  ::SetFocus(MapCBox(W, fcIlshenar, msFull));
  const struct {
    UINT Key;
    MapScale Then;
  } Steps[] = {{VK_RIGHT, msHalf},
               {VK_DOWN, msQuarter},
               {VK_RIGHT, msFull},
               {VK_LEFT, msQuarter},
               {VK_UP, msHalf}};
  for (const auto& Step : Steps) {
    PostKey(::GetFocus(), WM_KEYDOWN, WM_KEYUP, Step.Key);
    win32test::PumpUntil([] { return false; }, 0);
    EXPECT_EQ(::GetFocus(), MapCBox(W, fcIlshenar, Step.Then)) << Step.Key;
  }
}

// A screen reader names a combo box by the static text just before it in the window order (the
// order they were made in). Wine's accessibility layer names it by its own text only, so the
// order itself is what is checked.
TEST_F(Win32WindowTest, EachComboBoxComesRightAfterItsOwnLabel) {
  TForm1& W = ShowWindow(Folder());
  const struct {
    TMainControl Box;
    TMainControl Label;
    const wchar_t* Text;
  } Pairs[] = {{BaseCBox, Label1, L"をベースにグリッドマップを作成して"},
               {TrgCBox, Label2, L"にグリッドマップを設定する"}};
  for (const auto& Pair : Pairs) {
    const HWND Before = ::GetWindow(W.Control(Pair.Box), GW_HWNDPREV);
    EXPECT_EQ(Before, W.Control(Pair.Label)) << static_cast<int>(Pair.Box);
    EXPECT_EQ(WindowText(Before), Pair.Text);
  }
  // Labels take no part in the tab order: Tab still goes from the target box to the first map
  // box.
  EXPECT_EQ(::GetNextDlgTabItem(W.Handle(), W.Control(BaseCBox), FALSE), W.Control(TrgCBox));
}

}  // namespace
