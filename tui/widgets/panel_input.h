// Panel input: the operator's input over one panel of the screen form.
//
// PanelInput opens the panel's window (when it has one), lets the module draw the panel, then
// edits the panel's fields one after another with the field editor, moving between them by key
// or click, and returns the key with which the operator left the panel. The module takes part
// through its operations (module.h): it checks and stores each typed value, redraws a value,
// checks the whole panel before it may be left, and takes over a line picked from the
// selection list that F4 opens on a field that names one.
//
// Field attributes used (session/form.h): row and column of the label (the value follows the
// label), width, line length (several rows), extra display columns of a number, flags (1 edit
// from blanks and keep the old value when left blank; 2 the same, typing masked; 4 passed
// over; 8 cursor after the last non-blank character) and the list opened with F4.
//
// Keys that leave a field (the panel's key list, plus F1 for help) and what they do:
//   PgUp / PgDn   to the first / last field; at that edge, when allowed, leave the panel
//   Escape        to the first field; on the first field, leave
//   Enter         to the next field; after the last field, continue in the linked panel or leave
//   Down          to the next field; on the last, continue in the linked panel
//   F2            continue in the linked panel
//   Up            to the previous field; on the first field of a linked panel, back to the
//                 panel that links to it
//   End, 2        leave
//   a click       to the field under it
//   F1            help on the module's menu name (the session's NomMenu); F4 the field's list
//   any other key leave
// Leaving asks the module's CheckPanel; a refusal brings the operator back to the first field.
//
// A panel may be linked to a further panel that continues it. The widgets' resumePanel
// remembers the panel of such a chain that the operator left with PgUp or PgDn, so that the
// next input on the chain's first panel resumes there.
#pragma once

#include <cstdint>

#include "tui/console/keys.h"
#include "tui/widgets/module.h"

namespace tui {

// Runs the input over panel |panel| (a negative number: called from the panel that links to
// this one). allowPrevious / allowNext let the operator leave with PgUp / PgDn at the first /
// last field. Returns the key that left the panel (a click code never leaves it).
KeyCode PanelInput(Widgets& widgets, std::int16_t panel, bool allowPrevious, bool allowNext);

}  // namespace tui
