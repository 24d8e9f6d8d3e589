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

constexpr int KeptCount = 50;
void* Kept[KeptCount];

void Fail(const char* What) {
  std::printf("fault: %s\n", What);
  std::fflush(stdout);
  std::_Exit(3);
}

// Runs after every static destructor of the program, the manager's shutdown included.
void AfterShutdown() {
  memmgr::TMemState& State = memmgr::GlobalMemState();
  if (!State.ShutdownRequested) Fail("shutdown was not requested");
  if (State.ManagerFreed) Fail("manager freed while blocks were out");
  const std::uint64_t Before = State.UsedBytes;
  std::uint64_t Mine = 0;
  for (void* P : Kept) Mine += memmgr::WordBefore(P);
  if (Before < Mine) Fail("blocks not counted");
  for (void* P : Kept) ::operator delete(P);
  if (State.UsedBytes != Before - Mine) Fail("release not counted");
  if (State.UsedBytes == 0 && !State.ManagerFreed) Fail("last release kept the manager");
  if (State.ManagerFreed) {
    void* P = ::operator new(5);
    if (memmgr::WordBefore(P) != 5) Fail("allocation after the manager is not a plain block");
    std::memset(P, 1, 5);
    ::operator delete(P);
  }
  std::printf("clean used=%llu freed=%d\n", static_cast<unsigned long long>(State.UsedBytes),
              State.ManagerFreed ? 1 : 0);
  std::fflush(stdout);
}

}  // namespace

void ProbeThreads() {
  if (!memmgr::ProgramIsMultiThreaded()) std::printf("single\n");
  delete new std::string(100, 's');  // without a second thread the lock is left alone
  std::atomic<bool> Started{false}, Go{false}, Allocated{false};
  std::thread Second([&] {
    Started = true;
    while (!Go) std::this_thread::yield();
    delete new std::string(100, 't');
    Allocated = true;
  });
  while (!Started) std::this_thread::yield();
  if (!memmgr::ProgramIsMultiThreaded()) Fail("a second thread is not noticed");
  memmgr::TOSLock& Lock = memmgr::GlobalMemState().Lock;
  Lock.Acquire();
  Go = true;
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const bool Waited = !Allocated;
  Lock.Release();
  Second.join();
  if (Waited && Allocated) std::printf("locked\n");
  std::fflush(stdout);
}

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "threads") == 0) {
    ProbeThreads();
    return 0;
  }
  if (argc > 1 && std::strcmp(argv[1], "double-free") == 0) {
    void* volatile P = ::operator new(24);
    ::operator delete(P);
    ::operator delete(P);
    std::puts("not reported");
    return 0;
  }
  std::vector<std::string> Words;
  for (int I = 0; I < 100; ++I) Words.push_back(std::string(static_cast<std::size_t>(I + 20), 'x'));
  for (int I = 0; I < KeptCount; ++I)
    Kept[I] = ::operator new(static_cast<std::size_t>(I * 700 + 1));
  testsupport::CallAtProcessEnd(AfterShutdown);
  return 0;
}
