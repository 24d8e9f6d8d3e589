#include "app/qt/frame_centring.h"

#include <QEvent>
#include <QWidget>
#include <utility>

namespace {

// Centres its window once more when the window is first activated, then goes.
class TCentreOnActivation : public QObject {
 public:
  TCentreOnActivation(QWidget* Window, std::function<QRect()> Area)
      : QObject(Window), FArea(std::move(Area)) {
    Window->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override {
    if (Event->type() == QEvent::WindowActivate) {
      auto* Window = static_cast<QWidget*>(Watched);
      Window->move(CentredFramePos(FArea(), Window->size(), FrameMargins(Window)));
      Window->removeEventFilter(this);
      deleteLater();
    }
    return false;
  }

 private:
  std::function<QRect()> FArea;
};

}  // namespace

QPoint CentredFramePos(const QRect& Area, const QSize& ClientSize, const QMargins& Frame) {
  const QSize Outer = ClientSize.grownBy(Frame);
  return {Area.x() + (Area.width() - Outer.width()) / 2,
          Area.y() + (Area.height() - Outer.height()) / 2};
}

QMargins FrameMargins(const QWidget* Window) {
  const QRect Frame = Window->frameGeometry();
  const QRect Client = Window->geometry();
  return {Client.left() - Frame.left(), Client.top() - Frame.top(), Frame.right() - Client.right(),
          Frame.bottom() - Client.bottom()};
}

void CentreFrame(QWidget* Window, std::function<QRect()> Area, const QMargins& Guess) {
  // Before the window exists on screen, a move places its frame's corner (the window manager
  // adds the frame); afterwards Qt converts with the frame it knows. Both place the frame.
  Window->move(CentredFramePos(Area(), Window->size(), Guess));
  new TCentreOnActivation(Window, std::move(Area));
}
