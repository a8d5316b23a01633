// modcarta: the record card of the TranLauV file, for the terminal it is started in.
#include <csignal>
#include <cstdio>
#include <string>

#include "app/program.h"
#include "build_version.h"
#include "platform/system.h"
#include "session/environment.h"
#include "tui/console/terminal_backend.h"

namespace {

constexpr const char* kUsage = "usage: modcarta [--version | --help]\n";

constexpr const char* kHelp =
    "modcarta: the record card of the TranLauV file, on the terminal it is started in.\n"
    "It takes no arguments. It reads its environment:\n"
    "  ZEDROOT  the installation root, ending in /\n"
    "  ZEDTMP   the workstation's own temporary directory, ending in /\n"
    "  ZEDEXE   where the suite's programs are\n"
    "--version prints the version, --help this text.\n";

// The program takes no arguments; these two answer and end, anything else is refused.
int AnswerArguments(int argc, char** argv) {
  std::string argument = argv[1];
  if (argc == 2 && argument == "--version") {
    std::printf("modcarta %s\n", modcarta_build::kVersion);
    return 0;
  }
  if (argc == 2 && argument == "--help") {
    std::printf("%s%s", kUsage, kHelp);
    return 0;
  }
  std::fprintf(stderr, "modcarta: unexpected argument %s\n%s", argument.c_str(), kUsage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) return AnswerArguments(argc, argv);
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
