// The lock registry: logical locks on whole files or key ranges, shared by every workstation
// through plain files.
//
// Each locked object has a lock file "LOCKS\<name>.lck" under the installation root, a run of
// 121-byte text records (format below), read and written only while the file is held open
// exclusively, so each scan-and-claim is one step for every workstation. A workstation is known
// by its station identity, a number and a name kept in "LOCKS.TMP" in the temporary directory.
// A lock not renewed for more than 30 minutes is freed by the next scan that meets it.
//
// Lock file record (offsets from 0; texts left-aligned and blank-padded):
//   0  15  station name            15  11  station number, decimal ("-" when negative)
//   26  8  LockClock when written  34   1  type: "F" whole file, "K" key range, blank free
//   35  2  lower key length 0-40   37  40  lower key
//   77  2  upper key length 0-40   79  40  upper key
//   119 2  CR LF
// Freeing a record blanks its name, number and type; records are never removed, only reused.
//
//   storage::LockRegistry locks(session, system, console);
//   locks.SetWaitMode('P');                         // wait; Escape gives up
//   if (locks.LockKey("TranLauV", key) == 0) { ...; locks.LockRelease("TranLauV"); }
//   locks.SetWaitMode(' ');
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"
#include "platform/system.h"
#include "session/session.h"
#include "storage/user_interface.h"

namespace storage {

// Minutes since 1 January 1970 in local time (seconds rounded to the whole second first).
std::int32_t LockClockAt(const platform::LocalTime& time);

// A key as it is written into a lock file: each base-hundred byte (128 to 227) becomes its two
// decimal digits, every other byte stays.
std::string LockKeyText(std::string_view key);

// One record of a lock file, as read or to be written.
struct LockFileRecord {
  static constexpr std::size_t kSize = 121;
  static constexpr std::size_t kMaxKey = 40;

  std::string stationName;  // up to 15 bytes
  std::int32_t stationNumber = 0;
  std::int32_t stamp = 0;   // LockClock
  char type = ' ';          // 'F', 'K' or ' ' (free)
  std::string lowerKey;     // up to 40 bytes
  std::string upperKey;

  bool IsFree() const { return type == ' '; }
  std::string Format() const;
  // Parses a record; nullopt for a damaged one (wrong size, no line end, unknown type, fields
  // that are not numbers, key lengths above 40).
  static std::optional<LockFileRecord> Parse(std::string_view bytes);
};

class LockRegistry {
 public:
  static constexpr std::int32_t kStaleMinutes = 30;
  static constexpr int kMaxConflictPauseMs = 1001;
  static constexpr int kMaxBusyPauseMs = 3000;
  static constexpr int kMessageRow = 24;
  static constexpr int kFailureMessageRow = 12;
  static constexpr std::int16_t kEscape = 0x1B;

  // The registry keeps references to what it is given; they must outlive it.
  LockRegistry(const session::Session& session, platform::System& system, UserInterface& ui);
  LockRegistry(const LockRegistry&) = delete;
  LockRegistry& operator=(const LockRegistry&) = delete;

  // LockWaitMode, compared without regard to case: 'S' do not wait, 'P' wait and let the user
  // give up with Escape, anything else wait until granted.
  void SetWaitMode(char mode) { waitMode_ = mode; }
  char WaitMode() const { return waitMode_; }

  // Takes a lock of type "F" (whole file) or "K" (key range lower..upper, each cut to 40
  // bytes) in either case. 0 when held; -1 when refused (modes S and P only), for a type that
  // is neither F nor K, or when the lock file cannot be opened at all (after a message).
  std::int16_t LockAcquire(std::string_view name, std::string_view type, std::string_view lower,
                           std::string_view upper);
  // Locks the single key value, in its LockKeyText form.
  std::int16_t LockKey(std::string_view name, std::string_view key);
  // Frees the most recent lock that this run took in the lock file (never an entry that an
  // earlier run of this station left, nor another station's): 0, or -1 when it holds none.
  std::int16_t LockRelease(std::string_view name);

  // Claims this station for the life of the registry ("LOCKS.RUN" in the temporary directory,
  // held open exclusively) and frees every entry that an earlier run of this station left in
  // the lock files (a run killed outright cannot free its own). False when another program
  // holds the station: two runs on one station would take each other's entries for their
  // own. Without a temporary directory to claim in, nothing is claimed or freed.
  bool ClaimStation();

  std::int32_t LockClock();
  // This station's identity, read from (or first written to) LOCKS.TMP on first use.
  std::int32_t StationNumber();
  const std::string& StationName();  // exactly 15 bytes

  // System path of the lock file for a lock name (as given; no blanks removed).
  std::string LockFilePath(std::string_view name) const;

 private:
  enum class Scan { kGranted, kConflict };
  void EnsureIdentity();
  bool OpenLockFile(const std::string& path, platform::File& file);
  Scan ScanAndClaim(platform::File& file, char type, std::string_view lower, std::string_view upper);
  bool IsOwn(const LockFileRecord& record) const;
  static std::string NameKey(std::string_view name);
  void FreeLeftovers();

  // An entry this run took: the lock name (upper case, trimmed), where it was written, and
  // what it holds.
  struct Taken {
    std::string name;
    std::int64_t offset = 0;
    char type = ' ';
    std::string lower, upper;
  };
  std::vector<Taken> taken_;
  std::int64_t claimedAt_ = 0;  // where the last granted scan wrote this station's entry
  platform::File stationClaim_;

  const session::Session& session_;
  platform::System& system_;
  UserInterface& ui_;
  char waitMode_ = ' ';
  std::int32_t stationNumber_ = 0;
  std::string stationName_ = std::string(15, ' ');
};

}  // namespace storage
