// Low-level digit helpers shared by number text, edit pictures and packed codes. Not part of
// the layer's interface.
#pragma once

#include <string>
#include <string_view>

namespace values::internal {

// The decimal digits of a non-negative whole double (no sign, no leading zeros; "" for 0).
// Exact for every finite value.
std::string WholeDigits(double whole);

// The digits of absValue * 10^decimals rounded to an integer with ties to even, the way the
// pictures and number text scale: the product is formed in double, its fraction compared with
// one half. When the product is not finite the exact decimal expansion is used instead, so the
// result is bounded and defined for every finite absValue >= 0. "" when the result is 0.
std::string ScaledDigits(double absValue, int decimals);

// Left-pads with '0' and keeps the last `width` characters.
std::string PadCut(std::string_view digits, std::size_t width);

// Rounds a non-negative double to an integer with ties to even on its fraction.
double RoundHalfEven(double x);

}  // namespace values::internal
