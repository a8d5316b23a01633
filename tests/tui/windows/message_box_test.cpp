// MessageBox on a headless console.
#include "tests/tui/windows/windows_fixture.h"

namespace tui {
namespace {

using testing_windows::AttributeOf;
using testing_windows::Cells;
using testing_windows::ScreenDiff;

class MessageBoxTest : public testing_windows::WindowsFixture {};

TEST_F(MessageBoxTest, TenCharactersAroundRowTwelve) {
  FillScreen();
  const std::vector<Cell> before = Cells(console_);
  console_.ScreenColour("u");
  const std::string stackBefore = console_.ColourStack();
  ASSERT_TRUE(windows_.MessageBox(12, "FINCA NOVA"));
  EXPECT_EQ(console_.CurrentWindow(), (WindowRect{9, 34, 11, 47}));
  EXPECT_EQ(windows_.OpenCount(), 1);
  // Single frame, text from column 36 in reverse video, one blank each side.
  EXPECT_EQ(console_.ReadCell(9, 34), 0xDA);
  EXPECT_EQ(console_.ReadCell(9, 47), 0xBF);
  EXPECT_EQ(console_.ReadCell(11, 34), 0xC0);
  EXPECT_EQ(console_.ReadCell(11, 47), 0xD9);
  EXPECT_EQ(console_.ReadCell(10, 34), 0xB3);
  std::string row10;
  for (int c = 34; c <= 47; ++c) row10 += static_cast<char>(console_.ReadCell(10, c));
  EXPECT_EQ(row10, "\xB3 FINCA NOVA \xB3");
  for (int c = 34; c <= 47; ++c) EXPECT_EQ(console_.ReadAttribute(10, c), AttributeOf(2)) << c;
  // The colour in force before is back; the box stays until the caller closes it.
  EXPECT_EQ(console_.ColourIndex(), 4);
  EXPECT_EQ(console_.ColourStack(), stackBefore);
  windows_.WinClose();
  EXPECT_EQ(ScreenDiff(Cells(console_), before, 80), "");
}

TEST_F(MessageBoxTest, LongTextWrapsAtSeventySixAndIsSizedToItsWidestLine) {
  std::string text =
      "EL REGISTRE ESTA BLOQUEJAT PER UN ALTRE USUARI DE LA XARXA. ESPERANT QUE QUEDI LLIURE; "
      "PREMEU ESC PER ABANDONAR";
  ASSERT_TRUE(windows_.MessageBox(12, text));
  const WindowRect box = console_.CurrentWindow();
  EXPECT_EQ(box.top, 9);
  EXPECT_EQ(box.bottom, 12);
  // The first line breaks before "QUEDI" (72 characters), the second holds the rest.
  EXPECT_EQ(box.left, 3);
  EXPECT_EQ(box.right, 78);
  auto rowText = [&](int row) {
    std::string line;
    for (int c = box.left + 1; c < box.right; ++c) line += static_cast<char>(console_.ReadCell(row, c));
    return line;
  };
  EXPECT_EQ(rowText(10), " " + text.substr(0, 72) + " ");
  EXPECT_EQ(rowText(11), " QUEDI LLIURE; PREMEU ESC PER ABANDONAR" + std::string(35, ' '));
  windows_.WinClose();
}

TEST_F(MessageBoxTest, AMessageThatDoesNotFitIsNotShownAndItsCloseClosesNothingElse) {
  auto small = MakeHeadlessBackend({4, 80});
  Console console(std::move(small.backend));
  Windows windows(console, session_, system_, environment_);
  ASSERT_TRUE(windows.WinOpen(1, 1, 4, 80));
  console.DrawFrame(2);
  std::vector<Cell> screen = Cells(console);
  std::string text(76 * 3, 'x');  // three lines need five rows
  EXPECT_FALSE(windows.MessageBox(2, text));
  EXPECT_EQ(ScreenDiff(Cells(console), screen, 80), "");
  EXPECT_EQ(console.ColourStack(), "");
  windows.WinClose();
  EXPECT_EQ(console.WindowDepth(), 1) << "the enclosing window stays open";
  windows.WinClose();
  EXPECT_EQ(console.WindowDepth(), 0);
}

TEST_F(MessageBoxTest, AnEmptyMessageShowsNothingAndABlankOneAnEmptyBox) {
  FillScreen();
  ASSERT_TRUE(windows_.WinOpen(5, 5, 20, 70));
  const std::vector<Cell> screen = Cells(console_);
  EXPECT_FALSE(windows_.MessageBox(12, ""));
  EXPECT_EQ(ScreenDiff(Cells(console_), screen, 80), "");
  EXPECT_EQ(console_.ColourStack(), "");
  windows_.WinClose();
  EXPECT_EQ(console_.WindowDepth(), 1) << "the close of the empty message closes nothing else";
  ASSERT_TRUE(windows_.MessageBox(12, " "));
  EXPECT_EQ(console_.CurrentWindow(), (WindowRect{9, 39, 11, 42}));
  windows_.WinClose();
  windows_.WinClose();
  EXPECT_EQ(console_.WindowDepth(), 0);
}

TEST_F(MessageBoxTest, MessagesAtTheEdgesOfTheScreen) {
  struct Case {
    int row;
    int lines;
    int top;
    int bottom;
  } cases[] = {{1, 1, 1, 3}, {25, 1, 22, 24}, {25, 4, 20, 25}, {-300, 2, 1, 4}, {32000, 2, 22, 25}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.row);
    ASSERT_TRUE(windows_.MessageBox(c.row, std::string(static_cast<std::size_t>(76 * c.lines), 'm')));
    EXPECT_EQ(console_.CurrentWindow().top, c.top);
    EXPECT_EQ(console_.CurrentWindow().bottom, c.bottom);
    windows_.WinClose();
  }
}

}  // namespace
}  // namespace tui
