// Create buffers with faults, open modes, owners, and files that are not (or no longer) ours.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

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
using recman_test::Seg;

struct BadCreate {
  const char* name;
  std::string buffer;
  std::int16_t status;
};

std::vector<BadCreate> BadCreates() {
  const std::uint16_t ext = kKeyExtendedType;
  std::string shortBlock = CreateBuffer(10, {{{1, 2, kKeyCollating}}}, 1024, 0, {std::string(256, 'a')});
  shortBlock.resize(shortBlock.size() - 10);
  std::string badSignature = CreateBuffer(10, {{{1, 2, kKeyCollating}}}, 1024, 0, {std::string(256, 'a')});
  badSignature[32] = '\x12';
  std::string manyKeys = CreateBuffer(10, {{{1, 2}}});
  manyKeys[4] = 120;
  std::string truncated = CreateBuffer(10, {{{1, 2}}, {{3, 2}}});
  truncated.resize(24);
  std::vector<Seg> tooManySegments;
  for (int i = 0; i < 120; ++i) tooManySegments.push_back({1, 1, kKeyDuplicates});
  return {
      {"page size not a multiple of 512", CreateBuffer(10, {{{1, 2}}}, 1000), kStatusPageSizeInvalid},
      {"page size 0", CreateBuffer(10, {{{1, 2}}}, 0), kStatusPageSizeInvalid},
      {"page size above 4096", CreateBuffer(10, {{{1, 2}}}, 8192), kStatusPageSizeInvalid},
      {"buffer shorter than the file specification", std::string(10, '\0'), kStatusPageSizeInvalid},
      {"buffer shorter than its segments", truncated, kStatusPageSizeInvalid},
      {"zero keys", CreateBuffer(10, {}), kStatusInvalidNumberOfKeys},
      {"too many keys", manyKeys, kStatusInvalidNumberOfKeys},
      {"too many segments", CreateBuffer(10, {tooManySegments}), kStatusInvalidNumberOfKeys},
      {"record length 0", CreateBuffer(0, {{{1, 2}}}), kStatusInvalidRecordLength},
      {"record length 3", CreateBuffer(3, {{{1, 2}}}), kStatusInvalidRecordLength},
      {"record length above a page", CreateBuffer(5000, {{{1, 2}}}, 4096), kStatusInvalidRecordLength},
      {"segment at position 0", CreateBuffer(10, {{{0, 2}}}), kStatusInvalidKeyPosition},
      {"segment past the record's end", CreateBuffer(10, {{{9, 3}}}), kStatusInvalidKeyPosition},
      {"segment length 0", CreateBuffer(10, {{{1, 0}}}), kStatusInvalidKeyLength},
      {"key over 255 bytes", CreateBuffer(400, {{{1, 200}, {201, 100}}}), kStatusInvalidKeyLength},
      {"integer of 3 bytes", CreateBuffer(10, {{{1, 3, ext, 1}}}), kStatusInvalidKeyLength},
      {"autoincrement of 1 byte", CreateBuffer(10, {{{1, 1, ext, 15}}}), kStatusInvalidKeyLength},
      {"decimal type", CreateBuffer(10, {{{1, 4, ext, 5}}}), kStatusKeyTypeError},
      {"money type", CreateBuffer(10, {{{1, 4, ext, 6}}}), kStatusKeyTypeError},
      {"numeric type", CreateBuffer(10, {{{1, 4, ext, 8}}}), kStatusKeyTypeError},
      {"unknown type", CreateBuffer(10, {{{1, 4, ext, 200}}}), kStatusKeyTypeError},
      {"autoincrement as second segment", CreateBuffer(10, {{{1, 2}, {3, 2, ext, 15}}}), kStatusKeyTypeError},
      {"segments disagree on duplicates", CreateBuffer(10, {{{1, 2, kKeyDuplicates}, {3, 2}}}), kStatusInconsistentKeyFlags},
      {"segments disagree on null", CreateBuffer(10, {{{1, 2, kKeyNullAll}, {3, 2}}}), kStatusInconsistentKeyFlags},
      {"case folding on an integer", CreateBuffer(10, {{{1, 2, ext | kKeyCaseInsensitive, 1}}}), kStatusInconsistentKeyFlags},
      {"autoincrement with duplicates", CreateBuffer(10, {{{1, 4, ext | kKeyDuplicates, 15}}}), kStatusInconsistentKeyFlags},
      {"collating flag without a block", CreateBuffer(10, {{{1, 2, kKeyCollating}}}), kStatusBadCollatingSequence},
      {"collating block cut short", shortBlock, kStatusBadCollatingSequence},
      {"collating block without its signature", badSignature, kStatusBadCollatingSequence},
      {"key-only file", CreateBuffer(10, {{{1, 2}}}, 1024, kFileKeyOnly), kStatusOperationNotAllowed},
      {"key-only file with two keys", CreateBuffer(10, {{{1, 2}}, {{3, 2}}}, 1024, kFileKeyOnly),
       kStatusInvalidNumberOfKeys},
  };
}

