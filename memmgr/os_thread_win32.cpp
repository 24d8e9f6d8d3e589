#include <windows.h>

#include <atomic>
#include <new>

#include "memmgr/os_thread.h"

namespace memmgr {

static_assert(sizeof(CRITICAL_SECTION) <= TOSLock::kSystemSize);

namespace {

std::atomic<bool> second_thread{false};
// Operations that the first thread runs without a lock while it is the only thread.
std::atomic<int> unlocked_operations{0};

// Called by the loader in every thread that starts in the process, in that thread, before the
// thread's own start routine (the first thread is reported as the process start instead).
void NTAPI OnThreadEvent(PVOID, DWORD Reason, PVOID) {
  if (Reason != DLL_THREAD_ATTACH) return;
  second_thread.store(true, std::memory_order_seq_cst);
  // The first thread may have checked the flag just before: let its operation end first. Every
  // later one sees the flag and takes the lock.
  while (unlocked_operations.load(std::memory_order_seq_cst) != 0) ::SwitchToThread();
}

}  // namespace

bool ProgramIsMultiThreaded() {
  return second_thread.load(std::memory_order_seq_cst);
}

bool TOSLock::Enter() {
  if (!second_thread.load(std::memory_order_relaxed)) {
    // Announce the operation, then look again: a thread starting now either is seen here or
    // sees the announcement and waits for Leave.
    unlocked_operations.fetch_add(1, std::memory_order_seq_cst);
    if (!second_thread.load(std::memory_order_seq_cst)) return false;
    unlocked_operations.fetch_sub(1, std::memory_order_seq_cst);
  }
  Acquire();
  return true;
}

void TOSLock::Leave(bool Locked) {
  if (Locked) {
    Release();
  } else {
    unlocked_operations.fetch_sub(1, std::memory_order_seq_cst);
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
    veldrin_memmgr_thread_callback = memmgr::OnThreadEvent;
}
