#include "tools/recman/commands.h"

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>

#include "build_version.h"
#include "platform/directories.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "recman/backup.h"
#include "recman/copy.h"
#include "recman/engine.h"
#include "recman/server_place.h"
#include "recman/status.h"
#include "recman/store_place.h"
#include "recman/verify.h"
#include "tools/recman/csv.h"
#include "tools/recman/layout.h"
#include "tools/recman/record_stream.h"

namespace recman_tool {
namespace {

constexpr const char* kUsage =
    "usage:\n"
    "  recman [--server CONNINFO] [--root DIR] COMMAND ...\n"
    "  recman create FILE DESCRIPTION [--replace]\n"
    "  recman xdf LAYOUT.json DESCRIPTION\n"
    "  recman stat FILE\n"
    "  recman load FILE INPUT [--layout LAYOUT.json --csv]\n"
    "  recman save FILE OUTPUT [--key N] [--layout LAYOUT.json --csv]\n"
    "  recman verify FILE\n"
    "  recman backup FILE DEST\n"
    "  recman copy SRC DEST [--replace]\n"
    "  recman --version | --help\n"
    "INPUT or OUTPUT \"-\" is standard input or output. With --server (or RECMAN_SERVER) FILE is a\n"
    "file on that database server, named by its path relative to --root (default: the current\n"
    "directory), as the program names it: DADES/TranLauV.dat. SRC and DEST of copy are\n"
    "local:PATH (a file on this host), server:PATH (a file on the server) or a plain PATH (a\n"
    "server file with --server, else a file on this host). backup copies a server file into a\n"
    "file on this host.\n";

// The record layer hands description files to Create in a buffer of this size, so a
// description must fit in it.
constexpr std::size_t kCreateBufferSize = 1536;
// Largest record the save command reads from a variable-length file.
constexpr std::uint32_t kMaxVariableRecord = 1u << 20;
constexpr std::uint32_t kStatBufferSize = 1u << 17;
constexpr std::size_t kKeyBufferSize = 255;

// A record file opened through the engine, closed again when it goes out of scope.
class RecordFile {
 public:
  explicit RecordFile(recman::Engine& engine) : engine_(engine) { std::memset(block_, 0, sizeof block_); }
  ~RecordFile() { Close(); }
  RecordFile(const RecordFile&) = delete;
  RecordFile& operator=(const RecordFile&) = delete;

  // mode: 0 normal, -2 read-only, -4 exclusive.
  recman::Status Open(const std::string& hostPath, std::int8_t mode) {
    std::string key = hostPath;
    key += '\0';
    std::uint32_t length = 0;
    char owner[8] = {};
    recman::Status status = engine_.BTRCALL(recman::kOpOpen, block_, owner, &length, key.data(),
                                            static_cast<std::uint8_t>(key.size()), mode);
    open_ = status == recman::kStatusOk;
    return status;
  }

  void Close() {
    if (!open_) return;
    std::uint32_t length = 0;
    char key[kKeyBufferSize] = {};
    engine_.BTRCALL(recman::kOpClose, block_, nullptr, &length, key, 0, 0);
    open_ = false;
  }

  // Calls with a data buffer of which the first dataLength bytes are passed; on return
  // dataLength is what the engine gave back.
  recman::Status Call(std::uint16_t op, std::string& data, std::uint32_t& dataLength, std::int8_t keyNumber) {
    if (data.size() < dataLength) data.resize(dataLength);
    return engine_.BTRCALL(op, block_, data.data(), &dataLength, key_, static_cast<std::uint8_t>(kKeyBufferSize),
                           keyNumber);
  }

  bool Stat(FileDescription& description, recman::Status& status, std::string& error) {
    std::string data(kStatBufferSize, '\0');
    std::uint32_t length = kStatBufferSize;
    std::memset(key_, ' ', sizeof key_);
    status = Call(recman::kOpStat, data, length, 0);
    if (status != recman::kStatusOk) return false;
    if (!DecodeDescription(std::string_view(data).substr(0, length), description, error)) {
      status = -1;
      return false;
    }
    return true;
  }

