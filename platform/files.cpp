#include "platform/files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/paths.h"
#include "platform/sharing.h"

namespace platform {

File::File(File&& other) noexcept : fd_(other.fd_), mode_(other.mode_) { other.fd_ = -1; }

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    mode_ = other.mode_;
    other.fd_ = -1;
  }
  return *this;
}

File::~File() { Close(); }

OpenResult File::Open(std::string_view systemPath, Mode mode, bool exclusive) {
  Close();
  std::string host = HostPath(systemPath);
  int flags = O_CLOEXEC;
  switch (mode) {
    case Mode::kRead: flags |= O_RDONLY; break;
    case Mode::kReadWrite: flags |= O_RDWR; break;
    case Mode::kAppend: flags |= O_WRONLY | O_APPEND; break;
  }
  int fd = mode == Mode::kRead ? ::open(host.c_str(), flags) : OpenCreating(host, flags);
  if (fd < 0) return OpenResult::kFailed;
  if (exclusive) {
    // flock claims belong to the open file description, so two opens in one process exclude
    // each other just as two processes do, and the kernel drops the claim when the holder dies.
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      if (errno == EINTR) continue;
      int err = errno;
      ::close(fd);
      return err == EWOULDBLOCK ? OpenResult::kBusy : OpenResult::kFailed;
    }
  }
  fd_ = fd;
  mode_ = mode;
  return OpenResult::kOk;
}

void File::Close() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

std::int64_t File::Size() const {
  struct stat st;
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) return -1;
  return st.st_size;
}

std::int64_t File::ReadAt(std::int64_t offset, std::span<char> buffer) const {
  if (fd_ < 0) return -1;
  std::size_t total = 0;
  while (total < buffer.size()) {
    ssize_t n = ::pread(fd_, buffer.data() + total, buffer.size() - total, offset + static_cast<std::int64_t>(total));
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    total += static_cast<std::size_t>(n);
  }
  return static_cast<std::int64_t>(total);
}

bool File::WriteAt(std::int64_t offset, std::string_view bytes) {
  if (fd_ < 0) return false;
  if (mode_ == Mode::kAppend) return Append(bytes);
  std::size_t total = 0;
  while (total < bytes.size()) {
    ssize_t n = ::pwrite(fd_, bytes.data() + total, bytes.size() - total, offset + static_cast<std::int64_t>(total));
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    total += static_cast<std::size_t>(n);
  }
  return true;
}

bool File::Append(std::string_view bytes) {
  if (fd_ < 0) return false;
  std::size_t total = 0;
  while (total < bytes.size()) {
    ssize_t n = mode_ == Mode::kAppend ? ::write(fd_, bytes.data() + total, bytes.size() - total)
                                       : ::pwrite(fd_, bytes.data() + total, bytes.size() - total, Size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    total += static_cast<std::size_t>(n);
  }
  return true;
}

bool File::Truncate(std::int64_t size) { return fd_ >= 0 && ::ftruncate(fd_, size) == 0; }

bool File::Sync() { return fd_ >= 0 && ::fsync(fd_) == 0; }

std::optional<std::string> ReadWholeFile(std::string_view systemPath) {
  File file;
  if (file.Open(systemPath, File::Mode::kRead, false) != OpenResult::kOk) return std::nullopt;
  std::string out;
  char buffer[65536];
  std::int64_t offset = 0;
  for (;;) {
    std::int64_t n = file.ReadAt(offset, buffer);
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    out.append(buffer, static_cast<std::size_t>(n));
    offset += n;
  }
  return out;
}

bool WriteWholeFile(std::string_view systemPath, std::string_view bytes) {
  File file;
  if (file.Open(systemPath, File::Mode::kReadWrite, false) != OpenResult::kOk) return false;
  return file.Truncate(0) && file.WriteAt(0, bytes);
}

}  // namespace platform
