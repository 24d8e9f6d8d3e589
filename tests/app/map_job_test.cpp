// The run and the map job on small real BMP files in a fresh folder per test.

#include "app/core/map_job.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "app/core/job_precheck.h"
#include "app/core/restore.h"
#include "bigbitmap/bigbitmap.h"
#include "platform/exceptions.h"
#include "platform/files.h"
#include "platform/streams.h"
#include "support/bmp_builder.h"
#include "support/temp_dir.h"
#include "support/test_watchdog.h"

namespace {

using testsupport::BmpLayout;
using testsupport::BuildBmp;
using testsupport::DibStride;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;
using testsupport::FileNames;
using testsupport::Snapshot;

using Bytes = std::vector<std::uint8_t>;

struct Rgb {
  std::uint8_t r, g, b;
  bool operator==(const Rgb&) const = default;
};

// A bottom-up 24-bit file with rows padded to 4 bytes.
Bytes Bmp24(std::int32_t w, std::int32_t h, const std::function<Rgb(int, int)>& Pixel) {
  BmpLayout bmp;
  bmp.width = w;
  bmp.height = h;
  bmp.bit_count = 24;
  const std::int32_t stride = DibStride(w, 24);
  bmp.pixels.assign(static_cast<std::size_t>(stride * h), 0);
  for (int y = 0; y < h; ++y) {
    std::uint8_t* row = bmp.pixels.data() + static_cast<std::size_t>((h - 1 - y) * stride);
    for (int x = 0; x < w; ++x) {
      const Rgb c = Pixel(x, y);
      row[3 * x] = c.b;
      row[3 * x + 1] = c.g;
      row[3 * x + 2] = c.r;
    }
  }
  return BuildBmp(bmp);
}

// A bottom-up 8-bit file; Padded false stores the rows back to back.
Bytes Bmp8(std::int32_t w, std::int32_t h, const std::vector<Rgb>& Palette,
           const std::function<std::uint8_t(int, int)>& Index, bool Padded = true) {
  BmpLayout bmp;
  bmp.width = w;
  bmp.height = h;
  bmp.bit_count = 8;
  for (const Rgb& c : Palette) bmp.colors.insert(bmp.colors.end(), {c.b, c.g, c.r, 0});
  bmp.clr_used = static_cast<std::uint32_t>(Palette.size());
  const std::int32_t stride = Padded ? DibStride(w, 8) : w;
  bmp.pixels.assign(static_cast<std::size_t>(stride * h), 0);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      bmp.pixels[static_cast<std::size_t>((h - 1 - y) * stride + x)] = Index(x, y);
    }
  }
  return BuildBmp(bmp);
}

// Reads back what the job saved: an uncompressed, bottom-up BMP.
struct TSavedBmp {
  explicit TSavedBmp(const Bytes& File) : file(File) {
    off = Le32(10);
    width = static_cast<std::int32_t>(Le32(18));
    height = static_cast<std::int32_t>(Le32(22));
    bits = file[28] | file[29] << 8;
    stride = DibStride(width, bits);
  }
  std::uint32_t Le32(std::size_t at) const {
    return file[at] | file[at + 1] << 8 | file[at + 2] << 16 | std::uint32_t(file[at + 3]) << 24;
  }
  const std::uint8_t* Row(int y) const { return file.data() + off + (height - 1 - y) * stride; }
  Rgb Pixel24(int x, int y) const {
    return Rgb{Row(y)[3 * x + 2], Row(y)[3 * x + 1], Row(y)[3 * x]};
  }
  std::uint8_t Index(int x, int y) const { return Row(y)[x]; }

  Bytes file;
  std::uint32_t off;
  std::int32_t width, height, stride;
  int bits;
};

// A host that records every status text and lets a test act between pixel rows.
class TFakeHost : public TJobHost {
 public:
  explicit TFakeHost(std::string Folder) : folder(std::move(Folder)) {}

  void Tick(Facet F, MapScale S, bool On = true) {
    enabled[F][S] = On;
    checked[F][S] = On;
  }
  // Map jobs started so far (each shows its check text once).
  int JobsStarted() const {
    int n = 0;
    for (const std::string& t : log) n += t.ends_with(" : check bitmap") ? 1 : 0;
    return n;
  }
  // The last status text (the holds of the session's end are not texts).
  std::string LastText() const {
    for (auto t = log.rbegin(); t != log.rend(); ++t) {
      if (*t != "hold" && *t != "free") return t->substr(4);
    }
    return "";
  }

