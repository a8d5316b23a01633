// The calendar: month lengths, day moves across months, quarters and years, the start date, the
// returned text, and the pop-up on a headless console (grid, redraws, headings, colours, and
// everything of the caller's given back).
#include <gtest/gtest.h>

#include "tests/tui/popups/popups_test_rig.h"
#include "tui/popups/calendar.h"

namespace tui {
namespace {

using popups_test::AttributeOf;
using popups_test::Packed;
using popups_test::PopupsRig;

TEST(CalendarMonthLengthTest, EveryMonthAndTheLeapRule) {
  const int lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  for (int m = 1; m <= 12; ++m) {
    EXPECT_EQ(CalendarMonthLength(2023, m), lengths[m - 1]) << m;
    EXPECT_EQ(CalendarMonthLength(2024, m), m == 2 ? 29 : lengths[m - 1]) << m;
  }
  EXPECT_EQ(CalendarMonthLength(1900, 2), 28);
  EXPECT_EQ(CalendarMonthLength(2000, 2), 29);
  EXPECT_EQ(CalendarMonthLength(2100, 2), 28);
  EXPECT_EQ(CalendarMonthLength(2024, 0), 0);
  EXPECT_EQ(CalendarMonthLength(2024, 13), 0);
}

TEST(CalendarMoveTest, DayMovesAcrossMonthsQuartersAndYears) {
  struct Case {
    CalendarDate from;
    KeyCode key;
    CalendarDate to;
  } cases[] = {
      {{2024, 1, 31}, key::kRight, {2024, 2, 1}},
      {{2024, 3, 31}, key::kRight, {2024, 4, 1}},
      {{2024, 12, 31}, key::kRight, {2025, 1, 1}},
      {{2025, 1, 1}, key::kLeft, {2024, 12, 31}},
      {{2024, 3, 1}, key::kLeft, {2024, 2, 29}},
      {{2023, 3, 1}, key::kLeft, {2023, 2, 28}},
      {{2024, 3, 3}, key::kUp, {2024, 2, 25}},
      {{2023, 3, 3}, key::kUp, {2023, 2, 24}},
      {{2024, 1, 5}, key::kUp, {2023, 12, 29}},
      {{2024, 12, 28}, key::kDown, {2025, 1, 4}},
      {{2023, 2, 25}, key::kDown, {2023, 3, 4}},
      {{2024, 11, 30}, key::kPgDn, {2025, 2, 28}},
      {{2023, 11, 30}, key::kPgDn, {2024, 2, 29}},
      {{2024, 5, 31}, key::kPgUp, {2024, 2, 29}},
      {{2024, 2, 15}, key::kPgUp, {2023, 11, 15}},
      {{2024, 5, 31}, key::kHome, {2024, 1, 31}},
      {{2024, 5, 31}, key::kEnd, {2024, 12, 31}},
      // The years stop at 1 and 9999.
      {{9999, 12, 31}, key::kRight, {9999, 12, 31}},
      {{9999, 11, 1}, key::kPgDn, {9999, 11, 1}},
      {{1, 1, 1}, key::kLeft, {1, 1, 1}},
      {{1, 2, 10}, key::kPgUp, {1, 2, 10}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.from.year << "-" << c.from.month << "-" << c.from.day << " key "
                                    << std::hex << c.key);
    CalendarDate d = c.from;
    EXPECT_TRUE(MoveCalendarDate(d, c.key));
    EXPECT_EQ(d, c.to);
  }
  for (KeyCode other : {key::kEnter, KeyCode{'x'}, key::kF1, key::kAltC}) {
    CalendarDate d{2024, 5, 17};
    EXPECT_FALSE(MoveCalendarDate(d, other));
    EXPECT_EQ(d, (CalendarDate{2024, 5, 17}));
  }
}

TEST(CalendarStartDateTest, WorkingDateOrToday) {
  const platform::LocalTime today{2023, 2, 10, 9, 0, 0, 0};
  struct Case {
    std::string work;
    CalendarDate expected;
  } cases[] = {
      {Packed(2024, 5, 17), {2024, 5, 17}},
      {Packed(2024, 2, 29), {2024, 2, 29}},
      {std::string(4, '\x80'), {2023, 2, 10}},       // the empty date
      {Packed(2023, 2, 29), {2023, 2, 10}},          // no such day
      {Packed(2024, 13, 1), {2023, 2, 10}},          // no such month
      {std::string(4, '\0'), {2023, 2, 10}},         // not base-hundred bytes
      {std::string("\x94\x98\x85\xFF", 4), {2023, 2, 10}},  // a byte beyond 99
      {"", {2023, 2, 10}},
      {Packed(2024, 5, 17) + "x", {2023, 2, 10}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.work));
    EXPECT_EQ(CalendarStartDate(c.work, today), c.expected);
  }
  EXPECT_EQ(CalendarStartDate("", platform::LocalTime{}), (CalendarDate{2000, 1, 1}));
}

TEST(CalendarDateTextTest, DayMonthYearThatTheFieldReadsBack) {
  struct Case {
    std::string separator;
    std::string order;
    std::string expected;
  } cases[] = {
      {"", "", "17/5/2024 "},        // the installation's defaults
      {".", "DMA", "17.5.2024 "},
      {"-", "", "17-5-2024 "},
      {" ", "DMA", "17/5/2024 "},    // a separator the field cannot read
      {"x", "", "17/5/2024 "},
      {".", "AMD", "17/5/2024 "},    // another order
      {"/", "MDA", "17/5/2024 "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.separator + "|" + c.order);
    PopupsRig rig;
    rig.settings.entries["Usuari/DatCaracter"] = c.separator;
    rig.settings.entries["Usuari/DatOrdre"] = c.order;
    EXPECT_EQ(CalendarDateText({2024, 5, 17}, rig.values, "CAT"), c.expected);
  }
}

TEST(CalendarHeadingsTest, ByLanguage) {
  EXPECT_EQ(CalendarHeadings("CAT"), "DL DT DC DJ DV DS DG");
  EXPECT_EQ(CalendarHeadings("OCI"), "DL DT DC DJ DD DS DG");
  EXPECT_EQ(CalendarHeadings("SPA"), " L  M  X  J  V  S  D");
  EXPECT_EQ(CalendarHeadings("GLG"), " L  M  X  J  V  S  D");
  EXPECT_EQ(CalendarHeadings("   "), "DL DT DC DJ DV DS DG");
  EXPECT_EQ(CalendarHeadings("ENG"), "DL DT DC DJ DV DS DG");
}

// ---- On the console ---------------------------------------------------------------------------

// Absolute screen cells of the window: inside column c is screen column 59 + c, window row r is
// screen row 1 + r.
constexpr int kCol = 60;  // first column inside the frame
std::string Inside(PopupsRig& rig, std::size_t shot, int windowRow) {
  return rig.ShotText(shot, 1 + windowRow, kCol, 20);
}

TEST(CalendarPopupTest, OpensOnTheWorkingDateWithItsQuarter) {
  PopupsRig rig;
  rig.FillScreen();
  rig.FeedBatches({});
  EXPECT_EQ(rig.popups.Calendar(), "");
  ASSERT_GE(rig.shots.size(), 1u);

  // Frame with the year in its top line.
  EXPECT_EQ(rig.ShotText(0, 1, 59, 22), "\xDA\xC4\xC4\xC4\xC4\xC4\xC4\xC4 2024 \xC4\xC4\xC4\xC4\xC4\xC4\xC4\xBF");
  EXPECT_EQ(rig.ShotText(0, 24, 59, 22), "\xC0" + std::string(20, '\xC4') + "\xD9");
  EXPECT_EQ(rig.ShotText(0, 12, 59, 1), "\xB3");
  EXPECT_EQ(rig.ShotText(0, 12, 80, 1), "\xB3");
  EXPECT_EQ(rig.ShotText(0, 12, 58, 1), ".");  // the screen beside the window is untouched
  EXPECT_EQ(Inside(rig, 0, 1), "DL DT DC DJ DV DS DG");

  // April to June 2024: 1 April is a Monday, 1 May a Wednesday, 1 June a Saturday.
  EXPECT_EQ(Inside(rig, 0, 2), "       ABRIL        ");
  EXPECT_EQ(Inside(rig, 0, 3), " 1  2  3  4  5  6  7");
  EXPECT_EQ(Inside(rig, 0, 7), "29 30               ");
  EXPECT_EQ(Inside(rig, 0, 8), std::string(20, ' '));
  EXPECT_EQ(Inside(rig, 0, 9), "        MAIG        ");
  EXPECT_EQ(Inside(rig, 0, 10), "       1  2  3  4  5");
  EXPECT_EQ(Inside(rig, 0, 12), "13 14 15 16 17 18 19");
  EXPECT_EQ(Inside(rig, 0, 14), "27 28 29 30 31      ");
  EXPECT_EQ(Inside(rig, 0, 16), "        JUNY        ");
  EXPECT_EQ(Inside(rig, 0, 17), "                1  2");
  EXPECT_EQ(Inside(rig, 0, 22), "                    ");

  // Colours: frame, year, headings and names normal; days high intensity; 17 May the input
  // colour. 17 May is cell 19 of May: week row 3, column 13.
  EXPECT_EQ(rig.ShotAttribute(0, 1, 59), AttributeOf(1));
  EXPECT_EQ(rig.ShotAttribute(0, 1, 68), AttributeOf(1));
  EXPECT_EQ(rig.ShotAttribute(0, 2, 60), AttributeOf(1));
  EXPECT_EQ(rig.ShotAttribute(0, 10, 68), AttributeOf(1));
  EXPECT_EQ(rig.ShotAttribute(0, 4, 61), AttributeOf(0));
  EXPECT_EQ(rig.ShotText(0, 13, 72, 2), "17");
  EXPECT_EQ(rig.ShotAttribute(0, 13, 72), AttributeOf(4));
  EXPECT_EQ(rig.ShotAttribute(0, 13, 73), AttributeOf(4));
  EXPECT_EQ(rig.ShotAttribute(0, 13, 69), AttributeOf(0));  // 16 May
}

TEST(CalendarPopupTest, MovesWithinAndOutOfTheQuarter) {
  PopupsRig rig;
  rig.session.WorkDate = Packed(2024, 1, 31);
  // Right on 31 January: 1 February in the same grid. PgDn: 1 May, April to June.
  rig.FeedBatches({{key::kRight}, {key::kPgDn}});
  EXPECT_EQ(rig.popups.Calendar(), "");
  ASSERT_GE(rig.shots.size(), 3u);
  EXPECT_EQ(Inside(rig, 0, 2), "       GENER        ");
  EXPECT_EQ(Inside(rig, 0, 16), "        MAR\x80        ");  // the accent kept in capitals
  EXPECT_EQ(rig.ShotAttribute(0, 8, kCol + 6), AttributeOf(4));  // 31 January
  // 1 February 2024 is a Thursday: week row 1 of February, column 10.
  EXPECT_EQ(Inside(rig, 1, 2), "       GENER        ");
  EXPECT_EQ(rig.ShotAttribute(1, 11, kCol + 9), AttributeOf(4));
  EXPECT_EQ(rig.ShotAttribute(1, 8, kCol + 6), AttributeOf(0));
  EXPECT_EQ(Inside(rig, 2, 2), "       ABRIL        ");
  EXPECT_EQ(Inside(rig, 2, 16), "        JUNY        ");
  EXPECT_EQ(rig.ShotAttribute(2, 11, kCol + 6), AttributeOf(4));  // 1 May, a Wednesday
}

TEST(CalendarPopupTest, RightOnTheLastOfMarchDrawsTheNextQuarter) {
  PopupsRig rig;
  rig.session.WorkDate = Packed(2024, 3, 31);
  rig.FeedBatches({{key::kRight}}, 'F');
  EXPECT_EQ(rig.popups.Calendar(), "1/4/2024  ");
  ASSERT_GE(rig.shots.size(), 2u);
  EXPECT_EQ(Inside(rig, 0, 2), "       GENER        ");
  EXPECT_EQ(Inside(rig, 1, 2), "       ABRIL        ");
  EXPECT_EQ(Inside(rig, 1, 9), "        MAIG        ");
  EXPECT_EQ(Inside(rig, 1, 3), " 1  2  3  4  5  6  7");
  EXPECT_EQ(rig.ShotAttribute(1, 4, kCol), AttributeOf(4));  // 1 April, a Monday
}

TEST(CalendarPopupTest, LeftOnTheFirstOfJanuaryShowsTheLastQuarterOfTheYearBefore) {
  PopupsRig rig;
  rig.session.WorkDate = Packed(2025, 1, 1);
  rig.FeedBatches({{key::kLeft}}, 'F');
  EXPECT_EQ(rig.popups.Calendar(), "31/12/2024");
  ASSERT_GE(rig.shots.size(), 2u);
  EXPECT_EQ(rig.ShotText(0, 1, 66, 8), "\xC4 2025 \xC4");
  EXPECT_EQ(rig.ShotText(1, 1, 66, 8), "\xC4 2024 \xC4");
  EXPECT_EQ(Inside(rig, 1, 2), "      OCTUBRE       ");
  EXPECT_EQ(Inside(rig, 1, 9), "      NOVEMBRE      ");
  EXPECT_EQ(Inside(rig, 1, 16), "      DESEMBRE      ");
}

TEST(CalendarPopupTest, HeadingsAndMonthNamesOfEachLanguage) {
  struct Case {
    std::string language;
    std::string headings;
    std::string may;
  } cases[] = {
      {"CAT", "DL DT DC DJ DV DS DG", "MAIG"},
      {"OCI", "DL DT DC DJ DD DS DG", "MAI"},
      {"SPA", " L  M  X  J  V  S  D", "MAYO"},
      {"GLG", " L  M  X  J  V  S  D", "MAIO"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.language);
    PopupsRig rig;
    rig.session.Language = c.language;
    rig.FeedBatches({});
    rig.popups.Calendar();
    ASSERT_GE(rig.shots.size(), 1u);
    EXPECT_EQ(Inside(rig, 0, 1), c.headings);
    EXPECT_NE(Inside(rig, 0, 9).find(c.may), std::string::npos) << Inside(rig, 0, 9);
  }
}

TEST(CalendarPopupTest, ChoosingKeysAndTheKeysThatDoNothing) {
  struct Case {
    std::vector<KeyCode> keys;
    std::string expected;
  } cases[] = {
      {{'F'}, "17/5/2024 "},
      {{'f'}, "17/5/2024 "},
      {{key::kAltF}, "17/5/2024 "},
      {{key::kRight, key::kDown, 'F'}, "25/5/2024 "},
      {{key::kEnter, '5', key::kF1, key::kAltC, 'x', 'F'}, "17/5/2024 "},
      {{key::kEscape}, ""},
      {{key::kRight, key::kEscape}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.keys));
    PopupsRig rig;
    for (KeyCode k : c.keys) rig.Script().PushKey(k);
    EXPECT_EQ(rig.popups.Calendar(), c.expected);
    EXPECT_EQ(rig.Script().Pending(), 0u);
  }
}

