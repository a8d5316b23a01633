// The record card end to end on the headless console, over a real installation of the demo
// data in a temporary directory.
#include <algorithm>
#include <map>

#include <gtest/gtest.h>

#include "app/data_files.h"
#include "installation.h"
#include "tui/console/keys.h"
#include "values/cp850.h"

namespace app_test {
namespace {

using tui::HeadlessControl;
namespace key = tui::key;

class ProgramTest : public DemoFixture {
 protected:
  static std::string Code(int n) { return std::to_string(n) + "\r"; }
};

TEST_F(ProgramTest, NewRecordCardExistsWhileShownWithItsDefaultsAndGoesAwayUnchanged) {
  auto [p, d] = Department(false);
  const std::string k = DepartmentKey(p, d);
  ASSERT_FALSE(inst_.Record("TranLauV", k));
  bool sawRecord = false;
  std::string screen;
  Session run(inst_, {
      [&](HeadlessControl& c) { c.PushText(Code(p)); },
      [&](HeadlessControl& c) { c.PushText(Code(d)); },
      [&](HeadlessControl& c) {
        sawRecord = inst_.Record("TranLauV", k).has_value();
        screen = c.Text();
        c.PushKey(key::kEscape);
      },
      [&](HeadlessControl&) { EXPECT_FALSE(inst_.Record("TranLauV", k)) << "the new card is deleted on Escape"; },
  });
  EXPECT_EQ(run.Execute(), 0) << run.Failure();
  EXPECT_EQ(run.StepsRun(), 4u);
  EXPECT_TRUE(sawRecord);
  EXPECT_NE(screen.find(values::Utf8ToCp850("Pròrroga tàcita ....: No")), std::string::npos) << screen;
  EXPECT_NE(screen.find(values::Utf8ToCp850("Contracte actiu ....: Sí")), std::string::npos) << screen;
  EXPECT_FALSE(inst_.Record("TranLauV", k));
}

TEST_F(ProgramTest, ChangedNewRecordIsStoredWholeWithDefaults) {
  auto [p, d] = Department(false);
  const std::string k = DepartmentKey(p, d);
  Session run(inst_, {
      [&](HeadlessControl& c) { c.PushText(Code(p)); },
      [&](HeadlessControl& c) { c.PushText(Code(d)); },
      [&](HeadlessControl& c) {
        c.PushText("01/02/2026\t");  // field 5, then on to field 6
        c.PushKey(key::kEnter);      // Enter leaves panel 3 and saves
      },
  });
  EXPECT_EQ(run.Execute(), 0) << run.Failure();
  std::optional<std::string> r = inst_.Record("TranLauV", k);
  ASSERT_TRUE(r);
  ASSERT_GE(r->size(), 57u);
  EXPECT_EQ(r->substr(0, 4), k);
  EXPECT_EQ(r->substr(4, 4), PackedDate(2026, 2, 1));
  EXPECT_EQ(r->substr(8, 4), std::string(4, '\x80')) << "a blank date is the empty date";
  EXPECT_EQ((*r)[12], 'N');
  EXPECT_EQ((*r)[13], 'S');
  for (std::size_t o : {36u, 37u, 38u, 43u, 44u}) EXPECT_EQ((*r)[o], 'N') << o;
  EXPECT_EQ(Int32At(*r, 26), 0);
  // The change log has the insert (2) and the update (3) of file 508, both successful.
  std::string log = inst_.ReadFile("db.log");
  EXPECT_NE(log.find(" 508           2             0"), std::string::npos) << log;
  EXPECT_NE(log.find(" 508           3             0"), std::string::npos) << log;
}

TEST_F(ProgramTest, EscapeAfterChangesLeavesTheStoredCardAsItWas) {
  auto [p, d] = Department(true);
  const std::string k = DepartmentKey(p, d);
  std::optional<std::string> before = inst_.Record("TranLauV", k);
  ASSERT_TRUE(before);
  Session run(inst_, {
      [&](HeadlessControl& c) { c.PushText(Code(p)); },
      [&](HeadlessControl& c) { c.PushText(Code(d)); },
      [&](HeadlessControl& c) {
        for (int i = 0; i < 4; ++i) c.PushKey(key::kDown);  // field 5 to field 9
        c.PushKey(key::kCtrlY);
        c.PushText("7\t");              // accepted: the card counts as changed
        c.PushKey(key::kEscape);        // to the first field
        c.PushKey(key::kEscape);        // and out, discarding
      },
  });
  EXPECT_EQ(run.Execute(), 0) << run.Failure();
  EXPECT_EQ(inst_.Record("TranLauV", k), before);
}

TEST_F(ProgramTest, ChangedFieldsReachTheirOffsetsAndOthersKeepTheirBytes) {
  auto [p, d] = Department(true);
  const std::string k = DepartmentKey(p, d);
  std::optional<std::string> before = inst_.Record("TranLauV", k);
  ASSERT_TRUE(before);
  Session run(inst_, {
      [&](HeadlessControl& c) { c.PushText(Code(p)); },
      [&](HeadlessControl& c) { c.PushText(Code(d)); },
      [&](HeadlessControl& c) {
        for (int i = 0; i < 14; ++i) c.PushKey(key::kDown);  // field 5 to field 19
        c.PushKey(key::kCtrlY);
        c.PushText("12.5\t");
        c.PushKey(key::kCtrlY);
        c.PushText("40000\t");  // field 20 holds 16 bits: refused, stays on field 20
        c.PushKey(key::kCtrlY);
        c.PushText("321\r");    // Enter saves
      },
  });
  EXPECT_EQ(run.Execute(), 0) << run.Failure();
  std::optional<std::string> r = inst_.Record("TranLauV", k);
  ASSERT_TRUE(r);
  EXPECT_EQ(Int32At(*r, 49), 12500);
  EXPECT_EQ(Int16At(*r, 53), 321);
  EXPECT_GE(run.Beeps(), 1) << "the number that does not fit is refused with a beep";
  std::string expected = *before;
  expected.replace(49, 4, r->substr(49, 4));
  expected.replace(53, 2, r->substr(53, 2));
  EXPECT_EQ(*r, expected) << "no other byte changes";
}

TEST_F(ProgramTest, UnknownPropertyIsRefusedWithItsMessage) {
  int missing = MissingProperty();
  std::string shown;
  Session run(inst_, {
      [&](HeadlessControl& c) { c.PushText(Code(missing)); },
      [&](HeadlessControl& c) {
        shown = c.Row(10);  // a one-line box around row 12 has its text on row 10
        c.PushKey('x');      // any key closes the message
      },
      [&](HeadlessControl& c) { c.PushKey(key::kEscape); },
  });
  EXPECT_EQ(run.Execute(), 0) << run.Failure();
  EXPECT_NE(shown.find("FINCA INEXISTENT"), std::string::npos) << shown;
  EXPECT_EQ(run.Beeps(), 1);
}

TEST_F(ProgramTest, PagingPastThePropertysLastDepartmentShowsTheNextProperty) {
  auto it = departments_.begin();
  int p = it->first;
  int last = *std::max_element(it->second.begin(), it->second.end());
  int nextProperty = std::next(it)->first;
  int nextDepartment = *std::min_element(std::next(it)->second.begin(), std::next(it)->second.end());
  std::string panel1, panel2;
  Session run(inst_, {
      [&](HeadlessControl& c) { c.PushText(Code(p)); },
      [&](HeadlessControl& c) { c.PushText(Code(last)); },
      [&](HeadlessControl& c) {
        c.PushKey(key::kPgDn);  // to the last field
        c.PushKey(key::kPgDn);  // and on to the next department
      },
      [&](HeadlessControl& c) {
        panel1 = c.Row(3);
        panel2 = c.Row(4);
        c.PushKey(key::kEscape);
      },
  });
  EXPECT_EQ(run.Execute(), 0) << run.Failure();
  EXPECT_NE(panel1.find(": " + std::to_string(nextProperty)), std::string::npos) << panel1;
  EXPECT_NE(panel2.find(": " + std::to_string(nextDepartment)), std::string::npos) << panel2;
}

TEST_F(ProgramTest, LabelsAndMessagesFollowTheTerminalsLanguage) {
  inst_.SetLanguage("SPA");
  int missing = MissingProperty();
  std::string message, labels;
  Session run(inst_, {
      [&](HeadlessControl& c) { c.PushText(Code(missing)); },
      [&](HeadlessControl& c) {
        message = c.Row(10);
        c.PushKey('x');
      },
      [&](HeadlessControl& c) {
        labels = c.Row(3);
        c.PushKey(key::kEscape);
      },
  });
  EXPECT_EQ(run.Execute(), 0) << run.Failure();
  EXPECT_NE(message.find("FINCA INEXISTENTE"), std::string::npos) << message;
  EXPECT_NE(labels.find("Finca"), std::string::npos) << labels;
}

}  // namespace
}  // namespace app_test

