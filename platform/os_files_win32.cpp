#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

#include "platform/long_paths.h"
#include "platform/os_files.h"
#include "platform/temp_names.h"
#include "platform/utf16.h"

namespace {

HANDLE Handle(TOsFile File) {
  return reinterpret_cast<HANDLE>(File);
}
TOsFile FileOf(HANDLE Handle) {
  return Handle == INVALID_HANDLE_VALUE ? OsNoFile : reinterpret_cast<TOsFile>(Handle);
}

// The full path of Name, "" when the system cannot make one.
std::wstring FullPathOf(const std::wstring& Name) {
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n =
        ::GetFullPathNameW(Name.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n == 0) return {};
    if (n < full.size()) return full.substr(0, n);
    full.resize(n);
  }
}

// Name as the wide-character calls take it: unchanged while it is short, in its extended form
// (long_paths.h) once it could pass the classic limit. A folder's name near the limit gives
// longer names to what is made in it (a temporary's name is longer than its target's), so every
// name is weighed on its own.
std::wstring SystemName(const std::string& Name) {
  const std::wstring wide = Utf8ToWide(Name);
  const std::wstring full = wide.size() < ExtendedPathFrom ? std::wstring() : FullPathOf(wide);
  if (full.empty()) {
    if (SystemNameHook != nullptr) SystemNameHook(Name);
    return wide;
  }
  const std::string extended = ExtendedLengthPath(WideToUtf8(full));
  if (SystemNameHook != nullptr) SystemNameHook(extended);
  return Utf8ToWide(extended);
}

bool IsDelimiter(char c) {
  return c == '\\' || c == '/' || c == ':';
}

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

// The folder's lock file (OsTryLockFolder).
constexpr char kFolderLockName[] = ".veldrin-lock";

// The attributes a file has while it is one of our temporaries.
constexpr DWORD kTempAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY;

// The bare name of Name (what follows its folder).
std::string BareName(const std::string& Name) {
  return Name.substr(FolderOf(Name).size());
}

// Failures that last only while another program has a file open: a virus scanner, an indexer,
// a preview or the automap itself letting go of a map or of a temporary just written.
bool IsPassing(DWORD Error) {
  return Error == ERROR_SHARING_VIOLATION || Error == ERROR_LOCK_VIOLATION ||
         Error == ERROR_ACCESS_DENIED || Error == ERROR_USER_MAPPED_FILE;
}

// Whether another program holds Name open (an open without sharing then fails): the classic
// replace refuses such a target even where its holder allows deleting it.
bool HeldOpen(const std::wstring& Name) {
  const HANDLE h =
      ::CreateFileW(Name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    ::CloseHandle(h);
    return false;
  }
  return ::GetLastError() == ERROR_SHARING_VIOLATION;
}

TOsFailure FailureOf(DWORD Error, const std::wstring& From, const std::wstring& To) {
  switch (Error) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
      return TOsFailure::InUse;
    case ERROR_WRITE_PROTECT:
      return TOsFailure::ReadOnly;
    case ERROR_ACCESS_DENIED:
      // Also what an open file gives: tell the two apart.
      return HeldOpen(To) || HeldOpen(From) ? TOsFailure::InUse : TOsFailure::AccessDenied;
    default:
      return TOsFailure::Other;
  }
}

// Gives the open file File the attributes (less those of a temporary) and the access rights of
// the file To, or plain attributes where To does not exist: the new map looks to the user, and
// to other accounts, as the old one did. Rights that cannot be read or set are left as the folder
// gave them.
void TakeOverLooks(HANDLE File, const std::wstring& To, DWORD ToAttributes) {
  FILE_BASIC_INFO basic{};
  basic.FileAttributes = ToAttributes == INVALID_FILE_ATTRIBUTES
                             ? FILE_ATTRIBUTE_NORMAL
                             : (ToAttributes & ~kTempAttributes) | FILE_ATTRIBUTE_ARCHIVE;
  ::SetFileInformationByHandle(File, FileBasicInfo, &basic, sizeof basic);
  if (ToAttributes == INVALID_FILE_ATTRIBUTES) return;
  DWORD size = 0;
  ::GetFileSecurityW(To.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &size);
  if (size == 0) return;
  std::vector<std::byte> descriptor(size);
  if (::GetFileSecurityW(To.c_str(), DACL_SECURITY_INFORMATION, descriptor.data(), size, &size))
    ::SetKernelObjectSecurity(File, DACL_SECURITY_INFORMATION, descriptor.data());
}

