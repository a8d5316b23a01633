// A demo installation in a temporary directory, and a headless run of the program over it.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "app/program.h"
#include "platform/system.h"
#include "recman/engine.h"
#include "session/environment.h"
#include "support/temp_dir.h"
#include "support/test_store.h"
#include "tui/console/headless_backend.h"
#include "tui/console/process.h"

namespace app_test {

// The real system with the beep counted instead of sounded. A test may watch the pauses (the
// record layer and the lock registry pause between the tries of a wait).
class QuietSystem : public platform::RealSystem {
 public:
  void Beep() override { ++beeps; }
  void Pause(int milliseconds) override {
    ++pauses;
    if (onPause) onPause();
    platform::RealSystem::Pause(milliseconds);
  }
  // Moves the clock (local time and the monotonic clock) forward, as if the operator waited.
  platform::LocalTime Now() override {
    platform::LocalTime t = platform::RealSystem::Now();
    if (shiftMinutes == 0) return t;
    std::tm tm{};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute + shiftMinutes;
    tm.tm_sec = t.second;
    tm.tm_isdst = -1;
    std::mktime(&tm);
    t.year = tm.tm_year + 1900;
    t.month = tm.tm_mon + 1;
    t.day = tm.tm_mday;
    t.hour = tm.tm_hour;
    t.minute = tm.tm_min;
    return t;
  }
  std::int64_t MonotonicMs() override { return platform::RealSystem::MonotonicMs() + shiftMinutes * 60000LL; }
  int beeps = 0;
  int pauses = 0;
  int shiftMinutes = 0;
  std::function<void()> onPause;
};

// Writes a text file in code page 850 (ASCII here) with CR LF line ends.
inline void WriteDosFile(const std::string& path, const std::vector<std::string>& lines) {
  std::ofstream out(path, std::ios::binary);
  for (const std::string& line : lines) out << line << "\r\n";
}

// The demo installation built by demo/make-install into a temporary directory, with one
// workstation directory T1.
class Installation {
 public:
  explicit Installation(const std::string& language = "CAT") {
    root_ = dir_.path() + "/inst";
    std::string command = std::string("'") + MODCARTA_SOURCE_DIR + "/demo/make-install' '" + MODCARTA_BIN_DIR +
                          "' '" + root_ + "' >/dev/null";
    ok_ = std::system(command.c_str()) == 0;
    if (ok_ && testing_support::RecordFilesOnServer()) ok_ = MoveToServer();
    station_ = root_ + "/T1";
    std::system(("mkdir -p '" + station_ + "'").c_str());
    WriteDosFile(station_ + "/Sessio.ini",
                 {"[Menu]", "Titol=Fitxa de proves", "NomMenu=MODCARTA", "[Terminal]", "Dir=" + station_ + "/"});
    SetLanguage(language);
  }
  bool ok() const { return ok_; }
  void SetLanguage(const std::string& language) {
    WriteDosFile(station_ + "/OrbaTerm.ini",
                 {"[Pantalla]", "Seleccio=0", "[Sistema]", "Data=20261209", "Idioma=" + language});
  }
  const std::string& root() const { return root_; }
  const std::string& station() const { return station_; }
  session::MapEnvironment Environment() const {
    session::MapEnvironment env;
    env.Set("ZEDROOT", root_ + "/");
    env.Set("ZEDTMP", station_ + "/");
    return env;
  }

