// Copying a record file from one place to another (SQLite files to a server and back): the
// administrator's way in and out of a server.
#pragma once

#include <string>

#include "recman/status.h"

namespace recman {

class StorePlace;

// Makes toPath in `to` (59 when it exists there) with the description and owner of fromPath in
// `from`, and copies every record to the address it has there, with every key's order of equal
// values; the next address given out is the source's. The source is read as it stands at one
// moment, under a normal claim; the destination is held exclusively until it is complete, and
// then verified. 0, or the status of the step that failed, with error saying which.
Status CopyFile(StorePlace& from, const std::string& fromPath, StorePlace& to, const std::string& toPath,
                std::string& error);

}  // namespace recman
