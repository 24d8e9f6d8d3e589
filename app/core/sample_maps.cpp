#include "app/core/sample_maps.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/bytes.h"
#include "platform/files.h"
#include "platform/streams.h"

namespace {

constexpr std::int32_t FullWidth[FacetCount] = {6144, 2304, 2560, 1448};
constexpr std::int32_t FullHeight[FacetCount] = {4096, 1600, 2048, 1448};

constexpr std::uint32_t HeaderBytes = 14 + 40 + 256 * 4;

// Palette layout: which entries hold which kind of ground.
constexpr int WaterFirst = 0, WaterCount = 48;
constexpr int SandFirst = 48, SandCount = 8;
constexpr int LandFirst = 56, LandCount = 104;
constexpr int RockFirst = 160, RockCount = 32;
constexpr int RoadFirst = 192, RoadCount = 8;
constexpr int RoofFirst = 200, RoofCount = 16;

// Height thresholds of the value noise (its sum stays in [0, 1), centred on 0.5).
constexpr float SeaLevel = 0.47f;
constexpr float BeachTop = 0.49f;
constexpr float LandTop = 0.66f;
constexpr float RockTop = 0.80f;

struct TOctave {
  std::int32_t Cell;  // lattice spacing in full-size pixels
  float Amplitude;
};
constexpr TOctave Octaves[] = {{1024, 0.45f}, {256, 0.28f}, {64, 0.17f}, {16, 0.10f}};
constexpr int OctaveCount = sizeof(Octaves) / sizeof(Octaves[0]);

// Roads run every kRoadSpacing full-size pixels across the map, wiggling by up to
// kRoadWiggle pixels, kRoadHalfWidth pixels either side of their centre line.
constexpr std::int32_t RoadSpacing = 640;
constexpr float kRoadWiggle = 50.0f;
constexpr std::int32_t RoadHalfWidth = 4;
constexpr std::int32_t TownHalfSize = 28;

std::uint32_t Mix(std::uint32_t H) {
  H ^= H >> 16;
  H *= 0x7feb352dU;
  H ^= H >> 15;
  H *= 0x846ca68bU;
  H ^= H >> 16;
  return H;
}

std::uint32_t Hash(std::int32_t X, std::int32_t Y, std::uint32_t Seed) {
  return Mix(static_cast<std::uint32_t>(X) * 0x8da6b343U ^
             static_cast<std::uint32_t>(Y) * 0xd8163841U ^ Seed * 0xcb1ab31fU);
}

float Lattice(std::int32_t X, std::int32_t Y, std::uint32_t Seed) {
  return static_cast<float>(Hash(X, Y, Seed) >> 8) * (1.0f / 16777216.0f);
}

float Smooth(float T) {
  return T * T * (3.0f - 2.0f * T);
}

RGBQUAD Lerp(const RGBQUAD& A, const RGBQUAD& B, float T) {
  auto mix = [T](std::uint8_t p, std::uint8_t Q) {
    return static_cast<std::uint8_t>(std::lround(p + (Q - p) * T));
  };
  return RGBQUAD{mix(A.rgbBlue, B.rgbBlue), mix(A.rgbGreen, B.rgbGreen), mix(A.rgbRed, B.rgbRed),
                 0};
}

RGBQUAD Rgb(std::uint8_t R, std::uint8_t G, std::uint8_t B) {
  return RGBQUAD{B, G, R, 0};
}

void Ramp(std::array<RGBQUAD, 256>& P, int First, int Count, RGBQUAD From, RGBQUAD To) {
  for (int I = 0; I < Count; ++I) {
    P[static_cast<std::size_t>(First + I)] =
        Lerp(From, To, Count > 1 ? float(I) / float(Count - 1) : 0.0f);
  }
}

std::array<RGBQUAD, 256> MakePalette() {
  std::array<RGBQUAD, 256> P{};
  Ramp(P, WaterFirst, WaterCount, Rgb(8, 24, 84), Rgb(70, 140, 205));
  Ramp(P, SandFirst, SandCount, Rgb(196, 184, 132), Rgb(226, 212, 164));
  Ramp(P, LandFirst, LandCount / 2, Rgb(46, 128, 44), Rgb(118, 142, 58));
  Ramp(P, LandFirst + LandCount / 2, LandCount / 2, Rgb(122, 136, 60), Rgb(128, 96, 58));
  Ramp(P, RockFirst, RockCount, Rgb(104, 96, 90), Rgb(242, 242, 248));
  Ramp(P, RoadFirst, RoadCount, Rgb(150, 128, 96), Rgb(186, 170, 140));
  Ramp(P, RoofFirst, RoofCount, Rgb(150, 40, 30), Rgb(220, 120, 60));
  Ramp(P, 216, 20, Rgb(20, 70, 28), Rgb(60, 100, 40));    // forest shades
  Ramp(P, 236, 20, Rgb(32, 32, 32), Rgb(224, 224, 224));  // greys
  return P;
}

int Clamp(int V, int Lo, int Hi) {
  return std::min(std::max(V, Lo), Hi);
}

std::uint8_t GroundIndex(float H) {
  if (H < SeaLevel)
    return static_cast<std::uint8_t>(WaterFirst +
                                     Clamp(int(H / SeaLevel * WaterCount), 0, WaterCount - 1));
  if (H < BeachTop) {
    return static_cast<std::uint8_t>(
        SandFirst +
        Clamp(int((H - SeaLevel) / (BeachTop - SeaLevel) * SandCount), 0, SandCount - 1));
  }
  if (H < LandTop) {
    return static_cast<std::uint8_t>(
        LandFirst +
        Clamp(int((H - BeachTop) / (LandTop - BeachTop) * LandCount), 0, LandCount - 1));
  }
  return static_cast<std::uint8_t>(
      RockFirst +
      Clamp(int((H - LandTop) / (RockTop - LandTop) * RockCount), 0, RockCount - 1));
}

bool IsLand(std::uint8_t Index) {
  return Index >= SandFirst;
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
    FFullWidth = FullWidth[F < FacetCount ? F : 0];
    FFullHeight = FullHeight[F < FacetCount ? F : 0];
    const std::size_t W = static_cast<std::size_t>(FWidth);
    for (int O = 0; O < OctaveCount; ++O) {
      FCellIndex[O].resize(W);
      FCellWeight[O].resize(W);
      const std::int32_t cell = Octaves[O].Cell;
      for (std::size_t x = 0; x < W; ++x) {
        const std::int32_t Wx = static_cast<std::int32_t>(x) * FScale;
        FCellIndex[O][x] = Wx / cell;
        FCellWeight[O][x] = Smooth(float(Wx % cell) / float(cell));
      }
      FColumns[O].resize(static_cast<std::size_t>((FWidth - 1) * FScale / cell + 2));
    }
    FHeight01.resize(W);
    FRoadOffset.resize(W);
    for (std::size_t x = 0; x < W; ++x) {
      FRoadOffset[x] = RoadWiggle(float(static_cast<std::int32_t>(x) * FScale), 0.0f);
    }
    FRoads = std::max(1, FFullHeight / RoadSpacing);
    FCrossRoads = std::max(1, FFullWidth / RoadSpacing);
  }

