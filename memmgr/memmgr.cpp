#include "memmgr/memmgr.h"

#include <algorithm>
#include <cstring>

namespace memmgr {
namespace {

// A chunk's OS block: the TChunk, 8 bytes so that the blocks start at 8 mod 16 (their data at
// 0 mod 16, as OS blocks are 16-byte aligned), the blocks.
constexpr std::size_t ChunkHeader = sizeof(TChunk) + BlockHeader;
static_assert(sizeof(TChunk) % 16 == 0);

inline std::uint32_t ReadWord(const unsigned char* P) {
  std::uint32_t W;
  std::memcpy(&W, P, 4);
  return W;
}
inline std::uint32_t ClassOf(const void* Address) {
  return ReadWord(static_cast<const unsigned char*>(Address) - 4);
}
inline void WriteWord(unsigned char* P, std::uint32_t W) {
  std::memcpy(P, &W, 4);
}

// Holds the state's lock for a scope, if the program has more than one thread.
class TStateLock {
 public:
  explicit TStateLock(TMemState& State) : FLock(State.Lock), FLocked(FLock.Enter()) {}
  ~TStateLock() { FLock.Leave(FLocked); }
  TStateLock(const TStateLock&) = delete;
  TStateLock& operator=(const TStateLock&) = delete;

