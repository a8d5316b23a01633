#include "tools/web/requests.h"

#include <charconv>

namespace web {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// A decimal number in [low, high] that is the whole of the text.
std::optional<int> Number(std::string_view text, int low, int high) {
  int value = 0;
  if (text.empty() || text.size() > 4) return std::nullopt;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high) return std::nullopt;
  return value;
}

}  // namespace

std::optional<std::string> FormDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '+') {
      out += ' ';
    } else if (c == '%') {
      if (i + 2 >= text.size()) return std::nullopt;
      int hi = HexDigit(text[i + 1]), lo = HexDigit(text[i + 2]);
      if (hi < 0 || lo < 0) return std::nullopt;
      out += static_cast<char>(hi * 16 + lo);
      i += 2;
    } else {
      out += c;
    }
  }
  return out;
}

std::optional<std::map<std::string, std::string>> ParseForm(std::string_view body) {
  std::map<std::string, std::string> fields;
  while (!body.empty()) {
    std::size_t amp = body.find('&');
    std::string_view pair = body.substr(0, amp);
    body = amp == std::string_view::npos ? std::string_view() : body.substr(amp + 1);
    if (pair.empty()) continue;
    std::size_t eq = pair.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    std::optional<std::string> name = FormDecode(pair.substr(0, eq));
    std::optional<std::string> value = FormDecode(pair.substr(eq + 1));
    if (!name || !value || name->empty()) return std::nullopt;
    if (fields.size() == 16 || !fields.emplace(std::move(*name), std::move(*value)).second) return std::nullopt;
  }
  return fields;
}

std::optional<std::string> CookieValue(std::string_view header, std::string_view name) {
  std::optional<std::string> found;
  while (!header.empty()) {
    std::size_t semi = header.find(';');
    std::string_view pair = Trim(header.substr(0, semi));
    header = semi == std::string_view::npos ? std::string_view() : header.substr(semi + 1);
    std::size_t eq = pair.find('=');
    if (eq == std::string_view::npos || Trim(pair.substr(0, eq)) != name) continue;
    if (found) return std::nullopt;
    std::string_view value = Trim(pair.substr(eq + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    found = std::string(value);
  }
  return found;
}

bool WellFormedToken(std::string_view token) {
  if (token.size() != 64) return false;
  for (char c : token) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

std::optional<Resize> ParseControl(std::string_view message) {
  constexpr std::string_view kResize = "resize ";
  if (message.substr(0, kResize.size()) != kResize) return std::nullopt;
  message.remove_prefix(kResize.size());
  std::size_t space = message.find(' ');
  if (space == std::string_view::npos) return std::nullopt;
  std::optional<int> cols = Number(message.substr(0, space), 1, 500);
  std::optional<int> rows = Number(message.substr(space + 1), 1, 200);
  if (!cols || !rows) return std::nullopt;
  return Resize{*cols, *rows};
}

std::optional<std::string> ExpectedOrigin(std::string_view host, bool tls) {
  if (host.empty() || host.size() > 255) return std::nullopt;
  for (char c : host) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
              c == ':' || c == '[' || c == ']';
    if (!ok) return std::nullopt;
  }
  std::string origin = tls ? "https://" : "http://";
  for (char c : host) origin += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return origin;
}

}  // namespace web
