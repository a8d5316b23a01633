// Record files on this host: one SQLite database per file, locks in its side file.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "recman/engine.h"
#include "recman/lock_file.h"
#include "recman/sqlite_store.h"
#include "recman/store_place.h"

namespace recman {
namespace {

bool FileExists(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0;
}

class LocalFilesPlace : public StorePlace {
 public:
  explicit LocalFilesPlace(int busyTimeoutMs) : busyTimeoutMs_(busyTimeoutMs) {}

  Status Open(const std::string& path, bool exclusive, std::unique_ptr<Store>& store,
              std::unique_ptr<RecordLocks>& locks) override {
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) return kStatusFileNotFound;
    if (!S_ISREG(info.st_mode)) return kStatusInvalidFileName;
    // The claim comes first: while another holds the file exclusively (or is replacing it),
    // SQLite must not touch it or its journal.
    auto claim = std::make_unique<LockFile>();
    Status status = claim->Open(path, exclusive ? LockFile::Claim::kExclusive : LockFile::Claim::kShared);
    if (status != kStatusOk) return status;
    std::unique_ptr<SqliteStore> opened;
    status = SqliteStore::Open(path, opened, busyTimeoutMs_);
    if (status != kStatusOk) return status;
    store = std::move(opened);
    locks = std::move(claim);
    return kStatusOk;
  }

  Status Create(const std::string& path, const FileSpec& spec, bool replace) override {
    LockFile claim;
    Status status = kStatusOk;
    if (FileExists(path)) {
      if (!replace) return kStatusFileExists;
      struct stat info;
      if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return kStatusInvalidFileName;
      // Nobody may have the old file open while it is replaced.
      if ((status = claim.Open(path, LockFile::Claim::kExclusive)) != kStatusOk) return status;
    }
    // Built under a private name and moved into place, so that no process ever opens a half
    // made file.
    std::string temp = path + ".create-" + std::to_string(::getpid()) + "-" + std::to_string(createCounter_++);
    ::unlink(temp.c_str());
    status = SqliteStore::Create(temp, spec);
    if (status != kStatusOk) {
      ::unlink(temp.c_str());
      ::unlink((temp + "-wal").c_str());
      ::unlink((temp + "-shm").c_str());
      return status;
    }
    if (replace) {
      ::unlink((path + "-wal").c_str());
      ::unlink((path + "-shm").c_str());
      if (::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return kStatusCreateIoError;
      }
    } else {
      // link() refuses an existing name, so a file another process made meanwhile survives.
      int rc = ::link(temp.c_str(), path.c_str());
      int err = errno;
      ::unlink(temp.c_str());
      if (rc != 0) return err == EEXIST ? kStatusFileExists : kStatusCreateIoError;
    }
    return kStatusOk;
  }

 private:
  int busyTimeoutMs_;
  unsigned createCounter_ = 0;
};

}  // namespace

std::unique_ptr<StorePlace> LocalFiles(int busyTimeoutMs) {
  return std::make_unique<LocalFilesPlace>(busyTimeoutMs);
}

Engine::Engine() : Engine(EngineOptions{}) {}
Engine::Engine(EngineOptions options) : Engine(options, LocalFiles(options.busyTimeoutMs)) {}

}  // namespace recman
