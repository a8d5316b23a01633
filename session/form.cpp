#include "session/form.h"

#include <cstdio>
#include <cstdlib>
#include <optional>

#include "platform/files.h"
#include "platform/paths.h"
#include "session/items.h"

namespace session {

void FormField::Store(std::string_view text) {
  std::size_t width = Value.size();
  std::size_t copied = text.size() < width ? text.size() : width;
  Value.replace(0, copied, text.substr(0, copied));
  Value.replace(copied, width - copied, width - copied, ' ');
}

namespace {

[[noreturn]] void OutOfTable(const char* what, int a, int b) {
  std::fprintf(stderr, "form tables: %s %d %d does not exist\n", what, a, b);
  std::abort();
}

}  // namespace

FormPanel& Form::Panel(int p) {
  if (!HasPanel(p)) OutOfTable("panel", p, 0);
  return Panels[static_cast<std::size_t>(p)];
}
const FormPanel& Form::Panel(int p) const {
  if (!HasPanel(p)) OutOfTable("panel", p, 0);
  return Panels[static_cast<std::size_t>(p)];
}
FormField& Form::Field(int p, int k) {
  if (!HasField(p, k)) OutOfTable("field", p, k);
  return Panels[static_cast<std::size_t>(p)].Fields[static_cast<std::size_t>(k)];
}
const FormField& Form::Field(int p, int k) const {
  if (!HasField(p, k)) OutOfTable("field", p, k);
  return Panels[static_cast<std::size_t>(p)].Fields[static_cast<std::size_t>(k)];
}
FormList& Form::List(int i) {
  if (!HasList(i)) OutOfTable("list", i, 0);
  return Lists[static_cast<std::size_t>(i)];
}
const FormList& Form::List(int i) const {
  if (!HasList(i)) OutOfTable("list", i, 0);
  return Lists[static_cast<std::size_t>(i)];
}

std::string FormPath(std::string_view rootDir, std::string_view moduleName) {
  std::string path(rootDir);
  path += "FORMS\\";
  path += moduleName;
  path += ".ZPN";
  return path;
}

namespace {

// A decimal number item ([+-]digits[.digits], blanks around it skipped, empty for 0) rounded,
// halves to even, into a 16-bit integer.
enum class NumberError { kNone, kNotANumber, kTooLarge };

NumberError ParseInt16(std::string_view text, std::int16_t& out) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  out = 0;
  if (text.empty()) return NumberError::kNone;
  bool negative = false;
  if (text.front() == '+' || text.front() == '-') {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  std::int64_t whole = 0;
  bool digits = false;
  bool tooLarge = false;
  std::size_t i = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    digits = true;
    if (whole < 100000) whole = whole * 10 + (text[i] - '0');
    else tooLarge = true;
  }
  // The fraction only matters for rounding: above, at or below one half.
  int half = -1;  // -1 below, 0 exactly one half, 1 above
  if (i < text.size() && text[i] == '.') {
    ++i;
    std::size_t first = i;
    bool restNonZero = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
      digits = true;
      if (i > first && text[i] != '0') restNonZero = true;
    }
    if (i > first) {
      int d = text[first] - '0';
      if (d > 5 || (d == 5 && restNonZero)) half = 1;
      else if (d == 5) half = 0;
    }
  }
  if (i != text.size() || !digits) return NumberError::kNotANumber;
  if (half == 1 || (half == 0 && whole % 2 == 1)) ++whole;
  if (negative) whole = -whole;
  if (tooLarge || whole < -32768 || whole > 32767) return NumberError::kTooLarge;
  out = static_cast<std::int16_t>(whole);
  return NumberError::kNone;
}

// Reads the records of one form file into the tables, remembering where each item stood so
// that a message can name it.
class FormParser {
 public:
  FormParser(std::string_view content, std::string_view fileName, Translator& translator, Form& form)
      : reader_(content), fileName_(fileName), translator_(translator), form_(form) {}

  FormStatus Run();

 private:
  // Skips blank and comment lines where a record starts; false at the end of the file.
  bool StartRecord();
  bool Text(std::string& out, const std::string& what);
  bool Number(std::int16_t& out, const std::string& what);
  bool Fail(int line, const std::string& what, const std::string& problem);

  bool ReadHeader();
  bool ReadPanel(int p);
  bool ReadListCount();
  bool ReadList(int i);
  bool CheckReferences();

  struct Reference {
    int line;
    std::string what;
    int value;
  };

  ItemReader reader_;
  std::string fileName_;
  Translator& translator_;
  Form& form_;
  std::string message_;
  std::string item_;
  std::vector<Reference> listReferences_;   // field and list attribute 7: lists
  std::vector<Reference> panelReferences_;  // list attribute 6: panels
  std::vector<int> linkedPanelLines_;       // line of each panel's linked panel item
};

bool FormParser::Fail(int line, const std::string& what, const std::string& problem) {
  message_ = "form file " + fileName_ + ": line " + std::to_string(line) + ", " + what + ": " + problem;
  return false;
}

