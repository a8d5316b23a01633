// The storage boundary of the engine: ordered keys and records by address.
//
// The engine (engine.cpp) keeps the call surface, currency, key encoding and locks; a Store
// keeps records and one ordered index per key, and nothing else. Keys reach the store in their
// stored form (key_codec.h), so plain byte comparison is the key order. Another store, such as
// a client-server database shared by several hosts, implements this interface and the engine
// stays as it is.
//
// Every changing call of the engine is one write transaction: Begin, the changes, Commit (or
// Rollback on a refusal). Reads outside a transaction each see one consistent state.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "recman/file_layout.h"
#include "recman/status.h"

namespace recman {

// One entry of a key's index: the stored key, its place among equal keys (insertion order of
// duplicates; 0 for unique keys) and the address of its record.
struct IndexEntry {
  std::string key;
  std::int64_t seq = 0;
  std::uint32_t addr = 0;
};

enum class Seek {
  kEqual,           // first entry with this key
  kGreater,         // first entry above this key
  kGreaterOrEqual,  // first entry at or above this key
  kLess,            // last entry below this key
  kFirst,
  kLast,
  kAfter,   // first entry after (key, seq)
  kBefore,  // last entry before (key, seq)
};

// The stored form of every key of one record; nothing for a null key.
using RecordKeys = std::vector<std::optional<std::string>>;

// A record's place among equal values of each key, as both stores keep it beside the record:
// 8 bytes little-endian per key, -1 for a null key.
inline std::string PutSeqs(const std::vector<std::int64_t>& seqs) {
  std::string out(seqs.size() * 8, '\0');
  for (std::size_t k = 0; k < seqs.size(); ++k)
    for (int b = 0; b < 8; ++b) out[k * 8 + b] = static_cast<char>((static_cast<std::uint64_t>(seqs[k]) >> (8 * b)) & 0xFF);
  return out;
}

inline std::int64_t GetSeq(const std::string& seqs, std::size_t k) {
  if (seqs.size() < (k + 1) * 8) return -1;
  std::uint64_t v = 0;
  for (int b = 7; b >= 0; --b) v = (v << 8) | static_cast<std::uint8_t>(seqs[k * 8 + b]);
  return static_cast<std::int64_t>(v);
}

// The index entry of the record at addr for one key, from its packed places (Store::EntryOf):
// 4 when the record's key is null.
inline Status EntryFromSeqs(const std::string& packed, int keyIndex, std::string_view storedKey, std::uint32_t addr,
                            IndexEntry& entry) {
  std::int64_t seq = GetSeq(packed, static_cast<std::size_t>(keyIndex));
  if (seq < 0) return kStatusKeyNotFound;
  entry.key.assign(storedKey);
  entry.seq = seq;
  entry.addr = addr;
  return kStatusOk;
}

class Store {
 public:
  virtual ~Store() = default;

  // The description the file was created with, and the owner name ("" for none).
  virtual const FileSpec& spec() const = 0;

  virtual Status Begin() = 0;  // 0, or 85 when other writers keep the file busy too long
  virtual Status Commit() = 0;
  virtual void Rollback() = 0;

  // Adds a record and its index entries; addr receives its address. 5 when a unique key
  // already holds the value (duplicateKey receives its index); nothing is changed then.
  virtual Status Insert(std::string_view data, const RecordKeys& keys, std::uint32_t& addr,
                        int& duplicateKey) = 0;
  // Replaces the record at addr; index entries move where the stored key changed (a moved
  // duplicate goes after the others of its value). 5 as for Insert.
  virtual Status Update(std::uint32_t addr, std::string_view data, const RecordKeys& oldKeys,
                        const RecordKeys& newKeys, int& duplicateKey) = 0;
  virtual Status Delete(std::uint32_t addr, const RecordKeys& keys) = 0;

  // The record at addr: 0, or 43 when the address holds no record.
  virtual Status Read(std::uint32_t addr, std::string& data) = 0;
  // The entry of the record at addr in a key's index (4 for a null key of that record).
  virtual Status EntryOf(int keyIndex, std::uint32_t addr, std::string_view storedKey,
                         IndexEntry& entry) = 0;
  // Finds an entry by key; data (when not null) receives its record. 0, or 4 / 9 when there is
  // no such entry (4 for kEqual, 9 otherwise).
  virtual Status Find(int keyIndex, Seek how, std::string_view key, std::int64_t seq,
                      IndexEntry& entry, std::string* data) = 0;
  // Physical order: the record with the next / previous / first / last address.
  virtual Status Step(Seek how, std::uint32_t from, std::uint32_t& addr, std::string& data) = 0;

  // Record count and distinct values per key, kept up to date by every change (constant time).
  virtual Status Counts(std::uint32_t& records, std::vector<std::uint32_t>& distinct) = 0;

  virtual Status Owner(std::string& name, int& mode) = 0;
  virtual Status SetOwner(std::string_view name, int mode) = 0;

  // Integrity of the storage itself; report receives what is wrong.
  virtual bool CheckIntegrity(std::string& report) = 0;
  // Every index entry of one key, in key order (for verification).
  virtual Status ScanIndex(int keyIndex, std::vector<IndexEntry>& entries) = 0;
  // Every record in address order (for verification).
  virtual Status ScanRecords(std::vector<std::pair<std::uint32_t, std::string>>& records) = 0;

  // One read transaction over several reads (verification, copying): every read between
  // BeginRead and EndRead sees the file as it stood at BeginRead.
  virtual Status BeginRead() = 0;
  virtual void EndRead() = 0;

  // For copying a file whole, inside Begin and Commit. Restore puts a record at the address it
  // had in the source, with its places among equal values of each key (seqs: one per key, -1
  // for a null key) as they were there; 5 when the address or a unique value is taken.
  virtual Status Restore(std::uint32_t addr, std::string_view data, const RecordKeys& keys,
                         const std::vector<std::int64_t>& seqs, int& duplicateKey) = 0;
  // The last address given out; the next Insert takes the one above. SetLastAddress never
  // moves it below an address in use.
  virtual Status LastAddress(std::uint32_t& addr) = 0;
  virtual Status SetLastAddress(std::uint32_t addr) = 0;
};

}  // namespace recman
