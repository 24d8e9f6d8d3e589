#pragma once

// How the Windows viewer and menus show an error that reached a handler: a message box over the
// window, or a replacement set by tests.

#include <windows.h>

#include <functional>
#include <string>

// Shows an error that reached a handler; Owner is the window it happened in (may be null).
using TErrorHandler = std::function<void(HWND Owner, const std::string& Message)>;

void ShowErrorMessage(HWND Owner, const std::string& Message);
// Replaces the message box (an empty function restores it); returns the previous handler.
TErrorHandler SetErrorHandler(TErrorHandler Handler);
