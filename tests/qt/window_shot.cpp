// Shows the window over a folder of sample maps, picks the folder through the Folder button,
// ticks the quarter-size maps, runs Make and saves a picture of the finished window.
// Prints, for every text control, whether its text fits the room it has.
//
//   veldrin_window_shot OUTPUT.png

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QStyle>
#include <QTemporaryDir>
#include <cstdio>

#include "app/core/sample_maps.h"
#include "app/qt/main_form.h"
#include "browsefl/browse_folder_qt.h"

namespace {

// Width the control's text needs with the font in use, beside the control's own width.
void ReportFit(const QWidget& Control, const QString& Text, int Extra) {
  const int Needed = Control.fontMetrics().horizontalAdvance(QString(Text).remove('&')) + Extra;
  const int Room =
      qobject_cast<const QLabel*>(&Control) != nullptr
          ? Control.window()->width() - Control.mapTo(Control.window(), QPoint(0, 0)).x()
          : Control.width();
  std::printf("%-10s room %3d, text needs %3d: %s\n", qPrintable(Control.objectName()), Room,
              Needed, Needed <= Room ? "fits" : "CUT OFF");
}

}  // namespace

int main(int argc, char** argv) {
  QApplication Application(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: veldrin_window_shot OUTPUT.png\n");
    return 2;
  }
  QTemporaryDir Dir;
  if (!Dir.isValid()) return 1;
  const std::string Folder = Dir.path().toStdString();
  for (int F = 0; F < FacetCount; ++F) {
    for (int S = 0; S < MapScaleCount; ++S) {
      WriteSampleMap(Folder, static_cast<Facet>(F), static_cast<MapScale>(S));
    }
  }

  TForm1 Form1;
  Form1.show();
  TBrowseFolder::SetFolderPicker(
      [&Folder](QWidget*, const std::string&, const std::string&) { return Folder; });
  const auto Click = [&Form1](TMainControl Row) {
    static_cast<QAbstractButton*>(Form1.Control(Row))->click();
  };
  Click(TMainControl::FolderBtn);
  for (const TMainControl Box :
       {TMainControl::FT4CBox, TMainControl::I4CBox, TMainControl::M2CBox, TMainControl::Tk4CBox}) {
    Click(Box);
  }
  Click(TMainControl::MakeBtn);
  QApplication::processEvents();
  std::printf("status: \"%s\"\n", Form1.Model().StatusText().c_str());
  std::printf("font: %s\n", qPrintable(QFontInfo(Form1.font()).family()));
  for (const QWidget* Control : Form1.findChildren<QWidget*>()) {
    const QStyle* Style = Control->style();
    if (const auto* Label = qobject_cast<const QLabel*>(Control)) {
      ReportFit(*Label, Label->text(), 0);
    } else if (const auto* Button = qobject_cast<const QPushButton*>(Control)) {
      ReportFit(*Button, Button->text(), 2 * Style->pixelMetric(QStyle::PM_DefaultFrameWidth));
    } else if (const auto* Box = qobject_cast<const QCheckBox*>(Control)) {
      ReportFit(*Box, Box->text(),
                Style->pixelMetric(QStyle::PM_IndicatorWidth) +
                    Style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing));
    } else if (const auto* Group = qobject_cast<const QGroupBox*>(Control)) {
      ReportFit(*Group, Group->title(), 0);
    }
  }
  return Form1.grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
