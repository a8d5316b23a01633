#include "storage/lock_registry.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <filesystem>

#include "platform/paths.h"
#include "storage/messages.h"

namespace storage {
namespace {

constexpr std::size_t kNameOffset = 0, kNameWidth = 15;
constexpr std::size_t kNumberOffset = 15, kNumberWidth = 11;
constexpr std::size_t kStampOffset = 26, kStampWidth = 8;
constexpr std::size_t kTypeOffset = 34;
constexpr std::size_t kLowerLengthOffset = 35, kLowerOffset = 37;
constexpr std::size_t kUpperLengthOffset = 77, kUpperOffset = 79;
constexpr std::size_t kLengthWidth = 2;
constexpr std::size_t kLineEndOffset = 119;

// The station file: 4-byte little-endian number, then the 15-byte name.
constexpr std::size_t kStationFileSize = 19;
// Tries at a station file held by another program of this terminal before doing without it.
constexpr int kStationFileAttempts = 20;

std::string Padded(std::string_view text, std::size_t width) {
  std::string out(text.substr(0, width));
  out.resize(width, ' ');
  return out;
}

std::string_view TrimRight(std::string_view text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

std::string_view Trim(std::string_view text) {
  text = TrimRight(text);
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  return text;
}

// A left-aligned decimal field: digits (a "-" first when allowed), then only blanks.
std::optional<std::int64_t> ParseField(std::string_view field, bool allowSign) {
  std::string_view digits = TrimRight(field);
  if (digits.empty()) return std::nullopt;
  if (digits.front() == '-' && !allowSign) return std::nullopt;
  std::int64_t value = 0;
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return value;
}

std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  // Days since 1970-01-01 of a proleptic Gregorian date.
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

std::string UnderRoot(const std::string& root, std::string_view relative) {
  std::string path = root;
  if (!path.empty() && path.back() != '\\' && path.back() != '/' && path.back() != ':') path += '\\';
  path += relative;
  return path;
}

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Whether a requested key range meets a record's range, comparing as many leading bytes as
// both sides have.
bool RangesMeet(std::string_view lower, std::string_view upper, const LockFileRecord& record) {
  const std::size_t first = std::min(record.lowerKey.size(), lower.size());
  const std::size_t second = std::min(record.upperKey.size(), upper.size());
  const std::string recordUpper = Padded(record.upperKey, LockFileRecord::kMaxKey);
  const std::string recordLower = Padded(record.lowerKey, LockFileRecord::kMaxKey);
  if (lower.substr(0, first) > std::string_view(recordUpper).substr(0, first)) return false;
  if (upper.substr(0, second) < std::string_view(recordLower).substr(0, second)) return false;
  return true;
}

std::string FreeRecordBytes() {
  std::string bytes(LockFileRecord::kSize, ' ');
  bytes[kLineEndOffset] = '\r';
  bytes[kLineEndOffset + 1] = '\n';
  return bytes;
}

// Blanks the station name, number and type of a record in place.
void Free(std::string& bytes) {
  std::fill(bytes.begin() + kNameOffset, bytes.begin() + kNumberOffset + kNumberWidth, ' ');
  bytes[kTypeOffset] = ' ';
}

// The whole lock file in one read; a file that cannot be read counts as empty.
std::string ReadAll(const platform::File& file) {
  const std::int64_t size = file.Size();
  if (size <= 0) return std::string();
  std::string contents(static_cast<std::size_t>(size), ' ');
  const std::int64_t got = file.ReadAt(0, contents);
  contents.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
  return contents;
}

}  // namespace

std::int32_t LockClockAt(const platform::LocalTime& t) {
  const std::int64_t days = DaysFromCivil(t.year, static_cast<unsigned>(t.month), static_cast<unsigned>(t.day));
  const std::int64_t seconds = t.hour * 3600 + t.minute * 60 + t.second + (t.millisecond >= 500 ? 1 : 0);
  return static_cast<std::int32_t>(days * 1440 + seconds / 60);
}

std::string LockKeyText(std::string_view key) {
  std::string text;
  for (char c : key) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 128 && byte <= 227) {
      const int pair = byte - 128;
      text += static_cast<char>('0' + pair / 10);
      text += static_cast<char>('0' + pair % 10);
    } else {
      text += c;
    }
  }
  return text;
}

