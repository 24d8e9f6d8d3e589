#pragma once

// The main window's rules without a toolkit: the settings of a run, which boxes and actions are
// enabled when, when the status text clears, where the focus goes (after a run, at activation),
// what an Alt accelerator and Escape do, which entries a map box's context menu offers and what
// each does. A window (Qt, Win32) creates the controls of its table (window_controls.h), routes
// the user's events into the model and shows the state it gives out; what only a toolkit can do,
// the model asks of the window through TMainWindowView.
//
// Every handler that changes the state calls TMainWindowView::StateChanged before it returns,
// so the controls follow the model without the window knowing any rule. The model is also the
// host of a run (TJobHost): MakeRun(Model) runs the jobs of the window, whichever toolkit shows
// it, and the window's events reach the model while the run processes its pending messages.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/core/job_host.h"
#include "app/core/map_catalogue.h"
#include "app/core/window_controls.h"

// Where the keyboard focus is: a control of the window's table, TMainControl::Form1 for the
// window itself; nothing when it is outside the window.
using TFocusTarget = std::optional<TMainControl>;

// What the model needs of the window that shows it.
class TMainWindowView {
 public:
  virtual ~TMainWindowView() = default;

  // Makes every control show the model's state: the enabled state of the actions and the map
  // boxes, the boxes' ticks and the status text. Painting may wait for the event loop.
  virtual void StateChanged() = 0;
  // Sets the status bar to the model's status text; with PaintNow it is painted before this
  // returns, otherwise when the event loop gets to it. Texts that the run sets faster than the
  // screen shows them come here at most once per StatusInterval (see SetStatusText).
  virtual void StatusChanged(bool PaintNow) = 0;
  // Paints the whole window now.
  virtual void PaintWindow() = 0;
  // Lets the toolkit act on everything pending (clicks, keys, close requests) and returns.
  virtual void ProcessMessages() = 0;

  // The folder picker, opened at Start: the folder the user confirmed, or nothing.
  virtual std::optional<std::string> PickFolder(const std::string& Start) = 0;
  // Shows the About dialog modally and returns when it has closed.
  virtual void ShowAbout() = 0;
  // Opens a viewer of the map file beside the window; an error (a file that does not load) is
  // raised.
  virtual void ShowViewer(const std::string& FileName) = 0;
  // Asks the window to close, exactly as its close button does (the window then calls
  // CloseRequested).
  virtual void RequestClose() = 0;
  // Shows an error that reached an event handler (a message box); the window stays usable.
  virtual void ShowError(const std::string& Message) = 0;
  // While Hold, a map is being reduced and saved: where the system asks, the end of the user's
  // session waits, with a reason it shows.
  virtual void HoldSessionEnd(bool /*Hold*/) {}

  // Where the keyboard focus is, and giving it to a control or to the window itself. The model
  // asks and gives it only while the window is active.
  virtual TFocusTarget Focus() = 0;
  virtual void SetFocus(TMainControl Target) = 0;
};

// One entry of a map box's context menu.
enum class TMapBoxEntryId : std::uint8_t { ShowBaseMap, ShowResult, Restore };
struct TMapBoxEntry {
  TMapBoxEntryId Id;
  const char* Caption;  // UTF-8, with the "&" before its accelerator letter
};

class TMainWindowModel : public TJobHost {
 public:
  using TClock = std::function<std::chrono::steady_clock::time_point()>;
  // A screen shows one new picture per refresh: a status text set sooner than this after the
  // last one the view was given waits (the run sets one after every pixel row).
  static constexpr std::chrono::milliseconds StatusInterval{16};
  static constexpr std::chrono::milliseconds NoticeTime{3000};
  // A run asks for its pending events after every pixel row, tens of thousands of times a
  // second; asking the toolkit costs it a system call each time. The view processes them at
  // the first row after every stage text and then at most once per MessageInterval, well
  // below what a user can tell from "after the current row".
  static constexpr std::chrono::milliseconds MessageInterval{4};

