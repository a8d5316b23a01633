#include "tui/console/glyphs.h"

#include <array>
#include <string>

#include "values/cp850.h"

namespace tui {
namespace {

// The PC screen's glyphs for 00..1F.
constexpr std::array<char32_t, 32> kControlGlyphs = {
    0x0020, 0x263A, 0x263B, 0x2665, 0x2666, 0x2663, 0x2660, 0x2022,  // 00
    0x25D8, 0x25CB, 0x25D9, 0x2642, 0x2640, 0x266A, 0x266B, 0x263C,  // 08
    0x25BA, 0x25C4, 0x2195, 0x203C, 0x00B6, 0x00A7, 0x25AC, 0x21A8,  // 10
    0x2191, 0x2193, 0x2192, 0x2190, 0x221F, 0x2194, 0x25B2, 0x25BC,  // 18
};

// ASCII forms of 80..FF, in code page 850 order: the letter without its accent, frames by
// their shape, blocks as "#".
constexpr char kAsciiHigh[129] =
    "CueaaaaceeeiiiAA"  // 80
    "EaAooouuyOUoLOxf"  // 90
    "aiounNao?r-11!<>"  // A0
    "###|+AAAc+|++cY+"  // B0
    "++++-+aA+++++-+o"  // C0
    "dDEEEEIII++##|I#"  // D0 (D5, the euro sign, as "E")
    "OsOOoOupPUUUyY-'"  // E0
    "-+-3?" "?/,o\".132# ";  // F0 (split so that no trigraph forms)

}  // namespace

char32_t CellGlyph(std::uint8_t byte) {
  if (byte < 0x20) return kControlGlyphs[byte];
  if (byte == 0x7F) return 0x2302;  // ⌂
  if (byte == 0xD5) return 0x20AC;  // €
  return values::Cp850ToUnicode(byte);
}

std::string TextToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (unsigned char b : text) {
    char32_t c = CellGlyph(b);
    // Line ends and tabs keep their meaning outside.
    if (b == '\t' || b == '\n' || b == '\r') c = b;
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string Utf8ToText(std::string_view utf8) {
  std::string out;
  std::size_t i = 0;
  while (i < utf8.size()) {
    unsigned char b = static_cast<unsigned char>(utf8[i]);
    std::size_t length = b < 0x80 ? 1 : (b >= 0xC2 && b <= 0xDF) ? 2 : (b >= 0xE0 && b <= 0xEF) ? 3
                                                  : (b >= 0xF0 && b <= 0xF4) ? 4 : 0;
    if (length == 0 || i + length > utf8.size()) {
      ++i;  // not UTF-8: dropped
      continue;
    }
    char32_t c = length == 1 ? b : length == 2 ? (b & 0x1F) : length == 3 ? (b & 0x0F) : (b & 0x07);
    bool valid = true;
    for (std::size_t k = 1; k < length; ++k) {
      unsigned char n = static_cast<unsigned char>(utf8[i + k]);
      if ((n & 0xC0) != 0x80) valid = false;
      c = (c << 6) | (n & 0x3F);
    }
    if (!valid) {
      ++i;
      continue;
    }
    i += length;
    if (c == 0x20AC) {
      out += '\xD5';
    } else {
      int byte = values::UnicodeToCp850(c);
      out += byte >= 0 ? static_cast<char>(byte) : '?';
    }
  }
  return out;
}

char AsciiGlyph(std::uint8_t byte) {
  if (byte >= 0x20 && byte < 0x7F) return static_cast<char>(byte);
  if (byte == 0x10) return '>';
  if (byte == 0x11) return '<';
  if (byte == 0x1E) return '^';
  if (byte == 0x1F) return 'v';
  if (byte < 0x20) return byte == 0 ? ' ' : '?';
  if (byte == 0x7F) return '?';
  char c = kAsciiHigh[byte - 0x80];
  return c >= 0x20 && c < 0x7F ? c : '?';
}

}  // namespace tui
