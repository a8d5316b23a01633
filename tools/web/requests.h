// Parsers of what a browser sends to modcarta-web: the login form, the Cookie header, the
// Origin header and the control messages of the terminal connection. Each takes untrusted
// bytes and returns a value or nothing; none of them throws.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace web {

// Decodes application/x-www-form-urlencoded text ("a+b%21" is "a b!"); nothing when a "%" is
// not followed by two hexadecimal digits.
std::optional<std::string> FormDecode(std::string_view text);

// The fields of a form body "name=maria&password=x%26y". Nothing when a field is malformed,
// named twice, or the body has more than 16 fields.
std::optional<std::map<std::string, std::string>> ParseForm(std::string_view body);

// The value of one cookie in a Cookie header ("a=1; mcw=abc" gives "abc" for "mcw"); nothing
// when it is absent or given twice (a second cookie of the same name may be a planted one).
std::optional<std::string> CookieValue(std::string_view header, std::string_view name);

// True for a session token as the server makes them: 64 lowercase hexadecimal digits.
bool WellFormedToken(std::string_view token);

// A control message of the terminal connection (the page sends them as text frames; the
// keys and pasted text travel as binary frames):
//   "resize COLS ROWS"   the terminal's size in cells, COLS 1..500, ROWS 1..200
struct Resize {
  int cols = 0;
  int rows = 0;
};
std::optional<Resize> ParseControl(std::string_view message);

// "https://host:port" for a request that reached us with this Host header, to compare with
// the Origin the browser sent (a WebSocket from a page of another site carries that site's
// origin). Nothing when the Host header is empty or holds characters a host cannot have.
std::optional<std::string> ExpectedOrigin(std::string_view host, bool tls);

}  // namespace web
