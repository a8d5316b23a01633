#include "session/form.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace session {
namespace {

using testing::ElementsAre;
using testing::HasSubstr;

// Records every text it is asked for, in order, and translates from a small table.
class RecordingTranslator : public Translator {
 public:
  std::string Translate(std::string_view text) override {
    calls.emplace_back(text);
    auto it = table.find(std::string(text));
    return it == table.end() ? std::string(text) : it->second;
  }
  std::map<std::string, std::string> table;
  std::vector<std::string> calls;
};

// Joins lines with CR LF, as the form files are written.
std::string CrLf(std::initializer_list<std::string_view> lines) {
  std::string out;
  for (std::string_view line : lines) {
    out += line;
    out += "\r\n";
  }
  return out;
}

std::string LfOnly(std::string text) {
  std::string out;
  for (char c : text) {
    if (c != '\r') out += c;
  }
  return out;
}

// A complete form: three panels (the third in its own window and linked from none), two lists.
const std::string kCompleteForm = CrLf({
    "' Record card",
    "' header: panels, maximum fields",
    "3,4",
    "' panel 1: the property, no window",
    "\"d,1b,9=d,4800,5000,3e00\",1,0,0,0,0,0",
    "3,3,\"Finca: \",3,0,0,0,1,1,\"\"",
    "",
    "' panel 2: the department",
    "\"d,1b,4800,5000,3e00\",1,0,0,0,0,0",
    "4,3,\"Departament: \",3,0,0,0,1,2,\"\"",
    "' panel 3: the record, in a window",
    "\"d,1b,5100,4900\",4,0,6,2,21,79",
    "1,2,\"Data: \",10,0,0,4,3,0,\"\"",
    "1,40,\"Renda: \",10,0,3,0,5,0,\"\"",
    "2,2,\"Actiu: \",1,0,0,0,0,0,\"|S,S\xa1|N,No\"",
    "3,2,Notes ,20,10,0,8,0,0,",
    "' selection lists",
    "2",
    "' list 1: properties",
    "506,0,3,22,20,62,0,\"_Finques_\",2",
    "507,0,5,8,22,72,1,\"_Departaments de la finca_\",0",
});

TEST(FormLoaderTest, ReadsACompleteFormWithThreePanelsAndTwoLists) {
  RecordingTranslator translator;
  translator.table = {{"Finca: ", "Finca (es): "}, {"_Finques_", "_Fincas_"}, {"|S,S\xa1|N,No", "|S,S\xa1|N,No (es)"}};
  Form form;
  FormStatus status = ParseForm(kCompleteForm, "MODCARTA.ZPN", translator, form);
  ASSERT_TRUE(status.ok) << status.message;

  EXPECT_EQ(form.PanelCount, 3);
  EXPECT_EQ(form.MaxFieldCount, 4);
  ASSERT_TRUE(form.HasPanel(3));
  EXPECT_FALSE(form.HasPanel(4));
  EXPECT_FALSE(form.HasPanel(0));

  const FormPanel& p1 = form.Panel(1);
  EXPECT_EQ(p1.KeyList, "d,1b,9=d,4800,5000,3e00");
  EXPECT_EQ(p1.FieldCount, 1);
  EXPECT_EQ(p1.LinkedPanel, 0);
  EXPECT_EQ(p1.Box[kBoxTop], 0);
  const FormField& code = form.Field(1, 1);
  EXPECT_EQ(code.Label, "Finca (es): ");
  EXPECT_EQ(code.Value, "   ");
  EXPECT_THAT(code.Attribute, ElementsAre(3, 3, 3, 0, 0, 0, 1, 1));

  EXPECT_EQ(form.Panel(2).KeyList, "d,1b,4800,5000,3e00");
  EXPECT_EQ(form.Field(2, 1).Label, "Departament: ");
  EXPECT_EQ(form.Field(2, 1).Attribute[kFieldList], 2);

  const FormPanel& p3 = form.Panel(3);
  EXPECT_EQ(p3.FieldCount, 4);
  EXPECT_THAT(p3.Box, ElementsAre(0, 6, 2, 21, 79));
  ASSERT_TRUE(form.HasField(3, 4));
  EXPECT_FALSE(form.HasField(3, 5));
  EXPECT_EQ(form.Field(3, 1).Value, std::string(10, ' '));
  EXPECT_EQ(form.Field(3, 1).Attribute[kFieldType], 3);
  EXPECT_EQ(form.Field(3, 2).Attribute[kFieldExtra], 3);
  EXPECT_EQ(form.Field(3, 2).Attribute[kFieldType], 5);
  EXPECT_EQ(form.Field(3, 3).Choices, "|S,S\xa1|N,No (es)");
  const FormField& notes = form.Field(3, 4);
  EXPECT_EQ(notes.Label, "Notes ");  // unquoted text keeps its trailing blank
  EXPECT_EQ(notes.Choices, "");
  EXPECT_THAT(notes.Attribute, ElementsAre(3, 2, 20, 10, 0, 8, 0, 0));

  EXPECT_EQ(form.ListCount, 2);
  ASSERT_TRUE(form.HasList(2));
  EXPECT_FALSE(form.HasList(3));
  EXPECT_THAT(form.List(1).Attribute, ElementsAre(506, 0, 3, 22, 20, 62, 0, 2));
  EXPECT_EQ(form.List(1).Title, "_Fincas_");
  EXPECT_THAT(form.List(2).Attribute, ElementsAre(507, 0, 5, 8, 22, 72, 1, 0));
  EXPECT_EQ(form.List(2).Title, "_Departaments de la finca_");

  // Every label, then its choices, then the list titles, in file order.
  EXPECT_THAT(translator.calls,
              ElementsAre("Finca: ", "", "Departament: ", "", "Data: ", "", "Renda: ", "", "Actiu: ", "|S,S\xa1|N,No",
                          "Notes ", "", "_Finques_", "_Departaments de la finca_"));
}

TEST(FormLoaderTest, LfOnlyFileReadsLikeCrLf) {
  RecordingTranslator crlfTranslator;
  RecordingTranslator lfTranslator;
  Form crlf;
  Form lf;
  ASSERT_TRUE(ParseForm(kCompleteForm, "a", crlfTranslator, crlf).ok);
  FormStatus status = ParseForm(LfOnly(kCompleteForm), "b", lfTranslator, lf);
  ASSERT_TRUE(status.ok) << status.message;
  EXPECT_EQ(lfTranslator.calls, crlfTranslator.calls);
  ASSERT_EQ(lf.Panels.size(), crlf.Panels.size());
  for (int p = 1; p <= crlf.PanelCount; ++p) {
    EXPECT_EQ(lf.Panel(p).KeyList, crlf.Panel(p).KeyList);
    EXPECT_EQ(lf.Panel(p).Box, crlf.Panel(p).Box);
    for (int k = 1; k <= crlf.Panel(p).FieldCount; ++k) {
      EXPECT_EQ(lf.Field(p, k).Attribute, crlf.Field(p, k).Attribute);
      EXPECT_EQ(lf.Field(p, k).Label, crlf.Field(p, k).Label);
    }
  }
  EXPECT_EQ(lf.List(2).Attribute, crlf.List(2).Attribute);
}

TEST(FormLoaderTest, RecordsMaySpreadOverLinesAndShareThem) {
  // The header and panel 1 on one line; the field's items split over three lines.
  const std::string text = CrLf({"1,1,\"1b\",1,0,0,0,0,0,2", "5,Nom", "4,0,0,0,0,0", "\"\"", "0"});
  RecordingTranslator translator;
  Form form;
  FormStatus status = ParseForm(text, "f", translator, form);
  ASSERT_TRUE(status.ok) << status.message;
  EXPECT_EQ(form.Field(1, 1).Label, "Nom");
  EXPECT_THAT(form.Field(1, 1).Attribute, ElementsAre(2, 5, 4, 0, 0, 0, 0, 0));
  EXPECT_EQ(form.ListCount, 0);
}

TEST(FormLoaderTest, UnquotedTextsKeepTheirLeadingBlanksAndTabs) {
  // A form file's text without quotes runs from the comma before it to the next comma or line
  // end as it stands; blanks around numbers and before a quote are still skipped.
  const std::string text = CrLf({"1,3", "\"1b\",3,0,0,0,0,0", " 3 ,  3,  Finca: ,3,0,0,0,1,0,\"\"",
                                 "4,3,\tNom\tcurt ,3,0,0,0,0,0,  \"|A,Alta\"", "5,3,   \"Quoted\",3,0,0,0,0,0,\"\"", "0"});
  RecordingTranslator translator;
  Form form;
  FormStatus status = ParseForm(text, "f", translator, form);
  ASSERT_TRUE(status.ok) << status.message;
  EXPECT_EQ(form.Field(1, 1).Label, "  Finca: ");
  EXPECT_EQ(form.Field(1, 1).Attribute[0], 3);
  EXPECT_EQ(form.Field(1, 1).Attribute[1], 3);
  EXPECT_EQ(form.Field(1, 2).Label, "\tNom\tcurt ");
  EXPECT_EQ(form.Field(1, 2).Choices, "|A,Alta");
  EXPECT_EQ(form.Field(1, 3).Label, "Quoted");
  EXPECT_EQ(translator.calls[0], "  Finca: ");  // translated as written
}

TEST(FormLoaderTest, ApostropheLineInsideARecordIsReadAsItems) {
  // Between the fields of a panel record the line "'Nom" is the next field's items, not a
  // comment: its first item is the row, which is no number.
  const std::string asRow = CrLf({"1,2", "\"1b\",2,0,0,0,0,0", "1,1,A,1,0,0,0,0,0,\"\"", "' not a comment", "0"});
  RecordingTranslator translator;
  Form form;
  FormStatus status = ParseForm(asRow, "F.ZPN", translator, form);
  ASSERT_FALSE(status.ok);
  EXPECT_THAT(status.message, HasSubstr("F.ZPN"));
  EXPECT_THAT(status.message, HasSubstr("line 4"));
  EXPECT_THAT(status.message, HasSubstr("panel 1, field 2, row"));

  // Where a text item is due, the apostrophe line is simply that text.
  const std::string asLabel = CrLf({"1,1", "\"1b\",1,0,0,0,0,0", "1,1", "'Nom,1,0,0,0,0,0,\"\"", "0"});
  status = ParseForm(asLabel, "F.ZPN", translator, form);
  ASSERT_TRUE(status.ok) << status.message;
  EXPECT_EQ(form.Field(1, 1).Label, "'Nom");
}

TEST(FormLoaderTest, CommentAndBlankLinesAreSkippedWhereARecordStarts) {
  const std::string text = CrLf({"   ' indented comment before the header", "", "2,1", "'", "\"1b\",0,0,0,0,0,0",
                                 "  ' between panels", "", "\"1b\",0,0,0,0,0,0", "' before the list count", "2",
                                 "' between lists", "0,0,1,1,5,5,0,A,0", "    ", "' again", "0,0,1,1,5,5,0,B,1"});
  RecordingTranslator translator;
  Form form;
  FormStatus status = ParseForm(text, "f", translator, form);
  ASSERT_TRUE(status.ok) << status.message;
  EXPECT_EQ(form.PanelCount, 2);
  EXPECT_EQ(form.List(1).Title, "A");
  EXPECT_EQ(form.List(2).Title, "B");
  EXPECT_EQ(form.List(2).Attribute[kListNextList], 1);
}

TEST(FormLoaderTest, WidthZeroGivesTheEmptyValue) {
  const std::string text = CrLf({"1,2", "\"1b\",2,0,0,0,0,0", "1,1,A,0,0,0,0,0,0,\"\"", "2,1,B,7,0,0,0,0,0,\"\""});
  RecordingTranslator translator;
  Form form;
  ASSERT_TRUE(ParseForm(text, "f", translator, form).ok);
  EXPECT_EQ(form.Field(1, 1).Value, "");
  EXPECT_EQ(form.Field(1, 2).Value, "       ");
  EXPECT_TRUE(form.Lists.empty());  // the file ended after the panels
}

TEST(FormLoaderTest, ListCountZeroEndsTheFile) {
  const std::string text = CrLf({"1,0", "\"1b\",0,0,0,0,0,0", "0", "this is never read", "\"unclosed"});
  RecordingTranslator translator;
  Form form;
  FormStatus status = ParseForm(text, "f", translator, form);
  ASSERT_TRUE(status.ok) << status.message;
  EXPECT_EQ(form.ListCount, 0);
  EXPECT_EQ(form.Lists.size(), 1u);
  EXPECT_FALSE(form.HasList(1));
}

TEST(FormLoaderTest, FileMayEndAfterTheHeader) {
  RecordingTranslator translator;
  Form form;
  FormStatus status = ParseForm(CrLf({"' only a header", "2,5"}), "f", translator, form);
  ASSERT_TRUE(status.ok) << status.message;
  EXPECT_EQ(form.PanelCount, 2);
  ASSERT_TRUE(form.HasPanel(2));
  EXPECT_EQ(form.Panel(2).FieldCount, 0);
  EXPECT_FALSE(form.HasField(2, 1));
  EXPECT_TRUE(form.Lists.empty());

  status = ParseForm("", "f", translator, form);
  ASSERT_TRUE(status.ok);
  EXPECT_TRUE(form.Panels.empty());
}

TEST(FormLoaderTest, NumbersAreRoundedHalvesToEven) {
  const std::string text = CrLf({"1,1", "\"1b\",1,0,0,0,0,0", " 2.5 , 3.5,A,+4.49,-2.5,-3.5,.5,1.5000001,,\"\""});
  RecordingTranslator translator;
  Form form;
  FormStatus status = ParseForm(text, "f", translator, form);
  ASSERT_TRUE(status.ok) << status.message;
  EXPECT_THAT(form.Field(1, 1).Attribute, ElementsAre(2, 4, 4, -2, -4, 0, 2, 0));
}

struct BadForm {
  const char* name;
  std::string content;
  std::vector<std::string> expected;  // pieces of the message
};

class BadFormTest : public testing::TestWithParam<BadForm> {};

TEST_P(BadFormTest, IsReportedWithFileLineAndItem) {
  const BadForm& c = GetParam();
  RecordingTranslator translator;
  Form form;
  form.PanelCount = 9;  // whatever the form held is dropped
  FormStatus status = ParseForm(c.content, "FORMS/MODCARTA.ZPN", translator, form);
  ASSERT_FALSE(status.ok);
  EXPECT_THAT(status.message, HasSubstr("FORMS/MODCARTA.ZPN"));
  for (const std::string& piece : c.expected) EXPECT_THAT(status.message, HasSubstr(piece));
  EXPECT_TRUE(form.Panels.empty());
  EXPECT_EQ(form.PanelCount, 0);
}

const std::string kPanel = "\"1b\",1,0,0,0,0,0\r\n1,1,A,1,0,0,0,0,0,\"\"\r\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, BadFormTest,
    testing::Values(
        BadForm{"header_cut", "3", {"line 1", "maximum field count", "ends inside"}},
        BadForm{"panel_cut_inside_field", CrLf({"1,1", "\"1b\",1,0,0,0,0,0", "1,1,A,1,0"}),
                {"line 3", "panel 1, field 1", "attribute 4", "ends inside"}},
        BadForm{"ends_between_panels", "2,1\r\n" + kPanel, {"panel 2", "after panel 1 of 2"}},
        BadForm{"ends_between_lists", "1,1\r\n" + kPanel + "2\r\n0,0,1,1,5,5,0,A,0\r\n", {"after list 1 of 2"}},
        BadForm{"list_cut", "1,1\r\n" + kPanel + "1\r\n0,0,1,1,5,5,0,A", {"line 5", "list 1, attribute 7", "ends inside"}},
        BadForm{"number_too_large", CrLf({"1,1", "\"1b\",1,0,0,0,0,0", "1,1,A,40000,0,0,0,0,0,\"\""}),
                {"line 3", "panel 1, field 1, width", "40000", "16 bits"}},
        BadForm{"number_too_small", CrLf({"1,1", "\"1b\",1,0,-32768.6,0,0,0"}), {"line 2", "box top", "16 bits"}},
        BadForm{"huge_number", "99999999999999999999999,1\r\n", {"line 1", "panel count", "16 bits"}},
        BadForm{"not_a_number", "1,x1\r\n", {"line 1", "maximum field count", "\"x1\" is not a number"}},
        BadForm{"sign_only", "1,-\r\n", {"\"-\" is not a number"}},
        BadForm{"two_numbers_in_one_item", "1 2,3\r\n", {"panel count", "not a number"}},
        BadForm{"negative_panel_count", "-1,3\r\n", {"panel count", "negative"}},
        BadForm{"field_count_above_maximum", CrLf({"1,2", "\"1b\",3,0,0,0,0,0"}),
                {"line 2", "panel 1, field count", "maximum of 2"}},
        BadForm{"negative_field_count", CrLf({"1,2", "\"1b\",-1,0,0,0,0,0"}), {"panel 1, field count"}},
        BadForm{"negative_width", CrLf({"1,1", "\"1b\",1,0,0,0,0,0", "1,1,A,-1,0,0,0,0,0,\"\""}),
                {"panel 1, field 1, width", "negative"}},
        BadForm{"linked_panel_missing", CrLf({"2,1", "\"1b\",0,3,0,0,0,0", "\"1b\",0,0,0,0,0,0"}),
                {"line 2", "panel 1, linked panel", "panel 3 does not exist"}},
        BadForm{"linked_panel_loop", CrLf({"3,1", "\"1b\",0,2,0,0,0,0", "\"1b\",0,3,0,0,0,0", "\"1b\",0,2,0,0,0,0"}),
                {"line 4", "panel 3, linked panel", "panel 2 leads back", "loops"}},
        BadForm{"linked_panel_to_itself", CrLf({"1,1", "\"1b\",0,1,0,0,0,0"}), {"line 2", "loops"}},
        BadForm{"field_list_past_count", "1,1\r\n\"1b\",1,0,0,0,0,0\r\n1,1,A,1,0,0,0,0,2,\"\"\r\n1\r\n0,0,1,1,5,5,0,A,0\r\n",
                {"line 3", "panel 1, field 1, attribute 7", "list 2 does not exist"}},
        BadForm{"field_list_without_lists", "1,1\r\n\"1b\",1,0,0,0,0,0\r\n1,1,A,1,0,0,0,0,1,\"\"\r\n",
                {"line 3", "list 1 does not exist"}},
        BadForm{"list_next_list_past_count", "1,1\r\n" + kPanel + "1\r\n0,0,1,1,5,5,0,A\r\n4\r\n",
                {"line 6", "list 1, attribute 7", "list 4 does not exist"}},
        BadForm{"list_panel_past_count", "1,1\r\n" + kPanel + "1\r\n0,0,1,1,5,5,2,A,0\r\n",
                {"line 5", "list 1, attribute 6", "panel 2 does not exist"}},
        BadForm{"negative_list_count", "1,1\r\n" + kPanel + "-2\r\n", {"line 4", "list count", "negative"}}),
    [](const testing::TestParamInfo<BadForm>& info) { return info.param.name; });

