// modcarta-web as a process: the account commands, the login and the doors that stay shut.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "tools/web/users.h"

namespace {

const std::string kWeb = std::string(MODCARTA_BIN_DIR) + "/modcarta-web";

// Runs a shell command with `input` on its standard input; its exit status.
int RunWithInput(const std::string& command, const std::string& input) {
  FILE* p = ::popen(command.c_str(), "w");
  if (p == nullptr) return -1;
  std::fwrite(input.data(), 1, input.size(), p);
  int status = ::pclose(p);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ReadText(const std::string& path) {
  std::stringstream s;
  s << std::ifstream(path).rdbuf();
  return s.str();
}

TEST(WebCommands, PasswdAndRemoveManageTheUsersFile) {
  testing_support::TempDir dir;
  std::string users = dir / "etc/users";  // the folder is made when missing
  ASSERT_EQ(RunWithInput(kWeb + " passwd maria --users " + users, "first secret\n"), 0);
  ASSERT_EQ(RunWithInput(kWeb + " passwd jordi --users " + users + " --lang GLG", "other\n"), 0);
  web::UsersFile file(users);
  ASSERT_EQ(file.Load(), "");
  ASSERT_NE(file.Find("maria"), nullptr);
  EXPECT_TRUE(web::CheckPassword("first secret", file.Find("maria")->hash));
  EXPECT_EQ(file.Find("maria")->language, "CAT");
  EXPECT_EQ(file.Find("jordi")->language, "GLG");
  EXPECT_EQ(ReadText(users).find("first secret"), std::string::npos);

  // A new password keeps the language; a new language keeps nothing else of the old line.
  ASSERT_EQ(RunWithInput(kWeb + " passwd jordi --users " + users, "changed\n"), 0);
  ASSERT_EQ(file.Load(), "");
  EXPECT_TRUE(web::CheckPassword("changed", file.Find("jordi")->hash));
  EXPECT_EQ(file.Find("jordi")->language, "GLG");

  EXPECT_NE(RunWithInput(kWeb + " passwd maria --users " + users, ""), 0);          // no password
  EXPECT_NE(RunWithInput(kWeb + " passwd ../x --users " + users, "p\n"), 0);        // not a name
  EXPECT_NE(RunWithInput(kWeb + " passwd anna --users " + users + " --lang EN", "p\n"), 0);
  ASSERT_EQ(RunWithInput(kWeb + " remove maria --users " + users, ""), 0);
  EXPECT_NE(RunWithInput(kWeb + " remove maria --users " + users, ""), 0);
  ASSERT_EQ(file.Load(), "");
  EXPECT_EQ(file.Find("maria"), nullptr);
  EXPECT_NE(file.Find("jordi"), nullptr);
}

// One server for the HTTP cases, on a free loopback port, with one operator.
class WebServer : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new testing_support::TempDir;
    std::string users = *dir_ / "users";
    ASSERT_EQ(RunWithInput(kWeb + " passwd maria --users " + users, "secret\n"), 0);
    ::mkdir((*dir_ / "root").c_str(), 0755);
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out[1], 1);
      ::close(out[0]);
      ::execl(kWeb.c_str(), kWeb.c_str(), "--root", (*dir_ / "root").c_str(), "--listen", "127.0.0.1:0", "--users",
              users.c_str(), "--idle-minutes", "1", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(out[1]);
    std::string line;
    char c;
    while (::read(out[0], &c, 1) == 1 && c != '\n') line += c;
    ::close(out[0]);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(line, m, std::regex(R"(http://127\.0\.0\.1:(\d+)/)"))) << line;
    port_ = std::stoi(m[1]);
  }
  static void TearDownTestSuite() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      int status = 0;
      ::waitpid(pid_, &status, 0);
    }
    delete dir_;
  }

  // Sends one request (the connection is closed after it) and returns the whole response.
  static std::string Exchange(const std::string& request) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port_));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
      ::close(fd);
      return {};
    }
    std::size_t sent = 0;
    while (sent < request.size()) {
      ssize_t n = ::write(fd, request.data() + sent, request.size() - sent);
      if (n <= 0) break;
      sent += static_cast<std::size_t>(n);
    }
    std::string response;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0) response.append(buf, static_cast<std::size_t>(n));
    ::close(fd);
    return response;
  }
  static std::string Host() { return "127.0.0.1:" + std::to_string(port_); }
  static std::string Get(const std::string& target, const std::string& headers = {}) {
    return Exchange("GET " + target + " HTTP/1.1\r\nHost: " + Host() + "\r\nConnection: close\r\n" + headers + "\r\n");
  }
  static std::string PostLogin(const std::string& body, const std::string& headers = {}) {
    return Exchange("POST /login HTTP/1.1\r\nHost: " + Host() +
                    "\r\nConnection: close\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                    std::to_string(body.size()) + "\r\n" + headers + "\r\n" + body);
  }
  static std::string Upgrade(const std::string& headers) {
    return Exchange("GET /term HTTP/1.1\r\nHost: " + Host() +
                    "\r\nConnection: Upgrade\r\nUpgrade: websocket\r\nSec-WebSocket-Version: 13\r\n"
                    "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n" +
                    headers + "\r\n");
  }
  static int Status(const std::string& response) {
    return response.size() > 12 ? std::atoi(response.c_str() + 9) : 0;
  }
  static std::string Header(const std::string& response, const std::string& name) {
    std::smatch m;
    std::regex re("\r\n" + name + ": ([^\r]*)\r\n", std::regex::icase);
    return std::regex_search(response, m, re) ? m[1].str() : std::string();
  }
  static std::string LogIn() {
    std::string cookie = Header(PostLogin("name=maria&password=secret"), "Set-Cookie");
    return cookie.substr(0, cookie.find(';'));
  }

  static testing_support::TempDir* dir_;
  static pid_t pid_;
  static int port_;
};
testing_support::TempDir* WebServer::dir_ = nullptr;
pid_t WebServer::pid_ = -1;
int WebServer::port_ = 0;

