#include "app/core/viewer_placement.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace {

enum class TSide { Right, Left, Below, Above };

std::int32_t WidthOf(const TRect& R) {
  return std::max(0, R.Right - R.Left);
}
std::int32_t HeightOf(const TRect& R) {
  return std::max(0, R.Bottom - R.Top);
}

// Start clamped so that Extent fits between Low and High (Low wins when it cannot).
std::int32_t Within(std::int32_t Start, std::int32_t Extent, std::int32_t Low, std::int32_t High) {
  return std::max(Low, std::min(Start, High - Extent));
}

// The first of Base, Base moved on by one CascadeStep down and to the right, by two ... that
// no open viewer has taken (nor nearly: window managers may shift a frame by its decorations).
// A frame moved on is cut where it would leave Room; once that would make it smaller than the
// least size (or Base if that is smaller), Base is taken after all.
TRect Cascade(const TRect& Base, const TRect& Room, const std::vector<TRect>& Open) {
  const std::int32_t minWidth = std::min(WidthOf(Base), MinViewerWidth);
  const std::int32_t minHeight = std::min(HeightOf(Base), MinViewerHeight);
  for (std::int32_t shift = 0;; shift += CascadeStep) {
    const std::int32_t left = Base.Left + shift, top = Base.Top + shift;
    const TRect place =
        Rect(left, top, std::min(Base.Right + shift, std::max(Room.Right, Base.Right)),
             std::min(Base.Bottom + shift, std::max(Room.Bottom, Base.Bottom)));
    if (WidthOf(place) < minWidth || HeightOf(place) < minHeight) return Base;
    const bool taken = std::any_of(Open.begin(), Open.end(), [&](const TRect& O) {
      return std::abs(O.Left - left) < CascadeStep / 2 && std::abs(O.Top - top) < CascadeStep / 2;
    });
    if (!taken) return place;
  }
}

}  // namespace

TRect PlaceViewer(const TRect& WorkArea, const TRect& Main, const std::vector<TRect>& Open,
                  std::int32_t Width, std::int32_t Height) {
  const std::int32_t width = std::clamp(Width, 1, std::max(1, WidthOf(WorkArea)));
  const std::int32_t height = std::clamp(Height, 1, std::max(1, HeightOf(WorkArea)));
  if (WidthOf(Main) == 0 || HeightOf(Main) == 0) {
    const std::int32_t left = WorkArea.Left + (WidthOf(WorkArea) - width) / 2;
    const std::int32_t top = WorkArea.Top + (HeightOf(WorkArea) - height) / 2;
    return Cascade(Rect(left, top, left + width, top + height), WorkArea, Open);
  }

  // The part of the work area on each side of the main window.
  const std::array<std::pair<TSide, TRect>, 4> rooms{{
      {TSide::Right,
       Rect(std::max(Main.Right, WorkArea.Left), WorkArea.Top, WorkArea.Right, WorkArea.Bottom)},
      {TSide::Left,
       Rect(WorkArea.Left, WorkArea.Top, std::min(Main.Left, WorkArea.Right), WorkArea.Bottom)},
      {TSide::Below,
       Rect(WorkArea.Left, std::max(Main.Bottom, WorkArea.Top), WorkArea.Right, WorkArea.Bottom)},
      {TSide::Above,
       Rect(WorkArea.Left, WorkArea.Top, WorkArea.Right, std::min(Main.Top, WorkArea.Bottom))},
  }};
  const auto fits = [&](const TRect& Room) {
    return std::min(width, WidthOf(Room)) * std::int64_t{std::min(height, HeightOf(Room))};
  };
  const auto* best = std::find_if(rooms.begin(), rooms.end(), [&](const auto& R) {
    return fits(R.second) == std::int64_t{width} * height;
  });
  if (best == rooms.end()) {
    best = std::max_element(rooms.begin(), rooms.end(), [&](const auto& A, const auto& B) {
      return fits(A.second) < fits(B.second);
    });
  }
  const TSide side = best->first;
  const TRect& room = best->second;
  const std::int32_t w = std::min(width, WidthOf(room));
  const std::int32_t h = std::min(height, HeightOf(room));
  if (w < std::min(width, MinViewerWidth) || h < std::min(height, MinViewerHeight)) {
    // No side has room enough: against the work area's edge on the roomier side.
    const bool right = WidthOf(rooms[0].second) >= WidthOf(rooms[1].second);
    const std::int32_t left = right ? WorkArea.Right - width : WorkArea.Left;
    const std::int32_t top = Within(Main.Top, height, WorkArea.Top, WorkArea.Bottom);
    return Cascade(Rect(left, top, left + width, top + height), WorkArea, Open);
  }
  std::int32_t left = 0, top = 0;
  switch (side) {
    case TSide::Right:
    case TSide::Left:
      left = side == TSide::Right ? room.Left : room.Right - w;
      top = Within(Main.Top, h, room.Top, room.Bottom);
      break;
    case TSide::Below:
    case TSide::Above:
      left = Within(Main.Left, w, room.Left, room.Right);
      top = side == TSide::Below ? room.Top : room.Bottom - h;
      break;
  }
  return Cascade(Rect(left, top, left + w, top + h), room, Open);
}
