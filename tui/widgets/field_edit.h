// The field editor: one field of a form edited in place.
//
// FieldEdit reads keys from the console and draws; everything it decides about the text, the
// cursor position and the current item of a choice field is done by FieldEditCore, so the
// rules can be checked key by key without a console. Positions are 1-based as the operator
// sees them: 1 to L + 1 for a text of length L (L + 1 is just past the last character).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tui/console/console.h"
#include "tui/console/keys.h"

namespace tui {

// One entry of a choice list "|value,label|value,label": the byte offset of its bar in the
// list, the value stored in the field and the label shown.
struct ChoiceItem {
  std::size_t bar = 0;
  std::string value;
  std::string label;
};

// Splits a choice list into its entries. Text before the first bar is ignored and a closing
// bar after the last entry is allowed (it starts no entry). An entry without a comma has
// that text as its value and as its label.
std::vector<ChoiceItem> ParseChoiceList(std::string_view list);

// Word movement: the separators are blank, comma, full stop, semicolon and colon.
bool IsWordSeparator(char c);
// Ctrl+Left from a position above 1: the first character of the word at or before the
// character before the cursor (1 when no separator precedes it).
int WordStartBefore(std::string_view text, int position);
// Ctrl+Right from a position of at most L: the start of the next word, or L + 1.
int NextWordStart(std::string_view text, int position);

// The exit translation, first match only: Shift+Tab becomes Up, Tab becomes Enter, Enter
// becomes End when endAccepted (the active key set accepts End, as an empty set accepts every
// key), Ctrl+F4 and Alt+F4 become Escape.
KeyCode TranslateExitKey(KeyCode key, bool endAccepted);

// Upper-case folding without accents of one byte, as the choice search compares letters.
using FoldFunction = char (*)(char);

// What one key did to the field.
enum class EditOutcome {
  kNothing,  // handled (or ignored); the cursor may have moved
  kEcho,     // overwrite: the character was stored; print it at the old cursor cell
  kRedraw,   // the text or the shown label changed; redraw the field
  kCopy,     // put CopyText() on the clipboard
  kPaste,    // give the clipboard's text to Paste()
  kEnds,     // the key ends the edit
};

// What a click did.
enum class ClickOutcome {
  kMoved,    // inside a text field: the position moved
  kDropped,  // inside a choice field but not on a pointer: nothing happens
  kLeft,     // on the choice field's left pointer: act as Left
  kRight,    // on the right pointer: act as Right
  kOutside,  // outside the field: the click ends the edit
};

class FieldEditCore {
 public:
  // text: the caller's buffer, its length L never changes. position is clamped to 1..L+1.
  // width: cells per screen row (already resolved: never 0). choiceList: empty for a text
  // field. fold: the accent-stripping upper-case folding used by the first-letter search.
  FieldEditCore(std::string& text, int position, int width, std::string_view choiceList,
                FoldFunction fold);

  // Handles one key that is not a click. insert is the current insert state.
  EditOutcome HandleKey(KeyCode key, bool insert);
  // Handles a click at absolute (row, column) with the field's first cell at (r0, c0).
  ClickOutcome HandleClick(int row, int column, int r0, int c0);

  // Ctrl+C: the text without surrounding blanks, or a choice field's current label.
  std::string CopyText() const;
  // Ctrl+V: control characters, 127 and 255 removed, surrounding blanks dropped, the rest
  // written over the text from the position on, cut at its end.
  void Paste(std::string_view clipboard);

  // Writes the current choice item's value into the text (left-aligned, blank-padded, cut),
  // once an item is chosen: the text matched an item, or a key chose one. A text that matches
  // no item is shown as the first item but kept as it is until the operator chooses.
  void StoreChoiceValue();

  bool IsChoice() const { return !items_.empty(); }
  int LabelWidth() const { return labelWidth_; }
  const std::string& CurrentLabel() const;
  std::size_t CurrentItem() const { return current_; }
  const std::vector<ChoiceItem>& Items() const { return items_; }

  int Position() const { return position_; }
  int Length() const { return static_cast<int>(text_.size()); }
  int Width() const { return width_; }
  const std::string& Text() const { return text_; }

  // The cursor cell relative to the field's first cell (row and column offsets from 0).
  // Just past the end of a text that fills its last row, the cursor stands after that row's
  // last cell rather than at the start of a row below.
  void CursorOffset(int& rowOffset, int& columnOffset) const;

 private:
  EditOutcome HandleTextKey(KeyCode key, bool insert);
  EditOutcome HandleChoiceKey(KeyCode key);
  void RemoveAt(int position);
  void SearchFirstLetter(char typed);

  std::string& text_;
  int position_;
  int width_;
  std::vector<ChoiceItem> items_;
  std::size_t current_ = 0;
  bool chosen_ = false;  // current_ matches the text or was chosen by a key
  int labelWidth_ = 0;
  FoldFunction fold_;
};

// ---- The editor on the console ------------------------------------------------------------

// Click codes of the field editor: a click at absolute (row, column) ends an edit as the key
// -(100 x column + row). Columns are kept to 1..255 and rows to 1..99 so that every click code
// lies in -1..-25599 and never meets the extended keys whose codes are negative in 16 bits
// (F11, F12 and their modified forms, 0x8500 to 0x8C00).
inline constexpr int kMaxClickCode = 25599;
KeyCode FieldClickCode(int row, int column);
// True for a click code (as opposed to a key whose code happens to be negative).
constexpr bool IsFieldClick(KeyCode key) { return key < 0 && key >= -kMaxClickCode; }
// The absolute row and column of a click code.
constexpr int FieldClickRow(KeyCode key) { return (-key) % 100; }
constexpr int FieldClickColumn(KeyCode key) { return (-key) / 100; }

// Cursor heights of the two typing modes.
inline constexpr int kInsertCursorHeight = 50;
inline constexpr int kOverwriteCursorHeight = 100;

// Edits one field in place until a key ends the edit.
//   row, column: the field's first cell relative to the current window; 0 means the cursor's
//     current row or column (made relative to the window), stored back.
//   width: cells per screen row; 0 (or less) means the text's length plus 1, stored back.
//   text: the value; its length never changes.
//   position: the cursor position 1..L+1, clamped at entry, returned where the operator left.
//   key: result, the key that ended the edit after the exit translation and the active key
//     set's mapping, or a click code (see above) for a click outside the field.
// Reads the console's choice list (a choice field when set), mask character, key set and
// Insert toggle; neither the choice list nor the mask is cleared here. Leaves colour entry 0
// ("h") selected and the cursor hidden at the field's first cell.
void FieldEdit(Console& console, std::int16_t& row, std::int16_t& column, std::int16_t& width,
               std::string& text, std::int16_t& position, KeyCode& key);

}  // namespace tui
