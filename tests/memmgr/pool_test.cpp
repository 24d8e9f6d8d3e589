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
  int HeapAllocs = 0, HeapFrees = 0, Reserves = 0, Commits = 0, Releases = 0;
  bool NoHeap = false, RefuseCommit = false, RefuseRelease = false;
  int RefuseHeapAllocIn = -1;  // the n-th next heap allocation (0 = the next one) is refused
  int RefuseReserveIn = -1;
  long long HeapBytes = 0;  // asked for minus given back: the sizes handed to HeapFree must match
  int HeapLive() const { return HeapAllocs - HeapFrees; }
  int MappedLive() const { return Reserves - Releases; }
};
TCountingOS OsCalls;

bool Refuse(int& Countdown) {
  if (Countdown < 0) return false;
  return Countdown-- == 0;
}

const memmgr::TOSLayer CountingOS = {
    [] { return !OsCalls.NoHeap; },
    [](std::size_t Size) -> void* {
      if (Refuse(OsCalls.RefuseHeapAllocIn)) return nullptr;
      ++OsCalls.HeapAllocs;
      OsCalls.HeapBytes += static_cast<long long>(Size);
      return std::malloc(Size);
    },
    [](void* P, std::size_t Size) {
      ++OsCalls.HeapFrees;
      OsCalls.HeapBytes -= static_cast<long long>(Size);
      std::free(P);
      return true;
    },
    [](std::size_t Size) -> void* {
      if (Refuse(OsCalls.RefuseReserveIn)) return nullptr;
      void* P = testsupport::ReserveNoAccess(Size);
      if (P == nullptr) return nullptr;
      ++OsCalls.Reserves;
      return P;
    },
    [](void* P, std::size_t Size) {
      ++OsCalls.Commits;
      return !OsCalls.RefuseCommit && testsupport::CommitReadWrite(P, Size);
    },
    [](void* P, std::size_t Size) {
      if (OsCalls.RefuseRelease) return false;
      ++OsCalls.Releases;
      return testsupport::ReleaseRange(P, Size);
    },
};

class PooledManager : public ::testing::Test {
 protected:
  void SetUp() override {
    OsCalls = {};
    // Builds the manager, so that the counts below see only blocks and chunks.
    ASSERT_TRUE(memmgr::EnsureInitialized(State));
    Base = OsCalls;
  }
  void TearDown() override {
    OsCalls.RefuseRelease = false;
    for (void* P : Out) EXPECT_EQ(memmgr::PooledFreeMem(State, P), 0);
    Out.clear();
    EXPECT_EQ(State.UsedBytes, 0u);
    memmgr::PooledShutdown(State);
    EXPECT_TRUE(State.ManagerFreed);
    EXPECT_EQ(OsCalls.HeapLive(), 0);
    EXPECT_EQ(OsCalls.HeapBytes, 0);
    EXPECT_EQ(OsCalls.MappedLive(), 0);
  }

  void* Get(std::size_t Size) {
    void* P = memmgr::PooledGetMem(State, Size);
    if (P != nullptr) Out.push_back(P);
    return P;
  }
  void Free(void* P) {
    for (auto It = Out.begin(); It != Out.end(); ++It) {
      if (*It == P) {
        Out.erase(It);
        break;
      }
    }
    ASSERT_EQ(memmgr::PooledFreeMem(State, P), 0);
  }
  TFixedSizePool& Pool(std::uint32_t S) { return State.Manager->PoolOf(S); }
  int NewChunks() const { return OsCalls.HeapAllocs - Base.HeapAllocs; }
  int ChunksGiven() const { return OsCalls.HeapFrees - Base.HeapFrees; }

  TMemState State{&CountingOS};
  std::vector<void*> Out;
  TCountingOS Base;
};

std::vector<TChunk*> ChunksOf(TChunk& Sentinel) {
  std::vector<TChunk*> V;
  for (TChunk* C = Sentinel.Next; C != &Sentinel; C = C->Next) V.push_back(C);
  return V;
}

// ---- size classes ----

enum class TSource { Pool, Heap, Mapped };
struct TSizeCase {
  std::size_t Size;
  std::uint32_t S;
  TSource Source;
};

class SizeClasses : public PooledManager, public ::testing::WithParamInterface<TSizeCase> {};

