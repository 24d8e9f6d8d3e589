#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <vector>

#include "platform/exceptions.h"
#include "platform/streams.h"

bool FileExists(const std::string& FileName) {
  struct stat st {};
  return !FileName.empty() && ::stat(FileName.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DeleteFile(const std::string& FileName) { return ::unlink(FileName.c_str()) == 0; }

bool RenameFile(const std::string& OldName, const std::string& NewName) {
  // Like the platform's move: fails instead of replacing an existing file.
  if (::link(OldName.c_str(), NewName.c_str()) == 0) {
    ::unlink(OldName.c_str());
    return true;
  }
  if (errno == EEXIST) return false;
  // Hard links are not available everywhere: fall back to a checked rename.
  struct stat st {};
  if (::lstat(NewName.c_str(), &st) == 0) return false;
  return ::rename(OldName.c_str(), NewName.c_str()) == 0;
}

bool ReplaceFile(const std::string& OldName, const std::string& NewName) {
  return ::rename(OldName.c_str(), NewName.c_str()) == 0;
}

std::int64_t FileSizeOf(const std::string& FileName) {
  struct stat st {};
  if (::stat(FileName.c_str(), &st) != 0) return -1;
  return static_cast<std::int64_t>(st.st_size);
}

std::string ExtractFileExt(const std::string& FileName) {
  const auto dot = FileName.rfind('.');
  const auto delim = FileName.rfind(PathDelim);
  if (dot == std::string::npos || (delim != std::string::npos && dot < delim)) return {};
  return FileName.substr(dot);
}

std::string ChangeFileExt(const std::string& FileName, const std::string& Extension) {
  const std::string ext = ExtractFileExt(FileName);
  return FileName.substr(0, FileName.size() - ext.size()) + Extension;
}

std::string GetModuleFileName() {
  std::vector<char> buf(PATH_MAX + 1);
  const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) return {};
  return std::string(buf.data(), static_cast<std::size_t>(n));
}

void WriteFileReplacing(const std::string& FileName, const std::function<void(TStream&)>& Write) {
  const auto delim = FileName.rfind(PathDelim);
  const std::string folder = delim == std::string::npos ? std::string(".") : FileName.substr(0, delim + 1);
  std::string temp = folder + (delim == std::string::npos ? "/" : "") + ".veldrin-XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) throw EFCreateError(FileName);
  ::close(fd);
  // Keep the permissions an ordinary newly created file would get.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  struct stat st {};
  const mode_t mode = ::stat(FileName.c_str(), &st) == 0 ? (st.st_mode & 07777) : (0666 & ~mask);
  ::chmod(temp.c_str(), mode);
  try {
    {
      TFileStream stream(temp, fmCreate);
      Write(stream);
    }
    if (::rename(temp.c_str(), FileName.c_str()) != 0) throw EFCreateError(FileName);
  } catch (...) {
    ::unlink(temp.c_str());
    throw;
  }
}
