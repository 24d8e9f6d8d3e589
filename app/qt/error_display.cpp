#include "app/qt/error_display.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <utility>

namespace {

TErrorHandler& CurrentErrorHandler() {
  static TErrorHandler Handler;
  return Handler;
}

}  // namespace

void ShowErrorMessage(QWidget* Owner, const QString& Message) {
  if (const TErrorHandler& Handler = CurrentErrorHandler()) {
    Handler(Owner, Message);
    return;
  }
  QMessageBox::critical(Owner, QGuiApplication::applicationDisplayName(), Message);
}

TErrorHandler SetErrorHandler(TErrorHandler Handler) {
  return std::exchange(CurrentErrorHandler(), std::move(Handler));
}
