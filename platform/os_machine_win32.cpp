#include "platform/os_machine.h"

#include <windows.h>

std::uint64_t OsPhysicalMemory() {
  MEMORYSTATUSEX Status{};
  Status.dwLength = sizeof Status;
  if (!::GlobalMemoryStatusEx(&Status)) return 0;
  return Status.ullTotalPhys;
}
