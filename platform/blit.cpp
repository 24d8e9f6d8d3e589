// The blit engine behind StretchBlt and StretchDIBits: clipping, mirroring, point sampling or
// box averaging, pixel-format conversion and raster operations, row by row on raw memory.

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

#include "platform/color_table.h"
#include "platform/device_context.h"

namespace {

int BlitFailCountdown = 0;

void CheckBlitFault() {
  if (BlitFailCountdown > 0 && --BlitFailCountdown == 0) throw EOutOfMemory();
}

// The raster operations supported, on the bits of the destination's pixel values (colour
// indices on palette surfaces, colour bytes on true-colour ones).
enum class TRop { Copy, Paint, And, Invert, NotCopy, Black, White };

bool DecodeRop(std::uint32_t Rop, TRop& Out) {
  switch (Rop) {
    case SRCCOPY:
      Out = TRop::Copy;
      return true;
    case SRCPAINT:
      Out = TRop::Paint;
      return true;
    case SRCAND:
      Out = TRop::And;
      return true;
    case SRCINVERT:
      Out = TRop::Invert;
      return true;
    case NOTSRCCOPY:
      Out = TRop::NotCopy;
      return true;
    case BLACKNESS:
      Out = TRop::Black;
      return true;
    case WHITENESS:
      Out = TRop::White;
      return true;
    default:
      return false;
  }
}

std::uint8_t ApplyRop(TRop Rop, std::uint8_t D, std::uint8_t S) {
  switch (Rop) {
    case TRop::Copy:
      return S;
    case TRop::Paint:
      return static_cast<std::uint8_t>(D | S);
    case TRop::And:
      return static_cast<std::uint8_t>(D & S);
    case TRop::Invert:
      return static_cast<std::uint8_t>(D ^ S);
    case TRop::NotCopy:
      return static_cast<std::uint8_t>(~S);
    case TRop::Black:
      return 0;
    case TRop::White:
      return 0xFF;
  }
  return S;
}

// A source image: rows of Stride bytes, bottom-up or top-down.
struct TSource {
  const std::uint8_t* Block = nullptr;
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  std::int64_t Stride = 0;
  int Bits = 24;
  bool BottomUp = true;
  const RGBQUAD* Colors = nullptr;
  int ColorCount = 0;