 private:
  recman::Engine& engine_;
  char block_[recman::kPositionBlockSize];
  char key_[kKeyBufferSize] = {};
  bool open_ = false;
};

struct Options {
  std::vector<std::string> positional;  // in the host's form
  std::vector<std::string> typed;       // as typed: server file names are made from these
  std::string server;                   // --server, else RECMAN_SERVER; "" for files on this host
  std::string root;                     // --root, "" for the current directory
  bool replace = false;
  bool csv = false;
  std::optional<std::string> layout;
  std::optional<int> key;
};

// Reads the command line after the command word. Unknown options and options that the
// command does not take are refused.
bool ParseOptions(const std::vector<std::string>& args, const std::string& command, Options& o, std::string& error) {
  auto takes = [&](const char* option) {
    if (std::strcmp(option, "--replace") == 0) return command == "create" || command == "copy";
    if (std::strcmp(option, "--server") == 0 || std::strcmp(option, "--root") == 0) return true;
    if (std::strcmp(option, "--key") == 0) return command == "save";
    return command == "load" || command == "save";  // --layout, --csv
  };
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
      if (a != "--replace" && a != "--key" && a != "--layout" && a != "--csv" && a != "--server" && a != "--root") {
        error = "unknown option " + a;
        return false;
      }
      if (!takes(a.c_str())) {
        error = "recman " + command + " does not take " + a;
        return false;
      }
      if (a == "--replace") {
        o.replace = true;
      } else if (a == "--csv") {
        o.csv = true;
      } else {
        if (i + 1 >= args.size()) {
          error = a + " needs a value";
          return false;
        }
        const std::string& value = args[++i];
        if (a == "--server") {
          o.server = value;
        } else if (a == "--root") {
          o.root = value;
        } else if (a == "--layout") {
          o.layout = platform::HostPath(value);
        } else {
          char* end = nullptr;
          long n = std::strtol(value.c_str(), &end, 10);
          if (value.empty() || *end != '\0' || n < 0 || n > 118) {
            error = "--key needs a key number from 0, found " + value;
            return false;
          }
          o.key = static_cast<int>(n);
        }
      }
    } else {
      // Messages name files in the host's form, whichever separators were typed.
      o.positional.push_back(a == "-" ? a : platform::HostPath(a));
      o.typed.push_back(a);
    }
  }
  if (o.csv != o.layout.has_value()) {
    error = "--csv and --layout LAYOUT.json go together";
    return false;
  }
  return true;
}

// Reads a whole input named on the command line, "-" being standard input.
bool ReadInput(const std::string& name, std::istream& in, std::string& bytes) {
  if (name == "-") {
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
  }
  if (platform::IsDirectory(name)) return false;
  auto read = platform::ReadWholeFile(name);
  if (!read) return false;
  bytes = std::move(*read);
  return true;
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  return std::filesystem::equivalent(platform::HostPath(a), platform::HostPath(b), ec);
}

