// The record manager's file description: the data buffer of Create (14) and Stat (15).
//
// Layout (all numbers little-endian):
//   file specification, 16 bytes: record length (2), page size (2), number of keys (2),
//     record count (4; 0 on Create), file flags (2), duplicate pointers (1), reserved (1),
//     preallocated / unused pages (2);
//   one 16-byte specification per key segment, keys in order, a key's segments in a row:
//     position from 1 (2), length (2), key flags (2), distinct values (4; 0 on Create),
//     extended type (1), null value (1), reserved (2), key number (1), collating block (1);
//   the alternate collating sequence blocks, 265 bytes each: 0xAC, an 8-byte name, a 256-byte
//     table (byte b sorts as table[b]).
// A description file (".xdf") holds a 16-bit little-endian length L and then L bytes of this.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace recman_tool {

// Key flags.
constexpr std::uint16_t kKeyDuplicates = 0x0001;
constexpr std::uint16_t kKeyModifiable = 0x0002;
constexpr std::uint16_t kKeyBinary = 0x0004;
constexpr std::uint16_t kKeyNullAll = 0x0008;
constexpr std::uint16_t kKeySegmentFollows = 0x0010;
constexpr std::uint16_t kKeyCollating = 0x0020;
constexpr std::uint16_t kKeyDescending = 0x0040;
constexpr std::uint16_t kKeyRepeatingDuplicates = 0x0080;
constexpr std::uint16_t kKeyExtendedType = 0x0100;
constexpr std::uint16_t kKeyNullAny = 0x0200;
constexpr std::uint16_t kKeyCaseInsensitive = 0x0400;

// File flags.
constexpr std::uint16_t kFileVariableLength = 0x0001;

constexpr std::size_t kFileSpecSize = 16;
constexpr std::size_t kSegmentSpecSize = 16;
constexpr std::size_t kCollatingBlockSize = 265;
constexpr unsigned char kCollatingSignature = 0xAC;

struct Segment {
  std::uint16_t position = 1;  // from 1
  std::uint16_t length = 0;
  std::uint16_t flags = 0;  // kKeySegmentFollows is managed by Encode/Decode, never set here
  std::uint32_t distinctValues = 0;
  std::uint8_t type = 0;  // extended type, meaningful with kKeyExtendedType
  std::uint8_t nullValue = 0;
  std::uint8_t keyNumber = 0;
  std::uint8_t collatingBlock = 0;
};

struct Key {
  std::vector<Segment> segments;
  std::uint32_t Length() const;
};

struct CollatingBlock {
  std::string name;  // at most 8 bytes; padded with blanks when written
  std::array<std::uint8_t, 256> table{};
};

struct FileDescription {
  std::uint16_t recordLength = 0;
  std::uint16_t pageSize = 4096;
  std::uint32_t recordCount = 0;
  std::uint16_t fileFlags = 0;
  std::uint8_t duplicatePointers = 0;
  std::uint16_t pages = 0;  // pages to preallocate (Create) or unused pages (Stat)
  std::vector<Key> keys;
  std::vector<CollatingBlock> collating;
};

// The Create data buffer of a description.
std::string EncodeDescription(const FileDescription& description);

// Reads a Create or Stat data buffer. The collating blocks are those that fit in the bytes after
// the last segment. False, with a message, when the buffer is shorter than its own counts say.
bool DecodeDescription(std::string_view bytes, FileDescription& description, std::string& error);

// Description files: the 2-byte length prefix and the buffer.
std::string MakeDescriptionFile(std::string_view createBuffer);
// The Create buffer held by a description file; false with a message when the file is shorter
// than its length prefix says.
bool ReadDescriptionFile(std::string_view fileBytes, std::string& createBuffer, std::string& error);

// Names used in layout files and in the Stat report.
struct FlagName {
  std::uint16_t bit;
  const char* name;
};
// Key flags a layout may name (not the segment-follows, extended-type and collating bits,
// which follow from the rest of the segment).
const std::vector<FlagName>& KeyFlagNames();
// File flags, the free-space values (0x40, 0x80, 0xC0) counting as one two-bit field.
const std::vector<FlagName>& FileFlagNames();
// The extended key type of a name ("string", "integer", "unsigned binary", ...), or -1.
int KeyTypeCode(std::string_view name);
// The name of an extended key type, or "" for a code without one.
std::string KeyTypeName(int code);

// The segment's type in words as the record manager orders it: the extended type when flagged,
// otherwise "binary" or "string".
std::string SegmentTypeWords(const Segment& segment);

}  // namespace recman_tool
