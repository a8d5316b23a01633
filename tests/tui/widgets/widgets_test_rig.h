// Everything panel input and the list browser need, built fresh for one test: a headless
// console with its windows, form tables built in the test, a record layer over our engine in a
// temporary directory, and a module whose operations the test can steer and watch.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "recman/engine.h"
#include "session/environment.h"
#include "session/form.h"
#include "session/session.h"
#include "storage/record_layer.h"
#include "support/fake_system.h"
#include "support/temp_dir.h"
#include "tests/tui/console/console_test_support.h"
#include "tui/widgets/module.h"
#include "tui/windows/windows.h"

namespace tui::widgets_test {

using CountingSystem = testing_support::FakeSystem;

// The record layer's messages go nowhere; keys come from the console's script.
class SilentUi : public storage::UserInterface {
 public:
  explicit SilentUi(Console& console) : console_(console) {}
  void MessageBox(int, std::string_view text) override { messages.emplace_back(text); }
  void WinClose() override {}
  void Beep() override {}
  void FlushKeys() override {}
  std::int16_t GetKey() override { return console_.GetKey(); }
  std::int16_t ReadKey() override {
    KeyEvent e;
    console_.ReadKey(e);
    return e.key;
  }
  std::vector<std::string> messages;

 private:
  Console& console_;
};

// A module whose operations record what they were asked and do what the test sets.
class FakeModule : public Module {
 public:
  explicit FakeModule(session::Form& form, Console& console) : form_(form), console_(console) {}

  void ShowPanel(std::int16_t panel) override { log.push_back("show " + std::to_string(panel)); }
  void ShowFieldValue(std::int16_t panel, std::int16_t field) override {
    log.push_back("value " + std::to_string(panel) + "." + std::to_string(field));
  }
  std::int16_t AcceptFieldValue(std::int16_t panel, const std::string& text, std::int16_t field,
                                std::int16_t key) override {
    log.push_back("accept " + std::to_string(panel) + "." + std::to_string(field) + " '" + text + "'");
    std::int16_t status = accept ? accept(panel, text, field, key) : 0;
    if (status == 0) form_.Field(panel, field).Store(text);
    return status;
  }
  std::int16_t CheckPanel(std::int16_t panel, std::int16_t key) override {
    log.push_back("check " + std::to_string(panel) + " " + std::to_string(key));
    return check ? check(panel, key) : 0;
  }
  std::string ListLineText(std::int16_t list) override {
    ++lineTextCalls;
    return lineText ? lineText(list) : std::string();
  }
  void ListPick(std::int16_t& list, std::int16_t panel, std::int16_t& field) override {
    log.push_back("pick " + std::to_string(list) + " " + std::to_string(panel) + "." + std::to_string(field));
    if (pick) pick(list, panel, field);
  }
  std::int16_t ListKeyRange(std::int16_t list, std::string& lower, std::string& upper) override {
    log.push_back("range " + std::to_string(list));
    lower = rangeLower;
    upper = rangeUpper;
    return rangeResult;
  }

  // The log entries that start with a prefix, in order.
  std::vector<std::string> Only(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const std::string& s : log) {
      if (s.rfind(prefix, 0) == 0) out.push_back(s);
    }
    return out;
  }

  std::vector<std::string> log;
  std::function<std::int16_t(std::int16_t, const std::string&, std::int16_t, std::int16_t)> accept;
  std::function<std::int16_t(std::int16_t, std::int16_t)> check;
  std::function<std::string(std::int16_t)> lineText;
  std::function<void(std::int16_t&, std::int16_t, std::int16_t&)> pick;
  std::string rangeLower;
  std::string rangeUpper;
  std::int16_t rangeResult = 0;
  int lineTextCalls = 0;

 private:
  session::Form& form_;
  Console& console_;
};

// Colour entries 0 (15,0), 1 (7,0), 2..4 (0,7).
inline constexpr std::array<session::ColourPair, 5> kRigColours{{{15, 0}, {7, 0}, {0, 7}, {0, 7}, {0, 7}}};

struct FieldSpec {
  int row = 1;
  int column = 1;
  std::string label;
  int width = 3;
  int lineLength = 0;
  int extra = 0;
  int flags = 0;
  int type = 0;
  int list = 0;
  std::string choices;
};

// A record file of our engine for lists: 40-byte records, key 0 the first 4 bytes (text),
// a 30-byte name at byte 5 and a flag byte at byte 35 ("T": the record has a list line).
struct ListFile {
  static constexpr storage::FileHandle kHandle = 10;
  static constexpr int kRecordLength = 40;
  std::array<char, kRecordLength> area{};

  static void Put16(std::string& out, std::size_t at, std::uint16_t v) {
    out[at] = static_cast<char>(v & 0xFF);
    out[at + 1] = static_cast<char>(v >> 8);
  }

