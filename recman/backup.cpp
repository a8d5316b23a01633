#include "recman/backup.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "recman/sqlite_store.h"
#include "recman/verify.h"

namespace recman {
namespace {

// How long the copy waits, in all, for a moment when no writer holds the source busy.
constexpr auto kBusyLimit = std::chrono::seconds(30);
constexpr int kBusyTimeoutMs = 10000;

class Connection {
 public:
  ~Connection() {
    if (db_) sqlite3_close(db_);
  }
  bool Open(const std::string& path, int flags) {
    int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
    if (rc == SQLITE_OK) sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    return rc == SQLITE_OK;
  }
  bool Close() {
    int rc = sqlite3_close(db_);
    db_ = nullptr;
    return rc == SQLITE_OK;
  }
  sqlite3* db() const { return db_; }
  std::string Message() const { return db_ ? sqlite3_errmsg(db_) : "out of memory"; }

 private:
  sqlite3* db_ = nullptr;
};

bool SyncPath(const std::string& path, int flags) {
  int fd = ::open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

void RemoveWithSideFiles(const std::string& path) {
  for (const char* suffix : {"", "-wal", "-shm", "-lock"}) std::remove((path + suffix).c_str());
}

std::string FolderOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Copies every page of `source` into `dest` in one read transaction of the source.
bool CopyPages(Connection& source, Connection& dest, std::string& error) {
  sqlite3_backup* backup = sqlite3_backup_init(dest.db(), "main", source.db(), "main");
  if (!backup) {
    error = dest.Message();
    return false;
  }
  auto deadline = std::chrono::steady_clock::now() + kBusyLimit;
  int rc;
  while ((rc = sqlite3_backup_step(backup, -1)) == SQLITE_BUSY || rc == SQLITE_LOCKED) {
    if (std::chrono::steady_clock::now() > deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  sqlite3_backup_finish(backup);
  if (rc != SQLITE_DONE) {
    error = rc == SQLITE_BUSY || rc == SQLITE_LOCKED ? "the file stayed busy for 30 seconds; try again"
                                                     : std::string(sqlite3_errstr(rc));
    return false;
  }
  return true;
}

}  // namespace

bool BackupFile(const std::string& sourcePath, const std::string& destPath, std::string& error) {
  // The source must be a record file; opening it as the engine does checks that.
  {
    std::unique_ptr<SqliteStore> store;
    Status status = SqliteStore::Open(sourcePath, store);
    if (status != kStatusOk) {
      error = status == kStatusFileNotFound      ? "no such record file"
              : status == kStatusNotARecordFile ? "not a record file"
                                                : "cannot be opened (status " + std::to_string(status) + ")";
      return false;
    }
  }
  const bool writable = ::access(sourcePath.c_str(), W_OK) == 0;
  Connection source;
  if (!source.Open(sourcePath, writable ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY)) {
    error = "cannot be opened: " + source.Message();
    return false;
  }

  const std::string partial = destPath + ".partial-" + std::to_string(::getpid());
  RemoveWithSideFiles(partial);
  {
    Connection dest;
    if (!dest.Open(partial, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE)) {
      error = destPath + ": the copy cannot be created: " + dest.Message();
      RemoveWithSideFiles(partial);
      return false;
    }
    bool copied = CopyPages(source, dest, error);
    // The copy stays a WAL file like its source; closing it checkpoints it into one file.
    if (copied && sqlite3_exec(dest.db(), "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr) != SQLITE_OK) {
      error = dest.Message();
      copied = false;
    }
    if (!dest.Close() || !copied) {
      if (error.empty()) error = "the copy cannot be completed";
      RemoveWithSideFiles(partial);
      return false;
    }
  }
  source.Close();

  std::string report;
  bool sound = VerifyFile(partial, report);
  std::remove((partial + "-lock").c_str());
  if (!sound) {
    error = "the copy failed verification (" + report.substr(0, report.find('\n')) + "); " + destPath + " is unchanged";
    RemoveWithSideFiles(partial);
    return false;
  }
  if (!SyncPath(partial, O_RDONLY)) {
    error = destPath + ": the copy cannot be synced to disk";
    RemoveWithSideFiles(partial);
    return false;
  }
  // Side files of an older copy would be read as part of the new one.
  std::remove((destPath + "-wal").c_str());
  std::remove((destPath + "-shm").c_str());
  if (std::rename(partial.c_str(), destPath.c_str()) != 0) {
    error = destPath + ": cannot be replaced";
    RemoveWithSideFiles(partial);
    return false;
  }
  RemoveWithSideFiles(partial);
  SyncPath(FolderOf(destPath), O_RDONLY | O_DIRECTORY);
  return true;
}

}  // namespace recman
