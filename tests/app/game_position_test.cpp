#include "app/core/game_position.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "app/core/place_text.h"
#include "app/core/sextant.h"
#include "support/os_test.h"

namespace {

using testsupport::Native;

std::string ReadingAt(Facet World, std::int32_t X, std::int32_t Y) {
  const auto Reading = SextantOfTile(World, TPoint{X, Y});
  return Reading ? SextantText(*Reading) : "none";
}

// The chart is 5120 x 4096 tiles for 360 degrees: a tile is 21600 / 5120 = 4.21875 minutes of
// longitude and 21600 / 4096 = 5.2734375 of latitude, truncated. The reference is 1323, 1624 (in
// the lost lands 5936, 3112); past half the chart a difference counts from the other side.
TEST(Sextant, ReadingsFollowTheRule) {
  struct TRow {
    Facet World;
    std::int32_t X, Y;
    const char* Reading;
  } Rows[] = {
      {fcFeluccaTrammel, 1323, 1624, "0°0'S 0°0'E"},
      {fcFeluccaTrammel, 1324, 1625, "0°5'S 0°4'E"},  // one tile: 4.2', 5.3'
      {fcFeluccaTrammel, 1322, 1623, "0°5'N 0°4'W"},
      {fcFeluccaTrammel, 2603, 2648, "90°0'S 90°0'E"},  // a quarter: +1280, +1024
      {fcFeluccaTrammel, 43, 600, "90°0'N 90°0'W"},
      {fcFeluccaTrammel, 3883, 3672, "180°0'S 180°0'E"},    // half: +2560, +2048
      {fcFeluccaTrammel, 3884, 3673, "179°54'N 179°55'W"},  // -2559: 10795.8', -2047: 10794.7'
      {fcFeluccaTrammel, 0, 0, "142°44'N 93°1'W"},          // -1323: 5581.4', -1624: 8564.1'
      {fcFeluccaTrammel, 5119, 4095, "142°49'N 93°5'W"},    // -1324: 5585.6', -1625: 8569.3'
      {fcFeluccaTrammel, 5936, 3112, "0°0'S 0°0'E"},
      {fcFeluccaTrammel, 5120, 2304, "71°0'N 57°22'W"},   // -816: 3442.5', -808: 4260.9'
      {fcFeluccaTrammel, 6143, 4095, "86°23'S 14°33'E"},  // +207: 873.3', +983: 5183.8'
      {fcFeluccaTrammel, 5120, 2303, "none"},             // the dungeons
      {fcFeluccaTrammel, 6143, 0, "none"},
      {fcFeluccaTrammel, 6144, 4000, "none"},
      {fcFeluccaTrammel, -1, 5, "none"},
      {fcIlshenar, 0, 0, "142°44'N 93°1'W"},
      {fcIlshenar, 2303, 1599, "2°11'N 68°54'E"},  // +980: 4134.4', -25: 131.8'
      {fcMalas, 2559, 2047, "37°10'S 86°54'E"},    // +1236: 5214.4', +423: 2230.7'
      {fcTokuno, 1447, 1447, "15°33'N 8°43'E"},    // +124: 523.1', -177: 933.4'
  };
  for (const TRow& Row : Rows)
    EXPECT_EQ(ReadingAt(Row.World, Row.X, Row.Y), Row.Reading)
        << "world " << int{Row.World} << " at " << Row.X << ", " << Row.Y;
  EXPECT_THROW(SextantOfTile(FacetCount, TPoint{0, 0}), ERangeError);
}

TEST(Sextant, ReadingsLeadToTheTileThatReadsThemOrTheNearest) {
  struct TRow {
    TSextant Reading;
    std::int32_t X, Y;
  } Rows[] = {
      {{0, 0, true, 0, 0, true}, 1323, 1624},
      {{90, 0, true, 90, 0, true}, 2603, 2648},
      {{90, 0, false, 90, 0, false}, 43, 600},
      {{142, 49, false, 93, 5, false}, 5119, 4095},  // round past the chart's edge
      {{71, 0, false, 57, 22, false}, 507, 816},     // the main land, not the lost lands
      // 11°36'E is tile +165 (696.1'); 42°17'N no tile's: -481 reads 42°16', -482 42°21'.
      {{42, 17, false, 11, 36, true}, 1488, 1143},
  };
  for (const TRow& Row : Rows) {
    const TPoint Tile = TileOfSextant(fcFeluccaTrammel, Row.Reading);
    EXPECT_EQ(Tile.X, Row.X) << SextantText(Row.Reading);
    EXPECT_EQ(Tile.Y, Row.Y) << SextantText(Row.Reading);
  }
  EXPECT_THROW(TileOfSextant(fcMalas, {180, 1, true, 0, 0, true}), ERangeError);
}

// Going to any tile's reading finds a tile that reads the same, along every row and column.
TEST(Sextant, EveryReadingLeadsBackToItself) {
  const TPoint Ends[FacetCount] = {{6144, 4096}, {2304, 1600}, {2560, 2048}, {1448, 1448}};
  for (Facet World = 0; World < FacetCount; ++World)
    for (std::int32_t I = 0; I < std::max(Ends[World].X, Ends[World].Y); ++I)
      for (const TPoint Tile : {TPoint{I % Ends[World].X, 3000 % Ends[World].Y},
                                TPoint{1000 % Ends[World].X, I % Ends[World].Y}}) {
        const auto Reading = SextantOfTile(World, Tile);
        if (!Reading) continue;
        ASSERT_EQ(SextantOfTile(World, TileOfSextant(World, *Reading)), Reading)
            << "world " << int{World} << " at " << Tile.X << ", " << Tile.Y;
      }
}

TEST(MapNames, GiveTheWorldAndZoomOfEveryKindOfMapFile) {
  struct TRow {
    std::string Name;
    int World, Scale;  // -1: not a map
  } Rows[] = {
      {Native("/maps/MAP25166902-1.BMP"), fcFeluccaTrammel, msFull},
      {"MAP25166902-X2.BMP", fcFeluccaTrammel, msHalf},
      {"MAP3687478-NS4.BMP", fcIlshenar, msQuarter},
      {"map5243958-x1.bmp", fcMalas, msFull},
      {"MAP2097782-4.OLD", fcTokuno, msQuarter},
      {Native("/maps/MAP0-1.BMP"), fcFeluccaTrammel, msFull},
      {"MAP1-NS2.old", fcFeluccaTrammel, msHalf},
      {"MAP2-X4.BMP", fcIlshenar, msQuarter},
      {"MAP3-1.OLD", fcMalas, msFull},
      {"Map4-Ns2.Bmp", fcTokuno, msHalf},
      {"MAP5-1.BMP", -1, -1},
      {"MAP0-8.BMP", -1, -1},
      {"MAP0-Y1.BMP", -1, -1},
      {"MAP0-1.PNG", -1, -1},
      {"MAP0-1.BMP.OLD", -1, -1},
      {"MAP25166902-1_BAD_DATA.BMP", -1, -1},
      {"XMAP0-1.BMP", -1, -1},
      {Native("/MAP0-1.BMP/photo.bmp"), -1, -1},
      {"", -1, -1},
  };
  for (const TRow& Row : Rows) {
    const auto Identity = MapIdentityOfFile(Row.Name);
    EXPECT_EQ(Identity ? int{Identity->World} : -1, Row.World) << Row.Name;
    EXPECT_EQ(Identity ? int{Identity->Scale} : -1, Row.Scale) << Row.Name;
  }
}

TEST(MapPlaces, PositionLineNamesTileBlockAndReading) {
  const TMapPlaces Full("MAP0-1.BMP", 6144, 4096), Half("MAP25166902-2.BMP", 3072, 2048),
      Quarter("map0-x4.old", 1536, 1024), Photo("photo.bmp", 640, 480);
  EXPECT_EQ(Full.PositionText({1323, 1624}), "タイル 1323, 1624 - ブロック 165, 203 - 0°0'S 0°0'E");
  EXPECT_EQ(Full.PositionText({5500, 100}), "タイル 5500, 100 - ブロック 687, 12");
  EXPECT_EQ(Half.PositionText({661, 812}), "タイル 1322, 1624 - ブロック 165, 203 - 0°0'S 0°4'W");
  EXPECT_EQ(Quarter.PositionText({330, 406}),
            "タイル 1320, 1624 - ブロック 165, 203 - 0°0'S 0°12'W");  // -3: 12.7'
  EXPECT_EQ(
      Quarter.PositionText({1535, 1023}),
      "タイル 6140, 4092 - ブロック 767, 511 - 86°7'S 14°20'E");  // +204: 860.6', +980: 5168.0'
  EXPECT_EQ(Photo.PositionText({100, 200}), "ピクセル 100, 200");
  EXPECT_EQ(Photo.PositionText({640, 0}), "");
  EXPECT_EQ(Full.PositionText({-1, 0}), "");
}

TEST(MapPlaces, TypedPlacesInEveryFormLeadToTheirPixel) {
  const TMapPlaces Full("MAP0-1.BMP", 6144, 4096), Half("MAP1-2.BMP", 3072, 2048),
      Quarter("MAP25166902-4.BMP", 1536, 1024), Ilshenar("MAP2-X1.BMP", 2304, 1600),
      Photo("photo.bmp", 100, 50);
  struct TRow {
    const TMapPlaces& Map;
    const char* Text;
    std::int32_t X, Y;
  } Rows[] = {
      {Full, "1323, 1624", 1323, 1624},
      {Half, "1323,1624", 661, 812},
      {Quarter, " 1323 1624 ", 330, 406},
      {Full, "１３２３，　１６２４", 1323, 1624},
      {Full, "42°17'N 11°36'E", 1488, 1143},
      {Half, "42o17'N, 11o36'E", 744, 571},
      {Full, "42°17'N11°36'E", 1488, 1143},
      {Full, "42° 17'N, 11° 36'E", 1488, 1143},
      {Full, "42 17 n 11 36 e", 1488, 1143},
      {Full, "11O36'E 42O17'N", 1488, 1143},
      {Full, "42º17’N、11˚36′E", 1488, 1143},
      {Full, "４２°１７'Ｎ　１１°３６'Ｅ", 1488, 1143},
      {Full, "180°0'S 180°0'E", 3883, 3672},
      {Ilshenar, "2303, 1599", 2303, 1599},
      {Photo, "99, 49", 99, 49},
  };
  for (const TRow& Row : Rows) {
    const TPoint Pixel = Row.Map.FindPlace(Row.Text);
    EXPECT_EQ(Pixel.X, Row.X) << Row.Text;
    EXPECT_EQ(Pixel.Y, Row.Y) << Row.Text;
  }
}

std::string PlaceError(const TMapPlaces& Map, const std::string& Text) {
  try {
    Map.FindPlace(Text);
  } catch (const EPlaceError& E) {
    return E.Message();
  }
  return "no error";
}

TEST(MapPlaces, UnreadableTextAndPlacesOutsideTheMapAreRefused) {
  const TMapPlaces Full("MAP0-1.BMP", 6144, 4096), Ilshenar("MAP2-X1.BMP", 2304, 1600),
      Photo("photo.bmp", 100, 50);
  EXPECT_EQ(PlaceError(Full, "Britain"),
            "ParsePlace: Cannot read \"Britain\"; type tile coordinates such as 1323, 1624 or a "
            "sextant reading such as 42°17'N 11°36'E");
  for (const char* Text :
       {"", "1323", "1323, 1624, 5", "-5, 10", "1234567, 1", "42°17'N", "42°60'N 11°36'E",
        "181°0'N 0°0'E", "180°1'N 0°0'E", "42°17'N 11°36'N", "42°17'X 11°36'E", "4217'N 1136'E",
        "42°17'N 11°36'E x", "42\xc2 17 N 11 36 E", "\xc0\xb1, 5"})
    EXPECT_EQ(PlaceError(Full, Text).rfind("ParsePlace: Cannot read", 0), 0u) << Text;
  EXPECT_EQ(PlaceError(Ilshenar, "2304, 0"),
            "FindPlace: Tile 2304, 0 lies outside this map (tiles 0, 0 to 2303, 1599)");
  EXPECT_EQ(PlaceError(Ilshenar, "0°0'S 0°0'E"),
            "FindPlace: 0°0'S 0°0'E (tile 1323, 1624) lies outside this map (tiles 0, 0 to 2303, "
            "1599)");
  EXPECT_EQ(PlaceError(Photo, "100, 0"),
            "FindPlace: Pixel 100, 0 lies outside this map (pixels 0, 0 to 99, 49)");
  EXPECT_EQ(PlaceError(Photo, "0°0'S 0°0'E"),
            "FindPlace: This file's name does not say which world it shows; type a pixel position "
            "such as 100, 200");
}

}  // namespace
