#include "recman/file_layout.h"

#include <algorithm>
#include <cstring>

namespace recman {
namespace {

std::uint16_t U16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

void PutU16(std::string& s, std::size_t at, std::uint16_t v) {
  s[at] = static_cast<char>(v & 0xFF);
  s[at + 1] = static_cast<char>(v >> 8);
}

void PutU32(std::string& s, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// The lengths each type allows; another length answers 29.
bool LengthAllowed(KeyType type, std::uint16_t length) {
  auto in = [length](std::initializer_list<std::uint16_t> allowed) {
    return std::find(allowed.begin(), allowed.end(), length) != allowed.end();
  };
  switch (type) {
    case KeyType::kString:
    case KeyType::kLString:
    case KeyType::kZString:
      return length >= 1 && length <= kMaxKeyLength;
    case KeyType::kInteger:
    case KeyType::kUnsignedBinary:
      return in({1, 2, 4, 8});
    case KeyType::kAutoIncrement:
      return in({2, 4});
    case KeyType::kFloat:
      return in({4, 8});
    case KeyType::kDate:
    case KeyType::kTime:
      return length == 4;
    case KeyType::kLogical:
      return in({1, 2});
    default:
      return false;
  }
}

bool TypeSupported(std::uint8_t code) {
  switch (static_cast<KeyType>(code)) {
    case KeyType::kString:
    case KeyType::kInteger:
    case KeyType::kFloat:
    case KeyType::kDate:
    case KeyType::kTime:
    case KeyType::kLogical:
    case KeyType::kLString:
    case KeyType::kZString:
    case KeyType::kUnsignedBinary:
    case KeyType::kAutoIncrement:
      return true;
    default:
      // Decimal, money, numeric, BASIC float and the later types have sort rules we do not
      // implement; refusing them is better than ordering them wrongly.
      return false;
  }
}

bool IsStringType(KeyType type) {
  return type == KeyType::kString || type == KeyType::kLString || type == KeyType::kZString;
}

}  // namespace

int FileSpec::segmentCount() const {
  int n = 0;
  for (const Key& k : keys) n += static_cast<int>(k.segments.size());
  return n;
}

int FileSpec::KeyIndex(int keyNumber) const {
  for (std::size_t i = 0; i < keys.size(); ++i)
    if (keys[i].number == keyNumber) return static_cast<int>(i);
  return -1;
}

Status ParseCreateBuffer(std::span<const std::uint8_t> buffer, FileSpec& spec) {
  spec = FileSpec{};
  if (buffer.size() < kFileSpecSize) return kStatusPageSizeInvalid;
  const std::uint8_t* h = buffer.data();
  std::copy_n(h, kFileSpecSize, spec.rawHeader.begin());
  spec.recordLength = U16(h);
  spec.pageSize = U16(h + 2);
  spec.fileFlags = U16(h + 10);
  const std::uint16_t keyCount = U16(h + 4);

  if (spec.pageSize < 512 || spec.pageSize > 4096 || spec.pageSize % 512 != 0)
    return kStatusPageSizeInvalid;
  if (keyCount == 0 || keyCount > kMaxKeys) return kStatusInvalidNumberOfKeys;
  if (spec.recordLength < kMinRecordLength || spec.recordLength > kMaxRecordLength)
    return kStatusInvalidRecordLength;
  if ((spec.fileFlags & kFileKeyOnly) && keyCount != 1) return kStatusInvalidNumberOfKeys;

  std::size_t at = kFileSpecSize;
  int segments = 0;
  int collatingBlocks = 0;
  for (int k = 0; k < keyCount; ++k) {
    Key key;
    key.number = k;
    bool more = true;
    while (more) {
      if (++segments > kMaxSegments) return kStatusInvalidNumberOfKeys;
      if (at + kSegmentSpecSize > buffer.size()) return kStatusPageSizeInvalid;
      const std::uint8_t* s = buffer.data() + at;
      at += kSegmentSpecSize;
      Segment seg;
      std::copy_n(s, kSegmentSpecSize, seg.raw.begin());
      const std::uint16_t position = U16(s);
      seg.length = U16(s + 2);
      seg.flags = U16(s + 4);
      seg.nullByte = s[11];
      more = (seg.flags & kKeySegmented) != 0;

      if (seg.flags & kKeyExtendedType) {
        if (!TypeSupported(s[10])) return kStatusKeyTypeError;
        seg.type = static_cast<KeyType>(s[10]);
      } else {
        seg.type = (seg.flags & kKeyBinary) ? KeyType::kUnsignedBinary : KeyType::kString;
      }
      if (seg.length == 0) return kStatusInvalidKeyLength;
      // The old binary flag takes any length: the bytes form one little-endian number.
      const bool oldBinary = !(seg.flags & kKeyExtendedType) && (seg.flags & kKeyBinary);
      if (!oldBinary && !LengthAllowed(seg.type, seg.length)) return kStatusInvalidKeyLength;
      if (position == 0 || position + seg.length - 1 > spec.recordLength)
        return kStatusInvalidKeyPosition;
      seg.offset = static_cast<std::uint16_t>(position - 1);

      const bool collating = (seg.flags & kKeyCollating) != 0;
      const bool folding = (seg.flags & kKeyCaseInsensitive) != 0;
      if ((collating || folding) && !IsStringType(seg.type)) return kStatusInconsistentKeyFlags;
      if (collating && folding) return kStatusInconsistentKeyFlags;
      if (collating) {
        seg.collating = s[15];
        collatingBlocks = std::max(collatingBlocks, seg.collating + 1);
      }

      const std::uint16_t shared = kKeyDuplicates | kKeyModifiable | kKeyNullAll | kKeyNullAny;
      if (key.segments.empty()) {
        key.duplicates = seg.flags & kKeyDuplicates;
        key.modifiable = seg.flags & kKeyModifiable;
        key.nullAll = seg.flags & kKeyNullAll;
        key.nullAny = seg.flags & kKeyNullAny;
        if (key.nullAll && key.nullAny) return kStatusInconsistentKeyFlags;
        if (spec.fileFlags & kFileManualKeyNumbers) key.number = s[14];
        if (seg.type == KeyType::kAutoIncrement) {
          if (key.duplicates) return kStatusInconsistentKeyFlags;
          key.autoIncrement = true;
        }
      } else {
        if ((seg.flags & shared) != (key.segments.front().flags & shared))
          return kStatusInconsistentKeyFlags;
        // An autoincrement value counts only as the first segment of its key.
        if (seg.type == KeyType::kAutoIncrement) return kStatusKeyTypeError;
      }
      key.length = static_cast<std::uint16_t>(key.length + seg.length);
      if (key.length > kMaxKeyLength) return kStatusInvalidKeyLength;
      key.segments.push_back(seg);
    }
    if (spec.KeyIndex(key.number) >= 0 || key.number >= kMaxKeys) return kStatusInvalidKeyNumber;
    spec.keys.push_back(std::move(key));
  }

  for (int b = 0; b < collatingBlocks; ++b) {
    if (at + kCollatingBlockSize > buffer.size()) return kStatusBadCollatingSequence;
    const std::uint8_t* block = buffer.data() + at;
    at += kCollatingBlockSize;
    if (block[0] != 0xAC) return kStatusBadCollatingSequence;
    std::array<std::uint8_t, kCollatingBlockSize> raw;
    std::copy_n(block, kCollatingBlockSize, raw.begin());
    std::array<std::uint8_t, 256> table;
    std::copy_n(block + 9, 256, table.begin());
    spec.collatingRaw.push_back(raw);
    spec.collating.push_back(table);
  }
  return kStatusOk;
}

std::string SerializeSpec(const FileSpec& spec) {
  std::vector<std::uint32_t> zeros(spec.keys.size(), 0);
  return StatBuffer(spec, 0, zeros);
}

std::string StatBuffer(const FileSpec& spec, std::uint32_t records,
                       std::span<const std::uint32_t> distinctPerKey) {
  std::string out(kFileSpecSize + kSegmentSpecSize * spec.segmentCount() +
                      kCollatingBlockSize * spec.collatingRaw.size(),
                  '\0');
  std::memcpy(out.data(), spec.rawHeader.data(), kFileSpecSize);
  PutU32(out, 6, records);
  out[12] = 0;  // no unused duplicate pointers
  out[13] = 0;
  PutU16(out, 14, 0);  // no unused pages
  std::size_t at = kFileSpecSize;
  for (std::size_t k = 0; k < spec.keys.size(); ++k) {
    for (const Segment& seg : spec.keys[k].segments) {
      std::memcpy(out.data() + at, seg.raw.data(), kSegmentSpecSize);
      PutU32(out, at + 6, k < distinctPerKey.size() ? distinctPerKey[k] : 0);
      at += kSegmentSpecSize;
    }
  }
  for (const auto& block : spec.collatingRaw) {
    std::memcpy(out.data() + at, block.data(), kCollatingBlockSize);
    at += kCollatingBlockSize;
  }
  return out;
}

}  // namespace recman
