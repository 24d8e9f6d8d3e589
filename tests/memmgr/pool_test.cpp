// The manager on a state of the tests' own, over an OS layer that counts every call and can be
// told to refuse.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "memmgr/memmgr.h"
#include "support/os_test.h"

namespace {

using memmgr::TChunk;
using memmgr::TFixedSizePool;
using memmgr::TMemState;
using memmgr::WordBefore;

struct TCountingOS {
  int heap_allocs = 0, heap_frees = 0, reserves = 0, commits = 0, releases = 0;
  bool no_heap = false, refuse_commit = false, refuse_release = false;
  int refuse_heap_alloc_in = -1;  // the n-th next heap allocation (0 = the next one) is refused
  int refuse_reserve_in = -1;
  long long heap_bytes = 0;  // asked for minus given back: the sizes handed to HeapFree must match
  int heap_live() const { return heap_allocs - heap_frees; }
  int mapped_live() const { return reserves - releases; }
};
TCountingOS os_calls;

bool Refuse(int& countdown) {
  if (countdown < 0) return false;
  return countdown-- == 0;
}

const memmgr::TOSLayer kCountingOS = {
    [] { return !os_calls.no_heap; },
    [](std::size_t size) -> void* {
      if (Refuse(os_calls.refuse_heap_alloc_in)) return nullptr;
      ++os_calls.heap_allocs;
      os_calls.heap_bytes += static_cast<long long>(size);
      return std::malloc(size);
    },
    [](void* p, std::size_t size) {
      ++os_calls.heap_frees;
      os_calls.heap_bytes -= static_cast<long long>(size);
      std::free(p);
      return true;
    },
    [](std::size_t size) -> void* {
      if (Refuse(os_calls.refuse_reserve_in)) return nullptr;
      void* p = testsupport::ReserveNoAccess(size);
      if (p == nullptr) return nullptr;
      ++os_calls.reserves;
      return p;
    },
    [](void* p, std::size_t size) {
      ++os_calls.commits;
      return !os_calls.refuse_commit && testsupport::CommitReadWrite(p, size);
    },
    [](void* p, std::size_t size) {
      if (os_calls.refuse_release) return false;
      ++os_calls.releases;
      return testsupport::ReleaseRange(p, size);
    },
};

class PooledManager : public ::testing::Test {
 protected:
  void SetUp() override {
    os_calls = {};
    // Builds the manager, so that the counts below see only blocks and chunks.
    ASSERT_TRUE(memmgr::EnsureInitialized(state));
    base_ = os_calls;
  }
  void TearDown() override {
    os_calls.refuse_release = false;
    for (void* p : out) EXPECT_EQ(memmgr::PooledFreeMem(state, p), 0);
    out.clear();
    EXPECT_EQ(state.UsedBytes, 0u);
    memmgr::PooledShutdown(state);
    EXPECT_TRUE(state.ManagerFreed);
    EXPECT_EQ(os_calls.heap_live(), 0);
    EXPECT_EQ(os_calls.heap_bytes, 0);
    EXPECT_EQ(os_calls.mapped_live(), 0);
  }

  void* Get(std::size_t size) {
    void* p = memmgr::PooledGetMem(state, size);
    if (p != nullptr) out.push_back(p);
    return p;
  }
  void Free(void* p) {
    for (auto it = out.begin(); it != out.end(); ++it) {
      if (*it == p) {
        out.erase(it);
        break;
      }
    }
    ASSERT_EQ(memmgr::PooledFreeMem(state, p), 0);
  }
  TFixedSizePool& Pool(std::uint32_t S) { return state.Manager->PoolOf(S); }
  int NewChunks() const { return os_calls.heap_allocs - base_.heap_allocs; }
  int ChunksGiven() const { return os_calls.heap_frees - base_.heap_frees; }

