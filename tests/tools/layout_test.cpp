#include "tools/recman/layout.h"

#include <gtest/gtest.h>

#include <string>

#include "tools/recman/description.h"

namespace recman_tool {
namespace {

// A layout like the department file's: key 0 the packed codes, key 1 two segments.
const char* const kLayout = R"({
  "comment": "departments",
  "record length": 60,
  "page size": 1024,
  "file flags": ["balanced indexes", "free space 20"],
  "keys": [
    [ {"position": 1, "length": 4} ],
    [ {"position": 5, "length": 4, "type": "unsigned binary",
       "flags": ["duplicates", "modifiable", "descending", "null"], "null value": 0},
      {"position": 9, "length": 30, "collating": "UP",
       "flags": ["duplicates", "modifiable", "case-insensitive", "null"], "null value": " "} ]
  ],
  "collating sequences": [ {"name": "UP", "table": [%TABLE%]} ],
  "fields": [
    {"name": "codi", "offset": 0, "width": 4, "type": "packed code"},
    {"name": "alta", "offset": 4, "type": "packed date"},
    {"name": "nom", "offset": 8, "width": 30, "type": "text"},
    {"name": "preu", "offset": 49, "type": "thousandths"}
  ]
})";

std::string IdentityTable() {
  std::string t;
  for (int i = 0; i < 256; ++i) t += (i ? "," : "") + std::to_string(i >= 'a' && i <= 'z' ? i - 32 : i);
  return t;
}

std::string WithTable(std::string text) {
  auto at = text.find("%TABLE%");
  if (at != std::string::npos) text.replace(at, 7, IdentityTable());
  return text;
}

std::string Hex(std::string_view bytes) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (unsigned char b : bytes) {
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
  return out;
}

TEST(LayoutTest, BuildsTheCreateBuffer) {
  Layout layout;
  std::string error;
  ASSERT_TRUE(ParseLayout(WithTable(kLayout), layout, error)) << error;
  std::string buffer = EncodeDescription(layout.description);
  ASSERT_EQ(buffer.size(), 16u + 3 * 16 + 265);
  // File specification: record length 60, page 1024, 2 keys, flags 0x00A0.
  EXPECT_EQ(Hex(buffer.substr(0, 16)), "3c00" "0004" "0200" "00000000" "a000" "00" "00" "0000");
  // Key 0: position 1, length 4, no flags.
  EXPECT_EQ(Hex(buffer.substr(16, 16)), "0100" "0400" "0000" "00000000" "00" "00" "0000" "00" "00");
  // Key 1 segment 1: flags duplicates|modifiable|null|follows|descending|extended = 0x015B, type 14.
  EXPECT_EQ(Hex(buffer.substr(32, 16)), "0500" "0400" "5b01" "00000000" "0e" "00" "0000" "00" "00");
  // Segment 2: duplicates|modifiable|null|collating|case-insensitive = 0x042B, null byte blank.
  EXPECT_EQ(Hex(buffer.substr(48, 16)), "0900" "1e00" "2b04" "00000000" "00" "20" "0000" "00" "00");
  // Collating block: signature, name padded to 8, the table.
  EXPECT_EQ(static_cast<unsigned char>(buffer[64]), 0xAC);
  EXPECT_EQ(buffer.substr(65, 8), "UP      ");
  EXPECT_EQ(static_cast<unsigned char>(buffer[73 + 'a']), 'A');
  EXPECT_EQ(static_cast<unsigned char>(buffer[73 + 200]), 200);

  ASSERT_EQ(layout.fields.size(), 4u);
  EXPECT_EQ(layout.fields[1].width, 4u);  // implied by the type
  EXPECT_EQ(layout.fields[1].type, FieldType::kPackedDate);
  EXPECT_EQ(layout.fields[3].offset, 49u);
}

TEST(LayoutTest, DescriptionRoundTrips) {
  Layout layout;
  std::string error;
  ASSERT_TRUE(ParseLayout(WithTable(kLayout), layout, error)) << error;
  std::string buffer = EncodeDescription(layout.description);
  FileDescription back;
  ASSERT_TRUE(DecodeDescription(buffer, back, error)) << error;
  EXPECT_EQ(EncodeDescription(back), buffer);
  ASSERT_EQ(back.keys.size(), 2u);
  EXPECT_EQ(back.keys[1].segments.size(), 2u);
  EXPECT_EQ(back.keys[1].Length(), 34u);
  EXPECT_EQ(back.collating.size(), 1u);
  EXPECT_EQ(back.collating[0].name, "UP");

  std::string file = MakeDescriptionFile(buffer);
  EXPECT_EQ(static_cast<unsigned char>(file[0]), buffer.size() & 0xFF);
  EXPECT_EQ(static_cast<unsigned char>(file[1]), buffer.size() >> 8);
  std::string read;
  ASSERT_TRUE(ReadDescriptionFile(file + "trailing", read, error)) << error;
  EXPECT_EQ(read, buffer);
}