  // The state of a window just created: every box enabled and unticked, Make and Cancel
  // disabled, base type normal, target type X-ray, MapFolder the default folder, no status text.
  explicit TMainWindowModel(TMainWindowView& View);

  // The run's settings, as the window's published fields (a window may set MapFolder before it
  // is first shown).
  std::string MapFolder;
  bool Canceled = false;
  bool Closing = false;
  bool FirstShow = true;

  // ---- events in ----------------------------------------------------------------------------
  // An error raised while one of these is handled is shown through TMainWindowView::ShowError.

  // The window is shown: the first time, UpdateControls; later shows do nothing.
  void FormShow();
  // A map box was clicked and is now ticked or not.
  void BoxClicked(Facet F, MapScale S, bool Ticked);
  // An item of the base type box (0..2) was selected.
  void BaseSelected(int Item);
  // An item of the target type box (0..2) was selected from its list.
  void TrgSelected(int Item);
  // The user typed into the target box: whatever the text, no item is selected any more, so the
  // target type is X-ray, even when the text spells an item. No handler runs.
  void TrgTextEdited();
  // The window is asked to close (close button, Quit). True when it may close now; during a
  // run it closes once the run has returned (Execute asks for that).
  bool CloseRequested();
  // Performs an action if it is enabled; a disabled action does nothing. After a run during
  // which a close was requested, the window is asked to close (the error of a failed run shown
  // first).
  void Execute(TWindowAction Action);
  // Alt and Letter (either case) were pressed: the action whose caption marks the letter is
  // performed when it is enabled; a disabled action's letter does nothing. True when the letter
  // marks an action, enabled or not. An Alt combination never types text: the window drops it
  // whatever this returns.
  bool AcceleratorPressed(char Letter);
  // Escape: cancels a run; does nothing while idle.
  void EscapePressed();
  // The window became active: the focus goes back where it was when the window was last
  // deactivated (at first to the first button); to the window itself when that control is
  // disabled now.
  void Activated();
  // The window is no longer active: where its focus is now is kept for its next activation.
  void Deactivated();
  // An entry of the menu of map (F, S) was chosen: a viewer of the base map or of the result
  // (the files MapBoxMenu names), or the restore, which gives every target of the map its backup
  // back and says so in the status text. The restore does nothing during a run (a menu opened
  // before may still offer it).
  void MapBoxEntryChosen(Facet F, MapScale S, TMapBoxEntryId Entry);

  // ---- the window's published handlers and steps (errors pass through) ----------------------
  void OpenFolderActExecute();  // the picker at MapFolder; a confirmed folder: UpdateControls
  void MakeActExecute();        // one run of the map jobs
  void CancelActExecute();      // Canceled := true
  void AboutActExecute();
  void QuitActExecute();      // a close request, as the close button
  void CBClick();             // Make := CheckMakable (not during a run), status text cleared
  void BaseCBoxSelect();      // UpdateMapCBoxes, then as CBClick
  void UpdateMapCBoxes();     // enabled := the base file of the current base type exists
  void UpdateControls();      // UpdateMapCBoxes, Make := CheckMakable, status text cleared
  bool CheckMakable() const;  // a box is both enabled and ticked

  // ---- state out ----------------------------------------------------------------------------
  bool ActionEnabled(TWindowAction Action) const;
  // Whether the control takes clicks and the focus now: an action's button, a map box; the
  // other controls always.
  bool ControlEnabled(TMainControl Control) const;
  bool BoxEnabled(Facet F, MapScale S) const;
  bool BoxTicked(Facet F, MapScale S) const;
  int BaseItemIndex() const { return FBaseItem; }
  int TrgItemIndex() const { return FTrgItem; }  // -1 once text was typed
  const std::string& StatusText() const { return FStatusText; }
  bool IsRunning() const { return FRunning; }
  bool IsActive() const { return FActive; }
  // The clock that paces the status texts (steady_clock unless a test gives its own).
  void SetClock(TClock Clock) { FClock = std::move(Clock); }

