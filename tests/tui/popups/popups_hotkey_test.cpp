// The pop-ups on their hot keys, through the whole path: a field being edited, Alt+C or Alt+X,
// the pop-up run, its result typed into the same field; the guards against a second copy, a
// pop-up opened inside the other, and panel input keeping the operator in the field.
#include <gtest/gtest.h>

#include "tests/tui/popups/popups_test_rig.h"
#include "tests/tui/widgets/widgets_test_rig.h"
#include "tui/widgets/field_edit.h"
#include "tui/widgets/panel_input.h"

namespace tui {
namespace {

using popups_test::Keys;
using popups_test::PopupsRig;

// A field of ten characters at window row 5, column 10, edited with the key set of a panel
// that accepts Enter and Escape.
struct FieldRun {
  std::string text;
  KeyCode key = 0;
  std::int16_t position = 0;
};

FieldRun EditField(PopupsRig& rig, std::string text, const std::vector<KeyCode>& keys) {
  rig.Con().SetHotKeyHooks(rig.popups.Hooks());
  rig.Con().KeySet("+ea", "d,1b");
  for (KeyCode k : keys) rig.Script().PushKey(k);
  std::int16_t row = 5;
  std::int16_t column = 10;
  std::int16_t width = 0;
  FieldRun run;
  run.position = 1;
  FieldEdit(rig.Con(), row, column, width, text, run.position, run.key);
  run.text = text;
  return run;
}

std::vector<KeyCode> Join(std::initializer_list<std::vector<KeyCode>> parts) {
  std::vector<KeyCode> all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

TEST(PopupsHotKeyTest, AltCTypesTheChosenDateIntoTheField) {
  PopupsRig rig;
  const FieldRun run = EditField(rig, "01/01/2023", {key::kAltC, key::kRight, 'F', key::kEnter});
  EXPECT_EQ(run.text, "18/5/2024 ");
  EXPECT_EQ(run.key, key::kEnter);
  EXPECT_EQ(run.position, 11);
  EXPECT_EQ(rig.Text(5, 10, 10), "18/5/2024 ");
  // The field's key set is the active one again, with nothing else saved.
  EXPECT_EQ(rig.Con().AcceptedKeys(), (std::vector<KeyCode>{key::kEnter, key::kEscape}));
  EXPECT_EQ(rig.Con().SavedKeySetDepth(), 1u);
  EXPECT_FALSE(rig.Con().CalendarOpen());
  EXPECT_EQ(rig.Script().Pending(), 0u);
}

TEST(PopupsHotKeyTest, AltXTypesTheAmountIntoTheField) {
  PopupsRig rig;
  const FieldRun run = EditField(rig, "          ", Join({{key::kAltX}, Keys("12.5+3=F"), {key::kEnter}}));
  EXPECT_EQ(run.text, "1550      ");
  EXPECT_EQ(run.key, key::kEnter);
  EXPECT_EQ(run.position, 5);
  EXPECT_EQ(rig.Text(5, 10, 10), "1550      ");
  EXPECT_EQ(rig.Con().AcceptedKeys(), (std::vector<KeyCode>{key::kEnter, key::kEscape}));
  EXPECT_FALSE(rig.Con().CalculatorOpen());
}

TEST(PopupsHotKeyTest, EscapeInAPopUpTypesNothing) {
  for (std::vector<KeyCode> popup : {std::vector<KeyCode>{key::kAltC, key::kRight, key::kEscape},
                                     Join({{key::kAltX}, Keys("99+1"), {key::kEscape}})}) {
    PopupsRig rig;
    const FieldRun run = EditField(rig, "ABC       ", Join({popup, {key::kEnter}}));
    EXPECT_EQ(run.text, "ABC       ");
    EXPECT_EQ(run.key, key::kEnter);
    EXPECT_EQ(run.position, 1);
  }
}

TEST(PopupsHotKeyTest, WithAnEmptyKeySetTheHotKeyEndsTheEditAfterTheResultIsQueued) {
  PopupsRig rig;
  rig.Con().SetHotKeyHooks(rig.popups.Hooks());
  for (KeyCode k : Join({{key::kAltX}, Keys("4F")})) rig.Script().PushKey(k);
  std::string text = "    ";
  std::int16_t row = 1, column = 1, width = 0, position = 1;
  KeyCode ended = 0;
  FieldEdit(rig.Con(), row, column, width, text, position, ended);
  EXPECT_EQ(ended, key::kAltX);
  EXPECT_EQ(rig.Con().Typeahead(), "400");  // for whatever reads the keys next
}

// Counts the openings of each pop-up.
struct CountingHooks {
  explicit CountingHooks(PopupsRig& rig) {
    HotKeyHooks inner = rig.popups.Hooks();
    HotKeyHooks counted;
    counted.calculator = [this, inner](Console& c) {
      ++calculators;
      return inner.calculator(c);
    };
    counted.calendar = [this, inner](Console& c) {
      ++calendars;
      return inner.calendar(c);
    };
    rig.Con().SetHotKeyHooks(counted);
  }
  int calculators = 0;
  int calendars = 0;
};

TEST(PopupsHotKeyTest, TheHotKeyInsideItsOwnPopUpIsAPlainKey) {
  PopupsRig rig;
  CountingHooks hooks(rig);
  for (KeyCode k : Join({{key::kAltX}, Keys("1"), {key::kAltX}, Keys("+2="), {key::kAltX}, Keys("F")})) {
    rig.Script().PushKey(k);
  }
  EXPECT_EQ(rig.Con().GetKey(), key::kAltX);
  EXPECT_EQ(hooks.calculators, 1);
  EXPECT_EQ(rig.Con().Typeahead(), "300");

  for (KeyCode k : {key::kAltC, key::kRight, key::kAltC, key::kRight, KeyCode{'F'}}) rig.Script().PushKey(k);
  EXPECT_EQ(rig.Con().GetKey(), '3');  // the typeahead comes first
  EXPECT_EQ(rig.Con().GetKey(), '0');
  EXPECT_EQ(rig.Con().GetKey(), '0');
  EXPECT_EQ(rig.Con().GetKey(), key::kAltC);
  EXPECT_EQ(hooks.calendars, 1);
  EXPECT_EQ(rig.Con().Typeahead(), "19/5/2024 ");
}

TEST(PopupsHotKeyTest, TheCalculatorInsideTheCalendarGivesTheCalendarItsKeysBack) {
  PopupsRig rig;
  CountingHooks hooks(rig);
  rig.Con().KeySet("+ea", "d,1b");
  rig.FeedBatches({Join({{key::kAltX}, Keys("5")}), Keys("F"), {key::kRight}}, 'F');
  rig.Script().PushKey(key::kAltC);
  EXPECT_EQ(rig.Con().GetKey(), key::kAltC);
  EXPECT_EQ(hooks.calendars, 1);
  EXPECT_EQ(hooks.calculators, 1);
  // The calculator's "500" reached the calendar, which takes no digits; then Right and F.
  EXPECT_EQ(rig.Con().Typeahead(), "18/5/2024 ");
  ASSERT_GE(rig.keySets.size(), 3u);
  const std::vector<KeyCode> calendarKeys{key::kRight, key::kLeft, key::kDown, key::kUp, key::kPgDn,
                                          key::kPgUp, key::kHome, key::kEnd, key::kAltF, key::kEscape};
  EXPECT_EQ(rig.keySets[0], calendarKeys);
  EXPECT_TRUE(rig.keySets[1].empty());     // inside the calculator
  EXPECT_EQ(rig.keySets[2], calendarKeys);  // the calendar's own set again
  EXPECT_EQ(rig.Con().AcceptedKeys(), (std::vector<KeyCode>{key::kEnter, key::kEscape}));
  EXPECT_EQ(rig.Con().SavedKeySetDepth(), 1u);
  EXPECT_EQ(rig.windows.OpenCount(), 0);
}

TEST(PopupsHotKeyTest, PanelInputKeepsTheOperatorInTheSameField) {
  widgets_test::WidgetsRig rig;
  popups_test::MapSettings settings;
  values::Values values(settings, rig.system);
  rig.session.WorkDate = popups_test::Packed(2024, 5, 17);
  Popups popups(rig.Con(), rig.windows, values, rig.session, rig.system);
  rig.Con().SetHotKeyHooks(popups.Hooks());

  const int p = rig.AddPanel("d,1b,4800,5000");
  for (int i = 1; i <= 2; ++i) {
    widgets_test::FieldSpec f;
    f.row = i;
    f.column = 2;
    f.label = "F" + std::to_string(i) + ":";
    f.width = i == 1 ? 4 : 10;
    rig.AddField(p, f);
  }
  for (KeyCode k : Join({{key::kAltX}, Keys("7F"), {key::kEnter, key::kAltC, key::kLeft, 'F', key::kEnter}})) {
    rig.Script().PushKey(k);
  }
  rig.Script().PushKey(key::kEscape);
  rig.Script().PushKey(key::kEscape);
  PanelInput(rig.widgets, static_cast<std::int16_t>(p), false, false);
  const std::vector<std::string> accepted = rig.module.Only("accept");
  ASSERT_GE(accepted.size(), 2u);
  EXPECT_EQ(accepted[0], "accept 1.1 '700 '");
  EXPECT_EQ(accepted[1], "accept 1.2 '16/5/2024 '");
}

}  // namespace
}  // namespace tui
