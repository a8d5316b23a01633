#include "recman/pg/pg_store.h"

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <thread>

#include "recman/file_layout.h"
#include "recman/pg/pg_connection.h"

namespace recman::pg {
namespace {

// The schema, made when the database does not have it yet. A transaction-level advisory lock
// on a key of its own makes a second client that starts at the same moment wait, and then find
// everything there.
constexpr std::int64_t kSchemaLockKey = 0x52434D4E0001;  // "RCMN", 1
const char* const kSchema =
    "CREATE TABLE IF NOT EXISTS recman_files(id bigserial PRIMARY KEY, name text NOT NULL UNIQUE,"
    " spec bytea NOT NULL, owner bytea NOT NULL DEFAULT '', owner_mode integer NOT NULL DEFAULT 0,"
    " last_addr bigint NOT NULL DEFAULT 0, records bigint NOT NULL DEFAULT 0);"
    " CREATE TABLE IF NOT EXISTS recman_records(file bigint NOT NULL,"
    " addr bigint NOT NULL, data bytea NOT NULL, seqs bytea NOT NULL, version bigint NOT NULL DEFAULT 1,"
    " PRIMARY KEY(file, addr));"
    " CREATE TABLE IF NOT EXISTS recman_keys(file bigint NOT NULL,"
    " key_index integer NOT NULL, k bytea NOT NULL, seq bigint NOT NULL, addr bigint NOT NULL,"
    " PRIMARY KEY(file, key_index, k, seq));"
    " CREATE TABLE IF NOT EXISTS recman_distinct(file bigint NOT NULL,"
    " key_index integer NOT NULL, n bigint NOT NULL DEFAULT 0, PRIMARY KEY(file, key_index));";

Status EnsureSchema(Connection& c) {
  Status status = kStatusOk;
  Result there = c.Exec("SELECT to_regclass('recman_distinct') IS NOT NULL", status);
  if (status != kStatusOk) return status;
  if (there.rows() == 1 && std::string(PQgetvalue(there.get(), 0, 0)) == "t") return kStatusOk;
  c.Exec("BEGIN; SELECT pg_advisory_xact_lock(" + std::to_string(kSchemaLockKey) + "); " + kSchema + " COMMIT",
         status);
  if (status != kStatusOk) {
    Status ignored;
    c.Exec("ROLLBACK", ignored);
  }
  return status;
}

const Oid kI8[] = {kInt8};
const Oid kI8I8[] = {kInt8, kInt8};
const Oid kI8I4[] = {kInt8, kInt4};
const Oid kI8I4B[] = {kInt8, kInt4, kBytea};
const Oid kI8I4BI8[] = {kInt8, kInt4, kBytea, kInt8};
const Oid kI8I4BI8I8[] = {kInt8, kInt4, kBytea, kInt8, kInt8};
const Oid kI8I4BI8I4[] = {kInt8, kInt4, kBytea, kInt8, kInt4};
const Oid kI8I8BB[] = {kInt8, kInt8, kBytea, kBytea};
const Oid kT[] = {kText};
const Oid kI8BI4[] = {kInt8, kBytea, kInt4};
const Oid kTB[] = {kText, kBytea};

// Index entries with their records, one statement per kind of seek. $1 file, $2 key index,
// $3 key, $4 seq.
#define RECMAN_FIND(name, where, order)                                                           \
  Statement {                                                                                    \
    name,                                                                                        \
        "SELECT e.k, e.seq, e.addr, r.data FROM recman_keys e JOIN recman_records r"             \
        " ON r.file = e.file AND r.addr = e.addr WHERE e.file = $1 AND e.key_index = $2" where   \
        " ORDER BY e.k " order ", e.seq " order " LIMIT 1",                                      \
        4, kI8I4BI8                                                                              \
  }
const Statement kFind[8] = {
    RECMAN_FIND("find_eq", " AND e.k = $3 AND $4 = $4", "ASC"),
    RECMAN_FIND("find_gt", " AND e.k > $3 AND $4 = $4", "ASC"),
    RECMAN_FIND("find_ge", " AND e.k >= $3 AND $4 = $4", "ASC"),
    RECMAN_FIND("find_lt", " AND e.k < $3 AND $4 = $4", "DESC"),
    RECMAN_FIND("find_first", " AND $3 = $3 AND $4 = $4", "ASC"),
    RECMAN_FIND("find_last", " AND $3 = $3 AND $4 = $4", "DESC"),
    RECMAN_FIND("find_after", " AND (e.k, e.seq) > ($3, $4)", "ASC"),
    RECMAN_FIND("find_before", " AND (e.k, e.seq) < ($3, $4)", "DESC"),
};
#undef RECMAN_FIND

const Statement kLockFile{"lock_file", "SELECT 1 FROM recman_files WHERE id = $1 FOR UPDATE", 1, kI8};
const Statement kNextAddress{"next_address",
                             "UPDATE recman_files SET last_addr = last_addr + 1, records = records + 1"
                             " WHERE id = $1 RETURNING last_addr",
                             1, kI8};
const Statement kInsertRecord{"insert_record",
                              "INSERT INTO recman_records(file, addr, data, seqs) VALUES($1, $2, $3, $4)", 4, kI8I8BB};
const Statement kUpdateRecord{"update_record",
                              "UPDATE recman_records SET data = $3, seqs = $4, version = version + 1"
                              " WHERE file = $1 AND addr = $2",
                              4, kI8I8BB};
const Statement kDeleteRecord{"delete_record",
                              "WITH gone AS (DELETE FROM recman_records WHERE file = $1 AND addr = $2 RETURNING 1)"
                              " UPDATE recman_files SET records = records - (SELECT count(*) FROM gone) WHERE id = $1",
                              2, kI8I8};
const Statement kReadRecord{"read_record", "SELECT data, seqs FROM recman_records WHERE file = $1 AND addr = $2", 2,
                            kI8I8};
const Statement kReadSeqs{"read_seqs", "SELECT seqs FROM recman_records WHERE file = $1 AND addr = $2", 2, kI8I8};
// Adds an index entry: $4 the address, $5 1 for a key with duplicates (the entry goes after
// the others of its value), 0 for a unique key (seq 0; a second entry of the value breaks the
// primary key: 5). A value new to the index counts one more distinct value. Answers the seq.
const Statement kAddEntry{
    "add_entry",
    "WITH e AS (INSERT INTO recman_keys(file, key_index, k, seq, addr)"
    " SELECT $1, $2, $3, CASE WHEN $5 = 1 THEN coalesce(max(seq), 0) + 1 ELSE 0 END, $4 FROM recman_keys"
    " WHERE file = $1 AND key_index = $2 AND k = $3 RETURNING seq),"
    " d AS (UPDATE recman_distinct SET n = n + 1 WHERE file = $1 AND key_index = $2"
    " AND NOT EXISTS (SELECT 1 FROM recman_keys WHERE file = $1 AND key_index = $2 AND k = $3))"
    " SELECT seq FROM e",
    5, kI8I4BI8I4};
// Puts an index entry at a given place (copying a file), counting a new value as kAddEntry.
const Statement kPutEntry{
    "put_entry",
    "WITH e AS (INSERT INTO recman_keys(file, key_index, k, seq, addr) VALUES($1, $2, $3, $4, $5)),"
    " d AS (UPDATE recman_distinct SET n = n + 1 WHERE file = $1 AND key_index = $2"
    " AND NOT EXISTS (SELECT 1 FROM recman_keys WHERE file = $1 AND key_index = $2 AND k = $3))"
    " SELECT 1",
    5, kI8I4BI8I8};
// Removes an index entry; the last of its value takes one from the distinct count.
const Statement kRemoveEntry{
    "remove_entry",
    "WITH e AS (DELETE FROM recman_keys WHERE file = $1 AND key_index = $2 AND k = $3 AND seq = $4)"
    " UPDATE recman_distinct SET n = n - 1 WHERE file = $1 AND key_index = $2"
    " AND NOT EXISTS (SELECT 1 FROM recman_keys WHERE file = $1 AND key_index = $2 AND k = $3 AND seq <> $4)",
    4, kI8I4BI8};
const Statement kStepNext{"step_next",
                          "SELECT addr, data FROM recman_records WHERE file = $1 AND addr > $2 ORDER BY addr LIMIT 1",
                          2, kI8I8};
const Statement kStepPrev{"step_prev",
                          "SELECT addr, data FROM recman_records WHERE file = $1 AND addr < $2"
                          " ORDER BY addr DESC LIMIT 1",
                          2, kI8I8};
const Statement kStepFirst{"step_first",
                           "SELECT addr, data FROM recman_records WHERE file = $1 ORDER BY addr LIMIT 1", 1, kI8};
const Statement kStepLast{"step_last",
                          "SELECT addr, data FROM recman_records WHERE file = $1 ORDER BY addr DESC LIMIT 1", 1, kI8};
const Statement kCounts{"counts",
                        "SELECT -1, records FROM recman_files WHERE id = $1"
                        " UNION ALL SELECT key_index, n FROM recman_distinct WHERE file = $1",
                        1, kI8};
const Statement kOwner{"owner", "SELECT owner, owner_mode FROM recman_files WHERE id = $1", 1, kI8};
const Statement kSetOwner{"set_owner", "UPDATE recman_files SET owner = $2, owner_mode = $3 WHERE id = $1", 3,
                          kI8BI4};
const Statement kLastAddress{"last_address", "SELECT last_addr FROM recman_files WHERE id = $1", 1, kI8};
const Statement kSetLastAddress{"set_last_address",
                                "UPDATE recman_files SET last_addr = greatest($2,"
                                " (SELECT coalesce(max(addr), 0) FROM recman_records WHERE file = $1)) WHERE id = $1",
                                2, kI8I8};
const Statement kRestoreRecord{"restore_record",
                               "WITH r AS (INSERT INTO recman_records(file, addr, data, seqs) VALUES($1, $2, $3, $4))"
                               " UPDATE recman_files SET records = records + 1, last_addr = greatest(last_addr, $2)"
                               " WHERE id = $1",
                               4, kI8I8BB};
const Statement kFileByName{"file_by_name", "SELECT id FROM recman_files WHERE name = $1", 1, kT};
const Statement kFileSpec{"file_spec", "SELECT spec, owner, owner_mode FROM recman_files WHERE id = $1", 1, kI8};
const Statement kCreateFile{"create_file",
                            "INSERT INTO recman_files(name, spec) VALUES($1, $2) ON CONFLICT (name) DO NOTHING"
                            " RETURNING id",
                            2, kTB};
const Statement kAddDistinct{"add_distinct",
                             "INSERT INTO recman_distinct(file, key_index, n)"
                             " SELECT $1, generate_series(0, $2 - 1), 0",
                             2, kI8I4};
const Statement kDropFile{"drop_file",
                          "WITH a AS (DELETE FROM recman_keys WHERE file = $1),"
                          " b AS (DELETE FROM recman_records WHERE file = $1),"
                          " c AS (DELETE FROM recman_distinct WHERE file = $1)"
                          " DELETE FROM recman_files WHERE id = $1",
                          1, kI8};
const Statement kScanIndex{"scan_index",
                           "SELECT k, seq, addr FROM recman_keys WHERE file = $1 AND key_index = $2 ORDER BY k, seq", 2,
                           kI8I4};
const Statement kScanRecords{"scan_records", "SELECT addr, data FROM recman_records WHERE file = $1 ORDER BY addr", 1,
                             kI8};

class PgStore : public Store {
 public:
  PgStore(std::shared_ptr<Connection> c, std::int64_t file, FileSpec spec, std::string owner, int ownerMode)
      : c_(std::move(c)), file_(file), spec_(std::move(spec)), ownerAtOpen_(OwnerAtOpen{std::move(owner), ownerMode}) {}

