#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/tui/console/console_test_support.h"
#include "tui/console/console.h"
#include "tui/console/glyphs.h"
#include "tui/console/process.h"
#include "tui/console/terminal_backend.h"
#include "tui/console/terminal_output.h"
#include "values/cp850.h"

namespace tui {
namespace {

// ---- Glyphs ------------------------------------------------------------------------------

TEST(CellGlyphTest, ControlBytesShowAsPcGlyphs) {
  const std::pair<int, char32_t> cases[] = {
      {0x00, U' '}, {0x01, U'\u263A'}, {0x07, U'\u2022'}, {0x0A, U'\u25D9'}, {0x0D, U'\u266A'},
      {0x10, U'\u25BA'}, {0x11, U'\u25C4'}, {0x1B, U'\u2190'}, {0x1E, U'\u25B2'}, {0x1F, U'\u25BC'},
      {0x7F, U'\u2302'}, {0xD5, U'\u20AC'}, {0x82, U'\u00E9'}, {0xC9, U'\u2554'}, {'A', U'A'},
  };
  for (auto [byte, glyph] : cases) {
    EXPECT_EQ(CellGlyph(static_cast<std::uint8_t>(byte)), glyph) << byte;
  }
}

// No byte a cell can hold is ever shown as a control character.
TEST(CellGlyphTest, NoByteIsAControlCharacter) {
  for (int b = 0; b < 256; ++b) {
    char32_t g = CellGlyph(static_cast<std::uint8_t>(b));
    EXPECT_TRUE(g >= 0x20 && !(g >= 0x7F && g < 0xA0)) << b;
    char a = AsciiGlyph(static_cast<std::uint8_t>(b));
    EXPECT_TRUE(a >= 0x20 && a < 0x7F) << b;
  }
}

TEST(CellGlyphTest, AsciiForms) {
  const std::pair<int, char> cases[] = {
      {0x82, 'e'}, {0x87, 'c'}, {0x85, 'a'}, {0x80, 'C'}, {0xA4, 'n'}, {0xB7, 'A'}, {0xD4, 'E'}, {0xE3, 'O'},
      {0xC9, '+'}, {0xCD, '-'}, {0xBA, '|'}, {0xB3, '|'}, {0xC4, '-'}, {0xDA, '+'}, {0xDB, '#'}, {0x10, '>'},
      {0x11, '<'}, {0xD5, 'E'}, {0x00, ' '},
  };
  for (auto [byte, c] : cases) EXPECT_EQ(AsciiGlyph(static_cast<std::uint8_t>(byte)), c) << byte;
}

// The clipboard's text crosses to the outside world in UTF-8, with D5 as the euro sign both
// ways.
TEST(ClipboardTextTest, CodePage850ToUtf8AndBack) {
  const std::pair<std::string, std::string> cases[] = {
      {"Pla\x87" "a", "Pla\xc3\xa7" "a"},
      {"12\xD5", "12\xe2\x82\xac"},
      {"\x82\x85\xB7\xD4\xE3", "\xc3\xa9\xc3\xa0\xc3\x80\xc3\x88\xc3\x92"},
      {"a\tb\r\n", "a\tb\r\n"},
      {"", ""},
  };
  for (const auto& [cp850, utf8] : cases) {
    EXPECT_EQ(TextToUtf8(cp850), utf8);
    EXPECT_EQ(Utf8ToText(utf8), cp850);
  }
  EXPECT_EQ(TextToUtf8("\x10\x11"), "\xe2\x96\xba\xe2\x97\x84");
  EXPECT_EQ(Utf8ToText("x\xe4\xb8\xad" "y"), "x?y");          // no byte for it
  EXPECT_EQ(Utf8ToText("x\xc3" "y\xff\xe2\x82"), "xy");        // broken UTF-8 dropped
}

// ---- Encoder -------------------------------------------------------------------------------

TEST(TerminalEncoderTest, PcColoursInTheTerminalsOrder) {
  const int expected[16] = {0, 4, 2, 6, 1, 5, 3, 7, 8, 12, 10, 14, 9, 13, 11, 15};
  for (int pc = 0; pc < 16; ++pc) EXPECT_EQ(AnsiColour(pc), expected[pc]) << pc;
}

TEST(TerminalEncoderTest, AttributeSequences) {
  TerminalStrings s = TerminalStrings::Xterm();
  const std::string sgr0 = "\x1b(B\x1b[m";
  struct Case {
    int colours;
    std::uint8_t attribute;
    std::string expected;
  } cases[] = {
      {256, 0x1E, sgr0 + "\x1b[93m\x1b[44m"},  // yellow on blue
      {256, 0x07, sgr0 + "\x1b[37m\x1b[40m"},
      {16, 0xF0, sgr0 + "\x1b[30m\x1b[107m"},  // bright white background
      {8, 0x1E, sgr0 + "\x1b[1m\x1b[33m\x1b[44m"},  // bright foreground as bold
      {8, 0xC7, sgr0 + "\x1b[37m\x1b[41m"},  // bright red background as red
      {0, 0x70, sgr0 + "\x1b[7m"},  // light background: reverse
      {0, 0x0F, sgr0 + "\x1b[1m"},
      {0, 0x07, sgr0},
  };
  for (const auto& c : cases) {
    s.colours = c.colours;
    TerminalEncoder e(s);
    EXPECT_EQ(e.AttributeSequence(c.attribute), c.expected) << c.colours << " " << int(c.attribute);
  }
}

TEST(TerminalEncoderTest, MovesOnlyWhenNeededAndChangesAttributesOnlyWhenDifferent) {
  TerminalEncoder e(TerminalStrings::Xterm());
  std::string out;
  std::vector<Cell> run = {{'a', 0x07}, {'b', 0x07}, {0x82, 0x1E}};
  e.WriteCells(3, 5, run, 80, out);
  EXPECT_EQ(out, "\x1b[3;5H\x1b(B\x1b[m\x1b[37m\x1b[40m" "ab\x1b(B\x1b[m\x1b[93m\x1b[44m\xc3\xa9");
  out.clear();
  std::vector<Cell> next = {{'c', 0x1E}};
  e.WriteCells(3, 8, next, 80, out);  // right where the cursor is, same attribute
  EXPECT_EQ(out, "c");
  out.clear();
  e.WriteCells(4, 1, next, 80, out);
  EXPECT_EQ(out, "\x1b[4;1Hc");
  out.clear();
  e.PlaceCursor({4, 2, true, 50}, out);  // already there; shape and visibility first time
  EXPECT_EQ(out, "\x1b[4 q\x1b[?12l\x1b[?25h");
  out.clear();
  e.PlaceCursor({4, 2, true, 99}, out);
  EXPECT_EQ(out, "\x1b[2 q");
  out.clear();
  e.PlaceCursor({1, 1, false, 99}, out);
  EXPECT_EQ(out, "\x1b[1;1H\x1b[?25l");
}

// Whatever the cells hold, no byte below 20 hexadecimal other than the ESC of the encoder's
// own sequences reaches the terminal.
TEST(TerminalEncoderTest, CellContentsNeverBecomeControlCharacters) {
  for (bool utf8 : {true, false}) {
    TerminalStrings s = TerminalStrings::Xterm();
    s.charset = utf8 ? TerminalStrings::Charset::kUtf8 : TerminalStrings::Charset::kAscii;
    s.acsc.clear();
    TerminalEncoder e(s);
    std::vector<Cell> cells;
    for (int b = 0; b < 256; ++b) cells.push_back(Cell{static_cast<std::uint8_t>(b), 0x07});
    std::string out;
    e.WriteCells(1, 1, cells, 300, out);
    std::string prefix = "\x1b[1;1H\x1b(B\x1b[m\x1b[37m\x1b[40m";
    ASSERT_EQ(out.substr(0, prefix.size()), prefix);
    std::string body = out.substr(prefix.size());
    for (unsigned char c : body) EXPECT_FALSE(c < 0x20 || c == 0x7F) << int(c);
    // One character for every cell, in either form.
    std::size_t characters = utf8 ? values::Utf8ToCp850(body).size() : body.size();
    EXPECT_EQ(characters, 256u);
  }
}

TEST(TerminalEncoderTest, CharacterSetsWithoutUtf8) {
  using Charset = TerminalStrings::Charset;
  // Frame corner, horizontal line, é, €, ç, a letter, the right pointer.
  const std::string cells = "\xC9\xCD\x82\xD5\x87" "a\x10";
  struct Case {
    Charset charset;
    bool line_drawing;
    std::string expected;
  } cases[] = {
      {Charset::kUtf8, true, "\xe2\x95\x94\xe2\x95\x90\xc3\xa9\xe2\x82\xac\xc3\xa7" "a\xe2\x96\xba"},
      {Charset::kLatin1, true, "\x1b(0lq\x1b(B\xe9" "E\xe7" "a>"},
      {Charset::kLatin9, true, "\x1b(0lq\x1b(B\xe9\xa4\xe7" "a>"},
      {Charset::kAscii, true, "\x1b(0lq\x1b(B" "eEca>"},
      {Charset::kAscii, false, "+-eEca>"},
  };
  for (const auto& c : cases) {
    TerminalStrings s = TerminalStrings::Xterm();
    s.charset = c.charset;
    if (!c.line_drawing) s.acsc.clear();
    TerminalEncoder e(s);
    std::vector<Cell> row;
    for (char ch : cells) row.push_back(Cell{static_cast<std::uint8_t>(ch), 0x07});
    std::string out;
    e.WriteCells(1, 1, row, 80, out);
    std::string prefix = "\x1b[1;1H" + e.AttributeSequence(0x07);
    ASSERT_EQ(out.substr(0, prefix.size()), prefix);
    EXPECT_EQ(out.substr(prefix.size()), c.expected) << static_cast<int>(c.charset) << c.line_drawing;
  }
}

TEST(TerminalEncoderTest, CharsetOfTheLocale) {
  using Charset = TerminalStrings::Charset;
  const std::pair<const char*, Charset> cases[] = {
      {"ca_ES.UTF-8", Charset::kUtf8},         {"C.UTF-8", Charset::kUtf8},
      {"es_ES.utf8", Charset::kUtf8},          {"ca_ES.UTF-8@valencia", Charset::kUtf8},
      {"es_ES.ISO-8859-1", Charset::kLatin1},  {"ca_ES.ISO8859-15@euro", Charset::kLatin9},
      {"gl_ES.iso885915", Charset::kLatin9},   {"C", Charset::kAscii},
      {"POSIX", Charset::kAscii},              {"", Charset::kAscii},
      {"ja_JP.eucJP", Charset::kAscii},
  };
  for (auto [locale, charset] : cases) EXPECT_EQ(CharsetOfLocale(locale), charset) << locale;
}

TEST(TerminalEncoderTest, ScrollingRegion) {
  TerminalEncoder e(TerminalStrings::Xterm());
  std::string out;
  ASSERT_TRUE(e.ScrollRows(5, 21, 1, 25, out));
  EXPECT_EQ(out, "\x1b(B\x1b[m\x1b[5;21r\x1b[21;1H\x1b[1S\x1b[1;25r");
  out.clear();
  ASSERT_TRUE(e.ScrollRows(5, 21, -2, 25, out));
  EXPECT_EQ(out, "\x1b(B\x1b[m\x1b[5;21r\x1b[5;1H\x1b[2T\x1b[1;25r");
  TerminalStrings without = TerminalStrings::Xterm();
  without.indn.clear();
  TerminalEncoder one_by_one(without);
  out.clear();
  ASSERT_TRUE(one_by_one.ScrollRows(1, 3, 2, 25, out));
  EXPECT_EQ(out, "\x1b(B\x1b[m\x1b[1;3r\x1b[3;1H\n\n\x1b[1;25r");
  without.csr.clear();
  TerminalEncoder none(without);
  out.clear();
  EXPECT_FALSE(none.ScrollRows(1, 3, 1, 25, out));
  EXPECT_FALSE(e.ScrollRows(3, 3, 1, 25, out));
  EXPECT_FALSE(e.ScrollRows(1, 26, 1, 25, out));
  EXPECT_EQ(out, "");
}

TEST(TerminalEncoderTest, TheLastColumnLeavesThePositionUnknown) {
  TerminalEncoder e(TerminalStrings::Xterm());
  std::string out;
  std::vector<Cell> one = {{'x', 0x07}};
  e.WriteCells(25, 80, one, 80, out);
  out.clear();
  e.WriteCells(25, 81, one, 80, out);  // past the last column: nothing
  EXPECT_EQ(out, "");
  e.PlaceCursor({25, 81, false, 25}, out);
  EXPECT_NE(out.find("\x1b[25;81H"), std::string::npos);
}

// A terminal with automatic margins and no delayed wrap, as the "ansi" entry describes one:
// writing the last column moves the cursor to the next row at once, and on the last row that
// scrolls the screen. It understands what the encoder sends such a terminal.
class CornerScrollingTerminal {
 public:
  CornerScrollingTerminal(int rows, int columns) : rows_(rows), columns_(columns), cells_(rows, std::string(columns, ' ')) {}

