#include "session/environment.h"

#include <cstdlib>

namespace session {

std::optional<std::string> ProcessEnvironment::Get(std::string_view name) const {
  const char* value = std::getenv(std::string(name).c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

}  // namespace session
