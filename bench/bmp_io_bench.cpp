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

constexpr std::int32_t Width = 6144;
constexpr std::int32_t Height = 4096;

std::filesystem::path GDir;

std::string InputFile() {
  return (GDir / "map.bmp").string();
}
std::string OutputFile() {
  return (GDir / "out.bmp").string();
}

void Put32(std::vector<std::uint8_t>& F, std::size_t At, std::uint32_t V) {
  for (int I = 0; I < 4; ++I) F[At + I] = static_cast<std::uint8_t>(V >> (8 * I));
}

std::vector<std::uint8_t> MakeMapFile() {
  const std::size_t Pixels = static_cast<std::size_t>(Width) * Height;
  std::vector<std::uint8_t> F(1078 + Pixels, 0);
  F[0] = 'B';
  F[1] = 'M';
  Put32(F, 2, static_cast<std::uint32_t>(F.size()));
  Put32(F, 10, 1078);
  Put32(F, 14, 40);
  Put32(F, 18, Width);
  Put32(F, 22, Height);
  F[26] = 1;
  F[28] = 8;
  Put32(F, 46, 256);
  for (int I = 0; I < 256; ++I) {
    F[54 + 4 * I] = static_cast<std::uint8_t>(I);
    F[55 + 4 * I] = static_cast<std::uint8_t>(255 - I);
    F[56 + 4 * I] = static_cast<std::uint8_t>(I / 2);
  }
  for (std::size_t I = 0; I < Pixels; ++I) {
    F[1078 + I] = static_cast<std::uint8_t>((I * 2654435761u) >> 24);
  }
  return F;
}

void BM_PlainRead(benchmark::State& State) {
  for (auto _ : State) {
    TFileStream In(InputFile(), fmOpenRead | fmShareDenyWrite);
    std::vector<std::uint8_t> Bytes(static_cast<std::size_t>(In.GetSize()));
    In.ReadBuffer(Bytes.data(), static_cast<std::int32_t>(Bytes.size()));
    benchmark::DoNotOptimize(Bytes.data());
  }
  State.SetBytesProcessed(State.iterations() * std::filesystem::file_size(InputFile()));
}

void BM_LoadFromFile(benchmark::State& State) {
  for (auto _ : State) {
    TBigBitmap B;
    B.LoadFromFile(InputFile());
    benchmark::DoNotOptimize(B.GetScanline(0));
  }
  State.SetBytesProcessed(State.iterations() * std::filesystem::file_size(InputFile()));
}

void BM_PlainWrite(benchmark::State& State) {
  TFileStream In(InputFile(), fmOpenRead | fmShareDenyWrite);
  std::vector<std::uint8_t> Bytes(static_cast<std::size_t>(In.GetSize()));
  In.ReadBuffer(Bytes.data(), static_cast<std::int32_t>(Bytes.size()));
  for (auto _ : State) {
    TFileStream Out(OutputFile(), fmCreate);
    Out.WriteBuffer(Bytes.data(), static_cast<std::int32_t>(Bytes.size()));
  }
  State.SetBytesProcessed(State.iterations() * static_cast<std::int64_t>(Bytes.size()));
}

void BM_SaveToFile(benchmark::State& State) {
  TBigBitmap B;
  B.LoadFromFile(InputFile());
  for (auto _ : State) B.SaveToFile(OutputFile());
  State.SetBytesProcessed(State.iterations() * std::filesystem::file_size(InputFile()));
}

BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_LoadFromFile)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_PlainWrite)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_SaveToFile)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// Keeps the real time per iteration of every benchmark for the ratios printed at the end.
class TRecordingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& Runs) override {
    for (const Run& R : Runs) Times[R.run_name.function_name] = R.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(Runs);
  }
  std::map<std::string, double> Times;
};

long CurrentRssKb() {
  std::ifstream Statm("/proc/self/statm");
  long Size = 0, Resident = 0;
  Statm >> Size >> Resident;
  return Resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Run in a fresh process: loads the file once, prints the peak growth of the resident set.
int MeasurePeakLoad(const char* File) {
  const long Before = CurrentRssKb();
  {
    TBigBitmap B;
    B.LoadFromFile(File);
  }
  rusage Usage{};
  getrusage(RUSAGE_SELF, &Usage);
  std::printf("%ld\n", Usage.ru_maxrss - Before);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--peak-load") == 0) return MeasurePeakLoad(argv[2]);

  GDir = std::filesystem::temp_directory_path() / ("bmp_io_bench." + std::to_string(getpid()));
  std::filesystem::create_directories(GDir);
  {
    const std::vector<std::uint8_t> F = MakeMapFile();
    std::ofstream(InputFile(), std::ios::binary)
        .write(reinterpret_cast<const char*>(F.data()), static_cast<std::streamsize>(F.size()));
  }
  const double FileBytes = static_cast<double>(std::filesystem::file_size(InputFile()));

  benchmark::Initialize(&argc, argv);
  TRecordingReporter Reporter;
  benchmark::RunSpecifiedBenchmarks(&Reporter);

  auto Ratio = [&](const char* A, const char* B) {
    const bool Both = Reporter.Times.count(A) && Reporter.Times.count(B);
    return Both ? Reporter.Times[A] / Reporter.Times[B] : 0.0;
  };
  std::printf("load / plain read:  %.2fx (target <= 3x)\n",
              Ratio("BM_LoadFromFile", "BM_PlainRead"));
  std::printf("save / plain write: %.2fx (target <= 3x)\n",
              Ratio("BM_SaveToFile", "BM_PlainWrite"));

  const std::string Cmd = std::string("'") + argv[0] + "' --peak-load '" + InputFile() + "'";
  if (FILE* P = popen(Cmd.c_str(), "r")) {
    long Kb = 0;
    if (std::fscanf(P, "%ld", &Kb) == 1) {
      std::printf("peak memory of a load: %.1f MB = %.2fx the file (target <= 2.2x)\n", Kb / 1024.0,
                  Kb * 1024.0 / FileBytes);
    }
    pclose(P);
  }
  std::filesystem::remove_all(GDir);
  return 0;
}