  const std::uint8_t* Row(std::int32_t Y) const {
    return Block + (BottomUp ? static_cast<std::int64_t>(Height - 1 - Y) : Y) * Stride;
  }
};

template <int Bits>
inline unsigned ReadIndex(const std::uint8_t* Row, std::int32_t X) {
  if constexpr (Bits == 1) {
    return (Row[X >> 3] >> (7 - (X & 7))) & 1u;
  } else if constexpr (Bits == 4) {
    return (Row[X >> 1] >> ((X & 1) ? 0 : 4)) & 0x0Fu;
  } else {
    return Row[X];
  }
}

inline std::uint32_t ReadRgb(const std::uint8_t* P) {
  return static_cast<std::uint32_t>(P[0]) | static_cast<std::uint32_t>(P[1]) << 8 |
         static_cast<std::uint32_t>(P[2]) << 16;
}

inline void WriteBgr(std::uint8_t* P, std::uint32_t Rgb) {
  P[0] = static_cast<std::uint8_t>(Rgb);
  P[1] = static_cast<std::uint8_t>(Rgb >> 8);
  P[2] = static_cast<std::uint8_t>(Rgb >> 16);
}

// What one converted destination pixel looks like in the row buffer.
enum TOutKind { OutIndex = 1, OutBgr = 3, OutBgrx = 4 };

// Per-blit conversion tables.
struct TConversion {
  std::uint32_t ColorLut[256] = {};  // source index -> 0x00RRGGBB
  std::uint8_t IndexLut[256] = {};   // source index -> destination index
  bool Identity = false;             // IndexLut is the identity
  TNearestColorCache* Cache = nullptr;
};

// Source columns of the destination pixels: X0 + k when contiguous, Map[k] otherwise.
struct TColumns {
  bool Contiguous = true;
  std::int32_t X0 = 0;
  const std::int32_t* Map = nullptr;
  std::int32_t At(std::int32_t K) const { return Contiguous ? X0 + K : Map[K]; }
};

template <int SrcBits, int Out, bool Contiguous>
void GatherRow(const std::uint8_t* Row, const TColumns& Cols, std::int32_t N, std::uint8_t* Dst,
               TConversion& Conv) {
  for (std::int32_t K = 0; K < N; ++K) {
    const std::int32_t X = Contiguous ? Cols.X0 + K : Cols.Map[K];
    if constexpr (SrcBits <= 8) {
      const unsigned Index = ReadIndex<SrcBits>(Row, X);
      if constexpr (Out == OutIndex) {
        Dst[K] = Conv.IndexLut[Index];
      } else {
        WriteBgr(Dst + Out * K, Conv.ColorLut[Index]);
        if constexpr (Out == OutBgrx) Dst[4 * K + 3] = 0;
      }
    } else {
      const std::uint8_t* P = Row + (SrcBits / 8) * static_cast<std::int64_t>(X);
      if constexpr (Out == OutIndex) {
        Dst[K] = Conv.Cache->Lookup(ReadRgb(P));
      } else {
        Dst[Out * K] = P[0];
        Dst[Out * K + 1] = P[1];
        Dst[Out * K + 2] = P[2];
        if constexpr (Out == OutBgrx) Dst[4 * K + 3] = SrcBits == 32 ? P[3] : 0;
      }
    }
  }
}

// 8-bit indices to 24-bit colours, four pixels per three 32-bit stores.
void Gather8To24(const std::uint8_t* Src, std::int32_t N, std::uint8_t* Dst,
                 const std::uint32_t* Lut) {
  std::int32_t K = 0;
  for (; K + 4 <= N; K += 4) {
    const std::uint32_t A = Lut[Src[K]];
    const std::uint32_t B = Lut[Src[K + 1]];
    const std::uint32_t C = Lut[Src[K + 2]];
    const std::uint32_t D = Lut[Src[K + 3]];
    const std::uint32_t W0 = A | B << 24;
    const std::uint32_t W1 = B >> 8 | C << 16;
    const std::uint32_t W2 = C >> 16 | D << 8;
    std::memcpy(Dst, &W0, 4);
    std::memcpy(Dst + 4, &W1, 4);
    std::memcpy(Dst + 8, &W2, 4);
    Dst += 12;
  }
  for (; K < N; ++K, Dst += 3) WriteBgr(Dst, Lut[Src[K]]);
}

// 24-bit colours to indices through the colour cache, its home-slot test inlined.
void Gather24To8(const std::uint8_t* Src, std::int32_t N, std::uint8_t* Dst,
                 TNearestColorCache& Cache) {
  const std::uint32_t* Keys = Cache.Keys();
  const std::uint8_t* Indices = Cache.Indices();
  std::int32_t K = 0;
  for (; K + 1 < N; ++K, Src += 3) {
    // Reads one byte past the pixel, which the next pixel still owns.
    std::uint32_t Rgb;
    std::memcpy(&Rgb, Src, 4);
    Rgb &= 0xFFFFFF;
    const std::uint32_t Slot = TNearestColorCache::Home(Rgb);
    Dst[K] = Keys[Slot] == Rgb ? Indices[Slot] : Cache.Probe(Rgb);
  }
  for (; K < N; ++K, Src += 3) Dst[K] = Cache.Lookup(ReadRgb(Src));
}

void GatherDispatch(const TSource& Src, const std::uint8_t* Row, const TColumns& Cols,
                    std::int32_t N, int Out, std::uint8_t* Dst, TConversion& Conv) {
  if (Cols.Contiguous) {
    // The hot paths of natural-size copies.
    if (Src.Bits == 8 && Out == OutBgr) return Gather8To24(Row + Cols.X0, N, Dst, Conv.ColorLut);
    if (Src.Bits == 8 && Out == OutIndex && Conv.Identity) {
      std::memcpy(Dst, Row + Cols.X0, static_cast<std::size_t>(N));
      return;
    }
    if (Src.Bits == 24 && Out == OutBgr) {
      std::memcpy(Dst, Row + 3 * static_cast<std::int64_t>(Cols.X0),
                  3 * static_cast<std::size_t>(N));
      return;
    }
    if (Src.Bits == 24 && Out == OutIndex) {
      return Gather24To8(Row + 3 * static_cast<std::int64_t>(Cols.X0), N, Dst, *Conv.Cache);
    }
  }
#define VELDRIN_GATHER(BITS, OUT)                                        \
  (Cols.Contiguous ? GatherRow<BITS, OUT, true>(Row, Cols, N, Dst, Conv) \
                   : GatherRow<BITS, OUT, false>(Row, Cols, N, Dst, Conv))
#define VELDRIN_GATHER_BITS(OUT) \
  switch (Src.Bits) {            \
    case 1:                      \
      VELDRIN_GATHER(1, OUT);    \
      break;                     \
    case 4:                      \
      VELDRIN_GATHER(4, OUT);    \
      break;                     \
    case 8:                      \
      VELDRIN_GATHER(8, OUT);    \
      break;                     \
    case 24:                     \
      VELDRIN_GATHER(24, OUT);   \
      break;                     \
    default:                     \
      VELDRIN_GATHER(32, OUT);   \
      break;                     \
  }
  switch (Out) {
    case OutIndex:
      VELDRIN_GATHER_BITS(OutIndex);
      break;
    case OutBgr:
      VELDRIN_GATHER_BITS(OutBgr);
      break;
    default:
      VELDRIN_GATHER_BITS(OutBgrx);
      break;
  }
#undef VELDRIN_GATHER_BITS
#undef VELDRIN_GATHER
}

// Combines N converted pixels with destination row pixels X0 .. X0 + N - 1.
void StoreRow(std::uint8_t* Row, std::int32_t X0, std::int32_t N, int DestBits,
              const std::uint8_t* Values, TRop Rop) {
  if (DestBits >= 8) {
    const int Bytes = DestBits / 8;
    std::uint8_t* D = Row + Bytes * static_cast<std::int64_t>(X0);
    const std::int64_t Total = static_cast<std::int64_t>(Bytes) * N;
    if (Rop == TRop::Copy) {
      std::memcpy(D, Values, static_cast<std::size_t>(Total));
    } else {
      for (std::int64_t I = 0; I < Total; ++I) D[I] = ApplyRop(Rop, D[I], Values[I]);
    }
    return;
  }
  const unsigned Mask = (1u << DestBits) - 1;
  for (std::int32_t K = 0; K < N; ++K) {
    const std::int32_t X = X0 + K;
    if (DestBits == 1) {
      std::uint8_t& B = Row[X >> 3];
      const int Shift = 7 - (X & 7);
      const unsigned Old = (B >> Shift) & 1u;
      const unsigned V = ApplyRop(Rop, static_cast<std::uint8_t>(Old), Values[K]) & Mask;
      B = static_cast<std::uint8_t>((B & ~(1u << Shift)) | V << Shift);
    } else {
      std::uint8_t& B = Row[X >> 1];
      const int Shift = (X & 1) ? 0 : 4;
      const unsigned Old = (B >> Shift) & 0x0Fu;
      const unsigned V = ApplyRop(Rop, static_cast<std::uint8_t>(Old), Values[K]) & Mask;
      B = static_cast<std::uint8_t>((B & ~(0x0Fu << Shift)) | V << Shift);
    }
  }
}

// One axis of a blit: destination positions Lo .. Hi - 1 (device) and the source position
// of each, by the point-sampling rule and the mirroring signs.
struct TAxis {
  std::int64_t D0 = 0;    // device position of the rectangle's first pixel
  std::int64_t DExt = 0;  // |destination extent|
  int DSign = 1;
  std::int64_t S0 = 0;    // source position of the first source pixel
  std::int64_t SExt = 0;  // |source extent|
  int SSign = 1;

