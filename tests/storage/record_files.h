// Record files for the record layer's tests: a file description in the layout the record
// manager's Create takes, and the records that go with it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "recman/engine.h"
#include "storage/record_manager.h"

namespace storage_test {

struct SegmentSpec {
  std::uint16_t position;  // 1-based
  std::uint16_t length;
  std::uint16_t flags;
};

inline void Put16(std::string& out, std::size_t at, std::uint16_t v) {
  out[at] = static_cast<char>(v & 0xFF);
  out[at + 1] = static_cast<char>(v >> 8);
}

// A Create data buffer: file specification, segment specifications, and, when a table is
// given, one alternate collating sequence block.
inline std::string CreateBuffer(std::uint16_t recordLength, std::uint16_t keys, const std::vector<SegmentSpec>& segments,
                                const std::string& collatingTable = "") {
  std::string out(16 + 16 * segments.size(), '\0');
  Put16(out, 0, recordLength);
  Put16(out, 2, 1024);
  Put16(out, 4, keys);
  for (std::size_t i = 0; i < segments.size(); ++i) {
    Put16(out, 16 + 16 * i, segments[i].position);
    Put16(out, 16 + 16 * i + 2, segments[i].length);
    Put16(out, 16 + 16 * i + 4, segments[i].flags);
  }
  if (!collatingTable.empty()) out += "\xAC" "UPPER   " + collatingTable;
  return out;
}

// The test file: 20-byte records, three keys.
//   key 0: bytes 1-4, text, modifiable
//   key 1: bytes 5-6 a binary (little-endian) number, then bytes 7-8 text; duplicates
//   key 2: bytes 9-11 text under a collating table that folds a-z to A-Z; duplicates
constexpr std::uint16_t kRecordLength = 20;
constexpr std::uint16_t kDup = 0x01, kMod = 0x02, kBinary = 0x04, kMore = 0x10, kCollated = 0x20;

inline std::string UpperTable() {
  std::string table(256, '\0');
  for (int i = 0; i < 256; ++i) table[static_cast<std::size_t>(i)] = static_cast<char>(i >= 'a' && i <= 'z' ? i - 32 : i);
  return table;
}

inline std::string TestFileBuffer() {
  return CreateBuffer(kRecordLength, 3,
                      {{1, 4, kMod},
                       {5, 2, kDup | kMod | kBinary | kMore},
                       {7, 2, kDup | kMod},
                       {9, 3, kDup | kMod | kCollated}},
                      UpperTable());
}

// A description file: a 16-bit little-endian length, the Create buffer, then anything.
inline void WriteDescription(const std::string& hostPath, const std::string& buffer, const std::string& trailer = "") {
  std::string bytes(2, '\0');
  Put16(bytes, 0, static_cast<std::uint16_t>(buffer.size()));
  std::ofstream(hostPath, std::ios::binary | std::ios::trunc) << bytes << buffer << trailer;
}

// A record of the test file.
inline std::string Record(const std::string& key0, std::uint16_t number = 0, const std::string& tail = "zz",
                          const std::string& folded = "abc") {
  std::string r(kRecordLength, ' ');
  r.replace(0, 4, (key0 + "    ").substr(0, 4));
  Put16(r, 4, number);
  r.replace(6, 2, (tail + "  ").substr(0, 2));
  r.replace(8, 3, (folded + "   ").substr(0, 3));
  return r;
}

// Sits between the layer and the engine: records every operation code and may answer in the
// engine's place or change its status.
class RecordingManager : public storage::RecordManager {
 public:
  explicit RecordingManager(recman::Engine& engine) : engine_(engine) {}
  std::vector<std::uint16_t> ops;
  std::function<std::optional<std::int16_t>(std::uint16_t op)> intercept;
  std::function<std::int16_t(std::uint16_t op, std::int16_t status)> rewrite;

  std::int16_t Call(std::uint16_t op, void* positionBlock, void* dataBuffer, std::uint32_t* dataLength, void* keyBuffer,
                    std::uint8_t keyLength, std::int8_t keyNumber) override {
    ops.push_back(op);
    if (intercept) {
      if (auto answer = intercept(op)) return *answer;
    }
    std::int16_t status = engine_.BTRCALL(op, positionBlock, dataBuffer, dataLength, keyBuffer, keyLength, keyNumber);
    return rewrite ? rewrite(op, status) : status;
  }

 private:
  recman::Engine& engine_;
};

}  // namespace storage_test
