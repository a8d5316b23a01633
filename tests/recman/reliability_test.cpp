// Processes that die while writing, and processes that update the same records at once.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <vector>

#include "recman/engine.h"
#include "recman/status.h"
#include "recman/verify.h"
#include "support/temp_dir.h"
#include "recman_test_util.h"

namespace {

using namespace recman;
using recman_test::Client;
using recman_test::TestEngine;
using recman_test::CreateBuffer;
using recman_test::Rec;

constexpr std::uint16_t kLen = 64;

std::string KeyOf(std::uint32_t id) {
  char k[16];
  std::snprintf(k, sizeof k, "%010u", id);
  return k;
}

// Key 0: the id (10 digits); key 1: a value with duplicates; key 2: a 4-byte integer.
std::string Layout() {
  return CreateBuffer(kLen, {{{1, 10}},
                             {{11, 3, kKeyDuplicates | kKeyModifiable}},
                             {{14, 4, kKeyExtendedType | kKeyDuplicates | kKeyModifiable, 1}}});
}

std::string RecordOf(std::uint32_t id) {
  std::string r = KeyOf(id) + std::string(1, static_cast<char>('A' + id % 5)) + "xx";
  std::int32_t v = static_cast<std::int32_t>(id * 7919u);
  r.append(reinterpret_cast<const char*>(&v), 4);
  return Rec(r + "payload", kLen);
}

int Rounds() {
  const char* env = std::getenv("MODCARTA_KILL_ROUNDS");  // the stress script raises it
  int n = env ? std::atoi(env) : 0;
  return n > 0 ? n : 50;
}

// What a writer reports through its pipe: an id, what happened to it, and for updates the
// version written.
enum Report : std::uint32_t { kInserted = 1, kDeleting = 2, kDeleted = 3, kUpdating = 4, kUpdated = 5 };
struct Message {
  std::uint32_t what;
  std::uint32_t id;
  std::uint32_t version;
};

// Where an update writes its version into a record (in the padding, no key there).
constexpr std::size_t kVersionAt = 40;

std::uint32_t VersionOf(const std::string& record) {
  std::uint32_t v = 0;
  if (record.size() >= kVersionAt + 4) std::memcpy(&v, record.data() + kVersionAt, 4);
  return v;
}

// A child that inserts records from firstId on, updates some and deletes some of its own, and
// reports each Insert, Update and Delete that answered 0 (and each Update and Delete before it
// is made, since its outcome is in doubt if the kill comes during the call). It runs until it
// is killed.
[[noreturn]] void Writer(const std::string& path, std::uint32_t firstId, int out) {
  TestEngine engine;
  Client c(engine);
  if (c.Open(path) != 0) _exit(3);
  std::mt19937 rng(firstId);
  auto say = [out](std::uint32_t what, std::uint32_t id, std::uint32_t version = 0) {
    Message m{what, id, version};
    if (::write(out, &m, sizeof m) != sizeof m) _exit(4);
  };
  std::uint32_t version = 0;
  for (std::uint32_t id = firstId;; ++id) {
    if (c.Insert(RecordOf(id)) == 0) say(kInserted, id);
    if (rng() % 3 == 0 && id > firstId && c.Get(kOpGetEqual, 0, KeyOf(id - 1)) == 0) {
      std::string r = c.lastRecord;
      ++version;
      std::memcpy(r.data() + kVersionAt, &version, 4);
      say(kUpdating, id - 1, version);
      if (c.Update(r) == 0) say(kUpdated, id - 1, version);
    }
    if (rng() % 5 == 0 && id > firstId && c.Get(kOpGetEqual, 0, KeyOf(id - 1)) == 0) {
      say(kDeleting, id - 1);
      if (c.Delete() == 0) say(kDeleted, id - 1);
    }
  }
}

TEST(Reliability, KilledWritersLoseNoAcknowledgedInsertOrUpdate) {
  testing_support::TempDir dir;
  std::string path = dir / "kill.dat";
  {
    TestEngine engine;
    Client c(engine);
    ASSERT_EQ(0, c.Create(path, Layout()));
  }
  std::mt19937 rng(12345);
  std::set<std::uint32_t> present, doubtful;
  // The version each present record must hold, and an update whose outcome the kill left open.
  std::map<std::uint32_t, std::uint32_t> versions, updating;
  std::size_t acknowledgedInserts = 0, acknowledgedUpdates = 0;
  const int rounds = Rounds();
  for (int round = 0; round < rounds; ++round) {
    int fds[2];
    ASSERT_EQ(0, ::pipe(fds));
    const std::uint32_t firstId = static_cast<std::uint32_t>(round) * 1000000u + 1;
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(fds[0]);
      Writer(path, firstId, fds[1]);
    }
    ::close(fds[1]);
    // The kill comes only once the writer is at work (a loaded machine may take a while to
    // start it), so that every round writes something.
    Message m;
    std::vector<Message> messages;
    if (::read(fds[0], &m, sizeof m) == sizeof m) messages.push_back(m);
    ::usleep(1000 + rng() % 40000);
    ::kill(child, SIGKILL);
    int wstatus = 0;
    ::waitpid(child, &wstatus, 0);
    ASSERT_TRUE(WIFSIGNALED(wstatus)) << "writer ended by itself with " << WEXITSTATUS(wstatus);
    while (::read(fds[0], &m, sizeof m) == sizeof m) messages.push_back(m);
    ::close(fds[0]);
    std::size_t roundInserts = 0;
    for (const Message& msg : messages) {
      switch (msg.what) {
        case kInserted:
          present.insert(msg.id);
          versions[msg.id] = VersionOf(RecordOf(msg.id));
          ++roundInserts;
          break;
        case kDeleting:
          present.erase(msg.id);
          doubtful.insert(msg.id);
          break;
        case kDeleted:
          doubtful.erase(msg.id);
          break;
        case kUpdating:
          updating[msg.id] = msg.version;
          break;
        case kUpdated:
          updating.erase(msg.id);
          versions[msg.id] = msg.version;
          ++acknowledgedUpdates;
          break;
      }
    }
    ASSERT_GT(roundInserts, 0u) << "round " << round << " wrote nothing";
    acknowledgedInserts += roundInserts;

    std::string report;
    ASSERT_TRUE(recman_test::VerifyTestFile(path, report)) << "round " << round << ":\n" << report;
    TestEngine engine;
    Client c(engine);
    ASSERT_EQ(0, c.Open(path)) << "round " << round;
    for (std::uint32_t want : present) {
      ASSERT_EQ(0, c.Get(kOpGetEqual, 0, KeyOf(want))) << "round " << round << " lost " << want;
      // An update cut short by the kill either happened or did not.
      const std::uint32_t got = VersionOf(c.lastRecord);
      auto open = updating.find(want);
      if (open != updating.end() && got == open->second) versions[want] = got;
      EXPECT_EQ(got, versions[want]) << "round " << round << ": an acknowledged update of " << want << " was lost";
    }
    updating.clear();
    // A Delete cut short by the kill either happened or did not; now it is known which.
    for (std::uint32_t id : doubtful)
      if (c.Get(kOpGetEqual, 0, KeyOf(id)) == 0) present.insert(id);
    doubtful.clear();
    std::string stat;
    ASSERT_EQ(0, c.Stat(stat));
    std::uint32_t count;
    std::memcpy(&count, stat.data() + 6, 4);
    // An Insert may have committed just before the kill, before its answer got out.
    EXPECT_GE(count, present.size());
  }
  EXPECT_GT(acknowledgedInserts, static_cast<std::size_t>(rounds));
  EXPECT_GT(acknowledgedUpdates, 0u);
}

