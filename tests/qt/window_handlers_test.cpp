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
#include <stdexcept>

#include "app/qt/about_form.h"
#include "app/qt/qt_japanese.h"
#include "window_fixture.h"

namespace {

TEST_F(WindowTest, TickingAnEnabledBoxEnablesMakeAndUntickingDisablesIt) {
  WriteBase(fcMalas, mtNormal, msHalf);
  TForm1& W = ShowWindow();
  Tick(Box(W, M2CBox));
  EXPECT_TRUE(Box(W, M2CBox)->isChecked());
  EXPECT_TRUE(Btn(W, MakeBtn)->isEnabled());
  EXPECT_TRUE(Btn(W, MakeBtn)->isEnabled());
  Tick(Box(W, M2CBox));
  EXPECT_FALSE(Btn(W, MakeBtn)->isEnabled());
  Tick(Box(W, M1CBox));  // disabled: no base file
  EXPECT_FALSE(Box(W, M1CBox)->isChecked());
  EXPECT_FALSE(Btn(W, MakeBtn)->isEnabled());
}

TEST_F(WindowTest, BaseTypeChangeDisablesBoxesWithoutBaseFileButKeepsTheirTicks) {
  WriteBase(fcFeluccaTrammel, mtNormal, msFull);
  WriteBase(fcIlshenar, mtNormal, msHalf);
  WriteBase(fcIlshenar, mtNoStatics, msHalf);
  TForm1& W = ShowWindow();
  Tick(Box(W, FT1CBox));
  Tick(Box(W, I2CBox));
  ASSERT_TRUE(Btn(W, MakeBtn)->isEnabled());

  Choose(Combo(W, BaseCBox), 1);  // no statics: only Ilshenar half size exists
  EXPECT_EQ(W.Model().GetBaseMapType(), mtNoStatics);
  EXPECT_FALSE(Box(W, FT1CBox)->isEnabled());
  EXPECT_TRUE(Box(W, FT1CBox)->isChecked());
  EXPECT_TRUE(Box(W, I2CBox)->isEnabled());
  EXPECT_TRUE(Btn(W, MakeBtn)->isEnabled());

  Choose(Combo(W, BaseCBox), 2);  // X-ray: nothing exists
  EXPECT_FALSE(Box(W, FT1CBox)->isEnabled());
  EXPECT_FALSE(Box(W, I2CBox)->isEnabled());
  EXPECT_TRUE(Box(W, FT1CBox)->isChecked());
  EXPECT_TRUE(Box(W, I2CBox)->isChecked());
  EXPECT_FALSE(W.Model().CheckMakable());
  EXPECT_FALSE(Btn(W, MakeBtn)->isEnabled());

  Choose(Combo(W, BaseCBox), 0);
  EXPECT_TRUE(Box(W, FT1CBox)->isEnabled());
  EXPECT_TRUE(Box(W, I2CBox)->isEnabled());
  EXPECT_TRUE(Btn(W, MakeBtn)->isEnabled());
}

TEST_F(WindowTest, TargetTypeFollowsTheSelectedItemAndTypedTextMeansXRay) {
  WriteBase(fcFeluccaTrammel, mtNormal, msFull);
  TForm1& W = ShowWindow();
  Choose(Combo(W, TrgCBox), 0);
  EXPECT_EQ(W.Model().GetTrgMapType(), mtNormal);
  Choose(Combo(W, TrgCBox), 1);
  EXPECT_EQ(W.Model().GetTrgMapType(), mtNoStatics);

  // Typing selects no item and calls no handler: the status text and Make stay as they were.
  W.Model().SetStatusText("before typing");
  QTest::keyClicks(Combo(W, TrgCBox)->lineEdit(), "abc");
  EXPECT_EQ(Combo(W, TrgCBox)->count(), 3);
  EXPECT_EQ(W.Model().TrgItemIndex(), -1);
  EXPECT_EQ(W.Model().GetTrgMapType(), mtXRay);
  EXPECT_EQ(W.Model().StatusText(), "before typing");
  EXPECT_FALSE(Btn(W, MakeBtn)->isEnabled());
  // The window shows the model's state anew; the typed text stays.
  Tick(Box(W, FT2CBox));
  EXPECT_EQ(Combo(W, TrgCBox)->currentText(), QStringLiteral("固定物無しモードabc"));

  Combo(W, TrgCBox)->lineEdit()->clear();
  EXPECT_EQ(W.Model().GetTrgMapType(), mtXRay);
  QTest::keyClick(Combo(W, TrgCBox)->lineEdit(), Qt::Key_Return);  // an empty text adds no item
  EXPECT_EQ(Combo(W, TrgCBox)->count(), 3);
  EXPECT_EQ(W.Model().GetTrgMapType(), mtXRay);

  // An item's exact text, typed through the input method, then Enter and leaving the box:
  // still typed text, no selection, no handler.
  Tick(Box(W, FT1CBox));
  ASSERT_TRUE(Btn(W, MakeBtn)->isEnabled());
  W.Model().SetStatusText("before typing");
  Combo(W, TrgCBox)->setFocus();
  QInputMethodEvent Typed;
  Typed.setCommitString(QStringLiteral("通常モード"));
  QApplication::sendEvent(Combo(W, TrgCBox)->lineEdit(), &Typed);
  ASSERT_EQ(Combo(W, TrgCBox)->currentText(), QStringLiteral("通常モード"));
  QTest::keyClick(Combo(W, TrgCBox)->lineEdit(), Qt::Key_Return);
  Box(W, FT1CBox)->setFocus();
  EXPECT_EQ(Combo(W, TrgCBox)->currentIndex(), 1);
  EXPECT_EQ(W.Model().GetTrgMapType(), mtXRay);
  EXPECT_EQ(W.Model().StatusText(), "before typing");
}

TEST_F(WindowTest, PickedFolderBecomesMapFolderAndReenablesTheBoxes) {
  testsupport::TTempDir Other;
  WriteBase(fcFeluccaTrammel, mtNormal, msFull);
  TForm1& W = ShowWindow();
  Tick(Box(W, FT1CBox));
  ASSERT_TRUE(Btn(W, MakeBtn)->isEnabled());
  std::string SeenTitle;
  std::string SeenStart;
  const std::string Picked = Other.Path().string();
  TBrowseFolder::SetFolderPicker([&](QWidget*, const std::string& Title, const std::string& Start) {
    SeenTitle = Title;
    SeenStart = Start;
    return Picked;
  });
  Press(Btn(W, FolderBtn));
  EXPECT_EQ(SeenTitle, "UOAMのマップのあるフォルダを選択");
  EXPECT_EQ(SeenStart, Folder());
  EXPECT_EQ(W.Model().MapFolder, Other.Path().string());
  EXPECT_FALSE(Box(W, FT1CBox)->isEnabled());
  EXPECT_TRUE(Box(W, FT1CBox)->isChecked());
  EXPECT_FALSE(Btn(W, MakeBtn)->isEnabled());
}

TEST_F(WindowTest, CancelledFolderPickerChangesNothing) {
  WriteBase(fcFeluccaTrammel, mtNormal, msFull);
  TForm1& W = ShowWindow();
  WriteBase(fcIlshenar, mtNormal, msFull);  // appears after the boxes were enabled
  Tick(Box(W, FT1CBox));
  W.Model().SetStatusText("kept");
  int Calls = 0;
  TBrowseFolder::SetFolderPicker([&](QWidget*, const std::string&, const std::string&) {
    ++Calls;
    return std::string();
  });
  Press(Btn(W, FolderBtn));
  EXPECT_EQ(Calls, 1);
  EXPECT_EQ(W.Model().MapFolder, Folder());
  EXPECT_EQ(W.Model().StatusText(), "kept");
  EXPECT_FALSE(Box(W, I1CBox)->isEnabled());
  EXPECT_TRUE(Box(W, FT1CBox)->isEnabled());
  EXPECT_TRUE(Btn(W, MakeBtn)->isEnabled());
  EXPECT_TRUE(Errors.empty());
}

TEST_F(WindowTest, ErrorInAHandlerIsShownAndTheWindowStaysUsable) {
  TForm1& W = ShowWindow();
  TBrowseFolder::SetFolderPicker(
      [](QWidget*, const std::string&, const std::string&) -> std::string {
        throw std::runtime_error("ファイル x は開けません");
      });
  Press(Btn(W, FolderBtn));
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_EQ(Errors[0], QStringLiteral("ファイル x は開けません"));
  EXPECT_EQ(W.Model().MapFolder, Folder());
  EXPECT_TRUE(Btn(W, FolderBtn)->isEnabled());
  EXPECT_TRUE(W.isVisible());
}

TEST_F(WindowTest, AboutShowsAModalDialogCreatedOnDemandAndReleasedWhenClosed) {
  TForm1& W = ShowWindow();
  EXPECT_EQ(W.findChild<QDialog*>(QStringLiteral("AboutForm")), nullptr);
  struct {
    QString Title, Text1;
    bool Modal = false;
    QPoint CentreOffset;
    int FontPixels = 0;
  } Seen;
  qttest::TPoller CloseAbout([&] {
    auto* Dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (Dialog == nullptr || Dialog->objectName() != QStringLiteral("AboutForm")) return false;
    auto* About = static_cast<TAboutForm*>(Dialog);
    const auto* Label1 = static_cast<QLabel*>(About->Control(TAboutControl::Label1));
    Seen = {About->windowTitle(), Label1->text(), About->isModal(),
            About->frameGeometry().center() - W.frameGeometry().center(),
            Label1->font().pixelSize()};
    WindowTest::Press(static_cast<QPushButton*>(About->Control(TAboutControl::Button1)));
    return true;
  });
  Press(Btn(W, AboutBtn));
  ASSERT_TRUE(CloseAbout.Done());
  EXPECT_EQ(Seen.Title, QStringLiteral("About Veldrin"));
  EXPECT_EQ(Seen.Text1, QStringLiteral("Veldrin for UO:SE rev 0.0.6.11"));
  EXPECT_TRUE(Seen.Modal);
  EXPECT_LE(Seen.CentreOffset.manhattanLength(), 2);
  EXPECT_EQ(Seen.FontPixels, 12);
  EXPECT_EQ(W.findChild<QDialog*>(QStringLiteral("AboutForm")), nullptr);
  EXPECT_TRUE(Btn(W, AboutBtn)->isEnabled());
}

// Every glyph of both labels, descenders included, lies inside its label and inside the frame.
TEST_F(WindowTest, AboutLabelsShowEveryGlyphOfTheirTexts) {
  TForm1& W = ShowWindow();
  TAboutForm About(&W);
  const auto* Label1 = static_cast<QLabel*>(About.Control(TAboutControl::Label1));
  const auto* Label2 = static_cast<QLabel*>(About.Control(TAboutControl::Label2));
  for (const QLabel* Label : {Label1, Label2}) {
    const QFontMetrics Metrics(Label->font());
    const QRect Glyphs = Metrics.tightBoundingRect(Label->text());  // around the baseline
    // Top-aligned: the baseline lies one ascent below the label's top.
    EXPECT_LE(Metrics.ascent() + Glyphs.bottom() + 1, Label->height())
        << Label->objectName().toStdString();
    EXPECT_LE(Metrics.height(), Label->height()) << Label->objectName().toStdString();
    EXPECT_GE(Metrics.ascent() + Glyphs.top(), 0);
    EXPECT_LE(Label->geometry().bottom(),
              About.Control(TAboutControl::Bevel1)->geometry().bottom() - 1);
  }
  EXPECT_LT(Label1->geometry().bottom(), Label2->geometry().top());
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
  PressWithKey(Btn(W, FolderBtn));
  EXPECT_EQ(Picks, 1);

  bool AboutShown = false;
  qttest::TPoller CloseAbout([&] {
    auto* Dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (Dialog == nullptr || Dialog->objectName() != QStringLiteral("AboutForm") ||
        !Dialog->isActiveWindow()) {
      return false;
    }
    AboutShown = true;
    PressWithKey(static_cast<QPushButton*>(
        static_cast<TAboutForm*>(Dialog)->Control(TAboutControl::Button1)));
    return true;
  });
  PressWithKey(Btn(W, AboutBtn));
  EXPECT_TRUE(AboutShown);
  EXPECT_TRUE(CloseAbout.Done());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

  Tick(Box(W, FT1CBox));
  qttest::TPoller CancelRun([&] {
    if (!W.Model().IsRunning()) return false;
    PressWithKey(Btn(W, CancelBtn));
    return true;
  });
  PressWithKey(Btn(W, MakeBtn));
  EXPECT_TRUE(CancelRun.Done());
  EXPECT_EQ(W.Model().StatusText(), " 中止しました");

  PressWithKey(Btn(W, QuitBtn));
  EXPECT_TRUE(W.Model().Closing);
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
  Press(Btn(W, FolderBtn));
  ASSERT_TRUE(ConfirmPicker.Done());
  EXPECT_FALSE(LookIn.isEmpty());
  EXPECT_NE(LookIn, QStringLiteral("Look in:"));
  EXPECT_FALSE(Choose.isEmpty());
  EXPECT_NE(Choose, QStringLiteral("&Choose"));
  EXPECT_EQ(Shown.toStdString(), Dir.Path().parent_path().string());
  EXPECT_EQ(Selection, QStringList{QString::fromStdString(Folder())});
  EXPECT_EQ(W.Model().MapFolder, Folder());
}

TEST_F(WindowTest, AltAndTheMarkedLetterTriggersAnEnabledActionOnly) {
  WriteBase(fcFeluccaTrammel, mtNormal, msFull);
  TForm1& W = ShowActiveWindow();
  int Picks = 0;
  TBrowseFolder::SetFolderPicker([&](QWidget*, const std::string&, const std::string&) {
    ++Picks;
    return std::string();
  });
  // From the window and from whichever control has the focus, straight to the model.
  QTest::keyClick(&W, Qt::Key_F, Qt::AltModifier);
  EXPECT_EQ(Picks, 1);
  Tick(Box(W, FT1CBox));
  QTest::keyClick(Box(W, FT1CBox), Qt::Key_C, Qt::AltModifier);  // Cancel is disabled while idle
  EXPECT_FALSE(W.Model().Canceled);
  QTest::keyClick(Combo(W, BaseCBox), Qt::Key_M, Qt::AltModifier);
  EXPECT_EQ(W.Model().StatusText(), " 完了しました");
}

// A disabled action's Alt letter does nothing, not even type its letter into the target box,
// whose typed text would quietly make the target type X-ray: idle and during a run.
TEST_F(WindowTest, AltLettersOfDisabledActionsTypeNothingIntoTheTargetBox) {
  WriteBase(fcFeluccaTrammel, mtNormal, msFull, 64);
  TForm1& W = ShowActiveWindow();
  Choose(Combo(W, TrgCBox), 0);
  const std::string Picked = Combo(W, TrgCBox)->currentText().toStdString();
  auto AltKeys = [&W](std::initializer_list<Qt::Key> Keys) {
    Combo(W, TrgCBox)->setFocus();
    for (const Qt::Key Key : Keys)
      QTest::keyClick(QApplication::focusWidget(), Key, Qt::AltModifier);
    return Combo(W, TrgCBox)->currentText().toStdString();
  };
  EXPECT_EQ(AltKeys({Qt::Key_M, Qt::Key_C}), Picked);  // Make (nothing ticked) and Cancel
  EXPECT_EQ(W.Model().GetTrgMapType(), mtNormal);

  Tick(Box(W, FT1CBox));
  std::string DuringRun;
  qttest::TPoller KeysDuringRun([&] {
    if (!W.Model().IsRunning()) return false;
    DuringRun = AltKeys({Qt::Key_M, Qt::Key_F, Qt::Key_A});
    return true;
  });
  Press(Btn(W, MakeBtn));
  ASSERT_TRUE(KeysDuringRun.Done());
  EXPECT_EQ(DuringRun, Picked);
  EXPECT_EQ(W.Model().StatusText(), " 完了しました");
  EXPECT_TRUE(TargetExists("MAP0-1.BMP"));
  EXPECT_FALSE(TargetExists("MAP0-X1.BMP"));
}

TEST_F(WindowTest, ClosingWhileIdleClosesTheWindowAtOnce) {
  TForm1& W = ShowWindow();
  Press(Btn(W, QuitBtn));
  EXPECT_TRUE(W.Model().Closing);
  EXPECT_FALSE(W.isVisible());
}

// The program ends when its window closes: the message loop returns.
TEST_F(WindowTest, QuitEndsTheMessageLoop) {
  TForm1& W = ShowWindow();
  QApplication::setQuitOnLastWindowClosed(true);
  // Pressed once the loop below runs.
  QMetaObject::invokeMethod(
      &W, [&W] { WindowTest::Press(Btn(W, QuitBtn)); }, Qt::QueuedConnection);
  QTimer Watchdog;  // a hang fails instead of blocking
  Watchdog.setSingleShot(true);
  QObject::connect(&Watchdog, &QTimer::timeout, [] { QCoreApplication::exit(2); });
  Watchdog.start(20000);
  const int Result = QApplication::exec();
  QApplication::setQuitOnLastWindowClosed(false);
  EXPECT_EQ(Result, 0);
  EXPECT_TRUE(W.Model().Closing);
}

}  // namespace