// Renames the open file File onto To with POSIX semantics (Windows 10 1809 and later, on NTFS):
// the name To moves to File at once, even while other programs hold the old file open with
// delete sharing (they keep reading the old file). ERROR_SUCCESS or the system's error.
DWORD PosixRename(HANDLE File, const std::wstring& To) {
  constexpr DWORD kFlags = FILE_RENAME_FLAG_REPLACE_IF_EXISTS | FILE_RENAME_FLAG_POSIX_SEMANTICS;
  constexpr auto kRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);  // FileRenameInfoEx
  const std::wstring full = FullPathOf(To);
  if (full.empty()) return ::GetLastError();
  const std::wstring target = Utf8ToWide(NtPath(WideToUtf8(full)));
  const std::size_t nameBytes = target.size() * sizeof(wchar_t);
  std::vector<std::byte> buffer(offsetof(FILE_RENAME_INFO, FileName) + nameBytes + sizeof(wchar_t));
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  std::memcpy(buffer.data(), &kFlags, sizeof kFlags);  // the Flags member of the Ex form
  info->RootDirectory = nullptr;
  info->FileNameLength = static_cast<DWORD>(nameBytes);
  std::memcpy(info->FileName, target.data(), nameBytes);
  if (!::SetFileInformationByHandle(File, kRenameInfoEx, info, static_cast<DWORD>(buffer.size())))
    return ::GetLastError();
  return ERROR_SUCCESS;
}

