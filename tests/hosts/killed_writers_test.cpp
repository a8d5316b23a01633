// A writer on another host killed in the middle of its work, on a record file on the server.
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "hosts/lab.h"
#include "recman/engine.h"
#include "recman/recman_test_util.h"
#include "recman/server_place.h"
#include "support/temp_dir.h"

namespace hosts_test {
namespace {

// Writers on workstation 1 are killed in the middle of their work, round after round: every
// insert and update the server acknowledged is there afterwards, and nothing of a writer's
// stays locked (its record lock included: each writer holds one while it updates).
class KilledWriters : public LabTest {
 protected:
  static constexpr std::uint16_t kLen = 48;
  static constexpr std::size_t kVersionAt = 20;
  static std::string KeyOf(std::uint32_t id) {
    char k[16];
    std::snprintf(k, sizeof k, "%010u", id);
    return k;
  }
  static std::string RecordOf(std::uint32_t id, std::uint32_t version) {
    std::string r = recman_test::Rec(KeyOf(id), kLen);
    std::memcpy(r.data() + kVersionAt, &version, 4);
    return r;
  }
  static std::uint32_t VersionOf(const std::string& record) {
    std::uint32_t v = 0;
    if (record.size() >= kVersionAt + 4) std::memcpy(&v, record.data() + kVersionAt, 4);
    return v;
  }
  // An engine whose files are on the lab's server, reached over TCP from where the process
  // runs, or through the server's socket.
  static std::unique_ptr<recman::Engine> ServerEngine(const std::string& conninfo, const std::string& root) {
    std::unique_ptr<recman::StorePlace> place;
    std::string error;
    if (recman::OpenServerPlace({conninfo, root}, place, error) != 0) return nullptr;
    return std::make_unique<recman::Engine>(recman::EngineOptions{}, std::move(place));
  }
  std::string SocketConninfo() const {
    return std::string("host=") + kServerDir + " port=5432 dbname=" + database_ + " user=" + kSuperuser;
  }
};

TEST_F(KilledWriters, LoseNoAcknowledgedWriteAndLeaveNoLock) {
  testing_support::TempDir dir;
  const std::string root = dir.path();
  const std::string path = root + "/KILL.dat";
  {
    std::unique_ptr<recman::Engine> engine = ServerEngine(SocketConninfo(), root);
    ASSERT_TRUE(engine);
    recman_test::Client c(*engine);
    ASSERT_EQ(0, c.Create(path, recman_test::CreateBuffer(kLen, {{{1, 10}}})));
  }
  enum : std::uint32_t { kInserted = 1, kUpdating = 2, kUpdated = 3 };
  struct Message {
    std::uint32_t what, id, version;
  };
  std::map<std::uint32_t, std::uint32_t> versions, updating;
  std::size_t updates = 0;
  std::mt19937 rng(4242);
  for (int round = 0; round < 6; ++round) {
    int fds[2];
    ASSERT_EQ(0, ::pipe(fds));
    const std::uint32_t firstId = static_cast<std::uint32_t>(round) * 1000000u + 1;
    std::fflush(nullptr);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // Workstation 1's host: its network namespace, the server over TCP.
      ::close(fds[0]);
      const int ns = ::open((std::string("/var/run/netns/") + kStationNamespaces[0]).c_str(), O_RDONLY);
      if (ns < 0 || ::setns(ns, CLONE_NEWNET) != 0) ::_exit(3);
      std::unique_ptr<recman::Engine> engine = ServerEngine(Lab::Conninfo(database_), root);
      if (!engine) ::_exit(4);
      recman_test::Client c(*engine);
      if (c.Open(path) != 0) ::_exit(5);
      auto say = [&](std::uint32_t what, std::uint32_t id, std::uint32_t version) {
        Message m{what, id, version};
        if (::write(fds[1], &m, sizeof m) != sizeof m) ::_exit(6);
      };
      std::uint32_t version = 0;
      for (std::uint32_t id = firstId;; ++id) {
        if (c.Insert(RecordOf(id, 0)) == 0) say(kInserted, id, 0);
        // The previous record, read with a no-wait lock and changed under it.
        if (id > firstId && c.Get(recman::kOpGetEqual + recman::kLockSingleNoWait, 0, KeyOf(id - 1)) == 0) {
          ++version;
          say(kUpdating, id - 1, version);
          if (c.Update(RecordOf(id - 1, version)) == 0) say(kUpdated, id - 1, version);
        }
      }
    }
    ::close(fds[1]);
    Message m;
    std::vector<Message> messages;
    if (::read(fds[0], &m, sizeof m) == sizeof m) messages.push_back(m);
    ::usleep(50000 + rng() % 300000);
    ::kill(child, SIGKILL);
    int wstatus = 0;
    ::waitpid(child, &wstatus, 0);
    ASSERT_TRUE(WIFSIGNALED(wstatus)) << "the writer ended by itself with " << WEXITSTATUS(wstatus);
    while (::read(fds[0], &m, sizeof m) == sizeof m) messages.push_back(m);
    ::close(fds[0]);
    ASSERT_FALSE(messages.empty()) << "round " << round << " wrote nothing";
    for (const Message& msg : messages) {
      if (msg.what == kInserted) versions[msg.id] = 0;
      if (msg.what == kUpdating) updating[msg.id] = msg.version;
      if (msg.what == kUpdated) {
        updating.erase(msg.id);
        versions[msg.id] = msg.version;
        ++updates;
      }
    }
    ASSERT_TRUE(Lab::LocksGo(0, database_, 20)) << "round " << round << ": the killed writer's locks stayed";

    std::unique_ptr<recman::Engine> engine = ServerEngine(SocketConninfo(), root);
    ASSERT_TRUE(engine);
    recman_test::Client c(*engine);
    ASSERT_EQ(0, c.Open(path));
    for (auto& [id, want] : versions) {
      // Every record can be locked at once: nothing of the writer's is held.
      ASSERT_EQ(0, c.Get(recman::kOpGetEqual + recman::kLockSingleNoWait, 0, KeyOf(id)))
          << "round " << round << ": " << id << " lost or still locked";
      const std::uint32_t got = VersionOf(c.lastRecord);
      // An update cut short by the kill either happened or did not.
      auto open = updating.find(id);
      if (open != updating.end() && got == open->second) want = got;
      EXPECT_EQ(got, want) << "round " << round << ": an acknowledged update of " << id << " was lost";
    }
    updating.clear();
    c.Close();
  }
  EXPECT_GT(updates, 0u);
}

}  // namespace
}  // namespace hosts_test
