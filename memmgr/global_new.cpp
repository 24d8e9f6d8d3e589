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

constexpr std::size_t DefaultAlignment = __STDCPP_DEFAULT_NEW_ALIGNMENT__;
static_assert(DefaultAlignment == 16, "the pools hand out 16-byte aligned addresses");

[[noreturn]] void InvalidPointer() {
  // The standard error stream is unbuffered and takes nothing from the global allocator.
  std::fputs("無効なポインタ操作\n", stderr);
  std::abort();
}

void* AllocateOrNull(std::size_t Size) noexcept {
  return memmgr::PooledGetMem(Size);
}

// The throwing forms: ask the new-handler for memory until it gives up, then bad_alloc.
void* AllocateOrThrow(std::size_t Size) {
  for (;;) {
    if (void* P = memmgr::PooledGetMem(Size)) return P;
    std::new_handler Handler = std::get_new_handler();
    if (Handler == nullptr) throw std::bad_alloc();
    Handler();
  }
}

void Release(void* P) noexcept {
  if (P != nullptr && memmgr::PooledFreeMem(P) != 0) InvalidPointer();
}

void* AllocateAlignedOrNull(std::size_t Size, std::align_val_t Al) noexcept {
  const auto Alignment = static_cast<std::size_t>(Al);
  if (Alignment <= DefaultAlignment) return AllocateOrNull(Size);
  return memmgr::AlignedAlloc(Size, Alignment);
}

void* AllocateAlignedOrThrow(std::size_t Size, std::align_val_t Al) {
  for (;;) {
    if (void* P = AllocateAlignedOrNull(Size, Al)) return P;
    std::new_handler Handler = std::get_new_handler();
    if (Handler == nullptr) throw std::bad_alloc();
    Handler();
  }
}

void ReleaseAligned(void* P, std::align_val_t Al) noexcept {
  if (static_cast<std::size_t>(Al) <= DefaultAlignment) {
    Release(P);
  } else {
    memmgr::AlignedFree(P);
  }
}

// Set up before and finalised after every other static object of the program: at the end the
// manager goes at once if nothing is out, else with the last release (later destructors and the
// C++ runtime's own clean-up may still release blocks).
struct TModule {
  TModule() { memmgr::GuardLockAcrossFork(memmgr::GlobalMemState().Lock); }
  ~TModule() { memmgr::PooledShutdown(memmgr::GlobalMemState()); }
};
__attribute__((init_priority(101))) TModule Module;

}  // namespace

void* operator new(std::size_t Size) {
  return AllocateOrThrow(Size);
}
void* operator new[](std::size_t Size) {
  return AllocateOrThrow(Size);
}
void* operator new(std::size_t Size, const std::nothrow_t&) noexcept {
  return AllocateOrNull(Size);
}
void* operator new[](std::size_t Size, const std::nothrow_t&) noexcept {
  return AllocateOrNull(Size);
}

void operator delete(void* P) noexcept {
  Release(P);
}
void operator delete[](void* P) noexcept {
  Release(P);
}
void operator delete(void* P, const std::nothrow_t&) noexcept {
  Release(P);
}
void operator delete[](void* P, const std::nothrow_t&) noexcept {
  Release(P);
}
void operator delete(void* P, std::size_t) noexcept {
  Release(P);
}
void operator delete[](void* P, std::size_t) noexcept {
  Release(P);
}

void* operator new(std::size_t Size, std::align_val_t Al) {
  return AllocateAlignedOrThrow(Size, Al);
}
void* operator new[](std::size_t Size, std::align_val_t Al) {
  return AllocateAlignedOrThrow(Size, Al);
}
void* operator new(std::size_t Size, std::align_val_t Al, const std::nothrow_t&) noexcept {
  return AllocateAlignedOrNull(Size, Al);
}
void* operator new[](std::size_t Size, std::align_val_t Al, const std::nothrow_t&) noexcept {
  return AllocateAlignedOrNull(Size, Al);
}

void operator delete(void* P, std::align_val_t Al) noexcept {
  ReleaseAligned(P, Al);
}
void operator delete[](void* P, std::align_val_t Al) noexcept {
  ReleaseAligned(P, Al);
}
void operator delete(void* P, std::align_val_t Al, const std::nothrow_t&) noexcept {
  ReleaseAligned(P, Al);
}
void operator delete[](void* P, std::align_val_t Al, const std::nothrow_t&) noexcept {
  ReleaseAligned(P, Al);
}
void operator delete(void* P, std::size_t, std::align_val_t Al) noexcept {
  ReleaseAligned(P, Al);
}
void operator delete[](void* P, std::size_t, std::align_val_t Al) noexcept {
  ReleaseAligned(P, Al);
}
