// Catalogue reading over arbitrary bytes: the item reader and the lookup for each language.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "session/catalogue.h"
#include "session/items.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view content(reinterpret_cast<const char*>(data), size);

  // Every item comes from the content, lines only go forward, and the reader always ends.
  session::ItemReader reader(content);
  std::string item;
  std::string firstItem;
  std::size_t count = 0;
  std::size_t bytes = 0;
  int line = 1;
  while (reader.Next(item)) {
    if (count == 0) firstItem = item;
    ++count;
    bytes += item.size();
    if (reader.ItemLine() < line || count > size + 1 || bytes > size) __builtin_trap();
    line = reader.ItemLine();
  }

  // Look up the first key (so that a match is likely) and a text that is usually absent.
  for (std::string_view language : {"SPA", "GLG", "OCI", "CAT", "   "}) {
    std::string found = session::LookUpCatalogue(content, firstItem, language);
    if (found.size() > size) __builtin_trap();
    std::string absent = session::LookUpCatalogue(content, "\x01never\x02", language);
    if (language == "CAT" || language == "   ") {
      if (found != firstItem) __builtin_trap();
    }
    (void)absent;
  }
  return 0;
}
