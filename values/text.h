// Text helpers on code page 850 byte strings: folding to capitals, breaking text into lines,
// and packing dotted numeric codes into keys.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace values {

// Folding to capitals, for comparisons that ignore case (and, optionally, accents). Only the
// codes 40..ED hexadecimal change; digits, blanks and punctuation below 40 and the codes above
// ED never do.
//   stripAccents false: small letters become capitals, accented small letters the same
//     accented capitals (0x87 c cedilla -> 0x80, 0x85 a grave -> 0xB7, 0xA4 n tilde -> 0xA5).
//   stripAccents true: every letter becomes its plain capital A..Z; every other character of
//     the range (signs such as "@", box drawing, symbols) becomes a blank.
unsigned char FoldChar(unsigned char c, bool stripAccents = false);
std::string FoldText(std::string_view text, bool stripAccents = false);

// Breaks a text into lines and returns them concatenated (no line ends).
//   indent: > 0 indents the first line; < 0 indents every further line by its absolute value.
//   width: the line width, indent included; each line has the width plus the number of
//     control characters (codes below 20 hexadecimal, markup that takes no room) it holds.
//     The room for text is at least 1 character whatever the width and indent.
//   alignment (compared in capitals): "E", "L", "I" pad with blanks on the right; "N" pads
//     with "-"; "D", "R" pad on the left; "C" centres (an odd blank to the right); "A", "B"
//     justify by doubling blanks from left to right, cycling (the last line is left as is);
//     anything else leaves the lines unpadded.
// Lines break at blanks; a word longer than a line is cut. An empty text gives "".
std::string WrapText(std::string_view text, std::int16_t indent, std::int16_t width,
                     std::string_view alignment);

// Packs a code typed as groups of digits separated by "." into base-hundred bytes: each group
// becomes 4 digits (the first 6 when the text is 6 characters without ".", or 11 characters
// with fewer than two "."), zero-padded and cut to their last digits; an empty last group is
// skipped. "12.5" -> digits 00120005, "123456" -> 123456, "1.2.3" -> 000100020003,
// "7." -> 0007, "123456.1234" -> 1234561234.
std::string PackCode(std::string_view text);

// The digits PackCode packs (before the base-hundred packing), for display and tests.
std::string PackCodeDigits(std::string_view text);

}  // namespace values
