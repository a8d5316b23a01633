// recman: the record file maintenance utility. See commands.h for the commands.
#include <iostream>
#include <string>
#include <vector>

#include "recman/engine.h"
#include "tools/recman/commands.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  std::vector<std::string> args(argv + 1, argv + argc);
  recman::Engine engine;
  return recman_tool::RunRecman(args, engine, recman_tool::Streams{std::cin, std::cout, std::cerr});
}
