#pragma once

// Input of the RLE decoder fuzzers: width (u16), height (i16, negative for top-down), then the
// compressed bytes. The decoded size is capped so that a run explores the decoder, not the
// allocator.

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "dibutils/dibutils.h"

namespace fuzzrle {

inline constexpr std::int64_t MaxDecodedBytes = 1 << 20;

template <typename Decoder>
int Run(const std::uint8_t* Data, std::size_t Size, std::uint16_t Bits, std::uint32_t Compression,
        Decoder Decode) {
  if (Size < 4) return 0;
  const std::int32_t Width = Data[0] | (Data[1] << 8);
  const auto Height = static_cast<std::int16_t>(Data[2] | (Data[3] << 8));
  const std::int64_t Rows = std::abs(static_cast<std::int64_t>(Height));
  const std::int64_t Stride = ((static_cast<std::int64_t>(Width) * Bits + 31) / 32) * 4;
  if (Rows * Stride > MaxDecodedBytes) return 0;

  TSepDIB Src;
  Src.Header.biSize = 40;
  Src.Header.biWidth = Width;
  Src.Header.biHeight = Height;
  Src.Header.biPlanes = 1;
  Src.Header.biBitCount = Bits;
  Src.Header.biCompression = Compression;
  Src.Bits.SetLength(static_cast<std::int64_t>(Size - 4));
  if (Size > 4) std::memcpy(Src.Bits.Data(), Data + 4, Size - 4);

  TSepDIB Dst;
  Dst.Header.biWidth = -77;
  try {
    Decode(Src, Dst);
  } catch (const EDIBUtilsError&) {
    if (Dst.Header.biWidth != -77 || Dst.Bits.Length() != 0) std::abort();  // Dst touched
    return 0;
  }
  if (Dst.Bits.Length() != Rows * Stride || Dst.Header.biCompression != BI_RGB ||
      Dst.Header.biBitCount != Bits || Dst.Header.biWidth != Width) {
    std::abort();
  }
  return 0;
}

}  // namespace fuzzrle
