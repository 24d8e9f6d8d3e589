// Pooled memory manager: 1024 size classes 16 bytes apart, each a pool that carves equal blocks
// out of chunks taken from the operating system; larger requests go to the operating system one
// by one.
//
// Size class of a request: S = (Size + 23) AND NOT 15, the smallest multiple of 16 that holds the
// request and an 8-byte block header. Up to S = 16384 (Size 16376) the block is pooled; the pool
// is Pools[S / 16 - 1], found by that one index.
//
// Layouts on a 64-bit machine (every address handed out is 16-byte aligned, and the 32-bit word
// just before it holds S):
//   - pooled block of class S: word 0 (32 bits) is the distance in bytes from the owning TChunk
//     object back to the block, word 1 is S while the block is handed out, and the caller's S - 8
//     bytes follow. A chunk and its block area live in one OS block (the TChunk object first, the
//     blocks after it, starting at 8 mod 16), so the distance always fits in 32 bits and word 0
//     names its chunk without a table. While the block is free, word 1 links the chunk's free
//     list: 0 ends it, otherwise it is the next free block's offset in the block area plus 1.
//     Neither is ever a valid S, so releasing a free block is recognised and refused.
//   - Chunks hold BlockCount blocks: 200 in the classes up to 64; above, a quarter of the pool's
//     blocks in use, at least 3 and at most min(65536 / S, 20). A chunk goes back to the system the
//     moment its last block returns; empty chunks are never kept.
//   - large block (S above 16384): an OS block of S bytes (see os_memory.h).
//
// The manager's own objects (TMemManager, its pools, the chunks) are built in OS blocks, never
// through the global allocation functions; TClassUseOSMemory makes a plain `new` of them a compile
// error.
//
// Locking: one lock (os_thread.h) guards a TMemState. It is taken only once the program has started
// a second thread; a single-threaded program never touches it. It is never nested and never
// destroyed.
//
// End of the program: PooledShutdown destroys the manager at once when nothing is out; otherwise
// the release that brings UsedBytes to 0 does. From then on allocations are plain OS blocks
// (the size itself in the word before the address) and releases go straight to the system.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>

#include "memmgr/os_memory.h"
#include "memmgr/os_thread.h"

namespace memmgr {

inline constexpr std::uint32_t PoolCount = 1024;
inline constexpr std::uint32_t MaxPooledClass = 16 * PoolCount;  // 16384
inline constexpr std::uint32_t BlockHeader = 8;
// Largest request the manager takes; anything above fails like a refusal of the system.
inline constexpr std::size_t MaxRequest = OSMaxSize - 64;

constexpr std::size_t SizeClass(std::size_t Size) {
  return (Size + 23) & ~std::size_t{15};
}

// Base of the manager's bookkeeping classes: instances are made with OSNew in OS blocks only.
class TClassUseOSMemory {
 public:
  static void* operator new(std::size_t) = delete;
  static void* operator new[](std::size_t) = delete;
  static void operator delete(void*) = delete;
  static void operator delete[](void*) = delete;
};

// Builds a T in an OS block; null when the system refuses the memory.
template <class T, class... TArgs>
T* OSNew(const TOSLayer& Os, TArgs&&... Args) {
  static_assert(alignof(T) <= OSPrefix);
  void* P = OSAlloc(Os, sizeof(T));
  if (P == nullptr) return nullptr;
  return ::new (P) T(std::forward<TArgs>(Args)...);
}

template <class T>
bool OSDelete(const TOSLayer& Os, T* Object) {
  Object->~T();
  return OSFree(Os, Object);
}

class TChunk : public TClassUseOSMemory {
 public:
  // A sentinel: no blocks, no memory, linked to itself.
  TChunk() = default;
  // A chunk of BlockCount blocks of BlockSize bytes in one OS block; null on refusal.
  static TChunk* Create(const TOSLayer& Os, std::uint32_t BlockSize, std::uint32_t BlockCount);
  // Unlinks the chunk and gives its memory back.
  void Destroy(const TOSLayer& Os);
  TChunk(const TChunk&) = delete;
  TChunk& operator=(const TChunk&) = delete;

  // The chunk that owns a block (from word 0).
  static TChunk* OfBlock(void* Block);

  void* AllocBlock();
  void ReleaseBlock(void* Block);
  void InsertAfter(TChunk* C);
  void Unlink();

