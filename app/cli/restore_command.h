#pragma once

// veldrin-grid --restore: every chosen map gets its targets back from their .OLD backups.

#include <string>
#include <vector>

#include "app/core/map_catalogue.h"

struct TRestoreChoice {
  Facet F;
  MapScale S;
  const char* Code;  // as given with -m
  bool Named;        // named with -m (not only taken by "all")
};

// Restores the maps in the order given (with DryRun: prints what would be renamed, changing
// nothing). With Maps empty, reports that there is nothing to restore. A target without a backup
// is reported and skipped. Returns the exit status: 0 done, 1 a restore failed (nothing after
// it is tried), 2 a map named with -m had no backup at all.
int RunRestore(const std::string& Folder, MapType Target, const std::vector<TRestoreChoice>& Maps,
               bool DryRun, bool Quiet);
