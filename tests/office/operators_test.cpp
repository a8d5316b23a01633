// Two operators, each under an account of their own with umask 022, on one installation owned
// by their group: taking turns and at the same time, each one's program creates, changes and
// removes cards, waits in the lock registry for the other, and writes the change log, and
// every file either one makes is usable by the other.
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include <gtest/gtest.h>

#include "office.h"
#include "recman/modules.h"
#include "recman/store_place.h"
#include "storage/access_log.h"
#include "tui/console/keys.h"

namespace office_test {
namespace {

using app_test::Session;
using tui::HeadlessControl;
namespace key = tui::key;

class TwoOperators : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (::geteuid() != 0) return;
    // The program loads its SQLite store from the build folder, which the operators' accounts
    // may not reach (a private clone): it is loaded now, before the runs become operators.
    std::string moduleError;
    if (!recman::ModuleSymbol(recman::kLocalFilesModule, "recman_local_files_place", moduleError)) {
      failure_ = moduleError;
      return;
    }
    office_ = new Office();
    std::string why;
    if (!office_->Make(why)) failure_ = why;
  }
  static void TearDownTestSuite() {
    delete office_;  // removes the accounts and the group, whatever happened
    office_ = nullptr;
  }
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to make the operators' accounts and group";
    ASSERT_TRUE(failure_.empty()) << failure_;
  }

  // Runs the program as the operator in a process of their own; true when it ended well after
  // every step of its script.
  static bool Run(const Operator& op, std::vector<Session::Step> steps, Session::Step onPause = {}) {
    const std::size_t count = steps.size();
    return testing_support::RunAs(op.uid, op.gid, {office_->group()}, 022, [&] {
      Session run(office_->Environment(op), std::move(steps));
      if (onPause) run.SetOnPause(onPause);
      return run.Execute() == 0 && run.StepsRun() == count;
    });
  }

  static inline Office* office_ = nullptr;
  static inline std::string failure_;
};

std::string Code(int n) { return std::to_string(n) + "\r"; }
// On panel 2 after a card was left: another department.
void OtherDepartment(HeadlessControl& c, int d) {
  c.PushKey(key::kCtrlY);
  c.PushText(Code(d));
}
// On panel 3's first field: clear field k and type a text.
void TypeInto(HeadlessControl& c, int field, const std::string& text) {
  for (int k = 5; k < field; ++k) c.PushKey(key::kDown);
  c.PushKey(key::kCtrlY);
  c.PushText(text);
  c.PushKey(key::kTab);
}

// One byte through a pipe, waiting at most |ms|; 0 when nothing came.
char ReadByte(int fd, int ms) {
  pollfd p{fd, POLLIN, 0};
  if (::poll(&p, 1, ms) <= 0) return 0;
  char c = 0;
  return ::read(fd, &c, 1) == 1 ? c : 0;
}
void WriteByte(int fd, char c) { [[maybe_unused]] ssize_t n = ::write(fd, &c, 1); }

std::size_t Lines(const std::string& text) { return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')); }

// The CSV line of a card, "" when the department has none.
std::string Card(const Office& office, int p, int d) {
  char codes[16];
  std::snprintf(codes, sizeof codes, "%03d,%03d,", p, d);
  std::istringstream in(office.inst().Save("TranLauV"));
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(codes, 0) == 0) return line;
  }
  return "";
}

