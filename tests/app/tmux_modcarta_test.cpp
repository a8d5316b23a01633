// The real modcarta binary in a real terminal: tmux runs it in a detached session on a demo
// installation, keys are typed with send-keys (the calendar and the calculator among them), the screen is read back with capture-pane and
// the records with the recman utility.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "installation.h"
#include "storage/access_log.h"
#include "tui/console/process.h"

namespace app_test {
namespace {

using namespace std::chrono_literals;

// modcarta in a detached tmux session of 80 x 25, started like scripts/run-demo starts it.
class TmuxModcarta {
 public:
  // `before` and `after` go around the program's command line in the pane's shell (a trap, job
  // control); the program's process id is written to a file for Pid().
  TmuxModcarta(const Installation& inst, const std::string& station, const std::string& before = "",
               const std::string& after = "", const std::string& program = std::string(MODCARTA_BIN_DIR) + "/modcarta") {
    socket_ = "modcarta-app-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++);
    config_ = inst.scratch() + "/tmux.conf";
    status_ = inst.scratch() + "/exit-status";
    pid_ = inst.scratch() + "/pid";
    std::remove(status_.c_str());
    std::remove(pid_.c_str());
    std::ofstream(config_) << "set -g status off\nset -g escape-time 0\n";
    std::string bin = MODCARTA_BIN_DIR;
    std::string command = before + "cd '" + inst.root() + "' && ZEDROOT='" + inst.root() + "/' ZEDEXE='" + bin +
                          "/' ZEDTMP='" + station + "/' TERM=tmux-256color LANG=C.UTF-8 LC_ALL= sh -c 'echo $$ > \"$0\"; " +
                          "exec \"$1\"' '" + pid_ + "' '" + program + "'" + after + "; echo $? > '" + status_ + "'; sleep 60";
    started_ = Tmux({"new-session", "-d", "-s", "card", "-x", "80", "-y", "25", command}).has_value();
  }
  ~TmuxModcarta() { Tmux({"kill-server"}); }
  bool Started() const { return started_; }

  std::optional<std::string> Tmux(std::vector<std::string> args) {
    args.insert(args.begin(), {"tmux", "-L", socket_, "-f", config_});
    return tui::RunCaptured(args, {}, 5000);
  }
  // tmux key names ("Enter", "F4", "NPage", "C-y") or literal text ("-l" first).
  void Keys(const std::vector<std::string>& keys) {
    for (const std::string& k : keys) {
      Tmux({"send-keys", "-t", "card", k});
      std::this_thread::sleep_for(40ms);
    }
  }
  void Type(const std::string& text) { Tmux({"send-keys", "-t", "card", "-l", text}); }
  std::string Screen(bool colours = false) {
    std::vector<std::string> args = {"capture-pane", "-p", "-t", "card"};
    if (colours) args.push_back("-e");
    return Tmux(args).value_or("");
  }
  // A tmux format of the pane, such as "#{alternate_on}".
  std::string Format(const std::string& format) {
    std::string out = Tmux({"display-message", "-p", "-t", "card", format}).value_or("");
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
  }
  // Waits until the text is no longer on the screen, at most five seconds.
  bool WaitUntilGone(const std::string& text) {
    for (int i = 0; i < 100; ++i) {
      if (Screen().find(text) == std::string::npos) return true;
      std::this_thread::sleep_for(50ms);
    }
    return false;
  }
  // Waits until the screen shows the text, at most five seconds; returns the screen.
  std::string WaitFor(const std::string& text) {
    std::string screen;
    for (int i = 0; i < 100; ++i) {
      screen = Screen();
      if (screen.find(text) != std::string::npos) return screen;
      std::this_thread::sleep_for(50ms);
    }
    ADD_FAILURE() << "the screen never showed \"" << text << "\":\n" << screen;
    return screen;
  }
  // The program's process id (0 when it never wrote it).
  pid_t Pid() {
    for (int i = 0; i < 100; ++i) {
      std::ifstream in(pid_);
      pid_t pid = 0;
      if (in >> pid) return pid;
      std::this_thread::sleep_for(50ms);
    }
    return 0;
  }
  // Waits until a format of the pane reads as wanted, at most five seconds.
  bool WaitForFormat(const std::string& format, const std::string& wanted) {
    for (int i = 0; i < 100; ++i) {
      if (Format(format) == wanted) return true;
      std::this_thread::sleep_for(50ms);
    }
    return false;
  }
  // The program's exit status once it has ended (-1 when it does not end within five seconds).
  int ExitStatus() {
    for (int i = 0; i < 100; ++i) {
      std::ifstream in(status_);
      int status = -1;
      if (in >> status) return status;
      std::this_thread::sleep_for(50ms);
    }
    return -1;
  }

