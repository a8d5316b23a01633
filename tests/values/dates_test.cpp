#include <chrono>
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "tests/values/fakes.h"
#include "values/dates.h"

namespace {

using values::PackDate;
using values::PackedDate;
using values_test::Show;

struct ParseCase {
  const char* text;
  const char* expected;  // yyyy-mm-dd of the packed date
};

TEST(ParseDate, ShortYearsFallIntoTheWindowOfTheCurrentYear) {
  const int now = 2026;
  const ParseCase cases[] = {
      {"1/2/75", "2075-02-01"},  // 2075 - 2026 = 49: kept
      {"1/2/76", "1976-02-01"},  // 50: a century back
      {"1/2/77", "1977-02-01"},
      {"1/2/26", "2026-02-01"},
      {"1/2/0", "2000-02-01"},
      {"1/2/99", "1999-02-01"},
      {"1.2.2099", "2099-02-01"},  // given in full: no window
      {"1-2-1875", "1875-02-01"},
      {"5/4/ 26 ", "2026-04-05"},  // blanks around the year do not make it long
      {"5/4/2 026", "2026-04-05"},  // blanks inside are skipped
      {"010203", "2003-02-01"},     // no separators: dd mm yy
      {"01022003", "2003-02-01"},
      {"31.02.2026", "2026-02-31"},  // no range check here
      {"0/5/26", "0026-05-00"},      // day 0: no window
      {"5/0/26", "0026-00-05"},
      {"5/4/123", "2023-04-05"},     // three characters are still a short year
      {"1/2/12345", "2345-02-01"},   // only the last four digits are packed
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Show(values::ParseDate(c.text, now)), c.expected) << c.text;
  }
}

TEST(ParseDate, UnreadableTextsGiveTheEmptyDate) {
  const char* unreadable[] = {
      "1.2.3.4", "1/2", "1/2/x", "a", "1/2/3/", "12 3 4x", "1,2,3",
      // A component that does not fit 16 bits is unreadable, never a date.
      "1/2/32768", "1/99999/2026", "99999/1/2026", "0102999999",
  };
  for (const char* text : unreadable) {
    EXPECT_EQ(values::ParseDate(text, 2026), values::kEmptyDate) << text;
    EXPECT_TRUE(values::CheckDate(text, 2026)) << text;
  }
  EXPECT_EQ(Show(values::ParseDate("1/2/32767", 2026)), "2767-02-01");
  EXPECT_EQ(values::ParseDate("", 2026), values::kEmptyDate);
  EXPECT_EQ(values::ParseDate("//", 2026), values::kEmptyDate);
  // Empty components read as 0: readable, but no date.
  EXPECT_EQ(Show(values::ParseDate("1//", 2026)), "0000-00-01");
  EXPECT_TRUE(values::CheckDate("1//", 2026));
}

TEST(ParseDate, WindowMovesWithTheClock) {
  values_test::Fixture f(2026);
  EXPECT_EQ(Show(f.values.ParseDate("1/2/76")), "1976-02-01");
  f.clock.now.year = 2027;
  EXPECT_EQ(Show(f.values.ParseDate("1/2/76")), "2076-02-01");
  EXPECT_EQ(Show(f.values.ParseDate("1/2/77")), "1977-02-01");
  f.clock.now.year = 1999;
  EXPECT_EQ(Show(f.values.ParseDate("1/2/48")), "2048-02-01");
  EXPECT_EQ(Show(f.values.ParseDate("1/2/49")), "1949-02-01");
  f.clock.now.year = 2101;
  EXPECT_EQ(Show(f.values.ParseDate("1/2/50")), "2150-02-01");
  EXPECT_EQ(Show(f.values.ParseDate("1/2/51")), "2051-02-01");
}

TEST(CheckDate, WindowIsOneYearWiderAtTheTop) {
  // Leap days tell the centuries apart where one of them is a century year.
  values_test::Fixture f(2026);
  EXPECT_FALSE(f.values.CheckDate("29/2/76"));
  f.clock.now.year = 2025;  // 76 -> 2076 is 51 ahead: 1976, also leap
  EXPECT_FALSE(f.values.CheckDate("29/2/76"));
  // 2100 is not a leap year, 2000 is: the short year 00 lands on one or the other.
  f.clock.now.year = 2050;  // 00 -> 2000 (50 back, inside)
  EXPECT_FALSE(f.values.CheckDate("29/2/00"));
  f.clock.now.year = 2051;  // 00 -> 2100 (49 ahead)
  EXPECT_TRUE(f.values.CheckDate("29/2/00"));
  f.clock.now.year = 2049;  // 00 -> 2000
  EXPECT_FALSE(f.values.CheckDate("29/2/00"));
  // The top of CheckDate's window (+50) is outside ParseDate's (+49).
  f.clock.now.year = 2050;
  EXPECT_EQ(Show(f.values.ParseDate("29/2/00")), "2000-02-29");
  f.clock.now.year = 2150;  // 00 -> 2100 for both (50 back for CheckDate, inside)
  EXPECT_TRUE(f.values.CheckDate("29/2/00"));
}

