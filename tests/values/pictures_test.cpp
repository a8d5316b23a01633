#include <cmath>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "tests/values/fakes.h"
#include "values/pictures.h"

namespace {

using values::NumberCharacters;

struct PictureCase {
  const char* picture;
  double value;
  const char* expected;
};

std::string Bracket(const std::string& s) { return "[" + s + "]"; }

void CheckPictures(const PictureCase* begin, const PictureCase* end, const NumberCharacters& chars) {
  for (const PictureCase* c = begin; c != end; ++c) {
    std::string out = values::FormatPicture(c->picture, c->value, chars);
    EXPECT_EQ(Bracket(out), Bracket(c->expected)) << "picture " << c->picture << " value " << c->value;
    EXPECT_EQ(out.size(), std::string_view(c->picture).size());
  }
}

TEST(FormatPicture, DigitsFillAndGrouping) {
  const PictureCase cases[] = {
      {"Z,ZZ9", 5, "    5"},
      {"Z,ZZ9", 1234, "1.234"},
      {"Z,ZZ9", 234, "  234"},
      {"ZZ9.99", 3.14159, "  3'14"},
      {"ZZ9.99", 0, "  0'00"},
      {"ZZ9.99", 0.4, "  0'40"},
      {"ZZ9.ZZ", 3, "  3   "},   // trailing zeros blanked, and the point with them
      {"ZZ9.ZZ", 3.1, "  3'1 "},
      {"ZZ9.ZZ", 3.01, "  3'01"},
      {"ZZZ", 0, "   "},
      {"ZZZ", 0.4, "  0"},       // rounds to 0 but is not 0
      {"ZZZ", 10, " 10"},
      {"zzz", 7, "  7"},
      {"+ZZ9", 5, "+  5"},
      {"***,**9.99", 1234.5, "**1.234'50"},
      {"***,**9.99", 5, "******5'00"},
      {"999,999", 5, "000.005"},
      {"9", 7, "7"},
      {"Fr ZZ9 x", 42, "Fr  42 x"},  // other characters are kept
      {"", 12, ""},
  };
  CheckPictures(std::begin(cases), std::end(cases), NumberCharacters{});
}

TEST(FormatPicture, TiesToEvenOnTheScaledValue) {
  const PictureCase cases[] = {
      {"9", 2.5, "2"},       {"9", 3.5, "4"},       {"9", 0.5, "0"},      {"9", 1.5, "2"},
      {"9", 2.5000001, "3"}, {"9", 2.4999999, "2"}, {"ZZ9.99", 0.125, "  0'12"},
      {"ZZ9.99", 0.375, "  0'38"},                  {"ZZ9.9", 0.25, "  0'2"},
      {"ZZ9.9", 0.75, "  0'8"},
  };
  CheckPictures(std::begin(cases), std::end(cases), NumberCharacters{});
}

TEST(FormatPicture, OverflowShowsThePlainNumberOrBangs) {
  const PictureCase cases[] = {
      {"Z,ZZ9", 12345, "12345"},     // no room for the digits: the plain number
      {"Z,ZZ9", 123456, "!!!!!"},    // not even the integer digits fit
      {"Z,ZZ9", -1234, "-1234"},     // no room for the floating minus
      {"9999", -1234, "!!!!"},       // the minus does not fit either
      {"ZZ9.99", 999.996, "1000'0"}, // rounding carries over; decimals cut at the right
      {"ZZ9.99", 12345.678, "12345'"},
      {"ZZ9.99", 123456.7, "123456"},
      {"ZZ9.99", 1234567, "!!!!!!"},
      {"99", 100, "!!"},
      {"$999", -123, "-123"},        // only a literal was left for the minus
      {"9.99", -1.5, "-1'5"},        // no integer position left for it
      {"9", -0.4, "0"},              // rounds to 0: nothing is lost without the minus
  };
  CheckPictures(std::begin(cases), std::end(cases), NumberCharacters{});
}

TEST(FormatPicture, NegativeNumbersAndTheFloatingMinus) {
  const PictureCase cases[] = {
      {"Z,ZZ9", -5, "   -5"},
      {"Z,ZZ9", -234, " -234"},    // the minus takes the free "," position
      {"ZZ9-", -5, "  5-"},        // a trailing sign: never a floating minus
      {"ZZ9-", 5, "  5 "},
      {"-ZZ9", -5, "-  5"},
      {"+ZZ9", -5, "-  5"},
      {"ZZ9.99-", -1.5, "  1'50-"},
      {"ZZ9.99+", 1.5, "  1'50+"},
      {"9999", -12, "0-12"},       // the first free position left of the digits
      {"ZZ9.99", -0.001, "  -'00"},  // negative though it rounds to 0
      {"ZZ9.99", -3.5, " -3'50"},
      {"***9", -5, "**-5"},
      {"***,*99.99", -50, "****-50'00"},  // the fill left of a "*" minus is asterisks
      {"***,*99.99", -1234.5, "*-1.234'50"},
      {"*,**9", -5, "***-5"},
      {"ZZ,Z9", -5, "   -5"},           // and left of a "Z" minus, blanks
      {"ZZ,Z9.99", -5, "   -5'00"},
      {"Z,ZZ9.99", -5, "   -5'00"},
      {"ZZZ", -0.0, "   "},        // negative zero is not negative
  };
  CheckPictures(std::begin(cases), std::end(cases), NumberCharacters{});
}

TEST(FormatPicture, ValuesThatAreNotNumbers) {
  EXPECT_EQ(values::FormatPicture("ZZ9.99", std::nan(""), {}), "!!!!!!");
  EXPECT_EQ(values::FormatPicture("ZZ9", std::numeric_limits<double>::infinity(), {}), "!!!");
  EXPECT_EQ(values::FormatPicture("Z", -std::numeric_limits<double>::infinity(), {}), "!");
  // Huge values and pictures with hundreds of decimals stay bounded and exact in length.
  std::string wide = "9." + std::string(500, '9');
  EXPECT_EQ(values::FormatPicture(wide, 1.5, {}).size(), wide.size());
  EXPECT_EQ(values::FormatPicture(wide, 1.5, {}).substr(0, 4), "1'50");
  // The integer digits of 1e300 fit the picture; its decimals are cut at the right.
  std::string huge = values::FormatPicture(wide, 1e300, {});
  EXPECT_EQ(huge.size(), wide.size());
  EXPECT_EQ(huge.substr(0, 10), "1000000000");
  EXPECT_EQ(huge[301], '\'');
  EXPECT_EQ(values::FormatPicture("ZZ9", 1e300, {}), "!!!");
}

TEST(FormatDecimalPicture, ExactDigitsBeyondWhatADoubleHolds) {
  struct Case {
    const char* picture;
    bool negative;
    const char* digits;
    int decimals;
    const char* expected;
  } cases[] = {
      {"-Z,ZZZ,ZZZ,ZZZ,ZZZ,ZZ9", false, "9007199254740993", 0, " 9.007.199.254.740.993"},
      {"-Z,ZZZ,ZZZ,ZZZ,ZZZ,ZZ9", true, "9999999999999999", 0, "-9.999.999.999.999.999"},
      {"-,ZZ9.9999999999999999", false, "1234567890123456", 16, "    0'1234567890123456"},
      {"ZZ,ZZ9.99", true, "1234567", 3, "-1.234'57"},  // rounded to the picture's decimals
      {"ZZ9.99", false, "125", 3, "  0'12"},          // ties to the even digit
      {"ZZ9.99", false, "0125", 3, "  0'12"},         // leading zeros are allowed
      {"ZZ9.99", false, "995", 3, "  1'00"},
      {"ZZ9.99", false, "12", 0, " 12'00"},
      {"ZZ9.ZZ", true, "000", 2, "  0   "},           // zero is never negative
      {"ZZ9", false, "12a", 0, "!!!"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Bracket(values::FormatDecimalPicture(c.picture, c.negative, c.digits, c.decimals, {})),
              Bracket(c.expected))
        << c.picture << " " << c.digits;
  }
  // Where a double holds the value exactly, both formatters agree.
  for (const char* picture : {"Z,ZZ9", "***,**9.99", "9999", "ZZ9.ZZ", "$999", "9.99", "-ZZ9"}) {
    for (int cents : {0, 5, -5, 150, -150, 123456, -99, 100000}) {
      const std::string digits = std::to_string(std::abs(cents));
      EXPECT_EQ(values::FormatDecimalPicture(picture, cents < 0, digits, 2, {}),
                values::FormatPicture(picture, cents / 100.0, {}))
          << picture << " " << cents;
    }
  }
}

TEST(FormatPicture, OtherDecimalAndThousandsCharacters) {
  const PictureCase cases[] = {
      {"Z,ZZZ,ZZ9.99", 1234567.891, "1.234.567,89"},
      {"ZZ9.ZZ", 3, "  3   "},
      {"***,**9.99", 1234.5, "**1.234,50"},
  };
  CheckPictures(std::begin(cases), std::end(cases), NumberCharacters{',', '.'});
  const PictureCase spaced[] = {
      {"Z,ZZZ,ZZ9.99", 1234567.891, "1 234 567.89"},
  };
  CheckPictures(std::begin(spaced), std::end(spaced), NumberCharacters{'.', ' '});
}

TEST(FormatAmount, BuildsThePictureOfCents) {
  EXPECT_EQ(values::AmountPicture("Z,ZZZ,ZZZ,ZZ9", 123456), "ZZ,ZZZ,ZZ9.99");
  EXPECT_EQ(values::AmountPicture("ZZZZZZ", 5), "ZZ9.99");
  EXPECT_EQ(values::AmountPicture("ZZZZZZ", 0), "ZZZ.ZZ");
  EXPECT_EQ(values::AmountPicture("******9", 0), "***9.99");
  EXPECT_EQ(values::AmountPicture("-ZZZZZZ", 1), "-ZZ9.99");
  EXPECT_EQ(values::AmountPicture("ZZZZZ9-", 1), "ZZ9.99-");
  EXPECT_EQ(values::AmountPicture("ZZZZZZ.9", 1), "ZZZ9.999");
  EXPECT_EQ(values::AmountPicture("Z,ZZZ,ZZ9", 1), "ZZ,ZZ9.99");
  EXPECT_EQ(values::AmountPicture("", 1), "");
  EXPECT_EQ(values::AmountPicture("9", 1), "9");

  struct Case {
    const char* picture;
    double cents;
    const char* expected;
  } cases[] = {
      {"Z,ZZZ,ZZZ,ZZ9", 123456, "     1.234'56"},
      {"Z,ZZZ,ZZZ,ZZ9", 0, "         0'00"},
      {"Z,ZZZ,ZZZ,ZZ9", -5, "         -'05"},  // the floating minus takes the units
      {"Z,ZZZ,ZZZ,ZZ9", -123456, "    -1.234'56"},
      {"ZZZZZZ", 0, "      "},
      {"ZZZZZZ", 7, "  0'07"},
      {"ZZZZZZ", 12345678, "123456"},           // overflow: plain number, decimals cut
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Bracket(values::FormatAmount(c.picture, c.cents, {})), Bracket(c.expected))
        << c.picture << " " << c.cents;
  }
  EXPECT_EQ(Bracket(values::FormatAmount("Z,ZZZ,ZZZ,ZZ9", 123456, {',', '.'})),
            "[     1.234,56]");
}

