#include "app/qt/map_viewer.h"

#include <QApplication>
#include <QGuiApplication>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QWheelEvent>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "app/core/viewer_placement.h"
#include "app/qt/error_display.h"

namespace {

std::optional<std::string> InputDialogPrompt(QWidget* Owner, const std::string& Title,
                                             const std::string& Prompt,
                                             const std::string& Initial) {
  bool Confirmed = false;
  const QString Text =
      QInputDialog::getText(Owner, QString::fromStdString(Title), QString::fromStdString(Prompt),
                            QLineEdit::Normal, QString::fromStdString(Initial), &Confirmed);
  if (!Confirmed) return std::nullopt;
  return Text.toStdString();
}

TMapViewer::TTextPrompt& TextPrompt() {
  static TMapViewer::TTextPrompt Prompt = InputDialogPrompt;
  return Prompt;
}

TRect ToTRect(const QRect& R) {
  return Rect(R.left(), R.top(), R.right() + 1, R.bottom() + 1);
}

TColor ToTColor(const QColor& Color) {
  return Color.red() | Color.green() << 8 | Color.blue() << 16;
}

// Qt's keys and the model's.
constexpr std::pair<int, TViewerKey> ViewerKeys[] = {
    {Qt::Key_Plus, TViewerKey::Plus},
    {Qt::Key_Equal, TViewerKey::Equal},
    {Qt::Key_Minus, TViewerKey::Minus},
    {Qt::Key_0, TViewerKey::Zero},
    {Qt::Key_1, TViewerKey::One},
    {Qt::Key_Space, TViewerKey::Space},
    {Qt::Key_Escape, TViewerKey::Escape},
    {Qt::Key_Left, TViewerKey::Left},
    {Qt::Key_Right, TViewerKey::Right},
    {Qt::Key_Up, TViewerKey::Up},
    {Qt::Key_Down, TViewerKey::Down},
    {Qt::Key_PageUp, TViewerKey::PageUp},
    {Qt::Key_PageDown, TViewerKey::PageDown},
    {Qt::Key_Home, TViewerKey::Home},
    {Qt::Key_End, TViewerKey::End},
};

std::optional<TViewerKey> ViewerKey(int Key) {
  for (const auto& [Code, Mapped] : ViewerKeys) {
    if (Code == Key) return Mapped;
  }
  return std::nullopt;
}

// The frame of a new viewer on Main's screen. Its decorations are not known before it is
// shown: taken to be the main window's.
QRect PlacedGeometry(const TMapViewer* Viewer, const QWidget* Main, const QScreen& Screen) {
  const QMargins Frame = Main != nullptr
                             ? QMargins(Main->geometry().left() - Main->frameGeometry().left(),
                                        Main->geometry().top() - Main->frameGeometry().top(),
                                        Main->frameGeometry().right() - Main->geometry().right(),
                                        Main->frameGeometry().bottom() - Main->geometry().bottom())
                             : QMargins();
  std::vector<TRect> Open;
  for (QWidget* Window : QApplication::topLevelWidgets()) {
    if (Window != Viewer && Window->isVisible() && dynamic_cast<TMapViewer*>(Window)) {
      Open.push_back(ToTRect(Window->frameGeometry()));
    }
  }
  const QSize Wanted =
      QSize(TMapViewerModel::StartWidth, TMapViewerModel::StartHeight).grownBy(Frame);
  const TRect Placed = PlaceViewer(ToTRect(Screen.availableGeometry()),
                                   Main != nullptr ? ToTRect(Main->frameGeometry()) : TRect{},
                                   Frame.top(), Open, Wanted.width(), Wanted.height());
  return QRect(Placed.Left, Placed.Top, Placed.Right - Placed.Left, Placed.Bottom - Placed.Top)
      .marginsRemoved(Frame);
}

}  // namespace

TMapViewer::TMapViewer(QWidget* Parent) : QAbstractScrollArea(Parent) {
  setObjectName(QStringLiteral("MapViewer"));
  viewport()->setObjectName(QStringLiteral("MapView"));
  // Every pixel is painted by paintEvent: no background fill before it.
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  // The model hears of every move, not only of those of a drag.
  viewport()->setMouseTracking(true);
  ShowCursor();
  setFocusPolicy(Qt::StrongFocus);
  FBacking.SetPixelFormat(pf32bit);
  connect(&FFollowTimer, &QTimer::timeout, this, [this] { FModel.FollowFile(); });
  FFollowTimer.start(TMapViewerModel::FollowPeriod);
}

TMapViewer::~TMapViewer() = default;

TMapViewer* TMapViewer::Show(const std::string& FileName, QWidget* Owner) {
  auto Viewer = std::make_unique<TMapViewer>(Owner);
  Viewer->setWindowFlag(Qt::Window);
  Viewer->setAttribute(Qt::WA_DeleteOnClose);
  Viewer->FModel.OpenFile(FileName);
  const QWidget* Main = Owner != nullptr ? Owner->window() : nullptr;
  const QScreen* Screen = Main != nullptr ? Main->screen() : QGuiApplication::primaryScreen();
  if (Screen != nullptr) {
    Viewer->setGeometry(PlacedGeometry(Viewer.get(), Main, *Screen));
  } else {
    Viewer->resize(TMapViewerModel::StartWidth, TMapViewerModel::StartHeight);
  }
  Viewer->show();
  Viewer->activateWindow();
  Viewer->setFocus(Qt::ActiveWindowFocusReason);
  return Viewer.release();
}