TEST_F(WebServer, LoginSetsAStrictSessionCookie) {
  std::string page = Get("/");
  EXPECT_EQ(Status(page), 303);
  EXPECT_EQ(Header(page, "Location"), "/login");

  std::string wrong = PostLogin("name=maria&password=Secret");
  EXPECT_EQ(Status(wrong), 401);
  EXPECT_NE(wrong.find("Wrong name or password"), std::string::npos);
  EXPECT_EQ(Header(wrong, "Set-Cookie"), "");
  EXPECT_EQ(Status(PostLogin("name=nobody&password=secret")), 401);
  EXPECT_EQ(Status(PostLogin("name=maria&password=secret%")), 401);  // malformed body

  std::string good = PostLogin("name=maria&password=secret");
  ASSERT_EQ(Status(good), 303);
  EXPECT_EQ(Header(good, "Location"), "/");
  std::string cookie = Header(good, "Set-Cookie");
  EXPECT_TRUE(std::regex_match(cookie, std::regex("mcw=[0-9a-f]{64}; Path=/; HttpOnly; SameSite=Strict"))) << cookie;

  std::string session = cookie.substr(0, cookie.find(';'));
  std::string terminal = Get("/", "Cookie: " + session + "\r\n");
  EXPECT_EQ(Status(terminal), 200);
  EXPECT_NE(terminal.find("/static/terminal.js"), std::string::npos);
  EXPECT_EQ(Status(Get("/session", "Cookie: " + session + "\r\n")), 204);
  EXPECT_EQ(Status(Get("/session", "Cookie: mcw=" + std::string(64, '0') + "\r\n")), 401);
  EXPECT_EQ(Status(Get("/session", "Cookie: " + session + "; " + session + "\r\n")), 401);

  std::string out = Exchange("POST /logout HTTP/1.1\r\nHost: " + Host() + "\r\nOrigin: http://" + Host() +
                             "\r\nCookie: " + session + "\r\nConnection: close\r\nContent-Length: 0\r\n\r\n");
  EXPECT_EQ(Status(out), 303);
  EXPECT_NE(Header(out, "Set-Cookie").find("Max-Age=0"), std::string::npos);
  EXPECT_EQ(Status(Get("/session", "Cookie: " + session + "\r\n")), 401);
}

TEST_F(WebServer, TerminalNeedsCookieAndOwnOrigin) {
  std::string session = LogIn();
  ASSERT_FALSE(session.empty());
  std::string origin = "Origin: http://" + Host() + "\r\n";
  EXPECT_EQ(Status(Upgrade(origin)), 401);
  EXPECT_EQ(Status(Upgrade(origin + "Cookie: mcw=" + std::string(64, '1') + "\r\n")), 401);
  EXPECT_EQ(Status(Upgrade("Origin: http://evil.example\r\nCookie: " + session + "\r\n")), 403);
  EXPECT_EQ(Status(Upgrade("Origin: http://" + Host() + ".evil.example\r\nCookie: " + session + "\r\n")), 403);
  EXPECT_EQ(Status(Upgrade("Cookie: " + session + "\r\n")), 403);  // no Origin at all
  // A login posted from another site's page is refused too.
  EXPECT_EQ(Status(PostLogin("name=maria&password=secret", "Origin: http://evil.example\r\n")), 403);
}

TEST_F(WebServer, StaticFilesOnlyFromTheirFolder) {
  EXPECT_EQ(Status(Get("/static/terminal.js")), 200);
  EXPECT_EQ(Header(Get("/static/page.css"), "Content-Type"), "text/css; charset=utf-8");
  EXPECT_EQ(Status(Get("/static/../server.cpp")), 404);
  EXPECT_EQ(Status(Get("/static/%2e%2e/x")), 404);
  EXPECT_EQ(Status(Get("/static/.hidden")), 404);
  EXPECT_EQ(Status(Get("/static/")), 404);
  EXPECT_EQ(Status(Get("/nothing")), 404);
  std::string login = Get("/login?why=expired");
  EXPECT_NE(login.find("Your session has expired"), std::string::npos);
  EXPECT_EQ(Get("/login?why=<script>").find("<script>"), std::string::npos);
}

TEST_F(WebServer, RepeatedFailuresFromOneAddressAreSlowed) {
  // Failures of the other cases may already count against loopback; a success clears them.
  ASSERT_FALSE(LogIn().empty());
  auto timed = [] {
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Status(PostLogin("name=maria&password=bad")), 401);
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  };
  for (int i = 0; i < 3; ++i) timed();
  EXPECT_GE(timed(), 900);  // the fourth waits a second before it is even checked
  ASSERT_FALSE(LogIn().empty());  // (after its own wait) the right password still gets in
}

}  // namespace
