#include "app/core/sample_maps.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/bytes.h"
#include "platform/files.h"
#include "platform/streams.h"

namespace {

constexpr std::int32_t kFullWidth[FacetCount] = {6144, 2304, 2560, 1448};
constexpr std::int32_t kFullHeight[FacetCount] = {4096, 1600, 2048, 1448};

constexpr std::uint32_t kHeaderBytes = 14 + 40 + 256 * 4;

// Palette layout: which entries hold which kind of ground.
constexpr int kWaterFirst = 0, kWaterCount = 48;
constexpr int kSandFirst = 48, kSandCount = 8;
constexpr int kLandFirst = 56, kLandCount = 104;
constexpr int kRockFirst = 160, kRockCount = 32;
constexpr int kRoadFirst = 192, kRoadCount = 8;
constexpr int kRoofFirst = 200, kRoofCount = 16;

// Height thresholds of the value noise (its sum stays in [0, 1), centred on 0.5).
constexpr float kSeaLevel = 0.47f;
constexpr float kBeachTop = 0.49f;
constexpr float kLandTop = 0.66f;
constexpr float kRockTop = 0.80f;

struct TOctave {
  std::int32_t Cell;  // lattice spacing in full-size pixels
  float Amplitude;
};
constexpr TOctave kOctaves[] = {{1024, 0.45f}, {256, 0.28f}, {64, 0.17f}, {16, 0.10f}};
constexpr int kOctaveCount = sizeof(kOctaves) / sizeof(kOctaves[0]);

// Roads run every kRoadSpacing full-size pixels across the map, wiggling by up to
// kRoadWiggle pixels, kRoadHalfWidth pixels either side of their centre line.
constexpr std::int32_t kRoadSpacing = 640;
constexpr float kRoadWiggle = 50.0f;
constexpr std::int32_t kRoadHalfWidth = 4;
constexpr std::int32_t kTownHalfSize = 28;

std::uint32_t Mix(std::uint32_t h) {
  h ^= h >> 16;
  h *= 0x7feb352dU;
  h ^= h >> 15;
  h *= 0x846ca68bU;
  h ^= h >> 16;
  return h;
}

std::uint32_t Hash(std::int32_t X, std::int32_t Y, std::uint32_t Seed) {
  return Mix(static_cast<std::uint32_t>(X) * 0x8da6b343U ^
             static_cast<std::uint32_t>(Y) * 0xd8163841U ^ Seed * 0xcb1ab31fU);
}

float Lattice(std::int32_t X, std::int32_t Y, std::uint32_t Seed) {
  return static_cast<float>(Hash(X, Y, Seed) >> 8) * (1.0f / 16777216.0f);
}

float Smooth(float t) {
  return t * t * (3.0f - 2.0f * t);
}

RGBQUAD Lerp(const RGBQUAD& a, const RGBQUAD& b, float t) {
  auto mix = [t](std::uint8_t p, std::uint8_t q) {
    return static_cast<std::uint8_t>(std::lround(p + (q - p) * t));
  };
  return RGBQUAD{mix(a.rgbBlue, b.rgbBlue), mix(a.rgbGreen, b.rgbGreen), mix(a.rgbRed, b.rgbRed),
                 0};
}

RGBQUAD Rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  return RGBQUAD{b, g, r, 0};
}

void Ramp(std::array<RGBQUAD, 256>& P, int First, int Count, RGBQUAD From, RGBQUAD To) {
  for (int i = 0; i < Count; ++i) {
    P[static_cast<std::size_t>(First + i)] =
        Lerp(From, To, Count > 1 ? float(i) / float(Count - 1) : 0.0f);
  }
}

