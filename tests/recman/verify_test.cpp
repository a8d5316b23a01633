// VerifyFile: a sound file passes; each kind of damage behind the engine's back is named.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "recman/engine.h"
#include "recman/verify.h"
#include "support/temp_dir.h"
#include "recman_test_util.h"

namespace {

using namespace recman;
using recman_test::Client;
using recman_test::TestEngine;
using recman_test::CreateBuffer;
using recman_test::Rec;

void Sql(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open(path.c_str(), &db));
  ASSERT_EQ(SQLITE_OK, sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr)) << sqlite3_errmsg(db);
  sqlite3_close(db);
}

TEST(Verify, NamesEveryKindOfDamage) {
  RECMAN_SQLITE_ONLY("damages the database behind the engine");
  struct Row {
    const char* damage;
    const char* sql;
    const char* reported;
  };
  const Row rows[] = {
      {"index entry removed", "DELETE FROM key_1 WHERE addr = 2", "missing from the index"},
      {"record removed under its entries", "DELETE FROM records WHERE addr = 3", "entry for missing record"},
      {"entry with a wrong key", "UPDATE key_1 SET k = x'00000000' WHERE addr = 1", "does not hold its key"},
      {"record changed beside its copy", "UPDATE records SET data = zeroblob(12) WHERE addr = 2", "copy of record 2 differs"},
      {"record count off", "UPDATE recman_counters SET value = 99 WHERE id = 0", "record count 99"},
      {"distinct count off", "UPDATE recman_counters SET value = 7 WHERE id = 2", "distinct count 7"},
  };
  for (const Row& row : rows) {
    testing_support::TempDir dir;
    std::string path = dir / "v.dat";
    {
      TestEngine engine;
      Client c(engine);
      ASSERT_EQ(0, c.Create(path, CreateBuffer(12, {{{1, 4}}, {{5, 4, kKeyDuplicates}}})));
      ASSERT_EQ(0, c.Open(path));
      for (const char* r : {"AAAAxxxx", "BBBByyyy", "CCCCxxxx"}) ASSERT_EQ(0, c.Insert(Rec(r, 12)));
    }
    std::string report;
    ASSERT_TRUE(VerifyFile(path, report)) << report;
    EXPECT_EQ("", report);
    Sql(path, row.sql);
    EXPECT_FALSE(VerifyFile(path, report)) << row.damage;
    EXPECT_NE(std::string::npos, report.find(row.reported)) << row.damage << ":\n" << report;
  }
}

TEST(Verify, FilesThatDoNotOpenSayWhy) {
  testing_support::TempDir dir;
  std::string report;
  EXPECT_FALSE(VerifyFile(dir / "none.dat", report));
  EXPECT_NE(std::string::npos, report.find("status 12")) << report;
}

// A file that another process writes all the while is sound at every moment: verification
// reads it as it stood at one moment and reports nothing.
TEST(Verify, AFileInUseIsSound) {
  testing_support::TempDir dir;
  std::string path = dir / "busy.dat";
  {
    TestEngine engine;
    Client c(engine);
    ASSERT_EQ(0, c.Create(path, CreateBuffer(12, {{{1, 4}}, {{5, 4, kKeyDuplicates}}})));
    ASSERT_EQ(0, c.Open(path));
    for (int i = 0; i < 300; ++i) {
      char key[5];
      std::snprintf(key, sizeof key, "%04d", i);
      ASSERT_EQ(0, c.Insert(Rec(std::string(key) + (i % 2 ? "xxxx" : "yyyy"), 12)));
    }
  }
  int toWriter[2];
  int fromWriter[2];
  ASSERT_EQ(0, ::pipe(toWriter));
  ASSERT_EQ(0, ::pipe(fromWriter));
  std::fflush(nullptr);
  pid_t writer = ::fork();
  if (writer == 0) {
    // Inserts and deletes one record after another until told to stop; reports how many.
    TestEngine engine;
    Client c(engine);
    if (c.Open(path) != 0) ::_exit(1);
    ::fcntl(toWriter[0], F_SETFL, O_NONBLOCK);
    [[maybe_unused]] ssize_t n = ::write(fromWriter[1], "g", 1);
    unsigned char done = 0;
    char stop = 0;
    while (::read(toWriter[0], &stop, 1) != 1) {
      if (c.Insert(Rec("WWWWzzzz", 12)) != 0 || c.Delete() != 0) ::_exit(2);
      if (done < 255) ++done;
    }
    n = ::write(fromWriter[1], &done, 1);
    ::_exit(0);
  }
  char go = 0;
  ASSERT_EQ(1, ::read(fromWriter[0], &go, 1));
  int failures = 0;
  std::string report, firstReport;
  for (int i = 0; i < 25; ++i) {
    if (!recman_test::VerifyTestFile(path, report)) {
      if (failures++ == 0) firstReport = report;
    }
  }
  [[maybe_unused]] ssize_t n = ::write(toWriter[1], "s", 1);
  unsigned char writes = 0;
  EXPECT_EQ(1, ::read(fromWriter[0], &writes, 1));
  int status = -1;
  ::waitpid(writer, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_GT(writes, 5) << "the writer hardly wrote while the file was verified";
  EXPECT_EQ(failures, 0) << firstReport;
  for (int fd : {toWriter[0], toWriter[1], fromWriter[0], fromWriter[1]}) ::close(fd);
}

}  // namespace
