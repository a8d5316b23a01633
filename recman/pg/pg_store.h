// The store on a PostgreSQL server: every record file of an installation in one database.
//
// Schema (made on first use, in one transaction that two clients may run at once; these names
// never change):
//   recman_files(id, name UNIQUE, spec, owner, owner_mode, last_addr, records): one row per
//     file. name is the file's path relative to the installation root with "/" separators,
//     spec the description as the Create layout with zero counts, last_addr the last address
//     given out (addresses are never given out twice), records the record count.
//   recman_records(file, addr, data, seqs, version), primary key (file, addr): seqs holds the
//     record's place among equal values of each key, 8 bytes little-endian per key (-1 for a
//     null key), as in the SQLite files; version counts the changes of the record.
//   recman_keys(file, key_index, k, seq, addr), primary key (file, key_index, k, seq): the
//     indexes. bytea compares as bytes, then by length, which is the order of stored keys.
//   recman_distinct(file, key_index, n): the number of distinct values of each key.
// Counts change in the transaction of the change. Every changing call locks its file's row
// first, so the writers of one file follow one another as on SQLite.
//
// Locks are the connection's advisory locks on (file id, address): address 0 is the open
// claim (shared, or exclusive for exclusive opens and for replacing a file); they go with the
// connection, like the side-file locks with their process.
#pragma once

#include <memory>
#include <string>

#include "recman/server_place.h"
#include "recman/store_place.h"

namespace recman::pg {

// The place: opens and creates files on the server. error receives why a connection failed.
std::unique_ptr<StorePlace> MakeServerPlace(const ServerOptions& options);

// The name of a host path on the server: relative to root, "/" separators, case kept. false
// when the path lies outside the root.
bool ServerName(const std::string& root, const std::string& path, std::string& name);

}  // namespace recman::pg