std::array<RGBQUAD, 256> MakePalette() {
  std::array<RGBQUAD, 256> P{};
  Ramp(P, kWaterFirst, kWaterCount, Rgb(8, 24, 84), Rgb(70, 140, 205));
  Ramp(P, kSandFirst, kSandCount, Rgb(196, 184, 132), Rgb(226, 212, 164));
  Ramp(P, kLandFirst, kLandCount / 2, Rgb(46, 128, 44), Rgb(118, 142, 58));
  Ramp(P, kLandFirst + kLandCount / 2, kLandCount / 2, Rgb(122, 136, 60), Rgb(128, 96, 58));
  Ramp(P, kRockFirst, kRockCount, Rgb(104, 96, 90), Rgb(242, 242, 248));
  Ramp(P, kRoadFirst, kRoadCount, Rgb(150, 128, 96), Rgb(186, 170, 140));
  Ramp(P, kRoofFirst, kRoofCount, Rgb(150, 40, 30), Rgb(220, 120, 60));
  Ramp(P, 216, 20, Rgb(20, 70, 28), Rgb(60, 100, 40));    // forest shades
  Ramp(P, 236, 20, Rgb(32, 32, 32), Rgb(224, 224, 224));  // greys
  return P;
}

int Clamp(int v, int lo, int hi) {
  return std::min(std::max(v, lo), hi);
}

std::uint8_t GroundIndex(float h) {
  if (h < kSeaLevel)
    return static_cast<std::uint8_t>(kWaterFirst +
                                     Clamp(int(h / kSeaLevel * kWaterCount), 0, kWaterCount - 1));
  if (h < kBeachTop) {
    return static_cast<std::uint8_t>(
        kSandFirst +
        Clamp(int((h - kSeaLevel) / (kBeachTop - kSeaLevel) * kSandCount), 0, kSandCount - 1));
  }
  if (h < kLandTop) {
    return static_cast<std::uint8_t>(
        kLandFirst +
        Clamp(int((h - kBeachTop) / (kLandTop - kBeachTop) * kLandCount), 0, kLandCount - 1));
  }
  return static_cast<std::uint8_t>(
      kRockFirst +
      Clamp(int((h - kLandTop) / (kRockTop - kLandTop) * kRockCount), 0, kRockCount - 1));
}

bool IsLand(std::uint8_t Index) {
  return Index >= kSandFirst;
}

// Sideways offset of a road's centre line at a position along it.
float RoadWiggle(float Along, float Phase) {
  return 0.72f * kRoadWiggle * std::sin(Along / 230.0f + Phase) +
         0.28f * kRoadWiggle * std::sin(Along / 71.0f + 1.0f + Phase);
}

// Renders the map row by row into the pixel area of a file buffer (rows bottom-up, unpadded).
class TSampleRenderer {
 public:
  TSampleRenderer(Facet F, MapScale S) : FSeed(0x51A7E5u + 7919u * F), FScale(1 << S) {
    SampleMapSize(F, S, FWidth, FHeight);
    FFullWidth = kFullWidth[F < FacetCount ? F : 0];
    FFullHeight = kFullHeight[F < FacetCount ? F : 0];
    const std::size_t w = static_cast<std::size_t>(FWidth);
    for (int o = 0; o < kOctaveCount; ++o) {
      FCellIndex[o].resize(w);
      FCellWeight[o].resize(w);
      const std::int32_t cell = kOctaves[o].Cell;
      for (std::size_t x = 0; x < w; ++x) {
        const std::int32_t wx = static_cast<std::int32_t>(x) * FScale;
        FCellIndex[o][x] = wx / cell;
        FCellWeight[o][x] = Smooth(float(wx % cell) / float(cell));
      }
      FColumns[o].resize(static_cast<std::size_t>((FWidth - 1) * FScale / cell + 2));
    }
    FHeight01.resize(w);
    FRoadOffset.resize(w);
    for (std::size_t x = 0; x < w; ++x) {
      FRoadOffset[x] = RoadWiggle(float(static_cast<std::int32_t>(x) * FScale), 0.0f);
    }
    FRoads = std::max(1, FFullHeight / kRoadSpacing);
    FCrossRoads = std::max(1, FFullWidth / kRoadSpacing);
  }

  std::int32_t Width() const { return FWidth; }
  std::int32_t Height() const { return FHeight; }

