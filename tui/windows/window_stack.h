// The window stack file "WinPush.tmp": what every open pop-up window covered.
//
// Opening a window saves the cells it covers, the cursor and the enclosing window in this file;
// closing it reads them back. The file is shared with the other programs of the suite that run
// in the same terminal (a menu that starts this program has its own windows in it), so a file
// left by an earlier program is continued from the position in its header, never rewritten.
//
// Format (positions counted from 1; never change it, other programs read the same file):
//
//   bytes 1-4   header: the position of the first free byte, 32-bit little-endian. A file
//               shorter than 4 bytes counts as empty, with the first free byte at 5.
//   bytes 5-    records, one per open window, oldest first:
//                 cursor row, cursor column                      2 digits each
//                 outer window top, left, bottom, right          2 digits each (all 0: none)
//                 this window's top, left, bottom, right         2 digits each, absolute
//                 cells, row by row, left to right               character byte, attribute byte
//                 record length = 20 + 2 x cells + 5             5 digits
//
// All numbers except the header are decimal, zero-padded on the left. The trailing length lets
// the last record be found from the header: it starts at (first free byte) - (record length).
// Closing only moves the header back; the file is never shortened.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "tui/console/console.h"

namespace tui {

// Cells of a rectangle (WindowRect comes with the console: absolute, frame included, all 0
// for "no window").
inline bool IsNoWindow(const WindowRect& rect) { return rect == WindowRect{}; }
inline int RectCells(const WindowRect& rect) {
  return (rect.bottom - rect.top + 1) * (rect.right - rect.left + 1);
}

// One saved window.
struct WindowRecord {
  int cursorRow = 0;
  int cursorCol = 0;
  WindowRect outer;  // the window that was current before this one opened (none: all 0)
  WindowRect rect;   // this window
  // Two bytes per cell of rect, row by row: character byte (code page 850), attribute byte.
  std::string cells;
  bool operator==(const WindowRecord&) const = default;
};

// The largest number a 2-digit field holds; rectangles beyond it cannot be saved.
inline constexpr int kMaxStoredCoordinate = 99;
// Fixed part of a record: 20 digits in front of the cells and the 5-digit length behind them.
inline constexpr int kRecordOverhead = 25;
// Position of the first record (and the first free byte of an empty file).
inline constexpr std::int64_t kFirstRecordPosition = 5;

// True when the rectangle can be stored: 1 <= top <= bottom <= 99, 1 <= left <= right <= 99.
bool IsStorableRect(const WindowRect& rect);

// The bytes of one record. Cursor values outside 0..99 are clamped into it (a cursor cannot be
// off the screen, and a screen of more than 99 rows cannot hold a storable window anyway).
// Returns nullopt when the rectangle is not storable or the cells do not match it.
std::optional<std::string> EncodeWindowRecord(const WindowRecord& record);

// Reads one record from its bytes (exactly one record, length field included). Returns nullopt
// for anything damaged: a non-digit where a number belongs, a rectangle that is not storable,
// an outer rectangle that is neither none nor storable, or a length that does not agree with
// the rectangle and the bytes given.
std::optional<WindowRecord> DecodeWindowRecord(std::string_view bytes);

enum class StackStatus {
  kOk,
  kEmpty,    // no record to read
  kDamaged,  // the header or the last record is unreadable
  kIoError,  // the file cannot be opened, read or written
};

// The stack file itself. Every operation opens the file, does its work and closes it again.
class WindowStackFile {
 public:
  // systemPath: the file's system path, e.g. TempDir + "WinPush.tmp".
  explicit WindowStackFile(std::string systemPath) : path_(std::move(systemPath)) {}

  const std::string& path() const { return path_; }

  // Appends a record at the first free byte and moves the header behind it. The file is
  // created when missing. A header that cannot be right (before position 5 or past the end of
  // the file) is taken as an empty stack. On success *start, when given, receives the record's
  // position (counted from 1). The header is written only after the record, so a failure
  // leaves the stack as it was.
  StackStatus Push(const WindowRecord& record, std::int64_t* start = nullptr);

  // Removes the last record and returns it in *record. kEmpty when the file is missing, shorter
  // than 4 bytes or holds no record; kDamaged when the header or the record is unreadable (the
  // file is then left unchanged, see ResetHeader). On success *start, when given, receives the
  // position where the record began, which is the new first free byte.
  StackStatus Pop(WindowRecord* record, std::int64_t* start = nullptr);

  // Sets the first free byte; used to drop a damaged record whose start the caller knows.
  StackStatus ResetHeader(std::int64_t firstFree);

  // The first free byte as the header says it (5 for a missing or short file), or nullopt when
  // the file cannot be read.
  std::optional<std::int64_t> FirstFree() const;

 private:
  std::string path_;
};

}  // namespace tui
