#include "tools/admin/installation.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "platform/files.h"
#include "platform/paths.h"
#include "recman/server_place.h"
#include "recman/status.h"
#include "recman/store_place.h"
#include "recman/verify.h"
#include "session/catalogue.h"
#include "session/form.h"
#include "session/ini.h"
#include "tools/admin/texts.h"
#include "tools/recman/description.h"

namespace admin_tool {
namespace fs = std::filesystem;
namespace {

// The program's module and the record files it opens.
constexpr const char* kModule = "MODCARTA";
const std::vector<std::string> kRecordFiles = {"FinquesV", "DepartaV", "TranLauV"};

// How a source folder's files become installation files: the folder, the source's extension
// and the installed one, and whether they are help records.
struct TextKind {
  std::string folder;
  std::string sourceExtension;
  std::string installedExtension;
  bool help;
};
const std::vector<TextKind> kTextKinds = {
    {"FORMS", ".ZPN", ".ZPN", false},
    {"LOCALE", ".LNG", ".LNG", false},
    {"AJUDA", ".txt", ".HLP", true},
};

std::string Stem(const fs::path& p) { return p.stem().string(); }

// The regular files of a folder with the given extension, in name order.
std::vector<fs::path> FilesWithExtension(const fs::path& dir, const std::string& extension) {
  std::vector<fs::path> found;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->is_regular_file(ec) && it->path().extension() == extension) found.push_back(it->path());
  }
  std::sort(found.begin(), found.end());
  return found;
}

std::string Read(const fs::path& p, bool& ok) {
  auto bytes = platform::ReadWholeFile(p.string());
  ok = bytes.has_value();
  return bytes ? *bytes : std::string();
}

// The translator that leaves the form's texts as they are: the check reads the form's
// structure, not its translations.
class Untranslated : public session::Translator {
 public:
  std::string Translate(std::string_view text) override { return std::string(text); }
};

std::string Quoted(const std::string& path) {
  std::string q = "'";
  for (char c : path) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string GroupName(gid_t gid) {
  struct group* g = ::getgrgid(gid);
  return g ? g->gr_name : std::to_string(gid);
}

// The modes and group of one path of the installation. `written` marks what the programs
// write (so the group needs write access to it).
void CheckModes(const fs::path& path, const std::string& shown, gid_t group, bool written,
                std::vector<std::string>& problems) {
  struct stat info;
  if (::lstat(path.c_str(), &info) != 0) return;
  bool folder = S_ISDIR(info.st_mode);
  if (info.st_gid != group) {
    problems.push_back(shown + ": its group is " + GroupName(info.st_gid) + ", not the installation's " +
                       GroupName(group) + "; chgrp " + GroupName(group) + " " + Quoted(path.string()));
  }
  if (info.st_mode & S_IWOTH) {
    problems.push_back(shown + ": anyone may write it; chmod o-w " + Quoted(path.string()));
  }
  if (folder) {
    if ((info.st_mode & (S_IRGRP | S_IWGRP | S_IXGRP)) != (S_IRGRP | S_IWGRP | S_IXGRP) || !(info.st_mode & S_ISGID)) {
      problems.push_back(shown + ": the group cannot create files here with the folder's group; chmod g+rwxs " +
                         Quoted(path.string()));
    }
  } else if (!(info.st_mode & S_IRGRP) || (written && !(info.st_mode & S_IWGRP))) {
    problems.push_back(shown + (written ? ": the group cannot read and write it; chmod g+rw "
                                        : ": the group cannot read it; chmod g+r ") +
                       Quoted(path.string()));
  }
}

void CheckText(const fs::path& path, const std::string& shown, std::vector<std::string>& problems, std::string* bytes) {
  bool ok = false;
  std::string content = Read(path, ok);
  if (!ok) {
    problems.push_back(shown + ": missing or unreadable; modcarta-admin import SOURCES DIR writes it");
    return;
  }
  std::string fault = TextFormatFault(content);
  if (!fault.empty()) {
    problems.push_back(shown + ": " + fault + "; convert its source with modcarta-admin import");
  }
  if (bytes) *bytes = std::move(content);
}

}  // namespace

bool ConvertSources(const std::string& sourceDir, std::vector<OutputFile>& files, std::vector<std::string>& faults) {
  fs::path source(sourceDir);
  auto convert = [&](const fs::path& from, const std::string& relative, bool help) {
    bool ok = false;
    std::string bytes = Read(from, ok);
    if (!ok) {
      faults.push_back(from.string() + ": cannot be read");
      return;
    }
    std::string converted;
    TextFault fault;
    if (help ? !SourceToHelp(bytes, converted, fault) : !SourceToText(bytes, converted, fault)) {
      faults.push_back(from.string() + ": " + fault.Describe());
      return;
    }
    files.push_back({relative, std::move(converted)});
  };
  std::size_t before = files.size();
  std::error_code ec;
  if (fs::is_regular_file(source / "Orba.ini", ec)) convert(source / "Orba.ini", "Orba.ini", false);
  for (const TextKind& kind : kTextKinds) {
    for (const fs::path& p : FilesWithExtension(source / kind.folder, kind.sourceExtension)) {
      convert(p, kind.folder + "/" + Stem(p) + kind.installedExtension, kind.help);
    }
  }
  if (faults.empty() && files.size() == before) {
    faults.push_back(sourceDir + ": no sources found (Orba.ini, FORMS/*.ZPN, LOCALE/*.LNG, AJUDA/*.txt)");
  }
  return faults.empty();
}

