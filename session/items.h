// Comma-separated items of the suite's text data files: message catalogues (.LNG) and screen
// forms (.ZPN).
//
// A file is a sequence of items. Items are separated by a comma or by a line end. A line end is
// CR LF as the files are written on the office machines; a lone LF (files edited on Linux) and
// a lone CR end a line too, so every such file reads the same as its CR LF twin.
//
//   - Blanks before an item are skipped.
//   - An item that begins with a double quote runs to the next double quote, which ends it;
//     commas, blanks and line ends inside are kept, the quotes are not part of the item.
//   - Any other item runs to the next comma or line end. Blanks inside it and at its end are
//     kept; tabs inside it are dropped.
//   - Texts of a form file (NextText) follow the form file's own rule instead: an item that
//     does not begin with a double quote is taken as it stands, from the separator before it
//     to the next comma or line end, its leading blanks and its tabs included.
//   - After an item, blanks and tabs are skipped and one comma or one line end is consumed.
//   - A byte 1A hexadecimal (the old end-of-file mark) ends the file wherever it stands.
//
// After a comma there is always one more item, empty when the file ends there ("a,b," holds
// three items); after a line end at the end of the file there is none.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace session {

class ItemReader {
 public:
  // The reader keeps a view of the content: the bytes must outlive it.
  explicit ItemReader(std::string_view content);

  // True when no item is left.
  bool AtEnd() const { return pos_ >= text_.size() && !afterComma_; }

  // Reads the next item into `item`. False (and `item` empty) when no item is left.
  bool Next(std::string& item);
  // Reads the next item as a form file's text: the same, but an item without quotes keeps its
  // leading blanks and its tabs.
  bool NextText(std::string& item);

  // The line (from 1) on which the item last read began; before any read, the current line.
  int ItemLine() const { return itemLine_; }
  // The line (from 1) on which the next item would begin.
  int CurrentLine() const { return line_; }

  // Record starts. A record may begin in the middle of a line (after a comma); "the line" here
  // is the rest of the current line from where the next item would begin.
  //
  // True when the rest of the line holds nothing but blanks and tabs.
  bool RestOfLineIsBlank() const;
  // True when the rest of the line's first character other than a blank or tab is an
  // apostrophe: a comment line where a record starts.
  bool RestOfLineIsComment() const;
  // Skips the rest of the current line including its line end.
  void SkipRestOfLine();
  // At the end of the file, ignoring a comma that was just consumed: a record start there
  // means the file ended between records.
  bool AtEndOfFile() const { return pos_ >= text_.size(); }
  // Forgets a comma that was just consumed, so that AtEnd() tells whether a record can start.
  void StartRecord() { afterComma_ = false; }

 private:
  bool Read(std::string& item, bool verbatim);
  // Length of the line end at `at` (2 for CR LF, 1 for a lone CR or LF, 0 for none).
  std::size_t LineEndAt(std::size_t at) const;
  // Counts the line ends inside the bytes [from, to).
  int CountLineEnds(std::size_t from, std::size_t to) const;

  std::string_view text_;
  std::size_t pos_ = 0;
  bool afterComma_ = false;
  int line_ = 1;
  int itemLine_ = 1;
};

}  // namespace session
