#include "tui/popups/popups.h"

#include "tui/popups/calculator.h"
#include "tui/popups/calendar.h"

namespace tui {

Popups::Popups(Console& console, Windows& windows, values::Values& values, const session::Session& session,
               platform::System& system)
    : console_(console), windows_(windows), values_(values), session_(session), system_(system) {}

HotKeyHooks Popups::Hooks() {
  HotKeyHooks hooks;
  // The console passes itself; it is the one these windows draw on, so it is not needed here.
  hooks.calculator = [this](Console&) { return Calculator(); };
  hooks.calendar = [this](Console&) { return Calendar(); };
  return hooks;
}

std::string Popups::Calendar() { return CalendarPopup(console_, windows_, values_, session_, system_); }

std::string Popups::Calculator() { return CalculatorPopup(console_, windows_, values_, session_); }

}  // namespace tui