// Writes a whole output: to standard output for "-", otherwise into a new file beside the
// target that replaces it only once it is complete, so a failed write leaves the old file.
bool WriteOutput(const std::string& name, std::string_view bytes, std::ostream& out, std::string& error) {
  if (name == "-") {
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    if (!out) {
      error = "standard output cannot be written";
      return false;
    }
    return true;
  }
  std::string host = platform::HostPath(name);
  std::string partial = host + ".partial-" + std::to_string(::getpid());
  {
    platform::File file;
    if (file.Open(partial, platform::File::Mode::kReadWrite, false) != platform::OpenResult::kOk) {
      error = name + ": cannot be written";
      return false;
    }
    // On disk before it takes the old file's place, so a crash leaves one or the other whole.
    if (!file.Truncate(0) || !file.WriteAt(0, bytes) || !file.Sync()) {
      file.Close();
      std::remove(partial.c_str());
      error = name + ": cannot be written (disk full?)";
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(partial, host, ec);
  if (ec) {
    std::remove(partial.c_str());
    error = name + ": cannot be written (" + ec.message() + ")";
    return false;
  }
  return true;
}

int Fail(Streams& io, const std::string& message) {
  io.err << "recman: " << message << "\n";
  return kExitFailed;
}

int Usage(Streams& io, const std::string& message) {
  io.err << "recman: " << message << "\n" << kUsage;
  return kExitUsage;
}

// The installation root that server file names are relative to: --root made absolute, or the
// current directory; as a host path without a trailing separator.
std::string ServerRoot(const Options& o) {
  const std::string here = platform::CurrentDirectory();
  std::string root = platform::HostPath(o.root.empty() ? here : platform::AbsolutePath(o.root, here));
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  return root;
}

// The path the engine (or a place) is given for a record file as typed: a server file is named
// under the root exactly as the program names it (the root joined with the path, then mapped
// to the host's form the same way), a file on this host as the other commands name files.
std::string RecordFileName(const Options& o, const std::string& typed, bool server) {
  if (!server) return platform::HostPath(typed);
  if (!typed.empty() && (typed[0] == '/' || typed[0] == '\\')) return platform::HostPath(typed);
  return platform::HostPath(ServerRoot(o) + "/" + typed);
}

// The record file's path as given to the engine, refused when it does not fit the key buffer
// with its NUL.
bool RecordFilePath(const Options& o, const std::string& typed, bool server, std::string& host, std::string& error) {
  const std::string& name = typed;
  host = typed.empty() ? std::string() : RecordFileName(o, typed, server);
  if (host.size() + 1 > kKeyBufferSize) {
    error = name + ": the path is longer than " + std::to_string(kKeyBufferSize - 1) + " bytes";
    return false;
  }
  if (host.empty()) {
    error = "the record file name is empty";
    return false;
  }
  return true;
}

// Where the command's record files are: the server that --server names, else this host.
bool MakePlace(const Options& o, bool server, std::unique_ptr<recman::StorePlace>& place, std::string& error) {
  const recman::EngineOptions defaults;
  if (!server) {
    place = recman::LocalFiles(defaults.busyTimeoutMs);
    return true;
  }
  recman::ServerOptions options;
  options.conninfo = o.server;
  options.root = ServerRoot(o);
  options.busyTimeoutMs = defaults.busyTimeoutMs;
  if (recman::OpenServerPlace(options, place, error) != recman::kStatusOk || !place) {
    error = "the database server's module cannot be loaded: " + error;
    return false;
  }
  return true;
}

std::string OpenFailure(const std::string& name, recman::Status status) {
  switch (status) {
    case recman::kStatusFileNotFound:
      return name + ": no such record file (" + StatusWords(status) + ")";
    case recman::kStatusFileLocked:
      return name + ": the file is open in another program (" + StatusWords(status) + ")";
    case recman::kStatusNotARecordFile:
      return name + ": not a record file (" + StatusWords(status) + ")";
    default:
      return name + ": cannot be opened (" + StatusWords(status) + ")";
  }
}

bool ReadLayoutFile(const std::string& name, Layout& layout, std::string& error) {
  auto bytes = platform::IsDirectory(name) ? std::nullopt : platform::ReadWholeFile(name);
  if (!bytes) {
    error = name + ": cannot be read";
    return false;
  }
  std::string message;
  if (!ParseLayout(*bytes, layout, message)) {
    error = name + ":" + message;
    return false;
  }
  return true;
}

int Create(const Options& o, recman::Engine& engine, Streams& io) {
  if (o.positional.size() != 2) return Usage(io, "create needs FILE and DESCRIPTION");
  const std::string& fileName = o.positional[0];
  const std::string& descriptionName = o.positional[1];
  std::string host, error;
  if (!RecordFilePath(o, o.typed[0], !o.server.empty(), host, error)) return Fail(io, error);
  auto bytes = platform::IsDirectory(descriptionName) ? std::nullopt : platform::ReadWholeFile(descriptionName);
  if (!bytes) return Fail(io, descriptionName + ": cannot be read");
  std::string buffer;
  if (!ReadDescriptionFile(*bytes, buffer, error)) return Fail(io, descriptionName + ": " + error);
  // Hand the description over as the record layer does: at the start of a buffer of blanks.
  if (buffer.size() < kCreateBufferSize) buffer.resize(kCreateBufferSize, ' ');
  std::string key = host;
  key += '\0';
  char block[recman::kPositionBlockSize] = {};
  auto length = static_cast<std::uint32_t>(buffer.size());
  recman::Status status = engine.BTRCALL(recman::kOpCreate, block, buffer.data(), &length, key.data(),
                                         static_cast<std::uint8_t>(key.size()), o.replace ? 0 : -1);
  if (status == recman::kStatusFileExists) {
    return Fail(io, fileName + ": the file already exists; --replace replaces it (" + StatusWords(status) + ")");
  }
  if (status != recman::kStatusOk) {
    return Fail(io, fileName + ": cannot be created from " + descriptionName + " (" + StatusWords(status) + ")");
  }
  return kExitOk;
}

int Xdf(const Options& o, Streams& io) {
  if (o.positional.size() != 2) return Usage(io, "xdf needs LAYOUT.json and DESCRIPTION");
  const std::string& layoutName = o.positional[0];
  const std::string& outputName = o.positional[1];
  Layout layout;
  std::string error;
  if (!ReadLayoutFile(layoutName, layout, error)) return Fail(io, error);
  std::string buffer = EncodeDescription(layout.description);
  if (buffer.size() > kCreateBufferSize) {
    return Fail(io, layoutName + ": the description is " + std::to_string(buffer.size()) +
                        " bytes; a description file holds at most " + std::to_string(kCreateBufferSize));
  }
  if (outputName != "-" && SameFile(layoutName, outputName)) {
    return Fail(io, outputName + ": the description would overwrite the layout");
  }
  if (!WriteOutput(outputName, MakeDescriptionFile(buffer), io.out, error)) return Fail(io, error);
  return kExitOk;
}

int Stat(const Options& o, recman::Engine& engine, Streams& io) {
  if (o.positional.size() != 1) return Usage(io, "stat needs FILE");
  const std::string& fileName = o.positional[0];
  std::string host, error;
  if (!RecordFilePath(o, o.typed[0], !o.server.empty(), host, error)) return Fail(io, error);
  RecordFile file(engine);
  recman::Status status = file.Open(host, -2);
  if (status != recman::kStatusOk) return Fail(io, OpenFailure(fileName, status));
  FileDescription description;
  if (!file.Stat(description, status, error)) {
    if (status < 0) return Fail(io, fileName + ": the engine's Stat answer is damaged: " + error);
    return Fail(io, fileName + ": Stat failed (" + StatusWords(status) + ")");
  }
  io.out << DescribeFile(fileName, description);
  return kExitOk;
}

int Verify(const Options& o, Streams& io) {
  if (o.positional.size() != 1) return Usage(io, "verify needs FILE");
  const std::string& fileName = o.positional[0];
  const bool server = !o.server.empty();
  std::string host, error;
  if (!RecordFilePath(o, o.typed[0], server, host, error)) return Fail(io, error);
  std::string report;
  bool ok = false;
  if (server) {
    std::unique_ptr<recman::StorePlace> place;
    if (!MakePlace(o, true, place, error)) return Fail(io, error);
    ok = recman::VerifyFile(*place, host, report);
  } else {
    ok = recman::VerifyFile(host, report);
  }
  io.out << report;
  if (!report.empty() && report.back() != '\n') io.out << "\n";
  if (!ok) return Fail(io, fileName + ": the file failed verification");
  if (report.empty()) io.out << fileName << ": no faults found\n";
  return kExitOk;
}

// Removes a record file of this host that never was in use (a copy that failed half-way).
void RemoveLocalFile(const std::string& path) {
  for (const char* suffix : {"", "-wal", "-shm", "-lock"}) std::remove((path + suffix).c_str());
}

// A record file copied from one place to another: every record keeps its address and its
// place among equal key values, and the copy is verified. An existing destination is replaced
// only with replace; on this host the copy is then made under a private name and takes the old
// file's place only once it is complete, while nobody has the old file open.
int CopyBetween(const Options& o, const std::string& fromName, const std::string& fromPath, bool fromServer,
                const std::string& toName, const std::string& toPath, bool toServer, bool replace, Streams& io) {
  std::unique_ptr<recman::StorePlace> local, server;
  std::string error;
  if ((!fromServer || !toServer) && !MakePlace(o, false, local, error)) return Fail(io, error);
  if ((fromServer || toServer) && !MakePlace(o, true, server, error)) return Fail(io, error);
  recman::StorePlace& from = fromServer ? *server : *local;
  recman::StorePlace& to = toServer ? *server : *local;

  std::unique_ptr<recman::Store> store;
  std::unique_ptr<recman::RecordLocks> locks;
  recman::Status status = to.Open(toPath, replace, store, locks);
  const bool exists = status != recman::kStatusFileNotFound;
  if (exists && !replace) {
    if (status == recman::kStatusOk || status == recman::kStatusFileLocked || status == recman::kStatusNotARecordFile) {
      return Fail(io, toName + ": the file already exists; --replace replaces it");
    }
    return Fail(io, OpenFailure(toName, status));
  }
  if (exists && status != recman::kStatusOk) return Fail(io, OpenFailure(toName, status));
  store.reset();  // nobody had it open; closed again before it is replaced
  locks.reset();
  if (exists && toServer) {
    return Fail(io, toName + ": the server file exists, and a server file is not replaced by a copy; copy to a new name");
  }
  std::string target = exists ? toPath + ".partial-" + std::to_string(::getpid()) : toPath;
  if (exists) RemoveLocalFile(target);
  status = recman::CopyFile(from, fromPath, to, target, error);
  if (status != recman::kStatusOk) {
    if (exists) RemoveLocalFile(target);
    return Fail(io, fromName + ": no copy made: " + error);
  }
  if (exists) {
    std::remove((toPath + "-wal").c_str());
    std::remove((toPath + "-shm").c_str());
    if (std::rename(target.c_str(), toPath.c_str()) != 0) {
      RemoveLocalFile(target);
      return Fail(io, toName + ": cannot be replaced; it is unchanged");
    }
    RemoveLocalFile(target);
  }
  io.out << fromName << ": copied to " << toName << " and verified\n";
  return kExitOk;
}

// One side of a copy: "local:PATH", "server:PATH", or a plain PATH, which is a server file
// when a server is named.
struct CopySide {
  std::string typed;  // without its prefix
  bool server = false;
};

CopySide SideOf(const Options& o, const std::string& text) {
  if (text.rfind("local:", 0) == 0) return {text.substr(6), false};
  if (text.rfind("server:", 0) == 0) return {text.substr(7), true};
  return {text, !o.server.empty()};
}

int Copy(const Options& o, Streams& io) {
  if (o.typed.size() != 2) return Usage(io, "copy needs SRC and DEST");
  const CopySide from = SideOf(o, o.typed[0]);
  const CopySide to = SideOf(o, o.typed[1]);
  if ((from.server || to.server) && o.server.empty()) {
    return Usage(io, "server:PATH needs --server CONNINFO (or RECMAN_SERVER)");
  }
  std::string fromPath, toPath, error;
  if (!RecordFilePath(o, from.typed, from.server, fromPath, error)) return Fail(io, error);
  if (!RecordFilePath(o, to.typed, to.server, toPath, error)) return Fail(io, error);
  if (from.server == to.server && (fromPath == toPath || (!from.server && SameFile(fromPath, toPath)))) {
    return Fail(io, o.typed[1] + ": the copy would overwrite the file itself");
  }
  return CopyBetween(o, o.typed[0], fromPath, from.server, o.typed[1], toPath, to.server, o.replace, io);
}

int Backup(const Options& o, Streams& io) {
  if (o.positional.size() != 2) return Usage(io, "backup needs FILE and DEST");
  const std::string& fileName = o.positional[0];
  std::string destName = o.positional[1];
  // A folder as DEST receives the copy under the file's own name.
  if (platform::IsDirectory(destName)) {
    destName = (std::filesystem::path(platform::HostPath(destName)) /
                std::filesystem::path(platform::HostPath(fileName)).filename())
                   .string();
  }
  if (!o.server.empty()) {
    // A server file is copied into a record file on this host, replacing an older backup.
    std::string fromPath, error;
    if (!RecordFilePath(o, o.typed[0], true, fromPath, error)) return Fail(io, error);
    return CopyBetween(o, fileName, fromPath, true, destName, platform::HostPath(destName), false, true, io);
  }
  if (SameFile(fileName, destName)) return Fail(io, destName + ": the copy would overwrite the file itself");
  std::string error;
  if (!recman::BackupFile(platform::HostPath(fileName), platform::HostPath(destName), error)) {
    return Fail(io, fileName + ": no copy made: " + error);
  }
  io.out << fileName << ": copied to " << destName << " and verified\n";
  return kExitOk;
}

// The record as a CSV row in header order.
bool RecordToRow(const std::string& record, const std::vector<Field>& fields, std::vector<std::string>& row,
                 std::string& error) {
  row.clear();
  for (const Field& f : fields) {
    std::string text;
    if (record.size() < f.offset + f.width) {
      error = "field \"" + f.name + "\": the record is only " + std::to_string(record.size()) + " bytes";
      return false;
    }
    if (!FieldToText(record, f, text, error)) {
      error = "field \"" + f.name + "\": " + error;
      return false;
    }
    row.push_back(std::move(text));
  }
  return true;
}

// Turns CSV text into records of recordLength bytes. The message names the record (data row
// from 1) and its line.
bool CsvToRecords(const std::string& inputName, std::string_view text, const Layout& layout,
                  std::vector<std::string>& records, std::string& error) {
  std::vector<CsvRow> rows;
  CsvError csvError;
  if (!ParseCsv(text, rows, csvError)) {
    error = inputName + ": line " + std::to_string(csvError.line) + ": " + csvError.message;
    return false;
  }
  if (rows.empty()) {
    error = inputName + ": the header row is missing";
    return false;
  }
  std::vector<std::size_t> columnField;
  std::string message;
  if (!MatchCsvHeader(rows[0].cells, layout.fields, columnField, message)) {
    error = inputName + ": line " + std::to_string(rows[0].line) + ": " + message;
    return false;
  }
  for (std::size_t r = 1; r < rows.size(); ++r) {
    const CsvRow& row = rows[r];
    std::string where = inputName + ": record " + std::to_string(r) + " (line " + std::to_string(row.line) + ")";
    if (row.cells.size() != columnField.size()) {
      error = where + ": " + std::to_string(row.cells.size()) + " cells, the header has " +
              std::to_string(columnField.size());
      return false;
    }
    std::string record(layout.description.recordLength, '\0');
    for (std::size_t c = 0; c < row.cells.size(); ++c) {
      const Field& f = layout.fields[columnField[c]];
      if (!TextToField(row.cells[c], f, record, message)) {
        error = where + ", field \"" + f.name + "\": " + message;
        return false;
      }
    }
    records.push_back(std::move(record));
  }
  return true;
}

// Removes the records of a failed load again, newest first. False when one could not be
// removed (with its status).
bool UndoInserts(RecordFile& file, const std::vector<std::string>& positions, std::uint32_t bufferSize,
                 recman::Status& status) {
  std::string data;
  for (auto it = positions.rbegin(); it != positions.rend(); ++it) {
    data.assign(bufferSize, '\0');
    data.replace(0, 4, *it);
    std::uint32_t length = bufferSize;
    status = file.Call(recman::kOpGetDirect, data, length, 0);
    if (status != recman::kStatusOk && status != recman::kStatusDataBufferTooShort) return false;
    length = static_cast<std::uint32_t>(std::min<std::size_t>(length, data.size()));
    status = file.Call(recman::kOpDelete, data, length, 0);
    if (status != recman::kStatusOk) return false;
  }
  return true;
}

int Load(const Options& o, recman::Engine& engine, Streams& io) {
  if (o.positional.size() != 2) return Usage(io, "load needs FILE and INPUT");
  const std::string& fileName = o.positional[0];
  const std::string& inputName = o.positional[1];
  std::string host, error;
  if (!RecordFilePath(o, o.typed[0], !o.server.empty(), host, error)) return Fail(io, error);
  Layout layout;
  if (o.csv && !ReadLayoutFile(*o.layout, layout, error)) return Fail(io, error);
  if (o.csv && layout.fields.empty()) return Fail(io, *o.layout + ": the layout has no \"fields\" for the CSV");
  std::string input;
  if (!ReadInput(inputName, io.in, input)) return Fail(io, inputName + ": cannot be read");

  // Everything that can be checked without the file is checked before it is opened.
  std::vector<std::string> records;
  if (o.csv) {
    if (!CsvToRecords(inputName, input, layout, records, error)) return Fail(io, error);
  } else {
    StreamError streamError;
    if (!ReadRecordStream(input, kMaxVariableRecord, records, streamError)) {
      return Fail(io, inputName + ": record " + std::to_string(streamError.record) + " (byte " +
                          std::to_string(streamError.offset) + "): " + streamError.message);
    }
  }

  // Exclusive: nobody sees the load half done, nor a record that is taken out again after a
  // failure.
  RecordFile file(engine);
  recman::Status status = file.Open(host, -4);
  if (status != recman::kStatusOk) return Fail(io, OpenFailure(fileName, status));
  FileDescription description;
  if (!file.Stat(description, status, error)) {
    return Fail(io, fileName + ": Stat failed (" + (status < 0 ? error : StatusWords(status)) + ")");
  }
  bool variable = (description.fileFlags & kFileVariableLength) != 0;
  if (o.csv && layout.description.recordLength != description.recordLength) {
    return Fail(io, *o.layout + ": the layout's records are " + std::to_string(layout.description.recordLength) +
                        " bytes, but those of " + fileName + " are " + std::to_string(description.recordLength));
  }
  for (std::size_t i = 0; i < records.size(); ++i) {
    std::size_t size = records[i].size();
    if (size == description.recordLength || (variable && size > description.recordLength)) continue;
    return Fail(io, inputName + ": record " + std::to_string(i + 1) + ": " + std::to_string(size) +
                        " bytes, but the records of " + fileName + " are " +
                        (variable ? "at least " : "") + std::to_string(description.recordLength) +
                        " bytes; nothing was loaded");
  }

  std::vector<std::string> positions;
  positions.reserve(records.size());
  std::uint32_t largest = description.recordLength;
  std::string data;
  for (std::size_t i = 0; i < records.size(); ++i) {
    largest = std::max<std::uint32_t>(largest, static_cast<std::uint32_t>(records[i].size()));
    data = records[i];
    auto length = static_cast<std::uint32_t>(data.size());
    status = file.Call(recman::kOpInsert, data, length, 0);
    std::string where = fileName + ": record " + std::to_string(i + 1) + " of " + inputName + ": ";
    std::string also;  // what else went wrong on the way out
    if (status == recman::kStatusOk) {
      std::string position(4, '\0');
      std::uint32_t positionLength = 4;
      status = file.Call(recman::kOpGetPosition, position, positionLength, 0);
      if (status == recman::kStatusOk) {
        positions.push_back(position.substr(0, 4));
        continue;
      }
      // The record went in but its address cannot be read for the undo; it is still the
      // current record, so it is taken out at once.
      where += "its position cannot be read, ";
      auto deleteLength = static_cast<std::uint32_t>(data.size());
      recman::Status removed = file.Call(recman::kOpDelete, data, deleteLength, 0);
      if (removed != recman::kStatusOk) also = "; it could not be removed again (" + StatusWords(removed) + ")";
    }
    recman::Status undo = 0;
    if (!UndoInserts(file, positions, largest, undo)) {
      also += "; removing the " + std::to_string(positions.size()) + " records loaded before it failed (" +
              StatusWords(undo) + ")";
    }
    if (also.empty()) return Fail(io, where + StatusWords(status) + "; nothing was loaded");
    return Fail(io, where + StatusWords(status) + also + ", so records of this load remain in the file");
  }
  io.out << fileName << ": " << records.size() << (records.size() == 1 ? " record" : " records") << " loaded\n";
  return kExitOk;
}

int Save(const Options& o, recman::Engine& engine, Streams& io) {
  if (o.positional.size() != 2) return Usage(io, "save needs FILE and OUTPUT");
  const std::string& fileName = o.positional[0];
  const std::string& outputName = o.positional[1];
  std::string host, error;
  if (!RecordFilePath(o, o.typed[0], !o.server.empty(), host, error)) return Fail(io, error);
  Layout layout;
  if (o.csv && !ReadLayoutFile(*o.layout, layout, error)) return Fail(io, error);
  if (o.csv && layout.fields.empty()) return Fail(io, *o.layout + ": the layout has no \"fields\" for the CSV");
  if (outputName != "-" && SameFile(fileName, outputName)) {
    return Fail(io, outputName + ": the output would overwrite the record file");
  }
  RecordFile file(engine);
  recman::Status status = file.Open(host, -2);
  if (status != recman::kStatusOk) return Fail(io, OpenFailure(fileName, status));
  FileDescription description;
  if (!file.Stat(description, status, error)) {
    return Fail(io, fileName + ": Stat failed (" + (status < 0 ? error : StatusWords(status)) + ")");
  }
  int keyNumber = o.key.value_or(0);
  if (keyNumber >= static_cast<int>(description.keys.size())) {
    return Fail(io, fileName + ": the file has no key " + std::to_string(keyNumber) + " (its keys are 0 to " +
                        std::to_string(description.keys.size() - 1) + ")");
  }
  if (o.csv && layout.description.recordLength != description.recordLength) {
    return Fail(io, *o.layout + ": the layout's records are " + std::to_string(layout.description.recordLength) +
                        " bytes, but those of " + fileName + " are " + std::to_string(description.recordLength));
  }
  bool variable = (description.fileFlags & kFileVariableLength) != 0;
  std::uint32_t bufferSize = variable ? kMaxVariableRecord : description.recordLength;

  std::string output;
  if (o.csv) AppendCsvRow(output, CsvHeader(layout.fields));
  std::string data(bufferSize, '\0');
  std::string record;
  std::vector<std::string> row;
  std::size_t count = 0;
  std::uint16_t op = recman::kOpGetFirst;
  while (true) {
    std::uint32_t length = bufferSize;
    status = file.Call(op, data, length, static_cast<std::int8_t>(keyNumber));
    op = recman::kOpGetNext;
    if (status == recman::kStatusEndOfFile) break;
    std::string where = fileName + ": record " + std::to_string(count + 1) + " in the order of key " +
                        std::to_string(keyNumber);
    if (status == recman::kStatusDataBufferTooShort) {
      return Fail(io, where + ": longer than " + std::to_string(bufferSize) + " bytes (" + StatusWords(status) +
                          "); nothing was saved");
    }
    if (status != recman::kStatusOk) return Fail(io, where + ": " + StatusWords(status) + "; nothing was saved");
    record.assign(data, 0, std::min<std::size_t>(length, data.size()));
    ++count;
    if (o.csv) {
      if (!RecordToRow(record, layout.fields, row, error)) {
        return Fail(io, where + ", " + error + "; nothing was saved (without --csv every byte is kept)");
      }
      AppendCsvRow(output, row);
    } else {
      AppendStreamRecord(output, record);
    }
  }
  // A null key leaves records out of its index; a save by it would lose them without a word.
  const Key& key = description.keys[keyNumber];
  bool nullKey = !key.segments.empty() && (key.segments[0].flags & (kKeyNullAll | kKeyNullAny)) != 0;
  if (nullKey && count < description.recordCount) {
    return Fail(io, fileName + ": key " + std::to_string(keyNumber) + " is a null key and leaves out " +
                        std::to_string(description.recordCount - count) + " of the " +
                        std::to_string(description.recordCount) +
                        " records; save by a key without the null flag; nothing was saved");
  }
  if (!WriteOutput(outputName, output, io.out, error)) return Fail(io, error);
  if (outputName != "-") {
    io.out << fileName << ": " << count << (count == 1 ? " record" : " records") << " saved to " << outputName << "\n";
  }
  return kExitOk;
}

std::string FlagsInWords(std::uint16_t flags, const std::vector<FlagName>& names, std::uint16_t fieldMask) {
  std::string words;
  std::uint16_t rest = flags;
  auto add = [&](const std::string& w) { words += (words.empty() ? "" : ", ") + w; };
  // Multi-bit values (the free-space field) first, as one value.
  if (fieldMask != 0 && (flags & fieldMask) != 0) {
    for (const FlagName& f : names) {
      if (f.bit == (flags & fieldMask)) add(f.name);
    }
    rest = static_cast<std::uint16_t>(rest & ~fieldMask);
  }
  for (const FlagName& f : names) {
    if ((f.bit & fieldMask) != 0) continue;
    if (rest & f.bit) {
      add(f.name);
      rest = static_cast<std::uint16_t>(rest & ~f.bit);
    }
  }
  if (rest != 0) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%04X", rest);
    add(std::string("other flags ") + hex);
  }
  return words;
}

std::string ByteInWords(std::uint8_t b) {
  std::string s = std::to_string(b);
  if (b == ' ') return s + " (blank)";
  if (b > ' ' && b < 0x7F) return s + " ('" + static_cast<char>(b) + "')";
  return s;
}

}  // namespace

