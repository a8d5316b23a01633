// Number checks: any text with any range and decimals; an accepted text is accepted by the
// shape check with the same characters and its value lies within the range.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "values/numbers.h"
#include "values/pictures.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 17) return 0;
  double minimum, maximum;
  std::memcpy(&minimum, data, sizeof minimum);
  std::memcpy(&maximum, data + 8, sizeof maximum);
  const int decimals = static_cast<int>(data[16] % 20) - 1;
  std::string_view text(reinterpret_cast<const char*>(data + 17), size - 17);

  const bool refused = values::CheckNumberRange(text, minimum, maximum, decimals);
  (void)values::CheckNumberText(text, text.substr(0, 2));
  if (!refused) {
    std::string allowed;
    if (decimals > 0) allowed += '.';
    if (minimum < 0) allowed += '-';
    if (values::CheckNumberText(text, allowed)) std::abort();
    if (decimals < 0 || decimals > 16 || maximum < minimum) std::abort();
    const double v = values::NumberValue(text);
    if (std::isnan(v)) std::abort();
  }
  return 0;
}
