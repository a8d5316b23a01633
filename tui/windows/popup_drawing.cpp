#include "tui/windows/popup_drawing.h"

#include <algorithm>

namespace tui {

void PrintClipped(Console& console, int row, int column, std::string_view text) {
  const int rows = console.ScreenRows();
  const int columns = console.ScreenCols();
  if (row < 1 || row > rows || column > columns || text.empty()) return;
  if (column < 1) {
    const auto skipped = static_cast<std::size_t>(1 - column);
    if (skipped >= text.size()) return;
    text.remove_prefix(skipped);
    column = 1;
  }
  text = text.substr(0, static_cast<std::size_t>(columns - column + 1));
  console.Locate(row, column);
  console.Print(text);
}

bool OpenClippedWindow(Console& console, Windows& windows, int top, int left, int bottom, int right) {
  return windows.WinOpen(std::max(top, 1), std::max(left, 1), std::min(bottom, console.ScreenRows()),
                         std::min(right, console.ScreenCols()));
}

}  // namespace tui
