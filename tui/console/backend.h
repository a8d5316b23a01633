// The seams between the console and what is behind it: a display adapter, an input adapter
// and a clipboard. The console owns one of each through a Backend, assembled in one of the
// factory functions (terminal_backend.h, headless_backend.h). No widget sees these; widgets
// use tui::Console only.
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "tui/console/keys.h"
#include "tui/console/screen.h"

namespace tui {

// Cursor as the display shows it. Heights are percent of the cell, 10..99.
struct CursorState {
  int row = 1;
  int column = 1;
  bool visible = true;
  int height = 25;
  bool operator==(const CursorState&) const = default;
};

class DisplayAdapter {
 public:
  virtual ~DisplayAdapter() = default;

  // The size of the screen the program draws on. Queried each time the console needs it, so a
  // resized terminal is noticed at the next query.
  virtual ScreenSize Size() = 0;
  // True once when what the display shows can no longer be trusted (resize, resume after a
  // suspend): the console then sends every cell again.
  virtual bool TakeLost() { return false; }
  // Shows cells: each call gives a run of cells of one row starting at a column. Only cells
  // that differ from what the display already shows are passed.
  virtual void WriteCells(int /*row*/, int /*column*/, std::span<const Cell> /*cells*/) {}
  // Moves whole rows top..bottom (1-based, inclusive) of what the display shows up by `lines`
  // (down when negative), as a terminal's scrolling region does; the rows uncovered may show
  // anything afterwards (the console rewrites them). Returns false when the display cannot, and
  // then has changed nothing. The console uses it only where it saves output.
  virtual bool ScrollRows(int /*top*/, int /*bottom*/, int /*lines*/) { return false; }
  // Places and shapes the cursor and sends everything written so far.
  virtual void Flush(const CursorState& /*cursor*/) {}
  // The language code ("CAT", "SPA", "GLG", "OCI"; anything else counts as Catalan) of what
  // the display shows on its own, such as the notice of a terminal too small.
  virtual void SetLanguage(std::string_view /*language*/) {}
  // Gives the terminal back to the shell (for running another program) and takes it again.
  virtual void Suspend() {}
  virtual void Resume() {}
};

class InputAdapter {
 public:
  virtual ~InputAdapter() = default;

  // The next pending event, without waiting; nothing when none is pending.
  virtual std::optional<InputEvent> Poll() = 0;
  // Waits at most the given time for input to arrive (returns at once when some is pending).
  virtual void Wait(int milliseconds) = 0;
  // Discards everything pending.
  virtual void Flush() {}
  // Number of mouse buttons; 0 when there is no mouse.
  virtual int MouseButtons() { return 0; }
  // Turns mouse reporting on or off.
  virtual void EnableMouse(bool /*on*/) {}
  // True once the program is to end: its input is gone for good (the terminal hung up) or it
  // was asked to end (a hang-up or terminate signal). The console then answers every key
  // read with Escape, so the program leaves whatever it is doing as the operator would.
  virtual bool Ending() { return false; }
};

class ClipboardAdapter {
 public:
  virtual ~ClipboardAdapter() = default;
  // Offers a text (code page 850) to the system clipboard.
  virtual void Put(std::string_view /*text*/) {}
  // The system clipboard's text in code page 850, or nothing when there is no system
  // clipboard to read (the console then uses its own copy).
  virtual std::optional<std::string> Get() { return std::nullopt; }
};

struct Backend {
  std::unique_ptr<DisplayAdapter> display;
  std::unique_ptr<InputAdapter> input;
  std::unique_ptr<ClipboardAdapter> clipboard;  // may be null: the held copy only
};

}  // namespace tui
