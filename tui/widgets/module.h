// The operations a module of the suite supplies to the generic widgets.
//
// Panel input and the selection list browser know the form tables but nothing of a module's
// data: they call back through this interface to draw a panel and its values, to check and
// store a typed value, to check a whole panel before it is left, and to fill, limit and take
// over the lines of a selection list. Every module implements it once and hands it to the
// widgets; tests implement it with small fakes.
//
// Panels, fields and lists are the 1-based numbers of the form tables. Statuses follow the
// widgets' convention: 0 accepts, anything else refuses.
#pragma once

#include <cstdint>
#include <string>

#include "platform/system.h"
#include "session/form.h"
#include "session/session.h"
#include "storage/record_layer.h"
#include "tui/console/console.h"
#include "tui/windows/windows.h"

namespace tui {

class Module {
 public:
  virtual ~Module() = default;

  // Draws panel p: its heading, labels and values, inside the panel's window when it has one.
  virtual void ShowPanel(std::int16_t panel) = 0;

  // Redraws the stored value of one field.
  virtual void ShowFieldValue(std::int16_t panel, std::int16_t field) = 0;

  // Checks the text typed into a field (already its full width) and, when it passes, stores it
  // into the field value and redraws it. key is the key that ended the edit. Returns 0 when the
  // text was accepted; any other value refuses it and leaves the field value as it was.
  virtual std::int16_t AcceptFieldValue(std::int16_t panel, const std::string& text, std::int16_t field,
                                        std::int16_t key) = 0;

  // Called when the operator leaves panel p with key. Returns 0 to let the panel be left, any
  // other value to keep the operator in it (the module tells why, e.g. in a message box).
  virtual std::int16_t CheckPanel(std::int16_t panel, std::int16_t key) = 0;

  // The text of the list line for the record now in the record area of the list's file. An
  // empty (or all blank) text leaves that record out of the list.
  virtual std::string ListLineText(std::int16_t list) = 0;

  // Takes over the line just picked from a list: the picked record is in its file's record
  // area (or, for a prepared list, in the browser's picked value and text). field may be
  // changed to continue on another field; setting list to 0 asks for the list to be shown
  // again. Called with panel and field 0 after a pick in a list opened from another list.
  virtual void ListPick(std::int16_t& list, std::int16_t panel, std::int16_t& field) = 0;

  // Sets the lower and upper key limits of a list over a record file (empty texts: the whole
  // file). Returns 0 to open the list, any other value to refuse it (the value becomes the
  // browser's result).
  virtual std::int16_t ListKeyRange(std::int16_t list, std::string& lower, std::string& upper) = 0;
};

// Everything panel input and the list browser work with, owned by the program and handed to
// them: the console and its windows, the form tables, the record files, the session, the
// system services and the module's operations. All references must outlive the bundle.
//
// The bundle also holds the widgets' own state that outlives a single call: the panel a chain
// of linked panels resumes in, and what was last picked from a prepared list.
struct Widgets {
  Widgets(Console& console_, Windows& windows_, session::Form& form_, storage::RecordLayer& records_,
          const session::Session& session_, platform::System& system_, Module& module_)
      : console(console_),
        windows(windows_),
        form(form_),
        records(records_),
        session(session_),
        system(system_),
        module(module_) {}

  Console& console;
  Windows& windows;
  session::Form& form;
  storage::RecordLayer& records;
  const session::Session& session;
  platform::System& system;
  Module& module;

  // The panel the operator last left with PgUp or PgDn at its edge; 0 at start. A new input on
  // the first panel of a chain of linked panels resumes there.
  std::int16_t resumePanel = 0;
  // The record position field and the text of the entry last picked from a prepared list.
  std::int32_t pickedValue = 0;
  std::string pickedText;
};

}  // namespace tui
