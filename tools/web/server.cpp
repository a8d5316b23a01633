#include "tools/web/server.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>  // before Asio, whose headers use std::exchange without it

#include <boost/asio.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <set>
#include <sstream>

#include "session/station.h"
#include "tools/web/logins.h"
#include "tools/web/pages.h"
#include "tools/web/requests.h"
#include "tools/web/terminal_program.h"
#include "tools/web/users.h"

namespace web {
namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
namespace net = boost::asio;
namespace ssl = net::ssl;
using tcp = net::ip::tcp;
using Request = http::request<http::string_body>;
using Response = http::response<http::string_body>;

constexpr const char* kCookie = "mcw";

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::string ReadWholeFile(const std::string& path, bool* ok) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  *ok = static_cast<bool>(in);
  return s.str();
}

std::string ContentType(const std::string& name) {
  auto ends = [&](const char* ext) {
    std::string e(ext);
    return name.size() >= e.size() && name.compare(name.size() - e.size(), e.size(), e) == 0;
  };
  if (ends(".html")) return "text/html; charset=utf-8";
  if (ends(".js")) return "text/javascript; charset=utf-8";
  if (ends(".css")) return "text/css; charset=utf-8";
  if (ends(".png")) return "image/png";
  return "application/octet-stream";
}

// A static file's name: letters, digits, dots and dashes, not starting with a dot.
bool StaticName(std::string_view name) {
  if (name.empty() || name.size() > 64 || name[0] == '.') return false;
  for (char c : name) {
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-')) return false;
  }
  return true;
}

