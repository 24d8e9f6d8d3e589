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

// Roads run every RoadSpacing full-size pixels across the map, wiggling by up to
// MaxRoadWiggle pixels, RoadHalfWidth pixels either side of their centre line.
constexpr std::int32_t RoadSpacing = 640;
constexpr float MaxRoadWiggle = 50.0f;
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
  auto Mix = [T](std::uint8_t P, std::uint8_t Q) {
    return static_cast<std::uint8_t>(std::lround(P + (Q - P) * T));
  };
  return RGBQUAD{Mix(A.rgbBlue, B.rgbBlue), Mix(A.rgbGreen, B.rgbGreen), Mix(A.rgbRed, B.rgbRed),
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
  return 0.72f * MaxRoadWiggle * std::sin(Along / 230.0f + Phase) +
         0.28f * MaxRoadWiggle * std::sin(Along / 71.0f + 1.0f + Phase);
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
      const std::int32_t Cell = Octaves[O].Cell;
      for (std::size_t X = 0; X < W; ++X) {
        const std::int32_t Wx = static_cast<std::int32_t>(X) * FScale;
        FCellIndex[O][X] = Wx / Cell;
        FCellWeight[O][X] = Smooth(float(Wx % Cell) / float(Cell));
      }
      FColumns[O].resize(static_cast<std::size_t>((FWidth - 1) * FScale / Cell + 2));
    }
    FHeight01.resize(W);
    FRoadOffset.resize(W);
    for (std::size_t X = 0; X < W; ++X) {
      FRoadOffset[X] = RoadWiggle(float(static_cast<std::int32_t>(X) * FScale), 0.0f);
    }
    FRoads = std::max(1, FFullHeight / RoadSpacing);
    FCrossRoads = std::max(1, FFullWidth / RoadSpacing);
  }

  std::int32_t Width() const { return FWidth; }
  std::int32_t Height() const { return FHeight; }

  void RenderRow(std::int32_t Y, std::uint8_t* Out) {
    const std::int32_t Wy = Y * FScale;
    std::fill(FHeight01.begin(), FHeight01.end(), 0.0f);
    for (int O = 0; O < OctaveCount; ++O) {
      const std::int32_t Cell = Octaves[O].Cell;
      const std::int32_t Cy = Wy / Cell;
      const float Sy = Smooth(float(Wy % Cell) / float(Cell));
      const std::uint32_t Seed = FSeed + 101u * static_cast<std::uint32_t>(O);
      std::vector<float>& Col = FColumns[O];
      for (std::size_t Cx = 0; Cx < Col.size(); ++Cx) {
        const float A = Lattice(static_cast<std::int32_t>(Cx), Cy, Seed);
        const float B = Lattice(static_cast<std::int32_t>(Cx), Cy + 1, Seed);
        Col[Cx] = Octaves[O].Amplitude * (A + (B - A) * Sy);
      }
      const std::int32_t* Idx = FCellIndex[O].data();
      const float* T = FCellWeight[O].data();
      for (std::int32_t X = 0; X < FWidth; ++X) {
        const float A = Col[static_cast<std::size_t>(Idx[X])];
        const float B = Col[static_cast<std::size_t>(Idx[X]) + 1];
        FHeight01[static_cast<std::size_t>(X)] += A + (B - A) * T[X];
      }
    }
    for (std::int32_t X = 0; X < FWidth; ++X)
      Out[X] = GroundIndex(FHeight01[static_cast<std::size_t>(X)]);

    // Roads running across the map.
    for (std::int32_t K = 0; K < FRoads; ++K) {
      const float Centre = RoadCentre(K, FFullHeight, FRoads);
      if (std::fabs(float(Wy) - Centre) > MaxRoadWiggle + RoadHalfWidth) continue;
      for (std::int32_t X = 0; X < FWidth; ++X) {
        const float D = float(Wy) - Centre - FRoadOffset[static_cast<std::size_t>(X)];
        if (std::fabs(D) <= RoadHalfWidth && IsLand(Out[X])) Out[X] = RoadColour(K);
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
        const std::int32_t First =
            std::max(0, static_cast<std::int32_t>(std::ceil((CxTown - TownHalfSize) / FScale)));
        const std::int32_t Last = std::min(
            FWidth - 1, static_cast<std::int32_t>(std::floor((CxTown + TownHalfSize) / FScale)));
        const bool Street = (Wy / 8) % 3 == 0;
        for (std::int32_t X = First; X <= Last; ++X) {
          if (!IsLand(Out[X])) continue;
          const std::int32_t Wx = X * FScale;
          Out[X] = Street || (Wx / 8) % 3 == 0
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
    const std::int32_t First = std::max(0, static_cast<std::int32_t>(std::ceil(From / FScale)));
    const std::int32_t Last =
        std::min(FWidth - 1, static_cast<std::int32_t>(std::floor(To / FScale)));
    for (std::int32_t X = First; X <= Last; ++X) {
      if (IsLand(Out[X])) Out[X] = Colour;
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
  const int FacetIndex = F < FacetCount ? F : 0;
  const int Shift = S < MapScaleCount ? S : 0;
  Width = FullWidth[FacetIndex] >> Shift;
  Height = FullHeight[FacetIndex] >> Shift;
}

const std::array<RGBQUAD, 256>& SamplePalette() {
  static const std::array<RGBQUAD, 256> Palette = MakePalette();
  return Palette;
}

std::vector<std::uint8_t> BuildSampleMapFile(Facet F, MapScale S) {
  TSampleRenderer Renderer(F, S);
  const std::int32_t W = Renderer.Width();
  const std::int32_t H = Renderer.Height();
  const std::uint32_t PixelBytes = static_cast<std::uint32_t>(W) * static_cast<std::uint32_t>(H);
  std::vector<std::uint8_t> File(HeaderBytes + PixelBytes);
  std::uint8_t* P = File.data();
  PutLE16(P + 0, 0x4D42);  // "BM"
  PutLE32(P + 2, static_cast<std::uint32_t>(File.size()));
  PutLE32(P + 10, HeaderBytes);
  PutLE32(P + 14, 40);
  PutLE32(P + 18, static_cast<std::uint32_t>(W));
  PutLE32(P + 22, static_cast<std::uint32_t>(H));
  PutLE16(P + 26, 1);
  PutLE16(P + 28, 8);
  PutLE32(P + 30, 0);  // uncompressed
  PutLE32(P + 34, PixelBytes);
  PutLE32(P + 38, 2835);  // 72 dpi
  PutLE32(P + 42, 2835);
  PutLE32(P + 46, 256);
  PutLE32(P + 50, 0);
  std::memcpy(P + 54, SamplePalette().data(), 256 * sizeof(RGBQUAD));
  for (std::int32_t Y = 0; Y < H; ++Y) {
    // Bottom-up: the top row is stored last.
    Renderer.RenderRow(
        Y, P + HeaderBytes + static_cast<std::size_t>(H - 1 - Y) * static_cast<std::size_t>(W));
  }
  return File;
}

std::vector<std::string> SampleMapNames(const std::string& Folder) {
  std::vector<std::string> Names;
  for (Facet F = 0; F < FacetCount; ++F) {
    for (MapScale S = 0; S < MapScaleCount; ++S)
      Names.push_back(GetBaseFileName(Folder, F, mtNormal, S));
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
  for (Facet F = 0; F < FacetCount; ++F) {
    for (MapScale S = 0; S < MapScaleCount; ++S) Names.push_back(WriteSampleMap(Folder, F, S));
  }
  return Names;
}
