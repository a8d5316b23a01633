#include "tui/windows/message_layout.h"
#include "tui/windows/windows.h"
#include "values/text.h"

namespace tui {

bool Windows::MessageBox(int row, std::string_view text) {
  console_.ScreenColour("+rh");
  std::string wrapped = values::WrapText(text, 0, kMessageWidth, "L");
  std::optional<MessageLayout> layout =
      LayoutMessage(row, SplitWrappedLines(wrapped, kMessageWidth), console_.ScreenRows());
  bool shown = false;
  if (!layout) {
    // Nothing fits: counted as a refused window so that the caller's WinClose closes nothing.
    open_.push_back(OpenWindow{});
  } else if (WinOpen(layout->rect.top, layout->rect.left, layout->rect.bottom, layout->rect.right)) {
    console_.DrawFrame(1);
    for (std::size_t k = 0; k < layout->lines.size(); ++k) {
      console_.WinLocate(static_cast<int>(k) + 1, 2);
      console_.Print(layout->lines[k]);
    }
    shown = true;
  }
  console_.ScreenColour("-");
  return shown;
}

}  // namespace tui
