#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "dibutils/dibutils.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

TSepDIB RleDIB(int Bits, std::int32_t Width, std::int32_t Height, const Bytes& Data) {
  TSepDIB D;
  D.Header.biSize = 40;
  D.Header.biWidth = Width;
  D.Header.biHeight = Height;
  D.Header.biPlanes = 1;
  D.Header.biBitCount = static_cast<std::uint16_t>(Bits);
  D.Header.biCompression = Bits == 8 ? BI_RLE8 : BI_RLE4;
  D.Header.biSizeImage = static_cast<std::uint32_t>(Data.size());
  D.Header.biClrUsed = 3;
  D.Tables[0] = 0x42;
  D.Bits.SetLength(static_cast<std::int64_t>(Data.size()));
  if (!Data.empty()) std::memcpy(D.Bits.Data(), Data.data(), Data.size());
  return D;
}

void Decode(const TSepDIB& Src, TSepDIB& Dst) {
  if (Src.Header.biBitCount == 8) {
    Convert8BitRLETo8BitRGB(Src, Dst);
  } else {
    Convert4BitRLETo4BitRGB(Src, Dst);
  }
}

// The decoded bytes, or the message of the error raised.
struct TOutcome {
  Bytes Pixels;
  std::string Error;
};

TOutcome DecodeBytes(int Bits, std::int32_t Width, std::int32_t Height, const Bytes& Data) {
  const TSepDIB Src = RleDIB(Bits, Width, Height, Data);
  TSepDIB Dst;
  try {
    Decode(Src, Dst);
  } catch (const EDIBUtilsError& E) {
    return {{}, E.what()};
  }
  return {Bytes(Dst.Bits.Data(), Dst.Bits.Data() + Dst.Bits.Length()), ""};
}

const char* const Rle8 = "Convert8BitRLETo8BitRGB: ";
const char* const Rle4 = "Convert4BitRLETo4BitRGB: ";

struct TRleCase {
  const char* Name;
  int Bits;
  std::int32_t Width, Height;
  Bytes Data;
  Bytes Expected;       // decoded rows, when accepted
  std::string Message;  // tail of the message after the routine's name, when rejected
};

class RleDecoding : public testing::TestWithParam<TRleCase> {};

TEST_P(RleDecoding, GivesTheRowsOrTheMessage) {
  const TRleCase& C = GetParam();
  const TOutcome O = DecodeBytes(C.Bits, C.Width, C.Height, C.Data);
  if (C.Message.empty()) {
    EXPECT_EQ(O.Error, "");
    EXPECT_EQ(O.Pixels, C.Expected);
  } else {
    EXPECT_EQ(O.Error, std::string(C.Bits == 8 ? Rle8 : Rle4) + C.Message);
  }
}

