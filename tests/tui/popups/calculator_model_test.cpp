// The adding machine against a model of it written here with exact rationals: random key
// sequences, and after every key the display's text and what F would return must agree.
#include <gtest/gtest.h>

#include <boost/multiprecision/cpp_int.hpp>
#include <random>
#include <string>

#include "tests/tui/popups/popups_test_rig.h"
#include "tui/popups/calculator.h"

namespace tui {
namespace {

using boost::multiprecision::cpp_int;
using boost::multiprecision::cpp_rational;

cpp_int Ten(int n) {
  cpp_int p = 1;
  for (int i = 0; i < n; ++i) p *= 10;
  return p;
}

cpp_int Trunc(const cpp_rational& v) { return numerator(v) / denominator(v); }  // towards zero

// Nearest whole number, halves away from zero.
cpp_int RoundAway(const cpp_rational& v) {
  const cpp_rational twice = abs(v) * 2 + 1;
  const cpp_int magnitude = numerator(twice) / (denominator(twice) * 2);
  return v < 0 ? cpp_int(-magnitude) : magnitude;
}

int IntegerDigitsOf(const cpp_rational& v) {
  cpp_int whole = abs(Trunc(v));
  int n = 0;
  for (; whole != 0; whole /= 10) ++n;
  return n;
}

// The model: the machine as its description reads, on exact rationals.
struct Model {
  cpp_rational entry = 0;
  cpp_rational accumulator = 0;
  bool entryError = false;
  bool accumulatorError = false;
  bool cleared = true;
  bool typing = false;
  bool hasPoint = false;
  int decimals = 0;
  char pending = 0;

  struct Normalised {
    cpp_rational value;
    int decimals = 0;
    bool error = false;
  };

  // Multiply by 10 while there is a fraction and decimals + integer digits is below 15, round
  // to nearest, drop trailing zeros; 10^22 or more is an error.
  static Normalised Normalise(const cpp_rational& v) {
    const int n = IntegerDigitsOf(v);
    cpp_rational x = v;
    int d = 0;
    while (denominator(x) != 1 && d + n < 15) {
      x *= 10;
      ++d;
    }
    cpp_int units = RoundAway(x);
    while (d > 0 && units % 10 == 0) {
      units /= 10;
      --d;
    }
    Normalised out{cpp_rational(units, Ten(d)), d, false};
    out.error = abs(out.value) >= cpp_rational(Ten(22));
    return out;
  }

  void SetEntry(const Normalised& n, bool error) {
    entryError = error || n.error;
    entry = entryError ? cpp_rational(0) : n.value;
    decimals = entryError ? 0 : n.decimals;
    hasPoint = decimals > 0;
  }

  void ClearAll() {
    *this = Model{};
  }

  void Key(char k) {
    if (k >= '0' && k <= '9') {
      if (!typing) StartEntry();
      typing = true;
      if (entryError) return;
      const int used = IntegerDigitsOf(entry) + (hasPoint ? decimals : 0);
      if (used >= 16) return;
      const int digit = k - '0';
      const int sign = entry < 0 ? -1 : 1;
      if (!hasPoint) {
        entry = entry * 10 + sign * digit;
      } else {
        ++decimals;
        entry += cpp_rational(sign * digit, Ten(decimals));
      }
    } else if (k == '.') {
      if (!typing) StartEntry();
      typing = true;
      if (!hasPoint && !entryError && IntegerDigitsOf(entry) <= 15) {
        hasPoint = true;
        decimals = 0;
      }
    } else if (k == '<') {
      if (entryError) return;
      if (!hasPoint) {
        entry = Trunc(entry / 10);
      } else if (decimals == 0) {
        hasPoint = false;
      } else {
        --decimals;
        entry = cpp_rational(Trunc(entry * Ten(decimals)), Ten(decimals));
      }
      typing = typing && entry != 0;
    } else if (k == 'T') {
      entry = -entry;
    } else if (k == 'C') {
      if (entryError || accumulatorError) {
        ClearAll();
      } else if (typing) {
        typing = false;
        SetEntry(Normalise(accumulator), false);
      } else if (!cleared) {
        ClearAll();
      }
    } else if (k == 'R') {
      if (entryError) return;
      const cpp_rational x = abs(entry) * 100;
      cpp_int whole = Trunc(x);
      const cpp_rational fraction = x - whole;
      if (fraction > cpp_rational(1, 2) || (fraction == cpp_rational(1, 2) && whole % 2 == 1)) ++whole;
      entry = cpp_rational(entry < 0 ? cpp_int(-whole) : whole, 100);
      accumulator = entry;
      accumulatorError = false;
      hasPoint = true;
      decimals = 2;
    } else if (k == '%') {
      if (pending == '+' || pending == '-') {
        SetEntry(Normalise(accumulator / 100 * entry), entryError || accumulatorError);
      } else {
        SetEntry(Normalise(entry / 100), entryError);
      }
    } else {  // + - * / =
      if (k == '=' && !typing) return;
      bool error = entryError || accumulatorError;
      cpp_rational result = entry;
      if (pending == '+') result = accumulator + entry;
      if (pending == '-') result = accumulator - entry;
      if (pending == '*') result = accumulator * entry;
      if (pending == '/') {
        if (entry == 0) {
          error = true;
        } else {
          result = accumulator / entry;
        }
      }
      const Normalised n = Normalise(error ? cpp_rational(0) : result);
      accumulatorError = error || n.error;
      accumulator = accumulatorError ? cpp_rational(0) : n.value;
      SetEntry(n, accumulatorError);
      typing = false;
      cleared = false;
      pending = k == '=' ? 0 : k;
    }
  }

