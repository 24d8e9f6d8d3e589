#pragma once

// A fresh folder under the system's temporary folder for a benchmark program, removed with all
// it holds when the object goes.

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

class TBenchFolder {
 public:
  explicit TBenchFolder(const std::string& Prefix) {
    std::string Pattern = (std::filesystem::temp_directory_path() / (Prefix + "-XXXXXX")).string();
    if (::mkdtemp(Pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    FRoot = Pattern;
  }
  ~TBenchFolder() {
    std::error_code Ec;
    std::filesystem::remove_all(FRoot, Ec);
  }
  TBenchFolder(const TBenchFolder&) = delete;
  TBenchFolder& operator=(const TBenchFolder&) = delete;
  const std::filesystem::path& Root() const { return FRoot; }

 private:
  std::filesystem::path FRoot;
};
