#pragma once

// How the window shows an error that reached one of its handlers: a message box with the error's
// message over the window, which stays usable afterwards.

#include <windows.h>

#include <functional>
#include <string>

// Shows an error: Owner is the window, Message UTF-8.
using TErrorHandler = std::function<void(HWND Owner, const std::string& Message)>;

void ShowErrorMessage(HWND Owner, const std::string& Message);
// Replaces the message box (an empty function restores it); returns the previous handler.
TErrorHandler SetErrorHandler(TErrorHandler Handler);
