#include "storage/access_log.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/files.h"
#include "storage/fakes.h"
#include "support/temp_dir.h"

namespace {

using storage::AccessLogLine;

std::string Slurp(const std::string& hostPath) {
  std::ifstream in(hostPath, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(AccessLogLineTest, NumbersInFourteenColumnZones) {
  struct Case {
    std::int16_t handle, operation, status;
    std::string expected;
  } cases[] = {
      // blank, "508", blank, 9 blanks | blank, "2", blank, 11 blanks | blank, "0", blank
      {508, 2, 0, " 508 " + std::string(9, ' ') + " 2 " + std::string(11, ' ') + " 0 \r\n"},
      {508, 3, 22, " 508 " + std::string(9, ' ') + " 3 " + std::string(11, ' ') + " 22 \r\n"},
      {-7, 2, 5, "-7 " + std::string(11, ' ') + " 2 " + std::string(11, ' ') + " 5 \r\n"},
      {-32768, 3, -1, "-32768 " + std::string(7, ' ') + " 3 " + std::string(11, ' ') + "-1 \r\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(AccessLogLine(c.handle, c.operation, c.status), c.expected) << c.handle;
}

TEST(AccessLogTest, AppendsLinesAndCreatesTheFile) {
  testing_support::TempDir dir;
  storage_test::FakeSystem system;
  storage::AccessLog log(system, dir.SystemDir() + "db.log");
  EXPECT_TRUE(log.Write(506, 2, 0));
  EXPECT_TRUE(log.Write(507, 3, 80));
  EXPECT_EQ(Slurp(dir / "db.log"), AccessLogLine(506, 2, 0) + AccessLogLine(507, 3, 80));
}

TEST(AccessLogTest, HeldLogIsRetriedThenTheLineIsDropped) {
  testing_support::TempDir dir;
  storage_test::FakeSystem system;
  storage::AccessLog log(system, dir.SystemDir() + "db.log");
  auto holder = std::make_unique<platform::File>();
  ASSERT_EQ(holder->Open(log.path(), platform::File::Mode::kAppend, true), platform::OpenResult::kOk);
  EXPECT_FALSE(log.Write(508, 2, 0));
  EXPECT_EQ(static_cast<int>(system.pauses.size()), storage::AccessLog::kAttempts - 1);
  for (int p : system.pauses) EXPECT_TRUE(p >= 1 && p <= storage::AccessLog::kMaxPauseMs) << p;
  // Both ends of the random pause are reached: 1 ms and the longest.
  EXPECT_EQ(system.pauses.front(), 1);
  EXPECT_EQ(system.pauses.at(1), storage::AccessLog::kMaxPauseMs);

  // Released during the retries: the line gets written.
  system.pauses.clear();
  system.onPause = [&](int) { holder.reset(); };
  EXPECT_TRUE(log.Write(508, 2, 0));
  EXPECT_EQ(system.pauses.size(), 1u);
  EXPECT_EQ(Slurp(dir / "db.log"), AccessLogLine(508, 2, 0));
}

TEST(AccessLogTest, UnwritableDirectoryGivesUpAtOnce) {
  testing_support::TempDir dir;
  storage_test::FakeSystem system;
  storage::AccessLog log(system, dir.SystemDir() + "no-such-dir\\db.log");
  EXPECT_FALSE(log.Write(508, 2, 0));
  EXPECT_TRUE(system.pauses.empty());
}

}  // namespace
