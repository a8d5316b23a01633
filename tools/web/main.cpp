// modcarta-web: the record card in a web browser, and the management of its operators.
//
//   modcarta-web --root DIR [--listen ADDR:PORT] [--users FILE] [--cert FILE --key FILE]
//                [--program FILE] [--static DIR] [--stations DIR] [--idle-minutes N]
//   modcarta-web passwd NAME [--users FILE] [--lang CAT|SPA|GLG|OCI]
//   modcarta-web remove NAME [--users FILE]
#include <termios.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "tools/web/server.h"
#include "tools/web/users.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: modcarta-web --root DIR [--listen ADDR:PORT] [--users FILE] [--cert FILE --key FILE]\n"
               "                    [--program FILE] [--static DIR] [--stations DIR] [--idle-minutes N]\n"
               "       modcarta-web passwd NAME [--users FILE] [--lang CAT|SPA|GLG|OCI]\n"
               "       modcarta-web remove NAME [--users FILE]\n");
  return 2;
}

std::string ExeDir() {
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  return std::filesystem::path(std::string(buf, static_cast<std::size_t>(n))).parent_path().string();
}

// One line from standard input, without echo when it is a terminal.
bool ReadPassword(const char* prompt, std::string* out) {
  bool tty = ::isatty(0);
  termios saved{};
  if (tty) {
    std::fprintf(stderr, "%s", prompt);
    ::tcgetattr(0, &saved);
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(0, TCSAFLUSH, &quiet);
  }
  bool ok = static_cast<bool>(std::getline(std::cin, *out));
  if (tty) {
    ::tcsetattr(0, TCSAFLUSH, &saved);
    std::fprintf(stderr, "\n");
  }
  if (!out->empty() && out->back() == '\r') out->pop_back();
  return ok;
}

int Passwd(const std::string& name, const std::string& usersPath, const std::string& language) {
  if (!web::ValidOperatorName(name)) {
    std::fprintf(stderr, "modcarta-web: an operator's name is 1 to 32 letters, digits, '.', '_' or '-'\n");
    return 2;
  }
  if (!language.empty() && !web::ValidLanguage(language)) {
    std::fprintf(stderr, "modcarta-web: the language is CAT, SPA, GLG or OCI\n");
    return 2;
  }
  web::UsersFile users(usersPath);
  std::string error = users.Load();
  if (!error.empty()) {
    std::fprintf(stderr, "modcarta-web: %s\n", error.c_str());
    return 1;
  }
  std::string password, again;
  if (!ReadPassword("Password: ", &password) || password.empty()) {
    std::fprintf(stderr, "modcarta-web: no password given\n");
    return 1;
  }
  if (::isatty(0) && (!ReadPassword("Again: ", &again) || again != password)) {
    std::fprintf(stderr, "modcarta-web: the passwords differ\n");
    return 1;
  }
  web::Account account{name, web::HashPassword(password), "CAT"};
  if (account.hash.empty()) {
    std::fprintf(stderr, "modcarta-web: libcrypt could not hash the password\n");
    return 1;
  }
  if (const web::Account* old = users.Find(name)) account.language = old->language;
  if (!language.empty()) account.language = language;
  users.Put(account);
  std::error_code ec;
  std::filesystem::path parent = std::filesystem::path(usersPath).parent_path();
  if (!parent.empty()) std::filesystem::create_directories(parent, ec);
  error = users.Save();
  if (!error.empty()) {
    std::fprintf(stderr, "modcarta-web: %s\n", error.c_str());
    return 1;
  }
  return 0;
}

int Remove(const std::string& name, const std::string& usersPath) {
  web::UsersFile users(usersPath);
  std::string error = users.Load();
  if (error.empty() && !users.Remove(name)) {
    std::fprintf(stderr, "modcarta-web: no operator %s in %s\n", name.c_str(), usersPath.c_str());
    return 1;
  }
  if (error.empty()) error = users.Save();
  if (!error.empty()) {
    std::fprintf(stderr, "modcarta-web: %s\n", error.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string command;
  std::string name;
  if (!args.empty() && (args[0] == "passwd" || args[0] == "remove")) {
    if (args.size() < 2) return Usage();
    command = args[0];
    name = args[1];
    args.erase(args.begin(), args.begin() + 2);
  }
  std::map<std::string, std::string> opts;
  static const std::vector<std::string> kServe = {"--root",    "--listen",   "--users",    "--cert",        "--key",
                                                   "--program", "--static",   "--stations", "--idle-minutes"};
  static const std::vector<std::string> kManage = {"--users", "--lang"};
  const std::vector<std::string>& known = command.empty() ? kServe : kManage;
  for (std::size_t i = 0; i < args.size(); ++i) {
    bool ok = false;
    for (const std::string& k : known) ok = ok || args[i] == k;
    if (!ok || i + 1 >= args.size()) return Usage();
    opts[args[i]] = args[i + 1];
    ++i;
  }
  std::string users = opts.count("--users") ? opts["--users"] : "/etc/modcarta/web-users";
  if (command == "passwd") return Passwd(name, users, opts.count("--lang") ? opts["--lang"] : "");
  if (command == "remove") return Remove(name, users);

  if (!opts.count("--root")) return Usage();
  if (opts.count("--cert") != opts.count("--key")) {
    std::fprintf(stderr, "modcarta-web: --cert and --key go together\n");
    return 2;
  }
  web::ServerOptions o;
  std::error_code ec;
  o.root = std::filesystem::absolute(opts["--root"], ec).lexically_normal().string();
  while (o.root.size() > 1 && o.root.back() == '/') o.root.pop_back();
  if (!std::filesystem::is_directory(o.root)) {
    std::fprintf(stderr, "modcarta-web: no installation at %s\n", o.root.c_str());
    return 1;
  }
  std::string exe = ExeDir();
  if (opts.count("--listen")) o.listen = opts["--listen"];
  o.usersFile = users;
  o.certFile = opts["--cert"];
  o.keyFile = opts["--key"];
  o.program = opts.count("--program") ? opts["--program"] : exe + "/modcarta";
  o.program = std::filesystem::absolute(o.program, ec).string();
  o.staticDir = opts.count("--static") ? opts["--static"] : exe + "/../share/modcarta-web";
  o.stationsDir = opts.count("--stations") ? opts["--stations"] : o.root + "/WEB";
  o.stationsDir = std::filesystem::absolute(o.stationsDir, ec).string();
  if (opts.count("--idle-minutes")) {
    o.idleMinutes = std::atoi(opts["--idle-minutes"].c_str());
    if (o.idleMinutes < 1) return Usage();
  }
  std::string error;
  int status = web::RunServer(o, &error);
  if (!error.empty()) std::fprintf(stderr, "modcarta-web: %s\n", error.c_str());
  return status;
}
