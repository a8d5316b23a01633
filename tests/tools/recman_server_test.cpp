// The recman utility on a PostgreSQL server of the test's own: server files named as the
// program names them, copies between this host and the server, verify and backup.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "recman/engine.h"
#include "recman/server_place.h"
#include "recman/status.h"
#include "recman/store_place.h"
#include "support/pg_cluster.h"
#include "support/run_program.h"
#include "support/temp_dir.h"
#include "tools/recman/record_stream.h"

namespace {

using testing_support::Result;
using testing_support::TempDir;
using testing_support::WriteFile;

// 60-byte records; key 0 unique, key 1 an integer with duplicates (so the order among equal
// values shows).
const char* const kLayout = R"({
  "record length": 60,
  "page size": 1024,
  "keys": [
    [ {"position": 1, "length": 4} ],
    [ {"position": 15, "length": 4, "type": "integer", "flags": ["duplicates", "modifiable"]} ]
  ]
})";

std::string Record(const std::string& key, std::int32_t amount) {
  std::string r(60, ' ');
  r.replace(0, 4, (key + "    ").substr(0, 4));
  auto bits = static_cast<std::uint32_t>(amount);
  for (int i = 0; i < 4; ++i) r[14 + i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
  return r;
}

std::string Stream(const std::vector<std::string>& records) {
  std::string s;
  for (const auto& r : records) recman_tool::AppendStreamRecord(s, r);
  return s;
}

class RecmanServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(cluster_.ok()) << "the test's PostgreSQL server did not start";
    root_ = dir_.path() + "/inst";
    std::filesystem::create_directories(root_ + "/ddf");
    std::filesystem::create_directories(root_ + "/DADES");
    std::filesystem::create_directories(dir_.path() + "/elsewhere");
    WriteFile(root_ + "/layout.json", kLayout);
    ASSERT_EQ(Run(root_, {"xdf", "layout.json", "ddf/Dep.xdf"}).status, 0);
  }

  // The utility run in `dir`, with RECMAN_SERVER set when `environmentServer`.
  Result Run(const std::string& dir, const std::vector<std::string>& args, const std::string& stdinBytes = "",
             bool environmentServer = false) {
    std::string program = std::string(MODCARTA_BIN_DIR) + "/recman";
    if (environmentServer) {
      ::setenv("RECMAN_SERVER", cluster_.conninfo().c_str(), 1);
    }
    Result r = testing_support::RunProgram(dir, program, args, stdinBytes);
    ::unsetenv("RECMAN_SERVER");
    return r;
  }
  // With --server and --root given on the command line, run from elsewhere.
  Result OnServer(std::vector<std::string> args, const std::string& stdinBytes = "") {
    args.insert(args.begin(), {"--server", cluster_.conninfo(), "--root", root_});
    return Run(dir_.path() + "/elsewhere", args, stdinBytes);
  }

  // Every record of a file in the order of a key, with its address: through an engine on the
  // server (with the installation's root) or on this host.
  std::vector<std::pair<std::uint32_t, std::string>> Walk(const std::string& hostPath, bool server, int key) {
    std::unique_ptr<recman::StorePlace> place;
    if (server) {
      std::string error;
      EXPECT_EQ(recman::OpenServerPlace({cluster_.conninfo(), root_, 10000}, place, error), 0) << error;
      if (!place) return {};
    } else {
      place = recman::LocalFiles(10000);
    }
    recman::Engine engine(recman::EngineOptions{}, std::move(place));
    char pos[recman::kPositionBlockSize] = {};
    std::string keyBuffer = hostPath;
    keyBuffer.resize(256, '\0');
    std::uint32_t length = 0;
    char owner[8] = {};
    EXPECT_EQ(engine.BTRCALL(recman::kOpOpen, pos, owner, &length, keyBuffer.data(),
                             static_cast<std::uint8_t>(hostPath.size() + 1), 0),
              0)
        << hostPath;
    std::vector<std::pair<std::uint32_t, std::string>> out;
    std::uint16_t op = recman::kOpGetFirst;
    for (;;) {
      std::string data(60, '\0');
      length = 60;
      if (engine.BTRCALL(op, pos, data.data(), &length, keyBuffer.data(), 255, static_cast<std::int8_t>(key)) != 0) {
        break;
      }
      op = recman::kOpGetNext;
      std::uint32_t addr = 0;
      std::uint32_t addrLength = 4;
      EXPECT_EQ(engine.BTRCALL(recman::kOpGetPosition, pos, &addr, &addrLength, keyBuffer.data(), 255, 0), 0);
      out.emplace_back(addr, data);
    }
    engine.BTRCALL(recman::kOpClose, pos, nullptr, &length, keyBuffer.data(), 0, 0);
    return out;
  }

  testing_support::PgCluster cluster_;
  TempDir dir_;
  std::string root_;
};

