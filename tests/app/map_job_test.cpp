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

using testsupport::TBmpLayout;
using testsupport::TRgb;
using testsupport::Bmp8;
using testsupport::BuildBmp;
using testsupport::DibStride;
using testsupport::ReadFileBytes;
using testsupport::TTempDir;
using testsupport::WriteFileBytes;
using testsupport::FileNames;
using testsupport::Snapshot;

using Bytes = std::vector<std::uint8_t>;

// A bottom-up 24-bit file with rows padded to 4 bytes.
Bytes Bmp24(std::int32_t W, std::int32_t H, const std::function<TRgb(int, int)>& Pixel) {
  TBmpLayout Bmp;
  Bmp.Width = W;
  Bmp.Height = H;
  Bmp.BitCount = 24;
  const std::int32_t Stride = DibStride(W, 24);
  Bmp.Pixels.assign(static_cast<std::size_t>(Stride * H), 0);
  for (int Y = 0; Y < H; ++Y) {
    std::uint8_t* Row = Bmp.Pixels.data() + static_cast<std::size_t>((H - 1 - Y) * Stride);
    for (int X = 0; X < W; ++X) {
      const TRgb C = Pixel(X, Y);
      Row[3 * X] = C.B;
      Row[3 * X + 1] = C.G;
      Row[3 * X + 2] = C.R;
    }
  }
  return BuildBmp(Bmp);
}

// Reads back what the job saved: an uncompressed, bottom-up BMP.
struct TSavedBmp {
  explicit TSavedBmp(const Bytes& Saved) : File(Saved) {
    Off = Le32(10);
    Width = static_cast<std::int32_t>(Le32(18));
    Height = static_cast<std::int32_t>(Le32(22));
    Bits = File[28] | File[29] << 8;
    Stride = DibStride(Width, Bits);
  }
  std::uint32_t Le32(std::size_t At) const {
    return File[At] | File[At + 1] << 8 | File[At + 2] << 16 | std::uint32_t(File[At + 3]) << 24;
  }
  const std::uint8_t* Row(int Y) const { return File.data() + Off + (Height - 1 - Y) * Stride; }
  TRgb Pixel24(int X, int Y) const {
    return TRgb{Row(Y)[3 * X + 2], Row(Y)[3 * X + 1], Row(Y)[3 * X]};
  }
  std::uint8_t Index(int X, int Y) const { return Row(Y)[X]; }

  Bytes File;
  std::uint32_t Off;
  std::int32_t Width, Height, Stride;
  int Bits;
};

// A host that records every status text and lets a test act between pixel rows.
class TFakeHost : public TJobHost {
 public:
  explicit TFakeHost(std::string MapFolder) : Folder(std::move(MapFolder)) {}

  void Tick(Facet F, MapScale S, bool On = true) {
    Enabled[F][S] = On;
    Checked[F][S] = On;
  }
  // Map jobs started so far (each shows its check text once).
  int JobsStarted() const {
    int N = 0;
    for (const std::string& T : Log) N += T.ends_with(" : check bitmap") ? 1 : 0;
    return N;
  }
  // The last status text (the holds of the session's end are not texts).
  std::string LastText() const {
    for (auto T = Log.rbegin(); T != Log.rend(); ++T) {
      if (*T != "hold" && *T != "free") return T->substr(4);
    }
    return "";
  }

  std::string GetMapFolder() override { return Folder; }
  bool MapBoxEnabled(Facet F, MapScale S) override { return Enabled[F][S]; }
  bool MapBoxChecked(Facet F, MapScale S) override { return Checked[F][S]; }
  MapType GetBaseMapType() override { return Base; }
  MapType GetTrgMapType() override { return Target; }
  bool GetCanceled() override { return Canceled; }
  void SetCanceled(bool Value) override { Canceled = Value; }
  bool GetClosing() override { return Closing; }
  void SetRunning(bool Value) override { Running.push_back(Value); }
  void ShowStatus(const std::string& Text) override { Log.push_back("show" + Text); }
  void SetStatusText(const std::string& Text) override { Log.push_back("set " + Text); }
  void FinishingMap(bool Begun) override { Log.push_back(Begun ? "hold" : "free"); }
  void Repaint() override {}
  void ProcessMessages() override {
    ++Rows;
    if (OnRow) OnRow(*this);
  }

