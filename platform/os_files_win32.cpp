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
  std::wstring Full(MAX_PATH, L'\0');
  for (;;) {
    const DWORD N =
        ::GetFullPathNameW(Name.c_str(), static_cast<DWORD>(Full.size()), Full.data(), nullptr);
    if (N == 0) return {};
    if (N < Full.size()) return Full.substr(0, N);
    Full.resize(N);
  }
}

// Name as the wide-character calls take it: unchanged while it is short, in its extended form
// (long_paths.h) once it could pass the classic limit. A folder's name near the limit gives
// longer names to what is made in it (a temporary's name is longer than its target's), so every
// name is weighed on its own.
std::wstring SystemName(const std::string& Name) {
  const std::wstring Wide = Utf8ToWide(Name);
  const std::wstring Full = Wide.size() < ExtendedPathFrom ? std::wstring() : FullPathOf(Wide);
  if (Full.empty()) {
    if (SystemNameHook != nullptr) SystemNameHook(Name);
    return Wide;
  }
  const std::string Extended = ExtendedLengthPath(WideToUtf8(Full));
  if (SystemNameHook != nullptr) SystemNameHook(Extended);
  return Utf8ToWide(Extended);
}

bool IsDelimiter(char C) {
  return C == '\\' || C == '/' || C == ':';
}

