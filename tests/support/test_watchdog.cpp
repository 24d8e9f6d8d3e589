// Joins every test binary: a test still running after kTimeLimit has hung (a thread, lock, pipe
// or child that a fault keeps from ever returning), and the binary ends at once with the test's
// name, instead of blocking until the test runner's much later time-out says nothing of where.
// Far above what any test takes on a slow machine under the sanitizers; never reached by a
// correct program.

#include "support/test_watchdog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace {

constexpr std::chrono::seconds TimeLimit{120};

class TWatchdog : public ::testing::EmptyTestEventListener {
 public:
  ~TWatchdog() override {
    if (!FThread.joinable()) return;
    {
      const std::lock_guard<std::mutex> Lock(FMutex);
      FQuit = true;
    }
    FChanged.notify_all();
    FThread.join();
  }

  void OnTestStart(const ::testing::TestInfo& Info) override {
    // Started with the first test, not before main: the program's allocator and the C
    // runtime are set up by then.
    if (!FThread.joinable()) FThread = std::thread([this] { Watch(); });
    {
      const std::lock_guard<std::mutex> Lock(FMutex);
      FTest = std::string(Info.test_suite_name()) + "." + Info.name();
      FDeadline = std::chrono::steady_clock::now() + TimeLimit;
      FLimit = TimeLimit;
      FRunning = true;
    }
    FChanged.notify_all();
  }
  void Limit(std::chrono::seconds Limit) {
    {
      const std::lock_guard<std::mutex> Lock(FMutex);
      FDeadline = std::min(FDeadline, std::chrono::steady_clock::now() + Limit);
      FLimit = Limit;
    }
    FChanged.notify_all();
  }
  void OnTestEnd(const ::testing::TestInfo&) override {
    {
      const std::lock_guard<std::mutex> Lock(FMutex);
      FRunning = false;
    }
    FChanged.notify_all();
  }

 private:
  void Watch() {
    std::unique_lock<std::mutex> Lock(FMutex);
    while (!FQuit) {
      if (!FRunning) {
        FChanged.wait(Lock);
      } else if (FChanged.wait_until(Lock, FDeadline) == std::cv_status::timeout && FRunning &&
                 std::chrono::steady_clock::now() >= FDeadline) {
        std::fprintf(stderr, "\n%s still runs after its limit of %lld s: it hangs; failed\n",
                     FTest.c_str(),
                     static_cast<long long>(FLimit.count()));
        std::fflush(stderr);
        std::_Exit(1);
      }
    }
  }

  std::mutex FMutex;
  std::condition_variable FChanged;
  std::string FTest;
  std::chrono::steady_clock::time_point FDeadline;
  std::chrono::seconds FLimit = TimeLimit;
  bool FRunning = false;
  bool FQuit = false;
  std::thread FThread;
};

// Owned by the listener list of the test program.
TWatchdog* const Watchdog = [] {
  auto* const Created = new TWatchdog;
  ::testing::UnitTest::GetInstance()->listeners().Append(Created);
  return Created;
}();

}  // namespace

void testsupport::LimitThisTest(std::chrono::seconds Limit) {
  Watchdog->Limit(Limit);
}
