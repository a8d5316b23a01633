// VerifyFile: a sound file passes; each kind of damage behind the engine's back is named.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include "recman/engine.h"
#include "recman/verify.h"
#include "support/temp_dir.h"
#include "recman_test_util.h"

namespace {

using namespace recman;
using recman_test::Client;
using recman_test::CreateBuffer;
using recman_test::Rec;

void Sql(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(SQLITE_OK, sqlite3_open(path.c_str(), &db));
  ASSERT_EQ(SQLITE_OK, sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr)) << sqlite3_errmsg(db);
  sqlite3_close(db);
}

TEST(Verify, NamesEveryKindOfDamage) {
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
      Engine engine;
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

}  // namespace
