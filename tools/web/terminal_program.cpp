#include "tools/web/terminal_program.h"

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace web {

TerminalProgram::~TerminalProgram() {
  if (pid_ > 0 && !ended_) {
    ::kill(pid_, SIGKILL);
    while (::waitpid(pid_, &status_, 0) < 0 && errno == EINTR) {
    }
  }
  if (master_ >= 0) ::close(master_);
}

std::string TerminalProgram::Start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                                   const std::string& dir, int cols, int rows) {
  if (argv.empty()) return "no program to start";
  // Everything the child needs is prepared before the fork: after it, only async-signal-safe calls.
  std::vector<char*> args, envp;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  winsize size{};
  size.ws_col = static_cast<unsigned short>(cols);
  size.ws_row = static_cast<unsigned short>(rows);
  int master = -1;
  pid_t pid = ::forkpty(&master, nullptr, nullptr, &size);
  if (pid < 0) return std::string("cannot start a pseudo-terminal: ") + std::strerror(errno);
  if (pid == 0) {
    // The child: a fresh session led by the program, the slave as its controlling terminal.
    ::close_range(3, ~0U, 0);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int s : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE, SIGCHLD}) ::signal(s, SIG_DFL);
    if (::chdir(dir.c_str()) != 0) ::_exit(126);
    ::execve(args[0], args.data(), envp.data());
    ::_exit(127);
  }
  ::fcntl(master, F_SETFD, FD_CLOEXEC);
  ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
  master_ = master;
  pid_ = pid;
  return {};
}

void TerminalProgram::Resize(int cols, int rows) {
  if (master_ < 0) return;
  winsize size{};
  size.ws_col = static_cast<unsigned short>(cols);
  size.ws_row = static_cast<unsigned short>(rows);
  ::ioctl(master_, TIOCSWINSZ, &size);
}

void TerminalProgram::Signal(int signal) {
  if (pid_ > 0 && !ended_) ::kill(pid_, signal);
}

bool TerminalProgram::Ended() {
  if (pid_ <= 0 || ended_) return ended_;
  pid_t r = ::waitpid(pid_, &status_, WNOHANG);
  if (r == pid_) ended_ = true;
  return ended_;
}

}  // namespace web