  TMemState state{&kCountingOS};
  std::vector<void*> out;
  TCountingOS base_;
};

std::vector<TChunk*> ChunksOf(TChunk& sentinel) {
  std::vector<TChunk*> v;
  for (TChunk* c = sentinel.Next; c != &sentinel; c = c->Next) v.push_back(c);
  return v;
}

// ---- size classes ----

enum class Source { kPool, kHeap, kMapped };
struct SizeCase {
  std::size_t size;
  std::uint32_t S;
  Source source;
};

class SizeClasses : public PooledManager, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(SizeClasses, RequestTakesItsClassAndSource) {
  const SizeCase c = GetParam();
  void* p = Get(c.size);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % 16, 0u);
  EXPECT_EQ(WordBefore(p), c.S);
  EXPECT_EQ(state.UsedBytes, c.S);
  std::memset(p, 0x5A, c.size);  // the whole request is usable
  const bool pooled = c.source == Source::kPool;
  EXPECT_EQ(pooled ? Pool(c.S).UsedBlocks : 0u, pooled ? 1u : 0u);
  EXPECT_EQ(NewChunks(), c.source == Source::kMapped ? 0 : 1);
  EXPECT_EQ(os_calls.reserves - base_.reserves, c.source == Source::kMapped ? 1 : 0);
  Free(p);
  EXPECT_EQ(state.UsedBytes, 0u);
  EXPECT_EQ(os_calls.heap_live(), base_.heap_live());
  EXPECT_EQ(os_calls.mapped_live(), base_.mapped_live());
}

const SizeCase kSizeCases[] = {
    {0, 16, Source::kPool},          {1, 16, Source::kPool},
    {8, 16, Source::kPool},          {9, 32, Source::kPool},
    {24, 32, Source::kPool},         {25, 48, Source::kPool},
    {1016, 1024, Source::kPool},     {16376, 16384, Source::kPool},
    {16377, 16400, Source::kHeap},   {65512, 65520, Source::kHeap},
    {65513, 65536, Source::kMapped}, {1000000, 1000016, Source::kMapped},
};
INSTANTIATE_TEST_SUITE_P(Edges, SizeClasses, ::testing::ValuesIn(kSizeCases));

TEST_F(PooledManager, HugeBlocksKeepTheirFullSizeAndImpossibleOnesFail) {
  EXPECT_EQ(Get(SIZE_MAX), nullptr);
  EXPECT_EQ(Get(SIZE_MAX - 22), nullptr);  // would wrap around in the size class
  // Above 4 GiB the word before the address saturates; the 64-bit size in the prefix decides.
  const std::size_t size = std::size_t{5} << 30;
  void* p = Get(size);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(WordBefore(p), 0xFFFFFFFFu);
  EXPECT_EQ(state.UsedBytes, size + 16);
  static_cast<char*>(p)[size - 1] = 1;
  Free(p);
  EXPECT_EQ(state.UsedBytes, 0u);
}

// ---- chunk sizes ----

TEST_F(PooledManager, SmallClassesMakeChunksOf200Blocks) {
  const std::pair<std::size_t, std::uint32_t> kClasses[] = {{8, 16}, {24, 32}, {40, 48}, {56, 64}};
  for (const auto& [size, S] : kClasses) {
    Get(size);
    ASSERT_EQ(ChunksOf(Pool(S).AvailChunks).size(), 1u);
    EXPECT_EQ(Pool(S).AvailChunks.Prev->BlockCount, 200u) << "class " << S;
  }
  Get(57);  // class 80 grows with use
  EXPECT_EQ(Pool(80).AvailChunks.Prev->BlockCount, 3u);
}

TEST_F(PooledManager, ChunksGrowWithUseUpToTwentyBlocks) {
  TFixedSizePool& pool = Pool(1024);
  Get(1016);
  EXPECT_EQ(pool.AvailChunks.Prev->BlockCount, 3u);
  while (pool.UsedBlocks < 80) Get(1016);
  EXPECT_EQ(pool.NextChunkBlocks, 20u);
  // Fill what is left in the current chunk, then the next one is a fresh 20-block chunk.
  while (pool.AvailChunks.Prev != &pool.AvailChunks) Get(1016);
  Get(1016);
  EXPECT_EQ(pool.AvailChunks.Prev->BlockCount, 20u);
}