 private:
  static inline int counter_ = 0;
  std::string socket_;
  std::string config_;
  std::string status_;
  std::string pid_;
  bool started_ = false;
};

// A station directory written from demo/station's templates, as scripts/run-demo does.
std::string DemoStation(const Installation& inst) {
  std::string dir = inst.root() + "/TERM01";
  std::string templates = std::string(MODCARTA_SOURCE_DIR) + "/demo/station/";
  Installation::Shell("mkdir -p '" + dir + "'");
  for (const char* file : {"Sessio.ini", "OrbaTerm.ini"}) {
    Installation::Shell("sed -e 's|@TERMDIR@|" + dir + "/|' -e 's|@OPERATOR@|OPERADOR1|' -e 's|@WORKDATE@|20261209|' "
                        "-e 's|@LANGUAGE@|CAT|' '" + templates + file + "' | iconv -f UTF-8 -t CP850 | sed 's/$/\\r/' > '" +
                        dir + "/" + file + "'");
  }
  return dir;
}

// The line of a CSV save that starts with the codes.
std::string CsvLine(const std::string& csv, const std::string& codes) {
  std::istringstream in(csv);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(codes, 0) == 0) return line;
  }
  return "";
}

// The comma-separated values of a line (the card file's values hold no commas or quotes).
std::vector<std::string> Columns(const std::string& line) {
  std::vector<std::string> out;
  std::istringstream in(line);
  for (std::string value; std::getline(in, value, ',');) out.push_back(value);
  return out;
}

class TmuxModcartaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!tui::ProgramOnPath("tmux")) GTEST_SKIP() << "tmux is not installed";
    ASSERT_TRUE(inst_.ok()) << "demo/make-install failed";
  }
  Installation inst_;
};