  const FileSpec& spec() const override { return spec_; }

  Status Begin() override {
    Forget();
    Status status = c_->Ready();
    if (status != kStatusOk) return status;
    c_->Exec("BEGIN", status);
    if (status != kStatusOk) return status;
    c_->inTransaction = true;
    // The file's row, locked until the end: the file's writers follow one another, and what
    // the engine reads inside stays as read until it commits.
    Result r = c_->Run(kLockFile, Params().Int8(file_), status);
    if (status == kStatusOk && r.rows() != 1) status = kStatusIoError;  // the file is gone
    if (status != kStatusOk) Rollback();
    return status;
  }

  Status Commit() override {
    Forget();
    Status status = kStatusOk;
    Result r = c_->Exec("COMMIT", status);
    c_->inTransaction = false;
    // A transaction that had failed answers ROLLBACK to COMMIT.
    if (status == kStatusOk && std::string(PQcmdStatus(r.get())) != "COMMIT") status = kStatusIoError;
    return status;
  }

  void Rollback() override {
    Forget();
    if (!c_->inTransaction) return;
    Status ignored;
    if (!c_->broken()) c_->Exec("ROLLBACK", ignored);
    c_->inTransaction = false;
  }

  Status Insert(std::string_view data, const RecordKeys& keys, std::uint32_t& addr, int& duplicateKey) override {
    Status status = kStatusOk;
    Result r = c_->Run(kNextAddress, Params().Int8(file_), status);
    if (status != kStatusOk) return status;
    if (r.rows() != 1) return kStatusIoError;
    std::int64_t next = r.Int8(0, 0);
    if (next <= 0 || next > 0xFFFFFFFFll) return kStatusDiskFull;  // addresses are 4 bytes
    addr = static_cast<std::uint32_t>(next);
    std::vector<std::int64_t> seqs(keys.size(), -1);
    for (std::size_t k = 0; k < keys.size(); ++k) {
      if (!keys[k]) continue;
      if ((status = AddEntry(static_cast<int>(k), *keys[k], addr, seqs[k])) != kStatusOk) {
        duplicateKey = static_cast<int>(k);
        return status;
      }
    }
    std::string packed = PutSeqs(seqs);
    c_->Run(kInsertRecord, Params().Int8(file_).Int8(addr).Bytes(data).Bytes(packed), status);
    if (status != kStatusOk) return status;
    Remember(addr, std::move(packed));
    return kStatusOk;
  }

