// Helpers for the engine tests: the engine on the store under test, Create buffers built from
// readable descriptions, and a client that wraps one position block.
//
// The suite runs twice: on SQLite files, and with RECMAN_TEST_STORE=server on a PostgreSQL
// server that the test binary starts for itself (once, at the first engine that needs it). On
// the server, files keep the host paths the tests give them (root "/"), so each test's
// temporary folder keeps its files apart from every other test's.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "recman/engine.h"
#include "recman/file_layout.h"
#include "recman/server_place.h"
#include "recman/status.h"
#include "recman/store_place.h"
#include "recman/verify.h"
#include "support/pg_cluster.h"

namespace recman_test {

inline bool OnServer() {
  const char* store = std::getenv("RECMAN_TEST_STORE");
  return store && std::string(store) == "server";
}

// The test binary's server, stopped by the global environment's TearDown.
class ServerEnvironment : public ::testing::Environment {
 public:
  static testing_support::PgCluster& Cluster() {
    if (!cluster()) cluster() = std::make_unique<testing_support::PgCluster>();
    return *cluster();
  }
  // Started before the first test, so that processes the tests fork share it.
  void SetUp() override {
    if (OnServer()) Cluster();
  }
  void TearDown() override { cluster().reset(); }

 private:
  static std::unique_ptr<testing_support::PgCluster>& cluster() {
    static std::unique_ptr<testing_support::PgCluster> c;
    return c;
  }
};
inline ::testing::Environment* const kServerEnvironment = ::testing::AddGlobalTestEnvironment(new ServerEnvironment);

inline recman::ServerOptions TestServerOptions(int busyTimeoutMs = 10000) {
  return recman::ServerOptions{ServerEnvironment::Cluster().conninfo(), "/", busyTimeoutMs};
}

// The place of the store under test.
inline std::unique_ptr<recman::StorePlace> TestPlace(const recman::EngineOptions& options) {
  if (!OnServer()) return recman::LocalFiles(options.busyTimeoutMs);
  std::unique_ptr<recman::StorePlace> place;
  std::string error;
  if (!ServerEnvironment::Cluster().ok()) ADD_FAILURE() << "the test server did not start";
  else if (recman::OpenServerPlace(TestServerOptions(options.busyTimeoutMs), place, error) != 0)
    ADD_FAILURE() << "server place: " << error;
  return place ? std::move(place) : recman::LocalFiles(options.busyTimeoutMs);
}

// An engine on the store under test.
class TestEngine : public recman::Engine {
 public:
  TestEngine() : TestEngine(recman::EngineOptions{}) {}
  explicit TestEngine(recman::EngineOptions options) : recman::Engine(options, TestPlace(options)) {}
};

// VerifyFile on the store under test.
inline bool VerifyTestFile(const std::string& path, std::string& report) {
  if (!OnServer()) return recman::VerifyFile(path, report);
  return recman::VerifyFile(*TestPlace(recman::EngineOptions{}), path, report);
}

// For tests that look at SQLite files on disk themselves.
#define RECMAN_SQLITE_ONLY(why) \
  if (::recman_test::OnServer()) GTEST_SKIP() << "SQLite files only: " << why

struct Seg {
  std::uint16_t position;  // 1-based
  std::uint16_t length;
  std::uint16_t flags = 0;
  std::uint8_t type = 0;  // extended type, used when flags has 0x0100
  std::uint8_t nullByte = 0;
  std::uint8_t collating = 0;
};

inline void PutU16(std::string& s, std::size_t at, std::uint16_t v) {
  s[at] = static_cast<char>(v & 0xFF);
  s[at + 1] = static_cast<char>(v >> 8);
}

// A Create data buffer. keys: each key a list of segments (the 0x10 flag is added between
// segments of one key). collating: tables appended as blocks.
inline std::string CreateBuffer(std::uint16_t recordLength, const std::vector<std::vector<Seg>>& keys,
                                std::uint16_t pageSize = 1024, std::uint16_t fileFlags = 0,
                                const std::vector<std::string>& collating = {}) {
  std::string b(16, '\0');
  PutU16(b, 0, recordLength);
  PutU16(b, 2, pageSize);
  PutU16(b, 4, static_cast<std::uint16_t>(keys.size()));
  PutU16(b, 10, fileFlags);
  for (const auto& key : keys) {
    for (std::size_t i = 0; i < key.size(); ++i) {
      std::string s(16, '\0');
      PutU16(s, 0, key[i].position);
      PutU16(s, 2, key[i].length);
      std::uint16_t flags = key[i].flags;
      if (i + 1 < key.size()) flags |= recman::kKeySegmented;
      PutU16(s, 4, flags);
      s[10] = static_cast<char>(key[i].type);
      s[11] = static_cast<char>(key[i].nullByte);
      s[15] = static_cast<char>(key[i].collating);
      b += s;
    }
  }
  for (const std::string& table : collating) {
    std::string block(265, '\0');
    block[0] = static_cast<char>(0xAC);
    std::memcpy(block.data() + 1, "ALTCOLAT", 8);
    std::memcpy(block.data() + 9, table.data(), std::min<std::size_t>(256, table.size()));
    b += block;
  }
  return b;
}

inline std::string CString(const std::string& s) { return s + std::string(1, '\0'); }

// One open file of an engine: its position block and the plain calls.
class Client {
 public:
  explicit Client(recman::Engine& engine) : engine_(engine) { std::memset(pos_, 0, sizeof pos_); }

