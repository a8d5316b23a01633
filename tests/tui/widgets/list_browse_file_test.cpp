// The list browser's scratch file, byte for byte.
#include <gtest/gtest.h>

#include <string>

#include "platform/files.h"
#include "support/temp_dir.h"
#include "tui/widgets/list_browse.h"

namespace tui {
namespace {

TEST(BrowseFileTest, EntriesAreWrittenByteForByte) {
  testing_support::TempDir dir;
  std::string path = dir.SystemDir() + "Browse.tmp";
  BrowseFile file;
  ASSERT_TRUE(file.Open(path, true));
  EXPECT_EQ(file.End(), 1);
  EXPECT_EQ(file.Append(0, 0x01020304, "abc"), 1);
  EXPECT_EQ(file.Append(1, -2, ""), 14);
  EXPECT_EQ(file.End(), 24);
  file.Close();

  auto bytes = platform::ReadWholeFile(dir / "Browse.tmp");
  ASSERT_TRUE(bytes.has_value());
  const std::string expected(
      "\x00\x00\x00\x00" "\x04\x03\x02\x01" "\x03\x00" "abc"
      "\x01\x00\x00\x00" "\xfe\xff\xff\xff" "\x00\x00",
      23);
  EXPECT_EQ(*bytes, expected);
}

TEST(BrowseFileTest, ReadsBackAndStopsAtDamage) {
  testing_support::TempDir dir;
  std::string path = dir.SystemDir() + "Browse.tmp";
  BrowseFile file;
  ASSERT_TRUE(file.Open(path, true));
  std::int32_t first = file.Append(0, 7, "first line");
  std::int32_t second = file.Append(first, 9, "second");
  BrowseEntry entry;
  ASSERT_TRUE(file.Read(second, entry));
  EXPECT_EQ(entry.previous, first);
  EXPECT_EQ(entry.record, 9);
  EXPECT_EQ(entry.text, "second");
  EXPECT_EQ(entry.Next(), file.End());
  EXPECT_FALSE(file.Read(file.End(), entry));
  EXPECT_FALSE(file.Read(0, entry));
  file.Close();

  // Reopened without emptying: the entries are still there (a prepared list).
  ASSERT_TRUE(file.Open(path, false));
  ASSERT_TRUE(file.Read(1, entry));
  EXPECT_EQ(entry.text, "first line");
  file.Close();

  // A length running past the end, and a negative one, read as the end of the list.
  std::string damaged("\0\0\0\0\0\0\0\0\x50\x00" "ab", 12);
  ASSERT_TRUE(platform::WriteWholeFile(dir / "Browse.tmp", damaged));
  ASSERT_TRUE(file.Open(path, false));
  EXPECT_FALSE(file.Read(1, entry));
  file.Close();
  damaged[9] = '\xff';
  ASSERT_TRUE(platform::WriteWholeFile(dir / "Browse.tmp", damaged));
  ASSERT_TRUE(file.Open(path, false));
  EXPECT_FALSE(file.Read(1, entry));
}

TEST(BrowseFileTest, MissingDirectoryFailsToOpen) {
  testing_support::TempDir dir;
  BrowseFile file;
  EXPECT_FALSE(file.Open(dir.SystemDir() + "nowhere\\Browse.tmp", true));
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(file.Append(0, 0, "x"), 0);
}

}  // namespace
}  // namespace tui
