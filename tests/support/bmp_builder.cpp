#include "support/bmp_builder.h"

namespace testsupport {

ByteWriter& ByteWriter::U8(std::uint8_t V) {
  FData.push_back(V);
  return *this;
}
ByteWriter& ByteWriter::U16(std::uint16_t V) {
  FData.push_back(static_cast<std::uint8_t>(V));
  FData.push_back(static_cast<std::uint8_t>(V >> 8));
  return *this;
}
ByteWriter& ByteWriter::U32(std::uint32_t V) {
  for (int I = 0; I < 4; ++I) FData.push_back(static_cast<std::uint8_t>(V >> (8 * I)));
  return *this;
}
ByteWriter& ByteWriter::bytes(const std::vector<std::uint8_t>& V) {
  FData.insert(FData.end(), V.begin(), V.end());
  return *this;
}
ByteWriter& ByteWriter::Zeros(std::size_t N) {
  FData.insert(FData.end(), N, 0);
  return *this;
}
void ByteWriter::PatchU32(std::size_t Offset, std::uint32_t V) {
  for (int I = 0; I < 4; ++I) FData.at(Offset + I) = static_cast<std::uint8_t>(V >> (8 * I));
}

std::vector<std::uint8_t> BuildBmp(const BmpLayout& S) {
  ByteWriter W;
  W.U16(0x4D42).U32(0).U16(0).U16(0).U32(0);
  if (S.header_size == 12) {
    W.U32(12).U16(static_cast<std::uint16_t>(S.width)).U16(static_cast<std::uint16_t>(S.height));
    W.U16(S.Planes).U16(S.bit_count);
  } else {
    W.U32(S.header_size).I32(S.width).I32(S.height).U16(S.Planes).U16(S.bit_count);
    W.U32(S.compression).U32(0).I32(0).I32(0).U32(S.clr_used).U32(0);
    if (S.header_size > 40) W.Zeros(S.header_size - 40);
    for (std::size_t I = 0; I < S.masks.size(); ++I) {
      if (S.header_size > 40 && I < 3) {
        W.PatchU32(14 + 40 + 4 * I, S.masks[I]);
      } else {
        W.U32(S.masks[I]);
      }
    }
  }
  W.bytes(S.colors);
  const std::int64_t Off = S.OffBits >= 0 ? S.OffBits : static_cast<std::int64_t>(W.size());
  if (Off > static_cast<std::int64_t>(W.size())) W.Zeros(static_cast<std::size_t>(Off) - W.size());
  // An offset that points back into the tables is allowed: pixels still follow the tables.
  W.bytes(S.pixels);
  const std::int64_t Size =
      S.FileSize >= 0 ? S.FileSize : Off + static_cast<std::int64_t>(S.pixels.size());
  W.PatchU32(2, static_cast<std::uint32_t>(Size));
  W.PatchU32(10, static_cast<std::uint32_t>(Off));
  return W.Data();
}

std::vector<std::uint8_t> GreyColors(int N) {
  std::vector<std::uint8_t> C;
  for (int I = 0; I < N; ++I) {
    const auto V = static_cast<std::uint8_t>(I);
    C.insert(C.end(), {V, V, V, 0});
  }
  return C;
}

std::vector<std::uint8_t> TinyRle8DeclaringHugeSize(std::int32_t Width, std::int32_t Height) {
  BmpLayout Bmp;
  Bmp.width = Width;
  Bmp.height = Height;
  Bmp.bit_count = 8;
  Bmp.compression = 1;
  Bmp.colors = GreyColors(2);
  Bmp.clr_used = 2;
  for (int I = 0; I < 480; ++I) Bmp.pixels.insert(Bmp.pixels.end(), {255, 1});
  Bmp.pixels.insert(Bmp.pixels.end(), {0, 1});
  return BuildBmp(Bmp);
}

}  // namespace testsupport
