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

constexpr int kViewWidth = 800;
constexpr int kViewHeight = 600;

// The sample map file, written once.
const std::string& SampleMap() {
  static QTemporaryDir* dir = new QTemporaryDir;
  static const std::string name =
      WriteSampleMap(dir->path().toStdString(), fcFeluccaTrammel, msFull);
  return name;
}

// Zoom given as a fraction; 0 / 0 fits the map into the view.
double ZoomOf(const benchmark::State& state) {
  return state.range(1) == 0 ? 0 : static_cast<double>(state.range(0)) / state.range(1);
}

void SetZoom(TMapView& view, double zoom) {
  if (zoom == 0) {
    view.Fit();
    return;
  }
  // Centred on the map's middle.
  view.SetZoom(zoom, view.ViewWidth() / 2, view.ViewHeight() / 2);
  view.ScrollTo(view.ScrollMaxX() / 2, view.ScrollMaxY() / 2);
}

void BM_Paint(benchmark::State& state) {
  TMapView view;
  view.Open(SampleMap());
  view.SetViewSize(kViewWidth, kViewHeight);
  SetZoom(view, ZoomOf(state));
  TBitmap backing;
  backing.SetPixelFormat(pf32bit);
  backing.SetWidth(kViewWidth);
  backing.SetHeight(kViewHeight);
  for (auto _ : state) {
    view.Paint(backing, Rect(0, 0, kViewWidth, kViewHeight), 0x808080);
    benchmark::ClobberMemory();
  }
  state.counters["zoom_pct"] = view.Zoom() * 100;
}

void BM_Repaint(benchmark::State& state) {
  TMapViewer viewer;
  viewer.setFrameStyle(QFrame::NoFrame);
  viewer.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  viewer.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  viewer.resize(kViewWidth, kViewHeight);
  viewer.Model().OpenFile(SampleMap());
  viewer.show();
  QApplication::processEvents();
  const double zoom = ZoomOf(state);
  if (zoom == 0) {
    viewer.Model().KeyPressed(TViewerKey::Zero);
  } else {
    const QPoint centre = viewer.viewport()->rect().center();
    viewer.Model().ZoomTo(zoom, TPoint{centre.x(), centre.y()});
  }
  QApplication::processEvents();
  for (auto _ : state) {
    viewer.viewport()->repaint();
  }
  state.counters["zoom_pct"] = viewer.View().Zoom() * 100;
}

// Loading the map file into a view (what opening a viewer or Space costs).
void BM_Open(benchmark::State& state) {
  const std::string& name = SampleMap();
  for (auto _ : state) {
    TMapView view;
    view.Open(name);
    benchmark::DoNotOptimize(view.MapWidth());
  }
}
BENCHMARK(BM_Open)->Unit(benchmark::kMillisecond);

// Fitted (13 %), then 1/32, 1/16, 1/4, 1/2, 0.7 (between two averaged levels), 1:1, 2:1, 4:1
// and 16:1.
void Zooms(benchmark::internal::Benchmark* b) {
  for (const auto& zoom : std::vector<std::vector<std::int64_t>>{
           {0, 0}, {1, 32}, {1, 16}, {1, 4}, {1, 2}, {7, 10}, {1, 1}, {2, 1}, {4, 1}, {16, 1}}) {
    b->Args(zoom);
  }
}
BENCHMARK(BM_Paint)->Apply(Zooms)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Repaint)->Apply(Zooms)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
