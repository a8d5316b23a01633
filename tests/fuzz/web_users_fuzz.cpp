// Lines of modcarta-web's users file: an accepted line names a valid operator with a yescrypt
// hash and a language, and is written back as it was read (without a CR at its end).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tools/web/users.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view line(reinterpret_cast<const char*>(data), size);
  auto account = web::ParseAccountLine(line);
  if (!account) return 0;
  if (!web::ValidOperatorName(account->name) || !web::ValidLanguage(account->language)) std::abort();
  if (account->name.find('/') != std::string::npos || account->name[0] == '.') std::abort();
  std::string written = web::FormatAccountLine(*account);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (written != line) std::abort();
  auto again = web::ParseAccountLine(written);
  if (!again || again->name != account->name || again->hash != account->hash ||
      again->language != account->language) {
    std::abort();
  }
  return 0;
}
