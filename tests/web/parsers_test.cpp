// The parsers of what a browser sends, the accounts file and the login bookkeeping.
#include <sys/stat.h>

#include <fstream>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "tools/web/logins.h"
#include "tools/web/requests.h"
#include "tools/web/users.h"

namespace {

using web::Account;

TEST(WebForm, DecodesFieldsAndRejectsBrokenOnes) {
  struct Row {
    const char* body;
    bool ok;
    const char* name;
    const char* password;
  } rows[] = {
      {"name=maria&password=secret", true, "maria", "secret"},
      {"password=a+b%26c%3D&name=jo%C3%A9", true, "jo\xC3\xA9", "a b&c="},
      {"name=maria&&password=", true, "maria", ""},
      {"name=maria&password=x%2", false, "", ""},   // truncated escape
      {"name=maria&password=%zz", false, "", ""},   // not hexadecimal
      {"name=maria&name=other", false, "", ""},     // named twice
      {"name", false, "", ""},                      // no "="
      {"=x", false, "", ""},                        // no name
  };
  for (const Row& r : rows) {
    auto form = web::ParseForm(r.body);
    ASSERT_EQ(form.has_value(), r.ok) << r.body;
    if (!r.ok) continue;
    EXPECT_EQ((*form)["name"], r.name) << r.body;
    EXPECT_EQ((*form)["password"], r.password) << r.body;
  }
  std::string many;
  for (int i = 0; i < 17; ++i) many += "f" + std::to_string(i) + "=1&";
  EXPECT_FALSE(web::ParseForm(many).has_value());
}

TEST(WebCookie, FindsOneCookieAndDistrustsDoubles) {
  EXPECT_EQ(web::CookieValue("a=1; mcw=abc; b=2", "mcw"), "abc");
  EXPECT_EQ(web::CookieValue("mcw=\"abc\"", "mcw"), "abc");
  EXPECT_EQ(web::CookieValue("  mcw = abc ", "mcw"), "abc");
  EXPECT_FALSE(web::CookieValue("xmcw=abc; mcwx=1", "mcw").has_value());
  EXPECT_FALSE(web::CookieValue("mcw=abc; mcw=def", "mcw").has_value());
  EXPECT_FALSE(web::CookieValue("", "mcw").has_value());
  EXPECT_TRUE(web::WellFormedToken(std::string(64, 'a')));
  EXPECT_FALSE(web::WellFormedToken(std::string(63, 'a')));
  EXPECT_FALSE(web::WellFormedToken(std::string(64, 'A')));
  EXPECT_FALSE(web::WellFormedToken(std::string(63, 'a') + "/"));
}

TEST(WebControl, ResizeMessagesWithinBounds) {
  struct Row {
    const char* text;
    int cols, rows;  // 0: refused
  } rows[] = {
      {"resize 80 25", 80, 25}, {"resize 500 200", 500, 200}, {"resize 1 1", 1, 1},
      {"resize 501 25", 0, 0},  {"resize 80 201", 0, 0},      {"resize 0 25", 0, 0},
      {"resize -1 25", 0, 0},   {"resize 80", 0, 0},          {"resize 80 25 ", 0, 0},
      {"resize 80  25", 0, 0},  {"resize 0080 25", 80, 25},   {"resize 00080 25", 0, 0},
      {"Resize 80 25", 0, 0},   {"", 0, 0},                   {"resize 8x 25", 0, 0},
  };
  for (const Row& r : rows) {
    auto size = web::ParseControl(r.text);
    ASSERT_EQ(size.has_value(), r.cols != 0) << r.text;
    if (size) {
      EXPECT_EQ(size->cols, r.cols) << r.text;
      EXPECT_EQ(size->rows, r.rows) << r.text;
    }
  }
}

TEST(WebOrigin, ExpectedFromHost) {
  EXPECT_EQ(web::ExpectedOrigin("127.0.0.1:8080", false), "http://127.0.0.1:8080");
  EXPECT_EQ(web::ExpectedOrigin("Office.Example:443", true), "https://office.example:443");
  EXPECT_EQ(web::ExpectedOrigin("[::1]:8080", false), "http://[::1]:8080");
  EXPECT_FALSE(web::ExpectedOrigin("", false).has_value());
  EXPECT_FALSE(web::ExpectedOrigin("evil/host", false).has_value());
  EXPECT_FALSE(web::ExpectedOrigin("a b", false).has_value());
}

TEST(WebUsers, AccountLines) {
  std::string hash = "$y$j9T$abc$def";
  auto a = web::ParseAccountLine("maria:" + hash + ":SPA\r");
  ASSERT_TRUE(a.has_value());
  EXPECT_EQ(a->name, "maria");
  EXPECT_EQ(a->hash, hash);
  EXPECT_EQ(a->language, "SPA");
  EXPECT_EQ(web::FormatAccountLine(*a), "maria:" + hash + ":SPA");
  const std::vector<std::string> bad = {
      "maria:" + hash,  "maria:plain:CAT", "maria:$y$a:b$c:CAT", "maria:$y$a\nb:CAT", "maria:" + hash + ":ENG",
      ":" + hash + ":CAT", ".hidden:" + hash + ":CAT", "../x:" + hash + ":CAT", "a b:" + hash + ":CAT",
      std::string(33, 'a') + ":" + hash + ":CAT", "# comment", ""};
  for (const std::string& line : bad) {
    EXPECT_FALSE(web::ParseAccountLine(line).has_value()) << line;
  }
}

TEST(WebUsers, HashesAreYescryptAndSalted) {
  std::string h1 = web::HashPassword("correct horse");
  std::string h2 = web::HashPassword("correct horse");
  ASSERT_EQ(h1.rfind("$y$", 0), 0u) << h1;
  EXPECT_NE(h1, h2);
  EXPECT_TRUE(web::CheckPassword("correct horse", h1));
  EXPECT_TRUE(web::CheckPassword("correct horse", h2));
  EXPECT_FALSE(web::CheckPassword("correct horsE", h1));
  EXPECT_FALSE(web::CheckPassword("", h1));
  EXPECT_FALSE(web::CheckPassword("x", ""));
  EXPECT_FALSE(web::CheckPassword("x", "*0"));
}

TEST(WebUsers, FileKeepsOtherLinesAndIsPrivate) {
  testing_support::TempDir dir;
  std::string path = dir / "users";
  std::string h = web::HashPassword("p");
  std::ofstream(path) << "# operators\nmaria:" << h << ":CAT\n\nbroken line\njordi:" << h << ":GLG\n";
  web::UsersFile users(path);
  ASSERT_EQ(users.Load(), "");
  ASSERT_NE(users.Find("jordi"), nullptr);
  EXPECT_EQ(users.Find("jordi")->language, "GLG");
  EXPECT_EQ(users.Find("nobody"), nullptr);
  users.Put({"anna", h, "OCI"});
  users.Put({"maria", h, "SPA"});
  EXPECT_TRUE(users.Remove("jordi"));
  EXPECT_FALSE(users.Remove("jordi"));
  ASSERT_EQ(users.Save(), "");
  std::stringstream text;
  text << std::ifstream(path).rdbuf();
  EXPECT_EQ(text.str(), "# operators\nmaria:" + h + ":SPA\n\nbroken line\nanna:" + h + ":OCI\n");
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  web::UsersFile missing(dir / "none");
  EXPECT_EQ(missing.Load(), "");
  web::UsersFile unwritable(dir / "no-such-dir/users");
  EXPECT_NE(unwritable.Save(), "");
}

TEST(WebSessions, TokensExpireAfterIdleTime) {
  std::set<std::string> seen;
  for (int i = 0; i < 50; ++i) {
    std::string t = web::NewToken();
    EXPECT_TRUE(web::WellFormedToken(t)) << t;
    EXPECT_TRUE(seen.insert(t).second);
  }
  web::SessionTable table(1000);
  std::string token = table.Create("maria", 0);
  EXPECT_EQ(table.Use(token, 900).state, web::SessionTable::State::kValid);
  EXPECT_EQ(table.Use(token, 1800).operatorName, "maria");  // used at 900: still fresh
  EXPECT_EQ(table.Use(token, 2801).state, web::SessionTable::State::kExpired);
  EXPECT_EQ(table.Use(token, 2802).state, web::SessionTable::State::kUnknown);
  EXPECT_EQ(table.Use(std::string(64, 'a'), 0).state, web::SessionTable::State::kUnknown);
  std::string other = table.Create("jordi", 3000);
  table.Remove(other);
  EXPECT_EQ(table.Use(other, 3000).state, web::SessionTable::State::kUnknown);
  table.Create("a", 3000);
  table.Create("b", 5000);  // purges the idle one made at 3000
  EXPECT_EQ(table.size(), 1u);
}

TEST(WebThrottle, FailuresSlowTheNextAttempts) {
  web::LoginThrottle t;
  const std::string a = "192.0.2.1";
  std::int64_t now = 0;
  // Three free failures, then 1 s, 2 s, 4 s before each further check.
  std::vector<std::int64_t> waits;
  for (int i = 0; i < 6; ++i) {
    std::int64_t wait = t.Admit(a, now);
    waits.push_back(wait);
    now += wait;
    t.Failed(a, now);
  }
  EXPECT_EQ(waits, (std::vector<std::int64_t>{0, 0, 0, 1000, 2000, 4000}));
  EXPECT_EQ(t.Failures(a), 6);
  EXPECT_EQ(t.Admit("192.0.2.2", now), 0);  // other addresses are not slowed
  // Parallel attempts queue behind each other instead of being checked at once.
  std::int64_t first = t.Admit(a, now);
  std::int64_t second = t.Admit(a, now);
  EXPECT_GE(first, 8000);
  EXPECT_GE(second, first + web::LoginThrottle::kMaxDelayMs / 2);
  t.Succeeded(a);
  EXPECT_EQ(t.Admit(a, now), 0);
  // The wait never grows beyond the cap, and a quiet quarter of an hour forgets the address.
  for (int i = 0; i < 40; ++i) t.Failed(a, now);
  EXPECT_EQ(t.Admit(a, now), web::LoginThrottle::kMaxDelayMs);
  EXPECT_EQ(t.Admit(a, now + web::LoginThrottle::kForgetMs + 100000), 0);
}

}  // namespace