  std::int64_t Index(std::int64_t D) const { return DSign > 0 ? D - D0 : D0 - D; }
  // First and one-past-last sample index of destination pixel i's area.
  std::int64_t SampleOf(std::int64_t I) const { return I * SExt / DExt; }
  std::int64_t SampleEnd(std::int64_t I) const {
    return std::max((I + 1) * SExt / DExt, SampleOf(I) + 1);
  }
  std::int64_t SourceAt(std::int64_t J) const { return S0 + SSign * J; }
  std::int64_t Source(std::int64_t D) const { return SourceAt(SampleOf(Index(D))); }
  // The source positions [Lo, Hi] that destination position D averages, in ascending order.
  void SourceSpan(std::int64_t D, std::int64_t& Lo, std::int64_t& Hi) const {
    const std::int64_t I = Index(D);
    Lo = SourceAt(SampleOf(I));
    Hi = SourceAt(SampleEnd(I) - 1);
    if (Lo > Hi) std::swap(Lo, Hi);
  }
  // The destination range [Lo, Hi) covered by the rectangle.
  void Range(std::int64_t& Lo, std::int64_t& Hi) const {
    if (DSign > 0) {
      Lo = D0;
      Hi = D0 + DExt;
    } else {
      Lo = D0 - DExt + 1;
      Hi = D0 + 1;
    }
  }
  bool Contiguous() const { return DExt == SExt && DSign == SSign; }
};

TAxis MakeAxis(std::int64_t D, std::int64_t DExtent, std::int64_t S, std::int64_t SExtent) {
  TAxis A;
  A.D0 = D;
  A.DExt = DExtent < 0 ? -DExtent : DExtent;
  A.DSign = DExtent < 0 ? -1 : 1;
  A.S0 = S;
  A.SExt = SExtent < 0 ? -SExtent : SExtent;
  A.SSign = SExtent < 0 ? -1 : 1;
  return A;
}

// Narrows [Lo, Hi) to the destination positions whose sample lies inside [0, Size). The
// mapping is monotonic, so the valid positions form one run.
void TrimToSource(const TAxis& A, std::int64_t Size, std::int64_t& Lo, std::int64_t& Hi) {
  if (A.Contiguous()) {
    // Source = D + (S0 - D0) in both directions.
    const std::int64_t Shift = A.S0 - A.D0;
    Lo = std::max(Lo, -Shift);
    Hi = std::min(Hi, Size - Shift);
    return;
  }
  auto Inside = [&](std::int64_t D) {
    const std::int64_t S = A.Source(D);
    return S >= 0 && S < Size;
  };
  while (Lo < Hi && !Inside(Lo)) ++Lo;
  while (Hi > Lo && !Inside(Hi - 1)) --Hi;
}

void PrepareConversion(const TSource& Src, const TDeviceContext& Dest, TConversion& Conv) {
  const std::vector<RGBQUAD>& DestColors = Dest.Colors();
  if (Src.Bits > 8) return;
  const int N = 1 << Src.Bits;
  for (int I = 0; I < N && I < Src.ColorCount; ++I) {
    const RGBQUAD& C = Src.Colors[I];
    Conv.ColorLut[I] = static_cast<std::uint32_t>(C.rgbBlue) |
                       static_cast<std::uint32_t>(C.rgbGreen) << 8 |
                       static_cast<std::uint32_t>(C.rgbRed) << 16;
  }
  if (Dest.Bits() > 8) return;
  bool Same = static_cast<std::size_t>(Src.ColorCount) == DestColors.size();
  for (int I = 0; Same && I < Src.ColorCount; ++I) {
    Same = Src.Colors[I].rgbRed == DestColors[I].rgbRed &&
           Src.Colors[I].rgbGreen == DestColors[I].rgbGreen &&
           Src.Colors[I].rgbBlue == DestColors[I].rgbBlue;
  }
  Conv.Identity = Same;
  for (int I = 0; I < N; ++I) {
    if (Same) {
      Conv.IndexLut[I] = static_cast<std::uint8_t>(I);
    } else {
      const std::uint32_t Rgb = Conv.ColorLut[I];
      Conv.IndexLut[I] =
          NearestColorIndex(DestColors.data(), static_cast<int>(DestColors.size()),
                            static_cast<std::uint8_t>(Rgb >> 16),
                            static_cast<std::uint8_t>(Rgb >> 8), static_cast<std::uint8_t>(Rgb));
    }
  }
}

// Averages the source areas of destination row pixels into Values (HALFTONE when shrinking).
class TBoxAverager {
 public:
  TBoxAverager(const TSource& Src, const TAxis& X, std::int64_t Lo, std::int64_t Hi)
      : FSrc(Src),
        FN(static_cast<std::int32_t>(Hi - Lo)),
        FLo(FN),
        FHi(FN),
        FSum(3 * FN),
        FCount(FN) {
    FSpanLo = Src.Width;
    FSpanHi = 0;
    for (std::int32_t K = 0; K < FN; ++K) {
      std::int64_t A, B;
      X.SourceSpan(Lo + K, A, B);
      FLo[K] = static_cast<std::int32_t>(std::max<std::int64_t>(A, 0));
      FHi[K] = static_cast<std::int32_t>(std::min<std::int64_t>(B + 1, Src.Width));
      FSpanLo = std::min(FSpanLo, FLo[K]);
      FSpanHi = std::max(FSpanHi, FHi[K]);
    }
    FRowRgb.resize(static_cast<std::size_t>(std::max(FSpanHi - FSpanLo, 0)));
  }

