// Operating-system services that tests need to control: the clock, pauses, random numbers,
// the beep, the computer name and starting other programs.
//
// The program owns one System (usually RealSystem) and hands it to every layer that needs one;
// tests hand in a FakeSystem-style subclass that fixes the clock and records beeps.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Local calendar date and time.
struct LocalTime {
  int year = 0;    // four digits
  int month = 0;   // 1..12
  int day = 0;     // 1..31
  int hour = 0;    // 0..23
  int minute = 0;  // 0..59
  int second = 0;  // 0..59
  int millisecond = 0;
};

class System {
 public:
  virtual ~System() = default;

  // Local date and time now.
  virtual LocalTime Now() = 0;
  // Milliseconds since an arbitrary start, never going backwards.
  virtual std::int64_t MonotonicMs() = 0;
  // Waits for the given number of milliseconds (0 or less returns at once).
  virtual void Pause(int milliseconds) = 0;
  // A uniformly chosen integer in [0, bound) (0 when bound is 0).
  virtual std::uint32_t Random(std::uint32_t bound) = 0;
  // Sounds the terminal bell.
  virtual void Beep() = 0;
  // The computer's name (host name), at most 63 bytes.
  virtual std::string ComputerName() = 0;
  // Starts a program with its arguments as a vector (argv[0] is looked up on PATH; no command
  // interpreter is involved) and waits for it to end. Returns its exit status, or -1 when it
  // could not be started.
  virtual int RunAndWait(const std::vector<std::string>& argv) = 0;
};

// The real operating system. Random numbers come from the kernel's random source.
class RealSystem : public System {
 public:
  LocalTime Now() override;
  std::int64_t MonotonicMs() override;
  void Pause(int milliseconds) override;
  std::uint32_t Random(std::uint32_t bound) override;
  void Beep() override;
  std::string ComputerName() override;
  int RunAndWait(const std::vector<std::string>& argv) override;
};

// Strong random bytes from the kernel (getrandom), for identities that must not collide.
std::uint32_t StrongRandom32();

}  // namespace platform
