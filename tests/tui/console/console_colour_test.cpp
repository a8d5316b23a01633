#include <gtest/gtest.h>

#include "tests/tui/console/console_test_support.h"

namespace tui {
namespace {

using testing::HeadlessConsole;

// A colour table whose entries are told apart by their attribute bytes.
constexpr std::array<session::ColourPair, 5> kTable = {{
    {15, 0},  // 0 high intensity: 0F
    {7, 1},   // 1 normal: 17
    {0, 7},   // 2 reverse: 70
    {14, 4},  // 3 reverse + normal: 4E
    {1, 3},   // 4 input: 31
}};

struct ModeCase {
  const char* mode;
  int index;
  std::uint8_t attribute;
};

TEST(ScreenColourTest, ModeLettersSelectEntries) {
  const ModeCase cases[] = {
      {"h", 0, 0x0F}, {"H", 0, 0x0F}, {"n", 1, 0x17}, {"N", 1, 0x17}, {"r", 2, 0x70},
      {"rn", 3, 0x4E}, {"NR", 3, 0x4E}, {"u", 4, 0x31}, {"ur", 4, 0x31}, {"rhx", 2, 0x70},
      {"q", 0, 0x0F},
  };
  for (const ModeCase& c : cases) {
    HeadlessConsole con;
    con->SetColourTable(kTable);
    con->ScreenColour("n");
    con->ScreenColour(c.mode);
    EXPECT_EQ(con->ColourIndex(), c.index) << c.mode;
    EXPECT_EQ(con->Attribute(), c.attribute) << c.mode;
    EXPECT_TRUE(con->ColourStack().empty()) << c.mode;
  }
}

TEST(ScreenColourTest, BlankModeChangesNothing) {
  HeadlessConsole con;
  con->SetColourTable(kTable);
  con->ScreenColour("u");
  con->ScreenColour("");
  con->ScreenColour("   ");
  EXPECT_EQ(con->ColourIndex(), 4);
  EXPECT_EQ(con->Attribute(), 0x31);
}

TEST(ScreenColourTest, PopOnEmptyStackSelectsEntryZero) {
  HeadlessConsole con;
  con->SetColourTable(kTable);
  con->ScreenColour("u");
  con->ScreenColour("-");
  EXPECT_EQ(con->ColourIndex(), 0);
  EXPECT_EQ(con->Attribute(), 0x0F);
}

TEST(ScreenColourTest, PushAndPopReturnToTheColourBefore) {
  HeadlessConsole con;
  con->SetColourTable(kTable);
  con->ScreenColour("r");
  con->ScreenColour("+u");
  EXPECT_EQ(con->ColourIndex(), 4);
  EXPECT_EQ(con->ColourStack(), std::string(1, '\x02'));
  con->ScreenColour("+n");
  con->ScreenColour("h");
  con->ScreenColour("-");
  EXPECT_EQ(con->ColourIndex(), 4);
  con->ScreenColour("-");
  EXPECT_EQ(con->ColourIndex(), 2);
  EXPECT_EQ(con->Attribute(), 0x70);
  EXPECT_TRUE(con->ColourStack().empty());
}

TEST(ScreenColourTest, PlusAndMinusTogetherPushThenPopTheSameIndex) {
  HeadlessConsole con;
  con->SetColourTable(kTable);
  con->ScreenColour("n");
  con->ScreenColour("+-u");
  EXPECT_EQ(con->ColourIndex(), 1);
  EXPECT_TRUE(con->ColourStack().empty());
}

TEST(ScreenColourTest, TheBuiltInSchemeIsInForceBeforeATableIsSet) {
  HeadlessConsole con;
  con->ScreenColour("h");
  EXPECT_EQ(con->Attribute(), 0x0F);
  con->ScreenColour("n");
  EXPECT_EQ(con->Attribute(), 0x07);
  con->ScreenColour("u");
  EXPECT_EQ(con->Attribute(), 0x70);
}

TEST(SetColourTest, ValuesOutOfRangeKeepThatPart) {
  struct Case {
    int fg, bg;
    std::uint8_t expected;
  } cases[] = {
      {2, 5, 0x52}, {16, 5, 0x57}, {2, 16, 0x02}, {99, 99, 0x07}, {-1, 3, 0x37}, {15, 15, 0xFF},
  };
  for (const Case& c : cases) {
    HeadlessConsole con;
    con->SetColour(7, 0);
    con->SetColour(c.fg, c.bg);
    EXPECT_EQ(con->Attribute(), c.expected) << c.fg << "," << c.bg;
  }
}

TEST(ScreenColourTest, MalformedTableValuesLeaveTheAttributePart) {
  HeadlessConsole con;
  std::array<session::ColourPair, 5> table = kTable;
  table[1] = {20, 2};
  con->SetColourTable(table);
  con->ScreenColour("h");
  con->ScreenColour("n");
  EXPECT_EQ(con->Attribute(), 0x2F);
}

}  // namespace
}  // namespace tui
