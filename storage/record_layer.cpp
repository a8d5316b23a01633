#include "storage/record_layer.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/files.h"
#include "platform/paths.h"
#include "storage/messages.h"

namespace storage {
namespace {

using recman::Op;

std::uint16_t Read16(const char* p) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(p[0]) | (static_cast<unsigned char>(p[1]) << 8));
}

std::int32_t Read32(const char* p) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(p[i]);
  return static_cast<std::int32_t>(v);
}

void Write32(char* p, std::int32_t value) {
  auto v = static_cast<std::uint32_t>(value);
  for (int i = 0; i < 4; ++i) p[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// Codes that take the lock bias when the file's lock mode is not 0: the reads and steps.
bool TakesLockBias(std::uint16_t code) {
  return (code >= 5 && code <= 13) || code == 19 || (code >= 22 && code <= 24) || (code >= 33 && code <= 35);
}

constexpr std::uint16_t kSegmentContinues = 0x10;
constexpr std::uint16_t kSegmentBinary = 0x04;
constexpr std::uint16_t kSegmentCollated = 0x20;
constexpr std::size_t kStatHeaderSize = 16;
constexpr std::size_t kSegmentSpecSize = 16;
constexpr std::size_t kCollatingTableOffset = 9;  // signature byte and 8-byte name come first

// Joins the installation root and a relative system path.
std::string UnderRoot(const std::string& root, std::string_view relative) {
  std::string path = root;
  if (!path.empty() && path.back() != '\\' && path.back() != '/' && path.back() != ':') path += '\\';
  path += relative;
  return path;
}

}  // namespace

RecordFilePath SplitRecordFileName(std::string_view name) {
  RecordFilePath out;
  std::size_t split = name.size();  // start of the extension
  std::size_t dirEnd = 0;           // one past the directory part
  for (std::size_t i = name.size(); i > 0; --i) {
    char c = name[i - 1];
    if (c == ':' || c == '\\' || c == '/') {
      dirEnd = i;
      break;
    }
    if (c == '.') split = i - 1;
  }
  out.directory = std::string(name.substr(0, dirEnd));
  out.base = std::string(name.substr(dirEnd, split - dirEnd));
  out.extension = split < name.size() ? std::string(name.substr(split)) : std::string(".dat");
  return out;
}

RecordLayer::RecordLayer(recman::Engine& engine, const session::Session& session, platform::System& system,
                         UserInterface& ui, FatalOpenHandler onFatalOpen, std::string logPath)
    : ownManager_(std::make_unique<EngineRecordManager>(engine)),
      engine_(*ownManager_),
      session_(session),
      system_(system),
      ui_(ui),
      onFatalOpen_(std::move(onFatalOpen)),
      log_(system, std::move(logPath)) {}

RecordLayer::RecordLayer(RecordManager& manager, const session::Session& session, platform::System& system,
                         UserInterface& ui, FatalOpenHandler onFatalOpen, std::string logPath)
    : engine_(manager),
      session_(session),
      system_(system),
      ui_(ui),
      onFatalOpen_(std::move(onFatalOpen)),
      log_(system, std::move(logPath)) {}

RecordLayer::Slot* RecordLayer::Find(FileHandle handle) {
  if (handle == 0) return nullptr;
  for (int i = 1; i <= kSlotCount; ++i)
    if (slots_[i].handle == handle) return &slots_[i];
  return nullptr;
}

const RecordLayer::Slot* RecordLayer::Find(FileHandle handle) const {
  return const_cast<RecordLayer*>(this)->Find(handle);
}

// ---- Opening ------------------------------------------------------------------------------

Status RecordLayer::RecOpen(FileHandle handle, std::string_view name, std::span<char> area) {
  // A free slot is marked by handle 0, so 0 can name no file.
  if (handle == 0) return kStatusFileNotOpen;
  if (Find(handle)) return kStatusHandleInUse;
  int free = 0;
  for (int i = kSlotCount; i >= 1; --i) {
    if (slots_[i].handle == 0) {
      free = i;
      break;
    }
  }
  if (free == 0) return kStatusNoFreeSlot;

  Slot& slot = slots_[free];
  slot = Slot{};
  slot.handle = handle;
  slot.area = area;

  const RecordFilePath path = SplitRecordFileName(name);
  const std::string host = platform::HostPath(path.Full());
  // The path goes NUL-terminated into the key buffer.
  // Failures before the record manager has opened the file leave nothing of it to close.
  auto failUnopened = [&](Status status) {
    slot = Slot{};
    return Fail(name, status);
  };
  if (host.size() + 1 > kKeyBufferSize - 1) return failUnopened(kStatusInvalidFileName);

  bool created = false;
  for (;;) {
    slot.positionBlock.fill(0);
    char owner[sizeof kOwnerName];
    std::memcpy(owner, kOwnerName, sizeof owner);
    std::uint32_t ownerLength = sizeof owner;
    std::array<char, kKeyBufferSize> key{};
    std::memcpy(key.data(), host.c_str(), host.size() + 1);
    Status status = engine_.Call(Op::kOpOpen, slot.positionBlock.data(), owner, &ownerLength, key.data(),
                                    static_cast<std::uint8_t>(host.size() + 1), 0);
    if (status == kStatusFileLocked) {
      // Another workstation holds the file exclusively: wait for it, however long it takes.
      system_.Pause(kFileLockedPauseMs);
      continue;
    }
    if (status == kStatusFileNotFound && !created) {
      status = CreateFromDescription(path.base, host);
      // 59: another workstation created the file between our open and our create; open it.
      if (status != kStatusOk && status != kStatusFileExists) return failUnopened(status);
      // A file that still cannot be found after its creation must not loop forever.
      created = true;
      continue;
    }
    if (status != kStatusOk) return failUnopened(status);

    status = ReadLayout(slot);
    if (status != kStatusOk) return Fail(name, status);
    // Records that do not fit the caller's area (or the layer's buffers) would be cut or
    // overrun it: refuse the file.
    if (slot.layout.recordLength > area.size() || slot.layout.recordLength > kDataBufferSize)
      return Fail(name, kStatusBufferTooShort);
    slot.recordLength = slot.layout.recordLength;
    slot.keyValue.assign(static_cast<std::size_t>(KeyLength(slot, 0)), '\0');
    return kStatusOk;
  }
}

Status RecordLayer::CreateFromDescription(const std::string& base, const std::string& hostPath) {
  // The description: a 16-bit little-endian length L, then L bytes of Create data buffer.
  std::optional<std::string> description = platform::ReadWholeFile(UnderRoot(session_.RootDir, "ddf\\" + base + ".xdf"));
  if (!description || description->size() < 2) return kStatusFileNotFound;
  const std::size_t length = Read16(description->data());
  if (description->size() < 2 + length || length > kDataBufferSize) return kStatusFileNotFound;

  std::array<char, kDataBufferSize> data;
  data.fill(' ');
  std::memcpy(data.data(), description->data() + 2, length);
  std::uint32_t dataLength = kDataBufferSize;
  std::array<char, kKeyBufferSize> key{};
  std::memcpy(key.data(), hostPath.c_str(), hostPath.size() + 1);
  Slot& spare = slots_[0];
  spare.positionBlock.fill(' ');
  Status status = engine_.Call(Op::kOpCreate, spare.positionBlock.data(), data.data(), &dataLength, key.data(),
                                  static_cast<std::uint8_t>(hostPath.size() + 1), -1);
  spare.positionBlock.fill(0);
  return status;
}

Status RecordLayer::ReadLayout(Slot& slot) {
  std::array<char, kDataBufferSize> data{};
  std::uint32_t dataLength = kDataBufferSize;
  std::array<char, kKeyBufferSize> key;
  key.fill(' ');
  Status status = engine_.Call(Op::kOpStat, slot.positionBlock.data(), data.data(), &dataLength, key.data(), 255, 0);
  if (status != kStatusOk && status != kStatusBufferTooShort) return status;
  const std::size_t got = std::min<std::size_t>(dataLength, data.size());
  if (got < kStatHeaderSize) return kStatusBufferTooShort;

  Layout layout;
  layout.recordLength = Read16(data.data());
  const int keyCount = Read16(data.data() + 4);
  std::size_t offset = kStatHeaderSize;
  bool usesCollating = false;
  for (int k = 0; k < keyCount; ++k) {
    std::vector<Segment> segments;
    for (;;) {
      if (offset + kSegmentSpecSize > got) return kStatusBufferTooShort;
      Segment segment{Read16(data.data() + offset + 2), Read16(data.data() + offset + 4)};
      offset += kSegmentSpecSize;
      segments.push_back(segment);
      if (segment.flags & kSegmentCollated) usesCollating = true;
      if (!(segment.flags & kSegmentContinues)) break;
    }
    layout.keys.push_back(std::move(segments));
  }
  // The alternate collating sequence block follows the last segment specification.
  if (usesCollating && offset + kCollatingTableOffset + 256 <= got) {
    std::array<unsigned char, 256> table;
    std::memcpy(table.data(), data.data() + offset + kCollatingTableOffset, 256);
    layout.collating = table;
  }
  slot.layout = std::move(layout);
  return kStatusOk;
}

Status RecordLayer::Fail(std::string_view name, Status status) {
  ui_.MessageBox(kFailureMessageRow, CannotAccessMessage(session_.Language, platform::HostPath(name), status));
  ui_.Beep();
  ui_.FlushKeys();
  ui_.GetKey();
  ui_.WinClose();
  // Close every file, then release whatever this program still holds.
  for (int i = 1; i <= kSlotCount; ++i) {
    Slot& slot = slots_[i];
    if (slot.handle == 0) continue;
    std::uint32_t length = 0;
    char data[1] = {0};
    char key[1] = {0};
    engine_.Call(Op::kOpClose, slot.positionBlock.data(), data, &length, key, 0, 0);
  }
  RecResetAll();
  for (int i = 1; i <= kSlotCount; ++i) slots_[i] = Slot{};
  if (onFatalOpen_) onFatalOpen_(kFatalOpenExitStatus);
  return status;
}

// ---- Table-wide operations -----------------------------------------------------------------

Status RecordLayer::RecResetAll() {
  std::uint32_t length = 0;
  Slot& spare = slots_[0];
  spare.positionBlock.fill(0);
  char data[1] = {0};
  char key[1] = {0};
  Status status = engine_.Call(Op::kOpReset, spare.positionBlock.data(), data, &length, key, 0, 0);
  if (status == kStatusOk)
    for (int i = 1; i <= kSlotCount; ++i) slots_[i] = Slot{};
  return status;
}

int RecordLayer::KeyLength(const Slot& slot, int keyNumber) const {
  if (keyNumber < 0 || keyNumber >= static_cast<int>(slot.layout.keys.size())) return 0;
  int length = 0;
  for (const Segment& segment : slot.layout.keys[static_cast<std::size_t>(keyNumber)]) length += segment.length;
  return length;
}

void RecordLayer::RecKeyInfo(FileHandle handle, int keyNumber, int& keyLength, int& recordLength) const {
  const Slot* slot = Find(handle);
  if (!slot) {
    keyLength = 0;
    recordLength = 0;
    return;
  }
  keyLength = KeyLength(*slot, keyNumber);
  recordLength = static_cast<int>(slot->layout.recordLength);
}

// ---- The executor --------------------------------------------------------------------------

Status RecordLayer::Execute(Slot& slot, std::uint16_t code) {
  std::uint16_t op = code;
  if (slot.lockMode != 0 && TakesLockBias(code)) op = static_cast<std::uint16_t>(op + recman::kLockSingleNoWait);

  // Key buffer padding: Get Greater (or Equal) looks from the lowest value on, Get Less (or
  // Equal) from the highest.
  char pad = ' ';
  if (code == Op::kOpGetGreater || code == Op::kOpGetGreaterOrEqual) pad = '\0';
  if (code == Op::kOpGetLess || code == Op::kOpGetLessOrEqual) pad = '\xFF';

  const std::size_t keyLength = slot.keyValue.size();
  int attempts = 0;
  bool shown = false;
  for (;;) {
    if (attempts == 1 && !shown) {
      ui_.MessageBox(kLockMessageRow, RecordLockedMessage(session_.Language));
      shown = true;
    }
    std::array<char, kDataBufferSize> data{};
    std::memcpy(data.data(), slot.area.data(), slot.recordLength);
    std::uint32_t dataLength = slot.recordLength;
    std::array<char, kKeyBufferSize> key;
    key.fill(pad);
    std::memcpy(key.data(), slot.keyValue.data(), keyLength);

    Status status = engine_.Call(op, slot.positionBlock.data(), data.data(), &dataLength, key.data(),
                                    static_cast<std::uint8_t>(keyLength), static_cast<std::int8_t>(slot.keyNumber));
    std::memcpy(slot.area.data(), data.data(), std::min<std::size_t>(slot.recordLength, dataLength));
    slot.keyValue.assign(key.data(), keyLength);

    if ((status == kStatusRecordLocked || status == kStatusFileLocked) && slot.lockMode == 1) {
      system_.Pause(1 + static_cast<int>(system_.Random(kMaxRecordLockPauseMs)));
      attempts = std::min(attempts + 1, 2);
      continue;
    }
    if (shown) ui_.WinClose();
    return status;
  }
}

// One move outside the executor: private buffers, no lock bias, no waiting. `key` goes in as
// the key buffer and comes back as the found key, exactly the key's length.
Status RecordLayer::PrivateMove(Slot& slot, std::uint16_t code, std::string& key) {
  std::array<char, kDataBufferSize> data{};
  std::uint32_t dataLength = kDataBufferSize;
  std::array<char, kKeyBufferSize> keyBuffer{};
  std::memcpy(keyBuffer.data(), key.data(), key.size());
  Status status = engine_.Call(code, slot.positionBlock.data(), data.data(), &dataLength, keyBuffer.data(),
                                  static_cast<std::uint8_t>(key.size()), static_cast<std::int8_t>(slot.keyNumber));
  if (status == kStatusBufferTooShort) status = kStatusOk;
  if (status == kStatusOk) key.assign(keyBuffer.data(), key.size());
  return status;
}

std::int32_t RecordLayer::GetPosition(Slot& slot, Status& status) {
  std::array<char, kDataBufferSize> data{};
  std::uint32_t dataLength = 4;
  char key[1] = {0};
  status = engine_.Call(Op::kOpGetPosition, slot.positionBlock.data(), data.data(), &dataLength, key, 0, 0);
  if (status != kStatusOk) return 0;
  return Read32(data.data());
}

// Get Direct by a physical position. With load, the record area and key value receive what
// was read; without, both are left alone (used to return to a remembered record).
Status RecordLayer::GetDirect(Slot& slot, std::int32_t position, bool load) {
  std::array<char, kDataBufferSize> data{};
  Write32(data.data(), position);
  std::uint32_t dataLength = kDataBufferSize;
  const std::size_t keyLength = slot.keyValue.size();
  std::array<char, kKeyBufferSize> key{};
  std::memcpy(key.data(), slot.keyValue.data(), keyLength);
  Status status = engine_.Call(Op::kOpGetDirect, slot.positionBlock.data(), data.data(), &dataLength, key.data(),
                                  static_cast<std::uint8_t>(keyLength), static_cast<std::int8_t>(slot.keyNumber));
  if (status == kStatusBufferTooShort) status = kStatusOk;
  if (load && status == kStatusOk) {
    slot.keyValue.assign(key.data(), keyLength);
    std::memcpy(slot.area.data(), data.data(), std::min<std::size_t>(slot.recordLength, dataLength));
  }
  return status;
}

// ---- Reading -------------------------------------------------------------------------------

Status RecordLayer::RecFind(FileHandle handle, int keyNumber, std::string_view key, int direction) {
  Slot* slot = Find(handle);
  if (!slot) return kStatusFileNotOpen;
  const int keyLength = KeyLength(*slot, keyNumber);
  if (keyLength == 0) return kStatusNoSuchKey;
  slot->keyNumber = keyNumber;
  slot->keyValue.assign(key.substr(0, static_cast<std::size_t>(keyLength)));
  slot->keyValue.resize(static_cast<std::size_t>(keyLength), '\0');
  const std::uint16_t code = direction == 0 ? Op::kOpGetEqual : direction > 0 ? Op::kOpGetGreaterOrEqual : Op::kOpGetLessOrEqual;
  Status status = Execute(*slot, code);
  return status == kStatusBufferTooShort ? kStatusOk : status;
}

Status RecordLayer::RecSkip(FileHandle handle, int count) {
  Slot* slot = Find(handle);
  if (!slot) return kStatusFileNotOpen;
  if (count == 0) return kStatusOk;
  const std::uint16_t code = count >= 0 ? Op::kOpGetNext : Op::kOpGetPrevious;
  long n = count < 0 ? -static_cast<long>(count) : count;
  Status status = kStatusOk;
  // All moves but the last leave the record area alone.
  std::string key = slot->keyValue;
  while (n > 1 && status == kStatusOk) {
    status = PrivateMove(*slot, code, key);
    if (status == kStatusOk) slot->keyValue = key;
    --n;
  }
  if (n == 1 && status == kStatusOk) {
    status = Execute(*slot, code);
    if (status == kStatusBufferTooShort) status = kStatusOk;
  }
  return status;
}

std::int32_t RecordLayer::RecPosition(FileHandle handle, std::int32_t position) {
  Slot* slot = Find(handle);
  if (!slot) return position == 0 ? 0 : kStatusFileNotOpen;
  if (position == 0) {
    Status status = kStatusOk;
    return GetPosition(*slot, status);
  }
  return GetDirect(*slot, position, true);
}

bool RecordLayer::RecProbe(FileHandle handle, int count, std::string_view limit) {
  Slot* slot = Find(handle);
  if (!slot) return false;
  Status positionStatus = kStatusOk;
  const std::int32_t remembered = GetPosition(*slot, positionStatus);

  const std::uint16_t code = count >= 0 ? Op::kOpGetNext : Op::kOpGetPrevious;
  long n = count < 0 ? -static_cast<long>(count) : count;
  std::string key = slot->keyValue;
  Status status = kStatusOk;
  long moved = 0;
  for (; moved < n; ++moved) {
    status = PrivateMove(*slot, code, key);
    if (status != kStatusOk) break;
  }

  bool result = false;
  if (status == kStatusOk) {
    std::string form = KeyCompareForm(std::string_view(key).substr(0, limit.size()), handle);
    result = count >= 0 ? form <= limit : form >= limit;
  }
  if (positionStatus == kStatusOk) {
    GetDirect(*slot, remembered, false);
  } else {
    // No current record to return to (right after a delete the file keeps only its place
    // between two records): take back each move with one the other way.
    const std::uint16_t back = code == Op::kOpGetNext ? Op::kOpGetPrevious : Op::kOpGetNext;
    for (long i = 0; i < moved; ++i) {
      if (PrivateMove(*slot, back, key) != kStatusOk) break;
    }
  }
  return result;
}

// ---- Writing -------------------------------------------------------------------------------

Status RecordLayer::RecInsert(FileHandle handle) {
  Slot* slot = Find(handle);
  if (!slot) return kStatusFileNotOpen;
  Status status = Execute(*slot, Op::kOpInsert);
  log_.Write(handle, Op::kOpInsert, status);
  if (status != kStatusOk) ClearKey(*slot);
  return status;
}

Status RecordLayer::RecUpdate(FileHandle handle) {
  Slot* slot = Find(handle);
  if (!slot) return kStatusFileNotOpen;
  Status positionStatus = kStatusOk;
  const std::int32_t remembered = GetPosition(*slot, positionStatus);
  Status status = Execute(*slot, Op::kOpUpdate);
  log_.Write(handle, Op::kOpUpdate, status);
  if (status == kStatusBufferTooShort) status = kStatusOk;
  if (status != kStatusOk) ClearKey(*slot);
  // Reload what the file now holds, so the area shows the record as stored.
  if (positionStatus == kStatusOk) GetDirect(*slot, remembered, true);
  return status;
}

Status RecordLayer::RecDelete(FileHandle handle) {
  Slot* slot = Find(handle);
  if (!slot) return kStatusFileNotOpen;
  Status status = Execute(*slot, Op::kOpDelete);
  if (status != kStatusOk) ClearKey(*slot);
  return status;
}

// ---- Lock modes ----------------------------------------------------------------------------

Status RecordLayer::RecLockMode(FileHandle handle, std::string_view letters) {
  Slot* slot = Find(handle);
  if (!slot) return kStatusFileNotOpen;
  const int index = static_cast<int>(slot - slots_.data());
  for (char c : letters) {
    switch (c) {
      case 'D': case 'd': slot->lockMode = 0; break;
      case 'A': case 'a': slot->lockMode = 1; break;
      case 'B': case 'b': slot->lockMode = 2; break;
      case '+': lockModeStack_.emplace_back(index, slot->lockMode); break;
      case '-':
        for (auto it = lockModeStack_.rbegin(); it != lockModeStack_.rend(); ++it) {
          if (it->first == index) {
            slot->lockMode = it->second;
            lockModeStack_.erase(std::next(it).base());
            break;
          }
        }
        break;
      default: break;
    }
  }
  return kStatusOk;
}

std::optional<int> RecordLayer::LockMode(FileHandle handle) const {
  const Slot* slot = Find(handle);
  if (!slot) return std::nullopt;
  return slot->lockMode;
}

// ---- Keys ----------------------------------------------------------------------------------

std::string RecordLayer::KeyCompareForm(std::string_view key, FileHandle handle) const {
  std::string text(key);
  const Slot* slot = Find(handle);
  if (!slot) return text;
  const auto keyNumber = static_cast<std::size_t>(slot->keyNumber);
  if (keyNumber >= slot->layout.keys.size()) return text;
  std::size_t start = 0;
  for (const Segment& segment : slot->layout.keys[keyNumber]) {
    const std::size_t end = start + segment.length;
    if (segment.flags & kSegmentBinary) {
      // A little-endian number: its bytes reversed sort as the number does.
      if (text.size() < end) text.resize(end, '\0');
      std::reverse(text.begin() + static_cast<std::ptrdiff_t>(start), text.begin() + static_cast<std::ptrdiff_t>(end));
    } else if ((segment.flags & kSegmentCollated) && slot->layout.collating) {
      for (std::size_t i = start; i < end && i < text.size(); ++i)
        text[i] = static_cast<char>((*slot->layout.collating)[static_cast<unsigned char>(text[i])]);
    }
    start = end;
  }
  return text;
}

std::string RecordLayer::CurrentKeyCompareForm(FileHandle handle) const {
  const Slot* slot = Find(handle);
  if (!slot) return std::string();
  return KeyCompareForm(slot->keyValue, handle);
}

std::optional<std::string> RecordLayer::CurrentKeyValue(FileHandle handle) const {
  const Slot* slot = Find(handle);
  if (!slot) return std::nullopt;
  return slot->keyValue;
}

std::optional<int> RecordLayer::CurrentKeyNumber(FileHandle handle) const {
  const Slot* slot = Find(handle);
  if (!slot) return std::nullopt;
  return slot->keyNumber;
}

}  // namespace storage
