// Who is logged in to modcarta-web, and how fast one address may try passwords.
// Times are milliseconds of a monotonic clock, handed in by the caller so tests can move them.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace web {

// A 256-bit random session token as 64 lowercase hexadecimal digits (kernel random source);
// empty when the kernel gives no random bytes.
std::string NewToken();

// The sessions of logged-in operators: a token (the cookie's value) names an operator until
// it has been unused for the idle time.
class SessionTable {
 public:
  explicit SessionTable(std::int64_t idleMs) : idleMs_(idleMs) {}

  enum class State { kValid, kExpired, kUnknown };
  struct Lookup {
    State state = State::kUnknown;
    std::string operatorName;
  };

  // A new session for the operator; the token, or "" when no random token could be made.
  std::string Create(const std::string& operatorName, std::int64_t now);
  // The session of a token. A valid session counts as used now; an expired one is forgotten
  // (it answers kExpired once, then kUnknown).
  Lookup Use(const std::string& token, std::int64_t now);
  void Remove(const std::string& token);
  std::size_t size() const { return sessions_.size(); }

 private:
  struct Entry {
    std::string operatorName;
    std::int64_t lastUsed = 0;
  };
  void Purge(std::int64_t now);
  std::int64_t idleMs_;
  std::map<std::string, Entry> sessions_;
};

// Slows down repeated failed logins from one address: the first three failures cost nothing,
// every further one doubles the wait before that address's next password is checked (1 s,
// 2 s, 4 s, ... up to 30 s). A success clears the address; a quarter of an hour without
// failures forgets it. Attempts that arrive together are checked one after another, each
// after the wait, so parallel requests gain nothing.
class LoginThrottle {
 public:
  static constexpr int kFreeFailures = 3;
  static constexpr std::int64_t kFirstDelayMs = 1000;
  static constexpr std::int64_t kMaxDelayMs = 30000;
  static constexpr std::int64_t kForgetMs = 15 * 60 * 1000;

  // Milliseconds to wait before checking this attempt (0 for an address in good standing).
  // The attempt's turn is reserved: call Failed or Succeeded when it has been checked.
  std::int64_t Admit(const std::string& address, std::int64_t now);
  void Failed(const std::string& address, std::int64_t now);
  void Succeeded(const std::string& address);
  int Failures(const std::string& address) const;

 private:
  struct Entry {
    int failures = 0;
    std::int64_t nextCheck = 0;    // no attempt is checked before this
    std::int64_t lastFailure = 0;
  };
  static std::int64_t Delay(int failures);
  std::map<std::string, Entry> entries_;
};

}  // namespace web
