#include "session/environment.h"

#include <unistd.h>

#include <cstdlib>

namespace session {

std::optional<std::string> ProcessEnvironment::Get(std::string_view name) const {
  const char* value = std::getenv(std::string(name).c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

std::uint32_t Environment::UserId() const { return static_cast<std::uint32_t>(::getuid()); }

std::string ProcessEnvironment::TerminalName() const {
  for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    if (const char* name = ::ttyname(fd)) return name;
  }
  return {};
}

}  // namespace session
