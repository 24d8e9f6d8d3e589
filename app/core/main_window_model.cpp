#include "app/core/main_window_model.h"

#include <cctype>
#include <exception>

#include "app/core/map_job.h"
#include "app/core/restore.h"
#include "platform/files.h"

namespace {

bool InRange(Facet F, MapScale S) {
  return F < FacetCount && S < MapScaleCount;
}

}  // namespace

TMainWindowModel::TMainWindowModel(TMainWindowView& View)
    : MapFolder(DefaultMapFolder()), FView(View) {
  for (auto& Row : FEnabled) {
    for (bool& Enabled : Row) Enabled = true;
  }
}

template <typename THandler>
void TMainWindowModel::Guarded(THandler Handler) {
  try {
    Handler();
  } catch (const std::exception& Error) {
    FView.ShowError(Error.what());
  } catch (...) {
    FView.ShowError("Unknown error");
  }
}

// ---- events -------------------------------------------------------------------------------------

void TMainWindowModel::FormShow() {
  Guarded([this] {
    if (!FirstShow) return;
    FirstShow = false;
    UpdateControls();
  });
}

void TMainWindowModel::BoxClicked(Facet F, MapScale S, bool Ticked) {
  Guarded([&] {
    if (!InRange(F, S)) return;
    FTicked[F][S] = Ticked;
    CBClick();
  });
}

void TMainWindowModel::BaseSelected(int Item) {
  Guarded([&] {
    FBaseItem = Item;
    BaseCBoxSelect();
  });
}

void TMainWindowModel::TrgSelected(int Item) {
  Guarded([&] {
    FTrgItem = Item;
    CBClick();
  });
}

void TMainWindowModel::TrgTextEdited() {
  FTrgItem = -1;
}

bool TMainWindowModel::CloseRequested() {
  Closing = true;
  // During a run the run itself is still on the stack below the event processing that brought
  // the request: the window stays until the run has returned.
  return !FRunning;
}

void TMainWindowModel::Execute(TWindowAction Action) {
  if (!ActionEnabled(Action)) return;
  switch (Action) {
    case TWindowAction::Folder:
      Guarded([this] { OpenFolderActExecute(); });
      break;
    case TWindowAction::Make:
      Guarded([this] { MakeActExecute(); });
      // The close put off while the run was on the stack happens now.
      if (Closing) FView.RequestClose();
      break;
    case TWindowAction::Cancel:
      Guarded([this] { CancelActExecute(); });
      break;
    case TWindowAction::About:
      Guarded([this] { AboutActExecute(); });
      break;
    case TWindowAction::Quit:
      Guarded([this] { QuitActExecute(); });
      break;
  }
}

bool TMainWindowModel::AcceleratorPressed(char Letter) {
  const char Upper = static_cast<char>(std::toupper(static_cast<unsigned char>(Letter)));
  for (int A = 0; A < WindowActionCount; ++A) {
    const auto Action = static_cast<TWindowAction>(A);
    const char Marked = ControlRow(ActionButton(Action)).Accelerator;
    if (Marked == 0 || Marked != Upper) continue;
    Execute(Action);
    return true;
  }
  return false;
}

void TMainWindowModel::EscapePressed() {
  if (FRunning) Execute(TWindowAction::Cancel);
}

void TMainWindowModel::Activated() {
  FActive = true;
  TMainControl Target = FLastFocus.value_or(TMainControl::FolderBtn);
  if (!ControlEnabled(Target)) Target = TMainControl::Form1;
  FView.SetFocus(Target);
}

void TMainWindowModel::Deactivated() {
  FLastFocus = FView.Focus();
  FActive = false;
}

void TMainWindowModel::MapBoxEntryChosen(Facet F, MapScale S, TMapBoxEntryId Entry) {
  Guarded([&] {
    switch (Entry) {
      case TMapBoxEntryId::ShowBaseMap:
        FView.ShowViewer(BaseFileName(F, S));
        break;
      case TMapBoxEntryId::ShowResult:
        FView.ShowViewer(ResultFileName(F, S));
        break;
      case TMapBoxEntryId::Restore:
        RestoreFromBackup(F, S);
        break;
    }
  });
}

