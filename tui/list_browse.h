// The scratch file of the selection list browser: "Browse.tmp" in the temporary directory.
//
// Every line a list has shown is kept here with the position of its record, so that moving
// back and redrawing never read the record file again. Entries are appended one after
// another; byte positions count from 1; integers are little-endian. Never change this layout:
// prepared lists are written by other programs of the suite.
//
//   offset 0, 4 bytes  signed 32-bit position of the previous entry, 0 for the first entry
//   offset 4, 4 bytes  signed 32-bit record position (a prepared list: any value to report)
//   offset 8, 2 bytes  signed 16-bit length n of the text
//   offset 10, n bytes the line text, trailing blanks removed
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/files.h"

namespace tui {

struct BrowseEntry {
  std::int32_t position = 0;  // where the entry starts, from 1
  std::int32_t previous = 0;
  std::int32_t record = 0;
  std::string text;
  // Where the entry after this one starts.
  std::int32_t Next() const { return position + 10 + static_cast<std::int32_t>(text.size()); }
};

class BrowseFile {
 public:
  static constexpr int kHeaderSize = 10;

  // Opens the file at a system path for reading and writing. With empty set it is created
  // empty (or emptied); otherwise it is created only when missing. False when it cannot be
  // opened.
  bool Open(std::string_view systemPath, bool empty);
  void Close();
  bool IsOpen() const { return file_.IsOpen(); }

  // The position just after the last entry (1 for an empty file).
  std::int32_t End() const { return end_; }

  // Appends an entry and returns its position, or 0 when it cannot be written. Texts longer
  // than a 16-bit length can hold are cut.
  std::int32_t Append(std::int32_t previous, std::int32_t record, std::string_view text);

  // Reads the entry at a position. False at the end of the file or for an entry that is cut
  // short or damaged (a negative length, or one running past the end).
  bool Read(std::int32_t position, BrowseEntry& entry) const;

 private:
  platform::File file_;
  std::int32_t end_ = 1;
};

}  // namespace tui
