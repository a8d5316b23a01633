// Typed dates: ParseDate and CheckDate on any text, with any current year; whatever they
// accept must be a real date, and the calendar operations must stay in range on the result.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "values/date_text.h"
#include "values/dates.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const int currentYear = 1 + (data[0] | (data[1] << 8)) % 9999;
  std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);

  const values::PackedDate date = values::ParseDate(text, currentYear);
  const bool invalid = values::CheckDate(text, currentYear);
  const values::DateParts parts = values::UnpackDate(date);
  if (!invalid) {
    // A valid text never gives the empty date or a date out of the calendar's range.
    if (date == values::kEmptyDate || parts.month < 1 || parts.month > 12 || parts.day < 1 ||
        parts.day > 31) {
      std::abort();
    }
    // The date stored is the date checked: written out in full it is valid too.
    std::string full = std::to_string(parts.day) + "/" + std::to_string(parts.month) + "/" +
                       std::to_string(10000 + parts.year).substr(1);
    if (values::CheckDate(full, currentYear)) std::abort();
  }
  const int weekday = values::Weekday(date);
  if (weekday < 1 || weekday > 7) std::abort();
  if (values::DaysBetween(date, values::kEmptyDate) < 0) std::abort();
  if (values::DaysBetween(date, values::PackDate(currentYear, 1, 1)) !=
      values::DaysBetween(values::PackDate(currentYear, 1, 1), date)) {
    std::abort();
  }
  for (int mode = -1; mode <= 2; ++mode) {
    (void)values::DateText(date, mode, text.substr(0, 4), text.substr(0, 3), {});
  }
  return 0;
}
