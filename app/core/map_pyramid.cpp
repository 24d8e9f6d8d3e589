#include "app/core/map_pyramid.h"

#include <algorithm>
#include <cstring>

#include "bigbitmap/bigbitmap.h"

namespace {

// Fixed-point weights: the weights of one destination pixel along one axis add up to One.
constexpr int WeightBits = 12;
constexpr std::uint32_t One = 1u << WeightBits;
// A horizontally averaged channel keeps HorzBits fraction bits (at most 255 << 8), so that the
// vertical sum stays within 32 bits.
constexpr int HorzBits = WeightBits - 4;

// Halves two rows of Width blue, green, red pixels (the second may be the first again) into
// one of (Width + 1) / 2: each output pixel is the average of the 2 x 2 pixels above it, the last
// column doubled where Width is odd. An average halfway between two values goes up in odd output
// rows and down in even ones, so that five levels of rounding do not add up to a brighter map.
void HalveRows(const std::uint8_t* A, const std::uint8_t* B, std::int32_t Width, std::uint8_t* Out,
               bool RoundUp) {
  const std::int32_t Pairs = Width / 2;
  const int Round = RoundUp ? 2 : 1;
  for (std::int32_t X = 0; X < Pairs; ++X, A += 6, B += 6, Out += 3) {
    for (int C = 0; C < 3; ++C) {
      Out[C] = static_cast<std::uint8_t>((A[C] + A[C + 3] + B[C] + B[C + 3] + Round) >> 2);
    }
  }
  if (Width % 2 != 0) {
    for (int C = 0; C < 3; ++C) {
      Out[C] = static_cast<std::uint8_t>((2 * (A[C] + B[C]) + Round) >> 2);
    }
  }
}

// HalveRows for two rows of 8-bit colour indices, through Wide: each colour's blue, green and
// red in 16-bit lanes of one word, so that four pixels add up in one addition per pixel pair.
void HalveIndexedRows(const std::uint8_t* A, const std::uint8_t* B, std::int32_t Width,
                      const std::uint64_t* Wide, std::uint8_t* Out, bool RoundUp) {
  const std::uint64_t Round = RoundUp ? 0x000200020002u : 0x000100010001u;
  auto Put = [&](std::uint64_t Sum) {
    Sum += Round;
    Out[0] = static_cast<std::uint8_t>((Sum >> 2) & 0xFF);
    Out[1] = static_cast<std::uint8_t>((Sum >> 18) & 0xFF);
    Out[2] = static_cast<std::uint8_t>((Sum >> 34) & 0xFF);
    Out += 3;
  };
  const std::int32_t Pairs = Width / 2;
  for (std::int32_t X = 0; X < Pairs; ++X, A += 2, B += 2) {
    Put(Wide[A[0]] + Wide[A[1]] + Wide[B[0]] + Wide[B[1]]);
  }
  if (Width % 2 != 0) Put(2 * (Wide[A[0]] + Wide[B[0]]));
}

// The level pixels under each destination pixel of one axis and the share of it each covers.
// Destination pixel d of Dest covers map pixels d * Source / Dest .. (d + 1) * Source / Dest;
// level pixel i covers map pixels i << Level .. min((i + 1) << Level, Source).
struct TTaps {
  std::vector<std::int32_t> First;   // per destination pixel: its first level pixel
  std::vector<std::int32_t> Offset;  // per destination pixel, and one more: into Weight
  std::vector<std::uint16_t> Weight;
  std::int32_t MaxCount = 0;

