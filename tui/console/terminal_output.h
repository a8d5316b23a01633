// Turning cells into the bytes a terminal understands.
//
// The encoder keeps what it knows of the terminal (cursor position, attribute in force, cursor
// shape) and writes only what must change: a cursor move when the next cell is not where the
// cursor already is, an attribute change when it differs, then the characters. It never writes
// a control character for a cell's contents (see glyphs.h).
//
// The escape sequences come from terminfo strings handed in as TerminalStrings, so that the
// encoder is a plain function of its input and can be tested and measured without a terminal.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tui/console/backend.h"
#include "tui/console/screen.h"

namespace tui {

// terminfo capabilities, as the strings tigetstr returns (empty when absent), and the number
// of colours.
struct TerminalStrings {
  std::string cup;    // cursor address, parameters row and column from 0
  std::string sgr0;   // all attributes off
  std::string setaf;  // foreground, ANSI colour number
  std::string setab;  // background
  std::string bold;
  std::string rev;
  std::string civis;  // hide the cursor
  std::string cnorm;  // show it
  std::string ss;     // cursor style (DECSCUSR), parameter 2 block, 4 underline; may be empty
  std::string csr;    // scrolling region, parameters first and last row from 0
  std::string ind;    // scroll up one line (cursor on the region's last row)
  std::string indn;   // scroll up n lines
  std::string ri;     // scroll down one line (cursor on the region's first row)
  std::string rin;    // scroll down n lines
  std::string acsc;   // line-drawing characters: pairs of VT100 letter and terminal character
  std::string smacs;  // line-drawing set on
  std::string rmacs;  // and off
  std::string ich1;   // insert one blank at the cursor, shifting the rest of the row right
  std::string ich;    // insert n blanks
  std::string smir;   // insert mode on
  std::string rmir;   // and off
  // Writing the terminal's bottom-right cell scrolls it: automatic margins that cannot be
  // turned off, without the delayed wrap of VT100-like terminals (the "ansi" entry).
  bool corner_scrolls = false;
  int colours = 8;
  // The terminal's character set, from the locale. Without UTF-8, characters the set lacks are
  // shown by the line-drawing set where it has them (frames), else as ASCII (glyphs.h).
  enum class Charset { kUtf8, kLatin1, kLatin9, kAscii };
  Charset charset = Charset::kUtf8;

  // What xterm-256color (and tmux-256color) give: 16 colours and more.
  static TerminalStrings Xterm();
};

class TerminalEncoder {
 public:
  explicit TerminalEncoder(TerminalStrings strings);

  // The terminal's own size, for its bottom-right cell. On a terminal whose corner scrolls
  // that cell is drawn by writing it one column to the left and inserting its left neighbour
  // (as last written there) in front of it; without a way to insert, or when the neighbour is
  // not known, the cell is left as it is until that row is drawn again.
  void SetTerminalSize(ScreenSize size);
  // Appends what shows `cells` on `row` from `column` on. `last_column` is the last column to
  // draw: after writing the terminal's last column the cursor position is no longer known.
  void WriteCells(int row, int column, std::span<const Cell> cells, int last_column, std::string& out);
  // Appends what moves rows top..bottom up by `lines` (down when negative) inside a scrolling
  // region and puts the region back to the whole terminal of `terminal_rows` rows. False, with
  // nothing appended, when the terminal lacks the capabilities.
  bool ScrollRows(int top, int bottom, int lines, int terminal_rows, std::string& out);
  // Appends what puts the cursor where the state says and shows or hides it.
  void PlaceCursor(const CursorState& cursor, std::string& out);
  // Forgets what the terminal shows (after a reset, a resume or output from someone else).
  void Invalidate();

  // The attribute sequence for an attribute byte (all off, then colours), as sent.
  std::string AttributeSequence(std::uint8_t attribute) const;

 private:
  void MoveTo(int row, int column, std::string& out);
  void AppendGlyph(std::uint8_t byte, std::string& out);
  void LineDrawing(bool on, std::string& out);
  void SetAttribute(std::uint8_t attribute, std::string& out);
  // Draws the bottom-right cell without writing it in place; false when it cannot.
  bool WriteCorner(const Cell& cell, std::string& out);

  TerminalStrings s_;
  char acs_map_[128] = {};  // VT100 line-drawing letter -> the terminal's character, 0 none
  int acs_ = -1;            // line-drawing set in force: 1 on, 0 off, -1 unknown
  int row_ = -1;  // where the terminal's cursor is, -1 unknown
  int column_ = -1;
  int attribute_ = -1;
  int visible_ = -1;
  int shape_ = -1;
  ScreenSize size_{0, 0};
  // Per row, the cell last written in the terminal's next-to-last column (character and
  // attribute << 8), -1 when unknown: what the corner trick puts back in front of the corner.
  std::vector<int> before_last_;
};

// The terminal's character set named by a locale value such as "ca_ES.UTF-8",
// "es_ES.ISO-8859-15" or "C".
TerminalStrings::Charset CharsetOfLocale(std::string_view locale);

// The PC colour number (0 black, 1 blue, ... 6 brown, 7 light grey, 8..15 bright) as the
// ANSI colour number terminals use (0 black, 1 red, 2 green, 3 yellow, 4 blue ...).
int AnsiColour(int pc_colour);

}  // namespace tui
