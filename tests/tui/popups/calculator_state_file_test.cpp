// ZEDCALC.TMP: the exact text written, reading it back, and damaged files (items missing, text
// where numbers belong, values out of range, odd line breaks), which keep the initial values
// for what cannot be read.
#include <gtest/gtest.h>

#include <functional>

#include "tui/popups/calculator.h"

namespace tui {
namespace {

CalculatorNumber N(std::string_view text) {
  CalculatorNumber n;
  EXPECT_TRUE(CalculatorNumber::Parse(text, n)) << text;
  return n;
}

std::string InitialTapeLines() {
  std::string lines;
  for (int i = 0; i < kCalculatorTapeLines; ++i) lines += "0,0,0,\" \"\r\n";
  return lines;
}

TEST(CalculatorStateFileTest, TheInitialStateAsText) {
  EXPECT_EQ(WriteCalculatorState(CalculatorState{}), "1,23,0,0\r\n-1,0,0,0\r\n\"\",\"\"\r\n" + InitialTapeLines());
}

TEST(CalculatorStateFileTest, AStateAsTextAndBack) {
  CalculatorState s;
  s.column = 55;
  s.tapeStart = 20;
  s.entry = N("15.5");
  s.accumulator = N("-0.1");
  s.cleared = false;
  s.typing = true;
  s.hasPoint = true;
  s.decimals = 1;
  s.lastKey = "F";
  s.pending = "+";
  s.tape[19] = {N("12.5"), true, 1, '+'};
  s.tape[20] = {N("3"), false, 0, '='};
  s.tape[21] = {N("15.5"), true, 1, ' '};
  const std::string text = WriteCalculatorState(s);
  const std::string head = "55,20,15.5,-0.1\r\n0,-1,-1,1\r\n\"F\",\"+\"\r\n";
  EXPECT_EQ(text.substr(0, head.size()), head);
  EXPECT_NE(text.find("\r\n12.5,-1,1,\"+\"\r\n3,0,0,\"=\"\r\n15.5,-1,1,\" \"\r\n"), std::string::npos);
  EXPECT_EQ(ReadCalculatorState(text), s);
}

TEST(CalculatorStateFileTest, NumbersInPlainDecimal) {
  for (std::string text : {"0", "0.1", "-2.5", "100000000000000000000", "0.0000001", "1234567890123456",
                           "0.0000000000000009", "-9999999999999999"}) {
    SCOPED_TRACE(text);
    CalculatorState s;
    s.entry = N(text);
    s.tape[21].value = N(text);
    const std::string written = WriteCalculatorState(s);
    EXPECT_EQ(written.substr(0, written.find("\r\n")), "1,23," + text + ",0");
    const CalculatorState back = ReadCalculatorState(written);
    EXPECT_EQ(back.entry.Text(), text);
    EXPECT_EQ(back.tape[21].value.Text(), text);
  }
  CalculatorState error;
  error.accumulator = CalculatorNumber::Error();
  EXPECT_EQ(WriteCalculatorState(error).substr(0, 9), "1,23,0,0\r");
}

TEST(CalculatorStateFileTest, FilesOfTheBinaryMachineReadBackNormalised) {
  // The state after 6.24 - 7.1 = as the machine wrote it when it worked in binary fractions:
  // the display's value as it was shown, the running result with its noise. Both read back as
  // the display showed them; typed amounts read back exactly.
  CalculatorState s = ReadCalculatorState(
      "1,21,-0.859999999999999,-0.8599999999999994\r\n0,0,-1,15\r\n\"\",\"\"\r\n"
      "6.24,-1,2,\"-\"\r\n0.30000000000000004,-1,1,\" \"\r\n123456789012345,0,0,\"+\"\r\n");
  EXPECT_EQ(s.entry, N("-0.859999999999999"));
  EXPECT_EQ(s.accumulator, N("-0.859999999999999"));
  EXPECT_EQ(s.tape[0].value, N("6.24"));
  EXPECT_EQ(s.tape[1].value, N("0.3"));
  EXPECT_EQ(s.tape[2].value, N("123456789012345"));
  EXPECT_EQ(CalculatorMachine(s).Result(), "85.9999999999999");
  // An entry with more decimals than the display shows goes on from the digits shown.
  CalculatorState hand = ReadCalculatorState("1,23,-1.25,0\r\n0,-1,-1,1\r\n");
  CalculatorMachine(hand).HandleKey('3');
  EXPECT_EQ(hand.entry, N("-1.23"));
  EXPECT_EQ(hand.decimals, 2);
  // Carrying on from it is exact decimal arithmetic.
  CalculatorMachine machine(s);
  for (KeyCode k : {KeyCode{'+'}, KeyCode{'1'}, KeyCode{'='}}) machine.HandleKey(k);
  EXPECT_EQ(s.accumulator, N("0.140000000000001"));
  // Extremes of the old doubles: too large to keep is left at its initial value, too small is 0.
  const CalculatorState extremes = ReadCalculatorState(
      "1,23," + std::string("1") + std::string(308, '0') + ",0." + std::string(323, '0') + "5\r\n");
  EXPECT_EQ(extremes.entry, N("0"));
  EXPECT_EQ(extremes.accumulator, N("0"));
}

TEST(CalculatorStateFileTest, TextsThatCannotStandBetweenQuotesLoseThoseBytes) {
  CalculatorState s;
  s.lastKey = std::string("\0\x21", 2);  // Alt+F as its two bytes
  EXPECT_NE(WriteCalculatorState(s).find("\"!\",\"\""), std::string::npos);
  s.lastKey = "\"";
  const std::string text = WriteCalculatorState(s);
  EXPECT_NE(text.find("\r\n\"\",\"\"\r\n"), std::string::npos);
  EXPECT_EQ(ReadCalculatorState(text).tape, CalculatorState{}.tape);
}

TEST(CalculatorStateFileTest, ItemsAreTakenInOrderWhateverTheLineBreaks) {
  const CalculatorState s = ReadCalculatorState("7\r\n21\n2.5,\r\n4\n0,0,-1,1,\"R\"\r\n\"*\"\n5,-1,2,\"R\"");
  EXPECT_EQ(s.column, 7);
  EXPECT_EQ(s.tapeStart, 21);
  EXPECT_EQ(s.entry, N("2.5"));
  EXPECT_EQ(s.accumulator, N("4"));
  EXPECT_FALSE(s.cleared);
  EXPECT_FALSE(s.typing);
  EXPECT_TRUE(s.hasPoint);
  EXPECT_EQ(s.decimals, 1);
  EXPECT_EQ(s.lastKey, "R");
  EXPECT_EQ(s.pending, "*");
  EXPECT_EQ(s.tape[0], (TapeLine{N("5"), true, 2, 'R'}));
  EXPECT_EQ(s.tape[1], TapeLine{});
}

TEST(CalculatorStateFileTest, DamagedItemsKeepTheirInitialValues) {
  const CalculatorState initial;
  struct Case {
    std::string name;
    std::string text;
    std::function<void(CalculatorState&)> expect;  // turns the initial state into the expected
  } cases[] = {
      {"empty", "", [](CalculatorState&) {}},
      {"blanks and empty lines", "  \r\n\r\n\n \t\r\n", [](CalculatorState&) {}},
      {"only the column", "30", [](CalculatorState& s) { s.column = 30; }},
      {"column too far right", "56,22", [](CalculatorState& s) { s.tapeStart = 22; }},
      {"column 0 and tape start 1", "0,1,3", [](CalculatorState& s) { s.entry = N("3"); }},
      {"huge integers", "99999999999999999999,-99999999999", [](CalculatorState&) {}},
      {"text where numbers belong", "abc,\"22\",x1,1x", [](CalculatorState&) {}},
      {"not finite numbers", "1,23,inf,nan", [](CalculatorState&) {}},
      {"overflowing number", "1,23,1e400,-1e400", [](CalculatorState&) {}},
      {"numbers with an exponent are read", "1,23,1.5e3,2E-2", [](CalculatorState& s) {
         s.entry = N("1500");
         s.accumulator = N("0.02");
       }},
      {"flags other than -1 and 0", "1,23,0,0,5,1,-2,3", [](CalculatorState&) {}},
      {"decimals out of range", "1,23,0,0,-1,-1,-1,17", [](CalculatorState& s) {
         s.typing = true;
         s.hasPoint = true;
       }},
      {"decimals without a point", "1,23,0,0,-1,-1,0,4", [](CalculatorState& s) { s.typing = true; }},
      {"an unknown operator pending", "1,23,0,0,-1,0,0,0,\"F\",\"x\"", [](CalculatorState& s) { s.lastKey = "F"; }},
      {"a last key with bytes that cannot be written back", "1,23,0,0,-1,0,0,0,\"\x01" "F\"",
       [](CalculatorState& s) { s.lastKey = "F"; }},
      {"texts too long", "1,23,0,0,-1,0,0,0,\"ABC\",\"++\"", [](CalculatorState&) {}},
      {"a quote left open ends at the line's end", "1,23,0,0,-1,0,0,0,\"F\r\n\"-\"", [](CalculatorState& s) {
         s.lastKey = "F";
         s.pending = "-";
       }},
      {"a label that no key gives", "1,23,0,0,-1,0,0,0,\"\",\"\",4,0,0,\"Q\"",
       [](CalculatorState& s) { s.tape[0].value = N("4"); }},
      {"a tape line cut short", "1,23,0,0,-1,0,0,0,\"\",\"\",4,-1",
       [](CalculatorState& s) { s.tape[0] = {N("4"), true, 0, ' '}; }},
      {"bytes that are no text at all", std::string("\0\xFF\x01,\x80\"\0", 8), [](CalculatorState&) {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CalculatorState expected = initial;
    c.expect(expected);
    EXPECT_EQ(ReadCalculatorState(c.text), expected);
  }
}

TEST(CalculatorStateFileTest, ItemsPastTheLastAreIgnored) {
  std::string text = WriteCalculatorState(CalculatorState{});
  text += "9,9,9,9\r\n\"x\"\r\n";
  EXPECT_EQ(ReadCalculatorState(text), CalculatorState{});
}

}  // namespace
}  // namespace tui
