#include "app/core/viewer_placement.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <utility>

namespace {

enum class TSide { Right, Left, Below, Above };

std::int32_t WidthOf(const TRect& R) {
  return std::max(0, R.Right - R.Left);
}
std::int32_t HeightOf(const TRect& R) {
  return std::max(0, R.Bottom - R.Top);
}
std::int32_t ThicknessOf(std::int32_t Width, std::int32_t Height) {
  return std::min(Width, Height);
}

// Start clamped so that Extent fits between Low and High (Low wins when it cannot).
std::int32_t Within(std::int32_t Start, std::int32_t Extent, std::int32_t Low, std::int32_t High) {
  return std::max(Low, std::min(Start, High - Extent));
}

// The first of Base, Base moved on by one CascadeStep down and to the right, by two ... that
// no open viewer has taken (nor nearly: window managers may shift a frame by its decorations).
// A frame moved on is cut where it would leave Room; once that would make it thinner than Least
// (or Base, if that is thinner), Base is taken after all.
TRect Cascade(const TRect& Base, const TRect& Room, const std::vector<TRect>& Open,
              std::int32_t Least) {
  const std::int32_t Thinnest = std::min(Least, ThicknessOf(WidthOf(Base), HeightOf(Base)));
  for (std::int32_t Shift = 0;; Shift += CascadeStep) {
    const std::int32_t Left = Base.Left + Shift, Top = Base.Top + Shift;
    const TRect Place =
        Rect(Left, Top, std::min(Base.Right + Shift, std::max(Room.Right, Base.Right)),
             std::min(Base.Bottom + Shift, std::max(Room.Bottom, Base.Bottom)));
    if (ThicknessOf(WidthOf(Place), HeightOf(Place)) < Thinnest) return Base;
    const bool Taken = std::any_of(Open.begin(), Open.end(), [&](const TRect& O) {
      return std::abs(O.Left - Left) < CascadeStep / 2 && std::abs(O.Top - Top) < CascadeStep / 2;
    });
    if (!Taken) return Place;
  }
}

// A frame of Width x Height over the main window: against the work area's edge on the roomier
// side, its top below the main window's title, shortened down to Least where the work area ends.
TRect OverMain(const TRect& WorkArea, const TRect& Main, std::int32_t TitleHeight,
               std::int32_t Width, std::int32_t Height, std::int32_t Least) {
  const bool OnRight = WorkArea.Right - Main.Right >= Main.Left - WorkArea.Left;
  const std::int32_t Left = OnRight ? WorkArea.Right - Width : WorkArea.Left;
  const std::int32_t Below = std::max(WorkArea.Top, Main.Top + TitleHeight);
  const std::int32_t Tall =
      std::min(Height, std::max(WorkArea.Bottom - Below, std::min(Least, Height)));
  const std::int32_t Top = Within(Below, Tall, WorkArea.Top, WorkArea.Bottom);
  return Rect(Left, Top, Left + Width, Top + Tall);
}

// The frame on a side of the main window whose Room holds Width x Height at most.
TRect OnSide(TSide Side, const TRect& Room, const TRect& Main, std::int32_t Width,
             std::int32_t Height) {
  const std::int32_t W = std::min(Width, WidthOf(Room));
  const std::int32_t H = std::min(Height, HeightOf(Room));
  std::int32_t Left = 0, Top = 0;
  switch (Side) {
    case TSide::Right:
    case TSide::Left:
      Left = Side == TSide::Right ? Room.Left : Room.Right - W;
      Top = Within(Main.Top, H, Room.Top, Room.Bottom);
      break;
    case TSide::Below:
    case TSide::Above:
      Left = Within(Main.Left, W, Room.Left, Room.Right);
      Top = Side == TSide::Below ? Room.Top : Room.Bottom - H;
      break;
  }
  return Rect(Left, Top, Left + W, Top + H);
}

}  // namespace

TRect PlaceViewer(const TRect& WorkArea, const TRect& Main, std::int32_t TitleHeight,
                  const std::vector<TRect>& Open, std::int32_t Width, std::int32_t Height) {
  const std::int32_t WantW = std::clamp(Width, 1, std::max(1, WidthOf(WorkArea)));
  const std::int32_t WantH = std::clamp(Height, 1, std::max(1, HeightOf(WorkArea)));
  const std::int32_t Least =
      std::min(ThicknessOf(WantW, WantH), ThicknessOf(WidthOf(WorkArea), HeightOf(WorkArea)) / 2);
  if (WidthOf(Main) == 0 || HeightOf(Main) == 0) {
    const std::int32_t Left = WorkArea.Left + (WidthOf(WorkArea) - WantW) / 2;
    const std::int32_t Top = WorkArea.Top + (HeightOf(WorkArea) - WantH) / 2;
    return Cascade(Rect(Left, Top, Left + WantW, Top + WantH), WorkArea, Open, Least);
  }

  // The part of the work area on each side of the main window.
  const std::array<std::pair<TSide, TRect>, 4> Rooms{{
      {TSide::Right,
       Rect(std::max(Main.Right, WorkArea.Left), WorkArea.Top, WorkArea.Right, WorkArea.Bottom)},
      {TSide::Left,
       Rect(WorkArea.Left, WorkArea.Top, std::min(Main.Left, WorkArea.Right), WorkArea.Bottom)},
      {TSide::Below,
       Rect(WorkArea.Left, std::max(Main.Bottom, WorkArea.Top), WorkArea.Right, WorkArea.Bottom)},
      {TSide::Above,
       Rect(WorkArea.Left, WorkArea.Top, WorkArea.Right, std::min(Main.Top, WorkArea.Bottom))},
  }};
  const auto Fits = [&](const TRect& Room) {
    return std::min(WantW, WidthOf(Room)) * std::int64_t{std::min(WantH, HeightOf(Room))};
  };
  const auto ThickEnough = [&](const TRect& Room) {
    return ThicknessOf(std::min(WantW, WidthOf(Room)), std::min(WantH, HeightOf(Room))) >= Least;
  };
  // How much of the frame a side holds, where it holds a frame thick enough.
  const auto Usable = [&](const TRect& Room) { return ThickEnough(Room) ? Fits(Room) : -1; };
  const auto* Best = std::find_if(Rooms.begin(), Rooms.end(), [&](const auto& R) {
    return Fits(R.second) == std::int64_t{WantW} * WantH;
  });
  if (Best == Rooms.end()) {
    Best = std::max_element(Rooms.begin(), Rooms.end(), [&](const auto& A, const auto& B) {
      return Usable(A.second) < Usable(B.second);
    });
  }
  if (!ThickEnough(Best->second)) {
    return Cascade(OverMain(WorkArea, Main, TitleHeight, WantW, WantH, Least), WorkArea, Open,
                   Least);
  }
  return Cascade(OnSide(Best->first, Best->second, Main, WantW, WantH), Best->second, Open, Least);
}
