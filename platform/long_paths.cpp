#include "platform/long_paths.h"

namespace {

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

// Text with "\" separators, no two in a row.
std::string SingleSeparators(const std::string& Text) {
  std::string out;
  for (char c : Text) {
    if (IsSeparator(c)) {
      if (out.empty() || out.back() != '\\') out += '\\';
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

std::string ExtendedLengthPath(const std::string& FullPath) {
  if (FullPath.rfind("\\\\?\\", 0) == 0 || FullPath.rfind("\\\\.\\", 0) == 0) return FullPath;
  if (FullPath.size() >= 2 && IsSeparator(FullPath[0]) && IsSeparator(FullPath[1]))
    return "\\\\?\\UNC\\" + SingleSeparators(FullPath.substr(2));
  return "\\\\?\\" + SingleSeparators(FullPath);
}

std::string NtPath(const std::string& FullPath) {
  std::string path = ExtendedLengthPath(FullPath);
  if (path.rfind("\\\\?\\", 0) == 0) path[1] = '?';
  return path;
}

void (*SystemNameHook)(const std::string& Name) = nullptr;
