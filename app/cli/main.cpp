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
constexpr TMapCode MapCodes[] = {
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

const char* const MapTypeNames[MapTypeCount] = {"normal", "nostatics", "xray"};

// The command line as given.
struct TOptions {
  std::string Folder = ".";
  std::string Base = "normal";
  std::string Target = "xray";
  std::vector<std::string> Maps;
  bool DryRun = false;
  bool Quiet = false;
  bool Restore = false;
  std::string SampleFolder;
};

// The maps named with -m: Wanted[facet][scale], and All when none or "all" was named.
struct TMapChoice {
  bool Wanted[FacetCount][MapScaleCount] = {};
  bool All = false;
};

std::string Lower(std::string Text) {
  std::transform(Text.begin(), Text.end(), Text.begin(),
                 [](unsigned char C) { return static_cast<char>(std::tolower(C)); });
  return Text;
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
    const TFolderLock Lock(Folder);
    if (Lock.Busy()) {
      Error("another run is working on " + Folder + "; try again when it has finished");
      return ExitFailed;
    }
    for (const std::string& Name : SampleMapNames(Folder)) {
      if (std::filesystem::exists(PathOf(Name))) {
        Error("--sample never replaces a file, and " + Name + " exists; nothing was written");
        return ExitUsage;
      }
    }
    for (const std::string& Name : WriteSampleMaps(Folder)) {
      if (!Quiet) WriteText(TOutStream::Err, Name + "\n");
    }
  } catch (const std::exception& E) {
    Error(E.what());
    return ExitFailed;
  }
  return ExitDone;
}

// Lists what a run would read, repair, back up and write, changing nothing.
void PrintDryRun(const std::string& Folder, MapType Base, MapType Target,
                 const std::vector<TMapCode>& Maps) {
  std::string Out;
  for (const TMapCode& M : Maps) {
    const std::string BaseName = GetBaseFileName(Folder, M.F, Base, M.S);
    Out += GetMapDisplayName(M.F, M.S) + " [" + M.Code + "]\n";
    Out += "  read     " + BaseName + "\n";
    try {
      if (CheckBitmap(BaseName)) {
        Out += "  repair   " + BaseName + " (the bad file kept as " + BadDataFileName(BaseName) +
               ")\n";
      }
    } catch (const std::exception& E) {
      Out += std::string("  unreadable: ") + E.what() + "\n";
    }
    std::string MainName, SecondName;
    GetTrgFileNames(Folder, M.F, Target, M.S, MainName, SecondName);
    for (const std::string& TargetName : {MainName, SecondName}) {
      if (TargetName.empty()) continue;
      const std::string Backup = ChangeFileExt(TargetName, ".OLD");
      if (FileExists(TargetName) && !FileExists(Backup)) {
        Out += "  back up  " + TargetName + " -> " + Backup + "\n";
      }
      Out += "  write    " + TargetName + "\n";
    }
  }
  WriteText(TOutStream::Out, Out);
}

void DescribeOptions(CLI::App& App, TOptions& Options) {
  App.add_option("-f,--folder", Options.Folder,
                 "the automap folder (default: the current directory)")
      ->type_name("DIR");
  CLI::Option* BaseOption =
      App.add_option("-b,--base", Options.Base,
                     "map type to start from: normal, nostatics or xray (default normal)")
          ->type_name("TYPE");
  App.add_option("-t,--target", Options.Target,
                 "map type whose files receive the result (default xray)")
      ->type_name("TYPE");
  App.add_option("-m,--maps", Options.Maps,
                 "comma-separated: ft1 ft2 ft4 i1 i2 i4 m1 m2 m4 tk1 tk2 tk4, or all\n"
                 "(default all: every map whose base file exists; with --restore, every map\n"
                 "with a backup)")
      ->delimiter(',')
      ->type_name("LIST");
  App.add_flag("-n,--dry-run", Options.DryRun,
               "print each job with the files it would read, back up and write; change nothing");
  App.add_flag("-q,--quiet", Options.Quiet, "print only errors");
  CLI::Option* SampleOption =
      App.add_option("--sample", Options.SampleFolder,
                     "write the built-in sample automap folder into DIR and exit")
          ->type_name("DIR");
  App.add_flag("--restore", Options.Restore,
               "instead of a run: put each chosen map's .OLD backups of the target type back\n"
               "under their target names, so that the folder is as before the first run")
      ->excludes(BaseOption)
      ->excludes(SampleOption);
  App.set_version_flag("--version", std::string("veldrin-grid ") + VELDRIN_VERSION);
  App.footer(
      "Exit status: 0 done; 1 a map job failed; 2 a usage error or a requested map whose base\n"
      "file is missing; 130 interrupted (the first Ctrl-C cancels after the current row, the\n"
      "second ends the program at once); 143 asked to end (SIGTERM, SIGHUP; on Windows the\n"
      "console window closed, a sign-out or a shut-down), which stops it after the current row\n"
      "too. With --restore: 1 a restore failed; 2 also a map named with -m that has no backup\n"
      "(reported and skipped).");
}

// An option's map type; false for an unknown one, reported with the option's name.
bool ReadMapType(const std::string& Name, const char* Option, MapType& Type) {
  for (int T = 0; T < MapTypeCount; ++T) {
    if (Lower(Name) == MapTypeNames[T]) {
      Type = static_cast<MapType>(T);
      return true;
    }
  }
  Error(std::string("unknown map type for ") + Option + ": " + Name +
        " (normal, nostatics or xray)");
  return false;
}

