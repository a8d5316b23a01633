// The terminal console on a real terminal: tmux runs the console probe (tests/tui/console/tmux) in a
// detached session, types keys into it with send-keys and reads its screen back with
// capture-pane.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/temp_dir.h"
#include "tui/console/process.h"

namespace tui {
namespace {

using namespace std::chrono_literals;

class TmuxSession {
 public:
  TmuxSession(const std::string& dir, int columns, int rows) : dir_(dir) {
    socket_ = "modcarta-console-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++);
    config_ = dir + "/tmux.conf";
    std::ofstream(config_) << "set -g remain-on-exit on\nset -g status off\nset -g escape-time 0\n"
                               "set -g set-clipboard on\n";
    log_ = dir + "/keys.log";
    std::string probe = std::string(MODCARTA_BIN_DIR) + "/tui_console_probe";
    started_ = Tmux({"new-session", "-d", "-s", "probe", "-x", std::to_string(columns), "-y", std::to_string(rows),
                     "exec env TERM=tmux-256color LANG=C.UTF-8 LC_ALL= " + probe + " " + log_})
                   .has_value();
  }
  ~TmuxSession() { Tmux({"kill-server"}); }

  bool Started() const { return started_; }

  std::optional<std::string> Tmux(std::vector<std::string> args) {
    args.insert(args.begin(), {"tmux", "-L", socket_, "-f", config_});
    return RunCaptured(args, {}, 5000);
  }
  void Keys(const std::vector<std::string>& keys) {
    for (const std::string& k : keys) {
      Tmux({"send-keys", "-t", "probe", k});
      std::this_thread::sleep_for(60ms);
    }
  }
  void Literal(const std::string& utf8) { Tmux({"send-keys", "-t", "probe", "-l", utf8}); }
  void Hex(const std::vector<std::string>& bytes) {
    std::vector<std::string> args = {"send-keys", "-t", "probe", "-H"};
    args.insert(args.end(), bytes.begin(), bytes.end());
    Tmux(args);
  }
  std::vector<std::string> Screen(bool escapes = false) {
    std::vector<std::string> args = {"capture-pane", "-p", "-t", "probe"};
    if (escapes) args.push_back("-e");
    std::string text = Tmux(args).value_or("");
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  std::string Format(const std::string& format) {
    std::string out = Tmux({"display-message", "-p", "-t", "probe", format}).value_or("");
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
  }
  // Waits until the screen shows the text (on any row), at most a few seconds.
  bool WaitForText(const std::string& text) {
    for (int i = 0; i < 100; ++i) {
      for (const std::string& line : Screen()) {
        if (line.find(text) != std::string::npos) return true;
      }
      std::this_thread::sleep_for(50ms);
    }
    return false;
  }
  // The key codes logged so far, once `count` have arrived (or what there is after a wait).
  std::vector<std::string> LoggedKeys(std::size_t count) {
    std::vector<std::string> keys;
    for (int i = 0; i < 100; ++i) {
      keys.clear();
      std::ifstream in(log_);
      for (std::string line; std::getline(in, line);) keys.push_back(line);
      if (keys.size() >= count) break;
      std::this_thread::sleep_for(50ms);
    }
    return keys;
  }

 private:
  static inline int counter_ = 0;
  std::string dir_;
  std::string socket_;
  std::string config_;
  std::string log_;
  bool started_ = false;
};

class ConsoleTmuxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!ProgramOnPath("tmux")) GTEST_SKIP() << "tmux is not installed";
  }
  testing_support::TempDir dir_;
};

