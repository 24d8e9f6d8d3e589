#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "dibutils/dibutils.h"
#include "platform/exceptions.h"
#include "platform/streams.h"
#include "support/bmp_builder.h"

namespace {

using testsupport::TBmpLayout;
using testsupport::BuildBmp;
using testsupport::TByteWriter;
using testsupport::GreyColors;
using Bytes = std::vector<std::uint8_t>;

// A memory stream holding Data, positioned at Start.
void Fill(TMemoryStream& S, const Bytes& Data, std::int64_t Start = 0) {
  S.WriteBuffer(Data.data(), static_cast<std::int32_t>(Data.size()));
  S.SetPosition(Start);
}

TSepDIB Load(const Bytes& File) {
  TMemoryStream S;
  Fill(S, File);
  TSepDIB Dib;
  LoadDIBFromStream(Dib, S);
  return Dib;
}

Bytes BitsOf(const TSepDIB& D) {
  return Bytes(D.Bits.Data(), D.Bits.Data() + D.Bits.Length());
}

std::vector<PALETTEENTRY> PaletteOf(const TSepDIB& D) {
  const HPALETTE P = CreateDIBPalette(D);
  const std::uint32_t N = GetPaletteEntries(P, 0, 0, nullptr);
  std::vector<PALETTEENTRY> E(N);
  if (N) GetPaletteEntries(P, 0, N, E.data());
  DeleteObject(P);
  return E;
}

// ---- colour tables ---------------------------------------------------------------------------

struct TColorCountCase {
  const char* Name;
  std::uint16_t Bits;
  std::uint32_t ClrUsed;  // as written in the file
  int EntriesInFile;     // colour entries present before the pixels
  std::uint32_t ExpectedClrUsed;
};

class ColorCount : public testing::TestWithParam<TColorCountCase> {};

TEST_P(ColorCount, ReadsTheRightNumberOfEntriesAndSkipsTheRestThroughTheOffset) {
  const TColorCountCase& C = GetParam();
  TBmpLayout S;
  S.Width = 4;
  S.Height = 1;
  S.BitCount = C.Bits;
  S.ClrUsed = C.ClrUsed;
  S.Colors = GreyColors(C.EntriesInFile);
  S.Pixels = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2};
  const TSepDIB D = Load(BuildBmp(S));
  EXPECT_EQ(D.Header.biClrUsed, C.ExpectedClrUsed);
  EXPECT_EQ(D.Header.biSize, 40u);
  EXPECT_EQ(BitsOf(D), S.Pixels);
  const std::vector<PALETTEENTRY> Pal = PaletteOf(D);
  ASSERT_EQ(Pal.size(), C.ExpectedClrUsed);
  for (std::size_t I = 0; I < Pal.size(); ++I) {
    EXPECT_EQ(Pal[I].peRed, I % 256) << I;
    EXPECT_EQ(Pal[I].peBlue, I % 256) << I;
    EXPECT_EQ(Pal[I].peFlags, 0) << I;
  }
}

