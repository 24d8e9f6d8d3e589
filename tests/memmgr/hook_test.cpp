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

bool Aligned(const void* p, std::size_t a) {
  return reinterpret_cast<std::uintptr_t>(p) % a == 0;
}

TEST(GlobalAllocator, EveryAddressIsAlignedAndCarriesItsClass) {
  std::vector<std::size_t> sizes;
  for (std::size_t s = 0; s <= 300; ++s) sizes.push_back(s);
  for (std::size_t s = 300; s < 70000; s = s * 9 / 8) sizes.push_back(s);
  for (std::size_t s : {16376, 16377, 65512, 65513, 1 << 20}) sizes.push_back(s);
  for (std::size_t s : sizes) {
    const std::uint64_t before = GlobalMemState().UsedBytes;
    void* p = ::operator new(s);
    // The class: the smallest multiple of 16 that holds the request (at least 1 byte) and the
    // 8-byte header.
    const std::uint32_t S = WordBefore(p);
    EXPECT_TRUE(Aligned(p, 16)) << s;
    EXPECT_EQ(S % 16, 0u) << s;
    EXPECT_GE(S, std::max<std::size_t>(s, 1) + 8) << s;
    EXPECT_LT(S - 16, std::max<std::size_t>(s, 1) + 8) << s;
    EXPECT_EQ(GlobalMemState().UsedBytes - before, S) << s;
    char* a = new char[s + 1];
    EXPECT_TRUE(Aligned(a, 16)) << s;
    ::operator delete(p, s);
    delete[] a;
    EXPECT_EQ(GlobalMemState().UsedBytes, before) << s;
  }
}

TEST(GlobalAllocator, OverAlignedRequestsBypassThePools) {
  struct alignas(128) Wide {
    char bytes[200];
  };
  const std::uint64_t before = GlobalMemState().UsedBytes;
  auto* w = new Wide;
  auto* ws = new Wide[3];
  EXPECT_TRUE(Aligned(w, 128));
  EXPECT_TRUE(Aligned(ws, 128));
  EXPECT_EQ(GlobalMemState().UsedBytes, before);
  delete w;
  delete[] ws;
  void* p = ::operator new (40, std::align_val_t{16});  // the default alignment stays pooled
  EXPECT_EQ(WordBefore(p), 48u);
  ::operator delete (p, std::align_val_t{16});
}

TEST(GlobalAllocator, FailedRequestsFollowTheRuntimeRules) {
  const std::size_t huge = SIZE_MAX / 2;
  EXPECT_EQ(::operator new(huge, std::nothrow), nullptr);
  EXPECT_EQ(::operator new[](huge, std::nothrow), nullptr);
  EXPECT_THROW((void)::operator new(huge), std::bad_alloc);
  EXPECT_THROW((void)::operator new (huge, std::align_val_t{64}), std::bad_alloc);

  static int calls;
  calls = 0;
  std::set_new_handler([] {
    if (++calls == 2) std::set_new_handler(nullptr);
  });
  EXPECT_THROW((void)::operator new[](huge), std::bad_alloc);
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(std::get_new_handler(), nullptr);
}

TEST(GlobalAllocator, ContainersOnTwoThreadsGiveEveryBlockBack) {
  const std::uint64_t before = GlobalMemState().UsedBytes;
  auto work = [](int seed, bool* ok) {
    std::map<int, std::string> names;
    std::vector<std::vector<int>> lists;
    for (int round = 0; round < 20; ++round) {
      for (int i = 0; i < 500; ++i) {
        const int key = (i * 7919 + seed + round) % 1000;
        names[key] =
            std::string(static_cast<std::size_t>(key % 300 + 1), static_cast<char>('a' + key % 26));
        lists.emplace_back(static_cast<std::size_t>(key % 50), key);
      }
      for (auto it = names.begin(); it != names.end();)
        it = (it->first % 3 == round % 3) ? names.erase(it) : std::next(it);
      lists.erase(lists.begin(), lists.begin() + static_cast<std::ptrdiff_t>(lists.size() / 2));
    }
    bool good = true;
    for (const auto& [key, text] : names) {
      good = good && text.size() == static_cast<std::size_t>(key % 300 + 1) &&
             text.find_first_not_of(static_cast<char>('a' + key % 26)) == std::string::npos;
    }
    for (const auto& list : lists) {
      for (int v : list) good = good && v == list.front();
    }
    *ok = good;
  };
  bool ok1 = false, ok2 = false;
  std::thread t1(work, 1, &ok1);
  std::thread t2(work, 2, &ok2);
  t1.join();
  t2.join();
  EXPECT_TRUE(ok1);
  EXPECT_TRUE(ok2);
  EXPECT_EQ(GlobalMemState().UsedBytes, before);
}

TEST(GlobalAllocator, ChildOfAForkCanAllocateWhileAnotherThreadWasAllocating) {
  if (!testsupport::CanFork()) GTEST_SKIP() << "Windows has no fork";
  std::atomic<bool> stop{false};
  std::thread busy([&stop] {
    while (!stop) delete new std::string(100, 'b');
  });
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(testsupport::RunForked(1, [](int) { delete new std::vector<int>(1000); }),
              std::vector<int>{0});
  }
  stop = true;
  busy.join();
}

testsupport::ProgramResult RunProbe(const std::string& arg) {
  std::vector<std::string> args{MEMMGR_EXIT_PROBE};
  if (!arg.empty()) args.push_back(arg);
  return testsupport::RunProgram(args);
}

TEST(GlobalAllocatorExit, ProgramEndingWithBlocksOutEndsCleanly) {
  const testsupport::ProgramResult r = RunProbe("");
  ASSERT_TRUE(r.Started);
  EXPECT_EQ(r.ExitCode, 0) << r.Output;
  EXPECT_EQ(r.Output.rfind("clean", 0), 0u) << r.Output;
}

TEST(GlobalAllocatorExit, LockIsTakenOnlyOnceASecondThreadExists) {
  const testsupport::ProgramResult r = RunProbe("threads");
  EXPECT_EQ(r.ExitCode, 0) << r.Output;
  std::string lines = r.Output;
  std::erase(lines, '\r');  // a Windows program's text output ends its lines with CR LF
  EXPECT_EQ(lines, "single\nlocked\n");
}

TEST(GlobalAllocatorExit, ReleasingTwiceIsReportedAsAnInvalidPointer) {
  const testsupport::ProgramResult r = RunProbe("double-free");
  EXPECT_TRUE(r.Aborted) << r.Output;
  EXPECT_NE(r.Output.find("無効なポインタ操作"), std::string::npos) << r.Output;
  EXPECT_EQ(r.Output.find("not reported"), std::string::npos);
}

}  // namespace
