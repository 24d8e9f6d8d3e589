#include "platform/temp_names.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <random>

namespace {

constexpr char kPrefix[] = ".veldrin-";
constexpr char kSuffix[] = ".tmp";
constexpr std::size_t kPieceLength = 6;
constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";

bool IsPieceChar(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// One seed per process from the system's random source; the counter and the clock keep two
// calls of one process apart.
std::uint64_t NextRandom() {
  static const std::uint64_t seed =
      (std::uint64_t{std::random_device{}()} << 32) ^ std::uint64_t{std::random_device{}()};
  static std::atomic<std::uint64_t> counter{0};
  std::uint64_t x =
      seed ^ (++counter * 0x9E3779B97F4A7C15u) ^
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  x ^= x >> 33;
  x *= 0xFF51AFD7ED558CCDu;
  x ^= x >> 33;
  return x;
}

}  // namespace

std::string TempFileName(const char* Tag) {
  std::string name = std::string(kPrefix) + Tag + "-";
  std::uint64_t x = NextRandom();
  for (std::size_t i = 0; i < kPieceLength; ++i, x /= 62) name += kDigits[x % 62];
  return name + kSuffix;
}

bool IsTempFileName(const std::string& Name) {
  const std::size_t prefix = sizeof(kPrefix) - 1, suffix = sizeof(kSuffix) - 1;
  if (Name.size() < prefix + 2 + kPieceLength + suffix || Name.rfind(kPrefix, 0) != 0 ||
      Name.compare(Name.size() - suffix, suffix, kSuffix) != 0)
    return false;
  const std::size_t dash = Name.size() - suffix - kPieceLength - 1;
  if (Name[dash] != '-' || dash == prefix) return false;
  for (std::size_t i = prefix; i < dash; ++i) {
    if (Name[i] < 'a' || Name[i] > 'z') return false;
  }
  for (std::size_t i = dash + 1; i < dash + 1 + kPieceLength; ++i) {
    if (!IsPieceChar(Name[i])) return false;
  }
  return true;
}
