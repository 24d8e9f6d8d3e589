// The window's rules without a window: box enabling, Make, what a run switches and where the focus
// goes, the status text, the target type, accelerators, closing and the map box menus, driven
// through a view that only records what it is asked.

#include "app/core/main_window_model.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/core/restore.h"
#include "platform/files.h"
#include "support/bmp_builder.h"
#include "support/temp_dir.h"

namespace {

using testsupport::WriteFileBytes;

class TRecordingView : public TMainWindowView {
 public:
  void StateChanged() override { ++States; }
  void StatusChanged(bool PaintNow) override {
    Given.push_back(Model->StatusText() + (PaintNow ? " (painted)" : ""));
  }
  void PaintWindow() override {}
  void ProcessMessages() override {
    if (DuringRun) DuringRun();
  }
  std::optional<std::string> PickFolder(const std::string& Start) override {
    PickerStart = Start;
    if (PickerFails) throw std::runtime_error("picker failed");
    return Picked;
  }
  void ShowAbout() override { ++Abouts; }
  void ShowViewer(const std::string& FileName) override {
    if (ViewerFails) throw std::runtime_error("does not load");
    Viewers.push_back(FileName);
  }
  void RequestClose() override { ++CloseRequests; }
  void ShowError(const std::string& Message) override { Errors.push_back(Message); }
  TFocusTarget Focus() override { return Focused; }
  void SetFocus(TMainControl Target) override { Focused = Target; }

  const TMainWindowModel* Model = nullptr;
  int States = 0;
  std::vector<std::string> Given;   // the status texts the view was given
  std::function<void()> DuringRun;  // called at every row's event processing
  std::optional<std::string> Picked;
  bool PickerFails = false;
  std::string PickerStart;
  int Abouts = 0;
  std::vector<std::string> Viewers;  // the files of the viewers shown
  bool ViewerFails = false;
  int CloseRequests = 0;
  std::vector<std::string> Errors;
  TFocusTarget Focused;
};

class MainWindowModelTest : public ::testing::Test {
 protected:
  MainWindowModelTest() { View.Model = &Model; }

  std::string Folder() const { return Dir.Path().string(); }
  void WriteBase(Facet F, MapType T, MapScale S) const {
    testsupport::TBmpLayout Bmp;
    Bmp.Width = 8;
    Bmp.Height = 16;
    Bmp.Colors = testsupport::GreyColors(256);
    Bmp.Pixels.assign(8 * 16, 100);
    WriteFileBytes(GetBaseFileName(Folder(), F, T, S), testsupport::BuildBmp(Bmp));
  }
  bool TargetExists(Facet F, MapType T, MapScale S) const {
    std::string Main, Second;
    GetTrgFileNames(Folder(), F, T, S, Main, Second);
    return FileExists(Main);
  }
  // The model over the temporary folder, shown once.
  TMainWindowModel& Shown() {
    Model.MapFolder = Folder();
    Model.FormShow();
    return Model;
  }
  std::vector<bool> Actions() const {
    std::vector<bool> On;
    for (int A = 0; A < WindowActionCount; ++A)
      On.push_back(Model.ActionEnabled(static_cast<TWindowAction>(A)));
    return On;
  }

