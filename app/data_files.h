// The program's three record files and the byte layout of their records.
//
//   506 FinquesV  one record per property      read
//   507 DepartaV  one record per department    read, stepped back and forth
//   508 TranLauV  one record card per department  read, inserted, updated, deleted
//
// Key 0 of every file is the packed property code (2 base-hundred bytes), followed in DepartaV
// and TranLauV by the packed department code (2 more bytes). Fields not listed here are carried
// through unchanged: a TranLauV record is always written from its whole record area.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "storage/record_layer.h"

namespace app {

inline constexpr storage::FileHandle kFinquesV = 506;
inline constexpr storage::FileHandle kDepartaV = 507;
inline constexpr storage::FileHandle kTranLauV = 508;

// FinquesV record.
inline constexpr std::size_t kFinquesKey = 0;   // 2 bytes, packed property code
inline constexpr std::size_t kFinquesName = 8;  // 30 bytes

// DepartaV record.
inline constexpr std::size_t kDepartaKey = 0;         // 4 bytes: property, department
inline constexpr std::size_t kDepartaName = 8;        // 30 bytes
inline constexpr std::size_t kDepartaListExtra = 38;  // 10 bytes shown after the name in lists
inline constexpr std::size_t kDepartaDate = 189;      // packed date, panel 3 field 1
inline constexpr std::size_t kDepartaInt193 = 193;    // 16-bit integer, panel 3 field 2
inline constexpr std::size_t kDepartaChar210 = 210;   // character, panel 3 field 4
inline constexpr std::size_t kDepartaInt225 = 225;    // 16-bit integer, panel 3 field 3

inline constexpr std::size_t kPropertyKeyLength = 2;
inline constexpr std::size_t kDepartmentKeyLength = 4;

// How a panel 3 field is kept in the TranLauV record.
enum class Encoding { kPackedDate, kCharacter, kInt16, kInt32, kThousandths };

struct RecordField {
  int field;            // panel 3 field number
  std::size_t offset;   // in the TranLauV record
  Encoding encoding;
};

// Panel 3 fields 5 to 24, each with its place in the TranLauV record. Note the characters at
// 36 to 38 (fields 12, 14, 13) and the integers at 14 and 18 (fields 24, 22).
inline constexpr std::array<RecordField, 20> kTranLauFields = {{
    {5, 4, Encoding::kPackedDate},
    {6, 8, Encoding::kPackedDate},
    {7, 12, Encoding::kCharacter},
    {8, 13, Encoding::kCharacter},
    {9, 26, Encoding::kInt32},
    {10, 30, Encoding::kInt16},
    {11, 32, Encoding::kInt32},
    {12, 36, Encoding::kCharacter},
    {13, 38, Encoding::kCharacter},
    {14, 37, Encoding::kCharacter},
    {15, 39, Encoding::kInt32},
    {16, 43, Encoding::kCharacter},
    {17, 44, Encoding::kCharacter},
    {18, 45, Encoding::kInt32},
    {19, 49, Encoding::kThousandths},
    {20, 53, Encoding::kInt16},
    {21, 55, Encoding::kInt16},
    {22, 18, Encoding::kInt32},
    {23, 22, Encoding::kPackedDate},
    {24, 14, Encoding::kInt32},
}};

// The record field of a panel 3 field, or nullptr for fields 1 to 4 (display only).
const RecordField* TranLauFieldOf(int field);

// The three record areas. Each is as large as the program reserves for the file; the record
// layer never copies more than that into it.
struct DataFiles {
  std::array<char, 204> finques{};
  std::array<char, 448> departa{};
  std::array<char, 60> tranlau{};

  // Opens FinquesV, DepartaV and TranLauV under the installation root, in this order, and
  // stops at the first that fails: a file that cannot be opened is reported by the record layer,
  // which then calls the program's fatal-open handler. Returns the name of the file that
  // failed, or "" when all three are open.
  std::string Open(storage::RecordLayer& records, std::string_view rootDir);

  std::string_view PropertyKey() const { return {finques.data(), kPropertyKeyLength}; }
  std::string_view DepartmentKey() const { return {departa.data(), kDepartmentKeyLength}; }
};

// Little-endian integers and raw bytes inside a record area.
std::int16_t ReadInt16(std::span<const char> area, std::size_t offset);
std::int32_t ReadInt32(std::span<const char> area, std::size_t offset);
void WriteInt16(std::span<char> area, std::size_t offset, std::int16_t value);
void WriteInt32(std::span<char> area, std::size_t offset, std::int32_t value);
std::string_view Bytes(std::span<const char> area, std::size_t offset, std::size_t length);
void WriteBytes(std::span<char> area, std::size_t offset, std::string_view bytes);

}  // namespace app
