#pragma once

// A generated stand-in for an automap folder: the twelve base maps of the normal map type under
// their real names and sizes, as 8-bit, 256-colour BMP files with land, water, roads and towns.
// The content is deterministic (fixed-seed value noise) and needs no outside data. Rows are
// stored unpadded, as the automap stores them, so a map whose width is not a multiple of 4 (the
// quarter Tokuno map, 362 pixels wide) is one that the size check reports.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/core/map_catalogue.h"
#include "platform/graphics.h"

// Width and height of the base map of a world at a zoom level: 6144 x 4096 (Felucca and
// Trammel), 2304 x 1600 (Ilshenar), 2560 x 2048 (Malas), 1448 x 1448 (Tokuno) at full size,
// halved and quartered at the two other levels.
void SampleMapSize(Facet F, MapScale S, std::int32_t& Width, std::int32_t& Height);

// The colour table every sample map carries: water blues, sand, land greens to browns, rock and
// snow, road and town colours.
const std::array<RGBQUAD, 256>& SamplePalette();

// The whole BMP file of one sample map: 14-byte file header, 40-byte info header, 256 colours,
// then the rows bottom-up, each exactly Width bytes long.
std::vector<std::uint8_t> BuildSampleMapFile(Facet F, MapScale S);

// The names of the twelve base maps in Folder, world by world and zoom by zoom.
std::vector<std::string> SampleMapNames(const std::string& Folder);

// Writes the base file of one map (normal map type) into Folder and returns its name. A failed
// write leaves no partial file, and a file of that name is never replaced: one that exists
// raises EFCreateError with its name, even when another process makes it meanwhile.
std::string WriteSampleMap(const std::string& Folder, Facet F, MapScale S);

// Writes all twelve base maps, in the order of SampleMapNames; returns the names written.
std::vector<std::string> WriteSampleMaps(const std::string& Folder);
