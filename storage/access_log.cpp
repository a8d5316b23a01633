#include "storage/access_log.h"

#include <utility>

#include "platform/files.h"

namespace storage {
namespace {

// A number as printed into a zone: sign position, digits, one trailing blank.
std::string PrintedNumber(std::int16_t value) {
  int wide = value;
  std::string digits = std::to_string(wide < 0 ? -wide : wide);
  return (wide < 0 ? "-" : " ") + digits + " ";
}

constexpr std::size_t kZoneWidth = 14;

void AppendZone(std::string& line, std::int16_t value) {
  std::string number = PrintedNumber(value);
  line += number;
  if (number.size() < kZoneWidth) line.append(kZoneWidth - number.size(), ' ');
}

}  // namespace

std::string AccessLogLine(std::int16_t handle, std::int16_t operation, std::int16_t status) {
  std::string line;
  AppendZone(line, handle);
  AppendZone(line, operation);
  line += PrintedNumber(status);
  line += "\r\n";
  return line;
}

AccessLog::AccessLog(platform::System& system, std::string path) : system_(system), path_(std::move(path)) {}

bool AccessLog::Write(std::int16_t handle, std::int16_t operation, std::int16_t status) {
  const std::string line = AccessLogLine(handle, operation, status);
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (attempt > 0) system_.Pause(1 + static_cast<int>(system_.Random(kMaxPauseMs)));
    platform::File file;
    switch (file.Open(path_, platform::File::Mode::kAppend, true)) {
      case platform::OpenResult::kOk:
        return file.Append(line);
      case platform::OpenResult::kBusy:
        continue;
      case platform::OpenResult::kFailed:
        // No directory or no permission: trying again will not help.
        return false;
    }
  }
  return false;
}

}  // namespace storage
