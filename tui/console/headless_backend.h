// The headless console: no terminal at all. Input is a script of events; the screen that was
// flushed is readable as text and attributes, the cursor as a CursorState. Tests and
// benchmarks run every widget on it.
//
//   auto backend = tui::MakeHeadlessBackend({25, 80});
//   tui::HeadlessControl& control = *backend.control;   // keep before moving the backend
//   tui::Console console(std::move(backend.backend));
//   control.PushKey(tui::key::kF1, tui::modifier::kLeftCtrl);
//   control.PushText("Hola\r");
//   ... console.GetKey() == 0x5E00 ...
//   control.Row(12) == "..."
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tui/console/backend.h"
#include "tui/console/keys.h"
#include "tui/console/screen.h"

namespace tui {

// The script and the flushed screen of a headless console. Owned by the back end; lives as
// long as the Console that owns the back end.
class HeadlessControl {
 public:
  // ---- Input script ----
  void Push(const InputEvent& event) { events_.push_back(event); }
  // A key event by its code (a character or an extended key) with modifier flags.
  void PushKey(KeyCode code, unsigned modifiers = 0) { Push(InputEvent::Key(code, modifiers)); }
  // Every byte of a code page 850 text as a character event.
  void PushText(std::string_view cp850);
  // A press of a button at a cell followed by its release.
  void PushClick(int column, int row, int button = 1);
  // Alt held while typing digits on the keypad, then released: PushAltKeypad("130").
  void PushAltKeypad(std::string_view digits);
  std::size_t Pending() const { return events_.size(); }
  void ClearInput() { events_.clear(); }

  // What happens when a reader waits and the script is empty. The default handler pushes one
  // Escape (the key every widget leaves by) and counts it; after 1000 such Escapes in a row it
  // aborts, so a test whose script is short fails instead of hanging. Set a handler to feed
  // events lazily.
  void SetOnStarved(std::function<void(HeadlessControl&)> handler) { on_starved_ = std::move(handler); }
  int StarvedCount() const { return starved_count_; }

  // ---- Devices ----
  void SetMouseButtons(int buttons) { mouse_buttons_ = buttons; }
  bool MouseEnabled() const { return mouse_enabled_; }
  int MouseEnableCount() const { return mouse_enable_count_; }
  // A new size, noticed at the console's next size query (as a terminal resize would be).
  void Resize(ScreenSize size) {
    size_ = size;
    lost_ = true;
  }
  ScreenSize Size() const { return size_; }
  // The system clipboard seen by the console: nothing means "no system clipboard".
  void SetSystemClipboard(std::optional<std::string> text) { system_clipboard_ = std::move(text); }
  const std::optional<std::string>& SystemClipboard() const { return system_clipboard_; }

  // ---- Flushed screen ----
  const ScreenBuffer& Shown() const { return shown_; }
  // One row as code page 850 text, or the whole screen with rows joined by "\n".
  std::string Row(int row) const;
  std::string Text() const { return shown_.Text(); }
  const CursorState& ShownCursor() const { return cursor_; }
  // Cells passed to the display since the start (or ResetCounters), and flushes.
  long CellsWritten() const { return cells_written_; }
  long Flushes() const { return flushes_; }
  void ResetCounters() {
    cells_written_ = 0;
    flushes_ = 0;
  }
  bool Suspended() const { return suspended_; }
  // The language the console handed to the display (empty until it does).
  const std::string& Language() const { return language_; }
  // Lets the display move rows itself, as a terminal with a scrolling region does (off at
  // start, so that every change shows as written cells); counts the moves.
  void SetScrollRows(bool on) { scroll_rows_ = on; }
  int RowScrolls() const { return row_scrolls_; }

 private:
  friend class HeadlessDisplay;
  friend class HeadlessInput;
  friend class HeadlessClipboard;

  std::optional<InputEvent> Next();
  void Starve();

  std::deque<InputEvent> events_;
  std::function<void(HeadlessControl&)> on_starved_;
  int starved_count_ = 0;
  int starved_in_a_row_ = 0;
  int mouse_buttons_ = 3;
  bool mouse_enabled_ = false;
  int mouse_enable_count_ = 0;
  ScreenSize size_{25, 80};
  bool lost_ = false;
  std::optional<std::string> system_clipboard_;
  ScreenBuffer shown_;
  CursorState cursor_;
  long cells_written_ = 0;
  long flushes_ = 0;
  bool suspended_ = false;
  std::string language_;
  bool scroll_rows_ = false;
  int row_scrolls_ = 0;
};

struct HeadlessBackend {
  Backend backend;
  HeadlessControl* control = nullptr;  // owned by backend
};

// A headless back end of the given size (any size: the headless screen is not held to the
// terminal minimum).
HeadlessBackend MakeHeadlessBackend(ScreenSize size = {25, 80});

}  // namespace tui