TEST_F(TmuxModcartaTest, OperatorEditsACardListsPagesAndLeaves) {
  const std::string before = inst_.Save("TranLauV");
  ASSERT_NE(CsvLine(before, "005,002,"), "") << "the demo has a card for 5/2";
  TmuxModcarta card(inst_, DemoStation(inst_));
  ASSERT_TRUE(card.Started());

  // Panel 1 under the session's title.
  std::string screen = card.WaitFor("Finca ..............:");
  EXPECT_NE(screen.find("Administració de finques - Fitxa de departaments"), std::string::npos) << screen;

  // F4: the property list; Escape closes it without a pick.
  card.Keys({"F4"});
  screen = card.WaitFor("Finques");
  EXPECT_NE(screen.find("005  Carrer de Castillejos, 150"), std::string::npos) << screen;
  card.Keys({"Escape"});
  card.Type("5");
  card.Keys({"Enter"});
  card.WaitFor("Departament ........:");

  // F4: the departments of property 5.
  card.Keys({"F4"});
  screen = card.WaitFor("Departaments");
  EXPECT_NE(screen.find("001  Baixos, magatzem 2"), std::string::npos) << screen;
  EXPECT_EQ(screen.find("Carrer de Castillejos"), std::string::npos) << "the property list is closed:\n" << screen;
  card.Keys({"Escape"});
  card.Type("2");
  card.Keys({"Enter"});

  // Panel 3: the card of 5/2, in its own colours.
  screen = card.WaitFor("Inici del contracte");
  EXPECT_NE(screen.find("Baixos, local 3"), std::string::npos) << screen;
  EXPECT_EQ(card.Format("#{alternate_on}"), "1") << "the program runs on the alternate screen";
  std::string coloured = card.Screen(true);
  EXPECT_NE(coloured.find("\x1b["), std::string::npos) << "capture-pane -e shows the colours";
  EXPECT_NE(coloured.find("44m"), std::string::npos) << "the blue background of the demo's colour scheme";

  // A date (field 5), an amount in cents (field 9) and a choice (field 12).
  card.Keys({"C-y"});
  card.Type("01/03/2025");
  card.Keys({"Tab", "Down", "Down", "Down", "C-y"});
  card.Type("123456");
  card.Keys({"Tab", "Down", "Down", "N", "Tab"});
  screen = card.WaitFor("1.234,56");
  EXPECT_NE(screen.find("Inici del contracte : 1/3/2025"), std::string::npos) << screen;
  EXPECT_NE(screen.find("Aplica IVA .........: No"), std::string::npos) << screen;

  // Alt+X on the deposit (field 11): the calculator adds 12.5 and 3, F types 1550 (cents).
  card.Keys({"Up", "Up", "C-y", "M-x"});
  card.Type("12.5+3=");
  screen = card.WaitFor("15,5");
  card.Keys({"F", "Tab"});
  screen = card.WaitFor("15,50");
  EXPECT_NE(screen.find("Fiança .............:         15,50"), std::string::npos) << screen;

  // Alt+C on the last update (field 23): the calendar opens on the working date, 9 December
  // 2026; Right and F type 10/12/2026.
  card.Keys({"Down", "Down", "Down", "Down", "Down", "Down", "Down", "Down", "Down", "Down", "Down", "C-y", "M-c"});
  screen = card.WaitFor("DESEMBRE");
  EXPECT_NE(screen.find("2026"), std::string::npos) << screen;
  card.Keys({"Right", "F", "Tab"});
  screen = card.WaitFor("Última actualització: 10/12/2026");

  // Tab has moved on to the last field: PgDn there saves the card and goes on to department 3.
  card.Keys({"NPage"});
  screen = card.WaitFor("Pis Entresòl 1a");
  EXPECT_NE(screen.find("Departament ........: 3"), std::string::npos) << screen;

  // Escape: panel 3 (its cursor is on the first field), panel 2, panel 1, and the program ends.
  card.Keys({"Escape"});
  EXPECT_TRUE(card.WaitUntilGone("Inici del contracte")) << card.Screen();
  for (int i = 0; i < 2; ++i) {
    std::this_thread::sleep_for(300ms);
    card.Keys({"Escape"});
  }
  EXPECT_EQ(card.ExitStatus(), 0) << card.Screen();
  // The terminal is given back: the normal screen, the cursor shown.
  EXPECT_EQ(card.Format("#{alternate_on}"), "0");
  EXPECT_EQ(card.Format("#{cursor_flag}"), "1");

  const std::string after = inst_.Save("TranLauV");
  // Columns: finca, departament, inici (2), ..., actualitzacio (8), renda (9), ..., fianca (11),
  // iva (12), ...
  std::vector<std::string> now = Columns(CsvLine(after, "005,002,"));
  std::vector<std::string> was = Columns(CsvLine(before, "005,002,"));
  ASSERT_EQ(now.size(), was.size());
  ASSERT_GT(now.size(), 12u);
  EXPECT_EQ(now[2], "2025-03-01");
  EXPECT_EQ(now[9], "123456");
  EXPECT_EQ(now[12], "N");
  EXPECT_EQ(was[12], "S");
  EXPECT_EQ(now[11], "1550");
  EXPECT_EQ(now[8], "2026-12-10");
  for (std::size_t i = 0; i < now.size(); ++i) {
    if (i != 2 && i != 8 && i != 9 && i != 11 && i != 12) {
      EXPECT_EQ(now[i], was[i]) << "column " << i;
    }
  }
  EXPECT_EQ(CsvLine(after, "005,003,"), CsvLine(before, "005,003,")) << "the card paged to is unchanged";
  // The change log has the update.
  EXPECT_NE(inst_.ReadFile("db.log").find(storage::AccessLogLine(508, 3, 0)), std::string::npos);
}

