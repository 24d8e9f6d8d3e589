#include <windows.h>

#include <atomic>
#include <new>

#include "memmgr/os_thread.h"

namespace memmgr {

static_assert(sizeof(CRITICAL_SECTION) <= TOSLock::SystemSize);

namespace {

std::atomic<bool> SecondThread{false};
// Operations that the first thread runs without a lock while it is the only thread.
std::atomic<int> UnlockedOperations{0};

// Called by the loader in every thread that starts in the process, in that thread, before the
// thread's own start routine (the first thread is reported as the process start instead).
void NTAPI OnThreadEvent(PVOID, DWORD Reason, PVOID) {
  if (Reason != DLL_THREAD_ATTACH) return;
  SecondThread.store(true, std::memory_order_seq_cst);
  // The first thread may have checked the flag just before: let its operation end first. Every
  // later one sees the flag and takes the lock.
  while (UnlockedOperations.load(std::memory_order_seq_cst) != 0) ::SwitchToThread();
}

}  // namespace

bool ProgramIsMultiThreaded() {
  return SecondThread.load(std::memory_order_seq_cst);
}

bool TOSLock::Enter() {
  if (!SecondThread.load(std::memory_order_relaxed)) {
    // Announce the operation, then look again: a thread starting now either is seen here or
    // sees the announcement and waits for Leave.
    UnlockedOperations.fetch_add(1, std::memory_order_seq_cst);
    if (!SecondThread.load(std::memory_order_seq_cst)) return false;
    UnlockedOperations.fetch_sub(1, std::memory_order_seq_cst);
  }
  Acquire();
  return true;
}

void TOSLock::Leave(bool Locked) {
  if (Locked) {
    Release();
  } else {
    UnlockedOperations.fetch_sub(1, std::memory_order_seq_cst);
  }
}

void TOSLock::InitSystem() {
  InitializeCriticalSection(::new (static_cast<void*>(FSystem)) CRITICAL_SECTION);
}
void TOSLock::AcquireSystem() {
  EnterCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(FSystem));
}
void TOSLock::ReleaseSystem() {
  LeaveCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(FSystem));
}

void GuardLockAcrossFork(TOSLock&) {}

}  // namespace memmgr

// The executable's TLS callback list (the .CRT$XL* sections, merged in name order between the C
// runtime's own start and end markers).
extern "C" {
__attribute__((section(".CRT$XLM"), used)) extern const PIMAGE_TLS_CALLBACK
    VeldrinMemmgrThreadCallback = memmgr::OnThreadEvent;
}
