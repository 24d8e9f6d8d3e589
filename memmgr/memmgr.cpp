#include "memmgr/memmgr.h"

#include <algorithm>
#include <cstring>

namespace memmgr {
namespace {

// A chunk's OS block: the TChunk, 8 bytes so that the blocks start at 8 mod 16 (their data at
// 0 mod 16, as OS blocks are 16-byte aligned), the blocks.
constexpr std::size_t kChunkHeader = sizeof(TChunk) + kBlockHeader;
static_assert(sizeof(TChunk) % 16 == 0);

inline std::uint32_t ReadWord(const unsigned char* p) {
  std::uint32_t w;
  std::memcpy(&w, p, 4);
  return w;
}
inline std::uint32_t ClassOf(const void* address) {
  return ReadWord(static_cast<const unsigned char*>(address) - 4);
}
inline void WriteWord(unsigned char* p, std::uint32_t w) {
  std::memcpy(p, &w, 4);
}

// Holds the state's lock for a scope, if the program has more than one thread.
class TStateLock {
 public:
  explicit TStateLock(TMemState& state) : lock_(state.Lock), locked_(lock_.Enter()) {}
  ~TStateLock() { lock_.Leave(locked_); }
  TStateLock(const TStateLock&) = delete;
  TStateLock& operator=(const TStateLock&) = delete;