TEST_F(ConsoleTmuxTest, KeysArriveAsTheirCodes) {
  TmuxSession tmux(dir_.path(), 100, 30);
  ASSERT_TRUE(tmux.Started());
  ASSERT_TRUE(tmux.WaitForText("READY"));
  tmux.Keys({"F1", "C-F1", "S-F12", "M-F4", "F12", "C-F10", "S-F1", "M-F12", "Home", "End", "PPage", "NPage", "IC",
             "DC", "Up", "Down", "Left", "Right", "C-Left", "C-Right", "C-Home", "BTab", "Tab", "Enter", "BSpace",
             "C-c", "C-v", "C-y", "M-c", "M-f", "M-e", "a", "Z"});
  tmux.Literal("\xc3\xa9\xc3\xa7\xc3\xa0");  // é ç à
  std::this_thread::sleep_for(100ms);
  // Alt held on the keypad digits 1, 3, 0 (NumLock on: they arrive as Alt+digit): é.
  tmux.Keys({"M-1", "M-3", "M-0"});
  std::this_thread::sleep_for(1200ms);
  // A left click on column 10, row 5 (SGR mouse report, press and release).
  tmux.Hex({"1b", "5b", "3c", "30", "3b", "31", "30", "3b", "35", "4d"});
  tmux.Hex({"1b", "5b", "3c", "30", "3b", "31", "30", "3b", "35", "6d"});
  std::this_thread::sleep_for(100ms);
  tmux.Keys({"Escape"});
  std::this_thread::sleep_for(200ms);
  tmux.Keys({"M-x"});  // the calculator hook types "42"

  const std::vector<std::string> expected = {
      "3b00", "5e00", "8800", "6b00", "8600", "6700", "5400", "8c00", "4700", "4f00", "4900", "5100",
      "5200", "5300", "4800", "5000", "4b00", "4d00", "7300", "7400", "7700", "0f00", "0009", "000d",
      "0008", "0003", "0016", "0019", "2e00", "2100", "00d5", "0061", "005a", "0082", "0087", "0085",
      "0082", "0a45", "001b", "2d00", "0034", "0032",
  };
  EXPECT_EQ(tmux.LoggedKeys(expected.size()), expected);
  // The screen shows the last codes too.
  EXPECT_TRUE(tmux.WaitForText("KEYS 0032 0034 2d00 001b 0a45"));
}

TEST_F(ConsoleTmuxTest, ScreenShowsFramesColoursAndAccentedLetters) {
  TmuxSession tmux(dir_.path(), 100, 30);
  ASSERT_TRUE(tmux.Started());
  ASSERT_TRUE(tmux.WaitForText("READY"));
  std::vector<std::string> plain = tmux.Screen();
  ASSERT_GE(plain.size(), 25u);
  std::string top = "\xe2\x95\x94";  // ╔
  for (int i = 0; i < 34; ++i) top += "\xe2\x95\x90";  // ═
  top += "\xe2\x95\x97";  // ╗
  EXPECT_EQ(plain[1], "    " + top);
  // Plaça é à ç € ◄A►, inside ║ ... ║.
  EXPECT_EQ(plain[2].find("    \xe2\x95\x91 Pla\xc3\xa7" "a \xc3\xa9 \xc3\xa0 \xc3\xa7 \xe2\x82\xac \xe2\x97\x84" "A\xe2\x96\xba"),
            0u) << plain[2];
  EXPECT_NE(plain[5].find("\xe2\x95\x9a"), std::string::npos);  // ╚
  EXPECT_EQ(plain[7], "READY");
  // The bottom-right cell was written and nothing scrolled: row 1 is still blank.
  EXPECT_EQ(plain[0], "");
  EXPECT_EQ(plain[24].size(), 80u);
  EXPECT_EQ(plain[24].back(), 'Z');

  // Colours: entry 0 is bright yellow (ANSI 93) on blue (44); reverse is black (30) on cyan
  // (46); entry 3 white (97) on red (41).
  std::vector<std::string> coloured = tmux.Screen(true);
  ASSERT_GE(coloured.size(), 3u);
  EXPECT_NE(coloured[1].find("\x1b[93m\x1b[44m\xe2\x95\x94"), std::string::npos) << coloured[1];
  EXPECT_NE(coloured[3].find("\x1b[30m\x1b[46mreverse"), std::string::npos) << coloured[3];
  EXPECT_NE(coloured[3].find("\x1b[97m\x1b[41m white-red"), std::string::npos) << coloured[3];
  // The cursor waits on row 9, column 1.
  EXPECT_EQ(tmux.Format("#{cursor_y},#{cursor_x}"), "8,0");
}

TEST_F(ConsoleTmuxTest, TerminalIsRestoredOnSigterm) {
  TmuxSession tmux(dir_.path(), 100, 30);
  ASSERT_TRUE(tmux.Started());
  ASSERT_TRUE(tmux.WaitForText("READY"));
  EXPECT_EQ(tmux.Format("#{alternate_on} #{mouse_sgr_flag}"), "1 1");
  int pid = std::stoi(tmux.Format("#{pane_pid}"));
  ASSERT_GT(pid, 1);
  ASSERT_EQ(::kill(pid, SIGTERM), 0);
  std::string state;
  for (int i = 0; i < 100; ++i) {
    state = tmux.Format("#{pane_dead} #{alternate_on} #{mouse_any_flag} #{mouse_sgr_flag}");
    if (state.rfind("1 ", 0) == 0) break;
    std::this_thread::sleep_for(50ms);
  }
  EXPECT_EQ(state, "1 0 0 0");
}

