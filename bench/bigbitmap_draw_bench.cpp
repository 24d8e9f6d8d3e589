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

constexpr std::int32_t kWidth = 6144;
constexpr std::int32_t kHeight = 4096;
constexpr std::int32_t kGridStep = 8;
constexpr std::int64_t kBytes24 = std::int64_t{kWidth} * kHeight * 3;

// 256 colours: water shades, land shades, roads and a few bright markers.
HPALETTE MapPalette() {
  LOGPALETTE lp{};
  lp.palVersion = 0x300;
  lp.palNumEntries = 256;
  for (int i = 0; i < 256; ++i) {
    PALETTEENTRY& e = lp.palPalEntry[i];
    if (i < 64) {  // water
      e = {static_cast<std::uint8_t>(i / 4), static_cast<std::uint8_t>(40 + i),
           static_cast<std::uint8_t>(120 + 2 * i), 0};
    } else if (i < 224) {  // land
      const int k = i - 64;
      e = {static_cast<std::uint8_t>(60 + k), static_cast<std::uint8_t>(90 + k / 2),
           static_cast<std::uint8_t>(30 + (k * 7) % 60), 0};
    } else {  // roads, towns, markers
      const int k = i - 224;
      e = {static_cast<std::uint8_t>(k * 8), static_cast<std::uint8_t>(255 - k * 8),
           static_cast<std::uint8_t>((k * 53) % 256), 0};
    }
  }
  return CreatePalette(&lp);
}

std::uint32_t Hash(std::uint32_t x) {
  x ^= x >> 16;
  x *= 0x7feb352dU;
  x ^= x >> 15;
  x *= 0x846ca68bU;
  return x ^ (x >> 16);
}

// Coarse regions of land and water, a handful of shades inside each region, sparse markers.
void PaintMap(TBigBitmap& map) {
  for (std::int32_t y = 0; y < kHeight; ++y) {
    auto* row = static_cast<std::uint8_t*>(map.GetScanline(y));
    for (std::int32_t x = 0; x < kWidth; ++x) {
      const std::uint32_t region = Hash(static_cast<std::uint32_t>((y / 96) * 4096 + x / 96));
      const std::uint32_t detail = Hash(static_cast<std::uint32_t>(y * kWidth + x));
      std::uint32_t index;
      if (detail % 997 == 0) {
        index = 224 + detail % 32;
      } else if (region % 3 == 0) {
        index = region % 56 + detail % 8;
      } else {
        index = 64 + region % 152 + detail % 8;
      }
      row[x] = static_cast<std::uint8_t>(index);
    }
  }
}

std::uint8_t Blend(std::uint8_t c) {
  return static_cast<std::uint8_t>((c * 6u + 255u * 4u) / 10u);
}

void ApplyGrid(TBigBitmap& work) {
  for (std::int32_t y = 0; y < kHeight; ++y) {
    auto* row = static_cast<std::uint8_t*>(work.GetScanline(y));
    const std::int32_t step = y % kGridStep == 0 ? 1 : kGridStep;
    for (std::int32_t x = 0; x < kWidth; x += step) {
      for (int c = 0; c < 3; ++c) row[3 * x + c] = Blend(row[3 * x + c]);
    }
  }
}

struct MapImages {
  MapImages() {
    map.SetBitmaps(kWidth, kHeight, bbpf8bit);
    map.SetPalette(MapPalette());
    PaintMap(map);
    work.SetPixelFormat(bbpf24bit);
    work.SetWidth(kWidth);
    work.SetHeight(kHeight);
    work.Canvas()->Draw(0, 0, &map);
    ApplyGrid(work);
  }
  TBigBitmap map;
  TBigBitmap work;
};

MapImages& Images() {
  static MapImages images;
  return images;
}

void BM_Draw8To24(benchmark::State& state) {
  MapImages& images = Images();
  TBigBitmap target;
  target.SetBitmaps(kWidth, kHeight, bbpf24bit);
  for (auto _ : state) {
    target.Canvas()->Draw(0, 0, &images.map);
    benchmark::DoNotOptimize(target.GetScanline(0));
  }
  state.SetBytesProcessed(state.iterations() * kBytes24);
}
BENCHMARK(BM_Draw8To24)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_Draw24To8(benchmark::State& state) {
  MapImages& images = Images();
  TBigBitmap target;
  target.Assign(&images.map);
  for (auto _ : state) {
    target.Canvas()->Draw(0, 0, &images.work);
    benchmark::DoNotOptimize(target.GetScanline(0));
  }
  state.SetBytesProcessed(state.iterations() * kBytes24);
}
BENCHMARK(BM_Draw24To8)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_Memcpy24(benchmark::State& state) {
  std::vector<std::uint8_t> from(static_cast<std::size_t>(kBytes24), 0x5A);
  std::vector<std::uint8_t> to(static_cast<std::size_t>(kBytes24));
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), from.size());
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kBytes24);
}
BENCHMARK(BM_Memcpy24)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
