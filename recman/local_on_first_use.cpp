// The local files' place for programs that must not load SQLite before their first screen: the
// SQLite store is in a module (librecman_local.so), loaded at the first Open or Create.
#include "recman/modules.h"
#include "recman/store_place.h"

namespace recman {
namespace {

using MakePlace = StorePlace* (*)(int busyTimeoutMs);

class LocalFilesOnFirstUsePlace : public StorePlace {
 public:
  explicit LocalFilesOnFirstUsePlace(int busyTimeoutMs) : busyTimeoutMs_(busyTimeoutMs) {}

  Status Open(const std::string& path, bool exclusive, std::unique_ptr<Store>& store,
              std::unique_ptr<RecordLocks>& locks) override {
    if (!Load()) return kStatusIoError;
    return place_->Open(path, exclusive, store, locks);
  }
  Status Create(const std::string& path, const FileSpec& spec, bool replace) override {
    if (!Load()) return kStatusIoError;
    return place_->Create(path, spec, replace);
  }
  std::string Problem() const override { return place_ ? place_->Problem() : error_; }

 private:
  bool Load() {
    if (place_) return true;
    if (!error_.empty()) return false;  // tried once: the answer does not change
    auto make = reinterpret_cast<MakePlace>(ModuleSymbol(kLocalFilesModule, "recman_local_files_place", error_));
    if (make) place_.reset(make(busyTimeoutMs_));
    if (!place_ && error_.empty()) error_ = "the local files' module made no place";
    return place_ != nullptr;
  }

  int busyTimeoutMs_;
  std::unique_ptr<StorePlace> place_;
  std::string error_;
};

}  // namespace

std::unique_ptr<StorePlace> LocalFilesOnFirstUse(int busyTimeoutMs) {
  return std::make_unique<LocalFilesOnFirstUsePlace>(busyTimeoutMs);
}

}  // namespace recman
