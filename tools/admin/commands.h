// The commands of modcarta-admin, the administrator's tool for an installation, runnable
// in-process for tests.
//
//   modcarta-admin init DIR [--group G] [--demo]
//   modcarta-admin check DIR
//   modcarta-admin import SOURCES DIR
//   modcarta-admin export DIR SOURCES
//   modcarta-admin station NAME [--lang L] [--dir D] [--root DIR]
//
// SOURCES is a folder of readable sources laid out as an installation: Orba.ini,
// FORMS/<module>.ZPN, LOCALE/<module>.LNG, AJUDA/<topic>.txt (see texts.h). station writes an
// operator's Sessio.ini and OrbaTerm.ini into their private folder (D, by default ~/.modcarta,
// mode 0700) and prints the environment to start modcarta with. Exit status: 0
// success (for check: no problem found), 1 the command failed or check found problems, 2
// the command line is wrong.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace admin_tool {

struct Streams {
  std::ostream& out;
  std::ostream& err;
};

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// Where init finds the demo installation's sources (install/, layouts/, data/, station/).
struct SharedFiles {
  std::string dir;
};

// The shared files beside the program (<program dir>/../share/modcarta), else the source
// tree's demo/ folder the program was built from.
SharedFiles FindSharedFiles();

int RunAdmin(const std::vector<std::string>& args, const SharedFiles& shared, Streams io);

}  // namespace admin_tool
