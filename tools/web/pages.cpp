#include "tools/web/pages.h"

namespace web {

LoginNotice NoticeOfQuery(std::string_view target) {
  std::size_t q = target.find('?');
  if (q == std::string_view::npos) return LoginNotice::kNone;
  std::string_view query = target.substr(q + 1);
  if (query == "why=expired") return LoginNotice::kExpired;
  if (query == "why=ended") return LoginNotice::kEnded;
  if (query == "why=lost") return LoginNotice::kLost;
  if (query == "why=out") return LoginNotice::kLoggedOut;
  return LoginNotice::kNone;
}

std::string LoginPage(LoginNotice notice) {
  std::string text;
  switch (notice) {
    case LoginNotice::kNone: break;
    case LoginNotice::kWrongPassword: text = "Wrong name or password. Try again."; break;
    case LoginNotice::kExpired: text = "Your session has expired. Log in again to go on."; break;
    case LoginNotice::kEnded: text = "The record card has ended. Log in to start it again."; break;
    case LoginNotice::kLost: text = "The connection to the server was lost. Log in to start again."; break;
    case LoginNotice::kLoggedOut: text = "You have logged out."; break;
    case LoginNotice::kTooMany: text = "Too many attempts. Wait a moment and try again."; break;
  }
  std::string page =
      "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
      "<title>modcarta - log in</title><link rel=\"stylesheet\" href=\"/static/page.css\"></head>\n"
      "<body class=\"login\"><main>\n<h1>Record card</h1>\n";
  if (!text.empty()) page += "<p class=\"notice\" id=\"notice\" role=\"alert\">" + text + "</p>\n";
  page +=
      "<form method=\"post\" action=\"/login\">\n"
      "<label>Name <input name=\"name\" id=\"name\" autocomplete=\"username\" autofocus required "
      "maxlength=\"32\"></label>\n"
      "<label>Password <input name=\"password\" id=\"password\" type=\"password\" "
      "autocomplete=\"current-password\" required maxlength=\"200\"></label>\n"
      "<button type=\"submit\" id=\"login\">Log in</button>\n</form>\n</main></body></html>\n";
  return page;
}

}  // namespace web