bool FormParser::StartRecord() {
  reader_.StartRecord();
  while (!reader_.AtEndOfFile() && (reader_.RestOfLineIsBlank() || reader_.RestOfLineIsComment())) {
    reader_.SkipRestOfLine();
  }
  return !reader_.AtEndOfFile();
}

bool FormParser::Text(std::string& out, const std::string& what) {
  if (!reader_.NextText(out)) return Fail(reader_.ItemLine(), what, "the file ends inside the record");
  return true;
}

bool FormParser::Number(std::int16_t& out, const std::string& what) {
  if (!reader_.Next(item_)) return Fail(reader_.ItemLine(), what, "the file ends inside the record");
  switch (ParseInt16(item_, out)) {
    case NumberError::kNone: return true;
    case NumberError::kNotANumber: return Fail(reader_.ItemLine(), what, "\"" + item_ + "\" is not a number");
    case NumberError::kTooLarge:
      return Fail(reader_.ItemLine(), what, item_ + " does not fit in 16 bits (-32768 to 32767)");
  }
  return false;
}

bool FormParser::ReadHeader() {
  std::int16_t panels = 0;
  std::int16_t maxFields = 0;
  if (!Number(panels, "header, panel count")) return false;
  int line = reader_.ItemLine();
  if (panels < 0) return Fail(line, "header, panel count", "negative count " + std::to_string(panels));
  if (!Number(maxFields, "header, maximum field count")) return false;
  line = reader_.ItemLine();
  if (maxFields < 0) {
    return Fail(line, "header, maximum field count", "negative count " + std::to_string(maxFields));
  }
  form_.PanelCount = panels;
  form_.MaxFieldCount = maxFields;
  form_.Panels.assign(static_cast<std::size_t>(panels) + 1, FormPanel{});
  for (FormPanel& panel : form_.Panels) panel.Fields.resize(1);
  linkedPanelLines_.assign(form_.Panels.size(), 0);
  return true;
}

bool FormParser::ReadPanel(int p) {
  FormPanel& panel = form_.Panels[static_cast<std::size_t>(p)];
  const std::string where = "panel " + std::to_string(p);
  if (!Text(panel.KeyList, where + ", key list")) return false;
  if (!Number(panel.FieldCount, where + ", field count")) return false;
  if (panel.FieldCount < 0 || panel.FieldCount > form_.MaxFieldCount) {
    return Fail(reader_.ItemLine(), where + ", field count",
                std::to_string(panel.FieldCount) + " is outside 0 to the header's maximum of " +
                    std::to_string(form_.MaxFieldCount));
  }
  if (!Number(panel.LinkedPanel, where + ", linked panel")) return false;
  linkedPanelLines_[static_cast<std::size_t>(p)] = reader_.ItemLine();
  if (panel.LinkedPanel < 0 || panel.LinkedPanel > form_.PanelCount) {
    return Fail(reader_.ItemLine(), where + ", linked panel",
                "panel " + std::to_string(panel.LinkedPanel) + " does not exist (the form has " +
                    std::to_string(form_.PanelCount) + ")");
  }
  static const char* const kBoxNames[] = {"", "box top", "box left", "box bottom", "box right"};
  for (int b = kBoxTop; b <= kBoxRight; ++b) {
    if (!Number(panel.Box[static_cast<std::size_t>(b)], where + ", " + kBoxNames[b])) return false;
  }

  panel.Fields.assign(static_cast<std::size_t>(panel.FieldCount) + 1, FormField{});
  for (int k = 1; k <= panel.FieldCount; ++k) {
    FormField& field = panel.Fields[static_cast<std::size_t>(k)];
    const std::string at = where + ", field " + std::to_string(k) + ", ";
    if (!Number(field.Attribute[kFieldRow], at + "row")) return false;
    if (!Number(field.Attribute[kFieldColumn], at + "column")) return false;
    if (!Text(field.Label, at + "label")) return false;
    if (!Number(field.Attribute[kFieldWidth], at + "width")) return false;
    if (field.Attribute[kFieldWidth] < 0) {
      return Fail(reader_.ItemLine(), at + "width", "negative width " + std::to_string(field.Attribute[kFieldWidth]));
    }
    if (!Number(field.Attribute[kFieldLineLength], at + "attribute 3 (line length)")) return false;
    if (!Number(field.Attribute[kFieldExtra], at + "attribute 4 (extra characters)")) return false;
    if (!Number(field.Attribute[kFieldFlags], at + "attribute 5 (flags)")) return false;
    if (!Number(field.Attribute[kFieldType], at + "attribute 6 (type)")) return false;
    if (!Number(field.Attribute[kFieldList], at + "attribute 7 (list)")) return false;
    listReferences_.push_back({reader_.ItemLine(), at + "attribute 7 (list)", field.Attribute[kFieldList]});
    if (!Text(field.Choices, at + "choices")) return false;
    field.Value.assign(static_cast<std::size_t>(field.Attribute[kFieldWidth]), ' ');
    field.Label = translator_.Translate(field.Label);
    field.Choices = translator_.Translate(field.Choices);
  }
  return true;
}

