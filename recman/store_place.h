// Where record files live. The engine asks its StorePlace to open and to create files; the
// place answers with the file's Store and with the file's locks (its open claim and its record
// locks, shared by every client of the file, wherever it runs).
//
//   LocalFiles     SQLite files on this host's file system, locks in a side file (the default)
//   a server place record files on a database server, loaded only when a server is named
//                  (server_place.h)
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "recman/file_layout.h"
#include "recman/status.h"
#include "recman/store.h"

namespace recman {

enum class LockResult { kGranted, kHeld, kError };

// The record locks of one open file. They belong to that open alone: two opens of one file,
// even in one process, hold their locks against each other; every lock goes when the open is
// closed or its process dies.
class RecordLocks {
 public:
  virtual ~RecordLocks() = default;
  // Locks one record. With wait, retries until it is free or waitLimitMs have passed.
  virtual LockResult Lock(std::uint32_t addr, bool wait, int waitLimitMs) = 0;
  virtual void Unlock(std::uint32_t addr) = 0;
};

class StorePlace {
 public:
  virtual ~StorePlace() = default;

  // Opens an existing record file and takes its open claim (exclusive: no other open at all).
  // 0; 12 no such file; 85 claimed; 30 not a record file; 2 unreadable or unreachable.
  virtual Status Open(const std::string& path, bool exclusive, std::unique_ptr<Store>& store,
                      std::unique_ptr<RecordLocks>& locks) = 0;
  // Makes a new, empty record file. Without replace: 59 when the file exists. With replace an
  // existing file is replaced, 85 while it is open anywhere. No client ever sees a half-made
  // file.
  virtual Status Create(const std::string& path, const FileSpec& spec, bool replace) = 0;
  // Why the last call that answered 2 failed, in words for a message; empty when unknown.
  virtual std::string Problem() const { return {}; }
};

// SQLite files on this host; writes wait up to busyTimeoutMs for other writers.
std::unique_ptr<StorePlace> LocalFiles(int busyTimeoutMs);

// The same files, with SQLite loaded from its module (kLocalFilesModule) at the first Open or
// Create rather than with the program: programs that must show a screen before anything else
// use it. When the module cannot be loaded, Open and Create answer 2.
inline constexpr const char* kLocalFilesModule = "librecman_local.so";
std::unique_ptr<StorePlace> LocalFilesOnFirstUse(int busyTimeoutMs);

}  // namespace recman
