// Runs started with the Make button: the actions during and after a run, and what Cancel,
// Escape, a close request and another window's activation do while the run processes its
// pending events.

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QStatusBar>
#include <QTest>
#include <functional>
#include <ostream>
#include <string>

#include "platform/files.h"
#include "window_fixture.h"

namespace {

// True once the status text shows the grid of the map being drawn (" イルシェナー 等倍").
bool Drawing(const TForm1& W, const std::string& Map) {
  return W.Model().StatusText().rfind(Map + " : drawing[", 0) == 0;
}

TEST_F(WindowTest, RunEndsWithTheFinalTextAndRestoresTheActions) {
  WriteBase(fcFeluccaTrammel, mtNormal, msFull);
  WriteBase(fcTokuno, mtNormal, msQuarter);
  TForm1& W = ShowWindow();
  Tick(Box(W, FT1CBox));
  Tick(Box(W, Tk4CBox));
  bool FolderOn = true, Make = true, About = true, Cancel = false, Quit = false, Running = false;
  qttest::TPoller DuringRun([&] {
    if (!W.Model().IsRunning()) return false;
    FolderOn = Btn(W, FolderBtn)->isEnabled();
    Make = Btn(W, MakeBtn)->isEnabled();
    About = Btn(W, AboutBtn)->isEnabled();
    Cancel = Btn(W, CancelBtn)->isEnabled();
    Quit = Btn(W, QuitBtn)->isEnabled();
    Running = true;
    return true;
  });
  Press(Btn(W, MakeBtn));
  ASSERT_TRUE(Running);
  EXPECT_FALSE(FolderOn);
  EXPECT_FALSE(Make);
  EXPECT_FALSE(About);
  EXPECT_TRUE(Cancel);
  EXPECT_TRUE(Quit);

  EXPECT_EQ(W.Model().StatusText(), " 完了しました");
  EXPECT_TRUE(Errors.empty());
  ExpectIdleActions(true);
  EXPECT_TRUE(TargetExists("MAP0-X1.BMP"));
  EXPECT_TRUE(FileExists(Folder() + "/MAP1-X1.BMP"));
  EXPECT_TRUE(TargetExists("MAP4-X4.BMP"));
  EXPECT_FALSE(TargetExists("MAP2-X1.BMP"));
}

// Keys go where the keyboard focus is. Make was clicked with the mouse, so no focus frame
// shows where that is: neither key may reach Quit.
TEST_F(WindowTest, SpaceAndEnterDuringAndAfterARunStartedWithTheMouseQuitNothing) {
  WriteBase(fcFeluccaTrammel, mtNormal, msFull, 64);
  TForm1& W = ShowActiveWindow();
  Tick(Box(W, FT1CBox));
  auto PressKeys = [] {
    for (const Qt::Key Key : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter}) {
      QWidget* Focused = QApplication::focusWidget();
      ASSERT_NE(Focused, nullptr);
      QTest::keyClick(Focused, Key);
    }
  };
  qttest::TPoller KeysDuringRun([&] {
    if (!Drawing(W, " ﾌｪﾙｯｶ & ﾄﾗﾒﾙ 等倍")) return false;
    PressKeys();
    return true;
  });
  Press(Btn(W, MakeBtn));
  ASSERT_TRUE(KeysDuringRun.Done());
  EXPECT_FALSE(W.Model().Closing);
  EXPECT_EQ(W.Model().StatusText(), " 完了しました");
  EXPECT_TRUE(TargetExists("MAP0-X1.BMP"));
  // The focus is back on Make: the keys make the map again, which is what they aim at.
  EXPECT_EQ(QApplication::focusWidget(), Btn(W, MakeBtn));
  PressKeys();
  EXPECT_FALSE(W.Model().Closing);
  EXPECT_TRUE(W.isVisible());
  EXPECT_EQ(W.Model().StatusText(), " 完了しました");
  ExpectIdleActions(true);
}

