// A program that ends with blocks still out. Run by the hook tests as a subprocess:
//   (no argument)  keeps blocks past the manager's shutdown, releases them afterwards, allocates
//                  once more and prints "clean" when every step behaved;
//   double-free    releases one block twice, which must end the program with a report;
//   threads        prints "single" while the program has one thread, then starts a second one
//                  and prints "locked" when that thread's allocation waits for the manager's
//                  lock held by the first.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "memmgr/memmgr.h"
#include "support/os_test.h"

namespace {

constexpr int kKept = 50;
void* kept[kKept];

void Fail(const char* what) {
  std::printf("fault: %s\n", what);
  std::fflush(stdout);
  std::_Exit(3);
}

// Runs after every static destructor of the program, the manager's shutdown included.
void AfterShutdown() {
  memmgr::TMemState& state = memmgr::GlobalMemState();
  if (!state.ShutdownRequested) Fail("shutdown was not requested");
  if (state.ManagerFreed) Fail("manager freed while blocks were out");
  const std::uint64_t before = state.UsedBytes;
  std::uint64_t mine = 0;
  for (void* p : kept) mine += memmgr::WordBefore(p);
  if (before < mine) Fail("blocks not counted");
  for (void* p : kept) ::operator delete(p);
  if (state.UsedBytes != before - mine) Fail("release not counted");
  if (state.UsedBytes == 0 && !state.ManagerFreed) Fail("last release kept the manager");
  if (state.ManagerFreed) {
    void* p = ::operator new(5);
    if (memmgr::WordBefore(p) != 5) Fail("allocation after the manager is not a plain block");
    std::memset(p, 1, 5);
    ::operator delete(p);
  }
  std::printf("clean used=%llu freed=%d\n", static_cast<unsigned long long>(state.UsedBytes),
              state.ManagerFreed ? 1 : 0);
  std::fflush(stdout);
}

}  // namespace

void ProbeThreads() {
  if (!memmgr::ProgramIsMultiThreaded()) std::printf("single\n");
  delete new std::string(100, 's');  // without a second thread the lock is left alone
  std::atomic<bool> started{false}, go{false}, allocated{false};
  std::thread second([&] {
    started = true;
    while (!go) std::this_thread::yield();
    delete new std::string(100, 't');
    allocated = true;
  });
  while (!started) std::this_thread::yield();
  if (!memmgr::ProgramIsMultiThreaded()) Fail("a second thread is not noticed");
  memmgr::TOSLock& lock = memmgr::GlobalMemState().Lock;
  lock.Acquire();
  go = true;
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const bool waited = !allocated;
  lock.Release();
  second.join();
  if (waited && allocated) std::printf("locked\n");
  std::fflush(stdout);
}

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "threads") == 0) {
    ProbeThreads();
    return 0;
  }
  if (argc > 1 && std::strcmp(argv[1], "double-free") == 0) {
    void* volatile p = ::operator new(24);
    ::operator delete(p);
    ::operator delete(p);
    std::puts("not reported");
    return 0;
  }
  std::vector<std::string> words;
  for (int i = 0; i < 100; ++i) words.push_back(std::string(static_cast<std::size_t>(i + 20), 'x'));
  for (int i = 0; i < kKept; ++i) kept[i] = ::operator new(static_cast<std::size_t>(i * 700 + 1));
  testsupport::CallAtProcessEnd(AfterShutdown);
  return 0;
}
