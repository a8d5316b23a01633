#include "recman/sqlite_store.h"

#include <sqlite3.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <optional>

#include "platform/sharing.h"

namespace recman {
namespace {

// A statement of the store, prepared on its first use and then kept for the life of the store;
// reset after every use. Most of a store's statements are never used in a given run (a program
// that only reads never inserts), and preparing them all at open was most of the cost of
// opening a file. A statement that cannot be prepared answers the preparation's error code
// from Step; its bindings are then ignored.
class Stmt {
 public:
  Stmt() = default;
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;
  ~Stmt() { sqlite3_finalize(s_); }

  void Define(sqlite3* db, std::string sql) {
    db_ = db;
    sql_ = std::move(sql);
  }
  sqlite3_stmt* get() { return Ready() ? s_ : nullptr; }
  void Blob(int i, std::string_view v) {
    if (!Ready()) return;
    // A zero-length blob still has to be a blob, not NULL.
    sqlite3_bind_blob(s_, i, v.empty() ? "" : v.data(), static_cast<int>(v.size()), SQLITE_STATIC);
  }
  void Int(int i, std::int64_t v) {
    if (Ready()) sqlite3_bind_int64(s_, i, v);
  }
  int Step() { return Ready() ? sqlite3_step(s_) : prepareRc_; }
  void Reset() {
    if (!s_) return;
    sqlite3_reset(s_);
    sqlite3_clear_bindings(s_);
  }
  std::int64_t ColInt(int i) const { return sqlite3_column_int64(s_, i); }
  std::string ColBlob(int i) const {
    const void* p = sqlite3_column_blob(s_, i);
    int n = sqlite3_column_bytes(s_, i);
    return p ? std::string(static_cast<const char*>(p), n) : std::string();
  }
  void ColBlobInto(int i, std::string& out) const {
    const void* p = sqlite3_column_blob(s_, i);
    int n = sqlite3_column_bytes(s_, i);
    if (p) out.assign(static_cast<const char*>(p), n);
    else out.clear();
  }

 private:
  bool Ready() {
    if (s_) return true;
    if (!db_) {
      prepareRc_ = SQLITE_MISUSE;
      return false;
    }
    prepareRc_ = sqlite3_prepare_v3(db_, sql_.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &s_, nullptr);
    if (prepareRc_ == SQLITE_OK) return true;
    sqlite3_finalize(s_);
    s_ = nullptr;
    return false;
  }

  sqlite3* db_ = nullptr;
  std::string sql_;
  sqlite3_stmt* s_ = nullptr;
  int prepareRc_ = SQLITE_OK;
};

// Resets the statement when the scope ends, whatever path it takes.
struct ResetOnExit {
  Stmt& s;
  ~ResetOnExit() { s.Reset(); }
};

int Exec(sqlite3* db, const std::string& sql) { return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr); }

std::string KeyTable(int keyIndex) { return "key_" + std::to_string(keyIndex); }

}  // namespace

Status StatusOfSqlite(int rc) {
  switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
      return kStatusOk;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return kStatusFileLocked;
    case SQLITE_FULL:
      return kStatusDiskFull;
    case SQLITE_NOTADB:
      return kStatusNotARecordFile;
    case SQLITE_CONSTRAINT:
      return kStatusDuplicateKey;
    case SQLITE_READONLY:
      return kStatusAccessDenied;
    default:
      return kStatusIoError;
  }
}

struct SqliteStore::Statements {
  struct PerKey {
    Stmt find[8];  // indexed by Seek
    Stmt insert, remove, maxSeq, anyOfValue, updateData;
  };
  std::vector<PerKey> keys;
  Stmt begin, commit, rollback;
  Stmt nextAddress, insertRecord, readRecord, readSeqs, updateRecord, deleteRecord;
  Stmt stepNext, stepPrev, stepFirst, stepLast;
  Stmt addCounter, readCounters;
};

SqliteStore::SqliteStore() : st_(std::make_unique<Statements>()) {}

SqliteStore::~SqliteStore() {
  st_.reset();  // statements first
  if (db_) sqlite3_close(db_);
}

