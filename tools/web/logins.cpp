#include "tools/web/logins.h"

#include <sys/random.h>

#include <algorithm>

namespace web {

std::string NewToken() {
  unsigned char bytes[32];
  std::size_t got = 0;
  while (got < sizeof bytes) {
    ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
    if (n <= 0) return {};
    got += static_cast<std::size_t>(n);
  }
  static const char kHex[] = "0123456789abcdef";
  std::string token;
  for (unsigned char b : bytes) {
    token += kHex[b >> 4];
    token += kHex[b & 15];
  }
  return token;
}

std::string SessionTable::Create(const std::string& operatorName, std::int64_t now) {
  Purge(now);
  std::string token = NewToken();
  if (!token.empty()) sessions_[token] = {operatorName, now};
  return token;
}

SessionTable::Lookup SessionTable::Use(const std::string& token, std::int64_t now) {
  auto it = sessions_.find(token);
  if (it == sessions_.end()) return {};
  if (now - it->second.lastUsed > idleMs_) {
    sessions_.erase(it);
    return {State::kExpired, {}};
  }
  it->second.lastUsed = now;
  return {State::kValid, it->second.operatorName};
}

void SessionTable::Remove(const std::string& token) { sessions_.erase(token); }

void SessionTable::Purge(std::int64_t now) {
  for (auto it = sessions_.begin(); it != sessions_.end();) {
    it = now - it->second.lastUsed > idleMs_ ? sessions_.erase(it) : std::next(it);
  }
}

std::int64_t LoginThrottle::Delay(int failures) {
  if (failures < kFreeFailures) return 0;
  int doublings = std::min(failures - kFreeFailures, 16);
  return std::min(kFirstDelayMs << doublings, kMaxDelayMs);
}

std::int64_t LoginThrottle::Admit(const std::string& address, std::int64_t now) {
  if (entries_.size() > 10000) {
    for (auto it = entries_.begin(); it != entries_.end();) {
      it = now - it->second.lastFailure > kForgetMs ? entries_.erase(it) : std::next(it);
    }
  }
  auto it = entries_.find(address);
  if (it == entries_.end()) return 0;
  Entry& e = it->second;
  if (now - e.lastFailure > kForgetMs && e.nextCheck <= now) {
    entries_.erase(it);
    return 0;
  }
  std::int64_t turn = std::max(now, e.nextCheck);
  // The next attempt waits behind this one as if this one fails too.
  e.nextCheck = turn + Delay(e.failures + 1);
  return turn - now;
}

void LoginThrottle::Failed(const std::string& address, std::int64_t now) {
  Entry& e = entries_[address];
  ++e.failures;
  e.lastFailure = now;
  e.nextCheck = std::max(e.nextCheck, now + Delay(e.failures));
}

void LoginThrottle::Succeeded(const std::string& address) { entries_.erase(address); }

int LoginThrottle::Failures(const std::string& address) const {
  auto it = entries_.find(address);
  return it == entries_.end() ? 0 : it->second.failures;
}

}  // namespace web
