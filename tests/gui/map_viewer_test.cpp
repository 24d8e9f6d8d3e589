// The map viewer, headless: its picture against a plain point-sampled scaling of the map, the
// tiles and pixels a repaint draws, zoom, pan, Space and errors.

#include "app/gui/map_viewer.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>
#include <cmath>
#include <ostream>
#include <string>
#include <vector>

#include "app/gui/error_display.h"
#include "platform/exceptions.h"
#include "qt_test_application.h"
#include "support/bmp_builder.h"
#include "support/temp_dir.h"

namespace {

using testsupport::TempDir;

QRgb PaletteColour(int Index) {
  return qRgb(Index, 255 - Index, (Index * 7) & 255);
}

// Neighbouring pixels always differ, so a picture one pixel off shows.
int MapIndex(int X, int Y) {
  return (X * 3 + Y * 5) % 251;
}

void WriteMap(const std::string& Name, int Width, int Height, int Shift = 0) {
  testsupport::BmpLayout Bmp;
  Bmp.width = Width;
  Bmp.height = Height;
  for (int I = 0; I < 256; ++I) {
    const QRgb C = PaletteColour(I);
    Bmp.colors.insert(Bmp.colors.end(),
                      {static_cast<std::uint8_t>(qBlue(C)), static_cast<std::uint8_t>(qGreen(C)),
                       static_cast<std::uint8_t>(qRed(C)), 0});
  }
  const int Stride = testsupport::DibStride(Width, 8);
  Bmp.pixels.assign(static_cast<std::size_t>(Stride) * Height, 0);
  for (int Y = 0; Y < Height; ++Y) {
    for (int X = 0; X < Width; ++X) {
      Bmp.pixels[static_cast<std::size_t>((Height - 1 - Y) * Stride + X)] =
          static_cast<std::uint8_t>((MapIndex(X, Y) + Shift) % 251);
    }
  }
  testsupport::WriteFileBytes(Name, testsupport::BuildBmp(Bmp));
}

class MapViewerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FSaved =
        SetErrorHandler([this](QWidget*, const QString& Message) { Errors.push_back(Message); });
  }
  void TearDown() override {
    Viewer.reset();
    SetErrorHandler(FSaved);
  }

  // A viewer over Name whose view is exactly ViewWidth x ViewHeight pixels.
  TMapViewer& Show(const std::string& Name, int ViewWidth = 300, int ViewHeight = 200) {
    Viewer = std::make_unique<TMapViewer>();
    Viewer->setFrameStyle(QFrame::NoFrame);
    Viewer->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Viewer->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Viewer->resize(ViewWidth, ViewHeight);
    Viewer->OpenFile(Name);
    Viewer->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(Viewer.get()));
    return *Viewer;
  }
  QImage Picture() const { return Viewer->viewport()->grab().toImage(); }
  void Key(int K) const { QTest::keyClick(Viewer.get(), static_cast<Qt::Key>(K)); }
  void ScrollTo(int X, int Y) const {
    Viewer->horizontalScrollBar()->setValue(X);
    Viewer->verticalScrollBar()->setValue(Y);
  }

  TempDir Dir;
  std::unique_ptr<TMapViewer> Viewer;
  std::vector<QString> Errors;

 private:
  TErrorHandler FSaved;
};

// ---- the picture ----------------------------------------------------------------------------

struct TZoomCase {
  const char* Keys;  // pressed after "1" (1:1)
  double Zoom;
  int ScrollX, ScrollY;
};
void PrintTo(const TZoomCase& C, std::ostream* Os) {
  *Os << "1" << C.Keys << " at " << C.ScrollX << "," << C.ScrollY;
}

class ViewerPictureTest : public MapViewerTest, public ::testing::WithParamInterface<TZoomCase> {};