Status SqliteStore::Create(const std::string& hostPath, const FileSpec& spec) {
  // Made empty first with the mode and group of a shared file; SQLite takes an empty file for
  // a new database, and gives its journal and later its -wal and -shm the database's mode.
  int made = platform::OpenCreating(hostPath, O_RDWR | O_CLOEXEC);
  if (made < 0) return kStatusCreateIoError;
  ::close(made);
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(hostPath.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_close(db);
    return kStatusCreateIoError;
  }
  // The file is built under a private name and synced once at the end, so the steps need no
  // syncs of their own.
  std::string sql = "PRAGMA synchronous = OFF; BEGIN; PRAGMA application_id = " + std::to_string(kApplicationId) +
                    "; PRAGMA user_version = " + std::to_string(kSchemaVersion) + ";"
                    " CREATE TABLE recman_meta(name TEXT PRIMARY KEY, value);"
                    " CREATE TABLE recman_counters(id INTEGER PRIMARY KEY, value INTEGER NOT NULL);"
                    " CREATE TABLE records(addr INTEGER PRIMARY KEY, data BLOB NOT NULL,"
                    " seqs BLOB NOT NULL);"
                    " INSERT INTO recman_counters VALUES(-1, 0), (0, 0);";
  for (std::size_t k = 0; k < spec.keys.size(); ++k) {
    sql += " CREATE TABLE " + KeyTable(static_cast<int>(k)) +
           "(k BLOB NOT NULL, seq INTEGER NOT NULL, addr INTEGER NOT NULL" +
           (k == 0 ? ", data BLOB NOT NULL" : "") + ", PRIMARY KEY(k, seq)) WITHOUT ROWID;";
    sql += " INSERT INTO recman_counters VALUES(" + std::to_string(k + 1) + ", 0);";
  }
  rc = Exec(db, sql);
  if (rc == SQLITE_OK) {
    sqlite3_stmt* s = nullptr;
    rc = sqlite3_prepare_v2(db, "INSERT INTO recman_meta VALUES('spec', ?), ('owner', ''), ('owner_mode', 0)", -1, &s, nullptr);
    if (rc == SQLITE_OK) {
      std::string blob = SerializeSpec(spec);
      sqlite3_bind_blob(s, 1, blob.data(), static_cast<int>(blob.size()), SQLITE_TRANSIENT);
      rc = sqlite3_step(s) == SQLITE_DONE ? SQLITE_OK : SQLITE_ERROR;
    }
    sqlite3_finalize(s);
  }
  if (rc == SQLITE_OK) rc = Exec(db, "COMMIT; PRAGMA journal_mode = WAL;");
  int closeRc = sqlite3_close(db);
  if (rc != SQLITE_OK || closeRc != SQLITE_OK) return kStatusCreateIoError;
  int fd = ::open(hostPath.c_str(), O_RDWR | O_CLOEXEC);
  bool synced = fd >= 0 && ::fsync(fd) == 0;
  if (fd >= 0) ::close(fd);
  return synced ? kStatusOk : kStatusCreateIoError;
}

