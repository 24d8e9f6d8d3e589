#include <windows.h>
#include <malloc.h>

#include "memmgr/os_memory.h"

namespace memmgr {
namespace {

HANDLE process_heap = nullptr;

bool SysGetProcessHeap() {
  process_heap = ::GetProcessHeap();
  return process_heap != nullptr;
}

// Blocks of the process heap are 16-byte aligned on 64-bit Windows, as OS blocks must be.
void* SysHeapAlloc(std::size_t size) {
  return ::HeapAlloc(process_heap, 0, size);
}
bool SysHeapFree(void* p, std::size_t) {
  return ::HeapFree(process_heap, 0, p) != 0;
}

void* SysReserve(std::size_t size) {
  return ::VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_READWRITE);
}
bool SysCommit(void* p, std::size_t size) {
  return ::VirtualAlloc(p, size, MEM_COMMIT, PAGE_READWRITE) != nullptr;
}
bool SysRelease(void* p, std::size_t size) {
  return ::VirtualFree(p, size, MEM_DECOMMIT) != 0 && ::VirtualFree(p, 0, MEM_RELEASE) != 0;
}

}  // namespace

const TOSLayer SystemOSLayer = {SysGetProcessHeap, SysHeapAlloc, SysHeapFree,
                                SysReserve,        SysCommit,    SysRelease};

void* AlignedAlloc(std::size_t size, std::size_t alignment) {
  return ::_aligned_malloc(size == 0 ? 1 : size, alignment);
}
void AlignedFree(void* p) {
  ::_aligned_free(p);
}

}  // namespace memmgr
