#include "platform/long_paths.h"

namespace {

bool IsSeparator(char C) {
  return C == '\\' || C == '/';
}

// Text with "\" separators, no two in a row.
std::string SingleSeparators(const std::string& Text) {
  std::string Out;
  for (char C : Text) {
    if (IsSeparator(C)) {
      if (Out.empty() || Out.back() != '\\') Out += '\\';
    } else {
      Out += C;
    }
  }
  return Out;
}

}  // namespace

std::string ExtendedLengthPath(const std::string& FullPath) {
  if (FullPath.rfind("\\\\?\\", 0) == 0 || FullPath.rfind("\\\\.\\", 0) == 0) return FullPath;
  if (FullPath.size() >= 2 && IsSeparator(FullPath[0]) && IsSeparator(FullPath[1]))
    return "\\\\?\\UNC\\" + SingleSeparators(FullPath.substr(2));
  return "\\\\?\\" + SingleSeparators(FullPath);
}

std::string NtPath(const std::string& FullPath) {
  std::string Path = ExtendedLengthPath(FullPath);
  if (Path.rfind("\\\\?\\", 0) == 0) Path[1] = '?';
  return Path;
}

void (*SystemNameHook)(const std::string& Name) = nullptr;
