// Drawing helpers for pop-up windows: text clipped to the screen, a window clipped to the
// screen, and the caller's cursor kept across a pop-up. The calendar, the calculator and any
// other pop-up draw with these.
#pragma once

#include <string_view>

#include "tui/console/console.h"
#include "tui/windows/windows.h"

namespace tui {

// Prints a text at an absolute cell, cut at the screen's right edge; nothing when the row or
// the column is off the screen. Never wraps onto the next row and never reaches a cell that
// the screen does not have.
void PrintClipped(Console& console, int row, int column, std::string_view text);

// Opens a window over the rectangle as far as it lies on the screen, so that whatever part of
// a pop-up can be drawn is saved and restored even on a screen smaller than the pop-up. On a
// screen that holds the whole rectangle this is WinOpen(top, left, bottom, right). A rectangle
// entirely off the screen is refused by WinOpen and, as always, still waits for its WinClose.
// Returns whether the window opened.
bool OpenClippedWindow(Console& console, Windows& windows, int top, int left, int bottom, int right);

// The caller's cursor, taken on entry and given back on leaving: a pop-up hides the cursor
// while it is open, and the caller may have had it shown (a field edit) or hidden (a list).
class CursorKeeper {
 public:
  explicit CursorKeeper(Console& console) : console_(console), saved_(console.Cursor()) {}
  void Restore() {
    if (saved_.visible) {
      console_.ShowCursor(saved_.height);
    } else {
      console_.HideCursor();
    }
  }

 private:
  Console& console_;
  CursorState saved_;
};

}  // namespace tui
