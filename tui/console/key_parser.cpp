#include "tui/console/key_parser.h"

#include <algorithm>

#include "values/cp850.h"

namespace tui {
namespace {

using Status = ParseResult::Status;

constexpr unsigned char kEsc = 0x1B;
// Longest control sequence worth waiting for; anything longer is noise and is dropped.
constexpr std::size_t kMaxSequence = 48;

ParseResult Event(std::size_t consumed, InputEvent event) { return {Status::kEvent, consumed, event}; }
ParseResult Ignored(std::size_t consumed) { return {Status::kIgnored, consumed, {}}; }
ParseResult Incomplete() { return {Status::kIncomplete, 0, {}}; }
ParseResult Rejected(std::size_t consumed) { return {Status::kRejected, consumed, {}}; }

// xterm's modifier parameter: 1 + (1 Shift) + (2 Alt) + (4 Ctrl) + (8 Meta, taken as Alt).
unsigned ModifierFlags(int parameter) {
  if (parameter < 2) return 0;
  unsigned bits = static_cast<unsigned>(parameter - 1);
  unsigned flags = 0;
  if (bits & 1) flags |= modifier::kShift;
  if (bits & 2) flags |= modifier::kLeftAlt;
  if (bits & 4) flags |= modifier::kLeftCtrl;
  if (bits & 8) flags |= modifier::kLeftAlt;
  return flags;
}

// A character typed with Alt: a letter is its PC scan code (Alt+X 2D00), a digit is the keypad
// key of that digit for Alt+keypad entry, anything else stays a character with the Alt flag.
InputEvent WithAlt(InputEvent e) {
  e.modifiers |= modifier::kLeftAlt;
  if (e.type != InputEvent::Type::kKey || e.character == 0) return e;
  unsigned char c = e.character;
  if (int scan = AltLetterScan(c)) {
    if (c >= 'A' && c <= 'Z') e.modifiers |= modifier::kShift;
    e.character = 0;
    e.scan = static_cast<std::uint8_t>(scan);
  } else if (c >= '0' && c <= '9') {
    e.character = 0;
    e.scan = static_cast<std::uint8_t>(ScanOf(KeypadKeyOfDigit(c - '0')));
  }
  return e;
}

// One character: ASCII, a control character, or UTF-8 turned back into code page 850.
ParseResult ParsePlain(std::string_view bytes, bool final) {
  unsigned char b = static_cast<unsigned char>(bytes[0]);
  if (b == 0x00) return Ignored(1);  // Ctrl+Space: nothing the system knows
  if (b == 0x7F) return Event(1, InputEvent::Char(8));  // the Backspace key sends DEL
  if (b < 0x80) return Event(1, InputEvent::Char(b));

  std::size_t length;
  char32_t cp;
  if (b >= 0xC2 && b <= 0xDF) {
    length = 2;
    cp = b & 0x1F;
  } else if (b >= 0xE0 && b <= 0xEF) {
    length = 3;
    cp = b & 0x0F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    length = 4;
    cp = b & 0x07;
  } else {
    return Ignored(1);  // not a UTF-8 lead byte
  }
  std::size_t have = std::min(length, bytes.size());
  for (std::size_t i = 1; i < have; ++i) {
    unsigned char c = static_cast<unsigned char>(bytes[i]);
    if ((c & 0xC0) != 0x80) return Ignored(i);
    cp = (cp << 6) | (c & 0x3F);
  }
  if (have < length) return final ? Ignored(have) : Incomplete();
  // Overlong forms and surrogates are not characters.
  if ((length == 3 && cp < 0x800) || (length == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
      (cp >= 0xD800 && cp <= 0xDFFF)) {
    return Ignored(length);
  }
  if (cp == 0x20AC) return Event(length, InputEvent::Char(0xD5));  // € is D5 (code page 858)
  int byte = values::UnicodeToCp850(cp);
  // Characters code page 850 has no byte for, and its control positions, cannot be typed.
  if (byte < 0x20 || byte == 0x7F) return Ignored(length);
  return Event(length, InputEvent::Char(static_cast<std::uint8_t>(byte)));
}

// Reads a decimal number of a control sequence, capped so that it cannot overflow.
int CappedNumber(std::string_view digits) {
  int value = 0;
  for (char c : digits) {
    value = std::min(value * 10 + (c - '0'), 99999);
  }
  return value;
}

struct Sequence {
  char prefix = 0;            // '<', '?', '>' or '=' before the parameters, else 0
  std::vector<int> params;    // missing parameters are -1
  char final = 0;
  std::size_t length = 0;     // bytes from the ESC to the final byte inclusive
};

// Splits the parameters and finds the final byte of a CSI or SS3 body starting at `start`.
// Returns kEvent with `seq` filled, or the status to give.
Status ScanSequence(std::string_view bytes, std::size_t start, bool final, bool allow_prefix, Sequence& seq,
                    std::size_t& consumed) {
  std::size_t i = start;
  if (allow_prefix && i < bytes.size() && (bytes[i] == '<' || bytes[i] == '?' || bytes[i] == '>' || bytes[i] == '=')) {
    seq.prefix = bytes[i];
    ++i;
  }
  std::size_t number_start = i;
  bool intermediate = false;
  for (; i < bytes.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (i >= kMaxSequence) {
      consumed = i;
      return Status::kIgnored;
    }
    if (c >= '0' && c <= '9' && !intermediate) continue;
    if ((c == ';' || c == ':') && !intermediate) {
      std::string_view n = bytes.substr(number_start, i - number_start);
      seq.params.push_back(n.empty() ? -1 : CappedNumber(n));
      number_start = i + 1;
      continue;
    }
    // rxvt ends Shift-modified keys with "$", which is otherwise an intermediate byte.
    if (c == '$' && !intermediate && seq.prefix == 0) {
      std::string_view n = bytes.substr(number_start, i - number_start);
      seq.params.push_back(n.empty() ? -1 : CappedNumber(n));
      seq.final = '$';
      seq.length = i + 1;
      consumed = i + 1;
      return Status::kEvent;
    }
    if (c >= 0x20 && c <= 0x2F) {
      intermediate = true;
      continue;
    }
    if (c >= 0x40 && c <= 0x7E) {
      if (!intermediate) {
        std::string_view n = bytes.substr(number_start, i - number_start);
        if (!n.empty() || !seq.params.empty()) seq.params.push_back(n.empty() ? -1 : CappedNumber(n));
      }
      seq.final = static_cast<char>(c);
      seq.length = i + 1;
      consumed = i + 1;
      return intermediate ? Status::kIgnored : Status::kEvent;
    }
    // Any other byte (a new ESC, a control character) breaks the sequence off: drop what came
    // before it and read the byte afresh.
    consumed = i;
    return Status::kIgnored;
  }
  if (final) {
    consumed = bytes.size();
    return Status::kIgnored;
  }
  return Status::kIncomplete;
}

int Param(const Sequence& s, std::size_t i, int fallback) {
  return i < s.params.size() && s.params[i] >= 0 ? s.params[i] : fallback;
}

// The scan code of a letter-final key (CSI A, SS3 P ...), or 0.
std::uint8_t LetterKeyScan(char final) {
  switch (final) {
    case 'A': return 0x48;  // Up
    case 'B': return 0x50;  // Down
    case 'C': return 0x4D;  // Right
    case 'D': return 0x4B;  // Left
    case 'H': return 0x47;  // Home
    case 'F': return 0x4F;  // End
    case 'E': return 0x4C;  // keypad 5 with NumLock off
    case 'P': return 0x3B;  // F1
    case 'Q': return 0x3C;  // F2
    case 'R': return 0x3D;  // F3
    case 'S': return 0x3E;  // F4
    default: return 0;
  }
}

// The key of a "CSI n ~" number, with the Shift flag some numbers imply (the F13..F20 of vt220
// and rxvt are Shift+F3..Shift+F10), or scan 0.
std::pair<std::uint8_t, unsigned> TildeKey(int n) {
  switch (n) {
    case 1: case 7: return {0x47, 0};   // Home (tmux, Linux console; rxvt 7)
    case 2: return {0x52, 0};           // Ins
    case 3: return {0x53, 0};           // Del
    case 4: case 8: return {0x4F, 0};   // End
    case 5: return {0x49, 0};           // PgUp
    case 6: return {0x51, 0};           // PgDn
    case 11: return {0x3B, 0};          // F1 .. F5 (rxvt, old xterm)
    case 12: return {0x3C, 0};
    case 13: return {0x3D, 0};
    case 14: return {0x3E, 0};
    case 15: return {0x3F, 0};
    case 17: return {0x40, 0};          // F6 .. F10
    case 18: return {0x41, 0};
    case 19: return {0x42, 0};
    case 20: return {0x43, 0};
    case 21: return {0x44, 0};
    case 23: return {0x85, 0};          // F11
    case 24: return {0x86, 0};          // F12
    case 25: return {0x3D, modifier::kShift};
    case 26: return {0x3E, modifier::kShift};
    case 28: return {0x3F, modifier::kShift};
    case 29: return {0x40, modifier::kShift};
    case 31: return {0x41, modifier::kShift};
    case 32: return {0x42, modifier::kShift};
    case 33: return {0x43, modifier::kShift};
    case 34: return {0x44, modifier::kShift};
    default: return {0, 0};
  }
}

// SGR mouse report: CSI < b ; column ; row M (press) or m (release).
ParseResult SgrMouse(const Sequence& s) {
  if (s.params.size() < 3 || (s.final != 'M' && s.final != 'm')) return Ignored(s.length);
  int b = Param(s, 0, 0);
  int column = std::clamp(Param(s, 1, 1), 1, 9999);
  int row = std::clamp(Param(s, 2, 1), 1, 9999);
  unsigned mods = 0;
  if (b & 4) mods |= modifier::kShift;
  if (b & 8) mods |= modifier::kLeftAlt;
  if (b & 16) mods |= modifier::kLeftCtrl;
  if (b & 64) return Ignored(s.length);  // the wheel: nothing the system uses
  int button = mouse::kNone;
  if (s.final == 'M' && !(b & 32)) {
    static constexpr int kButtons[] = {mouse::kLeft, mouse::kMiddle, mouse::kRight, mouse::kNone};
    button = kButtons[b & 3];
  }
  return Event(s.length, InputEvent::Mouse(button, column, row, mods));
}

ParseResult ParseCsi(std::string_view bytes, bool final) {
  // Linux console F1..F5: CSI [ A .. CSI [ E.
  if (bytes.size() >= 3 && bytes[2] == '[') {
    if (bytes.size() < 4) return final ? Ignored(3) : Incomplete();
    char c = bytes[3];
    if (c >= 'A' && c <= 'E') return Event(4, InputEvent::Scan(static_cast<std::uint8_t>(0x3B + (c - 'A'))));
    return Ignored(4);
  }
  // X10 mouse report: CSI M, then button, column and row bytes, each plus 32.
  if (bytes.size() >= 3 && bytes[2] == 'M') {
    if (bytes.size() < 6) return final ? Ignored(bytes.size()) : Incomplete();
    int b = static_cast<unsigned char>(bytes[3]) - 32;
    int column = static_cast<unsigned char>(bytes[4]) - 32;
    int row = static_cast<unsigned char>(bytes[5]) - 32;
    if (b < 0 || column < 1 || row < 1 || (b & 64)) return Ignored(6);
    unsigned mods = 0;
    if (b & 4) mods |= modifier::kShift;
    if (b & 8) mods |= modifier::kLeftAlt;
    if (b & 16) mods |= modifier::kLeftCtrl;
    static constexpr int kButtons[] = {mouse::kLeft, mouse::kMiddle, mouse::kRight, mouse::kNone};
    int button = (b & 32) ? mouse::kNone : kButtons[b & 3];
    return Event(6, InputEvent::Mouse(button, column, row, mods));
  }
  Sequence s;
  std::size_t consumed = 0;
  Status st = ScanSequence(bytes, 2, final, true, s, consumed);
  if (st == Status::kIncomplete) return Incomplete();
  if (st == Status::kIgnored) return Ignored(std::max<std::size_t>(consumed, 1));
  if (s.prefix == '<') return SgrMouse(s);
  if (s.prefix != 0) return Ignored(s.length);  // reports and replies, not keys

  if (s.final == 'Z') return Event(s.length, InputEvent::Scan(0x0F, modifier::kShift));
  if (std::uint8_t scan = LetterKeyScan(s.final)) {
    // CSI A, or CSI 1;m A with a modifier.
    return Event(s.length, InputEvent::Scan(scan, ModifierFlags(Param(s, 1, 1))));
  }
  if (s.final >= 'a' && s.final <= 'd') {
    // rxvt: Shift with the arrows is CSI a .. d.
    static constexpr std::uint8_t kArrows[] = {0x48, 0x50, 0x4D, 0x4B};
    return Event(s.length, InputEvent::Scan(kArrows[s.final - 'a'], modifier::kShift));
  }
  if (s.final == '~' || s.final == '^' || s.final == '$' || s.final == '@') {
    int n = Param(s, 0, 0);
    if (n == 27 && s.final == '~') {
      // xterm's modifyOtherKeys form: CSI 27 ; m ; character ~.
      int c = Param(s, 2, 0);
      unsigned mods = ModifierFlags(Param(s, 1, 1));
      if (c <= 0 || c > 0x7E) return Ignored(s.length);
      InputEvent e = InputEvent::Char(static_cast<std::uint8_t>(c), mods & ~modifier::kLeftAlt);
      return Event(s.length, (mods & modifier::kLeftAlt) ? WithAlt(e) : e);
    }
    auto [scan, implied] = TildeKey(n);
    if (scan == 0) return Ignored(s.length);
    unsigned mods = implied;
    if (s.final == '~') mods |= ModifierFlags(Param(s, 1, 1));
    if (s.final == '^') mods |= modifier::kLeftCtrl;
    if (s.final == '$') mods |= modifier::kShift;
    if (s.final == '@') mods |= modifier::kLeftCtrl | modifier::kShift;
    return Event(s.length, InputEvent::Scan(scan, mods));
  }
  return Rejected(s.length);
}

ParseResult ParseSs3(std::string_view bytes, bool final) {
  Sequence s;
  std::size_t consumed = 0;
  Status st = ScanSequence(bytes, 2, final, false, s, consumed);
  if (st == Status::kIncomplete) return Incomplete();
  if (st == Status::kIgnored) return Ignored(std::max<std::size_t>(consumed, 1));
  // Some terminals put the modifier right after SS3: "ESC O 5 P"; others "ESC O 1;5 P".
  unsigned mods = ModifierFlags(s.params.empty() ? 1 : s.params.back());
  char f = s.final;
  if (std::uint8_t scan = LetterKeyScan(f)) return Event(s.length, InputEvent::Scan(scan, mods));
  if (f >= 'a' && f <= 'd') {
    // rxvt: Ctrl with the arrows is SS3 a .. d.
    static constexpr std::uint8_t kArrows[] = {0x48, 0x50, 0x4D, 0x4B};
    return Event(s.length, InputEvent::Scan(kArrows[f - 'a'], modifier::kLeftCtrl));
  }
  // The keypad in application mode: SS3 j..y are * + , - . / 0..9, SS3 M Enter, SS3 X "=".
  if (f >= 'j' && f <= 'y') {
    static constexpr char kKeypad[] = "*+,-./0123456789";
    return Event(s.length, InputEvent::Char(static_cast<std::uint8_t>(kKeypad[f - 'j']), mods));
  }
  if (f == 'M') return Event(s.length, InputEvent::Char(13, mods));
  if (f == 'X') return Event(s.length, InputEvent::Char('=', mods));
  return Rejected(s.length);
}

}  // namespace

ParseResult ParseInput(std::string_view bytes, bool final) {
  if (bytes.empty()) return Incomplete();
  if (static_cast<unsigned char>(bytes[0]) != kEsc) return ParsePlain(bytes, final);

  if (bytes.size() == 1) return final ? Event(1, InputEvent::Char(kEsc)) : Incomplete();
  char second = bytes[1];
  if (second == '[' || second == 'O') {
    if (bytes.size() == 2) {
      // ESC [ or ESC O with nothing after it for the whole delay: Alt with that character.
      if (!final) return Incomplete();
      return Event(2, WithAlt(InputEvent::Char(static_cast<std::uint8_t>(second))));
    }
    return second == '[' ? ParseCsi(bytes, final) : ParseSs3(bytes, final);
  }
  if (static_cast<unsigned char>(second) == kEsc) {
    // A doubled ESC before a sequence is that key with Alt (how some terminals send Alt with
    // the cursor and function keys); otherwise the first ESC is the Escape key by itself.
    if (bytes.size() >= 3 && (bytes[2] == '[' || bytes[2] == 'O')) {
      ParseResult inner = ParseInput(bytes.substr(1), final);
      if (inner.status == Status::kIncomplete) return inner;
      if (inner.status == Status::kEvent) {
        inner.event.modifiers |= modifier::kLeftAlt;
        inner.consumed += 1;
        return inner;
      }
    } else if (bytes.size() == 2 && !final) {
      return Incomplete();
    }
    return Event(1, InputEvent::Char(kEsc));
  }
  // ESC followed by a character: that character typed with Alt.
  ParseResult inner = ParsePlain(bytes.substr(1), final);
  if (inner.status == Status::kIncomplete) return inner;
  if (inner.status == Status::kIgnored) return Ignored(inner.consumed + 1);
  inner.event = WithAlt(inner.event);
  inner.consumed += 1;
  return inner;
}

// ---- KeyTable ------------------------------------------------------------------------------

void KeyTable::Add(std::string sequence, InputEvent event) {
  if (sequence.empty()) return;
  entries_.emplace_back(std::move(sequence), event);
}

std::optional<std::pair<std::size_t, InputEvent>> KeyTable::Match(std::string_view bytes) const {
  std::optional<std::pair<std::size_t, InputEvent>> best;
  for (const auto& [seq, event] : entries_) {
    if (bytes.substr(0, seq.size()) == seq && (!best || seq.size() > best->first)) best = std::make_pair(seq.size(), event);
  }
  return best;
}

bool KeyTable::IsPrefix(std::string_view bytes) const {
  for (const auto& entry : entries_) {
    const std::string& seq = entry.first;
    if (seq.size() > bytes.size() && std::string_view(seq).substr(0, bytes.size()) == bytes) return true;
  }
  return false;
}

// ---- KeyDecoder ----------------------------------------------------------------------------

namespace {

bool IsAltDigit(const InputEvent& e) {
  return e.type == InputEvent::Type::kKey && (e.modifiers & modifier::kAnyAlt) && KeypadDigit(e.Code()) >= 0;
}

}  // namespace

void KeyDecoder::Feed(std::string_view bytes, std::int64_t now_ms) {
  if (bytes.empty()) return;
  buffer_.append(bytes);
  last_byte_ms_ = now_ms;
}

std::optional<InputEvent> KeyDecoder::Decode(std::int64_t now_ms) {
  while (!buffer_.empty()) {
    bool final = now_ms - last_byte_ms_ >= escape_delay_ms_;
    ParseResult r = ParseInput(buffer_, final);
    switch (r.status) {
      case Status::kEvent:
        buffer_.erase(0, r.consumed);
        return r.event;
      case Status::kIgnored:
        buffer_.erase(0, std::max<std::size_t>(r.consumed, 1));
        break;
      case Status::kIncomplete:
        return std::nullopt;
      case Status::kRejected:
        if (auto match = table_.Match(buffer_)) {
          buffer_.erase(0, match->first);
          return match->second;
        }
        buffer_.erase(0, std::max<std::size_t>(r.consumed, 1));
        break;
    }
  }
  return std::nullopt;
}

std::optional<InputEvent> KeyDecoder::Next(std::int64_t now_ms) {
  if (held_) {
    InputEvent e = *held_;
    held_.reset();
    return e;
  }
  std::optional<InputEvent> e = Decode(now_ms);
  if (!e) {
    if (alt_digit_pending_ && now_ms - alt_digit_ms_ >= alt_release_ms_) {
      alt_digit_pending_ = false;
      return InputEvent::ModifierChange(0);
    }
    return std::nullopt;
  }
  if (IsAltDigit(*e)) {
    alt_digit_pending_ = true;
    alt_digit_ms_ = now_ms;
    return e;
  }
  if (alt_digit_pending_) {
    alt_digit_pending_ = false;
    held_ = e;
    return InputEvent::ModifierChange(0);
  }
  return e;
}

int KeyDecoder::MillisecondsUntilDue(std::int64_t now_ms) const {
  std::int64_t due = -1;
  if (held_) return 0;
  if (!buffer_.empty()) due = last_byte_ms_ + escape_delay_ms_;
  if (alt_digit_pending_) {
    std::int64_t t = alt_digit_ms_ + alt_release_ms_;
    due = due < 0 ? t : std::min(due, t);
  }
  if (due < 0) return -1;
  return static_cast<int>(std::clamp<std::int64_t>(due - now_ms, 0, 60000));
}

void KeyDecoder::Clear() {
  buffer_.clear();
  held_.reset();
  alt_digit_pending_ = false;
}

}  // namespace tui
