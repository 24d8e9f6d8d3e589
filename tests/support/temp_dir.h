#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace testsupport {

// A fresh, empty folder under the system's temporary folder, removed with everything in it
// when the object goes out of scope.
class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  const std::filesystem::path& Path() const { return FPath; }
  // Full path of a file inside the folder, as a UTF-8 string.
  std::string File(const std::string& Name) const;

 private:
  std::filesystem::path FPath;
};

// Names are UTF-8 texts, as the code under test takes them; these turn them into paths and back
// whatever the system's own encoding of names.
std::filesystem::path PathOf(const std::string& Utf8);
std::string Utf8Of(const std::filesystem::path& Path);

std::vector<std::uint8_t> ReadFileBytes(const std::string& Name);
void WriteFileBytes(const std::string& Name, const std::vector<std::uint8_t>& Bytes);

// Every file of a folder by name with its contents, to compare a folder before and after.
std::map<std::string, std::vector<std::uint8_t>> Snapshot(const TTempDir& Dir);
// The names of a folder's entries, sorted.
std::vector<std::string> FileNames(const TTempDir& Dir);

}  // namespace testsupport