  void Feed(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      unsigned char b = static_cast<unsigned char>(bytes[i]);
      if (b == 0x1B && i + 1 < bytes.size() && bytes[i + 1] == '[') {
        std::size_t end = i + 2;
        while (end < bytes.size() && !(bytes[end] >= 0x40 && bytes[end] <= 0x7E)) ++end;
        Csi(bytes.substr(i + 2, end - i - 2), end < bytes.size() ? bytes[end] : 0);
        i = end;
      } else if (b == 0x1B) {
        ++i;  // ESC ( B and the like: a character set, nothing to show
        if (i < bytes.size() && (bytes[i] == '(' || bytes[i] == ')')) ++i;
      } else if (b == '\n') {
        LineFeed();
      } else if (b == '\r') {
        column_ = 0;
      } else if (b >= 0x20 && (b & 0xC0) != 0x80) {
        Put(b < 0x80 ? static_cast<char>(b) : '?');  // a UTF-8 lead byte stands for its character
      }
    }
  }
  std::string Row(int row) const { return cells_[static_cast<std::size_t>(row - 1)]; }
  int Scrolls() const { return scrolls_; }

 private:
  void LineFeed() {
    if (row_ + 1 < rows_) {
      ++row_;
      return;
    }
    cells_.erase(cells_.begin());
    cells_.push_back(std::string(static_cast<std::size_t>(columns_), ' '));
    ++scrolls_;
  }
  void Put(char c) {
    std::string& line = cells_[static_cast<std::size_t>(row_)];
    if (insert_) {
      line.insert(line.begin() + column_, c);
      line.pop_back();
    } else {
      line[static_cast<std::size_t>(column_)] = c;
    }
    if (++column_ == columns_) {
      column_ = 0;
      LineFeed();
    }
  }
  void Csi(std::string_view params, char final) {
    std::vector<int> n;
    int value = 0;
    bool any = false;
    for (char c : params) {
      if (c >= '0' && c <= '9') {
        value = value * 10 + (c - '0');
        any = true;
      } else if (c == ';') {
        n.push_back(any ? value : 0);
        value = 0;
        any = false;
      }
    }
    n.push_back(any ? value : 0);
    bool private_mode = !params.empty() && params[0] == '?';
    switch (final) {
      case 'H':
        row_ = std::clamp(n[0] > 0 ? n[0] - 1 : 0, 0, rows_ - 1);
        column_ = std::clamp(n.size() > 1 && n[1] > 0 ? n[1] - 1 : 0, 0, columns_ - 1);
        break;
      case 'J':
        for (std::string& line : cells_) line.assign(static_cast<std::size_t>(columns_), ' ');
        break;
      case '@': {
        std::string& line = cells_[static_cast<std::size_t>(row_)];
        for (int k = 0; k < std::max(n[0], 1); ++k) {
          line.insert(line.begin() + column_, ' ');
          line.pop_back();
        }
        break;
      }
      case 'h':
      case 'l':
        if (!private_mode && n[0] == 4) insert_ = final == 'h';
        break;
      default:
        break;  // attributes, cursor visibility: nothing to model
    }
  }

