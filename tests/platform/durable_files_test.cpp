// Second names for a file that never replace a backup, by hard link and, where the file cannot
// be linked, by a flushed copy. The copy is reached here through an immutable file (Linux, and
// only with the right to set that flag; skipped otherwise).

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/exceptions.h"
#include "platform/files.h"
#include "support/temp_dir.h"

namespace {

using testsupport::FileNames;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;
using Bytes = std::vector<std::uint8_t>;

// Makes a file immutable while the object lives: it can be read but not linked or renamed.
class Immutable {
 public:
  explicit Immutable(const std::string& Name) : fd_(::open(Name.c_str(), O_RDONLY)) {
    if (fd_ >= 0 && ::ioctl(fd_, FS_IOC_GETFLAGS, &flags_) == 0) {
      int set = flags_ | FS_IMMUTABLE_FL;
      on_ = ::ioctl(fd_, FS_IOC_SETFLAGS, &set) == 0;
    }
  }
  ~Immutable() {
    if (on_) ::ioctl(fd_, FS_IOC_SETFLAGS, &flags_);
    if (fd_ >= 0) ::close(fd_);
  }
  Immutable(const Immutable&) = delete;
  Immutable& operator=(const Immutable&) = delete;
  bool On() const { return on_; }

 private:
  int fd_;
  int flags_ = 0;
  bool on_ = false;
};

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
    Immutable frozen(target);
    if (!frozen.On()) GTEST_SKIP() << "files cannot be made immutable here";
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

}  // namespace
