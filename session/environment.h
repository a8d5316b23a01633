// Environment variables, read through an interface so tests can set them without touching the
// process environment.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace session {

class Environment {
 public:
  virtual ~Environment() = default;
  // The variable's value, or nullopt when it is not set.
  virtual std::optional<std::string> Get(std::string_view name) const = 0;

  // Who and where the program runs, for the private terminal directory that start-up creates
  // when the settings name none (session/start.h). The user's numeric id (by default the
  // process's real user id) and the name of the program's terminal ("/dev/pts/3"; by
  // default "", no terminal).
  virtual std::uint32_t UserId() const;
  virtual std::string TerminalName() const { return {}; }
};

// The process environment.
class ProcessEnvironment : public Environment {
 public:
  std::optional<std::string> Get(std::string_view name) const override;
  std::string TerminalName() const override;
};

// A fixed set of variables, for tests and for programs that build their own environment.
class MapEnvironment : public Environment {
 public:
  MapEnvironment() = default;
  explicit MapEnvironment(std::map<std::string, std::string, std::less<>> vars) : vars_(std::move(vars)) {}
  void Set(std::string name, std::string value) { vars_[std::move(name)] = std::move(value); }
  void Unset(std::string_view name) {
    auto it = vars_.find(name);
    if (it != vars_.end()) vars_.erase(it);
  }
  std::optional<std::string> Get(std::string_view name) const override {
    auto it = vars_.find(name);
    if (it == vars_.end()) return std::nullopt;
    return it->second;
  }

  void SetUserId(std::uint32_t id) { userId_ = id; }
  void SetTerminalName(std::string name) { terminalName_ = std::move(name); }
  std::uint32_t UserId() const override { return userId_ ? *userId_ : Environment::UserId(); }
  std::string TerminalName() const override { return terminalName_; }

 private:
  std::map<std::string, std::string, std::less<>> vars_;
  std::optional<std::uint32_t> userId_;
  std::string terminalName_;
};

}  // namespace session
