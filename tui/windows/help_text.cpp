#include "tui/windows/help_text.h"

#include <algorithm>
#include <cstdint>

namespace tui {

HelpText::HelpText(std::string bytes, int lineWidth) : bytes_(std::move(bytes)), lineWidth_(lineWidth) {
  if (lineWidth_ <= 0) {
    lineWidth_ = 0;
    return;
  }
  // Rounded to the nearest whole number of lines, halves upwards.
  std::int64_t size = static_cast<std::int64_t>(bytes_.size());
  std::int64_t count = (2 * size + lineWidth_) / (2 * static_cast<std::int64_t>(lineWidth_));
  lineCount_ = static_cast<int>(std::min<std::int64_t>(count, INT32_MAX));
}

std::string_view HelpText::Line(int n) const {
  if (n < 1 || n > lineCount_) return {};
  std::size_t start = static_cast<std::size_t>(n - 1) * static_cast<std::size_t>(lineWidth_);
  if (start >= bytes_.size()) return {};
  return std::string_view(bytes_).substr(start, static_cast<std::size_t>(lineWidth_));
}

std::vector<HelpSpan> HelpLineSpans(std::string_view line, int maxVisible) {
  std::vector<HelpSpan> spans;
  bool high = false;
  bool input = false;
  bool reverse = false;
  int entry = 1;
  int visible = 0;
  std::string run;
  auto flush = [&] {
    if (!run.empty()) spans.push_back({entry, std::move(run)});
    run.clear();
  };
  for (char c : line) {
    if (visible >= maxVisible) break;
    int newEntry = entry;
    if (c == kHelpHighByte) {
      high = !high;
      if (!input) newEntry = high ? 0 : 1;
    } else if (c == kHelpInputByte) {
      input = !input;
      newEntry = input ? 4 : 1;
    } else if (c == kHelpReverseByte) {
      reverse = !reverse;
      newEntry = reverse ? 2 : 1;
    } else {
      run += c;
      ++visible;
      continue;
    }
    if (newEntry != entry) {
      flush();
      entry = newEntry;
    }
  }
  flush();
  return spans;
}

}  // namespace tui
