#include "app/core/sextant.h"

#include <algorithm>
#include <iterator>

#include "platform/exceptions.h"

namespace {

// The sextant's chart in tiles, taken as 360 degrees, and the minutes of those 360 degrees.
constexpr std::int64_t ChartWidth = 5120;
constexpr std::int64_t ChartHeight = 4096;
constexpr std::int64_t MinutesAround = 360 * 60;
constexpr std::int64_t MinutesToHalfway = MinutesAround / 2;

struct TSextantArea {
  Facet World;
  TRect Tiles;       // right and bottom exclusive
  TPoint Reference;  // the tile that reads 0°0'S 0°0'E
};

// Felucca and Trammel: the main land, 5120 x 4096 tiles, measured from the throne of the castle
// in Britain at 1323, 1624, and the lost lands in the south-east, measured from 5936, 3112; the
// dungeons in the north-east have no reading. The other worlds are measured from 1323, 1624 all
// over (every one is smaller than the chart). A world's first area is where readings lead.
constexpr TSextantArea Areas[] = {
    {fcFeluccaTrammel, {0, 0, 5120, 4096}, {1323, 1624}},
    {fcFeluccaTrammel, {5120, 2304, 6144, 4096}, {5936, 3112}},
    {fcIlshenar, {0, 0, 5120, 4096}, {1323, 1624}},
    {fcMalas, {0, 0, 5120, 4096}, {1323, 1624}},
    {fcTokuno, {0, 0, 5120, 4096}, {1323, 1624}},
};

void CheckWorld(Facet World) {
  if (World >= FacetCount) throw ERangeError();
}

const TSextantArea& FirstArea(Facet World) {
  CheckWorld(World);
  return *std::find_if(std::begin(Areas), std::end(Areas),
                       [World](const TSextantArea& Area) { return Area.World == World; });
}

bool Inside(const TRect& R, TPoint P) {
  return P.X >= R.Left && P.X < R.Right && P.Y >= R.Top && P.Y < R.Bottom;
}

// One axis of a reading: whole minutes (truncated) and the side, true for east or south.
struct TAxisReading {
  std::int64_t Minutes;
  bool Positive;
};

// From the tile difference to the reference, which past half the chart counts from the other
// side.
TAxisReading AxisReading(std::int64_t Delta, std::int64_t Extent) {
  if (2 * Delta > Extent) Delta -= Extent;
  const std::int64_t Magnitude = Delta < 0 ? -Delta : Delta;
  return {Magnitude * MinutesAround / Extent, Delta >= 0};
}

// Back to a tile difference: n tiles from the reference read n * MinutesAround / Extent minutes,
// rounded down. The first n that reads at least Minutes reads exactly that if any n does;
// otherwise it or the n before it reads nearest.
std::int64_t AxisDelta(const TAxisReading& Reading, std::int64_t Extent) {
  const std::int64_t Above = (Reading.Minutes * Extent + MinutesAround - 1) / MinutesAround;
  const std::int64_t Below = Reading.Minutes * Extent / MinutesAround;
  const std::int64_t OverBy = Above * MinutesAround / Extent - Reading.Minutes;
  const std::int64_t UnderBy = Reading.Minutes - Below * MinutesAround / Extent;
  const std::int64_t Tiles = OverBy <= UnderBy ? Above : Below;
  return Reading.Positive ? Tiles : -Tiles;
}

// A reading's axis in minutes from the reference, checked.
std::int64_t AxisMinutes(std::int32_t Degrees, std::int32_t Minutes) {
  const std::int64_t Total = std::int64_t{Degrees} * 60 + Minutes;
  if (Degrees < 0 || Minutes < 0 || Minutes > 59 || Total > MinutesToHalfway) throw ERangeError();
  return Total;
}

std::int32_t OnChart(std::int64_t Tile, std::int64_t Extent) {
  return static_cast<std::int32_t>((Tile % Extent + Extent) % Extent);
}

}  // namespace

std::optional<TSextant> SextantOfTile(Facet World, TPoint Tile) {
  CheckWorld(World);
  for (const TSextantArea& Area : Areas) {
    if (Area.World != World || !Inside(Area.Tiles, Tile)) continue;
    const TAxisReading Long = AxisReading(Tile.X - Area.Reference.X, ChartWidth);
    const TAxisReading Lat = AxisReading(Tile.Y - Area.Reference.Y, ChartHeight);
    return TSextant{static_cast<std::int32_t>(Lat.Minutes / 60),
                    static_cast<std::int32_t>(Lat.Minutes % 60),
                    Lat.Positive,
                    static_cast<std::int32_t>(Long.Minutes / 60),
                    static_cast<std::int32_t>(Long.Minutes % 60),
                    Long.Positive};
  }
  return std::nullopt;
}

TPoint TileOfSextant(Facet World, const TSextant& Reading) {
  const TSextantArea& Area = FirstArea(World);
  const TAxisReading Long{AxisMinutes(Reading.LongDegrees, Reading.LongMinutes), Reading.East};
  const TAxisReading Lat{AxisMinutes(Reading.LatDegrees, Reading.LatMinutes), Reading.South};
  return TPoint{OnChart(Area.Reference.X + AxisDelta(Long, ChartWidth), ChartWidth),
                OnChart(Area.Reference.Y + AxisDelta(Lat, ChartHeight), ChartHeight)};
}

std::string SextantText(const TSextant& Reading) {
  return std::to_string(Reading.LatDegrees) + "°" + std::to_string(Reading.LatMinutes) + "'" +
         (Reading.South ? "S " : "N ") + std::to_string(Reading.LongDegrees) + "°" +
         std::to_string(Reading.LongMinutes) + "'" + (Reading.East ? "E" : "W");
}
