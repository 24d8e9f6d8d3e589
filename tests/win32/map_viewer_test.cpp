// The Win32 map viewer, created for real and driven through its messages: what it puts on the
// screen, also after a scroll that repaints only a strip, that keys, wheel, mouse, scroll bars and
// timer reach the viewer's model and its errors, title and close requests reach the screen, the
// focus of a new viewer, and Ctrl+C onto the desktop's clipboard. The rules themselves are tested
// at the model.

#include "app/win32/map_viewer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "app/win32/desktop_clipboard.h"
#include "app/win32/error_display.h"
#include "app/win32/text_prompt.h"
#include "app/win32/win32_handles.h"
#include "platform/exceptions.h"
#include "support/temp_dir.h"
#include "support/test_watchdog.h"
#include "viewer_test_maps.h"
#include "win32_fixture.h"

namespace {

using testsupport::TTempDir;
using win32test::MapColour;
using win32test::MapIndex;
using win32test::PumpUntil;
using win32test::WriteMap;

// Lets the viewer work through what is pending, painting included.
void Settle() {
  PumpUntil([] { return false; }, 30);
}

// What a screen shot of a viewer's client area holds, row by row, as 0x00BBGGRR.
struct TShot {
  int Width = 0;
  int Height = 0;
  std::vector<std::uint32_t> Pixels;
  std::uint32_t At(int X, int Y) const { return Pixels[static_cast<std::size_t>(Y) * Width + X]; }
};

class Win32MapViewerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FSaved =
        SetErrorHandler([this](HWND, const std::string& Message) { Errors.push_back(Message); });
    // Away from every viewer: a key zooms around the view's centre.
    ::SetCursorPos(0, 0);
  }
  void TearDown() override {
    if (::IsWindow(Window)) ::DestroyWindow(Window);
    SetErrorHandler(FSaved);
  }

  // A viewer over Name whose client area is Width x Height pixels while it has no scroll bars.
  TMapViewer& Show(const std::string& Name, int Width = 300, int Height = 200) {
    Viewer = TMapViewer::Show(Name, nullptr);
    Window = Viewer->Handle();
    RECT Frame{0, 0, Width, Height};
    ::AdjustWindowRectEx(&Frame, WS_OVERLAPPEDWINDOW, FALSE, 0);
    ::SetWindowPos(Window, nullptr, 100, 100, Frame.right - Frame.left, Frame.bottom - Frame.top,
                   SWP_NOZORDER);
    Settle();
    return *Viewer;
  }

  // Presses a key as the keyboard does: down and up through the message loop, which makes the
  // characters.
  void Key(UINT VirtualKey, bool Control = false) {
    BYTE State[256] = {};
    ::GetKeyboardState(State);
    State[VK_CONTROL] = Control ? 0x80 : 0;
    ::SetKeyboardState(State);
    const LPARAM Scan = static_cast<LPARAM>(::MapVirtualKeyW(VirtualKey, MAPVK_VK_TO_VSC)) << 16;
    ::PostMessageW(Window, WM_KEYDOWN, VirtualKey, Scan | 1);
    ::PostMessageW(Window, WM_KEYUP, VirtualKey, Scan | 0xC0000001);
    Settle();
    State[VK_CONTROL] = 0;
    ::SetKeyboardState(State);
  }
  void Keys(const char* Names) {
    for (; *Names != 0; ++Names) {
      Key(*Names == '+' ? VK_ADD : *Names == '-' ? VK_SUBTRACT : static_cast<UINT>(*Names));
    }
  }

  RECT Client() const {
    RECT Rect;
    ::GetClientRect(Window, &Rect);
    return Rect;
  }

  TShot Shot() const {
    ::UpdateWindow(Window);
    const RECT Area = Client();
    TShot Result;
    Result.Width = Area.right;
    Result.Height = Area.bottom;
    BITMAPINFO Info{};
    Info.bmiHeader = {
        sizeof(BITMAPINFOHEADER), Result.Width, -Result.Height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    const HDC Screen = ::GetDC(Window);
    const HDC Memory = ::CreateCompatibleDC(Screen);
    void* Bits = nullptr;
    const HBITMAP Section = ::CreateDIBSection(Memory, &Info, DIB_RGB_COLORS, &Bits, nullptr, 0);
    const HGDIOBJ Old = ::SelectObject(Memory, Section);
    ::BitBlt(Memory, 0, 0, Result.Width, Result.Height, Screen, 0, 0, SRCCOPY);
    ::GdiFlush();
    const auto* Pixels = static_cast<const std::uint32_t*>(Bits);
    for (int I = 0; I < Result.Width * Result.Height; ++I) {
      const std::uint32_t P = Pixels[I];
      Result.Pixels.push_back(RGB(P >> 16 & 0xFF, P >> 8 & 0xFF, P & 0xFF));
    }
    ::SelectObject(Memory, Old);
    ::DeleteObject(Section);
    ::DeleteDC(Memory);
    ::ReleaseDC(Window, Screen);
    return Result;
  }

  // How many pixels of the shot differ from a Width x Height map scaled Zoom times by point
  // sampling, its top-left pixel at view point (Left, Top), with the background where the map
  // does not reach.
  static int WrongPixels(const TShot& Picture, int Width, int Height, int Zoom, int Left, int Top) {
    const int DestW = Width * Zoom, DestH = Height * Zoom;
    const std::uint32_t Background = ::GetSysColor(COLOR_3DSHADOW);
    int Wrong = 0;
    for (int Y = 0; Y < Picture.Height; ++Y) {
      for (int X = 0; X < Picture.Width; ++X) {
        const int Dx = X - Left, Dy = Y - Top;
        const std::uint32_t Want =
            Dx >= 0 && Dx < DestW && Dy >= 0 && Dy < DestH
                ? MapColour(MapIndex(Dx * Width / DestW, Dy * Height / DestH))
                : Background;
        if (Picture.At(X, Y) != Want && Wrong++ < 5)
          ADD_FAILURE() << "view pixel " << X << "," << Y;
      }
    }
    return Wrong;
  }

  TTempDir Dir;
  TMapViewer* Viewer = nullptr;
  HWND Window = nullptr;
  std::vector<std::string> Errors;

 private:
  TErrorHandler FSaved;
};

