#include <gtest/gtest.h>

#include "pixel_helpers.h"
#include "platform/graphics.h"

namespace {

using PaletteTest = PlatformTest;

TEST_F(PaletteTest, CreateCopyAndDeleteKeepTheLiveCount) {
  const int start = LivePaletteCount();
  const HPALETTE a = pixels::PaletteOf({0x112233, 0x445566});
  ASSERT_NE(a, 0u);
  EXPECT_EQ(LivePaletteCount(), start + 1);

  const HPALETTE b = CopyPalette(a);
  ASSERT_NE(b, 0u);
  EXPECT_NE(b, a);
  EXPECT_EQ(LivePaletteCount(), start + 2);

  EXPECT_TRUE(DeleteObject(a));
  EXPECT_FALSE(DeleteObject(a)) << "a handle is freed once";
  EXPECT_EQ(GetPaletteEntries(a, 0, 2, nullptr), 0u) << "a freed handle has no entries";

  PALETTEENTRY e[2] = {};
  ASSERT_EQ(GetPaletteEntries(b, 0, 2, e), 2u) << "the copy outlives its original";
  EXPECT_EQ(e[1].peRed, 0x44);
  EXPECT_EQ(e[1].peGreen, 0x55);
  EXPECT_EQ(e[1].peBlue, 0x66);
  EXPECT_TRUE(DeleteObject(b));
  EXPECT_EQ(LivePaletteCount(), start);
}

TEST_F(PaletteTest, EntryReadBackHonoursStartAndCount) {
  const HPALETTE p = pixels::PaletteOf({0x000001, 0x000002, 0x000003});
  EXPECT_EQ(GetPaletteEntries(p, 0, 0, nullptr), 3u) << "no buffer asks for the entry count";
  PALETTEENTRY e[3] = {};
  EXPECT_EQ(GetPaletteEntries(p, 1, 10, e), 2u);
  EXPECT_EQ(e[0].peBlue, 2);
  EXPECT_EQ(e[1].peBlue, 3);
  EXPECT_EQ(GetPaletteEntries(p, 3, 1, e), 0u);
  DeleteObject(p);
}

}  // namespace
