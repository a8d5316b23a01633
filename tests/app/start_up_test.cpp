// Start-up over damaged or incomplete installations, and a few keys that open and close windows
// over the panels: the program either works or ends with a message, never half-way.
#include <filesystem>

#include <gtest/gtest.h>

#include "installation.h"
#include "tui/console/keys.h"

namespace app_test {
namespace {

using tui::HeadlessControl;
namespace key = tui::key;

class StartUp : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(inst_.ok()) << "demo/make-install failed"; }
  void Remove(const std::string& relative) { std::filesystem::remove(inst_.root() + "/" + relative); }
  Installation inst_;
};

// The display gets the session's language for what it shows on its own (the notice of a
// terminal too small).
TEST_F(StartUp, TheDisplayIsToldTheSessionLanguage) {
  inst_.SetLanguage("GLG");
  std::string told;
  Session run(inst_, {[&](HeadlessControl& c) {
    told = c.Language();
    c.PushKey(key::kEscape);
  }});
  EXPECT_EQ(run.Execute(), 0) << run.Failure();
  EXPECT_EQ(told, "GLG");
}

// A missing record file is created from its description in ddf\ when it is opened.
TEST_F(StartUp, MissingCardFileIsCreatedFromItsDescription) {
  for (const char* part : {"DADES/TranLauV.dat", "DADES/TranLauV.dat-lock"}) Remove(part);
  const std::string k = DepartmentKey(5, 2);
  Session run(inst_, {
      [&](HeadlessControl& c) { c.PushText("5\r"); },
      [&](HeadlessControl& c) { c.PushText("2\r"); },
      [&](HeadlessControl& c) {
        c.PushKey(key::kCtrlY);
        c.PushText("1/2/2026");
        c.PushKey(key::kEnter);
      },
  });
  EXPECT_EQ(run.Execute(), 0) << run.Failure();
  std::optional<std::string> r = inst_.Record("TranLauV", k);
  ASSERT_TRUE(r) << "the card of 5/2 was created in a new file";
  EXPECT_EQ(r->substr(0, 4), k);
}

// A relative ZEDROOT names the root from the directory the program starts in, although the
// program changes into the root: the form, the data and Orba.ini's decimal character are found.
TEST_F(StartUp, ARelativeRootIsTakenFromTheStartDirectory) {
  session::MapEnvironment env = inst_.Environment();
  env.Set("ZEDROOT", "inst/");
  std::string card;
  Session run(env, {
      [&](HeadlessControl& c) { c.PushText("5\r"); },
      [&](HeadlessControl& c) { c.PushText("2\r"); },
      [&](HeadlessControl& c) {
        card = c.Text();
        c.PushKey(key::kEscape);
      },
  });
  run.SetWorkingDirectory(std::filesystem::path(inst_.root()).parent_path().string());
  EXPECT_EQ(run.Execute(), 0) << run.Failure();
  EXPECT_NE(card.find("Baixos, local 3"), std::string::npos) << card;
  EXPECT_NE(card.find("0,00"), std::string::npos) << "the decimal character of the root's Orba.ini:\n" << card;
}

// Without its form, or with a data file that is neither there nor described, the program ends
// with a non-zero status and says why.
TEST_F(StartUp, MissingFormOrDataFileEndsWithAMessage) {
  struct Case {
    const char* what;
    std::vector<std::string> removed;
    const char* named;  // in the failure text printed when the terminal is back
    const char* shown;  // on the screen before the program ends
  } cases[] = {
      {"form", {"FORMS/MODCARTA.ZPN"}, "MODCARTA.ZPN", ""},
      {"property file", {"DADES/FinquesV.dat", "DADES/FinquesV.dat-lock", "ddf/FinquesV.xdf"}, "data file",
       "NO ES POT ACCEDIR AL FITXER"},
  };
  for (const Case& tc : cases) {
    SCOPED_TRACE(tc.what);
    Installation inst;
    ASSERT_TRUE(inst.ok());
    for (const std::string& part : tc.removed) std::filesystem::remove(inst.root() + "/" + part);
    std::string screen;
    Session run(inst, {[&](HeadlessControl& c) {
                  screen = c.Text();
                  c.PushKey(key::kEnter);
                }});
    EXPECT_NE(run.Execute(), 0);
    EXPECT_FALSE(run.Failure().empty());
    EXPECT_NE(run.Failure().find(tc.named), std::string::npos) << run.Failure();
    EXPECT_NE(screen.find(tc.shown), std::string::npos) << screen;
    if (*tc.shown != '\0') {
      EXPECT_NE(screen.find("FinquesV"), std::string::npos) << screen;
    }
    // Paths are shown in the host's form only.
    EXPECT_EQ(screen.find('\\'), std::string::npos) << screen;
    EXPECT_EQ(run.Failure().find('\\'), std::string::npos) << run.Failure();
  }
}

// F1 opens the module's help over panel 3; Escape closes it and the card is on the screen again
// exactly as before.
TEST_F(StartUp, HelpOverTheCardGivesTheScreenBack) {
  std::string before, help, after;
  Session run(inst_, {
      [&](HeadlessControl& c) { c.PushText("5\r"); },
      [&](HeadlessControl& c) { c.PushText("2\r"); },
      [&](HeadlessControl& c) {
        before = c.Text();
        c.PushKey(key::kF1);
      },
      [&](HeadlessControl& c) {
        help = c.Text();
        c.PushKey(key::kEscape);
      },
      [&](HeadlessControl& c) {
        after = c.Text();
        c.PushKey(key::kEscape);
      },
  });
  EXPECT_EQ(run.Execute(), 0) << run.Failure();
  EXPECT_NE(help.find("FITXA DE DEPARTAMENTS"), std::string::npos) << help;
  EXPECT_EQ(after, before);
}

// A code typed with a blank inside is packed as the look-up packs it ("0 5" is property 5), and
// the department list then shows the departments of the property that was found.
TEST_F(StartUp, CodeWithABlankInsideFindsThePropertyAndItsList) {
  std::string panel3;
  Session run(inst_, {
      [&](HeadlessControl& c) { c.PushText("0 5\r"); },
      [&](HeadlessControl& c) { c.PushKey(key::kF4); },
      [&](HeadlessControl& c) {
        c.PushKey(key::kDown);
        c.PushKey(key::kEnter);
      },
      [&](HeadlessControl& c) {
        panel3 = c.Text();
        c.PushKey(key::kEscape);
      },
  });
  EXPECT_EQ(run.Execute(), 0) << run.Failure();
  std::string name = inst_.Record("DepartaV", DepartmentKey(5, 2))->substr(8, 30);
  EXPECT_NE(panel3.find(name), std::string::npos) << "the second department of property 5 is open: " << panel3;
}

}  // namespace
}  // namespace app_test
