// The map boxes' context menu on Windows: the model's entries as menu items, and the entry chosen
// in the real popup menu (driven by its keyboard letter) carried out: a viewer, or the restore.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/core/viewer_placement.h"
#include "app/win32/error_display.h"
#include "app/win32/main_form.h"
#include "app/win32/map_box_menus.h"
#include "app/win32/map_viewer.h"
#include "support/temp_dir.h"
#include "viewer_test_maps.h"
#include "win32_fixture.h"

namespace {

class Win32MapBoxMenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Form.Model().MapFolder = testsupport::Utf8Of(Dir.Path());
    FSaved = SetErrorHandler([this](HWND, const std::string& M) { Errors.push_back(M); });
    Owner = Form.Handle();
    ::SetWindowPos(Owner, nullptr, 50, 50, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    Form.Show();
  }
  void TearDown() override { SetErrorHandler(FSaved); }

  // The files of Felucca and Trammel at half size, base type normal, target type X-ray.
  std::string BaseName() const { return File("MAP25166902-2.BMP"); }
  std::string ResultName() const { return File("MAP0-X2.BMP"); }
  std::string BackupName() const { return File("MAP0-X2.OLD"); }
  std::string File(const char* Name) const { return Form.Model().MapFolder + "\\" + Name; }

  // Pops the menu of Felucca and Trammel at half size up and picks the entry of Letter.
  void Choose(char Letter) {
    const LPARAM Scan = static_cast<LPARAM>(::MapVirtualKeyW(Letter, MAPVK_VK_TO_VSC)) << 16;
    ::PostMessageW(Owner, WM_KEYDOWN, static_cast<WPARAM>(Letter), Scan | 1);
    PopupMapBoxMenu(Owner, Form.Model(), 0, msHalf, POINT{60, 60});
  }

  // The viewers Owner owns.
  std::vector<TMapViewer*> Viewers() const {
    std::vector<TMapViewer*> Found;
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND Each, LPARAM List) {
          if (TMapViewer* Viewer = TMapViewer::FromHandle(Each)) {
            reinterpret_cast<std::vector<TMapViewer*>*>(List)->push_back(Viewer);
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&Found));
    return Found;
  }

  testsupport::TTempDir Dir;
  TForm1 Form;
  HWND Owner = nullptr;
  std::vector<std::string> Errors;

 private:
  TErrorHandler FSaved;
};

TEST_F(Win32MapBoxMenuTest, TheMenuHoldsTheModelsEntriesInOrderWithTheirLetters) {
  win32test::WriteMap(BaseName(), 8, 8);
  win32test::WriteMap(ResultName(), 8, 8);
  win32test::WriteMap(BackupName(), 8, 8);
  const TMenuHandle Menu = CreateMapBoxMenu(Form.Model().MapBoxMenu(0, msHalf));
  ASSERT_EQ(::GetMenuItemCount(Menu.get()), 3);
  const wchar_t* Captions[] = {L"ベースマップを表示(&B)", L"グリッドマップを表示(&G)",
                               L"バックアップから復元(&R)"};
  for (int I = 0; I < 3; ++I) {
    wchar_t Text[64] = {};
    ::GetMenuStringW(Menu.get(), I, Text, 64, MF_BYPOSITION);
    EXPECT_STREQ(Text, Captions[I]);
    EXPECT_EQ(::GetMenuItemID(Menu.get(), I), static_cast<UINT>(I + 1));
  }
}

TEST_F(Win32MapBoxMenuTest, ShowingAMapOpensAViewerOwnedByTheWindow) {
  win32test::WriteMap(BaseName(), 8, 8);
  win32test::WriteMap(ResultName(), 16, 16);
  Choose('G');
  std::vector<TMapViewer*> Shown = Viewers();
  ASSERT_EQ(Shown.size(), 1u);
  EXPECT_EQ(Shown[0]->View().FileName(), ResultName());
  EXPECT_EQ(::GetWindow(Shown[0]->Handle(), GW_OWNER), Owner);
  // Beside the window, not over it; the next one moved on from it.
  RECT Main, First, Overlap;
  ::GetWindowRect(Owner, &Main);
  ::GetWindowRect(Shown[0]->Handle(), &First);
  EXPECT_FALSE(::IntersectRect(&Overlap, &Main, &First));
  EXPECT_EQ(First.top, Main.top);
  Choose('B');
  Shown = Viewers();
  ASSERT_EQ(Shown.size(), 2u);
  for (TMapViewer* Each : Shown) {
    RECT Frame;
    ::GetWindowRect(Each->Handle(), &Frame);
    if (Each->View().FileName() == BaseName()) {
      EXPECT_EQ(Frame.top, First.top + CascadeStep);
    }
  }
  EXPECT_TRUE(Errors.empty());
}

TEST_F(Win32MapBoxMenuTest, AMapThatDoesNotLoadShowsItsErrorAndNoViewer) {
  testsupport::WriteFileBytes(BaseName(), std::vector<std::uint8_t>(60, 'x'));
  Choose('B');
  EXPECT_EQ(Errors.size(), 1u);
  EXPECT_TRUE(Viewers().empty());
}

TEST_F(Win32MapBoxMenuTest, RestoringGivesTheTargetsTheirBackupsAndSaysSo) {
  win32test::WriteMap(BaseName(), 8, 8);
  win32test::WriteMap(ResultName(), 8, 8, 1);
  const std::vector<std::uint8_t> Backup = win32test::MapFileBytes(8, 8, 2);
  testsupport::WriteFileBytes(BackupName(), Backup);
  Choose('R');
  EXPECT_EQ(testsupport::ReadFileBytes(ResultName()), Backup);
  EXPECT_EQ(Form.Model().StatusText(), " ﾌｪﾙｯｶ & ﾄﾗﾒﾙ 1/2 : 復元しました");
  EXPECT_TRUE(Errors.empty());
  EXPECT_TRUE(Viewers().empty());
}

}  // namespace