std::string StatusWords(int status) {
  const char* words = nullptr;
  switch (status) {
    case 0: words = "success"; break;
    case 1: words = "invalid operation"; break;
    case 2: words = "I/O error"; break;
    case 3: words = "file not open"; break;
    case 4: words = "key value not found"; break;
    case 5: words = "duplicate key value"; break;
    case 6: words = "invalid key number"; break;
    case 7: words = "different key number"; break;
    case 8: words = "invalid positioning"; break;
    case 9: words = "end of file"; break;
    case 10: words = "key not modifiable"; break;
    case 11: words = "invalid file name"; break;
    case 12: words = "file not found"; break;
    case 18: words = "disk full"; break;
    case 20: words = "record manager inactive"; break;
    case 21: words = "key buffer too short"; break;
    case 22: words = "data buffer too short"; break;
    case 23: words = "position block not 128 bytes"; break;
    case 24: words = "page size or buffer size invalid"; break;
    case 25: words = "create I/O error"; break;
    case 26: words = "invalid number of keys"; break;
    case 27: words = "invalid key position"; break;
    case 28: words = "invalid record length"; break;
    case 29: words = "invalid key length"; break;
    case 30: words = "not a record file"; break;
    case 43: words = "invalid record address"; break;
    case 44: words = "null key path"; break;
    case 45: words = "inconsistent key flags"; break;
    case 46: words = "access denied"; break;
    case 48: words = "bad collating sequence"; break;
    case 49: words = "key type error"; break;
    case 51: words = "invalid owner"; break;
    case 59: words = "file already exists"; break;
    case 78: words = "deadlock"; break;
    case 80: words = "conflict"; break;
    case 81: words = "lock error"; break;
    case 82: words = "lost position"; break;
    case 84: words = "record locked"; break;
    case 85: words = "file locked"; break;
    case 86: words = "file table full"; break;
    case 87: words = "handle table full"; break;
    case 88: words = "incompatible open mode"; break;
    default: break;
  }
  std::string text = "status " + std::to_string(status);
  if (words != nullptr) text += std::string(", ") + words;
  return text;
}

