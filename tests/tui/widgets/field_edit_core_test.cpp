// Key handling of the field editor over a text buffer, without a console.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tui/widgets/field_edit.h"

namespace tui {
namespace {

// Plain ASCII upper-casing is enough for the search rules; accents are checked with the real
// folding in the console tests.
char AsciiFold(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

TEST(ChoiceListTest, SkipsTextBeforeFirstBarAndClosingBar) {
  std::vector<ChoiceItem> items = ParseChoiceList("junk|A,Alpha|BB,Beta|C|");
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0].bar, 4u);
  EXPECT_EQ(items[0].value, "A");
  EXPECT_EQ(items[0].label, "Alpha");
  EXPECT_EQ(items[1].value, "BB");
  EXPECT_EQ(items[1].label, "Beta");
  EXPECT_EQ(items[2].value, "C");  // no comma: the text is value and label
  EXPECT_EQ(items[2].label, "C");
  EXPECT_TRUE(ParseChoiceList("no bar at all").empty());
  EXPECT_TRUE(ParseChoiceList("").empty());
  // An empty entry between two bars is kept (its value is empty).
  EXPECT_EQ(ParseChoiceList("||x,y").size(), 2u);
}

struct WordCase {
  const char* text;
  int from;
  int left;   // WordStartBefore
  int right;  // NextWordStart
};

TEST(WordMovementTest, Table) {
  const WordCase cases[] = {
      {"abc def   ", 6, 5, 11},   // inside the last word: back to its start, on to L + 1
      {"abc def   ", 5, 1, 11},   // on "d": back to "abc"; forward: only blanks follow
      {"abc def   ", 4, 1, 5},    // on the blank: back to "abc"; forward to "def"
      {"abc def   ", 2, 1, 5},
      {"ab,,cd;ef ", 9, 8, 11},
      {"ab,,cd;ef ", 5, 1, 8},    // before "c" the separators ",," then "ab"
      {"ab,,cd;ef ", 3, 1, 5},    // on ",": forward lands on "c"
      {"x         ", 11, 1, 11},  // past the end
  };
  for (const WordCase& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " from " + std::to_string(c.from));
    EXPECT_EQ(WordStartBefore(c.text, c.from), c.left);
    EXPECT_EQ(NextWordStart(c.text, c.from), c.right);
  }
}

TEST(ExitTranslationTest, FirstMatchOnly) {
  EXPECT_EQ(TranslateExitKey(key::kShiftTab, true), key::kUp);
  EXPECT_EQ(TranslateExitKey(key::kTab, true), key::kEnter);  // not on to End
  EXPECT_EQ(TranslateExitKey(key::kEnter, true), key::kEnd);
  EXPECT_EQ(TranslateExitKey(key::kEnter, false), key::kEnter);
  EXPECT_EQ(TranslateExitKey(key::kCtrlF4, false), key::kEscape);
  EXPECT_EQ(TranslateExitKey(key::kAltF4, false), key::kEscape);
  EXPECT_EQ(TranslateExitKey(key::kF4, true), key::kF4);
}

// Types a sequence of keys and returns the outcomes.
std::vector<EditOutcome> Type(FieldEditCore& core, const std::vector<KeyCode>& keysTyped, bool insert) {
  std::vector<EditOutcome> out;
  for (KeyCode k : keysTyped) out.push_back(core.HandleKey(k, insert));
  return out;
}

TEST(FieldEditCoreTest, InsertOnFullFieldIsRefused) {
  std::string text = "ab  ";
  FieldEditCore core(text, 1, 5, "", AsciiFold);
  EXPECT_EQ(core.HandleKey('x', true), EditOutcome::kRedraw);
  EXPECT_EQ(text, "xab ");
  EXPECT_EQ(core.HandleKey('y', true), EditOutcome::kRedraw);
  EXPECT_EQ(text, "xyab");
  EXPECT_EQ(core.HandleKey('z', true), EditOutcome::kNothing);
  EXPECT_EQ(text, "xyab");
  EXPECT_EQ(core.Position(), 3);
}

TEST(FieldEditCoreTest, OverwriteStopsAtEnd) {
  std::string text = "abc";
  FieldEditCore core(text, 2, 4, "", AsciiFold);
  EXPECT_EQ(Type(core, {'X', 'Y'}, false), (std::vector<EditOutcome>{EditOutcome::kEcho, EditOutcome::kEcho}));
  EXPECT_EQ(text, "aXY");
  EXPECT_EQ(core.Position(), 4);
  EXPECT_EQ(core.HandleKey('Z', false), EditOutcome::kNothing);
  EXPECT_EQ(text, "aXY");
}

