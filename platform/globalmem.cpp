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
  static TGlobalHeap heap;
  return heap;
}

// Counts a countdown down; true when this is the call that must fail.
bool FailNow(int& Countdown) {
  if (Countdown <= 0) return false;
  return --Countdown == 0;
}

}  // namespace

HGLOBAL GlobalAlloc(std::uint32_t Flags, std::size_t Bytes) {
  TGlobalHeap& heap = Heap();
  std::lock_guard<std::mutex> guard(heap.Lock);
  if (FailNow(heap.AllocFailCountdown)) return 0;
  TGlobalBlock block;
  if (Bytes > 0) {
    block.Bytes.reset(new (std::nothrow) std::uint8_t[Bytes]);
    if (!block.Bytes) return 0;
    std::memset(block.Bytes.get(), (Flags & GMEM_ZEROINIT) ? 0 : kGlobalFillByte, Bytes);
  }
  block.Size = Bytes;
  const HGLOBAL handle = heap.NextHandle;
  heap.NextHandle += 0x10;
  heap.Blocks.emplace(handle, std::move(block));
  return handle;
}

void* GlobalLock(HGLOBAL Mem) {
  TGlobalHeap& heap = Heap();
  std::lock_guard<std::mutex> guard(heap.Lock);
  const auto it = heap.Blocks.find(Mem);
  if (it == heap.Blocks.end() || it->second.Size == 0) return nullptr;
  if (FailNow(heap.LockFailCountdown)) return nullptr;
  ++it->second.Locks;
  return it->second.Bytes.get();
}

bool GlobalUnlock(HGLOBAL Mem) {
  TGlobalHeap& heap = Heap();
  std::lock_guard<std::mutex> guard(heap.Lock);
  const auto it = heap.Blocks.find(Mem);
  if (it == heap.Blocks.end() || it->second.Locks == 0) return false;
  return --it->second.Locks > 0;
}

std::size_t GlobalSize(HGLOBAL Mem) {
  TGlobalHeap& heap = Heap();
  std::lock_guard<std::mutex> guard(heap.Lock);
  const auto it = heap.Blocks.find(Mem);
  return it == heap.Blocks.end() ? 0 : it->second.Size;
}

HGLOBAL GlobalFree(HGLOBAL Mem) {
  TGlobalHeap& heap = Heap();
  std::lock_guard<std::mutex> guard(heap.Lock);
  return heap.Blocks.erase(Mem) == 1 ? 0 : Mem;
}

int LiveGlobalBlocks() {
  TGlobalHeap& heap = Heap();
  std::lock_guard<std::mutex> guard(heap.Lock);
  return static_cast<int>(heap.Blocks.size());
}

int GlobalLockCount(HGLOBAL Mem) {
  TGlobalHeap& heap = Heap();
  std::lock_guard<std::mutex> guard(heap.Lock);
  const auto it = heap.Blocks.find(Mem);
  return it == heap.Blocks.end() ? 0 : it->second.Locks;
}

void SetGlobalAllocFailCountdown(int n) {
  TGlobalHeap& heap = Heap();
  std::lock_guard<std::mutex> guard(heap.Lock);
  heap.AllocFailCountdown = n > 0 ? n : 0;
}

void SetGlobalLockFailCountdown(int n) {
  TGlobalHeap& heap = Heap();
  std::lock_guard<std::mutex> guard(heap.Lock);
  heap.LockFailCountdown = n > 0 ? n : 0;
}
