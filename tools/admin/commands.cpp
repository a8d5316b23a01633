#include "tools/admin/commands.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <sstream>

#include "build_version.h"
#include "platform/sharing.h"
#include "session/station.h"
#include "tools/admin/texts.h"
#include "tools/admin/installation.h"
#include "tools/recman/commands.h"

namespace admin_tool {
namespace fs = std::filesystem;
namespace {

constexpr const char* kUsage =
    "usage:\n"
    "  modcarta-admin init DIR [--group G] [--demo]\n"
    "  modcarta-admin check DIR\n"
    "  modcarta-admin import SOURCES DIR\n"
    "  modcarta-admin export DIR SOURCES\n"
    "  modcarta-admin station NAME [--lang L] [--dir D] [--root DIR]\n"
    "  modcarta-admin --version | --help\n";

int Fail(Streams& io, const std::string& message) {
  io.err << "modcarta-admin: " << message << "\n";
  return kExitFailed;
}

int Usage(Streams& io, const std::string& message) {
  io.err << "modcarta-admin: " << message << "\n" << kUsage;
  return kExitUsage;
}

// The command's words after the command itself; options with a value are taken out.
struct Arguments {
  std::vector<std::string> positional;
  std::string group;
  bool demo = false;
  std::string language = "CAT";
  std::string stationDir;
  std::string root;
};

bool ParseArguments(const std::vector<std::string>& args, Arguments& a, std::string& error) {
  const std::string& command = args[0];
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& word = args[i];
    if (word == "--demo" && command == "init") {
      a.demo = true;
    } else if (word == "--group" && command == "init") {
      if (i + 1 >= args.size()) {
        error = "--group needs a group name";
        return false;
      }
      a.group = args[++i];
    } else if ((word == "--lang" || word == "--dir" || word == "--root") && command == "station") {
      if (i + 1 >= args.size()) {
        error = word + " needs a value";
        return false;
      }
      std::string& value = word == "--lang" ? a.language : word == "--dir" ? a.stationDir : a.root;
      value = args[++i];
    } else if (word.size() > 1 && word[0] == '-') {
      error = command + " does not take " + word;
      return false;
    } else {
      a.positional.push_back(word);
    }
  }
  return true;
}

// Runs a recman command in-process; its messages go to the error stream.
// The files are made on this host: a new installation keeps its record files here until the
// administrator copies them to a server.
bool Recman(const std::vector<std::string>& args, Streams& io) {
  std::istringstream in;
  std::ostringstream out;
  return recman_tool::RunRecman(args, "", recman_tool::Streams{in, out, io.err}) == recman_tool::kExitOk;
}

int Init(const Arguments& a, const SharedFiles& shared, Streams& io) {
  if (a.positional.size() != 1) return Usage(io, "init needs DIR");
  fs::path root(a.positional[0]);
  std::error_code ec;
  if (fs::exists(root / "Orba.ini", ec)) {
    return Fail(io, root.string() + " already holds an installation; modcarta-admin check looks it over");
  }
  fs::path sources = fs::path(shared.dir) / "install";
  fs::path layouts = fs::path(shared.dir) / "layouts";
  std::vector<OutputFile> texts;
  std::vector<std::string> faults;
  if (!ConvertSources(sources.string(), texts, faults)) {
    for (const auto& f : faults) io.err << "modcarta-admin: " << f << "\n";
    return Fail(io, "the installation's texts cannot be made from " + sources.string());
  }

  std::string error;
  fs::create_directories(root, ec);
  if (ec) return Fail(io, root.string() + ": cannot be created (" + ec.message() + ")");
  if (!ShareWithGroup(root.string(), a.group, error)) return Fail(io, error);
  // The folders inside take the root's group and modes as the programs' own folders do.
  for (const std::string& folder : kInstallationFolders) {
    if (!platform::MakeSharedDirectory((root / folder).string())) {
      return Fail(io, (root / folder).string() + ": cannot be created");
    }
  }
  if (!WriteFiles(root.string(), texts, error)) return Fail(io, error);

  std::vector<fs::path> layoutFiles;
  for (fs::directory_iterator it(layouts, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->path().extension() == ".json") layoutFiles.push_back(it->path());
  }
  if (layoutFiles.empty()) return Fail(io, layouts.string() + ": no record layouts found");
  for (const fs::path& layout : layoutFiles) {
    std::string name = layout.stem().string();
    std::string xdf = (root / "ddf" / (name + ".xdf")).string();
    std::string dat = (root / "DADES" / (name + ".dat")).string();
    fs::path data = fs::path(shared.dir) / "data" / (name + ".csv");
    if (!Recman({"xdf", layout.string(), xdf}, io) || !Recman({"create", dat, xdf}, io)) {
      return Fail(io, "the record file " + name + " cannot be made");
    }
    if (a.demo && fs::exists(data, ec) &&
        !Recman({"load", dat, data.string(), "--layout", layout.string(), "--csv"}, io)) {
      return Fail(io, "the demo data of " + name + " cannot be loaded");
    }
  }

  // Every file made above belongs to the installation's group, readable and writable by it.
  for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
    if (!ShareWithGroup(it->path().string(), a.group, error)) return Fail(io, error);
  }
  io.out << "modcarta-admin: installation laid out in " << root.string() << (a.demo ? " with the demo data" : "")
         << "\n";
  return kExitOk;
}

