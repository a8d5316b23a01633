// Layout files: a readable JSON definition of a record file, from which `recman xdf` builds
// the description file and `recman load/save --csv` read the record's fields.
//
// A layout is one JSON object (member names are lower-case words separated by blanks; a
// member named "comment" may appear in any object and is ignored):
//
//   {
//     "comment": "TranLauV: one record per department",
//     "record length": 60,              required, 1 to 65535
//     "page size": 4096,                optional (4096), a multiple of 512 from 512 to 4096
//     "file flags": ["variable length"],       optional, names below
//     "duplicate pointers": 0,          optional, 0 to 255
//     "preallocated pages": 0,          optional, 0 to 65535
//     "keys": [                         required, at least one key; key numbers count from 0
//       [ {"position": 1, "length": 4} ],                           key 0: one segment
//       [ {"position": 5, "length": 4, "type": "unsigned binary",
//          "flags": ["duplicates", "modifiable", "descending"]},
//         {"position": 9, "length": 30, "flags": ["duplicates", "modifiable", "case-insensitive"]} ]
//     ],
//     "collating sequences": [          optional
//       {"name": "UPPER", "table": [0, 1, 2, ... 256 numbers from 0 to 255]}
//     ],
//     "fields": [                       optional; needed by --csv
//       {"name": "codi", "offset": 0, "width": 4, "type": "packed code"},
//       {"name": "alta", "offset": 4, "type": "packed date"}
//     ]
//   }
//
// A key is a list of its segments. A segment has:
//   "position"    the first byte in the record, counted from 1 (as the record manager counts);
//   "length"      in bytes; a whole key holds at most 255;
//   "type"        optional: "string", "integer", "float", "date", "time", "decimal", "money",
//                 "logical", "numeric", "bfloat", "lstring", "zstring", "note", "lvar",
//                 "unsigned binary", "autoincrement"; without it the segment is a plain string
//                 (or binary with the "binary" flag);
//   "flags"       optional: a list of "duplicates", "modifiable", "binary", "null",
//                 "null any segment", "descending", "repeating duplicates", "case-insensitive",
//                 or the key flags as one number; "duplicates", "modifiable" and the null flags
//                 belong to the whole key and must be the same on all its segments;
//   "null value"  optional: the null byte of a null key, a number 0 to 255 or a one-character
//                 string such as " ";
//   "collating"   optional: the name of a collating sequence of the layout; the segment then
//                 sorts by that table.
// File flags: "variable length", "blank truncation", "preallocate", "compression", "key-only",
// "balanced indexes", "free space 10", "free space 20", "free space 30",
// "reserve duplicate pointers".
//
// A field has a "name" (the CSV column), an "offset" counted from 0 (as record layouts are
// written), a "type" and a "width" in bytes, which may be left out where the type fixes it:
//   "text"         width n; code page 850 in the record, UTF-8 in the CSV; blanks pad it;
//   "char"         width 1; one character, like a text of width 1;
//   "int16"        width 2; signed little-endian;
//   "int32"        width 4; signed little-endian;
//   "thousandths"  width 4; a signed 32-bit number holding the value times 1000, written as a
//                  decimal ("12.5" for 12500);
//   "packed code"  width n; base-hundred bytes (each 128 + 10 * first digit + second digit),
//                  written as digits: a 3-digit code in 2 bytes ("005");
//   "packed date"  width 4; base-hundred yyyymmdd written as yyyy-mm-dd, the empty date (four
//                  bytes 0x80) as an empty cell.
// Fields may not overlap and must lie inside the record; bytes outside every field are zero
// bytes in a record loaded from CSV.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/recman/description.h"

namespace recman_tool {

enum class FieldType { kText, kChar, kInt16, kInt32, kThousandths, kPackedCode, kPackedDate };

struct Field {
  std::string name;  // UTF-8
  std::uint32_t offset = 0;
  std::uint32_t width = 0;
  FieldType type = FieldType::kText;
};

struct Layout {
  FileDescription description;
  std::vector<Field> fields;
};

// The type name as written in layouts.
const char* FieldTypeName(FieldType type);

// Reads a layout. On failure the message starts with "line:column: ".
bool ParseLayout(std::string_view jsonText, Layout& layout, std::string& error);

}  // namespace recman_tool
