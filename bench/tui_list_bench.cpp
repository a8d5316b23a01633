// Opening a selection list and paging down ten pages, over a record file of 1,000 records and
// over one of 1,000,000. The browser reads records only as lines are needed, so both should
// cost the same; the run ends by printing the ratio of the two.
//
// One page of the list (20 lines), on a SQLite file and on the same file kept on a PostgreSQL
// server of the run's own, reached over a loopback connection.
//
// Each file is built once per run (in a temporary directory removed at the end, the server
// stopped and removed with it), through the engine directly and inside one transaction, so
// that building the large file stays quick.
#include <benchmark/benchmark.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "recman/engine.h"
#include "recman/server_place.h"
#include "recman/store_place.h"
#include "session/environment.h"
#include "session/form.h"
#include "session/session.h"
#include "storage/record_layer.h"
#include "tui/console/console.h"
#include "tui/console/headless_backend.h"
#include "tui/widgets/list_browse.h"
#include "tui/widgets/module.h"
#include "tui/windows/windows.h"
#include "tests/support/pg_cluster.h"

namespace {

constexpr int kRecordLength = 40;
constexpr std::int16_t kHandle = 10;
constexpr int kPages = 10;
// A list of 20 lines of 60 columns.
constexpr std::array<int, 8> kListAttributes = {kHandle, 0, 2, 5, 23, 66, 0, 0};

class QuietSystem : public platform::System {
 public:
  platform::LocalTime Now() override { return {2024, 1, 1, 0, 0, 0, 0}; }
  std::int64_t MonotonicMs() override { return ++ms_; }
  void Pause(int) override {}
  std::uint32_t Random(std::uint32_t) override { return 0; }
  void Beep() override {}
  std::string ComputerName() override { return "BENCH"; }
  int RunAndWait(const std::vector<std::string>&) override { return -1; }

 private:
  std::int64_t ms_ = 0;
};

class NoUi : public storage::UserInterface {
 public:
  void MessageBox(int, std::string_view) override {}
  void WinClose() override {}
  void Beep() override {}
  void FlushKeys() override {}
  std::int16_t GetKey() override { return 27; }
  std::int16_t ReadKey() override { return 0; }
};

// The module's line: the key and the name of the record in the area.
class ListModule : public tui::Module {
 public:
  explicit ListModule(const std::array<char, kRecordLength>& area) : area_(area) {}
  void ShowPanel(std::int16_t) override {}
  void ShowFieldValue(std::int16_t, std::int16_t) override {}
  std::int16_t AcceptFieldValue(std::int16_t, const std::string&, std::int16_t, std::int16_t) override { return 0; }
  std::int16_t CheckPanel(std::int16_t, std::int16_t) override { return 0; }
  std::string ListLineText(std::int16_t) override {
    ++lines;
    return std::string(area_.data(), 8) + "  " + std::string(area_.data() + 8, 30);
  }
  void ListPick(std::int16_t&, std::int16_t, std::int16_t&) override {}
  std::int16_t ListKeyRange(std::int16_t, std::string& lower, std::string& upper) override {
    lower.clear();
    upper.clear();
    return 0;
  }
  long lines = 0;

