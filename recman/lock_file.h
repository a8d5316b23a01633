// Record locks and open claims shared by every process on the host, kept in a side file beside
// the record file ("<file>-lock"), never on the database file itself, where SQLite's own locks
// live.
//
// The locks are open-file-description byte-range locks (F_OFD_SETLK): each open of a record
// file opens the side file anew, so two opens conflict with each other even inside one process,
// and the system drops every lock of a process that dies.
//   byte 0            the open claim: shared for a normal open, exclusive for an exclusive one
//   byte <address>    a record lock (record addresses start at 1)
#pragma once

#include <cstdint>
#include <string>

#include "recman/status.h"
#include "recman/store_place.h"

namespace recman {

class LockFile : public RecordLocks {
 public:
  enum class Claim { kShared, kExclusive };
  using Result = LockResult;

  LockFile() = default;
  LockFile(const LockFile&) = delete;
  LockFile& operator=(const LockFile&) = delete;
  ~LockFile() override { Close(); }

  // Opens the side file of a record file and takes the open claim. 0; 85 when another holds an
  // exclusive claim (or, for kExclusive, any claim); 2 when the side file cannot be opened.
  Status Open(const std::string& recordFileHostPath, Claim claim);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }

  // Locks one record. With wait, retries until it is free or waitLimitMs have passed.
  Result Lock(std::uint32_t addr, bool wait, int waitLimitMs) override;
  void Unlock(std::uint32_t addr) override;

  static std::string SidePath(const std::string& recordFileHostPath) { return recordFileHostPath + "-lock"; }

 private:
  int fd_ = -1;
};

}  // namespace recman
