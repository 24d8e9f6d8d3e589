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
                                    (Header.biCompression == BI_BITFIELDS ? MaskBytes : 0));
}

const RGBQUAD* TSepDIB::Colors() const {
  return reinterpret_cast<const RGBQUAD*>(Tables +
                                          (Header.biCompression == BI_BITFIELDS ? MaskBytes : 0));
}

std::uint32_t TSepDIB::Mask(int Index) const {
  std::uint32_t M;
  std::memcpy(&M, Tables + 4 * Index, 4);
  return M;
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

bool ValidInfoBitCount(std::uint16_t B) {
  return B == 1 || B == 4 || B == 8 || B == 16 || B == 24 || B == 32;
}
bool ValidCoreBitCount(std::uint16_t B) {
  return B == 1 || B == 4 || B == 8 || B == 24;
}

}  // namespace

void ConvertCoreHeader(TSepDIB& DIB, const BITMAPCOREHEADER& Core, const std::uint8_t* Triples) {
  TSepDIB Fresh;
  BITMAPINFOHEADER& H = Fresh.Header;
  H.biSize = InfoHeaderSize;
  H.biWidth = Core.bcWidth;
  H.biHeight = Core.bcHeight;
  H.biPlanes = Core.bcPlanes;
  H.biBitCount = Core.bcBitCount;
  H.biCompression = BI_RGB;
  H.biSizeImage = 0;
  H.biXPelsPerMeter = 3780;
  H.biYPelsPerMeter = 3780;
  H.biClrUsed = GetDIBColorCount(Core.bcBitCount);
  H.biClrImportant = 0;
  RGBQUAD* Colors = Fresh.Colors();
  for (std::uint32_t I = 0; I < H.biClrUsed && I < MaxColors; ++I) {
    Colors[I] = RGBQUAD{Triples[3 * I], Triples[3 * I + 1], Triples[3 * I + 2], 0};
  }
  DIB = std::move(Fresh);
}

std::int64_t LoadDIBHeaderFromStream(TSepDIB& DIB, TStream& Stream) {
  TBoundedReader In(Stream);
  DIB.Bits.Clear();
  DIB.Header = BITMAPINFOHEADER{};
  std::memset(DIB.Tables, 0, sizeof DIB.Tables);

  std::uint8_t FileHeader[FileHeaderSize];
  In.Read(FileHeader, sizeof FileHeader);
  if (GetLE16(FileHeader) != BitmapFileType) {
    throw EDIBUtilsError("LoadDIBFromStream: File type is invalid");
  }
  const std::uint32_t BfSize = GetLE32(FileHeader + 2);
  const std::uint32_t BfOffBits = GetLE32(FileHeader + 10);
  const auto PixelBytes = static_cast<std::int32_t>(BfSize - BfOffBits);

  // Header and Tables as one area: a longer info header lands with its masks (offsets 40..51)
  // on the mask slots of Tables.
  std::uint8_t Area[HeaderAreaSize] = {};
  In.Read(Area, 4);
  const std::uint32_t BiSize = GetLE32(Area);
  if (BiSize < InfoHeaderSize) {
    if (BiSize != CoreHeaderSize) {
      throw EDIBUtilsError("LoadDIBFromStream: Invalid Bitmap Header Size");
    }
    In.Read(Area + 4, CoreHeaderSize - 4);
    BITMAPCOREHEADER Core;
    std::memcpy(&Core, Area, sizeof Core);
    if (!ValidCoreBitCount(Core.bcBitCount)) {
      throw EDIBUtilsError("TBigBitmap.LoadFromStream: Invalid BitCount");
    }
    std::uint8_t Triples[3 * MaxColors];
    In.Read(Triples, 3 * static_cast<std::int64_t>(GetDIBColorCount(Core.bcBitCount)));
    ConvertCoreHeader(DIB, Core, Triples);
  } else {
    // The part of a header beyond the 1076-byte area carries nothing this reader uses: skip it.
    const std::uint32_t InArea = std::min<std::uint32_t>(BiSize, HeaderAreaSize);
    In.Read(Area + 4, InArea - 4);
    if (BiSize > HeaderAreaSize) In.Skip(BiSize - HeaderAreaSize);
    std::memcpy(&DIB.Header, Area, InfoHeaderSize);
    std::memcpy(DIB.Tables, Area + InfoHeaderSize, TablesSize);

    BITMAPINFOHEADER& H = DIB.Header;
    if (!ValidInfoBitCount(H.biBitCount)) {
      throw EDIBUtilsError("LoadDIBFromStream: Invalid BitCout");
    }
    if (H.biClrUsed == 0) H.biClrUsed = GetDIBColorCount(H.biBitCount);
    const bool Few = H.biClrUsed <= MaxColors;
    if (H.biCompression != BI_BITFIELDS) {
      In.Read(DIB.Tables, Few ? H.biClrUsed * 4 : ColorTableBytes);
    } else if (BiSize == InfoHeaderSize) {
      In.Read(DIB.Tables, Few ? (H.biClrUsed + 3) * 4 : TablesSize);
    } else {
      In.Read(DIB.Tables + MaskBytes, Few ? H.biClrUsed * 4 : ColorTableBytes);
    }
    if (H.biClrUsed > MaxColors) H.biClrUsed = MaxColors;
    H.biSize = InfoHeaderSize;
  }

  In.SeekFromStart(BfOffBits);
  if (PixelBytes < 0) throw ERangeError();
  In.Require(PixelBytes);
  return PixelBytes;
}