 private:
  const std::array<char, kRecordLength>& area_;
};

void Put16(std::string& out, std::size_t at, std::uint16_t v) {
  out[at] = static_cast<char>(v & 0xFF);
  out[at + 1] = static_cast<char>(v >> 8);
}

// The run's PostgreSQL server (loopback TCP), started at its first use.
testing_support::PgCluster& Server() {
  static testing_support::PgCluster cluster(true);
  return cluster;
}

// An engine on SQLite files, or on the run's server with `root` as the installation root.
std::unique_ptr<recman::Engine> MakeEngine(bool server, const std::string& root) {
  if (!server) return std::make_unique<recman::Engine>();
  std::unique_ptr<recman::StorePlace> place;
  std::string error;
  if (!Server().ok() || recman::OpenServerPlace({Server().tcpConninfo(), root}, place, error) != 0) return nullptr;
  return std::make_unique<recman::Engine>(recman::EngineOptions{}, std::move(place));
}

// Builds "<dir>/LIST.dat" with `count` records keyed by 8 digits, in one transaction.
bool BuildFile(const std::string& dir, int count, bool server) {
  std::unique_ptr<recman::Engine> made = MakeEngine(server, dir);
  if (!made) return false;
  recman::Engine& engine = *made;
  std::array<char, recman::kPositionBlockSize> pos{};
  std::string spec(32, '\0');
  Put16(spec, 0, kRecordLength);
  Put16(spec, 2, 4096);
  Put16(spec, 4, 1);
  Put16(spec, 16, 1);
  Put16(spec, 18, 8);
  Put16(spec, 20, 0x02);
  std::string path = dir + "/LIST.dat";
  std::string key = path + '\0';
  std::uint32_t len = static_cast<std::uint32_t>(spec.size());
  if (engine.BTRCALL(recman::kOpCreate, pos.data(), spec.data(), &len, key.data(), static_cast<std::uint8_t>(key.size()), 0) != 0) {
    return false;
  }
  pos.fill(0);
  char owner[5] = {'M', 'O', 'D', 'C', '\0'};
  len = 5;
  if (engine.BTRCALL(recman::kOpOpen, pos.data(), owner, &len, key.data(), static_cast<std::uint8_t>(key.size()), 0) != 0) {
    return false;
  }
  std::uint32_t none = 0;
  char empty[1] = {0};
  engine.BTRCALL(recman::kOpBeginTransaction, pos.data(), empty, &none, empty, 0, 0);
  std::string record(kRecordLength, ' ');
  std::array<char, 256> keyBuffer{};
  for (int n = 1; n <= count; ++n) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%08d", n);
    record.replace(0, 8, digits);
    std::string name = "Record number " + std::string(digits);
    record.replace(8, name.size(), name);
    len = kRecordLength;
    if (engine.BTRCALL(recman::kOpInsert, pos.data(), record.data(), &len, keyBuffer.data(), 8, 0) != 0) return false;
  }
  engine.BTRCALL(recman::kOpEndTransaction, pos.data(), empty, &none, empty, 0, 0);
  engine.BTRCALL(recman::kOpClose, pos.data(), empty, &none, empty, 0, 0);
  return true;
}

