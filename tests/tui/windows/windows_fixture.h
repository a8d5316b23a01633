// A headless console with a Windows over it, a temporary directory for the window stack and a
// fake system that records the programs it is asked to start.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "session/environment.h"
#include "session/session.h"
#include "support/fake_system.h"
#include "support/temp_dir.h"
#include "tui/console/console.h"
#include "tui/console/headless_backend.h"
#include "tui/windows/windows.h"

namespace tui::testing_windows {

using RecordingSystem = testing_support::FakeSystem;

// Every cell of the program's screen, for comparing whole screens.
inline std::vector<Cell> Cells(const Console& console) {
  std::vector<Cell> cells;
  const ScreenBuffer& screen = console.Screen();
  for (int r = 1; r <= screen.Rows(); ++r) {
    for (int c = 1; c <= screen.Columns(); ++c) cells.push_back(screen.At(r, c));
  }
  return cells;
}

// "" when the screens are equal, else where they first differ (for readable failures).
inline std::string ScreenDiff(const std::vector<Cell>& got, const std::vector<Cell>& want, int columns) {
  if (got.size() != want.size()) return "screens of different sizes";
  for (std::size_t i = 0; i < got.size(); ++i) {
    if (got[i] == want[i]) continue;
    std::ostringstream out;
    out << "row " << i / static_cast<std::size_t>(columns) + 1 << " column " << i % static_cast<std::size_t>(columns) + 1
        << ": got " << int(got[i].character) << "/" << int(got[i].attribute) << ", want "
        << int(want[i].character) << "/" << int(want[i].attribute);
    return out.str();
  }
  return "";
}

inline std::string ReadBytes(const std::string& hostPath) {
  std::ifstream in(hostPath, std::ios::binary);
  std::stringstream out;
  out << in.rdbuf();
  return out.str();
}

inline void WriteBytes(const std::string& hostPath, const std::string& bytes) {
  std::ofstream out(hostPath, std::ios::binary | std::ios::trunc);
  out << bytes;
}

inline std::string Header(std::uint32_t value) {
  std::string h(4, '\0');
  for (int i = 0; i < 4; ++i) h[static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
  return h;
}

// Distinct colour entries, so that a wrong entry shows in the attributes.
inline const std::array<session::ColourPair, 5> kTestColours = {{
    {15, 1}, {7, 0}, {0, 7}, {1, 3}, {14, 4},
}};

inline std::uint8_t AttributeOf(int entry) {
  const session::ColourPair& pair = kTestColours[static_cast<std::size_t>(entry)];
  return static_cast<std::uint8_t>(pair.background * 16 + pair.foreground);
}

class WindowsFixture : public testing::Test {
 protected:
  explicit WindowsFixture(ScreenSize size = {25, 80})
      : headless_(MakeHeadlessBackend(size)), control_(*headless_.control), console_(std::move(headless_.backend)) {
    session_.TempDir = dir_.SystemDir();
    console_.SetColourTable(kTestColours);
  }

  // Fills the screen with a pattern of characters and attributes that differs in every cell
  // of a row and from row to row, and leaves the cursor somewhere in the middle.
  void FillScreen() {
    const int rows = console_.ScreenRows();
    const int cols = console_.ScreenCols();
    for (int r = 1; r <= rows; ++r) {
      for (int c = 1; c <= cols; ++c) {
        console_.SetColour((r + c) % 16, (r * 3 + c) % 16);
        console_.Locate(r, c);
        char ch = static_cast<char>(0x21 + (r * 7 + c) % 200);
        console_.Print(std::string_view(&ch, 1));
      }
    }
    console_.SetColour(7, 0);
    console_.Locate(7, 33);
  }

  std::string StackHostPath() const { return dir_ / "WinPush.tmp"; }

  testing_support::TempDir dir_;
  HeadlessBackend headless_;
  HeadlessControl& control_;
  Console console_;
  session::Session session_;
  RecordingSystem system_;
  session::MapEnvironment environment_;
  Windows windows_{console_, session_, system_, environment_};
};

}  // namespace tui::testing_windows
