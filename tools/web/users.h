// The operators' accounts of modcarta-web: one text file that only the server reads.
//
// One account a line, "name:hash:language", LF line ends, in the order they were added:
//   maria:$y$j9T$...$...:CAT
// `name` is 1 to 32 of A-Z a-z 0-9 . _ - (not starting with a dot: it names the operator's
// folder of workstations); `hash` is a yescrypt hash made by libcrypt ("$y$..."), never a
// password; `language` is the workstation language (CAT, SPA, GLG or OCI). Blank lines and
// lines starting with "#" are kept as they stand. The file is written whole to a temporary
// file beside it with mode 0600 and renamed over the old one.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace web {

struct Account {
  std::string name;
  std::string hash;
  std::string language;
};

// True for a name that may be an operator's (see the format above).
bool ValidOperatorName(std::string_view name);
// True for one of the four workstation languages.
bool ValidLanguage(std::string_view language);

// One line of the file: an account, or nothing for a blank, comment or malformed line.
std::optional<Account> ParseAccountLine(std::string_view line);
std::string FormatAccountLine(const Account& account);

// A yescrypt hash of a password with a fresh random salt; empty when libcrypt fails.
std::string HashPassword(const std::string& password);
// True when the password matches the hash (compared in constant time).
bool CheckPassword(const std::string& password, const std::string& hash);

class UsersFile {
 public:
  explicit UsersFile(std::string path) : path_(std::move(path)) {}

  // Reads the file; a missing file is an empty one. "" or an error text.
  std::string Load();
  // Writes the file back (temporary file, mode 0600, rename). "" or an error text.
  std::string Save() const;

  const Account* Find(std::string_view name) const;
  // Adds the account or replaces the one of that name.
  void Put(const Account& account);
  // False when there was no such account.
  bool Remove(std::string_view name);
  const std::string& path() const { return path_; }

 private:
  struct Line {
    std::string text;                // kept as it stands when not an account
    std::optional<Account> account;
  };
  std::string path_;
  std::vector<Line> lines_;
};

}  // namespace web
