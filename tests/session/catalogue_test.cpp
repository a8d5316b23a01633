#include "session/catalogue.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "session/items.h"
#include "support/temp_dir.h"

namespace session {
namespace {

std::vector<std::string> AllItems(std::string_view content) {
  ItemReader reader(content);
  std::vector<std::string> items;
  std::string item;
  while (reader.Next(item)) items.push_back(item);
  return items;
}

TEST(ItemReaderTest, SplitsItems) {
  using V = std::vector<std::string>;
  EXPECT_EQ(AllItems("a,b\r\nc\r\n"), (V{"a", "b", "c"}));
  EXPECT_EQ(AllItems("a,b\nc\n"), (V{"a", "b", "c"}));
  EXPECT_EQ(AllItems("a,b\rc"), (V{"a", "b", "c"}));
  EXPECT_EQ(AllItems("  a b ,  c"), (V{"a b ", "c"}));         // blanks before skipped, inside kept
  EXPECT_EQ(AllItems("a\tb,c"), (V{"ab", "c"}));                // tabs inside dropped
  EXPECT_EQ(AllItems("\" a,b \" ,c"), (V{" a,b ", "c"}));       // quoted: commas and blanks kept
  EXPECT_EQ(AllItems("\"a\r\nb\",c"), (V{"a\r\nb", "c"}));      // quoted: line ends kept
  EXPECT_EQ(AllItems("a,b,"), (V{"a", "b", ""}));               // after a comma one more item
  EXPECT_EQ(AllItems("a,,b"), (V{"a", "", "b"}));
  EXPECT_EQ(AllItems("a\r\n\r\nb"), (V{"a", "", "b"}));         // an empty line inside is an item
  EXPECT_EQ(AllItems("a,b\x1a,c"), (V{"a", "b"}));              // 1A ends the file
  EXPECT_EQ(AllItems("\"unclosed, still"), (V{"unclosed, still"}));
  EXPECT_EQ(AllItems(""), V{});
}

TEST(ItemReaderTest, CountsLines) {
  ItemReader reader("a,\"b\r\nb\"\r\nc\nd");
  std::string item;
  std::vector<int> lines;
  while (reader.Next(item)) lines.push_back(reader.ItemLine());
  EXPECT_EQ(lines, (std::vector<int>{1, 1, 3, 4}));
}

struct LookUpCase {
  const char* name;
  std::string catalogue;
  std::string text;
  const char* language;
  std::string expected;
};

class LookUpCatalogueTest : public testing::TestWithParam<LookUpCase> {};

TEST_P(LookUpCatalogueTest, Translates) {
  const LookUpCase& c = GetParam();
  EXPECT_EQ(LookUpCatalogue(c.catalogue, c.text, c.language), c.expected) << c.catalogue;
}

const std::string kTwoRecords =
    "\"Finca\",\"Finca es\",\"Finca gl\",\"Finca oc\"\r\n"
    "\"Sortir\",\"Salir\",\"Saír\",\"Sortir oc\"\r\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, LookUpCatalogueTest,
    testing::Values(
        LookUpCase{"spanish", kTwoRecords, "Sortir", "SPA", "Salir"},
        LookUpCase{"galician", kTwoRecords, "Sortir", "GLG", "Saír"},
        LookUpCase{"aranese", kTwoRecords, "Sortir", "OCI", "Sortir oc"},
        LookUpCase{"blank_code_reads_and_keeps_catalan", kTwoRecords, "Sortir", "   ", "Sortir"},
        LookUpCase{"lower_case_code_is_catalan", kTwoRecords, "Sortir", "spa", "Sortir"},
        LookUpCase{"missing_text_stays", kTwoRecords, "Entrar", "SPA", "Entrar"},
        LookUpCase{"key_matches_exactly", kTwoRecords, "sortir", "SPA", "sortir"},
        LookUpCase{"first_of_duplicates_wins", "A,first,g,o\r\nA,second,g,o\r\n", "A", "SPA", "first"},
        LookUpCase{"empty_translation_returned", "A,es,,oc\r\n", "A", "GLG", ""},
        LookUpCase{"quoted_key_with_comma", "\"A, B\",es,gl,oc\r\n", "A, B", "SPA", "es"},
        LookUpCase{"unquoted_key_cut_at_comma", "A, B,es,gl,oc\r\n", "A, B", "SPA", "A, B"},
        LookUpCase{"unquoted_key_with_trailing_blanks", "A  ,es,gl,oc\r\n", "A  ", "SPA", "es"},
        LookUpCase{"unquoted_key_trailing_blanks_needed", "A  ,es,gl,oc\r\n", "A", "SPA", "A"},
        LookUpCase{"record_split_over_lines", "A\r\nes\r\ngl\r\noc\r\n", "A", "OCI", "oc"},
        LookUpCase{"records_sharing_a_line", "A,a1,a2,a3,B,b1,b2,b3\r\n", "B", "SPA", "b1"},
        LookUpCase{"lf_only_file", "A,es,gl,oc\nB,bes,bgl,boc\n", "B", "GLG", "bgl"},
        LookUpCase{"blank_lines_between_records", "\r\nA,es,gl,oc\r\n\r\n  \r\nB,bes,bgl,boc\r\n", "B", "SPA",
                   "bes"},
        LookUpCase{"tabs_dropped_in_unquoted", "A\tB,es,gl,oc\r\n", "AB", "SPA", "es"},
        LookUpCase{"end_of_file_mark", "A,es,gl,oc\r\n\x1a" "B,bes,bgl,boc\r\n", "B", "SPA", "B"},
        LookUpCase{"incomplete_last_record_ignored", "A,es,gl\r\n", "A", "SPA", "A"},
        LookUpCase{"key_at_end_of_file", "A", "A", "SPA", "A"},
        LookUpCase{"empty_last_item_after_comma", "A,es,gl,", "A", "OCI", ""},
        LookUpCase{"accented_bytes", "\"Fian\x87" "a\",\"Fianza\",g,o\r\n", "Fian\x87" "a", "SPA", "Fianza"}),
    [](const testing::TestParamInfo<LookUpCase>& info) { return info.param.name; });

class CatalogueTest : public testing::Test {
 protected:
  std::string LocaleFile() const { return root_ / "LOCALE/MODCARTA.LNG"; }
  void MakeLocale() { std::filesystem::create_directory(root_ / "LOCALE"); }

