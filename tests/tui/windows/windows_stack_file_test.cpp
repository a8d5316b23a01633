// The window stack file's byte format and its damage handling.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "support/temp_dir.h"
#include "tui/windows/window_stack.h"

namespace tui {
namespace {

std::string Cells(const WindowRect& rect, char seed) {
  std::string cells;
  for (int i = 0; i < RectCells(rect); ++i) {
    cells += static_cast<char>(seed + i % 26);
    cells += static_cast<char>(0x10 + i % 0xF0);
  }
  return cells;
}

WindowRecord Record(WindowRect rect, WindowRect outer = {}, int row = 3, int col = 7, char seed = 'A') {
  return WindowRecord{row, col, outer, rect, Cells(rect, seed)};
}

std::string ReadFile(const std::string& hostPath) {
  std::ifstream in(hostPath, std::ios::binary);
  std::stringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFile(const std::string& hostPath, const std::string& bytes) {
  std::ofstream out(hostPath, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string Header(std::uint32_t value) {
  std::string h(4, '\0');
  for (int i = 0; i < 4; ++i) h[static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
  return h;
}

TEST(WindowRecordCodec, SixtyCellWindowIsOneHundredFortyFiveBytes) {
  WindowRecord record = Record({5, 1, 10, 10}, {2, 3, 20, 70}, 12, 45);
  std::optional<std::string> bytes = EncodeWindowRecord(record);
  ASSERT_TRUE(bytes);
  ASSERT_EQ(bytes->size(), 145u);
  EXPECT_EQ(bytes->substr(0, 20), "12450203207005011010");
  EXPECT_EQ(bytes->substr(20, 120), record.cells);
  EXPECT_EQ(bytes->substr(140), "00145");
  EXPECT_EQ(DecodeWindowRecord(*bytes), record);
}

TEST(WindowRecordCodec, RefusesWhatTwoDigitsCannotHold) {
  struct Case {
    WindowRect rect;
    WindowRect outer;
    bool storable;
  } cases[] = {
      {{1, 1, 1, 1}, {}, true},
      {{1, 1, 99, 99}, {}, true},
      {{1, 1, 100, 10}, {}, false},
      {{1, 1, 10, 100}, {}, false},
      {{0, 1, 10, 10}, {}, false},
      {{1, 0, 10, 10}, {}, false},
      {{10, 1, 9, 10}, {}, false},   // top below bottom
      {{1, 10, 9, 9}, {}, false},    // left right of right
      {{1, 1, 2, 2}, {0, 0, 0, 1}, false},  // outer neither none nor a rectangle
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.rect.top << "," << c.rect.left << "," << c.rect.bottom << ","
                                    << c.rect.right);
    WindowRecord record{1, 1, c.outer, c.rect, {}};
    if (IsStorableRect(c.rect)) record.cells = Cells(c.rect, 'a');
    EXPECT_EQ(EncodeWindowRecord(record).has_value(), c.storable);
  }
  // Cells that do not match the rectangle.
  WindowRecord shortCells = Record({1, 1, 2, 2});
  shortCells.cells.pop_back();
  EXPECT_FALSE(EncodeWindowRecord(shortCells));
}

TEST(WindowRecordCodec, CursorOutsideTwoDigitsIsClamped) {
  WindowRecord record = Record({1, 1, 1, 2}, {}, 150, -4);
  std::optional<std::string> bytes = EncodeWindowRecord(record);
  ASSERT_TRUE(bytes);
  EXPECT_EQ(bytes->substr(0, 4), "9900");
}

TEST(WindowRecordCodec, DamagedRecordsAreRefused) {
  std::string good = *EncodeWindowRecord(Record({5, 1, 10, 10}));
  ASSERT_TRUE(DecodeWindowRecord(good));
  std::vector<std::pair<const char*, std::string>> damaged;
  std::string digit = good;
  digit[3] = 'x';
  damaged.emplace_back("letter in the cursor column", digit);
  std::string length = good;
  length[142] = '9';
  damaged.emplace_back("length disagrees", length);
  damaged.emplace_back("truncated", good.substr(0, 144));
  damaged.emplace_back("too short for the fixed part", good.substr(0, 24));
  std::string rect = good;
  rect[16] = '2';  // bottom 20: more cells than the record holds
  damaged.emplace_back("rectangle disagrees with the cells", rect);
  std::string zero = good;
  zero[12] = '0';
  zero[13] = '0';  // top 00
  damaged.emplace_back("top row 0", zero);
  for (const auto& [what, bytes] : damaged) {
    SCOPED_TRACE(what);
    EXPECT_FALSE(DecodeWindowRecord(bytes));
  }
}

class WindowStackFileTest : public testing::Test {
 protected:
  testing_support::TempDir dir_;
  std::string host_ = dir_ / "WinPush.tmp";
  WindowStackFile stack_{dir_.SystemDir() + "WinPush.tmp"};
};

TEST_F(WindowStackFileTest, FirstRecordOnAMissingFile) {
  std::int64_t start = 0;
  ASSERT_EQ(stack_.Push(Record({5, 1, 10, 10}), &start), StackStatus::kOk);
  EXPECT_EQ(start, 5);
  std::string bytes = ReadFile(host_);
  ASSERT_EQ(bytes.size(), 149u);
  EXPECT_EQ(bytes.substr(0, 4), Header(150));
  EXPECT_EQ(stack_.FirstFree(), 150);
}

TEST_F(WindowStackFileTest, PopsInReverseOrderAndNeverShortens) {
  WindowRecord a = Record({5, 1, 10, 10}, {}, 1, 1, 'A');
  WindowRecord b = Record({2, 2, 3, 50}, a.rect, 6, 9, 'K');
  WindowRecord c = Record({1, 1, 25, 80}, b.rect, 24, 80, 'a');
  for (const WindowRecord* r : {&a, &b, &c}) ASSERT_EQ(stack_.Push(*r), StackStatus::kOk);
  std::size_t fullSize = ReadFile(host_).size();

  WindowRecord got;
  std::int64_t start = 0;
  ASSERT_EQ(stack_.Pop(&got, &start), StackStatus::kOk);
  EXPECT_EQ(got, c);
  ASSERT_EQ(stack_.Pop(&got), StackStatus::kOk);
  EXPECT_EQ(got, b);
  ASSERT_EQ(stack_.Pop(&got, &start), StackStatus::kOk);
  EXPECT_EQ(got, a);
  EXPECT_EQ(start, 5);
  EXPECT_EQ(stack_.Pop(&got), StackStatus::kEmpty);
  EXPECT_EQ(ReadFile(host_).size(), fullSize);
  EXPECT_EQ(ReadFile(host_).substr(0, 4), Header(5));
}

TEST_F(WindowStackFileTest, EmptyAndShortFilesHaveNothingToPop) {
  WindowRecord got;
  EXPECT_EQ(stack_.Pop(&got), StackStatus::kEmpty);  // missing
  EXPECT_FALSE(std::ifstream(host_).good()) << "popping must not create the file";
  WriteFile(host_, "ab");
  EXPECT_EQ(stack_.Pop(&got), StackStatus::kEmpty);
  EXPECT_EQ(ReadFile(host_), "ab");
  // A short file is taken as empty when pushing: the first record goes to position 5.
  std::int64_t start = 0;
  ASSERT_EQ(stack_.Push(Record({1, 1, 1, 1}), &start), StackStatus::kOk);
  EXPECT_EQ(start, 5);
  EXPECT_EQ(ReadFile(host_).substr(0, 4), Header(32));
}

TEST_F(WindowStackFileTest, FileOfAnEarlierProgramIsContinuedFromItsHeader) {
  // Another program of the suite left one window open, and some stale bytes after it.
  WindowRecord theirs = Record({1, 1, 3, 3}, {}, 2, 2, 'x');
  std::string theirBytes = *EncodeWindowRecord(theirs);
  std::int64_t theirEnd = 5 + static_cast<std::int64_t>(theirBytes.size());
  WriteFile(host_, Header(static_cast<std::uint32_t>(theirEnd)) + theirBytes + std::string(300, 'Z'));

  WindowRecord mine = Record({4, 4, 6, 6});
  std::int64_t start = 0;
  ASSERT_EQ(stack_.Push(mine, &start), StackStatus::kOk);
  EXPECT_EQ(start, theirEnd);
  WindowRecord got;
  ASSERT_EQ(stack_.Pop(&got), StackStatus::kOk);
  EXPECT_EQ(got, mine);
  ASSERT_EQ(stack_.Pop(&got), StackStatus::kOk);
  EXPECT_EQ(got, theirs);
  EXPECT_EQ(ReadFile(host_).size(), 4 + theirBytes.size() + 300);
}

TEST_F(WindowStackFileTest, DamagedHeadersAndRecords) {
  std::string record = *EncodeWindowRecord(Record({5, 1, 10, 10}));
  struct Case {
    const char* what;
    std::string file;
  } cases[] = {
      {"header before the first record", Header(3) + record},
      {"header past the end of the file", Header(500) + record},
      {"header inside the fixed part of a record", Header(20) + record},
      {"length field not digits", Header(150) + record.substr(0, 140) + "0a145"},
      {"length reaching before the first record", Header(150) + record.substr(0, 140) + "00146"},
      {"record body damaged", Header(150) + "xx" + record.substr(2)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFile(host_, c.file);
    WindowRecord got;
    EXPECT_EQ(stack_.Pop(&got), StackStatus::kDamaged);
    EXPECT_EQ(ReadFile(host_), c.file) << "a damaged stack is left for the caller to reset";
  }
  // A push over a header that cannot be right starts a fresh stack.
  WriteFile(host_, Header(500) + record);
  std::int64_t start = 0;
  ASSERT_EQ(stack_.Push(Record({1, 1, 2, 2}), &start), StackStatus::kOk);
  EXPECT_EQ(start, 5);
}

TEST_F(WindowStackFileTest, ResetHeaderDropsADamagedRecord) {
  ASSERT_EQ(stack_.Push(Record({1, 1, 2, 2})), StackStatus::kOk);
  std::int64_t second = 0;
  ASSERT_EQ(stack_.Push(Record({3, 3, 4, 4}), &second), StackStatus::kOk);
  std::string bytes = ReadFile(host_);
  bytes[static_cast<std::size_t>(second - 1)] = '#';
  WriteFile(host_, bytes);
  WindowRecord got;
  ASSERT_EQ(stack_.Pop(&got), StackStatus::kDamaged);
  ASSERT_EQ(stack_.ResetHeader(second), StackStatus::kOk);
  ASSERT_EQ(stack_.Pop(&got), StackStatus::kOk);
  EXPECT_EQ(got.rect, (WindowRect{1, 1, 2, 2}));
  EXPECT_EQ(stack_.ResetHeader(4), StackStatus::kDamaged);
  EXPECT_EQ(stack_.ResetHeader(100000), StackStatus::kDamaged);
}

TEST_F(WindowStackFileTest, MissingDirectoryIsAnIoError) {
  WindowStackFile nowhere(dir_.SystemDir() + "no\\such\\WinPush.tmp");
  EXPECT_EQ(nowhere.Push(Record({1, 1, 2, 2})), StackStatus::kIoError);
}

}  // namespace
}  // namespace tui
