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

std::uint32_t Le32(const std::vector<std::uint8_t>& f, std::size_t at) {
  return f[at] | f[at + 1] << 8 | f[at + 2] << 16 | std::uint32_t(f[at + 3]) << 24;
}

struct SizeCase {
  Facet f;
  MapScale s;
  std::int32_t width, height;
};
void PrintTo(const SizeCase& c, std::ostream* os) {
  *os << c.width << "x" << c.height;
}

class SampleMapSizeTest : public ::testing::TestWithParam<SizeCase> {};

TEST_P(SampleMapSizeTest, HasTheRealSizeAsAnUnpaddedEightBitFile) {
  const SizeCase& p = GetParam();
  const std::vector<std::uint8_t> file = BuildSampleMapFile(p.f, p.s);
  ASSERT_EQ(file.size(), 1078u + std::size_t(p.width) * std::size_t(p.height));
  EXPECT_EQ(file[0], 'B');
  EXPECT_EQ(file[1], 'M');
  EXPECT_EQ(Le32(file, 2), file.size());
  EXPECT_EQ(Le32(file, 10), 1078u);
  EXPECT_EQ(Le32(file, 14), 40u);
  EXPECT_EQ(static_cast<std::int32_t>(Le32(file, 18)), p.width);
  EXPECT_EQ(static_cast<std::int32_t>(Le32(file, 22)), p.height);  // positive: bottom-up
  EXPECT_EQ(file[28], 8);
  EXPECT_EQ(Le32(file, 30), 0u);
  EXPECT_EQ(Le32(file, 46), 256u);
  if (p.s == msFull) {
    // The automap names its full-size base maps after their file sizes.
    EXPECT_EQ(std::to_string(file.size()), BaseMapKeys[p.f]);
  }
}

INSTANTIATE_TEST_SUITE_P(AllTwelve, SampleMapSizeTest,
                         ::testing::ValuesIn(std::vector<SizeCase>{
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
  const std::vector<std::uint8_t> full = BuildSampleMapFile(fcTokuno, msFull);
  const std::vector<std::uint8_t> quarter = BuildSampleMapFile(fcTokuno, msQuarter);
  auto at = [](const std::vector<std::uint8_t>& f, int w, int h, int x, int y) {
    return f[1078 + std::size_t(h - 1 - y) * std::size_t(w) + std::size_t(x)];
  };
  int same = 0;
  for (int y = 0; y < 362; ++y) {
    for (int x = 0; x < 362; ++x)
      same += at(quarter, 362, 362, x, y) == at(full, 1448, 1448, 4 * x, 4 * y);
  }
  EXPECT_EQ(same, 362 * 362);
  EXPECT_EQ(BuildSampleMapFile(fcTokuno, msQuarter), quarter);  // deterministic
}

TEST(SampleMapsTest, HasWaterLandAndRoads) {
  const std::vector<std::uint8_t> file = BuildSampleMapFile(fcFeluccaTrammel, msQuarter);
  std::array<std::size_t, 256> counts{};
  for (std::size_t i = 1078; i < file.size(); ++i) ++counts[file[i]];
  auto share = [&](int first, int last) {
    std::size_t n = 0;
    for (int i = first; i <= last; ++i) n += counts[static_cast<std::size_t>(i)];
    return double(n) / double(file.size() - 1078);
  };
  EXPECT_GT(share(0, 47), 0.15);      // water
  EXPECT_GT(share(56, 159), 0.15);    // land
  EXPECT_GT(share(192, 199), 0.002);  // roads
  // Water is blue, land is not.
  const std::array<RGBQUAD, 256>& p = SamplePalette();
  EXPECT_GT(p[10].rgbBlue, p[10].rgbRed);
  EXPECT_GT(p[80].rgbGreen, p[80].rgbBlue);
}

TEST(SampleMapsTest, OnlyTheQuarterTokunoFileIsReportedByTheSizeCheck) {
  testsupport::TempDir dir;
  const std::vector<std::string> names = WriteSampleMaps(dir.path().string());
  ASSERT_EQ(names.size(), 12u);
  for (std::size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(CheckBitmap(names[i]), i == 11) << names[i];
  }
  EXPECT_EQ(names[11], dir.file("MAP2097782-4.BMP"));
}

}  // namespace
