#pragma once

// What the Win32 window tests share: COM and the common controls set up once for the whole
// binary, and a way to let the window work through its messages.

#include <windows.h>

#include <functional>
#include <string>

namespace win32test {

// Dispatches pending messages until Done() holds or Milliseconds have passed; returns Done().
bool PumpUntil(const std::function<bool()>& Done, int Milliseconds = 5000);
// A control's rectangle in its parent's client coordinates.
RECT RectInParent(HWND Control);
std::wstring WindowText(HWND Window);
// The simple text of a status bar.
std::wstring StatusBarText(HWND StatusBar);

// Calls Poll every few milliseconds from the thread's message processing (the run's, a modal
// window's) until it returns true.
class TTimer {
 public:
  explicit TTimer(std::function<bool()> Poll);
  ~TTimer();
  TTimer(const TTimer&) = delete;
  TTimer& operator=(const TTimer&) = delete;
  bool Done() const { return FDone; }

 private:
  static void CALLBACK Tick(HWND, UINT, UINT_PTR Id, DWORD);
  std::function<bool()> FPoll;
  UINT_PTR FId;
  bool FDone = false;
};

}  // namespace win32test
