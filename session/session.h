// The session record: who and where this run is, filled once at start-up and read by every
// layer above.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace session {

// One (foreground, background) colour pair of the terminal's colour scheme; numbers in PC
// order (0 black, 1 blue, ... 7 light grey, 8..15 bright).
struct ColourPair {
  std::int16_t foreground = 0;
  std::int16_t background = 0;
  friend bool operator==(const ColourPair&, const ColourPair&) = default;
};

struct Session {
  std::string RootDir;      // installation root (ZEDROOT, as given; expected to end in "\")
  std::string ExeDir;       // ZEDEXE, as given
  std::string TempDir;      // temporary directory, ends in "\" or ":" unless empty
  std::string TerminalDir;  // terminal directory, normalised like TempDir
  std::string MenuTitle;    // " " + [Menu] Titol + " "
  std::string MenuName;     // [Menu] NomMenu: help topic of the module
  std::string Menu;
  std::string ChainMenu;
  std::string Operator;
  std::int16_t OperatorType = 0;
  std::array<ColourPair, 5> ColourTable{};
  std::string WorkDate = std::string(4, '\x80');  // packed date yyyymmdd, base-hundred bytes
  std::string OutputSetting;
  std::string Language = "   ";      // exactly 3 characters: "CAT", "SPA", "GLG", "OCI" or other
  std::string PlatformMode = "DOS";  // exactly 3 characters: "CGI", "WIN" or "DOS"
  // Orba.ini [Dades] Servidor, blanks around it removed: the connection string of the database
  // server that keeps the installation's record files; empty when they are files on this host.
  std::string DataServer;
};

}  // namespace session