 private:
  TOSLock& FLock;
  bool FLocked;
};

// Caller holds the lock.
void FreeManager(TMemState& State) {
  if (State.Manager != nullptr) OSDelete(*State.OS, State.Manager);
  State.Manager = nullptr;
  State.ManagerFreed = true;
  State.Initialized.store(true, std::memory_order_release);
}

}  // namespace

constinit TMemState ProcessMemState{&SystemOSLayer};

// ---- TChunk ----

TChunk::TChunk(std::uint32_t Size, std::uint32_t Count, unsigned char* Blocks)
    : BlockSize(static_cast<std::uint16_t>(Size)),
      BlockCount(Count),
      Threshold(std::max<std::uint32_t>(Count / 10, 1)),
      FreeCount(Count),
      NextUnused(Blocks),
      Memory(Blocks) {}

TChunk* TChunk::Create(const TOSLayer& Os, std::uint32_t BlockSize, std::uint32_t BlockCount) {
  void* P = OSAlloc(Os, ChunkHeader + std::size_t{BlockSize} * BlockCount);
  if (P == nullptr) return nullptr;
  return ::new (P) TChunk(BlockSize, BlockCount, static_cast<unsigned char*>(P) + ChunkHeader);
}

void TChunk::Destroy(const TOSLayer& Os) {
  Unlink();
  OSDelete(Os, this);
}

TChunk* TChunk::OfBlock(void* Block) {
  auto* B = static_cast<unsigned char*>(Block);
  return reinterpret_cast<TChunk*>(B - ReadWord(B));
}

void* TChunk::AllocBlock() {
  ++UsedCount;
  --FreeCount;
  unsigned char* Block;
  if (FreeList != nullptr) {
    Block = FreeList;
    const std::uint32_t Link = ReadWord(Block + 4);
    FreeList = Link == 0 ? nullptr : Memory + (Link - 1);
  } else {
    Block = NextUnused;
    NextUnused += BlockSize;
  }
  WriteWord(Block, static_cast<std::uint32_t>(Block - reinterpret_cast<unsigned char*>(this)));
  return Block;
}

void TChunk::ReleaseBlock(void* Block) {
  auto* B = static_cast<unsigned char*>(Block);
  WriteWord(B + 4, FreeList == nullptr ? 0 : static_cast<std::uint32_t>(FreeList - Memory) + 1);
  FreeList = B;
  --UsedCount;
  ++FreeCount;
}

void TChunk::InsertAfter(TChunk* C) {
  Prev = C;
  Next = C->Next;
  C->Next->Prev = this;
  C->Next = this;
}

void TChunk::Unlink() {
  Prev->Next = Next;
  Next->Prev = Prev;
  Next = this;
  Prev = this;
}

// ---- TFixedSizePool ----

void TFixedSizePool::Init(const TOSLayer* Os, std::uint32_t Size) {
  OS = Os;
  BlockSize = Size;
  AvailChunks.BlockSize = FullChunks.BlockSize = static_cast<std::uint16_t>(Size);
  UsedBlocks = 0;
  MaxChunkBlocks = std::min<std::uint32_t>(65536 / Size, 20);
  UpdateNextChunkBlocks();
}

TFixedSizePool::~TFixedSizePool() {
  Clear();
}

void TFixedSizePool::Clear() {
  if (OS == nullptr) return;
  for (TChunk* List : {&AvailChunks, &FullChunks}) {
    while (List->Prev != List) List->Prev->Destroy(*OS);
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
  TChunk* C = AvailChunks.Prev;
  void* Block;
  if (C != &AvailChunks) {
    Block = C->AllocBlock();
    ++UsedBlocks;
    if (C->FreeCount == 0 || C->BlockCount > NextChunkBlocks) {
      C->Unlink();
      C->InsertAfter(FullChunks.Prev);
      C->InFullList = true;
    }
  } else {
    C = TChunk::Create(*OS, BlockSize, NextChunkBlocks);
    if (C == nullptr) return nullptr;
    Block = C->AllocBlock();
    ++UsedBlocks;
    C->InsertAfter(&AvailChunks);
  }
  UpdateNextChunkBlocks();
  return Block;
}

void TFixedSizePool::FreeBlock(void* Block) {
  TChunk* C = TChunk::OfBlock(Block);
  C->ReleaseBlock(Block);
  --UsedBlocks;
  if (C->UsedCount == 0) {
    C->Destroy(*OS);
  } else if (C->InFullList) {
    if (C->FreeCount > C->Threshold && C->BlockCount <= NextChunkBlocks) {
      C->InFullList = false;
      C->Unlink();
      TChunk* Last = AvailChunks.Prev;
      if (Last == &AvailChunks || Last->UsedCount < C->UsedCount) {
        C->InsertAfter(Last);
      } else {
        C->InsertAfter(Last->Prev);
      }
    }
  } else {
    TChunk* Last = AvailChunks.Prev;
    if (C != Last && C->UsedCount > Last->UsedCount) {
      C->Unlink();
      C->InsertAfter(AvailChunks.Prev);
    }
  }
  UpdateNextChunkBlocks();
}

// ---- TMemManager ----

TMemManager::TMemManager(const TOSLayer* Os) : OS(Os) {
  for (std::uint32_t I = 0; I < PoolCount; ++I) Pools[I].Init(Os, 16 * (I + 1));
}

TMemManager::~TMemManager() {
  for (TFixedSizePool& Pool : Pools) Pool.Clear();
}

void* TMemManager::Allocate(std::size_t Size, std::uint64_t& UsedBytes) {
  if (Size > MaxRequest) return nullptr;
  const std::size_t S = SizeClass(Size);
  void* Address;
  if (S > MaxPooledClass) {
    Address = OSAlloc(*OS, S);
    if (Address == nullptr) return nullptr;
  } else {
    auto* Block = static_cast<unsigned char*>(PoolOf(static_cast<std::uint32_t>(S)).AllocBlock());
    if (Block == nullptr) return nullptr;
    WriteWord(Block + 4, static_cast<std::uint32_t>(S));
    Address = Block + BlockHeader;
  }
  UsedBytes += S;
  return Address;
}

bool TMemManager::Release(void* Address, std::uint64_t& UsedBytes) {
  const std::uint32_t W = ClassOf(Address);
  if (W == 0 || (W % 16 != 0 && W != UINT32_MAX)) return false;
  if (W > MaxPooledClass) {
    const std::size_t S = OSBlockSize(Address);
    if (S < W || !OSFree(*OS, Address)) return false;
    UsedBytes -= S;
    return true;
  }
  void* Block = static_cast<unsigned char*>(Address) - BlockHeader;
  if (TChunk::OfBlock(Block)->BlockSize != W) return false;
  PoolOf(W).FreeBlock(Block);
  UsedBytes -= W;
  return true;
}

// ---- module state and entry points ----

bool EnsureInitializedSlow(TMemState& State) {
  TStateLock Lock(State);
  if (State.Initialized.load(std::memory_order_relaxed)) return true;
  if (!State.OS->GetProcessHeap()) return false;
  TMemManager* Manager = OSNew<TMemManager>(*State.OS, State.OS);
  if (Manager == nullptr) return false;
  State.Manager = Manager;
  State.Initialized.store(true, std::memory_order_release);
  return true;
}

void* PooledGetMem(TMemState& State, std::size_t Size) {
  if (Size == 0) Size = 1;
  if (!EnsureInitialized(State)) return nullptr;
  TStateLock Lock(State);
  if (State.ManagerFreed) return OSAlloc(*State.OS, Size);
  return State.Manager->Allocate(Size, State.UsedBytes);
}

int PooledFreeMem(TMemState& State, void* Address) {
  TStateLock Lock(State);
  if (State.ManagerFreed) {
    OSFree(*State.OS, Address);
    return 0;
  }
  if (State.Manager == nullptr) return 1;
  const int Result = State.Manager->Release(Address, State.UsedBytes) ? 0 : 1;
  if (State.ShutdownRequested && State.UsedBytes == 0) FreeManager(State);
  return Result;
}

void* PooledReallocMem(TMemState& State, void* Address, std::size_t Size) {
  void* Moved = PooledGetMem(State, Size);
  if (Moved == nullptr) return nullptr;
  bool Plain;
  {
    TStateLock Lock(State);
    Plain = State.ManagerFreed;
  }
  const std::uint32_t W = ClassOf(Address);
  if (!Plain && (W == 0 || (W % 16 != 0 && W != UINT32_MAX))) {
    PooledFreeMem(State, Moved);
    return nullptr;
  }
  const std::size_t Old =
      (!Plain && W <= MaxPooledClass) ? W - BlockHeader : OSBlockSize(Address);
  std::memcpy(Moved, Address, std::min(Size, Old));
  if (PooledFreeMem(State, Address) != 0) {
    // The old block was refused: it stays where it is and the caller keeps it.
    PooledFreeMem(State, Moved);
    return nullptr;
  }
  return Moved;
}

void PooledShutdown(TMemState& State) {
  TStateLock Lock(State);
  State.ShutdownRequested = true;
  if (!State.ManagerFreed && State.UsedBytes == 0) FreeManager(State);
}

}  // namespace memmgr