TEST_F(RecmanServerTest, FilesAreNamedRelativeToTheRootAsTheProgramNamesThem) {
  // Made from another folder with --root, then found from inside the root through
  // RECMAN_SERVER alone: both name the server file DADES/Dep.dat.
  Result made = Run(dir_.path() + "/elsewhere",
                    {"--server", cluster_.conninfo(), "create", "--root", root_, "DADES/Dep.dat", root_ + "/ddf/Dep.xdf"});
  ASSERT_EQ(made.status, 0) << made.err;
  EXPECT_FALSE(std::filesystem::exists(root_ + "/DADES/Dep.dat")) << "nothing is made on this host";
  Result loaded = Run(root_, {"load", "DADES/Dep.dat", "-"}, Stream({Record("B", 7), Record("A", 7)}), true);
  ASSERT_EQ(loaded.status, 0) << loaded.err;
  Result stat = OnServer({"stat", "DADES/Dep.dat"});
  ASSERT_EQ(stat.status, 0) << stat.err;
  EXPECT_NE(stat.out.find("records: 2"), std::string::npos) << stat.out;
  EXPECT_EQ(OnServer({"save", "DADES/Dep.dat", "-"}).out, Stream({Record("A", 7), Record("B", 7)}));
  // The program's own spelling, with the root and backslashes, is the same file.
  EXPECT_EQ(OnServer({"stat", root_ + "/DADES\\Dep.dat"}).status, 0);

  Result again = OnServer({"create", "DADES/Dep.dat", root_ + "/ddf/Dep.xdf"});
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.err.find("already exists"), std::string::npos) << again.err;
  Result missing = OnServer({"stat", "DADES/Other.dat"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("no such record file (status 12"), std::string::npos) << missing.err;
  EXPECT_EQ(Run(root_, {"verify", "DADES/Dep.dat"}, "", true).status, 0);
}

TEST_F(RecmanServerTest, CopyKeepsAddressesAndKeyOrderBothWaysAndRefusesToOverwrite) {
  // A local file with a gap in its addresses and equal key 1 values out of key 0 order.
  ASSERT_EQ(Run(root_, {"create", "DADES/Dep.dat", "ddf/Dep.xdf"}).status, 0);
  ASSERT_EQ(Run(root_, {"load", "DADES/Dep.dat", "-"},
                Stream({Record("C", 5), Record("GONE", 1), Record("A", 5), Record("B", 2), Record("D", 5)}))
                .status,
            0);
  {
    std::unique_ptr<recman::StorePlace> place = recman::LocalFiles(10000);
    recman::Engine engine(recman::EngineOptions{}, std::move(place));
    char pos[recman::kPositionBlockSize] = {};
    std::string path = root_ + "/DADES/Dep.dat";
    std::string key = path;
    key.resize(256, '\0');
    std::uint32_t length = 0;
    char owner[8] = {};
    ASSERT_EQ(engine.BTRCALL(recman::kOpOpen, pos, owner, &length, key.data(), static_cast<std::uint8_t>(path.size() + 1), 0), 0);
    std::string data(60, '\0');
    length = 60;
    std::string gone = "GONE";
    gone.resize(256, '\0');
    ASSERT_EQ(engine.BTRCALL(recman::kOpGetEqual, pos, data.data(), &length, gone.data(), 4, 0), 0);
    ASSERT_EQ(engine.BTRCALL(recman::kOpDelete, pos, data.data(), &length, gone.data(), 4, 0), 0);
    engine.BTRCALL(recman::kOpClose, pos, nullptr, &length, key.data(), 0, 0);
  }
  const std::string local = root_ + "/DADES/Dep.dat";
  const auto byKey0 = Walk(local, false, 0);
  const auto byKey1 = Walk(local, false, 1);
  ASSERT_EQ(byKey0.size(), 4u);

  Result in = Run(root_, {"copy", "local:DADES/Dep.dat", "server:DADES/Dep.dat", "--server", cluster_.conninfo()});
  ASSERT_EQ(in.status, 0) << in.err;
  EXPECT_EQ(in.out, "local:DADES/Dep.dat: copied to server:DADES/Dep.dat and verified\n");
  EXPECT_EQ(Walk(local, true, 0), byKey0);
  EXPECT_EQ(Walk(local, true, 1), byKey1);

  // An existing destination, on either side, only with --replace.
  Result twice = OnServer({"copy", "local:" + local, "DADES/Dep.dat"});
  EXPECT_EQ(twice.status, 1);
  EXPECT_NE(twice.err.find("DADES/Dep.dat: the file already exists; --replace replaces it"), std::string::npos)
      << twice.err;
  Result back = OnServer({"copy", "DADES/Dep.dat", "local:" + local});
  EXPECT_EQ(back.status, 1);
  EXPECT_NE(back.err.find("already exists"), std::string::npos) << back.err;

  // Changed on the server, then copied back over the local file.
  ASSERT_EQ(OnServer({"load", "DADES/Dep.dat", "-"}, Stream({Record("E", 5)})).status, 0);
  const auto serverByKey1 = Walk(local, true, 1);
  Result replaced = OnServer({"copy", "DADES/Dep.dat", "local:" + local, "--replace"});
  ASSERT_EQ(replaced.status, 0) << replaced.err;
  EXPECT_EQ(Walk(local, false, 1), serverByKey1);
  EXPECT_EQ(Walk(local, false, 1).size(), 5u);
  EXPECT_EQ(Run(root_, {"verify", "DADES/Dep.dat"}).status, 0);
  for (const auto& entry : std::filesystem::directory_iterator(root_ + "/DADES")) {
    EXPECT_EQ(entry.path().filename().string().find(".partial-"), std::string::npos) << entry.path();
  }

  // A server side without a server is a mistake on the command line.
  Result noServer = Run(root_, {"copy", "DADES/Dep.dat", "server:DADES/Dep.dat"});
  EXPECT_EQ(noServer.status, 2);
  EXPECT_NE(noServer.err.find("needs --server"), std::string::npos) << noServer.err;
}

