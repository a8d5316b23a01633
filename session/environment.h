// Environment variables, read through an interface so tests can set them without touching the
// process environment.
#pragma once

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
};

// The process environment.
class ProcessEnvironment : public Environment {
 public:
  std::optional<std::string> Get(std::string_view name) const override;
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

 private:
  std::map<std::string, std::string, std::less<>> vars_;
};

}  // namespace session
