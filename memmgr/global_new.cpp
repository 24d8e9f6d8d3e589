// Installs the pooled memory manager as the program's global allocator: every form of the
// replaceable global operator new and operator delete goes through PooledGetMem and PooledFreeMem.
// A program that links this file allocates through the pools from its very first allocation,
// including those the C++ runtime makes before main; allocations of C code through malloc stay
// with the C library.
//
// Requests with an alignment above 16 (the default new alignment here) bypass the pools: they come
// from the process heap aligned as asked and go back through the matching aligned delete.
//
// A release that the manager refuses (an address it did not hand out, a block released twice, the
// system refusing to unmap a large block) is reported as an invalid pointer operation on the
// standard error stream and ends the program: a delete cannot throw, and going on would corrupt
// the heap.

#include <cstdio>
#include <cstdlib>
#include <new>

#include "memmgr/memmgr.h"

namespace {

constexpr std::size_t kDefaultAlignment = __STDCPP_DEFAULT_NEW_ALIGNMENT__;
static_assert(kDefaultAlignment == 16, "the pools hand out 16-byte aligned addresses");

[[noreturn]] void InvalidPointer() {
  // The standard error stream is unbuffered and takes nothing from the global allocator.
  std::fputs("無効なポインタ操作\n", stderr);
  std::abort();
}

void* AllocateOrNull(std::size_t size) noexcept {
  return memmgr::PooledGetMem(size);
}

// The throwing forms: ask the new-handler for memory until it gives up, then bad_alloc.
void* AllocateOrThrow(std::size_t size) {
  for (;;) {
    if (void* p = memmgr::PooledGetMem(size)) return p;
    std::new_handler handler = std::get_new_handler();
    if (handler == nullptr) throw std::bad_alloc();
    handler();
  }
}

void Release(void* p) noexcept {
  if (p != nullptr && memmgr::PooledFreeMem(p) != 0) InvalidPointer();
}

void* AllocateAlignedOrNull(std::size_t size, std::align_val_t al) noexcept {
  const auto alignment = static_cast<std::size_t>(al);
  if (alignment <= kDefaultAlignment) return AllocateOrNull(size);
  return memmgr::AlignedAlloc(size, alignment);
}

void* AllocateAlignedOrThrow(std::size_t size, std::align_val_t al) {
  for (;;) {
    if (void* p = AllocateAlignedOrNull(size, al)) return p;
    std::new_handler handler = std::get_new_handler();
    if (handler == nullptr) throw std::bad_alloc();
    handler();
  }
}

void ReleaseAligned(void* p, std::align_val_t al) noexcept {
  if (static_cast<std::size_t>(al) <= kDefaultAlignment) {
    Release(p);
  } else {
    memmgr::AlignedFree(p);
  }
}

// Set up before and finalised after every other static object of the program: at the end the
// manager goes at once if nothing is out, else with the last release (later destructors and the
// C++ runtime's own clean-up may still release blocks).
struct TModule {
  TModule() { memmgr::GuardLockAcrossFork(memmgr::GlobalMemState().Lock); }
  ~TModule() { memmgr::PooledShutdown(memmgr::GlobalMemState()); }
};
__attribute__((init_priority(101))) TModule module;

}  // namespace

void* operator new(std::size_t size) {
  return AllocateOrThrow(size);
}
void* operator new[](std::size_t size) {
  return AllocateOrThrow(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return AllocateOrNull(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return AllocateOrNull(size);
}

void operator delete(void* p) noexcept {
  Release(p);
}
void operator delete[](void* p) noexcept {
  Release(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
  Release(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
  Release(p);
}
void operator delete(void* p, std::size_t) noexcept {
  Release(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  Release(p);
}

void* operator new(std::size_t size, std::align_val_t al) {
  return AllocateAlignedOrThrow(size, al);
}
void* operator new[](std::size_t size, std::align_val_t al) {
  return AllocateAlignedOrThrow(size, al);
}
void* operator new(std::size_t size, std::align_val_t al, const std::nothrow_t&) noexcept {
  return AllocateAlignedOrNull(size, al);
}
void* operator new[](std::size_t size, std::align_val_t al, const std::nothrow_t&) noexcept {
  return AllocateAlignedOrNull(size, al);
}

void operator delete(void* p, std::align_val_t al) noexcept {
  ReleaseAligned(p, al);
}
void operator delete[](void* p, std::align_val_t al) noexcept {
  ReleaseAligned(p, al);
}
void operator delete(void* p, std::align_val_t al, const std::nothrow_t&) noexcept {
  ReleaseAligned(p, al);
}
void operator delete[](void* p, std::align_val_t al, const std::nothrow_t&) noexcept {
  ReleaseAligned(p, al);
}
void operator delete(void* p, std::size_t, std::align_val_t al) noexcept {
  ReleaseAligned(p, al);
}
void operator delete[](void* p, std::size_t, std::align_val_t al) noexcept {
  ReleaseAligned(p, al);
}