// ---- the picture ----------------------------------------------------------------------------

struct TPictureCase {
  const char* Keys;
  int Zoom;
  int FromX, FromY;      // scrolled to after the keys, before the first shot
  int ScrollX, ScrollY;  // scrolled to after it
  int Left, Top;         // where the map's top-left pixel lands in the view
};
void PrintTo(const TPictureCase& C, std::ostream* Os) {
  *Os << C.Keys << " from " << C.FromX << "," << C.FromY << " to " << C.ScrollX << "," << C.ScrollY;
}

class Win32ViewerPictureTest : public Win32MapViewerTest,
                               public ::testing::WithParamInterface<TPictureCase> {};

// The screen shows what the map view drew, the right way up and in place, also after a scroll
// that moved the pixels shown and painted only the strips uncovered: along one axis the strip is
// all that is painted, so its rows and columns must come from the right place of the picture.
TEST_P(Win32ViewerPictureTest, TheScreenShowsAPointSampledScalingOfTheMap) {
  const TPictureCase& C = GetParam();
  constexpr int W = 120, H = 90;
  WriteMap(Dir.File("MAP3-X1.BMP"), W, H);
  Show(Dir.File("MAP3-X1.BMP"));
  Keys(C.Keys);
  ASSERT_NEAR(Viewer->View().Zoom(), C.Zoom, 1e-9);
  Viewer->Model().ScrollBarsMoved(C.FromX, C.FromY);
  Shot();
  Viewer->Model().ScrollBarsMoved(C.ScrollX, C.ScrollY);
  const TShot Picture = Shot();
  EXPECT_EQ(Picture.Width, Viewer->View().ViewWidth());
  EXPECT_EQ(WrongPixels(Picture, W, H, C.Zoom, C.Left, C.Top), 0);
}