// The folder part of Name with its trailing delimiter, or "" for a bare name (the current folder).
std::string FolderOf(const std::string& Name) {
  const auto At = std::find_if(Name.rbegin(), Name.rend(), IsDelimiter);
  return std::string(Name.begin(), At.base());
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
  const HANDLE H =
      ::CreateFileW(Name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (H == INVALID_HANDLE_VALUE) return false;
  const bool Ok = ::GetFileInformationByHandle(H, &Info) != 0;
  ::CloseHandle(H);
  return Ok;
}

// The folder's lock file (OsTryLockFolder).
constexpr char FolderLockName[] = ".veldrin-lock";

// The attributes a file has while it is one of our temporaries.
constexpr DWORD TempAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY;

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
  const HANDLE H = ::CreateFileW(Name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (H != INVALID_HANDLE_VALUE) {
    ::CloseHandle(H);
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
  FILE_BASIC_INFO Basic{};
  Basic.FileAttributes = ToAttributes == INVALID_FILE_ATTRIBUTES
                             ? FILE_ATTRIBUTE_NORMAL
                             : (ToAttributes & ~TempAttributes) | FILE_ATTRIBUTE_ARCHIVE;
  ::SetFileInformationByHandle(File, FileBasicInfo, &Basic, sizeof Basic);
  if (ToAttributes == INVALID_FILE_ATTRIBUTES) return;
  DWORD Size = 0;
  ::GetFileSecurityW(To.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &Size);
  if (Size == 0) return;
  std::vector<std::byte> Descriptor(Size);
  if (::GetFileSecurityW(To.c_str(), DACL_SECURITY_INFORMATION, Descriptor.data(), Size, &Size))
    ::SetKernelObjectSecurity(File, DACL_SECURITY_INFORMATION, Descriptor.data());
}

// Renames the open file File onto To with POSIX semantics (Windows 10 1809 and later, on NTFS):
// the name To moves to File at once, even while other programs hold the old file open with
// delete sharing (they keep reading the old file). ERROR_SUCCESS or the system's error.
DWORD PosixRename(HANDLE File, const std::wstring& To) {
  constexpr DWORD RenameFlags =
      FILE_RENAME_FLAG_REPLACE_IF_EXISTS | FILE_RENAME_FLAG_POSIX_SEMANTICS;
  constexpr auto RenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);  // FileRenameInfoEx
  const std::wstring Full = FullPathOf(To);
  if (Full.empty()) return ::GetLastError();
  const std::wstring Target = Utf8ToWide(NtPath(WideToUtf8(Full)));
  const std::size_t NameBytes = Target.size() * sizeof(wchar_t);
  std::vector<std::byte> Buffer(offsetof(FILE_RENAME_INFO, FileName) + NameBytes + sizeof(wchar_t));
  auto* Info = reinterpret_cast<FILE_RENAME_INFO*>(Buffer.data());
  std::memcpy(Buffer.data(), &RenameFlags, sizeof RenameFlags);  // the Flags member of the Ex form
  Info->RootDirectory = nullptr;
  Info->FileNameLength = static_cast<DWORD>(NameBytes);
  std::memcpy(Info->FileName, Target.data(), NameBytes);
  if (!::SetFileInformationByHandle(File, RenameInfoEx, Info, static_cast<DWORD>(Buffer.size())))
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
  const HANDLE File = ::CreateFileW(From.c_str(), DELETE | GENERIC_WRITE | READ_CONTROL | WRITE_DAC,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
  if (File == INVALID_HANDLE_VALUE) return ::GetLastError();
  // Only a temporary just written takes over the old file's looks (a file system without the
  // temporary mark, FAT, keeps the hidden one); a second name of a file that exists (a backup
  // put back, a bad copy) is that file, and keeps its own.
  BY_HANDLE_FILE_INFORMATION Info{};
  if (Fresh && ::GetFileInformationByHandle(File, &Info) &&
      (Info.dwFileAttributes & TempAttributes) != 0)
    TakeOverLooks(File, To, ToAttributes);
  DWORD Error = PosixRename(File, To);
  if (Error == ERROR_SUCCESS) {
    ::FlushFileBuffers(File);
    ::CloseHandle(File);
    return ERROR_SUCCESS;
  }
  ::CloseHandle(File);
  // Where the system or the file system has no such rename, the classic one.
  if (!IsPassing(Error) || Error == ERROR_ACCESS_DENIED) {
    if (::MoveFileExW(From.c_str(), To.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      return ERROR_SUCCESS;
    Error = ::GetLastError();
  }
  return Error;
}

}  // namespace

bool OsFileExists(const std::string& Name) {
  const DWORD Attributes = ::GetFileAttributesW(SystemName(Name).c_str());
  return !Name.empty() && Attributes != INVALID_FILE_ATTRIBUTES &&
         (Attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

std::int64_t OsFileSize(const std::string& Name) {
  WIN32_FILE_ATTRIBUTE_DATA Data{};
  if (Name.empty() ||
      !::GetFileAttributesExW(SystemName(Name).c_str(), GetFileExInfoStandard, &Data))
    return -1;
  return (static_cast<std::int64_t>(Data.nFileSizeHigh) << 32) | Data.nFileSizeLow;
}

bool OsFileStampOf(const std::string& Name, TOsFileStamp& Stamp) {
  BY_HANDLE_FILE_INFORMATION Info{};
  if (Name.empty() || !IdentityOf(SystemName(Name), Info) ||
      (Info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return false;
  }
  Stamp.Volume = Info.dwVolumeSerialNumber;
  Stamp.Index = std::uint64_t{Info.nFileIndexHigh} << 32 | Info.nFileIndexLow;
  Stamp.Size =
      static_cast<std::int64_t>(std::uint64_t{Info.nFileSizeHigh} << 32 | Info.nFileSizeLow);
  Stamp.WriteTime =
      static_cast<std::int64_t>(std::uint64_t{Info.ftLastWriteTime.dwHighDateTime} << 32 |
                                Info.ftLastWriteTime.dwLowDateTime);
  return true;
}

bool OsDeleteFile(const std::string& Name) {
  return !Name.empty() && ::DeleteFileW(SystemName(Name).c_str()) != 0;
}

bool OsReplaceFile(const std::string& From, const std::string& To, TOsFailure* Why) {
  constexpr int Attempts = 20;  // about two seconds in all
  const std::wstring WideFrom = SystemName(From), WideTo = SystemName(To);
  auto Fail = [Why](TOsFailure Failure) {
    if (Why != nullptr) *Why = Failure;
    return false;
  };
  const bool Fresh = IsTempFileName(BareName(From));  // one of our temporaries
  const DWORD ToAttributes = ::GetFileAttributesW(WideTo.c_str());
  // A map the user marked read-only is not replaced (the classic replace refuses it too).
  if (ToAttributes != INVALID_FILE_ATTRIBUTES && (ToAttributes & FILE_ATTRIBUTE_READONLY) != 0)
    return Fail(TOsFailure::ReadOnly);
  for (int Attempt = 1;; ++Attempt) {
    const DWORD Error = ReplaceOnce(WideFrom, WideTo, ToAttributes, Fresh);
    if (Error == ERROR_SUCCESS) break;
    if (!IsPassing(Error) || Attempt == Attempts) return Fail(FailureOf(Error, WideFrom, WideTo));
    ::Sleep(100);
  }
  // Where both names already reached the same file the rename may leave From (Wine does, as
  // POSIX rename does); it goes all the same.
  BY_HANDLE_FILE_INFORMATION A{}, B{};
  if (IdentityOf(WideFrom, A) && IdentityOf(WideTo, B) &&
      A.dwVolumeSerialNumber == B.dwVolumeSerialNumber && A.nFileIndexHigh == B.nFileIndexHigh &&
      A.nFileIndexLow == B.nFileIndexLow)
    ::DeleteFileW(WideFrom.c_str());
  return true;
}

TOsNoReplace OsRenameNoReplace(const std::string& From, const std::string& To) {
  const std::wstring WideFrom = SystemName(From), WideTo = SystemName(To);
  // One of our temporaries takes a name of its own: it is no longer hidden or temporary.
  if (IsTempFileName(BareName(From))) {
    const DWORD Attributes = ::GetFileAttributesW(WideFrom.c_str());
    if (Attributes != INVALID_FILE_ATTRIBUTES && (Attributes & TempAttributes) != 0) {
      ::SetFileAttributesW(WideFrom.c_str(),
                           (Attributes & ~TempAttributes) | FILE_ATTRIBUTE_ARCHIVE);
    }
  }
  if (::MoveFileExW(WideFrom.c_str(), WideTo.c_str(), MOVEFILE_WRITE_THROUGH) != 0)
    return TOsNoReplace::Done;
  // A folder of that name gives "access denied" rather than "exists".
  return IsExistsError(::GetLastError()) || Exists(WideTo) ? TOsNoReplace::Exists
                                                           : TOsNoReplace::Failed;
}

TOsNoReplace OsLinkNoReplace(const std::string& Existing, const std::string& NewName) {
  const std::wstring Name = SystemName(NewName);
  if (::CreateHardLinkW(Name.c_str(), SystemName(Existing).c_str(), nullptr) != 0)
    return TOsNoReplace::Done;
  return IsExistsError(::GetLastError()) || Exists(Name) ? TOsNoReplace::Exists
                                                         : TOsNoReplace::Failed;
}

std::string OsModuleFileName() {
  std::vector<wchar_t> Buffer(MAX_PATH);
  for (;;) {
    const DWORD N = ::GetModuleFileNameW(nullptr, Buffer.data(), static_cast<DWORD>(Buffer.size()));
    if (N == 0) return {};
    if (N < Buffer.size()) return WideToUtf8(std::wstring_view(Buffer.data(), N));
    if (Buffer.size() >= 32768) return {};
    Buffer.resize(Buffer.size() * 2);
  }
}

// Others may always read and rename; with DenyWrite they may not write (the framework's
// fmShareDenyWrite), and the open fails while someone else has the file open for writing.
TOsFile OsOpenFile(const std::string& Name, TOsAccess Access, bool DenyWrite) {
  const DWORD Desired = Access == TOsAccess::Read    ? GENERIC_READ
                        : Access == TOsAccess::Write ? GENERIC_WRITE
                                                     : GENERIC_READ | GENERIC_WRITE;
  const DWORD Share = FILE_SHARE_READ | FILE_SHARE_DELETE | (DenyWrite ? 0 : FILE_SHARE_WRITE);
  // Without FILE_FLAG_BACKUP_SEMANTICS a folder cannot be opened: it is no file.
  return FileOf(::CreateFileW(SystemName(Name).c_str(), Desired, Share, nullptr, OPEN_EXISTING,
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
  const std::string Folder = FolderOf(Target);
  for (int Attempt = 0; Attempt < 100; ++Attempt) {
    const std::string Name = Folder + TempFileName(Tag);
    const HANDLE H = ::CreateFileW(SystemName(Name).c_str(), GENERIC_READ | GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                   TempAttributes, nullptr);
    if (H != INVALID_HANDLE_VALUE) {
      TempName = Name;
      return FileOf(H);
    }
    if (!IsExistsError(::GetLastError())) break;
  }
  return OsNoFile;
}

std::int64_t OsReadFile(TOsFile File, void* Buffer, std::int64_t Count) {
  auto* P = static_cast<char*>(Buffer);
  std::int64_t Done = 0;
  while (Done < Count) {
    const auto Piece = static_cast<DWORD>(std::min<std::int64_t>(Count - Done, 1 << 30));
    DWORD N = 0;
    if (!::ReadFile(Handle(File), P + Done, Piece, &N, nullptr) || N == 0) break;
    Done += N;
  }
  return Done;
}

std::int64_t OsWriteFile(TOsFile File, const void* Buffer, std::int64_t Count) {
  const auto* P = static_cast<const char*>(Buffer);
  std::int64_t Done = 0;
  while (Done < Count) {
    const auto Piece = static_cast<DWORD>(std::min<std::int64_t>(Count - Done, 1 << 30));
    DWORD N = 0;
    if (!::WriteFile(Handle(File), P + Done, Piece, &N, nullptr) || N == 0) break;
    Done += N;
  }
  return Done;
}

std::int64_t OsSeekFile(TOsFile File, std::int64_t Offset, TOsSeek Origin) {
  const DWORD Method = Origin == TOsSeek::Current ? FILE_CURRENT
                       : Origin == TOsSeek::End   ? FILE_END
                                                  : FILE_BEGIN;
  LARGE_INTEGER Distance{}, Result{};
  Distance.QuadPart = Offset;
  if (!::SetFilePointerEx(Handle(File), Distance, &Result, Method)) return -1;
  return Result.QuadPart;
}

std::int64_t OsFileSizeOf(TOsFile File) {
  LARGE_INTEGER Size{};
  return ::GetFileSizeEx(Handle(File), &Size) ? Size.QuadPart : -1;
}

// Windows sets the end of a file at its position: move there and back.
bool OsTruncateFile(TOsFile File, std::int64_t Size) {
  const std::int64_t Position = OsSeekFile(File, 0, TOsSeek::Current);
  if (Position < 0 || OsSeekFile(File, Size, TOsSeek::Begin) != Size) return false;
  const bool Ok = ::SetEndOfFile(Handle(File)) != 0;
  OsSeekFile(File, Position, TOsSeek::Begin);
  return Ok;
}

bool OsFlushFile(TOsFile File) {
  if (::FlushFileBuffers(Handle(File))) return true;
  // A file system with nothing to flush refuses the call as unsupported.
  const DWORD Error = ::GetLastError();
  return Error == ERROR_INVALID_FUNCTION || Error == ERROR_NOT_SUPPORTED;
}

void OsCloseFile(TOsFile File) {
  if (File != OsNoFile) ::CloseHandle(Handle(File));
}

// Renames are written through when they are made (see ReplaceOnce); a folder has nothing of its
// own to flush. Only a folder that is not there fails.
bool OsFlushFolder(const std::string& Folder) {
  if (Folder.empty()) return true;
  const DWORD Attributes = ::GetFileAttributesW(SystemName(Folder).c_str());
  return Attributes != INVALID_FILE_ATTRIBUTES && (Attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::vector<std::string> OsFolderEntries(const std::string& Folder) {
  std::vector<std::string> Names;
  const std::string Pattern =
      Folder.empty() ? "*" : (IsDelimiter(Folder.back()) ? Folder : Folder + '\\') + "*";
  WIN32_FIND_DATAW Found{};
  const HANDLE Search = ::FindFirstFileExW(SystemName(Pattern).c_str(), FindExInfoBasic, &Found,
                                           FindExSearchNameMatch, nullptr, 0);
  if (Search == INVALID_HANDLE_VALUE) return Names;
  do {
    const std::string Name = WideToUtf8(Found.cFileName);
    if (Name != "." && Name != "..") Names.push_back(Name);
  } while (::FindNextFileW(Search, &Found));
  ::FindClose(Search);
  return Names;
}

// The lock is a file in the folder that only its holder has open: opened without sharing, so that
// every other open of it fails, in any session, of any user, and on a file server from any
// machine; deleted by the system when its handle closes, however the holder ends. One that a
// power cut left is not open, so the next run takes it over. A lock file that exists but cannot
// be opened (another user's, an elevated run's) is as busy as one held open.
TOsLock OsTryLockFolder(const std::string& Folder, TOsFile& Lock) {
  Lock = OsNoFile;
  const DWORD Attributes = ::GetFileAttributesW(SystemName(Folder.empty() ? "." : Folder).c_str());
  if (Attributes == INVALID_FILE_ATTRIBUTES || (Attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
    return TOsLock::Unsupported;
  const std::string Base =
      Folder.empty() ? "" : (IsDelimiter(Folder.back()) ? Folder : Folder + '\\');
  const std::wstring Name = SystemName(Base + FolderLockName);
  const HANDLE H = ::CreateFileW(Name.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                                 OPEN_ALWAYS, TempAttributes | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (H != INVALID_HANDLE_VALUE) {
    Lock = FileOf(H);
    return TOsLock::Acquired;
  }
  const DWORD Error = ::GetLastError();
  if (Error == ERROR_SHARING_VIOLATION || Error == ERROR_LOCK_VIOLATION) return TOsLock::Busy;
  // A lock file that is there, or that cannot even be looked at (one being deleted as its holder
  // ends), is busy; where there is none and none can be made (a read-only folder or medium), the
  // folder has no lock.
  if (::GetFileAttributesW(Name.c_str()) != INVALID_FILE_ATTRIBUTES ||
      ::GetLastError() != ERROR_FILE_NOT_FOUND)
    return TOsLock::Busy;
  return TOsLock::Unsupported;
}

void OsUnlockFolder(TOsFile Lock) {
  OsCloseFile(Lock);
}
