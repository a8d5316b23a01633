#include "tui/popups.h"

#include <algorithm>

#include "tui/calculator.h"
#include "tui/calendar.h"

namespace tui {

Popups::Popups(Console& console, Windows& windows, values::Values& values, const session::Session& session,
               platform::System& system)
    : console_(console), windows_(windows), values_(values), session_(session), system_(system) {}

HotKeyHooks Popups::Hooks() {
  HotKeyHooks hooks;
  // The console passes itself; it is the one these windows draw on, so it is not needed here.
  hooks.calculator = [this](Console&) { return Calculator(); };
  hooks.calendar = [this](Console&) { return Calendar(); };
  return hooks;
}

std::string Popups::Calendar() { return CalendarPopup(console_, windows_, values_, session_, system_); }

std::string Popups::Calculator() { return CalculatorPopup(console_, windows_, values_, session_); }

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