// A 120 x 90 map in a 300 x 200 client area; at 4:1 the scroll bars take 17 pixels of it, leaving
// a view of 283 x 183 that scrolls up to (197, 177).
INSTANTIATE_TEST_SUITE_P(ZoomsAndPositions, Win32ViewerPictureTest,
                         ::testing::Values(TPictureCase{"1", 1, 0, 0, 0, 0, 90, 55},
                                           TPictureCase{"1++", 2, 0, 0, 0, 0, 30, 10},
                                           TPictureCase{"1++++", 4, 0, 0, 0, 0, 0, 0},
                                           TPictureCase{"1++++", 4, 0, 0, 101, 77, -101, -77},
                                           TPictureCase{"1++++", 4, 0, 0, 5000, 5000, -197, -177},
                                           TPictureCase{"1++++", 4, 0, 0, 0, 37, 0, -37},
                                           TPictureCase{"1++++", 4, 101, 77, 101, 40, -101, -40},
                                           TPictureCase{"1++++", 4, 0, 0, 45, 0, -45, 0},
                                           TPictureCase{"1++++", 4, 101, 77, 60, 77, -60, -77}));

// ---- zoom and pan ---------------------------------------------------------------------------

// Every key the model knows but Space and Escape (below), typed or pressed, in a sequence where
// each lands on a place of its own; the title follows. At 1:1 the scroll bars leave a view of
// 283 x 183 pixels, whose line steps are 14 x 9 pixels.
TEST_F(Win32MapViewerTest, KeysReachTheModelAndTheTitleFollows) {
  WriteMap(Dir.File("MAP3-X1.BMP"), 640, 480);
  Show(Dir.File("MAP3-X1.BMP"));
  EXPECT_EQ(win32test::WindowText(Window), L"MAP3-X1.BMP - 640 x 480 - 42%");
  struct TStep {
    UINT Key;
    int ScrollX, ScrollY;
    const wchar_t* Percent;
  };
  for (const TStep& Step : {TStep{'1', 171, 140, L"100%"},
                            {VK_RIGHT, 185, 140, L"100%"},
                            {VK_DOWN, 185, 149, L"100%"},
                            {VK_LEFT, 171, 149, L"100%"},
                            {VK_UP, 171, 140, L"100%"},
                            {VK_NEXT, 171, 297, L"100%"},
                            {VK_PRIOR, 171, 114, L"100%"},
                            {VK_END, 357, 297, L"100%"},
                            {VK_HOME, 0, 0, L"100%"},
                            {VK_ADD, 58, 38, L"141%"},
                            {VK_OEM_PLUS, 140, 91, L"200%"},
                            {VK_SUBTRACT, 58, 38, L"141%"},
                            {'0', 0, 0, L"42%"}}) {
    Key(Step.Key);
    EXPECT_EQ(Viewer->View().ScrollX(), Step.ScrollX) << Step.Key;
    EXPECT_EQ(Viewer->View().ScrollY(), Step.ScrollY) << Step.Key;
    EXPECT_EQ(win32test::WindowText(Window),
              std::wstring(L"MAP3-X1.BMP - 640 x 480 - ") + Step.Percent);
  }
  EXPECT_EQ(Viewer->View().ViewWidth(), 300);  // fitted: no scroll bars
}

