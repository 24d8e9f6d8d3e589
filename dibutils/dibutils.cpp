#include "dibutils/dibutils.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <stdexcept>

#include "platform/bytes.h"
#include "platform/streams.h"

static_assert(std::endian::native == std::endian::little,
              "the header structs mirror the little-endian file layout");

void TDynamicByteArray::SetLength(std::int64_t NewLength) {
  if (NewLength < 0) throw ERangeError();
  if (static_cast<std::uint64_t>(NewLength) > FData.max_size()) throw EOutOfMemory();
  try {
    FData.resize(static_cast<std::size_t>(NewLength));
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory();
  } catch (const std::length_error&) {
    throw EOutOfMemory();
  }
}

RGBQUAD* TSepDIB::Colors() {
  return reinterpret_cast<RGBQUAD*>(Tables +
                                    (Header.biCompression == BI_BITFIELDS ? kMaskBytes : 0));
}

const RGBQUAD* TSepDIB::Colors() const {
  return reinterpret_cast<const RGBQUAD*>(Tables +
                                          (Header.biCompression == BI_BITFIELDS ? kMaskBytes : 0));
}

std::uint32_t TSepDIB::Mask(int Index) const {
  std::uint32_t m;
  std::memcpy(&m, Tables + 4 * Index, 4);
  return m;
}

std::uint32_t GetDIBColorCount(std::uint32_t BitCount) {
  switch (BitCount) {
    case 1:
      return 2;
    case 4:
      return 16;
    case 8:
      return 256;
    default:
      return 0;
  }
}

namespace {

// Every byte of a BMP file goes through this reader: a read or skip asks first whether the
// stream still holds that many bytes, so nothing is allocated or read on a length that the
// stream cannot back. Shortfalls raise the stream read error.
class TBoundedReader {
 public:
  explicit TBoundedReader(TStream& Stream) : FStream(Stream), FStart(Stream.GetPosition()) {}

  void Require(std::int64_t Count) {
    if (Count < 0 || Count > FStream.Remaining()) throw EReadError();
  }
  void Read(void* Buffer, std::int64_t Count) {
    if (Count == 0) return;
    Require(Count);
    FStream.ReadBuffer(Buffer, static_cast<std::int32_t>(Count));
  }
  void Skip(std::int64_t Count) {
    Require(Count);
    FStream.Seek(Count, soFromCurrent);
  }
  // Positions relative to where the file started.
  void SeekFromStart(std::int64_t Offset) { FStream.SetPosition(FStart + Offset); }

 private:
  TStream& FStream;
  std::int64_t FStart;
};

bool ValidInfoBitCount(std::uint16_t b) {
  return b == 1 || b == 4 || b == 8 || b == 16 || b == 24 || b == 32;
}
bool ValidCoreBitCount(std::uint16_t b) {
  return b == 1 || b == 4 || b == 8 || b == 24;
}

}  // namespace

void ConvertCoreHeader(TSepDIB& DIB, const BITMAPCOREHEADER& Core, const std::uint8_t* Triples) {
  TSepDIB Fresh;
  BITMAPINFOHEADER& h = Fresh.Header;
  h.biSize = kInfoHeaderSize;
  h.biWidth = Core.bcWidth;
  h.biHeight = Core.bcHeight;
  h.biPlanes = Core.bcPlanes;
  h.biBitCount = Core.bcBitCount;
  h.biCompression = BI_RGB;
  h.biSizeImage = 0;
  h.biXPelsPerMeter = 3780;
  h.biYPelsPerMeter = 3780;
  h.biClrUsed = GetDIBColorCount(Core.bcBitCount);
  h.biClrImportant = 0;
  RGBQUAD* colors = Fresh.Colors();
  for (std::uint32_t i = 0; i < h.biClrUsed && i < kMaxColors; ++i) {
    colors[i] = RGBQUAD{Triples[3 * i], Triples[3 * i + 1], Triples[3 * i + 2], 0};
  }
  DIB = std::move(Fresh);
}

