#include "tools/recman/layout.h"

#include <algorithm>

#include "tools/recman/json.h"

namespace recman_tool {
namespace {

struct FieldTypeInfo {
  FieldType type;
  const char* name;
  std::uint32_t fixedWidth;  // 0: any width
};

const FieldTypeInfo kFieldTypes[] = {
    {FieldType::kText, "text", 0},          {FieldType::kChar, "char", 1},
    {FieldType::kInt16, "int16", 2},        {FieldType::kInt32, "int32", 4},
    {FieldType::kThousandths, "thousandths", 4}, {FieldType::kPackedCode, "packed code", 0},
    {FieldType::kPackedDate, "packed date", 4},
};

// Lengths the record manager allows for the fixed-size key types.
bool KeyTypeLengthAllowed(int type, std::uint32_t length) {
  switch (type) {
    case 1:   // integer
    case 14:  // unsigned binary
      return length == 1 || length == 2 || length == 4 || length == 8;
    case 2:  // float
      return length == 4 || length == 8;
    case 3:  // date
    case 4:  // time
      return length == 4;
    case 7:  // logical
      return length == 1 || length == 2;
    case 15:  // autoincrement
      return length == 2 || length == 4;
    default:
      return length >= 1;
  }
}

std::string Where(const JsonValue& value) {
  return std::to_string(value.place().line) + ":" + std::to_string(value.place().column) + ": ";
}

class LayoutReader {
 public:
  explicit LayoutReader(std::string& error) : error_(error) {}

  bool Read(const JsonValue& root, Layout& layout) {
    if (!root.IsObject()) return Fail(root, "a layout is an object, found " + std::string(JsonValue::KindName(root.kind())));
    if (!OnlyMembers(root, {"record length", "page size", "file flags", "duplicate pointers", "preallocated pages",
                            "keys", "collating sequences", "fields"})) {
      return false;
    }
    FileDescription& d = layout.description;
    std::int64_t n = 0;
    if (!RequiredInteger(root, "record length", 1, 65535, n)) return false;
    d.recordLength = static_cast<std::uint16_t>(n);
    if (const JsonValue* v = root.Find("page size")) {
      if (!Integer(*v, "the page size", 512, 4096, n)) return false;
      if (n % 512 != 0) return Fail(*v, "the page size must be a multiple of 512");
      d.pageSize = static_cast<std::uint16_t>(n);
    }
    if (const JsonValue* v = root.Find("file flags")) {
      if (!FileFlags(*v, d.fileFlags)) return false;
    }
    if (const JsonValue* v = root.Find("duplicate pointers")) {
      if (!Integer(*v, "the number of duplicate pointers", 0, 255, n)) return false;
      d.duplicatePointers = static_cast<std::uint8_t>(n);
    }
    if (const JsonValue* v = root.Find("preallocated pages")) {
      if (!Integer(*v, "the number of preallocated pages", 0, 65535, n)) return false;
      d.pages = static_cast<std::uint16_t>(n);
    }
    // Collating sequences come first so that segments can name them.
    if (const JsonValue* v = root.Find("collating sequences")) {
      if (!CollatingSequences(*v, d.collating)) return false;
    }
    const JsonValue* keys = root.Find("keys");
    if (keys == nullptr) return Fail(root, "the layout has no \"keys\"");
    if (!Keys(*keys, d)) return false;
    if (const JsonValue* v = root.Find("fields")) {
      if (!Fields(*v, d.recordLength, layout.fields)) return false;
    }
    return true;
  }

 private:
  bool Fail(const JsonValue& at, const std::string& message) {
    error_ = Where(at) + message;
    return false;
  }

  // Refuses members other than the allowed ones and "comment".
  bool OnlyMembers(const JsonValue& object, std::initializer_list<const char*> allowed) {
    for (const auto& member : object.Members()) {
      const std::string& name = member.first;
      const JsonValue& value = member.second;
      if (name == "comment") continue;
      bool known = std::any_of(allowed.begin(), allowed.end(), [&](const char* a) { return name == a; });
      if (!known) {
        std::string list;
        for (const char* a : allowed) list += std::string(list.empty() ? "" : ", ") + "\"" + a + "\"";
        return Fail(value, "unknown member \"" + name + "\" (expected " + list + ")");
      }
    }
    return true;
  }

