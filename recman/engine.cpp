#include "recman/engine.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <unordered_map>

#include "recman/file_layout.h"
#include "recman/key_codec.h"
#include "recman/status.h"
#include "recman/store_place.h"

namespace recman {
namespace {

constexpr std::size_t kOwnerNameMax = 8;
constexpr char kBlockMagic[4] = {'R', 'M', 'P', 'B'};

// The open file and currency of one position block.
struct OpenFile {
  std::string hostPath;
  std::unique_ptr<Store> store;
  std::unique_ptr<RecordLocks> locks;
  bool readOnly = false;

  // Logical currency: the key of the last Get and the entry it stands on. The entry stays
  // valid as a place in the key order after its record is deleted, so Get Next and Get
  // Previous then find the neighbours.
  int logicalKey = -1;  // key index; -1 before any Get
  bool logicalValid = false;
  IndexEntry position;

  // The record read last: what Update, Delete and Get Position work on.
  std::uint32_t current = 0;
  std::string currentData;  // as read, to tell whether another client changed it since

  // Physical currency for the Steps.
  std::uint32_t physical = 0;

  std::uint32_t singleLock = 0;
  std::set<std::uint32_t> multiLocks;

  std::string scratch;

  const FileSpec& spec() const { return store->spec(); }
  bool Holds(std::uint32_t addr) const { return singleLock == addr || multiLocks.count(addr) > 0; }
};

std::uint32_t GetU32(const void* p) {
  const auto* b = static_cast<const std::uint8_t*>(p);
  return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
         (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

void PutU32(void* p, std::uint32_t v) {
  auto* b = static_cast<std::uint8_t*>(p);
  for (int i = 0; i < 4; ++i) b[i] = static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF);
}

// A NUL-terminated path from the key buffer; trailing blanks are dropped.
std::string PathFromKey(const void* keyBuffer, std::uint8_t keyLength) {
  if (!keyBuffer) return {};
  const char* p = static_cast<const char*>(keyBuffer);
  std::size_t limit = keyLength ? keyLength : 255;
  std::size_t n = 0;
  while (n < limit && p[n] != '\0') ++n;
  std::string path(p, n);
  while (!path.empty() && path.back() == ' ') path.pop_back();
  return path;
}

std::string NameFromBuffer(const void* buffer, std::uint32_t length) {
  if (!buffer) return {};
  const char* p = static_cast<const char*>(buffer);
  std::size_t n = 0;
  while (n < length && n < kOwnerNameMax && p[n] != '\0') ++n;
  std::string name(p, n);
  while (!name.empty() && name.back() == ' ') name.pop_back();
  return name;
}

}  // namespace

struct Engine::Impl {
  Impl(EngineOptions o, std::unique_ptr<StorePlace> p) : options(o), place(std::move(p)) {}
  // The classic manager waits for record locks without end; a limit keeps two clients that
  // wait on each other from hanging, and the record layer retries 84 anyway.
  EngineOptions options;
  std::unique_ptr<StorePlace> place;
  std::unordered_map<std::uint32_t, std::unique_ptr<OpenFile>> files;
  std::uint32_t nextId = 1;

  // Call context.
  struct Call {
    void* pos;
    void* data;
    std::uint32_t* dataLength;
    void* key;
    std::uint8_t keyLength;
    std::int8_t keyNumber;
    bool getKeyOnly;
    int lockBias;  // 0, 100, 200, 300, 400
  };

  OpenFile* FileOf(void* pos) {
    if (!pos) return nullptr;
    const auto* b = static_cast<const char*>(pos);
    if (std::memcmp(b, kBlockMagic, 4) != 0) return nullptr;
    auto it = files.find(GetU32(b + 4));
    return it == files.end() ? nullptr : it->second.get();
  }

  void CloseFile(void* pos) {
    auto* b = static_cast<char*>(pos);
    files.erase(GetU32(b + 4));
    std::memset(b, 0, kPositionBlockSize);
  }

  // --- helpers --------------------------------------------------------------------------

  static void WriteKey(const Call& c, const OpenFile& f, int keyIndex, const std::string& record) {
    if (!c.key || keyIndex < 0) return;
    std::string raw = ExtractKey(f.spec(), f.spec().keys[keyIndex], record);
    std::memcpy(c.key, raw.data(), raw.size());
  }

