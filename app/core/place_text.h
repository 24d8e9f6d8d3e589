#pragma once

// Reading a place that a player types to find it on a map: tile coordinates ("1323, 1624") or a
// sextant reading ("42°17'N 11°36'E").

#include <string>

#include "app/core/sextant.h"
#include "platform/exceptions.h"
#include "platform/rect.h"

class EPlaceError : public Exception {
 public:
  using Exception::Exception;
};

struct TTypedPlace {
  bool IsSextant = false;
  TPoint Tile;       // without IsSextant: the two numbers, x first
  TSextant Reading;  // with IsSextant
};

// Text is UTF-8. Tile coordinates are two whole numbers separated by a comma, spaces or both. A
// reading is latitude and longitude, in either order, separated by a comma, spaces or nothing;
// each is degrees (0 to 180), a degree mark ("°", "o", or "º" or "˚" typed for it) or a space,
// minutes (0 to 59), optionally "'" (or "’", "′"), and its side: N or S, E or W. Letters may be of
// either case, spaces stand around any piece, and full-width characters count as their ASCII forms.
// Anything else raises EPlaceError with a message that quotes Text and shows both forms.
TTypedPlace ParsePlace(const std::string& Text);
