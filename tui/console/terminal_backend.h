// The terminal console: a Unix terminal driven through terminfo (ncursesw).
//
// Set-up: the terminal's modes are saved and it is put in raw mode (no echo, no line editing,
// no signals from Ctrl+C, no flow control on Ctrl+S/Ctrl+Q, no literal-next on Ctrl+V), the
// alternate screen is entered, automatic margins are turned off (so writing the bottom-right
// cell never scrolls; a terminal that cannot turn them off gets that cell by insertion, see
// TerminalEncoder::SetTerminalSize), and the screen is cleared. Restore, on destruction, at
// normal exit and on SIGQUIT and the crash signals (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT):
// the saved modes, the normal screen, margins, cursor and mouse reporting as they were; the
// signal is then re-raised with its default action.
//
// Ending. SIGHUP, SIGTERM and SIGINT, and a terminal whose reading fails for good (hang-up,
// end of file, EIO), make the input report Ending(): the program then ends by itself as the
// operator would end it, giving the terminal back on its way out; main re-raises the signal
// (TerminalEndSignal) once everything is closed. A second such signal ends it at once. A
// signal the program was started with ignored stays ignored. A stop (SIGTSTP) gives the
// terminal back and stops; after SIGCONT, or when the kernel drops the stop (an orphaned
// process group), the terminal is taken again with its mouse reporting.
//
// Screen size. The forms and help files of the system are written for 80 columns, and the
// widgets assume 24 rows (25 for the calculator). The logical screen is therefore:
//   - 80 columns whenever the terminal has 80 or more; the columns to the right stay blank;
//   - 25 rows when the terminal has 25 or more, 24 rows on a 24-row terminal; rows below stay
//     blank. The logical screen sits at the terminal's top-left corner.
//   - a terminal smaller than 80 x 24 shows, instead of the screen, a short notice of the size
//     needed and the size it has; keys typed meanwhile are discarded, so nothing is typed
//     blind. When the terminal is made large enough again the screen is redrawn whole.
// A resize (SIGWINCH) is read at the next size query (ScreenRows/ScreenCols, every flush).
//
// Characters. Cells hold code page 850 bytes; a UTF-8 locale gets them as UTF-8 (box-drawing
// frames, accented letters, the euro sign for D5, the code page glyphs for 00..1F and 7F); an
// ISO 8859-1 or -15 locale gets the letters it has as single bytes (8859-15 the euro sign too),
// frames through the terminal's line-drawing set; any other locale gets ASCII with line-drawing
// frames (or + - | where the terminal has no line drawing) and letters without accents.
//
// Colours: the PC colour numbers of the attributes go to the terminal's own order; a terminal
// with 16 colours shows bright foregrounds and backgrounds; one with 8 shows bright
// foregrounds as bold and bright backgrounds as their dark forms; one without colours shows
// a background brighter than its foreground as reverse video.
//
// Keys: see key_parser.h. Mouse: SGR mouse reports (xterm, tmux) when the terminal knows them.
// Clipboard: OSC 52 to the terminal, and wl-copy/xclip when a display is there; reading uses
// wl-paste or xclip when a display is there.
#pragma once

#include <memory>
#include <string>

#include "tui/console/backend.h"

namespace tui {

struct TerminalOptions {
  int input_fd = 0;
  int output_fd = 1;
  // Terminal type for terminfo; empty means $TERM.
  std::string term;
  // How long a lone ESC waits for more bytes before it counts as the Escape key.
  int escape_delay_ms = 40;
  // Restores the terminal on the signals listed above. Only one terminal console per process
  // may install them; tests on a pseudo-terminal turn it off.
  bool install_signal_handlers = true;
  // Interface language ("CAT", "SPA", "GLG", "OCI") of the "terminal too small" notice.
  std::string language = "CAT";
  // Allows wl-paste/xclip/wl-copy to be started for the clipboard.
  bool use_system_clipboard = true;
};

// Sets up the terminal and returns its back end; on failure (not a terminal, unknown terminal
// type) returns a back end with null adapters and sets *error to a message.
Backend MakeTerminalBackend(const TerminalOptions& options, std::string* error);

// The end signal (SIGHUP, SIGTERM, SIGINT) that asked the program to end, 0 when none came.
int TerminalEndSignal();

// The logical screen for a terminal of the given size, as described above; rows and columns
// 0 when the terminal is too small.
ScreenSize LogicalScreenSize(ScreenSize terminal);

}  // namespace tui