namespace app_test {
namespace {

TEST(ProgramStartTest, AMissingFormEndsTheRunWithItsNameAndANonZeroStatus) {
  Installation inst;
  ASSERT_TRUE(inst.ok());
  ASSERT_EQ(std::remove((inst.root() + "/FORMS/MODCARTA.ZPN").c_str()), 0);
  Session run(inst, {});
  EXPECT_NE(run.Execute(), 0);
  EXPECT_NE(run.Failure().find("MODCARTA.ZPN"), std::string::npos) << run.Failure();
}

TEST(ProgramStartTest, ADataFileThatCannotBeOpenedIsReportedAndEndsTheRun) {
  if (testing_support::RecordFilesOnServer()) GTEST_SKIP() << "the file is removed from this host";
  Installation inst;
  ASSERT_TRUE(inst.ok());
  // Neither the file nor its description: it can be neither opened nor created.
  std::system(("rm -f '" + inst.root() + "/DADES/TranLauV.dat'* '" + inst.root() + "/ddf/TranLauV.xdf'").c_str());
  std::string screen;
  Session run(inst, {[&](tui::HeadlessControl& c) {
    screen = c.Text();
    c.PushKey('x');  // acknowledges the message
  }});
  EXPECT_NE(run.Execute(), 0);
  EXPECT_EQ(run.StepsRun(), 1u);
  EXPECT_NE(screen.find("TranLauV"), std::string::npos) << screen;
  EXPECT_NE(run.Failure().find("DADES/TranLauV"), std::string::npos) << run.Failure();
}

}  // namespace
}  // namespace app_test