  int rows_;
  int columns_;
  std::vector<std::string> cells_;
  int row_ = 0;
  int column_ = 0;
  bool insert_ = false;
  int scrolls_ = 0;
};

TEST(TerminalEncoderTest, TheCornerOfATerminalThatWouldScrollIsDrawnByInsertion) {
  TerminalStrings s = TerminalStrings::Xterm();
  s.corner_scrolls = true;
  s.ich1.clear();
  s.ich = "\x1b[%p1%d@";
  for (bool with_ich : {true, false}) {
    SCOPED_TRACE(with_ich ? "insert character" : "insert mode");
    if (!with_ich) {
      s.ich.clear();
      s.smir = "\x1b[4h";
      s.rmir = "\x1b[4l";
    }
    TerminalEncoder e(s);
    e.SetTerminalSize({3, 10});
    CornerScrollingTerminal term(3, 10);
    std::string out;
    std::vector<Cell> top = {{'t', 7}, {'o', 7}, {'p', 7}};
    e.WriteCells(1, 1, top, 10, out);
    std::vector<Cell> last_row;
    for (char c : std::string("abcdefghij")) last_row.push_back({static_cast<std::uint8_t>(c), 7});
    e.WriteCells(3, 1, last_row, 10, out);
    term.Feed(out);
    EXPECT_EQ(term.Scrolls(), 0);
    EXPECT_EQ(term.Row(1), "top       ");
    EXPECT_EQ(term.Row(3), "abcdefghij");
    // The corner alone changes: its neighbour comes from what was written there before.
    out.clear();
    std::vector<Cell> corner = {{'Z', 7}};
    e.WriteCells(3, 10, corner, 10, out);
    term.Feed(out);
    EXPECT_EQ(term.Scrolls(), 0);
    EXPECT_EQ(term.Row(3), "abcdefghiZ");
    // Forgotten after a reset of what the terminal shows: the corner is left for the redraw.
    e.Invalidate();
    out.clear();
    e.WriteCells(3, 10, corner, 10, out);
    EXPECT_EQ(out, "");
  }
  // Without any way to insert the corner is left alone; a terminal whose corner does not
  // scroll gets it written in place.
  s.smir.clear();
  TerminalEncoder none(s);
  none.SetTerminalSize({3, 10});
  std::string out;
  std::vector<Cell> two = {{'y', 7}, {'z', 7}};
  none.WriteCells(3, 9, two, 10, out);
  EXPECT_EQ(out.find('z'), std::string::npos) << out;
  TerminalEncoder xterm(TerminalStrings::Xterm());
  xterm.SetTerminalSize({3, 10});
  out.clear();
  xterm.WriteCells(3, 9, two, 10, out);
  EXPECT_NE(out.find("yz"), std::string::npos) << out;
}

// ---- Logical screen size -------------------------------------------------------------------

TEST(LogicalScreenSizeTest, EightyColumnsAndTwentyFourOrTwentyFiveRows) {
  const std::pair<ScreenSize, ScreenSize> cases[] = {
      {{24, 80}, {24, 80}}, {{25, 80}, {25, 80}}, {{50, 200}, {25, 80}}, {{30, 100}, {25, 80}},
      {{23, 80}, {0, 0}},   {{24, 79}, {0, 0}},   {{0, 0}, {0, 0}},
  };
  for (auto [terminal, logical] : cases) {
    EXPECT_EQ(LogicalScreenSize(terminal), logical) << terminal.rows << "x" << terminal.columns;
  }
}

// ---- The terminal back end on a pseudo-terminal ----------------------------------------------

class PtyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    winsize ws{};
    ws.ws_row = 25;
    ws.ws_col = 80;
    ASSERT_EQ(::openpty(&master_, &slave_, nullptr, nullptr, &ws), 0);
    ::tcgetattr(slave_, &before_);
  }
  void TearDown() override {
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
  }
  std::unique_ptr<Console> Open(const char* term = "xterm-256color") {
    TerminalOptions o;
    o.input_fd = slave_;
    o.output_fd = slave_;
    o.term = term;
    o.install_signal_handlers = false;
    o.use_system_clipboard = false;
    std::string error;
    Backend b = MakeTerminalBackend(o, &error);
    EXPECT_TRUE(b.display) << error;
    if (!b.display) return nullptr;
    return std::make_unique<Console>(std::move(b));
  }
  // Everything the program wrote so far.
  std::string Drain() {
    std::string out;
    char buf[4096];
    while (true) {
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) break;
      ssize_t n = ::read(master_, buf, sizeof buf);
      if (n <= 0) break;
      out.append(buf, static_cast<std::size_t>(n));
    }
    return out;
  }
  void Type(std::string_view bytes) { ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size())); }
  KeyCode NextKey(Console& con) {
    for (int i = 0; i < 200; ++i) {
      KeyEvent e;
      con.ReadKey(e);
      if (e.key != 0) return e.key;
      con.WaitForInput(10);
    }
    return 0;
  }

  int master_ = -1;
  int slave_ = -1;
  termios before_{};
};