// Every record of the card file's lock registry is free.
bool NoLiveLocks(const Installation& inst) {
  std::string locks = inst.ReadFile("LOCKS/TranLauV.lck");
  for (std::size_t at = 0; at + 121 <= locks.size(); at += 121) {
    if (locks[at + 34] != ' ') return false;
  }
  return true;
}

// True once the process has gone, within ten seconds.
bool Ends(pid_t pid) {
  for (int i = 0; i < 200; ++i) {
    if (::kill(pid, 0) != 0 && errno == ESRCH) return true;
    std::this_thread::sleep_for(50ms);
  }
  return false;
}

// A department of the demo without a record card, as "p" and "d".
std::pair<std::string, std::string> DepartmentWithoutCard() {
  std::vector<std::pair<int, int>> cards = DemoCodes("TranLauV");
  for (auto pd : DemoCodes("DepartaV")) {
    if (std::find(cards.begin(), cards.end(), pd) == cards.end()) return {std::to_string(pd.first), std::to_string(pd.second)};
  }
  return {"", ""};
}

// A hang-up (the terminal window closed, the connection lost) ends the program as Escape would:
// the new card it created and the typed value go, the registry entry is freed, the terminal
// is given back, and the program ends by the signal.
TEST_F(TmuxModcartaTest, HangUpEndsTheProgramAsEscapeWould) {
  const std::string before = inst_.Save("TranLauV");
  auto [p, d] = DepartmentWithoutCard();
  ASSERT_FALSE(p.empty());
  TmuxModcarta card(inst_, DemoStation(inst_));
  ASSERT_TRUE(card.Started());
  card.WaitFor("Finca ..............:");
  card.Type(p);
  card.Keys({"Enter"});
  card.WaitFor("Departament ........:");
  card.Type(d);
  card.Keys({"Enter"});
  card.WaitFor("Inici del contracte");
  card.Keys({"Down", "Down", "Down", "Down", "C-y"});
  card.Type("777");
  card.WaitFor("777");
  ASSERT_NE(inst_.Save("TranLauV"), before) << "the new card is stored while it is shown";
  ASSERT_FALSE(NoLiveLocks(inst_));
  const pid_t pid = card.Pid();
  ASSERT_GT(pid, 0);
  ASSERT_EQ(::kill(pid, SIGHUP), 0);
  EXPECT_EQ(card.ExitStatus(), 128 + SIGHUP) << card.Screen();
  EXPECT_EQ(card.Format("#{alternate_on}"), "0");
  EXPECT_EQ(inst_.Save("TranLauV"), before) << "the new card is gone";
  EXPECT_TRUE(NoLiveLocks(inst_));
}

// SQLite comes from a module loaded with the first record file. A program that cannot find it
// shows the file it could not open and ends, saying which module was missing.
TEST_F(TmuxModcartaTest, AMissingStoreModuleEndsWithItsName) {
  const std::string lone = inst_.scratch() + "/lone";
  std::filesystem::create_directories(lone);
  std::filesystem::copy_file(std::string(MODCARTA_BIN_DIR) + "/modcarta", lone + "/modcarta");
  TmuxModcarta card(inst_, DemoStation(inst_), "", "", lone + "/modcarta");
  ASSERT_TRUE(card.Started());
  card.WaitFor("NO ES POT ACCEDIR");
  card.Keys({"Enter"});
  EXPECT_EQ(card.ExitStatus(), 1) << card.Screen();
  // -J joins the lines the message runs over.
  const std::string screen = card.Tmux({"capture-pane", "-p", "-J", "-t", "card"}).value_or("");
  EXPECT_NE(screen.find("could not be opened"), std::string::npos) << screen;
  EXPECT_NE(screen.find("librecman_local.so not found"), std::string::npos) << screen;
}

