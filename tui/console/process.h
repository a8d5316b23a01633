// Running a helper program and capturing what it prints (the clipboard tools wl-paste, xclip).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tui {

// Starts argv (argv[0] looked up on PATH, no command interpreter), writes `input` to its
// standard input and closes it, and collects its standard output (at most `max_output` bytes)
// until it ends; its standard error is discarded. Returns the output when the program ran and
// ended with status 0 within `timeout_ms`; otherwise nothing (a program still running then is
// killed).
std::optional<std::string> RunCaptured(const std::vector<std::string>& argv, std::string_view input,
                                       int timeout_ms, std::size_t max_output = 1 << 16);

// True when a program of that name is found on PATH.
bool ProgramOnPath(std::string_view name);

}  // namespace tui
