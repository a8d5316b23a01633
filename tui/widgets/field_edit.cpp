#include "tui/widgets/field_edit.h"

#include <algorithm>

#include "values/text.h"

namespace tui {

std::vector<ChoiceItem> ParseChoiceList(std::string_view list) {
  std::vector<ChoiceItem> items;
  std::size_t bar = list.find('|');
  while (bar != std::string_view::npos) {
    std::size_t next = list.find('|', bar + 1);
    std::string_view body = list.substr(bar + 1, next == std::string_view::npos ? std::string_view::npos
                                                                               : next - bar - 1);
    // A closing bar at the very end starts no entry.
    if (!(next == std::string_view::npos && body.empty())) {
      ChoiceItem item;
      item.bar = bar;
      std::size_t comma = body.find(',');
      if (comma == std::string_view::npos) {
        item.value = std::string(body);
        item.label = std::string(body);
      } else {
        item.value = std::string(body.substr(0, comma));
        item.label = std::string(body.substr(comma + 1));
      }
      items.push_back(std::move(item));
    }
    bar = next;
  }
  return items;
}

bool IsWordSeparator(char c) {
  return c == ' ' || c == ',' || c == '.' || c == ';' || c == ':';
}

int WordStartBefore(std::string_view text, int position) {
  int length = static_cast<int>(text.size());
  if (position <= 1) return 1;
  int start = std::min(position - 1, length);
  // The class noted so far: true while scanning a word.
  bool inWord = !IsWordSeparator(text[static_cast<std::size_t>(start - 1)]);
  for (int i = start; i >= 1; --i) {
    bool word = !IsWordSeparator(text[static_cast<std::size_t>(i - 1)]);
    if (word != inWord) {
      inWord = word;
      if (!inWord) return i + 1;  // flipped from word to separator: the word starts after it
    }
  }
  return 1;
}

int NextWordStart(std::string_view text, int position) {
  int length = static_cast<int>(text.size());
  if (position < 1) position = 1;
  if (position > length) return length + 1;
  bool inSeparator = IsWordSeparator(text[static_cast<std::size_t>(position - 1)]);
  for (int i = position + 1; i <= length; ++i) {
    bool separator = IsWordSeparator(text[static_cast<std::size_t>(i - 1)]);
    if (separator != inSeparator) {
      inSeparator = separator;
      if (!inSeparator) return i;  // flipped from separator to word
    }
  }
  return length + 1;
}

KeyCode TranslateExitKey(KeyCode key, bool endAccepted) {
  switch (key) {
    case key::kShiftTab:
      return key::kUp;
    case key::kTab:
      return key::kEnter;
    case key::kEnter:
      return endAccepted ? key::kEnd : key;
    case key::kCtrlF4:
    case key::kAltF4:
      return key::kEscape;
    default:
      return key;
  }
}

FieldEditCore::FieldEditCore(std::string& text, int position, int width, std::string_view choiceList,
                             FoldFunction fold)
    : text_(text), position_(position), width_(width < 1 ? 1 : width), fold_(fold) {
  int length = static_cast<int>(text_.size());
  position_ = std::clamp(position_, 1, length + 1);
  items_ = ParseChoiceList(choiceList);
  if (!items_.empty()) {
    // The last entry whose value equals the text, else the first.
    for (std::size_t i = 0; i < items_.size(); ++i) {
      if (items_[i].value == text_) {
        current_ = i;
        chosen_ = true;
      }
    }
    for (const ChoiceItem& item : items_) {
      labelWidth_ = std::max(labelWidth_, static_cast<int>(item.label.size()));
    }
  }
}

const std::string& FieldEditCore::CurrentLabel() const {
  static const std::string kNone;
  return items_.empty() ? kNone : items_[current_].label;
}

void FieldEditCore::StoreChoiceValue() {
  if (items_.empty() || !chosen_) return;
  std::string value = items_[current_].value;
  value.resize(text_.size(), ' ');
  text_ = value;
}

void FieldEditCore::RemoveAt(int position) {
  text_.erase(static_cast<std::size_t>(position - 1), 1);
  text_.push_back(' ');
}

void FieldEditCore::SearchFirstLetter(char typed) {
  char wanted = fold_(typed);
  std::size_t count = items_.size();
  for (std::size_t step = 1; step <= count; ++step) {
    std::size_t i = (current_ + step) % count;
    const std::string& label = items_[i].label;
    if (!label.empty() && fold_(label[0]) == wanted) {
      current_ = i;
      chosen_ = true;
      return;
    }
  }
}

EditOutcome FieldEditCore::HandleKey(KeyCode key, bool insert) {
  return items_.empty() ? HandleTextKey(key, insert) : HandleChoiceKey(key);
}

EditOutcome FieldEditCore::HandleTextKey(KeyCode key, bool insert) {
  const int length = static_cast<int>(text_.size());
  if ((key >= 32 && key <= 126) || (key >= 128 && key <= 254)) {
    if (position_ > length) return EditOutcome::kNothing;
    char c = static_cast<char>(key);
    if (!insert) {
      text_[static_cast<std::size_t>(position_ - 1)] = c;
      ++position_;
      return EditOutcome::kEcho;
    }
    if (text_.back() != ' ') return EditOutcome::kNothing;  // full: nothing may drop off
    text_.pop_back();
    text_.insert(static_cast<std::size_t>(position_ - 1), 1, c);
    ++position_;
    return EditOutcome::kRedraw;
  }
  switch (key) {
    case key::kLeft:
      if (position_ > 1) --position_;
      return EditOutcome::kNothing;
    case key::kRight:
      if (position_ <= length) ++position_;
      return EditOutcome::kNothing;
    case key::kBackspace:
      if (position_ <= 1) return EditOutcome::kNothing;
      --position_;
      RemoveAt(position_);
      return EditOutcome::kRedraw;
    case key::kDel:
      if (position_ > length) return EditOutcome::kNothing;
      RemoveAt(position_);
      return EditOutcome::kRedraw;
    case key::kHome:
      position_ = 1;
      return EditOutcome::kNothing;
    case key::kEnd: {
      std::size_t last = text_.find_last_not_of(' ');
      position_ = last == std::string::npos ? 1 : static_cast<int>(last) + 2;
      return EditOutcome::kNothing;
    }
    case key::kCtrlHome:
    case key::kCtrlY:
      text_.assign(text_.size(), ' ');
      position_ = 1;
      return EditOutcome::kRedraw;
    case key::kUp:
    case key::kShiftTab:
      if (position_ <= width_) return EditOutcome::kEnds;
      position_ -= width_;
      return EditOutcome::kNothing;
    case key::kDown:
      if (position_ > length + 1 - width_) return EditOutcome::kEnds;
      position_ += width_;
      return EditOutcome::kNothing;
    case key::kCtrlLeft:
      if (position_ <= 1) return EditOutcome::kEnds;
      position_ = WordStartBefore(text_, position_);
      return EditOutcome::kNothing;
    case key::kCtrlRight:
      if (position_ > length) return EditOutcome::kEnds;
      position_ = NextWordStart(text_, position_);
      return EditOutcome::kNothing;
    case key::kCtrlC:
      return EditOutcome::kCopy;
    case key::kCtrlV:
      return EditOutcome::kPaste;
    default:
      return EditOutcome::kEnds;
  }
}

EditOutcome FieldEditCore::HandleChoiceKey(KeyCode key) {
  const std::size_t count = items_.size();
  if ((key >= 33 && key <= 126) || (key >= 128 && key <= 254)) {
    std::size_t before = current_;
    const bool wasChosen = chosen_;
    SearchFirstLetter(static_cast<char>(key));
    return current_ == before && chosen_ == wasChosen ? EditOutcome::kNothing : EditOutcome::kRedraw;
  }
  switch (key) {
    case key::kLeft:
      current_ = current_ == 0 ? count - 1 : current_ - 1;
      chosen_ = true;
      return EditOutcome::kRedraw;
    case key::kRight:
    case key::kSpace:
      current_ = current_ + 1 == count ? 0 : current_ + 1;
      chosen_ = true;
      return EditOutcome::kRedraw;
    case key::kBackspace:
    case key::kDel:
    case key::kCtrlHome:
    case key::kCtrlY:
    case key::kCtrlV:
      return EditOutcome::kNothing;
    case key::kHome:
      position_ = 1;
      return EditOutcome::kNothing;
    case key::kEnd: {
      std::size_t last = text_.find_last_not_of(' ');
      position_ = last == std::string::npos ? 1 : static_cast<int>(last) + 2;
      return EditOutcome::kNothing;
    }
    case key::kCtrlC:
      return EditOutcome::kCopy;
    default:
      return EditOutcome::kEnds;
  }
}

ClickOutcome FieldEditCore::HandleClick(int row, int column, int r0, int c0) {
  if (!items_.empty()) {
    if (row != r0 || column < c0 - 1 || column > c0 + labelWidth_) return ClickOutcome::kOutside;
    if (column == c0 - 1) return ClickOutcome::kLeft;
    if (column == c0 + labelWidth_) return ClickOutcome::kRight;
    return ClickOutcome::kDropped;
  }
  const int length = static_cast<int>(text_.size());
  int rows = (length + 1) / width_;
  if (row < r0 || row > r0 + rows - 1 || column < c0 || column > c0 + width_ - 1) {
    return ClickOutcome::kOutside;
  }
  position_ = std::clamp((row - r0) * width_ + (column - c0) + 1, 1, length + 1);
  return ClickOutcome::kMoved;
}

std::string FieldEditCore::CopyText() const {
  if (!items_.empty()) return items_[current_].label;
  std::size_t first = text_.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  std::size_t last = text_.find_last_not_of(' ');
  return text_.substr(first, last - first + 1);
}

void FieldEditCore::Paste(std::string_view clipboard) {
  if (!items_.empty()) return;
  std::string clean;
  for (char c : clipboard) {
    auto b = static_cast<unsigned char>(c);
    if (b < 32 || b == 127 || b == 255) continue;
    clean.push_back(c);
  }
  std::size_t first = clean.find_first_not_of(' ');
  if (first == std::string::npos) return;
  std::size_t last = clean.find_last_not_of(' ');
  clean = clean.substr(first, last - first + 1);
  std::size_t at = static_cast<std::size_t>(position_ - 1);
  for (std::size_t i = 0; i < clean.size() && at + i < text_.size(); ++i) text_[at + i] = clean[i];
}

void FieldEditCore::CursorOffset(int& rowOffset, int& columnOffset) const {
  rowOffset = (position_ - 1) / width_;
  columnOffset = (position_ - 1) % width_;
  if (position_ == static_cast<int>(text_.size()) + 1 && columnOffset == 0 && rowOffset > 0) {
    rowOffset -= 1;
    columnOffset = width_;
  }
}

// ---- The editor on the console ------------------------------------------------------------

namespace {

// Cell bytes of the choice field's pointers (code page glyphs of U+25C4 and U+25BA).
constexpr char kLeftPointer = '\x11';
constexpr char kRightPointer = '\x10';

// Pause between two polls of an idle keyboard.
constexpr int kPollWaitMs = 50;

char FoldForSearch(char c) {
  return static_cast<char>(values::FoldChar(static_cast<unsigned char>(c), true));
}

void Redraw(Console& console, FieldEditCore& core, int row, int column) {
  const int length = core.Length();
  const int width = core.Width();
  const KeyCode mask = console.MaskCharacter();
  if (core.IsChoice()) core.StoreChoiceValue();
  for (int k = 0; 1 + k * width <= length; ++k) {
    console.WinLocate(row + k, column);
    if (mask != 0) {
      console.Print(std::string(static_cast<std::size_t>(std::max(width - 1, 0)), static_cast<char>(mask & 0xFF)));
    } else if (core.IsChoice()) {
      if (k > 0) break;  // a choice label takes one row
      std::string label = core.CurrentLabel();
      label.resize(static_cast<std::size_t>(core.LabelWidth()), ' ');
      console.Print(label);
    } else {
      console.Print(std::string_view(core.Text()).substr(static_cast<std::size_t>(k * width),
                                                         static_cast<std::size_t>(width)));
    }
  }
}

void ShowTypingCursor(Console& console, bool insert) {
  console.ShowCursor(insert ? kInsertCursorHeight : kOverwriteCursorHeight);
}

}  // namespace

KeyCode FieldClickCode(int row, int column) {
  row = std::clamp(row, 1, 99);
  column = std::clamp(column, 1, 255);
  return static_cast<KeyCode>(-(100 * column + row));
}

void FieldEdit(Console& console, std::int16_t& row, std::int16_t& column, std::int16_t& width,
               std::string& text, std::int16_t& position, KeyCode& key) {
  const int length = static_cast<int>(text.size());
  if (row == 0) row = static_cast<std::int16_t>(console.CursorRow() - console.WinTop() + 1);
  if (column == 0) column = static_cast<std::int16_t>(console.CursorColumn() - console.WinLeft() + 1);
  if (width <= 0) width = static_cast<std::int16_t>(std::min(length + 1, 32767));
  position = static_cast<std::int16_t>(std::clamp<int>(position, 1, length + 1));

  FieldEditCore core(text, position, width, console.ChoiceList(), FoldForSearch);
  if (core.IsChoice()) {
    console.WinLocate(row, column - 1);
    console.Print(std::string(1, kLeftPointer));
    console.WinLocate(row, column + core.LabelWidth());
    console.Print(std::string(1, kRightPointer));
  }
  console.ScreenColour("u");
  bool redraw = true;
  KeyCode result = 0;

  while (true) {
    if (redraw) {
      Redraw(console, core, row, column);
      redraw = false;
    }
    int rowOffset = 0;
    int columnOffset = 0;
    core.CursorOffset(rowOffset, columnOffset);
    const int cursorRow = row + rowOffset;
    const int cursorColumn = column + columnOffset;
    bool insert = console.InsertLock();
    if (!core.IsChoice()) {
      console.WinLocate(cursorRow, cursorColumn);
      ShowTypingCursor(console, insert);
    }

    // Wait for a key or a click; Ins only flips the typing mode.
    KeyCode k = 0;
    bool click = false;
    KeyEvent event;
    while (true) {
      event = KeyEvent{};
      console.ReadKey(event);
      if (event.button != 0) {
        click = true;
        k = FieldClickCode(event.row, event.column);
        break;
      }
      if (event.key == key::kIns) {
        insert = !insert;
        console.SetInsertLock(insert);
        if (!core.IsChoice()) ShowTypingCursor(console, insert);
        continue;
      }
      if (event.key != 0) {
        k = event.key;
        break;
      }
      console.WaitForInput(kPollWaitMs);
    }
    console.HideCursor();

    bool ends = false;
    if (click) {
      const int r0 = row + console.WinTop() - 1;
      const int c0 = column + console.WinLeft() - 1;
      switch (core.HandleClick(event.row, event.column, r0, c0)) {
        case ClickOutcome::kMoved:
        case ClickOutcome::kDropped:
          break;
        case ClickOutcome::kLeft:
          core.HandleKey(key::kLeft, insert);
          redraw = true;
          break;
        case ClickOutcome::kRight:
          core.HandleKey(key::kRight, insert);
          redraw = true;
          break;
        case ClickOutcome::kOutside:
          ends = true;
          break;
      }
    } else {
      switch (core.HandleKey(k, insert)) {
        case EditOutcome::kNothing:
          break;
        case EditOutcome::kEcho:
          if (console.MaskCharacter() == 0) {
            console.WinLocate(cursorRow, cursorColumn);
            console.Print(std::string(1, static_cast<char>(k)));
          }
          break;
        case EditOutcome::kRedraw:
          redraw = true;
          break;
        case EditOutcome::kCopy:
          console.SetClipboardText(core.CopyText());
          break;
        case EditOutcome::kPaste: {
          std::string clip = console.ClipboardText();
          if (!clip.empty()) {
            core.Paste(clip);
            redraw = true;
          }
          break;
        }
        case EditOutcome::kEnds:
          ends = true;
          break;
      }
    }
    if (!ends) continue;

    // Exit: translate, then let the active key set accept (and map) or drop the key.
    if (click) {
      result = k;
      break;
    }
    const bool endAccepted = console.KeyAccepted(key::kEnd);
    KeyCode translated = TranslateExitKey(k, endAccepted);
    KeyCode mapped = translated;
    if (console.KeySetEmpty() || console.KeyAccepted(translated, &mapped)) {
      result = mapped;
      break;
    }
    redraw = true;  // dropped: edit on
  }

  console.ScreenColour("h");
  if (core.IsChoice()) {
    console.WinLocate(row, column - 1);
    console.PrintSpaces(1);
    console.WinLocate(row, column + core.LabelWidth());
    console.PrintSpaces(1);
  }
  console.WinLocate(row, column);
  position = static_cast<std::int16_t>(core.Position());
  key = result;
}

}  // namespace tui