  std::string GetMapFolder() override { return folder; }
  bool MapBoxEnabled(Facet F, MapScale S) override { return enabled[F][S]; }
  bool MapBoxChecked(Facet F, MapScale S) override { return checked[F][S]; }
  MapType GetBaseMapType() override { return base; }
  MapType GetTrgMapType() override { return target; }
  bool GetCanceled() override { return canceled; }
  void SetCanceled(bool Value) override { canceled = Value; }
  bool GetClosing() override { return closing; }
  void SetRunning(bool Running) override { running.push_back(Running); }
  void ShowStatus(const std::string& Text) override { log.push_back("show" + Text); }
  void SetStatusText(const std::string& Text) override { log.push_back("set " + Text); }
  void FinishingMap(bool Begun) override { log.push_back(Begun ? "hold" : "free"); }
  void Repaint() override {}
  void ProcessMessages() override {
    ++rows;
    if (onRow) onRow(*this);
  }

  std::string folder;
  MapType base = mtNormal;
  MapType target = mtXRay;
  bool enabled[FacetCount][MapScaleCount] = {};
  bool checked[FacetCount][MapScaleCount] = {};
  bool canceled = false;
  bool closing = false;
  std::vector<bool> running;
  std::vector<std::string> log;
  int rows = 0;
  std::function<void(TFakeHost&)> onRow;
};


class MapJobTest : public ::testing::Test {
 protected:
  TempDir dir;
  TFakeHost host{dir.path().string()};

  std::string Base(Facet F, MapScale S, MapType T = mtNormal) const {
    return GetBaseFileName(host.folder, F, T, S);
  }
  std::string Target(Facet F, MapScale S, MapType T = mtXRay) const {
    std::string main, second;
    GetTrgFileNames(host.folder, F, T, S, main, second);
    return main;
  }
  // A small grey 24-bit base map for a world and zoom level.
  void PutBase(Facet F, MapScale S, int W = 9, int H = 6) {
    WriteFileBytes(Base(F, S), Bmp24(W, H, [](int x, int y) {
                     const auto v = static_cast<std::uint8_t>(10 * x + 7 * y);
                     return Rgb{v, v, v};
                   }));
  }
};

// ---- the little functions -------------------------------------------------------------------

struct BlendCase {
  std::uint8_t c, w, expected;
};
void PrintTo(const BlendCase& c, std::ostream* os) {
  *os << int(c.c) << "," << int(c.w) << " -> " << int(c.expected);
}

class BlendChannelTest : public ::testing::TestWithParam<BlendCase> {};

