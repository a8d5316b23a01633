// The field editor on a headless console: drawing, cursor, keys, clicks and the key set.
#include <gtest/gtest.h>

#include <string>

#include "tests/tui/console/console_test_support.h"
#include "tui/widgets/field_edit.h"

namespace tui {
namespace {

using testing::HeadlessConsole;

// Colour entries 0 (15,0), 1 (7,0), 2..4 (0,7): the input colour is attribute 0x70.
constexpr std::array<session::ColourPair, 5> kColours{{{15, 0}, {7, 0}, {0, 7}, {0, 7}, {0, 7}}};

std::string RowText(const Console& console, int row, int column, int count) {
  std::string out;
  for (int c = column; c < column + count; ++c) out.push_back(static_cast<char>(console.ReadCell(row, c)));
  return out;
}

struct Edit {
  std::int16_t row = 5;
  std::int16_t column = 10;
  std::int16_t width = 0;
  std::string text;
  std::int16_t position = 1;
  KeyCode key = 0;
  void Run(Console& console) { FieldEdit(console, row, column, width, text, position, key); }
};

class FieldEditTest : public ::testing::Test {
 protected:
  FieldEditTest() { con->SetColourTable(kColours); }
  HeadlessControl& Script() { return *con.control; }
  HeadlessConsole con;
};

TEST_F(FieldEditTest, OneRowFieldStoresWidthAndShowsTyping) {
  con->KeySet("ea", "d,1b");
  Edit e;
  e.text = std::string(10, ' ');
  Script().PushText("abc\r");
  e.Run(*con);
  EXPECT_EQ(e.width, 11);  // the text's length plus 1, stored back
  EXPECT_EQ(e.text, "abc       ");
  EXPECT_EQ(e.position, 4);
  EXPECT_EQ(e.key, key::kEnter);
  EXPECT_EQ(RowText(*con, 5, 10, 10), "abc       ");
  EXPECT_EQ(con->ReadAttribute(5, 10), 0x70);  // drawn in the input colour
  EXPECT_EQ(con->ColourIndex(), 0);             // "h" on the way out
  EXPECT_FALSE(con->Cursor().visible);
}

TEST_F(FieldEditTest, RowAndColumnZeroTakeTheCursorRelativeToTheWindow) {
  con->SetWindowState(1, WindowRect{3, 5, 12, 60});
  con->Locate(6, 20);  // the window's (1, 1) is screen (4, 6): window row 3, column 15
  Edit e;
  e.row = 0;
  e.column = 0;
  e.text = "xy";
  Script().PushKey(key::kEscape);
  e.Run(*con);
  EXPECT_EQ(e.row, 3);
  EXPECT_EQ(e.column, 15);
  EXPECT_EQ(RowText(*con, 6, 20, 2), "xy");
}

TEST_F(FieldEditTest, TwoRowsCursorPastTheEndAndInsertShape) {
  Edit e;
  e.width = 10;
  e.text = std::string(20, 'a');
  e.position = 21;
  std::vector<CursorState> seen;
  // Look at the cursor each time the editor waits for a key.
  Script().SetOnStarved([&](HeadlessControl& c) {
    seen.push_back(con->Cursor());
    if (seen.size() == 1) c.PushKey(key::kIns);
    else c.PushKey(key::kEscape);
  });
  e.Run(*con);
  ASSERT_EQ(seen.size(), 2u);
  // Just right of the second row's last cell, not at the start of a third row.
  EXPECT_EQ(seen[0].row, 6);
  EXPECT_EQ(seen[0].column, 20);
  EXPECT_TRUE(seen[0].visible);
  EXPECT_EQ(seen[0].height, 99);  // overwrite: full cell
  EXPECT_EQ(seen[1].height, 50);  // Ins flipped to insert
  EXPECT_TRUE(con->InsertLock());
  EXPECT_EQ(RowText(*con, 5, 10, 10), std::string(10, 'a'));
  EXPECT_EQ(RowText(*con, 6, 10, 10), std::string(10, 'a'));
  EXPECT_EQ(con->ReadCell(7, 10), ' ');
}

TEST_F(FieldEditTest, InsertModeOnAFullFieldChangesNothing) {
  con->SetInsertLock(true);
  Edit e;
  e.text = "ab  ";
  Script().PushText("xyz");
  Script().PushKey(key::kEscape);
  e.Run(*con);
  EXPECT_EQ(e.text, "xyab");
  EXPECT_EQ(e.position, 3);
  EXPECT_EQ(RowText(*con, 5, 10, 4), "xyab");
}

TEST_F(FieldEditTest, TabAndEnterTranslationWithTheKeySet) {
  struct Case {
    const char* keys;
    KeyCode typed;
    KeyCode result;
  } cases[] = {
      {"d,1b,4f00", key::kTab, key::kEnter},
      {"d,1b,4f00", key::kEnter, key::kEnd},
      {"d,1b", key::kEnter, key::kEnter},
      {"", key::kEnter, key::kEnd},  // an empty set accepts End as every key
      {"", key::kTab, key::kEnter},
      {"d,1b,4800", key::kShiftTab, key::kUp},
      {"d,1b", key::kCtrlF4, key::kEscape},
      {"d=5000,1b", key::kEnter, key::kDown},  // mapped code delivered
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.keys) + " key " + std::to_string(c.typed));
    HeadlessConsole local;
    local->KeySet("ea", c.keys);
    Edit e;
    e.text = "abc";
    local.control->PushKey(c.typed);
    e.Run(*local);
    EXPECT_EQ(e.key, c.result);
  }
}

