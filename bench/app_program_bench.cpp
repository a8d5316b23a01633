// The record card on the headless console: start-up to the first screen, and the cost of one
// key on panel 3 (PgDn to the next department, a typed character), on the demo installation and
// on one with 100,000 departments, and PgDn with the demo's files on a PostgreSQL server over
// loopback. The cost of a key must not grow with the file.
// The installations come from bench/support/installation.h.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/program.h"
#include "bench/support/installation.h"
#include "platform/system.h"
#include "session/environment.h"
#include "tui/console/headless_backend.h"
#include "tui/console/keys.h"

namespace {

namespace key = tui::key;
using Clock = std::chrono::steady_clock;

class QuietSystem : public platform::RealSystem {
 public:
  void Beep() override {}
};

using bench_support::Installation;
using bench_support::InstallationFor;

// Runs the program on a thread and hands the benchmark the cost of one key at a time: the time
// from pushing the key to the program waiting for the next one. Set-up keys, and the keys of
// each cycle before the measured one, are pushed unmeasured.
class KeyDriver {
 public:
  KeyDriver(const Installation& inst, std::vector<std::vector<tui::KeyCode>> setup, std::vector<tui::KeyCode> before,
            tui::KeyCode measured)
      : env_(inst.Environment()), setup_(std::move(setup)), before_(std::move(before)), measured_(measured) {
    char cwd[4096];
    cwd_ = ::getcwd(cwd, sizeof cwd) ? cwd : ".";
    thread_ = std::thread([this] { Run(); });
  }
  ~KeyDriver() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    cv_.notify_all();
    thread_.join();
    [[maybe_unused]] int ignored = ::chdir(cwd_.c_str());
  }
  // The cost of the next measured key, in seconds.
  double Measure() {
    std::unique_lock<std::mutex> lock(mutex_);
    requested_ = true;
    result_.reset();
    cv_.notify_all();
    cv_.wait(lock, [this] { return result_.has_value() || ended_; });
    return result_.value_or(0.0);
  }
  // True when a key was measured without panel 3 on the screen.
  bool Broken() {
    std::lock_guard<std::mutex> lock(mutex_);
    return broken_ || ended_;
  }