TEST_P(BlendChannelTest, GivesSixtyPercentOfTheChannelAndFortyOfTheSecondValue) {
  EXPECT_EQ(BlendChannel(GetParam().c, GetParam().w), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, BlendChannelTest,
    ::testing::ValuesIn(std::vector<BlendCase>{
        {0, 255, 102}, {100, 255, 162}, {255, 255, 255}, {1, 255, 102}, {255, 0, 153}, {9, 0, 5}}));

TEST(GridStepTest, IsEightFullSizePixelsAtEveryZoomLevel) {
  EXPECT_EQ(GridStep(msFull), 8);
  EXPECT_EQ(GridStep(msHalf), 4);
  EXPECT_EQ(GridStep(msQuarter), 2);
  EXPECT_EQ(GridStep(3), 8);
  EXPECT_EQ(GridStep(255), 8);
}

TEST(BackupFileTest, BacksUpOnceAndNeverReplacesAnExistingBackup) {
  TempDir dir;
  const std::string target = dir.file("MAP0-X1.BMP");
  WriteFileBytes(target, {1});
  BackupFile(target);
  // The target keeps its name until the save replaces it: it is never missing.
  EXPECT_EQ(ReadFileBytes(target), Bytes{1});
  EXPECT_EQ(ReadFileBytes(dir.file("MAP0-X1.OLD")), Bytes{1});

  WriteFileReplacing(target, [](TStream& Stream) { Stream.WriteBuffer("\x02", 1); });
  BackupFile(target);
  EXPECT_EQ(ReadFileBytes(target), Bytes{2});
  EXPECT_EQ(ReadFileBytes(dir.file("MAP0-X1.OLD")), Bytes{1});

  BackupFile(dir.file("missing.BMP"));  // nothing to rename: no error, no file
  EXPECT_FALSE(std::filesystem::exists(dir.file("missing.OLD")));

  WriteFileBytes(dir.file("noext"), {3});
  BackupFile(dir.file("noext"));
  EXPECT_EQ(ReadFileBytes(dir.file("noext.OLD")), Bytes{3});
}

// ---- the grid -------------------------------------------------------------------------------

struct GridCase {
  const char* name;
  MapScale scale;
  int step;
  int width, height;
};
void PrintTo(const GridCase& c, std::ostream* os) {
  *os << c.name;
}

class GridTest : public MapJobTest, public ::testing::WithParamInterface<GridCase> {};

TEST_P(GridTest, BlendsEveryGridRowAndColumnPixelExactlyOnceAndNothingElse) {
  const GridCase& p = GetParam();
  // Each colour and its blend with 40 % white, channel by channel (60 % c + 102, rounded down).
  struct TColour {
    Rgb plain, white;
  };
  static const TColour kColours[] = {{{0, 100, 255}, {102, 162, 255}},
                                     {{1, 9, 200}, {102, 107, 222}},
                                     {{50, 77, 130}, {132, 148, 180}}};
  auto colour = [](int x, int y) { return kColours[(x + 2 * y) % 3]; };
  WriteFileBytes(Base(fcMalas, p.scale),
                 Bmp24(p.width, p.height, [&](int x, int y) { return colour(x, y).plain; }));
  host.Tick(fcMalas, p.scale);
  MakeRun(host);

  const TSavedBmp out(ReadFileBytes(Target(fcMalas, p.scale)));
  ASSERT_EQ(out.bits, 24);
  ASSERT_EQ(out.width, p.width);
  ASSERT_EQ(out.height, p.height);
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) {
      const bool grid = y % p.step == 0 || x % p.step == 0;
      const Rgb want = grid ? colour(x, y).white : colour(x, y).plain;
      ASSERT_EQ(out.Pixel24(x, y), want) << "pixel " << x << "," << y;
    }
  }
  const char* const MalasNames[MapScaleCount] = {" マラス 等倍", " マラス 1/2", " マラス 1/4"};
  EXPECT_EQ(host.log[host.log.size() - 6],
            std::string("set ") + MalasNames[p.scale] + " : drawing[100%]");
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, GridTest,
    ::testing::ValuesIn(std::vector<GridCase>{
        // columns 0, 4, 8; column 9 only in grid rows
        {"WidthNotAMultipleOfTheStep", msHalf, 4, 10, 5},
        {"WidthAMultipleOfTheStep", msHalf, 4, 12, 9},  // last grid column 8 = W - step
        {"HeightOne", msFull, 8, 17, 1},                // the single row is a grid row
        {"QuarterSize", msQuarter, 2, 5, 4},
        {"FullSize", msFull, 8, 24, 17}}),
    [](const ::testing::TestParamInfo<GridCase>& info) { return std::string(info.param.name); });

TEST_F(MapJobTest, ReducesThePaletteMapOntoItsOwnColourTable) {
  // Entries 2 and 3 are exactly the whitened forms of 0 and 1; entry 4 repeats entry 2, so the
  // lowest index wins.
  const std::vector<Rgb> palette{
      {0, 0, 0}, {100, 0, 255}, {102, 102, 102}, {162, 102, 255}, {102, 102, 102}};
  const std::string base = Base(fcIlshenar, msQuarter);
  WriteFileBytes(base,
                 Bmp8(7, 5, palette, [](int x, int) { return static_cast<std::uint8_t>(x % 2); }));
  host.Tick(fcIlshenar, msQuarter);
  MakeRun(host);

  const TSavedBmp out(ReadFileBytes(Target(fcIlshenar, msQuarter)));
  ASSERT_EQ(out.bits, 8);
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 7; ++x) {
      const bool grid = y % 2 == 0 || x % 2 == 0;
      ASSERT_EQ(out.Index(x, y), (grid ? 2 : 0) + x % 2) << x << "," << y;
    }
  }
  // The colour table is the map's own.
  const TSavedBmp in(ReadFileBytes(base));
  EXPECT_TRUE(
      std::equal(in.file.begin() + 54, in.file.begin() + 54 + 5 * 4, out.file.begin() + 54));
}

// ---- status texts, the run and its flags --------------------------------------------------

