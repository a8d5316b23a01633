// Files and folders that the operators of one installation share.
//
// Each operator runs the programs under an account of their own, all of them members of the
// installation's group, each with whatever umask their login gives (often 022). So every file
// or folder the system creates goes through this helper, which settles its mode and group from
// the folder it is created in, not from the umask:
// - in a group-writable folder it is group-readable and group-writable (a folder also
//   group-searchable and set-group-id like its parent) and takes the folder's group, as the
//   kernel already does in set-group-id folders;
// - in any other folder (a private terminal directory, mode 0700) the umask's mode stands;
// - nothing is ever world-writable.
#pragma once

#include <string>

namespace platform {

// The mode a new file or folder gets: `created` is the mode it was created with (the umask
// applied), `folder` the mode of the folder it is in.
unsigned SharedMode(unsigned created, unsigned folder, bool directory);

// Opens a host path with the open(2) flags given, creating the file when it is missing (O_CREAT
// is implied); a file that this call created gets its shared mode and group. Returns the
// descriptor, or -1 with errno set.
int OpenCreating(const std::string& hostPath, int flags);

// Gives a file that a library created for us (SQLite's -wal and -shm beside a record file) the
// mode and group of a file this system creates. Only a file of this user's own is touched;
// anything else is left as it is. The file is never opened, so the locks that the library holds
// on it stay.
void ShareOwnFile(const std::string& hostPath);

// Creates a folder with its shared mode and group. True when it was made or already exists as
// a folder.
bool MakeSharedDirectory(const std::string& hostPath);

// Creates a folder that only its owner may enter (mode 0700). True when it was made or the name
// exists already (the caller checks what it is).
bool MakePrivateDirectory(const std::string& hostPath);

}  // namespace platform
