// modcarta-admin run as a program on installations in a temporary directory, and the three
// programs' answers to --version and --help.
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "build_version.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using testing_support::TempDir;

using testing_support::ReadFile;
using testing_support::Result;
using testing_support::ShellQuoted;
using testing_support::WriteFile;

class AdminCommand : public ::testing::Test {
 protected:
  Result Run(const std::string& program, const std::vector<std::string>& args) {
    return testing_support::RunProgram(dir_.path(), std::string(MODCARTA_BIN_DIR) + "/" + program, args);
  }
  Result Admin(const std::vector<std::string>& args) { return Run("modcarta-admin", args); }

  // The lines of the check's report that mention `what`.
  static int Mentions(const std::string& report, const std::string& what) {
    int n = 0;
    std::istringstream lines(report);
    for (std::string line; std::getline(lines, line);) n += line.find(what) != std::string::npos;
    return n;
  }

  TempDir dir_;
};

TEST_F(AdminCommand, EveryProgramAnswersVersionAndHelpAndRefusesOtherArguments) {
  for (std::string program : {"modcarta", "recman", "modcarta-admin"}) {
    SCOPED_TRACE(program);
    Result version = Run(program, {"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, program + " " + modcarta_build::kVersion + "\n");
    Result help = Run(program, {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage"), std::string::npos) << help.out;
    Result wrong = Run(program, {"--frobnicate"});
    EXPECT_EQ(wrong.status, 2);
    EXPECT_EQ(wrong.out, "");
    EXPECT_NE(wrong.err.find("usage"), std::string::npos) << wrong.err;
  }
  EXPECT_EQ(Run("modcarta", {"--version", "--help"}).status, 2) << "the program takes one answer at most";
}

TEST_F(AdminCommand, InitLaysOutAnInstallationThatChecksClean) {
  std::string root = dir_ / "office";
  Result init = Admin({"init", root, "--demo"});
  ASSERT_EQ(init.status, 0) << init.err;
  Result check = Admin({"check", root});
  EXPECT_EQ(check.status, 0) << check.out;
  EXPECT_EQ(check.out, root + ": no problems found\n");
  for (const char* file : {"Orba.ini", "FORMS/MODCARTA.ZPN", "LOCALE/MODCARTA.LNG", "AJUDA/MODCARTA.HLP",
                           "ddf/TranLauV.xdf", "DADES/TranLauV.dat", "DADES/FinquesV.dat"}) {
    EXPECT_TRUE(fs::is_regular_file(fs::path(root) / file)) << file;
  }
  EXPECT_EQ(ReadFile(root + "/FORMS/MODCARTA.ZPN").find("\xc3"), std::string::npos) << "the form is code page 850";
  // With --demo the sample data is there; without, the files are empty.
  Result demoCount = Run("recman", {"stat", root + "/DADES/FinquesV.dat"});
  EXPECT_EQ(demoCount.out.find("records: 0\n"), std::string::npos) << demoCount.out;
  ASSERT_EQ(Admin({"init", dir_ / "empty"}).status, 0);
  Result emptyCount = Run("recman", {"stat", dir_ / "empty/DADES/FinquesV.dat"});
  EXPECT_NE(emptyCount.out.find("records: 0\n"), std::string::npos) << emptyCount.out;

  Result again = Admin({"init", root});
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.err.find("already holds an installation"), std::string::npos) << again.err;
}

TEST_F(AdminCommand, CheckListsEachProblemAndImportMendsTheTexts) {
  std::string root = dir_ / "office";
  ASSERT_EQ(Admin({"init", root}).status, 0);
  std::string sources = std::string(MODCARTA_SOURCE_DIR) + "/demo/install";
  // What an administrator following only the README did: copied the readable sources in.
  fs::copy_file(sources + "/FORMS/MODCARTA.ZPN", root + "/FORMS/MODCARTA.ZPN", fs::copy_options::overwrite_existing);
  fs::copy_file(sources + "/AJUDA/MODCARTA.txt", root + "/AJUDA/MODCARTA.HLP", fs::copy_options::overwrite_existing);
  fs::permissions(root + "/DADES/TranLauV.dat", fs::perms::group_write, fs::perm_options::remove);
  fs::permissions(root + "/LOCKS", fs::perms::others_write, fs::perm_options::add);
  WriteFile(root + "/DADES/DepartaV.dat", std::string(4096, 'x'));
  fs::remove(root + "/ddf/FinquesV.xdf");

  Result check = Admin({"check", root});
  EXPECT_EQ(check.status, 1);
  EXPECT_EQ(Mentions(check.out, "FORMS/MODCARTA.ZPN: it is UTF-8 text"), 1) << check.out;
  EXPECT_EQ(Mentions(check.out, "AJUDA/MODCARTA.HLP: not a help file"), 1) << check.out;
  EXPECT_EQ(Mentions(check.out, "DADES/TranLauV.dat: the group cannot read and write it; chmod g+rw"), 1) << check.out;
  EXPECT_EQ(Mentions(check.out, "LOCKS: anyone may write it; chmod o-w"), 1) << check.out;
  EXPECT_EQ(Mentions(check.out, "DADES/DepartaV.dat: fails recman verify"), 1) << check.out;
  EXPECT_EQ(Mentions(check.out, "ddf/FinquesV.xdf: missing"), 1) << check.out;
  EXPECT_NE(check.out.find("6 problems found\n"), std::string::npos) << check.out;

  Result import = Admin({"import", sources, root});
  ASSERT_EQ(import.status, 0) << import.err;
  check = Admin({"check", root});
  EXPECT_EQ(Mentions(check.out, "MODCARTA.ZPN"), 0) << check.out;
  EXPECT_EQ(Mentions(check.out, "MODCARTA.HLP"), 0) << check.out;
  EXPECT_NE(check.out.find("4 problems found\n"), std::string::npos) << check.out;
}

TEST_F(AdminCommand, ImportIsAllOrNothingAndExportGivesTheSourcesBack) {
  std::string root = dir_ / "office";
  ASSERT_EQ(Admin({"init", root}).status, 0);
  std::string before = ReadFile(root + "/LOCALE/MODCARTA.LNG");
  std::string sources = dir_ / "sources";
  Result exported = Admin({"export", root, sources});
  ASSERT_EQ(exported.status, 0) << exported.err;
  EXPECT_EQ(ReadFile(sources + "/LOCALE/MODCARTA.LNG"),
            ReadFile(std::string(MODCARTA_SOURCE_DIR) + "/demo/install/LOCALE/MODCARTA.LNG"));

  // An office's own label, and in another source a character code page 850 lacks.
  std::string catalogue = ReadFile(sources + "/LOCALE/MODCARTA.LNG");
  WriteFile(sources + "/LOCALE/MODCARTA.LNG", catalogue + "\"Cobrança\",\"Cobranza\",\"Cobranza\",\"Cobrança\"\n");
  WriteFile(sources + "/AJUDA/EXTRA.txt", "line one\nprice in €\n");
  Result refused = Admin({"import", sources, root});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("EXTRA.txt: line 2, column 10:"), std::string::npos) << refused.err;
  EXPECT_EQ(ReadFile(root + "/LOCALE/MODCARTA.LNG"), before) << "nothing is written when one source fails";
  EXPECT_FALSE(fs::exists(root + "/AJUDA/EXTRA.HLP"));

  WriteFile(sources + "/AJUDA/EXTRA.txt", "line one\nprice in euros\n");
  ASSERT_EQ(Admin({"import", sources, root}).status, 0);
  EXPECT_NE(ReadFile(root + "/LOCALE/MODCARTA.LNG").find("\"Cobran\x87" "a\""), std::string::npos);
  EXPECT_EQ(ReadFile(root + "/AJUDA/EXTRA.HLP").size(), 160u);
  EXPECT_EQ(Admin({"check", root}).status, 0);
}

TEST_F(AdminCommand, InitGivesEverythingToTheGroupWhateverTheUmask) {
  struct group* g = ::getgrnam("users");
  if (!g) GTEST_SKIP() << "no group \"users\" on this machine";
  gid_t gid = g->gr_gid;
  std::string root = dir_ / "office";
  std::string command = "umask 077 && " + ShellQuoted(std::string(MODCARTA_BIN_DIR) + "/modcarta-admin") +
                        " init " + ShellQuoted(root) + " --group users --demo >/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  int seen = 0;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    struct stat info;
    ASSERT_EQ(::stat(entry.path().c_str(), &info), 0);
    SCOPED_TRACE(entry.path().string());
    EXPECT_EQ(info.st_gid, gid);
    EXPECT_EQ(info.st_mode & (S_IRGRP | S_IWGRP), static_cast<mode_t>(S_IRGRP | S_IWGRP));
    EXPECT_EQ(info.st_mode & S_IWOTH, 0u);
    if (entry.is_directory()) {
      EXPECT_NE(info.st_mode & S_ISGID, 0u);
    }
    ++seen;
  }
  EXPECT_GT(seen, 15);
  EXPECT_EQ(Admin({"check", root}).status, 0);
  Result unknown = Admin({"init", dir_ / "other", "--group", "no-such-group-mcadm"});
  EXPECT_EQ(unknown.status, 1);
  EXPECT_NE(unknown.err.find("no group named"), std::string::npos);
}

}  // namespace