TEST(LayoutTest, RefusesDamagedDescriptions) {
  Layout layout;
  std::string error;
  ASSERT_TRUE(ParseLayout(WithTable(kLayout), layout, error)) << error;
  std::string buffer = EncodeDescription(layout.description);
  FileDescription d;
  EXPECT_FALSE(DecodeDescription(buffer.substr(0, 15), d, error));
  EXPECT_FALSE(DecodeDescription(buffer.substr(0, 40), d, error));  // ends inside key 1
  EXPECT_NE(error.find("key 1"), std::string::npos) << error;
  std::string read;
  std::string file = MakeDescriptionFile(buffer);
  EXPECT_FALSE(ReadDescriptionFile(file.substr(0, file.size() - 1), read, error));
  EXPECT_NE(error.find("only"), std::string::npos) << error;
  EXPECT_FALSE(ReadDescriptionFile("\x01", read, error));
  EXPECT_FALSE(ReadDescriptionFile(MakeDescriptionFile("short"), read, error));
}

TEST(LayoutTest, MinimalLayoutTakesDefaults) {
  Layout layout;
  std::string error;
  ASSERT_TRUE(ParseLayout(R"({"record length": 10, "keys": [[{"position": 1, "length": 2, "flags": 3}]]})",
                          layout, error))
      << error;
  EXPECT_EQ(layout.description.pageSize, 4096);
  EXPECT_EQ(layout.description.keys[0].segments[0].flags, 3);
  EXPECT_TRUE(layout.fields.empty());
}