// Escape reaches the model from whichever control has the focus, and the window's own focus.
TEST_F(WindowTest, EscapeDuringARunCancelsIt) {
  WriteBase(fcFeluccaTrammel, mtNormal, msFull, 64);
  TForm1& W = ShowActiveWindow();
  Tick(Box(W, FT1CBox));
  qttest::TPoller PressEscape([&] {
    if (!W.Model().IsRunning()) return false;
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    return true;
  });
  Press(Btn(W, MakeBtn));
  ASSERT_TRUE(PressEscape.Done());
  EXPECT_EQ(W.Model().StatusText(), " 中止しました");
  EXPECT_FALSE(FileExists(Folder() + "/MAP0-X1.BMP"));
}

// Another window (a viewer) active when the run ends: back in the window, the button pressed
// has the focus again and Space presses it.
TEST_F(WindowTest, TheFocusComesBackWithTheActivationAfterARunThatEndedElsewhere) {
  WriteBase(fcFeluccaTrammel, mtNormal, msFull, 64);
  TForm1& W = ShowActiveWindow();
  Tick(Box(W, FT1CBox));
  Btn(W, MakeBtn)->setFocus(Qt::TabFocusReason);
  QWidget Other;
  qttest::TPoller Elsewhere([&] {
    if (!W.Model().IsRunning()) return false;
    Other.show();
    return qttest::Activate(Other);
  });
  QTest::keyClick(Btn(W, MakeBtn), Qt::Key_Space);
  ASSERT_TRUE(Elsewhere.Done());
  ASSERT_EQ(W.Model().StatusText(), " 完了しました");
  ASSERT_TRUE(qttest::Activate(W));
  EXPECT_EQ(QApplication::focusWidget(), Btn(W, MakeBtn));
}

TEST_F(WindowTest, CancelDuringTheSecondOfThreeMapsStopsBeforeItIsSaved) {
  TForm1& W = ShowWithThreeMapsTicked();
  qttest::TPoller PressCancel([&] {
    if (!Drawing(W, " イルシェナー 等倍")) return false;
    Press(Btn(W, CancelBtn));
    return true;
  });
  Press(Btn(W, MakeBtn));
  ASSERT_TRUE(PressCancel.Done());
  EXPECT_TRUE(W.Model().Canceled);
  EXPECT_EQ(W.Model().StatusText(), " 中止しました");
  EXPECT_TRUE(TargetExists("MAP0-X1.BMP"));
  EXPECT_FALSE(TargetExists("MAP2-X1.BMP"));
  EXPECT_FALSE(TargetExists("MAP3-X1.BMP"));
  ExpectIdleActions(true);
  EXPECT_TRUE(W.isVisible());
}

// The window's close button and Quit are the same close request.
struct TCloseRequest {
  const char* Name;
  std::function<void(TForm1&)> Send;
};

void PrintTo(const TCloseRequest& Case, std::ostream* Out) {
  *Out << Case.Name;
}

class WindowCloseDuringRunTest : public WindowTest,
                                 public ::testing::WithParamInterface<TCloseRequest> {
 public:
  using WindowTest::Press;
};

TEST_P(WindowCloseDuringRunTest, StopsAfterTheRowSavesNothingMoreAndClosesAfterTheRun) {
  TForm1& W = ShowWithThreeMapsTicked();
  std::string TextAtRequest;
  bool VisibleAfterRequest = false;
  qttest::TPoller RequestClose([&] {
    if (!Drawing(W, " イルシェナー 等倍")) return false;
    TextAtRequest = W.Model().StatusText();
    GetParam().Send(W);
    // The run is still on the stack: the window must outlive it.
    VisibleAfterRequest = W.isVisible();
    return true;
  });
  Press(Btn(W, MakeBtn));
  ASSERT_TRUE(RequestClose.Done());
  EXPECT_TRUE(VisibleAfterRequest);
  EXPECT_TRUE(W.Model().Closing);
  EXPECT_FALSE(W.isVisible());
  // No final text: the last text is that of the row the request came after.
  EXPECT_EQ(W.Model().StatusText(), TextAtRequest);
  EXPECT_TRUE(TargetExists("MAP0-X1.BMP"));
  EXPECT_FALSE(TargetExists("MAP2-X1.BMP"));
  EXPECT_FALSE(TargetExists("MAP3-X1.BMP"));
  EXPECT_FALSE(W.Model().IsRunning());
  EXPECT_TRUE(Errors.empty());
}

