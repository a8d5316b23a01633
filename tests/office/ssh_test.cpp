// Operators over SSH: a private OpenSSH server on a loopback port, with its own host key and
// configuration, gives each operator account modcarta as its only command. Two operators log
// in with their keys through `ssh -tt` in tmux; the second waits on the first's card and gets in
// when it is left; a dropped connection ends the program.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "office.h"
#include "tui/console/process.h"

namespace office_test {
namespace {

using namespace std::chrono_literals;

// A loopback port that nothing listens on right now.
int FreePort() {
  int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  int port = 0;
  if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
    port = ntohs(a.sin_port);
  }
  ::close(s);
  return port;
}

bool Accepts(int port) {
  int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(s);
  return ok;
}

// Waits for a condition, checking every 50 ms, at most |limit|.
template <typename F>
bool WaitFor(F done, std::chrono::milliseconds limit = 15s) {
  for (auto end = std::chrono::steady_clock::now() + limit; std::chrono::steady_clock::now() < end;) {
    if (done()) return true;
    std::this_thread::sleep_for(50ms);
  }
  return done();
}

// The test's own sshd: configuration, host key, the operators' keys and the login command, all
// in a folder of the test's; the daemon runs in the foreground as a child of the test.
class PrivateSshd {
 public:
  bool Start(const Office& office, std::string& why) {
    dir_ = office.inst().scratch() + "/sshd";
    const std::string bin = dir_ + "/bin";
    port_ = FreePort();
    // modcarta and the SQLite store it loads are copied where the operators' accounts may run them.
    if (!Office::Sh("install -d -m 0755 '" + dir_ + "' '" + dir_ + "/keys' '" + bin + "'") ||
        !Office::Sh("install -m 0755 '" MODCARTA_BIN_DIR "/modcarta' '" MODCARTA_BIN_DIR "/librecman_local.so' '" + bin + "/'") ||
        !Office::Sh("ssh-keygen -q -t ed25519 -N '' -f '" + dir_ + "/host_key'")) {
      why = "the server's folder, host key or program";
      return false;
    }
    for (int i = 0; i < 2; ++i) {
      const Operator& op = office.op(i);
      const std::string key = dir_ + "/" + op.name;
      if (!Office::Sh("ssh-keygen -q -t ed25519 -N '' -f '" + key + "' && install -m 0644 '" + key + ".pub' '" + dir_ +
                      "/keys/" + op.name + "'")) {
        why = "an operator's key";
        return false;
      }
    }
    // The operators' login: the installation's environment, their own station, the program.
    std::ofstream(bin + "/modcarta-login") << "#!/bin/sh\n"
                                              "LANG=C.UTF-8 ZEDROOT='" << office.root() << "/' ZEDTMP=\"$HOME/station/\" ZEDEXE='"
                                           << bin << "/'\nexport LANG ZEDROOT ZEDTMP ZEDEXE\nexec '" << bin << "/modcarta'\n";
    ::chmod((bin + "/modcarta-login").c_str(), 0755);
    std::ofstream(dir_ + "/sshd_config") << "Port " << port_ << "\n"
                                         << "ListenAddress 127.0.0.1\n"
                                            "HostKey " << dir_ << "/host_key\n"
                                            "PidFile none\n"
                                            "AuthorizedKeysFile " << dir_ << "/keys/%u\n"
                                            "AuthenticationMethods publickey\n"
                                            "PasswordAuthentication no\n"
                                            "KbdInteractiveAuthentication no\n"
                                            "UsePAM no\n"
                                            "StrictModes no\n"
                                            "PrintMotd no\n"
                                            "PrintLastLog no\n"
                                            "AllowUsers " << Office::kNames[0] << " " << Office::kNames[1] << "\n"
                                            "ForceCommand " << bin << "/modcarta-login\n"
                                            "LogLevel ERROR\n";
    // The privilege separation folder that OpenSSH needs (the system's own sshd makes it too).
    if (::mkdir("/run/sshd", 0755) == 0) madeRunDir_ = true;
    if (!Office::Sh("/usr/sbin/sshd -t -f '" + dir_ + "/sshd_config'")) {
      why = "sshd -t refuses the test's configuration";
      return false;
    }
    std::fflush(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
      const std::string config = dir_ + "/sshd_config", log = dir_ + "/sshd.log";
      ::execl("/usr/sbin/sshd", "/usr/sbin/sshd", "-D", "-f", config.c_str(), "-E", log.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    if (pid_ < 0 || !WaitFor([&] { return Accepts(port_); }, 10s)) {
      why = "sshd did not start listening";
      return false;
    }
    return true;
  }
  ~PrivateSshd() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
    if (madeRunDir_) ::rmdir("/run/sshd");
  }

  // The client command line of an operator.
  std::string Client(const Operator& op) const {
    return "ssh -tt -F /dev/null -i '" + dir_ + "/" + op.name + "' -p " + std::to_string(port_) +
           " -o StrictHostKeyChecking=no -o UserKnownHostsFile=/dev/null -o GlobalKnownHostsFile=/dev/null"
           " -o LogLevel=ERROR " + op.name + "@127.0.0.1";
  }
  const std::string& dir() const { return dir_; }

 private:
  std::string dir_;
  int port_ = 0;
  pid_t pid_ = -1;
  bool madeRunDir_ = false;
};

// One operator's desktop terminal: a detached tmux session of 80 x 25 running the ssh client.
class Desktop {
 public:
  Desktop(const std::string& scratch, const std::string& name, const std::string& client) {
    socket_ = "mctest-ssh-" + std::to_string(::getpid()) + "-" + name;
    config_ = scratch + "/tmux.conf";
    std::ofstream(config_) << "set -g status off\nset -g escape-time 0\n";
    started_ = Tmux({"new-session", "-d", "-s", "desk", "-x", "80", "-y", "25", "exec " + client}).has_value();
  }
  ~Desktop() { Tmux({"kill-server"}); }
  bool Started() const { return started_; }
  std::optional<std::string> Tmux(std::vector<std::string> args) {
    args.insert(args.begin(), {"tmux", "-L", socket_, "-f", config_});
    return tui::RunCaptured(args, {}, 5000);
  }
  void Keys(const std::vector<std::string>& keys) {
    for (const std::string& k : keys) {
      Tmux({"send-keys", "-t", "desk", k});
      std::this_thread::sleep_for(40ms);
    }
  }
  void Type(const std::string& text) { Tmux({"send-keys", "-t", "desk", "-l", text}); }
  std::string Screen() { return Tmux({"capture-pane", "-p", "-t", "desk"}).value_or(""); }
  bool Shows(const std::string& text) {
    return WaitFor([&] { return Screen().find(text) != std::string::npos; });
  }
  // The ssh client's process.
  pid_t ClientPid() {
    std::string out = Tmux({"display-message", "-p", "-t", "desk", "#{pane_pid}"}).value_or("");
    return static_cast<pid_t>(std::atoi(out.c_str()));
  }