TEST(CreateBuffer, NonsenseAnswersTheMatchingStatus) {
  testing_support::TempDir dir;
  TestEngine engine;
  Client client(engine);
  for (const BadCreate& row : BadCreates()) {
    std::string path = dir / "bad.dat";
    EXPECT_EQ(row.status, client.Create(path, row.buffer)) << row.name;
    EXPECT_FALSE(std::filesystem::exists(path)) << row.name;
  }
  EXPECT_EQ(kStatusInvalidFileName, client.Create("", CreateBuffer(10, {{{1, 2}}})));
  // A server has no folders: any name under the root will do there.
  if (!recman_test::OnServer()) {
    EXPECT_EQ(kStatusCreateIoError, client.Create(dir / "no/such/dir.dat", CreateBuffer(10, {{{1, 2}}})));
  }
}

TEST(CreateBuffer, BlankPaddedBufferOfTheRecordLayerIsAccepted) {
  // The record layer passes the description at the start of 1536 blanks.
  testing_support::TempDir dir;
  TestEngine engine;
  Client client(engine);
  std::string buffer = CreateBuffer(57, {{{1, 4, kKeyModifiable}}}, 4096);
  buffer.resize(1536, ' ');
  ASSERT_EQ(0, client.Create(dir / "t.dat", buffer));
  ASSERT_EQ(0, client.Open(dir / "t.dat"));
  std::string stat;
  ASSERT_EQ(0, client.Stat(stat));
  EXPECT_EQ(32u, stat.size());
  EXPECT_EQ(57, static_cast<std::uint8_t>(stat[0]));
}

class Modes : public ::testing::Test {
 protected:
  void SetUp() override {
    path = dir / "m.dat";
    ASSERT_EQ(0, a.Create(path, CreateBuffer(10, {{{1, 2, kKeyModifiable}}})));
    ASSERT_EQ(0, a.Open(path));
    ASSERT_EQ(0, a.Insert(Rec("AA", 10)));
    ASSERT_EQ(0, a.Close());
  }
  testing_support::TempDir dir;
  std::string path;
  TestEngine engine;
  Client a{engine}, b{engine};
};

TEST_F(Modes, CreateRefusesOrReplacesAnExistingFile) {
  EXPECT_EQ(kStatusFileExists, a.Create(path, CreateBuffer(10, {{{1, 2}}}), -1));
  ASSERT_EQ(0, a.Open(path));
  EXPECT_EQ(0, a.Get(kOpGetFirst));
  // Not while the file is open.
  EXPECT_EQ(kStatusFileLocked, b.Create(path, CreateBuffer(10, {{{1, 2}}}), 0));
  ASSERT_EQ(0, a.Close());
  ASSERT_EQ(0, a.Create(path, CreateBuffer(12, {{{1, 2}}}), 0));
  ASSERT_EQ(0, a.Open(path));
  EXPECT_EQ(kStatusEndOfFile, a.Get(kOpGetFirst));
  std::string stat;
  ASSERT_EQ(0, a.Stat(stat));
  EXPECT_EQ(12, stat[0]);
}

TEST_F(Modes, ReadOnlyRefusesWrites) {
  ASSERT_EQ(0, a.Open(path, -2));
  ASSERT_EQ(0, a.Get(kOpGetFirst));
  EXPECT_EQ(kStatusAccessDenied, a.Insert(Rec("BB", 10)));
  EXPECT_EQ(kStatusAccessDenied, a.Update(Rec("AA+", 10)));
  EXPECT_EQ(kStatusAccessDenied, a.Delete());
  EXPECT_EQ(0, a.Get(kOpGetEqual, 0, "AA"));
}

