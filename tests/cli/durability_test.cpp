// veldrin-grid as the user's files must survive it: killed at any moment, refused a flush, raced
// by a second run on the same folder, watched for its flushes, and handed a file that only claims
// to be huge. The kill moments, the refused flushes and the pause of the race come from strace,
// which stops the real program at exact system calls or makes them fail; where strace cannot
// trace, those parts are skipped and say why.

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/core/map_catalogue.h"
#include "app/core/map_job.h"
#include "app/core/repair.h"
#include "platform/exceptions.h"
#include "platform/files.h"
#include "support/bmp_builder.h"
#include "support/temp_dir.h"
#include "support/test_watchdog.h"

namespace {

using testsupport::BmpLayout;
using testsupport::BuildBmp;
using testsupport::DibStride;
using testsupport::Snapshot;
using testsupport::TempDir;
using testsupport::WriteFileBytes;
using Bytes = std::vector<std::uint8_t>;
using TFiles = std::map<std::string, Bytes>;
using Clock = std::chrono::steady_clock;

// ---- running programs -----------------------------------------------------------------------

// A started program whose standard output and error arrive through one pipe.
struct TChild {
  pid_t pid = -1;
  int output = -1;
  Clock::time_point started;
  std::string seen;  // output read so far
};

struct TEnded {
  int status = -1;  // the exit status, or 128 + the signal that ended the program
  std::string output;
  long peakRssKb = 0;
  double seconds = 0;
};

TChild Start(const std::vector<std::string>& Argv) {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) throw std::runtime_error("pipe");
  TChild child;
  child.started = Clock::now();
  child.pid = ::fork();
  if (child.pid == 0) {
    ::dup2(pipeFds[1], STDOUT_FILENO);
    ::dup2(pipeFds[1], STDERR_FILENO);
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    if (Argv[0] == "strace") {
      // A sanitizer build's leak check cannot run under a tracer and would fail the program.
      const char* asan = std::getenv("ASAN_OPTIONS");
      const std::string options = std::string(asan != nullptr ? asan : "") + ":detect_leaks=0";
      ::setenv("ASAN_OPTIONS", options.c_str(), 1);
    }
    std::vector<char*> argv;
    for (const std::string& a : Argv) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(pipeFds[1]);
  child.output = pipeFds[0];
  return child;
}

// Reads more output; false at its end.
bool ReadMore(TChild& Child) {
  char buf[4096];
  const ssize_t n = ::read(Child.output, buf, sizeof buf);
  if (n <= 0) return false;
  Child.seen.append(buf, static_cast<std::size_t>(n));
  return true;
}

// Reads the output until Text has appeared (true) or the output ends (false).
bool WaitForOutput(TChild& Child, const std::string& Text) {
  while (Child.seen.find(Text) == std::string::npos) {
    if (!ReadMore(Child)) return false;
  }
  return true;
}

TEnded Finish(TChild& Child) {
  while (ReadMore(Child)) {
  }
  ::close(Child.output);
  int status = 0;
  rusage usage{};
  ::wait4(Child.pid, &status, 0, &usage);
  TEnded ended;
  ended.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  ended.output = Child.seen;
  ended.peakRssKb = usage.ru_maxrss;
  ended.seconds = std::chrono::duration<double>(Clock::now() - Child.started).count();
  return ended;
}

TEnded RunToEnd(const std::vector<std::string>& Argv) {
  TChild child = Start(Argv);
  return Finish(child);
}

std::vector<std::string> Grid(std::vector<std::string> Args) {
  Args.insert(Args.begin(), VELDRIN_GRID_BINARY);
  return Args;
}

// The resident memory of this process.
long ResidentKb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("VmRSS:")) return std::stol(line.substr(6));
  }
  return 0;
}

// strace that can trace a child here (a container may forbid it).
bool StraceWorks() {
  static const bool works = RunToEnd({"strace", "-o", "/dev/null", "true"}).status == 0;
  return works;
}

std::vector<std::string> Traced(const std::vector<std::string>& StraceOptions,
                                 const std::vector<std::string>& GridArgs) {
  std::vector<std::string> argv{"strace"};
  argv.insert(argv.end(), StraceOptions.begin(), StraceOptions.end());
  const std::vector<std::string> grid = Grid(GridArgs);
  argv.insert(argv.end(), grid.begin(), grid.end());
  return argv;
}