  // For destination pixels From .. To - 1.
  TTaps(std::int64_t Source, std::int64_t Dest, int Level, std::int32_t From, std::int32_t To) {
    // Positions in units of 1 / Dest map pixel: destination pixel d spans d * Source ..
    // (d + 1) * Source, level pixel i spans (i << Level) * Dest ...
    const std::int64_t Cell = Dest << Level;
    First.reserve(static_cast<std::size_t>(To - From));
    Offset.reserve(static_cast<std::size_t>(To - From) + 1);
    for (std::int64_t D = From; D < To; ++D) {
      const std::int64_t Begin = D * Source;
      const std::int64_t End = Begin + Source;
      const std::int64_t FirstPixel = Begin / Cell;
      const std::int64_t LastPixel = (End - 1) / Cell;
      First.push_back(static_cast<std::int32_t>(FirstPixel));
      Offset.push_back(static_cast<std::int32_t>(Weight.size()));
      // Cumulative rounding: the weights add up to exactly One.
      std::uint32_t Given = 0;
      for (std::int64_t I = FirstPixel; I <= LastPixel; ++I) {
        const std::int64_t UpTo = std::min(End, (I + 1) * Cell) - Begin;
        const auto Total = static_cast<std::uint32_t>((UpTo * One + Source / 2) / Source);
        Weight.push_back(static_cast<std::uint16_t>(Total - Given));
        Given = Total;
      }
      MaxCount = std::max(MaxCount, static_cast<std::int32_t>(LastPixel - FirstPixel + 1));
    }
    Offset.push_back(static_cast<std::int32_t>(Weight.size()));
  }

  // One past the last level pixel that the destination pixels read.
  std::int32_t End() const { return First.back() + (Offset.back() - Offset[Offset.size() - 2]); }
};

// Averages one level row across: Src is the pixel of level column FirstColumn, Out receives the
// Columns destination pixels' blue, green and red with HorzBits fraction bits.
void AverageAcross(const std::uint8_t* Src, const TTaps& Across, std::int32_t FirstColumn,
                   std::int32_t Columns, std::uint32_t* Out) {
  constexpr int Shift = WeightBits - HorzBits;
  constexpr std::uint32_t Half = 1u << (Shift - 1);
  for (std::int32_t D = 0; D < Columns; ++D, Out += 3) {
    const std::uint8_t* P = Src + static_cast<std::size_t>(Across.First[D] - FirstColumn) * 3;
    std::uint32_t B = 0, G = 0, R = 0;
    for (std::int32_t W = Across.Offset[D]; W < Across.Offset[D + 1]; ++W, P += 3) {
      const std::uint32_t Weight = Across.Weight[static_cast<std::size_t>(W)];
      B += Weight * P[0];
      G += Weight * P[1];
      R += Weight * P[2];
    }
    Out[0] = (B + Half) >> Shift;
    Out[1] = (G + Half) >> Shift;
    Out[2] = (R + Half) >> Shift;
  }
}

constexpr int DownShift = WeightBits + HorzBits;
constexpr std::uint32_t DownHalf = 1u << (DownShift - 1);

// One destination row from Count rows averaged across (at most 8), weighted by Weights.
void AverageDown(const std::uint32_t* const* Rows, const std::uint32_t* Weights, int Count,
                 std::int32_t Columns, std::uint8_t* Out, int BytesPerPixel) {
  for (std::int32_t I = 0; I < Columns * 3; I += 3, Out += BytesPerPixel) {
    std::uint32_t B = DownHalf, G = DownHalf, R = DownHalf;
    for (int T = 0; T < Count; ++T) {
      B += Weights[T] * Rows[T][I];
      G += Weights[T] * Rows[T][I + 1];
      R += Weights[T] * Rows[T][I + 2];
    }
    Out[0] = static_cast<std::uint8_t>(B >> DownShift);
    Out[1] = static_cast<std::uint8_t>(G >> DownShift);
    Out[2] = static_cast<std::uint8_t>(R >> DownShift);
    if (BytesPerPixel == 4) Out[3] = 0;
  }
}

// Writes the sums of a destination row, added up one level row at a time, into Out.
void StoreSums(const std::vector<std::uint32_t>& Sum, std::uint8_t* Out, int BytesPerPixel) {
  for (std::size_t I = 0; I < Sum.size(); I += 3, Out += BytesPerPixel) {
    for (int C = 0; C < 3; ++C) Out[C] = static_cast<std::uint8_t>(Sum[I + C] >> DownShift);
    if (BytesPerPixel == 4) Out[3] = 0;
  }
}

}  // namespace

