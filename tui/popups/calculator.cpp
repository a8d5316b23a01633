#include "tui/popups/calculator.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <vector>

#include "platform/files.h"
#include "platform/paths.h"
#include "tui/windows/popup_drawing.h"

namespace tui {
namespace {

// A valid ZEDCALC.TMP is about two kilobytes; nothing past this is ever looked at.
constexpr std::int64_t kMaxFileBytes = 64 * 1024;

// Items of the file: 4 + 4 + 2 on the first three lines, 4 per tape line.
constexpr std::size_t kItemCount = 10 + 4 * kCalculatorTapeLines;

// The most decimals (and significant digits) a number keeps: 10^37 fits the units with room.
constexpr int kMaxScale = 37;

// Line characters in code page 850.
constexpr char kTopLeft = '\xDA';
constexpr char kTopRight = '\xBF';
constexpr char kBottomLeft = '\xC0';
constexpr char kBottomRight = '\xD9';
constexpr char kHorizontal = '\xC4';
constexpr char kVertical = '\xB3';
constexpr char kTeeLeft = '\xC3';
constexpr char kTeeRight = '\xB4';

constexpr int kSeparatorRow = 23;
constexpr int kDisplayRow = 24;
constexpr int kBottomRow = 25;

using Units = CalculatorUnits;
__extension__ typedef unsigned __int128 Magnitude;

// 10^n for n from 0 to 38.
Magnitude PowerOfTen(int n) {
  Magnitude p = 1;
  for (int i = 0; i < n; ++i) p *= 10;
  return p;
}

Magnitude Abs(Units u) { return u < 0 ? static_cast<Magnitude>(-(u + 1)) + 1 : static_cast<Magnitude>(u); }

int DigitCount(Magnitude m) {
  int n = 0;
  for (; m != 0; m /= 10) ++n;
  return n;
}

std::string DigitsOf(Magnitude m) {
  if (m == 0) return "0";
  std::string out;
  for (; m != 0; m /= 10) out += static_cast<char>('0' + static_cast<int>(m % 10));
  std::reverse(out.begin(), out.end());
  return out;
}

// m / 10^drop rounded to nearest, ties away from zero.
Magnitude DropDigitsRounded(Magnitude m, int drop) {
  if (drop <= 0) return m;
  if (drop > 38) return 0;
  const Magnitude p = PowerOfTen(drop);
  const Magnitude kept = m / p;
  return m % p >= p / 2 ? kept + 1 : kept;
}

Units Signed(Magnitude m, bool negative) {
  const Units u = static_cast<Units>(m);
  return negative ? -u : u;
}

// The units of a number at a larger (or the same) scale; false when they do not fit.
bool UnitsAtScale(const CalculatorNumber& n, int scale, Units& out) {
  if (scale < n.Scale()) return false;
  return !__builtin_mul_overflow(n.Units(), static_cast<Units>(PowerOfTen(scale - n.Scale())), &out);
}

// The same value with its trailing decimal zeros dropped.
CalculatorNumber Reduced(const CalculatorNumber& n) {
  Units u = n.Units();
  int scale = n.Scale();
  while (scale > 0 && u % 10 == 0) {
    u /= 10;
    --scale;
  }
  return CalculatorNumber::FromUnits(u, scale);
}

// ---- The file's items -------------------------------------------------------------------

struct Item {
  std::string text;
  bool quoted = false;
};

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

// Splits the file into items: separated by commas and line ends, blanks around them dropped,
// texts between double quotes (up to the closing quote or the line's end). An empty line gives
// no item; an empty place between two commas gives an empty one.
std::vector<Item> SplitItems(std::string_view text) {
  std::vector<Item> items;
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n && items.size() < kItemCount) {
    while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (i >= n) break;
    if (IsLineEnd(text[i])) {
      ++i;
      continue;
    }
    Item item;
    if (text[i] == '"') {
      item.quoted = true;
      ++i;
      const std::size_t start = i;
      while (i < n && text[i] != '"' && !IsLineEnd(text[i])) ++i;
      item.text = std::string(text.substr(start, i - start));
      if (i < n && text[i] == '"') ++i;
      // Anything between the closing quote and the next separator is not part of the item.
      while (i < n && text[i] != ',' && !IsLineEnd(text[i])) ++i;
    } else {
      const std::size_t start = i;
      while (i < n && text[i] != ',' && !IsLineEnd(text[i])) ++i;
      std::string_view raw = text.substr(start, i - start);
      while (!raw.empty() && (raw.back() == ' ' || raw.back() == '\t')) raw.remove_suffix(1);
      item.text = std::string(raw);
    }
    items.push_back(std::move(item));
    if (i < n && text[i] == ',') ++i;
  }
  return items;
}

// Takes the items in order; each reader keeps the initial value when its item is missing or
// cannot be read.
class ItemReader {
 public:
  explicit ItemReader(std::vector<Item> items) : items_(std::move(items)) {}

