#include "tools/admin/texts.h"

#include <cstdint>
#include <optional>

#include "values/cp850.h"

namespace admin_tool {
namespace {

constexpr char kHighIntensity = '\x1e';
constexpr char kInputColour = '\x1f';
constexpr char kReverse = '\x10';

// One UTF-8 character from the start of `bytes`: its code point and length, or nothing when
// the bytes there are not a valid, shortest-form encoding.
std::optional<char32_t> DecodeUtf8(std::string_view bytes, std::size_t& length) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  unsigned char lead = byte(0);
  if (lead < 0x80) {
    length = 1;
    return lead;
  }
  std::size_t n;
  char32_t cp;
  char32_t least;
  if ((lead & 0xE0) == 0xC0) {
    n = 2, cp = lead & 0x1F, least = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    n = 3, cp = lead & 0x0F, least = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    n = 4, cp = lead & 0x07, least = 0x10000;
  } else {
    return std::nullopt;
  }
  if (bytes.size() < n) return std::nullopt;
  for (std::size_t i = 1; i < n; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return std::nullopt;
    cp = (cp << 6) | (byte(i) & 0x3F);
  }
  if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
  length = n;
  return cp;
}

// Splits a source into its lines (without LF, and without a CR just before it). A last line
// without LF counts; `endsWithNewline` tells whether the source ended with one.
template <typename Each>
bool ForEachLine(std::string_view source, Each each) {
  std::size_t line = 1;
  while (!source.empty()) {
    std::size_t end = source.find('\n');
    std::string_view text = source.substr(0, end);
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    if (!each(line, text, end != std::string_view::npos)) return false;
    if (end == std::string_view::npos) break;
    source.remove_prefix(end + 1);
    ++line;
  }
  return true;
}

// One source line in code page 850.
bool LineToCp850(std::string_view line, std::size_t lineNumber, std::string& out, TextFault& fault) {
  std::size_t column = 1;
  while (!line.empty()) {
    std::size_t length = 0;
    auto cp = DecodeUtf8(line, length);
    if (!cp) {
      fault = {lineNumber, column, "the text is not UTF-8 here; save the source as UTF-8"};
      return false;
    }
    if (*cp == '\r') {
      fault = {lineNumber, column, "a carriage return inside the line; remove it"};
      return false;
    }
    int byte = values::UnicodeToCp850(*cp);
    if (byte < 0) {
      std::string shown;
      values::AppendUtf8(shown, *cp);
      fault = {lineNumber, column, "\"" + shown + "\" has no code page 850 character; write it another way"};
      return false;
    }
    out += static_cast<char>(byte);
    line.remove_prefix(length);
    ++column;
  }
  return true;
}

bool IsValidUtf8WithMultibyte(std::string_view bytes) {
  bool multibyte = false;
  while (!bytes.empty()) {
    std::size_t length = 0;
    if (!DecodeUtf8(bytes, length)) return false;
    multibyte = multibyte || length > 1;
    bytes.remove_prefix(length);
  }
  return multibyte;
}

}  // namespace

std::string TextFault::Describe() const {
  return "line " + std::to_string(line) + ", column " + std::to_string(column) + ": " + message;
}

bool SourceToText(std::string_view source, std::string& text, TextFault& fault) {
  text.clear();
  return ForEachLine(source, [&](std::size_t number, std::string_view line, bool ended) {
    if (!LineToCp850(line, number, text, fault)) return false;
    if (ended) text += "\r\n";
    return true;
  });
}

std::string TextToSource(std::string_view text) {
  std::string source;
  source.reserve(text.size());
  ForEachLine(text, [&](std::size_t, std::string_view line, bool ended) {
    source += values::Cp850ToUtf8(line);
    if (ended) source += '\n';
    return true;
  });
  return source;
}

bool SourceToHelp(std::string_view source, std::string& records, TextFault& fault) {
  records.clear();
  return ForEachLine(source, [&](std::size_t number, std::string_view line, bool) {
    std::string record;
    if (!LineToCp850(line, number, record, fault)) return false;
    std::string coded;
    std::size_t visible = 0;
    for (std::size_t i = 0; i < record.size(); ++i) {
      if (record[i] == '~' && i + 1 < record.size() &&
          (record[i + 1] == 'h' || record[i + 1] == 'u' || record[i + 1] == 'r')) {
        char s = record[++i];
        coded += s == 'h' ? kHighIntensity : s == 'u' ? kInputColour : kReverse;
        continue;
      }
      coded += record[i];
      ++visible;
    }
    if (visible > kHelpVisibleWidth || coded.size() > kHelpRecordWidth) {
      fault = {number, kHelpVisibleWidth + 1,
               "the line is too long for the help window (" + std::to_string(visible) + " characters, at most " +
                   std::to_string(kHelpVisibleWidth) + "); break it in two"};
      return false;
    }
    coded.resize(kHelpRecordWidth, ' ');
    records += coded;
    return true;
  });
}

bool HelpToSource(std::string_view records, std::string& source, std::string& problem) {
  problem = HelpFormatFault(records);
  if (!problem.empty()) return false;
  source.clear();
  for (std::size_t at = 0; at < records.size(); at += kHelpRecordWidth) {
    std::string_view record = records.substr(at, kHelpRecordWidth);
    std::size_t end = record.find_last_not_of(' ');
    record = end == std::string_view::npos ? std::string_view() : record.substr(0, end + 1);
    std::string line;
    for (char c : record) {
      if (c == kHighIntensity) line += "~h";
      else if (c == kInputColour) line += "~u";
      else if (c == kReverse) line += "~r";
      else line += c;
    }
    source += values::Cp850ToUtf8(line);
    source += '\n';
  }
  return true;
}

std::string TextFormatFault(std::string_view bytes) {
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    return "it is UTF-8 text (it starts with a byte order mark), not code page 850";
  }
  if (IsValidUtf8WithMultibyte(bytes)) {
    return "it is UTF-8 text, not code page 850: accented letters would show garbled and columns shift";
  }
  return "";
}

std::string HelpFormatFault(std::string_view bytes) {
  if (bytes.empty()) return "it is empty: a help topic holds at least one line";
  if (bytes.find('\n') != std::string_view::npos) {
    return "it holds line ends: it is a text file, not help records (the help window would show an empty frame)";
  }
  if (bytes.size() % kHelpRecordWidth != 0) {
    return "its size (" + std::to_string(bytes.size()) + " bytes) is not a whole number of " +
           std::to_string(kHelpRecordWidth) + "-byte help records";
  }
  return "";
}

}  // namespace admin_tool
