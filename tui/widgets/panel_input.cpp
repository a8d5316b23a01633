#include "tui/widgets/panel_input.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "tui/widgets/field_edit.h"
#include "tui/widgets/list_browse.h"

namespace tui {

namespace {

using session::FormField;
using session::FormPanel;

// Leaves the panel at once, as a key code of its own.
constexpr KeyCode kLeaveKey = 2;
// Always added to a panel's key list: help.
constexpr std::string_view kHelpKeyItem = ",3b00";

// The keys with which a linked panel's input makes the panel that links to it leave too.
bool LeavesChain(KeyCode k) {
  return k == key::kPgUp || k == key::kPgDn || k == key::kEnd || k == kLeaveKey || k == key::kEnter ||
         k == key::kDown || k == key::kUp;
}

bool PassedOver(const FormField& field) { return (field.Attribute[session::kFieldFlags] & 4) != 0; }

std::string_view TrimRight(std::string_view text) {
  std::size_t last = text.find_last_not_of(' ');
  return last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1);
}

bool AllBlank(std::string_view text) { return text.find_first_not_of(' ') == std::string_view::npos; }

// The first and the last field that is not passed over; both 0 when there is none.
struct Bounds {
  int first = 0;
  int last = 0;
};

Bounds FindBounds(const session::Form& form, int p) {
  Bounds b;
  const FormPanel& panel = form.Panel(p);
  for (int k = 1; k <= panel.FieldCount && form.HasField(p, k); ++k) {
    if (PassedOver(form.Field(p, k))) continue;
    if (b.first == 0) b.first = k;
    b.last = k;
  }
  return b;
}

int ValueColumn(const FormField& field) {
  return field.Attribute[session::kFieldColumn] + static_cast<int>(field.Label.size());
}

// Prints a working text at its field (in slices of the line length for a field over several
// rows) followed by the blanked extra columns. A masked text shows as blanks.
void ReprintWorking(Console& console, const FormField& field, const std::string& working, bool masked) {
  const int row = field.Attribute[session::kFieldRow];
  const int column = ValueColumn(field);
  const int lineLength = field.Attribute[session::kFieldLineLength];
  const std::string shown = masked ? std::string(working.size(), ' ') : working;
  if (lineLength > 0) {
    int k = 0;
    for (std::size_t at = 0; at < shown.size(); at += static_cast<std::size_t>(lineLength), ++k) {
      console.WinLocate(row + k, column);
      console.Print(std::string_view(shown).substr(at, static_cast<std::size_t>(lineLength)));
    }
    console.WinLocate(row, column + lineLength);
  } else {
    console.WinLocate(row, column);
    console.Print(shown);
  }
  console.PrintSpaces(field.Attribute[session::kFieldExtra]);
}

// The field under a click, in the panel window's coordinates; 0 when none.
int FieldAt(const session::Form& form, int p, int row, int column) {
  const FormPanel& panel = form.Panel(p);
  for (int k = 1; k <= panel.FieldCount && form.HasField(p, k); ++k) {
    const FormField& field = form.Field(p, k);
    if (PassedOver(field)) continue;
    const int top = field.Attribute[session::kFieldRow];
    const int left = field.Attribute[session::kFieldColumn];
    const int width = field.Attribute[session::kFieldWidth];
    const int lineLength = field.Attribute[session::kFieldLineLength];
    const int rows = lineLength != 0 ? width / lineLength : 1;
    const int columns = static_cast<int>(field.Label.size()) + (lineLength != 0 ? lineLength : width) +
                        field.Attribute[session::kFieldExtra];
    if (row >= top && row < top + rows && column >= left && column < left + columns) return k;
  }
  return 0;
}

class PanelRun {
 public:
  PanelRun(Widgets& widgets, int p, bool topLevel, bool allowPrevious, bool allowNext)
      : w_(widgets),
        console_(widgets.console),
        p_(p),
        panel_(widgets.form.Panel(p)),
        topLevel_(topLevel),
        allowPrevious_(allowPrevious),
        allowNext_(allowNext) {}

  KeyCode Run();

 private:
  // Edits from `field` on until a key leaves the panel (or the field runs past the last).
  void EditFields();
  // Edits the current field once (steps 1 to 8); `key` holds the previous key on entry and
  // the key that left the field on return.
  void EditField();
  // Acts on the key; true when it leaves the panel.
  bool Move(const Bounds& bounds);
  KeyCode RunLinked() {
    return PanelInput(w_, static_cast<std::int16_t>(-panel_.LinkedPanel), allowPrevious_, allowNext_);
  }

