// Two workstations on the same department: two processes, each running the program on its own
// headless console with its own terminal directory (T1, T2) under one installation.
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <map>

#include <gtest/gtest.h>

#include "installation.h"
#include "tui/console/keys.h"

namespace app_test {
namespace {

using tui::HeadlessControl;
namespace key = tui::key;

// One byte through a pipe, waiting at most |ms|; 0 when nothing came.
char ReadByte(int fd, int ms) {
  pollfd p{fd, POLLIN, 0};
  if (::poll(&p, 1, ms) <= 0) return 0;
  char c = 0;
  return ::read(fd, &c, 1) == 1 ? c : 0;
}
void WriteByte(int fd, char c) { [[maybe_unused]] ssize_t n = ::write(fd, &c, 1); }

std::pair<int, int> DepartmentWithCard() {
  std::vector<std::pair<int, int>> cards = DemoCodes("TranLauV");
  return cards.empty() ? std::pair<int, int>{0, 0} : cards.front();
}

// Station 1 in a child process: opens a department's card and keeps it open until told to
// leave (or until the parent is gone), then ends the program.
class HoldingStation {
 public:
  HoldingStation(const Installation& inst, int p, int d) {
    if (::pipe(toParent_) != 0 || ::pipe(toChild_) != 0) return;
    std::fflush(nullptr);
    pid_ = ::fork();
    if (pid_ != 0) {
      ::close(toChild_[0]);
      ::close(toParent_[1]);
      opened_ = pid_ > 0 && ReadByte(toParent_[0], 30000) == 'i';
      return;
    }
    Session run(inst, {
        [&](HeadlessControl& c) { c.PushText(std::to_string(p) + "\r"); },
        [&](HeadlessControl& c) { c.PushText(std::to_string(d) + "\r"); },
        [&](HeadlessControl& c) {
          WriteByte(toParent_[1], 'i');
          ReadByte(toChild_[0], 60000);
          c.PushKey(key::kEscape);  // leaves panel 3 and its registry entry
        },
    });
    int status = run.Execute();
    ::_exit(status == 0 && run.StepsRun() == 3 ? 0 : 1);
  }
  ~HoldingStation() {
    Leave();
    if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
  }
  // True once the station has its card open.
  bool Opened() const { return opened_; }
  void Leave() {
    if (pid_ > 0 && !told_) WriteByte(toChild_[1], 'l');
    told_ = true;
  }
  // Waits for the station's end; true when it ended with status 0.
  bool EndedWell() {
    Leave();
    int status = -1;
    if (pid_ <= 0 || ::waitpid(pid_, &status, 0) != pid_) return false;
    pid_ = -1;
    ::close(toChild_[1]);
    ::close(toParent_[0]);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }

 private:
  int toParent_[2] = {-1, -1}, toChild_[2] = {-1, -1};
  pid_t pid_ = -1;
  bool opened_ = false, told_ = false;
};

// Every record of the lock file is free.
void ExpectNoLiveLocks(const Installation& inst) {
  std::string locks = inst.ReadFile("LOCKS/TranLauV.lck");
  ASSERT_GE(locks.size(), 121u);
  for (std::size_t at = 0; at + 121 <= locks.size(); at += 121) EXPECT_EQ(locks[at + 34], ' ') << at / 121;
}

// The first station opens the department's record card and keeps it open; the second waits
// for the registry entry with the lock message, gives up with Escape and stays on panel 2;
// asked again, it waits until the first leaves, and then gets in.
TEST(TwoStations, SecondWaitsGivesUpAndGetsInWhenTheFirstLeaves) {
  Installation inst;
  ASSERT_TRUE(inst.ok());
  const std::string t2 = inst.AddStation("T2");
  auto [p, d] = DepartmentWithCard();
  const std::optional<std::string> before = inst.Record("TranLauV", DepartmentKey(p, d));
  ASSERT_TRUE(before);

  HoldingStation first(inst, p, d);
  ASSERT_TRUE(first.Opened()) << "station 1 did not open the card";

  // Station 2.
  session::MapEnvironment env = inst.Environment();
  env.Set("ZEDTMP", t2 + "/");
  enum class Phase { kTyping, kFirstWait, kOnPanel2, kSecondWait, kIn } phase = Phase::kTyping;
  std::string lockMessage, panel2, caption;
  int firstWaitPauses = 0, secondWaitPauses = 0;
  Session run(env, {
      [&](HeadlessControl& c) { c.PushText(std::to_string(p) + "\r"); },
      [&](HeadlessControl& c) {
        phase = Phase::kFirstWait;
        c.PushText(std::to_string(d) + "\r");
      },
      [&](HeadlessControl& c) {  // gave up: back on panel 2's field, no card
        phase = Phase::kOnPanel2;
        panel2 = c.Text();
        phase = Phase::kSecondWait;
        c.PushKey(key::kEnter);  // the same department again
      },
      [&](HeadlessControl& c) {
        phase = Phase::kIn;
        caption = c.Row(6);
        c.PushKey(key::kEscape);
      },
  });
  run.SetOnPause([&](HeadlessControl& c) {
    // The screen is flushed when the wait reads the keyboard, after its first pause.
    if (phase == Phase::kFirstWait && ++firstWaitPauses == 2) {
      lockMessage = c.Text();
      c.PushKey(key::kEscape);
    } else if (phase == Phase::kSecondWait && ++secondWaitPauses == 1) {
      first.Leave();
    }
  });
  int status = run.Execute();
  const bool firstEndedWell = first.EndedWell();

  EXPECT_EQ(status, 0) << run.Failure();
  EXPECT_TRUE(firstEndedWell) << "station 1 ended badly";
  EXPECT_NE(lockMessage.find("FITXER BLOQUEJAT. ESPEREU UN MOMENT O POLSEU [ESC] PER A EIXIR"), std::string::npos)
      << lockMessage;
  // After giving up: panel 2 with the department typed, and no card window.
  EXPECT_NE(panel2.find("Departament ........: " + std::to_string(d)), std::string::npos) << panel2;
  EXPECT_EQ(panel2.find('\xC9'), std::string::npos) << "panel 3 was opened: " << panel2;
  EXPECT_GE(secondWaitPauses, 1) << "the second try did not wait";
  std::string name = inst.Record("DepartaV", DepartmentKey(p, d))->substr(8, 30);
  EXPECT_NE(caption.find(name), std::string::npos) << "station 2 got in: " << caption;
  EXPECT_EQ(inst.Record("TranLauV", DepartmentKey(p, d)), before);
  ExpectNoLiveLocks(inst);
}

// Paging onto a card that another station has open waits as panel 2 does; Escape gives up and
// leaves the operator on panel 2 with the department paged to, and no card of it open.
TEST(TwoStations, PagingOntoACardOpenElsewhereWaitsAndEscapeStaysOnPanel2) {
  Installation inst;
  ASSERT_TRUE(inst.ok());
  const std::string t2 = inst.AddStation("T2");
  std::map<int, std::vector<int>> departments;
  for (auto [p, d] : DemoCodes("DepartaV")) departments[p].push_back(d);
  const int p = departments.begin()->first;
  std::vector<int> ds = departments.begin()->second;
  std::sort(ds.begin(), ds.end());
  ASSERT_GE(ds.size(), 2u);
  HoldingStation first(inst, p, ds[1]);
  ASSERT_TRUE(first.Opened());

  session::MapEnvironment env = inst.Environment();
  env.Set("ZEDTMP", t2 + "/");
  std::string lockMessage, panel2, caption;
  int pauses = 0;
  bool paging = false;
  Session run(env, {
      [&](HeadlessControl& c) { c.PushText(std::to_string(p) + "\r"); },
      [&](HeadlessControl& c) { c.PushText(std::to_string(ds[0]) + "\r"); },
      [&](HeadlessControl& c) {
        paging = true;
        c.PushKey(key::kPgDn);  // to the last field
        c.PushKey(key::kPgDn);  // and on to the department that station 1 has open
      },
      [&](HeadlessControl& c) {
        paging = false;
        panel2 = c.Text();
        c.PushKey(key::kEscape);
      },
  });
  run.SetOnPause([&](HeadlessControl& c) {
    if (paging && ++pauses == 2) {
      lockMessage = c.Text();
      c.PushKey(key::kEscape);
    }
  });
  EXPECT_EQ(run.Execute(), 0) << run.Failure();
  EXPECT_TRUE(first.EndedWell());
  EXPECT_NE(lockMessage.find("FITXER BLOQUEJAT"), std::string::npos) << lockMessage;
  EXPECT_NE(panel2.find("Departament ........: " + std::to_string(ds[1])), std::string::npos) << panel2;
  EXPECT_EQ(panel2.find('\xC9'), std::string::npos) << "no card is open: " << panel2;
  std::vector<std::pair<int, int>> cards = DemoCodes("TranLauV");
  if (std::find(cards.begin(), cards.end(), std::make_pair(p, ds[0])) == cards.end()) {
    EXPECT_FALSE(inst.Record("TranLauV", DepartmentKey(p, ds[0]))) << "the card created for the first department is gone";
  }
  ExpectNoLiveLocks(inst);
}

}  // namespace
}  // namespace app_test