 private:
  std::string socket_, config_;
  bool started_ = false;
};

// The operator's live modcarta processes on the server.
int ProgramsOf(const Operator& op) {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::ifstream status(entry.path() / "status");
    std::string line, name, state;
    uid_t uid = static_cast<uid_t>(-1);
    while (std::getline(status, line)) {
      if (line.rfind("Name:", 0) == 0) name = line.substr(line.find_first_not_of(" \t", 5));
      if (line.rfind("State:", 0) == 0) state = line.substr(line.find_first_not_of(" \t", 6), 1);
      if (line.rfind("Uid:", 0) == 0) uid = static_cast<uid_t>(std::atol(line.c_str() + 4));
    }
    if (name == "modcarta" && uid == op.uid && state != "Z") ++count;
  }
  return count;
}

TEST(OperatorsOverSsh, SecondWaitsOnTheFirstsCardAndADroppedConnectionEndsTheProgram) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to make the operators' accounts and start sshd";
  if (!tui::ProgramOnPath("tmux") || !tui::ProgramOnPath("ssh") || ::access("/usr/sbin/sshd", X_OK) != 0) {
    GTEST_SKIP() << "needs tmux, the OpenSSH client and server (/usr/sbin/sshd)";
  }
  Office office;
  std::string why;
  ASSERT_TRUE(office.Make(why)) << why;
  PrivateSshd sshd;
  ASSERT_TRUE(sshd.Start(office, why)) << why;
  const Operator& op1 = office.op(0);
  const Operator& op2 = office.op(1);
  auto [p, d] = app_test::DemoCodes("DepartaV").front();

  Desktop first(sshd.dir(), "op1", sshd.Client(op1));
  ASSERT_TRUE(first.Started());
  ASSERT_TRUE(first.Shows("Finca ..............:")) << first.Screen();
  first.Type(std::to_string(p));
  first.Keys({"Enter"});
  ASSERT_TRUE(first.Shows("Departament ........:")) << first.Screen();
  first.Type(std::to_string(d));
  first.Keys({"Enter"});
  ASSERT_TRUE(first.Shows("Inici del contracte")) << first.Screen();

  Desktop second(sshd.dir(), "op2", sshd.Client(op2));
  ASSERT_TRUE(second.Started());
  ASSERT_TRUE(second.Shows("Finca ..............:")) << second.Screen();
  second.Type(std::to_string(p));
  second.Keys({"Enter"});
  ASSERT_TRUE(second.Shows("Departament ........:")) << second.Screen();
  second.Type(std::to_string(d));
  second.Keys({"Enter"});
  EXPECT_TRUE(second.Shows("FITXER BLOQUEJAT. ESPEREU UN MOMENT")) << second.Screen();

  // The first leaves the card (Escape on its first field): the second gets in.
  first.Keys({"Escape"});
  EXPECT_TRUE(second.Shows("Inici del contracte")) << second.Screen();
  EXPECT_EQ(1, ProgramsOf(op2));

  // The second operator's connection drops while it has the card open: its program ends.
  const pid_t client = second.ClientPid();
  ASSERT_GT(client, 0);
  ASSERT_EQ(0, ::kill(client, SIGKILL));
  EXPECT_TRUE(WaitFor([&] { return ProgramsOf(op2) == 0; })) << "the program outlived its connection";
  // Ended by the hang-up signal as Escape would end it, the program frees its lock-registry
  // entry for the card on its way out.
  const std::string locks = office.inst().ReadFile("LOCKS/TranLauV.lck");
  int held = 0;
  for (std::size_t at = 0; at + 121 <= locks.size(); at += 121) held += locks[at + 34] != ' ';
  EXPECT_EQ(0, held) << "the dropped operator's entry is freed";

  // The first operator carries on; the program's files are the group's.
  first.Keys({"Escape", "Escape"});
  EXPECT_TRUE(WaitFor([&] { return ProgramsOf(op1) == 0; })) << first.Screen();
  for (const char* made : {"/LOCKS/TranLauV.lck", "/db.log", "/DADES/TranLauV.dat"}) {
    struct stat st {};
    ASSERT_EQ(0, ::stat((office.root() + made).c_str(), &st)) << made;
    EXPECT_EQ(office.group(), st.st_gid) << made;
    EXPECT_EQ(0660u, st.st_mode & 0662) << made;
  }
}

}  // namespace
}  // namespace office_test
