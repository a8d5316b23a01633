// The change log: one line in "db.log" for every insert and update passed to the record
// manager, successful or not.
//
// Line format (text, ended by CR LF): three numbers in print zones of 14 columns, each number
// written as a sign position (blank, or "-"), its digits and one trailing blank; the first two
// are padded with blanks to the end of their zone:
//   columns 1-14 the file handle, 15-28 the operation (2 insert, 3 update), 29- the status
//   the record manager returned (before any status is counted as success).
// The file is opened exclusively for appending around each line, so workstations sharing the
// directory append in turn. It is never truncated or read back.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/system.h"

namespace storage {

// The text of one log line, line end included.
std::string AccessLogLine(std::int16_t handle, std::int16_t operation, std::int16_t status);

class AccessLog {
 public:
  // path: system path of the log, normally "db.log" in the working directory.
  AccessLog(platform::System& system, std::string path = "db.log");

  // Appends one line. While another program holds the log, retries a few times with short
  // pauses and then drops the line; returns whether it was written. The logged operation's own
  // status never depends on this.
  bool Write(std::int16_t handle, std::int16_t operation, std::int16_t status);

  const std::string& path() const { return path_; }

  // How often a held log is tried, and the longest pause between tries (ms).
  static constexpr int kAttempts = 5;
  static constexpr int kMaxPauseMs = 50;

 private:
  platform::System& system_;
  std::string path_;
};

}  // namespace storage
