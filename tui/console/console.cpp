#include "tui/console/console.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace tui {
namespace {

// The built-in colour string "15000700000700070007".
constexpr std::array<session::ColourPair, 5> kDefaultColours = {{
    {15, 0}, {7, 0}, {0, 7}, {0, 7}, {0, 7},
}};

// Reads one key list item: hexadecimal digits after an implied leading zero, up to the first
// character that is not one. More than four significant digits cannot be a 16-bit key code
// and is refused as 0, like an item that is not hexadecimal at all.
KeyCode ParseHexItem(std::string_view item) {
  while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
  unsigned value = 0;
  int significant = 0;
  for (char ch : item) {
    int digit;
    if (ch >= '0' && ch <= '9') {
      digit = ch - '0';
    } else if (ch >= 'a' && ch <= 'f') {
      digit = ch - 'a' + 10;
    } else if (ch >= 'A' && ch <= 'F') {
      digit = ch - 'A' + 10;
    } else {
      break;
    }
    if (significant > 0 || digit != 0) ++significant;
    if (significant > 4) return 0;
    value = value * 16 + static_cast<unsigned>(digit);
  }
  return KeyFromHex(value);
}

struct KeyItem {
  KeyCode key;
  KeyCode mapped;
};

std::vector<KeyItem> ParseKeyList(std::string_view list) {
  std::vector<KeyItem> items;
  if (list.empty()) return items;
  std::size_t start = 0;
  while (true) {
    std::size_t comma = list.find(',', start);
    std::string_view item = list.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
    std::size_t eq = item.find('=');
    KeyCode key = ParseHexItem(item.substr(0, eq));
    KeyCode mapped = eq == std::string_view::npos ? key : ParseHexItem(item.substr(eq + 1));
    items.push_back({key, mapped});
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return items;
}

class NullDisplay : public DisplayAdapter {
 public:
  ScreenSize Size() override { return {25, 80}; }
};

class NullInput : public InputAdapter {
 public:
  std::optional<InputEvent> Poll() override { return std::nullopt; }
  void Wait(int milliseconds) override {
    if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
};

}  // namespace

Console::Console(Backend backend) : backend_(std::move(backend)), colour_table_(kDefaultColours) {
  if (!backend_.display) backend_.display = std::make_unique<NullDisplay>();
  if (!backend_.input) backend_.input = std::make_unique<NullInput>();
  ScreenSize size = backend_.display->Size();
  screen_.Resize(size);
  shown_.Resize(size, Cell{0, 0});  // unknown contents: every cell differs once
  backend_.display->TakeLost();
}

Console::~Console() {
  if (mouse_state_ == MouseState::kEnabled) backend_.input->EnableMouse(false);
  Flush();
}

// ---- Colours ------------------------------------------------------------------------------

void Console::SetColourTable(const std::array<session::ColourPair, 5>& table) { colour_table_ = table; }

void Console::SetLanguage(std::string_view language) { backend_.display->SetLanguage(language); }

void Console::ScreenColour(std::string_view mode) {
  std::string upper;
  for (char ch : mode) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  if (upper.find_first_not_of(' ') == std::string::npos) return;
  if (upper.find('+') != std::string::npos) colour_stack_ += static_cast<char>(colour_index_);
  int index;
  if (upper.find('-') != std::string::npos) {
    if (colour_stack_.empty()) {
      index = 0;
    } else {
      index = static_cast<unsigned char>(colour_stack_.back());
      colour_stack_.pop_back();
    }
  } else if (upper.find('U') != std::string::npos) {
    index = 4;
  } else if (upper.find('R') != std::string::npos) {
    index = 2 + (upper.find('N') != std::string::npos ? 1 : 0);
  } else if (upper.find('N') != std::string::npos) {
    index = 1;
  } else {
    index = 0;
  }
  if (index < 0 || index > 4) index = 0;
  const session::ColourPair& pair = colour_table_[static_cast<std::size_t>(index)];
  SetColour(pair.foreground, pair.background);
  colour_index_ = index;
}

// ---- Low-level operations -------------------------------------------------------------------

void Console::SyncSize() {
  ScreenSize size = backend_.display->Size();
  bool lost = backend_.display->TakeLost();
  if (size != screen_.Size()) {
    screen_.Resize(size);
    shown_.Resize(size, Cell{0, 0});
    lost = true;
  }
  if (lost) {
    scroll_hint_.reset();
    scroll_hint_mixed_ = false;
    shown_ = ScreenBuffer(size, Cell{0, 0});
    screen_.DamageAll();
    shown_cursor_valid_ = false;
  }
  cursor_.row = std::clamp(cursor_.row, 1, std::max(size.rows, 1));
  cursor_.column = std::clamp(cursor_.column, 1, std::max(size.columns, 1));
}

void Console::Locate(int row, int column) {
  if (row >= 1 && row <= screen_.Rows()) cursor_.row = row;
  if (column >= 1 && column <= screen_.Columns()) cursor_.column = column;
}

void Console::SetColour(int foreground, int background) {
  int fg = attribute_ & 0x0F;
  int bg = attribute_ >> 4;
  if (foreground >= 0 && foreground < 16) fg = foreground;
  if (background >= 0 && background < 16) bg = background;
  attribute_ = static_cast<std::uint8_t>(bg * 16 + fg);
}

void Console::PutCell(int row, int column, std::uint8_t character) {
  screen_.Set(row, column, Cell{character, attribute_});
}

void Console::Print(std::string_view text) {
  int rows = screen_.Rows();
  int columns = screen_.Columns();
  if (rows <= 0 || columns <= 0) return;
  for (char ch : text) {
    PutCell(cursor_.row, cursor_.column, static_cast<std::uint8_t>(ch));
    if (cursor_.column < columns) {
      ++cursor_.column;
    } else if (cursor_.row < rows) {
      cursor_.column = 1;
      ++cursor_.row;
    } else {
      // The bottom-right cell: the screen never scrolls, so the rest of the text has no room.
      break;
    }
  }
}

void Console::PrintSpaces(int count) {
  if (count <= 0) return;
  // Never more than the screen holds; the rest would be dropped at the last cell anyway.
  count = std::min(count, std::max(screen_.Rows() * screen_.Columns(), 0));
  Print(std::string(static_cast<std::size_t>(count), ' '));
}

std::uint8_t Console::ReadCell(int row, int column) const { return screen_.At(row, column).character; }
std::uint8_t Console::ReadAttribute(int row, int column) const { return screen_.At(row, column).attribute; }

void Console::HideCursor() { cursor_.visible = false; }

void Console::ShowCursor(int height_percent) {
  cursor_.visible = true;
  cursor_.height = std::clamp(height_percent, 10, 99);
}

void Console::ScrollRect(int top, int left, int bottom, int right, int lines) {
  top = std::max(top, 1);
  left = std::max(left, 1);
  bottom = std::min(bottom, screen_.Rows());
  right = std::min(right, screen_.Columns());
  if (top > bottom || left > right || lines == 0) return;
  int height = bottom - top + 1;
  // |lines| at or beyond the height blanks the whole rectangle; clamping first keeps the
  // arithmetic in range for any int.
  int n = std::clamp(lines, -height, height);
  if (scroll_hint_ && (scroll_hint_->top != top || scroll_hint_->bottom != bottom ||
                       (scroll_hint_->lines > 0) != (n > 0))) {
    scroll_hint_mixed_ = true;
  } else if (scroll_hint_) {
    scroll_hint_->lines = std::clamp(scroll_hint_->lines + n, -height, height);
  } else {
    scroll_hint_ = ScrollHint{top, bottom, n};
  }
  Cell blank{' ', attribute_};
  if (n > 0) {
    for (int r = top; r <= bottom; ++r) {
      for (int c = left; c <= right; ++c) {
        screen_.Set(r, c, r + n <= bottom ? screen_.At(r + n, c) : blank);
      }
    }
  } else {
    n = -n;
    for (int r = bottom; r >= top; --r) {
      for (int c = left; c <= right; ++c) {
        screen_.Set(r, c, r - n >= top ? screen_.At(r - n, c) : blank);
      }
    }
  }
}

std::optional<InputEvent> Console::PollInput() { return backend_.input->Poll(); }

KeyCode Console::PollKeyDirect() {
  if (backend_.input->Ending()) return key::kEscape;
  Flush();
  if (KeyCode substitute = BeforeFirstKey(); substitute != 0) return substitute;
  while (std::optional<InputEvent> event = backend_.input->Poll()) {
    KeyCode code = event->Code();
    if (code != 0) return code;
  }
  return 0;
}

KeyCode Console::BeforeFirstKey() {
  if (!before_first_key_) return 0;
  std::function<KeyCode(Console&)> work = std::move(before_first_key_);
  before_first_key_ = nullptr;
  return work(*this);
}

void Console::Idle() {
  if (!idle_hook_ || idle_running_) return;
  idle_running_ = true;
  struct Reset {
    bool* flag;
    ~Reset() { *flag = false; }
  } reset{&idle_running_};
  std::function<void(Console&)> run = idle_hook_;
  run(*this);
}

void Console::WaitForInput(int milliseconds) {
  Idle();
  Flush();
  backend_.input->Wait(milliseconds);
}

// A scroll of a rectangle leaves, in a help text or a list, most of its rows as rows of the
// old screen moved up or down. When the whole rows moved on the display as well would need fewer
// cells written than rewriting them, the display is asked to move them; the comparison with
// what it shows then repairs every cell that differs, the columns outside the rectangle
// included, so the result is the same either way.
void Console::ApplyScrollHint() {
  std::optional<ScrollHint> hint = scroll_hint_;
  bool mixed = scroll_hint_mixed_;
  scroll_hint_.reset();
  scroll_hint_mixed_ = false;
  if (!hint || mixed || hint->lines == 0) return;
  int top = hint->top;
  int bottom = std::min(hint->bottom, screen_.Rows());
  int n = hint->lines;
  int columns = screen_.Columns();
  if (top > bottom || std::abs(n) > bottom - top) return;
  const Cell unknown{0, 0};
  auto shifted = [&](int r, int c) {
    int from = r + n;
    return from >= top && from <= bottom ? shown_.At(from, c) : unknown;
  };
  long without = 0;
  long with = 0;
  for (int r = top; r <= bottom; ++r) {
    for (int c = 1; c <= columns; ++c) {
      Cell want = screen_.At(r, c);
      if (want != shown_.At(r, c)) ++without;
      if (want != shifted(r, c)) ++with;
    }
  }
  // Setting the scrolling region and moving back costs about as much as a dozen cells.
  if (with + 12 >= without) return;
  if (!backend_.display->ScrollRows(top, bottom, n)) return;
  ScreenBuffer moved = shown_;
  for (int r = top; r <= bottom; ++r) {
    for (int c = 1; c <= columns; ++c) moved.Set(r, c, shifted(r, c));
  }
  shown_ = std::move(moved);
  screen_.DamageRows(top, bottom);
}

void Console::Flush() {
  SyncSize();
  ApplyScrollHint();
  for (const ScreenBuffer::Damage& d : screen_.TakeDamage()) {
    std::span<const Cell> wanted = screen_.RowCells(d.row);
    std::span<const Cell> shown = shown_.RowCells(d.row);
    int c = d.first_column;
    while (c <= d.last_column) {
      std::size_t i = static_cast<std::size_t>(c - 1);
      if (wanted[i] == shown[i]) {
        ++c;
        continue;
      }
      int start = c;
      while (c <= d.last_column && wanted[static_cast<std::size_t>(c - 1)] != shown[static_cast<std::size_t>(c - 1)]) ++c;
      backend_.display->WriteCells(d.row, start, wanted.subspan(static_cast<std::size_t>(start - 1),
                                                                static_cast<std::size_t>(c - start)));
      for (int k = start; k < c; ++k) shown_.Set(d.row, k, wanted[static_cast<std::size_t>(k - 1)]);
    }
  }
  shown_.TakeDamage();
  backend_.display->Flush(cursor_);
  shown_cursor_ = cursor_;
  shown_cursor_valid_ = true;
}

void Console::Redraw() {
  scroll_hint_.reset();
  scroll_hint_mixed_ = false;
  shown_ = ScreenBuffer(screen_.Size(), Cell{0, 0});
  screen_.DamageAll();
  Flush();
}

void Console::Suspend() {
  Flush();
  if (mouse_state_ == MouseState::kEnabled) {
    backend_.input->EnableMouse(false);
    mouse_state_ = MouseState::kDisabled;
  }
  backend_.display->Suspend();
}

void Console::Resume() {
  backend_.display->Resume();
  Redraw();
}

void Console::SetClipboardText(std::string_view text) {
  clipboard_ = std::string(text);
  if (backend_.clipboard) backend_.clipboard->Put(text);
}

std::string Console::ClipboardText() {
  if (backend_.clipboard) {
    if (std::optional<std::string> system = backend_.clipboard->Get()) return *system;
  }
  return clipboard_;
}

// ---- Screen and windows ---------------------------------------------------------------------

int Console::ScreenRows() {
  SyncSize();
  return screen_.Rows();
}

int Console::ScreenCols() {
  SyncSize();
  return screen_.Columns();
}

void Console::WinLocate(int row, int column) {
  if (window_depth_ > 0) {
    Locate(window_.top + row, window_.left + column);
  } else {
    Locate(row, column);
  }
}

int Console::WinTop() const { return window_depth_ > 0 ? window_.top + 1 : 1; }
int Console::WinLeft() const { return window_depth_ > 0 ? window_.left + 1 : 1; }
int Console::WinRight() { return window_depth_ > 0 ? window_.right - 1 : ScreenCols(); }

void Console::DrawFrame(int style) {
  if (window_depth_ <= 0) return;
  // top-left, top-right, bottom-left, bottom-right, horizontal, vertical
  static constexpr char kSingle[] = "\xDA\xBF\xC0\xD9\xC4\xB3";
  static constexpr char kDouble[] = "\xC9\xBB\xC8\xBC\xCD\xBA";
  static constexpr char kBlank[] = "      ";
  const char* set = style == 1 ? kSingle : style == 2 ? kDouble : kBlank;
  const WindowRect& w = window_;
  int inner = std::max(w.right - w.left - 1, 0);
  // Locate ignores coordinates off the screen; the frame is then drawn where the cursor is,
  // which WinOpen's own checks make impossible for windows it opened.
  auto edge = [&](int row, char left, char fill, char right) {
    Locate(row, w.left);
    Print(std::string(1, left));
    Print(std::string(static_cast<std::size_t>(inner), fill));
    Print(std::string(1, right));
  };
  edge(w.top, set[0], set[4], set[1]);
  for (int r = w.top + 1; r < w.bottom; ++r) {
    Locate(r, w.left);
    Print(std::string(1, set[5]));
    PrintSpaces(inner);
    Print(std::string(1, set[5]));
  }
  edge(w.bottom, set[2], set[4], set[3]);
}

void Console::ScrollRegion(int top, int left, int bottom, int right, int lines) {
  ScrollRect(top + 1, left + 1, bottom + 1, right + 1, lines);
}

// ---- Keys -------------------------------------------------------------------------------------

void Console::KeySet(std::string_view operations, std::string_view key_list) {
  for (char op : operations) {
    switch (std::toupper(static_cast<unsigned char>(op))) {
      case 'E':
        accepted_keys_.clear();
        mapped_keys_.clear();
        break;
      case 'A':
        for (const KeyItem& item : ParseKeyList(key_list)) {
          accepted_keys_.push_back(item.key);
          mapped_keys_.push_back(item.mapped);
        }
        break;
      case 'D':
        for (const KeyItem& item : ParseKeyList(key_list)) {
          auto it = std::find(accepted_keys_.begin(), accepted_keys_.end(), item.key);
          if (it == accepted_keys_.end()) continue;
          auto index = it - accepted_keys_.begin();
          accepted_keys_.erase(it);
          mapped_keys_.erase(mapped_keys_.begin() + index);
        }
        break;
      case '+':
        saved_key_sets_.emplace_back(accepted_keys_, mapped_keys_);
        break;
      case '-':
        if (!saved_key_sets_.empty()) {
          accepted_keys_ = std::move(saved_key_sets_.back().first);
          mapped_keys_ = std::move(saved_key_sets_.back().second);
          saved_key_sets_.pop_back();
        }
        break;
      case 'H':
        mask_character_ = 'X';
        break;
      case 'V':
        mask_character_ = 0;
        break;
      default:
        break;
    }
  }
}

bool Console::KeyAccepted(KeyCode key, KeyCode* mapped) const {
  if (accepted_keys_.empty()) {
    if (mapped) *mapped = key;
    return true;
  }
  auto it = std::find(accepted_keys_.begin(), accepted_keys_.end(), key);
  if (it == accepted_keys_.end()) return false;
  if (mapped) *mapped = mapped_keys_[static_cast<std::size_t>(it - accepted_keys_.begin())];
  return true;
}

KeyCode Console::RemapModifiers(KeyCode key, unsigned modifiers) const {
  if (key == key::kAltE) return key::kEuro;
  int scan = ScanOf(key);
  if (CharOf(key) != 0 || scan == 0) return key;
  bool f1_to_f10 = scan >= 0x3B && scan <= 0x44;
  bool f11_f12 = scan == 0x85 || scan == 0x86;
  if (modifiers & modifier::kAnyAlt) {
    if (f1_to_f10) return ScanKey(scan + 0x2D);
    if (f11_f12) return ScanKey(scan + 0x06);
  } else if (modifiers & modifier::kAnyCtrl) {
    if (f1_to_f10) return ScanKey(scan + 0x23);
    if (f11_f12) return ScanKey(scan + 0x04);
    if (key == key::kHome) return key::kCtrlHome;
    if (key == key::kRight) return key::kCtrlRight;
    if (key == key::kLeft) return key::kCtrlLeft;
  } else if (modifiers & modifier::kShift) {
    if (f1_to_f10) return ScanKey(scan + 0x19);
    if (f11_f12) return ScanKey(scan + 0x02);
  }
  return key;
}

void Console::RunHotKey(KeyCode key) {
  bool* guard = nullptr;
  const std::function<std::string(Console&)>* popup = nullptr;
  if (key == key::kAltX && !calculator_open_ && hot_keys_.calculator) {
    guard = &calculator_open_;
    popup = &hot_keys_.calculator;
  } else if (key == key::kAltC && !calendar_open_ && hot_keys_.calendar) {
    guard = &calendar_open_;
    popup = &hot_keys_.calendar;
  } else {
    return;
  }
  // The guard is set while the pop-up runs, and cleared however it ends.
  struct Reset {
    bool* flag;
    ~Reset() { *flag = false; }
  } reset{guard};
  *guard = true;
  // A copy: the pop-up may set other hooks while it runs.
  std::function<std::string(Console&)> run = *popup;
  typeahead_ += run(*this);
}

void Console::ReadKey(KeyEvent& event) {
  if (backend_.input->Ending()) {
    // Nothing typed ahead counts any more: every read is Escape until the program has ended.
    typeahead_.clear();
    event = KeyEvent{};
    event.key = key::kEscape;
    return;
  }
  if (!typeahead_.empty()) {
    event.key = static_cast<KeyCode>(static_cast<unsigned char>(typeahead_.front()));
    typeahead_.erase(0, 1);
    return;
  }
  Flush();
  if (mouse_state_ == MouseState::kUnknown) {
    mouse_state_ = backend_.input->MouseButtons() > 0 ? MouseState::kDisabled : MouseState::kAbsent;
  }
  if (mouse_state_ == MouseState::kDisabled) {
    backend_.input->EnableMouse(true);
    mouse_state_ = MouseState::kEnabled;
  }
  event = KeyEvent{};
  if (KeyCode substitute = BeforeFirstKey(); substitute != 0) {
    event.key = substitute;
    return;
  }

  std::optional<InputEvent> polled = backend_.input->Poll();

  // Alt+keypad entry: while Alt is held, keypad keys are digits; a key-less event is skipped;
  // any other event ends the entry. Only the number modulo 256 counts, so it is kept modulo
  // 256 as the digits come, and stays in range however many are typed.
  int value = 0;
  bool have_digits = false;
  while (polled && polled->type == InputEvent::Type::kKey && (polled->modifiers & modifier::kLeftAlt)) {
    KeyCode code = polled->Code();
    int digit = KeypadDigit(code);
    if (digit >= 0) {
      value = (value * 10 + digit) % 256;
      have_digits = true;
    } else if (code != 0) {
      break;
    }
    // Alt is still held: wait for its next key or its release. A back end that never reports
    // the release would hold the reader here for good, so two seconds of silence count as one.
    polled = backend_.input->Poll();
    for (int idle = 0; !polled && idle < 200; ++idle) {
      backend_.input->Wait(10);
      polled = backend_.input->Poll();
    }
    if (!polled) break;
  }

  unsigned modifiers = polled ? polled->modifiers : 0;
  if (have_digits) {
    event.key = static_cast<KeyCode>(value % 256);
  } else if (polled && polled->type == InputEvent::Type::kKey) {
    event.key = RemapModifiers(polled->Code(), modifiers);
  }

  if (mouse_state_ == MouseState::kEnabled && !have_digits && polled && polled->type == InputEvent::Type::kMouse) {
    event.button = polled->button;
    event.row = polled->row;
    event.column = polled->column;
  }

  RunHotKey(event.key);

  if (mouse_state_ == MouseState::kEnabled && (event.key != 0 || event.button != 0)) {
    backend_.input->EnableMouse(false);
    mouse_state_ = MouseState::kDisabled;
  }
}

KeyCode Console::GetKey() {
  while (true) {
    KeyEvent event;
    ReadKey(event);
    if (event.button != 0) {
      long code = 256L * event.column + 64L * event.button + event.row;
      return static_cast<KeyCode>(static_cast<std::uint16_t>(code & 0xFFFF));
    }
    if (event.key != 0) return event.key;
    Idle();
    Flush();
    backend_.input->Wait(50);
  }
}

void Console::FlushKeys() { backend_.input->Flush(); }

}  // namespace tui
