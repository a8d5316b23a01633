// Damaged window stack files and help files: whatever their bytes, reading them must not
// crash, read out of bounds or loop, and what is read back must be a well-formed record.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tui/windows/help_text.h"
#include "tui/windows/message_layout.h"
#include "tui/windows/window_stack.h"

namespace {

std::string ScratchPath() {
  static std::string path = [] {
    char pattern[] = "/tmp/tui-window-stack-fuzz-XXXXXX";
    int fd = ::mkstemp(pattern);
    if (fd >= 0) ::close(fd);
    return std::string(pattern);
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);

  if (std::optional<tui::WindowRecord> record = tui::DecodeWindowRecord(bytes)) {
    // A record that decodes encodes back to the same bytes.
    std::optional<std::string> again = tui::EncodeWindowRecord(*record);
    if (!again || *again != bytes) std::abort();
  }

  // The same bytes as a whole stack file: pop until it is empty or damaged. Each pop moves the
  // header back by at least one record, so this ends.
  std::string path = ScratchPath();
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    tui::WindowStackFile stack(path);
    tui::WindowRecord record;
    int pops = 0;
    while (stack.Pop(&record) == tui::StackStatus::kOk) {
      if (record.cells.size() != static_cast<std::size_t>(tui::RectCells(record.rect)) * 2) std::abort();
      if (++pops > 100000) std::abort();
    }
    stack.Push(tui::WindowRecord{1, 1, {}, {1, 1, 1, 1}, "x\x07"});
  }

  tui::HelpText help(bytes, 80);
  for (int n = 1; n <= help.LineCount(); ++n) {
    std::size_t visible = 0;
    for (const tui::HelpSpan& span : tui::HelpLineSpans(help.Line(n))) visible += span.text.size();
    if (visible > static_cast<std::size_t>(tui::kHelpVisibleChars)) std::abort();
  }
  std::size_t total = 0;
  for (const std::string& line : tui::SplitWrappedLines(bytes, 76)) total += line.size();
  if (total != bytes.size()) std::abort();
  return 0;
}
