// OS blocks: the prefix that every block taken straight from the system carries.
#include <cstring>

#include "memmgr/os_memory.h"

namespace memmgr {

void* OSAlloc(const TOSLayer& os, std::size_t n) {
  if (n > kOSMaxSize) return nullptr;
  const std::size_t total = n + kOSPrefix;
  unsigned char* base;
  if (n < kHeapLimit) {
    base = static_cast<unsigned char*>(os.HeapAlloc(total));
    if (base == nullptr) return nullptr;
  } else {
    base = static_cast<unsigned char*>(os.Reserve(total));
    if (base == nullptr) return nullptr;
    if (!os.Commit(base, total)) {
      os.Release(base, total);
      return nullptr;
    }
  }
  const std::uint64_t full = n;
  const std::uint32_t word = n > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(n);
  std::memcpy(base, &full, sizeof full);
  std::memcpy(base + kOSPrefix - 4, &word, sizeof word);
  return base + kOSPrefix;
}

std::size_t OSBlockSize(const void* address) {
  std::uint64_t n;
  std::memcpy(&n, static_cast<const unsigned char*>(address) - kOSPrefix, sizeof n);
  return static_cast<std::size_t>(n);
}

std::uint32_t WordBefore(const void* address) {
  std::uint32_t w;
  std::memcpy(&w, static_cast<const unsigned char*>(address) - 4, sizeof w);
  return w;
}

bool OSFree(const TOSLayer& os, void* address) {
  const std::size_t n = OSBlockSize(address);
  void* base = static_cast<unsigned char*>(address) - kOSPrefix;
  if (n < kHeapLimit) return os.HeapFree(base, n + kOSPrefix);
  return os.Release(base, n + kOSPrefix);
}

}  // namespace memmgr
