// Text wrapping: any text, indent, width and alignment ends, and every non-blank character of
// the text comes out once, in order (padding only adds blanks, or "-" for "N").
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "values/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 5) return 0;
  const auto indent = static_cast<std::int16_t>(static_cast<std::int8_t>(data[0]));
  const auto width = static_cast<std::int16_t>(static_cast<std::int8_t>(data[1]));
  static const char* const kAlignments[] = {"L", "E", "I", "N", "D", "R", "C", "A", "B", "x", ""};
  const char* alignment = kAlignments[data[2] % 11];
  const bool strip = data[3] & 1;
  std::string_view text(reinterpret_cast<const char*>(data + 4), size - 4);

  const std::string wrapped = values::WrapText(text, indent, width, alignment);
  const bool dashes = alignment[0] == 'N';
  std::string expected, got;
  for (char c : text) {
    if (c != ' ' && !(dashes && c == '-')) expected += c;
  }
  for (char c : wrapped) {
    if (c != ' ' && !(dashes && c == '-')) got += c;
  }
  if (expected != got) std::abort();

  const std::string folded = values::FoldText(text, strip);
  if (folded.size() != text.size()) std::abort();
  return 0;
}
