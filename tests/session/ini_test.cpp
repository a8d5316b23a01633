#include "session/ini.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <fstream>
#include <string>

#include "support/temp_dir.h"

namespace session {
namespace {

void WriteFile(const std::string& hostPath, const std::string& bytes) {
  std::ofstream(hostPath, std::ios::binary) << bytes;
}

struct IniCase {
  const char* name;
  std::string content;
  const char* section;
  const char* key;
  std::string expected;
};

class FindIniValueTest : public testing::TestWithParam<IniCase> {};

TEST_P(FindIniValueTest, FindsTheValue) {
  const IniCase& c = GetParam();
  EXPECT_EQ(FindIniValue(c.content, c.section, c.key), c.expected) << c.content;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FindIniValueTest,
    testing::Values(
        IniCase{"plain", "[Menu]\r\nTitol=Finques\r\n", "Menu", "Titol", "Finques"},
        IniCase{"lf_only", "[Menu]\nTitol=Finques\n", "Menu", "Titol", "Finques"},
        IniCase{"no_final_line_end", "[Menu]\r\nTitol=Finques", "Menu", "Titol", "Finques"},
        IniCase{"section_case_and_blanks", "[  menu ]\r\nTitol=x\r\n", " MENU ", "Titol", "x"},
        IniCase{"key_case_and_blanks_before_equals", "[Menu]\r\n  titol   =x\r\n", "Menu", " TITOL ", "x"},
        IniCase{"blanks_kept_after_equals_and_before_comment", "[Menu]\r\nTitol= a  b  ; note\r\n", "Menu", "Titol",
                " a  b  "},
        IniCase{"quotes_removed", "[Menu]\r\nTitol=\" a, b \"\r\n", "Menu", "Titol", " a, b "},
        IniCase{"quoted_value_cut_by_semicolon_keeps_opening_quote", "[Menu]\r\nTitol=\"a;b\"\r\n", "Menu",
                "Titol", "\"a"},
        IniCase{"single_quote_character_kept", "[Menu]\r\nTitol=\"\r\n", "Menu", "Titol", "\""},
        IniCase{"two_quotes_give_empty", "[Menu]\r\nTitol=\"\"\r\n", "Menu", "Titol", ""},
        IniCase{"only_leading_quote_kept", "[Menu]\r\nTitol=\"abc\r\n", "Menu", "Titol", "\"abc"},
        IniCase{"value_holds_equals", "[Menu]\r\nTitol=a=b\r\n", "Menu", "Titol", "a=b"},
        IniCase{"empty_value", "[Menu]\r\nTitol=\r\n", "Menu", "Titol", ""},
        IniCase{"first_key_wins", "[Menu]\r\nTitol=one\r\nTitol=two\r\n", "Menu", "Titol", "one"},
        IniCase{"only_first_section_of_a_name", "[Menu]\r\nA=1\r\n[Menu]\r\nTitol=late\r\n", "Menu", "Titol", ""},
        IniCase{"next_section_ends_search", "[Menu]\r\n[Other]\r\nTitol=x\r\n", "Menu", "Titol", ""},
        IniCase{"key_before_any_section_ignored", "Titol=x\r\n[Menu]\r\n", "Menu", "Titol", ""},
        IniCase{"other_section_skipped", "[Other]\r\nTitol=no\r\n[Menu]\r\nTitol=yes\r\n", "Menu", "Titol", "yes"},
        IniCase{"commented_header_ignored", ";[Menu]\r\nTitol=no\r\n[Menu]\r\nTitol=yes\r\n", "Menu", "Titol",
                "yes"},
        IniCase{"commented_entry_ignored", "[Menu]\r\n; Titol=no\r\nTitol=yes\r\n", "Menu", "Titol", "yes"},
        IniCase{"lines_without_equals_skipped", "[Menu]\r\njunk line\r\n\r\n   \r\nTitol=yes\r\n", "Menu",
                "Titol", "yes"},
        IniCase{"header_without_bracket_runs_to_end", "[Menu\r\nTitol=yes\r\n", "Menu", "Titol", "yes"},
        IniCase{"indented_header", "   [Menu]\r\nTitol=yes\r\n", "Menu", "Titol", "yes"},
        IniCase{"key_is_whole_name", "[Menu]\r\nTitolLlarg=no\r\nTitol=yes\r\n", "Menu", "Titol", "yes"},
        IniCase{"missing_section", "[Other]\r\nTitol=x\r\n", "Menu", "Titol", ""},
        IniCase{"empty_file", "", "Menu", "Titol", ""}),
    [](const testing::TestParamInfo<IniCase>& info) { return info.param.name; });

TEST(ReadIniValueTest, ReadsAFileAndAnswersEmptyWhenItCannot) {
  testing_support::TempDir dir;
  WriteFile(dir / "Sessio.ini", "[Menu]\r\nTitol=Finques\r\n");
  EXPECT_EQ(ReadIniValue(dir.SystemDir() + "Sessio.ini", "Menu", "Titol"), "Finques");
  // Names are matched without regard to case, as on the office machines.
  EXPECT_EQ(ReadIniValue(dir.SystemDir() + "SESSIO.INI", "Menu", "Titol"), "Finques");
  EXPECT_EQ(ReadIniValue(dir.SystemDir() + "Missing.ini", "Menu", "Titol"), "");
  EXPECT_EQ(ReadIniValue(dir.SystemDir(), "Menu", "Titol"), "");  // a directory
}

TEST(OrbaIniSettingsTest, ReadsZedrootAgainAtEveryCall) {
  testing_support::TempDir first;
  testing_support::TempDir second;
  WriteFile(first / "Orba.ini", "[Usuari]\r\nDatCaracter=-\r\n");
  WriteFile(second / "Orba.ini", "[Usuari]\r\nDatCaracter=.\r\n");
  MapEnvironment env;
  OrbaIniSettings settings(env);
  EXPECT_EQ(settings.Read("Usuari", "DatCaracter"), "");  // ZEDROOT unset: ./Orba.ini, absent here
  env.Set("ZEDROOT", first.SystemDir());
  EXPECT_EQ(settings.Read("Usuari", "DatCaracter"), "-");
  env.Set("ZEDROOT", second.SystemDir());
  EXPECT_EQ(settings.Read("Usuari", "DatCaracter"), ".");
  // No separator is inserted: a root without its final "\" names another file.
  env.Set("ZEDROOT", second.path());
  EXPECT_EQ(settings.Read("Usuari", "DatCaracter"), "");
}

TEST(OrbaIniSettingsTest, ARelativeRootIsTakenFromTheStartDirectory) {
  testing_support::TempDir top;
  std::filesystem::create_directories(std::filesystem::path(top.path()) / "inst");
  WriteFile(top / "inst/Orba.ini", "[Usuari]\r\nDatCaracter=-\r\n");
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(top.path());
  MapEnvironment env;
  env.Set("ZEDROOT", "inst/");
  OrbaIniSettings settings(env);
  // The program changes into the root before the first setting is read.
  std::filesystem::current_path(std::filesystem::path(top.path()) / "inst");
  const std::string read = settings.Read("Usuari", "DatCaracter");
  std::filesystem::current_path(before);
  EXPECT_EQ(read, "-");
}

}  // namespace
}  // namespace session
