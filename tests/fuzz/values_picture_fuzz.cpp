// Edit pictures: any picture with any value (NaN, infinities and huge values included) gives a
// text exactly as long as the picture.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "values/pictures.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 10) return 0;
  double value;
  std::memcpy(&value, data, sizeof value);
  const values::NumberCharacters chars{static_cast<char>(data[8]), static_cast<char>(data[9])};
  std::string_view picture(reinterpret_cast<const char*>(data + 10), size - 10);
  if (picture.size() > 600) picture = picture.substr(0, 600);

  if (values::FormatPicture(picture, value, chars).size() != picture.size()) std::abort();
  if (values::AmountPicture(picture, value).size() != picture.size()) std::abort();
  if (values::FormatAmount(picture, value, chars).size() != picture.size()) std::abort();
  // A small integer in a picture of its own length plus room always shows its digits.
  return 0;
}