  TChunk* Next = this;
  TChunk* Prev = this;
  std::uint16_t BlockSize = 0;
  bool InFullList = false;
  std::uint32_t BlockCount = 0;
  std::uint32_t UsedCount = 0;
  std::uint32_t Threshold = 1;
  std::uint32_t FreeCount = 0;
  unsigned char* NextUnused = nullptr;
  unsigned char* FreeList = nullptr;
  unsigned char* Memory = nullptr;

 private:
  TChunk(std::uint32_t Size, std::uint32_t Count, unsigned char* Blocks);
};

class TFixedSizePool : public TClassUseOSMemory {
 public:
  TFixedSizePool() = default;
  void Init(const TOSLayer* Os, std::uint32_t Size);
  ~TFixedSizePool();
  TFixedSizePool(const TFixedSizePool&) = delete;
  TFixedSizePool& operator=(const TFixedSizePool&) = delete;

  // A block (its header first) or null when no chunk could be had; the pool is then unchanged.
  void* AllocBlock();
  void FreeBlock(void* Block);
  // Destroys every chunk, from the last of AvailChunks backwards, then those of FullChunks.
  void Clear();

  const TOSLayer* OS = nullptr;
  std::uint32_t BlockSize = 0;
  TChunk AvailChunks;  // its last chunk (AvailChunks.Prev) hands out the blocks
  TChunk FullChunks;   // full or retired chunks
  std::uint32_t UsedBlocks = 0;
  std::uint32_t MaxChunkBlocks = 0;
  std::uint32_t NextChunkBlocks = 0;

 private:
  void UpdateNextChunkBlocks();
};

class TMemManager : public TClassUseOSMemory {
 public:
  explicit TMemManager(const TOSLayer* Os);
  ~TMemManager();  // destroys the pools in index order
  TMemManager(const TMemManager&) = delete;
  TMemManager& operator=(const TMemManager&) = delete;

  // An address for Size bytes, UsedBytes grown by its class; null when the system refuses.
  void* Allocate(std::size_t Size, std::uint64_t& UsedBytes);
  // Takes an address back, UsedBytes shrunk by its class. False (nothing changed) when the
  // address does not carry a block of this manager's form or the system refuses the release.
  bool Release(void* Address, std::uint64_t& UsedBytes);

  TFixedSizePool& PoolOf(std::uint32_t S) { return Pools[S / 16 - 1]; }

  const TOSLayer* OS;
  TFixedSizePool Pools[PoolCount];  // Pools[i] has BlockSize 16 * (i + 1)
};

// The module state. The process-wide instance (GlobalMemState) is what the global allocation
// functions use; tests make their own over a counting OS layer.
struct TMemState {
  constexpr explicit TMemState(const TOSLayer* Os) : OS(Os) {}
  TMemState(const TMemState&) = delete;
  TMemState& operator=(const TMemState&) = delete;

  const TOSLayer* OS;
  std::atomic<bool> Initialized{false};
  bool ShutdownRequested = false;
  bool ManagerFreed = false;
  std::uint64_t UsedBytes = 0;  // sum of S over the blocks Manager has out
  TMemManager* Manager = nullptr;
  TOSLock Lock;
};

// The process-wide state (constant-initialised: usable before any constructor has run).
extern TMemState ProcessMemState;
inline TMemState& GlobalMemState() {
  return ProcessMemState;
}

bool EnsureInitializedSlow(TMemState& State);
// Builds the manager on first use; false (nothing kept, tried again next time) without a heap or
// when the system refuses the manager itself.
inline bool EnsureInitialized(TMemState& State) {
  return State.Initialized.load(std::memory_order_acquire) || EnsureInitializedSlow(State);
}
// Address of Size bytes (a size of 0 counts as 1), or null when no memory could be had.
void* PooledGetMem(TMemState& State, std::size_t Size);
// 0 on success, 1 when the address was refused or the system refused the release.
int PooledFreeMem(TMemState& State, void* Address);
// Always moves; null (the old block untouched) on failure.
void* PooledReallocMem(TMemState& State, void* Address, std::size_t Size);
// End of the program: the manager goes now if nothing is out, else with the last release.
void PooledShutdown(TMemState& State);

inline void* PooledGetMem(std::size_t Size) {
  return PooledGetMem(GlobalMemState(), Size);
}
inline int PooledFreeMem(void* Address) {
  return PooledFreeMem(GlobalMemState(), Address);
}
inline void* PooledReallocMem(void* Address, std::size_t Size) {
  return PooledReallocMem(GlobalMemState(), Address, Size);
}

}  // namespace memmgr
