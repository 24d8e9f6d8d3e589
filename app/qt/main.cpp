// The window program: no command-line arguments, no settings; the message loop runs until the
// main window has been closed.

#include <QApplication>
#include <QTranslator>

#include "app/qt/main_form.h"
#include "app/qt/qt_japanese.h"

int main(int argc, char** argv) {
  QApplication Application(argc, argv);
  QTranslator QtJapanese;
  InstallQtJapanese(QtJapanese);
  TForm1 Form1;
  Form1.show();
  return QApplication::exec();
}