TEST_F(MapJobTest, ShowsTheJobStatusTextsInOrder) {
  PutBase(fcTokuno, msHalf, 6, 3);
  host.Tick(fcTokuno, msHalf);
  MakeRun(host);
  const std::string n = " 徳之島 1/2";
  EXPECT_EQ(host.log, (std::vector<std::string>{
                          "show" + n, "show" + n + " : check bitmap", "show" + n + " : loading",
                          "set " + n + " : drawing[33%]", "set " + n + " : drawing[66%]",
                          "set " + n + " : drawing[100%]", "hold", "show" + n + " : 減色中",
                          "show" + n + " : saving", "free", "set  完了しました"}));
  EXPECT_EQ(host.rows, 3);
  EXPECT_EQ(host.running, (std::vector<bool>{true, false}));
}

TEST_F(MapJobTest, RepairsAReportedBaseFileBeforeLoadingIt) {
  // 5 pixels a row stored without padding: the check reports it.
  const std::vector<Rgb> palette{{0, 0, 0}, {102, 102, 102}, {50, 60, 70}, {132, 138, 144}};
  const std::string base = Base(fcTokuno, msQuarter);
  WriteFileBytes(base, Bmp8(
                           5, 3, palette, [](int, int) { return std::uint8_t{2}; }, false));
  host.Tick(fcTokuno, msQuarter);
  MakeRun(host);

  ASSERT_GE(host.log.size(), 4u);
  EXPECT_EQ(host.log[2], "show 徳之島 1/4 : fixed illegal format");
  EXPECT_EQ(host.log[3], "show 徳之島 1/4 : loading");
  EXPECT_TRUE(std::filesystem::exists(dir.file("MAP2097782-4_BAD_DATA.BMP")));
  const TSavedBmp out(ReadFileBytes(Target(fcTokuno, msQuarter)));
  ASSERT_EQ(out.width, 5);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 5; ++x) ASSERT_EQ(out.Index(x, y), (y % 2 == 0 || x % 2 == 0) ? 3 : 2);
  }
}

TEST_F(MapJobTest, CancelDuringTheSecondOfThreeMapsSavesOnlyTheFirst) {
  for (MapScale s = 0; s < MapScaleCount; ++s) {
    PutBase(fcIlshenar, s);
    host.Tick(fcIlshenar, s);
  }
  host.onRow = [](TFakeHost& h) {
    if (h.JobsStarted() == 2) h.canceled = true;
  };
  MakeRun(host);
  EXPECT_TRUE(std::filesystem::exists(Target(fcIlshenar, msFull)));
  EXPECT_FALSE(std::filesystem::exists(Target(fcIlshenar, msHalf)));
  EXPECT_FALSE(std::filesystem::exists(Target(fcIlshenar, msQuarter)));
  EXPECT_EQ(host.JobsStarted(), 2);
  EXPECT_EQ(host.LastText(), " 中止しました");
  EXPECT_EQ(host.running.back(), false);
}

TEST_F(MapJobTest, ACloseRequestStopsAfterTheRowWithoutAFinalText) {
  PutBase(fcMalas, msFull);
  PutBase(fcMalas, msHalf);
  host.Tick(fcMalas, msFull);
  host.Tick(fcMalas, msHalf);
  host.onRow = [](TFakeHost& h) {
    if (h.rows == 2) h.closing = true;
  };
  MakeRun(host);
  EXPECT_EQ(host.rows, 2);
  EXPECT_EQ(host.JobsStarted(), 1);
  EXPECT_FALSE(std::filesystem::exists(Target(fcMalas, msFull)));
  EXPECT_FALSE(std::filesystem::exists(Target(fcMalas, msHalf)));
  EXPECT_EQ(host.LastText(), " マラス 等倍 : drawing[33%]");
  EXPECT_EQ(std::count(host.log.begin(), host.log.end(), "hold"), 0);
}

TEST_F(MapJobTest, CancelClearedAtTheStartOfARun) {
  PutBase(fcMalas, msQuarter);
  host.Tick(fcMalas, msQuarter);
  host.canceled = true;
  MakeRun(host);
  EXPECT_EQ(host.LastText(), " 完了しました");
}

