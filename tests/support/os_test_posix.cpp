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
  void* p = mmap(nullptr, Size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  return p == MAP_FAILED ? nullptr : p;
}
bool CommitReadWrite(void* Address, std::size_t Size) {
  return mprotect(Address, Size, PROT_READ | PROT_WRITE) == 0;
}
bool ReleaseRange(void* Address, std::size_t Size) {
  return munmap(Address, Size) == 0;
}

bool PageMapped(const void* Address) {
  const auto page = reinterpret_cast<std::uintptr_t>(Address) / 4096 * 4096;
  errno = 0;
  return msync(reinterpret_cast<void*>(page), 4096, MS_ASYNC) == 0 || errno != ENOMEM;
}

bool CanFork() {
  return true;
}

std::vector<int> RunForked(int Count, const std::function<void(int)>& Body) {
  std::vector<int> statuses(static_cast<std::size_t>(Count), -1);
  int go[2];
  if (pipe(go) != 0) return statuses;
  std::vector<pid_t> children;
  for (int k = 0; k < Count; ++k) {
    const pid_t child = fork();
    if (child == 0) {
      alarm(10);  // a child stuck on a lock taken in the parent dies instead of hanging the test
      close(go[1]);
      char c;
      if (read(go[0], &c, 1) != 1) _exit(3);
      try {
        Body(k);
      } catch (...) {
        _exit(2);
      }
      _exit(0);
    }
    children.push_back(child);
  }
  // One byte for each child, all at once.
  const std::string start(static_cast<std::size_t>(Count), 'g');
  const bool started = write(go[1], start.data(), start.size()) == static_cast<ssize_t>(Count);
  close(go[0]);
  close(go[1]);
  for (int k = 0; k < Count; ++k) {
    int status = 0;
    const pid_t child = children[static_cast<std::size_t>(k)];
    if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && started)
      statuses[static_cast<std::size_t>(k)] = WEXITSTATUS(status);
  }
  return statuses;
}

namespace {
void (*at_process_end)() = nullptr;
// The C library runs the destructor functions after every exit handler.
__attribute__((destructor)) void RunAtProcessEnd() {
  if (at_process_end != nullptr) at_process_end();
}
}  // namespace

void CallAtProcessEnd(void (*Fn)()) {
  at_process_end = Fn;
}

ProgramResult RunProgram(const std::vector<std::string>& Args) {
  ProgramResult r;
  int out[2];
  if (Args.empty() || pipe(out) != 0) return r;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    dup2(out[1], STDERR_FILENO);
    close(out[0]);
    close(out[1]);
    std::vector<char*> argv;
    for (const std::string& a : Args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(out[1]);
  if (pid < 0) {
    close(out[0]);
    return r;
  }
  r.Started = true;
  char buffer[256];
  ssize_t n;
  while ((n = read(out[0], buffer, sizeof buffer)) > 0) r.Output.append(buffer, std::size_t(n));
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status)) r.ExitCode = WEXITSTATUS(status);
  r.Aborted = (WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT) ||
              (WIFEXITED(status) && WEXITSTATUS(status) == 128 + SIGABRT);
  return r;
}

struct FileSizeLimit::Saved {
  rlimit limit{};
  sighandler_t handler = SIG_DFL;
};

// The signal that the limit raises becomes a plain write error.
FileSizeLimit::FileSizeLimit(std::uint64_t Bytes) : saved_(std::make_unique<Saved>()) {
  getrlimit(RLIMIT_FSIZE, &saved_->limit);
  saved_->handler = signal(SIGXFSZ, SIG_IGN);
  rlimit limit = saved_->limit;
  limit.rlim_cur = Bytes;
  setrlimit(RLIMIT_FSIZE, &limit);
}
FileSizeLimit::~FileSizeLimit() {
  setrlimit(RLIMIT_FSIZE, &saved_->limit);
  signal(SIGXFSZ, saved_->handler);
}

TinyFileSystem::TinyFileSystem(const std::string& Folder) : folder_(Folder) {
  mounted_ = ::mount("tmpfs", Folder.c_str(), "tmpfs", 0, "size=64k") == 0;
}
TinyFileSystem::~TinyFileSystem() {
  if (mounted_) ::umount(folder_.c_str());
}

ImmutableFile::ImmutableFile(const std::string& Name) : fd_(::open(Name.c_str(), O_RDONLY)) {
  if (fd_ >= 0 && ::ioctl(fd_, FS_IOC_GETFLAGS, &flags_) == 0) {
    int set = flags_ | FS_IMMUTABLE_FL;
    on_ = ::ioctl(fd_, FS_IOC_SETFLAGS, &set) == 0;
  }
}
ImmutableFile::~ImmutableFile() {
  if (on_) ::ioctl(fd_, FS_IOC_SETFLAGS, &flags_);
  if (fd_ >= 0) ::close(fd_);
}

