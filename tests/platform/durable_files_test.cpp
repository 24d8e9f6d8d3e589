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
using testsupport::TempDir;
using testsupport::WriteFileBytes;
using Bytes = std::vector<std::uint8_t>;

TEST(KeepCopy, NoReplaceMakesTheNameOnceAndKeepsWhatExists) {
  TempDir dir;
  WriteFileBytes(dir.file("MAP0-X1.BMP"), {1});
  EXPECT_TRUE(KeepCopyNoReplace(dir.file("MAP0-X1.BMP"), dir.file("MAP0-X1.OLD")));
  WriteFileBytes(dir.file("MAP1-X1.BMP"), {2});
  EXPECT_FALSE(KeepCopyNoReplace(dir.file("MAP1-X1.BMP"), dir.file("MAP0-X1.OLD")));
  EXPECT_EQ(ReadFileBytes(dir.file("MAP0-X1.OLD")), Bytes{1});
  EXPECT_THROW(KeepCopyNoReplace(dir.file("missing"), dir.file("missing.OLD")), EFOpenError);
  EXPECT_EQ(FileNames(dir), (std::vector<std::string>{"MAP0-X1.BMP", "MAP0-X1.OLD", "MAP1-X1.BMP"}));
}

TEST(KeepCopy, WithoutAHardLinkAFlushedCopyTakesTheNameAndNothingIsLeftOver) {
  TempDir dir;
  const std::string target = dir.file("MAP0-X1.BMP");
  WriteFileBytes(target, {1, 2, 3});
  namespace fs = std::filesystem;
  const fs::perms mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
  fs::permissions(target, mode);
  WriteFileBytes(dir.file("MAP0-X1_BAD_DATA.BMP"), {9});
  {
    testsupport::ImmutableFile frozen(target);
    if (!frozen.On()) GTEST_SKIP() << "files cannot be made immutable here (Linux only)";
    EXPECT_TRUE(KeepCopyNoReplace(target, dir.file("MAP0-X1.OLD")));
    EXPECT_FALSE(KeepCopyNoReplace(target, dir.file("MAP0-X1.OLD")));
    KeepCopyReplacing(target, dir.file("MAP0-X1_BAD_DATA.BMP"));
  }
  EXPECT_EQ(ReadFileBytes(dir.file("MAP0-X1.OLD")), (Bytes{1, 2, 3}));
  EXPECT_EQ(ReadFileBytes(dir.file("MAP0-X1_BAD_DATA.BMP")), (Bytes{1, 2, 3}));
  EXPECT_EQ(fs::status(dir.file("MAP0-X1.OLD")).permissions(), mode);
  EXPECT_EQ(fs::hard_link_count(target), 1u);
  EXPECT_EQ(FileNames(dir), (std::vector<std::string>{"MAP0-X1.BMP", "MAP0-X1.OLD",
                                                      "MAP0-X1_BAD_DATA.BMP"}));
}

// ---- replacing a file that another program holds open ----------------------------------------

