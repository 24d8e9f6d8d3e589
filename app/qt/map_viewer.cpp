#include "app/qt/map_viewer.h"

#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <exception>
#include <memory>
#include <vector>

#include "app/core/viewer_placement.h"
#include "app/qt/error_display.h"
#include "platform/files.h"

namespace {

constexpr int WheelNotch = 120;  // angle delta of one wheel notch
constexpr int FollowMs = 500;    // how often the file shown is looked at
const QSize WantedSize(800, 600);

TRect ToTRect(const QRect& R) {
  return Rect(R.left(), R.top(), R.right() + 1, R.bottom() + 1);
}

TColor ToTColor(const QColor& Color) {
  return Color.red() | Color.green() << 8 | Color.blue() << 16;
}

}  // namespace

TMapViewer::TMapViewer(QWidget* Parent) : QAbstractScrollArea(Parent) {
  setObjectName(QStringLiteral("MapViewer"));
  viewport()->setObjectName(QStringLiteral("MapView"));
  // Every pixel is painted by paintEvent: no background fill before it.
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  viewport()->setCursor(Qt::OpenHandCursor);
  setFocusPolicy(Qt::StrongFocus);
  FBacking.SetPixelFormat(pf32bit);
  connect(&FFollowTimer, &QTimer::timeout, this, &TMapViewer::FollowFile);
  FFollowTimer.start(FollowMs);
}

TMapViewer::~TMapViewer() = default;

TMapViewer* TMapViewer::Show(const std::string& FileName, QWidget* Owner) {
  auto Viewer = std::make_unique<TMapViewer>(Owner);
  Viewer->setWindowFlag(Qt::Window);
  Viewer->setAttribute(Qt::WA_DeleteOnClose);
  Viewer->OpenFile(FileName);
  const QWidget* Main = Owner != nullptr ? Owner->window() : nullptr;
  const QScreen* Screen = Main != nullptr ? Main->screen() : QGuiApplication::primaryScreen();
  if (Screen != nullptr) {
    // The frame's decorations are not known before it is shown: taken to be the main window's.
    const QMargins Frame =
        Main != nullptr ? QMargins(Main->geometry().left() - Main->frameGeometry().left(),
                                   Main->geometry().top() - Main->frameGeometry().top(),
                                   Main->frameGeometry().right() - Main->geometry().right(),
                                   Main->frameGeometry().bottom() - Main->geometry().bottom())
                        : QMargins();
    std::vector<TRect> Open;
    for (QWidget* Window : QApplication::topLevelWidgets()) {
      if (Window != Viewer.get() && Window->isVisible() && dynamic_cast<TMapViewer*>(Window)) {
        Open.push_back(ToTRect(Window->frameGeometry()));
      }
    }
    const QSize Wanted = WantedSize.grownBy(Frame);
    const TRect Placed = PlaceViewer(ToTRect(Screen->availableGeometry()),
                                     Main != nullptr ? ToTRect(Main->frameGeometry()) : TRect{},
                                     Open, Wanted.width(), Wanted.height());
    Viewer->setGeometry(
        QRect(Placed.Left, Placed.Top, Placed.Right - Placed.Left, Placed.Bottom - Placed.Top)
            .marginsRemoved(Frame));
  } else {
    Viewer->resize(WantedSize);
  }
  Viewer->show();
  return Viewer.release();
}

void TMapViewer::OpenFile(const std::string& FileName) {
  FView.Open(FileName);
  ZoomChanged();
}

void TMapViewer::ToggleBackup() {
  try {
    if (FView.OpenBackupPartner()) ZoomChanged();
  } catch (const std::exception& Error) {
    ShowErrorMessage(this, QString::fromUtf8(Error.what()));
  }
}

void TMapViewer::FollowFile() {
  if (FView.Refresh()) ZoomChanged();
}

void TMapViewer::ZoomToFit() {
  FView.Fit();
  ZoomChanged();
}

void TMapViewer::ZoomAt(double Zoom, QPoint Anchor) {
  FView.SetZoom(Zoom, Anchor.x(), Anchor.y());
  ZoomChanged();
}

void TMapViewer::ZoomStep(bool In) {
  const QPoint Anchor = ZoomAnchor();
  if (In) {
    FView.ZoomIn(Anchor.x(), Anchor.y());
  } else {
    FView.ZoomOut(Anchor.x(), Anchor.y());
  }
  ZoomChanged();
}

QPoint TMapViewer::ZoomAnchor() const {
  const QPoint Mouse = viewport()->mapFromGlobal(QCursor::pos());
  return viewport()->rect().contains(Mouse) ? Mouse : viewport()->rect().center();
}

void TMapViewer::ZoomChanged() {
  SyncScrollBars();
  UpdateTitle();
  viewport()->update();
}