  std::int32_t Width() const { return FWidth; }
  std::int32_t Height() const { return FHeight; }

  void RenderRow(std::int32_t y, std::uint8_t* Out) {
    const std::int32_t Wy = y * FScale;
    std::fill(FHeight01.begin(), FHeight01.end(), 0.0f);
    for (int O = 0; O < OctaveCount; ++O) {
      const std::int32_t cell = Octaves[O].Cell;
      const std::int32_t Cy = Wy / cell;
      const float Sy = Smooth(float(Wy % cell) / float(cell));
      const std::uint32_t seed = FSeed + 101u * static_cast<std::uint32_t>(O);
      std::vector<float>& Col = FColumns[O];
      for (std::size_t Cx = 0; Cx < Col.size(); ++Cx) {
        const float A = Lattice(static_cast<std::int32_t>(Cx), Cy, seed);
        const float B = Lattice(static_cast<std::int32_t>(Cx), Cy + 1, seed);
        Col[Cx] = Octaves[O].Amplitude * (A + (B - A) * Sy);
      }
      const std::int32_t* Idx = FCellIndex[O].data();
      const float* T = FCellWeight[O].data();
      for (std::int32_t x = 0; x < FWidth; ++x) {
        const float A = Col[static_cast<std::size_t>(Idx[x])];
        const float B = Col[static_cast<std::size_t>(Idx[x]) + 1];
        FHeight01[static_cast<std::size_t>(x)] += A + (B - A) * T[x];
      }
    }
    for (std::int32_t x = 0; x < FWidth; ++x)
      Out[x] = GroundIndex(FHeight01[static_cast<std::size_t>(x)]);

    // Roads running across the map.
    for (std::int32_t K = 0; K < FRoads; ++K) {
      const float Centre = RoadCentre(K, FFullHeight, FRoads);
      if (std::fabs(float(Wy) - Centre) > kRoadWiggle + RoadHalfWidth) continue;
      for (std::int32_t x = 0; x < FWidth; ++x) {
        const float D = float(Wy) - Centre - FRoadOffset[static_cast<std::size_t>(x)];
        if (std::fabs(D) <= RoadHalfWidth && IsLand(Out[x])) Out[x] = RoadColour(K);
      }
    }
    // Roads running down the map.
    for (std::int32_t J = 0; J < FCrossRoads; ++J) {
      const float Centre = RoadCentre(J, FFullWidth, FCrossRoads) + RoadWiggle(float(Wy), 2.0f);
      PaintSpan(Out, Centre - RoadHalfWidth, Centre + RoadHalfWidth, RoadColour(J + 3));
    }
    // Towns where two roads meet: blocks of roofs between narrow streets.
    for (std::int32_t K = 0; K < FRoads; ++K) {
      const float CyTown = RoadCentre(K, FFullHeight, FRoads);
      if (std::fabs(float(Wy) - CyTown) > TownHalfSize) continue;
      for (std::int32_t J = 0; J < FCrossRoads; ++J) {
        if ((Hash(J, K, FSeed) & 3u) == 0) continue;
        const float CxTown = RoadCentre(J, FFullWidth, FCrossRoads) + RoadWiggle(CyTown, 2.0f);
        const std::int32_t first =
            std::max(0, static_cast<std::int32_t>(std::ceil((CxTown - TownHalfSize) / FScale)));
        const std::int32_t Last = std::min(
            FWidth - 1, static_cast<std::int32_t>(std::floor((CxTown + TownHalfSize) / FScale)));
        const bool Street = (Wy / 8) % 3 == 0;
        for (std::int32_t x = first; x <= Last; ++x) {
          if (!IsLand(Out[x])) continue;
          const std::int32_t Wx = x * FScale;
          Out[x] = Street || (Wx / 8) % 3 == 0
                       ? RoadColour(0)
                       : static_cast<std::uint8_t>(RoofFirst +
                                                   Hash(Wx / 8, Wy / 8, FSeed) % RoofCount);
        }
      }
    }
  }

