#pragma once

// The grid map job: one run over the ticked maps, and the job for one map.

#include <cstdint>
#include <string>

#include "app/core/job_host.h"
#include "app/core/map_catalogue.h"

// Grid spacing in pixels: 8, 4, 2 for full, half and quarter size (8 for anything else).
int GridStep(MapScale S);
// (c * 6 + w * 4) div 10: 60 % of the channel and 40 % of w.
std::uint8_t BlendChannel(std::uint8_t c, std::uint8_t w);
// Renames FileName to its ".OLD" name unless a file of that name exists already.
void BackupFile(const std::string& FileName);

// One map: check and repair, load, grid, reduce, back up and save.
void MapJob(TJobHost& Host, Facet F, MapScale S);
// One run over every enabled and ticked map, world by world and zoom by zoom (the Make action).
void MakeRun(TJobHost& Host);
