#include "platform/temp_names.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <random>

namespace {

constexpr char TempPrefix[] = ".veldrin-";
constexpr char TempSuffix[] = ".tmp";
constexpr std::size_t PieceLength = 6;
constexpr char Digits[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";

bool IsPieceChar(char C) {
  return (C >= '0' && C <= '9') || (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z');
}

// One seed per process from the system's random source; the counter and the clock keep two
// calls of one process apart.
std::uint64_t NextRandom() {
  static const std::uint64_t Seed =
      (std::uint64_t{std::random_device{}()} << 32) ^ std::uint64_t{std::random_device{}()};
  static std::atomic<std::uint64_t> Counter{0};
  std::uint64_t X =
      Seed ^ (++Counter * 0x9E3779B97F4A7C15u) ^
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  X ^= X >> 33;
  X *= 0xFF51AFD7ED558CCDu;
  X ^= X >> 33;
  return X;
}

}  // namespace

std::string TempFileName(const char* Tag) {
  std::string Name = std::string(TempPrefix) + Tag + "-";
  std::uint64_t X = NextRandom();
  for (std::size_t I = 0; I < PieceLength; ++I, X /= 62) Name += Digits[X % 62];
  return Name + TempSuffix;
}

bool IsTempFileName(const std::string& Name) {
  const std::size_t Prefix = sizeof(TempPrefix) - 1, Suffix = sizeof(TempSuffix) - 1;
  if (Name.size() < Prefix + 2 + PieceLength + Suffix || Name.rfind(TempPrefix, 0) != 0 ||
      Name.compare(Name.size() - Suffix, Suffix, TempSuffix) != 0)
    return false;
  const std::size_t Dash = Name.size() - Suffix - PieceLength - 1;
  if (Name[Dash] != '-' || Dash == Prefix) return false;
  for (std::size_t I = Prefix; I < Dash; ++I) {
    if (Name[I] < 'a' || Name[I] > 'z') return false;
  }
  for (std::size_t I = Dash + 1; I < Dash + 1 + PieceLength; ++I) {
    if (!IsPieceChar(Name[I])) return false;
  }
  return true;
}