  testing_support::TempDir root_;
  Session session_;
};

TEST_F(CatalogueTest, CatalanNeverTouchesTheCatalogue) {
  MakeLocale();
  session_.RootDir = root_.SystemDir();
  session_.Language = "CAT";
  Catalogue catalogue(session_, "MODCARTA");
  EXPECT_EQ(catalogue.Translate("Finca"), "Finca");
  EXPECT_FALSE(std::filesystem::exists(LocaleFile()));
}

TEST_F(CatalogueTest, MissingCatalogueIsCreatedEmpty) {
  MakeLocale();
  session_.RootDir = root_.SystemDir();
  session_.Language = "   ";
  Catalogue catalogue(session_, "MODCARTA");
  EXPECT_EQ(catalogue.Translate("Finca"), "Finca");
  ASSERT_TRUE(std::filesystem::exists(LocaleFile()));
  EXPECT_EQ(std::filesystem::file_size(LocaleFile()), 0u);
}

TEST_F(CatalogueTest, ReadsTheCatalogueWhateverTheCaseOfItsName) {
  std::filesystem::create_directory(root_ / "locale");
  std::ofstream(root_ / "locale/modcarta.lng", std::ios::binary) << "Finca,Finca es,Finca gl,Finca oc\r\n";
  session_.RootDir = root_.SystemDir();
  session_.Language = "SPA";
  Catalogue catalogue(session_, "MODCARTA");
  EXPECT_EQ(catalogue.Translate("Finca"), "Finca es");
  EXPECT_FALSE(std::filesystem::exists(LocaleFile()));  // the existing file was used, none created
  // The language is read at every call.
  session_.Language = "OCI";
  EXPECT_EQ(catalogue.Translate("Finca"), "Finca oc");
}

TEST_F(CatalogueTest, NoLocaleDirectoryKeepsCatalan) {
  session_.RootDir = root_.SystemDir();
  session_.Language = "SPA";
  Catalogue catalogue(session_, "MODCARTA");
  EXPECT_EQ(catalogue.Translate("Finca"), "Finca");
  EXPECT_FALSE(std::filesystem::exists(root_ / "LOCALE"));
}

TEST(DemoCatalogueTest, LeadingBlankLineDoesNotShiftTheRecords) {
  // The demo installation's catalogue, as written in the source tree: it starts with a blank
  // line, which would otherwise be read as a key and shift every later item by one.
  const std::string path = std::string(MODCARTA_SOURCE_DIR) + "/demo/install/LOCALE/MODCARTA.LNG";
  std::ifstream in(path, std::ios::binary);
  if (!in) GTEST_SKIP() << "no demo catalogue at " << path;
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(LookUpCatalogue(content, "FINCA INEXISTENT", "SPA"), "FINCA INEXISTENTE");
  EXPECT_EQ(LookUpCatalogue(content, "_Finques_", "GLG"), "_Fincas_");
}

}  // namespace
}  // namespace session
