// Record locks between clients, in one process and across processes, and changes made by
// another client since a record was read.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "recman/engine.h"
#include "recman/status.h"
#include "support/temp_dir.h"
#include "recman_test_util.h"

namespace {

using namespace recman;
using recman_test::Client;
using recman_test::TestEngine;
using recman_test::CreateBuffer;
using recman_test::Rec;

class Locks : public ::testing::Test {
 protected:
  void SetUp() override {
    path = dir / "l.dat";
    ASSERT_EQ(0, a.Create(path, CreateBuffer(10, {{{1, 2, kKeyModifiable}}})));
    ASSERT_EQ(0, a.Open(path));
    for (const char* k : {"AA", "BB", "CC"}) ASSERT_EQ(0, a.Insert(Rec(k, 10)));
    ASSERT_EQ(0, b.Open(path));
  }
  testing_support::TempDir dir;
  std::string path;
  TestEngine engineA, engineB;
  Client a{engineA}, b{engineB};
};

TEST_F(Locks, SingleLockHoldsUntilReleased) {
  struct Release {
    const char* how;
    std::function<std::int16_t(Client&)> act;
  };
  const Release releases[] = {
      {"update", [](Client& c) { return c.Update(Rec("AA1", 10)); }},
      {"delete", [](Client& c) { return c.Delete(); }},
      {"lock on another record", [](Client& c) { return c.Get(kOpGetEqual + kLockSingleNoWait, 0, "CC"); }},
      {"unlock", [](Client& c) {
         std::string d(4, '\0'), k;
         std::uint32_t n = 0;
         return c.Call(kOpUnlock, d, n, k, 0);
       }},
      {"close", [](Client& c) { return c.Close(); }},
      {"reset", [](Client& c) {
         std::uint32_t n = 0;
         return c.engine().BTRCALL(kOpReset, nullptr, nullptr, &n, nullptr, 0, 0);
       }},
  };
  for (const Release& r : releases) {
    if (a.Get(kOpGetFirst) == kStatusFileNotOpen) {
      ASSERT_EQ(0, a.Open(path));
    }
    if (a.Get(kOpGetEqual, 0, "AA") == kStatusKeyNotFound) {
      ASSERT_EQ(0, a.Insert(Rec("AA", 10)));
    }
    ASSERT_EQ(0, a.Get(kOpGetEqual + kLockSingleNoWait, 0, "AA")) << r.how;
    EXPECT_EQ(kStatusRecordLocked, b.Get(kOpGetEqual + kLockSingleNoWait, 0, "AA")) << r.how;
    EXPECT_EQ(kStatusRecordLocked, b.Get(kOpGetFirst + kLockMultipleNoWait)) << r.how;
    // Reading without a lock is fine, writing is not.
    ASSERT_EQ(0, b.Get(kOpGetEqual, 0, "AA")) << r.how;
    EXPECT_EQ(kStatusRecordLocked, b.Update(b.lastRecord)) << r.how;
    EXPECT_EQ(kStatusRecordLocked, b.Delete()) << r.how;
    ASSERT_EQ(0, r.act(a)) << r.how;
    if (b.Get(kOpGetEqual + kLockSingleNoWait, 0, "AA") == kStatusKeyNotFound) continue;  // deleted
    EXPECT_EQ(0, b.Get(kOpGetEqual + kLockSingleNoWait, 0, "AA")) << r.how;
    ASSERT_EQ(0, b.Get(kOpGetEqual + kLockSingleNoWait, 0, "BB"));  // drops b's lock on AA
  }
}

TEST_F(Locks, MultipleLocksStayThroughUpdates) {
  ASSERT_EQ(0, a.Get(kOpGetEqual + kLockMultipleNoWait, 0, "AA"));
  std::uint32_t aa = a.Position();
  ASSERT_EQ(0, a.Get(kOpGetEqual + kLockMultipleNoWait, 0, "BB"));
  ASSERT_EQ(0, a.Update(Rec("BB1", 10)));
  EXPECT_EQ(kStatusRecordLocked, b.Get(kOpGetEqual + kLockSingleNoWait, 0, "AA"));
  EXPECT_EQ(kStatusRecordLocked, b.Get(kOpGetEqual + kLockSingleNoWait, 0, "BB"));
  EXPECT_EQ(0, b.Get(kOpGetEqual + kLockSingleNoWait, 0, "CC"));
  // Unlock -1 with an address releases one, -2 all.
  std::string d(4, '\0'), k;
  for (int i = 0; i < 4; ++i) d[i] = static_cast<char>((aa >> (8 * i)) & 0xFF);
  std::uint32_t n = 4;
  ASSERT_EQ(0, a.Call(kOpUnlock, d, n, k, -1));
  EXPECT_EQ(0, b.Get(kOpGetEqual + kLockSingleNoWait, 0, "AA"));
  EXPECT_EQ(kStatusRecordLocked, b.Get(kOpGetEqual + kLockSingleNoWait, 0, "BB"));
  n = 0;
  ASSERT_EQ(0, a.Call(kOpUnlock, d, n, k, -2));
  EXPECT_EQ(0, b.Get(kOpGetEqual + kLockSingleNoWait, 0, "BB"));
}

TEST_F(Locks, TwoOpensOfOneEngineAreTwoClients) {
  Client second(engineA);
  ASSERT_EQ(0, second.Open(path));
  ASSERT_EQ(0, a.Get(kOpGetEqual + kLockSingleNoWait, 0, "AA"));
  EXPECT_EQ(kStatusRecordLocked, second.Get(kOpGetEqual + kLockSingleNoWait, 0, "AA"));
}

TEST_F(Locks, WaitLockWaitsForTheHolder) {
  ASSERT_EQ(0, a.Get(kOpGetEqual + kLockSingleNoWait, 0, "AA"));
  std::atomic<bool> released{false};
  std::thread holder([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    released = true;
    a.Update(Rec("AA-new", 10));
  });
  ASSERT_EQ(0, b.Get(kOpGetEqual + kLockSingleWait, 0, "AA"));
  EXPECT_TRUE(released.load());
  // The record read after the wait is the one the holder wrote.
  EXPECT_EQ(Rec("AA-new", 10), b.lastRecord);
  holder.join();
  EXPECT_EQ(0, b.Update(Rec("AA-newer", 10)));
}

TEST_F(Locks, ChangeSinceReadAnswersConflict) {
  ASSERT_EQ(0, a.Get(kOpGetEqual, 0, "BB"));
  ASSERT_EQ(0, b.Get(kOpGetEqual, 0, "BB"));
  ASSERT_EQ(0, b.Update(Rec("BB-b", 10)));
  EXPECT_EQ(kStatusConflict, a.Update(Rec("BB-a", 10)));
  EXPECT_EQ(kStatusConflict, a.Delete());
  ASSERT_EQ(0, a.Get(kOpGetEqual, 0, "BB"));
  EXPECT_EQ(Rec("BB-b", 10), a.lastRecord);
  EXPECT_EQ(0, a.Update(Rec("BB-a", 10)));
  // A record deleted by the other client.
  ASSERT_EQ(0, a.Get(kOpGetEqual, 0, "CC"));
  ASSERT_EQ(0, b.Get(kOpGetEqual, 0, "CC"));
  ASSERT_EQ(0, b.Delete());
  EXPECT_EQ(kStatusConflict, a.Update(Rec("CC-a", 10)));
  EXPECT_EQ(0, a.Get(kOpGetNext) == kStatusEndOfFile ? 0 : 1);
}

TEST_F(Locks, LocksOfADeadProcessVanish) {
  int ready[2];
  ASSERT_EQ(0, ::pipe(ready));
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    TestEngine engine;
    Client c(engine);
    char ok = c.Open(path) == 0 && c.Get(kOpGetEqual + kLockSingleNoWait, 0, "BB") == 0 ? 'y' : 'n';
    if (::write(ready[1], &ok, 1) != 1) _exit(2);
    for (;;) ::pause();
  }
  char got = 0;
  ASSERT_EQ(1, ::read(ready[0], &got, 1));
  ASSERT_EQ('y', got);
  EXPECT_EQ(kStatusRecordLocked, b.Get(kOpGetEqual + kLockSingleNoWait, 0, "BB"));
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  EXPECT_EQ(0, b.Get(kOpGetEqual + kLockSingleNoWait, 0, "BB"));
  ::close(ready[0]);
  ::close(ready[1]);
}

}  // namespace