namespace {

TEST_F(AdminCommand, StationWritesTheOperatorsPrivateSettingsAndPrintsTheEnvironment) {
  std::string root = dir_ / "office";
  ASSERT_EQ(Admin({"init", root}).status, 0);
  std::string home = dir_ / "home";
  fs::create_directory(home);
  std::string command = "cd " + ShellQuoted(root) + " && umask 022 && HOME=" + ShellQuoted(home) + " " +
                        ShellQuoted(std::string(MODCARTA_BIN_DIR) + "/modcarta-admin") +
                        " station 'Núria' --lang SPA >" + ShellQuoted(dir_ / "env.sh");
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::string station = home + "/.modcarta";
  struct stat info;
  ASSERT_EQ(::stat(station.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  std::string sessio = ReadFile(station + "/Sessio.ini");
  EXPECT_NE(sessio.find("Operador=N\xa3ria\r\n"), std::string::npos) << sessio;
  EXPECT_NE(ReadFile(station + "/OrbaTerm.ini").find("Idioma=SPA\r\n"), std::string::npos);
  std::string env = ReadFile(dir_ / "env.sh");
  EXPECT_NE(env.find("export ZEDROOT='" + root + "/'\n"), std::string::npos) << env;
  EXPECT_NE(env.find("export ZEDTMP='" + station + "/'\n"), std::string::npos) << env;
  EXPECT_NE(env.find("export ZEDEXE='" + std::string(MODCARTA_BIN_DIR) + "/'\n"), std::string::npos) << env;

  Result wrong = Admin({"station", "Pere", "--lang", "FRA", "--dir", dir_ / "pere"});
  EXPECT_EQ(wrong.status, 1);
  EXPECT_NE(wrong.err.find("FRA"), std::string::npos) << wrong.err;
  EXPECT_EQ(Admin({"station", "--lang", "SPA"}).status, 2);
}

}  // namespace
