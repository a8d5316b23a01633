// Where the formatting settings come from.
//
// Date text and number pictures read a few keys of the installation's settings file
// (Orba.ini [Usuari] DecCaracter, MilCaracter, DatCaracter, DatOrdre) once, on first use.
// The values layer sits below the session layer that owns the settings-file reader, so it
// asks through this interface and the program supplies the session's reader.
#pragma once

#include <string>
#include <string_view>

namespace values {

class SettingsSource {
 public:
  virtual ~SettingsSource() = default;
  // The value of [section] key in the installation's settings file, or "" when absent.
  virtual std::string Read(std::string_view section, std::string_view key) = 0;
};

}  // namespace values