TEST(LoadFormTest, ReadsRootFormsModuleZpn) {
  testing_support::TempDir root;
  std::filesystem::create_directory(root / "forms");
  std::ofstream(root / "forms/modcarta.zpn", std::ios::binary) << kCompleteForm;
  EXPECT_EQ(FormPath(root.SystemDir(), "MODCARTA"), root.SystemDir() + "FORMS\\MODCARTA.ZPN");
  RecordingTranslator translator;
  Form form;
  FormStatus status = LoadForm(root.SystemDir(), "MODCARTA", translator, form);
  ASSERT_TRUE(status.ok) << status.message;
  EXPECT_EQ(form.PanelCount, 3);
  EXPECT_EQ(form.List(2).Attribute[kListFile], 507);
}

TEST(LoadFormTest, MissingFileIsReportedByName) {
  testing_support::TempDir root;
  RecordingTranslator translator;
  Form form;
  FormStatus status = LoadForm(root.SystemDir(), "MODCARTA", translator, form);
  ASSERT_FALSE(status.ok);
  EXPECT_THAT(status.message, HasSubstr(root.path() + "/FORMS/MODCARTA.ZPN"));
  EXPECT_THAT(status.message, HasSubstr("missing"));
  EXPECT_TRUE(form.Panels.empty());
}

