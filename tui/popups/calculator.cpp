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

// Room for any double in plain decimal: DBL_MAX has 309 integer digits, the smallest
// subnormal 324 decimals.
constexpr std::size_t kNumberBuffer = 512;

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

// Exact powers of ten (every one up to 1e22 is a double).
double PowerOfTen(int n) {
  static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                       1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  if (n < 0) return 1;
  if (n <= 22) return kPowers[n];
  return std::pow(10.0, n);
}

// Digits of the whole part of a magnitude (0 below 1): how often it divides by 10 before its
// whole part is 0. Infinity never gets there; it counts as more digits than any double has.
int IntegerDigits(double magnitude) {
  if (!std::isfinite(magnitude)) return 1000;
  int digits = 0;
  for (double whole = std::trunc(magnitude); whole >= 1; whole = std::trunc(whole / 10)) ++digits;
  return digits;
}

// Plain decimal text of a finite magnitude with exactly `decimals` decimals, correctly
// rounded (ties on the exact binary value go to even).
std::string FixedText(double magnitude, int decimals) {
  char buffer[kNumberBuffer + 32];
  auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::fixed, decimals);
  if (error != std::errc()) return "0";
  return std::string(buffer, end);
}

// Reads a plain decimal text back (the whole text must be a finite number).
bool ParseDouble(std::string_view text, double& value) {
  if (text.empty()) return false;
  double parsed = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed, std::chars_format::general);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(parsed)) return false;
  value = parsed;
  return true;
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

  void Number(double& value) {
    const Item* item = Next();
    if (item == nullptr || item->quoted) return;
    ParseDouble(item->text, value);
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

// ---- ZEDCALC.TMP ---------------------------------------------------------------------------

std::string CalculatorNumberText(double value) {
  if (!std::isfinite(value)) return "0";
  char buffer[kNumberBuffer];
  auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
  if (error != std::errc()) return "0";
  return std::string(buffer, end);
}

std::string WriteCalculatorState(const CalculatorState& s) {
  std::string out;
  out += std::to_string(s.column) + "," + std::to_string(s.tapeStart) + "," + CalculatorNumberText(s.entry) + "," +
         CalculatorNumberText(s.accumulator) + "\r\n";
  out += FlagText(s.cleared) + "," + FlagText(s.typing) + "," + FlagText(s.hasPoint) + "," +
         std::to_string(s.decimals) + "\r\n";
  out += QuotedText(s.lastKey) + "," + QuotedText(s.pending) + "\r\n";
  for (const TapeLine& line : s.tape) {
    out += CalculatorNumberText(line.value) + "," + FlagText(line.hasPoint) + "," + std::to_string(line.decimals) +
           "," + QuotedText(std::string_view(&line.label, 1)) + "\r\n";
  }
  return out;
}

CalculatorState ReadCalculatorState(std::string_view text) {
  CalculatorState s;
  ItemReader in(SplitItems(text));
  in.Integer(s.column, 1, kCalculatorLastColumn);
  in.Integer(s.tapeStart, kCalculatorTopTapeStart, kCalculatorEmptyTape);
  in.Number(s.entry);
  in.Number(s.accumulator);
  in.Flag(s.cleared);
  in.Flag(s.typing);
  in.Flag(s.hasPoint);
  in.Integer(s.decimals, 0, kCalculatorDigits);
  if (!s.hasPoint) s.decimals = 0;
  in.Text(s.lastKey, 2);
  // Only what can be written back between quotes.
  std::erase_if(s.lastKey, [](char c) { return static_cast<unsigned char>(c) < 32 || c == '"'; });
  in.Text(s.pending, 1);
  if (!IsOperator(s.pending)) s.pending.clear();
  for (TapeLine& line : s.tape) {
    in.Number(line.value);
    in.Flag(line.hasPoint);
    in.Integer(line.decimals, 0, kCalculatorDigits);
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

NormalisedValue NormaliseCalculatorValue(double value) {
  if (!std::isfinite(value)) return {value, 0};
  const double magnitude = std::fabs(value);
  const int decimals = std::max(0, kCalculatorDigits - IntegerDigits(magnitude));
  std::string text = FixedText(magnitude, decimals);
  std::size_t point = text.find('.');
  if (point != std::string::npos) {
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
  }
  point = text.find('.');
  NormalisedValue out;
  out.decimals = point == std::string::npos ? 0 : static_cast<int>(text.size() - point - 1);
  ParseDouble(text, out.value);
  if (value < 0 && out.value != 0) out.value = -out.value;
  return out;
}

double RoundHundredths(double value) {
  if (!std::isfinite(value)) return value;
  // The decimal digits the value shows (the shortest text that reads back to it), so that a
  // typed 2.675 is rounded as the tie it looks like and not as the double just below it.
  std::string text = CalculatorNumberText(std::fabs(value));
  const std::size_t point = text.find('.');
  std::string whole = point == std::string::npos ? text : text.substr(0, point);
  std::string fraction = point == std::string::npos ? std::string() : text.substr(point + 1);
  fraction.resize(std::max<std::size_t>(fraction.size(), 3), '0');

  std::string kept = whole + fraction.substr(0, 2);  // the value in hundredths, as digits
  const char next = fraction[2];
  const bool rest = fraction.find_first_not_of('0', 3) != std::string::npos;
  const bool odd = (kept.back() - '0') % 2 == 1;
  if (next > '5' || (next == '5' && (rest || odd))) {
    std::size_t i = kept.size();
    while (i > 0) {
      --i;
      if (kept[i] == '9') {
        kept[i] = '0';
      } else {
        ++kept[i];
        break;
      }
      if (i == 0) kept.insert(kept.begin(), '1');
    }
  }
  std::string rounded = kept.substr(0, kept.size() - 2) + "." + kept.substr(kept.size() - 2);
  double out = 0;
  ParseDouble(rounded, out);
  return value < 0 && out != 0 ? -out : out;
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

std::string CalculatorValueText(double value, bool hasPoint, int decimals, values::Values& values) {
  if (!std::isfinite(value)) {
    std::string text(kCalculatorValueWidth, ' ');
    text.replace(text.size() - kCalculatorErrorMark.size(), kCalculatorErrorMark.size(), kCalculatorErrorMark);
    return text;
  }
  // A negative zero (0 and "T") shows as 0.
  return values.FormatPicture(CalculatorPicture(hasPoint, decimals), value == 0 ? 0.0 : value);
}

std::string CalculatorResultText(double value, int decimals) {
  if (!std::isfinite(value)) return "";
  const int d = std::max(decimals, 2);
  std::string digits = FixedText(std::fabs(value), d);
  digits.erase(std::remove(digits.begin(), digits.end(), '.'), digits.end());
  // Leading zeros go, but a digit stays before the point: 0.001 (d = 3) gives "0.1".
  const std::size_t keep = static_cast<std::size_t>(d - 2) + 1;
  const std::size_t first = digits.find_first_not_of('0');
  const std::size_t cut = std::min(first == std::string::npos ? digits.size() : first, digits.size() - keep);
  digits.erase(0, cut);
  if (d > 2) digits.insert(digits.size() - static_cast<std::size_t>(d - 2), ".");
  return digits;
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
      s_.entry = -s_.entry;
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
  // The display may show the total with fewer decimals than it has (after "%" or "T" on it);
  // its own digits are never cut.
  const int decimals = std::max(s_.decimals, NormaliseCalculatorValue(s_.accumulator).decimals);
  return CalculatorResultText(s_.accumulator, decimals);
}

void CalculatorMachine::Digit(int digit) {
  if (!s_.typing) {
    s_.entry = 0;
    s_.hasPoint = false;
    s_.decimals = 0;
  }
  s_.typing = true;
  const double magnitude = std::fabs(s_.entry);
  const bool negative = std::signbit(s_.entry);
  // No more digits than the machine keeps.
  const int integerDigits = IntegerDigits(magnitude);
  if (s_.hasPoint ? integerDigits + s_.decimals >= kCalculatorDigits : integerDigits >= kCalculatorDigits) return;
  double typed = 0;
  if (!s_.hasPoint) {
    typed = magnitude * 10 + digit;
  } else {
    // Worked in whole units of the last decimal, so that 1.23 is the double nearest 1.23
    // rather than 1 + 0.2 + 0.03 with their errors added up.
    const double units = std::round(magnitude * PowerOfTen(s_.decimals));
    ++s_.decimals;
    typed = (units * 10 + digit) / PowerOfTen(s_.decimals);
  }
  s_.entry = negative ? -typed : typed;
}

void CalculatorMachine::Point() {
  if (!s_.typing) {
    s_.entry = 0;
    s_.hasPoint = false;
    s_.decimals = 0;
  }
  if (!s_.hasPoint) {
    s_.hasPoint = true;
    s_.decimals = 0;
  }
  s_.typing = true;
}

void CalculatorMachine::Backspace() {
  if (!std::isfinite(s_.entry)) return;
  const double magnitude = std::fabs(s_.entry);
  const bool negative = std::signbit(s_.entry);
  double kept = magnitude;
  if (!s_.hasPoint) {
    kept = std::trunc(magnitude / 10);
  } else if (s_.decimals == 0) {
    s_.hasPoint = false;
  } else {
    // Drop the last decimal: in whole units of it, then one place less.
    const double units = std::round(magnitude * PowerOfTen(s_.decimals));
    --s_.decimals;
    kept = std::trunc(units / 10) / PowerOfTen(s_.decimals);
  }
  s_.entry = negative ? -kept : kept;
  s_.typing = s_.typing && s_.entry != 0;
}

void CalculatorMachine::SetEntry(double value) {
  const NormalisedValue n = NormaliseCalculatorValue(value);
  s_.entry = n.value;
  s_.decimals = n.decimals;
  s_.hasPoint = n.decimals > 0;
}

void CalculatorMachine::ClearAll() {
  s_.entry = 0;
  s_.accumulator = 0;
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
      if (!std::isfinite(s_.entry) || !std::isfinite(s_.accumulator)) {
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
      const double rounded = RoundHundredths(s_.entry);
      s_.entry = rounded;
      s_.accumulator = rounded;
      s_.hasPoint = true;
      s_.decimals = 2;
      AddTapeLine();
      return CalculatorEffect::kTape;
    }

    case '%':
      AddTapeLine();
      if (s_.pending == "+" || s_.pending == "-") {
        SetEntry(s_.accumulator / 100 * s_.entry);
      } else {
        SetEntry(s_.entry / 100);
      }
      return CalculatorEffect::kTape;

    default:
      break;
  }

  // The four operators and "=": the pending operator takes the entry as its second operand.
  if (s_.pending == "+") {
    s_.accumulator += s_.entry;
  } else if (s_.pending == "-") {
    s_.accumulator -= s_.entry;
  } else if (s_.pending == "*") {
    s_.accumulator *= s_.entry;
  } else if (s_.pending == "/") {
    s_.accumulator /= s_.entry;
  } else {
    s_.accumulator = s_.entry;
  }
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
