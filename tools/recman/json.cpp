#include "tools/recman/json.h"

#include "values/cp850.h"

#include <charconv>

namespace recman_tool {

std::optional<std::int64_t> JsonValue::AsInteger() const {
  if (kind_ != Kind::kNumber) return std::nullopt;
  if (text_.find_first_of(".eE") != std::string::npos) return std::nullopt;
  std::int64_t value = 0;
  auto [end, ec] = std::from_chars(text_.data(), text_.data() + text_.size(), value);
  if (ec != std::errc() || end != text_.data() + text_.size()) return std::nullopt;
  return value;
}

const JsonValue* JsonValue::Find(std::string_view name) const {
  for (const auto& [key, value] : members_) {
    if (key == name) return &value;
  }
  return nullptr;
}

const char* JsonValue::KindName(Kind kind) {
  switch (kind) {
    case Kind::kNull: return "null";
    case Kind::kBool: return "true or false";
    case Kind::kNumber: return "a number";
    case Kind::kString: return "a string";
    case Kind::kArray: return "a list";
    case Kind::kObject: return "an object";
  }
  return "a value";
}

class JsonParser {
 public:
  explicit JsonParser(std::string_view text) : text_(text) {}

  bool ParseDocument(JsonValue& result, JsonError& error) {
    // Editors on Windows like to start a UTF-8 file with a byte order mark; it is not part of
    // the document.
    if (text_.substr(0, 3) == "\xEF\xBB\xBF") {
      pos_ = 3;
      lineStart_ = 3;
    }
    SkipSpace();
    if (!ParseValue(result, 0)) {
      error = error_;
      return false;
    }
    SkipSpace();
    if (pos_ < text_.size()) {
      Fail("unexpected text after the end of the document");
      error = error_;
      return false;
    }
    return true;
  }

 private:
  static constexpr int kMaxDepth = 100;

  JsonPlace Here() const { return JsonPlace{line_, static_cast<int>(pos_ - lineStart_) + 1}; }

  bool Fail(std::string message) { return FailAt(Here(), std::move(message)); }
  bool FailAt(JsonPlace place, std::string message) {
    error_.place = place;
    error_.message = std::move(message);
    return false;
  }

  bool AtEnd() const { return pos_ >= text_.size(); }
  char Peek() const { return text_[pos_]; }

  void SkipSpace() {
    while (!AtEnd()) {
      char c = Peek();
      if (c == '\n') {
        ++pos_;
        ++line_;
        lineStart_ = pos_;
      } else if (c == ' ' || c == '\t' || c == '\r') {
        ++pos_;
      } else {
        break;
      }
    }
  }

  // A description of the byte at the current place for messages.
  std::string Found() const {
    if (AtEnd()) return "the end of the text";
    unsigned char c = static_cast<unsigned char>(Peek());
    if (c >= 0x20 && c < 0x7F) return std::string("'") + static_cast<char>(c) + "'";
    static const char kHex[] = "0123456789ABCDEF";
    return std::string("the byte 0x") + kHex[c >> 4] + kHex[c & 15];
  }

  bool ParseValue(JsonValue& value, int depth) {
    value.place_ = Here();
    if (AtEnd()) return Fail("expected a value, found the end of the text");
    char c = Peek();
    if (c == '{') return ParseObject(value, depth);
    if (c == '[') return ParseArray(value, depth);
    if (c == '"') {
      value.kind_ = JsonValue::Kind::kString;
      return ParseString(value.text_);
    }
    if (c == '-' || (c >= '0' && c <= '9')) return ParseNumber(value);
    if (Literal("true")) {
      value.kind_ = JsonValue::Kind::kBool;
      value.bool_ = true;
      return true;
    }
    if (Literal("false")) {
      value.kind_ = JsonValue::Kind::kBool;
      value.bool_ = false;
      return true;
    }
    if (Literal("null")) {
      value.kind_ = JsonValue::Kind::kNull;
      return true;
    }
    return Fail("expected a value, found " + Found());
  }

  bool Literal(std::string_view word) {
    if (text_.substr(pos_, word.size()) != word) return false;
    std::size_t after = pos_ + word.size();
    if (after < text_.size()) {
      char c = text_[after];
      if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_') return false;
    }
    pos_ = after;
    return true;
  }

  bool ParseObject(JsonValue& value, int depth) {
    if (depth >= kMaxDepth) return Fail("lists and objects nested too deeply");
    value.kind_ = JsonValue::Kind::kObject;
    ++pos_;  // '{'
    SkipSpace();
    if (!AtEnd() && Peek() == '}') {
      ++pos_;
      return true;
    }
    while (true) {
      SkipSpace();
      if (AtEnd() || Peek() != '"') return Fail("expected a member name in double quotes, found " + Found());
      JsonPlace namePlace = Here();
      std::string name;
      if (!ParseString(name)) return false;
      if (value.Find(name) != nullptr) return FailAt(namePlace, "the member \"" + name + "\" appears twice");
      SkipSpace();
      if (AtEnd() || Peek() != ':') return Fail("expected ':' after the member name, found " + Found());
      ++pos_;
      SkipSpace();
      value.members_.emplace_back(std::move(name), JsonValue());
      if (!ParseValue(value.members_.back().second, depth + 1)) return false;
      SkipSpace();
      if (AtEnd()) return Fail("expected ',' or '}', found the end of the text");
      if (Peek() == ',') {
        ++pos_;
        continue;
      }
      if (Peek() == '}') {
        ++pos_;
        return true;
      }
      return Fail("expected ',' or '}', found " + Found());
    }
  }

