// The grid map job on the built-in sample, next to its floor: reading the base files and writing
// the target files (Felucca and Trammel twice) with plain read and write calls.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/core/map_job.h"
#include "app/core/sample_maps.h"
#include "bench/temp_folder.h"

namespace {

// A sample folder for the whole program, removed at its end.
class TSampleFolder {
 public:
  TSampleFolder() {
    std::filesystem::create_directory(FFolder.Root() / "maps");
    std::filesystem::create_directory(FFolder.Root() / "floor");
    WriteSampleMaps(Maps());
  }
  std::string Maps() const { return (FFolder.Root() / "maps").string(); }
  std::string Floor() const { return (FFolder.Root() / "floor").string(); }

 private:
  TBenchFolder FFolder{"veldrin-bench"};
};

const TSampleFolder& Sample() {
  static const TSampleFolder Folder;
  return Folder;
}

class TBenchHost : public TJobHost {
 public:
  TBenchHost(std::string Folder, bool OnlyFelucca)
      : FFolder(std::move(Folder)), FOnlyFelucca(OnlyFelucca) {}
  std::string GetMapFolder() override { return FFolder; }
  bool MapBoxEnabled(Facet, MapScale) override { return true; }
  bool MapBoxChecked(Facet F, MapScale S) override {
    return !FOnlyFelucca || (F == fcFeluccaTrammel && S == msFull);
  }
  MapType GetBaseMapType() override { return mtNormal; }
  MapType GetTrgMapType() override { return mtXRay; }
  bool GetCanceled() override { return false; }
  void SetCanceled(bool) override {}
  bool GetClosing() override { return false; }
  void SetRunning(bool) override {}
  void ShowStatus(const std::string&) override {}
  void SetStatusText(const std::string& Text) override { benchmark::DoNotOptimize(Text.data()); }
  void Repaint() override {}
  void ProcessMessages() override { ++Rows; }
  std::int64_t Rows = 0;

 private:
  std::string FFolder;
  bool FOnlyFelucca;
};

std::vector<char> ReadWhole(const std::string& Name) {
  const int Fd = ::open(Name.c_str(), O_RDONLY);
  if (Fd < 0) throw std::runtime_error("cannot open " + Name);
  std::vector<char> Bytes(static_cast<std::size_t>(::lseek(Fd, 0, SEEK_END)));
  ::lseek(Fd, 0, SEEK_SET);
  std::size_t Done = 0;
  while (Done < Bytes.size()) {
    const ssize_t N = ::read(Fd, Bytes.data() + Done, Bytes.size() - Done);
    if (N <= 0) throw std::runtime_error("cannot read " + Name);
    Done += static_cast<std::size_t>(N);
  }
  ::close(Fd);
  return Bytes;
}

void WriteWhole(const std::string& Name, const std::vector<char>& Bytes) {
  const int Fd = ::open(Name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (Fd < 0) throw std::runtime_error("cannot create " + Name);
  std::size_t Done = 0;
  while (Done < Bytes.size()) {
    const ssize_t N = ::write(Fd, Bytes.data() + Done, Bytes.size() - Done);
    if (N <= 0) throw std::runtime_error("cannot write " + Name);
    Done += static_cast<std::size_t>(N);
  }
  ::close(Fd);
}

// What any job has to do at least: read the base file, write its target file or files.
void PlainCopy(Facet F, MapScale S) {
  const std::vector<char> Bytes = ReadWhole(GetBaseFileName(Sample().Maps(), F, mtNormal, S));
  std::string MainName, SecondName;
  GetTrgFileNames(Sample().Floor(), F, mtXRay, S, MainName, SecondName);
  WriteWhole(MainName, Bytes);
  if (!SecondName.empty()) WriteWhole(SecondName, Bytes);
}

void BM_Floor_AllMaps(benchmark::State& State) {
  for (auto _ : State) {
    for (Facet F = 0; F < FacetCount; ++F) {
      for (MapScale S = 0; S < MapScaleCount; ++S) PlainCopy(F, S);
    }
  }
}

void BM_MakeRun_AllMaps(benchmark::State& State) {
  TBenchHost Host(Sample().Maps(), false);
  for (auto _ : State) MakeRun(Host);
  State.counters["rows_per_run"] =
      benchmark::Counter(double(Host.Rows) / double(State.iterations()));
}

void BM_Floor_FeluccaFull(benchmark::State& State) {
  for (auto _ : State) PlainCopy(fcFeluccaTrammel, msFull);
}

void BM_MapJob_FeluccaFull(benchmark::State& State) {
  TBenchHost Host(Sample().Maps(), true);
  for (auto _ : State) MapJob(Host, fcFeluccaTrammel, msFull);
}

BENCHMARK(BM_Floor_AllMaps)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_MakeRun_AllMaps)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_Floor_FeluccaFull)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_MapJob_FeluccaFull)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
