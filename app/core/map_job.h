#pragma once

// The grid map job: one run over the ticked maps, and the job for one map.

#include <cstdint>
#include <string>

#include "app/core/job_host.h"
#include "app/core/map_catalogue.h"
#include "platform/exceptions.h"

// Errors of the run and the map job themselves (the steps they call raise their own).
class EMapJobError : public Exception {
 public:
  using Exception::Exception;
};

// Raised when another run holds the map folder.
inline constexpr const char* SFolderBusy =
    "MakeRun: Another run is working on this folder; try again when it has finished";

// Shown when the run starts on a folder that cannot carry the lock (it then runs unlocked), or
// whose lock other machines do not see. Short enough for the window's status bar.
inline constexpr const char* SFolderUnlocked = " Folder cannot be locked: start no other run on it";
inline constexpr const char* SFolderLockedLocally =
    " Network folder: not locked against other machines";

// Grid spacing in pixels: 8, 4, 2 for full, half and quarter size (8 for anything else).
int GridStep(MapScale S);
// (c * 6 + w * 4) div 10: 60 % of the channel and 40 % of w.
std::uint8_t BlendChannel(std::uint8_t C, std::uint8_t W);
// Gives FileName its ".OLD" name as well, unless a file of that name exists already; the file
// keeps its own name until a save replaces it. An existing backup is never replaced, even by a
// process that made it after this one looked. A missing FileName is no error; a backup that
// cannot be made raises EFCreateError, so that the save that follows never loses the original.
void BackupFile(const std::string& FileName);
// Called, when set, between BackupFile's look for an existing backup and the making of one;
// the programs never set it. Tests use it to make two processes interleave exactly there.
extern void (*BackupFileRaceHook)();

// One map: check and repair, load, grid, reduce, back up and save.
void MapJob(TJobHost& Host, Facet F, MapScale S);
// One run over every enabled and ticked map, world by world and zoom by zoom (the Make action).
// From its first job on, the run holds the folder's lock: a run that finds the folder locked by
// another raises EMapJobError(SFolderBusy) before anything changes. A folder without a lock, or
// with one that only this machine sees, is worked on after a status text that says so.
void MakeRun(TJobHost& Host);
