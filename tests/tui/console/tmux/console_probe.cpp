// A small program on the terminal console, run by the tmux tests: it draws a framed window with
// colours, accented letters, the euro sign and the choice pointers, then reads keys with
// GetKey and logs each code in hexadecimal (one per line) to the file named by its argument,
// and shows the last codes on screen. Ctrl+Q ends it. Alt+X "opens the calculator": the hook
// types "42", so the whole hot-key path is seen from outside. F2 copies "Plaça 12€" to the
// clipboard, F3 shows the clipboard's text on row 12, F5 scrolls a part of rows 14 to 20, F9
// crashes the program with SIGSEGV.
#include <csignal>
#include <cstdio>
#include <string>

#include "tui/console/console.h"
#include "tui/console/terminal_backend.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: console_probe LOGFILE\n");
    return 2;
  }
  std::FILE* log = std::fopen(argv[1], "w");
  if (log == nullptr) return 2;

  std::string error;
  tui::TerminalOptions options;
  options.use_system_clipboard = false;
  tui::Backend backend = tui::MakeTerminalBackend(options, &error);
  if (!backend.display) {
    std::fprintf(stderr, "console_probe: %s\n", error.c_str());
    return 1;
  }
  tui::Console console(std::move(backend));
  // Entry 0 bright yellow on blue, 1 light grey on black, 2 black on cyan, 3 white on red,
  // 4 black on light grey.
  console.SetColourTable({{{14, 1}, {7, 0}, {0, 3}, {15, 4}, {0, 7}}});
  tui::HotKeyHooks hooks;
  hooks.calculator = [](tui::Console&) { return std::string("42"); };
  console.SetHotKeyHooks(hooks);

  console.ScreenColour("n");
  console.SetWindowState(1, {2, 5, 6, 40});
  console.ScreenColour("h");
  console.DrawFrame(2);
  console.WinLocate(1, 2);
  console.Print("Pla\x87" "a \x82 \x85 \x87 \xD5 \x11" "A\x10");  // Plaça é à ç € ◄A►
  console.WinLocate(2, 2);
  console.ScreenColour("r");
  console.Print("reverse");
  console.ScreenColour("u");
  console.Print(" input ");
  console.ScreenColour("rn");
  console.Print(" white-red ");
  console.SetWindowState(0, {});
  console.ScreenColour("n");
  console.Locate(8, 1);
  console.Print("READY");
  console.Locate(25, 80);
  console.Print("Z");  // the last cell: must not scroll the screen
  console.Locate(9, 1);
  console.ShowCursor(50);

  std::string shown;
  while (true) {
    tui::KeyCode k = console.GetKey();
    char hex[8];
    std::snprintf(hex, sizeof hex, "%04x", static_cast<unsigned>(static_cast<std::uint16_t>(k)));
    std::fprintf(log, "%s\n", hex);
    std::fflush(log);
    if (k == 0x11 || console.Ending()) break;
    if (k == tui::key::kF2) console.SetClipboardText("Pla\x87" "a 12\xD5");  // Plaça 12€
    if (k == tui::key::kF9) std::raise(SIGSEGV);  // a crash
    if (k == tui::key::kF5) {
      // Rows 14..20 with markers at both edges, shown; then rows 14..20, columns 2..79 move
      // up one line and "NEW" is written on row 20.
      for (int r = 14; r <= 20; ++r) {
        console.Locate(r, 1);
        console.Print("|L" + std::to_string(r) + std::string(75, r % 2 ? '.' : '-') + "|");
      }
      console.Flush();
      console.ScrollRegion(13, 1, 19, 78, 1);
      console.Locate(20, 2);
      console.Print("NEW");
    }
    if (k == tui::key::kF3) {
      console.Locate(12, 1);
      console.Print("CLIP " + console.ClipboardText());
    }
    shown = std::string(hex) + " " + shown;
    if (shown.size() > 75) shown.resize(75);
    console.Locate(10, 1);
    console.Print("KEYS " + shown);
  }
  std::fclose(log);
  if (int sig = tui::TerminalEndSignal(); sig != 0) {
    console.Suspend();  // the terminal back before the signal ends the probe
    std::signal(sig, SIG_DFL);
    std::raise(sig);
  }
  return 0;
}
