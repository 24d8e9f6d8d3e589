// A repaint of an 800 x 600 map viewer over the full-size Felucca and Trammel sample map
// (6144 x 4096, 8 bits per pixel) at zoom levels from 1/32 to 16:1, the view centred on the
// map. "Paint" is the drawing onto the backing image alone (below 1:1 the area average, from
// 1:1 up the large bitmap's resampled drawing); "Repaint" is the whole repaint of the window
// (that drawing, the copy for the painter and the painter's own work), headless. One frame at
// 60 Hz is 16.7 ms. "Open" loads the map and builds its averaged levels.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/core/sample_maps.h"
#include "app/qt/map_viewer.h"

namespace {

constexpr int ViewWidth = 800;
constexpr int ViewHeight = 600;

// The sample map file, written once.
const std::string& SampleMap() {
  static QTemporaryDir* Dir = new QTemporaryDir;
  static const std::string Name =
      WriteSampleMap(Dir->path().toStdString(), fcFeluccaTrammel, msFull);
  return Name;
}

// Zoom given as a fraction; 0 / 0 fits the map into the view.
double ZoomOf(const benchmark::State& State) {
  return State.range(1) == 0 ? 0 : static_cast<double>(State.range(0)) / State.range(1);
}

void SetZoom(TMapView& View, double Zoom) {
  if (Zoom == 0) {
    View.Fit();
    return;
  }
  // Centred on the map's middle.
  View.SetZoom(Zoom, View.ViewWidth() / 2, View.ViewHeight() / 2);
  View.ScrollTo(View.ScrollMaxX() / 2, View.ScrollMaxY() / 2);
}

void BM_Paint(benchmark::State& State) {
  TMapView View;
  View.Open(SampleMap());
  View.SetViewSize(ViewWidth, ViewHeight);
  SetZoom(View, ZoomOf(State));
  TBitmap Backing;
  Backing.SetPixelFormat(pf32bit);
  Backing.SetWidth(ViewWidth);
  Backing.SetHeight(ViewHeight);
  for (auto _ : State) {
    View.Paint(Backing, Rect(0, 0, ViewWidth, ViewHeight), 0x808080);
    benchmark::ClobberMemory();
  }
  State.counters["zoom_pct"] = View.Zoom() * 100;
}

void BM_Repaint(benchmark::State& State) {
  TMapViewer Viewer;
  Viewer.setFrameStyle(QFrame::NoFrame);
  Viewer.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Viewer.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Viewer.resize(ViewWidth, ViewHeight);
  Viewer.Model().OpenFile(SampleMap());
  Viewer.show();
  QApplication::processEvents();
  const double Zoom = ZoomOf(State);
  if (Zoom == 0) {
    Viewer.Model().KeyPressed(TViewerKey::Zero);
  } else {
    const QPoint Centre = Viewer.viewport()->rect().center();
    Viewer.Model().ZoomTo(Zoom, TPoint{Centre.x(), Centre.y()});
  }
  QApplication::processEvents();
  for (auto _ : State) {
    Viewer.viewport()->repaint();
  }
  State.counters["zoom_pct"] = Viewer.View().Zoom() * 100;
}

// Loading the map file into a view (what opening a viewer or Space costs).
void BM_Open(benchmark::State& State) {
  const std::string& Name = SampleMap();
  for (auto _ : State) {
    TMapView View;
    View.Open(Name);
    benchmark::DoNotOptimize(View.MapWidth());
  }
}
BENCHMARK(BM_Open)->Unit(benchmark::kMillisecond);

// Fitted (13 %), then 1/32, 1/16, 1/4, 1/2, 0.7 (between two averaged levels), 1:1, 2:1, 4:1
// and 16:1.
void Zooms(benchmark::internal::Benchmark* B) {
  for (const auto& Zoom : std::vector<std::vector<std::int64_t>>{
           {0, 0}, {1, 32}, {1, 16}, {1, 4}, {1, 2}, {7, 10}, {1, 1}, {2, 1}, {4, 1}, {16, 1}}) {
    B->Args(Zoom);
  }
}
BENCHMARK(BM_Paint)->Apply(Zooms)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Repaint)->Apply(Zooms)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication Application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
