// The memory manager's view of the operating system: the process heap, reserved and committed
// memory, and the OS blocks built on them.
//
// Platform mapping on Windows: GetProcessHeap, HeapAlloc and HeapFree; VirtualAlloc with
// MEM_RESERVE and then MEM_COMMIT; VirtualFree with MEM_DECOMMIT and, only if that succeeded,
// MEM_RELEASE.
//
// Platform mapping on Linux:
//   - the process heap is the C library's heap (malloc/free);
//   - reserved memory is an anonymous read-write mapping (mmap), large ones on a huge-page
//     boundary with transparent huge pages asked for; committing asks the kernel for all of its
//     pages at once (instead of one fault per page on first touch); releasing it is munmap, which
//     also drops the committed pages, so there is no separate decommit step.
// The calls go through a table of function pointers so that tests can count them and make them
// fail; the manager itself never calls the platform directly.
#pragma once

#include <cstddef>
#include <cstdint>

namespace memmgr {

struct TOSLayer {
  // Whether the process heap can be used at all.
  bool (*GetProcessHeap)();
  void* (*HeapAlloc)(std::size_t Size);
  // Gives back a block of HeapAlloc; Size is the one it was asked for.
  bool (*HeapFree)(void* P, std::size_t Size);
  // Address space of `Size` bytes, not yet usable; null on failure.
  void* (*Reserve)(std::size_t Size);
  // Makes a reserved range readable and writable.
  bool (*Commit)(void* P, std::size_t Size);
  // Gives a reserved range (committed or not) back.
  bool (*Release)(void* P, std::size_t Size);
};

// The real platform.
extern const TOSLayer SystemOSLayer;

// OS block layout. The address handed out is 16-byte aligned; the 16 bytes before it are the
// prefix: bytes 0..7 the full 64-bit size n, bytes 12..15 the 32-bit word just before the address,
// holding n (saturated at 0xFFFFFFFF for blocks of 4 GiB or more, which are never pooled).
inline constexpr std::size_t OSPrefix = 16;
// Sizes below this come from the process heap, the others from reserved and committed memory.
inline constexpr std::size_t HeapLimit = 65532;
// Largest n that OSAlloc accepts (leaves room for the prefix and page rounding).
inline constexpr std::size_t OSMaxSize = SIZE_MAX / 2;

// n bytes with the prefix above; null when the system refuses or n is too large.
void* OSAlloc(const TOSLayer& Os, std::size_t N);
// Gives back a block of OSAlloc; tells whether the platform calls succeeded.
bool OSFree(const TOSLayer& Os, void* Address);
// The n that the block was made with.
std::size_t OSBlockSize(const void* Address);

// Memory aligned beyond what the pools give, straight from the system (never pooled); null on
// failure. AlignedFree takes only blocks of AlignedAlloc.
void* AlignedAlloc(std::size_t Size, std::size_t Alignment);
void AlignedFree(void* P);

// The 32-bit word just before an address handed out by the manager (out of line, so that the
// compiler does not take the read for one outside the caller's object).
std::uint32_t WordBefore(const void* Address);

}  // namespace memmgr
