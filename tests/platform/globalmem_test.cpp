#include "platform/globalmem.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

class GlobalMemory : public ::testing::Test {
 protected:
  void TearDown() override {
    SetGlobalAllocFailCountdown(0);
    SetGlobalLockFailCountdown(0);
    EXPECT_EQ(LiveGlobalBlocks(), Live);
  }
  int Live = LiveGlobalBlocks();
};

TEST_F(GlobalMemory, BlockKeepsItsBytesAcrossLocksAndItsHandleDiesWithIt) {
  const HGLOBAL H = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, 100);
  ASSERT_NE(H, 0u);
  EXPECT_EQ(GlobalSize(H), 100u);
  std::memset(GlobalLock(H), 0x5A, 100);
  EXPECT_FALSE(GlobalUnlock(H));
  const auto* P = static_cast<const std::uint8_t*>(GlobalLock(H));
  EXPECT_EQ(P[99], 0x5A);
  GlobalUnlock(H);

  EXPECT_EQ(GlobalFree(H), 0u);
  EXPECT_EQ(GlobalSize(H), 0u);
  EXPECT_EQ(GlobalLock(H), nullptr);
  EXPECT_EQ(GlobalFree(H), H) << "a second free must be refused";
  const HGLOBAL Next = GlobalAlloc(GMEM_MOVEABLE, 4);
  EXPECT_NE(Next, H) << "a freed handle must not come back";
  GlobalFree(Next);
  for (HGLOBAL Bad : {HGLOBAL{0}, HGLOBAL{0x7}}) {
    EXPECT_EQ(GlobalSize(Bad), 0u);
    EXPECT_EQ(GlobalLock(Bad), nullptr);
    EXPECT_FALSE(GlobalUnlock(Bad));
  }
}

TEST_F(GlobalMemory, LocksAreCountedAndEmptyBlocksCannotBeLocked) {
  const HGLOBAL H = GlobalAlloc(GMEM_MOVEABLE, 8);
  void* const Bytes = GlobalLock(H);
  ASSERT_NE(Bytes, nullptr);
  EXPECT_EQ(GlobalLock(H), Bytes);
  EXPECT_EQ(GlobalLockCount(H), 2);
  EXPECT_TRUE(GlobalUnlock(H));
  EXPECT_FALSE(GlobalUnlock(H));
  EXPECT_FALSE(GlobalUnlock(H)) << "unlocking an unlocked block changes nothing";
  EXPECT_EQ(GlobalLockCount(H), 0);
  GlobalFree(H);

  const HGLOBAL Empty = GlobalAlloc(GMEM_MOVEABLE, 0);
  ASSERT_NE(Empty, 0u);
  EXPECT_EQ(GlobalLock(Empty), nullptr);
  GlobalFree(Empty);
}

TEST_F(GlobalMemory, NewBytesAreZeroOnlyWhenAskedFor) {
  const HGLOBAL Zeroed = GlobalAlloc(GHND, 16);
  const HGLOBAL Filled = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, 16);
  const auto* Z = static_cast<const std::uint8_t*>(GlobalLock(Zeroed));
  const auto* F = static_cast<const std::uint8_t*>(GlobalLock(Filled));
  for (int I = 0; I < 16; ++I) {
    EXPECT_EQ(Z[I], 0);
    EXPECT_EQ(F[I], GlobalFillByte);
  }
  GlobalFree(Zeroed);
  GlobalFree(Filled);
}

TEST_F(GlobalMemory, FaultInjectorsFailExactlyTheCountedCallOnce) {
  SetGlobalAllocFailCountdown(2);
  const HGLOBAL First = GlobalAlloc(GMEM_MOVEABLE, 4);
  EXPECT_NE(First, 0u);
  EXPECT_EQ(GlobalAlloc(GMEM_MOVEABLE, 4), 0u);
  const HGLOBAL Third = GlobalAlloc(GMEM_MOVEABLE, 4);
  EXPECT_NE(Third, 0u);

  SetGlobalLockFailCountdown(1);
  EXPECT_EQ(GlobalLock(First), nullptr);
  EXPECT_EQ(GlobalLockCount(First), 0) << "a failed lock must not count";
  EXPECT_NE(GlobalLock(First), nullptr);
  GlobalFree(First);
  GlobalFree(Third);
}

}  // namespace