// False after an unknown map name, which it reports.
bool ReadMapList(const std::vector<std::string>& Items, TMapChoice& Choice) {
  Choice.All = Items.empty();
  for (const std::string& Item : Items) {
    const std::string Code = Lower(Item);
    if (Code == "all") {
      Choice.All = true;
      continue;
    }
    const TMapCode* Found = nullptr;
    for (const TMapCode& M : MapCodes) {
      if (Code == M.Code) Found = &M;
    }
    if (Found == nullptr) {
      Error("unknown map: " + Item + " (ft1 ft2 ft4 i1 i2 i4 m1 m2 m4 tk1 tk2 tk4, or all)");
      return false;
    }
    Choice.Wanted[Found->F][Found->S] = true;
  }
  return true;
}

// --restore: the maps named, and with All every map that has a backup of the target type.
int RestoreMaps(const std::string& Folder, MapType Target, const TMapChoice& Choice,
                const TOptions& Options) {
  std::vector<TRestoreChoice> Choices;
  for (const TMapCode& M : MapCodes) {
    const bool Named = Choice.Wanted[M.F][M.S];
    if (Named || (Choice.All && HasBackup(Folder, M.F, Target, M.S))) {
      Choices.push_back({M.F, M.S, M.Code, Named});
    }
  }
  return RunRestore(Folder, Target, Choices, Options.DryRun, Options.Quiet);
}

// The maps a run works on, in the order it visits them: those chosen whose base file exists.
// False when a map named has none; each such map is reported.
bool ChooseMaps(const std::string& Folder, MapType Base, const TMapChoice& Choice,
                std::vector<TMapCode>& Chosen) {
  bool Missing = false;
  for (const TMapCode& M : MapCodes) {
    const bool Exists = FileExists(GetBaseFileName(Folder, M.F, Base, M.S));
    if (Choice.Wanted[M.F][M.S] && !Exists) {
      Error(std::string("base map file missing for ") + M.Code + ": " +
            GetBaseFileName(Folder, M.F, Base, M.S));
      Missing = true;
    }
    if (Exists && (Choice.All || Choice.Wanted[M.F][M.S])) Chosen.push_back(M);
  }
  return !Missing;
}

// The grid map job over the maps chosen, its status texts on standard error.
int RunMaps(const std::string& Folder, MapType Base, MapType Target,
            const std::vector<TMapCode>& Chosen, bool Quiet) {
  InstallCliSignalHandlers();
  TStatusPrinter Printer(TOutStream::Err, IsInteractive(TOutStream::Err), Quiet);
  TCliHost Host(Folder, Base, Target, Printer);
  for (const TMapCode& M : Chosen) Host.Select(M.F, M.S);
  try {
    MakeRun(Host);
  } catch (const std::exception& E) {
    Printer.Finish();
    Error(E.what());
    return ExitFailed;
  }
  Printer.Finish();
  if (CliInterrupts > 0) return ExitInterrupted;
  if (Host.GetClosing()) return ExitTerminated;
  return ExitDone;
}

// Everything after the options were read: they are checked before anything changes.
int Run(const TOptions& Options) {
  MapType BaseType = mtNormal;
  MapType TargetType = mtXRay;
  if (!ReadMapType(Options.Base, "--base", BaseType)) return ExitUsage;
  if (!ReadMapType(Options.Target, "--target", TargetType)) return ExitUsage;
  const std::string Folder = NormaliseFolder(Options.Folder);
  std::error_code Ec;
  if (Folder.empty() || !std::filesystem::is_directory(PathOf(Folder), Ec)) {
    Error("no such folder: " + Folder);
    return ExitUsage;
  }
  TMapChoice Choice;
  if (!ReadMapList(Options.Maps, Choice)) return ExitUsage;
  if (Options.Restore) return RestoreMaps(Folder, TargetType, Choice, Options);

  std::vector<TMapCode> Chosen;
  if (!ChooseMaps(Folder, BaseType, Choice, Chosen)) return ExitUsage;
  if (Options.DryRun) {
    PrintDryRun(Folder, BaseType, TargetType, Chosen);
    return ExitDone;
  }
  if (Chosen.empty()) {
    if (!Options.Quiet) Error("no base map file of that map type in " + Folder);
    return ExitDone;
  }
  return RunMaps(Folder, BaseType, TargetType, Chosen, Options.Quiet);
}

}  // namespace

int main(int Argc, char** Argv) {
  CLI::App App{
      "Lays a light grid over the automap's map bitmaps: every base map chosen is loaded,\n"
      "whitened along a grid of 8 full-size pixels, and saved under the target map\n"
      "type's name (the file it replaces kept once as .OLD).",
      "veldrin-grid"};
  TOptions Options;
  DescribeOptions(App, Options);
  // CLI11 reads the arguments as given: from the system's UTF-8 form, not the code page's.
  const std::vector<std::string> Args = CommandLineArguments(Argc, Argv);
  std::vector<const char*> Argp;
  for (const std::string& A : Args) Argp.push_back(A.c_str());
  try {
    App.parse(static_cast<int>(Argp.size()), Argp.data());
  } catch (const CLI::ParseError& E) {
    return App.exit(E) == 0 ? ExitDone : ExitUsage;
  }
  if (!Options.SampleFolder.empty()) {
    return WriteSample(NormaliseFolder(Options.SampleFolder), Options.Quiet);
  }
  return Run(Options);
}
