#include "app/cli/cli_host.h"

#include <cstdlib>
#include <utility>

#include "platform/files.h"

std::atomic<int> CliInterrupts{0};
std::atomic<int> CliTerminate{0};

namespace {

const char DrawingMark[] = " : drawing[";

// Texts of one stage share this key: the drawing percentages of one map, or the text itself.
std::string StageKey(const std::string& Text) {
  const auto At = Text.find(DrawingMark);
  return At == std::string::npos ? Text : Text.substr(0, At + sizeof(DrawingMark) - 1);
}

// The tenth (0 to 10) of a drawing percentage; -1 for any other text.
int ProgressTenth(const std::string& Text) {
  const auto At = Text.find(DrawingMark);
  if (At == std::string::npos) return -1;
  return std::atoi(Text.c_str() + At + sizeof(DrawingMark) - 1) / 10;
}

}  // namespace

void TStatusPrinter::Line(const std::string& Text) {
  if (FQuiet) return;
  Finish();
  WriteText(FOut, Text + "\n");
}

void TStatusPrinter::Transient(const std::string& Text) {
  // The job sets the text after every row; only a change is worth printing.
  if (FQuiet || Text == FPending) return;
  const bool SameStage = !FPending.empty() && StageKey(FPending) == StageKey(Text);
  if (!SameStage) Finish();
  if (FTerminal) {
    WriteText(FOut, SameStage ? "\r" + Text + "\x1b[K" : Text);
  } else {
    FPendingShown = !SameStage || ProgressTenth(Text) != ProgressTenth(FPending);
    if (FPendingShown) WriteText(FOut, Text + "\n");
  }
  FPending = Text;
}

void TStatusPrinter::Finish() {
  if (FPending.empty()) return;
  if (FTerminal) {
    WriteText(FOut, "\n");
  } else if (!FPendingShown) {
    WriteText(FOut, FPending + "\n");
  }
  FPending.clear();
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
