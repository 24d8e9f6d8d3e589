#include "app/core/map_viewer_model.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>

#include "app/core/place_text.h"
#include "platform/os_files.h"

TMapViewerModel::TMapViewerModel(TMapViewerView& View) : FOut(View) {}

void TMapViewerModel::OpenFile(const std::string& FileName) {
  FView.Open(FileName);
  Opened();
  ZoomChanged();
}

void TMapViewerModel::Resized(std::int32_t Width, std::int32_t Height) {
  FView.SetViewSize(Width, Height);
  ZoomChanged();
}

void TMapViewerModel::KeyPressed(TViewerKey Key) {
  constexpr std::int32_t Far = std::numeric_limits<std::int32_t>::max();
  const std::int32_t X = FView.ScrollX(), Y = FView.ScrollY();
  switch (Key) {
    case TViewerKey::Plus:
    case TViewerKey::Equal:
    case TViewerKey::Minus: {
      const TPoint Anchor = ZoomAnchor();
      FView.SetMark(std::nullopt);
      if (Key == TViewerKey::Minus) {
        FView.ZoomOut(Anchor.X, Anchor.Y);
      } else {
        FView.ZoomIn(Anchor.X, Anchor.Y);
      }
      ZoomChanged();
      break;
    }
    case TViewerKey::One:
      ZoomTo(1, ZoomAnchor());
      break;
    case TViewerKey::Zero:
      FView.SetMark(std::nullopt);
      FView.Fit();
      ZoomChanged();
      break;
    case TViewerKey::Space:
      ToggleBackup();
      break;
    case TViewerKey::Escape:
      FOut.Close();
      break;
    case TViewerKey::Left:
      ScrollTo(X - LineStepX(), Y);
      break;
    case TViewerKey::Right:
      ScrollTo(X + LineStepX(), Y);
      break;
    case TViewerKey::Up:
      ScrollTo(X, Y - LineStepY());
      break;
    case TViewerKey::Down:
      ScrollTo(X, Y + LineStepY());
      break;
    case TViewerKey::PageUp:
      ScrollTo(X, Y - FView.ViewHeight());
      break;
    case TViewerKey::PageDown:
      ScrollTo(X, Y + FView.ViewHeight());
      break;
    case TViewerKey::Home:
      ScrollTo(0, 0);
      break;
    case TViewerKey::End:
      ScrollTo(Far, Far);
      break;
    case TViewerKey::GoTo:
      GoTo();
      break;
  }
}

void TMapViewerModel::WheelTurned(std::int32_t Delta, TPoint At) {
  FWheelRest += Delta;
  if (FWheelRest >= WheelNotch || FWheelRest <= -WheelNotch) FView.SetMark(std::nullopt);
  for (; FWheelRest >= WheelNotch; FWheelRest -= WheelNotch) FView.ZoomIn(At.X, At.Y);
  for (; FWheelRest <= -WheelNotch; FWheelRest += WheelNotch) FView.ZoomOut(At.X, At.Y);
  ZoomChanged();
}

void TMapViewerModel::ButtonDown(TPoint At) {
  FDragging = true;
  FDragStart = At;
  FDragScroll = TPoint{FView.ScrollX(), FView.ScrollY()};
}

void TMapViewerModel::MouseMoved(TPoint At) {
  FMouse = At;
  if (FDragging) {
    ScrollTo(FDragScroll.X - (At.X - FDragStart.X), FDragScroll.Y - (At.Y - FDragStart.Y));
  }
  if (UpdatePosition()) FOut.TextChanged();
}

void TMapViewerModel::MouseLeft() {
  FMouse.reset();
  if (UpdatePosition()) FOut.TextChanged();
}

void TMapViewerModel::ButtonUp() {
  FDragging = false;
}

void TMapViewerModel::ScrollBarUsed(TViewerAxis Axis, TScrollRequest Request) {
  const bool Across = Axis == TViewerAxis::Horizontal;
  const std::int32_t Line = Across ? LineStepX() : LineStepY();
  const std::int32_t Page = Across ? FView.ViewWidth() : FView.ViewHeight();
  std::int32_t Position = Across ? FView.ScrollX() : FView.ScrollY();
  switch (Request) {
    case TScrollRequest::LineBack:
      Position -= Line;
      break;
    case TScrollRequest::LineForward:
      Position += Line;
      break;
    case TScrollRequest::PageBack:
      Position -= Page;
      break;
    case TScrollRequest::PageForward:
      Position += Page;
      break;
    case TScrollRequest::Start:
      Position = 0;
      break;
    case TScrollRequest::End:
      Position = Across ? FView.ScrollMaxX() : FView.ScrollMaxY();
      break;
  }
  if (Across) {
    ScrollTo(Position, FView.ScrollY());
  } else {
    ScrollTo(FView.ScrollX(), Position);
  }
}

