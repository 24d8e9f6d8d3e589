#include <pthread.h>
#include <sys/single_threaded.h>

#include <new>

#include "memmgr/os_thread.h"

namespace memmgr {

static_assert(sizeof(pthread_mutex_t) <= TOSLock::SystemSize);

bool ProgramIsMultiThreaded() {
  return !__libc_single_threaded;
}

bool TOSLock::Enter() {
  if (__libc_single_threaded) return false;
  Acquire();
  return true;
}
void TOSLock::Leave(bool Locked) {
  if (Locked) Release();
}

void TOSLock::InitSystem() {
  ::new (static_cast<void*>(FSystem)) pthread_mutex_t(PTHREAD_MUTEX_INITIALIZER);
}
void TOSLock::AcquireSystem() {
  pthread_mutex_lock(reinterpret_cast<pthread_mutex_t*>(FSystem));
}
void TOSLock::ReleaseSystem() {
  pthread_mutex_unlock(reinterpret_cast<pthread_mutex_t*>(FSystem));
}

namespace {
TOSLock* ForkGuarded = nullptr;
void LockForFork() {
  ForkGuarded->Acquire();
}
void UnlockAfterFork() {
  ForkGuarded->Release();
}
}  // namespace

// The forking thread takes the lock around the fork, so the child's copy is never left held by a
// thread that does not exist there.
void GuardLockAcrossFork(TOSLock& Lock) {
  ForkGuarded = &Lock;
  pthread_atfork(LockForFork, UnlockAfterFork, UnlockAfterFork);
}

}  // namespace memmgr
