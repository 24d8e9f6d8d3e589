// Second names for a file that never replace a backup, by hard link and, where the file cannot
// be linked, by a flushed copy. The copy is reached here through an immutable file (Linux, and
// only with the right to set that flag; skipped otherwise). Replacing a map that another program
// holds open; the folder lock and the leftovers of killed runs.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/exceptions.h"
#include "platform/files.h"
#include "platform/streams.h"
#include "support/os_test.h"
#include "support/temp_dir.h"

namespace {

using testsupport::FileNames;
using testsupport::ReadFileBytes;
using testsupport::TTempDir;
using testsupport::WriteFileBytes;
using Bytes = std::vector<std::uint8_t>;

TEST(KeepCopy, NoReplaceMakesTheNameOnceAndKeepsWhatExists) {
  TTempDir Dir;
  WriteFileBytes(Dir.File("MAP0-X1.BMP"), {1});
  EXPECT_TRUE(KeepCopyNoReplace(Dir.File("MAP0-X1.BMP"), Dir.File("MAP0-X1.OLD")));
  WriteFileBytes(Dir.File("MAP1-X1.BMP"), {2});
  EXPECT_FALSE(KeepCopyNoReplace(Dir.File("MAP1-X1.BMP"), Dir.File("MAP0-X1.OLD")));
  EXPECT_EQ(ReadFileBytes(Dir.File("MAP0-X1.OLD")), Bytes{1});
  EXPECT_THROW(KeepCopyNoReplace(Dir.File("missing"), Dir.File("missing.OLD")), EFOpenError);
  EXPECT_EQ(FileNames(Dir), (std::vector<std::string>{"MAP0-X1.BMP", "MAP0-X1.OLD", "MAP1-X1.BMP"}));
}

TEST(KeepCopy, WithoutAHardLinkAFlushedCopyTakesTheNameAndNothingIsLeftOver) {
  TTempDir Dir;
  const std::string Target = Dir.File("MAP0-X1.BMP");
  WriteFileBytes(Target, {1, 2, 3});
  namespace fs = std::filesystem;
  const fs::perms Mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
  fs::permissions(Target, Mode);
  WriteFileBytes(Dir.File("MAP0-X1_BAD_DATA.BMP"), {9});
  {
    testsupport::ImmutableFile Frozen(Target);
    if (!Frozen.On()) GTEST_SKIP() << "files cannot be made immutable here (Linux only)";
    EXPECT_TRUE(KeepCopyNoReplace(Target, Dir.File("MAP0-X1.OLD")));
    EXPECT_FALSE(KeepCopyNoReplace(Target, Dir.File("MAP0-X1.OLD")));
    KeepCopyReplacing(Target, Dir.File("MAP0-X1_BAD_DATA.BMP"));
  }
  EXPECT_EQ(ReadFileBytes(Dir.File("MAP0-X1.OLD")), (Bytes{1, 2, 3}));
  EXPECT_EQ(ReadFileBytes(Dir.File("MAP0-X1_BAD_DATA.BMP")), (Bytes{1, 2, 3}));
  EXPECT_EQ(fs::status(Dir.File("MAP0-X1.OLD")).permissions(), Mode);
  EXPECT_EQ(fs::hard_link_count(Target), 1u);
  EXPECT_EQ(FileNames(Dir), (std::vector<std::string>{"MAP0-X1.BMP", "MAP0-X1.OLD",
                                                      "MAP0-X1_BAD_DATA.BMP"}));
}

// ---- replacing a file that another program holds open ----------------------------------------

namespace replacing {

using testsupport::HeldOpenFile;

const Bytes Old{'o', 'l', 'd'};
const Bytes New{'n', 'e', 'w', '!'};

void WriteNew(TStream& Stream) {
  Stream.WriteBuffer(New.data(), 4);
}

// Linux and Windows 10 1809 on NTFS replace it; an older Windows, another file system, or Wine
// (whose rename refuses a target that is open) cannot, and must then say so and lose nothing.
TEST(ReplaceOpenFile, AMapAViewerReadsWithDeleteSharingIsReplacedOrKeptWhole) {
  TTempDir Dir;
  const std::string Map = Dir.File("MAP0-X1.BMP");
  WriteFileBytes(Map, Old);
  HeldOpenFile Viewer(Map, true);
  ASSERT_TRUE(Viewer.Open());
  try {
    WriteFileReplacing(Map, WriteNew);
    EXPECT_EQ(ReadFileBytes(Map), New);
  } catch (const EFReplaceError& E) {
    EXPECT_TRUE(testsupport::OnWindows()) << E.what();
    EXPECT_EQ(std::string(E.what()),
              "ファイル " + Map + " を置き換えられません: 他のプログラムが使用中です");
    EXPECT_EQ(ReadFileBytes(Map), Old);
  }
  EXPECT_EQ(Viewer.Read(), Old);
  EXPECT_EQ(FileNames(Dir), std::vector<std::string>{"MAP0-X1.BMP"});
}

TEST(ReplaceOpenFile, AMapHeldWithoutDeleteSharingFailsAfterWaitingSayingItIsInUse) {
  if (!testsupport::OnWindows()) GTEST_SKIP() << "POSIX: an open file never hinders a rename";
  TTempDir Dir;
  const std::string Map = Dir.File("MAP0-X1.BMP");
  WriteFileBytes(Map, Old);
  HeldOpenFile Viewer(Map, false);
  ASSERT_TRUE(Viewer.Open());
  const auto Start = std::chrono::steady_clock::now();
  try {
    WriteFileReplacing(Map, WriteNew);
    FAIL() << "replaced a file held open without delete sharing";
  } catch (const EFReplaceError& E) {
    EXPECT_EQ(std::string(E.what()),
              "ファイル " + Map + " を置き換えられません: 他のプログラムが使用中です");
  }
  EXPECT_GE(std::chrono::steady_clock::now() - Start, std::chrono::milliseconds(1500));
  Viewer.Close();
  EXPECT_EQ(ReadFileBytes(Map), Old);
  EXPECT_EQ(FileNames(Dir), std::vector<std::string>{"MAP0-X1.BMP"});
}

TEST(ReplaceOpenFile, AHolderThatLetsGoWithinTwoSecondsIsWaitedFor) {
  if (!testsupport::OnWindows()) GTEST_SKIP() << "POSIX: an open file never hinders a rename";
  TTempDir Dir;
  const std::string Map = Dir.File("MAP0-X1.BMP");
  WriteFileBytes(Map, Old);
  HeldOpenFile Scanner(Map, false);
  ASSERT_TRUE(Scanner.Open());
  std::thread Release([&Scanner] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Scanner.Close();
  });
  EXPECT_NO_THROW(WriteFileReplacing(Map, WriteNew));
  Release.join();
  EXPECT_EQ(ReadFileBytes(Map), New);
  EXPECT_EQ(FileNames(Dir), std::vector<std::string>{"MAP0-X1.BMP"});
}

TEST(ReplaceOpenFile, AMapMarkedReadOnlyIsKeptAndTheMessageSaysSo) {
  if (!testsupport::OnWindows()) GTEST_SKIP() << "POSIX: a file's mode never hinders a rename";
  TTempDir Dir;
  const std::string Map = Dir.File("MAP0-X1.BMP");
  WriteFileBytes(Map, Old);
  ASSERT_TRUE(testsupport::MakeReadOnly(Map));
  try {
    WriteFileReplacing(Map, WriteNew);
    FAIL() << "replaced a read-only file";
  } catch (const EFReplaceError& E) {
    EXPECT_EQ(std::string(E.what()), "ファイル " + Map + " を置き換えられません: 読み取り専用です");
  }
  EXPECT_EQ(ReadFileBytes(Map), Old);
  EXPECT_EQ(FileNames(Dir), std::vector<std::string>{"MAP0-X1.BMP"});
  std::filesystem::permissions(testsupport::PathOf(Map), std::filesystem::perms::owner_all);
}

// While written a temporary is hidden (and marked temporary); the map that replaces another takes
// its attributes, and a new map has neither mark.
TEST(ReplaceOpenFile, AReplacedMapKeepsItsAttributesAndANewOneIsPlain) {
  if (!testsupport::OnWindows()) GTEST_SKIP() << "POSIX files have no attributes (modes: Repair)";
  TTempDir Dir;
  std::string Temp;
  const TOsFile File = OsCreateTempBeside(Dir.File("MAP0-X1.BMP"), "save", "", Temp);
  ASSERT_NE(File, OsNoFile);
  OsCloseFile(File);
  EXPECT_TRUE(testsupport::AttributesOf(Temp).Hidden);  // (Wine keeps no temporary mark)
  OsDeleteFile(Temp);
  const std::string Map = Dir.File("MAP0-X1.BMP");
  WriteFileReplacing(Map, WriteNew);
  EXPECT_FALSE(testsupport::AttributesOf(Map).Hidden);
  EXPECT_FALSE(testsupport::AttributesOf(Map).Temporary);
  ASSERT_TRUE(testsupport::SetSystemAttribute(Map));
  WriteFileReplacing(Map, WriteNew);
  const testsupport::TWindowsAttributes Replaced = testsupport::AttributesOf(Map);
  EXPECT_TRUE(Replaced.System);
  EXPECT_FALSE(Replaced.Hidden);
  EXPECT_FALSE(Replaced.Temporary);
}

}  // namespace replacing

