// Where a message box goes: the rows and columns of its window for a wrapped text.
//
// Kept apart from the drawing so that the placement rules can be checked without a console.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tui/windows/window_stack.h"

namespace tui {

// Messages are wrapped to lines of this many characters.
inline constexpr int kMessageWidth = 76;

// Splits the output of the word-wrapping helper (lines padded to `width` characters and
// concatenated; characters below 20 hexadecimal take no room, so a line holding some is longer
// by their number) back into its lines. Control characters directly after a full line belong
// to it when its last character is above a blank, as the wrapper takes them.
std::vector<std::string> SplitWrappedLines(std::string_view wrapped, int width);

struct MessageLayout {
  WindowRect rect;                 // the box, frame included
  std::vector<std::string> lines;  // the lines to print at window rows 1..n, trailing blanks cut
};

// The box for the lines around a screen row:
//   rows: top = row - (n + 1) div 2 - 2, at least 1; bottom = top + n + 1; a box that would
//         pass the last screen row is moved up to end on it;
//   columns: sized to the widest line w with one blank each side and centred on column 41:
//         left = 39 - (w + 1) div 2, right = 42 + w div 2.
// Returns nullopt when the box does not fit in the screen's rows, and for no lines at all (an
// empty message shows nothing; a blank one shows a small empty box).
std::optional<MessageLayout> LayoutMessage(int row, std::vector<std::string> lines, int screenRows);

}  // namespace tui
