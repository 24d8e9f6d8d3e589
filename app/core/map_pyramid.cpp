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
  const std::int32_t pairs = Width / 2;
  const int round = RoundUp ? 2 : 1;
  for (std::int32_t x = 0; x < pairs; ++x, A += 6, B += 6, Out += 3) {
    for (int c = 0; c < 3; ++c) {
      Out[c] = static_cast<std::uint8_t>((A[c] + A[c + 3] + B[c] + B[c + 3] + round) >> 2);
    }
  }
  if (Width % 2 != 0) {
    for (int c = 0; c < 3; ++c) Out[c] = static_cast<std::uint8_t>((A[c] + B[c] + 1) >> 1);
  }
}

// HalveRows for two rows of 8-bit colour indices, through Wide: each colour's blue, green and
// red in 16-bit lanes of one word, so that four pixels add up in one addition per pixel pair.
void HalveIndexedRows(const std::uint8_t* A, const std::uint8_t* B, std::int32_t Width,
                      const std::uint64_t* Wide, std::uint8_t* Out, bool RoundUp) {
  const std::uint64_t round = RoundUp ? 0x000200020002u : 0x000100010001u;
  auto put = [&](std::uint64_t Sum) {
    Sum += round;
    Out[0] = static_cast<std::uint8_t>((Sum >> 2) & 0xFF);
    Out[1] = static_cast<std::uint8_t>((Sum >> 18) & 0xFF);
    Out[2] = static_cast<std::uint8_t>((Sum >> 34) & 0xFF);
    Out += 3;
  };
  const std::int32_t pairs = Width / 2;
  for (std::int32_t x = 0; x < pairs; ++x, A += 2, B += 2) {
    put(Wide[A[0]] + Wide[A[1]] + Wide[B[0]] + Wide[B[1]]);
  }
  if (Width % 2 != 0) put(2 * (Wide[A[0]] + Wide[B[0]]));
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
    const std::int64_t cell = Dest << Level;
    First.reserve(static_cast<std::size_t>(To - From));
    Offset.reserve(static_cast<std::size_t>(To - From) + 1);
    for (std::int64_t d = From; d < To; ++d) {
      const std::int64_t begin = d * Source;
      const std::int64_t end = begin + Source;
      const std::int64_t first = begin / cell;
      const std::int64_t last = (end - 1) / cell;
      First.push_back(static_cast<std::int32_t>(first));
      Offset.push_back(static_cast<std::int32_t>(Weight.size()));
      // Cumulative rounding: the weights add up to exactly One.
      std::uint32_t given = 0;
      for (std::int64_t i = first; i <= last; ++i) {
        const std::int64_t upTo = std::min(end, (i + 1) * cell) - begin;
        const auto total = static_cast<std::uint32_t>((upTo * One + Source / 2) / Source);
        Weight.push_back(static_cast<std::uint16_t>(total - given));
        given = total;
      }
      MaxCount = std::max(MaxCount, static_cast<std::int32_t>(last - first + 1));
    }
    Offset.push_back(static_cast<std::int32_t>(Weight.size()));
  }
};

}  // namespace