int Check(const Arguments& a, Streams& io) {
  if (a.positional.size() != 1) return Usage(io, "check needs DIR");
  std::vector<std::string> problems = CheckInstallation(a.positional[0]);
  for (const auto& p : problems) io.out << p << "\n";
  if (!problems.empty()) {
    io.out << problems.size() << (problems.size() == 1 ? " problem" : " problems") << " found\n";
    return kExitFailed;
  }
  io.out << a.positional[0] << ": no problems found\n";
  return kExitOk;
}

int Convert(const Arguments& a, bool import, Streams& io) {
  if (a.positional.size() != 2) return Usage(io, import ? "import needs SOURCES and DIR" : "export needs DIR and SOURCES");
  const std::string& from = a.positional[0];
  const std::string& to = a.positional[1];
  std::vector<OutputFile> files;
  std::vector<std::string> faults;
  bool ok = import ? ConvertSources(from, files, faults) : ExportSources(from, files, faults);
  if (!ok) {
    for (const auto& f : faults) io.err << "modcarta-admin: " << f << "\n";
    return Fail(io, "nothing was written");
  }
  std::string error;
  if (!WriteFiles(to, files, error)) return Fail(io, error);
  for (const auto& f : files) io.out << (fs::path(to) / f.relative).string() << "\n";
  return kExitOk;
}

std::string ShellQuoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// A folder name ending in "/", as the program's environment gives folders.
std::string WithSlash(std::string dir) {
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

// The operator's own private folder for the station: --dir, else ~/.modcarta.
int Station(const Arguments& a, Streams& io) {
  if (a.positional.size() != 1) return Usage(io, "station needs the operator's NAME");
  std::string dir = a.stationDir;
  if (dir.empty()) {
    const char* home = std::getenv("HOME");
    if (!home || !*home) return Fail(io, "HOME is not set; give the station's folder with --dir");
    dir = std::string(home) + "/.modcarta";
  }
  std::string name;
  TextFault fault;
  if (!SourceToText(a.positional[0], name, fault) || name.find("\r\n") != std::string::npos) {
    return Fail(io, "the operator's name cannot be written in code page 850");
  }
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec) return Fail(io, dir + ": cannot be created (" + ec.message() + ")");
  // Private: the station's scratch files and the calculator's tape are the operator's own.
  fs::permissions(dir, fs::perms::owner_all, fs::perm_options::replace, ec);
  if (ec) return Fail(io, dir + ": cannot be made private (" + ec.message() + ")");
  session::StationSettings settings;
  settings.operatorName = name;
  settings.language = a.language;
  settings.terminalDir = fs::absolute(dir).lexically_normal().string();
  std::string error = session::WriteStationFiles(settings.terminalDir, settings);
  if (!error.empty()) return Fail(io, error);

  std::string root = a.root;
  if (root.empty() && fs::exists("Orba.ini", ec)) root = fs::current_path(ec).string();
  std::error_code selfError;
  fs::path self = fs::read_symlink("/proc/self/exe", selfError);
  io.out << "# The environment of " << a.positional[0] << "'s station; then run modcarta.\n";
  if (root.empty()) {
    io.out << "# ZEDROOT: the installation root (--root DIR prints it here)\n";
  } else {
    io.out << "export ZEDROOT=" << ShellQuoted(WithSlash(fs::absolute(root).lexically_normal().string())) << "\n";
  }
  io.out << "export ZEDTMP=" << ShellQuoted(WithSlash(settings.terminalDir)) << "\n";
  io.out << "export ZEDEXE=" << ShellQuoted(WithSlash(selfError ? std::string("/usr/bin") : self.parent_path().string()))
         << "\n";
  return kExitOk;
}

}  // namespace

SharedFiles FindSharedFiles() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    fs::path beside = self.parent_path().parent_path() / "share" / "modcarta";
    if (fs::is_directory(beside / "install", ec)) return {beside.string()};
  }
  return {MODCARTA_SOURCE_SHARE};
}

int RunAdmin(const std::vector<std::string>& args, const SharedFiles& shared, Streams io) {
  if (args.empty()) return Usage(io, "no command given");
  const std::string& command = args[0];
  if (command == "--help" && args.size() == 1) {
    io.out << kUsage;
    return kExitOk;
  }
  if (command == "--version" && args.size() == 1) {
    io.out << "modcarta-admin " << modcarta_build::kVersion << "\n";
    return kExitOk;
  }
  if (command != "init" && command != "check" && command != "import" && command != "export" && command != "station") {
    return Usage(io, "unknown command " + command);
  }
  Arguments a;
  std::string error;
  if (!ParseArguments(args, a, error)) return Usage(io, error);
  if (command == "init") return Init(a, shared, io);
  if (command == "check") return Check(a, io);
  if (command == "station") return Station(a, io);
  return Convert(a, command == "import", io);
}

}  // namespace admin_tool
