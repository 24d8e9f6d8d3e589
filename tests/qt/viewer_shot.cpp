// Grids the half-size Felucca and Trammel sample map through the window, opens the result in a
// map viewer at 2:1 around a point of the map and saves a picture of the viewer.
//
//   veldrin_viewer_shot OUTPUT.png [X Y]    (X, Y: the map point in the middle, default: a town)

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QPixmap>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

#include "app/core/sample_maps.h"
#include "app/qt/main_form.h"
#include "app/qt/map_viewer.h"

int main(int argc, char** argv) {
  QApplication Application(argc, argv);
  if (argc != 2 && argc != 4) {
    std::fprintf(stderr, "usage: veldrin_viewer_shot OUTPUT.png [X Y]\n");
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
  Viewer.resize(640, 420);
  Viewer.Model().OpenFile(Result);
  Viewer.show();
  QApplication::processEvents();
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