// Every view pixel shows the map pixel that a plain point-sampled scaling puts there, and the
// background where the map does not reach.
TEST_P(ViewerPictureTest, EqualsAPointSampledScalingOfTheMap) {
  constexpr int W = 640, H = 480;
  WriteMap(Dir.file("MAP3-X1.BMP"), W, H);
  Show(Dir.file("MAP3-X1.BMP"));
  Key(Qt::Key_1);
  for (const char* K = GetParam().Keys; *K != 0; ++K) Key(*K == '+' ? Qt::Key_Plus : Qt::Key_Minus);
  ScrollTo(GetParam().ScrollX, GetParam().ScrollY);
  ASSERT_NEAR(Viewer->View().Zoom(), GetParam().Zoom, 1e-9);

  const QImage Shot = Picture();
  ASSERT_EQ(Shot.size(), QSize(300, 200));
  const auto DestW = static_cast<int>(std::lround(W * GetParam().Zoom));
  const auto DestH = static_cast<int>(std::lround(H * GetParam().Zoom));
  const int Left = DestW < 300 ? (300 - DestW) / 2 : -Viewer->horizontalScrollBar()->value();
  const int Top = DestH < 200 ? (200 - DestH) / 2 : -Viewer->verticalScrollBar()->value();
  EXPECT_EQ(Viewer->horizontalScrollBar()->value(),
            std::min(GetParam().ScrollX, std::max(0, DestW - 300)));
  const QRgb Background = Viewer->palette().color(QPalette::Dark).rgb();
  int Wrong = 0;
  for (int Y = 0; Y < 200; ++Y) {
    for (int X = 0; X < 300; ++X) {
      const int Dx = X - Left, Dy = Y - Top;
      const QRgb Want = Dx >= 0 && Dx < DestW && Dy >= 0 && Dy < DestH
                            ? PaletteColour(MapIndex(Dx * W / DestW, Dy * H / DestH))
                            : Background;
      if ((Shot.pixel(X, Y) & 0xFFFFFF) != (Want & 0xFFFFFF) && Wrong++ < 5) {
        ADD_FAILURE() << "view pixel " << X << "," << Y;
      }
    }
  }
  EXPECT_EQ(Wrong, 0);
}

INSTANTIATE_TEST_SUITE_P(ZoomsAndPositions, ViewerPictureTest,
                         ::testing::Values(TZoomCase{"", 1, 0, 0}, TZoomCase{"", 1, 123, 77},
                                           TZoomCase{"", 1, 5000, 5000},
                                           TZoomCase{"++", 2, 511, 333},
                                           TZoomCase{"++++", 4, 1799, 1201},
                                           TZoomCase{"--", 0.5, 10, 10},
                                           TZoomCase{"----", 0.25, 0, 0}));

TEST_F(MapViewerTest, ShowsTheWholeMapFittedAtFirstAndAgainOnZero) {
  WriteMap(Dir.file("MAP3-X1.BMP"), 640, 480);
  Show(Dir.file("MAP3-X1.BMP"));
  EXPECT_TRUE(Viewer->View().Fitted());
  EXPECT_DOUBLE_EQ(Viewer->View().Zoom(), 200.0 / 480);
  EXPECT_EQ(Viewer->View().MapRect(), Rect(16, 0, 16 + 267, 200));
  Key(Qt::Key_Plus);
  EXPECT_FALSE(Viewer->View().Fitted());
  EXPECT_DOUBLE_EQ(Viewer->View().Zoom(), 0.5);  // the next power of the square root of 2
  Key(Qt::Key_0);
  EXPECT_TRUE(Viewer->View().Fitted());
  Viewer->resize(600, 200);  // a fitted map follows the window
  EXPECT_DOUBLE_EQ(Viewer->View().Zoom(), 200.0 / 480);
  EXPECT_EQ(Viewer->windowTitle().toStdString(), "MAP3-X1.BMP - 640 x 480 - 42%");
}