TEST(FieldEditCoreTest, DeletionPullsInBlanksAndRespectsEdges) {
  std::string text = "abcd";
  FieldEditCore core(text, 1, 5, "", AsciiFold);
  EXPECT_EQ(core.HandleKey(key::kBackspace, false), EditOutcome::kNothing);  // at 1
  EXPECT_EQ(text, "abcd");
  core.HandleKey(key::kRight, false);
  EXPECT_EQ(core.HandleKey(key::kBackspace, false), EditOutcome::kRedraw);
  EXPECT_EQ(text, "bcd ");
  EXPECT_EQ(core.Position(), 1);
  EXPECT_EQ(core.HandleKey(key::kDel, false), EditOutcome::kRedraw);
  EXPECT_EQ(text, "cd  ");
  core.HandleKey(key::kEnd, false);
  EXPECT_EQ(core.Position(), 3);
  for (int i = 0; i < 5; ++i) core.HandleKey(key::kRight, false);
  EXPECT_EQ(core.Position(), 5);  // L + 1 at most
  EXPECT_EQ(core.HandleKey(key::kDel, false), EditOutcome::kNothing);
  EXPECT_EQ(text, "cd  ");
  EXPECT_EQ(core.HandleKey(key::kCtrlY, false), EditOutcome::kRedraw);
  EXPECT_EQ(text, "    ");
  EXPECT_EQ(core.Position(), 1);
}

TEST(FieldEditCoreTest, TwoRowsUpDownAndCursorPastEnd) {
  std::string text(20, ' ');
  FieldEditCore core(text, 3, 10, "", AsciiFold);
  EXPECT_EQ(core.HandleKey(key::kDown, false), EditOutcome::kNothing);
  EXPECT_EQ(core.Position(), 13);
  EXPECT_EQ(core.HandleKey(key::kDown, false), EditOutcome::kEnds);
  EXPECT_EQ(core.Position(), 13);
  EXPECT_EQ(core.HandleKey(key::kUp, false), EditOutcome::kNothing);
  EXPECT_EQ(core.Position(), 3);
  EXPECT_EQ(core.HandleKey(key::kShiftTab, false), EditOutcome::kEnds);

  int r = 0, c = 0;
  FieldEditCore end(text, 21, 10, "", AsciiFold);
  end.CursorOffset(r, c);
  EXPECT_EQ(r, 1);  // after the second row's last cell, not at the start of a third row
  EXPECT_EQ(c, 10);
  FieldEditCore mid(text, 11, 10, "", AsciiFold);
  mid.CursorOffset(r, c);
  EXPECT_EQ(r, 1);
  EXPECT_EQ(c, 0);
}

TEST(FieldEditCoreTest, WordKeysEndAtTheEdges) {
  std::string text = "one two  ";
  FieldEditCore core(text, 1, 10, "", AsciiFold);
  EXPECT_EQ(core.HandleKey(key::kCtrlLeft, false), EditOutcome::kEnds);
  EXPECT_EQ(core.HandleKey(key::kCtrlRight, false), EditOutcome::kNothing);
  EXPECT_EQ(core.Position(), 5);
  EXPECT_EQ(core.HandleKey(key::kCtrlRight, false), EditOutcome::kNothing);
  EXPECT_EQ(core.Position(), 10);
  EXPECT_EQ(core.HandleKey(key::kCtrlRight, false), EditOutcome::kEnds);
}

TEST(FieldEditCoreTest, PositionClampedAtEntry) {
  std::string text = "abc";
  EXPECT_EQ(FieldEditCore(text, 0, 4, "", AsciiFold).Position(), 1);
  EXPECT_EQ(FieldEditCore(text, 99, 4, "", AsciiFold).Position(), 4);
  std::string empty;
  FieldEditCore none(empty, 1, 1, "", AsciiFold);
  EXPECT_EQ(none.HandleKey('a', true), EditOutcome::kNothing);
  EXPECT_EQ(none.HandleKey(key::kDel, true), EditOutcome::kNothing);
  EXPECT_EQ(none.HandleKey(key::kBackspace, true), EditOutcome::kNothing);
  EXPECT_TRUE(empty.empty());
}

TEST(FieldEditCoreTest, CopyAndPaste) {
  std::string text = "  hi there ";
  FieldEditCore core(text, 3, 12, "", AsciiFold);
  EXPECT_EQ(core.HandleKey(key::kCtrlC, false), EditOutcome::kCopy);
  EXPECT_EQ(core.CopyText(), "hi there");
  EXPECT_EQ(core.HandleKey(key::kCtrlV, false), EditOutcome::kPaste);
  core.Paste(std::string(" \x01" "ABCDEFGHIJ\x7f\xff ", 15));
  EXPECT_EQ(text, "  ABCDEFGHI");  // cut at the end; length unchanged
  EXPECT_EQ(core.Position(), 3);
  core.Paste("   ");
  EXPECT_EQ(text, "  ABCDEFGHI");
}