TEST_P(SizeClasses, RequestTakesItsClassAndSource) {
  const TSizeCase C = GetParam();
  void* P = Get(C.Size);
  ASSERT_NE(P, nullptr);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(P) % 16, 0u);
  EXPECT_EQ(WordBefore(P), C.S);
  EXPECT_EQ(State.UsedBytes, C.S);
  std::memset(P, 0x5A, C.Size);  // the whole request is usable
  const bool Pooled = C.Source == TSource::Pool;
  EXPECT_EQ(Pooled ? Pool(C.S).UsedBlocks : 0u, Pooled ? 1u : 0u);
  EXPECT_EQ(NewChunks(), C.Source == TSource::Mapped ? 0 : 1);
  EXPECT_EQ(OsCalls.Reserves - Base.Reserves, C.Source == TSource::Mapped ? 1 : 0);
  Free(P);
  EXPECT_EQ(State.UsedBytes, 0u);
  EXPECT_EQ(OsCalls.HeapLive(), Base.HeapLive());
  EXPECT_EQ(OsCalls.MappedLive(), Base.MappedLive());
}

const TSizeCase SizeCases[] = {
    {0, 16, TSource::Pool},          {1, 16, TSource::Pool},
    {8, 16, TSource::Pool},          {9, 32, TSource::Pool},
    {24, 32, TSource::Pool},         {25, 48, TSource::Pool},
    {1016, 1024, TSource::Pool},     {16376, 16384, TSource::Pool},
    {16377, 16400, TSource::Heap},   {65512, 65520, TSource::Heap},
    {65513, 65536, TSource::Mapped}, {1000000, 1000016, TSource::Mapped},
};
INSTANTIATE_TEST_SUITE_P(Edges, SizeClasses, ::testing::ValuesIn(SizeCases));

TEST_F(PooledManager, HugeBlocksKeepTheirFullSizeAndImpossibleOnesFail) {
  EXPECT_EQ(Get(SIZE_MAX), nullptr);
  EXPECT_EQ(Get(SIZE_MAX - 22), nullptr);  // would wrap around in the size class
  // Above 4 GiB the word before the address saturates; the 64-bit size in the prefix decides.
  const std::size_t Size = std::size_t{5} << 30;
  void* P = Get(Size);
  ASSERT_NE(P, nullptr);
  EXPECT_EQ(WordBefore(P), 0xFFFFFFFFu);
  EXPECT_EQ(State.UsedBytes, Size + 16);
  static_cast<char*>(P)[Size - 1] = 1;
  Free(P);
  EXPECT_EQ(State.UsedBytes, 0u);
}

// ---- chunk sizes ----

TEST_F(PooledManager, SmallClassesMakeChunksOf200Blocks) {
  const std::pair<std::size_t, std::uint32_t> Classes[] = {{8, 16}, {24, 32}, {40, 48}, {56, 64}};
  for (const auto& [size, S] : Classes) {
    Get(size);
    ASSERT_EQ(ChunksOf(Pool(S).AvailChunks).size(), 1u);
    EXPECT_EQ(Pool(S).AvailChunks.Prev->BlockCount, 200u) << "class " << S;
  }
  Get(57);  // class 80 grows with use
  EXPECT_EQ(Pool(80).AvailChunks.Prev->BlockCount, 3u);
}

TEST_F(PooledManager, ChunksGrowWithUseUpToTwentyBlocks) {
  TFixedSizePool& SizePool = Pool(1024);
  Get(1016);
  EXPECT_EQ(SizePool.AvailChunks.Prev->BlockCount, 3u);
  while (SizePool.UsedBlocks < 80) Get(1016);
  EXPECT_EQ(SizePool.NextChunkBlocks, 20u);
  // Fill what is left in the current chunk, then the next one is a fresh 20-block chunk.
  while (SizePool.AvailChunks.Prev != &SizePool.AvailChunks) Get(1016);
  Get(1016);
  EXPECT_EQ(SizePool.AvailChunks.Prev->BlockCount, 20u);
}