TEST_F(RecmanServerTest, BackupOfAServerFileIsAVerifiedLocalCopy) {
  ASSERT_EQ(OnServer({"create", "DADES/Dep.dat", root_ + "/ddf/Dep.xdf"}).status, 0);
  ASSERT_EQ(OnServer({"load", "DADES/Dep.dat", "-"}, Stream({Record("A", 1), Record("B", 1)})).status, 0);
  std::filesystem::create_directories(dir_.path() + "/nightly");
  Result first = OnServer({"backup", "DADES/Dep.dat", dir_.path() + "/nightly"});
  ASSERT_EQ(first.status, 0) << first.err;
  const std::string copy = dir_.path() + "/nightly/Dep.dat";
  EXPECT_EQ(Run(dir_.path(), {"save", copy, "-"}).out, Stream({Record("A", 1), Record("B", 1)}));
  // The next night's copy replaces the older one.
  ASSERT_EQ(OnServer({"load", "DADES/Dep.dat", "-"}, Stream({Record("C", 1)})).status, 0);
  Result second = OnServer({"backup", "DADES/Dep.dat", copy});
  ASSERT_EQ(second.status, 0) << second.err;
  EXPECT_EQ(Walk(copy, false, 1), Walk(root_ + "/DADES/Dep.dat", true, 1));
  EXPECT_EQ(Run(dir_.path(), {"verify", copy}).status, 0);
}

TEST_F(RecmanServerTest, AServerThatCannotBeReachedIsAFailureNamingTheFile) {
  const std::string nowhere = "host=" + dir_.path() + " port=1 dbname=none user=nobody connect_timeout=2";
  Result r = Run(root_, {"--server", nowhere, "stat", "DADES/Dep.dat"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("DADES/Dep.dat: cannot be opened"), std::string::npos) << r.err;
  Result verify = Run(root_, {"--server", nowhere, "verify", "DADES/Dep.dat"});
  EXPECT_EQ(verify.status, 1);
}

TEST_F(RecmanServerTest, AdminCheckVerifiesTheFilesOfAnInstallationOnTheServer) {
  const std::string inst = dir_.path() + "/office";
  const std::string admin = std::string(MODCARTA_BIN_DIR) + "/modcarta-admin";
  ASSERT_EQ(testing_support::RunProgram(dir_.path(), admin, {"init", inst, "--demo"}).status, 0);
  for (const char* file : {"FinquesV", "DepartaV", "TranLauV"}) {
    const std::string name = std::string("DADES/") + file + ".dat";
    Result copied = Run(inst, {"copy", "local:" + name, "server:" + name, "--server", cluster_.conninfo()});
    ASSERT_EQ(copied.status, 0) << copied.err;
    std::filesystem::remove(inst + "/" + name);
  }
  const std::string orba = testing_support::ReadFile(inst + "/Orba.ini");
  WriteFile(inst + "/Orba.ini", orba + "[Dades]\r\nServidor=" + cluster_.conninfo() + "\r\n");
  Result check = testing_support::RunProgram(dir_.path(), admin, {"check", inst});
  EXPECT_EQ(check.status, 0) << check.out << check.err;

  WriteFile(inst + "/Orba.ini",
            orba + "[Dades]\r\nServidor=host=" + dir_.path() + " port=1 dbname=none connect_timeout=2\r\n");
  check = testing_support::RunProgram(dir_.path(), admin, {"check", inst});
  EXPECT_EQ(check.status, 1);
  EXPECT_NE(check.out.find("DADES/TranLauV.dat on the server: cannot be opened"), std::string::npos) << check.out;
}

}  // namespace
