// Does to veldrin-grid.exe what Windows does at log-off to a program that has loaded user32: asks
// its top-level window whether the session may end, then tells it that it ends. Prints the
// answer ("1": it may) and exits 0; exits 1 when no such window appears within 60 s.

#include <windows.h>

#include <cstdio>

int main() {
  HWND Window = nullptr;
  for (int Attempt = 0; Attempt < 6000 && Window == nullptr; ++Attempt) {
    Window = ::FindWindowW(L"VeldrinGridSession", nullptr);
    if (Window == nullptr) ::Sleep(10);
  }
  if (Window == nullptr) return 1;
  DWORD_PTR Answer = 0;
  ::SendMessageTimeoutW(Window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, 10000,
                        &Answer);
  std::printf("%d\n", static_cast<int>(Answer));
  std::fflush(stdout);
  // The program answers once it is done, if ever: the system would end it after a while.
  ::SendMessageTimeoutW(Window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL, 100, nullptr);
  return 0;
}