TEST_F(ConsoleTmuxTest, TerminalIsRestoredOnACrash) {
  TmuxSession tmux(dir_.path(), 100, 30);
  ASSERT_TRUE(tmux.Started());
  ASSERT_TRUE(tmux.WaitForText("READY"));
  tmux.Keys({"F1", "F9"});
  std::string state;
  for (int i = 0; i < 100; ++i) {
    state = tmux.Format("#{pane_dead} #{alternate_on} #{mouse_any_flag} #{mouse_sgr_flag}");
    if (state.rfind("1 ", 0) == 0) break;
    std::this_thread::sleep_for(50ms);
  }
  EXPECT_EQ(state, "1 0 0 0");
  EXPECT_EQ(tmux.LoggedKeys(2), (std::vector<std::string>{"3b00", "4300"}));
}

TEST_F(ConsoleTmuxTest, NormalExitRestoresTheTerminal) {
  TmuxSession tmux(dir_.path(), 100, 30);
  ASSERT_TRUE(tmux.Started());
  ASSERT_TRUE(tmux.WaitForText("READY"));
  tmux.Keys({"C-q"});
  std::string state;
  for (int i = 0; i < 100; ++i) {
    state = tmux.Format("#{pane_dead} #{alternate_on} #{mouse_any_flag} #{mouse_sgr_flag}");
    if (state.rfind("1 ", 0) == 0) break;
    std::this_thread::sleep_for(50ms);
  }
  EXPECT_EQ(state, "1 0 0 0");
  EXPECT_EQ(tmux.LoggedKeys(1), std::vector<std::string>{"0011"});  // it ended on Ctrl+Q
}

// A terminal smaller than 80 x 24 shows a notice instead of the screen and drops keys typed
// blind; made large enough it shows the screen again, whole.
TEST_F(ConsoleTmuxTest, SmallTerminalShowsANoticeUntilResized) {
  TmuxSession tmux(dir_.path(), 60, 20);
  ASSERT_TRUE(tmux.Started());
  ASSERT_TRUE(tmux.WaitForText("80 x 24 (ara 60 x 20)"));
  tmux.Keys({"a"});
  std::this_thread::sleep_for(200ms);
  tmux.Tmux({"resize-window", "-t", "probe", "-x", "90", "-y", "26"});
  ASSERT_TRUE(tmux.WaitForText("READY"));
  tmux.Keys({"b"});
  EXPECT_EQ(tmux.LoggedKeys(1), std::vector<std::string>{"0062"});
  std::vector<std::string> plain = tmux.Screen();
  ASSERT_GE(plain.size(), 3u);
  EXPECT_NE(plain[2].find("Pla\xc3\xa7" "a"), std::string::npos);
}

// The clipboard goes to the terminal as OSC 52 (tmux keeps it as a paste buffer), in UTF-8,
// and the program's own copy is what it reads back without a system clipboard.
TEST_F(ConsoleTmuxTest, ClipboardReachesTheTerminal) {
  TmuxSession tmux(dir_.path(), 100, 30);
  ASSERT_TRUE(tmux.Started());
  ASSERT_TRUE(tmux.WaitForText("READY"));
  tmux.Keys({"F2", "F3"});
  ASSERT_TRUE(tmux.WaitForText("CLIP Pla\xc3\xa7" "a 12\xe2\x82\xac"));
  std::string buffer;
  for (int i = 0; i < 50 && buffer.empty(); ++i) {
    buffer = tmux.Tmux({"show-buffer"}).value_or("");
    if (buffer.empty()) std::this_thread::sleep_for(50ms);
  }
  EXPECT_EQ(buffer, "Pla\xc3\xa7" "a 12\xe2\x82\xac");
}

// A scrolled rectangle on the terminal: the console lets the terminal move the rows and repairs
// the columns outside the rectangle; the screen must come out exactly as drawn.
TEST_F(ConsoleTmuxTest, ScrolledRowsComeOutAsDrawn) {
  TmuxSession tmux(dir_.path(), 100, 30);
  ASSERT_TRUE(tmux.Started());
  ASSERT_TRUE(tmux.WaitForText("READY"));
  tmux.Keys({"F5"});
  ASSERT_TRUE(tmux.WaitForText("|NEW"));
  std::vector<std::string> plain = tmux.Screen();
  ASSERT_GE(plain.size(), 21u);
  for (int r = 14; r <= 19; ++r) {
    std::string moved = "L" + std::to_string(r + 1) + std::string(75, (r + 1) % 2 ? '.' : '-');
    EXPECT_EQ(plain[static_cast<std::size_t>(r - 1)], "|" + moved + "|") << "row " << r;
  }
  EXPECT_EQ(plain[19], "|NEW" + std::string(75, ' ') + "|");
  EXPECT_EQ(plain[20], "");
  EXPECT_EQ(plain[11], "");
}

}  // namespace
}  // namespace tui
