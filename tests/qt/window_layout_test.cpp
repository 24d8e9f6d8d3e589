// The window as built: the control table followed, font, centring and the state after
// creation.

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "app/qt/about_form.h"
#include "app/qt/frame_centring.h"
#include "window_fixture.h"

namespace {

// Every widget of a table's row: named, in its parent, at its place, with its caption.
void ExpectRowsFollowed(const QWidget& Form, std::span<const TControlRow> Rows) {
  EXPECT_EQ(Form.objectName().toStdString(), Rows[0].Name);
  EXPECT_EQ(Form.windowTitle().toStdString(), Rows[0].Caption);
  EXPECT_EQ(Form.size(), QSize(Rows[0].Rect.Width, Rows[0].Rect.Height));
  for (const TControlRow& Row : Rows.subspan(1)) {
    SCOPED_TRACE(Row.Name);
    const auto* Control = Form.findChild<QWidget*>(QString::fromLatin1(Row.Name));
    ASSERT_NE(Control, nullptr);
    ASSERT_NE(Control->parentWidget(), nullptr);
    EXPECT_EQ(Control->parentWidget()->objectName().toStdString(),
              Rows[static_cast<std::size_t>(Row.Parent)].Name);
    EXPECT_EQ(Control->pos(), QPoint(Row.Rect.Left, Row.Rect.Top));
    if (Row.Kind == TControlKind::CentredLabel) {  // at least as high as its glyphs need
      EXPECT_EQ(Control->width(), Row.Rect.Width);
      EXPECT_GE(Control->height(), Row.Rect.Height);
    } else if (Row.Rect.Width != 0) {
      EXPECT_EQ(Control->size(), QSize(Row.Rect.Width, Row.Rect.Height));
    }
    EXPECT_TRUE(Control->isVisible());
    const QString Caption = QString::fromUtf8(Row.Caption);
    if (const auto* Label = qobject_cast<const QLabel*>(Control)) {
      EXPECT_EQ(Label->text(), Caption);
    }
    if (const auto* Group = qobject_cast<const QGroupBox*>(Control)) {
      EXPECT_EQ(Group->title(), Caption);
    }
    if (const auto* Button = qobject_cast<const QAbstractButton*>(Control)) {
      EXPECT_EQ(Button->text().toStdString(), MarkedCaption(Row));
      // Its Alt letter is the window's: no shortcut of its own, no tooltip.
      EXPECT_TRUE(Button->shortcut().isEmpty());
      EXPECT_TRUE(Button->toolTip().isEmpty());
      EXPECT_TRUE(Button->statusTip().isEmpty());
    }
  }
}

TEST_F(WindowTest, EveryControlSitsWhereTheTableSays) {
  TForm1& W = ShowWindow();
  ExpectRowsFollowed(W, MainFormControls());
  TAboutForm About(&W);
  About.show();
  ExpectRowsFollowed(About, AboutFormControls());
}

TEST_F(WindowTest, WindowHasAFixedSizeAndNoMaximiseButtonAndTheTypeBoxesTheirItems) {
  TForm1& W = ShowWindow();
  EXPECT_EQ(W.minimumSize(), W.maximumSize());
  EXPECT_TRUE(W.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_TRUE(W.windowFlags().testFlag(Qt::WindowSystemMenuHint));
  EXPECT_FALSE(W.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
  const QStringList Items = {QStringLiteral("通常モード"), QStringLiteral("固定物無しモード"),
                             QStringLiteral("Ｘ線モード")};
  for (QComboBox* Box : {Combo(W, BaseCBox), Combo(W, TrgCBox)}) {
    ASSERT_EQ(Box->count(), 3);
    for (int I = 0; I < 3; ++I) EXPECT_EQ(Box->itemText(I), Items[I]);
  }
  EXPECT_FALSE(Combo(W, BaseCBox)->isEditable());
  EXPECT_TRUE(Combo(W, TrgCBox)->isEditable());
}

TEST_F(WindowTest, TabOrderIsTheTables) {
  TForm1& W = ShowWindow();
  std::vector<std::string> Expected;
  for (const int Row : TabOrder(MainFormControls()))
    Expected.push_back(MainFormControls()[Row].Name);
  // Every control takes part in the chain, whether it is enabled just now or not.
  std::vector<std::string> Seen;
  const QWidget* Start = Btn(W, FolderBtn);
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
  EXPECT_EQ(Widget(W, Label1)->font().families(), Families);
  EXPECT_EQ(Box(W, FT1CBox)->font().pixelSize(), 12);
  const QFontMetrics Metrics(Widget(W, Label1)->font());
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
  EXPECT_EQ(W.Model().MapFolder, DefaultMapFolder());
  for (Facet F = 0; F < FacetCount; ++F) {
    for (MapScale S = 0; S < MapScaleCount; ++S) {
      EXPECT_TRUE(Box(W, MapCBoxControl(F, S))->isEnabled());
      EXPECT_FALSE(Box(W, MapCBoxControl(F, S))->isChecked());
    }
  }
  EXPECT_TRUE(Btn(W, FolderBtn)->isEnabled());
  EXPECT_FALSE(Btn(W, MakeBtn)->isEnabled());
  EXPECT_FALSE(Btn(W, CancelBtn)->isEnabled());
  EXPECT_TRUE(Btn(W, AboutBtn)->isEnabled());
  EXPECT_TRUE(Btn(W, QuitBtn)->isEnabled());
  EXPECT_EQ(Combo(W, BaseCBox)->currentIndex(), 0);
  EXPECT_EQ(Combo(W, TrgCBox)->currentIndex(), 2);
  EXPECT_EQ(Combo(W, TrgCBox)->currentText(), QStringLiteral("Ｘ線モード"));
  EXPECT_EQ(W.Model().GetBaseMapType(), mtNormal);
  EXPECT_EQ(W.Model().GetTrgMapType(), mtXRay);
  EXPECT_EQ(W.Model().StatusText(), "");
}

TEST_F(WindowTest, FirstShowEnablesOnlyBoxesWithBaseFilesAndLaterShowsChangeNothing) {
  WriteBase(fcFeluccaTrammel, mtNormal, msFull);
  WriteBase(fcTokuno, mtNormal, msQuarter);
  WriteBase(fcMalas, mtXRay, msHalf);  // not of the base type
  TForm1& W = ShowWindow();
  EXPECT_FALSE(W.Model().FirstShow);
  for (int F = 0; F < FacetCount; ++F) {
    for (int S = 0; S < MapScaleCount; ++S) {
      const bool Exists =
          (F == fcFeluccaTrammel && S == msFull) || (F == fcTokuno && S == msQuarter);
      EXPECT_EQ(Box(W, MapCBoxControl(F, S))->isEnabled(), Exists) << F << "," << S;
      EXPECT_FALSE(Box(W, MapCBoxControl(F, S))->isChecked());
    }
  }
  EXPECT_FALSE(Btn(W, MakeBtn)->isEnabled());

  W.hide();
  WriteBase(fcIlshenar, mtNormal, msFull);
  W.show();
  EXPECT_FALSE(Box(W, I1CBox)->isEnabled());
}

}  // namespace