TEST_F(MapViewerTest, TheWheelZoomsAroundTheMouse) {
  WriteMap(Dir.file("MAP3-X1.BMP"), 640, 480);
  Show(Dir.file("MAP3-X1.BMP"));
  Key(Qt::Key_1);
  ScrollTo(100, 50);
  const QPointF Mouse(70, 130);
  // Map point under the mouse: (170, 180).
  for (int Delta : {120, 120, -120, 240, 120}) {  // four steps of the square root of 2
    QWheelEvent Wheel(Mouse, Viewer->viewport()->mapToGlobal(Mouse), {}, {0, Delta}, Qt::NoButton,
                      {}, Qt::NoScrollPhase, false);
    QApplication::sendEvent(Viewer->viewport(), &Wheel);
  }
  EXPECT_DOUBLE_EQ(std::round(Viewer->View().Zoom() * 1e6), 4e6);
  const TRect Map = Viewer->View().MapRect();
  // The scroll position is a whole view pixel at every step: within one map pixel.
  EXPECT_NEAR(Map.Left + 170 * 4, 70, 3);
  EXPECT_NEAR(Map.Top + 180 * 4, 130, 3);
}

TEST_F(MapViewerTest, DraggingPansTheMap) {
  WriteMap(Dir.file("MAP3-X1.BMP"), 640, 480);
  Show(Dir.file("MAP3-X1.BMP"));
  Key(Qt::Key_1);
  ScrollTo(0, 0);
  QWidget* View = Viewer->viewport();
  QTest::mousePress(View, Qt::LeftButton, {}, QPoint(200, 150));
  QTest::mouseMove(View, QPoint(150, 110));
  QTest::mouseRelease(View, Qt::LeftButton, {}, QPoint(150, 110));
  EXPECT_EQ(Viewer->View().ScrollX(), 50);
  EXPECT_EQ(Viewer->View().ScrollY(), 40);
  EXPECT_EQ(Picture().pixel(0, 0) & 0xFFFFFF, PaletteColour(MapIndex(50, 40)) & 0xFFFFFF);
}

// ---- what a repaint draws -------------------------------------------------------------------

// A tile stands for 1024 x 1024 view pixels at 1:1; every tile that meets the repainted area is
// sent once, no other.
TEST_F(MapViewerTest, ARepaintDrawsOnlyTheTilesAndPixelsOfTheExposedArea) {
  WriteMap(Dir.file("MAP0-X1.BMP"), 3000, 2500);
  Show(Dir.file("MAP0-X1.BMP"));
  Key(Qt::Key_1);
  QApplication::processEvents();
  struct TCase {
    int ScrollX, ScrollY;
    QRect Area;
    std::uint64_t Tiles;
  };
  for (const TCase& C :
       {TCase{0, 0, QRect(0, 0, 300, 200), 1}, TCase{900, 900, QRect(0, 0, 300, 200), 4},
        TCase{900, 900, QRect(0, 0, 20, 10), 1}, TCase{900, 900, QRect(200, 150, 100, 50), 1},
        TCase{1900, 0, QRect(0, 0, 300, 200), 2}}) {
    ScrollTo(C.ScrollX, C.ScrollY);
    QApplication::processEvents();
    const TGdiStats Before = GdiStats();
    Viewer->viewport()->repaint(C.Area);
    EXPECT_EQ(GdiStats().StretchDIBitsCalls - Before.StretchDIBitsCalls, C.Tiles)
        << C.ScrollX << "," << C.ScrollY;
    EXPECT_EQ(GdiStats().PixelsWritten - Before.PixelsWritten,
              static_cast<std::uint64_t>(C.Area.width()) * C.Area.height());
  }
  // Scrolling moves what is shown and paints only the strip uncovered.
  const TGdiStats Before = GdiStats();
  ScrollTo(1910, 0);
  QApplication::processEvents();
  EXPECT_EQ(GdiStats().PixelsWritten - Before.PixelsWritten, 10u * 200u);
}

// ---- Space, titles, errors ------------------------------------------------------------------