TEST(FieldEditCoreTest, ClicksInTextField) {
  std::string text(20, ' ');
  FieldEditCore core(text, 1, 10, "", AsciiFold);
  // Field's first cell at screen (5, 30): third cell of the second row is position 13.
  EXPECT_EQ(core.HandleClick(6, 32, 5, 30), ClickOutcome::kMoved);
  EXPECT_EQ(core.Position(), 13);
  EXPECT_EQ(core.HandleClick(7, 30, 5, 30), ClickOutcome::kOutside);
  EXPECT_EQ(core.HandleClick(5, 40, 5, 30), ClickOutcome::kOutside);
  EXPECT_EQ(core.HandleClick(5, 29, 5, 30), ClickOutcome::kOutside);
  EXPECT_EQ(core.Position(), 13);
}

TEST(FieldEditCoreTest, ChoiceFieldStartSpaceAndSearch) {
  const char* list = "|1,One|2,Two|3,Three|4,Four";
  std::string text = "2";
  FieldEditCore core(text, 1, 2, list, AsciiFold);
  EXPECT_EQ(core.CurrentItem(), 1u);
  EXPECT_EQ(core.LabelWidth(), 5);
  EXPECT_EQ(core.HandleKey(key::kSpace, false), EditOutcome::kRedraw);
  EXPECT_EQ(core.CurrentLabel(), "Three");
  core.StoreChoiceValue();
  EXPECT_EQ(text, "3");
  // First letter search starts after the current item and wraps.
  EXPECT_EQ(core.HandleKey('t', false), EditOutcome::kRedraw);
  EXPECT_EQ(core.CurrentLabel(), "Two");
  EXPECT_EQ(core.HandleKey('x', false), EditOutcome::kNothing);
  EXPECT_EQ(core.CurrentLabel(), "Two");
  EXPECT_EQ(core.HandleKey(key::kLeft, false), EditOutcome::kRedraw);
  EXPECT_EQ(core.HandleKey(key::kLeft, false), EditOutcome::kRedraw);
  EXPECT_EQ(core.CurrentLabel(), "Four");  // from the first to the last
  EXPECT_EQ(core.HandleKey(key::kRight, false), EditOutcome::kRedraw);
  EXPECT_EQ(core.CurrentLabel(), "One");
  EXPECT_EQ(core.HandleKey(key::kBackspace, false), EditOutcome::kNothing);
  EXPECT_EQ(core.HandleKey(key::kUp, false), EditOutcome::kEnds);
  EXPECT_EQ(core.HandleKey(key::kCtrlRight, false), EditOutcome::kEnds);
  EXPECT_EQ(core.CopyText(), "One");

  // A text that matches no item shows the first but stays as it is until a key chooses.
  std::string none = "9";
  FieldEditCore first(none, 1, 2, list, AsciiFold);
  EXPECT_EQ(first.CurrentItem(), 0u);
  first.StoreChoiceValue();
  EXPECT_EQ(none, "9");
  EXPECT_EQ(first.HandleKey('o', false), EditOutcome::kRedraw);  // the item shown, now chosen
  first.StoreChoiceValue();
  EXPECT_EQ(none, "1");
  std::string two = "b";
  FieldEditCore pair(two, 1, 2, "|a,A|b,B", AsciiFold);
  pair.HandleKey(key::kSpace, false);
  EXPECT_EQ(pair.CurrentLabel(), "A");  // wraps to the first of two
}

TEST(FieldEditCoreTest, ClicksInChoiceField) {
  std::string text = "1";
  FieldEditCore core(text, 1, 2, "|1,One|2,Three", AsciiFold);
  EXPECT_EQ(core.HandleClick(5, 29, 5, 30), ClickOutcome::kLeft);
  EXPECT_EQ(core.HandleClick(5, 35, 5, 30), ClickOutcome::kRight);
  EXPECT_EQ(core.HandleClick(5, 32, 5, 30), ClickOutcome::kDropped);
  EXPECT_EQ(core.HandleClick(5, 36, 5, 30), ClickOutcome::kOutside);
  EXPECT_EQ(core.HandleClick(6, 32, 5, 30), ClickOutcome::kOutside);
}

}  // namespace
}  // namespace tui
