// The memory manager's lock, taken only once the program has a second thread.
//
//   - Linux: the lock is a mutex. The C library's own flag (__libc_single_threaded) is cleared by
//     the thread that starts a second thread, before that thread exists, so an operation that
//     began without the lock always ends before the other thread can start one.
//   - Windows: the lock is a critical section. The loader tells the program about every thread
//     that starts (a TLS callback, run in the new thread before any of its own code), whoever
//     made it: std::thread, CreateThread, or the system (a console's Ctrl-C handler runs on a
//     thread of its own). The callback sets the flag and then waits until an operation that the
//     first thread began without the lock is over, so the two never overlap.
// The flag is never cleared.
#pragma once

#include <atomic>
#include <cstddef>

namespace memmgr {

// True once the program has started a second thread.
bool ProgramIsMultiThreaded();

class TOSLock {
 public:
  constexpr TOSLock() = default;
  TOSLock(const TOSLock&) = delete;
  TOSLock& operator=(const TOSLock&) = delete;
  // Never destroyed: the manager may be used until the very end of the process.

  // Around one operation of the manager: takes the lock if the program has a second thread and
  // tells whether it did; Leave gets that answer back.
  bool Enter();
  void Leave(bool Locked);

  // Takes the lock whatever the number of threads.
  void Acquire() {
    if (FState.load(std::memory_order_acquire) != Ready) Prepare();
    AcquireSystem();
  }
  void Release() { ReleaseSystem(); }

  // Room for the platform's lock object (checked by each platform's form).
  static constexpr std::size_t SystemSize = 64;

 private:
  static constexpr int Unset = 0, Preparing = 1, Ready = 2;
  // Sets the platform object up on first use, once, whichever thread comes first.
  void Prepare() {
    int Expected = Unset;
    if (FState.compare_exchange_strong(Expected, Preparing, std::memory_order_acq_rel)) {
      InitSystem();
      FState.store(Ready, std::memory_order_release);
    } else {
      while (FState.load(std::memory_order_acquire) != Ready) {
      }
    }
  }
  void InitSystem();
  void AcquireSystem();
  void ReleaseSystem();

  alignas(16) unsigned char FSystem[SystemSize] = {};
  std::atomic<int> FState{Unset};
};

// Keeps the lock usable in the child of a fork made while another thread held it (nothing to do
// where there is no fork).
void GuardLockAcrossFork(TOSLock& Lock);

}  // namespace memmgr
