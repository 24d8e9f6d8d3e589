#pragma once

// The one QApplication of a window test binary, created before the first test (headless unless a
// platform is chosen) and destroyed after the last. Tests only need to include this header.

#include <QApplication>
#include <QTimer>
#include <functional>

namespace qttest {

// Runs Step from a zero-interval timer, that is at every pass of event processing (also inside
// a run's processing of pending events), until Step returns true.
class TPoller {
 public:
  explicit TPoller(std::function<bool()> Step);
  bool Done() const { return FDone; }

 private:
  QTimer FTimer;
  bool FDone = false;
  bool FBusy = false;
};

// Asks the window system to activate Window and delivers what it answers: the activation is
// queued by the time activateWindow returns, and one processing of events hands it over. True
// when Window is then the active window.
bool Activate(QWidget& Window);

// Processes events until Condition holds or about TimeoutMs milliseconds have passed; returns
// Condition's last result.
bool WaitFor(const std::function<bool()>& Condition, int TimeoutMs = 20000);

}  // namespace qttest