void TMainWindowModel::RestoreFromBackup(Facet F, MapScale S) {
  if (FRunning) return;
  RestoreMap(MapFolder, F, GetTrgMapType(), S);
  SetStatusText(GetMapDisplayName(F, S) + RestoredText);
}

// ---- handlers and steps -----------------------------------------------------------------------

void TMainWindowModel::OpenFolderActExecute() {
  const std::optional<std::string> Picked = FView.PickFolder(MapFolder);
  if (!Picked) return;
  MapFolder = *Picked;
  UpdateControls();
}

void TMainWindowModel::MakeActExecute() {
  MakeRun(*this);
}

void TMainWindowModel::CancelActExecute() {
  Canceled = true;
}

void TMainWindowModel::AboutActExecute() {
  FView.ShowAbout();
}

void TMainWindowModel::QuitActExecute() {
  FView.RequestClose();
}

void TMainWindowModel::CBClick() {
  if (!FRunning) FMakeEnabled = CheckMakable();
  FStatusText.clear();
  FView.StateChanged();
}

void TMainWindowModel::BaseCBoxSelect() {
  UpdateMapCBoxes();
  CBClick();
}

void TMainWindowModel::UpdateMapCBoxes() {
  const MapType Base = GetBaseMapType();
  for (Facet F = 0; F < FacetCount; ++F) {
    for (MapScale S = 0; S < MapScaleCount; ++S) {
      const std::string Name = GetBaseFileName(MapFolder, F, Base, S);
      FEnabled[F][S] = !Name.empty() && FileExists(Name);
    }
  }
  FView.StateChanged();
}

void TMainWindowModel::UpdateControls() {
  UpdateMapCBoxes();
  FMakeEnabled = CheckMakable();
  FStatusText.clear();
  FView.StateChanged();
}

bool TMainWindowModel::CheckMakable() const {
  for (Facet F = 0; F < FacetCount; ++F) {
    for (MapScale S = 0; S < MapScaleCount; ++S) {
      if (FEnabled[F][S] && FTicked[F][S]) return true;
    }
  }
  return false;
}

// ---- state --------------------------------------------------------------------------------------

bool TMainWindowModel::ActionEnabled(TWindowAction Action) const {
  switch (Action) {
    case TWindowAction::Folder:
    case TWindowAction::About:
      return !FRunning;
    case TWindowAction::Make:
      return !FRunning && FMakeEnabled;
    case TWindowAction::Cancel:
      return FRunning;
    case TWindowAction::Quit:
      return true;
  }
  return false;
}

bool TMainWindowModel::ControlEnabled(TMainControl Control) const {
  for (int A = 0; A < WindowActionCount; ++A) {
    const auto Action = static_cast<TWindowAction>(A);
    if (ActionButton(Action) == Control) return ActionEnabled(Action);
  }
  for (Facet F = 0; F < FacetCount; ++F) {
    for (MapScale S = 0; S < MapScaleCount; ++S) {
      if (MapCBoxControl(F, S) == Control) return BoxEnabled(F, S);
    }
  }
  return true;
}

bool TMainWindowModel::BoxEnabled(Facet F, MapScale S) const {
  return InRange(F, S) && FEnabled[F][S];
}

bool TMainWindowModel::BoxTicked(Facet F, MapScale S) const {
  return InRange(F, S) && FTicked[F][S];
}

std::vector<TMapBoxEntry> TMainWindowModel::MapBoxMenu(Facet F, MapScale S) const {
  std::vector<TMapBoxEntry> Entries;
  if (FileExists(BaseFileName(F, S))) {
    Entries.push_back({TMapBoxEntryId::ShowBaseMap, "ベースマップを表示(&B)"});
  }
  if (FileExists(ResultFileName(F, S))) {
    Entries.push_back({TMapBoxEntryId::ShowResult, "グリッドマップを表示(&G)"});
  }
  if (!FRunning && HasBackup(MapFolder, F, TrgMapTypeFromItemIndex(FTrgItem), S)) {
    Entries.push_back({TMapBoxEntryId::Restore, "バックアップから復元(&R)"});
  }
  return Entries;
}

