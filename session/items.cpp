#include "session/items.h"

namespace session {

ItemReader::ItemReader(std::string_view content) : text_(content) {
  std::size_t eof = text_.find('\x1a');
  if (eof != std::string_view::npos) text_ = text_.substr(0, eof);
}

std::size_t ItemReader::LineEndAt(std::size_t at) const {
  if (at >= text_.size()) return 0;
  if (text_[at] == '\r') return at + 1 < text_.size() && text_[at + 1] == '\n' ? 2 : 1;
  return text_[at] == '\n' ? 1 : 0;
}

int ItemReader::CountLineEnds(std::size_t from, std::size_t to) const {
  int count = 0;
  while (from < to) {
    std::size_t end = LineEndAt(from);
    if (end == 0) {
      ++from;
    } else {
      ++count;
      from += end;
    }
  }
  return count;
}

bool ItemReader::Next(std::string& item) { return Read(item, false); }

bool ItemReader::NextText(std::string& item) { return Read(item, true); }

bool ItemReader::Read(std::string& item, bool verbatim) {
  item.clear();
  if (AtEnd()) return false;
  afterComma_ = false;
  const std::size_t start = pos_;
  while (pos_ < text_.size() && text_[pos_] == ' ') ++pos_;
  itemLine_ = line_;

  if (pos_ < text_.size() && text_[pos_] == '"') {
    std::size_t start = pos_ + 1;
    std::size_t close = text_.find('"', start);
    // An unclosed quote runs to the end of the file.
    std::size_t stop = close == std::string_view::npos ? text_.size() : close;
    item.assign(text_.substr(start, stop - start));
    line_ += CountLineEnds(start, stop);
    pos_ = close == std::string_view::npos ? text_.size() : close + 1;
  } else {
    if (verbatim) pos_ = start;
    while (pos_ < text_.size()) {
      char c = text_[pos_];
      if (c == ',' || c == '\r' || c == '\n') break;
      if (c != '\t' || verbatim) item.push_back(c);
      ++pos_;
    }
  }

  while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t')) ++pos_;
  if (pos_ < text_.size() && text_[pos_] == ',') {
    ++pos_;
    afterComma_ = true;
  } else if (std::size_t end = LineEndAt(pos_); end != 0) {
    pos_ += end;
    ++line_;
  }
  return true;
}

bool ItemReader::RestOfLineIsBlank() const {
  for (std::size_t at = pos_; at < text_.size() && LineEndAt(at) == 0; ++at) {
    if (text_[at] != ' ' && text_[at] != '\t') return false;
  }
  return true;
}

bool ItemReader::RestOfLineIsComment() const {
  for (std::size_t at = pos_; at < text_.size() && LineEndAt(at) == 0; ++at) {
    if (text_[at] == ' ' || text_[at] == '\t') continue;
    return text_[at] == '\'';
  }
  return false;
}

void ItemReader::SkipRestOfLine() {
  while (pos_ < text_.size() && LineEndAt(pos_) == 0) ++pos_;
  if (std::size_t end = LineEndAt(pos_); end != 0) {
    pos_ += end;
    ++line_;
  }
  afterComma_ = false;
}

}  // namespace session
