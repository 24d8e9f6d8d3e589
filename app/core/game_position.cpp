#include "app/core/game_position.h"

#include "app/core/place_text.h"
#include "app/core/sextant.h"
#include "platform/exceptions.h"
#include "platform/files.h"
#include "platform/os_files.h"

namespace {

// The tiles of a block along each side.
constexpr std::int32_t BlockTiles = 8;

// Where paths are written with "\", "/" and a drive letter's ":" end a folder too.
bool IsFolderEnd(char C) {
  return C == PathDelim || (PathDelim == '\\' && (C == '/' || C == ':'));
}

std::string NamePart(const std::string& Path) {
  std::size_t Start = Path.size();
  while (Start > 0 && !IsFolderEnd(Path[Start - 1])) --Start;
  return Path.substr(Start);
}

std::string Upper(std::string Text) {
  for (char& C : Text)
    if (C >= 'a' && C <= 'z') C = static_cast<char>(C - 'a' + 'A');
  return Text;
}

// Whether Name (in upper case) is File's name part, or that of its ".OLD" backup.
bool NamesMap(const std::string& Name, const std::string& File) {
  const std::string Part = Upper(NamePart(File));
  return !Part.empty() && (Name == Part || Name == ChangeFileExt(Part, ".OLD"));
}

bool NamesMapOf(const std::string& Name, Facet F, MapScale S) {
  for (MapType T = 0; T < MapTypeCount; ++T) {
    std::string Main, Second;
    GetTrgFileNames(".", F, T, S, Main, Second);
    if (NamesMap(Name, GetBaseFileName(".", F, T, S)) || NamesMap(Name, Main) ||
        NamesMap(Name, Second))
      return true;
  }
  return false;
}

std::string PairText(std::int64_t X, std::int64_t Y) {
  return std::to_string(X) + ", " + std::to_string(Y);
}

}  // namespace

std::optional<TMapIdentity> MapIdentityOfFile(const std::string& FileName) {
  const std::string Name = Upper(NamePart(FileName));
  for (Facet F = 0; F < FacetCount; ++F)
    for (MapScale S = 0; S < MapScaleCount; ++S)
      if (NamesMapOf(Name, F, S)) return TMapIdentity{F, S};
  return std::nullopt;
}

std::int32_t TilesPerPixel(MapScale S) {
  if (S >= MapScaleCount) throw ERangeError();
  return std::int32_t{1} << S;
}

TMapPlaces::TMapPlaces(const std::string& FileName, std::int32_t Width, std::int32_t Height)
    : FIdentity(MapIdentityOfFile(FileName)),
      FPixelTiles(FIdentity ? TilesPerPixel(FIdentity->Scale) : 1),
      FWidth(Width),
      FHeight(Height) {}

std::string TMapPlaces::PositionText(TPoint Pixel) const {
  if (Pixel.X < 0 || Pixel.Y < 0 || Pixel.X >= FWidth || Pixel.Y >= FHeight) return {};
  if (!FIdentity) return "ピクセル " + PairText(Pixel.X, Pixel.Y);
  const TPoint Tile{Pixel.X * FPixelTiles, Pixel.Y * FPixelTiles};
  std::string Text = "タイル " + PairText(Tile.X, Tile.Y) + " - ブロック " +
                     PairText(Tile.X / BlockTiles, Tile.Y / BlockTiles);
  if (const auto Reading = SextantOfTile(FIdentity->World, Tile))
    Text += " - " + SextantText(*Reading);
  return Text;
}

// "tiles 0, 0 to 6143, 4095" (or pixels), for the messages about places outside the map.
std::string TMapPlaces::TileRange() const {
  return (FIdentity ? "tiles 0, 0 to " : "pixels 0, 0 to ") +
         PairText(std::int64_t{FWidth} * FPixelTiles - 1, std::int64_t{FHeight} * FPixelTiles - 1);
}

TPoint TMapPlaces::FindPlace(const std::string& Text) const {
  const TTypedPlace Place = ParsePlace(Text);
  if (Place.IsSextant && !FIdentity)
    throw EPlaceError(
        "FindPlace: This file's name does not say which world it shows; type a "
        "pixel position such as 100, 200");
  const TPoint Tile = Place.IsSextant ? TileOfSextant(FIdentity->World, Place.Reading) : Place.Tile;
  const TPoint Pixel{Tile.X / FPixelTiles, Tile.Y / FPixelTiles};
  if (Pixel.X < FWidth && Pixel.Y < FHeight) return Pixel;
  const std::string Where =
      Place.IsSextant ? SextantText(Place.Reading) + " (tile " + PairText(Tile.X, Tile.Y) + ")"
                      : (FIdentity ? "Tile " : "Pixel ") + PairText(Tile.X, Tile.Y);
  throw EPlaceError("FindPlace: " + Where + " lies outside this map (" + TileRange() + ")");
}
