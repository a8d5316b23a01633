// Readable sources of an installation's texts: a source that converts comes back from the
// installed form to text that converts to the same bytes; a refused one names a line and
// column inside it. Help records that pass the format check always give a source back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tools/admin/texts.h"

namespace {

void CheckFault(std::string_view source, const admin_tool::TextFault& fault) {
  std::size_t lines = 1;
  for (char c : source) lines += c == '\n';
  if (fault.line < 1 || fault.line > lines || fault.column < 1 || fault.message.empty()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view source(reinterpret_cast<const char*>(data), size);
  admin_tool::TextFault fault;

  std::string text;
  if (admin_tool::SourceToText(source, text, fault)) {
    std::string again;
    if (!admin_tool::SourceToText(admin_tool::TextToSource(text), again, fault) || again != text) std::abort();
  } else {
    CheckFault(source, fault);
  }

  std::string records;
  if (admin_tool::SourceToHelp(source, records, fault)) {
    if (records.size() % admin_tool::kHelpRecordWidth != 0) std::abort();
    std::string back, problem;
    if (!records.empty() && !admin_tool::HelpToSource(records, back, problem)) std::abort();
  } else {
    CheckFault(source, fault);
  }

  std::string back, problem;
  bool isHelp = admin_tool::HelpFormatFault(source).empty();
  if (admin_tool::HelpToSource(source, back, problem) != isHelp) std::abort();
  return 0;
}
