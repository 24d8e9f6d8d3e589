// veldrin-grid end to end: the real binary on small real map folders.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "app/core/map_catalogue.h"
#include "app/core/sample_maps.h"
#include "platform/files.h"
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
using Bytes = std::vector<std::uint8_t>;

struct TRunResult {
  int Status = -1;  // the exit status, or 128 + the signal that ended the program
  std::string Out;
  std::string Err;
};

struct TRunOptions {
  std::int64_t FileSizeLimit = -1;  // RLIMIT_FSIZE for the program, -1: none
  bool Unprivileged = false;        // run as an ordinary user even when the test runs as root
  // Runs the program under strace with these options, which can signal it at an exact system
  // call: "inject=write:signal=SIGINT:when=4", its fourth write.
  std::vector<std::string> Strace;
};

// Why a program's writes cannot be counted to find one of its texts, or nothing: a sanitizer's
// runtime writes to pipes of its own, as many times as it needs, and a container may forbid
// tracing.
const char* WritesUncountable() {
#if defined(__SANITIZE_ADDRESS__)
  return "the sanitizer runtime makes writes of its own";
#else
  static const bool Traces = ::system("strace -o /dev/null true >/dev/null 2>&1") == 0;
  return Traces ? nullptr : "strace cannot trace a program here";
#endif
}

