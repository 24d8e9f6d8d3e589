// The blit engine behind StretchBlt and StretchDIBits: clipping, mirroring, point sampling or
// box averaging, pixel-format conversion and raster operations, row by row on raw memory.

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "platform/color_table.h"
#include "platform/device_context.h"

namespace {

int g_blit_fail_countdown = 0;

void CheckBlitFault() {
  if (g_blit_fail_countdown > 0 && --g_blit_fail_countdown == 0) throw EOutOfMemory();
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
enum TOutKind { kOutIndex = 1, kOutBgr = 3, kOutBgrx = 4 };

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
  for (std::int32_t k = 0; k < N; ++k) {
    const std::int32_t x = Contiguous ? Cols.X0 + k : Cols.Map[k];
    if constexpr (SrcBits <= 8) {
      const unsigned index = ReadIndex<SrcBits>(Row, x);
      if constexpr (Out == kOutIndex) {
        Dst[k] = Conv.IndexLut[index];
      } else {
        WriteBgr(Dst + Out * k, Conv.ColorLut[index]);
        if constexpr (Out == kOutBgrx) Dst[4 * k + 3] = 0;
      }
    } else {
      const std::uint8_t* p = Row + (SrcBits / 8) * static_cast<std::int64_t>(x);
      if constexpr (Out == kOutIndex) {
        Dst[k] = Conv.Cache->Lookup(ReadRgb(p));
      } else {
        Dst[Out * k] = p[0];
        Dst[Out * k + 1] = p[1];
        Dst[Out * k + 2] = p[2];
        if constexpr (Out == kOutBgrx) Dst[4 * k + 3] = SrcBits == 32 ? p[3] : 0;
      }
    }
  }
}

// 8-bit indices to 24-bit colours, four pixels per three 32-bit stores.
void Gather8To24(const std::uint8_t* Src, std::int32_t N, std::uint8_t* Dst,
                 const std::uint32_t* Lut) {
  std::int32_t k = 0;
  for (; k + 4 <= N; k += 4) {
    const std::uint32_t a = Lut[Src[k]];
    const std::uint32_t b = Lut[Src[k + 1]];
    const std::uint32_t c = Lut[Src[k + 2]];
    const std::uint32_t d = Lut[Src[k + 3]];
    const std::uint32_t w0 = a | b << 24;
    const std::uint32_t w1 = b >> 8 | c << 16;
    const std::uint32_t w2 = c >> 16 | d << 8;
    std::memcpy(Dst, &w0, 4);
    std::memcpy(Dst + 4, &w1, 4);
    std::memcpy(Dst + 8, &w2, 4);
    Dst += 12;
  }
  for (; k < N; ++k, Dst += 3) WriteBgr(Dst, Lut[Src[k]]);
}

// 24-bit colours to indices through the colour cache, its home-slot test inlined.
void Gather24To8(const std::uint8_t* Src, std::int32_t N, std::uint8_t* Dst,
                 TNearestColorCache& Cache) {
  const std::uint32_t* keys = Cache.Keys();
  const std::uint8_t* indices = Cache.Indices();
  std::int32_t k = 0;
  for (; k + 1 < N; ++k, Src += 3) {
    // Reads one byte past the pixel, which the next pixel still owns.
    std::uint32_t rgb;
    std::memcpy(&rgb, Src, 4);
    rgb &= 0xFFFFFF;
    const std::uint32_t slot = TNearestColorCache::Home(rgb);
    Dst[k] = keys[slot] == rgb ? indices[slot] : Cache.Probe(rgb);
  }
  for (; k < N; ++k, Src += 3) Dst[k] = Cache.Lookup(ReadRgb(Src));
}

void GatherDispatch(const TSource& Src, const std::uint8_t* Row, const TColumns& Cols,
                    std::int32_t N, int Out, std::uint8_t* Dst, TConversion& Conv) {
  if (Cols.Contiguous) {
    // The hot paths of natural-size copies.
    if (Src.Bits == 8 && Out == kOutBgr) return Gather8To24(Row + Cols.X0, N, Dst, Conv.ColorLut);
    if (Src.Bits == 8 && Out == kOutIndex && Conv.Identity) {
      std::memcpy(Dst, Row + Cols.X0, static_cast<std::size_t>(N));
      return;
    }
    if (Src.Bits == 24 && Out == kOutBgr) {
      std::memcpy(Dst, Row + 3 * static_cast<std::int64_t>(Cols.X0),
                  3 * static_cast<std::size_t>(N));
      return;
    }
    if (Src.Bits == 24 && Out == kOutIndex) {
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
    case kOutIndex:
      VELDRIN_GATHER_BITS(kOutIndex);
      break;
    case kOutBgr:
      VELDRIN_GATHER_BITS(kOutBgr);
      break;
    default:
      VELDRIN_GATHER_BITS(kOutBgrx);
      break;
  }
#undef VELDRIN_GATHER_BITS
#undef VELDRIN_GATHER
}

// Combines N converted pixels with destination row pixels X0 .. X0 + N - 1.
void StoreRow(std::uint8_t* Row, std::int32_t X0, std::int32_t N, int DestBits,
              const std::uint8_t* Values, TRop Rop) {
  if (DestBits >= 8) {
    const int bytes = DestBits / 8;
    std::uint8_t* d = Row + bytes * static_cast<std::int64_t>(X0);
    const std::int64_t total = static_cast<std::int64_t>(bytes) * N;
    if (Rop == TRop::Copy) {
      std::memcpy(d, Values, static_cast<std::size_t>(total));
    } else {
      for (std::int64_t i = 0; i < total; ++i) d[i] = ApplyRop(Rop, d[i], Values[i]);
    }
    return;
  }
  const unsigned mask = (1u << DestBits) - 1;
  for (std::int32_t k = 0; k < N; ++k) {
    const std::int32_t x = X0 + k;
    if (DestBits == 1) {
      std::uint8_t& b = Row[x >> 3];
      const int shift = 7 - (x & 7);
      const unsigned old = (b >> shift) & 1u;
      const unsigned v = ApplyRop(Rop, static_cast<std::uint8_t>(old), Values[k]) & mask;
      b = static_cast<std::uint8_t>((b & ~(1u << shift)) | v << shift);
    } else {
      std::uint8_t& b = Row[x >> 1];
      const int shift = (x & 1) ? 0 : 4;
      const unsigned old = (b >> shift) & 0x0Fu;
      const unsigned v = ApplyRop(Rop, static_cast<std::uint8_t>(old), Values[k]) & mask;
      b = static_cast<std::uint8_t>((b & ~(0x0Fu << shift)) | v << shift);
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
  TAxis a;
  a.D0 = D;
  a.DExt = DExtent < 0 ? -DExtent : DExtent;
  a.DSign = DExtent < 0 ? -1 : 1;
  a.S0 = S;
  a.SExt = SExtent < 0 ? -SExtent : SExtent;
  a.SSign = SExtent < 0 ? -1 : 1;
  return a;
}

// Narrows [Lo, Hi) to the destination positions whose sample lies inside [0, Size). The
// mapping is monotonic, so the valid positions form one run.
void TrimToSource(const TAxis& A, std::int64_t Size, std::int64_t& Lo, std::int64_t& Hi) {
  if (A.Contiguous()) {
    // Source = D + (S0 - D0) in both directions.
    const std::int64_t shift = A.S0 - A.D0;
    Lo = std::max(Lo, -shift);
    Hi = std::min(Hi, Size - shift);
    return;
  }
  auto inside = [&](std::int64_t D) {
    const std::int64_t s = A.Source(D);
    return s >= 0 && s < Size;
  };
  while (Lo < Hi && !inside(Lo)) ++Lo;
  while (Hi > Lo && !inside(Hi - 1)) --Hi;
}

void PrepareConversion(const TSource& Src, const TDeviceContext& Dest, TConversion& Conv) {
  const std::vector<RGBQUAD>& dest_colors = Dest.Colors();
  if (Src.Bits > 8) return;
  const int n = 1 << Src.Bits;
  for (int i = 0; i < n && i < Src.ColorCount; ++i) {
    const RGBQUAD& c = Src.Colors[i];
    Conv.ColorLut[i] = static_cast<std::uint32_t>(c.rgbBlue) |
                       static_cast<std::uint32_t>(c.rgbGreen) << 8 |
                       static_cast<std::uint32_t>(c.rgbRed) << 16;
  }
  if (Dest.Bits() > 8) return;
  bool same = static_cast<std::size_t>(Src.ColorCount) == dest_colors.size();
  for (int i = 0; same && i < Src.ColorCount; ++i) {
    same = Src.Colors[i].rgbRed == dest_colors[i].rgbRed &&
           Src.Colors[i].rgbGreen == dest_colors[i].rgbGreen &&
           Src.Colors[i].rgbBlue == dest_colors[i].rgbBlue;
  }
  Conv.Identity = same;
  for (int i = 0; i < n; ++i) {
    if (same) {
      Conv.IndexLut[i] = static_cast<std::uint8_t>(i);
    } else {
      const std::uint32_t rgb = Conv.ColorLut[i];
      Conv.IndexLut[i] =
          NearestColorIndex(dest_colors.data(), static_cast<int>(dest_colors.size()),
                            static_cast<std::uint8_t>(rgb >> 16),
                            static_cast<std::uint8_t>(rgb >> 8), static_cast<std::uint8_t>(rgb));
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
    for (std::int32_t k = 0; k < FN; ++k) {
      const std::int64_t i = X.Index(Lo + k);
      std::int64_t a = X.SourceAt(X.SampleOf(i));
      std::int64_t b = X.SourceAt(X.SampleEnd(i) - 1);
      if (a > b) std::swap(a, b);
      FLo[k] = static_cast<std::int32_t>(std::max<std::int64_t>(a, 0));
      FHi[k] = static_cast<std::int32_t>(std::min<std::int64_t>(b + 1, Src.Width));
      FSpanLo = std::min(FSpanLo, FLo[k]);
      FSpanHi = std::max(FSpanHi, FHi[k]);
    }
    FRowRgb.resize(static_cast<std::size_t>(std::max(FSpanHi - FSpanLo, 0)));
  }

  void Reset() {
    std::fill(FSum.begin(), FSum.end(), 0);
    std::fill(FCount.begin(), FCount.end(), 0);
  }

  void AddRow(const std::uint8_t* Row, const TConversion& Conv) {
    for (std::int32_t x = FSpanLo; x < FSpanHi; ++x) FRowRgb[x - FSpanLo] = ColorAt(Row, x, Conv);
    for (std::int32_t k = 0; k < FN; ++k) {
      std::uint64_t* sum = &FSum[3 * static_cast<std::size_t>(k)];
      for (std::int32_t x = FLo[k]; x < FHi[k]; ++x) {
        const std::uint32_t rgb = FRowRgb[x - FSpanLo];
        sum[0] += rgb & 0xFF;
        sum[1] += (rgb >> 8) & 0xFF;
        sum[2] += rgb >> 16;
      }
      FCount[k] += static_cast<std::uint64_t>(FHi[k] - FLo[k]);
    }
  }

  std::uint32_t Average(std::int32_t K) const {
    const std::uint64_t n = std::max<std::uint64_t>(FCount[K], 1);
    const std::uint64_t* sum = &FSum[3 * static_cast<std::size_t>(K)];
    return static_cast<std::uint32_t>(((sum[0] + n / 2) / n) | ((sum[1] + n / 2) / n) << 8 |
                                      ((sum[2] + n / 2) / n) << 16);
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

bool Blit(HDC Dest, std::int64_t X, std::int64_t Y, std::int64_t W, std::int64_t H,
          const TSource* Src, std::int64_t XSrc, std::int64_t YSrc, std::int64_t WSrc,
          std::int64_t HSrc, std::uint32_t RopCode) {
  TRop rop;
  if (Dest == nullptr || !DecodeRop(RopCode, rop)) return false;
  const bool uses_source = rop != TRop::Black && rop != TRop::White;
  if (uses_source && (Src == nullptr || Src->Block == nullptr)) return false;
  if (W == 0 || H == 0 || (uses_source && (WSrc == 0 || HSrc == 0))) return true;
  if (Dest->Block() == nullptr) return true;
  if (!uses_source) {
    WSrc = W;
    HSrc = H;
  }

  const TAxis ax = MakeAxis(X - Dest->Origin.X, W, XSrc, WSrc);
  const TAxis ay = MakeAxis(Y - Dest->Origin.Y, H, YSrc, HSrc);
  const TRect clip = Dest->DeviceClip();
  std::int64_t c_lo, c_hi, r_lo, r_hi;
  ax.Range(c_lo, c_hi);
  ay.Range(r_lo, r_hi);
  r_lo = std::max<std::int64_t>(r_lo, clip.Top);
  r_hi = std::min<std::int64_t>(r_hi, clip.Bottom);
  if (r_lo >= r_hi) return true;  // wholly outside: no tables are built
  c_lo = std::max<std::int64_t>(c_lo, clip.Left);
  c_hi = std::min<std::int64_t>(c_hi, clip.Right);
  if (c_lo >= c_hi) return true;
  if (uses_source) {
    TrimToSource(ay, Src->Height, r_lo, r_hi);
    TrimToSource(ax, Src->Width, c_lo, c_hi);
    if (r_lo >= r_hi || c_lo >= c_hi) return true;
  }

  // Whole rows written without reading the destination leave nothing of a pending fill there.
  const bool ignores_dest = rop != TRop::Paint && rop != TRop::And && rop != TRop::Invert;
  if (ignores_dest && c_lo == 0 && c_hi == Dest->Width()) {
    Dest->Overwriting(static_cast<std::int32_t>(r_lo), static_cast<std::int32_t>(r_hi));
  } else {
    Dest->WritePendingFill();
  }

  const auto n = static_cast<std::int32_t>(c_hi - c_lo);
  const int dest_bits = Dest->Bits();
  const int out = dest_bits <= 8 ? kOutIndex : dest_bits == 24 ? kOutBgr : kOutBgrx;
  std::vector<std::uint8_t> values(static_cast<std::size_t>(n) * out);
  GdiStats().PixelsWritten +=
      static_cast<std::uint64_t>(n) * static_cast<std::uint64_t>(r_hi - r_lo);

  if (!uses_source) {
    for (std::int64_t r = r_lo; r < r_hi; ++r) {
      StoreRow(Dest->Row(static_cast<std::int32_t>(r)), static_cast<std::int32_t>(c_lo), n,
               dest_bits, values.data(), rop);
    }
    return true;
  }

  // A blit within one bitmap reads from a snapshot, so it never sees its own output.
  TSource source = *Src;
  std::vector<std::uint8_t> snapshot;
  if (source.Block == Dest->Block()) {
    snapshot.assign(source.Block, source.Block + source.Stride * source.Height);
    source.Block = snapshot.data();
  }

  const bool average = Dest->StretchMode == HALFTONE && (ax.SExt > ax.DExt || ay.SExt > ay.DExt);
  TConversion conv;
  PrepareConversion(source, *Dest, conv);
  std::vector<TNearestColorCache> cache;
  if (dest_bits <= 8 && (source.Bits > 8 || average)) {
    cache.emplace_back(Dest->Colors().data(), static_cast<int>(Dest->Colors().size()));
    conv.Cache = &cache.front();
  }

  TColumns cols;
  std::vector<std::int32_t> map;
  if (ax.Contiguous()) {
    cols.X0 = static_cast<std::int32_t>(ax.Source(c_lo));
  } else {
    map.resize(static_cast<std::size_t>(n));
    for (std::int32_t k = 0; k < n; ++k) map[k] = static_cast<std::int32_t>(ax.Source(c_lo + k));
    cols.Contiguous = false;
    cols.Map = map.data();
  }

  const bool direct = rop == TRop::Copy && dest_bits >= 8;
  const int bytes = out;
  if (!average) {
    for (std::int64_t r = r_lo; r < r_hi; ++r) {
      const std::uint8_t* srow = source.Row(static_cast<std::int32_t>(ay.Source(r)));
      std::uint8_t* drow = Dest->Row(static_cast<std::int32_t>(r));
      if (direct) {
        GatherDispatch(source, srow, cols, n, out, drow + bytes * c_lo, conv);
      } else {
        GatherDispatch(source, srow, cols, n, out, values.data(), conv);
        StoreRow(drow, static_cast<std::int32_t>(c_lo), n, dest_bits, values.data(), rop);
      }
    }
    return true;
  }

  TBoxAverager box(source, ax, c_lo, c_hi);
  for (std::int64_t r = r_lo; r < r_hi; ++r) {
    const std::int64_t i = ay.Index(r);
    std::int64_t a = ay.SourceAt(ay.SampleOf(i));
    std::int64_t b = ay.SourceAt(ay.SampleEnd(i) - 1);
    if (a > b) std::swap(a, b);
    a = std::max<std::int64_t>(a, 0);
    b = std::min<std::int64_t>(b, source.Height - 1);
    box.Reset();
    for (std::int64_t sy = a; sy <= b; ++sy)
      box.AddRow(source.Row(static_cast<std::int32_t>(sy)), conv);
    for (std::int32_t k = 0; k < n; ++k) {
      const std::uint32_t rgb = box.Average(k);
      if (out == kOutIndex) {
        values[k] = conv.Cache->Lookup(rgb);
      } else {
        WriteBgr(&values[static_cast<std::size_t>(out) * k], rgb);
        if (out == kOutBgrx) values[4 * static_cast<std::size_t>(k) + 3] = 0;
      }
    }
    StoreRow(Dest->Row(static_cast<std::int32_t>(r)), static_cast<std::int32_t>(c_lo), n, dest_bits,
             values.data(), rop);
  }
  return true;
}

}  // namespace

void SetBlitFailCountdown(int n) {
  g_blit_fail_countdown = std::max(n, 0);
}

bool StretchBlt(HDC Dest, int X, int Y, int Width, int Height, HDC Src, int XSrc, int YSrc,
                int WidthSrc, int HeightSrc, std::uint32_t Rop) {
  ++GdiStats().StretchBltCalls;
  CheckBlitFault();
  TSource source;
  const TSource* src = nullptr;
  std::int64_t xs = XSrc;
  std::int64_t ys = YSrc;
  if (Src != nullptr) {
    Src->WritePendingFill();
    source.Block = Src->Block();
    source.Width = Src->Width();
    source.Height = Src->Height();
    source.Stride = Src->Stride();
    source.Bits = Src->Bits();
    source.BottomUp = true;
    source.Colors = Src->Colors().data();
    source.ColorCount = static_cast<int>(Src->Colors().size());
    src = &source;
    xs -= Src->Origin.X;
    ys -= Src->Origin.Y;
  }
  return Blit(Dest, X, Y, Width, Height, src, xs, ys, WidthSrc, HeightSrc, Rop);
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
  const int bits = Info->biBitCount;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) return 0;
  TSource source;
  source.Block = static_cast<const std::uint8_t*>(Bits);
  source.Width = Info->biWidth;
  source.BottomUp = Info->biHeight > 0;
  source.Height = source.BottomUp ? Info->biHeight : -Info->biHeight;
  source.Stride = DibRowStride(source.Width, bits);
  source.Bits = bits;
  source.Colors =
      reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const std::uint8_t*>(Info) + Info->biSize);
  if (bits <= 8) {
    const std::uint32_t count = Info->biClrUsed != 0 ? Info->biClrUsed : 1u << bits;
    source.ColorCount = static_cast<int>(std::min<std::uint32_t>(count, 256));
  }
  // A bottom-up image counts its source rows from the bottom row upward: the rectangle
  // (YSrc, HeightSrc) holds the rows YSrc .. YSrc + HeightSrc - 1 of the block, drawn the
  // right way up. In rows from the top that is the rectangle below.
  std::int64_t ys = YSrc;
  if (source.BottomUp) {
    ys = HeightSrc > 0 ? std::int64_t{source.Height} - YSrc - HeightSrc
                       : std::int64_t{source.Height} - 2 - YSrc - HeightSrc;
  }
  if (!Blit(Dest, X, Y, Width, Height, &source, XSrc, ys, WidthSrc, HeightSrc, Rop)) return 0;
  return HeightSrc < 0 ? -HeightSrc : HeightSrc;
}
