// Parts of the record manager that live in shared modules of their own and are loaded when
// first needed: the SQLite store (so that a program draws its first screen before SQLite is
// even mapped) and the database-server store (so that programs on local files never load the
// server's client library).
//
// A module is looked for in the folder of the running program (the build tree keeps programs
// and modules together), then in the module folder of the installation the program is in
// (<prefix>/bin/.. /<libdir>/modcarta). Only those two places are searched, by a fixed file
// name: nothing from the environment picks the code that is loaded.
#pragma once

#include <string>

namespace recman {

// The address of an entry point of a module, loading the module the first time. nullptr when
// it cannot be found or loaded, or lacks the symbol; error says which and why.
void* ModuleSymbol(const char* moduleFile, const char* symbol, std::string& error);

}  // namespace recman
