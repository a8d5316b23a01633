// F4 on a panel field: the field's list, the module's pick, a list shown again, refusals, and
// a list with a panel of its own.
#include <gtest/gtest.h>

#include "tests/tui/widgets/widgets_test_rig.h"
#include "tui/widgets/list_browse.h"
#include "tui/widgets/panel_input.h"

namespace tui {
namespace {

using widgets_test::FieldSpec;
using widgets_test::ListFile;
using widgets_test::WidgetsRig;

constexpr const char* kKeys = "d,1b,4800,5000,4900,5100,3e00";

class PanelListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(file.Open(rig.records, rig.dir), 0);
    ASSERT_EQ(file.Fill(rig.records, 6, [](int) { return true; }), 0);
    rig.module.lineText = [this](std::int16_t) { return file.LineText(); };
    list = rig.AddList({ListFile::kHandle, 0, 10, 10, 16, 40, 0, 0}, "CODES");
    panel = rig.AddPanel(kKeys);
    for (int k = 1; k <= 3; ++k) {
      FieldSpec f;
      f.row = k;
      f.column = 1;
      f.label = "C" + std::to_string(k) + ":";
      f.width = 4;
      f.list = k == 1 ? list : 0;
      rig.AddField(panel, f);
    }
  }

  KeyCode Run() { return PanelInput(rig.widgets, static_cast<std::int16_t>(panel), false, false); }

  WidgetsRig rig;
  ListFile file;
  int list = 0;
  int panel = 0;
};

TEST_F(PanelListTest, PickTakesTheRecordAndMovesDown) {
  rig.module.pick = [this](std::int16_t&, std::int16_t p, std::int16_t& field) {
    rig.form.Field(p, field).Store(file.AreaKey());
  };
  rig.Script().PushKey(key::kF4);
  rig.Script().PushKey(key::kDown);
  rig.Script().PushKey(key::kDown);
  rig.Script().PushText("\r");   // picks record 3; the input goes on with field 2
  rig.Script().PushText("x\r");  // field 2
  rig.Script().PushKey(key::kEscape);
  rig.Script().PushKey(key::kEscape);
  EXPECT_EQ(Run(), key::kEscape);
  EXPECT_EQ(rig.form.Field(panel, 1).Value, "0003");
  EXPECT_EQ(rig.module.Only("pick"), (std::vector<std::string>{"pick 1 1.1"}));
  std::vector<std::string> accepted = rig.module.Only("accept");
  ASSERT_FALSE(accepted.empty());
  EXPECT_EQ(accepted[0], "accept 1.2 'x   '");  // no accept for the picked field itself
}

TEST_F(PanelListTest, ListNumberZeroShowsTheListAgain) {
  int picks = 0;
  rig.module.pick = [&](std::int16_t& l, std::int16_t, std::int16_t& field) {
    if (++picks == 1) {
      l = 0;  // not this one: show the list again
      return;
    }
    ++field;  // as the module does: continue with the next field
  };
  rig.Script().PushKey(key::kF4);
  rig.Script().PushText("\r");                          // first pick, sent back
  rig.Script().PushKey(key::kDown);
  rig.Script().PushText("\r");                          // second pick: on to field 2
  rig.Script().PushKey(key::kEscape);                   // field 2: back to field 1
  rig.Script().PushKey(key::kEscape);                   // leave
  EXPECT_EQ(Run(), key::kEscape);
  EXPECT_EQ(picks, 2);
  EXPECT_EQ(rig.module.Only("range"), (std::vector<std::string>{"range 1", "range 1"}));
  EXPECT_EQ(file.AreaKey(), "0002");
  EXPECT_EQ(rig.module.Only("value"), (std::vector<std::string>{"value 1.2", "value 1.1"}));
}

