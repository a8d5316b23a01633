#include "platform/sharing.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform {
namespace {

std::string FolderOf(const std::string& hostPath) {
  std::string path = hostPath;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Settles the mode and group of what was just created at hostPath and is open as fd.
void Settle(int fd, const std::string& hostPath) {
  struct stat folder, own;
  if (::stat(FolderOf(hostPath).c_str(), &folder) != 0 || ::fstat(fd, &own) != 0) return;
  const bool directory = S_ISDIR(own.st_mode);
  // The group first: changing it may clear a set-group-id bit that the mode then puts back.
  // A failure (the operator is not a member of the folder's group) leaves the creator's group.
  if ((folder.st_mode & S_IWGRP) && own.st_gid != folder.st_gid) {
    [[maybe_unused]] int ignored = ::fchown(fd, static_cast<uid_t>(-1), folder.st_gid);
    ::fstat(fd, &own);
  }
  const unsigned want = SharedMode(own.st_mode & 07777, folder.st_mode & 07777, directory);
  if ((own.st_mode & 07777) != want) ::fchmod(fd, want);
}

}  // namespace

unsigned SharedMode(unsigned created, unsigned folder, bool directory) {
  unsigned mode = created & 07777;
  if (folder & S_IWGRP) {
    mode |= S_IRGRP | S_IWGRP;
    if (directory) mode |= S_IXGRP | (folder & S_ISGID);
  }
  return mode & ~static_cast<unsigned>(S_IWOTH);
}

int OpenCreating(const std::string& hostPath, int flags) {
  flags &= ~(O_CREAT | O_EXCL);
  // Created here (O_EXCL tells), or opened as it is; a file removed between the two tries is
  // tried again.
  for (int attempt = 0; attempt < 8; ++attempt) {
    int fd = ::open(hostPath.c_str(), flags | O_CREAT | O_EXCL, 0666);
    if (fd >= 0) {
      Settle(fd, hostPath);
      return fd;
    }
    if (errno != EEXIST) return -1;
    fd = ::open(hostPath.c_str(), flags);
    if (fd >= 0 || errno != ENOENT) return fd;
  }
  return -1;
}

void ShareOwnFile(const std::string& hostPath) {
  // By path, never through a descriptor of our own: closing any descriptor of a file drops
  // every POSIX lock this process holds on it, and SQLite keeps its locks on these files.
  struct stat folder, own;
  if (::lstat(hostPath.c_str(), &own) != 0 || !S_ISREG(own.st_mode) || own.st_uid != ::geteuid()) return;
  if (::stat(FolderOf(hostPath).c_str(), &folder) != 0) return;
  if ((folder.st_mode & S_IWGRP) && own.st_gid != folder.st_gid &&
      ::lchown(hostPath.c_str(), static_cast<uid_t>(-1), folder.st_gid) == 0) {
    ::lstat(hostPath.c_str(), &own);
  }
  const unsigned want = SharedMode(own.st_mode & 07777, folder.st_mode & 07777, false);
  if ((own.st_mode & 07777) != want) ::fchmodat(AT_FDCWD, hostPath.c_str(), want, AT_SYMLINK_NOFOLLOW);
}

bool MakeSharedDirectory(const std::string& hostPath) {
  if (::mkdir(hostPath.c_str(), 0777) != 0) {
    struct stat st;
    return errno == EEXIST && ::stat(hostPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }
  int fd = ::open(hostPath.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd >= 0) {
    Settle(fd, hostPath);
    ::close(fd);
  }
  return true;
}

bool MakePrivateDirectory(const std::string& hostPath) {
  return ::mkdir(hostPath.c_str(), 0700) == 0 || errno == EEXIST;
}

}  // namespace platform