std::string LockFileRecord::Format() const {
  std::string bytes;
  bytes.reserve(kSize);
  bytes += Padded(stationName, kNameWidth);
  bytes += Padded(std::to_string(stationNumber), kNumberWidth);
  bytes += Padded(std::to_string(stamp), kStampWidth);
  bytes += type;
  const std::string_view lower = std::string_view(lowerKey).substr(0, kMaxKey);
  const std::string_view upper = std::string_view(upperKey).substr(0, kMaxKey);
  bytes += Padded(std::to_string(lower.size()), kLengthWidth);
  bytes += Padded(lower, kMaxKey);
  bytes += Padded(std::to_string(upper.size()), kLengthWidth);
  bytes += Padded(upper, kMaxKey);
  bytes += "\r\n";
  return bytes;
}

std::optional<LockFileRecord> LockFileRecord::Parse(std::string_view bytes) {
  if (bytes.size() != kSize || bytes.substr(kLineEndOffset) != "\r\n") return std::nullopt;
  LockFileRecord record;
  record.type = Upper(bytes[kTypeOffset]);
  record.stationName = std::string(bytes.substr(kNameOffset, kNameWidth));
  if (record.type == ' ') return record;
  if (record.type != 'F' && record.type != 'K') return std::nullopt;
  auto number = ParseField(bytes.substr(kNumberOffset, kNumberWidth), true);
  auto stamp = ParseField(bytes.substr(kStampOffset, kStampWidth), false);
  if (!number || !stamp || *number < INT32_MIN || *number > INT32_MAX || *stamp > INT32_MAX) return std::nullopt;
  record.stationNumber = static_cast<std::int32_t>(*number);
  record.stamp = static_cast<std::int32_t>(*stamp);
  if (record.type == 'K') {
    auto lowerLength = ParseField(bytes.substr(kLowerLengthOffset, kLengthWidth), false);
    auto upperLength = ParseField(bytes.substr(kUpperLengthOffset, kLengthWidth), false);
    if (!lowerLength || !upperLength || *lowerLength > static_cast<std::int64_t>(kMaxKey) ||
        *upperLength > static_cast<std::int64_t>(kMaxKey))
      return std::nullopt;
    record.lowerKey = std::string(bytes.substr(kLowerOffset, static_cast<std::size_t>(*lowerLength)));
    record.upperKey = std::string(bytes.substr(kUpperOffset, static_cast<std::size_t>(*upperLength)));
  }
  return record;
}

LockRegistry::LockRegistry(const session::Session& session, platform::System& system, UserInterface& ui)
    : session_(session), system_(system), ui_(ui) {}

std::int32_t LockRegistry::LockClock() { return LockClockAt(system_.Now()); }

std::string LockRegistry::LockFilePath(std::string_view name) const {
  return UnderRoot(session_.RootDir, "LOCKS\\" + std::string(name) + ".lck");
}

std::int32_t LockRegistry::StationNumber() {
  EnsureIdentity();
  return stationNumber_;
}

const std::string& LockRegistry::StationName() {
  EnsureIdentity();
  return stationName_;
}

void LockRegistry::EnsureIdentity() {
  if (stationNumber_ != 0) return;
  platform::File file;
  const std::string path = session_.TempDir + "LOCKS.TMP";
  platform::OpenResult opened = platform::OpenResult::kFailed;
  for (int attempt = 0; attempt < kStationFileAttempts; ++attempt) {
    opened = file.Open(path, platform::File::Mode::kReadWrite, true);
    if (opened != platform::OpenResult::kBusy) break;
    system_.Pause(1 + static_cast<int>(system_.Random(kMaxConflictPauseMs)));
  }
  if (opened == platform::OpenResult::kOk) {
    std::array<char, kStationFileSize> stored;
    stored.fill(' ');
    const std::int64_t got = file.ReadAt(0, stored);
    if (got >= 4) {
      std::uint32_t v = 0;
      for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(stored[static_cast<std::size_t>(i)]);
      stationNumber_ = static_cast<std::int32_t>(v);
      stationName_.assign(stored.data() + 4, kNameWidth);
    }
    if (stationNumber_ != 0) return;
  }
  // A new station. The number comes from the kernel's random source, so workstations started
  // in the same second still differ; 0 means "not set" and is never used.
  std::uint32_t drawn = 0;
  while (drawn == 0) drawn = platform::StrongRandom32();
  stationNumber_ = static_cast<std::int32_t>(drawn);
  stationName_ = Padded(system_.ComputerName(), kNameWidth);
  if (opened == platform::OpenResult::kOk) {
    std::string bytes(kStationFileSize, ' ');
    for (int i = 0; i < 4; ++i) bytes[static_cast<std::size_t>(i)] = static_cast<char>((drawn >> (8 * i)) & 0xFF);
    bytes.replace(4, kNameWidth, stationName_);
    file.WriteAt(0, bytes);
  }
  // Without a station file the identity still holds for this run.
}

bool LockRegistry::IsOwn(const LockFileRecord& record) const {
  return record.stationNumber == stationNumber_ && Padded(record.stationName, kNameWidth) == stationName_;
}

