// CSV for the load and save commands: cells separated by commas, rows ended by CR LF (LF alone
// is accepted on input), a cell holding a comma, a double quote, CR, LF or leading or trailing
// blanks written in double quotes with inner quotes doubled. The text is UTF-8; a byte order
// mark at the start of the input is skipped. The first row names the columns.
//
// Field values (see layout.h for the types) convert between the record's bytes and the cell's
// text; every conversion refuses what it cannot carry over unchanged instead of guessing.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "tools/recman/layout.h"

namespace recman_tool {

struct CsvRow {
  std::size_t line = 0;  // the line on which the row starts, from 1
  std::vector<std::string> cells;
};

struct CsvError {
  std::size_t line = 0;
  std::string message;
};

// Splits the whole text into rows. Empty lines at the end are ignored; an empty line elsewhere
// is a fault.
bool ParseCsv(std::string_view text, std::vector<CsvRow>& rows, CsvError& error);

// Appends one row, CR LF ended.
void AppendCsvRow(std::string& out, const std::vector<std::string>& cells);

// The text of a field of a record (the record holds at least offset + width bytes). False with a
// message saying why the bytes have no text of that type.
bool FieldToText(std::string_view record, const Field& field, std::string& text, std::string& error);

// Stores a cell's text into the field's bytes of a record. False with a message when the text
// is not a value of the type or does not fit.
bool TextToField(std::string_view text, const Field& field, std::string& record, std::string& error);

// The header of a layout's CSV: the field names in layout order.
std::vector<std::string> CsvHeader(const std::vector<Field>& fields);

// Maps the columns of a header row to the layout's fields: column i holds field columnField[i].
// Every field must appear exactly once and nothing else.
bool MatchCsvHeader(const std::vector<std::string>& header, const std::vector<Field>& fields,
                    std::vector<std::size_t>& columnField, std::string& error);

}  // namespace recman_tool
