// Grids the half-size Felucca and Trammel sample map through the window, opens the result in a
// map viewer at 2:1 around a point of the map and saves a picture of the viewer.
//
//   veldrin_viewer_shot OUTPUT.png [X Y]    (X, Y: the map point in the middle, default: a town)
//   veldrin_viewer_shot OUTPUT.png --place TEXT
//
// With --place the viewer goes to TEXT as Ctrl+G does, the mouse rests on the mark, and the
// picture is the viewer's frame taken from the screen, so that a window manager's title bar,
// which shows the place under the mouse, is in it.

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "app/core/sample_maps.h"
#include "app/qt/main_form.h"
#include "app/qt/map_viewer.h"

namespace {

int ShootPlace(TMapViewer& Viewer, const std::string& Place, const char* Output) {
  TMapViewer::SetTextPrompt([&Place](QWidget*, const std::string&, const std::string&,
                                     const std::string&) { return std::optional(Place); });
  QTest::keyClick(&Viewer, Qt::Key_G, Qt::ControlModifier);
  // The window manager frames the window in its own time: the frame is then larger than the
  // window (run without one, this waits for ever).
  while (Viewer.frameGeometry().size() == Viewer.size()) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  const QPoint Middle = Viewer.viewport()->rect().center();
  QTest::mouseMove(Viewer.viewport(), Middle + QPoint(4, 4));
  QCoreApplication::processEvents();
  std::printf("title: \"%s\"\n", qPrintable(Viewer.windowTitle()));
  const QRect Frame = Viewer.frameGeometry();
  return Viewer.screen()
                 ->grabWindow(0, Frame.x(), Frame.y(), Frame.width(), Frame.height())
                 .save(QString::fromLocal8Bit(Output))
             ? 0
             : 1;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication Application(argc, argv);
  const bool Place = argc == 4 && std::strcmp(argv[2], "--place") == 0;
  if (argc != 2 && argc != 4) {
    std::fprintf(stderr, "usage: veldrin_viewer_shot OUTPUT.png [X Y | --place TEXT]\n");
    return 2;
  }
  QTemporaryDir Dir;
  if (!Dir.isValid()) return 1;
  const std::string Folder = Dir.path().toStdString();
  WriteSampleMap(Folder, fcFeluccaTrammel, msHalf);

  TForm1 Form1;
  Form1.Model().MapFolder = Folder;
  Form1.show();
  Form1.Model().BaseCBoxSelect();
  static_cast<QAbstractButton*>(Form1.Control(TMainControl::FT2CBox))->click();
  static_cast<QAbstractButton*>(Form1.Control(TMainControl::MakeBtn))->click();
  std::string Result, Second;
  GetTrgFileNames(Folder, fcFeluccaTrammel, Form1.Model().GetTrgMapType(), msHalf, Result, Second);

  TMapViewer Viewer;
  Viewer.resize(Place ? 900 : 640, 420);
  Viewer.Model().OpenFile(Result);
  Viewer.show();
  QApplication::processEvents();
  if (Place) return ShootPlace(Viewer, argv[3], argv[1]);
  const int X = argc == 4 ? std::atoi(argv[2]) : 1960;
  const int Y = argc == 4 ? std::atoi(argv[3]) : 1503;
  // 2:1 with the point in the middle.
  const QPoint Middle = Viewer.viewport()->rect().center();
  Viewer.Model().ZoomTo(2, TPoint{Middle.x(), Middle.y()});
  Viewer.horizontalScrollBar()->setValue(2 * X - Middle.x());
  Viewer.verticalScrollBar()->setValue(2 * Y - Middle.y());
  QApplication::processEvents();
  std::printf("title: \"%s\"\n", qPrintable(Viewer.windowTitle()));
  return Viewer.grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