TEST_F(FieldEditTest, KeysOutsideTheSetAreDroppedButAClickOutsideEnds) {
  con->KeySet("ea", "d,1b");
  Edit e;
  e.text = "abc";
  Script().PushKey(key::kF5);
  Script().PushText("Z");
  Script().PushClick(40, 20);
  e.Run(*con);
  EXPECT_EQ(e.text, "Zbc");  // F5 dropped, editing went on
  EXPECT_TRUE(IsFieldClick(e.key));
  EXPECT_EQ(e.key, -(100 * 40 + 20));
  EXPECT_EQ(FieldClickRow(e.key), 20);
  EXPECT_EQ(FieldClickColumn(e.key), 40);
}

TEST_F(FieldEditTest, ClicksInsideMoveTheCursorWithinAWindow) {
  con->SetWindowState(1, WindowRect{2, 3, 20, 70});  // window (1,1) is screen (3,4)
  con->KeySet("ea", "d,1b");
  Edit e;
  e.row = 2;
  e.column = 5;  // first cell at screen (4, 8)
  e.width = 10;
  e.text = std::string(20, ' ');
  Script().PushClick(10, 5);  // second row, third cell: position 13
  Script().PushText("Q\r");
  e.Run(*con);
  EXPECT_EQ(e.text, std::string(12, ' ') + "Q" + std::string(7, ' '));
  EXPECT_EQ(e.position, 14);
}

TEST_F(FieldEditTest, ChoiceFieldStartsOnItsValueAndSpaceStoresTheNext) {
  con->KeySet("ea", "d,1b");
  con->SetChoiceList("|A,Alpha|B,Beta|C,Gamma");
  Edit e;
  e.text = "B";
  e.width = 2;
  CursorState waiting;
  std::string shown;
  Script().SetOnStarved([&](HeadlessControl& c) {
    waiting = con->Cursor();
    shown = RowText(*con, 5, 9, 7);
    c.PushKey(key::kEnter);
  });
  Script().PushKey(key::kSpace);
  e.Run(*con);
  EXPECT_EQ(shown, "\x11Gamma\x10");  // pointers round the label
  EXPECT_FALSE(waiting.visible);        // a choice field shows no cursor
  EXPECT_EQ(e.text, "C");
  EXPECT_EQ(e.key, key::kEnter);
  EXPECT_EQ(RowText(*con, 5, 9, 7), " Gamma ");  // pointers blanked on the way out
}

TEST_F(FieldEditTest, ChoiceSearchFoldsAccentsAndClicksOnPointers) {
  con->KeySet("ea", "d,1b");
  con->SetChoiceList("|1,Barna|2,\xB7lex|3,Ebre");  // "Àlex"
  Edit e;
  e.text = "1";
  Script().PushText("a");          // finds "Àlex"
  Script().PushClick(15, 5);       // right pointer (column 10 + label width 5): next item
  Script().PushClick(12, 5);       // on the label: dropped
  Script().PushKey(key::kEscape);
  e.Run(*con);
  EXPECT_EQ(e.text, "3");
  EXPECT_EQ(e.key, key::kEscape);

  Edit f;
  f.text = "1";
  con->SetChoiceList("|1,Barna|2,\xB7lex|3,Ebre");
  Script().PushText("z");  // no label starts with it
  Script().PushKey(key::kEscape);
  f.Run(*con);
  EXPECT_EQ(f.text, "1");
}

TEST_F(FieldEditTest, MaskedFieldHidesWhatIsTyped) {
  con->KeySet("eah", "d,1b");
  Edit e;
  e.text = "    ";
  Script().PushText("pw\r");
  e.Run(*con);
  EXPECT_EQ(e.text, "pw  ");
  EXPECT_EQ(RowText(*con, 5, 10, 5), "XXXX ");  // width - 1 mask characters
}

TEST_F(FieldEditTest, CopyAndPasteThroughTheConsoleClipboard) {
  Script().SetSystemClipboard(std::nullopt);
  Edit e;
  e.text = " two words ";
  Script().PushKey(key::kCtrlC);
  Script().PushKey(key::kEscape);
  e.Run(*con);
  EXPECT_EQ(con->ClipboardText(), "two words");

  Edit f;
  f.text = "..........";
  f.position = 3;
  Script().PushKey(key::kCtrlV);
  Script().PushKey(key::kEscape);
  f.Run(*con);
  EXPECT_EQ(f.text, "..two word");
  EXPECT_EQ(f.position, 3);
}

TEST_F(FieldEditTest, HotKeyResultIsTypedIntoTheSameField) {
  con->SetHotKeyHooks({[](Console&) { return std::string("42"); }, nullptr});
  con->KeySet("ea", "d,1b");
  Edit e;
  e.text = "     ";
  Script().PushKey(key::kAltX);
  Script().PushKey(key::kEnter);
  e.Run(*con);
  EXPECT_EQ(e.text, "42   ");  // Alt+X was not in the set: dropped, the edit went on
  EXPECT_EQ(e.key, key::kEnter);

  HeadlessConsole open;
  open->SetHotKeyHooks({[](Console&) { return std::string("7"); }, nullptr});
  Edit g;
  g.text = "  ";
  open.control->PushKey(key::kAltX);
  g.Run(*open);  // with an empty set the hot key itself ends the edit
  EXPECT_EQ(g.key, key::kAltX);
  EXPECT_EQ(g.text, "  ");
  EXPECT_EQ(open->Typeahead(), "7");
}

}  // namespace
}  // namespace tui
