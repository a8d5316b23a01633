#include "tools/recman/csv.h"

#include <cstdint>
#include <cstdio>

#include "values/cp850.h"

namespace recman_tool {
namespace {

constexpr unsigned char kPackedEmpty = 0x80;

std::string Trimmed(std::string_view text) {
  std::size_t b = 0, e = text.size();
  while (b < e && (text[b] == ' ' || text[b] == '\t')) ++b;
  while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t')) --e;
  return std::string(text.substr(b, e - b));
}

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

std::string CodePoint(char32_t c) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "U+%04X", static_cast<unsigned>(c));
  return buffer;
}

// Reads a signed decimal integer, blanks around it allowed.
bool ParseInteger(std::string_view cell, std::int64_t low, std::int64_t high, std::int64_t& out, std::string& error) {
  std::string text = Trimmed(cell);
  if (text.empty()) {
    error = "the cell is empty; a number is needed";
    return false;
  }
  std::size_t i = 0;
  bool negative = false;
  if (text[0] == '-' || text[0] == '+') {
    negative = text[0] == '-';
    i = 1;
  }
  if (i == text.size()) {
    error = Quoted(cell) + " is not a whole number";
    return false;
  }
  std::int64_t value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') {
      error = Quoted(cell) + " is not a whole number";
      return false;
    }
    // Saturate far beyond the range so that long digit strings cannot overflow.
    if (value <= high - low) value = value * 10 + (text[i] - '0');
  }
  if (negative) value = -value;
  if (value < low || value > high) {
    error = Quoted(cell) + " is out of range (" + std::to_string(low) + " to " + std::to_string(high) + ")";
    return false;
  }
  out = value;
  return true;
}

// Reads a decimal with at most three decimals as thousandths.
bool ParseThousandths(std::string_view cell, std::int64_t& out, std::string& error) {
  std::string text = Trimmed(cell);
  if (text.empty()) {
    error = "the cell is empty; a number is needed";
    return false;
  }
  std::size_t i = 0;
  bool negative = false;
  if (text[0] == '-' || text[0] == '+') {
    negative = text[0] == '-';
    i = 1;
  }
  std::int64_t whole = 0;
  std::size_t wholeDigits = 0, fractionDigits = 0;
  std::int64_t fraction = 0;
  bool point = false;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c == '.' && !point) {
      point = true;
      continue;
    }
    if (c < '0' || c > '9') {
      error = Quoted(cell) + " is not a decimal number (digits with an optional \".\" and up to 3 decimals)";
      return false;
    }
    if (point) {
      if (++fractionDigits > 3) {
        error = Quoted(cell) + " has more than 3 decimals";
        return false;
      }
      fraction = fraction * 10 + (c - '0');
    } else {
      ++wholeDigits;
      if (whole <= 10000000000LL) whole = whole * 10 + (c - '0');  // saturates far out of range
    }
  }
  if (wholeDigits + fractionDigits == 0) {
    error = Quoted(cell) + " is not a decimal number";
    return false;
  }
  for (std::size_t d = fractionDigits; d < 3; ++d) fraction *= 10;
  std::int64_t value = whole * 1000 + fraction;
  if (negative) value = -value;
  if (value < INT32_MIN || value > INT32_MAX) {
    error = Quoted(cell) + " is out of range (-2147483.648 to 2147483.647)";
    return false;
  }
  out = value;
  return true;
}

std::string ThousandthsText(std::int32_t stored) {
  std::int64_t value = stored;
  bool negative = value < 0;
  if (negative) value = -value;
  std::string text = std::to_string(value / 1000);
  std::int64_t fraction = value % 1000;
  if (fraction != 0) {
    char digits[4];
    std::snprintf(digits, sizeof digits, "%03d", static_cast<int>(fraction));
    std::string f = digits;
    while (f.back() == '0') f.pop_back();
    text += "." + f;
  }
  return negative ? "-" + text : text;
}

std::int64_t GetLittleEndian(std::string_view bytes, std::size_t width) {
  std::uint64_t value = 0;
  for (std::size_t i = width; i > 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[i - 1]);
  // Sign-extend.
  std::uint64_t sign = std::uint64_t{1} << (8 * width - 1);
  return static_cast<std::int64_t>((value ^ sign) - sign);
}