TEST_F(PooledManager, LargestClassChunksHoldThreeOrFourBlocks) {
  TFixedSizePool& pool = Pool(16384);
  for (int i = 0; i < 60; ++i) Get(16376);
  std::uint32_t blocks = 0;
  for (TChunk* list : {&pool.AvailChunks, &pool.FullChunks}) {
    for (TChunk* c : ChunksOf(*list)) {
      EXPECT_TRUE(c->BlockCount == 3 || c->BlockCount == 4) << c->BlockCount;
      blocks += c->UsedCount;
    }
  }
  EXPECT_EQ(blocks, 60u);
}

// ---- chunk return and reuse ----

TEST_F(PooledManager, LoneBlockReturnsItsChunkAndTheNextMakesAFreshOne) {
  void* p = Get(24);
  EXPECT_EQ(NewChunks(), 1);
  Free(p);
  EXPECT_EQ(ChunksGiven(), 1);
  EXPECT_EQ(ChunksOf(Pool(32).AvailChunks).size(), 0u);
  Get(24);
  EXPECT_EQ(NewChunks(), 2);
}

TEST_F(PooledManager, ReleasedBlocksAreReusedLastInFirstOut) {
  void* a = Get(100);
  void* b = Get(100);
  Get(100);
  Free(a);
  Free(b);
  EXPECT_EQ(Get(100), b);
  EXPECT_EQ(Get(100), a);
  EXPECT_EQ(NewChunks(), 1);
}

TEST_F(PooledManager, FullChunkReturnsOnlyWhenMoreThanATenthIsFree) {
  TFixedSizePool& pool = Pool(1024);
  void* a[3];
  for (void*& p : a) p = Get(1016);
  TChunk* c = TChunk::OfBlock(static_cast<char*>(a[0]) - 8);
  EXPECT_TRUE(c->InFullList);
  Free(a[0]);  // one free of three: not more than the threshold of 1
  EXPECT_TRUE(c->InFullList);
  Free(a[1]);
  EXPECT_FALSE(c->InFullList);
  EXPECT_EQ(pool.AvailChunks.Prev, c);
  EXPECT_EQ(Get(1016), a[1]);
}

TEST_F(PooledManager, FullChunkLargerThanThePoolWantsStaysRetired) {
  TFixedSizePool& pool = Pool(1024);
  TChunk* big = nullptr;
  while (big == nullptr && pool.UsedBlocks < 300) {
    Get(1016);
    for (TChunk* c : ChunksOf(pool.FullChunks)) {
      if (c->BlockCount == 20) big = c;
    }
  }
  ASSERT_NE(big, nullptr);
  ASSERT_EQ(big->FreeCount, 0u);
  // Release everything but this chunk's blocks, then all but one of them.
  std::vector<void*> mine, others;
  for (void* p : out) {
    (TChunk::OfBlock(static_cast<char*>(p) - 8) == big ? mine : others).push_back(p);
  }
  for (void* p : others) Free(p);
  for (std::size_t i = 1; i < mine.size(); ++i) Free(mine[i]);
  EXPECT_EQ(pool.UsedBlocks, 1u);
  EXPECT_EQ(big->FreeCount, 19u);
  EXPECT_TRUE(big->InFullList);
  EXPECT_EQ(ChunksOf(pool.AvailChunks).size(), 0u);
  // The next allocation makes a small chunk instead of using the retired one.
  Get(1016);
  EXPECT_EQ(pool.AvailChunks.Prev->BlockCount, 3u);
}

TEST_F(PooledManager, AvailableChunkLargerThanWantedRetiresOnItsNextAllocation) {
  TFixedSizePool& pool = Pool(1024);
  for (int i = 0; i < 100; ++i) Get(1016);
  while (pool.AvailChunks.Prev != &pool.AvailChunks) Get(1016);
  void* p = Get(1016);  // a fresh 20-block chunk, all but one block free
  TChunk* c = TChunk::OfBlock(static_cast<char*>(p) - 8);
  ASSERT_EQ(c->BlockCount, 20u);
  std::vector<void*> rest;
  for (void* q : out)
    if (q != p) rest.push_back(q);
  for (void* q : rest) Free(q);  // the pool now wants chunks of 3
  EXPECT_FALSE(c->InFullList);
  EXPECT_EQ(pool.AvailChunks.Prev, c);
  Get(1016);
  EXPECT_TRUE(c->InFullList);
  Get(1016);
  EXPECT_EQ(pool.AvailChunks.Prev->BlockCount, 3u);
}