Status SqliteStore::Open(const std::string& hostPath, std::unique_ptr<SqliteStore>& out,
                         int busyTimeoutMs) {
  struct stat info;
  if (::stat(hostPath.c_str(), &info) != 0) return kStatusFileNotFound;
  if (!S_ISREG(info.st_mode)) return kStatusInvalidFileName;
  // A file we may not write is opened read-only by SQLite; the engine then refuses writes.
  const bool writable = ::access(hostPath.c_str(), W_OK) == 0;

  std::unique_ptr<SqliteStore> store(new SqliteStore());
  int flags = (writable ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY) | SQLITE_OPEN_NOMUTEX;
  int rc = sqlite3_open_v2(hostPath.c_str(), &store->db_, flags, nullptr);
  if (rc != SQLITE_OK) return StatusOfSqlite(rc);
  sqlite3_busy_timeout(store->db_, busyTimeoutMs);

  // Identify the file before anything writes to it: an empty or foreign file stays untouched.
  auto pragmaInt = [&](const char* sql, std::int64_t& value) -> Status {
    sqlite3_stmt* s = nullptr;
    int r = sqlite3_prepare_v2(store->db_, sql, -1, &s, nullptr);
    if (r == SQLITE_OK) {
      r = sqlite3_step(s);
      if (r == SQLITE_ROW) {
        value = sqlite3_column_int64(s, 0);
        r = SQLITE_OK;
      }
    }
    sqlite3_finalize(s);
    return r == SQLITE_OK ? kStatusOk : StatusOfSqlite(r);
  };
  std::int64_t appId = 0, version = 0;
  Status status = pragmaInt("PRAGMA application_id", appId);
  if (status == kStatusIoError) status = kStatusNotARecordFile;
  if (status != kStatusOk) return status;
  if (appId != kApplicationId) return kStatusNotARecordFile;
  if ((status = pragmaInt("PRAGMA user_version", version)) != kStatusOk) return status;
  if (version != kSchemaVersion) return kStatusNotARecordFile;

  // A page cache of 8 MB per open file keeps the upper levels of every index in memory.
  Exec(store->db_, "PRAGMA synchronous = NORMAL; PRAGMA cache_size = -8192");
  // The reads above made SQLite's -wal and -shm when no one had the file open. It gives them
  // the database's mode but the creator's own group (outside set-group-id folders), which
  // another operator of the installation's group could not write.
  if (writable) {
    platform::ShareOwnFile(hostPath + "-wal");
    platform::ShareOwnFile(hostPath + "-shm");
  }

  // The description and the owner in one query: the engine asks for the owner right after the
  // open, and is answered from what was read here.
  {
    sqlite3_stmt* s = nullptr;
    rc = sqlite3_prepare_v2(store->db_,
                            "SELECT name, value FROM recman_meta WHERE name IN ('spec', 'owner', 'owner_mode')", -1,
                            &s, nullptr);
    if (rc != SQLITE_OK) {
      sqlite3_finalize(s);
      return (rc & 0xFF) == SQLITE_ERROR ? kStatusNotARecordFile : StatusOfSqlite(rc);
    }
    std::optional<std::vector<std::uint8_t>> spec;
    OwnerAtOpen owner;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
      const std::string which = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
      const auto* p = static_cast<const std::uint8_t*>(sqlite3_column_blob(s, 1));
      const int n = sqlite3_column_bytes(s, 1);
      if (which == "spec") {
        spec.emplace(p, p + n);
      } else if (which == "owner") {
        if (p) owner.name.assign(reinterpret_cast<const char*>(p), n);
      } else {
        owner.mode = sqlite3_column_int(s, 1);
      }
    }
    sqlite3_finalize(s);
    if (rc != SQLITE_DONE) return StatusOfSqlite(rc);
    if (!spec || ParseCreateBuffer(*spec, store->spec_) != kStatusOk) return kStatusNotARecordFile;
    store->ownerAtOpen_ = std::move(owner);
  }
  store->DefineStatements();
  out = std::move(store);
  return kStatusOk;
}

// Gives every statement its text; each is prepared when first used.
void SqliteStore::DefineStatements() {
  auto def = [&](Stmt& s, std::string sql) { s.Define(db_, std::move(sql)); };
  def(st_->begin, "BEGIN IMMEDIATE");
  def(st_->commit, "COMMIT");
  def(st_->rollback, "ROLLBACK");
  def(st_->nextAddress, "SELECT value FROM recman_counters WHERE id = -1");
  def(st_->insertRecord, "INSERT INTO records(addr, data, seqs) VALUES(?1, ?2, ?3)");
  def(st_->readRecord, "SELECT data, seqs FROM records WHERE addr = ?1");
  def(st_->readSeqs, "SELECT seqs FROM records WHERE addr = ?1");
  def(st_->updateRecord, "UPDATE records SET data = ?2, seqs = ?3 WHERE addr = ?1");
  def(st_->deleteRecord, "DELETE FROM records WHERE addr = ?1");
  def(st_->stepNext, "SELECT addr, data FROM records WHERE addr > ?1 ORDER BY addr LIMIT 1");
  def(st_->stepPrev, "SELECT addr, data FROM records WHERE addr < ?1 ORDER BY addr DESC LIMIT 1");
  def(st_->stepFirst, "SELECT addr, data FROM records ORDER BY addr LIMIT 1");
  def(st_->stepLast, "SELECT addr, data FROM records ORDER BY addr DESC LIMIT 1");
  def(st_->addCounter, "UPDATE recman_counters SET value = value + ?2 WHERE id = ?1");
  def(st_->readCounters, "SELECT id, value FROM recman_counters ORDER BY id");
  st_->keys = std::vector<Statements::PerKey>(spec_.keys.size());
  for (std::size_t k = 0; k < spec_.keys.size(); ++k) {
    const std::string t = KeyTable(static_cast<int>(k));
    // Key 0 holds the record itself; the others find it by address.
    const std::string from = k == 0 ? "SELECT k, seq, addr, data FROM " + t + " AS e"
                                    : "SELECT e.k, e.seq, e.addr, r.data FROM " + t +
                                          " AS e CROSS JOIN records AS r ON r.addr = e.addr";
    const std::string up = " ORDER BY e.k, e.seq LIMIT 1";
    const std::string down = " ORDER BY e.k DESC, e.seq DESC LIMIT 1";
    auto& pk = st_->keys[k];
    auto find = [&](Seek seek, std::string sql) { def(pk.find[static_cast<int>(seek)], std::move(sql)); };
    find(Seek::kEqual, from + " WHERE e.k = ?1" + up);
    find(Seek::kGreater, from + " WHERE e.k > ?1" + up);
    find(Seek::kGreaterOrEqual, from + " WHERE e.k >= ?1" + up);
    find(Seek::kLess, from + " WHERE e.k < ?1" + down);
    find(Seek::kFirst, from + up);
    find(Seek::kLast, from + down);
    find(Seek::kAfter, from + " WHERE (e.k, e.seq) > (?1, ?2)" + up);
    find(Seek::kBefore, from + " WHERE (e.k, e.seq) < (?1, ?2)" + down);
    def(pk.insert, k == 0 ? "INSERT INTO " + t + "(k, seq, addr, data) VALUES(?1, ?2, ?3, ?4)"
                          : "INSERT INTO " + t + "(k, seq, addr) VALUES(?1, ?2, ?3)");
    def(pk.remove, "DELETE FROM " + t + " WHERE k = ?1 AND seq = ?2");
    def(pk.maxSeq, "SELECT max(seq) FROM " + t + " WHERE k = ?1");
    def(pk.anyOfValue, "SELECT 1 FROM " + t + " WHERE k = ?1 LIMIT 1");
    if (k == 0) def(pk.updateData, "UPDATE " + t + " SET data = ?3 WHERE k = ?1 AND seq = ?2");
  }
}