namespace app_test {
namespace {

// The lock file's records: station name (15), number (11), stamp (8), type (1), ... 121 bytes.
std::vector<std::string> LockRecords(const Installation& inst) {
  std::string bytes = inst.ReadFile("LOCKS/TranLauV.lck");
  std::vector<std::string> live;
  for (std::size_t at = 0; at + 121 <= bytes.size(); at += 121) {
    std::string r = bytes.substr(at, 121);
    if (r[34] != ' ') live.push_back(r);
  }
  return live;
}

TEST(ProgramLockTest, TheRegistryEntryOfAnOpenCardIsRenewedWhileTheOperatorWaits) {
  Installation inst;
  ASSERT_TRUE(inst.ok());
  auto [p, d] = DemoCodes("TranLauV").front();
  std::vector<std::string> taken, renewed, after;
  Session* session = nullptr;
  Session run(inst, {
      [&](tui::HeadlessControl& c) { c.PushText(std::to_string(p) + "\r"); },
      [&](tui::HeadlessControl& c) { c.PushText(std::to_string(d) + "\r"); },
      [&](tui::HeadlessControl&) {
        taken = LockRecords(inst);
        session->System().shiftMinutes = 11;  // the operator leaves the card open for a while
      },
      [&](tui::HeadlessControl& c) {
        renewed = LockRecords(inst);
        c.PushKey(tui::key::kEscape);
      },
      [&](tui::HeadlessControl&) { after = LockRecords(inst); },
  });
  session = &run;
  EXPECT_EQ(run.Execute(), 0) << run.Failure();
  ASSERT_EQ(taken.size(), 1u);
  ASSERT_EQ(renewed.size(), 1u) << "renewing rewrites the station's own record";
  int stampTaken = std::atoi(taken[0].substr(26, 8).c_str());
  int stampRenewed = std::atoi(renewed[0].substr(26, 8).c_str());
  EXPECT_GE(stampRenewed - stampTaken, 10);
  EXPECT_EQ(taken[0].substr(0, 26), renewed[0].substr(0, 26)) << "the same station";
  EXPECT_TRUE(after.empty()) << "released when the card is left";
}

TEST(ProgramStartTest, ADatabaseServerThatCannotBeReachedIsReportedLikeAnUnopenableFile) {
  if (testing_support::RecordFilesOnServer()) GTEST_SKIP() << "Orba.ini names the test's own server already";
  Installation inst;
  ASSERT_TRUE(inst.ok());
  // Named in Orba.ini, but nothing listens there: the first data file cannot be opened.
  std::ofstream(inst.root() + "/Orba.ini", std::ios::binary | std::ios::app)
      << "[Dades]\r\nServidor=host=" << inst.scratch() << " port=1 dbname=none connect_timeout=2\r\n";
  std::string screen;
  Session run(inst, {[&](tui::HeadlessControl& c) {
    screen = c.Text();
    c.PushKey('x');
  }});
  EXPECT_EQ(run.Execute(), 1);
  EXPECT_NE(screen.find("FinquesV"), std::string::npos) << screen;
  EXPECT_NE(run.Failure().find("the data file " + inst.root() + "/DADES/FinquesV could not be opened"), std::string::npos)
      << run.Failure();
}

}  // namespace
}  // namespace app_test