TMapPyramid::TMapPyramid(TBigBitmap& Map) : FMap(Map) {
  FBits = TBigBitmap::GetPixelBits(Map.GetPixelFormat());
  if (FBits < 24 && !Map.Bitmaps().empty()) {
    const std::vector<RGBQUAD>& table = Map.Bitmaps().front()->ColorTable();
    for (std::size_t i = 0; i < table.size() && i < 256; ++i) {
      FColors[i][0] = table[i].rgbBlue;
      FColors[i][1] = table[i].rgbGreen;
      FColors[i][2] = table[i].rgbRed;
    }
  }
  std::int32_t width = Map.GetWidth();
  std::int32_t height = Map.GetHeight();
  if (width <= 0 || height <= 0) return;
  std::uint64_t wide[256];
  for (int i = 0; i < 256; ++i) {
    wide[i] =
        FColors[i][0] | std::uint64_t{FColors[i][1]} << 16 | std::uint64_t{FColors[i][2]} << 32;
  }
  std::vector<std::uint8_t> a(static_cast<std::size_t>(width) * 3);
  std::vector<std::uint8_t> b(a.size());
  FLevels.resize(MaxLevel);
  for (int k = 0; k < MaxLevel; ++k) {
    TLevel& level = FLevels[static_cast<std::size_t>(k)];
    level.Width = (width + 1) / 2;
    level.Height = (height + 1) / 2;
    const std::size_t stride = static_cast<std::size_t>(level.Width) * 3;
    level.Bytes = stride * static_cast<std::size_t>(level.Height);
    level.Pixels.reset(new std::uint8_t[level.Bytes]);
    const std::size_t fromStride = static_cast<std::size_t>(width) * 3;
    for (std::int32_t y = 0; y < level.Height; ++y) {
      const std::int32_t y0 = 2 * y;
      const std::int32_t y1 = std::min(y0 + 1, height - 1);
      const std::uint8_t* rowA;
      const std::uint8_t* rowB;
      std::uint8_t* out = level.Pixels.get() + stride * static_cast<std::size_t>(y);
      if (k == 0 && FBits == 8) {
        HalveIndexedRows(static_cast<const std::uint8_t*>(FMap.GetScanline(y0)),
                         static_cast<const std::uint8_t*>(FMap.GetScanline(y1)), width, wide, out,
                         y % 2 != 0);
        continue;
      }
      if (k == 0) {
        MapRowToBgr(y0, 0, width, a.data());
        if (y1 != y0) MapRowToBgr(y1, 0, width, b.data());
        rowA = a.data();
        rowB = y1 != y0 ? b.data() : a.data();
      } else {
        const std::uint8_t* from = FLevels[static_cast<std::size_t>(k - 1)].Pixels.get();
        rowA = from + fromStride * static_cast<std::size_t>(y0);
        rowB = from + fromStride * static_cast<std::size_t>(y1);
      }
      HalveRows(rowA, rowB, width, out, y % 2 != 0);
    }
    width = level.Width;
    height = level.Height;
  }
}

std::int64_t TMapPyramid::Bytes() const {
  std::int64_t bytes = 0;
  for (const TLevel& level : FLevels) bytes += static_cast<std::int64_t>(level.Bytes);
  return bytes;
}

void TMapPyramid::MapRowToBgr(std::int32_t Row, std::int32_t From, std::int32_t To,
                              std::uint8_t* Out) const {
  const auto* src = static_cast<const std::uint8_t*>(FMap.GetScanline(Row));
  switch (FBits) {
    case 24:
      std::memcpy(Out, src + std::size_t(From) * 3, std::size_t(To - From) * 3);
      return;
    case 8:
      for (std::int32_t x = From; x < To; ++x, Out += 3) std::memcpy(Out, FColors[src[x]], 3);
      return;
    case 4:
      for (std::int32_t x = From; x < To; ++x, Out += 3) {
        const std::uint8_t byte = src[x / 2];
        std::memcpy(Out, FColors[x % 2 == 0 ? byte >> 4 : byte & 15], 3);
      }
      return;
    default:  // 1 bit, the leftmost pixel in the most significant bit
      for (std::int32_t x = From; x < To; ++x, Out += 3) {
        std::memcpy(Out, FColors[(src[x / 8] >> (7 - x % 8)) & 1], 3);
      }
      return;
  }
}

