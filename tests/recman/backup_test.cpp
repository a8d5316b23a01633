// BackupFile: a consistent, verified copy taken while another client keeps writing.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "recman/backup.h"
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

// The records of a file in key order.
std::vector<std::string> Records(const std::string& path) {
  TestEngine engine;
  Client c(engine);
  std::vector<std::string> out;
  if (c.Open(path, -2) != 0) return {"<cannot open>"};
  for (std::int16_t s = c.Get(kOpGetFirst); s == 0; s = c.Get(kOpGetNext)) out.push_back(c.lastRecord);
  c.Close();
  return out;
}

TEST(Backup, CopiesTheChangesStillInTheWalWhileTheWriterKeepsTheFileOpen) {
  RECMAN_SQLITE_ONLY("backups copy SQLite databases");
  testing_support::TempDir dir;
  std::string path = dir / "f.dat";
  std::string copy = dir / "copy.dat";
  TestEngine engine;
  Client writer(engine);
  ASSERT_EQ(0, writer.Create(path, CreateBuffer(16, {{{1, 8}}})));
  ASSERT_EQ(0, writer.Open(path));
  for (int i = 0; i < 50; ++i) ASSERT_EQ(0, writer.Insert(Rec("R" + std::to_string(1000 + i), 16)));
  ASSERT_TRUE(std::filesystem::exists(path + "-wal"));

  std::string error;
  ASSERT_TRUE(BackupFile(path, copy, error)) << error;
  EXPECT_EQ(Records(copy), Records(path));
  EXPECT_EQ(Records(copy).size(), 50u);
  EXPECT_FALSE(std::filesystem::exists(copy + "-wal")) << "the copy is one file";

  // While a second writer inserts without pause, each copy is a sound file of whole records.
  std::atomic<bool> stop{false};
  std::thread busy([&] {
    TestEngine other;
    Client c(other);
    if (c.Open(path) != 0) return;
    for (int i = 0; !stop; ++i) c.Insert(Rec("W" + std::to_string(100000 + i), 16));
    c.Close();
  });
  std::size_t last = 0;
  for (int round = 0; round < 3; ++round) {
    ASSERT_TRUE(BackupFile(path, copy, error)) << error;
    std::string report;
    EXPECT_TRUE(VerifyFile(copy, report)) << report;
    std::size_t n = Records(copy).size();
    EXPECT_GE(n, last);
    last = n;
  }
  stop = true;
  busy.join();
  EXPECT_GE(last, 50u);
}

TEST(Backup, AFailedCopyLeavesTheDestinationAsItWas) {
  RECMAN_SQLITE_ONLY("backups copy SQLite databases");
  testing_support::TempDir dir;
  std::string copy = dir / "copy.dat";
  {
    std::ofstream(copy) << "yesterday's copy";
    std::ofstream(dir / "notes.dat") << "not a record file";
  }
  std::string error;
  EXPECT_FALSE(BackupFile(dir / "notes.dat", copy, error));
  EXPECT_EQ(error, "not a record file");
  EXPECT_FALSE(BackupFile(dir / "missing.dat", copy, error));
  std::ifstream in(copy);
  std::string kept((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(kept, "yesterday's copy");
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir.path())) files += e.is_regular_file();
  EXPECT_EQ(files, 2) << "no partial copy is left behind";
}

}  // namespace