  void Integer(int& value, int lowest, int highest) {
    const Item* item = Next();
    if (item == nullptr || item->quoted) return;
    std::string_view text = item->text;
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty() || text.size() > 7) return;
    int parsed = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (error != std::errc() || end != text.data() + text.size()) return;
    if (parsed < lowest || parsed > highest) return;
    value = parsed;
  }

  void Flag(bool& value) {
    int parsed = 1;  // neither of the two readable values
    Integer(parsed, -1, 0);
    if (parsed != 1) value = parsed != 0;
  }

  void Number(CalculatorNumber& value) {
    const Item* item = Next();
    if (item == nullptr || item->quoted) return;
    CalculatorNumber::Parse(item->text, value);
  }

  void Text(std::string& value, std::size_t longest) {
    const Item* item = Next();
    if (item == nullptr || item->text.size() > longest) return;
    value = item->text;
  }

 private:
  const Item* Next() {
    if (next_ >= items_.size()) return nullptr;
    return &items_[next_++];
  }

  std::vector<Item> items_;
  std::size_t next_ = 0;
};

bool IsOperator(std::string_view text) { return text == "+" || text == "-" || text == "*" || text == "/"; }

// The labels the tape can hold: the operators, "=", "%", "R", and blank for a result line.
bool IsTapeLabel(char c) {
  return c == ' ' || c == '+' || c == '-' || c == '*' || c == '/' || c == '=' || c == '%' || c == 'R';
}

std::string QuotedText(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 32 && c != '"') out += c;
  }
  out += '"';
  return out;
}

std::string FlagText(bool flag) { return flag ? "-1" : "0"; }

// ---- Drawing ----------------------------------------------------------------------------

std::string Line(char left, char fill, char right) {
  std::string line(kCalculatorWidth, fill);
  line.front() = left;
  line.back() = right;
  return line;
}

class CalculatorView {
 public:
  CalculatorView(Console& console, Windows& windows, values::Values& values, const CalculatorState& state)
      : console_(console), windows_(windows), values_(values), state_(state) {}

  // Opens the window at the state's column and draws everything.
  void Open() {
    OpenClippedWindow(console_, windows_, 1, state_.column, kBottomRow, state_.column + kCalculatorWidth - 1);
    // The window restores cells with their own colours; everything here is normal text.
    console_.ScreenColour("n");
    DrawAll();
  }

  void Close() { windows_.WinClose(); }

  void DrawAll() {
    const bool empty = state_.tapeStart >= kCalculatorEmptyTape;
    Put(empty ? kCalculatorEmptyTape : state_.tapeStart - 1, Line(kTopLeft, kHorizontal, kTopRight));
    for (int row = state_.tapeStart; row < kCalculatorEmptyTape; ++row) {
      const TapeLine& line = state_.tape[static_cast<std::size_t>(row - 1)];
      std::string text(1, kVertical);
      text += CalculatorValueText(line.value, line.hasPoint, line.decimals, values_);
      text += ' ';
      text += line.label;
      text += kVertical;
      Put(row, text);
    }
    if (!empty) Put(kSeparatorRow, Line(kTeeLeft, kHorizontal, kTeeRight));
    DrawDisplay();
    Put(kBottomRow, Line(kBottomLeft, kHorizontal, kBottomRight));
  }

  void DrawDisplay() {
    std::string text(1, kVertical);
    text += CalculatorValueText(state_.entry, state_.hasPoint, state_.decimals, values_);
    text += "  ";
    text += kVertical;
    Put(kDisplayRow, text);
  }

