#include <windows.h>

#include <cstdlib>

#include "support/os_test.h"

namespace testsupport {
namespace {

std::wstring WideOf(const std::string& Text) {
  if (Text.empty()) return {};
  const int Size = static_cast<int>(Text.size());
  const int N = MultiByteToWideChar(CP_UTF8, 0, Text.data(), Size, nullptr, 0);
  std::wstring W(static_cast<std::size_t>(N), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, Text.data(), Size, W.data(), N);
  return W;
}

// One argument quoted so that the C runtime's parser gives it back unchanged.
std::wstring Quoted(const std::wstring& Arg) {
  std::wstring Q = L"\"";
  std::size_t Backslashes = 0;
  for (wchar_t C : Arg) {
    if (C == L'\\') {
      ++Backslashes;
      continue;
    }
    Q.append(C == L'"' ? Backslashes * 2 + 1 : Backslashes, L'\\');
    Backslashes = 0;
    Q += C;
  }
  Q.append(Backslashes * 2, L'\\');
  return Q + L"\"";
}

void (*AtProcessEnd)() = nullptr;

void RunAtProcessEnd() {
  if (AtProcessEnd != nullptr) AtProcessEnd();
}

// Registered as an exit handler before any static object is built, so it runs after all their
// destructors and every later exit handler.
int RegisterProcessEnd() {
  std::atexit(RunAtProcessEnd);
  return 0;
}

}  // namespace

void CallAtProcessEnd(void (*Fn)()) {
  AtProcessEnd = Fn;
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
  MEMORY_BASIC_INFORMATION Info{};
  return VirtualQuery(Address, &Info, sizeof Info) != 0 && Info.State != MEM_FREE;
}

bool CanFork() {
  return false;
}
std::vector<int> RunForked(int Count, const std::function<void(int)>&) {
  return std::vector<int>(static_cast<std::size_t>(Count), -1);
}

TProgramResult RunProgram(const std::vector<std::string>& Args) {
  TProgramResult R;
  if (Args.empty()) return R;
  std::wstring Command;
  for (const std::string& A : Args) Command += (Command.empty() ? L"" : L" ") + Quoted(WideOf(A));
  SECURITY_ATTRIBUTES Inherit{sizeof Inherit, nullptr, TRUE};
  HANDLE Read = nullptr, Write = nullptr;
  if (!CreatePipe(&Read, &Write, &Inherit, 0)) return R;
  SetHandleInformation(Read, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW Si{};
  Si.cb = sizeof Si;
  Si.dwFlags = STARTF_USESTDHANDLES;
  Si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  Si.hStdOutput = Write;
  Si.hStdError = Write;
  PROCESS_INFORMATION Pi{};
  const std::wstring Program = WideOf(Args.front());
  const BOOL Started = CreateProcessW(Program.c_str(), Command.data(), nullptr, nullptr, TRUE, 0,
                                      nullptr, nullptr, &Si, &Pi);
  CloseHandle(Write);
  if (Started) {
    R.Started = true;
    char Buffer[256];
    DWORD N = 0;
    while (ReadFile(Read, Buffer, sizeof Buffer, &N, nullptr) && N > 0) R.Output.append(Buffer, N);
    WaitForSingleObject(Pi.hProcess, INFINITE);
    DWORD Code = 0;
    GetExitCodeProcess(Pi.hProcess, &Code);
    R.ExitCode = static_cast<int>(Code);
    R.Aborted = Code == 3;  // the C runtime's status for abort()
    CloseHandle(Pi.hThread);
    CloseHandle(Pi.hProcess);
  }
  CloseHandle(Read);
  return R;
}

struct FileSizeLimit::Saved {};

// Windows has no limit on the size of the files a process writes.
FileSizeLimit::FileSizeLimit(std::uint64_t) {}
FileSizeLimit::~FileSizeLimit() = default;

TinyFileSystem::TinyFileSystem(const std::string& Folder) : FFolder(Folder) {}
TinyFileSystem::~TinyFileSystem() = default;

// Windows can link and rename any file that may be read.
ImmutableFile::ImmutableFile(const std::string&) {}
ImmutableFile::~ImmutableFile() = default;

UnwritableFolder::UnwritableFolder(const std::string& Folder) : FFolder(Folder) {}
UnwritableFolder::~UnwritableFolder() = default;

HeldOpenFile::HeldOpenFile(const std::string& Name, bool AllowsDelete) {
  const DWORD Share = FILE_SHARE_READ | (AllowsDelete ? FILE_SHARE_DELETE : 0);
  const HANDLE H = CreateFileW(WideOf(Name).c_str(), GENERIC_READ, Share, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (H != INVALID_HANDLE_VALUE) FFile = reinterpret_cast<TOsFile>(H);
}
HeldOpenFile::~HeldOpenFile() {
  Close();
}
void HeldOpenFile::Close() {
  if (FFile != OsNoFile) CloseHandle(reinterpret_cast<HANDLE>(FFile));
  FFile = OsNoFile;
}
std::vector<std::uint8_t> HeldOpenFile::Read() const {
  std::vector<std::uint8_t> Bytes(4096);
  OVERLAPPED At{};
  DWORD N = 0;
  if (!ReadFile(reinterpret_cast<HANDLE>(FFile), Bytes.data(), 4096, &N, &At)) N = 0;
  Bytes.resize(N);
  return Bytes;
}

bool MakeReadOnly(const std::string& Name) {
  const std::wstring Wide = WideOf(Name);
  const DWORD Attributes = GetFileAttributesW(Wide.c_str());
  return Attributes != INVALID_FILE_ATTRIBUTES &&
         SetFileAttributesW(Wide.c_str(), Attributes | FILE_ATTRIBUTE_READONLY) != 0;
}

TWindowsAttributes AttributesOf(const std::string& Name) {
  const DWORD A = GetFileAttributesW(WideOf(Name).c_str());
  if (A == INVALID_FILE_ATTRIBUTES) return {};
  return {(A & FILE_ATTRIBUTE_HIDDEN) != 0, (A & FILE_ATTRIBUTE_TEMPORARY) != 0,
          (A & FILE_ATTRIBUTE_SYSTEM) != 0};
}

bool SetSystemAttribute(const std::string& Name) {
  const std::wstring Wide = WideOf(Name);
  const DWORD A = GetFileAttributesW(Wide.c_str());
  return A != INVALID_FILE_ATTRIBUTES &&
         SetFileAttributesW(Wide.c_str(), (A & ~FILE_ATTRIBUTE_NORMAL) | FILE_ATTRIBUTE_SYSTEM) !=
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
__attribute__((section(".CRT$XIY"), used)) extern int (*const VeldrinTestRegisterEnd)() =
    testsupport::RegisterProcessEnd;
}
