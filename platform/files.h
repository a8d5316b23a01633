// Files shared between workstations: exclusive opens, appending, random access.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace platform {

enum class OpenResult {
  kOk,
  kBusy,    // another holder has the file open exclusively; try again later
  kFailed,  // cannot be opened at all (no such directory, no permission, ...)
};

// A file opened with an exclusive claim: while one File holds the claim, every other exclusive
// open of the same file (in this process or any other) answers kBusy. The claim is an advisory
// whole-file lock, so the operating system drops it when the holder dies. Closed by the
// destructor.
class File {
 public:
  enum class Mode {
    kRead,       // existing file, read only
    kReadWrite,  // created when missing, read and write at any offset
    kAppend,     // created when missing, every write goes to the end
  };

  File() = default;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  ~File();

  // Opens the file at a system path. With exclusive set, fails with kBusy while another
  // exclusive holder has it. A file created here gets its shared mode (platform/sharing.h).
  OpenResult Open(std::string_view systemPath, Mode mode, bool exclusive);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }

  // Size in bytes, or -1 on error.
  std::int64_t Size() const;
  // Reads up to buffer.size() bytes at the offset; returns the count read (0 at the end), -1 on error.
  std::int64_t ReadAt(std::int64_t offset, std::span<char> buffer) const;
  // Writes all bytes at the offset (ignored for kAppend, which writes at the end). True on success.
  bool WriteAt(std::int64_t offset, std::string_view bytes);
  bool Append(std::string_view bytes);
  bool Truncate(std::int64_t size);
  bool Sync();

 private:
  int fd_ = -1;
  Mode mode_ = Mode::kRead;
};

// Whole-file helpers for small files read and written in one go.
std::optional<std::string> ReadWholeFile(std::string_view systemPath);
bool WriteWholeFile(std::string_view systemPath, std::string_view bytes);

}  // namespace platform
