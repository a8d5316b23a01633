// The record card program: start-up, the main loop over panels 1, 2 and 3, and shut-down.
//
//   app::Program program(std::move(backend), environment, system);
//   int status = program.Run();
//
// Run follows the start-up order: hide the cursor, start the session, go to the installation
// root, claim the workstation in the lock registry, load the form, open the three data files,
// run the main loop, close every file. It returns the exit status: 0 after the operator leaves
// panel 1 with Escape (or the console's input ends, which answers Escape to every read),
// non-zero when another program runs on the workstation, the form cannot be loaded or a data
// file cannot be opened (after telling the operator). The terminal is given back when the
// Program (its Console) is destroyed.
#pragma once

#include <memory>
#include <string>

#include "platform/system.h"
#include "session/environment.h"
#include "tui/console/backend.h"

namespace app {

class Program {
 public:
  Program(tui::Backend backend, const session::Environment& environment, platform::System& system);
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  int Run();

  // Why Run ended with a non-zero status, for the caller to print once the terminal is back.
  const std::string& FailureMessage() const;

  struct Parts;  // everything the program owns, in construction order
  Parts& parts() { return *parts_; }

 private:
  void MainLoop();
  std::unique_ptr<Parts> parts_;
};

}  // namespace app
