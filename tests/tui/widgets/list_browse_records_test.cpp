// The list browser over a real record file of our engine, created through the record layer.
#include <gtest/gtest.h>

#include <deque>

#include "platform/paths.h"
#include "tests/tui/widgets/widgets_test_rig.h"
#include "tui/widgets/list_browse.h"

namespace tui {
namespace {

using widgets_test::ListFile;
using widgets_test::WidgetsRig;

// The list window: rows 3..9 and columns 10..31, so 5 lines of 20 columns at screen rows 4..8
// from column 11.
constexpr int kTop = 3, kLeft = 10, kBottom = 9, kRight = 31, kLines = 5, kWidth = 20;

// What the list showed while it waited for a key.
struct Snapshot {
  std::vector<std::string> lines;  // trailing blanks removed
  int highlight = 0;               // the line in the input colour, 0 for none
  std::string top;                 // the top frame line, corners included
  std::string bottom;              // the bottom frame line
};

class ListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(file.Open(rig.records, rig.dir), 0);
    rig.module.lineText = [this](std::int16_t) { return file.LineText(); };
  }

  int AddList(const std::string& title = "LIST", int next = 0, int handle = ListFile::kHandle) {
    return rig.AddList({handle, 0, kTop, kLeft, kBottom, kRight, 0, next}, title);
  }

  Snapshot Take() {
    Snapshot s;
    for (int line = 1; line <= kLines; ++line) {
      std::string text = rig.Row(kTop + line, kLeft + 1, kWidth);
      text.erase(text.find_last_not_of(' ') + 1);
      s.lines.push_back(text);
      if (rig.Con().ReadAttribute(kTop + line, kLeft + 1) == 0x70) s.highlight = line;
    }
    s.top = rig.Row(kTop, kLeft, kWidth + 2);
    s.bottom = rig.Row(kBottom, kLeft, kWidth + 2);
    return s;
  }

  // Feeds the keys one by one, taking a snapshot each time the list waits.
  void Drive(std::vector<KeyCode> keys) {
    pending.assign(keys.begin(), keys.end());
    rig.Script().SetOnStarved([this](HeadlessControl& c) {
      shots.push_back(Take());
      if (pending.empty()) {
        c.PushKey(key::kEscape);
        return;
      }
      c.PushKey(pending.front());
      pending.pop_front();
    });
  }

  std::int16_t Browse(int list) { return ListBrowse(rig.widgets, static_cast<std::int16_t>(list)); }

  static std::vector<std::string> Names(std::initializer_list<int> numbers) {
    std::vector<std::string> out;
    for (int n : numbers) out.push_back(n == 0 ? std::string() : ListFile::Key(n) + "  Name " + std::to_string(n));
    return out;
  }

  WidgetsRig rig;
  ListFile file;
  std::deque<KeyCode> pending;
  std::vector<Snapshot> shots;
};

TEST_F(ListTest, EmptyRangeShowsAnEmptyWindowAndEnterPicksNothing) {
  ASSERT_EQ(file.Fill(rig.records, 12, [](int) { return true; }), 0);
  struct Case {
    const char* lower;
    const char* upper;
  } cases[] = {{"0100", "0199"}, {"0005", "0004"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lower);
    rig.module.rangeLower = c.lower;
    rig.module.rangeUpper = c.upper;
    shots.clear();
    Drive({key::kEnter});
    int list = AddList();
    EXPECT_EQ(Browse(list), kBrowseNoPick);
    ASSERT_EQ(shots.size(), 1u);
    EXPECT_EQ(shots[0].lines, Names({0, 0, 0, 0, 0}));
    EXPECT_EQ(shots[0].highlight, 0);
  }
  EXPECT_EQ(rig.module.lineTextCalls, 0);
  EXPECT_FALSE(platform::PathExists(rig.dir.SystemDir() + "Browse.tmp"));
}