TEST(Reliability, FourProcessesWithWaitLocksLoseNoUpdate) {
  testing_support::TempDir dir;
  std::string path = dir / "count.dat";
  constexpr int kRecords = 5, kProcesses = 4, kUpdatesEach = 150;
  {
    TestEngine engine;
    Client c(engine);
    ASSERT_EQ(0, c.Create(path, CreateBuffer(16, {{{1, 2}}})));
    ASSERT_EQ(0, c.Open(path));
    for (int r = 0; r < kRecords; ++r) {
      std::string record(16, '\0');  // the counter at offset 4 starts at 0
      record[0] = 'R';
      record[1] = static_cast<char>('0' + r);
      ASSERT_EQ(0, c.Insert(record));
    }
  }
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      TestEngine engine;
      Client c(engine);
      if (c.Open(path) != 0) _exit(3);
      std::mt19937 rng(p + 1);
      for (int i = 0; i < kUpdatesEach; ++i) {
        std::string key{'R', char('0' + rng() % kRecords)};
        if (c.Get(kOpGetEqual + kLockSingleWait, 0, key) != 0) _exit(4);
        std::string r = c.lastRecord;
        std::int32_t counter;
        std::memcpy(&counter, r.data() + 4, 4);
        ++counter;
        std::memcpy(r.data() + 4, &counter, 4);
        if (c.Update(r) != 0) _exit(5);
      }
      _exit(0);
    }
    children.push_back(child);
  }
  for (pid_t child : children) {
    int wstatus = 0;
    ::waitpid(child, &wstatus, 0);
    ASSERT_TRUE(WIFEXITED(wstatus));
    EXPECT_EQ(0, WEXITSTATUS(wstatus));
  }
  TestEngine engine;
  Client c(engine);
  ASSERT_EQ(0, c.Open(path));
  std::int64_t total = 0;
  for (std::int16_t s = c.Get(kOpGetFirst); s == 0; s = c.Get(kOpGetNext)) {
    std::int32_t counter;
    std::memcpy(&counter, c.lastRecord.data() + 4, 4);
    total += counter;
  }
  EXPECT_EQ(kProcesses * kUpdatesEach, total);
}

}  // namespace
