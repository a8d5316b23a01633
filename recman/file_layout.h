// The description of a record file: record length, keys and their segments, collating tables.
//
// It is read from the classic Create data buffer and written back in the same layout by Stat.
// The layout (all numbers little-endian):
//
//   file specification, 16 bytes
//     0  u16  record length (the fixed part for variable-length files)
//     2  u16  page size: a multiple of 512 from 512 to 4096 (a hint for this engine)
//     4  u16  number of keys
//     6  u32  Create: reserved; Stat: number of records
//    10  u16  file flags (0x0001 variable-length records, 0x0400 key numbers in the segments)
//    12  u8   duplicate pointers to reserve (hint)
//    13  u8   reserved
//    14  u16  pages to preallocate (hint)
//   one 16-byte specification per key segment, the keys in order
//     0  u16  position in the record, counted from 1
//     2  u16  segment length
//     4  u16  key flags (see kKey* below)
//     6  u32  Create: 0; Stat: number of distinct values of the key
//    10  u8   extended type (used with kKeyExtendedType)
//    11  u8   null byte
//    12  u16  reserved
//    14  u8   key number (used with kFileManualKeyNumbers)
//    15  u8   number of the collating block the segment uses
//   the alternate collating sequence blocks, 265 bytes each: 0xAC, an 8-byte name, and a
//   256-byte table (byte b sorts as table[b]).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "recman/status.h"

namespace recman {

constexpr std::size_t kFileSpecSize = 16;
constexpr std::size_t kSegmentSpecSize = 16;
constexpr std::size_t kCollatingBlockSize = 265;
constexpr std::size_t kMaxKeyLength = 255;
constexpr int kMaxKeys = 119;
constexpr int kMaxSegments = 119;
constexpr std::uint16_t kMinRecordLength = 4;
constexpr std::uint16_t kMaxRecordLength = 4088;  // fixed part; 4096-byte page less its header
constexpr std::uint32_t kMaxVariableRecordLength = 65535;

// File flags.
constexpr std::uint16_t kFileVariableLength = 0x0001;
constexpr std::uint16_t kFileKeyOnly = 0x0010;
constexpr std::uint16_t kFileManualKeyNumbers = 0x0400;

// Key flags.
constexpr std::uint16_t kKeyDuplicates = 0x0001;
constexpr std::uint16_t kKeyModifiable = 0x0002;
constexpr std::uint16_t kKeyBinary = 0x0004;
constexpr std::uint16_t kKeyNullAll = 0x0008;
constexpr std::uint16_t kKeySegmented = 0x0010;
constexpr std::uint16_t kKeyCollating = 0x0020;
constexpr std::uint16_t kKeyDescending = 0x0040;
constexpr std::uint16_t kKeySupplemental = 0x0080;
constexpr std::uint16_t kKeyExtendedType = 0x0100;
constexpr std::uint16_t kKeyNullAny = 0x0200;
constexpr std::uint16_t kKeyCaseInsensitive = 0x0400;

// Extended key types (byte 10 of a segment).
enum class KeyType : std::uint8_t {
  kString = 0,
  kInteger = 1,
  kFloat = 2,
  kDate = 3,
  kTime = 4,
  kDecimal = 5,
  kMoney = 6,
  kLogical = 7,
  kNumeric = 8,
  kBasicFloat = 9,
  kLString = 10,
  kZString = 11,
  kUnsignedBinary = 14,
  kAutoIncrement = 15,
};

struct Segment {
  std::uint16_t offset = 0;  // 0-based offset in the record
  std::uint16_t length = 0;
  std::uint16_t flags = 0;
  KeyType type = KeyType::kString;  // effective type; the old binary flag counts as unsigned
  std::uint8_t nullByte = 0;
  int collating = -1;  // index into FileSpec::collating, -1 for none
  std::array<std::uint8_t, kSegmentSpecSize> raw{};  // as given to Create
};

struct Key {
  int number = 0;  // the key number callers use
  std::vector<Segment> segments;
  std::uint16_t length = 0;  // sum of the segment lengths
  bool duplicates = false;
  bool modifiable = false;
  bool nullAll = false;  // left out of the index when every segment is its null byte
  bool nullAny = false;  // left out when any segment is its null byte
  bool autoIncrement = false;  // the first segment is an autoincrement value
};

struct FileSpec {
  std::uint16_t recordLength = 0;
  std::uint16_t pageSize = 0;
  std::uint16_t fileFlags = 0;
  std::vector<Key> keys;
  std::vector<std::array<std::uint8_t, 256>> collating;  // tables only
  std::vector<std::array<std::uint8_t, kCollatingBlockSize>> collatingRaw;
  std::array<std::uint8_t, kFileSpecSize> rawHeader{};

  bool variableLength() const { return (fileFlags & kFileVariableLength) != 0; }
  int segmentCount() const;
  // Index into keys of the key with this number, or -1.
  int KeyIndex(int keyNumber) const;
};

// Reads a Create data buffer. Answers 0 and fills spec, or the status that names the fault:
// 24 page size or buffer too short, 26 number of keys, 27 key position, 28 record length,
// 29 key length, 45 inconsistent key flags, 48 collating block, 49 key type, 6 key numbers.
Status ParseCreateBuffer(std::span<const std::uint8_t> buffer, FileSpec& spec);

// The canonical description (the Create layout with every count 0), as stored in the file.
std::string SerializeSpec(const FileSpec& spec);

// The Stat layout: the description with the record count and distinct-value counts filled in.
std::string StatBuffer(const FileSpec& spec, std::uint32_t records,
                       std::span<const std::uint32_t> distinctPerKey);

}  // namespace recman