TEST_F(ListTest, RecordsWithoutTextAreNeverShownOrCounted) {
  ASSERT_EQ(file.Fill(rig.records, 14, [](int n) { return n % 2 == 1; }), 0);
  int list = AddList();
  Drive({key::kDown, key::kDown, key::kDown, key::kDown, key::kDown, key::kEnter});
  EXPECT_EQ(Browse(list), kBrowsePicked);
  ASSERT_EQ(shots.size(), 6u);
  EXPECT_EQ(shots[0].lines, Names({1, 3, 5, 7, 9}));
  EXPECT_EQ(shots[4].highlight, 5);
  // Down on the last line: the page starts at its second entry.
  EXPECT_EQ(shots[5].lines, Names({3, 5, 7, 9, 11}));
  EXPECT_EQ(shots[5].highlight, 5);
  EXPECT_EQ(file.AreaKey(), "0011");  // the picked record was read again
}

TEST_F(ListTest, FiveLinesOverTwelveRecordsPageDownAndDownAtTheEnd) {
  ASSERT_EQ(file.Fill(rig.records, 12, [](int) { return true; }), 0);
  int list = AddList();
  Drive({key::kDown, key::kPgDn, key::kPgDn, key::kDown, key::kEnter});
  EXPECT_EQ(Browse(list), kBrowsePicked);
  ASSERT_EQ(shots.size(), 5u);
  EXPECT_EQ(shots[1].highlight, 2);
  EXPECT_EQ(shots[2].lines, Names({6, 7, 8, 9, 10}));  // PgDn: the same line, records 6 to 10
  EXPECT_EQ(shots[2].highlight, 2);
  EXPECT_EQ(shots[3].lines, Names({11, 12, 0, 0, 0}));
  EXPECT_EQ(shots[3].highlight, 2);  // the last record, 12
  EXPECT_EQ(shots[4].lines, shots[3].lines);  // Down on the last record does nothing
  EXPECT_EQ(shots[4].highlight, 2);
  EXPECT_EQ(file.AreaKey(), "0012");
  // Every record was read once: 12 line texts for 12 records.
  EXPECT_EQ(rig.module.lineTextCalls, 12);
}

TEST_F(ListTest, PgUpToTheFirstEntryKeepsTheHighlightOnTheSelectedLine) {
  ASSERT_EQ(file.Fill(rig.records, 12, [](int) { return true; }), 0);
  int list = AddList();
  // Down x5: the page starts at record 2 with record 6 selected on line 5... then Up x2:
  // record 4 on line 3. PgUp: the page reaches record 1 after one entry, the selection after 3.
  Drive({key::kDown, key::kDown, key::kDown, key::kDown, key::kDown, key::kUp, key::kUp, key::kPgUp, key::kEnter});
  EXPECT_EQ(Browse(list), kBrowsePicked);
  ASSERT_EQ(shots.size(), 9u);
  EXPECT_EQ(shots[5].lines, Names({2, 3, 4, 5, 6}));
  EXPECT_EQ(shots[7].highlight, 3);
  EXPECT_EQ(shots[8].lines, Names({1, 2, 3, 4, 5}));
  EXPECT_EQ(shots[8].highlight, 1);
  EXPECT_EQ(file.AreaKey(), "0001");
  // Moving back and redrawing read nothing more from the file.
  EXPECT_EQ(rig.module.lineTextCalls, 6);
}

TEST_F(ListTest, TitleUnderscoreAndFrame) {
  ASSERT_EQ(file.Fill(rig.records, 2, [](int) { return true; }), 0);
  int list = AddList("ABCDEFG_HIJK");
  Drive({});
  EXPECT_EQ(Browse(list), kBrowseNoPick);
  ASSERT_EQ(shots.size(), 1u);
  EXPECT_EQ(shots[0].top, "\xC9" "ABCDEFG HIJK" + std::string(8, '\xCD') + "\xBB");
  EXPECT_EQ(shots[0].bottom, "\xC8" + std::string(kWidth, '\xCD') + "\xBC");  // double frame
}

