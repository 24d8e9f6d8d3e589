#pragma once

// Reading of BMP files into a self-contained DIB record, normalised to the 40-byte info header
// with at most 256 colour entries; 16/32-bit to 24-bit conversion; palettes from colour tables;
// and decoding of run-length encoded pixel data.

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/exceptions.h"
#include "platform/graphics.h"

class TStream;

class EDIBUtilsError : public Exception {
 public:
  using Exception::Exception;
};

// A growable byte array; its length is its size and new elements are zero.
class TDynamicByteArray {
 public:
  std::int64_t Length() const { return static_cast<std::int64_t>(FData.size()); }
  // A negative length raises ERangeError; a length that cannot be allocated, EOutOfMemory.
  void SetLength(std::int64_t NewLength);
  std::uint8_t* Data() { return FData.data(); }
  const std::uint8_t* Data() const { return FData.data(); }
  std::uint8_t& operator[](std::size_t I) { return FData[I]; }
  std::uint8_t operator[](std::size_t I) const { return FData[I]; }
  void Clear() { std::vector<std::uint8_t>().swap(FData); }
  bool operator==(const TDynamicByteArray&) const = default;

 private:
  std::vector<std::uint8_t> FData;
};

// Sizes of the fixed header areas.
inline constexpr std::size_t FileHeaderSize = 14;
inline constexpr std::uint32_t CoreHeaderSize = 12;
inline constexpr std::uint32_t InfoHeaderSize = 40;
inline constexpr std::size_t MaskBytes = 12;  // red, green, blue masks
inline constexpr std::size_t MaxColors = 256;
inline constexpr std::size_t ColorTableBytes = MaxColors * 4;
inline constexpr std::size_t TablesSize = MaskBytes + ColorTableBytes;      // 1036
inline constexpr std::size_t HeaderAreaSize = InfoHeaderSize + TablesSize;  // 1076
inline constexpr std::uint16_t BitmapFileType = 0x4D42;                       // "BM"

// One DIB with value semantics. Header and Tables form one contiguous 1076-byte area, so the
// record (from Header on) doubles as a bitmap-info block. Tables holds the three bit-field
// masks followed by 256 colour entries when biCompression is BI_BITFIELDS, and otherwise the
// 256 colour entries from its first byte.
struct TSepDIB {
  TDynamicByteArray Bits;
  BITMAPINFOHEADER Header{};
  std::uint8_t Tables[TablesSize]{};

  // The colour entries at the place that the current biCompression gives.
  RGBQUAD* Colors();
  const RGBQUAD* Colors() const;
  // Header and Tables seen as one bitmap-info block.
  const BITMAPINFOHEADER* Info() const { return &Header; }
  // The mask at index 0 (red), 1 (green) or 2 (blue) of Tables.
  std::uint32_t Mask(int Index) const;
};

static_assert(sizeof(RGBQUAD) == 4);
static_assert(std::is_standard_layout_v<TSepDIB>);
static_assert(offsetof(TSepDIB, Tables) == offsetof(TSepDIB, Header) + InfoHeaderSize,
              "Header and Tables must form one contiguous area");
static_assert(sizeof(TSepDIB::Tables) == TablesSize);
static_assert(offsetof(TSepDIB, Tables) + TablesSize - offsetof(TSepDIB, Header) ==
              HeaderAreaSize);

// 2, 16 or 256 for 1, 4 or 8 bits per pixel; 0 for any other bit count.
std::uint32_t GetDIBColorCount(std::uint32_t BitCount);

// Reads one BMP file from the stream's current position into DIB: Header in the 40-byte form,
// biClrUsed filled in and at most 256, Bits = the bfSize - bfOffBits bytes at bfOffBits.
// On failure DIB is partly filled and is to be discarded.
void LoadDIBFromStream(TSepDIB& DIB, TStream& Stream);
// The same up to the pixel bytes, which stay in the stream: DIB gets Header and Tables (Bits
// stays empty) and the stream is left at bfOffBits. Returns bfSize - bfOffBits after the same
// checks as LoadDIBFromStream (ERangeError when negative, EReadError when the stream does not
// hold that many bytes), so a reader of the pixel bytes may take that many from there.
std::int64_t LoadDIBHeaderFromStream(TSepDIB& DIB, TStream& Stream);

// The 12-byte header of the oldest BMP form; its colour entries are 3-byte triples.
struct BITMAPCOREHEADER {
  std::uint32_t bcSize;
  std::uint16_t bcWidth;
  std::uint16_t bcHeight;
  std::uint16_t bcPlanes;
  std::uint16_t bcBitCount;
};
static_assert(sizeof(BITMAPCOREHEADER) == CoreHeaderSize);

// Replaces DIB with the 40-byte form of a core header and its colour table of
// GetDIBColorCount(bcBitCount) triples (blue, green, red).
void ConvertCoreHeader(TSepDIB& DIB, const BITMAPCOREHEADER& Core, const std::uint8_t* Triples);

// 16- or 32-bit pixels of Src into uncompressed 24-bit rows in Dst (same row order).
void ConvertBitFieldsTo24BitRGB(const TSepDIB& Src, TSepDIB& Dst);
// The mask check of ConvertBitFieldsTo24BitRGB alone, with its error; needs no pixel data.
void CheckBitFieldMasks(const TSepDIB& Src);

// The shift that moves a mask's top set bit to bit 7 (negative: to the left). Mask is not 0.
int GetMaskShift(std::uint32_t Mask);

// A new logical palette from the record's colour table; the caller owns it.
HPALETTE CreateDIBPalette(const TSepDIB& DIB);

// Decoders of BI_RLE8 and BI_RLE4 data into uncompressed rows of the same bit count. Src is
// not changed; on failure Dst is not touched.
void Convert8BitRLETo8BitRGB(const TSepDIB& Src, TSepDIB& Dst);
void Convert4BitRLETo4BitRGB(const TSepDIB& Src, TSepDIB& Dst);
// For BI_RLE8 or BI_RLE4 data, the bit count check of the decoder that the compression selects,
// with that decoder's error; nothing for any other compression.
void CheckRLEBitCount(const TSepDIB& Src);
