// Helpers for tests that run real processes side by side.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace storage_test {

// Runs body in a forked child and returns its pid; the child ends with body's result as its
// exit status and never returns into the test framework.
inline pid_t RunChild(const std::function<int()>& body) {
  pid_t pid = ::fork();
  if (pid == 0) ::_exit(body());
  return pid;
}

// Waits for a child; its exit status, or -1 when it did not exit normally.
inline int WaitChild(pid_t pid) {
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A one-way pipe carrying single bytes between processes.
class Signal {
 public:
  Signal() {
    if (::pipe(fds_) != 0) fds_[0] = fds_[1] = -1;
  }
  ~Signal() {
    ::close(fds_[0]);
    ::close(fds_[1]);
  }
  Signal(const Signal&) = delete;
  Signal& operator=(const Signal&) = delete;
  void Send(char c = '.') { (void)!::write(fds_[1], &c, 1); }
  // Blocks until a byte arrives; '\0' when the other side has gone.
  char Wait() {
    char c = 0;
    return ::read(fds_[0], &c, 1) == 1 ? c : '\0';
  }

 private:
  int fds_[2];
};

}  // namespace storage_test
