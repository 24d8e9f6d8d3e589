#pragma once

// Where a new viewer window goes: beside the main window, on its screen, without covering it
// where there is room. All rectangles are outer window frames in screen coordinates.
//
// The sides of the main window are tried in the order right, left, below, above; the first on
// which the wanted size fits whole is taken. Where none has room for it, the side that holds
// the largest part of it is taken and the frame made that much smaller, as long as it keeps at
// least MinViewerWidth x MinViewerHeight; failing that, the frame keeps its size, clamped to the
// work area, against the work area's edge on the roomier side of the main window (covering as
// little of it as it can). On its side the frame is aligned with the main window's top (right,
// left) or left edge (below, above); a viewer already open at that place (or less than half a
// step from it) moves the new one on by CascadeStep down and to the right, made smaller where it
// would leave its side, as long as it keeps the least size.

#include <cstdint>
#include <vector>

#include "platform/rect.h"

inline constexpr std::int32_t MinViewerWidth = 400;
inline constexpr std::int32_t MinViewerHeight = 300;
inline constexpr std::int32_t CascadeStep = 32;

// WorkArea: the screen's part that windows may use; Main: the main window's frame (empty when
// there is none: the frame is then centred); Open: the frames of the viewers already open;
// Width x Height: the frame's wanted size.
TRect PlaceViewer(const TRect& WorkArea, const TRect& Main, const std::vector<TRect>& Open,
                  std::int32_t Width, std::int32_t Height);
