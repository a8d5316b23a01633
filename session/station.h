// A workstation's own settings: the two files that the suite's menu writes into a station's
// temporary directory before it starts a module, written here for the programs that set up
// stations without the menu (the administrator's tool, the web server).
//
//   Sessio.ini    [Menu] the module's title and the operator's name, [Terminal] Dir
//   OrbaTerm.ini  [Pantalla] the colour schemes, [Sistema] Data (working date) and Idioma
//
// Both are written in code page 850 with CR LF line ends, as the program reads them.
#pragma once

#include <string>
#include <string_view>

namespace session {

struct StationSettings {
  std::string operatorName;  // code page 850; shown by the program as the operator
  std::string language;      // "CAT", "SPA", "GLG" or "OCI"
  std::string terminalDir;   // the station's private directory (host form)
  std::string workDate;      // "YYYYMMDD", or empty for the program's own default
};

// True for the four interface languages a station may be given.
bool IsStationLanguage(std::string_view language);

// The texts of the two files for `settings`. The settings must be valid (see
// WriteStationFiles); nothing is checked here.
std::string SessioIniText(const StationSettings& settings);
std::string OrbaTermIniText(const StationSettings& settings);

// Checks `settings` and writes Sessio.ini and OrbaTerm.ini into the existing directory `dir`.
// Answers "" on success, or one line saying what is wrong: a language outside the four, an
// operator name that is empty or holds a control character or ";" (which would end the value
// in a settings file), a working date that is not eight digits, or "cannot write <path>".
std::string WriteStationFiles(std::string_view dir, const StationSettings& settings);

}  // namespace session
