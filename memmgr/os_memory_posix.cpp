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
constexpr std::size_t TrimEvery = std::size_t{8} << 20;
constexpr std::size_t TrimPeak = std::size_t{1} << 20;
std::atomic<std::size_t> HeapLive{0};
std::atomic<std::size_t> HeapPeak{0};
std::atomic<std::size_t> FreedSinceTrim{0};

void* SysHeapAlloc(std::size_t Size) {
  void* P = std::malloc(Size);
  if (P != nullptr) {
    const std::size_t Live = HeapLive.load(std::memory_order_relaxed) + Size;
    HeapLive.store(Live, std::memory_order_relaxed);
    if (Live > HeapPeak.load(std::memory_order_relaxed)) {
      HeapPeak.store(Live, std::memory_order_relaxed);
    }
  }
  return P;
}

bool SysHeapFree(void* P, std::size_t Size) {
  std::free(P);
  const std::size_t Before = HeapLive.load(std::memory_order_relaxed);
  const std::size_t Live = Before > Size ? Before - Size : 0;
  HeapLive.store(Live, std::memory_order_relaxed);
  const std::size_t Freed = FreedSinceTrim.load(std::memory_order_relaxed) + Size;
  const std::size_t Peak = HeapPeak.load(std::memory_order_relaxed);
  if (Freed >= TrimEvery || (Peak >= TrimPeak && Live <= Peak / 8)) {
    malloc_trim(0);
    FreedSinceTrim.store(0, std::memory_order_relaxed);
    HeapPeak.store(Live, std::memory_order_relaxed);
  } else {
    FreedSinceTrim.store(Freed, std::memory_order_relaxed);
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
constexpr std::size_t HugePage = std::size_t{2} << 20;
constexpr std::size_t SmallPage = 4096;

std::size_t RoundUp(std::size_t N, std::size_t Unit) {
  return (N + Unit - 1) / Unit * Unit;
}

// The length of the mapping that holds a block of `Size` bytes.
std::size_t MappedLength(std::size_t Size) {
  if (Size < HugePage) return Size;
  const std::size_t Huge = RoundUp(Size, HugePage);
  return Huge - Size <= Size / 32 ? Huge : RoundUp(Size, SmallPage);
}

void* SysReserve(std::size_t Size) {
  const std::size_t Length = MappedLength(Size);
  if (Length < HugePage) {
    void* P = mmap(nullptr, Size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return P == MAP_FAILED ? nullptr : P;
  }
  // One huge page more than needed, then the parts before the boundary and after the block go.
  if (Length > SIZE_MAX - HugePage) return nullptr;
  void* Raw =
      mmap(nullptr, Length + HugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (Raw == MAP_FAILED) return nullptr;
  const auto Start = reinterpret_cast<std::uintptr_t>(Raw);
  const std::uintptr_t Aligned = RoundUp(Start, HugePage);
  if (Aligned > Start) munmap(Raw, Aligned - Start);
  const std::uintptr_t End = Start + Length + HugePage;
  if (End > Aligned + Length) {
    munmap(reinterpret_cast<void*>(Aligned + Length), End - Aligned - Length);
  }
  void* P = reinterpret_cast<void*>(Aligned);
  // Only advice: without transparent huge pages the block is simply made of small pages.
  madvise(P, Length, MADV_HUGEPAGE);
  return P;
}
bool SysCommit(void* P, std::size_t Size) {
  // Kernels without the request (before 5.14) answer EINVAL: the pages then come on first touch.
  return madvise(P, MappedLength(Size), MADV_POPULATE_WRITE) == 0 || errno != ENOMEM;
}
bool SysRelease(void* P, std::size_t Size) {
  return munmap(P, MappedLength(Size)) == 0;
}

}  // namespace

const TOSLayer SystemOSLayer = {SysGetProcessHeap, SysHeapAlloc, SysHeapFree,
                                SysReserve,        SysCommit,    SysRelease};

void* AlignedAlloc(std::size_t Size, std::size_t Alignment) {
  void* P = nullptr;
  return posix_memalign(&P, Alignment, Size == 0 ? 1 : Size) == 0 ? P : nullptr;
}
void AlignedFree(void* P) {
  std::free(P);
}

}  // namespace memmgr