UnwritableFolder::UnwritableFolder(const std::string& Folder) : folder_(Folder) {
  on_ = ::chmod(folder_.c_str(), 0555) == 0;
  if (on_ && ::geteuid() == 0) {
    as_root_ = ::seteuid(65534) == 0;
    on_ = as_root_;
  }
}

UnwritableFolder::~UnwritableFolder() {
  if (as_root_) (void)::seteuid(0);
  ::chmod(folder_.c_str(), 0700);
}

HeldOpenFile::HeldOpenFile(const std::string& Name, bool)
    : file_(::open(Name.c_str(), O_RDONLY | O_CLOEXEC)) {}
HeldOpenFile::~HeldOpenFile() {
  Close();
}
void HeldOpenFile::Close() {
  if (file_ != OsNoFile) ::close(static_cast<int>(file_));
  file_ = OsNoFile;
}
std::vector<std::uint8_t> HeldOpenFile::Read() const {
  std::vector<std::uint8_t> bytes(4096);
  const ssize_t n = ::pread(static_cast<int>(file_), bytes.data(), bytes.size(), 0);
  bytes.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return bytes;
}

bool MakeReadOnly(const std::string& Name) {
  return ::chmod(Name.c_str(), 0444) == 0;
}

WindowsAttributes AttributesOf(const std::string&) {
  return {};
}
bool SetSystemAttribute(const std::string&) {
  return false;
}

bool MakeFifo(const std::string& Name) {
  return ::mkfifo(Name.c_str(), 0600) == 0;
}

namespace {

std::atomic<int> handled_signals{0};
extern "C" void NoteSignal(int) {
  handled_signals.fetch_add(1);
}

long SystemCallNumber(const std::string& Name) {
  return Name == "openat" ? SYS_openat : -1;
}

// Whether the thread is asleep inside system call Call, as /proc shows it: its state is S (an
// interruptible sleep) and its system call that number.
bool BlockedIn(pid_t Thread, long Call) {
  const std::string task = "/proc/self/task/" + std::to_string(Thread);
  std::ifstream stat(task + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return false;
  const auto close = line.rfind(')');
  if (close == std::string::npos || close + 2 >= line.size() || line[close + 2] != 'S')
    return false;
  std::ifstream syscall(task + "/syscall");
  long number = -1;
  return syscall >> number && number == Call;
}

}  // namespace

struct SignalsWhileBlocked::State {
  struct sigaction old {};
  std::atomic<bool> returned{false};
  std::atomic<int> delivered{0};
  std::thread sender;
};

SignalsWhileBlocked::SignalsWhileBlocked(int Times, const char* Call,
                                         std::function<void()> Release)
    : state_(std::make_unique<State>()) {
  const long call = SystemCallNumber(Call);
  struct sigaction note {};
  note.sa_handler = NoteSignal;  // no SA_RESTART
  sigemptyset(&note.sa_mask);
  ::sigaction(SIGUSR1, &note, &state_->old);
  const pthread_t target = ::pthread_self();
  const pid_t target_id = static_cast<pid_t>(::syscall(SYS_gettid));
  State& state = *state_;
  state_->sender = std::thread([&state, target, target_id, call, Times,
                                Release = std::move(Release)] {
    // A safety net only: a blocked thread shows in /proc within microseconds.
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    auto wait_for = [&](const std::function<bool()>& Done) {
      while (!state.returned && !Done()) {
        if (std::chrono::steady_clock::now() > give_up) return false;
        std::this_thread::yield();
      }
      return !state.returned;
    };
    for (int i = 0; i < Times; ++i) {
      if (!wait_for([&] { return BlockedIn(target_id, call); })) return;
      const int before = handled_signals.load();
      ::pthread_kill(target, SIGUSR1);
      if (!wait_for([&] { return handled_signals.load() != before; })) return;
      state.delivered.fetch_add(1);
    }
    if (wait_for([&] { return BlockedIn(target_id, call); })) Release();
  });
}

void SignalsWhileBlocked::Returned() {
  state_->returned = true;
}

int SignalsWhileBlocked::Delivered() const {
  return state_->delivered.load();
}

SignalsWhileBlocked::~SignalsWhileBlocked() {
  state_->returned = true;
  state_->sender.join();
  ::sigaction(SIGUSR1, &state_->old, nullptr);
}

}  // namespace testsupport
