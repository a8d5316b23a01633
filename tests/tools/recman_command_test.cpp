// The recman utility run as a program on files in a temporary directory.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "recman/engine.h"
#include "recman/status.h"
#include "support/run_program.h"
#include "support/temp_dir.h"
#include "tools/recman/record_stream.h"

namespace {

using testing_support::TempDir;

using testing_support::ReadFile;
using testing_support::Result;
using testing_support::WriteFile;

// A 60-byte record file like TranLauV: key 0 the packed property and department codes, key 1
// a signed integer with duplicates, key 2 a text that may be null (all blanks).
const char* const kLayout = R"({
  "comment": "a department file for the tests",
  "record length": 60,
  "page size": 1024,
  "keys": [
    [ {"position": 1, "length": 2}, {"position": 3, "length": 2} ],
    [ {"position": 15, "length": 4, "type": "integer", "flags": ["duplicates", "modifiable"]} ],
    [ {"position": 23, "length": 10, "flags": ["duplicates", "modifiable", "null", "case-insensitive"],
       "null value": " "} ]
  ],
  "fields": [
    {"name": "finca", "offset": 0, "width": 2, "type": "packed code"},
    {"name": "departament", "offset": 2, "width": 2, "type": "packed code"},
    {"name": "alta", "offset": 4, "type": "packed date"},
    {"name": "tipus", "offset": 12, "type": "char"},
    {"name": "import", "offset": 14, "type": "int32"},
    {"name": "nom", "offset": 22, "width": 10, "type": "text"},
    {"name": "preu", "offset": 49, "type": "thousandths"},
    {"name": "planta", "offset": 53, "type": "int16"}
  ]
})";

class RecmanCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.path().empty());
    WriteFile(dir_ / "layout.json", kLayout);
  }

  // Runs the utility in the temporary directory, standard input from a file when given.
  Result Run(const std::vector<std::string>& args, const std::string& stdinBytes = "") {
    return testing_support::RunProgram(dir_.path(), std::string(MODCARTA_BIN_DIR) + "/recman", args, stdinBytes);
  }

  // A fresh file "dep.dat" from the layout.
  void CreateFile() {
    Result x = Run({"xdf", "layout.json", "dep.xdf"});
    ASSERT_EQ(x.status, 0) << x.err;
    Result c = Run({"create", "dep.dat", "dep.xdf"});
    ASSERT_EQ(c.status, 0) << c.err;
  }

  // A record with the given codes, integer key and name (blank-padded to 10).
  static std::string Record(int property, int department, std::int32_t amount, const std::string& name) {
    std::string r(60, '\0');
    r[0] = static_cast<char>(0x80 + property / 100);
    r[1] = static_cast<char>(0x80 + property % 100);
    r[2] = static_cast<char>(0x80 + department / 100);
    r[3] = static_cast<char>(0x80 + department % 100);
    for (int i = 0; i < 4; ++i) r[4 + i] = '\x80';
    r[12] = 'A';
    auto bits = static_cast<std::uint32_t>(amount);
    for (int i = 0; i < 4; ++i) r[14 + i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
    std::string padded = name;
    padded.resize(10, ' ');
    r.replace(22, 10, padded);
    return r;
  }

  static std::string Stream(const std::vector<std::string>& records) {
    std::string s;
    for (const auto& r : records) recman_tool::AppendStreamRecord(s, r);
    return s;
  }

  // The whole file in key 0 order, as the unformatted stream.
  std::string Contents() {
    Result r = Run({"save", "dep.dat", "-"});
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
  }

  TempDir dir_;
};

