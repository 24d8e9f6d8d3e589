#pragma once

// The game's sextant: a tile's latitude and longitude in degrees and minutes, measured from the
// reference point of its world and area, and back from a reading to a tile.
//
// A reading takes the sextant's chart, 5120 tiles east to west and 4096 north to south in every
// world, as 360 degrees each way, starting at the reference point. Beyond 180 degrees east or
// south it wraps round to the west or north. Degrees and minutes are truncated, so one reading
// covers everything up to the next minute; a tile spans about 4.2 minutes of longitude and 5.3
// of latitude, so not every minute is the reading of a tile. The reference point itself reads
// 0°0'S 0°0'E: a difference of zero counts as south and east.

#include <cstdint>
#include <optional>
#include <string>

#include "app/core/map_catalogue.h"
#include "platform/rect.h"

struct TSextant {
  std::int32_t LatDegrees = 0;  // 0 to 180
  std::int32_t LatMinutes = 0;  // 0 to 59
  bool South = true;
  std::int32_t LongDegrees = 0;
  std::int32_t LongMinutes = 0;
  bool East = true;
  bool operator==(const TSextant&) const = default;
};

// The reading at Tile of World, or none where the game gives none: in the dungeons of Felucca and
// Trammel (x 5120 and over, y under 2304) and beyond their 6144 x 4096 tiles; beyond the chart
// in the other worlds, which are all smaller than it. A World outside the catalogue raises
// ERangeError.
std::optional<TSextant> SextantOfTile(Facet World, TPoint Tile);

// The tile of World whose reading is Reading; where no tile reads exactly that, the one whose
// reading is nearest (latitude and longitude each on their own). Readings lead to the main land
// of Felucca and Trammel, not to the lost lands whose readings repeat them, and the tile may lie
// beyond the end of a world smaller than the sextant's chart. Degrees above 180 or minutes above
// 59 raise ERangeError, as does a World outside the catalogue.
TPoint TileOfSextant(Facet World, const TSextant& Reading);

// The reading as players write it, latitude first: "42°17'N 11°36'E", "0°0'S 0°0'E".
std::string SextantText(const TSextant& Reading);
