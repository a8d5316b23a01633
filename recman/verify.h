// Checking a record file: the database's own integrity, and every key's index against the
// records (each record with a non-null key has exactly one entry holding its key, no entry
// without its record, the kept counts right).
#pragma once

#include <string>

namespace recman {

class Store;
class StorePlace;

// True when the file at hostPath is a sound record file. report receives one line per fault
// found (or the status that kept the file from opening); empty when the file is sound.
bool VerifyFile(const std::string& hostPath, std::string& report);

// The same for a file of any place (SQLite files, a server), opened with a normal claim.
bool VerifyFile(StorePlace& place, const std::string& path, std::string& report);

// The same for a store already open; report receives the faults (appended).
bool VerifyStore(Store& store, std::string& report);

}  // namespace recman
