#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

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

// A program that has loaded user32 (this one has, for its command line) gets no logoff or
// shutdown console event: the system asks its top-level windows instead. This hidden one, on a
// thread of its own, answers as the console handler does for a close: the run stops after its
// current row, and the program ends with its own status before the system may end it.
constexpr wchar_t SessionWindowClass[] = L"VeldrinGridSession";

LRESULT CALLBACK SessionWindowProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
  switch (Message) {
    case WM_QUERYENDSESSION:
      CliTerminate.store(1);
      return TRUE;
    case WM_ENDSESSION:
      // The system may end the process as soon as this returns.
      if (WParam != FALSE) ::Sleep(INFINITE);
      return 0;
    default:
      return ::DefWindowProcW(Window, Message, WParam, LParam);
  }
}

void WatchTheSession() {
  WNDCLASSW Class{};
  Class.lpfnWndProc = SessionWindowProc;
  Class.hInstance = ::GetModuleHandleW(nullptr);
  Class.lpszClassName = SessionWindowClass;
  if (::RegisterClassW(&Class) == 0) return;
  // Never shown. Where there is no desktop (a service, Wine without a display) there is no
  // session to end either, and no window.
  if (::CreateWindowExW(0, SessionWindowClass, L"veldrin-grid", WS_POPUP, 0, 0, 0, 0, nullptr,
                        nullptr, Class.hInstance, nullptr) == nullptr) {
    return;
  }
  MSG Message;
  while (::GetMessageW(&Message, nullptr, 0, 0) > 0) ::DispatchMessageW(&Message);
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
  std::thread(WatchTheSession).detach();
}