TEST_F(ListTest, SidewaysScrollingWithThePointers) {
  ASSERT_EQ(file.Fill(rig.records, 3, [](int) { return true; },
                      [](int n) { return n == 2 ? std::string("abcdefghijklmnopqrstuvwx") : "N" + std::to_string(n); }),
            0);
  // Line 2 is "0002  abcdefghijklmnopqrstuvwx": 30 characters in a 20-column window.
  int list = AddList("T");
  Drive({key::kRight, key::kRight, key::kRight, key::kLeft, key::kEscape});
  EXPECT_EQ(Browse(list), kBrowseNoPick);
  ASSERT_EQ(shots.size(), 5u);
  const std::string bar(kWidth - 1, '\xCD');
  EXPECT_EQ(shots[0].top, "\xC9T" + bar + "\xBB");  // drawn before the overflow was known
  EXPECT_EQ(shots[1].lines[1], "cdefghijklmnopqrstuv");  // from the ninth character
  EXPECT_EQ(shots[1].top, "\x11" + std::string(kWidth, '\xCD') + "\x10");
  EXPECT_EQ(shots[2].lines[1], "klmnopqrstuvwx");
  EXPECT_EQ(shots[2].top, "\x11" + std::string(kWidth, '\xCD') + "\xBB");
  EXPECT_EQ(shots[3].lines[1], shots[2].lines[1]);  // no further right
  EXPECT_EQ(shots[4].lines[1], "cdefghijklmnopqrstuv");
}

TEST_F(ListTest, EscapeWhileSkippingRecordsWithoutTextEndsTheList) {
  ASSERT_EQ(file.Fill(rig.records, 300, [](int n) { return n <= 3 || n == 300; }), 0);
  int list = AddList();
  // Read while the first page is drawn: "x" is dropped, Escape stops the reading.
  rig.Script().PushText("x");
  rig.Script().PushKey(key::kEscape);
  Drive({key::kDown, key::kDown, key::kDown, key::kEnter});
  EXPECT_EQ(Browse(list), kBrowsePicked);
  ASSERT_EQ(shots.size(), 4u);
  EXPECT_EQ(shots[0].lines, Names({1, 2, 3, 0, 0}));
  EXPECT_EQ(shots[3].highlight, 3);  // Down past the last line found does nothing
  EXPECT_EQ(file.AreaKey(), "0003");
  EXPECT_LT(rig.module.lineTextCalls, 10);
}

TEST_F(ListTest, LockModeKeySetAndColourAreRestored) {
  ASSERT_EQ(file.Fill(rig.records, 3, [](int) { return true; }), 0);
  ASSERT_EQ(rig.records.RecLockMode(ListFile::kHandle, "a"), 0);
  rig.Con().KeySet("ea", "1b");
  rig.Con().ScreenColour("n");
  int list = AddList();
  std::optional<int> during;
  std::vector<KeyCode> keys;
  rig.Script().SetOnStarved([&](HeadlessControl& c) {
    during = rig.records.LockMode(ListFile::kHandle);
    keys = rig.Con().AcceptedKeys();
    c.PushKey(key::kEscape);
  });
  EXPECT_EQ(Browse(list), kBrowseNoPick);
  EXPECT_EQ(during, 0);  // read without locks
  EXPECT_EQ(keys.size(), 8u);  // no F4 without a further list
  EXPECT_EQ(rig.records.LockMode(ListFile::kHandle), 1);
  EXPECT_EQ(rig.Con().AcceptedKeys(), (std::vector<KeyCode>{key::kEscape}));
  EXPECT_EQ(rig.Con().ColourIndex(), 1);
  EXPECT_EQ(rig.windows.OpenCount(), 0);
}

TEST_F(ListTest, KeysOutsideTheListsSetAreIgnored) {
  ASSERT_EQ(file.Fill(rig.records, 3, [](int) { return true; }), 0);
  int list = AddList();
  Drive({'x', key::kF4, key::kF5, key::kDown, key::kEnter});
  EXPECT_EQ(Browse(list), kBrowsePicked);
  EXPECT_EQ(file.AreaKey(), "0002");
}

