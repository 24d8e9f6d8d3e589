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
  const std::u8string s = Path.u8string();
  return std::string(reinterpret_cast<const char*>(s.data()), s.size());
}

TempDir::TempDir() {
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  std::random_device seed;
  std::mt19937_64 random(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path candidate =
        base / ("veldrin-test-" + std::to_string(random() % 1000000000));
    if (std::filesystem::create_directory(candidate)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("no fresh temporary folder");
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

std::string TempDir::file(const std::string& name) const { return Utf8Of(path_ / PathOf(name)); }

std::vector<std::uint8_t> ReadFileBytes(const std::string& name) {
  std::ifstream in(PathOf(name), std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + name);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteFileBytes(const std::string& name, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(PathOf(name), std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot create " + name);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + name);
}

std::map<std::string, std::vector<std::uint8_t>> Snapshot(const TempDir& dir) {
  std::map<std::string, std::vector<std::uint8_t>> files;
  for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
    files[Utf8Of(e.path().filename())] = ReadFileBytes(Utf8Of(e.path()));
  }
  return files;
}

std::vector<std::string> FileNames(const TempDir& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir.path()))
    names.push_back(Utf8Of(e.path().filename()));
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace testsupport
