// The selection list browser, and its scratch file "Browse.tmp" in the temporary directory.
//
// ListBrowse shows, in a framed window, one line per record of a record file whose keys lie
// between two limits, and lets the operator move a highlight over them and pick one with
// Enter; the picked record is read again into its file's record area. What a list shows comes
// from its definition in the form tables (session::FormList: file handle, key number, window,
// a panel to fill in first, a further list for F4, the title on the top frame line) and from
// the module's ListKeyRange and ListLineText. A list whose file handle is 0 shows the entries
// another program prepared in Browse.tmp; a pick then fills the widgets' pickedValue and
// pickedText.
//
// Records are read only when a line beyond those already kept is needed, each at most once per
// browse; moving back, scrolling sideways and redrawing read only Browse.tmp.
//
// Keys: Up, Down, PgUp, PgDn move; Left and Right scroll the lines sideways by 8 columns (the
// top corners turn into pointers while there is more to see); Enter picks; Escape leaves; F4
// (offered when the list names a further list) leaves and opens the further list. Other keys
// are ignored.
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
#include "tui/widgets/module.h"

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

// The scratch file's name in the session's temporary directory.
inline constexpr std::string_view kBrowseFileName = "Browse.tmp";

// ListBrowse's results besides the record layer's statuses.
inline constexpr std::int16_t kBrowsePicked = 0;
inline constexpr std::int16_t kBrowseNoPick = -1;
// The scratch file could not be created or written (after a message to the operator); the
// record manager's number for an I/O error.
inline constexpr std::int16_t kBrowseFileError = 2;

// Runs the list `list` of the form tables. Returns 0 when a line was picked (its record read
// into the file's record area, or for a prepared list pickedValue and pickedText set), -1 when
// the operator left without a pick (also after an Escape out of the list's panel), the
// non-zero value with which ListKeyRange refused the list, the record layer's status when the
// picked record cannot be read again, or kBrowseFileError. A list number that the form does
// not define gives -1.
std::int16_t ListBrowse(Widgets& widgets, std::int16_t list);

}  // namespace tui