// One directory per file size and store, built on first use and kept for the run.
class Files {
 public:
  ~Files() {
    std::error_code ec;
    for (auto& [count, dir] : dirs_) std::filesystem::remove_all(dir, ec);
  }
  const std::string* Dir(int count, bool server = false) {
    const std::pair<int, bool> which{count, server};
    auto it = dirs_.find(which);
    if (it != dirs_.end()) return &it->second;
    std::string pattern = (std::filesystem::temp_directory_path() / "modcarta-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) return nullptr;
    if (!BuildFile(pattern, count, server)) return nullptr;
    return &(dirs_[which] = pattern);
  }

 private:
  std::map<std::pair<int, bool>, std::string> dirs_;
};

Files& BenchFiles() {
  static Files files;
  return files;
}

// Mean time per browse, by file size, for the closing ratio.
std::map<int, double>& MeanSeconds() {
  static std::map<int, double> means;
  return means;
}

// The list's whole world: a console, the windows, the record layer with the file open, a
// form with the one list, and the module that writes its lines.
class ListRig {
 public:
  ListRig(const std::string& dir, bool server)
      : made_(tui::MakeHeadlessBackend({25, 80})),
        script_(*made_.control),
        console_(std::move(made_.backend)),
        windows_(console_, session_, system_, environment_),
        engine_(MakeEngine(server, dir)),
        module_(area_) {
    session_.RootDir = dir + "\\";
    session_.TempDir = dir + "\\";
    if (!engine_) return;
    records_ = std::make_unique<storage::RecordLayer>(*engine_, session_, system_, ui_, [](int) {}, dir + "\\db.log");
    if (records_->RecOpen(kHandle, dir + "\\LIST", area_) != 0) return;
    form_.Panels.resize(1);
    form_.Lists.resize(2);
    for (std::size_t i = 0; i < 8; ++i) form_.Lists[1].Attribute[i] = static_cast<std::int16_t>(kListAttributes[i]);
    form_.Lists[1].Title = "RECORDS";
    form_.ListCount = 1;
    widgets_ = std::make_unique<tui::Widgets>(console_, windows_, form_, *records_, session_, system_, module_);
  }
  ~ListRig() {
    if (records_) records_->RecResetAll();
  }
  bool ok() const { return widgets_ != nullptr; }
  // Opens the list, pages down `pages` times and closes it; the seconds it took.
  double Browse(int pages) {
    script_.ClearInput();
    for (int i = 0; i < pages; ++i) script_.PushKey(tui::key::kPgDn);
    script_.PushKey(tui::key::kEscape);
    auto start = std::chrono::steady_clock::now();
    std::int16_t result = tui::ListBrowse(*widgets_, 1);
    benchmark::DoNotOptimize(result);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  long lines() const { return module_.lines; }

 private:
  session::Session session_;
  session::MapEnvironment environment_;
  QuietSystem system_;
  tui::HeadlessBackend made_;
  tui::HeadlessControl& script_;
  tui::Console console_;
  tui::Windows windows_;
  NoUi ui_;
  std::unique_ptr<recman::Engine> engine_;
  std::unique_ptr<storage::RecordLayer> records_;
  std::array<char, kRecordLength> area_{};
  session::Form form_;
  ListModule module_;
  std::unique_ptr<tui::Widgets> widgets_;
};

void BM_OpenListAndPageDown(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const std::string* dir = BenchFiles().Dir(count);
  if (dir == nullptr) {
    state.SkipWithError("cannot build the record file");
    return;
  }
  ListRig rig(*dir, false);
  if (!rig.ok()) {
    state.SkipWithError("cannot open the record file");
    return;
  }
  double total = 0;
  long browses = 0;
  for (auto _ : state) {
    total += rig.Browse(kPages);
    ++browses;
  }
  state.counters["lines_read"] = benchmark::Counter(static_cast<double>(rig.lines()) / static_cast<double>(browses));
  if (browses > 0) MeanSeconds()[count] = total / static_cast<double>(browses);
}

// One page of a list: the list opened on its first page and paged down ten times, the time
// per page shown (20 lines each). Argument: 0 a SQLite file, 1 the file on the run's server
// over loopback (1,000 records each).
void BM_ListPage(benchmark::State& state) {
  const bool server = state.range(0) != 0;
  const std::string* dir = BenchFiles().Dir(1000, server);
  if (dir == nullptr) {
    state.SkipWithError(server ? "cannot build the record file on the server (is PostgreSQL 15 installed?)"
                               : "cannot build the record file");
    return;
  }
  ListRig rig(*dir, server);
  if (!rig.ok()) {
    state.SkipWithError("cannot open the record file");
    return;
  }
  long pages = 0;
  for (auto _ : state) {
    state.SetIterationTime(rig.Browse(kPages) / (kPages + 1));
    pages += kPages + 1;
  }
  state.counters["lines_per_page"] = benchmark::Counter(static_cast<double>(rig.lines()) / static_cast<double>(pages));
}

BENCHMARK(BM_OpenListAndPageDown)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListPage)->ArgName("server")->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  auto& means = MeanSeconds();
  if (means.count(1000) && means.count(1000000)) {
    std::printf("ratio 1,000,000 / 1,000 records: %.2f\n", means[1000000] / means[1000]);
  }
  benchmark::Shutdown();
  return 0;
}
