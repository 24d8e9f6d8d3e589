// OS blocks: the prefix that every block taken straight from the system carries.
#include <cstring>

#include "memmgr/os_memory.h"

namespace memmgr {

void* OSAlloc(const TOSLayer& Os, std::size_t N) {
  if (N > OSMaxSize) return nullptr;
  const std::size_t Total = N + OSPrefix;
  unsigned char* Base;
  if (N < HeapLimit) {
    Base = static_cast<unsigned char*>(Os.HeapAlloc(Total));
    if (Base == nullptr) return nullptr;
  } else {
    Base = static_cast<unsigned char*>(Os.Reserve(Total));
    if (Base == nullptr) return nullptr;
    if (!Os.Commit(Base, Total)) {
      Os.Release(Base, Total);
      return nullptr;
    }
  }
  const std::uint64_t Full = N;
  const std::uint32_t Word = N > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(N);
  std::memcpy(Base, &Full, sizeof Full);
  std::memcpy(Base + OSPrefix - 4, &Word, sizeof Word);
  return Base + OSPrefix;
}

std::size_t OSBlockSize(const void* Address) {
  std::uint64_t N;
  std::memcpy(&N, static_cast<const unsigned char*>(Address) - OSPrefix, sizeof N);
  return static_cast<std::size_t>(N);
}

std::uint32_t WordBefore(const void* Address) {
  std::uint32_t W;
  std::memcpy(&W, static_cast<const unsigned char*>(Address) - 4, sizeof W);
  return W;
}

bool OSFree(const TOSLayer& Os, void* Address) {
  const std::size_t N = OSBlockSize(Address);
  void* Base = static_cast<unsigned char*>(Address) - OSPrefix;
  if (N < HeapLimit) return Os.HeapFree(Base, N + OSPrefix);
  return Os.Release(Base, N + OSPrefix);
}

}  // namespace memmgr