TEST_F(PooledManager, LargestClassChunksHoldThreeOrFourBlocks) {
  TFixedSizePool& SizePool = Pool(16384);
  for (int I = 0; I < 60; ++I) Get(16376);
  std::uint32_t Blocks = 0;
  for (TChunk* List : {&SizePool.AvailChunks, &SizePool.FullChunks}) {
    for (TChunk* C : ChunksOf(*List)) {
      EXPECT_TRUE(C->BlockCount == 3 || C->BlockCount == 4) << C->BlockCount;
      Blocks += C->UsedCount;
    }
  }
  EXPECT_EQ(Blocks, 60u);
}

// ---- chunk return and reuse ----

TEST_F(PooledManager, LoneBlockReturnsItsChunkAndTheNextMakesAFreshOne) {
  void* P = Get(24);
  EXPECT_EQ(NewChunks(), 1);
  Free(P);
  EXPECT_EQ(ChunksGiven(), 1);
  EXPECT_EQ(ChunksOf(Pool(32).AvailChunks).size(), 0u);
  Get(24);
  EXPECT_EQ(NewChunks(), 2);
}

TEST_F(PooledManager, ReleasedBlocksAreReusedLastInFirstOut) {
  void* A = Get(100);
  void* B = Get(100);
  Get(100);
  Free(A);
  Free(B);
  EXPECT_EQ(Get(100), B);
  EXPECT_EQ(Get(100), A);
  EXPECT_EQ(NewChunks(), 1);
}

TEST_F(PooledManager, FullChunkReturnsOnlyWhenMoreThanATenthIsFree) {
  TFixedSizePool& SizePool = Pool(1024);
  void* A[3];
  for (void*& P : A) P = Get(1016);
  TChunk* C = TChunk::OfBlock(static_cast<char*>(A[0]) - 8);
  EXPECT_TRUE(C->InFullList);
  Free(A[0]);  // one free of three: not more than the threshold of 1
  EXPECT_TRUE(C->InFullList);
  Free(A[1]);
  EXPECT_FALSE(C->InFullList);
  EXPECT_EQ(SizePool.AvailChunks.Prev, C);
  EXPECT_EQ(Get(1016), A[1]);
}

TEST_F(PooledManager, FullChunkLargerThanThePoolWantsStaysRetired) {
  TFixedSizePool& SizePool = Pool(1024);
  TChunk* Big = nullptr;
  while (Big == nullptr && SizePool.UsedBlocks < 300) {
    Get(1016);
    for (TChunk* C : ChunksOf(SizePool.FullChunks)) {
      if (C->BlockCount == 20) Big = C;
    }
  }
  ASSERT_NE(Big, nullptr);
  ASSERT_EQ(Big->FreeCount, 0u);
  // Release everything but this chunk's blocks, then all but one of them.
  std::vector<void*> Mine, Others;
  for (void* P : Out) {
    (TChunk::OfBlock(static_cast<char*>(P) - 8) == Big ? Mine : Others).push_back(P);
  }
  for (void* P : Others) Free(P);
  for (std::size_t I = 1; I < Mine.size(); ++I) Free(Mine[I]);
  EXPECT_EQ(SizePool.UsedBlocks, 1u);
  EXPECT_EQ(Big->FreeCount, 19u);
  EXPECT_TRUE(Big->InFullList);
  EXPECT_EQ(ChunksOf(SizePool.AvailChunks).size(), 0u);
  // The next allocation makes a small chunk instead of using the retired one.
  Get(1016);
  EXPECT_EQ(SizePool.AvailChunks.Prev->BlockCount, 3u);
}

TEST_F(PooledManager, AvailableChunkLargerThanWantedRetiresOnItsNextAllocation) {
  TFixedSizePool& SizePool = Pool(1024);
  for (int I = 0; I < 100; ++I) Get(1016);
  while (SizePool.AvailChunks.Prev != &SizePool.AvailChunks) Get(1016);
  void* P = Get(1016);  // a fresh 20-block chunk, all but one block free
  TChunk* C = TChunk::OfBlock(static_cast<char*>(P) - 8);
  ASSERT_EQ(C->BlockCount, 20u);
  std::vector<void*> Rest;
  for (void* Q : Out)
    if (Q != P) Rest.push_back(Q);
  for (void* Q : Rest) Free(Q);  // the pool now wants chunks of 3
  EXPECT_FALSE(C->InFullList);
  EXPECT_EQ(SizePool.AvailChunks.Prev, C);
  Get(1016);
  EXPECT_TRUE(C->InFullList);
  Get(1016);
  EXPECT_EQ(SizePool.AvailChunks.Prev->BlockCount, 3u);
}

