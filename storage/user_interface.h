// What the record layer and the lock registry need from the console.
//
// The storage layer sits below the text interface, so it asks through this interface and the
// program hands in one backed by the real console. Tests hand in a fake that records what was
// shown and feeds keys.
#pragma once

#include <cstdint>
#include <string_view>

namespace storage {

class UserInterface {
 public:
  virtual ~UserInterface() = default;

  // Shows a framed message centred around a screen row (1-based). The box stays open until the
  // matching WinClose. The text is code page 850 bytes.
  virtual void MessageBox(int row, std::string_view text) = 0;
  // Closes the innermost open window (the last message box shown).
  virtual void WinClose() = 0;
  // Sounds the system beep.
  virtual void Beep() = 0;
  // Discards pending keyboard input.
  virtual void FlushKeys() = 0;
  // Waits for one key and returns its key code.
  virtual std::int16_t GetKey() = 0;
  // Returns one pending key without waiting, or 0 when none is pending.
  virtual std::int16_t ReadKey() = 0;
};

}  // namespace storage