bool ExportSources(const std::string& root, std::vector<OutputFile>& files, std::vector<std::string>& faults) {
  fs::path dir(root);
  std::error_code ec;
  bool ok = false;
  if (fs::is_regular_file(dir / "Orba.ini", ec)) {
    std::string bytes = Read(dir / "Orba.ini", ok);
    if (ok) files.push_back({"Orba.ini", TextToSource(bytes)});
  }
  for (const TextKind& kind : kTextKinds) {
    for (const fs::path& p : FilesWithExtension(dir / kind.folder, kind.installedExtension)) {
      std::string bytes = Read(p, ok);
      std::string relative = kind.folder + "/" + Stem(p) + kind.sourceExtension;
      if (!ok) {
        faults.push_back(p.string() + ": cannot be read");
      } else if (!kind.help) {
        files.push_back({relative, TextToSource(bytes)});
      } else {
        std::string source, problem;
        if (HelpToSource(bytes, source, problem)) {
          files.push_back({relative, std::move(source)});
        } else {
          faults.push_back(p.string() + ": " + problem);
        }
      }
    }
  }
  if (faults.empty() && files.empty()) faults.push_back(root + ": no installation texts found");
  return faults.empty();
}

bool WriteFiles(const std::string& dir, const std::vector<OutputFile>& files, std::string& error) {
  for (const OutputFile& file : files) {
    fs::path target = fs::path(dir) / file.relative;
    std::error_code ec;
    fs::create_directories(target.parent_path(), ec);
    std::string partial = target.string() + ".partial-" + std::to_string(::getpid());
    if (!platform::WriteWholeFile(partial, file.bytes)) {
      std::remove(partial.c_str());
      error = target.string() + ": cannot be written";
      return false;
    }
    // A file being replaced keeps its modes and group.
    struct stat old;
    if (::stat(target.c_str(), &old) == 0) {
      ::chmod(partial.c_str(), old.st_mode & 07777);
      if (::chown(partial.c_str(), static_cast<uid_t>(-1), old.st_gid) != 0) {
        // Not the group's member: the new file keeps the group it was created with.
      }
    }
    fs::rename(partial, target, ec);
    if (ec) {
      std::remove(partial.c_str());
      error = target.string() + ": cannot be written (" + ec.message() + ")";
      return false;
    }
  }
  return true;
}

bool ShareWithGroup(const std::string& path, const std::string& group, std::string& error) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) {
    error = path + ": not found";
    return false;
  }
  if (!group.empty()) {
    struct group* g = ::getgrnam(group.c_str());
    if (!g) {
      error = "no group named " + group;
      return false;
    }
    if (::chown(path.c_str(), static_cast<uid_t>(-1), g->gr_gid) != 0) {
      error = path + ": cannot be given to group " + group + " (only its owner, being a member, or root can)";
      return false;
    }
  }
  mode_t mode = (info.st_mode & 07777 & ~static_cast<mode_t>(S_IWOTH)) | S_IRGRP | S_IWGRP;
  if (S_ISDIR(info.st_mode)) mode |= S_IXGRP | S_ISGID;
  if (::chmod(path.c_str(), mode) != 0) {
    error = path + ": its modes cannot be changed";
    return false;
  }
  return true;
}

