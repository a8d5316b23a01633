// One modcarta on its own pseudo-terminal, for one browser connection.
//
// The program is started with a fixed argument vector and environment chosen by the server;
// nothing the browser sends reaches either. The server reads and writes the master side
// (non-blocking) and ends the program with SIGHUP, then SIGKILL when it has not ended after a
// grace period.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace web {

class TerminalProgram {
 public:
  TerminalProgram() = default;
  ~TerminalProgram();  // kills a program still running and reaps it
  TerminalProgram(const TerminalProgram&) = delete;
  TerminalProgram& operator=(const TerminalProgram&) = delete;

  // Starts argv[0] (a full path) with exactly this environment ("NAME=value" strings), in
  // directory `dir`, on a new pseudo-terminal of the given size. "" or an error text.
  std::string Start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                    const std::string& dir, int cols, int rows);

  // The master side of the pseudo-terminal (non-blocking, close-on-exec), -1 before Start.
  // An event loop may read and write a duplicate of it.
  int master() const { return master_; }
  pid_t pid() const { return pid_; }

  // Tells the program its terminal's new size (it receives SIGWINCH).
  void Resize(int cols, int rows);
  // Sends a signal to the program while it runs.
  void Signal(int signal);
  // True once the program has ended (reaps it without waiting); its wait status in status().
  bool Ended();
  int status() const { return status_; }

 private:
  int master_ = -1;
  pid_t pid_ = -1;
  bool ended_ = false;
  int status_ = 0;
};

}  // namespace web
