// Two workstations on the same department: two processes, each running the program on its own
// headless console with its own terminal directory (T1, T2) under one installation.
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>

#include <gtest/gtest.h>

#include "installation.h"
#include "tui/keys.h"

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

  int toParent[2], toChild[2];
  ASSERT_EQ(::pipe(toParent), 0);
  ASSERT_EQ(::pipe(toChild), 0);
  std::fflush(nullptr);
  pid_t first = ::fork();
  ASSERT_GE(first, 0);
  if (first == 0) {
    // Station 1: open the card, say so, and keep it open until told to leave.
    Session run(inst, {
        [&](HeadlessControl& c) { c.PushText(std::to_string(p) + "\r"); },
        [&](HeadlessControl& c) { c.PushText(std::to_string(d) + "\r"); },
        [&](HeadlessControl& c) {
          WriteByte(toParent[1], 'i');
          ReadByte(toChild[0], 60000);
          c.PushKey(key::kEscape);  // leaves panel 3 and its registry entry
        },
    });
    int status = run.Execute();
    WriteByte(toParent[1], 'e');
    ::_exit(status == 0 && run.StepsRun() == 3 ? 0 : 1);
  }
  ::close(toChild[0]);
  ::close(toParent[1]);
  ASSERT_EQ(ReadByte(toParent[0], 30000), 'i') << "station 1 did not open the card";

  // Station 2.
  session::MapEnvironment env = inst.Environment();
  env.Set("ZEDTMP", t2 + "/");
  enum class Phase { kTyping, kFirstWait, kOnPanel2, kSecondWait, kIn } phase = Phase::kTyping;
  std::string lockMessage, panel2, caption;
  int firstWaitPauses = 0, secondWaitPauses = 0;
  bool toldToLeave = false;
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
      WriteByte(toChild[1], 'l');  // now station 1 leaves
      toldToLeave = true;
    }
  });
  int status = run.Execute();
  if (!toldToLeave) WriteByte(toChild[1], 'l');  // the script went wrong: let station 1 end
  int childStatus = -1;
  ASSERT_EQ(::waitpid(first, &childStatus, 0), first);
  ::close(toChild[1]);
  ::close(toParent[0]);

  EXPECT_EQ(status, 0) << run.Failure();
  EXPECT_TRUE(WIFEXITED(childStatus) && WEXITSTATUS(childStatus) == 0) << "station 1 ended badly";
  EXPECT_NE(lockMessage.find("FITXER BLOQUEJAT. ESPEREU UN MOMENT O POLSEU [ESC] PER A EIXIR"), std::string::npos)
      << lockMessage;
  // After giving up: panel 2 with the department typed, and no card window.
  EXPECT_NE(panel2.find("Departament ........: " + std::to_string(d)), std::string::npos) << panel2;
  EXPECT_EQ(panel2.find('\xC9'), std::string::npos) << "panel 3 was opened: " << panel2;
  EXPECT_GE(secondWaitPauses, 1) << "the second try did not wait";
  std::string name = inst.Record("DepartaV", DepartmentKey(p, d))->substr(8, 30);
  EXPECT_NE(caption.find(name), std::string::npos) << "station 2 got in: " << caption;
  EXPECT_EQ(inst.Record("TranLauV", DepartmentKey(p, d)), before);
  // Both entries are released: every record of the lock file is free.
  std::string locks = inst.ReadFile("LOCKS/TranLauV.lck");
  ASSERT_GE(locks.size(), 121u);
  for (std::size_t at = 0; at + 121 <= locks.size(); at += 121) EXPECT_EQ(locks[at + 34], ' ') << at / 121;
}

}  // namespace
}  // namespace app_test
