#include "tools/recman/record_stream.h"

#include <gtest/gtest.h>

namespace recman_tool {
namespace {

TEST(RecordStreamTest, WritesLengthCommaBytesCrLf) {
  std::string stream;
  AppendStreamRecord(stream, "AB");
  AppendStreamRecord(stream, std::string("\r\n\0\x1A", 4));
  AppendStreamRecord(stream, "");
  EXPECT_EQ(stream, std::string("2,AB\r\n4,\r\n\0\x1A\r\n0,\r\n", 18));
}

TEST(RecordStreamTest, ReadsWhatItWritesAndTheEndOfFileMark) {
  std::vector<std::string> records = {"hello", std::string("\0\x1A,9\r\n", 6), std::string(1000, '\xFF')};
  std::string stream;
  for (const auto& r : records) AppendStreamRecord(stream, r);
  for (const std::string& input : {stream, stream + "\x1A"}) {
    std::vector<std::string> read;
    StreamError error;
    ASSERT_TRUE(ReadRecordStream(input, 1000, read, error)) << error.message;
    EXPECT_EQ(read, records);
  }
  std::vector<std::string> read;
  StreamError error;
  ASSERT_TRUE(ReadRecordStream("", 10, read, error));
  EXPECT_TRUE(read.empty());
  ASSERT_TRUE(ReadRecordStream("\x1A", 10, read, error));
  EXPECT_TRUE(read.empty());
}

TEST(RecordStreamTest, NamesTheRecordAndByteOfEachFault) {
  struct Case {
    std::string input;
    std::size_t record;
    std::size_t offset;
    const char* message;
  };
  const Case cases[] = {
      {"2,AB\r\nx", 2, 6, "record length in decimal"},
      {",AB\r\n", 1, 0, "record length in decimal"},
      {"2AB\r\n", 1, 1, "comma"},
      {"2,AB\n", 1, 4, "CR LF"},
      {"2,ABC\r\n", 1, 4, "CR LF"},
      {"2,AB", 1, 4, "CR LF"},
      {"2,AB\r\n5,AB\r\n", 2, 6, "input ends after 4"},
      {"2,AB\r\n\x1A\x1A", 2, 6, "follow the end-of-file mark"},
      {"2,AB\r\n\x1A" "2,CD\r\n", 2, 6, "follow the end-of-file mark"},
      {"11,ABCDEFGHIJK\r\n", 1, 0, "more than 10 bytes"},
      {"99999999999999999999999,", 1, 0, "more than 10 bytes"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> read;
    StreamError error;
    ASSERT_FALSE(ReadRecordStream(c.input, 10, read, error)) << c.input;
    EXPECT_EQ(error.record, c.record) << c.input;
    EXPECT_EQ(error.offset, c.offset) << c.input;
    EXPECT_NE(error.message.find(c.message), std::string::npos) << c.input << ": " << error.message;
  }
}

}  // namespace
}  // namespace recman_tool