 private:
  float RoadCentre(std::int32_t I, std::int32_t Extent, std::int32_t Count) const {
    const float Spacing = float(Extent) / float(Count);
    const float Jitter = (float(Hash(I, 77, FSeed) >> 8) / 16777216.0f - 0.5f) * Spacing * 0.4f;
    return Spacing * (float(I) + 0.5f) + Jitter;
  }

  static std::uint8_t RoadColour(std::int32_t I) {
    return static_cast<std::uint8_t>(RoadFirst + (I % RoadCount));
  }

  // Paints land pixels whose full-size x lies in [From, To].
  void PaintSpan(std::uint8_t* Out, float From, float To, std::uint8_t Colour) const {
    const std::int32_t first = std::max(0, static_cast<std::int32_t>(std::ceil(From / FScale)));
    const std::int32_t Last =
        std::min(FWidth - 1, static_cast<std::int32_t>(std::floor(To / FScale)));
    for (std::int32_t x = first; x <= Last; ++x) {
      if (IsLand(Out[x])) Out[x] = Colour;
    }
  }

  std::uint32_t FSeed;
  std::int32_t FScale;
  std::int32_t FWidth = 0, FHeight = 0, FFullWidth = 0, FFullHeight = 0;
  std::int32_t FRoads = 1, FCrossRoads = 1;
  std::vector<std::int32_t> FCellIndex[OctaveCount];
  std::vector<float> FCellWeight[OctaveCount];
  std::vector<float> FColumns[OctaveCount];
  std::vector<float> FHeight01;
  std::vector<float> FRoadOffset;
};

}  // namespace

