#include "values/date_text.h"

#include <algorithm>
#include <string>

#include "values/numbers.h"
#include "values/text.h"

namespace values {
namespace {

// Twelve fields of ten characters, blank-padded, January first; code page 850 bytes
// (\x87 c cedilla, \x8A e grave).
constexpr std::string_view kMonthsCatalan =
    "gener     febrer    mar\x87      abril     maig      juny      "
    "juliol    agost     setembre  octubre   novembre  desembre  ";
constexpr std::string_view kMonthsSpanish =
    "enero     febrero   marzo     abril     mayo      junio     "
    "julio     agosto    septiembreoctubre   noviembre diciembre ";
constexpr std::string_view kMonthsGalician =
    "janeiro   fevereiro mar\x87o     abril     maio      junho     "
    "julho     agosto    setembro  outubro   novembro  dezembro  ";
constexpr std::string_view kMonthsAranese =
    "g\x8Ar       hereu\x8Ar   mar\x87      abriu     mai       junh      "
    "junhsega  agost     seteme    octobre   noveme    deseme    ";

static_assert(kMonthsCatalan.size() == 120 && kMonthsSpanish.size() == 120 &&
              kMonthsGalician.size() == 120 && kMonthsAranese.size() == 120);

// The words that join the components of the long form.
struct Joiners {
  std::string_view beforeMonth;
  std::string_view beforeVowelMonth;
  std::string_view beforeDayOrYear;
};

enum class Language { Catalan, Spanish, Galician, Aranese };

Language PickLanguage(std::string_view code) {
  std::string_view c = code.substr(0, 3);
  if (c == "SPA") return Language::Spanish;
  if (c == "GLG") return Language::Galician;
  if (c == "OCI") return Language::Aranese;
  return Language::Catalan;
}

std::string_view MonthTable(Language language) {
  switch (language) {
    case Language::Spanish: return kMonthsSpanish;
    case Language::Galician: return kMonthsGalician;
    case Language::Aranese: return kMonthsAranese;
    case Language::Catalan: break;
  }
  return kMonthsCatalan;
}

Joiners JoinersOf(Language language) {
  switch (language) {
    case Language::Spanish: return {" de ", " de ", " de "};
    case Language::Galician: return {" de ", " de ", " do "};
    case Language::Aranese: return {" de ", " d'", " deth "};
    case Language::Catalan: break;
  }
  return {" de ", " d'", " del "};
}

std::string_view TrimRight(std::string_view s) {
  std::size_t end = s.find_last_not_of(' ');
  return end == std::string_view::npos ? std::string_view() : s.substr(0, end + 1);
}

bool StartsWithVowel(std::string_view name) {
  if (name.empty()) return false;
  unsigned char first = FoldChar(static_cast<unsigned char>(name.front()));
  return std::string_view("AEIOU").find(static_cast<char>(first)) != std::string_view::npos;
}

}  // namespace

std::string_view MonthNameField(std::string_view language, int month) {
  if (month < 1 || month > 12) return {};
  return MonthTable(PickLanguage(language)).substr(static_cast<std::size_t>(month - 1) * 10, 10);
}

std::string DateText(const PackedDate& date, int mode, std::string_view parts,
                     std::string_view language, const DateSettings& settings) {
  const std::string digits = BaseHundredDigits(
      std::string_view(reinterpret_cast<const char*>(date.data()), date.size()));
  const std::string year = digits.substr(0, 4);
  const int month = std::stoi(digits.substr(4, 2));
  const int day = std::stoi(digits.substr(6, 2));

  if (mode < 0) return year + "-" + digits.substr(4, 2) + "-" + digits.substr(6, 2);

  std::string wanted(parts);
  for (char& c : wanted) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  auto asked = [&](char letter) { return wanted.find(letter) != std::string::npos; };

  const Joiners joiners = JoinersOf(PickLanguage(language));
  std::string text;
  if (month != 0 || day != 0) {
    bool any = false;
    for (char letter : settings.order) {
      if (letter != 'D' && letter != 'M' && letter != 'A') continue;
      if (!asked(letter)) continue;
      std::string component;
      bool vowelMonth = false;
      if (letter == 'D') {
        component = std::to_string(day);
      } else if (letter == 'A') {
        component = year;
      } else {
        std::string_view field = MonthNameField(language, month);
        if (mode == 0 || field.empty()) {
          // Damaged month bytes have no name; their number is shown instead.
          component = std::to_string(month);
        } else if (mode == 1) {
          component = std::string(field.substr(0, 3));
        } else {
          component = std::string(TrimRight(field));
          vowelMonth = StartsWithVowel(component);
        }
      }
      if (any) {
        if (mode <= 1) {
          text += settings.separator;
        } else if (letter == 'M') {
          text += vowelMonth ? joiners.beforeVowelMonth : joiners.beforeMonth;
        } else {
          text += joiners.beforeDayOrYear;
        }
      }
      text += component;
      any = true;
    }
  }

  if (mode <= 1) {
    long width = static_cast<long>(parts.size()) - 1;
    if (asked('D')) width += 2;
    if (asked('M')) width += mode + 2;
    if (asked('A')) width += 4;
    text.resize(static_cast<std::size_t>(std::max(0L, width)), ' ');
  }
  return text;
}

}  // namespace values
