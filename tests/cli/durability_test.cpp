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

using testsupport::TBmpLayout;
using testsupport::BuildBmp;
using testsupport::DibStride;
using testsupport::Snapshot;
using testsupport::TTempDir;
using testsupport::WriteFileBytes;
using Bytes = std::vector<std::uint8_t>;
using TFiles = std::map<std::string, Bytes>;
using Clock = std::chrono::steady_clock;

// ---- running programs -----------------------------------------------------------------------

// A started program whose standard output and error arrive through one pipe.
struct TChild {
  pid_t Pid = -1;
  int Output = -1;
  Clock::time_point Started;
  std::string Seen;  // output read so far
};

struct TEnded {
  int Status = -1;  // the exit status, or 128 + the signal that ended the program
  std::string Output;
  long PeakRssKb = 0;
  double Seconds = 0;
};

TChild Start(const std::vector<std::string>& Argv) {
  int PipeFds[2];
  if (::pipe(PipeFds) != 0) throw std::runtime_error("pipe");
  TChild Child;
  Child.Started = Clock::now();
  Child.Pid = ::fork();
  if (Child.Pid == 0) {
    ::dup2(PipeFds[1], STDOUT_FILENO);
    ::dup2(PipeFds[1], STDERR_FILENO);
    ::close(PipeFds[0]);
    ::close(PipeFds[1]);
    if (Argv[0] == "strace") {
      // A sanitizer build's leak check cannot run under a tracer and would fail the program.
      const char* Asan = std::getenv("ASAN_OPTIONS");
      const std::string Options = std::string(Asan != nullptr ? Asan : "") + ":detect_leaks=0";
      ::setenv("ASAN_OPTIONS", Options.c_str(), 1);
    }
    std::vector<char*> ExecArgs;
    for (const std::string& A : Argv) ExecArgs.push_back(const_cast<char*>(A.c_str()));
    ExecArgs.push_back(nullptr);
    ::execvp(ExecArgs[0], ExecArgs.data());
    ::_exit(127);
  }
  ::close(PipeFds[1]);
  Child.Output = PipeFds[0];
  return Child;
}

// Reads more output; false at its end.
bool ReadMore(TChild& Child) {
  char Buf[4096];
  const ssize_t N = ::read(Child.Output, Buf, sizeof Buf);
  if (N <= 0) return false;
  Child.Seen.append(Buf, static_cast<std::size_t>(N));
  return true;
}

// Reads the output until Text has appeared (true) or the output ends (false).
bool WaitForOutput(TChild& Child, const std::string& Text) {
  while (Child.Seen.find(Text) == std::string::npos) {
    if (!ReadMore(Child)) return false;
  }
  return true;
}

TEnded Finish(TChild& Child) {
  while (ReadMore(Child)) {
  }
  ::close(Child.Output);
  int Status = 0;
  rusage Usage{};
  ::wait4(Child.Pid, &Status, 0, &Usage);
  TEnded Ended;
  Ended.Status = WIFEXITED(Status) ? WEXITSTATUS(Status) : 128 + WTERMSIG(Status);
  Ended.Output = Child.Seen;
  Ended.PeakRssKb = Usage.ru_maxrss;
  Ended.Seconds = std::chrono::duration<double>(Clock::now() - Child.Started).count();
  return Ended;
}

TEnded RunToEnd(const std::vector<std::string>& Argv) {
  TChild Child = Start(Argv);
  return Finish(Child);
}

std::vector<std::string> Grid(std::vector<std::string> Args) {
  Args.insert(Args.begin(), VELDRIN_GRID_BINARY);
  return Args;
}

// The resident memory of this process.
long ResidentKb() {
  std::ifstream Status("/proc/self/status");
  for (std::string Line; std::getline(Status, Line);) {
    if (Line.starts_with("VmRSS:")) return std::stol(Line.substr(6));
  }
  return 0;
}

// strace that can trace a child here (a container may forbid it).
bool StraceWorks() {
  static const bool Works = RunToEnd({"strace", "-o", "/dev/null", "true"}).Status == 0;
  return Works;
}