std::string TMainWindowModel::BaseFileName(Facet F, MapScale S) const {
  return GetBaseFileName(MapFolder, F, BaseMapTypeFromItemIndex(FBaseItem), S);
}

std::string TMainWindowModel::ResultFileName(Facet F, MapScale S) const {
  std::string Main, Second;
  GetTrgFileNames(MapFolder, F, TrgMapTypeFromItemIndex(FTrgItem), S, Main, Second);
  return Main;
}

// ---- the run's host -----------------------------------------------------------------------------

MapType TMainWindowModel::GetBaseMapType() {
  return BaseMapTypeFromItemIndex(FBaseItem);
}

MapType TMainWindowModel::GetTrgMapType() {
  return TrgMapTypeFromItemIndex(FTrgItem);
}

void TMainWindowModel::SetRunning(bool Running) {
  FRunning = Running;
  FProcessedAt.reset();
  FNoticeUntil.reset();  // a notice belongs to the run that showed it
  // A toolkit hands the focus of a button that becomes disabled on to another control, which
  // may be Quit (a Space or Enter meant for Make would end the program), or leaves it on the
  // disabled button, where no key acts. While a run disables the focused button the window
  // itself holds the focus; the button gets it back afterwards (also from Cancel, which the end
  // of the run disables).
  const TFocusTarget Focused = WindowFocus();
  if (Running && (Focused == TMainControl::FolderBtn || Focused == TMainControl::MakeBtn ||
                  Focused == TMainControl::AboutBtn)) {
    FFocusBeforeRun = Focused;
    SetWindowFocus(TMainControl::Form1);
  }
  if (!Running) FMakeEnabled = true;
  FView.StateChanged();
  if (!Running) {
    // The text set last in the run (its final text, or the row a cancel or close came after).
    if (FStatusPending) SendStatus(true);
    if (Focused == TMainControl::Form1 || Focused == TMainControl::CancelBtn) {
      SetWindowFocus(FFocusBeforeRun.value_or(TMainControl::Form1));
    }
    FFocusBeforeRun.reset();
  }
}

TFocusTarget TMainWindowModel::WindowFocus() {
  return FActive ? FView.Focus() : FLastFocus;
}

void TMainWindowModel::SetWindowFocus(TMainControl Target) {
  if (FActive) {
    FView.SetFocus(Target);
  } else {
    FLastFocus = Target;
  }
}

void TMainWindowModel::ShowStatus(const std::string& Text) {
  FStatusText = Text;
  if (NoticeShowing()) {
    FStatusPending = true;
  } else {
    SendStatus(true);
  }
  // The step after a stage text begins with its events processed (a map's first row).
  FProcessedAt.reset();
}

void TMainWindowModel::SetStatusText(const std::string& Text) {
  FStatusText = Text;
  if (NoticeShowing() || (FRunning && FStatusSent && FClock() - *FStatusSent < StatusInterval)) {
    FStatusPending = true;
    return;
  }
  SendStatus(false);
}

void TMainWindowModel::ShowNotice(const std::string& Text) {
  FNoticeUntil.reset();
  ShowStatus(Text);
  if (FRunning) FNoticeUntil = FClock() + NoticeTime;
}

bool TMainWindowModel::NoticeShowing() const {
  return FNoticeUntil && FClock() < *FNoticeUntil;
}

void TMainWindowModel::SendStatus(bool PaintNow) {
  FStatusPending = false;
  FStatusSent = FClock();
  FView.StatusChanged(PaintNow);
}

void TMainWindowModel::Repaint() {
  FView.PaintWindow();
}

void TMainWindowModel::ProcessMessages() {
  if (FRunning) {
    const auto Now = FClock();
    if (FProcessedAt && Now - *FProcessedAt < MessageInterval) return;
    FProcessedAt = Now;
  }
  FView.ProcessMessages();
}