// The station files of one browser workstation: its operator and terminal directory, its
// language, and today as the working date.
std::string WriteStation(const std::string& dir, const Account& account) {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  ::localtime_r(&now, &tm);
  char date[32];
  std::snprintf(date, sizeof date, "%04d%02d%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
  return session::WriteStationFiles(dir, {account.name, account.language, dir + "/", date});
}

class TerminalBase;

// What every connection shares.
struct Shared {
  ServerOptions options;
  net::io_context& ioc;
  std::optional<ssl::context> tls;
  SessionTable sessions;
  LoginThrottle throttle;
  std::string dummyHash;  // checked for unknown names, so they take as long as known ones
  std::set<TerminalBase*> terminals;
  bool stopping = false;

  Shared(ServerOptions o, net::io_context& io)
      : options(std::move(o)), ioc(io), sessions(static_cast<std::int64_t>(options.idleMinutes) * 60000) {}
};

std::string_view View(beast::string_view s) { return {s.data(), s.size()}; }

// The session cookie of a request, when it is well formed.
std::string TokenOf(const Request& req) {
  auto it = req.find(http::field::cookie);
  if (it == req.end()) return {};
  std::optional<std::string> token = CookieValue(View(it->value()), kCookie);
  return token && WellFormedToken(*token) ? *token : std::string();
}

bool OriginMatches(const Request& req, bool tls, bool required) {
  auto origin = req.find(http::field::origin);
  if (origin == req.end()) return !required;
  std::optional<std::string> expected = ExpectedOrigin(View(req[http::field::host]), tls);
  return expected && View(origin->value()) == *expected;
}

// The part of a terminal connection that does not depend on the stream type.
class TerminalBase {
 public:
  virtual ~TerminalBase() = default;
  virtual void Hangup() = 0;
};

template <class Stream>
class Terminal : public TerminalBase, public std::enable_shared_from_this<Terminal<Stream>> {
 public:
  Terminal(Stream&& stream, Shared& shared, std::string token, Account account)
      : ws_(std::move(stream)),
        shared_(shared),
        token_(std::move(token)),
        account_(std::move(account)),
        pty_(shared.ioc),
        timer_(shared.ioc) {
    shared_.terminals.insert(this);
  }
  ~Terminal() override {
    shared_.terminals.erase(this);
    RemoveStation();
    if (shared_.stopping && shared_.terminals.empty()) shared_.ioc.stop();
  }

  void Accept(Request req) {
    beast::get_lowest_layer(ws_).expires_never();
    ws_.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
    ws_.read_message_max(64 * 1024);
    ws_.async_accept(req, [self = this->shared_from_this()](beast::error_code ec) {
      if (ec) return;
      self->Start();
    });
  }

  void Hangup() override {
    if (hungUp_ || program_.pid() <= 0) return;
    hungUp_ = true;
    program_.Signal(SIGHUP);
    reapDeadline_ = NowMs() + shared_.options.graceMs;
    Reap();
  }

 private:
  void Start() {
    std::string error = MakeStation();
    if (error.empty()) {
      std::string exeDir = std::filesystem::path(shared_.options.program).parent_path().string();
      std::vector<std::string> env = {"ZEDROOT=" + shared_.options.root + "/", "ZEDTMP=" + station_ + "/",
                                      "ZEDEXE=" + exeDir + "/",          "TERM=xterm-256color",
                                      "LANG=C.UTF-8",                    "HOME=" + station_,
                                      "PATH=/usr/local/bin:/usr/bin:/bin"};
      error = program_.Start({shared_.options.program}, env, shared_.options.root, 80, 25);
    }
    if (!error.empty()) {
      std::fprintf(stderr, "modcarta-web: %s\n", error.c_str());
      Close("failed");
      return;
    }
    beast::error_code ec;
    pty_.assign(::dup(program_.master()), ec);
    ReadBrowser();
    ReadProgram();
  }

  std::string MakeStation() {
    std::string operatorDir = shared_.options.stationsDir + "/" + account_.name;
    std::error_code ec;
    std::filesystem::create_directories(operatorDir, ec);
    ::chmod(operatorDir.c_str(), 0700);
    std::string pattern = operatorDir + "/W-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) return "cannot make a workstation directory in " + operatorDir;
    station_ = pattern;
    return WriteStation(station_, account_);
  }

  void RemoveStation() {
    if (station_.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(station_, ec);
    station_.clear();
  }

  // The browser's keys and control messages.
  void ReadBrowser() {
    ws_.async_read(in_, [self = this->shared_from_this()](beast::error_code ec, std::size_t) {
      if (ec) {
        self->Hangup();  // the tab closed or the connection was lost
        return;
      }
      self->shared_.sessions.Use(self->token_, NowMs());  // activity keeps the session alive
      std::string message = beast::buffers_to_string(self->in_.data());
      self->in_.consume(self->in_.size());
      if (self->ws_.got_text()) {
        if (std::optional<Resize> r = ParseControl(message)) self->program_.Resize(r->cols, r->rows);
      } else if (!self->hungUp_) {
        self->toProgram_.push_back(std::move(message));
        if (self->toProgram_.size() == 1) self->WriteProgram();
      }
      self->ReadBrowser();
    });
  }

  void WriteProgram() {
    net::async_write(pty_, net::buffer(toProgram_.front()),
                     [self = this->shared_from_this()](beast::error_code ec, std::size_t) {
                       self->toProgram_.pop_front();
                       if (ec) {
                         self->toProgram_.clear();
                         return;
                       }
                       if (!self->toProgram_.empty()) self->WriteProgram();
                     });
  }

  // The program's output, one read at a time: the next read waits until the browser has taken
  // the last one, so a slow browser slows the program instead of filling our memory.
  void ReadProgram() {
    pty_.async_read_some(net::buffer(out_), [self = this->shared_from_this()](beast::error_code ec, std::size_t n) {
      if (ec) {  // EIO: the program and everything it started have let go of the terminal
        self->ProgramGone();
        return;
      }
      self->ws_.binary(true);
      self->ws_.async_write(net::buffer(self->out_.data(), n), [self](beast::error_code ec2, std::size_t) {
        if (ec2) {
          self->Hangup();
          return;
        }
        self->ReadProgram();
      });
    });
  }

  void ProgramGone() {
    programGone_ = true;
    if (!hungUp_) {
      hungUp_ = true;
      reapDeadline_ = NowMs() + shared_.options.graceMs;
      Reap();
    }
  }

  // Waits for the program to end, killing it once the grace period is over.
  void Reap() {
    if (program_.Ended()) {
      beast::error_code ec;
      pty_.close(ec);
      RemoveStation();
      Close("ended");
      return;
    }
    if (NowMs() > reapDeadline_) program_.Signal(SIGKILL);
    timer_.expires_after(std::chrono::milliseconds(20));
    timer_.async_wait([self = this->shared_from_this()](beast::error_code) { self->Reap(); });
  }

  void Close(const char* reason) {
    if (closing_ || !ws_.is_open()) return;
    closing_ = true;
    ws_.async_close(websocket::close_reason(websocket::close_code::normal, reason),
                    [self = this->shared_from_this()](beast::error_code) {});
  }

  websocket::stream<Stream> ws_;
  Shared& shared_;
  std::string token_;
  Account account_;
  std::string station_;
  TerminalProgram program_;
  net::posix::stream_descriptor pty_;
  net::steady_timer timer_;
  beast::flat_buffer in_;
  std::array<char, 8192> out_{};
  std::deque<std::string> toProgram_;
  std::int64_t reapDeadline_ = 0;
  bool hungUp_ = false;
  bool programGone_ = false;
  bool closing_ = false;
};

template <class Stream>
class HttpConnection : public std::enable_shared_from_this<HttpConnection<Stream>> {
 public:
  HttpConnection(Stream&& stream, Shared& shared, std::string address)
      : stream_(std::move(stream)), shared_(shared), address_(std::move(address)), timer_(shared.ioc) {}

  void Run() {
    if constexpr (std::is_same_v<Stream, beast::ssl_stream<beast::tcp_stream>>) {
      beast::get_lowest_layer(stream_).expires_after(std::chrono::seconds(30));
      stream_.async_handshake(ssl::stream_base::server, [self = this->shared_from_this()](beast::error_code ec) {
        if (!ec) self->Read();
      });
    } else {
      Read();
    }
  }

 private:
  static constexpr bool kTls = std::is_same_v<Stream, beast::ssl_stream<beast::tcp_stream>>;

  void Read() {
    parser_.emplace();
    parser_->body_limit(8192);
    parser_->header_limit(8192);
    beast::get_lowest_layer(stream_).expires_after(std::chrono::seconds(60));
    http::async_read(stream_, buffer_, *parser_, [self = this->shared_from_this()](beast::error_code ec, std::size_t) {
      if (ec) {
        self->Shutdown();
        return;
      }
      self->Handle(self->parser_->release());
    });
  }

  Response Basic(http::status status, const Request& req, std::string body = {},
                 const std::string& type = "text/plain; charset=utf-8") {
    Response res{status, req.version()};
    res.set(http::field::server, "modcarta-web");
    res.set(http::field::content_type, type);
    res.set(http::field::cache_control, "no-store");
    res.set("X-Content-Type-Options", "nosniff");
    res.set("X-Frame-Options", "DENY");
    res.set("Referrer-Policy", "same-origin");  // "no-referrer" would make form posts say "Origin: null"
    res.set("Content-Security-Policy",
            "default-src 'self'; style-src 'self' 'unsafe-inline'; frame-ancestors 'none'");
    res.keep_alive(req.keep_alive());
    res.body() = std::move(body);
    res.prepare_payload();
    return res;
  }

  Response Redirect(const Request& req, const std::string& to) {
    Response res = Basic(http::status::see_other, req);
    res.set(http::field::location, to);
    return res;
  }

  Response Login(const Request& req, LoginNotice notice, http::status status = http::status::ok) {
    return Basic(status, req, LoginPage(notice), "text/html; charset=utf-8");
  }

  std::string CookieHeader(const std::string& value, bool expire) {
    std::string c = std::string(kCookie) + "=" + value + "; Path=/; HttpOnly; SameSite=Strict";
    if (kTls) c += "; Secure";
    if (expire) c += "; Max-Age=0";
    return c;
  }

  void Handle(Request req) {
    std::string target(req.target());
    std::string path = target.substr(0, target.find('?'));
    bool get = req.method() == http::verb::get || req.method() == http::verb::head;
    if (websocket::is_upgrade(req)) {
      Upgrade(std::move(req));
      return;
    }
    if (path == "/login" && req.method() == http::verb::post) {
      LoginPost(std::move(req));
      return;
    }
    if (path == "/login" && get) return Send(Login(req, NoticeOfQuery(target)));
    if (path == "/logout" && req.method() == http::verb::post) {
      if (!OriginMatches(req, kTls, true)) return Send(Basic(http::status::forbidden, req, "Forbidden\n"));
      std::string token = TokenOf(req);
      if (!token.empty()) shared_.sessions.Remove(token);
      Response res = Redirect(req, "/login?why=out");
      res.set(http::field::set_cookie, CookieHeader("", true));
      return Send(std::move(res));
    }
    if (path == "/session" && get) {
      std::string token = TokenOf(req);
      bool valid = !token.empty() && shared_.sessions.Use(token, NowMs()).state == SessionTable::State::kValid;
      return Send(Basic(valid ? http::status::no_content : http::status::unauthorized, req));
    }
    if (path == "/" && get) {
      std::string token = TokenOf(req);
      SessionTable::Lookup who =
          token.empty() ? SessionTable::Lookup{} : shared_.sessions.Use(token, NowMs());
      if (who.state == SessionTable::State::kExpired) return Send(Redirect(req, "/login?why=expired"));
      if (who.state != SessionTable::State::kValid) return Send(Redirect(req, "/login"));
      return Static(req, "terminal.html");
    }
    if (path.rfind("/static/", 0) == 0 && get) return Static(req, path.substr(8));
    if (get) return Send(Basic(http::status::not_found, req, "Not found\n"));
    return Send(Basic(http::status::method_not_allowed, req, "Method not allowed\n"));
  }

  void Static(const Request& req, const std::string& name) {
    if (!StaticName(name)) return Send(Basic(http::status::not_found, req, "Not found\n"));
    bool ok = false;
    std::string body = ReadWholeFile(shared_.options.staticDir + "/" + name, &ok);
    if (!ok) return Send(Basic(http::status::not_found, req, "Not found\n"));
    Response res = Basic(http::status::ok, req, std::move(body), ContentType(name));
    res.set(http::field::cache_control, "no-cache");
    if (req.method() == http::verb::head) res.body().clear();
    Send(std::move(res));
  }

  void LoginPost(Request req) {
    if (!OriginMatches(req, kTls, false)) return Send(Basic(http::status::forbidden, req, "Forbidden\n"));
    std::int64_t wait = shared_.throttle.Admit(address_, NowMs());
    auto request = std::make_shared<Request>(std::move(req));
    timer_.expires_after(std::chrono::milliseconds(wait));
    timer_.async_wait([self = this->shared_from_this(), request](beast::error_code) { self->CheckLogin(*request); });
  }

  void CheckLogin(const Request& req) {
    std::optional<std::map<std::string, std::string>> form = ParseForm(req.body());
    std::string name = form && form->count("name") ? form->at("name") : std::string();
    std::string password = form && form->count("password") ? form->at("password") : std::string();
    UsersFile users(shared_.options.usersFile);
    std::string error = users.Load();
    if (!error.empty()) std::fprintf(stderr, "modcarta-web: %s\n", error.c_str());
    const Account* account = ValidOperatorName(name) ? users.Find(name) : nullptr;
    bool good = CheckPassword(password, account ? account->hash : shared_.dummyHash) && account != nullptr;
    if (!good) {
      shared_.throttle.Failed(address_, NowMs());
      return Send(Login(req, LoginNotice::kWrongPassword, http::status::unauthorized));
    }
    shared_.throttle.Succeeded(address_);
    std::string token = shared_.sessions.Create(account->name, NowMs());
    if (token.empty()) return Send(Basic(http::status::service_unavailable, req, "No random source\n"));
    Response res = Redirect(req, "/");
    res.set(http::field::set_cookie, CookieHeader(token, false));
    Send(std::move(res));
  }

  void Upgrade(Request req) {
    req.keep_alive(false);  // a refused upgrade closes the connection
    std::string target(req.target());
    std::string token = TokenOf(req);
    SessionTable::Lookup who = token.empty() ? SessionTable::Lookup{} : shared_.sessions.Use(token, NowMs());
    if (target != "/term" || shared_.stopping) return Send(Basic(http::status::not_found, req, "Not found\n"));
    if (!OriginMatches(req, kTls, true)) return Send(Basic(http::status::forbidden, req, "Forbidden\n"));
    if (who.state != SessionTable::State::kValid) return Send(Basic(http::status::unauthorized, req, "Log in first\n"));
    UsersFile users(shared_.options.usersFile);
    users.Load();
    const Account* account = users.Find(who.operatorName);
    if (account == nullptr) {  // removed since logging in
      shared_.sessions.Remove(token);
      return Send(Basic(http::status::unauthorized, req, "Log in first\n"));
    }
    auto terminal = std::make_shared<Terminal<Stream>>(std::move(stream_), shared_, token, *account);
    terminal->Accept(std::move(req));
  }

  void Send(Response res) {
    auto message = std::make_shared<Response>(std::move(res));
    http::async_write(stream_, *message, [self = this->shared_from_this(), message](beast::error_code ec, std::size_t) {
      if (ec || message->need_eof()) {
        self->Shutdown();
        return;
      }
      self->Read();
    });
  }

  void Shutdown() {
    beast::error_code ec;
    if constexpr (kTls) {
      beast::get_lowest_layer(stream_).expires_after(std::chrono::seconds(5));
      stream_.async_shutdown([self = this->shared_from_this()](beast::error_code) {});
    } else {
      stream_.socket().shutdown(tcp::socket::shutdown_send, ec);
    }
  }

  Stream stream_;
  Shared& shared_;
  std::string address_;
  net::steady_timer timer_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
};

class Listener : public std::enable_shared_from_this<Listener> {
 public:
  Listener(Shared& shared, tcp::acceptor acceptor) : shared_(shared), acceptor_(std::move(acceptor)) {}
  void Accept() {
    acceptor_.async_accept([self = shared_from_this()](beast::error_code ec, tcp::socket socket) {
      if (self->shared_.stopping) return;
      if (!ec) self->Serve(std::move(socket));
      self->Accept();
    });
  }
  void Stop() {
    beast::error_code ec;
    acceptor_.close(ec);
  }

 private:
  void Serve(tcp::socket socket) {
    beast::error_code ec;
    std::string address = socket.remote_endpoint(ec).address().to_string();
    // Keys and screen updates are small writes that must go out at once, not wait for the
    // acknowledgement of the previous one.
    socket.set_option(tcp::no_delay(true), ec);
    if (shared_.tls) {
      std::make_shared<HttpConnection<beast::ssl_stream<beast::tcp_stream>>>(
          beast::ssl_stream<beast::tcp_stream>(beast::tcp_stream(std::move(socket)), *shared_.tls), shared_, address)
          ->Run();
    } else {
      std::make_shared<HttpConnection<beast::tcp_stream>>(beast::tcp_stream(std::move(socket)), shared_, address)
          ->Run();
    }
  }
  Shared& shared_;
  tcp::acceptor acceptor_;
};

}  // namespace

int RunServer(const ServerOptions& options, std::string* error) {
  net::io_context ioc{1};
  Shared shared(options, ioc);
  shared.dummyHash = HashPassword("not a password of anyone");
  if (!options.certFile.empty() || !options.keyFile.empty()) {
    shared.tls.emplace(ssl::context::tls_server);
    beast::error_code ec;
    shared.tls->set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 | ssl::context::no_sslv3 |
                                ssl::context::no_tlsv1 | ssl::context::no_tlsv1_1,
                            ec);
    shared.tls->use_certificate_chain_file(options.certFile, ec);
    if (!ec) shared.tls->use_private_key_file(options.keyFile, ssl::context::pem, ec);
    if (ec) {
      *error = "cannot use the certificate " + options.certFile + " and key " + options.keyFile + ": " + ec.message();
      return 1;
    }
  }
  std::size_t colon = options.listen.rfind(':');
  if (colon == std::string::npos) {
    *error = "--listen wants ADDRESS:PORT, not " + options.listen;
    return 2;
  }
  std::string host = options.listen.substr(0, colon);
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  beast::error_code ec;
  net::ip::address address = net::ip::make_address(host, ec);
  int port = std::atoi(options.listen.c_str() + colon + 1);
  if (ec || port < 0 || port > 65535) {
    *error = "--listen wants ADDRESS:PORT with a numeric address, not " + options.listen;
    return 2;
  }
  tcp::acceptor acceptor(ioc);
  tcp::endpoint endpoint(address, static_cast<unsigned short>(port));
  acceptor.open(endpoint.protocol(), ec);
  if (!ec) acceptor.set_option(net::socket_base::reuse_address(true), ec);
  if (!ec) acceptor.bind(endpoint, ec);
  if (!ec) acceptor.listen(net::socket_base::max_listen_connections, ec);
  if (ec) {
    *error = "cannot listen on " + options.listen + ": " + ec.message();
    return 1;
  }
  tcp::endpoint bound = acceptor.local_endpoint(ec);
  auto listener = std::make_shared<Listener>(shared, std::move(acceptor));
  listener->Accept();

  ::signal(SIGPIPE, SIG_IGN);
  net::signal_set signals(ioc, SIGINT, SIGTERM);
  signals.async_wait([&](beast::error_code, int) {
    shared.stopping = true;
    listener->Stop();
    if (shared.terminals.empty()) {
      ioc.stop();
      return;
    }
    std::vector<TerminalBase*> all(shared.terminals.begin(), shared.terminals.end());
    for (TerminalBase* t : all) t->Hangup();
    // Programs that will not end are killed by their own grace periods; this is the backstop.
    auto backstop = std::make_shared<net::steady_timer>(ioc, std::chrono::milliseconds(options.graceMs + 2000));
    backstop->async_wait([&ioc, backstop](beast::error_code) { ioc.stop(); });
  });

  std::string shown = bound.address().is_v6() ? "[" + bound.address().to_string() + "]" : bound.address().to_string();
  std::printf("modcarta-web: listening on %s://%s:%d/\n", shared.tls ? "https" : "http", shown.c_str(), bound.port());
  std::fflush(stdout);
  ioc.run();
  return 0;
}

}  // namespace web
