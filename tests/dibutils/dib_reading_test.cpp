#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "dibutils/dibutils.h"
#include "platform/exceptions.h"
#include "platform/streams.h"
#include "support/bmp_builder.h"

namespace {

using testsupport::BmpLayout;
using testsupport::BuildBmp;
using testsupport::ByteWriter;
using testsupport::GreyColors;
using Bytes = std::vector<std::uint8_t>;

// A memory stream holding Data, positioned at Start.
void Fill(TMemoryStream& s, const Bytes& Data, std::int64_t Start = 0) {
  s.WriteBuffer(Data.data(), static_cast<std::int32_t>(Data.size()));
  s.SetPosition(Start);
}

TSepDIB Load(const Bytes& File) {
  TMemoryStream s;
  Fill(s, File);
  TSepDIB dib;
  LoadDIBFromStream(dib, s);
  return dib;
}

Bytes BitsOf(const TSepDIB& d) {
  return Bytes(d.Bits.Data(), d.Bits.Data() + d.Bits.Length());
}

std::vector<PALETTEENTRY> PaletteOf(const TSepDIB& d) {
  const HPALETTE p = CreateDIBPalette(d);
  const std::uint32_t n = GetPaletteEntries(p, 0, 0, nullptr);
  std::vector<PALETTEENTRY> e(n);
  if (n) GetPaletteEntries(p, 0, n, e.data());
  DeleteObject(p);
  return e;
}

// ---- colour tables ---------------------------------------------------------------------------

struct ColorCountCase {
  const char* name;
  std::uint16_t bits;
  std::uint32_t clr_used;  // as written in the file
  int entries_in_file;     // colour entries present before the pixels
  std::uint32_t expected_clr_used;
};

class ColorCount : public testing::TestWithParam<ColorCountCase> {};

TEST_P(ColorCount, ReadsTheRightNumberOfEntriesAndSkipsTheRestThroughTheOffset) {
  const ColorCountCase& c = GetParam();
  BmpLayout s;
  s.width = 4;
  s.height = 1;
  s.bit_count = c.bits;
  s.clr_used = c.clr_used;
  s.colors = GreyColors(c.entries_in_file);
  s.pixels = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2};
  const TSepDIB d = Load(BuildBmp(s));
  EXPECT_EQ(d.Header.biClrUsed, c.expected_clr_used);
  EXPECT_EQ(d.Header.biSize, 40u);
  EXPECT_EQ(BitsOf(d), s.pixels);
  const std::vector<PALETTEENTRY> pal = PaletteOf(d);
  ASSERT_EQ(pal.size(), c.expected_clr_used);
  for (std::size_t i = 0; i < pal.size(); ++i) {
    EXPECT_EQ(pal[i].peRed, i % 256) << i;
    EXPECT_EQ(pal[i].peBlue, i % 256) << i;
    EXPECT_EQ(pal[i].peFlags, 0) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Table, ColorCount,
                         testing::ValuesIn(std::vector<ColorCountCase>{
                             {"Bit8Default", 8, 0, 256, 256},
                             {"Bit8Sixteen", 8, 16, 16, 16},
                             {"Bit8Thousand", 8, 1000, 1000, 256},
                             {"Bit4Default", 4, 0, 16, 16},
                             {"Bit1Default", 1, 0, 2, 2},
                             {"Bit24None", 24, 0, 0, 0},
                             {"Bit24WithTable", 24, 3, 3, 3},
                         }),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LoadDIBFromStream, SixteenColoursLeaveTheRestOfTheTableUntouched) {
  BmpLayout s;
  s.clr_used = 16;
  s.colors = GreyColors(16);
  s.pixels = {0xAA, 0xBB, 0xCC, 0xDD};
  const TSepDIB d = Load(BuildBmp(s));
  EXPECT_EQ(d.Colors()[15].rgbGreen, 15);
  for (int i = 16; i < 256; ++i) ASSERT_EQ(d.Colors()[i].rgbRed, 0) << i;
}

// ---- bit-field masks -------------------------------------------------------------------------

struct MaskCase {
  const char* name;
  std::uint32_t header_size;
  std::uint16_t bits;
};

class BitFieldMasks : public testing::TestWithParam<MaskCase> {};

TEST_P(BitFieldMasks, LandOnTheMaskSlotsAndColoursFollowThem) {
  const MaskCase& c = GetParam();
  BmpLayout s;
  s.width = 2;
  s.height = 1;
  s.bit_count = c.bits;
  s.compression = BI_BITFIELDS;
  s.header_size = c.header_size;
  s.masks = {0xF800, 0x07E0, 0x001F};
  s.clr_used = 2;
  s.colors = {1, 2, 3, 0, 4, 5, 6, 0};
  s.pixels = Bytes(c.bits == 16 ? 4 : 8, 0x5A);
  const TSepDIB d = Load(BuildBmp(s));
  EXPECT_EQ(d.Mask(0), 0xF800u);
  EXPECT_EQ(d.Mask(1), 0x07E0u);
  EXPECT_EQ(d.Mask(2), 0x001Fu);
  EXPECT_EQ(d.Header.biSize, 40u);
  EXPECT_EQ(d.Header.biClrUsed, 2u);
  EXPECT_EQ(d.Colors()[1].rgbRed, 6);
  EXPECT_EQ(BitsOf(d), s.pixels);
}

INSTANTIATE_TEST_SUITE_P(Table, BitFieldMasks,
                         testing::ValuesIn(std::vector<MaskCase>{
                             {"After40ByteHeader16", 40, 16},
                             {"After40ByteHeader32", 40, 32},
                             {"Inside52ByteHeader", 52, 16},
                             {"Inside56ByteHeader", 56, 32},
                             {"InsideV4Header", 108, 16},
                             {"InsideV5Header", 124, 32},
                         }),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LoadDIBFromStream, BitFieldsWithA40ByteHeaderReadExactlyTheMasksWhenNoColours) {
  BmpLayout s;
  s.width = 2;
  s.bit_count = 16;
  s.compression = BI_BITFIELDS;
  s.masks = {0x7C00, 0x03E0, 0x001F};
  s.pixels = {0x11, 0x22, 0x33, 0x44};
  // Only the 4 pixel bytes follow the masks: a reader taking more than 12 bytes would fail.
  const TSepDIB d = Load(BuildBmp(s));
  EXPECT_EQ(d.Header.biClrUsed, 0u);
  EXPECT_EQ(d.Mask(2), 0x001Fu);
  EXPECT_EQ(d.Colors()[0].rgbBlue, 0);
  EXPECT_EQ(BitsOf(d), s.pixels);
}

// ---- core headers, positions, header sizes ---------------------------------------------------

TEST(LoadDIBFromStream, CoreHeaderBecomesAnInfoHeaderWithFourByteColours) {
  BmpLayout s;
  s.header_size = 12;
  s.width = 3;
  s.height = 2;
  s.bit_count = 1;
  s.colors = {10, 20, 30, 40, 50, 60};
  s.pixels = Bytes(8, 0x80);
  const TSepDIB d = Load(BuildBmp(s));
  EXPECT_EQ(d.Header.biSize, 40u);
  EXPECT_EQ(d.Header.biWidth, 3);
  EXPECT_EQ(d.Header.biHeight, 2);
  EXPECT_EQ(d.Header.biBitCount, 1);
  EXPECT_EQ(d.Header.biCompression, BI_RGB);
  EXPECT_EQ(d.Header.biXPelsPerMeter, 3780);
  EXPECT_EQ(d.Header.biYPelsPerMeter, 3780);
  EXPECT_EQ(d.Header.biClrUsed, 2u);
  const RGBQUAD* c = d.Colors();
  EXPECT_EQ(c[0].rgbBlue, 10);
  EXPECT_EQ(c[0].rgbRed, 30);
  EXPECT_EQ(c[1].rgbBlue, 40);
  EXPECT_EQ(c[1].rgbGreen, 50);
  EXPECT_EQ(c[1].rgbRed, 60);
  EXPECT_EQ(c[1].rgbReserved, 0);
  EXPECT_EQ(BitsOf(d), s.pixels);
}

TEST(LoadDIBFromStream, CoreHeaderHeightIsUnsignedAndTwentyFourBitsHaveNoColours) {
  BmpLayout s;
  s.header_size = 12;
  s.width = 1;
  s.height = 0x8001;  // top bit set: still bottom-up
  s.bit_count = 24;
  s.pixels = {1, 2, 3, 0};
  const TSepDIB d = Load(BuildBmp(s));
  EXPECT_EQ(d.Header.biHeight, 0x8001);
  EXPECT_EQ(d.Header.biClrUsed, 0u);
  EXPECT_EQ(BitsOf(d), s.pixels);
}

TEST(LoadDIBFromStream, PositionsCountFromWhereTheFileStartsInTheStream) {
  BmpLayout s;
  s.width = 4;
  s.clr_used = 2;
  s.colors = GreyColors(2);
  s.off_bits = 100;  // a gap before the pixels
  s.pixels = {1, 2, 3, 4};
  Bytes stream(37, 0xEE);
  const Bytes file = BuildBmp(s);
  stream.insert(stream.end(), file.begin(), file.end());
  stream.insert(stream.end(), 20, 0xEE);
  TMemoryStream m;
  Fill(m, stream, 37);
  TSepDIB d;
  LoadDIBFromStream(d, m);
  EXPECT_EQ(BitsOf(d), s.pixels);
  EXPECT_EQ(m.GetPosition(), 37 + 104);
}

TEST(LoadDIBFromStream, OffsetPointingBackIntoTheTablesIsHonoured) {
  BmpLayout s;
  s.width = 4;
  s.clr_used = 2;
  s.colors = {1, 2, 3, 4, 5, 6, 7, 8};
  s.off_bits = 54 + 4;  // the second colour entry doubles as pixel data
  s.file_size = 54 + 8;
  const TSepDIB d = Load(BuildBmp(s));
  EXPECT_EQ(BitsOf(d), (Bytes{5, 6, 7, 8}));
}

TEST(LoadDIBFromStream, EqualSizeAndOffsetGiveEmptyBits) {
  BmpLayout s;
  s.colors = GreyColors(256);
  const TSepDIB d = Load(BuildBmp(s));
  EXPECT_EQ(d.Bits.Length(), 0);
}

TEST(LoadDIBFromStream, SurplusOfAHeaderLongerThanTheRecordIsSkipped) {
  BmpLayout s;
  s.header_size = 1500;
  s.width = 4;
  s.clr_used = 2;
  s.colors = {1, 2, 3, 0, 4, 5, 6, 0};
  s.pixels = {0, 1, 1, 0};
  const TSepDIB d = Load(BuildBmp(s));
  EXPECT_EQ(d.Header.biSize, 40u);
  EXPECT_EQ(d.Colors()[1].rgbRed, 6);
  EXPECT_EQ(BitsOf(d), s.pixels);
}

// ---- failures ----------------------------------------------------------------------------------

template <typename E>
std::string MessageOf(const Bytes& File) {
  try {
    Load(File);
  } catch (const E& e) {
    return e.what();
  } catch (const std::exception& e) {
    return std::string("wrong exception: ") + e.what();
  }
  return "no exception";
}

BmpLayout Small() {
  BmpLayout s;
  s.width = 4;
  s.clr_used = 2;
  s.colors = GreyColors(2);
  s.pixels = {1, 2, 3, 4};
  return s;
}

TEST(LoadDIBFromStream, RejectsMalformedHeadersWithTheirMessages) {
  Bytes f = BuildBmp(Small());
  f[1] = 'X';
  EXPECT_EQ(MessageOf<EDIBUtilsError>(f), "LoadDIBFromStream: File type is invalid");

  BmpLayout s = Small();
  s.header_size = 20;
  EXPECT_EQ(MessageOf<EDIBUtilsError>(BuildBmp(s)),
            "LoadDIBFromStream: Invalid Bitmap Header Size");
  for (std::uint16_t bits : {0, 2, 3, 15, 48}) {
    s = Small();
    s.bit_count = bits;
    EXPECT_EQ(MessageOf<EDIBUtilsError>(BuildBmp(s)), "LoadDIBFromStream: Invalid BitCout") << bits;
  }
  for (std::uint16_t bits : {2, 16, 32}) {
    s = Small();
    s.header_size = 12;
    s.bit_count = bits;
    EXPECT_EQ(MessageOf<EDIBUtilsError>(BuildBmp(s)), "TBigBitmap.LoadFromStream: Invalid BitCount")
        << bits;
  }
}

TEST(LoadDIBFromStream, StreamEndingEarlyFailsWithTheReadError) {
  const Bytes full = BuildBmp(Small());
  for (std::size_t cut : {std::size_t{0}, std::size_t{10}, std::size_t{14}, std::size_t{30},
                          std::size_t{55}, full.size() - 1}) {
    const Bytes f(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(cut));
    EXPECT_EQ(MessageOf<EReadError>(f), "ストリームからの読み込みエラー") << cut;
  }
}

TEST(LoadDIBFromStream, HugeClaimedPixelLengthFailsWithTheReadErrorBeforeAllocating) {
  BmpLayout s = Small();
  s.file_size = 0x7FFFFFF0;  // about 2 GB claimed, a few bytes held
  EXPECT_EQ(MessageOf<EReadError>(BuildBmp(s)), "ストリームからの読み込みエラー");
  s.file_size = 0xFFFFFFF0;  // wraps to a negative length
  s.off_bits = 0x40;
  EXPECT_EQ(MessageOf<ERangeError>(BuildBmp(s)), "範囲チェックエラー");
}

TEST(LoadDIBFromStream, SizeBelowOffsetIsARangeError) {
  BmpLayout s = Small();
  s.file_size = 20;
  EXPECT_EQ(MessageOf<ERangeError>(BuildBmp(s)), "範囲チェックエラー");
}

// ---- mask shifts and the 16/32-bit conversion -----------------------------------------------

TEST(GetMaskShift, MovesTheTopBitToBitSeven) {
  const std::vector<std::pair<std::uint32_t, int>> table = {
      {0x7C00, 7}, {0x03E0, 2}, {0x001F, -3}, {0xFF0000, 16},   {0xF800, 8},
      {0x07E0, 3}, {0x80, 0},   {0x1, -7},    {0xFFFFFFFF, 24}, {0x3FF00000, 22}};
  for (const auto& [mask, shift] : table) EXPECT_EQ(GetMaskShift(mask), shift) << mask;
}

TSepDIB BitFieldDIB(std::uint16_t bits, std::uint32_t compression, std::int32_t width,
                    std::int32_t height, const Bytes& pixels,
                    std::vector<std::uint32_t> masks = {}) {
  TSepDIB d;
  d.Header.biSize = 40;
  d.Header.biWidth = width;
  d.Header.biHeight = height;
  d.Header.biPlanes = 1;
  d.Header.biBitCount = bits;
  d.Header.biCompression = compression;
  d.Header.biSizeImage = 1234;
  d.Header.biXPelsPerMeter = 77;
  for (std::size_t i = 0; i < masks.size(); ++i) std::memcpy(d.Tables + 4 * i, &masks[i], 4);
  d.Bits.SetLength(static_cast<std::int64_t>(pixels.size()));
  std::memcpy(d.Bits.Data(), pixels.data(), pixels.size());
  return d;
}

TEST(ConvertBitFieldsTo24BitRGB, DefaultSixteenBitMasksScaleFiveBitsToBytes) {
  // 0x7FFF white, then red 1, green 16, blue 31 -> 8, 131, 255; row padded to 8 bytes.
  const std::uint16_t p1 = 0x7FFF, p2 = (1 << 10) | (16 << 5) | 31, p3 = 0x8000;
  Bytes px = {static_cast<std::uint8_t>(p1),
              static_cast<std::uint8_t>(p1 >> 8),
              static_cast<std::uint8_t>(p2),
              static_cast<std::uint8_t>(p2 >> 8),
              static_cast<std::uint8_t>(p3),
              static_cast<std::uint8_t>(p3 >> 8),
              0xFF,
              0xFF};
  const TSepDIB src = BitFieldDIB(16, BI_RGB, 3, -1, px);
  TSepDIB dst;
  ConvertBitFieldsTo24BitRGB(src, dst);
  EXPECT_EQ(BitsOf(dst), (Bytes{255, 255, 255, 255, 131, 8, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(dst.Header.biBitCount, 24);
  EXPECT_EQ(dst.Header.biCompression, BI_RGB);
  EXPECT_EQ(dst.Header.biSizeImage, 0u);
  EXPECT_EQ(dst.Header.biHeight, -1);  // the row order carries over
  EXPECT_EQ(dst.Header.biXPelsPerMeter, 77);
}

TEST(ConvertBitFieldsTo24BitRGB, ThirtyTwoBitDefaultIgnoresTheTopByteAndKeepsRowOrder) {
  const Bytes px = {0x10, 0x20, 0x30, 0xFF, 0x01, 0x02, 0x03, 0x99};
  const TSepDIB src = BitFieldDIB(32, BI_RGB, 1, 2, px);
  TSepDIB dst;
  ConvertBitFieldsTo24BitRGB(src, dst);
  EXPECT_EQ(BitsOf(dst), (Bytes{0x10, 0x20, 0x30, 0, 0x01, 0x02, 0x03, 0}));
}

TEST(ConvertBitFieldsTo24BitRGB, ExplicitMasksAreUsedAndColoursMoveBehindTheHeader) {
  // 5-6-5: pure green and a mid grey.
  const std::uint16_t g = 0x07E0, m = (16 << 11) | (32 << 5) | 16;
  const Bytes px = {static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(g >> 8),
                    static_cast<std::uint8_t>(m), static_cast<std::uint8_t>(m >> 8)};
  TSepDIB src = BitFieldDIB(16, BI_BITFIELDS, 2, 1, px, {0xF800, 0x07E0, 0x001F});
  src.Header.biClrUsed = 1;
  src.Tables[12] = 0xAB;  // first colour entry behind the masks
  TSepDIB dst;
  ConvertBitFieldsTo24BitRGB(src, dst);
  EXPECT_EQ(BitsOf(dst), (Bytes{0, 255, 0, 131, 129, 131, 0, 0}));
  EXPECT_EQ(dst.Tables[0], 0xAB);
  EXPECT_EQ(dst.Colors()[0].rgbBlue, 0xAB);
  EXPECT_EQ(dst.Header.biClrUsed, 1u);
}

TEST(ConvertBitFieldsTo24BitRGB, RejectsZeroMasksAndMissingRowsWithoutTouchingDst) {
  TSepDIB dst;
  dst.Header.biWidth = 99;
  const TSepDIB zero = BitFieldDIB(32, BI_BITFIELDS, 1, 1, Bytes(4), {0xFF0000, 0, 0xFF});
  try {
    ConvertBitFieldsTo24BitRGB(zero, dst);
    FAIL();
  } catch (const EDIBUtilsError& e) {
    EXPECT_STREQ(e.what(), "TBigBitmap.LoadFromStream: Invalid Masks");
  }
  const TSepDIB shortRows = BitFieldDIB(16, BI_RGB, 3, 2, Bytes(12));
  EXPECT_THROW(ConvertBitFieldsTo24BitRGB(shortRows, dst), EDIBUtilsError);
  EXPECT_EQ(dst.Header.biWidth, 99);
}

}  // namespace