INSTANTIATE_TEST_SUITE_P(Table, ColorCount,
                         testing::ValuesIn(std::vector<TColorCountCase>{
                             {"Bit8Default", 8, 0, 256, 256},
                             {"Bit8Sixteen", 8, 16, 16, 16},
                             {"Bit8Thousand", 8, 1000, 1000, 256},
                             {"Bit4Default", 4, 0, 16, 16},
                             {"Bit1Default", 1, 0, 2, 2},
                             {"Bit24None", 24, 0, 0, 0},
                             {"Bit24WithTable", 24, 3, 3, 3},
                         }),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(LoadDIBFromStream, SixteenColoursLeaveTheRestOfTheTableUntouched) {
  TBmpLayout S;
  S.ClrUsed = 16;
  S.Colors = GreyColors(16);
  S.Pixels = {0xAA, 0xBB, 0xCC, 0xDD};
  const TSepDIB D = Load(BuildBmp(S));
  EXPECT_EQ(D.Colors()[15].rgbGreen, 15);
  for (int I = 16; I < 256; ++I) ASSERT_EQ(D.Colors()[I].rgbRed, 0) << I;
}

// ---- bit-field masks -------------------------------------------------------------------------

struct TMaskCase {
  const char* Name;
  std::uint32_t HeaderSize;
  std::uint16_t Bits;
};

class BitFieldMasks : public testing::TestWithParam<TMaskCase> {};

TEST_P(BitFieldMasks, LandOnTheMaskSlotsAndColoursFollowThem) {
  const TMaskCase& C = GetParam();
  TBmpLayout S;
  S.Width = 2;
  S.Height = 1;
  S.BitCount = C.Bits;
  S.Compression = BI_BITFIELDS;
  S.HeaderSize = C.HeaderSize;
  S.Masks = {0xF800, 0x07E0, 0x001F};
  S.ClrUsed = 2;
  S.Colors = {1, 2, 3, 0, 4, 5, 6, 0};
  S.Pixels = Bytes(C.Bits == 16 ? 4 : 8, 0x5A);
  const TSepDIB D = Load(BuildBmp(S));
  EXPECT_EQ(D.Mask(0), 0xF800u);
  EXPECT_EQ(D.Mask(1), 0x07E0u);
  EXPECT_EQ(D.Mask(2), 0x001Fu);
  EXPECT_EQ(D.Header.biSize, 40u);
  EXPECT_EQ(D.Header.biClrUsed, 2u);
  EXPECT_EQ(D.Colors()[1].rgbRed, 6);
  EXPECT_EQ(BitsOf(D), S.Pixels);
}

INSTANTIATE_TEST_SUITE_P(Table, BitFieldMasks,
                         testing::ValuesIn(std::vector<TMaskCase>{
                             {"After40ByteHeader16", 40, 16},
                             {"After40ByteHeader32", 40, 32},
                             {"Inside52ByteHeader", 52, 16},
                             {"Inside56ByteHeader", 56, 32},
                             {"InsideV4Header", 108, 16},
                             {"InsideV5Header", 124, 32},
                         }),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(LoadDIBFromStream, BitFieldsWithA40ByteHeaderReadExactlyTheMasksWhenNoColours) {
  TBmpLayout S;
  S.Width = 2;
  S.BitCount = 16;
  S.Compression = BI_BITFIELDS;
  S.Masks = {0x7C00, 0x03E0, 0x001F};
  S.Pixels = {0x11, 0x22, 0x33, 0x44};
  // Only the 4 pixel bytes follow the masks: a reader taking more than 12 bytes would fail.
  const TSepDIB D = Load(BuildBmp(S));
  EXPECT_EQ(D.Header.biClrUsed, 0u);
  EXPECT_EQ(D.Mask(2), 0x001Fu);
  EXPECT_EQ(D.Colors()[0].rgbBlue, 0);
  EXPECT_EQ(BitsOf(D), S.Pixels);
}

// ---- core headers, positions, header sizes ---------------------------------------------------

TEST(LoadDIBFromStream, CoreHeaderBecomesAnInfoHeaderWithFourByteColours) {
  TBmpLayout S;
  S.HeaderSize = 12;
  S.Width = 3;
  S.Height = 2;
  S.BitCount = 1;
  S.Colors = {10, 20, 30, 40, 50, 60};
  S.Pixels = Bytes(8, 0x80);
  const TSepDIB D = Load(BuildBmp(S));
  EXPECT_EQ(D.Header.biSize, 40u);
  EXPECT_EQ(D.Header.biWidth, 3);
  EXPECT_EQ(D.Header.biHeight, 2);
  EXPECT_EQ(D.Header.biBitCount, 1);
  EXPECT_EQ(D.Header.biCompression, BI_RGB);
  EXPECT_EQ(D.Header.biXPelsPerMeter, 3780);
  EXPECT_EQ(D.Header.biYPelsPerMeter, 3780);
  EXPECT_EQ(D.Header.biClrUsed, 2u);
  const RGBQUAD* C = D.Colors();
  EXPECT_EQ(C[0].rgbBlue, 10);
  EXPECT_EQ(C[0].rgbRed, 30);
  EXPECT_EQ(C[1].rgbBlue, 40);
  EXPECT_EQ(C[1].rgbGreen, 50);
  EXPECT_EQ(C[1].rgbRed, 60);
  EXPECT_EQ(C[1].rgbReserved, 0);
  EXPECT_EQ(BitsOf(D), S.Pixels);
}

TEST(LoadDIBFromStream, CoreHeaderHeightIsUnsignedAndTwentyFourBitsHaveNoColours) {
  TBmpLayout S;
  S.HeaderSize = 12;
  S.Width = 1;
  S.Height = 0x8001;  // top bit set: still bottom-up
  S.BitCount = 24;
  S.Pixels = {1, 2, 3, 0};
  const TSepDIB D = Load(BuildBmp(S));
  EXPECT_EQ(D.Header.biHeight, 0x8001);
  EXPECT_EQ(D.Header.biClrUsed, 0u);
  EXPECT_EQ(BitsOf(D), S.Pixels);
}

TEST(LoadDIBFromStream, PositionsCountFromWhereTheFileStartsInTheStream) {
  TBmpLayout S;
  S.Width = 4;
  S.ClrUsed = 2;
  S.Colors = GreyColors(2);
  S.OffBits = 100;  // a gap before the pixels
  S.Pixels = {1, 2, 3, 4};
  Bytes Stream(37, 0xEE);
  const Bytes File = BuildBmp(S);
  Stream.insert(Stream.end(), File.begin(), File.end());
  Stream.insert(Stream.end(), 20, 0xEE);
  TMemoryStream M;
  Fill(M, Stream, 37);
  TSepDIB D;
  LoadDIBFromStream(D, M);
  EXPECT_EQ(BitsOf(D), S.Pixels);
  EXPECT_EQ(M.GetPosition(), 37 + 104);
}

TEST(LoadDIBFromStream, OffsetPointingBackIntoTheTablesIsHonoured) {
  TBmpLayout S;
  S.Width = 4;
  S.ClrUsed = 2;
  S.Colors = {1, 2, 3, 4, 5, 6, 7, 8};
  S.OffBits = 54 + 4;  // the second colour entry doubles as pixel data
  S.FileSize = 54 + 8;
  const TSepDIB D = Load(BuildBmp(S));
  EXPECT_EQ(BitsOf(D), (Bytes{5, 6, 7, 8}));
}

TEST(LoadDIBFromStream, EqualSizeAndOffsetGiveEmptyBits) {
  TBmpLayout S;
  S.Colors = GreyColors(256);
  const TSepDIB D = Load(BuildBmp(S));
  EXPECT_EQ(D.Bits.Length(), 0);
}

TEST(LoadDIBFromStream, SurplusOfAHeaderLongerThanTheRecordIsSkipped) {
  TBmpLayout S;
  S.HeaderSize = 1500;
  S.Width = 4;
  S.ClrUsed = 2;
  S.Colors = {1, 2, 3, 0, 4, 5, 6, 0};
  S.Pixels = {0, 1, 1, 0};
  const TSepDIB D = Load(BuildBmp(S));
  EXPECT_EQ(D.Header.biSize, 40u);
  EXPECT_EQ(D.Colors()[1].rgbRed, 6);
  EXPECT_EQ(BitsOf(D), S.Pixels);
}

// ---- failures ----------------------------------------------------------------------------------

template <typename TExpected>
std::string MessageOf(const Bytes& File) {
  try {
    Load(File);
  } catch (const TExpected& E) {
    return E.what();
  } catch (const std::exception& E) {
    return std::string("wrong exception: ") + E.what();
  }
  return "no exception";
}

TBmpLayout Small() {
  TBmpLayout S;
  S.Width = 4;
  S.ClrUsed = 2;
  S.Colors = GreyColors(2);
  S.Pixels = {1, 2, 3, 4};
  return S;
}

TEST(LoadDIBFromStream, RejectsMalformedHeadersWithTheirMessages) {
  Bytes F = BuildBmp(Small());
  F[1] = 'X';
  EXPECT_EQ(MessageOf<EDIBUtilsError>(F), "LoadDIBFromStream: File type is invalid");

  TBmpLayout S = Small();
  S.HeaderSize = 20;
  EXPECT_EQ(MessageOf<EDIBUtilsError>(BuildBmp(S)),
            "LoadDIBFromStream: Invalid Bitmap Header Size");
  for (std::uint16_t Bits : {0, 2, 3, 15, 48}) {
    S = Small();
    S.BitCount = Bits;
    EXPECT_EQ(MessageOf<EDIBUtilsError>(BuildBmp(S)), "LoadDIBFromStream: Invalid BitCout") << Bits;
  }
  for (std::uint16_t Bits : {2, 16, 32}) {
    S = Small();
    S.HeaderSize = 12;
    S.BitCount = Bits;
    EXPECT_EQ(MessageOf<EDIBUtilsError>(BuildBmp(S)), "TBigBitmap.LoadFromStream: Invalid BitCount")
        << Bits;
  }
}

TEST(LoadDIBFromStream, StreamEndingEarlyFailsWithTheReadError) {
  const Bytes Full = BuildBmp(Small());
  for (std::size_t Cut : {std::size_t{0}, std::size_t{10}, std::size_t{14}, std::size_t{30},
                          std::size_t{55}, Full.size() - 1}) {
    const Bytes F(Full.begin(), Full.begin() + static_cast<std::ptrdiff_t>(Cut));
    EXPECT_EQ(MessageOf<EReadError>(F), "ストリームからの読み込みエラー") << Cut;
  }
}

TEST(LoadDIBFromStream, HugeClaimedPixelLengthFailsWithTheReadErrorBeforeAllocating) {
  TBmpLayout S = Small();
  S.FileSize = 0x7FFFFFF0;  // about 2 GB claimed, a few bytes held
  EXPECT_EQ(MessageOf<EReadError>(BuildBmp(S)), "ストリームからの読み込みエラー");
  S.FileSize = 0xFFFFFFF0;  // wraps to a negative length
  S.OffBits = 0x40;
  EXPECT_EQ(MessageOf<ERangeError>(BuildBmp(S)), "範囲チェックエラー");
}

TEST(LoadDIBFromStream, SizeBelowOffsetIsARangeError) {
  TBmpLayout S = Small();
  S.FileSize = 20;
  EXPECT_EQ(MessageOf<ERangeError>(BuildBmp(S)), "範囲チェックエラー");
}

// ---- mask shifts and the 16/32-bit conversion -----------------------------------------------

TEST(GetMaskShift, MovesTheTopBitToBitSeven) {
  const std::vector<std::pair<std::uint32_t, int>> Table = {
      {0x7C00, 7}, {0x03E0, 2}, {0x001F, -3}, {0xFF0000, 16},   {0xF800, 8},
      {0x07E0, 3}, {0x80, 0},   {0x1, -7},    {0xFFFFFFFF, 24}, {0x3FF00000, 22}};
  for (const auto& [mask, shift] : Table) EXPECT_EQ(GetMaskShift(mask), shift) << mask;
}

TSepDIB BitFieldDIB(std::uint16_t Bits, std::uint32_t Compression, std::int32_t Width,
                    std::int32_t Height, const Bytes& Pixels,
                    std::vector<std::uint32_t> Masks = {}) {
  TSepDIB D;
  D.Header.biSize = 40;
  D.Header.biWidth = Width;
  D.Header.biHeight = Height;
  D.Header.biPlanes = 1;
  D.Header.biBitCount = Bits;
  D.Header.biCompression = Compression;
  D.Header.biSizeImage = 1234;
  D.Header.biXPelsPerMeter = 77;
  for (std::size_t I = 0; I < Masks.size(); ++I) std::memcpy(D.Tables + 4 * I, &Masks[I], 4);
  D.Bits.SetLength(static_cast<std::int64_t>(Pixels.size()));
  std::memcpy(D.Bits.Data(), Pixels.data(), Pixels.size());
  return D;
}

TEST(ConvertBitFieldsTo24BitRGB, DefaultSixteenBitMasksScaleFiveBitsToBytes) {
  // 0x7FFF white, then red 1, green 16, blue 31 -> 8, 131, 255; row padded to 8 bytes.
  const std::uint16_t P1 = 0x7FFF, P2 = (1 << 10) | (16 << 5) | 31, P3 = 0x8000;
  Bytes Px = {static_cast<std::uint8_t>(P1),
              static_cast<std::uint8_t>(P1 >> 8),
              static_cast<std::uint8_t>(P2),
              static_cast<std::uint8_t>(P2 >> 8),
              static_cast<std::uint8_t>(P3),
              static_cast<std::uint8_t>(P3 >> 8),
              0xFF,
              0xFF};
  const TSepDIB Src = BitFieldDIB(16, BI_RGB, 3, -1, Px);
  TSepDIB Dst;
  ConvertBitFieldsTo24BitRGB(Src, Dst);
  EXPECT_EQ(BitsOf(Dst), (Bytes{255, 255, 255, 255, 131, 8, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Dst.Header.biBitCount, 24);
  EXPECT_EQ(Dst.Header.biCompression, BI_RGB);
  EXPECT_EQ(Dst.Header.biSizeImage, 0u);
  EXPECT_EQ(Dst.Header.biHeight, -1);  // the row order carries over
  EXPECT_EQ(Dst.Header.biXPelsPerMeter, 77);
}

TEST(ConvertBitFieldsTo24BitRGB, ThirtyTwoBitDefaultIgnoresTheTopByteAndKeepsRowOrder) {
  const Bytes Px = {0x10, 0x20, 0x30, 0xFF, 0x01, 0x02, 0x03, 0x99};
  const TSepDIB Src = BitFieldDIB(32, BI_RGB, 1, 2, Px);
  TSepDIB Dst;
  ConvertBitFieldsTo24BitRGB(Src, Dst);
  EXPECT_EQ(BitsOf(Dst), (Bytes{0x10, 0x20, 0x30, 0, 0x01, 0x02, 0x03, 0}));
}

TEST(ConvertBitFieldsTo24BitRGB, ExplicitMasksAreUsedAndColoursMoveBehindTheHeader) {
  // 5-6-5: pure green and a mid grey.
  const std::uint16_t G = 0x07E0, M = (16 << 11) | (32 << 5) | 16;
  const Bytes Px = {static_cast<std::uint8_t>(G), static_cast<std::uint8_t>(G >> 8),
                    static_cast<std::uint8_t>(M), static_cast<std::uint8_t>(M >> 8)};
  TSepDIB Src = BitFieldDIB(16, BI_BITFIELDS, 2, 1, Px, {0xF800, 0x07E0, 0x001F});
  Src.Header.biClrUsed = 1;
  Src.Tables[12] = 0xAB;  // first colour entry behind the masks
  TSepDIB Dst;
  ConvertBitFieldsTo24BitRGB(Src, Dst);
  EXPECT_EQ(BitsOf(Dst), (Bytes{0, 255, 0, 131, 129, 131, 0, 0}));
  EXPECT_EQ(Dst.Tables[0], 0xAB);
  EXPECT_EQ(Dst.Colors()[0].rgbBlue, 0xAB);
  EXPECT_EQ(Dst.Header.biClrUsed, 1u);
}

TEST(ConvertBitFieldsTo24BitRGB, RejectsZeroMasksAndMissingRowsWithoutTouchingDst) {
  TSepDIB Dst;
  Dst.Header.biWidth = 99;
  const TSepDIB Zero = BitFieldDIB(32, BI_BITFIELDS, 1, 1, Bytes(4), {0xFF0000, 0, 0xFF});
  try {
    ConvertBitFieldsTo24BitRGB(Zero, Dst);
    FAIL();
  } catch (const EDIBUtilsError& E) {
    EXPECT_STREQ(E.what(), "TBigBitmap.LoadFromStream: Invalid Masks");
  }
  const TSepDIB ShortRows = BitFieldDIB(16, BI_RGB, 3, 2, Bytes(12));
  EXPECT_THROW(ConvertBitFieldsTo24BitRGB(ShortRows, Dst), EDIBUtilsError);
  EXPECT_EQ(Dst.Header.biWidth, 99);
}

}  // namespace