TEST_F(PanelListTest, NoPickOrARefusedListBeepsAndEditsTheFieldAgain) {
  rig.Script().PushText("ab");
  rig.Script().PushKey(key::kF4);
  rig.Script().PushKey(key::kEscape);  // out of the list without a pick
  std::string again;
  rig.Script().SetOnStarved([&](HeadlessControl& c) {
    again = rig.Row(1, 4, 4);
    c.PushKey(key::kEscape);
  });
  EXPECT_EQ(Run(), key::kEscape);
  EXPECT_EQ(rig.system.beeps, 1);
  EXPECT_EQ(again, "ab  ");  // the text as typed
  EXPECT_TRUE(rig.module.Only("pick").empty());

  WidgetsRig refused;
  ListFile other;
  ASSERT_EQ(other.Open(refused.records, refused.dir), 0);
  int l = refused.AddList({ListFile::kHandle, 0, 10, 10, 16, 40, 0, 0}, "");
  int p = refused.AddPanel(kKeys);
  FieldSpec f;
  f.label = "X:";
  f.list = l;
  refused.AddField(p, f);
  refused.module.rangeResult = -1;
  refused.Script().PushKey(key::kF4);
  refused.Script().PushKey(key::kEscape);
  EXPECT_EQ(PanelInput(refused.widgets, static_cast<std::int16_t>(p), false, false), key::kEscape);
  EXPECT_EQ(refused.system.beeps, 1);
}

TEST_F(PanelListTest, PickMovingToAPassedOverFieldGoesOnDown) {
  rig.form.Field(panel, 2).Attribute[session::kFieldFlags] = 4;
  rig.module.pick = [](std::int16_t&, std::int16_t, std::int16_t& field) { ++field; };
  rig.Script().PushKey(key::kF4);
  rig.Script().PushText("\r");   // pick: the module moves to field 2, which is passed over
  rig.Script().PushText("z\r"); // so the input lands on field 3
  EXPECT_EQ(Run(), key::kEnter);
  EXPECT_EQ(rig.form.Field(panel, 3).Value, "z   ");
  EXPECT_EQ(rig.module.Only("accept"), (std::vector<std::string>{"accept 1.3 'z   '"}));
}

TEST_F(PanelListTest, F4OnAFieldWithoutAListDoesNothing) {
  rig.Script().PushText("\r");
  rig.Script().PushKey(key::kF4);  // field 2 names no list
  rig.Script().PushText("y\r\r");
  EXPECT_EQ(Run(), key::kEnter);
  EXPECT_EQ(rig.system.beeps, 0);
  EXPECT_TRUE(rig.module.Only("range").empty());
  EXPECT_EQ(rig.form.Field(panel, 2).Value, "y   ");
}

TEST_F(PanelListTest, PickOnTheLastFieldLeavesWithEnter) {
  rig.form.Field(panel, 3).Attribute[session::kFieldList] = static_cast<std::int16_t>(list);
  rig.Script().PushText("\r\r");
  rig.Script().PushKey(key::kF4);
  rig.Script().PushText("\r");
  EXPECT_EQ(Run(), key::kEnter);
  EXPECT_EQ(rig.module.Only("pick"), (std::vector<std::string>{"pick 1 1.3"}));
  EXPECT_EQ(rig.module.Only("check"), (std::vector<std::string>{"check 1 13"}));
}

TEST_F(PanelListTest, ListPanelRunsFirstAndEscapeThereCancelsTheList) {
  int filter = rig.AddPanel(kKeys, {2, 40, 6, 70});
  FieldSpec f;
  f.label = "From:";
  rig.AddField(filter, f);
  rig.form.List(list).Attribute[session::kListPanel] = static_cast<std::int16_t>(filter);
  rig.Script().PushKey(key::kEscape);
  EXPECT_EQ(ListBrowse(rig.widgets, static_cast<std::int16_t>(list)), kBrowseNoPick);
  EXPECT_TRUE(rig.module.Only("range").empty());

  rig.module.log.clear();
  rig.Script().PushText("12\r");  // the panel, then the list
  rig.Script().PushText("\r");
  EXPECT_EQ(ListBrowse(rig.widgets, static_cast<std::int16_t>(list)), kBrowsePicked);
  EXPECT_EQ(rig.module.Only("accept"), (std::vector<std::string>{"accept 2.1 '12 '"}));
  EXPECT_EQ(rig.module.Only("range"), (std::vector<std::string>{"range 1"}));
  EXPECT_EQ(rig.windows.OpenCount(), 0);
}

}  // namespace
}  // namespace tui