bool FormParser::ReadListCount() {
  std::int16_t count = 0;
  if (!Number(count, "list count")) return false;
  if (count < 0) return Fail(reader_.ItemLine(), "list count", "negative count " + std::to_string(count));
  form_.ListCount = count;
  form_.Lists.assign(static_cast<std::size_t>(count) + 1, FormList{});
  return true;
}

bool FormParser::ReadList(int i) {
  FormList& list = form_.Lists[static_cast<std::size_t>(i)];
  const std::string where = "list " + std::to_string(i) + ", attribute ";
  for (int a = 0; a <= 6; ++a) {
    if (!Number(list.Attribute[static_cast<std::size_t>(a)], where + std::to_string(a))) return false;
  }
  panelReferences_.push_back({reader_.ItemLine(), where + "6 (panel)", list.Attribute[kListPanel]});
  if (!Text(list.Title, "list " + std::to_string(i) + ", title")) return false;
  if (!Number(list.Attribute[kListNextList], where + "7")) return false;
  listReferences_.push_back({reader_.ItemLine(), where + "7 (list)", list.Attribute[kListNextList]});
  list.Title = translator_.Translate(list.Title);
  return true;
}

bool FormParser::CheckReferences() {
  for (const Reference& ref : listReferences_) {
    if (ref.value < 0 || ref.value > form_.ListCount) {
      return Fail(ref.line, ref.what,
                  "list " + std::to_string(ref.value) + " does not exist (the form has " +
                      std::to_string(form_.ListCount) + ")");
    }
  }
  for (const Reference& ref : panelReferences_) {
    if (ref.value < 0 || ref.value > form_.PanelCount) {
      return Fail(ref.line, ref.what,
                  "panel " + std::to_string(ref.value) + " does not exist (the form has " +
                      std::to_string(form_.PanelCount) + ")");
    }
  }
  // Every chain of linked panels must end: following the links from any panel must reach a
  // panel without one before it comes back to a panel already passed. Panels whose chain is
  // known to end are marked, so each link is followed once.
  enum : char { kUnknown, kOnThisWalk, kEnds };
  std::vector<char> state(form_.Panels.size(), kUnknown);
  for (int p = 1; p <= form_.PanelCount; ++p) {
    std::vector<int> walk;
    for (int at = p; at != 0 && state[static_cast<std::size_t>(at)] != kEnds;) {
      state[static_cast<std::size_t>(at)] = kOnThisWalk;
      walk.push_back(at);
      int next = form_.Panels[static_cast<std::size_t>(at)].LinkedPanel;
      if (next != 0 && state[static_cast<std::size_t>(next)] == kOnThisWalk) {
        return Fail(linkedPanelLines_[static_cast<std::size_t>(at)], "panel " + std::to_string(at) + ", linked panel",
                    "panel " + std::to_string(next) + " leads back here, so the chain of linked panels loops");
      }
      at = next;
    }
    for (int passed : walk) state[static_cast<std::size_t>(passed)] = kEnds;
  }
  return true;
}

FormStatus FormParser::Run() {
  form_ = Form{};
  bool ok = [&] {
    if (!StartRecord()) return true;  // an empty file: no tables at all
    if (!ReadHeader()) return false;
    for (int p = 1; p <= form_.PanelCount; ++p) {
      if (!StartRecord()) {
        if (p == 1) return true;  // the file ends after the header
        return Fail(reader_.CurrentLine(), "panel " + std::to_string(p),
                    "the file ends after panel " + std::to_string(p - 1) + " of " + std::to_string(form_.PanelCount));
      }
      if (!ReadPanel(p)) return false;
    }
    if (!StartRecord()) return true;  // the file ends after the panels
    if (!ReadListCount()) return false;
    for (int i = 1; i <= form_.ListCount; ++i) {
      if (!StartRecord()) {
        return Fail(reader_.CurrentLine(), "list " + std::to_string(i),
                    "the file ends after list " + std::to_string(i - 1) + " of " + std::to_string(form_.ListCount));
      }
      if (!ReadList(i)) return false;
    }
    return true;
  }();
  if (ok) ok = CheckReferences();
  if (!ok) {
    form_ = Form{};
    return {false, message_};
  }
  return {};
}

}  // namespace

FormStatus ParseForm(std::string_view content, std::string_view fileName, Translator& translator, Form& form) {
  return FormParser(content, fileName, translator, form).Run();
}

FormStatus LoadForm(std::string_view rootDir, std::string_view moduleName, Translator& translator, Form& form) {
  const std::string path = FormPath(rootDir, moduleName);
  std::string shown = platform::HostPath(path);
  if (shown.empty()) shown = path;
  std::optional<std::string> content = platform::ReadWholeFile(path);
  if (!content) {
    form = Form{};
    return {false, "form file " + shown + ": cannot be read (" +
                       (platform::PathExists(path) ? std::string("no permission or not a file") : std::string("missing")) +
                       ")"};
  }
  return ParseForm(*content, shown, translator, form);
}

}  // namespace session
