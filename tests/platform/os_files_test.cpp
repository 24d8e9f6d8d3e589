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
using testsupport::TTempDir;
using testsupport::WriteFileBytes;

const std::vector<std::uint8_t> Old{'o', 'l', 'd'};
const std::vector<std::uint8_t> New{'n', 'e', 'w', '!'};

TEST(OsFiles, RenameNoReplaceMovesOnlyOntoAFreeName) {
  TTempDir Dir;
  WriteFileBytes(Dir.File("a"), New);
  WriteFileBytes(Dir.File("b"), Old);
  EXPECT_EQ(OsRenameNoReplace(Dir.File("a"), Dir.File("b")), TOsNoReplace::Exists);
  EXPECT_EQ(ReadFileBytes(Dir.File("a")), New);
  EXPECT_EQ(ReadFileBytes(Dir.File("b")), Old);

  EXPECT_EQ(OsRenameNoReplace(Dir.File("a"), Dir.File("c")), TOsNoReplace::Done);
  EXPECT_FALSE(OsFileExists(Dir.File("a")));
  EXPECT_EQ(ReadFileBytes(Dir.File("c")), New);
  EXPECT_EQ(OsRenameNoReplace(Dir.File("a"), Dir.File("d")), TOsNoReplace::Failed);
}

TEST(OsFiles, LinkGivesASecondNameAndNeverReplaces) {
  TTempDir Dir;
  WriteFileBytes(Dir.File("a"), New);
  WriteFileBytes(Dir.File("b"), Old);
  EXPECT_EQ(OsLinkNoReplace(Dir.File("a"), Dir.File("b")), TOsNoReplace::Exists);
  EXPECT_EQ(ReadFileBytes(Dir.File("b")), Old);
  ASSERT_EQ(OsLinkNoReplace(Dir.File("a"), Dir.File("c")), TOsNoReplace::Done);
  EXPECT_EQ(ReadFileBytes(Dir.File("a")), New);
  EXPECT_EQ(ReadFileBytes(Dir.File("c")), New);
  // Replacing one name leaves the other with the first file.
  WriteFileBytes(Dir.File("d"), Old);
  ASSERT_TRUE(OsReplaceFile(Dir.File("d"), Dir.File("a")));
  EXPECT_EQ(ReadFileBytes(Dir.File("a")), Old);
  EXPECT_EQ(ReadFileBytes(Dir.File("c")), New);
  EXPECT_FALSE(OsFileExists(Dir.File("d")));
  // Replacing a name by a second name of the same file leaves one name.
  ASSERT_EQ(OsLinkNoReplace(Dir.File("c"), Dir.File("e")), TOsNoReplace::Done);
  ASSERT_TRUE(OsReplaceFile(Dir.File("e"), Dir.File("c")));
  EXPECT_EQ(FileNames(Dir), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(ReadFileBytes(Dir.File("c")), New);
}

TEST(OsFiles, TemporaryBesideATargetIsUniqueAndRecognisable) {
  TTempDir Dir;
  const std::string Target = Dir.File("MAP0.BMP");
  std::string First, Second;
  const TOsFile A = OsCreateTempBeside(Target, "save", Target, First);
  const TOsFile B = OsCreateTempBeside(Target, "save", Target, Second);
  ASSERT_NE(A, OsNoFile);
  ASSERT_NE(B, OsNoFile);
  EXPECT_NE(First, Second);
  EXPECT_EQ(OsWriteFile(A, New.data(), 4), 4);
  EXPECT_TRUE(OsFlushFile(A));
  EXPECT_EQ(OsFileSizeOf(A), 4);
  OsCloseFile(A);
  OsCloseFile(B);
  for (const std::string& Name : FileNames(Dir)) {
    EXPECT_EQ(Name.rfind(".veldrin-save-", 0), 0u) << Name;
    EXPECT_EQ(Name.substr(Name.size() - 4), ".tmp") << Name;
  }
  EXPECT_EQ(ReadFileBytes(First), New);
  EXPECT_TRUE(OsFlushFolder(Dir.Path().string()));
  EXPECT_FALSE(OsFlushFolder(Dir.File("missing")));
  EXPECT_EQ(OsCreateTempBeside(Dir.File("missing") + PathDelim + "x", "save", "", First), OsNoFile);
  EXPECT_EQ(First, "");
}

TEST(OsFiles, FolderLockIsExclusiveUntilReleased) {
  testsupport::LimitThisTest(std::chrono::seconds(10));  // a busy lock is never waited for
  TTempDir Dir;
  TOsFile First = OsNoFile, Second = OsNoFile;
  ASSERT_EQ(OsTryLockFolder(Dir.Path().string(), First), TOsLock::Acquired);
  EXPECT_EQ(OsTryLockFolder(Dir.Path().string(), Second), TOsLock::Busy);
  EXPECT_EQ(Second, OsNoFile);
  OsUnlockFolder(First);
  ASSERT_EQ(OsTryLockFolder(Dir.Path().string(), Second), TOsLock::Acquired);
  OsUnlockFolder(Second);
  EXPECT_EQ(OsTryLockFolder(Dir.File("missing"), First), TOsLock::Unsupported);
  // Nothing is left behind that could be taken for a file of the folder.
  EXPECT_TRUE(FileNames(Dir).empty());
}

TEST(OsFiles, JapaneseNamesReachTheFileSystemUnchanged) {
  TTempDir Dir;
  const std::string Name = Dir.File("地図 ﾌｪﾙｯｶ.BMP");
  const TOsFile File = OsCreateFile(Name);
  ASSERT_NE(File, OsNoFile);
  EXPECT_EQ(OsWriteFile(File, New.data(), 4), 4);
  OsCloseFile(File);
  EXPECT_EQ(FileNames(Dir), std::vector<std::string>{"地図 ﾌｪﾙｯｶ.BMP"});
  EXPECT_TRUE(OsFileExists(Name));
  EXPECT_EQ(OsFileSize(Name), 4);
  EXPECT_EQ(OsRenameNoReplace(Name, Dir.File("徳之島.OLD")), TOsNoReplace::Done);
  EXPECT_EQ(FileNames(Dir), std::vector<std::string>{"徳之島.OLD"});
  EXPECT_EQ(ReadFileBytes(Dir.File("徳之島.OLD")), New);
}

TEST(OsFiles, ReadingDeniesWritesToOthersOnWindows) {
  if (!testsupport::OnWindows())
    GTEST_SKIP() << "POSIX locks are advisory: a writer that does not ask is not kept out";
  TTempDir Dir;
  const std::string Name = Dir.File("MAP0-1.BMP");
  WriteFileBytes(Name, Old);
  const TOsFile Reader = OsOpenFile(Name, TOsAccess::Read, true);
  ASSERT_NE(Reader, OsNoFile);
  EXPECT_EQ(OsOpenFile(Name, TOsAccess::Write, false), OsNoFile);
  EXPECT_EQ(OsCreateFile(Name), OsNoFile);
  const TOsFile Second = OsOpenFile(Name, TOsAccess::Read, true);
  EXPECT_NE(Second, OsNoFile) << "readers share the file";
  OsCloseFile(Second);
  OsCloseFile(Reader);
  // Someone writing keeps a reader that denies writes out.
  const TOsFile Writer = OsOpenFile(Name, TOsAccess::Write, false);
  ASSERT_NE(Writer, OsNoFile);
  EXPECT_EQ(OsOpenFile(Name, TOsAccess::Read, true), OsNoFile);
  OsCloseFile(Writer);
  EXPECT_EQ(ReadFileBytes(Name), Old);
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
  for (const TExtendedCase& C : Cases) EXPECT_EQ(ExtendedLengthPath(C.Full), C.System) << C.Full;
  EXPECT_EQ(NtPath(R"(C:\Maps\x)"), R"(\??\C:\Maps\x)");
  EXPECT_EQ(NtPath(R"(\\server\share\x)"), R"(\??\UNC\server\share\x)");
  // A folder at the classic limit: its files' names and a temporary's longer one are long.
  const std::string Folder = "C:\\" + std::string(ExtendedPathFrom - 3, 'a');
  EXPECT_EQ(ExtendedLengthPath(Folder + "\\.veldrin-save-a1B2c3.tmp"),
            "\\\\?\\" + Folder + "\\.veldrin-save-a1B2c3.tmp");
}

TEST(OsFiles, WorksInAFolderWhoseNamesPassTheClassicLimit) {
  TTempDir Dir;
  std::string Folder = Dir.Path().string();
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
    for (const std::string& Name : Names) EXPECT_EQ(Name.rfind(R"(\\?\)", 0), 0u) << Name;
  }
}

// A signal that interrupts a blocking open (here of a FIFO that waits for its writer, as a slow
// network or FUSE folder makes any call wait) must not fail the call. The writer comes only after
// three signals have each interrupted the open while it waited.
TEST(OsFiles, ACallThatASignalInterruptsIsRepeated) {
  TTempDir Dir;
  const std::string Fifo = Dir.File("fifo");
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
