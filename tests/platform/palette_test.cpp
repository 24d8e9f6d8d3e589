#include <gtest/gtest.h>

#include "pixel_helpers.h"
#include "platform/graphics.h"

namespace {

using PaletteTest = PlatformTest;

TEST_F(PaletteTest, CreateCopyAndDeleteKeepTheLiveCount) {
  const int Start = LivePaletteCount();
  const HPALETTE A = pixels::PaletteOf({0x112233, 0x445566});
  ASSERT_NE(A, 0u);
  EXPECT_EQ(LivePaletteCount(), Start + 1);

  const HPALETTE B = CopyPalette(A);
  ASSERT_NE(B, 0u);
  EXPECT_NE(B, A);
  EXPECT_EQ(LivePaletteCount(), Start + 2);

  EXPECT_TRUE(DeleteObject(A));
  EXPECT_FALSE(DeleteObject(A)) << "a handle is freed once";
  EXPECT_EQ(GetPaletteEntries(A, 0, 2, nullptr), 0u) << "a freed handle has no entries";

  PALETTEENTRY E[2] = {};
  ASSERT_EQ(GetPaletteEntries(B, 0, 2, E), 2u) << "the copy outlives its original";
  EXPECT_EQ(E[1].peRed, 0x44);
  EXPECT_EQ(E[1].peGreen, 0x55);
  EXPECT_EQ(E[1].peBlue, 0x66);
  EXPECT_TRUE(DeleteObject(B));
  EXPECT_EQ(LivePaletteCount(), Start);
}

TEST_F(PaletteTest, EntryReadBackHonoursStartAndCount) {
  const HPALETTE P = pixels::PaletteOf({0x000001, 0x000002, 0x000003});
  EXPECT_EQ(GetPaletteEntries(P, 0, 0, nullptr), 3u) << "no buffer asks for the entry count";
  PALETTEENTRY E[3] = {};
  EXPECT_EQ(GetPaletteEntries(P, 1, 10, E), 2u);
  EXPECT_EQ(E[0].peBlue, 2);
  EXPECT_EQ(E[1].peBlue, 3);
  EXPECT_EQ(GetPaletteEntries(P, 3, 1, E), 0u);
  DeleteObject(P);
}

}  // namespace
