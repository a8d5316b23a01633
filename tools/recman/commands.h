// The commands of the recman utility, runnable in-process for tests.
//
//   recman create FILE DESCRIPTION [--replace]
//   recman xdf LAYOUT.json DESCRIPTION
//   recman stat FILE
//   recman load FILE INPUT [--layout LAYOUT.json --csv]
//   recman save FILE OUTPUT [--key N] [--layout LAYOUT.json --csv]
//   recman verify FILE
//   recman backup FILE DEST        (DEST a file, or a folder to copy into)
//   recman --version | --help
//
// "-" as INPUT or OUTPUT is standard input or output. Exit status: 0 success, 1 the command
// failed (one message on the error stream naming the file and, for records, the record number
// and status), 2 the command line is wrong.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "recman/engine.h"
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

// Runs one command line (without the program name).
int RunRecman(const std::vector<std::string>& args, recman::Engine& engine, Streams io);

// A status in words, e.g. "status 5, duplicate key value".
std::string StatusWords(int status);

// The Stat report of a file in plain words.
std::string DescribeFile(const std::string& name, const FileDescription& description);

}  // namespace recman_tool
