// One connection to the server, shared by an open file's store and its record locks.
//
// The connection carries the open's advisory locks (its claim on the file and its record
// locks), so it is one per open file. When the server goes away the call under way answers 2;
// the next call outside a transaction connects again and takes back the claim and every record
// lock this open holds. Should that fail, that call answers a status too, and the next tries
// again.
#pragma once

#include <libpq-fe.h>

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "recman/status.h"

namespace recman::pg {

// PostgreSQL's own type numbers of the parameters we send (pg_type.oid, fixed by the server).
constexpr Oid kInt4 = 23;
constexpr Oid kInt8 = 20;
constexpr Oid kBytea = 17;
constexpr Oid kText = 25;

// Parameters of a prepared statement, all sent in binary form.
class Params {
 public:
  Params& Int8(std::int64_t v);
  Params& Int4(std::int32_t v);
  Params& Bytes(std::string_view v);

  int size() const { return static_cast<int>(values_.size()); }
  const char* const* values() const { return values_.data(); }
  const int* lengths() const { return lengths_.data(); }
  const int* formats() const { return formats_.data(); }

 private:
  Params& Add(std::string bytes);
  std::vector<std::string> store_;
  std::vector<const char*> values_;
  std::vector<int> lengths_;
  std::vector<int> formats_;
};

// A query's result, cleared when it goes.
class Result {
 public:
  Result() = default;
  explicit Result(PGresult* r) : r_(r) {}
  Result(Result&& o) noexcept : r_(o.r_) { o.r_ = nullptr; }
  Result& operator=(Result&& o) noexcept {
    if (this != &o) {
      PQclear(r_);
      r_ = o.r_;
      o.r_ = nullptr;
    }
    return *this;
  }
  Result(const Result&) = delete;
  Result& operator=(const Result&) = delete;
  ~Result() { PQclear(r_); }

  PGresult* get() const { return r_; }
  bool ok() const;  // a command or rows, no error
  int rows() const { return r_ ? PQntuples(r_) : 0; }
  bool IsNull(int row, int col) const { return PQgetisnull(r_, row, col) != 0; }
  // Binary columns.
  std::int64_t Int8(int row, int col) const;
  std::int32_t Int4(int row, int col) const;
  std::string Bytes(int row, int col) const;
  void BytesInto(int row, int col, std::string& out) const;
  std::string SqlState() const;

 private:
  PGresult* r_ = nullptr;
};

// One prepared statement: its name and text. The connection prepares it on first use.
struct Statement {
  const char* name;
  const char* sql;
  int params;
  const Oid* types;
};

class Connection {
 public:
  Connection(std::string conninfo, int busyTimeoutMs);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Connects (or connects again). 0, or 2 with error() saying why.
  Status Connect();
  // Connects again when the connection was lost, outside a transaction only. 0 or 2.
  Status Ready();
  bool broken() const;
  const std::string& error() const { return error_; }

  // Runs a prepared statement; results in binary form. status receives 0 or the status of the
  // failure (2 when the connection went, 85 lock timeout, 5 unique violation, 2 otherwise).
  Result Run(const Statement& s, const Params& p, Status& status);
  // Runs plain SQL text (no parameters). Same statuses.
  Result Exec(const std::string& sql, Status& status);

  // The transaction state this client believes in.
  bool inTransaction = false;

  // The claim on the file and the record locks taken through this connection, taken back
  // when it connects again. claimFile is 0 before the claim.
  std::int64_t claimFile = 0;
  bool claimExclusive = false;
  std::set<std::uint32_t> recordLocks;

  // The advisory lock (file, addr): true when granted now. status 2 when the call failed.
  bool TryLock(std::int64_t file, std::uint32_t addr, bool shared, Status& status);
  void Unlock(std::int64_t file, std::uint32_t addr, bool shared);

 private:
  Status StatusOf(const Result& r);
  Status Retake();
  bool MayRunAgain() const;
  Result RunOnce(const Statement& s, const Params& p, Status& status);
  Result ExecOnce(const std::string& sql, Status& status);

  std::string conninfo_;
  int busyTimeoutMs_;
  PGconn* conn_ = nullptr;
  std::set<std::string> prepared_;
  std::string error_;
  bool reconnecting_ = false;
};

// Status of a failed result on a connection: 2 when the connection is gone.
Status StatusOfSqlState(const std::string& state);

}  // namespace recman::pg
