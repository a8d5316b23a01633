// recman: the record file maintenance utility. See commands.h for the commands.
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "tools/recman/commands.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  std::vector<std::string> args(argv + 1, argv + argc);
  const char* server = std::getenv("RECMAN_SERVER");
  return recman_tool::RunRecman(args, server ? server : "", recman_tool::Streams{std::cin, std::cout, std::cerr});
}
