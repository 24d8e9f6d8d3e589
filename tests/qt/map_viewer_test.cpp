// The map viewer, headless: its picture against a plain point-sampled scaling of the map from
// 1:1 up and a plain area average below, the tiles and pixels a repaint draws, and that Qt's
// keys, wheel, mouse, scroll bars and timer reach the viewer's model and its errors, title and
// close requests reach the screen. The rules themselves are tested at the model.

#include "app/qt/map_viewer.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/qt/error_display.h"
#include "platform/exceptions.h"
#include "qt_test_application.h"
#include "support/bmp_builder.h"
#include "support/temp_dir.h"

namespace {

using testsupport::TTempDir;

QRgb PaletteColour(int Index) {
  return qRgb(Index, 255 - Index, (Index * 7) & 255);
}

// Neighbouring pixels always differ, so a picture one pixel off shows.
int MapIndex(int X, int Y) {
  return (X * 3 + Y * 5) % 251;
}

// A gridded map: areas of one colour, 40 x 30 pixels, under light lines every 8 pixels.
constexpr int GridIndex = 250;
int GriddedIndex(int X, int Y) {
  return X % 8 == 0 || Y % 8 == 0 ? GridIndex : (X / 40 * 7 + Y / 30 * 13) % 200;
}
int MapIndex(int X, int Y, bool Grid) {
  return Grid ? GriddedIndex(X, Y) : MapIndex(X, Y);
}

void WriteMap(const std::string& Name, int Width, int Height, int Shift = 0, bool Grid = false) {
  testsupport::TBmpLayout Bmp;
  Bmp.Width = Width;
  Bmp.Height = Height;
  for (int I = 0; I < 256; ++I) {
    const QRgb C = PaletteColour(I);
    Bmp.Colors.insert(Bmp.Colors.end(),
                      {static_cast<std::uint8_t>(qBlue(C)), static_cast<std::uint8_t>(qGreen(C)),
                       static_cast<std::uint8_t>(qRed(C)), 0});
  }
  const int Stride = testsupport::DibStride(Width, 8);
  Bmp.Pixels.assign(static_cast<std::size_t>(Stride) * Height, 0);
  for (int Y = 0; Y < Height; ++Y) {
    for (int X = 0; X < Width; ++X) {
      Bmp.Pixels[static_cast<std::size_t>((Height - 1 - Y) * Stride + X)] =
          static_cast<std::uint8_t>((MapIndex(X, Y, Grid) + Shift) % 251);
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
    Viewer->Model().OpenFile(Name);
    // Away from the mouse: a key zooms around the view's centre.
    Viewer->move(400, 400);
    QCursor::setPos(0, 0);
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

  TTempDir Dir;
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
  int Left, Top;      // where the map's top-left pixel lands in the view
  bool Grid = false;  // the map gridded every 8 pixels
  // Below 1:1, how far a channel may be from the exact area average at most and on average:
  // rounding only where the view's pixel edges fall on those of an averaged level (1/2, 1/4 ...
  // and above 1/2); elsewhere a map pixel's share may land one level pixel off, which moves a
  // part of a grid line's contrast to a neighbouring view pixel. A point-sampled picture is off
  // by 20 to 100 on average.
  int MaxOff = 1;
  double MeanOff = 0.3;
};
void PrintTo(const TZoomCase& C, std::ostream* Os) {
  *Os << "1" << C.Keys << " at " << C.ScrollX << "," << C.ScrollY << (C.Grid ? " gridded" : "");
}

// The colour that area-averaging the W x H map into DestW x DestH pixels gives view pixel
// (Dx, Dy): every map pixel weighted by how much of the view pixel's area it covers.
QRgb AreaAverage(int W, int H, int DestW, int DestH, int Dx, int Dy, bool Grid) {
  const double X0 = double(Dx) * W / DestW, X1 = double(Dx + 1) * W / DestW;
  const double Y0 = double(Dy) * H / DestH, Y1 = double(Dy + 1) * H / DestH;
  double Sum[3] = {0, 0, 0};
  for (int Y = int(Y0); Y < Y1; ++Y) {
    const double Wy = std::min<double>(Y + 1, Y1) - std::max<double>(Y, Y0);
    for (int X = int(X0); X < X1; ++X) {
      const double Wxy = Wy * (std::min<double>(X + 1, X1) - std::max<double>(X, X0));
      const QRgb C = PaletteColour(MapIndex(X, Y, Grid));
      Sum[0] += Wxy * qRed(C);
      Sum[1] += Wxy * qGreen(C);
      Sum[2] += Wxy * qBlue(C);
    }
  }
  const double Area = (X1 - X0) * (Y1 - Y0);
  return qRgb(int(std::lround(Sum[0] / Area)), int(std::lround(Sum[1] / Area)),
              int(std::lround(Sum[2] / Area)));
}

bool Near(QRgb A, QRgb B, int Tolerance) {
  return std::abs(qRed(A) - qRed(B)) <= Tolerance && std::abs(qGreen(A) - qGreen(B)) <= Tolerance &&
         std::abs(qBlue(A) - qBlue(B)) <= Tolerance;
}

class ViewerPictureTest : public MapViewerTest, public ::testing::WithParamInterface<TZoomCase> {};

// From 1:1 up every view pixel shows the map pixel that a plain point-sampled scaling puts
// there; below 1:1 what the map pixels under it average to (so that a fine grid does not beat
// against the screen); the background where the map does not reach.
TEST_P(ViewerPictureTest, EqualsAPointSampledScalingOfTheMapOrBelowOneToOneItsAreaAverage) {
  constexpr int W = 640, H = 480;
  WriteMap(Dir.File("MAP3-X1.BMP"), W, H, 0, GetParam().Grid);
  Show(Dir.File("MAP3-X1.BMP"));
  Key(Qt::Key_1);
  for (const char* K = GetParam().Keys; *K != 0; ++K) {
    Key(*K == '+' ? Qt::Key_Plus : *K == '-' ? Qt::Key_Minus : Qt::Key_0);
  }
  ScrollTo(GetParam().ScrollX, GetParam().ScrollY);
  ASSERT_NEAR(Viewer->View().Zoom(), GetParam().Zoom, 1e-9);

  const QImage Shot = Picture();
  ASSERT_EQ(Shot.size(), QSize(300, 200));
  const auto DestW = static_cast<int>(std::lround(W * GetParam().Zoom));
  const auto DestH = static_cast<int>(std::lround(H * GetParam().Zoom));
  const int Left = GetParam().Left, Top = GetParam().Top;
  const QRgb Background = Viewer->palette().color(QPalette::Dark).rgb();
  int Wrong = 0;
  double Off = 0;
  int Averaged = 0;
  for (int Y = 0; Y < 200; ++Y) {
    for (int X = 0; X < 300; ++X) {
      const int Dx = X - Left, Dy = Y - Top;
      const bool OnMap = Dx >= 0 && Dx < DestW && Dy >= 0 && Dy < DestH;
      QRgb Want = Background;
      int Tolerance = 0;
      if (OnMap && GetParam().Zoom >= 1) {
        Want = PaletteColour(MapIndex(Dx * W / DestW, Dy * H / DestH, GetParam().Grid));
      } else if (OnMap) {
        Want = AreaAverage(W, H, DestW, DestH, Dx, Dy, GetParam().Grid);
        Tolerance = GetParam().MaxOff;
        const QRgb Got = Shot.pixel(X, Y);
        Off += std::abs(qRed(Got) - qRed(Want)) + std::abs(qGreen(Got) - qGreen(Want)) +
               std::abs(qBlue(Got) - qBlue(Want));
        Averaged += 3;
      }
      if (!Near(Shot.pixel(X, Y), Want, Tolerance) && Wrong++ < 5) {
        ADD_FAILURE() << "view pixel " << X << "," << Y << ": " << std::hex << Shot.pixel(X, Y)
                      << " instead of " << Want;
      }
    }
  }
  EXPECT_EQ(Wrong, 0);
  if (Averaged > 0) {
    EXPECT_LE(Off / Averaged, GetParam().MeanOff);
  }
}

// A 640 x 480 map in a 300 x 200 view.
INSTANTIATE_TEST_SUITE_P(
    ZoomsAndPositions, ViewerPictureTest,
    ::testing::Values(TZoomCase{"", 1, 0, 0, 0, 0}, TZoomCase{"", 1, 123, 77, -123, -77},
                      TZoomCase{"", 1, 5000, 5000, -340, -280},
                      TZoomCase{"++", 2, 511, 333, -511, -333},
                      TZoomCase{"++++", 4, 1799, 1201, -1799, -1201},
                      TZoomCase{"--", 0.5, 10, 10, -10, -10}, TZoomCase{"----", 0.25, 0, 0, 70, 40},
                      TZoomCase{"----------", 1.0 / 32, 0, 0, 140, 92},
                      TZoomCase{"----------", 1.0 / 32, 0, 0, 140, 92, true},
                      TZoomCase{"-", std::sqrt(0.5), 77, 5, -77, -5},
                      TZoomCase{"---", std::sqrt(0.125), 0, 0, 37, 15, true, 96, 12},
                      TZoomCase{"-----", std::sqrt(1.0 / 32), 30, 20, 93, 57, true, 96, 12},
                      TZoomCase{"0", 200.0 / 480, 0, 0, 16, 0, true, 96, 12}));

// ---- Qt's events reach the model ------------------------------------------------------------

// Every key the model knows but Space and Escape (below), in a sequence where each lands on a
// place of its own; the bars, the title and the picture follow.
TEST_F(MapViewerTest, KeysReachTheModelAndTheBarsTitleAndPictureFollow) {
  WriteMap(Dir.File("MAP3-X1.BMP"), 640, 480);
  Show(Dir.File("MAP3-X1.BMP"));
  struct TStep {
    Qt::Key Key;
    int ScrollX, ScrollY;
    const char* Percent;
  };
  for (const TStep& Step : {TStep{Qt::Key_1, 171, 140, "100%"},
                            {Qt::Key_Right, 186, 140, "100%"},
                            {Qt::Key_Down, 186, 150, "100%"},
                            {Qt::Key_Left, 171, 150, "100%"},
                            {Qt::Key_Up, 171, 140, "100%"},
                            {Qt::Key_PageDown, 171, 280, "100%"},
                            {Qt::Key_PageUp, 171, 80, "100%"},
                            {Qt::Key_End, 340, 280, "100%"},
                            {Qt::Key_Home, 0, 0, "100%"},
                            {Qt::Key_Plus, 62, 41, "141%"},
                            {Qt::Key_Equal, 150, 99, "200%"},
                            {Qt::Key_Minus, 62, 41, "141%"},
                            {Qt::Key_0, 0, 0, "42%"}}) {
    Key(Step.Key);
    EXPECT_EQ(Viewer->View().ScrollX(), Step.ScrollX) << Step.Key;
    EXPECT_EQ(Viewer->View().ScrollY(), Step.ScrollY) << Step.Key;
    EXPECT_EQ(Viewer->windowTitle().toStdString(),
              std::string("MAP3-X1.BMP - 640 x 480 - ") + Step.Percent);
  }
  Key(Qt::Key_1);
  EXPECT_EQ(Viewer->horizontalScrollBar()->maximum(), 340);
  EXPECT_EQ(Viewer->horizontalScrollBar()->value(), 171);
  EXPECT_EQ(Viewer->horizontalScrollBar()->pageStep(), 300);
  EXPECT_EQ(Viewer->horizontalScrollBar()->singleStep(), 15);
  EXPECT_EQ(Viewer->verticalScrollBar()->maximum(), 280);
  EXPECT_EQ(Viewer->verticalScrollBar()->singleStep(), 10);
  Key(Qt::Key_Down);
  EXPECT_EQ(Picture().pixel(0, 0) & 0xFFFFFF, PaletteColour(MapIndex(171, 150)) & 0xFFFFFF);
  Viewer->resize(600, 200);  // the view's size reaches the model
  EXPECT_EQ(Viewer->View().ViewWidth(), 600);
}

TEST_F(MapViewerTest, TheWheelDraggingAndTheScrollBarsReachTheModel) {
  WriteMap(Dir.File("MAP3-X1.BMP"), 640, 480);
  Show(Dir.File("MAP3-X1.BMP"));
  Key(Qt::Key_1);
  ScrollTo(100, 50);
  EXPECT_EQ(Viewer->View().ScrollX(), 100);
  EXPECT_EQ(Viewer->View().ScrollY(), 50);
  // Two half notches at (70, 130), over map point (170, 180): one step, anchored there.
  const QPointF Mouse(70, 130);
  for (int Delta : {60, 60}) {
    QWheelEvent Wheel(Mouse, Viewer->viewport()->mapToGlobal(Mouse), {}, {0, Delta}, Qt::NoButton,
                      {}, Qt::NoScrollPhase, false);
    QApplication::sendEvent(Viewer->viewport(), &Wheel);
  }
  EXPECT_EQ(Viewer->windowTitle().toStdString(), "MAP3-X1.BMP - 640 x 480 - 141%");
  EXPECT_EQ(Viewer->View().ScrollX(), 170);
  EXPECT_EQ(Viewer->View().ScrollY(), 125);

  Key(Qt::Key_1);
  ScrollTo(0, 0);
  QWidget* View = Viewer->viewport();
  QTest::mousePress(View, Qt::LeftButton, {}, QPoint(200, 150));
  EXPECT_EQ(View->cursor().shape(), Qt::ClosedHandCursor);
  QTest::mouseMove(View, QPoint(150, 110));
  QTest::mouseRelease(View, Qt::LeftButton, {}, QPoint(150, 110));
  EXPECT_EQ(View->cursor().shape(), Qt::OpenHandCursor);
  EXPECT_EQ(Viewer->View().ScrollX(), 50);
  EXPECT_EQ(Viewer->View().ScrollY(), 40);
  EXPECT_EQ(Viewer->horizontalScrollBar()->value(), 50);
  EXPECT_EQ(Picture().pixel(0, 0) & 0xFFFFFF, PaletteColour(MapIndex(50, 40)) & 0xFFFFFF);
}

// Malas at full size, 1:1: the mouse at view point (1, 1) is over tile 172, 141 (QTest takes
// (0, 0) for the view's centre). Ctrl+G to tile
// 320, 240 puts its centre at view point (149, 99), where the mark's white centre is, inside
// its black border.
TEST_F(MapViewerTest, TheMouseReachesThePositionLineAndCtrlGThePromptAndTheMark) {
  WriteMap(Dir.File("MAP3-X1.BMP"), 640, 480);
  Show(Dir.File("MAP3-X1.BMP"));
  Key(Qt::Key_1);
  QTest::mouseMove(Viewer->viewport(), QPoint(1, 1));
  EXPECT_EQ(
      Viewer->windowTitle().toStdString(),
      "MAP3-X1.BMP - 640 x 480 - 100% - タイル 172, 141 - ブロック 21, 17 - 130°20'N 80°55'W");
  QWidget* Asker = nullptr;
  const TMapViewer::TTextPrompt Saved = TMapViewer::SetTextPrompt(
      [&Asker](QWidget* Owner, const std::string&, const std::string&, const std::string&) {
        Asker = Owner;
        return std::optional<std::string>("320, 240");
      });
  QTest::keyClick(Viewer.get(), Qt::Key_G, Qt::ControlModifier);
  TMapViewer::SetTextPrompt(Saved);
  EXPECT_EQ(Asker, Viewer.get());
  EXPECT_EQ(Viewer->View().ScrollX(), 171);
  EXPECT_EQ(Viewer->View().ScrollY(), 141);
  const QImage Marked = Picture();
  EXPECT_EQ(Marked.pixel(149, 99) & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(Marked.pixel(160, 99) & 0xFFFFFF, 0u);
  Key(Qt::Key_Right);  // the view moves: the map where the mark was
  EXPECT_EQ(Picture().pixel(149, 99) & 0xFFFFFF, PaletteColour(MapIndex(335, 240)) & 0xFFFFFF);
}

// ---- what a repaint draws -------------------------------------------------------------------

// A tile stands for 1024 x 1024 view pixels at 1:1; every tile that meets the repainted area is
// sent once, no other.
TEST_F(MapViewerTest, ARepaintDrawsOnlyTheTilesAndPixelsOfTheExposedArea) {
  WriteMap(Dir.File("MAP0-X1.BMP"), 3000, 2500);
  Show(Dir.File("MAP0-X1.BMP"));
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

// ---- errors, the timer, closing, a new viewer ---------------------------------------------

TEST_F(MapViewerTest, ABackupThatFailsToLoadShowsItsErrorAndLeavesThePicture) {
  WriteMap(Dir.File("MAP4-1.BMP"), 64, 64);
  testsupport::WriteFileBytes(Dir.File("MAP4-1.OLD"), {'B', 'M', 0});
  Show(Dir.File("MAP4-1.BMP"));
  const QImage Before = Picture();
  Key(Qt::Key_Space);
  EXPECT_EQ(Errors, std::vector<QString>{QString::fromUtf8("ストリームからの読み込みエラー")});
  EXPECT_EQ(Picture(), Before);
}

// The viewer's own timer finds a replaced file and shows it at the same place.
TEST_F(MapViewerTest, ItsTimerFollowsItsFile) {
  const std::string Name = Dir.File("MAP2-X1.BMP");
  WriteMap(Name, 640, 480);
  Show(Name);
  Key(Qt::Key_1);
  ScrollTo(100, 60);
  const QImage Old = Picture();
  WriteMap(Dir.File("new.BMP"), 640, 480, 7);
  std::filesystem::rename(Dir.File("new.BMP"), Name);
  EXPECT_TRUE(QTest::qWaitFor([&] { return Picture() != Old; }, 20000));
  EXPECT_EQ(Picture().pixel(0, 0) & 0xFFFFFF,
            PaletteColour((MapIndex(100, 60) + 7) % 251) & 0xFFFFFF);
  EXPECT_TRUE(Errors.empty());
}

TEST_F(MapViewerTest, EscapeClosesTheViewer) {
  WriteMap(Dir.File("MAP4-1.BMP"), 64, 64);
  Show(Dir.File("MAP4-1.BMP"));
  Key(Qt::Key_Escape);
  EXPECT_FALSE(Viewer->isVisible());
}

// A viewer opened from the main window takes the keyboard focus.
TEST_F(MapViewerTest, ANewViewerTakesTheFocus) {
  WriteMap(Dir.File("MAP4-1.BMP"), 64, 64);
  QWidget Main;
  Main.resize(200, 100);
  Main.show();
  ASSERT_TRUE(qttest::Activate(Main));
  TMapViewer* Shown = TMapViewer::Show(Dir.File("MAP4-1.BMP"), &Main);
  // The activation Show asked for, delivered.
  QCoreApplication::processEvents();
  EXPECT_EQ(QApplication::activeWindow(), Shown);
  EXPECT_EQ(QApplication::focusWidget(), Shown);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_1);
  EXPECT_EQ(Shown->windowTitle().toStdString(), "MAP4-1.BMP - 64 x 64 - 100%");
  delete Shown;
}

TEST_F(MapViewerTest, AFileThatDoesNotLoadLeavesNoWindow) {
  testsupport::WriteFileBytes(Dir.File("MAP4-1.BMP"), std::vector<std::uint8_t>(60, 'x'));
  EXPECT_ANY_THROW(TMapViewer::Show(Dir.File("MAP4-1.BMP"), nullptr));
  EXPECT_THROW(TMapViewer::Show(Dir.File("MAP4-2.BMP"), nullptr), EFOpenError);
  for (QWidget* Window : QApplication::topLevelWidgets()) {
    EXPECT_EQ(dynamic_cast<TMapViewer*>(Window), nullptr);
  }
}

// A base map with unpadded rows is shown as a run reads it after the repair, untouched.
TEST_F(MapViewerTest, ShowsABaseMapWithUnpaddedRowsWithoutChangingTheFile) {
  testsupport::TBmpLayout Bmp;
  Bmp.Width = 5;
  Bmp.Height = 3;
  Bmp.Colors = testsupport::GreyColors(256);
  Bmp.Pixels = {10, 11, 12, 13, 14, 20, 21, 22, 23, 24, 30, 31, 32, 33, 34};
  const std::string Name = Dir.File("MAP2097782-4.BMP");
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