TEST_F(PooledManager, BlocksComeFromTheChunkInMostUse) {
  TFixedSizePool& pool = Pool(16);
  std::vector<void*> first;
  for (int i = 0; i < 200; ++i) first.push_back(Get(8));
  TChunk* a = TChunk::OfBlock(static_cast<char*>(first[0]) - 8);
  EXPECT_TRUE(a->InFullList);
  void* lone = Get(8);
  TChunk* b = TChunk::OfBlock(static_cast<char*>(lone) - 8);
  ASSERT_NE(a, b);
  for (int i = 0; i < 21; ++i) Free(first[i]);  // 21 of 200 free: back, and more used than b
  EXPECT_FALSE(a->InFullList);
  EXPECT_EQ(pool.AvailChunks.Prev, a);
  EXPECT_EQ(TChunk::OfBlock(static_cast<char*>(Get(8)) - 8), a);
}

// ---- reallocation ----

TEST_F(PooledManager, ReallocationGrowingCopiesOnlyTheOldData) {
  void* keep = Get(100);
  void* spare = Get(100);
  std::memset(spare, 0xAA, 100);
  Free(spare);  // the next class-112 block is this one again
  (void)keep;
  char* small = static_cast<char*>(Get(8));
  std::memcpy(small, "ABCDEFGH", 8);
  out.pop_back();
  char* grown = static_cast<char*>(memmgr::PooledReallocMem(state, small, 100));
  ASSERT_EQ(grown, spare);
  out.push_back(grown);
  EXPECT_EQ(std::memcmp(grown, "ABCDEFGH", 8), 0);
  for (int i = 8; i < 100; ++i) ASSERT_EQ(static_cast<unsigned char>(grown[i]), 0xAA) << i;
}

TEST_F(PooledManager, ReallocationShrinkingCopiesTheNewSize) {
  char* a = static_cast<char*>(Get(8));
  char* b = static_cast<char*>(Get(8));
  ASSERT_EQ(b, a + 16);
  std::memset(b, 0x11, 8);
  Free(a);
  char* big = static_cast<char*>(Get(100));
  for (int i = 0; i < 100; ++i) big[i] = static_cast<char>(i);
  out.pop_back();
  char* shrunk = static_cast<char*>(memmgr::PooledReallocMem(state, big, 8));
  ASSERT_EQ(shrunk, a);
  out.push_back(shrunk);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(shrunk[i], i);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(b[i], 0x11);  // the neighbour is untouched
  EXPECT_EQ(state.UsedBytes, 32u);
}

TEST_F(PooledManager, ReallocationOfALargeBlockKeepsAllItsData) {
  char* p = static_cast<char*>(Get(20000));
  for (int i = 0; i < 20000; ++i) p[i] = static_cast<char>(i * 7);
  out.pop_back();
  char* q = static_cast<char*>(memmgr::PooledReallocMem(state, p, 70000));
  ASSERT_NE(q, nullptr);
  out.push_back(q);
  for (int i = 0; i < 20000; ++i) ASSERT_EQ(q[i], static_cast<char>(i * 7));
  EXPECT_EQ(state.UsedBytes, 70016u);
}

// ---- failures ----

TEST_F(PooledManager, RefusedChunkLeavesThePoolAsItWas) {
  os_calls.refuse_heap_alloc_in = 0;
  EXPECT_EQ(Get(24), nullptr);
  EXPECT_EQ(state.UsedBytes, 0u);
  EXPECT_EQ(Pool(32).UsedBlocks, 0u);
  EXPECT_EQ(ChunksOf(Pool(32).AvailChunks).size(), 0u);
  EXPECT_NE(Get(24), nullptr);
  EXPECT_EQ(state.UsedBytes, 32u);
}

