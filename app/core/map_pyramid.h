#pragma once

// A map drawn smaller than 1:1 as what its pixels average to. Picking one map pixel per screen
// pixel makes a fine pattern such as the grid beat against the screen (a coarse grid that is not
// there, or a map all grid lines); the average shows the map as it looks from further away.
//
// At construction the map is halved again and again into 24-bit levels (level k is 1/2^k of
// the map, each pixel the average of the up to 2 x 2 pixels under it), down to 1/2^MaxLevel.
// Drawing reads the coarsest level that still has at least one pixel per destination pixel
// and averages the level pixels under each destination pixel, weighted by the area of it they
// cover. A destination pixel thus reads about 3 x 3 level pixels at most, whatever the zoom; it
// is the exact area average of the map where the destination's pixel edges fall on level pixel
// edges (at 1/2, 1/4 ...), and close to it elsewhere.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/graphics.h"

class TBigBitmap;

class TMapPyramid {
 public:
  static constexpr int MaxLevel = 5;

  // Builds the levels from Map (1, 4, 8 or 24 bits per pixel), which must outlive the pyramid
  // unchanged: level 0 is read from it when drawing.
  explicit TMapPyramid(TBigBitmap& Map);

  // Draws the map shrunk to DestWidth x DestHeight pixels (at most the map's size, at least 1),
  // but only the part Area of that rectangle (in its coordinates, inside it). Dest is the first
  // byte of Area's top-left pixel; rows are Stride bytes apart (negative for bottom-up rows);
  // BytesPerPixel is 3 (blue, green, red) or 4 (blue, green, red, 0).
  void Draw(std::int32_t DestWidth, std::int32_t DestHeight, const TRect& Area, std::uint8_t* Dest,
            std::ptrdiff_t Stride, int BytesPerPixel) const;

  // Bytes the levels hold.
  std::int64_t Bytes() const;

 private:
  struct TLevel {
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    // Top-down rows of Width * 3 bytes; not cleared when made, every byte is written at once.
    std::unique_ptr<std::uint8_t[]> Pixels;
    std::size_t Bytes = 0;
  };

  // Makes level K + 1 from level K (K = 0: from the map).
  void MakeLevel(int K);
  // Pixels From .. To - 1 of map row Row as blue, green, red triples into Out.
  void MapRowToBgr(std::int32_t Row, std::int32_t From, std::int32_t To, std::uint8_t* Out) const;

  TBigBitmap& FMap;
  int FBits = 8;
  std::uint8_t FColors[256][3] = {};  // the colour table as blue, green, red
  std::vector<TLevel> FLevels;        // levels 1 .. MaxLevel
};
