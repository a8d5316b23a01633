// The pages modcarta-web writes itself: the login page with its notices. The terminal page
// and its script are static files (static/).
#pragma once

#include <string>
#include <string_view>

namespace web {

// Why the login page is shown, from the "why" of its query ("/login?why=expired"); an
// unknown reason shows the plain page. The page's texts are fixed: nothing of the request is
// copied into it.
enum class LoginNotice { kNone, kWrongPassword, kExpired, kEnded, kLost, kLoggedOut, kTooMany };
LoginNotice NoticeOfQuery(std::string_view target);
std::string LoginPage(LoginNotice notice);

}  // namespace web
