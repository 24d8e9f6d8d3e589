#include "app/core/restore.h"

#include "platform/exceptions.h"
#include "platform/files.h"

std::vector<TRestoreTarget> RestoreTargets(const std::string& MapFolder, Facet F, MapType T,
                                           MapScale S) {
  std::string MainName, SecondName;
  GetTrgFileNames(MapFolder, F, T, S, MainName, SecondName);
  std::vector<TRestoreTarget> Targets;
  for (const std::string& Name : {MainName, SecondName}) {
    if (!Name.empty()) Targets.push_back({Name, ChangeFileExt(Name, ".OLD")});
  }
  return Targets;
}

bool HasBackup(const std::string& MapFolder, Facet F, MapType T, MapScale S) {
  for (const TRestoreTarget& Pair : RestoreTargets(MapFolder, F, T, S)) {
    if (FileExists(Pair.Backup)) return true;
  }
  return false;
}

std::vector<std::string> RestoreMap(const std::string& MapFolder, Facet F, MapType T, MapScale S) {
  const TFolderLock Lock(MapFolder);
  if (Lock.Busy()) throw ERestoreError(SRestoreFolderBusy);
  std::vector<std::string> Skipped;
  for (const TRestoreTarget& Pair : RestoreTargets(MapFolder, F, T, S)) {
    if (!FileExists(Pair.Backup)) {
      Skipped.push_back(Pair.Target);
      continue;
    }
    // Also when a save that failed after making the backup left it as a second name of the
    // unchanged target: the replace then only drops the spare name.
    MoveFileReplacing(Pair.Backup, Pair.Target);
    FlushFolderOf(Pair.Target);
  }
  return Skipped;
}
