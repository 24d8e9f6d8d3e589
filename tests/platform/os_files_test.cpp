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

const std::vector<std::uint8_t> kOld{'o', 'l', 'd'};
const std::vector<std::uint8_t> kNew{'n', 'e', 'w', '!'};

TEST(OsFiles, RenameNoReplaceMovesOnlyOntoAFreeName) {
  TempDir dir;
  WriteFileBytes(dir.file("a"), kNew);
  WriteFileBytes(dir.file("b"), kOld);
  EXPECT_EQ(OsRenameNoReplace(dir.file("a"), dir.file("b")), TOsNoReplace::Exists);
  EXPECT_EQ(ReadFileBytes(dir.file("a")), kNew);
  EXPECT_EQ(ReadFileBytes(dir.file("b")), kOld);

  EXPECT_EQ(OsRenameNoReplace(dir.file("a"), dir.file("c")), TOsNoReplace::Done);
  EXPECT_FALSE(OsFileExists(dir.file("a")));
  EXPECT_EQ(ReadFileBytes(dir.file("c")), kNew);
  EXPECT_EQ(OsRenameNoReplace(dir.file("a"), dir.file("d")), TOsNoReplace::Failed);
}

TEST(OsFiles, LinkGivesASecondNameAndNeverReplaces) {
  TempDir dir;
  WriteFileBytes(dir.file("a"), kNew);
  WriteFileBytes(dir.file("b"), kOld);
  EXPECT_EQ(OsLinkNoReplace(dir.file("a"), dir.file("b")), TOsNoReplace::Exists);
  EXPECT_EQ(ReadFileBytes(dir.file("b")), kOld);
  ASSERT_EQ(OsLinkNoReplace(dir.file("a"), dir.file("c")), TOsNoReplace::Done);
  EXPECT_EQ(ReadFileBytes(dir.file("a")), kNew);
  EXPECT_EQ(ReadFileBytes(dir.file("c")), kNew);
  // Replacing one name leaves the other with the first file.
  WriteFileBytes(dir.file("d"), kOld);
  ASSERT_TRUE(OsReplaceFile(dir.file("d"), dir.file("a")));
  EXPECT_EQ(ReadFileBytes(dir.file("a")), kOld);
  EXPECT_EQ(ReadFileBytes(dir.file("c")), kNew);
  EXPECT_FALSE(OsFileExists(dir.file("d")));
  // Replacing a name by a second name of the same file leaves one name.
  ASSERT_EQ(OsLinkNoReplace(dir.file("c"), dir.file("e")), TOsNoReplace::Done);
  ASSERT_TRUE(OsReplaceFile(dir.file("e"), dir.file("c")));
  EXPECT_EQ(FileNames(dir), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(ReadFileBytes(dir.file("c")), kNew);
}

TEST(OsFiles, TemporaryBesideATargetIsUniqueAndRecognisable) {
  TempDir dir;
  const std::string target = dir.file("MAP0.BMP");
  std::string first, second;
  const TOsFile a = OsCreateTempBeside(target, "save", target, first);
  const TOsFile b = OsCreateTempBeside(target, "save", target, second);
  ASSERT_NE(a, OsNoFile);
  ASSERT_NE(b, OsNoFile);
  EXPECT_NE(first, second);
  EXPECT_EQ(OsWriteFile(a, kNew.data(), 4), 4);
  EXPECT_TRUE(OsFlushFile(a));
  EXPECT_EQ(OsFileSizeOf(a), 4);
  OsCloseFile(a);
  OsCloseFile(b);
  for (const std::string& name : FileNames(dir)) {
    EXPECT_EQ(name.rfind(".veldrin-save-", 0), 0u) << name;
    EXPECT_EQ(name.substr(name.size() - 4), ".tmp") << name;
  }
  EXPECT_EQ(ReadFileBytes(first), kNew);
  EXPECT_TRUE(OsFlushFolder(dir.path().string()));
  EXPECT_FALSE(OsFlushFolder(dir.file("missing")));
  EXPECT_EQ(OsCreateTempBeside(dir.file("missing") + PathDelim + "x", "save", "", first), OsNoFile);
  EXPECT_EQ(first, "");
}

TEST(OsFiles, FolderLockIsExclusiveUntilReleased) {
  testsupport::LimitThisTest(std::chrono::seconds(10));  // a busy lock is never waited for
  TempDir dir;
  TOsFile first = OsNoFile, second = OsNoFile;
  ASSERT_EQ(OsTryLockFolder(dir.path().string(), first), TOsLock::Acquired);
  EXPECT_EQ(OsTryLockFolder(dir.path().string(), second), TOsLock::Busy);
  EXPECT_EQ(second, OsNoFile);
  OsUnlockFolder(first);
  ASSERT_EQ(OsTryLockFolder(dir.path().string(), second), TOsLock::Acquired);
  OsUnlockFolder(second);
  EXPECT_EQ(OsTryLockFolder(dir.file("missing"), first), TOsLock::Unsupported);
  // Nothing is left behind that could be taken for a file of the folder.
  EXPECT_TRUE(FileNames(dir).empty());
}

TEST(OsFiles, JapaneseNamesReachTheFileSystemUnchanged) {
  TempDir dir;
  const std::string name = dir.file("地図 ﾌｪﾙｯｶ.BMP");
  const TOsFile file = OsCreateFile(name);
  ASSERT_NE(file, OsNoFile);
  EXPECT_EQ(OsWriteFile(file, kNew.data(), 4), 4);
  OsCloseFile(file);
  EXPECT_EQ(FileNames(dir), std::vector<std::string>{"地図 ﾌｪﾙｯｶ.BMP"});
  EXPECT_TRUE(OsFileExists(name));
  EXPECT_EQ(OsFileSize(name), 4);
  EXPECT_EQ(OsRenameNoReplace(name, dir.file("徳之島.OLD")), TOsNoReplace::Done);
  EXPECT_EQ(FileNames(dir), std::vector<std::string>{"徳之島.OLD"});
  EXPECT_EQ(ReadFileBytes(dir.file("徳之島.OLD")), kNew);
}

TEST(OsFiles, ReadingDeniesWritesToOthersOnWindows) {
  if (!testsupport::OnWindows())
    GTEST_SKIP() << "POSIX locks are advisory: a writer that does not ask is not kept out";
  TempDir dir;
  const std::string name = dir.file("MAP0-1.BMP");
  WriteFileBytes(name, kOld);
  const TOsFile reader = OsOpenFile(name, TOsAccess::Read, true);
  ASSERT_NE(reader, OsNoFile);
  EXPECT_EQ(OsOpenFile(name, TOsAccess::Write, false), OsNoFile);
  EXPECT_EQ(OsCreateFile(name), OsNoFile);
  const TOsFile second = OsOpenFile(name, TOsAccess::Read, true);
  EXPECT_NE(second, OsNoFile) << "readers share the file";
  OsCloseFile(second);
  OsCloseFile(reader);
  // Someone writing keeps a reader that denies writes out.
  const TOsFile writer = OsOpenFile(name, TOsAccess::Write, false);
  ASSERT_NE(writer, OsNoFile);
  EXPECT_EQ(OsOpenFile(name, TOsAccess::Read, true), OsNoFile);
  OsCloseFile(writer);
  EXPECT_EQ(ReadFileBytes(name), kOld);
}

// The names handed to the wide-character calls once they pass the classic limit.
struct ExtendedCase {
  const char* full;
  const char* system;
};
TEST(ExtendedLengthPath, PrefixesDrivesAndUncSharesAndSpellsSeparatorsOnce) {
  const ExtendedCase cases[] = {
      {R"(C:\Maps\MAP0-X1.BMP)", R"(\\?\C:\Maps\MAP0-X1.BMP)"},
      {R"(C:\\MAP0-X1.BMP)", R"(\\?\C:\MAP0-X1.BMP)"},  // the doubled separator after a root
      {R"(C:/Maps//sub\MAP0-X1.BMP)", R"(\\?\C:\Maps\sub\MAP0-X1.BMP)"},
      {R"(\\server\share\maps\MAP0-X1.BMP)", R"(\\?\UNC\server\share\maps\MAP0-X1.BMP)"},
      {R"(\\server\share\\MAP0-X1.BMP)", R"(\\?\UNC\server\share\MAP0-X1.BMP)"},
      {R"(\\?\C:\Maps\MAP0-X1.BMP)", R"(\\?\C:\Maps\MAP0-X1.BMP)"},
      {R"(\\?\UNC\server\share\MAP0-X1.BMP)", R"(\\?\UNC\server\share\MAP0-X1.BMP)"},
      {R"(\\.\D:)", R"(\\.\D:)"},
  };
  for (const ExtendedCase& c : cases) EXPECT_EQ(ExtendedLengthPath(c.full), c.system) << c.full;
  EXPECT_EQ(NtPath(R"(C:\Maps\x)"), R"(\??\C:\Maps\x)");
  EXPECT_EQ(NtPath(R"(\\server\share\x)"), R"(\??\UNC\server\share\x)");
  // A folder at the classic limit: its files' names and a temporary's longer one are long.
  const std::string folder = "C:\\" + std::string(ExtendedPathFrom - 3, 'a');
  EXPECT_EQ(ExtendedLengthPath(folder + "\\.veldrin-save-a1B2c3.tmp"),
            "\\\\?\\" + folder + "\\.veldrin-save-a1B2c3.tmp");
}

TEST(OsFiles, WorksInAFolderWhoseNamesPassTheClassicLimit) {
  TempDir dir;
  std::string folder = dir.path().string();
  while (folder.size() < 300) {
    folder += PathDelim + std::string(40, 'd');
    std::filesystem::create_directory(testsupport::PathOf(folder));
  }
  const std::string target = folder + PathDelim + "MAP0-X1.BMP";
  WriteFileBytes(target, kOld);
  std::string temp;
  const TOsFile file = OsCreateTempBeside(target, "save", target, temp);
  ASSERT_NE(file, OsNoFile);
  EXPECT_EQ(OsWriteFile(file, kNew.data(), 4), 4);
  EXPECT_TRUE(OsFlushFile(file));
  OsCloseFile(file);
  EXPECT_EQ(OsLinkNoReplace(target, folder + PathDelim + "MAP0-X1.OLD"), TOsNoReplace::Done);
  EXPECT_TRUE(OsReplaceFile(temp, target));
  EXPECT_EQ(ReadFileBytes(target), kNew);
  EXPECT_EQ(ReadFileBytes(folder + PathDelim + "MAP0-X1.OLD"), kOld);
  EXPECT_EQ(OsFolderEntries(folder).size(), 2u);
  TOsFile lock = OsNoFile;
  EXPECT_EQ(OsTryLockFolder(folder, lock), TOsLock::Acquired);
  OsUnlockFolder(lock);
  // What the calls hand the system here: the extended form, which Wine would not insist on.
  static std::string handed;
  SystemNameHook = [](const std::string& Name) { handed = Name; };
  const auto handedBy = [](bool Done) {
    EXPECT_TRUE(Done);
    return std::exchange(handed, std::string());
  };
  TOsFileStamp stamp;
  const std::string names[] = {handedBy(OsFileStampOf(target, stamp)),
                               handedBy(OsDeleteFile(folder + PathDelim + "MAP0-X1.OLD"))};
  SystemNameHook = nullptr;
  EXPECT_EQ(OsFolderEntries(folder).size(), 1u);
  if (testsupport::OnWindows()) {
    for (const std::string& name : names) EXPECT_EQ(name.rfind(R"(\\?\)", 0), 0u) << name;
  }
}

// A signal that interrupts a blocking open (here of a FIFO that waits for its writer, as a slow
// network or FUSE folder makes any call wait) must not fail the call. The writer comes only after
// three signals have each interrupted the open while it waited.
TEST(OsFiles, ACallThatASignalInterruptsIsRepeated) {
  TempDir dir;
  const std::string fifo = dir.file("fifo");
  if (!testsupport::MakeFifo(fifo)) GTEST_SKIP() << "no FIFOs and no signals on Windows";
  TOsFile writer = OsNoFile;
  TOsFile reader = OsNoFile;
  {
    // The reader waits in its open, so this open finds it there and does not wait.
    testsupport::SignalsWhileBlocked signals(
        3, "openat", [&] { writer = OsOpenFile(fifo, TOsAccess::Write, false); });
    reader = OsOpenFile(fifo, TOsAccess::Read, false);
    signals.Returned();
    EXPECT_EQ(signals.Delivered(), 3);
  }
  EXPECT_NE(reader, OsNoFile);
  OsCloseFile(reader);
  OsCloseFile(writer);
}

}  // namespace