TEST_F(PooledManager, RefusedCommitGivesTheReservationBack) {
  os_calls.refuse_commit = true;
  EXPECT_EQ(Get(100000), nullptr);
  EXPECT_EQ(os_calls.reserves - base_.reserves, 1);
  EXPECT_EQ(os_calls.mapped_live(), base_.mapped_live());
  EXPECT_EQ(state.UsedBytes, 0u);
  os_calls.refuse_reserve_in = 0;
  os_calls.refuse_commit = false;
  EXPECT_EQ(Get(100000), nullptr);
  EXPECT_NE(Get(100000), nullptr);
}

TEST_F(PooledManager, RefusedReleaseIsReportedAndTheBlockStaysOut) {
  void* p = Get(100000);
  os_calls.refuse_release = true;
  EXPECT_EQ(memmgr::PooledFreeMem(state, p), 1);
  EXPECT_EQ(state.UsedBytes, 100016u);
  os_calls.refuse_release = false;
  Free(p);
  EXPECT_EQ(state.UsedBytes, 0u);
}

TEST_F(PooledManager, ReleasingABlockTwiceIsRefusedWithoutDamage) {
  void* keep = Get(40);
  void* p = Get(40);
  Free(p);
  EXPECT_EQ(memmgr::PooledFreeMem(state, p), 1);
  EXPECT_EQ(Pool(48).UsedBlocks, 1u);
  EXPECT_EQ(TChunk::OfBlock(static_cast<char*>(keep) - 8)->UsedCount, 1u);
  // The free list still hands the block out once only.
  void* again = Get(40);
  EXPECT_EQ(again, p);
  EXPECT_NE(Get(40), p);
}

TEST_F(PooledManager, AddressWhoseWordBeforeIsNotItsClassIsRefusedWithoutDamage) {
  struct TCase {
    std::size_t size;
    std::uint32_t word;
  };
  // Not a multiple of 16; another pooled class; not a multiple of 16 above the pooled classes
  // and below the block's own size, where only the multiple-of-16 rule tells it from a class.
  for (const TCase c : {TCase{24, 24}, TCase{24, 48}, TCase{20000, 20008}}) {
    SCOPED_TRACE(c.word);
    auto* p = static_cast<unsigned char*>(memmgr::PooledGetMem(state, c.size));
    ASSERT_NE(p, nullptr);
    const std::uint32_t S = WordBefore(p);
    std::memcpy(p - 4, &c.word, 4);
    const std::uint64_t used = state.UsedBytes;
    const int heap = os_calls.heap_live(), mapped = os_calls.mapped_live();
    // Stops here if the block went, so that it is not touched again.
    ASSERT_EQ(memmgr::PooledFreeMem(state, p), 1);
    EXPECT_EQ(memmgr::PooledReallocMem(state, p, 10), nullptr);
    EXPECT_EQ(state.UsedBytes, used);
    EXPECT_EQ(os_calls.heap_live(), heap);
    EXPECT_EQ(os_calls.mapped_live(), mapped);
    std::memcpy(p - 4, &S, 4);
    Free(p);
  }
}

TEST_F(PooledManager, RefusedReallocationLeavesTheOldBlock) {
  char* p = static_cast<char*>(Get(50));
  std::memcpy(p, "keep", 5);
  os_calls.refuse_heap_alloc_in = 0;  // the 1000-byte class needs a new chunk
  EXPECT_EQ(memmgr::PooledReallocMem(state, p, 1000), nullptr);
  EXPECT_STREQ(p, "keep");
  EXPECT_EQ(state.UsedBytes, 64u);
}

TEST(PooledManagerSetUp, MissingHeapFailsAndIsRetriedLater) {
  os_calls = {};
  TMemState state{&kCountingOS};
  os_calls.no_heap = true;
  EXPECT_EQ(memmgr::PooledGetMem(state, 10), nullptr);
  EXPECT_FALSE(state.Initialized);
  os_calls.no_heap = false;
  os_calls.refuse_reserve_in = 0;  // the manager itself is refused
  EXPECT_EQ(memmgr::PooledGetMem(state, 10), nullptr);
  EXPECT_FALSE(state.Initialized);
  EXPECT_EQ(os_calls.mapped_live(), 0);
  void* p = memmgr::PooledGetMem(state, 10);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(memmgr::PooledFreeMem(state, p), 0);
  memmgr::PooledShutdown(state);
  EXPECT_TRUE(state.ManagerFreed);
  EXPECT_EQ(os_calls.heap_live() + os_calls.mapped_live(), 0);
}