// The wheel at a point of the screen, the scroll bars' requests and a drag with its release reach
// the model, and the bars show its range, page and position. At 1:1 the view is 283 x 183 pixels
// and scrolls up to (357, 297).
TEST_F(Win32MapViewerTest, TheWheelTheScrollBarsAndDraggingReachTheModel) {
  WriteMap(Dir.File("MAP3-X1.BMP"), 640, 480);
  Show(Dir.File("MAP3-X1.BMP"));
  Key('1');
  const TMapView& View = Viewer->View();
  Viewer->Model().ScrollBarsMoved(100, 50);
  POINT Mouse{70, 130};  // over map point (170, 180)
  ::ClientToScreen(Window, &Mouse);
  ::SendMessageW(Window, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MAKELPARAM(Mouse.x, Mouse.y));
  EXPECT_EQ(win32test::WindowText(Window), L"MAP3-X1.BMP - 640 x 480 - 141%");
  EXPECT_EQ(View.ScrollX(), 170);
  EXPECT_EQ(View.ScrollY(), 125);

  Key('1');
  Viewer->Model().ScrollBarsMoved(0, 0);
  SCROLLINFO Info{sizeof Info, SIF_ALL, 0, 0, 0, 0, 0};
  ::GetScrollInfo(Window, SB_HORZ, &Info);
  EXPECT_EQ(Info.nMin, 0);
  EXPECT_EQ(Info.nMax, 639);
  EXPECT_EQ(Info.nPage, 283u);
  struct TRequest {
    UINT Message;
    WORD Request;
    int ScrollX, ScrollY;
  };
  for (const TRequest& R : {TRequest{WM_HSCROLL, SB_LINEDOWN, 14, 0},
                            {WM_VSCROLL, SB_PAGEDOWN, 14, 183},
                            {WM_HSCROLL, SB_BOTTOM, 357, 183},
                            {WM_VSCROLL, SB_LINEUP, 357, 174},
                            {WM_HSCROLL, SB_PAGEUP, 74, 174},
                            {WM_VSCROLL, SB_TOP, 74, 0}}) {
    ::SendMessageW(Window, R.Message, R.Request, 0);
    EXPECT_EQ(View.ScrollX(), R.ScrollX) << R.Request;
    EXPECT_EQ(View.ScrollY(), R.ScrollY) << R.Request;
  }
  ::GetScrollInfo(Window, SB_HORZ, &Info);
  EXPECT_EQ(Info.nPos, 74);

  Viewer->Model().ScrollBarsMoved(0, 0);
  ::SendMessageW(Window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(200, 150));
  ::SendMessageW(Window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(150, 110));
  ::SendMessageW(Window, WM_LBUTTONUP, 0, MAKELPARAM(150, 110));
  EXPECT_EQ(View.ScrollX(), 50);
  EXPECT_EQ(View.ScrollY(), 40);
  ::SendMessageW(Window, WM_MOUSEMOVE, 0, MAKELPARAM(100, 100));  // released: no more panning
  EXPECT_EQ(View.ScrollX(), 50);
  EXPECT_EQ(Shot().At(0, 0), MapColour(MapIndex(50, 40)));
}

// Malas at full size, 1:1 in a 283 x 183 view: the mouse at (0, 0) is over tile 171, 140. Ctrl+G
// to tile 320, 240 puts its centre at view point (140, 90), where the mark's white centre is,
// inside its black border.
TEST_F(Win32MapViewerTest, TheMouseReachesThePositionLineAndCtrlGThePromptAndTheMark) {
  WriteMap(Dir.File("MAP3-X1.BMP"), 640, 480);
  Show(Dir.File("MAP3-X1.BMP"));
  Key('1');
  ::SendMessageW(Window, WM_MOUSEMOVE, 0, MAKELPARAM(0, 0));
  EXPECT_EQ(
      win32test::WindowText(Window),
      L"MAP3-X1.BMP - 640 x 480 - 100% - タイル 171, 140 - ブロック 21, 17 - 130°25'N 81°0'W");
  HWND Asker = nullptr;
  const TMapViewer::TTextPrompt Saved = TMapViewer::SetTextPrompt(
      [&Asker](HWND Owner, const std::string&, const std::string&, const std::string&) {
        Asker = Owner;
        return std::optional<std::string>("320, 240");
      });
  Key('G', true);
  TMapViewer::SetTextPrompt(Saved);
  EXPECT_EQ(Asker, Window);
  EXPECT_EQ(Viewer->View().ScrollX(), 180);
  EXPECT_EQ(Viewer->View().ScrollY(), 150);
  const TShot Marked = Shot();
  EXPECT_EQ(Marked.At(140, 90), RGB(255, 255, 255));
  EXPECT_EQ(Marked.At(151, 90), RGB(0, 0, 0));
  Key(VK_RIGHT);  // the view moves: the map where the mark was
  EXPECT_EQ(Shot().At(140, 90), MapColour(MapIndex(334, 240)));
}

