// The file-system seam's contract, as every OS's implementation must keep it.
#include "platform/os_files.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/long_paths.h"
#include "support/os_test.h"
#include "support/temp_dir.h"
#include "support/test_watchdog.h"

namespace {

using testsupport::FileNames;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

const std::vector<std::uint8_t> Old{'o', 'l', 'd'};
const std::vector<std::uint8_t> New{'n', 'e', 'w', '!'};

TEST(OsFiles, RenameNoReplaceMovesOnlyOntoAFreeName) {
  TempDir Dir;
  WriteFileBytes(Dir.file("a"), New);
  WriteFileBytes(Dir.file("b"), Old);
  EXPECT_EQ(OsRenameNoReplace(Dir.file("a"), Dir.file("b")), TOsNoReplace::Exists);
  EXPECT_EQ(ReadFileBytes(Dir.file("a")), New);
  EXPECT_EQ(ReadFileBytes(Dir.file("b")), Old);

  EXPECT_EQ(OsRenameNoReplace(Dir.file("a"), Dir.file("c")), TOsNoReplace::Done);
  EXPECT_FALSE(OsFileExists(Dir.file("a")));
  EXPECT_EQ(ReadFileBytes(Dir.file("c")), New);
  EXPECT_EQ(OsRenameNoReplace(Dir.file("a"), Dir.file("d")), TOsNoReplace::Failed);
}

TEST(OsFiles, LinkGivesASecondNameAndNeverReplaces) {
  TempDir Dir;
  WriteFileBytes(Dir.file("a"), New);
  WriteFileBytes(Dir.file("b"), Old);
  EXPECT_EQ(OsLinkNoReplace(Dir.file("a"), Dir.file("b")), TOsNoReplace::Exists);
  EXPECT_EQ(ReadFileBytes(Dir.file("b")), Old);
  ASSERT_EQ(OsLinkNoReplace(Dir.file("a"), Dir.file("c")), TOsNoReplace::Done);
  EXPECT_EQ(ReadFileBytes(Dir.file("a")), New);
  EXPECT_EQ(ReadFileBytes(Dir.file("c")), New);
  // Replacing one name leaves the other with the first file.
  WriteFileBytes(Dir.file("d"), Old);
  ASSERT_TRUE(OsReplaceFile(Dir.file("d"), Dir.file("a")));
  EXPECT_EQ(ReadFileBytes(Dir.file("a")), Old);
  EXPECT_EQ(ReadFileBytes(Dir.file("c")), New);
  EXPECT_FALSE(OsFileExists(Dir.file("d")));
  // Replacing a name by a second name of the same file leaves one name.
  ASSERT_EQ(OsLinkNoReplace(Dir.file("c"), Dir.file("e")), TOsNoReplace::Done);
  ASSERT_TRUE(OsReplaceFile(Dir.file("e"), Dir.file("c")));
  EXPECT_EQ(FileNames(Dir), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(ReadFileBytes(Dir.file("c")), New);
}

TEST(OsFiles, TemporaryBesideATargetIsUniqueAndRecognisable) {
  TempDir Dir;
  const std::string Target = Dir.file("MAP0.BMP");
  std::string First, Second;
  const TOsFile a = OsCreateTempBeside(Target, "save", Target, First);
  const TOsFile B = OsCreateTempBeside(Target, "save", Target, Second);
  ASSERT_NE(a, OsNoFile);
  ASSERT_NE(B, OsNoFile);
  EXPECT_NE(First, Second);
  EXPECT_EQ(OsWriteFile(a, New.data(), 4), 4);
  EXPECT_TRUE(OsFlushFile(a));
  EXPECT_EQ(OsFileSizeOf(a), 4);
  OsCloseFile(a);
  OsCloseFile(B);
  for (const std::string& name : FileNames(Dir)) {
    EXPECT_EQ(name.rfind(".veldrin-save-", 0), 0u) << name;
    EXPECT_EQ(name.substr(name.size() - 4), ".tmp") << name;
  }
  EXPECT_EQ(ReadFileBytes(First), New);
  EXPECT_TRUE(OsFlushFolder(Dir.path().string()));
  EXPECT_FALSE(OsFlushFolder(Dir.file("missing")));
  EXPECT_EQ(OsCreateTempBeside(Dir.file("missing") + PathDelim + "x", "save", "", First), OsNoFile);
  EXPECT_EQ(First, "");
}

TEST(OsFiles, FolderLockIsExclusiveUntilReleased) {
  testsupport::LimitThisTest(std::chrono::seconds(10));  // a busy lock is never waited for
  TempDir Dir;
  TOsFile First = OsNoFile, Second = OsNoFile;
  ASSERT_EQ(OsTryLockFolder(Dir.path().string(), First), TOsLock::Acquired);
  EXPECT_EQ(OsTryLockFolder(Dir.path().string(), Second), TOsLock::Busy);
  EXPECT_EQ(Second, OsNoFile);
  OsUnlockFolder(First);
  ASSERT_EQ(OsTryLockFolder(Dir.path().string(), Second), TOsLock::Acquired);
  OsUnlockFolder(Second);
  EXPECT_EQ(OsTryLockFolder(Dir.file("missing"), First), TOsLock::Unsupported);
  // Nothing is left behind that could be taken for a file of the folder.
  EXPECT_TRUE(FileNames(Dir).empty());
}

TEST(OsFiles, JapaneseNamesReachTheFileSystemUnchanged) {
  TempDir Dir;
  const std::string name = Dir.file("地図 ﾌｪﾙｯｶ.BMP");
  const TOsFile File = OsCreateFile(name);
  ASSERT_NE(File, OsNoFile);
  EXPECT_EQ(OsWriteFile(File, New.data(), 4), 4);
  OsCloseFile(File);
  EXPECT_EQ(FileNames(Dir), std::vector<std::string>{"地図 ﾌｪﾙｯｶ.BMP"});
  EXPECT_TRUE(OsFileExists(name));
  EXPECT_EQ(OsFileSize(name), 4);
  EXPECT_EQ(OsRenameNoReplace(name, Dir.file("徳之島.OLD")), TOsNoReplace::Done);
  EXPECT_EQ(FileNames(Dir), std::vector<std::string>{"徳之島.OLD"});
  EXPECT_EQ(ReadFileBytes(Dir.file("徳之島.OLD")), New);
}

TEST(OsFiles, ReadingDeniesWritesToOthersOnWindows) {
  if (!testsupport::OnWindows())
    GTEST_SKIP() << "POSIX locks are advisory: a writer that does not ask is not kept out";
  TempDir Dir;
  const std::string name = Dir.file("MAP0-1.BMP");
  WriteFileBytes(name, Old);
  const TOsFile Reader = OsOpenFile(name, TOsAccess::Read, true);
  ASSERT_NE(Reader, OsNoFile);
  EXPECT_EQ(OsOpenFile(name, TOsAccess::Write, false), OsNoFile);
  EXPECT_EQ(OsCreateFile(name), OsNoFile);
  const TOsFile Second = OsOpenFile(name, TOsAccess::Read, true);
  EXPECT_NE(Second, OsNoFile) << "readers share the file";
  OsCloseFile(Second);
  OsCloseFile(Reader);
  // Someone writing keeps a reader that denies writes out.
  const TOsFile Writer = OsOpenFile(name, TOsAccess::Write, false);
  ASSERT_NE(Writer, OsNoFile);
  EXPECT_EQ(OsOpenFile(name, TOsAccess::Read, true), OsNoFile);
  OsCloseFile(Writer);
  EXPECT_EQ(ReadFileBytes(name), Old);
}

// The names handed to the wide-character calls once they pass the classic limit.
struct TExtendedCase {
  const char* Full;
  const char* System;
};
TEST(ExtendedLengthPath, PrefixesDrivesAndUncSharesAndSpellsSeparatorsOnce) {
  const TExtendedCase Cases[] = {
      {R"(C:\Maps\MAP0-X1.BMP)", R"(\\?\C:\Maps\MAP0-X1.BMP)"},
      {R"(C:\\MAP0-X1.BMP)", R"(\\?\C:\MAP0-X1.BMP)"},  // the doubled separator after a root
      {R"(C:/Maps//sub\MAP0-X1.BMP)", R"(\\?\C:\Maps\sub\MAP0-X1.BMP)"},
      {R"(\\server\share\maps\MAP0-X1.BMP)", R"(\\?\UNC\server\share\maps\MAP0-X1.BMP)"},
      {R"(\\server\share\\MAP0-X1.BMP)", R"(\\?\UNC\server\share\MAP0-X1.BMP)"},
      {R"(\\?\C:\Maps\MAP0-X1.BMP)", R"(\\?\C:\Maps\MAP0-X1.BMP)"},
      {R"(\\?\UNC\server\share\MAP0-X1.BMP)", R"(\\?\UNC\server\share\MAP0-X1.BMP)"},
      {R"(\\.\D:)", R"(\\.\D:)"},
  };
  for (const TExtendedCase& c : Cases) EXPECT_EQ(ExtendedLengthPath(c.Full), c.System) << c.Full;
  EXPECT_EQ(NtPath(R"(C:\Maps\x)"), R"(\??\C:\Maps\x)");
  EXPECT_EQ(NtPath(R"(\\server\share\x)"), R"(\??\UNC\server\share\x)");
  // A folder at the classic limit: its files' names and a temporary's longer one are long.
  const std::string Folder = "C:\\" + std::string(ExtendedPathFrom - 3, 'a');
  EXPECT_EQ(ExtendedLengthPath(Folder + "\\.veldrin-save-a1B2c3.tmp"),
            "\\\\?\\" + Folder + "\\.veldrin-save-a1B2c3.tmp");
}

TEST(OsFiles, WorksInAFolderWhoseNamesPassTheClassicLimit) {
  TempDir Dir;
  std::string Folder = Dir.path().string();
  while (Folder.size() < 300) {
    Folder += PathDelim + std::string(40, 'd');
    std::filesystem::create_directory(testsupport::PathOf(Folder));
  }
  const std::string Target = Folder + PathDelim + "MAP0-X1.BMP";
  WriteFileBytes(Target, Old);
  std::string Temp;
  const TOsFile File = OsCreateTempBeside(Target, "save", Target, Temp);
  ASSERT_NE(File, OsNoFile);
  EXPECT_EQ(OsWriteFile(File, New.data(), 4), 4);
  EXPECT_TRUE(OsFlushFile(File));
  OsCloseFile(File);
  EXPECT_EQ(OsLinkNoReplace(Target, Folder + PathDelim + "MAP0-X1.OLD"), TOsNoReplace::Done);
  EXPECT_TRUE(OsReplaceFile(Temp, Target));
  EXPECT_EQ(ReadFileBytes(Target), New);
  EXPECT_EQ(ReadFileBytes(Folder + PathDelim + "MAP0-X1.OLD"), Old);
  EXPECT_EQ(OsFolderEntries(Folder).size(), 2u);
  TOsFile Lock = OsNoFile;
  EXPECT_EQ(OsTryLockFolder(Folder, Lock), TOsLock::Acquired);
  OsUnlockFolder(Lock);
  // What the calls hand the system here: the extended form, which Wine would not insist on.
  static std::string Handed;
  SystemNameHook = [](const std::string& Name) { Handed = Name; };
  const auto HandedBy = [](bool Done) {
    EXPECT_TRUE(Done);
    return std::exchange(Handed, std::string());
  };
  TOsFileStamp Stamp;
  const std::string Names[] = {HandedBy(OsFileStampOf(Target, Stamp)),
                               HandedBy(OsDeleteFile(Folder + PathDelim + "MAP0-X1.OLD"))};
  SystemNameHook = nullptr;
  EXPECT_EQ(OsFolderEntries(Folder).size(), 1u);
  if (testsupport::OnWindows()) {
    for (const std::string& name : Names) EXPECT_EQ(name.rfind(R"(\\?\)", 0), 0u) << name;
  }
}

// A signal that interrupts a blocking open (here of a FIFO that waits for its writer, as a slow
// network or FUSE folder makes any call wait) must not fail the call. The writer comes only after
// three signals have each interrupted the open while it waited.
TEST(OsFiles, ACallThatASignalInterruptsIsRepeated) {
  TempDir Dir;
  const std::string Fifo = Dir.file("fifo");
  if (!testsupport::MakeFifo(Fifo)) GTEST_SKIP() << "no FIFOs and no signals on Windows";
  TOsFile Writer = OsNoFile;
  TOsFile Reader = OsNoFile;
  {
    // The reader waits in its open, so this open finds it there and does not wait.
    testsupport::SignalsWhileBlocked Signals(
        3, "openat", [&] { Writer = OsOpenFile(Fifo, TOsAccess::Write, false); });
    Reader = OsOpenFile(Fifo, TOsAccess::Read, false);
    Signals.Returned();
    EXPECT_EQ(Signals.Delivered(), 3);
  }
  EXPECT_NE(Reader, OsNoFile);
  OsCloseFile(Reader);
  OsCloseFile(Writer);
}

}  // namespace
