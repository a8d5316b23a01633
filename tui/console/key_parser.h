// Decoding what a terminal sends for keys and the mouse into InputEvents.
//
// ParseInput is a plain function over the bytes received so far. It knows the xterm family
// (what tmux, xterm, VTE and most emulators send), rxvt's forms and the Linux console's:
//
//   bytes               event
//   "a", "\xc3\xa9"     character 'a', character 82 (é: UTF-8 back to code page 850)
//   "\x1b[A"            Up (scan 48)                       CSI final letter
//   "\x1bOP"            F1 (scan 3B)                       SS3
//   "\x1b[1;5P"         F1 with Ctrl                       CSI 1;m X: m-1 = 1 Shift|2 Alt|4 Ctrl
//   "\x1b[24;2~"        F12 with Shift                     CSI n;m ~
//   "\x1b[7^"           Home with Ctrl                     rxvt: ^ Ctrl, $ Shift, @ Ctrl+Shift
//   "\x1b[[A"           F1                                 Linux console F1..F5
//   "\x1b[Z"            Shift+Tab (scan 0F)
//   "\x1bx"             Alt+X as scan 2D with Alt          a letter with Alt is its PC scan code
//   "\x1b" "1"          Alt with keypad End (digit 1)      Alt+digit is Alt+keypad entry
//   "\x1b[<0;10;5M"     left button pressed at column 10, row 5   SGR mouse; "m" is a release
//   "\x1b[M !!"         X10 mouse report
//   "\x7f"              Backspace (8)
//
// A lone ESC is incomplete until the caller knows no more bytes follow (final == true), then it
// is the Escape key; KeyDecoder does that with a short delay.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tui/console/keys.h"

namespace tui {

struct ParseResult {
  enum class Status {
    kEvent,       // `consumed` bytes made `event`
    kIgnored,     // `consumed` bytes were a known or well-formed sequence that means nothing here
    kIncomplete,  // the bytes may be the start of a sequence: wait for more
    kRejected,    // the first `consumed` bytes form a sequence this parser does not know
  };
  Status status = Status::kIncomplete;
  std::size_t consumed = 0;
  InputEvent event;
};

// Parses the first event of `bytes`. With `final` set, no more bytes will follow for now, so
// an incomplete sequence is taken as far as it goes (a lone ESC is Escape, ESC [ is Alt+[).
// Never consumes 0 bytes unless it returns kIncomplete.
ParseResult ParseInput(std::string_view bytes, bool final);

// Key sequences from the terminal's own description (terminfo), tried when ParseInput rejects
// a sequence.
class KeyTable {
 public:
  void Add(std::string sequence, InputEvent event);
  // The longest entry that `bytes` begins with.
  std::optional<std::pair<std::size_t, InputEvent>> Match(std::string_view bytes) const;
  // True when `bytes` is a proper prefix of an entry.
  bool IsPrefix(std::string_view bytes) const;
  bool Empty() const { return entries_.empty(); }

 private:
  std::vector<std::pair<std::string, InputEvent>> entries_;
};

// Turns a stream of bytes with their arrival times into events:
//   - a lone ESC becomes Escape once `escape_delay_ms` has passed without more bytes;
//   - after Alt+digit or Alt with a keypad key, a modifier change without Alt is reported
//     before the next event that is not one of those, or after `alt_release_ms` of quiet, as a
//     keyboard reports Alt's release, so that Alt+keypad entry ends at the right place;
//   - sequences ParseInput rejects are tried against the KeyTable, then dropped.
class KeyDecoder {
 public:
  explicit KeyDecoder(int escape_delay_ms = 40, int alt_release_ms = 800)
      : escape_delay_ms_(escape_delay_ms), alt_release_ms_(alt_release_ms) {}

  void SetKeyTable(KeyTable table) { table_ = std::move(table); }
  // Bytes read from the terminal at time `now_ms` (any monotonic clock).
  void Feed(std::string_view bytes, std::int64_t now_ms);
  // The next event that is ready at `now_ms`.
  std::optional<InputEvent> Next(std::int64_t now_ms);
  // How long the caller may wait for bytes before Next could produce something by time alone
  // (-1: no timer pending).
  int MillisecondsUntilDue(std::int64_t now_ms) const;
  // Forgets buffered bytes and pending events.
  void Clear();
  std::size_t Buffered() const { return buffer_.size(); }

 private:
  std::optional<InputEvent> Decode(std::int64_t now_ms);

  int escape_delay_ms_;
  int alt_release_ms_;
  KeyTable table_;
  std::string buffer_;
  std::int64_t last_byte_ms_ = 0;
  bool alt_digit_pending_ = false;
  std::int64_t alt_digit_ms_ = 0;
  std::optional<InputEvent> held_;  // an event kept back behind a synthesised Alt release
};

}  // namespace tui
