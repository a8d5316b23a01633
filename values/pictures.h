// Numeric edit pictures: laying a number into a picture for display, building the picture
// of a money amount, and checking typed number text.
//
// A picture is a text in which each character is one output position; the number is laid in
// from the right:
//   9      a digit, "0" when the number has none there
//   Z z    a digit, blank instead of a leading zero (after the point, of a trailing zero)
//   *      a digit, "*" instead of a leading zero
//   .      the decimal point (the first "."), shown as the installation's decimal character
//   ,      a thousands position, shown as the thousands character between digits
//   - +    sign positions ("-" when negative; blank or "+" otherwise)
//   other  copied unchanged
// The decimal and thousands characters come from Orba.ini [Usuari] DecCaracter and
// MilCaracter ("'" and "." by default: 1.200'50); Values::FormatPicture loads them on first
// use. Examples with the default characters:
//   FormatPicture("Z,ZZ9", 1234) == "1.234"    FormatPicture("Z,ZZ9", -5) == "   -5"
//   FormatPicture("ZZ9.99", 0.125) == "  0'12" (ties to even)
//   FormatPicture("Z,ZZ9", 12345) == "12345"   (overflow: the plain number)
//   FormatPicture("Z,ZZ9", 123456) == "!!!!!"  (not even the integer digits fit)
#pragma once

#include <string>
#include <string_view>

namespace values {

struct NumberCharacters {
  char decimal = '\'';   // first character of DecCaracter; "'" when empty or missing
  char thousands = '.';  // first character of MilCaracter; "." when empty or missing
};

// The text of a value in a picture; always exactly as long as the picture. A negative value
// in a picture without a sign position gets a floating "-" left of its digits; when there is
// no room for it, or the digits do not fit, the plain number is shown right-aligned (decimals
// cut first), and "!" in every position when not even the integer digits fit. A value that is
// not a number or infinite shows "!" in every position.
std::string FormatPicture(std::string_view picture, double value, const NumberCharacters& chars);

// The same for an exact decimal number: `digits` (plain digits, leading zeros allowed) with the
// last `decimals` of them after the point, negative when `negative` and not 0. Rounded to the
// picture's decimals with ties to the even digit. FormatDecimalPicture("Z,ZZ9.99", true,
// "1234567", 3) == "-1.234'57".
std::string FormatDecimalPicture(std::string_view picture, bool negative, std::string_view digits, int decimals,
                                 const NumberCharacters& chars);

// The picture FormatAmount builds for an amount in cents: of the given picture only its
// length and the presence and place of "9", ".", ",", "Z", "*", "-", "+" matter.
// AmountPicture("Z,ZZZ,ZZZ,ZZ9", 123456) == "ZZ,ZZZ,ZZ9.99".
std::string AmountPicture(std::string_view picture, double cents);

// An amount of cents shown in euros: FormatPicture(AmountPicture(picture, cents), cents / 100).
//   FormatAmount("Z,ZZZ,ZZZ,ZZ9", 123456) == "     1.234'56"
std::string FormatAmount(std::string_view picture, double cents, const NumberCharacters& chars);

// True when the text is NOT an acceptable number. `allowed` lists the optional characters:
// "." when a decimal point may be typed, "-" or "+" when a sign may be typed (before any digit
// or point). Blanks are ignored anywhere; any other character is refused.
bool CheckNumberText(std::string_view text, std::string_view allowed);

// True when the text is NOT acceptable for a numeric field of `decimals` decimals (0..16)
// whose value must lie from minimum to maximum; a point is allowed only with decimals, a sign
// only with a negative minimum. The value is compared after scaling by 10^decimals (rounded
// half up against the range floor(minimum) .. floor(maximum + 0.5) scaled alike). A blank text
// counts as 0. Refused too: maximum below minimum, decimals outside 0..16, a NaN bound.
bool CheckNumberRange(std::string_view text, double minimum, double maximum, int decimals);

}  // namespace values