  bool Integer(const JsonValue& v, const std::string& what, std::int64_t low, std::int64_t high, std::int64_t& out) {
    if (!v.IsNumber()) return Fail(v, what + " must be a number, found " + JsonValue::KindName(v.kind()));
    auto value = v.AsInteger();
    if (!value) return Fail(v, what + " must be a whole number, found " + v.NumberText());
    if (*value < low || *value > high) {
      return Fail(v, what + " must be from " + std::to_string(low) + " to " + std::to_string(high) + ", found " +
                         v.NumberText());
    }
    out = *value;
    return true;
  }

  bool RequiredInteger(const JsonValue& object, const char* name, std::int64_t low, std::int64_t high,
                       std::int64_t& out) {
    const JsonValue* v = object.Find(name);
    if (v == nullptr) return Fail(object, std::string("\"") + name + "\" is missing");
    return Integer(*v, std::string("\"") + name + "\"", low, high, out);
  }

  bool String(const JsonValue& v, const std::string& what, std::string& out) {
    if (!v.IsString()) return Fail(v, what + " must be a string, found " + JsonValue::KindName(v.kind()));
    out = v.AsString();
    return true;
  }

  bool FileFlags(const JsonValue& v, std::uint16_t& flags) {
    if (!v.IsArray()) return Fail(v, "\"file flags\" must be a list of names");
    for (const JsonValue& item : v.Items()) {
      std::string name;
      if (!String(item, "a file flag", name)) return false;
      const FlagName* found = nullptr;
      for (const FlagName& f : FileFlagNames()) {
        if (name == f.name) found = &f;
      }
      if (found == nullptr) {
        std::string list;
        for (const FlagName& f : FileFlagNames()) list += std::string(list.empty() ? "" : ", ") + "\"" + f.name + "\"";
        return Fail(item, "unknown file flag \"" + name + "\" (expected one of " + list + ")");
      }
      // The free-space values share two bits; naming two of them is a contradiction.
      if (found->bit & 0x00C0) {
        if (flags & 0x00C0) return Fail(item, "only one free-space flag may be given");
      }
      flags |= found->bit;
    }
    return true;
  }

  bool CollatingSequences(const JsonValue& v, std::vector<CollatingBlock>& blocks) {
    if (!v.IsArray()) return Fail(v, "\"collating sequences\" must be a list");
    if (v.Items().size() > 255) return Fail(v, "at most 255 collating sequences");
    for (const JsonValue& item : v.Items()) {
      if (!item.IsObject()) return Fail(item, "a collating sequence is an object with \"name\" and \"table\"");
      if (!OnlyMembers(item, {"name", "table"})) return false;
      CollatingBlock block;
      const JsonValue* name = item.Find("name");
      if (name == nullptr) return Fail(item, "the collating sequence has no \"name\"");
      if (!String(*name, "the name", block.name)) return false;
      if (block.name.empty() || block.name.size() > 8 ||
          !std::all_of(block.name.begin(), block.name.end(), [](char c) { return c > ' ' && c < 0x7F; })) {
        return Fail(*name, "a collating sequence name is 1 to 8 printable ASCII characters without blanks");
      }
      for (const CollatingBlock& other : blocks) {
        if (other.name == block.name) return Fail(*name, "the collating sequence \"" + block.name + "\" is defined twice");
      }
      const JsonValue* table = item.Find("table");
      if (table == nullptr) return Fail(item, "the collating sequence has no \"table\"");
      if (!table->IsArray() || table->Items().size() != 256) {
        return Fail(*table, "the table must be a list of exactly 256 numbers");
      }
      for (std::size_t i = 0; i < 256; ++i) {
        std::int64_t n = 0;
        if (!Integer(table->Items()[i], "a table entry", 0, 255, n)) return false;
        block.table[i] = static_cast<std::uint8_t>(n);
      }
      blocks.push_back(std::move(block));
    }
    return true;
  }

  bool SegmentFlags(const JsonValue& v, std::uint16_t& flags) {
    if (v.IsNumber()) {
      std::int64_t n = 0;
      if (!Integer(v, "the key flags", 0, 0xFFFF, n)) return false;
      if (n & (kKeySegmentFollows | kKeyExtendedType | kKeyCollating)) {
        return Fail(v, "the key flags 0x0010, 0x0020 and 0x0100 follow from the key's segments, \"collating\" and "
                       "\"type\"; leave them out");
      }
      flags = static_cast<std::uint16_t>(n);
      return true;
    }
    if (!v.IsArray()) return Fail(v, "\"flags\" must be a list of names or a number");
    for (const JsonValue& item : v.Items()) {
      std::string name;
      if (!String(item, "a key flag", name)) return false;
      const FlagName* found = nullptr;
      for (const FlagName& f : KeyFlagNames()) {
        if (name == f.name) found = &f;
      }
      if (found == nullptr) {
        std::string list;
        for (const FlagName& f : KeyFlagNames()) list += std::string(list.empty() ? "" : ", ") + "\"" + f.name + "\"";
        return Fail(item, "unknown key flag \"" + name + "\" (expected one of " + list + ")");
      }
      flags |= found->bit;
    }
    return true;
  }

