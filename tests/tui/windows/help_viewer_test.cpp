// ShowHelp: the built-in viewer on a headless console, and the launcher on the windowed
// platform.
#include <unistd.h>

#include "platform/paths.h"
#include "tests/tui/windows/windows_fixture.h"

namespace tui {
namespace {

using testing_windows::AttributeOf;
using testing_windows::Cells;
using testing_windows::ScreenDiff;

// A help file of 80-byte records.
std::string HelpFile(const std::vector<std::string>& lines) {
  std::string bytes;
  for (const std::string& line : lines) {
    std::string record = line.substr(0, 80);
    record.resize(80, ' ');
    bytes += record;
  }
  return bytes;
}

std::vector<std::string> NumberedLines(int count) {
  std::vector<std::string> lines;
  char text[16];
  for (int i = 1; i <= count; ++i) {
    std::snprintf(text, sizeof text, "LINE %02d", i);
    lines.emplace_back(text);
  }
  return lines;
}

class HelpViewerTest : public testing_windows::WindowsFixture {
 protected:
  void SetUp() override {
    oldDirectory_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
    std::filesystem::create_directory(dir_ / "AJUDA");
    console_.Locate(2, 2);
  }
  void TearDown() override { std::filesystem::current_path(oldDirectory_); }

  void WriteHelp(const std::string& topic, const std::string& bytes) {
    testing_windows::WriteBytes(dir_ / ("AJUDA/" + topic + ".HLP"), bytes);
  }

  // The line numbers the viewer shows on its text rows (5 to ScreenRows() - 4) of the flushed
  // screen; 0 for a blank row.
  std::vector<int> Page() const {
    std::vector<int> page;
    const int rows = control_.Size().rows;
    for (int r = 5; r <= rows - 4; ++r) {
      std::string row = control_.Row(r);
      int number = 0;
      if (row.compare(2, 5, "LINE ") == 0) number = std::stoi(row.substr(7, 2));
      page.push_back(number);
    }
    return page;
  }

  static std::vector<int> Range(int first, int last) {
    std::vector<int> page;
    for (int i = first; i <= last; ++i) page.push_back(i);
    return page;
  }

  // Runs the viewer on the keys; after the first page and after every key the callback
  // looks at the screen. Escape is sent once the keys are used up.
  void Run(const std::string& topic, std::vector<KeyCode> keys, const std::function<void(std::size_t)>& look) {
    std::size_t next = 0;
    control_.SetOnStarved([&](HeadlessControl& control) {
      if (look) look(next);
      control.PushKey(next < keys.size() ? keys[next] : key::kEscape);
      ++next;
    });
    windows_.ShowHelp(topic);
    control_.SetOnStarved(nullptr);
  }