std::vector<std::string> CheckInstallation(const std::string& rootName) {
  std::vector<std::string> problems;
  fs::path root(rootName);
  auto shown = [&](const std::string& relative) { return (root / relative).string(); };
  struct stat rootInfo;
  if (::stat(root.c_str(), &rootInfo) != 0 || !S_ISDIR(rootInfo.st_mode)) {
    problems.push_back(rootName + ": no such folder; modcarta-admin init " + Quoted(rootName) + " lays one out");
    return problems;
  }
  std::error_code ec;

  // Settings, form, catalogue and help, as the program reads them.
  std::string orba;
  CheckText(root / "Orba.ini", shown("Orba.ini"), problems, &orba);
  std::string language = session::FindIniValue(orba, "Usuari", "Idioma");
  if (!orba.empty() && !language.empty() && language != session::kCatalan && language != session::kSpanish &&
      language != session::kGalician && language != session::kAranese) {
    problems.push_back(shown("Orba.ini") + ": [Usuari] Idioma=" + language +
                       " is none of CAT, SPA, GLG, OCI (Catalan is used); correct it");
  }
  std::string form;
  std::string formName = std::string("FORMS/") + kModule + ".ZPN";
  std::size_t before = problems.size();
  CheckText(root / formName, shown(formName), problems, &form);
  if (problems.size() == before) {
    Untranslated translator;
    session::Form parsed;
    session::FormStatus status = session::ParseForm(form, shown(formName), translator, parsed);
    if (!status) problems.push_back(status.message + "; correct its source and import it again");
  }
  CheckText(root / "LOCALE" / (std::string(kModule) + ".LNG"), shown(std::string("LOCALE/") + kModule + ".LNG"),
            problems, nullptr);
  if (!fs::is_regular_file(root / "AJUDA" / (std::string(kModule) + ".HLP"), ec)) {
    problems.push_back(shown(std::string("AJUDA/") + kModule + ".HLP") +
                       ": missing (F1 shows no help); modcarta-admin import SOURCES DIR writes it");
  }
  for (const fs::path& p : FilesWithExtension(root / "AJUDA", ".HLP")) {
    bool ok = false;
    std::string fault = HelpFormatFault(Read(p, ok));
    if (!fault.empty()) {
      problems.push_back(p.string() + ": not a help file: " + fault + "; convert its source with modcarta-admin import");
    }
  }
  for (const fs::path& p : FilesWithExtension(root / "AJUDA", ".txt")) {
    problems.push_back(p.string() + ": a readable source inside the installation; modcarta-admin import converts it to " +
                       Stem(p) + ".HLP");
  }

  // Descriptions and record files: on the database server that [Dades] Servidor names, else in
  // DADES/. A file missing from either is no problem: the program creates it from its
  // description.
  std::string server = session::FindIniValue(orba, "Dades", "Servidor");
  server.erase(0, server.find_first_not_of(' '));
  server.erase(server.find_last_not_of(' ') + 1);
  std::unique_ptr<recman::StorePlace> place;
  if (!server.empty()) {
    recman::ServerOptions options;
    options.conninfo = server;
    options.root = fs::absolute(root, ec).lexically_normal().string();
    while (options.root.size() > 1 && options.root.back() == '/') options.root.pop_back();
    std::string error;
    if (recman::OpenServerPlace(options, place, error) != recman::kStatusOk || !place) {
      problems.push_back(shown("Orba.ini") + ": [Dades] Servidor names a database server, but " + error);
      place.reset();
    }
  }
  for (const std::string& name : kRecordFiles) {
    std::string xdf = "ddf/" + name + ".xdf";
    bool ok = false;
    std::string bytes = Read(root / xdf, ok);
    std::string buffer, error;
    recman_tool::FileDescription description;
    if (!ok) {
      problems.push_back(shown(xdf) + ": missing; recman xdf LAYOUT.json " + Quoted(shown(xdf)) + " makes it");
    } else if (!recman_tool::ReadDescriptionFile(bytes, buffer, error) ||
               !recman_tool::DecodeDescription(buffer, description, error)) {
      problems.push_back(shown(xdf) + ": damaged (" + error + "); make it again with recman xdf");
    }
    std::string dat = "DADES/" + name + ".dat";
    if (!server.empty()) {
      if (!place) continue;
      // The server knows the file by the name the program gives it.
      const std::string path = platform::HostPath(fs::absolute(root / dat, ec).lexically_normal().string());
      std::unique_ptr<recman::Store> store;
      std::unique_ptr<recman::RecordLocks> locks;
      recman::Status status = place->Open(path, false, store, locks);
      store.reset();
      locks.reset();
      if (status == recman::kStatusFileNotFound) continue;
      std::string report;
      if (status != recman::kStatusOk) {
        problems.push_back(dat + " on the server: cannot be opened (status " + std::to_string(status) +
                           "); is the server running and [Dades] Servidor right?");
      } else if (!recman::VerifyFile(*place, path, report)) {
        std::string first = report.substr(0, report.find('\n'));
        problems.push_back(dat + " on the server: fails recman verify (" + first +
                           "); see recman --server ... verify, and restore the last backup if it stays so");
      }
      continue;
    }
    if (!fs::exists(root / dat, ec)) continue;  // the program creates it from its description
    std::string report;
    if (!recman::VerifyFile((root / dat).string(), report)) {
      std::string first = report.substr(0, report.find('\n'));
      problems.push_back(shown(dat) + ": fails recman verify (" + first +
                         "); see recman verify, and restore the last backup if it stays so");
    }
  }

  // Folders and files: the installation's group may create, read and write what the programs do.
  gid_t group = rootInfo.st_gid;
  CheckModes(root, rootName, group, true, problems);
  for (const std::string& folder : kInstallationFolders) {
    fs::path dir = root / folder;
    if (!fs::is_directory(dir, ec)) {
      problems.push_back(shown(folder) + ": missing folder; mkdir " + Quoted(dir.string()) + " and chmod g+rwxs it");
      continue;
    }
    CheckModes(dir, shown(folder), group, true, problems);
    bool written = folder == "DADES" || folder == "LOCKS";
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
      if (it->is_regular_file(ec)) {
        CheckModes(it->path(), it->path().string(), group, written, problems);
      }
    }
  }
  for (fs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->is_regular_file(ec)) {
      CheckModes(it->path(), it->path().string(), group, it->path().filename() == "db.log", problems);
    }
  }
  return problems;
}

}  // namespace admin_tool
