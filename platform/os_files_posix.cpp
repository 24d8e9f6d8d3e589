#include "platform/os_files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <vector>

namespace {

int Fd(TOsFile File) { return static_cast<int>(File); }

// The folder part of Name with its trailing delimiter, or "./" for a bare name.
std::string FolderOf(const std::string& Name) {
  const auto delim = Name.rfind(PathDelim);
  return delim == std::string::npos ? std::string(".") + PathDelim : Name.substr(0, delim + 1);
}

// Permissions of the file ModeOf if it exists, else those of an ordinary new file.
mode_t NewFileMode(const std::string& ModeOf) {
  struct stat st {};
  if (!ModeOf.empty() && ::stat(ModeOf.c_str(), &st) == 0) return st.st_mode & 07777;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

// Errors that say the file system cannot flush this kind of object, not that data was lost.
bool FlushNotSupported(int Error) { return Error == EINVAL || Error == EROFS || Error == ENOTSUP; }

}  // namespace

bool OsFileExists(const std::string& Name) {
  struct stat st {};
  return !Name.empty() && ::stat(Name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::int64_t OsFileSize(const std::string& Name) {
  struct stat st {};
  if (::stat(Name.c_str(), &st) != 0) return -1;
  return static_cast<std::int64_t>(st.st_size);
}

bool OsFileStampOf(const std::string& Name, TOsFileStamp& Stamp) {
  struct stat st {};
  if (Name.empty() || ::stat(Name.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  Stamp.Volume = static_cast<std::uint64_t>(st.st_dev);
  Stamp.Index = static_cast<std::uint64_t>(st.st_ino);
  Stamp.Size = static_cast<std::int64_t>(st.st_size);
  Stamp.WriteTime = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return true;
}

bool OsDeleteFile(const std::string& Name) { return ::unlink(Name.c_str()) == 0; }

bool OsReplaceFile(const std::string& From, const std::string& To) {
  if (::rename(From.c_str(), To.c_str()) != 0) return false;
  // rename does nothing when both names already reach the same file; From goes all the same.
  struct stat from {}, to {};
  if (::lstat(From.c_str(), &from) == 0 && ::stat(To.c_str(), &to) == 0 &&
      from.st_ino == to.st_ino && from.st_dev == to.st_dev)
    ::unlink(From.c_str());
  return true;
}

TOsNoReplace OsRenameNoReplace(const std::string& From, const std::string& To) {
  if (::renameat2(AT_FDCWD, From.c_str(), AT_FDCWD, To.c_str(), RENAME_NOREPLACE) == 0)
    return TOsNoReplace::Done;
  if (errno == EEXIST) return TOsNoReplace::Exists;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return TOsNoReplace::Failed;
  // The file system cannot rename without replacing: a hard link claims the new name just as
  // atomically, then the old name goes.
  if (::link(From.c_str(), To.c_str()) == 0) {
    ::unlink(From.c_str());
    return TOsNoReplace::Done;
  }
  if (errno == EEXIST) return TOsNoReplace::Exists;
  // Neither: a checked rename, which only a second writer at the very same moment can defeat.
  struct stat st {};
  if (::lstat(To.c_str(), &st) == 0) return TOsNoReplace::Exists;
  return ::rename(From.c_str(), To.c_str()) == 0 ? TOsNoReplace::Done : TOsNoReplace::Failed;
}

TOsNoReplace OsLinkNoReplace(const std::string& Existing, const std::string& NewName) {
  if (::link(Existing.c_str(), NewName.c_str()) == 0) return TOsNoReplace::Done;
  return errno == EEXIST ? TOsNoReplace::Exists : TOsNoReplace::Failed;
}

std::string OsModuleFileName() {
  std::vector<char> buf(PATH_MAX + 1);
  const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) return {};
  return std::string(buf.data(), static_cast<std::size_t>(n));
}

TOsFile OsOpenFile(const std::string& Name, TOsAccess Access, bool DenyWrite) {
  const int flags = O_CLOEXEC | (Access == TOsAccess::Write       ? O_WRONLY
                                 : Access == TOsAccess::ReadWrite ? O_RDWR
                                                                  : O_RDONLY);
  const int fd = ::open(Name.c_str(), flags);
  if (fd < 0) return OsNoFile;
  // A folder opens for reading here, but it is no file: refuse it as the platform's open does.
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode) ||
      (DenyWrite && ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK)) {
    ::close(fd);
    return OsNoFile;
  }
  return fd;
}

TOsFile OsCreateFile(const std::string& Name) {
  const int fd = ::open(Name.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  return fd < 0 ? OsNoFile : fd;
}

TOsFile OsCreateTempBeside(const std::string& Target, const char* Tag, const std::string& ModeOf,
                           std::string& TempName) {
  static constexpr char kSuffix[] = ".tmp";
  std::string name = FolderOf(Target) + ".veldrin-" + Tag + "-XXXXXX" + kSuffix;
  const int fd = ::mkostemps(name.data(), sizeof(kSuffix) - 1, O_CLOEXEC);
  TempName.clear();
  if (fd < 0) return OsNoFile;
  ::fchmod(fd, NewFileMode(ModeOf));
  TempName = name;
  return fd;
}

std::int64_t OsReadFile(TOsFile File, void* Buffer, std::int64_t Count) {
  auto* p = static_cast<char*>(Buffer);
  std::int64_t done = 0;
  while (done < Count) {
    const auto piece = static_cast<std::size_t>(std::min<std::int64_t>(Count - done, 1 << 30));
    const ssize_t n = ::read(Fd(File), p + done, piece);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

std::int64_t OsWriteFile(TOsFile File, const void* Buffer, std::int64_t Count) {
  const auto* p = static_cast<const char*>(Buffer);
  std::int64_t done = 0;
  while (done < Count) {
    const auto piece = static_cast<std::size_t>(std::min<std::int64_t>(Count - done, 1 << 30));
    const ssize_t n = ::write(Fd(File), p + done, piece);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

std::int64_t OsSeekFile(TOsFile File, std::int64_t Offset, TOsSeek Origin) {
  const int whence = Origin == TOsSeek::Current ? SEEK_CUR : Origin == TOsSeek::End ? SEEK_END : SEEK_SET;
  const off_t r = ::lseek(Fd(File), static_cast<off_t>(Offset), whence);
  return r < 0 ? -1 : static_cast<std::int64_t>(r);
}

std::int64_t OsFileSizeOf(TOsFile File) {
  struct stat st {};
  if (::fstat(Fd(File), &st) != 0) return -1;
  return static_cast<std::int64_t>(st.st_size);
}

bool OsTruncateFile(TOsFile File, std::int64_t Size) {
  return ::ftruncate(Fd(File), static_cast<off_t>(Size)) == 0;
}

bool OsFlushFile(TOsFile File) {
  return ::fsync(Fd(File)) == 0 || FlushNotSupported(errno);
}

void OsCloseFile(TOsFile File) {
  if (File != OsNoFile) ::close(Fd(File));
}

bool OsFlushFolder(const std::string& Folder) {
  const int fd = ::open(Folder.empty() ? "." : Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0 || FlushNotSupported(errno);
  ::close(fd);
  return ok;
}

TOsLock OsTryLockFolder(const std::string& Folder, TOsFile& Lock) {
  Lock = OsNoFile;
  const int fd = ::open(Folder.empty() ? "." : Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return TOsLock::Unsupported;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const bool busy = errno == EWOULDBLOCK;
    ::close(fd);
    return busy ? TOsLock::Busy : TOsLock::Unsupported;
  }
  Lock = fd;
  return TOsLock::Acquired;
}

void OsUnlockFolder(TOsFile Lock) { OsCloseFile(Lock); }
