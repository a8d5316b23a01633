// Several hosts on one machine: a server namespace and two workstation namespaces joined by
// veth pairs on a bridge of the server's, a PostgreSQL server of the test's own listening in
// the server namespace, and an installation whose record files live on that server.
//
//   mctest-srv   bridge mcbr0 10.213.0.1/24, PostgreSQL on 10.213.0.1:5432 (and a Unix socket)
//   mctest-ws1   mcws1 10.213.0.11/24  <->  mcsrv1 on the bridge
//   mctest-ws2   mcws2 10.213.0.12/24  <->  mcsrv2 on the bridge
//
// The server runs as the account mctest_pg (initdb refuses root) from /tmp/mctest-hosts-pg and
// lets in only the test's subnet and its own socket. Everything goes at the end; what a killed
// run left behind goes at the start of the next.
#pragma once

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "tui/console/process.h"

namespace hosts_test {

inline constexpr const char* kServerNamespace = "mctest-srv";
inline constexpr const char* kStationNamespaces[2] = {"mctest-ws1", "mctest-ws2"};
inline constexpr const char* kServerAddress = "10.213.0.1";
inline constexpr const char* kStationAddresses[2] = {"10.213.0.11", "10.213.0.12"};
inline constexpr const char* kAccount = "mctest_pg";
inline constexpr const char* kSuperuser = "mctest";
inline constexpr const char* kServerDir = "/tmp/mctest-hosts-pg";
inline constexpr const char* kPgBin = "/usr/lib/postgresql/15/bin";

inline bool Sh(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// What a command wrote on its standard output (nullopt when it failed).
inline std::optional<std::string> Output(const std::string& command) {
  return tui::RunCaptured({"sh", "-c", command}, {}, 30000);
}

class Lab {
 public:
  // Makes the namespaces, the links and the server; false (with why) when something failed.
  // skip is set when this machine cannot make namespaces at all (not root, no `ip netns`).
  bool Make(std::string& why, bool& skip) {
    Remove();
    made_ = true;
    skip = false;
    auto fail = [&](const std::string& what) {
      why = what;
      return false;
    };
    if (::geteuid() != 0 || !Sh("ip netns add mctest-probe && ip netns del mctest-probe")) {
      skip = true;
      return fail("network namespaces cannot be made here (they need root and `ip netns`)");
    }
    if (::access((std::string(kPgBin) + "/initdb").c_str(), X_OK) != 0) {
      skip = true;
      return fail(std::string("PostgreSQL 15 is not installed (no ") + kPgBin + "/initdb)");
    }
    const std::string srv = kServerNamespace;
    if (!Sh("ip netns add " + srv) || !Sh("ip -n " + srv + " link set lo up") ||
        !Sh("ip -n " + srv + " link add mcbr0 type bridge") ||
        !Sh("ip -n " + srv + " addr add " + kServerAddress + "/24 dev mcbr0") ||
        !Sh("ip -n " + srv + " link set mcbr0 up")) {
      return fail("the server namespace");
    }
    for (int i = 0; i < 2; ++i) {
      const std::string ws = kStationNamespaces[i], n = std::to_string(i + 1);
      if (!Sh("ip netns add " + ws) || !Sh("ip -n " + ws + " link set lo up") ||
          !Sh("ip link add mcsrv" + n + " netns " + srv + " type veth peer name mcws" + n + " netns " + ws) ||
          !Sh("ip -n " + srv + " link set mcsrv" + n + " master mcbr0 up") ||
          !Sh("ip -n " + ws + " addr add " + kStationAddresses[i] + "/24 dev mcws" + n) ||
          !Sh("ip -n " + ws + " link set mcws" + n + " up")) {
        return fail("workstation namespace " + ws);
      }
    }
    const std::string dir = kServerDir;
    if (!Sh(std::string("useradd -r -M -d /nonexistent -s /usr/sbin/nologin ") + kAccount) ||
        !Sh("install -d -m 0700 -o " + std::string(kAccount) + " -g " + kAccount + " " + dir)) {
      return fail("the server's account and folder");
    }
    if (!Sh(AsAccount() + kPgBin + "/initdb -D " + dir + "/data -U " + kSuperuser + " -A trust -E UTF8 --no-sync")) {
      return fail("initdb");
    }
    // Only the test's subnet and the server's own socket get in.
    std::ofstream(dir + "/data/pg_hba.conf") << "local all all trust\nhost all all 10.213.0.0/24 trust\n";
    std::ofstream(dir + "/data/postgresql.conf", std::ios::app)
        << "listen_addresses = '" << kServerAddress << "'\nport = 5432\nunix_socket_directories = '" << dir
        << "'\nfsync = off\nmax_connections = 60\n";
    if (!StartServer()) return fail("pg_ctl start: " + Output("tail -5 " + dir + "/log").value_or(""));
    return true;
  }

  ~Lab() {
    if (made_) Remove();
  }

  // Stops the server and takes everything away (also what an earlier, killed run left).
  static void Remove() {
    Sh(std::string("ip netns exec ") + kServerNamespace + " " + AsAccount() + kPgBin + "/pg_ctl -D " + kServerDir +
       "/data -m immediate -w stop");
    // Anything still running in the test's namespaces was started by the test.
    for (const char* ns : {kServerNamespace, kStationNamespaces[0], kStationNamespaces[1]}) {
      Sh(std::string("ip netns pids ") + ns + " 2>/dev/null | xargs -r kill -9");
      Sh(std::string("ip netns del ") + ns);
    }
    Sh(std::string("rm -rf ") + kServerDir);
    Sh(std::string("userdel ") + kAccount);
  }

  static bool StartServer() {
    return Sh(std::string("ip netns exec ") + kServerNamespace + " " + AsAccount() + kPgBin + "/pg_ctl -D " +
              kServerDir + "/data -l " + kServerDir + "/log -w -t 60 start");
  }
  // A fast stop: the server ends every session (rolling back what was open) and goes.
  static bool StopServer() {
    return Sh(std::string("ip netns exec ") + kServerNamespace + " " + AsAccount() + kPgBin + "/pg_ctl -D " +
              kServerDir + "/data -m fast -w -t 60 stop");
  }

  // One query on the server through its socket, as the superuser: the rows, one a line, the
  // columns split by "|" (nullopt when the query failed).
  static std::optional<std::string> Query(const std::string& sql, const std::string& database = "postgres") {
    return Output(std::string(kPgBin) + "/psql -X -At -h " + kServerDir + " -p 5432 -U " + kSuperuser + " -d " +
                  database + " -c \"" + sql + "\" 2>/dev/null");
  }
  static bool CreateDatabase(const std::string& name) {
    return Query("DROP DATABASE IF EXISTS " + name).has_value() && Query("CREATE DATABASE " + name).has_value();
  }

  // The connection string of a database as the workstations reach it.
  static std::string Conninfo(const std::string& database) {
    return std::string("host=") + kServerAddress + " port=5432 dbname=" + database + " user=" + kSuperuser +
           " connect_timeout=10";
  }
  // The command prefix that runs a program on workstation i (0 or 1).
  static std::string OnStation(int i) { return std::string("ip netns exec ") + kStationNamespaces[i]; }

  // Takes workstation i's link down or up (the server's end stays as it is: the host is cut off).
  static bool SetLink(int i, bool up) {
    return Sh(std::string("ip -n ") + kStationNamespaces[i] + " link set mcws" + std::to_string(i + 1) +
              (up ? " up" : " down"));
  }

  // Advisory locks held on the server by the connections from workstation i.
  static int LocksFrom(int i, const std::string& database) {
    std::optional<std::string> n =
        Query(std::string("SELECT count(*) FROM pg_locks l JOIN pg_stat_activity a ON a.pid = l.pid "
                          "WHERE l.locktype = 'advisory' AND l.granted AND a.client_addr = '") +
              kStationAddresses[i] + "'", database);
    return n ? std::atoi(n->c_str()) : -1;
  }
  // Waits until workstation i holds no advisory lock, at most `seconds`.
  static bool LocksGo(int i, const std::string& database, int seconds) {
    for (int t = 0; t < seconds * 4; ++t) {
      if (LocksFrom(i, database) == 0) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    return false;
  }

 private:
  static std::string AsAccount() { return std::string("runuser -u ") + kAccount + " -- "; }

  bool made_ = false;
};

// A test on the lab: the lab made once per test program (skipped where it cannot be made), and
// a fresh database on the server per test.
class LabTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (lab_ == nullptr) {
      lab_ = new Lab;
      ready_ = lab_->Make(why_, skip_);
    }
  }
  static void TearDownTestSuite() {
    delete lab_;
    lab_ = nullptr;
  }
  void SetUp() override {
    if (skip_) GTEST_SKIP() << why_;
    ASSERT_TRUE(ready_) << "the hosts could not be set up: " << why_;
    database_ = "mctest_db" + std::to_string(++databases_);
    ASSERT_TRUE(Lab::CreateDatabase(database_));
  }

  static inline Lab* lab_ = nullptr;
  static inline bool ready_ = false, skip_ = false;
  static inline std::string why_;
  static inline int databases_ = 0;
  std::string database_;
};

}  // namespace hosts_test