TEST(FormatPicture, CharactersComeFromTheSettingsOnce) {
  values_test::Fixture f(2026);
  f.settings.values["Usuari/DecCaracter"] = ",x";
  f.settings.values["Usuari/MilCaracter"] = ".";
  EXPECT_EQ(f.values.FormatAmount("Z,ZZZ,ZZZ,ZZ9", 123456), "     1.234,56");
  f.settings.values["Usuari/DecCaracter"] = "'";
  EXPECT_EQ(f.values.FormatPicture("ZZ9.99", 1.5), "  1,50");
  EXPECT_EQ(f.settings.reads.size(), 2u);

  values_test::Fixture d(2026);  // nothing set: "'" and "."
  EXPECT_EQ(d.values.FormatPicture("Z,ZZ9.99", 1200.5), "1.200'50");
}

TEST(CheckNumberText, SignsPointsAndOtherCharacters) {
  struct Case {
    const char* text;
    const char* allowed;
    bool refused;
  } cases[] = {
      {"12", "", false},     {"", "", false},       {"  ", "", false},    {"1 2", "", false},
      {"12.5", "", true},    {"12.5", ".", false},  {"1.2.3", ".", true}, {"-1", "", true},
      {"-1", "-", false},    {"+1", "-", false},    {"+1", "+", false},   {"1-", "-", true},
      {"--1", "-", true},    {".-1", ".-", true},   {"-.5", ".-", false}, {" - 1 ", "-", false},
      {"1a", ".-", true},    {"1,5", ".", true},    {"1e5", ".", true},   {"-", "-", false},
      {"1-2", "-", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(values::CheckNumberText(c.text, c.allowed), c.refused)
        << '"' << c.text << "\" allowed \"" << c.allowed << '"';
  }
}

TEST(CheckNumberRange, HugeNumbersAreOutOfRange) {
  EXPECT_TRUE(values::CheckNumberRange(std::string(400, '9'), 0, 1e9, 0));
  EXPECT_FALSE(values::CheckNumberRange("0." + std::string(400, '0') + "1", 0, 1, 2));
}

TEST(CheckNumberRange, RangeDecimalsAndRefusedShapes) {
  struct Case {
    const char* text;
    double minimum;
    double maximum;
    int decimals;
    bool refused;
  } cases[] = {
      {"12.5", 0, 100, 0, true},    // no point allowed without decimals
      {"12.5", 0, 100, 1, false},
      {"-1", 0, 100, 0, true},      // no sign allowed with a non-negative minimum
      {"-1", -5, 100, 0, false},
      {"1-2", -5, 100, 0, true},
      {"", 0, 100, 0, false},       // blank is 0
      {"   ", 1, 100, 0, true},
      {"100", 0, 100, 0, false},
      {"101", 0, 100, 0, true},
      {"100.004", 0, 100, 2, false},  // rounds to 100.00
      {"100.006", 0, 100, 2, true},
      {"99.996", 0, 99.99, 2, true},
      {"-5", -5, 0, 0, false},
      {"-6", -5, 0, 0, true},
      {"5", 10, 1, 0, true},        // maximum below minimum
      {"5", 0, 10, -1, true},
      {"5", 0, 10, 17, true},
      {"5", 0, 10, 16, false},
      {"5", std::nan(""), 10, 0, true},
      {"1 2", 0, 12, 0, false},     // blanks inside skipped: 12
      {"1 3", 0, 12, 0, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(values::CheckNumberRange(c.text, c.minimum, c.maximum, c.decimals), c.refused)
        << '"' << c.text << "\" " << c.minimum << ".." << c.maximum << " decimals " << c.decimals;
  }
}

}  // namespace
