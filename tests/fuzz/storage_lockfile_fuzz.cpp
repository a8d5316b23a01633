// Lock files are shared with every workstation and may hold anything: the registry must scan
// them without reading past their end, treat what it cannot read as free, and leave behind a
// file of whole, readable records.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "storage/lock_registry.h"

namespace {

class FixedSystem : public platform::System {
 public:
  platform::LocalTime Now() override { return {2026, 3, 14, 10, 30, 0, 0}; }
  std::int64_t MonotonicMs() override { return 0; }
  void Pause(int) override {}
  std::uint32_t Random(std::uint32_t bound) override { return bound ? bound / 2 : 0; }
  void Beep() override {}
  std::string ComputerName() override { return "FUZZ"; }
  int RunAndWait(const std::vector<std::string>&) override { return -1; }
};

class QuietUi : public storage::UserInterface {
 public:
  void MessageBox(int, std::string_view) override {}
  void WinClose() override {}
  void Beep() override {}
  void FlushKeys() override {}
  std::int16_t GetKey() override { return 13; }
  std::int16_t ReadKey() override { return 0x1B; }
};

// A scratch installation root for one input, removed with everything in it afterwards.
struct ScratchRoot {
  ScratchRoot() {
    char pattern[] = "/tmp/modcarta-fuzz-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    if (!made) ::abort();
    path = made;
    std::filesystem::create_directories(path + "/LOCKS");
  }
  ~ScratchRoot() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  std::string path;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ScratchRoot root;
  const std::string path = root.path + "/LOCKS/F.lck";
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  FixedSystem system;
  QuietUi ui;
  session::Session session;
  session.RootDir = root.path + "\\";
  session.TempDir = root.path + "/";
  storage::LockRegistry registry(session, system, ui);
  registry.SetWaitMode('S');
  const std::int16_t got = registry.LockAcquire("F", "K", "k1", "k1");
  if (got == 0 && registry.LockRelease("F") != 0) ::abort();

  std::ifstream in(path, std::ios::binary);
  const std::string after((std::istreambuf_iterator<char>(in)), {});
  if (got == 0) {
    // A granted scan rewrote every unreadable record: only whole records remain.
    if (after.size() % storage::LockFileRecord::kSize != 0) ::abort();
    for (std::size_t at = 0; at < after.size(); at += storage::LockFileRecord::kSize)
      if (!storage::LockFileRecord::Parse(std::string_view(after).substr(at, storage::LockFileRecord::kSize))) ::abort();
  }
  return 0;
}