TEST_F(PooledManager, BlocksComeFromTheChunkInMostUse) {
  TFixedSizePool& SizePool = Pool(16);
  std::vector<void*> First;
  for (int I = 0; I < 200; ++I) First.push_back(Get(8));
  TChunk* A = TChunk::OfBlock(static_cast<char*>(First[0]) - 8);
  EXPECT_TRUE(A->InFullList);
  void* Lone = Get(8);
  TChunk* B = TChunk::OfBlock(static_cast<char*>(Lone) - 8);
  ASSERT_NE(A, B);
  for (int I = 0; I < 21; ++I) Free(First[I]);  // 21 of 200 free: back, and more used than b
  EXPECT_FALSE(A->InFullList);
  EXPECT_EQ(SizePool.AvailChunks.Prev, A);
  EXPECT_EQ(TChunk::OfBlock(static_cast<char*>(Get(8)) - 8), A);
}

// ---- reallocation ----

TEST_F(PooledManager, ReallocationGrowingCopiesOnlyTheOldData) {
  void* Keep = Get(100);
  void* Spare = Get(100);
  std::memset(Spare, 0xAA, 100);
  Free(Spare);  // the next class-112 block is this one again
  (void)Keep;
  char* Small = static_cast<char*>(Get(8));
  std::memcpy(Small, "ABCDEFGH", 8);
  Out.pop_back();
  char* Grown = static_cast<char*>(memmgr::PooledReallocMem(State, Small, 100));
  ASSERT_EQ(Grown, Spare);
  Out.push_back(Grown);
  EXPECT_EQ(std::memcmp(Grown, "ABCDEFGH", 8), 0);
  for (int I = 8; I < 100; ++I) ASSERT_EQ(static_cast<unsigned char>(Grown[I]), 0xAA) << I;
}

TEST_F(PooledManager, ReallocationShrinkingCopiesTheNewSize) {
  char* A = static_cast<char*>(Get(8));
  char* B = static_cast<char*>(Get(8));
  ASSERT_EQ(B, A + 16);
  std::memset(B, 0x11, 8);
  Free(A);
  char* Big = static_cast<char*>(Get(100));
  for (int I = 0; I < 100; ++I) Big[I] = static_cast<char>(I);
  Out.pop_back();
  char* Shrunk = static_cast<char*>(memmgr::PooledReallocMem(State, Big, 8));
  ASSERT_EQ(Shrunk, A);
  Out.push_back(Shrunk);
  for (int I = 0; I < 8; ++I) EXPECT_EQ(Shrunk[I], I);
  for (int I = 0; I < 8; ++I) EXPECT_EQ(B[I], 0x11);  // the neighbour is untouched
  EXPECT_EQ(State.UsedBytes, 32u);
}

TEST_F(PooledManager, ReallocationOfALargeBlockKeepsAllItsData) {
  char* P = static_cast<char*>(Get(20000));
  for (int I = 0; I < 20000; ++I) P[I] = static_cast<char>(I * 7);
  Out.pop_back();
  char* Q = static_cast<char*>(memmgr::PooledReallocMem(State, P, 70000));
  ASSERT_NE(Q, nullptr);
  Out.push_back(Q);
  for (int I = 0; I < 20000; ++I) ASSERT_EQ(Q[I], static_cast<char>(I * 7));
  EXPECT_EQ(State.UsedBytes, 70016u);
}

// ---- failures ----

TEST_F(PooledManager, RefusedChunkLeavesThePoolAsItWas) {
  OsCalls.RefuseHeapAllocIn = 0;
  EXPECT_EQ(Get(24), nullptr);
  EXPECT_EQ(State.UsedBytes, 0u);
  EXPECT_EQ(Pool(32).UsedBlocks, 0u);
  EXPECT_EQ(ChunksOf(Pool(32).AvailChunks).size(), 0u);
  EXPECT_NE(Get(24), nullptr);
  EXPECT_EQ(State.UsedBytes, 32u);
}

