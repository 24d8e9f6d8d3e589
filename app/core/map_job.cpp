#include "app/core/map_job.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

#include "app/core/job_precheck.h"
#include "app/core/repair.h"
#include "bigbitmap/bigbitmap.h"
#include "platform/exceptions.h"
#include "platform/files.h"
#include "platform/os_machine.h"
#include "platform/streams.h"

namespace {

constexpr std::uint8_t White = 255;

// BlendChannel with white for every channel value.
struct TBlendTable {
  std::array<std::uint8_t, 256> Value{};
  TBlendTable() {
    for (int C = 0; C < 256; ++C)
      Value[static_cast<std::size_t>(C)] = BlendChannel(static_cast<std::uint8_t>(C), White);
  }
};
const TBlendTable& Blend() {
  static const TBlendTable Table;
  return Table;
}

// Whitens the grid pixels of one row of the working copy.
void GridRow(std::uint8_t* Row, std::int32_t Width, std::int32_t Y, int Step) {
  const std::array<std::uint8_t, 256>& Table = Blend().Value;
  if (Y % Step == 0) {
    const std::size_t N = std::size_t(Width) * 3;
    for (std::size_t I = 0; I < N; ++I) Row[I] = Table[Row[I]];
  } else {
    for (std::int32_t X = 0; X < Width; X += Step) {
      std::uint8_t* P = Row + std::size_t(X) * 3;
      P[0] = Table[P[0]];
      P[1] = Table[P[1]];
      P[2] = Table[P[2]];
    }
  }
}

// Saves the map under every target name. Each result is first written, flushed, to a temporary
// file beside its target; only when all are written does each target in turn get its backup and
// then, atomically, the new file. At no moment is a target missing: the backup is a second name
// of the old file, which keeps its own name until the new file replaces it. A failure before the
// first replace leaves every target as it was; one at the second target (Felucca and Trammel:
// another program holding it, say) leaves the first target new and the second old, and says so.
// No temporary is left either way, and what was renamed is flushed.
void SaveTargets(TBigBitmap& Map, const std::vector<std::string>& Targets) {
  std::vector<std::string> Temps;
  std::size_t Replaced = 0;
  try {
    for (const std::string& Target : Targets) {
      Temps.push_back(WriteTempBeside(Target, "save", Target,
                                      [&Map](TStream& Stream) { Map.SaveToStream(Stream); }));
    }
    for (; Replaced < Targets.size(); ++Replaced) {
      BackupFile(Targets[Replaced]);
      MoveFileReplacing(Temps[Replaced], Targets[Replaced]);
      Temps[Replaced].clear();
    }
  } catch (const std::exception& E) {
    for (const std::string& Temp : Temps) {
      if (!Temp.empty()) DeleteFile(Temp);
    }
    if (Replaced == 0) throw;
    FlushFolderOf(Targets.front());
    throw EMapJobError("MapJob: " + Targets[0] + " was saved, " + Targets[Replaced] +
                       " was not: " + E.what());
  }
  FlushFolderOf(Targets.front());
}

}  // namespace

int GridStep(MapScale S) {
  switch (S) {
    case msFull:
      return 8;
    case msHalf:
      return 4;
    case msQuarter:
      return 2;
    default:
      return 8;
  }
}

std::uint8_t BlendChannel(std::uint8_t C, std::uint8_t W) {
  return static_cast<std::uint8_t>((unsigned(C) * 6u + unsigned(W) * 4u) / 10u);
}

void (*BackupFileRaceHook)() = nullptr;

void BackupFile(const std::string& FileName) {
  const std::string Backup = ChangeFileExt(FileName, ".OLD");
  if (FileExists(Backup) || !FileExists(FileName)) return;
  if (BackupFileRaceHook != nullptr) BackupFileRaceHook();
  // Another process may have made the backup since the check: it is then kept, never replaced.
  KeepCopyNoReplace(FileName, Backup);
}

