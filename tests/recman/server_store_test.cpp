// What only the server store has: locks between hosts' processes, a server that goes away and
// comes back, names relative to the installation root, copies to and from SQLite files, and
// the key order of every byte value compared with SQLite's.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "recman/copy.h"
#include "recman/engine.h"
#include "recman/server_place.h"
#include "recman/store_place.h"
#include "recman/verify.h"
#include "recman_test_util.h"
#include "support/temp_dir.h"

namespace {

using namespace recman;
using recman_test::Client;
using recman_test::CreateBuffer;
using recman_test::Rec;
using recman_test::Seg;

#define SERVER_RUN_ONLY() \
  if (!recman_test::OnServer()) GTEST_SKIP() << "runs in the server run of the suite"

std::unique_ptr<StorePlace> ServerPlaceOn(const std::string& conninfo, const std::string& root,
                                          int busyTimeoutMs = 10000) {
  std::unique_ptr<StorePlace> place;
  std::string error;
  EXPECT_EQ(0, OpenServerPlace(ServerOptions{conninfo, root, busyTimeoutMs}, place, error)) << error;
  return place;
}

// Waits for a byte from a child.
char Await(int fd) {
  char c = 0;
  return ::read(fd, &c, 1) == 1 ? c : 0;
}

TEST(ServerLocks, HeldAcrossProcessesAndFreedWhenTheHolderIsKilled) {
  SERVER_RUN_ONLY();
  testing_support::TempDir dir;
  const std::string path = dir / "locks.dat";
  recman_test::TestEngine engine;
  Client c(engine);
  ASSERT_EQ(0, c.Create(path, CreateBuffer(10, {{{1, 2}}})));
  ASSERT_EQ(0, c.Open(path));
  ASSERT_EQ(0, c.Insert(Rec("AA", 10)));
  ASSERT_EQ(0, c.Insert(Rec("BB", 10)));

  int ready[2];
  ASSERT_EQ(0, ::pipe(ready));
  pid_t holder = ::fork();
  ASSERT_GE(holder, 0);
  if (holder == 0) {
    recman_test::TestEngine mine;
    Client h(mine);
    bool ok = h.Open(path) == 0 && h.Get(kOpGetEqual + kLockMultipleNoWait, 0, "AA") == 0 &&
              h.Get(kOpGetEqual + kLockMultipleNoWait, 0, "BB") == 0;
    [[maybe_unused]] ssize_t n = ::write(ready[1], ok ? "y" : "n", 1);
    ::pause();
    ::_exit(0);
  }
  ASSERT_EQ('y', Await(ready[0]));
  EXPECT_EQ(kStatusRecordLocked, c.Get(kOpGetEqual + kLockSingleNoWait, 0, "AA"));
  EXPECT_EQ(kStatusRecordLocked, c.Get(kOpGetEqual + kLockSingleNoWait, 0, "BB"));
  ASSERT_EQ(0, c.Get(kOpGetEqual, 0, "BB"));
  EXPECT_EQ(kStatusRecordLocked, c.Update(Rec("BB", 10)));
  // An exclusive open is refused while the other process has the file open.
  Client x(engine);
  EXPECT_EQ(kStatusFileLocked, x.Open(path, -4));

  ::kill(holder, SIGKILL);
  ::waitpid(holder, nullptr, 0);
  // The server notices the closed connection and drops its locks.
  std::int16_t s = kStatusRecordLocked;
  for (int i = 0; i < 100 && s == kStatusRecordLocked; ++i) {
    s = c.Get(kOpGetEqual + kLockSingleNoWait, 0, "AA");
    if (s == kStatusRecordLocked) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_EQ(0, s);
  EXPECT_EQ(0, c.Get(kOpGetEqual + kLockMultipleNoWait, 0, "BB"));
  ::close(ready[0]);
  ::close(ready[1]);
}

// The server stopped under an open file: calls answer 2, never hang; once it is back, the next
// call connects again and the locks the client held are its own again.
TEST(ServerGone, CallsAnswerTwoThenGoOnWithTheirLocks) {
  SERVER_RUN_ONLY();
  testing_support::PgCluster cluster;
  ASSERT_TRUE(cluster.ok());
  testing_support::TempDir dir;
  const std::string path = dir / "gone.dat";
  Engine a(EngineOptions{}, ServerPlaceOn(cluster.tcpConninfo(), "/"));
  Engine b(EngineOptions{}, ServerPlaceOn(cluster.conninfo(), "/"));
  Client ca(a), cb(b);
  ASSERT_EQ(0, ca.Create(path, CreateBuffer(10, {{{1, 2}}})));
  ASSERT_EQ(0, ca.Open(path));
  ASSERT_EQ(0, cb.Open(path));
  ASSERT_EQ(0, ca.Insert(Rec("AA", 10)));
  ASSERT_EQ(0, ca.Get(kOpGetEqual + kLockSingleNoWait, 0, "AA"));

  ASSERT_TRUE(cluster.Stop());
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(kStatusIoError, ca.Get(kOpGetEqual, 0, "AA"));
  EXPECT_EQ(kStatusIoError, ca.Insert(Rec("BB", 10)));
  EXPECT_EQ(kStatusIoError, cb.Get(kOpGetFirst));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));

