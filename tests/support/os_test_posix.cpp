#include <fcntl.h>
#include <linux/fs.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include "support/os_test.h"

namespace testsupport {

bool OnWindows() {
  return false;
}

void* ReserveNoAccess(std::size_t Size) {
  void* P = mmap(nullptr, Size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  return P == MAP_FAILED ? nullptr : P;
}
bool CommitReadWrite(void* Address, std::size_t Size) {
  return mprotect(Address, Size, PROT_READ | PROT_WRITE) == 0;
}
bool ReleaseRange(void* Address, std::size_t Size) {
  return munmap(Address, Size) == 0;
}

bool PageMapped(const void* Address) {
  const auto Page = reinterpret_cast<std::uintptr_t>(Address) / 4096 * 4096;
  errno = 0;
  return msync(reinterpret_cast<void*>(Page), 4096, MS_ASYNC) == 0 || errno != ENOMEM;
}

bool CanFork() {
  return true;
}

std::vector<int> RunForked(int Count, const std::function<void(int)>& Body) {
  std::vector<int> Statuses(static_cast<std::size_t>(Count), -1);
  int Go[2];
  if (pipe(Go) != 0) return Statuses;
  std::vector<pid_t> Children;
  for (int K = 0; K < Count; ++K) {
    const pid_t Child = fork();
    if (Child == 0) {
      alarm(10);  // a child stuck on a lock taken in the parent dies instead of hanging the test
      close(Go[1]);
      char C;
      if (read(Go[0], &C, 1) != 1) _exit(3);
      try {
        Body(K);
      } catch (...) {
        _exit(2);
      }
      _exit(0);
    }
    Children.push_back(Child);
  }
  // One byte for each child, all at once.
  const std::string Start(static_cast<std::size_t>(Count), 'g');
  const bool Started = write(Go[1], Start.data(), Start.size()) == static_cast<ssize_t>(Count);
  close(Go[0]);
  close(Go[1]);
  for (int K = 0; K < Count; ++K) {
    int Status = 0;
    const pid_t Child = Children[static_cast<std::size_t>(K)];
    if (Child > 0 && waitpid(Child, &Status, 0) == Child && WIFEXITED(Status) && Started)
      Statuses[static_cast<std::size_t>(K)] = WEXITSTATUS(Status);
  }
  return Statuses;
}

namespace {
void (*AtProcessEnd)() = nullptr;
// The C library runs the destructor functions after every exit handler.
__attribute__((destructor)) void RunAtProcessEnd() {
  if (AtProcessEnd != nullptr) AtProcessEnd();
}
}  // namespace

void CallAtProcessEnd(void (*Fn)()) {
  AtProcessEnd = Fn;
}

TProgramResult RunProgram(const std::vector<std::string>& Args) {
  TProgramResult R;
  int Out[2];
  if (Args.empty() || pipe(Out) != 0) return R;
  const pid_t Pid = fork();
  if (Pid == 0) {
    dup2(Out[1], STDOUT_FILENO);
    dup2(Out[1], STDERR_FILENO);
    close(Out[0]);
    close(Out[1]);
    std::vector<char*> Argv;
    for (const std::string& A : Args) Argv.push_back(const_cast<char*>(A.c_str()));
    Argv.push_back(nullptr);
    execv(Argv[0], Argv.data());
    _exit(127);
  }
  close(Out[1]);
  if (Pid < 0) {
    close(Out[0]);
    return R;
  }
  R.Started = true;
  char Buffer[256];
  ssize_t N;
  while ((N = read(Out[0], Buffer, sizeof Buffer)) > 0) R.Output.append(Buffer, std::size_t(N));
  close(Out[0]);
  int Status = 0;
  waitpid(Pid, &Status, 0);
  if (WIFEXITED(Status)) R.ExitCode = WEXITSTATUS(Status);
  R.Aborted = (WIFSIGNALED(Status) && WTERMSIG(Status) == SIGABRT) ||
              (WIFEXITED(Status) && WEXITSTATUS(Status) == 128 + SIGABRT);
  return R;
}

struct FileSizeLimit::Saved {
  rlimit Limit{};
  sighandler_t Handler = SIG_DFL;
};

// The signal that the limit raises becomes a plain write error.
FileSizeLimit::FileSizeLimit(std::uint64_t Bytes) : FSaved(std::make_unique<Saved>()) {
  getrlimit(RLIMIT_FSIZE, &FSaved->Limit);
  FSaved->Handler = signal(SIGXFSZ, SIG_IGN);
  rlimit Limit = FSaved->Limit;
  Limit.rlim_cur = Bytes;
  setrlimit(RLIMIT_FSIZE, &Limit);
}
FileSizeLimit::~FileSizeLimit() {
  setrlimit(RLIMIT_FSIZE, &FSaved->Limit);
  signal(SIGXFSZ, FSaved->Handler);
}

TinyFileSystem::TinyFileSystem(const std::string& Folder) : FFolder(Folder) {
  FMounted = ::mount("tmpfs", Folder.c_str(), "tmpfs", 0, "size=64k") == 0;
}
TinyFileSystem::~TinyFileSystem() {
  if (FMounted) ::umount(FFolder.c_str());
}

ImmutableFile::ImmutableFile(const std::string& Name) : FFd(::open(Name.c_str(), O_RDONLY)) {
  if (FFd >= 0 && ::ioctl(FFd, FS_IOC_GETFLAGS, &FFlags) == 0) {
    int Set = FFlags | FS_IMMUTABLE_FL;
    FOn = ::ioctl(FFd, FS_IOC_SETFLAGS, &Set) == 0;
  }
}
ImmutableFile::~ImmutableFile() {
  if (FOn) ::ioctl(FFd, FS_IOC_SETFLAGS, &FFlags);
  if (FFd >= 0) ::close(FFd);
}

UnwritableFolder::UnwritableFolder(const std::string& Folder) : FFolder(Folder) {
  FOn = ::chmod(FFolder.c_str(), 0555) == 0;
  if (FOn && ::geteuid() == 0) {
    FAsRoot = ::seteuid(65534) == 0;
    FOn = FAsRoot;
  }
}

UnwritableFolder::~UnwritableFolder() {
  if (FAsRoot) (void)::seteuid(0);
  ::chmod(FFolder.c_str(), 0700);
}

HeldOpenFile::HeldOpenFile(const std::string& Name, bool)
    : FFile(::open(Name.c_str(), O_RDONLY | O_CLOEXEC)) {}
HeldOpenFile::~HeldOpenFile() {
  Close();
}
void HeldOpenFile::Close() {
  if (FFile != OsNoFile) ::close(static_cast<int>(FFile));
  FFile = OsNoFile;
}
std::vector<std::uint8_t> HeldOpenFile::Read() const {
  std::vector<std::uint8_t> Bytes(4096);
  const ssize_t N = ::pread(static_cast<int>(FFile), Bytes.data(), Bytes.size(), 0);
  Bytes.resize(N > 0 ? static_cast<std::size_t>(N) : 0);
  return Bytes;
}

bool MakeReadOnly(const std::string& Name) {
  return ::chmod(Name.c_str(), 0444) == 0;
}

TWindowsAttributes AttributesOf(const std::string&) {
  return {};
}
bool SetSystemAttribute(const std::string&) {
  return false;
}

bool MakeFifo(const std::string& Name) {
  return ::mkfifo(Name.c_str(), 0600) == 0;
}

namespace {

std::atomic<int> HandledSignals{0};
extern "C" void NoteSignal(int) {
  HandledSignals.fetch_add(1);
}

long SystemCallNumber(const std::string& Name) {
  return Name == "openat" ? SYS_openat : -1;
}

// Whether the thread is asleep inside system call Call, as /proc shows it: its state is S (an
// interruptible sleep) and its system call that number.
bool BlockedIn(pid_t Thread, long Call) {
  const std::string Task = "/proc/self/task/" + std::to_string(Thread);
  std::ifstream Stat(Task + "/stat");
  std::string Line;
  if (!std::getline(Stat, Line)) return false;
  const auto Close = Line.rfind(')');
  if (Close == std::string::npos || Close + 2 >= Line.size() || Line[Close + 2] != 'S')
    return false;
  std::ifstream Syscall(Task + "/syscall");
  long Number = -1;
  return Syscall >> Number && Number == Call;
}

}  // namespace

struct SignalsWhileBlocked::State {
  struct sigaction Old {};
  std::atomic<bool> Returned{false};
  std::atomic<int> Delivered{0};
  std::thread Sender;
};

SignalsWhileBlocked::SignalsWhileBlocked(int Times, const char* Call,
                                         std::function<void()> Release)
    : FState(std::make_unique<State>()) {
  const long CallNumber = SystemCallNumber(Call);
  struct sigaction Note {};
  Note.sa_handler = NoteSignal;  // no SA_RESTART
  sigemptyset(&Note.sa_mask);
  ::sigaction(SIGUSR1, &Note, &FState->Old);
  const pthread_t Target = ::pthread_self();
  const pid_t TargetId = static_cast<pid_t>(::syscall(SYS_gettid));
  State& Shared = *FState;
  FState->Sender = std::thread([&Shared, Target, TargetId, CallNumber, Times,
                                Release = std::move(Release)] {
    // A safety net only: a blocked thread shows in /proc within microseconds.
    const auto GiveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    auto WaitFor = [&](const std::function<bool()>& Done) {
      while (!Shared.Returned && !Done()) {
        if (std::chrono::steady_clock::now() > GiveUp) return false;
        std::this_thread::yield();
      }
      return !Shared.Returned;
    };
    for (int I = 0; I < Times; ++I) {
      if (!WaitFor([&] { return BlockedIn(TargetId, CallNumber); })) return;
      const int Before = HandledSignals.load();
      ::pthread_kill(Target, SIGUSR1);
      if (!WaitFor([&] { return HandledSignals.load() != Before; })) return;
      Shared.Delivered.fetch_add(1);
    }
    if (WaitFor([&] { return BlockedIn(TargetId, CallNumber); })) Release();
  });
}

void SignalsWhileBlocked::Returned() {
  FState->Returned = true;
}

int SignalsWhileBlocked::Delivered() const {
  return FState->Delivered.load();
}

SignalsWhileBlocked::~SignalsWhileBlocked() {
  FState->Returned = true;
  FState->Sender.join();
  ::sigaction(SIGUSR1, &FState->Old, nullptr);
}

}  // namespace testsupport
