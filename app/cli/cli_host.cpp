#include "app/cli/cli_host.h"

#include <unistd.h>

#include <cstdlib>
#include <utility>

#include "platform/files.h"

volatile std::sig_atomic_t CliInterrupts = 0;
volatile std::sig_atomic_t CliTerminate = 0;

namespace {

const char kDrawingMark[] = " : drawing[";

// Texts of one stage share this key: the drawing percentages of one map, or the text itself.
std::string StageKey(const std::string& Text) {
  const auto at = Text.find(kDrawingMark);
  return at == std::string::npos ? Text : Text.substr(0, at + sizeof(kDrawingMark) - 1);
}

// The tenth (0 to 10) of a drawing percentage; -1 for any other text.
int ProgressTenth(const std::string& Text) {
  const auto at = Text.find(kDrawingMark);
  if (at == std::string::npos) return -1;
  return std::atoi(Text.c_str() + at + sizeof(kDrawingMark) - 1) / 10;
}

extern "C" void OnInterrupt(int) {
  if (CliInterrupts >= 1) ::_exit(130);
  CliInterrupts = CliInterrupts + 1;
}

extern "C" void OnTerminate(int) {
  CliTerminate = 1;
}

}  // namespace

void TStatusPrinter::Line(const std::string& Text) {
  if (FQuiet) return;
  Finish();
  std::fprintf(FOut, "%s\n", Text.c_str());
  std::fflush(FOut);
}

void TStatusPrinter::Transient(const std::string& Text) {
  // The job sets the text after every row; only a change is worth printing.
  if (FQuiet || Text == FPending) return;
  const bool sameStage = !FPending.empty() && StageKey(FPending) == StageKey(Text);
  if (!sameStage) Finish();
  if (FTerminal) {
    std::fprintf(FOut, sameStage ? "\r%s\x1b[K" : "%s", Text.c_str());
    std::fflush(FOut);
  } else {
    FPendingShown = !sameStage || ProgressTenth(Text) != ProgressTenth(FPending);
    if (FPendingShown) {
      std::fprintf(FOut, "%s\n", Text.c_str());
      std::fflush(FOut);
    }
  }
  FPending = Text;
}

void TStatusPrinter::Finish() {
  if (FPending.empty()) return;
  if (FTerminal) {
    std::fputc('\n', FOut);
  } else if (!FPendingShown) {
    std::fprintf(FOut, "%s\n", FPending.c_str());
  }
  std::fflush(FOut);
  FPending.clear();
}

void InstallCliSignalHandlers() {
  struct sigaction interrupt {};
  interrupt.sa_handler = OnInterrupt;
  sigemptyset(&interrupt.sa_mask);
  sigaction(SIGINT, &interrupt, nullptr);

  struct sigaction terminate {};
  terminate.sa_handler = OnTerminate;
  sigemptyset(&terminate.sa_mask);
  sigaction(SIGTERM, &terminate, nullptr);
  sigaction(SIGHUP, &terminate, nullptr);

  std::signal(SIGXFSZ, SIG_IGN);
  std::signal(SIGPIPE, SIG_IGN);
}

TCliHost::TCliHost(std::string MapFolder, MapType Base, MapType Target, TStatusPrinter& Printer)
    : FMapFolder(std::move(MapFolder)), FBase(Base), FTarget(Target), FPrinter(Printer) {}

bool TCliHost::MapBoxEnabled(Facet F, MapScale S) {
  return FileExists(GetBaseFileName(FMapFolder, F, FBase, S));
}

bool TCliHost::GetCanceled() {
  TakeInterrupts();
  return FCanceled;
}

bool TCliHost::GetClosing() {
  TakeInterrupts();
  return FClosing;
}

void TCliHost::ProcessMessages() {
  TakeInterrupts();
}

void TCliHost::TakeInterrupts() {
  if (CliInterrupts > 0) FCanceled = true;
  if (CliTerminate != 0) FClosing = true;
}
