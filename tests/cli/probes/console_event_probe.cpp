// Does to the running veldrin-grid.exe what the system does to a console program whose console
// closes, or whose session logs off or shuts down: starts a thread in it at the console's
// control routine, given the event. For a log-off or a shut-down it first checks that the program
// has not loaded user32: the system sends neither to a program that has.
//
//   console_event_probe close|logoff|shutdown
//
// Exit status: 0 sent; 1 no veldrin-grid.exe runs or it cannot be reached; 2 a wrong argument;
// 3 user32 is loaded in it (the log-off or shut-down is then not sent).

#include <windows.h>
#include <tlhelp32.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>

namespace {

DWORD ProcessNamed(const wchar_t* Name) {
  const HANDLE Snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (Snapshot == INVALID_HANDLE_VALUE) return 0;
  PROCESSENTRY32W Entry{};
  Entry.dwSize = sizeof Entry;
  DWORD Id = 0;
  for (BOOL More = ::Process32FirstW(Snapshot, &Entry); More && Id == 0;
       More = ::Process32NextW(Snapshot, &Entry)) {
    if (_wcsicmp(Entry.szExeFile, Name) == 0) Id = Entry.th32ProcessID;
  }
  ::CloseHandle(Snapshot);
  return Id;
}

bool HasLoaded(DWORD Process, const wchar_t* Module) {
  const HANDLE Snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, Process);
  if (Snapshot == INVALID_HANDLE_VALUE) return false;
  MODULEENTRY32W Entry{};
  Entry.dwSize = sizeof Entry;
  bool Found = false;
  for (BOOL More = ::Module32FirstW(Snapshot, &Entry); More && !Found;
       More = ::Module32NextW(Snapshot, &Entry)) {
    Found = _wcsicmp(Entry.szModule, Module) == 0;
  }
  ::CloseHandle(Snapshot);
  return Found;
}

}  // namespace

int main(int Argc, char** Argv) {
  if (Argc != 2) return 2;
  DWORD Event = 0;
  if (std::strcmp(Argv[1], "close") == 0) {
    Event = CTRL_CLOSE_EVENT;
  } else if (std::strcmp(Argv[1], "logoff") == 0) {
    Event = CTRL_LOGOFF_EVENT;
  } else if (std::strcmp(Argv[1], "shutdown") == 0) {
    Event = CTRL_SHUTDOWN_EVENT;
  } else {
    return 2;
  }
  const DWORD Id = ProcessNamed(L"veldrin-grid.exe");
  if (Id == 0) return 1;
  if (Event != CTRL_CLOSE_EVENT && HasLoaded(Id, L"user32.dll")) {
    std::fprintf(stderr, "console_event_probe: veldrin-grid.exe has loaded user32\n");
    return 3;
  }
  // The routine is at the same address in every process: system libraries load at one base.
  const auto Routine = reinterpret_cast<LPTHREAD_START_ROUTINE>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "CtrlRoutine")));
  const HANDLE Process = ::OpenProcess(PROCESS_CREATE_THREAD | PROCESS_QUERY_INFORMATION |
                                           PROCESS_VM_OPERATION | PROCESS_VM_WRITE |
                                           PROCESS_VM_READ,
                                       FALSE, Id);
  if (Routine == nullptr || Process == nullptr) return 1;
  const HANDLE Thread = ::CreateRemoteThread(
      Process, nullptr, 0, Routine, reinterpret_cast<void*>(static_cast<std::uintptr_t>(Event)), 0,
      nullptr);
  ::CloseHandle(Process);
  if (Thread == nullptr) return 1;
  ::CloseHandle(Thread);
  return 0;
}
