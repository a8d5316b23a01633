#include "recman/pg/pg_connection.h"

#include <cstring>
#include <utility>

namespace recman::pg {
namespace {

std::string BigEndian(std::uint64_t v, int bytes) {
  std::string out(bytes, '\0');
  for (int i = bytes - 1; i >= 0; --i) {
    out[i] = static_cast<char>(v & 0xFF);
    v >>= 8;
  }
  return out;
}

std::uint64_t FromBigEndian(const char* p, int bytes) {
  std::uint64_t v = 0;
  for (int i = 0; i < bytes; ++i) v = (v << 8) | static_cast<std::uint8_t>(p[i]);
  return v;
}

// Connection settings we add unless the connection string sets them: keepalives so that the
// loss of a host (ours or the server's) shows within a minute, and a bound on connecting so
// that an unreachable server answers.
const std::pair<const char*, const char*> kClientDefaults[] = {
    {"keepalives", "1"},        {"keepalives_idle", "10"}, {"keepalives_interval", "5"},
    {"keepalives_count", "3"},  {"tcp_user_timeout", "30000"}, {"connect_timeout", "5"},
    {"application_name", "recman"},
};

const Oid kLockTypes[] = {kInt4, kInt4};
const Statement kTryLock{"try_lock", "SELECT pg_try_advisory_lock($1, $2)", 2, kLockTypes};
const Statement kTryLockShared{"try_lock_shared", "SELECT pg_try_advisory_lock_shared($1, $2)", 2, kLockTypes};
const Statement kUnlock{"unlock", "SELECT pg_advisory_unlock($1, $2)", 2, kLockTypes};
const Statement kUnlockShared{"unlock_shared", "SELECT pg_advisory_unlock_shared($1, $2)", 2, kLockTypes};

}  // namespace

Params& Params::Add(std::string bytes) {
  store_.push_back(std::move(bytes));
  formats_.push_back(1);
  // The pointers are taken at the end: the strings may move while the vector grows.
  values_.clear();
  lengths_.clear();
  for (const std::string& s : store_) {
    values_.push_back(s.data());
    lengths_.push_back(static_cast<int>(s.size()));
  }
  return *this;
}

Params& Params::Int8(std::int64_t v) { return Add(BigEndian(static_cast<std::uint64_t>(v), 8)); }
Params& Params::Int4(std::int32_t v) { return Add(BigEndian(static_cast<std::uint32_t>(v), 4)); }
Params& Params::Bytes(std::string_view v) { return Add(std::string(v)); }

bool Result::ok() const {
  if (!r_) return false;
  ExecStatusType s = PQresultStatus(r_);
  return s == PGRES_COMMAND_OK || s == PGRES_TUPLES_OK;
}

std::int64_t Result::Int8(int row, int col) const {
  const char* p = PQgetvalue(r_, row, col);
  int n = PQgetlength(r_, row, col);
  if (n == 8) return static_cast<std::int64_t>(FromBigEndian(p, 8));
  if (n == 4) return static_cast<std::int32_t>(FromBigEndian(p, 4));
  if (n == 1) return static_cast<std::uint8_t>(p[0]);  // a boolean
  return 0;
}

std::int32_t Result::Int4(int row, int col) const { return static_cast<std::int32_t>(Int8(row, col)); }

std::string Result::Bytes(int row, int col) const {
  std::string out;
  BytesInto(row, col, out);
  return out;
}

void Result::BytesInto(int row, int col, std::string& out) const {
  out.assign(PQgetvalue(r_, row, col), PQgetlength(r_, row, col));
}

std::string Result::SqlState() const {
  const char* s = r_ ? PQresultErrorField(r_, PG_DIAG_SQLSTATE) : nullptr;
  return s ? s : "";
}

Status StatusOfSqlState(const std::string& state) {
  if (state == "23505") return kStatusDuplicateKey;  // unique_violation
  if (state == "55P03" || state == "40P01" || state == "57014") return kStatusFileLocked;  // lock timeouts
  if (state == "53100") return kStatusDiskFull;
  if (state == "42501") return kStatusAccessDenied;
  return kStatusIoError;
}

Connection::Connection(std::string conninfo, int busyTimeoutMs)
    : conninfo_(std::move(conninfo)), busyTimeoutMs_(busyTimeoutMs) {}

Connection::~Connection() {
  // The server drops a closed connection's locks only once its backend has noticed; another
  // client trying them at once must find them free.
  if (conn_ && !broken() && (claimFile != 0 || !recordLocks.empty())) {
    Status ignored;
    if (inTransaction) Exec("ROLLBACK", ignored);
    Exec("SELECT pg_advisory_unlock_all()", ignored);
  }
  if (conn_) PQfinish(conn_);
}

bool Connection::broken() const { return !conn_ || PQstatus(conn_) != CONNECTION_OK; }

Status Connection::Connect() {
  if (conn_) PQfinish(conn_);
  conn_ = nullptr;
  prepared_.clear();
  inTransaction = false;
  char* parseError = nullptr;
  PQconninfoOption* options = PQconninfoParse(conninfo_.c_str(), &parseError);
  if (!options) {
    error_ = parseError ? parseError : "bad connection string";
    PQfreemem(parseError);
    return kStatusIoError;
  }
  std::vector<const char*> keys, values;
  std::set<std::string> given;
  for (PQconninfoOption* o = options; o->keyword; ++o) {
    if (!o->val) continue;
    keys.push_back(o->keyword);
    values.push_back(o->val);
    given.insert(o->keyword);
  }
  for (const auto& [key, value] : kClientDefaults) {
    if (given.count(key)) continue;
    keys.push_back(key);
    values.push_back(value);
  }
  keys.push_back(nullptr);
  values.push_back(nullptr);
  conn_ = PQconnectdbParams(keys.data(), values.data(), 0);
  PQconninfoFree(options);
  // libpq prints the server's notices, and what the server says when it shuts down under an
  // idle connection, on standard error: the operator's screen. A failed call has its own
  // message in its result; these are dropped.
  if (conn_) PQsetNoticeProcessor(conn_, [](void*, const char*) {}, nullptr);
  if (!conn_ || PQstatus(conn_) != CONNECTION_OK) {
    error_ = conn_ ? PQerrorMessage(conn_) : "out of memory";
    while (!error_.empty() && (error_.back() == '\n' || error_.back() == ' ')) error_.pop_back();
    if (conn_) PQfinish(conn_);
    conn_ = nullptr;
    return kStatusIoError;
  }
  // The server's side of the keepalives (the same minute), how long a write waits for the
  // file's other writers, and the key order: bytea compares as bytes, whatever the locale.
  std::string setup = "SET tcp_keepalives_idle = 10; SET tcp_keepalives_interval = 5;"
                      " SET tcp_keepalives_count = 3; SET lock_timeout = " +
                      std::to_string(busyTimeoutMs_ > 0 ? busyTimeoutMs_ : 1) +
                      "; SET idle_in_transaction_session_timeout = 0";
  Status status = kStatusOk;
  Exec(setup, status);
  if (status != kStatusOk) {
    PQfinish(conn_);
    conn_ = nullptr;
    return kStatusIoError;
  }
  return kStatusOk;
}

Status Connection::Ready() {
  if (!broken()) return kStatusOk;
  if (inTransaction) return kStatusIoError;  // the transaction is lost; the engine rolls back
  reconnecting_ = true;
  Status status = Connect();
  if (status == kStatusOk) status = Retake();
  reconnecting_ = false;
  if (status != kStatusOk) {
    if (conn_) PQfinish(conn_);
    conn_ = nullptr;
    return status;
  }
  return kStatusOk;
}

// After connecting again: the claim first (another may have taken the file exclusively in the
// meantime), then the record locks. A lock another client took meanwhile cannot be given back
// to the engine, which believes it holds it: the call answers 2 and the next tries again.
Status Connection::Retake() {
  if (claimFile == 0) return kStatusOk;
  Status status = kStatusOk;
  if (!TryLock(claimFile, 0, !claimExclusive, status)) return status == kStatusOk ? kStatusFileLocked : status;
  for (std::uint32_t addr : recordLocks) {
    if (!TryLock(claimFile, addr, false, status)) return kStatusIoError;
  }
  return kStatusOk;
}

Status Connection::StatusOf(const Result& r) {
  if (r.ok()) return kStatusOk;
  if (broken()) {
    error_ = conn_ ? PQerrorMessage(conn_) : "not connected";
    return kStatusIoError;
  }
  error_ = r.get() ? PQresultErrorMessage(r.get()) : PQerrorMessage(conn_);
  const std::string state = r.SqlState();
  // The server is shutting down or the connection failed (an error without a state comes
  // from libpq itself): libpq may not know yet that the connection is gone, so it is dropped
  // here and the next call connects again.
  if (state.empty() || state.rfind("57P", 0) == 0 || state.rfind("08", 0) == 0) {
    PQfinish(conn_);
    conn_ = nullptr;
    prepared_.clear();
    return kStatusIoError;
  }
  return StatusOfSqlState(state);
}

// A statement outside a transaction (a read, a lock, BEGIN) that finds the connection gone is
// run again once on a new connection, with the claim and the locks taken back: the first call
// after a server restart then answers as any other. Inside a transaction nothing is repeated:
// the transaction is lost and the engine rolls it back.
bool Connection::MayRunAgain() const { return !inTransaction && !reconnecting_ && broken(); }

Result Connection::Run(const Statement& s, const Params& p, Status& status) {
  Result r = RunOnce(s, p, status);
  if (status == kStatusIoError && MayRunAgain() && Ready() == kStatusOk) r = RunOnce(s, p, status);
  return r;
}

Result Connection::Exec(const std::string& sql, Status& status) {
  Result r = ExecOnce(sql, status);
  if (status == kStatusIoError && MayRunAgain() && Ready() == kStatusOk) r = ExecOnce(sql, status);
  return r;
}

Result Connection::RunOnce(const Statement& s, const Params& p, Status& status) {
  if (broken()) {
    status = kStatusIoError;
    return Result();
  }
  if (!prepared_.count(s.name)) {
    Result prep(PQprepare(conn_, s.name, s.sql, s.params, s.types));
    if ((status = StatusOf(prep)) != kStatusOk) return Result();
    prepared_.insert(s.name);
  }
  Result r(PQexecPrepared(conn_, s.name, p.size(), p.values(), p.lengths(), p.formats(), 1));
  status = StatusOf(r);
  return r;
}

Result Connection::ExecOnce(const std::string& sql, Status& status) {
  if (broken()) {
    status = kStatusIoError;
    return Result();
  }
  Result r(PQexec(conn_, sql.c_str()));
  status = StatusOf(r);
  return r;
}

bool Connection::TryLock(std::int64_t file, std::uint32_t addr, bool shared, Status& status) {
  Params p;
  p.Int4(static_cast<std::int32_t>(file)).Int4(static_cast<std::int32_t>(addr));
  Result r = Run(shared ? kTryLockShared : kTryLock, p, status);
  return status == kStatusOk && r.rows() == 1 && r.Int8(0, 0) != 0;
}

void Connection::Unlock(std::int64_t file, std::uint32_t addr, bool shared) {
  Params p;
  p.Int4(static_cast<std::int32_t>(file)).Int4(static_cast<std::int32_t>(addr));
  Status status = kStatusOk;
  Run(shared ? kUnlockShared : kUnlock, p, status);
}

}  // namespace recman::pg
