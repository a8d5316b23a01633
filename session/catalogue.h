// Interface languages and message catalogues.
//
// The program's own texts are written in Catalan. Texts from outside the code (form labels,
// choice lists, list titles, the module's messages) are translated at run time through the
// module's catalogue, "LOCALE\" + module name + ".LNG" under the installation root.
//
// Catalogue file format (code page 850, items as in session/items.h): records of four items,
// the Catalan text (the key), then the Spanish, Galician and Aranese texts. A record may span
// lines or share a line with others; only the items count. Blank lines between records are
// skipped. Records are in no particular order; the first record whose key equals the text
// exactly (case and blanks significant) is used, and its translation is returned as it stands,
// also when it is empty. An incomplete last record (a key without its three translations) is
// ignored.
#pragma once

#include <string>
#include <string_view>

#include "session/session.h"

namespace session {

// Language codes: three characters, compared exactly (capitals, no trimming). Any other code,
// blanks included, behaves like Catalan.
inline constexpr std::string_view kCatalan = "CAT";
inline constexpr std::string_view kSpanish = "SPA";
inline constexpr std::string_view kGalician = "GLG";
inline constexpr std::string_view kAranese = "OCI";

// Picks one of the four built-in variants of a text by the language code: Spanish for "SPA",
// Galician for "GLG", Aranese for "OCI", Catalan for any other code.
inline std::string_view PickLanguage(std::string_view language, std::string_view catalan, std::string_view spanish,
                                     std::string_view galician, std::string_view aranese) {
  if (language == kSpanish) return spanish;
  if (language == kGalician) return galician;
  if (language == kAranese) return aranese;
  return catalan;
}

// Turns a text written in Catalan into the session language.
class Translator {
 public:
  virtual ~Translator() = default;
  virtual std::string Translate(std::string_view text) = 0;
};

// The translation of `text` for `language` found in the bytes of a catalogue, or `text` itself
// when no record's key equals it or the code is none of "SPA", "GLG", "OCI".
std::string LookUpCatalogue(std::string_view content, std::string_view text, std::string_view language);

// The module's message catalogue. Reads RootDir and Language from the session at every call;
// the session must outlive the catalogue. Every call opens, scans and closes the file; nothing
// is cached.
class Catalogue : public Translator {
 public:
  // `moduleName` names the catalogue file (for this program "MODCARTA"); it does not change
  // afterwards.
  Catalogue(const Session& session, std::string moduleName)
      : session_(session), moduleName_(std::move(moduleName)) {}

  // The text in the session language. With the language "CAT" the text comes back unchanged
  // and the catalogue is not touched. Otherwise a missing catalogue is created empty first;
  // when it can be neither read nor created (no LOCALE directory, no permission) the text comes
  // back unchanged. Nothing is ever reported.
  std::string Translate(std::string_view text) override;

  // The catalogue's system path: RootDir + "LOCALE\" + module name + ".LNG".
  std::string Path() const;

 private:
  const Session& session_;
  std::string moduleName_;
};

}  // namespace session
