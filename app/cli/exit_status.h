#pragma once

// What veldrin-grid ends with: its exit statuses, and its one form of message on standard error.

#include <string>

#include "app/cli/cli_os.h"

inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitInterrupted = 130;
inline constexpr int kExitTerminated = 143;

// "veldrin-grid: " Text, as a line on standard error.
inline void Error(const std::string& Text) {
  WriteText(TOutStream::Err, "veldrin-grid: " + Text + "\n");
}
