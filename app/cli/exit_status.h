#pragma once

// What veldrin-grid ends with: its exit statuses, and its one form of message on standard error.

#include <string>

#include "app/cli/cli_os.h"

inline constexpr int ExitDone = 0;
inline constexpr int ExitFailed = 1;
inline constexpr int ExitUsage = 2;
inline constexpr int ExitInterrupted = 130;
inline constexpr int ExitTerminated = 143;

// "veldrin-grid: " Text, as a line on standard error.
inline void Error(const std::string& Text) {
  WriteText(TOutStream::Err, "veldrin-grid: " + Text + "\n");
}
