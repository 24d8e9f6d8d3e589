// The file-system seam's contract, as every OS's implementation must keep it.
#include "platform/os_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"

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

}  // namespace