  std::filesystem::path oldDirectory_;
};

TEST_F(HelpViewerTest, PagingATwentyLineFileOnATwentyFiveRowScreen) {
  WriteHelp("MODCARTA", HelpFile(NumberedLines(20)));
  struct Step {
    KeyCode key;
    std::vector<int> page;  // shown after the key
  } steps[] = {
      {key::kPgDn, Range(4, 20)}, {key::kDown, Range(4, 20)}, {key::kPgDn, Range(4, 20)},
      {key::kEnd, Range(4, 20)},  {key::kUp, Range(3, 19)},   {key::kUp, Range(2, 18)},
      {key::kPgUp, Range(1, 17)}, {key::kUp, Range(1, 17)},   {key::kPgUp, Range(1, 17)},
      {key::kDown, Range(2, 18)}, {key::kEnd, Range(4, 20)},  {key::kHome, Range(1, 17)},
      {key::kHome, Range(1, 17)}, {'x', Range(1, 17)},        {key::kF2, Range(1, 17)},
  };
  std::vector<KeyCode> keys;
  for (const Step& s : steps) keys.push_back(s.key);
  FillScreen();
  const std::vector<Cell> before = Cells(console_);
  console_.ScreenColour("+u");
  const std::string stack = console_.ColourStack();
  console_.ShowCursor(60);
  int looks = 0;
  Run("MODCARTA", keys, [&](std::size_t i) {
    ++looks;
    SCOPED_TRACE(i);
    if (i == 0) {
      EXPECT_EQ(Page(), Range(1, 17)) << "17 lines on a 25-row screen";
      EXPECT_EQ(control_.Shown().At(4, 1).character, 0xC9);
      EXPECT_EQ(control_.Shown().At(22, 80).character, 0xBC);
      EXPECT_EQ(control_.Shown().At(21, 1).character, 0xBA);
      EXPECT_FALSE(control_.ShownCursor().visible);
    } else if (i <= std::size(steps)) {
      EXPECT_EQ(Page(), steps[i - 1].page) << "after key " << i;
    }
  });
  EXPECT_EQ(looks, static_cast<int>(std::size(steps)) + 1);
  EXPECT_EQ(ScreenDiff(Cells(console_), before, 80), "");
  EXPECT_EQ(console_.ColourStack(), stack);
  EXPECT_EQ(console_.ColourIndex(), 4);
  EXPECT_EQ(console_.WindowDepth(), 0);
  EXPECT_EQ(windows_.OpenCount(), 0);
  EXPECT_EQ(console_.Cursor(), (CursorState{7, 33, true, 60})) << "the cursor as it was";
}

TEST_F(HelpViewerTest, ScrollingALongFileKeepsTheFrame) {
  WriteHelp("MODCARTA", HelpFile(NumberedLines(40)));
  std::vector<KeyCode> keys = {key::kPgDn, key::kPgDn, key::kPgDn, key::kPgUp, key::kPgUp, key::kPgUp,
                               key::kDown, key::kDown, key::kEnd,  key::kUp};
  std::vector<std::vector<int>> pages = {Range(1, 17),  Range(18, 34), Range(24, 40), Range(24, 40),
                                         Range(7, 23),  Range(1, 17),  Range(1, 17),  Range(2, 18),
                                         Range(3, 19),  Range(24, 40), Range(23, 39)};
  Run("MODCARTA", keys, [&](std::size_t i) {
    SCOPED_TRACE(i);
    if (i >= pages.size()) return;
    EXPECT_EQ(Page(), pages[i]);
    for (int r = 5; r <= 21; ++r) {
      EXPECT_EQ(control_.Shown().At(r, 1).character, 0xBA) << r;
      EXPECT_EQ(control_.Shown().At(r, 80).character, 0xBA) << r;
    }
    EXPECT_EQ(control_.Shown().At(22, 2).character, 0xCD);
  });
}

TEST_F(HelpViewerTest, ColourBytesAndTheSeventySixCharacterLimit) {
  WriteHelp("COLORS", HelpFile({"\x1E" "HIGH\x1E norm \x1F" "input\x1F \x10" "rev\x10", std::string(80, 'y'),
                                "\x1E" + std::string(79, 'z')}));
  Run("COLORS", {}, [&](std::size_t i) {
    if (i != 0) return;
    const ScreenBuffer& shown = control_.Shown();
    std::string row5 = control_.Row(5);
    EXPECT_EQ(row5.substr(2, 20), "HIGH norm input rev ");
    struct Expect {
      int column;
      int entry;
    } cells[] = {{3, 0}, {6, 0}, {7, 1}, {12, 1}, {13, 4}, {17, 4}, {18, 1}, {19, 2}, {21, 2}, {22, 1}, {2, 1}};
    for (const Expect& e : cells) EXPECT_EQ(shown.At(5, e.column).attribute, AttributeOf(e.entry)) << e.column;
    EXPECT_EQ(shown.At(4, 1).attribute, AttributeOf(0)) << "the frame is high intensity";
    // 76 characters from column 3: columns 3 to 78; 79 stays blank; 80 is the frame.
    std::string row6 = control_.Row(6);
    EXPECT_EQ(row6.substr(2, 76), std::string(76, 'y'));
    EXPECT_EQ(row6[78], ' ');
    EXPECT_EQ(static_cast<unsigned char>(row6[79]), 0xBA);
    // Control bytes do not count: a line starting with one still shows 76 characters.
    EXPECT_EQ(control_.Row(7).substr(2, 77), std::string(76, 'z') + " ");
  });
}

TEST_F(HelpViewerTest, F1OpensTheGeneralHelpExceptFromItself) {
  WriteHelp("MODCARTA", HelpFile({"LINE 01 of the module"}));
  WriteHelp("HUBTOPIC", HelpFile({"LINE 99 general help"}));
  std::vector<std::string> seen;
  std::vector<int> open;
  // F1 opens HUBTOPIC over the module's help; F1 there does nothing; Escape returns to the
  // module's help; a second Escape leaves.
  std::vector<KeyCode> keys = {key::kF1, key::kF1, key::kEscape, key::kEscape};
  Run("MODCARTA", keys, [&](std::size_t) {
    seen.push_back(control_.Row(5).substr(2, 20));
    open.push_back(windows_.OpenCount());
  });
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[0], "LINE 01 of the modul");
  EXPECT_EQ(seen[1], "LINE 99 general help");
  EXPECT_EQ(seen[2], "LINE 99 general help");
  EXPECT_EQ(seen[3], "LINE 01 of the modul");
  EXPECT_EQ(open, (std::vector<int>{1, 2, 2, 1}));
  EXPECT_EQ(windows_.OpenCount(), 0);

