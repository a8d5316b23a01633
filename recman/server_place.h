// Record files on a database server (PostgreSQL). The server's client library is loaded only
// when a server is named: the store lives in a module of its own (librecman_pg.so), so programs
// that keep their files on this host neither load nor pay for it.
//
// Files are named on the server by their path relative to the installation root: with root
// "/srv/office/", the host path "/srv/office/DADES/TranLauV.dat" and the path "DADES/TranLauV.dat"
// opened from inside the root both name the file "DADES/TranLauV.dat".
#pragma once

#include <memory>
#include <string>

#include "recman/status.h"
#include "recman/store_place.h"

namespace recman {

struct ServerOptions {
  std::string conninfo;  // a libpq connection string naming the installation's database
  std::string root;      // the installation root, absolute; file names are relative to it
  int busyTimeoutMs = 10000;
};

// Loads the server module and makes the place. 0; 2 when the module cannot be loaded (error
// says why). Connections are made per open file, so an unreachable server shows at Open.
Status OpenServerPlace(const ServerOptions& options, std::unique_ptr<StorePlace>& out, std::string& error);

}  // namespace recman
