#include "memmgr/os_memory.h"

#include <malloc.h>
#include <sys/mman.h>

#include <atomic>
#include <cerrno>
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

// An anonymous mapping is usable as soon as it is made read-write; the kernel would then provide
// its pages one fault at a time as they are first touched. The commit step asks for all of them at
// once instead (large blocks here are written through right away), and fails where the system
// has not got the memory.
//
// Large blocks (pixel bands of 8 MiB, whole files) are written through from end to end right after
// they are made, one page fault per 4 KiB page. Those of a huge page or more are placed on a
// huge-page boundary and offered to the kernel as transparent huge pages, which turns 512 faults
// into one. Their length is rounded up to whole huge pages when that adds at most 1/32 (a band a
// few bytes short of 8 MiB would otherwise end in 2 MiB of small pages); otherwise to whole pages.
constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kSmallPage = 4096;

std::size_t RoundUp(std::size_t n, std::size_t unit) {
  return (n + unit - 1) / unit * unit;
}

// The length of the mapping that holds a block of `size` bytes.
std::size_t MappedLength(std::size_t size) {
  if (size < kHugePage) return size;
  const std::size_t huge = RoundUp(size, kHugePage);
  return huge - size <= size / 32 ? huge : RoundUp(size, kSmallPage);
}

void* SysReserve(std::size_t size) {
  const std::size_t length = MappedLength(size);
  if (length < kHugePage) {
    void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
  }
  // One huge page more than needed, then the parts before the boundary and after the block go.
  if (length > SIZE_MAX - kHugePage) return nullptr;
  void* raw =
      mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  const auto start = reinterpret_cast<std::uintptr_t>(raw);
  const std::uintptr_t aligned = RoundUp(start, kHugePage);
  if (aligned > start) munmap(raw, aligned - start);
  const std::uintptr_t end = start + length + kHugePage;
  if (end > aligned + length) {
    munmap(reinterpret_cast<void*>(aligned + length), end - aligned - length);
  }
  void* p = reinterpret_cast<void*>(aligned);
  // Only advice: without transparent huge pages the block is simply made of small pages.
  madvise(p, length, MADV_HUGEPAGE);
  return p;
}
bool SysCommit(void* p, std::size_t size) {
  // Kernels without the request (before 5.14) answer EINVAL: the pages then come on first touch.
  return madvise(p, MappedLength(size), MADV_POPULATE_WRITE) == 0 || errno != ENOMEM;
}
bool SysRelease(void* p, std::size_t size) {
  return munmap(p, MappedLength(size)) == 0;
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