  // Asked for directly (in any case), the general help does not nest itself either.
  open.clear();
  Run("hubtopic", {key::kF1}, [&](std::size_t) { open.push_back(windows_.OpenCount()); });
  EXPECT_EQ(open, (std::vector<int>{1, 1}));
}

TEST_F(HelpViewerTest, MissingFilesAndDirectories) {
  FillScreen();
  const std::vector<Cell> before = Cells(console_);

  // A missing help file is created empty and the page is blank.
  Run("NOU", {key::kPgDn, key::kEnd}, [&](std::size_t) {
    EXPECT_EQ(Page(), std::vector<int>(17, 0));
    EXPECT_EQ(control_.Row(5).substr(1, 78), std::string(78, ' '));
  });
  EXPECT_TRUE(std::filesystem::exists(dir_ / "AJUDA/NOU.HLP"));
  EXPECT_EQ(std::filesystem::file_size(dir_ / "AJUDA/NOU.HLP"), 0u);
  EXPECT_EQ(ScreenDiff(Cells(console_), before, 80), "");

  // Without the AJUDA directory the empty viewer is shown and nothing is created.
  std::filesystem::remove_all(dir_ / "AJUDA");
  int looks = 0;
  Run("MODCARTA", {key::kDown}, [&](std::size_t) {
    ++looks;
    EXPECT_EQ(control_.Shown().At(4, 1).character, 0xC9);
    EXPECT_EQ(Page(), std::vector<int>(17, 0));
  });
  EXPECT_EQ(looks, 2);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "AJUDA"));
  EXPECT_EQ(ScreenDiff(Cells(console_), before, 80), "");
}

TEST_F(HelpViewerTest, TopicsAreFoundInAnyCaseAndWithoutTrailingBlanks) {
  WriteHelp("MODCARTA", HelpFile({"LINE 07"}));
  for (const char* topic : {"MODCARTA", "modcarta", "MODCARTA   "}) {
    SCOPED_TRACE(topic);
    std::vector<int> page;
    Run(topic, {}, [&](std::size_t) { page = Page(); });
    ASSERT_FALSE(page.empty());
    EXPECT_EQ(page[0], 7);
  }
}

TEST_F(HelpViewerTest, TopicsThatAreNotPlainNamesTouchNoFile) {
  std::filesystem::create_directory(dir_ / "AJUDA/SUB");
  testing_windows::WriteBytes(dir_ / "SECRET.HLP", HelpFile({"LINE 66"}));
  for (const char* topic : {"..\\SECRET", "../SECRET", "SUB\\X", "A&B", "A B", "", "  ", "X.HLP"}) {
    SCOPED_TRACE(topic);
    std::vector<int> page;
    Run(topic, {}, [&](std::size_t) { page = Page(); });
    EXPECT_EQ(page, std::vector<int>(17, 0));
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir_ / "AJUDA/SUB"));
  std::size_t entries = 0;
  for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir_ / "AJUDA")) ++entries;
  EXPECT_EQ(entries, 1u) << "only SUB";
}

TEST_F(HelpViewerTest, SmallScreens) {
  // Nine rows leave one text row; eight leave none, and nothing opens.
  for (int rows : {9, 8, 3}) {
    SCOPED_TRACE(rows);
    auto small = MakeHeadlessBackend({rows, 80});
    HeadlessControl& control = *small.control;
    Console console(std::move(small.backend));
    Windows windows(console, session_, system_, environment_);
    WriteHelp("MODCARTA", HelpFile(NumberedLines(3)));
    int looks = 0;
    control.SetOnStarved([&](HeadlessControl& c) {
      ++looks;
      if (looks == 1) {
        EXPECT_EQ(control.Row(5).substr(2, 7), "LINE 01");
      }
      c.PushKey(looks == 1 ? key::kDown : key::kEscape);
    });
    windows.ShowHelp("MODCARTA");
    EXPECT_EQ(looks, rows == 9 ? 2 : 0);
    if (rows == 9) {
      EXPECT_EQ(control.Row(5).substr(2, 7), "LINE 02");
    }
    EXPECT_EQ(windows.OpenCount(), 0);
    EXPECT_EQ(console.WindowDepth(), 0);
  }
}

