#pragma once

// The map viewer: one map file in a resizable window of its own, fitted at first. The wheel and
// + / - zoom around the mouse, 1 shows the map 1:1, 0 fits it again; dragging and the scroll
// bars pan. Space switches between a map file and its .OLD backup in place; Escape closes the
// window. The title names the file, the map's size and the zoom. The file shown is followed: a
// new file under its name is shown at the same place.

#include <QAbstractScrollArea>
#include <QImage>
#include <QTimer>
#include <string>

#include "app/core/map_view.h"
#include "platform/graphics.h"

class TMapViewer : public QAbstractScrollArea {
 public:
  explicit TMapViewer(QWidget* Parent = nullptr);
  ~TMapViewer() override;

  // A new viewer window over FileName, deleted when closed, owned by Owner (may be null), placed
  // beside Owner's window on its screen. A file that does not load raises its error and no
  // window is left.
  static TMapViewer* Show(const std::string& FileName, QWidget* Owner);

  // Loads FileName (errors pass on; the viewer keeps what it showed).
  void OpenFile(const std::string& FileName);
  // Space: shows the backup of the file shown, or the file of the backup shown, at the same
  // place and zoom. Nothing when there is no such file; an error is shown in a message box.
  void ToggleBackup();
  void ZoomToFit();
  // Zoom (within the view's limits) keeping the map point under Anchor, a view point, in place.
  void ZoomAt(double Zoom, QPoint Anchor);
  // Shows the file anew if it changed on disk (what the follow timer calls).
  void FollowFile();

  const TMapView& View() const { return FView; }

 protected:
  void paintEvent(QPaintEvent* Event) override;
  void resizeEvent(QResizeEvent* Event) override;
  void scrollContentsBy(int Dx, int Dy) override;
  void wheelEvent(QWheelEvent* Event) override;
  void keyPressEvent(QKeyEvent* Event) override;
  void mousePressEvent(QMouseEvent* Event) override;
  void mouseMoveEvent(QMouseEvent* Event) override;
  void mouseReleaseEvent(QMouseEvent* Event) override;

 private:
  // The mouse position in the view when it is over it, else the view's centre.
  QPoint ZoomAnchor() const;
  void ZoomStep(bool In);
  void ZoomChanged();
  void SyncScrollBars();
  void UpdateTitle();

  TMapView FView;
  QTimer FFollowTimer;
  TBitmap FBacking;  // the view's picture as the large bitmap draws it
  QImage FImage;     // the same pixels the right way up, for the painter
  bool FSyncing = false;
  int FWheelRest = 0;
  bool FDragging = false;
  QPoint FDragStart;
  QPoint FDragScroll;
};