Status SqliteStore::Begin() {
  Forget();
  ResetOnExit r{st_->begin};
  return StatusOfSqlite(st_->begin.Step());
}

Status SqliteStore::Commit() {
  Forget();
  ResetOnExit r{st_->commit};
  int rc = st_->commit.Step();
  if (rc != SQLITE_DONE) {
    Rollback();
    return StatusOfSqlite(rc);
  }
  return kStatusOk;
}

void SqliteStore::Rollback() {
  Forget();
  if (sqlite3_get_autocommit(db_)) return;
  ResetOnExit r{st_->rollback};
  st_->rollback.Step();
}

Status SqliteStore::AddToCounter(int id, std::int64_t delta) {
  Stmt& s = st_->addCounter;
  ResetOnExit r{s};
  s.Int(1, id);
  s.Int(2, delta);
  return StatusOfSqlite(s.Step());
}

// The place of a new entry among the equal values of a key: 0 for a unique key, else one
// above the highest so far. newValue tells whether the value is new to the index.
Status SqliteStore::NextSeq(int keyIndex, const std::string& key, std::int64_t& seq, bool& newValue) {
  newValue = true;
  seq = 0;
  if (!spec_.keys[keyIndex].duplicates) return kStatusOk;
  auto& pk = st_->keys[keyIndex];
  ResetOnExit r{pk.maxSeq};
  pk.maxSeq.Blob(1, key);
  int rc = pk.maxSeq.Step();
  if (rc != SQLITE_ROW) return StatusOfSqlite(rc);
  if (sqlite3_column_type(pk.maxSeq.get(), 0) != SQLITE_NULL) {
    seq = pk.maxSeq.ColInt(0) + 1;
    newValue = false;
  } else {
    seq = 1;
  }
  return kStatusOk;
}

// Adds one index entry at its place. 5 for a unique key that already holds the value.
Status SqliteStore::AddEntry(int keyIndex, const std::string& key, std::uint32_t addr,
                             std::string_view data, std::int64_t seq, bool newValue) {
  auto& pk = st_->keys[keyIndex];
  {
    ResetOnExit r{pk.insert};
    pk.insert.Blob(1, key);
    pk.insert.Int(2, seq);
    pk.insert.Int(3, addr);
    if (keyIndex == 0) pk.insert.Blob(4, data);
    int rc = pk.insert.Step();
    if (rc != SQLITE_DONE) return StatusOfSqlite(rc);
  }
  return newValue ? AddToCounter(keyIndex + 1, 1) : kStatusOk;
}

Status SqliteStore::RemoveEntry(int keyIndex, const std::string& key, std::int64_t seq) {
  auto& pk = st_->keys[keyIndex];
  {
    ResetOnExit r{pk.remove};
    pk.remove.Blob(1, key);
    pk.remove.Int(2, seq);
    int rc = pk.remove.Step();
    if (rc != SQLITE_DONE) return StatusOfSqlite(rc);
  }
  if (spec_.keys[keyIndex].duplicates) {
    ResetOnExit r{pk.anyOfValue};
    pk.anyOfValue.Blob(1, key);
    int rc = pk.anyOfValue.Step();
    if (rc == SQLITE_ROW) return kStatusOk;  // others of the value remain
    if (rc != SQLITE_DONE) return StatusOfSqlite(rc);
  }
  return AddToCounter(keyIndex + 1, -1);
}

