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
    writes.push_back(Count);
    return TMemoryStream::Write(Buffer, Count);
  }
  std::vector<std::int32_t> writes;
};

// A stream that takes at most Capacity bytes in all.
class FullStream : public TMemoryStream {
 public:
  explicit FullStream(std::int64_t capacity) : capacity_(capacity) {}
  std::int32_t Write(const void* Buffer, std::int32_t Count) override {
    const std::int64_t room = capacity_ - GetSize();
    return TMemoryStream::Write(Buffer, static_cast<std::int32_t>(room < Count ? room : Count));
  }

 private:
  std::int64_t capacity_;
};

void LoadBytes(TBigBitmap& b, const Bytes& file) {
  TMemoryStream s;
  s.WriteBuffer(file.data(), static_cast<std::int32_t>(file.size()));
  s.SetPosition(0);
  b.LoadFromStream(s);
}

Bytes SaveBytes(TBigBitmap& b) {
  TMemoryStream s;
  b.SaveToStream(s);
  const auto* p = static_cast<const std::uint8_t*>(s.Memory());
  return Bytes(p, p + s.GetSize());
}

std::uint32_t U32At(const Bytes& f, std::size_t off) {
  std::uint32_t v;
  std::memcpy(&v, f.data() + off, 4);
  return v;
}
std::uint16_t U16At(const Bytes& f, std::size_t off) {
  return static_cast<std::uint16_t>(f[off] | (f[off + 1] << 8));
}

// Rows of distinct bytes, pad bytes zero, as a bottom-up (or top-down) block of whole rows.
Bytes PatternRows(std::int32_t width, std::int32_t height, int bits, bool bottom_up) {
  const std::int32_t stride = DibStride(width, bits);
  const std::int32_t used = (width * bits + 7) / 8;
  Bytes px(static_cast<std::size_t>(stride) * height, 0);
  for (std::int32_t r = 0; r < height; ++r) {  // r counts from the top
    const std::int32_t stored = bottom_up ? height - 1 - r : r;
    for (std::int32_t i = 0; i < used; ++i) {
      std::uint8_t v = static_cast<std::uint8_t>(r * 31 + i * 7 + (r >> 8));
      if (i == used - 1 && (width * bits) % 8 != 0) {
        v &= static_cast<std::uint8_t>(0xFF << (8 - (width * bits) % 8));  // unused low bits
      }
      px[static_cast<std::size_t>(stored) * stride + i] = v;
    }
  }
  return px;
}

// ---- round trips -------------------------------------------------------------------------------

struct RoundTripCase {
  const char* name;
  int bits;
  std::int32_t width, height;
  TBBPixelFormat format;
};

class RoundTrip : public StreamTest, public testing::WithParamInterface<RoundTripCase> {};

TEST_P(RoundTrip, LoadThenSaveGivesTheFileBackByteForByte) {
  const RoundTripCase& c = GetParam();
  BmpLayout s;
  s.width = c.width;
  s.height = c.height;
  s.bit_count = static_cast<std::uint16_t>(c.bits);
  const int colours = c.bits == 24 ? 0 : 1 << c.bits;
  s.clr_used = static_cast<std::uint32_t>(colours);
  for (int i = 0; i < colours; ++i) {
    s.colors.insert(s.colors.end(),
                    {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i),
                     static_cast<std::uint8_t>(i * 3), 0});
  }
  s.pixels = PatternRows(c.width, c.height, c.bits, true);
  const Bytes file = BuildBmp(s);

  TBigBitmap b;
  LoadBytes(b, file);
  EXPECT_EQ(b.GetWidth(), c.width);
  EXPECT_EQ(b.GetHeight(), c.height);
  EXPECT_EQ(b.GetPixelFormat(), c.format);
  // Image row 0 is the file's last stored row.
  const std::int32_t stride = DibStride(c.width, c.bits);
  EXPECT_EQ(std::memcmp(b.GetScanline(0), s.pixels.data() + (c.height - 1) * stride,
                        static_cast<std::size_t>(stride)),
            0);
  EXPECT_EQ(SaveBytes(b), file);
}