TMapPyramid::TMapPyramid(TBigBitmap& Map) : FMap(Map) {
  FBits = TBigBitmap::GetPixelBits(Map.GetPixelFormat());
  if (FBits < 24 && !Map.Bitmaps().empty()) {
    const std::vector<RGBQUAD>& Table = Map.Bitmaps().front()->ColorTable();
    for (std::size_t I = 0; I < Table.size() && I < 256; ++I) {
      FColors[I][0] = Table[I].rgbBlue;
      FColors[I][1] = Table[I].rgbGreen;
      FColors[I][2] = Table[I].rgbRed;
    }
  }
  if (Map.GetWidth() <= 0 || Map.GetHeight() <= 0) return;
  FLevels.resize(MaxLevel);
  for (int K = 0; K < MaxLevel; ++K) MakeLevel(K);
}

void TMapPyramid::MakeLevel(int K) {
  const std::int32_t Width = K == 0 ? FMap.GetWidth() : FLevels[K - 1].Width;
  const std::int32_t Height = K == 0 ? FMap.GetHeight() : FLevels[K - 1].Height;
  TLevel& Level = FLevels[static_cast<std::size_t>(K)];
  Level.Width = (Width + 1) / 2;
  Level.Height = (Height + 1) / 2;
  const std::size_t Stride = static_cast<std::size_t>(Level.Width) * 3;
  Level.Bytes = Stride * static_cast<std::size_t>(Level.Height);
  Level.Pixels.reset(new std::uint8_t[Level.Bytes]);
  std::uint64_t Wide[256] = {};
  for (int I = 0; K == 0 && FBits == 8 && I < 256; ++I) {
    Wide[I] =
        FColors[I][0] | std::uint64_t{FColors[I][1]} << 16 | std::uint64_t{FColors[I][2]} << 32;
  }
  const std::size_t FromStride = static_cast<std::size_t>(Width) * 3;
  std::vector<std::uint8_t> A(K == 0 ? FromStride : 0);
  std::vector<std::uint8_t> B(A.size());
  for (std::int32_t Y = 0; Y < Level.Height; ++Y) {
    const std::int32_t Y0 = 2 * Y;
    const std::int32_t Y1 = std::min(Y0 + 1, Height - 1);
    std::uint8_t* Out = Level.Pixels.get() + Stride * static_cast<std::size_t>(Y);
    if (K == 0 && FBits == 8) {
      HalveIndexedRows(static_cast<const std::uint8_t*>(FMap.GetScanline(Y0)),
                       static_cast<const std::uint8_t*>(FMap.GetScanline(Y1)), Width, Wide, Out,
                       Y % 2 != 0);
      continue;
    }
    const std::uint8_t* RowA;
    const std::uint8_t* RowB;
    if (K == 0) {
      MapRowToBgr(Y0, 0, Width, A.data());
      if (Y1 != Y0) MapRowToBgr(Y1, 0, Width, B.data());
      RowA = A.data();
      RowB = Y1 != Y0 ? B.data() : A.data();
    } else {
      const std::uint8_t* From = FLevels[static_cast<std::size_t>(K - 1)].Pixels.get();
      RowA = From + FromStride * static_cast<std::size_t>(Y0);
      RowB = From + FromStride * static_cast<std::size_t>(Y1);
    }
    HalveRows(RowA, RowB, Width, Out, Y % 2 != 0);
  }
}

std::int64_t TMapPyramid::Bytes() const {
  std::int64_t Total = 0;
  for (const TLevel& Level : FLevels) Total += static_cast<std::int64_t>(Level.Bytes);
  return Total;
}

void TMapPyramid::MapRowToBgr(std::int32_t Row, std::int32_t From, std::int32_t To,
                              std::uint8_t* Out) const {
  const auto* Src = static_cast<const std::uint8_t*>(FMap.GetScanline(Row));
  switch (FBits) {
    case 24:
      std::memcpy(Out, Src + std::size_t(From) * 3, std::size_t(To - From) * 3);
      return;
    case 8:
      for (std::int32_t X = From; X < To; ++X, Out += 3) std::memcpy(Out, FColors[Src[X]], 3);
      return;
    case 4:
      for (std::int32_t X = From; X < To; ++X, Out += 3) {
        const std::uint8_t Byte = Src[X / 2];
        std::memcpy(Out, FColors[X % 2 == 0 ? Byte >> 4 : Byte & 15], 3);
      }
      return;
    default:  // 1 bit, the leftmost pixel in the most significant bit
      for (std::int32_t X = From; X < To; ++X, Out += 3) {
        std::memcpy(Out, FColors[(Src[X / 8] >> (7 - X % 8)) & 1], 3);
      }
      return;
  }
}

