// Edge cases of the record card over a real demo installation on the headless console: codes
// of 0 after paging, an installation found through the working directory, refused codes, the
// limits of the number fields, dates cleared, the characters at 36 to 38, the decimal field,
// the selection lists, the languages and the change log.
#include <algorithm>
#include <cctype>
#include <map>

#include <gtest/gtest.h>

#include "installation.h"
#include "storage/access_log.h"
#include "tui/console/keys.h"
#include "values/cp850.h"

namespace app_test {
namespace {

using tui::HeadlessControl;
namespace key = tui::key;

std::string Cp850(const char* utf8) { return values::Utf8ToCp850(utf8); }

// Panel 3's window starts at screen row 6 and column 2: field row r is screen row 6 + r.
constexpr int kPanel3Top = 6;

class RecordCardEdges : public DemoFixture {
 protected:
  static std::string Code3(int n) {
    std::string text = std::to_string(n);
    return std::string(3 - std::min<std::size_t>(3, text.size()), '0') + text;
  }
  // Steps that open panel 3 on a department.
  static std::vector<Session::Step> Open(int p, int d) {
    return {[p](HeadlessControl& c) { c.PushText(std::to_string(p) + "\r"); },
            [d](HeadlessControl& c) { c.PushText(std::to_string(d) + "\r"); }};
  }
  // From field 5 (where panel 3 starts) down to field k, clear it and type a text.
  static void TypeInto(HeadlessControl& c, int field, const std::string& text) {
    for (int k = 5; k < field; ++k) c.PushKey(key::kDown);
    c.PushKey(key::kCtrlY);
    c.PushText(text);
    c.PushKey(key::kTab);
  }
  static std::vector<Session::Step> Then(std::vector<Session::Step> steps, std::vector<Session::Step> more) {
    steps.insert(steps.end(), more.begin(), more.end());
    return steps;
  }
};

// Paging shows the number text of each code, which is empty for 0: property 0 and department
// 0 appear as empty fields, never as "0".
TEST_F(RecordCardEdges, CodesOfZeroAreShownEmptyAfterPaging) {
  ASSERT_TRUE(inst_.Load("FinquesV", {"codi,nom,adreca,poblacio,codi_postal,administrador",
                                       "000,Finca de proves,carrer de Proves 1,Lleida,25001,Anna Puig"}));
  ASSERT_TRUE(inst_.Load("DepartaV", {"finca,departament,nom,tipologia,titular,data_alta,superficie,tipus,coeficient",
                                       "000,001,Pis de proves,Habitatge,Anna Puig,2020-01-01,50,H,100",
                                       "005,000,Porteria,Local,Anna Puig,2020-01-01,20,L,10"}));
  const int first = departments_.begin()->first;  // property 5, its first department 1
  const int firstDepartment = *std::min_element(departments_.begin()->second.begin(), departments_.begin()->second.end());
  ASSERT_EQ(first, 5);
  const std::string property = "  Finca ..............: ";
  const std::string department = "  Departament ........: ";
  std::vector<std::pair<std::string, std::string>> seen;
  auto look = [&](HeadlessControl& c) { seen.emplace_back(c.Row(3), c.Row(4)); };
  Session run(inst_, Then(Open(first, firstDepartment), {
      [&](HeadlessControl& c) { c.PushKey(key::kPgUp); },  // field 5 is the first: leave backwards
      [&](HeadlessControl& c) { look(c); c.PushKey(key::kPgUp); },
      [&](HeadlessControl& c) { look(c); c.PushKey(key::kPgDn); c.PushKey(key::kPgDn); },
      [&](HeadlessControl& c) { look(c); c.PushKey(key::kEscape); },
  }));
  EXPECT_EQ(run.Execute(), 0) << run.Failure();
  ASSERT_EQ(seen.size(), 3u);
  // 5/0: the department field is empty.
  EXPECT_EQ(seen[0].first.substr(0, property.size() + 3), property + "5  ");
  EXPECT_EQ(seen[0].second.substr(0, department.size() + 4), department + "    ") << seen[0].second;
  // 0/1: the property field is empty.
  EXPECT_EQ(seen[1].first.substr(0, property.size() + 4), property + "    ") << seen[1].first;
  EXPECT_EQ(seen[1].second.substr(0, department.size() + 3), department + "1  ");
  // And forward again to 5/0.
  EXPECT_EQ(seen[2].first.substr(0, property.size() + 3), property + "5  ");
  EXPECT_EQ(seen[2].second.substr(0, department.size() + 4), department + "    ");
  EXPECT_FALSE(inst_.Record("TranLauV", DepartmentKey(0, 1))) << "the cards created while paging are gone";
  EXPECT_FALSE(inst_.Record("TranLauV", DepartmentKey(5, 0)));
}

// Without ZEDROOT (unset or empty) the program works in the current directory: the form, the
// data files, the lock files and the change log are all found relative to it.
TEST_F(RecordCardEdges, EmptyRootDirWorksInTheCurrentDirectory) {
  auto [p, d] = Department(false);
  const std::string k = DepartmentKey(p, d);
  for (bool unset : {true, false}) {
    SCOPED_TRACE(unset ? "ZEDROOT unset" : "ZEDROOT empty");
    session::MapEnvironment env;
    if (!unset) env.Set("ZEDROOT", "");
    env.Set("ZEDTMP", inst_.station() + "/");
    std::string caption;
    Session run(env, Then(Open(p, d), {
        [&](HeadlessControl& c) {
          caption = c.Row(kPanel3Top);
          TypeInto(c, 9, "250");  // the monthly rent, in cents
          c.PushKey(key::kEnter);
        },
    }));
    run.SetWorkingDirectory(inst_.root());
    EXPECT_EQ(run.Execute(), 0) << run.Failure();
    std::optional<std::string> r = inst_.Record("TranLauV", k);
    ASSERT_TRUE(r);
    EXPECT_EQ(Int32At(*r, 26), 250);
    EXPECT_NE(caption.find("\xC9"), std::string::npos) << "panel 3 was shown: " << caption;
    EXPECT_NE(inst_.ReadFile("db.log").find(storage::AccessLogLine(508, 3, 0)), std::string::npos)
        << "the change log is in the working directory";
    EXPECT_NE(inst_.ReadFile("LOCKS/TranLauV.lck"), "") << "the lock file is under the working directory";
  }
}

// A code that is not in its file is refused with its message and a beep, and the operator stays
// on the panel; Escape leaves the panel without a look-up, whatever the field holds.
TEST_F(RecordCardEdges, UnknownDepartmentIsRefusedAndTakesNoLockEntry) {
  auto [p, d] = Department(true);
  int missing = 1;
  while (std::count(departments_[p].begin(), departments_[p].end(), missing)) ++missing;
  std::string message, lockFile, caption;
  Session run(inst_, {
      [&](HeadlessControl& c) { c.PushText(std::to_string(p) + "\r"); },
      [&](HeadlessControl& c) { c.PushText(std::to_string(missing) + "\r"); },
      [&](HeadlessControl& c) {
        message = c.Row(10);
        lockFile = inst_.ReadFile("LOCKS/TranLauV.lck");
        c.PushKey('x');  // closes the message
      },
      [&](HeadlessControl& c) {  // still on panel 2: a known department now opens panel 3
        c.PushKey(key::kCtrlY);
        c.PushText(std::to_string(d) + "\r");
      },
      [&](HeadlessControl& c) {
        caption = c.Row(kPanel3Top);
        c.PushKey(key::kEscape);
      },
  });
  EXPECT_EQ(run.Execute(), 0) << run.Failure();
  EXPECT_NE(message.find("DEPARTAMENT INEXISTENT"), std::string::npos) << message;
  EXPECT_EQ(run.Beeps(), 1);
  // No live entry for the refused key: every record of the lock file (if any) is free.
  for (std::size_t at = 0; at + 121 <= lockFile.size(); at += 121) {
    EXPECT_EQ(lockFile[at + 34], ' ') << "lock record " << at / 121 << " is taken";
  }
  std::string name = inst_.Record("DepartaV", DepartmentKey(p, d))->substr(8, 30);
  EXPECT_NE(caption.find(name), std::string::npos) << caption;
}

TEST_F(RecordCardEdges, EscapeLeavesPanelsOneAndTwoWithoutALookUp) {
  auto [p, d] = Department(true);
  (void)d;
  struct Case {
    const char* what;
    std::vector<Session::Step> steps;
  };
  const int missingProperty = MissingProperty();
  std::vector<Case> cases = {
      {"panel 1", {[&](HeadlessControl& c) {
                     c.PushText(std::to_string(missingProperty));
                     c.PushKey(key::kEscape);
                   }}},
      {"panel 2", {[&](HeadlessControl& c) { c.PushText(std::to_string(p) + "\r"); },
                   [&](HeadlessControl& c) {
                     c.PushText("999");
                     c.PushKey(key::kEscape);  // back to panel 1 ...
                   },
                   [&](HeadlessControl& c) { c.PushKey(key::kEscape); }}},  // ... and out
  };
  for (Case& tc : cases) {
    SCOPED_TRACE(tc.what);
    std::string screens;
    tc.steps.push_back([&](HeadlessControl& c) { screens += c.Text(); });
    Session run(inst_, tc.steps);
    EXPECT_EQ(run.Execute(), 0) << run.Failure();
    EXPECT_EQ(run.Beeps(), 0);
    EXPECT_EQ(screens.find("INEXISTENT"), std::string::npos);
  }
}

// Type 1 (field 10, a day number) takes 1 to 9999; type 6 (field 19, thousandths) takes 0 to
// 10000 with up to three decimals. Field 10 is widened here so that 10000 can be typed. Whole
// numbers take what their record field holds: 32 bits in field 9, 16 bits in field 20.
TEST_F(RecordCardEdges, NumberFieldsTakeTheirRangeAndRefuseTheRest) {
  ASSERT_TRUE(inst_.Replace("FORMS/MODCARTA.ZPN", "\"Dia de cobrament ...: \",2,", "\"Dia de cobrament ...: \",5,"));
  auto [p, d] = Department(true);
  const std::string k = DepartmentKey(p, d);
  struct Case {
    int field;
    const char* text;
    bool accepted;
    std::size_t offset;
    int stored;  // when accepted
  } cases[] = {
      {10, "0", false, 30, 0},      {10, "10000", false, 30, 0}, {10, "1", true, 30, 1},
      {10, "9999", true, 30, 9999}, {19, "0", true, 49, 0},      {19, "10000", true, 49, 10000000},
      {19, "10001", false, 49, 0},  {19, "0.005", true, 49, 5},  {19, "-1", false, 49, 0},
      {9, "2147483647", true, 26, 2147483647},
      {9, "2147483648", false, 26, 0}, {9, "-5", false, 26, 0}, {20, "32767", true, 53, 32767},
      {20, "32768", false, 53, 0},
  };
  for (const Case& tc : cases) {
    SCOPED_TRACE(std::string("field ") + std::to_string(tc.field) + " text " + tc.text);
    std::optional<std::string> before = inst_.Record("TranLauV", k);
    ASSERT_TRUE(before);
    Session run(inst_, Then(Open(p, d), {
        [&](HeadlessControl& c) {
          TypeInto(c, tc.field, tc.text);
          c.PushKey(key::kEnter);  // saves when the value was taken
        },
    }));
    EXPECT_EQ(run.Execute(), 0) << run.Failure();
    std::optional<std::string> after = inst_.Record("TranLauV", k);
    ASSERT_TRUE(after);
    const bool narrow = tc.field == 10 || tc.field == 20;
    const int value = narrow ? Int16At(*after, tc.offset) : Int32At(*after, tc.offset);
    if (tc.accepted) {
      EXPECT_EQ(value, tc.stored);
      EXPECT_EQ(run.Beeps(), 0);
    } else {
      EXPECT_EQ(*after, *before) << "a refused value changes nothing";
      EXPECT_GE(run.Beeps(), 1);
    }
  }
}

// The decimal field shows its thousandths as a number with three decimals: 5 is 0,005 (the
// installation's decimal character is the comma).
TEST_F(RecordCardEdges, DecimalFieldShowsStoredThousandths) {
  auto [p, d] = Department(true);
  std::string row;
  Session run(inst_, Then(Open(p, d), {
      [&](HeadlessControl& c) {
        TypeInto(c, 19, ".005");
        c.PushKey(key::kEnter);
      },
      [&](HeadlessControl& c) { c.PushText(std::to_string(d) + "\r"); },  // panel 2 again: reopen
      [&](HeadlessControl& c) {
        row = c.Row(kPanel3Top + 11);
        c.PushKey(key::kEscape);
      },
  }));
  EXPECT_EQ(run.Execute(), 0) << run.Failure();
  EXPECT_EQ(Int32At(*inst_.Record("TranLauV", DepartmentKey(p, d)), 49), 5);
  EXPECT_NE(row.find(Cp850("Actualització IPC % :     0,005")), std::string::npos) << row;
}

// Dates cleared on screen are stored as the empty date (four bytes of 128), in fields 6 and 23.
TEST_F(RecordCardEdges, ClearedDatesAreStoredAsTheEmptyDate) {
  auto [p, d] = Department(true);
  const std::string k = DepartmentKey(p, d);
  std::optional<std::string> before = inst_.Record("TranLauV", k);
  ASSERT_TRUE(before);
  ASSERT_NE(before->substr(8, 4), std::string(4, '\x80')) << "the demo card has an end date";
  Session run(inst_, Then(Open(p, d), {
      [&](HeadlessControl& c) {
        TypeInto(c, 6, "");
        for (int k2 = 7; k2 < 23; ++k2) c.PushKey(key::kDown);
        c.PushKey(key::kCtrlY);
        c.PushKey(key::kTab);
        c.PushKey(key::kEnter);
      },
  }));
  EXPECT_EQ(run.Execute(), 0) << run.Failure();
  std::optional<std::string> r = inst_.Record("TranLauV", k);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->substr(8, 4), std::string(4, '\x80'));
  EXPECT_EQ(r->substr(22, 4), std::string(4, '\x80'));
  EXPECT_EQ(r->substr(4, 4), before->substr(4, 4)) << "the start date is kept";
}

// Fields 12, 13 and 14 are kept at offsets 36, 38 and 37 (not in field order), and are shown
// again as they were typed.
TEST_F(RecordCardEdges, YesNoFieldsTwelveToFourteenKeepTheirOffsets) {
  auto [p, d] = Department(true);
  const std::string k = DepartmentKey(p, d);
  struct Case {
    char f12, f13, f14;
  } cases[] = {{'S', 'N', 'N'}, {'N', 'S', 'N'}, {'N', 'N', 'S'}, {'S', 'S', 'N'}};
  auto yesNo = [](char c) { return c == 'S' ? Cp850("Sí") : std::string("No"); };
  for (const Case& tc : cases) {
    SCOPED_TRACE((std::string{tc.f12, tc.f13, tc.f14}));
    std::string row7, row8;
    Session run(inst_, Then(Open(p, d), {
        [&](HeadlessControl& c) {
          for (int k2 = 5; k2 < 12; ++k2) c.PushKey(key::kDown);
          for (char ch : {tc.f12, tc.f13, tc.f14}) {
            c.PushKey(static_cast<unsigned char>(ch));
            c.PushKey(key::kTab);
          }
          c.PushKey(key::kEnter);
        },
        [&](HeadlessControl& c) { c.PushText(std::to_string(d) + "\r"); },
        [&](HeadlessControl& c) {
          row7 = c.Row(kPanel3Top + 7);
          row8 = c.Row(kPanel3Top + 8);
          c.PushKey(key::kEscape);
        },
    }));
    EXPECT_EQ(run.Execute(), 0) << run.Failure();
    std::optional<std::string> r = inst_.Record("TranLauV", k);
    ASSERT_TRUE(r);
    EXPECT_EQ((*r)[36], tc.f12);
    EXPECT_EQ((*r)[38], tc.f13);
    EXPECT_EQ((*r)[37], tc.f14);
    EXPECT_NE(row7.find("Aplica IVA .........: " + yesNo(tc.f12)), std::string::npos) << row7;
    EXPECT_NE(row8.find(Cp850("Aplica retenció ....: ") + yesNo(tc.f13)), std::string::npos) << row8;
    EXPECT_NE(row8.find("Rebut domiciliat ...: " + yesNo(tc.f14)), std::string::npos) << row8;
  }
}

// F4 on panel 1 lists the properties and on panel 2 the departments of the property typed; the
// line picked with Down and Enter is taken into the field and the panel goes on.
TEST_F(RecordCardEdges, ListsOfBothPanelsTakeThePickedCode) {
  auto second = std::next(departments_.begin());
  const int p = second->first;
  std::vector<int> ds = second->second;
  std::sort(ds.begin(), ds.end());
  std::string list1, panel1, list2, caption;
  Session run(inst_, {
      [&](HeadlessControl& c) { c.PushKey(key::kF4); },
      [&](HeadlessControl& c) {
        list1 = c.Text();
        c.PushKey(key::kDown);
        c.PushKey(key::kEnter);
      },
      [&](HeadlessControl& c) {
        panel1 = c.Row(3);
        c.PushKey(key::kF4);
      },
      [&](HeadlessControl& c) {
        list2 = c.Text();
        c.PushKey(key::kDown);
        c.PushKey(key::kEnter);
      },
      [&](HeadlessControl& c) {
        caption = c.Row(kPanel3Top);
        c.PushKey(key::kEscape);
      },
  });
  EXPECT_EQ(run.Execute(), 0) << run.Failure();
  char code[8];
  std::snprintf(code, sizeof code, "%03d", p);
  EXPECT_NE(list1.find("Finques"), std::string::npos) << list1;
  EXPECT_NE(list1.find(std::string(code) + "  " + inst_.Record("FinquesV", PackedCode(p))->substr(8, 30)),
            std::string::npos)
      << list1;
  EXPECT_NE(panel1.find(std::string(": ") + code), std::string::npos) << panel1;
  // The department list holds the departments of that property only, in key order.
  EXPECT_NE(list2.find("Departaments"), std::string::npos) << list2;
  for (std::size_t i = 0; i < ds.size() && i < 10; ++i) {
    std::snprintf(code, sizeof code, "%03d", ds[i]);
    std::string name = inst_.Record("DepartaV", DepartmentKey(p, ds[i]))->substr(8, 30);
    EXPECT_NE(list2.find(std::string(code) + "  " + name), std::string::npos) << list2;
  }
  // Lines of the list: the frame's left side followed by three digits and two blanks.
  std::size_t lines = 0;
  for (std::size_t at = list2.find('\xBA'); at != std::string::npos; at = list2.find('\xBA', at + 1)) {
    if (at + 6 <= list2.size() && std::isdigit(static_cast<unsigned char>(list2[at + 1])) &&
        list2.compare(at + 4, 2, "  ") == 0) {
      ++lines;
    }
  }
  EXPECT_EQ(lines, std::min<std::size_t>(ds.size(), 16)) << "no department of another property: " << list2;
  std::string name = inst_.Record("DepartaV", DepartmentKey(p, ds[1]))->substr(8, 30);
  EXPECT_NE(caption.find(name), std::string::npos) << "the second department is open: " << caption;
}

// The demo's labels, choice texts and messages in Galician and Aranese (Spanish has its own test).
TEST_F(RecordCardEdges, GalicianAndAraneseTexts) {
  auto [p, d] = Department(true);
  struct Case {
    const char* language;
    const char* noProperty;
    const char* noDepartment;
    const char* departmentLabel;
    const char* panel3Label;
    const char* no;
  } cases[] = {
      {"GLG", "FINCA INEXISTENTE", "DEPARTAMENTO INEXISTENTE", "Departamento .......: ", "Data de alta .......: ", "Non"},
      {"OCI", "FINCA INEXISTENTA", "DEPARTAMENT INEXISTENT", "Departament ........: ", "Data d'alta ........: ", "Non"},
  };
  for (const Case& tc : cases) {
    SCOPED_TRACE(tc.language);
    inst_.SetLanguage(tc.language);
    std::string property, department, panel2, panel3;
    Session run(inst_, {
        [&](HeadlessControl& c) { c.PushText(std::to_string(MissingProperty()) + "\r"); },
        [&](HeadlessControl& c) {
          property = c.Row(10);
          c.PushKey('x');
        },
        [&](HeadlessControl& c) {
          c.PushKey(key::kCtrlY);
          c.PushText(std::to_string(p) + "\r");
        },
        [&](HeadlessControl& c) { c.PushText("999\r"); },
        [&](HeadlessControl& c) {
          department = c.Row(10);
          c.PushKey('x');
        },
        [&](HeadlessControl& c) {
          panel2 = c.Row(4);
          c.PushKey(key::kCtrlY);
          c.PushText(std::to_string(d) + "\r");
        },
        [&](HeadlessControl& c) {
          panel3 = c.Text();
          c.PushKey(key::kEscape);
        },
    });
    EXPECT_EQ(run.Execute(), 0) << run.Failure();
    EXPECT_NE(property.find(tc.noProperty), std::string::npos) << property;
    EXPECT_NE(department.find(tc.noDepartment), std::string::npos) << department;
    EXPECT_NE(panel2.find(tc.departmentLabel), std::string::npos) << panel2;
    EXPECT_NE(panel3.find(tc.panel3Label), std::string::npos) << panel3;
    EXPECT_NE(panel3.find(tc.no), std::string::npos) << panel3;
  }
}

// The change log has one line per insert and update of the record card file, with the status;
// a card opened and left unchanged is inserted and deleted, leaving only its insert line.
TEST_F(RecordCardEdges, ChangeLogHasTheInsertsAndUpdates) {
  auto [pNew, dNew] = Department(false);
  auto [pOld, dOld] = Department(true);
  Session run(inst_, {
      [&](HeadlessControl& c) { c.PushText(std::to_string(pNew) + "\r"); },
      [&](HeadlessControl& c) { c.PushText(std::to_string(dNew) + "\r"); },
      [&](HeadlessControl& c) { c.PushKey(key::kEscape); },  // unchanged: deleted again
      [&](HeadlessControl& c) { c.PushKey(key::kEscape); },  // to panel 1
      [&](HeadlessControl& c) {
        c.PushKey(key::kCtrlY);
        c.PushText(std::to_string(pOld) + "\r");
      },
      [&](HeadlessControl& c) { c.PushText(std::to_string(dOld) + "\r"); },
      [&](HeadlessControl& c) {
        TypeInto(c, 9, "12345");
        c.PushKey(key::kEnter);
      },
  });
  EXPECT_EQ(run.Execute(), 0) << run.Failure();
  EXPECT_EQ(inst_.ReadFile("db.log"), storage::AccessLogLine(508, 2, 0) + storage::AccessLogLine(508, 3, 0));
  EXPECT_EQ(Int32At(*inst_.Record("TranLauV", DepartmentKey(pOld, dOld)), 26), 12345);
  EXPECT_FALSE(inst_.Record("TranLauV", DepartmentKey(pNew, dNew)));
}

// A stored value that the checks would refuse (a day of payment of -5) is shown, passed over
// unchanged and kept byte for byte when another field is saved.
TEST_F(RecordCardEdges, UntouchedStoredValuesSurviveASave) {
  ASSERT_TRUE(inst_.Load("DepartaV", {"finca,departament,nom,tipologia,titular,data_alta,superficie,tipus,coeficient",
                                       "005,900,Traster de proves,Traster,Anna Puig,2020-01-01,5,T,1"}));
  ASSERT_TRUE(inst_.Load(
      "TranLauV",
      {"finca,departament,inici,fi,prorroga,actiu,num_contracte,deute,actualitzacio,renda,dia_cobrament,fianca,iva,"
       "domiciliat,retencio,comunitat,aigua,llum,ibi,ipc,mesos_fianca,rebuts_pendents",
       "005,900,2024-01-01,2029-01-01,S,S,-7,0,2025-01-01,5000,-5,10000,S,N,S,0,N,N,0,-0.5,2,0"}));
  const std::string k = DepartmentKey(5, 900);
  std::optional<std::string> before = inst_.Record("TranLauV", k);
  ASSERT_TRUE(before);
  std::string row;
  Session run(inst_, Then(Open(5, 900), {
      [&](HeadlessControl& c) {
        row = c.Row(kPanel3Top + 6);
        for (int k2 = 5; k2 < 11; ++k2) c.PushKey(key::kTab);  // over field 10 and on to 11
        c.PushKey(key::kCtrlY);
        c.PushText("20000");
        c.PushKey(key::kEnter);
      },
  }));
  EXPECT_EQ(run.Execute(), 0) << run.Failure();
  EXPECT_NE(row.find("Dia de cobrament ...: -5"), std::string::npos) << row;
  std::optional<std::string> r = inst_.Record("TranLauV", k);
  ASSERT_TRUE(r);
  EXPECT_EQ(Int32At(*r, 32), 20000);
  std::string expected = *before;
  expected.replace(32, 4, r->substr(32, 4));
  EXPECT_EQ(*r, expected) << "only the deposit changed";
}

// A new card that was changed and then left with Escape is taken away again.
TEST_F(RecordCardEdges, NewCardChangedThenEscapedIsRemoved) {
  auto [p, d] = Department(false);
  Session run(inst_, Then(Open(p, d), {
      [&](HeadlessControl& c) {
        TypeInto(c, 9, "5000");
        for (int k2 = 0; k2 < 5; ++k2) c.PushKey(key::kUp);  // from field 10 back to field 5
        c.PushKey(key::kEscape);  // on the first field: leave, discarding
      },
  }));
  EXPECT_EQ(run.Execute(), 0) << run.Failure();
  EXPECT_FALSE(inst_.Record("TranLauV", DepartmentKey(p, d)));
  EXPECT_NE(inst_.ReadFile("db.log").find(storage::AccessLogLine(508, 2, 0)), std::string::npos);
  EXPECT_EQ(inst_.ReadFile("db.log").find(storage::AccessLogLine(508, 3, 0)), std::string::npos) << "no update";
}

// The department list's title is "Departaments de la finca" with its blanks; in a list title a
// blank is drawn as the frame line, so the form must write the blanks as underscores.
TEST_F(RecordCardEdges, DepartmentListTitleShowsItsBlanks) {
  auto [p, d] = Department(true);
  (void)d;
  std::string top;
  Session run(inst_, {
      [&](HeadlessControl& c) { c.PushText(std::to_string(p) + "\r"); },
      [&](HeadlessControl& c) { c.PushKey(key::kF4); },
      [&](HeadlessControl& c) {
        top = c.Row(5);
        c.PushKey(key::kEscape);
      },
  });
  EXPECT_EQ(run.Execute(), 0) << run.Failure();
  EXPECT_NE(top.find(" Departaments de la finca "), std::string::npos) << top;
}

// The help of the module, F1: every line shows its text only, never the record's line end.
// Help records are as wide as the screen and carry no line end of their own.
TEST_F(RecordCardEdges, HelpLinesShowNoLineEnds) {
  std::string help;
  Session run(inst_, {
      [&](HeadlessControl& c) { c.PushKey(key::kF1); },
      [&](HeadlessControl& c) {
        help = c.Text();
        c.PushKey(key::kEscape);
      },
  });
  EXPECT_EQ(run.Execute(), 0) << run.Failure();
  ASSERT_NE(help.find("FITXA DE DEPARTAMENTS"), std::string::npos) << help;
  EXPECT_EQ(help.find('\r'), std::string::npos) << help;
}

// A yes/no field whose stored value is none of its choices (a lower-case "n", a blank) shows the
// first choice, but passing through it writes nothing; a key that chooses writes the choice.
TEST_F(RecordCardEdges, ChoiceFieldsKeepAStoredValueOutsideTheirList) {
  auto [p, d] = Department(true);
  const std::string k = DepartmentKey(p, d);
  ASSERT_EQ(UpdateInOtherProcess(inst_, "TranLauV", k, [](std::string& r) { r[12] = 'n'; r[13] = ' '; }), 0);
  const std::optional<std::string> before = inst_.Record("TranLauV", k);
  Session pass(inst_, Then(Open(p, d), {[&](HeadlessControl& c) {
    for (int f = 5; f < 15; ++f) c.PushKey(key::kDown);  // through fields 7, 8 and 12 to 14
    c.PushKey(key::kEnter);
  }}));
  EXPECT_EQ(pass.Execute(), 0) << pass.Failure();
  EXPECT_EQ(inst_.Record("TranLauV", k), before);
  EXPECT_EQ(inst_.ReadFile("db.log"), "") << "nothing was written";

  Session choose(inst_, Then(Open(p, d), {[&](HeadlessControl& c) {
    c.PushKey(key::kDown);
    c.PushKey(key::kDown);
    c.PushKey(key::kSpace);  // field 7 shows "Sí" for "n": Space goes on to "No"
    c.PushKey(key::kDown);
    c.PushKey('s');          // field 8: the letter chooses "Sí" though it is the one shown
    c.PushKey(key::kEnter);
  }}));
  EXPECT_EQ(choose.Execute(), 0) << choose.Failure();
  std::optional<std::string> r = inst_.Record("TranLauV", k);
  ASSERT_TRUE(r);
  EXPECT_EQ((*r)[12], 'N');
  EXPECT_EQ((*r)[13], 'S');
}

// Paging onto a department whose property has no record: the operator is told as panel 1 tells
// it and is back on panel 1 with that property, and nothing is created under either property.
TEST_F(RecordCardEdges, PagingOntoADepartmentWithoutItsPropertyGoesBackToPanel1) {
  const int missing = MissingProperty();
  const int first = departments_.begin()->first;
  ASSERT_LT(missing, first);
  ASSERT_TRUE(inst_.Load("DepartaV", {"finca,departament,nom,tipologia,titular,data_alta,superficie,tipus,coeficient",
                                       Code3(missing) + ",001,Pis orfe,Habitatge,Anna Puig,2020-01-01,50,H,100"}));
  const int firstDepartment = *std::min_element(departments_.begin()->second.begin(), departments_.begin()->second.end());
  const std::string before = inst_.Save("TranLauV");
  std::string message, panel1, again;
  Session run(inst_, Then(Open(first, firstDepartment), {
      [&](HeadlessControl& c) { c.PushKey(key::kPgUp); },  // field 5 is the first: pages back
      [&](HeadlessControl& c) { message = c.Text(); c.PushKey('x'); },
      [&](HeadlessControl& c) { panel1 = c.Row(3); c.PushKey(key::kEnter); },
      [&](HeadlessControl& c) { again = c.Text(); c.PushKey('x'); },
  }));
  EXPECT_EQ(run.Execute(), 0) << run.Failure();
  EXPECT_EQ(run.StepsRun(), 6u);
  EXPECT_NE(message.find("FINCA INEXISTENT"), std::string::npos) << message;
  EXPECT_NE(panel1.find("Finca ..............: " + std::to_string(missing) + " "), std::string::npos) << panel1;
  EXPECT_NE(again.find("FINCA INEXISTENT"), std::string::npos) << "Enter on panel 1 is refused too: " << again;
  EXPECT_EQ(inst_.Save("TranLauV"), before) << "no card was created";
}

}  // namespace
}  // namespace app_test
