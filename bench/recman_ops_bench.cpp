// The engine's Get Equal, Get Next, Get Previous, Insert, Update and Stat on files of 10,000
// and 1,000,000 records, each beside the same work done with raw SQLite prepared statements on
// a plain table of the same records (key 0 as primary key, key 1 as an index), in the same run.
// The files are built once per run in a temporary directory.
//
// The same calls on the PostgreSQL store (BM_Server_*) on a file of 10,000 records, through a
// server of the run's own (initdb in /tmp, as for the tests) over a loopback TCP connection.
//
// Records: 100 bytes; key 0 the id as 10 digits (unique), key 1 a 4-byte integer id % 1000
// (duplicates).
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "recman/engine.h"
#include "recman/file_layout.h"
#include "recman/key_codec.h"
#include "recman/server_place.h"
#include "recman/sqlite_store.h"
#include "recman/status.h"
#include "recman/store_place.h"
#include "support/pg_cluster.h"

namespace {

using namespace recman;

constexpr std::uint16_t kRecordLength = 100;

std::string KeyOf(std::uint32_t id) {
  char k[16];
  std::snprintf(k, sizeof k, "%010u", id);
  return k;
}

std::string RecordOf(std::uint32_t id) {
  std::string r = KeyOf(id);
  std::int32_t k1 = static_cast<std::int32_t>(id % 1000);
  r.append(reinterpret_cast<const char*>(&k1), 4);
  r.resize(kRecordLength, static_cast<char>('a' + id % 26));
  return r;
}

std::string Description() {
  std::string b(16 + 32, '\0');
  auto put = [&](std::size_t at, std::uint16_t v) {
    b[at] = static_cast<char>(v & 0xFF);
    b[at + 1] = static_cast<char>(v >> 8);
  };
  put(0, kRecordLength);
  put(2, 4096);
  put(4, 2);
  put(16, 1), put(18, 10), put(20, kKeyModifiable);
  put(32, 11), put(34, 4), put(36, kKeyDuplicates | kKeyModifiable | kKeyExtendedType);
  b[32 + 10] = static_cast<char>(KeyType::kInteger);
  return b;
}

void Die(const char* what) {
  std::fprintf(stderr, "benchmark set-up failed: %s\n", what);
  std::exit(1);
}

// The files of one size: the engine's and the raw table's.
struct Files {
  std::string engineFile, rawFile;
  std::uint32_t records = 0;
};

class Workspace {
 public:
  Workspace() {
    char pattern[] = "/tmp/recman-bench-XXXXXX";
    char* made = ::mkdtemp(pattern);
    if (!made) Die("mkdtemp");
    dir_ = made;
  }
  ~Workspace() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  const Files& Get(std::uint32_t records) {
    auto it = files_.find(records);
    if (it != files_.end()) return it->second;
    Files f;
    f.records = records;
    f.engineFile = dir_ + "/engine-" + std::to_string(records) + ".dat";
    f.rawFile = dir_ + "/raw-" + std::to_string(records) + ".db";
    BuildEngineFile(f);
    BuildRawFile(f);
    return files_[records] = f;
  }

 private:
  // Filled through the store in one transaction: the same file the engine's Inserts make,
  // built in seconds instead of minutes.
  static void BuildEngineFile(const Files& f) {
    Engine engine;
    std::string desc = Description(), key = f.engineFile + std::string(1, '\0');
    std::uint32_t len = static_cast<std::uint32_t>(desc.size());
    char pos[kPositionBlockSize] = {};
    if (engine.BTRCALL(kOpCreate, pos, desc.data(), &len, key.data(), static_cast<std::uint8_t>(key.size()), 0) != 0)
      Die("create");
    std::unique_ptr<SqliteStore> store;
    if (SqliteStore::Open(f.engineFile, store) != 0) Die("open store");
    const FileSpec& spec = store->spec();
    if (store->Begin() != 0) Die("begin");
    for (std::uint32_t id = 0; id < f.records; ++id) {
      std::string r = RecordOf(id * 2);  // even ids: odd ones are free for inserts
      RecordKeys keys(spec.keys.size());
      for (std::size_t k = 0; k < spec.keys.size(); ++k) keys[k] = RecordKey(spec, spec.keys[k], r);
      std::uint32_t addr = 0;
      int dup = -1;
      if (store->Insert(r, keys, addr, dup) != 0) Die("insert");
    }
    if (store->Commit() != 0) Die("commit");
  }

