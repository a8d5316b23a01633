// The current directory, and relative paths made absolute against a directory.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// The process's current directory as a host path ("" when it cannot be told).
std::string CurrentDirectory();

// A relative path made absolute against a directory: the directory, "/" and the path. A path
// that is empty or already absolute (it begins with "/" or "\") comes back unchanged.
//   AbsolutePath("inst/", "/home/op") == "/home/op/inst/"
std::string AbsolutePath(std::string_view systemPath, std::string_view directory);

}  // namespace platform
