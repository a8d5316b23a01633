// Packed codes: any typed code packs into whole base-hundred bytes that read back as its
// digits.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "values/numbers.h"
#include "values/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::string digits = values::PackCodeDigits(text);
  const std::string packed = values::PackCode(text);
  if (digits.size() % 2 != 0 || packed.size() * 2 != digits.size()) std::abort();
  if (values::BaseHundredDigits(packed) != digits) std::abort();
  for (char c : packed) {
    if ((static_cast<unsigned char>(c) & 0x80) == 0) std::abort();
  }
  return 0;
}
