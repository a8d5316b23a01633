// Settings files (Sessio.ini, OrbaTerm.ini, Orba.ini): plain text in code page 850, one entry
// per line, lines ending in CR LF or LF.
//
//   [Section]          a line whose first non-blank character is "["
//   Key=value          an entry inside a section
//   ; comment          ";" anywhere starts a comment running to the end of the line; it is cut
//                      off before the line is looked at, so a value never holds ";"
//
// Section and key names match without regard to (ASCII) case and to surrounding blanks. Blank
// lines and lines without "=" inside a section are ignored.
//
// Only the first section of a name is searched (a later section of the same name is never
// reached), and within it the first matching key wins. The value is taken exactly as it stands
// after the first "=", inner and trailing blanks included; one pair of enclosing double quotes
// is removed when the value is longer than one character and both begins and ends with one.
#pragma once

#include <string>
#include <string_view>

#include "session/environment.h"
#include "values/settings.h"

namespace session {

// The value of `key` in `section` of the settings file at the system path `path`, or "" when
// the file cannot be read or the section or key is missing. Opens, scans and closes the file on
// every call; nothing is cached.
std::string ReadIniValue(std::string_view path, std::string_view section, std::string_view key);

// The same lookup over the bytes of a settings file.
std::string FindIniValue(std::string_view content, std::string_view section, std::string_view key);

// The installation's settings file for the formatting settings: [section] key of "Orba.ini" in
// the installation root. The path is ZEDROOT + "Orba.ini" (the root is expected to end in "\"),
// and ZEDROOT is read again at every call. A relative ZEDROOT is taken from the directory that
// was current when this object was made (the program changes into the root after that). The
// environment must outlive this object.
class OrbaIniSettings : public values::SettingsSource {
 public:
  explicit OrbaIniSettings(const Environment& environment);
  std::string Read(std::string_view section, std::string_view key) override;

 private:
  const Environment& environment_;
  std::string startDirectory_;
};

}  // namespace session
