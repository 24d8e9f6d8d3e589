#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace testsupport {

// Little-endian byte building for hand-made file contents.
class TByteWriter {
 public:
  TByteWriter& U8(std::uint8_t V);
  TByteWriter& U16(std::uint16_t V);
  TByteWriter& U32(std::uint32_t V);
  TByteWriter& I32(std::int32_t V) { return U32(static_cast<std::uint32_t>(V)); }
  TByteWriter& Bytes(const std::vector<std::uint8_t>& V);
  TByteWriter& Zeros(std::size_t N);
  std::vector<std::uint8_t>& Data() { return FData; }
  std::size_t Size() const { return FData.size(); }
  // Overwrites four bytes at an offset already written.
  void PatchU32(std::size_t Offset, std::uint32_t V);

 private:
  std::vector<std::uint8_t> FData;
};

// A BMP file built field by field. By default: 40-byte info header, bottom-up, uncompressed,
// bfOffBits and bfSize computed from what is given; every field can be overridden.
struct TBmpLayout {
  std::int32_t Width = 1;
  std::int32_t Height = 1;
  std::uint16_t Planes = 1;
  std::uint16_t BitCount = 8;
  std::uint32_t Compression = 0;
  std::uint32_t ClrUsed = 0;
  std::uint32_t HeaderSize = 40;     // 12 writes a core header
  std::vector<std::uint32_t> Masks;  // written right after a 40-byte header
  std::vector<std::uint8_t> Colors;  // raw colour-table bytes (4 or 3 per entry)
  std::vector<std::uint8_t> Pixels;  // raw pixel data, exactly as stored
  std::int64_t OffBits = -1;         // -1: right after the colour table
  std::int64_t FileSize = -1;        // -1: OffBits + Pixels.size()
};

std::vector<std::uint8_t> BuildBmp(const TBmpLayout& Bmp);

// Row stride of a DIB row: padded to 4 bytes.
inline std::int32_t DibStride(std::int32_t Width, int Bits) {
  return static_cast<std::int32_t>(((static_cast<std::int64_t>(Width) * Bits + 31) / 32) * 4);
}

// A grey-ramp colour table of n RGBQUAD entries (entry i = (i, i, i)) or any given colours.
std::vector<std::uint8_t> GreyColors(int N);

// A colour of a map's table, or of a 24-bit pixel.
struct TRgb {
  std::uint8_t R, G, B;
  bool operator==(const TRgb&) const = default;
};

// A bottom-up 8-bit file with the given colour table, the pixel at (X, Y) from the top left
// Index(X, Y); Padded false stores the rows back to back.
std::vector<std::uint8_t> Bmp8(std::int32_t W, std::int32_t H, const std::vector<TRgb>& Palette,
                               const std::function<std::uint8_t(int, int)>& Index,
                               bool Padded = true);

// A 1 kB RLE8 file that declares Width x Height pixels (65,000 x 20,000 decode to 1.3 GB):
// 480 runs of one pixel, then end of bitmap.
std::vector<std::uint8_t> TinyRle8DeclaringHugeSize(std::int32_t Width, std::int32_t Height);

}  // namespace testsupport
