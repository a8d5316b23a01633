// Calendar dates: the packed date every other layer exchanges, reading typed dates, checking
// them, and day counts and weekdays.
//
// A packed date is four base-hundred bytes (values/numbers.h) holding the digits yyyymmdd:
// century, year in century, month, day, each 128 + a value 0..99. Comparing two packed dates
// byte by byte as unsigned bytes gives their chronological order (std::array compares so).
// The empty date, four bytes of 128, stands for "no date" and sorts before every real date.
//
// The calendar is Julian before 5 October 1582 and Gregorian from 15 October 1582 on; the ten
// days between do not exist.
//
// The functions here take the current year explicitly; Values (values/values.h) offers the
// same operations with the current year read from the system clock.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace values {

using PackedDate = std::array<std::uint8_t, 4>;

inline constexpr PackedDate kEmptyDate = {128, 128, 128, 128};

// The packed date of a year, month and day. Only the last four, two and two decimal digits
// are kept (no range check); negative parts count by their absolute value.
PackedDate PackDate(int year, int month, int day);

// The year (0..9999), month (0..99) and day (0..99) held in a packed date; bit 7 of each byte
// is ignored and only the last two decimal digits of each byte's value count.
struct DateParts {
  int year = 0;
  int month = 0;
  int day = 0;
};
DateParts UnpackDate(const PackedDate& date);

// The first four bytes of a record field as a packed date (missing bytes count as 128).
PackedDate PackedDateFromField(std::string_view field);

// Reads a typed date such as "5/4/26", "05.04.2026", "050426" or "05042026". Components are
// separated by any of "./-"; without separators the day is characters 1-2, the month 3-4 and
// the year the rest. A short year (three characters or fewer, blanks around it not counted)
// is placed in the window currentYear - 50 .. currentYear + 49 when day and month are not 0.
// No range check: 31.02.2026 gives 2026-02-31. An unreadable text (a letter, one separator or
// three, a component that does not fit a 16-bit integer) gives kEmptyDate.
PackedDate ParseDate(std::string_view text, int currentYear);

// True when the text is NOT a valid date, false when it is (the typed-date check). A short
// year (as for ParseDate) is placed in the window currentYear - 50 .. currentYear + 50, so a
// three-digit year is checked as the year ParseDate stores (400 as 2300). Refused: an
// unreadable text, a year above 9999, a month outside 1..12, a day outside the month (leap
// years by the Gregorian rule for every year), and 5 to 14 October 1582.
bool CheckDate(std::string_view text, int currentYear);

// Days from the earlier to the later date (never negative, 0 for equal dates). Julian leap
// years before 1582, Gregorian from 1582 on; the missing days of October 1582 are not skipped
// (4 October to 15 October 1582 counts 11).
std::int32_t DaysBetween(const PackedDate& a, const PackedDate& b);

// The weekday of a date, 1 Monday .. 7 Sunday (Julian weekdays before 5 October 1582,
// Gregorian from then on). Always 1..7, even for the empty date.
int Weekday(const PackedDate& date);

}  // namespace values
