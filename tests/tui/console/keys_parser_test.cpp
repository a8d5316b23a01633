#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tui/console/key_parser.h"

namespace tui {
namespace {

namespace m = modifier;
using Status = ParseResult::Status;

InputEvent Scan(unsigned code, unsigned mods = 0) { return InputEvent::Key(KeyFromHex(code), mods); }
InputEvent Char(unsigned c, unsigned mods = 0) { return InputEvent::Char(static_cast<std::uint8_t>(c), mods); }

std::string Printable(std::string_view bytes) {
  std::string out;
  for (unsigned char b : bytes) {
    if (b == 0x1B) {
      out += "ESC ";
    } else if (b < 0x20 || b >= 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02x ", b);
      out += buf;
    } else {
      out += static_cast<char>(b);
      out += ' ';
    }
  }
  return out;
}

struct EventCase {
  std::string bytes;
  InputEvent event;
};

// Every sequence on its own, complete: one event that takes all the bytes.
TEST(KeyParserTest, SequencesToEvents) {
  const EventCase cases[] = {
      // Characters.
      {"a", Char('a')},
      {"\r", Char(13)},
      {"\t", Char(9)},
      {"\x7f", Char(8)},
      {"\x08", Char(8)},
      {"\x03", Char(3)},    // Ctrl+C
      {"\x16", Char(22)},   // Ctrl+V
      {"\x19", Char(25)},   // Ctrl+Y
      {"\xc3\xa9", Char(0x82)},  // é
      {"\xc3\xa7", Char(0x87)},  // ç
      {"\xc3\xa0", Char(0x85)},  // à
      {"\xc3\x80", Char(0xB7)},  // À
      {"\xc2\xb7", Char(0xFA)},  // ·
      {"\xe2\x82\xac", Char(0xD5)},  // €
      // Cursor keys, plain and with modifiers.
      {"\x1b[A", Scan(0x4800)},
      {"\x1b[B", Scan(0x5000)},
      {"\x1b[C", Scan(0x4D00)},
      {"\x1b[D", Scan(0x4B00)},
      {"\x1bOA", Scan(0x4800)},
      {"\x1bOD", Scan(0x4B00)},
      {"\x1b[1;5D", Scan(0x4B00, m::kLeftCtrl)},
      {"\x1b[1;5C", Scan(0x4D00, m::kLeftCtrl)},
      {"\x1b[1;2A", Scan(0x4800, m::kShift)},
      {"\x1b[1;6B", Scan(0x5000, m::kShift | m::kLeftCtrl)},
      {"\x1b[1;7C", Scan(0x4D00, m::kLeftAlt | m::kLeftCtrl)},
      {"\x1b[1;9A", Scan(0x4800, m::kLeftAlt)},  // Meta taken as Alt
      // Home and End in their three forms.
      {"\x1b[1~", Scan(0x4700)},
      {"\x1b[4~", Scan(0x4F00)},
      {"\x1b[H", Scan(0x4700)},
      {"\x1b[F", Scan(0x4F00)},
      {"\x1bOH", Scan(0x4700)},
      {"\x1bOF", Scan(0x4F00)},
      {"\x1b[7~", Scan(0x4700)},
      {"\x1b[8~", Scan(0x4F00)},
      {"\x1b[1;5H", Scan(0x4700, m::kLeftCtrl)},
      // Editing keys.
      {"\x1b[2~", Scan(0x5200)},
      {"\x1b[3~", Scan(0x5300)},
      {"\x1b[5~", Scan(0x4900)},
      {"\x1b[6~", Scan(0x5100)},
      {"\x1b[3;5~", Scan(0x5300, m::kLeftCtrl)},
      {"\x1b[E", Scan(0x4C00)},
      {"\x1bOE", Scan(0x4C00)},
      {"\x1b[Z", Scan(0x0F00, m::kShift)},
      // Function keys.
      {"\x1bOP", Scan(0x3B00)},
      {"\x1bOQ", Scan(0x3C00)},
      {"\x1bOR", Scan(0x3D00)},
      {"\x1bOS", Scan(0x3E00)},
      {"\x1b[1;2P", Scan(0x3B00, m::kShift)},
      {"\x1b[1;5P", Scan(0x3B00, m::kLeftCtrl)},
      {"\x1b[1;3S", Scan(0x3E00, m::kLeftAlt)},
      {"\x1bO5P", Scan(0x3B00, m::kLeftCtrl)},
      {"\x1bO1;2Q", Scan(0x3C00, m::kShift)},
      {"\x1b[15~", Scan(0x3F00)},
      {"\x1b[17~", Scan(0x4000)},
      {"\x1b[18~", Scan(0x4100)},
      {"\x1b[19~", Scan(0x4200)},
      {"\x1b[20~", Scan(0x4300)},
      {"\x1b[21~", Scan(0x4400)},
      {"\x1b[23~", Scan(0x8500)},
      {"\x1b[24~", Scan(0x8600)},
      {"\x1b[24;2~", Scan(0x8600, m::kShift)},
      {"\x1b[23;5~", Scan(0x8500, m::kLeftCtrl)},
      {"\x1b[15;3~", Scan(0x3F00, m::kLeftAlt)},
      {"\x1b[11~", Scan(0x3B00)},
      {"\x1b[14~", Scan(0x3E00)},
      // rxvt.
      {"\x1b[7^", Scan(0x4700, m::kLeftCtrl)},
      {"\x1b[11$", Scan(0x3B00, m::kShift)},
      {"\x1b[11^", Scan(0x3B00, m::kLeftCtrl)},
      {"\x1b[11@", Scan(0x3B00, m::kLeftCtrl | m::kShift)},
      {"\x1b[24$", Scan(0x8600, m::kShift)},
      {"\x1b[25~", Scan(0x3D00, m::kShift)},
      {"\x1b[34~", Scan(0x4400, m::kShift)},
      {"\x1b[a", Scan(0x4800, m::kShift)},
      {"\x1bOd", Scan(0x4B00, m::kLeftCtrl)},
      // Linux console.
      {"\x1b[[A", Scan(0x3B00)},
      {"\x1b[[E", Scan(0x3F00)},
      // Keypad in application mode.
      {"\x1bOp", Char('0')},
      {"\x1bOy", Char('9')},
      {"\x1bOk", Char('+')},
      {"\x1bOM", Char(13)},
      // Alt with letters: the PC scan code; with digits: the keypad key of the digit.
      {"\x1bx", Scan(0x2D00, m::kLeftAlt)},
      {"\x1b" "c", Scan(0x2E00, m::kLeftAlt)},
      {"\x1b" "e", Scan(0x1200, m::kLeftAlt)},
      {"\x1b" "f", Scan(0x2100, m::kLeftAlt)},
      {"\x1bq", Scan(0x1000, m::kLeftAlt)},
      {"\x1bm", Scan(0x3200, m::kLeftAlt)},
      {"\x1bX", Scan(0x2D00, m::kLeftAlt | m::kShift)},
      {"\x1b" "1", Scan(0x4F00, m::kLeftAlt)},
      {"\x1b" "0", Scan(0x5200, m::kLeftAlt)},
      {"\x1b" "5", Scan(0x4C00, m::kLeftAlt)},
      {"\x1b" "9", Scan(0x4900, m::kLeftAlt)},
      {"\x1b,", Char(',', m::kLeftAlt)},
      {"\x1b\xc3\xa9", Char(0x82, m::kLeftAlt)},
      {"\x1b\r", Char(13, m::kLeftAlt)},
      // Alt with the keypad, NumLock off.
      {"\x1b[2;3~", Scan(0x5200, m::kLeftAlt)},
      {"\x1b[1;3F", Scan(0x4F00, m::kLeftAlt)},
      {"\x1b[1;3E", Scan(0x4C00, m::kLeftAlt)},
      {"\x1b[5;3~", Scan(0x4900, m::kLeftAlt)},
      // A doubled ESC is Alt on the key that follows.
      {"\x1b\x1b[A", Scan(0x4800, m::kLeftAlt)},
      {"\x1b\x1bOP", Scan(0x3B00, m::kLeftAlt)},
      // xterm modifyOtherKeys.
      {"\x1b[27;5;9~", Char(9, m::kLeftCtrl)},
      {"\x1b[27;3;120~", Scan(0x2D00, m::kLeftAlt)},
      // Mouse.
      {"\x1b[<0;10;5M", InputEvent::Mouse(mouse::kLeft, 10, 5)},
      {"\x1b[<0;10;5m", InputEvent::Mouse(mouse::kNone, 10, 5)},
      {"\x1b[<2;80;25M", InputEvent::Mouse(mouse::kRight, 80, 25)},
      {"\x1b[<1;1;1M", InputEvent::Mouse(mouse::kMiddle, 1, 1)},
      {"\x1b[<16;3;4M", InputEvent::Mouse(mouse::kLeft, 3, 4, m::kLeftCtrl)},
      {"\x1b[<32;3;4M", InputEvent::Mouse(mouse::kNone, 3, 4)},  // a drag: movement
      {"\x1b[<0;99999999999;5M", InputEvent::Mouse(mouse::kLeft, 9999, 5)},
      {"\x1b[M *%", InputEvent::Mouse(mouse::kLeft, 10, 5)},
      {"\x1b[M#*%", InputEvent::Mouse(mouse::kNone, 10, 5)},
  };
  for (const EventCase& c : cases) {
    ParseResult r = ParseInput(c.bytes, false);
    ASSERT_EQ(r.status, Status::kEvent) << Printable(c.bytes);
    EXPECT_EQ(r.consumed, c.bytes.size()) << Printable(c.bytes);
    EXPECT_EQ(r.event, c.event) << Printable(c.bytes) << ": got " << Describe(r.event) << ", want "
                                << Describe(c.event);
  }
}

// Prefixes of sequences wait for more bytes; once nothing more comes they end as far as they
// go.
TEST(KeyParserTest, IncompleteUntilFinal) {
  struct Case {
    std::string bytes;
    Status final_status;
    std::size_t final_consumed;
    InputEvent final_event;
  } cases[] = {
      {"\x1b", Status::kEvent, 1, Char(27)},
      {"\x1b[", Status::kEvent, 2, Char('[', m::kLeftAlt)},
      {"\x1bO", Status::kEvent, 2, Scan(0x1800, m::kLeftAlt | m::kShift)},
      {"\x1b[1;5", Status::kIgnored, 5, {}},
      {"\x1b[<0;10", Status::kIgnored, 7, {}},
      {"\x1b[M ", Status::kIgnored, 4, {}},
      {"\x1b[[", Status::kIgnored, 3, {}},
      {"\xc3", Status::kIgnored, 1, {}},
      {"\xe2\x82", Status::kIgnored, 2, {}},
      {"\x1b\xc3", Status::kIgnored, 2, {}},
      {"\x1b\x1b", Status::kEvent, 1, Char(27)},
      {"\x1b\x1b[", Status::kEvent, 3, Char('[', m::kLeftAlt)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseInput(c.bytes, false).status, Status::kIncomplete) << Printable(c.bytes);
    ParseResult r = ParseInput(c.bytes, true);
    EXPECT_EQ(r.status, c.final_status) << Printable(c.bytes);
    EXPECT_EQ(r.consumed, c.final_consumed) << Printable(c.bytes);
    if (c.final_status == Status::kEvent) {
      EXPECT_EQ(r.event, c.final_event) << Printable(c.bytes) << ": got " << Describe(r.event);
    }
  }
}

// Bytes that mean nothing are dropped, never delivered as keys and never left to block the
// input.
TEST(KeyParserTest, NoiseIsIgnoredOrRejected) {
  struct Case {
    std::string bytes;
    Status status;
    std::size_t consumed;
  } cases[] = {
      {std::string(1, '\0'), Status::kIgnored, 1},
      {"\x80", Status::kIgnored, 1},          // a continuation byte alone
      {"\xff", Status::kIgnored, 1},
      {"\xc0\x80", Status::kIgnored, 1},      // overlong lead
      {"\xe0\x80\x80", Status::kIgnored, 3},  // overlong
      {"\xed\xa0\x80", Status::kIgnored, 3},  // a surrogate
      {"\xc3(", Status::kIgnored, 1},         // broken sequence: the "(" is read afresh
      {"\xe2\x96\xba", Status::kIgnored, 3},  // ► has no typed form
      {"\xe4\xb8\xad", Status::kIgnored, 3},  // a character code page 850 lacks
      {"\x1b[?1;2c", Status::kIgnored, 7},    // a device attributes reply
      {"\x1b[12;40R", Status::kEvent, 8},     // taken as F3 with modifiers: harmless
      {"\x1b[200~", Status::kIgnored, 6},     // bracketed paste start
      {"\x1b[99~", Status::kIgnored, 5},
      {"\x1b[<64;1;1M", Status::kIgnored, 10},  // wheel
      {"\x1b[1;5u", Status::kRejected, 6},
      {"\x1b[1 q", Status::kIgnored, 5},     // intermediate byte
      {"\x1b[1\x1b[A", Status::kIgnored, 3},  // broken off by a new ESC
      {"\x1b[[z", Status::kIgnored, 4},
      {"\x1bOz", Status::kRejected, 3},
      {"\x1b[" + std::string(60, '1'), Status::kIgnored, 48},
  };
  for (const auto& c : cases) {
    ParseResult r = ParseInput(c.bytes, false);
    EXPECT_EQ(r.status, c.status) << Printable(c.bytes);
    EXPECT_EQ(r.consumed, c.consumed) << Printable(c.bytes);
  }
}

TEST(KeyParserTest, OnlyTheFirstEventIsTaken) {
  ParseResult r = ParseInput("\x1b[Aabc", false);
  EXPECT_EQ(r.consumed, 3u);
  r = ParseInput("\xc3\xa9\x1b", false);
  EXPECT_EQ(r.consumed, 2u);
  EXPECT_EQ(r.event, Char(0x82));
}

// ---- KeyTable ---------------------------------------------------------------------------

TEST(KeyTableTest, LongestMatchAndPrefixes) {
  KeyTable t;
  t.Add("\x1b[1;5u", Scan(0x3B00));
  t.Add("\x1b[1;5", Scan(0x3C00));
  t.Add("", Scan(0x3D00));  // ignored
  auto m1 = t.Match("\x1b[1;5uX");
  ASSERT_TRUE(m1);
  EXPECT_EQ(m1->first, 6u);
  EXPECT_EQ(m1->second, Scan(0x3B00));
  EXPECT_FALSE(t.Match("x"));
  EXPECT_TRUE(t.IsPrefix("\x1b[1"));
  EXPECT_FALSE(t.IsPrefix("\x1b[1;5u"));
}

// ---- KeyDecoder -------------------------------------------------------------------------

std::vector<InputEvent> Drain(KeyDecoder& d, std::int64_t now) {
  std::vector<InputEvent> out;
  while (auto e = d.Next(now)) out.push_back(*e);
  return out;
}

TEST(KeyDecoderTest, LoneEscapeWaitsForTheDelay) {
  KeyDecoder d(40, 800);
  d.Feed("\x1b", 1000);
  EXPECT_TRUE(Drain(d, 1010).empty());
  EXPECT_EQ(d.MillisecondsUntilDue(1010), 30);
  EXPECT_EQ(Drain(d, 1040), std::vector<InputEvent>{Char(27)});
  EXPECT_EQ(d.MillisecondsUntilDue(1040), -1);
}

TEST(KeyDecoderTest, EscapeFollowedQuicklyIsAlt) {
  KeyDecoder d(40, 800);
  d.Feed("\x1b", 1000);
  d.Feed("x", 1010);
  EXPECT_EQ(Drain(d, 1011), std::vector<InputEvent>{Scan(0x2D00, m::kLeftAlt)});
}

TEST(KeyDecoderTest, SplitSequencesAreJoined) {
  KeyDecoder d(40, 800);
  d.Feed("\x1b[1;", 0);
  EXPECT_TRUE(Drain(d, 5).empty());
  d.Feed("5P\xc3", 10);
  EXPECT_EQ(Drain(d, 10), std::vector<InputEvent>{Scan(0x3B00, m::kLeftCtrl)});
  d.Feed("\xa7", 20);
  EXPECT_EQ(Drain(d, 20), std::vector<InputEvent>{Char(0x87)});
}

// Alt+digits end with a reported release of Alt: before the next other key, or after a quiet
// spell, so that Alt+keypad entry knows where the number ends.
TEST(KeyDecoderTest, AltDigitsEndWithARelease) {
  KeyDecoder d(40, 800);
  d.Feed("\x1b" "1\x1b" "3", 0);
  d.Feed("\x1b" "0", 300);
  std::vector<InputEvent> events = Drain(d, 300);
  std::vector<InputEvent> digits = {Scan(0x4F00, m::kLeftAlt), Scan(0x5100, m::kLeftAlt), Scan(0x5200, m::kLeftAlt)};
  EXPECT_EQ(events, digits);
  EXPECT_TRUE(Drain(d, 900).empty());
  EXPECT_EQ(d.MillisecondsUntilDue(900), 200);
  EXPECT_EQ(Drain(d, 1100), std::vector<InputEvent>{InputEvent::ModifierChange(0)});

  d.Feed("\x1b" "2a", 2000);
  events = Drain(d, 2000);
  EXPECT_EQ(events, (std::vector<InputEvent>{Scan(0x5000, m::kLeftAlt), InputEvent::ModifierChange(0), Char('a')}));
}

TEST(KeyDecoderTest, RejectedSequencesGoToTheTableThenAway) {
  KeyDecoder d(40, 800);
  KeyTable t;
  t.Add("\x1b[1;5u", Scan(0x3B00, m::kLeftCtrl));
  d.SetKeyTable(t);
  d.Feed("\x1b[1;5u\x1b[9;9uz", 0);
  EXPECT_EQ(Drain(d, 0), (std::vector<InputEvent>{Scan(0x3B00, m::kLeftCtrl), Char('z')}));
  EXPECT_EQ(d.Buffered(), 0u);
}

TEST(KeyDecoderTest, ClearForgetsEverything) {
  KeyDecoder d(40, 800);
  d.Feed("\x1b" "1\x1b[", 0);
  d.Next(0);
  d.Clear();
  EXPECT_TRUE(Drain(d, 5000).empty());
  EXPECT_EQ(d.MillisecondsUntilDue(5000), -1);
}

}  // namespace
}  // namespace tui
