// The Windows form of the folder picker component: what it passes to the picker and keeps of its
// answer, and the shell's own picker opened for real (under Wine on a virtual display).

#include "browsefl/browse_folder_win32.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <ole2.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "support/test_watchdog.h"

namespace {

class BrowseFolderWin32Test : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(::OleInitialize(nullptr))); }
  void TearDown() override {
    TBrowseFolder::SetFolderPicker({});
    ::OleUninitialize();
  }
};

struct TPickerCall {
  HWND Owner;
  std::string Title;
  std::string StartFolder;
};

TEST_F(BrowseFolderWin32Test, PassesOwnerTitleAndStartFolderAndKeepsTheAnswerUnchanged) {
  const HWND Owner = ::GetDesktopWindow();
  std::vector<TPickerCall> Calls;
  std::vector<std::string> Answers = {"C:\\", "C:\\maps", ""};
  TBrowseFolder::SetFolderPicker(
      [&](HWND Window, const std::string& Title, const std::string& Start) {
        Calls.push_back({Window, Title, Start});
        const std::string Answer = Answers.front();
        Answers.erase(Answers.begin());
        return Answer;
      });
  TBrowseFolder Browse(Owner);
  EXPECT_EQ(Browse.GetFolder(), "");
  Browse.SetTitle("UOAMのマップのあるフォルダを選択");
  EXPECT_TRUE(Browse.Execute());
  EXPECT_EQ(Browse.GetFolder(), "C:\\");  // a drive root keeps its separator
  Browse.SetStartFolder("C:\\");
  EXPECT_TRUE(Browse.Execute());
  EXPECT_EQ(Browse.GetFolder(), "C:\\maps");
  EXPECT_FALSE(Browse.Execute());  // cancelled: the earlier answer goes
  EXPECT_EQ(Browse.GetFolder(), "");
  ASSERT_EQ(Calls.size(), 3u);
  EXPECT_EQ(Calls[0].Owner, Owner);
  EXPECT_EQ(Calls[0].Title, "UOAMのマップのあるフォルダを選択");
  EXPECT_EQ(Calls[0].StartFolder, "");
  EXPECT_EQ(Calls[1].StartFolder, "C:\\");
}

// Presses a button of the thread's open picker as soon as its folder tree has selected the folder
// named PickerLeaf (the shell fills and expands the tree after the picker shows): the tree's own
// notification of the change, seen as it returns, is the moment.
WPARAM PickerButton = IDOK;
std::wstring PickerLeaf;
bool PickerPressed = false;

std::wstring SelectedFolder(HWND Tree) {
  const auto Item = reinterpret_cast<HTREEITEM>(::SendMessageW(Tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
  if (Item == nullptr) return {};
  wchar_t Text[MAX_PATH] = {};
  TVITEMW Info{};
  Info.mask = TVIF_TEXT;
  Info.hItem = Item;
  Info.pszText = Text;
  Info.cchTextMax = MAX_PATH;
  ::SendMessageW(Tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&Info));
  return Text;
}

LRESULT CALLBACK PressWhenSelected(int Code, WPARAM WParam, LPARAM LParam) {
  const auto* Sent = reinterpret_cast<const CWPRETSTRUCT*>(LParam);
  if (Code == HC_ACTION && !PickerPressed && Sent->message == WM_NOTIFY) {
    const auto* Header = reinterpret_cast<const NMHDR*>(Sent->lParam);
    if (Header->code == TVN_SELCHANGEDW && SelectedFolder(Header->hwndFrom) == PickerLeaf) {
      PickerPressed = true;
      ::PostMessageW(Sent->hwnd, WM_COMMAND, PickerButton, 0);
    }
  }
  return ::CallNextHookEx(nullptr, Code, WParam, LParam);
}

struct TShellCase {
  const char* Name;
  WPARAM Button;
  bool Confirmed;
};

class ShellPickerTest : public BrowseFolderWin32Test,
                        public ::testing::WithParamInterface<TShellCase> {};

// A start folder that Wine's picker can select. It finds the folder by comparing each folder on
// the path as it read it when it parsed the path with what it lists of the folder above a moment
// later, access times included. A folder first read in between does not match and the picker
// stays on its default: one that another test changes meanwhile (the temporary folder, where
// every test makes its own), or one changed since it was last read (a new folder's parent).
// Hence the profile folder, and each folder on the path read once beforehand. Its name is not
// ASCII, so that it crosses the component's UTF-8 boundary both ways.
class TProfileFolder {
 public:
  TProfileFolder()
      : FPath(std::filesystem::path(_wgetenv(L"USERPROFILE")) /
              (L"veldrin-picker-マップ-" + std::to_wstring(::GetCurrentProcessId()))) {
    std::filesystem::create_directory(FPath);
    for (auto Folder = FPath; Folder.has_relative_path(); Folder = Folder.parent_path()) {
      for ([[maybe_unused]] const auto& Entry : std::filesystem::directory_iterator(Folder)) {
      }
    }
  }
  ~TProfileFolder() {
    std::error_code Ignored;
    std::filesystem::remove(FPath, Ignored);
  }
  const std::filesystem::path& Path() const { return FPath; }

 private:
  std::filesystem::path FPath;
};

TEST_P(ShellPickerTest, OpensOnTheStartFolderAndReturnsItWhenConfirmed) {
  const TProfileFolder Folder;
  const std::u8string Utf8Start = Folder.Path().u8string();
  const std::string Start(Utf8Start.begin(), Utf8Start.end());
  TBrowseFolder Browse(nullptr);
  Browse.SetTitle("UOAMのマップのあるフォルダを選択");
  Browse.SetStartFolder(Start);
  PickerButton = GetParam().Button;
  PickerLeaf = Folder.Path().filename().wstring();
  PickerPressed = false;
  // A picker that never selects its start folder waits for ever: the test fails by its limit.
  testsupport::LimitThisTest(std::chrono::seconds(60));
  const HHOOK Hook =
      ::SetWindowsHookExW(WH_CALLWNDPROCRET, PressWhenSelected, nullptr, ::GetCurrentThreadId());
  ASSERT_NE(Hook, nullptr);
  const bool Confirmed = Browse.Execute();
  ::UnhookWindowsHookEx(Hook);
  ASSERT_TRUE(PickerPressed);
  EXPECT_EQ(Confirmed, GetParam().Confirmed);
  EXPECT_EQ(Browse.GetFolder(), GetParam().Confirmed ? Start : "");
}

const TShellCase ShellCases[] = {{"Confirmed", IDOK, true}, {"Cancelled", IDCANCEL, false}};
INSTANTIATE_TEST_SUITE_P(Buttons, ShellPickerTest, ::testing::ValuesIn(ShellCases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

}  // namespace
