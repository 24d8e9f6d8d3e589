// The idle window: box enabling, Make, the status text, the target type, the folder picker, the
// About dialog, closing, and errors raised by a handler.

#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontMetrics>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QStatusBar>
#include <QTest>
#include <QTranslator>
#include <functional>
#include <ostream>
#include <stdexcept>

#include "app/qt/about_form.h"
#include "app/qt/qt_japanese.h"
#include "window_fixture.h"

namespace {

TEST_F(WindowTest, TickingAnEnabledBoxEnablesMakeAndUntickingDisablesIt) {
  WriteBase(fcMalas, mtNormal, msHalf);
  TForm1& W = ShowWindow();
  Tick(W.M2CBox);
  EXPECT_TRUE(W.M2CBox->isChecked());
  EXPECT_TRUE(W.MakeAct->isEnabled());
  EXPECT_TRUE(W.MakeBtn->isEnabled());
  Tick(W.M2CBox);
  EXPECT_FALSE(W.MakeAct->isEnabled());
  Tick(W.M1CBox);  // disabled: no base file
  EXPECT_FALSE(W.M1CBox->isChecked());
  EXPECT_FALSE(W.MakeAct->isEnabled());
}

TEST_F(WindowTest, BaseTypeChangeDisablesBoxesWithoutBaseFileButKeepsTheirTicks) {
  WriteBase(fcFeluccaTrammel, mtNormal, msFull);
  WriteBase(fcIlshenar, mtNormal, msHalf);
  WriteBase(fcIlshenar, mtNoStatics, msHalf);
  TForm1& W = ShowWindow();
  Tick(W.FT1CBox);
  Tick(W.I2CBox);
  ASSERT_TRUE(W.MakeAct->isEnabled());

  Choose(W.BaseCBox, 1);  // no statics: only Ilshenar half size exists
  EXPECT_EQ(W.GetBaseMapType(), mtNoStatics);
  EXPECT_FALSE(W.FT1CBox->isEnabled());
  EXPECT_TRUE(W.FT1CBox->isChecked());
  EXPECT_TRUE(W.I2CBox->isEnabled());
  EXPECT_TRUE(W.MakeAct->isEnabled());

  Choose(W.BaseCBox, 2);  // X-ray: nothing exists
  EXPECT_FALSE(W.FT1CBox->isEnabled());
  EXPECT_FALSE(W.I2CBox->isEnabled());
  EXPECT_TRUE(W.FT1CBox->isChecked());
  EXPECT_TRUE(W.I2CBox->isChecked());
  EXPECT_FALSE(W.CheckMakable());
  EXPECT_FALSE(W.MakeAct->isEnabled());

  Choose(W.BaseCBox, 0);
  EXPECT_TRUE(W.FT1CBox->isEnabled());
  EXPECT_TRUE(W.I2CBox->isEnabled());
  EXPECT_TRUE(W.MakeAct->isEnabled());
}

TEST_F(WindowTest, TargetTypeFollowsTheSelectedItemAndTypedTextMeansXRay) {
  WriteBase(fcFeluccaTrammel, mtNormal, msFull);
  TForm1& W = ShowWindow();
  Choose(W.TrgCBox, 0);
  EXPECT_EQ(W.GetTrgMapType(), mtNormal);
  Choose(W.TrgCBox, 1);
  EXPECT_EQ(W.GetTrgMapType(), mtNoStatics);

  // Typing selects no item and calls no handler: the status text and Make stay as they were.
  W.SetStatusText("before typing");
  QTest::keyClicks(W.TrgCBox->lineEdit(), "abc");
  EXPECT_EQ(W.TrgCBox->count(), 3);
  EXPECT_EQ(W.TrgItemIndex(), -1);
  EXPECT_EQ(W.GetTrgMapType(), mtXRay);
  EXPECT_EQ(W.GetStatusText(), "before typing");
  EXPECT_FALSE(W.MakeAct->isEnabled());

  W.TrgCBox->lineEdit()->clear();
  EXPECT_EQ(W.GetTrgMapType(), mtXRay);
  QTest::keyClick(W.TrgCBox->lineEdit(), Qt::Key_Return);  // an empty text adds no item
  EXPECT_EQ(W.TrgCBox->count(), 3);
  EXPECT_EQ(W.GetTrgMapType(), mtXRay);

  // An item's exact text, typed through the input method, then Enter and leaving the box:
  // still typed text, no selection, no handler.
  Tick(W.FT1CBox);
  ASSERT_TRUE(W.MakeAct->isEnabled());
  W.SetStatusText("before typing");
  W.TrgCBox->setFocus();
  QInputMethodEvent Typed;
  Typed.setCommitString(QStringLiteral("通常モード"));
  QApplication::sendEvent(W.TrgCBox->lineEdit(), &Typed);
  ASSERT_EQ(W.TrgCBox->currentText(), QStringLiteral("通常モード"));
  QTest::keyClick(W.TrgCBox->lineEdit(), Qt::Key_Return);
  W.FT1CBox->setFocus();
  EXPECT_EQ(W.TrgCBox->currentIndex(), 1);
  EXPECT_EQ(W.GetTrgMapType(), mtXRay);
  EXPECT_EQ(W.GetStatusText(), "before typing");
}

// Every change the user makes clears the status text.
struct TChange {
  const char* Name;
  std::function<void(WindowTest&, TForm1&)> Make;
};

void PrintTo(const TChange& Case, std::ostream* Out) {
  *Out << Case.Name;
}

class WindowChangeTest : public WindowTest, public ::testing::WithParamInterface<TChange> {
 public:
  using WindowTest::Choose;
  using WindowTest::Folder;
  using WindowTest::Tick;
};

TEST_P(WindowChangeTest, ClearsTheStatusText) {
  WriteBase(fcFeluccaTrammel, mtNormal, msFull);
  TForm1& W = ShowWindow();
  W.SetStatusText(" 完了しました");
  GetParam().Make(*this, W);
  EXPECT_EQ(W.GetStatusText(), "");
}

const TChange Changes[] = {
    {"TickBox", [](WindowTest&, TForm1& W) { WindowChangeTest::Tick(W.FT1CBox); }},
    {"BaseType", [](WindowTest&, TForm1& W) { WindowChangeTest::Choose(W.BaseCBox, 1); }},
    {"TargetType", [](WindowTest&, TForm1& W) { WindowChangeTest::Choose(W.TrgCBox, 0); }},
    {"FolderPicked",
     [](WindowTest& T, TForm1& W) {
       const std::string Picked = static_cast<WindowChangeTest&>(T).Folder();
       TBrowseFolder::SetFolderPicker(
           [Picked](QWidget*, const std::string&, const std::string&) { return Picked; });
       W.OpenFolderAct->trigger();
     }},
};

INSTANTIATE_TEST_SUITE_P(Changes, WindowChangeTest, ::testing::ValuesIn(Changes),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(WindowTest, PickedFolderBecomesMapFolderAndReenablesTheBoxes) {
  testsupport::TempDir Other;
  WriteBase(fcFeluccaTrammel, mtNormal, msFull);
  TForm1& W = ShowWindow();
  Tick(W.FT1CBox);
  ASSERT_TRUE(W.MakeAct->isEnabled());
  std::string SeenTitle;
  std::string SeenStart;
  const std::string Picked = Other.path().string();
  TBrowseFolder::SetFolderPicker([&](QWidget*, const std::string& Title, const std::string& Start) {
    SeenTitle = Title;
    SeenStart = Start;
    return Picked;
  });
  Press(W.FolderBtn);
  EXPECT_EQ(SeenTitle, "UOAMのマップのあるフォルダを選択");
  EXPECT_EQ(SeenStart, Folder());
  EXPECT_EQ(W.MapFolder, Other.path().string());
  EXPECT_FALSE(W.FT1CBox->isEnabled());
  EXPECT_TRUE(W.FT1CBox->isChecked());
  EXPECT_FALSE(W.MakeAct->isEnabled());
}

TEST_F(WindowTest, CancelledFolderPickerChangesNothing) {
  WriteBase(fcFeluccaTrammel, mtNormal, msFull);
  TForm1& W = ShowWindow();
  WriteBase(fcIlshenar, mtNormal, msFull);  // appears after the boxes were enabled
  Tick(W.FT1CBox);
  W.SetStatusText("kept");
  int Calls = 0;
  TBrowseFolder::SetFolderPicker([&](QWidget*, const std::string&, const std::string&) {
    ++Calls;
    return std::string();
  });
  Press(W.FolderBtn);
  EXPECT_EQ(Calls, 1);
  EXPECT_EQ(W.MapFolder, Folder());
  EXPECT_EQ(W.GetStatusText(), "kept");
  EXPECT_FALSE(W.I1CBox->isEnabled());
  EXPECT_TRUE(W.FT1CBox->isEnabled());
  EXPECT_TRUE(W.MakeAct->isEnabled());
  EXPECT_TRUE(Errors.empty());
}

TEST_F(WindowTest, ErrorInAHandlerIsShownAndTheWindowStaysUsable) {
  TForm1& W = ShowWindow();
  TBrowseFolder::SetFolderPicker(
      [](QWidget*, const std::string&, const std::string&) -> std::string {
        throw std::runtime_error("ファイル x は開けません");
      });
  Press(W.FolderBtn);
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_EQ(Errors[0], QStringLiteral("ファイル x は開けません"));
  EXPECT_EQ(W.MapFolder, Folder());
  EXPECT_TRUE(W.OpenFolderAct->isEnabled());
  EXPECT_TRUE(W.isVisible());
}

TEST_F(WindowTest, AboutShowsAModalDialogCreatedOnDemandAndReleasedWhenClosed) {
  TForm1& W = ShowWindow();
  EXPECT_EQ(W.findChild<QDialog*>(QStringLiteral("AboutForm")), nullptr);
  struct {
    QString Title, Text1, Text2, Button;
    QSize Size;
    QRect Bevel, Label1, Label2, Button1;
    bool Modal = false;
    QPoint CentreOffset;
    int FontPixels = 0;
  } Seen;
  qttest::TPoller CloseAbout([&] {
    auto* Dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (Dialog == nullptr || Dialog->objectName() != QStringLiteral("AboutForm")) return false;
    auto* About = static_cast<TAboutForm*>(Dialog);
    Seen = {About->windowTitle(),
            About->Label1->text(),
            About->Label2->text(),
            About->Button1->text(),
            About->size(),
            About->Bevel1->geometry(),
            About->Label1->geometry(),
            About->Label2->geometry(),
            About->Button1->geometry(),
            About->isModal(),
            About->frameGeometry().center() - W.frameGeometry().center(),
            About->Label2->font().pixelSize()};
    WindowTest::Press(About->Button1);
    return true;
  });
  Press(W.AboutBtn);
  ASSERT_TRUE(CloseAbout.Done());
  EXPECT_EQ(Seen.Title, QStringLiteral("About Veldrin"));
  EXPECT_EQ(Seen.Text1, QStringLiteral("Veldrin for UO:SE rev 0.0.6.11"));
  EXPECT_FALSE(Seen.Text2.isEmpty());
  EXPECT_EQ(Seen.Button, QStringLiteral("Ok"));
  EXPECT_EQ(Seen.Size, QSize(254, 79));
  EXPECT_EQ(Seen.Bevel, QRect(4, 4, 245, 37));
  // At least 12 pixels high: as high as their glyphs need (below).
  EXPECT_EQ(Seen.Label1, QRect(8, 8, 237, std::max(12, Seen.Label1.height())));
  EXPECT_EQ(Seen.Label2, QRect(8, 24, 237, std::max(12, Seen.Label2.height())));
  EXPECT_EQ(Seen.Button1, QRect(92, 48, 75, 25));
  EXPECT_TRUE(Seen.Modal);
  EXPECT_LE(Seen.CentreOffset.manhattanLength(), 2);
  EXPECT_EQ(Seen.FontPixels, 12);
  EXPECT_EQ(W.findChild<QDialog*>(QStringLiteral("AboutForm")), nullptr);
  EXPECT_TRUE(W.AboutAct->isEnabled());
}

// Every glyph of both labels, descenders included, lies inside its label and inside the frame.
TEST_F(WindowTest, AboutLabelsShowEveryGlyphOfTheirTexts) {
  TForm1& W = ShowWindow();
  TAboutForm About(&W);
  for (const QLabel* Label : {About.Label1, About.Label2}) {
    const QFontMetrics Metrics(Label->font());
    const QRect Glyphs = Metrics.tightBoundingRect(Label->text());  // around the baseline
    // Top-aligned: the baseline lies one ascent below the label's top.
    EXPECT_LE(Metrics.ascent() + Glyphs.bottom() + 1, Label->height())
        << Label->objectName().toStdString();
    EXPECT_LE(Metrics.height(), Label->height()) << Label->objectName().toStdString();
    EXPECT_GE(Metrics.ascent() + Glyphs.top(), 0);
    EXPECT_LE(Label->geometry().bottom(), About.Bevel1->geometry().bottom() - 1);
  }
  EXPECT_LT(About.Label1->geometry().bottom(), About.Label2->geometry().top());
}

// Enter presses a focused button as Space does, on all five and on the About dialog's Ok.
class WindowButtonKeyTest : public WindowTest, public ::testing::WithParamInterface<Qt::Key> {
 protected:
  void PressWithKey(QPushButton* Button) const {
    if (!Button->isActiveWindow()) {  // the offscreen platform does not reactivate by itself
      Button->window()->activateWindow();
      EXPECT_TRUE(QTest::qWaitForWindowActive(Button->window()));
    }
    Button->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(QApplication::focusWidget(), Button) << Button->objectName().toStdString();
    QTest::keyClick(Button, GetParam());
  }
};

TEST_P(WindowButtonKeyTest, PressesTheFocusedButton) {
  WriteBase(fcFeluccaTrammel, mtNormal, msFull, 64);
  TForm1& W = ShowActiveWindow();
  int Picks = 0;
  TBrowseFolder::SetFolderPicker([&](QWidget*, const std::string&, const std::string&) {
    ++Picks;
    return std::string();
  });
  PressWithKey(W.FolderBtn);
  EXPECT_EQ(Picks, 1);

  bool AboutShown = false;
  qttest::TPoller CloseAbout([&] {
    auto* Dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (Dialog == nullptr || Dialog->objectName() != QStringLiteral("AboutForm") ||
        !Dialog->isActiveWindow()) {
      return false;
    }
    AboutShown = true;
    PressWithKey(static_cast<TAboutForm*>(Dialog)->Button1);
    return true;
  });
  PressWithKey(W.AboutBtn);
  EXPECT_TRUE(AboutShown);
  EXPECT_TRUE(CloseAbout.Done());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

  Tick(W.FT1CBox);
  qttest::TPoller CancelRun([&] {
    if (!W.IsRunning()) return false;
    PressWithKey(W.CancelBtn);
    return true;
  });
  PressWithKey(W.MakeBtn);
  EXPECT_TRUE(CancelRun.Done());
  EXPECT_EQ(W.GetStatusText(), " 中止しました");

  PressWithKey(W.QuitBtn);
  EXPECT_TRUE(W.Closing);
  EXPECT_FALSE(W.isVisible());
}

INSTANTIATE_TEST_SUITE_P(Keys, WindowButtonKeyTest,
                         ::testing::Values(Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter),
                         [](const auto& Info) {
                           return std::string(Info.param == Qt::Key_Space    ? "Space"
                                              : Info.param == Qt::Key_Return ? "Return"
                                                                             : "Enter");
                         });

// Qt's folder picker in the window's language, opened with the map folder selected.
TEST_F(WindowTest, FolderPickerSpeaksJapaneseAndShowsTheMapFolderSelected) {
  QTranslator QtJapanese;
  ASSERT_TRUE(InstallQtJapanese(QtJapanese));
  TForm1& W = ShowWindow();
  QString LookIn, Choose, Shown;
  QStringList Selection;
  qttest::TPoller ConfirmPicker([&] {
    auto* Dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (Dialog == nullptr) return false;
    if (const auto* Label = Dialog->findChild<QLabel*>(QStringLiteral("lookInLabel")))
      LookIn = Label->text();
    if (const auto* Buttons = Dialog->findChild<QDialogButtonBox*>())
      Choose = Buttons->button(QDialogButtonBox::Open)->text();
    Selection = Dialog->selectedFiles();
    Shown = Dialog->directory().absolutePath();
    static_cast<QDialog*>(Dialog)->accept();
    return true;
  });
  Press(W.FolderBtn);
  ASSERT_TRUE(ConfirmPicker.Done());
  EXPECT_FALSE(LookIn.isEmpty());
  EXPECT_NE(LookIn, QStringLiteral("Look in:"));
  EXPECT_FALSE(Choose.isEmpty());
  EXPECT_NE(Choose, QStringLiteral("&Choose"));
  EXPECT_EQ(Shown.toStdString(), Dir.path().parent_path().string());
  EXPECT_EQ(Selection, QStringList{QString::fromStdString(Folder())});
  EXPECT_EQ(W.MapFolder, Folder());
}

TEST_F(WindowTest, AltAndTheMarkedLetterTriggersAnEnabledActionOnly) {
  WriteBase(fcFeluccaTrammel, mtNormal, msFull);
  TForm1& W = ShowActiveWindow();
  int Picks = 0;
  TBrowseFolder::SetFolderPicker([&](QWidget*, const std::string&, const std::string&) {
    ++Picks;
    return std::string();
  });
  // A button's accelerator clicks it after a short visible press, from the event loop.
  QTest::keyClick(&W, Qt::Key_F, Qt::AltModifier);
  EXPECT_TRUE(qttest::WaitFor([&] { return Picks == 1; }));
  Tick(W.FT1CBox);
  QTest::keyClick(&W, Qt::Key_C, Qt::AltModifier);  // Cancel is disabled while idle
  QCoreApplication::processEvents();  // whatever the key posted
  EXPECT_FALSE(W.Canceled);
  QTest::keyClick(&W, Qt::Key_M, Qt::AltModifier);
  EXPECT_TRUE(qttest::WaitFor([&] { return W.GetStatusText() == " 完了しました"; }));
}

// A disabled action's Alt letter does nothing, not even type its letter into the target box,
// whose typed text would quietly make the target type X-ray: idle and during a run.
TEST_F(WindowTest, AltLettersOfDisabledActionsTypeNothingIntoTheTargetBox) {
  WriteBase(fcFeluccaTrammel, mtNormal, msFull, 64);
  TForm1& W = ShowActiveWindow();
  Choose(W.TrgCBox, 0);
  const std::string Picked = W.TrgCBox->currentText().toStdString();
  auto AltKeys = [&W](std::initializer_list<Qt::Key> Keys) {
    W.TrgCBox->setFocus();
    for (const Qt::Key Key : Keys)
      QTest::keyClick(QApplication::focusWidget(), Key, Qt::AltModifier);
    return W.TrgCBox->currentText().toStdString();
  };
  EXPECT_EQ(AltKeys({Qt::Key_M, Qt::Key_C}), Picked);  // Make (nothing ticked) and Cancel
  EXPECT_EQ(W.GetTrgMapType(), mtNormal);

  Tick(W.FT1CBox);
  std::string DuringRun;
  qttest::TPoller KeysDuringRun([&] {
    if (!W.IsRunning()) return false;
    DuringRun = AltKeys({Qt::Key_M, Qt::Key_F, Qt::Key_A});
    return true;
  });
  Press(W.MakeBtn);
  ASSERT_TRUE(KeysDuringRun.Done());
  EXPECT_EQ(DuringRun, Picked);
  EXPECT_EQ(W.GetStatusText(), " 完了しました");
  EXPECT_TRUE(TargetExists(fcFeluccaTrammel, mtNormal, msFull));
  EXPECT_FALSE(TargetExists(fcFeluccaTrammel, mtXRay, msFull));
}

TEST_F(WindowTest, ClosingWhileIdleClosesTheWindowAtOnce) {
  TForm1& W = ShowWindow();
  Press(W.QuitBtn);
  EXPECT_TRUE(W.Closing);
  EXPECT_FALSE(W.isVisible());
}

// The program ends when its window closes: the message loop returns.
TEST_F(WindowTest, QuitEndsTheMessageLoop) {
  TForm1& W = ShowWindow();
  QApplication::setQuitOnLastWindowClosed(true);
  QTimer::singleShot(0, &W, [&W] { WindowTest::Press(W.QuitBtn); });
  QTimer Watchdog;  // a hang fails instead of blocking
  Watchdog.setSingleShot(true);
  QObject::connect(&Watchdog, &QTimer::timeout, [] { QCoreApplication::exit(2); });
  Watchdog.start(20000);
  const int Result = QApplication::exec();
  QApplication::setQuitOnLastWindowClosed(false);
  EXPECT_EQ(Result, 0);
  EXPECT_TRUE(W.Closing);
}

}  // namespace