void TMapPyramid::Draw(std::int32_t DestWidth, std::int32_t DestHeight, const TRect& Area,
                       std::uint8_t* Dest, std::ptrdiff_t Stride, int BytesPerPixel) const {
  const std::int32_t MapWidth = FMap.GetWidth();
  const std::int32_t MapHeight = FMap.GetHeight();
  if (Area.Right <= Area.Left || Area.Bottom <= Area.Top || MapWidth <= 0 || MapHeight <= 0) {
    return;
  }
  // The coarsest level that still has a pixel for every destination pixel on both axes.
  int K = 0;
  while (K < MaxLevel && (std::int64_t{DestWidth} << (K + 1)) <= MapWidth &&
         (std::int64_t{DestHeight} << (K + 1)) <= MapHeight) {
    ++K;
  }
  const TTaps Across(MapWidth, DestWidth, K, Area.Left, Area.Right);
  const TTaps Down(MapHeight, DestHeight, K, Area.Top, Area.Bottom);
  const TLevel* Level = K == 0 ? nullptr : &FLevels[static_cast<std::size_t>(K - 1)];

  // The level columns the area reads, and the level rows averaged across, kept in a ring of
  // MaxCount rows: destination rows go downwards, so a level row is averaged across only once.
  const std::int32_t Columns = Area.Right - Area.Left;
  const std::int32_t FirstColumn = Across.First.front();
  std::vector<std::uint8_t> Converted;
  if (Level == nullptr) Converted.resize(static_cast<std::size_t>(Across.End() - FirstColumn) * 3);
  const auto Slots = static_cast<std::size_t>(Down.MaxCount);
  const std::size_t SlotSize = static_cast<std::size_t>(Columns) * 3;
  std::vector<std::uint32_t> Ring(Slots * SlotSize);
  std::vector<std::int32_t> RingRow(Slots, -1);
  auto AveragedAcross = [&](std::int32_t Row) -> const std::uint32_t* {
    const std::size_t Slot = static_cast<std::size_t>(Row) % Slots;
    std::uint32_t* Out = Ring.data() + Slot * SlotSize;
    if (RingRow[Slot] == Row) return Out;
    RingRow[Slot] = Row;
    const std::uint8_t* Src;  // the pixel of level column FirstColumn
    if (Level == nullptr) {
      MapRowToBgr(Row, FirstColumn, Across.End(), Converted.data());
      Src = Converted.data();
    } else {
      Src = Level->Pixels.get() +
            (static_cast<std::size_t>(Row) * static_cast<std::size_t>(Level->Width) +
             static_cast<std::size_t>(FirstColumn)) *
                3;
    }
    AverageAcross(Src, Across, FirstColumn, Columns, Out);
    return Out;
  };

  const std::uint32_t* Rows[8];
  std::uint32_t Weights[8];
  std::vector<std::uint32_t> Sum;
  for (std::int32_t Y = 0; Y < Area.Bottom - Area.Top; ++Y, Dest += Stride) {
    const std::int32_t Count = Down.Offset[Y + 1] - Down.Offset[Y];
    const auto FirstWeight = static_cast<std::size_t>(Down.Offset[Y]);
    if (Count <= 8) {
      for (std::int32_t T = 0; T < Count; ++T) {
        Rows[T] = AveragedAcross(Down.First[Y] + T);
        Weights[T] = Down.Weight[FirstWeight + T];
      }
      AverageDown(Rows, Weights, Count, Columns, Dest, BytesPerPixel);
      continue;
    }
    // Only a map whose two axes are shrunk very differently gets here.
    Sum.assign(SlotSize, DownHalf);
    for (std::int32_t T = 0; T < Count; ++T) {
      const std::uint32_t* Row = AveragedAcross(Down.First[Y] + T);
      const std::uint32_t Weight = Down.Weight[FirstWeight + T];
      for (std::size_t I = 0; I < Sum.size(); ++I) Sum[I] += Weight * Row[I];
    }
    StoreSums(Sum, Dest, BytesPerPixel);
  }
}
