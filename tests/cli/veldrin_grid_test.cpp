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

using testsupport::BmpLayout;
using testsupport::BuildBmp;
using testsupport::DibStride;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;
using Bytes = std::vector<std::uint8_t>;

struct TRunResult {
  int status = -1;  // the exit status, or 128 + the signal that ended the program
  std::string out;
  std::string err;
};

struct TRunOptions {
  std::int64_t fileSizeLimit = -1;  // RLIMIT_FSIZE for the program, -1: none
  bool unprivileged = false;        // run as an ordinary user even when the test runs as root
  // Runs the program under strace with these options, which can signal it at an exact system
  // call: "inject=write:signal=SIGINT:when=4", its fourth write.
  std::vector<std::string> strace;
};

// Why a program's writes cannot be counted to find one of its texts, or nothing: a sanitizer's
// runtime writes to pipes of its own, as many times as it needs, and a container may forbid
// tracing.
const char* WritesUncountable() {
#if defined(__SANITIZE_ADDRESS__)
  return "the sanitizer runtime makes writes of its own";
#else
  static const bool traces = ::system("strace -o /dev/null true >/dev/null 2>&1") == 0;
  return traces ? nullptr : "strace cannot trace a program here";
#endif
}

TRunResult RunGrid(const std::vector<std::string>& Args, const TRunOptions& Options = {}) {
  int out[2], err[2];
  if (::pipe(out) != 0 || ::pipe(err) != 0) throw std::runtime_error("pipe");
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(out[1], STDOUT_FILENO);
    ::dup2(err[1], STDERR_FILENO);
    ::close(out[0]);
    ::close(err[0]);
    ::close(out[1]);
    ::close(err[1]);
    if (Options.fileSizeLimit >= 0) {
      const rlimit limit{static_cast<rlim_t>(Options.fileSizeLimit),
                         static_cast<rlim_t>(Options.fileSizeLimit)};
      ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (Options.unprivileged && ::geteuid() == 0 &&
        (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
      ::_exit(126);
    }
    std::vector<std::string> command;
    if (!Options.strace.empty()) {
      command = {"strace", "-o", "/dev/null"};
      command.insert(command.end(), Options.strace.begin(), Options.strace.end());
      // A sanitizer build's leak check cannot run under a tracer and would fail the program.
      const char* asan = std::getenv("ASAN_OPTIONS");
      ::setenv("ASAN_OPTIONS", (std::string(asan ? asan : "") + ":detect_leaks=0").c_str(), 1);
    }
    command.push_back(VELDRIN_GRID_BINARY);
    command.insert(command.end(), Args.begin(), Args.end());
    std::vector<char*> argv;
    for (const std::string& a : command) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(out[1]);
  ::close(err[1]);
  TRunResult result;
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  int open = 2;
  char buf[4096];
  while (open > 0) {
    if (::poll(fds, 2, -1) < 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
      if (n <= 0) {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open;
        continue;
      }
      (i == 0 ? result.out : result.err).append(buf, static_cast<std::size_t>(n));
    }
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

std::uint8_t White40(std::uint8_t c) {
  return static_cast<std::uint8_t>((c * 6 + 1020) / 10);
}

struct Rgb {
  std::uint8_t r, g, b;
};

// An 8-bit map with the given colour table; Padded false stores its rows back to back.
Bytes Bmp8(int w, int h, const std::vector<Rgb>& Palette,
           const std::function<std::uint8_t(int, int)>& Index, bool Padded = true) {
  BmpLayout bmp;
  bmp.width = w;
  bmp.height = h;
  bmp.bit_count = 8;
  for (const Rgb& c : Palette) bmp.colors.insert(bmp.colors.end(), {c.b, c.g, c.r, 0});
  bmp.clr_used = static_cast<std::uint32_t>(Palette.size());
  const int stride = Padded ? DibStride(w, 8) : w;
  bmp.pixels.assign(static_cast<std::size_t>(stride * h), 0);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x)
      bmp.pixels[static_cast<std::size_t>((h - 1 - y) * stride + x)] = Index(x, y);
  }
  return BuildBmp(bmp);
}

Bytes SmallMap(int w = 16, int h = 12) {
  return Bmp8(w, h, {{0, 0, 0}, {102, 102, 102}, {30, 90, 200}, {120, 156, 222}},
              [](int x, int y) { return static_cast<std::uint8_t>((x + y) % 3 == 0 ? 2 : 0); });
}

using testsupport::FileNames;
using testsupport::Snapshot;

class VeldrinGridTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::string Folder() const { return dir.path().string(); }
  std::string Base(Facet F, MapScale S, MapType T = mtNormal) const {
    return GetBaseFileName(Folder(), F, T, S);
  }
};

// ---- exit statuses --------------------------------------------------------------------------

struct ExitCase {
  const char* name;
  std::vector<std::string> args;  // "@" stands for the folder
  int status;
};
void PrintTo(const ExitCase& c, std::ostream* os) {
  *os << c.name;
}

class ExitStatusTest : public VeldrinGridTest, public ::testing::WithParamInterface<ExitCase> {};

TEST_P(ExitStatusTest, EndsWithTheDocumentedStatusAndChangesNothingOnAUsageError) {
  WriteFileBytes(Base(fcIlshenar, msFull), SmallMap());
  WriteFileBytes(Base(fcMalas, msHalf), SmallMap());
  std::vector<std::string> args = GetParam().args;
  for (std::string& a : args) {
    if (a == "@") a = Folder();
  }
  const auto before = Snapshot(dir);
  const TRunResult r = RunGrid(args);
  EXPECT_EQ(r.status, GetParam().status) << r.err;
  if (r.status == 2) {
    EXPECT_EQ(Snapshot(dir), before);
    EXPECT_FALSE(r.err.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExitStatusTest,
    ::testing::ValuesIn(std::vector<ExitCase>{
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
    [](const ::testing::TestParamInfo<ExitCase>& info) { return std::string(info.param.name); });

TEST_F(VeldrinGridTest, AFailedJobPrintsItsMessageAndStopsTheRunThere) {
  WriteFileBytes(Base(fcIlshenar, msFull), SmallMap());
  WriteFileBytes(Base(fcMalas, msFull), Bytes(100, 'x'));
  WriteFileBytes(Base(fcTokuno, msFull), SmallMap());
  const TRunResult r = RunGrid({"-f", Folder()});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(std::filesystem::exists(dir.file("MAP2-X1.BMP")));
  EXPECT_FALSE(std::filesystem::exists(dir.file("MAP3-X1.BMP")));
  EXPECT_FALSE(std::filesystem::exists(dir.file("MAP4-X1.BMP")));
  EXPECT_EQ(r.err.find(" 徳之島"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("完了しました"), std::string::npos);
}

// ---- what it prints --------------------------------------------------------------------------

TEST_F(VeldrinGridTest, PrintsEachStageAndEachNewTenthOfTheDrawingWhenNotOnATerminal) {
  WriteFileBytes(Base(fcMalas, msQuarter), SmallMap(6, 50));
  const TRunResult r = RunGrid({"-f", Folder()});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string n = " マラス 1/4";
  std::string drawing;
  for (const char* p : {"2", "10", "20", "30", "40", "50", "60", "70", "80", "90", "100"})
    drawing += n + " : drawing[" + p + "%]\n";
  EXPECT_EQ(r.err, n + "\n" + n + " : check bitmap\n" + n + " : loading\n" + drawing + n +
                       " : 減色中\n" + n + " : saving\n 完了しました\n");
  EXPECT_TRUE(r.out.empty());
}

TEST_F(VeldrinGridTest, RewritesTheDrawingPercentageInPlaceOnATerminal) {
  WriteFileBytes(Base(fcMalas, msQuarter), SmallMap(6, 300));
  int master = -1;
  const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::execl(VELDRIN_GRID_BINARY, VELDRIN_GRID_BINARY, "-f", Folder().c_str(), nullptr);
    ::_exit(127);
  }
  std::string screen;
  char buf[4096];
  for (ssize_t n; (n = ::read(master, buf, sizeof buf)) > 0;)
    screen.append(buf, static_cast<std::size_t>(n));
  ::close(master);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << screen;
  // The terminal turns each line break into CR LF; what is left of CR rewrites the line.
  for (std::size_t at; (at = screen.find("\r\n")) != std::string::npos;)
    screen.replace(at, 2, "\n");
  const std::string n = " マラス 1/4";
  EXPECT_NE(screen.find(n + " : drawing[0%]\r" + n + " : drawing[1%]\x1b[K\r"), std::string::npos)
      << screen;
  EXPECT_NE(screen.find("\r" + n + " : drawing[100%]\x1b[K\n" + n + " : 減色中\n"),
            std::string::npos)
      << screen;
  EXPECT_EQ(std::count(screen.begin(), screen.end(), '\n'), 7) << screen;
}

TEST_F(VeldrinGridTest, QuietPrintsNothingButErrors) {
  WriteFileBytes(Base(fcMalas, msQuarter), SmallMap());
  TRunResult r = RunGrid({"-q", "-f", Folder()});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err + r.out, "");
  WriteFileBytes(Base(fcMalas, msQuarter), Bytes(80, 'x'));
  r = RunGrid({"-q", "-f", Folder()});
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(r.err.empty());
}

TEST_F(VeldrinGridTest, ADryRunListsTheFilesAndChangesNothing) {
  WriteFileBytes(Base(fcFeluccaTrammel, msHalf), SmallMap());
  WriteFileBytes(dir.file("MAP0-X2.BMP"), {1});  // would be backed up
  WriteFileBytes(dir.file("MAP1-X2.BMP"), {2});
  WriteFileBytes(dir.file("MAP1-X2.OLD"), {3});  // has its backup already
  const std::vector<Rgb> grey{{0, 0, 0}, {9, 9, 9}};
  WriteFileBytes(Base(fcTokuno, msQuarter),
                 Bmp8(
                     5, 3, grey, [](int, int) { return std::uint8_t{1}; }, false));
  const auto before = Snapshot(dir);
  const TRunResult r = RunGrid({"-n", "-f", Folder()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Snapshot(dir), before);
  const std::string f = Folder() + "/";
  for (const std::string& line :
       {"  read     " + f + "MAP25166902-2.BMP\n",
        "  back up  " + f + "MAP0-X2.BMP -> " + f + "MAP0-X2.OLD\n",
        "  write    " + f + "MAP0-X2.BMP\n", "  write    " + f + "MAP1-X2.BMP\n",
        "  repair   " + f + "MAP2097782-4.BMP (the bad file kept as " + f +
            "MAP2097782-4_BAD_DATA.BMP)\n",
        "  write    " + f + "MAP4-X4.BMP\n"}) {
    EXPECT_NE(r.out.find(line), std::string::npos) << line << "\nin\n" << r.out;
  }
  EXPECT_EQ(r.out.find("MAP1-X2.BMP ->"), std::string::npos);
}

// ---- the result ------------------------------------------------------------------------------

TEST_F(VeldrinGridTest, ResultPixelsAreTheNearestTableEntriesOfTheGriddedColours) {
  // A scrambled colour table with a few repeated entries, and scrambled pixels.
  std::uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return static_cast<std::uint8_t>(seed >> 16);
  };
  std::vector<Rgb> palette(256);
  for (Rgb& c : palette) c = Rgb{next(), next(), next()};
  for (int i = 200; i < 210; ++i)
    palette[static_cast<std::size_t>(i)] = palette[static_cast<std::size_t>(i - 100)];
  const int w = 37, h = 23;
  std::vector<std::uint8_t> indices(w * h);
  for (auto& i : indices) i = next();
  WriteFileBytes(Base(fcMalas, msQuarter),
                 Bmp8(w, h, palette, [&](int x, int y) { return indices[y * w + x]; }));

  const TRunResult r = RunGrid({"-f", Folder(), "-m", "m4", "-t", "nostatics"});
  ASSERT_EQ(r.status, 0) << r.err;
  const Bytes out = ReadFileBytes(dir.file("MAP3-NS4.BMP"));
  const std::uint32_t off = out[10] | out[11] << 8 | out[12] << 16;
  ASSERT_EQ(out[28], 8);
  const int stride = DibStride(w, 8);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      Rgb c = palette[indices[static_cast<std::size_t>(y * w + x)]];
      if (y % 2 == 0 || x % 2 == 0) c = Rgb{White40(c.r), White40(c.g), White40(c.b)};
      int best = 0, bestDistance = 1 << 30;
      for (int i = 0; i < 256; ++i) {
        const Rgb& p = palette[static_cast<std::size_t>(i)];
        const int d =
            (p.r - c.r) * (p.r - c.r) + (p.g - c.g) * (p.g - c.g) + (p.b - c.b) * (p.b - c.b);
        if (d < bestDistance) bestDistance = d, best = i;
      }
      ASSERT_EQ(out[off + static_cast<std::size_t>((h - 1 - y) * stride + x)], best)
          << x << "," << y;
    }
  }
}

// ---- saving that fails, interrupts -----------------------------------------------------------

TEST_F(VeldrinGridTest, ASaveBeyondTheFileSizeLimitKeepsTheOldTargetAndLeavesNoTemporary) {
  WriteFileBytes(Base(fcIlshenar, msFull), SmallMap(200, 100));  // a result of about 21 kB
  WriteFileBytes(dir.file("MAP2-X1.BMP"), {4, 5, 6});
  TRunOptions options;
  options.fileSizeLimit = 8192;
  const TRunResult r = RunGrid({"-f", Folder()}, options);
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("ストリームへの書き込みエラー"), std::string::npos) << r.err;
  EXPECT_EQ(ReadFileBytes(dir.file("MAP2-X1.BMP")), (Bytes{4, 5, 6}));
  EXPECT_EQ(FileNames(dir), (std::vector<std::string>{"MAP2-X1.BMP", "MAP3687478-1.BMP"}));
}

TEST_F(VeldrinGridTest, ASaveBeyondTheLimitChangesNeitherFeluccaNorTrammel) {
  WriteFileBytes(Base(fcFeluccaTrammel, msQuarter), SmallMap(200, 60));  // about 12 kB
  WriteFileBytes(dir.file("MAP0-X4.BMP"), {0});
  TRunOptions options;
  options.fileSizeLimit = 8000;
  const TRunResult r = RunGrid({"-f", Folder()}, options);
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(FileNames(dir), (std::vector<std::string>{"MAP0-X4.BMP", "MAP25166902-4.BMP"}));
  EXPECT_EQ(ReadFileBytes(dir.file("MAP0-X4.BMP")), Bytes{0});
}

// A signal that comes as the program writes one of its texts of the first of two maps, whatever
// the machine's speed: strace delivers it on that write. The second map never starts.
struct InterruptCase {
  const char* name;
  int text;  // the signal comes with this text on standard error (1: the map's name)
  const char* signal;
  int status;
  bool canceledText;  // the run ends with " 中止しました"
  bool firstSaved;    // the first map had passed its last row: it is finished and saved
};
void PrintTo(const InterruptCase& c, std::ostream* os) {
  *os << c.name;
}

class InterruptTest : public VeldrinGridTest,
                      public ::testing::WithParamInterface<InterruptCase> {};

TEST_P(InterruptTest, StopsTheRunBeforeTheNextMap) {
  if (const char* why = WritesUncountable()) GTEST_SKIP() << why;
  const InterruptCase& c = GetParam();
  WriteSampleMap(Folder(), fcFeluccaTrammel, msFull);
  WriteFileBytes(Base(fcIlshenar, msFull), SmallMap());
  TRunOptions options;
  options.strace = {"-e", "trace=write", "-e",
                    std::string("inject=write:signal=") + c.signal + ":when=" +
                        std::to_string(c.text)};
  const TRunResult r = RunGrid({"-f", Folder()}, options);
  EXPECT_EQ(r.status, c.status) << r.err;
  EXPECT_EQ(r.err.find(" 中止しました\n") != std::string::npos, c.canceledText) << r.err;
  EXPECT_EQ(r.err.find("drawing[100%]") != std::string::npos, c.firstSaved) << r.err;
  EXPECT_EQ(r.err.find("イルシェナー"), std::string::npos) << r.err;
  std::vector<std::string> files{"MAP25166902-1.BMP", "MAP3687478-1.BMP"};
  if (c.firstSaved) files.insert(files.begin(), {"MAP0-X1.BMP", "MAP1-X1.BMP"});
  EXPECT_EQ(FileNames(dir), files);
}

// The texts: 1 the map's name, 2 check bitmap, 3 loading, 4 to 14 drawing[0%] to [100%],
// 15 減色中, 16 saving.
INSTANTIATE_TEST_SUITE_P(
    Signals, InterruptTest,
    ::testing::ValuesIn(std::vector<InterruptCase>{
        {"CtrlCAtTheJobsStart", 1, "SIGINT", 130, true, false},
        {"CtrlCWhenTheDrawingShows", 4, "SIGINT", 130, true, false},
        {"CtrlCWhileReducing", 15, "SIGINT", 130, true, true},
        {"TerminateWhileReducing", 15, "SIGTERM", 143, false, true},
        {"HangUpWhileReducing", 15, "SIGHUP", 143, false, true}}),
    [](const ::testing::TestParamInfo<InterruptCase>& info) {
      return std::string(info.param.name);
    });

// One Ctrl-C with the check-bitmap text, the next with the loading text.
TEST_F(VeldrinGridTest, ASecondInterruptEndsTheProgramAtOnce) {
  if (const char* why = WritesUncountable()) GTEST_SKIP() << why;
  WriteSampleMap(Folder(), fcFeluccaTrammel, msFull);
  TRunOptions options;
  options.strace = {"-e", "trace=write", "-e", "inject=write:signal=SIGINT:when=2+"};
  const TRunResult r = RunGrid({"-f", Folder()}, options);
  EXPECT_EQ(r.status, 130) << r.err;
  EXPECT_EQ(r.err.find("中止しました"), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(dir.file("MAP0-X1.BMP")));
}

// ---- the sample ------------------------------------------------------------------------------

TEST_F(VeldrinGridTest, TheSampleFolderHoldsTheTwelveBaseMapsAndARunMakesFifteenTargets) {
  const std::string sample = Folder() + "/sample";
  TRunResult r = RunGrid({"--sample", sample, "-q"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(std::filesystem::file_size(sample + "/MAP25166902-1.BMP"), 25166902u);
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(sample))
    files += e.is_regular_file() ? 1 : 0;
  EXPECT_EQ(files, 12);

  r = RunGrid({"-f", sample, "-m", "tk1,tk2,tk4,i4"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find(" 徳之島 1/4 : fixed illegal format\n"), std::string::npos) << r.err;
  EXPECT_TRUE(std::filesystem::exists(sample + "/MAP2097782-4_BAD_DATA.BMP"));
  for (const char* name : {"MAP4-X1.BMP", "MAP4-X2.BMP", "MAP4-X4.BMP", "MAP2-X4.BMP"}) {
    EXPECT_TRUE(std::filesystem::exists(sample + "/" + name)) << name;
  }
}

TEST_F(VeldrinGridTest, TheSampleStopsBeforeWritingAnythingWhereAMapNameExists) {
  WriteFileBytes(Base(fcMalas, msHalf), {7});
  const auto before = Snapshot(dir);
  const TRunResult r = RunGrid({"--sample", Folder()});
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_EQ(r.err, "veldrin-grid: --sample never replaces a file, and " +
                       dir.file("MAP5243958-2.BMP") + " exists; nothing was written\n");
  EXPECT_EQ(Snapshot(dir), before);
}

TEST_F(VeldrinGridTest, TheSampleWritesNothingIntoAFolderThatARunHolds) {
  testsupport::LimitThisTest(std::chrono::seconds(10));  // a busy lock is never waited for
  const TFolderLock run(Folder());
  const TRunResult r = RunGrid({"--sample", Folder()});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "veldrin-grid: another run is working on " + Folder() +
                       "; try again when it has finished\n");
  EXPECT_TRUE(FileNames(dir).empty());
}

// ---- the folder: leftovers, lock ---------------------------------------------------------------

TEST_F(VeldrinGridTest, ARunAfterAKillLeavesNoTemporary) {
  WriteFileBytes(Base(fcIlshenar, msFull), SmallMap());
  // What runs killed while saving and while repairing left, and a file of the user's.
  WriteFileBytes(dir.file(".veldrin-save-Ab12Cd.tmp"), Bytes(50, 1));
  WriteFileBytes(dir.file(".veldrin-repair-xyz123.tmp"), Bytes(50, 2));
  WriteFileBytes(dir.file(".veldrin-notes.tmp"), {3});
  const TRunResult r = RunGrid({"-f", Folder(), "-q"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(FileNames(dir),
            (std::vector<std::string>{".veldrin-notes.tmp", "MAP2-X1.BMP", "MAP3687478-1.BMP"}));
}

TEST_F(VeldrinGridTest, AFolderThatCannotBeLockedIsWorkedOnAndTheRunSaysSo) {
  WriteFileBytes(Base(fcIlshenar, msFull), SmallMap());
  using std::filesystem::perms;
  // Writable and searchable but not readable: the folder cannot be opened to lock it.
  std::filesystem::permissions(dir.path(), perms::owner_write | perms::owner_exec |
                                               perms::others_write | perms::others_exec);
  TRunOptions asUser;
  asUser.unprivileged = true;
  const TRunResult r = RunGrid({"-f", Folder()}, asUser);
  std::filesystem::permissions(dir.path(), perms::owner_all);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find(" Folder cannot be locked: start no other run on it\n"), std::string::npos)
      << r.err;
  EXPECT_TRUE(std::filesystem::exists(dir.file("MAP2-X1.BMP")));
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
    WriteFileBytes(dir.file("MAP0-X2.BMP"), {0});
    WriteFileBytes(dir.file("MAP1-X2.BMP"), {1, 1});
    WriteFileBytes(dir.file("MAP2-X1.BMP"), {2});
  }
};

TEST_F(RestoreTest, ARunThenARestoreLeavesTheFolderByteForByteAsBefore) {
  PutFolder();
  const auto before = Snapshot(dir);
  ASSERT_EQ(RunGrid({"-f", Folder(), "-q"}).status, 0);
  const auto afterRun = Snapshot(dir);
  ASSERT_NE(afterRun, before);

  TRunResult r = RunGrid({"-f", Folder(), "--restore", "-n"});
  EXPECT_EQ(r.status, 0) << r.err;
  const auto rename = [this](const char* Backup, const char* Target) {
    return "  restore  " + dir.file(Backup) + " -> " + dir.file(Target) + "\n";
  };
  EXPECT_EQ(r.out, " ﾌｪﾙｯｶ & ﾄﾗﾒﾙ 1/2 [ft2]\n" + rename("MAP0-X2.OLD", "MAP0-X2.BMP") +
                       rename("MAP1-X2.OLD", "MAP1-X2.BMP") + " イルシェナー 等倍 [i1]\n" +
                       rename("MAP2-X1.OLD", "MAP2-X1.BMP"));
  EXPECT_EQ(Snapshot(dir), afterRun);

  r = RunGrid({"-f", Folder(), "--restore", "-m", "all"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, " ﾌｪﾙｯｶ & ﾄﾗﾒﾙ 1/2 : 復元しました\n イルシェナー 等倍 : 復元しました\n");
  // Malas had no target before the run, hence no backup: its result stays.
  EXPECT_EQ(std::filesystem::remove(dir.file("MAP3-X1.BMP")), true);
  EXPECT_EQ(Snapshot(dir), before);
}

TEST_F(RestoreTest, ANamedMapWithoutBackupIsReportedAndSkippedAndTheOthersAreRestored) {
  PutFolder();
  ASSERT_EQ(RunGrid({"-f", Folder(), "-q"}).status, 0);
  const TRunResult r = RunGrid({"-f", Folder(), "--restore", "-m", "m1,i1", "-t", "XRAY"});
  EXPECT_EQ(r.status, 2);
  // Maps go in the order of a run.
  EXPECT_EQ(r.err, " イルシェナー 等倍 : 復元しました\nveldrin-grid: no backup for m1: " +
                       dir.file("MAP3-X1.OLD") + " (" + dir.file("MAP3-X1.BMP") +
                       " left as it is)\n");
  EXPECT_EQ(ReadFileBytes(dir.file("MAP2-X1.BMP")), Bytes{2});
  EXPECT_TRUE(std::filesystem::exists(dir.file("MAP0-X2.OLD")));
}

TEST_F(RestoreTest, AFailedRestoreInAnUnwritableFolderExitsWithOneAndLosesNothing) {
  PutFolder();
  ASSERT_EQ(RunGrid({"-f", Folder(), "-q"}).status, 0);
  const auto before = Snapshot(dir);
  using std::filesystem::perms;
  std::filesystem::permissions(dir.path(), perms::owner_read | perms::owner_exec |
                                               perms::others_read | perms::others_exec);
  TRunOptions asUser;
  asUser.unprivileged = true;
  const TRunResult r = RunGrid({"-f", Folder(), "--restore"}, asUser);
  std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_all);
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find(dir.file("MAP0-X2.BMP")), std::string::npos) << r.err;
  EXPECT_EQ(Snapshot(dir), before);
}

}  // namespace
