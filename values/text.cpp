#include "values/text.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "values/internal/digits.h"
#include "values/numbers.h"

namespace values {
namespace {

// Folding tables for the codes 40..ED hexadecimal (174 entries, code 40 first).

// Capitals: small letters to capitals, accented small letters to the same accented capitals.
constexpr std::array<std::uint8_t, 174> kCapitals = {
    0x40, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F,
    0x50, 0x51, 0x52, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0x5B, 0x5C, 0x5D, 0x5E, 0x5F,
    0x60, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F,
    0x50, 0x51, 0x52, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0x7B, 0x7C, 0x7D, 0x7E, 0x7F,
    0x80, 0x9A, 0x90, 0xB6, 0x8E, 0xB7, 0x8F, 0x80, 0xD2, 0xD3, 0xD4, 0xD8, 0xD7, 0xDE, 0x8E, 0x8F,
    0x90, 0x92, 0x92, 0xE2, 0x99, 0xE3, 0xEA, 0xEB, 0x98, 0x99, 0x9A, 0x9B, 0x9C, 0x9D, 0x9E, 0x9F,
    0xB5, 0xD6, 0xE0, 0xE9, 0xA5, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF,
    0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7, 0xB8, 0xB9, 0xBA, 0xBB, 0xBC, 0xBD, 0xBE, 0xBF,
    0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC7, 0xC7, 0xC8, 0xC9, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE, 0xCF,
    0xD1, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xDB, 0xDC, 0xDD, 0xDE, 0xDF,
    0xE0, 0xE1, 0xE2, 0xE3, 0xE5, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA, 0xEB, 0xED, 0xED,
};

// Plain capitals: every letter to its capital A..Z without accent, everything else to a blank.
constexpr std::array<std::uint8_t, 174> kPlainCapitals = {
    0x20, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F,
    0x50, 0x51, 0x52, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0x20, 0x20, 0x20, 0x20, 0x20,
    0x20, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F,
    0x50, 0x51, 0x52, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0x20, 0x20, 0x20, 0x20, 0x20,
    0x43, 0x55, 0x45, 0x41, 0x41, 0x41, 0x41, 0x43, 0x45, 0x45, 0x45, 0x49, 0x49, 0x49, 0x41, 0x41,
    0x45, 0x41, 0x41, 0x4F, 0x4F, 0x4F, 0x55, 0x55, 0x59, 0x4F, 0x55, 0x4F, 0x20, 0x4F, 0x20, 0x20,
    0x41, 0x49, 0x4F, 0x55, 0x4E, 0x4E, 0x41, 0x4F, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20,
    0x20, 0x20, 0x20, 0x20, 0x20, 0x41, 0x41, 0x41, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20,
    0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x41, 0x41, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20,
    0x44, 0x44, 0x45, 0x45, 0x45, 0x45, 0x49, 0x49, 0x49, 0x20, 0x20, 0x20, 0x20, 0x20, 0x49, 0x20,
    0x4F, 0x53, 0x4F, 0x4F, 0x4F, 0x4F, 0x20, 0x54, 0x54, 0x55, 0x55, 0x55, 0x59, 0x59,
};

constexpr unsigned char kFirstFolded = 0x40;
constexpr unsigned char kLastFolded = 0xED;

bool IsControl(unsigned char c) { return c < 0x20; }
bool AboveBlank(unsigned char c) { return c > 0x20; }

std::string UpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

enum class Alignment { None, Left, Dashes, Right, Centre, Justify };

Alignment ParseAlignment(std::string_view alignment) {
  std::string a = UpperAscii(alignment);
  if (a == "E" || a == "L" || a == "I") return Alignment::Left;
  if (a == "N") return Alignment::Dashes;
  if (a == "D" || a == "R") return Alignment::Right;
  if (a == "C") return Alignment::Centre;
  if (a == "A" || a == "B") return Alignment::Justify;
  return Alignment::None;
}

// Widens a line to `width` by doubling blanks after the indent: one more blank for each run
// of blanks in turn, from left to right, starting again at the first run when the last has
// had its blank. Equivalent to inserting the blanks one at a time, but linear in the width.
void Justify(std::string& line, std::size_t indent, std::size_t width) {
  std::vector<std::size_t> runs;  // start of each run of blanks after the indent
  for (std::size_t i = indent; i < line.size(); ++i) {
    if (line[i] == ' ' && (i == indent || line[i - 1] != ' ')) runs.push_back(i);
  }
  if (runs.empty() || line.size() >= width) return;
  std::size_t extra = width - line.size();
  std::size_t each = extra / runs.size();
  std::size_t more = extra % runs.size();
  std::string out;
  out.reserve(width);
  std::size_t next = 0;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (next < runs.size() && runs[next] == i) {
      out.append(each + (next < more ? 1 : 0), ' ');
      ++next;
    }
    out += line[i];
  }
  line = std::move(out);
}

}  // namespace

