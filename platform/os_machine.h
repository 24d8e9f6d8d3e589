#pragma once

// The machine seam: what the core asks the operating system about the machine itself. One
// implementation per operating system (os_machine_posix.cpp, os_machine_win32.cpp), chosen by
// the build.

#include <cstdint>

// Bytes of physical memory (RAM) the machine has, 0 when the OS cannot tell. (POSIX:
// sysconf(_SC_PHYS_PAGES) x page size; Win32: GlobalMemoryStatusEx's ullTotalPhys.)
std::uint64_t OsPhysicalMemory();
