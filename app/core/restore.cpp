#include "app/core/restore.h"

#include "platform/exceptions.h"
#include "platform/files.h"

std::vector<TRestoreTarget> RestoreTargets(const std::string& MapFolder, Facet F, MapType T,
                                           MapScale S) {
  std::string mainName, secondName;
  GetTrgFileNames(MapFolder, F, T, S, mainName, secondName);
  std::vector<TRestoreTarget> targets;
  for (const std::string& name : {mainName, secondName}) {
    if (!name.empty()) targets.push_back({name, ChangeFileExt(name, ".OLD")});
  }
  return targets;
}

bool HasBackup(const std::string& MapFolder, Facet F, MapType T, MapScale S) {
  for (const TRestoreTarget& t : RestoreTargets(MapFolder, F, T, S)) {
    if (FileExists(t.Backup)) return true;
  }
  return false;
}

std::vector<std::string> RestoreMap(const std::string& MapFolder, Facet F, MapType T, MapScale S) {
  const TFolderLock lock(MapFolder);
  if (lock.Busy()) throw ERestoreError(SRestoreFolderBusy);
  std::vector<std::string> skipped;
  for (const TRestoreTarget& t : RestoreTargets(MapFolder, F, T, S)) {
    if (!FileExists(t.Backup)) {
      skipped.push_back(t.Target);
      continue;
    }
    // Also when a save that failed after making the backup left it as a second name of the
    // unchanged target: the replace then only drops the spare name.
    MoveFileReplacing(t.Backup, t.Target);
    FlushFolderOf(t.Target);
  }
  return skipped;
}