namespace app_test {
namespace {

// Another client of the record manager holding a record lock on one TranLauV record.
class RecordLockHolder {
 public:
  RecordLockHolder(const Installation& inst, const std::string& key) : engine_(inst.root(), inst.conninfo()) {
    std::string path = inst.root() + "/DADES/TranLauV.dat";
    char owner[5] = {'M', 'O', 'D', 'C', 0};
    std::uint32_t len = 5;
    std::vector<char> k(path.begin(), path.end());
    k.resize(256, '\0');
    opened_ = engine_.BTRCALL(recman::kOpOpen, pos_, owner, &len, k.data(), static_cast<std::uint8_t>(path.size() + 1), 0) == 0;
    std::vector<char> data(256);
    len = static_cast<std::uint32_t>(data.size());
    std::vector<char> kb(key.begin(), key.end());
    kb.resize(256, '\0');
    locked_ = opened_ && engine_.BTRCALL(recman::kOpGetEqual + recman::kLockMultipleNoWait, pos_, data.data(), &len,
                                         kb.data(), static_cast<std::uint8_t>(key.size()), 0) == 0;
  }
  ~RecordLockHolder() { Release(); }
  bool locked() const { return locked_; }
  void Release() {
    if (!opened_) return;
    std::uint32_t zero = 0;
    engine_.BTRCALL(recman::kOpClose, pos_, nullptr, &zero, nullptr, 0, 0);
    opened_ = false;
  }

