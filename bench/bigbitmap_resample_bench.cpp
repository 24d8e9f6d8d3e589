// Resampled drawing (DrawMode 1) of a full-size 6144 x 4096 8-bit map into an 800 x 600
// destination: clipped to a 200 x 150 corner it should cost a small fraction of the whole
// destination, and the whole destination at most twice band-wise drawing (DrawMode 0) of the
// same rectangle. A small map enlarged 4x shows the coarse sampling (one sample per 4 x 4
// destination pixels) against band-wise drawing.

#include <benchmark/benchmark.h>

#include <cstdint>

#include "bigbitmap/bigbitmap.h"

namespace {

constexpr std::int32_t kWidth = 6144;
constexpr std::int32_t kHeight = 4096;
constexpr std::int32_t kDestWidth = 800;
constexpr std::int32_t kDestHeight = 600;

HPALETTE MapPalette() {
  LOGPALETTE lp{};
  lp.palVersion = 0x300;
  lp.palNumEntries = 256;
  for (int i = 0; i < 256; ++i) {
    lp.palPalEntry[i] = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>((i * 5) & 255),
                         static_cast<std::uint8_t>(255 - i), 0};
  }
  return CreatePalette(&lp);
}

// An 8-bit map with coarse regions and some detail, built once.
TBigBitmap& Map() {
  static TBigBitmap* map = [] {
    auto* b = new TBigBitmap;
    b->SetPixelFormat(bbpf8bit);
    b->SetWidth(kWidth);
    b->SetHeight(kHeight);
    b->SetPalette(MapPalette());
    for (std::int32_t y = 0; y < kHeight; ++y) {
      auto* row = static_cast<std::uint8_t*>(b->GetScanline(y));
      for (std::int32_t x = 0; x < kWidth; ++x) {
        row[x] = static_cast<std::uint8_t>(((x / 64) * 37 + (y / 64) * 11 + (x ^ y) % 5) & 255);
      }
    }
    return b;
  }();
  return *map;
}

void Draw(benchmark::State& state, std::uint8_t Mode, bool Corner, std::int32_t W, std::int32_t H) {
  TBigBitmap& map = Map();
  map.SetDrawMode(Mode);
  TBitmap dest;
  dest.SetPixelFormat(pf24bit);
  dest.SetWidth(W);
  dest.SetHeight(H);
  if (Corner) IntersectClipRect(dest.Canvas()->Handle(), 0, 0, W / 4, H / 4);
  for (auto _ : state) {
    dest.Canvas()->StretchDraw(Rect(0, 0, W, H), &map);
    benchmark::ClobberMemory();
  }
  state.counters["dest_px"] = static_cast<double>(W) * H;
}

void BM_ResampledCorner(benchmark::State& state) {
  Draw(state, 1, true, kDestWidth, kDestHeight);
}
void BM_ResampledWhole(benchmark::State& state) {
  Draw(state, 1, false, kDestWidth, kDestHeight);
}
void BM_BandsWhole(benchmark::State& state) {
  Draw(state, 0, false, kDestWidth, kDestHeight);
}
// A larger destination: the map shrunk into 3000 x 2000, six tiles.
void BM_ResampledLargeDest(benchmark::State& state) {
  Draw(state, 1, false, 3000, 2000);
}
void BM_BandsLargeDest(benchmark::State& state) {
  Draw(state, 0, false, 3000, 2000);
}

void BM_ResampledEnlarge4(benchmark::State& state) {
  TBigBitmap small;
  small.SetPixelFormat(bbpf8bit);
  small.SetWidth(500);
  small.SetHeight(400);
  small.SetPalette(MapPalette());
  for (std::int32_t y = 0; y < 400; ++y) {
    auto* row = static_cast<std::uint8_t*>(small.GetScanline(y));
    for (std::int32_t x = 0; x < 500; ++x) row[x] = static_cast<std::uint8_t>(x + y);
  }
  small.SetDrawMode(static_cast<std::uint8_t>(state.range(0)));
  TBitmap dest;
  dest.SetPixelFormat(pf24bit);
  dest.SetWidth(2000);
  dest.SetHeight(1600);
  for (auto _ : state) {
    dest.Canvas()->StretchDraw(Rect(0, 0, 2000, 1600), &small);
    benchmark::ClobberMemory();
  }
}

BENCHMARK(BM_ResampledCorner)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ResampledWhole)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BandsWhole)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ResampledLargeDest)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BandsLargeDest)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResampledEnlarge4)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
