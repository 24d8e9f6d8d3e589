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

std::vector<std::string> RestoreMap(const std::string& MapFolder, Facet F, MapType T,
                                    MapScale S) {
  std::vector<std::string> skipped;
  for (const TRestoreTarget& t : RestoreTargets(MapFolder, F, T, S)) {
    if (!FileExists(t.Backup)) {
      skipped.push_back(t.Target);
      continue;
    }
    if (!OsReplaceFile(t.Backup, t.Target)) throw EFCreateError(t.Target);
    // A save that failed after the backup was made leaves the backup as a second name of the
    // unchanged target; renaming one name of a file onto another does nothing, so the spare
    // name goes now (the file keeps its target name).
    if (FileExists(t.Backup)) DeleteFile(t.Backup);
    FlushFolderOf(t.Target);
  }
  return skipped;
}
