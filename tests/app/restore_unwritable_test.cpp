// A restore in a folder the user may not write to (POSIX permissions; Windows folders have no
// such bits, so this file is one to leave out or skip there).

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/core/restore.h"
#include "platform/exceptions.h"
#include "support/temp_dir.h"

namespace {

using testsupport::Snapshot;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

// Makes a folder unwritable for as long as it lives. Root may write anywhere, so a test run as
// root also acts as an unprivileged user meanwhile.
class TUnwritableFolder {
 public:
  explicit TUnwritableFolder(const std::string& Folder) : FFolder(Folder) {
    ::chmod(FFolder.c_str(), 0555);
    if (::geteuid() == 0) FAsRoot = ::seteuid(65534) == 0;
  }
  ~TUnwritableFolder() {
    if (FAsRoot) (void)::seteuid(0);
    ::chmod(FFolder.c_str(), 0700);
  }
  TUnwritableFolder(const TUnwritableFolder&) = delete;
  TUnwritableFolder& operator=(const TUnwritableFolder&) = delete;

 private:
  std::string FFolder;
  bool FAsRoot = false;
};

TEST(RestoreUnwritableTest, AFailedRestoreInAnUnwritableFolderLosesNothing) {
  TempDir dir;
  // Gridded Felucca and Trammel targets with their backups, as a run leaves them.
  WriteFileBytes(dir.file("MAP0-X2.BMP"), {9, 9});
  WriteFileBytes(dir.file("MAP0-X2.OLD"), {0});
  WriteFileBytes(dir.file("MAP1-X2.BMP"), {9, 9});
  WriteFileBytes(dir.file("MAP1-X2.OLD"), {1});
  const auto before = Snapshot(dir);
  {
    const TUnwritableFolder locked(dir.path().string());
    EXPECT_THROW(RestoreMap(dir.path().string(), fcFeluccaTrammel, mtXRay, msHalf),
                 EFCreateError);
  }
  EXPECT_EQ(Snapshot(dir), before);
}

}  // namespace
