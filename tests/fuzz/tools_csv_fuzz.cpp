// CSV text and field conversions. The first input byte picks a field type and width, the
// rest is both a CSV text and the bytes of a record: whatever parses writes back and parses
// to the same cells, and whatever a field shows loads back into the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "tools/recman/csv.h"

namespace {

using recman_tool::Field;
using recman_tool::FieldType;

Field PickField(std::uint8_t selector) {
  static const FieldType kTypes[] = {FieldType::kText,        FieldType::kChar,       FieldType::kInt16,
                                     FieldType::kInt32,       FieldType::kThousandths, FieldType::kPackedCode,
                                     FieldType::kPackedDate};
  FieldType type = kTypes[selector % 7];
  std::uint32_t width = 1 + (selector >> 3) % 8;
  if (type == FieldType::kChar) width = 1;
  if (type == FieldType::kInt16) width = 2;
  if (type == FieldType::kInt32 || type == FieldType::kThousandths || type == FieldType::kPackedDate) width = 4;
  return Field{"f", 0, width, type};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  Field field = PickField(data[0]);
  std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);

  std::vector<recman_tool::CsvRow> rows;
  recman_tool::CsvError csvError;
  if (recman_tool::ParseCsv(rest, rows, csvError)) {
    std::string written;
    for (const auto& row : rows) recman_tool::AppendCsvRow(written, row.cells);
    std::vector<recman_tool::CsvRow> again;
    if (!recman_tool::ParseCsv(written, again, csvError) || again.size() != rows.size()) std::abort();
    for (std::size_t i = 0; i < rows.size(); ++i) {
      if (again[i].cells != rows[i].cells) std::abort();
    }
  } else if (csvError.line < 1 || csvError.message.empty()) {
    std::abort();
  }

  // Bytes to text and back.
  if (rest.size() >= field.width) {
    std::string record(rest.substr(0, field.width)), text, error;
    if (recman_tool::FieldToText(record, field, text, error)) {
      std::string back(field.width, '\x55');
      if (!recman_tool::TextToField(text, field, back, error)) std::abort();
      std::string expected = record;
      if (field.type == FieldType::kText || field.type == FieldType::kChar) {
        // Trailing zero bytes are padding and come back as blanks.
        std::size_t end = expected.size();
        while (end > 0 && (expected[end - 1] == ' ' || expected[end - 1] == '\0')) expected[--end] = ' ';
      }
      if (back != expected) std::abort();
    }
  }

  // Text to bytes and back: a value that loads shows a text that loads into the same bytes.
  std::string record(field.width, '\x55'), error;
  if (recman_tool::TextToField(rest, field, record, error)) {
    std::string text;
    if (!recman_tool::FieldToText(record, field, text, error)) std::abort();
    std::string again(field.width, '\x55');
    if (!recman_tool::TextToField(text, field, again, error) || again != record) std::abort();
  } else if (record != std::string(field.width, '\x55')) {
    std::abort();  // a refused value leaves the record alone
  }
  return 0;
}
