#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/system.h"
#include "support/temp_dir.h"

namespace {

using platform::File;
using platform::OpenResult;
using testing_support::TempDir;

void Touch(const std::string& hostPath) { std::ofstream(hostPath) << "x"; }

TEST(HostPath, MapsBackslashesAndMatchesCaseInsensitively) {
  TempDir dir;
  std::filesystem::create_directories(dir / "Dades");
  Touch(dir / "Dades/FinquesV.dat");
  const std::string root = dir.SystemDir();
  EXPECT_EQ(platform::HostPath(root + "DADES\\finquesv.DAT"), dir / "Dades/FinquesV.dat");
  EXPECT_EQ(platform::HostPath(root + "dades/FINQUESV.dat"), dir / "Dades/FinquesV.dat");
  // A missing file keeps the case it was given, inside the directory that does exist.
  EXPECT_EQ(platform::HostPath(root + "DADES\\TranLauV.dat"), dir / "Dades/TranLauV.dat");
  // Below a missing directory nothing is resolved.
  EXPECT_EQ(platform::HostPath(root + "NOU\\dades"), dir / "NOU/dades");
  // Trailing separators stay; empty is empty; relative paths resolve against the working dir.
  EXPECT_EQ(platform::HostPath(root + "dades\\"), dir / "Dades/");
  EXPECT_EQ(platform::HostPath(""), "");
  EXPECT_EQ(platform::HostPath("a\\b"), "a/b");
}

TEST(HostPath, ExactCaseWinsOverOtherSpellings) {
  TempDir dir;
  Touch(dir / "help.hlp");
  Touch(dir / "HELP.HLP");
  EXPECT_EQ(platform::HostPath(dir.SystemDir() + "HELP.HLP"), dir / "HELP.HLP");
  EXPECT_EQ(platform::HostPath(dir.SystemDir() + "help.hlp"), dir / "help.hlp");
}

TEST(Directories, MakeChangeRemove) {
  TempDir dir;
  EXPECT_TRUE(platform::MakeDirectory(dir.SystemDir() + "LOCKS"));
  EXPECT_TRUE(platform::MakeDirectory(dir.SystemDir() + "locks"));  // exists already, any case
  EXPECT_TRUE(platform::IsDirectory(dir.SystemDir() + "Locks\\"));
  EXPECT_FALSE(platform::MakeDirectory(dir.SystemDir() + "no\\such\\parent"));
  Touch(dir / "LOCKS/a.lck");
  EXPECT_TRUE(platform::PathExists(dir.SystemDir() + "locks\\A.LCK"));
  EXPECT_TRUE(platform::RemoveFile(dir.SystemDir() + "locks\\A.LCK"));
  EXPECT_FALSE(platform::PathExists(dir.SystemDir() + "locks\\A.LCK"));
  EXPECT_TRUE(platform::RemoveFile(dir.SystemDir() + "locks\\A.LCK"));  // already gone
}

TEST(File, ExclusiveOpenExcludesOtherOpensUntilClosed) {
  TempDir dir;
  const std::string path = dir.SystemDir() + "db.log";
  File first;
  ASSERT_EQ(first.Open(path, File::Mode::kAppend, true), OpenResult::kOk);
  File second;
  EXPECT_EQ(second.Open(path, File::Mode::kAppend, true), OpenResult::kBusy);
  // A plain open is not refused: only exclusive opens exclude each other.
  EXPECT_EQ(second.Open(path, File::Mode::kRead, false), OpenResult::kOk);
  first.Close();
  EXPECT_EQ(second.Open(path, File::Mode::kAppend, true), OpenResult::kOk);
}

TEST(File, ExclusiveClaimHeldByAnotherProcessAndDroppedWhenItDies) {
  TempDir dir;
  const std::string path = dir.SystemDir() + "LOCKS.TMP";
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    File held;
    if (held.Open(path, File::Mode::kReadWrite, true) != OpenResult::kOk) ::_exit(2);
    char c = 'r';
    if (::write(ready[1], &c, 1) != 1) ::_exit(3);
    ::pause();  // killed by the parent while holding the file
    ::_exit(0);
  }
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  File mine;
  EXPECT_EQ(mine.Open(path, File::Mode::kReadWrite, true), OpenResult::kBusy);
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_EQ(mine.Open(path, File::Mode::kReadWrite, true), OpenResult::kOk);
  ::close(ready[0]);
  ::close(ready[1]);
}

TEST(File, RandomAccessAppendAndFailures) {
  TempDir dir;
  const std::string path = dir.SystemDir() + "f.bin";
  File f;
  EXPECT_EQ(f.Open(dir.SystemDir() + "missing\\f.bin", File::Mode::kReadWrite, false), OpenResult::kFailed);
  EXPECT_EQ(f.Open(dir.SystemDir() + "nothing.bin", File::Mode::kRead, false), OpenResult::kFailed);
  ASSERT_EQ(f.Open(path, File::Mode::kReadWrite, false), OpenResult::kOk);
  EXPECT_TRUE(f.WriteAt(0, "hello"));
  EXPECT_TRUE(f.WriteAt(10, "X"));
  EXPECT_EQ(f.Size(), 11);
  char buf[5];
  EXPECT_EQ(f.ReadAt(0, buf), 5);
  EXPECT_EQ(std::string(buf, 5), "hello");
  EXPECT_EQ(f.ReadAt(11, buf), 0);
  EXPECT_TRUE(f.Append("!"));
  EXPECT_TRUE(f.Truncate(5));
  f.Close();
  File a;
  ASSERT_EQ(a.Open(path, File::Mode::kAppend, false), OpenResult::kOk);
  EXPECT_TRUE(a.WriteAt(0, " world"));  // appends whatever the offset
  a.Close();
  EXPECT_EQ(platform::ReadWholeFile(path).value_or(""), "hello world");
  EXPECT_TRUE(platform::WriteWholeFile(path, "new"));
  EXPECT_EQ(platform::ReadWholeFile(path).value_or(""), "new");
  EXPECT_FALSE(platform::ReadWholeFile(path + "x").has_value());
}

TEST(RealSystem, RandomStaysInBoundAndProgramsRun) {
  platform::RealSystem sys;
  EXPECT_EQ(sys.Random(0), 0u);
  for (int i = 0; i < 1000; ++i) EXPECT_LT(sys.Random(7), 7u);
  platform::LocalTime now = sys.Now();
  EXPECT_GE(now.year, 2024);
  EXPECT_GE(now.month, 1);
  EXPECT_LE(now.month, 12);
  EXPECT_EQ(sys.RunAndWait({"sh", "-c", "exit 3"}), 3);
  EXPECT_EQ(sys.RunAndWait({"true"}), 0);
  EXPECT_NE(sys.RunAndWait({"/no/such/program"}), 0);
  EXPECT_EQ(sys.RunAndWait({}), -1);
  std::int64_t t0 = sys.MonotonicMs();
  sys.Pause(20);
  EXPECT_GE(sys.MonotonicMs() - t0, 19);
  EXPECT_FALSE(sys.ComputerName().empty());
}

}  // namespace
