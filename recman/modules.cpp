#include "recman/modules.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>

namespace recman {
namespace {

std::string ProgramFolder() {
  char path[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return {};
  std::string folder(path, static_cast<std::size_t>(n));
  std::size_t slash = folder.rfind('/');
  return slash == std::string::npos ? std::string() : folder.substr(0, slash);
}

}  // namespace

void* ModuleSymbol(const char* moduleFile, const char* symbol, std::string& error) {
  std::string tried;
  void* handle = nullptr;
  const std::string programFolder = ProgramFolder();
  if (programFolder.empty()) {
    error = std::string("module ") + moduleFile + " not looked for: the program's own folder is unknown";
    return nullptr;
  }
  // Installed, the programs are in <prefix>/bin and the modules in <prefix>/<libdir>/modcarta.
  const std::string folders[] = {programFolder, programFolder + "/../" + MODCARTA_MODULE_SUBDIR};
  // A module this process has loaded already is taken as it is, without looking at the file
  // system again (a process that has since changed its user may no longer reach the folder).
  for (const std::string& folder : folders) {
    handle = ::dlopen((folder + "/" + moduleFile).c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
    if (handle) break;
  }
  for (const std::string& folder : folders) {
    if (handle) break;
    const std::string path = folder + "/" + moduleFile;
    if (::access(path.c_str(), F_OK) != 0) {
      tried += (tried.empty() ? "" : ", ") + path;
      continue;
    }
    // Loaded once and kept: a second dlopen of the same file answers the same handle, and
    // objects made by the module live until the program ends.
    handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
      const char* why = ::dlerror();
      error = "cannot load " + path + ": " + (why ? why : "unknown error");
      return nullptr;
    }
    break;
  }
  if (!handle) {
    error = std::string("module ") + moduleFile + " not found (looked for " + tried + ")";
    return nullptr;
  }
  void* entry = ::dlsym(handle, symbol);
  if (!entry) error = std::string("module ") + moduleFile + " has no entry point " + symbol;
  return entry;
}

}  // namespace recman
