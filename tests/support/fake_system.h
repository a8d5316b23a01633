// A system for tests of the text interface: the clock stands at a fixed moment (tests may move
// it), the monotonic clock ticks once per reading, pauses return at once, and beeps and the
// programs it is asked to start are recorded.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/system.h"

namespace testing_support {

class FakeSystem : public platform::System {
 public:
  platform::LocalTime Now() override { return now; }
  std::int64_t MonotonicMs() override { return ++ms_; }
  void Pause(int) override {}
  std::uint32_t Random(std::uint32_t) override { return 0; }
  void Beep() override { ++beeps; }
  std::string ComputerName() override { return "TEST"; }
  int RunAndWait(const std::vector<std::string>& argv) override {
    runs.push_back(argv);
    if (onRun) onRun();
    return runResult;
  }

  platform::LocalTime now{2024, 5, 17, 10, 30, 0, 0};
  int beeps = 0;
  std::vector<std::vector<std::string>> runs;
  std::function<void()> onRun;  // called while a started program "runs"
  int runResult = 0;            // the exit status RunAndWait answers

 private:
  std::int64_t ms_ = 0;
};

}  // namespace testing_support
