// The calendar (Alt+C) and the calculator (Alt+X) over panel 3: the result of each is typed
// into the field the cursor is in, and saved with the card.
#include <gtest/gtest.h>

#include "installation.h"
#include "tui/console/keys.h"

namespace app_test {
namespace {

using tui::HeadlessControl;
namespace key = tui::key;

// The station's working date is 9 December 2026 (Installation's OrbaTerm.ini): the calendar
// starts there, Right moves to the 10th and F types 10/12/2026 into the start date (field 5).
// The calculator adds 12.5 and 3; F types 1550 (hundredths) into the deposit (field 11).
TEST(Popups, CalendarAndCalculatorTypeTheirResultsIntoTheCard) {
  Installation inst;
  ASSERT_TRUE(inst.ok());
  auto [p, d] = DemoCodes("TranLauV").front();
  const std::string k = DepartmentKey(p, d);
  std::string calendar, calculator, card;
  Session run(inst, {
      [&](HeadlessControl& c) { c.PushText(std::to_string(p) + "\r"); },
      [&](HeadlessControl& c) { c.PushText(std::to_string(d) + "\r"); },
      [&](HeadlessControl& c) {
        c.PushKey(key::kCtrlY);
        c.PushKey(key::kAltC);
      },
      [&](HeadlessControl& c) {
        calendar = c.Text();
        c.PushKey(key::kRight);
        c.PushKey('F');
      },
      [&](HeadlessControl& c) {
        c.PushKey(key::kTab);  // field 6
        for (int f = 6; f < 11; ++f) c.PushKey(key::kDown);
        c.PushKey(key::kCtrlY);
        c.PushKey(key::kAltX);
      },
      [&](HeadlessControl& c) {
        c.PushText("12.5+3=");
      },
      [&](HeadlessControl& c) {
        calculator = c.Text();
        c.PushKey('F');
      },
      [&](HeadlessControl& c) { c.PushKey(key::kTab); },
      [&](HeadlessControl& c) {
        card = c.Text();
        c.PushKey(key::kEnter);  // saves
      },
  });
  EXPECT_EQ(run.Execute(), 0) << run.Failure();
  EXPECT_NE(calendar.find("2026"), std::string::npos) << calendar;
  EXPECT_NE(calendar.find("DESEMBRE"), std::string::npos) << calendar;
  EXPECT_NE(calculator.find("15,5"), std::string::npos) << calculator;
  EXPECT_NE(card.find("Inici del contracte : 10/12/2026"), std::string::npos) << card;
  EXPECT_NE(card.find("15,50"), std::string::npos) << card;
  std::optional<std::string> r = inst.Record("TranLauV", k);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->substr(4, 4), PackedDate(2026, 12, 10));
  EXPECT_EQ(Int32At(*r, 32), 1550);
}

// Escape closes either pop-up without typing anything: the field keeps its value.
TEST(Popups, EscapeTypesNothing) {
  Installation inst;
  ASSERT_TRUE(inst.ok());
  auto [p, d] = DemoCodes("TranLauV").front();
  const std::string k = DepartmentKey(p, d);
  std::optional<std::string> before = inst.Record("TranLauV", k);
  std::string screenBefore, screenAfter;
  Session run(inst, {
      [&](HeadlessControl& c) { c.PushText(std::to_string(p) + "\r"); },
      [&](HeadlessControl& c) { c.PushText(std::to_string(d) + "\r"); },
      [&](HeadlessControl& c) {
        screenBefore = c.Text();
        c.PushKey(key::kAltC);
      },
      [&](HeadlessControl& c) { c.PushKey(key::kEscape); },
      [&](HeadlessControl& c) { c.PushKey(key::kAltX); },
      [&](HeadlessControl& c) { c.PushKey(key::kEscape); },
      [&](HeadlessControl& c) {
        screenAfter = c.Text();
        c.PushKey(key::kEnter);  // nothing changed: nothing is written
      },
  });
  EXPECT_EQ(run.Execute(), 0) << run.Failure();
  EXPECT_EQ(screenAfter, screenBefore);
  EXPECT_EQ(inst.Record("TranLauV", k), before);
}

}  // namespace
}  // namespace app_test