// 8-bit cases use a 4 x 2 image (rows of 4 bytes, MaxX 4); 4-bit cases a 3 x 2 image (rows of
// 4 bytes, MaxX 4: the nibble that pads the odd row may be written).
// clang-format off
const std::vector<TRleCase> RleCases = {
    // Accepted boundaries.
    {"Rle8EncodedRunEndsAtMaxX", 8, 4, 2, {4, 7, 0, 1}, {7, 7, 7, 7, 0, 0, 0, 0}, ""},
    {"Rle8AbsoluteRunEndsAtMaxX", 8, 4, 2, {0, 4, 1, 2, 3, 4, 0, 1}, {1, 2, 3, 4, 0, 0, 0, 0}, ""},
    {"Rle8LastRowClosedByEndOfLine", 8, 4, 2, {1, 1, 0, 0, 1, 2, 0, 0, 0, 1},
     {1, 0, 0, 0, 2, 0, 0, 0}, ""},
    {"Rle8DeltaToMaxXAndToTheEnd", 8, 4, 2, {0, 2, 4, 2, 0, 1}, Bytes(8, 0), ""},
    {"Rle4EncodedRunSetsThePadNibbleOfAnOddRow", 4, 3, 2, {4, 0x12, 0, 1},
     {0x12, 0x12, 0, 0, 0, 0, 0, 0}, ""},
    {"Rle4AbsoluteRunEndsAtMaxX", 4, 3, 2, {0, 4, 0x12, 0x34, 0, 1},
     {0x12, 0x34, 0, 0, 0, 0, 0, 0}, ""},
    {"Rle4LastRowClosedByEndOfLine", 4, 3, 2, {0, 0, 1, 0x50, 0, 0, 0, 1},
     {0, 0, 0, 0, 0x50, 0, 0, 0}, ""},
    // One past: every message of both decoders.
    {"Rle8EndOfLineBeyondLastRow", 8, 4, 2, {0, 0, 0, 0, 0, 0, 0, 1}, {}, "Bad RLE Data 1"},
    {"Rle8DeltaPastMaxX", 8, 4, 2, {0, 2, 5, 0, 0, 1}, {}, "Bad RLE Data 2"},
    {"Rle8DeltaBeyondLastRow", 8, 4, 2, {0, 2, 0, 3, 0, 1}, {}, "Bad RLE Data 2"},
    {"Rle8AbsoluteRunPastMaxX", 8, 4, 2, {0, 5, 1, 2, 3, 4, 5, 0, 0, 1}, {}, "Bad RLE Data 3"},
    {"Rle8AbsoluteRunBelowLastRow", 8, 4, 2, {0, 2, 0, 2, 0, 3, 1, 2, 3, 0, 0, 1}, {},
     "Bad RLE Data 3"},
    {"Rle8EncodedRunPastMaxX", 8, 4, 2, {5, 7, 0, 1}, {}, "Bad RLE Data 4"},
    {"Rle8EncodedRunAfterDeltaToMaxX", 8, 4, 2, {0, 2, 4, 0, 1, 9, 0, 1}, {}, "Bad RLE Data 4"},
    {"Rle8EncodedRunBelowLastRow", 8, 4, 2, {0, 0, 0, 0, 1, 7, 0, 1}, {}, "Bad RLE Data 4"},
    {"Rle4EndOfLineBeyondLastRow", 4, 3, 2, {0, 0, 0, 0, 0, 0, 0, 1}, {}, "Bad RLE Data 5"},
    {"Rle4DeltaPastMaxX", 4, 3, 2, {0, 2, 5, 0, 0, 1}, {}, "Bad RLE Data 6"},
    {"Rle4DeltaBeyondLastRow", 4, 3, 2, {0, 2, 1, 3, 0, 1}, {}, "Bad RLE Data 6"},
    {"Rle4AbsoluteRunPastMaxX", 4, 3, 2, {0, 5, 0x12, 0x34, 0x50, 0, 0, 1}, {}, "Bad RLE Data 7"},
    {"Rle4AbsoluteRunBelowLastRow", 4, 3, 2, {0, 2, 0, 2, 0, 3, 0x12, 0x30, 0, 1}, {},
     "Bad RLE Data 7"},
    {"Rle4EncodedRunPastMaxX", 4, 3, 2, {5, 0x12, 0, 1}, {}, "Bad RLE Data 8"},
    {"Rle4EncodedRunBelowLastRow", 4, 3, 2, {0, 2, 0, 2, 1, 0x10, 0, 1}, {}, "Bad RLE Data 8"},
    // Data that stops before end of bitmap, also inside a code, a delta or a run.
    {"Rle8NoData", 8, 4, 2, {}, {}, "Unexpected End of RLE Data"},
    {"Rle8HalfACode", 8, 4, 2, {0}, {}, "Unexpected End of RLE Data"},
    {"Rle8HalfADelta", 8, 4, 2, {0, 2, 1}, {}, "Unexpected End of RLE Data"},
    {"Rle8ShortAbsoluteRun", 8, 4, 2, {0, 3, 1, 2}, {}, "Unexpected End of RLE Data"},
    {"Rle8AbsoluteRunWithoutPadding", 8, 4, 2, {0, 3, 1, 2, 3}, {}, "Unexpected End of RLE Data"},
    {"Rle8NoEndOfBitmap", 8, 4, 2, {2, 5, 0, 0}, {}, "Unexpected End of RLE Data"},
    {"Rle4ShortAbsoluteRun", 4, 3, 2, {0, 3, 0x12}, {}, "Unexpected End of RLE Data"},
    {"Rle4NoEndOfBitmap", 4, 3, 2, {2, 0x12}, {}, "Unexpected End of RLE Data"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Table, RleDecoding, testing::ValuesIn(RleCases),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(RleDecoding, AbsoluteRunsSkipTheirPaddingToAnEvenByteCount) {
  // 8 bits: a run of 3 takes 4 bytes; the pad byte 0xEE would otherwise start a long run.
  EXPECT_EQ(DecodeBytes(8, 5, 1, {0, 3, 1, 2, 3, 0xEE, 2, 9, 0, 1}).Pixels,
            (Bytes{1, 2, 3, 9, 9, 0, 0, 0}));
  // 4 bits: a run of 3 takes 2 bytes, a run of 5 takes 4.
  EXPECT_EQ(DecodeBytes(4, 6, 1, {0, 3, 0x12, 0x30, 3, 0x45, 0, 1}).Pixels,
            (Bytes{0x12, 0x34, 0x54, 0}));
  EXPECT_EQ(DecodeBytes(4, 6, 1, {0, 5, 0x12, 0x34, 0x50, 0xEE, 1, 0x70, 0, 1}).Pixels,
            (Bytes{0x12, 0x34, 0x57, 0}));
}

TEST(RleDecoding, FourBitRunsAlternateNibblesFromTheirOwnStart) {
  EXPECT_EQ(DecodeBytes(4, 6, 1, {5, 0x12, 0, 1}).Pixels, (Bytes{0x12, 0x12, 0x10, 0}));
  // Started at an odd column, the first pixel goes into the low half of the current byte.
  EXPECT_EQ(DecodeBytes(4, 6, 1, {0, 2, 1, 0, 5, 0x12, 0, 1}).Pixels, (Bytes{0x01, 0x21, 0x21, 0}));
}

TEST(RleDecoding, SkippedPixelsAndEarlyEndedRowsAreIndexZero) {
  // Row 0: 5 then end of line; row 1 skipped by a delta (and a delta of 0, 0); row 2: 0 6 0.
  EXPECT_EQ(DecodeBytes(8, 3, 3, {1, 5, 0, 0, 0, 2, 0, 0, 0, 2, 1, 1, 1, 6, 0, 1}).Pixels,
            (Bytes{5, 0, 0, 0, 0, 0, 0, 0, 0, 6, 0, 0}));
  EXPECT_EQ(DecodeBytes(8, 5, 3, {0, 1}).Pixels, Bytes(24, 0));
  EXPECT_EQ(DecodeBytes(4, 9, 2, {0, 1}).Pixels, Bytes(16, 0));
}

TEST(RleDecoding, TopDownHeightCountsByItsMagnitude) {
  EXPECT_EQ(DecodeBytes(8, 1, -2, {1, 1, 0, 0, 1, 2, 0, 1}).Pixels,
            (Bytes{1, 0, 0, 0, 2, 0, 0, 0}));
}

TEST(RleDecoding, ResultKeepsHeaderAndTablesWithCompressionCleared) {
  TSepDIB Src = RleDIB(8, 2, 1, {2, 1, 0, 1});
  Src.Header.biHeight = -1;
  TSepDIB Dst;
  Convert8BitRLETo8BitRGB(Src, Dst);
  EXPECT_EQ(Dst.Header.biCompression, BI_RGB);
  EXPECT_EQ(Dst.Header.biSizeImage, 0u);
  EXPECT_EQ(Dst.Header.biBitCount, 8);
  EXPECT_EQ(Dst.Header.biHeight, -1);
  EXPECT_EQ(Dst.Header.biClrUsed, 3u);
  EXPECT_EQ(Dst.Tables[0], 0x42);
  EXPECT_EQ(Src.Header.biCompression, BI_RLE8);  // the source is not changed
  EXPECT_EQ(Src.Bits.Length(), 4);
}

TEST(RleDecoding, FailureLeavesDstUntouched) {
  TSepDIB Dst = RleDIB(8, 7, 7, {9, 9, 9});
  const TSepDIB Before = Dst;
  EXPECT_THROW(Convert8BitRLETo8BitRGB(RleDIB(8, 4, 1, {9, 1, 0, 1}), Dst), EDIBUtilsError);
  EXPECT_THROW(Convert4BitRLETo4BitRGB(RleDIB(4, 4, 1, {0, 2}), Dst), EDIBUtilsError);
  EXPECT_EQ(Dst.Header.biWidth, 7);
  EXPECT_TRUE(Dst.Bits == Before.Bits);
}

TEST(RleDecoding, DecodersDemandTheirOwnBitCountAndCompression) {
  const std::string Combo = "Invalid Bitcount & Compression Combination";
  TSepDIB Dst;
  TSepDIB Four = RleDIB(4, 2, 1, {0, 1});  // 4 bits, BI_RLE4
  TSepDIB Eight = RleDIB(8, 2, 1, {0, 1});
  TSepDIB EightAsRle4 = Eight;
  EightAsRle4.Header.biCompression = BI_RLE4;
  for (const TSepDIB* S : {&Four, &EightAsRle4}) {
    try {
      Convert8BitRLETo8BitRGB(*S, Dst);
      ADD_FAILURE();
    } catch (const EDIBUtilsError& E) {
      EXPECT_EQ(E.what(), Rle8 + Combo);
    }
  }
  for (const TSepDIB* S : {&Eight, &EightAsRle4}) {
    try {
      Convert4BitRLETo4BitRGB(*S, Dst);
      ADD_FAILURE();
    } catch (const EDIBUtilsError& E) {
      EXPECT_EQ(E.what(), Rle4 + Combo);
    }
  }
}

}  // namespace