std::string DescribeFile(const std::string& name, const FileDescription& d) {
  std::ostringstream out;
  bool variable = (d.fileFlags & kFileVariableLength) != 0;
  out << name << "\n";
  out << "  record length: " << d.recordLength << " bytes" << (variable ? " (variable length, at least this)" : "")
      << "\n";
  out << "  page size: " << d.pageSize << " bytes\n";
  out << "  records: " << d.recordCount << "\n";
  std::string flags = FlagsInWords(d.fileFlags, FileFlagNames(), 0x00C0);
  out << "  file flags: " << (flags.empty() ? "none" : flags) << "\n";
  if (d.duplicatePointers != 0) out << "  unused duplicate pointers: " << int{d.duplicatePointers} << "\n";
  if (d.pages != 0) out << "  unused pages: " << d.pages << "\n";
  out << "  keys: " << d.keys.size() << "\n";
  for (std::size_t k = 0; k < d.keys.size(); ++k) {
    const Key& key = d.keys[k];
    const Segment& first = key.segments.front();
    out << "  key " << k << ": " << key.Length() << " bytes in " << key.segments.size()
        << (key.segments.size() == 1 ? " segment" : " segments");
    out << ", " << ((first.flags & kKeyDuplicates) ? "duplicates allowed" : "unique");
    if (first.flags & kKeyRepeatingDuplicates) out << " (repeating duplicates)";
    out << ", " << ((first.flags & kKeyModifiable) ? "modifiable" : "not modifiable");
    if (first.flags & kKeyNullAll) out << ", null key when every segment holds only the null byte";
    if (first.flags & kKeyNullAny) out << ", null key when any segment holds only the null byte";
    out << ", " << first.distinctValues << (first.distinctValues == 1 ? " distinct value\n" : " distinct values\n");
    for (std::size_t s = 0; s < key.segments.size(); ++s) {
      const Segment& seg = key.segments[s];
      out << "    segment " << s + 1 << ": position " << seg.position << ", length " << seg.length << ", "
          << SegmentTypeWords(seg);
      if (seg.flags & kKeyDescending) out << ", descending";
      else out << ", ascending";
      if (seg.flags & kKeyCaseInsensitive) out << ", case-insensitive";
      if (seg.flags & kKeyCollating) {
        out << ", collating sequence ";
        if (seg.collatingBlock < d.collating.size()) out << d.collating[seg.collatingBlock].name;
        else out << int{seg.collatingBlock} << " (not in the file)";
      }
      if (seg.flags & (kKeyNullAll | kKeyNullAny)) out << ", null byte " << ByteInWords(seg.nullValue);
      std::uint16_t shown = kKeyDuplicates | kKeyModifiable | kKeyBinary | kKeyNullAll | kKeyCollating |
                            kKeyDescending | kKeyRepeatingDuplicates | kKeyExtendedType | kKeyNullAny |
                            kKeyCaseInsensitive;
      if (seg.flags & ~shown) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%04X", seg.flags & ~shown);
        out << ", other flags " << hex;
      }
      out << "\n";
    }
  }
  for (std::size_t c = 0; c < d.collating.size(); ++c) {
    out << "  collating sequence " << c << ": " << d.collating[c].name << "\n";
  }
  return out.str();
}

