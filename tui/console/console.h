// The console: the one object through which every screen is drawn and every key is read.
//
// The program makes one Console (over a terminal or a headless back end, see
// terminal_backend.h and headless_backend.h) and passes it to every widget. It holds all the
// process-wide state of the text interface:
//   - the screen: a grid of code page 850 cells, the cursor and the current attribute;
//   - the colour scheme (five colour pairs from the session's ColourTable), the current colour
//     index and the colour stack (ScreenColour);
//   - the current window (depth and rectangle) that WinOpen/WinClose keep up to date and that
//     WinLocate, WinTop, WinLeft, WinRight and DrawFrame work relative to;
//   - the key sets: the active set and a stack of saved sets (KeySet "+" pushes, "-" pops);
//   - the typeahead, the mask character, the choice list, the Insert toggle, the clipboard's
//     held copy, the mouse state and the hot-key guards.
//
// Coordinates are 1-based (row, column) and absolute unless a function says "window".
//
// Drawing only changes the grid. The grid reaches the display at Flush(), which every key
// reader calls before it polls, so the screen is always up to date while the program waits
// for the operator. Only cells that differ from what the display shows are sent.
//
// Example:
//   tui::HeadlessBackend made = tui::MakeHeadlessBackend({25, 80});  // or MakeTerminalBackend
//   tui::Console console(std::move(made.backend));
//   console.SetColourTable(session.ColourTable);
//   console.ScreenColour("+n");
//   console.Locate(12, 30);
//   console.Print("Hola");
//   tui::KeyCode k = console.GetKey();
//   console.ScreenColour("-");
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "session/session.h"
#include "tui/console/backend.h"
#include "tui/console/keys.h"
#include "tui/console/screen.h"

namespace tui {

// The rectangle of a window, absolute, frame line included. All 0 when no window is open.
struct WindowRect {
  int top = 0;
  int left = 0;
  int bottom = 0;
  int right = 0;
  bool operator==(const WindowRect&) const = default;
};

// What ReadKey delivers. key 0 with button 0 means nothing arrived.
struct KeyEvent {
  KeyCode key = 0;
  int button = 0;  // mouse:: number of a click, 0 for none
  int row = 0;     // mouse position, absolute, 1-based (0 when the event was not a mouse event)
  int column = 0;
};

// The pop-ups that ReadKey opens on its hot keys. The program sets them once (the pop-up
// layer fills them); each returns the text to be typed (put into the typeahead), empty when
// the operator cancelled. Either may be left unset: the hot key is then returned as a key and
// nothing opens.
struct HotKeyHooks {
  std::function<std::string(class Console&)> calculator;  // Alt+X (0x2D00)
  std::function<std::string(class Console&)> calendar;    // Alt+C (0x2E00)
};

class Console {
 public:
  // Mouse state of the key reader.
  enum class MouseState {
    kUnknown = 0,   // not yet examined
    kEnabled = 1,   // mouse input enabled (only while the reader polls)
    kDisabled = 2,  // mouse present, input disabled
    kAbsent = 3,    // no mouse
  };

  // Takes the back end. A missing display shows nothing (a 25 x 80 screen that is only kept
  // here), a missing input never has anything pending: a program checks that its back end was
  // made before it relies on it.
  explicit Console(Backend backend);
  ~Console();
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  // ---- Colour scheme --------------------------------------------------------------------

  // The five (foreground, background) pairs, normally the session's ColourTable.
  void SetColourTable(const std::array<session::ColourPair, 5>& table);
  const std::array<session::ColourPair, 5>& ColourTable() const { return colour_table_; }
  // The session's language code, for what the display shows on its own (the notice of a
  // terminal too small for the screen).
  void SetLanguage(std::string_view language);

  // Selects, pushes or pops a colour by a mode text, in any case:
  //   "h" (or any text without the letters below) entry 0, high intensity;
  //   "n" entry 1 normal; "r" entry 2 reverse; "rn" entry 3; "u" entry 4 input fields;
  //   "+" anywhere first pushes the current index; "-" pops it (entry 0 when the stack is
  //   empty). An empty or blank mode does nothing. Example: "+u" ... "-".
  void ScreenColour(std::string_view mode);
  int ColourIndex() const { return colour_index_; }
  // The saved indexes, one byte each, oldest first.
  const std::string& ColourStack() const { return colour_stack_; }

  // ---- Low-level console operations ------------------------------------------------------

  // Puts the cursor at the cell; a coordinate outside the screen leaves that coordinate as it
  // was.
  void Locate(int row, int column);
  int CursorRow() const { return cursor_.row; }
  int CursorColumn() const { return cursor_.column; }

