// Screen forms: the panels (groups of labelled fields, each optionally in its own framed window)
// and selection lists of a module, read once at start-up from RootDir + "FORMS\" + module name +
// ".ZPN".
//
// The form tables are one object that the program owns: panel input, the list browser and the
// program's display and look-up operations read it, and write the field values in place (always
// keeping each value exactly as long as its field's width). Panels, fields and lists are
// numbered from 1 as in the form file; index 0 of each table exists and is never used.
//
// Form file format (code page 850, items as in session/items.h). The file carries no names or
// markers: items are read in this fixed order, so an item in the wrong place shifts every item
// after it.
//
//   header:  panel count, maximum field count
//   panel:   key list, field count, linked panel, box top, box left, box bottom, box right,
//            then per field ten items: row, column, label, width, attribute 3, attribute 4,
//            attribute 5, attribute 6 (type), attribute 7 (list), choices
//   lists:   list count
//   list:    attributes 0 to 6, title, attribute 7
//
// Number items are decimal numbers rounded to 16-bit integers (an empty item is 0); text items
// are quoted or run to the next comma or line end. Where a record starts, blank lines and
// comment lines (first non-blank character an apostrophe "'") are skipped; inside a record an
// apostrophe line is read as items. The file may end after the header (no panels are read),
// after the last panel (no lists) or after the list count; a list count of 0 ends the file.
//
// Labels, choice lists and list titles are translated into the session language as they are
// read, in file order.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "session/catalogue.h"

namespace session {

// Indexes of a field's eight attributes.
enum FieldAttribute : int {
  kFieldRow = 0,         // row of the label, relative to the panel's window
  kFieldColumn = 1,      // column of the label; the value follows the translated label
  kFieldWidth = 2,       // length of the value text
  kFieldLineLength = 3,  // line length of a text shown over several lines; 0 for one line
  kFieldExtra = 4,       // extra display characters of a number (its grouping characters)
  kFieldFlags = 5,       // 1 edit from blanks, 2 masked typing, 4 passed over, 8 cursor at end
  kFieldType = 6,        // 1 number 1..9999, 3 date, 4 whole number, 5 cents, 6 decimal; else text
  kFieldList = 7,        // selection list offered with F4, 0 for none
};

// Indexes of a selection list's eight attributes.
enum ListAttribute : int {
  kListFile = 0,       // FileHandle of the record file shown; 0 for lines prepared beforehand
  kListKey = 1,        // key number by which the list reads that file
  kListTop = 2,        // window: top row, left column, bottom row, right column
  kListLeft = 3,
  kListBottom = 4,
  kListRight = 5,
  kListPanel = 6,      // 0, or a panel whose input runs before the list is shown
  kListNextList = 7,   // 0, or a list the browser opens from this one with F4
};

// Indexes of the panel box.
enum PanelBox : int { kBoxTop = 1, kBoxLeft = 2, kBoxBottom = 3, kBoxRight = 4 };

struct FormField {
  std::string Label;    // printed before the value; translated
  std::string Choices;  // empty, or a choice list "|value,text|value,text"; translated
  std::string Value;    // the current value: exactly Attribute[kFieldWidth] characters
  std::array<std::int16_t, 8> Attribute{};

  // Stores a text into the value: left-aligned, padded with blanks and cut to the value's
  // length, which never changes.
  void Store(std::string_view text);
};

struct FormPanel {
  std::string KeyList;  // hexadecimal key codes ending an edit, comma-separated; not translated
  std::int16_t FieldCount = 0;
  std::int16_t LinkedPanel = 0;     // 0 for none
  std::array<std::int16_t, 5> Box{};  // kBoxTop..kBoxRight; a top of 0 means no window
  std::vector<FormField> Fields;    // 0 (unused) to FieldCount
};

struct FormList {
  std::array<std::int16_t, 8> Attribute{};
  std::string Title;  // translated
};

class Form {
 public:
  std::int16_t PanelCount = 0;
  std::int16_t MaxFieldCount = 0;
  std::int16_t ListCount = 0;
  std::vector<FormPanel> Panels;  // 0 (unused) to PanelCount; empty before a header is read
  std::vector<FormList> Lists;    // 0 (unused) to ListCount; empty before the list count is read

  bool HasPanel(int p) const { return p >= 1 && p < static_cast<int>(Panels.size()); }
  bool HasField(int p, int k) const {
    return HasPanel(p) && k >= 1 && k < static_cast<int>(Panels[static_cast<std::size_t>(p)].Fields.size());
  }
  bool HasList(int i) const { return i >= 1 && i < static_cast<int>(Lists.size()); }

  // Checked access: the numbers must pass HasPanel, HasField, HasList (aborts otherwise).
  FormPanel& Panel(int p);
  const FormPanel& Panel(int p) const;
  FormField& Field(int p, int k);
  const FormField& Field(int p, int k) const;
  FormList& List(int i);
  const FormList& List(int i) const;
};

// The outcome of loading a form: ok, or a message naming the file and where it went wrong
// (line, and which item of which record).
struct FormStatus {
  bool ok = true;
  std::string message;
  explicit operator bool() const { return ok; }
};

// The form file's system path: rootDir + "FORMS\" + moduleName + ".ZPN".
std::string FormPath(std::string_view rootDir, std::string_view moduleName);

// Reads the form file of the module into `form` (replacing what it held), translating labels,
// choice lists and list titles with `translator`. Never ends the process: a missing file, a
// file that ends inside a record or between two panel or list records, a number that is not a
// number or does not fit 16 bits, a negative count or width, a field count above the header's
// maximum, a linked panel that does not exist or a chain of linked panels that loops, and a
// list or panel number past its table all fail with a message; `form` is then left empty.
FormStatus LoadForm(std::string_view rootDir, std::string_view moduleName, Translator& translator, Form& form);

// The same over the bytes of a form file; `fileName` is used in messages only.
FormStatus ParseForm(std::string_view content, std::string_view fileName, Translator& translator, Form& form);

}  // namespace session
