// The two draws of the grid map job on a full-size 6144 x 4096 map, next to a plain copy of
// the 24-bit image's bytes as the yardstick: 8 -> 24 bits should cost at most 3 copies,
// 24 -> 8 bits at most 6.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "bigbitmap/bigbitmap.h"

namespace {

constexpr std::int32_t Width = 6144;
constexpr std::int32_t Height = 4096;
constexpr std::int32_t GridStep = 8;
constexpr std::int64_t Bytes24 = std::int64_t{Width} * Height * 3;

// 256 colours: water shades, land shades, roads and a few bright markers.
HPALETTE MapPalette() {
  LOGPALETTE Lp{};
  Lp.palVersion = 0x300;
  Lp.palNumEntries = 256;
  for (int I = 0; I < 256; ++I) {
    PALETTEENTRY& E = Lp.palPalEntry[I];
    if (I < 64) {  // water
      E = {static_cast<std::uint8_t>(I / 4), static_cast<std::uint8_t>(40 + I),
           static_cast<std::uint8_t>(120 + 2 * I), 0};
    } else if (I < 224) {  // land
      const int K = I - 64;
      E = {static_cast<std::uint8_t>(60 + K), static_cast<std::uint8_t>(90 + K / 2),
           static_cast<std::uint8_t>(30 + (K * 7) % 60), 0};
    } else {  // roads, towns, markers
      const int K = I - 224;
      E = {static_cast<std::uint8_t>(K * 8), static_cast<std::uint8_t>(255 - K * 8),
           static_cast<std::uint8_t>((K * 53) % 256), 0};
    }
  }
  return CreatePalette(&Lp);
}

std::uint32_t Hash(std::uint32_t X) {
  X ^= X >> 16;
  X *= 0x7feb352dU;
  X ^= X >> 15;
  X *= 0x846ca68bU;
  return X ^ (X >> 16);
}

// Coarse regions of land and water, a handful of shades inside each region, sparse markers.
void PaintMap(TBigBitmap& Map) {
  for (std::int32_t Y = 0; Y < Height; ++Y) {
    auto* Row = static_cast<std::uint8_t*>(Map.GetScanline(Y));
    for (std::int32_t X = 0; X < Width; ++X) {
      const std::uint32_t Region = Hash(static_cast<std::uint32_t>((Y / 96) * 4096 + X / 96));
      const std::uint32_t Detail = Hash(static_cast<std::uint32_t>(Y * Width + X));
      std::uint32_t Index;
      if (Detail % 997 == 0) {
        Index = 224 + Detail % 32;
      } else if (Region % 3 == 0) {
        Index = Region % 56 + Detail % 8;
      } else {
        Index = 64 + Region % 152 + Detail % 8;
      }
      Row[X] = static_cast<std::uint8_t>(Index);
    }
  }
}

std::uint8_t Blend(std::uint8_t C) {
  return static_cast<std::uint8_t>((C * 6u + 255u * 4u) / 10u);
}

void ApplyGrid(TBigBitmap& Work) {
  for (std::int32_t Y = 0; Y < Height; ++Y) {
    auto* Row = static_cast<std::uint8_t*>(Work.GetScanline(Y));
    const std::int32_t Step = Y % GridStep == 0 ? 1 : GridStep;
    for (std::int32_t X = 0; X < Width; X += Step) {
      for (int C = 0; C < 3; ++C) Row[3 * X + C] = Blend(Row[3 * X + C]);
    }
  }
}

struct TMapImages {
  TMapImages() {
    Map.SetBitmaps(Width, Height, bbpf8bit);
    Map.SetPalette(MapPalette());
    PaintMap(Map);
    Work.SetPixelFormat(bbpf24bit);
    Work.SetWidth(Width);
    Work.SetHeight(Height);
    Work.Canvas()->Draw(0, 0, &Map);
    ApplyGrid(Work);
  }
  TBigBitmap Map;
  TBigBitmap Work;
};

TMapImages& Images() {
  static TMapImages Source;
  return Source;
}

void BM_Draw8To24(benchmark::State& State) {
  TMapImages& Source = Images();
  TBigBitmap Target;
  Target.SetBitmaps(Width, Height, bbpf24bit);
  for (auto _ : State) {
    Target.Canvas()->Draw(0, 0, &Source.Map);
    benchmark::DoNotOptimize(Target.GetScanline(0));
  }
  State.SetBytesProcessed(State.iterations() * Bytes24);
}
BENCHMARK(BM_Draw8To24)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_Draw24To8(benchmark::State& State) {
  TMapImages& Source = Images();
  TBigBitmap Target;
  Target.Assign(&Source.Map);
  for (auto _ : State) {
    Target.Canvas()->Draw(0, 0, &Source.Work);
    benchmark::DoNotOptimize(Target.GetScanline(0));
  }
  State.SetBytesProcessed(State.iterations() * Bytes24);
}
BENCHMARK(BM_Draw24To8)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_Memcpy24(benchmark::State& State) {
  std::vector<std::uint8_t> From(static_cast<std::size_t>(Bytes24), 0x5A);
  std::vector<std::uint8_t> To(static_cast<std::size_t>(Bytes24));
  for (auto _ : State) {
    std::memcpy(To.data(), From.data(), From.size());
    benchmark::DoNotOptimize(To.data());
    benchmark::ClobberMemory();
  }
  State.SetBytesProcessed(State.iterations() * Bytes24);
}
BENCHMARK(BM_Memcpy24)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
