// The real modcarta binary in a real terminal: a detached tmux session of 80 x 25 running the
// program on an installation, keys typed with send-keys, the screen read back with
// capture-pane. Used by the terminal tests and by the several-hosts tests, which start the
// program inside another network namespace through a launcher.
#pragma once

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/installation.h"
#include "tui/console/process.h"

namespace app_test {

// modcarta in a detached tmux session of 80 x 25, started like scripts/run-demo starts it.
class TmuxModcarta {
 public:
  // `before` and `after` go around the program's command line in the pane's shell (a trap, job
  // control); `program` is the binary to run; `launcher` is a command that the program runs
  // under (such as "ip netns exec X"). The program's process id is written to a file for Pid().
  TmuxModcarta(const Installation& inst, const std::string& station, const std::string& before = "",
               const std::string& after = "", const std::string& program = std::string(MODCARTA_BIN_DIR) + "/modcarta",
               const std::string& launcher = "") {
    socket_ = "modcarta-app-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++);
    const std::string files = inst.scratch() + "/" + socket_;
    config_ = files + ".conf";
    status_ = files + ".exit-status";
    pid_ = files + ".pid";
    std::remove(status_.c_str());
    std::remove(pid_.c_str());
    std::ofstream(config_) << "set -g status off\nset -g escape-time 0\n";
    std::string bin = MODCARTA_BIN_DIR;
    std::string command = before + "cd '" + inst.root() + "' && ZEDROOT='" + inst.root() + "/' ZEDEXE='" + bin +
                          "/' ZEDTMP='" + station + "/' TERM=tmux-256color LANG=C.UTF-8 LC_ALL= " + launcher +
                          " sh -c 'echo $$ > \"$0\"; exec \"$1\"' '" + pid_ + "' '" + program + "'" + after +
                          "; echo $? > '" + status_ + "'; sleep 60";
    started_ = Tmux({"new-session", "-d", "-s", "card", "-x", "80", "-y", "25", command}).has_value();
  }
  ~TmuxModcarta() { Tmux({"kill-server"}); }
  TmuxModcarta(const TmuxModcarta&) = delete;
  TmuxModcarta& operator=(const TmuxModcarta&) = delete;
  bool Started() const { return started_; }

  std::optional<std::string> Tmux(std::vector<std::string> args) {
    args.insert(args.begin(), {"tmux", "-L", socket_, "-f", config_});
    return tui::RunCaptured(args, {}, 5000);
  }
  // tmux key names ("Enter", "F4", "NPage", "C-y") or literal text ("-l" first).
  void Keys(const std::vector<std::string>& keys) {
    for (const std::string& k : keys) {
      Tmux({"send-keys", "-t", "card", k});
      std::this_thread::sleep_for(std::chrono::milliseconds(40));
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
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }
  // Waits until the screen shows the text, at most `seconds`; returns the screen.
  std::string WaitFor(const std::string& text, int seconds = 5) {
    std::string screen;
    for (int i = 0; i < seconds * 20; ++i) {
      screen = Screen();
      if (screen.find(text) != std::string::npos) return screen;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
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
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return 0;
  }
  // Waits until a format of the pane reads as wanted, at most five seconds.
  bool WaitForFormat(const std::string& format, const std::string& wanted) {
    for (int i = 0; i < 100; ++i) {
      if (Format(format) == wanted) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }
  // The program's exit status once it has ended (-1 when it does not end within five seconds).
  int ExitStatus() {
    for (int i = 0; i < 100; ++i) {
      std::ifstream in(status_);
      int status = -1;
      if (in >> status) return status;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
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
inline std::string DemoStation(const Installation& inst, const std::string& name = "TERM01",
                               const std::string& op = "OPERADOR1") {
  std::string dir = inst.root() + "/" + name;
  std::string templates = std::string(MODCARTA_SOURCE_DIR) + "/demo/station/";
  Installation::Shell("mkdir -p '" + dir + "'");
  for (const char* file : {"Sessio.ini", "OrbaTerm.ini"}) {
    Installation::Shell("sed -e 's|@TERMDIR@|" + dir + "/|' -e 's|@OPERATOR@|" + op + "|' -e 's|@WORKDATE@|20261209|' "
                        "-e 's|@LANGUAGE@|CAT|' '" + templates + file + "' | iconv -f UTF-8 -t CP850 | sed 's/$/\\r/' > '" +
                        dir + "/" + file + "'");
  }
  return dir;
}

// The line of a CSV save that starts with the codes.
inline std::string CsvLine(const std::string& csv, const std::string& codes) {
  std::istringstream in(csv);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(codes, 0) == 0) return line;
  }
  return "";
}

// The comma-separated values of a line (the card file's values hold no commas or quotes).
inline std::vector<std::string> Columns(const std::string& line) {
  std::vector<std::string> out;
  std::istringstream in(line);
  for (std::string value; std::getline(in, value, ',');) out.push_back(value);
  return out;
}

// Every record of the card file's lock registry is free.
inline bool NoLiveLocks(const Installation& inst) {
  std::string locks = inst.ReadFile("LOCKS/TranLauV.lck");
  for (std::size_t at = 0; at + 121 <= locks.size(); at += 121) {
    if (locks[at + 34] != ' ') return false;
  }
  return true;
}

// True once the process has gone, within ten seconds.
inline bool Ends(pid_t pid) {
  for (int i = 0; i < 200; ++i) {
    if (::kill(pid, 0) != 0 && errno == ESRCH) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

}  // namespace app_test
