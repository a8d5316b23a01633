#include "platform/system.h"

#include <spawn.h>
#include <sys/random.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <thread>

extern char** environ;

namespace platform {

LocalTime RealSystem::Now() {
  auto now = std::chrono::system_clock::now();
  std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm tm{};
  ::localtime_r(&t, &tm);
  LocalTime out;
  out.year = tm.tm_year + 1900;
  out.month = tm.tm_mon + 1;
  out.day = tm.tm_mday;
  out.hour = tm.tm_hour;
  out.minute = tm.tm_min;
  out.second = tm.tm_sec;
  out.millisecond = static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
  return out;
}

std::int64_t RealSystem::MonotonicMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void RealSystem::Pause(int milliseconds) {
  if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::uint32_t StrongRandom32() {
  std::uint32_t value = 0;
  char* p = reinterpret_cast<char*>(&value);
  std::size_t got = 0;
  while (got < sizeof value) {
    ssize_t n = ::getrandom(p + got, sizeof value - got, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      // No kernel source: fall back to the clock, which still differs between processes.
      value ^= static_cast<std::uint32_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count()) ^
               static_cast<std::uint32_t>(::getpid()) * 2654435761u;
      break;
    }
    got += static_cast<std::size_t>(n);
  }
  return value;
}

std::uint32_t RealSystem::Random(std::uint32_t bound) {
  if (bound == 0) return 0;
  // Rejection sampling keeps the result uniform.
  std::uint32_t limit = UINT32_MAX - UINT32_MAX % bound;
  for (;;) {
    std::uint32_t r = StrongRandom32();
    if (r < limit) return r % bound;
  }
}

void RealSystem::Beep() {
  if (::isatty(STDOUT_FILENO)) {
    ssize_t ignored = ::write(STDOUT_FILENO, "\a", 1);
    (void)ignored;
  }
}

std::string RealSystem::ComputerName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return "";
  std::string out(name);
  if (out.size() > 63) out.resize(63);
  return out;
}

int RealSystem::RunAndWait(const std::vector<std::string>& argv) {
  if (argv.empty()) return -1;
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  if (::posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return -1;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  if (WIFEXITED(status)) {
    int code = WEXITSTATUS(status);
    // posix_spawnp reports an exec failure in the child as exit status 127.
    return code;
  }
  return -1;
}

}  // namespace platform
