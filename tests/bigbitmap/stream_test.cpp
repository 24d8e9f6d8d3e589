#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "bigbitmap/bigbitmap.h"
#include "bigbitmap_test_helpers.h"
#include "dibutils/dibutils.h"
#include "platform/streams.h"
#include "support/bmp_builder.h"
#include "support/temp_dir.h"

namespace {

using bigbitmaptest::ChangeCounter;
using bigbitmaptest::LeakCheckedTest;
using testsupport::BmpLayout;
using testsupport::BuildBmp;
using testsupport::DibStride;
using testsupport::GreyColors;
using Bytes = std::vector<std::uint8_t>;

class StreamTest : public LeakCheckedTest {};

// A memory stream that records the size of every write.
class CountingStream : public TMemoryStream {
 public:
  std::int32_t Write(const void* Buffer, std::int32_t Count) override {
    Writes.push_back(Count);
    return TMemoryStream::Write(Buffer, Count);
  }
  std::vector<std::int32_t> Writes;
};

// A stream that takes at most Capacity bytes in all.
class FullStream : public TMemoryStream {
 public:
  explicit FullStream(std::int64_t capacity) : FCapacity(capacity) {}
  std::int32_t Write(const void* Buffer, std::int32_t Count) override {
    const std::int64_t Room = FCapacity - GetSize();
    return TMemoryStream::Write(Buffer, static_cast<std::int32_t>(Room < Count ? Room : Count));
  }