  // A record of a data file by its key 0, read straight from the record manager.
  std::optional<std::string> Record(const std::string& file, const std::string& key) const {
    testing_support::TestEngine engine(root_, conninfo_);
    char pos[recman::kPositionBlockSize] = {};
    std::string path = root_ + "/DADES/" + file + ".dat";
    char owner[5] = {'M', 'O', 'D', 'C', 0};
    std::uint32_t len = 5;
    std::vector<char> keyBuffer(path.begin(), path.end());
    keyBuffer.resize(256, '\0');
    if (engine.BTRCALL(recman::kOpOpen, pos, owner, &len, keyBuffer.data(), static_cast<std::uint8_t>(path.size() + 1), 0) != 0) {
      return std::nullopt;
    }
    std::vector<char> data(2048);
    len = static_cast<std::uint32_t>(data.size());
    std::vector<char> k(key.begin(), key.end());
    k.resize(256, '\0');
    std::int16_t st = engine.BTRCALL(recman::kOpGetEqual, pos, data.data(), &len, k.data(), static_cast<std::uint8_t>(key.size()), 0);
    std::uint32_t returned = len;
    std::uint32_t zero = 0;
    engine.BTRCALL(recman::kOpClose, pos, nullptr, &zero, nullptr, 0, 0);
    if (st != 0) return std::nullopt;
    return std::string(data.data(), std::min<std::size_t>(returned, data.size()));
  }

  // Runs a shell command line; true when it ends with status 0.
  static bool Shell(const std::string& command) { return std::system(command.c_str()) == 0; }

  // Adds records to a data file from CSV lines (the header line first), with the demo's layout.
  bool Load(const std::string& file, const std::vector<std::string>& csv) const {
    std::string input = dir_.path() + "/" + file + "-extra.csv";
    std::ofstream(input, std::ios::binary) << Join(csv);
    return Shell(Tool() + ServerArguments() + " load '" + root_ + "/DADES/" + file + ".dat' '" + input + "' --layout '" + Layout(file) +
                 "' --csv >/dev/null");
  }
  // Every record of a data file as CSV in key order: `recman save FILE - --layout L --csv`.
  std::string Save(const std::string& file) const {
    std::vector<std::string> args = {std::string(MODCARTA_BIN_DIR) + "/recman", "save", root_ + "/DADES/" + file + ".dat",
                                     "-", "--layout", Layout(file), "--csv"};
    if (testing_support::RecordFilesOnServer()) {
      args.insert(args.end(), {"--server", conninfo_, "--root", root_});
    }
    std::optional<std::string> csv = tui::RunCaptured(args, {}, 10000, std::size_t{1} << 24);
    return csv.value_or("");
  }
  // Replaces the first occurrence of a text in an installed file; false when it is not there.
  bool Replace(const std::string& relative, const std::string& from, const std::string& to) const {
    std::string text = ReadFile(relative);
    std::size_t at = text.find(from);
    if (at == std::string::npos) return false;
    text.replace(at, from.size(), to);
    std::ofstream(root_ + "/" + relative, std::ios::binary) << text;
    return true;
  }
  // A second workstation directory beside T1, with the same settings.
  std::string AddStation(const std::string& name) const {
    std::string dir = root_ + "/" + name;
    Shell("mkdir -p '" + dir + "'");
    WriteDosFile(dir + "/Sessio.ini",
                 {"[Menu]", "Titol=Fitxa de proves", "NomMenu=MODCARTA", "[Terminal]", "Dir=" + dir + "/"});
    Shell("cp '" + station_ + "/OrbaTerm.ini' '" + dir + "/OrbaTerm.ini'");
    return dir;
  }
  const std::string& scratch() const { return dir_.path(); }
  // The installation's database on the test's server ("" while its files are on this host).
  const std::string& conninfo() const { return conninfo_; }