TEST_F(MapViewerTest, SpaceSwitchesBetweenTheResultAndItsBackupInPlace) {
  WriteMap(Dir.file("MAP2-X1.BMP"), 640, 480);
  WriteMap(Dir.file("MAP2-X1.OLD"), 640, 480, 1);
  Show(Dir.file("MAP2-X1.BMP"));
  Key(Qt::Key_1);
  Key(Qt::Key_Plus);
  ScrollTo(100, 60);
  const QImage Result = Picture();
  Key(Qt::Key_Space);
  EXPECT_EQ(Viewer->View().FileName(), Dir.file("MAP2-X1.OLD"));
  EXPECT_TRUE(Viewer->windowTitle().startsWith("MAP2-X1.OLD - 640 x 480"));
  EXPECT_EQ(Viewer->View().ScrollX(), 100);
  EXPECT_EQ(Viewer->View().ScrollY(), 60);
  EXPECT_NE(Picture(), Result);
  Key(Qt::Key_Space);
  EXPECT_EQ(Viewer->View().FileName(), Dir.file("MAP2-X1.BMP"));
  EXPECT_EQ(Picture(), Result);
  EXPECT_TRUE(Errors.empty());
}

TEST_F(MapViewerTest, SpaceWithoutABackupDoesNothingAndABackupThatFailsToLoadShowsItsError) {
  WriteMap(Dir.file("MAP4-1.BMP"), 64, 64);
  Show(Dir.file("MAP4-1.BMP"));
  Key(Qt::Key_Space);
  EXPECT_EQ(Viewer->View().FileName(), Dir.file("MAP4-1.BMP"));
  EXPECT_TRUE(Errors.empty());

  testsupport::WriteFileBytes(Dir.file("MAP4-1.OLD"), {'B', 'M', 0});
  const QImage Before = Picture();
  Key(Qt::Key_Space);
  EXPECT_EQ(Errors, std::vector<QString>{QString::fromUtf8("ストリームからの読み込みエラー")});
  EXPECT_EQ(Viewer->View().FileName(), Dir.file("MAP4-1.BMP"));
  EXPECT_EQ(Picture(), Before);
}

TEST_F(MapViewerTest, AFileThatDoesNotLoadLeavesNoWindow) {
  testsupport::WriteFileBytes(Dir.file("MAP4-1.BMP"), std::vector<std::uint8_t>(60, 'x'));
  EXPECT_ANY_THROW(TMapViewer::Show(Dir.file("MAP4-1.BMP"), nullptr));
  EXPECT_THROW(TMapViewer::Show(Dir.file("MAP4-2.BMP"), nullptr), EFOpenError);
  for (QWidget* Window : QApplication::topLevelWidgets()) {
    EXPECT_EQ(dynamic_cast<TMapViewer*>(Window), nullptr);
  }
}

// A base map with unpadded rows is shown as a run reads it after the repair, untouched.
TEST_F(MapViewerTest, ShowsABaseMapWithUnpaddedRowsWithoutChangingTheFile) {
  testsupport::BmpLayout Bmp;
  Bmp.width = 5;
  Bmp.height = 3;
  Bmp.colors = testsupport::GreyColors(256);
  Bmp.pixels = {10, 11, 12, 13, 14, 20, 21, 22, 23, 24, 30, 31, 32, 33, 34};
  const std::string Name = Dir.file("MAP2097782-4.BMP");
  testsupport::WriteFileBytes(Name, testsupport::BuildBmp(Bmp));
  const auto Before = testsupport::Snapshot(Dir);
  Show(Name, 21, 21);
  Key(Qt::Key_1);
  const QImage Shot = Picture();          // the map centred at (8, 9)
  EXPECT_EQ(qRed(Shot.pixel(8, 9)), 30);  // the top row is the last one stored
  EXPECT_EQ(qRed(Shot.pixel(12, 11)), 14);
  EXPECT_EQ(testsupport::Snapshot(Dir), Before);
}

}  // namespace
