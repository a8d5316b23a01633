#include "session/start.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <optional>

#include "platform/directories.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/sharing.h"
#include "session/ini.h"
#include "values/numbers.h"

namespace session {
namespace {

std::string EnvOrEmpty(const Environment& environment, std::string_view name) {
  return environment.Get(name).value_or("");
}

bool SetAndNotEmpty(const Environment& environment, std::string_view name) {
  std::optional<std::string> value = environment.Get(name);
  return value && !value->empty();
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

// A packed date of exactly four bytes from the digits yyyymmdd of a settings value. The value
// is trimmed first so that blanks around it do not shift the digit pairs; a value that packs to
// fewer bytes is padded in front with zero bytes, one that packs to more keeps its last four.
std::string PackWorkDate(std::string_view data) {
  data = TrimBlanks(data);
  if (data.empty()) return std::string(4, '\x80');
  std::string packed = values::BaseHundredPack(data);
  if (packed.size() < 4) packed.insert(0, 4 - packed.size(), '\x80');
  if (packed.size() > 4) packed.erase(0, packed.size() - 4);
  return packed;
}

// Makes sure `path` is a directory of the user's own that nobody else may enter: created with
// mode 0700 when missing; an existing one must be a real directory (not a symbolic link) owned
// by `uid`, and is set to mode 0700 (no access for group and others).
bool EnsurePrivateDirectory(const std::string& path, std::uint32_t uid) {
  if (!platform::MakePrivateDirectory(path)) return false;
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  if (st.st_uid != uid) return false;
  if ((st.st_mode & 0777) != 0700 && ::chmod(path.c_str(), 0700) != 0) return false;
  return true;
}

std::string TerminalComponent(std::string name) {
  if (name.rfind("/dev/", 0) == 0) name.erase(0, 5);
  std::string out;
  for (char c : name) {
    bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
                 c == '_' || c == '-';
    out.push_back(c == '/' ? '-' : plain ? c : '_');
  }
  // No "." or ".." component: leading dots become "_".
  for (std::size_t i = 0; i < out.size() && out[i] == '.'; ++i) out[i] = '_';
  return out.empty() ? "console" : out;
}

// An absolute directory without its trailing "/", or "" when the path names none.
std::string AbsoluteDirectory(std::string path) {
  struct stat st;
  if (path.empty() || path.front() != '/' || ::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return {};
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

std::string NormaliseDirectory(std::string_view directory) {
  std::string out(directory);
  if (!out.empty() && out.back() != ':' && out.back() != '\\') out += '\\';
  return out;
}

std::string FitText(std::string_view text, std::size_t width) {
  std::string out(text.substr(0, width));
  out.resize(width, ' ');
  return out;
}

std::string PlatformModeOf(const Environment& environment) {
  if (SetAndNotEmpty(environment, "HTTP_USER_AGENT") || SetAndNotEmpty(environment, "HTTP_ACCEPT")) return "CGI";
  if (SetAndNotEmpty(environment, "WINDIR") || SetAndNotEmpty(environment, "SYSTEMROOT")) return "WIN";
  return "DOS";
}

std::int16_t Int16Value(std::string_view text) {
  double value = values::NumberValue(text);
  if (!std::isfinite(value)) return 0;
  if (value <= -32768.0) return -32768;
  if (value >= 32767.0) return 32767;
  return static_cast<std::int16_t>(std::nearbyint(value));
}

std::array<ColourPair, 5> ColoursFromText(std::string_view colours) {
  auto part = [&](std::size_t position) -> std::int16_t {
    if (position >= colours.size()) return 0;
    return Int16Value(colours.substr(position, 2));
  };
  std::array<ColourPair, 5> table{};
  for (std::size_t i = 0; i < table.size(); ++i) {
    table[i].foreground = part(4 * i);
    table[i].background = part(4 * i + 2);
  }
  return table;
}

std::string PrivateTerminalDirectory(const Environment& environment) {
  const std::uint32_t uid = environment.UserId();
  std::string base;
  if (std::string runtime = AbsoluteDirectory(EnvOrEmpty(environment, "XDG_RUNTIME_DIR")); !runtime.empty()) {
    base = (runtime == "/" ? "" : runtime) + "/modcarta";
  } else {
    std::string tmp = AbsoluteDirectory(EnvOrEmpty(environment, "TMPDIR"));
    if (tmp.empty() || tmp == "/") tmp = "/tmp";
    base = tmp + "/modcarta-" + std::to_string(uid);
  }
  if (!EnsurePrivateDirectory(base, uid)) return {};
  std::string dir = base + "/" + TerminalComponent(environment.TerminalName());
  if (!EnsurePrivateDirectory(dir, uid)) return {};
  return dir;
}

void StartSession(const Environment& environment, Session& session) {
  session = Session{};
  session.ColourTable = {};

  // The program changes into the root and then uses it as a prefix: a relative root is taken
  // from the directory the program started in.
  session.RootDir = platform::AbsolutePath(EnvOrEmpty(environment, "ZEDROOT"), platform::CurrentDirectory());
  session.ExeDir = EnvOrEmpty(environment, "ZEDEXE");
  session.TempDir = NormaliseDirectory(EnvOrEmpty(environment, "ZEDTMP"));

  // Each settings file is read once and its entries looked up in memory.
  const std::string sessio = platform::ReadWholeFile(session.TempDir + "Sessio.ini").value_or("");
  session.MenuTitle = " " + FindIniValue(sessio, "Menu", "Titol") + " ";
  session.MenuName = FindIniValue(sessio, "Menu", "NomMenu");
  session.Menu = FindIniValue(sessio, "Menu", "Menu");
  session.ChainMenu = FindIniValue(sessio, "Menu", "ChnMenu");
  session.Operator = FindIniValue(sessio, "Menu", "Operador");
  session.OperatorType = Int16Value(FindIniValue(sessio, "Menu", "ZedTipOper"));
  session.TerminalDir = FindIniValue(sessio, "Terminal", "Dir");

  if (session.TerminalDir.empty()) {
    std::string term = EnvOrEmpty(environment, "TERM");
    if (!term.empty() && platform::IsDirectory(term)) {
      session.TerminalDir = term;
    } else {
      session.TerminalDir = PrivateTerminalDirectory(environment);
    }
  }
  session.TerminalDir = NormaliseDirectory(session.TerminalDir);
  if (session.TempDir.empty()) session.TempDir = session.TerminalDir;

  const std::string orbaTerm = platform::ReadWholeFile(session.TempDir + "OrbaTerm.ini").value_or("");
  const std::int16_t scheme = Int16Value(FindIniValue(orbaTerm, "Pantalla", "Seleccio"));
  std::string colours = FindIniValue(orbaTerm, "Pantalla", "Col" + std::to_string(scheme));
  if (colours.empty()) colours = kDefaultColours;
  session.ColourTable = ColoursFromText(colours);

  session.WorkDate = PackWorkDate(FindIniValue(orbaTerm, "Sistema", "Data"));
  session.OutputSetting = FindIniValue(orbaTerm, "Sistema", "Sortida");
  session.Language = FitText(FindIniValue(orbaTerm, "Sistema", "Idioma"), 3);
  const std::string orba = platform::ReadWholeFile(session.RootDir + "Orba.ini").value_or("");
  if (TrimBlanks(session.Language).empty()) session.Language = FitText(FindIniValue(orba, "Usuari", "Idioma"), 3);
  session.DataServer = std::string(TrimBlanks(FindIniValue(orba, "Dades", "Servidor")));

  session.PlatformMode = PlatformModeOf(environment);
}

}  // namespace session
