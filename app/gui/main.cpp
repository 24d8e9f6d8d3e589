// The window program: no command-line arguments, no settings; the message loop runs until the
// main window has been closed.

#include <QApplication>

#include "app/gui/main_form.h"

int main(int argc, char** argv) {
  QApplication Application(argc, argv);
  TForm1 Form1;
  Form1.show();
  return QApplication::exec();
}