void LoadDIBFromStream(TSepDIB& DIB, TStream& Stream) {
  TBoundedReader In(Stream);
  DIB.Bits.Clear();
  DIB.Header = BITMAPINFOHEADER{};
  std::memset(DIB.Tables, 0, sizeof DIB.Tables);

  std::uint8_t FileHeader[kFileHeaderSize];
  In.Read(FileHeader, sizeof FileHeader);
  if (GetLE16(FileHeader) != kBitmapFileType) {
    throw EDIBUtilsError("LoadDIBFromStream: File type is invalid");
  }
  const std::uint32_t bfSize = GetLE32(FileHeader + 2);
  const std::uint32_t bfOffBits = GetLE32(FileHeader + 10);
  const auto PixelBytes = static_cast<std::int32_t>(bfSize - bfOffBits);

  // Header and Tables as one area: a longer info header lands with its masks (offsets 40..51)
  // on the mask slots of Tables.
  std::uint8_t Area[kHeaderAreaSize] = {};
  In.Read(Area, 4);
  const std::uint32_t biSize = GetLE32(Area);
  if (biSize < kInfoHeaderSize) {
    if (biSize != kCoreHeaderSize) {
      throw EDIBUtilsError("LoadDIBFromStream: Invalid Bitmap Header Size");
    }
    In.Read(Area + 4, kCoreHeaderSize - 4);
    BITMAPCOREHEADER Core;
    std::memcpy(&Core, Area, sizeof Core);
    if (!ValidCoreBitCount(Core.bcBitCount)) {
      throw EDIBUtilsError("TBigBitmap.LoadFromStream: Invalid BitCount");
    }
    std::uint8_t Triples[3 * kMaxColors];
    In.Read(Triples, 3 * static_cast<std::int64_t>(GetDIBColorCount(Core.bcBitCount)));
    ConvertCoreHeader(DIB, Core, Triples);
  } else {
    // The part of a header beyond the 1076-byte area carries nothing this reader uses: skip it.
    const std::uint32_t InArea = std::min<std::uint32_t>(biSize, kHeaderAreaSize);
    In.Read(Area + 4, InArea - 4);
    if (biSize > kHeaderAreaSize) In.Skip(biSize - kHeaderAreaSize);
    std::memcpy(&DIB.Header, Area, kInfoHeaderSize);
    std::memcpy(DIB.Tables, Area + kInfoHeaderSize, kTablesSize);

    BITMAPINFOHEADER& h = DIB.Header;
    if (!ValidInfoBitCount(h.biBitCount)) {
      throw EDIBUtilsError("LoadDIBFromStream: Invalid BitCout");
    }
    if (h.biClrUsed == 0) h.biClrUsed = GetDIBColorCount(h.biBitCount);
    const bool Few = h.biClrUsed <= kMaxColors;
    if (h.biCompression != BI_BITFIELDS) {
      In.Read(DIB.Tables, Few ? h.biClrUsed * 4 : kColorTableBytes);
    } else if (biSize == kInfoHeaderSize) {
      In.Read(DIB.Tables, Few ? (h.biClrUsed + 3) * 4 : kTablesSize);
    } else {
      In.Read(DIB.Tables + kMaskBytes, Few ? h.biClrUsed * 4 : kColorTableBytes);
    }
    if (h.biClrUsed > kMaxColors) h.biClrUsed = kMaxColors;
    h.biSize = kInfoHeaderSize;
  }

  In.SeekFromStart(bfOffBits);
  if (PixelBytes < 0) throw ERangeError();
  In.Require(PixelBytes);
  DIB.Bits.SetLength(PixelBytes);
  In.Read(DIB.Bits.Data(), PixelBytes);
}

int GetMaskShift(std::uint32_t Mask) {
  int s = 0;
  while (Mask >= 256) {
    Mask >>= 1;
    ++s;
  }
  while (Mask < 128) {
    Mask <<= 1;
    --s;
  }
  return s;
}

namespace {

// One colour component of a bit-field pixel: (p AND mask) moved like the mask's top bit to
// bit 7, then scaled by 255 / divisor.
struct TComponent {
  std::uint32_t Mask;
  int Shift;
  std::uint32_t Divisor;

