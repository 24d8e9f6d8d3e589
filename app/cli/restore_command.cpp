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
    return ExitDone;
  }
  int Status = ExitDone;
  for (const TRestoreChoice& M : Maps) {
    const std::string Name = GetMapDisplayName(M.F, M.S);
    if (M.Named && !HasBackup(Folder, M.F, Target, M.S)) Status = ExitUsage;
    if (DryRun) {
      WriteText(TOutStream::Out, Name + " [" + M.Code + "]\n");
      for (const TRestoreTarget& T : RestoreTargets(Folder, M.F, Target, M.S)) {
        if (FileExists(T.Backup)) {
          WriteText(TOutStream::Out, "  restore  " + T.Backup + " -> " + T.Target + "\n");
        } else {
          WriteText(TOutStream::Out,
                    "  no backup " + T.Backup + " (" + T.Target + " left as it is)\n");
        }
      }
      continue;
    }
    const std::size_t Targets = RestoreTargets(Folder, M.F, Target, M.S).size();
    std::vector<std::string> Skipped;
    try {
      Skipped = RestoreMap(Folder, M.F, Target, M.S);
    } catch (const std::exception& E) {
      Error(E.what());
      return ExitFailed;
    }
    for (const std::string& Left : Skipped) {
      Error(std::string("no backup for ") + M.Code + ": " + ChangeFileExt(Left, ".OLD") + " (" +
            Left + " left as it is)");
    }
    if (!Quiet && Skipped.size() < Targets) {
      WriteText(TOutStream::Err, Name + RestoredText + "\n");
    }
  }
  return Status;
}
