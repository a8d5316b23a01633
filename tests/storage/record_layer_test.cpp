#include "storage/record_layer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include "storage/access_log.h"
#include "storage/fakes.h"
#include "storage/record_files.h"
#include "support/temp_dir.h"
#include "support/test_store.h"

namespace {

using storage::RecordLayer;
using storage::SplitRecordFileName;
using storage::Status;
using namespace storage_test;

std::string Slurp(const std::string& hostPath) {
  std::ifstream in(hostPath, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(SplitRecordFileNameTest, DirectoryBaseAndExtension) {
  struct Case {
    const char* name;
    const char* directory;
    const char* base;
    const char* extension;
  } cases[] = {
      {"DADES\\FinquesV", "DADES\\", "FinquesV", ".dat"},
      {"a.b.c", "", "a", ".b.c"},
      {"DADES.OLD\\Finques", "DADES.OLD\\", "Finques", ".dat"},  // a dot in a directory
      {"dir.x/sub.y/file.ext", "dir.x/sub.y/", "file", ".ext"},
      {"C:name.d", "C:", "name", ".d"},
      {"name.", "", "name", "."},
      {"", "", "", ".dat"},
      {"DADES\\", "DADES\\", "", ".dat"},
  };
  for (const Case& c : cases) {
    auto p = SplitRecordFileName(c.name);
    EXPECT_EQ(p.directory, c.directory) << c.name;
    EXPECT_EQ(p.base, c.base) << c.name;
    EXPECT_EQ(p.extension, c.extension) << c.name;
    EXPECT_EQ(p.Full(), std::string(c.directory) + c.base + c.extension);
  }
}

class RecordLayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(root / "DADES");
    std::filesystem::create_directories(root / "ddf");
    WriteDescription(root / "ddf/Cases.xdf", TestFileBuffer(), "trailing bytes the length does not count");
    session.RootDir = root.SystemDir();
    session.Language = "CAT";
    layer = std::make_unique<RecordLayer>(manager, session, system, ui, [this](int status) { fatal.push_back(status); },
                                          root.SystemDir() + "db.log");
  }

  std::string Name(const std::string& relative) const { return root.SystemDir() + relative; }
  // Opens the test file under the handle and fills it with records of the given key-0 values.
  void OpenCases(storage::FileHandle handle = 508) { ASSERT_EQ(layer->RecOpen(handle, Name("DADES\\Cases"), area), 0); }
  void Insert(const std::string& record, storage::FileHandle handle = 508) {
    std::memcpy(area.data(), record.data(), record.size());
    ASSERT_EQ(layer->RecInsert(handle), 0) << record;
  }
  std::string Area() const { return std::string(area.data(), kRecordLength); }
  std::string Log() { return Slurp(root / "db.log"); }

  testing_support::TempDir root;
  session::Session session;
  testing_support::TestEngine engine;
  RecordingManager manager{engine};
  FakeSystem system;
  FakeUi ui;
  std::vector<int> fatal;
  std::unique_ptr<RecordLayer> layer;
  std::array<char, kRecordLength> area{};
};

TEST_F(RecordLayerTest, MissingFileIsCreatedFromItsDescriptionAndOpened) {
  ASSERT_EQ(layer->RecOpen(506, Name("DADES\\Cases"), area), 0);
  if (!testing_support::RecordFilesOnServer()) EXPECT_TRUE(std::filesystem::exists(root / "DADES/Cases.dat"));
  int keyLength = -1, recordLength = -1;
  layer->RecKeyInfo(506, 0, keyLength, recordLength);
  EXPECT_EQ(keyLength, 4);
  EXPECT_EQ(recordLength, kRecordLength);
  layer->RecKeyInfo(506, 1, keyLength, recordLength);
  EXPECT_EQ(keyLength, 4);
  layer->RecKeyInfo(506, 2, keyLength, recordLength);
  EXPECT_EQ(keyLength, 3);
  layer->RecKeyInfo(506, 3, keyLength, recordLength);
  EXPECT_EQ(keyLength, 0);
  EXPECT_EQ(recordLength, kRecordLength);
  layer->RecKeyInfo(999, 0, keyLength, recordLength);
  EXPECT_EQ(keyLength, 0);
  EXPECT_EQ(recordLength, 0);
  EXPECT_EQ(layer->CurrentKeyValue(506), std::string(4, '\0'));
  EXPECT_EQ(layer->CurrentKeyNumber(506), 0);
  EXPECT_EQ(layer->LockMode(506), 0);
  EXPECT_TRUE(ui.events.empty());
  EXPECT_TRUE(fatal.empty());
}

TEST_F(RecordLayerTest, NameFormsGiveTheirPaths) {
  if (testing_support::RecordFilesOnServer()) GTEST_SKIP() << "names looked up on this host's file system";
  std::filesystem::create_directories(root / "DADES.OLD");
  WriteDescription(root / "ddf/a.xdf", TestFileBuffer());
  WriteDescription(root / "ddf/Fin.xdf", TestFileBuffer());
  ASSERT_EQ(layer->RecOpen(1, Name("DADES\\a.b.c"), area), 0);
  EXPECT_TRUE(std::filesystem::exists(root / "DADES/a.b.c"));
  ASSERT_EQ(layer->RecOpen(2, Name("DADES.OLD\\Fin"), area), 0);
  EXPECT_TRUE(std::filesystem::exists(root / "DADES.OLD/Fin.dat"));
  // An existing file is found in any case of its name.
  ASSERT_EQ(layer->RecOpen(3, Name("DADES\\Cases"), area), 0);
  ASSERT_EQ(layer->RecOpen(4, Name("dades\\CASES"), area), 0);
  // ... rather than a second file being made.
  EXPECT_FALSE(std::filesystem::exists(root / "DADES/CASES.dat"));
  EXPECT_FALSE(std::filesystem::exists(root / "dades"));
}

TEST_F(RecordLayerTest, FortyFirstOpenAndRepeatedHandleAreRefusedQuietly) {
  for (int h = 1; h <= RecordLayer::kSlotCount; ++h) ASSERT_EQ(layer->RecOpen(h, Name("DADES\\Cases"), area), 0) << h;
  EXPECT_EQ(layer->RecOpen(41, Name("DADES\\Cases"), area), storage::kStatusNoFreeSlot);
  EXPECT_EQ(layer->RecOpen(7, Name("DADES\\Cases"), area), storage::kStatusHandleInUse);
  EXPECT_EQ(layer->RecOpen(0, Name("DADES\\Cases"), area), storage::kStatusFileNotOpen);
  EXPECT_TRUE(ui.events.empty());
  EXPECT_TRUE(fatal.empty());
  // Reset frees every slot.
  ASSERT_EQ(layer->RecResetAll(), 0);
  EXPECT_EQ(layer->RecSkip(7, 1), storage::kStatusFileNotOpen);
  EXPECT_EQ(layer->RecOpen(41, Name("DADES\\Cases"), area), 0);
}

TEST_F(RecordLayerTest, UnopenableFileShowsTheMessageAndEndsThroughTheHandler) {
  OpenCases(506);
  EXPECT_EQ(layer->RecOpen(507, Name("DADES\\Nope"), area), storage::kStatusFileNotFound);
  EXPECT_EQ(ui.events, (std::vector<std::string>{"box 12 NO ES POT ACCEDIR AL FITXER " + root / "DADES/Nope (12)",
                                                 "beep", "flush", "getkey", "close"}));
  EXPECT_EQ(fatal, std::vector<int>{storage::kFatalOpenExitStatus});
  EXPECT_NE(storage::kFatalOpenExitStatus, 0);
  // Every file was closed on the way out.
  EXPECT_EQ(layer->RecSkip(506, 1), storage::kStatusFileNotOpen);
}

TEST_F(RecordLayerTest, FailureMessageInEveryLanguage) {
  struct Case {
    const char* language;
    std::string prefix;
  } cases[] = {
      {"SPA", "NO SE PUEDE ACCEDER AL FICHERO "},
      {"GLG", "NOM SE PODE ACEDER AO FICHEIRO "},
      {"OCI", "NON SE P\xE3T ACCEDIR ATH FICH\xD4R "},  // code page 850: O grave E3, E grave D4
      {"XYZ", "NO ES POT ACCEDIR AL FITXER "},
  };
  for (const Case& c : cases) {
    session.Language = c.language;
    ui.events.clear();
    layer->RecOpen(9, "Missing", area);
    ASSERT_FALSE(ui.events.empty());
    EXPECT_EQ(ui.events[0], "box 12 " + c.prefix + "Missing (12)") << c.language;
  }
}

TEST_F(RecordLayerTest, PathLongerThanTheKeyBufferIsRefused) {
  const std::string name = Name(std::string(300, 'x'));
  EXPECT_EQ(layer->RecOpen(5, name, area), storage::kStatusInvalidFileName);
  ASSERT_FALSE(ui.events.empty());
  EXPECT_EQ(ui.events[0], "box 12 NO ES POT ACCEDIR AL FITXER " + root / std::string(300, 'x') + " (11)");
  EXPECT_TRUE(manager.ops.empty() || manager.ops == std::vector<std::uint16_t>{recman::kOpReset});
}

TEST_F(RecordLayerTest, DescriptionShorterThanItsLengthIsAFailure) {
  std::string buffer = TestFileBuffer();
  std::string bytes(2, '\0');
  Put16(bytes, 0, static_cast<std::uint16_t>(buffer.size()));
  std::ofstream(root / "ddf/Short.xdf", std::ios::binary) << bytes << buffer.substr(0, buffer.size() - 1);
  EXPECT_NE(layer->RecOpen(5, Name("DADES\\Short"), area), 0);
  EXPECT_EQ(fatal.size(), 1u);
  EXPECT_FALSE(std::filesystem::exists(root / "DADES/Short.dat"));
}

TEST_F(RecordLayerTest, BadDescriptionShowsTheCreateStatus) {
  // A key that reaches past the record: Create refuses it.
  WriteDescription(root / "ddf/Bad.xdf", CreateBuffer(10, 1, {{8, 4, 0}}));
  Status status = layer->RecOpen(5, Name("DADES\\Bad"), area);
  EXPECT_NE(status, 0);
  EXPECT_NE(status, storage::kStatusFileNotFound);
  ASSERT_FALSE(ui.events.empty());
  EXPECT_EQ(ui.events[0], "box 12 NO ES POT ACCEDIR AL FITXER " + root / "DADES/Bad (" + std::to_string(status) + ")");
}

TEST_F(RecordLayerTest, RecordLongerThanTheAreaIsRefusedAtOpen) {
  std::array<char, kRecordLength - 1> small{};
  EXPECT_EQ(layer->RecOpen(5, Name("DADES\\Cases"), small), storage::kStatusBufferTooShort);
  EXPECT_EQ(fatal.size(), 1u);
  ASSERT_FALSE(ui.events.empty());
  EXPECT_EQ(ui.events[0], "box 12 NO ES POT ACCEDIR AL FITXER " + root / "DADES/Cases (22)");
  // The file had been opened, so it was closed again.
  EXPECT_EQ(std::count(manager.ops.begin(), manager.ops.end(), recman::kOpClose), 1);
  // A larger area is fine; reads never write past the record length.
  std::array<char, kRecordLength + 4> large;
  large.fill('#');
  ASSERT_EQ(layer->RecOpen(6, Name("DADES\\Cases"), large), 0);
  std::memcpy(large.data(), Record("KEY1").data(), kRecordLength);
  ASSERT_EQ(layer->RecInsert(6), 0);
  ASSERT_EQ(layer->RecFind(6, 0, "KEY1", 0), 0);
  EXPECT_EQ(std::string(large.data() + kRecordLength, 4), "####");
}

TEST_F(RecordLayerTest, FileLockedAtOpenIsWaitedFor) {
  int refusals = 2;
  manager.intercept = [&](std::uint16_t op) -> std::optional<std::int16_t> {
    if (op == recman::kOpOpen && refusals > 0) {
      --refusals;
      return storage::kStatusFileLocked;
    }
    return std::nullopt;
  };
  EXPECT_EQ(layer->RecOpen(5, Name("DADES\\Cases"), area), 0);
  EXPECT_EQ(system.pauses, (std::vector<int>{3000, 3000}));
  EXPECT_TRUE(ui.events.empty());
}

TEST_F(RecordLayerTest, EveryOperationOnAClosedHandleAnswersFileNotOpen) {
  EXPECT_EQ(layer->RecFind(1, 0, "x", 0), 3);
  EXPECT_EQ(layer->RecSkip(1, 1), 3);
  EXPECT_EQ(layer->RecSkip(1, 0), 3);
  EXPECT_EQ(layer->RecInsert(1), 3);
  EXPECT_EQ(layer->RecUpdate(1), 3);
  EXPECT_EQ(layer->RecDelete(1), 3);
  EXPECT_EQ(layer->RecLockMode(1, "A"), 3);
  EXPECT_EQ(layer->RecPosition(1, 0), 0);
  EXPECT_EQ(layer->RecPosition(1, 1234), 3);
  EXPECT_FALSE(layer->RecProbe(1, 1, ""));
  EXPECT_EQ(layer->KeyCompareForm(std::string("\x01\x00", 2), 1), std::string("\x01\x00", 2));
  EXPECT_EQ(layer->CurrentKeyCompareForm(1), "");
  EXPECT_FALSE(layer->CurrentKeyValue(1));
  EXPECT_TRUE(manager.ops.empty());  // none of them reached the record manager
  EXPECT_FALSE(std::filesystem::exists(root / "db.log"));
}

class FilledTest : public RecordLayerTest {
 protected:
  void SetUp() override {
    RecordLayerTest::SetUp();
    OpenCases();
    for (const char* key : {"AAAA", "BBBB", "CCCC", "DDDD", "EEEE"}) Insert(Record(key, static_cast<std::uint16_t>(key[0])));
  }
};

TEST_F(FilledTest, FindByDirection) {
  struct Case {
    std::string key;
    int direction;
    Status status;
    std::string found;
  } cases[] = {
      {"CCCC", 0, 0, "CCCC"},
      {"CC", 0, 4, ""},      // padded with NUL bytes: no such key
      {"CC", 1, 0, "CCCC"},  // greater or equal
      {"CD", 1, 0, "DDDD"},
      {"CD", -1, 0, "CCCC"},  // less or equal
      {"CCCCXX", 0, 0, "CCCC"},  // cut to the key length
      {"ZZZZ", 1, 9, ""},
  };
  for (const Case& c : cases) {
    Status status = layer->RecFind(508, 0, c.key, c.direction);
    EXPECT_EQ(status, c.status) << c.key << " " << c.direction;
    if (c.status == 0) {
      EXPECT_EQ(Area().substr(0, 4), c.found) << c.key;
      EXPECT_EQ(layer->CurrentKeyValue(508), c.found);
    }
  }
}

TEST_F(FilledTest, FindOnAKeyNumberPastTheLastIsRefused) {
  ASSERT_EQ(layer->RecFind(508, 0, "BBBB", 0), 0);
  const std::string before = Area();
  manager.ops.clear();
  EXPECT_EQ(layer->RecFind(508, 3, "BBBB", 0), storage::kStatusNoSuchKey);
  EXPECT_EQ(layer->RecFind(508, -1, "BBBB", 0), storage::kStatusNoSuchKey);
  EXPECT_EQ(layer->CurrentKeyNumber(508), 0);
  EXPECT_EQ(layer->CurrentKeyValue(508), "BBBB");
  EXPECT_EQ(Area(), before);
  EXPECT_TRUE(manager.ops.empty());
}

TEST_F(FilledTest, SkipCounts) {
  ASSERT_EQ(layer->RecFind(508, 0, "AAAA", 0), 0);
  EXPECT_EQ(layer->RecSkip(508, 0), 0);
  EXPECT_EQ(Area().substr(0, 4), "AAAA");
  EXPECT_EQ(layer->RecSkip(508, 3), 0);
  EXPECT_EQ(Area().substr(0, 4), "DDDD");
  EXPECT_EQ(layer->CurrentKeyValue(508), "DDDD");
  EXPECT_EQ(layer->RecSkip(508, -2), 0);
  EXPECT_EQ(Area().substr(0, 4), "BBBB");
  EXPECT_EQ(layer->RecSkip(508, -1), 0);
  EXPECT_EQ(Area().substr(0, 4), "AAAA");
  EXPECT_EQ(layer->RecSkip(508, -1), 9);
}

TEST_F(FilledTest, SkipWhoseMiddleMoveFailsKeepsTheOldRecord) {
  ASSERT_EQ(layer->RecFind(508, 0, "DDDD", 0), 0);
  // First move reaches EEEE, the second runs off the end.
  EXPECT_EQ(layer->RecSkip(508, 3), 9);
  EXPECT_EQ(Area().substr(0, 4), "DDDD");
  // Only the last move of a skip goes through the record area.
  ASSERT_EQ(layer->RecFind(508, 0, "AAAA", 0), 0);
  std::memcpy(area.data() + 12, "MARK", 4);  // not part of any stored record
  manager.ops.clear();
  ASSERT_EQ(layer->RecSkip(508, 2), 0);
  EXPECT_EQ(manager.ops, (std::vector<std::uint16_t>{6, 6}));
  EXPECT_EQ(Area(), Record("CCCC", 'C'));
}

TEST_F(FilledTest, BinaryKeyValuesKeepTheirZeroBytes) {
  // Key 1 starts with a 2-byte binary number: 256 is stored as 00 01.
  std::string found(std::string("\x00\x01", 2) + "zz");
  Insert(Record("FFFF", 256));
  ASSERT_EQ(layer->RecFind(508, 1, found, 0), 0);
  EXPECT_EQ(Area().substr(0, 4), "FFFF");
  EXPECT_EQ(layer->CurrentKeyValue(508), found);
  ASSERT_EQ(layer->RecSkip(508, -1), 0);  // 'E' = 69
  ASSERT_EQ(layer->RecSkip(508, 1), 0);
  EXPECT_EQ(layer->CurrentKeyValue(508), found);
  EXPECT_EQ(layer->CurrentKeyCompareForm(508), std::string("\x01\x00", 2) + "zz");
  // A skip of several moves keeps the whole key too.
  ASSERT_EQ(layer->RecSkip(508, -2), 0);
  ASSERT_EQ(layer->RecSkip(508, 2), 0);
  EXPECT_EQ(layer->CurrentKeyValue(508), found);
}

TEST_F(FilledTest, PositionReadsBack) {
  ASSERT_EQ(layer->RecFind(508, 0, "BBBB", 0), 0);
  const std::int32_t b = layer->RecPosition(508, 0);
  EXPECT_NE(b, 0);
  ASSERT_EQ(layer->RecFind(508, 0, "DDDD", 0), 0);
  EXPECT_NE(layer->RecPosition(508, 0), b);
  EXPECT_EQ(layer->RecPosition(508, b), 0);
  EXPECT_EQ(Area().substr(0, 4), "BBBB");
  EXPECT_EQ(layer->CurrentKeyValue(508), "BBBB");
  ASSERT_EQ(layer->RecSkip(508, 1), 0);
  EXPECT_EQ(Area().substr(0, 4), "CCCC");
}

TEST_F(FilledTest, FailedInsertIsLoggedAndClearsTheKey) {
  std::remove((root / "db.log").c_str());
  std::memcpy(area.data(), Record("CCCC").data(), kRecordLength);
  EXPECT_EQ(layer->RecInsert(508), 5);  // duplicate key
  EXPECT_EQ(layer->CurrentKeyValue(508), std::string(4, '\0'));
  Insert(Record("GGGG"));
  EXPECT_EQ(Log(), storage::AccessLogLine(508, 2, 5) + storage::AccessLogLine(508, 2, 0));
}

TEST_F(FilledTest, UpdateWritesBackReloadsAndIsLogged) {
  std::remove((root / "db.log").c_str());
  ASSERT_EQ(layer->RecFind(508, 0, "BBBB", 0), 0);
  std::memcpy(area.data() + 8, "new", 3);
  ASSERT_EQ(layer->RecUpdate(508), 0);
  ASSERT_EQ(layer->RecFind(508, 0, "AAAA", 0), 0);
  ASSERT_EQ(layer->RecFind(508, 0, "BBBB", 0), 0);
  EXPECT_EQ(Area().substr(8, 3), "new");

  // A refused update reloads the stored record and leaves the current key as stored.
  std::memcpy(area.data(), "CCCC", 4);  // would duplicate key 0
  EXPECT_EQ(layer->RecUpdate(508), 5);
  EXPECT_EQ(Area().substr(0, 4), "BBBB");
  EXPECT_EQ(layer->CurrentKeyValue(508), "BBBB");
  EXPECT_EQ(Log(), storage::AccessLogLine(508, 3, 0) + storage::AccessLogLine(508, 3, 5));
}

TEST_F(FilledTest, UpdateAnswering22IsLoggedWith22AndReturnsSuccess) {
  std::remove((root / "db.log").c_str());
  manager.rewrite = [](std::uint16_t op, std::int16_t status) -> std::int16_t {
    return op == recman::kOpUpdate && status == 0 ? storage::kStatusBufferTooShort : status;
  };
  ASSERT_EQ(layer->RecFind(508, 0, "BBBB", 0), 0);
  EXPECT_EQ(layer->RecUpdate(508), 0);
  EXPECT_EQ(layer->CurrentKeyValue(508), "BBBB");
  EXPECT_EQ(Log(), storage::AccessLogLine(508, 3, 22));
}

TEST_F(FilledTest, DeleteIsNotLogged) {
  std::remove((root / "db.log").c_str());
  ASSERT_EQ(layer->RecFind(508, 0, "BBBB", 0), 0);
  ASSERT_EQ(layer->RecDelete(508), 0);
  EXPECT_EQ(layer->RecFind(508, 0, "BBBB", 0), 4);
  EXPECT_FALSE(std::filesystem::exists(root / "db.log"));
  // Deleting again, without a current record, fails and clears the key.
  EXPECT_NE(layer->RecDelete(508), 0);
  EXPECT_EQ(layer->CurrentKeyValue(508), std::string(4, '\0'));
}

TEST_F(FilledTest, ProbeLooksAheadWithoutMoving) {
  ASSERT_EQ(layer->RecFind(508, 0, "BBBB", 0), 0);
  const std::int32_t here = layer->RecPosition(508, 0);
  struct Case {
    int count;
    std::string limit;
    bool expected;
  } cases[] = {
      {1, "", true},     {1, "C", true},  {1, "B", false}, {3, "E", true}, {4, "Z", false},  // past the end
      {-1, "A", true},   {-1, "B", false}, {-2, "", false}, {0, "B", true}, {0, "A", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(layer->RecProbe(508, c.count, c.limit), c.expected) << c.count << " " << c.limit;
    EXPECT_EQ(layer->RecPosition(508, 0), here);
    EXPECT_EQ(Area().substr(0, 4), "BBBB");
    EXPECT_EQ(layer->CurrentKeyValue(508), "BBBB");
  }
  ASSERT_EQ(layer->RecSkip(508, 1), 0);
  EXPECT_EQ(Area().substr(0, 4), "CCCC");
}

TEST_F(FilledTest, ProbeRightAfterADeleteLeavesTheFileWhereItWas) {
  // Without a current record the probe cannot return to one; it takes its moves back instead,
  // so that the next move in the probe's direction finds what it would have found.
  ASSERT_EQ(layer->RecFind(508, 0, "BBBB", 0), 0);
  ASSERT_EQ(layer->RecDelete(508), 0);
  EXPECT_TRUE(layer->RecProbe(508, 1, ""));
  EXPECT_TRUE(layer->RecProbe(508, 2, ""));
  EXPECT_FALSE(layer->RecProbe(508, 9, ""));  // stopped at the end after some moves
  ASSERT_EQ(layer->RecSkip(508, 1), 0);
  EXPECT_EQ(Area().substr(0, 4), "CCCC");

  ASSERT_EQ(layer->RecFind(508, 0, "DDDD", 0), 0);
  ASSERT_EQ(layer->RecDelete(508), 0);
  EXPECT_TRUE(layer->RecProbe(508, -2, ""));
  ASSERT_EQ(layer->RecSkip(508, -1), 0);
  EXPECT_EQ(Area().substr(0, 4), "CCCC");
}

TEST_F(FilledTest, ProbeAtTheLastRecord) {
  ASSERT_EQ(layer->RecFind(508, 0, "EEEE", 0), 0);
  EXPECT_FALSE(layer->RecProbe(508, 1, ""));
  EXPECT_EQ(Area().substr(0, 4), "EEEE");
  ASSERT_EQ(layer->RecSkip(508, -1), 0);
  EXPECT_EQ(Area().substr(0, 4), "DDDD");
}

TEST_F(FilledTest, CompareFormsOfBinaryAndCollatedSegments) {
  ASSERT_EQ(layer->RecFind(508, 0, "AAAA", 0), 0);
  EXPECT_EQ(layer->KeyCompareForm("ab", 508), "ab");  // key 0 is plain text
  ASSERT_EQ(layer->RecFind(508, 1, std::string("\x41\x00", 2) + "zz", 0), 0);
  struct Case {
    std::string key;
    std::string form;
  } cases[] = {
      {std::string("\x01\x00\x41\x42", 4), std::string("\x00\x01\x41\x42", 4)},
      {std::string("\x01", 1), std::string("\x00\x01", 2)},  // padded to cover the segment
      {"", std::string("\x00\x00", 2)},
  };
  for (const Case& c : cases) EXPECT_EQ(layer->KeyCompareForm(c.key, 508), c.form);
  // Key 2 folds through its collating table; bytes beyond the text are not added.
  ASSERT_EQ(layer->RecFind(508, 2, "ABC", 0), 0);
  EXPECT_EQ(layer->KeyCompareForm("aBz", 508), "ABZ");
  EXPECT_EQ(layer->KeyCompareForm("a", 508), "A");
  EXPECT_EQ(layer->CurrentKeyCompareForm(508), "ABC");
}

TEST_F(FilledTest, LockModeLettersAndStack) {
  struct Step {
    const char* letters;
    int mode;
  } steps[] = {
      {"a", 1}, {"+B", 2}, {"+d", 0}, {"-", 2}, {"-", 1}, {"-", 1},  // nothing left to restore
      {"x?B", 2}, {"A+D-", 1},
  };
  for (const Step& s : steps) {
    EXPECT_EQ(layer->RecLockMode(508, s.letters), 0);
    EXPECT_EQ(layer->LockMode(508), s.mode) << s.letters;
  }
  // The stack is shared, but "-" restores only this file's own entries.
  ASSERT_EQ(layer->RecOpen(507, Name("DADES\\Cases"), area), 0);
  layer->RecLockMode(508, "B+");
  layer->RecLockMode(507, "A+");
  layer->RecLockMode(508, "D");
  layer->RecLockMode(507, "D");
  layer->RecLockMode(508, "-");
  EXPECT_EQ(layer->LockMode(508), 2);
  EXPECT_EQ(layer->LockMode(507), 0);
  layer->RecLockMode(507, "-");
  EXPECT_EQ(layer->LockMode(507), 1);
}

TEST_F(FilledTest, LockBiasOnlyOnReadsThroughTheExecutor) {
  layer->RecLockMode(508, "A");
  manager.ops.clear();
  ASSERT_EQ(layer->RecFind(508, 0, "AAAA", 0), 0);
  ASSERT_EQ(layer->RecFind(508, 0, "B", 1), 0);
  ASSERT_EQ(layer->RecFind(508, 0, "D", -1), 0);
  ASSERT_EQ(layer->RecSkip(508, -2), 0);
  const std::int32_t here = layer->RecPosition(508, 0);
  ASSERT_EQ(layer->RecPosition(508, here), 0);
  layer->RecProbe(508, 1, "");
  std::memcpy(area.data(), Record("QQQQ").data(), kRecordLength);
  ASSERT_EQ(layer->RecInsert(508), 0);
  EXPECT_EQ(manager.ops, (std::vector<std::uint16_t>{205, 209, 211, 7, 207, 22, 23, 22, 6, 23, 2}));
}

TEST_F(FilledTest, LockedRecordWaitsWithOneMessage) {
  layer->RecLockMode(508, "A");
  int refusals = 3;
  manager.intercept = [&](std::uint16_t op) -> std::optional<std::int16_t> {
    if (op == 205 && refusals > 0) {
      --refusals;
      return refusals == 1 ? storage::kStatusFileLocked : storage::kStatusRecordLocked;
    }
    return std::nullopt;
  };
  session.Language = "OCI";
  ASSERT_EQ(layer->RecFind(508, 0, "CCCC", 0), 0);
  EXPECT_EQ(Area().substr(0, 4), "CCCC");
  EXPECT_EQ(ui.events, (std::vector<std::string>{"box 24 FICH\xD4R BLOQUEJAT. ESPERATZ UN MOMENT.", "close"}));
  EXPECT_EQ(system.pauses, (std::vector<int>{1, 10001, 1})) << "the random pause runs from 1 to 10001 ms";
}

TEST_F(FilledTest, LockModeTwoPassesTheLockStatusAtOnce) {
  layer->RecLockMode(508, "B");
  manager.intercept = [&](std::uint16_t op) -> std::optional<std::int16_t> {
    if (op == 205) return storage::kStatusRecordLocked;
    return std::nullopt;
  };
  EXPECT_EQ(layer->RecFind(508, 0, "CCCC", 0), storage::kStatusRecordLocked);
  EXPECT_TRUE(ui.events.empty());
  EXPECT_TRUE(system.pauses.empty());
}

TEST_F(FilledTest, ResetEmptiesTheTable) {
  ASSERT_EQ(layer->RecResetAll(), 0);
  EXPECT_EQ(layer->RecFind(508, 0, "AAAA", 0), 3);
  OpenCases();
  EXPECT_EQ(layer->RecFind(508, 0, "AAAA", 0), 0);
}

}  // namespace
