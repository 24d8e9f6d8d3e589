#pragma once

// The map viewer on Windows: one map file in a resizable window of its own, fitted at first. The
// wheel and + / - zoom around the mouse, 1 shows the map 1:1, 0 fits it again; dragging and the
// scroll bars pan. Space switches between a map file and its .OLD backup in place, Ctrl+C puts the
// map on the clipboard as a device-independent bitmap, Escape closes the window. The title names
// the file, the map's size and the zoom. A file replaced while it is shown is shown anew.

#include <windows.h>

#include <memory>
#include <string>

#include "app/core/map_view.h"

class TViewerBacking;

class TMapViewer {
 public:
  // A new viewer window over FileName, owned by Owner (may be null), shown beside it. The viewer
  // lives as long as its window. A file that does not load raises its error and no window is
  // left.
  static TMapViewer* Show(const std::string& FileName, HWND Owner);
  // The viewer of a window Show made; null for any other window.
  static TMapViewer* FromHandle(HWND Window);

  HWND Handle() const { return FHandle; }
  const TMapView& View() const { return FView; }

  // Loads FileName (errors pass on; the viewer keeps what it showed).
  void OpenFile(const std::string& FileName);
  // Space: shows the backup of the file shown, or the file of the backup shown, at the same
  // place and zoom. Nothing when there is no such file; an error is shown in a message box.
  void ToggleBackup();
  void ZoomToFit();
  // Zoom (within the view's limits) keeping the map point under Anchor, a view point, in place.
  void ZoomAt(double Zoom, POINT Anchor);
  // Moves the view to scroll position (X, Y), kept within the map.
  void ScrollTo(int X, int Y);
  // Ctrl+C: the map on the clipboard; an error is shown in a message box.
  void CopyToClipboard();

 private:
  // Made by Show only, deleted with its window.
  friend struct std::default_delete<TMapViewer>;
  TMapViewer();
  ~TMapViewer();
  TMapViewer(const TMapViewer&) = delete;
  TMapViewer& operator=(const TMapViewer&) = delete;

  static LRESULT CALLBACK WindowProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam);
  LRESULT HandleMessage(UINT Message, WPARAM WParam, LPARAM LParam);

  void Paint();
  void Resized(int Width, int Height);
  void CharTyped(wchar_t Char);
  void Wheel(int Delta, POINT Screen);
  void ScrollBarMoved(int Bar, int Request);
  void DragStarted(POINT At);
  void Dragged(POINT At);
  // The mouse position in the view when it is over it, else the view's centre.
  POINT ZoomAnchor() const;
  void ZoomStep(bool In);
  void ZoomChanged();
  void SyncScrollBars();
  void UpdateTitle();

  HWND FHandle = nullptr;
  TMapView FView;
  std::unique_ptr<TViewerBacking> FBacking;
  bool FSyncing = false;
  bool FResync = false;
  int FWheelRest = 0;
  bool FDragging = false;
  POINT FDragStart{};
  POINT FDragScroll{};
};