  // Copies a record into the caller's data buffer: 22 when it does not hold all of it.
  static Status ReturnRecord(const Call& c, const std::string& record) {
    std::uint32_t room = c.data ? *c.dataLength : 0;
    std::uint32_t n = std::min<std::uint32_t>(room, static_cast<std::uint32_t>(record.size()));
    if (n) std::memcpy(c.data, record.data(), n);
    *c.dataLength = n;
    return n < record.size() ? kStatusDataBufferTooShort : kStatusOk;
  }

  RecordKeys KeysOf(const FileSpec& spec, const std::string& record) {
    RecordKeys keys(spec.keys.size());
    for (std::size_t k = 0; k < spec.keys.size(); ++k) keys[k] = RecordKey(spec, spec.keys[k], record);
    return keys;
  }

  // The record of a call's data buffer: at least the fixed length, whole for variable-length
  // files; 22 when the caller passed less than the fixed part.
  static Status RecordFromCall(const Call& c, const FileSpec& spec, std::string& record) {
    std::uint32_t len = *c.dataLength;
    if (!c.data || len < spec.recordLength) return kStatusDataBufferTooShort;
    if (!spec.variableLength()) len = spec.recordLength;
    else if (len > kMaxVariableRecordLength) return kStatusDataBufferTooShort;
    record.assign(static_cast<const char*>(c.data), len);
    return kStatusOk;
  }

  void ReleaseSingle(OpenFile& f) {
    if (f.singleLock && !f.multiLocks.count(f.singleLock)) f.locks->Unlock(f.singleLock);
    f.singleLock = 0;
  }

  // Takes the record lock a call asks for. 0, or 84 when another client holds it.
  Status TakeLock(const Call& c, OpenFile& f, std::uint32_t addr, bool& newlyTaken) {
    newlyTaken = false;
    if (f.Holds(addr)) return kStatusOk;
    bool wait = c.lockBias == kLockSingleWait || c.lockBias == kLockMultipleWait;
    switch (f.locks->Lock(addr, wait, options.lockWaitLimitMs)) {
      case LockResult::kGranted: newlyTaken = true; return kStatusOk;
      case LockResult::kHeld: return kStatusRecordLocked;
      default: return kStatusIoError;
    }
  }

  // Records a lock taken by a read: a single lock replaces the previous one.
  void KeepLock(const Call& c, OpenFile& f, std::uint32_t addr) {
    if (c.lockBias == kLockSingleWait || c.lockBias == kLockSingleNoWait) {
      if (f.singleLock != addr) ReleaseSingle(f);
      f.singleLock = addr;
    } else {
      f.multiLocks.insert(addr);
    }
  }

  // Before Update or Delete: the record must not be locked by another client. guard tells
  // whether a lock was taken just for this write (to be dropped afterwards).
  Status GuardWrite(OpenFile& f, std::uint32_t addr, bool& guard) {
    guard = false;
    if (f.Holds(addr)) return kStatusOk;
    switch (f.locks->Lock(addr, false, 0)) {
      case LockResult::kGranted: guard = true; return kStatusOk;
      case LockResult::kHeld: return kStatusRecordLocked;
      default: return kStatusIoError;
    }
  }

  // --- operations -----------------------------------------------------------------------

