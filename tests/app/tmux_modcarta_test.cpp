// The real modcarta binary in a real terminal: tmux runs it in a detached session on a demo
// installation, keys are typed with send-keys (the calendar and the calculator among them), the screen is read back with capture-pane and
// the records with the recman utility.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "installation.h"
#include "storage/access_log.h"
#include "tmux_modcarta.h"
#include "tui/console/process.h"

namespace app_test {
namespace {

using namespace std::chrono_literals;

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
  // The local store, or the server's when the installation names a server.
  EXPECT_NE(screen.find(".so not found"), std::string::npos) << screen;
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

// With the record files on a server: the server stops while a card is being changed; the save
// answers a status and the operator is told; once the server is back, the next save of the card
// stores what was typed.
TEST_F(TmuxModcartaTest, AfterTheServerIsBackTheNextSaveStoresTheCard) {
  if (!testing_support::RecordFilesOnServer()) GTEST_SKIP() << "the record files are on this host";
  TmuxModcarta card(inst_, DemoStation(inst_));
  ASSERT_TRUE(card.Started());
  card.WaitFor("Finca ..............:");
  card.Type("5");
  card.Keys({"Enter"});
  card.WaitFor("Departament ........:");
  card.Type("2");
  card.Keys({"Enter"});
  card.WaitFor("Inici del contracte");
  card.Keys({"C-y"});
  card.Type("01/03/2025");
  card.Keys({"Tab"});
  card.WaitFor("Inici del contracte : 1/3/2025");

  ASSERT_TRUE(testing_support::TestCluster().Stop());
  card.Keys({"NPage"});
  std::this_thread::sleep_for(300ms);
  card.Keys({"NPage"});
  std::string screen = card.WaitFor("NO S'HAN POGUT DESAR ELS CANVIS", 30);
  EXPECT_NE(screen.find("NO S'HAN POGUT DESAR ELS CANVIS"), std::string::npos) << screen;
  ASSERT_TRUE(testing_support::TestCluster().Start());
  card.Keys({"Enter"});
  EXPECT_TRUE(card.WaitUntilGone("NO S'HAN POGUT DESAR ELS CANVIS")) << card.Screen();
  // The card is back as typed; nothing the server said on its way down reached the screen.
  screen = card.WaitFor("Inici del contracte : 01/03/2025");
  EXPECT_NE(screen.find("Inici del contracte : 01/03/2025"), std::string::npos) << screen;
  EXPECT_EQ(screen.find("shutdown"), std::string::npos) << screen;
  card.Keys({"NPage"});
  std::this_thread::sleep_for(300ms);
  card.Keys({"NPage"});
  screen = card.WaitFor("Departament ........: 3");
  EXPECT_NE(screen.find("Departament ........: 3"), std::string::npos) << "saved, on to the next department:\n" << screen;
  EXPECT_NE(CsvLine(inst_.Save("TranLauV"), "005,002,").find("2025-03-01"), std::string::npos)
      << CsvLine(inst_.Save("TranLauV"), "005,002,");
}

}  // namespace
}  // namespace app_test
