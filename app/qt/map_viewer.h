#pragma once

// The map viewer on Linux: one map file in a resizable window of its own, with the keys, wheel,
// drag and title of TMapViewerModel. This window only hands Qt's events to the model and draws
// the picture the model's view paints.

#include <QAbstractScrollArea>
#include <QImage>
#include <QTimer>
#include <functional>
#include <optional>
#include <string>

#include "app/core/map_viewer_model.h"
#include "platform/graphics.h"

class TMapViewer : public QAbstractScrollArea, private TMapViewerView {
 public:
  explicit TMapViewer(QWidget* Parent = nullptr);
  ~TMapViewer() override;

  // A new viewer window over FileName, deleted when closed, owned by Owner (may be null), placed
  // by PlaceViewer on Owner's screen, with the keyboard focus. A file that does not load raises
  // its error and no window is left.
  static TMapViewer* Show(const std::string& FileName, QWidget* Owner);

  // The prompt of Ctrl+G over Owner: the text confirmed, or none when cancelled. Replaceable so
  // that tests need no modal dialog; an empty function restores Qt's input dialog. Returns the
  // previous prompt.
  using TTextPrompt = std::function<std::optional<std::string>(
      QWidget* Owner, const std::string& Title, const std::string& Prompt,
      const std::string& Initial)>;
  static TTextPrompt SetTextPrompt(TTextPrompt Prompt);

  TMapViewerModel& Model() { return FModel; }
  const TMapView& View() const { return FModel.View(); }

 protected:
  void paintEvent(QPaintEvent* Event) override;
  void resizeEvent(QResizeEvent* Event) override;
  void scrollContentsBy(int Dx, int Dy) override;
  void wheelEvent(QWheelEvent* Event) override;
  void keyPressEvent(QKeyEvent* Event) override;
  void mousePressEvent(QMouseEvent* Event) override;
  void mouseMoveEvent(QMouseEvent* Event) override;
  void mouseReleaseEvent(QMouseEvent* Event) override;
  bool viewportEvent(QEvent* Event) override;

 private:
  // TMapViewerView
  TPoint CursorPos() override;
  void RepaintAll() override;
  void Scrolled(std::int32_t Dx, std::int32_t Dy) override;
  void ScrollBarsChanged() override;
  void TextChanged() override;
  void ShowError(const std::string& Message) override;
  void Close() override;
  std::optional<std::string> AskText(const std::string& Title, const std::string& Prompt,
                                     const std::string& Initial) override;

  void ShowCursor();

  TMapViewerModel FModel{*this};
  QTimer FFollowTimer;
  TBitmap FBacking;  // the view's picture as the large bitmap draws it
  QImage FImage;     // the same pixels the right way up, for the painter
  bool FSyncing = false;
};
