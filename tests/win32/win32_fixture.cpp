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

}  // namespace win32test