void TMapViewerModel::ScrollBarsMoved(std::int32_t X, std::int32_t Y) {
  ScrollTo(X, Y);
}

void TMapViewerModel::FollowFile() {
  if (!FView.Refresh()) return;
  Opened();
  ZoomChanged();
}

void TMapViewerModel::ZoomTo(double Zoom, TPoint Anchor) {
  FView.SetMark(std::nullopt);
  FView.SetZoom(Zoom, Anchor.X, Anchor.Y);
  ZoomChanged();
}

std::string TMapViewerModel::Title() const {
  const std::string& FileName = FView.FileName();
  return FileName.substr(FileName.find_last_of(PathDelim) + 1) + " - " +
         std::to_string(FView.MapWidth()) + " x " + std::to_string(FView.MapHeight()) + " - " +
         std::to_string(std::lround(FView.Zoom() * 100)) + "%" +
         (FPosition.empty() ? "" : " - " + FPosition);
}

std::int32_t TMapViewerModel::LineStepX() const {
  return std::max(1, FView.ViewWidth() / LinesPerPage);
}

std::int32_t TMapViewerModel::LineStepY() const {
  return std::max(1, FView.ViewHeight() / LinesPerPage);
}

void TMapViewerModel::ToggleBackup() {
  try {
    if (!FView.OpenBackupPartner()) return;
    Opened();
    ZoomChanged();
  } catch (const std::exception& Error) {
    FOut.ShowError(Error.what());
  }
}

TPoint TMapViewerModel::ZoomAnchor() {
  const TPoint Mouse = FOut.CursorPos();
  if (Mouse.X >= 0 && Mouse.X < FView.ViewWidth() && Mouse.Y >= 0 && Mouse.Y < FView.ViewHeight()) {
    return Mouse;
  }
  return TPoint{FView.ViewWidth() / 2, FView.ViewHeight() / 2};
}

void TMapViewerModel::ScrollTo(std::int32_t X, std::int32_t Y) {
  const std::int32_t OldX = FView.ScrollX(), OldY = FView.ScrollY();
  FView.ScrollTo(X, Y);
  if (FView.ScrollX() == OldX && FView.ScrollY() == OldY) return;
  if (FView.Mark()) {
    // The mark moves with the map; its old place is painted over whole.
    FView.SetMark(std::nullopt);
    FOut.RepaintAll();
  }
  FOut.ScrollBarsChanged();
  FOut.Scrolled(OldX - FView.ScrollX(), OldY - FView.ScrollY());
  if (UpdatePosition()) FOut.TextChanged();
}

void TMapViewerModel::ZoomChanged() {
  UpdatePosition();
  FOut.ScrollBarsChanged();
  FOut.TextChanged();
  FOut.RepaintAll();
}

void TMapViewerModel::GoTo() {
  if (!FPlaces) return;
  const std::optional<std::string> Text = FOut.AskText(GoToTitle, GoToPrompt, FLastPlace);
  if (!Text) return;
  TPoint Pixel;
  try {
    Pixel = FPlaces->FindPlace(*Text);
  } catch (const EPlaceError& Error) {
    FOut.ShowError(Error.what());
    return;
  }
  FLastPlace = *Text;
  FView.CentreOn(Pixel);
  FView.SetMark(Pixel);
  ZoomChanged();
}

void TMapViewerModel::Opened() {
  FPlaces.emplace(FView.FileName(), FView.MapWidth(), FView.MapHeight());
}

bool TMapViewerModel::UpdatePosition() {
  const bool InView = FMouse && FMouse->X >= 0 && FMouse->X < FView.ViewWidth() && FMouse->Y >= 0 &&
                      FMouse->Y < FView.ViewHeight();
  const std::optional<TPoint> Pixel = InView ? FView.MapPixelAt(*FMouse) : std::nullopt;
  std::string Text = Pixel && FPlaces ? FPlaces->PositionText(*Pixel) : std::string();
  if (Text == FPosition) return false;
  FPosition = std::move(Text);
  return true;
}