TEST_F(PooledManager, RefusedCommitGivesTheReservationBack) {
  OsCalls.RefuseCommit = true;
  EXPECT_EQ(Get(100000), nullptr);
  EXPECT_EQ(OsCalls.Reserves - Base.Reserves, 1);
  EXPECT_EQ(OsCalls.MappedLive(), Base.MappedLive());
  EXPECT_EQ(State.UsedBytes, 0u);
  OsCalls.RefuseReserveIn = 0;
  OsCalls.RefuseCommit = false;
  EXPECT_EQ(Get(100000), nullptr);
  EXPECT_NE(Get(100000), nullptr);
}

TEST_F(PooledManager, RefusedReleaseIsReportedAndTheBlockStaysOut) {
  void* P = Get(100000);
  OsCalls.RefuseRelease = true;
  EXPECT_EQ(memmgr::PooledFreeMem(State, P), 1);
  EXPECT_EQ(State.UsedBytes, 100016u);
  OsCalls.RefuseRelease = false;
  Free(P);
  EXPECT_EQ(State.UsedBytes, 0u);
}

TEST_F(PooledManager, ReleasingABlockTwiceIsRefusedWithoutDamage) {
  void* Keep = Get(40);
  void* P = Get(40);
  Free(P);
  EXPECT_EQ(memmgr::PooledFreeMem(State, P), 1);
  EXPECT_EQ(Pool(48).UsedBlocks, 1u);
  EXPECT_EQ(TChunk::OfBlock(static_cast<char*>(Keep) - 8)->UsedCount, 1u);
  // The free list still hands the block out once only.
  void* Again = Get(40);
  EXPECT_EQ(Again, P);
  EXPECT_NE(Get(40), P);
}

TEST_F(PooledManager, AddressWhoseWordBeforeIsNotItsClassIsRefusedWithoutDamage) {
  struct TCase {
    std::size_t Size;
    std::uint32_t Word;
  };
  // Not a multiple of 16; another pooled class; not a multiple of 16 above the pooled classes
  // and below the block's own size, where only the multiple-of-16 rule tells it from a class.
  for (const TCase C : {TCase{24, 24}, TCase{24, 48}, TCase{20000, 20008}}) {
    SCOPED_TRACE(C.Word);
    auto* P = static_cast<unsigned char*>(memmgr::PooledGetMem(State, C.Size));
    ASSERT_NE(P, nullptr);
    const std::uint32_t S = WordBefore(P);
    std::memcpy(P - 4, &C.Word, 4);
    const std::uint64_t Used = State.UsedBytes;
    const int Heap = OsCalls.HeapLive(), Mapped = OsCalls.MappedLive();
    // Stops here if the block went, so that it is not touched again.
    ASSERT_EQ(memmgr::PooledFreeMem(State, P), 1);
    EXPECT_EQ(memmgr::PooledReallocMem(State, P, 10), nullptr);
    EXPECT_EQ(State.UsedBytes, Used);
    EXPECT_EQ(OsCalls.HeapLive(), Heap);
    EXPECT_EQ(OsCalls.MappedLive(), Mapped);
    std::memcpy(P - 4, &S, 4);
    Free(P);
  }
}

TEST_F(PooledManager, RefusedReallocationLeavesTheOldBlock) {
  char* P = static_cast<char*>(Get(50));
  std::memcpy(P, "keep", 5);
  OsCalls.RefuseHeapAllocIn = 0;  // the 1000-byte class needs a new chunk
  EXPECT_EQ(memmgr::PooledReallocMem(State, P, 1000), nullptr);
  EXPECT_STREQ(P, "keep");
  EXPECT_EQ(State.UsedBytes, 64u);
}

TEST(PooledManagerSetUp, MissingHeapFailsAndIsRetriedLater) {
  OsCalls = {};
  TMemState State{&CountingOS};
  OsCalls.NoHeap = true;
  EXPECT_EQ(memmgr::PooledGetMem(State, 10), nullptr);
  EXPECT_FALSE(State.Initialized);
  OsCalls.NoHeap = false;
  OsCalls.RefuseReserveIn = 0;  // the manager itself is refused
  EXPECT_EQ(memmgr::PooledGetMem(State, 10), nullptr);
  EXPECT_FALSE(State.Initialized);
  EXPECT_EQ(OsCalls.MappedLive(), 0);
  void* P = memmgr::PooledGetMem(State, 10);
  ASSERT_NE(P, nullptr);
  EXPECT_EQ(memmgr::PooledFreeMem(State, P), 0);
  memmgr::PooledShutdown(State);
  EXPECT_TRUE(State.ManagerFreed);
  EXPECT_EQ(OsCalls.HeapLive() + OsCalls.MappedLive(), 0);
}

