#include "tui/console/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>

extern char** environ;

namespace tui {
namespace {

std::int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

bool ProgramOnPath(std::string_view name) {
  const char* path = std::getenv("PATH");
  if (!path || name.empty() || name.find('/') != std::string_view::npos) return false;
  std::string_view rest(path);
  while (true) {
    std::size_t colon = rest.find(':');
    std::string dir(rest.substr(0, colon));
    if (dir.empty()) dir = ".";
    std::string candidate = dir + "/" + std::string(name);
    if (::access(candidate.c_str(), X_OK) == 0) return true;
    if (colon == std::string_view::npos) return false;
    rest.remove_prefix(colon + 1);
  }
}

std::optional<std::string> RunCaptured(const std::vector<std::string>& argv, std::string_view input,
                                       int timeout_ms, std::size_t max_output) {
  if (argv.empty()) return std::nullopt;
  int in_pipe[2] = {-1, -1};
  int out_pipe[2] = {-1, -1};
  if (::pipe2(in_pipe, O_CLOEXEC) != 0) return std::nullopt;
  if (::pipe2(out_pipe, O_CLOEXEC) != 0) {
    CloseFd(in_pipe[0]);
    CloseFd(in_pipe[1]);
    return std::nullopt;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in_pipe[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  int spawned = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  CloseFd(in_pipe[0]);
  CloseFd(out_pipe[1]);
  if (spawned != 0) {
    CloseFd(in_pipe[1]);
    CloseFd(out_pipe[0]);
    return std::nullopt;
  }

  // A helper that stops reading must not make us die of SIGPIPE.
  struct sigaction ignore {}, old {};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGPIPE, &ignore, &old);
  std::size_t written = 0;
  while (written < input.size()) {
    ssize_t n = ::write(in_pipe[1], input.data() + written, input.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    written += static_cast<std::size_t>(n);
  }
  CloseFd(in_pipe[1]);
  ::sigaction(SIGPIPE, &old, nullptr);

  std::string output;
  std::int64_t deadline = NowMs() + timeout_ms;
  bool timed_out = false;
  while (out_pipe[0] >= 0) {
    int left = static_cast<int>(deadline - NowMs());
    if (left <= 0) {
      timed_out = true;
      break;
    }
    pollfd p{out_pipe[0], POLLIN, 0};
    int r = ::poll(&p, 1, left);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) {
      timed_out = r == 0;
      break;
    }
    char buf[4096];
    ssize_t n = ::read(out_pipe[0], buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // end of output (a daemonised helper may keep running: that is fine)
    std::size_t room = max_output > output.size() ? max_output - output.size() : 0;
    output.append(buf, std::min(room, static_cast<std::size_t>(n)));
  }
  CloseFd(out_pipe[0]);

  int status = 0;
  while (true) {
    pid_t w = ::waitpid(pid, &status, WNOHANG);
    if (w == pid) break;
    if ((w < 0 && errno != EINTR) || timed_out || NowMs() >= deadline) {
      ::kill(pid, SIGKILL);
      while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      return std::nullopt;
    }
    ::usleep(2000);
  }
  if (timed_out || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return output;
}

}  // namespace tui
