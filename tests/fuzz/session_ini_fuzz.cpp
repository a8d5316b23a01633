// Settings-file lookup over arbitrary bytes. Input: the section name, a line feed, the key name,
// a line feed, then the file's content.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "session/ini.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::size_t first = input.find('\n');
  if (first == std::string_view::npos) return 0;
  std::size_t second = input.find('\n', first + 1);
  if (second == std::string_view::npos) return 0;
  std::string_view section = input.substr(0, first);
  std::string_view key = input.substr(first + 1, second - first - 1);
  std::string_view content = input.substr(second + 1);

  std::string value = session::FindIniValue(content, section, key);
  // A value comes from one line, with its comment cut off.
  if (value.find(';') != std::string::npos || value.find('\n') != std::string::npos) __builtin_trap();
  if (value.size() > content.size()) __builtin_trap();
  return 0;
}
