#include "recman/lock_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/sharing.h"

namespace recman {
namespace {

int SetLock(int fd, short type, off_t offset) {
  struct flock fl = {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = offset;
  fl.l_len = 1;
  fl.l_pid = 0;  // required for open-file-description locks
  return ::fcntl(fd, F_OFD_SETLK, &fl);
}

bool Busy(int err) { return err == EAGAIN || err == EACCES; }

}  // namespace

Status LockFile::Open(const std::string& recordFileHostPath, Claim claim) {
  Close();
  const std::string side = SidePath(recordFileHostPath);
  fd_ = platform::OpenCreating(side, O_RDWR | O_CLOEXEC);
  if (fd_ < 0) fd_ = ::open(side.c_str(), O_RDONLY | O_CLOEXEC);  // read-only media: shared claims only
  if (fd_ < 0) return kStatusIoError;
  if (SetLock(fd_, claim == Claim::kExclusive ? F_WRLCK : F_RDLCK, 0) != 0) {
    int err = errno;
    Close();
    return Busy(err) ? kStatusFileLocked : kStatusIoError;
  }
  return kStatusOk;
}

void LockFile::Close() {
  if (fd_ >= 0) ::close(fd_);  // drops every lock of this open
  fd_ = -1;
}

LockFile::Result LockFile::Lock(std::uint32_t addr, bool wait, int waitLimitMs) {
  if (fd_ < 0) return Result::kError;
  auto start = std::chrono::steady_clock::now();
  int pauseUs = 200;
  for (;;) {
    if (SetLock(fd_, F_WRLCK, static_cast<off_t>(addr)) == 0) return Result::kGranted;
    if (!Busy(errno)) return Result::kError;
    if (!wait) return Result::kHeld;
    auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    if (waited.count() >= waitLimitMs) return Result::kHeld;
    // Polling rather than F_OFD_SETLKW: a wait that can end keeps two clients that wait on each
    // other from hanging for ever.
    std::this_thread::sleep_for(std::chrono::microseconds(pauseUs));
    if (pauseUs < 5000) pauseUs *= 2;
  }
}

void LockFile::Unlock(std::uint32_t addr) {
  if (fd_ >= 0) SetLock(fd_, F_UNLCK, static_cast<off_t>(addr));
}

}  // namespace recman
