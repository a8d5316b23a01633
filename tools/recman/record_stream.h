// The unformatted record stream of the load and save commands.
//
// Each record is its length in decimal digits, a comma, exactly that many bytes of record and
// CR LF:   "4,ABCD\r\n". A stream may end with one byte 0x1A (the old end-of-file mark),
// which the reader accepts and the writer never writes. An empty stream holds no records.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace recman_tool {

// Appends one record to a stream.
void AppendStreamRecord(std::string& stream, std::string_view record);

struct StreamError {
  std::size_t record = 0;  // the record at fault, counted from 1
  std::size_t offset = 0;  // byte offset in the stream
  std::string message;
};

// Splits a whole stream into its records; no record is longer than maxLength. False with the
// first fault otherwise.
bool ReadRecordStream(std::string_view stream, std::size_t maxLength, std::vector<std::string>& records,
                      StreamError& error);

}  // namespace recman_tool