 private:
  void Put(int row, std::string_view text) { PrintClipped(console_, row, state_.column, text); }

  Console& console_;
  Windows& windows_;
  values::Values& values_;
  const CalculatorState& state_;
};

}  // namespace

// ---- Numbers ---------------------------------------------------------------------------------

CalculatorNumber CalculatorNumber::FromUnits(CalculatorUnits units, int scale) {
  CalculatorNumber n;
  n.units_ = units;
  n.scale_ = std::clamp(scale, 0, kMaxScale);
  return n;
}

CalculatorNumber CalculatorNumber::Error() {
  CalculatorNumber n;
  n.error_ = true;
  return n;
}

bool CalculatorNumber::Parse(std::string_view text, CalculatorNumber& out) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::string digits;
  long scale = 0;
  bool point = false;
  bool any = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      any = true;
      if (!(digits.empty() && c == '0')) digits += c;
      if (point) ++scale;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (!any) return false;
  if (i < text.size()) {
    if (text[i] != 'e' && text[i] != 'E') return false;
    ++i;
    bool negativeExponent = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negativeExponent = text[i++] == '-';
    if (i >= text.size()) return false;
    long exponent = 0;
    for (; i < text.size(); ++i) {
      if (text[i] < '0' || text[i] > '9') return false;
      exponent = std::min(exponent * 10 + (text[i] - '0'), 100000L);
    }
    scale += negativeExponent ? exponent : -exponent;
  }
  if (digits.empty()) {
    out = FromUnits(0, 0);
    return true;
  }
  const long integerDigits = static_cast<long>(digits.size()) - scale;
  if (integerDigits > kCalculatorLimitDigits) return false;
  if (scale < 0) {
    digits.append(static_cast<std::size_t>(-scale), '0');
    scale = 0;
  }
  // No more decimals than fit the units: round the rest away.
  const long allowed = kMaxScale - std::max(0L, integerDigits);
  Magnitude m = 0;
  if (scale > allowed) {
    const long drop = scale - allowed;
    const long keep = static_cast<long>(digits.size()) - drop;
    for (long k = 0; k < keep; ++k) m = m * 10 + static_cast<Magnitude>(digits[static_cast<std::size_t>(k)] - '0');
    if (keep >= 0 && digits[static_cast<std::size_t>(keep)] >= '5') ++m;
    scale = allowed;
  } else {
    for (char c : digits) m = m * 10 + static_cast<Magnitude>(c - '0');
  }
  const CalculatorNumber n = FromUnits(Signed(m, negative), static_cast<int>(scale));
  if (n.IntegerDigits() > kCalculatorLimitDigits) return false;
  out = n;
  return true;
}

std::string CalculatorNumber::Text() const {
  if (error_ || units_ == 0) return "0";
  std::string digits = DigitsOf(Abs(units_));
  if (static_cast<int>(digits.size()) <= scale_) digits.insert(0, static_cast<std::size_t>(scale_) + 1 - digits.size(), '0');
  if (scale_ > 0) {
    digits.insert(digits.size() - static_cast<std::size_t>(scale_), ".");
    while (digits.back() == '0') digits.pop_back();
    if (digits.back() == '.') digits.pop_back();
  }
  return units_ < 0 ? "-" + digits : digits;
}

int CalculatorNumber::IntegerDigits() const { return DigitCount(Abs(units_) / PowerOfTen(scale_)); }

CalculatorNumber CalculatorNumber::Negated() const { return error_ ? *this : FromUnits(-units_, scale_); }

bool operator==(const CalculatorNumber& a, const CalculatorNumber& b) {
  if (a.error_ || b.error_) return a.error_ == b.error_;
  const int scale = std::max(a.scale_, b.scale_);
  Units ua = 0;
  Units ub = 0;
  if (UnitsAtScale(a, scale, ua) && UnitsAtScale(b, scale, ub)) return ua == ub;
  const CalculatorNumber ra = Reduced(a);
  const CalculatorNumber rb = Reduced(b);
  return ra.units_ == rb.units_ && ra.scale_ == rb.scale_;
}

// ---- ZEDCALC.TMP ---------------------------------------------------------------------------

