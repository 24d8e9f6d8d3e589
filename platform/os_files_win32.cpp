#include "platform/os_files.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <vector>

namespace {

HANDLE Handle(TOsFile File) { return reinterpret_cast<HANDLE>(File); }
TOsFile FileOf(HANDLE Handle) {
  return Handle == INVALID_HANDLE_VALUE ? OsNoFile : reinterpret_cast<TOsFile>(Handle);
}

std::wstring Wide(const std::string& Text) {
  if (Text.empty()) return {};
  const int size = static_cast<int>(Text.size());
  const int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, Text.data(), size, nullptr, 0);
  if (n <= 0) return {};  // not UTF-8: no such file
  std::wstring w(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, Text.data(), size, w.data(), n);
  return w;
}

std::string Utf8(const wchar_t* Text, std::size_t Length) {
  if (Length == 0) return {};
  const int size = static_cast<int>(Length);
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, Text, size, nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, Text, size, s.data(), n, nullptr, nullptr);
  return s;
}

bool IsDelimiter(char c) { return c == '\\' || c == '/' || c == ':'; }

// The folder part of Name with its trailing delimiter, or "" for a bare name (the current folder).
std::string FolderOf(const std::string& Name) {
  const auto at = std::find_if(Name.rbegin(), Name.rend(), IsDelimiter);
  return std::string(Name.begin(), at.base());
}