  // Writes the file's description under root "ddf\LIST.xdf" and opens (creating) the file.
  storage::Status Open(storage::RecordLayer& records, const testing_support::TempDir& dir) {
    std::string spec(32, '\0');
    Put16(spec, 0, kRecordLength);
    Put16(spec, 2, 1024);
    Put16(spec, 4, 1);
    Put16(spec, 16, 1);  // key 0: position 1, length 4, modifiable
    Put16(spec, 18, 4);
    Put16(spec, 20, 0x02);
    std::string bytes(2, '\0');
    Put16(bytes, 0, static_cast<std::uint16_t>(spec.size()));
    std::filesystem::create_directories(dir / "ddf");
    std::ofstream(dir / "ddf/LIST.xdf", std::ios::binary | std::ios::trunc) << bytes << spec;
    return records.RecOpen(kHandle, dir.SystemDir() + "LIST", area);
  }

  // The 4-digit key of record number n.
  static std::string Key(int n) {
    std::string k = std::to_string(n);
    return std::string(4 - std::min<std::size_t>(4, k.size()), '0') + k;
  }

  // Inserts records 1..count named "Name <n>"; withText decides the flag byte.
  storage::Status Fill(storage::RecordLayer& records, int count, const std::function<bool(int)>& withText,
                       const std::function<std::string(int)>& name = nullptr) {
    for (int n = 1; n <= count; ++n) {
      std::string r(kRecordLength, ' ');
      r.replace(0, 4, Key(n));
      std::string text = name ? name(n) : "Name " + std::to_string(n);
      r.replace(4, std::min<std::size_t>(30, text.size()), text.substr(0, 30));
      r[34] = withText(n) ? 'T' : ' ';
      std::copy(r.begin(), r.end(), area.begin());
      storage::Status st = records.RecInsert(kHandle);
      if (st != 0) return st;
    }
    return 0;
  }

  // The list line of the record in the area: key, two blanks, name; empty without the flag.
  std::string LineText() const {
    if (area[34] != 'T') return std::string();
    return std::string(area.data(), 4) + "  " + std::string(area.data() + 4, 30);
  }
  std::string AreaKey() const { return std::string(area.data(), 4); }
};

class WidgetsRig {
 public:
  WidgetsRig()
      : ui(*con),
        records(engine, session, system, ui, [](int) {}, dir.SystemDir() + "db.log"),
        windows(*con, session, system, environment),
        module(form, *con),
        widgets{*con, windows, form, records, session, system, module} {
    session.RootDir = dir.SystemDir();
    session.TempDir = dir.SystemDir();
    session.TerminalDir = dir.SystemDir();
    con->SetColourTable(kRigColours);
    form.Panels.resize(1);
    form.Lists.resize(1);
  }

  HeadlessControl& Script() { return *con.control; }
  Console& Con() { return *con; }

  // Adds a panel and returns its number.
  int AddPanel(std::string keyList, std::array<int, 4> box = {0, 0, 0, 0}, int linked = 0) {
    session::FormPanel panel;
    panel.KeyList = std::move(keyList);
    panel.LinkedPanel = static_cast<std::int16_t>(linked);
    for (int i = 0; i < 4; ++i) panel.Box[static_cast<std::size_t>(i + 1)] = static_cast<std::int16_t>(box[static_cast<std::size_t>(i)]);
    panel.Fields.resize(1);
    form.Panels.push_back(std::move(panel));
    form.PanelCount = static_cast<std::int16_t>(form.Panels.size() - 1);
    return form.PanelCount;
  }

  int AddField(int p, const FieldSpec& spec) {
    session::FormField field;
    field.Label = spec.label;
    field.Choices = spec.choices;
    field.Value = std::string(static_cast<std::size_t>(spec.width), ' ');
    field.Attribute = {static_cast<std::int16_t>(spec.row),   static_cast<std::int16_t>(spec.column),
                       static_cast<std::int16_t>(spec.width), static_cast<std::int16_t>(spec.lineLength),
                       static_cast<std::int16_t>(spec.extra), static_cast<std::int16_t>(spec.flags),
                       static_cast<std::int16_t>(spec.type),  static_cast<std::int16_t>(spec.list)};
    session::FormPanel& panel = form.Panel(p);
    panel.Fields.push_back(std::move(field));
    panel.FieldCount = static_cast<std::int16_t>(panel.Fields.size() - 1);
    form.MaxFieldCount = std::max(form.MaxFieldCount, panel.FieldCount);
    return panel.FieldCount;
  }

  int AddList(std::array<int, 8> attributes, std::string title) {
    session::FormList list;
    for (std::size_t i = 0; i < 8; ++i) list.Attribute[i] = static_cast<std::int16_t>(attributes[i]);
    list.Title = std::move(title);
    form.Lists.push_back(std::move(list));
    form.ListCount = static_cast<std::int16_t>(form.Lists.size() - 1);
    return form.ListCount;
  }

  // The program's screen row as text.
  std::string Row(int row, int column = 1, int count = 80) const {
    std::string out;
    for (int c = column; c < column + count; ++c) out.push_back(static_cast<char>(con.console->ReadCell(row, c)));
    return out;
  }

  testing_support::TempDir dir;
  session::Session session;
  session::MapEnvironment environment;
  CountingSystem system;
  testing::HeadlessConsole con;
  SilentUi ui;
  recman::Engine engine;
  storage::RecordLayer records;
  Windows windows;
  session::Form form;
  FakeModule module;
  Widgets widgets;
};

}  // namespace tui::widgets_test