void TMapViewer::SyncScrollBars() {
  FSyncing = true;
  horizontalScrollBar()->setRange(0, FView.ScrollMaxX());
  horizontalScrollBar()->setPageStep(FView.ViewWidth());
  horizontalScrollBar()->setSingleStep(std::max(1, FView.ViewWidth() / 20));
  horizontalScrollBar()->setValue(FView.ScrollX());
  verticalScrollBar()->setRange(0, FView.ScrollMaxY());
  verticalScrollBar()->setPageStep(FView.ViewHeight());
  verticalScrollBar()->setSingleStep(std::max(1, FView.ViewHeight() / 20));
  verticalScrollBar()->setValue(FView.ScrollY());
  FSyncing = false;
}

void TMapViewer::UpdateTitle() {
  const QString Name = QString::fromStdString(FView.FileName()).section(QChar(PathDelim), -1);
  setWindowTitle(QStringLiteral("%1 - %2 x %3 - %4%")
                     .arg(Name)
                     .arg(FView.MapWidth())
                     .arg(FView.MapHeight())
                     .arg(std::lround(FView.Zoom() * 100)));
}

void TMapViewer::paintEvent(QPaintEvent* Event) {
  const QRect Area = Event->rect() & viewport()->rect();
  if (Area.isEmpty()) return;
  if (FBacking.GetWidth() != viewport()->width() || FBacking.GetHeight() != viewport()->height()) {
    FBacking.SetWidth(viewport()->width());
    FBacking.SetHeight(viewport()->height());
    FImage = QImage(viewport()->size(), QImage::Format_RGB32);
  }
  FView.Paint(FBacking, Rect(Area.left(), Area.top(), Area.right() + 1, Area.bottom() + 1),
              ToTColor(palette().color(QPalette::Dark)));
  // The backing rows run bottom-up; the image's top-down, with an opaque alpha byte.
  const int Count = Area.width();
  for (int Y = Area.top(); Y <= Area.bottom(); ++Y) {
    const auto* Src = static_cast<const std::uint32_t*>(FBacking.ScanLine(Y)) + Area.left();
    auto* Dst = reinterpret_cast<std::uint32_t*>(FImage.scanLine(Y)) + Area.left();
    for (int X = 0; X < Count; ++X) Dst[X] = Src[X] | 0xFF000000u;
  }
  QPainter Painter(viewport());
  Painter.drawImage(Area.topLeft(), FImage, Area);
}

void TMapViewer::resizeEvent(QResizeEvent* Event) {
  QAbstractScrollArea::resizeEvent(Event);
  FView.SetViewSize(viewport()->width(), viewport()->height());
  ZoomChanged();
}

void TMapViewer::scrollContentsBy(int Dx, int Dy) {
  if (FSyncing) return;
  FView.ScrollTo(horizontalScrollBar()->value(), verticalScrollBar()->value());
  // The pixels already shown move along; only the strips uncovered are painted.
  viewport()->scroll(Dx, Dy);
}

void TMapViewer::wheelEvent(QWheelEvent* Event) {
  FWheelRest += Event->angleDelta().y();
  const QPoint Anchor = Event->position().toPoint();
  for (; FWheelRest >= WheelNotch; FWheelRest -= WheelNotch) FView.ZoomIn(Anchor.x(), Anchor.y());
  for (; FWheelRest <= -WheelNotch; FWheelRest += WheelNotch) {
    FView.ZoomOut(Anchor.x(), Anchor.y());
  }
  ZoomChanged();
  Event->accept();
}

void TMapViewer::keyPressEvent(QKeyEvent* Event) {
  switch (Event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
      ZoomStep(true);
      break;
    case Qt::Key_Minus:
      ZoomStep(false);
      break;
    case Qt::Key_1:
      ZoomAt(1, ZoomAnchor());
      break;
    case Qt::Key_0:
      ZoomToFit();
      break;
    case Qt::Key_Space:
      ToggleBackup();
      break;
    case Qt::Key_Escape:
      close();
      break;
    default:
      QAbstractScrollArea::keyPressEvent(Event);
      return;
  }
  Event->accept();
}

void TMapViewer::mousePressEvent(QMouseEvent* Event) {
  if (Event->button() != Qt::LeftButton) {
    QAbstractScrollArea::mousePressEvent(Event);
    return;
  }
  FDragging = true;
  FDragStart = Event->position().toPoint();
  FDragScroll = QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
  viewport()->setCursor(Qt::ClosedHandCursor);
  Event->accept();
}

void TMapViewer::mouseMoveEvent(QMouseEvent* Event) {
  if (!FDragging) {
    QAbstractScrollArea::mouseMoveEvent(Event);
    return;
  }
  const QPoint Moved = Event->position().toPoint() - FDragStart;
  horizontalScrollBar()->setValue(FDragScroll.x() - Moved.x());
  verticalScrollBar()->setValue(FDragScroll.y() - Moved.y());
  Event->accept();
}

void TMapViewer::mouseReleaseEvent(QMouseEvent* Event) {
  if (Event->button() != Qt::LeftButton || !FDragging) {
    QAbstractScrollArea::mouseReleaseEvent(Event);
    return;
  }
  FDragging = false;
  viewport()->setCursor(Qt::OpenHandCursor);
  Event->accept();
}
