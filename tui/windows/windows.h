// Pop-up windows, message boxes and help: everything that is put over the current screen and
// taken away again.
//
// The program makes one Windows over its Console and passes it to every widget that opens a
// window. Opening a window saves the cells it covers, the cursor and the enclosing window in
// the window stack file "WinPush.tmp" of the session's temporary directory (format in
// window_stack.h); closing it puts them back. The window depth and the current rectangle live
// in the Console, which positions everything relative to the innermost window.
//
//   tui::Windows windows(console, session, system, environment);
//   windows.WinOpen(5, 10, 12, 60);       // saves rows 5..12, columns 10..60
//   console.DrawFrame(1);                 // WinOpen draws nothing itself
//   ...
//   windows.WinClose();                   // the screen and the cursor are as before
//
//   windows.MessageBox(12, "FINCA INEXISTENT");   // stays until the caller's WinClose
//   windows.WinClose();
//
//   windows.ShowHelp("MODCARTA");         // returns when the operator has finished
//
// Every WinOpen is matched by exactly one WinClose, innermost first. A WinOpen that cannot
// open its window (a coordinate off the screen or above 99, top below bottom) changes nothing
// on the screen but still counts as opened, so its WinClose closes nothing else; a message box
// that does not fit counts the same way. WinClose with no window open does nothing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/system.h"
#include "session/environment.h"
#include "session/session.h"
#include "tui/console/console.h"
#include "tui/windows/window_stack.h"

namespace tui {

// The name of the window stack file in the temporary directory.
inline constexpr std::string_view kWindowStackFileName = "WinPush.tmp";
// The general help topic, reached with F1 from any help text but its own.
inline constexpr std::string_view kGeneralHelpTopic = "HUBTOPIC";
// The suite's document launcher, started for help on the windowed platform.
inline constexpr std::string_view kDocumentLauncher = "DOCOPEN";

class Windows {
 public:
  // All four must outlive this object. The session gives the temporary directory (read at
  // every open, so a session filled after construction is seen) and the platform mode; the
  // system starts the document launcher; the environment gives COMSPEC.
  Windows(Console& console, const session::Session& session, platform::System& system,
          const session::Environment& environment);
  Windows(const Windows&) = delete;
  Windows& operator=(const Windows&) = delete;

  Console& console() { return console_; }

  // Saves the rectangle (absolute, frame included), the cursor and the current window, and
  // makes the rectangle the current window. Draws nothing. Returns false when the rectangle
  // was refused (a row outside 1..ScreenRows(), a column outside 1..ScreenCols(), a value
  // above 99, top below bottom or left right of right): the screen and the current window are
  // unchanged, but the refused window still waits for its WinClose.
  //
  // When the stack file cannot be written (no temporary directory, disk full) the window is
  // saved in memory instead, so it is restored all the same.
  bool WinOpen(int top, int left, int bottom, int right);

  // Closes the innermost window: restores every cell it covered with its colours, the
  // enclosing window and the cursor. The attribute in force afterwards is that of the last
  // restored cell; callers set the colour they need (usually by popping the one they pushed).
  // Nothing happens with no window open, or when the innermost one was refused.
  //
  // When the stack file's record cannot be read back (the file was damaged or removed), the
  // enclosing window and the cursor are still restored from what this object remembers; the
  // covered cells cannot be, and the stack is cut back to where the record began.
  void WinClose();

  // Windows opened and not yet closed, refused ones included.
  int OpenCount() const { return static_cast<int>(open_.size()); }

  // Shows a text in a framed box centred around a screen row and column 41, word-wrapped at
  // 76 characters, in reverse video (colour entry 2). The box stays; the caller closes it with
  // WinClose. Returns false when the box does not fit on the screen: nothing is shown, and the
  // caller's WinClose still closes nothing else. The current colour is unchanged afterwards.
  bool MessageBox(int row, std::string_view text);

  // Shows the help for a topic (a name without directory or extension; trailing blanks are
  // ignored) and returns when the operator has finished.
  //
  // On the windowed platform (session PlatformMode "WIN") the document launcher DOCOPEN is
  // started for "AJUDA\<topic>.HTM" and waited for; its arguments are passed as a vector and
  // no command interpreter reads them, unless COMSPEC names the Windows command interpreter,
  // which is then started as "<COMSPEC> /C DOCOPEN AJUDA\<topic>.HTM". When the launcher
  // cannot be started at all, the built-in viewer is shown instead.
  //
  // Otherwise the built-in viewer shows "AJUDA\<topic>.HLP" in a double frame over screen rows
  // 4 to ScreenRows() - 3: Up, Down, PgUp, PgDn, Home and End move through the text, F1 opens
  // the general help topic HUBTOPIC (except from HUBTOPIC itself), Escape leaves. A missing
  // help file is created empty; when it cannot be created either (no AJUDA directory) the
  // viewer is shown empty. A topic that is not a plain name (only letters, digits and
  // "_-$#@~", at most 64 characters) is never used in a file name or a command: the viewer is
  // shown empty.
  void ShowHelp(std::string_view topic);

 private:
  // One window opened and not yet closed.
  struct OpenWindow {
    enum class Kind {
      kRefused,  // not opened: its WinClose does nothing
      kInFile,   // saved in the stack file at `start`
      kInMemory  // the stack file could not be written: saved in `saved`
    };
    Kind kind = Kind::kRefused;
    std::int64_t start = 0;  // position of the record in the stack file
    // The record as written; for kInFile without the cells, which live only in the file.
    WindowRecord saved;
  };

  std::string StackPath() const;
  void Restore(const WindowRecord& record, bool withCells);
  bool RunLauncher(const std::string& topic);
  void ShowViewer(const std::string& topic, bool plainTopic);

  Console& console_;
  const session::Session& session_;
  platform::System& system_;
  const session::Environment& environment_;
  std::vector<OpenWindow> open_;
};

// True for a help topic that can be used as it is in a file name and on a command line: 1 to
// 64 characters, each an ASCII letter, a digit or one of "_-$#@~".
bool IsPlainHelpTopic(std::string_view topic);

// The argument vector that starts the document launcher for a topic on the windowed platform:
// {COMSPEC, "/C", "DOCOPEN", "AJUDA\<topic>.HTM"} when COMSPEC names the Windows command
// interpreter (cmd.exe or command.com, in any case, with or without a directory), else
// {"DOCOPEN", "AJUDA\<topic>.HTM"}.
std::vector<std::string> LauncherArguments(std::string_view topic, const std::optional<std::string>& comspec);

}  // namespace tui