TEST_F(Modes, ExclusiveOpenKeepsOthersOut) {
  ASSERT_EQ(0, a.Open(path, -4));
  EXPECT_EQ(kStatusFileLocked, b.Open(path));
  EXPECT_EQ(kStatusFileLocked, b.Open(path, -2));
  TestEngine other;
  Client c(other);
  EXPECT_EQ(kStatusFileLocked, c.Open(path));
  ASSERT_EQ(0, a.Close());
  ASSERT_EQ(0, b.Open(path));
  // ... and fails itself while another has the file open.
  EXPECT_EQ(kStatusFileLocked, a.Open(path, -4));
  EXPECT_EQ(0, c.Open(path, -1));
  EXPECT_EQ(kStatusInvalidOperation, a.Open(path, -7));
}

TEST_F(Modes, OwnerNameGuardsTheFile) {
  ASSERT_EQ(0, a.Open(path));
  std::string name = recman_test::CString("ZED1"), again = name;
  std::uint32_t len = static_cast<std::uint32_t>(name.size());
  ASSERT_EQ(0, engine.BTRCALL(kOpSetOwner, a.pos(), name.data(), &len, again.data(), 5, 0));
  ASSERT_EQ(0, a.Close());
  EXPECT_EQ(kStatusInvalidOwner, a.Open(path));
  EXPECT_EQ(kStatusInvalidOwner, a.Open(path, 0, "ZED2"));
  ASSERT_EQ(0, a.Open(path, 0, "ZED1"));
  len = 0;
  ASSERT_EQ(0, engine.BTRCALL(kOpClearOwner, a.pos(), nullptr, &len, nullptr, 0, 0));
  ASSERT_EQ(0, a.Close());
  EXPECT_EQ(0, a.Open(path));
  // Mode 1: read-only without the name.
  name = recman_test::CString("ZED1");
  again = name;
  len = static_cast<std::uint32_t>(name.size());
  ASSERT_EQ(0, engine.BTRCALL(kOpSetOwner, a.pos(), name.data(), &len, again.data(), 5, 1));
  ASSERT_EQ(0, b.Open(path));
  EXPECT_EQ(0, b.Get(kOpGetFirst));
  EXPECT_EQ(kStatusAccessDenied, b.Insert(Rec("CC", 10)));
}

TEST(ForeignFiles, AnswerTwelveElevenOrThirty) {
  RECMAN_SQLITE_ONLY("foreign files on disk");
  testing_support::TempDir dir;
  TestEngine engine;
  Client client(engine);
  EXPECT_EQ(kStatusFileNotFound, client.Open(dir / "missing.dat"));
  EXPECT_EQ(kStatusInvalidFileName, client.Open(""));
  EXPECT_EQ(kStatusInvalidFileName, client.Open(dir.path()));
  std::ofstream(dir / "text.dat") << "This is a plain text file, not a record file at all.\n";
  EXPECT_EQ(kStatusNotARecordFile, client.Open(dir / "text.dat"));
  std::ofstream(dir / "empty.dat").close();
  EXPECT_EQ(kStatusNotARecordFile, client.Open(dir / "empty.dat"));
  EXPECT_EQ(0u, std::filesystem::file_size(dir / "empty.dat"));  // left untouched
  // Another program's SQLite database, and one of ours with another schema version.
  for (const char* sql : {"CREATE TABLE t(x)", "PRAGMA application_id = 1380142414; PRAGMA user_version = 99; CREATE TABLE t(x)",
                          "PRAGMA application_id = 1380142414; PRAGMA user_version = 1; CREATE TABLE t(x)"}) {
    std::string p = dir / "other.dat";
    std::filesystem::remove(p);
    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(p.c_str(), &db));
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(db, sql, nullptr, nullptr, nullptr));
    sqlite3_close(db);
    EXPECT_EQ(kStatusNotARecordFile, client.Open(p)) << sql;
  }
}