  explicit TComponent(std::uint32_t m) : Mask(m), Shift(GetMaskShift(m)), Divisor(Moved(m)) {}
  std::uint32_t Moved(std::uint32_t v) const { return Shift >= 0 ? v >> Shift : v << -Shift; }
  std::uint8_t operator()(std::uint32_t p) const {
    return static_cast<std::uint8_t>((Moved(p & Mask) * 255u) / Divisor);
  }
};

// The red, green and blue masks of 16- or 32-bit pixels; raises for a zero mask.
void BitFieldMasks(const TSepDIB& Src, std::uint32_t (&Masks)[3]) {
  if (Src.Header.biCompression != BI_RGB) {
    for (int i = 0; i < 3; ++i) Masks[i] = Src.Mask(i);
  } else if (Src.Header.biBitCount == 16) {
    Masks[0] = 0x7C00, Masks[1] = 0x03E0, Masks[2] = 0x001F;
  } else {
    Masks[0] = 0xFF0000, Masks[1] = 0xFF00, Masks[2] = 0xFF;
  }
  if (Masks[0] == 0 || Masks[1] == 0 || Masks[2] == 0) {
    throw EDIBUtilsError("TBigBitmap.LoadFromStream: Invalid Masks");
  }
}

}  // namespace

void CheckBitFieldMasks(const TSepDIB& Src) {
  std::uint32_t Masks[3];
  BitFieldMasks(Src, Masks);
}

void ConvertBitFieldsTo24BitRGB(const TSepDIB& Src, TSepDIB& Dst) {
  const BITMAPINFOHEADER& sh = Src.Header;
  const bool Is16 = sh.biBitCount == 16;
  if (sh.biWidth < 0) throw EDIBUtilsError("ConvertBitFieldsTo24BitRGB: Invalid Width");
  const std::int64_t W = sh.biWidth;
  const std::int64_t H = sh.biHeight < 0 ? -static_cast<std::int64_t>(sh.biHeight) : sh.biHeight;
  const std::int64_t SrcRow = ((W * (Is16 ? 2 : 4) + 3) / 4) * 4;
  const std::int64_t DstRow = ((W * 3 + 3) / 4) * 4;

  std::uint32_t Masks[3];
  BitFieldMasks(Src, Masks);
  // The source must hold every row it is said to have; checked before the output exists.
  if (Src.Bits.Length() < H * SrcRow) {
    throw EDIBUtilsError("ConvertBitFieldsTo24BitRGB: Not Enough Pixel Data");
  }
  const TComponent Red(Masks[0]), Green(Masks[1]), Blue(Masks[2]);

  TSepDIB Out;
  Out.Bits.SetLength(H * DstRow);
  const std::uint8_t* s = Src.Bits.Data();
  std::uint8_t* d = Out.Bits.Data();
  for (std::int64_t y = 0; y < H; ++y, s += SrcRow, d += DstRow) {
    if (DstRow >= 4) std::memset(d + DstRow - 4, 0, 4);
    std::uint8_t* o = d;
    if (Is16) {
      for (std::int64_t x = 0; x < W; ++x, o += 3) {
        const std::uint32_t p = GetLE16(s + 2 * x);
        o[0] = Blue(p), o[1] = Green(p), o[2] = Red(p);
      }
    } else {
      for (std::int64_t x = 0; x < W; ++x, o += 3) {
        const std::uint32_t p = GetLE32(s + 4 * x);
        o[0] = Blue(p), o[1] = Green(p), o[2] = Red(p);
      }
    }
  }

  Out.Header = sh;
  std::memcpy(Out.Tables, Src.Tables, kTablesSize);
  if (sh.biCompression == BI_BITFIELDS) {
    std::memmove(Out.Tables, Out.Tables + kMaskBytes, kColorTableBytes);
  }
  Out.Header.biCompression = BI_RGB;
  Out.Header.biBitCount = 24;
  Out.Header.biSizeImage = 0;
  Dst = std::move(Out);
}

HPALETTE CreateDIBPalette(const TSepDIB& DIB) {
  std::uint32_t Count = DIB.Header.biClrUsed;
  if (Count == 0) Count = GetDIBColorCount(DIB.Header.biBitCount);
  Count = std::min<std::uint32_t>(Count, kMaxColors);
  LOGPALETTE lp{};
  lp.palVersion = 0x300;
  lp.palNumEntries = static_cast<std::uint16_t>(Count);
  const RGBQUAD* c = DIB.Colors();
  for (std::uint32_t i = 0; i < Count; ++i) {
    lp.palPalEntry[i] = PALETTEENTRY{c[i].rgbRed, c[i].rgbGreen, c[i].rgbBlue, 0};
  }
  return CreatePalette(&lp);
}