TEST_F(RecmanCommandTest, StatDescribesTheFileInWords) {
  CreateFile();
  ASSERT_EQ(Run({"load", "dep.dat", "-"}, Stream({Record(1, 1, 5, "ROSA"), Record(1, 2, 5, "")})).status, 0);
  Result r = Run({"stat", "dep.dat"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "dep.dat\n"
            "  record length: 60 bytes\n"
            "  page size: 1024 bytes\n"
            "  records: 2\n"
            "  file flags: none\n"
            "  keys: 3\n"
            "  key 0: 4 bytes in 2 segments, unique, not modifiable, 2 distinct values\n"
            "    segment 1: position 1, length 2, string, ascending\n"
            "    segment 2: position 3, length 2, string, ascending\n"
            "  key 1: 4 bytes in 1 segment, duplicates allowed, modifiable, 1 distinct value\n"
            "    segment 1: position 15, length 4, integer, ascending\n"
            "  key 2: 10 bytes in 1 segment, duplicates allowed, modifiable, null key when every segment holds "
            "only the null byte, 1 distinct value\n"
            "    segment 1: position 23, length 10, string, ascending, case-insensitive, null byte 32 (blank)\n");
}

TEST_F(RecmanCommandTest, StatShowsTypesCollatingSequencesAndVariableLength) {
  std::string table;
  for (int i = 0; i < 256; ++i) table += (i ? "," : "") + std::to_string(i >= 'a' && i <= 'z' ? i - 32 : i);
  WriteFile(dir_ / "v.json", R"({"record length": 20, "file flags": ["variable length", "free space 30"],
    "keys": [[{"position": 1, "length": 10, "collating": "UP"}],
             [{"position": 11, "length": 2, "type": "autoincrement"}],
             [{"position": 13, "length": 4, "type": "zstring", "flags": ["descending", "duplicates"]}]],
    "collating sequences": [{"name": "UP", "table": [)" + table + "]}]}");
  ASSERT_EQ(Run({"xdf", "v.json", "v.xdf"}).status, 0);
  ASSERT_EQ(Run({"create", "v.dat", "v.xdf"}).status, 0);
  // A longer record is fine in a variable-length file; an autoincrement of 0 gets its number.
  std::string a = std::string("abc       ") + std::string("\0\0Z\0\0\0    ", 10);
  std::string b = "abd       x" + a.substr(11) + "tail";
  ASSERT_EQ(Run({"load", "v.dat", "-"}, Stream({a, b})).status, 0);
  Result r = Run({"stat", "v.dat"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "v.dat\n"
            "  record length: 20 bytes (variable length, at least this)\n"
            "  page size: 4096 bytes\n"
            "  records: 2\n"
            "  file flags: free space 30, variable length\n"
            "  keys: 3\n"
            "  key 0: 10 bytes in 1 segment, unique, not modifiable, 2 distinct values\n"
            "    segment 1: position 1, length 10, string, ascending, collating sequence UP\n"
            "  key 1: 2 bytes in 1 segment, unique, not modifiable, 2 distinct values\n"
            "    segment 1: position 11, length 2, autoincrement, ascending\n"
            "  key 2: 4 bytes in 1 segment, duplicates allowed, not modifiable, 1 distinct value\n"
            "    segment 1: position 13, length 4, zstring, descending\n"
            "  collating sequence 0: UP\n");
  Result saved = Run({"save", "v.dat", "-", "--key", "1"});
  ASSERT_EQ(saved.status, 0) << saved.err;
  std::string first = a;
  first[10] = '\x01';
  EXPECT_EQ(saved.out, Stream({first, b}));
}

TEST_F(RecmanCommandTest, CreateRefusesAnExistingFileUnlessReplacing) {
  CreateFile();
  ASSERT_EQ(Run({"load", "dep.dat", "-"}, Stream({Record(1, 1, 5, "ROSA")})).status, 0);
  Result again = Run({"create", "dep.dat", "dep.xdf"});
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.err.find("dep.dat"), std::string::npos) << again.err;
  EXPECT_NE(again.err.find("status 59"), std::string::npos) << again.err;
  EXPECT_EQ(Contents(), Stream({Record(1, 1, 5, "ROSA")}));  // untouched

  Result replaced = Run({"create", "dep.dat", "dep.xdf", "--replace"});
  ASSERT_EQ(replaced.status, 0) << replaced.err;
  EXPECT_EQ(Contents(), "");
}

