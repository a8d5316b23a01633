#include "session/start.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/temp_dir.h"

namespace session {
namespace {

namespace fs = std::filesystem;

void WriteFile(const std::string& hostPath, const std::string& bytes) {
  std::ofstream(hostPath, std::ios::binary) << bytes;
}

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out += static_cast<char>(v);
  return out;
}

// An environment whose private terminal directory lands inside the test's own directory.
class StartSessionTest : public testing::Test {
 protected:
  StartSessionTest() {
    env_.Set("TMPDIR", scratch_.path());
    env_.SetTerminalName("/dev/pts/7");
  }
  std::string PrivateDir() const {
    return scratch_.path() + "/modcarta-" + std::to_string(::getuid()) + "/pts-7";
  }
  Session Start() {
    Session session;
    session.MenuTitle = "left over";
    StartSession(env_, session);
    return session;
  }

  testing_support::TempDir scratch_;  // stands for /tmp
  testing_support::TempDir station_;  // the terminal's temporary directory (ZEDTMP)
  testing_support::TempDir root_;     // the installation (ZEDROOT)
  MapEnvironment env_;
};

TEST_F(StartSessionTest, NothingSetGivesTheDefaults) {
  Session s = Start();
  EXPECT_EQ(s.RootDir, "");
  EXPECT_EQ(s.ExeDir, "");
  EXPECT_EQ(s.MenuTitle, "  ");
  EXPECT_EQ(s.MenuName, "");
  EXPECT_EQ(s.OperatorType, 0);
  EXPECT_EQ(s.ColourTable, ColoursFromText(kDefaultColours));
  EXPECT_EQ(s.WorkDate, std::string(4, '\x80'));
  EXPECT_EQ(s.OutputSetting, "");
  EXPECT_EQ(s.Language, "   ");
  EXPECT_EQ(s.PlatformMode, "DOS");
  // No terminal directory is configured and TERM is no directory: the private one is made.
  EXPECT_EQ(s.TerminalDir, PrivateDir() + "\\");
  EXPECT_EQ(s.TempDir, s.TerminalDir);
  EXPECT_TRUE(fs::is_directory(PrivateDir()));
}

TEST_F(StartSessionTest, ReadsEverySetting) {
  env_.Set("ZEDROOT", root_.SystemDir());
  env_.Set("ZEDEXE", "C:\\ORBA\\EXE\\");
  env_.Set("ZEDTMP", station_.path());
  WriteFile(station_ / "Sessio.ini",
            "[Menu]\r\nTitol=Fitxa\r\nNomMenu=MODCARTA\r\nMenu=FINQUES\r\nChnMenu=NEXT\r\nOperador=ANNA\r\n"
            "ZedTipOper= 12abc\r\n[Terminal]\r\nDir=" + station_.path() + "\r\n");
  WriteFile(station_ / "OrbaTerm.ini",
            "[Pantalla]\r\nSeleccio=1\r\nCol0=01020304050607080910\r\nCol1=15010701000300071401\r\n"
            "[Sistema]\r\nData=20261209\r\nSortida=PANTALLA\r\nIdioma=SPA\r\n");
  WriteFile(root_ / "Orba.ini", "[Usuari]\r\nIdioma=GLG\r\n");
  Session s = Start();
  EXPECT_EQ(s.RootDir, root_.SystemDir());
  EXPECT_EQ(s.ExeDir, "C:\\ORBA\\EXE\\");
  EXPECT_EQ(s.TempDir, station_.SystemDir());
  EXPECT_EQ(s.TerminalDir, station_.SystemDir());
  EXPECT_EQ(s.MenuTitle, " Fitxa ");
  EXPECT_EQ(s.MenuName, "MODCARTA");
  EXPECT_EQ(s.Menu, "FINQUES");
  EXPECT_EQ(s.ChainMenu, "NEXT");
  EXPECT_EQ(s.Operator, "ANNA");
  EXPECT_EQ(s.OperatorType, 12);
  std::array<ColourPair, 5> expected{{{15, 1}, {7, 1}, {0, 3}, {0, 7}, {14, 1}}};
  EXPECT_EQ(s.ColourTable, expected);
  EXPECT_EQ(s.WorkDate, Bytes({128 + 20, 128 + 26, 128 + 12, 128 + 9}));
  EXPECT_EQ(s.OutputSetting, "PANTALLA");
  EXPECT_EQ(s.Language, "SPA");  // the terminal's language wins over the installation's
  EXPECT_FALSE(fs::exists(PrivateDir()));
}

TEST_F(StartSessionTest, TemporaryDirectoryIsNormalised) {
  struct Case {
    std::string given, expected;
  };
  for (const Case& c : {Case{"", ""}, Case{"A:", "A:"}, Case{"C:\\TMP", "C:\\TMP\\"}, Case{"C:\\TMP\\", "C:\\TMP\\"},
                        Case{"/var/tmp/t1", "/var/tmp/t1\\"}}) {
    EXPECT_EQ(NormaliseDirectory(c.given), c.expected) << c.given;
  }
  env_.Set("ZEDTMP", "A:");
  EXPECT_EQ(Start().TempDir, "A:");
}

TEST_F(StartSessionTest, RelativeTerminalDirWithoutZedtmpBecomesBoth) {
  // Sessio.ini is looked for in the current directory when ZEDTMP is not set.
  fs::path before = fs::current_path();
  fs::current_path(station_.path());
  WriteFile(station_ / "Sessio.ini", "[Terminal]\r\nDir=TERM01\r\n");
  fs::create_directory(station_ / "TERM01");
  WriteFile(station_ / "TERM01/OrbaTerm.ini", "[Sistema]\r\nSortida=IMPRESSORA\r\n");
  Session s = Start();
  fs::current_path(before);
  EXPECT_EQ(s.TerminalDir, "TERM01\\");
  EXPECT_EQ(s.TempDir, "TERM01\\");
  EXPECT_EQ(s.OutputSetting, "IMPRESSORA");  // OrbaTerm.ini is read from the new TempDir
}

TEST_F(StartSessionTest, TermIsTakenOnlyWhenItNamesADirectory) {
  env_.Set("ZEDTMP", station_.path());
  env_.Set("TERM", station_.path() + "/TERM01");
  fs::create_directory(station_ / "TERM01");
  Session s = Start();
  EXPECT_EQ(s.TerminalDir, station_.path() + "/TERM01\\");
  EXPECT_FALSE(fs::exists(PrivateDir()));

  env_.Set("TERM", "xterm-256color");
  s = Start();
  EXPECT_EQ(s.TerminalDir, PrivateDir() + "\\");
  EXPECT_EQ(s.TempDir, station_.SystemDir());  // ZEDTMP still gives the temporary directory
}

TEST_F(StartSessionTest, SelectedColourSchemeWithoutItsKeyUsesTheBuiltInColours) {
  env_.Set("ZEDTMP", station_.path());
  WriteFile(station_ / "OrbaTerm.ini", "[Pantalla]\r\nSeleccio=3\r\nCol0=01020304050607080910\r\n");
  EXPECT_EQ(Start().ColourTable, ColoursFromText(kDefaultColours));
}

TEST_F(StartSessionTest, SelectionValues) {
  env_.Set("ZEDTMP", station_.path());
  struct Case {
    const char* seleccio;
    const char* key;
  };
  for (const Case& c : {Case{"abc", "Col0"}, Case{"", "Col0"}, Case{" 2", "Col2"}, Case{"2.6", "Col3"},
                        Case{"-1", "Col-1"}, Case{"99999", "Col32767"}, Case{"-99999", "Col-32768"}}) {
    WriteFile(station_ / "OrbaTerm.ini",
              std::string("[Pantalla]\r\nSeleccio=") + c.seleccio + "\r\n" + c.key + "=01020304050607080910\r\n");
    std::array<ColourPair, 5> expected{{{1, 2}, {3, 4}, {5, 6}, {7, 8}, {9, 10}}};
    EXPECT_EQ(Start().ColourTable, expected) << c.seleccio;
  }
}

TEST(ColoursFromTextTest, ShortTextLeavesMissingPartsAtZero) {
  std::array<ColourPair, 5> expected{{{15, 0}, {7, 1}, {3, 0}, {0, 0}, {0, 0}}};
  EXPECT_EQ(ColoursFromText("150007013"), expected);
  EXPECT_EQ(ColoursFromText(""), (std::array<ColourPair, 5>{}));
  // Each part is the numeric value of its two characters, whatever they are.
  std::array<ColourPair, 5> odd{{{1, 7}, {-1, 0}, {0, 0}, {0, 0}, {0, 0}}};
  EXPECT_EQ(ColoursFromText("1x 7-1xy"), odd);
}

TEST_F(StartSessionTest, OperatorTypeValues) {
  env_.Set("ZEDTMP", station_.path());
  struct Case {
    const char* text;
    std::int16_t expected;
  };
  for (const Case& c : {Case{"", 0}, Case{"x7", 0}, Case{"  7", 7}, Case{"-3", -3}, Case{"4.5", 4}, Case{"5.5", 6},
                        Case{"70000", 32767}, Case{"-70000", -32768}, Case{"1e9", 1}}) {
    WriteFile(station_ / "Sessio.ini", std::string("[Menu]\r\nZedTipOper=") + c.text + "\r\n");
    EXPECT_EQ(Start().OperatorType, c.expected) << c.text;
  }
}

TEST_F(StartSessionTest, LanguageFallsBackToTheInstallationAndIsFittedToThreeCharacters) {
  env_.Set("ZEDTMP", station_.path());
  env_.Set("ZEDROOT", root_.SystemDir());
  struct Case {
    const char* terminal;  // nullptr: no Idioma key in OrbaTerm.ini
    const char* installation;
    const char* expected;
  };
  for (const Case& c : {Case{nullptr, "GLG", "GLG"}, Case{"   ", "OCI", "OCI"}, Case{"", "SPANISH", "SPA"},
                        Case{"ES", "GLG", "ES "}, Case{"spa", "GLG", "spa"}, Case{nullptr, nullptr, "   "},
                        Case{"CATALA", "GLG", "CAT"}}) {
    WriteFile(station_ / "OrbaTerm.ini",
              c.terminal ? std::string("[Sistema]\r\nIdioma=") + c.terminal + "\r\n" : std::string("[Sistema]\r\n"));
    WriteFile(root_ / "Orba.ini",
              c.installation ? std::string("[Usuari]\r\nIdioma=") + c.installation + "\r\n" : std::string());
    EXPECT_EQ(Start().Language, c.expected) << (c.terminal ? c.terminal : "(none)");
  }
}

TEST_F(StartSessionTest, DataServerComesFromTheInstallationSettings) {
  env_.Set("ZEDROOT", root_.SystemDir());
  EXPECT_EQ(Start().DataServer, "");  // no Orba.ini: files on this host
  WriteFile(root_ / "Orba.ini", "[Usuari]\r\nIdioma=CAT\r\n[Dades]\r\nServidor= host=db.office port=5433 dbname=inst \r\n");
  Session s = Start();
  EXPECT_EQ(s.DataServer, "host=db.office port=5433 dbname=inst");  // everything after the first "="
  EXPECT_EQ(s.Language, "CAT");  // the same file, read once, still gives the language
  WriteFile(root_ / "Orba.ini", "[Dades]\r\nServidor=   \r\n[Usuari]\r\nServidor=host=elsewhere\r\n");
  EXPECT_EQ(Start().DataServer, "");
}

TEST_F(StartSessionTest, WorkDateIsAlwaysFourPackedBytes) {
  env_.Set("ZEDTMP", station_.path());
  struct Case {
    const char* data;
    std::string expected;
  };
  for (const Case& c : {Case{"", std::string(4, '\x80')}, Case{"   ", std::string(4, '\x80')},
                        Case{"20261209", Bytes({148, 154, 140, 137})}, Case{" 20261209 ", Bytes({148, 154, 140, 137})},
                        Case{"261209", Bytes({128, 154, 140, 137})},
                        Case{"0020261209", Bytes({148, 154, 140, 137})}}) {
    WriteFile(station_ / "OrbaTerm.ini", std::string("[Sistema]\r\nData=") + c.data + "\r\n");
    EXPECT_EQ(Start().WorkDate, c.expected) << c.data;
  }
}

TEST(PlatformModeTest, CgiThenWindowsThenDos) {
  struct Case {
    std::map<std::string, std::string, std::less<>> vars;
    const char* expected;
  };
  const Case cases[] = {
      {{}, "DOS"},
      {{{"HTTP_ACCEPT", "text/html"}, {"WINDIR", "C:\\WINDOWS"}}, "CGI"},
      {{{"HTTP_USER_AGENT", "x"}}, "CGI"},
      {{{"HTTP_USER_AGENT", ""}, {"HTTP_ACCEPT", ""}, {"SYSTEMROOT", "C:\\WINNT"}}, "WIN"},
      {{{"WINDIR", "C:\\WINDOWS"}}, "WIN"},
      {{{"WINDIR", ""}, {"SYSTEMROOT", ""}}, "DOS"},
  };
  for (const Case& c : cases) {
    MapEnvironment env(c.vars);
    EXPECT_EQ(PlatformModeOf(env), c.expected);
  }
}

class PrivateTerminalDirectoryTest : public testing::Test {
 protected:
  static unsigned Mode(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
  }
  testing_support::TempDir scratch_;
  MapEnvironment env_;
};

TEST_F(PrivateTerminalDirectoryTest, UsesTheRuntimeDirectoryFirst) {
  env_.Set("XDG_RUNTIME_DIR", scratch_.path() + "/");
  env_.Set("TMPDIR", "/nonexistent");
  env_.SetTerminalName("/dev/pts/12");
  std::string dir = PrivateTerminalDirectory(env_);
  EXPECT_EQ(dir, scratch_.path() + "/modcarta/pts-12");
  EXPECT_EQ(Mode(dir), 0700u);
  EXPECT_EQ(Mode(scratch_.path() + "/modcarta"), 0700u);
}

TEST_F(PrivateTerminalDirectoryTest, FallsBackToTmpdirPerUserAndTerminal) {
  env_.Set("XDG_RUNTIME_DIR", "relative/not/used");
  env_.Set("TMPDIR", scratch_.path());
  std::string base = scratch_.path() + "/modcarta-" + std::to_string(::getuid());
  EXPECT_EQ(PrivateTerminalDirectory(env_), base + "/console");  // no terminal
  env_.SetTerminalName("/dev/tty1");
  EXPECT_EQ(PrivateTerminalDirectory(env_), base + "/tty1");
  env_.SetTerminalName("/dev/../x y");
  EXPECT_EQ(PrivateTerminalDirectory(env_), base + "/__-x_y");
  // An existing directory of ours that others may enter is closed again.
  ::chmod(base.c_str(), 0755);
  EXPECT_EQ(PrivateTerminalDirectory(env_), base + "/__-x_y");
  EXPECT_EQ(Mode(base), 0700u);
}

TEST_F(PrivateTerminalDirectoryTest, RefusesWhatSomeoneElseCouldHavePlanted) {
  env_.Set("TMPDIR", scratch_.path());
  std::string base = scratch_.path() + "/modcarta-" + std::to_string(::getuid());
  testing_support::TempDir elsewhere;
  fs::create_directory_symlink(elsewhere.path(), base);
  EXPECT_EQ(PrivateTerminalDirectory(env_), "");
  EXPECT_TRUE(fs::is_empty(elsewhere.path()));
  fs::remove(base);

  // A directory that belongs to another user.
  fs::create_directory(base);
  env_.SetUserId(static_cast<std::uint32_t>(::getuid()) + 1);
  EXPECT_EQ(PrivateTerminalDirectory(env_), "");
}

TEST_F(StartSessionTest, NoSafePrivateDirectoryLeavesTheTerminalDirectoryEmpty) {
  std::string base = scratch_.path() + "/modcarta-" + std::to_string(::getuid());
  WriteFile(base, "a file where the directory should be");
  Session s = Start();
  EXPECT_EQ(s.TerminalDir, "");
  EXPECT_EQ(s.TempDir, "");
}

}  // namespace
}  // namespace session
