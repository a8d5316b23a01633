// Date text for the screen: numeric, abbreviated-month, long and ISO forms.
//
// The separator and the order of day, month and year of the numeric forms are installation
// settings (Orba.ini [Usuari] DatCaracter and DatOrdre); Values::DateText loads them on first
// use. Month names and joining words exist for the four interface languages; names are code
// page 850 bytes (c cedilla 0x87, e grave 0x8A).
#pragma once

#include <string>
#include <string_view>

#include "values/dates.h"

namespace values {

struct DateSettings {
  char separator = '/';   // first character of DatCaracter; "/" when empty or missing
  std::string order = "DMA";  // first three characters of DatOrdre, blank-padded; "DMA" default
};

// Modes of DateText.
inline constexpr int kDateIso = -1;      // yyyy-mm-dd, parts and settings ignored
inline constexpr int kDateNumeric = 0;   // 5/4/2026, padded to a fixed width
inline constexpr int kDateShortMonth = 1;  // 5/abr/2026, padded to a fixed width
inline constexpr int kDateLong = 2;      // 5 d'abril del 2026 (any mode of 2 or more)

// The text of a packed date.
//   parts: the letters D, M, A (either case) of the components to show; the date order of the
//     settings decides their order (letters of the order other than capital D, M, A are
//     skipped, so an order in small letters shows nothing).
//   language: the session's language code; "SPA", "GLG", "OCI" select their names and words,
//     every other code (blanks included) the Catalan ones.
// Numeric forms are padded with blanks or cut to LEN(parts) - 1 + 2 (D) + mode + 2 (M) + 4 (A)
// characters (10 in mode 0 and 11 in mode 1 with all parts); a date whose month and day are
// both 0 gives blanks of that width, or "" in the long form. Negative modes give the ISO form.
// A month outside 1..12 (damaged bytes) shows as its number in the name forms.
std::string DateText(const PackedDate& date, int mode, std::string_view parts,
                     std::string_view language, const DateSettings& settings);

// The month-name field of a language (ten characters, blank-padded) for month 1..12, or ""
// for another month.
std::string_view MonthNameField(std::string_view language, int month);

}  // namespace values
