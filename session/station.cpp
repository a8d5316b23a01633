#include "session/station.h"

#include <array>

#include "platform/files.h"

namespace session {
namespace {

std::string WithSlash(std::string_view dir) {
  std::string out(dir);
  if (out.empty() || out.back() != '/') out += '/';
  return out;
}

// The directory in the program's own path form, ending in "\" as its directories do.
std::string SystemDirectory(std::string_view dir) {
  std::string out(dir);
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  return out + "\\";
}

bool IsValueText(std::string_view text) {
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7F || c == ';') return false;
  }
  return true;
}

bool IsDateText(std::string_view date) {
  if (date.size() != 8) return false;
  for (char c : date) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

}  // namespace

bool IsStationLanguage(std::string_view language) {
  static constexpr std::array<std::string_view, 4> kLanguages = {"CAT", "SPA", "GLG", "OCI"};
  for (std::string_view known : kLanguages) {
    if (language == known) return true;
  }
  return false;
}

std::string SessioIniText(const StationSettings& settings) {
  return "[Menu]\r\n"
         "Titol=Administraci\xA2 de finques - Fitxa de departaments\r\n"
         "NomMenu=MODCARTA\r\n"
         "Menu=FINQUES\r\n"
         "ChnMenu=\r\n"
         "Operador=" + settings.operatorName + "\r\n"
         "ZedTipOper=1\r\n"
         "[Terminal]\r\n"
         "Dir=" + SystemDirectory(settings.terminalDir) + "\r\n";
}

std::string OrbaTermIniText(const StationSettings& settings) {
  std::string text =
      "[Pantalla]\r\n"
      "Seleccio=1\r\n"
      "Col0=15000700000700070007\r\n"
      "Col1=15010701000300071401\r\n"
      "[Sistema]\r\n";
  if (!settings.workDate.empty()) text += "Data=" + settings.workDate + "\r\n";
  text += "Sortida=PANTALLA\r\n";
  text += "Idioma=" + settings.language + "\r\n";
  return text;
}

std::string WriteStationFiles(std::string_view dir, const StationSettings& settings) {
  if (!IsStationLanguage(settings.language)) {
    return "unknown language \"" + settings.language + "\" (CAT, SPA, GLG or OCI)";
  }
  if (settings.operatorName.empty() || !IsValueText(settings.operatorName)) {
    return "the operator's name must not be empty nor hold control characters or \";\"";
  }
  if (!IsValueText(settings.terminalDir) || settings.terminalDir.empty()) {
    return "the terminal directory must not be empty nor hold control characters or \";\"";
  }
  if (!settings.workDate.empty() && !IsDateText(settings.workDate)) {
    return "the working date must be eight digits, YYYYMMDD";
  }
  const std::string base = WithSlash(dir);
  for (const auto& [name, text] : {std::pair{std::string("Sessio.ini"), SessioIniText(settings)},
                                   std::pair{std::string("OrbaTerm.ini"), OrbaTermIniText(settings)}}) {
    const std::string path = base + name;
    if (!platform::WriteWholeFile(path, text)) return "cannot write " + path;
  }
  return "";
}

}  // namespace session