TEST_F(ListTest, RefusedRangeDrawsNothing) {
  ASSERT_EQ(file.Fill(rig.records, 3, [](int) { return true; }), 0);
  rig.module.rangeResult = 7;
  int list = AddList();
  std::string before = rig.Row(kTop, kLeft, kWidth + 2);
  EXPECT_EQ(Browse(list), 7);
  EXPECT_EQ(rig.Row(kTop, kLeft, kWidth + 2), before);
  EXPECT_EQ(rig.module.lineTextCalls, 0);
  EXPECT_EQ(rig.windows.OpenCount(), 0);
}

TEST_F(ListTest, FurtherListWithF4IsPickedAndHandedToListPick) {
  ASSERT_EQ(file.Fill(rig.records, 5, [](int) { return true; }), 0);
  int second = AddList("SECOND");
  int first = AddList("FIRST", second);
  std::vector<KeyCode> keys;
  int waits = 0;
  rig.Script().SetOnStarved([&](HeadlessControl& c) {
    ++waits;
    if (waits == 1) {
      keys = rig.Con().AcceptedKeys();
      c.PushKey(key::kF4);
    } else if (waits == 2) {
      c.PushKey(key::kDown);
    } else {
      c.PushKey(key::kEnter);
    }
  });
  EXPECT_EQ(Browse(first), kBrowsePicked);
  ASSERT_EQ(keys.size(), 9u);
  EXPECT_EQ(keys.back(), key::kF4);
  EXPECT_EQ(file.AreaKey(), "0002");
  EXPECT_EQ(rig.module.Only("pick"), (std::vector<std::string>{"pick " + std::to_string(second) + " 0.0"}));
  EXPECT_EQ(rig.module.Only("range"), (std::vector<std::string>{"range 2", "range 1"}));
  EXPECT_EQ(rig.windows.OpenCount(), 0);
}

TEST_F(ListTest, PreparedListPicksValueAndTextAndDeletesTheFile) {
  BrowseFile prepared;
  ASSERT_TRUE(prepared.Open(rig.session.TempDir + "Browse.tmp", true));
  std::int32_t a = prepared.Append(0, 501, "first prepared");
  std::int32_t b = prepared.Append(a, 502, "second prepared");
  prepared.Append(b, 503, "third prepared");
  prepared.Close();
  int list = AddList("READY", 0, 0);
  Drive({key::kDown, key::kEnter});
  EXPECT_EQ(Browse(list), kBrowsePicked);
  EXPECT_EQ(rig.widgets.pickedValue, 502);
  EXPECT_EQ(rig.widgets.pickedText, "second prepared");
  EXPECT_EQ(shots[0].lines[2], "third prepared");
  EXPECT_EQ(rig.module.lineTextCalls, 0);
  EXPECT_FALSE(platform::PathExists(rig.session.TempDir + "Browse.tmp"));
}

TEST_F(ListTest, ScratchFileThatCannotBeCreatedIsReportedAndRefused) {
  ASSERT_EQ(file.Fill(rig.records, 3, [](int) { return true; }), 0);
  rig.session.TempDir = rig.dir.SystemDir() + "missing\\";
  int list = AddList();
  std::string message;
  rig.Script().SetOnStarved([&](HeadlessControl& c) {
    for (int r = 1; r <= 25; ++r) {
      std::string row = rig.Row(r);
      row.erase(row.find_last_not_of(' ') + 1);
      if (!message.empty() || row.find("NO ES POT CREAR") != std::string::npos) message += row;
    }
    c.PushKey(key::kEnter);
  });
  EXPECT_EQ(Browse(list), kBrowseFileError);
  EXPECT_NE(message.find("missing/Browse.tmp"), std::string::npos) << message;
  EXPECT_EQ(rig.system.beeps, 1);
  EXPECT_EQ(rig.windows.OpenCount(), 0);
  EXPECT_EQ(rig.records.LockMode(ListFile::kHandle), 0);
  EXPECT_EQ(rig.Con().SavedKeySetDepth(), 0u);
}

}  // namespace
}  // namespace tui
