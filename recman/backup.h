// A copy of a record file taken while other programs keep working on it.
#pragma once

#include <string>

namespace recman {

// Copies the record file at `sourcePath` to `destPath` with SQLite's online backup: the copy
// holds the file as it stood at one moment, the changes still in the source's -wal file
// included, and readers and writers of the source go on meanwhile. The copy is written under
// a private name beside `destPath`, synced, and checked as VerifyFile does; only then does it
// replace `destPath` (and any -wal and -shm left beside that). On failure `destPath` is left
// as it was and `error` says why.
bool BackupFile(const std::string& sourcePath, const std::string& destPath, std::string& error);

}  // namespace recman
