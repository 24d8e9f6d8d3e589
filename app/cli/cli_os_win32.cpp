#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>

#include "app/cli/cli_host.h"
#include "app/cli/cli_os.h"

namespace {

std::FILE* FileOf(TOutStream Stream) {
  return Stream == TOutStream::Out ? stdout : stderr;
}

HANDLE HandleOf(TOutStream Stream) {
  return ::GetStdHandle(Stream == TOutStream::Out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

bool IsConsole(HANDLE Handle) {
  DWORD mode = 0;
  return Handle != nullptr && Handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(Handle, &mode);
}

std::string Utf8Of(const wchar_t* Text) {
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, Text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return {};
  std::string s(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, Text, -1, s.data(), n, nullptr, nullptr);
  s.pop_back();
  return s;
}

std::wstring WideOf(const std::string& Text) {
  if (Text.empty()) return {};
  const int size = static_cast<int>(Text.size());
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, Text.data(), size, nullptr, 0);
  std::wstring w(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, Text.data(), size, w.data(), n);
  return w;
}

// Runs on a thread the system starts for the event.
BOOL WINAPI OnConsoleEvent(DWORD Event) {
  switch (Event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      if (CliInterrupts.fetch_add(1) >= 1) std::_Exit(130);
      return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      // The system ends the process as soon as this returns. Waiting here lets the run stop
      // after its current row and the program end with its own status; the system's time limit
      // for a close still applies.
      CliTerminate.store(1);
      ::Sleep(INFINITE);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

std::vector<std::string> CommandLineArguments(int, char**) {
  std::vector<std::string> args;
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr) return args;
  for (int i = 0; i < count; ++i) args.push_back(Utf8Of(wide[i]));
  ::LocalFree(wide);
  return args;
}

bool IsInteractive(TOutStream Stream) {
  // A console rewrites its line only with its terminal sequences switched on.
  const HANDLE h = HandleOf(Stream);
  DWORD mode = 0;
  if (!IsConsole(h) || !::GetConsoleMode(h, &mode)) return false;
  return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
         ::SetConsoleMode(h, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

void WriteText(TOutStream Stream, const std::string& Text) {
  std::FILE* f = FileOf(Stream);
  const HANDLE h = HandleOf(Stream);
  if (IsConsole(h)) {
    std::fflush(f);
    const std::wstring wide = WideOf(Text);
    DWORD written = 0;
    ::WriteConsoleW(h, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
  std::fwrite(Text.data(), 1, Text.size(), f);
  std::fflush(f);
}

void InstallCliSignalHandlers() {
  ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}