TEST_F(MapJobTest, ARunWithNothingEnabledAndTickedChangesNoFileAndSetsNoText) {
  PutBase(fcFeluccaTrammel, msFull);
  PutBase(fcIlshenar, msHalf);
  WriteFileBytes(Target(fcIlshenar, msHalf), {7, 7});
  host.enabled[fcFeluccaTrammel][msFull] = true;  // enabled, not ticked
  host.checked[fcIlshenar][msHalf] = true;        // ticked, not enabled
  const auto before = Snapshot(dir);
  MakeRun(host);
  EXPECT_EQ(Snapshot(dir), before);
  EXPECT_TRUE(host.log.empty());
  EXPECT_EQ(host.running, (std::vector<bool>{true, false}));
}

TEST_F(MapJobTest, BoxesAreReadWhenTheLoopReachesThem) {
  PutBase(fcIlshenar, msFull);
  PutBase(fcMalas, msFull);
  PutBase(fcTokuno, msFull);
  host.Tick(fcIlshenar, msFull);
  host.Tick(fcMalas, msFull);
  host.enabled[fcTokuno][msFull] = true;
  host.onRow = [](TFakeHost& h) {  // during the first job: untick Malas, tick Tokuno
    h.checked[fcMalas][msFull] = false;
    h.checked[fcTokuno][msFull] = true;
  };
  MakeRun(host);
  EXPECT_TRUE(std::filesystem::exists(Target(fcIlshenar, msFull)));
  EXPECT_FALSE(std::filesystem::exists(Target(fcMalas, msFull)));
  EXPECT_TRUE(std::filesystem::exists(Target(fcTokuno, msFull)));
}

TEST_F(MapJobTest, ReadsTheBaseTypeAtTheJobStartAndTheTargetTypeAtItsSavingStep) {
  PutBase(fcMalas, msFull, 9, 6);
  WriteFileBytes(Base(fcMalas, msHalf, mtNoStatics), Bmp24(4, 4, [](int, int) {
                   return Rgb{1, 2, 3};
                 }));
  host.Tick(fcMalas, msFull);
  host.Tick(fcMalas, msHalf);
  host.onRow = [](TFakeHost& h) {
    h.base = mtNoStatics;  // too late for the running job, in time for the next
    h.target = mtNormal;   // in time for the running job's saving step
  };
  MakeRun(host);
  EXPECT_EQ(TSavedBmp(ReadFileBytes(Target(fcMalas, msFull, mtNormal))).width, 9);
  EXPECT_EQ(TSavedBmp(ReadFileBytes(Target(fcMalas, msHalf, mtNormal))).width, 4);
  EXPECT_FALSE(std::filesystem::exists(Target(fcMalas, msFull, mtXRay)));
}

// ---- saving ---------------------------------------------------------------------------------

TEST_F(MapJobTest, KeepsTheFirstBackupForeverAndCreatesAMissingTargetWithoutOne) {
  PutBase(fcIlshenar, msFull);
  PutBase(fcMalas, msFull);
  WriteFileBytes(Target(fcIlshenar, msFull), {1, 2, 3});
  host.Tick(fcIlshenar, msFull);
  host.Tick(fcMalas, msFull);
  MakeRun(host);
  const Bytes result = ReadFileBytes(Target(fcIlshenar, msFull));
  EXPECT_EQ(ReadFileBytes(dir.file("MAP2-X1.OLD")), (Bytes{1, 2, 3}));
  EXPECT_FALSE(std::filesystem::exists(dir.file("MAP3-X1.OLD")));
  EXPECT_TRUE(std::filesystem::exists(Target(fcMalas, msFull)));

  MakeRun(host);  // the second run overwrites the targets and keeps the first backups
  EXPECT_EQ(ReadFileBytes(dir.file("MAP2-X1.OLD")), (Bytes{1, 2, 3}));
  EXPECT_EQ(ReadFileBytes(Target(fcIlshenar, msFull)), result);
  EXPECT_EQ(ReadFileBytes(dir.file("MAP3-X1.OLD")), ReadFileBytes(Target(fcMalas, msFull)));
  EXPECT_EQ(FileNames(dir),
            (std::vector<std::string>{"MAP2-X1.BMP", "MAP2-X1.OLD", "MAP3-X1.BMP", "MAP3-X1.OLD",
                                      "MAP3687478-1.BMP", "MAP5243958-1.BMP"}));
}

