#include "tools/recman/json.h"

#include <charconv>
#include <iterator>

#include <nlohmann/json.hpp>

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

namespace {

// A byte iterator over the text that tells how far the parser has read, so that each value's
// place can be found: the parser reads a value's last byte (and after a number one byte more)
// before it reports the value.
class CountingIterator {
 public:
  using iterator_category = std::forward_iterator_tag;
  using value_type = char;
  using difference_type = std::ptrdiff_t;
  using pointer = const char*;
  using reference = const char&;

  CountingIterator() = default;
  CountingIterator(const char* at, const char** reached) : at_(at), reached_(reached) {}
  reference operator*() const { return *at_; }
  CountingIterator& operator++() {
    ++at_;
    if (reached_ && at_ > *reached_) *reached_ = at_;
    return *this;
  }
  CountingIterator operator++(int) {
    CountingIterator before = *this;
    ++*this;
    return before;
  }
  bool operator==(const CountingIterator& other) const { return at_ == other.at_; }

 private:
  const char* at_ = nullptr;
  const char** reached_ = nullptr;
};

}  // namespace

// Builds the values from the parser's events, each with the place where it starts.
class JsonParser : public nlohmann::json_sax<nlohmann::json> {
 public:
  static constexpr std::size_t kMaxDepth = 100;

  JsonParser(std::string_view text, std::size_t skipped) : text_(text), next_(skipped), reached_(text.data() + skipped) {}

  bool Parse(JsonValue& result, JsonError& error) {
    CountingIterator first(text_.data() + next_, &reached_);
    CountingIterator last(text_.data() + text_.size(), nullptr);
    bool ok = nlohmann::json::sax_parse(first, last, this);
    if (!ok) {
      error = error_;
      return false;
    }
    result = std::move(root_);
    return true;
  }

  bool null() override { return Scalar(JsonValue::Kind::kNull); }
  bool boolean(bool value) override {
    JsonValue* v = Add(JsonValue::Kind::kBool);
    v->bool_ = value;
    return true;
  }
  bool number_integer(number_integer_t) override { return Number(); }
  bool number_unsigned(number_unsigned_t) override { return Number(); }
  bool number_float(number_float_t, const string_t&) override { return Number(); }
  bool string(string_t& value) override {
    Add(JsonValue::Kind::kString)->text_ = std::move(value);
    return true;
  }
  bool binary(binary_t&) override { return false; }  // not produced by JSON text
  bool start_object(std::size_t) override { return Open(JsonValue::Kind::kObject); }
  bool key(string_t& name) override {
    JsonPlace place = Start();
    JsonValue& object = *open_.back();
    if (object.Find(name) != nullptr) return Fail(place, "the member \"" + name + "\" appears twice");
    object.members_.emplace_back(std::move(name), JsonValue());
    return true;
  }
  bool end_object() override { return Close(); }
  bool start_array(std::size_t) override { return Open(JsonValue::Kind::kArray); }
  bool end_array() override { return Close(); }

  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& ex) override {
    // The parser's message reads "[json.exception.parse_error.N] parse error at line L,
    // column C: what"; the place is given separately.
    std::string message = ex.what();
    std::size_t column = message.find("column ");
    std::size_t colon = column == std::string::npos ? std::string::npos : message.find(": ", column);
    if (colon != std::string::npos) message = message.substr(colon + 2);
    return Fail(PlaceOf(reached_ - text_.data() - (reached_ > text_.data() + next_ ? 1 : 0)), message);
  }

 private:
  static bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

  // The place of the value reported now: the first byte after the last one reported that is
  // neither white space nor a separator.
  JsonPlace Start() {
    while (next_ < text_.size() && (IsSpace(text_[next_]) || text_[next_] == ',' || text_[next_] == ':')) ++next_;
    start_ = next_;
    JsonPlace place = PlaceOf(next_);
    next_ = static_cast<std::size_t>(reached_ - text_.data());
    return place;
  }

  JsonPlace PlaceOf(std::size_t offset) const {
    JsonPlace place;
    for (std::size_t i = 0; i < offset && i < text_.size(); ++i) {
      if (text_[i] == '\n') {
        ++place.line;
        place.column = 1;
      } else {
        ++place.column;
      }
    }
    return place;
  }

  // A new value in the open list or object (or the document itself), with its place.
  JsonValue* Add(JsonValue::Kind kind) {
    JsonPlace place = Start();
    JsonValue* v;
    if (open_.empty()) {
      v = &root_;
    } else if (open_.back()->kind_ == JsonValue::Kind::kArray) {
      open_.back()->items_.emplace_back();
      v = &open_.back()->items_.back();
    } else {
      v = &open_.back()->members_.back().second;
    }
    v->kind_ = kind;
    v->place_ = place;
    return v;
  }

  bool Scalar(JsonValue::Kind kind) {
    Add(kind);
    return true;
  }

  // A number keeps its text as written.
  bool Number() {
    JsonValue* v = Add(JsonValue::Kind::kNumber);
    std::size_t end = start_;
    while (end < text_.size() && std::string_view("+-0123456789.eE").find(text_[end]) != std::string_view::npos) ++end;
    v->text_ = std::string(text_.substr(start_, end - start_));
    return true;
  }

  bool Open(JsonValue::Kind kind) {
    JsonValue* v = Add(kind);
    if (open_.size() >= kMaxDepth) return Fail(v->place_, "lists and objects nested too deeply");
    open_.push_back(v);
    return true;
  }

  bool Close() {
    next_ = static_cast<std::size_t>(reached_ - text_.data());
    open_.pop_back();
    return true;
  }

  bool Fail(JsonPlace place, std::string message) {
    error_ = {place, std::move(message)};
    return false;
  }

  std::string_view text_;
  std::size_t next_;         // where the search for the next value's start begins
  std::size_t start_ = 0;    // where the value being added starts
  const char* reached_;      // one past the last byte the parser has read
  JsonValue root_;
  std::vector<JsonValue*> open_;  // the lists and objects being filled, outermost first
  JsonError error_;
};

bool ParseJson(std::string_view text, JsonValue& result, JsonError& error) {
  // Editors on Windows like to start a UTF-8 file with a byte order mark; it is not part of
  // the document.
  std::size_t skipped = text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
  JsonParser parser(text, skipped);
  return parser.Parse(result, error);
}

}  // namespace recman_tool
