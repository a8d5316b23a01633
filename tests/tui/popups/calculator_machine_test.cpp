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
  EXPECT_EQ(s.accumulator, 15.5);
  EXPECT_EQ(s.entry, 15.5);
  EXPECT_TRUE(s.hasPoint);
  EXPECT_EQ(s.decimals, 1);
  EXPECT_FALSE(s.typing);
  EXPECT_FALSE(s.cleared);
  EXPECT_EQ(s.pending, "");
  EXPECT_EQ(s.lastKey, "");
  EXPECT_EQ(s.tapeStart, 20);
  EXPECT_EQ(Newest(s, 4), (std::vector<TapeLine>{{0, false, 0, ' '},
                                                   {12.5, true, 1, '+'},
                                                   {3, false, 0, '='},
                                                   {15.5, true, 1, ' '}}));
  EXPECT_EQ(CalculatorMachine(s).Result(), "1550");
}

TEST(CalculatorMachineTest, TheFourOperatorsChainOnTheRunningResult) {
  struct Case {
    std::string keys;
    double shown;  // the display after the keys
    std::string result;
  } cases[] = {
      {"7-10=", -3, "300"},       // a negative result without its sign
      {"6*7=", 42, "4200"},
      {"1/8=", 0.125, "12.5"},
      {"10/3=", 3.33333333333333, "333.333333333333"},
      {"0.1+0.2=", 0.3, "30"},
      {"2+3*4=", 20, "2000"},     // an adding machine: left to right
      {"100-", 100, "10000"},
      {"5T3=", -53, "5300"},      // digits after T extend the magnitude
      {"1.234=", 1.234, "123.4"},
      {"=", 0, "0"},              // "=" does nothing while not typing
      {"8\r", 8, "800"},          // Enter works as "="
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.keys);
    CalculatorState s;
    Press(s, c.keys);
    EXPECT_DOUBLE_EQ(s.entry, c.shown);
    EXPECT_EQ(CalculatorMachine(s).Result(), c.result);
  }
}

TEST(CalculatorMachineTest, EnterLabelsItsTapeLineAsEquals) {
  CalculatorState s;
  Press(s, "4+5\r");
  EXPECT_EQ(Newest(s, 2), (std::vector<TapeLine>{{5, false, 0, '='}, {9, false, 0, ' '}}));
}

TEST(CalculatorMachineTest, ResultWhileTypingIsTheEntry) {
  EXPECT_EQ(ResultOf("12+3"), "300");
  EXPECT_EQ(ResultOf("12+3.25"), "325");
  EXPECT_EQ(ResultOf("12+0.005"), "0.5");
  EXPECT_EQ(ResultOf("1.2300"), "123.00");  // the decimals typed are kept
  EXPECT_EQ(ResultOf(""), "0");
}

TEST(CalculatorMachineTest, ThreeClears) {
  CalculatorState s;
  Press(s, "12+3");
  EXPECT_EQ(s.entry, 3);
  // First C: the 3 is cancelled and the running result shows again.
  EXPECT_EQ(Press(s, "C"), CalculatorEffect::kDisplay);
  EXPECT_EQ(s.entry, 12);
  EXPECT_FALSE(s.typing);
  EXPECT_EQ(s.lastKey, "+");
  EXPECT_EQ(s.pending, "+");
  EXPECT_EQ(s.tapeStart, 22);
  // Second C: everything to 0, the tape stays.
  EXPECT_EQ(Press(s, "C"), CalculatorEffect::kDisplay);
  EXPECT_EQ(s.entry, 0);
  EXPECT_EQ(s.accumulator, 0);
  EXPECT_TRUE(s.cleared);
  EXPECT_EQ(s.lastKey, "");
  EXPECT_EQ(s.tapeStart, 22);
  // Third C: the tape goes.
  EXPECT_EQ(Press(s, "C"), CalculatorEffect::kTapeCleared);
  EXPECT_EQ(s.tapeStart, kCalculatorEmptyTape);
  EXPECT_TRUE(s.cleared);
  // After them the machine starts afresh.
  Press(s, "4+1=");
  EXPECT_EQ(s.accumulator, 5);
  EXPECT_EQ(s.tapeStart, 20);
}

