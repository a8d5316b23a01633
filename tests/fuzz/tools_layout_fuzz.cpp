// Layout files: any text either fails with a placed message or gives a layout whose
// description buffer reads back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tools/recman/description.h"
#include "tools/recman/json.h"
#include "tools/recman/layout.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  recman_tool::JsonValue value;
  recman_tool::JsonError jsonError;
  if (!recman_tool::ParseJson(text, value, jsonError)) {
    if (jsonError.place.line < 1 || jsonError.place.column < 1 || jsonError.message.empty()) std::abort();
  }
  recman_tool::Layout layout;
  std::string error;
  if (!recman_tool::ParseLayout(text, layout, error)) {
    if (error.empty() || error[0] < '1' || error[0] > '9') std::abort();  // "line:column: ..."
    return 0;
  }
  const auto& d = layout.description;
  if (d.keys.empty()) std::abort();
  for (const auto& key : d.keys) {
    if (key.segments.empty() || key.Length() > 255) std::abort();
    for (const auto& s : key.segments) {
      if (s.position < 1 || s.position + s.length - 1 > d.recordLength) std::abort();
    }
  }
  for (const auto& f : layout.fields) {
    if (f.width == 0 || f.offset + f.width > d.recordLength) std::abort();
  }
  std::string buffer = recman_tool::EncodeDescription(d);
  recman_tool::FileDescription back;
  if (!recman_tool::DecodeDescription(buffer, back, error)) std::abort();
  if (recman_tool::EncodeDescription(back) != buffer) std::abort();
  std::string file = recman_tool::MakeDescriptionFile(buffer), read;
  if (!recman_tool::ReadDescriptionFile(file, read, error) || read != buffer) std::abort();
  return 0;
}