  void StartEntry() {
    entry = 0;
    entryError = false;
    hasPoint = false;
    decimals = 0;
  }

  // The display: "-" and the last characters of "Z,ZZZ,ZZZ,ZZZ,ZZZ,ZZ9" leaving room for the
  // point and the decimals, laid out by the installation's picture formatter.
  std::string Display(values::Values& values) const {
    if (entryError) return std::string(17, ' ') + "ERROR";
    const std::string digitsPicture = "Z,ZZZ,ZZZ,ZZZ,ZZZ,ZZ9";
    std::string picture = "-";
    if (hasPoint) {
      picture += digitsPicture.substr(digitsPicture.size() - static_cast<std::size_t>(20 - decimals));
      picture += "." + std::string(static_cast<std::size_t>(decimals), '9');
    } else {
      picture += digitsPicture;
    }
    const cpp_int units = abs(Trunc(entry * Ten(decimals)));
    return values.FormatDecimalPicture(picture, entry < 0, units.str(), decimals);
  }

  // F: the amount in hundredths, without a sign.
  std::string Result() const {
    if (typing ? entryError : accumulatorError) return "";
    const cpp_rational value = abs(typing ? entry : accumulator);
    int d = std::max(decimals, 2);
    if (!typing) d = std::max(d, Normalise(accumulator).decimals);
    const std::string digits = RoundAway(value * Ten(d)).str();
    if (d == 2) return digits;
    const std::size_t tail = static_cast<std::size_t>(d - 2);
    const std::string padded = digits.size() < tail ? std::string(tail - digits.size(), '0') + digits : digits;
    return padded.substr(0, padded.size() - tail) + "." + padded.substr(padded.size() - tail);
  }
};

KeyCode KeyFor(char k) { return k == '<' ? key::kBackspace : static_cast<KeyCode>(k); }

TEST(CalculatorModelTest, RandomKeySequencesAgreeWithTheModel) {
  popups_test::PopupsRig rig;
  // Digits most often, so that amounts grow long; every other key now and then.
  const std::string keys = "0123456789012345678901234567890123456789..++--**//==%%RCCT<<";
  std::mt19937 random(20261209);
  std::uniform_int_distribution<std::size_t> pick(0, keys.size() - 1);
  std::uniform_int_distribution<int> length(5, 60);
  int errors = 0;
  for (int sequence = 0; sequence < 400; ++sequence) {
    CalculatorState state;
    CalculatorMachine machine(state);
    Model model;
    std::string pressed;
    const int count = length(random);
    for (int i = 0; i < count; ++i) {
      const char k = keys[pick(random)];
      pressed += k;
      machine.HandleKey(KeyFor(k));
      model.Key(k);
      const std::string shown = CalculatorValueText(state.entry, state.hasPoint, state.decimals, rig.values);
      ASSERT_EQ(shown, model.Display(rig.values)) << "keys: " << pressed;
      ASSERT_EQ(machine.Result(), model.Result()) << "keys: " << pressed;
    }
    errors += model.entryError ? 1 : 0;
  }
  // The sequences reach the error state sometimes, not always.
  EXPECT_GT(errors, 0);
  EXPECT_LT(errors, 200);
}

}  // namespace
}  // namespace tui