  Status Open(const Call& c) {
    if (!c.pos) return kStatusPositionBlockLength;
    // A block names one open file: reusing a block that is still open closes that file first,
    // rather than leaving it (and its claim and locks) open with no way to reach it.
    if (FileOf(c.pos)) CloseFile(c.pos);
    std::string path = PathFromKey(c.key, c.keyLength);
    if (path.empty()) return kStatusInvalidFileName;
    bool readOnly = false, exclusive = false;
    switch (c.keyNumber) {
      case 0:   // normal
      case -1:  // accelerated: every write is committed anyway
      case -3:  // verify: SQLite checks its pages itself
        break;
      case -2: readOnly = true; break;
      case -4: exclusive = true; break;
      default: return kStatusInvalidOperation;
    }
    auto f = std::make_unique<OpenFile>();
    f->hostPath = path;
    std::unique_ptr<Store> store;
    Status status = place->Open(path, exclusive, store, f->locks);
    if (status != kStatusOk) return status;

    std::string owner;
    int ownerMode = 0;
    if ((status = store->Owner(owner, ownerMode)) != kStatusOk) return status;
    if (!owner.empty() && NameFromBuffer(c.data, c.dataLength ? *c.dataLength : 0) != owner) {
      // Modes 1 and 3 let anyone read without the owner name.
      if (ownerMode == 1 || ownerMode == 3) readOnly = true;
      else return kStatusInvalidOwner;
    }
    f->store = std::move(store);
    f->readOnly = readOnly;

    std::uint32_t id = nextId++;
    files[id] = std::move(f);
    auto* b = static_cast<char*>(c.pos);
    std::memset(b, 0, kPositionBlockSize);
    std::memcpy(b, kBlockMagic, 4);
    PutU32(b + 4, id);
    return kStatusOk;
  }

  Status Create(const Call& c) {
    std::string path = PathFromKey(c.key, c.keyLength);
    if (path.empty()) return kStatusInvalidFileName;
    if (!c.data || !c.dataLength) return kStatusPageSizeInvalid;
    FileSpec spec;
    Status status = ParseCreateBuffer(
        std::span<const std::uint8_t>(static_cast<const std::uint8_t*>(c.data), *c.dataLength), spec);
    if (status != kStatusOk) return status;
    // A key-only file would keep each record only in its key; this engine keeps every record
    // whole, so it refuses the flag rather than accept it and do otherwise. Files that carry it
    // from before still open.
    if (spec.fileFlags & kFileKeyOnly) return kStatusOperationNotAllowed;
    return place->Create(path, spec, c.keyNumber != -1);
  }

  Status Stat(const Call& c, OpenFile& f) {
    std::uint32_t records = 0;
    std::vector<std::uint32_t> distinct;
    Status status = f.store->Counts(records, distinct);
    if (status != kStatusOk) return status;
    std::string out = StatBuffer(f.spec(), records, distinct);
    return ReturnRecord(c, out);
  }

  Status Insert(const Call& c, OpenFile& f) {
    if (f.readOnly) return kStatusAccessDenied;
    const FileSpec& spec = f.spec();
    int ki = -1;
    if (c.keyNumber >= 0) {
      ki = spec.KeyIndex(c.keyNumber);
      if (ki < 0) return kStatusInvalidKeyNumber;
    } else if (c.keyNumber != -1) {
      return kStatusInvalidKeyNumber;
    }
    std::string record;
    Status status = RecordFromCall(c, spec, record);
    if (status != kStatusOk) return status;
    if ((status = f.store->Begin()) != kStatusOk) return status;
    bool assigned = false;
    for (std::size_t k = 0; k < spec.keys.size(); ++k) {
      const Key& key = spec.keys[k];
      if (!key.autoIncrement) continue;
      const Segment& seg = key.segments.front();
      if (AutoIncrementValue(seg, record) != 0) continue;
      // The highest value so far: the last entry, or the first for a descending segment.
      IndexEntry top;
      Seek how = (seg.flags & kKeyDescending) ? Seek::kFirst : Seek::kLast;
      std::int64_t highest = 0;
      status = f.store->Find(static_cast<int>(k), how, {}, 0, top, nullptr);
      if (status == kStatusOk) highest = std::max<std::int64_t>(0, DecodeAutoIncrement(seg, top.key));
      else if (status != kStatusEndOfFile) return Fail(f, status);
      std::int64_t limit = (std::int64_t{1} << (seg.length * 8 - 1)) - 1;
      if (highest >= limit) return Fail(f, kStatusDuplicateKey);
      SetAutoIncrementValue(seg, highest + 1, record);
      assigned = true;
    }
    RecordKeys keys = KeysOf(spec, record);
    std::uint32_t addr = 0;
    int dupKey = -1;
    if ((status = f.store->Insert(record, keys, addr, dupKey)) != kStatusOk) return Fail(f, status);
    IndexEntry entry;
    Status entryStatus = kStatusKeyNotFound;
    if (ki >= 0 && keys[ki]) entryStatus = f.store->EntryOf(ki, addr, *keys[ki], entry);
    if ((status = f.store->Commit()) != kStatusOk) return status;

    if (ki >= 0) {
      f.logicalKey = ki;
      f.logicalValid = entryStatus == kStatusOk;
      if (f.logicalValid) f.position = std::move(entry);
      WriteKey(c, f, ki, record);
    }
    f.current = addr;
    f.physical = addr;
    if (assigned) std::memcpy(c.data, record.data(), record.size());
    f.currentData = std::move(record);
    return kStatusOk;
  }