Status SqliteStore::ReadSeqs(std::uint32_t addr, std::string& seqs) {
  if (cachedAddr_ == addr) {
    seqs = cachedSeqs_;
    return kStatusOk;
  }
  Stmt& s = st_->readSeqs;
  ResetOnExit r{s};
  s.Int(1, addr);
  int rc = s.Step();
  if (rc == SQLITE_DONE) return kStatusInvalidRecordAddress;
  if (rc != SQLITE_ROW) return StatusOfSqlite(rc);
  seqs = s.ColBlob(0);
  return kStatusOk;
}

Status SqliteStore::Insert(std::string_view data, const RecordKeys& keys, std::uint32_t& addr,
                           int& duplicateKey) {
  std::vector<std::int64_t> seqs(keys.size(), -1);
  std::vector<char> newValues(keys.size(), 0);
  for (std::size_t k = 0; k < keys.size(); ++k) {
    if (!keys[k]) continue;
    bool newValue = true;
    Status status = NextSeq(static_cast<int>(k), *keys[k], seqs[k], newValue);
    if (status != kStatusOk) return status;
    newValues[k] = newValue;
  }
  {
    Stmt& s = st_->nextAddress;
    ResetOnExit r{s};
    int rc = s.Step();
    if (rc != SQLITE_ROW) return rc == SQLITE_DONE ? kStatusIoError : StatusOfSqlite(rc);
    std::int64_t next = s.ColInt(0) + 1;
    if (next <= 0 || next > 0xFFFFFFFFll) return kStatusDiskFull;  // addresses are 4 bytes
    addr = static_cast<std::uint32_t>(next);
  }
  Status counted = AddToCounter(-1, 1);
  if (counted == kStatusOk) counted = AddToCounter(0, 1);
  if (counted != kStatusOk) return counted;
  {
    Stmt& s = st_->insertRecord;
    ResetOnExit r{s};
    s.Int(1, addr);
    s.Blob(2, data);
    std::string packed = PutSeqs(seqs);
    s.Blob(3, packed);
    int rc = s.Step();
    if (rc != SQLITE_DONE) return StatusOfSqlite(rc);
    Remember(addr, std::move(packed));
  }
  for (std::size_t k = 0; k < keys.size(); ++k) {
    if (!keys[k]) continue;
    Status status = AddEntry(static_cast<int>(k), *keys[k], addr, data, seqs[k], newValues[k]);
    if (status != kStatusOk) {
      duplicateKey = static_cast<int>(k);
      return status;
    }
  }
  return kStatusOk;
}

Status SqliteStore::Update(std::uint32_t addr, std::string_view data, const RecordKeys& oldKeys,
                           const RecordKeys& newKeys, int& duplicateKey) {
  std::string packed;
  Status status = ReadSeqs(addr, packed);
  if (status != kStatusOk) return status;
  std::vector<std::int64_t> seqs(spec_.keys.size());
  for (std::size_t k = 0; k < seqs.size(); ++k) seqs[k] = GetSeq(packed, k);
  for (std::size_t k = 0; k < spec_.keys.size(); ++k) {
    int ki = static_cast<int>(k);
    if (oldKeys[k] == newKeys[k]) {
      if (k == 0 && newKeys[0]) {
        auto& s = st_->keys[0].updateData;
        ResetOnExit r{s};
        s.Blob(1, *newKeys[0]);
        s.Int(2, seqs[0]);
        s.Blob(3, data);
        int rc = s.Step();
        if (rc != SQLITE_DONE) return StatusOfSqlite(rc);
      }
      continue;
    }
    if (oldKeys[k] && (status = RemoveEntry(ki, *oldKeys[k], seqs[k])) != kStatusOk) return status;
    seqs[k] = -1;
    if (!newKeys[k]) continue;
    bool newValue = true;
    if ((status = NextSeq(ki, *newKeys[k], seqs[k], newValue)) != kStatusOk) return status;
    if ((status = AddEntry(ki, *newKeys[k], addr, data, seqs[k], newValue)) != kStatusOk) {
      duplicateKey = ki;
      return status;
    }
  }
  Stmt& s = st_->updateRecord;
  ResetOnExit r{s};
  s.Int(1, addr);
  s.Blob(2, data);
  packed = PutSeqs(seqs);
  s.Blob(3, packed);
  int rc = s.Step();
  if (rc != SQLITE_DONE) return StatusOfSqlite(rc);
  Remember(addr, std::move(packed));
  return kStatusOk;
}