  void RenderRow(std::int32_t y, std::uint8_t* Out) {
    const std::int32_t wy = y * FScale;
    std::fill(FHeight01.begin(), FHeight01.end(), 0.0f);
    for (int o = 0; o < kOctaveCount; ++o) {
      const std::int32_t cell = kOctaves[o].Cell;
      const std::int32_t cy = wy / cell;
      const float sy = Smooth(float(wy % cell) / float(cell));
      const std::uint32_t seed = FSeed + 101u * static_cast<std::uint32_t>(o);
      std::vector<float>& col = FColumns[o];
      for (std::size_t cx = 0; cx < col.size(); ++cx) {
        const float a = Lattice(static_cast<std::int32_t>(cx), cy, seed);
        const float b = Lattice(static_cast<std::int32_t>(cx), cy + 1, seed);
        col[cx] = kOctaves[o].Amplitude * (a + (b - a) * sy);
      }
      const std::int32_t* idx = FCellIndex[o].data();
      const float* t = FCellWeight[o].data();
      for (std::int32_t x = 0; x < FWidth; ++x) {
        const float a = col[static_cast<std::size_t>(idx[x])];
        const float b = col[static_cast<std::size_t>(idx[x]) + 1];
        FHeight01[static_cast<std::size_t>(x)] += a + (b - a) * t[x];
      }
    }
    for (std::int32_t x = 0; x < FWidth; ++x)
      Out[x] = GroundIndex(FHeight01[static_cast<std::size_t>(x)]);

    // Roads running across the map.
    for (std::int32_t k = 0; k < FRoads; ++k) {
      const float centre = RoadCentre(k, FFullHeight, FRoads);
      if (std::fabs(float(wy) - centre) > kRoadWiggle + kRoadHalfWidth) continue;
      for (std::int32_t x = 0; x < FWidth; ++x) {
        const float d = float(wy) - centre - FRoadOffset[static_cast<std::size_t>(x)];
        if (std::fabs(d) <= kRoadHalfWidth && IsLand(Out[x])) Out[x] = RoadColour(k);
      }
    }
    // Roads running down the map.
    for (std::int32_t j = 0; j < FCrossRoads; ++j) {
      const float centre = RoadCentre(j, FFullWidth, FCrossRoads) + RoadWiggle(float(wy), 2.0f);
      PaintSpan(Out, centre - kRoadHalfWidth, centre + kRoadHalfWidth, RoadColour(j + 3));
    }
    // Towns where two roads meet: blocks of roofs between narrow streets.
    for (std::int32_t k = 0; k < FRoads; ++k) {
      const float cyTown = RoadCentre(k, FFullHeight, FRoads);
      if (std::fabs(float(wy) - cyTown) > kTownHalfSize) continue;
      for (std::int32_t j = 0; j < FCrossRoads; ++j) {
        if ((Hash(j, k, FSeed) & 3u) == 0) continue;
        const float cxTown = RoadCentre(j, FFullWidth, FCrossRoads) + RoadWiggle(cyTown, 2.0f);
        const std::int32_t first =
            std::max(0, static_cast<std::int32_t>(std::ceil((cxTown - kTownHalfSize) / FScale)));
        const std::int32_t last = std::min(
            FWidth - 1, static_cast<std::int32_t>(std::floor((cxTown + kTownHalfSize) / FScale)));
        const bool street = (wy / 8) % 3 == 0;
        for (std::int32_t x = first; x <= last; ++x) {
          if (!IsLand(Out[x])) continue;
          const std::int32_t wx = x * FScale;
          Out[x] = street || (wx / 8) % 3 == 0
                       ? RoadColour(0)
                       : static_cast<std::uint8_t>(kRoofFirst +
                                                   Hash(wx / 8, wy / 8, FSeed) % kRoofCount);
        }
      }
    }
  }

 private:
  float RoadCentre(std::int32_t i, std::int32_t Extent, std::int32_t Count) const {
    const float spacing = float(Extent) / float(Count);
    const float jitter = (float(Hash(i, 77, FSeed) >> 8) / 16777216.0f - 0.5f) * spacing * 0.4f;
    return spacing * (float(i) + 0.5f) + jitter;
  }

  static std::uint8_t RoadColour(std::int32_t i) {
    return static_cast<std::uint8_t>(kRoadFirst + (i % kRoadCount));
  }

