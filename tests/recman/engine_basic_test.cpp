// The plain operations: create, open, insert, the Gets, update, delete, stat, positions.
#include <gtest/gtest.h>

#include "recman/engine.h"
#include "recman/status.h"
#include "support/temp_dir.h"
#include "recman_test_util.h"

namespace {

using namespace recman;
using recman_test::Client;
using recman_test::TestEngine;
using recman_test::CreateBuffer;
using recman_test::Rec;
using recman_test::Seg;

constexpr std::uint16_t kLen = 20;

// Key 0: bytes 1-4, unique, modifiable. Key 1: bytes 5-8, duplicates, modifiable.
std::string TwoKeys() {
  return CreateBuffer(kLen, {{{1, 4, kKeyModifiable}}, {{5, 4, kKeyDuplicates | kKeyModifiable}}});
}

std::string R(const std::string& k0, const std::string& k1, const std::string& rest = "") {
  return Rec(k0 + k1 + rest, kLen);
}

class EngineBasic : public ::testing::Test {
 protected:
  void SetUp() override {
    path = dir / "file.dat";
    ASSERT_EQ(0, client.Create(path, TwoKeys()));
    ASSERT_EQ(0, client.Open(path));
  }
  // Inserts records keyed k0 with key 1 value k1.
  void Fill(std::initializer_list<std::pair<const char*, const char*>> rows) {
    for (auto [k0, k1] : rows) ASSERT_EQ(0, client.Insert(R(k0, k1))) << k0;
  }
  std::string Key0() { return client.lastRecord.substr(0, 4); }