namespace {

// A long write transaction of another program: readers go on, writers answer 85 after the
// busy wait instead of hanging.
TEST(Busy, ReadersPassWritersAnswerAStatus) {
  RECMAN_SQLITE_ONLY("holds the SQLite write lock from outside (the server has its own case)");
  testing_support::TempDir dir;
  std::string path = dir / "busy.dat";
  EngineOptions options;
  options.busyTimeoutMs = 200;
  TestEngine engine(options);
  Client c(engine);
  ASSERT_EQ(0, c.Create(path, CreateBuffer(10, {{{1, 2, kKeyModifiable}}})));
  ASSERT_EQ(0, c.Open(path));
  ASSERT_EQ(0, c.Insert(Rec("AA", 10)));
  sqlite3* other = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open(path.c_str(), &other));
  ASSERT_EQ(SQLITE_OK, sqlite3_exec(other, "BEGIN IMMEDIATE; UPDATE recman_counters SET value = value WHERE id = 0",
                                    nullptr, nullptr, nullptr));
  EXPECT_EQ(0, c.Get(kOpGetEqual, 0, "AA"));
  EXPECT_EQ(kStatusFileLocked, c.Insert(Rec("BB", 10)));
  EXPECT_EQ(kStatusFileLocked, c.Update(Rec("AA1", 10)));
  sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  EXPECT_EQ(0, c.Insert(Rec("BB", 10)));
  ASSERT_EQ(0, c.Get(kOpGetEqual, 0, "AA"));
  EXPECT_EQ(0, c.Update(Rec("AA1", 10)));
}

}  // namespace

