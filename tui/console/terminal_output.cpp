#include "tui/console/terminal_output.h"

#include <term.h>

#include <algorithm>
#include <cstring>

#include "tui/console/glyphs.h"
// term.h defines macros named after every capability; none is used below.
#undef columns
#undef lines

namespace tui {
namespace {

// tiparm with up to two numbers; an empty capability gives an empty string.
std::string Param(const std::string& cap, int a, int b = 0) {
  if (cap.empty()) return {};
  const char* r = tiparm(cap.c_str(), a, b);
  return r ? std::string(r) : std::string();
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

int AnsiColour(int pc_colour) {
  static constexpr int kMap[8] = {0, 4, 2, 6, 1, 5, 3, 7};
  return kMap[pc_colour & 7] + (pc_colour & 8);
}

TerminalStrings TerminalStrings::Xterm() {
  TerminalStrings s;
  s.cup = "\x1b[%i%p1%d;%p2%dH";
  s.sgr0 = "\x1b(B\x1b[m";
  s.setaf = "\x1b[%?%p1%{8}%<%t3%p1%d%e%p1%{16}%<%t9%p1%{8}%-%d%e38;5;%p1%d%;m";
  s.setab = "\x1b[%?%p1%{8}%<%t4%p1%d%e%p1%{16}%<%t10%p1%{8}%-%d%e48;5;%p1%d%;m";
  s.bold = "\x1b[1m";
  s.rev = "\x1b[7m";
  s.civis = "\x1b[?25l";
  s.cnorm = "\x1b[?12l\x1b[?25h";
  s.ss = "\x1b[%p1%d q";
  s.csr = "\x1b[%i%p1%d;%p2%dr";
  s.ind = "\n";
  s.indn = "\x1b[%p1%dS";
  s.ri = "\x1bM";
  s.rin = "\x1b[%p1%dT";
  s.acsc = "``aaffggiijjkkllmmnnooppqqrrssttuuvvwwxxyyzz{{||}}~~";
  s.smacs = "\x1b(0";
  s.rmacs = "\x1b(B";
  s.colours = 256;
  s.charset = Charset::kUtf8;
  return s;
}

TerminalStrings::Charset CharsetOfLocale(std::string_view locale) {
  std::string l;
  for (char c : locale) {
    if (c == '-' || c == '_') continue;
    l += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  }
  std::size_t dot = l.find('.');
  std::string codeset = dot == std::string::npos ? std::string() : l.substr(dot + 1, l.find('@', dot) - dot - 1);
  if (codeset == "utf8") return TerminalStrings::Charset::kUtf8;
  if (codeset == "iso885915" || codeset == "latin9") return TerminalStrings::Charset::kLatin9;
  if (codeset == "iso88591" || codeset == "latin1") return TerminalStrings::Charset::kLatin1;
  return TerminalStrings::Charset::kAscii;
}

namespace {

// The VT100 line-drawing letter that shows a code page 850 byte, or 0.
char LineDrawingLetter(std::uint8_t byte) {
  switch (byte) {
    case 0xC4: case 0xCD: return 'q';  // ─ ═
    case 0xB3: case 0xBA: return 'x';  // │ ║
    case 0xDA: case 0xC9: return 'l';  // ┌ ╔
    case 0xBF: case 0xBB: return 'k';  // ┐ ╗
    case 0xC0: case 0xC8: return 'm';  // └ ╚
    case 0xD9: case 0xBC: return 'j';  // ┘ ╝
    case 0xC3: case 0xCC: return 't';  // ├ ╠
    case 0xB4: case 0xB9: return 'u';  // ┤ ╣
    case 0xC2: case 0xCB: return 'w';  // ┬ ╦
    case 0xC1: case 0xCA: return 'v';  // ┴ ╩
    case 0xC5: case 0xCE: return 'n';  // ┼ ╬
    case 0xB0: case 0xB1: case 0xB2: return 'a';  // shades
    case 0xDB: return '0';             // █
    case 0xF8: return 'f';             // °
    case 0xF1: return 'g';             // ±
    case 0x07: case 0xFA: return '~';  // bullet, middle dot
    default: return 0;
  }
}

}  // namespace

TerminalEncoder::TerminalEncoder(TerminalStrings strings) : s_(std::move(strings)) {
  if (!s_.smacs.empty() && !s_.rmacs.empty()) {
    for (std::size_t i = 0; i + 1 < s_.acsc.size(); i += 2) {
      unsigned char letter = static_cast<unsigned char>(s_.acsc[i]);
      unsigned char shown = static_cast<unsigned char>(s_.acsc[i + 1]);
      if (letter < 128 && shown >= 0x20 && shown < 0x7F) acs_map_[letter] = static_cast<char>(shown);
    }
  }
}

void TerminalEncoder::Invalidate() {
  row_ = column_ = attribute_ = visible_ = shape_ = acs_ = -1;
  before_last_.assign(before_last_.size(), -1);
}

void TerminalEncoder::SetTerminalSize(ScreenSize size) {
  if (size == size_) return;
  size_ = size;
  before_last_.assign(static_cast<std::size_t>(std::max(size.rows, 0)) + 1, -1);
}

void TerminalEncoder::SetAttribute(std::uint8_t attribute, std::string& out) {
  if (attribute == attribute_) return;
  out += AttributeSequence(attribute);
  attribute_ = attribute;
  // Turning all attributes off may or may not leave the line-drawing set.
  if (acs_ == 1) acs_ = -1;
}

bool TerminalEncoder::WriteCorner(const Cell& cell, std::string& out) {
  const int row = size_.rows;
  const int last = size_.columns;
  if (last < 2 || static_cast<std::size_t>(row) >= before_last_.size()) return false;
  const int kept = before_last_[static_cast<std::size_t>(row)];
  if (kept < 0) return false;
  const bool insert_mode = s_.ich1.empty() && s_.ich.empty();
  if (insert_mode && (s_.smir.empty() || s_.rmir.empty())) return false;
  // The corner's character goes in the next-to-last column ...
  MoveTo(row, last - 1, out);
  SetAttribute(cell.attribute, out);
  AppendGlyph(cell.character, out);
  // ... and its neighbour is inserted in front of it, which pushes it into the last column.
  column_ = -1;
  MoveTo(row, last - 1, out);
  if (!s_.ich1.empty()) {
    out += s_.ich1;
  } else if (!s_.ich.empty()) {
    out += Param(s_.ich, 1);
  } else {
    out += s_.smir;
  }
  SetAttribute(static_cast<std::uint8_t>(kept >> 8), out);
  AppendGlyph(static_cast<std::uint8_t>(kept & 0xFF), out);
  if (insert_mode) out += s_.rmir;
  column_ = -1;
  return true;
}

void TerminalEncoder::LineDrawing(bool on, std::string& out) {
  int want = on ? 1 : 0;
  if (acs_ == want) return;
  // Without line drawing there is nothing to switch off.
  if (!on && acs_ == -1 && acs_map_[static_cast<unsigned char>('q')] == 0) return;
  out += on ? s_.smacs : s_.rmacs;
  acs_ = want;
}

std::string TerminalEncoder::AttributeSequence(std::uint8_t attribute) const {
  int fg = attribute & 0x0F;
  int bg = attribute >> 4;
  std::string out = s_.sgr0;
  if (s_.colours >= 16) {
    out += Param(s_.setaf, AnsiColour(fg));
    out += Param(s_.setab, AnsiColour(bg));
  } else if (s_.colours >= 8) {
    // Eight colours: a bright foreground is the bold form, a bright background its dark form.
    if (fg & 8) out += s_.bold;
    out += Param(s_.setaf, AnsiColour(fg & 7));
    out += Param(s_.setab, AnsiColour(bg & 7));
  } else {
    // No colours: bright text as bold, a background lighter than the text as reverse video.
    if (fg & 8) out += s_.bold;
    static constexpr int kLightness[8] = {0, 1, 3, 4, 2, 3, 5, 6};
    int fl = kLightness[fg & 7] + ((fg & 8) ? 4 : 0);
    int bl = kLightness[bg & 7] + ((bg & 8) ? 4 : 0);
    if (bl > fl) out += s_.rev;
  }
  return out;
}

void TerminalEncoder::MoveTo(int row, int column, std::string& out) {
  if (row == row_ && column == column_) return;
  out += Param(s_.cup, row - 1, column - 1);
  row_ = row;
  column_ = column;
}

void TerminalEncoder::AppendGlyph(std::uint8_t byte, std::string& out) {
  using Charset = TerminalStrings::Charset;
  if (s_.charset == Charset::kUtf8) {
    AppendUtf8(out, CellGlyph(byte));
    return;
  }
  char32_t c = CellGlyph(byte);
  if (c >= 0x20 && c < 0x7F) {
    LineDrawing(false, out);
    out += static_cast<char>(c);
    return;
  }
  if (s_.charset == Charset::kLatin1 || s_.charset == Charset::kLatin9) {
    // ISO 8859-15 puts the euro sign and a few letters where 8859-1 has signs.
    static constexpr char32_t kNotInLatin9[] = {0xA4, 0xA6, 0xA8, 0xB4, 0xB8, 0xBC, 0xBD, 0xBE};
    bool latin9 = s_.charset == Charset::kLatin9;
    int single = -1;
    if (latin9 && c == 0x20AC) {
      single = 0xA4;
    } else if (c >= 0xA0 && c <= 0xFF) {
      single = static_cast<int>(c);
      if (latin9) {
        for (char32_t x : kNotInLatin9) {
          if (c == x) single = -1;
        }
      }
    }
    if (single >= 0) {
      LineDrawing(false, out);
      out += static_cast<char>(single);
      return;
    }
  }
  char letter = LineDrawingLetter(byte);
  if (letter != 0 && acs_map_[static_cast<unsigned char>(letter)] != 0) {
    LineDrawing(true, out);
    out += acs_map_[static_cast<unsigned char>(letter)];
    return;
  }
  LineDrawing(false, out);
  out += AsciiGlyph(byte);
}

void TerminalEncoder::WriteCells(int row, int column, std::span<const Cell> cells, int last_column,
                                 std::string& out) {
  for (std::size_t i = 0; i < cells.size(); ++i) {
    int c = column + static_cast<int>(i);
    if (c > last_column) break;
    if (s_.corner_scrolls && row == size_.rows && c == size_.columns) {
      WriteCorner(cells[i], out);
      continue;
    }
    MoveTo(row, c, out);
    SetAttribute(cells[i].attribute, out);
    AppendGlyph(cells[i].character, out);
    if (c == size_.columns - 1 && row >= 1 && static_cast<std::size_t>(row) < before_last_.size()) {
      before_last_[static_cast<std::size_t>(row)] = cells[i].character | (cells[i].attribute << 8);
    }
    // Automatic margins are off, so the cursor stays on the last column after writing there;
    // terminals differ, so its place is taken as unknown.
    column_ = c < last_column ? c + 1 : -1;
  }
}

bool TerminalEncoder::ScrollRows(int top, int bottom, int lines, int terminal_rows, std::string& out) {
  if (s_.csr.empty() || lines == 0 || top < 1 || bottom > terminal_rows || top >= bottom) return false;
  int n = lines > 0 ? lines : -lines;
  const std::string& many = lines > 0 ? s_.indn : s_.rin;
  const std::string& one = lines > 0 ? s_.ind : s_.ri;
  if (many.empty() && one.empty()) return false;
  // Lines uncovered are filled in the attribute in force on some terminals: take all off first
  // so that nothing coloured appears beyond the program's columns.
  out += s_.sgr0;
  attribute_ = -1;
  out += Param(s_.csr, top - 1, bottom - 1);
  // Setting the region homes the cursor; the scroll works from the region's edge.
  out += Param(s_.cup, (lines > 0 ? bottom : top) - 1, 0);
  if (!many.empty()) {
    out += Param(many, n);
  } else {
    for (int i = 0; i < n; ++i) out += one;
  }
  out += Param(s_.csr, 0, terminal_rows - 1);
  row_ = column_ = -1;
  // The remembered next-to-last cells move with their rows; uncovered rows are unknown.
  if (static_cast<std::size_t>(bottom) < before_last_.size()) {
    std::vector<int> moved(before_last_);
    for (int r = top; r <= bottom; ++r) {
      int from = r + lines;
      moved[static_cast<std::size_t>(r)] = from >= top && from <= bottom ? before_last_[static_cast<std::size_t>(from)] : -1;
    }
    before_last_ = std::move(moved);
  }
  return true;
}

void TerminalEncoder::PlaceCursor(const CursorState& cursor, std::string& out) {
  if (cursor.visible) {
    int shape = cursor.height < 75 ? 4 : 2;  // underline for low heights, block for high ones
    if (shape != shape_ && !s_.ss.empty()) {
      out += Param(s_.ss, shape);
      shape_ = shape;
    }
  }
  MoveTo(cursor.row, cursor.column, out);
  int visible = cursor.visible ? 1 : 0;
  if (visible != visible_) {
    out += cursor.visible ? s_.cnorm : s_.civis;
    visible_ = visible;
  }
}

}  // namespace tui