TEST_F(MapJobTest, SavesFeluccaAndTrammelTwiceEachWithItsOwnBackup) {
  PutBase(fcFeluccaTrammel, msHalf);
  WriteFileBytes(dir.file("MAP0-X2.BMP"), {0});
  WriteFileBytes(dir.file("MAP1-X2.BMP"), {1});
  host.Tick(fcFeluccaTrammel, msHalf);
  MakeRun(host);
  EXPECT_EQ(ReadFileBytes(dir.file("MAP0-X2.OLD")), Bytes{0});
  EXPECT_EQ(ReadFileBytes(dir.file("MAP1-X2.OLD")), Bytes{1});
  const Bytes main = ReadFileBytes(dir.file("MAP0-X2.BMP"));
  EXPECT_EQ(TSavedBmp(main).width, 9);
  EXPECT_EQ(ReadFileBytes(dir.file("MAP1-X2.BMP")), main);
}

TEST_F(MapJobTest, ASecondTargetThatCannotBeReplacedIsNamedWithTheOneThatWasSaved) {
  PutBase(fcFeluccaTrammel, msHalf);
  WriteFileBytes(dir.file("MAP0-X2.BMP"), {0});
  std::filesystem::create_directory(dir.path() / "MAP1-X2.BMP");  // no file can take that name
  host.Tick(fcFeluccaTrammel, msHalf);
  try {
    MakeRun(host);
    FAIL() << "the second target cannot have been saved";
  } catch (const EMapJobError& e) {
    const std::string message = e.what();
    EXPECT_EQ(message.rfind("MapJob: " + dir.file("MAP0-X2.BMP") + " was saved, " +
                                dir.file("MAP1-X2.BMP") + " was not: ",
                            0),
              0u)
        << message;
  }
  EXPECT_EQ(ReadFileBytes(dir.file("MAP0-X2.OLD")), Bytes{0});
  EXPECT_EQ(TSavedBmp(ReadFileBytes(dir.file("MAP0-X2.BMP"))).width, 9);
  EXPECT_EQ(FileNames(dir), (std::vector<std::string>{"MAP0-X2.BMP", "MAP0-X2.OLD", "MAP1-X2.BMP",
                                                      "MAP25166902-2.BMP"}));
  EXPECT_EQ(host.log.back(), "free");  // the end of the session no longer waits
}

TEST_F(MapJobTest, AFailingJobEndsTheRunAndLeavesEveryTargetAsItWas) {
  PutBase(fcIlshenar, msFull);
  WriteFileBytes(Base(fcMalas, msFull), Bytes(60, 'x'));  // not a bitmap
  PutBase(fcTokuno, msFull);
  WriteFileBytes(Target(fcMalas, msFull), {5});
  for (Facet f : {fcIlshenar, fcMalas, fcTokuno}) host.Tick(f, msFull);
  EXPECT_THROW(MakeRun(host), Exception);
  EXPECT_TRUE(std::filesystem::exists(Target(fcIlshenar, msFull)));
  EXPECT_EQ(ReadFileBytes(Target(fcMalas, msFull)), Bytes{5});
  EXPECT_FALSE(std::filesystem::exists(dir.file("MAP3-X1.OLD")));
  EXPECT_FALSE(std::filesystem::exists(Target(fcTokuno, msFull)));
  EXPECT_EQ(host.running, (std::vector<bool>{true, false}));
  EXPECT_EQ(host.LastText(), " マラス 等倍 : loading");
  EXPECT_EQ(FileNames(dir).size(), 5u);  // no temporary file left behind
}

TEST_F(MapJobTest, ARunOnAFolderThatAnotherRunHoldsFailsBeforeChangingAnything) {
  testsupport::LimitThisTest(std::chrono::seconds(10));  // a busy lock is never waited for
  PutBase(fcIlshenar, msFull);
  const auto before = Snapshot(dir);
  {
    TFolderLock other(host.folder);
    ASSERT_FALSE(other.Busy());
    MakeRun(host);  // nothing ticked: nothing to wait for, no error
    host.Tick(fcIlshenar, msFull);
    try {
      MakeRun(host);
      FAIL() << "the run must fail";
    } catch (const EMapJobError& e) {
      EXPECT_STREQ(e.what(), SFolderBusy);
    }
    EXPECT_EQ(host.JobsStarted(), 0);
    EXPECT_EQ(host.running, (std::vector<bool>{true, false, true, false}));
  }
  EXPECT_EQ(Snapshot(dir), before);  // (on Windows the held lock is a file no one else may read)
  MakeRun(host);  // the other run has ended
  EXPECT_TRUE(std::filesystem::exists(Target(fcIlshenar, msFull)));
}

