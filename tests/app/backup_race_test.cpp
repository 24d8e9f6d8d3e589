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
using testsupport::TTempDir;
using testsupport::WriteFileBytes;
using Bytes = std::vector<std::uint8_t>;

// Where the racing processes below mark that they passed the look for an existing backup.
std::string GRaceMarks;
int GRacer = 0;

TEST(BackupFileTest, TwoProcessesRacingPastTheCheckNeverReplaceTheFirstBackup) {
  if (!testsupport::CanFork()) GTEST_SKIP() << "the racing processes are made by fork";
  int Interleaved = 0;
  for (int Round = 0; Round < 4; ++Round) {
    TTempDir Dir;
    const std::string Target = Dir.File("MAP2-X1.BMP");
    WriteFileBytes(Target, {0});
    GRaceMarks = Dir.File("passed-");
    const std::vector<int> Statuses = testsupport::RunForked(2, [&Target](int K) {
      GRacer = K;
      // Each waits after the look until the other has looked too, so that both have looked
      // before either backs up (a child that waits in vain ends after RunForked's 10 s).
      BackupFileRaceHook = [] {
        WriteFileBytes(GRaceMarks + std::to_string(GRacer), {});
        const std::string Other = GRaceMarks + std::to_string(1 - GRacer);
        while (!std::filesystem::exists(Other)) std::this_thread::yield();
      };
      BackupFile(Target);
      const std::uint8_t Result = static_cast<std::uint8_t>(1 + K);
      WriteFileReplacing(Target, [Result](TStream& Stream) { Stream.WriteBuffer(&Result, 1); });
    });
    EXPECT_EQ(Statuses, (std::vector<int>{0, 0})) << "round " << Round;
    EXPECT_EQ(ReadFileBytes(Dir.File("MAP2-X1.OLD")), Bytes{0}) << "round " << Round;
    const Bytes Result = ReadFileBytes(Target);
    EXPECT_TRUE(Result == Bytes{1} || Result == Bytes{2}) << "round " << Round;
    const auto Names = FileNames(Dir);
    Interleaved += std::count_if(Names.begin(), Names.end(),
                                 [](const std::string& N) { return N.starts_with("passed-"); }) == 2;
  }
  EXPECT_EQ(Interleaved, 4) << "the two processes did not both pass the check in every round";
}

}  // namespace