bool LockRegistry::OpenLockFile(const std::string& path, platform::File& file) {
  bool madeDirectory = false;
  for (;;) {
    switch (file.Open(path, platform::File::Mode::kReadWrite, true)) {
      case platform::OpenResult::kOk:
        return true;
      case platform::OpenResult::kBusy:
        // Another workstation is scanning: wait a little, as long as it takes.
        system_.Pause(1 + static_cast<int>(system_.Random(kMaxBusyPauseMs)));
        continue;
      case platform::OpenResult::kFailed:
        break;
    }
    // No LOCKS directory yet: make it, or find that another workstation has just made it,
    // and try once more.
    const std::string directory = UnderRoot(session_.RootDir, "LOCKS");
    if (!madeDirectory) {
      if (!platform::IsDirectory(directory)) platform::MakeDirectory(directory);
      madeDirectory = true;
      continue;
    }
    // No permission, or no directory even after creating it: retrying would never end.
    ui_.MessageBox(kFailureMessageRow, CannotAccessMessage(session_.Language, platform::HostPath(path)));
    ui_.Beep();
    ui_.FlushKeys();
    ui_.GetKey();
    ui_.WinClose();
    return false;
  }
}

LockRegistry::Scan LockRegistry::ScanAndClaim(platform::File& file, char type, std::string_view lower,
                                              std::string_view upper) {
  const std::string contents = ReadAll(file);
  const auto size = static_cast<std::int64_t>(contents.size());
  const std::int32_t now = LockClock();
  std::int64_t freePosition = -1;
  std::int64_t ownPosition = -1;
  for (std::int64_t offset = 0; offset < size; offset += static_cast<std::int64_t>(LockFileRecord::kSize)) {
    std::string bytes = contents.substr(static_cast<std::size_t>(offset), LockFileRecord::kSize);
    std::optional<LockFileRecord> record = LockFileRecord::Parse(bytes);
    if (!record) {
      // A damaged record (cut short, garbled fields) holds no lock anyone can honour.
      file.WriteAt(offset, FreeRecordBytes());
      freePosition = offset;
      continue;
    }
    if (!record->IsFree() && record->stamp < now - kStaleMinutes) {
      // Not renewed for half an hour: its holder is gone.
      Free(bytes);
      file.WriteAt(offset, bytes);
      record->type = ' ';
    }
    if (record->IsFree()) {
      freePosition = offset;
      continue;
    }
    const bool own = IsOwn(*record);
    bool meets = true;
    if (type == 'K' && record->type == 'K') meets = RangesMeet(lower, upper, *record);
    if (!meets) continue;
    if (!own) return Scan::kConflict;
    // This station's own record for the same kind of lock is renewed in place.
    if (record->type == type && ownPosition < 0) ownPosition = offset;
  }

  LockFileRecord mine;
  mine.stationName = stationName_;
  mine.stationNumber = stationNumber_;
  mine.stamp = now;
  mine.type = type;
  if (type == 'K') {
    mine.lowerKey = std::string(lower);
    mine.upperKey = std::string(upper);
  }
  const std::int64_t position = ownPosition >= 0 ? ownPosition : freePosition >= 0 ? freePosition : size;
  file.WriteAt(position, mine.Format());
  claimedAt_ = position;
  return Scan::kGranted;
}

std::int16_t LockRegistry::LockAcquire(std::string_view name, std::string_view type, std::string_view lower,
                                       std::string_view upper) {
  const char kind = type.empty() ? ' ' : Upper(type.front());
  if (kind != 'F' && kind != 'K') return -1;
  EnsureIdentity();
  const std::string path = LockFilePath(TrimRight(name));
  lower = lower.substr(0, LockFileRecord::kMaxKey);
  upper = upper.substr(0, LockFileRecord::kMaxKey);
  const char mode = Upper(waitMode_);

  bool shown = false;
  int attempts = 0;
  for (;;) {
    Scan scan;
    {
      // The lock file is closed again before any return or pause, so that the others can go on.
      platform::File file;
      if (!OpenLockFile(path, file)) {
        if (shown) ui_.WinClose();
        return -1;
      }
      scan = ScanAndClaim(file, kind, lower, upper);
    }
    if (scan == Scan::kGranted) {
      if (shown) ui_.WinClose();
      // Remembered so that a release frees this very entry. A renewal in place is the same
      // entry, taken once.
      Taken entry{NameKey(name), claimedAt_, kind, std::string(kind == 'K' ? lower : ""),
                  std::string(kind == 'K' ? upper : "")};
      auto same = std::find_if(taken_.begin(), taken_.end(),
                               [&](const Taken& t) { return t.name == entry.name && t.offset == entry.offset; });
      if (same != taken_.end()) {
        *same = entry;
      } else {
        taken_.push_back(std::move(entry));
      }
      return 0;
    }
    if (mode == 'S') return -1;
    attempts = std::min(attempts + 1, 2);
    if (attempts == 1 && !shown) {
      ui_.MessageBox(kMessageRow, RegistryLockedMessage(session_.Language, mode == 'P'));
      shown = true;
      if (mode == 'P') ui_.FlushKeys();
    }
    system_.Pause(1 + static_cast<int>(system_.Random(kMaxConflictPauseMs)));
    if (mode == 'P' && ui_.ReadKey() == kEscape) {
      ui_.WinClose();
      return -1;
    }
  }
}

