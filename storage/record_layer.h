// The record file access layer: the framework's only road to the record files.
//
// A program opens each record file under a handle of its own choosing and names the memory
// area that holds the file's current record; from then on it moves through the file by key and
// reads, inserts, updates and deletes through this layer:
//
//   storage::RecordLayer records(engine, session, system, console, onFatalOpen);
//   std::array<char, 300> area{};
//   records.RecOpen(508, "DADES\\TranLauV", area);        // opens DADES\TranLauV.dat
//   storage::Status st = records.RecFind(508, 0, key, 0);  // Get Equal on key 0
//   ...
//   records.RecResetAll();                                 // when the program ends
//
// Every operation answers a status word (storage/status.h); nothing throws. The one exception
// is a file that cannot be opened or created at all: RecOpen shows a message, waits for a key,
// closes every file and then calls the program's FatalOpenHandler, which ends the program
// (restoring the terminal first). Should the handler return (as in tests), RecOpen returns the
// failing status with the table emptied.
//
// Locks: with lock mode 1 ("A") reads take a single-record no-wait lock and, while another
// workstation holds the record, the layer waits with a message and random pauses; mode 2 ("B")
// passes 84/85 back at once; mode 0 ("D") takes no locks.
//
// Inserts and updates leave a line in the change log (storage/access_log.h).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/system.h"
#include "recman/engine.h"
#include "session/session.h"
#include "storage/access_log.h"
#include "storage/record_manager.h"
#include "storage/status.h"
#include "storage/user_interface.h"

namespace storage {

// A program's own number for an open record file; never 0.
using FileHandle = std::int16_t;

// Called once the fatal-open message has been acknowledged and every file closed; the program
// ends there with the status it is given.
using FatalOpenHandler = std::function<void(int exitStatus)>;

// The exit status of a program ended by a file that cannot be opened. Not 0, so that a script
// running the program can tell the failure from a normal end.
constexpr int kFatalOpenExitStatus = 1;

// How a record file name becomes the path handed to the record manager: the directory part is
// everything up to the last ":", "\" or "/"; the extension is everything from the first dot of
// the last element, ".dat" when it has none.
struct RecordFilePath {
  std::string directory;  // "DADES\" (separator included), or empty
  std::string base;       // "FinquesV"
  std::string extension;  // ".dat", ".b.c"
  std::string Full() const { return directory + base + extension; }
};
RecordFilePath SplitRecordFileName(std::string_view name);

class RecordLayer {
 public:
  static constexpr int kSlotCount = 40;
  // Working buffers of each call: records hold at most this many bytes, paths and keys less
  // than the key buffer.
  static constexpr std::size_t kDataBufferSize = 1536;
  static constexpr std::size_t kKeyBufferSize = 256;
  // Owner name handed to every open. Our files carry no owner, so any name is accepted.
  static constexpr char kOwnerName[5] = {'M', 'O', 'D', 'C', '\0'};
  // Pause between opens of a file locked by another workstation.
  static constexpr int kFileLockedPauseMs = 3000;
  // Record-lock waits pause 1 to this many milliseconds.
  static constexpr int kMaxRecordLockPauseMs = 10001;
  // Screen rows of the layer's messages.
  static constexpr int kLockMessageRow = 24;
  static constexpr int kFailureMessageRow = 12;

  // The layer keeps references to everything it is given; they must outlive it.
  // logPath names the change log (normally "db.log" in the working directory).
  RecordLayer(recman::Engine& engine, const session::Session& session, platform::System& system,
              UserInterface& ui, FatalOpenHandler onFatalOpen, std::string logPath = "db.log");
  // The same over any record manager (tests wrap the engine to watch or steer its answers).
  RecordLayer(RecordManager& manager, const session::Session& session, platform::System& system,
              UserInterface& ui, FatalOpenHandler onFatalOpen, std::string logPath = "db.log");
  RecordLayer(const RecordLayer&) = delete;
  RecordLayer& operator=(const RecordLayer&) = delete;

  // Opens the file `name` (a system path, default extension ".dat") under `handle`, with
  // `area` as its record area. A missing file is created from its description
  // RootDir + "ddf\" + base name + ".xdf". Answers 0, 1002 (handle already open), 1003 (no free
  // slot), 3 (handle 0); any other failure is fatal (see above). A file whose records are
  // longer than the area (or than kDataBufferSize) is refused as a failure with status 22.
  Status RecOpen(FileHandle handle, std::string_view name, std::span<char> area);