  static void BuildRawFile(const Files& f) {
    sqlite3* db = nullptr;
    if (sqlite3_open(f.rawFile.c_str(), &db) != SQLITE_OK) Die("raw open");
    sqlite3_exec(db,
                 "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL;"
                 "CREATE TABLE raw(k BLOB PRIMARY KEY, k1 INTEGER NOT NULL, data BLOB NOT NULL) WITHOUT ROWID;"
                 "CREATE INDEX raw_k1 ON raw(k1); BEGIN;",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO raw VALUES(?1, ?2, ?3)", -1, &s, nullptr);
    for (std::uint32_t id = 0; id < f.records; ++id) {
      std::string r = RecordOf(id * 2), k = KeyOf(id * 2);
      sqlite3_bind_blob(s, 1, k.data(), static_cast<int>(k.size()), SQLITE_TRANSIENT);
      sqlite3_bind_int(s, 2, static_cast<int>((id * 2) % 1000));
      sqlite3_bind_blob(s, 3, r.data(), static_cast<int>(r.size()), SQLITE_TRANSIENT);
      if (sqlite3_step(s) != SQLITE_DONE) Die("raw insert");
      sqlite3_reset(s);
    }
    sqlite3_finalize(s);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
  }

  std::string dir_;
  std::map<std::uint32_t, Files> files_;
};

Workspace& Space() {
  static Workspace space;
  return space;
}

// --- the server ------------------------------------------------------------------------

struct Server {
  testing_support::PgCluster cluster;
  std::map<std::uint32_t, std::string> files;

  std::unique_ptr<StorePlace> Place() {
    std::unique_ptr<StorePlace> place;
    std::string error;
    if (!cluster.ok()) Die("the benchmark's server did not start");
    if (OpenServerPlace(ServerOptions{cluster.tcpConninfo(), "/", 10000}, place, error) != 0) Die(error.c_str());
    return place;
  }

  // A file of the given size, filled through the store in one transaction.
  const std::string& File(std::uint32_t records) {
    auto it = files.find(records);
    if (it != files.end()) return it->second;
    std::string name = "bench/server-" + std::to_string(records) + ".dat";
    auto place = Place();
    FileSpec spec;
    std::string desc = Description();
    if (ParseCreateBuffer(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(desc.data()), desc.size()),
                          spec) != 0 ||
        place->Create(name, spec, true) != 0)
      Die("server create");
    std::unique_ptr<Store> store;
    std::unique_ptr<RecordLocks> locks;
    if (place->Open(name, false, store, locks) != 0 || store->Begin() != 0) Die("server open");
    for (std::uint32_t id = 0; id < records; ++id) {
      std::string r = RecordOf(id * 2);
      RecordKeys keys(spec.keys.size());
      for (std::size_t k = 0; k < spec.keys.size(); ++k) keys[k] = RecordKey(spec, spec.keys[k], r);
      std::uint32_t addr = 0;
      int dup = -1;
      if (store->Insert(r, keys, addr, dup) != 0) Die("server insert");
    }
    if (store->Commit() != 0) Die("server commit");
    return files[records] = name;
  }
};

Server& TheServer() {
  static Server server;
  return server;
}

// Random existing ids, the same sequence for the engine and the raw statements.
std::vector<std::uint32_t> RandomIds(std::uint32_t records) {
  std::mt19937 rng(42);
  std::vector<std::uint32_t> ids(1 << 14);
  for (auto& id : ids) id = (rng() % records) * 2;
  return ids;
}

// --- the engine ------------------------------------------------------------------------

class EngineClient {
 public:
  explicit EngineClient(const std::string& path, std::unique_ptr<StorePlace> place = nullptr)
      : engine_(EngineOptions{}, place ? std::move(place) : LocalFiles(10000)) {
    std::string owner(5, '\0'), key = path + std::string(1, '\0');
    std::uint32_t len = 5;
    if (engine_.BTRCALL(kOpOpen, pos_, owner.data(), &len, key.data(), static_cast<std::uint8_t>(key.size()), 0) != 0)
      Die("engine open");
  }
  std::int16_t Call(std::uint16_t op, std::int8_t keyNumber = 0, std::uint32_t length = sizeof data_) {
    len_ = length;
    return engine_.BTRCALL(op, pos_, data_, &len_, key_, 255, keyNumber);
  }
  char* data() { return data_; }
  char* key() { return key_; }