  Status Update(std::uint32_t addr, std::string_view data, const RecordKeys& oldKeys, const RecordKeys& newKeys,
                int& duplicateKey) override {
    std::string packed;
    Status status = ReadSeqs(addr, packed);
    if (status != kStatusOk) return status;
    std::vector<std::int64_t> seqs(spec_.keys.size());
    for (std::size_t k = 0; k < seqs.size(); ++k) seqs[k] = GetSeq(packed, k);
    for (std::size_t k = 0; k < spec_.keys.size(); ++k) {
      if (oldKeys[k] == newKeys[k]) continue;
      int ki = static_cast<int>(k);
      if (oldKeys[k] && (status = RemoveEntry(ki, *oldKeys[k], seqs[k])) != kStatusOk) return status;
      seqs[k] = -1;
      if (!newKeys[k]) continue;
      if ((status = AddEntry(ki, *newKeys[k], addr, seqs[k])) != kStatusOk) {
        duplicateKey = ki;
        return status;
      }
    }
    packed = PutSeqs(seqs);
    Result r = c_->Run(kUpdateRecord, Params().Int8(file_).Int8(addr).Bytes(data).Bytes(packed), status);
    if (status != kStatusOk) return status;
    Remember(addr, std::move(packed));
    return kStatusOk;
  }

