// A restore in a folder the user may not write to.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/core/restore.h"
#include "platform/exceptions.h"
#include "support/os_test.h"
#include "support/temp_dir.h"

namespace {

using testsupport::Snapshot;
using testsupport::TTempDir;
using testsupport::WriteFileBytes;

TEST(RestoreUnwritableTest, AFailedRestoreInAnUnwritableFolderLosesNothing) {
  TTempDir Dir;
  // Gridded Felucca and Trammel targets with their backups, as a run leaves them.
  WriteFileBytes(Dir.File("MAP0-X2.BMP"), {9, 9});
  WriteFileBytes(Dir.File("MAP0-X2.OLD"), {0});
  WriteFileBytes(Dir.File("MAP1-X2.BMP"), {9, 9});
  WriteFileBytes(Dir.File("MAP1-X2.OLD"), {1});
  const auto Before = Snapshot(Dir);
  {
    const testsupport::UnwritableFolder Locked(Dir.Path().string());
    if (!Locked.On()) GTEST_SKIP() << "this system cannot make a folder unwritable";
    EXPECT_THROW(RestoreMap(Dir.Path().string(), fcFeluccaTrammel, mtXRay, msHalf),
                 EFCreateError);
  }
  EXPECT_EQ(Snapshot(Dir), Before);
}

}  // namespace
