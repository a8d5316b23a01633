#include "values/values.h"

namespace values {
namespace {

constexpr std::string_view kSettingsSection = "Usuari";

}  // namespace

Values::Values(SettingsSource& settings, platform::System& system)
    : settings_(settings), system_(system) {}

int Values::CurrentYear() { return system_.Now().year; }

PackedDate Values::ParseDate(std::string_view text) {
  return values::ParseDate(text, CurrentYear());
}

bool Values::CheckDate(std::string_view text) { return values::CheckDate(text, CurrentYear()); }

const DateSettings& Values::DateTextSettings() {
  if (!dateSettings_) {
    DateSettings s;
    std::string separator = settings_.Read(kSettingsSection, "DatCaracter");
    if (!separator.empty()) s.separator = separator.front();
    std::string order = settings_.Read(kSettingsSection, "DatOrdre");
    if (!order.empty()) {
      order.resize(3, ' ');
      s.order = order;
    }
    dateSettings_ = s;
  }
  return *dateSettings_;
}

std::string Values::DateText(const PackedDate& date, int mode, std::string_view parts,
                             std::string_view language) {
  return values::DateText(date, mode, parts, language, DateTextSettings());
}

const NumberCharacters& Values::PictureCharacters() {
  if (!numberChars_) {
    NumberCharacters c;
    std::string decimal = settings_.Read(kSettingsSection, "DecCaracter");
    if (!decimal.empty()) c.decimal = decimal.front();
    std::string thousands = settings_.Read(kSettingsSection, "MilCaracter");
    if (!thousands.empty()) c.thousands = thousands.front();
    numberChars_ = c;
  }
  return *numberChars_;
}

std::string Values::FormatPicture(std::string_view picture, double value) {
  return values::FormatPicture(picture, value, PictureCharacters());
}

std::string Values::FormatDecimalPicture(std::string_view picture, bool negative, std::string_view digits,
                                         int decimals) {
  return values::FormatDecimalPicture(picture, negative, digits, decimals, PictureCharacters());
}

std::string Values::FormatAmount(std::string_view picture, double cents) {
  return values::FormatAmount(picture, cents, PictureCharacters());
}

std::string Values::PackedDateText(std::string_view field) {
  return values::PackedDateText(field, CurrentYear());
}

std::string Values::FoldText(std::string_view text) const {
  return values::FoldText(text, foldStripAccents_);
}

void Values::PushText(std::string_view text) { saved_.emplace_back(text); }

std::string Values::PopText() {
  if (saved_.empty()) return {};
  std::string text = std::move(saved_.back());
  saved_.pop_back();
  return text;
}

}  // namespace values
