// Record streams: whatever reads writes back to a stream that reads to the same records, and
// to the same bytes (less a final 0x1A) unless a length was written with leading zeros.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "tools/recman/record_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> records;
  recman_tool::StreamError error;
  if (!recman_tool::ReadRecordStream(text, 4096, records, error)) {
    if (error.record < 1 || error.offset > size || error.message.empty()) std::abort();
    return 0;
  }
  std::string written;
  for (const auto& r : records) {
    if (r.size() > 4096) std::abort();
    recman_tool::AppendStreamRecord(written, r);
  }
  std::vector<std::string> again;
  if (!recman_tool::ReadRecordStream(written, 4096, again, error) || again != records) std::abort();
  std::string_view expected = text;
  if (!expected.empty() && expected.back() == '\x1A') expected.remove_suffix(1);
  bool leadingZero = false;
  for (std::size_t i = 0; i + 1 < expected.size(); ++i) {
    bool atLength = i == 0 || (expected[i - 1] == '\n' && i >= 2 && expected[i - 2] == '\r');
    if (atLength && expected[i] == '0' && expected[i + 1] != ',') leadingZero = true;
  }
  if (!leadingZero && written != expected) std::abort();
  return 0;
}
