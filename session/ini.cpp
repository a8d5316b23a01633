#include "session/ini.h"

#include <optional>

#include "platform/directories.h"
#include "platform/files.h"

namespace session {
namespace {

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  }
  return true;
}

// Finds the raw value (before quotes are removed); nullopt when the key is absent.
std::optional<std::string_view> FindRaw(std::string_view content, std::string_view section, std::string_view key) {
  const std::string_view wantedSection = TrimBlanks(section);
  const std::string_view wantedKey = TrimBlanks(key);
  bool inside = false;
  std::size_t pos = 0;
  while (pos < content.size()) {
    std::size_t eol = content.find('\n', pos);
    std::string_view line = content.substr(pos, eol == std::string_view::npos ? std::string_view::npos : eol - pos);
    pos = eol == std::string_view::npos ? content.size() : eol + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

    if (std::size_t semicolon = line.find(';'); semicolon != std::string_view::npos) line = line.substr(0, semicolon);
    while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
    if (TrimBlanks(line).empty()) continue;

    if (!inside) {
      if (line.front() != '[') continue;
      std::string_view name = line.substr(1);
      if (std::size_t close = name.find(']'); close != std::string_view::npos) name = name.substr(0, close);
      inside = SameName(TrimBlanks(name), wantedSection);
      continue;
    }
    if (line.front() == '[') return std::nullopt;
    std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    std::string_view name = line.substr(0, equals);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    if (SameName(name, wantedKey)) return line.substr(equals + 1);
  }
  return std::nullopt;
}

}  // namespace

std::string FindIniValue(std::string_view content, std::string_view section, std::string_view key) {
  std::optional<std::string_view> raw = FindRaw(content, section, key);
  if (!raw) return {};
  std::string_view value = *raw;
  if (value.size() > 1 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
  return std::string(value);
}

std::string ReadIniValue(std::string_view path, std::string_view section, std::string_view key) {
  std::optional<std::string> content = platform::ReadWholeFile(path);
  if (!content) return {};
  return FindIniValue(*content, section, key);
}

OrbaIniSettings::OrbaIniSettings(const Environment& environment)
    : environment_(environment), startDirectory_(platform::CurrentDirectory()) {}

std::string OrbaIniSettings::Read(std::string_view section, std::string_view key) {
  std::string path = platform::AbsolutePath(environment_.Get("ZEDROOT").value_or(""), startDirectory_) + "Orba.ini";
  return ReadIniValue(path, section, key);
}

}  // namespace session
