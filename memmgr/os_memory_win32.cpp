#include <windows.h>
#include <malloc.h>

#include "memmgr/os_memory.h"

namespace memmgr {
namespace {

HANDLE ProcessHeap = nullptr;

bool SysGetProcessHeap() {
  ProcessHeap = ::GetProcessHeap();
  return ProcessHeap != nullptr;
}

// Blocks of the process heap are 16-byte aligned on 64-bit Windows, as OS blocks must be.
void* SysHeapAlloc(std::size_t Size) {
  return ::HeapAlloc(ProcessHeap, 0, Size);
}
bool SysHeapFree(void* P, std::size_t) {
  return ::HeapFree(ProcessHeap, 0, P) != 0;
}

void* SysReserve(std::size_t Size) {
  return ::VirtualAlloc(nullptr, Size, MEM_RESERVE, PAGE_READWRITE);
}
bool SysCommit(void* P, std::size_t Size) {
  return ::VirtualAlloc(P, Size, MEM_COMMIT, PAGE_READWRITE) != nullptr;
}
bool SysRelease(void* P, std::size_t Size) {
  return ::VirtualFree(P, Size, MEM_DECOMMIT) != 0 && ::VirtualFree(P, 0, MEM_RELEASE) != 0;
}

}  // namespace

const TOSLayer SystemOSLayer = {SysGetProcessHeap, SysHeapAlloc, SysHeapFree,
                                SysReserve,        SysCommit,    SysRelease};

void* AlignedAlloc(std::size_t Size, std::size_t Alignment) {
  return ::_aligned_malloc(Size == 0 ? 1 : Size, Alignment);
}
void AlignedFree(void* P) {
  ::_aligned_free(P);
}

}  // namespace memmgr
