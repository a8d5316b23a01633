// The values layer's process-wide state, and the operations that need it.
//
// The formatting settings (Orba.ini [Usuari] DecCaracter, MilCaracter, DatCaracter,
// DatOrdre) are read once, on first use, through a SettingsSource and kept for the run; the
// two-digit year windows move with the current date of the System clock; the save stack and
// the accent-stripping switch of folding live for the whole run. The program owns one Values
// and passes it on; tests make a fresh one with a fake SettingsSource and a fixed clock.
//
// Everything that needs neither settings nor clock is a free function in the headers below.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/system.h"
#include "values/date_text.h"
#include "values/dates.h"
#include "values/numbers.h"
#include "values/pictures.h"
#include "values/settings.h"
#include "values/text.h"

namespace values {

class Values {
 public:
  // Both must outlive this object. Nothing is read until first needed.
  Values(SettingsSource& settings, platform::System& system);

  Values(const Values&) = delete;
  Values& operator=(const Values&) = delete;

  // The current year of the system clock, read at each call.
  int CurrentYear();

  // Calendar dates with the year windows of the current year (see values/dates.h).
  PackedDate ParseDate(std::string_view text);
  bool CheckDate(std::string_view text);  // true when the text is NOT a valid date

  // Date text with the installation's separator and order (see values/date_text.h). The
  // language is the session's language code, passed at each call.
  std::string DateText(const PackedDate& date, int mode, std::string_view parts,
                       std::string_view language);
  const DateSettings& DateTextSettings();  // loads them on first use

  // Edit pictures with the installation's decimal and thousands characters (values/pictures.h).
  std::string FormatPicture(std::string_view picture, double value);
  std::string FormatDecimalPicture(std::string_view picture, bool negative, std::string_view digits, int decimals);
  std::string FormatAmount(std::string_view picture, double cents);
  const NumberCharacters& PictureCharacters();  // loads them on first use

  // Packed date text with the window of the current year (values/numbers.h).
  std::string PackedDateText(std::string_view field);

  // Folding through the table that the accent-stripping switch selects. The field editor sets
  // the switch just around the comparison of a choice list search; it is false otherwise.
  void SetFoldStripAccents(bool strip) { foldStripAccents_ = strip; }
  bool FoldStripAccents() const { return foldStripAccents_; }
  std::string FoldText(std::string_view text) const;

  // The save stack: PopText returns the most recently pushed text not yet popped, or "" when
  // the stack is empty. Callers pair each PopText with an earlier PushText of their own.
  void PushText(std::string_view text);
  std::string PopText();
  std::size_t SavedTextCount() const { return saved_.size(); }

 private:
  SettingsSource& settings_;
  platform::System& system_;
  std::optional<DateSettings> dateSettings_;
  std::optional<NumberCharacters> numberChars_;
  bool foldStripAccents_ = false;
  std::vector<std::string> saved_;
};

}  // namespace values
