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
#pragma once

#include <string>

#include "platform/system.h"
#include "session/session.h"
#include "tui/console/console.h"
#include "tui/windows/windows.h"
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

}  // namespace tui
