// Test doubles for the storage layer: a console that records what was shown and feeds keys,
// and a system with a fixed clock whose pauses return at once.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/system.h"
#include "storage/user_interface.h"

namespace storage_test {

class FakeUi : public storage::UserInterface {
 public:
  // Every call in order: "box <row> <text>", "close", "beep", "flush", "getkey", "readkey".
  std::vector<std::string> events;
  // Keys handed out by GetKey and ReadKey; ReadKey answers 0 when none is queued, GetKey 13.
  std::deque<std::int16_t> keys;
  int openBoxes = 0;
  std::function<void()> onReadKey;

  void MessageBox(int row, std::string_view text) override {
    events.push_back("box " + std::to_string(row) + " " + std::string(text));
    ++openBoxes;
  }
  void WinClose() override {
    events.push_back("close");
    --openBoxes;
  }
  void Beep() override { events.push_back("beep"); }
  void FlushKeys() override { events.push_back("flush"); }
  std::int16_t GetKey() override {
    events.push_back("getkey");
    return Next(13);
  }
  std::int16_t ReadKey() override {
    events.push_back("readkey");
    if (onReadKey) onReadKey();
    return Next(0);
  }

  int Count(const std::string& prefix) const {
    int n = 0;
    for (const std::string& e : events)
      if (e.rfind(prefix, 0) == 0) ++n;
    return n;
  }

 private:
  std::int16_t Next(std::int16_t otherwise) {
    if (keys.empty()) return otherwise;
    std::int16_t k = keys.front();
    keys.pop_front();
    return k;
  }
};

class FakeSystem : public platform::System {
 public:
  platform::LocalTime now{2026, 3, 14, 10, 30, 0, 0};
  std::vector<int> pauses;
  // Called on every pause with the number of pauses so far (1 on the first).
  std::function<void(int)> onPause;
  // Real waiting per requested millisecond, in microseconds (0: pauses return at once).
  int microsecondsPerMs = 0;
  std::string computerName = "TESTPC";

  platform::LocalTime Now() override { return now; }
  std::int64_t MonotonicMs() override { return clock_ms_; }
  void Pause(int milliseconds) override;
  // The two ends of the range in turn, the low end first, so that pauses are seen at both of
  // their bounds.
  std::uint32_t Random(std::uint32_t bound) override { return bound == 0 || randoms_++ % 2 == 0 ? 0 : bound - 1; }
  void Beep() override {}
  std::string ComputerName() override { return computerName; }
  int RunAndWait(const std::vector<std::string>&) override { return -1; }

  // Moves the fixed clock on by whole minutes.
  void AddMinutes(int minutes);

 private:
  std::int64_t clock_ms_ = 0;
  unsigned randoms_ = 0;
};

}  // namespace storage_test
