#include "session/catalogue.h"

#include <array>
#include <optional>

#include "platform/files.h"
#include "session/items.h"

namespace session {

std::string LookUpCatalogue(std::string_view content, std::string_view text, std::string_view language) {
  ItemReader reader(content);
  std::string key;
  std::array<std::string, 3> translations;
  while (true) {
    while (!reader.AtEndOfFile() && reader.RestOfLineIsBlank()) reader.SkipRestOfLine();
    if (!reader.Next(key) || reader.AtEnd()) break;
    bool complete = true;
    for (std::string& item : translations) {
      if (!reader.Next(item)) {
        complete = false;
        break;
      }
    }
    if (!complete) break;
    if (key == text) {
      return std::string(PickLanguage(language, text, translations[0], translations[1], translations[2]));
    }
  }
  return std::string(text);
}

std::string Catalogue::Path() const { return session_.RootDir + "LOCALE\\" + moduleName_ + ".LNG"; }

std::string Catalogue::Translate(std::string_view text) {
  if (session_.Language == kCatalan) return std::string(text);
  const std::string path = Path();

  // Make sure the catalogue exists: a missing one is created empty. Read and write access
  // creates it; a catalogue that exists but may not be written is still opened to read.
  {
    platform::File file;
    if (file.Open(path, platform::File::Mode::kReadWrite, false) != platform::OpenResult::kOk &&
        file.Open(path, platform::File::Mode::kRead, false) != platform::OpenResult::kOk) {
      return std::string(text);
    }
  }

  std::optional<std::string> content = platform::ReadWholeFile(path);
  if (!content) return std::string(text);
  return LookUpCatalogue(*content, text, session_.Language);
}

}  // namespace session
