// Key codes and input events.
//
// A KeyCode is the 16-bit number every reader of the keyboard deals in:
//   - 0 is "no key";
//   - a plain character is its code page 850 byte, 1 to 255 (8 Backspace, 9 Tab, 13 Enter,
//     27 Escape, 3 Ctrl+C, 22 Ctrl+V, 25 Ctrl+Y, 130 "é", 213 the euro sign);
//   - an extended key is its PC keyboard scan code times 256 (0x4800 Up, 0x3B00 F1). Scan codes
//     of 0x80 and above (F11 0x8500, Ctrl+F1 0x5E00 is below, Alt+F12 0x8C00 above) give
//     negative numbers once stored in 16 bits; compare with the constants below, which are
//     written as the hexadecimal codes of the key lists ("8500") and stored the same way.
//   - mouse clicks are folded into codes by their readers (Console::GetKey, the field editor).
//
// An InputEvent is one polled keyboard or mouse event as the console back ends report it:
// a character or a scan code, the modifier flags held, and for the mouse the button and cell.
#pragma once

#include <cstdint>
#include <string>

namespace tui {

using KeyCode = std::int16_t;

// The code of an extended key with the given scan code (0x00..0xFF).
constexpr KeyCode ScanKey(int scan) { return static_cast<KeyCode>(static_cast<std::uint16_t>((scan & 0xFF) << 8)); }
// The code written in hexadecimal as in the key lists ("4d00", "1b", "8500").
constexpr KeyCode KeyFromHex(unsigned value) { return static_cast<KeyCode>(static_cast<std::uint16_t>(value)); }
// The scan code of an extended key (0 for a character or no key).
constexpr int ScanOf(KeyCode key) { return (static_cast<std::uint16_t>(key) >> 8) & 0xFF; }
// The character byte of a plain character key (0 for an extended key).
constexpr int CharOf(KeyCode key) { return static_cast<std::uint16_t>(key) < 0x100 ? static_cast<std::uint16_t>(key) : 0; }

namespace key {
// Control characters.
inline constexpr KeyCode kCtrlC = 3;
inline constexpr KeyCode kBackspace = 8;
inline constexpr KeyCode kTab = 9;
inline constexpr KeyCode kEnter = 13;
inline constexpr KeyCode kCtrlV = 22;
inline constexpr KeyCode kCtrlY = 25;
inline constexpr KeyCode kEscape = 27;
inline constexpr KeyCode kSpace = 32;
inline constexpr KeyCode kEuro = 0xD5;  // Alt+E; code page 858's euro sign, printed as "€"

// Extended keys.
inline constexpr KeyCode kShiftTab = ScanKey(0x0F);
inline constexpr KeyCode kAltE = ScanKey(0x12);
inline constexpr KeyCode kAltF = ScanKey(0x21);
inline constexpr KeyCode kAltX = ScanKey(0x2D);  // calculator hot key
inline constexpr KeyCode kAltC = ScanKey(0x2E);  // calendar hot key
inline constexpr KeyCode kF1 = ScanKey(0x3B);
inline constexpr KeyCode kF2 = ScanKey(0x3C);
inline constexpr KeyCode kF3 = ScanKey(0x3D);
inline constexpr KeyCode kF4 = ScanKey(0x3E);
inline constexpr KeyCode kF5 = ScanKey(0x3F);
inline constexpr KeyCode kF6 = ScanKey(0x40);
inline constexpr KeyCode kF7 = ScanKey(0x41);
inline constexpr KeyCode kF8 = ScanKey(0x42);
inline constexpr KeyCode kF9 = ScanKey(0x43);
inline constexpr KeyCode kF10 = ScanKey(0x44);
inline constexpr KeyCode kHome = ScanKey(0x47);
inline constexpr KeyCode kUp = ScanKey(0x48);
inline constexpr KeyCode kPgUp = ScanKey(0x49);
inline constexpr KeyCode kLeft = ScanKey(0x4B);
inline constexpr KeyCode kKeypad5 = ScanKey(0x4C);
inline constexpr KeyCode kRight = ScanKey(0x4D);
inline constexpr KeyCode kEnd = ScanKey(0x4F);
inline constexpr KeyCode kDown = ScanKey(0x50);
inline constexpr KeyCode kPgDn = ScanKey(0x51);
inline constexpr KeyCode kIns = ScanKey(0x52);
inline constexpr KeyCode kDel = ScanKey(0x53);
inline constexpr KeyCode kShiftF1 = ScanKey(0x54);   // .. Shift+F10 0x5D00
inline constexpr KeyCode kCtrlF1 = ScanKey(0x5E);    // .. Ctrl+F10 0x6700
inline constexpr KeyCode kCtrlF4 = ScanKey(0x61);
inline constexpr KeyCode kAltF1 = ScanKey(0x68);     // .. Alt+F10 0x7100
inline constexpr KeyCode kAltF4 = ScanKey(0x6B);
inline constexpr KeyCode kCtrlLeft = ScanKey(0x73);
inline constexpr KeyCode kCtrlRight = ScanKey(0x74);
inline constexpr KeyCode kCtrlHome = ScanKey(0x77);
inline constexpr KeyCode kF11 = ScanKey(0x85);
inline constexpr KeyCode kF12 = ScanKey(0x86);
inline constexpr KeyCode kShiftF11 = ScanKey(0x87);
inline constexpr KeyCode kShiftF12 = ScanKey(0x88);
inline constexpr KeyCode kCtrlF11 = ScanKey(0x89);
inline constexpr KeyCode kCtrlF12 = ScanKey(0x8A);
inline constexpr KeyCode kAltF11 = ScanKey(0x8B);
inline constexpr KeyCode kAltF12 = ScanKey(0x8C);
}  // namespace key

// Modifier flags of an input event, as the console reports them. A terminal cannot tell the
// left Alt or Ctrl from the right one; its back end reports both as the left one, which is
// what Alt+keypad entry looks for.
namespace modifier {
inline constexpr unsigned kRightAlt = 1;
inline constexpr unsigned kLeftAlt = 2;
inline constexpr unsigned kRightCtrl = 4;
inline constexpr unsigned kLeftCtrl = 8;
inline constexpr unsigned kShift = 16;
inline constexpr unsigned kAnyAlt = kRightAlt | kLeftAlt;
inline constexpr unsigned kAnyCtrl = kRightCtrl | kLeftCtrl;
}  // namespace modifier

// Mouse button numbers of an InputEvent (and of GetKey's click codes).
namespace mouse {
inline constexpr int kNone = 0;  // a movement or a release
inline constexpr int kLeft = 1;
inline constexpr int kRight = 2;
inline constexpr int kMiddle = 3;
}  // namespace mouse

// One polled event.
//   kKey:   character != 0 for a character (code page 850 byte), else scan != 0 for an extended
//           key. A key event with neither is a modifier change (the terminal back end reports
//           the end of an Alt+digit sequence so, as a keyboard reports the Alt key's release).
//   kMouse: button (mouse::), 1-based column and row of the cell, modifiers.
struct InputEvent {
  enum class Type { kKey, kMouse };
  Type type = Type::kKey;
  std::uint8_t character = 0;
  std::uint8_t scan = 0;
  unsigned modifiers = 0;
  int button = 0;
  int column = 0;
  int row = 0;

