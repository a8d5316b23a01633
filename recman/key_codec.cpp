#include "recman/key_codec.h"

#include <algorithm>
#include <cstring>

namespace recman {
namespace {

std::uint8_t FoldCase(std::uint8_t c) { return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c; }

// Applies case folding or the collating table to string bytes.
void TranslateString(const FileSpec& spec, const Segment& seg, std::string& bytes) {
  if (seg.flags & kKeyCaseInsensitive) {
    for (char& c : bytes) c = static_cast<char>(FoldCase(static_cast<std::uint8_t>(c)));
  } else if (seg.collating >= 0 && static_cast<std::size_t>(seg.collating) < spec.collating.size()) {
    const auto& table = spec.collating[seg.collating];
    for (char& c : bytes) c = static_cast<char>(table[static_cast<std::uint8_t>(c)]);
  }
}

// Little-endian bytes to big-endian, optionally flipping the sign bit (signed integers).
std::string BigEndian(std::string_view in, bool flipSign) {
  std::string out(in.rbegin(), in.rend());
  if (flipSign && !out.empty()) out[0] = static_cast<char>(static_cast<std::uint8_t>(out[0]) ^ 0x80);
  return out;
}

std::string EncodeSegment(const FileSpec& spec, const Segment& seg, std::string_view in) {
  std::string out;
  switch (seg.type) {
    case KeyType::kString:
      out.assign(in);
      TranslateString(spec, seg, out);
      break;
    case KeyType::kZString: {
      // Up to the NUL; the rest counts as NUL bytes, which sort before every other byte.
      std::size_t n = std::find(in.begin(), in.end(), '\0') - in.begin();
      out.assign(in.substr(0, n));
      TranslateString(spec, seg, out);
      out.resize(in.size(), '\0');
      break;
    }
    case KeyType::kLString: {
      // The length byte first, then the text. Stored as the text padded with NUL bytes
      // followed by its length: byte order then equals the order of the texts, also when a
      // text ends in NUL bytes.
      std::size_t n = in.empty() ? 0 : std::min<std::size_t>(static_cast<std::uint8_t>(in[0]), in.size() - 1);
      out.assign(in.substr(in.empty() ? 0 : 1, n));
      TranslateString(spec, seg, out);
      out.resize(in.empty() ? 0 : in.size() - 1, '\0');
      out.push_back(static_cast<char>(n));
      break;
    }
    case KeyType::kInteger:
    case KeyType::kAutoIncrement:
      out = BigEndian(in, true);
      break;
    case KeyType::kUnsignedBinary:
    case KeyType::kLogical:
      out = BigEndian(in, false);
      break;
    case KeyType::kFloat: {
      out = BigEndian(in, false);
      bool zero = std::all_of(out.begin() + 1, out.end(), [](char c) { return c == 0; }) &&
                  (static_cast<std::uint8_t>(out[0]) & 0x7F) == 0;
      if (zero) out[0] = 0;  // -0 sorts with +0
      if (static_cast<std::uint8_t>(out[0]) & 0x80) {
        for (char& c : out) c = static_cast<char>(~static_cast<std::uint8_t>(c));
      } else {
        out[0] = static_cast<char>(static_cast<std::uint8_t>(out[0]) | 0x80);
      }
      break;
    }
    case KeyType::kDate:
      // day, month, year (u16): sorts by year, month, day.
      out = {in[3], in[2], in[1], in[0]};
      break;
    case KeyType::kTime:
      // hundredths, seconds, minutes, hours: sorts from the hours down.
      out = {in[3], in[2], in[1], in[0]};
      break;
    default:
      out.assign(in);  // not reached: unsupported types are refused at Create
      break;
  }
  if (seg.flags & kKeyDescending)
    for (char& c : out) c = static_cast<char>(~static_cast<std::uint8_t>(c));
  return out;
}

}  // namespace

std::string ExtractKey(const FileSpec&, const Key& key, std::string_view record) {
  std::string out;
  out.reserve(key.length);
  for (const Segment& seg : key.segments) {
    if (seg.offset + seg.length <= record.size())
      out.append(record.substr(seg.offset, seg.length));
    else
      out.append(seg.length, '\0');
  }
  return out;
}

std::string EncodeKey(const FileSpec& spec, const Key& key, std::string_view keyValue) {
  std::string padded;
  if (keyValue.size() < key.length) {
    padded.assign(keyValue);
    padded.resize(key.length, '\0');
    keyValue = padded;
  }
  std::string out;
  std::size_t at = 0;
  for (const Segment& seg : key.segments) {
    out += EncodeSegment(spec, seg, keyValue.substr(at, seg.length));
    at += seg.length;
  }
  return out;
}

bool IsNullKey(const Key& key, std::string_view record) {
  if (!key.nullAll && !key.nullAny) return false;
  int nullSegments = 0;
  for (const Segment& seg : key.segments) {
    std::string_view bytes = record.substr(std::min<std::size_t>(seg.offset, record.size()), seg.length);
    bool isNull = std::all_of(bytes.begin(), bytes.end(),
                              [&](char c) { return static_cast<std::uint8_t>(c) == seg.nullByte; });
    if (isNull) ++nullSegments;
  }
  if (key.nullAny) return nullSegments > 0;
  return nullSegments == static_cast<int>(key.segments.size());
}

std::optional<std::string> RecordKey(const FileSpec& spec, const Key& key, std::string_view record) {
  if (IsNullKey(key, record)) return std::nullopt;
  return EncodeKey(spec, key, ExtractKey(spec, key, record));
}

std::int64_t AutoIncrementValue(const Segment& seg, std::string_view record) {
  std::uint64_t v = 0;
  for (int i = seg.length - 1; i >= 0; --i) v = (v << 8) | static_cast<std::uint8_t>(record[seg.offset + i]);
  // Sign-extend from the segment's width.
  int bits = seg.length * 8;
  if (bits < 64 && (v >> (bits - 1)) & 1) v |= ~std::uint64_t{0} << bits;
  return static_cast<std::int64_t>(v);
}

void SetAutoIncrementValue(const Segment& seg, std::int64_t value, std::string& record) {
  std::uint64_t v = static_cast<std::uint64_t>(value);
  for (int i = 0; i < seg.length; ++i) record[seg.offset + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::int64_t DecodeAutoIncrement(const Segment& seg, std::string_view stored) {
  std::string bytes(stored.substr(0, seg.length));
  if (seg.flags & kKeyDescending)
    for (char& c : bytes) c = static_cast<char>(~static_cast<std::uint8_t>(c));
  bytes[0] = static_cast<char>(static_cast<std::uint8_t>(bytes[0]) ^ 0x80);
  std::string little(bytes.rbegin(), bytes.rend());
  Segment at0 = seg;
  at0.offset = 0;
  return AutoIncrementValue(at0, little);
}

}  // namespace recman