bool Exists(const std::wstring& Name) {
  return ::GetFileAttributesW(Name.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsExistsError(DWORD Error) {
  return Error == ERROR_ALREADY_EXISTS || Error == ERROR_FILE_EXISTS;
}

// A name piece no other call of this process or of another one is likely to pick at the same time.
std::string UniquePiece() {
  static std::atomic<std::uint64_t> counter{0};
  LARGE_INTEGER now{};
  ::QueryPerformanceCounter(&now);
  std::uint64_t x = static_cast<std::uint64_t>(now.QuadPart) ^
                    (std::uint64_t{::GetCurrentProcessId()} << 32) ^
                    (++counter * 0x9E3779B97F4A7C15u);
  static constexpr char kDigits[] =
      "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
  std::string piece;
  for (int i = 0; i < 6; ++i) {
    x ^= x >> 33;
    x *= 0xFF51AFD7ED558CCDu;
    x ^= x >> 29;
    piece += kDigits[x % 62];
  }
  return piece;
}

// Volume and file index of an existing name: the same pair means the same file.
bool IdentityOf(const std::wstring& Name, BY_HANDLE_FILE_INFORMATION& Info) {
  // FILE_FLAG_BACKUP_SEMANTICS: a folder opens too.
  const HANDLE h =
      ::CreateFileW(Name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool ok = ::GetFileInformationByHandle(h, &Info) != 0;
  ::CloseHandle(h);
  return ok;
}

}  // namespace

bool OsFileExists(const std::string& Name) {
  const DWORD attributes = ::GetFileAttributesW(Wide(Name).c_str());
  return !Name.empty() && attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

std::int64_t OsFileSize(const std::string& Name) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (Name.empty() || !::GetFileAttributesExW(Wide(Name).c_str(), GetFileExInfoStandard, &data))
    return -1;
  return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool OsFileStampOf(const std::string& Name, TOsFileStamp& Stamp) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (Name.empty() || !IdentityOf(Wide(Name), info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return false;
  }
  Stamp.Volume = info.dwVolumeSerialNumber;
  Stamp.Index = std::uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow;
  Stamp.Size =
      static_cast<std::int64_t>(std::uint64_t{info.nFileSizeHigh} << 32 | info.nFileSizeLow);
  Stamp.WriteTime =
      static_cast<std::int64_t>(std::uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32 |
                                info.ftLastWriteTime.dwLowDateTime);
  return true;
}

bool OsDeleteFile(const std::string& Name) {
  return !Name.empty() && ::DeleteFileW(Wide(Name).c_str()) != 0;
}

// MOVEFILE_WRITE_THROUGH: the call returns only once the rename is on the disk.
bool OsReplaceFile(const std::string& From, const std::string& To) {
  const std::wstring from = Wide(From), to = Wide(To);
  if (!::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return false;
  // Where both names already reached the same file the rename may leave From (Wine does, as
  // POSIX rename does); it goes all the same.
  BY_HANDLE_FILE_INFORMATION a{}, b{};
  if (IdentityOf(from, a) && IdentityOf(to, b) &&
      a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
      a.nFileIndexLow == b.nFileIndexLow)
    ::DeleteFileW(from.c_str());
  return true;
}

TOsNoReplace OsRenameNoReplace(const std::string& From, const std::string& To) {
  const std::wstring to = Wide(To);
  if (::MoveFileExW(Wide(From).c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) != 0)
    return TOsNoReplace::Done;
  // A folder of that name gives "access denied" rather than "exists".
  return IsExistsError(::GetLastError()) || Exists(to) ? TOsNoReplace::Exists
                                                       : TOsNoReplace::Failed;
}

TOsNoReplace OsLinkNoReplace(const std::string& Existing, const std::string& NewName) {
  const std::wstring name = Wide(NewName);
  if (::CreateHardLinkW(name.c_str(), Wide(Existing).c_str(), nullptr) != 0)
    return TOsNoReplace::Done;
  return IsExistsError(::GetLastError()) || Exists(name) ? TOsNoReplace::Exists
                                                           : TOsNoReplace::Failed;
}

std::string OsModuleFileName() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) return Utf8(buffer.data(), n);
    if (buffer.size() >= 32768) return {};
    buffer.resize(buffer.size() * 2);
  }
}

// Others may always read and rename; with DenyWrite they may not write (the framework's
// fmShareDenyWrite), and the open fails while someone else has the file open for writing.
TOsFile OsOpenFile(const std::string& Name, TOsAccess Access, bool DenyWrite) {
  const DWORD access = Access == TOsAccess::Read    ? GENERIC_READ
                       : Access == TOsAccess::Write ? GENERIC_WRITE
                                                    : GENERIC_READ | GENERIC_WRITE;
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_DELETE | (DenyWrite ? 0 : FILE_SHARE_WRITE);
  // Without FILE_FLAG_BACKUP_SEMANTICS a folder cannot be opened: it is no file.
  return FileOf(::CreateFileW(Wide(Name).c_str(), access, share, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
}

TOsFile OsCreateFile(const std::string& Name) {
  return FileOf(::CreateFileW(Wide(Name).c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
}

// The new file takes the folder's inherited permissions; ModeOf is not needed.
TOsFile OsCreateTempBeside(const std::string& Target, const char* Tag, const std::string&,
                           std::string& TempName) {
  TempName.clear();
  const std::string folder = FolderOf(Target);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = folder + ".veldrin-" + Tag + "-" + UniquePiece() + ".tmp";
    const HANDLE h = ::CreateFileW(Wide(name).c_str(), GENERIC_READ | GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      TempName = name;
      return FileOf(h);
    }
    if (!IsExistsError(::GetLastError())) break;
  }
  return OsNoFile;
}

std::int64_t OsReadFile(TOsFile File, void* Buffer, std::int64_t Count) {
  auto* p = static_cast<char*>(Buffer);
  std::int64_t done = 0;
  while (done < Count) {
    const auto piece = static_cast<DWORD>(std::min<std::int64_t>(Count - done, 1 << 30));
    DWORD n = 0;
    if (!::ReadFile(Handle(File), p + done, piece, &n, nullptr) || n == 0) break;
    done += n;
  }
  return done;
}

std::int64_t OsWriteFile(TOsFile File, const void* Buffer, std::int64_t Count) {
  const auto* p = static_cast<const char*>(Buffer);
  std::int64_t done = 0;
  while (done < Count) {
    const auto piece = static_cast<DWORD>(std::min<std::int64_t>(Count - done, 1 << 30));
    DWORD n = 0;
    if (!::WriteFile(Handle(File), p + done, piece, &n, nullptr) || n == 0) break;
    done += n;
  }
  return done;
}

std::int64_t OsSeekFile(TOsFile File, std::int64_t Offset, TOsSeek Origin) {
  const DWORD method = Origin == TOsSeek::Current ? FILE_CURRENT
                       : Origin == TOsSeek::End   ? FILE_END
                                                  : FILE_BEGIN;
  LARGE_INTEGER distance{}, result{};
  distance.QuadPart = Offset;
  if (!::SetFilePointerEx(Handle(File), distance, &result, method)) return -1;
  return result.QuadPart;
}

std::int64_t OsFileSizeOf(TOsFile File) {
  LARGE_INTEGER size{};
  return ::GetFileSizeEx(Handle(File), &size) ? size.QuadPart : -1;
}

// Windows sets the end of a file at its position: move there and back.
bool OsTruncateFile(TOsFile File, std::int64_t Size) {
  const std::int64_t position = OsSeekFile(File, 0, TOsSeek::Current);
  if (position < 0 || OsSeekFile(File, Size, TOsSeek::Begin) != Size) return false;
  const bool ok = ::SetEndOfFile(Handle(File)) != 0;
  OsSeekFile(File, position, TOsSeek::Begin);
  return ok;
}

bool OsFlushFile(TOsFile File) {
  if (::FlushFileBuffers(Handle(File))) return true;
  // A file system with nothing to flush refuses the call as unsupported.
  const DWORD error = ::GetLastError();
  return error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED;
}

void OsCloseFile(TOsFile File) {
  if (File != OsNoFile) ::CloseHandle(Handle(File));
}

// Renames are written through when they are made (MOVEFILE_WRITE_THROUGH); a folder has nothing
// of its own to flush. Only a folder that is not there fails.
bool OsFlushFolder(const std::string& Folder) {
  if (Folder.empty()) return true;
  const DWORD attributes = ::GetFileAttributesW(Wide(Folder).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The lock is a semaphore of one count, named after the folder's identity on its volume (so every
// spelling of the folder's name gives the same lock), in this session's namespace. It lives only
// while someone has it open: the holder's handle keeps it, and when the holder ends in any way
// the system closes that handle, so a killed run leaves no lock behind and nothing in the folder.
TOsLock OsTryLockFolder(const std::string& Folder, TOsFile& Lock) {
  Lock = OsNoFile;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!IdentityOf(Wide(Folder.empty() ? "." : Folder), info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
    return TOsLock::Unsupported;
  wchar_t name[64];
  ::swprintf(name, 64, L"Local\\veldrin-folder-%08lx-%08lx%08lx",
             static_cast<unsigned long>(info.dwVolumeSerialNumber),
             static_cast<unsigned long>(info.nFileIndexHigh),
             static_cast<unsigned long>(info.nFileIndexLow));
  const HANDLE semaphore = ::CreateSemaphoreW(nullptr, 1, 1, name);
  if (semaphore == nullptr) return TOsLock::Unsupported;
  if (::WaitForSingleObject(semaphore, 0) != WAIT_OBJECT_0) {
    ::CloseHandle(semaphore);
    return TOsLock::Busy;
  }
  Lock = reinterpret_cast<TOsFile>(semaphore);
  return TOsLock::Acquired;
}

void OsUnlockFolder(TOsFile Lock) {
  if (Lock == OsNoFile) return;
  ::ReleaseSemaphore(Handle(Lock), 1, nullptr);
  ::CloseHandle(Handle(Lock));
}