// The program that the tracer Tracer runs, once its log says a signal strace injected has
// stopped it (a traced program shows as stopped at every traced call, so its state would not
// tell); -1 when that does not happen within a safety net of 20 seconds.
pid_t StoppedTracee(const TChild& Tracer, const std::string& Log) {
  const auto giveUp = Clock::now() + std::chrono::seconds(20);
  const std::string tracer = std::to_string(Tracer.pid);
  while (Clock::now() < giveUp) {
    std::ifstream log(Log);
    const std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    std::ifstream children("/proc/" + tracer + "/task/" + tracer + "/children");
    pid_t program = -1;
    if (text.find("--- stopped by SIGSTOP ---") != std::string::npos && children >> program) {
      return program;
    }
    std::this_thread::yield();
  }
  return -1;
}

std::vector<std::string> ReadLines(const std::string& Name) {
  std::ifstream in(Name);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// ---- a small automap folder -----------------------------------------------------------------

// An 8-bit map of 16 grey levels; Padded false stores the rows back to back.
Bytes GreyMap(int W, int H, int Seed, bool Padded = true) {
  BmpLayout bmp;
  bmp.width = W;
  bmp.height = H;
  bmp.bit_count = 8;
  bmp.colors = testsupport::GreyColors(16);
  bmp.clr_used = 16;
  const int stride = Padded ? DibStride(W, 8) : W;
  bmp.pixels.assign(static_cast<std::size_t>(stride * H), 0);
  for (int y = 0; y < H; ++y) {
    for (int x = 0; x < W; ++x)
      bmp.pixels[static_cast<std::size_t>(y * stride + x)] =
          static_cast<std::uint8_t>((x * 7 + y * 3 + Seed) % 16);
  }
  return BuildBmp(bmp);
}

bool IsTemporary(const std::string& Name) {
  return Name.starts_with(".veldrin-") && Name.ends_with(".tmp");
}

TFiles WithoutTemporaries(TFiles Files) {
  std::erase_if(Files, [](const auto& f) { return IsTemporary(f.first); });
  return Files;
}

std::string NameIn(const std::string& Path) {
  return std::filesystem::path(Path).filename().string();
}

// Felucca and Trammel at full size with old targets and no backups, at half size with no
// targets; Ilshenar at full size with a base file that needs the repair and a target that has
// its backup already. Returns each file that, once it has its new content, needs a companion in
// its final state: a repaired base its bad copy, a replaced target its backup.
std::map<std::string, std::string> PutKillFolder(const std::string& Folder) {
  const auto In = [&Folder](const char* Name) { return Folder + "/" + Name; };
  WriteFileBytes(In("MAP25166902-1.BMP"), GreyMap(320, 160, 1));
  WriteFileBytes(In("MAP25166902-2.BMP"), GreyMap(160, 80, 2));
  WriteFileBytes(In("MAP3687478-1.BMP"), GreyMap(301, 150, 3, false));
  WriteFileBytes(In("MAP0-X1.BMP"), GreyMap(320, 160, 4));
  WriteFileBytes(In("MAP1-X1.BMP"), GreyMap(320, 160, 5));
  WriteFileBytes(In("MAP2-X1.BMP"), GreyMap(301, 150, 6));
  WriteFileBytes(In("MAP2-X1.OLD"), GreyMap(301, 150, 7));
  return {{"MAP3687478-1.BMP", "MAP3687478-1_BAD_DATA.BMP"},
          {"MAP0-X1.BMP", "MAP0-X1.OLD"},
          {"MAP1-X1.BMP", "MAP1-X1.OLD"}};
}

const std::vector<std::string> kKillMaps{"-q", "-m", "ft1,ft2,i1", "-f"};

// Kills at calls that do not change the folder, and at points in time; fewer in a sanitizer
// build, whose every run is several times slower, but never fewer than 50 moments in all.
#ifdef VELDRIN_SANITIZED
constexpr std::size_t kOtherCalls = 12;
constexpr int kTimedKills = 8;
#else
constexpr std::size_t kOtherCalls = 30;
constexpr int kTimedKills = 20;
#endif

// Every file that was there is there, whole, with its old or its new content; a new file is
// absent or whole; a file with new content has its companion in its final state; nothing else
// but recognisable temporaries has appeared. Returns a short account of the folder's state.
std::string ExpectNothingLost(const TFiles& Now, const TFiles& Before, const TFiles& After,
                              const std::map<std::string, std::string>& Companions,
                              const std::string& Moment) {
  int changed = 0, temporaries = 0;
  for (const auto& [name, bytes] : Now) {
    if (IsTemporary(name)) {
      ++temporaries;
      continue;
    }
    const auto before = Before.find(name);
    const auto after = After.find(name);
    const bool old = before != Before.end() && before->second == bytes;
    const bool fresh = after != After.end() && after->second == bytes;
    EXPECT_TRUE(old || fresh) << Moment << ": " << name << " is neither its old nor its new content";
    changed += !old;
  }
  for (const auto& [name, bytes] : Before)
    EXPECT_TRUE(Now.contains(name)) << Moment << ": " << name << " is missing";
  for (const auto& [file, companion] : Companions) {
    if (!Now.contains(file) || Now.at(file) != After.at(file)) continue;
    EXPECT_TRUE(Now.contains(companion) && Now.at(companion) == After.at(companion))
        << Moment << ": " << file << " is new but " << companion << " is not in its place";
  }
  return std::to_string(changed) + " changed, " + std::to_string(temporaries) + " temporaries";
}

// After the next run the folder is as after an undisturbed run, except that a target which the
// killed run created has now, as on every later run, its one-time backup of that result.
void ExpectCompleted(const TFiles& Now, const TFiles& Before, const TFiles& After,
                     const std::string& Moment) {
  for (const auto& [name, bytes] : After) {
    EXPECT_TRUE(Now.contains(name) && Now.at(name) == bytes) << Moment << ": " << name;
  }
  for (const auto& [name, bytes] : Now) {
    if (After.contains(name)) continue;
    const std::string target = ChangeFileExt(name, ".BMP");
    EXPECT_TRUE(name.ends_with(".OLD") && !Before.contains(target) && After.contains(target) &&
                After.at(target) == bytes)
        << Moment << ": " << name << " should not be there";
  }
}

// ---- the tests ------------------------------------------------------------------------------

TEST(Durability, KilledAtAnyMomentNothingIsLostAndTheNextRunCompletes) {
  // The outcome of an undisturbed run.
  TFiles before, after;
  std::map<std::string, std::string> companions;
  double runSeconds;
  {
    TempDir dir;
    companions = PutKillFolder(dir.path().string());
    before = Snapshot(dir);
    std::vector<std::string> args = kKillMaps;
    args.push_back(dir.path().string());
    const TEnded run = RunToEnd(Grid(args));
    ASSERT_EQ(run.status, 0) << run.output;
    after = Snapshot(dir);
    runSeconds = run.seconds;
    // Later runs find the files cached: the fastest of three bounds the timed kills.
    for (int i = 0; i < 2; ++i) {
      TempDir again;
      PutKillFolder(again.path().string());
      args.back() = again.path().string();
      runSeconds = std::min(runSeconds, RunToEnd(Grid(args)).seconds);
    }
  }
  ASSERT_EQ(WithoutTemporaries(after).size(), after.size());

  // Kill moments: system calls of the run by name and count, or else points in time.
  struct TMoment {
    std::string call;  // "" for a kill after Delay
    int count = 0;
    double delay = 0;
  };
  std::vector<TMoment> moments;
  if (StraceWorks()) {
    TempDir dir;
    PutKillFolder(dir.path().string());
    const std::string log = dir.file(".trace");
    std::vector<std::string> args = kKillMaps;
    args.push_back(dir.path().string());
    const std::string calls = "openat,read,write,close,fsync,fchmod,rename,link,unlink,flock,mmap";
    ASSERT_EQ(RunToEnd(Traced({"-o", log, "-e", "trace=" + calls}, args)).status, 0);
    // Every call that changes the folder, and others spread evenly after the start-up.
    const std::regex callName(R"(^([a-z0-9_]+)\()");
    const std::set<std::string> changing{"fsync", "fchmod", "rename", "link", "unlink", "flock"};
    std::map<std::string, int> counts;
    std::vector<TMoment> others;
    bool started = false;
    for (const std::string& line : ReadLines(log)) {
      std::smatch m;
      if (!std::regex_search(line, m, callName)) continue;
      const std::string call = m[1];
      const int count = ++counts[call];
      started = started || line.find(dir.path().string()) != std::string::npos;
      if (changing.contains(call)) {
        moments.push_back({call, count});
      } else if (started) {
        others.push_back({call, count});
      }
    }
    for (std::size_t i = 0; i < kOtherCalls && !others.empty(); ++i)
      moments.push_back(others[i * others.size() / kOtherCalls]);
  }
  const int timed = moments.empty() ? 60 : kTimedKills;
  for (int i = 0; i < timed; ++i) moments.push_back({"", 0, runSeconds * i / timed});
  ASSERT_GE(moments.size(), 50u);

  std::map<std::string, int> outcomes;
  for (const TMoment& moment : moments) {
    TempDir dir;
    PutKillFolder(dir.path().string());
    std::vector<std::string> args = kKillMaps;
    args.push_back(dir.path().string());
    const std::string name = moment.call.empty()
                                 ? "after " + std::to_string(moment.delay) + " s"
                                 : moment.call + " #" + std::to_string(moment.count);
    TEnded killed;
    if (!moment.call.empty()) {
      const std::string inject =
          "inject=" + moment.call + ":signal=SIGKILL:when=" + std::to_string(moment.count);
      killed = RunToEnd(Traced({"-o", "/dev/null", "-e", "trace=" + moment.call, "-e", inject}, args));
      EXPECT_EQ(killed.status, 128 + SIGKILL) << name << ": " << killed.output;
    } else {
      TChild child = Start(Grid(args));
      const timespec pause{0, static_cast<long>(moment.delay * 1e9)};
      ::nanosleep(&pause, nullptr);
      ::kill(child.pid, SIGKILL);
      killed = Finish(child);
    }
    const TFiles left = Snapshot(dir);
    const std::string state = ExpectNothingLost(left, before, after, companions, name);
    ++outcomes[(killed.status == 0 ? "finished, " : "killed, ") + state];

    const TEnded next = RunToEnd(Grid(args));
    EXPECT_EQ(next.status, 0) << name << ": " << next.output;
    const TFiles done = Snapshot(dir);
    ExpectCompleted(WithoutTemporaries(done), before, after, name);
    // The next run leaves no temporary: not its own, nor those of the killed run.
    EXPECT_EQ(done.size(), WithoutTemporaries(done).size()) << name;

    // A flush that fails there instead ends the run with the write error, every file as the
    // kill left it and the temporary being flushed deleted.
    if (moment.call == "fsync") {
      TempDir failing;
      PutKillFolder(failing.path().string());
      args.back() = failing.path().string();
      const std::string inject = "inject=fsync:error=EIO:when=" + std::to_string(moment.count);
      const TEnded failed =
          RunToEnd(Traced({"-o", "/dev/null", "-e", "trace=fsync", "-e", inject}, args));
      EXPECT_EQ(failed.status, 1) << name << " failing: " << failed.output;
      EXPECT_EQ(failed.output, std::string("veldrin-grid: ") + SWriteError + "\n") << name;
      EXPECT_EQ(Snapshot(failing), WithoutTemporaries(left)) << name << " failing";
    }
  }
  std::string account = std::to_string(moments.size()) + " moments:";
  for (const auto& [outcome, n] : outcomes) account += " [" + outcome + "] x" + std::to_string(n);
  RecordProperty("outcomes", account);
  std::printf("%s\n", account.c_str());
}

TEST(Durability, EveryNewFileIsFlushedBeforeItsRenameAndTheFolderAfterTheRenames) {
  if (!StraceWorks()) GTEST_SKIP() << "strace cannot trace a program here";
  TempDir dir;
  PutKillFolder(dir.path().string());
  const std::string folder = std::filesystem::canonical(dir.path()).string();
  const std::string log = dir.file(".trace");
  std::vector<std::string> args = kKillMaps;
  args.push_back(folder);
  ASSERT_EQ(RunToEnd(Traced({"-y", "-o", log, "-e", "trace=fsync,rename,link"}, args)).status, 0);

  const std::regex fsyncOf(R"(^fsync\(\d+<(.*)>\)\s+= 0)");
  const std::regex renameOf(R"re(^rename\("([^"]*)", "([^"]*)"\)\s+= 0)re");
  std::set<std::string> flushed;
  int renames = 0, folderFlushes = 0;
  bool folderDirty = false;
  for (const std::string& line : ReadLines(log)) {
    std::smatch m;
    if (std::regex_search(line, m, fsyncOf)) {
      flushed.insert(m[1]);
      if (m[1] == folder) {
        ++folderFlushes;
        folderDirty = false;
      }
    } else if (std::regex_search(line, m, renameOf)) {
      ++renames;
      folderDirty = true;
      const std::string from = NameIn(m[1]);
      // A second name of an existing file carries nothing new; every other temporary must be
      // on the disk before it takes its name.
      if (!from.starts_with(".veldrin-link-")) {
        EXPECT_TRUE(flushed.contains(m[1])) << m[1] << " renamed to " << m[2] << " unflushed";
      }
    } else if (line.starts_with("link(")) {
      folderDirty = true;
    }
  }
  // Three maps: a repair (bad copy and base), two targets, one target, two targets.
  EXPECT_EQ(renames, 7);
  EXPECT_GE(folderFlushes, 4);
  EXPECT_FALSE(folderDirty) << "renames after the last flush of the folder";
}

TEST(Durability, ASecondRunOnTheFolderFailsAtOnceWhileTheFirstPausesBeforeItsBackup) {
  TempDir dir;
  const std::string folder = dir.path().string();
  const std::string target = dir.file("MAP2-X1.BMP");
  WriteFileBytes(dir.file("MAP3687478-1.BMP"), GreyMap(64, 32, 1));
  const Bytes original = GreyMap(64, 32, 2);
  WriteFileBytes(target, original);
  const std::vector<std::string> args{"-f", folder, "-m", "i1"};
  const std::string busy = std::string("veldrin-grid: ") + SFolderBusy + "\n";

  // Whatever holds the folder's lock keeps a run out before it changes anything.
  {
    const TFiles untouched = Snapshot(dir);
    TFolderLock other(folder);
    const TEnded second = RunToEnd(Grid(args));
    EXPECT_EQ(second.status, 1);
    EXPECT_EQ(second.output, busy);
    EXPECT_EQ(Snapshot(dir), untouched);
  }
  if (!StraceWorks()) GTEST_SKIP() << "strace cannot pause a program here";

  // Two real runs: the first is stopped between its look for a backup and making one, and
  // goes on only once the second has ended, which it must do at once, without waiting.
  testsupport::LimitThisTest(std::chrono::seconds(60));
  const TempDir traceDir;
  const std::string trace = traceDir.file("strace.log");
  TChild first = Start(Traced({"-o", trace, "-e", "trace=link", "-e",
                               "inject=link:signal=SIGSTOP"},
                              args));
  ASSERT_TRUE(WaitForOutput(first, " : saving")) << first.seen;
  const pid_t stopped = StoppedTracee(first, trace);
  ASSERT_GT(stopped, 0) << "the first run was not stopped at its backup";
  const TEnded second = RunToEnd(Grid(args));
  ::kill(stopped, SIGCONT);
  EXPECT_EQ(second.status, 1);
  EXPECT_EQ(second.output, busy);
  const TEnded ended = Finish(first);
  EXPECT_EQ(ended.status, 0) << ended.output;
  const Bytes result = testsupport::ReadFileBytes(target);
  EXPECT_NE(result, original);
  EXPECT_EQ(testsupport::ReadFileBytes(dir.file("MAP2-X1.OLD")), original);

  // Once the first has ended, the next run works and keeps the first backup.
  EXPECT_EQ(RunToEnd(Grid(args)).status, 0);
  EXPECT_EQ(testsupport::ReadFileBytes(target), result);
  EXPECT_EQ(testsupport::ReadFileBytes(dir.file("MAP2-X1.OLD")), original);
}

TEST(Durability, ATinyFileDeclaringAHugeMapFailsAtOnceWithLittleMemory) {
  TempDir dir;
  const std::string folder = dir.path().string();
  WriteFileBytes(GetBaseFileName(folder, fcMalas, mtNormal, msFull),
                 testsupport::TinyRle8DeclaringHugeSize(65000, 20000));
  const TFiles untouched = Snapshot(dir);
  // The child counts the pages of this process that it starts with before its exec.
  const long startKb = ResidentKb();
  const TEnded run = RunToEnd(Grid({"-q", "-f", folder, "-m", "m1"}));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.output,
            "veldrin-grid: TBigBitmap.SetBitmaps: Too Big Width or Too Many Pixel Bits\n");
  EXPECT_EQ(Snapshot(dir), untouched);
  // Decoding the declared pixels alone would take 1.3 GB (and many seconds, which the
  // machine's speed would blur: the memory tells).
  EXPECT_LT(run.peakRssKb, startKb + 64 * 1024);
  RecordProperty("peak_rss_kb", std::to_string(run.peakRssKb));
  std::printf("peak RSS %ld kB, %.3f s\n", run.peakRssKb, run.seconds);
}

}  // namespace
