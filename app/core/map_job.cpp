#include "app/core/map_job.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "app/core/repair.h"
#include "bigbitmap/bigbitmap.h"
#include "platform/exceptions.h"
#include "platform/files.h"
#include "platform/streams.h"

namespace {

// Pixels are moved as little-endian words: blue in the low byte, red in the third.
static_assert(std::endian::native == std::endian::little);

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

// The colour table of a palette bitmap as 256 entries; entries past its end are black.
std::array<RGBQUAD, 256> ColourTableOf(const TBigBitmap& Bitmap) {
  std::array<RGBQUAD, 256> table{};
  const std::vector<RGBQUAD>& colours = Bitmap.Bitmaps().front()->ColorTable();
  std::copy_n(colours.begin(), std::min<std::size_t>(colours.size(), table.size()), table.begin());
  return table;
}

// Maps 24-bit colours to the nearest entry of a colour table: squared RGB distance, the lowest
// index on a tie (the rule of the platform's blits). A map's working copy holds at most twice
// as many colours as its table (each entry and its whitened form), so a small open-addressing
// cache in front of the search answers nearly every pixel.
class TNearestColour {
 public:
  explicit TNearestColour(const std::vector<RGBQUAD>& Table) : FTable(Table) { Clear(); }

  std::uint8_t Index(std::uint32_t Key) {
    std::uint32_t slot = (Key * 2654435761u) >> (32 - kBits);
    for (;;) {
      const std::uint32_t k = FKeys[slot];
      if (k == Key) return FValues[slot];
      if (k == kEmpty) break;
      slot = (slot + 1) & (kSlots - 1);
    }
    if (FUsed >= kSlots / 2) {
      Clear();
      return Index(Key);
    }
    const std::uint8_t value = Search(Key);
    FKeys[slot] = Key;
    FValues[slot] = value;
    ++FUsed;
    return value;
  }

 private:
  static constexpr int kBits = 12;
  static constexpr std::uint32_t kSlots = 1u << kBits;
  static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;  // never a 24-bit colour

  void Clear() {
    FKeys.fill(kEmpty);
    FUsed = 0;
  }

  std::uint8_t Search(std::uint32_t Key) const {
    const int b = static_cast<int>(Key & 0xFF);
    const int g = static_cast<int>((Key >> 8) & 0xFF);
    const int r = static_cast<int>(Key >> 16);
    int best = 0;
    int bestDistance = 1 << 30;
    for (std::size_t i = 0; i < FTable.size() && i < 256; ++i) {
      const int db = b - FTable[i].rgbBlue;
      const int dg = g - FTable[i].rgbGreen;
      const int dr = r - FTable[i].rgbRed;
      const int d = db * db + dg * dg + dr * dr;
      if (d < bestDistance) {
        bestDistance = d;
        best = static_cast<int>(i);
        if (d == 0) break;
      }
    }
    return static_cast<std::uint8_t>(best);
  }