INSTANTIATE_TEST_SUITE_P(Formats, RoundTrip,
                         testing::ValuesIn(std::vector<RoundTripCase>{
                             {"OneBitOddWidth", 1, 37, 5, bbpf1bit},
                             {"FourBitOddWidth", 4, 13, 4, bbpf4bit},
                             {"EightBit", 8, 6, 3, bbpf8bit},
                             {"EightBitThreePadBytes", 8, 125, 7, bbpf8bit},
                             {"TwentyFourBit", 24, 5, 4, bbpf24bit},
                             {"TwentyFourBitSeveralBands", 24, 3000, 1000, bbpf24bit},
                         }),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(StreamTest, TopDownFileTallerThanOneBandLoadsEveryRowInPlaceAndSavesBottomUp) {
  const std::int32_t w = 4096, h = 5000;  // stride 4096: bands of 2048 rows
  BmpLayout top;
  top.width = w;
  top.height = -h;
  top.colors = GreyColors(256);
  top.clr_used = 256;
  top.pixels = PatternRows(w, h, 8, false);
  TBigBitmap b;
  LoadBytes(b, BuildBmp(top));
  ASSERT_EQ(b.Bitmaps().size(), 3u);
  ASSERT_EQ(b.GetHeight(), h);
  for (std::int32_t r : {0, 1, 2047, 2048, 2049, 4095, 4096, 4999}) {
    EXPECT_EQ(std::memcmp(b.GetScanline(r), top.pixels.data() + static_cast<std::size_t>(r) * w, w),
              0)
        << "row " << r;
  }
  BmpLayout bottom = top;
  bottom.height = h;
  bottom.pixels = PatternRows(w, h, 8, true);
  EXPECT_EQ(SaveBytes(b), BuildBmp(bottom));
}

// ---- the saved layout --------------------------------------------------------------------------

TEST_F(StreamTest, LargeEightBitMapSavesInBandCountPlusTwoWritesWithTheCanonicalHeaders) {
  const std::int32_t w = 6144, h = 4096;
  BmpLayout s;
  s.width = w;
  s.height = h;
  s.colors = GreyColors(256);
  s.clr_used = 256;
  s.pixels.assign(static_cast<std::size_t>(w) * h, 0);
  for (std::int32_t y = 0; y < h; ++y) s.pixels[static_cast<std::size_t>(y) * w] = 1;
  const Bytes file = BuildBmp(s);
  TBigBitmap b;
  LoadBytes(b, file);
  ASSERT_EQ(b.Bitmaps().size(), 4u);
  EXPECT_EQ(b.Bitmaps()[3]->GetHeight(), 1);

  CountingStream out;
  b.SaveToStream(out);
  EXPECT_EQ(out.writes, (std::vector<std::int32_t>{14, 40 + 1024, 6144, 1365 * 6144, 1365 * 6144,
                                                   1365 * 6144}));
  const auto* p = static_cast<const std::uint8_t*>(out.Memory());
  const Bytes saved(p, p + out.GetSize());
  ASSERT_EQ(saved.size(), 25166902u);
  EXPECT_EQ(U16At(saved, 0), 0x4D42);
  EXPECT_EQ(U32At(saved, 2), 25166902u);  // bfSize
  EXPECT_EQ(U32At(saved, 6), 0u);         // both reserved words
  EXPECT_EQ(U32At(saved, 10), 1078u);     // bfOffBits
  EXPECT_EQ(U32At(saved, 14), 40u);
  EXPECT_EQ(U32At(saved, 18), 6144u);
  EXPECT_EQ(U32At(saved, 22), 4096u);
  EXPECT_EQ(U16At(saved, 26), 1);
  EXPECT_EQ(U16At(saved, 28), 8);
  EXPECT_EQ(U32At(saved, 30), 0u);  // compression
  EXPECT_EQ(U32At(saved, 34), 0u);  // biSizeImage
  EXPECT_EQ(U32At(saved, 38), 0u);
  EXPECT_EQ(U32At(saved, 42), 0u);
  EXPECT_EQ(U32At(saved, 46), 256u);  // biClrUsed
  EXPECT_EQ(U32At(saved, 50), 0u);
  EXPECT_TRUE(saved == file);
}

TEST_F(StreamTest, TwentyFourBitImageSavesWithoutColourTable) {
  TBigBitmap b;
  b.SetPixelFormat(bbpf24bit);
  b.SetWidth(3);
  b.SetHeight(2);
  const Bytes saved = SaveBytes(b);
  ASSERT_EQ(saved.size(), 54u + 2 * 12);
  EXPECT_EQ(U32At(saved, 10), 54u);
  EXPECT_EQ(U32At(saved, 46), 0u);
}

TEST_F(StreamTest, EmptyBitmapWritesNothing) {
  TBigBitmap b;
  CountingStream out;
  b.SaveToStream(out);
  EXPECT_TRUE(out.writes.empty());
  b.SetWidth(10);  // height still 0
  b.SaveToStream(out);
  EXPECT_EQ(out.GetSize(), 0);

  testsupport::TempDir dir;
  b.SaveToFile(dir.file("empty.bmp"));
  EXPECT_TRUE(testsupport::ReadFileBytes(dir.file("empty.bmp")).empty());
}

TEST_F(StreamTest, StreamTakingLessThanAWriteFailsTheSave) {
  TBigBitmap b;
  b.SetWidth(100);
  b.SetHeight(100);
  for (std::int64_t capacity : {0, 10, 14 + 40, 2000}) {
    FullStream out(capacity);
    EXPECT_THROW(b.SaveToStream(out), EWriteError) << capacity;
  }
}

// ---- converted inputs --------------------------------------------------------------------------

TEST_F(StreamTest, CoreHeaderFileSavesWithInfoHeaderAndFourByteColours) {
  BmpLayout core;
  core.header_size = 12;
  core.width = 4;
  core.height = 2;
  core.bit_count = 1;
  core.colors = {0, 0, 0, 255, 255, 255};
  core.pixels = {0xA0, 0, 0, 0, 0x50, 0, 0, 0};
  TBigBitmap b;
  LoadBytes(b, BuildBmp(core));
  const Bytes saved = SaveBytes(b);
  EXPECT_EQ(U32At(saved, 14), 40u);
  EXPECT_EQ(U32At(saved, 10), 54u + 8);
  EXPECT_EQ(Bytes(saved.begin() + 54, saved.begin() + 62), (Bytes{0, 0, 0, 0, 255, 255, 255, 0}));
  EXPECT_EQ(Bytes(saved.begin() + 62, saved.end()), core.pixels);
}

TEST_F(StreamTest, BitFieldFilesLoadAsTwentyFourBits) {
  BmpLayout s;
  s.width = 2;
  s.height = 1;
  s.bit_count = 32;
  s.compression = BI_BITFIELDS;
  s.masks = {0xFF, 0xFF00, 0xFF0000};  // red in the low byte
  s.pixels = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
  TBigBitmap b;
  LoadBytes(b, BuildBmp(s));
  EXPECT_EQ(b.GetPixelFormat(), bbpf24bit);
  const auto* row = static_cast<const std::uint8_t*>(b.GetScanline(0));
  EXPECT_EQ(Bytes(row, row + 8), (Bytes{0x33, 0x22, 0x11, 0x77, 0x66, 0x55, 0, 0}));
}

TEST_F(StreamTest, RunLengthFilesLoadAndSaveUncompressed) {
  BmpLayout s;
  s.width = 5;
  s.height = 2;
  s.compression = BI_RLE8;
  s.colors = GreyColors(256);
  s.pixels = {3, 9, 0, 0, 0, 2, 1, 0, 1, 4, 0, 1};  // bottom row 9 9 9; top row . 4
  TBigBitmap b;
  LoadBytes(b, BuildBmp(s));
  EXPECT_EQ(b.GetPixelFormat(), bbpf8bit);
  const auto* top = static_cast<const std::uint8_t*>(b.GetScanline(0));
  const auto* bottom = static_cast<const std::uint8_t*>(b.GetScanline(1));
  EXPECT_EQ(Bytes(top, top + 5), (Bytes{0, 4, 0, 0, 0}));
  EXPECT_EQ(Bytes(bottom, bottom + 5), (Bytes{9, 9, 9, 0, 0}));
  const Bytes saved = SaveBytes(b);
  EXPECT_EQ(U32At(saved, 30), BI_RGB);
  EXPECT_EQ(saved.size(), 1078u + 2 * 8);
}

// ---- failed and repeated loads -----------------------------------------------------------------

struct BadFileCase {
  const char* name;
  BmpLayout bmp;
  std::string message;  // empty: only the exception type is checked
  enum Kind { DibUtils, BigBitmap, Read } kind;
};

BmpLayout Good8(std::int32_t w = 4, std::int32_t h = 2) {
  BmpLayout s;
  s.width = w;
  s.height = h;
  s.colors = GreyColors(256);
  s.clr_used = 256;
  s.pixels.assign(static_cast<std::size_t>(DibStride(w, 8)) * (h < 0 ? -h : h), 5);
  return s;
}

template <typename F>
BmpLayout With(F f) {
  BmpLayout s = Good8();
  f(s);
  return s;
}

std::vector<BadFileCase> BadFiles() {
  return {
      {"ShortUncompressedRows", With([](BmpLayout& s) { s.pixels.resize(7); }),
       "TBigBitmap.LoadFromStream: Not Enough Pixel Data", BadFileCase::BigBitmap},
      {"UnknownCompressionShortData", With([](BmpLayout& s) {
         s.compression = 5;
         s.pixels = {0, 1};
       }),
       "TBigBitmap.LoadFromStream: Not Enough Pixel Data", BadFileCase::BigBitmap},
      {"ShortBitFieldRows", With([](BmpLayout& s) {
         s.bit_count = 16;
         s.colors.clear();
         s.clr_used = 0;
         s.pixels.resize(10);
       }),
       "TBigBitmap.LoadFromStream: Not Enough Pixel Data", BadFileCase::BigBitmap},
      {"ZeroWidth", With([](BmpLayout& s) { s.width = 0; }),
       "TBigBitmap.LoadFromStream: Invalid Width or Height", BadFileCase::BigBitmap},
      {"NegativeWidth", With([](BmpLayout& s) { s.width = -4; }),
       "TBigBitmap.LoadFromStream: Invalid Width or Height", BadFileCase::BigBitmap},
      {"ZeroHeight", With([](BmpLayout& s) { s.height = 0; }),
       "TBigBitmap.LoadFromStream: Invalid Width or Height", BadFileCase::BigBitmap},
      {"TooWide", With([](BmpLayout& s) {
         s.bit_count = 24;
         s.width = 21759;
         s.colors.clear();
         s.clr_used = 0;
       }),
       "TBigBitmap.LoadFromStream: Too Big Width or Too Many Pixel Bits", BadFileCase::BigBitmap},
      {"TooWideAfterBitFieldConversion", With([](BmpLayout& s) {
         s.bit_count = 16;
         s.width = 21759;
         s.colors.clear();
         s.clr_used = 0;
       }),
       "TBigBitmap.LoadFromStream: Too Big Width or Too Many Pixel Bits", BadFileCase::BigBitmap},
      {"NotABitmap", With([](BmpLayout& s) { s.header_size = 20; }),
       "LoadDIBFromStream: Invalid Bitmap Header Size", BadFileCase::DibUtils},
      {"BadRunLengthData", With([](BmpLayout& s) {
         s.compression = BI_RLE8;
         s.pixels = {9, 1, 0, 1};
       }),
       "Convert8BitRLETo8BitRGB: Bad RLE Data 4", BadFileCase::DibUtils},
      {"EightBitsMarkedRle4", With([](BmpLayout& s) {
         s.compression = BI_RLE4;
         s.pixels = {0, 1};
       }),
       "Convert4BitRLETo4BitRGB: Invalid Bitcount & Compression Combination",
       BadFileCase::DibUtils},
      {"ZeroMask", With([](BmpLayout& s) {
         s.bit_count = 16;
         s.compression = BI_BITFIELDS;
         s.colors.clear();
         s.clr_used = 0;
         s.masks = {0x7C00, 0, 0x1F};
         s.pixels.assign(16, 0);
       }),
       "TBigBitmap.LoadFromStream: Invalid Masks", BadFileCase::DibUtils},
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
       "TBigBitmap.LoadFromStream: Invalid Masks", BadFileCase::DibUtils},
      {"ZeroMaskAndZeroHeight", With([](BmpLayout& s) {
         s.bit_count = 16;
         s.height = 0;
         s.compression = BI_BITFIELDS;
         s.colors.clear();
         s.clr_used = 0;
         s.masks = {0, 0x3E0, 0x1F};
       }),
       "TBigBitmap.LoadFromStream: Invalid Masks", BadFileCase::DibUtils},
      {"ZeroMaskAndShortRows", With([](BmpLayout& s) {
         s.bit_count = 16;
         s.compression = BI_BITFIELDS;
         s.colors.clear();
         s.clr_used = 0;
         s.masks = {0x7C00, 0x3E0, 0};
         s.pixels.resize(3);
       }),
       "TBigBitmap.LoadFromStream: Invalid Masks", BadFileCase::DibUtils},
      {"EightBitsMarkedRle4AndZeroWidth", With([](BmpLayout& s) {
         s.compression = BI_RLE4;
         s.width = 0;
         s.pixels = {0, 1};
       }),
       "Convert4BitRLETo4BitRGB: Invalid Bitcount & Compression Combination",
       BadFileCase::DibUtils},
      {"TwentyFourBitsMarkedRle8AndTooWide", With([](BmpLayout& s) {
         s.bit_count = 24;
         s.width = 21759;
         s.compression = BI_RLE8;
         s.colors.clear();
         s.clr_used = 0;
         s.pixels = {0, 1};
       }),
       "Convert8BitRLETo8BitRGB: Invalid Bitcount & Compression Combination",
       BadFileCase::DibUtils},
      {"TruncatedFile", With([](BmpLayout& s) { s.file_size = 1078 + 100; }), "", BadFileCase::Read},
  };
}