  testsupport::TTempDir Dir;
  TRecordingView View;
  TMainWindowModel Model{View};
};

using Idle = std::vector<bool>;  // Folder, Make, Cancel, About, Quit

TEST_F(MainWindowModelTest, StartsWithEveryBoxEnabledAndTheFirstShowEnablesThoseWithBaseFiles) {
  EXPECT_EQ(Model.MapFolder, DefaultMapFolder());
  EXPECT_TRUE(Model.FirstShow);
  EXPECT_EQ(Actions(), (Idle{true, false, false, true, true}));
  EXPECT_TRUE(Model.BoxEnabled(fcMalas, msHalf));
  EXPECT_EQ(Model.GetBaseMapType(), mtNormal);
  EXPECT_EQ(Model.GetTrgMapType(), mtXRay);

  WriteBase(fcMalas, mtNormal, msHalf);
  WriteBase(fcTokuno, mtXRay, msFull);  // not of the base type
  Shown();
  EXPECT_FALSE(Model.FirstShow);
  for (Facet F = 0; F < FacetCount; ++F) {
    for (MapScale S = 0; S < MapScaleCount; ++S) {
      EXPECT_EQ(Model.BoxEnabled(F, S), F == fcMalas && S == msHalf) << int(F) << "," << int(S);
    }
  }
  WriteBase(fcIlshenar, mtNormal, msFull);
  Model.FormShow();  // later shows change nothing
  EXPECT_FALSE(Model.BoxEnabled(fcIlshenar, msFull));
  EXPECT_GT(View.States, 0);
}

TEST_F(MainWindowModelTest, MakeFollowsTheEnabledTickedBoxesAndABaseChangeKeepsTheTicks) {
  WriteBase(fcFeluccaTrammel, mtNormal, msFull);
  WriteBase(fcIlshenar, mtNoStatics, msHalf);
  Shown();
  Model.BoxClicked(fcIlshenar, msHalf, true);  // disabled: ignored by Make
  EXPECT_FALSE(Model.CheckMakable());
  EXPECT_FALSE(Model.ActionEnabled(TWindowAction::Make));
  Model.BoxClicked(fcFeluccaTrammel, msFull, true);
  EXPECT_TRUE(Model.ActionEnabled(TWindowAction::Make));

  Model.BaseSelected(1);
  EXPECT_EQ(Model.GetBaseMapType(), mtNoStatics);
  EXPECT_FALSE(Model.BoxEnabled(fcFeluccaTrammel, msFull));
  EXPECT_TRUE(Model.BoxTicked(fcFeluccaTrammel, msFull));
  EXPECT_TRUE(Model.ActionEnabled(TWindowAction::Make));  // Ilshenar half size now counts
  Model.BoxClicked(fcIlshenar, msHalf, false);
  EXPECT_FALSE(Model.ActionEnabled(TWindowAction::Make));
}

// Every change the user makes clears the status text; typing into the target box is no change.
struct TChange {
  const char* Name;
  std::function<void(TMainWindowModel&, TRecordingView&)> Make;
  bool Clears;
};

void PrintTo(const TChange& Case, std::ostream* Out) {
  *Out << Case.Name;
}

class ModelChangeTest : public MainWindowModelTest,
                        public ::testing::WithParamInterface<TChange> {};

TEST_P(ModelChangeTest, ClearsTheStatusTextOrLeavesIt) {
  Shown();
  Model.SetStatusText(" 完了しました");
  View.Picked = Folder();
  GetParam().Make(Model, View);
  EXPECT_EQ(Model.StatusText(), GetParam().Clears ? "" : " 完了しました");
  EXPECT_TRUE(View.Errors.empty());
}

const TChange Changes[] = {
    {"BoxClicked", [](TMainWindowModel& M, TRecordingView&) { M.BoxClicked(2, 1, true); }, true},
    {"BaseSelected", [](TMainWindowModel& M, TRecordingView&) { M.BaseSelected(1); }, true},
    {"TrgSelected", [](TMainWindowModel& M, TRecordingView&) { M.TrgSelected(0); }, true},
    {"FolderChosen", [](TMainWindowModel& M, TRecordingView&) { M.Execute(TWindowAction::Folder); },
     true},
    {"PickerCancelled",
     [](TMainWindowModel& M, TRecordingView& V) {
       V.Picked.reset();
       M.Execute(TWindowAction::Folder);
     },
     false},
    {"TrgTextEdited", [](TMainWindowModel& M, TRecordingView&) { M.TrgTextEdited(); }, false},
};

INSTANTIATE_TEST_SUITE_P(Changes, ModelChangeTest, ::testing::ValuesIn(Changes),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(MainWindowModelTest, TypedTargetTextMeansXRayWhateverItSpells) {
  Shown();
  Model.TrgSelected(0);
  EXPECT_EQ(Model.GetTrgMapType(), mtNormal);
  Model.TrgTextEdited();
  EXPECT_EQ(Model.TrgItemIndex(), -1);
  EXPECT_EQ(Model.GetTrgMapType(), mtXRay);
  Model.TrgSelected(1);
  EXPECT_EQ(Model.GetTrgMapType(), mtNoStatics);
}

TEST_F(MainWindowModelTest, FolderPickerStartsAtTheFolderAndItsErrorIsShown) {
  testsupport::TTempDir Other;
  WriteBase(fcFeluccaTrammel, mtNormal, msFull);
  Shown();
  View.Picked = Other.Path().string();
  Model.Execute(TWindowAction::Folder);
  EXPECT_EQ(View.PickerStart, Folder());
  EXPECT_EQ(Model.MapFolder, Other.Path().string());
  EXPECT_FALSE(Model.BoxEnabled(fcFeluccaTrammel, msFull));

  View.PickerFails = true;
  Model.Execute(TWindowAction::Folder);
  EXPECT_EQ(View.Errors, std::vector<std::string>{"picker failed"});
  EXPECT_EQ(Model.MapFolder, Other.Path().string());
}

TEST_F(MainWindowModelTest, RunSwitchesTheActionsAndBoxesActDuringItWithoutEnablingMake) {
  WriteBase(fcFeluccaTrammel, mtNormal, msFull);
  WriteBase(fcTokuno, mtNormal, msFull);
  Shown();
  Model.BoxClicked(fcFeluccaTrammel, msFull, true);
  std::vector<bool> During;
  bool MakeAfterClick = true;
  View.DuringRun = [&] {
    if (!During.empty()) return;
    During = Actions();
    Model.BoxClicked(fcTokuno, msFull, true);  // not reached yet: honoured
    Model.TrgSelected(1);
    Model.BaseSelected(0);
    MakeAfterClick = Model.ActionEnabled(TWindowAction::Make);
  };
  Model.Execute(TWindowAction::Make);
  EXPECT_EQ(During, (Idle{false, false, true, false, true}));
  EXPECT_FALSE(MakeAfterClick);
  EXPECT_EQ(Model.StatusText(), " 完了しました");
  EXPECT_TRUE(TargetExists(fcFeluccaTrammel, mtNoStatics, msFull));
  EXPECT_TRUE(TargetExists(fcTokuno, mtNoStatics, msFull));
  EXPECT_EQ(Actions(), (Idle{true, true, false, true, true}));

  // A disabled action does nothing; Make after the run is enabled whatever the boxes show.
  Model.BoxClicked(fcFeluccaTrammel, msFull, false);
  Model.BoxClicked(fcTokuno, msFull, false);
  EXPECT_FALSE(Model.ActionEnabled(TWindowAction::Make));
  Model.SetStatusText("kept");
  Model.Execute(TWindowAction::Make);
  Model.Execute(TWindowAction::Cancel);
  EXPECT_EQ(Model.StatusText(), "kept");
  EXPECT_FALSE(Model.Canceled);
}

TEST_F(MainWindowModelTest, CloseDuringARunWaitsForItsEndAndAnIdleCloseIsAtOnce) {
  WriteBase(fcFeluccaTrammel, mtNormal, msFull);
  WriteBase(fcIlshenar, mtNormal, msFull);
  Shown();
  Model.BoxClicked(fcFeluccaTrammel, msFull, true);
  Model.BoxClicked(fcIlshenar, msFull, true);
  bool MayCloseDuringRun = true;
  View.DuringRun = [&] {
    if (!Model.Closing) MayCloseDuringRun = Model.CloseRequested();
    EXPECT_EQ(View.CloseRequests, 0);
  };
  Model.Execute(TWindowAction::Make);
  EXPECT_FALSE(MayCloseDuringRun);
  EXPECT_EQ(View.CloseRequests, 1);  // after the run
  EXPECT_NE(Model.StatusText(), " 完了しました");
  EXPECT_FALSE(TargetExists(fcFeluccaTrammel, mtXRay, msFull));
  EXPECT_FALSE(TargetExists(fcIlshenar, mtXRay, msFull));

  TRecordingView IdleView;
  TMainWindowModel Idle(IdleView);
  EXPECT_TRUE(Idle.CloseRequested());
  EXPECT_TRUE(Idle.Closing);
  Idle.Execute(TWindowAction::Quit);
  EXPECT_EQ(IdleView.CloseRequests, 1);
}

// Where the focus is when the run starts, where the window puts it meanwhile, and where it is
// after the run (the view moves the focus on only when told).
struct TFocusCase {
  const char* Name;
  TFocusTarget Before;
  TFocusTarget During;
  TFocusTarget AfterRun;
};

void PrintTo(const TFocusCase& Case, std::ostream* Out) {
  *Out << Case.Name;
}

class ModelFocusTest : public MainWindowModelTest,
                       public ::testing::WithParamInterface<TFocusCase> {};

TEST_P(ModelFocusTest, ADisabledButtonsFocusWaitsOnTheWindowAndComesBack) {
  WriteBase(fcFeluccaTrammel, mtNormal, msFull);
  Shown();
  Model.Activated();
  Model.BoxClicked(fcFeluccaTrammel, msFull, true);
  View.Focused = GetParam().Before;
  TFocusTarget During = TMainControl::StsBar;  // unseen
  View.DuringRun = [&] {
    if (During == TMainControl::StsBar) During = View.Focused;
  };
  Model.Execute(TWindowAction::Make);
  EXPECT_EQ(During, GetParam().During);
  EXPECT_EQ(View.Focused, GetParam().AfterRun);
}

using enum TMainControl;
const TFocusCase FocusCases[] = {
    {"Make", MakeBtn, Form1, MakeBtn},
    {"Folder", FolderBtn, Form1, FolderBtn},
    {"About", AboutBtn, Form1, AboutBtn},
    {"Quit", QuitBtn, QuitBtn, QuitBtn},
    {"ABox", FT1CBox, FT1CBox, FT1CBox},
    {"Window", Form1, Form1, Form1},
    {"Elsewhere", std::nullopt, std::nullopt, std::nullopt},
};

INSTANTIATE_TEST_SUITE_P(Focus, ModelFocusTest, ::testing::ValuesIn(FocusCases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

// Focus on Cancel when the run ends (pressed with the keyboard): back to the button that had it.
TEST_F(MainWindowModelTest, FocusOnCancelAtTheEndOfARunGoesBackToTheButtonBeforeTheRun) {
  WriteBase(fcFeluccaTrammel, mtNormal, msFull);
  Shown();
  Model.Activated();
  Model.BoxClicked(fcFeluccaTrammel, msFull, true);
  View.Focused = MakeBtn;
  View.DuringRun = [&] {
    View.Focused = CancelBtn;
    Model.Execute(TWindowAction::Cancel);
  };
  Model.Execute(TWindowAction::Make);
  EXPECT_EQ(Model.StatusText(), " 中止しました");
  EXPECT_EQ(View.Focused, MakeBtn);
}

// A run that ends while another window (a viewer) is active gives the button its focus back
// with the activation; a control disabled while the window was inactive does not get it.
TEST_F(MainWindowModelTest, ActivationGivesTheFocusBackUnlessItsControlWasDisabledMeanwhile) {
  WriteBase(fcFeluccaTrammel, mtNormal, msFull);
  Shown();
  Model.Activated();
  EXPECT_EQ(View.Focused, FolderBtn);  // at first
  Model.BoxClicked(fcFeluccaTrammel, msFull, true);
  View.Focused = MakeBtn;
  View.DuringRun = [&] {
    if (!Model.IsActive()) return;
    Model.Deactivated();
    View.Focused.reset();  // in the viewer
  };
  Model.Execute(TWindowAction::Make);
  EXPECT_FALSE(View.Focused.has_value());  // nothing given while inactive
  Model.Activated();
  EXPECT_EQ(View.Focused, MakeBtn);

  Model.Deactivated();
  Model.BoxClicked(fcFeluccaTrammel, msFull, false);  // Make disabled meanwhile
  Model.Activated();
  EXPECT_EQ(View.Focused, Form1);

  View.Focused = FT1CBox;
  Model.Deactivated();
  Model.BaseSelected(2);  // no X-ray base file: the box is disabled
  Model.Activated();
  EXPECT_EQ(View.Focused, Form1);
}

TEST_F(MainWindowModelTest, EscapeCancelsARunAndDoesNothingWhileIdle) {
  WriteBase(fcFeluccaTrammel, mtNormal, msFull);
  Shown();
  Model.SetStatusText("kept");
  Model.EscapePressed();
  EXPECT_FALSE(Model.Canceled);
  EXPECT_EQ(Model.StatusText(), "kept");
  Model.BoxClicked(fcFeluccaTrammel, msFull, true);
  View.DuringRun = [&] { Model.EscapePressed(); };
  Model.Execute(TWindowAction::Make);
  EXPECT_EQ(Model.StatusText(), " 中止しました");
  EXPECT_FALSE(TargetExists(fcFeluccaTrammel, mtXRay, msFull));
}

// An action's Alt letter acts only while the action is enabled; either way the key is used up.
TEST_F(MainWindowModelTest, AcceleratorsActOnlyForEnabledActions) {
  WriteBase(fcFeluccaTrammel, mtNormal, msFull);
  Shown();
  EXPECT_TRUE(Model.AcceleratorPressed('a'));
  EXPECT_EQ(View.Abouts, 1);
  EXPECT_TRUE(Model.AcceleratorPressed('C'));  // Cancel: disabled while idle
  EXPECT_FALSE(Model.Canceled);
  EXPECT_TRUE(Model.AcceleratorPressed('m'));  // Make: disabled, nothing ticked
  EXPECT_EQ(Model.StatusText(), "");
  EXPECT_FALSE(Model.AcceleratorPressed('q'));  // Quit marks no letter
  EXPECT_FALSE(Model.AcceleratorPressed('x'));
  EXPECT_EQ(View.CloseRequests, 0);

  Model.BoxClicked(fcFeluccaTrammel, msFull, true);
  std::vector<bool> Used;
  View.DuringRun = [&] {
    if (!Used.empty()) return;
    for (const char Letter : {'f', 'm', 'a', 'c'}) Used.push_back(Model.AcceleratorPressed(Letter));
  };
  EXPECT_TRUE(Model.AcceleratorPressed('M'));
  EXPECT_EQ(Used, (std::vector<bool>{true, true, true, true}));
  EXPECT_EQ(View.PickerStart, "");  // Folder was disabled
  EXPECT_EQ(View.Abouts, 1);
  EXPECT_EQ(Model.StatusText(), " 中止しました");
}

// The run sets a status text after every pixel row; the view gets one at most every refresh
// interval, a stage text at once and painted, and the run's last text at its end.
TEST_F(MainWindowModelTest, StatusTextsReachTheViewAtTheScreensPaceAndTheLastOneAlways) {
  using namespace std::chrono_literals;
  std::chrono::steady_clock::time_point Now{1h};
  Model.SetClock([&Now] { return Now; });
  Model.SetRunning(true);
  View.Given.clear();
  auto Set = [&](const char* Text, std::chrono::milliseconds After) {
    Now += After;
    Model.SetStatusText(Text);
  };
  Set("row 1", 0ms);
  Set("row 2", 5ms);
  Set("row 3", 10ms);  // 15 ms after row 1
  Set("row 4", 1ms);   // 16 ms
  Set("row 5", 3ms);
  Model.ShowStatus("stage");
  Set("row 6", 1ms);
  Set("final", 1ms);
  EXPECT_EQ(Model.StatusText(), "final");
  Model.SetRunning(false);
  EXPECT_EQ(View.Given,
            (std::vector<std::string>{"row 1", "row 4", "stage (painted)", "final (painted)"}));
  Now += 1ms;
  Model.SetStatusText("restored");  // idle: at once
  EXPECT_EQ(View.Given.back(), "restored");

  // A notice stays on screen for 3 s of the run, stage texts too wait behind it; the run's end
  // shows its final text even before then, and the next run's texts are not held.
  Model.SetRunning(true);
  View.Given.clear();
  Model.ShowNotice("notice");
  Set("row 1", 20ms);
  Model.ShowStatus("stage");
  Set("row 2", 2979ms);
  Set("row 3", 1ms);  // 3 s
  Model.ShowNotice("notice again");
  Set("final", 1ms);
  Model.SetRunning(false);
  Model.SetRunning(true);
  Set("next run", 20ms);
  EXPECT_EQ(View.Given,
            (std::vector<std::string>{"notice (painted)", "row 3", "notice again (painted)",
                                      "final (painted)", "next run"}));
}

// The run asks for its events after every row; the view processes them at the first row after
// a stage text and then once per message interval.
TEST_F(MainWindowModelTest, EventsAreProcessedAfterAStageAndThenAtTheirInterval) {
  using namespace std::chrono_literals;
  std::chrono::steady_clock::time_point Now{1h};
  Model.SetClock([&Now] { return Now; });
  int Processed = 0;
  View.DuringRun = [&] { ++Processed; };
  Model.SetRunning(true);
  std::vector<int> Seen;
  for (const auto After : {0ms, 1ms, 2ms, 1ms, 3ms}) {  // at 0, 1, 3, 4 and 7 ms
    Now += After;
    Model.ProcessMessages();
    Seen.push_back(Processed);
  }
  Model.ShowStatus("stage");
  Model.ProcessMessages();
  Seen.push_back(Processed);
  EXPECT_EQ(Seen, (std::vector<int>{1, 1, 1, 2, 2, 3}));
}

// ---- the map box menus -------------------------------------------------------------------------

struct TMenuCase {
  const char* Name;
  std::vector<const char*> Files;
  Facet F;
  MapScale S;
  std::vector<TMapBoxEntryId> Entries;
};

void PrintTo(const TMenuCase& Case, std::ostream* Out) {
  *Out << Case.Name;
}

class ModelMenuTest : public MainWindowModelTest,
                      public ::testing::WithParamInterface<TMenuCase> {};

// Base type normal, target type X-ray.
TEST_P(ModelMenuTest, OffersAnEntryOnlyWhenItsFileExists) {
  for (const char* Name : GetParam().Files) WriteFileBytes(Dir.File(Name), {1});
  Shown();
  std::vector<TMapBoxEntryId> Ids;
  for (const TMapBoxEntry& E : Model.MapBoxMenu(GetParam().F, GetParam().S)) Ids.push_back(E.Id);
  EXPECT_EQ(Ids, GetParam().Entries);
}

using enum TMapBoxEntryId;
const TMenuCase MenuCases[] = {
    {"Nothing", {}, fcMalas, msFull, {}},
    {"BaseMap", {"MAP5243958-1.BMP"}, fcMalas, msFull, {ShowBaseMap}},
    {"BaseMapAndResult",
     {"MAP5243958-2.BMP", "MAP3-X2.BMP"},
     fcMalas,
     msHalf,
     {ShowBaseMap, ShowResult}},
    {"ResultAndBackup", {"MAP4-X4.BMP", "MAP4-X4.OLD"}, fcTokuno, msQuarter, {ShowResult, Restore}},
    {"SecondFeluccaBackup", {"MAP1-X1.OLD"}, fcFeluccaTrammel, msFull, {Restore}},
    {"OtherTypesAndScalesOnly",
     {"MAP3687478-X1.BMP", "MAP2-1.BMP", "MAP2-1.OLD", "MAP2-X2.OLD"},
     fcIlshenar,
     msFull,
     {}},
};

INSTANTIATE_TEST_SUITE_P(Files, ModelMenuTest, ::testing::ValuesIn(MenuCases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(MainWindowModelTest, MenuEntriesCarryTheirLettersAndRestoreOnlyWhileIdle) {
  WriteFileBytes(Dir.File("MAP2-X2.BMP"), {1});
  WriteFileBytes(Dir.File("MAP2-X2.OLD"), {2});
  WriteBase(fcMalas, mtNormal, msFull);
  Shown();
  Model.BoxClicked(fcMalas, msFull, true);
  std::vector<TMapBoxEntry> DuringRun;
  View.DuringRun = [&] {
    DuringRun = Model.MapBoxMenu(fcIlshenar, msHalf);
    Model.MapBoxEntryChosen(fcIlshenar, msHalf, Restore);  // a menu left open from before
  };
  Model.Execute(TWindowAction::Make);
  ASSERT_EQ(DuringRun.size(), 1u);
  EXPECT_EQ(DuringRun[0].Id, ShowResult);
  EXPECT_EQ(testsupport::ReadFileBytes(Dir.File("MAP2-X2.OLD")), std::vector<std::uint8_t>{2});

  const std::vector<TMapBoxEntry> Entries = Model.MapBoxMenu(fcIlshenar, msHalf);
  ASSERT_EQ(Entries.size(), 2u);
  EXPECT_STREQ(Entries[0].Caption, "グリッドマップを表示(&G)");
  EXPECT_STREQ(Entries[1].Caption, "バックアップから復元(&R)");
  Model.MapBoxEntryChosen(fcIlshenar, msHalf, Restore);
  EXPECT_EQ(testsupport::ReadFileBytes(Dir.File("MAP2-X2.BMP")), std::vector<std::uint8_t>{2});
  EXPECT_EQ(Model.StatusText(), " イルシェナー 1/2 : 復元しました");
  EXPECT_TRUE(View.Errors.empty());
}

// A viewer shows the base map of the base type chosen now, the result of the target type; one
// that does not load shows its error.
TEST_F(MainWindowModelTest, ShowEntriesOpenViewersOfTheirFilesAndShowTheirErrors) {
  Shown();
  Model.BaseSelected(1);
  Model.TrgSelected(0);
  Model.MapBoxEntryChosen(fcTokuno, msQuarter, ShowBaseMap);
  Model.MapBoxEntryChosen(fcTokuno, msQuarter, ShowResult);
  EXPECT_EQ(View.Viewers,
            (std::vector<std::string>{Dir.File("MAP2097782-NS4.BMP"), Dir.File("MAP4-4.BMP")}));
  View.ViewerFails = true;
  Model.MapBoxEntryChosen(fcTokuno, msQuarter, ShowResult);
  EXPECT_EQ(View.Errors, std::vector<std::string>{"does not load"});
}

// ---- the control table -------------------------------------------------------------------------

TEST(WindowControlsTest, TabOrderRunsButtonsComboBoxesThenGroupsFullHalfQuarter) {
  std::vector<std::string> Names;
  for (const int Row : TabOrder(MainFormControls())) Names.push_back(MainFormControls()[Row].Name);
  EXPECT_EQ(Names, (std::vector<std::string>{"FolderBtn", "MakeBtn", "CancelBtn", "AboutBtn",
                                             "QuitBtn", "BaseCBox", "TrgCBox", "FT1CBox", "FT2CBox",
                                             "FT4CBox", "I1CBox", "I2CBox", "I4CBox", "M1CBox",
                                             "M2CBox", "M4CBox", "Tk1CBox", "Tk2CBox", "Tk4CBox"}));
  std::vector<std::string> Captions;
  for (const TMainControl Button : {FolderBtn, MakeBtn, CancelBtn, AboutBtn, QuitBtn}) {
    Captions.push_back(MarkedCaption(ControlRow(Button)));
  }
  EXPECT_EQ(Captions, (std::vector<std::string>{"&Folder", "&Make", "&Cancel", "&About", "Quit"}));
}

}  // namespace
