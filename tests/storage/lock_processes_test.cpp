// The lock registry between real processes: each process is a workstation with its own
// temporary directory (so its own station identity), sharing one installation root.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "storage/fakes.h"
#include "storage/lock_registry.h"
#include "storage/processes.h"
#include "support/temp_dir.h"

namespace {

using storage::LockRegistry;
using storage_test::FakeSystem;
using storage_test::FakeUi;
using storage_test::RunChild;
using storage_test::Signal;
using storage_test::WaitChild;
using testing_support::TempDir;

session::Session StationSession(const TempDir& root, const std::string& tempName) {
  std::filesystem::create_directories(root / tempName);
  session::Session s;
  s.RootDir = root.SystemDir();
  s.TempDir = root.path() + "/" + tempName + "\\";
  s.Language = "CAT";
  return s;
}

// Real random pauses, shortened a hundredfold so that the tests run in seconds.
class QuickSystem : public FakeSystem {
 public:
  QuickSystem() { microsecondsPerMs = 10; }
  std::uint32_t Random(std::uint32_t bound) override { return bound == 0 ? 0 : platform::StrongRandom32() % bound; }
};

const std::string kKey = "\x8C\x8D";

// A child station that takes the key lock, reports it, and holds it until told to let go.
int HoldUntilTold(const TempDir& root, Signal& held, Signal& release) {
  session::Session s = StationSession(root, "holder");
  QuickSystem system;
  FakeUi ui;
  LockRegistry registry(s, system, ui);
  registry.SetWaitMode('S');
  if (registry.LockKey("TranLauV", kKey) != 0) return 10;
  held.Send();
  if (release.Wait() == '\0') return 11;
  return registry.LockRelease("TranLauV") == 0 ? 0 : 12;
}

TEST(LockProcessesTest, SecondStationWaitsWithTheMessageUntilTheFirstReleases) {
  TempDir root;
  Signal held, release;
  pid_t holder = RunChild([&] { return HoldUntilTold(root, held, release); });
  ASSERT_EQ(held.Wait(), '.');

  session::Session s = StationSession(root, "waiter");
  QuickSystem system;
  FakeUi ui;
  LockRegistry registry(s, system, ui);
  // Let the holder go once this station has been refused a few times.
  system.onPause = [&](int n) {
    if (n == 3) release.Send();
  };
  EXPECT_EQ(registry.LockKey("TranLauV", kKey), 0);
  EXPECT_GE(system.pauses.size(), 3u);
  EXPECT_EQ(ui.events, (std::vector<std::string>{"box 24 FITXER BLOQUEJAT. ESPEREU UN MOMENT.", "close"}));
  EXPECT_EQ(WaitChild(holder), 0);
  EXPECT_EQ(registry.LockRelease("TranLauV"), 0);
}

TEST(LockProcessesTest, ModePEscapeGivesUpWhileAnotherStationHoldsTheKey) {
  TempDir root;
  Signal held, release;
  pid_t holder = RunChild([&] { return HoldUntilTold(root, held, release); });
  ASSERT_EQ(held.Wait(), '.');

  session::Session s = StationSession(root, "waiter");
  QuickSystem system;
  FakeUi ui;
  LockRegistry registry(s, system, ui);
  registry.SetWaitMode('P');
  ui.keys = {0, 0, 0x1B};
  EXPECT_EQ(registry.LockKey("TranLauV", kKey), -1);
  EXPECT_EQ(ui.events.front(), "box 24 FITXER BLOQUEJAT. ESPEREU UN MOMENT O POLSEU [ESC] PER A EIXIR.");
  EXPECT_EQ(ui.events.back(), "close");
  EXPECT_EQ(ui.openBoxes, 0);
  // The holder still has it: nothing of ours was written.
  registry.SetWaitMode('S');
  EXPECT_EQ(registry.LockKey("TranLauV", kKey), -1);
  release.Send();
  EXPECT_EQ(WaitChild(holder), 0);
  EXPECT_EQ(registry.LockKey("TranLauV", kKey), 0);
}

// A station in its own process takes a lock and ends without releasing it.
int LeaveLock(const TempDir& root, const std::string& lower, const std::string& upper, int minutesAgo) {
  return WaitChild(RunChild([&] {
    session::Session s = StationSession(root, "other");
    FakeSystem system;
    system.AddMinutes(-minutesAgo);
    FakeUi ui;
    LockRegistry registry(s, system, ui);
    registry.SetWaitMode('S');
    return registry.LockAcquire("TranLauV", "K", lower, upper) == 0 ? 0 : 30;
  }));
}

TEST(LockProcessesTest, KeyRangesOfAnotherProcess) {
  TempDir root;
  ASSERT_EQ(LeaveLock(root, "21", "30", 0), 0);
  session::Session s = StationSession(root, "mine");
  FakeSystem system;
  FakeUi ui;
  LockRegistry registry(s, system, ui);
  registry.SetWaitMode('S');
  EXPECT_EQ(registry.LockAcquire("TranLauV", "K", "15", "25"), -1);
  EXPECT_EQ(registry.LockAcquire("TranLauV", "K", "10", "20"), 0);
  EXPECT_TRUE(ui.events.empty());
}

TEST(LockProcessesTest, AnotherProcessesLockStamped31MinutesAgoIsReclaimed) {
  TempDir root;
  ASSERT_EQ(LeaveLock(root, "21", "30", 31), 0);
  session::Session s = StationSession(root, "mine");
  FakeSystem system;
  FakeUi ui;
  LockRegistry registry(s, system, ui);
  registry.SetWaitMode('S');
  EXPECT_EQ(registry.LockAcquire("TranLauV", "K", "25", "25"), 0);
  // The stale record's place was reused: still one record, now ours.
  EXPECT_EQ(std::filesystem::file_size(root / "LOCKS/TranLauV.lck"), storage::LockFileRecord::kSize);
}

TEST(LockProcessesTest, StationsThatDieLeaveTheirLockFileUsable) {
  // A station killed while it holds the lock file open must not block the others: the
  // exclusive claim goes with the process.
  TempDir root;
  Signal opened;
  pid_t victim = RunChild([&] {
    session::Session s = StationSession(root, "victim");
    QuickSystem system;
    FakeUi ui;
    LockRegistry registry(s, system, ui);
    platform::File file;
    std::filesystem::create_directories(root / "LOCKS");
    if (file.Open(registry.LockFilePath("TranLauV"), platform::File::Mode::kReadWrite, true) != platform::OpenResult::kOk)
      return 1;
    opened.Send();
    ::pause();
    return 0;
  });
  ASSERT_EQ(opened.Wait(), '.');
  ::kill(victim, SIGKILL);
  EXPECT_EQ(WaitChild(victim), -1);

  session::Session s = StationSession(root, "survivor");
  QuickSystem system;
  FakeUi ui;
  LockRegistry registry(s, system, ui);
  registry.SetWaitMode('S');
  EXPECT_EQ(registry.LockKey("TranLauV", kKey), 0);
}

// Eight stations, 200 cycles each, on one key: every holder increments a shared counter file
// with a plain read and write, which only mutual exclusion keeps exact; a marker file created
// exclusively while holding the lock catches any two holders at once.
TEST(LockProcessesTest, MutualExclusionUnderLoad) {
  constexpr int kStations = 8;
  constexpr int kCycles = 200;
  TempDir root;
  const std::string counterPath = root / "counter";
  const std::string markerPath = root / "holder";
  {
    std::ofstream(counterPath) << 0;
  }

  std::vector<pid_t> children;
  for (int i = 0; i < kStations; ++i) {
    children.push_back(RunChild([&, i] {
      session::Session s = StationSession(root, "station" + std::to_string(i));
      QuickSystem system;
      FakeUi ui;
      LockRegistry registry(s, system, ui);
      for (int cycle = 0; cycle < kCycles; ++cycle) {
        if (registry.LockKey("Counter", kKey) != 0) return 20;
        int marker = ::open(markerPath.c_str(), O_CREAT | O_EXCL | O_WRONLY, 0644);
        if (marker < 0) return 21;  // someone else holds the lock too
        ::close(marker);
        long value = -1;
        {
          std::ifstream in(counterPath);
          in >> value;
        }
        if (value < 0) return 22;
        {
          std::ofstream out(counterPath, std::ios::trunc);
          out << value + 1;
          if (!out.flush()) return 23;
        }
        if (::unlink(markerPath.c_str()) != 0) return 24;
        if (registry.LockRelease("Counter") != 0) return 25;
      }
      return ui.openBoxes == 0 ? 0 : 26;
    }));
  }
  for (pid_t child : children) EXPECT_EQ(WaitChild(child), 0);

  long total = -1;
  std::ifstream(counterPath) >> total;
  EXPECT_EQ(total, kStations * kCycles);
  EXPECT_FALSE(std::filesystem::exists(markerPath));
}

}  // namespace