void PutLittleEndian(std::string& record, std::size_t at, std::size_t width, std::int64_t value) {
  auto bits = static_cast<std::uint64_t>(value);
  for (std::size_t i = 0; i < width; ++i) record[at + i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
}

// The two digits of a base-hundred byte, or -1 when the byte is not one.
int BaseHundred(unsigned char byte) {
  if (byte < 0x80 || byte > 0x80 + 99) return -1;
  return byte - 0x80;
}

int DaysInMonth(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0)) return 29;
  return kDays[month - 1];
}

bool IsCalendarDate(int year, int month, int day) {
  return year >= 1 && month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(year, month);
}

// Strict UTF-8 to code page 850: false naming the first character that cannot be carried.
bool Utf8ToCp850Strict(std::string_view text, std::string& out, std::string& error) {
  out.clear();
  std::size_t i = 0;
  while (i < text.size()) {
    unsigned char lead = static_cast<unsigned char>(text[i]);
    int extra;
    char32_t c;
    if (lead < 0x80) {
      extra = 0;
      c = lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      extra = 1;
      c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      extra = 2;
      c = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      extra = 3;
      c = lead & 0x07;
    } else {
      error = "the text is not valid UTF-8";
      return false;
    }
    if (extra > 0 && i + extra >= text.size()) {
      error = "the text is not valid UTF-8 (a character is cut off)";
      return false;
    }
    for (int k = 1; k <= extra; ++k) {
      unsigned char b = static_cast<unsigned char>(text[i + k]);
      if ((b & 0xC0) != 0x80) {
        error = "the text is not valid UTF-8";
        return false;
      }
      c = (c << 6) | (b & 0x3F);
    }
    if ((extra == 2 && c < 0x800) || (extra == 3 && c < 0x10000) || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
      error = "the text is not valid UTF-8";
      return false;
    }
    if (c == 0) {
      error = "the text holds a NUL character";
      return false;
    }
    int byte = values::UnicodeToCp850(c);
    if (byte < 0) {
      error = "the character " + CodePoint(c) + " (" + std::string(text.substr(i, extra + 1)) +
              ") has no code page 850 byte";
      return false;
    }
    out += static_cast<char>(byte);
    i += extra + 1;
  }
  return true;
}

}  // namespace

bool ParseCsv(std::string_view text, std::vector<CsvRow>& rows, CsvError& error) {
  rows.clear();
  std::size_t at = 0;
  std::size_t line = 1;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") at = 3;
  auto fail = [&](std::size_t where, std::string message) {
    error.line = where;
    error.message = std::move(message);
    return false;
  };
  std::vector<std::size_t> emptyLines;  // empty lines not yet known to be trailing
  while (at < text.size()) {
    // An empty line.
    if (text[at] == '\n' || text.substr(at, 2) == "\r\n") {
      emptyLines.push_back(line);
      at += text[at] == '\n' ? 1 : 2;
      ++line;
      continue;
    }
    if (!emptyLines.empty()) return fail(emptyLines.front(), "the line is empty");
    CsvRow row;
    row.line = line;
    std::string cell;
    while (true) {
      if (at < text.size() && text[at] == '"') {
        std::size_t quoteLine = line;
        ++at;
        while (true) {
          if (at >= text.size()) return fail(quoteLine, "a quoted cell has no closing double quote");
          char c = text[at];
          if (c == '"') {
            if (at + 1 < text.size() && text[at + 1] == '"') {
              cell += '"';
              at += 2;
              continue;
            }
            ++at;
            break;
          }
          if (c == '\n') ++line;
          cell += c;
          ++at;
        }
        if (at < text.size() && text[at] != ',' && text[at] != '\n' && text.substr(at, 2) != "\r\n") {
          return fail(line, "after a quoted cell a comma or the end of the line must follow");
        }
      } else {
        while (at < text.size() && text[at] != ',' && text[at] != '\n' && text.substr(at, 2) != "\r\n") {
          if (text[at] == '"') return fail(line, "a double quote inside a cell that does not start with one");
          if (text[at] == '\r') return fail(line, "a CR byte not followed by LF outside double quotes");
          cell += text[at];
          ++at;
        }
      }
      row.cells.push_back(std::move(cell));
      cell.clear();
      if (at < text.size() && text[at] == ',') {
        ++at;
        continue;
      }
      break;
    }
    if (at < text.size()) {
      at += text[at] == '\n' ? 1 : 2;
      ++line;
    }
    rows.push_back(std::move(row));
  }
  return true;
}

