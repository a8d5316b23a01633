// Test doubles for the values layer: settings from a map, a clock fixed at a chosen date.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/system.h"
#include "values/settings.h"
#include "values/values.h"

namespace values_test {

class MapSettings : public values::SettingsSource {
 public:
  std::map<std::string, std::string> values;  // "Section/Key" -> value
  std::vector<std::string> reads;             // every key asked for, in order

  std::string Read(std::string_view section, std::string_view key) override {
    std::string name = std::string(section) + "/" + std::string(key);
    reads.push_back(name);
    auto it = values.find(name);
    return it == values.end() ? std::string() : it->second;
  }
};

class FixedClock : public platform::System {
 public:
  platform::LocalTime now;

  explicit FixedClock(int year, int month = 6, int day = 15) {
    now.year = year;
    now.month = month;
    now.day = day;
  }
  platform::LocalTime Now() override { return now; }
  std::int64_t MonotonicMs() override { return 0; }
  void Pause(int) override {}
  std::uint32_t Random(std::uint32_t) override { return 0; }
  void Beep() override {}
  std::string ComputerName() override { return "TEST"; }
  int RunAndWait(const std::vector<std::string>&) override { return -1; }
};

// A Values with its own settings and clock.
struct Fixture {
  MapSettings settings;
  FixedClock clock;
  values::Values values;

  explicit Fixture(int year) : clock(year), values(settings, clock) {}
};

// The bytes of a packed date as a readable yyyy-mm-dd text (digits of each byte).
inline std::string Show(const values::PackedDate& d) {
  auto two = [](std::uint8_t b) {
    int v = (b & 0x7F) % 100;
    return std::string{static_cast<char>('0' + v / 10), static_cast<char>('0' + v % 10)};
  };
  return two(d[0]) + two(d[1]) + "-" + two(d[2]) + "-" + two(d[3]);
}

inline std::string Bytes(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s += static_cast<char>(b);
  return s;
}

}  // namespace values_test
