#include "platform/os_machine.h"

#include <unistd.h>

std::uint64_t OsPhysicalMemory() {
  const long Pages = ::sysconf(_SC_PHYS_PAGES);
  const long PageSize = ::sysconf(_SC_PAGESIZE);
  if (Pages <= 0 || PageSize <= 0) return 0;
  return static_cast<std::uint64_t>(Pages) * static_cast<std::uint64_t>(PageSize);
}
