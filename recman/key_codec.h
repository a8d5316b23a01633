// Key values in two forms:
//   the key as callers see it: the key's segments cut from the record and put one after the
//   other (the form of the key buffer);
//   the stored form: each segment rewritten so that comparing the bytes (shorter first on a
//   common prefix) gives the key order. Every segment's stored form has a fixed width, so the
//   stored forms of one key compare segment by segment.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "recman/file_layout.h"

namespace recman {

// The key as callers see it, cut from a record (the record holds every segment).
std::string ExtractKey(const FileSpec& spec, const Key& key, std::string_view record);

// The stored form of a key given as callers see it (key.length bytes; shorter input is padded
// with NUL bytes).
std::string EncodeKey(const FileSpec& spec, const Key& key, std::string_view keyValue);

// True when the record is left out of the key's index (null key).
bool IsNullKey(const Key& key, std::string_view record);

// The stored form of the key of a record, or nothing for a null key.
std::optional<std::string> RecordKey(const FileSpec& spec, const Key& key, std::string_view record);

// The autoincrement segment (the key's first) of a record: its value and whether it is 0.
std::int64_t AutoIncrementValue(const Segment& seg, std::string_view record);
// Writes value into the record's autoincrement segment (little-endian).
void SetAutoIncrementValue(const Segment& seg, std::int64_t value, std::string& record);
// Reads the value back from the stored form of a key whose first segment is autoincrement.
std::int64_t DecodeAutoIncrement(const Segment& seg, std::string_view stored);

}  // namespace recman
