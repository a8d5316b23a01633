// Session start-up: where the installation, the executables and the temporary files live,
// which terminal this is, who the operator is, what the menu called the module, the terminal's
// colours, the interface language and the kind of platform.
//
// Sources, read in this order:
//   environment   ZEDROOT (RootDir), ZEDEXE (ExeDir), ZEDTMP (TempDir), TERM, HTTP_USER_AGENT,
//                 HTTP_ACCEPT, WINDIR, SYSTEMROOT
//   TempDir + "Sessio.ini"    [Menu] Titol NomMenu Menu ChnMenu Operador ZedTipOper,
//                             [Terminal] Dir
//   TempDir + "OrbaTerm.ini"  [Pantalla] Seleccio and Col<n>, [Sistema] Data Sortida Idioma
//                             (TempDir by then falls back to TerminalDir)
//   ZEDROOT + "Orba.ini"      [Usuari] Idioma, only when the terminal gives no language;
//                             [Dades] Servidor (where the record files are kept)
// A missing file, section or key is never an error: every value falls back to its default.
//
// The terminal directory is [Terminal] Dir when set. Otherwise TERM names it when TERM names an
// existing directory (terminals set up by the suite's menu). On Linux TERM usually names the
// terminal type (xterm-256color), so when it names no directory the program uses a private
// directory of this user and terminal, which it creates (see PrivateTerminalDirectory).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "session/environment.h"
#include "session/session.h"

namespace session {

// The colour text used when OrbaTerm.ini gives none: five (foreground, background) pairs of
// two-digit numbers.
inline constexpr std::string_view kDefaultColours = "15000700000700070007";

// Fills `session` (replacing all it held) from the environment and the settings files.
// Never fails and shows nothing.
void StartSession(const Environment& environment, Session& session);

// A directory as the system's paths expect it: a text that is not empty and ends in neither
// ":" nor "\" gets "\" appended.
std::string NormaliseDirectory(std::string_view directory);

// A fixed-width text: cut to `width` characters or padded with blanks.
std::string FitText(std::string_view text, std::size_t width);

// "CGI" when HTTP_USER_AGENT or HTTP_ACCEPT is set and not empty; otherwise "WIN" when WINDIR
// or SYSTEMROOT is set and not empty; otherwise "DOS".
std::string PlatformModeOf(const Environment& environment);

// The five colour pairs of a colour text: pair i takes the numeric values of the two characters
// at positions 4i+1 (foreground) and 4i+3 (background), counted from 1; characters past the end
// of a short text count as 0.
std::array<ColourPair, 5> ColoursFromText(std::string_view colours);

// A decimal number text (as values::NumberValue reads it) rounded, halves to even, into a
// 16-bit integer; values outside the range are clamped to -32768 or 32767.
std::int16_t Int16Value(std::string_view text);

// The private terminal directory, created when missing (mode 0700) and checked to be a real
// directory (not a symbolic link) owned by the user and closed to others:
//   $XDG_RUNTIME_DIR/modcarta/<terminal>   when XDG_RUNTIME_DIR names a directory,
//   else ${TMPDIR:-/tmp}/modcarta-<uid>/<terminal>
// <terminal> is the terminal's device name without "/dev/", "/" turned into "-" ("pts-3");
// "console" without a terminal. One directory per terminal keeps each terminal's station
// identity, scratch files and calculator tape apart, as the suite's terminal directories do.
// "" when the directory cannot be made safely (the program then uses the current directory).
std::string PrivateTerminalDirectory(const Environment& environment);

}  // namespace session