// ---- shutdown ----

TEST(PooledManagerShutdown, ManagerOutlivesShutdownUntilTheLastRelease) {
  OsCalls = {};
  TMemState State{&CountingOS};
  void* A = memmgr::PooledGetMem(State, 10);
  void* B = memmgr::PooledGetMem(State, 30000);
  memmgr::PooledShutdown(State);
  EXPECT_TRUE(State.ShutdownRequested);
  EXPECT_FALSE(State.ManagerFreed);
  EXPECT_EQ(memmgr::PooledFreeMem(State, A), 0);
  EXPECT_FALSE(State.ManagerFreed);
  EXPECT_EQ(memmgr::PooledFreeMem(State, B), 0);
  EXPECT_TRUE(State.ManagerFreed);
  EXPECT_EQ(State.Manager, nullptr);
  EXPECT_EQ(OsCalls.HeapLive() + OsCalls.MappedLive(), 0);

  // Afterwards: plain OS blocks with the size itself before the address.
  char* P = static_cast<char*>(memmgr::PooledGetMem(State, 5));
  ASSERT_NE(P, nullptr);
  EXPECT_EQ(WordBefore(P), 5u);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(P) % 16, 0u);
  std::memcpy(P, "abcde", 5);
  char* Q = static_cast<char*>(memmgr::PooledReallocMem(State, P, 3));
  ASSERT_NE(Q, nullptr);
  EXPECT_EQ(std::memcmp(Q, "abc", 3), 0);
  EXPECT_EQ(memmgr::PooledFreeMem(State, Q), 0);
  EXPECT_EQ(OsCalls.HeapLive() + OsCalls.MappedLive(), 0);
}

TEST(PooledManagerShutdown, NothingOutFreesTheManagerAtOnce) {
  OsCalls = {};
  TMemState State{&CountingOS};
  memmgr::PooledFreeMem(State, memmgr::PooledGetMem(State, 100));
  memmgr::PooledShutdown(State);
  EXPECT_TRUE(State.ManagerFreed);
  EXPECT_EQ(OsCalls.HeapLive() + OsCalls.MappedLive(), 0);
}

}  // namespace

// ---- the system's own layer ----

// Large blocks sit on 2 MiB boundaries (so that the kernel can back them with huge pages), are
// usable to their last byte, and leave nothing mapped behind once released, also where their
// mapping was rounded up to whole huge pages beyond the size asked for.
TEST(SystemOSLayer, LargeBlocksAreAlignedUsableAndWhollyReleased) {
  constexpr std::size_t Huge = std::size_t{2} << 20;
  struct TCase {
    std::size_t Size;
    std::size_t Span;  // bytes from the block's start that must be unmapped after the release
  };
  if (testsupport::OnWindows()) {
    GTEST_SKIP() << "huge-page placement is the POSIX layer's; Windows reserves in 64 KiB units";
  }
  const memmgr::TOSLayer& Os = memmgr::SystemOSLayer;
  for (const TCase C :
       {TCase{65552, 69632}, TCase{Huge, Huge},
        TCase{4 * Huge - 50000, 4 * Huge},  // a band a little short of 8 MiB
        TCase{3 * Huge / 2, 3 * Huge / 2}, TCase{3 * Huge + 16, 3 * Huge + 4096}}) {
    SCOPED_TRACE(C.Size);
    auto* P = static_cast<unsigned char*>(Os.Reserve(C.Size));
    ASSERT_NE(P, nullptr);
    ASSERT_TRUE(Os.Commit(P, C.Size));
    if (C.Size >= Huge) {
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(P) % Huge, 0u);
    }
    P[0] = 1;
    P[C.Size - 1] = 2;
    EXPECT_EQ(P[0] + P[C.Size - 1], 3);
    ASSERT_TRUE(Os.Release(P, C.Size));
    for (std::size_t At = 0; At < C.Span; At += 4096) {
      if (testsupport::PageMapped(P + At)) {
        ADD_FAILURE() << "page at offset " << At << " is still mapped";
        break;
      }
    }
  }
}
