// The context menus of the map check boxes: which entries appear for which files, how the menu
// pops up, what the entries do, and that a run leaves nothing in it that writes.

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTest>
#include <functional>
#include <string>
#include <vector>

#include "app/qt/map_box_menus.h"
#include "app/qt/map_viewer.h"
#include "platform/files.h"
#include "support/temp_dir.h"
#include "window_fixture.h"

namespace {

using testsupport::Snapshot;
using testsupport::WriteFileBytes;

std::vector<std::string> EntryNames(const QMenu* Menu) {
  std::vector<std::string> Names;
  if (Menu == nullptr) return Names;
  for (const QAction* Entry : Menu->actions()) Names.push_back(Entry->objectName().toStdString());
  return Names;
}

QAction* Entry(const QMenu& Menu, const char* Name) {
  for (QAction* A : Menu.actions()) {
    if (A->objectName() == QLatin1String(Name)) return A;
  }
  return nullptr;
}

std::vector<TMapViewer*> Viewers() {
  std::vector<TMapViewer*> Found;
  for (QWidget* Window : QApplication::topLevelWidgets()) {
    if (auto* Viewer = dynamic_cast<TMapViewer*>(Window)) Found.push_back(Viewer);
  }
  return Found;
}

class MapBoxMenuTest : public WindowTest {
 protected:
  TMapBoxMenus& Menus() { return Form->MapBoxMenus(); }
  std::string File(const char* Name) const { return Folder() + "/" + Name; }
};

// ---- entries --------------------------------------------------------------------------------

TEST_F(MapBoxMenuTest, DuringARunTheMenuOffersNothingThatWrites) {
  WriteBase(fcIlshenar, mtNormal, msFull, 64);
  WriteFileBytes(File("MAP2-X1.BMP"), {1});
  WriteFileBytes(File("MAP2-X1.OLD"), {2});
  TForm1& W = ShowWindow();
  Tick(Box(W, I1CBox));
  std::vector<std::string> DuringRun;
  qttest::TPoller Look([&] {
    if (!W.Model().IsRunning()) return false;
    DuringRun = EntryNames(Menus().CreateMenu(fcIlshenar, msFull).get());
    return true;
  });
  Press(Btn(W, MakeBtn));
  ASSERT_TRUE(Look.Done());
  EXPECT_EQ(DuringRun, (std::vector<std::string>{"ShowBaseMapItem", "ShowResultItem"}));
  EXPECT_EQ(testsupport::ReadFileBytes(File("MAP2-X1.OLD")), std::vector<std::uint8_t>{2});
  EXPECT_EQ(EntryNames(Menus().CreateMenu(fcIlshenar, msFull).get()),
            (std::vector<std::string>{"ShowBaseMapItem", "ShowResultItem", "RestoreItem"}));
}

// ---- popping up -----------------------------------------------------------------------------

// A right click, or the menu key (the platform turns it into a keyboard context-menu request for
// the focused box) or Shift+F10 on the focused box; a box that cannot be ticked has its menu too.
TEST_F(MapBoxMenuTest, PopsUpOnARightClickOrTheMenuKeyAlsoOnADisabledBox) {
  WriteFileBytes(File("MAP3-X4.BMP"), {1});
  WriteBase(fcTokuno, mtNormal, msHalf);
  TForm1& W = ShowWindow();
  ASSERT_FALSE(Box(W, M4CBox)->isEnabled());
  Box(W, Tk2CBox)->setFocus();
  auto Request = [](QContextMenuEvent::Reason Reason) {
    return [Reason](QCheckBox* Box) {
      QContextMenuEvent Event(Reason, QPoint(5, 5), Box->mapToGlobal(QPoint(5, 5)));
      QApplication::sendEvent(Box, &Event);
    };
  };
  struct TCase {
    QCheckBox* Box;
    std::function<void(QCheckBox*)> Ask;
    const char* Entry;
    const char* Text;
  };
  for (const TCase& C :
       {TCase{Box(W, M4CBox), Request(QContextMenuEvent::Mouse), "ShowResultItem",
              "グリッドマップを表示(&G)"},
        TCase{Box(W, Tk2CBox), Request(QContextMenuEvent::Keyboard), "ShowBaseMapItem",
              "ベースマップを表示(&B)"},
        TCase{Box(W, Tk2CBox),
              [](QCheckBox* Box) { QTest::keyClick(Box, Qt::Key_F10, Qt::ShiftModifier); },
              "ShowBaseMapItem", "ベースマップを表示(&B)"}}) {
    C.Ask(C.Box);
    auto* Popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(Popup, nullptr) << C.Entry;
    EXPECT_EQ(EntryNames(Popup), std::vector<std::string>{C.Entry});
    EXPECT_EQ(Popup->actions()[0]->text(), QString::fromUtf8(C.Text));
    Popup->close();
  }
}

// ---- the entries' work ----------------------------------------------------------------------

TEST_F(MapBoxMenuTest, RestoreAfterARunLeavesTheFolderAsBeforeTheRun) {
  WriteBase(fcFeluccaTrammel, mtNormal, msHalf);
  WriteFileBytes(File("MAP0-X2.BMP"), {0});
  WriteFileBytes(File("MAP1-X2.BMP"), {1});
  TForm1& W = ShowWindow();
  const auto Before = Snapshot(Dir);
  Tick(Box(W, FT2CBox));
  Press(Btn(W, MakeBtn));
  ASSERT_NE(Snapshot(Dir), Before);
  const std::unique_ptr<QMenu> Menu = Menus().CreateMenu(fcFeluccaTrammel, msHalf);
  ASSERT_NE(Entry(*Menu, "RestoreItem"), nullptr);
  Entry(*Menu, "RestoreItem")->trigger();
  EXPECT_EQ(Snapshot(Dir), Before);
  EXPECT_EQ(W.Model().StatusText(), " ﾌｪﾙｯｶ & ﾄﾗﾒﾙ 1/2 : 復元しました");
  EXPECT_TRUE(Errors.empty());
}

TEST_F(MapBoxMenuTest, ShowResultOpensAViewerAndAFileThatDoesNotLoadShowsItsError) {
  WriteBase(fcMalas, mtNormal, msFull, 24);
  WriteFileBytes(File("MAP3-X1.BMP"), std::vector<std::uint8_t>(60, 'x'));
  ShowWindow();
  const std::unique_ptr<QMenu> Menu = Menus().CreateMenu(fcMalas, msFull);
  Entry(*Menu, "ShowResultItem")->trigger();
  EXPECT_EQ(Errors.size(), 1u);
  EXPECT_TRUE(Viewers().empty());

  Entry(*Menu, "ShowBaseMapItem")->trigger();
  ASSERT_EQ(Viewers().size(), 1u);
  TMapViewer* Viewer = Viewers()[0];
  EXPECT_EQ(Viewer->View().FileName(), File("MAP5243958-1.BMP"));
  EXPECT_TRUE(Viewer->windowTitle().startsWith("MAP5243958-1.BMP - 8 x 24"));
  EXPECT_FALSE(Viewer->testAttribute(Qt::WA_QuitOnClose));
  Viewer->close();  // deleted when closed
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(Viewers().empty());
  EXPECT_EQ(Errors.size(), 1u);
}

}  // namespace