void AppendCsvRow(std::string& out, const std::vector<std::string>& cells) {
  for (std::size_t i = 0; i < cells.size(); ++i) {
    if (i > 0) out += ',';
    const std::string& c = cells[i];
    bool quote = c.find_first_of(",\"\r\n") != std::string::npos ||
                 (!c.empty() && (c.front() == ' ' || c.back() == ' ' || c.front() == '\t' || c.back() == '\t')) ||
                 // A byte order mark at the start of the text is taken for the file's, not data.
                 (out.empty() && i == 0 && c.compare(0, 3, "\xEF\xBB\xBF") == 0);
    // A row of one empty cell would read back as an empty line.
    if (cells.size() == 1 && c.empty()) quote = true;
    if (!quote) {
      out += c;
      continue;
    }
    out += '"';
    for (char ch : c) {
      if (ch == '"') out += '"';
      out += ch;
    }
    out += '"';
  }
  out += "\r\n";
}

bool FieldToText(std::string_view record, const Field& field, std::string& text, std::string& error) {
  std::string_view bytes = record.substr(field.offset, field.width);
  switch (field.type) {
    case FieldType::kText:
    case FieldType::kChar: {
      std::size_t end = bytes.size();
      while (end > 0 && (bytes[end - 1] == ' ' || bytes[end - 1] == '\0')) --end;
      std::string_view content = bytes.substr(0, end);
      if (content.find('\0') != std::string_view::npos) {
        error = "the text holds a zero byte before its end";
        return false;
      }
      text = values::Cp850ToUtf8(content);
      return true;
    }
    case FieldType::kInt16:
    case FieldType::kInt32:
      text = std::to_string(GetLittleEndian(bytes, field.width));
      return true;
    case FieldType::kThousandths:
      text = ThousandthsText(static_cast<std::int32_t>(GetLittleEndian(bytes, 4)));
      return true;
    case FieldType::kPackedCode: {
      std::string digits;
      for (unsigned char b : bytes) {
        int v = BaseHundred(b);
        if (v < 0) {
          error = "the byte " + std::to_string(b) + " is not a base-hundred byte (128 to 227)";
          return false;
        }
        digits += static_cast<char>('0' + v / 10);
        digits += static_cast<char>('0' + v % 10);
      }
      // A code of 2n bytes is written with 2n - 1 digits (a 3-digit code in 2 bytes) unless its
      // first digit is used.
      if (digits.size() > 1 && digits[0] == '0') digits.erase(0, 1);
      text = digits;
      return true;
    }
    case FieldType::kPackedDate: {
      if (bytes.find_first_not_of(static_cast<char>(kPackedEmpty)) == std::string_view::npos) {
        text.clear();
        return true;
      }
      int parts[4];
      for (int i = 0; i < 4; ++i) {
        parts[i] = BaseHundred(static_cast<unsigned char>(bytes[i]));
        if (parts[i] < 0) {
          error = "the byte " + std::to_string(static_cast<unsigned char>(bytes[i])) +
                  " is not a base-hundred byte (128 to 227)";
          return false;
        }
      }
      int year = parts[0] * 100 + parts[1], month = parts[2], day = parts[3];
      char buffer[16];
      std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", year, month, day);
      if (!IsCalendarDate(year, month, day)) {
        error = std::string("the date ") + buffer + " is not a calendar date";
        return false;
      }
      text = buffer;
      return true;
    }
  }
  error = "unknown field type";
  return false;
}

