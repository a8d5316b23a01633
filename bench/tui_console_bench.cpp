// Console output and key latency.
//
//   FullRedrawBytes     bytes sent to an xterm-like terminal for a whole 80 x 25 form screen
//   OneCellBytes        bytes sent when one cell of that screen changes
//   UnchangedBytes      bytes sent by a flush when nothing changed
//   HelpScrollBytes     bytes sent when the help viewer's text area scrolls by one line
//   KeyToFlush/headless time from a key event to the flushed screen, headless console
//   KeyToFlush/pty      the same through the terminal back end on a pseudo-terminal: a byte
//                       typed on the master side, read and decoded, the echo drawn, flushed and
//                       read back on the master side
#include <benchmark/benchmark.h>

#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "tui/console/console.h"
#include "tui/console/headless_backend.h"
#include "tui/console/terminal_backend.h"
#include "tui/console/terminal_output.h"

namespace {

// A display that encodes for xterm-256color into a string, as the terminal back end does.
class EncodingDisplay : public tui::DisplayAdapter {
 public:
  tui::ScreenSize Size() override { return {25, 80}; }
  void WriteCells(int row, int column, std::span<const tui::Cell> cells) override {
    encoder_.WriteCells(row, column, cells, 80, out_);
  }
  bool ScrollRows(int top, int bottom, int lines) override {
    return encoder_.ScrollRows(top, bottom, lines, 25, out_);
  }
  void Flush(const tui::CursorState& cursor) override { encoder_.PlaceCursor(cursor, out_); }
  std::size_t Take() {
    std::size_t n = out_.size();
    out_.clear();
    return n;
  }

