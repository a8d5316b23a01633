// Code page 850, the byte encoding of every text in the system, and Unicode.
//
// Texts are byte strings in code page 850; they are converted to the terminal's characters
// only when printed, and back only when keys are read.
#pragma once

#include <string>
#include <string_view>

namespace values {

// The Unicode code point of a code page 850 byte (bytes 00..1F and 7F map to the control
// characters of the same value).
char32_t Cp850ToUnicode(unsigned char byte);

// The code page 850 byte of a code point, or -1 when code page 850 has none.
int UnicodeToCp850(char32_t codePoint);

// Appends the UTF-8 encoding of a code point.
void AppendUtf8(std::string& out, char32_t codePoint);

// Whole texts. Bytes that are not valid UTF-8 and characters without a code page 850 byte
// become the replacement byte.
std::string Cp850ToUtf8(std::string_view text);
std::string Utf8ToCp850(std::string_view text, char replacement = '?');

}  // namespace values
