#include "values/pictures.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "values/internal/digits.h"
#include "values/numbers.h"

namespace values {
namespace {

bool IsOneOf(char c, std::string_view set) { return set.find(c) != std::string_view::npos; }

// What the positions passed so far have left in front: nothing (after a "9"), blanks or
// asterisks; "leading" when the last digit position showed the fill instead of a digit.
enum class Fill { None, Blank, Asterisk };

char FillCharacter(Fill fill) { return fill == Fill::Asterisk ? '*' : ' '; }

// The plain number shown when the picture cannot hold the value: "-", the integer digits, the
// decimal character and the decimals, right-aligned; cut from the right when too long, and
// "!" everywhere when not even the sign and the integer digits fit.
std::string PlainNumber(std::size_t length, bool negative, const std::string& digits, long decimals,
                        char decimalChar) {
  const long integerCount = static_cast<long>(digits.size()) - decimals;
  std::string text = negative ? "-" : "";
  if (integerCount > 0) text += digits.substr(0, static_cast<std::size_t>(integerCount));
  if (text.size() > length) return std::string(length, '!');
  if (decimals > 0) {
    text += decimalChar;
    text += internal::PadCut(
        integerCount > 0 ? std::string_view(digits).substr(static_cast<std::size_t>(integerCount))
                         : std::string_view(digits),
        static_cast<std::size_t>(decimals));
  }
  if (text.size() > length) return text.substr(0, length);
  return std::string(length - text.size(), ' ') + text;
}

// Lays a number into a picture. `scaled(n)` gives the digits of the number's magnitude
// rounded to n decimals, without the point and without leading zeros ("" when that is 0);
// `zero` tells a number that is exactly 0.
template <typename ScaledDigitsOf>
std::string LayNumber(std::string_view picture, bool negative, bool zero, ScaledDigitsOf scaled,
                      const NumberCharacters& chars) {
  const std::size_t length = picture.size();
  const long L = static_cast<long>(length);

  const bool signedPicture = picture.find_first_of("-+") != std::string_view::npos;

  // D: digit and sign positions after the point; N: the decimals shown (the digit positions
  // directly after the point).
  long D = 0;
  long N = 0;
  const std::size_t point = picture.find('.');
  if (point != std::string_view::npos) {
    for (std::size_t i = point + 1; i < length; ++i) {
      if (IsOneOf(picture[i], "9Zz*-+")) ++D;
    }
    if (D != 0) {
      for (std::size_t i = point + 1; i < length && IsOneOf(picture[i], "9Zz*"); ++i) ++N;
    }
  }

  const std::string R = scaled(static_cast<int>(N));
  const long lenR = static_cast<long>(R.size());
  long J = D + lenR - N;  // index (from 1) into R of the digit for the rightmost position

  auto digitAt = [&](long j) -> char { return j >= 1 && j <= lenR ? R[static_cast<std::size_t>(j - 1)] : 0; };
  auto inDecimalZone = [&](long position) { return position >= L - D; };
  auto restIsZeros = [&](long j) {
    for (long k = std::max(1L, j); k <= lenR; ++k) {
      if (R[static_cast<std::size_t>(k - 1)] != '0') return false;
    }
    return true;
  };

  std::string out(picture);
  Fill fill = Fill::None;
  bool leading = false;

  // First pass: lay the digits in from the right until they are used up.
  long p = L;
  for (; p >= 1 && J > 0; --p) {
    char& o = out[static_cast<std::size_t>(p - 1)];
    const char c = picture[static_cast<std::size_t>(p - 1)];
    const char digit = digitAt(J);
    switch (c) {
      case '9':
        o = digit ? digit : '0';
        fill = Fill::None;
        leading = false;
        --J;
        break;
      case 'Z':
      case 'z': {
        bool blank;
        if (!inDecimalZone(p)) {
          blank = !digit;
          o = digit ? digit : ' ';
        } else if (!restIsZeros(J) || D == 0) {
          blank = false;
          o = digit ? digit : '0';
        } else {
          blank = true;
          o = ' ';
        }
        fill = Fill::Blank;
        leading = blank;
        --J;
        break;
      }
      case '*':
        o = digit ? digit : '*';
        fill = Fill::Asterisk;
        leading = !digit;
        --J;
        break;
      case '.':
        o = leading ? FillCharacter(fill) : chars.decimal;
        D = 0;
        break;
      case ',':
        o = chars.thousands;
        break;
      case '-':
        o = negative ? '-' : ' ';
        if (D != 0) --J;
        break;
      case '+':
        o = negative ? '-' : '+';
        if (D != 0) --J;
        break;
      default:
        break;
    }
  }

  const bool everyPositionUsed = p < 1;
  if (J > 0 || (negative && !signedPicture && everyPositionUsed)) {
    return PlainNumber(length, negative, R, N, chars.decimal);
  }

  // Second pass: the positions left of the digits. In an unsigned picture a negative number's
  // minus floats into the first free digit position.
  bool minusPending = negative && !signedPicture;
  for (; p >= 1; --p) {
    char& o = out[static_cast<std::size_t>(p - 1)];
    const char c = picture[static_cast<std::size_t>(p - 1)];
    switch (c) {
      case '9':
        if (minusPending && !inDecimalZone(p)) {
          o = '-';
          minusPending = false;
        } else {
          o = '0';
        }
        fill = Fill::None;
        leading = false;
        break;
      case 'Z':
      case 'z':
        if (minusPending) {
          // Left of the minus is the leading fill area: a "," there shows the fill, not the
          // thousands character.
          o = '-';
          minusPending = false;
          fill = Fill::Blank;
          leading = false;
        } else if (!inDecimalZone(p) || zero) {
          o = ' ';
          fill = Fill::Blank;
          leading = true;
        } else {
          o = '0';
          fill = Fill::Blank;
          leading = false;
        }
        break;
      case '*':
        if (minusPending) {
          // The minus stands where an asterisk would: the fill to its left is asterisks.
          o = '-';
          minusPending = false;
          fill = Fill::Asterisk;
          leading = false;
        } else if (!inDecimalZone(p)) {
          o = '*';
          fill = Fill::Asterisk;
          leading = true;
        } else {
          o = '0';
          fill = Fill::Asterisk;
          leading = false;
        }
        break;
      case ',':
        if (minusPending) {
          o = '-';
          minusPending = false;
        } else {
          o = fill != Fill::None ? FillCharacter(fill) : chars.thousands;
        }
        break;
      case '.':
        o = leading ? FillCharacter(fill) : chars.decimal;
        break;
      case '-':
        o = negative ? '-' : ' ';
        break;
      case '+':
        o = negative ? '-' : '+';
        break;
      default:
        break;
    }
  }
  // No free position took the minus (only literals or decimals were left): showing the digits
  // without it would show another number, so show the plain number instead. A value that
  // rounds to 0 shows 0 either way and keeps its picture.
  if (minusPending && !R.empty()) return PlainNumber(length, negative, R, N, chars.decimal);
  return out;
}

}  // namespace

std::string FormatPicture(std::string_view picture, double value, const NumberCharacters& chars) {
  if (picture.empty()) return {};
  if (!std::isfinite(value)) return std::string(picture.size(), '!');
  return LayNumber(
      picture, value < 0.0, value == 0.0,
      [&](int decimals) { return internal::ScaledDigits(std::fabs(value), decimals); }, chars);
}

std::string FormatDecimalPicture(std::string_view picture, bool negative, std::string_view digits, int decimals,
                                 const NumberCharacters& chars) {
  if (picture.empty()) return {};
  const std::size_t first = digits.find_first_not_of('0');
  const bool valid = digits.find_first_not_of("0123456789") == std::string_view::npos && decimals >= 0;
  if (!valid) return std::string(picture.size(), '!');
  const std::string_view significant = first == std::string_view::npos ? std::string_view() : digits.substr(first);
  auto scaled = [&](int wanted) {
    std::string out(significant);
    if (wanted >= decimals) {
      if (!out.empty()) out.append(static_cast<std::size_t>(wanted - decimals), '0');
      return out;
    }
    // Fewer decimals than the number has: round, ties to the even digit.
    const std::size_t drop = static_cast<std::size_t>(decimals - wanted);
    if (out.size() <= drop) out.insert(0, drop + 1 - out.size(), '0');
    std::string kept = out.substr(0, out.size() - drop);
    const std::string gone = out.substr(out.size() - drop);
    const char next = gone.front();
    const bool rest = gone.find_first_not_of('0', 1) != std::string::npos;
    const bool odd = (kept.back() - '0') % 2 == 1;
    if (next > '5' || (next == '5' && (rest || odd))) {
      std::size_t i = kept.size();
      while (i > 0 && kept[i - 1] == '9') kept[--i] = '0';
      if (i == 0) {
        kept.insert(kept.begin(), '1');
      } else {
        ++kept[i - 1];
      }
    }
    const std::size_t lead = kept.find_first_not_of('0');
    return lead == std::string::npos ? std::string() : kept.substr(lead);
  };
  const bool zero = significant.empty();
  return LayNumber(picture, negative && !zero, zero, scaled, chars);
}

std::string AmountPicture(std::string_view picture, double cents) {
  const std::size_t length = picture.size();
  bool showDigits = cents != 0.0;
  bool pointSeen = false;
  long decimals = 0;  // K: 1 for the point, then 1 more for each "9" after it
  bool thousands = false;
  char fill = 'Z';
  char sign = 0;
  bool leadingSign = false;
  for (std::size_t i = 0; i < length; ++i) {
    const char c = picture[i];
    if (c == '9') {
      if (pointSeen) {
        ++decimals;
      } else {
        showDigits = true;
      }
    } else if (c == '.') {
      decimals = 1;
      pointSeen = true;
    } else if (c == ',') {
      thousands = true;
    } else if (c == 'Z' || c == 'z') {
      fill = 'Z';
    } else if (c == '*') {
      fill = '*';
    } else if (c == '-' || c == '+') {
      sign = c;
      leadingSign = i == 0;
    }
  }

  std::string built(length, fill);
  if (showDigits && length > 0) {
    built.erase(0, 1);
    built += '9';
  }
  if (thousands) {
    for (long p = static_cast<long>(length) - 3; p >= 1; p -= 4) {
      built.insert(static_cast<std::size_t>(p), 1, ',');
      built.erase(0, 1);
    }
  }
  // The amount is shown in euros: two decimals more than the picture's cents.
  decimals = decimals == 0 ? 3 : decimals + 2;
  built += '.';
  built.append(static_cast<std::size_t>(decimals - 1), showDigits ? '9' : 'Z');
  auto keepLast = [&]() {
    if (built.size() > length) built.erase(0, built.size() - length);
  };
  keepLast();
  if (sign != 0) {
    if (!leadingSign) {
      built += sign;
      keepLast();
    } else if (!built.empty()) {
      built[0] = sign;
    }
  }
  return built;
}

std::string FormatAmount(std::string_view picture, double cents, const NumberCharacters& chars) {
  return FormatPicture(AmountPicture(picture, cents), cents / 100.0, chars);
}

bool CheckNumberText(std::string_view text, std::string_view allowed) {
  const bool pointAllowed = allowed.find('.') != std::string_view::npos;
  const bool signAllowed = allowed.find_first_of("-+") != std::string_view::npos;
  bool error = false;
  bool sawSign = false;
  bool sawDigit = false;
  bool sawPoint = false;
  for (char c : text) {
    if (c == '+' || c == '-') {
      if (!signAllowed || sawSign || sawDigit || sawPoint) error = true;
      sawSign = true;
    } else if (c == '.') {
      if (!pointAllowed || sawPoint) error = true;
      sawPoint = true;
    } else if (c >= '0' && c <= '9') {
      sawDigit = true;
    } else if (c != ' ') {
      error = true;
    }
  }
  return error;
}

bool CheckNumberRange(std::string_view text, double minimum, double maximum, int decimals) {
  if (std::isnan(minimum) || std::isnan(maximum) || maximum < minimum) return true;
  if (decimals < 0 || decimals > 16) return true;
  std::string allowed;
  if (decimals > 0) allowed += '.';
  if (minimum < 0) allowed += '-';
  if (CheckNumberText(text, allowed)) return true;
  const double scale = std::pow(10.0, decimals);
  const double scaled = std::floor(NumberValue(text) * scale + 0.5);
  return scaled < std::floor(minimum * scale) || scaled > std::floor(maximum * scale + 0.5);
}

}  // namespace values
