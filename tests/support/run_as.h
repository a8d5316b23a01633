// Runs a piece of a test in a child process under another user and group, as an operator's
// process would run: its own uid and gid, the supplementary groups given, and a umask.
#pragma once

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <vector>

namespace testing_support {

// Numeric ids no account of the machine uses: an operator and the office group it belongs to.
constexpr uid_t kOperatorUid = 64917;
constexpr gid_t kOperatorGid = 64917;
constexpr gid_t kOfficeGid = 64918;

// Runs body in a child with the ids and umask given; true when body answered true there. Needs
// root (the caller skips otherwise).
inline bool RunAs(uid_t uid, gid_t gid, const std::vector<gid_t>& groups, mode_t mask,
                  const std::function<bool()>& body) {
  std::fflush(nullptr);
  pid_t pid = ::fork();
  if (pid == 0) {
    bool dropped = ::setgroups(groups.size(), groups.data()) == 0 && ::setresgid(gid, gid, gid) == 0 &&
                   ::setresuid(uid, uid, uid) == 0;
    ::umask(mask);
    ::_exit(dropped && body() ? 0 : 1);
  }
  int status = 0;
  return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace testing_support