Status SqliteStore::Delete(std::uint32_t addr, const RecordKeys& keys) {
  std::string packed;
  Status status = ReadSeqs(addr, packed);
  if (status != kStatusOk) return status;
  for (std::size_t k = 0; k < keys.size(); ++k) {
    if (!keys[k]) continue;
    if ((status = RemoveEntry(static_cast<int>(k), *keys[k], GetSeq(packed, k))) != kStatusOk) return status;
  }
  {
    Forget();
    Stmt& s = st_->deleteRecord;
    ResetOnExit r{s};
    s.Int(1, addr);
    int rc = s.Step();
    if (rc != SQLITE_DONE) return StatusOfSqlite(rc);
  }
  return AddToCounter(0, -1);
}

Status SqliteStore::Read(std::uint32_t addr, std::string& data) {
  Stmt& s = st_->readRecord;
  ResetOnExit r{s};
  s.Int(1, addr);
  int rc = s.Step();
  if (rc == SQLITE_DONE) return kStatusInvalidRecordAddress;
  if (rc != SQLITE_ROW) return StatusOfSqlite(rc);
  s.ColBlobInto(0, data);
  if (!sqlite3_get_autocommit(db_)) Remember(addr, s.ColBlob(1));
  return kStatusOk;
}

// Inside a write transaction nobody else changes the file, so the places of the record last
// read or written can be kept for the next call on it (Update after Read, EntryOf after
// Insert). Outside one, they are always read afresh.
void SqliteStore::Remember(std::uint32_t addr, std::string seqs) {
  if (sqlite3_get_autocommit(db_)) return;
  cachedAddr_ = addr;
  cachedSeqs_ = std::move(seqs);
}

void SqliteStore::Forget() { cachedAddr_ = 0; }

Status SqliteStore::EntryOf(int keyIndex, std::uint32_t addr, std::string_view storedKey, IndexEntry& entry) {
  std::string packed;
  Status status = ReadSeqs(addr, packed);
  if (status != kStatusOk) return status;
  return EntryFromSeqs(packed, keyIndex, storedKey, addr, entry);
}

Status SqliteStore::Find(int keyIndex, Seek how, std::string_view key, std::int64_t seq,
                         IndexEntry& entry, std::string* data) {
  Stmt& s = st_->keys[keyIndex].find[static_cast<int>(how)];
  ResetOnExit r{s};
  if (how != Seek::kFirst && how != Seek::kLast) s.Blob(1, key);
  if (how == Seek::kAfter || how == Seek::kBefore) s.Int(2, seq);
  int rc = s.Step();
  if (rc == SQLITE_DONE) return how == Seek::kEqual ? kStatusKeyNotFound : kStatusEndOfFile;
  if (rc != SQLITE_ROW) return StatusOfSqlite(rc);
  s.ColBlobInto(0, entry.key);
  entry.seq = s.ColInt(1);
  entry.addr = static_cast<std::uint32_t>(s.ColInt(2));
  if (data) s.ColBlobInto(3, *data);
  return kStatusOk;
}

Status SqliteStore::Step(Seek how, std::uint32_t from, std::uint32_t& addr, std::string& data) {
  Stmt* s = nullptr;
  switch (how) {
    case Seek::kFirst: s = &st_->stepFirst; break;
    case Seek::kLast: s = &st_->stepLast; break;
    case Seek::kAfter: s = &st_->stepNext; break;
    case Seek::kBefore: s = &st_->stepPrev; break;
    default: return kStatusInvalidOperation;
  }
  ResetOnExit r{*s};
  if (how == Seek::kAfter || how == Seek::kBefore) s->Int(1, from);
  int rc = s->Step();
  if (rc == SQLITE_DONE) return kStatusEndOfFile;
  if (rc != SQLITE_ROW) return StatusOfSqlite(rc);
  addr = static_cast<std::uint32_t>(s->ColInt(0));
  s->ColBlobInto(1, data);
  return kStatusOk;
}