TEST(CalculatorMachineTest, CancellingShowsTheRunningResultWithItsDecimals) {
  CalculatorState s;
  Press(s, "12.5+3C");
  EXPECT_EQ(s.entry, 12.5);
  EXPECT_TRUE(s.hasPoint);
  EXPECT_EQ(s.decimals, 1);
  Press(s, "2=");
  EXPECT_EQ(s.accumulator, 14.5);
}

TEST(CalculatorMachineTest, AClearForgetsThePendingOperator) {
  CalculatorState s;
  Press(s, "2*C5=");
  EXPECT_EQ(s.accumulator, 5);
}

TEST(CalculatorMachineTest, RoundingToHundredths) {
  struct Case {
    std::string keys;
    double rounded;
  } cases[] = {
      {"2.125R", 2.12},   // a tie goes to the even hundredth
      {"2.375R", 2.38},
      {"2.126R", 2.13},
      {"2.675R", 2.68},   // the tie as typed, not as the double below it
      {"1.015R", 1.02},
      {"0.005R", 0},
      {"9.995R", 10},
      {"2.1R", 2.1},
      {"2.125TR", -2.12},
      {"2.126TR", -2.13},
      {"99999999.999R", 100000000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.keys);
    CalculatorState s;
    EXPECT_EQ(Press(s, c.keys), CalculatorEffect::kTape);
    EXPECT_DOUBLE_EQ(s.entry, c.rounded);
    EXPECT_DOUBLE_EQ(s.accumulator, c.rounded);
    EXPECT_TRUE(s.hasPoint);
    EXPECT_EQ(s.decimals, 2);
    EXPECT_EQ(s.tape.back().label, 'R');
    EXPECT_DOUBLE_EQ(s.tape.back().value, c.rounded);
  }
}

TEST(CalculatorMachineTest, RoundingKeepsThePendingOperator) {
  CalculatorState s;
  Press(s, "10+2.125R");
  EXPECT_EQ(s.pending, "+");
  EXPECT_EQ(s.accumulator, 2.12);
}

TEST(CalculatorMachineTest, Percentages) {
  CalculatorState s;
  Press(s, "50+10%");
  EXPECT_EQ(s.entry, 5);
  EXPECT_EQ(s.tape.back(), (TapeLine{10, false, 0, '%'}));
  EXPECT_EQ(s.pending, "+");
  Press(s, "=");
  EXPECT_EQ(s.accumulator, 55);

  CalculatorState minus;
  Press(minus, "80-25%=");
  EXPECT_EQ(minus.accumulator, 60);

  CalculatorState times;
  Press(times, "200*15%=");  // without + or -, the entry is divided by 100
  EXPECT_DOUBLE_EQ(times.accumulator, 30);

  CalculatorState alone;
  Press(alone, "7%");
  EXPECT_EQ(alone.entry, 0.07);
  EXPECT_EQ(alone.decimals, 2);
}

TEST(CalculatorMachineTest, BackspaceThroughThePoint) {
  CalculatorState s;
  Press(s, "12.5");
  Press(s, "<");
  EXPECT_EQ(s.entry, 12);
  EXPECT_TRUE(s.hasPoint);  // "12." with the point and no decimals
  EXPECT_EQ(s.decimals, 0);
  EXPECT_TRUE(s.typing);
  Press(s, "<");
  EXPECT_EQ(s.entry, 12);
  EXPECT_FALSE(s.hasPoint);
  Press(s, "<");
  EXPECT_EQ(s.entry, 1);
  EXPECT_TRUE(s.typing);
  Press(s, "<");
  EXPECT_EQ(s.entry, 0);
  EXPECT_FALSE(s.typing);

  CalculatorState d;
  Press(d, "0.29<");
  EXPECT_EQ(d.entry, 0.2);
  Press(d, "7");
  EXPECT_EQ(d.entry, 0.27);
  CalculatorState n;
  Press(n, "3.75T<");
  EXPECT_EQ(n.entry, -3.7);
}

TEST(CalculatorMachineTest, TypingKeepsFifteenDigits) {
  CalculatorState s;
  Press(s, "12345678901234567890");
  EXPECT_EQ(s.entry, 123456789012345.0);
  CalculatorState d;
  Press(d, "1234567890.123456789");
  EXPECT_EQ(d.entry, 1234567890.12345);
  EXPECT_EQ(d.decimals, 5);
  CalculatorState z;
  Press(z, "0.00000000000000099");
  EXPECT_EQ(z.decimals, 15);
  EXPECT_EQ(z.entry, 0);
  CalculatorState p;
  Press(p, "1..5");  // a second point does nothing
  EXPECT_EQ(p.entry, 1.5);
}