  const std::vector<RGBQUAD>& FTable;
  std::array<std::uint32_t, kSlots> FKeys{};
  std::array<std::uint8_t, kSlots> FValues{};
  std::uint32_t FUsed = 0;
};

bool HasColourTable(const TBigBitmap& Map) {
  return !Map.Bitmaps().empty() && !Map.Bitmaps().front()->ColorTable().empty();
}

std::uint32_t PackColour(const RGBQUAD& c) {
  return std::uint32_t(c.rgbBlue) | std::uint32_t(c.rgbGreen) << 8 | std::uint32_t(c.rgbRed) << 16;
}

// Fills the 24-bit working copy with the map's pixels. 8-bit and 24-bit maps are copied row by
// row here, which gives what drawing through the canvas gives (an index becomes its table
// colour) without a blit per pair of bands; other depths go through the canvas.
void FillWorkingCopy(TBigBitmap& Map, TBigBitmap& Work) {
  const std::int32_t w = Map.GetWidth();
  const std::int32_t h = Map.GetHeight();
  if (Map.GetEmpty()) return;
  if (Map.GetPixelFormat() == bbpf8bit && HasColourTable(Map)) {
    const std::array<RGBQUAD, 256> table = ColourTableOf(Map);
    std::array<std::uint32_t, 256> packed{};
    for (std::size_t i = 0; i < 256; ++i) packed[i] = PackColour(table[i]);
    for (std::int32_t y = 0; y < h; ++y) {
      const auto* src = static_cast<const std::uint8_t*>(Map.GetScanline(y));
      auto* dst = static_cast<std::uint8_t*>(Work.GetScanline(y));
      // Four bytes a pixel, each store overlapping the next pixel; the last one exactly three.
      for (std::int32_t x = 0; x + 1 < w; ++x, dst += 3) std::memcpy(dst, &packed[src[x]], 4);
      const RGBQUAD& last = table[src[w - 1]];
      dst[0] = last.rgbBlue;
      dst[1] = last.rgbGreen;
      dst[2] = last.rgbRed;
    }
  } else if (Map.GetPixelFormat() == bbpf24bit) {
    for (std::int32_t y = 0; y < h; ++y)
      std::memcpy(Work.GetScanline(y), Map.GetScanline(y), std::size_t(w) * 3);
  } else {
    Work.Canvas()->Draw(0, 0, &Map);
  }
}

// Draws the working copy back into the map, each pixel becoming the nearest entry of the map's
// own colour table (which stays as it is). Row by row for 8-bit and 24-bit maps, through the
// canvas for the other depths. An 8-bit map still holds the indices the working copy was made
// from, so a working pixel is nearly always its index's colour or that colour whitened, whose
// nearest entries are worked out once per index; any other colour is looked up.
void ReduceIntoMap(TBigBitmap& Work, TBigBitmap& Map) {
  const std::int32_t w = Map.GetWidth();
  const std::int32_t h = Map.GetHeight();
  if (Map.GetEmpty()) return;
  if (Map.GetPixelFormat() == bbpf8bit && HasColourTable(Map)) {
    const std::array<RGBQUAD, 256> table = ColourTableOf(Map);
    TNearestColour nearest(Map.Bitmaps().front()->ColorTable());
    const std::array<std::uint8_t, 256>& blend = Blend().Value;
    std::array<std::uint32_t, 256> plainColour{}, blendColour{};
    std::array<std::uint8_t, 256> plainIndex{}, blendIndex{};
    for (std::size_t i = 0; i < 256; ++i) {
      const RGBQUAD& c = table[i];
      plainColour[i] = PackColour(c);
      blendColour[i] = PackColour(RGBQUAD{blend[c.rgbBlue], blend[c.rgbGreen], blend[c.rgbRed], 0});
      plainIndex[i] = nearest.Index(plainColour[i]);
      blendIndex[i] = nearest.Index(blendColour[i]);
    }
    for (std::int32_t y = 0; y < h; ++y) {
      const auto* src = static_cast<const std::uint8_t*>(Work.GetScanline(y));
      auto* dst = static_cast<std::uint8_t*>(Map.GetScanline(y));
      auto reduce = [&](std::int32_t x, std::uint32_t key) {
        const std::uint8_t index = dst[x];
        const bool plain = key == plainColour[index];
        const std::uint8_t guess = plain ? plainIndex[index] : blendIndex[index];
        dst[x] = plain || key == blendColour[index] ? guess : nearest.Index(key);
      };
      // Four-byte loads for all but the last pixel, which may end the row's memory.
      for (std::int32_t x = 0; x + 1 < w; ++x, src += 3) {
        std::uint32_t word;
        std::memcpy(&word, src, 4);
        reduce(x, word & 0xFFFFFFu);
      }
      reduce(w - 1,
             std::uint32_t(src[0]) | std::uint32_t(src[1]) << 8 | std::uint32_t(src[2]) << 16);
    }
    Map.SetModified(true);
  } else if (Map.GetPixelFormat() == bbpf24bit) {
    for (std::int32_t y = 0; y < h; ++y)
      std::memcpy(Map.GetScanline(y), Work.GetScanline(y), std::size_t(w) * 3);
    Map.SetModified(true);
  } else {
    Map.Canvas()->Draw(0, 0, &Work);
  }
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

// A new, empty file beside Target (same folder), with the permissions Target has or an ordinary
// new file would get.
std::string CreateTempBeside(const std::string& Target) {
  const auto delim = Target.rfind(PathDelim);
  std::string temp =
      (delim == std::string::npos ? std::string(".") + PathDelim : Target.substr(0, delim + 1)) +
      ".veldrin-save-XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) throw EFCreateError(Target);
  struct stat st {};
  mode_t mode;
  if (::stat(Target.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  ::fchmod(fd, mode);
  ::close(fd);
  return temp;
}

// Saves the map under every target name so that the targets change together or not at all:
// each result is first written to a temporary file beside its target; only when all are
// written does each target get its backup and then the new file. On failure no temporary is
// left, and every target not yet replaced is as it was.
void SaveTargets(TBigBitmap& Map, const std::vector<std::string>& Targets) {
  std::vector<std::string> temps;
  try {
    for (const std::string& target : Targets) {
      temps.push_back(CreateTempBeside(target));
      TFileStream stream(temps.back(), fmCreate);
      Map.SaveToStream(stream);
    }
    for (std::size_t i = 0; i < Targets.size(); ++i) {
      const std::string& target = Targets[i];
      const std::string backup = ChangeFileExt(target, ".OLD");
      const bool hadBackup = FileExists(backup);
      BackupFile(target);
      if (std::rename(temps[i].c_str(), target.c_str()) != 0) {
        // Put the target back under its own name if the backup just took it.
        if (!hadBackup && !FileExists(target)) RenameFile(backup, target);
        throw EFCreateError(target);
      }
      temps[i].clear();
    }
  } catch (...) {
    for (const std::string& temp : temps) {
      if (!temp.empty()) DeleteFile(temp);
    }
    throw;
  }
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

void BackupFile(const std::string& FileName) {
  const std::string backup = ChangeFileExt(FileName, ".OLD");
  if (!FileExists(backup)) RenameFile(FileName, backup);
}

void MapJob(TJobHost& Host, Facet F, MapScale S) {
  const int step = GridStep(S);
  const std::string folder = Host.GetMapFolder();
  const std::string baseName = GetBaseFileName(folder, F, Host.GetBaseMapType(), S);
  const std::string name = GetMapDisplayName(F, S);

  Host.ShowStatus(name);
  Host.ShowStatus(name + " : check bitmap");
  if (CheckBitmap(baseName)) {
    Host.ShowStatus(name + " : fixed illegal format");
    FixBitmap(baseName);
  }

  auto map = std::make_unique<TBigBitmap>();
  Host.ShowStatus(name + " : loading");
  map->LoadFromFile(baseName);

  {
    auto work = std::make_unique<TBigBitmap>();
    work->SetPixelFormat(bbpf24bit);
    work->SetWidth(map->GetWidth());
    work->SetHeight(map->GetHeight());
    work->SetDrawMode(0);
    FillWorkingCopy(*map, *work);

    const std::int32_t width = work->GetWidth();
    const std::int32_t height = work->GetHeight();
    const std::int64_t mapHeight = map->GetHeight();
    const std::string drawing = name + " : drawing[";
    std::int64_t shown = -1;
    for (std::int32_t y = 0; y < height; ++y) {
      GridRow(static_cast<std::uint8_t*>(work->GetScanline(y)), width, y, step);
      // The text changes at most 101 times a map; setting it again unchanged shows nothing new.
      const std::int64_t percent = (std::int64_t(y) + 1) * 100 / mapHeight;
      if (percent != shown) {
        shown = percent;
        Host.SetStatusText(drawing + std::to_string(percent) + "%]");
      }
      Host.ProcessMessages();
      if (Host.GetCanceled() || Host.GetClosing()) return;
    }

    Host.ShowStatus(name + " : 減色中");
    ReduceIntoMap(*work, *map);
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

  for (Facet f = 0; f < FacetCount; ++f) {
    for (MapScale s = 0; s < MapScaleCount; ++s) {
      if (!(Host.MapBoxEnabled(f, s) && Host.MapBoxChecked(f, s))) continue;
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
