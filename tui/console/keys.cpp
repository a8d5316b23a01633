#include "tui/console/keys.h"

#include <array>
#include <cstdio>

namespace tui {
namespace {

// Keypad keys standing for the digits 0..9 in Alt+keypad entry.
constexpr std::array<KeyCode, 10> kKeypadDigits = {
    key::kIns, key::kEnd, key::kDown, key::kPgDn, key::kLeft,
    key::kKeypad5, key::kRight, key::kHome, key::kUp, key::kPgUp,
};

// PC scan codes of the letters A..Z.
constexpr std::array<std::uint8_t, 26> kLetterScans = {
    0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17, 0x24, 0x25, 0x26, 0x32,
    0x31, 0x18, 0x19, 0x10, 0x13, 0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C,
};

}  // namespace

int KeypadDigit(KeyCode key) {
  for (int d = 0; d < 10; ++d) {
    if (kKeypadDigits[static_cast<std::size_t>(d)] == key) return d;
  }
  return -1;
}

KeyCode KeypadKeyOfDigit(int digit) {
  if (digit < 0 || digit > 9) return 0;
  return kKeypadDigits[static_cast<std::size_t>(digit)];
}

int AltLetterScan(unsigned char letter) {
  if (letter >= 'a' && letter <= 'z') return kLetterScans[letter - 'a'];
  if (letter >= 'A' && letter <= 'Z') return kLetterScans[letter - 'A'];
  return 0;
}

std::string Describe(const InputEvent& event) {
  char buf[96];
  std::string mods;
  if (event.modifiers & modifier::kShift) mods += " shift";
  if (event.modifiers & modifier::kAnyCtrl) mods += " ctrl";
  if (event.modifiers & modifier::kAnyAlt) mods += " alt";
  if (!mods.empty()) mods = " [" + mods.substr(1) + "]";
  if (event.type == InputEvent::Type::kMouse) {
    std::snprintf(buf, sizeof buf, "mouse %d at %d,%d", event.button, event.column, event.row);
  } else if (event.character != 0) {
    std::snprintf(buf, sizeof buf, "char %02x", event.character);
  } else if (event.scan != 0) {
    std::snprintf(buf, sizeof buf, "key %02x00", event.scan);
  } else {
    std::snprintf(buf, sizeof buf, "modifiers");
  }
  return buf + mods;
}

}  // namespace tui
