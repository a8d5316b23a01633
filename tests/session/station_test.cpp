#include "session/station.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/files.h"
#include "session/start.h"
#include "support/temp_dir.h"

namespace session {
namespace {

StationSettings Anna(const std::string& dir) {
  return {"ANNA P\x90REZ", "SPA", dir, "20261209"};  // É in code page 850
}

// What the station files say must be what the program reads back at start-up.
TEST(StationFiles, AreReadBackByTheStartUp) {
  testing_support::TempDir station;
  ASSERT_EQ(WriteStationFiles(station.path(), Anna(station.path())), "");

  MapEnvironment env;
  env.Set("ZEDTMP", station.path());
  Session s;
  StartSession(env, s);
  EXPECT_EQ(s.Operator, "ANNA P\x90REZ");
  EXPECT_EQ(s.Language, "SPA");
  std::string dir = station.path();
  while (dir.back() == '/') dir.pop_back();
  EXPECT_EQ(s.TerminalDir, dir + "\\");
  EXPECT_EQ(s.MenuName, "MODCARTA");
  EXPECT_EQ(s.WorkDate, std::string("\x94\x9A\x8C\x89", 4));  // 20 26 12 09, base 100 + 128

  const auto sessio = platform::ReadWholeFile(station.path() + "/Sessio.ini");
  ASSERT_TRUE(sessio.has_value());
  EXPECT_NE(sessio->find("Operador=ANNA P\x90REZ\r\n"), std::string::npos);
  EXPECT_EQ(sessio->find("\n\n"), std::string::npos);
}

TEST(StationFiles, WithoutADateTheProgramKeepsItsDefault) {
  testing_support::TempDir station;
  StationSettings settings = Anna(station.path());
  settings.workDate.clear();
  ASSERT_EQ(WriteStationFiles(station.path(), settings), "");
  MapEnvironment env;
  env.Set("ZEDTMP", station.path());
  Session s;
  StartSession(env, s);
  EXPECT_EQ(s.WorkDate, std::string(4, '\x80'));
}

TEST(StationFiles, RefuseWhatTheSettingsFilesCannotHold) {
  testing_support::TempDir station;
  const std::string dir = station.path();
  auto with = [&](auto change) {
    StationSettings s = Anna(dir);
    change(s);
    return WriteStationFiles(dir, s);
  };
  EXPECT_NE(with([](StationSettings& s) { s.language = "ENG"; }), "");
  EXPECT_NE(with([](StationSettings& s) { s.operatorName = ""; }), "");
  EXPECT_NE(with([](StationSettings& s) { s.operatorName = "ANNA;X"; }), "");
  EXPECT_NE(with([](StationSettings& s) { s.operatorName = "ANNA\r\n[Terminal]"; }), "");
  EXPECT_NE(with([](StationSettings& s) { s.workDate = "2026-12-09"; }), "");
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(dir) / "Sessio.ini"));

  const std::string missing = (std::filesystem::path(dir) / "missing").string();
  EXPECT_EQ(WriteStationFiles(missing, Anna(dir)), "cannot write " + missing + "/Sessio.ini");
}

}  // namespace
}  // namespace session
