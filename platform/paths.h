// System paths and the host file system.
//
// The system's own texts name files DOS-style: "\" separates components and names are
// matched in any case ("DADES\FinquesV", "FORMS\MODCARTA.ZPN", "AJUDA\"). Every file access
// of the system goes through HostPath, which turns such a path into one the host can open.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Maps a system path to a host path: "\" and "/" both separate components; a component that
// does not exist in its exact case is looked up case-insensitively (ASCII letters) in its
// directory, and the first match found is used. Components that match nothing (a file about
// to be created) keep the case they were given. "" maps to "" (the current directory for
// callers that append a name). A trailing separator is kept.
std::string HostPath(std::string_view systemPath);

// True when the path names an existing file or directory.
bool PathExists(std::string_view systemPath);
bool IsDirectory(std::string_view systemPath);

// Creates one directory (its parent must exist) with the mode and group of a shared folder
// (platform/sharing.h). True when it exists afterwards.
bool MakeDirectory(std::string_view systemPath);

// Changes the process's current directory. True on success.
bool ChangeDirectory(std::string_view systemPath);

// Removes a file. True when it no longer exists afterwards.
bool RemoveFile(std::string_view systemPath);

}  // namespace platform