namespace replacing {

using testsupport::HeldOpenFile;

const Bytes kOld{'o', 'l', 'd'};
const Bytes kNew{'n', 'e', 'w', '!'};

void WriteNew(TStream& Stream) {
  Stream.WriteBuffer(kNew.data(), 4);
}

// Linux and Windows 10 1809 on NTFS replace it; an older Windows, another file system, or Wine
// (whose rename refuses a target that is open) cannot, and must then say so and lose nothing.
TEST(ReplaceOpenFile, AMapAViewerReadsWithDeleteSharingIsReplacedOrKeptWhole) {
  TempDir dir;
  const std::string map = dir.file("MAP0-X1.BMP");
  WriteFileBytes(map, kOld);
  HeldOpenFile viewer(map, true);
  ASSERT_TRUE(viewer.Open());
  try {
    WriteFileReplacing(map, WriteNew);
    EXPECT_EQ(ReadFileBytes(map), kNew);
  } catch (const EFReplaceError& e) {
    EXPECT_TRUE(testsupport::OnWindows()) << e.what();
    EXPECT_EQ(std::string(e.what()),
              "ファイル " + map + " を置き換えられません: 他のプログラムが使用中です");
    EXPECT_EQ(ReadFileBytes(map), kOld);
  }
  EXPECT_EQ(viewer.Read(), kOld);
  EXPECT_EQ(FileNames(dir), std::vector<std::string>{"MAP0-X1.BMP"});
}

TEST(ReplaceOpenFile, AMapHeldWithoutDeleteSharingFailsAfterWaitingSayingItIsInUse) {
  if (!testsupport::OnWindows()) GTEST_SKIP() << "POSIX: an open file never hinders a rename";
  TempDir dir;
  const std::string map = dir.file("MAP0-X1.BMP");
  WriteFileBytes(map, kOld);
  HeldOpenFile viewer(map, false);
  ASSERT_TRUE(viewer.Open());
  const auto start = std::chrono::steady_clock::now();
  try {
    WriteFileReplacing(map, WriteNew);
    FAIL() << "replaced a file held open without delete sharing";
  } catch (const EFReplaceError& e) {
    EXPECT_EQ(std::string(e.what()),
              "ファイル " + map + " を置き換えられません: 他のプログラムが使用中です");
  }
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
  viewer.Close();
  EXPECT_EQ(ReadFileBytes(map), kOld);
  EXPECT_EQ(FileNames(dir), std::vector<std::string>{"MAP0-X1.BMP"});
}

TEST(ReplaceOpenFile, AHolderThatLetsGoWithinTwoSecondsIsWaitedFor) {
  if (!testsupport::OnWindows()) GTEST_SKIP() << "POSIX: an open file never hinders a rename";
  TempDir dir;
  const std::string map = dir.file("MAP0-X1.BMP");
  WriteFileBytes(map, kOld);
  HeldOpenFile scanner(map, false);
  ASSERT_TRUE(scanner.Open());
  std::thread release([&scanner] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    scanner.Close();
  });
  EXPECT_NO_THROW(WriteFileReplacing(map, WriteNew));
  release.join();
  EXPECT_EQ(ReadFileBytes(map), kNew);
  EXPECT_EQ(FileNames(dir), std::vector<std::string>{"MAP0-X1.BMP"});
}

TEST(ReplaceOpenFile, AMapMarkedReadOnlyIsKeptAndTheMessageSaysSo) {
  if (!testsupport::OnWindows()) GTEST_SKIP() << "POSIX: a file's mode never hinders a rename";
  TempDir dir;
  const std::string map = dir.file("MAP0-X1.BMP");
  WriteFileBytes(map, kOld);
  ASSERT_TRUE(testsupport::MakeReadOnly(map));
  try {
    WriteFileReplacing(map, WriteNew);
    FAIL() << "replaced a read-only file";
  } catch (const EFReplaceError& e) {
    EXPECT_EQ(std::string(e.what()), "ファイル " + map + " を置き換えられません: 読み取り専用です");
  }
  EXPECT_EQ(ReadFileBytes(map), kOld);
  EXPECT_EQ(FileNames(dir), std::vector<std::string>{"MAP0-X1.BMP"});
  std::filesystem::permissions(testsupport::PathOf(map), std::filesystem::perms::owner_all);
}

