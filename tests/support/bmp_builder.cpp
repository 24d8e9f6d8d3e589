#include "support/bmp_builder.h"

namespace testsupport {

TByteWriter& TByteWriter::U8(std::uint8_t V) {
  FData.push_back(V);
  return *this;
}
TByteWriter& TByteWriter::U16(std::uint16_t V) {
  FData.push_back(static_cast<std::uint8_t>(V));
  FData.push_back(static_cast<std::uint8_t>(V >> 8));
  return *this;
}
TByteWriter& TByteWriter::U32(std::uint32_t V) {
  for (int I = 0; I < 4; ++I) FData.push_back(static_cast<std::uint8_t>(V >> (8 * I)));
  return *this;
}
TByteWriter& TByteWriter::Bytes(const std::vector<std::uint8_t>& V) {
  FData.insert(FData.end(), V.begin(), V.end());
  return *this;
}
TByteWriter& TByteWriter::Zeros(std::size_t N) {
  FData.insert(FData.end(), N, 0);
  return *this;
}
void TByteWriter::PatchU32(std::size_t Offset, std::uint32_t V) {
  for (int I = 0; I < 4; ++I) FData.at(Offset + I) = static_cast<std::uint8_t>(V >> (8 * I));
}

std::vector<std::uint8_t> BuildBmp(const TBmpLayout& S) {
  TByteWriter W;
  W.U16(0x4D42).U32(0).U16(0).U16(0).U32(0);
  if (S.HeaderSize == 12) {
    W.U32(12).U16(static_cast<std::uint16_t>(S.Width)).U16(static_cast<std::uint16_t>(S.Height));
    W.U16(S.Planes).U16(S.BitCount);
  } else {
    W.U32(S.HeaderSize).I32(S.Width).I32(S.Height).U16(S.Planes).U16(S.BitCount);
    W.U32(S.Compression).U32(0).I32(0).I32(0).U32(S.ClrUsed).U32(0);
    if (S.HeaderSize > 40) W.Zeros(S.HeaderSize - 40);
    for (std::size_t I = 0; I < S.Masks.size(); ++I) {
      if (S.HeaderSize > 40 && I < 3) {
        W.PatchU32(14 + 40 + 4 * I, S.Masks[I]);
      } else {
        W.U32(S.Masks[I]);
      }
    }
  }
  W.Bytes(S.Colors);
  const std::int64_t Off = S.OffBits >= 0 ? S.OffBits : static_cast<std::int64_t>(W.Size());
  if (Off > static_cast<std::int64_t>(W.Size())) W.Zeros(static_cast<std::size_t>(Off) - W.Size());
  // An offset that points back into the tables is allowed: pixels still follow the tables.
  W.Bytes(S.Pixels);
  const std::int64_t Size =
      S.FileSize >= 0 ? S.FileSize : Off + static_cast<std::int64_t>(S.Pixels.size());
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
  TBmpLayout Bmp;
  Bmp.Width = Width;
  Bmp.Height = Height;
  Bmp.BitCount = 8;
  Bmp.Compression = 1;
  Bmp.Colors = GreyColors(2);
  Bmp.ClrUsed = 2;
  for (int I = 0; I < 480; ++I) Bmp.Pixels.insert(Bmp.Pixels.end(), {255, 1});
  Bmp.Pixels.insert(Bmp.Pixels.end(), {0, 1});
  return BuildBmp(Bmp);
}

std::vector<std::uint8_t> Bmp8(std::int32_t W, std::int32_t H, const std::vector<TRgb>& Palette,
                               const std::function<std::uint8_t(int, int)>& Index, bool Padded) {
  TBmpLayout Bmp;
  Bmp.Width = W;
  Bmp.Height = H;
  Bmp.BitCount = 8;
  for (const TRgb& C : Palette) Bmp.Colors.insert(Bmp.Colors.end(), {C.B, C.G, C.R, 0});
  Bmp.ClrUsed = static_cast<std::uint32_t>(Palette.size());
  const std::int32_t Stride = Padded ? DibStride(W, 8) : W;
  Bmp.Pixels.assign(static_cast<std::size_t>(Stride * H), 0);
  for (int Y = 0; Y < H; ++Y) {
    for (int X = 0; X < W; ++X) {
      Bmp.Pixels[static_cast<std::size_t>((H - 1 - Y) * Stride + X)] = Index(X, Y);
    }
  }
  return BuildBmp(Bmp);
}

}  // namespace testsupport