// ---- the folder lock and what killed runs left -----------------------------------------------

TEST(FolderLock, DeletesTheTemporariesOfKilledRunsAndNothingElse) {
  TTempDir Dir;
  const std::vector<std::string> Kept{".veldrin--a1B2c3.tmp",
                                      ".veldrin-lock.tmp",
                                      ".veldrin-save-a1B2c.tmp",
                                      ".veldrin-save-a1B2c3.tmp.BMP",
                                      ".veldrin-Save-a1B2c3.tmp",
                                      "MAP0-X1.BMP",
                                      "x.veldrin-save-a1B2c3.tmp"};
  for (const std::string& Name : Kept) WriteFileBytes(Dir.File(Name), {1});
  for (const char* Name : {".veldrin-save-a1B2c3.tmp", ".veldrin-repair-ZZZZZZ.tmp"})
    WriteFileBytes(Dir.File(Name), {2});
  {
    const TFolderLock Lock(Dir.Path().string());
    ASSERT_EQ(Lock.State(), TOsLock::Acquired);
    EXPECT_EQ(FileNames(Dir).size(), Kept.size() + (testsupport::OnWindows() ? 1 : 0));
  }
  std::vector<std::string> Sorted = Kept;
  std::sort(Sorted.begin(), Sorted.end());
  EXPECT_EQ(FileNames(Dir), Sorted);
}

