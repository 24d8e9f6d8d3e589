// The global allocation functions replaced by the pooled manager.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "memmgr/memmgr.h"
#include "support/os_test.h"

namespace {

using memmgr::GlobalMemState;
using memmgr::WordBefore;

bool Aligned(const void* P, std::size_t A) {
  return reinterpret_cast<std::uintptr_t>(P) % A == 0;
}

TEST(GlobalAllocator, EveryAddressIsAlignedAndCarriesItsClass) {
  std::vector<std::size_t> Sizes;
  for (std::size_t N = 0; N <= 300; ++N) Sizes.push_back(N);
  for (std::size_t N = 300; N < 70000; N = N * 9 / 8) Sizes.push_back(N);
  for (std::size_t N : {16376, 16377, 65512, 65513, 1 << 20}) Sizes.push_back(N);
  for (std::size_t N : Sizes) {
    const std::uint64_t Before = GlobalMemState().UsedBytes;
    void* P = ::operator new(N);
    // The class: the smallest multiple of 16 that holds the request (at least 1 byte) and the
    // 8-byte header.
    const std::uint32_t S = WordBefore(P);
    EXPECT_TRUE(Aligned(P, 16)) << N;
    EXPECT_EQ(S % 16, 0u) << N;
    EXPECT_GE(S, std::max<std::size_t>(N, 1) + 8) << N;
    EXPECT_LT(S - 16, std::max<std::size_t>(N, 1) + 8) << N;
    EXPECT_EQ(GlobalMemState().UsedBytes - Before, S) << N;
    char* A = new char[N + 1];
    EXPECT_TRUE(Aligned(A, 16)) << N;
    ::operator delete(P, N);
    delete[] A;
    EXPECT_EQ(GlobalMemState().UsedBytes, Before) << N;
  }
}

TEST(GlobalAllocator, OverAlignedRequestsBypassThePools) {
  struct alignas(128) TWide {
    char Bytes[200];
  };
  const std::uint64_t Before = GlobalMemState().UsedBytes;
  auto* W = new TWide;
  auto* Ws = new TWide[3];
  EXPECT_TRUE(Aligned(W, 128));
  EXPECT_TRUE(Aligned(Ws, 128));
  EXPECT_EQ(GlobalMemState().UsedBytes, Before);
  delete W;
  delete[] Ws;
  void* P = ::operator new (40, std::align_val_t{16});  // the default alignment stays pooled
  EXPECT_EQ(WordBefore(P), 48u);
  ::operator delete (P, std::align_val_t{16});
}

TEST(GlobalAllocator, FailedRequestsFollowTheRuntimeRules) {
  const std::size_t Huge = SIZE_MAX / 2;
  EXPECT_EQ(::operator new(Huge, std::nothrow), nullptr);
  EXPECT_EQ(::operator new[](Huge, std::nothrow), nullptr);
  EXPECT_THROW((void)::operator new(Huge), std::bad_alloc);
  EXPECT_THROW((void)::operator new (Huge, std::align_val_t{64}), std::bad_alloc);

  static int Calls;
  Calls = 0;
  std::set_new_handler([] {
    if (++Calls == 2) std::set_new_handler(nullptr);
  });
  EXPECT_THROW((void)::operator new[](Huge), std::bad_alloc);
  EXPECT_EQ(Calls, 2);
  EXPECT_EQ(std::get_new_handler(), nullptr);
}

TEST(GlobalAllocator, ContainersOnTwoThreadsGiveEveryBlockBack) {
  const std::uint64_t Before = GlobalMemState().UsedBytes;
  auto Work = [](int Seed, bool* Ok) {
    std::map<int, std::string> Names;
    std::vector<std::vector<int>> Lists;
    for (int Round = 0; Round < 20; ++Round) {
      for (int I = 0; I < 500; ++I) {
        const int Key = (I * 7919 + Seed + Round) % 1000;
        Names[Key] =
            std::string(static_cast<std::size_t>(Key % 300 + 1), static_cast<char>('a' + Key % 26));
        Lists.emplace_back(static_cast<std::size_t>(Key % 50), Key);
      }
      for (auto It = Names.begin(); It != Names.end();)
        It = (It->first % 3 == Round % 3) ? Names.erase(It) : std::next(It);
      Lists.erase(Lists.begin(), Lists.begin() + static_cast<std::ptrdiff_t>(Lists.size() / 2));
    }
    bool Good = true;
    for (const auto& [key, text] : Names) {
      Good = Good && text.size() == static_cast<std::size_t>(key % 300 + 1) &&
             text.find_first_not_of(static_cast<char>('a' + key % 26)) == std::string::npos;
    }
    for (const auto& List : Lists) {
      for (int V : List) Good = Good && V == List.front();
    }
    *Ok = Good;
  };
  bool Ok1 = false, Ok2 = false;
  std::thread T1(Work, 1, &Ok1);
  std::thread T2(Work, 2, &Ok2);
  T1.join();
  T2.join();
  EXPECT_TRUE(Ok1);
  EXPECT_TRUE(Ok2);
  EXPECT_EQ(GlobalMemState().UsedBytes, Before);
}

TEST(GlobalAllocator, ChildOfAForkCanAllocateWhileAnotherThreadWasAllocating) {
  if (!testsupport::CanFork()) GTEST_SKIP() << "Windows has no fork";
  std::atomic<bool> Stop{false};
  std::thread Busy([&Stop] {
    while (!Stop) delete new std::string(100, 'b');
  });
  for (int I = 0; I < 20; ++I) {
    EXPECT_EQ(testsupport::RunForked(1, [](int) { delete new std::vector<int>(1000); }),
              std::vector<int>{0});
  }
  Stop = true;
  Busy.join();
}

testsupport::TProgramResult RunProbe(const std::string& Arg) {
  std::vector<std::string> Args{MEMMGR_EXIT_PROBE};
  if (!Arg.empty()) Args.push_back(Arg);
  return testsupport::RunProgram(Args);
}

TEST(GlobalAllocatorExit, ProgramEndingWithBlocksOutEndsCleanly) {
  const testsupport::TProgramResult R = RunProbe("");
  ASSERT_TRUE(R.Started);
  EXPECT_EQ(R.ExitCode, 0) << R.Output;
  EXPECT_EQ(R.Output.rfind("clean", 0), 0u) << R.Output;
}

TEST(GlobalAllocatorExit, LockIsTakenOnlyOnceASecondThreadExists) {
  const testsupport::TProgramResult R = RunProbe("threads");
  EXPECT_EQ(R.ExitCode, 0) << R.Output;
  std::string Lines = R.Output;
  std::erase(Lines, '\r');  // a Windows program's text output ends its lines with CR LF
  EXPECT_EQ(Lines, "single\nlocked\n");
}

TEST(GlobalAllocatorExit, ReleasingTwiceIsReportedAsAnInvalidPointer) {
  const testsupport::TProgramResult R = RunProbe("double-free");
  EXPECT_TRUE(R.Aborted) << R.Output;
  EXPECT_NE(R.Output.find("無効なポインタ操作"), std::string::npos) << R.Output;
  EXPECT_EQ(R.Output.find("not reported"), std::string::npos);
}

}  // namespace
