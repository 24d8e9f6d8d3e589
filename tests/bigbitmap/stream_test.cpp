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

using bigbitmaptest::TChangeCounter;
using bigbitmaptest::LeakCheckedTest;
using testsupport::TBmpLayout;
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
  explicit FullStream(std::int64_t Capacity) : FCapacity(Capacity) {}
  std::int32_t Write(const void* Buffer, std::int32_t Count) override {
    const std::int64_t Room = FCapacity - GetSize();
    return TMemoryStream::Write(Buffer, static_cast<std::int32_t>(Room < Count ? Room : Count));
  }

 private:
  std::int64_t FCapacity;
};

void LoadBytes(TBigBitmap& B, const Bytes& File) {
  TMemoryStream S;
  S.WriteBuffer(File.data(), static_cast<std::int32_t>(File.size()));
  S.SetPosition(0);
  B.LoadFromStream(S);
}

Bytes SaveBytes(TBigBitmap& B) {
  TMemoryStream S;
  B.SaveToStream(S);
  const auto* P = static_cast<const std::uint8_t*>(S.Memory());
  return Bytes(P, P + S.GetSize());
}

std::uint32_t U32At(const Bytes& F, std::size_t Off) {
  std::uint32_t V;
  std::memcpy(&V, F.data() + Off, 4);
  return V;
}
std::uint16_t U16At(const Bytes& F, std::size_t Off) {
  return static_cast<std::uint16_t>(F[Off] | (F[Off + 1] << 8));
}

// Rows of distinct bytes, pad bytes zero, as a bottom-up (or top-down) block of whole rows.
Bytes PatternRows(std::int32_t Width, std::int32_t Height, int Bits, bool BottomUp) {
  const std::int32_t Stride = DibStride(Width, Bits);
  const std::int32_t Used = (Width * Bits + 7) / 8;
  Bytes Px(static_cast<std::size_t>(Stride) * Height, 0);
  for (std::int32_t R = 0; R < Height; ++R) {  // r counts from the top
    const std::int32_t Stored = BottomUp ? Height - 1 - R : R;
    for (std::int32_t I = 0; I < Used; ++I) {
      std::uint8_t V = static_cast<std::uint8_t>(R * 31 + I * 7 + (R >> 8));
      if (I == Used - 1 && (Width * Bits) % 8 != 0) {
        V &= static_cast<std::uint8_t>(0xFF << (8 - (Width * Bits) % 8));  // unused low bits
      }
      Px[static_cast<std::size_t>(Stored) * Stride + I] = V;
    }
  }
  return Px;
}

// ---- round trips -------------------------------------------------------------------------------

struct TRoundTripCase {
  const char* Name;
  int Bits;
  std::int32_t Width, Height;
  TBBPixelFormat Format;
};

class RoundTrip : public StreamTest, public testing::WithParamInterface<TRoundTripCase> {};