TEST_F(PtyTest, RawModeWhileOpenAndRestoredAfter) {
  {
    auto con = Open();
    ASSERT_TRUE(con);
    termios now{};
    ::tcgetattr(slave_, &now);
    EXPECT_EQ(now.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(now.c_iflag & (IXON | ICRNL), 0u);
    std::string setup = Drain();
    EXPECT_NE(setup.find("\x1b[?1049h"), std::string::npos);  // alternate screen
    EXPECT_NE(setup.find("\x1b[?7l"), std::string::npos);     // no automatic margins
    // Ctrl+C, Ctrl+V, Ctrl+Y and Ctrl+S arrive as keys.
    Type("\x03\x16\x19\x13");
    EXPECT_EQ(NextKey(*con), 3);
    EXPECT_EQ(NextKey(*con), 22);
    EXPECT_EQ(NextKey(*con), 25);
    EXPECT_EQ(NextKey(*con), 19);
  }
  termios after{};
  ::tcgetattr(slave_, &after);
  EXPECT_EQ(after.c_lflag, before_.c_lflag);
  EXPECT_EQ(after.c_iflag, before_.c_iflag);
  std::string restore = Drain();
  EXPECT_NE(restore.find("\x1b[?1049l"), std::string::npos);
  EXPECT_NE(restore.find("\x1b[?7h"), std::string::npos);
  EXPECT_NE(restore.find("\x1b[?1000l"), std::string::npos);
}

TEST_F(PtyTest, LoneEscapeAndAltKeys) {
  auto con = Open();
  ASSERT_TRUE(con);
  Type("\x1b");
  EXPECT_EQ(NextKey(*con), 27);
  Type("\x1b" "f");
  EXPECT_EQ(NextKey(*con), key::kAltF);
  Type("\x1b[1;5P\x1b[24;2~");
  EXPECT_EQ(NextKey(*con), key::kCtrlF1);
  EXPECT_EQ(NextKey(*con), key::kShiftF12);
  Type("\x1b" "2\x1b" "6\x1b" "5x");
  EXPECT_EQ(NextKey(*con), 9);
  EXPECT_EQ(NextKey(*con), 'x');
}

TEST_F(PtyTest, OnlyChangedCellsAreWritten) {
  auto con = Open();
  ASSERT_TRUE(con);
  con->Flush();
  Drain();
  con->Locate(5, 10);
  con->Print("ab");
  con->Flush();
  std::string out = Drain();
  EXPECT_NE(out.find("\x1b[5;10H"), std::string::npos);
  EXPECT_NE(out.find("ab"), std::string::npos);
  EXPECT_LT(out.size(), 40u) << out;
  con->Locate(5, 10);
  con->Print("ab");
  con->Flush();
  EXPECT_EQ(Drain().find("ab"), std::string::npos);
}

TEST_F(PtyTest, ResizeIsReadAtTheNextSizeQuery) {
  auto con = Open();
  ASSERT_TRUE(con);
  EXPECT_EQ(con->ScreenRows(), 25);
  EXPECT_EQ(con->ScreenCols(), 80);
  winsize ws{};
  ws.ws_row = 24;
  ws.ws_col = 132;
  ASSERT_EQ(::ioctl(master_, TIOCSWINSZ, &ws), 0);
  EXPECT_EQ(con->ScreenRows(), 24);
  EXPECT_EQ(con->ScreenCols(), 80);
  ws.ws_row = 10;
  ws.ws_col = 40;
  ASSERT_EQ(::ioctl(master_, TIOCSWINSZ, &ws), 0);
  Drain();
  con->Flush();
  std::string notice = Drain();
  EXPECT_NE(notice.find("La pantalla ha de tenir com a minim 80 x"), std::string::npos) << notice;
  EXPECT_NE(notice.find("24 (ara 40 x 10)"), std::string::npos) << notice;
  EXPECT_EQ(con->ScreenRows(), 24);  // the program keeps drawing on its screen meanwhile
}

TEST_F(PtyTest, TheNoticeIsInTheSessionLanguage) {
  auto con = Open();
  ASSERT_TRUE(con);
  con->SetLanguage("SPA");
  winsize ws{};
  ws.ws_row = 10;
  ws.ws_col = 70;
  ASSERT_EQ(::ioctl(master_, TIOCSWINSZ, &ws), 0);
  Drain();
  con->Flush();
  EXPECT_NE(Drain().find("La pantalla debe tener como minimo 80 x 24 (ahora 70 x 10)"), std::string::npos);
  con->SetLanguage("OCI");  // a notice on the screen changes with the language
  con->Flush();
  EXPECT_NE(Drain().find("Era pantalha a de auer coma minim 80 x 24 (ara 70 x 10)"), std::string::npos);
}

// The "ansi" terminal cannot turn its automatic margins off: the bottom-right cell of the
// screen is drawn without scrolling it, first in the full drawing and then alone.
TEST_F(PtyTest, TheBottomRightCellDoesNotScrollAnAnsiTerminal) {
  auto con = Open("ansi");
  ASSERT_TRUE(con);
  con->Locate(1, 1);
  con->Print("first row");
  con->Locate(25, 71);
  con->Print("0123456789");
  con->Flush();
  CornerScrollingTerminal term(25, 80);
  term.Feed(Drain());
  EXPECT_EQ(term.Scrolls(), 0);
  EXPECT_EQ(term.Row(1).substr(0, 9), "first row");
  EXPECT_EQ(term.Row(25).substr(70), "0123456789");
  con->Locate(25, 80);
  con->Print("X");
  con->Flush();
  term.Feed(Drain());
  EXPECT_EQ(term.Scrolls(), 0);
  EXPECT_EQ(term.Row(25).substr(70), "012345678X");
  EXPECT_EQ(term.Row(1).substr(0, 9), "first row");
}

TEST_F(PtyTest, SuspendGivesTheTerminalBackAndResumeRedraws) {
  auto con = Open();
  ASSERT_TRUE(con);
  con->Locate(3, 3);
  con->Print("kept");
  con->Flush();
  Drain();
  con->Suspend();
  termios now{};
  ::tcgetattr(slave_, &now);
  EXPECT_EQ(now.c_lflag, before_.c_lflag);
  EXPECT_NE(Drain().find("\x1b[?1049l"), std::string::npos);
  con->Locate(4, 4);
  con->Print("late");  // drawn while suspended: shown after the resume
  con->Flush();
  EXPECT_EQ(Drain(), "");
  con->Resume();
  ::tcgetattr(slave_, &now);
  EXPECT_EQ(now.c_lflag & (ICANON | ECHO | ISIG), 0u);
  std::string redraw = Drain();
  EXPECT_NE(redraw.find("\x1b[?1049h"), std::string::npos);
  EXPECT_NE(redraw.find("kept"), std::string::npos);
  EXPECT_NE(redraw.find("late"), std::string::npos);
}

TEST_F(PtyTest, FlushKeysDiscardsWhatWasTyped) {
  auto con = Open();
  ASSERT_TRUE(con);
  Type("abc\x1b[A");
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  con->FlushKeys();
  Type("z");
  EXPECT_EQ(NextKey(*con), 'z');
}

TEST(TerminalBackendTest, NotATerminalIsRefused) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  TerminalOptions o;
  o.input_fd = fds[0];
  o.output_fd = fds[1];
  o.install_signal_handlers = false;
  std::string error;
  Backend b = MakeTerminalBackend(o, &error);
  EXPECT_FALSE(b.display);
  EXPECT_EQ(error, "not a terminal");
  ::close(fds[0]);
  ::close(fds[1]);
}

}  // namespace
}  // namespace tui