class FailedLoad : public StreamTest, public testing::WithParamInterface<BadFileCase> {};

TEST_P(FailedLoad, LeavesTheBitmapAsItWasWithoutNotifying) {
  TBigBitmap b;
  BmpLayout before = Good8(3, 3);
  before.pixels = {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0};
  LoadBytes(b, BuildBmp(before));
  b.SetDrawMode(1);
  const void* bandBefore = b.Bitmaps()[0].get();
  const Bytes savedBefore = SaveBytes(b);
  ChangeCounter changes(b);

  const BadFileCase& c = GetParam();
  try {
    LoadBytes(b, BuildBmp(c.bmp));
    ADD_FAILURE() << "the load must fail";
  } catch (const EBigBitmapError& e) {
    EXPECT_EQ(c.kind, BadFileCase::BigBitmap);
    EXPECT_EQ(e.what(), c.message);
  } catch (const EDIBUtilsError& e) {
    EXPECT_EQ(c.kind, BadFileCase::DibUtils);
    EXPECT_EQ(e.what(), c.message);
  } catch (const EReadError&) {
    EXPECT_EQ(c.kind, BadFileCase::Read);
  }
  EXPECT_EQ(changes.count, 0);
  EXPECT_EQ(b.GetDrawMode(), 1);
  EXPECT_EQ(b.Bitmaps()[0].get(), bandBefore);
  EXPECT_EQ(SaveBytes(b), savedBefore);
}

