// veldrin-grid: runs the grid map job over an automap folder without a window.

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "app/cli/cli_host.h"
#include "app/cli/cli_os.h"
#include "app/cli/exit_status.h"
#include "app/cli/restore_command.h"
#include "app/core/map_job.h"
#include "app/core/repair.h"
#include "app/core/restore.h"
#include "app/core/sample_maps.h"
#include "platform/files.h"

namespace {

struct TMapCode {
  const char* Code;
  Facet F;
  MapScale S;
};
constexpr TMapCode kMapCodes[] = {
    {"ft1", fcFeluccaTrammel, msFull},
    {"ft2", fcFeluccaTrammel, msHalf},
    {"ft4", fcFeluccaTrammel, msQuarter},
    {"i1", fcIlshenar, msFull},
    {"i2", fcIlshenar, msHalf},
    {"i4", fcIlshenar, msQuarter},
    {"m1", fcMalas, msFull},
    {"m2", fcMalas, msHalf},
    {"m4", fcMalas, msQuarter},
    {"tk1", fcTokuno, msFull},
    {"tk2", fcTokuno, msHalf},
    {"tk4", fcTokuno, msQuarter},
};

const char* const kMapTypeNames[MapTypeCount] = {"normal", "nostatics", "xray"};

std::string Lower(std::string Text) {
  std::transform(Text.begin(), Text.end(), Text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return Text;
}

const char* MapCodeOf(Facet F, MapScale S) {
  for (const TMapCode& m : kMapCodes) {
    if (m.F == F && m.S == S) return m.Code;
  }
  return "";
}

// A path from a UTF-8 text, whatever the system's own encoding of names.
std::filesystem::path PathOf(const std::string& Name) {
  return std::filesystem::path(
      std::u8string(reinterpret_cast<const char8_t*>(Name.data()), Name.size()));
}

// The folder as given, without trailing separators (a root, "/" or "C:\", keeps its one). A
// drive given alone ("D:") is its root, as in the map names made from it, and not the drive's
// current folder, so that the lock and the leftovers cleaned are those of the maps' folder.
std::string NormaliseFolder(std::string Folder) {
  while (Folder.size() > 1 && Folder.back() == PathDelim && Folder[Folder.size() - 2] != ':')
    Folder.pop_back();
  if (PathDelim == '\\' && Folder.size() == 2 && Folder[1] == ':') Folder += PathDelim;
  return Folder;
}

// --sample: writes the twelve sample maps into Folder (made if need be) under its lock; a map
// name that exists there stops it before anything is written.
int WriteSample(const std::string& Folder, bool Quiet) {
  try {
    std::filesystem::create_directories(PathOf(Folder));
    const TFolderLock lock(Folder);
    if (lock.Busy()) {
      Error("another run is working on " + Folder + "; try again when it has finished");
      return kExitFailed;
    }
    for (const std::string& name : SampleMapNames(Folder)) {
      if (std::filesystem::exists(PathOf(name))) {
        Error("--sample never replaces a file, and " + name + " exists; nothing was written");
        return kExitUsage;
      }
    }
    for (const std::string& name : WriteSampleMaps(Folder)) {
      if (!Quiet) WriteText(TOutStream::Err, name + "\n");
    }
  } catch (const std::exception& e) {
    Error(e.what());
    return kExitFailed;
  }
  return kExitDone;
}

// Lists what a run would read, repair, back up and write, changing nothing.
void PrintDryRun(const std::string& Folder, MapType Base, MapType Target,
                 const std::vector<TMapCode>& Maps) {
  std::string out;
  for (const TMapCode& m : Maps) {
    const std::string baseName = GetBaseFileName(Folder, m.F, Base, m.S);
    out += GetMapDisplayName(m.F, m.S) + " [" + m.Code + "]\n";
    out += "  read     " + baseName + "\n";
    try {
      if (CheckBitmap(baseName)) {
        out += "  repair   " + baseName + " (the bad file kept as " + BadDataFileName(baseName) +
               ")\n";
      }
    } catch (const std::exception& e) {
      out += std::string("  unreadable: ") + e.what() + "\n";
    }
    std::string mainName, secondName;
    GetTrgFileNames(Folder, m.F, Target, m.S, mainName, secondName);
    for (const std::string& target : {mainName, secondName}) {
      if (target.empty()) continue;
      const std::string backup = ChangeFileExt(target, ".OLD");
      if (FileExists(target) && !FileExists(backup)) {
        out += "  back up  " + target + " -> " + backup + "\n";
      }
      out += "  write    " + target + "\n";
    }
  }
  WriteText(TOutStream::Out, out);
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "Lays a light grid over the automap's map bitmaps: every base map chosen is loaded,\n"
      "whitened along a grid of 8 full-size pixels, and saved under the target map\n"
      "type's name (the file it replaces kept once as .OLD).",
      "veldrin-grid"};
  std::string folder = ".";
  std::string base = "normal";
  std::string target = "xray";
  std::vector<std::string> maps;
  bool dryRun = false;
  bool quiet = false;
  bool restore = false;
  std::string sampleFolder;
  app.add_option("-f,--folder", folder, "the automap folder (default: the current directory)")
      ->type_name("DIR");
  CLI::Option* baseOption =
      app.add_option("-b,--base", base,
                     "map type to start from: normal, nostatics or xray (default normal)")
          ->type_name("TYPE");
  app.add_option("-t,--target", target, "map type whose files receive the result (default xray)")
      ->type_name("TYPE");
  app.add_option("-m,--maps", maps,
                 "comma-separated: ft1 ft2 ft4 i1 i2 i4 m1 m2 m4 tk1 tk2 tk4, or all\n"
                 "(default all: every map whose base file exists; with --restore, every map\n"
                 "with a backup)")
      ->delimiter(',')
      ->type_name("LIST");
  app.add_flag("-n,--dry-run", dryRun,
               "print each job with the files it would read, back up and write; change nothing");
  app.add_flag("-q,--quiet", quiet, "print only errors");
  CLI::Option* sampleOption =
      app.add_option("--sample", sampleFolder,
                     "write the built-in sample automap folder into DIR and exit")
          ->type_name("DIR");
  app.add_flag("--restore", restore,
               "instead of a run: put each chosen map's .OLD backups of the target type back\n"
               "under their target names, so that the folder is as before the first run")
      ->excludes(baseOption)
      ->excludes(sampleOption);
  app.set_version_flag("--version", std::string("veldrin-grid ") + VELDRIN_VERSION);
  app.footer(
      "Exit status: 0 done; 1 a map job failed; 2 a usage error or a requested map whose base\n"
      "file is missing; 130 interrupted (the first Ctrl-C cancels after the current row, the\n"
      "second ends the program at once); 143 asked to end (SIGTERM, SIGHUP; on Windows the\n"
      "console window closed), which stops it after the current row too. With --restore:\n"
      "1 a restore failed; 2 also a map named with -m that has no backup (reported and\n"
      "skipped).");
  // CLI11 reads the arguments as given: from the system's UTF-8 form, not the code page's.
  const std::vector<std::string> args = CommandLineArguments(argc, argv);
  std::vector<const char*> argp;
  for (const std::string& a : args) argp.push_back(a.c_str());
  try {
    app.parse(static_cast<int>(argp.size()), argp.data());
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? kExitDone : kExitUsage;
  }

  if (!sampleFolder.empty()) return WriteSample(NormaliseFolder(sampleFolder), quiet);

  auto typeOf = [](const std::string& Name, MapType& Type) {
    for (int t = 0; t < MapTypeCount; ++t) {
      if (Lower(Name) == kMapTypeNames[t]) {
        Type = static_cast<MapType>(t);
        return true;
      }
    }
    return false;
  };
  MapType baseType = mtNormal;
  MapType targetType = mtXRay;
  if (!typeOf(base, baseType)) {
    Error("unknown map type for --base: " + base + " (normal, nostatics or xray)");
    return kExitUsage;
  }
  if (!typeOf(target, targetType)) {
    Error("unknown map type for --target: " + target + " (normal, nostatics or xray)");
    return kExitUsage;
  }
  folder = NormaliseFolder(folder);
  std::error_code ec;
  if (folder.empty() || !std::filesystem::is_directory(PathOf(folder), ec)) {
    Error("no such folder: " + folder);
    return kExitUsage;
  }

  // The maps asked for, in the order the run visits them.
  bool wanted[FacetCount][MapScaleCount] = {};
  bool all = maps.empty();
  for (const std::string& item : maps) {
    const std::string code = Lower(item);
    if (code == "all") {
      all = true;
      continue;
    }
    const TMapCode* found = nullptr;
    for (const TMapCode& m : kMapCodes) {
      if (code == m.Code) found = &m;
    }
    if (found == nullptr) {
      Error("unknown map: " + item + " (ft1 ft2 ft4 i1 i2 i4 m1 m2 m4 tk1 tk2 tk4, or all)");
      return kExitUsage;
    }
    wanted[found->F][found->S] = true;
  }
  if (restore) {
    std::vector<TRestoreChoice> choices;
    for (const TMapCode& m : kMapCodes) {
      const bool named = wanted[m.F][m.S];
      if (named || (all && HasBackup(folder, m.F, targetType, m.S))) {
        choices.push_back({m.F, m.S, m.Code, named});
      }
    }
    return RunRestore(folder, targetType, choices, dryRun, quiet);
  }

  std::vector<TMapCode> chosen;
  bool missing = false;
  for (const TMapCode& m : kMapCodes) {
    const bool exists = FileExists(GetBaseFileName(folder, m.F, baseType, m.S));
    if (wanted[m.F][m.S] && !exists) {
      Error(std::string("base map file missing for ") + MapCodeOf(m.F, m.S) + ": " +
            GetBaseFileName(folder, m.F, baseType, m.S));
      missing = true;
    }
    if (exists && (all || wanted[m.F][m.S])) chosen.push_back(m);
  }
  if (missing) return kExitUsage;

  if (dryRun) {
    PrintDryRun(folder, baseType, targetType, chosen);
    return kExitDone;
  }
  if (chosen.empty()) {
    if (!quiet) Error("no base map file of that map type in " + folder);
    return kExitDone;
  }

  InstallCliSignalHandlers();
  TStatusPrinter printer(TOutStream::Err, IsInteractive(TOutStream::Err), quiet);
  TCliHost host(folder, baseType, targetType, printer);
  for (const TMapCode& m : chosen) host.Select(m.F, m.S);
  try {
    MakeRun(host);
  } catch (const std::exception& e) {
    printer.Finish();
    Error(e.what());
    return kExitFailed;
  }
  printer.Finish();
  if (CliInterrupts > 0) return kExitInterrupted;
  if (host.GetClosing()) return kExitTerminated;
  return kExitDone;
}