  bool Segment_(const JsonValue& v, const FileDescription& d, Segment& s) {
    if (!v.IsObject()) return Fail(v, "a segment is an object with \"position\" and \"length\"");
    if (!OnlyMembers(v, {"position", "length", "type", "flags", "null value", "collating"})) return false;
    std::int64_t n = 0;
    if (!RequiredInteger(v, "position", 1, d.recordLength, n)) return false;
    s.position = static_cast<std::uint16_t>(n);
    if (!RequiredInteger(v, "length", 1, 255, n)) return false;
    s.length = static_cast<std::uint16_t>(n);
    if (s.position + s.length - 1 > d.recordLength) {
      return Fail(v, "the segment ends at byte " + std::to_string(s.position + s.length - 1) +
                         ", past the end of the " + std::to_string(d.recordLength) + "-byte record");
    }
    if (const JsonValue* f = v.Find("flags")) {
      if (!SegmentFlags(*f, s.flags)) return false;
    }
    if (const JsonValue* t = v.Find("type")) {
      std::string name;
      if (!String(*t, "the type", name)) return false;
      int code = KeyTypeCode(name);
      if (code < 0) {
        return Fail(*t, "unknown key type \"" + name + "\" (expected \"string\", \"integer\", \"unsigned binary\", "
                        "\"zstring\", \"lstring\", \"autoincrement\", \"float\", \"date\", \"time\", \"decimal\", "
                        "\"money\", \"logical\", \"numeric\", \"bfloat\", \"note\" or \"lvar\")");
      }
      if (s.flags & kKeyBinary) return Fail(*t, "a segment with a \"type\" cannot also have the \"binary\" flag");
      if (!KeyTypeLengthAllowed(code, s.length)) {
        return Fail(*t, "a segment of type \"" + name + "\" cannot be " + std::to_string(s.length) + " bytes long");
      }
      s.type = static_cast<std::uint8_t>(code);
      s.flags |= kKeyExtendedType;
    }
    if (const JsonValue* nv = v.Find("null value")) {
      if (nv->IsString()) {
        if (nv->AsString().size() != 1) return Fail(*nv, "a null value given as a string is one ASCII character");
        s.nullValue = static_cast<std::uint8_t>(nv->AsString()[0]);
      } else {
        if (!Integer(*nv, "the null value", 0, 255, n)) return false;
        s.nullValue = static_cast<std::uint8_t>(n);
      }
    }
    if (const JsonValue* c = v.Find("collating")) {
      std::string name;
      if (!String(*c, "\"collating\"", name)) return false;
      auto it = std::find_if(d.collating.begin(), d.collating.end(),
                             [&](const CollatingBlock& b) { return b.name == name; });
      if (it == d.collating.end()) return Fail(*c, "no collating sequence named \"" + name + "\" in the layout");
      s.flags |= kKeyCollating;
      s.collatingBlock = static_cast<std::uint8_t>(it - d.collating.begin());
    }
    return true;
  }

  bool Keys(const JsonValue& v, FileDescription& d) {
    if (!v.IsArray()) return Fail(v, "\"keys\" must be a list of keys, each a list of segments");
    if (v.Items().empty()) return Fail(v, "a record file needs at least one key");
    if (v.Items().size() > 119) return Fail(v, "at most 119 keys");
    constexpr std::uint16_t kWholeKeyFlags = kKeyDuplicates | kKeyModifiable | kKeyNullAll | kKeyNullAny;
    for (std::size_t k = 0; k < v.Items().size(); ++k) {
      const JsonValue& item = v.Items()[k];
      std::string keyName = "key " + std::to_string(k);
      if (!item.IsArray()) return Fail(item, keyName + " must be a list of segments");
      if (item.Items().empty()) return Fail(item, keyName + " has no segments");
      Key key;
      for (const JsonValue& sv : item.Items()) {
        Segment s;
        if (!Segment_(sv, d, s)) return false;
        if (!key.segments.empty() && (s.flags & kWholeKeyFlags) != (key.segments[0].flags & kWholeKeyFlags)) {
          return Fail(sv, keyName + ": \"duplicates\", \"modifiable\" and the null flags belong to the whole key and "
                                    "must be the same on every segment");
        }
        key.segments.push_back(s);
      }
      if (key.Length() > 255) {
        return Fail(item, keyName + " is " + std::to_string(key.Length()) + " bytes long; a key holds at most 255");
      }
      d.keys.push_back(std::move(key));
    }
    return true;
  }

