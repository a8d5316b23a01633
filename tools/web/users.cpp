#include "tools/web/users.h"

#include <crypt.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

#include "session/station.h"

namespace web {

bool ValidOperatorName(std::string_view name) {
  if (name.empty() || name.size() > 32 || name[0] == '.') return false;
  for (char c : name) {
    bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
              c == '-';
    if (!ok) return false;
  }
  return true;
}

bool ValidLanguage(std::string_view language) { return session::IsStationLanguage(language); }

std::optional<Account> ParseAccountLine(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  // A hash has no colon in it, so the first and the last colon are the separators.
  std::size_t first = line.find(':');
  std::size_t last = line.rfind(':');
  if (first == std::string_view::npos || last == first) return std::nullopt;
  Account a{std::string(line.substr(0, first)), std::string(line.substr(first + 1, last - first - 1)),
            std::string(line.substr(last + 1))};
  if (!ValidOperatorName(a.name) || !ValidLanguage(a.language)) return std::nullopt;
  if (a.hash.size() < 4 || a.hash.compare(0, 3, "$y$") != 0) return std::nullopt;
  for (char c : a.hash) {  // crypt's alphabet: ./0-9A-Za-z and the "$" between the parts
    bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '/' ||
              c == '$';
    if (!ok) return std::nullopt;
  }
  return a;
}

std::string FormatAccountLine(const Account& account) {
  return account.name + ":" + account.hash + ":" + account.language;
}

std::string HashPassword(const std::string& password) {
  char salt[CRYPT_GENSALT_OUTPUT_SIZE];
  // A null random source asks libcrypt for the kernel's random bytes; 0 is the default cost.
  if (crypt_gensalt_rn("$y$", 0, nullptr, 0, salt, sizeof salt) == nullptr) return {};
  auto data = std::make_unique<crypt_data>();
  const char* hash = crypt_r(password.c_str(), salt, data.get());
  if (hash == nullptr || hash[0] != '$') return {};  // "*0" and "*1" are libcrypt's failures
  return hash;
}

bool CheckPassword(const std::string& password, const std::string& hash) {
  if (hash.empty() || hash[0] != '$') return false;
  auto data = std::make_unique<crypt_data>();
  const char* again = crypt_r(password.c_str(), hash.c_str(), data.get());
  if (again == nullptr || std::strlen(again) != hash.size()) return false;
  unsigned char diff = 0;
  for (std::size_t i = 0; i < hash.size(); ++i) diff |= static_cast<unsigned char>(again[i] ^ hash[i]);
  return diff == 0;
}

std::string UsersFile::Load() {
  lines_.clear();
  std::ifstream in(path_, std::ios::binary);
  if (!in) {
    if (errno == ENOENT) return {};
    return "cannot read " + path_ + ": " + std::strerror(errno);
  }
  std::string text;
  while (std::getline(in, text)) {
    if (!text.empty() && text.back() == '\r') text.pop_back();
    lines_.push_back({text, ParseAccountLine(text)});
  }
  return {};
}

std::string UsersFile::Save() const {
  std::string text;
  for (const Line& line : lines_) text += (line.account ? FormatAccountLine(*line.account) : line.text) + "\n";
  std::string temp = path_ + ".new";
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return "cannot write " + temp + ": " + std::strerror(errno);
  ::fchmod(fd, 0600);
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      std::string error = "cannot write " + temp + ": " + std::strerror(errno);
      ::close(fd);
      ::unlink(temp.c_str());
      return error;
    }
    done += static_cast<std::size_t>(n);
  }
  if (::fsync(fd) != 0 || ::close(fd) != 0) {
    ::unlink(temp.c_str());
    return "cannot write " + temp + ": " + std::strerror(errno);
  }
  if (::rename(temp.c_str(), path_.c_str()) != 0) {
    std::string error = "cannot replace " + path_ + ": " + std::strerror(errno);
    ::unlink(temp.c_str());
    return error;
  }
  return {};
}

const Account* UsersFile::Find(std::string_view name) const {
  for (const Line& line : lines_) {
    if (line.account && line.account->name == name) return &*line.account;
  }
  return nullptr;
}

void UsersFile::Put(const Account& account) {
  for (Line& line : lines_) {
    if (line.account && line.account->name == account.name) {
      line.account = account;
      return;
    }
  }
  lines_.push_back({{}, account});
}

bool UsersFile::Remove(std::string_view name) {
  for (auto it = lines_.begin(); it != lines_.end(); ++it) {
    if (it->account && it->account->name == name) {
      lines_.erase(it);
      return true;
    }
  }
  return false;
}

}  // namespace web
