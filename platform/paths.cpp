#include "platform/paths.h"
#include "platform/directories.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <strings.h>
#include <vector>

#include "platform/sharing.h"

namespace platform {
namespace {

bool Exists(const std::string& hostPath) {
  struct stat st;
  return ::lstat(hostPath.c_str(), &st) == 0;
}

// Finds an entry of the directory whose name equals the component without regard to ASCII case.
bool FindCaseInsensitive(const std::string& directory, const std::string& component, std::string& found) {
  DIR* dir = ::opendir(directory.empty() ? "." : directory.c_str());
  if (dir == nullptr) return false;
  bool ok = false;
  while (dirent* entry = ::readdir(dir)) {
    if (::strcasecmp(entry->d_name, component.c_str()) == 0) {
      found = entry->d_name;
      ok = true;
      break;
    }
  }
  ::closedir(dir);
  return ok;
}

}  // namespace

std::string HostPath(std::string_view systemPath) {
  std::string out;
  out.reserve(systemPath.size());
  std::size_t i = 0;
  if (!systemPath.empty() && (systemPath[0] == '\\' || systemPath[0] == '/')) {
    out = "/";
    i = 1;
  }
  // Walk component by component; once a component is missing the rest cannot exist either,
  // so they are kept as given.
  bool stillResolving = true;
  while (i <= systemPath.size()) {
    std::size_t end = i;
    while (end < systemPath.size() && systemPath[end] != '\\' && systemPath[end] != '/') ++end;
    std::string component(systemPath.substr(i, end - i));
    bool separatorFollows = end < systemPath.size();
    if (!component.empty()) {
      std::string candidate = out + component;
      if (stillResolving && component != "." && component != ".." && !Exists(candidate)) {
        std::string found;
        std::string directory = out;
        if (FindCaseInsensitive(directory, component, found)) {
          candidate = out + found;
        } else {
          stillResolving = false;
        }
      }
      out = candidate;
    }
    if (separatorFollows && !out.empty() && out.back() != '/') out += '/';
    if (end >= systemPath.size()) break;
    i = end + 1;
  }
  return out;
}

bool PathExists(std::string_view systemPath) {
  struct stat st;
  std::string host = HostPath(systemPath);
  return ::stat(host.empty() ? "." : host.c_str(), &st) == 0;
}

bool IsDirectory(std::string_view systemPath) {
  struct stat st;
  std::string host = HostPath(systemPath);
  return ::stat(host.empty() ? "." : host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeDirectory(std::string_view systemPath) {
  std::string host = HostPath(systemPath);
  while (host.size() > 1 && host.back() == '/') host.pop_back();
  if (host.empty()) return true;
  return MakeSharedDirectory(host);
}

bool ChangeDirectory(std::string_view systemPath) {
  std::string host = HostPath(systemPath);
  if (host.empty()) return true;
  return ::chdir(host.c_str()) == 0;
}

std::string CurrentDirectory() {
  std::string buffer(4096, '\0');
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE || buffer.size() > (1u << 20)) return {};
    buffer.resize(buffer.size() * 2);
  }
  return std::string(buffer.c_str());
}

std::string AbsolutePath(std::string_view systemPath, std::string_view directory) {
  if (systemPath.empty() || systemPath.front() == '/' || systemPath.front() == '\\') return std::string(systemPath);
  std::string out(directory);
  if (out.empty() || out.back() != '/') out += '/';
  out += systemPath;
  return out;
}

bool RemoveFile(std::string_view systemPath) {
  std::string host = HostPath(systemPath);
  if (::unlink(host.c_str()) == 0) return true;
  return errno == ENOENT;
}

}  // namespace platform