 private:
  Engine engine_;
  char pos_[kPositionBlockSize] = {};
  char data_[1536] = {};
  char key_[256] = {};
  std::uint32_t len_ = 0;
};

// The file of the benchmark's size, on the store the benchmark names.
struct Target {
  std::unique_ptr<EngineClient> client;
  std::uint32_t records;
};

Target Open(benchmark::State& state, bool server) {
  std::uint32_t records = static_cast<std::uint32_t>(state.range(0));
  if (server) return {std::make_unique<EngineClient>(TheServer().File(records), TheServer().Place()), records};
  return {std::make_unique<EngineClient>(Space().Get(records).engineFile), records};
}

void GetEqual(benchmark::State& state, bool server) {
  Target t = Open(state, server);
  EngineClient& c = *t.client;
  auto ids = RandomIds(t.records);
  std::size_t i = 0;
  for (auto _ : state) {
    std::string k = KeyOf(ids[i++ & (ids.size() - 1)]);
    std::memcpy(c.key(), k.data(), k.size());
    if (c.Call(kOpGetEqual) != 0) state.SkipWithError("get equal failed");
    benchmark::DoNotOptimize(c.data()[0]);
  }
}

void GetNext(benchmark::State& state, bool server) {
  Target t = Open(state, server);
  EngineClient& c = *t.client;
  c.Call(kOpGetFirst);
  for (auto _ : state) {
    if (c.Call(kOpGetNext) != 0) c.Call(kOpGetFirst);  // wrapped around the whole key
    benchmark::DoNotOptimize(c.data()[0]);
  }
}

void BM_Engine_GetEqual(benchmark::State& state) { GetEqual(state, false); }
void BM_Server_GetEqual(benchmark::State& state) { GetEqual(state, true); }
void BM_Engine_GetNext(benchmark::State& state) { GetNext(state, false); }
void BM_Server_GetNext(benchmark::State& state) { GetNext(state, true); }

void BM_Engine_GetPrevious(benchmark::State& state) {
  const Files& f = Space().Get(static_cast<std::uint32_t>(state.range(0)));
  EngineClient c(f.engineFile);
  c.Call(kOpGetLast);
  for (auto _ : state) {
    if (c.Call(kOpGetPrevious) != 0) c.Call(kOpGetLast);
    benchmark::DoNotOptimize(c.data()[0]);
  }
}

void Insert(benchmark::State& state, bool server) {
  Target t = Open(state, server);
  EngineClient& c = *t.client;
  static std::uint32_t nextLocal = 1, nextServer = 1;  // odd ids are free
  std::uint32_t& next = server ? nextServer : nextLocal;
  for (auto _ : state) {
    std::string r = RecordOf(next);
    next += 2;
    std::memcpy(c.data(), r.data(), r.size());
    if (c.Call(kOpInsert, 0, kRecordLength) != 0) state.SkipWithError("insert failed");
  }
  state.SetItemsProcessed(state.iterations());
}

void Update(benchmark::State& state, bool server) {
  Target t = Open(state, server);
  EngineClient& c = *t.client;
  auto ids = RandomIds(t.records);
  std::size_t i = 0;
  for (auto _ : state) {
    std::string k = KeyOf(ids[i++ & (ids.size() - 1)]);
    std::memcpy(c.key(), k.data(), k.size());
    if (c.Call(kOpGetEqual) != 0) state.SkipWithError("get failed");
    c.data()[50] = static_cast<char>(c.data()[50] + 1);
    if (c.Call(kOpUpdate, 0, kRecordLength) != 0) state.SkipWithError("update failed");
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_Engine_Insert(benchmark::State& state) { Insert(state, false); }
void BM_Server_Insert(benchmark::State& state) { Insert(state, true); }
void BM_Engine_Update(benchmark::State& state) { Update(state, false); }
void BM_Server_Update(benchmark::State& state) { Update(state, true); }

void BM_Engine_StatCount(benchmark::State& state) {
  const Files& f = Space().Get(static_cast<std::uint32_t>(state.range(0)));
  EngineClient c(f.engineFile);
  for (auto _ : state) {
    if (c.Call(kOpStat) != 0) state.SkipWithError("stat failed");
    benchmark::DoNotOptimize(c.data()[6]);
  }
}

// --- raw SQLite ------------------------------------------------------------------------

class Raw {
 public:
  explicit Raw(const std::string& path) {
    if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) Die("raw open");
    // The same settings as the engine's connections.
    sqlite3_exec(db_, "PRAGMA synchronous = NORMAL; PRAGMA cache_size = -8192", nullptr, nullptr, nullptr);
  }
  ~Raw() {
    for (auto* s : statements_) sqlite3_finalize(s);
    sqlite3_close(db_);
  }
  sqlite3_stmt* Prepare(const char* sql) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr) != SQLITE_OK) Die(sql);
    statements_.push_back(s);
    return s;
  }
  // Runs a statement with a key bound to ?1; copies the first column (and the second, when
  // there is one) out, as a caller's buffers would receive them.
  bool Seek(sqlite3_stmt* s, const void* key, int keyLen) {
    sqlite3_bind_blob(s, 1, key, keyLen, SQLITE_STATIC);
    bool found = sqlite3_step(s) == SQLITE_ROW;
    if (found) {
      for (int col = 0; col < sqlite3_column_count(s); ++col) {
        const void* p = sqlite3_column_blob(s, col);
        int n = sqlite3_column_bytes(s, col);
        std::memcpy(col == 0 ? buffer_ : key_, p, std::min(n, col == 0 ? 1536 : 255));
      }
    }
    sqlite3_reset(s);
    return found;
  }
  void Exec(sqlite3_stmt* s) {
    sqlite3_step(s);
    sqlite3_reset(s);
  }
  char* buffer() { return buffer_; }
  char* key() { return key_; }

 private:
  sqlite3* db_ = nullptr;
  std::vector<sqlite3_stmt*> statements_;
  char buffer_[1536] = {};
  char key_[256] = {};
};