TEST(CheckDate, ValidAndInvalidDates) {
  struct Case {
    const char* text;
    bool invalid;
  } cases[] = {
      {"29/02/2000", false}, {"29/02/1900", true},  {"29/02/1500", true},  // Gregorian rule
      {"29/02/2024", false}, {"29/02/2026", true},  {"28/02/2026", false},
      {"10/10/1582", true},  {"5/10/1582", true},   {"14/10/1582", true},
      {"4/10/1582", false},  {"15/10/1582", false}, {"31/12/9999", false},
      {"1/1/10000", true},   {"1/1/32767", true},                         // above 9999
      {"0/5/2026", true},    {"1/0/2026", true},    {"1/13/2026", true},
      {"31/1/2026", false},  {"32/1/2026", true},   {"31/4/2026", true},  {"30/4/2026", false},
      {"31/5/2026", false},  {"31/6/2026", true},   {"31/7/2026", false}, {"31/8/2026", false},
      {"31/9/2026", true},   {"31/10/2026", false}, {"31/11/2026", true}, {"31/12/2026", false},
      {"310126", false},     {"31012026", false},   {"3101", false},  // no year: 2000
      {"", true},            {"1/2/x", true},       {" 1 / 2 / 2026 ", false},
      {"5/4/123", false},
      // A three-digit year is checked as the year that ParseDate stores: 400 becomes 2300,
      // which is no leap year, though the year 400 was one.
      {"29/2/400", true},    {"29/2/404", false},   {"29/2/100", false},  // 100 -> 2000
  };
  for (const auto& c : cases) {
    EXPECT_EQ(values::CheckDate(c.text, 2026), c.invalid) << c.text;
  }
}

// An independent calendar: day numbers of the proleptic Gregorian calendar from std::chrono,
// and the classic Julian-calendar day number formula.
long GregorianDayNumber(int y, int m, int d) {
  using namespace std::chrono;
  return sys_days{year{y} / month{static_cast<unsigned>(m)} / day{static_cast<unsigned>(d)}}
      .time_since_epoch()
      .count();
}
long JulianDayNumber(int y, int m, int d) {
  long a = (14 - m) / 12;
  long yy = y + 4800 - a;
  long mm = m + 12 * a - 3;
  long jdn = d + (153 * mm + 2) / 5 + 365 * yy + yy / 4 - 32083;
  return jdn - 2440588;  // days from 1970-01-01 (Gregorian), like sys_days
}
// The day count the system uses: Julian years before 1582, Gregorian from 1582, no days
// skipped in October 1582.
long CountingDay(int y, int m, int d) {
  if (y < 1582) return JulianDayNumber(y, m, d) - JulianDayNumber(1582, 1, 1);
  return GregorianDayNumber(y, m, d) - GregorianDayNumber(1582, 1, 1);
}
// The real weekday (1 Monday .. 7 Sunday): Julian before the reform, Gregorian after.
int RealWeekday(int y, int m, int d) {
  bool julian = y < 1582 || (y == 1582 && (m < 10 || (m == 10 && d < 5)));
  long n = julian ? JulianDayNumber(y, m, d) : GregorianDayNumber(y, m, d);
  // 1970-01-01 was a Thursday (4).
  return static_cast<int>(((n + 3) % 7 + 7) % 7) + 1;
}

TEST(Calendar, ReformMonthsMatchTheHistoricalCalendar) {
  // September and October 1582 as the calendars of the time printed them: 1 September was a
  // Saturday, Thursday 4 October was followed by Friday 15 October.
  EXPECT_EQ(values::Weekday(PackDate(1582, 9, 1)), 6);
  for (int d = 1; d <= 30; ++d) {
    EXPECT_EQ(values::Weekday(PackDate(1582, 9, d)), (d + 4) % 7 + 1) << "September " << d;
  }
  for (int d = 1; d <= 4; ++d) {
    EXPECT_EQ(values::Weekday(PackDate(1582, 10, d)), (d + 6) % 7 + 1) << "October " << d;
  }
  for (int d = 15; d <= 31; ++d) {
    EXPECT_EQ(values::Weekday(PackDate(1582, 10, d)), (d - 15 + 4) % 7 + 1) << "October " << d;
  }
  EXPECT_EQ(values::Weekday(PackDate(1582, 10, 4)), 4);
  EXPECT_EQ(values::Weekday(PackDate(1582, 10, 15)), 5);
  EXPECT_EQ(values::Weekday(PackDate(2000, 1, 1)), 6);
  EXPECT_EQ(values::DaysBetween(PackDate(1582, 10, 4), PackDate(1582, 10, 15)), 11);
}

