// Where a test's record files are: SQLite files on this host, or, when the suite runs with
// RECMAN_TEST_STORE=server, a PostgreSQL server of the test process's own (started on first
// use, stopped and removed when the process ends; forked children use their parent's).
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "recman/engine.h"
#include "recman/server_place.h"
#include "recman/store_place.h"
#include "support/pg_cluster.h"

namespace testing_support {

inline bool RecordFilesOnServer() {
  const char* store = std::getenv("RECMAN_TEST_STORE");
  return store != nullptr && std::string(store) == "server";
}

// The process's server; started by the first caller, which must be the test process itself
// (not a forked child) for the server to outlive the child.
inline PgCluster& TestCluster() {
  static std::unique_ptr<PgCluster> cluster = std::make_unique<PgCluster>();
  return *cluster;
}

// A database of its own on the process's server (one per installation, as in an office), made
// now; its connection string, or "" when it cannot be made.
inline std::string NewTestDatabase() {
  static int made = 0;
  const std::string name = "inst_" + std::to_string(::getpid()) + "_" + std::to_string(++made);
  if (!TestCluster().ok() || TestCluster().Sql({"CREATE DATABASE " + name}) != 0) return "";
  return TestCluster().conninfo(name);
}

// The place of the test's record files. On the server, files are named relative to root (the
// installation root of a test that runs the program; "/" names them by their whole path), in
// the database conninfo names (the server's first one when "").
inline std::unique_ptr<recman::StorePlace> TestPlace(const std::string& root = "/", const std::string& conninfo = "",
                                                     int busyTimeoutMs = 10000) {
  if (!RecordFilesOnServer()) return recman::LocalFiles(busyTimeoutMs);
  std::unique_ptr<recman::StorePlace> place;
  std::string error;
  if (!TestCluster().ok()) {
    ADD_FAILURE() << "the test's PostgreSQL server did not start";
  } else if (recman::OpenServerPlace({conninfo.empty() ? TestCluster().conninfo() : conninfo, root, busyTimeoutMs},
                                      place, error) != 0) {
    ADD_FAILURE() << "the server module: " << error;
  }
  // Without a place every call answers a status, so the test fails where it uses the files.
  return place ? std::move(place) : recman::LocalFiles(busyTimeoutMs);
}

// An engine over the test's place.
class TestEngine : public recman::Engine {
 public:
  explicit TestEngine(const std::string& root = "/", const std::string& conninfo = "")
      : recman::Engine(recman::EngineOptions{}, TestPlace(root, conninfo)) {}
};

}  // namespace testing_support