TEST_P(RoundTrip, LoadThenSaveGivesTheFileBackByteForByte) {
  const TRoundTripCase& C = GetParam();
  TBmpLayout S;
  S.Width = C.Width;
  S.Height = C.Height;
  S.BitCount = static_cast<std::uint16_t>(C.Bits);
  const int Colours = C.Bits == 24 ? 0 : 1 << C.Bits;
  S.ClrUsed = static_cast<std::uint32_t>(Colours);
  for (int I = 0; I < Colours; ++I) {
    S.Colors.insert(S.Colors.end(),
                    {static_cast<std::uint8_t>(I), static_cast<std::uint8_t>(255 - I),
                     static_cast<std::uint8_t>(I * 3), 0});
  }
  S.Pixels = PatternRows(C.Width, C.Height, C.Bits, true);
  const Bytes File = BuildBmp(S);

  TBigBitmap B;
  LoadBytes(B, File);
  EXPECT_EQ(B.GetWidth(), C.Width);
  EXPECT_EQ(B.GetHeight(), C.Height);
  EXPECT_EQ(B.GetPixelFormat(), C.Format);
  // Image row 0 is the file's last stored row.
  const std::int32_t Stride = DibStride(C.Width, C.Bits);
  EXPECT_EQ(std::memcmp(B.GetScanline(0), S.Pixels.data() + (C.Height - 1) * Stride,
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
  const std::int32_t W = 4096, H = 5000;  // stride 4096: bands of 2048 rows
  TBmpLayout Top;
  Top.Width = W;
  Top.Height = -H;
  Top.Colors = GreyColors(256);
  Top.ClrUsed = 256;
  Top.Pixels = PatternRows(W, H, 8, false);
  TBigBitmap B;
  LoadBytes(B, BuildBmp(Top));
  ASSERT_EQ(B.Bitmaps().size(), 3u);
  ASSERT_EQ(B.GetHeight(), H);
  for (std::int32_t R : {0, 1, 2047, 2048, 2049, 4095, 4096, 4999}) {
    EXPECT_EQ(std::memcmp(B.GetScanline(R), Top.Pixels.data() + static_cast<std::size_t>(R) * W, W),
              0)
        << "row " << R;
  }
  TBmpLayout Bottom = Top;
  Bottom.Height = H;
  Bottom.Pixels = PatternRows(W, H, 8, true);
  EXPECT_EQ(SaveBytes(B), BuildBmp(Bottom));
}

// Plain rows go from the stream straight into the bands. Whatever the depth and row order, the
// bands hold exactly the rows that the DIB record gives (row r of the image from the record's
// bytes at (H - 1 - r) * S bottom-up, r * S top-down), padding included, and the stream is left
// where reading the record leaves it. Every file has a gap before its pixels and bytes after
// them, and two bands (1117 rows of 7504 bytes, then 3).
struct TDirectLoadCase {
  const char* Name;
  int Bits;
  std::int32_t Width;
  bool BottomUp;
};

class DirectLoad : public StreamTest, public testing::WithParamInterface<TDirectLoadCase> {};

TEST_P(DirectLoad, BandsHoldTheRowsOfTheRecord) {
  const TDirectLoadCase& C = GetParam();
  const std::int32_t H = 1120;
  TBmpLayout S;
  S.Width = C.Width;
  S.Height = C.BottomUp ? H : -H;
  S.BitCount = static_cast<std::uint16_t>(C.Bits);
  if (C.Bits <= 8) {
    S.Colors = GreyColors(1 << C.Bits);
    S.ClrUsed = 1u << C.Bits;
  }
  S.Pixels = PatternRows(C.Width, H, C.Bits, C.BottomUp);
  // Padding bytes that are not zero must arrive as they are.
  const std::int32_t Stride = DibStride(C.Width, C.Bits);
  for (std::size_t R = 0; R < static_cast<std::size_t>(H); ++R)
    S.Pixels[R * Stride + Stride - 1] ^= 0x5A;
  S.OffBits = 54 + static_cast<std::int64_t>(S.Colors.size()) + 6;
  Bytes GapBefore(6, 0xEE);
  S.Colors.insert(S.Colors.end(), GapBefore.begin(), GapBefore.end());
  S.Pixels.insert(S.Pixels.end(), 9, 0x77);
  const Bytes File = BuildBmp(S);

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
  for (std::int32_t R = 0; R < H; ++R) {
    const std::int64_t At = (C.BottomUp ? H - 1 - R : R) * static_cast<std::int64_t>(Stride);
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
  const std::int32_t W = 6144, H = 4096;
  TBmpLayout S;
  S.Width = W;
  S.Height = H;
  S.Colors = GreyColors(256);
  S.ClrUsed = 256;
  S.Pixels.assign(static_cast<std::size_t>(W) * H, 0);
  for (std::int32_t Y = 0; Y < H; ++Y) S.Pixels[static_cast<std::size_t>(Y) * W] = 1;
  const Bytes File = BuildBmp(S);
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

  testsupport::TTempDir Dir;
  B.SaveToFile(Dir.File("empty.bmp"));
  EXPECT_TRUE(testsupport::ReadFileBytes(Dir.File("empty.bmp")).empty());
}

TEST_F(StreamTest, StreamTakingLessThanAWriteFailsTheSave) {
  TBigBitmap B;
  B.SetWidth(100);
  B.SetHeight(100);
  for (std::int64_t Capacity : {0, 10, 14 + 40, 2000}) {
    FullStream Out(Capacity);
    EXPECT_THROW(B.SaveToStream(Out), EWriteError) << Capacity;
  }
}

// ---- converted inputs --------------------------------------------------------------------------

TEST_F(StreamTest, CoreHeaderFileSavesWithInfoHeaderAndFourByteColours) {
  TBmpLayout Core;
  Core.HeaderSize = 12;
  Core.Width = 4;
  Core.Height = 2;
  Core.BitCount = 1;
  Core.Colors = {0, 0, 0, 255, 255, 255};
  Core.Pixels = {0xA0, 0, 0, 0, 0x50, 0, 0, 0};
  TBigBitmap B;
  LoadBytes(B, BuildBmp(Core));
  const Bytes Saved = SaveBytes(B);
  EXPECT_EQ(U32At(Saved, 14), 40u);
  EXPECT_EQ(U32At(Saved, 10), 54u + 8);
  EXPECT_EQ(Bytes(Saved.begin() + 54, Saved.begin() + 62), (Bytes{0, 0, 0, 0, 255, 255, 255, 0}));
  EXPECT_EQ(Bytes(Saved.begin() + 62, Saved.end()), Core.Pixels);
}

TEST_F(StreamTest, BitFieldFilesLoadAsTwentyFourBits) {
  TBmpLayout S;
  S.Width = 2;
  S.Height = 1;
  S.BitCount = 32;
  S.Compression = BI_BITFIELDS;
  S.Masks = {0xFF, 0xFF00, 0xFF0000};  // red in the low byte
  S.Pixels = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
  TBigBitmap B;
  LoadBytes(B, BuildBmp(S));
  EXPECT_EQ(B.GetPixelFormat(), bbpf24bit);
  const auto* Row = static_cast<const std::uint8_t*>(B.GetScanline(0));
  EXPECT_EQ(Bytes(Row, Row + 8), (Bytes{0x33, 0x22, 0x11, 0x77, 0x66, 0x55, 0, 0}));
}

TEST_F(StreamTest, RunLengthFilesLoadAndSaveUncompressed) {
  TBmpLayout S;
  S.Width = 5;
  S.Height = 2;
  S.Compression = BI_RLE8;
  S.Colors = GreyColors(256);
  S.Pixels = {3, 9, 0, 0, 0, 2, 1, 0, 1, 4, 0, 1};  // bottom row 9 9 9; top row . 4
  TBigBitmap B;
  LoadBytes(B, BuildBmp(S));
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
  TBmpLayout Bmp;
  std::string Message;  // empty: only the exception type is checked
  enum TKind { DibUtils, BigBitmap, Read } Kind;
};

TBmpLayout Good8(std::int32_t W = 4, std::int32_t H = 2) {
  TBmpLayout S;
  S.Width = W;
  S.Height = H;
  S.Colors = GreyColors(256);
  S.ClrUsed = 256;
  S.Pixels.assign(static_cast<std::size_t>(DibStride(W, 8)) * (H < 0 ? -H : H), 5);
  return S;
}

template <typename TChange>
TBmpLayout With(TChange Change) {
  TBmpLayout S = Good8();
  Change(S);
  return S;
}

// Faults of the size, the pixel data and the format, one at a time.
std::vector<TBadFileCase> SingleFaults() {
  return {
      {"ShortUncompressedRows", With([](TBmpLayout& S) { S.Pixels.resize(7); }),
       "TBigBitmap.LoadFromStream: Not Enough Pixel Data", TBadFileCase::BigBitmap},
      {"UnknownCompressionShortData", With([](TBmpLayout& S) {
         S.Compression = 5;
         S.Pixels = {0, 1};
       }),
       "TBigBitmap.LoadFromStream: Not Enough Pixel Data", TBadFileCase::BigBitmap},
      {"ShortBitFieldRows", With([](TBmpLayout& S) {
         S.BitCount = 16;
         S.Colors.clear();
         S.ClrUsed = 0;
         S.Pixels.resize(10);
       }),
       "TBigBitmap.LoadFromStream: Not Enough Pixel Data", TBadFileCase::BigBitmap},
      {"ZeroWidth", With([](TBmpLayout& S) { S.Width = 0; }),
       "TBigBitmap.LoadFromStream: Invalid Width or Height", TBadFileCase::BigBitmap},
      {"NegativeWidth", With([](TBmpLayout& S) { S.Width = -4; }),
       "TBigBitmap.LoadFromStream: Invalid Width or Height", TBadFileCase::BigBitmap},
      {"ZeroHeight", With([](TBmpLayout& S) { S.Height = 0; }),
       "TBigBitmap.LoadFromStream: Invalid Width or Height", TBadFileCase::BigBitmap},
      {"TooWide", With([](TBmpLayout& S) {
         S.BitCount = 24;
         S.Width = 21759;
         S.Colors.clear();
         S.ClrUsed = 0;
       }),
       "TBigBitmap.LoadFromStream: Too Big Width or Too Many Pixel Bits", TBadFileCase::BigBitmap},
      {"TooWideAfterBitFieldConversion", With([](TBmpLayout& S) {
         S.BitCount = 16;
         S.Width = 21759;
         S.Colors.clear();
         S.ClrUsed = 0;
       }),
       "TBigBitmap.LoadFromStream: Too Big Width or Too Many Pixel Bits", TBadFileCase::BigBitmap},
      {"NotABitmap", With([](TBmpLayout& S) { S.HeaderSize = 20; }),
       "LoadDIBFromStream: Invalid Bitmap Header Size", TBadFileCase::DibUtils},
      {"BadRunLengthData", With([](TBmpLayout& S) {
         S.Compression = BI_RLE8;
         S.Pixels = {9, 1, 0, 1};
       }),
       "Convert8BitRLETo8BitRGB: Bad RLE Data 4", TBadFileCase::DibUtils},
      {"EightBitsMarkedRle4", With([](TBmpLayout& S) {
         S.Compression = BI_RLE4;
         S.Pixels = {0, 1};
       }),
       "Convert4BitRLETo4BitRGB: Invalid Bitcount & Compression Combination",
       TBadFileCase::DibUtils},
  };
}

// Bit-field masks, files with several faults (the one the loading meets first is reported) and a
// file cut short.
std::vector<TBadFileCase> MaskAndSeveralFaults() {
  return {
      {"ZeroMask", With([](TBmpLayout& S) {
         S.BitCount = 16;
         S.Compression = BI_BITFIELDS;
         S.Colors.clear();
         S.ClrUsed = 0;
         S.Masks = {0x7C00, 0, 0x1F};
         S.Pixels.assign(16, 0);
       }),
       "TBigBitmap.LoadFromStream: Invalid Masks", TBadFileCase::DibUtils},
      // Two faults: the converters' header checks come before the size checks.
      {"ZeroMaskAndTooWide", With([](TBmpLayout& S) {
         S.BitCount = 32;
         S.Width = 21759;
         S.Compression = BI_BITFIELDS;
         S.Colors.clear();
         S.ClrUsed = 0;
         S.Masks = {0xFF0000, 0xFF00, 0};
         S.Pixels.clear();
       }),
       "TBigBitmap.LoadFromStream: Invalid Masks", TBadFileCase::DibUtils},
      {"ZeroMaskAndZeroHeight", With([](TBmpLayout& S) {
         S.BitCount = 16;
         S.Height = 0;
         S.Compression = BI_BITFIELDS;
         S.Colors.clear();
         S.ClrUsed = 0;
         S.Masks = {0, 0x3E0, 0x1F};
       }),
       "TBigBitmap.LoadFromStream: Invalid Masks", TBadFileCase::DibUtils},
      {"ZeroMaskAndShortRows", With([](TBmpLayout& S) {
         S.BitCount = 16;
         S.Compression = BI_BITFIELDS;
         S.Colors.clear();
         S.ClrUsed = 0;
         S.Masks = {0x7C00, 0x3E0, 0};
         S.Pixels.resize(3);
       }),
       "TBigBitmap.LoadFromStream: Invalid Masks", TBadFileCase::DibUtils},
      {"EightBitsMarkedRle4AndZeroWidth", With([](TBmpLayout& S) {
         S.Compression = BI_RLE4;
         S.Width = 0;
         S.Pixels = {0, 1};
       }),
       "Convert4BitRLETo4BitRGB: Invalid Bitcount & Compression Combination",
       TBadFileCase::DibUtils},
      {"TwentyFourBitsMarkedRle8AndTooWide", With([](TBmpLayout& S) {
         S.BitCount = 24;
         S.Width = 21759;
         S.Compression = BI_RLE8;
         S.Colors.clear();
         S.ClrUsed = 0;
         S.Pixels = {0, 1};
       }),
       "Convert8BitRLETo8BitRGB: Invalid Bitcount & Compression Combination",
       TBadFileCase::DibUtils},
      {"TruncatedFile", With([](TBmpLayout& S) { S.FileSize = 1078 + 100; }), "",
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
  TBmpLayout Before = Good8(3, 3);
  Before.Pixels = {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0};
  LoadBytes(B, BuildBmp(Before));
  B.SetDrawMode(1);
  const void* BandBefore = B.Bitmaps()[0].get();
  const Bytes SavedBefore = SaveBytes(B);
  TChangeCounter Changes(B);

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
  EXPECT_EQ(Changes.Count, 0);
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
  TChangeCounter Changes(B);
  B.SetPaletteModified(false);
  LoadBytes(B, BuildBmp(Good8(7, 9)));
  EXPECT_EQ(Changes.Count, 1);
  EXPECT_TRUE(B.GetPaletteModified());
  EXPECT_EQ(B.GetDrawMode(), 1);
  EXPECT_EQ(B.GetWidth(), 7);
  EXPECT_EQ(B.GetHeight(), 9);
}

TEST_F(StreamTest, EveryBandOwnsItsOwnCopyOfTheFilesColours) {
  TBmpLayout S = Good8(8192, 2100);  // bands of 1024 rows: 3 bands
  TBigBitmap B;
  LoadBytes(B, BuildBmp(S));
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
  testsupport::TTempDir Dir;
  const Bytes File = BuildBmp(Good8(9, 4));
  testsupport::WriteFileBytes(Dir.File("in.bmp"), File);
  TBigBitmap B;
  B.LoadFromFile(Dir.File("in.bmp"));
  B.SaveToFile(Dir.File("out.bmp"));
  EXPECT_EQ(testsupport::ReadFileBytes(Dir.File("out.bmp")), File);
}

}  // namespace
