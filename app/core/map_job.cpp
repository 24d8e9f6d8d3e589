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

constexpr std::uint8_t kWhite = 255;

// BlendChannel with white for every channel value.
struct TBlendTable {
  std::array<std::uint8_t, 256> Value{};
  TBlendTable() {
    for (int c = 0; c < 256; ++c)
      Value[static_cast<std::size_t>(c)] = BlendChannel(static_cast<std::uint8_t>(c), kWhite);
  }
};
const TBlendTable& Blend() {
  static const TBlendTable table;
  return table;
}

// Whitens the grid pixels of one row of the working copy.
void GridRow(std::uint8_t* Row, std::int32_t Width, std::int32_t y, int Step) {
  const std::array<std::uint8_t, 256>& blend = Blend().Value;
  if (y % Step == 0) {
    const std::size_t n = std::size_t(Width) * 3;
    for (std::size_t i = 0; i < n; ++i) Row[i] = blend[Row[i]];
  } else {
    for (std::int32_t x = 0; x < Width; x += Step) {
      std::uint8_t* p = Row + std::size_t(x) * 3;
      p[0] = blend[p[0]];
      p[1] = blend[p[1]];
      p[2] = blend[p[2]];
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
  std::vector<std::string> temps;
  std::size_t replaced = 0;
  try {
    for (const std::string& target : Targets) {
      temps.push_back(WriteTempBeside(target, "save", target,
                                      [&Map](TStream& Stream) { Map.SaveToStream(Stream); }));
    }
    for (; replaced < Targets.size(); ++replaced) {
      BackupFile(Targets[replaced]);
      MoveFileReplacing(temps[replaced], Targets[replaced]);
      temps[replaced].clear();
    }
  } catch (const std::exception& e) {
    for (const std::string& temp : temps) {
      if (!temp.empty()) DeleteFile(temp);
    }
    if (replaced == 0) throw;
    FlushFolderOf(Targets.front());
    throw EMapJobError("MapJob: " + Targets[0] + " was saved, " + Targets[replaced] +
                       " was not: " + e.what());
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

std::uint8_t BlendChannel(std::uint8_t c, std::uint8_t w) {
  return static_cast<std::uint8_t>((unsigned(c) * 6u + unsigned(w) * 4u) / 10u);
}

void (*BackupFileRaceHook)() = nullptr;

void BackupFile(const std::string& FileName) {
  const std::string backup = ChangeFileExt(FileName, ".OLD");
  if (FileExists(backup) || !FileExists(FileName)) return;
  if (BackupFileRaceHook != nullptr) BackupFileRaceHook();
  // Another process may have made the backup since the check: it is then kept, never replaced.
  KeepCopyNoReplace(FileName, backup);
}

void MapJob(TJobHost& Host, Facet F, MapScale S) {
  const int step = GridStep(S);
  const std::string folder = Host.GetMapFolder();
  const std::string baseName = GetBaseFileName(folder, F, Host.GetBaseMapType(), S);
  const std::string name = GetMapDisplayName(F, S);

  Host.ShowStatus(name);
  Host.ShowStatus(name + " : check bitmap");
  PrecheckMapJob(baseName, OsPhysicalMemory());
  if (CheckBitmap(baseName)) {
    Host.ShowStatus(name + " : fixed illegal format");
    FixBitmap(baseName);
  }

  auto map = std::make_unique<TBigBitmap>();
  Host.ShowStatus(name + " : loading");
  map->LoadFromFile(baseName);

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
  } finishing{Host};
  {
    auto work = std::make_unique<TBigBitmap>();
    work->SetPixelFormat(bbpf24bit);
    work->SetWidth(map->GetWidth());
    work->SetHeight(map->GetHeight());
    work->SetDrawMode(0);
    work->Canvas()->Draw(0, 0, map.get());

    const std::int32_t width = work->GetWidth();
    const std::int32_t height = work->GetHeight();
    const std::int64_t mapHeight = map->GetHeight();
    const std::string drawing = name + " : drawing[";
    for (std::int32_t y = 0; y < height; ++y) {
      GridRow(static_cast<std::uint8_t*>(work->GetScanline(y)), width, y, step);
      const std::int64_t percent = (std::int64_t(y) + 1) * 100 / mapHeight;
      Host.SetStatusText(drawing + std::to_string(percent) + "%]");
      Host.ProcessMessages();
      if (Host.GetCanceled() || Host.GetClosing()) return;
    }

    // Every pixel becomes the nearest entry of the map's own colour table; the table stays.
    finishing.Begin();
    Host.ShowStatus(name + " : 減色中");
    map->Canvas()->Draw(0, 0, work.get());
  }

  Host.ShowStatus(name + " : saving");
  std::string mainName, secondName;
  GetTrgFileNames(folder, F, Host.GetTrgMapType(), S, mainName, secondName);
  std::vector<std::string> targets{mainName};
  if (!secondName.empty()) targets.push_back(secondName);
  SaveTargets(*map, targets);
}

void MakeRun(TJobHost& Host) {
  Host.SetCanceled(false);
  bool processed = false;
  Host.SetRunning(true);
  struct TIdleAgain {
    TJobHost& Host;
    ~TIdleAgain() { Host.SetRunning(false); }
  } idleAgain{Host};
  Host.Repaint();

  std::optional<TFolderLock> lock;
  for (Facet f = 0; f < FacetCount; ++f) {
    for (MapScale s = 0; s < MapScaleCount; ++s) {
      if (!(Host.MapBoxEnabled(f, s) && Host.MapBoxChecked(f, s))) continue;
      if (!lock) {
        lock.emplace(Host.GetMapFolder());
        if (lock->Busy()) throw EMapJobError(SFolderBusy);
        if (lock->State() == TOsLock::Unsupported) Host.ShowNotice(SFolderUnlocked);
        if (lock->State() == TOsLock::LocalOnly) Host.ShowNotice(SFolderLockedLocally);
      }
      MapJob(Host, f, s);
      processed = true;
      if (Host.GetCanceled()) {
        Host.SetStatusText(" 中止しました");
        return;
      }
      if (Host.GetClosing()) return;
    }
  }
  if (processed && !Host.GetCanceled() && !Host.GetClosing()) Host.SetStatusText(" 完了しました");
}