  void Reset() {
    std::fill(FSum.begin(), FSum.end(), 0);
    std::fill(FCount.begin(), FCount.end(), 0);
  }

  void AddRow(const std::uint8_t* Row, const TConversion& Conv) {
    for (std::int32_t X = FSpanLo; X < FSpanHi; ++X) FRowRgb[X - FSpanLo] = ColorAt(Row, X, Conv);
    for (std::int32_t K = 0; K < FN; ++K) {
      std::uint64_t* Sum = &FSum[3 * static_cast<std::size_t>(K)];
      for (std::int32_t X = FLo[K]; X < FHi[K]; ++X) {
        const std::uint32_t Rgb = FRowRgb[X - FSpanLo];
        Sum[0] += Rgb & 0xFF;
        Sum[1] += (Rgb >> 8) & 0xFF;
        Sum[2] += Rgb >> 16;
      }
      FCount[K] += static_cast<std::uint64_t>(FHi[K] - FLo[K]);
    }
  }

  std::uint32_t Average(std::int32_t K) const {
    const std::uint64_t N = std::max<std::uint64_t>(FCount[K], 1);
    const std::uint64_t* Sum = &FSum[3 * static_cast<std::size_t>(K)];
    return static_cast<std::uint32_t>(((Sum[0] + N / 2) / N) | ((Sum[1] + N / 2) / N) << 8 |
                                      ((Sum[2] + N / 2) / N) << 16);
  }

