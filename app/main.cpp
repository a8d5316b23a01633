// modcarta: the record card of the TranLauV file, for the terminal it is started in.
#include <csignal>
#include <cstdio>
#include <string>

#include "app/program.h"
#include "platform/system.h"
#include "session/environment.h"
#include "tui/console/terminal_backend.h"

int main() {
  session::ProcessEnvironment environment;
  platform::RealSystem system;
  tui::TerminalOptions options;
  std::string error;
  tui::Backend backend = tui::MakeTerminalBackend(options, &error);
  if (!backend.display || !backend.input) {
    std::fprintf(stderr, "modcarta: %s\n", error.empty() ? "no terminal to run on" : error.c_str());
    return 1;
  }
  int status = 0;
  std::string failure;
  {
    app::Program program(std::move(backend), environment, system);
    status = program.Run();
    failure = program.FailureMessage();
  }  // the terminal is given back here, before anything is printed
  if (status != 0 && !failure.empty()) std::fprintf(stderr, "%s\n", failure.c_str());
  // Ended by a hang-up or a terminate signal: everything is closed, so end as that signal does.
  if (int sig = tui::TerminalEndSignal(); sig != 0) {
    std::signal(sig, SIG_DFL);
    std::raise(sig);
  }
  return status;
}
