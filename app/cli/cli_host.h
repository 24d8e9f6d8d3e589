#pragma once

// The command line's side of a run: status texts on a text stream, the maps chosen by options,
// and interrupts standing in for the window's Cancel and close requests.

#include <atomic>
#include <string>

#include "app/cli/cli_os.h"
#include "app/core/job_host.h"

// Prints the job's status texts. Every text set with an immediate repaint is a line of its own.
// Texts set without one (the drawing percentage, the final texts) are rewritten in place on a
// terminal; elsewhere a stage is printed when it starts, at each new tenth of its percentage
// and with its last text, so a log follows the drawing with at most a dozen lines a map instead
// of one per pixel row.
class TStatusPrinter {
 public:
  TStatusPrinter(TOutStream Out, bool Terminal, bool Quiet)
      : FOut(Out), FTerminal(Terminal), FQuiet(Quiet) {}
  ~TStatusPrinter() { Finish(); }
  TStatusPrinter(const TStatusPrinter&) = delete;
  TStatusPrinter& operator=(const TStatusPrinter&) = delete;

  void Line(const std::string& Text);
  void Transient(const std::string& Text);
  // Ends a pending transient text with its line break.
  void Finish();

 private:
  TOutStream FOut;
  bool FTerminal;
  bool FQuiet;
  std::string FPending;
  bool FPendingShown = false;  // FPending has been printed whole (not on a terminal)
};

// Set by the interrupt handlers (InstallCliSignalHandlers, cli_os.h); read by the host between
// pixel rows. Atomics: on Windows the handler runs on a thread of its own, and a POSIX signal
// handler may only touch lock-free atomics.
extern std::atomic<int> CliInterrupts;  // Ctrl-C presses
extern std::atomic<int> CliTerminate;   // a request to end the program received
static_assert(std::atomic<int>::is_always_lock_free);

class TCliHost : public TJobHost {
 public:
  TCliHost(std::string MapFolder, MapType Base, MapType Target, TStatusPrinter& Printer);

  // Which maps the run is to make.
  void Select(Facet F, MapScale S) { FSelected[F][S] = true; }

  std::string GetMapFolder() override { return FMapFolder; }
  // Like the window's boxes: enabled while the base file of the current base type exists.
  bool MapBoxEnabled(Facet F, MapScale S) override;
  bool MapBoxChecked(Facet F, MapScale S) override { return FSelected[F][S]; }
  MapType GetBaseMapType() override { return FBase; }
  MapType GetTrgMapType() override { return FTarget; }

  // Both read the interrupts that have come so far, so that one that came while the job did
  // not poll (reducing, saving) stops the run before another map starts.
  bool GetCanceled() override;
  void SetCanceled(bool Value) override { FCanceled = Value; }
  bool GetClosing() override;

  void SetRunning(bool) override {}
  void ShowStatus(const std::string& Text) override { FPrinter.Line(Text); }
  void SetStatusText(const std::string& Text) override { FPrinter.Transient(Text); }
  void Repaint() override {}
  void ProcessMessages() override;

 private:
  // Cancel for a Ctrl-C, Closing for SIGTERM or SIGHUP, once they have come.
  void TakeInterrupts();

  std::string FMapFolder;
  MapType FBase;
  MapType FTarget;
  TStatusPrinter& FPrinter;
  bool FSelected[FacetCount][MapScaleCount] = {};
  bool FCanceled = false;
  bool FClosing = false;
};
