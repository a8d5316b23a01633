// A record file and everything beside it, made by an operator whose umask is 022 and whose own
// group is not the installation's: every operator of the group can write them all.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "recman/engine.h"
#include "support/run_as.h"
#include "support/temp_dir.h"
#include "recman_test_util.h"

namespace {

using namespace recman;
using namespace testing_support;
using recman_test::Client;
using recman_test::TestEngine;
using recman_test::CreateBuffer;
using recman_test::Rec;

// Mode and group of each file of a record file while it is open and written: the data file, the
// lock side file and SQLite's -wal and -shm. Checked inside the operator's process, since SQLite
// removes -wal and -shm when the last client closes the file.
bool SidesAreShared(const std::string& path, gid_t group, std::string& report) {
  bool ok = true;
  for (const char* side : {"", "-lock", "-wal", "-shm"}) {
    struct stat st {};
    const std::string name = path + side;
    if (::stat(name.c_str(), &st) != 0) {
      report += name + " missing; ";
      ok = false;
    } else if ((st.st_mode & 0777) != 0664 || st.st_gid != group) {
      report += name + " mode " + std::to_string(st.st_mode & 0777) + " group " + std::to_string(st.st_gid) + "; ";
      ok = false;
    }
  }
  return ok;
}

TEST(SharedRecordFiles, EveryFileBesideARecordFileIsGroupWritable) {
  RECMAN_SQLITE_ONLY("modes of the files on disk");
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run a piece of the test as another user";
  TempDir dir;
  ASSERT_EQ(0, ::chmod(dir.path().c_str(), 0755));
  const std::string folder = dir / "DADES";
  ASSERT_EQ(0, ::mkdir(folder.c_str(), 0775));
  ASSERT_EQ(0, ::chown(folder.c_str(), 0, kOfficeGid));
  ASSERT_EQ(0, ::chmod(folder.c_str(), 0775));  // no set-group-id: the group must come from the program
  const std::string path = folder + "/TranLauV.dat";

  // Each pipe end is written by the child and read here.
  int report[2];
  ASSERT_EQ(0, ::pipe(report));
  bool ran = RunAs(kOperatorUid, kOperatorGid, {kOfficeGid}, 022, [&] {
    TestEngine engine;
    Client client(engine);
    std::string text;
    bool ok = client.Create(path, CreateBuffer(10, {{{1, 2}}})) == 0 && client.Open(path) == 0 &&
              client.Insert(Rec("AA", 10)) == 0;
    if (!ok) text = "the file could not be created and written; ";
    ok = ok && SidesAreShared(path, kOfficeGid, text);
    [[maybe_unused]] ssize_t n = ::write(report[1], text.data(), text.size());
    return ok;
  });
  ::close(report[1]);
  char buffer[1024] = {};
  [[maybe_unused]] ssize_t got = ::read(report[0], buffer, sizeof buffer - 1);
  ::close(report[0]);
  EXPECT_TRUE(ran) << buffer;

  // A second operator of the group, with its own umask, works on the file the first made.
  constexpr uid_t kSecondUid = kOperatorUid + 10;
  EXPECT_TRUE(RunAs(kSecondUid, kSecondUid, {kOfficeGid}, 077, [&] {
    TestEngine engine;
    Client client(engine);
    std::string ignored;
    return client.Open(path) == 0 && client.Insert(Rec("BB", 10)) == 0 &&
           SidesAreShared(path, kOfficeGid, ignored);
  }));
}

}  // namespace
