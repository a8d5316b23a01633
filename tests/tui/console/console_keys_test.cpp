#include <gtest/gtest.h>

#include <vector>

#include "tests/tui/console/console_test_support.h"

namespace tui {
namespace {

using testing::HeadlessConsole;
namespace m = modifier;

std::vector<KeyCode> Keys(std::initializer_list<unsigned> hex) {
  std::vector<KeyCode> out;
  for (unsigned h : hex) out.push_back(KeyFromHex(h));
  return out;
}

// ---- KeySet -----------------------------------------------------------------------------

TEST(KeySetTest, ItemsAreHexadecimal) {
  HeadlessConsole con;
  con->KeySet("ea", "d,1b,4800,5000,4900,5100,4b00,4d00");
  EXPECT_EQ(con->AcceptedKeys(), Keys({0x0D, 0x1B, 0x4800, 0x5000, 0x4900, 0x5100, 0x4B00, 0x4D00}));
  EXPECT_TRUE(con->KeyAccepted(key::kEnter));
  EXPECT_TRUE(con->KeyAccepted(key::kEscape));
  EXPECT_FALSE(con->KeyAccepted('1'));  // 49: "1" in the list is not the digit key
  EXPECT_FALSE(con->KeyAccepted('d'));
}

TEST(KeySetTest, ItemParsingBoundaries) {
  struct Case {
    const char* list;
    std::vector<KeyCode> keys;
    std::vector<KeyCode> mapped;
  } cases[] = {
      {"", {}, {}},
      {",", Keys({0, 0}), Keys({0, 0})},
      {"zz", Keys({0}), Keys({0})},
      {"12g", Keys({0x12}), Keys({0x12})},
      {"FFFF", Keys({0xFFFF}), Keys({0xFFFF})},
      {"0000ffff", Keys({0xFFFF}), Keys({0xFFFF})},
      {"10000", Keys({0}), Keys({0})},               // more than 16 bits: refused
      {"123456789abcdef", Keys({0}), Keys({0})},
      {"8500,8c00", Keys({0x8500, 0x8C00}), Keys({0x8500, 0x8C00})},
      {"4f00=d", Keys({0x4F00}), Keys({0x0D})},
      {"d=4f00,9=", Keys({0x0D, 0x09}), Keys({0x4F00, 0})},
      {" 1b", Keys({0x1B}), Keys({0x1B})},
  };
  for (const auto& c : cases) {
    HeadlessConsole con;
    con->KeySet("EA", c.list);
    EXPECT_EQ(con->AcceptedKeys(), c.keys) << c.list;
    EXPECT_EQ(con->MappedKeys(), c.mapped) << c.list;
  }
}

TEST(KeySetTest, EqualsSignDeliversTheMappedCode) {
  HeadlessConsole con;
  con->KeySet("ea", "1b,4f00=d,5000");
  KeyCode mapped = 0;
  ASSERT_TRUE(con->KeyAccepted(key::kEnd, &mapped));
  EXPECT_EQ(mapped, key::kEnter);
  ASSERT_TRUE(con->KeyAccepted(key::kDown, &mapped));
  EXPECT_EQ(mapped, key::kDown);
}

TEST(KeySetTest, EmptySetAcceptsEveryKeyAsItIs) {
  HeadlessConsole con;
  KeyCode mapped = 0;
  EXPECT_TRUE(con->KeySetEmpty());
  EXPECT_TRUE(con->KeyAccepted(key::kF5, &mapped));
  EXPECT_EQ(mapped, key::kF5);
}

TEST(KeySetTest, AppendKeepsDuplicatesAndTheFirstIsFound) {
  HeadlessConsole con;
  con->KeySet("a", "d=1,d=2");
  KeyCode mapped = 0;
  ASSERT_TRUE(con->KeyAccepted(13, &mapped));
  EXPECT_EQ(mapped, 1);
  con->KeySet("d", "d");
  ASSERT_TRUE(con->KeyAccepted(13, &mapped));
  EXPECT_EQ(mapped, 2);
  con->KeySet("d", "d,4800");  // a key that is not there is skipped
  EXPECT_TRUE(con->KeySetEmpty());
}

TEST(KeySetTest, DeleteRemovesTheMappedCodeAtTheSamePlace) {
  HeadlessConsole con;
  con->KeySet("ea", "1b=1,d=2,4800=3");
  con->KeySet("d", "d");
  EXPECT_EQ(con->AcceptedKeys(), Keys({0x1B, 0x4800}));
  EXPECT_EQ(con->MappedKeys(), Keys({1, 3}));
}

// Matching compares whole key codes; a key whose bytes straddle two codes of the set
// (the second byte of 4800 and the first of 0D00 would form 0048) is not a match.
TEST(KeySetTest, MatchingIsByWholeWords) {
  HeadlessConsole con;
  con->KeySet("ea", "4800,0d00");
  EXPECT_FALSE(con->KeyAccepted(0x0048));
  EXPECT_FALSE(con->KeyAccepted(0x000D));
  EXPECT_TRUE(con->KeyAccepted(0x0D00));
}

TEST(KeySetTest, MaskCharacterOperations) {
  HeadlessConsole con;
  EXPECT_EQ(con->MaskCharacter(), 0);
  con->KeySet("h");
  EXPECT_EQ(con->MaskCharacter(), 'X');
  con->KeySet("V");
  EXPECT_EQ(con->MaskCharacter(), 0);
  con->KeySet("xyz?");  // other characters are ignored
  EXPECT_EQ(con->MaskCharacter(), 0);
  EXPECT_TRUE(con->KeySetEmpty());
}

// Saved sets form a stack: two nested pop-ups each saving on entry and restoring on exit
// bring back, in turn, the outer pop-up's set and then the caller's.
TEST(KeySetTest, NestedSavesRestoreInnermostFirst) {
  HeadlessConsole con;
  con->KeySet("ea", "d,1b");  // the panel's set
  con->KeySet("+ea", "4800,5000");  // outer pop-up
  con->KeySet("+ea", "3b00");  // inner pop-up
  EXPECT_EQ(con->SavedKeySetDepth(), 2u);
  EXPECT_EQ(con->AcceptedKeys(), Keys({0x3B00}));
  con->KeySet("-");
  EXPECT_EQ(con->AcceptedKeys(), Keys({0x4800, 0x5000}));
  con->KeySet("-");
  EXPECT_EQ(con->AcceptedKeys(), Keys({0x0D, 0x1B}));
  con->KeySet("-");  // nothing saved: nothing changes
  EXPECT_EQ(con->AcceptedKeys(), Keys({0x0D, 0x1B}));
  EXPECT_EQ(con->SavedKeySetDepth(), 0u);
}

TEST(KeySetTest, OperationsRunInOrder) {
  HeadlessConsole con;
  con->KeySet("a", "1b");
  con->KeySet("+e", "");  // the calculator: save, then an empty set
  EXPECT_TRUE(con->KeySetEmpty());
  con->KeySet("-a", "d");  // restore, then append
  EXPECT_EQ(con->AcceptedKeys(), Keys({0x1B, 0x0D}));
}

// ---- ReadKey ----------------------------------------------------------------------------

struct RemapCase {
  KeyCode key;
  unsigned mods;
  unsigned expected;
};

TEST(ReadKeyTest, ModifierRemapping) {
  const RemapCase cases[] = {
      {key::kF1, m::kLeftCtrl, 0x5E00},   {key::kF10, m::kRightCtrl, 0x6700},
      {key::kF11, m::kLeftCtrl, 0x8900},  {key::kF12, m::kLeftCtrl, 0x8A00},
      {key::kF12, m::kShift, 0x8800},     {key::kF1, m::kShift, 0x5400},
      {key::kF10, m::kShift, 0x5D00},     {key::kF11, m::kShift, 0x8700},
      {key::kF4, m::kLeftAlt, 0x6B00},    {key::kF1, m::kRightAlt, 0x6800},
      {key::kF10, m::kLeftAlt, 0x7100},   {key::kF11, m::kLeftAlt, 0x8B00},
      {key::kF12, m::kRightAlt, 0x8C00},  {key::kHome, m::kLeftCtrl, 0x7700},
      {key::kRight, m::kLeftCtrl, 0x7400}, {key::kLeft, m::kRightCtrl, 0x7300},
      {key::kHome, m::kShift, 0x4700},    {key::kEnd, m::kLeftCtrl, 0x4F00},
      {key::kF5, 0, 0x3F00},              {key::kAltE, m::kLeftAlt, 0xD5},
      {key::kAltE, 0, 0xD5},
      // Alt wins over Ctrl, Ctrl over Shift.
      {key::kF2, m::kLeftAlt | m::kLeftCtrl | m::kShift, 0x6900},
      {key::kF2, m::kLeftCtrl | m::kShift, 0x5F00},
      {'a', m::kLeftCtrl, 'a'},           {key::kShiftTab, m::kShift, 0x0F00},
  };
  for (const RemapCase& c : cases) {
    HeadlessConsole con;
    con.control->PushKey(c.key, c.mods);
    KeyEvent e;
    con->ReadKey(e);
    EXPECT_EQ(static_cast<std::uint16_t>(e.key), c.expected) << Describe(InputEvent::Key(c.key, c.mods));
    EXPECT_EQ(e.button, 0);
  }
}

TEST(ReadKeyTest, AltKeypadEntry) {
  struct Case {
    const char* digits;
    int expected;
  } cases[] = {{"130", 130}, {"265", 9}, {"0", 0}, {"65", 65}, {"999", 231}, {"00000000000000065", 65},
               {"1234567890", 210}};
  for (const auto& c : cases) {
    HeadlessConsole con;
    con.control->PushAltKeypad(c.digits);
    con.control->PushKey('z');
    KeyEvent e;
    con->ReadKey(e);
    EXPECT_EQ(e.key, c.expected) << c.digits;
    con->ReadKey(e);
    EXPECT_EQ(e.key, 'z') << c.digits;  // the key after the entry is still there
  }
}

TEST(ReadKeyTest, AltKeypadIgnoresKeylessEventsAndEndsAtAnotherKey) {
  HeadlessConsole con;
  con.control->PushKey(key::kEnd, m::kLeftAlt);                 // 1
  con.control->Push(InputEvent::ModifierChange(m::kLeftAlt));   // Alt still held, no key
  con.control->PushKey(key::kDown, m::kLeftAlt);                // 2
  con.control->PushKey('x', m::kLeftAlt);                       // another key ends it
  KeyEvent e;
  con->ReadKey(e);
  EXPECT_EQ(e.key, 12);
}

TEST(ReadKeyTest, AltWithAnotherKeyIsThatKey) {
  HeadlessConsole con;
  con.control->PushKey(key::kAltF, m::kLeftAlt);
  KeyEvent e;
  con->ReadKey(e);
  EXPECT_EQ(e.key, key::kAltF);
}

TEST(ReadKeyTest, RightAltDoesNotStartKeypadEntry) {
  HeadlessConsole con;
  con.control->PushKey(key::kEnd, m::kRightAlt);
  KeyEvent e;
  con->ReadKey(e);
  EXPECT_EQ(e.key, key::kEnd);
}

TEST(ReadKeyTest, TypeaheadComesFirstAndLeavesMouseFieldsAlone) {
  HeadlessConsole con;
  con.control->PushKey(key::kF1);
  con->AddTypeahead("\x82" "1");
  KeyEvent e;
  e.button = 7;
  e.row = 8;
  e.column = 9;
  con->ReadKey(e);
  EXPECT_EQ(e.key, 0x82);
  EXPECT_EQ(e.button, 7);
  EXPECT_EQ(e.row, 8);
  EXPECT_EQ(e.column, 9);
  con->ReadKey(e);
  EXPECT_EQ(e.key, '1');
  con->ReadKey(e);
  EXPECT_EQ(e.key, key::kF1);
  EXPECT_EQ(e.button, 0);
  EXPECT_EQ(con.control->Pending(), 0u);
}

TEST(ReadKeyTest, NothingPendingGivesZeroes) {
  HeadlessConsole con;
  KeyEvent e{5, 1, 2, 3};
  con->ReadKey(e);
  EXPECT_EQ(e.key, 0);
  EXPECT_EQ(e.button, 0);
  EXPECT_EQ(e.row, 0);
  EXPECT_EQ(e.column, 0);
}

TEST(ReadKeyTest, MouseStateFollowsTheReads) {
  HeadlessConsole con;
  EXPECT_EQ(con->Mouse(), Console::MouseState::kUnknown);
  KeyEvent e;
  con->ReadKey(e);  // nothing arrives: input stays enabled
  EXPECT_EQ(con->Mouse(), Console::MouseState::kEnabled);
  EXPECT_TRUE(con.control->MouseEnabled());
  con.control->PushClick(10, 5);
  con->ReadKey(e);
  EXPECT_EQ(e.button, mouse::kLeft);
  EXPECT_EQ(e.column, 10);
  EXPECT_EQ(e.row, 5);
  EXPECT_EQ(e.key, 0);
  EXPECT_EQ(con->Mouse(), Console::MouseState::kDisabled);
  EXPECT_FALSE(con.control->MouseEnabled());
  con->ReadKey(e);  // the release: a mouse event without button or key
  EXPECT_EQ(e.button, 0);
  EXPECT_EQ(con->Mouse(), Console::MouseState::kEnabled);
}

TEST(ReadKeyTest, NoMouseMeansNoMouseEver) {
  HeadlessConsole con;
  con.control->SetMouseButtons(0);
  con.control->PushClick(3, 4);
  KeyEvent e;
  con->ReadKey(e);
  EXPECT_EQ(e.button, 0);
  EXPECT_EQ(con->Mouse(), Console::MouseState::kAbsent);
  EXPECT_EQ(con.control->MouseEnableCount(), 0);
}

// ---- GetKey -----------------------------------------------------------------------------

TEST(GetKeyTest, ClicksBecomeCodes) {
  struct Case {
    int column, row, button;
    unsigned expected;
  } cases[] = {
      {10, 5, mouse::kLeft, 2629},   // 0x0A45
      {1, 1, mouse::kLeft, 0x0141},
      {80, 25, mouse::kRight, 0x5099},
      {80, 25, mouse::kMiddle, 0x50D9},
      {300, 63, mouse::kMiddle, 0x2CFF},  // kept to 16 bits
  };
  for (const auto& c : cases) {
    HeadlessConsole con;
    con.control->PushClick(c.column, c.row, c.button);
    EXPECT_EQ(static_cast<std::uint16_t>(con->GetKey()), c.expected) << c.column << "," << c.row;
  }
}

TEST(GetKeyTest, SkipsMovementsAndWaitsForAKey) {
  HeadlessConsole con;
  KeyEvent e;
  con->ReadKey(e);  // turns mouse input on
  con.control->Push(InputEvent::Mouse(mouse::kNone, 4, 4));
  con.control->Push(InputEvent::ModifierChange(m::kShift));
  con.control->PushKey(key::kF1, m::kLeftCtrl);
  EXPECT_EQ(con->GetKey(), key::kCtrlF1);
  EXPECT_EQ(con.control->StarvedCount(), 0);
}

TEST(FlushKeysTest, DiscardsPendingInputButNotTheTypeahead) {
  HeadlessConsole con;
  con.control->PushText("abc");
  con->AddTypeahead("z");
  con->FlushKeys();
  EXPECT_EQ(con.control->Pending(), 0u);
  EXPECT_EQ(con->GetKey(), 'z');
}

// ---- Hot keys ---------------------------------------------------------------------------

TEST(HotKeyTest, AltXRunsTheCalculatorAndTypesItsResult) {
  HeadlessConsole con;
  int runs = 0;
  HotKeyHooks hooks;
  hooks.calculator = [&](Console& c) {
    ++runs;
    EXPECT_TRUE(c.CalculatorOpen());
    EXPECT_FALSE(c.CalendarOpen());
    return std::string("12,50");
  };
  con->SetHotKeyHooks(hooks);
  con.control->PushKey(key::kAltX, m::kLeftAlt);
  EXPECT_EQ(con->GetKey(), key::kAltX);  // the hot key itself is still returned
  EXPECT_EQ(runs, 1);
  EXPECT_FALSE(con->CalculatorOpen());
  std::string typed;
  for (int i = 0; i < 5; ++i) typed += static_cast<char>(con->GetKey());
  EXPECT_EQ(typed, "12,50");
}

// The calculator reads keys through the same reader: Alt+X inside it is returned as a key and
// opens nothing; Alt+C inside it opens the calendar, whose date is typed into the calculator.
TEST(HotKeyTest, GuardsStopAPopUpOpeningInsideItself) {
  HeadlessConsole con;
  int calculator_runs = 0;
  int calendar_runs = 0;
  std::vector<KeyCode> seen_by_calculator;
  HotKeyHooks hooks;
  hooks.calculator = [&](Console& c) {
    ++calculator_runs;
    seen_by_calculator.push_back(c.GetKey());  // Alt+X again
    seen_by_calculator.push_back(c.GetKey());  // Alt+C: the calendar
    seen_by_calculator.push_back(c.GetKey());  // the calendar's result, typed
    return std::string("7");
  };
  hooks.calendar = [&](Console& c) {
    ++calendar_runs;
    EXPECT_TRUE(c.CalculatorOpen());
    EXPECT_TRUE(c.CalendarOpen());
    return std::string("D");
  };
  con->SetHotKeyHooks(hooks);
  con.control->PushKey(key::kAltX, m::kLeftAlt);
  con.control->PushKey(key::kAltX, m::kLeftAlt);
  con.control->PushKey(key::kAltC, m::kLeftAlt);
  EXPECT_EQ(con->GetKey(), key::kAltX);
  EXPECT_EQ(calculator_runs, 1);
  EXPECT_EQ(calendar_runs, 1);
  EXPECT_EQ(seen_by_calculator, (std::vector<KeyCode>{key::kAltX, key::kAltC, 'D'}));
  EXPECT_EQ(con->GetKey(), '7');
}

// A pop-up opened during a field edit saves the field's key set and restores it on closing;
// the hot key, not in the field's set, can then be dropped by the editor and the result typed
// into the same field.
TEST(HotKeyTest, PopUpKeySetSaveLeavesTheFieldSetActive) {
  HeadlessConsole con;
  HotKeyHooks hooks;
  hooks.calendar = [&](Console& c) {
    c.KeySet("+ea", "d,1b,4800,5000");
    KeyCode k = c.GetKey();
    c.KeySet("-");
    return k == key::kEnter ? std::string("01/02/2026") : std::string();
  };
  con->SetHotKeyHooks(hooks);
  con->KeySet("ea", "d,1b");   // the panel
  con->KeySet("+ea", "5100");  // the field edit's own save
  con.control->PushKey(key::kAltC, m::kLeftAlt);
  con.control->PushKey(key::kEnter);
  EXPECT_EQ(con->GetKey(), key::kAltC);
  EXPECT_EQ(con->AcceptedKeys(), Keys({0x5100}));
  EXPECT_FALSE(con->KeyAccepted(key::kAltC));
  EXPECT_EQ(con->Typeahead(), "01/02/2026");
}

TEST(HotKeyTest, WithoutHooksTheKeyIsJustAKey) {
  HeadlessConsole con;
  con.control->PushKey(key::kAltC, m::kLeftAlt);
  EXPECT_EQ(con->GetKey(), key::kAltC);
  EXPECT_TRUE(con->Typeahead().empty());
}

// ---- The headless script running dry ----------------------------------------------------

TEST(HeadlessScriptTest, AReaderWaitingOnAnEmptyScriptGetsEscape) {
  HeadlessConsole con;
  EXPECT_EQ(con->GetKey(), key::kEscape);
  EXPECT_EQ(con.control->StarvedCount(), 1);
}

TEST(HeadlessScriptTest, AStarvedHandlerFeedsEventsLazily) {
  HeadlessConsole con;
  int calls = 0;
  con.control->SetOnStarved([&](HeadlessControl& c) {
    ++calls;
    c.PushKey(calls < 3 ? KeyCode('a' + calls) : key::kF4);
  });
  EXPECT_EQ(con->GetKey(), 'b');
  EXPECT_EQ(con->GetKey(), 'c');
  EXPECT_EQ(con->GetKey(), key::kF4);
  EXPECT_EQ(con.control->StarvedCount(), 0);
}

// ---- The idle hook -------------------------------------------------------------------------

TEST(IdleHookTest, RunsWhileReadersWaitAndNotInsideItself) {
  HeadlessConsole con;
  int calls = 0;
  con->SetIdleHook([&](Console& c) {
    ++calls;
    c.WaitForInput(0);  // a wait inside the hook does not run it again
    if (calls == 3) {
      c.Locate(1, 1);
      c.Print("renewed");
      con.control->PushKey('k');
    }
  });
  con.control->SetOnStarved([](HeadlessControl&) {});  // nothing arrives by itself
  EXPECT_EQ(con->GetKey(), 'k');
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(con.control->Row(1).substr(0, 7), "renewed");  // drawn and flushed before the key
  con->WaitForInput(0);
  EXPECT_EQ(calls, 4);
  con->SetIdleHook({});
  con->WaitForInput(0);
  EXPECT_EQ(calls, 4);
}

// ---- Work before the first key -------------------------------------------------------------


// The work runs once, after the screen has gone out and before any key typed ahead is read;
// a key it answers is read in place of the operator's.
TEST(BeforeFirstKeyTest, RunsOnceAfterTheScreenAndBeforeTypedKeys) {
  HeadlessConsole con;
  con->Locate(1, 1);
  con->Print("panel one");
  con.control->PushKey('a');  // typed before the program was ready
  std::string shownToWork;
  int runs = 0;
  con->SetBeforeFirstKey([&](Console&) -> KeyCode {
    ++runs;
    shownToWork = con.control->Row(1).substr(0, 9);
    return 0;
  });
  EXPECT_EQ(con->GetKey(), 'a');
  con.control->PushKey('b');
  EXPECT_EQ(con->GetKey(), 'b');
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(shownToWork, "panel one");

  HeadlessConsole failing;
  failing.control->PushKey('a');
  failing->SetBeforeFirstKey([](Console&) -> KeyCode { return key::kEscape; });
  EXPECT_EQ(failing->PollKeyDirect(), key::kEscape);
  EXPECT_EQ(failing->GetKey(), 'a');  // the operator's key is still there afterwards
}

}  // namespace
}  // namespace tui
