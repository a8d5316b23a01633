// The calendar pop-up: three months of a year in a fixed window at the right-hand edge of the
// screen, a highlighted day moved with the cursor keys, and the chosen date returned as text.
//
//   std::string text = tui::CalendarPopup(console, windows, values, session, system);
//   // "17/5/2024 " after F on 17 May 2024 (DateText mode 0, "dma"), "" after Escape
//
// The window covers rows 1 to 24 and columns 59 to 80 and is framed with a single line; the
// year stands in the top frame line, the weekday headings (Monday first) in the first row
// inside, and the three months of the quarter that holds the selected day below, each a name
// row and six week rows of seven cells three columns apart:
//
//   ┌─────── 2024 ───────┐
//   │DL DT DC DJ DV DS DG│
//   │       ABRIL        │
//   │ 1  2  3  4  5  6  7│
//   │ 8  9 10 11 12 13 14│
//   ...
//
// Keys: Right and Left move by a day, Down and Up by a week, PgDn and PgUp by three months
// (the day cut to the new month's length), Home and End to January and December (the day
// kept); F, f or Alt+F choose; Escape leaves with "". Every other key does nothing. The grid
// is drawn again whenever the selected day leaves the quarter shown.
//
// The pop-up starts on the session's working date; when that is empty or not a valid date it
// starts on today's date. Dates stay within the years 1 to 9999: a move that would leave them
// does nothing.
#pragma once

#include <string>
#include <string_view>

#include "platform/system.h"
#include "session/session.h"
#include "tui/console/console.h"
#include "tui/console/keys.h"
#include "tui/windows/windows.h"
#include "values/values.h"

namespace tui {

// The calendar's window, absolute, frame included.
inline constexpr int kCalendarTop = 1;
inline constexpr int kCalendarLeft = 59;
inline constexpr int kCalendarBottom = 24;
inline constexpr int kCalendarRight = 80;

// The keys the calendar accepts while it is open: Right, Left, Down, Up, PgDn, PgUp, Home,
// End, Alt+F, Escape. The letter F is read as a plain character.
inline constexpr std::string_view kCalendarKeyList = "4d00,4b00,5000,4800,5100,4900,4700,4f00,2100,1b";

struct CalendarDate {
  int year = 0;
  int month = 0;
  int day = 0;
  bool operator==(const CalendarDate&) const = default;
};

// Days in a month of a year (Gregorian leap years for every year).
int CalendarMonthLength(int year, int month);

// The first month of the quarter that holds the month: 1, 4, 7 or 10.
int CalendarFirstShownMonth(int month);

// The weekday heading row for a language code: "SPA" and "GLG" " L  M  X  J  V  S  D",
// "OCI" "DL DT DC DJ DD DS DG", any other code "DL DT DC DJ DV DS DG".
std::string_view CalendarHeadings(std::string_view language);

// Acts on a moving key (Right, Left, Down, Up, PgDn, PgUp, Home, End) and returns true; any
// other key leaves the date as it is and returns false. A move that would take the date out of
// the years 1..9999 leaves it unchanged (and still returns true). The date must be valid.
bool MoveCalendarDate(CalendarDate& date, KeyCode key);

// The date the calendar opens on: the packed working date when it holds a valid date of the
// years 1..9999, otherwise today (the clock's date; 1 January 2000 should even that be
// unusable).
CalendarDate CalendarStartDate(std::string_view packedWorkDate, const platform::LocalTime& today);

// The text the calendar returns for a chosen date: DateText mode 0 with the parts "dma". When
// the installation's date order is not DMA or its separator is not one of "./-", the text is
// written as day/month/year with "/" instead, so that a date field reads it back.
std::string CalendarDateText(const CalendarDate& date, values::Values& values, std::string_view language);

// Opens the calendar, runs it and returns the chosen date's text or "" (Escape). Saves and
// restores the caller's key set, colour, cursor and the screen under the window.
std::string CalendarPopup(Console& console, Windows& windows, values::Values& values,
                          const session::Session& session, platform::System& system);

}  // namespace tui
