// The window as built: geometry, texts, actions, tab order, font and the state after creation.

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QStatusBar>
#include <ostream>
#include <string>
#include <vector>

#include "app/qt/about_form.h"
#include "app/qt/frame_centring.h"
#include "window_fixture.h"

namespace {

struct TPlace {
  const char* Name;
  const char* Parent;
  int Left, Top, Width, Height;  // Width 0: the control sizes itself to its text
};

const TPlace Places[] = {
    {"Panel1", "Form1", 0, 0, 318, 29},     {"FolderBtn", "Panel1", 4, 4, 45, 21},
    {"MakeBtn", "Panel1", 52, 4, 45, 21},   {"CancelBtn", "Panel1", 100, 4, 45, 21},
    {"AboutBtn", "Panel1", 148, 4, 45, 21}, {"QuitBtn", "Panel1", 266, 4, 47, 21},
    {"BaseCBox", "Form1", 4, 32, 117, 20},  {"Label1", "Form1", 128, 36, 0, 0},
    {"TrgCBox", "Form1", 4, 56, 117, 20},   {"Label2", "Form1", 128, 60, 0, 0},
    {"FTGBox", "Form1", 4, 80, 153, 41},    {"MGBox", "Form1", 160, 80, 153, 41},
    {"IGBox", "Form1", 4, 124, 153, 41},    {"TkGBox", "Form1", 160, 124, 153, 41},
    {"FT1CBox", "FTGBox", 8, 16, 49, 17},   {"FT2CBox", "FTGBox", 60, 16, 41, 17},
    {"FT4CBox", "FTGBox", 104, 16, 45, 17}, {"I1CBox", "IGBox", 8, 16, 49, 17},
    {"I2CBox", "IGBox", 60, 16, 41, 17},    {"I4CBox", "IGBox", 104, 16, 45, 17},
    {"M1CBox", "MGBox", 8, 16, 49, 17},     {"M2CBox", "MGBox", 60, 16, 41, 17},
    {"M4CBox", "MGBox", 104, 16, 45, 17},   {"Tk1CBox", "TkGBox", 8, 16, 49, 17},
    {"Tk2CBox", "TkGBox", 60, 16, 41, 17},  {"Tk4CBox", "TkGBox", 104, 16, 45, 17},
    {"StsBar", "Form1", 0, 168, 318, 19},
};

void PrintTo(const TPlace& Case, std::ostream* Out) {
  *Out << Case.Name;
}

class WindowPlaceTest : public WindowTest, public ::testing::WithParamInterface<TPlace> {};

TEST_P(WindowPlaceTest, ControlSitsAtItsPlaceInItsParent) {
  TForm1& W = ShowWindow();
  const TPlace& P = GetParam();
  const auto* Control = W.findChild<QWidget*>(QString::fromLatin1(P.Name));
  ASSERT_NE(Control, nullptr);
  ASSERT_NE(Control->parentWidget(), nullptr);
  EXPECT_EQ(Control->parentWidget()->objectName().toStdString(), P.Parent);
  EXPECT_EQ(Control->pos(), QPoint(P.Left, P.Top));
  if (P.Width != 0) {
    EXPECT_EQ(Control->size(), QSize(P.Width, P.Height));
  }
  EXPECT_TRUE(Control->isVisible());
}

INSTANTIATE_TEST_SUITE_P(Layout, WindowPlaceTest, ::testing::ValuesIn(Places),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(WindowTest, WindowHasFixedClientSizeCaptionAndNoMaximiseButton) {
  TForm1& W = ShowWindow();
  EXPECT_EQ(W.objectName(), QStringLiteral("Form1"));
  EXPECT_EQ(W.windowTitle(), QStringLiteral("Veldrin for UO:SE"));
  EXPECT_EQ(W.size(), QSize(318, 187));
  EXPECT_EQ(W.minimumSize(), QSize(318, 187));
  EXPECT_EQ(W.maximumSize(), QSize(318, 187));
  EXPECT_TRUE(W.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_TRUE(W.windowFlags().testFlag(Qt::WindowSystemMenuHint));
  EXPECT_FALSE(W.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
}

TEST_F(WindowTest, ControlsCarryTheirTextsAndItems) {
  TForm1& W = ShowWindow();
  EXPECT_EQ(W.Label1->text(), QStringLiteral("をベースにグリッドマップを作成して"));
  EXPECT_EQ(W.Label2->text(), QStringLiteral("にグリッドマップを設定する"));
  EXPECT_EQ(W.FTGBox->title(), QStringLiteral("フェルッカ＆トラメル"));
  EXPECT_EQ(W.IGBox->title(), QStringLiteral("イルシェナー"));
  EXPECT_EQ(W.MGBox->title(), QStringLiteral("マラス"));
  EXPECT_EQ(W.TkGBox->title(), QStringLiteral("徳之島"));
  const QString ScaleTexts[] = {QStringLiteral("等倍"), QStringLiteral("1/2"),
                                QStringLiteral("1/4")};
  for (int F = 0; F < FacetCount; ++F) {
    for (int S = 0; S < MapScaleCount; ++S) {
      EXPECT_EQ(W.MapCBoxes[F][S]->text(), ScaleTexts[S]) << F << "," << S;
    }
  }
  const QStringList Items = {QStringLiteral("通常モード"), QStringLiteral("固定物無しモード"),
                             QStringLiteral("Ｘ線モード")};
  for (QComboBox* Box : {W.BaseCBox, W.TrgCBox}) {
    ASSERT_EQ(Box->count(), 3);
    for (int I = 0; I < 3; ++I) EXPECT_EQ(Box->itemText(I), Items[I]);
  }
  EXPECT_FALSE(W.BaseCBox->isEditable());
  EXPECT_TRUE(W.TrgCBox->isEditable());
}

// The twelve boxes, by world and zoom level, in the groups the worlds name.
TEST_F(WindowTest, MapBoxArrayFollowsWorldsAndZoomLevels) {
  TForm1& W = ShowWindow();
  const char* const Names[FacetCount][MapScaleCount] = {{"FT1CBox", "FT2CBox", "FT4CBox"},
                                                        {"I1CBox", "I2CBox", "I4CBox"},
                                                        {"M1CBox", "M2CBox", "M4CBox"},
                                                        {"Tk1CBox", "Tk2CBox", "Tk4CBox"}};
  for (int F = 0; F < FacetCount; ++F) {
    for (int S = 0; S < MapScaleCount; ++S) {
      EXPECT_EQ(W.MapCBoxes[F][S]->objectName().toStdString(), Names[F][S]);
    }
  }
}

struct TActionRow {
  const char* Name;
  const char* Button;
  const char* Caption;
  const char* Hint;
  bool EnabledAtStart;
};

const TActionRow ActionRows[] = {
    {"OpenFolderAct", "FolderBtn", "&Folder", "マップの存在するフォルダを選択", true},
    {"MakeAct", "MakeBtn", "&Make", "グリッドマップ作成", false},
    {"CancelAct", "CancelBtn", "&Cancel", "作成中止", false},
    {"AboutAct", "AboutBtn", "&About", "About Veldrin", true},
    {"QuitAct", "QuitBtn", "Quit", "終了", true},
};

void PrintTo(const TActionRow& Case, std::ostream* Out) {
  *Out << Case.Name;
}

class WindowActionTest : public WindowTest, public ::testing::WithParamInterface<TActionRow> {};

TEST_P(WindowActionTest, ActionHasCaptionStoredHintStartStateAndItsButtonShowsNoTooltip) {
  TForm1& W = ShowWindow();
  const TActionRow& R = GetParam();
  const auto* Act = W.findChild<QAction*>(QString::fromLatin1(R.Name));
  ASSERT_NE(Act, nullptr);
  EXPECT_EQ(Act->text(), QString::fromUtf8(R.Caption));
  EXPECT_EQ(Act->statusTip(), QString::fromUtf8(R.Hint));
  EXPECT_EQ(Act->isEnabled(), R.EnabledAtStart);
  const auto* Btn = W.findChild<QPushButton*>(QString::fromLatin1(R.Button));
  ASSERT_NE(Btn, nullptr);
  EXPECT_EQ(Btn->text(), Act->text());
  EXPECT_EQ(Btn->isEnabled(), Act->isEnabled());
  EXPECT_TRUE(Btn->toolTip().isEmpty());
  EXPECT_TRUE(Btn->statusTip().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Actions, WindowActionTest, ::testing::ValuesIn(ActionRows),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(WindowTest, TabOrderRunsButtonsComboBoxesThenGroupsFullHalfQuarter) {
  TForm1& W = ShowWindow();
  const std::vector<std::string> Expected = {
      "FolderBtn", "MakeBtn", "CancelBtn", "AboutBtn", "QuitBtn", "BaseCBox", "TrgCBox",
      "FT1CBox",   "FT2CBox", "FT4CBox",   "I1CBox",   "I2CBox",  "I4CBox",   "M1CBox",
      "M2CBox",    "M4CBox",  "Tk1CBox",   "Tk2CBox",  "Tk4CBox"};
  // Every control takes part in the chain, whether it is enabled just now or not.
  std::vector<std::string> Seen;
  const QWidget* Start = W.FolderBtn;
  const QWidget* Current = Start;
  do {
    const std::string Name = Current->objectName().toStdString();
    if ((Current->focusPolicy() & Qt::TabFocus) && !Name.empty()) Seen.push_back(Name);
    Current = Current->nextInFocusChain();
  } while (Current != Start && Seen.size() < 100);
  EXPECT_EQ(Seen, Expected);
}

TEST_F(WindowTest, FontIsTwelvePixelsWithAJapaneseCapableFallback) {
  TForm1& W = ShowWindow();
  const QStringList Families = W.font().families();
  ASSERT_GE(Families.size(), 2);
  EXPECT_EQ(Families.front(), QStringLiteral("ＭＳ Ｐゴシック"));
  EXPECT_EQ(W.font().pixelSize(), 12);
  // Every control inherits it, and the font that is actually used has the Japanese glyphs.
  EXPECT_EQ(W.Label1->font().families(), Families);
  EXPECT_EQ(W.FT1CBox->font().pixelSize(), 12);
  const QFontMetrics Metrics(W.Label1->font());
  for (const char16_t C : u"をベ徳島等倍線") {
    if (C != 0) {
      EXPECT_TRUE(Metrics.inFont(QChar(C))) << static_cast<int>(C);
    }
  }
}

// Windows are centred by their frames, title bar included; the offscreen platform's frames are
// even all round, so the frames of a window manager are given here.
struct TCentring {
  const char* Name;
  QRect Area;
  QSize Client;
  QMargins Frame;
  QPoint FrameTopLeft;
};

void PrintTo(const TCentring& Case, std::ostream* Out) {
  *Out << Case.Name;
}

class FrameCentringTest : public ::testing::TestWithParam<TCentring> {};

TEST_P(FrameCentringTest, PutsTheFramesCentreOnTheAreasCentre) {
  const TCentring& C = GetParam();
  const QPoint TopLeft = CentredFramePos(C.Area, C.Client, C.Frame);
  EXPECT_EQ(TopLeft, C.FrameTopLeft);
  const QRect Frame(TopLeft, C.Client.grownBy(C.Frame));
  EXPECT_LE((Frame.center() - C.Area.center()).manhattanLength(), 1);
}

const TCentring Centrings[] = {
    // The main window on a 1024 x 768 desktop under a 20-pixel title bar without side borders.
    {"TitleBarOnly", QRect(0, 0, 1024, 768), QSize(318, 187), QMargins(0, 20, 0, 0),
     QPoint(353, 280)},
    {"TitleBarAndBorders", QRect(0, 0, 1024, 768), QSize(318, 187), QMargins(4, 24, 4, 4),
     QPoint(349, 276)},
    {"NoFrame", QRect(0, 0, 1024, 768), QSize(318, 187), QMargins(), QPoint(353, 290)},
    // The About dialog on the main window's frame.
    {"OnAnotherFrame", QRect(353, 280, 318, 207), QSize(254, 79), QMargins(0, 20, 0, 0),
     QPoint(385, 334)},
};

INSTANTIATE_TEST_SUITE_P(Frames, FrameCentringTest, ::testing::ValuesIn(Centrings),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(WindowTest, WindowAndAboutDialogAreCentredByTheirFrames) {
  // Shown before its frame was known, the window is centred again once it is active.
  TForm1& W = ShowActiveWindow();
  const QRect Desktop = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_LE((W.frameGeometry().center() - Desktop.center()).manhattanLength(), 1);
  TAboutForm About(&W);
  About.show();
  EXPECT_LE((About.frameGeometry().center() - W.frameGeometry().center()).manhattanLength(), 1);
}

TEST_F(WindowTest, CreatedWindowHasEveryBoxEnabledAndUntickedMakeAndCancelDisabled) {
  WriteBase(fcFeluccaTrammel, mtNormal, msFull);
  TForm1 W;
  EXPECT_EQ(W.MapFolder, DefaultMapFolder());
  EXPECT_FALSE(W.Canceled);
  EXPECT_FALSE(W.Closing);
  EXPECT_TRUE(W.FirstShow);
  for (const auto& Row : W.MapCBoxes) {
    for (const QCheckBox* Box : Row) {
      EXPECT_TRUE(Box->isEnabled());
      EXPECT_FALSE(Box->isChecked());
    }
  }
  EXPECT_TRUE(W.OpenFolderAct->isEnabled());
  EXPECT_FALSE(W.MakeAct->isEnabled());
  EXPECT_FALSE(W.CancelAct->isEnabled());
  EXPECT_TRUE(W.AboutAct->isEnabled());
  EXPECT_TRUE(W.QuitAct->isEnabled());
  EXPECT_EQ(W.BaseCBox->currentIndex(), 0);
  EXPECT_EQ(W.TrgCBox->currentIndex(), 2);
  EXPECT_EQ(W.TrgCBox->currentText(), QStringLiteral("Ｘ線モード"));
  EXPECT_EQ(W.GetBaseMapType(), mtNormal);
  EXPECT_EQ(W.GetTrgMapType(), mtXRay);
  EXPECT_EQ(W.GetStatusText(), "");
}

TEST_F(WindowTest, FirstShowEnablesOnlyBoxesWithBaseFilesAndLaterShowsChangeNothing) {
  WriteBase(fcFeluccaTrammel, mtNormal, msFull);
  WriteBase(fcTokuno, mtNormal, msQuarter);
  WriteBase(fcMalas, mtXRay, msHalf);  // not of the base type
  TForm1& W = ShowWindow();
  EXPECT_FALSE(W.FirstShow);
  for (int F = 0; F < FacetCount; ++F) {
    for (int S = 0; S < MapScaleCount; ++S) {
      const bool Exists =
          (F == fcFeluccaTrammel && S == msFull) || (F == fcTokuno && S == msQuarter);
      EXPECT_EQ(W.MapCBoxes[F][S]->isEnabled(), Exists) << F << "," << S;
      EXPECT_FALSE(W.MapCBoxes[F][S]->isChecked());
    }
  }
  EXPECT_FALSE(W.MakeAct->isEnabled());

  W.hide();
  WriteBase(fcIlshenar, mtNormal, msFull);
  W.show();
  EXPECT_FALSE(W.I1CBox->isEnabled());
}

}  // namespace