// ---- shutdown ----

TEST(PooledManagerShutdown, ManagerOutlivesShutdownUntilTheLastRelease) {
  os_calls = {};
  TMemState state{&kCountingOS};
  void* a = memmgr::PooledGetMem(state, 10);
  void* b = memmgr::PooledGetMem(state, 30000);
  memmgr::PooledShutdown(state);
  EXPECT_TRUE(state.ShutdownRequested);
  EXPECT_FALSE(state.ManagerFreed);
  EXPECT_EQ(memmgr::PooledFreeMem(state, a), 0);
  EXPECT_FALSE(state.ManagerFreed);
  EXPECT_EQ(memmgr::PooledFreeMem(state, b), 0);
  EXPECT_TRUE(state.ManagerFreed);
  EXPECT_EQ(state.Manager, nullptr);
  EXPECT_EQ(os_calls.heap_live() + os_calls.mapped_live(), 0);

  // Afterwards: plain OS blocks with the size itself before the address.
  char* p = static_cast<char*>(memmgr::PooledGetMem(state, 5));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(WordBefore(p), 5u);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % 16, 0u);
  std::memcpy(p, "abcde", 5);
  char* q = static_cast<char*>(memmgr::PooledReallocMem(state, p, 3));
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(std::memcmp(q, "abc", 3), 0);
  EXPECT_EQ(memmgr::PooledFreeMem(state, q), 0);
  EXPECT_EQ(os_calls.heap_live() + os_calls.mapped_live(), 0);
}

TEST(PooledManagerShutdown, NothingOutFreesTheManagerAtOnce) {
  os_calls = {};
  TMemState state{&kCountingOS};
  memmgr::PooledFreeMem(state, memmgr::PooledGetMem(state, 100));
  memmgr::PooledShutdown(state);
  EXPECT_TRUE(state.ManagerFreed);
  EXPECT_EQ(os_calls.heap_live() + os_calls.mapped_live(), 0);
}

}  // namespace

// ---- the system's own layer ----

// Large blocks sit on 2 MiB boundaries (so that the kernel can back them with huge pages), are
// usable to their last byte, and leave nothing mapped behind once released, also where their
// mapping was rounded up to whole huge pages beyond the size asked for.
TEST(SystemOSLayer, LargeBlocksAreAlignedUsableAndWhollyReleased) {
  constexpr std::size_t kHuge = std::size_t{2} << 20;
  struct TCase {
    std::size_t Size;
    std::size_t Span;  // bytes from the block's start that must be unmapped after the release
  };
  if (testsupport::OnWindows()) {
    GTEST_SKIP() << "huge-page placement is the POSIX layer's; Windows reserves in 64 KiB units";
  }
  const memmgr::TOSLayer& os = memmgr::SystemOSLayer;
  for (const TCase c :
       {TCase{65552, 69632}, TCase{kHuge, kHuge},
        TCase{4 * kHuge - 50000, 4 * kHuge},  // a band a little short of 8 MiB
        TCase{3 * kHuge / 2, 3 * kHuge / 2}, TCase{3 * kHuge + 16, 3 * kHuge + 4096}}) {
    SCOPED_TRACE(c.Size);
    auto* p = static_cast<unsigned char*>(os.Reserve(c.Size));
    ASSERT_NE(p, nullptr);
    ASSERT_TRUE(os.Commit(p, c.Size));
    if (c.Size >= kHuge) {
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % kHuge, 0u);
    }
    p[0] = 1;
    p[c.Size - 1] = 2;
    EXPECT_EQ(p[0] + p[c.Size - 1], 3);
    ASSERT_TRUE(os.Release(p, c.Size));
    for (std::size_t at = 0; at < c.Span; at += 4096) {
      if (testsupport::PageMapped(p + at)) {
        ADD_FAILURE() << "page at offset " << at << " is still mapped";
        break;
      }
    }
  }
}