TEST(LayoutTest, RefusesBadLayoutsWithLineAndColumn) {
  struct Case {
    const char* json;
    const char* where;    // "line:column:"
    const char* message;  // a part of the message
  };
  const Case cases[] = {
      {"[]", "1:1:", "a layout is an object"},
      {"{\"keys\": []}", "1:1:", "\"record length\" is missing"},
      {"{\"record length\": 0, \"keys\": []}", "1:19:", "from 1 to 65535"},
      {"{\"record length\": 1.5, \"keys\": []}", "1:19:", "whole number"},
      {"{\"record length\": \"60\", \"keys\": []}", "1:19:", "must be a number"},
      {"{\"record length\": 60, \"keys\": [], \"colour\": 1}", "1:45:", "unknown member \"colour\""},
      {"{\"record length\": 60,\n \"page size\": 1000, \"keys\": []}", "2:15:", "multiple of 512"},
      {"{\"record length\": 60,\n \"page size\": 8192, \"keys\": []}", "2:15:", "from 512 to 4096"},
      {"{\"record length\": 60, \"keys\": []}", "1:31:", "at least one key"},
      {"{\"record length\": 60}", "1:1:", "no \"keys\""},
      {"{\"record length\": 60, \"keys\": [[]]}", "1:32:", "key 0 has no segments"},
      {"{\"record length\": 60, \"keys\": [{}]}", "1:32:", "key 0 must be a list"},
      {"{\"record length\": 60, \"keys\": [[{\"length\": 2}]]}", "1:33:", "\"position\" is missing"},
      {"{\"record length\": 60, \"keys\": [[{\"position\": 0, \"length\": 2}]]}", "1:46:", "from 1 to 60"},
      {"{\"record length\": 60, \"keys\": [[{\"position\": 59, \"length\": 4}]]}", "1:33:", "past the end"},
      {"{\"record length\": 300, \"keys\": [[{\"position\": 1, \"length\": 200}, {\"position\": 201, \"length\": 60}]]}",
       "1:33:", "at most 255"},
      {"{\"record length\": 60, \"keys\": [[{\"position\": 1, \"length\": 2, \"type\": \"integr\"}]]}", "1:70:",
       "unknown key type \"integr\""},
      {"{\"record length\": 60, \"keys\": [[{\"position\": 1, \"length\": 3, \"type\": \"integer\"}]]}", "1:70:",
       "cannot be 3 bytes long"},
      {"{\"record length\": 60, \"keys\": [[{\"position\": 1, \"length\": 2, \"type\": \"integer\", \"flags\": "
       "[\"binary\"]}]]}",
       "1:70:", "cannot also have the \"binary\" flag"},
      {"{\"record length\": 60, \"keys\": [[{\"position\": 1, \"length\": 2, \"flags\": [\"unique\"]}]]}", "1:72:",
       "unknown key flag \"unique\""},
      {"{\"record length\": 60, \"keys\": [[{\"position\": 1, \"length\": 2, \"flags\": 16}]]}", "1:71:",
       "leave them out"},
      {"{\"record length\": 60, \"keys\": [[{\"position\": 1, \"length\": 2, \"flags\": [\"duplicates\"]}, "
       "{\"position\": 3, \"length\": 2}]]}",
       "1:88:", "must be the same on every segment"},
      {"{\"record length\": 60, \"keys\": [[{\"position\": 1, \"length\": 2, \"collating\": \"X\"}]]}", "1:75:",
       "no collating sequence named \"X\""},
      {"{\"record length\": 60, \"keys\": [[{\"position\": 1, \"length\": 2, \"null value\": \"ab\"}]]}", "1:76:",
       "one ASCII character"},
      {"{\"record length\": 60, \"file flags\": [\"free space 10\", \"free space 30\"], \"keys\": []}", "1:55:",
       "only one free-space flag"},
      {"{\"record length\": 60, \"file flags\": [\"sparse\"], \"keys\": []}", "1:38:", "unknown file flag"},
      {"{\"record length\": 60, \"collating sequences\": [{\"name\": \"A\", \"table\": [1, 2]}], \"keys\": []}",
       "1:70:", "exactly 256 numbers"},
      {"{\"record length\": 60, \"collating sequences\": [{\"name\": \"TOOLONGNAME\", \"table\": []}], \"keys\": []}",
       "1:56:", "1 to 8 printable"},
      {"{\"record length\": 60, \"keys\": [[{\"position\": 1, \"length\": 2}]],\n \"fields\": [{\"name\": \"a\", "
       "\"offset\": 0, \"type\": \"text\"}]}",
       "2:13:", "needs a \"width\""},
      {"{\"record length\": 60, \"keys\": [[{\"position\": 1, \"length\": 2}]],\n \"fields\": [{\"name\": \"a\", "
       "\"offset\": 0, \"width\": 3, \"type\": \"int16\"}]}",
       "2:49:", "2 bytes wide, not 3"},
      {"{\"record length\": 60, \"keys\": [[{\"position\": 1, \"length\": 2}]],\n \"fields\": [{\"name\": \"a\", "
       "\"offset\": 58, \"type\": \"int32\"}]}",
       "2:13:", "past the end"},
      {"{\"record length\": 60, \"keys\": [[{\"position\": 1, \"length\": 2}]],\n \"fields\": [{\"name\": \"a\", "
       "\"offset\": 0, \"type\": \"int32\"}, {\"name\": \"b\", \"offset\": 2, \"type\": \"int16\"}]}",
       "2:58:", "overlaps the field \"a\""},
      {"{\"record length\": 60, \"keys\": [[{\"position\": 1, \"length\": 2}]],\n \"fields\": [{\"name\": \"a\", "
       "\"offset\": 0, \"type\": \"int16\"}, {\"name\": \"a\", \"offset\": 2, \"type\": \"int16\"}]}",
       "2:67:", "defined twice"},
      {"{\"record length\": 60, \"keys\": [[{\"position\": 1, \"length\": 2}]],\n \"fields\": [{\"name\": \"a\", "
       "\"offset\": 0, \"type\": \"date\"}]}",
       "2:48:", "unknown field type \"date\""},
      {"{\"record length\": 60, \"keys\": [[{\"position\": 1, \"length\": 2}]], \"fields\": [{\"name\": \"a\" "
       "\"offset\": 0}]}",
       "1:96:", "expected '}'"},
  };
  for (const Case& c : cases) {
    Layout layout;
    std::string error;
    ASSERT_FALSE(ParseLayout(c.json, layout, error)) << c.json;
    EXPECT_EQ(error.rfind(c.where, 0), 0u) << c.json << "\n  " << error;
    EXPECT_NE(error.find(c.message), std::string::npos) << c.json << "\n  " << error;
  }
}

}  // namespace
}  // namespace recman_tool
