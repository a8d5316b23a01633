#include "values/dates.h"

#include <cstdlib>
#include <optional>
#include <string>
#include <tuple>

#include "values/numbers.h"

namespace values {
namespace {

// A typed date as read, before any year window.
struct TypedDate {
  int day = 0;
  int month = 0;
  int year = 0;
  bool yearInFull = false;  // more than three characters, blanks around it not counted
};

// The value of a component of digits and blanks (blanks skipped), or nothing when it does not
// fit a 16-bit integer: such a text is unreadable, never a date.
std::optional<int> ComponentValue(std::string_view component) {
  int value = 0;
  for (char c : component) {
    if (c == ' ') continue;
    value = value * 10 + (c - '0');
    if (value > 32767) return std::nullopt;
  }
  return value;
}

bool IsSeparator(char c) { return c == '.' || c == '/' || c == '-'; }

std::optional<TypedDate> ReadTypedDate(std::string_view text) {
  std::string_view parts[3];
  int separators = 0;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == ' ' || (c >= '0' && c <= '9')) continue;
    if (!IsSeparator(c)) return std::nullopt;
    if (separators == 2) return std::nullopt;
    parts[separators++] = text.substr(start, i - start);
    start = i + 1;
  }

  std::string_view day, month, year;
  if (separators == 0) {
    day = text.substr(0, 2);
    month = text.size() > 2 ? text.substr(2, 2) : std::string_view();
    year = text.size() > 4 ? text.substr(4) : std::string_view();
  } else if (separators == 2) {
    day = parts[0];
    month = parts[1];
    year = text.substr(start);
  } else {
    return std::nullopt;
  }

  auto d = ComponentValue(day);
  auto m = ComponentValue(month);
  auto y = ComponentValue(year);
  if (!d || !m || !y) return std::nullopt;

  TypedDate date;
  date.day = *d;
  date.month = *m;
  date.year = *y;
  std::size_t first = year.find_first_not_of(' ');
  if (first != std::string_view::npos) {
    std::size_t last = year.find_last_not_of(' ');
    date.yearInFull = last - first + 1 > 3;
  }
  return date;
}

bool GregorianLeap(long year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// Julian leap years before 1582, Gregorian from 1582 on.
bool CalendarLeap(long year) { return year < 1582 ? year % 4 == 0 : GregorianLeap(year); }

// 31, 28 or 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31 for the months 1..12.
int MonthLength(int month, bool leap) {
  int days = 30 + ((1 + (month + 1) % 9) % 2);
  if (month == 2) days -= leap ? 1 : 2;
  return days;
}

std::tuple<int, int, int> Ordered(const DateParts& p) { return {p.year, p.month, p.day}; }

// Leap years from the year 0 up to and including `year` (year >= 0), Julian rule before 1582
// and Gregorian from 1582.
long LeapYearsThrough(long year) {
  auto julian = [](long y) { return y / 4 + 1; };
  auto gregorian = [](long y) { return y / 4 - y / 100 + y / 400 + 1; };
  if (year < 1582) return julian(year);
  return julian(1581) + gregorian(year) - gregorian(1581);
}

long long FloorMod(long long a, long long m) {
  long long r = a % m;
  return r < 0 ? r + m : r;
}

}  // namespace

PackedDate PackDate(int year, int month, int day) {
  // The last four, two and two decimal digits, two digits to a byte.
  auto last = [](int value, long modulus) { return std::labs(static_cast<long>(value)) % modulus; };
  const long y = last(year, 10000);
  return {static_cast<std::uint8_t>(128 + y / 100), static_cast<std::uint8_t>(128 + y % 100),
          static_cast<std::uint8_t>(128 + last(month, 100)),
          static_cast<std::uint8_t>(128 + last(day, 100))};
}

DateParts UnpackDate(const PackedDate& date) {
  auto value = [&](std::size_t i) { return (date[i] & 0x7F) % 100; };
  return {value(0) * 100 + value(1), value(2), value(3)};
}

PackedDate PackedDateFromField(std::string_view field) {
  PackedDate date = kEmptyDate;
  for (std::size_t i = 0; i < date.size() && i < field.size(); ++i) {
    date[i] = static_cast<std::uint8_t>(field[i]);
  }
  return date;
}

PackedDate ParseDate(std::string_view text, int currentYear) {
  auto typed = ReadTypedDate(text);
  if (!typed) return kEmptyDate;
  int year = typed->year;
  if (typed->day > 0 && typed->month > 0 && !typed->yearInFull) {
    // A short year falls into currentYear - 50 .. currentYear + 49.
    year += 100 * (currentYear / 100);
    if (year - currentYear > 49) {
      year -= 100;
    } else if (currentYear - year > 50) {
      year += 100;
    }
  }
  return PackDate(year, typed->month, typed->day);
}

bool CheckDate(std::string_view text, int currentYear) {
  auto typed = ReadTypedDate(text);
  if (!typed) return true;
  long year = typed->year;
  if (!typed->yearInFull) {
    // A short year falls into currentYear - 50 .. currentYear + 50. Three-digit years are
    // placed too, as ParseDate places them, so that the date checked is the date stored.
    year += 100L * (currentYear / 100);
    if (year - currentYear > 50) {
      year -= 100;
    } else if (currentYear - year > 50) {
      year += 100;
    }
  }
  if (year > 9999) return true;
  const int month = typed->month;
  const int day = typed->day;
  long long stamp = year * 10000LL + month * 100LL + day;
  if (stamp > 15821004 && stamp < 15821015) return true;  // the days dropped in 1582
  if (month < 1 || month > 12) return true;
  return day < 1 || day > MonthLength(month, GregorianLeap(year));
}

std::int32_t DaysBetween(const PackedDate& a, const PackedDate& b) {
  DateParts first = UnpackDate(a);
  DateParts second = UnpackDate(b);
  if (Ordered(second) < Ordered(first)) std::swap(first, second);

  long count = 0;
  if (first.year < second.year) {
    // The whole years between: 365 days each plus their leap days.
    count += 365L * (second.year - first.year - 1) + LeapYearsThrough(second.year - 1) -
             LeapYearsThrough(first.year);
    for (int m = first.month; m <= 12; ++m) count += MonthLength(m, CalendarLeap(first.year));
    for (int m = 1; m < second.month; ++m) count += MonthLength(m, CalendarLeap(second.year));
  } else {
    for (int m = first.month; m < second.month; ++m) {
      count += MonthLength(m, CalendarLeap(first.year));
    }
  }
  count += second.day - first.day;
  // Only a damaged date (a day above its month's length) can make the sum negative.
  return static_cast<std::int32_t>(std::labs(count));
}

int Weekday(const PackedDate& date) {
  const DateParts parts = UnpackDate(date);
  const long long y = parts.year - 1;
  const long long s = DaysBetween(PackDate(parts.year, 1, 1), date);
  long long base;
  if (Ordered(parts) < std::make_tuple(1582, 10, 5)) {
    base = FloorMod(y + y / 4, 7) + 5;
  } else {
    base = FloorMod(y + y / 4 - y / 100 + y / 400, 7);
  }
  return static_cast<int>(FloorMod(base + s, 7) + 1);
}

}  // namespace values
