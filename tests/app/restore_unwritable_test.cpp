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
using testsupport::TempDir;
using testsupport::WriteFileBytes;

TEST(RestoreUnwritableTest, AFailedRestoreInAnUnwritableFolderLosesNothing) {
  TempDir dir;
  // Gridded Felucca and Trammel targets with their backups, as a run leaves them.
  WriteFileBytes(dir.file("MAP0-X2.BMP"), {9, 9});
  WriteFileBytes(dir.file("MAP0-X2.OLD"), {0});
  WriteFileBytes(dir.file("MAP1-X2.BMP"), {9, 9});
  WriteFileBytes(dir.file("MAP1-X2.OLD"), {1});
  const auto before = Snapshot(dir);
  {
    const testsupport::UnwritableFolder locked(dir.path().string());
    if (!locked.On()) GTEST_SKIP() << "this system cannot make a folder unwritable";
    EXPECT_THROW(RestoreMap(dir.path().string(), fcFeluccaTrammel, mtXRay, msHalf),
                 EFCreateError);
  }
  EXPECT_EQ(Snapshot(dir), before);
}

}  // namespace