namespace tui {
namespace {

// ---- Helper programs (the clipboard tools) ---------------------------------------------------

TEST(RunCapturedTest, OutputOfAProgramThatSucceeds) {
  EXPECT_EQ(RunCaptured({"cat"}, "Pla\xc3\xa7" "a", 5000), std::optional<std::string>("Pla\xc3\xa7" "a"));
  EXPECT_EQ(RunCaptured({"printf", "%s", "abc"}, {}, 5000), std::optional<std::string>("abc"));
  std::optional<std::string> big = RunCaptured({"head", "-c", "100000", "/dev/zero"}, {}, 5000, 1000);
  ASSERT_TRUE(big);
  EXPECT_EQ(big->size(), 1000u);  // kept to the limit
}

TEST(RunCapturedTest, FailuresGiveNothing) {
  EXPECT_FALSE(RunCaptured({}, {}, 1000));
  EXPECT_FALSE(RunCaptured({"false"}, {}, 5000));
  EXPECT_FALSE(RunCaptured({"modcarta-no-such-program"}, {}, 5000));
  // A program that does not end in time is stopped.
  EXPECT_FALSE(RunCaptured({"sleep", "10"}, {}, 100));
}

TEST(RunCapturedTest, ProgramsOnThePath) {
  EXPECT_TRUE(ProgramOnPath("sh"));
  EXPECT_FALSE(ProgramOnPath("modcarta-no-such-program"));
  EXPECT_FALSE(ProgramOnPath("/bin/sh"));
  EXPECT_FALSE(ProgramOnPath(""));
}

}  // namespace
}  // namespace tui
