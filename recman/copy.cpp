#include "recman/copy.h"

#include <unordered_map>
#include <utility>
#include <vector>

#include "recman/key_codec.h"
#include "recman/store_place.h"
#include "recman/verify.h"

namespace recman {
namespace {

std::string Failed(const std::string& what, Status status) {
  return what + " (status " + std::to_string(status) + ")";
}

// Everything of the source that the copy needs, read in one read transaction.
struct Snapshot {
  std::vector<std::pair<std::uint32_t, std::string>> records;
  std::vector<std::unordered_map<std::uint32_t, std::int64_t>> seqs;  // per key: addr -> seq
  std::uint32_t lastAddress = 0;
  std::string owner;
  int ownerMode = 0;
};

Status ReadSource(Store& store, Snapshot& out, std::string& error) {
  Status status = store.Owner(out.owner, out.ownerMode);
  if (status != kStatusOk) return error = Failed("cannot read the source's owner", status), status;
  if ((status = store.BeginRead()) != kStatusOk) return error = Failed("cannot read the source", status), status;
  struct EndRead {
    Store& store;
    ~EndRead() { store.EndRead(); }
  } endRead{store};
  if ((status = store.ScanRecords(out.records)) != kStatusOk)
    return error = Failed("cannot read the source's records", status), status;
  out.seqs.resize(store.spec().keys.size());
  for (std::size_t k = 0; k < out.seqs.size(); ++k) {
    std::vector<IndexEntry> entries;
    if ((status = store.ScanIndex(static_cast<int>(k), entries)) != kStatusOk)
      return error = Failed("cannot read the source's key " + std::to_string(k), status), status;
    out.seqs[k].reserve(entries.size());
    for (const IndexEntry& e : entries) out.seqs[k][e.addr] = e.seq;
  }
  if ((status = store.LastAddress(out.lastAddress)) != kStatusOk)
    return error = Failed("cannot read the source's last address", status), status;
  return kStatusOk;
}

}  // namespace

Status CopyFile(StorePlace& from, const std::string& fromPath, StorePlace& to, const std::string& toPath,
                std::string& error) {
  error.clear();
  Snapshot snap;
  FileSpec spec;
  {
    std::unique_ptr<Store> source;
    std::unique_ptr<RecordLocks> sourceLocks;
    Status status = from.Open(fromPath, false, source, sourceLocks);
    if (status != kStatusOk) return error = Failed("cannot open " + fromPath, status), status;
    if ((status = ReadSource(*source, snap, error)) != kStatusOk) return status;
    spec = source->spec();
  }

  Status status = to.Create(toPath, spec, false);
  if (status != kStatusOk) return error = Failed("cannot create " + toPath, status), status;
  std::unique_ptr<Store> dest;
  std::unique_ptr<RecordLocks> destLocks;
  if ((status = to.Open(toPath, true, dest, destLocks)) != kStatusOk)
    return error = Failed("cannot open " + toPath, status), status;
  // One transaction: a copy that fails half-way leaves an empty file, never a partial one.
  if ((status = dest->Begin()) != kStatusOk) return error = Failed("cannot write " + toPath, status), status;
  for (const auto& [addr, data] : snap.records) {
    RecordKeys keys(spec.keys.size());
    std::vector<std::int64_t> seqs(spec.keys.size(), -1);
    for (std::size_t k = 0; k < spec.keys.size(); ++k) {
      keys[k] = RecordKey(spec, spec.keys[k], data);
      auto it = snap.seqs[k].find(addr);
      if (keys[k] && it != snap.seqs[k].end()) seqs[k] = it->second;
    }
    int dupKey = -1;
    if ((status = dest->Restore(addr, data, keys, seqs, dupKey)) != kStatusOk) {
      dest->Rollback();
      return error = Failed("cannot copy record " + std::to_string(addr), status), status;
    }
  }
  if ((status = dest->SetLastAddress(snap.lastAddress)) != kStatusOk ||
      (status = dest->Commit()) != kStatusOk) {
    dest->Rollback();
    return error = Failed("cannot write " + toPath, status), status;
  }
  if ((status = dest->SetOwner(snap.owner, snap.ownerMode)) != kStatusOk)
    return error = Failed("cannot set the owner of " + toPath, status), status;

  std::string report;
  if (!VerifyStore(*dest, report)) {
    error = "the copy does not verify:\n" + report;
    return kStatusIoError;
  }
  std::uint32_t records = 0;
  std::vector<std::uint32_t> distinct;
  if ((status = dest->Counts(records, distinct)) != kStatusOk || records != snap.records.size()) {
    error = "the copy holds " + std::to_string(records) + " records of " + std::to_string(snap.records.size());
    return kStatusIoError;
  }
  return kStatusOk;
}

}  // namespace recman