  bool ParseArray(JsonValue& value, int depth) {
    if (depth >= kMaxDepth) return Fail("lists and objects nested too deeply");
    value.kind_ = JsonValue::Kind::kArray;
    ++pos_;  // '['
    SkipSpace();
    if (!AtEnd() && Peek() == ']') {
      ++pos_;
      return true;
    }
    while (true) {
      SkipSpace();
      value.items_.emplace_back();
      if (!ParseValue(value.items_.back(), depth + 1)) return false;
      SkipSpace();
      if (AtEnd()) return Fail("expected ',' or ']', found the end of the text");
      if (Peek() == ',') {
        ++pos_;
        continue;
      }
      if (Peek() == ']') {
        ++pos_;
        return true;
      }
      return Fail("expected ',' or ']', found " + Found());
    }
  }

  bool ParseNumber(JsonValue& value) {
    value.kind_ = JsonValue::Kind::kNumber;
    std::size_t start = pos_;
    auto digits = [&] {
      std::size_t from = pos_;
      while (!AtEnd() && Peek() >= '0' && Peek() <= '9') ++pos_;
      return pos_ - from;
    };
    if (Peek() == '-') ++pos_;
    if (AtEnd() || Peek() < '0' || Peek() > '9') return Fail("expected a digit, found " + Found());
    if (Peek() == '0') {
      ++pos_;
      if (!AtEnd() && Peek() >= '0' && Peek() <= '9') return Fail("a number may not start with the digit 0");
    } else {
      digits();
    }
    if (!AtEnd() && Peek() == '.') {
      ++pos_;
      if (digits() == 0) return Fail("expected a digit after the decimal point, found " + Found());
    }
    if (!AtEnd() && (Peek() == 'e' || Peek() == 'E')) {
      ++pos_;
      if (!AtEnd() && (Peek() == '+' || Peek() == '-')) ++pos_;
      if (digits() == 0) return Fail("expected a digit in the exponent, found " + Found());
    }
    value.text_ = std::string(text_.substr(start, pos_ - start));
    return true;
  }

  bool ParseHex4(char32_t& out) {
    out = 0;
    for (int i = 0; i < 4; ++i) {
      if (AtEnd()) return Fail("expected four hexadecimal digits after \\u, found the end of the text");
      char c = Peek();
      int digit;
      if (c >= '0' && c <= '9') digit = c - '0';
      else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
      else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
      else return Fail("expected four hexadecimal digits after \\u, found " + Found());
      out = out * 16 + static_cast<char32_t>(digit);
      ++pos_;
    }
    return true;
  }

  // Checks one UTF-8 sequence starting at pos_ and copies it; the text must be valid UTF-8.
  bool CopyUtf8(std::string& out) {
    unsigned char lead = static_cast<unsigned char>(Peek());
    int extra;
    char32_t c;
    if (lead >= 0xC2 && lead <= 0xDF) {
      extra = 1;
      c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      extra = 2;
      c = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      extra = 3;
      c = lead & 0x07;
    } else {
      return Fail("the text is not valid UTF-8 (" + Found() + ")");
    }
    if (pos_ + extra >= text_.size()) {
      return Fail("the text is not valid UTF-8 (a character is cut off)");
    }
    for (int i = 1; i <= extra; ++i) {
      unsigned char b = static_cast<unsigned char>(text_[pos_ + i]);
      if ((b & 0xC0) != 0x80) return Fail("the text is not valid UTF-8 (" + Found() + ")");
      c = (c << 6) | (b & 0x3F);
    }
    bool overlong = (extra == 2 && c < 0x800) || (extra == 3 && c < 0x10000);
    if (overlong || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
      return Fail("the text is not valid UTF-8 (" + Found() + ")");
    }
    out.append(text_.substr(pos_, extra + 1));
    pos_ += extra + 1;
    return true;
  }

  bool ParseString(std::string& out) {
    ++pos_;  // opening quote
    while (true) {
      if (AtEnd()) return Fail("the string has no closing double quote");
      unsigned char c = static_cast<unsigned char>(Peek());
      if (c == '"') {
        ++pos_;
        return true;
      }
      if (c < 0x20) return Fail("a control character inside a string must be written as an escape");
      if (c >= 0x80) {
        if (!CopyUtf8(out)) return false;
        continue;
      }
      if (c != '\\') {
        out += static_cast<char>(c);
        ++pos_;
        continue;
      }
      ++pos_;
      if (AtEnd()) return Fail("the string has no closing double quote");
      char e = Peek();
      ++pos_;
      switch (e) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          char32_t unit;
          if (!ParseHex4(unit)) return false;
          if (unit >= 0xDC00 && unit <= 0xDFFF) return Fail("a \\u escape holds a lone low surrogate");
          if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (text_.substr(pos_, 2) != "\\u") return Fail("a high surrogate must be followed by a \\u low surrogate");
            pos_ += 2;
            char32_t low;
            if (!ParseHex4(low)) return false;
            if (low < 0xDC00 || low > 0xDFFF) return Fail("a high surrogate must be followed by a \\u low surrogate");
            unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
          }
          values::AppendUtf8(out, unit);
          break;
        }
        default:
          pos_ -= 2;
          return Fail("unknown escape \\" + std::string(1, e) + " in a string");
      }
    }
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  int line_ = 1;
  std::size_t lineStart_ = 0;
  JsonError error_;
};

bool ParseJson(std::string_view text, JsonValue& result, JsonError& error) {
  result = JsonValue();
  JsonParser parser(text);
  return parser.ParseDocument(result, error);
}

}  // namespace recman_tool