 private:
  testing_support::TestEngine engine_;
  char pos_[recman::kPositionBlockSize] = {};
  bool opened_ = false;
  bool locked_ = false;
};

TEST_F(ProgramTest, AFailedSaveIsShownAndKeepsTheTypedValuesForAnotherTry) {
  auto [p, d] = Department(true);
  const std::string k = DepartmentKey(p, d);
  std::optional<std::string> before = inst_.Record("TranLauV", k);
  ASSERT_TRUE(before);
  std::unique_ptr<RecordLockHolder> holder;
  std::string message;
  std::optional<std::string> whileHeld;
  Session run(inst_, {
      [&](HeadlessControl& c) { c.PushText(Code(p)); },
      [&](HeadlessControl& c) { c.PushText(Code(d)); },
      [&](HeadlessControl& c) {
        holder = std::make_unique<RecordLockHolder>(inst_, k);
        for (int i = 0; i < 4; ++i) c.PushKey(key::kDown);  // field 9
        c.PushKey(key::kCtrlY);
        c.PushText("4321\r");  // Enter saves: refused while the record is held elsewhere
      },
      [&](HeadlessControl& c) {
        message = c.Text();
        whileHeld = inst_.Record("TranLauV", k);
        holder->Release();
        c.PushKey('x');  // closes the message; the card is shown again with what was typed
      },
      [&](HeadlessControl& c) { c.PushKey(key::kEnter); },  // and now it is saved
  });
  EXPECT_EQ(run.Execute(), 0) << run.Failure();
  ASSERT_TRUE(holder && holder->locked()) << "the other client could not lock the record";
  EXPECT_NE(message.find("NO S'HAN POGUT DESAR ELS CANVIS"), std::string::npos) << message;
  EXPECT_EQ(whileHeld, before) << "nothing written while the save failed";
  std::optional<std::string> r = inst_.Record("TranLauV", k);
  ASSERT_TRUE(r);
  EXPECT_EQ(Int32At(*r, 26), 4321) << "the value typed before the failure was kept and saved";
}

// Another client writes the card between the load and the save: the save is refused, and the
// next one writes the typed field over the card as the other client left it. A card this load
// created and the other client then wrote is no longer this load's to delete on Escape.
TEST_F(ProgramTest, ARefusedSaveRetriedKeepsWhatAnotherClientWrote) {
  auto put32 = [](std::string& r, std::size_t at, std::int32_t v) {
    for (int i = 0; i < 4; ++i) r[at + static_cast<std::size_t>(i)] = static_cast<char>((static_cast<std::uint32_t>(v) >> (8 * i)) & 0xFF);
  };
  for (bool existing : {true, false}) {
    SCOPED_TRACE(existing ? "a stored card, saved again" : "a new card, then Escape");
    auto [p, d] = Department(existing);
    const std::string k = DepartmentKey(p, d);
    int otherStatus = -2;
    std::string message;
    Session run(inst_, {
        [&](HeadlessControl& c) { c.PushText(Code(p)); },
        [&](HeadlessControl& c) { c.PushText(Code(d)); },
        [&](HeadlessControl& c) {
          otherStatus = UpdateInOtherProcess(inst_, "TranLauV", k, [&](std::string& r) { put32(r, 32, 777); });
          for (int i = 0; i < 4; ++i) c.PushKey(key::kDown);  // field 9
          c.PushKey(key::kCtrlY);
          c.PushText("4321\r");  // refused: the card changed since it was read
        },
        [&](HeadlessControl& c) {
          message = c.Text();
          c.PushKey('x');
        },
        [&](HeadlessControl& c) { c.PushKey(existing ? key::kEnter : key::kEscape); },
    });
    EXPECT_EQ(run.Execute(), 0) << run.Failure();
    ASSERT_EQ(otherStatus, 0) << "the other client could not write the card";
    EXPECT_NE(message.find("NO S'HAN POGUT DESAR ELS CANVIS (80)"), std::string::npos) << message;
    std::optional<std::string> r = inst_.Record("TranLauV", k);
    ASSERT_TRUE(r) << "the card the other client wrote was deleted";
    EXPECT_EQ(Int32At(*r, 32), 777) << "the other client's field was put back";
    EXPECT_EQ(Int32At(*r, 26), existing ? 4321 : 0);
  }
}

}  // namespace
}  // namespace app_test
