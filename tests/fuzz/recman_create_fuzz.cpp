// The Create-buffer parser on arbitrary bytes: it answers a status, and whatever it accepts
// describes keys inside the record, reads back the same from its stored form, and encodes any
// key value without reading past it.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "recman/file_layout.h"
#include "recman/key_codec.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  recman::FileSpec spec;
  recman::Status status = recman::ParseCreateBuffer(std::span<const std::uint8_t>(data, size), spec);
  if (status != recman::kStatusOk) return 0;
  Check(!spec.keys.empty());
  for (const recman::Key& key : spec.keys) {
    Check(key.length <= recman::kMaxKeyLength);
    for (const recman::Segment& seg : key.segments) {
      Check(seg.length > 0 && seg.offset + seg.length <= spec.recordLength);
      Check(seg.collating < static_cast<int>(spec.collating.size()));
    }
  }
  // The stored description parses to the same description.
  std::string stored = recman::SerializeSpec(spec);
  recman::FileSpec again;
  Check(recman::ParseCreateBuffer(
            std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(stored.data()), stored.size()), again) ==
        recman::kStatusOk);
  Check(recman::SerializeSpec(again) == stored);
  // Keys of a record made of the input bytes: fixed width per key, same result twice.
  std::string record(spec.recordLength, '\0');
  for (std::size_t i = 0; i < record.size(); ++i) record[i] = static_cast<char>(data[i % size]);
  for (const recman::Key& key : spec.keys) {
    std::optional<std::string> a = recman::RecordKey(spec, key, record);
    std::optional<std::string> b = recman::RecordKey(spec, key, record);
    Check(a == b);
    if (a) {
      std::string shortKey = recman::EncodeKey(spec, key, record.substr(0, 1));
      Check(shortKey.size() == a->size());
    }
  }
  return 0;
}
