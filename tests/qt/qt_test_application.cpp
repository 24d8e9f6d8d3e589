#include "qt_test_application.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QWidget>
#include <memory>

namespace {

class TQtApplicationEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    FApplication = std::make_unique<QApplication>(FArgc, FArgv);
    // A test's closed window must not end event processing for the tests after it.
    QApplication::setQuitOnLastWindowClosed(false);
  }
  void TearDown() override { FApplication.reset(); }

 private:
  int FArgc = 1;
  char FName[16] = "window_tests";
  char* FArgv[2] = {FName, nullptr};
  std::unique_ptr<QApplication> FApplication;
};

[[maybe_unused]] const ::testing::Environment* const Registered =
    ::testing::AddGlobalTestEnvironment(new TQtApplicationEnvironment);

}  // namespace

namespace qttest {

TPoller::TPoller(std::function<bool()> Step) {
  FTimer.setInterval(0);
  QObject::connect(&FTimer, &QTimer::timeout, [this, Step = std::move(Step)] {
    if (FDone || FBusy) return;
    FBusy = true;
    const bool Finished = Step();
    FBusy = false;
    if (Finished) {
      FDone = true;
      FTimer.stop();
    }
  });
  FTimer.start();
}

bool Activate(QWidget& Window) {
  Window.activateWindow();
  QCoreApplication::processEvents();
  return QApplication::activeWindow() == &Window;
}

bool WaitFor(const std::function<bool()>& Condition, int TimeoutMs) {
  QElapsedTimer Clock;
  Clock.start();
  while (!Condition()) {
    if (Clock.elapsed() > TimeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

}  // namespace qttest