TEST(Calendar, WeekdaysAndDayCountsAgreeWithAnIndependentCalendar) {
  // Every day from 1500 to 1700 and a sample of days up to 9999 against the reference
  // calendars, counted from a fixed day before and after the reform.
  const PackedDate origins[] = {PackDate(1400, 3, 1), PackDate(1582, 10, 15), PackDate(2026, 12, 9)};
  const int originParts[][3] = {{1400, 3, 1}, {1582, 10, 15}, {2026, 12, 9}};
  auto check = [&](int y, int m, int d) {
    const PackedDate date = PackDate(y, m, d);
    ASSERT_EQ(values::Weekday(date), RealWeekday(y, m, d)) << Show(date);
    for (int i = 0; i < 3; ++i) {
      long expected = std::labs(CountingDay(y, m, d) -
                                CountingDay(originParts[i][0], originParts[i][1], originParts[i][2]));
      ASSERT_EQ(values::DaysBetween(date, origins[i]), expected) << Show(date) << " from " << i;
      ASSERT_EQ(values::DaysBetween(origins[i], date), expected) << "symmetric " << Show(date);
    }
  };
  auto julianLeap = [](int y) { return y % 4 == 0; };
  auto gregorianLeap = [](int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; };
  const int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  for (int y = 1500; y <= 1700; ++y) {
    for (int m = 1; m <= 12; ++m) {
      int days = lengths[m - 1] + (m == 2 && (y < 1582 ? julianLeap(y) : gregorianLeap(y)));
      for (int d = 1; d <= days; ++d) {
        if (y == 1582 && m == 10 && d > 4 && d < 15) continue;
        check(y, m, d);
      }
    }
  }
  for (int y = 1; y <= 9999; y += 37) {
    check(y, 1, 1);
    check(y, 2, 28);
    check(y, 12, 31);
  }
}

TEST(Calendar, DaysBetweenSpansYearsAndMonths) {
  EXPECT_EQ(values::DaysBetween(PackDate(2026, 4, 5), PackDate(2026, 4, 5)), 0);
  EXPECT_EQ(values::DaysBetween(PackDate(2026, 1, 1), PackDate(2027, 1, 1)), 365);
  EXPECT_EQ(values::DaysBetween(PackDate(2024, 1, 1), PackDate(2025, 1, 1)), 366);
  EXPECT_EQ(values::DaysBetween(PackDate(1500, 2, 28), PackDate(1500, 3, 1)), 2);  // Julian leap
  EXPECT_EQ(values::DaysBetween(PackDate(1900, 2, 28), PackDate(1900, 3, 1)), 1);
  EXPECT_EQ(values::DaysBetween(PackDate(2026, 12, 31), PackDate(2026, 1, 1)), 364);
}

TEST(Calendar, DamagedAndEmptyDatesStayInRange) {
  // Bytes out of the digit range, the empty date, days past their month: no fault, weekdays
  // always 1..7 and counts never negative.
  const PackedDate odd[] = {
      values::kEmptyDate,           {255, 255, 255, 255}, {0, 0, 0, 0},
      {128, 128, 128 + 1, 128 + 1}, {148, 154, 128 + 1, 128 + 99},
      {148, 154, 128 + 99, 128 + 1}, {148, 154, 128, 128 + 15},
  };
  for (const auto& a : odd) {
    int w = values::Weekday(a);
    EXPECT_GE(w, 1) << Show(a);
    EXPECT_LE(w, 7) << Show(a);
    for (const auto& b : odd) {
      EXPECT_GE(values::DaysBetween(a, b), 0);
      EXPECT_EQ(values::DaysBetween(a, b), values::DaysBetween(b, a));
    }
  }
}

TEST(PackedDates, PackUnpackAndOrder) {
  EXPECT_EQ(PackDate(2026, 4, 5), (PackedDate{148, 154, 132, 133}));
  EXPECT_EQ(PackDate(0, 0, 0), values::kEmptyDate);
  EXPECT_EQ(PackDate(12026, 104, 305), PackDate(2026, 4, 5));  // last digits kept
  auto p = values::UnpackDate(PackDate(1582, 10, 15));
  EXPECT_EQ(p.year, 1582);
  EXPECT_EQ(p.month, 10);
  EXPECT_EQ(p.day, 15);
  EXPECT_LT(values::kEmptyDate, PackDate(1, 1, 1));
  EXPECT_LT(PackDate(1999, 12, 31), PackDate(2000, 1, 1));
  EXPECT_LT(PackDate(2000, 1, 31), PackDate(2000, 2, 1));
  EXPECT_EQ(values::PackedDateFromField(values_test::Bytes({148, 154})),
            (PackedDate{148, 154, 128, 128}));
}

}  // namespace
