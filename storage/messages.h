// The storage layer's own messages, in the four interface languages.
//
// Texts are code page 850 bytes. A language code "SPA", "GLG" or "OCI" picks that text (tested
// in this order); any other code, blanks included, picks the Catalan one.
#pragma once

#include <string>
#include <string_view>

namespace storage {

// "The record is locked, wait a moment." shown while the record layer waits for a record lock.
std::string RecordLockedMessage(std::string_view language);

// "Cannot access the file <name>", shown for a lock file that cannot be opened at all.
std::string CannotAccessMessage(std::string_view language, std::string_view name);
// The same followed by " (<status>)", shown before a fatal open.
std::string CannotAccessMessage(std::string_view language, std::string_view name, int status);

// The lock registry's waiting message; with escapeAllowed the text says that Escape gives up.
std::string RegistryLockedMessage(std::string_view language, bool escapeAllowed);

}  // namespace storage