 private:
  tui::TerminalEncoder encoder_{tui::TerminalStrings::Xterm()};
  std::string out_;
};

class NoInput : public tui::InputAdapter {
 public:
  std::optional<tui::InputEvent> Poll() override { return std::nullopt; }
  void Wait(int) override {}
};

// A screen like a record card: a framed window, labels in normal text, fields in the input
// colour, a status line in reverse.
void DrawForm(tui::Console& con, char variant) {
  con.SetColourTable({{{15, 1}, {7, 1}, {0, 7}, {14, 4}, {0, 3}}});
  con.ScreenColour("n");
  con.SetWindowState(1, {1, 1, 24, 80});
  con.DrawFrame(2);
  for (int r = 2; r <= 22; r += 2) {
    con.ScreenColour("n");
    con.WinLocate(r, 2);
    con.Print("Camp n\xA7 " + std::to_string(r) + " del departament:");
    con.ScreenColour("u");
    con.WinLocate(r, 32);
    con.Print(std::string(30, variant));
  }
  con.SetWindowState(0, {});
  con.ScreenColour("r");
  con.Locate(25, 1);
  con.Print(" F1 Ajuda  F4 Llista  Esc Sortir  PgUp/PgDn Departaments" + std::string(24, ' '));
}

struct EncodingConsole {
  EncodingConsole() {
    auto display = std::make_unique<EncodingDisplay>();
    raw = display.get();
    tui::Backend b;
    b.display = std::move(display);
    b.input = std::make_unique<NoInput>();
    console = std::make_unique<tui::Console>(std::move(b));
  }
  EncodingDisplay* raw;
  std::unique_ptr<tui::Console> console;
};

void FullRedrawBytes(benchmark::State& state) {
  EncodingConsole c;
  std::size_t bytes = 0;
  char variant = 'a';
  for (auto _ : state) {
    DrawForm(*c.console, variant);
    c.console->Redraw();
    bytes = c.raw->Take();
    variant = variant == 'a' ? 'b' : 'a';
  }
  state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(FullRedrawBytes);

void OneCellBytes(benchmark::State& state) {
  EncodingConsole c;
  DrawForm(*c.console, 'a');
  c.console->Flush();
  c.raw->Take();
  std::size_t bytes = 0;
  char ch = 'x';
  for (auto _ : state) {
    c.console->Locate(10, 40);
    c.console->Print(std::string(1, ch));
    c.console->Locate(10, 41);
    c.console->Flush();
    bytes = c.raw->Take();
    ch = ch == 'x' ? 'y' : 'x';
  }
  state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(OneCellBytes);

void UnchangedBytes(benchmark::State& state) {
  EncodingConsole c;
  DrawForm(*c.console, 'a');
  c.console->Flush();
  c.raw->Take();
  std::size_t bytes = 0;
  for (auto _ : state) {
    DrawForm(*c.console, 'a');  // drawn again, the same
    c.console->Flush();
    bytes = c.raw->Take();
  }
  state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(UnchangedBytes);

// The help viewer's Down key: the text area inside a double frame (rows 5..21, columns 2..79
// of a 25-row screen) moves up one line and a new line appears at the bottom.
const char* const kHelpLines[] = {
    "Escriviu el codi de la finca o premeu F4 per triar-la de la llista.",
    "PgUp i PgDn passen al departament anterior o seguent.",
    "Els camps de data accepten dia, mes i any separats per una barra.",
    "Alt+X obre la calculadora i Alt+C el calendari; el resultat s'escriu al camp.",
    "Esc surt sense desar els canvis del departament.",
    "",
    "Les quantitats es mostren amb el separador de milers de la instal.lacio.",
};

std::string HelpLine(int n) { return kHelpLines[n % 7]; }

void HelpScrollBytes(benchmark::State& state) {
  EncodingConsole c;
  tui::Console& con = *c.console;
  con.ScreenColour("h");
  con.SetWindowState(1, {4, 1, 22, 80});
  con.DrawFrame(2);
  con.ScreenColour("n");
  for (int r = 1; r <= 17; ++r) {
    con.WinLocate(r, 2);
    con.Print(HelpLine(r));
  }
  con.Flush();
  c.raw->Take();
  std::size_t bytes = 0;
  int line = 18;
  for (auto _ : state) {
    con.ScrollRegion(4, 1, 20, 78, 1);
    con.WinLocate(17, 2);
    con.PrintSpaces(77);
    con.WinLocate(17, 2);
    con.Print(HelpLine(line++));
    con.Flush();
    bytes = c.raw->Take();
  }
  state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(HelpScrollBytes);

void KeyToFlushHeadless(benchmark::State& state) {
  tui::HeadlessBackend made = tui::MakeHeadlessBackend({25, 80});
  tui::HeadlessControl* control = made.control;
  tui::Console con(std::move(made.backend));
  DrawForm(con, 'a');
  con.Flush();
  int column = 1;
  for (auto _ : state) {
    control->PushKey('k');
    tui::KeyCode k = con.GetKey();
    con.Locate(12, 33 + column);
    con.Print(std::string(1, static_cast<char>(k)));
    con.Flush();
    column = column % 29 + 1;
  }
}
BENCHMARK(KeyToFlushHeadless)->Name("KeyToFlush/headless");

void KeyToFlushPty(benchmark::State& state) {
  int master = -1;
  int slave = -1;
  winsize ws{};
  ws.ws_row = 25;
  ws.ws_col = 80;
  if (::openpty(&master, &slave, nullptr, nullptr, &ws) != 0) {
    state.SkipWithError("no pseudo-terminal");
    return;
  }
  tui::TerminalOptions o;
  o.input_fd = slave;
  o.output_fd = slave;
  o.term = "xterm-256color";
  o.install_signal_handlers = false;
  o.use_system_clipboard = false;
  std::string error;
  tui::Backend b = tui::MakeTerminalBackend(o, &error);
  if (!b.display) {
    state.SkipWithError(error.c_str());
    return;
  }
  long written = 0;
  {
    tui::Console con(std::move(b));
    DrawForm(con, 'a');
    con.Flush();
    char buf[8192];
    auto drain = [&](std::string_view until) {
      std::string seen;
      while (true) {
        pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, until.empty() ? 0 : 1000) <= 0) break;
        ssize_t n = ::read(master, buf, sizeof buf);
        if (n <= 0) break;
        written += n;
        seen.append(buf, static_cast<std::size_t>(n));
        if (!until.empty() && seen.find(until) != std::string::npos) break;
      }
    };
    drain("");
    written = 0;
    char ch = 'k';
    for (auto _ : state) {
      if (::write(master, &ch, 1) != 1) break;
      tui::KeyCode k = con.GetKey();
      con.Locate(12, 34);
      con.Print(std::string(1, static_cast<char>(k)));
      con.Flush();
      drain(std::string(1, ch));
      ch = ch == 'k' ? 'm' : 'k';
    }
    state.counters["bytes_per_key"] =
        benchmark::Counter(static_cast<double>(written), benchmark::Counter::kAvgIterations);
  }
  ::close(master);
  ::close(slave);
}
BENCHMARK(KeyToFlushPty)->Name("KeyToFlush/pty")->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
