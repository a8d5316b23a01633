// Key order by type: every supported type walks in its own order, and unsupported types are
// refused rather than ordered wrongly.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <random>

#include "recman/engine.h"
#include "recman/key_codec.h"
#include "recman/status.h"
#include "support/temp_dir.h"
#include "recman_test_util.h"

namespace {

using namespace recman;
using recman_test::Client;
using recman_test::TestEngine;
using recman_test::CreateBuffer;
using recman_test::Seg;

template <typename T>
std::string Le(T v) {
  std::string s(sizeof(T), '\0');
  std::memcpy(s.data(), &v, sizeof(T));  // the machine is little-endian, as the file format
  return s;
}

std::string Date(int d, int m, int y) { return std::string{char(d), char(m)} + Le<std::uint16_t>(y); }
std::string Time(int h, int m, int s, int c) { return std::string{char(c), char(s), char(m), char(h)}; }

struct OrderCase {
  const char* name;
  std::vector<Seg> segments;  // one key; positions from 1
  std::vector<std::string> ordered;  // key values (the segments' bytes) in key order
};

std::vector<OrderCase> Cases() {
  const std::uint16_t ext = kKeyExtendedType;
  std::string descTable(256, '\0');
  for (int i = 0; i < 256; ++i) descTable[i] = static_cast<char>(i);
  return {
      {"string", {{1, 3}}, {std::string("A\0\0", 3), "AB ", "ABC", "B  ", "a  ", "\xE9\x41\x41"}},
      {"case-insensitive string", {{1, 3, kKeyCaseInsensitive}}, {"aaa", "ABB", "abC", "b  ", "Z  "}},
      {"descending string", {{1, 2, kKeyDescending}}, {"ZZ", "ZA", "B ", "AB", "AA"}},
      {"integer 1", {{1, 1, ext, 1}}, {Le<std::int8_t>(-128), Le<std::int8_t>(-1), Le<std::int8_t>(0), Le<std::int8_t>(127)}},
      {"integer 2", {{1, 2, ext, 1}}, {Le<std::int16_t>(-32768), Le<std::int16_t>(-256), Le<std::int16_t>(-1), Le<std::int16_t>(0), Le<std::int16_t>(1), Le<std::int16_t>(255), Le<std::int16_t>(256), Le<std::int16_t>(32767)}},
      {"integer 4", {{1, 4, ext, 1}}, {Le<std::int32_t>(INT32_MIN), Le<std::int32_t>(-70000), Le<std::int32_t>(-1), Le<std::int32_t>(0), Le<std::int32_t>(65536), Le<std::int32_t>(INT32_MAX)}},
      {"integer 8", {{1, 8, ext, 1}}, {Le<std::int64_t>(INT64_MIN), Le<std::int64_t>(-1), Le<std::int64_t>(1), Le<std::int64_t>(1ll << 40), Le<std::int64_t>(INT64_MAX)}},
      {"descending integer", {{1, 2, ext | kKeyDescending, 1}}, {Le<std::int16_t>(300), Le<std::int16_t>(2), Le<std::int16_t>(-1), Le<std::int16_t>(-300)}},
      {"unsigned binary 2", {{1, 2, ext, 14}}, {Le<std::uint16_t>(0), Le<std::uint16_t>(1), Le<std::uint16_t>(255), Le<std::uint16_t>(256), Le<std::uint16_t>(65535)}},
      {"unsigned binary 4", {{1, 4, ext, 14}}, {Le<std::uint32_t>(0), Le<std::uint32_t>(0x01000000), Le<std::uint32_t>(0x80000000u), Le<std::uint32_t>(0xFFFFFFFFu)}},
      {"binary flag", {{1, 3, kKeyBinary}}, {std::string("\x05\x00\x00", 3), std::string("\x00\x01\x00", 3), std::string("\xFF\x01\x00", 3), std::string("\x00\x00\x01", 3)}},
      {"autoincrement", {{1, 4, ext, 15}}, {Le<std::int32_t>(-5), Le<std::int32_t>(3), Le<std::int32_t>(70000)}},
      {"float 4", {{1, 4, ext, 2}}, {Le<float>(-1e30f), Le<float>(-2.5f), Le<float>(-1e-20f), Le<float>(0.0f), Le<float>(1e-20f), Le<float>(1.0f), Le<float>(3e38f)}},
      {"float 8", {{1, 8, ext, 2}}, {Le<double>(-1e300), Le<double>(-1.0), Le<double>(0.0), Le<double>(0.5), Le<double>(1e300)}},
      {"date", {{1, 4, ext, 3}}, {Date(31, 12, 1999), Date(1, 1, 2000), Date(2, 1, 2000), Date(1, 2, 2000), Date(1, 1, 2001)}},
      {"time", {{1, 4, ext, 4}}, {Time(0, 0, 0, 1), Time(0, 0, 1, 0), Time(0, 59, 59, 99), Time(13, 0, 0, 0), Time(23, 0, 0, 0)}},
      {"logical", {{1, 1, ext, 7}}, {std::string(1, '\0'), std::string(1, '\1')}},
      {"zstring", {{1, 4, ext, 11}}, {std::string("\0\x7F\x7F\x7F", 4), std::string("A\0zz", 4), std::string("AB\0\0", 4), "ABCD", std::string("B\0\0\0", 4)}},
      {"lstring", {{1, 4, ext, 10}}, {std::string("\x00zzz", 4), std::string("\x01" "Azz", 4), std::string("\x02" "A\0z", 4), std::string("\x02" "ABz", 4), std::string("\x03" "ABC", 4), std::string("\x01" "Bxx", 4)}},
      {"string then descending integer", {{1, 2}, {3, 2, ext | kKeyDescending, 1}},
       {"AA" + Le<std::int16_t>(5), "AA" + Le<std::int16_t>(-5), "AB" + Le<std::int16_t>(9), "AB" + Le<std::int16_t>(1)}},
  };
}

class KeyOrder : public ::testing::TestWithParam<OrderCase> {};

TEST_P(KeyOrder, WalksInTypeOrder) {
  const OrderCase& c = GetParam();
  std::uint16_t keyLength = 0;
  for (const Seg& s : c.segments) keyLength = static_cast<std::uint16_t>(keyLength + s.length);
  const std::uint16_t recordLength = keyLength + 4;
  testing_support::TempDir dir;
  TestEngine engine;
  Client client(engine);
  std::string path = dir / "order.dat";
  ASSERT_EQ(0, client.Create(path, CreateBuffer(recordLength, {c.segments})));
  ASSERT_EQ(0, client.Open(path));
  std::vector<std::string> shuffled = c.ordered;
  std::mt19937 rng(7);
  std::shuffle(shuffled.begin(), shuffled.end(), rng);
  for (const std::string& v : shuffled) ASSERT_EQ(0, client.Insert(v + "####")) << c.name;
  std::vector<std::string> walked;
  for (std::int16_t s = client.Get(kOpGetFirst); s == 0; s = client.Get(kOpGetNext))
    walked.push_back(client.lastRecord.substr(0, keyLength));
  EXPECT_EQ(c.ordered, walked) << c.name;
  // Each value is found again by Get Equal, and Get Previous walks back.
  for (const std::string& v : c.ordered) EXPECT_EQ(0, client.Get(kOpGetEqual, 0, v)) << c.name;
  std::vector<std::string> back;
  for (std::int16_t s = client.Get(kOpGetLast); s == 0; s = client.Get(kOpGetPrevious))
    back.push_back(client.lastRecord.substr(0, keyLength));
  std::reverse(back.begin(), back.end());
  EXPECT_EQ(c.ordered, back) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Types, KeyOrder, ::testing::ValuesIn(Cases()),
                         [](const auto& info) {
                           std::string n = info.param.name;
                           for (char& ch : n) if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return n;
                         });

TEST(KeyEquality, ValuesThatSortAsOneAreDuplicates) {
  struct Row {
    const char* name;
    Seg seg;
    std::string first, second;
  };
  const Row rows[] = {
      {"case folded", {1, 3, kKeyCaseInsensitive}, "abc", "ABC"},
      {"zstring after the NUL", {1, 4, kKeyExtendedType, 11}, std::string("A\0xy", 4), std::string("A\0\0\0", 4)},
      {"lstring after its length", {1, 4, kKeyExtendedType, 10}, std::string("\x01" "Axy", 4), std::string("\x01" "A\0\0", 4)},
      {"float zero", {1, 4, kKeyExtendedType, 2}, Le<float>(0.0f), Le<float>(-0.0f)},
  };
  for (const Row& row : rows) {
    testing_support::TempDir dir;
    TestEngine engine;
    Client client(engine);
    std::string path = dir / "eq.dat";
    ASSERT_EQ(0, client.Create(path, CreateBuffer(row.seg.length + 4, {{row.seg}})));
    ASSERT_EQ(0, client.Open(path));
    ASSERT_EQ(0, client.Insert(row.first + "1111")) << row.name;
    EXPECT_EQ(kStatusDuplicateKey, client.Insert(row.second + "2222")) << row.name;
    EXPECT_EQ(0, client.Get(kOpGetEqual, 0, row.second)) << row.name;
    EXPECT_EQ(row.first + "1111", client.lastRecord) << row.name;
  }
}

TEST(KeyOrderCollating, TableDecidesTheOrder) {
  // A table that sorts the digits after the letters.
  std::string table(256, '\0');
  for (int i = 0; i < 256; ++i) table[i] = static_cast<char>(i);
  for (int d = '0'; d <= '9'; ++d) table[d] = static_cast<char>(0xF0 + (d - '0'));
  testing_support::TempDir dir;
  TestEngine engine;
  Client client(engine);
  std::string path = dir / "acs.dat";
  ASSERT_EQ(0, client.Create(path, CreateBuffer(8, {{{1, 2, kKeyCollating}}}, 1024, 0, {table})));
  ASSERT_EQ(0, client.Open(path));
  for (const char* v : {"1A", "AA", "A1", "Z9", "9Z"}) ASSERT_EQ(0, client.Insert(std::string(v) + "------"));
  std::vector<std::string> walked;
  for (std::int16_t s = client.Get(kOpGetFirst); s == 0; s = client.Get(kOpGetNext)) walked.push_back(client.lastRecord.substr(0, 2));
  EXPECT_EQ((std::vector<std::string>{"AA", "A1", "Z9", "1A", "9Z"}), walked);
  // Stat hands the table back after the last segment, 9 bytes into its block.
  std::string stat;
  ASSERT_EQ(0, client.Stat(stat));
  ASSERT_EQ(16u + 16u + 265u, stat.size());
  EXPECT_EQ(static_cast<char>(0xAC), stat[32]);
  EXPECT_EQ(table, stat.substr(32 + 9, 256));
}

TEST(KeyCodec, BinarySegmentsMatchTheRecordLayersCompareForm) {
  // The record layer reverses binary segments to compare keys bytewise; the stored form must
  // order the same way: 01 00 41 42 compares as 00 01 41 42.
  FileSpec spec;
  std::string buffer = CreateBuffer(8, {{{1, 2, kKeyBinary}, {3, 2}}});
  ASSERT_EQ(0, ParseCreateBuffer(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(buffer.data()), buffer.size()), spec));
  EXPECT_EQ(std::string("\x00\x01\x41\x42", 4), EncodeKey(spec, spec.keys[0], std::string("\x01\x00\x41\x42", 4)));
}

}  // namespace