  Status Fail(OpenFile& f, Status status) {
    f.store->Rollback();
    return status;
  }

  Status Update(const Call& c, OpenFile& f) {
    if (f.readOnly) return kStatusAccessDenied;
    const FileSpec& spec = f.spec();
    int ki = spec.KeyIndex(c.keyNumber);
    if (ki < 0) return kStatusInvalidKeyNumber;
    if (!f.current) return kStatusInvalidPositioning;
    std::string record;
    Status status = RecordFromCall(c, spec, record);
    if (status != kStatusOk) return status;
    const std::uint32_t addr = f.current;
    bool guard = false;
    if ((status = GuardWrite(f, addr, guard)) != kStatusOk) return status;
    status = UpdateLocked(c, f, ki, addr, record);
    if (guard) f.locks->Unlock(addr);
    return status;
  }

  Status UpdateLocked(const Call& c, OpenFile& f, int ki, std::uint32_t addr, std::string& record) {
    const FileSpec& spec = f.spec();
    Status status = f.store->Begin();
    if (status != kStatusOk) return status;
    std::string old;
    status = f.store->Read(addr, old);
    if (status == kStatusInvalidRecordAddress || (status == kStatusOk && old != f.currentData))
      return Fail(f, kStatusConflict);  // deleted or changed by another client since it was read
    if (status != kStatusOk) return Fail(f, status);
    for (const Key& key : spec.keys) {
      if (!key.modifiable && ExtractKey(spec, key, old) != ExtractKey(spec, key, record))
        return Fail(f, kStatusKeyNotModifiable);
    }
    RecordKeys oldKeys = KeysOf(spec, old), newKeys = KeysOf(spec, record);
    int dupKey = -1;
    if ((status = f.store->Update(addr, record, oldKeys, newKeys, dupKey)) != kStatusOk) return Fail(f, status);
    IndexEntry entry;
    Status entryStatus = kStatusKeyNotFound;
    if (newKeys[ki]) entryStatus = f.store->EntryOf(ki, addr, *newKeys[ki], entry);
    if ((status = f.store->Commit()) != kStatusOk) return status;

    if (f.singleLock == addr) ReleaseSingle(f);
    // The position follows the record, also to a changed key value.
    f.logicalKey = ki;
    f.logicalValid = entryStatus == kStatusOk;
    if (f.logicalValid) f.position = std::move(entry);
    WriteKey(c, f, ki, record);
    f.currentData = std::move(record);
    return kStatusOk;
  }

  Status Delete(const Call&, OpenFile& f) {
    if (f.readOnly) return kStatusAccessDenied;
    if (!f.current) return kStatusInvalidPositioning;
    const std::uint32_t addr = f.current;
    bool guard = false;
    Status status = GuardWrite(f, addr, guard);
    if (status != kStatusOk) return status;
    status = f.store->Begin();
    if (status == kStatusOk) {
      std::string old;
      status = f.store->Read(addr, old);
      if (status == kStatusInvalidRecordAddress || (status == kStatusOk && old != f.currentData)) {
        status = Fail(f, kStatusConflict);
      } else if (status != kStatusOk) {
        status = Fail(f, status);
      } else if ((status = f.store->Delete(addr, KeysOf(f.spec(), old))) != kStatusOk) {
        status = Fail(f, status);
      } else {
        status = f.store->Commit();
      }
    }
    if (guard) f.locks->Unlock(addr);
    if (status != kStatusOk) return status;
    // The record is gone and so are its locks; the logical and physical positions stay where
    // it stood, so Next and Previous find its neighbours.
    if (f.singleLock == addr) ReleaseSingle(f);
    if (f.multiLocks.erase(addr)) f.locks->Unlock(addr);
    f.current = 0;
    f.currentData.clear();
    return kStatusOk;
  }