TEST(LauncherArguments, ComspecOnlyWhenItIsTheWindowsCommandInterpreter) {
  using Args = std::vector<std::string>;
  struct Case {
    std::optional<std::string> comspec;
    Args argv;
  } cases[] = {
      {std::nullopt, {"DOCOPEN", "AJUDA\\MODCARTA.HTM"}},
      {"", {"DOCOPEN", "AJUDA\\MODCARTA.HTM"}},
      {"C:\\WINDOWS\\system32\\cmd.exe", {"C:\\WINDOWS\\system32\\cmd.exe", "/C", "DOCOPEN", "AJUDA\\MODCARTA.HTM"}},
      {"CMD.EXE", {"CMD.EXE", "/C", "DOCOPEN", "AJUDA\\MODCARTA.HTM"}},
      {"C:\\COMMAND.COM", {"C:\\COMMAND.COM", "/C", "DOCOPEN", "AJUDA\\MODCARTA.HTM"}},
      {"/bin/sh", {"DOCOPEN", "AJUDA\\MODCARTA.HTM"}},
      {"/usr/bin/bash -c", {"DOCOPEN", "AJUDA\\MODCARTA.HTM"}},
      {"cmd.exe.evil", {"DOCOPEN", "AJUDA\\MODCARTA.HTM"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.comspec.value_or("(unset)"));
    EXPECT_EQ(LauncherArguments("MODCARTA", c.comspec), c.argv);
  }
}

TEST(IsPlainHelpTopic, OnlyNamesThatCannotLeaveTheDirectoryOrRunACommand) {
  for (const char* good : {"MODCARTA", "hubtopic", "A_B-C", "X$1", "NAME~1", "a#b@c"}) {
    EXPECT_TRUE(IsPlainHelpTopic(good)) << good;
  }
  for (const char* bad : {"", "..", "A.B", "A\\B", "A/B", "A&B", "A|B", "A>B", "A<B", "A^B", "%PATH%", "A B",
                          "A\"B", "A;B", "A(B)", "!X", "A:B", "A*", "A?"}) {
    EXPECT_FALSE(IsPlainHelpTopic(bad)) << bad;
  }
  EXPECT_FALSE(IsPlainHelpTopic("\x82" "s"));
  EXPECT_TRUE(IsPlainHelpTopic(std::string(64, 'A')));
  EXPECT_FALSE(IsPlainHelpTopic(std::string(65, 'A')));
}

class HelpLauncherTest : public HelpViewerTest {
 protected:
  void SetUp() override {
    HelpViewerTest::SetUp();
    session_.PlatformMode = "WIN";
  }
};

TEST_F(HelpLauncherTest, StartsTheLauncherWithAnArgumentVectorAndWaits) {
  bool suspendedWhileRunning = false;
  system_.onRun = [&] { suspendedWhileRunning = control_.Suspended(); };
  int looks = 0;
  control_.SetOnStarved([&](HeadlessControl& c) {
    ++looks;
    c.PushKey(key::kEscape);
  });
  windows_.ShowHelp("MODCARTA");
  ASSERT_EQ(system_.runs.size(), 1u);
  EXPECT_EQ(system_.runs[0], (std::vector<std::string>{"DOCOPEN", "AJUDA\\MODCARTA.HTM"}));
  EXPECT_TRUE(suspendedWhileRunning);
  EXPECT_FALSE(control_.Suspended());
  EXPECT_EQ(looks, 0) << "no viewer, no key read";
  EXPECT_FALSE(std::filesystem::exists(dir_ / "AJUDA/MODCARTA.HLP"));

  environment_.Set("COMSPEC", "C:\\WINDOWS\\system32\\cmd.exe");
  system_.runResult = 3;  // the launcher's own result is not examined
  windows_.ShowHelp("HUBTOPIC");
  ASSERT_EQ(system_.runs.size(), 2u);
  EXPECT_EQ(system_.runs[1],
            (std::vector<std::string>{"C:\\WINDOWS\\system32\\cmd.exe", "/C", "DOCOPEN", "AJUDA\\HUBTOPIC.HTM"}));
  EXPECT_EQ(looks, 0);
  control_.SetOnStarved(nullptr);
}

TEST_F(HelpLauncherTest, NoCommandForATopicThatIsNotAPlainNameAndTheViewerWhenNoLauncher) {
  environment_.Set("COMSPEC", "cmd.exe");
  std::vector<int> page;
  Run("X & del *", {}, [&](std::size_t) { page = Page(); });
  EXPECT_TRUE(system_.runs.empty());
  EXPECT_EQ(page, std::vector<int>(17, 0));

  // A launcher that cannot be started: the built-in viewer instead of nothing.
  WriteHelp("MODCARTA", HelpFile({"LINE 05"}));
  system_.runResult = -1;
  page.clear();
  Run("MODCARTA", {}, [&](std::size_t) { page = Page(); });
  EXPECT_EQ(system_.runs.size(), 1u);
  ASSERT_FALSE(page.empty());
  EXPECT_EQ(page[0], 5);
}

}  // namespace
}  // namespace tui
