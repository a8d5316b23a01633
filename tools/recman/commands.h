// The commands of the recman utility, runnable in-process for tests.
//
//   recman create FILE DESCRIPTION [--replace]
//   recman xdf LAYOUT.json DESCRIPTION
//   recman stat FILE
//   recman load FILE INPUT [--layout LAYOUT.json --csv]
//   recman save FILE OUTPUT [--key N] [--layout LAYOUT.json --csv]
//   recman verify FILE
//   recman backup FILE DEST        (DEST a file, or a folder to copy into)
//   recman copy SRC DEST [--replace]
//   recman --version | --help
//
// Every command takes --server CONNINFO (a libpq connection string; RECMAN_SERVER gives the
// default) and --root DIR. With a server, FILE is a record file on that server, named by its
// path relative to the root (default: the current directory) exactly as the program names it:
// "recman --server ... --root /srv/inst create DADES/TranLauV.dat ddf/TranLauV.xdf" makes the
// file the program of the installation /srv/inst opens as DADES\TranLauV. Descriptions,
// layouts, CSV and record streams are always files on this host. backup of a server file
// copies it into a record file on this host. copy takes local:PATH (a file on this host),
// server:PATH (a server file) or a plain PATH (a server file when a server is named, else a
// local one) on each side; it keeps every record's address and key order, verifies the copy,
// and refuses an existing destination without --replace.
//
// "-" as INPUT or OUTPUT is standard input or output. Exit status: 0 success, 1 the command
// failed (one message on the error stream naming the file and, for records, the record number
// and status), 2 the command line is wrong.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "tools/recman/description.h"

namespace recman_tool {

struct Streams {
  std::istream& in;
  std::ostream& out;
  std::ostream& err;
};

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// Runs one command line (without the program name). serverFromEnvironment: RECMAN_SERVER, the
// server used when the command line names none ("" for files on this host).
int RunRecman(const std::vector<std::string>& args, const std::string& serverFromEnvironment, Streams io);

// A status in words, e.g. "status 5, duplicate key value".
std::string StatusWords(int status);

// The Stat report of a file in plain words.
std::string DescribeFile(const std::string& name, const FileDescription& description);

}  // namespace recman_tool
