// Everything the calendar and calculator tests need, fresh for one test: a headless console
// with distinct colour entries, its windows over a temporary directory (which is also the
// terminal directory for ZEDCALC.TMP), values over settings the test can set, a session and a
// clock fixed on 17 May 2024.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "session/environment.h"
#include "session/session.h"
#include "support/fake_system.h"
#include "support/temp_dir.h"
#include "tests/tui/console/console_test_support.h"
#include "tui/console/console.h"
#include "tui/console/headless_backend.h"
#include "tui/popups/popups.h"
#include "tui/windows/windows.h"
#include "values/values.h"

namespace tui::popups_test {

using FixedSystem = testing_support::FakeSystem;

class MapSettings : public values::SettingsSource {
 public:
  std::string Read(std::string_view section, std::string_view key) override {
    auto it = entries.find(std::string(section) + "/" + std::string(key));
    return it == entries.end() ? std::string() : it->second;
  }
  std::map<std::string, std::string> entries;
};

// Distinct colour entries, so that a wrong entry shows in the attributes.
inline constexpr std::array<session::ColourPair, 5> kColours{{{15, 1}, {7, 0}, {0, 7}, {1, 3}, {14, 4}}};

inline std::uint8_t AttributeOf(int entry) {
  const session::ColourPair& pair = kColours[static_cast<std::size_t>(entry)];
  return static_cast<std::uint8_t>(pair.background * 16 + pair.foreground);
}

// The packed form of a date, as the session holds the working date.
inline std::string Packed(int year, int month, int day) {
  const values::PackedDate p = values::PackDate(year, month, day);
  return std::string(reinterpret_cast<const char*>(p.data()), p.size());
}

class PopupsRig {
 public:
  explicit PopupsRig(ScreenSize size = {25, 80}) : con(size) {
    session.TempDir = dir.SystemDir();
    session.TerminalDir = dir.SystemDir();
    session.Language = "CAT";
    session.WorkDate = Packed(2024, 5, 17);
    con->SetColourTable(kColours);
  }

  HeadlessControl& Script() { return *con.control; }
  Console& Con() { return *con; }

  // The program's screen: a piece of a row as text (code page 850 bytes).
  std::string Text(int row, int column, int count) const {
    std::string out;
    for (int c = column; c < column + count; ++c) out.push_back(static_cast<char>(con.console->ReadCell(row, c)));
    return out;
  }

  // Fills the screen with "." in colour entry 1 (as a form under a pop-up would be).
  void FillScreen(char fill = '.') {
    con->ScreenColour("n");
    for (int r = 1; r <= con->ScreenRows(); ++r) {
      con->Locate(r, 1);
      con->Print(std::string(static_cast<std::size_t>(con->ScreenCols()), fill));
    }
  }

  // Feeds a pop-up its keys in batches: each time the reader waits for a key, the screen as
  // the display shows it is kept in `shots` and the next batch is pushed; after the last batch
  // `last` is pushed (again at every further wait). shots[0] is the screen before any key.
  void FeedBatches(std::vector<std::vector<KeyCode>> batches, KeyCode last = key::kEscape) {
    Script().SetOnStarved([this, batches = std::move(batches), last, next = std::size_t{0}](HeadlessControl& c) mutable {
      shots.push_back(c.Shown());
      keySets.push_back(con->AcceptedKeys());
      if (next < batches.size()) {
        for (KeyCode k : batches[next++]) c.PushKey(k);
      } else {
        c.PushKey(last);
      }
    });
  }
  // A piece of a row of a shot as text.
  std::string ShotText(std::size_t shot, int row, int column, int count) const {
    std::string out;
    for (int c = column; c < column + count; ++c) out.push_back(static_cast<char>(shots.at(shot).At(row, c).character));
    return out;
  }
  std::uint8_t ShotAttribute(std::size_t shot, int row, int column) const {
    return shots.at(shot).At(row, column).attribute;
  }

  std::string CalcFileHostPath() const { return dir / "ZEDCALC.TMP"; }
  std::string ReadCalcFile() const {
    std::ifstream in(CalcFileHostPath(), std::ios::binary);
    std::stringstream out;
    out << in.rdbuf();
    return out.str();
  }
  void WriteCalcFile(const std::string& bytes) const {
    std::ofstream(CalcFileHostPath(), std::ios::binary | std::ios::trunc) << bytes;
  }

  testing_support::TempDir dir;
  session::Session session;
  session::MapEnvironment environment;
  FixedSystem system;
  MapSettings settings;
  values::Values values{settings, system};
  testing::HeadlessConsole con;
  Windows windows{*con, session, system, environment};
  Popups popups{*con, windows, values, session, system};
  std::vector<ScreenBuffer> shots;
  std::vector<std::vector<KeyCode>> keySets;  // the active key set at each wait
};

// The keys of a text: each character as its key code.
inline std::vector<KeyCode> Keys(std::string_view text) {
  std::vector<KeyCode> keys;
  for (char c : text) keys.push_back(static_cast<KeyCode>(static_cast<unsigned char>(c)));
  return keys;
}

}  // namespace tui::popups_test