std::string WriteCalculatorState(const CalculatorState& s) {
  std::string out;
  out += std::to_string(s.column) + "," + std::to_string(s.tapeStart) + "," + s.entry.Text() + "," +
         s.accumulator.Text() + "\r\n";
  out += FlagText(s.cleared) + "," + FlagText(s.typing) + "," + FlagText(s.hasPoint) + "," +
         std::to_string(s.decimals) + "\r\n";
  out += QuotedText(s.lastKey) + "," + QuotedText(s.pending) + "\r\n";
  for (const TapeLine& line : s.tape) {
    out += line.value.Text() + "," + FlagText(line.hasPoint) + "," + std::to_string(line.decimals) + "," +
           QuotedText(std::string_view(&line.label, 1)) + "\r\n";
  }
  return out;
}

namespace {

// An amount as an entry can hold it: a number with more digits than can be typed (a file
// written when the machine worked in binary fractions) is normalised.
CalculatorNumber AsEntry(const CalculatorNumber& n) {
  const CalculatorNumber r = Reduced(n);
  if (r.IntegerDigits() + r.Scale() <= kCalculatorEntryDigits) return n;
  const CalculatorNumber normalised = NormaliseCalculatorValue(n);
  return normalised.IsError() ? CalculatorNumber() : normalised;
}

}  // namespace

CalculatorState ReadCalculatorState(std::string_view text) {
  CalculatorState s;
  ItemReader in(SplitItems(text));
  in.Integer(s.column, 1, kCalculatorLastColumn);
  in.Integer(s.tapeStart, kCalculatorTopTapeStart, kCalculatorEmptyTape);
  in.Number(s.entry);
  s.entry = AsEntry(s.entry);
  in.Number(s.accumulator);
  const CalculatorNumber accumulator = NormaliseCalculatorValue(s.accumulator);
  if (!accumulator.IsError()) s.accumulator = accumulator;
  in.Flag(s.cleared);
  in.Flag(s.typing);
  in.Flag(s.hasPoint);
  in.Integer(s.decimals, 0, kCalculatorEntryDigits);
  if (!s.hasPoint) s.decimals = 0;
  in.Text(s.lastKey, 2);
  // Only what can be written back between quotes.
  std::erase_if(s.lastKey, [](char c) { return static_cast<unsigned char>(c) < 32 || c == '"'; });
  in.Text(s.pending, 1);
  if (!IsOperator(s.pending)) s.pending.clear();
  for (TapeLine& line : s.tape) {
    in.Number(line.value);
    line.value = AsEntry(line.value);
    in.Flag(line.hasPoint);
    in.Integer(line.decimals, 0, kCalculatorEntryDigits);
    if (!line.hasPoint) line.decimals = 0;
    std::string label = " ";
    in.Text(label, 1);
    line.label = !label.empty() && IsTapeLabel(label[0]) ? label[0] : ' ';
  }
  return s;
}

std::string CalculatorFilePath(const session::Session& session) {
  return session.TerminalDir + std::string(kCalculatorFileName);
}

// ---- Arithmetic ------------------------------------------------------------------------------

CalculatorNumber NormaliseCalculatorValue(const CalculatorNumber& value) {
  if (value.IsError()) return value;
  const int keep = std::max(0, kCalculatorDigits - value.IntegerDigits());
  CalculatorNumber n = value;
  if (n.Scale() > keep) {
    n = CalculatorNumber::FromUnits(Signed(DropDigitsRounded(Abs(n.Units()), n.Scale() - keep), n.IsNegative()), keep);
  }
  n = Reduced(n);
  if (n.IntegerDigits() > kCalculatorLimitDigits) return CalculatorNumber::Error();
  return n;
}

