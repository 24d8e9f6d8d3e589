#include "app/cli/cli_host.h"

#include <cstdlib>
#include <utility>

#include "platform/files.h"

std::atomic<int> CliInterrupts{0};
std::atomic<int> CliTerminate{0};

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

}  // namespace

void TStatusPrinter::Line(const std::string& Text) {
  if (FQuiet) return;
  Finish();
  WriteText(FOut, Text + "\n");
}

void TStatusPrinter::Transient(const std::string& Text) {
  // The job sets the text after every row; only a change is worth printing.
  if (FQuiet || Text == FPending) return;
  const bool sameStage = !FPending.empty() && StageKey(FPending) == StageKey(Text);
  if (!sameStage) Finish();
  if (FTerminal) {
    WriteText(FOut, sameStage ? "\r" + Text + "\x1b[K" : Text);
  } else {
    FPendingShown = !sameStage || ProgressTenth(Text) != ProgressTenth(FPending);
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
