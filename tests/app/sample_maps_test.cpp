// The built-in sample folder: real names and sizes, 8-bit files with map-like content.

#include "app/core/sample_maps.h"

#include <gtest/gtest.h>

#include <array>
#include <ostream>
#include <string>
#include <vector>

#include "app/core/repair.h"
#include "support/temp_dir.h"

namespace {

std::uint32_t Le32(const std::vector<std::uint8_t>& F, std::size_t At) {
  return F[At] | F[At + 1] << 8 | F[At + 2] << 16 | std::uint32_t(F[At + 3]) << 24;
}

struct TSizeCase {
  Facet F;
  MapScale S;
  std::int32_t Width, Height;
};
void PrintTo(const TSizeCase& C, std::ostream* Os) {
  *Os << C.Width << "x" << C.Height;
}

class SampleMapSizeTest : public ::testing::TestWithParam<TSizeCase> {};

TEST_P(SampleMapSizeTest, HasTheRealSizeAsAnUnpaddedEightBitFile) {
  const TSizeCase& P = GetParam();
  const std::vector<std::uint8_t> File = BuildSampleMapFile(P.F, P.S);
  ASSERT_EQ(File.size(), 1078u + std::size_t(P.Width) * std::size_t(P.Height));
  EXPECT_EQ(File[0], 'B');
  EXPECT_EQ(File[1], 'M');
  EXPECT_EQ(Le32(File, 2), File.size());
  EXPECT_EQ(Le32(File, 10), 1078u);
  EXPECT_EQ(Le32(File, 14), 40u);
  EXPECT_EQ(static_cast<std::int32_t>(Le32(File, 18)), P.Width);
  EXPECT_EQ(static_cast<std::int32_t>(Le32(File, 22)), P.Height);  // positive: bottom-up
  EXPECT_EQ(File[28], 8);
  EXPECT_EQ(Le32(File, 30), 0u);
  EXPECT_EQ(Le32(File, 46), 256u);
  if (P.S == msFull) {
    // The automap names its full-size base maps after their file sizes.
    EXPECT_EQ(std::to_string(File.size()), BaseMapKeys[P.F]);
  }
}

INSTANTIATE_TEST_SUITE_P(AllTwelve, SampleMapSizeTest,
                         ::testing::ValuesIn(std::vector<TSizeCase>{
                             {fcFeluccaTrammel, msFull, 6144, 4096},
                             {fcFeluccaTrammel, msHalf, 3072, 2048},
                             {fcFeluccaTrammel, msQuarter, 1536, 1024},
                             {fcIlshenar, msFull, 2304, 1600},
                             {fcIlshenar, msHalf, 1152, 800},
                             {fcIlshenar, msQuarter, 576, 400},
                             {fcMalas, msFull, 2560, 2048},
                             {fcMalas, msHalf, 1280, 1024},
                             {fcMalas, msQuarter, 640, 512},
                             {fcTokuno, msFull, 1448, 1448},
                             {fcTokuno, msHalf, 724, 724},
                             {fcTokuno, msQuarter, 362, 362}}));

TEST(SampleMapsTest, TheZoomLevelsShowTheSameWorld) {
  const std::vector<std::uint8_t> Full = BuildSampleMapFile(fcTokuno, msFull);
  const std::vector<std::uint8_t> Quarter = BuildSampleMapFile(fcTokuno, msQuarter);
  auto At = [](const std::vector<std::uint8_t>& F, int W, int H, int X, int Y) {
    return F[1078 + std::size_t(H - 1 - Y) * std::size_t(W) + std::size_t(X)];
  };
  int Same = 0;
  for (int Y = 0; Y < 362; ++Y) {
    for (int X = 0; X < 362; ++X)
      Same += At(Quarter, 362, 362, X, Y) == At(Full, 1448, 1448, 4 * X, 4 * Y);
  }
  EXPECT_EQ(Same, 362 * 362);
  EXPECT_EQ(BuildSampleMapFile(fcTokuno, msQuarter), Quarter);  // deterministic
}

TEST(SampleMapsTest, HasWaterLandAndRoads) {
  const std::vector<std::uint8_t> File = BuildSampleMapFile(fcFeluccaTrammel, msQuarter);
  std::array<std::size_t, 256> Counts{};
  for (std::size_t I = 1078; I < File.size(); ++I) ++Counts[File[I]];
  auto Share = [&](int First, int Last) {
    std::size_t N = 0;
    for (int I = First; I <= Last; ++I) N += Counts[static_cast<std::size_t>(I)];
    return double(N) / double(File.size() - 1078);
  };
  EXPECT_GT(Share(0, 47), 0.15);      // water
  EXPECT_GT(Share(56, 159), 0.15);    // land
  EXPECT_GT(Share(192, 199), 0.002);  // roads
  // Water is blue, land is not.
  const std::array<RGBQUAD, 256>& P = SamplePalette();
  EXPECT_GT(P[10].rgbBlue, P[10].rgbRed);
  EXPECT_GT(P[80].rgbGreen, P[80].rgbBlue);
}

TEST(SampleMapsTest, OnlyTheQuarterTokunoFileIsReportedByTheSizeCheck) {
  testsupport::TTempDir Dir;
  const std::vector<std::string> Names = WriteSampleMaps(Dir.Path().string());
  ASSERT_EQ(Names.size(), 12u);
  for (std::size_t I = 0; I < Names.size(); ++I) {
    EXPECT_EQ(CheckBitmap(Names[I]), I == 11) << Names[I];
  }
  EXPECT_EQ(Names[11], Dir.File("MAP2097782-4.BMP"));
}

}  // namespace