namespace {

// |a| / |b| (b not 0) in units of the 16th decimal, cut towards zero; false when it reaches
// 10^22.
constexpr int kQuotientScale = 16;
bool QuotientUnits(const CalculatorNumber& a, const CalculatorNumber& b, Magnitude& out) {
  const Magnitude limit = PowerOfTen(kCalculatorLimitDigits + kQuotientScale);
  const Magnitude divisor = Abs(b.Units());
  // Ten times any remainder must fit: divisors have at most 22 digits once reduced.
  if (divisor >= PowerOfTen(37)) return false;
  Magnitude q = Abs(a.Units()) / divisor;
  Magnitude r = Abs(a.Units()) % divisor;
  const int shift = b.Scale() - a.Scale() + kQuotientScale;
  if (shift < 0) {
    q /= PowerOfTen(std::min(-shift, 38));
  } else {
    for (int i = 0; i < shift; ++i) {
      if (q >= limit / 10) return false;
      r *= 10;
      q = q * 10 + r / divisor;
      r %= divisor;
    }
  }
  if (q >= limit) return false;
  out = q;
  return true;
}

}  // namespace

CalculatorNumber CalculatorOperate(char op, const CalculatorNumber& a, const CalculatorNumber& b) {
  if (a.IsError() || b.IsError()) return CalculatorNumber::Error();
  switch (op) {
    case '+':
    case '-': {
      const int scale = std::max(a.Scale(), b.Scale());
      Units ua = 0;
      Units ub = 0;
      Units sum = 0;
      if (!UnitsAtScale(a, scale, ua) || !UnitsAtScale(b, scale, ub)) return CalculatorNumber::Error();
      const bool overflow = op == '+' ? __builtin_add_overflow(ua, ub, &sum) : __builtin_sub_overflow(ua, ub, &sum);
      if (overflow) return CalculatorNumber::Error();
      return NormaliseCalculatorValue(CalculatorNumber::FromUnits(sum, scale));
    }
    case '*': {
      const CalculatorNumber ra = Reduced(a);
      const CalculatorNumber rb = Reduced(b);
      Units product = 0;
      if (__builtin_mul_overflow(ra.Units(), rb.Units(), &product)) return CalculatorNumber::Error();
      int scale = ra.Scale() + rb.Scale();
      if (scale > kMaxScale) {
        product = Signed(DropDigitsRounded(Abs(product), scale - kMaxScale), product < 0);
        scale = kMaxScale;
      }
      return NormaliseCalculatorValue(CalculatorNumber::FromUnits(product, scale));
    }
    case '/': {
      if (b.IsZero()) return CalculatorNumber::Error();
      const CalculatorNumber rb = Reduced(b);
      Magnitude q = 0;
      if (!QuotientUnits(a, rb, q)) return CalculatorNumber::Error();
      // Rounded once, to the decimals that normalising keeps for this quotient.
      const int integerDigits = DigitCount(q / PowerOfTen(kQuotientScale));
      const int keep = std::max(0, kCalculatorDigits - integerDigits);
      const Magnitude rounded = DropDigitsRounded(q, kQuotientScale - keep);
      return NormaliseCalculatorValue(
          CalculatorNumber::FromUnits(Signed(rounded, a.IsNegative() != b.IsNegative()), keep));
    }
    default:
      return NormaliseCalculatorValue(b);
  }
}

CalculatorNumber RoundHundredths(const CalculatorNumber& value) {
  if (value.IsError()) return value;
  Units units = 0;
  if (value.Scale() <= 2) {
    UnitsAtScale(value, 2, units);  // a value below 10^22 always fits
    return CalculatorNumber::FromUnits(units, 2);
  }
  const Magnitude p = PowerOfTen(value.Scale() - 2);
  const Magnitude m = Abs(value.Units());
  Magnitude kept = m / p;
  const Magnitude rest = m % p;
  const Magnitude half = p / 2;
  if (rest > half || (rest == half && kept % 2 == 1)) ++kept;
  return CalculatorNumber::FromUnits(Signed(kept, value.IsNegative()), 2);
}

std::string CalculatorPicture(bool hasPoint, int decimals) {
  static constexpr std::string_view kDigits = "Z,ZZZ,ZZZ,ZZZ,ZZZ,ZZ9";  // 21 characters
  std::string picture = "-";
  if (!hasPoint) {
    picture += kDigits;
    return picture;
  }
  const int shown = std::clamp(decimals, 0, static_cast<int>(kDigits.size()) - 1);
  const std::size_t integer = kDigits.size() - 1 - static_cast<std::size_t>(shown);
  picture += kDigits.substr(kDigits.size() - integer);
  picture += '.';
  picture.append(static_cast<std::size_t>(shown), '9');
  return picture;
}

