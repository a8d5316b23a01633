#include "tui/windows/message_layout.h"

namespace tui {
namespace {

bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20; }

}  // namespace

std::vector<std::string> SplitWrappedLines(std::string_view wrapped, int width) {
  std::vector<std::string> lines;
  if (width <= 0) {
    if (!wrapped.empty()) lines.emplace_back(wrapped);
    return lines;
  }
  std::size_t i = 0;
  while (i < wrapped.size()) {
    std::size_t start = i;
    int visible = 0;
    while (i < wrapped.size() && visible < width) {
      if (!IsControl(wrapped[i])) ++visible;
      ++i;
    }
    if (i > start && static_cast<unsigned char>(wrapped[i - 1]) > 0x20) {
      while (i < wrapped.size() && IsControl(wrapped[i])) ++i;
    }
    lines.emplace_back(wrapped.substr(start, i - start));
  }
  return lines;
}

std::optional<MessageLayout> LayoutMessage(int row, std::vector<std::string> lines, int screenRows) {
  if (lines.empty()) return std::nullopt;
  for (std::string& line : lines) {
    std::size_t end = line.find_last_not_of(' ');
    line.resize(end == std::string::npos ? 0 : end + 1);
  }
  // The row arithmetic is done in 64 bits: a caller's row is any 16-bit value.
  const long long n = static_cast<long long>(lines.size());
  long long top = static_cast<long long>(row) - (n + 1) / 2 - 2;
  if (top < 1) top = 1;
  long long bottom = top + n + 1;
  if (bottom > screenRows) {
    bottom = screenRows;
    top = bottom - n - 1;
  }
  if (top < 1) return std::nullopt;

  int left = 0;
  int right = 0;
  for (const std::string& line : lines) {
    int w = static_cast<int>(line.size());
    if (right - left < w + 4) {
      left = 39 - (w + 1) / 2;
      right = 42 + w / 2;
    }
  }
  MessageLayout layout;
  layout.rect = {static_cast<int>(top), left, static_cast<int>(bottom), right};
  layout.lines = std::move(lines);
  return layout;
}

}  // namespace tui
