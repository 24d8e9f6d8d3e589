#include "support/temp_dir.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace testsupport {

std::filesystem::path PathOf(const std::string& Utf8) {
  return std::filesystem::path(
      std::u8string(reinterpret_cast<const char8_t*>(Utf8.data()), Utf8.size()));
}

std::string Utf8Of(const std::filesystem::path& Path) {
  const std::u8string S = Path.u8string();
  return std::string(reinterpret_cast<const char*>(S.data()), S.size());
}

TTempDir::TTempDir() {
  const std::filesystem::path Base = std::filesystem::temp_directory_path();
  std::random_device Seed;
  std::mt19937_64 Random(Seed());
  for (int Attempt = 0; Attempt < 100; ++Attempt) {
    const std::filesystem::path Candidate =
        Base / ("veldrin-test-" + std::to_string(Random() % 1000000000));
    if (std::filesystem::create_directory(Candidate)) {
      FPath = Candidate;
      return;
    }
  }
  throw std::runtime_error("no fresh temporary folder");
}

TTempDir::~TTempDir() {
  std::error_code Ec;
  std::filesystem::permissions(FPath, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, Ec);
  std::filesystem::remove_all(FPath, Ec);
}

std::string TTempDir::File(const std::string& Name) const { return Utf8Of(FPath / PathOf(Name)); }

std::vector<std::uint8_t> ReadFileBytes(const std::string& Name) {
  std::ifstream In(PathOf(Name), std::ios::binary);
  if (!In) throw std::runtime_error("cannot open " + Name);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(In), {});
}

void WriteFileBytes(const std::string& Name, const std::vector<std::uint8_t>& Bytes) {
  std::ofstream Out(PathOf(Name), std::ios::binary | std::ios::trunc);
  if (!Out) throw std::runtime_error("cannot create " + Name);
  Out.write(reinterpret_cast<const char*>(Bytes.data()), static_cast<std::streamsize>(Bytes.size()));
  if (!Out) throw std::runtime_error("cannot write " + Name);
}

std::map<std::string, std::vector<std::uint8_t>> Snapshot(const TTempDir& Dir) {
  std::map<std::string, std::vector<std::uint8_t>> Files;
  for (const auto& E : std::filesystem::directory_iterator(Dir.Path())) {
    Files[Utf8Of(E.path().filename())] = ReadFileBytes(Utf8Of(E.path()));
  }
  return Files;
}

std::vector<std::string> FileNames(const TTempDir& Dir) {
  std::vector<std::string> Names;
  for (const auto& E : std::filesystem::directory_iterator(Dir.Path()))
    Names.push_back(Utf8Of(E.path().filename()));
  std::sort(Names.begin(), Names.end());
  return Names;
}

}  // namespace testsupport