std::string CalculatorValueText(const CalculatorNumber& value, bool hasPoint, int decimals,
                                values::Values& values) {
  if (value.IsError()) {
    std::string text(kCalculatorValueWidth, ' ');
    text.replace(text.size() - kCalculatorErrorMark.size(), kCalculatorErrorMark.size(), kCalculatorErrorMark);
    return text;
  }
  return values.FormatDecimalPicture(CalculatorPicture(hasPoint, decimals), value.IsNegative(),
                                     DigitsOf(Abs(value.Units())), value.Scale());
}

std::string CalculatorResultText(const CalculatorNumber& value, int decimals) {
  if (value.IsError()) return "";
  const int d = std::max(decimals, 2);
  // The magnitude in units of the d-th decimal, as digits.
  std::string digits = DigitsOf(Abs(value.Units()));
  if (value.Scale() <= d) {
    if (digits != "0") digits.append(static_cast<std::size_t>(d - value.Scale()), '0');
  } else {
    digits = DigitsOf(DropDigitsRounded(Abs(value.Units()), value.Scale() - d));
  }
  if (d == 2) return digits;
  // All but the last d - 2 digits, then "." and those digits.
  const std::size_t fraction = static_cast<std::size_t>(d - 2);
  if (digits.size() < fraction) digits.insert(0, fraction - digits.size(), '0');
  std::string whole = digits.substr(0, digits.size() - fraction);
  return whole + "." + digits.substr(digits.size() - fraction);
}

// ---- Keys ------------------------------------------------------------------------------------

std::string CalculatorKeyText(KeyCode key) {
  const auto code = static_cast<std::uint16_t>(key);
  if (code > 255) return std::string{static_cast<char>(code & 0xFF), static_cast<char>(code >> 8)};
  char c = static_cast<char>(code);
  if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return std::string(1, c);
}

CalculatorEffect CalculatorMachine::HandleKey(KeyCode key) {
  s_.lastKey = CalculatorKeyText(key);
  if (static_cast<std::uint16_t>(key) > 255) {
    switch (key) {
      case key::kLeft:
      case key::kCtrlLeft:
        s_.column = s_.column <= 1 ? kCalculatorLastColumn : s_.column - 1;
        return CalculatorEffect::kSlid;
      case key::kRight:
      case key::kCtrlRight:
        s_.column = s_.column >= kCalculatorLastColumn ? 1 : s_.column + 1;
        return CalculatorEffect::kSlid;
      case key::kAltF:
        return CalculatorEffect::kFinish;
      default:
        return CalculatorEffect::kNothing;
    }
  }
  const char c = s_.lastKey[0];
  if (c >= '0' && c <= '9') {
    Digit(c - '0');
    return CalculatorEffect::kDisplay;
  }
  switch (c) {
    case '.':
      Point();
      return CalculatorEffect::kDisplay;
    case key::kBackspace:
      Backspace();
      return CalculatorEffect::kDisplay;
    case '+':
    case '-':
    case '*':
    case '/':
    case '%':
    case 'R':
    case 'C':
      return Operator(c);
    case '=':
    case key::kEnter:
      if (!s_.typing) return CalculatorEffect::kNothing;
      // Enter stands for "=", also as the label of its tape line.
      s_.lastKey = "=";
      return Operator('=');
    case 'T':
      s_.entry = s_.entry.Negated();
      return CalculatorEffect::kDisplay;
    case 'F':
      return CalculatorEffect::kFinish;
    case key::kEscape:
      return CalculatorEffect::kCancel;
    default:
      return CalculatorEffect::kNothing;
  }
}

std::string CalculatorMachine::Result() const {
  if (s_.typing) return CalculatorResultText(s_.entry, s_.decimals);
  // The display may show the total with fewer decimals than it has (after "T" on it); its own
  // digits are never cut.
  return CalculatorResultText(s_.accumulator, std::max(s_.decimals, Reduced(s_.accumulator).Scale()));
}

namespace {

// The digit positions of a picture before its point (all of them without a point).
int IntegerPlaces(bool hasPoint, int decimals) {
  const std::string picture = CalculatorPicture(hasPoint, decimals);
  const std::size_t point = picture.find('.');
  const std::string integer = picture.substr(0, point);
  return static_cast<int>(std::count_if(integer.begin(), integer.end(), [](char c) { return c == 'Z' || c == '9'; }));
}

}  // namespace

