// The conversions between an installation's texts and their readable sources.
#include <gtest/gtest.h>

#include <string>

#include "tools/admin/texts.h"

namespace {

using namespace admin_tool;

TEST(AdminTexts, SourceBecomesCodePage850WithCrLfAndComesBack) {
  std::string text;
  TextFault fault;
  ASSERT_TRUE(SourceToText("Superfície (m²)\r\nPròrroga\n\nfi", text, fault)) << fault.Describe();
  EXPECT_EQ(text, "Superf\xa1" "cie (m\xfd)\r\nPr\x95rroga\r\n\r\nfi");
  EXPECT_EQ(TextToSource(text), "Superfície (m²)\nPròrroga\n\nfi");
}

TEST(AdminTexts, SourceFaultsNameLineAndColumn) {
  std::string text;
  TextFault fault;
  EXPECT_FALSE(SourceToText("bé\nun €uro", text, fault));
  EXPECT_EQ(fault.line, 2u);
  EXPECT_EQ(fault.column, 4u);
  EXPECT_NE(fault.message.find("code page 850"), std::string::npos) << fault.message;

  EXPECT_FALSE(SourceToText("ok\nok\nab\xe9 Latin-1", text, fault));  // not UTF-8
  EXPECT_EQ(fault.Describe().substr(0, 18), "line 3, column 3: ");
  EXPECT_FALSE(SourceToText("\xc0\xaf", text, fault)) << "an overlong encoding is refused";
  EXPECT_FALSE(SourceToText("\xed\xa0\x80", text, fault)) << "a surrogate is refused";
}

TEST(AdminTexts, HelpLinesBecomeFixedRecordsWithColourBytes) {
  std::string records;
  TextFault fault;
  ASSERT_TRUE(SourceToHelp("  ~hTÍTOL~h\n\nfi ~u~r\n", records, fault)) << fault.Describe();
  ASSERT_EQ(records.size(), 3 * kHelpRecordWidth);
  EXPECT_EQ(records.substr(0, 10), "  \x1eT\xd6TOL\x1e ");
  EXPECT_EQ(records.substr(80, 80), std::string(80, ' '));
  EXPECT_EQ(records.substr(160, 6), "fi \x1f\x10 ");
  std::string source, problem;
  ASSERT_TRUE(HelpToSource(records, source, problem)) << problem;
  EXPECT_EQ(source, "  ~hTÍTOL~h\n\nfi ~u~r\n");

  // 76 visible characters fit, with colour switches on top; 77 do not.
  std::string full(76, 'x');
  EXPECT_TRUE(SourceToHelp("~h" + full + "~h", records, fault)) << fault.Describe();
  EXPECT_FALSE(SourceToHelp("ok\n" + full + "x", records, fault));
  EXPECT_EQ(fault.line, 2u);
  // Switches count towards the 80 bytes of the record.
  EXPECT_FALSE(SourceToHelp(std::string(70, 'x') + "~h~h~h~h~h~h~h~h~h~h~h", records, fault));
}

TEST(AdminTexts, FormatChecksTellUtf8AndTextFromWhatTheProgramReads) {
  EXPECT_EQ(TextFormatFault("Pr\x95rroga\r\n"), "");
  EXPECT_EQ(TextFormatFault("plain ASCII\n"), "");
  EXPECT_NE(TextFormatFault("Pròrroga\n"), "");
  EXPECT_NE(TextFormatFault("\xef\xbb\xbfTitol\n"), "");

  EXPECT_EQ(HelpFormatFault(std::string(160, ' ')), "");
  EXPECT_NE(HelpFormatFault(""), "");
  EXPECT_NE(HelpFormatFault(std::string(79, ' ') + "\n"), "") << "a text file of 80 bytes is no help record";
  EXPECT_NE(HelpFormatFault(std::string(81, ' ')), "");
  std::string source, problem;
  EXPECT_FALSE(HelpToSource("line\n", source, problem));
  EXPECT_FALSE(problem.empty());
}

}  // namespace