TEST(CalendarPopupTest, AnEmptyWorkingDateOpensOnToday) {
  PopupsRig rig;
  rig.session.WorkDate = std::string(4, '\x80');
  rig.system.now = {2023, 2, 10, 8, 0, 0, 0};
  rig.Script().PushKey('F');
  EXPECT_EQ(rig.popups.Calendar(), "10/2/2023 ");
}

TEST(CalendarPopupTest, GivesBackTheScreenKeySetColourAndCursor) {
  PopupsRig rig;
  rig.FillScreen();
  Console& con = rig.Con();
  con.KeySet("+ea", "d,1b,4800");
  con.ScreenColour("+r");
  con.Locate(7, 33);
  con.ShowCursor(50);
  const ScreenBuffer before = con.Screen();
  const std::vector<KeyCode> keys = con.AcceptedKeys();
  const std::size_t depth = con.SavedKeySetDepth();
  const std::string stack = con.ColourStack();

  rig.FeedBatches({{key::kPgDn}}, 'F');
  EXPECT_EQ(rig.popups.Calendar(), "17/8/2024 ");
  // While open: only the calendar's keys, and the cursor hidden.
  ASSERT_GE(rig.keySets.size(), 1u);
  EXPECT_EQ(rig.keySets[0], (std::vector<KeyCode>{key::kRight, key::kLeft, key::kDown, key::kUp, key::kPgDn,
                                                   key::kPgUp, key::kHome, key::kEnd, key::kAltF, key::kEscape}));

  for (int r = 1; r <= 25; ++r) {
    for (int c = 1; c <= 80; ++c) ASSERT_EQ(con.Screen().At(r, c), before.At(r, c)) << r << "," << c;
  }
  EXPECT_EQ(con.AcceptedKeys(), keys);
  EXPECT_EQ(con.SavedKeySetDepth(), depth);
  EXPECT_EQ(con.ColourIndex(), 2);
  EXPECT_EQ(con.ColourStack(), stack);
  EXPECT_EQ(con.CursorRow(), 7);
  EXPECT_EQ(con.CursorColumn(), 33);
  EXPECT_TRUE(con.Cursor().visible);
  EXPECT_EQ(con.Cursor().height, 50);
  EXPECT_EQ(rig.windows.OpenCount(), 0);
}

TEST(CalendarPopupTest, ASmallScreenGetsWhatFitsAndIsGivenBack) {
  PopupsRig rig({20, 64});
  rig.FillScreen();
  const ScreenBuffer before = rig.Con().Screen();
  rig.FeedBatches({{key::kRight}}, 'F');
  EXPECT_EQ(rig.popups.Calendar(), "18/5/2024 ");
  ASSERT_GE(rig.shots.size(), 2u);
  // The part of the window that fits, framed at the screen's edge, with the first columns.
  EXPECT_EQ(rig.ShotText(0, 1, 59, 6), "\xDA\xC4\xC4\xC4\xC4\xBF");
  EXPECT_EQ(rig.ShotText(0, 2, 60, 5), "DL DT");
  EXPECT_EQ(rig.ShotText(0, 11, 58, 1), ".");  // nothing wrapped onto the next row
  for (int r = 1; r <= 20; ++r) {
    for (int c = 1; c <= 64; ++c) ASSERT_EQ(rig.Con().Screen().At(r, c), before.At(r, c)) << r << "," << c;
  }
}

}  // namespace
}  // namespace tui