 private:
  std::int64_t FCapacity;
};

void LoadBytes(TBigBitmap& B, const Bytes& File) {
  TMemoryStream s;
  s.WriteBuffer(File.data(), static_cast<std::int32_t>(File.size()));
  s.SetPosition(0);
  B.LoadFromStream(s);
}

Bytes SaveBytes(TBigBitmap& B) {
  TMemoryStream s;
  B.SaveToStream(s);
  const auto* P = static_cast<const std::uint8_t*>(s.Memory());
  return Bytes(P, P + s.GetSize());
}

std::uint32_t U32At(const Bytes& f, std::size_t Off) {
  std::uint32_t V;
  std::memcpy(&V, f.data() + Off, 4);
  return V;
}
std::uint16_t U16At(const Bytes& f, std::size_t Off) {
  return static_cast<std::uint16_t>(f[Off] | (f[Off + 1] << 8));
}

// Rows of distinct bytes, pad bytes zero, as a bottom-up (or top-down) block of whole rows.
Bytes PatternRows(std::int32_t width, std::int32_t height, int bits, bool BottomUp) {
  const std::int32_t Stride = DibStride(width, bits);
  const std::int32_t Used = (width * bits + 7) / 8;
  Bytes Px(static_cast<std::size_t>(Stride) * height, 0);
  for (std::int32_t R = 0; R < height; ++R) {  // r counts from the top
    const std::int32_t Stored = BottomUp ? height - 1 - R : R;
    for (std::int32_t I = 0; I < Used; ++I) {
      std::uint8_t V = static_cast<std::uint8_t>(R * 31 + I * 7 + (R >> 8));
      if (I == Used - 1 && (width * bits) % 8 != 0) {
        V &= static_cast<std::uint8_t>(0xFF << (8 - (width * bits) % 8));  // unused low bits
      }
      Px[static_cast<std::size_t>(Stored) * Stride + I] = V;
    }
  }
  return Px;
}

// ---- round trips -------------------------------------------------------------------------------

struct TRoundTripCase {
  const char* Name;
  int bits;
  std::int32_t width, height;
  TBBPixelFormat Format;
};

class RoundTrip : public StreamTest, public testing::WithParamInterface<TRoundTripCase> {};

TEST_P(RoundTrip, LoadThenSaveGivesTheFileBackByteForByte) {
  const TRoundTripCase& C = GetParam();
  BmpLayout s;
  s.width = C.width;
  s.height = C.height;
  s.bit_count = static_cast<std::uint16_t>(C.bits);
  const int Colours = C.bits == 24 ? 0 : 1 << C.bits;
  s.clr_used = static_cast<std::uint32_t>(Colours);
  for (int I = 0; I < Colours; ++I) {
    s.colors.insert(s.colors.end(),
                    {static_cast<std::uint8_t>(I), static_cast<std::uint8_t>(255 - I),
                     static_cast<std::uint8_t>(I * 3), 0});
  }
  s.pixels = PatternRows(C.width, C.height, C.bits, true);
  const Bytes File = BuildBmp(s);

  TBigBitmap B;
  LoadBytes(B, File);
  EXPECT_EQ(B.GetWidth(), C.width);
  EXPECT_EQ(B.GetHeight(), C.height);
  EXPECT_EQ(B.GetPixelFormat(), C.Format);
  // Image row 0 is the file's last stored row.
  const std::int32_t Stride = DibStride(C.width, C.bits);
  EXPECT_EQ(std::memcmp(B.GetScanline(0), s.pixels.data() + (C.height - 1) * Stride,
                        static_cast<std::size_t>(Stride)),
            0);
  EXPECT_EQ(SaveBytes(B), File);
}

INSTANTIATE_TEST_SUITE_P(Formats, RoundTrip,
                         testing::ValuesIn(std::vector<TRoundTripCase>{
                             {"OneBitOddWidth", 1, 37, 5, bbpf1bit},
                             {"FourBitOddWidth", 4, 13, 4, bbpf4bit},
                             {"EightBit", 8, 6, 3, bbpf8bit},
                             {"EightBitThreePadBytes", 8, 125, 7, bbpf8bit},
                             {"TwentyFourBit", 24, 5, 4, bbpf24bit},
                             {"TwentyFourBitSeveralBands", 24, 3000, 1000, bbpf24bit},
                         }),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(StreamTest, TopDownFileTallerThanOneBandLoadsEveryRowInPlaceAndSavesBottomUp) {
  const std::int32_t W = 4096, h = 5000;  // stride 4096: bands of 2048 rows
  BmpLayout Top;
  Top.width = W;
  Top.height = -h;
  Top.colors = GreyColors(256);
  Top.clr_used = 256;
  Top.pixels = PatternRows(W, h, 8, false);
  TBigBitmap B;
  LoadBytes(B, BuildBmp(Top));
  ASSERT_EQ(B.Bitmaps().size(), 3u);
  ASSERT_EQ(B.GetHeight(), h);
  for (std::int32_t R : {0, 1, 2047, 2048, 2049, 4095, 4096, 4999}) {
    EXPECT_EQ(std::memcmp(B.GetScanline(R), Top.pixels.data() + static_cast<std::size_t>(R) * W, W),
              0)
        << "row " << R;
  }
  BmpLayout Bottom = Top;
  Bottom.height = h;
  Bottom.pixels = PatternRows(W, h, 8, true);
  EXPECT_EQ(SaveBytes(B), BuildBmp(Bottom));
}

// Plain rows go from the stream straight into the bands. Whatever the depth and row order, the
// bands hold exactly the rows that the DIB record gives (row r of the image from the record's
// bytes at (H - 1 - r) * S bottom-up, r * S top-down), padding included, and the stream is left
// where reading the record leaves it. Every file has a gap before its pixels and bytes after
// them, and two bands (1117 rows of 7504 bytes, then 3).
struct TDirectLoadCase {
  const char* Name;
  int bits;
  std::int32_t width;
  bool BottomUp;
};

class DirectLoad : public StreamTest, public testing::WithParamInterface<TDirectLoadCase> {};

TEST_P(DirectLoad, BandsHoldTheRowsOfTheRecord) {
  const TDirectLoadCase& C = GetParam();
  const std::int32_t h = 1120;
  BmpLayout s;
  s.width = C.width;
  s.height = C.BottomUp ? h : -h;
  s.bit_count = static_cast<std::uint16_t>(C.bits);
  if (C.bits <= 8) {
    s.colors = GreyColors(1 << C.bits);
    s.clr_used = 1u << C.bits;
  }
  s.pixels = PatternRows(C.width, h, C.bits, C.BottomUp);
  // Padding bytes that are not zero must arrive as they are.
  const std::int32_t Stride = DibStride(C.width, C.bits);
  for (std::size_t R = 0; R < static_cast<std::size_t>(h); ++R)
    s.pixels[R * Stride + Stride - 1] ^= 0x5A;
  s.OffBits = 54 + static_cast<std::int64_t>(s.colors.size()) + 6;
  Bytes GapBefore(6, 0xEE);
  s.colors.insert(s.colors.end(), GapBefore.begin(), GapBefore.end());
  s.pixels.insert(s.pixels.end(), 9, 0x77);
  const Bytes File = BuildBmp(s);

  TMemoryStream In;
  In.WriteBuffer(File.data(), static_cast<std::int32_t>(File.size()));
  In.SetPosition(0);
  TSepDIB Record;
  LoadDIBFromStream(Record, In);
  const std::int64_t AfterRecord = In.GetPosition();

  In.SetPosition(0);
  TBigBitmap B;
  B.LoadFromStream(In);
  EXPECT_EQ(In.GetPosition(), AfterRecord);
  ASSERT_EQ(B.Bitmaps().size(), 2u);
  ASSERT_EQ(B.Bitmaps()[0]->GetHeight(), 1117);
  for (std::int32_t R = 0; R < h; ++R) {
    const std::int64_t At = (C.BottomUp ? h - 1 - R : R) * static_cast<std::int64_t>(Stride);
    ASSERT_EQ(
        std::memcmp(B.GetScanline(R), Record.Bits.Data() + At, static_cast<std::size_t>(Stride)), 0)
        << "row " << R;
  }
}

INSTANTIATE_TEST_SUITE_P(Depths, DirectLoad,
                         testing::ValuesIn(std::vector<TDirectLoadCase>{
                             {"OneBitBottomUp", 1, 60001, true},
                             {"OneBitTopDown", 1, 60001, false},
                             {"FourBitBottomUp", 4, 15001, true},
                             {"FourBitTopDown", 4, 15001, false},
                             {"EightBitBottomUp", 8, 7501, true},
                             {"EightBitTopDown", 8, 7501, false},
                             {"TwentyFourBitBottomUp", 24, 2501, true},
                             {"TwentyFourBitTopDown", 24, 2501, false},
                         }),
                         [](const auto& info) { return std::string(info.param.Name); });

// ---- the saved layout --------------------------------------------------------------------------

TEST_F(StreamTest, LargeEightBitMapSavesInBandCountPlusTwoWritesWithTheCanonicalHeaders) {
  const std::int32_t W = 6144, h = 4096;
  BmpLayout s;
  s.width = W;
  s.height = h;
  s.colors = GreyColors(256);
  s.clr_used = 256;
  s.pixels.assign(static_cast<std::size_t>(W) * h, 0);
  for (std::int32_t Y = 0; Y < h; ++Y) s.pixels[static_cast<std::size_t>(Y) * W] = 1;
  const Bytes File = BuildBmp(s);
  TBigBitmap B;
  LoadBytes(B, File);
  ASSERT_EQ(B.Bitmaps().size(), 4u);
  EXPECT_EQ(B.Bitmaps()[3]->GetHeight(), 1);

  CountingStream Out;
  B.SaveToStream(Out);
  EXPECT_EQ(Out.Writes, (std::vector<std::int32_t>{14, 40 + 1024, 6144, 1365 * 6144, 1365 * 6144,
                                                   1365 * 6144}));
  const auto* P = static_cast<const std::uint8_t*>(Out.Memory());
  const Bytes Saved(P, P + Out.GetSize());
  ASSERT_EQ(Saved.size(), 25166902u);
  EXPECT_EQ(U16At(Saved, 0), 0x4D42);
  EXPECT_EQ(U32At(Saved, 2), 25166902u);  // bfSize
  EXPECT_EQ(U32At(Saved, 6), 0u);         // both reserved words
  EXPECT_EQ(U32At(Saved, 10), 1078u);     // bfOffBits
  EXPECT_EQ(U32At(Saved, 14), 40u);
  EXPECT_EQ(U32At(Saved, 18), 6144u);
  EXPECT_EQ(U32At(Saved, 22), 4096u);
  EXPECT_EQ(U16At(Saved, 26), 1);
  EXPECT_EQ(U16At(Saved, 28), 8);
  EXPECT_EQ(U32At(Saved, 30), 0u);  // compression
  EXPECT_EQ(U32At(Saved, 34), 0u);  // biSizeImage
  EXPECT_EQ(U32At(Saved, 38), 0u);
  EXPECT_EQ(U32At(Saved, 42), 0u);
  EXPECT_EQ(U32At(Saved, 46), 256u);  // biClrUsed
  EXPECT_EQ(U32At(Saved, 50), 0u);
  EXPECT_TRUE(Saved == File);
}

TEST_F(StreamTest, TwentyFourBitImageSavesWithoutColourTable) {
  TBigBitmap B;
  B.SetPixelFormat(bbpf24bit);
  B.SetWidth(3);
  B.SetHeight(2);
  const Bytes Saved = SaveBytes(B);
  ASSERT_EQ(Saved.size(), 54u + 2 * 12);
  EXPECT_EQ(U32At(Saved, 10), 54u);
  EXPECT_EQ(U32At(Saved, 46), 0u);
}

TEST_F(StreamTest, EmptyBitmapWritesNothing) {
  TBigBitmap B;
  CountingStream Out;
  B.SaveToStream(Out);
  EXPECT_TRUE(Out.Writes.empty());
  B.SetWidth(10);  // height still 0
  B.SaveToStream(Out);
  EXPECT_EQ(Out.GetSize(), 0);

  testsupport::TempDir Dir;
  B.SaveToFile(Dir.file("empty.bmp"));
  EXPECT_TRUE(testsupport::ReadFileBytes(Dir.file("empty.bmp")).empty());
}

TEST_F(StreamTest, StreamTakingLessThanAWriteFailsTheSave) {
  TBigBitmap B;
  B.SetWidth(100);
  B.SetHeight(100);
  for (std::int64_t capacity : {0, 10, 14 + 40, 2000}) {
    FullStream Out(capacity);
    EXPECT_THROW(B.SaveToStream(Out), EWriteError) << capacity;
  }
}

// ---- converted inputs --------------------------------------------------------------------------

TEST_F(StreamTest, CoreHeaderFileSavesWithInfoHeaderAndFourByteColours) {
  BmpLayout Core;
  Core.header_size = 12;
  Core.width = 4;
  Core.height = 2;
  Core.bit_count = 1;
  Core.colors = {0, 0, 0, 255, 255, 255};
  Core.pixels = {0xA0, 0, 0, 0, 0x50, 0, 0, 0};
  TBigBitmap B;
  LoadBytes(B, BuildBmp(Core));
  const Bytes Saved = SaveBytes(B);
  EXPECT_EQ(U32At(Saved, 14), 40u);
  EXPECT_EQ(U32At(Saved, 10), 54u + 8);
  EXPECT_EQ(Bytes(Saved.begin() + 54, Saved.begin() + 62), (Bytes{0, 0, 0, 0, 255, 255, 255, 0}));
  EXPECT_EQ(Bytes(Saved.begin() + 62, Saved.end()), Core.pixels);
}

TEST_F(StreamTest, BitFieldFilesLoadAsTwentyFourBits) {
  BmpLayout s;
  s.width = 2;
  s.height = 1;
  s.bit_count = 32;
  s.compression = BI_BITFIELDS;
  s.masks = {0xFF, 0xFF00, 0xFF0000};  // red in the low byte
  s.pixels = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
  TBigBitmap B;
  LoadBytes(B, BuildBmp(s));
  EXPECT_EQ(B.GetPixelFormat(), bbpf24bit);
  const auto* Row = static_cast<const std::uint8_t*>(B.GetScanline(0));
  EXPECT_EQ(Bytes(Row, Row + 8), (Bytes{0x33, 0x22, 0x11, 0x77, 0x66, 0x55, 0, 0}));
}

TEST_F(StreamTest, RunLengthFilesLoadAndSaveUncompressed) {
  BmpLayout s;
  s.width = 5;
  s.height = 2;
  s.compression = BI_RLE8;
  s.colors = GreyColors(256);
  s.pixels = {3, 9, 0, 0, 0, 2, 1, 0, 1, 4, 0, 1};  // bottom row 9 9 9; top row . 4
  TBigBitmap B;
  LoadBytes(B, BuildBmp(s));
  EXPECT_EQ(B.GetPixelFormat(), bbpf8bit);
  const auto* Top = static_cast<const std::uint8_t*>(B.GetScanline(0));
  const auto* Bottom = static_cast<const std::uint8_t*>(B.GetScanline(1));
  EXPECT_EQ(Bytes(Top, Top + 5), (Bytes{0, 4, 0, 0, 0}));
  EXPECT_EQ(Bytes(Bottom, Bottom + 5), (Bytes{9, 9, 9, 0, 0}));
  const Bytes Saved = SaveBytes(B);
  EXPECT_EQ(U32At(Saved, 30), BI_RGB);
  EXPECT_EQ(Saved.size(), 1078u + 2 * 8);
}

// ---- failed and repeated loads -----------------------------------------------------------------

struct TBadFileCase {
  const char* Name;
  BmpLayout Bmp;
  std::string Message;  // empty: only the exception type is checked
  enum TKind { DibUtils, BigBitmap, Read } Kind;
};

BmpLayout Good8(std::int32_t W = 4, std::int32_t h = 2) {
  BmpLayout s;
  s.width = W;
  s.height = h;
  s.colors = GreyColors(256);
  s.clr_used = 256;
  s.pixels.assign(static_cast<std::size_t>(DibStride(W, 8)) * (h < 0 ? -h : h), 5);
  return s;
}

template <typename F>
BmpLayout With(F f) {
  BmpLayout s = Good8();
  f(s);
  return s;
}

// Faults of the size, the pixel data and the format, one at a time.
std::vector<TBadFileCase> SingleFaults() {
  return {
      {"ShortUncompressedRows", With([](BmpLayout& s) { s.pixels.resize(7); }),
       "TBigBitmap.LoadFromStream: Not Enough Pixel Data", TBadFileCase::BigBitmap},
      {"UnknownCompressionShortData", With([](BmpLayout& s) {
         s.compression = 5;
         s.pixels = {0, 1};
       }),
       "TBigBitmap.LoadFromStream: Not Enough Pixel Data", TBadFileCase::BigBitmap},
      {"ShortBitFieldRows", With([](BmpLayout& s) {
         s.bit_count = 16;
         s.colors.clear();
         s.clr_used = 0;
         s.pixels.resize(10);
       }),
       "TBigBitmap.LoadFromStream: Not Enough Pixel Data", TBadFileCase::BigBitmap},
      {"ZeroWidth", With([](BmpLayout& s) { s.width = 0; }),
       "TBigBitmap.LoadFromStream: Invalid Width or Height", TBadFileCase::BigBitmap},
      {"NegativeWidth", With([](BmpLayout& s) { s.width = -4; }),
       "TBigBitmap.LoadFromStream: Invalid Width or Height", TBadFileCase::BigBitmap},
      {"ZeroHeight", With([](BmpLayout& s) { s.height = 0; }),
       "TBigBitmap.LoadFromStream: Invalid Width or Height", TBadFileCase::BigBitmap},
      {"TooWide", With([](BmpLayout& s) {
         s.bit_count = 24;
         s.width = 21759;
         s.colors.clear();
         s.clr_used = 0;
       }),
       "TBigBitmap.LoadFromStream: Too Big Width or Too Many Pixel Bits", TBadFileCase::BigBitmap},
      {"TooWideAfterBitFieldConversion", With([](BmpLayout& s) {
         s.bit_count = 16;
         s.width = 21759;
         s.colors.clear();
         s.clr_used = 0;
       }),
       "TBigBitmap.LoadFromStream: Too Big Width or Too Many Pixel Bits", TBadFileCase::BigBitmap},
      {"NotABitmap", With([](BmpLayout& s) { s.header_size = 20; }),
       "LoadDIBFromStream: Invalid Bitmap Header Size", TBadFileCase::DibUtils},
      {"BadRunLengthData", With([](BmpLayout& s) {
         s.compression = BI_RLE8;
         s.pixels = {9, 1, 0, 1};
       }),
       "Convert8BitRLETo8BitRGB: Bad RLE Data 4", TBadFileCase::DibUtils},
      {"EightBitsMarkedRle4", With([](BmpLayout& s) {
         s.compression = BI_RLE4;
         s.pixels = {0, 1};
       }),
       "Convert4BitRLETo4BitRGB: Invalid Bitcount & Compression Combination",
       TBadFileCase::DibUtils},
  };
}

// Bit-field masks, files with several faults (the one the loading meets first is reported) and a
// file cut short.
std::vector<TBadFileCase> MaskAndSeveralFaults() {
  return {
      {"ZeroMask", With([](BmpLayout& s) {
         s.bit_count = 16;
         s.compression = BI_BITFIELDS;
         s.colors.clear();
         s.clr_used = 0;
         s.masks = {0x7C00, 0, 0x1F};
         s.pixels.assign(16, 0);
       }),
       "TBigBitmap.LoadFromStream: Invalid Masks", TBadFileCase::DibUtils},
      // Two faults: the converters' header checks come before the size checks.
      {"ZeroMaskAndTooWide", With([](BmpLayout& s) {
         s.bit_count = 32;
         s.width = 21759;
         s.compression = BI_BITFIELDS;
         s.colors.clear();
         s.clr_used = 0;
         s.masks = {0xFF0000, 0xFF00, 0};
         s.pixels.clear();
       }),
       "TBigBitmap.LoadFromStream: Invalid Masks", TBadFileCase::DibUtils},
      {"ZeroMaskAndZeroHeight", With([](BmpLayout& s) {
         s.bit_count = 16;
         s.height = 0;
         s.compression = BI_BITFIELDS;
         s.colors.clear();
         s.clr_used = 0;
         s.masks = {0, 0x3E0, 0x1F};
       }),
       "TBigBitmap.LoadFromStream: Invalid Masks", TBadFileCase::DibUtils},
      {"ZeroMaskAndShortRows", With([](BmpLayout& s) {
         s.bit_count = 16;
         s.compression = BI_BITFIELDS;
         s.colors.clear();
         s.clr_used = 0;
         s.masks = {0x7C00, 0x3E0, 0};
         s.pixels.resize(3);
       }),
       "TBigBitmap.LoadFromStream: Invalid Masks", TBadFileCase::DibUtils},
      {"EightBitsMarkedRle4AndZeroWidth", With([](BmpLayout& s) {
         s.compression = BI_RLE4;
         s.width = 0;
         s.pixels = {0, 1};
       }),
       "Convert4BitRLETo4BitRGB: Invalid Bitcount & Compression Combination",
       TBadFileCase::DibUtils},
      {"TwentyFourBitsMarkedRle8AndTooWide", With([](BmpLayout& s) {
         s.bit_count = 24;
         s.width = 21759;
         s.compression = BI_RLE8;
         s.colors.clear();
         s.clr_used = 0;
         s.pixels = {0, 1};
       }),
       "Convert8BitRLETo8BitRGB: Invalid Bitcount & Compression Combination",
       TBadFileCase::DibUtils},
      {"TruncatedFile", With([](BmpLayout& s) { s.FileSize = 1078 + 100; }), "",
       TBadFileCase::Read},
  };
}

std::vector<TBadFileCase> BadFiles() {
  std::vector<TBadFileCase> Cases = SingleFaults();
  for (TBadFileCase& Case : MaskAndSeveralFaults()) Cases.push_back(std::move(Case));
  return Cases;
}

class FailedLoad : public StreamTest, public testing::WithParamInterface<TBadFileCase> {};

TEST_P(FailedLoad, LeavesTheBitmapAsItWasWithoutNotifying) {
  TBigBitmap B;
  BmpLayout Before = Good8(3, 3);
  Before.pixels = {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0};
  LoadBytes(B, BuildBmp(Before));
  B.SetDrawMode(1);
  const void* BandBefore = B.Bitmaps()[0].get();
  const Bytes SavedBefore = SaveBytes(B);
  ChangeCounter Changes(B);

  const TBadFileCase& C = GetParam();
  try {
    LoadBytes(B, BuildBmp(C.Bmp));
    ADD_FAILURE() << "the load must fail";
  } catch (const EBigBitmapError& E) {
    EXPECT_EQ(C.Kind, TBadFileCase::BigBitmap);
    EXPECT_EQ(E.what(), C.Message);
  } catch (const EDIBUtilsError& E) {
    EXPECT_EQ(C.Kind, TBadFileCase::DibUtils);
    EXPECT_EQ(E.what(), C.Message);
  } catch (const EReadError&) {
    EXPECT_EQ(C.Kind, TBadFileCase::Read);
  }
  EXPECT_EQ(Changes.count, 0);
  EXPECT_EQ(B.GetDrawMode(), 1);
  EXPECT_EQ(B.Bitmaps()[0].get(), BandBefore);
  EXPECT_EQ(SaveBytes(B), SavedBefore);
}

INSTANTIATE_TEST_SUITE_P(BadFiles, FailedLoad, testing::ValuesIn(BadFiles()),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(StreamTest, SuccessfulLoadNotifiesOnceAndKeepsDrawMode) {
  TBigBitmap B;
  LoadBytes(B, BuildBmp(Good8()));
  B.SetDrawMode(1);
  ChangeCounter Changes(B);
  B.SetPaletteModified(false);
  LoadBytes(B, BuildBmp(Good8(7, 9)));
  EXPECT_EQ(Changes.count, 1);
  EXPECT_TRUE(B.GetPaletteModified());
  EXPECT_EQ(B.GetDrawMode(), 1);
  EXPECT_EQ(B.GetWidth(), 7);
  EXPECT_EQ(B.GetHeight(), 9);
}

TEST_F(StreamTest, EveryBandOwnsItsOwnCopyOfTheFilesColours) {
  BmpLayout s = Good8(8192, 2100);  // bands of 1024 rows: 3 bands
  TBigBitmap B;
  LoadBytes(B, BuildBmp(s));
  ASSERT_EQ(B.Bitmaps().size(), 3u);
  std::vector<HPALETTE> Handles;
  for (const auto& Band : B.Bitmaps()) {
    EXPECT_EQ(bigbitmaptest::TableColour(*Band, 200), bigbitmaptest::RGB(200, 200, 200));
    Handles.push_back(Band->GetPalette());
  }
  EXPECT_NE(Handles[0], Handles[1]);
  EXPECT_NE(Handles[1], Handles[2]);
}

TEST_F(StreamTest, FileRoundTripThroughTheFileSystem) {
  testsupport::TempDir Dir;
  const Bytes File = BuildBmp(Good8(9, 4));
  testsupport::WriteFileBytes(Dir.file("in.bmp"), File);
  TBigBitmap B;
  B.LoadFromFile(Dir.file("in.bmp"));
  B.SaveToFile(Dir.file("out.bmp"));
  EXPECT_EQ(testsupport::ReadFileBytes(Dir.file("out.bmp")), File);
}

}  // namespace