const TCloseRequest CloseRequests[] = {
    {"CloseButton", [](TForm1& W) { W.close(); }},
    {"QuitButton", [](TForm1& W) { WindowCloseDuringRunTest::Press(Btn(W, QuitBtn)); }},
};

INSTANTIATE_TEST_SUITE_P(Requests, WindowCloseDuringRunTest, ::testing::ValuesIn(CloseRequests),
                         [](const auto& Info) { return std::string(Info.param.Name); });

// The program ends once the run has returned to the message loop.
TEST_F(WindowTest, CloseDuringARunEndsTheMessageLoopAfterTheRun) {
  WriteBase(fcFeluccaTrammel, mtNormal, msFull);
  WriteBase(fcIlshenar, mtNormal, msFull);
  TForm1& W = ShowWindow();
  Tick(Box(W, FT1CBox));
  Tick(Box(W, I1CBox));
  qttest::TPoller RequestClose([&] {
    if (!Drawing(W, " ﾌｪﾙｯｶ & ﾄﾗﾒﾙ 等倍")) return false;
    W.close();
    return true;
  });
  QApplication::setQuitOnLastWindowClosed(true);
  // Pressed once the loop below runs.
  QMetaObject::invokeMethod(
      &W, [&W] { WindowTest::Press(Btn(W, MakeBtn)); }, Qt::QueuedConnection);
  QTimer Watchdog;
  Watchdog.setSingleShot(true);
  QObject::connect(&Watchdog, &QTimer::timeout, [] { QCoreApplication::exit(2); });
  Watchdog.start(20000);
  const int Result = QApplication::exec();
  QApplication::setQuitOnLastWindowClosed(false);
  EXPECT_EQ(Result, 0);
  EXPECT_TRUE(RequestClose.Done());
  EXPECT_FALSE(TargetExists("MAP0-X1.BMP"));
  EXPECT_FALSE(TargetExists("MAP2-X1.BMP"));
}

TEST_F(WindowTest, ErrorDuringARunIsShownWithTheActionsRestoredAndNoFinalText) {
  testsupport::WriteFileBytes(GetBaseFileName(Folder(), fcIlshenar, mtNormal, msFull),
                              {'B', 'M', 0, 0});
  WriteBase(fcTokuno, mtNormal, msFull);
  TForm1& W = ShowWindow();
  Tick(Box(W, I1CBox));
  Tick(Box(W, Tk1CBox));
  Press(Btn(W, MakeBtn));
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_EQ(Errors[0], QStringLiteral("ストリームからの読み込みエラー"));
  EXPECT_NE(W.Model().StatusText(), " 完了しました");
  EXPECT_FALSE(TargetExists("MAP4-X1.BMP"));  // the error ended the whole run
  ExpectIdleActions(true);

  // Still usable: the next run, without the broken map, completes.
  Tick(Box(W, I1CBox));
  Press(Btn(W, MakeBtn));
  EXPECT_EQ(Errors.size(), 1u);
  EXPECT_EQ(W.Model().StatusText(), " 完了しました");
  EXPECT_TRUE(TargetExists("MAP4-X1.BMP"));
}

TEST_F(WindowTest, ErrorDuringARunAppearsInAMessageBoxWithTheApplicationsTitle) {
  ::SetErrorHandler({});  // the real message box
  testsupport::WriteFileBytes(GetBaseFileName(Folder(), fcIlshenar, mtNormal, msFull),
                              {'B', 'M', 0, 0});
  TForm1& W = ShowWindow();
  Tick(Box(W, I1CBox));
  QString Title, Text;
  bool CancelEnabledWhileShown = true;
  qttest::TPoller CloseBox([&] {
    auto* Box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (Box == nullptr) return false;
    Title = Box->windowTitle();
    Text = Box->text();
    CancelEnabledWhileShown = Btn(W, CancelBtn)->isEnabled();
    Box->accept();
    return true;
  });
  Press(Btn(W, MakeBtn));
  ASSERT_TRUE(CloseBox.Done());
  EXPECT_EQ(Title, QGuiApplication::applicationDisplayName());
  EXPECT_EQ(Text, QStringLiteral("ストリームからの読み込みエラー"));
  // The run's clean-up came before the message.
  EXPECT_FALSE(CancelEnabledWhileShown);
  ExpectIdleActions(true);
}

}  // namespace
