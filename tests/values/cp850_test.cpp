#include <cstdint>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "values/cp850.h"

namespace {

// Runs a command that reads `input` from a file and returns what it printed.
bool RunFilter(const std::string& command, const std::string& input, std::string& output) {
  char path[] = "/tmp/values-cp850-XXXXXX";
  int fd = mkstemp(path);
  if (fd < 0) return false;
  FILE* f = fdopen(fd, "wb");
  std::fwrite(input.data(), 1, input.size(), f);
  std::fclose(f);
  std::string full = command + " < " + path + " 2>/dev/null";
  FILE* pipe = popen(full.c_str(), "r");
  if (pipe == nullptr) {
    std::remove(path);
    return false;
  }
  output.clear();
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  int status = pclose(pipe);
  std::remove(path);
  return status == 0;
}

std::string AllBytes() {
  std::string bytes;
  for (int b = 0; b < 256; ++b) bytes += static_cast<char>(b);
  return bytes;
}

TEST(Cp850, EveryByteMatchesIconvBothWays) {
  std::string utf32;
  if (!RunFilter("iconv -f CP850 -t UTF-32LE", AllBytes(), utf32)) {
    GTEST_SKIP() << "iconv with CP850 is not available";
  }
  // One code point per byte, so that a difference names its byte.
  ASSERT_EQ(utf32.size(), 256u * 4);
  for (int b = 0; b < 256; ++b) {
    char32_t expected = 0;
    for (int k = 3; k >= 0; --k) {
      expected = (expected << 8) | static_cast<unsigned char>(utf32[static_cast<std::size_t>(b * 4 + k)]);
    }
    EXPECT_EQ(static_cast<std::uint32_t>(values::Cp850ToUnicode(static_cast<unsigned char>(b))),
              static_cast<std::uint32_t>(expected))
        << "byte " << b;
  }
  std::string utf8;
  ASSERT_TRUE(RunFilter("iconv -f CP850 -t UTF-8", AllBytes(), utf8));
  EXPECT_EQ(values::Cp850ToUtf8(AllBytes()), utf8);
  std::string back;
  ASSERT_TRUE(RunFilter("iconv -f UTF-8 -t CP850", utf8, back));
  EXPECT_EQ(back, AllBytes());
  EXPECT_EQ(values::Utf8ToCp850(utf8), AllBytes());
}

TEST(Cp850, CodePointsRoundTripAndUnknownsAreReplaced) {
  for (int b = 0; b < 256; ++b) {
    EXPECT_EQ(values::UnicodeToCp850(values::Cp850ToUnicode(static_cast<unsigned char>(b))), b);
  }
  EXPECT_EQ(values::UnicodeToCp850(U'\u20AC'), -1);  // no euro sign in code page 850
  EXPECT_EQ(values::Utf8ToCp850("a\xE2\x82\xAC" "b"), "a?b");
  EXPECT_EQ(values::Utf8ToCp850("\xC3", '#'), "#");       // cut sequence
  EXPECT_EQ(values::Utf8ToCp850("\xFF" "x", '#'), "#x");  // not UTF-8
  EXPECT_EQ(values::Utf8ToCp850("\xC3\xA7"), "\x87");     // c cedilla
}

}  // namespace
