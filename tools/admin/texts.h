// An installation's own texts, and the readable sources they are made from.
//
// Sources are UTF-8 with LF line ends (a CR before the LF is tolerated), so an office edits
// them with any editor. The installation holds them as the program reads them:
//   - the form (FORMS\*.ZPN), the catalogue (LOCALE\*.LNG) and Orba.ini: code page 850 text,
//     each line ended by CR LF;
//   - help topics (AJUDA\*.HLP): one record of kHelpRecordWidth bytes per source line, in code
//     page 850, padded with blanks, without line ends. The colour switches are single control
//     bytes in a record and written "~h" (high intensity), "~u" (input colour) and "~r"
//     (reverse) in the source. The help viewer shows at most kHelpVisibleWidth visible
//     characters of a record.
#pragma once

#include <string>
#include <string_view>

namespace admin_tool {

inline constexpr std::size_t kHelpRecordWidth = 80;
inline constexpr std::size_t kHelpVisibleWidth = 76;

// Where a source could not be converted: the line (from 1) and column (characters from 1).
struct TextFault {
  std::size_t line = 0;
  std::size_t column = 0;
  std::string message;
  std::string Describe() const;  // "line L, column C: message"
};

// Readable source -> code page 850 text with CR LF. Fails on bytes that are not UTF-8 and on
// characters that code page 850 does not have.
bool SourceToText(std::string_view source, std::string& text, TextFault& fault);
// Code page 850 text (CR LF or LF) -> readable source.
std::string TextToSource(std::string_view text);

// Readable help source -> help records. Fails as SourceToText does, and on a line whose
// visible characters or whole record would not fit.
bool SourceToHelp(std::string_view source, std::string& records, TextFault& fault);
// Help records -> readable source (trailing blanks of each record dropped). False when the
// bytes are not help records (see HelpFormatFault).
bool HelpToSource(std::string_view records, std::string& source, std::string& problem);

// Why the bytes of a file are not code page 850 text as the program reads it: empty when they
// may be; otherwise, e.g., that they are UTF-8 (letters would show garbled and columns shift).
std::string TextFormatFault(std::string_view bytes);
// Why the bytes are not help records: empty when they are.
std::string HelpFormatFault(std::string_view bytes);

}  // namespace admin_tool