unsigned char FoldChar(unsigned char c, bool stripAccents) {
  if (c < kFirstFolded || c > kLastFolded) return c;
  return (stripAccents ? kPlainCapitals : kCapitals)[c - kFirstFolded];
}

std::string FoldText(std::string_view text, bool stripAccents) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(FoldChar(static_cast<unsigned char>(c), stripAccents));
  return out;
}

std::string WrapText(std::string_view text, std::int16_t indent, std::int16_t width,
                     std::string_view alignment) {
  const Alignment align = ParseAlignment(alignment);
  const std::size_t n = text.size();
  const long firstIndent = indent > 0 ? indent : 0;
  const long laterIndent = indent < 0 ? -static_cast<long>(indent) : 0;
  auto at = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };

  std::string result;
  std::size_t pos = 0;
  bool firstLine = true;
  while (pos < n) {
    const long lineIndent = firstLine ? firstIndent : laterIndent;
    firstLine = false;
    // At least one character per line, so that every line makes progress.
    long capacity = std::max<long>(1, static_cast<long>(width) - lineIndent);

    // Take up to `capacity` characters; control characters take no room.
    std::size_t taken = 0;
    while (static_cast<long>(taken) < capacity && pos + taken < n) {
      if (IsControl(at(pos + taken))) ++capacity;
      ++taken;
    }
    // Markup right after the last character of a word stays with it.
    if (taken > 0 && AboveBlank(at(pos + taken - 1))) {
      while (pos + taken < n && IsControl(at(pos + taken))) {
        ++capacity;
        ++taken;
      }
    }
    // The piece ends inside a word: give the word back, to the blank before it.
    if (pos + taken < n && AboveBlank(at(pos + taken))) {
      while (taken > 0 && at(pos + taken) != ' ') {
        if (IsControl(at(pos + taken - 1))) --capacity;
        --taken;
      }
    }
    // Before markup or at the end, blanks at the end of the piece are not shown.
    if (pos + taken >= n || IsControl(at(pos + taken))) {
      while (taken > 0 && at(pos + taken - 1) == ' ') --taken;
    }
    // A word longer than the line: cut it.
    if (taken == 0) taken = std::min<std::size_t>(static_cast<std::size_t>(capacity), n - pos);

    std::string line(static_cast<std::size_t>(lineIndent), ' ');
    line.append(text.substr(pos, taken));
    const std::size_t lineWidth = static_cast<std::size_t>(capacity + lineIndent);

    std::size_t after = pos + taken;
    while (after < n && at(after) == ' ') ++after;
    const bool lastLine = after >= n;

    const std::size_t missing = line.size() < lineWidth ? lineWidth - line.size() : 0;
    switch (align) {
      case Alignment::Left:
        line.append(missing, ' ');
        break;
      case Alignment::Dashes:
        line.append(missing, '-');
        break;
      case Alignment::Right:
        line.insert(0, missing, ' ');
        break;
      case Alignment::Centre:
        line.insert(0, missing / 2, ' ');
        line.append((missing + 1) / 2, ' ');
        break;
      case Alignment::Justify:
        if (!lastLine) {
          if (line.find(' ', static_cast<std::size_t>(lineIndent)) != std::string::npos) {
            Justify(line, static_cast<std::size_t>(lineIndent), lineWidth);
          } else {
            line.append(missing, ' ');
          }
        }
        break;
      case Alignment::None:
        break;
    }
    result += line;
    pos = after;
  }
  return result;
}

std::string PackCodeDigits(std::string_view text) {
  const std::size_t points = static_cast<std::size_t>(std::count(text.begin(), text.end(), '.'));
  std::size_t width = 4;
  if ((text.size() == 6 && points == 0) || (text.size() == 11 && points < 2)) width = 6;

  std::string digits;
  std::size_t start = 0;
  while (true) {
    std::size_t end = text.find('.', start);
    bool last = end == std::string_view::npos;
    std::string_view group = text.substr(start, last ? std::string_view::npos : end - start);
    if (last && group.find_first_not_of(' ') == std::string_view::npos) break;
    std::string value = internal::WholeDigits(std::trunc(std::fabs(NumberValue(group))));
    digits += internal::PadCut(value, width);
    if (last) break;
    start = end + 1;
    width = 4;
  }
  return digits;
}

std::string PackCode(std::string_view text) { return BaseHundredPack(PackCodeDigits(text)); }

}  // namespace values
