#include "tui/popups/calendar.h"

#include <cstdio>

#include "tui/windows/popup_drawing.h"
#include "values/dates.h"
#include "values/text.h"

namespace tui {
namespace {

constexpr int kFirstYear = 1;
constexpr int kLastYear = 9999;

// Inside the frame: 20 columns, from the window's left column + 1.
constexpr int kInsideWidth = kCalendarRight - kCalendarLeft - 1;
// Window row of the name of each shown month; its six week rows follow.
constexpr int kMonthNameRows[3] = {2, 9, 16};

bool IsLeap(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

bool ValidDate(const CalendarDate& d) {
  return d.year >= kFirstYear && d.year <= kLastYear && d.month >= 1 && d.month <= 12 && d.day >= 1 &&
         d.day <= CalendarMonthLength(d.year, d.month);
}

// Steps a month count, carrying into the year.
void AddMonths(CalendarDate& d, int months) {
  d.month += months;
  while (d.month < 1) {
    d.month += 12;
    --d.year;
  }
  while (d.month > 12) {
    d.month -= 12;
    ++d.year;
  }
}

// After a move of the day by up to a week: bring the day back into its month, carrying into
// the month and the year.
void NormaliseDay(CalendarDate& d) {
  if (d.day < 1) {
    AddMonths(d, -1);
    d.day += CalendarMonthLength(d.year, d.month);
  }
  const int length = CalendarMonthLength(d.year, d.month);
  if (d.day > length) {
    d.day -= length;
    AddMonths(d, 1);
  }
}

std::string TwoDigits(int n) {
  char text[4];
  std::snprintf(text, sizeof text, "%2d", n % 100);
  return text;
}

// Draws the calendar on the console: the whole grid, or one day in the current colour.
class CalendarView {
 public:
  CalendarView(Console& console, std::string_view language) : console_(console), language_(language) {}

  // Absolute cell of a window position (row 0 is the top frame line, column 1 the first
  // column inside the frame).
  void Put(int windowRow, int windowColumn, std::string_view text) {
    PrintClipped(console_, kCalendarTop + windowRow, kCalendarLeft + windowColumn, text);
  }

  void DrawGrid(const CalendarDate& selected) {
    console_.ScreenColour("n");
    char year[8];
    std::snprintf(year, sizeof year, " %04d ", selected.year % 10000);
    Put(0, (kInsideWidth - 5) / 2 + 1, year);
    Put(1, 1, CalendarHeadings(language_));

    const int first = CalendarFirstShownMonth(selected.month);
    for (int block = 0; block < 3; ++block) {
      const int month = first + block;
      const int nameRow = kMonthNameRows[block];
      console_.ScreenColour("n");
      Put(nameRow, 1, std::string(kInsideWidth, ' '));
      std::string name(values::MonthNameField(language_, month));
      while (!name.empty() && name.back() == ' ') name.pop_back();
      name = values::FoldText(name, false);
      Put(nameRow, (kInsideWidth - static_cast<int>(name.size())) / 2 + 1, name);

      console_.ScreenColour("h");
      const int firstCell = values::Weekday(values::PackDate(selected.year, month, 1));
      const int length = CalendarMonthLength(selected.year, month);
      for (int cell = 1; cell <= 42; ++cell) {
        const int day = cell - firstCell + 1;
        const std::string text = day >= 1 && day <= length ? TwoDigits(day) : std::string("  ");
        PutCell(block, cell, text);
      }
    }
  }

  // The selected day in its cell, in the current colour.
  void DrawDay(const CalendarDate& selected) {
    const int block = selected.month - CalendarFirstShownMonth(selected.month);
    const int firstCell = values::Weekday(values::PackDate(selected.year, selected.month, 1));
    PutCell(block, firstCell + selected.day - 1, TwoDigits(selected.day));
  }

 private:
  void PutCell(int block, int cell, std::string_view text) {
    const int row = kMonthNameRows[block] + (cell - 1) / 7 + 1;
    const int column = 3 * ((cell - 1) % 7 + 1) - 2;
    Put(row, column, text);
  }

  Console& console_;
  std::string language_;
};

}  // namespace

int CalendarMonthLength(int year, int month) {
  if (month < 1 || month > 12) return 0;
  int length = 30 + (1 + (month + 1) % 9) % 2;
  if (month == 2) length -= 2 - (IsLeap(year) ? 1 : 0);
  return length;
}

int CalendarFirstShownMonth(int month) { return (month - 1) / 3 * 3 + 1; }

std::string_view CalendarHeadings(std::string_view language) {
  if (language == "SPA" || language == "GLG") return " L  M  X  J  V  S  D";
  if (language == "OCI") return "DL DT DC DJ DD DS DG";
  return "DL DT DC DJ DV DS DG";
}

bool MoveCalendarDate(CalendarDate& date, KeyCode key) {
  CalendarDate moved = date;
  switch (key) {
    case key::kRight:
      ++moved.day;
      NormaliseDay(moved);
      break;
    case key::kLeft:
      --moved.day;
      NormaliseDay(moved);
      break;
    case key::kDown:
      moved.day += 7;
      NormaliseDay(moved);
      break;
    case key::kUp:
      moved.day -= 7;
      NormaliseDay(moved);
      break;
    case key::kPgDn:
    case key::kPgUp:
      AddMonths(moved, key == key::kPgDn ? 3 : -3);
      if (moved.day > CalendarMonthLength(moved.year, moved.month)) {
        moved.day = CalendarMonthLength(moved.year, moved.month);
      }
      break;
    case key::kHome:
      moved.month = 1;
      break;
    case key::kEnd:
      moved.month = 12;
      break;
    default:
      return false;
  }
  if (ValidDate(moved)) date = moved;
  return true;
}

CalendarDate CalendarStartDate(std::string_view packedWorkDate, const platform::LocalTime& today) {
  if (packedWorkDate.size() == 4) {
    bool digits = true;
    for (char c : packedWorkDate) {
      const auto b = static_cast<unsigned char>(c);
      if (b < 128 || b > 128 + 99) digits = false;
    }
    if (digits) {
      const values::DateParts parts = values::UnpackDate(values::PackedDateFromField(packedWorkDate));
      const CalendarDate work{parts.year, parts.month, parts.day};
      if (ValidDate(work)) return work;
    }
  }
  const CalendarDate now{today.year, today.month, today.day};
  if (ValidDate(now)) return now;
  return CalendarDate{2000, 1, 1};
}

std::string CalendarDateText(const CalendarDate& date, values::Values& values, std::string_view language) {
  const values::PackedDate packed = values::PackDate(date.year, date.month, date.day);
  const values::DateSettings& settings = values.DateTextSettings();
  const bool readable = settings.order.substr(0, 3) == "DMA" &&
                        (settings.separator == '.' || settings.separator == '/' || settings.separator == '-');
  if (readable) return values.DateText(packed, values::kDateNumeric, "dma", language);
  return values::DateText(packed, values::kDateNumeric, "dma", language, values::DateSettings{'/', "DMA"});
}

std::string CalendarPopup(Console& console, Windows& windows, values::Values& values,
                          const session::Session& session, platform::System& system) {
  console.KeySet("+ea", kCalendarKeyList);
  console.ScreenColour("+n");
  CursorKeeper cursor(console);
  console.HideCursor();
  OpenClippedWindow(console, windows, kCalendarTop, kCalendarLeft, kCalendarBottom, kCalendarRight);
  console.DrawFrame(1);

  CalendarView view(console, session.Language);
  CalendarDate selected = CalendarStartDate(session.WorkDate, system.Now());
  view.DrawGrid(selected);

  std::string result;
  for (;;) {
    console.ScreenColour("+u");
    view.DrawDay(selected);
    const KeyCode key = console.GetKey();
    console.ScreenColour("-");
    view.DrawDay(selected);

    if (key == 'F' || key == 'f' || key == key::kAltF) {
      result = CalendarDateText(selected, values, session.Language);
      break;
    }
    if (key == key::kEscape) break;
    const CalendarDate before = selected;
    if (MoveCalendarDate(selected, key) &&
        (selected.year != before.year ||
         CalendarFirstShownMonth(selected.month) != CalendarFirstShownMonth(before.month))) {
      view.DrawGrid(selected);
    }
  }

  windows.WinClose();
  cursor.Restore();
  console.ScreenColour("-");
  console.KeySet("-");
  return result;
}

}  // namespace tui