TEST_F(TwoOperators, TakeTurnsAndWorkAtTheSameTimeWithNoFileTrouble) {
  const Operator& op1 = office_->op(0);
  const Operator& op2 = office_->op(1);
  std::map<int, std::vector<int>> departments;
  for (auto [p, d] : app_test::DemoCodes("DepartaV")) departments[p].push_back(d);
  int p = 0;
  std::vector<int> ds;
  for (auto& [property, list] : departments) {
    if (list.size() >= 3) {
      p = property;
      ds = list;
      break;
    }
  }
  ASSERT_GE(ds.size(), 3u) << "the demo has a property with three departments";
  const int d1 = ds[0], d2 = ds[1], d3 = ds[2];

  // The first operator: the card file is made from its description, a card is created, and a
  // new card left untouched is removed again.
  ASSERT_TRUE(Run(op1, {
      [&](HeadlessControl& c) { c.PushText(Code(p)); },
      [&](HeadlessControl& c) { c.PushText(Code(d1)); },
      [&](HeadlessControl& c) {
        c.PushText("01/02/2026\t");
        c.PushKey(key::kEnter);  // saves
      },
      [&](HeadlessControl& c) { OtherDepartment(c, d2); },
      [&](HeadlessControl& c) { c.PushKey(key::kEscape); },  // untouched: taken away
  })) << "the first operator's run";
  EXPECT_NE(Card(*office_, p, d1), "");
  EXPECT_EQ(Card(*office_, p, d2), "");
  const std::string logAfterFirst = office_->inst().ReadFile("db.log");
  EXPECT_NE(logAfterFirst.find(storage::AccessLogLine(508, 2, 0)), std::string::npos) << logAfterFirst;

  // The second operator changes the first one's card and creates one of its own.
  ASSERT_TRUE(Run(op2, {
      [&](HeadlessControl& c) { c.PushText(Code(p)); },
      [&](HeadlessControl& c) { c.PushText(Code(d1)); },
      [&](HeadlessControl& c) {
        TypeInto(c, 9, "5000");
        c.PushKey(key::kEnter);
      },
      [&](HeadlessControl& c) { OtherDepartment(c, d3); },
      [&](HeadlessControl& c) {
        c.PushText("01/03/2026\t");
        c.PushKey(key::kEnter);
      },
  })) << "the second operator's run";
  const std::string logAfterSecond = office_->inst().ReadFile("db.log");
  EXPECT_GT(Lines(logAfterSecond), Lines(logAfterFirst)) << "the second operator's lines were appended";
  EXPECT_NE(logAfterSecond.find(storage::AccessLogLine(508, 3, 0)), std::string::npos) << logAfterSecond;
  EXPECT_NE(Card(*office_, p, d3), "");
  const std::string changed = Card(*office_, p, d1);
  EXPECT_NE(changed.find("2026-02-01"), std::string::npos) << "the first operator's card: " << changed;
  EXPECT_NE(changed.find(",5000,"), std::string::npos) << "changed by the second: " << changed;

  // At the same time: the first operator has the second one's card open and changes it; the
  // second asks for the same card, waits in the lock registry and gets in once it is left.
  int toParent[2], toFirst[2], fromSecond[2];
  ASSERT_EQ(0, ::pipe(toParent));
  ASSERT_EQ(0, ::pipe(toFirst));
  ASSERT_EQ(0, ::pipe(fromSecond));
  std::fflush(nullptr);
  pid_t first = ::fork();
  if (first == 0) {
    bool ok = Run(op1, {
        [&](HeadlessControl& c) { c.PushText(Code(p)); },
        [&](HeadlessControl& c) { c.PushText(Code(d3)); },
        [&](HeadlessControl& c) {
          TypeInto(c, 5, "15/04/2026");
          WriteByte(toParent[1], 'i');
          ReadByte(toFirst[0], 60000);
          c.PushKey(key::kEnter);  // saves and leaves the card
        },
    });
    ::_exit(ok ? 0 : 1);
  }
  ASSERT_GT(first, 0);
  ASSERT_EQ(ReadByte(toParent[0], 30000), 'i') << "the first operator did not open the card";
  // SQLite's files beside the card file, while both programs have it open, are the group's.
  std::string lockMessage;
  int pauses = 0;
  std::fflush(nullptr);
  pid_t second = ::fork();
  if (second == 0) {
    bool ok = Run(op2,
                  {
                      [&](HeadlessControl& c) { c.PushText(Code(p)); },
                      [&](HeadlessControl& c) { c.PushText(Code(d3)); },
                      [&](HeadlessControl& c) {  // in, once the first operator has left
                        TypeInto(c, 9, "7000");
                        c.PushKey(key::kEnter);
                      },
                  },
                  [&](HeadlessControl& c) {
                    if (++pauses == 2) {
                      std::string screen = c.Text();
                      WriteByte(fromSecond[1], screen.find("FITXER BLOQUEJAT. ESPEREU UN MOMENT") != std::string::npos
                                                   ? 'w'
                                                   : 'x');
                    }
                  });
    ::_exit(ok ? 0 : 1);
  }
  ASSERT_GT(second, 0);
  const char waited = ReadByte(fromSecond[0], 30000);
  for (const char* side : {"-wal", "-shm"}) {
    struct stat st {};
    ASSERT_EQ(0, ::stat((office_->root() + "/DADES/TranLauV.dat" + side).c_str(), &st)) << side;
    EXPECT_EQ(office_->group(), st.st_gid) << side;
    EXPECT_EQ(0660u, st.st_mode & 0660) << side;
  }
  WriteByte(toFirst[1], 'l');
  int firstStatus = -1, secondStatus = -1;
  ::waitpid(first, &firstStatus, 0);
  ::waitpid(second, &secondStatus, 0);
  EXPECT_EQ(waited, 'w') << "the second operator did not wait with the lock message";
  EXPECT_TRUE(WIFEXITED(firstStatus) && WEXITSTATUS(firstStatus) == 0) << "the first operator's run";
  EXPECT_TRUE(WIFEXITED(secondStatus) && WEXITSTATUS(secondStatus) == 0) << "the second operator's run";
  const std::string shared = Card(*office_, p, d3);
  EXPECT_NE(shared.find("2026-04-15"), std::string::npos) << "the first operator's change: " << shared;
  EXPECT_NE(shared.find(",7000,"), std::string::npos) << "the second operator's change: " << shared;
  const std::string log = office_->inst().ReadFile("db.log");
  EXPECT_GE(Lines(log), Lines(logAfterSecond) + 2) << log;
  // Every lock-registry entry was freed.
  const std::string locks = office_->inst().ReadFile("LOCKS/TranLauV.lck");
  ASSERT_GE(locks.size(), 121u);
  for (std::size_t at = 0; at + 121 <= locks.size(); at += 121) EXPECT_EQ(locks[at + 34], ' ') << at / 121;

  // Afterwards: every file and folder of the installation is the group's, readable and writable
  // by it, never by the world; the operators made the registry, the log and the card file.
  for (const auto& entry : std::filesystem::recursive_directory_iterator(office_->root())) {
    struct stat st {};
    ASSERT_EQ(0, ::lstat(entry.path().c_str(), &st));
    const std::string name = entry.path().string().substr(office_->root().size());
    EXPECT_EQ(office_->group(), st.st_gid) << name;
    EXPECT_EQ(0u, st.st_mode & S_IWOTH) << name;
    if (S_ISDIR(st.st_mode)) {
      EXPECT_EQ(static_cast<unsigned>(S_ISGID | S_IRWXG), st.st_mode & (S_ISGID | S_IRWXG)) << name;
    } else {
      EXPECT_EQ(static_cast<unsigned>(S_IRGRP | S_IWGRP), st.st_mode & (S_IRGRP | S_IWGRP)) << name;
    }
  }
  for (const char* made : {"/LOCKS", "/LOCKS/TranLauV.lck", "/db.log", "/DADES/TranLauV.dat", "/DADES/TranLauV.dat-lock"}) {
    struct stat st {};
    ASSERT_EQ(0, ::stat((office_->root() + made).c_str(), &st)) << made;
    EXPECT_EQ(op1.uid, st.st_uid) << made << " was made by the first operator";
  }
  // The operators' own station folders stay private.
  for (const Operator* op : {&op1, &op2}) {
    for (const auto& entry : std::filesystem::directory_iterator(op->station)) {
      struct stat st {};
      ASSERT_EQ(0, ::lstat(entry.path().c_str(), &st));
      EXPECT_EQ(0u, st.st_mode & (S_IWGRP | S_IWOTH)) << entry.path();
    }
  }
}

}  // namespace
}  // namespace office_test