INSTANTIATE_TEST_SUITE_P(BadFiles, FailedLoad, testing::ValuesIn(BadFiles()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(StreamTest, SuccessfulLoadNotifiesOnceAndKeepsDrawMode) {
  TBigBitmap b;
  LoadBytes(b, BuildBmp(Good8()));
  b.SetDrawMode(1);
  ChangeCounter changes(b);
  b.SetPaletteModified(false);
  LoadBytes(b, BuildBmp(Good8(7, 9)));
  EXPECT_EQ(changes.count, 1);
  EXPECT_TRUE(b.GetPaletteModified());
  EXPECT_EQ(b.GetDrawMode(), 1);
  EXPECT_EQ(b.GetWidth(), 7);
  EXPECT_EQ(b.GetHeight(), 9);
}

TEST_F(StreamTest, EveryBandOwnsItsOwnCopyOfTheFilesColours) {
  BmpLayout s = Good8(8192, 2100);  // bands of 1024 rows: 3 bands
  TBigBitmap b;
  LoadBytes(b, BuildBmp(s));
  ASSERT_EQ(b.Bitmaps().size(), 3u);
  std::vector<HPALETTE> handles;
  for (const auto& band : b.Bitmaps()) {
    EXPECT_EQ(bigbitmaptest::TableColour(*band, 200), bigbitmaptest::RGB(200, 200, 200));
    handles.push_back(band->GetPalette());
  }
  EXPECT_NE(handles[0], handles[1]);
  EXPECT_NE(handles[1], handles[2]);
}

TEST_F(StreamTest, FileRoundTripThroughTheFileSystem) {
  testsupport::TempDir dir;
  const Bytes file = BuildBmp(Good8(9, 4));
  testsupport::WriteFileBytes(dir.file("in.bmp"), file);
  TBigBitmap b;
  b.LoadFromFile(dir.file("in.bmp"));
  b.SaveToFile(dir.file("out.bmp"));
  EXPECT_EQ(testsupport::ReadFileBytes(dir.file("out.bmp")), file);
}

}  // namespace