// Whether one more digit can be typed: at most 16 digits, and all of them on the display.
bool CalculatorMachine::DigitFits() const {
  const int integerDigits = s_.entry.IntegerDigits();
  if (!s_.hasPoint) return integerDigits < kCalculatorEntryDigits;
  return integerDigits + s_.decimals < kCalculatorEntryDigits && integerDigits <= IntegerPlaces(true, s_.decimals + 1);
}

void CalculatorMachine::Digit(int digit) {
  if (!s_.typing) {
    s_.entry = CalculatorNumber();
    s_.hasPoint = false;
    s_.decimals = 0;
  }
  s_.typing = true;
  if (s_.entry.IsError() || !DigitFits()) return;
  // The typed digits in whole units of the last decimal shown, then one place more.
  const int scale = s_.hasPoint ? s_.decimals : 0;
  Units units = 0;
  if (!UnitsAtScale(s_.entry, scale, units)) {
    // More decimals than the display shows (a file written by hand): the shown ones are kept.
    units = Signed(Abs(s_.entry.Units()) / PowerOfTen(s_.entry.Scale() - scale), s_.entry.IsNegative());
  }
  const bool negative = s_.entry.IsNegative();
  const Units typed = static_cast<Units>(Abs(units) * 10 + static_cast<Magnitude>(digit));
  if (s_.hasPoint) ++s_.decimals;
  s_.entry = CalculatorNumber::FromUnits(negative ? -typed : typed, s_.hasPoint ? s_.decimals : 0);
}

void CalculatorMachine::Point() {
  if (!s_.typing) {
    s_.entry = CalculatorNumber();
    s_.hasPoint = false;
    s_.decimals = 0;
  }
  s_.typing = true;
  // The point takes a digit position: a display full of integer digits has no room for it.
  if (!s_.hasPoint && !s_.entry.IsError() && s_.entry.IntegerDigits() <= IntegerPlaces(true, 0)) {
    s_.hasPoint = true;
    s_.decimals = 0;
  }
}

void CalculatorMachine::Backspace() {
  if (s_.entry.IsError()) return;
  const Units units = s_.entry.Units();
  const int scale = s_.entry.Scale();
  if (!s_.hasPoint) {
    // Truncated towards zero: a tenth of the whole part.
    s_.entry = CalculatorNumber::FromUnits(units / static_cast<Units>(PowerOfTen(scale + 1)), 0);
  } else if (s_.decimals == 0) {
    s_.hasPoint = false;
  } else {
    --s_.decimals;
    if (scale > s_.decimals) {
      s_.entry = CalculatorNumber::FromUnits(units / static_cast<Units>(PowerOfTen(scale - s_.decimals)), s_.decimals);
    }
  }
  s_.typing = s_.typing && !s_.entry.IsZero();
}

void CalculatorMachine::SetEntry(const CalculatorNumber& value) {
  const CalculatorNumber n = NormaliseCalculatorValue(value);
  s_.entry = n;
  s_.decimals = n.IsError() ? 0 : n.Scale();
  s_.hasPoint = s_.decimals > 0;
}

void CalculatorMachine::ClearAll() {
  s_.entry = CalculatorNumber();
  s_.accumulator = CalculatorNumber();
  s_.hasPoint = false;
  s_.decimals = 0;
  s_.typing = false;
  s_.lastKey.clear();
  // An operator left pending would act on the next amount ("*" would make it 0).
  s_.pending.clear();
  s_.cleared = true;
}

void CalculatorMachine::AddTapeLine() {
  if (s_.tapeStart > kCalculatorTopTapeStart) --s_.tapeStart;
  std::rotate(s_.tape.begin(), s_.tape.begin() + 1, s_.tape.end());
  TapeLine& newest = s_.tape.back();
  newest.value = s_.entry;
  newest.hasPoint = s_.hasPoint;
  newest.decimals = s_.decimals;
  newest.label = s_.lastKey.empty() ? ' ' : s_.lastKey[0];
}