// While written a temporary is hidden (and marked temporary); the map that replaces another takes
// its attributes, and a new map has neither mark.
TEST(ReplaceOpenFile, AReplacedMapKeepsItsAttributesAndANewOneIsPlain) {
  if (!testsupport::OnWindows()) GTEST_SKIP() << "POSIX files have no attributes (modes: Repair)";
  TempDir dir;
  std::string temp;
  const TOsFile file = OsCreateTempBeside(dir.file("MAP0-X1.BMP"), "save", "", temp);
  ASSERT_NE(file, OsNoFile);
  OsCloseFile(file);
  EXPECT_TRUE(testsupport::AttributesOf(temp).Hidden);  // (Wine keeps no temporary mark)
  OsDeleteFile(temp);
  const std::string map = dir.file("MAP0-X1.BMP");
  WriteFileReplacing(map, WriteNew);
  EXPECT_FALSE(testsupport::AttributesOf(map).Hidden);
  EXPECT_FALSE(testsupport::AttributesOf(map).Temporary);
  ASSERT_TRUE(testsupport::SetSystemAttribute(map));
  WriteFileReplacing(map, WriteNew);
  const testsupport::WindowsAttributes replaced = testsupport::AttributesOf(map);
  EXPECT_TRUE(replaced.System);
  EXPECT_FALSE(replaced.Hidden);
  EXPECT_FALSE(replaced.Temporary);
}

}  // namespace replacing

// ---- the folder lock and what killed runs left -----------------------------------------------

TEST(FolderLock, DeletesTheTemporariesOfKilledRunsAndNothingElse) {
  TempDir dir;
  const std::vector<std::string> kept{".veldrin--a1B2c3.tmp",
                                      ".veldrin-lock.tmp",
                                      ".veldrin-save-a1B2c.tmp",
                                      ".veldrin-save-a1B2c3.tmp.BMP",
                                      ".veldrin-Save-a1B2c3.tmp",
                                      "MAP0-X1.BMP",
                                      "x.veldrin-save-a1B2c3.tmp"};
  for (const std::string& name : kept) WriteFileBytes(dir.file(name), {1});
  for (const char* name : {".veldrin-save-a1B2c3.tmp", ".veldrin-repair-ZZZZZZ.tmp"})
    WriteFileBytes(dir.file(name), {2});
  {
    const TFolderLock lock(dir.path().string());
    ASSERT_EQ(lock.State(), TOsLock::Acquired);
    EXPECT_EQ(FileNames(dir).size(), kept.size() + (testsupport::OnWindows() ? 1 : 0));
  }
  std::vector<std::string> sorted = kept;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(FileNames(dir), sorted);
}

// Only a lock that keeps every other run out makes a leftover safe to delete: in a network
// folder another machine's run may be writing it, and in a folder without a lock any run may.
TEST(FolderLock, LeavesTheTemporariesWhereTheLockDoesNotKeepEveryRunOut) {
  for (const TOsLock state : {TOsLock::LocalOnly, TOsLock::Unsupported}) {
    TempDir dir;
    WriteFileBytes(dir.file(".veldrin-save-a1B2c3.tmp"), {2});
    static TOsLock reported;
    reported = state;
    const TFolderLock lock(dir.path().string(), [](const std::string&, TOsFile& Lock) {
      Lock = OsNoFile;
      return reported;
    });
    EXPECT_EQ(lock.State(), state);
    EXPECT_EQ(FileNames(dir), std::vector<std::string>{".veldrin-save-a1B2c3.tmp"});
  }
}

TEST(FolderLock, ALockFileThatExistsButCannotBeOpenedIsBusy) {
  if (!testsupport::OnWindows()) GTEST_SKIP() << "POSIX locks the folder itself, not a file in it";
  TempDir dir;
  const std::string lockFile = dir.file(".veldrin-lock");
  {
    WriteFileBytes(lockFile, {});
    testsupport::HeldOpenFile other(lockFile, true);
    EXPECT_TRUE(TFolderLock(dir.path().string()).Busy()) << "held open by another program";
  }
  // One that cannot be opened at all, as another user's or an elevated run's: here a folder.
  std::filesystem::remove(testsupport::PathOf(lockFile));
  std::filesystem::create_directory(testsupport::PathOf(lockFile));
  EXPECT_TRUE(TFolderLock(dir.path().string()).Busy());
  std::filesystem::remove(testsupport::PathOf(lockFile));
  {
    const TFolderLock lock(dir.path().string());  // one a power cut left is taken over
    EXPECT_EQ(lock.State(), TOsLock::Acquired);
  }
  EXPECT_TRUE(FileNames(dir).empty());
}

}  // namespace