void TMapPyramid::Draw(std::int32_t DestWidth, std::int32_t DestHeight, const TRect& Area,
                       std::uint8_t* Dest, std::ptrdiff_t Stride, int BytesPerPixel) const {
  const std::int32_t mapWidth = FMap.GetWidth();
  const std::int32_t mapHeight = FMap.GetHeight();
  if (Area.Right <= Area.Left || Area.Bottom <= Area.Top || mapWidth <= 0 || mapHeight <= 0) {
    return;
  }
  // The coarsest level that still has a pixel for every destination pixel on both axes.
  int k = 0;
  while (k < MaxLevel && (std::int64_t{DestWidth} << (k + 1)) <= mapWidth &&
         (std::int64_t{DestHeight} << (k + 1)) <= mapHeight) {
    ++k;
  }
  const TTaps across(mapWidth, DestWidth, k, Area.Left, Area.Right);
  const TTaps down(mapHeight, DestHeight, k, Area.Top, Area.Bottom);
  const TLevel* level = k == 0 ? nullptr : &FLevels[static_cast<std::size_t>(k - 1)];

  // The level columns the area reads, and the level rows averaged across, kept in a ring of
  // MaxCount rows: destination rows go downwards, so a level row is averaged across only once.
  const std::int32_t columns = Area.Right - Area.Left;
  const std::int32_t firstColumn = across.First.front();
  const std::int32_t lastColumn =
      across.First.back() + (across.Offset.back() - across.Offset[across.Offset.size() - 2]);
  std::vector<std::uint8_t> converted;
  if (level == nullptr) converted.resize(static_cast<std::size_t>(lastColumn - firstColumn) * 3);
  const auto slots = static_cast<std::size_t>(down.MaxCount);
  std::vector<std::uint32_t> ring(slots * static_cast<std::size_t>(columns) * 3);
  std::vector<std::int32_t> ringRow(slots, -1);

  auto averagedAcross = [&](std::int32_t row) -> const std::uint32_t* {
    const std::size_t slot = static_cast<std::size_t>(row) % slots;
    std::uint32_t* out = ring.data() + slot * static_cast<std::size_t>(columns) * 3;
    if (ringRow[slot] == row) return out;
    ringRow[slot] = row;
    const std::uint8_t* src;  // the pixel of level column firstColumn
    if (level == nullptr) {
      MapRowToBgr(row, firstColumn, lastColumn, converted.data());
      src = converted.data();
    } else {
      src = level->Pixels.get() +
            (static_cast<std::size_t>(row) * static_cast<std::size_t>(level->Width) +
             static_cast<std::size_t>(firstColumn)) *
                3;
    }
    for (std::int32_t d = 0; d < columns; ++d, out += 3) {
      const std::uint8_t* p = src + static_cast<std::size_t>(across.First[d] - firstColumn) * 3;
      std::uint32_t b = 0, g = 0, r = 0;
      for (std::int32_t w = across.Offset[d]; w < across.Offset[d + 1]; ++w, p += 3) {
        const std::uint32_t weight = across.Weight[static_cast<std::size_t>(w)];
        b += weight * p[0];
        g += weight * p[1];
        r += weight * p[2];
      }
      constexpr int shift = WeightBits - HorzBits;
      constexpr std::uint32_t half = 1u << (shift - 1);
      out[0] = (b + half) >> shift;
      out[1] = (g + half) >> shift;
      out[2] = (r + half) >> shift;
    }
    return ring.data() + slot * static_cast<std::size_t>(columns) * 3;
  };

  const std::uint32_t* rows[8];
  std::uint32_t weights[8];
  std::vector<std::uint32_t> sum(static_cast<std::size_t>(columns) * 3);
  constexpr int shift = WeightBits + HorzBits;
  constexpr std::uint32_t half = 1u << (shift - 1);
  for (std::int32_t y = 0; y < Area.Bottom - Area.Top; ++y, Dest += Stride) {
    const std::int32_t count = down.Offset[y + 1] - down.Offset[y];
    std::uint8_t* out = Dest;
    if (count <= 8) {
      for (std::int32_t t = 0; t < count; ++t) {
        rows[t] = averagedAcross(down.First[y] + t);
        weights[t] = down.Weight[static_cast<std::size_t>(down.Offset[y] + t)];
      }
      for (std::int32_t i = 0; i < columns * 3; i += 3, out += BytesPerPixel) {
        std::uint32_t b = half, g = half, r = half;
        for (std::int32_t t = 0; t < count; ++t) {
          b += weights[t] * rows[t][i];
          g += weights[t] * rows[t][i + 1];
          r += weights[t] * rows[t][i + 2];
        }
        out[0] = static_cast<std::uint8_t>(b >> shift);
        out[1] = static_cast<std::uint8_t>(g >> shift);
        out[2] = static_cast<std::uint8_t>(r >> shift);
        if (BytesPerPixel == 4) out[3] = 0;
      }
    } else {
      // Only a map whose two axes are shrunk very differently gets here.
      std::fill(sum.begin(), sum.end(), half);
      for (std::int32_t t = 0; t < count; ++t) {
        const std::uint32_t* row = averagedAcross(down.First[y] + t);
        const std::uint32_t weight = down.Weight[static_cast<std::size_t>(down.Offset[y] + t)];
        for (std::size_t i = 0; i < sum.size(); ++i) sum[i] += weight * row[i];
      }
      for (std::size_t i = 0; i < sum.size(); i += 3, out += BytesPerPixel) {
        for (int c = 0; c < 3; ++c) out[c] = static_cast<std::uint8_t>(sum[i + c] >> shift);
        if (BytesPerPixel == 4) out[3] = 0;
      }
    }
  }
}