int RunRecman(const std::vector<std::string>& allArgs, const std::string& serverFromEnvironment, Streams io) {
  // --server and --root may come before the command word too.
  std::vector<std::string> args;
  std::vector<std::string> leading;
  std::size_t first = 0;
  while (first < allArgs.size() && (allArgs[first] == "--server" || allArgs[first] == "--root")) {
    if (first + 1 >= allArgs.size()) return Usage(io, allArgs[first] + " needs a value");
    leading.push_back(allArgs[first]);
    leading.push_back(allArgs[first + 1]);
    first += 2;
  }
  if (first >= allArgs.size()) return Usage(io, "no command given");
  args.push_back(allArgs[first]);
  args.insert(args.end(), leading.begin(), leading.end());
  args.insert(args.end(), allArgs.begin() + static_cast<std::ptrdiff_t>(first) + 1, allArgs.end());
  const std::string& command = args[0];
  if (command == "--help" || command == "-h" || command == "help") {
    io.out << kUsage;
    return kExitOk;
  }
  if (command == "--version") {
    io.out << "recman " << modcarta_build::kVersion << "\n";
    return kExitOk;
  }
  if (command != "create" && command != "xdf" && command != "stat" && command != "load" && command != "save" &&
      command != "verify" && command != "backup" && command != "copy") {
    return Usage(io, "unknown command " + command);
  }
  Options options;
  options.server = serverFromEnvironment;
  std::string error;
  if (!ParseOptions(args, command, options, error)) return Usage(io, error);
  if (command == "xdf") return Xdf(options, io);
  if (command == "verify") return Verify(options, io);
  if (command == "backup") return Backup(options, io);
  if (command == "copy") return Copy(options, io);
  std::unique_ptr<recman::StorePlace> place;
  if (!MakePlace(options, !options.server.empty(), place, error)) return Fail(io, error);
  const recman::EngineOptions engineOptions;
  recman::Engine engine(engineOptions, std::move(place));
  if (command == "create") return Create(options, engine, io);
  if (command == "stat") return Stat(options, engine, io);
  if (command == "load") return Load(options, engine, io);
  return Save(options, engine, io);
}

}  // namespace recman_tool
