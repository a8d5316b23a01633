// Number text and packed record fields.
//
// Small conversions between numbers, digit text and the base-hundred byte fields of the record
// files. They produce plain digit text; the edit pictures (values/pictures.h) format for
// display. Everything here is a pure function except PackedDateText, whose two-digit year
// window moves with the current year (Values::PackedDateText supplies it from the clock).
//
// Base-hundred bytes: each byte holds two decimal digits as 128 + 10 * first + second, so
// "2026" packs to the bytes 148 154. Byte order equals numeric order. Record fields are passed
// as byte strings (std::string / std::string_view holding the raw bytes).
#pragma once

#include <string>
#include <string_view>

namespace values {

// Number text of a value under a number format.
//
// The format's digits before an optional "." give the integer width, the digits after
// it the number of decimals; the letters V (no point), Z (a "0" for an empty integer part),
// S ("+" for zero and positive), N ("N" for negative), M ("N" for negative, " " otherwise), in
// either case, select options; other characters are ignored.
//   NumberText(12.5, "") == "12.5"   NumberText(0.25, "") == ".25"   NumberText(0, "") == ""
//   NumberText(0, "Z") == "0"        NumberText(7, "3S") == "+07"    NumberText(-7, "3") == "-07"
//   NumberText(2.5, "1") == "2"      NumberText(3.5, "1") == "4"     (ties to even)
// With a width the integer digits are left-padded with "0" and cut to the width (a sign takes
// the place of the first digit). Without width or point the text is the shortest exact decimal
// text of the value. The point is always ".", whatever the installation's decimal character.
// Bounds: a value that is not finite counts as 0; widths and decimal counts above
// kMaxNumberTextDigits are taken as kMaxNumberTextDigits.
inline constexpr int kMaxNumberTextDigits = 400;
std::string NumberText(double value, std::string_view format);

// The same with the empty format (the short form the program uses for fields).
inline std::string NumberText(double value) { return NumberText(value, std::string_view{}); }

// The decimal digits of the absolute integer part of a value, left-padded with "0" and cut to
// their last `width` characters: ZeroPaddedDigits(7, 3) == "007", ZeroPaddedDigits(-123, 2) ==
// "23". A width of 0 or less gives "". A value that is not finite counts as 0.
std::string ZeroPaddedDigits(double value, int width);

// Two decimal digits per byte of a base-hundred field: the byte with bit 7 cleared, of which
// only the last two digits remain (byte 0x85 gives "05", byte 0xFB (value 123) gives "23").
std::string BaseHundredDigits(std::string_view field);

// Packs digit text into base-hundred bytes, the inverse of BaseHundredDigits: the digits are
// right-aligned in a text of the input's length (blanks trimmed at both ends, the text
// left-padded with "0"), blanks inside count as "0", and each pair of characters becomes one
// byte; an odd last character fills the tens place. Characters that are not digits count as
// 0. The result has (length + 1) / 2 bytes: "2026" -> 148 154, "   " -> 128 128,
// "123" -> 140 158.
std::string BaseHundredPack(std::string_view digits);

// The day, month and year digits of a packed date field (year bytes, then month, then day):
// "" when day and month are both 0; otherwise two-digit day and month, then the year as two
// digits when it lies from currentYear - 50 to currentYear + 49 (both included), else as four
// digits. A field of one byte has no month and year; one of three bytes has a one-byte year.
std::string PackedDateText(std::string_view field, int currentYear);

// True when the text consists only of the given character, and for the empty text.
bool AllSame(std::string_view text, unsigned char character);

// The numeric value of a decimal number text such as "-12.50", as the number checks and date
// readers take it: blanks anywhere are skipped ("1 2" is 12), then an optional sign, digits,
// an optional "." and more digits are read; reading stops at the first other character (the
// value of what was read before it counts; a text without digits is 0). Never fails.
double NumberValue(std::string_view text);

}  // namespace values
