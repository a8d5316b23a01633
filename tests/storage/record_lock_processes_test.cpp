// The record layer's lock waiting against a record held by another process.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <optional>
#include <vector>

#include "storage/fakes.h"
#include "storage/processes.h"
#include "storage/record_files.h"
#include "storage/record_layer.h"
#include "support/temp_dir.h"
#include "support/test_store.h"

namespace {

using namespace storage_test;

TEST(RecordLockProcessesTest, MessageShownOnceAndClosedWhenTheReadSucceeds) {
  testing_support::TempDir root;
  std::filesystem::create_directories(root / "DADES");
  std::filesystem::create_directories(root / "ddf");
  WriteDescription(root / "ddf/Cases.xdf", TestFileBuffer());
  session::Session session;
  session.RootDir = root.SystemDir();
  session.Language = "GLG";
  const std::string name = root.SystemDir() + "DADES\\Cases";

  // Create the file with one record before the other process starts.
  {
    testing_support::TestEngine engine;
    FakeSystem system;
    FakeUi ui;
    storage::RecordLayer layer(engine, session, system, ui, nullptr, root.SystemDir() + "db.log");
    std::array<char, kRecordLength> area{};
    ASSERT_EQ(layer.RecOpen(508, name, area), 0);
    std::memcpy(area.data(), Record("KEEP").data(), kRecordLength);
    ASSERT_EQ(layer.RecInsert(508), 0);
    ASSERT_EQ(layer.RecResetAll(), 0);
  }

  Signal held, release;
  pid_t holder = RunChild([&] {
    testing_support::TestEngine engine;
    FakeSystem system;
    FakeUi ui;
    storage::RecordLayer layer(engine, session, system, ui, nullptr, root.SystemDir() + "db.log");
    std::array<char, kRecordLength> area{};
    if (layer.RecOpen(508, name, area) != 0) return 10;
    layer.RecLockMode(508, "B");
    if (layer.RecFind(508, 0, "KEEP", 0) != 0) return 11;  // holds the record lock
    held.Send();
    if (release.Wait() == '\0') return 12;
    return layer.RecResetAll() == 0 ? 0 : 13;  // releases it
  });
  ASSERT_EQ(held.Wait(), '.');

  testing_support::TestEngine engine;
  FakeSystem system;
  FakeUi ui;
  storage::RecordLayer layer(engine, session, system, ui, nullptr, root.SystemDir() + "db.log");
  std::array<char, kRecordLength> area{};
  ASSERT_EQ(layer.RecOpen(508, name, area), 0);
  layer.RecLockMode(508, "A");
  system.microsecondsPerMs = 1;
  system.onPause = [&](int n) {
    // The box goes up after the first refusal and stays while waiting; the holder lets go
    // on the second refusal.
    EXPECT_EQ(ui.openBoxes, n == 1 ? 0 : 1) << n;
    if (n == 2) release.Send();
  };
  EXPECT_EQ(layer.RecFind(508, 0, "KEEP", 0), 0);
  EXPECT_EQ(std::string(area.data(), 4), "KEEP");
  EXPECT_GE(system.pauses.size(), 2u);
  EXPECT_EQ(ui.events, (std::vector<std::string>{"box 24 FICHEIRO BLOQUEADO. ESPERE UM MOMENTO.", "close"}));
  EXPECT_EQ(WaitChild(holder), 0);
}

TEST(RecordLockProcessesTest, FileOpenedExclusivelyElsewhereIsWaitedFor) {
  testing_support::TempDir root;
  std::filesystem::create_directories(root / "DADES");
  std::filesystem::create_directories(root / "ddf");
  WriteDescription(root / "ddf/Cases.xdf", TestFileBuffer());
  session::Session session;
  session.RootDir = root.SystemDir();
  const std::string name = root.SystemDir() + "DADES\\Cases";
  {
    testing_support::TestEngine engine;
    FakeSystem system;
    FakeUi ui;
    storage::RecordLayer layer(engine, session, system, ui, nullptr, root.SystemDir() + "db.log");
    std::array<char, kRecordLength> area{};
    ASSERT_EQ(layer.RecOpen(508, name, area), 0);
    ASSERT_EQ(layer.RecResetAll(), 0);
  }

  Signal opened, close, closed;
  pid_t holder = RunChild([&] {
    testing_support::TestEngine engine;
    std::array<char, recman::kPositionBlockSize> position{};
    const std::string host = (root / "DADES/Cases.dat") + std::string(1, '\0');
    std::string key = host;
    char owner[5] = {};
    std::uint32_t length = 0;
    if (engine.BTRCALL(recman::kOpOpen, position.data(), owner, &length, key.data(), static_cast<std::uint8_t>(key.size()), -4) != 0)
      return 10;
    opened.Send();
    if (close.Wait() == '\0') return 11;
    length = 0;
    const std::int16_t status = engine.BTRCALL(recman::kOpClose, position.data(), owner, &length, key.data(), 0, 0);
    closed.Send();
    return status == 0 ? 0 : 12;
  });
  ASSERT_EQ(opened.Wait(), '.');

  testing_support::TestEngine engine;
  FakeSystem system;
  FakeUi ui;
  storage::RecordLayer layer(engine, session, system, ui, nullptr, root.SystemDir() + "db.log");
  system.onPause = [&](int n) {
    if (n == 1) {
      close.Send();
      closed.Wait();
    }
  };
  std::array<char, kRecordLength> area{};
  EXPECT_EQ(layer.RecOpen(508, name, area), 0);
  EXPECT_EQ(system.pauses, std::vector<int>{3000});
  EXPECT_TRUE(ui.events.empty());
  EXPECT_EQ(WaitChild(holder), 0);
}

// Workstations that find a file missing at the same moment: each creates it, all but the first
// hear that it exists (59), and every one of them opens it. First the race made certain:
// another process creates the file between this one's open and its create; then four
// processes at once.
TEST(RecordLockProcessesTest, FileCreatedByAnotherWorkstationMeanwhileIsOpened) {
  testing_support::TempDir root;
  std::filesystem::create_directories(root / "DADES");
  std::filesystem::create_directories(root / "ddf");
  WriteDescription(root / "ddf/Cases.xdf", TestFileBuffer());
  session::Session session;
  session.RootDir = root.SystemDir();
  auto openAsWorkstation = [&](const std::string& file, storage::RecordManager* manager) {
    testing_support::TestEngine engine;
    FakeSystem system;
    FakeUi ui;
    bool fatal = false;
    std::optional<storage::RecordLayer> layer;
    if (manager != nullptr) {
      layer.emplace(*manager, session, system, ui, [&](int) { fatal = true; }, root.SystemDir() + "db.log");
    } else {
      layer.emplace(engine, session, system, ui, [&](int) { fatal = true; }, root.SystemDir() + "db.log");
    }
    std::array<char, kRecordLength> area{};
    const storage::Status st = layer->RecOpen(508, root.SystemDir() + "DADES\\" + file, area);
    return st == 0 && !fatal && ui.events.empty() ? 0 : 100 + (st & 0x3F);
  };

  testing_support::TestEngine engine;
  RecordingManager manager(engine);
  manager.intercept = [&](std::uint16_t op) -> std::optional<std::int16_t> {
    if (op == recman::kOpCreate) {
      EXPECT_EQ(WaitChild(RunChild([&] { return openAsWorkstation("Cases", nullptr); })), 0);
    }
    return std::nullopt;
  };
  manager.rewrite = [](std::uint16_t op, std::int16_t st) {
    if (op == recman::kOpCreate) {
      EXPECT_EQ(st, 59) << "the other workstation made the file first";
    }
    return st;
  };
  EXPECT_EQ(openAsWorkstation("Cases", &manager), 0);

  WriteDescription(root / "ddf/Crowd.xdf", TestFileBuffer());
  Signal go;
  std::vector<pid_t> pids;
  for (int i = 0; i < 4; ++i) {
    pids.push_back(RunChild([&] { return go.Wait() == '.' ? openAsWorkstation("Crowd", nullptr) : 99; }));
  }
  for (int i = 0; i < 4; ++i) go.Send();
  for (pid_t pid : pids) EXPECT_EQ(WaitChild(pid), 0);
}

}  // namespace