// ---- what the model asks --------------------------------------------------------------------

TPoint TMapViewer::CursorPos() {
  const QPoint Mouse = viewport()->mapFromGlobal(QCursor::pos());
  return TPoint{Mouse.x(), Mouse.y()};
}

void TMapViewer::RepaintAll() {
  viewport()->update();
}

void TMapViewer::Scrolled(std::int32_t Dx, std::int32_t Dy) {
  viewport()->scroll(Dx, Dy);
}

void TMapViewer::ScrollBarsChanged() {
  const TMapView& View = FModel.View();
  FSyncing = true;
  horizontalScrollBar()->setRange(0, View.ScrollMaxX());
  horizontalScrollBar()->setPageStep(View.ViewWidth());
  horizontalScrollBar()->setSingleStep(FModel.LineStepX());
  horizontalScrollBar()->setValue(View.ScrollX());
  verticalScrollBar()->setRange(0, View.ScrollMaxY());
  verticalScrollBar()->setPageStep(View.ViewHeight());
  verticalScrollBar()->setSingleStep(FModel.LineStepY());
  verticalScrollBar()->setValue(View.ScrollY());
  FSyncing = false;
}

void TMapViewer::TextChanged() {
  setWindowTitle(QString::fromStdString(FModel.Title()));
}

void TMapViewer::ShowError(const std::string& Message) {
  ShowErrorMessage(this, QString::fromStdString(Message));
}

void TMapViewer::Close() {
  close();
}

std::optional<std::string> TMapViewer::AskText(const std::string& Title, const std::string& Prompt,
                                               const std::string& Initial) {
  return TextPrompt()(this, Title, Prompt, Initial);
}

TMapViewer::TTextPrompt TMapViewer::SetTextPrompt(TTextPrompt Prompt) {
  TTextPrompt Previous = std::move(TextPrompt());
  TextPrompt() = Prompt ? std::move(Prompt) : TTextPrompt(InputDialogPrompt);
  return Previous;
}

void TMapViewer::ShowCursor() {
  viewport()->setCursor(FModel.Dragging() ? Qt::ClosedHandCursor : Qt::OpenHandCursor);
}

// ---- Qt's events ----------------------------------------------------------------------------

void TMapViewer::paintEvent(QPaintEvent* Event) {
  const QRect Area = Event->rect() & viewport()->rect();
  if (Area.isEmpty()) return;
  if (FBacking.GetWidth() != viewport()->width() || FBacking.GetHeight() != viewport()->height()) {
    FBacking.SetWidth(viewport()->width());
    FBacking.SetHeight(viewport()->height());
    FImage = QImage(viewport()->size(), QImage::Format_RGB32);
  }
  FModel.View().Paint(FBacking, ToTRect(Area), ToTColor(palette().color(QPalette::Dark)));
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
  FModel.Resized(viewport()->width(), viewport()->height());
}

void TMapViewer::scrollContentsBy(int /*Dx*/, int /*Dy*/) {
  if (FSyncing) return;
  FModel.ScrollBarsMoved(horizontalScrollBar()->value(), verticalScrollBar()->value());
}

void TMapViewer::wheelEvent(QWheelEvent* Event) {
  const QPoint At = Event->position().toPoint();
  FModel.WheelTurned(Event->angleDelta().y(), TPoint{At.x(), At.y()});
  Event->accept();
}

void TMapViewer::keyPressEvent(QKeyEvent* Event) {
  const bool GoTo = Event->modifiers() == Qt::ControlModifier && Event->key() == Qt::Key_G;
  const std::optional<TViewerKey> Key = GoTo ? TViewerKey::GoTo : ViewerKey(Event->key());
  if (!Key) {
    QAbstractScrollArea::keyPressEvent(Event);
    return;
  }
  FModel.KeyPressed(*Key);
  Event->accept();
}

void TMapViewer::mousePressEvent(QMouseEvent* Event) {
  if (Event->button() != Qt::LeftButton) {
    QAbstractScrollArea::mousePressEvent(Event);
    return;
  }
  const QPoint At = Event->position().toPoint();
  FModel.ButtonDown(TPoint{At.x(), At.y()});
  ShowCursor();
  Event->accept();
}

void TMapViewer::mouseMoveEvent(QMouseEvent* Event) {
  const QPoint At = Event->position().toPoint();
  FModel.MouseMoved(TPoint{At.x(), At.y()});
  Event->accept();
}

bool TMapViewer::viewportEvent(QEvent* Event) {
  if (Event->type() == QEvent::Leave) FModel.MouseLeft();
  return QAbstractScrollArea::viewportEvent(Event);
}

void TMapViewer::mouseReleaseEvent(QMouseEvent* Event) {
  if (Event->button() != Qt::LeftButton) {
    QAbstractScrollArea::mouseReleaseEvent(Event);
    return;
  }
  FModel.ButtonUp();
  ShowCursor();
  Event->accept();
}
