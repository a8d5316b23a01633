#include "tui/field_edit.h"

#include <algorithm>

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

std::int16_t TranslateExitKey(std::int16_t key, bool endAccepted) {
  switch (key) {
    case keys::kShiftTab:
      return keys::kUp;
    case keys::kTab:
      return keys::kEnter;
    case keys::kEnter:
      return endAccepted ? keys::kEnd : key;
    case keys::kCtrlF4:
    case keys::kAltF4:
      return keys::kEscape;
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
      if (items_[i].value == text_) current_ = i;
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
  if (items_.empty()) return;
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
      return;
    }
  }
}

EditOutcome FieldEditCore::HandleKey(std::int16_t key, bool insert) {
  return items_.empty() ? HandleTextKey(key, insert) : HandleChoiceKey(key);
}

EditOutcome FieldEditCore::HandleTextKey(std::int16_t key, bool insert) {
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
    case keys::kLeft:
      if (position_ > 1) --position_;
      return EditOutcome::kNothing;
    case keys::kRight:
      if (position_ <= length) ++position_;
      return EditOutcome::kNothing;
    case keys::kBackspace:
      if (position_ <= 1) return EditOutcome::kNothing;
      --position_;
      RemoveAt(position_);
      return EditOutcome::kRedraw;
    case keys::kDel:
      if (position_ > length) return EditOutcome::kNothing;
      RemoveAt(position_);
      return EditOutcome::kRedraw;
    case keys::kHome:
      position_ = 1;
      return EditOutcome::kNothing;
    case keys::kEnd: {
      std::size_t last = text_.find_last_not_of(' ');
      position_ = last == std::string::npos ? 1 : static_cast<int>(last) + 2;
      return EditOutcome::kNothing;
    }
    case keys::kCtrlHome:
    case keys::kCtrlY:
      text_.assign(text_.size(), ' ');
      position_ = 1;
      return EditOutcome::kRedraw;
    case keys::kUp:
    case keys::kShiftTab:
      if (position_ <= width_) return EditOutcome::kEnds;
      position_ -= width_;
      return EditOutcome::kNothing;
    case keys::kDown:
      if (position_ > length + 1 - width_) return EditOutcome::kEnds;
      position_ += width_;
      return EditOutcome::kNothing;
    case keys::kCtrlLeft:
      if (position_ <= 1) return EditOutcome::kEnds;
      position_ = WordStartBefore(text_, position_);
      return EditOutcome::kNothing;
    case keys::kCtrlRight:
      if (position_ > length) return EditOutcome::kEnds;
      position_ = NextWordStart(text_, position_);
      return EditOutcome::kNothing;
    case keys::kCtrlC:
      return EditOutcome::kCopy;
    case keys::kCtrlV:
      return EditOutcome::kPaste;
    default:
      return EditOutcome::kEnds;
  }
}

EditOutcome FieldEditCore::HandleChoiceKey(std::int16_t key) {
  const std::size_t count = items_.size();
  if ((key >= 33 && key <= 126) || (key >= 128 && key <= 254)) {
    std::size_t before = current_;
    SearchFirstLetter(static_cast<char>(key));
    return current_ == before ? EditOutcome::kNothing : EditOutcome::kRedraw;
  }
  switch (key) {
    case keys::kLeft:
      current_ = current_ == 0 ? count - 1 : current_ - 1;
      return EditOutcome::kRedraw;
    case keys::kRight:
    case keys::kSpace:
      current_ = current_ + 1 == count ? 0 : current_ + 1;
      return EditOutcome::kRedraw;
    case keys::kBackspace:
    case keys::kDel:
    case keys::kCtrlHome:
    case keys::kCtrlY:
    case keys::kCtrlV:
      return EditOutcome::kNothing;
    case keys::kHome:
      position_ = 1;
      return EditOutcome::kNothing;
    case keys::kEnd: {
      std::size_t last = text_.find_last_not_of(' ');
      position_ = last == std::string::npos ? 1 : static_cast<int>(last) + 2;
      return EditOutcome::kNothing;
    }
    case keys::kCtrlC:
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

}  // namespace tui