  Status Delete(std::uint32_t addr, const RecordKeys& keys) override {
    std::string packed;
    Status status = ReadSeqs(addr, packed);
    if (status != kStatusOk) return status;
    for (std::size_t k = 0; k < keys.size(); ++k) {
      if (!keys[k]) continue;
      if ((status = RemoveEntry(static_cast<int>(k), *keys[k], GetSeq(packed, k))) != kStatusOk) return status;
    }
    Forget();
    c_->Run(kDeleteRecord, Params().Int8(file_).Int8(addr), status);
    return status;
  }

  Status Read(std::uint32_t addr, std::string& data) override {
    Status status = ReadyForRead();
    if (status != kStatusOk) return status;
    Result r = c_->Run(kReadRecord, Params().Int8(file_).Int8(addr), status);
    if (status != kStatusOk) return status;
    if (r.rows() == 0) return kStatusInvalidRecordAddress;
    r.BytesInto(0, 0, data);
    Remember(addr, r.Bytes(0, 1));
    return kStatusOk;
  }

  Status EntryOf(int keyIndex, std::uint32_t addr, std::string_view storedKey, IndexEntry& entry) override {
    std::string packed;
    Status status = ReadSeqs(addr, packed);
    if (status != kStatusOk) return status;
    return EntryFromSeqs(packed, keyIndex, storedKey, addr, entry);
  }