  // The key code of a key event: the character's byte, or the scan code times 256; 0 for a
  // mouse event or a modifier change.
  KeyCode Code() const {
    if (type != Type::kKey) return 0;
    return character != 0 ? static_cast<KeyCode>(character) : ScanKey(scan);
  }

  bool operator==(const InputEvent&) const = default;

  static InputEvent Char(std::uint8_t c, unsigned mods = 0) {
    InputEvent e;
    e.character = c;
    e.modifiers = mods;
    return e;
  }
  static InputEvent Scan(std::uint8_t s, unsigned mods = 0) {
    InputEvent e;
    e.scan = s;
    e.modifiers = mods;
    return e;
  }
  // An extended key from its key code (0x4800 -> scan 0x48); a plain character code gives a
  // character event.
  static InputEvent Key(KeyCode code, unsigned mods = 0) {
    int c = CharOf(code);
    return c != 0 ? Char(static_cast<std::uint8_t>(c), mods)
                  : Scan(static_cast<std::uint8_t>(ScanOf(code)), mods);
  }
  static InputEvent ModifierChange(unsigned mods = 0) {
    InputEvent e;
    e.modifiers = mods;
    return e;
  }
  static InputEvent Mouse(int button, int column, int row, unsigned mods = 0) {
    InputEvent e;
    e.type = Type::kMouse;
    e.button = button;
    e.column = column;
    e.row = row;
    e.modifiers = mods;
    return e;
  }
};

// Readable form for test failures and logs: "key 4800 [alt]", "char 82 [shift]",
// "mouse 1 at 10,5".
std::string Describe(const InputEvent& event);

// The keypad key (Ins, End, Down, PgDn, Left, keypad 5, Right, Home, Up, PgUp) that stands for
// a digit in Alt+keypad entry, or -1 when the key is none of them.
int KeypadDigit(KeyCode key);
// The keypad key of a digit 0..9 (the inverse of KeypadDigit).
KeyCode KeypadKeyOfDigit(int digit);
// The PC scan code of a letter (either case) as Alt+letter reports it (X 0x2D, C 0x2E,
// E 0x12, F 0x21), or 0 for anything that is not an ASCII letter.
int AltLetterScan(unsigned char letter);

}  // namespace tui
