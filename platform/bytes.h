#pragma once

// Little-endian fields of file headers, read and written byte by byte (any alignment).

#include <cstdint>

inline std::uint16_t GetLE16(const std::uint8_t* P) {
  return static_cast<std::uint16_t>(P[0] | (P[1] << 8));
}
inline std::uint32_t GetLE32(const std::uint8_t* P) {
  return static_cast<std::uint32_t>(P[0]) | (static_cast<std::uint32_t>(P[1]) << 8) |
         (static_cast<std::uint32_t>(P[2]) << 16) | (static_cast<std::uint32_t>(P[3]) << 24);
}
inline void PutLE16(std::uint8_t* P, std::uint16_t V) {
  P[0] = static_cast<std::uint8_t>(V);
  P[1] = static_cast<std::uint8_t>(V >> 8);
}
inline void PutLE32(std::uint8_t* P, std::uint32_t V) {
  for (int I = 0; I < 4; ++I) P[I] = static_cast<std::uint8_t>(V >> (8 * I));
}