Status SqliteStore::Counts(std::uint32_t& records, std::vector<std::uint32_t>& distinct) {
  Stmt& s = st_->readCounters;
  ResetOnExit r{s};
  distinct.assign(spec_.keys.size(), 0);
  records = 0;
  int rc;
  while ((rc = s.Step()) == SQLITE_ROW) {
    std::int64_t id = s.ColInt(0), value = s.ColInt(1);
    std::uint32_t v = value < 0 ? 0 : static_cast<std::uint32_t>(value);
    if (id == 0) records = v;
    else if (id >= 1 && id - 1 < static_cast<std::int64_t>(distinct.size())) distinct[id - 1] = v;
  }
  return rc == SQLITE_DONE ? kStatusOk : StatusOfSqlite(rc);
}

Status SqliteStore::Owner(std::string& name, int& mode) {
  if (ownerAtOpen_) {
    name = std::move(ownerAtOpen_->name);
    mode = ownerAtOpen_->mode;
    ownerAtOpen_.reset();
    return kStatusOk;
  }
  sqlite3_stmt* s = nullptr;
  int rc = sqlite3_prepare_v2(db_, "SELECT name, value FROM recman_meta WHERE name IN ('owner', 'owner_mode')", -1, &s, nullptr);
  name.clear();
  mode = 0;
  while (rc == SQLITE_OK && (rc = sqlite3_step(s)) == SQLITE_ROW) {
    std::string which = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
    if (which == "owner") {
      const void* p = sqlite3_column_blob(s, 1);
      if (p) name.assign(static_cast<const char*>(p), sqlite3_column_bytes(s, 1));
    } else {
      mode = sqlite3_column_int(s, 1);
    }
    rc = SQLITE_OK;
  }
  sqlite3_finalize(s);
  return rc == SQLITE_DONE || rc == SQLITE_OK ? kStatusOk : StatusOfSqlite(rc);
}