  // Reset: releases every file and lock of this program; on success the table is empty.
  Status RecResetAll();

  // Key length of keyNumber and record length of the file; both 0 when the file is not open,
  // the key length 0 when the file has no such key.
  void RecKeyInfo(FileHandle handle, int keyNumber, int& keyLength, int& recordLength) const;

  // Makes keyNumber current and reads by `key` (cut or padded with NUL bytes to the key's
  // length): direction 0 equal, above 0 greater or equal, below 0 less or equal. 1004 when the
  // key does not exist. 22 counts as 0.
  Status RecFind(FileHandle handle, int keyNumber, std::string_view key, int direction);

  // Moves count records along the current key (negative: backwards); only the last record
  // reaches the record area. A failing move stops there with its status. Count 0 does nothing.
  Status RecSkip(FileHandle handle, int count);

  // position 0: the current record's physical position (0 on failure or when not open).
  // Otherwise: reads the record at that position into the area and answers the status.
  std::int32_t RecPosition(FileHandle handle, std::int32_t position);

  // Write the record area as a new record / over the current record; delete the current record.
  // A failure fills the key value with NUL bytes. Insert and update are logged. After an update
  // the area and key value are reloaded from the file.
  Status RecInsert(FileHandle handle);
  Status RecUpdate(FileHandle handle);
  Status RecDelete(FileHandle handle);

  // Letters in either case: D mode 0, A mode 1, B mode 2; "+" pushes the file's mode, "-"
  // restores its most recent pushed mode. Answers 3 when the file is not open, else 0.
  Status RecLockMode(FileHandle handle, std::string_view letters);

  // True when a record lies |count| steps away (forwards for count >= 0) whose key's compare
  // form, cut to the limit's length, is not beyond the limit. The position, record area and key
  // value are left as they were. An empty limit asks only whether the record exists.
  bool RecProbe(FileHandle handle, int count, std::string_view limit);

  // The key (of the file's current key number) rewritten so that plain byte order equals the
  // file's key order: binary segments reversed, collated segments translated. Unchanged when
  // the file is not open.
  std::string KeyCompareForm(std::string_view key, FileHandle handle) const;
  // KeyCompareForm of the current key value; empty when not open.
  std::string CurrentKeyCompareForm(FileHandle handle) const;

  // The current key value and key number of an open file (nullopt when not open).
  std::optional<std::string> CurrentKeyValue(FileHandle handle) const;
  std::optional<int> CurrentKeyNumber(FileHandle handle) const;
  std::optional<int> LockMode(FileHandle handle) const;

 private:
  struct Segment {
    std::uint16_t length = 0;
    std::uint16_t flags = 0;
  };
  // What Stat reports of a file; fixed while the file is open, so read once at open.
  struct Layout {
    std::uint32_t recordLength = 0;
    std::vector<std::vector<Segment>> keys;
    std::optional<std::array<unsigned char, 256>> collating;
  };
  struct Slot {
    FileHandle handle = 0;
    std::array<char, recman::kPositionBlockSize> positionBlock{};
    std::span<char> area;
    std::uint32_t recordLength = 0;
    int keyNumber = 0;
    std::string keyValue;
    int lockMode = 0;
    Layout layout;
  };

  Slot* Find(FileHandle handle);
  const Slot* Find(FileHandle handle) const;
  Status Fail(std::string_view name, Status status);
  Status CreateFromDescription(const std::string& base, const std::string& hostPath);
  Status ReadLayout(Slot& slot);
  int KeyLength(const Slot& slot, int keyNumber) const;
  Status Execute(Slot& slot, std::uint16_t code);
  Status PrivateMove(Slot& slot, std::uint16_t code, std::string& key);
  std::int32_t GetPosition(Slot& slot, Status& status);
  Status GetDirect(Slot& slot, std::int32_t position, bool load);
  void ClearKey(Slot& slot) { slot.keyValue.assign(slot.keyValue.size(), '\0'); }

  std::unique_ptr<RecordManager> ownManager_;  // the adapter when built from an engine
  RecordManager& engine_;
  const session::Session& session_;
  platform::System& system_;
  UserInterface& ui_;
  FatalOpenHandler onFatalOpen_;
  AccessLog log_;
  // Index 0 is the spare position block of Create and Reset; 1..40 the open-file table.
  std::array<Slot, kSlotCount + 1> slots_;
  // The lock mode stack: (slot, saved mode) pairs, most recent last.
  std::vector<std::pair<int, int>> lockModeStack_;
};

}  // namespace storage
