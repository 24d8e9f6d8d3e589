// Decoding of BI_RLE8 and BI_RLE4 pixel data: one state machine for both depths.

#include <cstring>
#include <string>

#include "dibutils/dibutils.h"

namespace {

// Second byte of a code whose first byte is 0.
enum : std::uint8_t {
  RleEndOfLine = 0,
  RleEndOfBitmap = 1,
  RleDelta = 2,
  RleFirstAbsolute = 3,  // 3..255: an absolute run of that many pixels
};

// Per-depth differences: name, bit count and compression demanded, message numbers, and how
// pixels are stored and how many input bytes an absolute run takes.
struct TRle8 {
  static constexpr const char* Name = "Convert8BitRLETo8BitRGB";
  static constexpr std::uint16_t BitCount = 8;
  static constexpr std::uint32_t Compression = BI_RLE8;
  static constexpr int MsgEndOfLine = 1, MsgDelta = 2, MsgAbsolute = 3, MsgEncoded = 4;

  static std::int64_t MaxX(std::int64_t W) { return W; }
  static std::int64_t AbsoluteRunBytes(unsigned N) { return ((N + 1) / 2) * 2; }
  static void Fill(std::uint8_t* Row, std::int64_t X, unsigned N, std::uint8_t Color) {
    std::memset(Row + X, Color, N);
  }
  static void Copy(std::uint8_t* Row, std::int64_t X, unsigned N, const std::uint8_t* In) {
    std::memcpy(Row + X, In, N);
  }
};

struct TRle4 {
  static constexpr const char* Name = "Convert4BitRLETo4BitRGB";
  static constexpr std::uint16_t BitCount = 4;
  static constexpr std::uint32_t Compression = BI_RLE4;
  static constexpr int MsgEndOfLine = 5, MsgDelta = 6, MsgAbsolute = 7, MsgEncoded = 8;

  // The nibble that pads an odd-width row may be written.
  static std::int64_t MaxX(std::int64_t W) { return ((W + 1) / 2) * 2; }
  static std::int64_t AbsoluteRunBytes(unsigned N) { return ((N * 4 + 15) / 16) * 2; }
  // An even column sets the whole byte (low half 0); an odd one is ORed into the low half.
  static void Put(std::uint8_t* Row, std::int64_t X, std::uint8_t Nibble) {
    std::uint8_t& B = Row[X >> 1];
    if ((X & 1) == 0) {
      B = static_cast<std::uint8_t>(Nibble << 4);
    } else {
      B = static_cast<std::uint8_t>(B | Nibble);
    }
  }
  static void Fill(std::uint8_t* Row, std::int64_t X, unsigned N, std::uint8_t Color) {
    const std::uint8_t Hi = Color >> 4, Lo = Color & 0x0F;
    for (unsigned I = 0; I < N; ++I) Put(Row, X + I, (I & 1) == 0 ? Hi : Lo);
  }
  static void Copy(std::uint8_t* Row, std::int64_t X, unsigned N, const std::uint8_t* In) {
    for (unsigned I = 0; I < N; ++I) {
      const std::uint8_t B = In[I >> 1];
      Put(Row, X + I, (I & 1) == 0 ? B >> 4 : B & 0x0F);
    }
  }
};

template <typename Depth>
[[noreturn]] void Fail(const char* What) {
  throw EDIBUtilsError(std::string(Depth::Name) + ": " + What);
}

template <typename Depth>
[[noreturn]] void BadData(int Number) {
  throw EDIBUtilsError(std::string(Depth::Name) + ": Bad RLE Data " + std::to_string(Number));
}

// The compressed bytes; running out before end of bitmap is an error, never a read past them.
template <typename Depth>
class TRleInput {
 public:
  TRleInput(const std::uint8_t* Data, std::int64_t Length) : FPos(Data), FLeft(Length) {}
  const std::uint8_t* Take(std::int64_t N) {
    if (N > FLeft) Fail<Depth>("Unexpected End of RLE Data");
    const std::uint8_t* P = FPos;
    FPos += N;
    FLeft -= N;
    return P;
  }

 private:
  const std::uint8_t* FPos;
  std::int64_t FLeft;
};

template <typename Depth>
void CheckCombination(const BITMAPINFOHEADER& Header) {
  if (Header.biBitCount != Depth::BitCount || Header.biCompression != Depth::Compression) {
    Fail<Depth>("Invalid Bitcount & Compression Combination");
  }
}

template <typename Depth>
void Decode(const TSepDIB& Src, TSepDIB& Dst) {
  const BITMAPINFOHEADER& Sh = Src.Header;
  CheckCombination<Depth>(Sh);
  if (Sh.biWidth < 0) Fail<Depth>("Invalid Width");
  const std::int64_t W = Sh.biWidth;
  const std::int64_t H = Sh.biHeight < 0 ? -static_cast<std::int64_t>(Sh.biHeight) : Sh.biHeight;
  const std::int64_t R = ((W * Depth::BitCount + 31) / 32) * 4;
  const std::int64_t MaxX = Depth::MaxX(W);

  TDynamicByteArray Out;
  Out.SetLength(H * R);
  TRleInput<Depth> In(Src.Bits.Data(), Src.Bits.Length());
  std::int64_t X = 0, Y = 0;
  for (;;) {
    const std::uint8_t* Code = In.Take(2);
    const unsigned A = Code[0], B = Code[1];
    if (A != 0) {  // encoded run of a pixels of colour b
      if (X + A > MaxX || Y >= H) BadData<Depth>(Depth::MsgEncoded);
      Depth::Fill(Out.Data() + Y * R, X, A, static_cast<std::uint8_t>(B));
      X += A;
    } else if (B == RleEndOfLine) {
      X = 0;
      ++Y;
      if (Y > H) BadData<Depth>(Depth::MsgEndOfLine);
    } else if (B == RleEndOfBitmap) {
      break;
    } else if (B == RleDelta) {
      const std::uint8_t* D = In.Take(2);
      X += D[0];
      Y += D[1];
      if (X > MaxX || Y > H) BadData<Depth>(Depth::MsgDelta);
    } else {  // absolute run of b literal pixels
      static_assert(RleFirstAbsolute == RleDelta + 1);
      if (X + B > MaxX || Y >= H) BadData<Depth>(Depth::MsgAbsolute);
      const std::uint8_t* Literal = In.Take(Depth::AbsoluteRunBytes(B));
      Depth::Copy(Out.Data() + Y * R, X, B, Literal);
      X += B;
    }
  }

  TSepDIB Result;
  Result.Header = Sh;
  std::memcpy(Result.Tables, Src.Tables, TablesSize);
  Result.Header.biCompression = BI_RGB;
  Result.Header.biSizeImage = 0;
  Result.Bits = std::move(Out);
  Dst = std::move(Result);
}

}  // namespace

void Convert8BitRLETo8BitRGB(const TSepDIB& Src, TSepDIB& Dst) {
  Decode<TRle8>(Src, Dst);
}

void Convert4BitRLETo4BitRGB(const TSepDIB& Src, TSepDIB& Dst) {
  Decode<TRle4>(Src, Dst);
}

void CheckRLEBitCount(const TSepDIB& Src) {
  if (Src.Header.biCompression == BI_RLE8) CheckCombination<TRle8>(Src.Header);
  if (Src.Header.biCompression == BI_RLE4) CheckCombination<TRle4>(Src.Header);
}
