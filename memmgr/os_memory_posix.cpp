#include "memmgr/os_memory.h"

#include <malloc.h>
#include <sys/mman.h>

#include <atomic>
#include <cstdlib>

namespace memmgr {
namespace {

bool SysGetProcessHeap() {
  return true;
}
// The C library keeps the memory of freed blocks: a heap that once held many chunks would stay
// resident after they are all gone. So the heap is asked to give its free pages back (malloc_trim)
// each time another 8 MiB of blocks came back, and also when the heap's live bytes fell to an
// eighth of a peak of at least 1 MiB since the last time. A program that allocates and releases
// one chunk over and over does not trigger the second rule. The counters are updated under the
// manager's lock; relaxed atomics keep them well defined for any other caller.
constexpr std::size_t kTrimEvery = std::size_t{8} << 20;
constexpr std::size_t kTrimPeak = std::size_t{1} << 20;
std::atomic<std::size_t> heap_live{0};
std::atomic<std::size_t> heap_peak{0};
std::atomic<std::size_t> freed_since_trim{0};

void* SysHeapAlloc(std::size_t size) {
  void* p = std::malloc(size);
  if (p != nullptr) {
    const std::size_t live = heap_live.load(std::memory_order_relaxed) + size;
    heap_live.store(live, std::memory_order_relaxed);
    if (live > heap_peak.load(std::memory_order_relaxed)) {
      heap_peak.store(live, std::memory_order_relaxed);
    }
  }
  return p;
}

bool SysHeapFree(void* p, std::size_t size) {
  std::free(p);
  const std::size_t before = heap_live.load(std::memory_order_relaxed);
  const std::size_t live = before > size ? before - size : 0;
  heap_live.store(live, std::memory_order_relaxed);
  const std::size_t freed = freed_since_trim.load(std::memory_order_relaxed) + size;
  const std::size_t peak = heap_peak.load(std::memory_order_relaxed);
  if (freed >= kTrimEvery || (peak >= kTrimPeak && live <= peak / 8)) {
    malloc_trim(0);
    freed_since_trim.store(0, std::memory_order_relaxed);
    heap_peak.store(live, std::memory_order_relaxed);
  } else {
    freed_since_trim.store(freed, std::memory_order_relaxed);
  }
  return true;
}

// An anonymous mapping is committed page by page as it is first touched, so reserving read-write
// memory already gives what a commit would; the commit step has nothing left to do.
void* SysReserve(std::size_t size) {
  void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return p == MAP_FAILED ? nullptr : p;
}
bool SysCommit(void*, std::size_t) { return true; }
bool SysRelease(void* p, std::size_t size) {
  return munmap(p, size) == 0;
}

}  // namespace

const TOSLayer SystemOSLayer = {SysGetProcessHeap, SysHeapAlloc, SysHeapFree,
                                SysReserve,        SysCommit,    SysRelease};

void* AlignedAlloc(std::size_t size, std::size_t alignment) {
  void* p = nullptr;
  return posix_memalign(&p, alignment, size == 0 ? 1 : size) == 0 ? p : nullptr;
}
void AlignedFree(void* p) {
  std::free(p);
}

}  // namespace memmgr