// The main window's End task closes the viewers it owns, and with them an open prompt: the prompt's
// loop ends, rather than wait for a message that an idle program never gets.
TEST_F(Win32MapViewerTest, APromptClosedWithItsViewerEndsItsLoop) {
  WriteMap(Dir.File("MAP3-X1.BMP"), 640, 480);
  Show(Dir.File("MAP3-X1.BMP"));
  testsupport::LimitThisTest(std::chrono::seconds(30));
  const TMapViewer::TTextPrompt Saved =
      TMapViewer::SetTextPrompt([](HWND Owner, const std::string& Title, const std::string& Prompt,
                                   const std::string& Initial) {
        ::PostMessageW(Owner, WM_CLOSE, 0, 0);  // taken by the prompt's own loop
        return DialogTextPrompt(Owner, Title, Prompt, Initial);
      });
  // Ctrl+G's character handed over directly: no key-up waits in the queue to wake the loop.
  ::SendMessageW(Window, WM_CHAR, 0x07, 0);
  TMapViewer::SetTextPrompt(Saved);
  EXPECT_FALSE(::IsWindow(Window));
}

// A viewer closed while a handler of its own runs (here the prompt's, which then answers with a
// place) lives on until that handler has returned: the go-to finishes on the object, not on
// freed memory, and the window is gone.
TEST_F(Win32MapViewerTest, AViewerClosedInsideItsOwnHandlerOutlivesIt) {
  WriteMap(Dir.File("MAP3-X1.BMP"), 640, 480);
  Show(Dir.File("MAP3-X1.BMP"));
  const TMapViewer::TTextPrompt Saved = TMapViewer::SetTextPrompt(
      [](HWND Owner, const std::string&, const std::string&, const std::string&) {
        ::DestroyWindow(Owner);
        return std::optional<std::string>("320, 240");
      });
  ::SendMessageW(Window, WM_CHAR, 0x07, 0);
  TMapViewer::SetTextPrompt(Saved);
  EXPECT_FALSE(::IsWindow(Window));
}

// ---- Space, Escape, errors ------------------------------------------------------------------

TEST_F(Win32MapViewerTest, ABackupThatFailsToLoadShowsItsErrorAndLeavesThePicture) {
  WriteMap(Dir.File("MAP4-1.BMP"), 64, 64);
  testsupport::WriteFileBytes(Dir.File("MAP4-1.OLD"), {'B', 'M', 0});
  Show(Dir.File("MAP4-1.BMP"));
  const TShot Before = Shot();
  Key(VK_SPACE);
  EXPECT_EQ(Errors, std::vector<std::string>{"ストリームからの読み込みエラー"});
  EXPECT_EQ(Shot().Pixels, Before.Pixels);
}

// A viewer opened from the main window is the active window and has the keyboard focus.
TEST_F(Win32MapViewerTest, ANewViewerTakesTheFocus) {
  WriteMap(Dir.File("MAP4-1.BMP"), 64, 64);
  const HWND Owner = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 50, 50, 200, 100,
                                       nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
  ::SetForegroundWindow(Owner);
  ::SetFocus(Owner);
  Window = TMapViewer::Show(Dir.File("MAP4-1.BMP"), Owner)->Handle();
  Settle();
  EXPECT_EQ(::GetActiveWindow(), Window);
  EXPECT_EQ(::GetFocus(), Window);
  ::DestroyWindow(Owner);
}

