// The record layer's lock waiting against a record held by another process.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>

#include "storage/fakes.h"
#include "storage/processes.h"
#include "storage/record_files.h"
#include "storage/record_layer.h"
#include "support/temp_dir.h"

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
    recman::Engine engine;
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
    recman::Engine engine;
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

  recman::Engine engine;
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

}  // namespace