  testing_support::TempDir dir;
  std::string path;
  TestEngine engine;
  Client client{engine};
};

TEST_F(EngineBasic, GetsWalkKeyZeroInOrder) {
  Fill({{"CCCC", "x"}, {"AAAA", "y"}, {"BBBB", "z"}});
  EXPECT_EQ(0, client.Get(kOpGetFirst));
  EXPECT_EQ("AAAA", Key0());
  EXPECT_EQ("AAAA", client.lastKey.substr(0, 4));
  EXPECT_EQ(0, client.Get(kOpGetNext));
  EXPECT_EQ("BBBB", Key0());
  EXPECT_EQ(0, client.Get(kOpGetNext));
  EXPECT_EQ("CCCC", Key0());
  EXPECT_EQ(kStatusEndOfFile, client.Get(kOpGetNext));
  // After the end the position stays on the last record.
  EXPECT_EQ(0, client.Get(kOpGetPrevious));
  EXPECT_EQ("BBBB", Key0());
  EXPECT_EQ(0, client.Get(kOpGetLast));
  EXPECT_EQ("CCCC", Key0());
  EXPECT_EQ(0, client.Get(kOpGetPrevious));
  EXPECT_EQ(0, client.Get(kOpGetPrevious));
  EXPECT_EQ("AAAA", Key0());
  EXPECT_EQ(kStatusEndOfFile, client.Get(kOpGetPrevious));
}

// The record layer's skips pass an empty key buffer with key length 0 to Get Next and read the
// whole key back from it.
TEST_F(EngineBasic, NextTakesNoKeyAndReturnsTheWholeKey) {
  Fill({{"AAAA", "1"}, {"BBBB", "2"}});
  ASSERT_EQ(0, client.Get(kOpGetFirst, 1));
  std::string data(64, '\0'), key(256, '\0');
  std::uint32_t len = 64;
  ASSERT_EQ(0, engine.BTRCALL(kOpGetNext, client.pos(), data.data(), &len, key.data(), 0, 1));
  EXPECT_EQ("2   ", key.substr(0, 4));
  EXPECT_EQ(R("BBBB", "2"), data.substr(0, len));
}

TEST_F(EngineBasic, SeeksByKeyValue) {
  Fill({{"BBBB", "1"}, {"DDDD", "2"}, {"FFFF", "3"}});
  struct Row {
    std::uint16_t op;
    const char* key;
    std::int16_t status;
    const char* found;
  };
  const Row rows[] = {
      {kOpGetEqual, "DDDD", 0, "DDDD"},     {kOpGetEqual, "CCCC", kStatusKeyNotFound, ""},
      {kOpGetGreaterOrEqual, "CCCC", 0, "DDDD"}, {kOpGetGreaterOrEqual, "DDDD", 0, "DDDD"},
      {kOpGetGreater, "DDDD", 0, "FFFF"},   {kOpGetGreater, "FFFF", kStatusEndOfFile, ""},
      {kOpGetLessOrEqual, "EEEE", 0, "DDDD"}, {kOpGetLessOrEqual, "DDDD", 0, "DDDD"},
      {kOpGetLess, "DDDD", 0, "BBBB"},      {kOpGetLess, "BBBB", kStatusEndOfFile, ""},
      {kOpGetGreaterOrEqual, "GGGG", kStatusEndOfFile, ""}, {kOpGetLessOrEqual, "AAAA", kStatusEndOfFile, ""},
  };
  for (const Row& row : rows) {
    std::int16_t s = client.Get(row.op, 0, row.key);
    EXPECT_EQ(row.status, s) << row.op << " " << row.key;
    if (s == 0) {
      EXPECT_EQ(row.found, Key0()) << row.op << " " << row.key;
      EXPECT_EQ(row.found, client.lastKey.substr(0, 4));
    }
  }
}

TEST_F(EngineBasic, NextWithoutGetOrOnAnotherKey) {
  Fill({{"AAAA", "1"}, {"BBBB", "2"}});
  // Insert sets the logical position on its key.
  EXPECT_EQ(0, client.Get(kOpGetPrevious));
  EXPECT_EQ("AAAA", Key0());
  ASSERT_EQ(0, client.Close());
  ASSERT_EQ(0, client.Open(path));
  EXPECT_EQ(kStatusInvalidPositioning, client.Get(kOpGetNext));
  EXPECT_EQ(0, client.Get(kOpGetFirst, 0));
  EXPECT_EQ(kStatusDifferentKeyNumber, client.Get(kOpGetNext, 1));
  EXPECT_EQ(kStatusInvalidKeyNumber, client.Get(kOpGetFirst, 2));
  std::string data(64, '\0'), key = "AAAA";
  std::uint32_t len = 64;
  EXPECT_EQ(kStatusKeyBufferTooShort, engine.BTRCALL(kOpGetEqual, client.pos(), data.data(), &len, key.data(), 3, 0));
}

TEST_F(EngineBasic, DuplicatesComeInInsertionOrder) {
  Fill({{"A001", "KEY1"}, {"A002", "KEY0"}, {"A003", "KEY1"}, {"A004", "KEY1"}, {"A005", "KEY2"}});
  std::vector<std::string> order;
  for (std::int16_t s = client.Get(kOpGetFirst, 1); s == 0; s = client.Get(kOpGetNext, 1)) order.push_back(Key0());
  EXPECT_EQ((std::vector<std::string>{"A002", "A001", "A003", "A004", "A005"}), order);
  EXPECT_EQ(0, client.Get(kOpGetEqual, 1, "KEY1"));
  EXPECT_EQ("A001", Key0());
  EXPECT_EQ(0, client.Get(kOpGetGreater, 1, "KEY0"));
  EXPECT_EQ("A001", Key0());
  EXPECT_EQ(0, client.Get(kOpGetLess, 1, "KEY2"));
  EXPECT_EQ("A004", Key0());
  // Less or Equal on a value that is there gives its first duplicate, as Get Equal does.
  EXPECT_EQ(0, client.Get(kOpGetLessOrEqual, 1, "KEY1"));
  EXPECT_EQ("A001", Key0());
  EXPECT_EQ(0, client.Get(kOpGetPrevious, 1));
  EXPECT_EQ("A002", Key0());
  // Moving a record onto a value puts it after the others of that value.
  EXPECT_EQ(0, client.Get(kOpGetEqual, 0, "A002"));
  EXPECT_EQ(0, client.Update(R("A002", "KEY1"), 1));
  order.clear();
  for (std::int16_t s = client.Get(kOpGetFirst, 1); s == 0; s = client.Get(kOpGetNext, 1)) order.push_back(Key0());
  EXPECT_EQ((std::vector<std::string>{"A001", "A003", "A004", "A002", "A005"}), order);
}

TEST_F(EngineBasic, UniqueKeyRefusesSecondValue) {
  Fill({{"AAAA", "1"}});
  EXPECT_EQ(kStatusDuplicateKey, client.Insert(R("AAAA", "2")));
  Fill({{"BBBB", "1"}});
  EXPECT_EQ(0, client.Get(kOpGetEqual, 0, "BBBB"));
  EXPECT_EQ(kStatusDuplicateKey, client.Update(R("AAAA", "1")));
  // Nothing of the refused calls stayed behind.
  std::string stat;
  ASSERT_EQ(0, client.Stat(stat));
  EXPECT_EQ(2, static_cast<std::uint8_t>(stat[6]));
  EXPECT_EQ(0, client.Get(kOpGetEqual, 0, "BBBB"));
}

TEST_F(EngineBasic, UpdateMovesThePositionWithAChangedKey) {
  Fill({{"AAAA", "1"}, {"CCCC", "2"}, {"EEEE", "3"}});
  ASSERT_EQ(0, client.Get(kOpGetEqual, 0, "AAAA"));
  ASSERT_EQ(0, client.Update(R("DDDD", "1", "changed")));
  EXPECT_EQ("DDDD", client.lastKey.substr(0, 4));
  EXPECT_EQ(0, client.Get(kOpGetNext));
  EXPECT_EQ("EEEE", Key0());
  EXPECT_EQ(0, client.Get(kOpGetPrevious));
  EXPECT_EQ(0, client.Get(kOpGetPrevious));
  EXPECT_EQ("CCCC", Key0());
  EXPECT_EQ(0, client.Get(kOpGetEqual, 0, "DDDD"));
  EXPECT_EQ(R("DDDD", "1", "changed"), client.lastRecord);
}

TEST_F(EngineBasic, DeleteKeepsTheNeighbours) {
  Fill({{"AAAA", "1"}, {"BBBB", "2"}, {"CCCC", "3"}});
  ASSERT_EQ(0, client.Get(kOpGetEqual, 0, "BBBB"));
  ASSERT_EQ(0, client.Delete());
  EXPECT_EQ(kStatusInvalidPositioning, client.Delete());
  std::int16_t status = 0;
  client.Position(&status);
  EXPECT_EQ(kStatusInvalidPositioning, status);
  EXPECT_EQ(0, client.Get(kOpGetNext));
  EXPECT_EQ("CCCC", Key0());
  ASSERT_EQ(0, client.Get(kOpGetEqual, 0, "BBBB") == kStatusKeyNotFound ? 0 : 1);
  ASSERT_EQ(0, client.Get(kOpGetEqual, 0, "CCCC"));
  ASSERT_EQ(0, client.Delete());
  EXPECT_EQ(0, client.Get(kOpGetPrevious));
  EXPECT_EQ("AAAA", Key0());
}

TEST_F(EngineBasic, PhysicalPositionStaysForTheRecordsLife) {
  Fill({{"BBBB", "1"}, {"AAAA", "2"}});
  ASSERT_EQ(0, client.Get(kOpGetEqual, 0, "BBBB"));
  std::uint32_t addr = client.Position();
  ASSERT_NE(0u, addr);
  ASSERT_EQ(0, client.Update(R("ZZZZ", "1")));
  EXPECT_EQ(addr, client.Position());
  ASSERT_EQ(0, client.Get(kOpGetFirst));
  EXPECT_EQ(0, client.Direct(addr, 1));
  EXPECT_EQ(R("ZZZZ", "1"), client.lastRecord);
  EXPECT_EQ("1   ", client.lastKey.substr(0, 4));
  // Get Direct sets the logical position on the given key.
  EXPECT_EQ(0, client.Get(kOpGetNext, 1));
  EXPECT_EQ("AAAA", Key0());
  EXPECT_EQ(kStatusInvalidRecordAddress, client.Direct(addr + 100));
  ASSERT_EQ(0, client.Direct(addr));
  ASSERT_EQ(0, client.Delete());
  EXPECT_EQ(kStatusInvalidRecordAddress, client.Direct(addr));
  // An address is never handed out again.
  Fill({{"CCCC", "3"}});
  EXPECT_NE(addr, client.Position());
}

TEST_F(EngineBasic, StepsWalkThePhysicalOrder) {
  Fill({{"CCCC", "1"}, {"AAAA", "2"}, {"BBBB", "3"}});
  std::vector<std::string> order;
  for (std::int16_t s = client.Get(kOpStepFirst); s == 0; s = client.Get(kOpStepNext)) order.push_back(Key0());
  EXPECT_EQ((std::vector<std::string>{"CCCC", "AAAA", "BBBB"}), order);
  EXPECT_EQ(kStatusInvalidPositioning, client.Get(kOpGetNext));  // steps leave no logical position
  order.clear();
  for (std::int16_t s = client.Get(kOpStepLast); s == 0; s = client.Get(kOpStepPrevious)) order.push_back(Key0());
  EXPECT_EQ((std::vector<std::string>{"BBBB", "AAAA", "CCCC"}), order);
  EXPECT_EQ(kStatusEndOfFile, client.Get(kOpStepPrevious));
  // Delete keeps the physical position too.
  ASSERT_EQ(0, client.Get(kOpGetEqual, 0, "AAAA"));
  ASSERT_EQ(0, client.Delete());
  EXPECT_EQ(0, client.Get(kOpStepNext));
  EXPECT_EQ("BBBB", Key0());
  // A step makes its record current for Update.
  ASSERT_EQ(0, client.Get(kOpStepFirst));
  EXPECT_EQ(0, client.Update(R("CCCC", "9")));
  ASSERT_EQ(0, client.Get(kOpGetEqual, 0, "CCCC"));
  EXPECT_EQ(R("CCCC", "9"), client.lastRecord);
}

TEST_F(EngineBasic, InsertWithoutKeyKeepsTheLogicalPosition) {
  Fill({{"AAAA", "1"}, {"CCCC", "2"}});
  ASSERT_EQ(0, client.Get(kOpGetFirst));
  ASSERT_EQ(0, client.Insert(R("BBBB", "3"), -1));
  EXPECT_EQ(0, client.Get(kOpGetNext));
  EXPECT_EQ("BBBB", Key0());
  EXPECT_EQ(kStatusInvalidKeyNumber, client.Insert(R("DDDD", "3"), -2));
  EXPECT_EQ(kStatusInvalidKeyNumber, client.Insert(R("DDDD", "3"), 5));
}

TEST_F(EngineBasic, StatReturnsTheDescriptionWithCounts) {
  Fill({{"AAAA", "X"}, {"BBBB", "X"}, {"CCCC", "Y"}});
  std::string stat;
  ASSERT_EQ(0, client.Stat(stat));
  std::string expected = TwoKeys();
  ASSERT_EQ(expected.size(), stat.size());
  EXPECT_EQ(3, static_cast<std::uint8_t>(stat[6]));       // records
  EXPECT_EQ(3, static_cast<std::uint8_t>(stat[16 + 6]));  // distinct values of key 0
  EXPECT_EQ(2, static_cast<std::uint8_t>(stat[32 + 6]));  // distinct values of key 1
  for (std::size_t i : {6, 22, 38}) expected[i] = stat[i];
  EXPECT_EQ(expected, stat);
  EXPECT_EQ(kStatusDataBufferTooShort, client.Stat(stat, 40));
  ASSERT_EQ(0, client.Get(kOpGetEqual, 0, "BBBB"));
  ASSERT_EQ(0, client.Delete());
  ASSERT_EQ(0, client.Stat(stat));
  EXPECT_EQ(2, static_cast<std::uint8_t>(stat[6]));
  EXPECT_EQ(2, static_cast<std::uint8_t>(stat[32 + 6]));
}

TEST_F(EngineBasic, DataBufferLengths) {
  EXPECT_EQ(kStatusDataBufferTooShort, client.Insert(std::string(kLen - 1, 'A')));
  // A longer buffer stores the fixed length only.
  ASSERT_EQ(0, client.Insert(std::string(kLen + 5, 'B')));
  ASSERT_EQ(0, client.Get(kOpGetFirst));
  EXPECT_EQ(std::string(kLen, 'B'), client.lastRecord);
  // A short read buffer takes what fits, answers 22, and the position still moves.
  EXPECT_EQ(kStatusDataBufferTooShort, client.Get(kOpGetFirst, 0, "", 6));
  EXPECT_EQ(std::string(6, 'B'), client.lastRecord);
  EXPECT_NE(0u, client.Position());
  EXPECT_EQ(kStatusDataBufferTooShort, client.Update(std::string(3, 'C')));
  // Get Position needs room for 4 bytes, Get Direct 4 bytes of address, Version 5 bytes.
  std::string data(8, '\0'), key;
  std::uint32_t len = 3;
  EXPECT_EQ(kStatusDataBufferTooShort, client.Call(kOpGetPosition, data, len, key, 0));
  len = 3;
  EXPECT_EQ(kStatusDataBufferTooShort, client.Call(kOpGetDirect, data, len, key, 0));
  len = 4;
  EXPECT_EQ(kStatusDataBufferTooShort, client.Call(kOpVersion, data, len, key, 0));
  // Get Direct returns what fits of the record, with 22.
  std::uint32_t addr = client.Position();
  data.assign(8, '\0');
  for (int i = 0; i < 4; ++i) data[i] = static_cast<char>((addr >> (8 * i)) & 0xFF);
  len = 8;
  EXPECT_EQ(kStatusDataBufferTooShort, client.Call(kOpGetDirect, data, len, key, 0));
  EXPECT_EQ(8u, len);
  EXPECT_EQ(std::string(8, 'B'), data);
}

TEST_F(EngineBasic, GetKeyReturnsTheKeyOnly) {
  Fill({{"AAAA", "1"}, {"BBBB", "2"}});
  EXPECT_EQ(0, client.Get(kOpGetFirst + kOpGetKeyBias));
  EXPECT_EQ("AAAA", client.lastKey.substr(0, 4));
  EXPECT_EQ("", client.lastRecord);
  EXPECT_EQ(0, client.Get(kOpGetNext + kOpGetKeyBias));
  EXPECT_EQ("BBBB", client.lastKey.substr(0, 4));
  EXPECT_EQ(kStatusInvalidPositioning, client.Update(R("BBBB", "3")));  // no current record
}

TEST_F(EngineBasic, ClosedOrUnknownBlocksAnswerThree) {
  Fill({{"AAAA", "1"}});
  ASSERT_EQ(0, client.Close());
  EXPECT_EQ(kStatusFileNotOpen, client.Get(kOpGetFirst));
  EXPECT_EQ(kStatusFileNotOpen, client.Close());
  Client never(engine);
  EXPECT_EQ(kStatusFileNotOpen, never.Get(kOpGetFirst));
  EXPECT_EQ(kStatusFileNotOpen, never.Insert(R("BBBB", "1")));
  // Reset closes every file of the engine.
  ASSERT_EQ(0, client.Open(path));
  Client other(engine);
  ASSERT_EQ(0, other.Open(path));
  std::uint32_t len = 0;
  ASSERT_EQ(0, engine.BTRCALL(kOpReset, nullptr, nullptr, &len, nullptr, 0, 0));
  EXPECT_EQ(kStatusFileNotOpen, client.Get(kOpGetFirst));
  EXPECT_EQ(kStatusFileNotOpen, other.Get(kOpGetFirst));
  // A fresh engine knows nothing of another's blocks.
  ASSERT_EQ(0, client.Open(path));
  TestEngine second;
  Client stranger(second);
  std::memcpy(stranger.pos(), client.pos(), kPositionBlockSize);
  EXPECT_EQ(kStatusFileNotOpen, stranger.Get(kOpGetFirst));
}

TEST_F(EngineBasic, UnknownAndTransactionOperations) {
  std::string data(16, '\0'), key(256, '\0');
  std::uint32_t len = 16;
  for (std::uint16_t op : {19, 20, 21, 16, 31, 32, 36, 99, 65, 54 + 20}) {
    len = 16;
    EXPECT_EQ(kStatusInvalidOperation, engine.BTRCALL(op, client.pos(), data.data(), &len, key.data(), 255, 0)) << op;
  }
  len = 16;
  ASSERT_EQ(0, engine.BTRCALL(kOpVersion, nullptr, data.data(), &len, key.data(), 0, 0));
  EXPECT_EQ(5u, len);
  EXPECT_EQ(6, data[0]);
  EXPECT_EQ('N', data[4]);
}

TEST_F(EngineBasic, LockBiasOnGetPositionIsHarmless) {
  Fill({{"AAAA", "1"}});
  ASSERT_EQ(0, client.Get(kOpGetFirst + kLockSingleNoWait));
  std::string data(4, '\0'), key;
  std::uint32_t len = 4;
  EXPECT_EQ(0, client.Call(kOpGetPosition + kLockSingleNoWait, data, len, key, 0));
  EXPECT_EQ(4u, len);
}

}  // namespace