 private:
  std::uint32_t ColorAt(const std::uint8_t* Row, std::int32_t X, const TConversion& Conv) const {
    switch (FSrc.Bits) {
      case 1:
        return Conv.ColorLut[ReadIndex<1>(Row, X)];
      case 4:
        return Conv.ColorLut[ReadIndex<4>(Row, X)];
      case 8:
        return Conv.ColorLut[Row[X]];
      case 24:
        return ReadRgb(Row + 3 * static_cast<std::int64_t>(X));
      default:
        return ReadRgb(Row + 4 * static_cast<std::int64_t>(X));
    }
  }

  const TSource& FSrc;
  std::int32_t FN;
  std::vector<std::int32_t> FLo, FHi;  // source column range of each destination pixel
  std::vector<std::uint64_t> FSum;     // blue, green, red sums per destination pixel
  std::vector<std::uint64_t> FCount;
  std::int32_t FSpanLo, FSpanHi;
  std::vector<std::uint32_t> FRowRgb;
};

// A blit's rectangle on either side, in logical units; a negative extent mirrors.
struct TBlitRect {
  std::int64_t X = 0;
  std::int64_t Y = 0;
  std::int64_t W = 0;
  std::int64_t H = 0;
};

// The device pixels a blit writes: columns [ColLo, ColHi) of rows [RowLo, RowHi).
struct TBlitArea {
  std::int64_t ColLo = 0;
  std::int64_t ColHi = 0;
  std::int64_t RowLo = 0;
  std::int64_t RowHi = 0;