void MapJob(TJobHost& Host, Facet F, MapScale S) {
  const int Step = GridStep(S);
  const std::string Folder = Host.GetMapFolder();
  const std::string BaseName = GetBaseFileName(Folder, F, Host.GetBaseMapType(), S);
  const std::string Name = GetMapDisplayName(F, S);

  Host.ShowStatus(Name);
  Host.ShowStatus(Name + " : check bitmap");
  PrecheckMapJob(BaseName, OsPhysicalMemory());
  if (CheckBitmap(BaseName)) {
    Host.ShowStatus(Name + " : fixed illegal format");
    FixBitmap(BaseName);
  }

  auto Map = std::make_unique<TBigBitmap>();
  Host.ShowStatus(Name + " : loading");
  Map->LoadFromFile(BaseName);

  // From the reduction on, the map is finished whatever comes; the host hears when that ends.
  struct TFinishing {
    TJobHost& Host;
    bool Begun = false;
    void Begin() {
      Host.FinishingMap(true);
      Begun = true;
    }
    ~TFinishing() {
      if (Begun) Host.FinishingMap(false);
    }
  } Finishing{Host};
  {
    auto Work = std::make_unique<TBigBitmap>();
    Work->SetPixelFormat(bbpf24bit);
    Work->SetWidth(Map->GetWidth());
    Work->SetHeight(Map->GetHeight());
    Work->SetDrawMode(0);
    Work->Canvas()->Draw(0, 0, Map.get());

    const std::int32_t Width = Work->GetWidth();
    const std::int32_t Height = Work->GetHeight();
    const std::int64_t MapHeight = Map->GetHeight();
    const std::string Drawing = Name + " : drawing[";
    for (std::int32_t Y = 0; Y < Height; ++Y) {
      GridRow(static_cast<std::uint8_t*>(Work->GetScanline(Y)), Width, Y, Step);
      const std::int64_t Percent = (std::int64_t(Y) + 1) * 100 / MapHeight;
      Host.SetStatusText(Drawing + std::to_string(Percent) + "%]");
      Host.ProcessMessages();
      if (Host.GetCanceled() || Host.GetClosing()) return;
    }

    // Every pixel becomes the nearest entry of the map's own colour table; the table stays.
    Finishing.Begin();
    Host.ShowStatus(Name + " : 減色中");
    Map->Canvas()->Draw(0, 0, Work.get());
  }

  Host.ShowStatus(Name + " : saving");
  std::string MainName, SecondName;
  GetTrgFileNames(Folder, F, Host.GetTrgMapType(), S, MainName, SecondName);
  std::vector<std::string> Targets{MainName};
  if (!SecondName.empty()) Targets.push_back(SecondName);
  SaveTargets(*Map, Targets);
}

void MakeRun(TJobHost& Host) {
  Host.SetCanceled(false);
  bool Processed = false;
  Host.SetRunning(true);
  struct TIdleAgain {
    TJobHost& Host;
    ~TIdleAgain() { Host.SetRunning(false); }
  } IdleAgain{Host};
  Host.Repaint();

  std::optional<TFolderLock> Lock;
  for (Facet F = 0; F < FacetCount; ++F) {
    for (MapScale S = 0; S < MapScaleCount; ++S) {
      if (!(Host.MapBoxEnabled(F, S) && Host.MapBoxChecked(F, S))) continue;
      if (!Lock) {
        Lock.emplace(Host.GetMapFolder());
        if (Lock->Busy()) throw EMapJobError(SFolderBusy);
        if (Lock->State() == TOsLock::Unsupported) Host.ShowNotice(SFolderUnlocked);
        if (Lock->State() == TOsLock::LocalOnly) Host.ShowNotice(SFolderLockedLocally);
      }
      MapJob(Host, F, S);
      Processed = true;
      if (Host.GetCanceled()) {
        Host.SetStatusText(" 中止しました");
        return;
      }
      if (Host.GetClosing()) return;
    }
  }
  if (Processed && !Host.GetCanceled() && !Host.GetClosing()) Host.SetStatusText(" 完了しました");
}
