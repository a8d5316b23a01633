// The calendar and the adding machine that the key reader opens from any input.
//
// The program makes one Popups over its console, windows, values, session and system and
// hands its hooks to the console once; from then on Alt+C during any key read opens the
// calendar and Alt+X the calculator, and the text the pop-up returns is typed through the
// console's typeahead into whatever is being edited:
//
//   tui::Popups popups(console, windows, values, session, system);
//   console.SetHotKeyHooks(popups.Hooks());
//
// The console keeps the guards: while the calculator is open Alt+X reaches it as a plain key,
// and the same for Alt+C in the calendar. Both pop-ups save the caller's key set, colour and
// cursor and give them back on leaving, so a field edit carries on in the same field with the
// result typed in.
//
// This header also holds the drawing helpers the two pop-ups share.
#pragma once

#include <string>
#include <string_view>

#include "platform/system.h"
#include "session/session.h"
#include "tui/console.h"
#include "tui/windows.h"
#include "values/values.h"

namespace tui {

class Popups {
 public:
  // All five must outlive this object (and the hooks it hands out). The session is read at
  // every opening: the working date and language for the calendar, the terminal directory
  // (ZEDCALC.TMP) and the language for the calculator.
  Popups(Console& console, Windows& windows, values::Values& values, const session::Session& session,
         platform::System& system);
  Popups(const Popups&) = delete;
  Popups& operator=(const Popups&) = delete;

  // The hooks for Console::SetHotKeyHooks; they call Calendar() and Calculator() below.
  HotKeyHooks Hooks();

  // Opens the calendar (Alt+C) and returns the chosen date's text, "" after Escape.
  std::string Calendar();
  // Opens the calculator (Alt+X) and returns the result in hundredths, "" after Escape.
  std::string Calculator();

 private:
  Console& console_;
  Windows& windows_;
  values::Values& values_;
  const session::Session& session_;
  platform::System& system_;
};

// ---- Shared by the pop-ups ------------------------------------------------------------------

// Prints a text at an absolute cell, cut at the screen's right edge; nothing when the row or
// the column is off the screen. Never wraps onto the next row and never reaches a cell that
// the screen does not have.
void PrintClipped(Console& console, int row, int column, std::string_view text);

// Opens a window over the rectangle as far as it lies on the screen, so that whatever part of
// a pop-up can be drawn is saved and restored even on a screen smaller than the pop-up. On a
// screen that holds the whole rectangle this is WinOpen(top, left, bottom, right). A rectangle
// entirely off the screen is refused by WinOpen and, as always, still waits for its WinClose.
// Returns whether the window opened.
bool OpenClippedWindow(Console& console, Windows& windows, int top, int left, int bottom, int right);

// The caller's cursor, taken on entry and given back on leaving: a pop-up hides the cursor
// while it is open, and the caller may have had it shown (a field edit) or hidden (a list).
class CursorKeeper {
 public:
  explicit CursorKeeper(Console& console) : console_(console), saved_(console.Cursor()) {}
  void Restore() {
    if (saved_.visible) {
      console_.ShowCursor(saved_.height);
    } else {
      console_.HideCursor();
    }
  }

 private:
  Console& console_;
  CursorState saved_;
};

}  // namespace tui
