// The real modcarta binary in a real terminal: tmux runs it in a detached session on a demo
// installation, keys are typed with send-keys (the calendar and the calculator among them), the screen is read back with capture-pane and
// the records with the recman utility.
#include <unistd.h>

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
  TmuxModcarta(const Installation& inst, const std::string& station) {
    socket_ = "modcarta-app-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++);
    config_ = inst.scratch() + "/tmux.conf";
    status_ = inst.scratch() + "/exit-status";
    std::ofstream(config_) << "set -g status off\nset -g escape-time 0\n";
    std::string bin = MODCARTA_BIN_DIR;
    std::string command = "cd '" + inst.root() + "' && ZEDROOT='" + inst.root() + "/' ZEDEXE='" + bin + "/' ZEDTMP='" +
                          station + "/' TERM=tmux-256color LANG=C.UTF-8 LC_ALL= '" + bin + "/modcarta'; echo $? > '" +
                          status_ + "'; sleep 60";
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

}  // namespace
}  // namespace app_test
