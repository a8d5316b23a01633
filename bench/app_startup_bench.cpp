// Start-up as the operator sees it: the real program spawned on an 80 x 25 pseudo-terminal,
// timed from the spawn to the last byte of its first settled screen (no output for
// kSettleTime), beside an ncurses program doing the same (dialog --infobox), in one run.
//
//   BM_DialogInfobox          the ncurses reference: spawn, draw a box, exit
//   BM_ModcartaSecondStart    the demo installation, record files already there
//   BM_ModcartaFirstStart     the same with TranLauV.dat missing, so that it is created
//   BM_Before...              the same two with another build's program (MODCARTA_BENCH_BEFORE)
//
// Each repetition is one start; the aggregates' median is the figure to read. The program is
// ended with Escape after its screen has settled.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "bench/support/installation.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kSettleTime{150};
constexpr int kStarts = 40;

// Spawns `argv` with exactly `env` on a new 80 x 25 pseudo-terminal and answers the seconds
// from the spawn to the last byte it wrote before going quiet (or ending), or nothing when it
// could not be started or wrote nothing.
std::optional<double> TimeToSettledScreen(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                                          const std::string& cwd) {
  std::vector<char*> args, vars;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  for (const std::string& v : env) vars.push_back(const_cast<char*>(v.c_str()));
  args.push_back(nullptr);
  vars.push_back(nullptr);

  winsize size{};
  size.ws_row = 25;
  size.ws_col = 80;
  int master = -1;
  const Clock::time_point spawned = Clock::now();
  const pid_t pid = ::forkpty(&master, nullptr, nullptr, &size);
  if (pid < 0) return std::nullopt;
  if (pid == 0) {
    if (::chdir(cwd.c_str()) != 0) ::_exit(126);
    ::execve(args[0], args.data(), vars.data());
    ::_exit(127);
  }

  std::optional<Clock::time_point> lastByte;
  char buffer[65536];
  for (;;) {
    pollfd p{master, POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(kSettleTime.count()));
    if (ready <= 0) break;  // settled (or poll failed)
    const ssize_t n = ::read(master, buffer, sizeof buffer);
    if (n <= 0) break;  // the program ended and closed the terminal
    lastByte = Clock::now();
  }
  // Escape leaves the first panel and ends the program the operator's way, closing its files,
  // so that the next start finds what a start after a working day finds. Whatever the program
  // writes meanwhile is drained, so that it never blocks on a full terminal.
  (void)!::write(master, "\x1b", 1);
  for (;;) {
    pollfd p{master, POLLIN, 0};
    if (::poll(&p, 1, 3000) <= 0 || ::read(master, buffer, sizeof buffer) <= 0) break;
  }
  int status = 0;
  if (::waitpid(pid, &status, WNOHANG) == 0) {
    ::kill(pid, SIGHUP);
    ::usleep(100000);
    if (::waitpid(pid, &status, WNOHANG) == 0) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
    }
  }
  ::close(master);
  if (!lastByte) return std::nullopt;
  return std::chrono::duration<double>(*lastByte - spawned).count();
}

std::vector<std::string> BaseEnvironment() {
  return {"TERM=xterm-256color", "LANG=C.UTF-8", "PATH=/usr/bin:/bin",
          "HOME=" + std::filesystem::temp_directory_path().string()};
}

void RunStarts(benchmark::State& state, const std::vector<std::string>& argv, const std::vector<std::string>& env,
               const std::string& cwd, void (*before)(const bench_support::Installation&) = nullptr) {
  for (auto _ : state) {
    if (before) before(bench_support::InstallationFor(false));
    std::optional<double> seconds = TimeToSettledScreen(argv, env, cwd);
    if (!seconds) {
      state.SkipWithError("the program showed nothing");
      return;
    }
    state.SetIterationTime(*seconds);
  }
}

void BM_DialogInfobox(benchmark::State& state) {
  const std::string dialog = "/usr/bin/dialog";
  if (!std::filesystem::exists(dialog)) {
    state.SkipWithError("dialog is not installed (Debian package dialog)");
    return;
  }
  RunStarts(state, {dialog, "--infobox", "Administraci\xC3\xB3 de finques", "5", "40"}, BaseEnvironment(),
            std::filesystem::temp_directory_path().string());
}

std::vector<std::string> ModcartaEnvironment(const bench_support::Installation& inst) {
  std::vector<std::string> env = BaseEnvironment();
  env.push_back("ZEDROOT=" + inst.root() + "/");
  env.push_back("ZEDTMP=" + inst.station() + "/");
  return env;
}

void StartModcarta(benchmark::State& state, const std::string& program,
                   void (*before)(const bench_support::Installation&)) {
  bench_support::Installation& inst = bench_support::InstallationFor(false);
  if (!inst.ok()) {
    state.SkipWithError("the installation could not be laid out");
    return;
  }
  const std::vector<std::string> argv = {program};
  // One unmeasured start, so that every measured one finds what a second start finds.
  TimeToSettledScreen(argv, ModcartaEnvironment(inst), inst.root());
  RunStarts(state, argv, ModcartaEnvironment(inst), inst.root(), before);
}

void RemoveTranLau(const bench_support::Installation& inst) {
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
    std::error_code ec;
    std::filesystem::remove(inst.root() + "/DADES/TranLauV.dat" + suffix, ec);
  }
}

void BM_ModcartaSecondStart(benchmark::State& state, const std::string& program) {
  StartModcarta(state, program, nullptr);
}

void BM_ModcartaFirstStart(benchmark::State& state, const std::string& program) {
  StartModcarta(state, program, RemoveTranLau);
}

}  // namespace

// MODCARTA_BENCH_BEFORE=<path of another build's modcarta> adds that program's starts to the
// same run, for before-and-after figures measured side by side.
int main(int argc, char** argv) {
  auto startUp = [](benchmark::internal::Benchmark* b) {
    b->UseManualTime()->Iterations(1)->Repetitions(kStarts)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);
  };
  const std::string program = bench_support::BinDir() + "/modcarta";
  startUp(benchmark::RegisterBenchmark("BM_DialogInfobox", BM_DialogInfobox));
  if (const char* before = std::getenv("MODCARTA_BENCH_BEFORE")) {
    startUp(benchmark::RegisterBenchmark("BM_BeforeSecondStart", BM_ModcartaSecondStart, std::string(before)));
    startUp(benchmark::RegisterBenchmark("BM_BeforeFirstStart", BM_ModcartaFirstStart, std::string(before)));
  }
  startUp(benchmark::RegisterBenchmark("BM_ModcartaSecondStart", BM_ModcartaSecondStart, program));
  startUp(benchmark::RegisterBenchmark("BM_ModcartaFirstStart", BM_ModcartaFirstStart, program));
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
