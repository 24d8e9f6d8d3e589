// Resampled drawing (DrawMode 1) of a full-size 6144 x 4096 8-bit map into an 800 x 600
// destination: clipped to a 200 x 150 corner it should cost a small fraction of the whole
// destination, and the whole destination at most twice band-wise drawing (DrawMode 0) of the
// same rectangle. A small map enlarged 4x shows the coarse sampling (one sample per 4 x 4
// destination pixels) against band-wise drawing.

#include <benchmark/benchmark.h>

#include <cstdint>

#include "bigbitmap/bigbitmap.h"

namespace {

constexpr std::int32_t Width = 6144;
constexpr std::int32_t Height = 4096;
constexpr std::int32_t DestWidth = 800;
constexpr std::int32_t DestHeight = 600;

HPALETTE MapPalette() {
  LOGPALETTE Lp{};
  Lp.palVersion = 0x300;
  Lp.palNumEntries = 256;
  for (int I = 0; I < 256; ++I) {
    Lp.palPalEntry[I] = {static_cast<std::uint8_t>(I), static_cast<std::uint8_t>((I * 5) & 255),
                         static_cast<std::uint8_t>(255 - I), 0};
  }
  return CreatePalette(&Lp);
}

// An 8-bit map with coarse regions and some detail, built once.
TBigBitmap& Map() {
  static TBigBitmap* Source = [] {
    auto* B = new TBigBitmap;
    B->SetPixelFormat(bbpf8bit);
    B->SetWidth(Width);
    B->SetHeight(Height);
    B->SetPalette(MapPalette());
    for (std::int32_t Y = 0; Y < Height; ++Y) {
      auto* Row = static_cast<std::uint8_t*>(B->GetScanline(Y));
      for (std::int32_t X = 0; X < Width; ++X) {
        Row[X] = static_cast<std::uint8_t>(((X / 64) * 37 + (Y / 64) * 11 + (X ^ Y) % 5) & 255);
      }
    }
    return B;
  }();
  return *Source;
}

void Draw(benchmark::State& State, std::uint8_t Mode, bool Corner, std::int32_t W, std::int32_t H) {
  TBigBitmap& Source = Map();
  Source.SetDrawMode(Mode);
  TBitmap Dest;
  Dest.SetPixelFormat(pf24bit);
  Dest.SetWidth(W);
  Dest.SetHeight(H);
  if (Corner) IntersectClipRect(Dest.Canvas()->Handle(), 0, 0, W / 4, H / 4);
  for (auto _ : State) {
    Dest.Canvas()->StretchDraw(Rect(0, 0, W, H), &Source);
    benchmark::ClobberMemory();
  }
  State.counters["dest_px"] = static_cast<double>(W) * H;
}

void BM_ResampledCorner(benchmark::State& State) {
  Draw(State, 1, true, DestWidth, DestHeight);
}
void BM_ResampledWhole(benchmark::State& State) {
  Draw(State, 1, false, DestWidth, DestHeight);
}
void BM_BandsWhole(benchmark::State& State) {
  Draw(State, 0, false, DestWidth, DestHeight);
}
// A larger destination: the map shrunk into 3000 x 2000, six tiles.
void BM_ResampledLargeDest(benchmark::State& State) {
  Draw(State, 1, false, 3000, 2000);
}
void BM_BandsLargeDest(benchmark::State& State) {
  Draw(State, 0, false, 3000, 2000);
}

void BM_ResampledEnlarge4(benchmark::State& State) {
  TBigBitmap Small;
  Small.SetPixelFormat(bbpf8bit);
  Small.SetWidth(500);
  Small.SetHeight(400);
  Small.SetPalette(MapPalette());
  for (std::int32_t Y = 0; Y < 400; ++Y) {
    auto* Row = static_cast<std::uint8_t*>(Small.GetScanline(Y));
    for (std::int32_t X = 0; X < 500; ++X) Row[X] = static_cast<std::uint8_t>(X + Y);
  }
  Small.SetDrawMode(static_cast<std::uint8_t>(State.range(0)));
  TBitmap Dest;
  Dest.SetPixelFormat(pf24bit);
  Dest.SetWidth(2000);
  Dest.SetHeight(1600);
  for (auto _ : State) {
    Dest.Canvas()->StretchDraw(Rect(0, 0, 2000, 1600), &Small);
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
