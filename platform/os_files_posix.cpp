#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <vector>

#include "platform/os_files.h"
#include "platform/temp_names.h"

namespace {

int Fd(TOsFile File) {
  return static_cast<int>(File);
}

// Calls a system call again while a signal interrupts it: a Ctrl-C that arrives while a slow
// file system (a network folder, FUSE) is busy must cancel the run, not fail the call.
template <typename Call>
auto Retrying(Call Fn) {
  decltype(Fn()) Result;
  do {
    Result = Fn();
  } while (Result == -1 && errno == EINTR);
  return Result;
}

int Stat(const std::string& Name, struct stat& St) {
  return Retrying([&] { return ::stat(Name.c_str(), &St); });
}
int LStat(const std::string& Name, struct stat& St) {
  return Retrying([&] { return ::lstat(Name.c_str(), &St); });
}
int FStat(int File, struct stat& St) {
  return Retrying([&] { return ::fstat(File, &St); });
}
int Open(const std::string& Name, int Flags, mode_t Mode = 0) {
  return Retrying([&] { return ::open(Name.c_str(), Flags, Mode); });
}
int Unlink(const std::string& Name) {
  return Retrying([&] { return ::unlink(Name.c_str()); });
}
int Link(const std::string& Existing, const std::string& NewName) {
  return Retrying([&] { return ::link(Existing.c_str(), NewName.c_str()); });
}
int Rename(const std::string& From, const std::string& To) {
  return Retrying([&] { return ::rename(From.c_str(), To.c_str()); });
}
int Flock(int File, int Operation) {
  return Retrying([&] { return ::flock(File, Operation); });
}
int FSync(int File) {
  return Retrying([&] { return ::fsync(File); });
}
// Never repeated: Linux has released the descriptor even when close reports EINTR.
void Close(int File) {
  ::close(File);
}

// The folder part of Name with its trailing delimiter, or "./" for a bare name.
std::string FolderOf(const std::string& Name) {
  const auto Delim = Name.rfind(PathDelim);
  return Delim == std::string::npos ? std::string(".") + PathDelim : Name.substr(0, Delim + 1);
}

int OpenFolder(const std::string& Folder) {
  return Open(Folder.empty() ? "." : Folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// File systems whose locks another machine using the same folder does not see (or sees only
// where both ends agree on a lock protocol): NFS, SMB/CIFS, FUSE (sshfs and the like), AFS,
// Ceph, Coda, 9P.
bool IsNetworkFileSystem(int Folder) {
  struct statfs Fs {};
  if (Retrying([&] { return ::fstatfs(Folder, &Fs); }) != 0) return false;
  switch (static_cast<unsigned long>(Fs.f_type)) {
    case 0x6969:      // NFS
    case 0x517B:      // SMB
    case 0xFF534D42:  // CIFS
    case 0xFE534D42:  // SMB2
    case 0x65735546:  // FUSE
    case 0x5346414F:  // AFS
    case 0x00C36400:  // Ceph
    case 0x73757245:  // Coda
    case 0x01021997:  // 9P
      return true;
    default:
      return false;
  }
}

TOsFailure FailureOf(int Error) {
  switch (Error) {
    case ETXTBSY:
    case EBUSY:
      return TOsFailure::InUse;
    case EROFS:
      return TOsFailure::ReadOnly;
    case EACCES:
    case EPERM:
      return TOsFailure::AccessDenied;
    default:
      return TOsFailure::Other;
  }
}

// Errors that say the file system cannot flush this kind of object, not that data was lost.
bool FlushNotSupported(int Error) {
  return Error == EINVAL || Error == EROFS || Error == ENOTSUP;
}

}  // namespace

bool OsFileExists(const std::string& Name) {
  struct stat St {};
  return !Name.empty() && Stat(Name, St) == 0 && S_ISREG(St.st_mode);
}

std::int64_t OsFileSize(const std::string& Name) {
  struct stat St {};
  if (Stat(Name, St) != 0) return -1;
  return static_cast<std::int64_t>(St.st_size);
}

bool OsFileStampOf(const std::string& Name, TOsFileStamp& Stamp) {
  struct stat St {};
  if (Name.empty() || Stat(Name, St) != 0 || !S_ISREG(St.st_mode)) return false;
  Stamp.Volume = static_cast<std::uint64_t>(St.st_dev);
  Stamp.Index = static_cast<std::uint64_t>(St.st_ino);
  Stamp.Size = static_cast<std::int64_t>(St.st_size);
  Stamp.WriteTime = static_cast<std::int64_t>(St.st_mtim.tv_sec) * 1000000000 + St.st_mtim.tv_nsec;
  return true;
}

bool OsDeleteFile(const std::string& Name) {
  return Unlink(Name) == 0;
}

bool OsReplaceFile(const std::string& From, const std::string& To, TOsFailure* Why) {
  if (Rename(From, To) != 0) {
    if (Why != nullptr) *Why = FailureOf(errno);
    return false;
  }
  // rename does nothing when both names already reach the same file; From goes all the same.
  struct stat FromStat {
  }, ToStat{};
  if (LStat(From, FromStat) == 0 && Stat(To, ToStat) == 0 && FromStat.st_ino == ToStat.st_ino &&
      FromStat.st_dev == ToStat.st_dev)
    Unlink(From);
  return true;
}

TOsNoReplace OsRenameNoReplace(const std::string& From, const std::string& To) {
  if (Retrying([&] {
        return ::renameat2(AT_FDCWD, From.c_str(), AT_FDCWD, To.c_str(), RENAME_NOREPLACE);
      }) == 0)
    return TOsNoReplace::Done;
  if (errno == EEXIST) return TOsNoReplace::Exists;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return TOsNoReplace::Failed;
  // The file system cannot rename without replacing: a hard link claims the new name just as
  // atomically, then the old name goes.
  if (Link(From, To) == 0) {
    Unlink(From);
    return TOsNoReplace::Done;
  }
  if (errno == EEXIST) return TOsNoReplace::Exists;
  // Neither: a checked rename, which only a second writer at the very same moment can defeat.
  struct stat St {};
  if (LStat(To, St) == 0) return TOsNoReplace::Exists;
  return Rename(From, To) == 0 ? TOsNoReplace::Done : TOsNoReplace::Failed;
}

TOsNoReplace OsLinkNoReplace(const std::string& Existing, const std::string& NewName) {
  if (Link(Existing, NewName) == 0) return TOsNoReplace::Done;
  return errno == EEXIST ? TOsNoReplace::Exists : TOsNoReplace::Failed;
}

std::string OsModuleFileName() {
  std::vector<char> Buf(PATH_MAX + 1);
  const ssize_t N = ::readlink("/proc/self/exe", Buf.data(), Buf.size() - 1);
  if (N <= 0) return {};
  return std::string(Buf.data(), static_cast<std::size_t>(N));
}

TOsFile OsOpenFile(const std::string& Name, TOsAccess Access, bool DenyWrite) {
  const int Flags = O_CLOEXEC | (Access == TOsAccess::Write       ? O_WRONLY
                                 : Access == TOsAccess::ReadWrite ? O_RDWR
                                                                  : O_RDONLY);
  const int Fd = Open(Name, Flags);
  if (Fd < 0) return OsNoFile;
  // A folder opens for reading here, but it is no file: refuse it as the platform's open does.
  struct stat St {};
  if (FStat(Fd, St) != 0 || S_ISDIR(St.st_mode) ||
      (DenyWrite && Flock(Fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK)) {
    Close(Fd);
    return OsNoFile;
  }
  return Fd;
}

TOsFile OsCreateFile(const std::string& Name) {
  const int Fd = Open(Name, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  return Fd < 0 ? OsNoFile : Fd;
}

// Created with 0666 under the process's umask, as an ordinary new file is; a ModeOf that exists
// lends its permissions to the open file, so no other file of the process is touched meanwhile.
TOsFile OsCreateTempBeside(const std::string& Target, const char* Tag, const std::string& ModeOf,
                           std::string& TempName) {
  TempName.clear();
  const std::string Folder = FolderOf(Target);
  for (int Attempt = 0; Attempt < 100; ++Attempt) {
    const std::string Name = Folder + TempFileName(Tag);
    const int Fd = Open(Name, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (Fd < 0) {
      if (errno == EEXIST) continue;
      return OsNoFile;
    }
    struct stat St {};
    if (!ModeOf.empty() && Stat(ModeOf, St) == 0)
      Retrying([&] { return ::fchmod(Fd, St.st_mode & 07777); });
    TempName = Name;
    return Fd;
  }
  return OsNoFile;
}

std::int64_t OsReadFile(TOsFile File, void* Buffer, std::int64_t Count) {
  auto* P = static_cast<char*>(Buffer);
  std::int64_t Done = 0;
  while (Done < Count) {
    const auto Piece = static_cast<std::size_t>(std::min<std::int64_t>(Count - Done, 1 << 30));
    const ssize_t N = Retrying([&] { return ::read(Fd(File), P + Done, Piece); });
    if (N <= 0) break;
    Done += N;
  }
  return Done;
}

std::int64_t OsWriteFile(TOsFile File, const void* Buffer, std::int64_t Count) {
  const auto* P = static_cast<const char*>(Buffer);
  std::int64_t Done = 0;
  while (Done < Count) {
    const auto Piece = static_cast<std::size_t>(std::min<std::int64_t>(Count - Done, 1 << 30));
    const ssize_t N = Retrying([&] { return ::write(Fd(File), P + Done, Piece); });
    if (N <= 0) break;
    Done += N;
  }
  return Done;
}

std::int64_t OsSeekFile(TOsFile File, std::int64_t Offset, TOsSeek Origin) {
  const int Whence = Origin == TOsSeek::Current ? SEEK_CUR
                     : Origin == TOsSeek::End   ? SEEK_END
                                                : SEEK_SET;
  const off_t R = ::lseek(Fd(File), static_cast<off_t>(Offset), Whence);
  return R < 0 ? -1 : static_cast<std::int64_t>(R);
}

std::int64_t OsFileSizeOf(TOsFile File) {
  struct stat St {};
  if (FStat(Fd(File), St) != 0) return -1;
  return static_cast<std::int64_t>(St.st_size);
}

bool OsTruncateFile(TOsFile File, std::int64_t Size) {
  return Retrying([&] { return ::ftruncate(Fd(File), static_cast<off_t>(Size)); }) == 0;
}

bool OsFlushFile(TOsFile File) {
  return FSync(Fd(File)) == 0 || FlushNotSupported(errno);
}

void OsCloseFile(TOsFile File) {
  if (File != OsNoFile) Close(Fd(File));
}

// A folder this user may write in but not read (a drop box) cannot be opened to flush it: its
// renames reach the disk with the file system's next commit, as on a system without folder
// flushes. That is no failure of the save.
bool OsFlushFolder(const std::string& Folder) {
  const int Fd = OpenFolder(Folder);
  if (Fd < 0) return errno == EACCES;
  const bool Ok = FSync(Fd) == 0 || FlushNotSupported(errno);
  Close(Fd);
  return Ok;
}

std::vector<std::string> OsFolderEntries(const std::string& Folder) {
  std::vector<std::string> Names;
  const int Fd = OpenFolder(Folder);
  if (Fd < 0) return Names;
  DIR* Dir = ::fdopendir(Fd);
  if (Dir == nullptr) {
    Close(Fd);
    return Names;
  }
  while (const dirent* Entry = ::readdir(Dir)) {
    const std::string Name = Entry->d_name;
    if (Name != "." && Name != "..") Names.push_back(Name);
  }
  ::closedir(Dir);
  return Names;
}

TOsLock OsTryLockFolder(const std::string& Folder, TOsFile& Lock) {
  Lock = OsNoFile;
  const int Fd = OpenFolder(Folder);
  if (Fd < 0) return TOsLock::Unsupported;
  if (Flock(Fd, LOCK_EX | LOCK_NB) != 0) {
    const bool Busy = errno == EWOULDBLOCK;
    Close(Fd);
    return Busy ? TOsLock::Busy : TOsLock::Unsupported;
  }
  Lock = Fd;
  return IsNetworkFileSystem(Fd) ? TOsLock::LocalOnly : TOsLock::Acquired;
}

void OsUnlockFolder(TOsFile Lock) {
  OsCloseFile(Lock);
}