  Widgets& w_;
  Console& console_;
  const int p_;
  FormPanel& panel_;
  const bool topLevel_;
  const bool allowPrevious_;
  const bool allowNext_;
  int field_ = 0;
  KeyCode key_ = 0;
};

KeyCode PanelRun::Run() {
  const bool hasWindow = panel_.Box[session::kBoxTop] != 0;
  if (hasWindow) {
    console_.ScreenColour("+n");
    w_.windows.WinOpen(panel_.Box[session::kBoxTop], panel_.Box[session::kBoxLeft], panel_.Box[session::kBoxBottom],
                       panel_.Box[session::kBoxRight]);
    console_.DrawFrame(2);
    console_.ScreenColour("-");
  }
  w_.module.ShowPanel(static_cast<std::int16_t>(p_));

  Bounds bounds = FindBounds(w_.form, p_);
  bool leaving = bounds.first == 0;
  if (!leaving) {
    // Resume in a later panel of the chain when the operator paged out of it last time.
    std::vector<int> chain;
    for (int q = p_; q != 0 && w_.form.HasPanel(q); q = w_.form.Panel(q).LinkedPanel) {
      if (std::find(chain.begin(), chain.end(), q) != chain.end()) break;  // a loop: stop
      chain.push_back(q);
    }
    if (std::find(chain.begin(), chain.end(), w_.resumePanel) == chain.end()) w_.resumePanel = 0;
    if (w_.resumePanel != 0 && w_.resumePanel != p_) {
      KeyCode k = RunLinked();
      if (LeavesChain(k)) {
        key_ = k;
        leaving = true;
      }
    } else {
      w_.resumePanel = 0;
    }
    field_ = bounds.first;
  }

  while (true) {
    if (!leaving) EditFields();
    if (w_.module.CheckPanel(static_cast<std::int16_t>(p_), key_) == 0) break;
    bounds = FindBounds(w_.form, p_);
    if (bounds.first == 0) {
      // Nothing to edit: the operator must answer with a key before the next try.
      key_ = console_.GetKey();
      leaving = true;
    } else {
      field_ = bounds.first;
      leaving = false;
    }
  }
  if (hasWindow) w_.windows.WinClose();
  return key_;
}

void PanelRun::EditFields() {
  Bounds bounds = FindBounds(w_.form, p_);
  while (bounds.first != 0 && field_ >= bounds.first && field_ <= bounds.last) {
    const int before = field_;
    const bool passed = PassedOver(w_.form.Field(p_, field_));
    EditField();
    bounds = FindBounds(w_.form, p_);
    if (bounds.first == 0) return;
    if (field_ < bounds.first) field_ = bounds.first;
    if (field_ > bounds.last) return;  // moved on past the last field: leave
    if (Move(bounds)) return;
    // A field passed over is always passed: should the key not move on, go to the next one.
    if (passed && field_ == before && field_ < bounds.last) ++field_;
  }
}

void PanelRun::EditField() {
  FormField& field = w_.form.Field(p_, field_);
  const int flags = field.Attribute[session::kFieldFlags];
  const bool fromBlanks = (flags & 3) != 0;
  const bool masked = (flags & 2) != 0;
  const bool passed = (flags & 4) != 0;
  const int extra = field.Attribute[session::kFieldExtra];
  const int row = field.Attribute[session::kFieldRow];
  const int column = ValueColumn(field);
  const int list = field.Attribute[session::kFieldList];

  console_.KeySet("+ea", panel_.KeyList + std::string(kHelpKeyItem));
  std::string working = fromBlanks ? std::string(field.Value.size(), ' ') : field.Value;
  if (masked) console_.KeySet("h");
  if (extra > 0 && !passed) {
    console_.WinLocate(row, column + static_cast<int>(field.Value.size()));
    console_.PrintSpaces(extra);
  }

  while (!passed) {
    console_.SetChoiceList(field.Choices);
    std::int16_t editRow = static_cast<std::int16_t>(row);
    std::int16_t editColumn = static_cast<std::int16_t>(column);
    std::int16_t width = field.Attribute[session::kFieldLineLength];
    std::int16_t position = 1;
    if (flags & 8) position = static_cast<std::int16_t>(TrimRight(working).size() + 1);
    FieldEdit(console_, editRow, editColumn, width, working, position, key_);

    bool refused = false;
    if (key_ == key::kF1) {
      std::string_view topic = TrimRight(w_.session.MenuName);
      if (!topic.empty()) w_.windows.ShowHelp(topic);
      key_ = 0;
    } else if (key_ == key::kF4) {
      key_ = 0;
      if (list != 0) {
        const Bounds bounds = FindBounds(w_.form, p_);
        while (true) {
          if (ListBrowse(w_, static_cast<std::int16_t>(list)) != 0) {
            refused = true;
            break;
          }
          std::int16_t picked = static_cast<std::int16_t>(list);
          std::int16_t target = static_cast<std::int16_t>(field_);
          w_.module.ListPick(picked, static_cast<std::int16_t>(p_), target);
          if (picked == 0) continue;  // the module asks for the list again
          if (target == field_) {
            key_ = (field_ == bounds.last && panel_.LinkedPanel == 0) ? key::kEnter : key::kDown;
          } else {
            field_ = target;
            if (w_.form.HasField(p_, target) && PassedOver(w_.form.Field(p_, target)) && target != bounds.last) {
              key_ = key::kDown;
            }
          }
          break;
        }
      }
    } else {
      if (extra > 0) ReprintWorking(console_, field, working, masked);
      if (key_ == key::kEscape) {
        w_.module.ShowFieldValue(static_cast<std::int16_t>(p_), static_cast<std::int16_t>(field_));
      } else {
        if (fromBlanks && AllBlank(working)) working = field.Value;
        refused = w_.module.AcceptFieldValue(static_cast<std::int16_t>(p_), working,
                                             static_cast<std::int16_t>(field_), key_) != 0;
      }
    }
    if (!refused) break;
    w_.system.Beep();  // and edit again from the text as typed
  }

  if (masked) console_.KeySet("v");
  console_.KeySet("-");
}

bool PanelRun::Move(const Bounds& bounds) {
  switch (key_) {
    case key::kPgUp:
      if (!allowPrevious_ || field_ > bounds.first) {
        field_ = bounds.first;
        w_.resumePanel = 0;
        return false;
      }
      w_.resumePanel = static_cast<std::int16_t>(p_);
      return true;
    case key::kPgDn:
      if (!allowNext_ || field_ < bounds.last) {
        field_ = bounds.last;
        w_.resumePanel = 0;
        return false;
      }
      w_.resumePanel = static_cast<std::int16_t>(p_);
      return true;
    case key::kEnd:
    case kLeaveKey:
      return true;
    case key::kEscape:
      if (field_ == bounds.first) return true;
      field_ = bounds.first;
      return false;
    case key::kEnter:
    case key::kDown:
    case key::kF2:
      if ((field_ == bounds.last || key_ == key::kF2) && panel_.LinkedPanel != 0) {
        KeyCode k = RunLinked();
        if (LeavesChain(k)) {
          key_ = k;
          return true;
        }
        return false;  // back from the linked panel: stay on this field
      }
      if (key_ == key::kDown) {
        if (field_ < bounds.last) ++field_;
      } else if (key_ == key::kEnter) {
        ++field_;  // past the last field this leaves the panel
      }
      return false;
    case key::kUp:
      if (field_ == bounds.first) {
        if (topLevel_) return false;
        key_ = key::kEscape;
        return true;
      }
      --field_;
      return false;
    case 0:
      return false;
    default:
      break;
  }
  if (IsFieldClick(key_)) {
    int row = FieldClickRow(key_);
    int column = FieldClickColumn(key_);
    if (panel_.Box[session::kBoxTop] != 0) {
      row -= panel_.Box[session::kBoxTop];
      column -= panel_.Box[session::kBoxLeft];
    }
    int k = FieldAt(w_.form, p_, row, column);
    if (k != 0) field_ = k;
    return false;
  }
  return true;
}

}  // namespace

KeyCode PanelInput(Widgets& widgets, std::int16_t panel, bool allowPrevious, bool allowNext) {
  const bool topLevel = panel >= 0;
  const int p = std::abs(static_cast<int>(panel));
  if (!widgets.form.HasPanel(p)) return key::kEscape;
  PanelRun run(widgets, p, topLevel, allowPrevious, allowNext);
  return run.Run();
}

}  // namespace tui
