#include "tools/recman/csv.h"

#include <gtest/gtest.h>

namespace recman_tool {
namespace {

TEST(CsvTest, QuotesWhatNeedsItAndReadsItBack) {
  std::vector<std::vector<std::string>> rows = {
      {"plain", "with,comma", "with \"quote\"", "two\r\nlines", " lead", "trail ", ""},
      {"", "", "", "", "", "", ""},
      {"\xC3\xA0", "x", "y", "z", "1", "2", "3"},
  };
  std::string text;
  for (const auto& r : rows) AppendCsvRow(text, r);
  EXPECT_EQ(text.substr(0, text.find("\r\n,")),
            "plain,\"with,comma\",\"with \"\"quote\"\"\",\"two\r\nlines\",\" lead\",\"trail \",");
  std::vector<CsvRow> read;
  CsvError error;
  ASSERT_TRUE(ParseCsv(text, read, error)) << error.message;
  ASSERT_EQ(read.size(), rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(read[i].cells, rows[i]);
  EXPECT_EQ(read[0].line, 1u);
  EXPECT_EQ(read[1].line, 3u);  // the quoted line break counts
  EXPECT_EQ(read[2].line, 4u);
}

TEST(CsvTest, OneEmptyCellIsQuotedSoTheRowSurvives) {
  std::string text;
  AppendCsvRow(text, {"a"});
  AppendCsvRow(text, {""});
  EXPECT_EQ(text, "a\r\n\"\"\r\n");
  std::vector<CsvRow> read;
  CsvError error;
  ASSERT_TRUE(ParseCsv(text, read, error)) << error.message;
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read[1].cells, std::vector<std::string>{""});
}

TEST(CsvTest, AFirstCellThatStartsWithAByteOrderMarkKeepsIt) {
  std::string text;
  AppendCsvRow(text, {"\xEF\xBB\xBFx", "y"});
  std::vector<CsvRow> read;
  CsvError error;
  ASSERT_TRUE(ParseCsv(text, read, error)) << error.message;
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read[0].cells, (std::vector<std::string>{"\xEF\xBB\xBFx", "y"}));
}

TEST(CsvTest, AcceptsLfEndingsAByteOrderMarkAndTrailingEmptyLines) {
  std::vector<CsvRow> read;
  CsvError error;
  ASSERT_TRUE(ParseCsv("\xEF\xBB\xBF" "a,b\nc,d\n\n\r\n", read, error)) << error.message;
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read[0].cells, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(read[1].cells, (std::vector<std::string>{"c", "d"}));
  ASSERT_TRUE(ParseCsv("a,b", read, error));  // no final line end
  EXPECT_EQ(read.size(), 1u);
}

TEST(CsvTest, RefusesMalformedTextWithTheLine) {
  struct Case {
    const char* text;
    std::size_t line;
    const char* message;
  };
  const Case cases[] = {
      {"a\r\n\r\nb\r\n", 2, "empty"},
      {"a\r\n\"open\r\nstill\r\n", 2, "no closing double quote"},
      {"a\r\nx\"y\r\n", 2, "double quote inside"},
      {"a\r\n\"x\"y\r\n", 2, "comma or the end of the line"},
      {"a\rb\r\n", 1, "CR byte"},
  };
  for (const Case& c : cases) {
    std::vector<CsvRow> read;
    CsvError error;
    ASSERT_FALSE(ParseCsv(c.text, read, error)) << c.text;
    EXPECT_EQ(error.line, c.line) << c.text << ": " << error.message;
    EXPECT_NE(error.message.find(c.message), std::string::npos) << c.text << ": " << error.message;
  }
}

Field MakeField(FieldType type, std::uint32_t width, std::uint32_t offset = 1) {
  return Field{"f", offset, width, type};
}

// Each row: a field, the bytes it holds and the text they show; both directions must agree.
TEST(CsvTest, FieldsConvertBothWays) {
  struct Case {
    FieldType type;
    std::uint32_t width;
    std::string bytes;
    std::string text;
  };
  const Case cases[] = {
      {FieldType::kText, 6, "Abc   ", "Abc"},
      {FieldType::kText, 6, "      ", ""},
      {FieldType::kText, 5, "\x85s n ", "\xC3\xA0s n"},            // cp850 à
      {FieldType::kText, 4, "\xD4\xE3\xB7 ", "\xC3\x88\xC3\x92\xC3\x80"},  // È Ò À
      {FieldType::kChar, 1, "S", "S"},
      {FieldType::kChar, 1, " ", ""},
      {FieldType::kInt16, 2, std::string("\x00\x00", 2), "0"},
      {FieldType::kInt16, 2, "\xFF\x7F", "32767"},
      {FieldType::kInt16, 2, std::string("\x00\x80", 2), "-32768"},
      {FieldType::kInt16, 2, "\xFF\xFF", "-1"},
      {FieldType::kInt32, 4, "\xFF\xFF\xFF\x7F", "2147483647"},
      {FieldType::kInt32, 4, std::string("\x00\x00\x00\x80", 4), "-2147483648"},
      {FieldType::kInt32, 4, std::string("\x39\x30\x00\x00", 4), "12345"},
      {FieldType::kThousandths, 4, std::string("\xD4\x30\x00\x00", 4), "12.5"},
      {FieldType::kThousandths, 4, std::string("\x05\x00\x00\x00", 4), "0.005"},
      {FieldType::kThousandths, 4, std::string("\x10\x27\x00\x00", 4), "10"},
      {FieldType::kThousandths, 4, "\xFB\xFF\xFF\xFF", "-0.005"},
      {FieldType::kThousandths, 4, std::string("\x00\x00\x00\x80", 4), "-2147483.648"},
      {FieldType::kThousandths, 4, std::string("\x00\x00\x00\x00", 4), "0"},
      {FieldType::kPackedCode, 2, "\x80\x85", "005"},                 // property 5
      {FieldType::kPackedCode, 2, "\x81\xA2", "134"},
      {FieldType::kPackedCode, 2, "\x8C\xA2", "1234"},               // the first digit used
      {FieldType::kPackedCode, 4, "\x80\x8C\x80\x87", "0120007"},   // property 12, department 7
      {FieldType::kPackedDate, 4, "\x94\x98\x82\x9D", "2024-02-29"},
      {FieldType::kPackedDate, 4, "\x93\xE3\x8C\x9F", "1999-12-31"},
      {FieldType::kPackedDate, 4, "\x80\x80\x80\x80", ""},
  };
  for (const Case& c : cases) {
    Field f = MakeField(c.type, c.width);
    std::string record = "<" + c.bytes + ">";
    std::string text, error;
    bool shown = FieldToText(record, f, text, error);
    ASSERT_TRUE(shown) << FieldTypeName(c.type) << " " << c.text << ": " << error;
    EXPECT_EQ(text, c.text) << FieldTypeName(c.type);
    std::string target(c.width + 2, '.');
    ASSERT_TRUE(TextToField(c.text, f, target, error)) << FieldTypeName(c.type) << " " << c.text << ": " << error;
    EXPECT_EQ(target, "." + c.bytes + ".") << FieldTypeName(c.type) << " " << c.text;
  }
}

TEST(CsvTest, LoadingAcceptsLooserSpellings) {
  struct Case {
    FieldType type;
    std::uint32_t width;
    std::string text;
    std::string bytes;
  };
  const Case cases[] = {
      {FieldType::kInt16, 2, " 12 ", std::string("\x0C\x00", 2)},
      {FieldType::kInt16, 2, "+7", std::string("\x07\x00", 2)},
      {FieldType::kThousandths, 4, ".5", std::string("\xF4\x01\x00\x00", 4)},
      {FieldType::kThousandths, 4, "-1.25", "\x1E\xFB\xFF\xFF"},
      {FieldType::kThousandths, 4, "3.", std::string("\xB8\x0B\x00\x00", 4)},
      {FieldType::kPackedCode, 2, "5", "\x80\x85"},
      {FieldType::kPackedCode, 2, "0005", "\x80\x85"},
      {FieldType::kText, 5, "ab", "ab   "},
      {FieldType::kChar, 1, "", " "},
  };
  for (const Case& c : cases) {
    Field f = MakeField(c.type, c.width, 0);
    std::string record(c.width, '.');
    std::string error;
    ASSERT_TRUE(TextToField(c.text, f, record, error)) << c.text << ": " << error;
    EXPECT_EQ(record, c.bytes) << c.text;
  }
}

TEST(CsvTest, LoadingRefusesValuesThatDoNotFit) {
  struct Case {
    FieldType type;
    std::uint32_t width;
    std::string text;
    const char* message;
  };
  const Case cases[] = {
      {FieldType::kText, 3, "abcd", "4 characters long; the field holds 3"},
      {FieldType::kText, 3, "\xE2\x82\xAC", "U+20AC"},  // no euro sign in code page 850
      {FieldType::kText, 3, "\xC3", "not valid UTF-8"},
      {FieldType::kText, 3, std::string("a\0b", 3), "NUL"},
      {FieldType::kChar, 1, "ab", "the field holds 1"},
      {FieldType::kInt16, 2, "32768", "out of range"},
      {FieldType::kInt16, 2, "-32769", "out of range"},
      {FieldType::kInt16, 2, "", "empty"},
      {FieldType::kInt16, 2, "1.0", "not a whole number"},
      {FieldType::kInt16, 2, "-", "not a whole number"},
      {FieldType::kInt32, 4, "99999999999999999999999", "out of range"},
      {FieldType::kInt32, 4, "2147483648", "out of range"},
      {FieldType::kInt32, 4, "12a", "not a whole number"},
      {FieldType::kThousandths, 4, "1.2345", "more than 3 decimals"},
      {FieldType::kThousandths, 4, "2147483.648", "out of range"},
      {FieldType::kThousandths, 4, "1,5", "not a decimal"},
      {FieldType::kThousandths, 4, ".", "not a decimal"},
      {FieldType::kThousandths, 4, "1.2.3", "not a decimal"},
      {FieldType::kPackedCode, 2, "12345", "1 to 4 digits"},
      {FieldType::kPackedCode, 2, "1a", "1 to 4 digits"},
      {FieldType::kPackedCode, 2, "", "1 to 4 digits"},
      {FieldType::kPackedDate, 4, "2024-13-01", "not a calendar date"},
      {FieldType::kPackedDate, 4, "0000-01-01", "not a calendar date"},
      {FieldType::kPackedDate, 4, "2023-02-29", "not a calendar date"},
      {FieldType::kPackedDate, 4, "01/02/2024", "yyyy-mm-dd"},
      {FieldType::kPackedDate, 4, "2024-1-01", "yyyy-mm-dd"},
  };
  for (const Case& c : cases) {
    Field f = MakeField(c.type, c.width, 0);
    std::string record(c.width, '.');
    std::string error;
    EXPECT_FALSE(TextToField(c.text, f, record, error)) << c.text;
    EXPECT_NE(error.find(c.message), std::string::npos) << c.text << ": " << error;
    EXPECT_EQ(record, std::string(c.width, '.')) << c.text << ": changed although refused";
  }
}

TEST(CsvTest, SavingRefusesBytesWithoutAText) {
  struct Case {
    FieldType type;
    std::string bytes;
    const char* message;
  };
  const Case cases[] = {
      {FieldType::kText, std::string("a\0b ", 4), "zero byte"},
      {FieldType::kPackedCode, "\x80\x7F", "127 is not a base-hundred byte"},
      {FieldType::kPackedCode, "\xE4\x80", "228 is not a base-hundred byte"},
      {FieldType::kPackedDate, "    ", "32 is not a base-hundred byte"},
      {FieldType::kPackedDate, "\x94\x98\x80\x80", "2024-00-00 is not a calendar date"},
      {FieldType::kPackedDate, "\x94\x9A\x82\x9D", "2026-02-29 is not a calendar date"},
  };
  for (const Case& c : cases) {
    Field f = MakeField(c.type, static_cast<std::uint32_t>(c.bytes.size()), 0);
    std::string text, error;
    EXPECT_FALSE(FieldToText(c.bytes, f, text, error)) << FieldTypeName(c.type);
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
  }
  // Trailing zero bytes are padding like blanks.
  std::string text, error;
  ASSERT_TRUE(FieldToText(std::string("ab\0\0", 4), MakeField(FieldType::kText, 4, 0), text, error)) << error;
  EXPECT_EQ(text, "ab");
}

TEST(CsvTest, HeaderMapsColumnsByName) {
  std::vector<Field> fields = {{"a", 0, 1, FieldType::kChar}, {"b", 1, 1, FieldType::kChar},
                               {"c", 2, 1, FieldType::kChar}};
  EXPECT_EQ(CsvHeader(fields), (std::vector<std::string>{"a", "b", "c"}));
  std::vector<std::size_t> map;
  std::string error;
  ASSERT_TRUE(MatchCsvHeader({"c", "a", "b"}, fields, map, error)) << error;
  EXPECT_EQ(map, (std::vector<std::size_t>{2, 0, 1}));
  EXPECT_FALSE(MatchCsvHeader({"a", "b"}, fields, map, error));
  EXPECT_NE(error.find("no column \"c\""), std::string::npos) << error;
  EXPECT_FALSE(MatchCsvHeader({"a", "b", "c", "d"}, fields, map, error));
  EXPECT_NE(error.find("column 4 is \"d\""), std::string::npos) << error;
  EXPECT_FALSE(MatchCsvHeader({"a", "b", "a"}, fields, map, error));
  EXPECT_NE(error.find("twice"), std::string::npos) << error;
}

}  // namespace
}  // namespace recman_tool