  // Get Equal to Get Last, with or without the record (Get Key).
  Status Get(const Call& c, OpenFile& f, int op) {
    const FileSpec& spec = f.spec();
    int ki = spec.KeyIndex(c.keyNumber);
    if (ki < 0) return kStatusInvalidKeyNumber;
    const Key& key = spec.keys[ki];
    std::string search;
    const bool needsKey = op == kOpGetEqual || op == kOpGetGreater || op == kOpGetGreaterOrEqual ||
                          op == kOpGetLess || op == kOpGetLessOrEqual;
    if (needsKey) {
      if (!c.key || c.keyLength < key.length) return kStatusKeyBufferTooShort;
      search = EncodeKey(spec, key, std::string_view(static_cast<const char*>(c.key), key.length));
    }
    IndexEntry from;
    if (op == kOpGetNext || op == kOpGetPrevious) {
      if (f.logicalKey < 0) return kStatusInvalidPositioning;
      if (f.logicalKey != ki) return kStatusDifferentKeyNumber;
      if (!f.logicalValid) return kStatusInvalidPositioning;
      from = f.position;
    }
    auto find = [&](IndexEntry& entry, std::string& data) -> Status {
      switch (op) {
        case kOpGetEqual: return f.store->Find(ki, Seek::kEqual, search, 0, entry, &data);
        case kOpGetNext: return f.store->Find(ki, Seek::kAfter, from.key, from.seq, entry, &data);
        case kOpGetPrevious: return f.store->Find(ki, Seek::kBefore, from.key, from.seq, entry, &data);
        case kOpGetGreater: return f.store->Find(ki, Seek::kGreater, search, 0, entry, &data);
        case kOpGetGreaterOrEqual: return f.store->Find(ki, Seek::kGreaterOrEqual, search, 0, entry, &data);
        case kOpGetLess: return f.store->Find(ki, Seek::kLess, search, 0, entry, &data);
        case kOpGetLessOrEqual: {
          // An equal key gives its first duplicate, as Get Equal does.
          Status s = f.store->Find(ki, Seek::kEqual, search, 0, entry, &data);
          return s == kStatusKeyNotFound ? f.store->Find(ki, Seek::kLess, search, 0, entry, &data) : s;
        }
        case kOpGetFirst: return f.store->Find(ki, Seek::kFirst, {}, 0, entry, &data);
        default: return f.store->Find(ki, Seek::kLast, {}, 0, entry, &data);
      }
    };
    IndexEntry entry;
    std::string& data = f.scratch;  // reused, so a read allocates nothing in the common case
    Status status = find(entry, data);
    if (status != kStatusOk) return status;
    if (c.lockBias && !c.getKeyOnly) {
      status = LockAndReread(c, f, entry.addr, [&](std::uint32_t& addr, std::string& d) {
        Status s = find(entry, d);
        addr = entry.addr;
        return s;
      }, data);
      if (status != kStatusOk) return status;
    }
    f.logicalKey = ki;
    f.logicalValid = true;
    WriteKey(c, f, ki, data);
    if (c.getKeyOnly) {
      f.position = std::move(entry);
      f.current = 0;
      f.currentData.clear();
      *c.dataLength = 0;
      return kStatusOk;
    }
    f.current = entry.addr;
    f.physical = entry.addr;
    f.position = std::move(entry);
    status = ReturnRecord(c, data);
    std::swap(f.currentData, f.scratch);
    return status;
  }

  // Locks the record a read found; after waiting for another client, reads again (the record
  // may have changed or moved meanwhile) until the lock and the record found agree.
  template <typename Refind>
  Status LockAndReread(const Call& c, OpenFile& f, std::uint32_t addr, Refind refind, std::string& data) {
    for (int attempt = 0; attempt < 20; ++attempt) {
      bool newly = false;
      Status s = TakeLock(c, f, addr, newly);
      if (s != kStatusOk) return s;
      std::uint32_t again = 0;
      s = refind(again, data);
      if (s == kStatusOk && again == addr) {
        KeepLock(c, f, addr);
        return kStatusOk;
      }
      if (newly) f.locks->Unlock(addr);
      if (s != kStatusOk) return s;
      addr = again;
    }
    return kStatusRecordLocked;
  }

