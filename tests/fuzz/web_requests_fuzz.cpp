// What a browser sends to modcarta-web: the login form body, the Cookie header, the Host header
// the Origin is checked against, and the terminal's control messages. The first byte picks the
// parser; whatever a parser accepts must hold together.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tools/web/requests.h"

namespace {

std::string PercentEncode(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    out += '%';
    out += kHex[c >> 4];
    out += kHex[c & 15];
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  switch (data[0] % 4) {
    case 0: {
      auto form = web::ParseForm(text);
      if (!form) return 0;
      if (form->size() > 16) std::abort();
      // Encoded again, every field comes back as it was.
      std::string body;
      for (const auto& [name, value] : *form) {
        if (name.empty()) std::abort();
        body += PercentEncode(name) + "=" + PercentEncode(value) + "&";
      }
      if (web::ParseForm(body) != form) std::abort();
      break;
    }
    case 1: {
      auto value = web::CookieValue(text, "mcw");
      if (value && value->find(';') != std::string::npos) std::abort();
      if (value && web::WellFormedToken(*value) && value->size() != 64) std::abort();
      break;
    }
    case 2: {
      auto origin = web::ExpectedOrigin(text, data[0] & 4);
      if (!origin) return 0;
      std::string_view rest(*origin);
      rest.remove_prefix(rest.find("://") + 3);
      // Nothing of the Host header may turn into a path, a query or another origin's parts.
      if (rest.find_first_of("/?#@ ") != std::string_view::npos) std::abort();
      break;
    }
    case 3: {
      auto size = web::ParseControl(text);
      if (!size) return 0;
      if (size->cols < 1 || size->cols > 500 || size->rows < 1 || size->rows > 200) std::abort();
      std::string again = "resize " + std::to_string(size->cols) + " " + std::to_string(size->rows);
      auto back = web::ParseControl(again);
      if (!back || back->cols != size->cols || back->rows != size->rows) std::abort();
      break;
    }
  }
  return 0;
}
