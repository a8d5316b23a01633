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

namespace tui {

// Key codes the editor knows by name (16-bit: a character is its byte, an extended key its
// scan code times 256).
namespace keys {
inline constexpr std::int16_t kCtrlC = 3;
inline constexpr std::int16_t kBackspace = 8;
inline constexpr std::int16_t kTab = 9;
inline constexpr std::int16_t kEnter = 13;
inline constexpr std::int16_t kCtrlV = 22;
inline constexpr std::int16_t kCtrlY = 25;
inline constexpr std::int16_t kEscape = 27;
inline constexpr std::int16_t kSpace = 32;
inline constexpr std::int16_t kShiftTab = 0x0F00;
inline constexpr std::int16_t kF1 = 0x3B00;
inline constexpr std::int16_t kF2 = 0x3C00;
inline constexpr std::int16_t kF4 = 0x3E00;
inline constexpr std::int16_t kHome = 0x4700;
inline constexpr std::int16_t kUp = 0x4800;
inline constexpr std::int16_t kPgUp = 0x4900;
inline constexpr std::int16_t kLeft = 0x4B00;
inline constexpr std::int16_t kRight = 0x4D00;
inline constexpr std::int16_t kEnd = 0x4F00;
inline constexpr std::int16_t kDown = 0x5000;
inline constexpr std::int16_t kPgDn = 0x5100;
inline constexpr std::int16_t kIns = 0x5200;
inline constexpr std::int16_t kDel = 0x5300;
inline constexpr std::int16_t kCtrlF4 = 0x6100;
inline constexpr std::int16_t kAltF4 = 0x6B00;
inline constexpr std::int16_t kCtrlLeft = 0x7300;
inline constexpr std::int16_t kCtrlRight = 0x7400;
inline constexpr std::int16_t kCtrlHome = 0x7700;
}  // namespace keys

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
// becomes End when endAccepted (the active key set holds End), Ctrl+F4 and Alt+F4 become
// Escape.
std::int16_t TranslateExitKey(std::int16_t key, bool endAccepted);

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
  EditOutcome HandleKey(std::int16_t key, bool insert);
  // Handles a click at absolute (row, column) with the field's first cell at (r0, c0).
  ClickOutcome HandleClick(int row, int column, int r0, int c0);

  // Ctrl+C: the text without surrounding blanks, or a choice field's current label.
  std::string CopyText() const;
  // Ctrl+V: control characters, 127 and 255 removed, surrounding blanks dropped, the rest
  // written over the text from the position on, cut at its end.
  void Paste(std::string_view clipboard);

  // Writes the current choice item's value into the text (left-aligned, blank-padded, cut).
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
  EditOutcome HandleTextKey(std::int16_t key, bool insert);
  EditOutcome HandleChoiceKey(std::int16_t key);
  void RemoveAt(int position);
  void SearchFirstLetter(char typed);

  std::string& text_;
  int position_;
  int width_;
  std::vector<ChoiceItem> items_;
  std::size_t current_ = 0;
  int labelWidth_ = 0;
  FoldFunction fold_;
};

}  // namespace tui
