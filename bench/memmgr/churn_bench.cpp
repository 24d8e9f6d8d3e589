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
  explicit TRandom(std::uint64_t Seed) : FState(Seed) {}
  std::uint64_t Next() {
    FState ^= FState << 13;
    FState ^= FState >> 7;
    FState ^= FState << 17;
    return FState;
  }
  std::size_t Between(std::size_t Lo, std::size_t Hi) { return Lo + Next() % (Hi - Lo + 1); }

 private:
  std::uint64_t FState;
};

double ResidentMiB() {
  long Pages = 0, Resident = 0;
  if (FILE* F = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(F, "%ld %ld", &Pages, &Resident) != 2) Resident = 0;
    std::fclose(F);
  }
  return static_cast<double>(Resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1 << 20);
}

void* Get(std::size_t Size) {
  void* P = ::operator new(Size);
  static_cast<char*>(P)[0] = 1;
  return P;
}

// Resident memory while a heap of small objects is built, half freed (every other object) and
// freed completely. Registered first, so that it starts from a nearly untouched heap.
void BM_Fragmentation(benchmark::State& State) {
  constexpr std::size_t ObjectCount = 400000;
  for (auto _ : State) {
    TRandom Random(7);
    std::vector<void*> Objects(ObjectCount);
    const double Start = ResidentMiB();
    for (void*& P : Objects) P = Get(Random.Between(8, 256));
    const double Full = ResidentMiB();
    for (std::size_t I = 0; I < ObjectCount; I += 2) ::operator delete(Objects[I]);
    const double Half = ResidentMiB();
    for (std::size_t I = 1; I < ObjectCount; I += 2) ::operator delete(Objects[I]);
    const double End = ResidentMiB();
    State.counters["rss_start_MiB"] = Start;
    State.counters["rss_full_MiB"] = Full;
    State.counters["rss_half_MiB"] = Half;
    State.counters["rss_end_MiB"] = End;
  }
}
BENCHMARK(BM_Fragmentation)->Iterations(1)->Unit(benchmark::kMillisecond);

// One release and one allocation of 8 to 256 bytes per iteration among 100,000 live objects.
void BM_SmallChurn(benchmark::State& State) {
  constexpr std::size_t LiveCount = 100000;
  TRandom Random(1);
  std::vector<void*> Live(LiveCount);
  for (void*& P : Live) P = Get(Random.Between(8, 256));
  for (auto _ : State) {
    const std::size_t I = Random.Next() % LiveCount;
    ::operator delete(Live[I]);
    Live[I] = Get(Random.Between(8, 256));
  }
  for (void* P : Live) ::operator delete(P);
}
BENCHMARK(BM_SmallChurn);

// The worst case for a manager that returns empty chunks at once: one object, allocated and
// released over and over.
void BM_OneObjectLoop(benchmark::State& State) {
  for (auto _ : State) {
    void* P = ::operator new(24);
    benchmark::DoNotOptimize(P);
    ::operator delete(P);
  }
}
BENCHMARK(BM_OneObjectLoop);

// Strings and byte vectors of 16 to 4,096 bytes, built, filled and dropped, 1,000 of each live.
void BM_StringsAndVectors(benchmark::State& State) {
  constexpr std::size_t LiveCount = 1000;
  TRandom Random(3);
  std::vector<std::string> Strings(LiveCount);
  std::vector<std::vector<char>> Vectors(LiveCount);
  for (auto _ : State) {
    const std::size_t I = Random.Next() % LiveCount;
    Strings[I] = std::string(Random.Between(16, 4096), 'x');
    Vectors[I] = std::vector<char>(Random.Between(16, 4096), 'y');
    benchmark::DoNotOptimize(Strings[I].data());
    benchmark::DoNotOptimize(Vectors[I].data());
  }
}
BENCHMARK(BM_StringsAndVectors);

// Blocks of 20 to 200 KB, 16 live, one replaced per iteration; the first bytes are written.
void BM_LargeBlocks(benchmark::State& State) {
  constexpr std::size_t LiveCount = 16;
  TRandom Random(5);
  std::vector<void*> Live(LiveCount);
  for (void*& P : Live) P = Get(Random.Between(20 << 10, 200 << 10));
  for (auto _ : State) {
    const std::size_t I = Random.Next() % LiveCount;
    ::operator delete(Live[I]);
    Live[I] = Get(Random.Between(20 << 10, 200 << 10));
    std::memset(Live[I], 0, 64);
  }
  for (void* P : Live) ::operator delete(P);
}
BENCHMARK(BM_LargeBlocks);

}  // namespace

BENCHMARK_MAIN();
