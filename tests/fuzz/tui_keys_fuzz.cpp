// The terminal key parser on arbitrary bytes: it must take every input apart without reading
// past it, always make progress, never leave a final input incomplete, and deliver only
// well-formed events.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "tui/console/key_parser.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void CheckEvent(const tui::InputEvent& e) {
  if (e.type == tui::InputEvent::Type::kMouse) {
    Check(e.column >= 1 && e.row >= 1 && e.column <= 9999 && e.row <= 9999);
    Check(e.button >= 0 && e.button <= 3);
  } else {
    // A character is never 0 (no key) and never a byte the parser refuses to type.
    Check(!(e.character != 0 && e.scan != 0));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);

  for (bool final : {false, true}) {
    std::string_view rest = bytes;
    while (!rest.empty()) {
      tui::ParseResult r = tui::ParseInput(rest, final);
      if (r.status == tui::ParseResult::Status::kIncomplete) {
        Check(!final);
        break;
      }
      Check(r.consumed >= 1 && r.consumed <= rest.size());
      if (r.status == tui::ParseResult::Status::kEvent) CheckEvent(r.event);
      rest.remove_prefix(r.consumed);
    }
  }

  // The decoder, fed in pieces with the first byte of each piece as a time step.
  tui::KeyDecoder decoder(40, 800);
  tui::KeyTable table;
  table.Add("\x1b[1;5u", tui::InputEvent::Scan(0x3B));
  decoder.SetKeyTable(table);
  std::int64_t now = 0;
  std::size_t i = 0;
  while (i < size) {
    std::size_t piece = 1 + data[i] % 8;
    now += data[i] % 64;
    decoder.Feed(bytes.substr(i, piece), now);
    i += piece;
    int events = 0;
    while (auto e = decoder.Next(now)) {
      CheckEvent(*e);
      Check(++events <= 4096);
    }
    Check(decoder.MillisecondsUntilDue(now) >= -1);
  }
  // Long after the last byte everything has come out.
  now += 100000;
  while (decoder.Next(now)) {
  }
  Check(decoder.Buffered() == 0);
  return 0;
}