  std::int32_t Width() const { return static_cast<std::int32_t>(ColHi - ColLo); }
};

int OutKindOf(int DestBits) {
  return DestBits <= 8 ? OutIndex : DestBits == 24 ? OutBgr : OutBgrx;
}

// Clips the destination rectangle to the surface's clip box and, for a blit that reads Src
// (null otherwise), to the pixels whose samples lie inside it. False when nothing is left.
bool ClipBlit(const TDeviceContext& Dest, const TAxis& AX, const TAxis& AY, const TSource* Src,
              TBlitArea& Area) {
  const TRect Clip = Dest.DeviceClip();
  AX.Range(Area.ColLo, Area.ColHi);
  AY.Range(Area.RowLo, Area.RowHi);
  Area.RowLo = std::max<std::int64_t>(Area.RowLo, Clip.Top);
  Area.RowHi = std::min<std::int64_t>(Area.RowHi, Clip.Bottom);
  if (Area.RowLo >= Area.RowHi) return false;
  Area.ColLo = std::max<std::int64_t>(Area.ColLo, Clip.Left);
  Area.ColHi = std::min<std::int64_t>(Area.ColHi, Clip.Right);
  if (Area.ColLo >= Area.ColHi) return false;
  if (Src != nullptr) {
    TrimToSource(AY, Src->Height, Area.RowLo, Area.RowHi);
    TrimToSource(AX, Src->Width, Area.ColLo, Area.ColHi);
  }
  return Area.RowLo < Area.RowHi && Area.ColLo < Area.ColHi;
}

// Whole rows written without reading the destination leave nothing of a pending fill there.
void SettlePendingFill(const TDeviceContext& Dest, const TBlitArea& Area, TRop Rop) {
  const bool IgnoresDest = Rop != TRop::Paint && Rop != TRop::And && Rop != TRop::Invert;
  if (IgnoresDest && Area.ColLo == 0 && Area.ColHi == Dest.Width()) {
    Dest.Overwriting(static_cast<std::int32_t>(Area.RowLo), static_cast<std::int32_t>(Area.RowHi));
  } else {
    Dest.WritePendingFill();
  }
}

// The source as the rows read it: a snapshot when it is the destination's own bitmap, so that
// a blit never sees its own output; its conversion tables; the source column of each
// destination column. Cols and Conv point into the object's own members: it is never moved.
struct TPreparedSource {
  TSource Source;
  TConversion Conv;
  TColumns Cols;
  std::vector<std::uint8_t> Snapshot;
  std::optional<TNearestColorCache> Cache;
  std::vector<std::int32_t> Map;

