#include "tui/console/terminal_backend.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <curses.h>
#include <term.h>
// term.h and curses.h define macros named after capabilities and functions; the code below
// uses tigetstr/tigetnum only.
#undef columns
#undef lines
#undef clear
#undef erase
#undef refresh
#undef timeout

#include "tui/console/glyphs.h"
#include "tui/console/key_parser.h"
#include "tui/console/process.h"
#include "tui/console/terminal_output.h"

namespace tui {
namespace {

std::int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::string Capability(const char* name) {
  char* s = tigetstr(const_cast<char*>(name));
  if (s == nullptr || s == reinterpret_cast<char*>(-1)) return {};
  return s;
}

int NumberCapability(const char* name) {
  int n = tigetnum(const_cast<char*>(name));
  return n < 0 ? 0 : n;
}

// The terminal's character set from the locale, as the C library would choose it.
TerminalStrings::Charset LocaleCharset() {
  const char* names[] = {"LC_ALL", "LC_CTYPE", "LANG"};
  for (const char* n : names) {
    const char* v = std::getenv(n);
    if (v != nullptr && *v != '\0') return CharsetOfLocale(v);
  }
  return TerminalStrings::Charset::kAscii;
}

bool WriteAll(int fd, std::string_view bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      pollfd p{fd, POLLOUT, 0};
      ::poll(&p, 1, 100);
      continue;
    }
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::string Base64(std::string_view bytes) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  std::size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) | (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                 static_cast<unsigned char>(bytes[i + 2]);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  if (i < bytes.size()) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += i + 1 < bytes.size() ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

// The notice shown on a terminal smaller than the screen needs.
std::string TooSmallNotice(const std::string& language, ScreenSize size) {
  const char* text = "La pantalla ha de tenir com a minim 80 x 24 (ara %d x %d)";
  if (language == "SPA") {
    text = "La pantalla debe tener como minimo 80 x 24 (ahora %d x %d)";
  } else if (language == "GLG") {
    text = "A pantalla debe ter como minimo 80 x 24 (agora %d x %d)";
  } else if (language == "OCI") {
    text = "Era pantalha a de auer coma minim 80 x 24 (ara %d x %d)";
  }
  char buf[128];
  std::snprintf(buf, sizeof buf, text, size.columns, size.rows);
  return buf;
}

// ---- The terminal ----------------------------------------------------------------------------

// Everything the display and the input share, and what the signal handlers need to put the
// terminal back. One per process at a time (the signal handlers reach it through kActive).
struct Terminal {
  TerminalOptions options;
  termios saved{};
  termios raw{};
  std::string enter;    // alternate screen, no automatic margins, cleared
  std::string leave;    // everything back as it was
  TerminalEncoder encoder{TerminalStrings{}};
  KeyDecoder decoder;
  std::string out;      // bytes waiting to be written
  ScreenSize logical{24, 80};
  ScreenSize physical{0, 0};
  bool too_small = false;
  bool lost = false;
  bool suspended = false;
  bool mouse_capable = false;
  bool mouse_on_terminal = false;
  bool mouse_wanted = false;
  bool restored = false;
  bool input_gone = false;  // reading the terminal failed for good (hang-up, EOF, EIO)
  std::string notice_shown;
  std::string mouse_on;
  std::string mouse_off;
  TERMINAL* terminfo = nullptr;  // the description setupterm loaded, freed with the terminal

  Terminal() = default;
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;
  ~Terminal() {
    if (terminfo != nullptr) del_curterm(terminfo);
  }

  void Enter() {
    ::tcsetattr(options.input_fd, TCSADRAIN, &raw);
    WriteAll(options.output_fd, enter);
    encoder.Invalidate();
    mouse_on_terminal = false;
    restored = false;
    // Taken again after a stop or a suspend while the console waits for a key or a click:
    // the mouse reports again at once, not only from the next key on.
    if (mouse_wanted && mouse_capable) {
      WriteAll(options.output_fd, mouse_on);
      mouse_on_terminal = true;
    }
  }
  void Leave() {
    if (restored) return;
    WriteAll(options.output_fd, leave);
    ::tcsetattr(options.input_fd, TCSADRAIN, &saved);
    restored = true;
  }

  // Reads the terminal's size; notices a change.
  void QuerySize() {
    winsize ws{};
    ScreenSize now = physical;
    if (::ioctl(options.output_fd, TIOCGWINSZ, &ws) == 0 && ws.ws_row > 0 && ws.ws_col > 0) {
      now = {ws.ws_row, ws.ws_col};
    } else if (physical.rows == 0) {
      now = {24, 80};
    }
    if (now == physical) return;
    physical = now;
    encoder.SetTerminalSize(now);
    ScreenSize l = LogicalScreenSize(now);
    bool small = l.rows == 0;
    if (!small) logical = l;
    too_small = small;
    notice_shown.clear();
    lost = true;  // a resized terminal keeps nothing we can trust
  }
};

Terminal* kActive = nullptr;
struct sigaction kOldActions[NSIG];
bool kInstalled[NSIG];
// Signals that ask the program to end: it ends as the operator would, with Escape from wherever
// it is, and gives the terminal back on its way out.
constexpr int kEndSignals[] = {SIGINT, SIGTERM, SIGHUP};
// Signals after which nothing more can be done than giving the terminal back.
constexpr int kRestoreSignals[] = {SIGQUIT, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
volatile sig_atomic_t kContinued = 0;
volatile sig_atomic_t kEndSignal = 0;

// Puts the terminal back with async-signal-safe calls only, then lets the signal do what it
// would have done.
void OnFatalSignal(int sig) {
  if (Terminal* t = kActive; t != nullptr && !t->restored) {
    (void)!::write(t->options.output_fd, t->leave.data(), t->leave.size());
    ::tcsetattr(t->options.input_fd, TCSANOW, &t->saved);
    t->restored = true;
  }
  ::sigaction(sig, &kOldActions[sig], nullptr);
  if (kOldActions[sig].sa_handler == SIG_IGN) return;
  ::raise(sig);
}

// The first end signal is only noted: the input reports it and the program ends by itself. A
// second one while it is on its way out ends it at once.
void OnEndSignal(int sig) {
  if (kEndSignal == 0) {
    kEndSignal = sig;
    return;
  }
  OnFatalSignal(sig);
}

void OnContinue(int) { kContinued = 1; }

// Ctrl+Z cannot arrive in raw mode, but a stop signal from outside can: give the terminal
// back, stop, and take the terminal again after SIGCONT. The kernel discards the stop of an
// orphaned process group; the program then goes on at once with its terminal taken again, as
// if continued.
void OnStop(int) {
  const int saved_errno = errno;
  Terminal* t = kActive;
  if (t != nullptr && !t->restored) {
    (void)!::write(t->options.output_fd, t->leave.data(), t->leave.size());
    ::tcsetattr(t->options.input_fd, TCSANOW, &t->saved);
  }
  struct sigaction dfl {}, mine {};
  dfl.sa_handler = SIG_DFL;
  ::sigaction(SIGTSTP, &dfl, &mine);
  sigset_t tstp, before;
  sigemptyset(&tstp);
  sigaddset(&tstp, SIGTSTP);
  ::raise(SIGTSTP);
  // Delivered here, on unblocking: the process stops, or the kernel drops the signal.
  ::sigprocmask(SIG_UNBLOCK, &tstp, &before);
  ::sigprocmask(SIG_SETMASK, &before, nullptr);
  ::sigaction(SIGTSTP, &mine, nullptr);
  // Stopped and continued, or not stopped at all: either way the terminal is taken again by
  // the program at its next look at the screen.
  kContinued = 1;
  errno = saved_errno;
}

// A signal that the program was started with ignored (nohup, trap '' HUP) stays ignored: it
// neither ends nor stops the program, so it must not take the terminal away either.
void Install(int sig, void (*handler)(int)) {
  struct sigaction sa {};
  sa.sa_handler = handler;
  sigemptyset(&sa.sa_mask);
  kInstalled[sig] = false;
  if (::sigaction(sig, nullptr, &kOldActions[sig]) != 0) return;
  if (kOldActions[sig].sa_handler == SIG_IGN) return;
  kInstalled[sig] = ::sigaction(sig, &sa, nullptr) == 0;
}

void InstallSignalHandlers(Terminal* t) {
  kActive = t;
  for (int sig : kEndSignals) Install(sig, OnEndSignal);
  for (int sig : kRestoreSignals) Install(sig, OnFatalSignal);
  Install(SIGTSTP, OnStop);
  Install(SIGCONT, OnContinue);
  std::atexit([] {
    if (kActive != nullptr) kActive->Leave();
  });
}

void RemoveSignalHandlers(Terminal* t) {
  if (kActive != t) return;
  for (int sig : kEndSignals) if (kInstalled[sig]) ::sigaction(sig, &kOldActions[sig], nullptr);
  for (int sig : kRestoreSignals) if (kInstalled[sig]) ::sigaction(sig, &kOldActions[sig], nullptr);
  for (int sig : {SIGTSTP, SIGCONT}) if (kInstalled[sig]) ::sigaction(sig, &kOldActions[sig], nullptr);
  kActive = nullptr;
}

// Checks for a SIGCONT since the last call and takes the terminal again.
void TakeBackAfterContinue(Terminal& t) {
  if (!kContinued || kActive != &t) return;
  kContinued = 0;
  if (t.suspended) return;
  t.Enter();
  t.lost = true;
}

// ---- Adapters ----------------------------------------------------------------------------------

class TerminalDisplay : public DisplayAdapter {
 public:
  explicit TerminalDisplay(std::shared_ptr<Terminal> t) : t_(std::move(t)) {}
  ~TerminalDisplay() override {
    t_->Leave();
    if (t_->options.install_signal_handlers) RemoveSignalHandlers(t_.get());
  }

  ScreenSize Size() override {
    TakeBackAfterContinue(*t_);
    t_->QuerySize();
    return t_->logical;
  }
  bool TakeLost() override {
    bool lost = t_->lost;
    t_->lost = false;
    if (lost) {
      // Start from a clean screen: the encoder knows nothing and every cell will come again.
      t_->out += "\x1b[m";
      t_->out += clear_;
      t_->encoder.Invalidate();
    }
    return lost;
  }
  void WriteCells(int row, int column, std::span<const Cell> cells) override {
    if (t_->too_small || t_->suspended) return;
    t_->encoder.WriteCells(row, column, cells, std::min(t_->physical.columns, t_->logical.columns), t_->out);
  }
  bool ScrollRows(int top, int bottom, int lines) override {
    if (t_->too_small || t_->suspended) return false;
    return t_->encoder.ScrollRows(top, bottom, lines, t_->physical.rows, t_->out);
  }
  void Flush(const CursorState& cursor) override {
    if (t_->suspended) return;
    if (t_->too_small) {
      ShowNotice();
    } else {
      t_->encoder.PlaceCursor(cursor, t_->out);
    }
    WriteAll(t_->options.output_fd, t_->out);
    t_->out.clear();
  }
  void Suspend() override {
    if (t_->suspended) return;
    Flush(CursorState{});
    t_->Leave();
    t_->suspended = true;
  }
  void Resume() override {
    if (!t_->suspended) return;
    t_->suspended = false;
    t_->Enter();
    t_->lost = true;
  }

  void SetLanguage(std::string_view language) override {
    t_->options.language = std::string(language);
    t_->notice_shown.clear();  // a notice on the screen is shown again in the new language
  }

  void SetClear(std::string clear) { clear_ = std::move(clear); }

 private:
  void ShowNotice() {
    std::string text = TooSmallNotice(t_->options.language, t_->physical);
    if (text == t_->notice_shown) return;
    t_->notice_shown = text;
    t_->encoder.Invalidate();
    std::string& out = t_->out;
    out += "\x1b[m";
    out += clear_;
    // Word-wrapped at the terminal's width, from the top-left corner.
    std::size_t width = static_cast<std::size_t>(std::max(t_->physical.columns, 1));
    std::vector<std::string> lines(1);
    std::size_t start = 0;
    while (start < text.size()) {
      std::size_t space = text.find(' ', start);
      std::string word = text.substr(start, space == std::string::npos ? std::string::npos : space - start);
      start = space == std::string::npos ? text.size() : space + 1;
      while (!word.empty()) {
        std::string& line = lines.back();
        std::size_t need = line.empty() ? word.size() : line.size() + 1 + word.size();
        if (need <= width) {
          if (!line.empty()) line += ' ';
          line += word;
          word.clear();
        } else if (line.empty()) {
          line = word.substr(0, width);
          word.erase(0, width);
          lines.emplace_back();
        } else {
          lines.emplace_back();
        }
      }
    }
    int row = 1;
    for (const std::string& line : lines) {
      if (row > t_->physical.rows || line.empty()) break;
      std::vector<Cell> cells;
      for (char c : line) cells.push_back(Cell{static_cast<std::uint8_t>(c), 0x07});
      t_->encoder.WriteCells(row++, 1, cells, static_cast<int>(width), out);
    }
    t_->encoder.Invalidate();
  }

  std::shared_ptr<Terminal> t_;
  std::string clear_;
};

class TerminalInput : public InputAdapter {
 public:
  explicit TerminalInput(std::shared_ptr<Terminal> t) : t_(std::move(t)) {}

  std::optional<InputEvent> Poll() override {
    if (Ending()) return std::nullopt;
    ReadAvailable();
    while (std::optional<InputEvent> e = t_->decoder.Next(NowMs())) {
      // Keys typed while the terminal is too small to show the screen would be typed blind.
      if (t_->too_small) continue;
      if (e->type == InputEvent::Type::kMouse && !t_->mouse_wanted) continue;
      return e;
    }
    return std::nullopt;
  }
  void Wait(int milliseconds) override {
    if (Ending()) return;
    int due = t_->decoder.MillisecondsUntilDue(NowMs());
    int timeout = due >= 0 ? std::min(due, milliseconds) : milliseconds;
    pollfd p{t_->options.input_fd, POLLIN, 0};
    if (::poll(&p, 1, std::max(timeout, 0)) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) {
      t_->input_gone = true;
    }
  }
  bool Ending() override { return t_->input_gone || (t_->options.install_signal_handlers && kEndSignal != 0); }
  void Flush() override {
    ::tcflush(t_->options.input_fd, TCIFLUSH);
    ReadAvailable();
    t_->decoder.Clear();
  }
  int MouseButtons() override { return t_->mouse_capable ? 3 : 0; }
  // Reporting is switched on at the terminal once and left on; while the console has it
  // "off" the reports are dropped here. This spares the terminal a pair of mode changes
  // around every key, and clicks made while the program is busy are still not delivered.
  void EnableMouse(bool on) override {
    t_->mouse_wanted = on;
    if (on && t_->mouse_capable && !t_->mouse_on_terminal && !t_->suspended) {
      WriteAll(t_->options.output_fd, t_->mouse_on);
      t_->mouse_on_terminal = true;
    }
  }

 private:
  void ReadAvailable() {
    char buf[512];
    // Raw reads answer 0 when nothing is there, so ask first: a terminal that is readable and
    // then gives 0 bytes, or that reports a hang-up or an error, is gone for good.
    pollfd p{t_->options.input_fd, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0) return;
    if (p.revents & (POLLERR | POLLNVAL)) {
      t_->input_gone = true;
      return;
    }
    bool first = true;
    while (true) {
      ssize_t n = ::read(t_->options.input_fd, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if ((n == 0 && first) || (n < 0 && errno != EAGAIN)) t_->input_gone = true;
      first = false;
      if (n <= 0) break;
      t_->decoder.Feed(std::string_view(buf, static_cast<std::size_t>(n)), NowMs());
      if (n < static_cast<ssize_t>(sizeof buf)) break;
    }
  }

  std::shared_ptr<Terminal> t_;
};

class TerminalClipboard : public ClipboardAdapter {
 public:
  TerminalClipboard(std::shared_ptr<Terminal> t) : t_(std::move(t)) {}

  void Put(std::string_view text) override {
    std::string utf8 = TextToUtf8(text);
    // OSC 52: the terminal puts the text on the system clipboard (where it allows it).
    std::string osc = "\x1b]52;c;" + Base64(utf8) + "\x07";
    if (!t_->suspended) WriteAll(t_->options.output_fd, osc);
    if (!t_->options.use_system_clipboard) return;
    if (Wayland() && ProgramOnPath("wl-copy")) {
      RunCaptured({"wl-copy"}, utf8, 2000);
    } else if (X11() && ProgramOnPath("xclip")) {
      RunCaptured({"xclip", "-selection", "clipboard", "-i"}, utf8, 2000);
    }
  }

  std::optional<std::string> Get() override {
    if (!t_->options.use_system_clipboard) return std::nullopt;
    std::optional<std::string> utf8;
    if (Wayland() && ProgramOnPath("wl-paste")) {
      utf8 = RunCaptured({"wl-paste", "--no-newline"}, {}, 2000);
    } else if (X11() && ProgramOnPath("xclip")) {
      utf8 = RunCaptured({"xclip", "-selection", "clipboard", "-o"}, {}, 2000);
    }
    if (!utf8) return std::nullopt;
    return Utf8ToText(*utf8);
  }

 private:
  static bool Wayland() {
    const char* v = std::getenv("WAYLAND_DISPLAY");
    return v != nullptr && *v != '\0';
  }
  static bool X11() {
    const char* v = std::getenv("DISPLAY");
    return v != nullptr && *v != '\0';
  }
  std::shared_ptr<Terminal> t_;
};

// Key sequences from terminfo for the keys the system knows, for terminals whose sequences
// the parser does not know itself. Function keys 13..24 are Shift+F1..F12, 25..36 Ctrl,
// 49..60 Alt (ncurses' convention for xterm-like terminals).
KeyTable TerminfoKeys() {
  KeyTable t;
  struct Named {
    const char* cap;
    std::uint8_t scan;
    unsigned mods;
  };
  const Named named[] = {
      {"kcuu1", 0x48, 0}, {"kcud1", 0x50, 0}, {"kcuf1", 0x4D, 0}, {"kcub1", 0x4B, 0},
      {"khome", 0x47, 0}, {"kend", 0x4F, 0},  {"kpp", 0x49, 0},   {"knp", 0x51, 0},
      {"kich1", 0x52, 0}, {"kdch1", 0x53, 0}, {"kcbt", 0x0F, modifier::kShift}, {"kb2", 0x4C, 0},
      {"kLFT5", 0x4B, modifier::kLeftCtrl}, {"kRIT5", 0x4D, modifier::kLeftCtrl},
      {"kHOM5", 0x47, modifier::kLeftCtrl}, {"kLFT3", 0x4B, modifier::kLeftAlt},
      {"kRIT3", 0x4D, modifier::kLeftAlt},  {"kUP3", 0x48, modifier::kLeftAlt},
      {"kDN3", 0x50, modifier::kLeftAlt},   {"kHOM3", 0x47, modifier::kLeftAlt},
      {"kEND3", 0x4F, modifier::kLeftAlt},  {"kIC3", 0x52, modifier::kLeftAlt},
      {"kPRV3", 0x49, modifier::kLeftAlt},  {"kNXT3", 0x51, modifier::kLeftAlt},
  };
  for (const Named& n : named) t.Add(Capability(n.cap), InputEvent::Scan(n.scan, n.mods));
  static constexpr std::uint8_t kFunctionScans[12] = {0x3B, 0x3C, 0x3D, 0x3E, 0x3F, 0x40,
                                                      0x41, 0x42, 0x43, 0x44, 0x85, 0x86};
  const struct {
    int first;
    unsigned mods;
  } banks[] = {{1, 0}, {13, modifier::kShift}, {25, modifier::kLeftCtrl}, {49, modifier::kLeftAlt}};
  for (const auto& bank : banks) {
    for (int i = 0; i < 12; ++i) {
      char name[8];
      std::snprintf(name, sizeof name, "kf%d", bank.first + i);
      t.Add(Capability(name), InputEvent::Scan(kFunctionScans[i], bank.mods));
    }
  }
  return t;
}

}  // namespace

ScreenSize LogicalScreenSize(ScreenSize terminal) {
  if (terminal.rows < 24 || terminal.columns < 80) return {0, 0};
  return {terminal.rows >= 25 ? 25 : 24, 80};
}

int TerminalEndSignal() { return kEndSignal; }

Backend MakeTerminalBackend(const TerminalOptions& options, std::string* error) {
  auto fail = [&](std::string message) {
    if (error) *error = std::move(message);
    return Backend{};
  };
  if (!::isatty(options.input_fd) || !::isatty(options.output_fd)) return fail("not a terminal");
  int err = 0;
  const char* term = options.term.empty() ? nullptr : options.term.c_str();
  if (setupterm(term, options.output_fd, &err) != OK) {
    const char* name = term ? term : std::getenv("TERM");
    return fail(std::string("unknown terminal type ") + (name ? name : "(TERM not set)"));
  }

  auto t = std::make_shared<Terminal>();
  t->terminfo = cur_term;
  t->options = options;
  t->decoder = KeyDecoder(options.escape_delay_ms);
  t->decoder.SetKeyTable(TerminfoKeys());

  TerminalStrings s;
  s.cup = Capability("cup");
  if (s.cup.empty()) return fail("the terminal cannot address the cursor");
  s.sgr0 = Capability("sgr0");
  s.setaf = Capability("setaf");
  s.setab = Capability("setab");
  s.bold = Capability("bold");
  s.rev = Capability("rev");
  s.civis = Capability("civis");
  s.cnorm = Capability("cnorm");
  s.ss = Capability("Ss");
  s.csr = Capability("csr");
  s.ind = Capability("ind");
  s.indn = Capability("indn");
  s.ri = Capability("ri");
  s.rin = Capability("rin");
  s.colours = (s.setaf.empty() || s.setab.empty()) ? 0 : NumberCapability("colors");
  s.charset = LocaleCharset();
  s.acsc = Capability("acsc");
  s.smacs = Capability("smacs");
  s.rmacs = Capability("rmacs");
  s.ich1 = Capability("ich1");
  s.ich = Capability("ich");
  s.smir = Capability("smir");
  s.rmir = Capability("rmir");
  s.corner_scrolls = tigetflag(const_cast<char*>("am")) > 0 && tigetflag(const_cast<char*>("xenl")) <= 0 &&
                     Capability("rmam").empty();
  t->encoder = TerminalEncoder(s);

  std::string clear = Capability("clear");
  if (clear.empty()) clear = "\x1b[H\x1b[2J";
  std::string term_name = term ? term : (std::getenv("TERM") ? std::getenv("TERM") : "");
  t->mouse_capable = !Capability("kmous").empty() || term_name.find("xterm") != std::string::npos ||
                     term_name.find("tmux") != std::string::npos || term_name.find("screen") != std::string::npos ||
                     term_name.find("rxvt") != std::string::npos;
  // Button presses and releases (1000) in the SGR form (1006), which has no column limit.
  t->mouse_on = "\x1b[?1000h\x1b[?1006h";
  t->mouse_off = "\x1b[?1006l\x1b[?1000l";

  t->enter = Capability("smcup") + Capability("rmam") + "\x1b[m" + clear;
  t->leave = "\x1b[m" + s.rmacs + t->mouse_off + Capability("smam") + Capability("cnorm");
  if (!s.ss.empty()) t->leave += Capability("Se").empty() ? std::string("\x1b[0 q") : Capability("Se");
  t->leave += Capability("rmcup");

  if (::tcgetattr(options.input_fd, &t->saved) != 0) return fail("cannot read the terminal's modes");
  t->raw = t->saved;
  // Raw input: every key arrives as it is typed, Ctrl+C, Ctrl+V, Ctrl+Y, Ctrl+S and Ctrl+Q
  // included; reads return at once with what is there.
  t->raw.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF);
  t->raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  t->raw.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB);
  t->raw.c_cflag |= CS8;
  t->raw.c_cc[VMIN] = 0;
  t->raw.c_cc[VTIME] = 0;

  if (options.install_signal_handlers) InstallSignalHandlers(t.get());
  t->Enter();
  t->QuerySize();
  t->lost = true;

  auto display = std::make_unique<TerminalDisplay>(t);
  display->SetClear(clear);
  Backend backend;
  backend.display = std::move(display);
  backend.input = std::make_unique<TerminalInput>(t);
  backend.clipboard = std::make_unique<TerminalClipboard>(t);
  return backend;
}

}  // namespace tui