  Status Step(const Call& c, OpenFile& f, int op) {
    Seek how;
    switch (op) {
      case kOpStepFirst: how = Seek::kFirst; break;
      case kOpStepLast: how = Seek::kLast; break;
      case kOpStepNext: how = Seek::kAfter; break;
      default: how = Seek::kBefore; break;
    }
    if ((how == Seek::kAfter || how == Seek::kBefore) && !f.physical) return kStatusInvalidPositioning;
    std::uint32_t addr = 0;
    std::string data;
    Status status = f.store->Step(how, f.physical, addr, data);
    if (status != kStatusOk) return status;
    if (c.lockBias) {
      const std::uint32_t from = f.physical;
      status = LockAndReread(c, f, addr, [&](std::uint32_t& a, std::string& d) {
        return f.store->Step(how, from, a, d);
      }, data);
      if (status != kStatusOk) return status;
    }
    // Steps move in the physical order only; the logical position is lost.
    f.logicalKey = -1;
    f.logicalValid = false;
    f.physical = addr;
    f.current = addr;
    status = ReturnRecord(c, data);
    f.currentData = std::move(data);
    return status;
  }

  Status GetPosition(const Call& c, OpenFile& f) {
    if (!f.current) return kStatusInvalidPositioning;
    if (!c.data || *c.dataLength < 4) return kStatusDataBufferTooShort;
    PutU32(c.data, f.current);
    *c.dataLength = 4;
    return kStatusOk;
  }

  Status GetDirect(const Call& c, OpenFile& f) {
    const FileSpec& spec = f.spec();
    if (!c.data || *c.dataLength < 4) return kStatusDataBufferTooShort;
    int ki = spec.KeyIndex(c.keyNumber);
    if (ki < 0) return kStatusInvalidKeyNumber;
    std::uint32_t addr = GetU32(c.data);
    if (addr == 0) return kStatusInvalidRecordAddress;
    std::string data;
    Status status = f.store->Read(addr, data);
    if (status != kStatusOk) return status;
    if (c.lockBias) {
      status = LockAndReread(c, f, addr, [&](std::uint32_t& a, std::string& d) {
        a = addr;
        return f.store->Read(addr, d);
      }, data);
      if (status != kStatusOk) return status;
    }
    std::optional<std::string> stored = RecordKey(spec, spec.keys[ki], data);
    IndexEntry entry;
    f.logicalKey = ki;
    f.logicalValid = stored && f.store->EntryOf(ki, addr, *stored, entry) == kStatusOk;
    if (f.logicalValid) f.position = std::move(entry);
    WriteKey(c, f, ki, data);
    f.current = addr;
    f.physical = addr;
    status = ReturnRecord(c, data);
    f.currentData = std::move(data);
    return status;
  }

  Status Unlock(const Call& c, OpenFile& f) {
    if (c.keyNumber >= 0) {
      ReleaseSingle(f);
      return kStatusOk;
    }
    if (c.keyNumber == -1) {
      if (!c.data || *c.dataLength < 4) return kStatusDataBufferTooShort;
      std::uint32_t addr = GetU32(c.data);
      if (f.multiLocks.erase(addr) && f.singleLock != addr) f.locks->Unlock(addr);
      return kStatusOk;
    }
    if (c.keyNumber == -2) {
      for (std::uint32_t a : f.multiLocks)
        if (a != f.singleLock) f.locks->Unlock(a);
      f.multiLocks.clear();
      return kStatusOk;
    }
    return kStatusInvalidOperation;
  }

  Status SetOwner(const Call& c, OpenFile& f) {
    if (f.readOnly) return kStatusAccessDenied;
    std::string name = NameFromBuffer(c.data, c.dataLength ? *c.dataLength : 0);
    std::string again = NameFromBuffer(c.key, c.keyLength);
    if (name.empty() || name != again || c.keyNumber < 0 || c.keyNumber > 3) return kStatusInvalidOwner;
    std::string owner;
    int mode = 0;
    Status status = f.store->Owner(owner, mode);
    if (status != kStatusOk) return status;
    if (!owner.empty()) return kStatusInvalidOwner;  // clear the old owner first
    return f.store->SetOwner(name, c.keyNumber);
  }