std::vector<std::string> Traced(const std::vector<std::string>& StraceOptions,
                                 const std::vector<std::string>& GridArgs) {
  std::vector<std::string> Argv{"strace"};
  Argv.insert(Argv.end(), StraceOptions.begin(), StraceOptions.end());
  const std::vector<std::string> GridCommand = Grid(GridArgs);
  Argv.insert(Argv.end(), GridCommand.begin(), GridCommand.end());
  return Argv;
}

// The program that the tracer Tracer runs, once its log says a signal strace injected has
// stopped it (a traced program shows as stopped at every traced call, so its state would not
// tell); -1 when that does not happen within a safety net of 20 seconds.
pid_t StoppedTracee(const TChild& Tracer, const std::string& Log) {
  const auto GiveUp = Clock::now() + std::chrono::seconds(20);
  const std::string TracerPid = std::to_string(Tracer.Pid);
  while (Clock::now() < GiveUp) {
    std::ifstream In(Log);
    const std::string Text((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
    std::ifstream Children("/proc/" + TracerPid + "/task/" + TracerPid + "/children");
    pid_t Program = -1;
    if (Text.find("--- stopped by SIGSTOP ---") != std::string::npos && Children >> Program) {
      return Program;
    }
    std::this_thread::yield();
  }
  return -1;
}

std::vector<std::string> ReadLines(const std::string& Name) {
  std::ifstream In(Name);
  std::vector<std::string> Lines;
  for (std::string Line; std::getline(In, Line);) Lines.push_back(Line);
  return Lines;
}

// ---- a small automap folder -----------------------------------------------------------------

// An 8-bit map of 16 grey levels; Padded false stores the rows back to back.
Bytes GreyMap(int W, int H, int Seed, bool Padded = true) {
  TBmpLayout Bmp;
  Bmp.Width = W;
  Bmp.Height = H;
  Bmp.BitCount = 8;
  Bmp.Colors = testsupport::GreyColors(16);
  Bmp.ClrUsed = 16;
  const int Stride = Padded ? DibStride(W, 8) : W;
  Bmp.Pixels.assign(static_cast<std::size_t>(Stride * H), 0);
  for (int Y = 0; Y < H; ++Y) {
    for (int X = 0; X < W; ++X)
      Bmp.Pixels[static_cast<std::size_t>(Y * Stride + X)] =
          static_cast<std::uint8_t>((X * 7 + Y * 3 + Seed) % 16);
  }
  return BuildBmp(Bmp);
}

bool IsTemporary(const std::string& Name) {
  return Name.starts_with(".veldrin-") && Name.ends_with(".tmp");
}

TFiles WithoutTemporaries(TFiles Files) {
  std::erase_if(Files, [](const auto& F) { return IsTemporary(F.first); });
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

const std::vector<std::string> KillMaps{"-q", "-m", "ft1,ft2,i1", "-f"};

// Kills at calls that do not change the folder, and at points in time; fewer in a sanitizer
// build, whose every run is several times slower, but never fewer than 50 moments in all.
#ifdef VELDRIN_SANITIZED
constexpr std::size_t OtherCalls = 12;
constexpr int TimedKills = 8;
#else
constexpr std::size_t OtherCalls = 30;
constexpr int TimedKills = 20;
#endif

// Every file that was there is there, whole, with its old or its new content; a new file is
// absent or whole; a file with new content has its companion in its final state; nothing else
// but recognisable temporaries has appeared. Returns a short account of the folder's state.
std::string ExpectNothingLost(const TFiles& Now, const TFiles& Before, const TFiles& After,
                              const std::map<std::string, std::string>& Companions,
                              const std::string& Moment) {
  int Changed = 0, Temporaries = 0;
  for (const auto& [name, bytes] : Now) {
    if (IsTemporary(name)) {
      ++Temporaries;
      continue;
    }
    const auto InBefore = Before.find(name);
    const auto InAfter = After.find(name);
    const bool Old = InBefore != Before.end() && InBefore->second == bytes;
    const bool Fresh = InAfter != After.end() && InAfter->second == bytes;
    EXPECT_TRUE(Old || Fresh) << Moment << ": " << name << " is neither its old nor its new content";
    Changed += !Old;
  }
  for (const auto& [name, bytes] : Before)
    EXPECT_TRUE(Now.contains(name)) << Moment << ": " << name << " is missing";
  for (const auto& [file, companion] : Companions) {
    if (!Now.contains(file) || Now.at(file) != After.at(file)) continue;
    EXPECT_TRUE(Now.contains(companion) && Now.at(companion) == After.at(companion))
        << Moment << ": " << file << " is new but " << companion << " is not in its place";
  }
  return std::to_string(Changed) + " changed, " + std::to_string(Temporaries) + " temporaries";
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
    const std::string Target = ChangeFileExt(name, ".BMP");
    EXPECT_TRUE(name.ends_with(".OLD") && !Before.contains(Target) && After.contains(Target) &&
                After.at(Target) == bytes)
        << Moment << ": " << name << " should not be there";
  }
}

// ---- the tests ------------------------------------------------------------------------------

TEST(Durability, KilledAtAnyMomentNothingIsLostAndTheNextRunCompletes) {
  // The outcome of an undisturbed run.
  TFiles Before, After;
  std::map<std::string, std::string> Companions;
  double RunSeconds;
  {
    TTempDir Dir;
    Companions = PutKillFolder(Dir.Path().string());
    Before = Snapshot(Dir);
    std::vector<std::string> Args = KillMaps;
    Args.push_back(Dir.Path().string());
    const TEnded Run = RunToEnd(Grid(Args));
    ASSERT_EQ(Run.Status, 0) << Run.Output;
    After = Snapshot(Dir);
    RunSeconds = Run.Seconds;
    // Later runs find the files cached: the fastest of three bounds the timed kills.
    for (int I = 0; I < 2; ++I) {
      TTempDir Again;
      PutKillFolder(Again.Path().string());
      Args.back() = Again.Path().string();
      RunSeconds = std::min(RunSeconds, RunToEnd(Grid(Args)).Seconds);
    }
  }
  ASSERT_EQ(WithoutTemporaries(After).size(), After.size());

  // Kill moments: system calls of the run by name and count, or else points in time.
  struct TMoment {
    std::string Call;  // "" for a kill after Delay
    int Count = 0;
    double Delay = 0;
  };
  std::vector<TMoment> Moments;
  if (StraceWorks()) {
    TTempDir Dir;
    PutKillFolder(Dir.Path().string());
    const std::string Log = Dir.File(".trace");
    std::vector<std::string> Args = KillMaps;
    Args.push_back(Dir.Path().string());
    const std::string Calls = "openat,read,write,close,fsync,fchmod,rename,link,unlink,flock,mmap";
    ASSERT_EQ(RunToEnd(Traced({"-o", Log, "-e", "trace=" + Calls}, Args)).Status, 0);
    // Every call that changes the folder, and others spread evenly after the start-up.
    const std::regex CallName(R"(^([a-z0-9_]+)\()");
    const std::set<std::string> Changing{"fsync", "fchmod", "rename", "link", "unlink", "flock"};
    std::map<std::string, int> Counts;
    std::vector<TMoment> Others;
    bool Started = false;
    for (const std::string& Line : ReadLines(Log)) {
      std::smatch M;
      if (!std::regex_search(Line, M, CallName)) continue;
      const std::string Call = M[1];
      const int Count = ++Counts[Call];
      Started = Started || Line.find(Dir.Path().string()) != std::string::npos;
      if (Changing.contains(Call)) {
        Moments.push_back({Call, Count});
      } else if (Started) {
        Others.push_back({Call, Count});
      }
    }
    for (std::size_t I = 0; I < OtherCalls && !Others.empty(); ++I)
      Moments.push_back(Others[I * Others.size() / OtherCalls]);
  }
  const int Timed = Moments.empty() ? 60 : TimedKills;
  for (int I = 0; I < Timed; ++I) Moments.push_back({"", 0, RunSeconds * I / Timed});
  ASSERT_GE(Moments.size(), 50u);

  std::map<std::string, int> Outcomes;
  for (const TMoment& Moment : Moments) {
    TTempDir Dir;
    PutKillFolder(Dir.Path().string());
    std::vector<std::string> Args = KillMaps;
    Args.push_back(Dir.Path().string());
    const std::string Name = Moment.Call.empty()
                                 ? "after " + std::to_string(Moment.Delay) + " s"
                                 : Moment.Call + " #" + std::to_string(Moment.Count);
    TEnded Killed;
    if (!Moment.Call.empty()) {
      const std::string Inject =
          "inject=" + Moment.Call + ":signal=SIGKILL:when=" + std::to_string(Moment.Count);
      Killed = RunToEnd(Traced({"-o", "/dev/null", "-e", "trace=" + Moment.Call, "-e", Inject}, Args));
      EXPECT_EQ(Killed.Status, 128 + SIGKILL) << Name << ": " << Killed.Output;
    } else {
      TChild Child = Start(Grid(Args));
      const timespec Pause{0, static_cast<long>(Moment.Delay * 1e9)};
      ::nanosleep(&Pause, nullptr);
      ::kill(Child.Pid, SIGKILL);
      Killed = Finish(Child);
    }
    const TFiles Left = Snapshot(Dir);
    const std::string State = ExpectNothingLost(Left, Before, After, Companions, Name);
    ++Outcomes[(Killed.Status == 0 ? "finished, " : "killed, ") + State];

    const TEnded Next = RunToEnd(Grid(Args));
    EXPECT_EQ(Next.Status, 0) << Name << ": " << Next.Output;
    const TFiles Done = Snapshot(Dir);
    ExpectCompleted(WithoutTemporaries(Done), Before, After, Name);
    // The next run leaves no temporary: not its own, nor those of the killed run.
    EXPECT_EQ(Done.size(), WithoutTemporaries(Done).size()) << Name;

    // A flush that fails there instead ends the run with the write error, every file as the
    // kill left it and the temporary being flushed deleted.
    if (Moment.Call == "fsync") {
      TTempDir Failing;
      PutKillFolder(Failing.Path().string());
      Args.back() = Failing.Path().string();
      const std::string Inject = "inject=fsync:error=EIO:when=" + std::to_string(Moment.Count);
      const TEnded Failed =
          RunToEnd(Traced({"-o", "/dev/null", "-e", "trace=fsync", "-e", Inject}, Args));
      EXPECT_EQ(Failed.Status, 1) << Name << " failing: " << Failed.Output;
      EXPECT_EQ(Failed.Output, std::string("veldrin-grid: ") + SWriteError + "\n") << Name;
      EXPECT_EQ(Snapshot(Failing), WithoutTemporaries(Left)) << Name << " failing";
    }
  }
  std::string Account = std::to_string(Moments.size()) + " moments:";
  for (const auto& [outcome, n] : Outcomes) Account += " [" + outcome + "] x" + std::to_string(n);
  RecordProperty("outcomes", Account);
  std::printf("%s\n", Account.c_str());
}

TEST(Durability, EveryNewFileIsFlushedBeforeItsRenameAndTheFolderAfterTheRenames) {
  if (!StraceWorks()) GTEST_SKIP() << "strace cannot trace a program here";
  TTempDir Dir;
  PutKillFolder(Dir.Path().string());
  const std::string Folder = std::filesystem::canonical(Dir.Path()).string();
  const std::string Log = Dir.File(".trace");
  std::vector<std::string> Args = KillMaps;
  Args.push_back(Folder);
  ASSERT_EQ(RunToEnd(Traced({"-y", "-o", Log, "-e", "trace=fsync,rename,link"}, Args)).Status, 0);

  const std::regex FsyncOf(R"(^fsync\(\d+<(.*)>\)\s+= 0)");
  const std::regex RenameOf(R"re(^rename\("([^"]*)", "([^"]*)"\)\s+= 0)re");
  std::set<std::string> Flushed;
  int Renames = 0, FolderFlushes = 0;
  bool FolderDirty = false;
  for (const std::string& Line : ReadLines(Log)) {
    std::smatch M;
    if (std::regex_search(Line, M, FsyncOf)) {
      Flushed.insert(M[1]);
      if (M[1] == Folder) {
        ++FolderFlushes;
        FolderDirty = false;
      }
    } else if (std::regex_search(Line, M, RenameOf)) {
      ++Renames;
      FolderDirty = true;
      const std::string From = NameIn(M[1]);
      // A second name of an existing file carries nothing new; every other temporary must be
      // on the disk before it takes its name.
      if (!From.starts_with(".veldrin-link-")) {
        EXPECT_TRUE(Flushed.contains(M[1])) << M[1] << " renamed to " << M[2] << " unflushed";
      }
    } else if (Line.starts_with("link(")) {
      FolderDirty = true;
    }
  }
  // Three maps: a repair (bad copy and base), two targets, one target, two targets.
  EXPECT_EQ(Renames, 7);
  EXPECT_GE(FolderFlushes, 4);
  EXPECT_FALSE(FolderDirty) << "renames after the last flush of the folder";
}

TEST(Durability, ASecondRunOnTheFolderFailsAtOnceWhileTheFirstPausesBeforeItsBackup) {
  TTempDir Dir;
  const std::string Folder = Dir.Path().string();
  const std::string Target = Dir.File("MAP2-X1.BMP");
  WriteFileBytes(Dir.File("MAP3687478-1.BMP"), GreyMap(64, 32, 1));
  const Bytes Original = GreyMap(64, 32, 2);
  WriteFileBytes(Target, Original);
  const std::vector<std::string> Args{"-f", Folder, "-m", "i1"};
  const std::string Busy = std::string("veldrin-grid: ") + SFolderBusy + "\n";

  // Whatever holds the folder's lock keeps a run out before it changes anything.
  {
    const TFiles Untouched = Snapshot(Dir);
    TFolderLock Other(Folder);
    const TEnded Second = RunToEnd(Grid(Args));
    EXPECT_EQ(Second.Status, 1);
    EXPECT_EQ(Second.Output, Busy);
    EXPECT_EQ(Snapshot(Dir), Untouched);
  }
  if (!StraceWorks()) GTEST_SKIP() << "strace cannot pause a program here";

  // Two real runs: the first is stopped between its look for a backup and making one, and
  // goes on only once the second has ended, which it must do at once, without waiting.
  testsupport::LimitThisTest(std::chrono::seconds(60));
  const TTempDir TraceDir;
  const std::string Trace = TraceDir.File("strace.log");
  TChild First = Start(Traced({"-o", Trace, "-e", "trace=link", "-e",
                               "inject=link:signal=SIGSTOP"},
                              Args));
  ASSERT_TRUE(WaitForOutput(First, " : saving")) << First.Seen;
  const pid_t Stopped = StoppedTracee(First, Trace);
  ASSERT_GT(Stopped, 0) << "the first run was not stopped at its backup";
  const TEnded Second = RunToEnd(Grid(Args));
  ::kill(Stopped, SIGCONT);
  EXPECT_EQ(Second.Status, 1);
  EXPECT_EQ(Second.Output, Busy);
  const TEnded Ended = Finish(First);
  EXPECT_EQ(Ended.Status, 0) << Ended.Output;
  const Bytes Result = testsupport::ReadFileBytes(Target);
  EXPECT_NE(Result, Original);
  EXPECT_EQ(testsupport::ReadFileBytes(Dir.File("MAP2-X1.OLD")), Original);

  // Once the first has ended, the next run works and keeps the first backup.
  EXPECT_EQ(RunToEnd(Grid(Args)).Status, 0);
  EXPECT_EQ(testsupport::ReadFileBytes(Target), Result);
  EXPECT_EQ(testsupport::ReadFileBytes(Dir.File("MAP2-X1.OLD")), Original);
}

TEST(Durability, ATinyFileDeclaringAHugeMapFailsAtOnceWithLittleMemory) {
  TTempDir Dir;
  const std::string Folder = Dir.Path().string();
  WriteFileBytes(GetBaseFileName(Folder, fcMalas, mtNormal, msFull),
                 testsupport::TinyRle8DeclaringHugeSize(65000, 20000));
  const TFiles Untouched = Snapshot(Dir);
  // The child counts the pages of this process that it starts with before its exec.
  const long StartKb = ResidentKb();
  const TEnded Run = RunToEnd(Grid({"-q", "-f", Folder, "-m", "m1"}));
  EXPECT_EQ(Run.Status, 1);
  EXPECT_EQ(Run.Output,
            "veldrin-grid: TBigBitmap.SetBitmaps: Too Big Width or Too Many Pixel Bits\n");
  EXPECT_EQ(Snapshot(Dir), Untouched);
  // Decoding the declared pixels alone would take 1.3 GB (and many seconds, which the
  // machine's speed would blur: the memory tells).
  EXPECT_LT(Run.PeakRssKb, StartKb + 64 * 1024);
  RecordProperty("peak_rss_kb", std::to_string(Run.PeakRssKb));
  std::printf("peak RSS %ld kB, %.3f s\n", Run.PeakRssKb, Run.Seconds);
}

}  // namespace
