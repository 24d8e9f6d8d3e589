#include "app/cli/restore_command.h"

#include <exception>

#include "app/cli/cli_os.h"
#include "app/cli/exit_status.h"
#include "app/core/restore.h"
#include "platform/files.h"

int RunRestore(const std::string& Folder, MapType Target, const std::vector<TRestoreChoice>& Maps,
               bool DryRun, bool Quiet) {
  if (Maps.empty()) {
    if (!Quiet) Error("no backup of that map type in " + Folder);
    return kExitDone;
  }
  int status = kExitDone;
  for (const TRestoreChoice& m : Maps) {
    const std::string name = GetMapDisplayName(m.F, m.S);
    if (m.Named && !HasBackup(Folder, m.F, Target, m.S)) status = kExitUsage;
    if (DryRun) {
      WriteText(TOutStream::Out, name + " [" + m.Code + "]\n");
      for (const TRestoreTarget& t : RestoreTargets(Folder, m.F, Target, m.S)) {
        if (FileExists(t.Backup)) {
          WriteText(TOutStream::Out, "  restore  " + t.Backup + " -> " + t.Target + "\n");
        } else {
          WriteText(TOutStream::Out,
                    "  no backup " + t.Backup + " (" + t.Target + " left as it is)\n");
        }
      }
      continue;
    }
    const std::size_t targets = RestoreTargets(Folder, m.F, Target, m.S).size();
    std::vector<std::string> skipped;
    try {
      skipped = RestoreMap(Folder, m.F, Target, m.S);
    } catch (const std::exception& e) {
      Error(e.what());
      return kExitFailed;
    }
    for (const std::string& target : skipped) {
      Error(std::string("no backup for ") + m.Code + ": " + ChangeFileExt(target, ".OLD") + " (" +
            target + " left as it is)");
    }
    if (!Quiet && skipped.size() < targets) {
      WriteText(TOutStream::Err, name + RestoredText + "\n");
    }
  }
  return status;
}
