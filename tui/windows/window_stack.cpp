#include "tui/windows/window_stack.h"

#include <algorithm>
#include <array>

#include "platform/files.h"
#include "platform/paths.h"

namespace tui {
namespace {

constexpr int kHeaderBytes = 4;
constexpr int kLengthDigits = 5;
constexpr int kMaxRecordLength = 99999;

void AppendDigits(std::string& out, int value, int width) {
  std::string digits(static_cast<std::size_t>(width), '0');
  for (int i = width - 1; i >= 0 && value > 0; --i) {
    digits[static_cast<std::size_t>(i)] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  out += digits;
}

// The decimal number of `width` digits at the front of text, or -1 when one is not a digit.
int ReadDigits(std::string_view text, int width) {
  if (text.size() < static_cast<std::size_t>(width)) return -1;
  int value = 0;
  for (int i = 0; i < width; ++i) {
    char c = text[static_cast<std::size_t>(i)];
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

bool IsStorableOrNone(const WindowRect& rect) { return IsNoWindow(rect) || IsStorableRect(rect); }

// Reads the header. A file shorter than 4 bytes is an empty stack; a header outside
// 5..(size + 1) cannot describe this file and is reported as nullopt.
// The header as stored, or nullopt when it cannot be read; a file shorter than 4 bytes reads
// as 5.
std::optional<std::int64_t> ReadRawHeader(const platform::File& file, std::int64_t size) {
  if (size < kHeaderBytes) return kFirstRecordPosition;
  std::array<char, kHeaderBytes> bytes{};
  if (file.ReadAt(0, bytes) != kHeaderBytes) return std::nullopt;
  std::uint32_t value = 0;
  for (int i = kHeaderBytes - 1; i >= 0; --i) {
    value = (value << 8) | static_cast<unsigned char>(bytes[static_cast<std::size_t>(i)]);
  }
  return static_cast<std::int64_t>(value);
}

std::optional<std::int64_t> ReadHeader(const platform::File& file, std::int64_t size) {
  std::optional<std::int64_t> position = ReadRawHeader(file, size);
  if (!position || *position < kFirstRecordPosition || *position > size + 1) return std::nullopt;
  return position;
}

bool WriteHeader(platform::File& file, std::int64_t position) {
  std::string bytes(kHeaderBytes, '\0');
  auto value = static_cast<std::uint32_t>(position);
  for (int i = 0; i < kHeaderBytes; ++i) {
    bytes[static_cast<std::size_t>(i)] = static_cast<char>(value & 0xFF);
    value >>= 8;
  }
  return file.WriteAt(0, bytes);
}

}  // namespace

bool IsStorableRect(const WindowRect& rect) {
  return rect.top >= 1 && rect.left >= 1 && rect.top <= rect.bottom && rect.left <= rect.right &&
         rect.bottom <= kMaxStoredCoordinate && rect.right <= kMaxStoredCoordinate;
}

std::optional<std::string> EncodeWindowRecord(const WindowRecord& record) {
  if (!IsStorableRect(record.rect) || !IsStorableOrNone(record.outer)) return std::nullopt;
  if (record.cells.size() != static_cast<std::size_t>(RectCells(record.rect)) * 2) return std::nullopt;
  std::string out;
  out.reserve(record.cells.size() + kRecordOverhead);
  AppendDigits(out, std::clamp(record.cursorRow, 0, kMaxStoredCoordinate), 2);
  AppendDigits(out, std::clamp(record.cursorCol, 0, kMaxStoredCoordinate), 2);
  for (const WindowRect* rect : {&record.outer, &record.rect}) {
    AppendDigits(out, rect->top, 2);
    AppendDigits(out, rect->left, 2);
    AppendDigits(out, rect->bottom, 2);
    AppendDigits(out, rect->right, 2);
  }
  out += record.cells;
  AppendDigits(out, static_cast<int>(out.size()) + kLengthDigits, kLengthDigits);
  return out;
}

std::optional<WindowRecord> DecodeWindowRecord(std::string_view bytes) {
  if (bytes.size() < static_cast<std::size_t>(kRecordOverhead)) return std::nullopt;
  int numbers[10];
  for (int i = 0; i < 10; ++i) {
    numbers[i] = ReadDigits(bytes.substr(static_cast<std::size_t>(2 * i)), 2);
    if (numbers[i] < 0) return std::nullopt;
  }
  WindowRecord record;
  record.cursorRow = numbers[0];
  record.cursorCol = numbers[1];
  record.outer = {numbers[2], numbers[3], numbers[4], numbers[5]};
  record.rect = {numbers[6], numbers[7], numbers[8], numbers[9]};
  if (!IsStorableRect(record.rect) || !IsStorableOrNone(record.outer)) return std::nullopt;
  int length = ReadDigits(bytes.substr(bytes.size() - kLengthDigits), kLengthDigits);
  std::size_t cellBytes = static_cast<std::size_t>(RectCells(record.rect)) * 2;
  if (length < 0 || static_cast<std::size_t>(length) != bytes.size() ||
      cellBytes + kRecordOverhead != bytes.size()) {
    return std::nullopt;
  }
  record.cells = std::string(bytes.substr(20, cellBytes));
  return record;
}

StackStatus WindowStackFile::Push(const WindowRecord& record, std::int64_t* start) {
  std::optional<std::string> bytes = EncodeWindowRecord(record);
  if (!bytes) return StackStatus::kDamaged;
  platform::File file;
  if (file.Open(path_, platform::File::Mode::kReadWrite, false) != platform::OpenResult::kOk) {
    return StackStatus::kIoError;
  }
  std::int64_t size = file.Size();
  if (size < 0) return StackStatus::kIoError;
  // A header that cannot belong to this file is taken as an empty stack: the records it
  // pointed at cannot be found again anyway.
  std::int64_t position = ReadHeader(file, size).value_or(kFirstRecordPosition);
  std::int64_t next = position + static_cast<std::int64_t>(bytes->size());
  if (next > 0xFFFFFFFFLL) return StackStatus::kIoError;
  if (!file.WriteAt(position - 1, *bytes) || !WriteHeader(file, next)) return StackStatus::kIoError;
  if (start) *start = position;
  return StackStatus::kOk;
}

StackStatus WindowStackFile::Pop(WindowRecord* record, std::int64_t* start) {
  if (!platform::PathExists(path_)) return StackStatus::kEmpty;
  platform::File file;
  platform::OpenResult opened = file.Open(path_, platform::File::Mode::kReadWrite, false);
  if (opened != platform::OpenResult::kOk) return StackStatus::kIoError;
  std::int64_t size = file.Size();
  if (size < 0) return StackStatus::kIoError;
  if (size < kHeaderBytes) return StackStatus::kEmpty;
  std::optional<std::int64_t> header = ReadHeader(file, size);
  if (!header) return StackStatus::kDamaged;
  std::int64_t firstFree = *header;
  if (firstFree == kFirstRecordPosition) return StackStatus::kEmpty;
  if (firstFree - kFirstRecordPosition < kRecordOverhead) return StackStatus::kDamaged;

  std::array<char, kLengthDigits> lengthBytes{};
  if (file.ReadAt(firstFree - 1 - kLengthDigits, lengthBytes) != kLengthDigits) return StackStatus::kDamaged;
  int length = ReadDigits(std::string_view(lengthBytes.data(), lengthBytes.size()), kLengthDigits);
  if (length < kRecordOverhead || length > kMaxRecordLength || firstFree - length < kFirstRecordPosition) {
    return StackStatus::kDamaged;
  }
  std::int64_t recordStart = firstFree - length;
  std::string bytes(static_cast<std::size_t>(length), '\0');
  if (file.ReadAt(recordStart - 1, bytes) != length) return StackStatus::kDamaged;
  std::optional<WindowRecord> decoded = DecodeWindowRecord(bytes);
  if (!decoded) return StackStatus::kDamaged;
  if (!WriteHeader(file, recordStart)) return StackStatus::kIoError;
  if (record) *record = std::move(*decoded);
  if (start) *start = recordStart;
  return StackStatus::kOk;
}

StackStatus WindowStackFile::ResetHeader(std::int64_t firstFree) {
  if (firstFree < kFirstRecordPosition || firstFree > 0xFFFFFFFFLL) return StackStatus::kDamaged;
  platform::File file;
  if (file.Open(path_, platform::File::Mode::kReadWrite, false) != platform::OpenResult::kOk) {
    return StackStatus::kIoError;
  }
  std::int64_t size = file.Size();
  if (size < 0) return StackStatus::kIoError;
  if (firstFree > size + 1) return StackStatus::kDamaged;
  return WriteHeader(file, firstFree) ? StackStatus::kOk : StackStatus::kIoError;
}

std::optional<std::int64_t> WindowStackFile::FirstFree() const {
  platform::File file;
  platform::OpenResult opened = file.Open(path_, platform::File::Mode::kRead, false);
  if (opened != platform::OpenResult::kOk) {
    return platform::PathExists(path_) ? std::nullopt : std::optional<std::int64_t>(kFirstRecordPosition);
  }
  std::int64_t size = file.Size();
  if (size < 0) return std::nullopt;
  return ReadRawHeader(file, size);
}

}  // namespace tui
