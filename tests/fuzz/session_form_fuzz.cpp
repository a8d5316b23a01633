// The form loader over arbitrary bytes. A loaded form must be consistent: every table as large
// as its count says, every value exactly as wide as its field, every reference inside its table
// and every chain of linked panels finite. A refused one must say why and leave no tables.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "session/form.h"

namespace {

class EchoTranslator : public session::Translator {
 public:
  std::string Translate(std::string_view text) override { return std::string(text) + "*"; }
};

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view content(reinterpret_cast<const char*>(data), size);
  EchoTranslator translator;
  session::Form form;
  session::FormStatus status = session::ParseForm(content, "FUZZ.ZPN", translator, form);
  if (!status.ok) {
    Check(status.message.find("FUZZ.ZPN") != std::string::npos);
    Check(form.Panels.empty() && form.Lists.empty());
    return 0;
  }
  if (form.Panels.empty()) return 0;
  Check(form.Panels.size() == static_cast<std::size_t>(form.PanelCount) + 1);
  Check(form.Lists.empty() || form.Lists.size() == static_cast<std::size_t>(form.ListCount) + 1);
  for (int p = 1; p <= form.PanelCount; ++p) {
    const session::FormPanel& panel = form.Panel(p);
    Check(panel.FieldCount >= 0 && panel.FieldCount <= form.MaxFieldCount);
    Check(panel.Fields.size() == static_cast<std::size_t>(panel.FieldCount) + 1);
    Check(panel.LinkedPanel == 0 || form.HasPanel(panel.LinkedPanel));
    int at = p;
    for (int steps = 0; at != 0; ++steps) {
      Check(steps <= form.PanelCount);
      at = form.Panel(at).LinkedPanel;
    }
    for (int k = 1; k <= panel.FieldCount; ++k) {
      const session::FormField& field = form.Field(p, k);
      Check(field.Value == std::string(static_cast<std::size_t>(field.Attribute[session::kFieldWidth]), ' '));
      Check(!field.Label.empty() && field.Label.back() == '*');
      int list = field.Attribute[session::kFieldList];
      Check(list == 0 || form.HasList(list));
    }
  }
  for (int i = 1; i <= form.ListCount; ++i) {
    const session::FormList& list = form.List(i);
    Check(!list.Title.empty() && list.Title.back() == '*');
    int next = list.Attribute[session::kListNextList];
    Check(next == 0 || form.HasList(next));
    int panel = list.Attribute[session::kListPanel];
    Check(panel == 0 || form.HasPanel(panel));
  }
  return 0;
}
