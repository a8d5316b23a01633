// The record layer's overhead: RecFind and RecSkip against the same calls made straight into
// the engine, on a file of 1,000 records.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "platform/paths.h"
#include "platform/system.h"
#include "recman/engine.h"
#include "storage/record_layer.h"

namespace {

constexpr int kRecords = 1000;
constexpr std::uint16_t kRecordLength = 64;

class QuietUi : public storage::UserInterface {
 public:
  void MessageBox(int, std::string_view) override {}
  void WinClose() override {}
  void Beep() override {}
  void FlushKeys() override {}
  std::int16_t GetKey() override { return 13; }
  std::int16_t ReadKey() override { return 0; }
};

std::string KeyOf(int i) {
  char key[9];
  std::snprintf(key, sizeof key, "K%07d", i);
  return key;
}

// A directory with DADES\Bench.dat holding kRecords records keyed by an 8-byte text.
struct Fixture {
  Fixture() {
    char pattern[] = "/tmp/modcarta-bench-XXXXXX";
    dir = ::mkdtemp(pattern);
    std::filesystem::create_directories(dir + "/DADES");
    std::filesystem::create_directories(dir + "/ddf");
    std::string create(16 + 16, '\0');
    create[0] = static_cast<char>(kRecordLength);
    create[3] = 4;  // page size 1024
    create[4] = 1;  // one key
    create[16] = 1;  // position 1
    create[18] = 8;  // length 8
    std::string prefix(2, '\0');
    prefix[0] = static_cast<char>(create.size());
    std::ofstream(dir + "/ddf/Bench.xdf", std::ios::binary) << prefix << create;
    session.RootDir = dir + "\\";
    layer = std::make_unique<storage::RecordLayer>(engine, session, system, ui, nullptr, dir + "\\db.log");
    if (layer->RecOpen(1, session.RootDir + "DADES\\Bench", area) != 0) std::abort();
    for (int i = 0; i < kRecords; ++i) {
      area.fill(' ');
      std::string key = KeyOf(i);
      std::memcpy(area.data(), key.data(), key.size());
      if (layer->RecInsert(1) != 0) std::abort();
    }
    // A second, direct open of the same file for the engine-only runs.
    std::string host = platform::HostPath(session.RootDir + "DADES\\Bench.dat");
    char owner[5] = {'M', 'O', 'D', 'C', 0};
    std::uint32_t length = 5;
    std::array<char, 256> key{};
    std::memcpy(key.data(), host.c_str(), host.size() + 1);
    if (engine.BTRCALL(recman::kOpOpen, position.data(), owner, &length, key.data(),
                       static_cast<std::uint8_t>(host.size() + 1), 0) != 0)
      std::abort();
  }
  ~Fixture() {
    layer->RecResetAll();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }

  std::string dir;
  recman::Engine engine;
  session::Session session;
  platform::RealSystem system;
  QuietUi ui;
  std::unique_ptr<storage::RecordLayer> layer;
  std::array<char, kRecordLength> area{};
  std::array<char, recman::kPositionBlockSize> position{};
};

Fixture& Shared() {
  static Fixture fixture;
  return fixture;
}

void BM_EngineFind(benchmark::State& state) {
  Fixture& f = Shared();
  std::array<char, 1536> data{};
  std::array<char, 256> key{};
  int i = 0;
  for (auto _ : state) {
    std::string k = KeyOf((i++ * 7919) % kRecords);
    std::memcpy(key.data(), k.data(), 8);
    std::uint32_t length = kRecordLength;
    benchmark::DoNotOptimize(f.engine.BTRCALL(recman::kOpGetEqual, f.position.data(), data.data(), &length, key.data(), 8, 0));
  }
}
BENCHMARK(BM_EngineFind);

void BM_LayerFind(benchmark::State& state) {
  Fixture& f = Shared();
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(f.layer->RecFind(1, 0, KeyOf((i++ * 7919) % kRecords), 0));
  }
}
BENCHMARK(BM_LayerFind);

void BM_EngineSkip(benchmark::State& state) {
  Fixture& f = Shared();
  std::array<char, 1536> data{};
  std::array<char, 256> key{};
  std::uint32_t length = kRecordLength;
  f.engine.BTRCALL(recman::kOpGetFirst, f.position.data(), data.data(), &length, key.data(), 8, 0);
  for (auto _ : state) {
    length = kRecordLength;
    if (f.engine.BTRCALL(recman::kOpGetNext, f.position.data(), data.data(), &length, key.data(), 8, 0) != 0) {
      length = kRecordLength;
      f.engine.BTRCALL(recman::kOpGetFirst, f.position.data(), data.data(), &length, key.data(), 8, 0);
    }
  }
}
BENCHMARK(BM_EngineSkip);

void BM_LayerSkip(benchmark::State& state) {
  Fixture& f = Shared();
  f.layer->RecFind(1, 0, KeyOf(0), 0);
  for (auto _ : state) {
    if (f.layer->RecSkip(1, 1) != 0) f.layer->RecFind(1, 0, KeyOf(0), 0);
  }
}
BENCHMARK(BM_LayerSkip);

// Several moves in one call: only the last goes through the record area.
void BM_LayerSkip10(benchmark::State& state) {
  Fixture& f = Shared();
  f.layer->RecFind(1, 0, KeyOf(0), 0);
  for (auto _ : state) {
    if (f.layer->RecSkip(1, 10) != 0) f.layer->RecFind(1, 0, KeyOf(0), 0);
  }
}
BENCHMARK(BM_LayerSkip10);

}  // namespace

BENCHMARK_MAIN();
