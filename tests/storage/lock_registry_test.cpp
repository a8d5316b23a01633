#include "storage/lock_registry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "platform/files.h"
#include "storage/fakes.h"
#include "support/temp_dir.h"

namespace {

using storage::LockFileRecord;
using storage::LockRegistry;
using storage_test::FakeSystem;
using storage_test::FakeUi;
using testing_support::TempDir;

std::string Slurp(const std::string& hostPath) {
  std::ifstream in(hostPath, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void Spit(const std::string& hostPath, const std::string& bytes) {
  std::ofstream out(hostPath, std::ios::binary | std::ios::trunc);
  out << bytes;
}

// One workstation: its own temporary directory (so its own station identity), sharing the
// installation root with the others.
struct Station {
  Station(const TempDir& root, const std::string& tempName, FakeSystem& system) {
    std::filesystem::create_directories(root / tempName);
    session.RootDir = root.SystemDir();
    session.TempDir = root.path() + "/" + tempName + "\\";
    session.Language = "CAT";
    registry = std::make_unique<LockRegistry>(session, system, ui);
  }
  session::Session session;
  FakeUi ui;
  std::unique_ptr<LockRegistry> registry;
};

// The records of a lock file, parsed (nullopt for damaged ones).
std::vector<std::optional<LockFileRecord>> Records(const std::string& hostPath) {
  std::string bytes = Slurp(hostPath);
  std::vector<std::optional<LockFileRecord>> out;
  for (std::size_t at = 0; at < bytes.size(); at += LockFileRecord::kSize)
    out.push_back(LockFileRecord::Parse(std::string_view(bytes).substr(at, LockFileRecord::kSize)));
  return out;
}

class LockRegistryTest : public ::testing::Test {
 protected:
  TempDir root;
  FakeSystem system;
  Station a{root, "a", system};
  Station b{root, "b", system};
  std::string LockFile(const std::string& name) { return root / ("LOCKS/" + name + ".lck"); }
};

TEST(LockClockTest, MinutesSinceEpochInLocalTime) {
  struct Case {
    platform::LocalTime time;
    std::int32_t expected;
  } cases[] = {
      {{1970, 1, 1, 0, 0, 0, 0}, 0},
      {{1970, 1, 1, 0, 0, 59, 499}, 0},          // 59.499 s rounds to 59 s
      {{1970, 1, 1, 0, 0, 59, 500}, 1},          // 59.5 s rounds to a whole minute
      {{1970, 1, 2, 0, 1, 29, 0}, 1441},
      {{1972, 3, 1, 0, 0, 0, 0}, (365 + 365 + 31 + 29) * 1440},  // across a leap day
      {{2026, 3, 14, 10, 30, 0, 0}, 20526 * 1440 + 630},
  };
  for (const Case& c : cases) EXPECT_EQ(storage::LockClockAt(c.time), c.expected) << c.time.year << "-" << c.time.month;
}

TEST(LockKeyTextTest, PackedPairsBecomeDigits) {
  EXPECT_EQ(storage::LockKeyText("\x8C"), "12");
  EXPECT_EQ(storage::LockKeyText(std::string("\x80\xE3\xE4", 3)), std::string("0099\xE4"));
  EXPECT_EQ(storage::LockKeyText(std::string("A\x81\x7F", 3)), std::string("A01\x7F"));
}

TEST(LockFileRecordTest, FormatsFixedColumnsAndParsesBack) {
  LockFileRecord r;
  r.stationName = "PC1";
  r.stationNumber = -2147483647 - 1;
  r.stamp = 29557070;
  r.type = 'K';
  r.lowerKey = "10";
  r.upperKey = std::string(45, 'Z');  // cut to 40
  std::string bytes = r.Format();
  ASSERT_EQ(bytes.size(), 121u);
  EXPECT_EQ(bytes.substr(0, 15), "PC1            ");
  EXPECT_EQ(bytes.substr(15, 11), "-2147483648");
  EXPECT_EQ(bytes.substr(26, 8), "29557070");
  EXPECT_EQ(bytes.substr(34, 1), "K");
  EXPECT_EQ(bytes.substr(35, 2), "2 ");
  EXPECT_EQ(bytes.substr(37, 3), "10 ");
  EXPECT_EQ(bytes.substr(77, 2), "40");
  EXPECT_EQ(bytes.substr(119), "\r\n");
  auto back = LockFileRecord::Parse(bytes);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->stationNumber, r.stationNumber);
  EXPECT_EQ(back->upperKey, std::string(40, 'Z'));
}

TEST(LockFileRecordTest, DamagedRecordsAreRefused) {
  LockFileRecord r;
  r.stationName = "PC1";
  r.stationNumber = 7;
  r.stamp = 100;
  r.type = 'F';
  const std::string good = r.Format();
  struct Case {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"cut short", good.substr(0, 120)},
      {"too long", good + "x"},
      {"no line end", good.substr(0, 119) + "xx"},
      {"unknown type", std::string(good).replace(34, 1, "Q")},
      {"number not numeric", std::string(good).replace(15, 11, "12a        ")},
      {"number blank", std::string(good).replace(15, 11, "           ")},
      {"stamp not numeric", std::string(good).replace(26, 8, "-5      ")},
      {"key length above 40", [&] {
         LockFileRecord k = r;
         k.type = 'K';
         return k.Format().replace(35, 2, "41");
       }()},
  };
  for (const Case& c : cases) EXPECT_FALSE(LockFileRecord::Parse(c.bytes)) << c.what;
  EXPECT_TRUE(LockFileRecord::Parse(good));
}

TEST_F(LockRegistryTest, StationIdentityIsCreatedOnceAndKept) {
  const std::int32_t number = a.registry->StationNumber();
  EXPECT_NE(number, 0);
  EXPECT_EQ(a.registry->StationName(), "TESTPC         ");
  std::string file = Slurp(root / "a/LOCKS.TMP");
  ASSERT_EQ(file.size(), 19u);
  EXPECT_EQ(file.substr(4), "TESTPC         ");

  // Another run on the same temporary directory keeps number and stored name, even though the
  // computer has been renamed since.
  system.computerName = "RENAMED";
  session::Session again = a.session;
  FakeUi ui;
  LockRegistry second(again, system, ui);
  EXPECT_EQ(second.StationNumber(), number);
  EXPECT_EQ(second.StationName(), "TESTPC         ");
  // A different temporary directory is a different station.
  EXPECT_NE(b.registry->StationNumber(), number);
}

TEST_F(LockRegistryTest, StationFileWithNumberZeroGetsANewNumber) {
  Spit(root / "a/LOCKS.TMP", std::string(4, '\0') + "OLDNAME        ");
  EXPECT_NE(a.registry->StationNumber(), 0);
  EXPECT_EQ(a.registry->StationName(), "TESTPC         ");
  EXPECT_NE(Slurp(root / "a/LOCKS.TMP").substr(0, 4), std::string(4, '\0'));
}

TEST_F(LockRegistryTest, LongComputerNameIsCutTo15) {
  system.computerName = "A-VERY-LONG-COMPUTER-NAME";
  EXPECT_EQ(a.registry->StationName(), "A-VERY-LONG-COM");
}

TEST_F(LockRegistryTest, KeyRangesThatMeetConflict) {
  b.registry->SetWaitMode('S');
  a.registry->SetWaitMode('s');
  ASSERT_EQ(b.registry->LockAcquire("TranLauV", "K", "21", "30"), 0);
  struct Case {
    const char* lower;
    const char* upper;
    std::int16_t expected;
  } cases[] = {
      {"10", "20", 0},   // below the other range
      {"31", "40", 0},   // above it
      {"15", "25", -1},  // overlaps its start
      {"25", "35", -1},  // overlaps its end
      {"22", "23", -1},  // inside
      {"30", "30", -1},  // touches its upper end
  };
  for (const Case& c : cases) {
    EXPECT_EQ(a.registry->LockAcquire("TranLauV", "K", c.lower, c.upper), c.expected) << c.lower << ".." << c.upper;
    if (c.expected == 0) {
      ASSERT_EQ(a.registry->LockRelease("TranLauV"), 0);
    }
  }
  // Mode S never shows anything.
  EXPECT_TRUE(a.ui.events.empty());
}

TEST_F(LockRegistryTest, WholeFileLocksMeetEverything) {
  a.registry->SetWaitMode('S');
  b.registry->SetWaitMode('S');
  ASSERT_EQ(b.registry->LockAcquire("X", "k", "10", "20"), 0);
  EXPECT_EQ(a.registry->LockAcquire("X", "F", "", ""), -1);
  ASSERT_EQ(b.registry->LockRelease("X"), 0);
  ASSERT_EQ(b.registry->LockAcquire("X", "f", "", ""), 0);
  EXPECT_EQ(a.registry->LockAcquire("X", "K", "90", "99"), -1);
  EXPECT_EQ(a.registry->LockAcquire("X", "F", "", ""), -1);
  EXPECT_EQ(a.registry->LockAcquire("X", "Q", "", ""), -1);  // no such type
}

TEST_F(LockRegistryTest, OwnRecordFirstDoesNotHideAnotherStationsLater) {
  a.registry->SetWaitMode('S');
  b.registry->SetWaitMode('S');
  ASSERT_EQ(a.registry->LockAcquire("X", "K", "10", "10"), 0);
  ASSERT_EQ(b.registry->LockAcquire("X", "K", "50", "50"), 0);
  // A's own record comes first; B's later record still refuses a whole-file lock and a range
  // that would reach over B's key.
  EXPECT_EQ(a.registry->LockAcquire("X", "F", "", ""), -1);
  EXPECT_EQ(a.registry->LockAcquire("X", "K", "10", "60"), -1);
}

TEST_F(LockRegistryTest, SameKeyTwiceRewritesOneRecordWithANewStamp) {
  a.registry->SetWaitMode('S');
  ASSERT_EQ(a.registry->LockKey("TranLauV", "\x8C\x8D"), 0);
  system.AddMinutes(5);
  ASSERT_EQ(a.registry->LockKey("TranLauV", "\x8C\x8D"), 0);
  auto records = Records(LockFile("TranLauV"));
  ASSERT_EQ(records.size(), 1u);
  ASSERT_TRUE(records[0]);
  EXPECT_EQ(records[0]->type, 'K');
  EXPECT_EQ(records[0]->lowerKey, "1213");
  EXPECT_EQ(records[0]->upperKey, "1213");
  EXPECT_EQ(records[0]->stamp, a.registry->LockClock());
}

TEST_F(LockRegistryTest, StaleRecordIsReclaimedAndItsPlaceReused) {
  b.registry->SetWaitMode('S');
  a.registry->SetWaitMode('S');
  ASSERT_EQ(b.registry->LockKey("TranLauV", "\x8C"), 0);
  system.AddMinutes(30);
  EXPECT_EQ(a.registry->LockKey("TranLauV", "\x8C"), -1);  // exactly 30 minutes: still live
  system.AddMinutes(1);
  EXPECT_EQ(a.registry->LockKey("TranLauV", "\x8C"), 0);
  auto records = Records(LockFile("TranLauV"));
  ASSERT_EQ(records.size(), 1u);
  ASSERT_TRUE(records[0]);
  EXPECT_EQ(records[0]->stationNumber, a.registry->StationNumber());
}

TEST_F(LockRegistryTest, ReleaseFreesOnlyTheNewestOfTwo) {
  a.registry->SetWaitMode('S');
  ASSERT_EQ(a.registry->LockAcquire("X", "K", "10", "10"), 0);
  system.AddMinutes(1);
  ASSERT_EQ(a.registry->LockAcquire("X", "K", "20", "20"), 0);
  // Put the newer record first in the file: the stamp decides, not the place.
  std::string bytes = Slurp(LockFile("X"));
  Spit(LockFile("X"), bytes.substr(121) + bytes.substr(0, 121));

  ASSERT_EQ(a.registry->LockRelease("X"), 0);
  auto records = Records(LockFile("X"));
  ASSERT_EQ(records.size(), 2u);
  EXPECT_TRUE(records[0]->IsFree());
  EXPECT_EQ(records[1]->lowerKey, "10");
  // Freeing blanks name, number and type and leaves the rest.
  EXPECT_EQ(Slurp(LockFile("X")).substr(0, 34), std::string(26, ' ') + Slurp(LockFile("X")).substr(26, 8));
  EXPECT_EQ(Slurp(LockFile("X")).substr(37, 2), "20");

  ASSERT_EQ(a.registry->LockRelease("X"), 0);
  EXPECT_EQ(a.registry->LockRelease("X"), -1);
}

TEST_F(LockRegistryTest, ReleaseOnEqualStampsTakesTheLaterRecord) {
  a.registry->SetWaitMode('S');
  ASSERT_EQ(a.registry->LockAcquire("X", "K", "10", "10"), 0);
  ASSERT_EQ(a.registry->LockAcquire("X", "K", "20", "20"), 0);
  ASSERT_EQ(a.registry->LockRelease("X"), 0);
  auto records = Records(LockFile("X"));
  ASSERT_EQ(records.size(), 2u);
  EXPECT_FALSE(records[0]->IsFree());
  EXPECT_TRUE(records[1]->IsFree());
}

TEST_F(LockRegistryTest, ReleaseDoesNotTouchAnotherStationsLock) {
  b.registry->SetWaitMode('S');
  ASSERT_EQ(b.registry->LockAcquire("X", "F", "", ""), 0);
  EXPECT_EQ(a.registry->LockRelease("X"), -1);
  EXPECT_FALSE(Records(LockFile("X"))[0]->IsFree());
}

TEST_F(LockRegistryTest, LockNamesMatchWithoutCaseAndBlanks) {
  a.registry->SetWaitMode('S');
  b.registry->SetWaitMode('S');
  ASSERT_EQ(a.registry->LockAcquire("TranLauV   ", "F", "", ""), 0);
  EXPECT_TRUE(std::filesystem::exists(LockFile("TranLauV")));
  EXPECT_EQ(b.registry->LockAcquire("TRANLAUV", "F", "", ""), -1);
  EXPECT_EQ(a.registry->LockRelease("  tranlauv "), 0);
  EXPECT_EQ(b.registry->LockAcquire("TRANLAUV", "F", "", ""), 0);
}

TEST_F(LockRegistryTest, DamagedRecordsAreFreedAndNeverReadPastTheEnd) {
  std::filesystem::create_directories(root / "LOCKS");
  // A garbled record, then a record cut short at the end of the file.
  Spit(LockFile("X"), std::string(119, '#') + "\r\n" + std::string(50, '7'));
  a.registry->SetWaitMode('S');
  ASSERT_EQ(a.registry->LockAcquire("X", "F", "", ""), 0);
  auto records = Records(LockFile("X"));
  ASSERT_EQ(Slurp(LockFile("X")).size(), 2u * 121u);
  ASSERT_TRUE(records[0]);
  ASSERT_TRUE(records[1]);
  EXPECT_TRUE(records[0]->IsFree());
  EXPECT_EQ(records[1]->type, 'F');  // the later free place is taken
}

TEST_F(LockRegistryTest, WaitShowsTheMessageOnceAndClosesItWhenGranted) {
  ASSERT_EQ(b.registry->LockAcquire("X", "F", "", ""), 0);
  // Station B lets go while A is pausing for the third time.
  system.onPause = [&](int n) {
    // The lock file is not held during the pause, so other stations can go on.
    platform::File probe;
    EXPECT_EQ(probe.Open(a.registry->LockFilePath("X"), platform::File::Mode::kReadWrite, true), platform::OpenResult::kOk);
    probe.Close();
    if (n == 3) {
      ASSERT_EQ(b.registry->LockRelease("X"), 0);
    }
  };
  a.session.Language = "SPA";
  EXPECT_EQ(a.registry->LockAcquire("X", "F", "", ""), 0);
  EXPECT_EQ(a.ui.events, (std::vector<std::string>{"box 24 FICHERO BLOQUEADO. ESPERE UN MOMENTO.", "close"}));
  EXPECT_EQ(system.pauses, (std::vector<int>{1, 1001, 1})) << "the random pause runs from 1 to 1001 ms";
}

TEST_F(LockRegistryTest, ModePShowsTheEscapeTextAndEscapeGivesUp) {
  ASSERT_EQ(b.registry->LockAcquire("X", "F", "", ""), 0);
  a.session.Language = "   ";  // none of SPA, GLG, OCI: Catalan
  a.registry->SetWaitMode('p');
  a.ui.keys = {0, 'x', 0x1B};
  EXPECT_EQ(a.registry->LockAcquire("X", "F", "", ""), -1);
  EXPECT_EQ(a.ui.events.front(), "box 24 FITXER BLOQUEJAT. ESPEREU UN MOMENT O POLSEU [ESC] PER A EIXIR.");
  EXPECT_EQ(a.ui.events[1], "flush");
  EXPECT_EQ(a.ui.Count("readkey"), 3);
  EXPECT_EQ(a.ui.events.back(), "close");
  EXPECT_EQ(a.ui.openBoxes, 0);
  EXPECT_EQ(system.pauses.size(), 3u);
}

TEST_F(LockRegistryTest, MessagesInEveryLanguage) {
  ASSERT_EQ(b.registry->LockAcquire("X", "F", "", ""), 0);
  struct Case {
    const char* language;
    std::string expected;
  } cases[] = {
      {"SPA", "FICHERO BLOQUEADO. ESPERE UN MOMENTO O PULSE [ESC] PARA SALIR."},
      {"GLG", "FICHEIRO BLOQUEADO. ESPERE UM MOMENTO OU PULSE [ESC] PARA SAIR."},
      // Code page 850: E grave D4, A grave B7.
      {"OCI", "FICH\xD4R BLOQUEJAT. ESPERATZ UN MOMENT O POSSATZ [ESC] ENT\xB7 G\xD4SSER."},
      {"CAT", "FITXER BLOQUEJAT. ESPEREU UN MOMENT O POLSEU [ESC] PER A EIXIR."},
  };
  for (const Case& c : cases) {
    a.session.Language = c.language;
    a.ui.events.clear();
    a.registry->SetWaitMode('P');
    a.ui.keys = {0x1B};
    EXPECT_EQ(a.registry->LockAcquire("X", "F", "", ""), -1);
    ASSERT_FALSE(a.ui.events.empty());
    EXPECT_EQ(a.ui.events.front(), "box 24 " + c.expected) << c.language;
  }
}

TEST_F(LockRegistryTest, MissingLocksDirectoryIsCreated) {
  a.registry->SetWaitMode('S');
  ASSERT_FALSE(std::filesystem::exists(root / "LOCKS"));
  EXPECT_EQ(a.registry->LockAcquire("X", "F", "", ""), 0);
  EXPECT_TRUE(std::filesystem::is_directory(root / "LOCKS"));
}

TEST_F(LockRegistryTest, UnopenableLockFileIsReportedAndRefused) {
  // The installation root does not exist, so LOCKS cannot be made either.
  a.session.RootDir = root.SystemDir() + "missing\\";
  EXPECT_EQ(a.registry->LockAcquire("X", "F", "", ""), -1);
  ASSERT_EQ(a.ui.events.size(), 5u);
  // The path in the host's form, "/" only.
  EXPECT_EQ(a.ui.events[0], "box 12 NO ES POT ACCEDIR AL FITXER " + root / "missing/LOCKS/X.lck");
  EXPECT_EQ(a.ui.events[1], "beep");
  EXPECT_EQ(a.ui.events[3], "getkey");
  EXPECT_EQ(a.ui.events[4], "close");
  EXPECT_EQ(a.registry->LockRelease("X"), -1);
  EXPECT_TRUE(system.pauses.empty());
}

TEST_F(LockRegistryTest, LockFileHeldByAnotherProgramIsWaitedFor) {
  a.registry->SetWaitMode('S');
  std::filesystem::create_directories(root / "LOCKS");
  auto holder = std::make_unique<platform::File>();
  ASSERT_EQ(holder->Open(a.registry->LockFilePath("X"), platform::File::Mode::kReadWrite, true), platform::OpenResult::kOk);
  system.onPause = [&](int n) {
    if (n == 2) holder.reset();
  };
  EXPECT_EQ(a.registry->LockAcquire("X", "F", "", ""), 0);
  EXPECT_EQ(system.pauses, (std::vector<int>{1, 3000})) << "the random pause runs from 1 to 3000 ms";
  EXPECT_TRUE(a.ui.events.empty());
}

// A run killed on one card left its entry; the next run of the same station, in the same
// minute, takes another card whose entry lands before the old one in the file. Leaving it
// frees the entry it took, not the leftover. Starting up with a claim on the station frees the
// leftovers, and a second run on a claimed station is refused.
TEST_F(LockRegistryTest, ARunFreesItsOwnEntriesAndTheNextRunTheLeftovers) {
  a.registry->SetWaitMode('S');
  b.registry->SetWaitMode('S');
  ASSERT_EQ(b.registry->LockAcquire("X", "K", "90", "90"), 0);  // offset 0
  ASSERT_EQ(a.registry->LockAcquire("X", "K", "10", "10"), 0);  // offset 121, then killed
  ASSERT_EQ(b.registry->LockRelease("X"), 0);                   // offset 0 is free again
  Station again{root, "a", system};                             // the same station, run again
  again.registry->SetWaitMode('S');
  ASSERT_EQ(again.registry->LockAcquire("X", "K", "20", "20"), 0);
  ASSERT_EQ(Records(LockFile("X"))[0]->lowerKey, "20");
  EXPECT_EQ(again.registry->LockRelease("X"), 0);
  auto records = Records(LockFile("X"));
  ASSERT_EQ(records.size(), 2u);
  EXPECT_TRUE(records[0]->IsFree()) << "the card just left is free";
  EXPECT_EQ(records[1]->lowerKey, "10");
  EXPECT_EQ(again.registry->LockRelease("X"), -1) << "the leftover is not this run's to free";

  // Started up properly, the station claims itself and frees what its earlier run left.
  Station third{root, "a", system};
  EXPECT_TRUE(third.registry->ClaimStation());
  records = Records(LockFile("X"));
  EXPECT_TRUE(records[1]->IsFree()) << "the leftover of the killed run is freed at start-up";
  Station fourth{root, "a", system};
  EXPECT_FALSE(fourth.registry->ClaimStation()) << "one run per station at a time";
  third.registry.reset();
  EXPECT_TRUE(fourth.registry->ClaimStation());
  // Another station's entries are never touched by a claim.
  ASSERT_EQ(b.registry->LockAcquire("X", "K", "30", "30"), 0);
  Station fifth{root, "a", system};
  fourth.registry.reset();
  EXPECT_TRUE(fifth.registry->ClaimStation());
  EXPECT_EQ(a.registry->LockAcquire("X", "K", "30", "30"), -1);
}

}  // namespace
