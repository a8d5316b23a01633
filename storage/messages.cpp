#include "storage/messages.h"

namespace storage {
namespace {

enum class Language { kCatalan, kSpanish, kGalician, kAranese };

Language Pick(std::string_view code) {
  if (code == "SPA") return Language::kSpanish;
  if (code == "GLG") return Language::kGalician;
  if (code == "OCI") return Language::kAranese;
  return Language::kCatalan;
}

// The Aranese accented capitals in code page 850: E grave D4, O grave E3, A grave B7.
#define E_GRAVE "\xD4"
#define O_GRAVE "\xE3"
#define A_GRAVE "\xB7"

}  // namespace

std::string RecordLockedMessage(std::string_view language) {
  switch (Pick(language)) {
    case Language::kSpanish: return "FICHERO BLOQUEADO. ESPERE UN MOMENTO.";
    case Language::kGalician: return "FICHEIRO BLOQUEADO. ESPERE UM MOMENTO.";
    case Language::kAranese: return "FICH" E_GRAVE "R BLOQUEJAT. ESPERATZ UN MOMENT.";
    case Language::kCatalan: break;
  }
  return "FITXER BLOQUEJAT. ESPEREU UN MOMENT.";
}

std::string CannotAccessMessage(std::string_view language, std::string_view name, int status) {
  std::string text = CannotAccessMessage(language, name);
  text += " (";
  text += std::to_string(status);
  text += ")";
  return text;
}

std::string CannotAccessMessage(std::string_view language, std::string_view name) {
  std::string text;
  switch (Pick(language)) {
    case Language::kSpanish: text = "NO SE PUEDE ACCEDER AL FICHERO "; break;
    case Language::kGalician: text = "NOM SE PODE ACEDER AO FICHEIRO "; break;
    case Language::kAranese: text = "NON SE P" O_GRAVE "T ACCEDIR ATH FICH" E_GRAVE "R "; break;
    case Language::kCatalan: text = "NO ES POT ACCEDIR AL FITXER "; break;
  }
  text += name;
  return text;
}

std::string RegistryLockedMessage(std::string_view language, bool escapeAllowed) {
  std::string text;
  std::string escape;
  switch (Pick(language)) {
    case Language::kSpanish:
      text = "FICHERO BLOQUEADO. ESPERE UN MOMENTO";
      escape = " O PULSE [ESC] PARA SALIR";
      break;
    case Language::kGalician:
      text = "FICHEIRO BLOQUEADO. ESPERE UM MOMENTO";
      escape = " OU PULSE [ESC] PARA SAIR";
      break;
    case Language::kAranese:
      text = "FICH" E_GRAVE "R BLOQUEJAT. ESPERATZ UN MOMENT";
      escape = " O POSSATZ [ESC] ENT" A_GRAVE " G" E_GRAVE "SSER";
      break;
    case Language::kCatalan:
      text = "FITXER BLOQUEJAT. ESPEREU UN MOMENT";
      escape = " O POLSEU [ESC] PER A EIXIR";
      break;
  }
  if (escapeAllowed) text += escape;
  text += ".";
  return text;
}

}  // namespace storage
