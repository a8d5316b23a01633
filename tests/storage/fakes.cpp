#include "storage/fakes.h"

#include <unistd.h>

namespace storage_test {

void FakeSystem::Pause(int milliseconds) {
  pauses.push_back(milliseconds);
  clock_ms_ += milliseconds;
  if (microsecondsPerMs > 0 && milliseconds > 0) ::usleep(static_cast<useconds_t>(milliseconds) * static_cast<useconds_t>(microsecondsPerMs));
  if (onPause) onPause(static_cast<int>(pauses.size()));
}

void FakeSystem::AddMinutes(int minutes) {
  int total = now.hour * 60 + now.minute + minutes;
  // Enough for the tests: stays within one day (the clock starts at 10:30).
  now.hour = total / 60;
  now.minute = total % 60;
}

}  // namespace storage_test