void SampleMapSize(Facet F, MapScale S, std::int32_t& Width, std::int32_t& Height) {
  const int f = F < FacetCount ? F : 0;
  const int Shift = S < MapScaleCount ? S : 0;
  Width = FullWidth[f] >> Shift;
  Height = FullHeight[f] >> Shift;
}

const std::array<RGBQUAD, 256>& SamplePalette() {
  static const std::array<RGBQUAD, 256> palette = MakePalette();
  return palette;
}

std::vector<std::uint8_t> BuildSampleMapFile(Facet F, MapScale S) {
  TSampleRenderer Renderer(F, S);
  const std::int32_t W = Renderer.Width();
  const std::int32_t H = Renderer.Height();
  const std::uint32_t PixelBytes = static_cast<std::uint32_t>(W) * static_cast<std::uint32_t>(H);
  std::vector<std::uint8_t> File(HeaderBytes + PixelBytes);
  std::uint8_t* p = File.data();
  PutLE16(p + 0, 0x4D42);  // "BM"
  PutLE32(p + 2, static_cast<std::uint32_t>(File.size()));
  PutLE32(p + 10, HeaderBytes);
  PutLE32(p + 14, 40);
  PutLE32(p + 18, static_cast<std::uint32_t>(W));
  PutLE32(p + 22, static_cast<std::uint32_t>(H));
  PutLE16(p + 26, 1);
  PutLE16(p + 28, 8);
  PutLE32(p + 30, 0);  // uncompressed
  PutLE32(p + 34, PixelBytes);
  PutLE32(p + 38, 2835);  // 72 dpi
  PutLE32(p + 42, 2835);
  PutLE32(p + 46, 256);
  PutLE32(p + 50, 0);
  std::memcpy(p + 54, SamplePalette().data(), 256 * sizeof(RGBQUAD));
  for (std::int32_t y = 0; y < H; ++y) {
    // Bottom-up: the top row is stored last.
    Renderer.RenderRow(
        y, p + HeaderBytes + static_cast<std::size_t>(H - 1 - y) * static_cast<std::size_t>(W));
  }
  return File;
}

std::vector<std::string> SampleMapNames(const std::string& Folder) {
  std::vector<std::string> Names;
  for (Facet f = 0; f < FacetCount; ++f) {
    for (MapScale s = 0; s < MapScaleCount; ++s)
      Names.push_back(GetBaseFileName(Folder, f, mtNormal, s));
  }
  return Names;
}

std::string WriteSampleMap(const std::string& Folder, Facet F, MapScale S) {
  const std::string Name = GetBaseFileName(Folder, F, mtNormal, S);
  const std::vector<std::uint8_t> Bytes = BuildSampleMapFile(F, S);
  WriteFileNoReplace(Name, [&Bytes](TStream& Stream) {
    Stream.WriteBuffer(Bytes.data(), static_cast<std::int32_t>(Bytes.size()));
  });
  return Name;
}

std::vector<std::string> WriteSampleMaps(const std::string& Folder) {
  std::vector<std::string> Names;
  for (Facet f = 0; f < FacetCount; ++f) {
    for (MapScale s = 0; s < MapScaleCount; ++s) Names.push_back(WriteSampleMap(Folder, f, s));
  }
  return Names;
}
