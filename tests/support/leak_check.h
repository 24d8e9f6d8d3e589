#pragma once

// A fixture for tests of the picture framework and what is built on it: every test ends with
// as many live palette handles and pixel blocks as it started with, and with the fault
// injectors and the default surface depth put back.

#include <gtest/gtest.h>

#include "platform/graphics.h"

namespace testsupport {

class GdiLeakCheckedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FPalettes = LivePaletteCount();
    FBlocks = LiveBitmapBlocks();
  }
  void TearDown() override {
    SetBitmapAllocFailCountdown(0);
    SetBlitFailCountdown(0);
    SetDefaultDeviceBitsPixel(32);
    EXPECT_EQ(LivePaletteCount(), FPalettes) << "palette handles leaked or freed twice";
    EXPECT_EQ(LiveBitmapBlocks(), FBlocks) << "pixel blocks leaked";
  }

 private:
  int FPalettes = 0;
  int FBlocks = 0;
};

}  // namespace testsupport