 private:
  TOSLock& lock_;
  bool locked_;
};

// Caller holds the lock.
void FreeManager(TMemState& state) {
  if (state.Manager != nullptr) OSDelete(*state.OS, state.Manager);
  state.Manager = nullptr;
  state.ManagerFreed = true;
  state.Initialized.store(true, std::memory_order_release);
}

}  // namespace

constinit TMemState global_mem_state{&SystemOSLayer};

// ---- TChunk ----

TChunk::TChunk(std::uint32_t blockSize, std::uint32_t blockCount, unsigned char* memory)
    : BlockSize(static_cast<std::uint16_t>(blockSize)),
      BlockCount(blockCount),
      Threshold(std::max<std::uint32_t>(blockCount / 10, 1)),
      FreeCount(blockCount),
      NextUnused(memory),
      Memory(memory) {}

TChunk* TChunk::Create(const TOSLayer& os, std::uint32_t blockSize, std::uint32_t blockCount) {
  void* p = OSAlloc(os, kChunkHeader + std::size_t{blockSize} * blockCount);
  if (p == nullptr) return nullptr;
  return ::new (p) TChunk(blockSize, blockCount, static_cast<unsigned char*>(p) + kChunkHeader);
}

void TChunk::Destroy(const TOSLayer& os) {
  Unlink();
  OSDelete(os, this);
}

TChunk* TChunk::OfBlock(void* block) {
  auto* b = static_cast<unsigned char*>(block);
  return reinterpret_cast<TChunk*>(b - ReadWord(b));
}

void* TChunk::AllocBlock() {
  ++UsedCount;
  --FreeCount;
  unsigned char* block;
  if (FreeList != nullptr) {
    block = FreeList;
    const std::uint32_t link = ReadWord(block + 4);
    FreeList = link == 0 ? nullptr : Memory + (link - 1);
  } else {
    block = NextUnused;
    NextUnused += BlockSize;
  }
  WriteWord(block, static_cast<std::uint32_t>(block - reinterpret_cast<unsigned char*>(this)));
  return block;
}

void TChunk::ReleaseBlock(void* block) {
  auto* b = static_cast<unsigned char*>(block);
  WriteWord(b + 4, FreeList == nullptr ? 0 : static_cast<std::uint32_t>(FreeList - Memory) + 1);
  FreeList = b;
  --UsedCount;
  ++FreeCount;
}

void TChunk::InsertAfter(TChunk* c) {
  Prev = c;
  Next = c->Next;
  c->Next->Prev = this;
  c->Next = this;
}

void TChunk::Unlink() {
  Prev->Next = Next;
  Next->Prev = Prev;
  Next = this;
  Prev = this;
}

// ---- TFixedSizePool ----

void TFixedSizePool::Init(const TOSLayer* os, std::uint32_t blockSize) {
  OS = os;
  BlockSize = blockSize;
  AvailChunks.BlockSize = FullChunks.BlockSize = static_cast<std::uint16_t>(blockSize);
  UsedBlocks = 0;
  MaxChunkBlocks = std::min<std::uint32_t>(65536 / blockSize, 20);
  UpdateNextChunkBlocks();
}

TFixedSizePool::~TFixedSizePool() {
  Clear();
}

void TFixedSizePool::Clear() {
  if (OS == nullptr) return;
  for (TChunk* list : {&AvailChunks, &FullChunks}) {
    while (list->Prev != list) list->Prev->Destroy(*OS);
  }
}

void TFixedSizePool::UpdateNextChunkBlocks() {
  if (BlockSize <= 64) {
    NextChunkBlocks = 200;
  } else {
    NextChunkBlocks = std::min(std::max<std::uint32_t>(UsedBlocks / 4, 3), MaxChunkBlocks);
  }
}

void* TFixedSizePool::AllocBlock() {
  TChunk* c = AvailChunks.Prev;
  void* block;
  if (c != &AvailChunks) {
    block = c->AllocBlock();
    ++UsedBlocks;
    if (c->FreeCount == 0 || c->BlockCount > NextChunkBlocks) {
      c->Unlink();
      c->InsertAfter(FullChunks.Prev);
      c->InFullList = true;
    }
  } else {
    c = TChunk::Create(*OS, BlockSize, NextChunkBlocks);
    if (c == nullptr) return nullptr;
    block = c->AllocBlock();
    ++UsedBlocks;
    c->InsertAfter(&AvailChunks);
  }
  UpdateNextChunkBlocks();
  return block;
}

void TFixedSizePool::FreeBlock(void* block) {
  TChunk* c = TChunk::OfBlock(block);
  c->ReleaseBlock(block);
  --UsedBlocks;
  if (c->UsedCount == 0) {
    c->Destroy(*OS);
  } else if (c->InFullList) {
    if (c->FreeCount > c->Threshold && c->BlockCount <= NextChunkBlocks) {
      c->InFullList = false;
      c->Unlink();
      TChunk* last = AvailChunks.Prev;
      if (last == &AvailChunks || last->UsedCount < c->UsedCount) {
        c->InsertAfter(last);
      } else {
        c->InsertAfter(last->Prev);
      }
    }
  } else {
    TChunk* last = AvailChunks.Prev;
    if (c != last && c->UsedCount > last->UsedCount) {
      c->Unlink();
      c->InsertAfter(AvailChunks.Prev);
    }
  }
  UpdateNextChunkBlocks();
}

// ---- TMemManager ----

TMemManager::TMemManager(const TOSLayer* os) : OS(os) {
  for (std::uint32_t i = 0; i < kPoolCount; ++i) Pools[i].Init(os, 16 * (i + 1));
}

TMemManager::~TMemManager() {
  for (TFixedSizePool& pool : Pools) pool.Clear();
}

void* TMemManager::Allocate(std::size_t Size, std::uint64_t& usedBytes) {
  if (Size > kMaxRequest) return nullptr;
  const std::size_t S = SizeClass(Size);
  void* address;
  if (S > kMaxPooledClass) {
    address = OSAlloc(*OS, S);
    if (address == nullptr) return nullptr;
  } else {
    auto* block = static_cast<unsigned char*>(PoolOf(static_cast<std::uint32_t>(S)).AllocBlock());
    if (block == nullptr) return nullptr;
    WriteWord(block + 4, static_cast<std::uint32_t>(S));
    address = block + kBlockHeader;
  }
  usedBytes += S;
  return address;
}

bool TMemManager::Release(void* address, std::uint64_t& usedBytes) {
  const std::uint32_t w = ClassOf(address);
  if (w == 0 || (w % 16 != 0 && w != UINT32_MAX)) return false;
  if (w > kMaxPooledClass) {
    const std::size_t S = OSBlockSize(address);
    if (S < w || !OSFree(*OS, address)) return false;
    usedBytes -= S;
    return true;
  }
  void* block = static_cast<unsigned char*>(address) - kBlockHeader;
  if (TChunk::OfBlock(block)->BlockSize != w) return false;
  PoolOf(w).FreeBlock(block);
  usedBytes -= w;
  return true;
}

// ---- module state and entry points ----

bool EnsureInitializedSlow(TMemState& state) {
  TStateLock lock(state);
  if (state.Initialized.load(std::memory_order_relaxed)) return true;
  if (!state.OS->GetProcessHeap()) return false;
  TMemManager* manager = OSNew<TMemManager>(*state.OS, state.OS);
  if (manager == nullptr) return false;
  state.Manager = manager;
  state.Initialized.store(true, std::memory_order_release);
  return true;
}

void* PooledGetMem(TMemState& state, std::size_t Size) {
  if (Size == 0) Size = 1;
  if (!EnsureInitialized(state)) return nullptr;
  TStateLock lock(state);
  if (state.ManagerFreed) return OSAlloc(*state.OS, Size);
  return state.Manager->Allocate(Size, state.UsedBytes);
}

int PooledFreeMem(TMemState& state, void* address) {
  TStateLock lock(state);
  if (state.ManagerFreed) {
    OSFree(*state.OS, address);
    return 0;
  }
  if (state.Manager == nullptr) return 1;
  const int result = state.Manager->Release(address, state.UsedBytes) ? 0 : 1;
  if (state.ShutdownRequested && state.UsedBytes == 0) FreeManager(state);
  return result;
}

void* PooledReallocMem(TMemState& state, void* address, std::size_t Size) {
  void* moved = PooledGetMem(state, Size);
  if (moved == nullptr) return nullptr;
  bool plain;
  {
    TStateLock lock(state);
    plain = state.ManagerFreed;
  }
  const std::uint32_t w = ClassOf(address);
  if (!plain && (w == 0 || (w % 16 != 0 && w != UINT32_MAX))) {
    PooledFreeMem(state, moved);
    return nullptr;
  }
  const std::size_t old =
      (!plain && w <= kMaxPooledClass) ? w - kBlockHeader : OSBlockSize(address);
  std::memcpy(moved, address, std::min(Size, old));
  if (PooledFreeMem(state, address) != 0) {
    // The old block was refused: it stays where it is and the caller keeps it.
    PooledFreeMem(state, moved);
    return nullptr;
  }
  return moved;
}

void PooledShutdown(TMemState& state) {
  TStateLock lock(state);
  state.ShutdownRequested = true;
  if (!state.ManagerFreed && state.UsedBytes == 0) FreeManager(state);
}

}  // namespace memmgr
