#include "recman/verify.h"

#include <map>
#include <set>

#include "recman/key_codec.h"
#include "recman/sqlite_store.h"
#include "recman/store_place.h"

namespace recman {

bool VerifyFile(const std::string& hostPath, std::string& report) {
  report.clear();
  std::unique_ptr<SqliteStore> store;
  Status status = SqliteStore::Open(hostPath, store);
  if (status != kStatusOk) {
    report = "cannot open the file (status " + std::to_string(status) + ")\n";
    return false;
  }
  return VerifyStore(*store, report);
}

bool VerifyFile(StorePlace& place, const std::string& path, std::string& report) {
  report.clear();
  std::unique_ptr<Store> store;
  std::unique_ptr<RecordLocks> locks;
  Status status = place.Open(path, false, store, locks);
  if (status != kStatusOk) {
    report = "cannot open the file (status " + std::to_string(status) + ")\n";
    return false;
  }
  return VerifyStore(*store, report);
}

bool VerifyStore(Store& store, std::string& report) {
  // Everything below is read in one transaction, so a file that a program writes meanwhile is
  // checked as it stood at one moment.
  Status status = store.BeginRead();
  if (status != kStatusOk) {
    report += "cannot read the file (status " + std::to_string(status) + ")\n";
    return false;
  }
  struct EndRead {
    Store& store;
    ~EndRead() { store.EndRead(); }
  } endRead{store};
  bool ok = store.CheckIntegrity(report);
  const FileSpec& spec = store.spec();

  std::vector<std::pair<std::uint32_t, std::string>> records;
  if ((status = store.ScanRecords(records)) != kStatusOk) {
    report += "records unreadable (status " + std::to_string(status) + ")\n";
    return false;
  }
  std::map<std::uint32_t, const std::string*> byAddr;
  for (const auto& [addr, data] : records) {
    byAddr[addr] = &data;
    bool lengthOk = spec.variableLength() ? data.size() >= spec.recordLength : data.size() == spec.recordLength;
    if (!lengthOk) {
      report += "record " + std::to_string(addr) + ": length " + std::to_string(data.size()) + "\n";
      ok = false;
    }
  }
  std::uint32_t countedRecords = 0;
  std::vector<std::uint32_t> distinct;
  if ((status = store.Counts(countedRecords, distinct)) != kStatusOk) {
    report += "counts unreadable (status " + std::to_string(status) + ")\n";
    return false;
  }
  if (countedRecords != records.size()) {
    report += "record count " + std::to_string(countedRecords) + " but " + std::to_string(records.size()) + " records\n";
    ok = false;
  }

  for (std::size_t k = 0; k < spec.keys.size(); ++k) {
    const Key& key = spec.keys[k];
    const std::string name = "key " + std::to_string(key.number);
    std::vector<IndexEntry> entries;
    if ((status = store.ScanIndex(static_cast<int>(k), entries)) != kStatusOk) {
      report += name + ": index unreadable (status " + std::to_string(status) + ")\n";
      ok = false;
      continue;
    }
    std::set<std::uint32_t> seen;
    std::set<std::string> values;
    for (const IndexEntry& e : entries) {
      values.insert(e.key);
      auto it = byAddr.find(e.addr);
      if (it == byAddr.end()) {
        report += name + ": entry for missing record " + std::to_string(e.addr) + "\n";
        ok = false;
        continue;
      }
      if (!seen.insert(e.addr).second) {
        report += name + ": record " + std::to_string(e.addr) + " listed twice\n";
        ok = false;
      }
      std::optional<std::string> expected = RecordKey(spec, key, *it->second);
      if (!expected || *expected != e.key) {
        report += name + ": entry of record " + std::to_string(e.addr) + " does not hold its key\n";
        ok = false;
      }
      if (!key.duplicates && e.seq != 0) {
        report += name + ": unique key with a duplicate place at record " + std::to_string(e.addr) + "\n";
        ok = false;
      }
    }
    for (const auto& [addr, data] : records) {
      if (!IsNullKey(key, data) && !seen.count(addr)) {
        report += name + ": record " + std::to_string(addr) + " missing from the index\n";
        ok = false;
      }
    }
    if (k < distinct.size() && distinct[k] != values.size()) {
      report += name + ": distinct count " + std::to_string(distinct[k]) + " but " +
                std::to_string(values.size()) + " values\n";
      ok = false;
    }
  }
  return ok;
}

}  // namespace recman
