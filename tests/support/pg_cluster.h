// A PostgreSQL server of the test's own: initdb into a fresh /tmp/mctest-pg.XXXXXX, pg_ctl
// with a Unix socket in that folder (and, when asked, a loopback TCP port), one database.
// The destructor stops the server and removes the folder. initdb refuses to run as root, so
// under root the server runs as the system's "nobody".
//
// initdb takes seconds; its result is kept once per machine and account as a template
// (/tmp/mctest-pg-template-15-<uid>) that each cluster copies.
#pragma once

#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace testing_support {

class PgCluster {
 public:
  static constexpr const char* kBinDir = "/usr/lib/postgresql/15/bin";
  static constexpr const char* kUser = "mctest";

  explicit PgCluster(bool tcp = true) : owner_(::getpid()) {
    char pattern[] = "/tmp/mctest-pg.XXXXXX";
    if (!::mkdtemp(pattern)) return;
    dir_ = pattern;
    if (::geteuid() == 0) {
      const passwd* nobody = ::getpwnam("nobody");
      if (!nobody) return;
      uid_ = nobody->pw_uid;
      gid_ = nobody->pw_gid;
      if (::chown(dir_.c_str(), uid_, gid_) != 0) return;
    } else {
      uid_ = ::geteuid();
      gid_ = ::getegid();
    }
    ::chmod(dir_.c_str(), 0700);
    port_ = tcp ? FreePort() : 5432;
    tcp_ = tcp;
    const std::string tmpl = Template();
    if (tmpl.empty() || Run({"/bin/cp", "-a", tmpl + "/data", dir_ + "/data"}, true) != 0) return;
    if (!Start()) return;
    if (Run({"createdb", "-h", dir_, "-p", std::to_string(port_), "-U", kUser, "recman"}, false) != 0) return;
    ok_ = true;
  }

  ~PgCluster() {
    if (::getpid() != owner_) return;  // a forked child leaves the server to its parent
    if (started_) Stop();
    std::error_code ec;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
  }
  PgCluster(const PgCluster&) = delete;
  PgCluster& operator=(const PgCluster&) = delete;

  bool ok() const { return ok_; }
  const std::string& dir() const { return dir_; }
  int port() const { return port_; }
  // The database over the Unix socket, or over loopback TCP.
  std::string conninfo(const std::string& db = "recman") const {
    return "host=" + dir_ + " port=" + std::to_string(port_) + " dbname=" + db + " user=" + kUser;
  }
  std::string tcpConninfo(const std::string& db = "recman") const {
    return "host=127.0.0.1 port=" + std::to_string(port_) + " dbname=" + db + " user=" + kUser;
  }

  // Stops the server at once (its clients' connections break), and starts it again.
  bool Stop() {
    started_ = false;
    return Run({"pg_ctl", "-D", dir_ + "/data", "-m", "immediate", "-w", "stop"}, true) == 0;
  }
  bool Start() {
    std::string options = "-k " + dir_ + " -p " + std::to_string(port_) + " -c listen_addresses=" +
                          (tcp_ ? "127.0.0.1" : "''") + " -c fsync=off -c max_connections=200";
    started_ = Run({"pg_ctl", "-D", dir_ + "/data", "-l", dir_ + "/log", "-w", "-o", options, "start"}, true) == 0;
    return started_;
  }
  // Runs commands through psql in one session on the database (SQL, or psql's own such as
  // "\\! touch FILE"); 0 when they all succeeded.
  int Sql(const std::vector<std::string>& commands, const std::string& db = "recman") const {
    std::vector<std::string> args{"psql", "-q", "-X", "-v", "ON_ERROR_STOP=1", "-h", dir_, "-p",
                                  std::to_string(port_), "-U", kUser, "-d", db};
    for (const std::string& c : commands) {
      args.push_back("-c");
      args.push_back(c);
    }
    return Run(args, false);
  }

 private:
  // The initialised cluster to copy, made when missing: under a private name, then renamed into
  // place, so that test processes starting together never see half of one.
  std::string Template() const {
    const std::string path = "/tmp/mctest-pg-template-15-" + std::to_string(uid_);
    struct stat info;
    if (::stat((path + "/complete").c_str(), &info) == 0) return path;
    char pattern[] = "/tmp/mctest-pg-making.XXXXXX";
    if (!::mkdtemp(pattern)) return {};
    const std::string making = pattern;
    if (::chown(making.c_str(), uid_, gid_) != 0 ||
        Run({"initdb", "-D", making + "/data", "-A", "trust", "-U", kUser, "-E", "UTF8", "--locale=C", "--no-sync"},
            true) != 0 ||
        Run({"/bin/touch", making + "/complete"}, true) != 0 || ::rename(making.c_str(), path.c_str()) != 0) {
      std::error_code ec;
      std::filesystem::remove_all(making, ec);  // made by another process meanwhile, or failed
    }
    return ::stat((path + "/complete").c_str(), &info) == 0 ? path : std::string();
  }

  // Runs one of the server's programs (or a program by its absolute path), as the server's
  // account when asServer; its exit code.
  int Run(const std::vector<std::string>& args, bool asServer) const {
    std::fflush(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
      if (asServer && ::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setresgid(gid_, gid_, gid_) != 0 ||
                                           ::setresuid(uid_, uid_, uid_) != 0))
        ::_exit(126);
      std::string program = args[0][0] == '/' ? args[0] : std::string(kBinDir) + "/" + args[0];
      std::vector<char*> argv;
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv[0] = program.data();
      argv.push_back(nullptr);
      // Quiet unless something goes wrong; the server's own log is in the folder.
      if (std::FILE* null = std::freopen("/dev/null", "w", stdout)) (void)null;
      ::chdir("/tmp");
      ::execv(program.c_str(), argv.data());
      ::_exit(127);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  static int FreePort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    int port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
      port = ntohs(addr.sin_port);
    if (fd >= 0) ::close(fd);
    return port ? port : 54329;
  }

  pid_t owner_;
  std::string dir_;
  uid_t uid_ = 0;
  gid_t gid_ = 0;
  int port_ = 0;
  bool tcp_ = false;
  bool started_ = false;
  bool ok_ = false;
};

}  // namespace testing_support