// Only a lock that keeps every other run out makes a leftover safe to delete: in a network
// folder another machine's run may be writing it, and in a folder without a lock any run may.
TEST(FolderLock, LeavesTheTemporariesWhereTheLockDoesNotKeepEveryRunOut) {
  for (const TOsLock State : {TOsLock::LocalOnly, TOsLock::Unsupported}) {
    TTempDir Dir;
    WriteFileBytes(Dir.File(".veldrin-save-a1B2c3.tmp"), {2});
    static TOsLock Reported;
    Reported = State;
    const TFolderLock Guard(Dir.Path().string(), [](const std::string&, TOsFile& Lock) {
      Lock = OsNoFile;
      return Reported;
    });
    EXPECT_EQ(Guard.State(), State);
    EXPECT_EQ(FileNames(Dir), std::vector<std::string>{".veldrin-save-a1B2c3.tmp"});
  }
}

TEST(FolderLock, ALockFileThatExistsButCannotBeOpenedIsBusy) {
  if (!testsupport::OnWindows()) GTEST_SKIP() << "POSIX locks the folder itself, not a file in it";
  TTempDir Dir;
  const std::string LockFile = Dir.File(".veldrin-lock");
  {
    WriteFileBytes(LockFile, {});
    testsupport::HeldOpenFile Other(LockFile, true);
    EXPECT_TRUE(TFolderLock(Dir.Path().string()).Busy()) << "held open by another program";
  }
  // One that cannot be opened at all, as another user's or an elevated run's: here a folder.
  std::filesystem::remove(testsupport::PathOf(LockFile));
  std::filesystem::create_directory(testsupport::PathOf(LockFile));
  EXPECT_TRUE(TFolderLock(Dir.Path().string()).Busy());
  std::filesystem::remove(testsupport::PathOf(LockFile));
  {
    const TFolderLock Lock(Dir.Path().string());  // one a power cut left is taken over
    EXPECT_EQ(Lock.State(), TOsLock::Acquired);
  }
  EXPECT_TRUE(FileNames(Dir).empty());
}

}  // namespace
