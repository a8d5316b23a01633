// Runs one of the built programs as a user would, in a directory of the test's, and collects
// its exit status and what it wrote.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace testing_support {

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ShellQuoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Runs `program` (a host path) with `args` inside `dir`, its standard input the given bytes;
// its output and errors are kept in files of `dir` while it runs.
inline Result RunProgram(const std::string& dir, const std::string& program, const std::vector<std::string>& args,
                         const std::string& stdinBytes = "") {
  WriteFile(dir + "/stdin.bin", stdinBytes);
  std::string command = "cd " + ShellQuoted(dir) + " && " + ShellQuoted(program);
  for (const auto& a : args) command += " " + ShellQuoted(a);
  command += " <stdin.bin >stdout.bin 2>stderr.bin";
  int raw = std::system(command.c_str());
  Result r;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = ReadFile(dir + "/stdout.bin");
  r.err = ReadFile(dir + "/stderr.bin");
  return r;
}

}  // namespace testing_support