  std::string ReadFile(const std::string& relative) const {
    std::ifstream in(root_ + "/" + relative, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

 private:
  static std::string Tool() { return std::string("'") + MODCARTA_BIN_DIR + "/recman'"; }
  // The recman options that name the installation's server, when its files are there.
  std::string ServerArguments() const {
    if (!testing_support::RecordFilesOnServer()) return "";
    return " --server '" + conninfo_ + "' --root '" + root_ + "'";
  }
  // The demo's record files copied to the test's server (the local ones removed, so nothing
  // reads them by mistake), and the server named in Orba.ini.
  bool MoveToServer() {
    conninfo_ = testing_support::NewTestDatabase();
    if (conninfo_.empty()) return false;
    for (const char* file : {"FinquesV", "DepartaV", "TranLauV"}) {
      const std::string local = root_ + "/DADES/" + file + ".dat";
      if (!Shell(Tool() + ServerArguments() + " copy 'local:" + local + "' 'server:DADES/" + file + ".dat' >/dev/null")) {
        return false;
      }
      Shell("rm -f '" + local + "' '" + local + "-wal' '" + local + "-shm' '" + local + "-lock'");
    }
    std::ofstream(root_ + "/Orba.ini", std::ios::binary | std::ios::app)
        << "[Dades]\r\nServidor=" << conninfo_ << "\r\n";
    return true;
  }
  static std::string Layout(const std::string& file) {
    return std::string(MODCARTA_SOURCE_DIR) + "/demo/layouts/" + file + ".json";
  }
  static std::string Join(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
  }

  testing_support::TempDir dir_;
  std::string root_;
  std::string station_;
  std::string conninfo_;
  bool ok_ = false;
};

// Another client of the record files, in a process of its own (a maintenance program, a
// workstation of another installation): reads the record of `key` (key 0) from a data file,
// lets `change` alter its bytes and writes it back. The status of the update, -1 when the
// record could not be read or the child failed.
inline int UpdateInOtherProcess(const Installation& inst, const std::string& file, const std::string& key,
                                const std::function<void(std::string&)>& change) {
  std::fflush(nullptr);
  pid_t pid = ::fork();
  if (pid == 0) {
    testing_support::TestEngine engine(inst.root(), inst.conninfo());
    char pos[recman::kPositionBlockSize] = {};
    std::string path = inst.root() + "/DADES/" + file + ".dat";
    char owner[5] = {'M', 'O', 'D', 'C', 0};
    std::uint32_t len = 5;
    std::vector<char> keyBuffer(path.begin(), path.end());
    keyBuffer.resize(256, '\0');
    if (engine.BTRCALL(recman::kOpOpen, pos, owner, &len, keyBuffer.data(), static_cast<std::uint8_t>(path.size() + 1), 0) != 0)
      ::_exit(255);
    std::vector<char> data(2048);
    len = static_cast<std::uint32_t>(data.size());
    std::vector<char> k(key.begin(), key.end());
    k.resize(256, '\0');
    if (engine.BTRCALL(recman::kOpGetEqual, pos, data.data(), &len, k.data(), static_cast<std::uint8_t>(key.size()), 0) != 0)
      ::_exit(255);
    std::string record(data.data(), len);
    change(record);
    len = static_cast<std::uint32_t>(record.size());
    std::int16_t st = engine.BTRCALL(recman::kOpUpdate, pos, record.data(), &len, k.data(), static_cast<std::uint8_t>(key.size()), 0);
    ::_exit(st >= 0 && st < 255 ? st : 254);
  }
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status) == 255 ? -1 : WEXITSTATUS(status);
}

// Packs a 3-digit code as the files keep it: "0" + code in base-hundred bytes.
inline std::string PackedCode(int code) {
  int a = code / 100, b = code % 100;
  return {static_cast<char>(128 + a), static_cast<char>(128 + b)};
}
inline std::string DepartmentKey(int property, int department) {
  return PackedCode(property) + PackedCode(department);
}

// (property, department) codes of the demo data: departments, and those with a record card.
inline std::vector<std::pair<int, int>> DemoCodes(const std::string& file) {
  std::ifstream in(std::string(MODCARTA_SOURCE_DIR) + "/demo/data/" + file + ".csv");
  std::string line;
  std::getline(in, line);
  std::vector<std::pair<int, int>> out;
  while (std::getline(in, line)) {
    int a = std::atoi(line.substr(0, 3).c_str());
    int b = std::atoi(line.substr(4, 3).c_str());
    out.emplace_back(a, b);
  }
  return out;
}

// Little-endian integers and packed dates inside a record, as the files keep them.
inline int Int32At(const std::string& r, std::size_t o) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(r[o + static_cast<std::size_t>(i)]);
  return static_cast<int>(v);
}
inline int Int16At(const std::string& r, std::size_t o) {
  return static_cast<std::int16_t>(static_cast<unsigned char>(r[o]) | (static_cast<unsigned char>(r[o + 1]) << 8));
}
inline std::string PackedDate(int y, int m, int d) {
  return {static_cast<char>(128 + y / 100), static_cast<char>(128 + y % 100), static_cast<char>(128 + m),
          static_cast<char>(128 + d)};
}

// A fresh demo installation per test, with the demo's departments by property and the
// departments that have a record card.
class DemoFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(inst_.ok()) << "demo/make-install failed";
    for (auto [p, d] : DemoCodes("DepartaV")) departments_[p].push_back(d);
    for (auto pd : DemoCodes("TranLauV")) cards_.insert(pd);
  }
  // The first department of the demo without, or with, a record card.
  std::pair<int, int> Department(bool withCard) const {
    for (const auto& [p, ds] : departments_) {
      for (int d : ds) {
        if (cards_.count({p, d}) == (withCard ? 1u : 0u)) return {p, d};
      }
    }
    return {0, 0};
  }
  // The smallest property code that the demo does not have.
  int MissingProperty() const {
    int missing = 1;
    while (departments_.count(missing)) ++missing;
    return missing;
  }

  Installation inst_;
  std::map<int, std::vector<int>> departments_;
  std::set<std::pair<int, int>> cards_;
};

