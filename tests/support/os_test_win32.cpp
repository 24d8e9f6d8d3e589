#include <windows.h>

#include <cstdlib>

#include "support/os_test.h"

namespace testsupport {
namespace {

std::wstring WideOf(const std::string& Text) {
  if (Text.empty()) return {};
  const int size = static_cast<int>(Text.size());
  const int n = MultiByteToWideChar(CP_UTF8, 0, Text.data(), size, nullptr, 0);
  std::wstring w(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, Text.data(), size, w.data(), n);
  return w;
}

// One argument quoted so that the C runtime's parser gives it back unchanged.
std::wstring Quoted(const std::wstring& Arg) {
  std::wstring q = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : Arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    q.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    q += c;
  }
  q.append(backslashes * 2, L'\\');
  return q + L"\"";
}

void (*at_process_end)() = nullptr;

void RunAtProcessEnd() {
  if (at_process_end != nullptr) at_process_end();
}

// Registered as an exit handler before any static object is built, so it runs after all their
// destructors and every later exit handler.
int RegisterProcessEnd() {
  std::atexit(RunAtProcessEnd);
  return 0;
}

}  // namespace

void CallAtProcessEnd(void (*Fn)()) {
  at_process_end = Fn;
}

bool OnWindows() {
  return true;
}

void* ReserveNoAccess(std::size_t Size) {
  return VirtualAlloc(nullptr, Size, MEM_RESERVE, PAGE_NOACCESS);
}
bool CommitReadWrite(void* Address, std::size_t Size) {
  return VirtualAlloc(Address, Size, MEM_COMMIT, PAGE_READWRITE) != nullptr;
}
bool ReleaseRange(void* Address, std::size_t) {
  return VirtualFree(Address, 0, MEM_RELEASE) != 0;
}

bool PageMapped(const void* Address) {
  MEMORY_BASIC_INFORMATION info{};
  return VirtualQuery(Address, &info, sizeof info) != 0 && info.State != MEM_FREE;
}

bool CanFork() {
  return false;
}
std::vector<int> RunForked(int Count, const std::function<void(int)>&) {
  return std::vector<int>(static_cast<std::size_t>(Count), -1);
}

ProgramResult RunProgram(const std::vector<std::string>& Args) {
  ProgramResult r;
  if (Args.empty()) return r;
  std::wstring command;
  for (const std::string& a : Args) command += (command.empty() ? L"" : L" ") + Quoted(WideOf(a));
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE read = nullptr, write = nullptr;
  if (!CreatePipe(&read, &write, &inherit, 0)) return r;
  SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  si.hStdOutput = write;
  si.hStdError = write;
  PROCESS_INFORMATION pi{};
  const std::wstring program = WideOf(Args.front());
  const BOOL started = CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, TRUE, 0,
                                      nullptr, nullptr, &si, &pi);
  CloseHandle(write);
  if (started) {
    r.Started = true;
    char buffer[256];
    DWORD n = 0;
    while (ReadFile(read, buffer, sizeof buffer, &n, nullptr) && n > 0) r.Output.append(buffer, n);
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    r.ExitCode = static_cast<int>(code);
    r.Aborted = code == 3;  // the C runtime's status for abort()
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  CloseHandle(read);
  return r;
}

struct FileSizeLimit::Saved {};

// Windows has no limit on the size of the files a process writes.
FileSizeLimit::FileSizeLimit(std::uint64_t) {}
FileSizeLimit::~FileSizeLimit() = default;

TinyFileSystem::TinyFileSystem(const std::string& Folder) : folder_(Folder) {}
TinyFileSystem::~TinyFileSystem() = default;

// Windows can link and rename any file that may be read.
ImmutableFile::ImmutableFile(const std::string&) {}
ImmutableFile::~ImmutableFile() = default;

UnwritableFolder::UnwritableFolder(const std::string& Folder) : folder_(Folder) {}
UnwritableFolder::~UnwritableFolder() = default;

HeldOpenFile::HeldOpenFile(const std::string& Name, bool AllowsDelete) {
  const DWORD share = FILE_SHARE_READ | (AllowsDelete ? FILE_SHARE_DELETE : 0);
  const HANDLE h = CreateFileW(WideOf(Name).c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h != INVALID_HANDLE_VALUE) file_ = reinterpret_cast<TOsFile>(h);
}
HeldOpenFile::~HeldOpenFile() {
  Close();
}
void HeldOpenFile::Close() {
  if (file_ != OsNoFile) CloseHandle(reinterpret_cast<HANDLE>(file_));
  file_ = OsNoFile;
}
std::vector<std::uint8_t> HeldOpenFile::Read() const {
  std::vector<std::uint8_t> bytes(4096);
  OVERLAPPED at{};
  DWORD n = 0;
  if (!ReadFile(reinterpret_cast<HANDLE>(file_), bytes.data(), 4096, &n, &at)) n = 0;
  bytes.resize(n);
  return bytes;
}

bool MakeReadOnly(const std::string& Name) {
  const std::wstring name = WideOf(Name);
  const DWORD attributes = GetFileAttributesW(name.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         SetFileAttributesW(name.c_str(), attributes | FILE_ATTRIBUTE_READONLY) != 0;
}

WindowsAttributes AttributesOf(const std::string& Name) {
  const DWORD a = GetFileAttributesW(WideOf(Name).c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return {};
  return {(a & FILE_ATTRIBUTE_HIDDEN) != 0, (a & FILE_ATTRIBUTE_TEMPORARY) != 0,
          (a & FILE_ATTRIBUTE_SYSTEM) != 0};
}

bool SetSystemAttribute(const std::string& Name) {
  const std::wstring name = WideOf(Name);
  const DWORD a = GetFileAttributesW(name.c_str());
  return a != INVALID_FILE_ATTRIBUTES &&
         SetFileAttributesW(name.c_str(), (a & ~FILE_ATTRIBUTE_NORMAL) | FILE_ATTRIBUTE_SYSTEM) !=
             0;
}

bool MakeFifo(const std::string&) {
  return false;
}

struct SignalsWhileBlocked::State {};
SignalsWhileBlocked::SignalsWhileBlocked(int, const char*, std::function<void()>) {}
SignalsWhileBlocked::~SignalsWhileBlocked() = default;
void SignalsWhileBlocked::Returned() {}
int SignalsWhileBlocked::Delivered() const {
  return 0;
}

}  // namespace testsupport

// The C runtime's list of C initialisers (.CRT$XI*), run before any C++ static constructor.
extern "C" {
__attribute__((section(".CRT$XIY"), used)) extern int (*const veldrin_test_register_end)() =
    testsupport::RegisterProcessEnd;
}