void BM_Raw_GetEqual(benchmark::State& state) {
  const Files& f = Space().Get(static_cast<std::uint32_t>(state.range(0)));
  Raw raw(f.rawFile);
  sqlite3_stmt* s = raw.Prepare("SELECT data FROM raw WHERE k = ?1");
  auto ids = RandomIds(f.records);
  std::size_t i = 0;
  for (auto _ : state) {
    std::string k = KeyOf(ids[i++ & (ids.size() - 1)]);
    if (!raw.Seek(s, k.data(), static_cast<int>(k.size()))) state.SkipWithError("raw get failed");
    benchmark::DoNotOptimize(raw.buffer()[0]);
  }
}

// Next and Previous as a seek from the key the last call returned, as the call surface works.
void RawWalk(benchmark::State& state, const char* step, const char* first) {
  const Files& f = Space().Get(static_cast<std::uint32_t>(state.range(0)));
  Raw raw(f.rawFile);
  sqlite3_stmt* s = raw.Prepare(step);
  sqlite3_stmt* start = raw.Prepare(first);
  raw.Seek(start, "", 0);
  for (auto _ : state) {
    char key[16];
    std::memcpy(key, raw.key(), 10);
    if (!raw.Seek(s, key, 10)) raw.Seek(start, "", 0);
    benchmark::DoNotOptimize(raw.buffer()[0]);
  }
}

void BM_Raw_GetNext(benchmark::State& state) {
  RawWalk(state, "SELECT data, k FROM raw WHERE k > ?1 ORDER BY k LIMIT 1",
          "SELECT data, k FROM raw ORDER BY k LIMIT 1");
}

