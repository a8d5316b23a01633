// Panel input over form tables built in the test: moving between fields and panels, leaving,
// refusals and the per-field key set.
#include <gtest/gtest.h>

#include "tests/tui/widgets/widgets_test_rig.h"
#include "tui/widgets/field_edit.h"
#include "tui/widgets/panel_input.h"

namespace tui {
namespace {

using widgets_test::FieldSpec;
using widgets_test::WidgetsRig;

// Enter, Escape, Up, Down, PgUp, PgDn, F2, F4. (With End in the list, Enter would become End.)
constexpr const char* kKeys = "d,1b,4800,5000,4900,5100,3c00,3e00";

// A panel of n one-row fields "F<k>" at rows 1..n; the flags of each field given.
int FieldsPanel(WidgetsRig& rig, std::vector<int> flags, std::array<int, 4> box = {0, 0, 0, 0}, int linked = 0) {
  int p = rig.AddPanel(kKeys, box, linked);
  for (std::size_t i = 0; i < flags.size(); ++i) {
    FieldSpec f;
    f.row = static_cast<int>(i) + 1;
    f.column = 2;
    f.label = "F" + std::to_string(i + 1) + ":";
    f.width = 4;
    f.flags = flags[i];
    rig.AddField(p, f);
  }
  return p;
}

TEST(PanelInputTest, PassedOverFieldsWithUpAndDown) {
  WidgetsRig rig;
  int p = FieldsPanel(rig, {0, 0, 4, 0, 0});
  for (KeyCode k : {key::kDown, key::kDown, key::kUp, key::kEscape, key::kEscape}) rig.Script().PushKey(k);
  EXPECT_EQ(PanelInput(rig.widgets, static_cast<std::int16_t>(p), false, false), key::kEscape);
  // 1 -> 2 -> 4 (3 passed over) -> 2 -> Escape to 1 -> Escape leaves.
  EXPECT_EQ(rig.module.Only("accept"),
            (std::vector<std::string>{"accept 1.1 '    '", "accept 1.2 '    '", "accept 1.4 '    '"}));
  EXPECT_EQ(rig.module.Only("value"), (std::vector<std::string>{"value 1.2", "value 1.1"}));
  EXPECT_EQ(rig.module.Only("check"), (std::vector<std::string>{"check 1 27"}));
}

TEST(PanelInputTest, PgDnWithNextAllowedOrNot) {
  struct Case {
    bool allowNext;
    KeyCode result;
    std::int16_t resume;
  } cases[] = {{true, key::kPgDn, 1}, {false, key::kEscape, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.allowNext);
    WidgetsRig rig;
    int p = FieldsPanel(rig, {0, 0, 0});
    rig.widgets.resumePanel = 0;
    // PgDn goes to the last field; there a second PgDn leaves only when next is allowed.
    rig.Script().PushKey(key::kPgDn);
    rig.Script().PushKey(key::kPgDn);
    rig.Script().PushKey(key::kEscape);
    rig.Script().PushKey(key::kEscape);
    EXPECT_EQ(PanelInput(rig.widgets, static_cast<std::int16_t>(p), false, c.allowNext), c.result);
    EXPECT_EQ(rig.widgets.resumePanel, c.resume);
    std::vector<std::string> accepted = rig.module.Only("accept");
    ASSERT_GE(accepted.size(), 2u);
    EXPECT_EQ(accepted[1], "accept 1.3 '    '");
  }
}

TEST(PanelInputTest, PgUpGoesToTheFirstFieldThenLeavesWhenAllowed) {
  WidgetsRig rig;
  int p = FieldsPanel(rig, {0, 0, 0});
  rig.Script().PushKey(key::kDown);
  rig.Script().PushKey(key::kPgUp);
  rig.Script().PushKey(key::kPgUp);
  EXPECT_EQ(PanelInput(rig.widgets, static_cast<std::int16_t>(p), true, false), key::kPgUp);
  EXPECT_EQ(rig.widgets.resumePanel, 1);
  EXPECT_EQ(rig.module.Only("accept"),
            (std::vector<std::string>{"accept 1.1 '    '", "accept 1.2 '    '", "accept 1.1 '    '"}));
}

TEST(PanelInputTest, EscapeGoesToTheFirstFieldAndLeavesFromIt) {
  WidgetsRig rig;
  int p = FieldsPanel(rig, {0, 0, 0, 0});
  rig.Script().PushText("a\r");
  rig.Script().PushText("b\r");
  rig.Script().PushKey(key::kEscape);  // on field 3: back to field 1
  rig.Script().PushKey(key::kEscape);  // on field 1: leave
  EXPECT_EQ(PanelInput(rig.widgets, static_cast<std::int16_t>(p), false, false), key::kEscape);
  EXPECT_EQ(rig.module.Only("value"), (std::vector<std::string>{"value 1.3", "value 1.1"}));
  EXPECT_EQ(rig.form.Field(p, 1).Value, "a   ");
  EXPECT_EQ(rig.form.Field(p, 2).Value, "b   ");
}

TEST(PanelInputTest, EnterOnTheLastFieldLeavesAndOtherKeysLeaveAtOnce) {
  WidgetsRig rig;
  int p = FieldsPanel(rig, {0, 0});
  rig.Script().PushText("\r\r");
  EXPECT_EQ(PanelInput(rig.widgets, static_cast<std::int16_t>(p), false, false), key::kEnter);
  EXPECT_EQ(rig.module.Only("check"), (std::vector<std::string>{"check 1 13"}));

  WidgetsRig other;
  int q = FieldsPanel(other, {0, 0});
  other.form.Panel(q).KeyList = std::string(kKeys) + ",3f00";
  other.Script().PushKey(key::kF5);
  EXPECT_EQ(PanelInput(other.widgets, static_cast<std::int16_t>(q), false, false), key::kF5);
}

TEST(PanelInputTest, WithEndInTheKeyListTabMovesOnAndEnterLeaves) {
  WidgetsRig rig;
  int p = FieldsPanel(rig, {0, 0, 0});
  rig.form.Panel(p).KeyList = std::string(kKeys) + ",4f00";
  rig.Script().PushText("a\tb\r");
  EXPECT_EQ(PanelInput(rig.widgets, static_cast<std::int16_t>(p), false, false), key::kEnd);
  EXPECT_EQ(rig.module.Only("accept"), (std::vector<std::string>{"accept 1.1 'a   '", "accept 1.2 'b   '"}));
  EXPECT_EQ(rig.module.Only("check"), (std::vector<std::string>{"check 1 20224"}));
}

TEST(PanelInputTest, EachFieldEditsWithThePanelKeysAndF1PushedAndPopped) {
  WidgetsRig rig;
  int p = FieldsPanel(rig, {0});
  rig.Con().KeySet("ea", "1b");  // the caller's set, restored afterwards
  std::vector<KeyCode> during;
  std::size_t depth = 0;
  rig.Script().SetOnStarved([&](HeadlessControl& c) {
    during = rig.Con().AcceptedKeys();
    depth = rig.Con().SavedKeySetDepth();
    c.PushKey(key::kEnter);
  });
  PanelInput(rig.widgets, static_cast<std::int16_t>(p), false, false);
  ASSERT_FALSE(during.empty());
  EXPECT_EQ(during.back(), key::kF1);
  EXPECT_EQ(during.front(), key::kEnter);
  EXPECT_EQ(depth, 1u);
  EXPECT_EQ(rig.Con().SavedKeySetDepth(), 0u);
  EXPECT_EQ(rig.Con().AcceptedKeys(), (std::vector<KeyCode>{key::kEscape}));
}

TEST(PanelInputTest, RefusedValueBeepsAndRestartsWithTheTextAsTyped) {
  WidgetsRig rig;
  int p = FieldsPanel(rig, {0});
  int tries = 0;
  rig.module.accept = [&](std::int16_t, const std::string&, std::int16_t, std::int16_t) -> std::int16_t {
    return ++tries == 1 ? -1 : 0;
  };
  rig.Script().PushText("12\r");
  std::string second;
  rig.Script().SetOnStarved([&](HeadlessControl& c) {
    second = rig.Row(1, 5, 4);
    c.PushText("\r");
  });
  EXPECT_EQ(PanelInput(rig.widgets, static_cast<std::int16_t>(p), false, false), key::kEnter);
  EXPECT_EQ(rig.system.beeps, 1);
  EXPECT_EQ(second, "12  ");  // the second edit starts from the refused text
  EXPECT_EQ(rig.module.Only("accept"), (std::vector<std::string>{"accept 1.1 '12  '", "accept 1.1 '12  '"}));
  EXPECT_EQ(rig.form.Field(p, 1).Value, "12  ");
}

TEST(PanelInputTest, MaskedFieldLeftBlankKeepsItsOldValue) {
  WidgetsRig rig;
  int p = FieldsPanel(rig, {2, 1});
  rig.form.Field(p, 1).Value = "old1";
  rig.form.Field(p, 2).Value = "old2";
  KeyCode maskDuring = 0;
  std::string shown;
  // Field 1 (masked) is left blank, field 2 typed over its blanks.
  rig.Script().SetOnStarved([&, n = 0](HeadlessControl& c) mutable {
    ++n;
    if (n == 1) {
      maskDuring = rig.Con().MaskCharacter();
      shown = rig.Row(1, 5, 4);
      c.PushText("\r");
    } else if (n == 2) {
      c.PushText("x\r");
    } else {
      c.PushKey(key::kEscape);
    }
  });
  EXPECT_EQ(PanelInput(rig.widgets, static_cast<std::int16_t>(p), false, false), key::kEnter);
  EXPECT_EQ(maskDuring, 'X');
  EXPECT_EQ(shown, "XXXX");  // masked: the edit shows no text, starting from blanks
  EXPECT_EQ(rig.Con().MaskCharacter(), 0);
  EXPECT_EQ(rig.module.Only("accept"), (std::vector<std::string>{"accept 1.1 'old1'", "accept 1.2 'x   '"}));
}

TEST(PanelInputTest, FlagEightStartsAfterTheValueAndExtraColumnsAreBlanked) {
  WidgetsRig rig;
  int p = rig.AddPanel(kKeys);
  FieldSpec f;
  f.row = 2;
  f.column = 1;
  f.label = "N:";
  f.width = 5;
  f.extra = 2;
  f.flags = 8;
  rig.AddField(p, f);
  rig.form.Field(p, 1).Value = "12   ";
  rig.Con().Locate(2, 8);
  rig.Con().Print("ZZ");  // the number's grouping characters as shown
  std::string during;
  rig.Script().SetOnStarved([&](HeadlessControl& c) {
    during = rig.Row(2, 3, 7);
    c.PushText("3\r");
  });
  PanelInput(rig.widgets, static_cast<std::int16_t>(p), false, false);
  EXPECT_EQ(during, "12     ");
  EXPECT_EQ(rig.module.Only("accept"), (std::vector<std::string>{"accept 1.1 '123  '"}));
  EXPECT_EQ(rig.Row(2, 3, 7), "123    ");  // reprinted, extra columns blank
}

TEST(PanelInputTest, ClickOnAFieldMakesItCurrent) {
  WidgetsRig rig;
  int p = FieldsPanel(rig, {0, 0, 0}, {3, 10, 9, 40});
  // Field 3 is at window row 3, label at column 2: screen row 6, the label from column 12.
  rig.Script().PushClick(13, 6);
  rig.Script().PushText("c\r");
  rig.Script().PushKey(key::kEscape);  // back to field 1
  rig.Script().PushKey(key::kEscape);
  PanelInput(rig.widgets, static_cast<std::int16_t>(p), false, false);
  EXPECT_EQ(rig.form.Field(p, 3).Value, "c   ");
  // A click on nothing keeps the field.
  WidgetsRig other;
  int q = FieldsPanel(other, {0, 0});
  other.Script().PushClick(70, 20);
  other.Script().PushText("z\r\r");
  PanelInput(other.widgets, static_cast<std::int16_t>(q), false, false);
  EXPECT_EQ(other.form.Field(q, 1).Value, "z   ");
}

TEST(PanelInputTest, PanelWindowIsOpenedFramedAndClosed) {
  WidgetsRig rig;
  int p = FieldsPanel(rig, {0}, {4, 10, 8, 30});
  rig.Con().Locate(4, 10);
  rig.Con().Print("under");
  std::string frame;
  rig.Script().SetOnStarved([&](HeadlessControl& c) {
    frame = rig.Row(4, 10, 3);
    c.PushKey(key::kEscape);
  });
  PanelInput(rig.widgets, static_cast<std::int16_t>(p), false, false);
  EXPECT_EQ(frame, "\xC9\xCD\xCD");
  EXPECT_EQ(rig.Row(4, 10, 5), "under");  // restored
  EXPECT_EQ(rig.windows.OpenCount(), 0);
}

TEST(PanelInputTest, LinkedPanelsBothWays) {
  WidgetsRig rig;
  int second = 0;
  int first = FieldsPanel(rig, {0, 0}, {0, 0, 0, 0}, 2);
  second = FieldsPanel(rig, {0, 0});
  ASSERT_EQ(second, 2);
  // Enter, Enter: into panel 2; Up on its first field comes back to panel 1's last field;
  // Enter again goes to panel 2, Enter twice leaves it and with it panel 1.
  rig.Script().PushText("a\r");
  rig.Script().PushText("b\r");
  rig.Script().PushKey(key::kUp);
  rig.Script().PushText("\r");
  rig.Script().PushText("c\r");
  rig.Script().PushText("d\r");
  EXPECT_EQ(PanelInput(rig.widgets, static_cast<std::int16_t>(first), false, false), key::kEnter);
  EXPECT_EQ(rig.module.Only("accept"),
            (std::vector<std::string>{"accept 1.1 'a   '", "accept 1.2 'b   '", "accept 2.1 '    '",
                                      "accept 1.2 'b   '", "accept 2.1 'c   '", "accept 2.2 'd   '"}));
  // The linked panel was checked with Escape when left upwards, the first panel with Enter.
  EXPECT_EQ(rig.module.Only("check"), (std::vector<std::string>{"check 2 27", "check 2 13", "check 1 13"}));
}

TEST(PanelInputTest, PgDnInALinkedPanelIsResumedThere) {
  WidgetsRig rig;
  int first = FieldsPanel(rig, {0}, {0, 0, 0, 0}, 2);
  FieldsPanel(rig, {0});
  rig.Script().PushText("\r");          // into panel 2
  rig.Script().PushKey(key::kPgDn);     // at its last field, next allowed: leave
  EXPECT_EQ(PanelInput(rig.widgets, static_cast<std::int16_t>(first), true, true), key::kPgDn);
  EXPECT_EQ(rig.widgets.resumePanel, 2);

  rig.module.log.clear();
  rig.Script().PushKey(key::kEscape);  // the new call resumes in panel 2: Escape there...
  rig.Script().PushKey(key::kEscape);  // ...comes back to panel 1, which Escape leaves
  EXPECT_EQ(PanelInput(rig.widgets, static_cast<std::int16_t>(first), true, true), key::kEscape);
  EXPECT_EQ(rig.module.Only("show"), (std::vector<std::string>{"show 1", "show 2"}));
  EXPECT_EQ(rig.module.Only("check"), (std::vector<std::string>{"check 2 27", "check 1 27"}));
  EXPECT_EQ(rig.widgets.resumePanel, 0);
}

TEST(PanelInputTest, RefusedCheckGoesBackToTheFirstField) {
  WidgetsRig rig;
  int p = FieldsPanel(rig, {0, 0});
  int checks = 0;
  rig.module.check = [&](std::int16_t, std::int16_t) -> std::int16_t { return ++checks == 1 ? -1 : 0; };
  rig.Script().PushText("\r\r");  // leaves, refused
  rig.Script().PushText("q\r\r");
  EXPECT_EQ(PanelInput(rig.widgets, static_cast<std::int16_t>(p), false, false), key::kEnter);
  EXPECT_EQ(checks, 2);
  EXPECT_EQ(rig.form.Field(p, 1).Value, "q   ");
}

TEST(PanelInputTest, AllFieldsPassedOverGoStraightToCheckAndWaitForAKeyBetweenTries) {
  WidgetsRig rig;
  int p = FieldsPanel(rig, {4, 4}, {5, 5, 10, 30});
  int checks = 0;
  rig.module.check = [&](std::int16_t, std::int16_t) -> std::int16_t { return ++checks < 3 ? -1 : 0; };
  rig.Script().PushKey(key::kF5);
  rig.Script().PushKey(key::kEscape);
  EXPECT_EQ(PanelInput(rig.widgets, static_cast<std::int16_t>(p), false, false), key::kEscape);
  EXPECT_EQ(rig.module.Only("check"), (std::vector<std::string>{"check 1 0", "check 1 16128", "check 1 27"}));
  EXPECT_EQ(rig.module.Only("accept").size(), 0u);
  EXPECT_EQ(rig.windows.OpenCount(), 0);
}

TEST(PanelInputTest, F1ShowsHelpOnTheMenuNameAndEditsTheFieldAgain) {
  WidgetsRig rig;
  rig.session.PlatformMode = "WIN";
  rig.session.MenuName = "MODCARTA  ";
  int p = FieldsPanel(rig, {0});
  rig.form.Field(p, 1).Value = "keep";
  rig.Script().PushText("zz");
  rig.Script().PushKey(key::kF1);
  rig.Script().PushText("\r");
  PanelInput(rig.widgets, static_cast<std::int16_t>(p), false, false);
  ASSERT_EQ(rig.system.runs.size(), 1u);
  EXPECT_EQ(rig.system.runs[0].back(), "AJUDA\\MODCARTA.HTM");
  // The typing before F1 is dropped: the field is edited again from its stored value.
  EXPECT_EQ(rig.module.Only("accept"), (std::vector<std::string>{"accept 1.1 'keep'"}));

  WidgetsRig none;
  int q = FieldsPanel(none, {0});
  none.Script().PushKey(key::kF1);
  none.Script().PushText("\r");
  PanelInput(none.widgets, static_cast<std::int16_t>(q), false, false);
  EXPECT_TRUE(none.system.runs.empty());  // no menu name: no help
}

}  // namespace
}  // namespace tui
