#pragma once

// The maps the tool knows: worlds (Facet), renderings (MapType) and zoom levels (MapScale),
// the tables that turn them into file-name pieces, and the file-name rules.

#include <cstdint>
#include <string>

using Facet = std::uint8_t;
inline constexpr Facet fcFeluccaTrammel = 0;
inline constexpr Facet fcIlshenar = 1;
inline constexpr Facet fcMalas = 2;
inline constexpr Facet fcTokuno = 3;
inline constexpr int FacetCount = 4;

using MapType = std::uint8_t;
inline constexpr MapType mtNormal = 0;
inline constexpr MapType mtNoStatics = 1;
inline constexpr MapType mtXRay = 2;
inline constexpr int MapTypeCount = 3;

using MapScale = std::uint8_t;
inline constexpr MapScale msFull = 0;
inline constexpr MapScale msHalf = 1;
inline constexpr MapScale msQuarter = 2;
inline constexpr int MapScaleCount = 3;

extern const char* const BaseMapKeys[FacetCount];
extern const char* const TrgMapKeys[5];
extern const std::uint8_t TrgMapKeyIndex[FacetCount];
extern const char* const MapTypeSuffixes[MapTypeCount];
extern const char* const MapScaleSuffixes[MapScaleCount];
extern const char* const FacetDisplayTexts[FacetCount];  // " ﾌｪﾙｯｶ & ﾄﾗﾒﾙ " ...
extern const char* const MapScaleTexts[MapScaleCount];   // "等倍", "1/2", "1/4"
extern const char* const MapTypeItems[MapTypeCount];     // the combo box items

// MapFolder + "/MAP" + base key + "-" + type suffix + scale suffix + ".BMP"; "" for an empty folder.
// The file-name functions raise ERangeError for an index outside the tables.
std::string GetBaseFileName(const std::string& MapFolder, Facet F, MapType T, MapScale S);
// Main and second target names; the second only for Felucca and Trammel. Both "" for an
// empty folder.
void GetTrgFileNames(const std::string& MapFolder, Facet F, MapType T, MapScale S,
                     std::string& MainName, std::string& SecondName);
// Display text of the world followed by the scale text; indices outside the tables add nothing.
std::string GetMapDisplayName(Facet F, MapScale S);

// The combo boxes' item index (-1: no item selected) to a MapType.
MapType BaseMapTypeFromItemIndex(int ItemIndex);  // 1 -> 1, 2 -> 2, else 0
MapType TrgMapTypeFromItemIndex(int ItemIndex);   // 0 -> 0, 1 -> 1, else 2

// The default folder for a program at ExePath: its folder without a trailing separator, except
// a root, which keeps it ("/opt/tools/veldrin" -> "/opt/tools", "/veldrin" -> "/"; on Windows
// "C:\Tools\veldrin.exe" -> "C:\Tools", "C:\veldrin.exe" and "C:veldrin.exe" -> "C:\").
std::string DefaultMapFolder(const std::string& ExePath);
// The same for the running program.
std::string DefaultMapFolder();