 private:
  void Run() {
    tui::HeadlessBackend hb = tui::MakeHeadlessBackend({25, 80});
    hb.control->SetOnStarved([this](tui::HeadlessControl& c) { OnStarved(c); });
    QuietSystem system;
    {
      app::Program program(std::move(hb.backend), env_, system);
      program.Run();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    ended_ = true;
    cv_.notify_all();
  }
  void OnStarved(tui::HeadlessControl& c) {
    const Clock::time_point now = Clock::now();
    if (stopping_) {
      c.PushKey(key::kEscape);
      return;
    }
    if (next_setup_ < setup_.size()) {
      for (tui::KeyCode k : setup_[next_setup_++]) c.PushKey(k);
      return;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    if (timing_) {
      timing_ = false;
      result_ = std::chrono::duration<double>(now - started_).count();
      requested_ = false;
      cv_.notify_all();
    }
    if (next_before_ < before_.size()) {
      c.PushKey(before_[next_before_++]);
      return;
    }
    // Every measured key is pressed with panel 3 open (its frame's corner on row 6): a card
    // that could not be opened would leave the keys measuring nothing.
    if (c.Row(6).find('\xC9') == std::string::npos) broken_ = true;
    cv_.wait(lock, [this] { return requested_ || stop_; });
    if (stop_) {
      stopping_ = true;
      c.PushKey(key::kEscape);
      return;
    }
    next_before_ = 0;
    timing_ = true;
    c.PushKey(measured_);
    started_ = Clock::now();
  }

  session::MapEnvironment env_;
  std::vector<std::vector<tui::KeyCode>> setup_;
  std::vector<tui::KeyCode> before_;
  tui::KeyCode measured_;
  std::string cwd_;
  std::size_t next_setup_ = 0, next_before_ = 0;
  bool timing_ = false, stopping_ = false;
  Clock::time_point started_;
  std::mutex mutex_;
  std::condition_variable cv_;
  bool requested_ = false, stop_ = false, ended_ = false, broken_ = false;
  std::optional<double> result_;
  std::thread thread_;
};

std::vector<tui::KeyCode> Typed(const std::string& text) {
  std::vector<tui::KeyCode> keys;
  for (char c : text) keys.push_back(static_cast<unsigned char>(c));
  return keys;
}

// Start-up: from the program's construction to its first screen (panel 1 waiting for a key).
void BM_StartUpToFirstScreen(benchmark::State& state) {
  Installation& inst = InstallationFor(state.range(0) != 0);
  if (!inst.ok()) {
    state.SkipWithError("the installation could not be laid out");
    return;
  }
  session::MapEnvironment env = inst.Environment();
  char cwd[4096];
  std::string back = ::getcwd(cwd, sizeof cwd) ? cwd : ".";
  for (auto _ : state) {
    tui::HeadlessBackend hb = tui::MakeHeadlessBackend({25, 80});
    Clock::time_point start = Clock::now();
    double seconds = 0;
    hb.control->SetOnStarved([&](tui::HeadlessControl& c) {
      if (seconds == 0) seconds = std::chrono::duration<double>(Clock::now() - start).count();
      c.PushKey(key::kEscape);
    });
    QuietSystem system;
    {
      app::Program program(std::move(hb.backend), env, system);
      program.Run();
    }
    state.SetIterationTime(seconds);
    [[maybe_unused]] int ignored = ::chdir(back.c_str());
  }
}

// PgDn on panel 3's last field: the card is saved (or the new one taken away), the next
// department is read, panels 1 and 2 are redrawn and panel 3 is loaded (its card created when
// missing). The unmeasured PgDn before it moves to the last field. Second argument: the record
// files on a PostgreSQL server over loopback instead of SQLite files.
void BM_PageToNextDepartment(benchmark::State& state) {
  Installation& inst = InstallationFor(state.range(0) != 0, state.range(1) != 0);
  if (!inst.ok()) {
    state.SkipWithError(state.range(1) != 0 ? "the installation could not be laid out on a server of the run's own"
                                            : "the installation could not be laid out");
    return;
  }
  // The first property and department of either installation: 5/1 in the demo, 1/1 in the
  // large one.
  const std::string property = state.range(0) != 0 ? "1\r" : "5\r";
  KeyDriver driver(inst, {Typed(property), Typed("1\r")}, {key::kPgDn}, key::kPgDn);
  for (auto _ : state) state.SetIterationTime(driver.Measure());
  if (driver.Broken()) state.SkipWithError("panel 3 was not open: is the recman utility built from the same sources?");
}

// A digit typed into panel 3's monthly rent (field 9); Home before each, unmeasured.
void BM_TypedCharacter(benchmark::State& state) {
  Installation& inst = InstallationFor(state.range(0) != 0);
  if (!inst.ok()) {
    state.SkipWithError("the installation could not be laid out");
    return;
  }
  const std::string property = state.range(0) != 0 ? "1\r" : "5\r";
  KeyDriver driver(inst, {Typed(property), Typed("1\r"), {key::kDown, key::kDown, key::kDown, key::kDown, key::kCtrlY}},
                   {key::kHome}, '7');
  for (auto _ : state) state.SetIterationTime(driver.Measure());
  if (driver.Broken()) state.SkipWithError("panel 3 was not open: is the recman utility built from the same sources?");
}

// Argument 0: the demo (614 departments); 1: 100,000 departments. Paging is held to 500 keys so
// that it stays within the demo's departments. The server's installation is the demo's.
BENCHMARK(BM_StartUpToFirstScreen)->ArgName("large")->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PageToNextDepartment)
    ->ArgNames({"large", "server"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({0, 1})
    ->UseManualTime()
    ->Iterations(500)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TypedCharacter)->ArgName("large")->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
