// The adding machine's rules without a console: typing, the operator step, the tape, clears,
// rounding, percentages, normalising, the result in hundredths and values that are not numbers.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/tui/popups/popups_test_rig.h"
#include "tui/popups/calculator.h"

namespace tui {
namespace {

using popups_test::Keys;

// An exact amount from its text.
CalculatorNumber N(std::string_view text) {
  CalculatorNumber n;
  EXPECT_TRUE(CalculatorNumber::Parse(text, n)) << text;
  return n;
}

// Runs the keys of a text on a state; "<" stands for Backspace, "\r" for Enter.
CalculatorEffect Press(CalculatorState& state, std::string_view keys) {
  CalculatorMachine machine(state);
  CalculatorEffect last = CalculatorEffect::kNothing;
  for (KeyCode k : Keys(keys)) last = machine.HandleKey(k == '<' ? key::kBackspace : k);
  return last;
}

std::string ResultOf(std::string_view keys) {
  CalculatorState s;
  Press(s, keys);
  return CalculatorMachine(s).Result();
}

// The newest n tape lines, oldest first.
std::vector<TapeLine> Newest(const CalculatorState& s, std::size_t n) {
  return std::vector<TapeLine>(s.tape.end() - static_cast<std::ptrdiff_t>(n), s.tape.end());
}

TEST(CalculatorMachineTest, AddingWithItsTape) {
  CalculatorState s;
  EXPECT_EQ(Press(s, "12.5+3="), CalculatorEffect::kTape);
  EXPECT_EQ(s.accumulator, N("15.5"));
  EXPECT_EQ(s.entry, N("15.5"));
  EXPECT_TRUE(s.hasPoint);
  EXPECT_EQ(s.decimals, 1);
  EXPECT_FALSE(s.typing);
  EXPECT_FALSE(s.cleared);
  EXPECT_EQ(s.pending, "");
  EXPECT_EQ(s.lastKey, "");
  EXPECT_EQ(s.tapeStart, 20);
  EXPECT_EQ(Newest(s, 4), (std::vector<TapeLine>{{N("0"), false, 0, ' '},
                                                   {N("12.5"), true, 1, '+'},
                                                   {N("3"), false, 0, '='},
                                                   {N("15.5"), true, 1, ' '}}));
  EXPECT_EQ(CalculatorMachine(s).Result(), "1550");
}

TEST(CalculatorMachineTest, TheFourOperatorsChainOnTheRunningResult) {
  struct Case {
    std::string keys;
    std::string shown;  // the display's value after the keys
    std::string result;
  } cases[] = {
      {"7-10=", "-3", "300"},       // a negative result without its sign
      {"6*7=", "42", "4200"},
      {"1/8=", "0.125", "12.5"},
      {"10/3=", "3.33333333333333", "333.333333333333"},
      {"2/3=", "0.666666666666667", "66.6666666666667"},
      {"1/3000=", "0.000333333333333", ".0333333333333"},
      {"0.1+0.2=", "0.3", "30"},
      {"2+3*4=", "20", "2000"},     // an adding machine: left to right
      {"100-", "100", "10000"},
      {"5T3=", "-53", "5300"},      // digits after T extend the magnitude
      {"1.234=", "1.234", "123.4"},
      {"=", "0", "0"},              // "=" does nothing while not typing
      {"8\r", "8", "800"},          // Enter works as "="
      // Exact decimals: no binary noise on the display nor in the result.
      {"6.24-7.1=", "-0.86", "86"},
      {"7.15-7.1=", "0.05", "5"},
      {"9-9.0044*85=", "-0.374", "37.4"},
      {"1.1*1.1=", "1.21", "121"},
      {"0.7+0.1+0.2-1=", "0", "0"},
      // "*" is exact, then normalised to 15 digits; "/" rounds once, ties away from zero.
      {"1.23456789*1.23456789=", "1.52415787501905", "152.415787501905"},
      {"1/16*1000000000000000=", "62500000000000", "6250000000000000"},
      {"0.000000000000002/4=", "0.000000000000001", ".0000000000001"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.keys);
    CalculatorState s;
    Press(s, c.keys);
    EXPECT_EQ(s.entry, N(c.shown));
    EXPECT_EQ(CalculatorMachine(s).Result(), c.result);
  }
}

TEST(CalculatorMachineTest, EnterLabelsItsTapeLineAsEquals) {
  CalculatorState s;
  Press(s, "4+5\r");
  EXPECT_EQ(Newest(s, 2), (std::vector<TapeLine>{{N("5"), false, 0, '='}, {N("9"), false, 0, ' '}}));
}

TEST(CalculatorMachineTest, ResultWhileTypingIsTheEntry) {
  EXPECT_EQ(ResultOf("12+3"), "300");
  EXPECT_EQ(ResultOf("12+3.25"), "325");
  EXPECT_EQ(ResultOf("12+0.005"), ".5");  // below one hundredth: no digit before the point
  EXPECT_EQ(ResultOf("0.001"), ".1");
  EXPECT_EQ(ResultOf("0.0001"), ".01");
  EXPECT_EQ(ResultOf("1.2300"), "123.00");  // the decimals typed are kept
  EXPECT_EQ(ResultOf(""), "0");
}

TEST(CalculatorMachineTest, ThreeClears) {
  CalculatorState s;
  Press(s, "12+3");
  EXPECT_EQ(s.entry, N("3"));
  // First C: the 3 is cancelled and the running result shows again.
  EXPECT_EQ(Press(s, "C"), CalculatorEffect::kDisplay);
  EXPECT_EQ(s.entry, N("12"));
  EXPECT_FALSE(s.typing);
  EXPECT_EQ(s.lastKey, "+");
  EXPECT_EQ(s.pending, "+");
  EXPECT_EQ(s.tapeStart, 22);
  // Second C: everything to 0, the tape stays.
  EXPECT_EQ(Press(s, "C"), CalculatorEffect::kDisplay);
  EXPECT_EQ(s.entry, N("0"));
  EXPECT_EQ(s.accumulator, N("0"));
  EXPECT_TRUE(s.cleared);
  EXPECT_EQ(s.lastKey, "");
  EXPECT_EQ(s.tapeStart, 22);
  // Third C: the tape goes.
  EXPECT_EQ(Press(s, "C"), CalculatorEffect::kTapeCleared);
  EXPECT_EQ(s.tapeStart, kCalculatorEmptyTape);
  EXPECT_TRUE(s.cleared);
  // After them the machine starts afresh.
  Press(s, "4+1=");
  EXPECT_EQ(s.accumulator, N("5"));
  EXPECT_EQ(s.tapeStart, 20);
}

TEST(CalculatorMachineTest, CancellingShowsTheRunningResultWithItsDecimals) {
  CalculatorState s;
  Press(s, "12.5+3C");
  EXPECT_EQ(s.entry, N("12.5"));
  EXPECT_TRUE(s.hasPoint);
  EXPECT_EQ(s.decimals, 1);
  Press(s, "2=");
  EXPECT_EQ(s.accumulator, N("14.5"));
}

TEST(CalculatorMachineTest, AClearForgetsThePendingOperator) {
  CalculatorState s;
  Press(s, "2*C5=");
  EXPECT_EQ(s.accumulator, N("5"));
}

TEST(CalculatorMachineTest, RoundingToHundredths) {
  struct Case {
    std::string keys;
    std::string rounded;
  } cases[] = {
      {"2.125R", "2.12"},   // a tie goes to the even hundredth
      {"2.375R", "2.38"},
      {"2.126R", "2.13"},
      {"2.675R", "2.68"},
      {"1.015R", "1.02"},
      {"0.005R", "0"},
      {"9.995R", "10"},
      {"2.1R", "2.1"},
      {"2.125TR", "-2.12"},
      {"2.126TR", "-2.13"},
      {"99999999.999R", "100000000"},
      {"1234567890123.455R", "1234567890123.46"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.keys);
    CalculatorState s;
    EXPECT_EQ(Press(s, c.keys), CalculatorEffect::kTape);
    EXPECT_EQ(s.entry, N(c.rounded));
    EXPECT_EQ(s.accumulator, N(c.rounded));
    EXPECT_TRUE(s.hasPoint);
    EXPECT_EQ(s.decimals, 2);
    EXPECT_EQ(s.tape.back().label, 'R');
    EXPECT_EQ(s.tape.back().value, N(c.rounded));
  }
}

TEST(CalculatorMachineTest, RoundingKeepsThePendingOperator) {
  CalculatorState s;
  Press(s, "10+2.125R");
  EXPECT_EQ(s.pending, "+");
  EXPECT_EQ(s.accumulator, N("2.12"));
}

TEST(CalculatorMachineTest, Percentages) {
  CalculatorState s;
  Press(s, "50+10%");
  EXPECT_EQ(s.entry, N("5"));
  EXPECT_EQ(s.tape.back(), (TapeLine{N("10"), false, 0, '%'}));
  EXPECT_EQ(s.pending, "+");
  Press(s, "=");
  EXPECT_EQ(s.accumulator, N("55"));

  CalculatorState minus;
  Press(minus, "80-25%=");
  EXPECT_EQ(minus.accumulator, N("60"));

  CalculatorState times;
  Press(times, "200*15%=");  // without + or -, the entry is divided by 100
  EXPECT_EQ(times.accumulator, N("30"));

  CalculatorState alone;
  Press(alone, "7%");
  EXPECT_EQ(alone.entry, N("0.07"));
  EXPECT_EQ(alone.decimals, 2);
}

TEST(CalculatorMachineTest, BackspaceThroughThePoint) {
  CalculatorState s;
  Press(s, "12.5");
  Press(s, "<");
  EXPECT_EQ(s.entry, N("12"));
  EXPECT_TRUE(s.hasPoint);  // "12." with the point and no decimals
  EXPECT_EQ(s.decimals, 0);
  EXPECT_TRUE(s.typing);
  Press(s, "<");
  EXPECT_EQ(s.entry, N("12"));
  EXPECT_FALSE(s.hasPoint);
  Press(s, "<");
  EXPECT_EQ(s.entry, N("1"));
  EXPECT_TRUE(s.typing);
  Press(s, "<");
  EXPECT_EQ(s.entry, N("0"));
  EXPECT_FALSE(s.typing);

  CalculatorState d;
  Press(d, "0.29<");
  EXPECT_EQ(d.entry, N("0.2"));
  Press(d, "7");
  EXPECT_EQ(d.entry, N("0.27"));
  CalculatorState n;
  Press(n, "3.75T<");
  EXPECT_EQ(n.entry, N("-3.7"));
}

TEST(CalculatorMachineTest, TypingTakesSixteenDigitsExactly) {
  CalculatorState s;
  Press(s, "12345678901234567890");
  EXPECT_EQ(s.entry, N("1234567890123456"));
  EXPECT_EQ(CalculatorMachine(s).Result(), "123456789012345600");
  CalculatorState d;
  Press(d, "1234567890.123456789");
  EXPECT_EQ(d.entry, N("1234567890.123456"));
  EXPECT_EQ(d.decimals, 6);
  EXPECT_EQ(CalculatorMachine(d).Result(), "123456789012.3456");
  CalculatorState z;
  Press(z, "0.00000000000000099");
  EXPECT_EQ(z.decimals, 16);
  EXPECT_EQ(z.entry, N("0.0000000000000009"));
  CalculatorState p;
  Press(p, "1..5");  // a second point does nothing
  EXPECT_EQ(p.entry, N("1.5"));
  // Sixteen integer digits fill the display: no room for a point.
  CalculatorState full;
  Press(full, "9999999999999999.9");
  EXPECT_FALSE(full.hasPoint);
  EXPECT_EQ(full.entry, N("9999999999999999"));
  // A sixteen-digit amount is added exactly.
  CalculatorState sum;
  Press(sum, "9007199254740993+1=");
  EXPECT_EQ(sum.accumulator, N("9007199254740994"));
  EXPECT_EQ(CalculatorMachine(sum).Result(), "900719925474099400");
}

TEST(CalculatorMachineTest, NormalisingToFifteenDigits) {
  struct Case {
    std::string value;
    std::string normalised;
    int decimals;
  } cases[] = {
      {"0.30000000000000004", "0.3", 1},
      {"15.50", "15.5", 1},
      {"12", "12", 0},
      {"3.333333333333333333", "3.33333333333333", 14},
      {"-0.6666666666666666", "-0.666666666666667", 15},
      {"123456789012345.6", "123456789012346", 0},
      {"123456789012345.5", "123456789012346", 0},    // a tie goes away from zero
      {"-123456789012345.5", "-123456789012346", 0},
      {"100000000000000000000", "100000000000000000000", 0},  // whole numbers keep their digits
      {"0", "0", 0},
      {"0.00000000000000001", "0", 0},
      {"99999.99999999999", "100000", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    const CalculatorNumber n = NormaliseCalculatorValue(N(c.value));
    EXPECT_EQ(n.Text(), c.normalised);
    EXPECT_EQ(n.Scale(), c.decimals);
  }
  EXPECT_TRUE(NormaliseCalculatorValue(CalculatorNumber::Error()).IsError());
  EXPECT_TRUE(NormaliseCalculatorValue(N("9999999999999999999999.5")).IsError());  // rounds to 10^22
}

TEST(CalculatorMachineTest, ResultInHundredths) {
  struct Case {
    std::string value;
    int decimals;
    std::string text;
  } cases[] = {
      {"12.5", 1, "1250"},   {"1.234", 3, "123.4"}, {"0", 0, "0"},          {"-7", 0, "700"},
      {"0.001", 3, ".1"},    {"0.0001", 4, ".01"},  {"1.005", 3, "100.5"},  {"15.5", 1, "1550"},
      {"0.07", 2, "7"},      {"2.5", 0, "250"},     {"0.012", 3, "1.2"},    {"0.001", 4, ".10"},
      {"0.125", 2, "13"},    {"-0.125", 2, "13"},   // more decimals than asked: ties away from zero
      {"100000000000000000000", 0, "10000000000000000000000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.value << " " << c.decimals);
    EXPECT_EQ(CalculatorResultText(N(c.value), c.decimals), c.text);
  }
  EXPECT_EQ(CalculatorResultText(CalculatorNumber::Error(), 2), "");
}

TEST(CalculatorMachineTest, NumbersAsText) {
  struct Case {
    std::string text;
    std::string exact;
  } cases[] = {
      {"0", "0"},         {"-0", "0"},          {"+3", "3"},          {"12.50", "12.5"},
      {".5", "0.5"},      {"-0.001", "-0.001"}, {"1.5e3", "1500"},    {"2E-2", "0.02"},
      {"1e-400", "0"},    {"9999999999999999999999", "9999999999999999999999"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(N(c.text).Text(), c.exact);
  }
  CalculatorNumber n = N("7");
  for (std::string_view bad : {"", "-", ".", "1x", "1e", "e5", "1.2.3", "10000000000000000000000", "1e22", "nan"}) {
    EXPECT_FALSE(CalculatorNumber::Parse(bad, n)) << bad;
  }
  EXPECT_EQ(n, N("7"));  // a failed read changes nothing
  EXPECT_EQ(N("12.5"), CalculatorNumber::FromUnits(1250, 2));
  EXPECT_NE(N("12.5"), N("-12.5"));
  EXPECT_NE(N("0"), CalculatorNumber::Error());
}

TEST(CalculatorMachineTest, DivisionByZeroShowsAnErrorUntilTheNextClear) {
  for (std::string keys : {"5/0=", "0/0=", "9/0+1="}) {
    SCOPED_TRACE(keys);
    CalculatorState s;
    Press(s, keys);
    EXPECT_TRUE(s.entry.IsError());
    EXPECT_EQ(CalculatorMachine(s).Result(), "");
    // Backspace and T leave the error as it is; C clears it whatever came before.
    Press(s, "<T");
    EXPECT_TRUE(s.entry.IsError());
    Press(s, "C");
    EXPECT_EQ(s.entry, N("0"));
    EXPECT_EQ(s.accumulator, N("0"));
    Press(s, "2+2=");
    EXPECT_EQ(s.accumulator, N("4"));
  }
  // A percentage that overflows while typing: the digits after it are refused, not looped on.
  CalculatorState typing;
  Press(typing, "1/0+5%");
  EXPECT_TRUE(typing.typing);
  EXPECT_TRUE(typing.entry.IsError());
  Press(typing, "7.3<");
  EXPECT_TRUE(typing.entry.IsError());
  Press(typing, "C");
  EXPECT_EQ(typing.entry, N("0"));

  // A result of 10^22 or more is an error too; just below it is not.
  CalculatorState big;
  Press(big, "999999999999999*999999999999999=*****");
  EXPECT_TRUE(big.accumulator.IsError());
  EXPECT_EQ(CalculatorMachine(big).Result(), "");
  CalculatorState below;
  Press(below, "99999999999*99999999999=");
  EXPECT_EQ(below.accumulator, N("9999999999800000000001"));
  Press(below, "+1=");
  EXPECT_EQ(below.accumulator, N("9999999999800000000002"));
  Press(below, "*10=");
  EXPECT_TRUE(below.accumulator.IsError());
}

TEST(CalculatorMachineTest, TheTapeKeepsItsNewest22Lines) {
  CalculatorState s;
  for (int i = 1; i <= 30; ++i) Press(s, std::to_string(i) + "+");
  EXPECT_EQ(s.tapeStart, kCalculatorTopTapeStart);
  EXPECT_EQ(s.tape.front().value, N("9"));
  EXPECT_EQ(s.tape.back().value, N("30"));
  EXPECT_EQ(s.accumulator, N("465"));
}

TEST(CalculatorMachineTest, SlidingWrapsRoundTheEightyColumns) {
  struct Case {
    int from;
    KeyCode key;
    int to;
  } cases[] = {
      {1, key::kLeft, 55},      {2, key::kLeft, 1},        {1, key::kCtrlLeft, 55},
      {55, key::kRight, 1},     {54, key::kRight, 55},     {55, key::kCtrlRight, 1},
  };
  for (const Case& c : cases) {
    CalculatorState s;
    s.column = c.from;
    EXPECT_EQ(CalculatorMachine(s).HandleKey(c.key), CalculatorEffect::kSlid);
    EXPECT_EQ(s.column, c.to) << c.from;
  }
}

TEST(CalculatorMachineTest, KeysThatLeaveAndKeysThatDoNothing) {
  CalculatorState s;
  CalculatorMachine m(s);
  EXPECT_EQ(m.HandleKey('F'), CalculatorEffect::kFinish);
  EXPECT_EQ(m.HandleKey('f'), CalculatorEffect::kFinish);
  EXPECT_EQ(m.HandleKey(key::kAltF), CalculatorEffect::kFinish);
  EXPECT_EQ(m.HandleKey(key::kEscape), CalculatorEffect::kCancel);
  for (KeyCode k : {KeyCode{'x'}, KeyCode{' '}, key::kF1, key::kAltX, key::kUp, key::kEnter, KeyCode{'='}}) {
    EXPECT_EQ(m.HandleKey(k), CalculatorEffect::kNothing) << k;
  }
  CalculatorState untouched;
  untouched.lastKey = "=";
  EXPECT_EQ(s, untouched);
}

TEST(CalculatorMachineTest, KeyTextAndPicture) {
  EXPECT_EQ(CalculatorKeyText('f'), "F");
  EXPECT_EQ(CalculatorKeyText('+'), "+");
  EXPECT_EQ(CalculatorKeyText(key::kLeft), std::string("\0\x4B", 2));
  EXPECT_EQ(CalculatorKeyText(key::kF11), std::string("\0\x85", 2));

  EXPECT_EQ(CalculatorPicture(false, 0), "-Z,ZZZ,ZZZ,ZZZ,ZZZ,ZZ9");
  EXPECT_EQ(CalculatorPicture(true, 0), "-,ZZZ,ZZZ,ZZZ,ZZZ,ZZ9.");
  EXPECT_EQ(CalculatorPicture(true, 2), "-ZZ,ZZZ,ZZZ,ZZZ,ZZ9.99");
  EXPECT_EQ(CalculatorPicture(true, 15), "-Z,ZZ9.999999999999999");
  EXPECT_EQ(CalculatorPicture(true, 16), "-,ZZ9.9999999999999999");
  for (int d : {-5, 0, 1, 7, 15, 19, 20, 21, 99}) {
    EXPECT_EQ(CalculatorPicture(true, d).size(), 22u) << d;
  }
}

}  // namespace
}  // namespace tui
