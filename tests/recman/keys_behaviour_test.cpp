// Null keys, autoincrement, unmodifiable keys, variable-length records, manual key numbers.
#include <gtest/gtest.h>

#include <cstring>

#include "recman/engine.h"
#include "recman/status.h"
#include "recman/verify.h"
#include "support/temp_dir.h"
#include "recman_test_util.h"

namespace {

using namespace recman;
using recman_test::Client;
using recman_test::TestEngine;
using recman_test::CreateBuffer;
using recman_test::Rec;
using recman_test::Seg;

std::vector<std::string> Walk(Client& c, std::int8_t key, std::size_t at, std::size_t n) {
  std::vector<std::string> out;
  for (std::int16_t s = c.Get(kOpGetFirst, key); s == 0; s = c.Get(kOpGetNext, key)) out.push_back(c.lastRecord.substr(at, n));
  return out;
}

TEST(NullKeys, RecordsWithANullKeyStayOutOfThatIndex) {
  testing_support::TempDir dir;
  TestEngine engine;
  Client c(engine);
  std::string path = dir / "n.dat";
  // Key 1: two segments, null when both are blank; key 2: null when either is blank.
  ASSERT_EQ(0, c.Create(path, CreateBuffer(12, {{{1, 2}},
                                                {{3, 2, kKeyNullAll | kKeyDuplicates | kKeyModifiable, 0, ' '},
                                                 {5, 2, kKeyNullAll | kKeyDuplicates | kKeyModifiable, 0, ' '}},
                                                {{3, 2, kKeyNullAny | kKeyDuplicates | kKeyModifiable, 0, ' '},
                                                 {5, 2, kKeyNullAny | kKeyDuplicates | kKeyModifiable, 0, ' '}}})));
  ASSERT_EQ(0, c.Open(path));
  ASSERT_EQ(0, c.Insert(Rec("01    ", 12)));  // null in 1 and 2
  ASSERT_EQ(0, c.Insert(Rec("02AA  ", 12)));  // null in 2 only
  ASSERT_EQ(0, c.Insert(Rec("03AABB", 12)));
  EXPECT_EQ((std::vector<std::string>{"01", "02", "03"}), Walk(c, 0, 0, 2));
  EXPECT_EQ((std::vector<std::string>{"02", "03"}), Walk(c, 1, 0, 2));
  EXPECT_EQ((std::vector<std::string>{"03"}), Walk(c, 2, 0, 2));
  // An update can take a record into an index and out of it.
  ASSERT_EQ(0, c.Get(kOpGetEqual, 0, "01"));
  ASSERT_EQ(0, c.Update(Rec("01CCDD", 12)));
  ASSERT_EQ(0, c.Get(kOpGetEqual, 0, "03"));
  ASSERT_EQ(0, c.Update(Rec("03    ", 12)));
  EXPECT_EQ((std::vector<std::string>{"02", "01"}), Walk(c, 1, 0, 2));
  EXPECT_EQ((std::vector<std::string>{"01"}), Walk(c, 2, 0, 2));
  // Insert on a key where the record is null leaves no logical position there.
  ASSERT_EQ(0, c.Insert(Rec("04    ", 12), 1));
  EXPECT_EQ(kStatusInvalidPositioning, c.Get(kOpGetNext, 1));
  std::string stat;
  ASSERT_EQ(0, c.Stat(stat));
  EXPECT_EQ(4, stat[6]);
  std::string report;
  EXPECT_TRUE(recman_test::VerifyTestFile(path, report)) << report;
}

TEST(AutoIncrement, ZeroTakesTheHighestPlusOne) {
  testing_support::TempDir dir;
  TestEngine engine;
  Client c(engine);
  std::string path = dir / "a.dat";
  ASSERT_EQ(0, c.Create(path, CreateBuffer(10, {{{1, 4, kKeyExtendedType, 15}}})));
  ASSERT_EQ(0, c.Open(path));
  auto value = [](const std::string& r) {
    std::int32_t v;
    std::memcpy(&v, r.data(), 4);
    return v;
  };
  auto rec = [](std::int32_t v, const char* rest) {
    std::string r(4, '\0');
    std::memcpy(r.data(), &v, 4);
    return Rec(r + rest, 10);
  };
  ASSERT_EQ(0, c.Insert(rec(0, "first")));
  EXPECT_EQ(1, value(c.lastRecord));  // the record comes back with its value
  ASSERT_EQ(0, c.Insert(rec(0, "second")));
  EXPECT_EQ(2, value(c.lastRecord));
  ASSERT_EQ(0, c.Insert(rec(10, "ten")));
  ASSERT_EQ(0, c.Insert(rec(0, "eleven")));
  EXPECT_EQ(11, value(c.lastRecord));
  EXPECT_EQ(kStatusDuplicateKey, c.Insert(rec(10, "again")));
  ASSERT_EQ(0, c.Get(kOpGetLast));
  EXPECT_EQ(rec(11, "eleven"), c.lastRecord);
  std::string big(4, '\0');
  std::int32_t max = INT32_MAX;
  std::memcpy(big.data(), &max, 4);
  ASSERT_EQ(0, c.Insert(Rec(big + "max", 10)));
  EXPECT_EQ(kStatusDuplicateKey, c.Insert(rec(0, "overflow")));  // no wrap to a negative value
}

TEST(Unmodifiable, UpdateThatChangesTheKeyAnswersTen) {
  testing_support::TempDir dir;
  TestEngine engine;
  Client c(engine);
  std::string path = dir / "u.dat";
  ASSERT_EQ(0, c.Create(path, CreateBuffer(10, {{{1, 2}}, {{3, 2, kKeyDuplicates | kKeyModifiable}}})));
  ASSERT_EQ(0, c.Open(path));
  ASSERT_EQ(0, c.Insert(Rec("AAxx", 10)));
  ASSERT_EQ(0, c.Get(kOpGetEqual, 0, "AA"));
  EXPECT_EQ(kStatusKeyNotModifiable, c.Update(Rec("ABxx", 10)));
  EXPECT_EQ(0, c.Update(Rec("AAyy", 10)));
  ASSERT_EQ(0, c.Get(kOpGetEqual, 0, "AA"));
  EXPECT_EQ(Rec("AAyy", 10), c.lastRecord);
}

TEST(VariableLength, RecordsKeepTheirOwnLength) {
  testing_support::TempDir dir;
  TestEngine engine;
  Client c(engine);
  std::string path = dir / "v.dat";
  ASSERT_EQ(0, c.Create(path, CreateBuffer(8, {{{1, 4, kKeyModifiable}}}, 1024, kFileVariableLength)));
  ASSERT_EQ(0, c.Open(path));
  EXPECT_EQ(kStatusDataBufferTooShort, c.Insert("KEY"));
  ASSERT_EQ(0, c.Insert("KEY1fixd"));
  ASSERT_EQ(0, c.Insert("KEY2fixd and a longer variable part"));
  ASSERT_EQ(0, c.Get(kOpGetEqual, 0, "KEY2"));
  EXPECT_EQ("KEY2fixd and a longer variable part", c.lastRecord);
  ASSERT_EQ(0, c.Update("KEY2fixd"));
  ASSERT_EQ(0, c.Get(kOpGetEqual, 0, "KEY2"));
  EXPECT_EQ("KEY2fixd", c.lastRecord);
}

TEST(ManualKeyNumbers, KeysAnswerToTheirGivenNumbers) {
  std::string buffer = CreateBuffer(8, {{{1, 2}}, {{3, 2, kKeyDuplicates}}}, 1024, kFileManualKeyNumbers);
  buffer[16 + 14] = 3;  // key numbers 3 and 5
  buffer[32 + 14] = 5;
  testing_support::TempDir dir;
  TestEngine engine;
  Client c(engine);
  std::string path = dir / "k.dat";
  ASSERT_EQ(0, c.Create(path, buffer));
  ASSERT_EQ(0, c.Open(path));
  EXPECT_EQ(kStatusInvalidKeyNumber, c.Insert(Rec("AAzz", 8), 0));
  ASSERT_EQ(0, c.Insert(Rec("BBaa", 8), 3));
  ASSERT_EQ(0, c.Insert(Rec("AAzz", 8), 5));
  EXPECT_EQ((std::vector<std::string>{"AA", "BB"}), Walk(c, 3, 0, 2));
  EXPECT_EQ((std::vector<std::string>{"BB", "AA"}), Walk(c, 5, 0, 2));
  EXPECT_EQ(kStatusInvalidKeyNumber, c.Get(kOpGetFirst, 1));
  buffer[32 + 14] = 3;
  EXPECT_EQ(kStatusInvalidKeyNumber, c.Create(dir / "k2.dat", buffer));
}

}  // namespace