namespace {

TEST(WaitLimit, AWaitLockGivesUpWithEightyFour) {
  testing_support::TempDir dir;
  std::string path = dir / "wait.dat";
  EngineOptions options;
  options.lockWaitLimitMs = 100;
  TestEngine holderEngine, waiterEngine(options);
  Client holder(holderEngine), waiter(waiterEngine);
  ASSERT_EQ(0, holder.Create(path, CreateBuffer(10, {{{1, 2}}})));
  ASSERT_EQ(0, holder.Open(path));
  ASSERT_EQ(0, holder.Insert(Rec("AA", 10)));
  ASSERT_EQ(0, holder.Get(kOpGetFirst + kLockSingleNoWait));
  ASSERT_EQ(0, waiter.Open(path));
  EXPECT_EQ(kStatusRecordLocked, waiter.Get(kOpGetFirst + kLockSingleWait));
  EXPECT_EQ(kStatusRecordLocked, waiter.Get(kOpGetFirst + kLockMultipleWait));
}

TEST(Reopen, OpeningALiveBlockClosesItsFileFirst) {
  testing_support::TempDir dir;
  std::string path = dir / "re.dat";
  TestEngine engine;
  Client c(engine), other(engine);
  ASSERT_EQ(0, c.Create(path, CreateBuffer(10, {{{1, 2}}})));
  ASSERT_EQ(0, c.Open(path));
  ASSERT_EQ(0, c.Insert(Rec("AA", 10)));
  ASSERT_EQ(0, c.Get(kOpGetFirst + kLockSingleNoWait));
  ASSERT_EQ(0, c.Open(path));  // the same block again
  ASSERT_EQ(0, other.Open(path));
  EXPECT_EQ(0, other.Get(kOpGetFirst + kLockSingleNoWait));  // the old open's lock is gone
  ASSERT_EQ(0, other.Close());
  ASSERT_EQ(0, c.Close());
  EXPECT_EQ(0, c.Open(path, -4));  // and so is its claim on the file
}

}  // namespace