Bytes HugeDeclaredRle8(std::int32_t Width = 65000) {
  return testsupport::TinyRle8DeclaringHugeSize(Width, 20000);
}

TEST_F(MapJobTest, AWorkingCopyThatCannotExistFailsFromTheHeadersAlone) {
  const Bytes tiny = HugeDeclaredRle8();
  ASSERT_LT(tiny.size(), 1100u);
  WriteFileBytes(Base(fcMalas, msFull), tiny);
  host.Tick(fcMalas, msFull);
  const auto before = Snapshot(dir);
  try {
    MakeRun(host);
    FAIL() << "the job must fail";
  } catch (const EBigBitmapError& e) {
    EXPECT_STREQ(e.what(), "TBigBitmap.SetBitmaps: Too Big Width or Too Many Pixel Bits");
  }
  // Before the loading: nothing was decoded or allocated for the 1.3-gigapixel picture.
  EXPECT_EQ(host.LastText(), " マラス 等倍 : check bitmap");
  EXPECT_EQ(Snapshot(dir), before);
}

TEST_F(MapJobTest, AJobNeedingMoreMemoryThanTheMachineHasFailsAtOnce) {
  PutBase(fcMalas, msFull, 64, 32);
  // Pixel bytes, the map's bands and the 24-bit working copy: 64 x 32 x 3 each.
  const TJobFootprint f = JobFootprint(Base(fcMalas, msFull));
  EXPECT_EQ(f.Width, 64);
  EXPECT_EQ(f.Height, 32);
  EXPECT_EQ(f.Bytes, 3 * 64 * 32 * 3);
  EXPECT_NO_THROW(PrecheckMapJob(Base(fcMalas, msFull), f.Bytes));
  EXPECT_NO_THROW(PrecheckMapJob(Base(fcMalas, msFull), 0));  // unknown: no check
  EXPECT_THROW(PrecheckMapJob(Base(fcMalas, msFull), f.Bytes - 1), EMapJobError);
  // An RLE file also holds its decoded rows: 962 bytes of codes, 2 x 20,000 rows of 20,000
  // bytes and a working copy of 20,000 rows of 60,000 bytes.
  const std::string rle = dir.file("rle.BMP");
  WriteFileBytes(rle, HugeDeclaredRle8(20000));
  EXPECT_EQ(JobFootprint(rle).Bytes, 962 + 2 * 20000LL * 20000 + 20000LL * 60000);
  try {
    PrecheckMapJob(rle, 1024 * 1024 * 1024);
    FAIL() << "the check must fail";
  } catch (const EMapJobError& e) {
    EXPECT_EQ(e.Message(),
              "MapJob: The map needs 1907 MB of memory, more than the 1024 MB this machine has");
  }
  // Headers that are no bitmap are left to the loader.
  WriteFileBytes(rle, Bytes(60, 'x'));
  EXPECT_EQ(JobFootprint(rle).Width, 0);
  EXPECT_NO_THROW(PrecheckMapJob(rle, 1));
}

// ---- taking a map back from its backups ------------------------------------------------------

class RestoreTest : public MapJobTest {
 protected:
  // Bases for both Felucca and Trammel and Ilshenar; the targets of Felucca and Trammel and
  // of Ilshenar exist before the run, the second Felucca and Trammel one included.
  void PutMapsAndOldTargets() {
    PutBase(fcFeluccaTrammel, msHalf);
    PutBase(fcIlshenar, msFull);
    WriteFileBytes(dir.file("MAP0-X2.BMP"), {0, 1});
    WriteFileBytes(dir.file("MAP1-X2.BMP"), {1, 2, 3});
    WriteFileBytes(dir.file("MAP2-X1.BMP"), {2});
    host.Tick(fcFeluccaTrammel, msHalf);
    host.Tick(fcIlshenar, msFull);
  }
};

