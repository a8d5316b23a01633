#include "tools/recman/record_stream.h"

namespace recman_tool {

void AppendStreamRecord(std::string& stream, std::string_view record) {
  stream += std::to_string(record.size());
  stream += ',';
  stream.append(record);
  stream += "\r\n";
}

bool ReadRecordStream(std::string_view stream, std::size_t maxLength, std::vector<std::string>& records,
                      StreamError& error) {
  records.clear();
  std::size_t at = 0;
  auto fail = [&](std::size_t offset, std::string message) {
    error.record = records.size() + 1;
    error.offset = offset;
    error.message = std::move(message);
    return false;
  };
  while (at < stream.size()) {
    if (stream[at] == '\x1A' && at + 1 == stream.size()) break;  // end-of-file mark
    std::size_t start = at;
    std::size_t length = 0;
    while (at < stream.size() && stream[at] >= '0' && stream[at] <= '9') {
      length = length * 10 + static_cast<std::size_t>(stream[at] - '0');
      ++at;
      if (length > maxLength) {
        return fail(start, "the record length is more than " + std::to_string(maxLength) + " bytes");
      }
    }
    if (at == start) {
      if (stream[at] == '\x1A') return fail(at, "bytes follow the end-of-file mark 0x1A");
      return fail(at, "expected the record length in decimal digits");
    }
    if (at >= stream.size() || stream[at] != ',') return fail(at, "expected a comma after the record length");
    ++at;
    if (stream.size() - at < length) {
      return fail(start, "the record should be " + std::to_string(length) + " bytes, but the input ends after " +
                             std::to_string(stream.size() - at));
    }
    std::string record(stream.substr(at, length));
    at += length;
    if (stream.substr(at, 2) != "\r\n") return fail(at, "expected CR LF after the record's bytes");
    at += 2;
    records.push_back(std::move(record));
  }
  return true;
}

}  // namespace recman_tool