  Status Find(int keyIndex, Seek how, std::string_view key, std::int64_t seq, IndexEntry& entry,
              std::string* data) override {
    Status status = ReadyForRead();
    if (status != kStatusOk) return status;
    Result r = c_->Run(kFind[static_cast<int>(how)], Params().Int8(file_).Int4(keyIndex).Bytes(key).Int8(seq), status);
    if (status != kStatusOk) return status;
    if (r.rows() == 0) return how == Seek::kEqual ? kStatusKeyNotFound : kStatusEndOfFile;
    r.BytesInto(0, 0, entry.key);
    entry.seq = r.Int8(0, 1);
    entry.addr = static_cast<std::uint32_t>(r.Int8(0, 2));
    if (data) r.BytesInto(0, 3, *data);
    return kStatusOk;
  }

  Status Step(Seek how, std::uint32_t from, std::uint32_t& addr, std::string& data) override {
    Status status = ReadyForRead();
    if (status != kStatusOk) return status;
    Result r;
    switch (how) {
      case Seek::kFirst: r = c_->Run(kStepFirst, Params().Int8(file_), status); break;
      case Seek::kLast: r = c_->Run(kStepLast, Params().Int8(file_), status); break;
      case Seek::kAfter: r = c_->Run(kStepNext, Params().Int8(file_).Int8(from), status); break;
      case Seek::kBefore: r = c_->Run(kStepPrev, Params().Int8(file_).Int8(from), status); break;
      default: return kStatusInvalidOperation;
    }
    if (status != kStatusOk) return status;
    if (r.rows() == 0) return kStatusEndOfFile;
    addr = static_cast<std::uint32_t>(r.Int8(0, 0));
    r.BytesInto(0, 1, data);
    return kStatusOk;
  }

  Status Counts(std::uint32_t& records, std::vector<std::uint32_t>& distinct) override {
    Status status = ReadyForRead();
    if (status != kStatusOk) return status;
    Result r = c_->Run(kCounts, Params().Int8(file_), status);
    if (status != kStatusOk) return status;
    distinct.assign(spec_.keys.size(), 0);
    records = 0;
    for (int i = 0; i < r.rows(); ++i) {
      std::int64_t id = r.Int8(i, 0), value = r.Int8(i, 1);
      std::uint32_t v = value < 0 ? 0 : static_cast<std::uint32_t>(value);
      if (id == -1) records = v;
      else if (id >= 0 && id < static_cast<std::int64_t>(distinct.size())) distinct[id] = v;
    }
    return kStatusOk;
  }

  Status Owner(std::string& name, int& mode) override {
    if (ownerAtOpen_) {
      name = std::move(ownerAtOpen_->name);
      mode = ownerAtOpen_->mode;
      ownerAtOpen_.reset();
      return kStatusOk;
    }
    Status status = ReadyForRead();
    if (status != kStatusOk) return status;
    Result r = c_->Run(kOwner, Params().Int8(file_), status);
    if (status != kStatusOk) return status;
    if (r.rows() != 1) return kStatusIoError;
    name = r.Bytes(0, 0);
    mode = r.Int4(0, 1);
    return kStatusOk;
  }

  Status SetOwner(std::string_view name, int mode) override {
    Status status = ReadyForRead();
    if (status != kStatusOk) return status;
    c_->Run(kSetOwner, Params().Int8(file_).Bytes(name).Int4(mode), status);
    return status;
  }

  // What the server can tell: the schema is there, the file's row is, and the kept counts and
  // last address agree with the rows (the indexes themselves are the server's to keep sound).
  bool CheckIntegrity(std::string& report) override {
    Status status = ReadyForRead();
    if (status != kStatusOk) {
      report += "database: unreachable (" + c_->error() + ")\n";
      return false;
    }
    Result r = c_->Exec(
        "SELECT (SELECT count(*) FROM recman_files WHERE id = " + std::to_string(file_) +
            "), (SELECT last_addr FROM recman_files WHERE id = " + std::to_string(file_) +
            ") >= coalesce((SELECT max(addr) FROM recman_records WHERE file = " + std::to_string(file_) +
            "), 0), (SELECT count(*) FROM recman_distinct WHERE file = " + std::to_string(file_) +
            " AND key_index BETWEEN 0 AND " + std::to_string(static_cast<int>(spec_.keys.size()) - 1) + ")",
        status);
    if (status != kStatusOk || r.rows() != 1) {
      report += "database: the schema is missing or unreadable (" + c_->error() + ")\n";
      return false;
    }
    bool ok = true;
    if (std::string(PQgetvalue(r.get(), 0, 0)) != "1") {
      report += "database: the file's row is missing\n";
      return false;
    }
    if (std::string(PQgetvalue(r.get(), 0, 1)) != "t") {
      report += "database: an address above the last one given out\n";
      ok = false;
    }
    if (std::string(PQgetvalue(r.get(), 0, 2)) != std::to_string(spec_.keys.size())) {
      report += "database: distinct counts missing for some keys\n";
      ok = false;
    }
    return ok;
  }