Status SqliteStore::SetOwner(std::string_view name, int mode) {
  sqlite3_stmt* s = nullptr;
  int rc = sqlite3_prepare_v2(db_, "INSERT OR REPLACE INTO recman_meta VALUES('owner', ?1), ('owner_mode', ?2)", -1, &s, nullptr);
  if (rc == SQLITE_OK) {
    sqlite3_bind_blob(s, 1, name.empty() ? "" : name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int(s, 2, mode);
    rc = sqlite3_step(s);
  }
  sqlite3_finalize(s);
  return rc == SQLITE_DONE ? kStatusOk : StatusOfSqlite(rc);
}

Status SqliteStore::BeginRead() {
  Forget();
  // A deferred transaction takes its snapshot at its first read, so read once at once.
  int rc = sqlite3_exec(db_, "BEGIN; SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    Status status = StatusOfSqlite(rc);
    Rollback();
    return status;
  }
  return kStatusOk;
}

void SqliteStore::EndRead() { Rollback(); }

bool SqliteStore::CheckIntegrity(std::string& report) {
  sqlite3_stmt* s = nullptr;
  int rc = sqlite3_prepare_v2(db_, "PRAGMA integrity_check", -1, &s, nullptr);
  bool ok = rc == SQLITE_OK;
  while (ok && (rc = sqlite3_step(s)) == SQLITE_ROW) {
    const char* line = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
    if (line && std::strcmp(line, "ok") != 0) {
      report += std::string("database: ") + line + "\n";
      ok = false;
    }
  }
  if (rc != SQLITE_DONE && rc != SQLITE_ROW) {
    report += std::string("database: ") + sqlite3_errmsg(db_) + "\n";
    ok = false;
  }
  sqlite3_finalize(s);
  // Key 0 keeps a copy of each record; it must agree with the record.
  s = nullptr;
  rc = sqlite3_prepare_v2(db_, "SELECT e.addr FROM key_0 AS e LEFT JOIN records AS r ON r.addr = e.addr"
                               " WHERE r.data IS NULL OR r.data != e.data", -1, &s, nullptr);
  while (rc == SQLITE_OK && (rc = sqlite3_step(s)) == SQLITE_ROW) {
    report += "key 0: copy of record " + std::to_string(sqlite3_column_int64(s, 0)) + " differs\n";
    ok = false;
    rc = SQLITE_OK;
  }
  if (rc != SQLITE_DONE && rc != SQLITE_OK) {
    report += std::string("database: ") + sqlite3_errmsg(db_) + "\n";
    ok = false;
  }
  sqlite3_finalize(s);
  return ok;
}

Status SqliteStore::Restore(std::uint32_t addr, std::string_view data, const RecordKeys& keys,
                            const std::vector<std::int64_t>& seqs, int& duplicateKey) {
  std::vector<std::int64_t> places(keys.size(), -1);
  for (std::size_t k = 0; k < keys.size(); ++k) {
    if (!keys[k]) continue;
    places[k] = k < seqs.size() && seqs[k] >= 0 ? seqs[k] : 0;
    bool newValue = true;
    if (spec_.keys[k].duplicates) {
      auto& pk = st_->keys[k];
      ResetOnExit r{pk.anyOfValue};
      pk.anyOfValue.Blob(1, *keys[k]);
      int rc = pk.anyOfValue.Step();
      if (rc != SQLITE_ROW && rc != SQLITE_DONE) return StatusOfSqlite(rc);
      newValue = rc == SQLITE_DONE;
    }
    Status status = AddEntry(static_cast<int>(k), *keys[k], addr, data, places[k], newValue);
    if (status != kStatusOk) {
      duplicateKey = static_cast<int>(k);
      return status;
    }
  }
  Stmt& s = st_->insertRecord;
  ResetOnExit r{s};
  s.Int(1, addr);
  s.Blob(2, data);
  std::string packed = PutSeqs(places);
  s.Blob(3, packed);
  int rc = s.Step();
  if (rc != SQLITE_DONE) return StatusOfSqlite(rc);
  Status status = AddToCounter(0, 1);
  if (status != kStatusOk) return status;
  std::uint32_t last = 0;
  if ((status = LastAddress(last)) != kStatusOk) return status;
  return addr > last ? SetLastAddress(addr) : kStatusOk;
}

Status SqliteStore::LastAddress(std::uint32_t& addr) {
  sqlite3_stmt* s = nullptr;
  int rc = sqlite3_prepare_v2(db_, "SELECT value FROM recman_counters WHERE id = -1", -1, &s, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_step(s);
  if (rc == SQLITE_ROW) addr = static_cast<std::uint32_t>(sqlite3_column_int64(s, 0));
  sqlite3_finalize(s);
  return rc == SQLITE_ROW ? kStatusOk : rc == SQLITE_DONE ? kStatusIoError : StatusOfSqlite(rc);
}

Status SqliteStore::SetLastAddress(std::uint32_t addr) {
  sqlite3_stmt* s = nullptr;
  int rc = sqlite3_prepare_v2(db_,
                              "UPDATE recman_counters SET value = max(?1, (SELECT coalesce(max(addr), 0) FROM records))"
                              " WHERE id = -1",
                              -1, &s, nullptr);
  if (rc == SQLITE_OK) {
    sqlite3_bind_int64(s, 1, addr);
    rc = sqlite3_step(s);
  }
  sqlite3_finalize(s);
  return rc == SQLITE_DONE ? kStatusOk : StatusOfSqlite(rc);
}

Status SqliteStore::ScanIndex(int keyIndex, std::vector<IndexEntry>& entries) {
  sqlite3_stmt* s = nullptr;
  std::string sql = "SELECT k, seq, addr FROM " + KeyTable(keyIndex) + " ORDER BY k, seq";
  int rc = sqlite3_prepare_v2(db_, sql.c_str(), -1, &s, nullptr);
  entries.clear();
  while (rc == SQLITE_OK && (rc = sqlite3_step(s)) == SQLITE_ROW) {
    IndexEntry e;
    const void* p = sqlite3_column_blob(s, 0);
    if (p) e.key.assign(static_cast<const char*>(p), sqlite3_column_bytes(s, 0));
    e.seq = sqlite3_column_int64(s, 1);
    e.addr = static_cast<std::uint32_t>(sqlite3_column_int64(s, 2));
    entries.push_back(std::move(e));
    rc = SQLITE_OK;
  }
  sqlite3_finalize(s);
  return rc == SQLITE_DONE || rc == SQLITE_OK ? kStatusOk : StatusOfSqlite(rc);
}

Status SqliteStore::ScanRecords(std::vector<std::pair<std::uint32_t, std::string>>& records) {
  sqlite3_stmt* s = nullptr;
  int rc = sqlite3_prepare_v2(db_, "SELECT addr, data FROM records ORDER BY addr", -1, &s, nullptr);
  records.clear();
  while (rc == SQLITE_OK && (rc = sqlite3_step(s)) == SQLITE_ROW) {
    const void* p = sqlite3_column_blob(s, 1);
    std::string data = p ? std::string(static_cast<const char*>(p), sqlite3_column_bytes(s, 1)) : "";
    records.emplace_back(static_cast<std::uint32_t>(sqlite3_column_int64(s, 0)), std::move(data));
    rc = SQLITE_OK;
  }
  sqlite3_finalize(s);
  return rc == SQLITE_DONE || rc == SQLITE_OK ? kStatusOk : StatusOfSqlite(rc);
}

}  // namespace recman