  std::string Folder;
  MapType Base = mtNormal;
  MapType Target = mtXRay;
  bool Enabled[FacetCount][MapScaleCount] = {};
  bool Checked[FacetCount][MapScaleCount] = {};
  bool Canceled = false;
  bool Closing = false;
  std::vector<bool> Running;
  std::vector<std::string> Log;
  int Rows = 0;
  std::function<void(TFakeHost&)> OnRow;
};


class MapJobTest : public ::testing::Test {
 protected:
  TTempDir Dir;
  TFakeHost Host{Dir.Path().string()};

  std::string Base(Facet F, MapScale S, MapType T = mtNormal) const {
    return GetBaseFileName(Host.Folder, F, T, S);
  }
  std::string Target(Facet F, MapScale S, MapType T = mtXRay) const {
    std::string Main, Second;
    GetTrgFileNames(Host.Folder, F, T, S, Main, Second);
    return Main;
  }
  // A small grey 24-bit base map for a world and zoom level.
  void PutBase(Facet F, MapScale S, int W = 9, int H = 6) {
    WriteFileBytes(Base(F, S), Bmp24(W, H, [](int X, int Y) {
                     const auto V = static_cast<std::uint8_t>(10 * X + 7 * Y);
                     return TRgb{V, V, V};
                   }));
  }
};

// ---- the little functions -------------------------------------------------------------------

struct TBlendCase {
  std::uint8_t C, W, Expected;
};
void PrintTo(const TBlendCase& C, std::ostream* Os) {
  *Os << int(C.C) << "," << int(C.W) << " -> " << int(C.Expected);
}

class BlendChannelTest : public ::testing::TestWithParam<TBlendCase> {};