  Status ClearOwner(OpenFile& f) {
    if (f.readOnly) return kStatusAccessDenied;
    return f.store->SetOwner("", 0);
  }

  Status Version(const Call& c) {
    // Version 6.0: the level of the call surface this engine implements (programs test it to
    // choose features such as Get Key), platform letter N.
    if (!c.data || *c.dataLength < 5) return kStatusDataBufferTooShort;
    auto* b = static_cast<std::uint8_t*>(c.data);
    b[0] = 6;
    b[1] = 0;
    b[2] = 0;
    b[3] = 0;
    b[4] = 'N';
    *c.dataLength = 5;
    return kStatusOk;
  }

  Status Dispatch(std::uint16_t opCode, Call& c) {
    int op = opCode;
    c.lockBias = 0;
    if (op >= 100 && op < 500) {
      c.lockBias = (op / 100) * 100;
      op %= 100;
    }
    c.getKeyOnly = false;
    if (op >= kOpGetKeyBias + kOpGetEqual && op <= kOpGetKeyBias + kOpGetLast) {
      c.getKeyOnly = true;
      op -= kOpGetKeyBias;
    }
    switch (op) {
      case kOpCreate: return Create(c);
      case kOpVersion: return Version(c);
      case kOpReset:
      case kOpStop:
        files.clear();
        return kStatusOk;
      case kOpOpen: return Open(c);
      case kOpBeginTransaction:
      case kOpEndTransaction:
      case kOpAbortTransaction:
        return kStatusInvalidOperation;  // transactions are not offered
      default: break;
    }
    const bool known = op == kOpClose || op == kOpInsert || op == kOpUpdate || op == kOpDelete ||
                       (op >= kOpGetEqual && op <= kOpGetLast) || op == kOpStat ||
                       op == kOpGetPosition || op == kOpGetDirect || op == kOpStepNext ||
                       op == kOpUnlock || op == kOpSetOwner || op == kOpClearOwner ||
                       (op >= kOpStepFirst && op <= kOpStepPrevious);
    if (!known) return kStatusInvalidOperation;
    OpenFile* f = FileOf(c.pos);
    if (!f) return kStatusFileNotOpen;
    switch (op) {
      case kOpClose: CloseFile(c.pos); return kStatusOk;
      case kOpInsert: return Insert(c, *f);
      case kOpUpdate: return Update(c, *f);
      case kOpDelete: return Delete(c, *f);
      case kOpStat: return Stat(c, *f);
      case kOpGetPosition: return GetPosition(c, *f);
      case kOpGetDirect: return GetDirect(c, *f);
      case kOpUnlock: return Unlock(c, *f);
      case kOpSetOwner: return SetOwner(c, *f);
      case kOpClearOwner: return ClearOwner(*f);
      case kOpStepNext:
      case kOpStepFirst:
      case kOpStepLast:
      case kOpStepPrevious:
        return Step(c, *f, op);
      default: return Get(c, *f, op);
    }
  }
};

// Engine() and Engine(EngineOptions), which pick the local files, are defined beside them
// (local_files.cpp), so that programs that choose their place do not link SQLite.
Engine::Engine(EngineOptions options, std::unique_ptr<StorePlace> place)
    : impl_(std::make_unique<Impl>(options, std::move(place))) {}
Engine::~Engine() = default;

std::string Engine::PlaceProblem() const { return impl_->place->Problem(); }

std::int16_t Engine::BTRCALL(std::uint16_t op, void* posBlock, void* dataBuffer,
                             std::uint32_t* dataLength, void* keyBuffer, std::uint8_t keyLength,
                             std::int8_t keyNumber) {
  std::uint32_t noLength = 0;
  Impl::Call c{posBlock, dataBuffer, dataLength ? dataLength : &noLength, keyBuffer, keyLength,
               keyNumber, false, 0};
  return impl_->Dispatch(op, c);
}

}  // namespace recman