  Status ScanIndex(int keyIndex, std::vector<IndexEntry>& entries) override {
    Status status = ReadyForRead();
    if (status != kStatusOk) return status;
    Result r = c_->Run(kScanIndex, Params().Int8(file_).Int4(keyIndex), status);
    if (status != kStatusOk) return status;
    entries.clear();
    entries.reserve(r.rows());
    for (int i = 0; i < r.rows(); ++i) {
      IndexEntry e;
      r.BytesInto(i, 0, e.key);
      e.seq = r.Int8(i, 1);
      e.addr = static_cast<std::uint32_t>(r.Int8(i, 2));
      entries.push_back(std::move(e));
    }
    return kStatusOk;
  }

  Status ScanRecords(std::vector<std::pair<std::uint32_t, std::string>>& records) override {
    Status status = ReadyForRead();
    if (status != kStatusOk) return status;
    Result r = c_->Run(kScanRecords, Params().Int8(file_), status);
    if (status != kStatusOk) return status;
    records.clear();
    records.reserve(r.rows());
    for (int i = 0; i < r.rows(); ++i) records.emplace_back(static_cast<std::uint32_t>(r.Int8(i, 0)), r.Bytes(i, 1));
    return kStatusOk;
  }

  Status BeginRead() override {
    Forget();
    Status status = c_->Ready();
    if (status != kStatusOk) return status;
    c_->Exec("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY", status);
    if (status == kStatusOk) c_->inTransaction = true;
    return status;
  }

  void EndRead() override { Rollback(); }

  Status Restore(std::uint32_t addr, std::string_view data, const RecordKeys& keys,
                 const std::vector<std::int64_t>& seqs, int& duplicateKey) override {
    Status status = kStatusOk;
    std::vector<std::int64_t> places(keys.size(), -1);
    for (std::size_t k = 0; k < keys.size(); ++k) {
      if (!keys[k]) continue;
      places[k] = k < seqs.size() && seqs[k] >= 0 ? seqs[k] : 0;
      c_->Run(kPutEntry, Params().Int8(file_).Int4(static_cast<int>(k)).Bytes(*keys[k]).Int8(places[k]).Int8(addr),
              status);
      if (status != kStatusOk) {
        duplicateKey = static_cast<int>(k);
        return status;
      }
    }
    c_->Run(kRestoreRecord, Params().Int8(file_).Int8(addr).Bytes(data).Bytes(PutSeqs(places)), status);
    return status;
  }

  Status LastAddress(std::uint32_t& addr) override {
    Status status = ReadyForRead();
    if (status != kStatusOk) return status;
    Result r = c_->Run(kLastAddress, Params().Int8(file_), status);
    if (status != kStatusOk) return status;
    if (r.rows() != 1) return kStatusIoError;
    addr = static_cast<std::uint32_t>(r.Int8(0, 0));
    return kStatusOk;
  }

  Status SetLastAddress(std::uint32_t addr) override {
    Status status = ReadyForRead();
    if (status != kStatusOk) return status;
    c_->Run(kSetLastAddress, Params().Int8(file_).Int8(addr), status);
    return status;
  }

 private:
  struct OwnerAtOpen {
    std::string name;
    int mode = 0;
  };

  // Outside a transaction a read connects again when the server went away meanwhile.
  Status ReadyForRead() { return c_->inTransaction ? kStatusOk : c_->Ready(); }

  Status AddEntry(int keyIndex, const std::string& key, std::uint32_t addr, std::int64_t& seq) {
    Status status = kStatusOk;
    Result r = c_->Run(kAddEntry,
                       Params().Int8(file_).Int4(keyIndex).Bytes(key).Int8(addr).Int4(
                           spec_.keys[keyIndex].duplicates ? 1 : 0),
                       status);
    if (status != kStatusOk) return status;
    if (r.rows() != 1) return kStatusIoError;
    seq = r.Int8(0, 0);
    return kStatusOk;
  }