std::int16_t LockRegistry::LockKey(std::string_view name, std::string_view key) {
  const std::string text = LockKeyText(key);
  return LockAcquire(name, "k", text, text);
}

std::string LockRegistry::NameKey(std::string_view name) {
  std::string key(Trim(name));
  for (char& c : key) c = Upper(c);
  return key;
}

std::int16_t LockRegistry::LockRelease(std::string_view name) {
  EnsureIdentity();
  const std::string upperName = NameKey(name);
  // The entry this run took last under this name. Stamps are only to the minute, so the
  // newest own record in the file could as well be one that an earlier run left.
  auto taken = std::find_if(taken_.rbegin(), taken_.rend(), [&](const Taken& t) { return t.name == upperName; });
  if (taken == taken_.rend()) return -1;
  const Taken entry = *taken;
  taken_.erase(std::next(taken).base());

  platform::File file;
  if (!OpenLockFile(LockFilePath(upperName), file)) return -1;
  const std::string contents = ReadAll(file);
  const auto size = static_cast<std::int64_t>(contents.size());
  auto isEntry = [&](std::int64_t offset) {
    if (offset < 0 || offset + static_cast<std::int64_t>(LockFileRecord::kSize) > size) return false;
    auto record = LockFileRecord::Parse(std::string_view(contents).substr(static_cast<std::size_t>(offset), LockFileRecord::kSize));
    return record && !record->IsFree() && IsOwn(*record) && record->type == entry.type &&
           record->lowerKey == entry.lower && record->upperKey == entry.upper;
  };
  // Where it was written, unless something moved it; then the own record holding the same.
  std::int64_t at = isEntry(entry.offset) ? entry.offset : -1;
  for (std::int64_t offset = 0; at < 0 && offset < size; offset += static_cast<std::int64_t>(LockFileRecord::kSize)) {
    if (isEntry(offset)) at = offset;
  }
  if (at < 0) return -1;
  std::string bytes = contents.substr(static_cast<std::size_t>(at), LockFileRecord::kSize);
  Free(bytes);
  file.WriteAt(at, bytes);
  return 0;
}

bool LockRegistry::ClaimStation() {
  EnsureIdentity();
  if (stationClaim_.IsOpen()) return true;
  switch (stationClaim_.Open(session_.TempDir + "LOCKS.RUN", platform::File::Mode::kReadWrite, true)) {
    case platform::OpenResult::kBusy: return false;
    case platform::OpenResult::kFailed: return true;
    case platform::OpenResult::kOk: break;
  }
  FreeLeftovers();
  return true;
}

void LockRegistry::FreeLeftovers() {
  std::error_code error;
  const std::filesystem::path directory = platform::HostPath(UnderRoot(session_.RootDir, "LOCKS"));
  for (const auto& item : std::filesystem::directory_iterator(directory, error)) {
    if (item.path().extension() != ".lck") continue;
    platform::File file;
    platform::OpenResult opened = platform::OpenResult::kBusy;
    for (int attempt = 0; attempt < kStationFileAttempts && opened == platform::OpenResult::kBusy; ++attempt) {
      opened = file.Open(item.path().string(), platform::File::Mode::kReadWrite, true);
      if (opened == platform::OpenResult::kBusy) system_.Pause(1 + static_cast<int>(system_.Random(kMaxBusyPauseMs)));
    }
    if (opened != platform::OpenResult::kOk) continue;
    const std::string contents = ReadAll(file);
    for (std::size_t offset = 0; offset + LockFileRecord::kSize <= contents.size(); offset += LockFileRecord::kSize) {
      std::string bytes = contents.substr(offset, LockFileRecord::kSize);
      auto record = LockFileRecord::Parse(bytes);
      if (!record || record->IsFree() || !IsOwn(*record)) continue;
      Free(bytes);
      file.WriteAt(static_cast<std::int64_t>(offset), bytes);
    }
  }
}

}  // namespace storage