// One attempt of OsReplaceFile. The data of From were flushed (FlushFileBuffers) when it was
// written. What holds once this succeeds: the classic replace is MoveFileExW with
// MOVEFILE_WRITE_THROUGH, documented not to return before the move is on the disk. After the
// POSIX rename, FlushFileBuffers on the renamed file's handle, documented to write the file's
// buffered data and metadata; that it also makes the rename durable is how NTFS and ReFS flush
// their journal, not a documented promise.
DWORD ReplaceOnce(const std::wstring& From, const std::wstring& To, DWORD ToAttributes,
                  bool Fresh) {
  const HANDLE file = ::CreateFileW(From.c_str(), DELETE | GENERIC_WRITE | READ_CONTROL | WRITE_DAC,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return ::GetLastError();
  // Only a temporary just written takes over the old file's looks (a file system without the
  // temporary mark, FAT, keeps the hidden one); a second name of a file that exists (a backup
  // put back, a bad copy) is that file, and keeps its own.
  BY_HANDLE_FILE_INFORMATION info{};
  if (Fresh && ::GetFileInformationByHandle(file, &info) &&
      (info.dwFileAttributes & kTempAttributes) != 0)
    TakeOverLooks(file, To, ToAttributes);
  DWORD error = PosixRename(file, To);
  if (error == ERROR_SUCCESS) {
    ::FlushFileBuffers(file);
    ::CloseHandle(file);
    return ERROR_SUCCESS;
  }
  ::CloseHandle(file);
  // Where the system or the file system has no such rename, the classic one.
  if (!IsPassing(error) || error == ERROR_ACCESS_DENIED) {
    if (::MoveFileExW(From.c_str(), To.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      return ERROR_SUCCESS;
    error = ::GetLastError();
  }
  return error;
}

}  // namespace

bool OsFileExists(const std::string& Name) {
  const DWORD attributes = ::GetFileAttributesW(SystemName(Name).c_str());
  return !Name.empty() && attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

std::int64_t OsFileSize(const std::string& Name) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (Name.empty() ||
      !::GetFileAttributesExW(SystemName(Name).c_str(), GetFileExInfoStandard, &data))
    return -1;
  return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool OsFileStampOf(const std::string& Name, TOsFileStamp& Stamp) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (Name.empty() || !IdentityOf(SystemName(Name), info) ||
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
  return !Name.empty() && ::DeleteFileW(SystemName(Name).c_str()) != 0;
}

bool OsReplaceFile(const std::string& From, const std::string& To, TOsFailure* Why) {
  constexpr int kAttempts = 20;  // about two seconds in all
  const std::wstring from = SystemName(From), to = SystemName(To);
  auto fail = [Why](TOsFailure Failure) {
    if (Why != nullptr) *Why = Failure;
    return false;
  };
  const bool fresh = IsTempFileName(BareName(From));  // one of our temporaries
  const DWORD toAttributes = ::GetFileAttributesW(to.c_str());
  // A map the user marked read-only is not replaced (the classic replace refuses it too).
  if (toAttributes != INVALID_FILE_ATTRIBUTES && (toAttributes & FILE_ATTRIBUTE_READONLY) != 0)
    return fail(TOsFailure::ReadOnly);
  for (int attempt = 1;; ++attempt) {
    const DWORD error = ReplaceOnce(from, to, toAttributes, fresh);
    if (error == ERROR_SUCCESS) break;
    if (!IsPassing(error) || attempt == kAttempts) return fail(FailureOf(error, from, to));
    ::Sleep(100);
  }
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
  const std::wstring from = SystemName(From), to = SystemName(To);
  // One of our temporaries takes a name of its own: it is no longer hidden or temporary.
  if (IsTempFileName(BareName(From))) {
    const DWORD attributes = ::GetFileAttributesW(from.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & kTempAttributes) != 0)
      ::SetFileAttributesW(from.c_str(), (attributes & ~kTempAttributes) | FILE_ATTRIBUTE_ARCHIVE);
  }
  if (::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) != 0)
    return TOsNoReplace::Done;
  // A folder of that name gives "access denied" rather than "exists".
  return IsExistsError(::GetLastError()) || Exists(to) ? TOsNoReplace::Exists
                                                       : TOsNoReplace::Failed;
}

TOsNoReplace OsLinkNoReplace(const std::string& Existing, const std::string& NewName) {
  const std::wstring name = SystemName(NewName);
  if (::CreateHardLinkW(name.c_str(), SystemName(Existing).c_str(), nullptr) != 0)
    return TOsNoReplace::Done;
  return IsExistsError(::GetLastError()) || Exists(name) ? TOsNoReplace::Exists
                                                         : TOsNoReplace::Failed;
}

std::string OsModuleFileName() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) return WideToUtf8(std::wstring_view(buffer.data(), n));
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
  return FileOf(::CreateFileW(SystemName(Name).c_str(), access, share, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
}

TOsFile OsCreateFile(const std::string& Name) {
  return FileOf(::CreateFileW(SystemName(Name).c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
}

// The new file takes the folder's inherited permissions; ModeOf is not needed. It is hidden and
// marked temporary (the system may keep it in its cache) until it takes a target's name.
TOsFile OsCreateTempBeside(const std::string& Target, const char* Tag, const std::string&,
                           std::string& TempName) {
  TempName.clear();
  const std::string folder = FolderOf(Target);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = folder + TempFileName(Tag);
    const HANDLE h = ::CreateFileW(SystemName(name).c_str(), GENERIC_READ | GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                   kTempAttributes, nullptr);
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

// Renames are written through when they are made (see ReplaceOnce); a folder has nothing of its
// own to flush. Only a folder that is not there fails.
bool OsFlushFolder(const std::string& Folder) {
  if (Folder.empty()) return true;
  const DWORD attributes = ::GetFileAttributesW(SystemName(Folder).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::vector<std::string> OsFolderEntries(const std::string& Folder) {
  std::vector<std::string> names;
  const std::string pattern =
      Folder.empty() ? "*" : (IsDelimiter(Folder.back()) ? Folder : Folder + '\\') + "*";
  WIN32_FIND_DATAW found{};
  const HANDLE search = ::FindFirstFileExW(SystemName(pattern).c_str(), FindExInfoBasic, &found,
                                           FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = WideToUtf8(found.cFileName);
    if (name != "." && name != "..") names.push_back(name);
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
  return names;
}

// The lock is a file in the folder that only its holder has open: opened without sharing, so that
// every other open of it fails, in any session, of any user, and on a file server from any
// machine; deleted by the system when its handle closes, however the holder ends. One that a
// power cut left is not open, so the next run takes it over. A lock file that exists but cannot
// be opened (another user's, an elevated run's) is as busy as one held open.
TOsLock OsTryLockFolder(const std::string& Folder, TOsFile& Lock) {
  Lock = OsNoFile;
  const std::wstring folder = SystemName(Folder.empty() ? "." : Folder);
  const DWORD attributes = ::GetFileAttributesW(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
    return TOsLock::Unsupported;
  const std::string base =
      Folder.empty() ? "" : (IsDelimiter(Folder.back()) ? Folder : Folder + '\\');
  const std::wstring name = SystemName(base + kFolderLockName);
  const HANDLE h = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                                 OPEN_ALWAYS, kTempAttributes | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    Lock = FileOf(h);
    return TOsLock::Acquired;
  }
  const DWORD error = ::GetLastError();
  if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) return TOsLock::Busy;
  // A lock file that is there, or that cannot even be looked at (one being deleted as its holder
  // ends), is busy; where there is none and none can be made (a read-only folder or medium), the
  // folder has no lock.
  if (::GetFileAttributesW(name.c_str()) != INVALID_FILE_ATTRIBUTES ||
      ::GetLastError() != ERROR_FILE_NOT_FOUND)
    return TOsLock::Busy;
  return TOsLock::Unsupported;
}

void OsUnlockFolder(TOsFile Lock) {
  OsCloseFile(Lock);
}
