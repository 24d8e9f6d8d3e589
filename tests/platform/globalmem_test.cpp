#include "platform/globalmem.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

class GlobalMemory : public ::testing::Test {
 protected:
  void TearDown() override {
    SetGlobalAllocFailCountdown(0);
    SetGlobalLockFailCountdown(0);
    EXPECT_EQ(LiveGlobalBlocks(), live_);
  }
  int live_ = LiveGlobalBlocks();
};

TEST_F(GlobalMemory, BlockKeepsItsBytesAcrossLocksAndItsHandleDiesWithIt) {
  const HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, 100);
  ASSERT_NE(h, 0u);
  EXPECT_EQ(GlobalSize(h), 100u);
  std::memset(GlobalLock(h), 0x5A, 100);
  EXPECT_FALSE(GlobalUnlock(h));
  const auto* p = static_cast<const std::uint8_t*>(GlobalLock(h));
  EXPECT_EQ(p[99], 0x5A);
  GlobalUnlock(h);

  EXPECT_EQ(GlobalFree(h), 0u);
  EXPECT_EQ(GlobalSize(h), 0u);
  EXPECT_EQ(GlobalLock(h), nullptr);
  EXPECT_EQ(GlobalFree(h), h) << "a second free must be refused";
  const HGLOBAL next = GlobalAlloc(GMEM_MOVEABLE, 4);
  EXPECT_NE(next, h) << "a freed handle must not come back";
  GlobalFree(next);
  for (HGLOBAL bad : {HGLOBAL{0}, HGLOBAL{0x7}}) {
    EXPECT_EQ(GlobalSize(bad), 0u);
    EXPECT_EQ(GlobalLock(bad), nullptr);
    EXPECT_FALSE(GlobalUnlock(bad));
  }
}

TEST_F(GlobalMemory, LocksAreCountedAndEmptyBlocksCannotBeLocked) {
  const HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, 8);
  void* const bytes = GlobalLock(h);
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(GlobalLock(h), bytes);
  EXPECT_EQ(GlobalLockCount(h), 2);
  EXPECT_TRUE(GlobalUnlock(h));
  EXPECT_FALSE(GlobalUnlock(h));
  EXPECT_FALSE(GlobalUnlock(h)) << "unlocking an unlocked block changes nothing";
  EXPECT_EQ(GlobalLockCount(h), 0);
  GlobalFree(h);

  const HGLOBAL empty = GlobalAlloc(GMEM_MOVEABLE, 0);
  ASSERT_NE(empty, 0u);
  EXPECT_EQ(GlobalLock(empty), nullptr);
  GlobalFree(empty);
}

TEST_F(GlobalMemory, NewBytesAreZeroOnlyWhenAskedFor) {
  const HGLOBAL zeroed = GlobalAlloc(GHND, 16);
  const HGLOBAL filled = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, 16);
  const auto* z = static_cast<const std::uint8_t*>(GlobalLock(zeroed));
  const auto* f = static_cast<const std::uint8_t*>(GlobalLock(filled));
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(z[i], 0);
    EXPECT_EQ(f[i], kGlobalFillByte);
  }
  GlobalFree(zeroed);
  GlobalFree(filled);
}

TEST_F(GlobalMemory, FaultInjectorsFailExactlyTheCountedCallOnce) {
  SetGlobalAllocFailCountdown(2);
  const HGLOBAL first = GlobalAlloc(GMEM_MOVEABLE, 4);
  EXPECT_NE(first, 0u);
  EXPECT_EQ(GlobalAlloc(GMEM_MOVEABLE, 4), 0u);
  const HGLOBAL third = GlobalAlloc(GMEM_MOVEABLE, 4);
  EXPECT_NE(third, 0u);

  SetGlobalLockFailCountdown(1);
  EXPECT_EQ(GlobalLock(first), nullptr);
  EXPECT_EQ(GlobalLockCount(first), 0) << "a failed lock must not count";
  EXPECT_NE(GlobalLock(first), nullptr);
  GlobalFree(first);
  GlobalFree(third);
}

}  // namespace
