// The twelve-map run over the built-in sample started from the window's Make action (status bar,
// repaints, pending events processed after every row) next to the very same run through a host
// that only answers the model's choices and shows nothing: the window should cost nothing
// measurable. Runs headless unless QT_QPA_PLATFORM says otherwise.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <memory>
#include <string>

#include "app/core/map_job.h"
#include "app/core/sample_maps.h"
#include "app/qt/main_form.h"
#include "bench/temp_folder.h"

namespace {

// The window with every map of the sample ticked.
struct TWindow {
  TBenchFolder Sample{"veldrin-window-bench"};
  TForm1 Form;
  TWindow() {
    WriteSampleMaps(Sample.Root().string());
    Form.Model().MapFolder = Sample.Root().string();
    Form.show();
    for (Facet F = 0; F < FacetCount; ++F) {
      for (MapScale S = 0; S < MapScaleCount; ++S) {
        static_cast<QCheckBox*>(Form.Control(MapCBoxControl(F, S)))->click();
      }
    }
    QApplication::processEvents();
  }
};

// Made in main, after the application object, and gone before it.
TWindow* TheWindow = nullptr;

TWindow& Window() {
  return *TheWindow;
}

// The model's choices, nothing shown, no events processed.
class TSilentHost : public TJobHost {
 public:
  explicit TSilentHost(TMainWindowModel& Model) : FModel(Model) {}
  std::string GetMapFolder() override { return FModel.GetMapFolder(); }
  bool MapBoxEnabled(Facet F, MapScale S) override { return FModel.MapBoxEnabled(F, S); }
  bool MapBoxChecked(Facet F, MapScale S) override { return FModel.MapBoxChecked(F, S); }
  MapType GetBaseMapType() override { return FModel.GetBaseMapType(); }
  MapType GetTrgMapType() override { return FModel.GetTrgMapType(); }
  bool GetCanceled() override { return false; }
  void SetCanceled(bool) override {}
  bool GetClosing() override { return false; }
  void SetRunning(bool) override {}
  void ShowStatus(const std::string&) override {}
  void SetStatusText(const std::string& Text) override { benchmark::DoNotOptimize(Text.data()); }
  void Repaint() override {}
  void ProcessMessages() override {}

 private:
  TMainWindowModel& FModel;
};

void BM_WindowMake(benchmark::State& State) {
  TWindow& Bench = Window();
  for (auto _ : State) {
    static_cast<QPushButton*>(Bench.Form.Control(TMainControl::MakeBtn))->click();
    const std::string& Text = Bench.Form.Model().StatusText();
    if (Text != " 完了しました") {
      State.SkipWithError(("run ended with \"" + Text + "\"").c_str());
      break;
    }
  }
}

void BM_SameRunWithoutWindow(benchmark::State& State) {
  TSilentHost Host(Window().Form.Model());
  for (auto _ : State) MakeRun(Host);
}

BENCHMARK(BM_WindowMake)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_SameRunWithoutWindow)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication Application(argc, argv);
  benchmark::Initialize(&argc, argv);
  const auto Bench = std::make_unique<TWindow>();
  TheWindow = Bench.get();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
