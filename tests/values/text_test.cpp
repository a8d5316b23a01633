#include <clocale>
#include <cwctype>
#include <locale.h>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "tests/values/fakes.h"
#include "values/cp850.h"
#include "values/text.h"

namespace {

using values::FoldChar;
using values::WrapText;
using values_test::Bytes;

TEST(Folding, ExamplesOfBothTables) {
  struct Case {
    int code;
    int capital;
    int plain;
  } cases[] = {
      {'a', 'A', 'A'},  {'z', 'Z', 'Z'},  {'A', 'A', 'A'},  {'@', '@', ' '},  {'[', '[', ' '},
      {'`', '`', ' '},  {'{', '{', ' '},  {0x7F, 0x7F, ' '},
      {0x87, 0x80, 'C'},  // c cedilla
      {0x80, 0x80, 'C'},  {0x85, 0xB7, 'A'},  // a grave
      {0xB7, 0xB7, 'A'},  {0x8A, 0xD4, 'E'},  // e grave
      {0xA4, 0xA5, 'N'},  // n tilde
      {0x98, 0x98, 'Y'},  // y diaeresis has no capital in the code page
      {0xE1, 0xE1, 'S'},  // sharp s
      {0x9B, 0x9B, 'O'},  // o slash stays in the capitals table
      {0xA6, 0xA6, 'A'},  {0xA7, 0xA7, 'O'},  // ordinal indicators
      {0xC6, 0xC7, 'A'},  {0xD0, 0xD1, 'D'},  {0xEC, 0xED, 'Y'},  {0xED, 0xED, 'Y'},
      {0xB0, 0xB0, ' '},  {0xCD, 0xCD, ' '},  {0x9C, 0x9C, ' '},  // box drawing, pound sign
  };
  for (const auto& c : cases) {
    auto code = static_cast<unsigned char>(c.code);
    EXPECT_EQ(FoldChar(code, false), c.capital) << std::hex << c.code;
    EXPECT_EQ(FoldChar(code, true), c.plain) << std::hex << c.code;
  }
}

TEST(Folding, CodesOutsideTheTablesNeverChange) {
  for (int c = 0; c < 256; ++c) {
    if (c >= 0x40 && c <= 0xED) continue;
    auto code = static_cast<unsigned char>(c);
    EXPECT_EQ(FoldChar(code, false), code) << c;
    EXPECT_EQ(FoldChar(code, true), code) << c;
  }
  EXPECT_EQ(values::FoldText(" 0123456789.,;-+*/", true), " 0123456789.,;-+*/");
}

TEST(Folding, TablesAgreeWithUnicode) {
  // The capitals table is the code page's own upper case, except for the few small letters
  // whose capital it keeps as is.
  locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  if (utf8 == static_cast<locale_t>(0)) GTEST_SKIP() << "no C.UTF-8 locale";
  const std::string keptAsIs = Bytes({0x98, 0x9B, 0xE7});  // y diaeresis, o slash, thorn
  for (int c = 0x40; c <= 0xED; ++c) {
    auto code = static_cast<unsigned char>(c);
    char32_t u = values::Cp850ToUnicode(code);
    int upper = values::UnicodeToCp850(static_cast<char32_t>(towupper_l(static_cast<wint_t>(u), utf8)));
    int expected = upper < 0 || keptAsIs.find(static_cast<char>(c)) != std::string::npos ? c : upper;
    if (c == 0xD5) expected = c;  // dotless i: its capital is plain I, which is not folded to
    EXPECT_EQ(FoldChar(code, false), expected) << std::hex << c;
    // Letters stay letters and the rest blanks in the plain table, whatever the case.
    EXPECT_EQ(FoldChar(code, true), FoldChar(FoldChar(code, false), true)) << std::hex << c;
    // The florin and micro signs count as symbols here.
    bool letter = iswalpha_l(static_cast<wint_t>(u), utf8) != 0 && c != 0x9F && c != 0xE6;
    unsigned char plain = FoldChar(code, true);
    if (letter) {
      EXPECT_TRUE(plain >= 'A' && plain <= 'Z') << std::hex << c;
    } else {
      EXPECT_EQ(plain, ' ') << std::hex << c;
      EXPECT_EQ(FoldChar(code, false), code) << std::hex << c;
    }
  }
  freelocale(utf8);
}

TEST(Folding, SwitchOfTheValuesObject) {
  values_test::Fixture f(2026);
  const std::string text = Bytes({'g', 0x8A, 'r', '@', 0x87});
  EXPECT_FALSE(f.values.FoldStripAccents());
  EXPECT_EQ(f.values.FoldText(text), Bytes({'G', 0xD4, 'R', '@', 0x80}));
  f.values.SetFoldStripAccents(true);
  EXPECT_EQ(f.values.FoldText(text), "GER C");
  f.values.SetFoldStripAccents(false);
  EXPECT_EQ(f.values.FoldText(text), Bytes({'G', 0xD4, 'R', '@', 0x80}));
}

struct WrapCase {
  const char* text;
  int indent;
  int width;
  const char* alignment;
  const char* expected;
};

TEST(WrapText, BreaksAlignsAndPads) {
  const WrapCase cases[] = {
      {"ABC", 0, 10, "C", "   ABC    "},
      {"AB", 0, 10, "C", "    AB    "},
      {"ABCD", 0, 9, "c", "  ABCD   "},  // the odd blank goes to the right
      {"the quick brown fox", 0, 10, "L", "the quick brown fox "},
      {"the quick brown fox", 0, 10, "E", "the quick brown fox "},
      {"the quick brown fox", 0, 10, "i", "the quick brown fox "},
      {"the quick brown fox", 0, 10, "N", "the quick-brown fox-"},
      {"the quick brown fox", 0, 10, "R", " the quick brown fox"},
      {"the quick brown fox", 0, 10, "d", " the quick brown fox"},
      {"the quick brown fox", 0, 10, "X", "the quickbrown fox"},
      {"the quick brown fox", 0, 10, "", "the quickbrown fox"},
      {"the quick brown fox", 0, 10, "LL", "the quickbrown fox"},  // compared as a whole
      {"ABCDEFGHIJKL", 0, 5, "L", "ABCDEFGHIJKL   "},      // a long word is cut
      {"ab ABCDEFGHIJKL", 0, 5, "L", "ab   ABCDEFGHIJKL   "},
      {"aaa bbb ccc", 2, 8, "L", "  aaa   bbb ccc "},      // first-line indent
      {"aaa bbb ccc", -2, 6, "L", "aaa     bbb   ccc "},    // hanging indent
      {"abc   ", 0, 10, "L", "abc       "},              // blanks at the end dropped
      {"ab   cd", 0, 3, "L", "ab cd "},                  // blanks between lines skipped
      {"", 0, 10, "L", ""},
      {"abc", 0, 0, "L", "abc"},                         // room for one character at least
      {"abc", 5, 3, "L", "     abc "},
      {"abc def", -7, 3, "R", "abc       d       e       f"},
      {"x", 0, -5, "L", "x"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ("[" + WrapText(c.text, static_cast<std::int16_t>(c.indent),
                             static_cast<std::int16_t>(c.width), c.alignment) + "]",
              "[" + std::string(c.expected) + "]")
        << '"' << c.text << "\" indent " << c.indent << " width " << c.width << " align "
        << c.alignment;
  }
}

TEST(WrapText, JustificationSpreadsBlanksFromTheLeftAndLeavesTheLastLine) {
  const WrapCase cases[] = {
      {"aa bb cc dd ee", 0, 10, "A", "aa  bb  ccdd ee"},
      {"a b c ddddddddd", 0, 8, "B", "a   b  cddddddddd"},      // the odd blank to the left gap
      {"a b c dddddddd", 0, 9, "A", "a   b   cdddddddd"},
      {"a bcdefghij", 0, 5, "A", "a    bcdefghij"},
      {"abcdefghij", 0, 5, "A", "abcdefghij"},                // no blank: nothing to spread
      {"one two", 0, 20, "A", "one two"},                     // the only line is the last
      {"xx yy zz", 3, 10, "A", "   xx   yyzz"},                 // blanks only after the indent
  };
  for (const auto& c : cases) {
    EXPECT_EQ("[" + WrapText(c.text, static_cast<std::int16_t>(c.indent),
                             static_cast<std::int16_t>(c.width), c.alignment) + "]",
              "[" + std::string(c.expected) + "]")
        << '"' << c.text << "\" width " << c.width;
  }
}

TEST(WrapText, ControlCharactersTakeNoRoom) {
  // Markup bytes below 20 hexadecimal make their line longer by their number.
  EXPECT_EQ(WrapText("ab\x01" "cd ef", 0, 5, "L"), "ab\x01" "cd " "ef   ");
  // Markup right after a word stays on its line.
  EXPECT_EQ(WrapText("abcd\x01\x02 ef", 0, 4, "L"), "abcd\x01\x02" "ef  ");
  // Given back with its word: the capacity shrinks again.
  EXPECT_EQ(WrapText("ab c\x01" "de", 0, 5, "L"), "ab   c\x01" "de  ");
  // Blanks before markup are not shown.
  EXPECT_EQ(WrapText("ab  \x01" "cd", 0, 4, "R"), "  ab  \x01" "cd");
  EXPECT_EQ(WrapText("\x01\x02\x03", 0, 2, "L"), "\x01\x02\x03  ");
}

// The justification written the slow way, one blank at a time, to check the fast one.
std::string JustifyOneAtATime(std::string line, std::size_t indent, std::size_t width) {
  std::size_t from = indent;
  while (line.size() < width) {
    std::size_t b = line.find(' ', from);
    if (b == std::string::npos) b = line.find(' ', indent);
    line.insert(b, 1, ' ');
    from = b + 2;
    while (from < line.size() && line[from] == ' ') ++from;
  }
  return line;
}

TEST(WrapText, JustifiedLinesMatchInsertingOneBlankAtATime) {
  // Right alignment shows each line's text with the padding in front; the text of a line
  // never starts with a blank once the first line does not. Justifying each of those lines
  // the slow way must give what WrapText justifies.
  std::mt19937 random(1234);
  const char alphabet[] = "ab  c";
  for (int round = 0; round < 3000; ++round) {
    std::string text = "x";
    int length = static_cast<int>(random() % 60);
    for (int i = 0; i < length; ++i) text += alphabet[random() % 5];
    const auto width = static_cast<std::size_t>(1 + random() % 20);
    const std::string right = WrapText(text, 0, static_cast<std::int16_t>(width), "R");
    ASSERT_EQ(right.size() % width, 0u) << text;
    const std::size_t lines = right.size() / width;
    std::string expected;
    for (std::size_t i = 0; i < lines; ++i) {
      std::string line = right.substr(i * width, width);
      line.erase(0, line.find_first_not_of(' '));
      if (i + 1 == lines) {
        expected += line;
      } else if (line.find(' ') != std::string::npos) {
        expected += JustifyOneAtATime(line, 0, width);
      } else {
        expected += line + std::string(width - line.size(), ' ');
      }
    }
    ASSERT_EQ(WrapText(text, 0, static_cast<std::int16_t>(width), "A"), expected)
        << '"' << text << "\" width " << width;
  }
}

TEST(PackCode, GroupWidths) {
  struct Case {
    const char* text;
    const char* digits;
  } cases[] = {
      {"12.5", "00120005"},
      {"123456", "123456"},           // six characters without a point: one group of 6
      {"1.2.3", "000100020003"},
      {"7.", "0007"},                 // an empty last group is skipped
      {"5.  ", "0005"},
      {"123456.1234", "1234561234"},  // eleven characters, one point: first group of 6
      {"1234.123456", "0012343456"},
      {"12345678901", "678901"},      // cut to the last six digits
      {"1.23.4567.8", "0001002345670008"},  // eleven characters with three points: all 4
      {"12345", "2345"},
      {"12", "0012"},
      {"1 2.5", "00120005"},          // blanks inside a group are skipped
      {"..5", "000000000005"},
      {".", "0000"},
      {"", ""},
      {"-5.x", "00050000"},           // no sign; a group without digits is 0
  };
  for (const auto& c : cases) {
    EXPECT_EQ(values::PackCodeDigits(c.text), c.digits) << '"' << c.text << '"';
    EXPECT_EQ(values::PackCode(c.text), values::BaseHundredPack(c.digits)) << c.text;
  }
  EXPECT_EQ(values::PackCode("12.5"), Bytes({128, 140, 128, 133}));
  EXPECT_EQ(values::PackCode("123456").size(), 3u);
}

TEST(SaveStack, LastInFirstOut) {
  values_test::Fixture f(2026);
  f.values.PushText("first");
  f.values.PushText("");
  f.values.PushText(std::string("bin\0ary\xff", 8));
  EXPECT_EQ(f.values.SavedTextCount(), 3u);
  EXPECT_EQ(f.values.PopText(), std::string("bin\0ary\xff", 8));
  EXPECT_EQ(f.values.PopText(), "");
  f.values.PushText("nested");
  EXPECT_EQ(f.values.PopText(), "nested");
  EXPECT_EQ(f.values.PopText(), "first");
  EXPECT_EQ(f.values.SavedTextCount(), 0u);
  EXPECT_EQ(f.values.PopText(), "");  // an unmatched pop is harmless
  // A text longer than any 16-bit length comes back whole.
  std::string big(70000, 'x');
  big[0] = 'a';
  f.values.PushText("under");
  f.values.PushText(big);
  EXPECT_EQ(f.values.PopText(), big);
  EXPECT_EQ(f.values.PopText(), "under");
}

}  // namespace