  TPreparedSource() = default;
  TPreparedSource(const TPreparedSource&) = delete;
  TPreparedSource& operator=(const TPreparedSource&) = delete;
};

void PrepareSource(const TSource& Src, const TDeviceContext& Dest, const TAxis& AX,
                   const TBlitArea& Area, bool Average, TPreparedSource& Out) {
  Out.Source = Src;
  if (Src.Block == Dest.Block()) {
    Out.Snapshot.assign(Src.Block, Src.Block + Src.Stride * Src.Height);
    Out.Source.Block = Out.Snapshot.data();
  }
  PrepareConversion(Out.Source, Dest, Out.Conv);
  if (Dest.Bits() <= 8 && (Src.Bits > 8 || Average)) {
    Out.Cache.emplace(Dest.Colors().data(), static_cast<int>(Dest.Colors().size()));
    Out.Conv.Cache = &*Out.Cache;
  }
  if (AX.Contiguous()) {
    Out.Cols.X0 = static_cast<std::int32_t>(AX.Source(Area.ColLo));
    return;
  }
  const std::int32_t N = Area.Width();
  Out.Map.resize(static_cast<std::size_t>(N));
  for (std::int32_t K = 0; K < N; ++K) {
    Out.Map[K] = static_cast<std::int32_t>(AX.Source(Area.ColLo + K));
  }
  Out.Cols.Contiguous = false;
  Out.Cols.Map = Out.Map.data();
}

// The rows of a blit that reads no source (BLACKNESS, WHITENESS).
void FillRows(const TDeviceContext& Dest, const TBlitArea& Area, TRop Rop,
              const std::vector<std::uint8_t>& Values) {
  for (std::int64_t R = Area.RowLo; R < Area.RowHi; ++R) {
    StoreRow(Dest.Row(static_cast<std::int32_t>(R)), static_cast<std::int32_t>(Area.ColLo),
             Area.Width(), Dest.Bits(), Values.data(), Rop);
  }
}

// Point-sampled rows: each destination row from the one source row its position samples,
// converted straight into the destination where the raster operation allows.
void CopyRows(const TDeviceContext& Dest, const TBlitArea& Area, const TAxis& AY,
              TPreparedSource& Src, TRop Rop, std::vector<std::uint8_t>& Values) {
  const int DestBits = Dest.Bits();
  const int Out = OutKindOf(DestBits);
  const std::int32_t N = Area.Width();
  const bool Direct = Rop == TRop::Copy && DestBits >= 8;
  for (std::int64_t R = Area.RowLo; R < Area.RowHi; ++R) {
    const std::uint8_t* SRow = Src.Source.Row(static_cast<std::int32_t>(AY.Source(R)));
    std::uint8_t* DRow = Dest.Row(static_cast<std::int32_t>(R));
    if (Direct) {
      GatherDispatch(Src.Source, SRow, Src.Cols, N, Out, DRow + Out * Area.ColLo, Src.Conv);
    } else {
      GatherDispatch(Src.Source, SRow, Src.Cols, N, Out, Values.data(), Src.Conv);
      StoreRow(DRow, static_cast<std::int32_t>(Area.ColLo), N, DestBits, Values.data(), Rop);
    }
  }
}

// Box-averaged rows (HALFTONE when shrinking): each destination pixel the mean colour of its
// source area.
void AverageRows(const TDeviceContext& Dest, const TBlitArea& Area, const TAxis& AX,
                 const TAxis& AY, TPreparedSource& Src, TRop Rop,
                 std::vector<std::uint8_t>& Values) {
  const int DestBits = Dest.Bits();
  const int Out = OutKindOf(DestBits);
  const std::int32_t N = Area.Width();
  TBoxAverager Box(Src.Source, AX, Area.ColLo, Area.ColHi);
  for (std::int64_t R = Area.RowLo; R < Area.RowHi; ++R) {
    std::int64_t First, Last;
    AY.SourceSpan(R, First, Last);
    First = std::max<std::int64_t>(First, 0);
    Last = std::min<std::int64_t>(Last, Src.Source.Height - 1);
    Box.Reset();
    for (std::int64_t SY = First; SY <= Last; ++SY) {
      Box.AddRow(Src.Source.Row(static_cast<std::int32_t>(SY)), Src.Conv);
    }
    for (std::int32_t K = 0; K < N; ++K) {
      const std::uint32_t Rgb = Box.Average(K);
      if (Out == OutIndex) {
        Values[K] = Src.Conv.Cache->Lookup(Rgb);
      } else {
        WriteBgr(&Values[static_cast<std::size_t>(Out) * K], Rgb);
        if (Out == OutBgrx) Values[4 * static_cast<std::size_t>(K) + 3] = 0;
      }
    }
    StoreRow(Dest.Row(static_cast<std::int32_t>(R)), static_cast<std::int32_t>(Area.ColLo), N,
             DestBits, Values.data(), Rop);
  }
}

// Draws Src's rectangle From into To on Dest; a blit that needs no source (BLACKNESS,
// WHITENESS) takes a null Src. False for what the system's blits refuse.
bool Blit(HDC Dest, const TBlitRect& To, const TSource* Src, TBlitRect From,
          std::uint32_t RopCode) {
  TRop Rop;
  if (Dest == nullptr || !DecodeRop(RopCode, Rop)) return false;
  const bool UsesSource = Rop != TRop::Black && Rop != TRop::White;
  if (UsesSource && (Src == nullptr || Src->Block == nullptr)) return false;
  if (To.W == 0 || To.H == 0 || (UsesSource && (From.W == 0 || From.H == 0))) return true;
  if (Dest->Block() == nullptr) return true;
  if (!UsesSource) {
    From.W = To.W;
    From.H = To.H;
  }

  const TAxis AX = MakeAxis(To.X - Dest->Origin.X, To.W, From.X, From.W);
  const TAxis AY = MakeAxis(To.Y - Dest->Origin.Y, To.H, From.Y, From.H);
  TBlitArea Area;
  if (!ClipBlit(*Dest, AX, AY, UsesSource ? Src : nullptr, Area)) return true;
  SettlePendingFill(*Dest, Area, Rop);

  const std::int32_t N = Area.Width();
  std::vector<std::uint8_t> Values(static_cast<std::size_t>(N) * OutKindOf(Dest->Bits()));
  GdiStats().PixelsWritten +=
      static_cast<std::uint64_t>(N) * static_cast<std::uint64_t>(Area.RowHi - Area.RowLo);
  if (!UsesSource) {
    FillRows(*Dest, Area, Rop, Values);
    return true;
  }

  const bool Average = Dest->StretchMode == HALFTONE && (AX.SExt > AX.DExt || AY.SExt > AY.DExt);
  TPreparedSource Prepared;
  PrepareSource(*Src, *Dest, AX, Area, Average, Prepared);
  if (Average) {
    AverageRows(*Dest, Area, AX, AY, Prepared, Rop, Values);
  } else {
    CopyRows(*Dest, Area, AY, Prepared, Rop, Values);
  }
  return true;
}

}  // namespace

