// Two processes backing up the same target at once (processes made by fork; skipped where there
// is none).

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/core/map_job.h"
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

// Where the racing processes below mark that they passed the look for an existing backup.
std::string gRaceMarks;
int gRacer = 0;

TEST(BackupFileTest, TwoProcessesRacingPastTheCheckNeverReplaceTheFirstBackup) {
  if (!testsupport::CanFork()) GTEST_SKIP() << "the racing processes are made by fork";
  int interleaved = 0;
  for (int round = 0; round < 4; ++round) {
    TempDir dir;
    const std::string target = dir.file("MAP2-X1.BMP");
    WriteFileBytes(target, {0});
    gRaceMarks = dir.file("passed-");
    const std::vector<int> statuses = testsupport::RunForked(2, [&target](int k) {
      gRacer = k;
      // Each waits after the look until the other has looked too, so that both have looked
      // before either backs up (a child that waits in vain ends after RunForked's 10 s).
      BackupFileRaceHook = [] {
        WriteFileBytes(gRaceMarks + std::to_string(gRacer), {});
        const std::string other = gRaceMarks + std::to_string(1 - gRacer);
        while (!std::filesystem::exists(other)) std::this_thread::yield();
      };
      BackupFile(target);
      const std::uint8_t result = static_cast<std::uint8_t>(1 + k);
      WriteFileReplacing(target, [result](TStream& Stream) { Stream.WriteBuffer(&result, 1); });
    });
    EXPECT_EQ(statuses, (std::vector<int>{0, 0})) << "round " << round;
    EXPECT_EQ(ReadFileBytes(dir.file("MAP2-X1.OLD")), Bytes{0}) << "round " << round;
    const Bytes result = ReadFileBytes(target);
    EXPECT_TRUE(result == Bytes{1} || result == Bytes{2}) << "round " << round;
    const auto names = FileNames(dir);
    interleaved += std::count_if(names.begin(), names.end(),
                                 [](const std::string& n) { return n.starts_with("passed-"); }) == 2;
  }
  EXPECT_EQ(interleaved, 4) << "the two processes did not both pass the check in every round";
}

}  // namespace