TEST_F(RecmanCommandTest, CreateReportsBadDescriptions) {
  struct Case {
    std::string bytes;
    const char* message;
  };
  const Case cases[] = {
      {"", "too short"},
      {std::string("\x20\x00", 2) + std::string(10, '\0'), "only 10 do"},
      // Record length 60, page size 1000: the engine answers 24.
      {std::string("\x20\x00" "\x3c\x00\xe8\x03\x01\x00", 8) + std::string(10, '\0') +
           std::string("\x01\x00\x02\x00", 4) + std::string(12, '\0'),
       "status 24"},
  };
  for (const Case& c : cases) {
    WriteFile(dir_ / "bad.xdf", c.bytes);
    Result r = Run({"create", "bad.dat", "bad.xdf"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("bad."), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
  Result missing = Run({"create", "x.dat", "nothing.xdf"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("nothing.xdf: cannot be read"), std::string::npos) << missing.err;
}

TEST_F(RecmanCommandTest, XdfNamesTheLayoutLineAndColumn) {
  WriteFile(dir_ / "bad.json", "{\n  \"record length\": 60,\n  \"keys\": [[{\"position\": 59, \"length\": 4}]]\n}\n");
  Result r = Run({"xdf", "bad.json", "bad.xdf"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("bad.json:3:13: the segment ends at byte 62"), std::string::npos) << r.err;
  EXPECT_FALSE(std::ifstream(dir_ / "bad.xdf").good());  // nothing written

  Result self = Run({"xdf", "layout.json", "layout.json"});
  EXPECT_EQ(self.status, 1);
  EXPECT_EQ(ReadFile(dir_ / "layout.json"), kLayout);
}

TEST_F(RecmanCommandTest, UnformattedStreamRoundTripsEveryByte) {
  CreateFile();
  // Bytes that look like the stream's own syntax: CR LF, commas, digits, 0x1A, zeros.
  std::string tricky = Record(2, 1, -7, "A,1\r\n\x1A");
  std::vector<std::string> records = {Record(3, 9, 100, "CARME"), tricky, Record(1, 5, 100, "")};
  Result load = Run({"load", "dep.dat", "-"}, Stream(records) + "\x1A");
  ASSERT_EQ(load.status, 0) << load.err;
  EXPECT_EQ(load.out, "dep.dat: 3 records loaded\n");

  // Key 0 order, no end-of-file mark written.
  EXPECT_EQ(Contents(), Stream({records[2], tricky, records[0]}));
  Result byAmount = Run({"save", "dep.dat", "-", "--key", "1"});
  ASSERT_EQ(byAmount.status, 0) << byAmount.err;
  // Duplicates of 100 keep the order in which they were loaded.
  EXPECT_EQ(byAmount.out, Stream({tricky, records[0], records[2]}));

  // Into a file, then loaded into a second file: the same bytes.
  Result save = Run({"save", "dep.dat", "copy.txt"});
  ASSERT_EQ(save.status, 0) << save.err;
  EXPECT_EQ(save.out, "dep.dat: 3 records saved to copy.txt\n");
  EXPECT_EQ(ReadFile(dir_ / "copy.txt"), Contents());
  ASSERT_EQ(Run({"create", "two.dat", "dep.xdf"}).status, 0);
  ASSERT_EQ(Run({"load", "two.dat", "copy.txt"}).status, 0);
  EXPECT_EQ(Run({"save", "two.dat", "-"}).out, Contents());
}

TEST_F(RecmanCommandTest, AFailedLoadChangesNothing) {
  CreateFile();
  std::vector<std::string> existing = {Record(1, 1, 5, "ROSA"), Record(1, 3, 6, "PERE")};
  ASSERT_EQ(Run({"load", "dep.dat", "-"}, Stream(existing)).status, 0);
  const std::string before = Contents();

  struct Case {
    const char* what;
    std::string input;
    const char* message;  // a part of the one message
  };
  const Case cases[] = {
      {"a duplicate of an existing record",
       Stream({Record(2, 1, 1, "A"), Record(2, 2, 1, "B"), Record(1, 3, 1, "C"), Record(2, 4, 1, "D")}),
       "dep.dat: record 3 of -: status 5, duplicate key value; nothing was loaded"},
      {"a duplicate inside the input",
       Stream({Record(4, 1, 1, "A"), Record(4, 1, 2, "B")}),
       "record 2 of -: status 5"},
      {"a record of the wrong length",
       Stream({Record(5, 1, 1, "A"), Record(5, 2, 1, "B").substr(0, 59)}),
       "-: record 2: 59 bytes, but the records of dep.dat are 60 bytes; nothing was loaded"},
      {"a damaged stream",
       Stream({Record(6, 1, 1, "A")}) + "60;",
       "-: record 2 (byte 67): expected a comma"},
  };
  for (const Case& c : cases) {
    Result r = Run({"load", "dep.dat", "-"}, c.input);
    EXPECT_EQ(r.status, 1) << c.what;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.what << ": " << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << c.what << ": one message: " << r.err;
    EXPECT_EQ(Contents(), before) << c.what;
  }
  // The undo leaves the file sound.
  Result v = Run({"verify", "dep.dat"});
  EXPECT_EQ(v.status, 0) << v.out << v.err;
}

TEST_F(RecmanCommandTest, LoadWaitsForNobodyAndRefusesAFileInUse) {
  CreateFile();
  recman::Engine engine;
  char block[recman::kPositionBlockSize] = {};
  std::string path = dir_ / "dep.dat";
  path += '\0';
  std::uint32_t length = 0;
  char owner[8] = {};
  ASSERT_EQ(engine.BTRCALL(recman::kOpOpen, block, owner, &length, path.data(),
                           static_cast<std::uint8_t>(path.size()), 0),
            recman::kStatusOk);
  Result r = Run({"load", "dep.dat", "-"}, Stream({Record(1, 1, 1, "A")}));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("dep.dat: the file is open in another program (status 85"), std::string::npos) << r.err;
  // Reading still works beside the other program.
  EXPECT_EQ(Run({"save", "dep.dat", "-"}).status, 0);
  engine.BTRCALL(recman::kOpClose, block, nullptr, &length, path.data(), 0, 0);
  EXPECT_EQ(Contents(), "");
}

TEST_F(RecmanCommandTest, CsvRoundTripsThroughTheLayout) {
  CreateFile();
  // Code page 850 letters in UTF-8, a quoted comma, an empty date, negative thousandths.
  const std::string csv =
      "finca,departament,alta,tipus,import,nom,preu,planta\r\n"
      "005,001,2024-02-29,S,-12,\"Ca\xC3\xB1\x61, S\xC3\x80\",12.5,3\r\n"
      "012,007,,,0,,-0.005,-1\r\n";
  Result load = Run({"load", "dep.dat", "in.csv", "--layout", "layout.json", "--csv"}, "");
  EXPECT_EQ(load.status, 1);  // no such input yet
  EXPECT_NE(load.err.find("in.csv: cannot be read"), std::string::npos) << load.err;
  WriteFile(dir_ / "in.csv", csv);
  load = Run({"load", "dep.dat", "in.csv", "--layout", "layout.json", "--csv"});
  ASSERT_EQ(load.status, 0) << load.err;

  Result save = Run({"save", "dep.dat", "-", "--csv", "--layout", "layout.json"});
  ASSERT_EQ(save.status, 0) << save.err;
  EXPECT_EQ(save.out, csv);

  // The record holds code page 850: ñ A4, À B7, padded with blanks; the codes base-hundred.
  std::string stream = Contents();
  std::string first = stream.substr(3, 60);
  EXPECT_EQ(first.substr(0, 4), "\x80\x85\x80\x81");
  EXPECT_EQ(first.substr(4, 4), "\x94\x98\x82\x9D");
  EXPECT_EQ(first.substr(22, 10), "Ca\xA4" "a, S\xB7  ");
  EXPECT_EQ(first.substr(49, 4), std::string("\xD4\x30\x00\x00", 4));
  EXPECT_EQ(first.substr(32, 17), std::string(17, '\0'));  // bytes outside every field
}

TEST_F(RecmanCommandTest, CsvErrorsNameRecordLineAndField) {
  CreateFile();
  struct Case {
    std::string csv;
    const char* message;
  };
  const std::string header = "finca,departament,alta,tipus,import,nom,preu,planta\r\n";
  const Case cases[] = {
      {header + "005,001,,,0,,0,0\r\n005,002,2023-02-29,,0,,0,0\r\n",
       "in.csv: record 2 (line 3), field \"alta\": \"2023-02-29\" is not a calendar date"},
      {header + "005,001,,,0,\"\xE2\x82\xAC\",0,0\r\n", "record 1 (line 2), field \"nom\": the character U+20AC"},
      {header + "005,001,,,0,,0\r\n", "record 1 (line 2): 7 cells, the header has 8"},
      {"finca,departament\r\n", "line 1: the header has no column \"alta\""},
      {header + "005,001,,,0,,0,0\r\n005,001,,,0,,0,0\r\n", "dep.dat: record 2 of in.csv: status 5"},
      {"", "the header row is missing"},
  };
  for (const Case& c : cases) {
    WriteFile(dir_ / "in.csv", c.csv);
    Result r = Run({"load", "dep.dat", "in.csv", "--layout", "layout.json", "--csv"});
    EXPECT_EQ(r.status, 1) << c.csv;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(Contents(), "") << c.csv;
  }
  // A layout for other records than the file's, here from standard input.
  std::string other = kLayout;
  other.replace(other.find("\"record length\": 60"), 19, "\"record length\": 61");
  WriteFile(dir_ / "other.json", other);
  Result r = Run({"load", "dep.dat", "-", "--layout", "other.json", "--csv"}, header);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("other.json: the layout's records are 61 bytes, but those of dep.dat are 60"),
            std::string::npos)
      << r.err;
}

TEST_F(RecmanCommandTest, AFailedSaveKeepsTheOldOutput) {
  CreateFile();
  std::string odd = Record(1, 1, 0, "X");
  odd[4] = ' ';  // not a packed date
  ASSERT_EQ(Run({"load", "dep.dat", "-"}, Stream({Record(1, 0, 0, "A"), odd})).status, 0);
  WriteFile(dir_ / "out.csv", "old contents");
  Result r = Run({"save", "dep.dat", "out.csv", "--layout", "layout.json", "--csv"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("dep.dat: record 2 in the order of key 0, field \"alta\": the byte 32 is not a base-hundred"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(ReadFile(dir_ / "out.csv"), "old contents");
  // The unformatted stream carries it.
  EXPECT_EQ(Run({"save", "dep.dat", "out.txt"}).status, 0);
  EXPECT_EQ(ReadFile(dir_ / "out.txt"), Stream({Record(1, 0, 0, "A"), odd}));
  // A save over the record file itself is refused before anything is written.
  Result self = Run({"save", "dep.dat", "DEP.DAT"});
  EXPECT_EQ(self.status, 1);
  // Named as the file it is.
  EXPECT_NE(self.err.find("dep.dat: the output would overwrite the record file"), std::string::npos) << self.err;
  EXPECT_EQ(Contents(), Stream({Record(1, 0, 0, "A"), odd}));
}

TEST_F(RecmanCommandTest, SavingByANullKeyWouldLoseRecords) {
  CreateFile();
  ASSERT_EQ(Run({"load", "dep.dat", "-"}, Stream({Record(1, 1, 0, "A"), Record(1, 2, 0, "")})).status, 0);
  Result r = Run({"save", "dep.dat", "-", "--key", "2"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("key 2 is a null key and leaves out 1 of the 2 records"), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");
  Result bad = Run({"save", "dep.dat", "-", "--key", "3"});
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("the file has no key 3 (its keys are 0 to 2)"), std::string::npos) << bad.err;
}

TEST_F(RecmanCommandTest, VerifyPassesSoundFilesAndFailsDamagedOnes) {
  CreateFile();
  ASSERT_EQ(Run({"load", "dep.dat", "-"}, Stream({Record(1, 1, 0, "A")})).status, 0);
  Result good = Run({"verify", "dep.dat"});
  EXPECT_EQ(good.status, 0) << good.out << good.err;
  EXPECT_NE(good.out.find("dep.dat: no faults found"), std::string::npos) << good.out;

  WriteFile(dir_ / "junk.dat", std::string(4096, 'x'));
  Result junk = Run({"verify", "junk.dat"});
  EXPECT_EQ(junk.status, 1);
  EXPECT_NE(junk.err.find("junk.dat: the file failed verification"), std::string::npos) << junk.err;
  Result stat = Run({"stat", "junk.dat"});
  EXPECT_EQ(stat.status, 1);
  EXPECT_NE(stat.err.find("junk.dat: not a record file (status 30"), std::string::npos) << stat.err;
  Result none = Run({"stat", "none.dat"});
  EXPECT_EQ(none.status, 1);
  EXPECT_NE(none.err.find("none.dat: no such record file (status 12"), std::string::npos) << none.err;
}

TEST_F(RecmanCommandTest, BackupCopiesIntoAFileOrAFolderAndRefusesItself) {
  CreateFile();
  ASSERT_EQ(Run({"load", "dep.dat", "-"}, Stream({Record(1, 1, 5, "ROSA"), Record(2, 1, 5, "")})).status, 0);
  std::filesystem::create_directory(dir_ / "nightly");
  Result intoFolder = Run({"backup", "dep.dat", "nightly"});
  ASSERT_EQ(intoFolder.status, 0) << intoFolder.err;
  EXPECT_EQ(intoFolder.out, "dep.dat: copied to nightly/dep.dat and verified\n");
  EXPECT_EQ(Run({"save", "nightly/dep.dat", "-"}).out, Contents());
  ASSERT_EQ(Run({"load", "dep.dat", "-"}, Stream({Record(3, 1, 5, "NOVA")})).status, 0);
  ASSERT_EQ(Run({"backup", "dep.dat", "nightly/dep.dat"}).status, 0) << "an older copy is replaced";
  EXPECT_EQ(Run({"save", "nightly/dep.dat", "-"}).out, Contents());

  Result itself = Run({"backup", "dep.dat", "."});
  EXPECT_EQ(itself.status, 1);
  EXPECT_NE(itself.err.find("would overwrite the file itself"), std::string::npos) << itself.err;
  Result junk = Run({"backup", "layout.json", "nightly/dep.dat"});
  EXPECT_EQ(junk.status, 1);
  EXPECT_NE(junk.err.find("layout.json: no copy made: not a record file"), std::string::npos) << junk.err;
  EXPECT_EQ(Run({"save", "nightly/dep.dat", "-"}).out, Contents()) << "a failed backup leaves the copy";
}

TEST_F(RecmanCommandTest, CommandLineMistakesShowTheUsage) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"copy", "a"},
      {"copy", "server:a", "b"},
      {"stat", "a.dat", "--server"},
      {"stat"},
      {"stat", "a", "b"},
      {"create", "a.dat", "a.xdf", "--key", "1"},
      {"save", "a.dat", "-", "--key"},
      {"save", "a.dat", "-", "--key", "x"},
      {"save", "a.dat", "-", "--csv"},
      {"load", "a.dat", "-", "--layout", "layout.json"},
      {"load", "a.dat", "-", "--verbose"},
      {"backup", "a.dat"},
      {"backup", "a.dat", "b.dat", "--csv"},
  };
  for (const auto& args : cases) {
    Result r = Run(args);
    EXPECT_EQ(r.status, 2) << (args.empty() ? "" : args[0]);
    EXPECT_NE(r.err.find("usage:"), std::string::npos) << r.err;
  }
}

}  // namespace
