#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/tui/console/console_test_support.h"

namespace tui {
namespace {

using testing::HeadlessConsole;

// Rows top..bottom, columns left..right of the grid as text.
std::vector<std::string> Area(Console& con, int top, int left, int bottom, int right) {
  std::vector<std::string> out;
  for (int r = top; r <= bottom; ++r) {
    std::string line;
    for (int c = left; c <= right; ++c) line += static_cast<char>(con.ReadCell(r, c));
    out.push_back(line);
  }
  return out;
}

TEST(ConsolePrintTest, WritesAtTheCursorInTheCurrentAttributeAndAdvances) {
  HeadlessConsole con;
  con->SetColour(14, 1);
  con->Locate(3, 78);
  con->Print("ab\x82" "d");
  EXPECT_EQ(con->ReadCell(3, 78), 'a');
  EXPECT_EQ(con->ReadCell(3, 80), 0x82);
  EXPECT_EQ(con->ReadCell(4, 1), 'd');  // continues on the next row
  EXPECT_EQ(con->ReadAttribute(4, 1), 0x1E);
  EXPECT_EQ(con->CursorRow(), 4);
  EXPECT_EQ(con->CursorColumn(), 2);
}

// Writing the bottom-right cell never scrolls: the rest of the text is dropped, the cursor
// stays on that cell and row 1 is untouched.
TEST(ConsolePrintTest, TheLastCellDoesNotScroll) {
  HeadlessConsole con;
  con->Locate(1, 1);
  con->Print("top");
  con->Locate(25, 79);
  con->Print("XYZW");
  EXPECT_EQ(con->ReadCell(25, 79), 'X');
  EXPECT_EQ(con->ReadCell(25, 80), 'Y');
  EXPECT_EQ(con->CursorRow(), 25);
  EXPECT_EQ(con->CursorColumn(), 80);
  EXPECT_EQ(Area(*con, 1, 1, 1, 3), std::vector<std::string>{"top"});
  con->PrintSpaces(1'000'000'000);
  EXPECT_EQ(con->ReadCell(25, 80), ' ');
  EXPECT_EQ(con->ReadCell(1, 1), 't');
}

TEST(ConsolePrintTest, PrintSpacesBelowZeroIsNothing) {
  HeadlessConsole con;
  con->Locate(2, 2);
  con->PrintSpaces(-5);
  EXPECT_EQ(con->CursorColumn(), 2);
  con->PrintSpaces(3);
  EXPECT_EQ(con->CursorColumn(), 5);
}

TEST(ConsoleLocateTest, CoordinatesOffTheScreenLeaveThatCoordinate) {
  struct Case {
    int row, column, expected_row, expected_column;
  } cases[] = {
      {5, 6, 5, 6}, {0, 9, 3, 9}, {26, 9, 3, 9}, {7, 0, 7, 4}, {7, 81, 7, 4}, {-1, -1, 3, 4}, {25, 80, 25, 80},
  };
  for (const auto& c : cases) {
    HeadlessConsole con;
    con->Locate(3, 4);
    con->Locate(c.row, c.column);
    EXPECT_EQ(con->CursorRow(), c.expected_row) << c.row << "," << c.column;
    EXPECT_EQ(con->CursorColumn(), c.expected_column) << c.row << "," << c.column;
  }
}

TEST(ConsoleReadCellTest, OffTheScreenReadsZero) {
  HeadlessConsole con;
  EXPECT_EQ(con->ReadCell(0, 1), 0);
  EXPECT_EQ(con->ReadAttribute(26, 1), 0);
  EXPECT_EQ(con->ReadCell(1, 81), 0);
  EXPECT_EQ(con->ReadCell(1, 1), ' ');
  EXPECT_EQ(con->ReadAttribute(1, 1), 0x07);
}

TEST(ConsoleCursorTest, HeightsAreClamped) {
  HeadlessConsole con;
  const int cases[][2] = {{50, 50}, {100, 99}, {5, 10}, {-3, 10}, {99, 99}, {10, 10}};
  for (const auto& c : cases) {
    con->ShowCursor(c[0]);
    EXPECT_EQ(con->Cursor().height, c[1]);
    EXPECT_TRUE(con->Cursor().visible);
  }
  con->HideCursor();
  con->Flush();
  EXPECT_FALSE(con.control->ShownCursor().visible);
}

// ---- Windows and frames ---------------------------------------------------------------

TEST(ConsoleWindowTest, PositionsWithAndWithoutAWindow) {
  HeadlessConsole con;
  EXPECT_EQ(con->WinTop(), 1);
  EXPECT_EQ(con->WinLeft(), 1);
  EXPECT_EQ(con->WinRight(), 80);
  con->WinLocate(4, 7);
  EXPECT_EQ(con->CursorRow(), 4);
  EXPECT_EQ(con->CursorColumn(), 7);
  con->SetWindowState(1, {5, 10, 12, 40});
  EXPECT_EQ(con->WinTop(), 6);
  EXPECT_EQ(con->WinLeft(), 11);
  EXPECT_EQ(con->WinRight(), 39);
  con->WinLocate(1, 1);
  EXPECT_EQ(con->CursorRow(), 6);
  EXPECT_EQ(con->CursorColumn(), 11);
}

TEST(DrawFrameTest, NothingWithoutAWindow) {
  HeadlessConsole con;
  con->DrawFrame(1);
  EXPECT_EQ(con->Screen().Text(), ScreenBuffer({25, 80}).Text());
}

TEST(DrawFrameTest, StylesAndClearedInside) {
  struct Case {
    int style;
    std::vector<std::string> expected;
  } cases[] = {
      {1, {"\xDA\xC4\xC4\xC4\xBF", "\xB3   \xB3", "\xB3   \xB3", "\xC0\xC4\xC4\xC4\xD9"}},
      {2, {"\xC9\xCD\xCD\xCD\xBB", "\xBA   \xBA", "\xBA   \xBA", "\xC8\xCD\xCD\xCD\xBC"}},
      {0, {"     ", "     ", "     ", "     "}},
  };
  for (const auto& c : cases) {
    HeadlessConsole con;
    for (int r = 1; r <= 25; ++r) {
      con->Locate(r, 1);
      con->Print(std::string(80, '#'));
    }
    con->SetColour(3, 1);
    con->SetWindowState(1, {2, 3, 5, 7});
    con->DrawFrame(c.style);
    EXPECT_EQ(Area(*con, 2, 3, 5, 7), c.expected) << "style " << c.style;
    // Only the rectangle changes, in the current colour.
    EXPECT_EQ(Area(*con, 1, 2, 6, 8)[0], "#######");
    EXPECT_EQ(con->ReadCell(3, 2), '#');
    EXPECT_EQ(con->ReadCell(3, 8), '#');
    EXPECT_EQ(con->ReadAttribute(4, 5), 0x13);
    EXPECT_EQ(con->ReadAttribute(2, 3), 0x13);
    EXPECT_EQ(con->ReadAttribute(3, 2), 0x07);
  }
}

TEST(DrawFrameTest, AFrameOnTheLastRowAndColumnDoesNotScroll) {
  HeadlessConsole con;
  con->Locate(1, 1);
  con->Print("keep");
  con->SetWindowState(1, {23, 70, 25, 80});
  con->DrawFrame(1);
  EXPECT_EQ(con->ReadCell(25, 80), 0xD9);
  EXPECT_EQ(con->ReadCell(23, 70), 0xDA);
  EXPECT_EQ(con->ReadCell(1, 1), 'k');
}

// ---- Scrolling --------------------------------------------------------------------------

TEST(ScrollRegionTest, MovesContentsAndBlanksUncoveredLines) {
  struct Case {
    int lines;
    std::vector<std::string> expected;
  } cases[] = {
      {1, {"bbb", "ccc", "   "}},
      {2, {"ccc", "   ", "   "}},
      {-1, {"   ", "aaa", "bbb"}},
      {3, {"   ", "   ", "   "}},
      {-2147483647, {"   ", "   ", "   "}},
      {0, {"aaa", "bbb", "ccc"}},
  };
  for (const auto& c : cases) {
    HeadlessConsole con;
    const char* rows[] = {"xaaax", "xbbbx", "xcccx"};
    for (int i = 0; i < 3; ++i) {
      con->Locate(4 + i, 9);
      con->Print(rows[i]);
    }
    con->SetColour(0, 2);
    // Corners counted from 0: rows 4..6, columns 10..12.
    con->ScrollRegion(3, 9, 5, 11, c.lines);
    EXPECT_EQ(Area(*con, 4, 10, 6, 12), c.expected) << c.lines;
    EXPECT_EQ(con->ReadCell(5, 9), 'x') << c.lines;
    EXPECT_EQ(con->ReadCell(5, 13), 'x') << c.lines;
    if (c.lines == 1) {
      EXPECT_EQ(con->ReadAttribute(6, 10), 0x20);
    }
  }
}

TEST(ScrollRegionTest, ARectangleOffTheScreenIsCut) {
  HeadlessConsole con;
  con->Locate(25, 1);
  con->Print("last");
  con->ScrollRect(24, -5, 40, 200, 1);
  EXPECT_EQ(con->ReadCell(24, 1), 'l');
  EXPECT_EQ(con->ReadCell(25, 1), ' ');
}

// ---- What reaches the display ----------------------------------------------------------

TEST(ConsoleFlushTest, OnlyChangedCellsReachTheDisplay) {
  HeadlessConsole con;
  con->Flush();
  EXPECT_EQ(con.control->CellsWritten(), 25 * 80);  // the first flush sends everything
  con.control->ResetCounters();
  con->Flush();
  EXPECT_EQ(con.control->CellsWritten(), 0);
  con->Locate(10, 10);
  con->Print("abc");
  con->Locate(10, 10);
  con->Print("abc");  // drawn twice, sent once
  con->Locate(20, 1);
  con->Print(" ");  // the same as what is shown: not sent
  con->Flush();
  EXPECT_EQ(con.control->CellsWritten(), 3);
  EXPECT_EQ(con.control->Row(10).substr(9, 3), "abc");
  EXPECT_EQ(con.control->ShownCursor().row, 20);
  EXPECT_EQ(con.control->ShownCursor().column, 2);
}

TEST(ConsoleFlushTest, AResizeIsNoticedAtTheNextSizeQueryAndRedrawsEverything) {
  HeadlessConsole con;
  con->Locate(2, 2);
  con->Print("hi");
  con->Flush();
  con.control->ResetCounters();
  con.control->Resize({30, 100});
  EXPECT_EQ(con->ScreenRows(), 30);
  EXPECT_EQ(con->ScreenCols(), 100);
  EXPECT_EQ(con->ReadCell(2, 3), 'i');  // contents kept
  con->Flush();
  EXPECT_EQ(con.control->CellsWritten(), 30 * 100);
  EXPECT_EQ(con.control->Row(2).substr(1, 2), "hi");
  con.control->Resize({24, 80});
  EXPECT_EQ(con->ScreenRows(), 24);
  con->Locate(24, 80);
  EXPECT_EQ(con->CursorRow(), 24);
}

TEST(ConsoleClipboardTest, HeldCopyWithoutASystemClipboard) {
  HeadlessConsole con;
  EXPECT_EQ(con->ClipboardText(), "");
  con->SetClipboardText("Pla\x87" "a");
  EXPECT_EQ(con->ClipboardText(), "Pla\x87" "a");
}

TEST(ConsoleClipboardTest, SystemClipboardWinsWhenThere) {
  HeadlessConsole con;
  con.control->SetSystemClipboard(std::string("outside"));
  EXPECT_EQ(con->ClipboardText(), "outside");
  con->SetClipboardText("ours");
  EXPECT_EQ(*con.control->SystemClipboard(), "ours");
  EXPECT_EQ(con->ClipboardText(), "ours");
}

TEST(ConsoleInsertLockTest, ProcessWideToggle) {
  HeadlessConsole con;
  EXPECT_FALSE(con->InsertLock());
  con->SetInsertLock(true);
  EXPECT_TRUE(con->InsertLock());
}

// ---- Scrolling on a display that can move rows ----------------------------------------------

void FillRows(Console& con, int first, int last) {
  for (int r = first; r <= last; ++r) {
    con.Locate(r, 1);
    con.SetColour(r % 16, 1);
    con.Print("#" + std::string(78, static_cast<char>('a' + r % 26)) + std::to_string(r % 10));
  }
}

TEST(ConsoleScrollRowsTest, TheDisplayMovesRowsAndTheRestIsRepaired) {
  struct Case {
    int lines;
    int new_row;
  } cases[] = {{1, 20}, {3, 18}, {-1, 5}, {-2, 5}};
  for (const auto& c : cases) {
    HeadlessConsole con;
    con.control->SetScrollRows(true);
    FillRows(*con, 1, 25);
    con->Flush();
    con.control->ResetCounters();
    // Rows 5..20, columns 2..79 move; the first and last columns stay as they are.
    con->ScrollRect(5, 2, 20, 79, c.lines);
    con->Locate(c.new_row, 2);
    con->Print("fresh");
    con->Flush();
    EXPECT_EQ(con.control->RowScrolls(), 1) << c.lines;
    EXPECT_EQ(con.control->Text(), con->Screen().Text()) << c.lines;
    for (int r = 1; r <= 25; ++r) {
      for (int col = 1; col <= 80; ++col) {
        ASSERT_EQ(con.control->Shown().At(r, col), con->Screen().At(r, col)) << c.lines << ": " << r << "," << col;
      }
    }
    // Far fewer cells than the 16 rows of the rectangle.
    EXPECT_LT(con.control->CellsWritten(), 16 * 78 / 2) << c.lines;
  }
}

TEST(ConsoleScrollRowsTest, NotUsedWhereItSavesNothing) {
  HeadlessConsole con;
  con.control->SetScrollRows(true);
  con->Flush();  // a blank screen: moving blank rows saves nothing
  con->ScrollRect(1, 1, 25, 80, 1);
  con->Flush();
  EXPECT_EQ(con.control->RowScrolls(), 0);

  FillRows(*con, 1, 25);
  con->Flush();
  con->ScrollRect(5, 1, 20, 80, 1);
  con->ScrollRect(6, 1, 20, 80, -1);  // two different scrolls: rewritten instead
  con->Flush();
  EXPECT_EQ(con.control->RowScrolls(), 0);
  EXPECT_EQ(con.control->Text(), con->Screen().Text());
}

TEST(ConsoleScrollRowsTest, RepeatedScrollsOfOneRectangleAddUp) {
  HeadlessConsole con;
  con.control->SetScrollRows(true);
  FillRows(*con, 1, 25);
  con->Flush();
  con->ScrollRect(3, 1, 22, 80, 1);
  con->ScrollRect(3, 1, 22, 80, 1);
  con->Flush();
  EXPECT_EQ(con.control->RowScrolls(), 1);
  EXPECT_EQ(con.control->Text(), con->Screen().Text());
}

TEST(ConsoleNullBackendTest, AConsoleWithoutAdaptersStillKeepsItsScreen) {
  Console con{Backend{}};
  EXPECT_EQ(con.ScreenRows(), 25);
  EXPECT_EQ(con.ScreenCols(), 80);
  con.Locate(2, 3);
  con.Print("x");
  con.Flush();
  EXPECT_EQ(con.ReadCell(2, 3), 'x');
  KeyEvent e;
  con.ReadKey(e);
  EXPECT_EQ(e.key, 0);
  EXPECT_EQ(con.Mouse(), Console::MouseState::kAbsent);
}

}  // namespace
}  // namespace tui