// One headless run of the program. Each step runs when the program waits for a key with
// nothing left to read: it may look at the screen and push the next keys. When the steps are
// used up the run pushes Escape until the program ends.
class Session {
 public:
  using Step = std::function<void(tui::HeadlessControl&)>;

  Session(const Installation& inst, std::vector<Step> steps) : env_(inst.Environment()), steps_(std::move(steps)) {}
  Session(session::MapEnvironment env, std::vector<Step> steps) : env_(std::move(env)), steps_(std::move(steps)) {}

  // The program starts in this working directory (by default the test's own).
  void SetWorkingDirectory(std::string dir) { workingDir_ = std::move(dir); }
  // Called at every pause of a wait (a locked record or registry entry), with the screen.
  void SetOnPause(Step step) { onPause_ = std::move(step); }

  int Execute() {
    char cwd[4096];
    if (::getcwd(cwd, sizeof cwd) == nullptr) return -1;
    if (!workingDir_.empty() && ::chdir(workingDir_.c_str()) != 0) return -1;
    if (onPause_) {
      system_.onPause = [this] {
        if (control_ != nullptr) onPause_(*control_);
      };
    }
    tui::HeadlessBackend hb = tui::MakeHeadlessBackend({25, 80});
    control_ = hb.control;
    std::size_t next = 0;
    control_->SetOnStarved([this, &next](tui::HeadlessControl& c) {
      if (next < steps_.size()) {
        steps_[next++](c);
      } else if (++escapes_ > 500) {
        std::fprintf(stderr, "the program did not end after its script\n");
        std::abort();
      } else {
        c.PushKey(27);
      }
    });
    int status = 0;
    {
      app::Program program(std::move(hb.backend), env_, system_);
      status = program.Run();
      failure_ = program.FailureMessage();
    }
    stepsRun_ = next;
    control_ = nullptr;
    // Back to where the test was; a run under another account (in a process of its own, which
    // ends after it) may not be allowed into the build folder, and needs nothing there.
    if (::chdir(cwd) != 0) std::fprintf(stderr, "could not go back to %s\n", cwd);
    return status;
  }

  std::size_t StepsRun() const { return stepsRun_; }
  int Beeps() const { return system_.beeps; }
  QuietSystem& System() { return system_; }
  int Pauses() const { return system_.pauses; }
  const std::string& Failure() const { return failure_; }

 private:
  session::MapEnvironment env_;
  QuietSystem system_;
  std::vector<Step> steps_;
  tui::HeadlessControl* control_ = nullptr;
  std::size_t stepsRun_ = 0;
  int escapes_ = 0;
  std::string workingDir_;
  Step onPause_;
  std::string failure_;
};

}  // namespace app_test
