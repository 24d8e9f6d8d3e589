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
// window's) until it returns true. For a state that holds once reached (a dialog shown); a
// moment that passes (a stage of a run) may be over before a timer's message arrives.
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

// Calls Fn once, from the first processing of the thread's pending messages after it was made:
// made just before Make is clicked, that is the run's first one, after the first row of the
// first map's drawing, whatever the machine's speed. Called() says whether it came.
class TAtNextMessages {
 public:
  explicit TAtNextMessages(std::function<void()> Fn);
  ~TAtNextMessages();
  TAtNextMessages(const TAtNextMessages&) = delete;
  TAtNextMessages& operator=(const TAtNextMessages&) = delete;
  bool Called() const { return FCalled; }

 private:
  static LRESULT CALLBACK Proc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam);
  std::function<void()> FFn;
  HWND FWindow;
  bool FCalled = false;
};

}  // namespace win32test
