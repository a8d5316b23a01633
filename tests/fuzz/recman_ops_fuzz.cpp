// Random operation sequences through BTRCALL against a plain in-memory model of the same file:
// every status and every record read must agree with the model.
//
// The file: records of 16 bytes; key 0 bytes 1-2, unique, modifiable; key 1 byte 3,
// duplicates, modifiable. Each input byte pair is one operation.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <map>
#include <string>

#include "recman/engine.h"
#include "recman/status.h"

namespace {

using namespace recman;

void Check(bool ok) {
  if (!ok) std::abort();
}

struct Model {
  struct Rec {
    std::string data;
    std::uint64_t seq1;  // place among the records of equal key 1
  };
  std::map<std::uint32_t, Rec> records;
  std::uint32_t nextAddr = 1;
  std::uint64_t nextSeq = 1;
  int logicalKey = -1;
  bool logicalValid = false;
  std::string posK0;
  std::pair<std::string, std::uint64_t> posK1;
  std::uint32_t current = 0;

  // Entries of a key in key order: (sort value, addr).
  std::map<std::pair<std::string, std::uint64_t>, std::uint32_t> Index(int key) const {
    std::map<std::pair<std::string, std::uint64_t>, std::uint32_t> out;
    for (const auto& [addr, r] : records) {
      if (key == 0) out[{r.data.substr(0, 2), 0}] = addr;
      else out[{r.data.substr(2, 1), r.seq1}] = addr;
    }
    return out;
  }
  void SetPosition(int key, std::uint32_t addr) {
    logicalKey = key;
    logicalValid = true;
    const Rec& r = records.at(addr);
    posK0 = r.data.substr(0, 2);
    posK1 = {r.data.substr(2, 1), r.seq1};
  }
  std::pair<std::string, std::uint64_t> Pos(int key) const {
    return key == 0 ? std::make_pair(posK0, std::uint64_t{0}) : posK1;
  }
  bool HasK0(const std::string& k0, std::uint32_t except) const {
    for (const auto& [addr, r] : records)
      if (addr != except && r.data.compare(0, 2, k0) == 0) return true;
    return false;
  }
};

// The run's private directory, removed when the run ends.
std::string& DirName() {
  static std::string dir;
  return dir;
}

void RemoveDir() {
  std::error_code ec;
  std::filesystem::remove_all(DirName(), ec);
}

std::string Dir() {
  if (DirName().empty()) {
    char pattern[] = "/tmp/recman-ops-fuzz-XXXXXX";
    char* made = ::mkdtemp(pattern);
    if (!made) std::abort();
    DirName() = made;
    std::atexit(RemoveDir);
  }
  return DirName();
}

std::string MakeRecord(std::uint8_t a, std::uint8_t b) {
  std::string r(16, '.');
  r[0] = static_cast<char>('A' + (a & 3));
  r[1] = static_cast<char>('a' + ((a >> 2) & 3));
  r[2] = static_cast<char>('0' + (b & 3));
  r[3] = static_cast<char>(b);
  return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 400) return 0;
  const std::string path = Dir() + "/ops.dat";
  // One engine for the run, with a second open kept all along: closing the fuzzed open then
  // never closes the database itself, which would checkpoint and sync it every time.
  static Engine& engine = *new Engine;
  static char keeper[kPositionBlockSize] = {};
  char pos[kPositionBlockSize] = {};
  std::string key = path + std::string(1, '\0');
  std::uint32_t len = 0;
  static bool created = false;
  if (!created) {  // made once per run; each input starts by emptying it
    std::string spec(16 + 32, '\0');
    auto put = [&](std::size_t at, std::uint16_t v) {
      spec[at] = static_cast<char>(v & 0xFF);
      spec[at + 1] = static_cast<char>(v >> 8);
    };
    put(0, 16);
    put(2, 512);
    put(4, 2);
    put(16, 1), put(18, 2), put(20, 0x0002);
    put(32, 3), put(34, 1), put(36, 0x0003);
    len = static_cast<std::uint32_t>(spec.size());
    Check(engine.BTRCALL(kOpCreate, pos, spec.data(), &len, key.data(), static_cast<std::uint8_t>(key.size()), 0) == 0);
    std::string owner(5, '\0');
    len = 5;
    Check(engine.BTRCALL(kOpOpen, keeper, owner.data(), &len, key.data(), static_cast<std::uint8_t>(key.size()), 0) == 0);
    created = true;
  }
  {
    std::string owner(5, '\0');
    len = 5;
    Check(engine.BTRCALL(kOpOpen, pos, owner.data(), &len, key.data(), static_cast<std::uint8_t>(key.size()), 0) == 0);
    char buffer[64];
    for (;;) {
      len = sizeof buffer;
      Status s = engine.BTRCALL(kOpStepFirst, pos, buffer, &len, nullptr, 0, 0);
      if (s == kStatusEndOfFile) break;
      Check(s == 0);
      len = 0;
      Check(engine.BTRCALL(kOpDelete, pos, buffer, &len, nullptr, 0, 0) == 0);
    }
    engine.BTRCALL(kOpClose, pos, nullptr, &len, nullptr, 0, 0);
    len = 5;
    Check(engine.BTRCALL(kOpOpen, pos, owner.data(), &len, key.data(), static_cast<std::uint8_t>(key.size()), 0) == 0);
  }
  Model m;
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    const std::uint8_t op = data[i] % 12, arg = data[i + 1];
    const int key = (data[i] >> 4) & 1;
    char buffer[64] = {};
    char keyBuf[256] = {};
    std::uint32_t len = sizeof buffer;
    Status s;
    if (op == 0 || op == 1) {  // Insert
      std::string r = MakeRecord(arg, data[i] >> 5);
      std::memcpy(buffer, r.data(), 16);
      len = 16;
      s = engine.BTRCALL(kOpInsert, pos, buffer, &len, keyBuf, 255, 0);
      if (m.HasK0(r.substr(0, 2), 0)) {
        Check(s == kStatusDuplicateKey);
      } else {
        Check(s == 0);
        std::uint32_t addr = m.nextAddr++;
        m.records[addr] = {r, m.nextSeq++};
        m.SetPosition(0, addr);
        m.current = addr;
      }
    } else if (op == 2) {  // Update the current record
      std::string r = MakeRecord(arg, data[i] >> 5);
      std::memcpy(buffer, r.data(), 16);
      len = 16;
      s = engine.BTRCALL(kOpUpdate, pos, buffer, &len, keyBuf, 255, static_cast<std::int8_t>(key));
      if (!m.current) {
        Check(s == kStatusInvalidPositioning);
      } else if (m.HasK0(r.substr(0, 2), m.current)) {
        Check(s == kStatusDuplicateKey);
      } else {
        Check(s == 0);
        Model::Rec& rec = m.records[m.current];
        if (rec.data[2] != r[2]) rec.seq1 = m.nextSeq++;
        rec.data = r;
        m.SetPosition(key, m.current);
      }
    } else if (op == 3) {  // Delete
      s = engine.BTRCALL(kOpDelete, pos, buffer, &len, keyBuf, 255, 0);
      if (!m.current) {
        Check(s == kStatusInvalidPositioning);
      } else {
        Check(s == 0);
        m.records.erase(m.current);
        m.current = 0;
      }
    } else {  // the Gets
      static const std::uint16_t ops[] = {kOpGetEqual, kOpGetNext, kOpGetPrevious, kOpGetGreater,
                                          kOpGetGreaterOrEqual, kOpGetLess, kOpGetLessOrEqual, kOpGetFirst};
      std::uint16_t g = ops[op - 4];
      if (g == kOpGetFirst && (arg & 1)) g = kOpGetLast;
      std::string probe = MakeRecord(arg, arg >> 2);
      std::string value = key == 0 ? probe.substr(0, 2) : probe.substr(2, 1);
      std::memcpy(keyBuf, value.data(), value.size());
      s = engine.BTRCALL(g, pos, buffer, &len, keyBuf, 255, static_cast<std::int8_t>(key));
      auto index = m.Index(key);
      std::map<std::pair<std::string, std::uint64_t>, std::uint32_t>::iterator it = index.end();
      Status want = 0;
      auto lower = index.lower_bound({value, 0});
      switch (g) {
        case kOpGetEqual:
          it = (lower != index.end() && lower->first.first == value) ? lower : index.end();
          if (it == index.end()) want = kStatusKeyNotFound;
          break;
        case kOpGetNext:
        case kOpGetPrevious:
          if (m.logicalKey < 0 || !m.logicalValid) want = kStatusInvalidPositioning;
          else if (m.logicalKey != key) want = kStatusDifferentKeyNumber;
          else if (g == kOpGetNext) it = index.upper_bound(m.Pos(key));
          else {
            auto at = index.lower_bound(m.Pos(key));
            it = at == index.begin() ? index.end() : std::prev(at);
          }
          break;
        case kOpGetGreater:
          it = index.lower_bound({value, UINT64_MAX});
          break;
        case kOpGetGreaterOrEqual:
          it = lower;
          break;
        case kOpGetLess:
          it = lower == index.begin() ? index.end() : std::prev(lower);
          break;
        case kOpGetLessOrEqual:
          if (lower != index.end() && lower->first.first == value) it = lower;
          else it = lower == index.begin() ? index.end() : std::prev(lower);
          break;
        case kOpGetFirst:
          it = index.begin();
          break;
        default:
          it = index.empty() ? index.end() : std::prev(index.end());
          break;
      }
      if (want == 0 && it == index.end()) want = kStatusEndOfFile;
      Check(s == want);
      if (s == 0) {
        Check(len == 16 && std::string(buffer, 16) == m.records.at(it->second).data);
        m.SetPosition(key, it->second);
        m.current = it->second;
      }
    }
  }
  len = 0;
  engine.BTRCALL(kOpClose, pos, nullptr, &len, nullptr, 0, 0);
  return 0;
}
