// Help text files "AJUDA\<topic>.HLP": reading them and splitting their lines into colours.
//
// A help file is a sequence of fixed-length records, one per line, each as long as the screen
// is wide; there are no line ends. Within a line three control bytes switch the colour and are
// not shown; each flips a toggle that is off at the start of every line:
//
//   1E  high intensity   on: colour entry 0, off: entry 1 (neither while the input colour is on)
//   1F  input colour     on: entry 4 (shown as underline), off: entry 1
//   10  reverse          on: entry 2, off: entry 1
//
// At most 76 visible characters of a line are shown; the control bytes do not count.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tui {

inline constexpr char kHelpHighByte = '\x1E';
inline constexpr char kHelpInputByte = '\x1F';
inline constexpr char kHelpReverseByte = '\x10';
inline constexpr int kHelpVisibleChars = 76;

// A help file's bytes cut into lines of the screen's width.
class HelpText {
 public:
  HelpText() = default;
  // lineWidth: the record length (the screen's columns); 0 or less gives no lines.
  HelpText(std::string bytes, int lineWidth);

  // The file's size divided by the line width, rounded to the nearest whole number (a last
  // record of at least half the width counts as a line; a shorter remnant does not).
  int LineCount() const { return lineCount_; }

  // Line n, counted from 1 (the last one may be shorter than the width); "" outside 1..count.
  std::string_view Line(int n) const;

 private:
  std::string bytes_;
  int lineWidth_ = 0;
  int lineCount_ = 0;
};

// One run of a help line shown in one colour entry (0 to 4 of the colour table).
struct HelpSpan {
  int colourEntry = 1;
  std::string text;
  friend bool operator==(const HelpSpan&, const HelpSpan&) = default;
};

// The visible runs of a line: control bytes removed, each run tagged with the colour entry in
// force, at most maxVisible characters in all. Empty runs are left out.
std::vector<HelpSpan> HelpLineSpans(std::string_view line, int maxVisible = kHelpVisibleChars);

}  // namespace tui
