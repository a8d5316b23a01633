#include "values/numbers.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <vector>

#include "values/internal/digits.h"

namespace values {
namespace internal {

std::string WholeDigits(double whole) {
  if (!(whole >= 1.0) || !std::isfinite(whole)) return {};
  // A double has at most 309 integer digits; "%.0f" prints them exactly.
  char buffer[400];
  int n = std::snprintf(buffer, sizeof buffer, "%.0f", whole);
  if (n <= 0) return {};
  return std::string(buffer, static_cast<std::size_t>(std::min<int>(n, sizeof buffer - 1)));
}

double RoundHalfEven(double x) {
  double t = std::trunc(x);
  double f = x - t;
  if (f > 0.5 || (f == 0.5 && std::fmod(t, 2.0) == 1.0)) t += 1.0;
  return t;
}

std::string ScaledDigits(double absValue, int decimals) {
  if (!(absValue > 0.0) || !std::isfinite(absValue)) return {};
  if (decimals < 0) decimals = 0;
  double scaled = absValue * std::pow(10.0, decimals);
  if (std::isfinite(scaled)) return WholeDigits(RoundHalfEven(scaled));
  // The product overflowed: take the exact expansion with that many decimals instead.
  std::vector<char> buffer(static_cast<std::size_t>(decimals) + 400);
  int n = std::snprintf(buffer.data(), buffer.size(), "%.*f", decimals, absValue);
  std::string digits;
  for (int i = 0; i < n && i < static_cast<int>(buffer.size()) - 1; ++i) {
    char c = buffer[static_cast<std::size_t>(i)];
    if (c >= '0' && c <= '9' && !(digits.empty() && c == '0')) digits += c;
  }
  return digits;
}

std::string PadCut(std::string_view digits, std::size_t width) {
  if (digits.size() >= width) return std::string(digits.substr(digits.size() - width));
  std::string out(width - digits.size(), '0');
  out += digits;
  return out;
}

}  // namespace internal

namespace {

bool HasOption(std::string_view format, char upper) {
  for (char c : format) {
    if (c == upper || c == upper + ('a' - 'A')) return true;
  }
  return false;
}

int DigitValue(char c) { return c >= '0' && c <= '9' ? c - '0' : 0; }

}  // namespace

std::string NumberText(double value, std::string_view format) {
  if (!std::isfinite(value)) value = 0.0;

  int width = 0;
  int decimals = 0;
  bool point = false;
  for (char c : format) {
    if (c == '.') {
      point = true;
    } else if (c >= '0' && c <= '9') {
      int& target = point ? decimals : width;
      target = std::min(target * 10 + (c - '0'), kMaxNumberTextDigits);
    }
  }

  double magnitude = std::fabs(value);
  std::string digits;
  int split = 0;
  if (width > 0 || point) {
    digits = internal::ScaledDigits(magnitude, decimals);
    split = decimals;
  } else {
    // Shift the point right until no fraction remains. Every finite double becomes whole
    // within about 340 steps (from 2^53 on a double has no fraction); the bound only keeps the
    // loop finite by construction.
    while (magnitude != std::trunc(magnitude) && split < kMaxNumberTextDigits) {
      magnitude *= 10.0;
      ++split;
    }
    digits = internal::WholeDigits(internal::RoundHalfEven(magnitude));
  }
  if (static_cast<int>(digits.size()) < split) {
    digits.insert(0, static_cast<std::size_t>(split) - digits.size(), '0');
  }

  std::string integer = digits.substr(0, digits.size() - static_cast<std::size_t>(split));
  std::string fraction = digits.substr(digits.size() - static_cast<std::size_t>(split));

  if (!fraction.empty() && !HasOption(format, 'V')) fraction.insert(0, ".");
  if (HasOption(format, 'Z') && integer.empty()) integer = "0";
  if (width > 0) integer = internal::PadCut(integer, static_cast<std::size_t>(width));

  bool negative = value < 0.0;
  char sign = 0;
  if (HasOption(format, 'S') && !negative) {
    sign = '+';
  } else if (HasOption(format, 'N') && negative) {
    sign = 'N';
  } else if (HasOption(format, 'M')) {
    sign = negative ? 'N' : ' ';
  } else if (negative) {
    sign = '-';
  }
  if (sign != 0) {
    if (width > 0 && !integer.empty()) integer.erase(0, 1);
    integer.insert(integer.begin(), sign);
  }
  return integer + fraction;
}

std::string ZeroPaddedDigits(double value, int width) {
  if (width <= 0) return {};
  width = std::min(width, 32767);
  double whole = std::isfinite(value) ? std::trunc(std::fabs(value)) : 0.0;
  std::string digits = internal::WholeDigits(whole);
  if (digits.empty()) digits = "0";
  return internal::PadCut(digits, static_cast<std::size_t>(width));
}

std::string BaseHundredDigits(std::string_view field) {
  std::string out;
  out.reserve(field.size() * 2);
  for (char c : field) {
    int v = static_cast<unsigned char>(c) & 0x7F;
    out += static_cast<char>('0' + v / 10 % 10);
    out += static_cast<char>('0' + v % 10);
  }
  return out;
}

std::string BaseHundredPack(std::string_view digits) {
  const std::size_t n = digits.size();
  std::size_t first = digits.find_first_not_of(' ');
  std::string_view trimmed;
  if (first != std::string_view::npos) {
    std::size_t last = digits.find_last_not_of(' ');
    trimmed = digits.substr(first, last - first + 1);
  }
  std::string text(n - trimmed.size(), '0');
  text += trimmed;
  std::replace(text.begin(), text.end(), ' ', '0');

  std::string out;
  out.reserve((n + 1) / 2);
  for (std::size_t i = 0; i < n; i += 2) {
    int high = DigitValue(text[i]);
    int low = i + 1 < n ? DigitValue(text[i + 1]) : 0;
    out += static_cast<char>(128 + 10 * high + low);
  }
  return out;
}

std::string PackedDateText(std::string_view field, int currentYear) {
  const std::size_t n = field.size();
  auto byteValue = [&](std::size_t i) {
    int v = static_cast<unsigned char>(field[i]) & 0x7F;
    return v % 100;
  };
  int day = n >= 1 ? byteValue(n - 1) : 0;
  int month = n >= 2 ? byteValue(n - 2) : 0;
  if (day == 0 && month == 0) return {};

  std::string yearDigits = n >= 3 ? BaseHundredDigits(field.substr(0, n - 2)) : std::string();
  std::size_t nonZero = yearDigits.find_first_not_of('0');
  std::string_view significant =
      nonZero == std::string::npos ? std::string_view() : std::string_view(yearDigits).substr(nonZero);

  std::string out = internal::PadCut(std::to_string(day), 2);
  out += internal::PadCut(std::to_string(month), 2);

  // More than nine significant digits can never lie in the window of a present-day year.
  bool inWindow = false;
  long long year = 0;
  if (significant.size() <= 9) {
    for (char c : significant) year = year * 10 + (c - '0');
    inWindow = year >= static_cast<long long>(currentYear) - 50 &&
               year <= static_cast<long long>(currentYear) + 49;
  }
  if (inWindow) {
    out += internal::PadCut(std::to_string(year % 100), 2);
  } else {
    out += internal::PadCut(significant, 4);
  }
  return out;
}

bool AllSame(std::string_view text, unsigned char character) {
  return std::all_of(text.begin(), text.end(),
                     [&](char c) { return static_cast<unsigned char>(c) == character; });
}

double NumberValue(std::string_view text) {
  // Gather the number's characters with blanks skipped, then convert in one step so that the
  // value is the correctly rounded double of the decimal text.
  std::string clean;
  bool negative = false;
  bool seenSign = false;
  bool seenDigit = false;
  bool seenPoint = false;
  bool integerNonZero = false;
  for (char c : text) {
    if (c == ' ') continue;
    if ((c == '-' || c == '+') && !seenSign && !seenDigit && !seenPoint) {
      seenSign = true;
      negative = c == '-';
    } else if (c >= '0' && c <= '9') {
      seenDigit = true;
      if (!seenPoint && c != '0') integerNonZero = true;
      clean += c;
    } else if (c == '.' && !seenPoint) {
      seenPoint = true;
      clean += c;
    } else {
      break;
    }
  }
  if (!seenDigit) return 0.0;
  double value = 0.0;
  auto [ptr, ec] = std::from_chars(clean.data(), clean.data() + clean.size(), value,
                                   std::chars_format::fixed);
  (void)ptr;
  if (ec == std::errc::result_out_of_range) {
    value = integerNonZero ? HUGE_VAL : 0.0;
  } else if (ec != std::errc()) {
    value = 0.0;
  }
  if (value == 0.0) return 0.0;
  return negative ? -value : value;
}

}  // namespace values