bool TextToField(std::string_view text, const Field& field, std::string& record, std::string& error) {
  switch (field.type) {
    case FieldType::kText:
    case FieldType::kChar: {
      std::string bytes;
      if (!Utf8ToCp850Strict(text, bytes, error)) return false;
      if (bytes.size() > field.width) {
        error = Quoted(text) + " is " + std::to_string(bytes.size()) + " characters long; the field holds " +
                std::to_string(field.width);
        return false;
      }
      bytes.resize(field.width, ' ');
      record.replace(field.offset, field.width, bytes);
      return true;
    }
    case FieldType::kInt16:
    case FieldType::kInt32: {
      std::int64_t value = 0;
      std::int64_t high = field.width == 2 ? INT16_MAX : INT32_MAX;
      std::int64_t low = field.width == 2 ? INT16_MIN : INT32_MIN;
      if (!ParseInteger(text, low, high, value, error)) return false;
      PutLittleEndian(record, field.offset, field.width, value);
      return true;
    }
    case FieldType::kThousandths: {
      std::int64_t value = 0;
      if (!ParseThousandths(text, value, error)) return false;
      PutLittleEndian(record, field.offset, 4, value);
      return true;
    }
    case FieldType::kPackedCode: {
      std::string digits = Trimmed(text);
      std::size_t capacity = 2 * field.width;
      if (digits.empty() || digits.size() > capacity ||
          digits.find_first_not_of("0123456789") != std::string::npos) {
        error = Quoted(text) + " is not a code of 1 to " + std::to_string(capacity) + " digits";
        return false;
      }
      digits.insert(0, capacity - digits.size(), '0');
      for (std::size_t i = 0; i < field.width; ++i) {
        int v = (digits[2 * i] - '0') * 10 + (digits[2 * i + 1] - '0');
        record[field.offset + i] = static_cast<char>(kPackedEmpty + v);
      }
      return true;
    }
    case FieldType::kPackedDate: {
      std::string date = Trimmed(text);
      if (date.empty()) {
        record.replace(field.offset, 4, 4, static_cast<char>(kPackedEmpty));
        return true;
      }
      bool shaped = date.size() == 10 && date[4] == '-' && date[7] == '-';
      for (std::size_t i = 0; shaped && i < date.size(); ++i) {
        if (i != 4 && i != 7 && (date[i] < '0' || date[i] > '9')) shaped = false;
      }
      if (!shaped) {
        error = Quoted(text) + " is not a date written yyyy-mm-dd";
        return false;
      }
      int year = std::stoi(date.substr(0, 4)), month = std::stoi(date.substr(5, 2)), day = std::stoi(date.substr(8, 2));
      if (!IsCalendarDate(year, month, day)) {
        error = Quoted(text) + " is not a calendar date";
        return false;
      }
      int parts[4] = {year / 100, year % 100, month, day};
      for (int i = 0; i < 4; ++i) record[field.offset + i] = static_cast<char>(kPackedEmpty + parts[i]);
      return true;
    }
  }
  error = "unknown field type";
  return false;
}

std::vector<std::string> CsvHeader(const std::vector<Field>& fields) {
  std::vector<std::string> names;
  for (const Field& f : fields) names.push_back(f.name);
  return names;
}

bool MatchCsvHeader(const std::vector<std::string>& header, const std::vector<Field>& fields,
                    std::vector<std::size_t>& columnField, std::string& error) {
  columnField.assign(header.size(), 0);
  std::vector<bool> seen(fields.size(), false);
  for (std::size_t c = 0; c < header.size(); ++c) {
    std::size_t f = 0;
    while (f < fields.size() && fields[f].name != header[c]) ++f;
    if (f == fields.size()) {
      error = "column " + std::to_string(c + 1) + " is " + Quoted(header[c]) + ", which is no field of the layout";
      return false;
    }
    if (seen[f]) {
      error = "the column " + Quoted(header[c]) + " appears twice";
      return false;
    }
    seen[f] = true;
    columnField[c] = f;
  }
  for (std::size_t f = 0; f < fields.size(); ++f) {
    if (!seen[f]) {
      error = "the header has no column " + Quoted(fields[f].name);
      return false;
    }
  }
  return true;
}

}  // namespace recman_tool