  // The entries of the context menu of map (F, S) as it would pop up now, in menu order: the
  // base map when its file exists, the result when its main target file exists, the restore
  // when no run goes on and a backup of one of its targets exists.
  std::vector<TMapBoxEntry> MapBoxMenu(Facet F, MapScale S) const;

  // ---- TJobHost -----------------------------------------------------------------------------
  std::string GetMapFolder() override { return MapFolder; }
  bool MapBoxEnabled(Facet F, MapScale S) override { return BoxEnabled(F, S); }
  bool MapBoxChecked(Facet F, MapScale S) override { return BoxTicked(F, S); }
  MapType GetBaseMapType() override;
  MapType GetTrgMapType() override;
  bool GetCanceled() override { return Canceled; }
  void SetCanceled(bool Value) override { Canceled = Value; }
  bool GetClosing() override { return Closing; }
  // Running: Folder, Make and About disabled, Cancel enabled; a focused button that becomes
  // disabled hands the focus to the window meanwhile and gets it back when the run ends, also
  // when the window is inactive then (it gets it with the activation). Idle: the reverse, Make
  // enabled whatever the boxes show.
  void SetRunning(bool Running) override;
  // Sets the text and has the view paint it now, unpaced: these are a job's stage texts, each
  // just before a step that may be long (loading, saving) and must be seen during it.
  void ShowStatus(const std::string& Text) override;
  // Sets the text. During a run the view gets it now if StatusInterval has passed since it got
  // the last one, otherwise with the next text that comes after the interval, with the next
  // ShowStatus or at the end of the run, whichever is first; when idle, at once. StatusText() is
  // always the text set last.
  void SetStatusText(const std::string& Text) override;
  // Painted now, like a stage text; for NoticeTime after it the run's texts (stages too) wait
  // as SetStatusText's do, so that the notice stays readable. The run's end shows its own text.
  void ShowNotice(const std::string& Text) override;
  void Repaint() override;
  void FinishingMap(bool Begun) override { FView.HoldSessionEnd(Begun); }
  // Idle: at once. During a run: paced by MessageInterval (see there).
  void ProcessMessages() override;

 private:
  template <typename THandler>
  void Guarded(THandler Handler);
  // Gives the view the status text now (PaintNow: painted before this returns).
  void SendStatus(bool PaintNow);
  // Whether a notice is on screen and its texts must wait (see ShowNotice).
  bool NoticeShowing() const;
  // The files the menu's entries show: the base map of the current base type and the main
  // target name of the current target type.
  std::string BaseFileName(Facet F, MapScale S) const;
  std::string ResultFileName(Facet F, MapScale S) const;
  void RestoreFromBackup(Facet F, MapScale S);
  // The focus of the window, also while it is inactive (then where it will be when activated).
  TFocusTarget WindowFocus();
  void SetWindowFocus(TMainControl Target);

  TMainWindowView& FView;
  bool FMakeEnabled = false;  // while idle; during a run Make is off whatever this says
  bool FEnabled[FacetCount][MapScaleCount];
  bool FTicked[FacetCount][MapScaleCount] = {};
  int FBaseItem = 0;
  int FTrgItem = 2;
  std::string FStatusText;
  TClock FClock = [] { return std::chrono::steady_clock::now(); };
  std::optional<std::chrono::steady_clock::time_point> FStatusSent;  // when the view got one
  bool FStatusPending = false;  // StatusText() is newer than what the view has
  std::optional<std::chrono::steady_clock::time_point> FNoticeUntil;
  std::optional<std::chrono::steady_clock::time_point> FProcessedAt;  // events last processed
  bool FRunning = false;
  bool FActive = false;
  TFocusTarget FLastFocus;       // while inactive: where the focus goes at activation
  TFocusTarget FFocusBeforeRun;  // a button the run disabled while it had the focus
};