TEST_F(RestoreTest, ARunFollowedByARestoreLeavesTheFolderByteForByteAsBefore) {
  PutMapsAndOldTargets();
  const auto before = Snapshot(dir);
  MakeRun(host);
  MakeRun(host);  // a second run keeps the first backups
  ASSERT_NE(Snapshot(dir), before);
  EXPECT_TRUE(HasBackup(host.folder, fcFeluccaTrammel, mtXRay, msHalf));
  EXPECT_TRUE(RestoreMap(host.folder, fcFeluccaTrammel, mtXRay, msHalf).empty());
  EXPECT_TRUE(RestoreMap(host.folder, fcIlshenar, mtXRay, msFull).empty());
  EXPECT_EQ(Snapshot(dir), before);
  EXPECT_FALSE(HasBackup(host.folder, fcFeluccaTrammel, mtXRay, msHalf));

  MakeRun(host);  // and the next run backs the targets up again
  EXPECT_EQ(ReadFileBytes(dir.file("MAP1-X2.OLD")), (Bytes{1, 2, 3}));
}

TEST_F(RestoreTest, ARestoreWithNothingToRestoreChangesNothingAndNamesTheTargetsSkipped) {
  PutBase(fcFeluccaTrammel, msFull);
  host.Tick(fcFeluccaTrammel, msFull);
  MakeRun(host);  // the targets did not exist: no backups
  WriteFileBytes(dir.file("MAP0-1.OLD"), {7});  // a backup of another map type
  const auto before = Snapshot(dir);
  EXPECT_FALSE(HasBackup(host.folder, fcFeluccaTrammel, mtXRay, msFull));
  EXPECT_EQ(RestoreMap(host.folder, fcFeluccaTrammel, mtXRay, msFull),
            (std::vector<std::string>{dir.file("MAP0-X1.BMP"), dir.file("MAP1-X1.BMP")}));
  EXPECT_EQ(RestoreMap(host.folder, fcMalas, mtXRay, msFull),
            (std::vector<std::string>{dir.file("MAP3-X1.BMP")}));
  EXPECT_EQ(Snapshot(dir), before);
}

TEST_F(RestoreTest, RestoresEachFeluccaAndTrammelTargetThatHasABackupAndSkipsTheOther) {
  PutBase(fcFeluccaTrammel, msQuarter);
  WriteFileBytes(dir.file("MAP1-X4.BMP"), {4});
  host.Tick(fcFeluccaTrammel, msQuarter);
  MakeRun(host);
  const Bytes result = ReadFileBytes(dir.file("MAP0-X4.BMP"));
  EXPECT_EQ(RestoreMap(host.folder, fcFeluccaTrammel, mtXRay, msQuarter),
            (std::vector<std::string>{dir.file("MAP0-X4.BMP")}));
  EXPECT_EQ(ReadFileBytes(dir.file("MAP1-X4.BMP")), Bytes{4});
  EXPECT_EQ(ReadFileBytes(dir.file("MAP0-X4.BMP")), result);
  EXPECT_EQ(FileNames(dir), (std::vector<std::string>{"MAP0-X4.BMP", "MAP1-X4.BMP",
                                                      "MAP25166902-4.BMP"}));
}

TEST_F(RestoreTest, ABackupThatIsASecondNameOfTheUnchangedTargetIsDropped) {
  // What a save that failed after making the backup leaves behind.
  WriteFileBytes(dir.file("MAP3-X1.BMP"), {3});
  ASSERT_EQ(OsLinkNoReplace(dir.file("MAP3-X1.BMP"), dir.file("MAP3-X1.OLD")), TOsNoReplace::Done);
  EXPECT_TRUE(RestoreMap(host.folder, fcMalas, mtXRay, msFull).empty());
  EXPECT_EQ(FileNames(dir), std::vector<std::string>{"MAP3-X1.BMP"});
  EXPECT_EQ(ReadFileBytes(dir.file("MAP3-X1.BMP")), Bytes{3});
}

TEST_F(RestoreTest, FailsBeforeAnyChangeWhileARunHoldsTheFolder) {
  testsupport::LimitThisTest(std::chrono::seconds(10));  // a busy lock is never waited for
  PutMapsAndOldTargets();
  MakeRun(host);
  const auto before = Snapshot(dir);
  {
    const TFolderLock run(host.folder);
    ASSERT_FALSE(run.Busy());
    try {
      RestoreMap(host.folder, fcFeluccaTrammel, mtXRay, msHalf);
      FAIL() << "the restore must fail";
    } catch (const ERestoreError& e) {
      EXPECT_STREQ(e.what(), SRestoreFolderBusy);
    }
  }
  EXPECT_EQ(Snapshot(dir), before);
}

}  // namespace