  recman::Engine& engine() { return engine_; }
  char* pos() { return pos_; }

  std::int16_t Call(std::uint16_t op, std::string& data, std::uint32_t& length, std::string& key,
                    std::int8_t keyNumber) {
    key.resize(std::max<std::size_t>(key.size(), 256), '\0');
    return engine_.BTRCALL(op, pos_, data.data(), &length, key.data(),
                           static_cast<std::uint8_t>(std::min<std::size_t>(key.size(), 255)), keyNumber);
  }

  std::int16_t Create(const std::string& path, const std::string& description, std::int8_t mode = -1) {
    std::string data = description;
    std::uint32_t len = static_cast<std::uint32_t>(data.size());
    std::string key = CString(path);
    char spare[128] = {};
    return engine_.BTRCALL(recman::kOpCreate, spare, data.data(), &len, key.data(),
                           static_cast<std::uint8_t>(key.size()), mode);
  }

  std::int16_t Open(const std::string& path, std::int8_t mode = 0, const std::string& owner = "") {
    std::string data = owner.empty() ? std::string(5, '\0') : CString(owner);
    std::uint32_t len = static_cast<std::uint32_t>(data.size());
    std::string key = CString(path);
    return engine_.BTRCALL(recman::kOpOpen, pos_, data.data(), &len, key.data(),
                           static_cast<std::uint8_t>(key.size()), mode);
  }

  std::int16_t Close() {
    std::uint32_t len = 0;
    return engine_.BTRCALL(recman::kOpClose, pos_, nullptr, &len, nullptr, 0, 0);
  }

  std::int16_t Insert(const std::string& record, std::int8_t keyNumber = 0) {
    std::string data = record;
    std::uint32_t len = static_cast<std::uint32_t>(data.size());
    std::string key;
    std::int16_t s = Call(recman::kOpInsert, data, len, key, keyNumber);
    lastRecord = data.substr(0, len);
    lastKey = key;
    return s;
  }

  std::int16_t Update(const std::string& record, std::int8_t keyNumber = 0) {
    std::string data = record;
    std::uint32_t len = static_cast<std::uint32_t>(data.size());
    std::string key;
    std::int16_t s = Call(recman::kOpUpdate, data, len, key, keyNumber);
    lastKey = key;
    return s;
  }

  std::int16_t Delete(std::int8_t keyNumber = 0) {
    std::string data(16, '\0');
    std::uint32_t len = 0;
    std::string key;
    return Call(recman::kOpDelete, data, len, key, keyNumber);
  }

  // A read: the record lands in lastRecord, the key buffer in lastKey.
  std::int16_t Get(std::uint16_t op, std::int8_t keyNumber = 0, const std::string& keyIn = "",
                   std::uint32_t room = 2048) {
    std::string data(room, '\0');
    std::uint32_t len = room;
    std::string key = keyIn;
    std::int16_t s = Call(op, data, len, key, keyNumber);
    lastRecord = data.substr(0, len);
    lastKey = key;
    return s;
  }

  std::int16_t Stat(std::string& out, std::uint32_t room = 1536) {
    out.assign(room, '\0');
    std::uint32_t len = room;
    std::string key(255, ' ');
    std::int16_t s = Call(recman::kOpStat, out, len, key, 0);
    out.resize(len);
    return s;
  }

  std::uint32_t Position(std::int16_t* status = nullptr) {
    std::string data(4, '\0');
    std::uint32_t len = 4;
    std::string key;
    std::int16_t s = Call(recman::kOpGetPosition, data, len, key, 0);
    if (status) *status = s;
    if (s != 0) return 0;
    return static_cast<std::uint8_t>(data[0]) | (static_cast<std::uint8_t>(data[1]) << 8) |
           (static_cast<std::uint8_t>(data[2]) << 16) | (static_cast<std::uint32_t>(static_cast<std::uint8_t>(data[3])) << 24);
  }

  std::int16_t Direct(std::uint32_t addr, std::int8_t keyNumber = 0, std::uint16_t bias = 0) {
    std::string data(2048, '\0');
    for (int i = 0; i < 4; ++i) data[i] = static_cast<char>((addr >> (8 * i)) & 0xFF);
    std::uint32_t len = 2048;
    std::string key;
    std::int16_t s = Call(recman::kOpGetDirect + bias, data, len, key, keyNumber);
    lastRecord = data.substr(0, len);
    lastKey = key;
    return s;
  }

  std::string lastRecord;
  std::string lastKey;

 private:
  recman::Engine& engine_;
  char pos_[recman::kPositionBlockSize];
};

// A fixed-length record: text at offset 0 padded with blanks.
inline std::string Rec(const std::string& text, std::size_t length) {
  std::string r = text;
  r.resize(length, ' ');
  return r;
}

}  // namespace recman_test
