// Loading and saving a 6144 x 4096 8-bit map (25,166,902 bytes) through TBigBitmap, against a
// plain read and a plain write of the same bytes, all from and to the page cache in one run.
// Afterwards a fresh process loads the file once and reports its peak memory growth (the
// high-water mark of its resident set from getrusage, less its resident set before the load)
// relative to the file size.
//
// Targets: load and save at most 3x the plain transfer; peak memory at most 2.2x the file.

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "bigbitmap/bigbitmap.h"
#include "platform/streams.h"

namespace {

constexpr std::int32_t kWidth = 6144;
constexpr std::int32_t kHeight = 4096;

std::filesystem::path g_dir;

std::string InputFile() {
  return (g_dir / "map.bmp").string();
}
std::string OutputFile() {
  return (g_dir / "out.bmp").string();
}

void Put32(std::vector<std::uint8_t>& f, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) f[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::vector<std::uint8_t> MakeMapFile() {
  const std::size_t pixels = static_cast<std::size_t>(kWidth) * kHeight;
  std::vector<std::uint8_t> f(1078 + pixels, 0);
  f[0] = 'B';
  f[1] = 'M';
  Put32(f, 2, static_cast<std::uint32_t>(f.size()));
  Put32(f, 10, 1078);
  Put32(f, 14, 40);
  Put32(f, 18, kWidth);
  Put32(f, 22, kHeight);
  f[26] = 1;
  f[28] = 8;
  Put32(f, 46, 256);
  for (int i = 0; i < 256; ++i) {
    f[54 + 4 * i] = static_cast<std::uint8_t>(i);
    f[55 + 4 * i] = static_cast<std::uint8_t>(255 - i);
    f[56 + 4 * i] = static_cast<std::uint8_t>(i / 2);
  }
  for (std::size_t i = 0; i < pixels; ++i) {
    f[1078 + i] = static_cast<std::uint8_t>((i * 2654435761u) >> 24);
  }
  return f;
}

void BM_PlainRead(benchmark::State& state) {
  for (auto _ : state) {
    TFileStream in(InputFile(), fmOpenRead | fmShareDenyWrite);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(in.GetSize()));
    in.ReadBuffer(bytes.data(), static_cast<std::int32_t>(bytes.size()));
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetBytesProcessed(state.iterations() * std::filesystem::file_size(InputFile()));
}

void BM_LoadFromFile(benchmark::State& state) {
  for (auto _ : state) {
    TBigBitmap b;
    b.LoadFromFile(InputFile());
    benchmark::DoNotOptimize(b.GetScanline(0));
  }
  state.SetBytesProcessed(state.iterations() * std::filesystem::file_size(InputFile()));
}

void BM_PlainWrite(benchmark::State& state) {
  TFileStream in(InputFile(), fmOpenRead | fmShareDenyWrite);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(in.GetSize()));
  in.ReadBuffer(bytes.data(), static_cast<std::int32_t>(bytes.size()));
  for (auto _ : state) {
    TFileStream out(OutputFile(), fmCreate);
    out.WriteBuffer(bytes.data(), static_cast<std::int32_t>(bytes.size()));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}

void BM_SaveToFile(benchmark::State& state) {
  TBigBitmap b;
  b.LoadFromFile(InputFile());
  for (auto _ : state) b.SaveToFile(OutputFile());
  state.SetBytesProcessed(state.iterations() * std::filesystem::file_size(InputFile()));
}

BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_LoadFromFile)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_PlainWrite)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_SaveToFile)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// Keeps the real time per iteration of every benchmark for the ratios printed at the end.
class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) times[r.run_name.function_name] = r.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> times;
};

long CurrentRssKb() {
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Run in a fresh process: loads the file once, prints the peak growth of the resident set.
int MeasurePeakLoad(const char* file) {
  const long before = CurrentRssKb();
  {
    TBigBitmap b;
    b.LoadFromFile(file);
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("%ld\n", usage.ru_maxrss - before);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--peak-load") == 0) return MeasurePeakLoad(argv[2]);

  g_dir = std::filesystem::temp_directory_path() / ("bmp_io_bench." + std::to_string(getpid()));
  std::filesystem::create_directories(g_dir);
  {
    const std::vector<std::uint8_t> f = MakeMapFile();
    std::ofstream(InputFile(), std::ios::binary)
        .write(reinterpret_cast<const char*>(f.data()), static_cast<std::streamsize>(f.size()));
  }
  const double fileBytes = static_cast<double>(std::filesystem::file_size(InputFile()));

  benchmark::Initialize(&argc, argv);
  RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  auto ratio = [&](const char* a, const char* b) {
    const bool both = reporter.times.count(a) && reporter.times.count(b);
    return both ? reporter.times[a] / reporter.times[b] : 0.0;
  };
  std::printf("load / plain read:  %.2fx (target <= 3x)\n",
              ratio("BM_LoadFromFile", "BM_PlainRead"));
  std::printf("save / plain write: %.2fx (target <= 3x)\n",
              ratio("BM_SaveToFile", "BM_PlainWrite"));

  const std::string cmd = std::string("'") + argv[0] + "' --peak-load '" + InputFile() + "'";
  if (FILE* p = popen(cmd.c_str(), "r")) {
    long kb = 0;
    if (std::fscanf(p, "%ld", &kb) == 1) {
      std::printf("peak memory of a load: %.1f MB = %.2fx the file (target <= 2.2x)\n", kb / 1024.0,
                  kb * 1024.0 / fileBytes);
    }
    pclose(p);
  }
  std::filesystem::remove_all(g_dir);
  return 0;
}