  bool Fields(const JsonValue& v, std::uint32_t recordLength, std::vector<Field>& fields) {
    if (!v.IsArray()) return Fail(v, "\"fields\" must be a list");
    std::vector<std::pair<std::uint32_t, std::uint32_t>> taken;  // [offset, end) per field
    for (const JsonValue& item : v.Items()) {
      if (!item.IsObject()) return Fail(item, "a field is an object with \"name\", \"offset\" and \"type\"");
      if (!OnlyMembers(item, {"name", "offset", "width", "type"})) return false;
      Field f;
      const JsonValue* name = item.Find("name");
      if (name == nullptr) return Fail(item, "the field has no \"name\"");
      if (!String(*name, "the name", f.name)) return false;
      if (f.name.empty()) return Fail(*name, "a field name may not be empty");
      for (const Field& other : fields) {
        if (other.name == f.name) return Fail(*name, "the field \"" + f.name + "\" is defined twice");
      }
      std::int64_t n = 0;
      if (!RequiredInteger(item, "offset", 0, recordLength - 1, n)) return false;
      f.offset = static_cast<std::uint32_t>(n);
      const JsonValue* type = item.Find("type");
      if (type == nullptr) return Fail(item, "the field \"" + f.name + "\" has no \"type\"");
      std::string typeName;
      if (!String(*type, "the type", typeName)) return false;
      const FieldTypeInfo* info = nullptr;
      for (const FieldTypeInfo& t : kFieldTypes) {
        if (typeName == t.name) info = &t;
      }
      if (info == nullptr) {
        return Fail(*type, "unknown field type \"" + typeName + "\" (expected \"text\", \"char\", \"int16\", "
                           "\"int32\", \"thousandths\", \"packed code\" or \"packed date\")");
      }
      f.type = info->type;
      if (const JsonValue* w = item.Find("width")) {
        if (!Integer(*w, "the width", 1, recordLength, n)) return false;
        if (info->fixedWidth != 0 && n != info->fixedWidth) {
          return Fail(*w, "a field of type \"" + typeName + "\" is " + std::to_string(info->fixedWidth) +
                              " bytes wide, not " + std::to_string(n));
        }
        f.width = static_cast<std::uint32_t>(n);
      } else if (info->fixedWidth != 0) {
        f.width = info->fixedWidth;
      } else {
        return Fail(item, "the field \"" + f.name + "\" needs a \"width\"");
      }
      if (f.offset + f.width > recordLength) {
        return Fail(item, "the field \"" + f.name + "\" ends at offset " + std::to_string(f.offset + f.width) +
                              ", past the end of the " + std::to_string(recordLength) + "-byte record");
      }
      for (std::size_t i = 0; i < taken.size(); ++i) {
        if (f.offset < taken[i].second && taken[i].first < f.offset + f.width) {
          return Fail(item, "the field \"" + f.name + "\" overlaps the field \"" + fields[i].name + "\"");
        }
      }
      taken.emplace_back(f.offset, f.offset + f.width);
      fields.push_back(std::move(f));
    }
    return true;
  }

  std::string& error_;
};

}  // namespace

const char* FieldTypeName(FieldType type) {
  for (const FieldTypeInfo& t : kFieldTypes) {
    if (t.type == type) return t.name;
  }
  return "?";
}

bool ParseLayout(std::string_view jsonText, Layout& layout, std::string& error) {
  layout = Layout();
  JsonValue root;
  JsonError jsonError;
  if (!ParseJson(jsonText, root, jsonError)) {
    error = std::to_string(jsonError.place.line) + ":" + std::to_string(jsonError.place.column) + ": " +
            jsonError.message;
    return false;
  }
  LayoutReader reader(error);
  return reader.Read(root, layout);
}

}  // namespace recman_tool