TEST(CalculatorMachineTest, NormalisingToFifteenSignificantDigits) {
  struct Case {
    double value;
    double normalised;
    int decimals;
  } cases[] = {
      {0.1 + 0.2, 0.3, 1},
      {15.5, 15.5, 1},
      {12, 12, 0},
      {10.0 / 3, 3.33333333333333, 14},
      {-2.0 / 3, -0.666666666666667, 15},
      {123456789012345.6, 123456789012346, 0},
      {1e20, 1e20, 0},
      {0, 0, 0},
      {1e-20, 0, 0},
      {99999.99999999999, 100000, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    const NormalisedValue n = NormaliseCalculatorValue(c.value);
    EXPECT_DOUBLE_EQ(n.value, c.normalised);
    EXPECT_EQ(n.decimals, c.decimals);
  }
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(NormaliseCalculatorValue(inf).value, inf);
  EXPECT_TRUE(std::isnan(NormaliseCalculatorValue(std::nan("")).value));
}

TEST(CalculatorMachineTest, ResultInHundredths) {
  const double nan = std::nan("");
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    double value;
    int decimals;
    std::string text;
  } cases[] = {
      {12.5, 1, "1250"}, {1.234, 3, "123.4"}, {0, 0, "0"},          {-7, 0, "700"},
      {0.001, 3, "0.1"}, {0.0001, 4, "0.01"}, {1.005, 3, "100.5"},  {15.5, 1, "1550"},
      {0.07, 2, "7"},    {2.5, 0, "250"},     {1e20, 0, "10000000000000000000000"},
      {nan, 0, ""},      {inf, 2, ""},        {-inf, 2, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.value << " " << c.decimals);
    EXPECT_EQ(CalculatorResultText(c.value, c.decimals), c.text);
  }
}

TEST(CalculatorMachineTest, DivisionByZeroShowsAnErrorUntilTheNextClear) {
  for (std::string keys : {"5/0=", "0/0=", "9/0+1="}) {
    SCOPED_TRACE(keys);
    CalculatorState s;
    Press(s, keys);
    EXPECT_FALSE(std::isfinite(s.entry));
    EXPECT_EQ(CalculatorMachine(s).Result(), "");
    // Backspace and T leave the error as it is; C clears it whatever came before.
    Press(s, "<T");
    EXPECT_FALSE(std::isfinite(s.entry));
    Press(s, "C");
    EXPECT_EQ(s.entry, 0);
    EXPECT_EQ(s.accumulator, 0);
    Press(s, "2+2=");
    EXPECT_EQ(s.accumulator, 4);
  }
  // A percentage that overflows while typing: the digits after it are refused, not looped on.
  CalculatorState typing;
  Press(typing, "1/0+5%");
  EXPECT_TRUE(typing.typing);
  EXPECT_FALSE(std::isfinite(typing.entry));
  Press(typing, "7.3<");
  EXPECT_FALSE(std::isfinite(typing.entry));
  Press(typing, "C");
  EXPECT_EQ(typing.entry, 0);

  // An overflow is an error too.
  CalculatorState big;
  Press(big, "999999999999999*999999999999999=*****");
  EXPECT_FALSE(std::isfinite(big.accumulator));
  EXPECT_EQ(CalculatorMachine(big).Result(), "");
}

TEST(CalculatorMachineTest, TheTapeKeepsItsNewest22Lines) {
  CalculatorState s;
  for (int i = 1; i <= 30; ++i) Press(s, std::to_string(i) + "+");
  EXPECT_EQ(s.tapeStart, kCalculatorTopTapeStart);
  EXPECT_EQ(s.tape.front().value, 9);
  EXPECT_EQ(s.tape.back().value, 30);
  EXPECT_EQ(s.accumulator, 465);
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
  for (int d : {-5, 0, 1, 7, 15, 19, 20, 21, 99}) {
    EXPECT_EQ(CalculatorPicture(true, d).size(), 22u) << d;
  }
}

}  // namespace
}  // namespace tui
