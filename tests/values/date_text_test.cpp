#include <string>

#include <gtest/gtest.h>

#include "tests/values/fakes.h"
#include "values/date_text.h"

namespace {

using values::DateSettings;
using values::PackDate;

struct TextCase {
  const char* language;
  int mode;
  const char* parts;
  const char* expected;
};

TEST(DateText, FormsInTheFourLanguages) {
  const auto date = PackDate(2026, 4, 5);
  const TextCase cases[] = {
      {"CAT", 0, "DMA", "5/4/2026  "},
      {"CAT", 1, "DMA", "5/abr/2026 "},
      {"CAT", 2, "DMA", "5 d'abril del 2026"},
      {"SPA", 0, "DMA", "5/4/2026  "},
      {"SPA", 1, "DMA", "5/abr/2026 "},
      {"SPA", 2, "DMA", "5 de abril de 2026"},
      {"GLG", 0, "DMA", "5/4/2026  "},
      {"GLG", 1, "DMA", "5/abr/2026 "},
      {"GLG", 2, "DMA", "5 de abril do 2026"},
      {"OCI", 0, "DMA", "5/4/2026  "},
      {"OCI", 1, "DMA", "5/abr/2026 "},
      {"OCI", 2, "DMA", "5 d'abriu deth 2026"},
      {"   ", 2, "DMA", "5 d'abril del 2026"},  // any other code is Catalan
      {"ENG", 2, "DMA", "5 d'abril del 2026"},
      {"spa", 2, "DMA", "5 d'abril del 2026"},
      {"CAT", 7, "DMA", "5 d'abril del 2026"},  // every mode from 2 is the long form
      {"CAT", 2, "M", "abril"},
      {"CAT", 2, "am", "abril del 2026"},      // parts in either case, order from settings
      {"CAT", 2, "AD", "5 del 2026"},
      {"CAT", 0, "MA", "4/2026 "},             // 1 + 2 + 4 = 7
      {"CAT", 1, "M", "abr"},
      {"CAT", 0, "", ""},
      {"CAT", -1, "", "2026-04-05"},
      {"SPA", -1, "D", "2026-04-05"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(values::DateText(date, c.mode, c.parts, c.language, DateSettings{}), c.expected)
        << c.language << " mode " << c.mode << " parts " << c.parts;
  }
}

TEST(DateText, MonthNamesAndVowelJoiners) {
  const DateSettings s;
  EXPECT_EQ(values::DateText(PackDate(2026, 3, 5), 2, "DMA", "CAT", s), "5 de mar\x87 del 2026");
  EXPECT_EQ(values::DateText(PackDate(2026, 8, 1), 2, "DMA", "CAT", s), "1 d'agost del 2026");
  EXPECT_EQ(values::DateText(PackDate(2026, 10, 1), 2, "DMA", "OCI", s), "1 d'octobre deth 2026");
  EXPECT_EQ(values::DateText(PackDate(2026, 10, 1), 2, "DMA", "SPA", s), "1 de octubre de 2026");
  EXPECT_EQ(values::DateText(PackDate(2026, 1, 1), 2, "DMA", "OCI", s), "1 de g\x8Ar deth 2026");
  EXPECT_EQ(values::DateText(PackDate(2026, 9, 30), 2, "DMA", "SPA", s),
            "30 de septiembre de 2026");
  EXPECT_EQ(values::DateText(PackDate(2026, 3, 5), 1, "DMA", "GLG", s), "5/mar/2026 ");
  // Every month of every table, by its field.
  const char* catalan[] = {"gener", "febrer", "mar\x87", "abril", "maig", "juny", "juliol",
                           "agost", "setembre", "octubre", "novembre", "desembre"};
  const char* aranese[] = {"g\x8Ar", "hereu\x8Ar", "mar\x87", "abriu", "mai", "junh",
                           "junhsega", "agost", "seteme", "octobre", "noveme", "deseme"};
  const char* spanish[] = {"enero", "febrero", "marzo", "abril", "mayo", "junio", "julio",
                           "agosto", "septiembre", "octubre", "noviembre", "diciembre"};
  const char* galician[] = {"janeiro", "fevereiro", "mar\x87o", "abril", "maio", "junho",
                            "julho", "agosto", "setembro", "outubro", "novembro", "dezembro"};
  struct Table {
    const char* code;
    const char* const* names;
  } tables[] = {{"CAT", catalan}, {"OCI", aranese}, {"SPA", spanish}, {"GLG", galician}};
  for (const auto& t : tables) {
    for (int m = 1; m <= 12; ++m) {
      const std::string name = t.names[m - 1];
      EXPECT_EQ(values::DateText(PackDate(2026, m, 1), 2, "M", t.code, s), name) << t.code << m;
      EXPECT_EQ(values::DateText(PackDate(2026, m, 1), 1, "M", t.code, s), name.substr(0, 3))
          << t.code << m;
      std::string field = name + std::string(10 - name.size(), ' ');
      EXPECT_EQ(values::MonthNameField(t.code, m), field) << t.code << m;
    }
  }
  EXPECT_EQ(values::MonthNameField("CAT", 0), "");
  EXPECT_EQ(values::MonthNameField("CAT", 13), "");
}

TEST(DateText, OrderSeparatorAndWidths) {
  const auto date = PackDate(2026, 4, 5);
  DateSettings amd{'-', "AMD"};
  EXPECT_EQ(values::DateText(date, 2, "DMA", "CAT", amd), "2026 d'abril del 5");
  EXPECT_EQ(values::DateText(date, 0, "DMA", "CAT", amd), "2026-4-5  ");
  DateSettings lower{'/', "dma"};  // small letters match nothing
  EXPECT_EQ(values::DateText(date, 0, "DMA", "CAT", lower), "          ");
  EXPECT_EQ(values::DateText(date, 1, "DMA", "CAT", lower), "           ");
  EXPECT_EQ(values::DateText(date, 2, "DMA", "CAT", lower), "");
  DateSettings partial{'.', "D A"};  // no M in the order: the month is left out
  EXPECT_EQ(values::DateText(date, 0, "DMA", "CAT", partial), "5.2026    ");
  // Numbers are not zero-padded; the width is fixed.
  EXPECT_EQ(values::DateText(PackDate(2026, 11, 15), 0, "DMA", "CAT", {}), "15/11/2026");
  EXPECT_EQ(values::DateText(PackDate(2026, 11, 15), 1, "DMA", "CAT", {}), "15/nov/2026");
  // The empty date: blanks of the width, "" in the long form, zeros in ISO form.
  EXPECT_EQ(values::DateText(values::kEmptyDate, 0, "DMA", "CAT", {}), "          ");
  EXPECT_EQ(values::DateText(values::kEmptyDate, 2, "DMA", "CAT", {}), "");
  EXPECT_EQ(values::DateText(values::kEmptyDate, -1, "DMA", "CAT", {}), "0000-00-00");
  // A damaged month byte shows its number rather than indexing past the tables.
  EXPECT_EQ(values::DateText(values::PackedDate{148, 154, 128 + 13, 133}, 1, "DMA", "CAT", {}),
            "5/13/2026  ");
  EXPECT_EQ(values::DateText(values::PackedDate{148, 154, 128 + 13, 133}, 2, "M", "CAT", {}), "13");
  EXPECT_EQ(values::DateText(values::PackedDate{148, 154, 128, 133}, 2, "DMA", "CAT", {}),
            "5 de 0 del 2026");
}

TEST(DateText, SettingsAreReadOnceOnFirstUse) {
  values_test::Fixture f(2026);
  f.settings.values["Usuari/DatCaracter"] = ".-";
  f.settings.values["Usuari/DatOrdre"] = "AMDX";
  EXPECT_TRUE(f.settings.reads.empty());
  EXPECT_EQ(f.values.DateText(PackDate(2026, 4, 5), 0, "DMA", "CAT"), "2026.4.5  ");
  // Changing the settings afterwards has no effect on the running program.
  f.settings.values["Usuari/DatCaracter"] = "/";
  EXPECT_EQ(f.values.DateText(PackDate(2026, 4, 5), 0, "DMA", "CAT"), "2026.4.5  ");
  EXPECT_EQ(f.settings.reads.size(), 2u);
}

TEST(DateText, MissingSettingsGiveTheDefaults) {
  values_test::Fixture f(2026);
  EXPECT_EQ(f.values.DateText(PackDate(2026, 4, 5), 0, "DMA", "CAT"), "5/4/2026  ");
  EXPECT_EQ(f.values.DateTextSettings().order, "DMA");
  values_test::Fixture g(2026);
  g.settings.values["Usuari/DatOrdre"] = "M";  // blank-padded to three characters
  EXPECT_EQ(g.values.DateTextSettings().order, "M  ");
  EXPECT_EQ(g.values.DateText(PackDate(2026, 4, 5), 0, "DMA", "CAT"), "4         ");
}

}  // namespace
