#include "platform/sharing.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/paths.h"
#include "support/run_as.h"
#include "support/temp_dir.h"

namespace {

using platform::File;
using platform::OpenResult;
using testing_support::TempDir;

struct stat StatOf(const std::string& hostPath) {
  struct stat st {};
  ::stat(hostPath.c_str(), &st);
  return st;
}
unsigned ModeOf(const std::string& hostPath) { return StatOf(hostPath).st_mode & 07777; }

// Sets the process's umask for one scope.
class Umask {
 public:
  explicit Umask(mode_t mask) : saved_(::umask(mask)) {}
  ~Umask() { ::umask(saved_); }

 private:
  mode_t saved_;
};

bool Create(const std::string& hostPath) {
  File file;
  return file.Open(hostPath, File::Mode::kAppend, false) == OpenResult::kOk && file.Append("x");
}

// The umask decides nothing in a group-writable folder; elsewhere it does, never world write;
// a file that exists keeps its mode.
TEST(SharedFiles, ModesComeFromTheFolderNotTheUmask) {
  TempDir dir;
  const std::string shared = dir / "shared", open = dir / "open", own = dir / "own";
  for (auto [path, mode] : {std::pair{shared, 02775}, {open, 0777}, {own, 0700}}) {
    ASSERT_EQ(0, ::mkdir(path.c_str(), 0700));
    ASSERT_EQ(0, ::chmod(path.c_str(), mode));
  }
  {
    Umask mask(022);
    ASSERT_TRUE(Create(shared + "/db.log"));
    ASSERT_TRUE(Create(own + "/WinPush.tmp"));
    ASSERT_TRUE(platform::MakeDirectory(shared + "/LOCKS"));
    ASSERT_TRUE(platform::MakeDirectory(shared + "/LOCKS"));  // already there
  }
  EXPECT_EQ(0664u, ModeOf(shared + "/db.log"));
  EXPECT_EQ(0644u, ModeOf(own + "/WinPush.tmp"));
  EXPECT_EQ(02775u, ModeOf(shared + "/LOCKS"));
  {
    Umask mask(077);
    ASSERT_TRUE(Create(shared + "/LOCKS/TranLauV.lck"));
    ASSERT_TRUE(platform::MakeDirectory(shared + "/ddf"));
    ASSERT_TRUE(platform::WriteWholeFile(own + "/Browse.tmp", "x"));
  }
  EXPECT_EQ(0660u, ModeOf(shared + "/LOCKS/TranLauV.lck"));
  EXPECT_EQ(02770u, ModeOf(shared + "/ddf"));
  EXPECT_EQ(0600u, ModeOf(own + "/Browse.tmp"));
  {
    Umask mask(0);
    ASSERT_TRUE(Create(open + "/db.log"));
    ASSERT_TRUE(platform::MakeDirectory(open + "/LOCKS"));
    // An existing file is opened as it is.
    ASSERT_EQ(0, ::chmod((shared + "/db.log").c_str(), 0640));
    ASSERT_TRUE(Create(shared + "/db.log"));
  }
  EXPECT_EQ(0664u, ModeOf(open + "/db.log"));
  EXPECT_EQ(0775u, ModeOf(open + "/LOCKS"));
  EXPECT_EQ(0640u, ModeOf(shared + "/db.log"));

  // Private folders stay private.
  ASSERT_TRUE(platform::MakePrivateDirectory(shared + "/T1"));
  EXPECT_EQ(0700u, ModeOf(shared + "/T1") & 0777);
}

// An operator whose own group is not the folder's, in a folder without set-group-id: what it
// creates still takes the folder's group; files of others are left alone.
TEST(SharedFiles, AnOperatorsNewFilesTakeTheFoldersGroup) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run a piece of the test as another user";
  using namespace testing_support;
  TempDir dir;
  ASSERT_EQ(0, ::chmod(dir.path().c_str(), 0755));
  const std::string root = dir / "inst";
  ASSERT_EQ(0, ::mkdir(root.c_str(), 0775));
  ASSERT_EQ(0, ::chown(root.c_str(), 0, kOfficeGid));
  ASSERT_EQ(0, ::chmod(root.c_str(), 0775));
  const std::string others = root + "/others.dat";
  { File f; ASSERT_EQ(OpenResult::kOk, f.Open(others, File::Mode::kReadWrite, false)); }
  ASSERT_EQ(0, ::chown(others.c_str(), 0, 0));
  ASSERT_EQ(0, ::chmod(others.c_str(), 0644));

  ASSERT_TRUE(RunAs(kOperatorUid, kOperatorGid, {kOfficeGid}, 022, [&] {
    int made = ::open((root + "/t.dat-wal").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (made < 0) return false;
    ::close(made);
    platform::ShareOwnFile(root + "/t.dat-wal");
    platform::ShareOwnFile(others);
    return Create(root + "/db.log") && platform::MakeDirectory(root + "/LOCKS");
  }));
  for (const char* name : {"/db.log", "/t.dat-wal", "/LOCKS"}) {
    struct stat st = StatOf(root + name);
    EXPECT_EQ(kOfficeGid, st.st_gid) << name;
    EXPECT_EQ(kOperatorUid, st.st_uid) << name;
    EXPECT_EQ(S_ISDIR(st.st_mode) ? 0775u : 0664u, st.st_mode & 07777) << name;
  }
  EXPECT_EQ(0644u, ModeOf(others));
  EXPECT_EQ(0u, StatOf(others).st_gid);
}

}  // namespace