// Damaged files: every cut and every overwritten stretch opens with 0, 2 or 30, and whatever
// opens answers statuses to reads and writes without crashing.
TEST(DamagedFiles, AnswerTwoOrThirtyNeverCrash) {
  RECMAN_SQLITE_ONLY("damages the database file");
  testing_support::TempDir dir;
  std::string good = dir / "good.dat";
  {
    TestEngine engine;
    Client client(engine);
    ASSERT_EQ(0, client.Create(good, CreateBuffer(64, {{{1, 8}}, {{9, 4, kKeyDuplicates | kKeyExtendedType, 1}}})));
    ASSERT_EQ(0, client.Open(good));
    for (int i = 0; i < 400; ++i) {
      char key[16];
      std::snprintf(key, sizeof key, "%08d", i);
      ASSERT_EQ(0, client.Insert(Rec(std::string(key) + std::string(4, static_cast<char>(i % 7)), 64)));
    }
  }  // the engine closes the file; SQLite folds the WAL back into it
  std::string bytes;
  {
    std::ifstream in(good, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  ASSERT_GT(bytes.size(), 8192u);
  std::vector<std::string> variants;
  for (std::size_t cut : {std::size_t{0}, std::size_t{50}, std::size_t{100}, std::size_t{4096}, bytes.size() / 2, bytes.size() - 1})
    variants.push_back(bytes.substr(0, cut));
  for (std::size_t at : {std::size_t{0}, std::size_t{20}, std::size_t{100}, std::size_t{4096}, std::size_t{8192 + 100}, bytes.size() - 200}) {
    std::string damaged = bytes;
    for (std::size_t i = at; i < std::min(bytes.size(), at + 64); ++i) damaged[i] = static_cast<char>(0xA5 ^ i);
    variants.push_back(damaged);
  }
  int n = 0;
  for (const std::string& v : variants) {
    std::string p = dir / ("damaged" + std::to_string(n++) + ".dat");
    std::ofstream(p, std::ios::binary) << v;
    TestEngine engine;
    Client client(engine);
    std::int16_t s = client.Open(p);
    EXPECT_TRUE(s == 0 || s == kStatusIoError || s == kStatusNotARecordFile) << n << ": " << s;
    if (s == 0) {
      for (std::int16_t g = client.Get(kOpGetFirst); g == 0; g = client.Get(kOpGetNext)) {}
      for (std::int16_t g = client.Get(kOpGetFirst, 1); g == 0; g = client.Get(kOpGetNext, 1)) {}
      std::int16_t w = client.Insert(Rec("ZZZZZZZZ0000", 64));
      EXPECT_TRUE(w == 0 || w == kStatusIoError || w == kStatusDuplicateKey) << n << ": " << w;
    }
    std::string report;
    if (s != 0) {
      EXPECT_FALSE(recman::VerifyFile(p, report)) << n;
    }
  }
}

}  // namespace

namespace {

// Processes creating the same new file at once: one makes it, the others answer 59, and the
// file is whole.
TEST(CreateRace, OneCreatorWins) {
  testing_support::TempDir dir;
  std::string path = dir / "race.dat";
  constexpr int kCreators = 4;
  std::vector<pid_t> children;
  for (int i = 0; i < kCreators; ++i) {
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      TestEngine engine;
      Client c(engine);
      std::int16_t s = c.Create(path, CreateBuffer(10, {{{1, 2}}}), -1);
      _exit(s == 0 ? 0 : s == kStatusFileExists ? 1 : 2);
    }
    children.push_back(child);
  }
  int made = 0, refused = 0;
  for (pid_t child : children) {
    int wstatus = 0;
    ::waitpid(child, &wstatus, 0);
    ASSERT_TRUE(WIFEXITED(wstatus));
    if (WEXITSTATUS(wstatus) == 0) ++made;
    if (WEXITSTATUS(wstatus) == 1) ++refused;
  }
  EXPECT_EQ(1, made);
  EXPECT_EQ(kCreators - 1, refused);
  std::string report;
  EXPECT_TRUE(recman_test::VerifyTestFile(path, report)) << report;
  // No private build files are left behind.
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    if (entry.path().filename().string().find(".create-") != std::string::npos) ++files;
  EXPECT_EQ(0, files);
}

}  // namespace