  Status RemoveEntry(int keyIndex, const std::string& key, std::int64_t seq) {
    Status status = kStatusOk;
    c_->Run(kRemoveEntry, Params().Int8(file_).Int4(keyIndex).Bytes(key).Int8(seq), status);
    return status;
  }

  // Inside a write transaction nobody else changes the file, so the places of the record
  // last read or written serve the next call on it (Update after Read, EntryOf after Insert).
  Status ReadSeqs(std::uint32_t addr, std::string& seqs) {
    if (cachedAddr_ == addr && c_->inTransaction) {
      seqs = cachedSeqs_;
      return kStatusOk;
    }
    Status status = ReadyForRead();
    if (status != kStatusOk) return status;
    Result r = c_->Run(kReadSeqs, Params().Int8(file_).Int8(addr), status);
    if (status != kStatusOk) return status;
    if (r.rows() == 0) return kStatusInvalidRecordAddress;
    seqs = r.Bytes(0, 0);
    return kStatusOk;
  }

  void Remember(std::uint32_t addr, std::string seqs) {
    if (!c_->inTransaction) return;
    cachedAddr_ = addr;
    cachedSeqs_ = std::move(seqs);
  }
  void Forget() { cachedAddr_ = 0; }

  std::shared_ptr<Connection> c_;
  std::int64_t file_;
  FileSpec spec_;
  std::optional<OwnerAtOpen> ownerAtOpen_;
  std::uint32_t cachedAddr_ = 0;
  std::string cachedSeqs_;
};

// The record locks of one open: advisory locks of its connection.
class PgLocks : public RecordLocks {
 public:
  PgLocks(std::shared_ptr<Connection> c, std::int64_t file) : c_(std::move(c)), file_(file) {}

  LockResult Lock(std::uint32_t addr, bool wait, int waitLimitMs) override {
    if (c_->recordLocks.count(addr)) return LockResult::kGranted;
    auto start = std::chrono::steady_clock::now();
    int pauseUs = 500;
    for (;;) {
      Status status = c_->inTransaction ? kStatusOk : c_->Ready();
      if (status != kStatusOk) return LockResult::kError;
      if (c_->TryLock(file_, addr, false, status)) {
        c_->recordLocks.insert(addr);
        return LockResult::kGranted;
      }
      if (status != kStatusOk) return LockResult::kError;
      if (!wait) return LockResult::kHeld;
      auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
      if (waited.count() >= waitLimitMs) return LockResult::kHeld;
      // Polling, as the side-file locks do: a wait that ends keeps two clients that wait on
      // each other from hanging.
      std::this_thread::sleep_for(std::chrono::microseconds(pauseUs));
      if (pauseUs < 20000) pauseUs *= 2;
    }
  }

  void Unlock(std::uint32_t addr) override {
    if (!c_->recordLocks.erase(addr)) return;
    if (!c_->broken()) c_->Unlock(file_, addr, false);
  }

 private:
  std::shared_ptr<Connection> c_;
  std::int64_t file_;
};

class ServerPlace : public StorePlace {
 public:
  explicit ServerPlace(ServerOptions options) : options_(std::move(options)) {}

  Status Open(const std::string& path, bool exclusive, std::unique_ptr<Store>& store,
              std::unique_ptr<RecordLocks>& locks) override {
    std::string name;
    if (!ServerName(options_.root, path, name)) return kStatusInvalidFileName;
    auto c = std::make_shared<Connection>(options_.conninfo, options_.busyTimeoutMs);
    Status status = c->Connect();
    if (status == kStatusOk) status = EnsureSchema(*c);
    if (status != kStatusOk) return status;
    // The name may name another file once we hold the claim (replaced meanwhile): look again.
    for (int attempt = 0; attempt < 3; ++attempt) {
      Result r = c->Run(kFileByName, Params().Bytes(name), status);
      if (status != kStatusOk) return status;
      if (r.rows() == 0) return kStatusFileNotFound;
      std::int64_t file = r.Int8(0, 0);
      if (!c->TryLock(file, 0, !exclusive, status)) return status == kStatusOk ? kStatusFileLocked : status;
      Result s = c->Run(kFileSpec, Params().Int8(file), status);
      if (status != kStatusOk) return status;
      if (s.rows() == 0) {
        c->Unlock(file, 0, !exclusive);
        continue;
      }
      std::string raw = s.Bytes(0, 0);
      FileSpec spec;
      if (ParseCreateBuffer(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(raw.data()), raw.size()),
                            spec) != kStatusOk)
        return kStatusNotARecordFile;
      c->claimFile = file;
      c->claimExclusive = exclusive;
      store = std::make_unique<PgStore>(c, file, std::move(spec), s.Bytes(0, 1), s.Int4(0, 2));
      locks = std::make_unique<PgLocks>(c, file);
      return kStatusOk;
    }
    return kStatusFileLocked;
  }

