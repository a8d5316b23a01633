// Help files cut into lines, and the colour control bytes within a line.
#include <gtest/gtest.h>

#include "tui/windows/help_text.h"

namespace tui {

void PrintTo(const HelpSpan& span, std::ostream* out) {
  *out << "{" << span.colourEntry << ", \"" << testing::PrintToString(span.text) << "\"}";
}

namespace {

TEST(HelpText, LineCountIsTheSizeOverTheWidthRounded) {
  struct Case {
    std::size_t size;
    int width;
    int lines;
  } cases[] = {
      {0, 80, 0},   {39, 80, 0},  {40, 80, 1},   {80, 80, 1},  {119, 80, 1},
      {120, 80, 2}, {1600, 80, 20}, {1599, 80, 20}, {10, 0, 0}, {10, -3, 0},
      {3, 1, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.size << " bytes, width " << c.width);
    EXPECT_EQ(HelpText(std::string(c.size, 'x'), c.width).LineCount(), c.lines);
  }
}

TEST(HelpText, LinesAreFixedLengthRecords) {
  std::string bytes = std::string(80, 'a') + std::string(80, 'b') + std::string(45, 'c');
  HelpText text(bytes, 80);
  ASSERT_EQ(text.LineCount(), 3);
  EXPECT_EQ(text.Line(1), std::string(80, 'a'));
  EXPECT_EQ(text.Line(2), std::string(80, 'b'));
  EXPECT_EQ(text.Line(3), std::string(45, 'c')) << "the rounded-up last line is what is there";
  EXPECT_EQ(text.Line(0), "");
  EXPECT_EQ(text.Line(4), "");
  // Rounded down: a remnant of less than half a line is not a line.
  HelpText shorter(std::string(80, 'a') + "zz", 80);
  EXPECT_EQ(shorter.LineCount(), 1);
  EXPECT_EQ(shorter.Line(1), std::string(80, 'a'));
}

TEST(HelpLineSpans, ControlBytesFlipTheColours) {
  struct Case {
    const char* what;
    std::string line;
    std::vector<HelpSpan> spans;
  } cases[] = {
      {"plain", "Ajuda", {{1, "Ajuda"}}},
      {"high on and off", "a\x1E" "b\x1E" "c", {{1, "a"}, {0, "b"}, {1, "c"}}},
      {"input on and off", "a\x1F" "b\x1F" "c", {{1, "a"}, {4, "b"}, {1, "c"}}},
      {"reverse on and off", "a\x10" "b\x10" "c", {{1, "a"}, {2, "b"}, {1, "c"}}},
      {"high does not change the input colour", "\x1F" "a\x1E" "b\x1E" "c\x1F" "d",
       {{4, "abc"}, {1, "d"}}},
      {"high toggled inside input still counts", "\x1F\x1E" "a\x1F" "b\x1E" "c\x1E" "d",
       {{4, "a"}, {1, "bc"}, {0, "d"}}},
      {"reverse inside high", "\x1E" "a\x10" "b\x10" "c", {{0, "a"}, {2, "b"}, {1, "c"}}},
      {"only control bytes", "\x1E\x1F\x10", {}},
      {"other control characters are shown", "a\x01\x0D", {{1, "a\x01\x0D"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(HelpLineSpans(c.line), c.spans);
  }
}

TEST(HelpLineSpans, SeventySixVisibleCharactersAtMost) {
  std::string line = "\x1E" + std::string(40, 'a') + "\x1E" + std::string(40, 'b') + "\x10" + "cc";
  std::vector<HelpSpan> spans = HelpLineSpans(line);
  ASSERT_EQ(spans.size(), 2u);
  EXPECT_EQ(spans[0], (HelpSpan{0, std::string(40, 'a')}));
  EXPECT_EQ(spans[1], (HelpSpan{1, std::string(36, 'b')}));
  std::size_t shown = 0;
  for (const HelpSpan& s : HelpLineSpans(std::string(80, 'x'))) shown += s.text.size();
  EXPECT_EQ(shown, 76u);
}

}  // namespace
}  // namespace tui
