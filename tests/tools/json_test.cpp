#include "tools/recman/json.h"

#include <gtest/gtest.h>

namespace recman_tool {
namespace {

TEST(JsonTest, ReadsNestedValuesWithTheirPlaces) {
  JsonValue root;
  JsonError error;
  ASSERT_TRUE(ParseJson("{\n  \"a\": [1, -2.5e3, true],\n  \"b\": {\"c\": null, \"d\": \"x\"}\n}\n", root, error))
      << error.message;
  ASSERT_TRUE(root.IsObject());
  ASSERT_EQ(root.Members().size(), 2u);
  EXPECT_EQ(root.Members()[0].first, "a");  // order as written
  const JsonValue* a = root.Find("a");
  ASSERT_NE(a, nullptr);
  ASSERT_EQ(a->Items().size(), 3u);
  EXPECT_EQ(a->Items()[0].AsInteger(), 1);
  EXPECT_EQ(a->Items()[1].NumberText(), "-2.5e3");
  EXPECT_FALSE(a->Items()[1].AsInteger().has_value());
  EXPECT_TRUE(a->Items()[2].AsBool());
  EXPECT_EQ(a->place().line, 2);
  EXPECT_EQ(a->place().column, 8);
  EXPECT_EQ(a->Items()[1].place().column, 12);
  const JsonValue* b = root.Find("b");
  ASSERT_NE(b, nullptr);
  EXPECT_TRUE(b->Find("c")->IsNull());
  EXPECT_EQ(b->Find("d")->AsString(), "x");
  EXPECT_EQ(b->Find("d")->place().line, 3);
  EXPECT_EQ(root.Find("z"), nullptr);
}

TEST(JsonTest, DecodesStringEscapes) {
  struct Case {
    const char* json;
    std::string expected;
  };
  const Case cases[] = {
      {R"("a\"b\\c\/d")", "a\"b\\c/d"},
      {R"("\b\f\n\r\t")", "\b\f\n\r\t"},
      {R"("\u00e9")", "\xC3\xA9"},
      {R"("\u20AC")", "\xE2\x82\xAC"},
      {R"("\ud83d\ude00")", "\xF0\x9F\x98\x80"},
      {"\"\xC3\xA0 la\"", "\xC3\xA0 la"},  // UTF-8 kept as it is
      {R"("\u0000")", std::string(1, '\0')},
  };
  for (const Case& c : cases) {
    JsonValue v;
    JsonError error;
    ASSERT_TRUE(ParseJson(c.json, v, error)) << c.json << ": " << error.message;
    EXPECT_EQ(v.AsString(), c.expected) << c.json;
  }
}

TEST(JsonTest, IntegersOutsideSixtyFourBitsAreNotIntegers) {
  JsonValue v;
  JsonError error;
  ASSERT_TRUE(ParseJson("99999999999999999999", v, error));
  EXPECT_FALSE(v.AsInteger().has_value());
  ASSERT_TRUE(ParseJson("-9223372036854775808", v, error));
  EXPECT_EQ(v.AsInteger(), INT64_MIN);
}

TEST(JsonTest, SkipsAByteOrderMark) {
  JsonValue v;
  JsonError error;
  ASSERT_TRUE(ParseJson("\xEF\xBB\xBF[1]", v, error)) << error.message;
  EXPECT_EQ(v.Items().size(), 1u);
}

TEST(JsonTest, RefusesWhatIsNotStrictJsonAndSaysWhere) {
  struct Case {
    const char* json;
    int line;
    int column;
    const char* message;  // a part of the message
  };
  // The place is the byte where the fault shows: the one read last.
  const Case cases[] = {
      {"", 1, 1, "unexpected end of input"},
      {"{\"a\": 1,}", 1, 9, "object key"},
      {"[1, 2,]", 1, 7, "unexpected ']'"},
      {"{\"a\": 1 \"b\": 2}", 1, 11, "expected '}'"},
      {"{\"a\" 1}", 1, 7, "expected ':'"},
      {"{\"a\": 1, \"a\": 2}", 1, 10, "the member \"a\" appears twice"},
      {"[1]\n  x", 2, 3, "expected end of input"},
      {"// note\n{}", 1, 1, "invalid literal"},
      {"[01]", 1, 4, "unexpected number"},
      {"[1.]", 1, 4, "after '.'"},
      {"[1e]", 1, 4, "after exponent"},
      {"[-]", 1, 3, "after '-'"},
      {"[tru]", 1, 5, "invalid literal"},
      {"[truex]", 1, 6, "invalid literal"},
      {"[NaN]", 1, 2, "invalid literal"},
      {"\"abc", 1, 4, "missing closing quote"},
      {"\"a\tb\"", 1, 3, "control character"},
      {"\"\\x\"", 1, 3, "after backslash"},
      {"\"\\u12G4\"", 1, 6, "4 hex digits"},
      {"\"\\udc00\"", 1, 7, "must follow"},
      {"\"\\ud800x\"", 1, 8, "must be followed"},
      {"\"\xC3\"", 1, 3, "UTF-8"},
      {"\"\xC0\xAF\"", 1, 2, "UTF-8"},
      {"\"\xED\xA0\x80\"", 1, 3, "UTF-8"},
      {"\"\xFF\"", 1, 2, "UTF-8"},
      {"{\n\n   [", 3, 4, "object key"},
      {"[\n1,\n", 2, 3, "unexpected end of input"},
  };
  for (const Case& c : cases) {
    JsonValue v;
    JsonError error;
    ASSERT_FALSE(ParseJson(c.json, v, error)) << c.json;
    EXPECT_EQ(error.place.line, c.line) << c.json << ": " << error.message;
    EXPECT_EQ(error.place.column, c.column) << c.json << ": " << error.message;
    EXPECT_NE(error.message.find(c.message), std::string::npos) << c.json << ": " << error.message;
  }
}

TEST(JsonTest, RefusesNestingDeeperThanAHundredLevels) {
  JsonValue v;
  JsonError error;
  EXPECT_TRUE(ParseJson(std::string(100, '[') + std::string(100, ']'), v, error)) << error.message;
  EXPECT_FALSE(ParseJson(std::string(101, '[') + std::string(101, ']'), v, error));
  EXPECT_NE(error.message.find("nested too deeply"), std::string::npos);
  // Far deeper input must not exhaust the stack either.
  EXPECT_FALSE(ParseJson(std::string(100000, '['), v, error));
}

}  // namespace
}  // namespace recman_tool
