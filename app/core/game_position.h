#pragma once

// Where a point of a map file lies in the game. A map file's name says which world it shows and
// at which zoom level; one pixel covers 1 x 1 tiles of the game at full size, 2 x 2 at half and
// 4 x 4 at quarter size, and every 8 x 8 tiles make a block, the squares that the grid marks.
// For the viewers: the line that tells the place under the mouse, and the pixel of a place typed
// to go to.

#include <cstdint>
#include <optional>
#include <string>

#include "app/core/map_catalogue.h"
#include "platform/rect.h"

struct TMapIdentity {
  Facet World = fcFeluccaTrammel;
  MapScale Scale = msFull;
  bool operator==(const TMapIdentity&) const = default;
};

// The world and zoom level of a file named like a base or target file of the catalogue (of any
// map type) or like its ".OLD" backup, in any folder, letters in either case as Windows compares
// names; none for any other name.
std::optional<TMapIdentity> MapIdentityOfFile(const std::string& FileName);

// The tiles along each side of a pixel at zoom level S: 1, 2 or 4; ERangeError for any other S.
std::int32_t TilesPerPixel(MapScale S);

// The places of one map file, for as long as a viewer shows it.
class TMapPlaces {
 public:
  // The map file FileName, Width x Height pixels.
  TMapPlaces(const std::string& FileName, std::int32_t Width, std::int32_t Height);

  // None for a file not named like a map.
  const std::optional<TMapIdentity>& Identity() const { return FIdentity; }

  // The line for the map pixel under the mouse: the tile at the pixel's top-left, its block and
  // the sextant reading there, "タイル 1323, 1624 - ブロック 165, 203 - 0°0'S 0°0'E", or without
  // the reading where the game gives none; "ピクセル 100, 200" for a file not named like a map;
  // "" for a point outside the map.
  std::string PositionText(TPoint Pixel) const;

  // The map pixel of a place typed to go to (ParsePlace): tile coordinates or a sextant reading
  // on a map, the pixel that covers that tile; on a file not named like a map, pixel coordinates.
  // A place outside the map, or a reading typed for a file not named like a map, raises
  // EPlaceError that says so, as does text that ParsePlace cannot read.
  TPoint FindPlace(const std::string& Text) const;

 private:
  std::string TileRange() const;

  std::optional<TMapIdentity> FIdentity;
  std::int32_t FPixelTiles;  // along each side of a pixel
  std::int32_t FWidth;
  std::int32_t FHeight;
};
