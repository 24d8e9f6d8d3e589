#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "app/cli/cli_host.h"
#include "app/cli/cli_os.h"
#include "platform/command_line.h"
#include "platform/utf16.h"

namespace {

std::FILE* FileOf(TOutStream Stream) {
  return Stream == TOutStream::Out ? stdout : stderr;
}

HANDLE HandleOf(TOutStream Stream) {
  return ::GetStdHandle(Stream == TOutStream::Out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

bool IsConsole(HANDLE Handle) {
  DWORD Mode = 0;
  return Handle != nullptr && Handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(Handle, &Mode);
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
      // after its current row and the program end with its own status, within the time the
      // system gives (about 5 s); a map whose saving it cuts short keeps its old file. The last
      // two come only while the program has not loaded user32 (see platform/command_line.h).
      CliTerminate.store(1);
      ::Sleep(INFINITE);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

std::vector<std::string> CommandLineArguments(int, char**) {
  std::vector<std::string> Args;
  for (const std::wstring& Arg : SplitCommandLine(::GetCommandLineW())) {
    Args.push_back(WideToUtf8(Arg));
  }
  return Args;
}

bool IsInteractive(TOutStream Stream) {
  // A console rewrites its line only with its terminal sequences switched on.
  const HANDLE Handle = HandleOf(Stream);
  DWORD Mode = 0;
  if (!IsConsole(Handle) || !::GetConsoleMode(Handle, &Mode)) return false;
  return (Mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
         ::SetConsoleMode(Handle, Mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

void WriteText(TOutStream Stream, const std::string& Text) {
  std::FILE* File = FileOf(Stream);
  const HANDLE Handle = HandleOf(Stream);
  if (IsConsole(Handle)) {
    std::fflush(File);
    const std::wstring Wide = Utf8ToWide(Text);
    DWORD Written = 0;
    ::WriteConsoleW(Handle, Wide.data(), static_cast<DWORD>(Wide.size()), &Written, nullptr);
    return;
  }
  std::fwrite(Text.data(), 1, Text.size(), File);
  std::fflush(File);
}

void InstallCliSignalHandlers() {
  ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}
