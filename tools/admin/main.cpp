// modcarta-admin: the administrator's tool for an installation. See commands.h.
#include <iostream>
#include <string>
#include <vector>

#include "tools/admin/commands.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return admin_tool::RunAdmin(args, admin_tool::FindSharedFiles(), admin_tool::Streams{std::cout, std::cerr});
}