void LoadDIBFromStream(TSepDIB& DIB, TStream& Stream) {
  const std::int64_t PixelBytes = LoadDIBHeaderFromStream(DIB, Stream);
  DIB.Bits.SetLength(PixelBytes);
  Stream.ReadBufferLarge(DIB.Bits.Data(), PixelBytes);
}

int GetMaskShift(std::uint32_t Mask) {
  int S = 0;
  while (Mask >= 256) {
    Mask >>= 1;
    ++S;
  }
  while (Mask < 128) {
    Mask <<= 1;
    --S;
  }
  return S;
}

namespace {

// One colour component of a bit-field pixel: (p AND mask) moved like the mask's top bit to
// bit 7, then scaled by 255 / divisor.
struct TComponent {
  std::uint32_t Mask;
  int Shift;
  std::uint32_t Divisor;

  explicit TComponent(std::uint32_t M) : Mask(M), Shift(GetMaskShift(M)), Divisor(Moved(M)) {}
  std::uint32_t Moved(std::uint32_t V) const { return Shift >= 0 ? V >> Shift : V << -Shift; }
  std::uint8_t operator()(std::uint32_t P) const {
    return static_cast<std::uint8_t>((Moved(P & Mask) * 255u) / Divisor);
  }
};

// The red, green and blue masks of 16- or 32-bit pixels; raises for a zero mask.
void BitFieldMasks(const TSepDIB& Src, std::uint32_t (&Masks)[3]) {
  if (Src.Header.biCompression != BI_RGB) {
    for (int I = 0; I < 3; ++I) Masks[I] = Src.Mask(I);
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
  const BITMAPINFOHEADER& Sh = Src.Header;
  const bool Is16 = Sh.biBitCount == 16;
  if (Sh.biWidth < 0) throw EDIBUtilsError("ConvertBitFieldsTo24BitRGB: Invalid Width");
  const std::int64_t W = Sh.biWidth;
  const std::int64_t H = Sh.biHeight < 0 ? -static_cast<std::int64_t>(Sh.biHeight) : Sh.biHeight;
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
  const std::uint8_t* S = Src.Bits.Data();
  std::uint8_t* D = Out.Bits.Data();
  for (std::int64_t Y = 0; Y < H; ++Y, S += SrcRow, D += DstRow) {
    if (DstRow >= 4) std::memset(D + DstRow - 4, 0, 4);
    std::uint8_t* O = D;
    if (Is16) {
      for (std::int64_t X = 0; X < W; ++X, O += 3) {
        const std::uint32_t P = GetLE16(S + 2 * X);
        O[0] = Blue(P), O[1] = Green(P), O[2] = Red(P);
      }
    } else {
      for (std::int64_t X = 0; X < W; ++X, O += 3) {
        const std::uint32_t P = GetLE32(S + 4 * X);
        O[0] = Blue(P), O[1] = Green(P), O[2] = Red(P);
      }
    }
  }

  Out.Header = Sh;
  std::memcpy(Out.Tables, Src.Tables, TablesSize);
  if (Sh.biCompression == BI_BITFIELDS) {
    std::memmove(Out.Tables, Out.Tables + MaskBytes, ColorTableBytes);
  }
  Out.Header.biCompression = BI_RGB;
  Out.Header.biBitCount = 24;
  Out.Header.biSizeImage = 0;
  Dst = std::move(Out);
}

HPALETTE CreateDIBPalette(const TSepDIB& DIB) {
  std::uint32_t Count = DIB.Header.biClrUsed;
  if (Count == 0) Count = GetDIBColorCount(DIB.Header.biBitCount);
  Count = std::min<std::uint32_t>(Count, MaxColors);
  LOGPALETTE Lp{};
  Lp.palVersion = 0x300;
  Lp.palNumEntries = static_cast<std::uint16_t>(Count);
  const RGBQUAD* C = DIB.Colors();
  for (std::uint32_t I = 0; I < Count; ++I) {
    Lp.palPalEntry[I] = PALETTEENTRY{C[I].rgbRed, C[I].rgbGreen, C[I].rgbBlue, 0};
  }
  return CreatePalette(&Lp);
}