CalculatorEffect CalculatorMachine::Operator(char k) {
  switch (k) {
    case 'C':
      if (s_.entry.IsError() || s_.accumulator.IsError()) {
        // After an error any clear starts again from 0.
        ClearAll();
        return CalculatorEffect::kDisplay;
      }
      if (s_.typing) {
        s_.typing = false;
        SetEntry(s_.accumulator);
        s_.lastKey = s_.pending;
        return CalculatorEffect::kDisplay;
      }
      if (!s_.cleared) {
        ClearAll();
        return CalculatorEffect::kDisplay;
      }
      s_.tapeStart = kCalculatorEmptyTape;
      return CalculatorEffect::kTapeCleared;

    case 'R': {
      const CalculatorNumber rounded = RoundHundredths(s_.entry);
      s_.entry = rounded;
      s_.accumulator = rounded;
      s_.hasPoint = true;
      s_.decimals = 2;
      AddTapeLine();
      return CalculatorEffect::kTape;
    }

    case '%': {
      AddTapeLine();
      // A hundredth of a number is exact: two decimals more.
      auto hundredth = [](const CalculatorNumber& n) {
        return n.IsError() ? n : CalculatorNumber::FromUnits(n.Units(), n.Scale() + 2);
      };
      if (s_.pending == "+" || s_.pending == "-") {
        SetEntry(CalculatorOperate('*', hundredth(s_.accumulator), s_.entry));
      } else {
        SetEntry(hundredth(s_.entry));
      }
      return CalculatorEffect::kTape;
    }

    default:
      break;
  }

  // The four operators and "=": the pending operator takes the entry as its second operand;
  // without one the entry is copied. The running result is normalised either way.
  const char pending = s_.pending.empty() ? ' ' : s_.pending[0];
  s_.accumulator = CalculatorOperate(pending, s_.accumulator, s_.entry);
  AddTapeLine();
  SetEntry(s_.accumulator);
  s_.typing = false;
  if (k == '=') {
    s_.lastKey.clear();
    AddTapeLine();
  }
  s_.cleared = false;
  s_.pending = s_.lastKey;
  return CalculatorEffect::kTape;
}

// ---- The pop-up --------------------------------------------------------------------------------

namespace {

CalculatorState LoadState(const std::string& path) {
  if (!platform::PathExists(path)) {
    // Created empty, so that the file is there for whoever looks for it; its absence or an
    // unwritable directory changes nothing else.
    platform::WriteWholeFile(path, "");
    return CalculatorState{};
  }
  platform::File file;
  if (file.Open(path, platform::File::Mode::kRead, false) != platform::OpenResult::kOk) return CalculatorState{};
  std::string bytes(static_cast<std::size_t>(kMaxFileBytes), '\0');
  const std::int64_t read = file.ReadAt(0, bytes);
  if (read <= 0) return CalculatorState{};
  bytes.resize(static_cast<std::size_t>(read));
  return ReadCalculatorState(bytes);
}

}  // namespace

std::string CalculatorPopup(Console& console, Windows& windows, values::Values& values,
                            const session::Session& session) {
  console.KeySet("+e");
  console.ScreenColour("+n");
  CursorKeeper cursor(console);
  console.HideCursor();

  const std::string path = CalculatorFilePath(session);
  CalculatorState state = LoadState(path);
  CalculatorMachine machine(state);
  CalculatorView view(console, windows, values, state);
  view.Open();

  std::string result;
  for (bool open = true; open;) {
    view.DrawDisplay();
    switch (machine.HandleKey(console.GetKey())) {
      case CalculatorEffect::kNothing:
      case CalculatorEffect::kDisplay:
        break;
      case CalculatorEffect::kTape:
        view.DrawAll();
        break;
      case CalculatorEffect::kTapeCleared:
      case CalculatorEffect::kSlid:
        view.Close();
        view.Open();
        break;
      case CalculatorEffect::kFinish:
        result = machine.Result();
        open = false;
        break;
      case CalculatorEffect::kCancel:
        open = false;
        break;
    }
  }

  view.Close();
  platform::WriteWholeFile(path, WriteCalculatorState(state));
  cursor.Restore();
  console.ScreenColour("-");
  console.KeySet("-");
  return result;
}

}  // namespace tui