  // Paints land pixels whose full-size x lies in [From, To].
  void PaintSpan(std::uint8_t* Out, float From, float To, std::uint8_t Colour) const {
    const std::int32_t first = std::max(0, static_cast<std::int32_t>(std::ceil(From / FScale)));
    const std::int32_t last =
        std::min(FWidth - 1, static_cast<std::int32_t>(std::floor(To / FScale)));
    for (std::int32_t x = first; x <= last; ++x) {
      if (IsLand(Out[x])) Out[x] = Colour;
    }
  }

  std::uint32_t FSeed;
  std::int32_t FScale;
  std::int32_t FWidth = 0, FHeight = 0, FFullWidth = 0, FFullHeight = 0;
  std::int32_t FRoads = 1, FCrossRoads = 1;
  std::vector<std::int32_t> FCellIndex[kOctaveCount];
  std::vector<float> FCellWeight[kOctaveCount];
  std::vector<float> FColumns[kOctaveCount];
  std::vector<float> FHeight01;
  std::vector<float> FRoadOffset;
};

}  // namespace

void SampleMapSize(Facet F, MapScale S, std::int32_t& Width, std::int32_t& Height) {
  const int f = F < FacetCount ? F : 0;
  const int shift = S < MapScaleCount ? S : 0;
  Width = kFullWidth[f] >> shift;
  Height = kFullHeight[f] >> shift;
}

const std::array<RGBQUAD, 256>& SamplePalette() {
  static const std::array<RGBQUAD, 256> palette = MakePalette();
  return palette;
}

std::vector<std::uint8_t> BuildSampleMapFile(Facet F, MapScale S) {
  TSampleRenderer renderer(F, S);
  const std::int32_t w = renderer.Width();
  const std::int32_t h = renderer.Height();
  const std::uint32_t pixelBytes = static_cast<std::uint32_t>(w) * static_cast<std::uint32_t>(h);
  std::vector<std::uint8_t> file(kHeaderBytes + pixelBytes);
  std::uint8_t* p = file.data();
  PutLE16(p + 0, 0x4D42);  // "BM"
  PutLE32(p + 2, static_cast<std::uint32_t>(file.size()));
  PutLE32(p + 10, kHeaderBytes);
  PutLE32(p + 14, 40);
  PutLE32(p + 18, static_cast<std::uint32_t>(w));
  PutLE32(p + 22, static_cast<std::uint32_t>(h));
  PutLE16(p + 26, 1);
  PutLE16(p + 28, 8);
  PutLE32(p + 30, 0);  // uncompressed
  PutLE32(p + 34, pixelBytes);
  PutLE32(p + 38, 2835);  // 72 dpi
  PutLE32(p + 42, 2835);
  PutLE32(p + 46, 256);
  PutLE32(p + 50, 0);
  std::memcpy(p + 54, SamplePalette().data(), 256 * sizeof(RGBQUAD));
  for (std::int32_t y = 0; y < h; ++y) {
    // Bottom-up: the top row is stored last.
    renderer.RenderRow(
        y, p + kHeaderBytes + static_cast<std::size_t>(h - 1 - y) * static_cast<std::size_t>(w));
  }
  return file;
}

std::vector<std::string> SampleMapNames(const std::string& Folder) {
  std::vector<std::string> names;
  for (Facet f = 0; f < FacetCount; ++f) {
    for (MapScale s = 0; s < MapScaleCount; ++s)
      names.push_back(GetBaseFileName(Folder, f, mtNormal, s));
  }
  return names;
}

std::string WriteSampleMap(const std::string& Folder, Facet F, MapScale S) {
  const std::string name = GetBaseFileName(Folder, F, mtNormal, S);
  const std::vector<std::uint8_t> bytes = BuildSampleMapFile(F, S);
  WriteFileNoReplace(name, [&bytes](TStream& Stream) {
    Stream.WriteBuffer(bytes.data(), static_cast<std::int32_t>(bytes.size()));
  });
  return name;
}

std::vector<std::string> WriteSampleMaps(const std::string& Folder) {
  std::vector<std::string> names;
  for (Facet f = 0; f < FacetCount; ++f) {
    for (MapScale s = 0; s < MapScaleCount; ++s) names.push_back(WriteSampleMap(Folder, f, s));
  }
  return names;
}