// A map replaced while it is shown (a run saving its result) is shown anew at the same place.
TEST_F(Win32MapViewerTest, AMapReplacedWhileShownIsShownAnew) {
  WriteMap(Dir.File("MAP2-X1.BMP"), 120, 90);
  Show(Dir.File("MAP2-X1.BMP"));
  Key('1');  // the map at (90, 55)
  ASSERT_EQ(Shot().At(150, 100), MapColour(MapIndex(60, 45)));
  WriteMap(Dir.File("MAP2-X1.BMP"), 120, 90, 1);
  EXPECT_TRUE(
      PumpUntil([this] { return Shot().At(150, 100) == MapColour(MapIndex(60, 45) + 1); }, 20000));
  EXPECT_DOUBLE_EQ(Viewer->View().Zoom(), 1);
}

// Moved to a monitor of another scale, the viewer takes the frame the system suggests.
TEST_F(Win32MapViewerTest, ADpiChangeGivesTheViewerTheSuggestedFrame) {
  WriteMap(Dir.File("MAP4-1.BMP"), 64, 64);
  Show(Dir.File("MAP4-1.BMP"));
  for (const UINT Dpi : {144u, 192u, 96u}) {
    RECT Suggested{120, 80, 120 + static_cast<LONG>(3 * Dpi), 80 + static_cast<LONG>(2 * Dpi)};
    ::SendMessageW(Window, WM_DPICHANGED, MAKEWPARAM(Dpi, Dpi),
                   reinterpret_cast<LPARAM>(&Suggested));
    RECT Frame;
    ::GetWindowRect(Window, &Frame);
    EXPECT_TRUE(::EqualRect(&Frame, &Suggested)) << Dpi;
  }
}

TEST_F(Win32MapViewerTest, EscapeClosesTheViewer) {
  WriteMap(Dir.File("MAP4-1.BMP"), 64, 64);
  Show(Dir.File("MAP4-1.BMP"));
  Key(VK_ESCAPE);
  EXPECT_TRUE(PumpUntil([this] { return !::IsWindow(Window); }, 2000));
  EXPECT_EQ(TMapViewer::FromHandle(Window), nullptr);
}

TEST_F(Win32MapViewerTest, AFileThatDoesNotLoadLeavesNoWindow) {
  testsupport::WriteFileBytes(Dir.File("MAP4-1.BMP"), std::vector<std::uint8_t>(60, 'x'));
  EXPECT_ANY_THROW(TMapViewer::Show(Dir.File("MAP4-1.BMP"), nullptr));
  EXPECT_THROW(TMapViewer::Show(Dir.File("MAP4-2.BMP"), nullptr), EFOpenError);
  int Viewers = 0;
  ::EnumThreadWindows(
      ::GetCurrentThreadId(),
      [](HWND Each, LPARAM Count) {
        if (TMapViewer::FromHandle(Each) != nullptr) ++*reinterpret_cast<int*>(Count);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&Viewers));
  EXPECT_EQ(Viewers, 0);
}

// ---- Ctrl+C ---------------------------------------------------------------------------------

// The CF_DIB data on the desktop's clipboard, read as another program reads it.
std::vector<std::uint8_t> DesktopDib() {
  std::vector<std::uint8_t> Bytes;
  if (!::OpenClipboard(nullptr)) return Bytes;
  if (const HANDLE Data = ::GetClipboardData(CF_DIB)) {
    const auto* Block = static_cast<const std::uint8_t*>(::GlobalLock(Data));
    Bytes.assign(Block, Block + ::GlobalSize(Data));
    ::GlobalUnlock(Data);
  }
  ::CloseClipboard();
  return Bytes;
}

