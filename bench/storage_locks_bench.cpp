// One acquire/release cycle of the lock registry on a lock file that already holds 1,000
// live records of other stations (none meeting the key asked for).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/system.h"
#include "storage/lock_registry.h"

namespace {

class QuietUi : public storage::UserInterface {
 public:
  void MessageBox(int, std::string_view) override {}
  void WinClose() override {}
  void Beep() override {}
  void FlushKeys() override {}
  std::int16_t GetKey() override { return 13; }
  std::int16_t ReadKey() override { return 0; }
};

void BM_AcquireRelease(benchmark::State& state) {
  const int others = static_cast<int>(state.range(0));
  char pattern[] = "/tmp/modcarta-bench-XXXXXX";
  const std::string dir = ::mkdtemp(pattern);
  std::filesystem::create_directories(dir + "/LOCKS");
  std::filesystem::create_directories(dir + "/tmp");
  platform::RealSystem system;
  QuietUi ui;
  session::Session session;
  session.RootDir = dir + "\\";
  session.TempDir = dir + "/tmp\\";
  storage::LockRegistry registry(session, system, ui);
  {
    std::ofstream out(dir + "/LOCKS/TranLauV.lck", std::ios::binary);
    for (int i = 0; i < others; ++i) {
      storage::LockFileRecord r;
      r.stationName = "OTHER";
      r.stationNumber = 1000 + i;
      r.stamp = registry.LockClock();
      r.type = 'K';
      r.lowerKey = r.upperKey = "A" + std::to_string(100000 + i);
      out << r.Format();
    }
  }
  registry.SetWaitMode('S');
  for (auto _ : state) {
    if (registry.LockKey("TranLauV", "B1") != 0) state.SkipWithError("refused");
    registry.LockRelease("TranLauV");
  }
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
}
BENCHMARK(BM_AcquireRelease)->Arg(0)->Arg(1000);

}  // namespace

BENCHMARK_MAIN();
