// Two processes backing up the same target at once (POSIX processes: fork).

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/core/map_job.h"
#include "platform/files.h"
#include "platform/streams.h"
#include "support/temp_dir.h"

namespace {

using testsupport::FileNames;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;
using Bytes = std::vector<std::uint8_t>;

// Where the racing processes below mark that they passed the look for an existing backup.
std::string gRaceMarks;

TEST(BackupFileTest, TwoProcessesRacingPastTheCheckNeverReplaceTheFirstBackup) {
  int interleaved = 0;
  for (int round = 0; round < 12; ++round) {
    TempDir dir;
    const std::string target = dir.file("MAP2-X1.BMP");
    WriteFileBytes(target, {0});
    gRaceMarks = dir.file("passed-");
    int go[2];
    ASSERT_EQ(::pipe(go), 0);
    pid_t kids[2];
    for (int k = 0; k < 2; ++k) {
      kids[k] = ::fork();
      if (kids[k] == 0) {
        char c;
        if (::read(go[0], &c, 1) != 1) ::_exit(3);
        // Both pause after the look, so that both have looked before either backs up.
        BackupFileRaceHook = [] {
          WriteFileBytes(gRaceMarks + std::to_string(::getpid()), {});
          ::usleep(30000);
        };
        try {
          BackupFile(target);
          const std::uint8_t result = static_cast<std::uint8_t>(1 + k);
          WriteFileReplacing(target, [result](TStream& Stream) { Stream.WriteBuffer(&result, 1); });
        } catch (...) {
          ::_exit(2);
        }
        ::_exit(0);
      }
    }
    ASSERT_EQ(::write(go[1], "go", 2), 2);
    ::close(go[0]);
    ::close(go[1]);
    for (pid_t kid : kids) {
      int status = 0;
      ::waitpid(kid, &status, 0);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "round " << round;
    }
    EXPECT_EQ(ReadFileBytes(dir.file("MAP2-X1.OLD")), Bytes{0}) << "round " << round;
    const Bytes result = ReadFileBytes(target);
    EXPECT_TRUE(result == Bytes{1} || result == Bytes{2}) << "round " << round;
    const auto names = FileNames(dir);
    interleaved += std::count_if(names.begin(), names.end(),
                                 [](const std::string& n) { return n.starts_with("passed-"); }) == 2;
  }
  EXPECT_GT(interleaved, 0) << "the two processes never both passed the check";
}

}  // namespace
