#include "browsefl/browse_folder_qt.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QWidget>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "qt_test_application.h"
#include "support/temp_dir.h"

namespace {

struct TPickerCall {
  QWidget* Owner;
  std::string Title;
  std::string StartFolder;
};

class BrowseFolderTest : public ::testing::Test {
 protected:
  void TearDown() override { TBrowseFolder::SetFolderPicker({}); }

  // Installs a picker that records its call and answers with the next of Answers.
  void AnswerWith(std::vector<std::string> Answers) {
    FAnswers = std::move(Answers);
    TBrowseFolder::SetFolderPicker(
        [this](QWidget* Owner, const std::string& Title, const std::string& Start) {
          Calls.push_back({Owner, Title, Start});
          const std::string Answer = FAnswers.empty() ? std::string() : FAnswers.front();
          if (!FAnswers.empty()) FAnswers.erase(FAnswers.begin());
          return Answer;
        });
  }

  QWidget Window;
  testsupport::TTempDir Dir;
  std::vector<TPickerCall> Calls;

 private:
  std::vector<std::string> FAnswers;
};

TEST_F(BrowseFolderTest, StartsWithEmptyTextsAndPassesOwnerTitleAndStartFolderToThePicker) {
  TBrowseFolder Browse(&Window);
  EXPECT_EQ(Browse.GetFolder(), "");
  EXPECT_EQ(Browse.GetStartFolder(), "");
  EXPECT_EQ(Browse.GetTitle(), "");
  EXPECT_EQ(Browse.parent(), &Window);

  AnswerWith({"", ""});
  Browse.SetTitle("UOAMのマップのあるフォルダを選択");
  Browse.Execute();
  Browse.SetStartFolder(Dir.Path().string());
  Browse.Execute();
  ASSERT_EQ(Calls.size(), 2u);
  EXPECT_EQ(Calls[0].Owner, &Window);
  EXPECT_EQ(Calls[0].Title, "UOAMのマップのあるフォルダを選択");
  EXPECT_EQ(Calls[0].StartFolder, "");
  EXPECT_EQ(Calls[1].StartFolder, Dir.Path().string());
}

TEST_F(BrowseFolderTest, ConfirmedFolderIsReturnedAndALaterCancelEmptiesIt) {
  TBrowseFolder Browse(&Window);
  AnswerWith({Dir.Path().string(), ""});
  EXPECT_TRUE(Browse.Execute());
  EXPECT_EQ(Browse.GetFolder(), Dir.Path().string());
  EXPECT_FALSE(Browse.Execute());
  EXPECT_EQ(Browse.GetFolder(), "");
}

struct TAnswerCase {
  const char* Name;
  std::string Answer;  // relative to the temporary folder, or absolute when it starts with /
  bool Confirmed;
  std::string Folder;  // expected, in the same form
};

void PrintTo(const TAnswerCase& Case, std::ostream* Out) {
  *Out << Case.Name;
}

class BrowseFolderAnswerTest : public BrowseFolderTest,
                               public ::testing::WithParamInterface<TAnswerCase> {
 protected:
  std::string Resolve(const std::string& Path) const {
    if (Path.empty() || Path.front() == '/') return Path;
    return Dir.Path().string() + "/" + Path;
  }
};

TEST_P(BrowseFolderAnswerTest, KeepsOnlyExistingFoldersWithoutTrailingSeparatorButTheRoot) {
  std::filesystem::create_directory(Dir.Path() / "maps");
  testsupport::WriteFileBytes(Dir.File("plain.txt"), {1});
  TBrowseFolder Browse(&Window);
  AnswerWith({Resolve(GetParam().Answer)});
  EXPECT_EQ(Browse.Execute(), GetParam().Confirmed);
  EXPECT_EQ(Browse.GetFolder(), Resolve(GetParam().Folder));
}

const TAnswerCase AnswerCases[] = {
    {"Folder", "maps", true, "maps"},
    {"FolderWithSeparator", "maps/", true, "maps"},
    {"Root", "/", true, "/"},
    {"Cancelled", "", false, ""},
    {"MissingFolder", "gone", false, ""},
    {"RegularFile", "plain.txt", false, ""},
};

INSTANTIATE_TEST_SUITE_P(Answers, BrowseFolderAnswerTest, ::testing::ValuesIn(AnswerCases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

// Qt's own folder dialog: opened modal over the owner with the title, showing the start folder
// selected in its parent folder.
TEST_F(BrowseFolderTest, PlatformPickerShowsTheStartFolderSelectedAndReturnsItWhenConfirmed) {
  Window.show();
  const std::filesystem::path Start = Dir.Path() / "maps";
  std::filesystem::create_directory(Start);
  TBrowseFolder Browse(&Window);
  Browse.SetTitle("UOAMのマップのあるフォルダを選択");
  Browse.SetStartFolder(Start.string());
  QString SeenTitle;
  QString SeenDirectory;
  QStringList SeenSelection;
  bool SeenModal = false;
  qttest::TPoller CloseDialog([&] {
    auto* Dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (Dialog == nullptr) return false;
    SeenTitle = Dialog->windowTitle();
    SeenDirectory = Dialog->directory().absolutePath();
    SeenSelection = Dialog->selectedFiles();
    SeenModal = Dialog->isModal();
    static_cast<QDialog*>(Dialog)->accept();  // the dialog's own accept, reached through QDialog
    return true;
  });
  const bool Confirmed = Browse.Execute();
  ASSERT_TRUE(CloseDialog.Done());
  EXPECT_EQ(SeenTitle, QStringLiteral("UOAMのマップのあるフォルダを選択"));
  EXPECT_EQ(SeenDirectory.toStdString(), Dir.Path().string());
  EXPECT_EQ(SeenSelection, QStringList{QString::fromStdString(Start.string())});
  EXPECT_TRUE(SeenModal);
  EXPECT_TRUE(Confirmed);
  EXPECT_EQ(Browse.GetFolder(), Start.string());
}

TEST_F(BrowseFolderTest, PlatformPickerRejectedGivesFalseAndEmptyFolder) {
  Window.show();
  TBrowseFolder Browse(&Window);
  Browse.SetStartFolder(Dir.Path().string());
  qttest::TPoller CloseDialog([&] {
    auto* Dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (Dialog == nullptr) return false;
    Dialog->reject();
    return true;
  });
  EXPECT_FALSE(Browse.Execute());
  EXPECT_TRUE(CloseDialog.Done());
  EXPECT_EQ(Browse.GetFolder(), "");
}

}  // namespace