TEST_P(BlendChannelTest, GivesSixtyPercentOfTheChannelAndFortyOfTheSecondValue) {
  EXPECT_EQ(BlendChannel(GetParam().C, GetParam().W), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, BlendChannelTest,
    ::testing::ValuesIn(std::vector<TBlendCase>{
        {0, 255, 102}, {100, 255, 162}, {255, 255, 255}, {1, 255, 102}, {255, 0, 153}, {9, 0, 5}}));

TEST(GridStepTest, IsEightFullSizePixelsAtEveryZoomLevel) {
  EXPECT_EQ(GridStep(msFull), 8);
  EXPECT_EQ(GridStep(msHalf), 4);
  EXPECT_EQ(GridStep(msQuarter), 2);
  EXPECT_EQ(GridStep(3), 8);
  EXPECT_EQ(GridStep(255), 8);
}

TEST(BackupFileTest, BacksUpOnceAndNeverReplacesAnExistingBackup) {
  TTempDir Dir;
  const std::string Target = Dir.File("MAP0-X1.BMP");
  WriteFileBytes(Target, {1});
  BackupFile(Target);
  // The target keeps its name until the save replaces it: it is never missing.
  EXPECT_EQ(ReadFileBytes(Target), Bytes{1});
  EXPECT_EQ(ReadFileBytes(Dir.File("MAP0-X1.OLD")), Bytes{1});

  WriteFileReplacing(Target, [](TStream& Stream) { Stream.WriteBuffer("\x02", 1); });
  BackupFile(Target);
  EXPECT_EQ(ReadFileBytes(Target), Bytes{2});
  EXPECT_EQ(ReadFileBytes(Dir.File("MAP0-X1.OLD")), Bytes{1});

  BackupFile(Dir.File("missing.BMP"));  // nothing to rename: no error, no file
  EXPECT_FALSE(std::filesystem::exists(Dir.File("missing.OLD")));

  WriteFileBytes(Dir.File("noext"), {3});
  BackupFile(Dir.File("noext"));
  EXPECT_EQ(ReadFileBytes(Dir.File("noext.OLD")), Bytes{3});
}

// ---- the grid -------------------------------------------------------------------------------

struct TGridCase {
  const char* Name;
  MapScale Scale;
  int Step;
  int Width, Height;
};
void PrintTo(const TGridCase& C, std::ostream* Os) {
  *Os << C.Name;
}

class GridTest : public MapJobTest, public ::testing::WithParamInterface<TGridCase> {};

TEST_P(GridTest, BlendsEveryGridRowAndColumnPixelExactlyOnceAndNothingElse) {
  const TGridCase& P = GetParam();
  // Each colour and its blend with 40 % white, channel by channel (60 % c + 102, rounded down).
  struct TColour {
    TRgb Plain, White;
  };
  static const TColour Colours[] = {{{0, 100, 255}, {102, 162, 255}},
                                     {{1, 9, 200}, {102, 107, 222}},
                                     {{50, 77, 130}, {132, 148, 180}}};
  auto Colour = [](int X, int Y) { return Colours[(X + 2 * Y) % 3]; };
  WriteFileBytes(Base(fcMalas, P.Scale),
                 Bmp24(P.Width, P.Height, [&](int X, int Y) { return Colour(X, Y).Plain; }));
  Host.Tick(fcMalas, P.Scale);
  MakeRun(Host);

  const TSavedBmp Out(ReadFileBytes(Target(fcMalas, P.Scale)));
  ASSERT_EQ(Out.Bits, 24);
  ASSERT_EQ(Out.Width, P.Width);
  ASSERT_EQ(Out.Height, P.Height);
  for (int Y = 0; Y < P.Height; ++Y) {
    for (int X = 0; X < P.Width; ++X) {
      const bool Grid = Y % P.Step == 0 || X % P.Step == 0;
      const TRgb Want = Grid ? Colour(X, Y).White : Colour(X, Y).Plain;
      ASSERT_EQ(Out.Pixel24(X, Y), Want) << "pixel " << X << "," << Y;
    }
  }
  const char* const MalasNames[MapScaleCount] = {" マラス 等倍", " マラス 1/2", " マラス 1/4"};
  EXPECT_EQ(Host.Log[Host.Log.size() - 6],
            std::string("set ") + MalasNames[P.Scale] + " : drawing[100%]");
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, GridTest,
    ::testing::ValuesIn(std::vector<TGridCase>{
        // columns 0, 4, 8; column 9 only in grid rows
        {"WidthNotAMultipleOfTheStep", msHalf, 4, 10, 5},
        {"WidthAMultipleOfTheStep", msHalf, 4, 12, 9},  // last grid column 8 = W - step
        {"HeightOne", msFull, 8, 17, 1},                // the single row is a grid row
        {"QuarterSize", msQuarter, 2, 5, 4},
        {"FullSize", msFull, 8, 24, 17}}),
    [](const ::testing::TestParamInfo<TGridCase>& info) { return std::string(info.param.Name); });

TEST_F(MapJobTest, ReducesThePaletteMapOntoItsOwnColourTable) {
  // Entries 2 and 3 are exactly the whitened forms of 0 and 1; entry 4 repeats entry 2, so the
  // lowest index wins.
  const std::vector<TRgb> Palette{
      {0, 0, 0}, {100, 0, 255}, {102, 102, 102}, {162, 102, 255}, {102, 102, 102}};
  const std::string BaseFile = Base(fcIlshenar, msQuarter);
  WriteFileBytes(BaseFile,
                 Bmp8(7, 5, Palette, [](int X, int) { return static_cast<std::uint8_t>(X % 2); }));
  Host.Tick(fcIlshenar, msQuarter);
  MakeRun(Host);

  const TSavedBmp Out(ReadFileBytes(Target(fcIlshenar, msQuarter)));
  ASSERT_EQ(Out.Bits, 8);
  for (int Y = 0; Y < 5; ++Y) {
    for (int X = 0; X < 7; ++X) {
      const bool Grid = Y % 2 == 0 || X % 2 == 0;
      ASSERT_EQ(Out.Index(X, Y), (Grid ? 2 : 0) + X % 2) << X << "," << Y;
    }
  }
  // The colour table is the map's own.
  const TSavedBmp In(ReadFileBytes(BaseFile));
  EXPECT_TRUE(
      std::equal(In.File.begin() + 54, In.File.begin() + 54 + 5 * 4, Out.File.begin() + 54));
}

// ---- status texts, the run and its flags --------------------------------------------------

TEST_F(MapJobTest, ShowsTheJobStatusTextsInOrder) {
  PutBase(fcTokuno, msHalf, 6, 3);
  Host.Tick(fcTokuno, msHalf);
  MakeRun(Host);
  const std::string N = " 徳之島 1/2";
  EXPECT_EQ(Host.Log, (std::vector<std::string>{
                          "show" + N, "show" + N + " : check bitmap", "show" + N + " : loading",
                          "set " + N + " : drawing[33%]", "set " + N + " : drawing[66%]",
                          "set " + N + " : drawing[100%]", "hold", "show" + N + " : 減色中",
                          "show" + N + " : saving", "free", "set  完了しました"}));
  EXPECT_EQ(Host.Rows, 3);
  EXPECT_EQ(Host.Running, (std::vector<bool>{true, false}));
}

TEST_F(MapJobTest, RepairsAReportedBaseFileBeforeLoadingIt) {
  // 5 pixels a row stored without padding: the check reports it.
  const std::vector<TRgb> Palette{{0, 0, 0}, {102, 102, 102}, {50, 60, 70}, {132, 138, 144}};
  const std::string BaseFile = Base(fcTokuno, msQuarter);
  WriteFileBytes(BaseFile, Bmp8(
                           5, 3, Palette, [](int, int) { return std::uint8_t{2}; }, false));
  Host.Tick(fcTokuno, msQuarter);
  MakeRun(Host);

  ASSERT_GE(Host.Log.size(), 4u);
  EXPECT_EQ(Host.Log[2], "show 徳之島 1/4 : fixed illegal format");
  EXPECT_EQ(Host.Log[3], "show 徳之島 1/4 : loading");
  EXPECT_TRUE(std::filesystem::exists(Dir.File("MAP2097782-4_BAD_DATA.BMP")));
  const TSavedBmp Out(ReadFileBytes(Target(fcTokuno, msQuarter)));
  ASSERT_EQ(Out.Width, 5);
  for (int Y = 0; Y < 3; ++Y) {
    for (int X = 0; X < 5; ++X) ASSERT_EQ(Out.Index(X, Y), (Y % 2 == 0 || X % 2 == 0) ? 3 : 2);
  }
}

TEST_F(MapJobTest, CancelDuringTheSecondOfThreeMapsSavesOnlyTheFirst) {
  for (MapScale S = 0; S < MapScaleCount; ++S) {
    PutBase(fcIlshenar, S);
    Host.Tick(fcIlshenar, S);
  }
  Host.OnRow = [](TFakeHost& H) {
    if (H.JobsStarted() == 2) H.Canceled = true;
  };
  MakeRun(Host);
  EXPECT_TRUE(std::filesystem::exists(Target(fcIlshenar, msFull)));
  EXPECT_FALSE(std::filesystem::exists(Target(fcIlshenar, msHalf)));
  EXPECT_FALSE(std::filesystem::exists(Target(fcIlshenar, msQuarter)));
  EXPECT_EQ(Host.JobsStarted(), 2);
  EXPECT_EQ(Host.LastText(), " 中止しました");
  EXPECT_EQ(Host.Running.back(), false);
}

TEST_F(MapJobTest, ACloseRequestStopsAfterTheRowWithoutAFinalText) {
  PutBase(fcMalas, msFull);
  PutBase(fcMalas, msHalf);
  Host.Tick(fcMalas, msFull);
  Host.Tick(fcMalas, msHalf);
  Host.OnRow = [](TFakeHost& H) {
    if (H.Rows == 2) H.Closing = true;
  };
  MakeRun(Host);
  EXPECT_EQ(Host.Rows, 2);
  EXPECT_EQ(Host.JobsStarted(), 1);
  EXPECT_FALSE(std::filesystem::exists(Target(fcMalas, msFull)));
  EXPECT_FALSE(std::filesystem::exists(Target(fcMalas, msHalf)));
  EXPECT_EQ(Host.LastText(), " マラス 等倍 : drawing[33%]");
  EXPECT_EQ(std::count(Host.Log.begin(), Host.Log.end(), "hold"), 0);
}

TEST_F(MapJobTest, CancelClearedAtTheStartOfARun) {
  PutBase(fcMalas, msQuarter);
  Host.Tick(fcMalas, msQuarter);
  Host.Canceled = true;
  MakeRun(Host);
  EXPECT_EQ(Host.LastText(), " 完了しました");
}

TEST_F(MapJobTest, ARunWithNothingEnabledAndTickedChangesNoFileAndSetsNoText) {
  PutBase(fcFeluccaTrammel, msFull);
  PutBase(fcIlshenar, msHalf);
  WriteFileBytes(Target(fcIlshenar, msHalf), {7, 7});
  Host.Enabled[fcFeluccaTrammel][msFull] = true;  // enabled, not ticked
  Host.Checked[fcIlshenar][msHalf] = true;        // ticked, not enabled
  const auto Before = Snapshot(Dir);
  MakeRun(Host);
  EXPECT_EQ(Snapshot(Dir), Before);
  EXPECT_TRUE(Host.Log.empty());
  EXPECT_EQ(Host.Running, (std::vector<bool>{true, false}));
}

TEST_F(MapJobTest, BoxesAreReadWhenTheLoopReachesThem) {
  PutBase(fcIlshenar, msFull);
  PutBase(fcMalas, msFull);
  PutBase(fcTokuno, msFull);
  Host.Tick(fcIlshenar, msFull);
  Host.Tick(fcMalas, msFull);
  Host.Enabled[fcTokuno][msFull] = true;
  Host.OnRow = [](TFakeHost& H) {  // during the first job: untick Malas, tick Tokuno
    H.Checked[fcMalas][msFull] = false;
    H.Checked[fcTokuno][msFull] = true;
  };
  MakeRun(Host);
  EXPECT_TRUE(std::filesystem::exists(Target(fcIlshenar, msFull)));
  EXPECT_FALSE(std::filesystem::exists(Target(fcMalas, msFull)));
  EXPECT_TRUE(std::filesystem::exists(Target(fcTokuno, msFull)));
}

TEST_F(MapJobTest, ReadsTheBaseTypeAtTheJobStartAndTheTargetTypeAtItsSavingStep) {
  PutBase(fcMalas, msFull, 9, 6);
  WriteFileBytes(Base(fcMalas, msHalf, mtNoStatics), Bmp24(4, 4, [](int, int) {
                   return TRgb{1, 2, 3};
                 }));
  Host.Tick(fcMalas, msFull);
  Host.Tick(fcMalas, msHalf);
  Host.OnRow = [](TFakeHost& H) {
    H.Base = mtNoStatics;  // too late for the running job, in time for the next
    H.Target = mtNormal;   // in time for the running job's saving step
  };
  MakeRun(Host);
  EXPECT_EQ(TSavedBmp(ReadFileBytes(Target(fcMalas, msFull, mtNormal))).Width, 9);
  EXPECT_EQ(TSavedBmp(ReadFileBytes(Target(fcMalas, msHalf, mtNormal))).Width, 4);
  EXPECT_FALSE(std::filesystem::exists(Target(fcMalas, msFull, mtXRay)));
}

// ---- saving ---------------------------------------------------------------------------------

TEST_F(MapJobTest, KeepsTheFirstBackupForeverAndCreatesAMissingTargetWithoutOne) {
  PutBase(fcIlshenar, msFull);
  PutBase(fcMalas, msFull);
  WriteFileBytes(Target(fcIlshenar, msFull), {1, 2, 3});
  Host.Tick(fcIlshenar, msFull);
  Host.Tick(fcMalas, msFull);
  MakeRun(Host);
  const Bytes Result = ReadFileBytes(Target(fcIlshenar, msFull));
  EXPECT_EQ(ReadFileBytes(Dir.File("MAP2-X1.OLD")), (Bytes{1, 2, 3}));
  EXPECT_FALSE(std::filesystem::exists(Dir.File("MAP3-X1.OLD")));
  EXPECT_TRUE(std::filesystem::exists(Target(fcMalas, msFull)));

  MakeRun(Host);  // the second run overwrites the targets and keeps the first backups
  EXPECT_EQ(ReadFileBytes(Dir.File("MAP2-X1.OLD")), (Bytes{1, 2, 3}));
  EXPECT_EQ(ReadFileBytes(Target(fcIlshenar, msFull)), Result);
  EXPECT_EQ(ReadFileBytes(Dir.File("MAP3-X1.OLD")), ReadFileBytes(Target(fcMalas, msFull)));
  EXPECT_EQ(FileNames(Dir),
            (std::vector<std::string>{"MAP2-X1.BMP", "MAP2-X1.OLD", "MAP3-X1.BMP", "MAP3-X1.OLD",
                                      "MAP3687478-1.BMP", "MAP5243958-1.BMP"}));
}

TEST_F(MapJobTest, SavesFeluccaAndTrammelTwiceEachWithItsOwnBackup) {
  PutBase(fcFeluccaTrammel, msHalf);
  WriteFileBytes(Dir.File("MAP0-X2.BMP"), {0});
  WriteFileBytes(Dir.File("MAP1-X2.BMP"), {1});
  Host.Tick(fcFeluccaTrammel, msHalf);
  MakeRun(Host);
  EXPECT_EQ(ReadFileBytes(Dir.File("MAP0-X2.OLD")), Bytes{0});
  EXPECT_EQ(ReadFileBytes(Dir.File("MAP1-X2.OLD")), Bytes{1});
  const Bytes Main = ReadFileBytes(Dir.File("MAP0-X2.BMP"));
  EXPECT_EQ(TSavedBmp(Main).Width, 9);
  EXPECT_EQ(ReadFileBytes(Dir.File("MAP1-X2.BMP")), Main);
}

TEST_F(MapJobTest, ASecondTargetThatCannotBeReplacedIsNamedWithTheOneThatWasSaved) {
  PutBase(fcFeluccaTrammel, msHalf);
  WriteFileBytes(Dir.File("MAP0-X2.BMP"), {0});
  std::filesystem::create_directory(Dir.Path() / "MAP1-X2.BMP");  // no file can take that name
  Host.Tick(fcFeluccaTrammel, msHalf);
  try {
    MakeRun(Host);
    FAIL() << "the second target cannot have been saved";
  } catch (const EMapJobError& E) {
    const std::string Message = E.what();
    EXPECT_EQ(Message.rfind("MapJob: " + Dir.File("MAP0-X2.BMP") + " was saved, " +
                                Dir.File("MAP1-X2.BMP") + " was not: ",
                            0),
              0u)
        << Message;
  }
  EXPECT_EQ(ReadFileBytes(Dir.File("MAP0-X2.OLD")), Bytes{0});
  EXPECT_EQ(TSavedBmp(ReadFileBytes(Dir.File("MAP0-X2.BMP"))).Width, 9);
  EXPECT_EQ(FileNames(Dir), (std::vector<std::string>{"MAP0-X2.BMP", "MAP0-X2.OLD", "MAP1-X2.BMP",
                                                      "MAP25166902-2.BMP"}));
  EXPECT_EQ(Host.Log.back(), "free");  // the end of the session no longer waits
}

TEST_F(MapJobTest, AFailingJobEndsTheRunAndLeavesEveryTargetAsItWas) {
  PutBase(fcIlshenar, msFull);
  WriteFileBytes(Base(fcMalas, msFull), Bytes(60, 'x'));  // not a bitmap
  PutBase(fcTokuno, msFull);
  WriteFileBytes(Target(fcMalas, msFull), {5});
  for (Facet F : {fcIlshenar, fcMalas, fcTokuno}) Host.Tick(F, msFull);
  EXPECT_THROW(MakeRun(Host), Exception);
  EXPECT_TRUE(std::filesystem::exists(Target(fcIlshenar, msFull)));
  EXPECT_EQ(ReadFileBytes(Target(fcMalas, msFull)), Bytes{5});
  EXPECT_FALSE(std::filesystem::exists(Dir.File("MAP3-X1.OLD")));
  EXPECT_FALSE(std::filesystem::exists(Target(fcTokuno, msFull)));
  EXPECT_EQ(Host.Running, (std::vector<bool>{true, false}));
  EXPECT_EQ(Host.LastText(), " マラス 等倍 : loading");
  EXPECT_EQ(FileNames(Dir).size(), 5u);  // no temporary file left behind
}

TEST_F(MapJobTest, ARunOnAFolderThatAnotherRunHoldsFailsBeforeChangingAnything) {
  testsupport::LimitThisTest(std::chrono::seconds(10));  // a busy lock is never waited for
  PutBase(fcIlshenar, msFull);
  const auto Before = Snapshot(Dir);
  {
    TFolderLock Other(Host.Folder);
    ASSERT_FALSE(Other.Busy());
    MakeRun(Host);  // nothing ticked: nothing to wait for, no error
    Host.Tick(fcIlshenar, msFull);
    try {
      MakeRun(Host);
      FAIL() << "the run must fail";
    } catch (const EMapJobError& E) {
      EXPECT_STREQ(E.what(), SFolderBusy);
    }
    EXPECT_EQ(Host.JobsStarted(), 0);
    EXPECT_EQ(Host.Running, (std::vector<bool>{true, false, true, false}));
  }
  EXPECT_EQ(Snapshot(Dir), Before);  // (on Windows the held lock is a file no one else may read)
  MakeRun(Host);  // the other run has ended
  EXPECT_TRUE(std::filesystem::exists(Target(fcIlshenar, msFull)));
}

Bytes HugeDeclaredRle8(std::int32_t Width = 65000) {
  return testsupport::TinyRle8DeclaringHugeSize(Width, 20000);
}

TEST_F(MapJobTest, AWorkingCopyThatCannotExistFailsFromTheHeadersAlone) {
  const Bytes Tiny = HugeDeclaredRle8();
  ASSERT_LT(Tiny.size(), 1100u);
  WriteFileBytes(Base(fcMalas, msFull), Tiny);
  Host.Tick(fcMalas, msFull);
  const auto Before = Snapshot(Dir);
  try {
    MakeRun(Host);
    FAIL() << "the job must fail";
  } catch (const EBigBitmapError& E) {
    EXPECT_STREQ(E.what(), "TBigBitmap.SetBitmaps: Too Big Width or Too Many Pixel Bits");
  }
  // Before the loading: nothing was decoded or allocated for the 1.3-gigapixel picture.
  EXPECT_EQ(Host.LastText(), " マラス 等倍 : check bitmap");
  EXPECT_EQ(Snapshot(Dir), Before);
}

TEST_F(MapJobTest, AJobNeedingMoreMemoryThanTheMachineHasFailsAtOnce) {
  PutBase(fcMalas, msFull, 64, 32);
  // Pixel bytes, the map's bands and the 24-bit working copy: 64 x 32 x 3 each.
  const TJobFootprint F = JobFootprint(Base(fcMalas, msFull));
  EXPECT_EQ(F.Width, 64);
  EXPECT_EQ(F.Height, 32);
  EXPECT_EQ(F.Bytes, 3 * 64 * 32 * 3);
  EXPECT_NO_THROW(PrecheckMapJob(Base(fcMalas, msFull), F.Bytes));
  EXPECT_NO_THROW(PrecheckMapJob(Base(fcMalas, msFull), 0));  // unknown: no check
  EXPECT_THROW(PrecheckMapJob(Base(fcMalas, msFull), F.Bytes - 1), EMapJobError);
  // An RLE file also holds its decoded rows: 962 bytes of codes, 2 x 20,000 rows of 20,000
  // bytes and a working copy of 20,000 rows of 60,000 bytes.
  const std::string Rle = Dir.File("rle.BMP");
  WriteFileBytes(Rle, HugeDeclaredRle8(20000));
  EXPECT_EQ(JobFootprint(Rle).Bytes, 962 + 2 * 20000LL * 20000 + 20000LL * 60000);
  try {
    PrecheckMapJob(Rle, 1024 * 1024 * 1024);
    FAIL() << "the check must fail";
  } catch (const EMapJobError& E) {
    EXPECT_EQ(E.Message(),
              "MapJob: The map needs 1907 MB of memory, more than the 1024 MB this machine has");
  }
  // Headers that are no bitmap are left to the loader.
  WriteFileBytes(Rle, Bytes(60, 'x'));
  EXPECT_EQ(JobFootprint(Rle).Width, 0);
  EXPECT_NO_THROW(PrecheckMapJob(Rle, 1));
}

// ---- taking a map back from its backups ------------------------------------------------------

class RestoreTest : public MapJobTest {
 protected:
  // Bases for both Felucca and Trammel and Ilshenar; the targets of Felucca and Trammel and
  // of Ilshenar exist before the run, the second Felucca and Trammel one included.
  void PutMapsAndOldTargets() {
    PutBase(fcFeluccaTrammel, msHalf);
    PutBase(fcIlshenar, msFull);
    WriteFileBytes(Dir.File("MAP0-X2.BMP"), {0, 1});
    WriteFileBytes(Dir.File("MAP1-X2.BMP"), {1, 2, 3});
    WriteFileBytes(Dir.File("MAP2-X1.BMP"), {2});
    Host.Tick(fcFeluccaTrammel, msHalf);
    Host.Tick(fcIlshenar, msFull);
  }
};

TEST_F(RestoreTest, ARunFollowedByARestoreLeavesTheFolderByteForByteAsBefore) {
  PutMapsAndOldTargets();
  const auto Before = Snapshot(Dir);
  MakeRun(Host);
  MakeRun(Host);  // a second run keeps the first backups
  ASSERT_NE(Snapshot(Dir), Before);
  EXPECT_TRUE(HasBackup(Host.Folder, fcFeluccaTrammel, mtXRay, msHalf));
  EXPECT_TRUE(RestoreMap(Host.Folder, fcFeluccaTrammel, mtXRay, msHalf).empty());
  EXPECT_TRUE(RestoreMap(Host.Folder, fcIlshenar, mtXRay, msFull).empty());
  EXPECT_EQ(Snapshot(Dir), Before);
  EXPECT_FALSE(HasBackup(Host.Folder, fcFeluccaTrammel, mtXRay, msHalf));

  MakeRun(Host);  // and the next run backs the targets up again
  EXPECT_EQ(ReadFileBytes(Dir.File("MAP1-X2.OLD")), (Bytes{1, 2, 3}));
}

TEST_F(RestoreTest, ARestoreWithNothingToRestoreChangesNothingAndNamesTheTargetsSkipped) {
  PutBase(fcFeluccaTrammel, msFull);
  Host.Tick(fcFeluccaTrammel, msFull);
  MakeRun(Host);  // the targets did not exist: no backups
  WriteFileBytes(Dir.File("MAP0-1.OLD"), {7});  // a backup of another map type
  const auto Before = Snapshot(Dir);
  EXPECT_FALSE(HasBackup(Host.Folder, fcFeluccaTrammel, mtXRay, msFull));
  EXPECT_EQ(RestoreMap(Host.Folder, fcFeluccaTrammel, mtXRay, msFull),
            (std::vector<std::string>{Dir.File("MAP0-X1.BMP"), Dir.File("MAP1-X1.BMP")}));
  EXPECT_EQ(RestoreMap(Host.Folder, fcMalas, mtXRay, msFull),
            (std::vector<std::string>{Dir.File("MAP3-X1.BMP")}));
  EXPECT_EQ(Snapshot(Dir), Before);
}

TEST_F(RestoreTest, RestoresEachFeluccaAndTrammelTargetThatHasABackupAndSkipsTheOther) {
  PutBase(fcFeluccaTrammel, msQuarter);
  WriteFileBytes(Dir.File("MAP1-X4.BMP"), {4});
  Host.Tick(fcFeluccaTrammel, msQuarter);
  MakeRun(Host);
  const Bytes Result = ReadFileBytes(Dir.File("MAP0-X4.BMP"));
  EXPECT_EQ(RestoreMap(Host.Folder, fcFeluccaTrammel, mtXRay, msQuarter),
            (std::vector<std::string>{Dir.File("MAP0-X4.BMP")}));
  EXPECT_EQ(ReadFileBytes(Dir.File("MAP1-X4.BMP")), Bytes{4});
  EXPECT_EQ(ReadFileBytes(Dir.File("MAP0-X4.BMP")), Result);
  EXPECT_EQ(FileNames(Dir), (std::vector<std::string>{"MAP0-X4.BMP", "MAP1-X4.BMP",
                                                      "MAP25166902-4.BMP"}));
}

TEST_F(RestoreTest, ABackupThatIsASecondNameOfTheUnchangedTargetIsDropped) {
  // What a save that failed after making the backup leaves behind.
  WriteFileBytes(Dir.File("MAP3-X1.BMP"), {3});
  ASSERT_EQ(OsLinkNoReplace(Dir.File("MAP3-X1.BMP"), Dir.File("MAP3-X1.OLD")), TOsNoReplace::Done);
  EXPECT_TRUE(RestoreMap(Host.Folder, fcMalas, mtXRay, msFull).empty());
  EXPECT_EQ(FileNames(Dir), std::vector<std::string>{"MAP3-X1.BMP"});
  EXPECT_EQ(ReadFileBytes(Dir.File("MAP3-X1.BMP")), Bytes{3});
}

TEST_F(RestoreTest, FailsBeforeAnyChangeWhileARunHoldsTheFolder) {
  testsupport::LimitThisTest(std::chrono::seconds(10));  // a busy lock is never waited for
  PutMapsAndOldTargets();
  MakeRun(Host);
  const auto Before = Snapshot(Dir);
  {
    const TFolderLock Run(Host.Folder);
    ASSERT_FALSE(Run.Busy());
    try {
      RestoreMap(Host.Folder, fcFeluccaTrammel, mtXRay, msHalf);
      FAIL() << "the restore must fail";
    } catch (const ERestoreError& E) {
      EXPECT_STREQ(E.what(), SRestoreFolderBusy);
    }
  }
  EXPECT_EQ(Snapshot(Dir), Before);
}

}  // namespace
