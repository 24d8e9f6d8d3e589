#pragma once

// The map viewer on Windows: one map file in a resizable window of its own, with the keys, wheel,
// drag and title of TMapViewerModel, and Ctrl+C, which puts the map on the clipboard as a
// device-independent bitmap. This window only hands the system's messages to the model and
// sends the picture the model's view paints to the screen.

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/core/map_viewer_model.h"

class TViewerBacking;

class TMapViewer : private TMapViewerView {
 public:
  // A new viewer window over FileName, owned by Owner (may be null), placed by PlaceViewer on
  // Owner's monitor, active and with the keyboard focus. The viewer lives as long as its window
  // (or, when that goes inside a handler of the viewer's, until the handler has returned).
  // A file that does not load raises its error and no window is left.
  static TMapViewer* Show(const std::string& FileName, HWND Owner);
  // The viewer of a window Show made; null for any other window.
  static TMapViewer* FromHandle(HWND Window);

  HWND Handle() const { return FHandle; }
  TMapViewerModel& Model() { return FModel; }
  const TMapView& View() const { return FModel.View(); }

  // Ctrl+C: the map on the clipboard; an error is shown in a message box.
  void CopyToClipboard();

  // The prompt of Ctrl+G over Owner: the text confirmed, or none when cancelled. Replaceable so
  // that tests need no modal dialog; an empty function restores the dialog box. Returns the
  // previous prompt.
  using TTextPrompt = std::function<std::optional<std::string>(
      HWND Owner, const std::string& Title, const std::string& Prompt, const std::string& Initial)>;
  static TTextPrompt SetTextPrompt(TTextPrompt Prompt);

 private:
  // Made by Show only, deleted with its window.
  friend struct std::default_delete<TMapViewer>;
  TMapViewer();
  ~TMapViewer() override;
  TMapViewer(const TMapViewer&) = delete;
  TMapViewer& operator=(const TMapViewer&) = delete;

  static LRESULT CALLBACK WindowProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam);
  LRESULT HandleMessage(UINT Message, WPARAM WParam, LPARAM LParam);
  bool HandleInput(UINT Message, WPARAM WParam, LPARAM LParam);

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

  void Paint();
  void CharTyped(wchar_t Char);
  bool KeyDown(WPARAM VirtualKey);
  void ScrollBarUsed(int Bar, int Request);

  HWND FHandle = nullptr;
  TMapViewerModel FModel{*this};
  std::unique_ptr<TViewerBacking> FBacking;
  bool FSyncing = false;
  bool FResync = false;
  bool FTrackingLeave = false;  // WM_MOUSELEAVE asked for
  // Handlers of this viewer's running now, nested through a modal loop; a window destroyed
  // meanwhile leaves its viewer to be deleted once the outermost one has returned.
  int FHandlersRunning = 0;
  bool FWindowGone = false;
};
