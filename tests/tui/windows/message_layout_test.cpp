// Where a message box is placed.
#include <gtest/gtest.h>

#include "tui/windows/message_layout.h"

namespace tui {
namespace {

std::vector<std::string> Lines(std::initializer_list<int> widths) {
  std::vector<std::string> lines;
  for (int w : widths) lines.push_back(std::string(static_cast<std::size_t>(w), 'x') + std::string(76 - w, ' '));
  return lines;
}

TEST(LayoutMessage, RowsAndColumns) {
  struct Case {
    const char* what;
    int row;
    std::vector<std::string> lines;
    int screenRows;
    WindowRect rect;
  } cases[] = {
      {"ten characters around row 12", 12, Lines({10}), 25, {9, 34, 11, 47}},
      {"odd width", 12, Lines({11}), 25, {9, 33, 11, 47}},
      {"full width", 12, Lines({76}), 25, {9, 1, 11, 80}},
      {"two lines", 12, Lines({20, 30}), 25, {9, 24, 12, 57}},
      {"three lines", 12, Lines({5, 5, 5}), 25, {8, 36, 12, 44}},
      {"near the top stays on row 1", 2, Lines({10}), 25, {1, 34, 3, 47}},
      {"near the bottom moves up", 25, Lines({10, 10, 10, 10}), 25, {20, 34, 25, 47}},
      {"wider line first", 12, Lines({30, 10}), 25, {9, 24, 12, 57}},
      {"wider line last", 12, Lines({10, 30}), 25, {9, 24, 12, 57}},
      {"blank line", 12, Lines({0}), 25, {9, 39, 11, 42}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::optional<MessageLayout> layout = LayoutMessage(c.row, c.lines, c.screenRows);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->rect, c.rect);
    EXPECT_EQ(layout->lines.size(), c.lines.size());
  }
}

TEST(LayoutMessage, TextOfTenCharactersStartsInColumn36) {
  std::optional<MessageLayout> layout = LayoutMessage(12, {"FINCA INEX" + std::string(66, ' ')}, 25);
  ASSERT_TRUE(layout);
  EXPECT_EQ(layout->lines, std::vector<std::string>{"FINCA INEX"});
  EXPECT_EQ(layout->rect.left + 2, 36) << "window column 2 is two past the frame's column";
}

TEST(LayoutMessage, ATooTallMessageIsNotShown) {
  EXPECT_FALSE(LayoutMessage(12, Lines({1, 1, 1, 1}), 5));
  EXPECT_TRUE(LayoutMessage(12, Lines({1, 1, 1}), 5));
  EXPECT_FALSE(LayoutMessage(1, Lines({1}), 2));
}

TEST(SplitWrappedLines, CutsAtTheWidthCountingOnlyVisibleCharacters) {
  EXPECT_EQ(SplitWrappedLines("", 4), std::vector<std::string>{});
  EXPECT_EQ(SplitWrappedLines("ab  cd  ", 4), (std::vector<std::string>{"ab  ", "cd  "}));
  EXPECT_EQ(SplitWrappedLines("ab  c", 4), (std::vector<std::string>{"ab  ", "c"}));
  // Control characters take no room; after a full line ending in a letter they stay with it.
  EXPECT_EQ(SplitWrappedLines("a\x1E" "bcd\x1E" "efg ", 4),
            (std::vector<std::string>{"a\x1E" "bcd\x1E", "efg "}));
  // After a line ending in a blank they begin the next line.
  EXPECT_EQ(SplitWrappedLines("abc \x1E" "de  ", 4), (std::vector<std::string>{"abc ", "\x1E" "de  "}));
}

}  // namespace
}  // namespace tui