TRunResult RunGrid(const std::vector<std::string>& Args, const TRunOptions& Options = {}) {
  int Out[2], Err[2];
  if (::pipe(Out) != 0 || ::pipe(Err) != 0) throw std::runtime_error("pipe");
  const pid_t Pid = ::fork();
  if (Pid == 0) {
    ::dup2(Out[1], STDOUT_FILENO);
    ::dup2(Err[1], STDERR_FILENO);
    ::close(Out[0]);
    ::close(Err[0]);
    ::close(Out[1]);
    ::close(Err[1]);
    if (Options.FileSizeLimit >= 0) {
      const rlimit Limit{static_cast<rlim_t>(Options.FileSizeLimit),
                         static_cast<rlim_t>(Options.FileSizeLimit)};
      ::setrlimit(RLIMIT_FSIZE, &Limit);
    }
    if (Options.Unprivileged && ::geteuid() == 0 &&
        (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
      ::_exit(126);
    }
    std::vector<std::string> Command;
    if (!Options.Strace.empty()) {
      Command = {"strace", "-o", "/dev/null"};
      Command.insert(Command.end(), Options.Strace.begin(), Options.Strace.end());
      // A sanitizer build's leak check cannot run under a tracer and would fail the program.
      const char* Asan = std::getenv("ASAN_OPTIONS");
      ::setenv("ASAN_OPTIONS", (std::string(Asan ? Asan : "") + ":detect_leaks=0").c_str(), 1);
    }
    Command.push_back(VELDRIN_GRID_BINARY);
    Command.insert(Command.end(), Args.begin(), Args.end());
    std::vector<char*> Argv;
    for (const std::string& A : Command) Argv.push_back(const_cast<char*>(A.c_str()));
    Argv.push_back(nullptr);
    ::execvp(Argv[0], Argv.data());
    ::_exit(127);
  }
  ::close(Out[1]);
  ::close(Err[1]);
  TRunResult Result;
  pollfd Fds[2] = {{Out[0], POLLIN, 0}, {Err[0], POLLIN, 0}};
  int Open = 2;
  char Buf[4096];
  while (Open > 0) {
    if (::poll(Fds, 2, -1) < 0) continue;
    for (int I = 0; I < 2; ++I) {
      if (Fds[I].fd < 0 || Fds[I].revents == 0) continue;
      const ssize_t N = ::read(Fds[I].fd, Buf, sizeof Buf);
      if (N <= 0) {
        ::close(Fds[I].fd);
        Fds[I].fd = -1;
        --Open;
        continue;
      }
      (I == 0 ? Result.Out : Result.Err).append(Buf, static_cast<std::size_t>(N));
    }
  }
  int Status = 0;
  ::waitpid(Pid, &Status, 0);
  Result.Status = WIFEXITED(Status) ? WEXITSTATUS(Status) : 128 + WTERMSIG(Status);
  return Result;
}

std::uint8_t White40(std::uint8_t C) {
  return static_cast<std::uint8_t>((C * 6 + 1020) / 10);
}

Bytes SmallMap(int W = 16, int H = 12) {
  return Bmp8(W, H, {{0, 0, 0}, {102, 102, 102}, {30, 90, 200}, {120, 156, 222}},
              [](int X, int Y) { return static_cast<std::uint8_t>((X + Y) % 3 == 0 ? 2 : 0); });
}

using testsupport::FileNames;
using testsupport::Snapshot;

class VeldrinGridTest : public ::testing::Test {
 protected:
  TTempDir Dir;
  std::string Folder() const { return Dir.Path().string(); }
  std::string Base(Facet F, MapScale S, MapType T = mtNormal) const {
    return GetBaseFileName(Folder(), F, T, S);
  }
};

// ---- exit statuses --------------------------------------------------------------------------

struct TExitCase {
  const char* Name;
  std::vector<std::string> Args;  // "@" stands for the folder
  int Status;
};
void PrintTo(const TExitCase& C, std::ostream* Os) {
  *Os << C.Name;
}

class ExitStatusTest : public VeldrinGridTest, public ::testing::WithParamInterface<TExitCase> {};

TEST_P(ExitStatusTest, EndsWithTheDocumentedStatusAndChangesNothingOnAUsageError) {
  WriteFileBytes(Base(fcIlshenar, msFull), SmallMap());
  WriteFileBytes(Base(fcMalas, msHalf), SmallMap());
  std::vector<std::string> Args = GetParam().Args;
  for (std::string& A : Args) {
    if (A == "@") A = Folder();
  }
  const auto Before = Snapshot(Dir);
  const TRunResult R = RunGrid(Args);
  EXPECT_EQ(R.Status, GetParam().Status) << R.Err;
  if (R.Status == 2) {
    EXPECT_EQ(Snapshot(Dir), Before);
    EXPECT_FALSE(R.Err.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExitStatusTest,
    ::testing::ValuesIn(std::vector<TExitCase>{
        {"Done", {"-f", "@"}, 0},
        {"DoneWithAList", {"-f", "@", "-m", "i1,m2"}, 0},
        {"Help", {"--help"}, 0},
        {"Version", {"--version"}, 0},
        {"UnknownOption", {"-f", "@", "--frobnicate"}, 2},
        {"UnknownBaseType", {"-f", "@", "-b", "sepia"}, 2},
        {"UnknownTargetType", {"-f", "@", "--target", "gold"}, 2},
        {"UnknownMap", {"-f", "@", "-m", "i1,zz9"}, 2},
        {"RequestedBaseMissing", {"-f", "@", "-m", "i1,tk1"}, 2},
        {"RequestedBaseMissingForThatBaseType", {"-f", "@", "-m", "i1", "-b", "xray"}, 2},
        {"NoSuchFolder", {"-f", "@/nowhere"}, 2},
        {"OptionWithoutValue", {"-f"}, 2},
        {"RestoreWithNothingToRestore", {"-f", "@", "--restore"}, 0},
        {"RestoreOfANamedMapWithoutBackup", {"-f", "@", "--restore", "-m", "i1"}, 2},
        {"RestoreWithABaseType", {"-f", "@", "--restore", "-b", "xray"}, 2},
        {"RestoreOfAnUnknownMap", {"-f", "@", "--restore", "-m", "zz9"}, 2}}),
    [](const ::testing::TestParamInfo<TExitCase>& info) { return std::string(info.param.Name); });

TEST_F(VeldrinGridTest, AFailedJobPrintsItsMessageAndStopsTheRunThere) {
  WriteFileBytes(Base(fcIlshenar, msFull), SmallMap());
  WriteFileBytes(Base(fcMalas, msFull), Bytes(100, 'x'));
  WriteFileBytes(Base(fcTokuno, msFull), SmallMap());
  const TRunResult R = RunGrid({"-f", Folder()});
  EXPECT_EQ(R.Status, 1);
  EXPECT_TRUE(std::filesystem::exists(Dir.File("MAP2-X1.BMP")));
  EXPECT_FALSE(std::filesystem::exists(Dir.File("MAP3-X1.BMP")));
  EXPECT_FALSE(std::filesystem::exists(Dir.File("MAP4-X1.BMP")));
  EXPECT_EQ(R.Err.find(" 徳之島"), std::string::npos) << R.Err;
  EXPECT_EQ(R.Err.find("完了しました"), std::string::npos);
}

// ---- what it prints --------------------------------------------------------------------------

TEST_F(VeldrinGridTest, PrintsEachStageAndEachNewTenthOfTheDrawingWhenNotOnATerminal) {
  WriteFileBytes(Base(fcMalas, msQuarter), SmallMap(6, 50));
  const TRunResult R = RunGrid({"-f", Folder()});
  ASSERT_EQ(R.Status, 0) << R.Err;
  const std::string N = " マラス 1/4";
  std::string Drawing;
  for (const char* P : {"2", "10", "20", "30", "40", "50", "60", "70", "80", "90", "100"})
    Drawing += N + " : drawing[" + P + "%]\n";
  EXPECT_EQ(R.Err, N + "\n" + N + " : check bitmap\n" + N + " : loading\n" + Drawing + N +
                       " : 減色中\n" + N + " : saving\n 完了しました\n");
  EXPECT_TRUE(R.Out.empty());
}

TEST_F(VeldrinGridTest, RewritesTheDrawingPercentageInPlaceOnATerminal) {
  WriteFileBytes(Base(fcMalas, msQuarter), SmallMap(6, 300));
  int Master = -1;
  const pid_t Pid = ::forkpty(&Master, nullptr, nullptr, nullptr);
  ASSERT_GE(Pid, 0);
  if (Pid == 0) {
    ::execl(VELDRIN_GRID_BINARY, VELDRIN_GRID_BINARY, "-f", Folder().c_str(), nullptr);
    ::_exit(127);
  }
  std::string Screen;
  char Buf[4096];
  for (ssize_t N; (N = ::read(Master, Buf, sizeof Buf)) > 0;)
    Screen.append(Buf, static_cast<std::size_t>(N));
  ::close(Master);
  int Status = 0;
  ::waitpid(Pid, &Status, 0);
  ASSERT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0) << Screen;
  // The terminal turns each line break into CR LF; what is left of CR rewrites the line.
  for (std::size_t At; (At = Screen.find("\r\n")) != std::string::npos;)
    Screen.replace(At, 2, "\n");
  const std::string N = " マラス 1/4";
  EXPECT_NE(Screen.find(N + " : drawing[0%]\r" + N + " : drawing[1%]\x1b[K\r"), std::string::npos)
      << Screen;
  EXPECT_NE(Screen.find("\r" + N + " : drawing[100%]\x1b[K\n" + N + " : 減色中\n"),
            std::string::npos)
      << Screen;
  EXPECT_EQ(std::count(Screen.begin(), Screen.end(), '\n'), 7) << Screen;
}

TEST_F(VeldrinGridTest, QuietPrintsNothingButErrors) {
  WriteFileBytes(Base(fcMalas, msQuarter), SmallMap());
  TRunResult R = RunGrid({"-q", "-f", Folder()});
  EXPECT_EQ(R.Status, 0);
  EXPECT_EQ(R.Err + R.Out, "");
  WriteFileBytes(Base(fcMalas, msQuarter), Bytes(80, 'x'));
  R = RunGrid({"-q", "-f", Folder()});
  EXPECT_EQ(R.Status, 1);
  EXPECT_FALSE(R.Err.empty());
}

TEST_F(VeldrinGridTest, ADryRunListsTheFilesAndChangesNothing) {
  WriteFileBytes(Base(fcFeluccaTrammel, msHalf), SmallMap());
  WriteFileBytes(Dir.File("MAP0-X2.BMP"), {1});  // would be backed up
  WriteFileBytes(Dir.File("MAP1-X2.BMP"), {2});
  WriteFileBytes(Dir.File("MAP1-X2.OLD"), {3});  // has its backup already
  const std::vector<TRgb> Grey{{0, 0, 0}, {9, 9, 9}};
  WriteFileBytes(Base(fcTokuno, msQuarter),
                 Bmp8(
                     5, 3, Grey, [](int, int) { return std::uint8_t{1}; }, false));
  const auto Before = Snapshot(Dir);
  const TRunResult R = RunGrid({"-n", "-f", Folder()});
  EXPECT_EQ(R.Status, 0) << R.Err;
  EXPECT_EQ(Snapshot(Dir), Before);
  const std::string F = Folder() + "/";
  for (const std::string& Line :
       {"  read     " + F + "MAP25166902-2.BMP\n",
        "  back up  " + F + "MAP0-X2.BMP -> " + F + "MAP0-X2.OLD\n",
        "  write    " + F + "MAP0-X2.BMP\n", "  write    " + F + "MAP1-X2.BMP\n",
        "  repair   " + F + "MAP2097782-4.BMP (the bad file kept as " + F +
            "MAP2097782-4_BAD_DATA.BMP)\n",
        "  write    " + F + "MAP4-X4.BMP\n"}) {
    EXPECT_NE(R.Out.find(Line), std::string::npos) << Line << "\nin\n" << R.Out;
  }
  EXPECT_EQ(R.Out.find("MAP1-X2.BMP ->"), std::string::npos);
}

// ---- the result ------------------------------------------------------------------------------

TEST_F(VeldrinGridTest, ResultPixelsAreTheNearestTableEntriesOfTheGriddedColours) {
  // A scrambled colour table with a few repeated entries, and scrambled pixels.
  std::uint32_t Seed = 12345;
  auto Next = [&Seed] {
    Seed = Seed * 1103515245u + 12345u;
    return static_cast<std::uint8_t>(Seed >> 16);
  };
  std::vector<TRgb> Palette(256);
  for (TRgb& C : Palette) C = TRgb{Next(), Next(), Next()};
  for (int I = 200; I < 210; ++I)
    Palette[static_cast<std::size_t>(I)] = Palette[static_cast<std::size_t>(I - 100)];
  const int W = 37, H = 23;
  std::vector<std::uint8_t> Indices(W * H);
  for (auto& I : Indices) I = Next();
  WriteFileBytes(Base(fcMalas, msQuarter),
                 Bmp8(W, H, Palette, [&](int X, int Y) { return Indices[Y * W + X]; }));

  const TRunResult R = RunGrid({"-f", Folder(), "-m", "m4", "-t", "nostatics"});
  ASSERT_EQ(R.Status, 0) << R.Err;
  const Bytes Out = ReadFileBytes(Dir.File("MAP3-NS4.BMP"));
  const std::uint32_t Off = Out[10] | Out[11] << 8 | Out[12] << 16;
  ASSERT_EQ(Out[28], 8);
  const int Stride = DibStride(W, 8);
  for (int Y = 0; Y < H; ++Y) {
    for (int X = 0; X < W; ++X) {
      TRgb C = Palette[Indices[static_cast<std::size_t>(Y * W + X)]];
      if (Y % 2 == 0 || X % 2 == 0) C = TRgb{White40(C.R), White40(C.G), White40(C.B)};
      int Best = 0, BestDistance = 1 << 30;
      for (int I = 0; I < 256; ++I) {
        const TRgb& P = Palette[static_cast<std::size_t>(I)];
        const int D =
            (P.R - C.R) * (P.R - C.R) + (P.G - C.G) * (P.G - C.G) + (P.B - C.B) * (P.B - C.B);
        if (D < BestDistance) BestDistance = D, Best = I;
      }
      ASSERT_EQ(Out[Off + static_cast<std::size_t>((H - 1 - Y) * Stride + X)], Best)
          << X << "," << Y;
    }
  }
}

// ---- saving that fails, interrupts -----------------------------------------------------------

TEST_F(VeldrinGridTest, ASaveBeyondTheFileSizeLimitKeepsTheOldTargetAndLeavesNoTemporary) {
  WriteFileBytes(Base(fcIlshenar, msFull), SmallMap(200, 100));  // a result of about 21 kB
  WriteFileBytes(Dir.File("MAP2-X1.BMP"), {4, 5, 6});
  TRunOptions Options;
  Options.FileSizeLimit = 8192;
  const TRunResult R = RunGrid({"-f", Folder()}, Options);
  EXPECT_EQ(R.Status, 1) << R.Err;
  EXPECT_NE(R.Err.find("ストリームへの書き込みエラー"), std::string::npos) << R.Err;
  EXPECT_EQ(ReadFileBytes(Dir.File("MAP2-X1.BMP")), (Bytes{4, 5, 6}));
  EXPECT_EQ(FileNames(Dir), (std::vector<std::string>{"MAP2-X1.BMP", "MAP3687478-1.BMP"}));
}

TEST_F(VeldrinGridTest, ASaveBeyondTheLimitChangesNeitherFeluccaNorTrammel) {
  WriteFileBytes(Base(fcFeluccaTrammel, msQuarter), SmallMap(200, 60));  // about 12 kB
  WriteFileBytes(Dir.File("MAP0-X4.BMP"), {0});
  TRunOptions Options;
  Options.FileSizeLimit = 8000;
  const TRunResult R = RunGrid({"-f", Folder()}, Options);
  EXPECT_EQ(R.Status, 1) << R.Err;
  EXPECT_EQ(FileNames(Dir), (std::vector<std::string>{"MAP0-X4.BMP", "MAP25166902-4.BMP"}));
  EXPECT_EQ(ReadFileBytes(Dir.File("MAP0-X4.BMP")), Bytes{0});
}

// A signal that comes as the program writes one of its texts of the first of two maps, whatever
// the machine's speed: strace delivers it on that write. The second map never starts.
struct TInterruptCase {
  const char* Name;
  int Text;  // the signal comes with this text on standard error (1: the map's name)
  const char* Signal;
  int Status;
  bool CanceledText;  // the run ends with " 中止しました"
  bool FirstSaved;    // the first map had passed its last row: it is finished and saved
};
void PrintTo(const TInterruptCase& C, std::ostream* Os) {
  *Os << C.Name;
}

class InterruptTest : public VeldrinGridTest,
                      public ::testing::WithParamInterface<TInterruptCase> {};

TEST_P(InterruptTest, StopsTheRunBeforeTheNextMap) {
  if (const char* Why = WritesUncountable()) GTEST_SKIP() << Why;
  const TInterruptCase& C = GetParam();
  WriteSampleMap(Folder(), fcFeluccaTrammel, msFull);
  WriteFileBytes(Base(fcIlshenar, msFull), SmallMap());
  TRunOptions Options;
  Options.Strace = {"-e", "trace=write", "-e",
                    std::string("inject=write:signal=") + C.Signal + ":when=" +
                        std::to_string(C.Text)};
  const TRunResult R = RunGrid({"-f", Folder()}, Options);
  EXPECT_EQ(R.Status, C.Status) << R.Err;
  EXPECT_EQ(R.Err.find(" 中止しました\n") != std::string::npos, C.CanceledText) << R.Err;
  EXPECT_EQ(R.Err.find("drawing[100%]") != std::string::npos, C.FirstSaved) << R.Err;
  EXPECT_EQ(R.Err.find("イルシェナー"), std::string::npos) << R.Err;
  std::vector<std::string> Files{"MAP25166902-1.BMP", "MAP3687478-1.BMP"};
  if (C.FirstSaved) Files.insert(Files.begin(), {"MAP0-X1.BMP", "MAP1-X1.BMP"});
  EXPECT_EQ(FileNames(Dir), Files);
}

// The texts: 1 the map's name, 2 check bitmap, 3 loading, 4 to 14 drawing[0%] to [100%],
// 15 減色中, 16 saving.
INSTANTIATE_TEST_SUITE_P(
    Signals, InterruptTest,
    ::testing::ValuesIn(std::vector<TInterruptCase>{
        {"CtrlCAtTheJobsStart", 1, "SIGINT", 130, true, false},
        {"CtrlCWhenTheDrawingShows", 4, "SIGINT", 130, true, false},
        {"CtrlCWhileReducing", 15, "SIGINT", 130, true, true},
        {"TerminateWhileReducing", 15, "SIGTERM", 143, false, true},
        {"HangUpWhileReducing", 15, "SIGHUP", 143, false, true}}),
    [](const ::testing::TestParamInfo<TInterruptCase>& info) {
      return std::string(info.param.Name);
    });

// One Ctrl-C with the check-bitmap text, the next with the loading text.
TEST_F(VeldrinGridTest, ASecondInterruptEndsTheProgramAtOnce) {
  if (const char* Why = WritesUncountable()) GTEST_SKIP() << Why;
  WriteSampleMap(Folder(), fcFeluccaTrammel, msFull);
  TRunOptions Options;
  Options.Strace = {"-e", "trace=write", "-e", "inject=write:signal=SIGINT:when=2+"};
  const TRunResult R = RunGrid({"-f", Folder()}, Options);
  EXPECT_EQ(R.Status, 130) << R.Err;
  EXPECT_EQ(R.Err.find("中止しました"), std::string::npos) << R.Err;
  EXPECT_FALSE(std::filesystem::exists(Dir.File("MAP0-X1.BMP")));
}

// ---- the sample ------------------------------------------------------------------------------

TEST_F(VeldrinGridTest, TheSampleFolderHoldsTheTwelveBaseMapsAndARunMakesFifteenTargets) {
  const std::string Sample = Folder() + "/sample";
  TRunResult R = RunGrid({"--sample", Sample, "-q"});
  ASSERT_EQ(R.Status, 0) << R.Err;
  EXPECT_EQ(std::filesystem::file_size(Sample + "/MAP25166902-1.BMP"), 25166902u);
  int Files = 0;
  for (const auto& E : std::filesystem::directory_iterator(Sample))
    Files += E.is_regular_file() ? 1 : 0;
  EXPECT_EQ(Files, 12);

  R = RunGrid({"-f", Sample, "-m", "tk1,tk2,tk4,i4"});
  ASSERT_EQ(R.Status, 0) << R.Err;
  EXPECT_NE(R.Err.find(" 徳之島 1/4 : fixed illegal format\n"), std::string::npos) << R.Err;
  EXPECT_TRUE(std::filesystem::exists(Sample + "/MAP2097782-4_BAD_DATA.BMP"));
  for (const char* Name : {"MAP4-X1.BMP", "MAP4-X2.BMP", "MAP4-X4.BMP", "MAP2-X4.BMP"}) {
    EXPECT_TRUE(std::filesystem::exists(Sample + "/" + Name)) << Name;
  }
}

TEST_F(VeldrinGridTest, TheSampleStopsBeforeWritingAnythingWhereAMapNameExists) {
  WriteFileBytes(Base(fcMalas, msHalf), {7});
  const auto Before = Snapshot(Dir);
  const TRunResult R = RunGrid({"--sample", Folder()});
  EXPECT_EQ(R.Status, 2) << R.Err;
  EXPECT_EQ(R.Err, "veldrin-grid: --sample never replaces a file, and " +
                       Dir.File("MAP5243958-2.BMP") + " exists; nothing was written\n");
  EXPECT_EQ(Snapshot(Dir), Before);
}

TEST_F(VeldrinGridTest, TheSampleWritesNothingIntoAFolderThatARunHolds) {
  testsupport::LimitThisTest(std::chrono::seconds(10));  // a busy lock is never waited for
  const TFolderLock Run(Folder());
  const TRunResult R = RunGrid({"--sample", Folder()});
  EXPECT_EQ(R.Status, 1);
  EXPECT_EQ(R.Err, "veldrin-grid: another run is working on " + Folder() +
                       "; try again when it has finished\n");
  EXPECT_TRUE(FileNames(Dir).empty());
}

// ---- the folder: leftovers, lock ---------------------------------------------------------------

TEST_F(VeldrinGridTest, ARunAfterAKillLeavesNoTemporary) {
  WriteFileBytes(Base(fcIlshenar, msFull), SmallMap());
  // What runs killed while saving and while repairing left, and a file of the user's.
  WriteFileBytes(Dir.File(".veldrin-save-Ab12Cd.tmp"), Bytes(50, 1));
  WriteFileBytes(Dir.File(".veldrin-repair-xyz123.tmp"), Bytes(50, 2));
  WriteFileBytes(Dir.File(".veldrin-notes.tmp"), {3});
  const TRunResult R = RunGrid({"-f", Folder(), "-q"});
  EXPECT_EQ(R.Status, 0) << R.Err;
  EXPECT_EQ(FileNames(Dir),
            (std::vector<std::string>{".veldrin-notes.tmp", "MAP2-X1.BMP", "MAP3687478-1.BMP"}));
}

TEST_F(VeldrinGridTest, AFolderThatCannotBeLockedIsWorkedOnAndTheRunSaysSo) {
  WriteFileBytes(Base(fcIlshenar, msFull), SmallMap());
  using std::filesystem::perms;
  // Writable and searchable but not readable: the folder cannot be opened to lock it.
  std::filesystem::permissions(Dir.Path(), perms::owner_write | perms::owner_exec |
                                               perms::others_write | perms::others_exec);
  TRunOptions AsUser;
  AsUser.Unprivileged = true;
  const TRunResult R = RunGrid({"-f", Folder()}, AsUser);
  std::filesystem::permissions(Dir.Path(), perms::owner_all);
  EXPECT_EQ(R.Status, 0) << R.Err;
  EXPECT_NE(R.Err.find(" Folder cannot be locked: start no other run on it\n"), std::string::npos)
      << R.Err;
  EXPECT_TRUE(std::filesystem::exists(Dir.File("MAP2-X1.BMP")));
}

// ---- restore from the backups ----------------------------------------------------------------

class RestoreTest : public VeldrinGridTest {
 protected:
  // Base maps of Felucca and Trammel at half size and of Ilshenar and Malas at full size;
  // targets of the first two existed before any run (both Felucca and Trammel names).
  void PutFolder() {
    WriteFileBytes(Base(fcFeluccaTrammel, msHalf), SmallMap());
    WriteFileBytes(Base(fcIlshenar, msFull), SmallMap());
    WriteFileBytes(Base(fcMalas, msFull), SmallMap());
    WriteFileBytes(Dir.File("MAP0-X2.BMP"), {0});
    WriteFileBytes(Dir.File("MAP1-X2.BMP"), {1, 1});
    WriteFileBytes(Dir.File("MAP2-X1.BMP"), {2});
  }
};

TEST_F(RestoreTest, ARunThenARestoreLeavesTheFolderByteForByteAsBefore) {
  PutFolder();
  const auto Before = Snapshot(Dir);
  ASSERT_EQ(RunGrid({"-f", Folder(), "-q"}).Status, 0);
  const auto AfterRun = Snapshot(Dir);
  ASSERT_NE(AfterRun, Before);

  TRunResult R = RunGrid({"-f", Folder(), "--restore", "-n"});
  EXPECT_EQ(R.Status, 0) << R.Err;
  const auto Rename = [this](const char* Backup, const char* Target) {
    return "  restore  " + Dir.File(Backup) + " -> " + Dir.File(Target) + "\n";
  };
  EXPECT_EQ(R.Out, " ﾌｪﾙｯｶ & ﾄﾗﾒﾙ 1/2 [ft2]\n" + Rename("MAP0-X2.OLD", "MAP0-X2.BMP") +
                       Rename("MAP1-X2.OLD", "MAP1-X2.BMP") + " イルシェナー 等倍 [i1]\n" +
                       Rename("MAP2-X1.OLD", "MAP2-X1.BMP"));
  EXPECT_EQ(Snapshot(Dir), AfterRun);

  R = RunGrid({"-f", Folder(), "--restore", "-m", "all"});
  EXPECT_EQ(R.Status, 0) << R.Err;
  EXPECT_EQ(R.Err, " ﾌｪﾙｯｶ & ﾄﾗﾒﾙ 1/2 : 復元しました\n イルシェナー 等倍 : 復元しました\n");
  // Malas had no target before the run, hence no backup: its result stays.
  EXPECT_EQ(std::filesystem::remove(Dir.File("MAP3-X1.BMP")), true);
  EXPECT_EQ(Snapshot(Dir), Before);
}

TEST_F(RestoreTest, ANamedMapWithoutBackupIsReportedAndSkippedAndTheOthersAreRestored) {
  PutFolder();
  ASSERT_EQ(RunGrid({"-f", Folder(), "-q"}).Status, 0);
  const TRunResult R = RunGrid({"-f", Folder(), "--restore", "-m", "m1,i1", "-t", "XRAY"});
  EXPECT_EQ(R.Status, 2);
  // Maps go in the order of a run.
  EXPECT_EQ(R.Err, " イルシェナー 等倍 : 復元しました\nveldrin-grid: no backup for m1: " +
                       Dir.File("MAP3-X1.OLD") + " (" + Dir.File("MAP3-X1.BMP") +
                       " left as it is)\n");
  EXPECT_EQ(ReadFileBytes(Dir.File("MAP2-X1.BMP")), Bytes{2});
  EXPECT_TRUE(std::filesystem::exists(Dir.File("MAP0-X2.OLD")));
}

TEST_F(RestoreTest, AFailedRestoreInAnUnwritableFolderExitsWithOneAndLosesNothing) {
  PutFolder();
  ASSERT_EQ(RunGrid({"-f", Folder(), "-q"}).Status, 0);
  const auto Before = Snapshot(Dir);
  using std::filesystem::perms;
  std::filesystem::permissions(Dir.Path(), perms::owner_read | perms::owner_exec |
                                               perms::others_read | perms::others_exec);
  TRunOptions AsUser;
  AsUser.Unprivileged = true;
  const TRunResult R = RunGrid({"-f", Folder(), "--restore"}, AsUser);
  std::filesystem::permissions(Dir.Path(), std::filesystem::perms::owner_all);
  EXPECT_EQ(R.Status, 1) << R.Err;
  EXPECT_NE(R.Err.find(Dir.File("MAP0-X2.BMP")), std::string::npos) << R.Err;
  EXPECT_EQ(Snapshot(Dir), Before);
}

}  // namespace
