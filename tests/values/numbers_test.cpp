#include <cmath>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "tests/values/fakes.h"
#include "values/numbers.h"

namespace {

using values::NumberText;
using values_test::Bytes;

struct NumberTextCase {
  double value;
  const char* format;
  const char* expected;
};

TEST(NumberText, FormatsWidthsSignsAndRounding) {
  const NumberTextCase cases[] = {
      {12.5, "", "12.5"},
      {0.25, "", ".25"},
      {0.05, "", ".05"},
      {-3, "", "-3"},
      {0, "", ""},
      {0, "Z", "0"},
      {0, "3", "000"},
      {0.25, "Z", "0.25"},
      {2.5, "1", "2"},      // ties to even
      {3.5, "1", "4"},
      {0.125, ".2", ".12"},
      {0.375, ".2", ".38"},
      {123, "2", "23"},     // cut, not widened
      {7, "3S", "+07"},
      {-7, "3", "-07"},     // the sign takes the first digit's place
      {-7, "", "-7"},
      {-7, "S", "-7"},      // S only marks zero and positive numbers
      {-7, "3N", "N07"},
      {7, "3N", "007"},
      {7, "3M", " 07"},
      {-7, "M", "N7"},
      {1234.5678, "6.2", "001234.57"},
      {1234.5, "6.2V", "00123450"},
      {-12.5, "5.2s", "-0012.50"},
      {12.5, ".0", "12"},   // a point alone rounds to an integer (12.5 -> 12)
      {13.5, ".0", "14"},
      {99.99, "x.1y", "100.0"},  // other characters ignored
      {1e20, "", "100000000000000000000"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(NumberText(c.value, c.format), c.expected) << c.value << " format \"" << c.format << "\"";
  }
}

TEST(NumberText, ShortFormIsTheEmptyFormat) {
  EXPECT_EQ(NumberText(42.75), "42.75");
  EXPECT_EQ(NumberText(-0.5), "-.5");
}

TEST(NumberText, ValuesThatNeverClearTheirFractionEndBounded) {
  // Not finite: counted as 0.
  EXPECT_EQ(NumberText(std::numeric_limits<double>::infinity(), ""), "");
  EXPECT_EQ(NumberText(-std::numeric_limits<double>::infinity(), "Z"), "0");
  EXPECT_EQ(NumberText(std::nan(""), "3"), "000");
  // The smallest double needs hundreds of decimals: bounded, and still reads back.
  double tiny = std::numeric_limits<double>::denorm_min();
  std::string text = NumberText(tiny, "");
  ASSERT_LE(text.size(), static_cast<std::size_t>(values::kMaxNumberTextDigits) + 2);
  EXPECT_EQ(text.substr(0, 4), ".000");
  EXPECT_GT(values::NumberValue(text), 0.0);
  // A third has no short decimal form; the text is the digits the double really holds.
  std::string third = NumberText(1.0 / 3.0, "");
  EXPECT_EQ(third.substr(0, 6), ".33333");
  EXPECT_LT(third.size(), 30u);
  // Absurd widths are clamped rather than overflowing.
  EXPECT_EQ(NumberText(5, "99999999999999999999").size(),
            static_cast<std::size_t>(values::kMaxNumberTextDigits));
  EXPECT_EQ(NumberText(1e300, ".999999999").size(), 302u + values::kMaxNumberTextDigits);
}

TEST(ZeroPaddedDigits, PadsCutsAndDropsSignAndFraction) {
  EXPECT_EQ(values::ZeroPaddedDigits(7, 3), "007");
  EXPECT_EQ(values::ZeroPaddedDigits(-123, 2), "23");
  EXPECT_EQ(values::ZeroPaddedDigits(9.99, 2), "09");
  EXPECT_EQ(values::ZeroPaddedDigits(0, 4), "0000");
  EXPECT_EQ(values::ZeroPaddedDigits(5, 0), "");
  EXPECT_EQ(values::ZeroPaddedDigits(5, -3), "");
  EXPECT_EQ(values::ZeroPaddedDigits(std::nan(""), 2), "00");
}

TEST(BaseHundred, DigitsOfEachByte) {
  EXPECT_EQ(values::BaseHundredDigits(Bytes({128 + 19, 128 + 99})), "1999");
  EXPECT_EQ(values::BaseHundredDigits(Bytes({200})), "72");  // bit 7 ignored
  EXPECT_EQ(values::BaseHundredDigits(Bytes({5})), "05");
  EXPECT_EQ(values::BaseHundredDigits(Bytes({123})), "23");  // last two digits of 123
  EXPECT_EQ(values::BaseHundredDigits(Bytes({255})), "27");
  EXPECT_EQ(values::BaseHundredDigits(""), "");
}

TEST(BaseHundred, PackingAlignsDigitsRight) {
  struct Case {
    const char* digits;
    std::string bytes;
  } cases[] = {
      {"2026", Bytes({148, 154})},
      {"   ", Bytes({128, 128})},
      {"123", Bytes({140, 158})},         // odd length: last digit in the tens place
      {" 12", Bytes({129, 148})},         // blanks trimmed, right-aligned: "012"
      {"12 ", Bytes({129, 148})},
      {"1 2", Bytes({138, 148})},         // inner blank becomes 0: "102"
      {"a9", Bytes({128 + 9})},           // a non-digit counts as 0
      {"", ""},
      {"00000000", Bytes({128, 128, 128, 128})},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(values::BaseHundredPack(c.digits), c.bytes) << '"' << c.digits << '"';
  }
}

TEST(BaseHundred, PackingAndDigitsRoundTripInNumericOrder) {
  std::string previous;
  for (int n = 0; n <= 9999; n += 7) {
    std::string digits = values::ZeroPaddedDigits(n, 4);
    std::string packed = values::BaseHundredPack(digits);
    ASSERT_EQ(values::BaseHundredDigits(packed), digits);
    // Unsigned byte order is numeric order.
    if (!previous.empty()) {
      ASSERT_LT(std::string_view(previous).compare(packed), 0) << n;
    }
    previous = packed;
  }
}

TEST(PackedDateText, TwoDigitYearsOnlyInsideTheWindow) {
  const int now = 2026;
  auto date = [](int century, int year, int month, int day) {
    return Bytes({128 + century, 128 + year, 128 + month, 128 + day});
  };
  EXPECT_EQ(values::PackedDateText(date(20, 26, 4, 5), now), "050426");
  EXPECT_EQ(values::PackedDateText(date(20, 75, 12, 31), now), "311275");  // now + 49
  EXPECT_EQ(values::PackedDateText(date(20, 76, 1, 1), now), "01012076");  // now + 50
  EXPECT_EQ(values::PackedDateText(date(19, 76, 1, 1), now), "010176");    // now - 50: inside
  EXPECT_EQ(values::PackedDateText(date(19, 75, 1, 1), now), "01011975");  // now - 51
  EXPECT_EQ(values::PackedDateText(date(0, 0, 0, 0), now), "");            // the empty date
  EXPECT_EQ(values::PackedDateText(date(20, 26, 0, 5), now), "050026");
  // A three-byte date: a one-byte year, never in a present-day window.
  EXPECT_EQ(values::PackedDateText(Bytes({128 + 26, 128 + 4, 128 + 5}), now), "05040026");
  EXPECT_EQ(values::PackedDateText(Bytes({128 + 5}), now), "05000000");
  EXPECT_EQ(values::PackedDateText("", now), "");
  // A long year field keeps its last four digits and is never in the window.
  EXPECT_EQ(values::PackedDateText(Bytes({129, 128, 128, 148, 154, 132, 133}), now), "05042026");
  // The window moves with the current year.
  EXPECT_EQ(values::PackedDateText(date(19, 76, 1, 1), 2027), "01011976");
}

TEST(PackedDateText, ReadsTheClockThroughValues) {
  values_test::Fixture f(2026);
  std::string field = Bytes({128 + 19, 128 + 80, 128 + 2, 128 + 29});
  EXPECT_EQ(f.values.PackedDateText(field), "290280");
  f.clock.now.year = 2031;
  EXPECT_EQ(f.values.PackedDateText(field), "29021980");
}

TEST(AllSame, EmptyAndUniformTexts) {
  EXPECT_TRUE(values::AllSame("   ", ' '));
  EXPECT_TRUE(values::AllSame("", ' '));
  EXPECT_FALSE(values::AllSame("  x", ' '));
  EXPECT_TRUE(values::AllSame("\x80\x80", 0x80));
  EXPECT_FALSE(values::AllSame("\x80", 0x00));
}

TEST(NumberValue, ReadsDecimalTextWithBlanksSkipped) {
  struct Case {
    const char* text;
    double value;
  } cases[] = {
      {"", 0},         {"   ", 0},       {"12", 12},     {"1 2", 12},     {" -12.50 ", -12.5},
      {"+3", 3},       {".5", 0.5},      {"5.", 5},      {"-", 0},        {".", 0},
      {"12a3", 12},    {"1.2.3", 1.2},   {"--1", 0},     {"1-2", 1},      {"0.1", 0.1},
      {"abc", 0},      {"- 4 . 2 5", -4.25},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(values::NumberValue(c.text), c.value) << '"' << c.text << '"';
  }
  EXPECT_EQ(values::NumberValue(std::string(400, '9')), HUGE_VAL);
  EXPECT_EQ(values::NumberValue("0." + std::string(400, '0') + "1"), 0.0);
}

}  // namespace