void SetBlitFailCountdown(int N) {
  BlitFailCountdown = std::max(N, 0);
}

bool StretchBlt(HDC Dest, int X, int Y, int Width, int Height, HDC Src, int XSrc, int YSrc,
                int WidthSrc, int HeightSrc, std::uint32_t Rop) {
  ++GdiStats().StretchBltCalls;
  CheckBlitFault();
  TSource Source;
  const TSource* SourceOrNone = nullptr;
  TBlitRect From{XSrc, YSrc, WidthSrc, HeightSrc};
  if (Src != nullptr) {
    Src->WritePendingFill();
    Source.Block = Src->Block();
    Source.Width = Src->Width();
    Source.Height = Src->Height();
    Source.Stride = Src->Stride();
    Source.Bits = Src->Bits();
    Source.BottomUp = true;
    Source.Colors = Src->Colors().data();
    Source.ColorCount = static_cast<int>(Src->Colors().size());
    SourceOrNone = &Source;
    From.X -= Src->Origin.X;
    From.Y -= Src->Origin.Y;
  }
  return Blit(Dest, {X, Y, Width, Height}, SourceOrNone, From, Rop);
}

int StretchDIBits(HDC Dest, int X, int Y, int Width, int Height, int XSrc, int YSrc, int WidthSrc,
                  int HeightSrc, const void* Bits, const BITMAPINFOHEADER* Info,
                  std::uint32_t Usage, std::uint32_t Rop) {
  ++GdiStats().StretchDIBitsCalls;
  CheckBlitFault();
  if (Info == nullptr || Bits == nullptr || Usage != DIB_RGB_COLORS || Info->biSize < 40 ||
      Info->biCompression != BI_RGB || Info->biWidth <= 0 || Info->biHeight == 0 ||
      Info->biHeight == std::numeric_limits<std::int32_t>::min()) {
    return 0;
  }
  const int BitCount = Info->biBitCount;
  if (BitCount != 1 && BitCount != 4 && BitCount != 8 && BitCount != 24 && BitCount != 32) {
    return 0;
  }
  TSource Source;
  Source.Block = static_cast<const std::uint8_t*>(Bits);
  Source.Width = Info->biWidth;
  Source.BottomUp = Info->biHeight > 0;
  Source.Height = Source.BottomUp ? Info->biHeight : -Info->biHeight;
  Source.Stride = DibRowStride(Source.Width, BitCount);
  Source.Bits = BitCount;
  Source.Colors =
      reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const std::uint8_t*>(Info) + Info->biSize);
  if (BitCount <= 8) {
    const std::uint32_t Count = Info->biClrUsed != 0 ? Info->biClrUsed : 1u << BitCount;
    Source.ColorCount = static_cast<int>(std::min<std::uint32_t>(Count, 256));
  }
  // A bottom-up image counts its source rows from the bottom row upward: the rectangle
  // (YSrc, HeightSrc) holds the rows YSrc .. YSrc + HeightSrc - 1 of the block, drawn the
  // right way up. In rows from the top that is the rectangle below.
  std::int64_t FromY = YSrc;
  if (Source.BottomUp) {
    FromY = HeightSrc > 0 ? std::int64_t{Source.Height} - YSrc - HeightSrc
                          : std::int64_t{Source.Height} - 2 - YSrc - HeightSrc;
  }
  if (!Blit(Dest, {X, Y, Width, Height}, &Source, {XSrc, FromY, WidthSrc, HeightSrc}, Rop)) {
    return 0;
  }
  return HeightSrc < 0 ? -HeightSrc : HeightSrc;
}