// Started with SIGHUP ignored, the program goes on after one, on its screen; once its terminal
// closes it ends (rather than reading the dead terminal for ever) and leaves nothing behind.
TEST_F(TmuxModcartaTest, IgnoredHangUpGoesOnAndAClosedTerminalEndsTheProgram) {
  const std::string before = inst_.Save("TranLauV");
  auto [p, d] = DepartmentWithoutCard();
  TmuxModcarta card(inst_, DemoStation(inst_), "trap '' HUP; ");
  ASSERT_TRUE(card.Started());
  card.WaitFor("Finca ..............:");
  const pid_t pid = card.Pid();
  ASSERT_GT(pid, 0);
  ASSERT_EQ(::kill(pid, SIGHUP), 0);
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(card.Format("#{alternate_on}"), "1") << "the terminal was given back";
  card.Type(p);
  card.Keys({"Enter"});
  card.WaitFor("Departament ........:");
  card.Type(d);
  card.Keys({"Enter"});
  card.WaitFor("Inici del contracte");
  card.Tmux({"kill-server"});
  EXPECT_TRUE(Ends(pid)) << "the program outlived its terminal";
  EXPECT_EQ(inst_.Save("TranLauV"), before) << "the new card is gone";
  EXPECT_TRUE(NoLiveLocks(inst_));
}

// A stop that the kernel discards (the program's process group is orphaned: its parent is the
// tmux server, in another session) leaves the program on its screen, reading keys, with the
// mouse on while it waits.
TEST_F(TmuxModcartaTest, ADiscardedStopLeavesTheProgramOnItsScreen) {
  TmuxModcarta card(inst_, DemoStation(inst_));
  ASSERT_TRUE(card.Started());
  card.WaitFor("Finca ..............:");
  ASSERT_TRUE(card.WaitForFormat("#{mouse_standard_flag}", "1"));
  const pid_t pid = card.Pid();
  ASSERT_GT(pid, 0);
  ASSERT_EQ(::kill(pid, SIGTSTP), 0);
  std::this_thread::sleep_for(300ms);
  EXPECT_TRUE(card.WaitForFormat("#{alternate_on}", "1"));
  EXPECT_TRUE(card.WaitForFormat("#{mouse_standard_flag}", "1")) << "the mouse is on again without a key";
  card.Type("5");
  card.Keys({"Enter"});
  card.WaitFor("Departament ........:");
  card.Keys({"Escape"});
  std::this_thread::sleep_for(300ms);
  card.Keys({"Escape"});
  EXPECT_EQ(card.ExitStatus(), 0) << card.Screen();
}

// Stopped by a job-control shell and brought back with fg: the screen comes back whole and the
// mouse reports again before any key.
TEST_F(TmuxModcartaTest, AfterAStopAndFgTheMouseIsOnAgain) {
  TmuxModcarta card(inst_, DemoStation(inst_), "set -m; ", "; while fg >/dev/null 2>&1; do :; done");
  ASSERT_TRUE(card.Started());
  card.WaitFor("Finca ..............:");
  ASSERT_TRUE(card.WaitForFormat("#{mouse_standard_flag}", "1"));
  const pid_t pid = card.Pid();
  ASSERT_GT(pid, 0);
  ASSERT_EQ(::kill(pid, SIGTSTP), 0);
  EXPECT_TRUE(card.WaitForFormat("#{alternate_on}", "1")) << card.Screen();
  EXPECT_TRUE(card.WaitForFormat("#{mouse_standard_flag}", "1")) << "the mouse is on again without a key";
  EXPECT_NE(card.WaitFor("Finca ..............:").find("Finca"), std::string::npos);
  card.Keys({"Escape"});
  EXPECT_TRUE(Ends(pid));
}

}  // namespace
}  // namespace app_test
