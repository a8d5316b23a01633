// How a cell's code page 850 byte looks on a terminal.
//
// Bytes 00..1F and 7F are control characters in Unicode but glyphs on the PC screen; a cell
// holding one shows the glyph (10 the right pointer U+25BA, 11 the left pointer U+25C4, 1E and
// 1F the up and down triangles), so nothing stored in a cell can ever reach the terminal as a
// control character. Byte 00 shows as a blank. D5, the dotless i of code page 850, is the euro
// sign of code page 858, which is what the system stores there (Alt+E).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tui {

// The Unicode character a cell byte is shown as.
char32_t CellGlyph(std::uint8_t byte);

// The printable ASCII character a cell byte is shown as on a terminal without UTF-8: letters
// without their accents, frames as "+", "-" and "|", shades as "#", anything else as "?".
char AsciiGlyph(std::uint8_t byte);

// A code page 850 text as UTF-8 for the world outside (the clipboard): the glyphs above, so
// D5 is the euro sign.
std::string TextToUtf8(std::string_view text);
// UTF-8 from outside as a code page 850 text: the euro sign is D5; characters without a byte
// become "?"; bytes that are not UTF-8 are dropped.
std::string Utf8ToText(std::string_view utf8);

}  // namespace tui
