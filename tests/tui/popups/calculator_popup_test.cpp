// The calculator on a headless console: the window, the tape growing from its start row, the
// display, sliding, clearing the tape, the state kept in ZEDCALC.TMP between openings, damaged
// and missing files, small screens, and everything of the caller's given back.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/tui/popups/popups_test_rig.h"
#include "tui/popups/calculator.h"

namespace tui {
namespace {

using popups_test::AttributeOf;
using popups_test::Keys;
using popups_test::PopupsRig;

const std::string kTop = "\xDA" + std::string(24, '\xC4') + "\xBF";
const std::string kSeparator = "\xC3" + std::string(24, '\xC4') + "\xB4";
const std::string kBottom = "\xC0" + std::string(24, '\xC4') + "\xD9";

// A row of the window: the vertical lines around 24 characters.
std::string Framed(const std::string& inside) { return "\xB3" + inside + "\xB3"; }
// 22 positions, right-aligned.
std::string Right22(const std::string& text) { return std::string(22 - text.size(), ' ') + text; }

TEST(CalculatorPopupTest, AnEmptyTapeShowsOnlyTheDisplay) {
  PopupsRig rig;
  rig.FillScreen();
  rig.FeedBatches({});
  EXPECT_EQ(rig.popups.Calculator(), "");
  ASSERT_GE(rig.shots.size(), 1u);
  EXPECT_EQ(rig.ShotText(0, 22, 1, 27), std::string(27, '.'));
  EXPECT_EQ(rig.ShotText(0, 23, 1, 27), kTop + ".");
  EXPECT_EQ(rig.ShotText(0, 24, 1, 26), Framed(Right22("0") + "  "));
  EXPECT_EQ(rig.ShotText(0, 25, 1, 26), kBottom);
  EXPECT_EQ(rig.ShotAttribute(0, 24, 1), AttributeOf(1));
  EXPECT_EQ(rig.ShotAttribute(0, 24, 23), AttributeOf(1));
  EXPECT_FALSE(rig.shots.empty());
}

TEST(CalculatorPopupTest, TheTapeGrowsUpwardsFromItsStartRow) {
  PopupsRig rig;
  rig.FillScreen();
  rig.FeedBatches({Keys("12.5"), Keys("+3"), Keys("=")}, 'F');
  EXPECT_EQ(rig.popups.Calculator(), "1550");
  ASSERT_GE(rig.shots.size(), 4u);
  // Typing shows on the display only (the decimal character is the installation's "'").
  EXPECT_EQ(rig.ShotText(1, 24, 1, 26), Framed(Right22("12'5") + "  "));
  EXPECT_EQ(rig.ShotText(1, 23, 1, 26), kTop);
  // "+": the first tape line, with the frame above it and the separator below.
  EXPECT_EQ(rig.ShotText(2, 21, 1, 26), kTop);
  EXPECT_EQ(rig.ShotText(2, 22, 1, 26), Framed(Right22("12'5") + " +"));
  EXPECT_EQ(rig.ShotText(2, 23, 1, 26), kSeparator);
  EXPECT_EQ(rig.ShotText(2, 24, 1, 26), Framed(Right22("3") + "  "));
  EXPECT_EQ(rig.ShotText(2, 20, 1, 26), std::string(26, '.'));
  // "=": the operand and the result without a label.
  EXPECT_EQ(rig.ShotText(3, 19, 1, 26), kTop);
  EXPECT_EQ(rig.ShotText(3, 20, 1, 26), Framed(Right22("12'5") + " +"));
  EXPECT_EQ(rig.ShotText(3, 21, 1, 26), Framed(Right22("3") + " ="));
  EXPECT_EQ(rig.ShotText(3, 22, 1, 26), Framed(Right22("15'5") + "  "));
  EXPECT_EQ(rig.ShotText(3, 23, 1, 26), kSeparator);
  EXPECT_EQ(rig.ShotText(3, 24, 1, 26), Framed(Right22("15'5") + "  "));
  EXPECT_EQ(rig.ShotText(3, 25, 1, 26), kBottom);
  EXPECT_EQ(rig.ShotText(3, 18, 1, 26), std::string(26, '.'));
}

TEST(CalculatorPopupTest, TheInstallationsDecimalAndThousandsCharacters) {
  PopupsRig rig;
  rig.settings.entries["Usuari/DecCaracter"] = ",";
  rig.settings.entries["Usuari/MilCaracter"] = ".";
  rig.FeedBatches({Keys("1234567.5")}, 'F');
  EXPECT_EQ(rig.popups.Calculator(), "123456750");
  EXPECT_EQ(rig.ShotText(1, 24, 1, 26), Framed(Right22("1.234.567,5") + "  "));
}

TEST(CalculatorPopupTest, TheDisplayWhileTyping) {
  PopupsRig rig;
  rig.FeedBatches({Keys("12.5"), {key::kBackspace}, {key::kBackspace}, Keys(".05"), Keys("T")}, 'F');
  EXPECT_EQ(rig.popups.Calculator(), "1205");  // without the sign
  ASSERT_GE(rig.shots.size(), 6u);
  EXPECT_EQ(rig.ShotText(1, 24, 2, 22), Right22("12'5"));
  EXPECT_EQ(rig.ShotText(2, 24, 2, 22), Right22("12'"));  // the point without decimals
  EXPECT_EQ(rig.ShotText(3, 24, 2, 22), Right22("12"));
  EXPECT_EQ(rig.ShotText(4, 24, 2, 22), Right22("12'05"));
  EXPECT_EQ(rig.ShotText(5, 24, 2, 22), "-" + Right22("12'05").substr(1));
}

TEST(CalculatorPopupTest, ANegativeDisplayAndTheErrorMark) {
  PopupsRig rig;
  rig.FeedBatches({Keys("7-10="), Keys("/0=")}, 'F');
  EXPECT_EQ(rig.popups.Calculator(), "");
  ASSERT_GE(rig.shots.size(), 3u);
  EXPECT_EQ(rig.ShotText(1, 24, 1, 26), Framed("-" + std::string(20, ' ') + "3  "));
  EXPECT_EQ(rig.ShotText(2, 24, 1, 26), Framed(Right22("ERROR") + "  "));
  EXPECT_EQ(rig.ShotText(2, 22, 1, 26), Framed(Right22("ERROR") + "  "));
}

TEST(CalculatorPopupTest, TheThirdClearGivesBackTheScreenUnderTheTape) {
  PopupsRig rig;
  rig.FillScreen();
  rig.FeedBatches({Keys("12+3"), Keys("C"), Keys("C"), Keys("C")});
  EXPECT_EQ(rig.popups.Calculator(), "");
  ASSERT_GE(rig.shots.size(), 5u);
  EXPECT_EQ(rig.ShotText(1, 22, 1, 26), Framed(Right22("12") + " +"));
  EXPECT_EQ(rig.ShotText(2, 24, 1, 26), Framed(Right22("12") + "  "));  // the 3 cancelled
  EXPECT_EQ(rig.ShotText(3, 24, 1, 26), Framed(Right22("0") + "  "));
  EXPECT_EQ(rig.ShotText(3, 22, 1, 26), Framed(Right22("12") + " +"));  // the tape stays
  EXPECT_EQ(rig.ShotText(4, 21, 1, 26), std::string(26, '.'));
  EXPECT_EQ(rig.ShotText(4, 22, 1, 26), std::string(26, '.'));
  EXPECT_EQ(rig.ShotText(4, 23, 1, 26), kTop);
}

TEST(CalculatorPopupTest, LeftAtColumnOneMovesTheWindowToTheRightEdge) {
  PopupsRig rig;
  rig.FillScreen();
  rig.FeedBatches({Keys("5+"), {key::kLeft}, {key::kRight}, {key::kRight}});
  EXPECT_EQ(rig.popups.Calculator(), "");
  ASSERT_GE(rig.shots.size(), 5u);
  // Columns 55 to 80, the bottom-right corner in the screen's last cell.
  EXPECT_EQ(rig.ShotText(2, 22, 55, 26), Framed(Right22("5") + " +"));
  EXPECT_EQ(rig.ShotText(2, 25, 55, 26), kBottom);
  EXPECT_EQ(rig.ShotText(2, 25, 80, 1), "\xD9");
  EXPECT_EQ(rig.ShotText(2, 25, 1, 54), std::string(54, '.'));
  EXPECT_EQ(rig.ShotText(2, 22, 1, 54), std::string(54, '.'));
  // Right from the edge wraps round to column 1, then moves on to 2.
  EXPECT_EQ(rig.ShotText(3, 25, 1, 26), kBottom);
  EXPECT_EQ(rig.ShotText(3, 25, 55, 26), std::string(26, '.'));
  EXPECT_EQ(rig.ShotText(4, 25, 1, 27), "." + kBottom);
  // The screen has not scrolled: the first row is as it was.
  EXPECT_EQ(rig.ShotText(2, 1, 1, 80), std::string(80, '.'));
}

TEST(CalculatorPopupTest, ReopeningShowsTheSameTapeDisplayAndColumn) {
  PopupsRig rig;
  rig.FillScreen();
  rig.FeedBatches({Keys("12.5+3="), {key::kLeft, key::kLeft}}, 'F');
  EXPECT_EQ(rig.popups.Calculator(), "1550");
  ASSERT_GE(rig.shots.size(), 3u);
  const ScreenBuffer left = rig.shots.back();

  rig.shots.clear();
  rig.FeedBatches({}, key::kEscape);
  EXPECT_EQ(rig.popups.Calculator(), "");
  ASSERT_GE(rig.shots.size(), 1u);
  for (int r = 1; r <= 25; ++r) {
    for (int c = 1; c <= 80; ++c) ASSERT_EQ(rig.shots[0].At(r, c), left.At(r, c)) << r << "," << c;
  }
  EXPECT_EQ(rig.ShotText(0, 22, 54, 26), Framed(Right22("15'5") + "  "));

  // And the sum goes on from where it was.
  rig.shots.clear();
  rig.FeedBatches({Keys("+4.5=")}, 'F');
  EXPECT_EQ(rig.popups.Calculator(), "2000");
}

TEST(CalculatorPopupTest, TheStateFileIsCreatedEmptyAndWrittenOnLeaving) {
  PopupsRig rig;
  ASSERT_FALSE(std::filesystem::exists(rig.CalcFileHostPath()));
  bool existedWhileOpen = false;
  std::string whileOpen = "unread";
  rig.Script().SetOnStarved([&](HeadlessControl& c) {
    existedWhileOpen = std::filesystem::exists(rig.CalcFileHostPath());
    whileOpen = rig.ReadCalcFile();
    for (KeyCode k : Keys("2*21=")) c.PushKey(k);
    c.PushKey(key::kEscape);
  });
  EXPECT_EQ(rig.popups.Calculator(), "");
  EXPECT_TRUE(existedWhileOpen);
  EXPECT_EQ(whileOpen, "");
  CalculatorState expected;
  CalculatorMachine machine(expected);
  for (KeyCode k : Keys("2*21=")) machine.HandleKey(k);
  machine.HandleKey(key::kEscape);
  EXPECT_EQ(rig.ReadCalcFile(), WriteCalculatorState(expected));
}

TEST(CalculatorPopupTest, ADamagedStateFileStillOpensTheWindow) {
  for (std::string damaged : {std::string("garbage"), std::string("99,0,x,1e999\r\n\"\r\n,,,"),
                              std::string("\0\0\0\0", 4), std::string(100000, '9')}) {
    SCOPED_TRACE(damaged.substr(0, 20));
    PopupsRig rig;
    rig.WriteCalcFile(damaged);
    rig.FeedBatches({Keys("8")}, 'F');
    EXPECT_EQ(rig.popups.Calculator(), "800");
    ASSERT_GE(rig.shots.size(), 2u);
    EXPECT_EQ(rig.ShotText(0, 24, 1, 26), Framed(Right22("0") + "  "));
    EXPECT_EQ(rig.ShotText(1, 24, 1, 26), Framed(Right22("8") + "  "));
    EXPECT_EQ(ReadCalculatorState(rig.ReadCalcFile()).entry.Text(), "8");
  }
}

TEST(CalculatorPopupTest, WorksWithoutATerminalDirectory) {
  PopupsRig rig;
  rig.session.TerminalDir = rig.dir.SystemDir() + "missing\\";
  for (KeyCode k : Keys("4+4=F")) rig.Script().PushKey(k);
  EXPECT_EQ(rig.popups.Calculator(), "800");
  EXPECT_FALSE(std::filesystem::exists(rig.dir / "missing"));
}

TEST(CalculatorPopupTest, ASmallScreenIsNeverWrittenOutside) {
  struct Case {
    ScreenSize size;
    int column;
  } cases[] = {{{20, 80}, 1}, {{25, 40}, 30}, {{12, 30}, 20}, {{25, 40}, 50}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.size.rows << "x" << c.size.columns << " column " << c.column);
    PopupsRig rig(c.size);
    CalculatorState state;
    state.column = c.column;
    rig.WriteCalcFile(WriteCalculatorState(state));
    rig.FillScreen();
    const ScreenBuffer before = rig.Con().Screen();
    std::vector<KeyCode> many;
    for (int i = 0; i < 25; ++i) {
      for (KeyCode k : Keys("9+")) many.push_back(k);
    }
    rig.FeedBatches({many}, 'F');
    EXPECT_EQ(rig.popups.Calculator(), "22500");
    ASSERT_GE(rig.shots.size(), 2u);
    const ScreenBuffer& drawn = rig.shots[1];
    EXPECT_EQ(drawn.Size(), c.size);
    for (int r = 1; r <= c.size.rows; ++r) {
      for (int col = 1; col <= c.size.columns; ++col) {
        // Outside the window's columns nothing changes: no row was wrapped onto the next.
        if (col >= c.column && col <= c.column + 25) continue;
        ASSERT_EQ(drawn.At(r, col), before.At(r, col)) << r << "," << col;
      }
    }
    if (c.column <= c.size.columns) {
      // The tape's lines that fit are drawn.
      EXPECT_EQ(drawn.At(std::min(22, c.size.rows), c.column).character, 0xB3);
    }
    for (int r = 1; r <= c.size.rows; ++r) {
      for (int col = 1; col <= c.size.columns; ++col) {
        ASSERT_EQ(rig.Con().Screen().At(r, col), before.At(r, col)) << "after " << r << "," << col;
      }
    }
  }
}

TEST(CalculatorPopupTest, GivesBackTheKeySetColourAndCursor) {
  PopupsRig rig;
  rig.FillScreen();
  Console& con = rig.Con();
  con.KeySet("+ea", "d,1b");
  con.ScreenColour("+u");
  con.Locate(9, 12);
  con.ShowCursor(100);
  const ScreenBuffer before = con.Screen();
  const std::vector<KeyCode> keys = con.AcceptedKeys();
  const std::string stack = con.ColourStack();
  rig.FeedBatches({Keys("1")}, 'F');
  EXPECT_EQ(rig.popups.Calculator(), "100");
  ASSERT_GE(rig.keySets.size(), 1u);
  EXPECT_TRUE(rig.keySets[0].empty());  // no key filtering while open
  for (int r = 1; r <= 25; ++r) {
    for (int c = 1; c <= 80; ++c) ASSERT_EQ(con.Screen().At(r, c), before.At(r, c)) << r << "," << c;
  }
  EXPECT_EQ(con.AcceptedKeys(), keys);
  EXPECT_EQ(con.ColourIndex(), 4);
  EXPECT_EQ(con.ColourStack(), stack);
  EXPECT_EQ(con.CursorRow(), 9);
  EXPECT_EQ(con.CursorColumn(), 12);
  EXPECT_TRUE(con.Cursor().visible);
  EXPECT_EQ(con.Cursor().height, 99);
  EXPECT_EQ(rig.windows.OpenCount(), 0);
}

}  // namespace
}  // namespace tui
