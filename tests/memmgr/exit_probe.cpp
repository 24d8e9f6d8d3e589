// A program that ends with blocks still out. Run by the hook tests as a subprocess:
//   (no argument)  keeps blocks past the manager's shutdown, releases them afterwards, allocates
//                  once more and prints "clean" when every step behaved;
//   double-free    releases one block twice, which must end the program with a report.
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "memmgr/memmgr.h"

namespace {

constexpr int kKept = 50;
void* kept[kKept];
bool probing = false;

void Fail(const char* what) {
  std::printf("fault: %s\n", what);
  std::fflush(stdout);
  std::_Exit(3);
}

// Runs after every static destructor of the program, the manager's shutdown included.
__attribute__((destructor)) void AfterShutdown() {
  if (!probing) return;
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

int main(int argc, char** argv) {
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
  probing = true;
  return 0;
}
