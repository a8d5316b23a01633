// Number text and packed fields: any value (NaN, infinities, denormals) with any format
// gives a bounded text; base-hundred packing and packed date text accept any bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "values/numbers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 10) return 0;
  double value;
  std::memcpy(&value, data, sizeof value);
  const int currentYear = (data[8] | (data[9] << 8)) % 10000;
  std::string_view rest(reinterpret_cast<const char*>(data + 10), size - 10);

  const std::string text = values::NumberText(value, rest);
  // Integer digits (at most 309, or the width) and decimals (at most the bound), a sign and a
  // point.
  if (text.size() > 2 * static_cast<std::size_t>(values::kMaxNumberTextDigits) + 320) std::abort();
  (void)values::NumberValue(text);
  (void)values::NumberValue(rest);
  (void)values::ZeroPaddedDigits(value, data[8]);

  const std::string packed = values::BaseHundredPack(rest);
  if (packed.size() != (rest.size() + 1) / 2) std::abort();
  if (values::BaseHundredDigits(rest).size() != rest.size() * 2) std::abort();
  const std::string dateText = values::PackedDateText(rest, currentYear);
  if (dateText.size() != 0 && dateText.size() != 6 && dateText.size() != 8) std::abort();
  (void)values::AllSame(rest, data[9]);
  return 0;
}
