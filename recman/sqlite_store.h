// The store on SQLite: one database file per record file.
//
// File format (schema version 1; these names and numbers never change for version 1):
//   PRAGMA application_id = 0x52434D4E ("RCMN"), PRAGMA user_version = 1: a database without
//     both is not a record file (status 30).
//   recman_meta(name TEXT PRIMARY KEY, value): "spec" the description (the Create layout with
//     zero counts), "owner" and "owner_mode".
//   recman_counters(id INTEGER PRIMARY KEY, value INTEGER): id -1 the last address given out,
//     id 0 the number of records, id 1+n the number of distinct values of key index n.
//   records(addr INTEGER PRIMARY KEY, data BLOB, seqs BLOB): the records by address (1 up);
//     an address is never given out twice. seqs holds the record's place among equal values
//     of each key, 8 bytes little-endian per key (-1 for a null key).
//   key_N(k BLOB, seq INTEGER, addr INTEGER, PRIMARY KEY(k, seq)) WITHOUT ROWID, one per key
//     index N: k the stored form of the key; seq 0 for unique keys, for duplicates one above
//     the highest seq of the value at the time the entry was made (insertion order).
//     key_0 also holds a copy of the record (column data) so that reads by key 0 cost one seek.
// The database runs in WAL mode with synchronous=NORMAL: a committed change survives the death
// of the writing process; after a power cut the changes of the last moments before it may be
// missing, but the file is consistent.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "recman/store.h"

struct sqlite3;
struct sqlite3_stmt;

namespace recman {

constexpr int kSchemaVersion = 1;
constexpr int kApplicationId = 0x52434D4E;

class SqliteStore : public Store {
 public:
  // Writes a new, empty record file at hostPath (which must not exist). 0 or 25.
  static Status Create(const std::string& hostPath, const FileSpec& spec);
  // Opens an existing record file. 12 missing, 30 not a record file (or another schema
  // version), 2 damaged or unreadable. Writes wait up to busyTimeoutMs for other writers.
  static Status Open(const std::string& hostPath, std::unique_ptr<SqliteStore>& out,
                     int busyTimeoutMs = 10000);

  ~SqliteStore() override;

  const FileSpec& spec() const override { return spec_; }
  Status Begin() override;
  Status Commit() override;
  void Rollback() override;
  Status Insert(std::string_view data, const RecordKeys& keys, std::uint32_t& addr,
                int& duplicateKey) override;
  Status Update(std::uint32_t addr, std::string_view data, const RecordKeys& oldKeys,
                const RecordKeys& newKeys, int& duplicateKey) override;
  Status Delete(std::uint32_t addr, const RecordKeys& keys) override;
  Status Read(std::uint32_t addr, std::string& data) override;
  Status EntryOf(int keyIndex, std::uint32_t addr, std::string_view storedKey,
                 IndexEntry& entry) override;
  Status Find(int keyIndex, Seek how, std::string_view key, std::int64_t seq, IndexEntry& entry,
              std::string* data) override;
  Status Step(Seek how, std::uint32_t from, std::uint32_t& addr, std::string& data) override;
  Status Counts(std::uint32_t& records, std::vector<std::uint32_t>& distinct) override;
  Status Owner(std::string& name, int& mode) override;
  Status SetOwner(std::string_view name, int mode) override;
  bool CheckIntegrity(std::string& report) override;
  Status ScanIndex(int keyIndex, std::vector<IndexEntry>& entries) override;
  Status ScanRecords(std::vector<std::pair<std::uint32_t, std::string>>& records) override;

  Status BeginRead() override;
  void EndRead() override;
  Status Restore(std::uint32_t addr, std::string_view data, const RecordKeys& keys,
                 const std::vector<std::int64_t>& seqs, int& duplicateKey) override;
  Status LastAddress(std::uint32_t& addr) override;
  Status SetLastAddress(std::uint32_t addr) override;

 private:
  struct Statements;
  // The owner as read with the description at open, handed to the first Owner() call.
  struct OwnerAtOpen {
    std::string name;
    int mode = 0;
  };
  SqliteStore();
  void DefineStatements();
  Status NextSeq(int keyIndex, const std::string& key, std::int64_t& seq, bool& newValue);
  Status AddEntry(int keyIndex, const std::string& key, std::uint32_t addr, std::string_view data,
                  std::int64_t seq, bool newValue);
  Status RemoveEntry(int keyIndex, const std::string& key, std::int64_t seq);
  Status ReadSeqs(std::uint32_t addr, std::string& seqs);
  Status AddToCounter(int id, std::int64_t delta);
  void Remember(std::uint32_t addr, std::string seqs);
  void Forget();

  sqlite3* db_ = nullptr;
  FileSpec spec_;
  std::unique_ptr<Statements> st_;
  std::optional<OwnerAtOpen> ownerAtOpen_;
  std::uint32_t cachedAddr_ = 0;
  std::string cachedSeqs_;
};

// Maps an SQLite result code to a status.
Status StatusOfSqlite(int rc);

}  // namespace recman