  // Makes bg * 16 + fg the attribute of all following output; a part of 16 or more (or below
  // 0) keeps that part as it is.
  void SetColour(int foreground, int background);
  std::uint8_t Attribute() const { return attribute_; }
  void SetAttribute(std::uint8_t attribute) { attribute_ = attribute; }

  // Writes code page 850 bytes at the cursor in the current attribute and advances the cursor,
  // continuing on the next row after the last column. Writing stops at the bottom-right cell:
  // the screen never scrolls, and the cursor stays on that cell.
  void Print(std::string_view text);
  // n blanks (n below 0 counts as 0).
  void PrintSpaces(int count);

  // The character byte and the attribute byte of a cell; 0 outside the screen.
  std::uint8_t ReadCell(int row, int column) const;
  std::uint8_t ReadAttribute(int row, int column) const;

  void HideCursor();
  // Shows the cursor with a height in percent of the cell, clamped to 10..99. The terminal
  // shows heights below 75 as an underline and the others as a block.
  void ShowCursor(int height_percent = 25);
  const CursorState& Cursor() const { return cursor_; }

  // Moves the rectangle (1-based, inclusive corners) up by `lines` (down when negative),
  // blanking the uncovered lines in the current attribute. A rectangle reaching off the screen
  // is cut to it.
  void ScrollRect(int top, int left, int bottom, int right, int lines);

  // The next pending input event, straight from the back end, without remapping, hot keys or
  // typeahead; nothing when none is pending.
  std::optional<InputEvent> PollInput();
  // The key code of the next pending key event, without remapping, hot keys or typeahead;
  // 0 when none is pending (mouse events and modifier changes are skipped). For readers that
  // poll the keyboard directly, such as the help viewer.
  KeyCode PollKeyDirect();
  // Waits briefly (at most the given milliseconds) for input; used between polls. Runs the
  // idle hook first.
  void WaitForInput(int milliseconds);
  // Work that must go on while the program waits for the operator (renewing a lock-registry
  // entry, say): called each time a reader waits between polls (GetKey, WaitForInput), so
  // every few tens of milliseconds while nothing is typed; the hook keeps its own clock. Not
  // called again while it runs. An empty function removes it.
  void SetIdleHook(std::function<void(Console&)> hook) { idle_hook_ = std::move(hook); }
  // Work to do once, after the first screen has gone out and before the first key is read
  // (opening the record files, so that the first screen does not wait for them). When it
  // answers a key code, that key is read instead of the operator's: Escape, to leave when the
  // work failed. Run by ReadKey and PollKeyDirect, whichever reads first.
  void SetBeforeFirstKey(std::function<KeyCode(Console&)> work) { before_first_key_ = std::move(work); }

  // Sends the changed cells and the cursor to the display.
  void Flush();
  // Sends the whole grid again (after something else wrote to the terminal).
  void Redraw();
  // Gives the terminal back (to run another program) and takes it again, redrawing.
  void Suspend();
  void Resume();

  // The Insert key's toggle: on means typing inserts. Off at start.
  bool InsertLock() const { return insert_lock_; }
  void SetInsertLock(bool on) { insert_lock_ = on; }

  // Puts a text (code page 850) on the clipboard: kept here and offered to the system
  // clipboard.
  void SetClipboardText(std::string_view text);
  // The clipboard's text: the system clipboard's when one can be read, else the copy held.
  std::string ClipboardText();

  // ---- Screen and windows --------------------------------------------------------------

  // The screen size; a resized terminal is noticed here.
  int ScreenRows();
  int ScreenCols();

  // The current window, kept by WinOpen and WinClose.
  int WindowDepth() const { return window_depth_; }
  const WindowRect& CurrentWindow() const { return window_; }
  void SetWindowState(int depth, const WindowRect& rect) {
    window_depth_ = depth < 0 ? 0 : depth;
    window_ = rect;
  }

  // Positions relative to the current window: (1, 1) is the first cell inside its frame.
  // With no window open positions are absolute.
  void WinLocate(int row, int column);
  // First row / column inside the current window's frame (1 when none is open); last column
  // inside the frame (the screen width when none is open).
  int WinTop() const;
  int WinLeft() const;
  int WinRight();

  // Frames the current window in the current colour and clears its inside: style 1 single
  // line, 2 double line, 0 (or any other) blanks. Nothing without an open window.
  void DrawFrame(int style);

  // ScrollRect with corners counted from 0.
  void ScrollRegion(int top, int left, int bottom, int right, int lines);

  // ---- Keys ----------------------------------------------------------------------------