  // A server that fails or cannot be reached answers 25, as a file system would.
  Status Create(const std::string& path, const FileSpec& spec, bool replace) override {
    Status status = CreateFile(path, spec, replace);
    return status == kStatusIoError ? kStatusCreateIoError : status;
  }

 private:
  Status CreateFile(const std::string& path, const FileSpec& spec, bool replace) {
    std::string name;
    if (!ServerName(options_.root, path, name)) return kStatusInvalidFileName;
    Connection c(options_.conninfo, options_.busyTimeoutMs);
    Status status = c.Connect();
    if (status == kStatusOk) status = EnsureSchema(c);
    if (status != kStatusOk) return status;
    std::int64_t old = 0;
    if (replace) {
      Result r = c.Run(kFileByName, Params().Bytes(name), status);
      if (status != kStatusOk) return status;
      if (r.rows() == 1) {
        old = r.Int8(0, 0);
        // Nobody may have the old file open while it is replaced; the claim is held until the
        // new file is in place (it goes with the connection).
        if (!c.TryLock(old, 0, false, status)) return status == kStatusOk ? kStatusFileLocked : status;
        c.claimFile = old;
        c.claimExclusive = true;
      }
    }
    // The new file appears whole: its row and its counters in one transaction. Without
    // replace, the unique name decides between two creators: the second finds the name taken.
    c.Exec("BEGIN", status);
    if (status != kStatusOk) return status;
    if (old) c.Run(kDropFile, Params().Int8(old), status);
    Result made;
    if (status == kStatusOk) made = c.Run(kCreateFile, Params().Bytes(name).Bytes(SerializeSpec(spec)), status);
    if (status == kStatusOk && made.rows() == 0) status = kStatusFileExists;
    if (status == kStatusOk && !spec.keys.empty())
      c.Run(kAddDistinct, Params().Int8(made.Int8(0, 0)).Int4(static_cast<int>(spec.keys.size())), status);
    if (status == kStatusOk) {
      Result r = c.Exec("COMMIT", status);
      if (status == kStatusOk && std::string(PQcmdStatus(r.get())) != "COMMIT") status = kStatusCreateIoError;
    } else {
      Status ignored;
      c.Exec("ROLLBACK", ignored);
    }
    return status;
  }

  ServerOptions options_;
};

}  // namespace

bool ServerName(const std::string& root, const std::string& path, std::string& name) {
  namespace fs = std::filesystem;
  std::string given = path;
  for (char& ch : given)
    if (ch == '\\') ch = '/';
  fs::path rootPath = fs::path(root).lexically_normal();
  if (!rootPath.empty() && rootPath.filename().empty()) rootPath = rootPath.parent_path();
  auto under = [&](const fs::path& p, std::string& out) {
    fs::path rel = p.lexically_normal().lexically_relative(rootPath);
    if (rel.empty() || *rel.begin() == "..") return false;
    out = rel.generic_string();
    return out != ".";
  };
  fs::path p(given);
  if (p.is_absolute()) return under(p, name);
  std::error_code ec;
  fs::path cwd = fs::current_path(ec);
  if (!ec && under(cwd / p, name)) return true;
  // From outside the root a relative path names the file under the root directly.
  fs::path rel = p.lexically_normal();
  if (rel.empty() || *rel.begin() == ".." || rel == ".") return false;
  name = rel.generic_string();
  return true;
}

std::unique_ptr<StorePlace> MakeServerPlace(const ServerOptions& options) {
  return std::make_unique<ServerPlace>(options);
}

}  // namespace recman::pg

// The module's one entry point, found by name with dlsym (server_place.cpp). The version in
// the name changes whenever StorePlace or ServerOptions change shape.
extern "C" __attribute__((visibility("default"))) int recman_pg_make_place_v1(const recman::ServerOptions* options,
                                                                              recman::StorePlace** out) {
  *out = recman::pg::MakeServerPlace(*options).release();
  return *out ? 0 : 2;
}