  ASSERT_TRUE(cluster.Start());
  EXPECT_EQ(0, ca.Insert(Rec("BB", 10)));
  EXPECT_EQ(0, cb.Get(kOpGetEqual, 0, "BB"));
  // a's lock on AA was taken again with its connection.
  EXPECT_EQ(kStatusRecordLocked, cb.Get(kOpGetEqual + kLockSingleNoWait, 0, "AA"));
  EXPECT_EQ(0, ca.Get(kOpGetEqual, 0, "AA"));
  EXPECT_EQ(0, ca.Update(Rec("AA", 10)));
  EXPECT_EQ(0, cb.Get(kOpGetEqual + kLockSingleNoWait, 0, "AA"));
  std::string report;
  EXPECT_TRUE(VerifyFile(*ServerPlaceOn(cluster.conninfo(), "/"), path, report)) << report;
}

// Another writer holds the file (here a session of psql): readers go on, writers wait up to
// the busy limit and answer 85, and get through once it is done.
TEST(ServerBusy, WritersAnswerEightyFiveWhileAnotherWriterHoldsTheFile) {
  SERVER_RUN_ONLY();
  testing_support::TempDir dir;
  const std::string path = dir / "busy.dat", ready = dir / "ready";
  EngineOptions options;
  options.busyTimeoutMs = 300;
  recman_test::TestEngine engine(options);
  Client c(engine);
  ASSERT_EQ(0, c.Create(path, CreateBuffer(10, {{{1, 2, kKeyModifiable}}})));
  ASSERT_EQ(0, c.Open(path));
  ASSERT_EQ(0, c.Insert(Rec("AA", 10)));
  pid_t holder = ::fork();
  ASSERT_GE(holder, 0);
  if (holder == 0) {
    int rc = recman_test::ServerEnvironment::Cluster().Sql(
        {"BEGIN", "SELECT 1 FROM recman_files WHERE name = '" + path.substr(1) + "' FOR UPDATE", "\\! touch " + ready,
         "SELECT pg_sleep(3)", "COMMIT"});
    ::_exit(rc);
  }
  for (int i = 0; i < 400 && !std::filesystem::exists(ready); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_TRUE(std::filesystem::exists(ready));
  EXPECT_EQ(0, c.Get(kOpGetEqual, 0, "AA"));
  EXPECT_EQ(kStatusFileLocked, c.Insert(Rec("BB", 10)));
  EXPECT_EQ(kStatusFileLocked, c.Update(Rec("AA1", 10)));
  int status = -1;
  ::waitpid(holder, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(0, c.Insert(Rec("BB", 10)));
  ASSERT_EQ(0, c.Get(kOpGetEqual, 0, "AA"));
  EXPECT_EQ(0, c.Update(Rec("AA1", 10)));
}

TEST(ServerGone, AnUnreachableServerAnswersTwo) {
  SERVER_RUN_ONLY();
  auto place = ServerPlaceOn("host=127.0.0.1 port=1 dbname=none connect_timeout=2", "/");
  Engine engine(EngineOptions{}, std::move(place));
  Client c(engine);
  EXPECT_EQ(kStatusIoError, c.Open("/tmp/x.dat"));
  EXPECT_EQ(kStatusCreateIoError, c.Create("/tmp/x.dat", CreateBuffer(10, {{{1, 2}}})));
}

// Files are named by their path under the installation root, however the program names them.
TEST(ServerNames, HostPathsUnderTheRootNameOneFile) {
  SERVER_RUN_ONLY();
  testing_support::TempDir root;
  std::filesystem::create_directories(root / "DADES");
  Engine engine(EngineOptions{}, ServerPlaceOn(recman_test::TestServerOptions().conninfo, root.path() + "/"));
  Client c(engine);
  ASSERT_EQ(0, c.Create(root / "DADES/Names.dat", CreateBuffer(10, {{{1, 2}}})));
  const auto here = std::filesystem::current_path();
  std::filesystem::current_path(root.path());
  EXPECT_EQ(kStatusFileExists, c.Create("DADES/Names.dat", CreateBuffer(10, {{{1, 2}}})));
  EXPECT_EQ(kStatusFileExists, c.Create("./DADES/../DADES/Names.dat", CreateBuffer(10, {{{1, 2}}})));
  EXPECT_EQ(kStatusFileNotFound, c.Open("DADES/names.dat"));  // the case is kept
  std::filesystem::current_path(root / "DADES");
  ASSERT_EQ(0, c.Open("Names.dat"));
  ASSERT_EQ(0, c.Insert(Rec("AA", 10)));
  std::filesystem::current_path(here);
  // From outside the root, a relative path is taken from the root.
  Client d(engine);
  EXPECT_EQ(0, d.Open("DADES/Names.dat"));
  EXPECT_EQ(0, d.Get(kOpGetEqual, 0, "AA"));
  EXPECT_EQ(kStatusInvalidFileName, d.Open("/elsewhere/Names.dat"));
  EXPECT_EQ(kStatusInvalidFileName, d.Open("../Names.dat"));
}

// Walks a key from first to last: the records' first bytes, and their addresses.
std::vector<std::pair<std::string, std::uint32_t>> WalkKey(Client& c, int key, std::size_t width) {
  std::vector<std::pair<std::string, std::uint32_t>> out;
  for (std::int16_t s = c.Get(kOpGetFirst, key); s == 0; s = c.Get(kOpGetNext, key))
    out.emplace_back(c.lastRecord.substr(0, width), c.Position());
  return out;
}

// Every byte value in the first and in the last position of a binary key: the server's order
// is SQLite's (bytes compared unsigned).
TEST(ServerKeys, EveryByteValueOrdersAsOnSqlite) {
  SERVER_RUN_ONLY();
  testing_support::TempDir dir;
  std::vector<std::string> keys;
  for (int b = 0; b < 256; ++b) {
    keys.push_back(std::string{static_cast<char>(b), static_cast<char>(255 - b)});
    keys.push_back(std::string{static_cast<char>(b), static_cast<char>(b == 255 ? 1 : 0)});
  }
  std::shuffle(keys.begin(), keys.end(), std::mt19937(16));
  Engine local(EngineOptions{}, LocalFiles(10000));
  recman_test::TestEngine server;
  std::vector<std::vector<std::pair<std::string, std::uint32_t>>> walks;
  for (Engine* engine : {&local, static_cast<Engine*>(&server)}) {
    Client c(*engine);
    const std::string path = dir / (engine == &local ? "local.dat" : "server.dat");
    // Key 0 a string (stored as it is), key 1 its first byte with duplicates.
    ASSERT_EQ(0, c.Create(path, CreateBuffer(10, {{{1, 2}}, {{1, 1, kKeyDuplicates}}})));
    ASSERT_EQ(0, c.Open(path));
    for (const std::string& k : keys) ASSERT_EQ(0, c.Insert(Rec(k, 10)));
    walks.push_back(WalkKey(c, 0, 2));
    auto dups = WalkKey(c, 1, 2);
    walks.back().insert(walks.back().end(), dups.begin(), dups.end());
  }
  ASSERT_EQ(keys.size() * 2, walks[0].size());
  EXPECT_EQ(walks[0], walks[1]);
  std::vector<std::string> sorted = keys;
  std::sort(sorted.begin(), sorted.end(), [](const std::string& x, const std::string& y) {
    return std::lexicographical_compare(x.begin(), x.end(), y.begin(), y.end(),
                                        [](char p, char q) { return static_cast<unsigned char>(p) < static_cast<unsigned char>(q); });
  });
  for (std::size_t i = 0; i < sorted.size(); ++i) EXPECT_EQ(sorted[i], walks[1][i].first) << i;
}

// A file with gaps in its addresses (records deleted, the last one too) and duplicates out of
// address order, copied to the server and back: addresses, the order of duplicates, counts and
// the next address given out all stay.
TEST(ServerCopy, SqliteToServerAndBackKeepsAddressesAndOrder) {
  SERVER_RUN_ONLY();
  testing_support::TempDir dir;
  const std::string source = dir / "source.dat", back = dir / "back.dat", onServer = dir / "server/copy.dat";
  auto local = LocalFiles(10000);
  auto server = recman_test::TestPlace(EngineOptions{});
  {
    Engine engine(EngineOptions{}, LocalFiles(10000));
    Client c(engine);
    // Key 0 unique, key 1 (one byte) with duplicates, modifiable; an owner.
    ASSERT_EQ(0, c.Create(source, CreateBuffer(12, {{{1, 4}}, {{5, 1, kKeyDuplicates | kKeyModifiable}}})));
    ASSERT_EQ(0, c.Open(source));
    for (int i = 0; i < 40; ++i) ASSERT_EQ(0, c.Insert(Rec(std::to_string(1000 + i) + "ABC"[i % 3], 12)));
    for (const char* gone : {"1003", "1017", "1039"}) {
      ASSERT_EQ(0, c.Get(kOpGetEqual, 0, gone));
      ASSERT_EQ(0, c.Delete());
    }
    // 1001 (B) moves to the end of the A's.
    ASSERT_EQ(0, c.Get(kOpGetEqual, 0, "1001"));
    ASSERT_EQ(0, c.Update(Rec("1001A", 12)));
    std::string data = recman_test::CString("SECRET"), key = data;
    std::uint32_t len = static_cast<std::uint32_t>(data.size());
    ASSERT_EQ(0, c.Call(kOpSetOwner, data, len, key, 0));
  }
  std::string error;
  ASSERT_EQ(0, CopyFile(*local, source, *server, onServer, error)) << error;
  ASSERT_EQ(0, CopyFile(*server, onServer, *local, back, error)) << error;
  EXPECT_EQ(kStatusFileExists, CopyFile(*local, source, *server, onServer, error));

  std::vector<std::vector<std::pair<std::string, std::uint32_t>>> walks;
  std::vector<std::string> stats;
  std::vector<std::uint32_t> next;
  for (auto [place, path] : {std::pair{local.get(), source}, {server.get(), onServer}, {local.get(), back}}) {
    Engine engine(EngineOptions{}, place == local.get() ? LocalFiles(10000) : recman_test::TestPlace(EngineOptions{}));
    Client c(engine);
    EXPECT_EQ(kStatusInvalidOwner, c.Open(path, 0, "OTHER")) << path;
    ASSERT_EQ(0, c.Open(path, 0, "SECRET")) << path;
    auto walk = WalkKey(c, 1, 5);
    auto byKey0 = WalkKey(c, 0, 5);
    walk.insert(walk.end(), byKey0.begin(), byKey0.end());
    walks.push_back(walk);
    std::string stat;
    ASSERT_EQ(0, c.Stat(stat));
    stats.push_back(stat);
    ASSERT_EQ(0, c.Insert(Rec("2000A", 12)));
    next.push_back(c.Position());
    std::string report;
    EXPECT_TRUE(place == local.get() ? VerifyFile(path, report) : VerifyFile(*server, path, report)) << report;
  }
  ASSERT_EQ(74u, walks[0].size());
  EXPECT_EQ(walks[0], walks[1]);
  EXPECT_EQ(walks[0], walks[2]);
  EXPECT_EQ(stats[0], stats[1]);
  EXPECT_EQ(stats[0], stats[2]);
  EXPECT_EQ((std::vector<std::uint32_t>{41, 41, 41}), next);
}

}  // namespace