  // Changes the active key set. Each character of `operations`, in any case:
  //   E empty the active set; A append every item of the list; D remove the first occurrence of
  //   every item's key; + push the active set on the saved-set stack; - pop it back (nothing
  //   when the stack is empty); H set the mask character to "X"; V set it to 0.
  // The list is comma-separated hexadecimal items, "key" or "key=mapped":
  // "d,1b,4800=5000". A non-hexadecimal or empty item is key 0; more than four significant
  // digits is refused as key 0 too.
  void KeySet(std::string_view operations, std::string_view key_list = {});
  // Matches a key against the active set: true (and the code to deliver in `mapped`) when
  // accepted. An empty set accepts every key as it is.
  bool KeyAccepted(KeyCode key, KeyCode* mapped = nullptr) const;
  bool KeySetEmpty() const { return accepted_keys_.empty(); }
  const std::vector<KeyCode>& AcceptedKeys() const { return accepted_keys_; }
  const std::vector<KeyCode>& MappedKeys() const { return mapped_keys_; }
  std::size_t SavedKeySetDepth() const { return saved_key_sets_.size(); }

  // The character edit fields show for every position, 0 when they show what is typed.
  KeyCode MaskCharacter() const { return mask_character_; }

  // The choice list for the next field edit ("|value,label|value,label"); empty for none.
  void SetChoiceList(std::string_view list) { choice_list_ = std::string(list); }
  const std::string& ChoiceList() const { return choice_list_; }

  // Characters the key reader delivers, one per call, before it looks at the keyboard.
  void AddTypeahead(std::string_view text) { typeahead_ += text; }
  const std::string& Typeahead() const { return typeahead_; }

  // Reads one input event without waiting: the typeahead first; then one poll of the input
  // with Alt+keypad entry, the modifier remapping (Alt/Ctrl/Shift with F1..F12, Ctrl with
  // Home/Left/Right, Alt+E to the euro sign), and the hot keys. From the typeahead only
  // event.key is set; otherwise all four fields are set (0 when nothing arrived).
  void ReadKey(KeyEvent& event);
  // Waits for a key or a click and returns it as one code; a click (button b, absolute column
  // c and row r) is 256 * c + 64 * b + r, kept to 16 bits.
  KeyCode GetKey();
  // Discards pending keyboard and mouse input (not the typeahead).
  void FlushKeys();
  // True once the program is to end (its terminal hung up, or a hang-up or terminate signal
  // came): every key read answers Escape from then on. A program whose own way out is not
  // Escape checks this.
  bool Ending() { return backend_.input->Ending(); }

  void SetHotKeyHooks(HotKeyHooks hooks) { hot_keys_ = std::move(hooks); }
  // True while the calculator or the calendar opened by its hot key is open.
  bool CalculatorOpen() const { return calculator_open_; }
  bool CalendarOpen() const { return calendar_open_; }

  MouseState Mouse() const { return mouse_state_; }

  // The grid itself, for tests and for save/restore of large areas.
  const ScreenBuffer& Screen() const { return screen_; }

 private:
  void SyncSize();
  void ApplyScrollHint();
  void PutCell(int row, int column, std::uint8_t character);
  KeyCode RemapModifiers(KeyCode key, unsigned modifiers) const;
  void RunHotKey(KeyCode key);
  void Idle();
  // Runs the before-first-key work when there is any; the key it answers, or 0.
  KeyCode BeforeFirstKey();

  Backend backend_;
  ScreenBuffer screen_;   // what the program drew
  ScreenBuffer shown_;    // what the display shows
  // Rows moved by ScrollRect since the last flush, for the display to move itself when that
  // sends less than rewriting them.
  struct ScrollHint {
    int top;
    int bottom;
    int lines;
  };
  std::optional<ScrollHint> scroll_hint_;
  bool scroll_hint_mixed_ = false;  // several different scrolls: none is tried
  CursorState cursor_;
  CursorState shown_cursor_;
  bool shown_cursor_valid_ = false;
  std::uint8_t attribute_ = 0x07;

  std::array<session::ColourPair, 5> colour_table_{};
  int colour_index_ = 0;
  std::string colour_stack_;

  int window_depth_ = 0;
  WindowRect window_;

  std::vector<KeyCode> accepted_keys_;
  std::vector<KeyCode> mapped_keys_;
  std::vector<std::pair<std::vector<KeyCode>, std::vector<KeyCode>>> saved_key_sets_;
  KeyCode mask_character_ = 0;
  std::string choice_list_;
  std::string typeahead_;

  bool insert_lock_ = false;
  std::string clipboard_;

  MouseState mouse_state_ = MouseState::kUnknown;
  HotKeyHooks hot_keys_;
  std::function<void(Console&)> idle_hook_;
  std::function<KeyCode(Console&)> before_first_key_;
  bool idle_running_ = false;
  bool calculator_open_ = false;
  bool calendar_open_ = false;
};

}  // namespace tui
