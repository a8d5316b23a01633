// WinOpen and WinClose on a headless console: what is saved, what comes back, and the pairs.
#include "tests/tui/windows/windows_fixture.h"

namespace tui {
namespace {

using testing_windows::Cells;
using testing_windows::Header;
using testing_windows::ReadBytes;
using testing_windows::ScreenDiff;
using testing_windows::WriteBytes;

class WindowsOpenClose : public testing_windows::WindowsFixture {};

TEST_F(WindowsOpenClose, SixtyCellWindowWritesOneHundredFortyFiveBytes) {
  FillScreen();
  ASSERT_TRUE(windows_.WinOpen(5, 1, 10, 10));
  std::string file = ReadBytes(StackHostPath());
  ASSERT_EQ(file.size(), 149u);
  EXPECT_EQ(file.substr(0, 4), Header(150));
  EXPECT_EQ(file.substr(4, 20), "07330000000005011010");
  // The cells, row by row: character byte then attribute byte.
  EXPECT_EQ(static_cast<std::uint8_t>(file[24]), console_.ReadCell(5, 1));
  EXPECT_EQ(static_cast<std::uint8_t>(file[25]), console_.ReadAttribute(5, 1));
  EXPECT_EQ(static_cast<std::uint8_t>(file[24 + 2 * 10]), console_.ReadCell(6, 1));
  EXPECT_EQ(static_cast<std::uint8_t>(file[24 + 118]), console_.ReadCell(10, 10));
  EXPECT_EQ(static_cast<std::uint8_t>(file[24 + 119]), console_.ReadAttribute(10, 10));
  EXPECT_EQ(file.substr(144), "00145");
  EXPECT_EQ(console_.WindowDepth(), 1);
  EXPECT_EQ(console_.CurrentWindow(), (WindowRect{5, 1, 10, 10}));
  // WinOpen draws nothing.
  EXPECT_EQ(console_.ReadCell(5, 1), static_cast<std::uint8_t>(file[24]));
}

TEST_F(WindowsOpenClose, ThreeNestedWindowsRestoreEveryCellColourAndTheCursor) {
  FillScreen();
  const std::vector<Cell> before = Cells(console_);

  struct Level {
    WindowRect rect;
    int cursorRow, cursorCol;
    std::vector<Cell> screen;  // the screen just before this window opened
  } levels[] = {
      {{3, 5, 15, 60}, 7, 33, {}},
      {{10, 40, 20, 79}, 4, 9, {}},
      {{18, 70, 25, 80}, 12, 50, {}},  // reaches the bottom-right cell
  };
  for (Level& level : levels) {
    console_.Locate(level.cursorRow, level.cursorCol);
    level.screen = Cells(console_);
    WindowRect outer = console_.CurrentWindow();
    ASSERT_TRUE(windows_.WinOpen(level.rect.top, level.rect.left, level.rect.bottom, level.rect.right));
    EXPECT_EQ(console_.CurrentWindow(), level.rect);
    EXPECT_NE(console_.CurrentWindow(), outer);
    console_.ScreenColour("+u");
    console_.DrawFrame(2);
    console_.WinLocate(1, 1);
    console_.Print("pop-up");  // fits the smallest window
    console_.ScreenColour("-");
    console_.Locate(level.rect.bottom, level.rect.right);  // the cursor moves on inside
  }
  EXPECT_EQ(console_.WindowDepth(), 3);
  console_.Flush();

  for (int i = 2; i >= 0; --i) {
    SCOPED_TRACE(i);
    windows_.WinClose();
    EXPECT_EQ(ScreenDiff(Cells(console_), levels[i].screen, 80), "");
    EXPECT_EQ(console_.CursorRow(), levels[i].cursorRow);
    EXPECT_EQ(console_.CursorColumn(), levels[i].cursorCol);
    EXPECT_EQ(console_.WindowDepth(), i);
    EXPECT_EQ(console_.CurrentWindow(), i > 0 ? levels[i - 1].rect : WindowRect{});
  }
  EXPECT_EQ(ScreenDiff(Cells(console_), before, 80), "");
  // What reached the display is the same screen: restoring the bottom-right cell did not
  // scroll anything.
  console_.Flush();
  EXPECT_EQ(control_.Text(), console_.Screen().Text());
  for (int c = 1; c <= 80; ++c) EXPECT_EQ(control_.Shown().At(25, c), console_.Screen().At(25, c));
  EXPECT_EQ(control_.ShownCursor().row, 7);
  EXPECT_EQ(control_.ShownCursor().column, 33);
  // The header is back at the start; the file keeps its length.
  std::string file = ReadBytes(StackHostPath());
  EXPECT_EQ(file.substr(0, 4), Header(5));
  EXPECT_GT(file.size(), 4u + 2 * (13 * 56 + 11 * 40 + 8 * 11));
}

TEST_F(WindowsOpenClose, RefusedWindowsCountAsOpenedButChangeNothing) {
  FillScreen();
  ASSERT_TRUE(windows_.WinOpen(2, 2, 20, 70));
  const std::vector<Cell> screen = Cells(console_);
  const std::string file = ReadBytes(StackHostPath());
  struct Case {
    const char* what;
    WindowRect rect;
  } cases[] = {
      {"row 0", {0, 1, 5, 5}},         {"bottom past the screen", {1, 1, 26, 5}},
      {"column past the screen", {1, 1, 5, 81}}, {"left 0", {1, 0, 5, 5}},
      {"top below bottom", {10, 1, 5, 5}},       {"left right of right", {1, 10, 5, 5}},
      {"negative", {-1, -1, 5, 5}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(windows_.WinOpen(c.rect.top, c.rect.left, c.rect.bottom, c.rect.right));
    EXPECT_EQ(windows_.OpenCount(), 2);
    EXPECT_EQ(console_.WindowDepth(), 1);
    EXPECT_EQ(console_.CurrentWindow(), (WindowRect{2, 2, 20, 70}));
    EXPECT_EQ(ReadBytes(StackHostPath()), file);
    // Its WinClose closes nothing else: the enclosing window stays open and unrestored.
    windows_.WinClose();
    EXPECT_EQ(windows_.OpenCount(), 1);
    EXPECT_EQ(console_.WindowDepth(), 1);
    EXPECT_EQ(ScreenDiff(Cells(console_), screen, 80), "");
  }
}

TEST_F(WindowsOpenClose, CoordinatesAboveNinetyNineAreRefusedOnAWideScreen) {
  auto wide = MakeHeadlessBackend({120, 132});
  Console console(std::move(wide.backend));
  Windows windows(console, session_, system_, environment_);
  EXPECT_TRUE(windows.WinOpen(1, 1, 99, 99));
  EXPECT_FALSE(windows.WinOpen(1, 1, 10, 100));
  EXPECT_FALSE(windows.WinOpen(1, 1, 100, 10));
  EXPECT_EQ(console.WindowDepth(), 1);
  windows.WinClose();
  EXPECT_EQ(console.WindowDepth(), 1);
  windows.WinClose();
  windows.WinClose();
  EXPECT_EQ(console.WindowDepth(), 0);
}

TEST_F(WindowsOpenClose, CloseWithNothingOpenLeavesAnEarlierProgramsWindowsAlone) {
  // A program that started this one has a window saved in the file.
  WindowRecord theirs{3, 3, {}, {1, 1, 1, 2}, "a\x07" "b\x17"};
  std::string record = *EncodeWindowRecord(theirs);
  std::string file = Header(5 + static_cast<std::uint32_t>(record.size())) + record;
  WriteBytes(StackHostPath(), file);
  FillScreen();
  const std::vector<Cell> screen = Cells(console_);
  windows_.WinClose();
  EXPECT_EQ(ReadBytes(StackHostPath()), file);
  EXPECT_EQ(ScreenDiff(Cells(console_), screen, 80), "");
  EXPECT_EQ(console_.WindowDepth(), 0);

  // Our own windows go on top of theirs and come back off.
  ASSERT_TRUE(windows_.WinOpen(5, 5, 6, 6));
  EXPECT_EQ(ReadBytes(StackHostPath()).substr(0, 4), Header(static_cast<std::uint32_t>(5 + record.size() + 33)));
  windows_.WinClose();
  EXPECT_EQ(ReadBytes(StackHostPath()).substr(0, 4), Header(static_cast<std::uint32_t>(5 + record.size())));
  windows_.WinClose();
  EXPECT_EQ(ReadBytes(StackHostPath()).substr(0, 4), Header(static_cast<std::uint32_t>(5 + record.size())));
  EXPECT_EQ(ScreenDiff(Cells(console_), screen, 80), "");
}

TEST_F(WindowsOpenClose, StackFileDamagedWhileOpenStillRestoresTheWindowAndCursor) {
  struct Case {
    const char* what;
    std::function<void(const std::string&)> damage;
  } cases[] = {
      {"file removed", [](const std::string& path) { std::filesystem::remove(path); }},
      {"rectangle of the record overwritten",
       [](const std::string& path) {
         std::string bytes = ReadBytes(path);
         // The inner record (4 x 26 cells) is the last 233 bytes; its top row is at 12.
         bytes.replace(bytes.size() - 233 + 12, 2, "##");
         WriteBytes(path, bytes);
       }},
      {"length field overwritten",
       [](const std::string& path) {
         std::string bytes = ReadBytes(path);
         bytes.replace(bytes.size() - 5, 5, "xxxxx");
         WriteBytes(path, bytes);
       }},
      {"header past the end of the file",
       [](const std::string& path) {
         std::string bytes = ReadBytes(path);
         bytes.replace(0, 4, Header(100000));
         WriteBytes(path, bytes);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(StackHostPath());
    FillScreen();
    ASSERT_TRUE(windows_.WinOpen(2, 2, 10, 40));
    console_.Locate(3, 3);
    ASSERT_TRUE(windows_.WinOpen(5, 5, 8, 30));
    console_.DrawFrame(1);
    c.damage(StackHostPath());
    windows_.WinClose();
    EXPECT_EQ(console_.WindowDepth(), 1);
    EXPECT_EQ(console_.CurrentWindow(), (WindowRect{2, 2, 10, 40}));
    EXPECT_EQ(console_.CursorRow(), 3);
    EXPECT_EQ(console_.CursorColumn(), 3);
    windows_.WinClose();
    EXPECT_EQ(console_.WindowDepth(), 0);
    EXPECT_EQ(console_.CursorRow(), 7);
    EXPECT_EQ(console_.CursorColumn(), 33);
  }
}

TEST_F(WindowsOpenClose, WithoutATemporaryDirectoryWindowsAreKeptInMemory) {
  session_.TempDir = dir_.SystemDir() + "missing\\";
  FillScreen();
  const std::vector<Cell> before = Cells(console_);
  ASSERT_TRUE(windows_.WinOpen(1, 1, 25, 80));
  console_.DrawFrame(2);
  ASSERT_TRUE(windows_.WinOpen(10, 10, 12, 20));
  console_.DrawFrame(1);
  windows_.WinClose();
  windows_.WinClose();
  EXPECT_EQ(ScreenDiff(Cells(console_), before, 80), "");
  EXPECT_EQ(console_.CursorRow(), 7);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "missing"));
}

TEST_F(WindowsOpenClose, AScreenThatShrankIsRestoredWhereItStillExists) {
  FillScreen();
  ASSERT_TRUE(windows_.WinOpen(20, 60, 25, 80));
  console_.DrawFrame(2);
  control_.Resize({22, 70});
  std::vector<Cell> expected;
  for (int r = 1; r <= 19; ++r) {
    for (int c = 1; c <= 70; ++c) expected.push_back(console_.Screen().At(r, c));
  }
  windows_.WinClose();
  ASSERT_EQ(console_.ScreenRows(), 22);
  // Rows above the window are untouched; the window's cells inside the smaller screen came back.
  for (int r = 1; r <= 19; ++r) {
    for (int c = 1; c <= 70; ++c) EXPECT_EQ(console_.Screen().At(r, c), expected[static_cast<std::size_t>((r - 1) * 70 + c - 1)]);
  }
  EXPECT_EQ(console_.ReadCell(20, 60), 0x21) << "the frame corner was restored";
  EXPECT_EQ(console_.ReadCell(22, 70), 0x21 + (22 * 7 + 70) % 200);
}

}  // namespace
}  // namespace tui
