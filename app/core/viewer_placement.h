#pragma once

// Where a new viewer window goes: beside the main window, on its screen, without covering it
// where there is room for a viewer in which the map can be seen. All rectangles are outer window
// frames in screen coordinates.
//
// The wanted size is first kept within the work area. The sides of the main window are then
// tried in the order right, left, below, above; the first on which the wanted size fits whole is
// taken. Where none has room for it, the side that holds the largest part of it is taken and the
// frame made that much smaller, as long as it keeps the least thickness: its smaller extent at
// least half the work area's smaller extent (or the wanted size's smaller extent, where that is
// less), so that no viewer opens as a strip. Failing that, the frame keeps its size and covers
// part of the main window, against the work area's edge on the main window's roomier side, its
// top below the main window's title bar (made shorter down to the least thickness, and moved up
// only where even that does not fit). On its side the frame is aligned with the main window's
// top (right, left) or left edge (below, above). A viewer already open at that place (or less
// than half a step from it, across and down) moves the new one on by CascadeStep down and to the
// right, made smaller where it would leave its side, as long as it keeps the least thickness.

#include <cstdint>
#include <vector>

#include "platform/rect.h"

inline constexpr std::int32_t CascadeStep = 32;

// WorkArea: the screen's part that windows may use; Main: the main window's frame (empty when
// there is none: the frame is then centred); TitleHeight: how far the main window's client area
// lies below its frame's top (title bar and border); Open: the frames of the viewers already
// open; Width x Height: the frame's wanted size.
TRect PlaceViewer(const TRect& WorkArea, const TRect& Main, std::int32_t TitleHeight,
                  const std::vector<TRect>& Open, std::int32_t Width, std::int32_t Height);
