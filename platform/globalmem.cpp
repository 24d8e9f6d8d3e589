#include "platform/globalmem.h"

#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>

namespace {

struct TGlobalBlock {
  std::unique_ptr<std::uint8_t[]> Bytes;
  std::size_t Size = 0;
  int Locks = 0;
};

struct TGlobalHeap {
  std::mutex Lock;
  std::unordered_map<HGLOBAL, TGlobalBlock> Blocks;
  HGLOBAL NextHandle = 0x1000;
  int AllocFailCountdown = 0;
  int LockFailCountdown = 0;
};

TGlobalHeap& Heap() {
  static TGlobalHeap GlobalHeap;
  return GlobalHeap;
}

// Counts a countdown down; true when this is the call that must fail.
bool FailNow(int& Countdown) {
  if (Countdown <= 0) return false;
  return --Countdown == 0;
}

}  // namespace

HGLOBAL GlobalAlloc(std::uint32_t Flags, std::size_t Bytes) {
  TGlobalHeap& GlobalHeap = Heap();
  std::lock_guard<std::mutex> Guard(GlobalHeap.Lock);
  if (FailNow(GlobalHeap.AllocFailCountdown)) return 0;
  TGlobalBlock Block;
  if (Bytes > 0) {
    Block.Bytes.reset(new (std::nothrow) std::uint8_t[Bytes]);
    if (!Block.Bytes) return 0;
    std::memset(Block.Bytes.get(), (Flags & GMEM_ZEROINIT) ? 0 : GlobalFillByte, Bytes);
  }
  Block.Size = Bytes;
  const HGLOBAL Handle = GlobalHeap.NextHandle;
  GlobalHeap.NextHandle += 0x10;
  GlobalHeap.Blocks.emplace(Handle, std::move(Block));
  return Handle;
}

void* GlobalLock(HGLOBAL Mem) {
  TGlobalHeap& GlobalHeap = Heap();
  std::lock_guard<std::mutex> Guard(GlobalHeap.Lock);
  const auto It = GlobalHeap.Blocks.find(Mem);
  if (It == GlobalHeap.Blocks.end() || It->second.Size == 0) return nullptr;
  if (FailNow(GlobalHeap.LockFailCountdown)) return nullptr;
  ++It->second.Locks;
  return It->second.Bytes.get();
}

bool GlobalUnlock(HGLOBAL Mem) {
  TGlobalHeap& GlobalHeap = Heap();
  std::lock_guard<std::mutex> Guard(GlobalHeap.Lock);
  const auto It = GlobalHeap.Blocks.find(Mem);
  if (It == GlobalHeap.Blocks.end() || It->second.Locks == 0) return false;
  return --It->second.Locks > 0;
}

std::size_t GlobalSize(HGLOBAL Mem) {
  TGlobalHeap& GlobalHeap = Heap();
  std::lock_guard<std::mutex> Guard(GlobalHeap.Lock);
  const auto It = GlobalHeap.Blocks.find(Mem);
  return It == GlobalHeap.Blocks.end() ? 0 : It->second.Size;
}

HGLOBAL GlobalFree(HGLOBAL Mem) {
  TGlobalHeap& GlobalHeap = Heap();
  std::lock_guard<std::mutex> Guard(GlobalHeap.Lock);
  return GlobalHeap.Blocks.erase(Mem) == 1 ? 0 : Mem;
}

int LiveGlobalBlocks() {
  TGlobalHeap& GlobalHeap = Heap();
  std::lock_guard<std::mutex> Guard(GlobalHeap.Lock);
  return static_cast<int>(GlobalHeap.Blocks.size());
}

int GlobalLockCount(HGLOBAL Mem) {
  TGlobalHeap& GlobalHeap = Heap();
  std::lock_guard<std::mutex> Guard(GlobalHeap.Lock);
  const auto It = GlobalHeap.Blocks.find(Mem);
  return It == GlobalHeap.Blocks.end() ? 0 : It->second.Locks;
}

void SetGlobalAllocFailCountdown(int N) {
  TGlobalHeap& GlobalHeap = Heap();
  std::lock_guard<std::mutex> Guard(GlobalHeap.Lock);
  GlobalHeap.AllocFailCountdown = N > 0 ? N : 0;
}

void SetGlobalLockFailCountdown(int N) {
  TGlobalHeap& GlobalHeap = Heap();
  std::lock_guard<std::mutex> Guard(GlobalHeap.Lock);
  GlobalHeap.LockFailCountdown = N > 0 ? N : 0;
}
