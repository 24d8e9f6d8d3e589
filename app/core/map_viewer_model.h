#pragma once

// The map viewer's rules without a toolkit: what a key, the wheel, a drag or a scroll bar does to
// the view, where a zoom is anchored, the title, the scroll bars' steps, the size a new viewer
// asks for and how often the file shown is looked at. A viewer window (Qt, Win32) translates its
// toolkit's events into the calls below and draws what the model's view (TMapView) paints; what
// only a toolkit can do, the model asks of it through TMapViewerView.
//
// Keys: + and = zoom in one step, - out, around the mouse when it is over the view and else
// around the view's centre; 1 shows the map 1:1 around the same point, 0 fits it; Space switches
// between a map file and its .OLD backup in place; Escape closes the viewer. The arrow keys move
// the view by a line step, PageUp and PageDown by a page up and down, Home to the map's top-left
// corner and End to its bottom-right one. The wheel zooms around the mouse, a step per notch;
// dragging with the left button moves the map with the mouse. While the mouse is over the map the
// title says where that point lies in the game. Ctrl+G asks for a place (tile coordinates or a
// sextant reading), centres the view on it at no less than 1:1 and marks it until the view moves.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "app/core/game_position.h"
#include "app/core/map_view.h"
#include "platform/rect.h"

// The keys a viewer acts on, whatever toolkit reads the keyboard. Plus, Equal, Minus, Zero and
// One are the characters typed (on the main keys or the keypad).
enum class TViewerKey : std::uint8_t {
  Plus,
  Equal,
  Minus,
  Zero,
  One,
  Space,
  Escape,
  Left,
  Right,
  Up,
  Down,
  PageUp,
  PageDown,
  Home,
  End,
  GoTo  // Ctrl+G
};

enum class TViewerAxis : std::uint8_t { Horizontal, Vertical };

// What a scroll bar asks for along its axis.
enum class TScrollRequest : std::uint8_t {
  LineBack,
  LineForward,
  PageBack,
  PageForward,
  Start,
  End
};

// What the model needs of the window that shows it.
class TMapViewerView {
 public:
  virtual ~TMapViewerView() = default;

  // The mouse cursor's position in view coordinates, wherever on the screen it is.
  virtual TPoint CursorPos() = 0;
  // The whole view is to be painted again.
  virtual void RepaintAll() = 0;
  // The map moved by (Dx, Dy) view pixels: the pixels shown move along, what they uncover is to
  // be painted.
  virtual void Scrolled(std::int32_t Dx, std::int32_t Dy) = 0;
  // The scroll bars are to show the view's scroll range, position and steps (ScrollMaxX, ScrollX,
  // ViewWidth as the page, LineStepX ...).
  virtual void ScrollBarsChanged() = 0;
  // The texts the window shows are to be shown anew: its title, Title(). (Any further text of
  // the state out, such as a line at the window's foot, is to be shown here too.)
  virtual void TextChanged() = 0;
  // Shows an error that reached an event handler (a message box); the viewer stays usable.
  virtual void ShowError(const std::string& Message) = 0;
  // Asks the window to close, as its close button does.
  virtual void Close() = 0;
  // Asks the user for a line of text in a small modal prompt titled Title, with Prompt above the
  // field and Initial in it: the text confirmed, or none when the user cancelled.
  virtual std::optional<std::string> AskText(const std::string& Title, const std::string& Prompt,
                                             const std::string& Initial) = 0;
};

class TMapViewerModel {
 public:
  // The view's size a new viewer asks for, in pixels at 96 DPI (the frame comes on top).
  static constexpr std::int32_t StartWidth = 800;
  static constexpr std::int32_t StartHeight = 600;
  // How often the viewer calls FollowFile.
  static constexpr std::chrono::milliseconds FollowPeriod{500};
  // The wheel's delta of one notch; finer wheels send parts of it, which add up.
  static constexpr std::int32_t WheelNotch = 120;
  // A line step is this part of the view's extent along its axis.
  static constexpr std::int32_t LinesPerPage = 20;
  // The prompt of Ctrl+G.
  static constexpr const char* GoToTitle = "場所へ移動";
  static constexpr const char* GoToPrompt =
      "タイル座標か六分儀の読み (例: 1323, 1624 または 42°17'N 11°36'E)";

  explicit TMapViewerModel(TMapViewerView& View);
  TMapViewerModel(const TMapViewerModel&) = delete;
  TMapViewerModel& operator=(const TMapViewerModel&) = delete;

  // ---- events in ----------------------------------------------------------------------------

  // Loads FileName. Its error passes on, and the viewer keeps what it showed; a backup that does
  // not load on Space is shown through TMapViewerView::ShowError instead.
  void OpenFile(const std::string& FileName);
  // The view (the window's client area less its scroll bars) is now Width x Height pixels.
  void Resized(std::int32_t Width, std::int32_t Height);
  void KeyPressed(TViewerKey Key);
  // The wheel turned by Delta (positive away from the user) with the mouse at At.
  void WheelTurned(std::int32_t Delta, TPoint At);
  // The left button went down at At, the mouse moved to At (with or without a button), the left
  // button went up or the drag was taken away; the mouse left the view.
  void ButtonDown(TPoint At);
  void MouseMoved(TPoint At);
  void ButtonUp();
  void MouseLeft();
  // A scroll bar's arrow, page area or end was used; ScrollBarsMoved: its thumb was moved, or
  // the toolkit moved its bars, to scroll position (X, Y).
  void ScrollBarUsed(TViewerAxis Axis, TScrollRequest Request);
  void ScrollBarsMoved(std::int32_t X, std::int32_t Y);
  // The viewer's timer, every FollowPeriod: shows the file anew if it changed on disk.
  void FollowFile();
  // Zoom (kept within the view's limits) keeping the map point under view point Anchor in place.
  void ZoomTo(double Zoom, TPoint Anchor);

  // ---- state out ----------------------------------------------------------------------------
  const TMapView& View() const { return FView; }
  // "<file name> - <width> x <height> - <zoom>%", then " - " and PositionText() while the mouse
  // is over the map.
  std::string Title() const;
  // Where the map point under the mouse lies in the game (see TMapPlaces::PositionText); empty
  // while the mouse is not over the map.
  const std::string& PositionText() const { return FPosition; }
  bool Dragging() const { return FDragging; }
  std::int32_t LineStepX() const;
  std::int32_t LineStepY() const;

 private:
  void ToggleBackup();
  // Ctrl+G: asks for a place, centres the view on it and marks it.
  void GoTo();
  // A file was opened: its places are known anew.
  void Opened();
  // Sets the position line for the map point under the mouse; true when it changed.
  bool UpdatePosition();
  // The mouse's position when it is over the view, else the view's centre.
  TPoint ZoomAnchor();
  void ScrollTo(std::int32_t X, std::int32_t Y);
  void ZoomChanged();

  TMapViewerView& FOut;
  TMapView FView;
  std::optional<TMapPlaces> FPlaces;  // of the file shown
  std::optional<TPoint> FMouse;       // where the mouse last moved over the view; none once it left
  std::string FPosition;
  std::string FLastPlace;  // the last place gone to, offered again
  std::int32_t FWheelRest = 0;
  bool FDragging = false;
  TPoint FDragStart;
  TPoint FDragScroll;
};
