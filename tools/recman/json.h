// The JSON of the utility's layout files, read with nlohmann-json and kept with places.
//
// Exactly the JSON grammar is accepted (objects, arrays, strings with all escapes including
// surrogate pairs, numbers, true, false, null): no comments, no trailing commas, no bytes after
// the top-level value except white space; and, beyond the grammar, no duplicate member names.
// Every value remembers the line and column (both from 1, columns counted in bytes) where it
// starts, so that the code reading a layout can point at the offending value.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace recman_tool {

struct JsonPlace {
  int line = 1;
  int column = 1;
};

class JsonValue {
 public:
  enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject };

  Kind kind() const { return kind_; }
  JsonPlace place() const { return place_; }

  bool IsNull() const { return kind_ == Kind::kNull; }
  bool IsBool() const { return kind_ == Kind::kBool; }
  bool IsNumber() const { return kind_ == Kind::kNumber; }
  bool IsString() const { return kind_ == Kind::kString; }
  bool IsArray() const { return kind_ == Kind::kArray; }
  bool IsObject() const { return kind_ == Kind::kObject; }

  bool AsBool() const { return bool_; }
  // The number exactly as written ("-12", "1.5e3").
  const std::string& NumberText() const { return text_; }
  // The number as a 64-bit integer, when it is written as one (no fraction, no exponent) and
  // fits.
  std::optional<std::int64_t> AsInteger() const;
  // The string's contents in UTF-8.
  const std::string& AsString() const { return text_; }
  const std::vector<JsonValue>& Items() const { return items_; }
  // Object members in the order written.
  const std::vector<std::pair<std::string, JsonValue>>& Members() const { return members_; }
  // The member of that name, or nullptr.
  const JsonValue* Find(std::string_view name) const;

  // A short name of the kind for messages: "a number", "an object", ...
  static const char* KindName(Kind kind);

 private:
  friend class JsonParser;
  Kind kind_ = Kind::kNull;
  JsonPlace place_;
  bool bool_ = false;
  std::string text_;
  std::vector<JsonValue> items_;
  std::vector<std::pair<std::string, JsonValue>> members_;
};

struct JsonError {
  JsonPlace place;
  std::string message;  // without the place, e.g. "expected ':' after the member name"
};

// Parses a whole document. On failure returns false and fills error with the place of the
// first fault. Nesting deeper than 100 levels is refused.
bool ParseJson(std::string_view text, JsonValue& result, JsonError& error);

}  // namespace recman_tool