void BM_Raw_GetPrevious(benchmark::State& state) {
  RawWalk(state, "SELECT data, k FROM raw WHERE k < ?1 ORDER BY k DESC LIMIT 1",
          "SELECT data, k FROM raw ORDER BY k DESC LIMIT 1");
}

void BM_Raw_Insert(benchmark::State& state) {
  const Files& f = Space().Get(static_cast<std::uint32_t>(state.range(0)));
  Raw raw(f.rawFile);
  sqlite3_stmt* begin = raw.Prepare("BEGIN IMMEDIATE");
  sqlite3_stmt* commit = raw.Prepare("COMMIT");
  sqlite3_stmt* insert = raw.Prepare("INSERT INTO raw VALUES(?1, ?2, ?3)");
  static std::uint32_t next = 1;
  for (auto _ : state) {
    std::string r = RecordOf(next), k = KeyOf(next);
    raw.Exec(begin);
    sqlite3_bind_blob(insert, 1, k.data(), static_cast<int>(k.size()), SQLITE_STATIC);
    sqlite3_bind_int(insert, 2, static_cast<int>(next % 1000));
    sqlite3_bind_blob(insert, 3, r.data(), static_cast<int>(r.size()), SQLITE_STATIC);
    if (sqlite3_step(insert) != SQLITE_DONE) state.SkipWithError("raw insert failed");
    sqlite3_reset(insert);
    raw.Exec(commit);
    next += 2;
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_Raw_Update(benchmark::State& state) {
  const Files& f = Space().Get(static_cast<std::uint32_t>(state.range(0)));
  Raw raw(f.rawFile);
  sqlite3_stmt* get = raw.Prepare("SELECT data FROM raw WHERE k = ?1");
  sqlite3_stmt* begin = raw.Prepare("BEGIN IMMEDIATE");
  sqlite3_stmt* commit = raw.Prepare("COMMIT");
  sqlite3_stmt* update = raw.Prepare("UPDATE raw SET data = ?2 WHERE k = ?1");
  auto ids = RandomIds(f.records);
  std::size_t i = 0;
  for (auto _ : state) {
    std::string k = KeyOf(ids[i++ & (ids.size() - 1)]);
    if (!raw.Seek(get, k.data(), static_cast<int>(k.size()))) state.SkipWithError("raw get failed");
    raw.buffer()[50] = static_cast<char>(raw.buffer()[50] + 1);
    raw.Exec(begin);
    sqlite3_bind_blob(update, 1, k.data(), static_cast<int>(k.size()), SQLITE_STATIC);
    sqlite3_bind_blob(update, 2, raw.buffer(), kRecordLength, SQLITE_STATIC);
    sqlite3_step(update);
    sqlite3_reset(update);
    raw.Exec(commit);
  }
  state.SetItemsProcessed(state.iterations());
}

void Sizes(benchmark::internal::Benchmark* b) { b->Arg(10000)->Arg(1000000)->MinTime(0.5); }
void ServerSizes(benchmark::internal::Benchmark* b) { b->Arg(10000)->MinTime(0.5); }

}  // namespace

BENCHMARK(BM_Engine_GetEqual)->Apply(Sizes);
BENCHMARK(BM_Raw_GetEqual)->Apply(Sizes);
BENCHMARK(BM_Server_GetEqual)->Apply(ServerSizes);
BENCHMARK(BM_Engine_GetNext)->Apply(Sizes);
BENCHMARK(BM_Raw_GetNext)->Apply(Sizes);
BENCHMARK(BM_Server_GetNext)->Apply(ServerSizes);
BENCHMARK(BM_Engine_GetPrevious)->Apply(Sizes);
BENCHMARK(BM_Raw_GetPrevious)->Apply(Sizes);
BENCHMARK(BM_Engine_Insert)->Apply(Sizes);
BENCHMARK(BM_Raw_Insert)->Apply(Sizes);
BENCHMARK(BM_Server_Insert)->Apply(ServerSizes);
BENCHMARK(BM_Engine_Update)->Apply(Sizes);
BENCHMARK(BM_Raw_Update)->Apply(Sizes);
BENCHMARK(BM_Server_Update)->Apply(ServerSizes);
BENCHMARK(BM_Engine_StatCount)->Apply(Sizes);

BENCHMARK_MAIN();
