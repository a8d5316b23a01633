// modcarta-web's server: HTTP(S) and WebSocket on Boost.Beast, one modcarta per connection.
//
//   GET  /            the terminal page (logged in), else a redirect to /login
//   GET  /login       the login page; POST /login checks a name and password
//   POST /logout      ends the session
//   GET  /session     204 while the session cookie is valid, 401 otherwise
//   GET  /static/F    the static files (page script, style, xterm.js)
//   GET  /term        WebSocket: the terminal; needs the session cookie and our own Origin
//
// One thread runs everything; the programs run as child processes on pseudo-terminals.
#pragma once

#include <string>

namespace web {

struct ServerOptions {
  std::string root;                                  // the installation root (ZEDROOT)
  std::string listen = "127.0.0.1:8080";             // ADDR:PORT; port 0 picks a free one
  std::string usersFile = "/etc/modcarta/web-users";
  std::string certFile, keyFile;                     // both set: HTTPS
  std::string staticDir;                             // the page's files
  std::string program;                               // the modcarta binary
  std::string stationsDir;                           // the operators' folders of workstations
  int idleMinutes = 30;                              // a session unused this long expires
  int graceMs = 3000;                                // SIGHUP to SIGKILL
};

// Serves until SIGINT or SIGTERM; then hangs up every program and waits for them.
// Prints "modcarta-web: listening on URL" on standard output once it accepts connections.
// Returns the process exit status; an error text in *error when it cannot start.
int RunServer(const ServerOptions& options, std::string* error);

}  // namespace web
