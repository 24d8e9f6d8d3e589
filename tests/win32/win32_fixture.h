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

}  // namespace win32test
