#pragma once

// Taking a map back: every target file of a map gets its ".OLD" backup back under its own name,
// so that the folder is as it was before the first run wrote the target.

#include <string>
#include <vector>

#include "app/core/map_catalogue.h"
#include "platform/exceptions.h"

class ERestoreError : public Exception {
 public:
  using Exception::Exception;
};

// Raised when a run holds the map folder.
inline constexpr const char* SRestoreFolderBusy =
    "RestoreMap: A run is working on this folder; try again when it has finished";

// The status text after a restore follows the map's display name.
inline constexpr const char* RestoredText = " : 復元しました";

struct TRestoreTarget {
  std::string Target;  // a target file name
  std::string Backup;  // its ".OLD" name
};

// The target files of a map, main name first (Felucca and Trammel: then the second name), each
// with its backup name. Empty for an empty folder.
std::vector<TRestoreTarget> RestoreTargets(const std::string& MapFolder, Facet F, MapType T,
                                           MapScale S);
// Whether a backup of at least one target of the map exists.
bool HasBackup(const std::string& MapFolder, Facet F, MapType T, MapScale S);

// Renames the backup of every target of the map to the target's name, replacing the file there
// in one step; the backup is used up, so the next run makes a new one. Targets without a backup
// are skipped and returned. A rename that fails raises EFCreateError (EFReplaceError saying why
// where the system tells) with the target's name and leaves that target and its backup as they
// were; targets restored before it stay restored.
// The folder's lock is held meanwhile: when a run holds it, ERestoreError(SRestoreFolderBusy)
// is raised before anything changes.
std::vector<std::string> RestoreMap(const std::string& MapFolder, Facet F, MapType T, MapScale S);
