#include "tools/recman/description.h"

namespace recman_tool {
namespace {

void Put16(std::string& out, std::uint16_t value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>(value >> 8);
}

void Put32(std::string& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::uint16_t Get16(std::string_view bytes, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                    (static_cast<unsigned char>(bytes[at + 1]) << 8));
}

std::uint32_t Get32(std::string_view bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

struct TypeName {
  int code;
  const char* name;
};

const TypeName kTypeNames[] = {
    {0, "string"},    {1, "integer"},   {2, "float"},    {3, "date"},     {4, "time"},
    {5, "decimal"},   {6, "money"},     {7, "logical"},  {8, "numeric"},  {9, "bfloat"},
    {10, "lstring"},  {11, "zstring"},  {12, "note"},    {13, "lvar"},    {14, "unsigned binary"},
    {15, "autoincrement"},
};

}  // namespace

std::uint32_t Key::Length() const {
  std::uint32_t sum = 0;
  for (const Segment& s : segments) sum += s.length;
  return sum;
}

std::string EncodeDescription(const FileDescription& d) {
  std::string out;
  Put16(out, d.recordLength);
  Put16(out, d.pageSize);
  Put16(out, static_cast<std::uint16_t>(d.keys.size()));
  Put32(out, d.recordCount);
  Put16(out, d.fileFlags);
  out += static_cast<char>(d.duplicatePointers);
  out += '\0';
  Put16(out, d.pages);
  for (const Key& key : d.keys) {
    for (std::size_t i = 0; i < key.segments.size(); ++i) {
      const Segment& s = key.segments[i];
      std::uint16_t flags = static_cast<std::uint16_t>(s.flags & ~kKeySegmentFollows);
      if (i + 1 < key.segments.size()) flags |= kKeySegmentFollows;
      Put16(out, s.position);
      Put16(out, s.length);
      Put16(out, flags);
      Put32(out, s.distinctValues);
      out += static_cast<char>(s.type);
      out += static_cast<char>(s.nullValue);
      Put16(out, 0);
      out += static_cast<char>(s.keyNumber);
      out += static_cast<char>(s.collatingBlock);
    }
  }
  for (const CollatingBlock& block : d.collating) {
    out += static_cast<char>(kCollatingSignature);
    std::string name = block.name.substr(0, 8);
    name.resize(8, ' ');
    out += name;
    for (std::uint8_t b : block.table) out += static_cast<char>(b);
  }
  return out;
}

bool DecodeDescription(std::string_view bytes, FileDescription& d, std::string& error) {
  d = FileDescription();
  if (bytes.size() < kFileSpecSize) {
    error = "the description is " + std::to_string(bytes.size()) + " bytes, shorter than the 16-byte file specification";
    return false;
  }
  d.recordLength = Get16(bytes, 0);
  d.pageSize = Get16(bytes, 2);
  std::uint16_t keyCount = Get16(bytes, 4);
  d.recordCount = Get32(bytes, 6);
  d.fileFlags = Get16(bytes, 10);
  d.duplicatePointers = static_cast<std::uint8_t>(bytes[12]);
  d.pages = Get16(bytes, 14);
  std::size_t at = kFileSpecSize;
  for (std::uint16_t k = 0; k < keyCount; ++k) {
    Key key;
    while (true) {
      if (at + kSegmentSpecSize > bytes.size()) {
        error = "the description ends inside the segments of key " + std::to_string(k);
        return false;
      }
      Segment s;
      s.position = Get16(bytes, at);
      s.length = Get16(bytes, at + 2);
      std::uint16_t flags = Get16(bytes, at + 4);
      s.flags = static_cast<std::uint16_t>(flags & ~kKeySegmentFollows);
      s.distinctValues = Get32(bytes, at + 6);
      s.type = static_cast<std::uint8_t>(bytes[at + 10]);
      s.nullValue = static_cast<std::uint8_t>(bytes[at + 11]);
      s.keyNumber = static_cast<std::uint8_t>(bytes[at + 14]);
      s.collatingBlock = static_cast<std::uint8_t>(bytes[at + 15]);
      key.segments.push_back(s);
      at += kSegmentSpecSize;
      if ((flags & kKeySegmentFollows) == 0) break;
    }
    d.keys.push_back(std::move(key));
  }
  while (at + kCollatingBlockSize <= bytes.size() &&
         static_cast<unsigned char>(bytes[at]) == kCollatingSignature) {
    CollatingBlock block;
    block.name = std::string(bytes.substr(at + 1, 8));
    while (!block.name.empty() && (block.name.back() == ' ' || block.name.back() == '\0')) block.name.pop_back();
    for (int i = 0; i < 256; ++i) block.table[i] = static_cast<std::uint8_t>(bytes[at + 9 + i]);
    d.collating.push_back(std::move(block));
    at += kCollatingBlockSize;
  }
  return true;
}

std::string MakeDescriptionFile(std::string_view createBuffer) {
  std::string out;
  Put16(out, static_cast<std::uint16_t>(createBuffer.size()));
  out.append(createBuffer);
  return out;
}

bool ReadDescriptionFile(std::string_view fileBytes, std::string& createBuffer, std::string& error) {
  if (fileBytes.size() < 2) {
    error = "too short to hold the 2-byte length of the description";
    return false;
  }
  std::uint16_t length = Get16(fileBytes, 0);
  if (fileBytes.size() - 2 < length) {
    error = "the length says " + std::to_string(length) + " bytes of description follow, but only " +
            std::to_string(fileBytes.size() - 2) + " do";
    return false;
  }
  if (length < kFileSpecSize) {
    error = "the description is " + std::to_string(length) + " bytes, shorter than the 16-byte file specification";
    return false;
  }
  createBuffer = std::string(fileBytes.substr(2, length));
  return true;
}

const std::vector<FlagName>& KeyFlagNames() {
  static const std::vector<FlagName> kNames = {
      {kKeyDuplicates, "duplicates"},
      {kKeyModifiable, "modifiable"},
      {kKeyBinary, "binary"},
      {kKeyNullAll, "null"},
      {kKeyDescending, "descending"},
      {kKeyRepeatingDuplicates, "repeating duplicates"},
      {kKeyNullAny, "null any segment"},
      {kKeyCaseInsensitive, "case-insensitive"},
  };
  return kNames;
}

const std::vector<FlagName>& FileFlagNames() {
  static const std::vector<FlagName> kNames = {
      {0x0001, "variable length"},
      {0x0002, "blank truncation"},
      {0x0004, "preallocate"},
      {0x0008, "compression"},
      {0x0010, "key-only"},
      {0x0020, "balanced indexes"},
      {0x0040, "free space 10"},
      {0x0080, "free space 20"},
      {0x00C0, "free space 30"},
      {0x0100, "reserve duplicate pointers"},
  };
  return kNames;
}

int KeyTypeCode(std::string_view name) {
  for (const TypeName& t : kTypeNames) {
    if (name == t.name) return t.code;
  }
  return -1;
}

std::string KeyTypeName(int code) {
  for (const TypeName& t : kTypeNames) {
    if (code == t.code) return t.name;
  }
  return "";
}

std::string SegmentTypeWords(const Segment& segment) {
  if (segment.flags & kKeyExtendedType) {
    std::string name = KeyTypeName(segment.type);
    return name.empty() ? "type " + std::to_string(segment.type) : name;
  }
  return (segment.flags & kKeyBinary) ? "binary" : "string";
}

}  // namespace recman_tool