TEST(LoadFormTest, ReadsTheDemoForm) {
  // The demo installation's form, as written in the source tree (LF line ends, UTF-8 labels).
  const std::string path = std::string(MODCARTA_SOURCE_DIR) + "/demo/install/FORMS/MODCARTA.ZPN";
  std::ifstream in(path, std::ios::binary);
  if (!in) GTEST_SKIP() << "no demo form at " << path;
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  RecordingTranslator translator;
  Form form;
  FormStatus status = ParseForm(content, path, translator, form);
  ASSERT_TRUE(status.ok) << status.message;
  EXPECT_EQ(form.PanelCount, 3);
  EXPECT_EQ(form.Panel(3).FieldCount, 24);
  EXPECT_EQ(form.Field(1, 1).Value.size(), 3u);
  EXPECT_EQ(form.Field(2, 1).Value.size(), 3u);
  EXPECT_EQ(form.ListCount, 2);
}

TEST(FormFieldTest, StoreKeepsTheWidth) {
  FormField field;
  field.Value = "     ";
  field.Store("ab");
  EXPECT_EQ(field.Value, "ab   ");
  field.Store("abcdefg");
  EXPECT_EQ(field.Value, "abcde");
  field.Store("");
  EXPECT_EQ(field.Value, "     ");
  FormField empty;
  empty.Store("x");
  EXPECT_EQ(empty.Value, "");
}

}  // namespace
}  // namespace session
