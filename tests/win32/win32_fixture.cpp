#include "win32_fixture.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <ole2.h>

#include "app/win32/message_pump.h"
#include "app/win32/win32_handles.h"

namespace win32test {
namespace {

class TWin32Environment : public ::testing::Environment {
 public:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(::OleInitialize(nullptr)));
    InitWindowControls();
  }
  void TearDown() override { ::OleUninitialize(); }
};

[[maybe_unused]] ::testing::Environment* const Environment =
    ::testing::AddGlobalTestEnvironment(new TWin32Environment);

}  // namespace

bool PumpUntil(const std::function<bool()>& Done, int Milliseconds) {
  const ULONGLONG End = ::GetTickCount64() + static_cast<ULONGLONG>(Milliseconds);
  while (!Done()) {
    if (::GetTickCount64() > End) return false;
    PumpPendingMessages();
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return true;
}

RECT RectInParent(HWND Control) {
  RECT Rect;
  ::GetWindowRect(Control, &Rect);
  ::MapWindowPoints(HWND_DESKTOP, ::GetParent(Control), reinterpret_cast<POINT*>(&Rect), 2);
  return Rect;
}

std::wstring WindowText(HWND Window) {
  const int Length = ::GetWindowTextLengthW(Window);
  std::wstring Text(static_cast<std::size_t>(Length) + 1, L'\0');
  ::GetWindowTextW(Window, Text.data(), Length + 1);
  Text.resize(static_cast<std::size_t>(Length));
  return Text;
}

std::wstring StatusBarText(HWND StatusBar) {
  wchar_t Text[256] = {};
  // Part 0: in simple mode every part number reads the simple text, and Wine refuses
  // SB_SIMPLEID here.
  ::SendMessageW(StatusBar, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(Text));
  return Text;
}

namespace {
TTimer* RunningTimer = nullptr;
}  // namespace

TTimer::TTimer(std::function<bool()> Poll)
    : FPoll(std::move(Poll)), FId(::SetTimer(nullptr, 0, 5, Tick)) {
  RunningTimer = this;
}

TTimer::~TTimer() {
  if (!FDone) ::KillTimer(nullptr, FId);
  RunningTimer = nullptr;
}

void CALLBACK TTimer::Tick(HWND, UINT, UINT_PTR Id, DWORD) {
  TTimer* const Timer = RunningTimer;
  if (Timer == nullptr || Timer->FId != Id || Timer->FDone) return;
  if (!Timer->FPoll()) return;
  Timer->FDone = true;
  ::KillTimer(nullptr, Id);
}

namespace {
constexpr wchar_t AtNextMessagesClass[] = L"VeldrinTestAtNextMessages";
}  // namespace

TAtNextMessages::TAtNextMessages(std::function<void()> Fn) : FFn(std::move(Fn)) {
  static const ATOM Class = [] {
    WNDCLASSW Info{};
    Info.lpfnWndProc = Proc;
    Info.hInstance = ::GetModuleHandleW(nullptr);
    Info.lpszClassName = AtNextMessagesClass;
    return ::RegisterClassW(&Info);
  }();
  EXPECT_NE(Class, 0);
  FWindow = ::CreateWindowExW(0, AtNextMessagesClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              ::GetModuleHandleW(nullptr), nullptr);
  EXPECT_NE(FWindow, nullptr);
  ::SetWindowLongPtrW(FWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  ::PostMessageW(FWindow, WM_APP, 0, 0);
}

TAtNextMessages::~TAtNextMessages() {
  ::DestroyWindow(FWindow);
}

LRESULT CALLBACK TAtNextMessages::Proc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
  if (Message != WM_APP) return ::DefWindowProcW(Window, Message, WParam, LParam);
  auto* const Self = reinterpret_cast<TAtNextMessages*>(::GetWindowLongPtrW(Window, GWLP_USERDATA));
  if (Self != nullptr && !Self->FCalled) {
    Self->FCalled = true;
    Self->FFn();
  }
  return 0;
}

}  // namespace win32test