class Win32ViewerCopyTest : public Win32MapViewerTest,
                            public ::testing::WithParamInterface<std::pair<int, int>> {};

// What another program pastes is the map's device-independent bitmap, byte for byte: the map
// file without its file header. The full-size Felucca and Trammel map (29 MB) included.
TEST_P(Win32ViewerCopyTest, CtrlCPutsTheMapOnTheDesktopClipboard) {
  const auto [W, H] = GetParam();
  const std::string Name = Dir.File("MAP0-X1.BMP");
  const std::vector<std::uint8_t> File = win32test::MapFileBytes(W, H);
  testsupport::WriteFileBytes(Name, File);
  Show(Name);
  Key('C', true);
  EXPECT_TRUE(Errors.empty());
  EXPECT_TRUE(std::vector<std::uint8_t>(File.begin() + 14, File.end()) == DesktopDib());
}

INSTANTIATE_TEST_SUITE_P(SmallAndFullSize, Win32ViewerCopyTest,
                         ::testing::Values(std::pair{37, 23}, std::pair{7168, 4096}));

// Counts the clipboard's changes as a clipboard history or another program's listener sees them.
class TClipboardListener {
 public:
  TClipboardListener() {
    static const TWindowClass Class(L"VeldrinTestClipboardListener", Proc);
    FWindow = ::CreateWindowExW(0, Class.Name(), L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                ::GetModuleHandleW(nullptr), nullptr);
    ::SetWindowLongPtrW(FWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    EXPECT_TRUE(::AddClipboardFormatListener(FWindow));
  }
  ~TClipboardListener() {
    ::RemoveClipboardFormatListener(FWindow);
    ::DestroyWindow(FWindow);
  }
  TClipboardListener(const TClipboardListener&) = delete;
  TClipboardListener& operator=(const TClipboardListener&) = delete;
  int Updates = 0;

 private:
  static LRESULT CALLBACK Proc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
    auto* const Self =
        reinterpret_cast<TClipboardListener*>(::GetWindowLongPtrW(Window, GWLP_USERDATA));
    if (Message == WM_CLIPBOARDUPDATE && Self != nullptr) ++Self->Updates;
    return ::DefWindowProcW(Window, Message, WParam, LParam);
  }
  HWND FWindow;
};

// Emptied and filled in one session: one change, so a clipboard history records no empty entry
// and no other program can take the clipboard in between.
TEST_F(Win32MapViewerTest, ACopyIsOneChangeOfTheClipboard) {
  WriteMap(Dir.File("MAP4-1.BMP"), 64, 64);
  Show(Dir.File("MAP4-1.BMP"));
  const TClipboardListener Listener;
  Key('C', true);  // the system tells the listeners as the clipboard closes
  EXPECT_TRUE(Errors.empty());
  EXPECT_EQ(Listener.Updates, 1);
}

TEST_F(Win32MapViewerTest, ACopyWhileAnotherProgramHoldsTheClipboardShowsAnError) {
  WriteMap(Dir.File("MAP4-1.BMP"), 64, 64);
  Show(Dir.File("MAP4-1.BMP"));
  // The other program holds the clipboard from before the copy until after it, however long the
  // viewer tries.
  const HANDLE Opened = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  const HANDLE CopyDone = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread Other([&] {
    const bool Held = ::OpenClipboard(nullptr) != FALSE;
    ::SetEvent(Opened);
    if (!Held) return;
    ::WaitForSingleObject(CopyDone, 30000);
    ::CloseClipboard();
  });
  ASSERT_EQ(::WaitForSingleObject(Opened, 30000), WAIT_OBJECT_0);
  Key('C', true);
  ::SetEvent(CopyDone);
  Other.join();
  ::CloseHandle(Opened);
  ::CloseHandle(CopyDone);
  EXPECT_EQ(Errors, std::vector<std::string>{SClipboardBusy});
}

}  // namespace
