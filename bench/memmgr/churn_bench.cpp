// Allocation churn through the global operator new/delete. Built twice from this file: once with
// the pooled manager as the global allocator and once with the C library's, so that the two can be
// run side by side (scripts/bench-memmgr prints the ratios).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

// Small, fast and the same in both builds.
class TRandom {
 public:
  explicit TRandom(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return state_;
  }
  std::size_t Between(std::size_t lo, std::size_t hi) { return lo + Next() % (hi - lo + 1); }

 private:
  std::uint64_t state_;
};

double ResidentMiB() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1 << 20);
}

void* Get(std::size_t size) {
  void* p = ::operator new(size);
  static_cast<char*>(p)[0] = 1;
  return p;
}

// Resident memory while a heap of small objects is built, half freed (every other object) and
// freed completely. Registered first, so that it starts from a nearly untouched heap.
void BM_Fragmentation(benchmark::State& state) {
  constexpr std::size_t kObjects = 400000;
  for (auto _ : state) {
    TRandom random(7);
    std::vector<void*> objects(kObjects);
    const double start = ResidentMiB();
    for (void*& p : objects) p = Get(random.Between(8, 256));
    const double full = ResidentMiB();
    for (std::size_t i = 0; i < kObjects; i += 2) ::operator delete(objects[i]);
    const double half = ResidentMiB();
    for (std::size_t i = 1; i < kObjects; i += 2) ::operator delete(objects[i]);
    const double end = ResidentMiB();
    state.counters["rss_start_MiB"] = start;
    state.counters["rss_full_MiB"] = full;
    state.counters["rss_half_MiB"] = half;
    state.counters["rss_end_MiB"] = end;
  }
}
BENCHMARK(BM_Fragmentation)->Iterations(1)->Unit(benchmark::kMillisecond);

// One release and one allocation of 8 to 256 bytes per iteration among 100,000 live objects.
void BM_SmallChurn(benchmark::State& state) {
  constexpr std::size_t kLive = 100000;
  TRandom random(1);
  std::vector<void*> live(kLive);
  for (void*& p : live) p = Get(random.Between(8, 256));
  for (auto _ : state) {
    const std::size_t i = random.Next() % kLive;
    ::operator delete(live[i]);
    live[i] = Get(random.Between(8, 256));
  }
  for (void* p : live) ::operator delete(p);
}
BENCHMARK(BM_SmallChurn);

// The worst case for a manager that returns empty chunks at once: one object, allocated and
// released over and over.
void BM_OneObjectLoop(benchmark::State& state) {
  for (auto _ : state) {
    void* p = ::operator new(24);
    benchmark::DoNotOptimize(p);
    ::operator delete(p);
  }
}
BENCHMARK(BM_OneObjectLoop);

// Strings and byte vectors of 16 to 4,096 bytes, built, filled and dropped, 1,000 of each live.
void BM_StringsAndVectors(benchmark::State& state) {
  constexpr std::size_t kLive = 1000;
  TRandom random(3);
  std::vector<std::string> strings(kLive);
  std::vector<std::vector<char>> vectors(kLive);
  for (auto _ : state) {
    const std::size_t i = random.Next() % kLive;
    strings[i] = std::string(random.Between(16, 4096), 'x');
    vectors[i] = std::vector<char>(random.Between(16, 4096), 'y');
    benchmark::DoNotOptimize(strings[i].data());
    benchmark::DoNotOptimize(vectors[i].data());
  }
}
BENCHMARK(BM_StringsAndVectors);

// Blocks of 20 to 200 KB, 16 live, one replaced per iteration; the first bytes are written.
void BM_LargeBlocks(benchmark::State& state) {
  constexpr std::size_t kLive = 16;
  TRandom random(5);
  std::vector<void*> live(kLive);
  for (void*& p : live) p = Get(random.Between(20 << 10, 200 << 10));
  for (auto _ : state) {
    const std::size_t i = random.Next() % kLive;
    ::operator delete(live[i]);
    live[i] = Get(random.Between(20 << 10, 200 << 10));
    std::memset(live[i], 0, 64);
  }
  for (void* p : live) ::operator delete(p);
}
BENCHMARK(BM_LargeBlocks);

}  // namespace

BENCHMARK_MAIN();
